#include "aax/library/AAX_VCollection.h"

namespace {

template <class W>
W* Keep(std::vector<std::unique_ptr<W>>& owned, IACFUnknown* fresh) noexcept {
  auto wrapper = AAX_AdoptNewObject<W>(fresh);
  if (!wrapper) return nullptr;
  try {
    owned.push_back(std::move(wrapper));
  } catch (...) {
    return nullptr;
  }
  return owned.back().get();
}

}  // namespace

AAX_VCollection::AAX_VCollection(IACFUnknown* host) noexcept
    : mHost(host, &IID_AAX_CollectionV1, &IID_AAX_CollectionV2, nullptr) {}

AAX_VCollection::~AAX_VCollection() = default;

AAX_VEffectDescriptor* AAX_VCollection::NewDescriptor() noexcept {
  auto* host = mHost.Newest1();
  IACFUnknown* fresh = nullptr;
  if (!host || host->NewDescriptor(&fresh) != AAX_SUCCESS) return nullptr;
  return Keep(mDescriptors, fresh);
}

AAX_VPropertyMap* AAX_VCollection::NewPropertyMap() noexcept {
  auto* host = mHost.Newest1();
  IACFUnknown* fresh = nullptr;
  if (!host || host->NewPropertyMap(&fresh) != AAX_SUCCESS) return nullptr;
  return Keep(mPropertyMaps, fresh);
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
