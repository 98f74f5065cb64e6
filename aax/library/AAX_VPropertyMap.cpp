#include "aax/library/AAX_VPropertyMap.h"

AAX_VPropertyMap::AAX_VPropertyMap(IACFUnknown* propertyMap) noexcept
    : mHost(propertyMap, &IID_AAX_PropertyMapV1, &IID_AAX_PropertyMapV2, nullptr) {}

bool AAX_VPropertyMap::GetProperty(int32_t propertyID,
                                   AAX_CPropertyValue* outValue) const noexcept {
  auto* map = mHost.Newest1();
  return map && map->GetProperty(propertyID, outValue) != 0;
}

AAX_Result AAX_VPropertyMap::AddProperty(int32_t propertyID,
                                         AAX_CPropertyValue value) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddProperty(propertyID, value));
}

AAX_Result AAX_VPropertyMap::RemoveProperty(int32_t propertyID) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, RemoveProperty(propertyID));
}

bool AAX_VPropertyMap::GetPointerProperty(int32_t propertyID,
                                          const void** outValue) const noexcept {
  auto* map = mHost.Newest2();
  return map && map->GetPointerProperty(propertyID, outValue) != 0;
}

AAX_Result AAX_VPropertyMap::AddPointerProperty(int32_t propertyID,
                                                const void* value) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, AddPointerProperty(propertyID, value));
}
