#include "aax/library/AAX_VEffectDescriptor.h"

AAX_VEffectDescriptor::AAX_VEffectDescriptor(IACFUnknown* effectDescriptor) noexcept
    : mHost(effectDescriptor, &IID_AAX_EffectDescriptorV1, &IID_AAX_EffectDescriptorV2, nullptr) {}

AAX_VEffectDescriptor::~AAX_VEffectDescriptor() = default;

AAX_VComponentDescriptor* AAX_VEffectDescriptor::NewComponentDescriptor() noexcept {
  auto* host = mHost.Newest1();
  if (!host) return nullptr;
  return AAX_KeepNewObject(mComponents,
                           [host](IACFUnknown** out) { return host->NewComponentDescriptor(out); });
}

AAX_VPropertyMap* AAX_VEffectDescriptor::NewPropertyMap() noexcept {
  auto* host = mHost.Newest1();
  if (!host) return nullptr;
  return AAX_KeepNewObject(mPropertyMaps,
                           [host](IACFUnknown** out) { return host->NewPropertyMap(out); });
}

AAX_Result AAX_VEffectDescriptor::AddComponent(
    const AAX_VComponentDescriptor* component) const noexcept {
  if (!component) return AAX_ERROR_NULL_ARGUMENT;
  AAX_CALL_NEWEST(mHost, 1, AddComponent(component->GetIUnknown()));
}

AAX_Result AAX_VEffectDescriptor::AddName(const char* name) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddName(name));
}

AAX_Result AAX_VEffectDescriptor::AddCategory(uint32_t category) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddCategory(category));
}

AAX_Result AAX_VEffectDescriptor::AddCategoryBypassParameter(uint32_t category,
                                                             AAX_CParamID id) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddCategoryBypassParameter(category, id));
}

AAX_Result AAX_VEffectDescriptor::AddProcPtr(AAX_CCreateObjectProc proc,
                                             int32_t procID) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddProcPtr(proc, procID));
}

AAX_Result AAX_VEffectDescriptor::SetProperties(const AAX_VPropertyMap* properties) const noexcept {
  if (!properties) return AAX_ERROR_NULL_ARGUMENT;
  AAX_CALL_NEWEST(mHost, 1, SetProperties(properties->GetIUnknown()));
}

AAX_Result AAX_VEffectDescriptor::AddResourceInfo(int32_t resourceType,
                                                  const char* info) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddResourceInfo(resourceType, info));
}

AAX_Result AAX_VEffectDescriptor::AddMeterDescription(
    AAX_CTypeID meterID, const char* name, const AAX_VPropertyMap* properties) const noexcept {
  AAX_CALL_NEWEST(
      mHost, 1,
      AddMeterDescription(meterID, name, properties ? properties->GetIUnknown() : nullptr));
}

AAX_Result AAX_VEffectDescriptor::AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType,
                                                     const char* nodeName,
                                                     uint32_t channelMask) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, AddControlMIDINode(nodeID, nodeType, nodeName, channelMask));
}
