#include "host/Presets.h"

#include <cctype>
#include <charconv>

#include "host/HostError.h"
#include "plugin/Corvane.h"

namespace corvane::host {

std::vector<PresetText> FactoryPresetTexts() {
  // The product's own object: its slots are what every format's presets come from.
  const Corvane plugin;
  std::vector<PresetText> presets;
  for (int i = 0; i < plugin.NPresets(); ++i) {
    const iplug::PresetSlot* slot = plugin.GetPreset(i);
    if (!slot || !slot->initialized) continue;
    PresetText preset{slot->name.data(), slot->description, {}};
    const std::vector<double> values = plugin.PresetValues(i);
    for (size_t p = 0; p < values.size(); ++p) {
      // The shortest text that reads back as exactly the stored value.
      char text[64];
      const auto [end, ec] = std::to_chars(text, text + sizeof text, values[p]);
      preset.settings.push_back(std::string(plugin.GetParam(static_cast<int>(p))->Name()) + "=" +
                                std::string(text, ec == std::errc() ? end : text));
    }
    presets.push_back(std::move(preset));
  }
  return presets;
}

PresetText FindFactoryPreset(std::string_view name) {
  auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i])))
        return false;
    return true;
  };
  std::string known;
  for (PresetText& preset : FactoryPresetTexts()) {
    if (same(preset.name, name)) return preset;
    known += (known.empty() ? "" : ", ") + preset.name;
  }
  throw HostError("--preset: no factory preset '" + std::string(name) + "' (there are: " + known +
                  ")");
}

int RunPresets(const std::vector<std::string>& args, std::ostream& out) {
  for (const std::string& arg : args) {
    if (arg == "-h" || arg == "--help") {
      out << "usage: corvane-host presets\n"
             "Lists the factory presets: name, what it is for, and the values it sets (a\n"
             "preset that does not name Oversampling leaves it as it is). Use one with\n"
             "`render --preset NAME`, `snapshot --preset NAME` or `editor --preset NAME`.\n";
      return 0;
    }
    throw HostError("presets takes no arguments (got '" + arg + "')");
  }
  for (const PresetText& preset : FactoryPresetTexts()) {
    out << preset.name << "\n  " << preset.description << "\n ";
    for (const std::string& setting : preset.settings) out << " " << setting;
    out << "\n";
  }
  return 0;
}

}  // namespace corvane::host
