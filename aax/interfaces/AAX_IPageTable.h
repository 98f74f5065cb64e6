#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Types.h"

/**
 * A control-surface page table that the host lets the plug-in fill (UpdatePageTable of the
 * effect-parameters object). Only the minimum is defined: this binding leaves tables empty.
 */
class AAX_IPageTableV1 : public IACFUnknown {
 public:
  virtual AAX_Result Clear() noexcept = 0;
  virtual AAX_Result GetNumPages(int32_t* outPages) noexcept = 0;
  /** Maps parameterID to slot of page (both from 0); a null ID empties the slot. */
  virtual AAX_Result MapParameterID(AAX_CParamID parameterID, int32_t page,
                                    int32_t slot) noexcept = 0;

 protected:
  ~AAX_IPageTableV1() = default;
};

inline constexpr acfIID IID_AAX_PageTableV1 = AAX_MakeIID(AAX_eObjectKind_PageTable, 1);
