#include "host/Describe.h"

#include <cstdio>
#include <optional>
#include <sstream>
#include <vector>

#include "aax/interfaces/AAX_IDescription.h"
#include "aax/interfaces/AAX_Types.h"
#include "host/aaxhost/HostObject.h"

namespace corvane::host {

namespace {

using aaxhost::Component;
using aaxhost::Effect;
using aaxhost::Field;
using aaxhost::FieldKind;
using aaxhost::Property;

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Hex64(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Code(uint32_t id) {
  return aaxhost::FourCCText(id);
}

std::string StemFormatName(int32_t format) {
  switch (format) {
    case AAX_eStemFormat_Mono:
      return "mono";
    case AAX_eStemFormat_Stereo:
      return "stereo";
    case AAX_eStemFormat_None:
      return "none";
    default:
      break;
  }
  const int32_t channels = AAX_StemFormatChannelCount(format);
  if (AAX_StemFormatForChannelCount(channels) == format)
    return std::to_string(channels) + " channels";
  return "unknown";
}

enum class ValueKind { kNumber, kTypeID, kStemFormat, kMeterType, kFlag };

struct PropertyName {
  int32_t id;
  const char* name;
  ValueKind kind;
};

constexpr PropertyName kPropertyNames[] = {
    {AAX_eProperty_ManufacturerID, "manufacturer ID", ValueKind::kTypeID},
    {AAX_eProperty_ProductID, "product ID", ValueKind::kTypeID},
    {AAX_eProperty_PlugInID_Native, "native plug-in ID", ValueKind::kTypeID},
    {AAX_eProperty_PlugInID_AudioSuite, "AudioSuite plug-in ID", ValueKind::kTypeID},
    {AAX_eProperty_InputStemFormat, "input stem format", ValueKind::kStemFormat},
    {AAX_eProperty_OutputStemFormat, "output stem format", ValueKind::kStemFormat},
    {AAX_eProperty_HybridOutputStemFormat, "hybrid output stem format", ValueKind::kStemFormat},
    {AAX_eProperty_HybridInputStemFormat, "hybrid input stem format", ValueKind::kStemFormat},
    {AAX_eProperty_SupportsSideChainInput, "side-chain input", ValueKind::kFlag},
    {AAX_eProperty_Meter_Type, "meter type", ValueKind::kMeterType},
    {AAX_eProperty_Meter_Orientation, "meter orientation", ValueKind::kNumber},
    {AAX_eProperty_UsesTransport, "uses transport", ValueKind::kFlag},
};

PropertyName NameOf(int32_t id) {
  for (const PropertyName& entry : kPropertyNames)
    if (entry.id == id) return entry;
  return PropertyName{id, nullptr, ValueKind::kNumber};
}

std::string PropertyLabel(int32_t id) {
  const PropertyName entry = NameOf(id);
  return entry.name ? entry.name : "property " + std::to_string(id);
}

/** How a property value reads to people, beyond its number; empty when the number says it. */
std::string PropertyMeaning(const Property& property) {
  const auto value = static_cast<uint32_t>(property.value);
  switch (NameOf(property.id).kind) {
    case ValueKind::kTypeID: {
      // Appended piecewise: GCC 12 warns falsely (-Wrestrict) about a literal + string.
      std::string text(1, '\'');
      text.append(Code(value)).append("' ").append(Hex32(value));
      return text;
    }
    case ValueKind::kStemFormat:
      return Hex32(value) + " " + StemFormatName(property.value);
    case ValueKind::kMeterType:
      return property.value == AAX_eMeterType_Input    ? "input"
             : property.value == AAX_eMeterType_Output ? "output"
                                                       : "";
    default:
      return "";
  }
}

std::string NodeTypeName(int32_t type) {
  switch (type) {
    case AAX_eMIDINodeType_LocalInput:
      return "input";
    case AAX_eMIDINodeType_LocalOutput:
      return "output";
    case AAX_eMIDINodeType_Global:
      return "global";
    case AAX_eMIDINodeType_Transport:
      return "transport";
    default:
      return "type " + std::to_string(type);
  }
}

std::string BufferingName(int32_t type) {
  switch (type) {
    case AAX_eDataInPortType_Unbuffered:
      return "unbuffered";
    case AAX_eDataInPortType_Buffered:
      return "buffered";
    case AAX_eDataInPortType_Incremental:
      return "incremental";
    default:
      return "type " + std::to_string(type);
  }
}

std::string ProcName(int32_t id) {
  switch (id) {
    case kAAX_ProcPtrID_Create_EffectParameters:
      return "effect parameters";
    case kAAX_ProcPtrID_Create_EffectGUI:
      return "effect GUI";
    default:
      return "procedure " + std::to_string(id);
  }
}

int32_t Channels(const Component& component, int32_t propertyID) {
  const auto format = component.ProcProperty(propertyID);
  return format && *format != AAX_eStemFormat_None ? AAX_StemFormatChannelCount(*format) : 0;
}

/** Bytes behind the field that the module asked for or that the field's kind implies. */
std::optional<uint32_t> FieldSize(const Field& field) {
  switch (field.kind) {
    case FieldKind::kPrivateData:
    case FieldKind::kDataInPort:
    case FieldKind::kTemporaryData:
      return field.dataSize;
    case FieldKind::kAudioBufferLength:
    case FieldKind::kSideChainIn:
      return 4;
    case FieldKind::kSampleRate:
      return static_cast<uint32_t>(sizeof(AAX_CSampleRate));
    case FieldKind::kClock:
      return 8;
    case FieldKind::kMeters:
      return static_cast<uint32_t>(field.meterIDs.size() * sizeof(float));
    default:
      return std::nullopt;
  }
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

/** What else there is to say about a field, for the text form. */
std::string FieldDetail(const Field& field, const Component& component) {
  std::string detail;
  switch (field.kind) {
    case FieldKind::kAudioIn:
      return Plural(static_cast<size_t>(Channels(component, AAX_eProperty_InputStemFormat)),
                    "channel", "channels");
    case FieldKind::kAudioOut:
      return Plural(static_cast<size_t>(Channels(component, AAX_eProperty_OutputStemFormat)),
                    "channel", "channels");
    case FieldKind::kMidiNode:
      return NodeTypeName(field.nodeType) + " \"" + field.name + "\", channel mask " +
             Hex32(field.channelMask);
    case FieldKind::kAuxOutputStem:
      return "\"" + field.name + "\", " + Hex32(static_cast<uint32_t>(field.stemFormat)) + " " +
             StemFormatName(field.stemFormat);
    case FieldKind::kMeters:
      detail = Plural(field.meterIDs.size(), "tap", "taps");
      for (size_t i = 0; i < field.meterIDs.size(); ++i)
        detail += (i ? ", '" : ": '") + Code(field.meterIDs[i]) + "'";
      return detail;
    case FieldKind::kDataInPort:
      return BufferingName(field.bufferingType);
    case FieldKind::kPrivateData:
      return field.options ? "options " + std::to_string(field.options) : "";
    case FieldKind::kReserved:
      return "field type " + std::to_string(field.reservedType);
    default:
      return "";
  }
}

// ---------------------------------------------------------------------------------------------
// Text.

void TextProperties(std::ostringstream& out, const std::vector<Property>& properties,
                    const std::string& indent) {
  for (const Property& property : properties) {
    out << indent << property.id << " " << PropertyLabel(property.id) << " = ";
    if (property.isPointer) {
      out << "(pointer)\n";
      continue;
    }
    out << property.value;
    const std::string meaning = PropertyMeaning(property);
    if (!meaning.empty()) out << " (" << meaning << ")";
    out << '\n';
  }
}

void TextComponent(std::ostringstream& out, const Component& component, size_t number) {
  out << "  component " << number << ":";
  for (int32_t id : {AAX_eProperty_PlugInID_Native, AAX_eProperty_PlugInID_AudioSuite}) {
    if (const auto value = component.ProcProperty(id))
      out << " " << (id == AAX_eProperty_PlugInID_Native ? "native" : "AudioSuite") << " '"
          << Code(static_cast<uint32_t>(*value)) << "' " << Hex32(static_cast<uint32_t>(*value));
  }
  out << '\n';
  for (int32_t id : {AAX_eProperty_InputStemFormat, AAX_eProperty_OutputStemFormat}) {
    const auto format = component.ProcProperty(id);
    out << "    " << (id == AAX_eProperty_InputStemFormat ? "input" : "output") << " stem format: "
        << (format ? Hex32(static_cast<uint32_t>(*format)) + " " + StemFormatName(*format)
                   : std::string("not given"))
        << '\n';
  }
  out << "    context fields, in the order declared (index, type, size):\n";
  for (const Field& field : component.fields) {
    char line[96];
    const std::optional<uint32_t> size = FieldSize(field);
    std::snprintf(line, sizeof line, "      %3d  %-15s %-9s", field.index,
                  aaxhost::FieldKindName(field.kind),
                  size ? (std::to_string(*size) + " bytes").c_str() : "-");
    std::string text = line;
    const std::string detail = FieldDetail(field, component);
    if (!detail.empty()) text += " " + detail;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  }
  for (const aaxhost::ProcessProc& proc : component.processProcs) {
    out << "    native process procedure" << (proc.instanceInitProc ? ", instance init" : "")
        << (proc.backgroundProc ? ", background" : "") << "; properties in order:\n";
    TextProperties(out, proc.properties, "      ");
  }
}

void TextEffect(std::ostringstream& out, const Effect& effect) {
  out << "effect \"" << effect.effectID << "\"\n";
  out << "  names:";
  for (size_t i = 0; i < effect.names.size(); ++i)
    out << (i ? ", \"" : " \"") << effect.names[i] << '"';
  out << '\n';
  out << "  categories:";
  for (uint32_t category : effect.categories) out << " " << Hex32(category);
  out << '\n';
  for (const auto& [category, id] : effect.categoryBypassParameters)
    out << "  bypass parameter for category " << Hex32(category) << ": \"" << id << "\"\n";
  if (!effect.properties.empty()) {
    out << "  properties:\n";
    TextProperties(out, effect.properties, "    ");
  }
  for (const auto& [type, info] : effect.resources)
    out << "  resource " << type << ": \"" << info << "\"\n";
  for (const aaxhost::ControlMIDINode& node : effect.controlMIDINodes)
    out << "  control MIDI node '" << Code(node.id) << "' " << Hex32(node.id) << ": "
        << NodeTypeName(node.nodeType) << " \"" << node.name << "\", channel mask "
        << Hex32(node.channelMask) << '\n';
  out << "  components: " << effect.components.size() << '\n';
  for (size_t i = 0; i < effect.components.size(); ++i)
    TextComponent(out, effect.components[i], i + 1);
  out << "  meters: " << effect.meters.size() << '\n';
  for (const aaxhost::Meter& meter : effect.meters) {
    out << "    '" << Code(meter.id) << "' " << Hex32(meter.id) << " \"" << meter.name << "\"\n";
    TextProperties(out, meter.properties, "      ");
  }
  out << "  creation procedures:";
  for (size_t i = 0; i < effect.procPtrs.size(); ++i)
    out << (i ? ", " : " ") << effect.procPtrs[i].id << " (" << ProcName(effect.procPtrs[i].id)
        << ")";
  out << '\n';
}

// ---------------------------------------------------------------------------------------------
// JSON.

/** Writes pretty-printed JSON; the caller keeps keys and values in turn. */
class JsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void Key(const std::string& key) {
    Separate();
    mOut << '"' << JsonEscape(key) << "\": ";
    mAfterKey = true;
  }
  void String(const std::string& value) { Scalar('"' + JsonEscape(value) + '"'); }
  void Number(int64_t value) { Scalar(std::to_string(value)); }
  void Bool(bool value) { Scalar(value ? "true" : "false"); }

  void Field(const std::string& key, const std::string& value) {
    Key(key);
    String(value);
  }
  void Field(const std::string& key, int64_t value) {
    Key(key);
    Number(value);
  }
  void FieldBool(const std::string& key, bool value) {
    Key(key);
    Bool(value);
  }

  std::string Text() const { return mOut.str() + "\n"; }

 private:
  void Separate() {
    if (mAfterKey) {
      mAfterKey = false;
      return;
    }
    if (!mFirst.empty()) {
      if (!mFirst.back()) mOut << ',';
      mFirst.back() = false;
      mOut << '\n' << std::string(2 * mFirst.size(), ' ');
    }
  }
  void Scalar(const std::string& text) {
    Separate();
    mOut << text;
  }
  void Open(char bracket) {
    Separate();
    mOut << bracket;
    mFirst.push_back(true);
  }
  void Close(char bracket) {
    const bool empty = mFirst.back();
    mFirst.pop_back();
    if (!empty) mOut << '\n' << std::string(2 * mFirst.size(), ' ');
    mOut << bracket;
  }

  std::ostringstream mOut;
  std::vector<bool> mFirst;  // per open container: nothing written into it yet
  bool mAfterKey = false;
};

void JsonTypeID(JsonWriter& json, const std::string& key, uint32_t id) {
  json.Key(key);
  json.BeginObject();
  json.Field("code", Code(id));
  json.Field("hex", Hex32(id));
  json.EndObject();
}

void JsonStemFormat(JsonWriter& json, const std::string& key, std::optional<int32_t> format) {
  json.Key(key);
  json.BeginObject();
  if (format) {
    json.Field("hex", Hex32(static_cast<uint32_t>(*format)));
    json.Field("name", StemFormatName(*format));
    json.Field("channels",
               *format == AAX_eStemFormat_None ? 0 : AAX_StemFormatChannelCount(*format));
  }
  json.EndObject();
}

void JsonProperties(JsonWriter& json, const std::vector<Property>& properties) {
  json.Key("properties");
  json.BeginArray();
  for (const Property& property : properties) {
    json.BeginObject();
    json.Field("id", property.id);
    json.Field("name", PropertyLabel(property.id));
    if (property.isPointer) {
      json.FieldBool("pointer", true);
    } else {
      json.Field("value", property.value);
      const auto value = static_cast<uint32_t>(property.value);
      switch (NameOf(property.id).kind) {
        case ValueKind::kTypeID:
          json.Field("code", Code(value));
          json.Field("hex", Hex32(value));
          break;
        case ValueKind::kStemFormat:
          json.Field("hex", Hex32(value));
          json.Field("text", StemFormatName(property.value));
          break;
        case ValueKind::kMeterType:
          if (!PropertyMeaning(property).empty()) json.Field("text", PropertyMeaning(property));
          break;
        default:
          break;
      }
    }
    json.EndObject();
  }
  json.EndArray();
}

void JsonComponent(JsonWriter& json, const Component& component) {
  json.BeginObject();
  if (const auto id = component.ProcProperty(AAX_eProperty_PlugInID_Native))
    JsonTypeID(json, "nativeID", static_cast<uint32_t>(*id));
  if (const auto id = component.ProcProperty(AAX_eProperty_PlugInID_AudioSuite))
    JsonTypeID(json, "audioSuiteID", static_cast<uint32_t>(*id));
  JsonStemFormat(json, "inputStemFormat", component.ProcProperty(AAX_eProperty_InputStemFormat));
  JsonStemFormat(json, "outputStemFormat", component.ProcProperty(AAX_eProperty_OutputStemFormat));
  json.Key("fields");
  json.BeginArray();
  for (const Field& field : component.fields) {
    json.BeginObject();
    json.Field("index", field.index);
    json.Field("kind", aaxhost::FieldKindName(field.kind));
    if (const auto size = FieldSize(field)) json.Field("size", *size);
    switch (field.kind) {
      case FieldKind::kAudioIn:
        json.Field("channels", Channels(component, AAX_eProperty_InputStemFormat));
        break;
      case FieldKind::kAudioOut:
        json.Field("channels", Channels(component, AAX_eProperty_OutputStemFormat));
        break;
      case FieldKind::kMidiNode:
        json.Field("nodeType", NodeTypeName(field.nodeType));
        json.Field("name", field.name);
        json.Field("channelMask", Hex32(field.channelMask));
        break;
      case FieldKind::kAuxOutputStem:
        json.Field("name", field.name);
        JsonStemFormat(json, "stemFormat", field.stemFormat);
        break;
      case FieldKind::kMeters:
        json.Key("meterIDs");
        json.BeginArray();
        for (AAX_CTypeID id : field.meterIDs) json.String(Code(id));
        json.EndArray();
        break;
      case FieldKind::kDataInPort:
        json.Field("buffering", BufferingName(field.bufferingType));
        break;
      case FieldKind::kPrivateData:
        json.Field("options", field.options);
        break;
      case FieldKind::kReserved:
        json.Field("fieldType", field.reservedType);
        break;
      default:
        break;
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("processProcedures");
  json.BeginArray();
  for (const aaxhost::ProcessProc& proc : component.processProcs) {
    json.BeginObject();
    json.Field("kind", "native");
    json.FieldBool("instanceInit", proc.instanceInitProc != nullptr);
    json.FieldBool("background", proc.backgroundProc != nullptr);
    JsonProperties(json, proc.properties);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void JsonEffect(JsonWriter& json, const Effect& effect) {
  json.BeginObject();
  json.Field("effectID", effect.effectID);
  json.Key("names");
  json.BeginArray();
  for (const std::string& name : effect.names) json.String(name);
  json.EndArray();
  json.Key("categories");
  json.BeginArray();
  for (uint32_t category : effect.categories) {
    json.BeginObject();
    json.Field("value", category);
    json.Field("hex", Hex32(category));
    json.EndObject();
  }
  json.EndArray();
  json.Key("categoryBypassParameters");
  json.BeginArray();
  for (const auto& [category, id] : effect.categoryBypassParameters) {
    json.BeginObject();
    json.Field("category", Hex32(category));
    json.Field("parameterID", id);
    json.EndObject();
  }
  json.EndArray();
  JsonProperties(json, effect.properties);
  json.Key("resources");
  json.BeginArray();
  for (const auto& [type, info] : effect.resources) {
    json.BeginObject();
    json.Field("type", type);
    json.Field("info", info);
    json.EndObject();
  }
  json.EndArray();
  json.Key("controlMIDINodes");
  json.BeginArray();
  for (const aaxhost::ControlMIDINode& node : effect.controlMIDINodes) {
    json.BeginObject();
    JsonTypeID(json, "id", node.id);
    json.Field("nodeType", NodeTypeName(node.nodeType));
    json.Field("name", node.name);
    json.Field("channelMask", Hex32(node.channelMask));
    json.EndObject();
  }
  json.EndArray();
  json.Key("components");
  json.BeginArray();
  for (const Component& component : effect.components) JsonComponent(json, component);
  json.EndArray();
  json.Key("meters");
  json.BeginArray();
  for (const aaxhost::Meter& meter : effect.meters) {
    json.BeginObject();
    JsonTypeID(json, "id", meter.id);
    json.Field("name", meter.name);
    JsonProperties(json, meter.properties);
    json.EndObject();
  }
  json.EndArray();
  json.Key("creationProcedures");
  json.BeginArray();
  for (const aaxhost::ProcPtr& proc : effect.procPtrs) {
    json.BeginObject();
    json.Field("id", proc.id);
    json.Field("kind", ProcName(proc.id));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

}  // namespace

std::string JsonEscape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '"':
        escaped += "\\\"";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\t':
        escaped += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(c));
          escaped += code;
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string DescribeAsText(const DescribedModule& module) {
  const aaxhost::Description& description = *module.description;
  std::ostringstream out;
  out << "module: " << module.path << '\n';
  out << "SDK version: " << Hex64(module.sdkVersion) << '\n';
  out << "manufacturer: \"" << description.manufacturerName << "\"\n";
  out << "package names:";
  for (size_t i = 0; i < description.packageNames.size(); ++i)
    out << (i ? ", \"" : " \"") << description.packageNames[i] << '"';
  out << '\n';
  const uint32_t version = description.packageVersion;
  out << "package version: " << Hex32(version) << " (" << (version >> 16) << '.'
      << ((version >> 8) & 0xFF) << '.' << (version & 0xFF) << ")\n";
  if (!description.properties.empty()) {
    out << "properties:\n";
    TextProperties(out, description.properties, "  ");
  }
  out << "effects: " << description.effects.size() << '\n';
  for (const Effect& effect : description.effects) TextEffect(out, effect);
  return out.str();
}

std::string DescribeAsJson(const DescribedModule& module) {
  const aaxhost::Description& description = *module.description;
  JsonWriter json;
  json.BeginObject();
  json.Field("module", module.path);
  json.Field("sdkVersion", Hex64(module.sdkVersion));
  json.Field("manufacturer", description.manufacturerName);
  json.Key("packageNames");
  json.BeginArray();
  for (const std::string& name : description.packageNames) json.String(name);
  json.EndArray();
  json.Key("packageVersion");
  json.BeginObject();
  json.Field("value", description.packageVersion);
  json.Field("hex", Hex32(description.packageVersion));
  json.EndObject();
  JsonProperties(json, description.properties);
  json.Key("effects");
  json.BeginArray();
  for (const Effect& effect : description.effects) JsonEffect(json, effect);
  json.EndArray();
  json.EndObject();
  return json.Text();
}

}  // namespace corvane::host
