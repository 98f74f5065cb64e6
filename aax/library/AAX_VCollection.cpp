#include "aax/library/AAX_VCollection.h"

AAX_VCollection::AAX_VCollection(IACFUnknown* host) noexcept
    : mHost(host, &IID_AAX_CollectionV1, &IID_AAX_CollectionV2, nullptr) {}

AAX_VCollection::~AAX_VCollection() = default;

AAX_VEffectDescriptor* AAX_VCollection::NewDescriptor() noexcept {
  auto* host = mHost.Newest1();
  if (!host) return nullptr;
  return AAX_KeepNewObject(mDescriptors,
                           [host](IACFUnknown** out) { return host->NewDescriptor(out); });
}

AAX_VPropertyMap* AAX_VCollection::NewPropertyMap() noexcept {
  auto* host = mHost.Newest1();
  if (!host) return nullptr;
  return AAX_KeepNewObject(mPropertyMaps,
                           [host](IACFUnknown** out) { return host->NewPropertyMap(out); });
}

AAX_Result AAX_VCollection::AddEffect(const char* effectID,
                                      const AAX_VEffectDescriptor* descriptor) const noexcept {
  if (!descriptor) return AAX_ERROR_NULL_ARGUMENT;
  AAX_CALL_NEWEST(mHost, 1, AddEffect(effectID, descriptor->GetIUnknown()));
}

AAX_Result AAX_VCollection::SetManufacturerName(const char* name) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, SetManufacturerName(name));
}

AAX_Result AAX_VCollection::AddPackageName(const char* name) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddPackageName(name));
}

AAX_Result AAX_VCollection::SetPackageVersion(uint32_t version) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, SetPackageVersion(version));
}

AAX_Result AAX_VCollection::SetProperties(const AAX_VPropertyMap* properties) const noexcept {
  if (!properties) return AAX_ERROR_NULL_ARGUMENT;
  AAX_CALL_NEWEST(mHost, 1, SetProperties(properties->GetIUnknown()));
}

AAX_Result AAX_VCollection::GetHostVersion(uint32_t* outVersion) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, GetHostVersion(outVersion));
}

AAX_Result AAX_VCollection::GetPlugInDefinition(
    IACFPluginDefinition** outDefinition) const noexcept {
  if (!outDefinition) return AAX_ERROR_NULL_ARGUMENT;
  *outDefinition = nullptr;
  IACFUnknown* host = mHost.Unknown();
  if (!host) return AAX_ERROR_NULL_OBJECT;
  void* definition = nullptr;
  const ACFRESULT result = host->QueryInterface(IID_IACFPluginDefinition, &definition);
  if (result != ACF_OK) return result;
  *outDefinition = static_cast<IACFPluginDefinition*>(definition);
  return AAX_SUCCESS;
}
