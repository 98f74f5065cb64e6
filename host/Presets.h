#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::host {

/** A factory preset as the host applies it: settings in the form --set takes. */
struct PresetText {
  std::string name;
  std::string description;
  std::vector<std::string> settings;  // "Name=value", the parameters it holds, in order
};

/** The product's factory presets, read from a plug-in object's preset slots. */
std::vector<PresetText> FactoryPresetTexts();

/** The preset of that name (any case); throws HostError naming the known ones otherwise. */
PresetText FindFactoryPreset(std::string_view name);

/** `corvane-host presets`: each preset's name, description and values. */
int RunPresets(const std::vector<std::string>& args, std::ostream& out);

}  // namespace corvane::host
