#include "host/aaxhost/InstanceHost.h"

#include "aax/interfaces/AAX_IEffectParameters.h"

namespace aaxhost {

InstanceHost::InstanceHost() = default;

InstanceHost::~InstanceHost() {
  SetEffectParameters(nullptr);
}

ACFRESULT InstanceHost::QueryInterface(const acfIID& iid, void** out) noexcept {
  if (!out) return ACF_E_POINTER;
  *out = nullptr;
  if (iid == IID_IACFUnknown) {
    *out = static_cast<IACFUnknown*>(this);
    AddRef();
    return ACF_OK;
  }
  if (iid == IID_AAX_EffectParametersV1 || iid == IID_AAX_EffectParametersV2 ||
      iid == IID_AAX_EffectParametersV3 || iid == IID_AAX_EffectParametersV4) {
    return mEffectParameters ? mEffectParameters->QueryInterface(iid, out) : ACF_E_NOINTERFACE;
  }
  // The members would answer the host's private ID with themselves; this object is none of them.
  if (iid == kIID_HostObject) return ACF_E_NOINTERFACE;
  IACFUnknown* const objects[] = {&mController, &mAutomation, &mTransport, &mPageTable};
  for (IACFUnknown* object : objects) {
    if (object->QueryInterface(iid, out) == ACF_OK) return ACF_OK;
  }
  return ACF_E_NOINTERFACE;
}

uint32_t InstanceHost::AddRef() noexcept {
  return static_cast<uint32_t>(++mReferences);
}

uint32_t InstanceHost::Release() noexcept {
  return static_cast<uint32_t>(--mReferences);
}

void InstanceHost::SetEffectParameters(IACFUnknown* effectParameters) {
  if (effectParameters) effectParameters->AddRef();
  if (mEffectParameters) mEffectParameters->Release();
  mEffectParameters = effectParameters;
}

int32_t InstanceHost::OutstandingReferences() const noexcept {
  return mReferences.load() + mController.References() + mAutomation.References() +
         mTransport.References() + mPageTable.References();
}

}  // namespace aaxhost
