#pragma once

#include <string>

#include "framework/lv2/IPlugLV2.h"

namespace iplug {

/** manifest.ttl of the bundle: each plug-in, its binary and the file that describes it. */
std::string LV2ManifestTtl(const LV2Description& description);

/**
 * The description of every plug-in of the bundle, from a plug-in object of the product: its
 * maker, version and parameters as they are defined (names, ranges, defaults, units, steps,
 * value texts), so that the parameter table is written once, in the product's code.
 */
std::string LV2PluginsTtl(const LV2Description& description, const IPlugLV2& plug);

}  // namespace iplug
