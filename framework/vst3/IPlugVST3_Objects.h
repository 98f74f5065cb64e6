#pragma once

#include <travesty/factory.h>

namespace iplug {

/** [any] The module's factory: it lives as long as the module. */
v3_plugin_factory** VST3Factory();
/** [any] The components, controllers and views alive now (a host that lets go of everything
 * leaves none). */
int VST3LiveObjects();

}  // namespace iplug
