#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_IPageTable.h"
#include "aax/library/AAX_InterfaceVersions.h"

/** A host page table handed to UpdatePageTable. */
class AAX_VPageTable {
 public:
  explicit AAX_VPageTable(IACFUnknown* pageTable) noexcept;
  AAX_VPageTable(const AAX_VPageTable&) = delete;
  AAX_VPageTable& operator=(const AAX_VPageTable&) = delete;

  bool IsValid() const noexcept { return mHost.Any(); }

  AAX_Result Clear() const noexcept;
  AAX_Result GetNumPages(int32_t* outPages) const noexcept;
  AAX_Result MapParameterID(AAX_CParamID id, int32_t page, int32_t slot) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_IPageTableV1, AAX_IPageTableV1, AAX_IPageTableV1> mHost;
};
