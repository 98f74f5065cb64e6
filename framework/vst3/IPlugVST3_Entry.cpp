// The module's exports, as a VST3 host on Linux looks them up: ModuleEntry when it loads the
// module, GetPluginFactory, ModuleExit before it unloads it.

#include "framework/vst3/IPlugVST3.h"
#include "framework/vst3/IPlugVST3_Objects.h"

#define CORVANE_VST3_EXPORT extern "C" __attribute__((visibility("default")))

CORVANE_VST3_EXPORT bool ModuleEntry(void*) {
  // A module whose product describes no plug-in has nothing to offer.
  try {
    return !iplug::VST3DescriptionOfPlug().variants.empty();
  } catch (...) {
    return false;
  }
}

CORVANE_VST3_EXPORT bool ModuleExit() {
  return true;
}

CORVANE_VST3_EXPORT v3_plugin_factory** GetPluginFactory() {
  return iplug::VST3Factory();
}
