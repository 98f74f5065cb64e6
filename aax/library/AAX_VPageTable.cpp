#include "aax/library/AAX_VPageTable.h"

AAX_VPageTable::AAX_VPageTable(IACFUnknown* pageTable) noexcept
    : mHost(pageTable, &IID_AAX_PageTableV1, nullptr, nullptr) {}

AAX_Result AAX_VPageTable::Clear() const noexcept {
  AAX_CALL_NEWEST(mHost, 1, Clear());
}

AAX_Result AAX_VPageTable::GetNumPages(int32_t* outPages) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetNumPages(outPages));
}

AAX_Result AAX_VPageTable::MapParameterID(AAX_CParamID id, int32_t page,
                                          int32_t slot) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, MapParameterID(id, page, slot));
}
