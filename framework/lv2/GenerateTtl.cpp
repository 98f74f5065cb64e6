// Writes a bundle's manifest.ttl and the description of its plug-ins, from the plug-in object
// the product's LV2 module makes (this program is linked with the module's product glue).
// Run by the build: lv2-ttl <bundle folder>.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "framework/lv2/IPlugLV2.h"
#include "framework/lv2/IPlugLV2_Ttl.h"

namespace {

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
  // A half-written description is worse than none: write aside, then rename.
  const std::filesystem::path temporary = path.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s BUNDLE-FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path bundle = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(bundle, ec);
  const std::unique_ptr<iplug::IPlugLV2> plug(iplug::MakePlugLV2());
  if (!plug) {
    std::fprintf(stderr, "lv2-ttl: the product made no plug-in object\n");
    return 1;
  }
  const iplug::LV2Description& description = iplug::LV2DescriptionOfPlug();
  if (description.paramSymbols.size() != static_cast<size_t>(plug->NParams())) {
    std::fprintf(stderr, "lv2-ttl: %zu port symbols for %d parameters\n",
                 description.paramSymbols.size(), plug->NParams());
    return 1;
  }
  if (!WriteFile(bundle / "manifest.ttl", iplug::LV2ManifestTtl(description, *plug)) ||
      !WriteFile(bundle / description.ttl, iplug::LV2PluginsTtl(description, *plug)) ||
      !WriteFile(bundle / iplug::kLV2PresetsTtl, iplug::LV2PresetsTtl(description, *plug))) {
    std::fprintf(stderr, "lv2-ttl: cannot write into '%s'\n", bundle.c_str());
    return 1;
  }
  return 0;
}
