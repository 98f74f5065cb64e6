// A stand-in module for the loader's failure paths: it describes one bare effect and can be
// built without one entry point or with an object that never goes away.

#include "aax/interfaces/AAX_Exports.h"
#include "aax/interfaces/AAX_IDescription.h"

AAX_EXPORT ACFRESULT ACFStartup(IACFUnknown*) {
  return ACF_OK;
}

AAX_EXPORT ACFRESULT ACFShutdown() {
  return ACF_OK;
}

AAX_EXPORT ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition) {
  auto* collection = AAX_QueryInterface<AAX_ICollectionV1>(host, IID_AAX_CollectionV1);
  if (!collection || !outDefinition) return AAX_ERROR_NULL_OBJECT;
  IACFUnknown* descriptor = nullptr;
  collection->NewDescriptor(&descriptor);
  auto* effect =
      AAX_QueryInterface<AAX_IEffectDescriptorV1>(descriptor, IID_AAX_EffectDescriptorV1);
  if (effect) {
    effect->AddName("Fake");
    collection->AddEffect("com.example.fake", descriptor);
    effect->Release();
  }
  if (descriptor) descriptor->Release();
  collection->SetManufacturerName("Nobody");
  void* definition = nullptr;
  host->QueryInterface(IID_IACFPluginDefinition, &definition);
  *outDefinition = static_cast<IACFPluginDefinition*>(definition);
  collection->Release();
  return ACF_OK;
}

AAX_EXPORT ACFRESULT ACFRegisterComponent(IACFUnknown*, uint32_t, IACFUnknown** outComponent) {
  if (outComponent) *outComponent = nullptr;
  return ACF_OK;
}

AAX_EXPORT ACFRESULT ACFGetClassFactory(IACFUnknown*, const acfCLSID*, const acfIID*,
                                        void** outFactory) {
  if (outFactory) *outFactory = nullptr;
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_EXPORT ACFRESULT ACFCanUnloadNow() {
#ifdef FAKE_MODULE_BUSY
  return 1;
#else
  return 0;
#endif
}

#ifndef FAKE_MODULE_WITHOUT_SDK_VERSION
AAX_EXPORT ACFRESULT ACFGetSDKVersion(uint64_t* outVersion) {
  if (outVersion) *outVersion = kAAX_SDKVersion;
  return ACF_OK;
}
#endif
