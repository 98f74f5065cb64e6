#pragma once

#include <clap/plugin-factory.h>

namespace iplug {

/** [any] The module's one plug-in factory. */
const clap_plugin_factory_t* CLAPFactory();
/** [any] Instances the factory made that the host has not destroyed. */
int CLAPLiveInstances();

}  // namespace iplug
