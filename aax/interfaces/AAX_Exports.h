#pragma once

/**
 * The seven functions a plug-in module exports, looked up by these names after dlopen. Each
 * returns 0 on success; none may let an exception escape.
 *
 * Order of calls: ACFStartup(hostServices) → ACFRegisterPlugin(collection, &definition) →
 * instances through the creation procedures → ACFCanUnloadNow() until 0 → ACFShutdown().
 */

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"

#define AAX_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
/** host: the host-services object (AAX_IHostServices.h); null releases it. */
typedef ACFRESULT (*AAX_ACFStartupProc)(IACFUnknown* host);
typedef ACFRESULT (*AAX_ACFShutdownProc)();
/**
 * host: the description collection (AAX_IDescription.h). *outDefinition receives the
 * collection's plug-in definition (IID_IACFPluginDefinition), with a reference the caller owns.
 */
typedef ACFRESULT (*AAX_ACFRegisterPluginProc)(IACFUnknown* host,
                                               IACFPluginDefinition** outDefinition);
typedef ACFRESULT (*AAX_ACFRegisterComponentProc)(IACFUnknown* host, uint32_t index,
                                                  IACFUnknown** outComponent);
typedef ACFRESULT (*AAX_ACFGetClassFactoryProc)(IACFUnknown* host, const acfCLSID* classID,
                                                const acfIID* interfaceID, void** outFactory);
/** 0 when no object of the module is alive any more. */
typedef ACFRESULT (*AAX_ACFCanUnloadNowProc)();
typedef ACFRESULT (*AAX_ACFGetSDKVersionProc)(uint64_t* outVersion);
}

AAX_EXPORT ACFRESULT ACFStartup(IACFUnknown* host);
AAX_EXPORT ACFRESULT ACFShutdown();
AAX_EXPORT ACFRESULT ACFRegisterPlugin(IACFUnknown* host, IACFPluginDefinition** outDefinition);
AAX_EXPORT ACFRESULT ACFRegisterComponent(IACFUnknown* host, uint32_t index,
                                          IACFUnknown** outComponent);
AAX_EXPORT ACFRESULT ACFGetClassFactory(IACFUnknown* host, const acfCLSID* classID,
                                        const acfIID* interfaceID, void** outFactory);
AAX_EXPORT ACFRESULT ACFCanUnloadNow();
AAX_EXPORT ACFRESULT ACFGetSDKVersion(uint64_t* outVersion);

/** Symbol names for dlsym. */
inline constexpr const char* kAAX_ExportName_Startup = "ACFStartup";
inline constexpr const char* kAAX_ExportName_Shutdown = "ACFShutdown";
inline constexpr const char* kAAX_ExportName_RegisterPlugin = "ACFRegisterPlugin";
inline constexpr const char* kAAX_ExportName_RegisterComponent = "ACFRegisterComponent";
inline constexpr const char* kAAX_ExportName_GetClassFactory = "ACFGetClassFactory";
inline constexpr const char* kAAX_ExportName_CanUnloadNow = "ACFCanUnloadNow";
inline constexpr const char* kAAX_ExportName_GetSDKVersion = "ACFGetSDKVersion";

/** What ACFGetSDKVersion of this library reports. */
inline constexpr uint64_t kAAX_SDKVersion = 0x0000020601345598ull;
