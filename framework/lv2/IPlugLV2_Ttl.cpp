#include "framework/lv2/IPlugLV2_Ttl.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace iplug {

namespace {

constexpr const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n";

/** A decimal literal that reads back as exactly this number (always with a point). */
std::string Number(double value) {
  if (value == 0.0) value = 0.0;  // no "-0.0"
  char text[40];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  std::string result(text, ec == std::errc() ? end : text);
  if (result.find_first_of(".e") == std::string::npos) result += ".0";
  return result;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

/** The units vocabulary's term for a label, or a unit of its own. */
std::string UnitOf(const std::string& label) {
  static const std::pair<const char*, const char*> kKnown[] = {
      {"dB", "units:db"}, {"%", "units:pc"}, {"Hz", "units:hz"},
      {"ms", "units:ms"}, {"s", "units:s"},  {"semitones", "units:semitone12TET"}};
  for (const auto& [text, term] : kKnown)
    if (label == text) return term;
  return "[ a units:Unit ; rdfs:label " + Quoted(label) + " ; units:symbol " + Quoted(label) +
         " ; units:render " + Quoted("%f " + label) + " ]";
}

const char* ChannelName(int channel, int channels) {
  if (channels == 1) return "";
  return channel == 0 ? " Left" : " Right";
}

const char* ChannelSymbol(int channel, int channels) {
  if (channels == 1) return "";
  return channel == 0 ? "_l" : "_r";
}

}  // namespace

std::string LV2PresetUri(const LV2Variant& variant, const char* presetName) {
  std::string slug;
  for (const char* c = presetName; c && *c; ++c) {
    const unsigned char u = static_cast<unsigned char>(*c);
    if (std::isalnum(u))
      slug += static_cast<char>(std::tolower(u));
    else if (!slug.empty() && slug.back() != '-')
      slug += '-';
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return variant.uri + "-preset-" + slug;
}

namespace {

/** The initialized preset slots of the plug-in object, with the values each holds. */
std::vector<std::pair<const PresetSlot*, std::vector<double>>> PresetsOf(const IPlugLV2& plug) {
  std::vector<std::pair<const PresetSlot*, std::vector<double>>> presets;
  for (int i = 0; i < plug.NPresets(); ++i) {
    const PresetSlot* slot = plug.GetPreset(i);
    std::vector<double> values = plug.PresetValues(i);
    if (slot && slot->initialized && !values.empty()) presets.emplace_back(slot, std::move(values));
  }
  return presets;
}

}  // namespace

std::string LV2PresetsTtl(const LV2Description& description, const IPlugLV2& plug) {
  std::ostringstream ttl;
  ttl << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
         "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
         "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
  const auto presets = PresetsOf(plug);
  for (const LV2Variant& variant : description.variants) {
    for (const auto& [slot, values] : presets) {
      ttl << "\n<" << LV2PresetUri(variant, slot->name.data()) << ">\n    a pset:Preset ;\n"
          << "    lv2:appliesTo <" << variant.uri << "> ;\n"
          << "    rdfs:label " << Quoted(slot->name.data());
      if (!slot->description.empty()) ttl << " ;\n    rdfs:comment " << Quoted(slot->description);
      ttl << " ;\n    lv2:port ";
      for (size_t i = 0; i < values.size() && i < description.paramSymbols.size(); ++i)
        ttl << (i ? " , " : "") << "[\n        lv2:symbol " << Quoted(description.paramSymbols[i])
            << " ;\n        pset:value " << Number(values[i]) << "\n    ]";
      ttl << " .\n";
    }
  }
  return ttl.str();
}

std::string LV2ManifestTtl(const LV2Description& description, const IPlugLV2& plug) {
  std::ostringstream ttl;
  ttl << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
         "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
  const auto presets = PresetsOf(plug);
  if (!presets.empty()) ttl << "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n";
  if (!description.uiUri.empty()) ttl << "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n";
  for (const LV2Variant& variant : description.variants)
    ttl << "\n<" << variant.uri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << description.binary
        << "> ;\n    rdfs:seeAlso <" << description.ttl << "> .\n";
  // Hosts list a plug-in's presets from here and read their values when one is chosen.
  for (const LV2Variant& variant : description.variants)
    for (const auto& [slot, values] : presets)
      ttl << "\n<" << LV2PresetUri(variant, slot->name.data())
          << ">\n    a pset:Preset ;\n    lv2:appliesTo <" << variant.uri
          << "> ;\n    rdfs:seeAlso <" << kLV2PresetsTtl << "> .\n";
  // A host finds the UI's binary without reading the plug-ins' description.
  if (!description.uiUri.empty())
    ttl << "\n<" << description.uiUri << ">\n    a ui:X11UI ;\n    ui:binary <"
        << description.uiBinary << "> ;\n    rdfs:seeAlso <" << description.ttl << "> .\n";
  return ttl.str();
}

std::string LV2PluginsTtl(const LV2Description& description, const IPlugLV2& plug) {
  const IPlugLV2& parameters = plug;
  std::ostringstream ttl;
  ttl << kPrefixes;
  const int32_t version = plug.GetPluginVersion();
  const int minor = (version >> 8) & 0xFF;
  const int micro = version & 0xFF;
  char revision[32];
  std::snprintf(revision, sizeof revision, "%d.%d.%d", (version >> 16) & 0xFFFF, minor, micro);

  // The plug-ins are one project: its maker and release.
  ttl << "\n<" << description.project << ">\n    a doap:Project ;\n"
      << "    doap:name " << Quoted(plug.GetProductName()) << " ;\n"
      << "    doap:maintainer [ a foaf:Organization ; foaf:name " << Quoted(plug.GetMfrName())
      << " ] ;\n"
      << "    doap:release [ a doap:Version ; doap:revision " << Quoted(revision) << " ] .\n";

  if (!description.uiUri.empty()) {
    // The editor in a window of the host's: it needs nothing but the parent window; it tells
    // the host its size and gestures when it can, and runs its display from the host's idle
    // calls. The levels it shows come from the monitor ports.
    ttl << "\n<" << description.uiUri << ">\n    a ui:X11UI ;\n"
        << "    ui:binary <" << description.uiBinary << "> ;\n"
        << "    lv2:requiredFeature ui:parent ;\n"
        << "    lv2:optionalFeature ui:resize , ui:touch , ui:idleInterface ;\n"
        << "    lv2:extensionData ui:idleInterface";
    for (const LV2Variant& variant : description.variants)
      for (const LV2MonitorPort& monitor : description.monitors)
        ttl << " ;\n    ui:portNotification [ ui:plugin <" << variant.uri << "> ; lv2:symbol "
            << Quoted(monitor.symbol) << " ; ui:protocol ui:floatProtocol ]";
    ttl << " .\n";
  }

  for (const LV2Variant& variant : description.variants) {
    const int channels = variant.channels;
    const std::string base = variant.uri;
    if (channels == 2) {
      ttl << "\n<" << base << "-in>\n    a pg:StereoGroup , pg:InputGroup ;\n"
          << "    lv2:symbol \"in\" ;\n    lv2:name \"Input\" .\n";
      ttl << "\n<" << base << "-out>\n    a pg:StereoGroup , pg:OutputGroup ;\n"
          << "    lv2:symbol \"out\" ;\n    lv2:name \"Output\" ;\n"
          << "    pg:source <" << base << "-in> .\n";
    }
    ttl << "\n<" << base << ">\n    a lv2:Plugin , lv2:" << description.pluginClass << " ;\n"
        << "    doap:name " << Quoted(variant.name) << " ;\n"
        << "    lv2:project <" << description.project << "> ;\n"
        << "    lv2:minorVersion " << minor << " ;\n"
        << "    lv2:microVersion " << micro << " ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options , work:schedule ;\n"
        << "    lv2:extensionData state:interface , opts:interface , work:interface ;\n"
        << "    opts:supportedOption bufsz:nominalBlockLength , bufsz:maxBlockLength ;\n";
    if (channels == 2)
      ttl << "    pg:mainInput <" << base << "-in> ;\n    pg:mainOutput <" << base << "-out> ;\n";
    if (!description.uiUri.empty()) ttl << "    ui:ui <" << description.uiUri << "> ;\n";

    std::vector<std::string> ports;
    int index = 0;
    for (const bool input : {true, false}) {
      for (int c = 0; c < channels; ++c) {
        std::ostringstream port;
        port << "[\n        a lv2:" << (input ? "Input" : "Output") << "Port , lv2:AudioPort ;\n"
             << "        lv2:index " << index++ << " ;\n"
             << "        lv2:symbol \"" << (input ? "in" : "out") << ChannelSymbol(c, channels)
             << "\" ;\n"
             << "        lv2:name \"" << (input ? "Input" : "Output") << ChannelName(c, channels)
             << "\"";
        if (channels == 2)
          port << " ;\n        pg:group <" << base << (input ? "-in" : "-out") << "> ;\n"
               << "        lv2:designation pg:" << (c == 0 ? "left" : "right");
        port << "\n    ]";
        ports.push_back(port.str());
      }
    }
    for (int i = 0; i < parameters.NParams(); ++i) {
      const IParam& param = *parameters.GetParam(i);
      std::ostringstream port;
      port << "[\n        a lv2:InputPort , lv2:ControlPort ;\n"
           << "        lv2:index " << index++ << " ;\n"
           << "        lv2:symbol \"" << description.paramSymbols.at(static_cast<size_t>(i))
           << "\" ;\n"
           << "        lv2:name " << Quoted(param.Name()) << " ;\n"
           << "        lv2:default " << Number(param.Default()) << " ;\n"
           << "        lv2:minimum " << Number(param.Min()) << " ;\n"
           << "        lv2:maximum " << Number(param.Max());
      std::vector<std::string> properties;
      if (param.Kind() == kKindBool) properties = {"lv2:toggled", "lv2:integer"};
      if (param.Kind() == kKindInt || param.Kind() == kKindEnum)
        properties = {"lv2:integer", "lv2:enumeration"};
      for (const int expensive : description.expensiveParams)
        if (expensive == i) properties.push_back("pprops:expensive");
      if (!param.CanAutomate()) properties.push_back("pprops:notAutomatic");
      if (!properties.empty()) {
        port << " ;\n        lv2:portProperty ";
        for (size_t k = 0; k < properties.size(); ++k) port << (k ? " , " : "") << properties[k];
      }
      if (param.Kind() == kKindDouble && param.Step() > 0.0) {
        const double steps = std::round((param.Max() - param.Min()) / param.Step()) + 1.0;
        if (steps >= 2.0 && steps < 1e7)
          port << " ;\n        pprops:rangeSteps " << static_cast<long>(steps);
      }
      if (param.Label()[0]) port << " ;\n        units:unit " << UnitOf(param.Label());
      for (int t = 0; t < param.ValueTextCount(); ++t) {
        double value = 0.0;
        const char* text = param.ValueTextAt(t, &value);
        port << " ;\n        lv2:scalePoint [ rdfs:label " << Quoted(text ? text : "")
             << " ; rdf:value " << Number(value) << " ]";
      }
      port << "\n    ]";
      ports.push_back(port.str());
    }
    ports.push_back(
        "[\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
        std::to_string(index++) +
        " ;\n        lv2:symbol \"enabled\" ;\n        lv2:name \"Enabled\" ;\n"
        "        lv2:designation lv2:enabled ;\n"
        "        lv2:portProperty lv2:toggled , lv2:integer ;\n"
        "        lv2:default 1 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ]");
    ports.push_back(
        "[\n        a lv2:InputPort , lv2:ControlPort ;\n        lv2:index " +
        std::to_string(index++) +
        " ;\n        lv2:symbol \"freewheel\" ;\n        lv2:name \"Free-wheeling\" ;\n"
        "        lv2:designation lv2:freeWheeling ;\n"
        "        lv2:portProperty lv2:toggled , lv2:integer , pprops:notOnGUI ;\n"
        "        lv2:default 0 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ]");
    ports.push_back("[\n        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index " +
                    std::to_string(index++) +
                    " ;\n        lv2:symbol \"latency\" ;\n        lv2:name \"Latency\" ;\n"
                    "        lv2:designation lv2:latency ;\n"
                    "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
                    "        units:unit units:frame ;\n"
                    "        lv2:minimum 0 ;\n        lv2:maximum " +
                    std::to_string(IPlugLV2::kMaxLatency) + "\n    ]");
    for (const LV2MonitorPort& monitor : description.monitors)
      ports.push_back("[\n        a lv2:OutputPort , lv2:ControlPort ;\n        lv2:index " +
                      std::to_string(index++) + " ;\n        lv2:symbol " + Quoted(monitor.symbol) +
                      " ;\n        lv2:name " + Quoted(monitor.name) +
                      " ;\n        lv2:minimum 0.0 ;\n        lv2:maximum 1.0\n    ]");
    ttl << "    lv2:port ";
    for (size_t k = 0; k < ports.size(); ++k) ttl << (k ? " , " : "") << ports[k];
    ttl << " .\n";
  }
  return ttl.str();
}

}  // namespace iplug
