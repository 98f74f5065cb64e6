// The seven functions the plug-in module exports. Nothing may leave them as an exception: the
// host is another binary.

#include <exception>

#include "aax/interfaces/AAX_Exports.h"
#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Exception.h"
#include "aax/library/AAX_VCollection.h"
#include "aax/library/ACFUnknown.h"
#include "framework/IRunLoop.h"
#include "framework/aax/IPlugAAX_Describe.h"
#include "framework/aax/IPlugAAX_RunLoop.h"

namespace {

// Lives as long as the module: timers that outlive ACFShutdown still find it (and nothing to do).
iplug::AAXHostRunLoop& ModuleRunLoop() {
  static iplug::AAXHostRunLoop loop;
  return loop;
}

// Timers made from now on tick on the host's main thread.
void AttachHostRunLoop() {
  AAX_IHostRunLoopV1* hostLoop = AAX_CHostServices::GetRunLoop();
  if (!hostLoop) return;
  ModuleRunLoop().Attach(hostLoop);
  iplug::SetRunLoop(&ModuleRunLoop());
}

void DetachHostRunLoop() {
  if (iplug::GetRunLoop() == &ModuleRunLoop()) iplug::SetRunLoop(nullptr);
  ModuleRunLoop().Detach();
}

void ReleaseHostServices() {
  DetachHostRunLoop();
  AAX_CHostServices::Set(nullptr);
}

}  // namespace

AAX_EXPORT ACFRESULT ACFStartup(IACFUnknown* host) {
  try {
    const bool haveServices = AAX_CHostServices::Get() != nullptr;
    if (!haveServices && host) {
      AAX_CHostServices::Set(host);
      AttachHostRunLoop();
    } else if (haveServices && !host) {
      ReleaseHostServices();
    }
    return ACF_OK;
  } catch (...) {
    return ACF_E_UNEXPECTED;
  }
}

AAX_EXPORT ACFRESULT ACFShutdown() {
  try {
    ReleaseHostServices();
    return ACF_OK;
  } catch (...) {
    return ACF_E_UNEXPECTED;
  }
}

AAX_EXPORT ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition) {
  try {
    if (!outDefinition) return ACF_E_POINTER;
    *outDefinition = nullptr;
    try {
      AAX_VCollection collection(host);
      const iplug::AAXEffectConfig effect = iplug::MakeEffectConfig();
      const AAX_Result result = iplug::DescribeEffect(collection, effect);
      if (result != AAX_SUCCESS) return result;
      return collection.GetPlugInDefinition(outDefinition);
    } catch (const AAX::Exception::ResultError& error) {
      AAX_TRACE(AAX_eTracePriority_High, "AAXRegisterPlugin exception caught: %s", error.what());
      return error.Code();
    } catch (const std::exception& error) {
      AAX_TRACE(AAX_eTracePriority_High, "AAXRegisterPlugin exception caught: %s", error.what());
      return AAX_ERROR_UNKNOWN_EXCEPTION;
    } catch (...) {
      AAX_TRACE(AAX_eTracePriority_High, "AAXRegisterPlugin exception caught: %s", "unknown");
      return AAX_ERROR_UNKNOWN_EXCEPTION;
    }
  } catch (...) {
    return ACF_E_UNEXPECTED;
  }
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
  return AAX_GetModuleObjectCount();
}

AAX_EXPORT ACFRESULT ACFGetSDKVersion(uint64_t* outVersion) {
  if (!outVersion) return ACF_E_POINTER;
  *outVersion = kAAX_SDKVersion;
  return ACF_OK;
}
