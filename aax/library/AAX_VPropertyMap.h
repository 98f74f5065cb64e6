#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_IDescription.h"
#include "aax/library/AAX_InterfaceVersions.h"

/** A host property map of the description. */
class AAX_VPropertyMap {
 public:
  explicit AAX_VPropertyMap(IACFUnknown* propertyMap) noexcept;
  AAX_VPropertyMap(const AAX_VPropertyMap&) = delete;
  AAX_VPropertyMap& operator=(const AAX_VPropertyMap&) = delete;

  bool IsValid() const noexcept { return mHost.Any(); }
  /** The host object, for handing it to other description calls. */
  IACFUnknown* GetIUnknown() const noexcept { return mHost.Unknown(); }

  bool GetProperty(int32_t propertyID, AAX_CPropertyValue* outValue) const noexcept;
  AAX_Result AddProperty(int32_t propertyID, AAX_CPropertyValue value) const noexcept;
  AAX_Result RemoveProperty(int32_t propertyID) const noexcept;
  bool GetPointerProperty(int32_t propertyID, const void** outValue) const noexcept;
  AAX_Result AddPointerProperty(int32_t propertyID, const void* value) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_IPropertyMapV1, AAX_IPropertyMapV2, AAX_IPropertyMapV2> mHost;
};
