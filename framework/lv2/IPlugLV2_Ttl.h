#pragma once

#include <string>

#include "framework/lv2/IPlugLV2.h"

namespace iplug {

/** The file the bundle's presets are described in. */
inline constexpr const char* kLV2PresetsTtl = "presets.ttl";

/** manifest.ttl of the bundle: each plug-in, its binary and the file that describes it, and
 * each preset of the plug-in object (for every plug-in of the bundle) with the file that holds
 * its values. */
std::string LV2ManifestTtl(const LV2Description& description, const IPlugLV2& plug);

/** The URI of a preset of a plug-in of the bundle: the plug-in's, with the preset's name. */
std::string LV2PresetUri(const LV2Variant& variant, const char* presetName);

/**
 * The presets of the plug-in object for every plug-in of the bundle: name, description and the
 * values of the parameters each holds, as port values a host applies. A parameter a preset
 * holds no value for has no port value in it, so that loading it leaves that port alone.
 */
std::string LV2PresetsTtl(const LV2Description& description, const IPlugLV2& plug);

/**
 * The description of every plug-in of the bundle, from a plug-in object of the product: its
 * maker, version and parameters as they are defined (names, ranges, defaults, units, steps,
 * value texts), so that the parameter table is written once, in the product's code.
 */
std::string LV2PluginsTtl(const LV2Description& description, const IPlugLV2& plug);

}  // namespace iplug
