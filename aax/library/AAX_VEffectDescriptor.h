#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "aax/interfaces/AAX_IDescription.h"
#include "aax/library/AAX_InterfaceVersions.h"
#include "aax/library/AAX_VComponentDescriptor.h"
#include "aax/library/AAX_VPropertyMap.h"

/** A host effect descriptor: names, category, components, procedures and meters of one effect. */
class AAX_VEffectDescriptor {
 public:
  explicit AAX_VEffectDescriptor(IACFUnknown* effectDescriptor) noexcept;
  AAX_VEffectDescriptor(const AAX_VEffectDescriptor&) = delete;
  AAX_VEffectDescriptor& operator=(const AAX_VEffectDescriptor&) = delete;
  ~AAX_VEffectDescriptor();

  bool IsValid() const noexcept { return mHost.Any(); }
  IACFUnknown* GetIUnknown() const noexcept { return mHost.Unknown(); }

  /** A new component descriptor owned by this descriptor; null when the host made none. */
  AAX_VComponentDescriptor* NewComponentDescriptor() noexcept;
  /** A new property map owned by this descriptor; null when the host made none. */
  AAX_VPropertyMap* NewPropertyMap() noexcept;

  /** AAX_ERROR_NULL_ARGUMENT for a null component. */
  AAX_Result AddComponent(const AAX_VComponentDescriptor* component) const noexcept;
  AAX_Result AddName(const char* name) const noexcept;
  AAX_Result AddCategory(uint32_t category) const noexcept;
  AAX_Result AddCategoryBypassParameter(uint32_t category, AAX_CParamID id) const noexcept;
  AAX_Result AddProcPtr(AAX_CCreateObjectProc proc, int32_t procID) const noexcept;
  AAX_Result SetProperties(const AAX_VPropertyMap* properties) const noexcept;
  AAX_Result AddResourceInfo(int32_t resourceType, const char* info) const noexcept;
  /** properties may be null. */
  AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* name,
                                 const AAX_VPropertyMap* properties) const noexcept;
  AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                uint32_t channelMask) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_IEffectDescriptorV1, AAX_IEffectDescriptorV2, AAX_IEffectDescriptorV2>
      mHost;
  std::vector<std::unique_ptr<AAX_VComponentDescriptor>> mComponents;
  std::vector<std::unique_ptr<AAX_VPropertyMap>> mPropertyMaps;
};
