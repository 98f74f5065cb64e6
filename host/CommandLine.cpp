#include "host/CommandLine.h"

#include "host/Presets.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "host/HostError.h"

namespace corvane::host {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string WithUnit(const std::string& number, const std::string& unit) {
  return unit.empty() ? number : number + " " + unit;
}

/** Parses a whole number in [low, high] for a flag, or throws naming the flag. */
int ParseCount(std::string_view flag, std::string_view text, int low, int high, const char* what) {
  const std::optional<double> value = ParseDecimal(text);
  if (!value || *value != std::floor(*value) || *value < low || *value > high)
    throw HostError(std::string(flag) + " needs a whole number of " + what + " from " +
                    std::to_string(low) + " to " + std::to_string(high) + " (got '" +
                    std::string(text) + "')");
  return static_cast<int>(*value);
}

std::optional<bool> ParseSwitch(std::string_view text) {
  for (const char* on : {"on", "true", "1"})
    if (EqualsIgnoringCase(text, on)) return true;
  for (const char* off : {"off", "false", "0"})
    if (EqualsIgnoringCase(text, off)) return false;
  return std::nullopt;
}

int FindParameter(std::string_view name, const PluginSession& session) {
  const int count = session.ParameterCount();
  if (AllDigits(name)) {
    const int index = name.size() <= 6 ? std::atoi(std::string(name).c_str()) : count;
    if (index >= count)
      throw HostError("no parameter with index " + std::string(name) + "; indices run from 0 to " +
                      std::to_string(count - 1));
    return index;
  }
  std::string known;
  for (int i = 0; i < count; ++i) {
    const std::string candidate = session.Parameter(i).name;
    if (EqualsIgnoringCase(name, candidate)) return i;
    known += (i ? ", " : "") + candidate;
  }
  throw HostError("unknown parameter '" + std::string(name) + "' (known: " + known +
                  "; or an index from 0 to " + std::to_string(count - 1) + ")");
}

}  // namespace

std::optional<double> ParseDecimal(std::string_view text) {
  text = Trim(text);
  size_t i = 0;
  auto digits = [&] {
    const size_t from = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    return i - from;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  // The text is a plain decimal by now, so strtod reads all of it; only the magnitude can
  // still make it non-finite ("1e999").
  const double value = std::strtod(std::string(text).c_str(), nullptr);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

namespace {

using ValueReader = std::function<std::string()>;
using NoValueCheck = std::function<void()>;
/** Handles one option; false when the flag is unknown. */
using OptionHandler = std::function<bool(const std::string& flag, const ValueReader& value,
                                         const NoValueCheck& none)>;

/** Walks a command's arguments: "--flag=value" and "--flag value" are both accepted, "--" ends
 * the options, and everything else that does not start with '-' is positional. */
void ScanArguments(const std::vector<std::string>& args,
                   const std::function<void(const std::string&)>& positional,
                   const OptionHandler& option) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-') {
      positional(arg);
      continue;
    }
    if (arg == "-") throw HostError("reading from standard input is not supported; name a file");
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    std::string flag = arg;
    std::optional<std::string> attached;
    if (arg.rfind("--", 0) == 0) {
      const size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        flag = arg.substr(0, equals);
        attached = arg.substr(equals + 1);
      }
    }
    const ValueReader value = [&]() -> std::string {
      if (attached) return *attached;
      if (i + 1 >= args.size()) throw HostError(flag + " needs a value");
      return args[++i];
    };
    const NoValueCheck none = [&] {
      if (attached) throw HostError(flag + " takes no value");
    };
    if (!option(flag, value, none))
      throw HostError("unknown option '" + flag + "' (see corvane-host --help)");
  }
}

std::filesystem::path FileValue(const std::string& flag, const std::string& value) {
  if (value.empty()) throw HostError(flag + " needs a file name");
  return value;
}

/** --module and --in-process; false for other flags. */
bool PluginOption(PluginSource& source, const std::string& flag, const ValueReader& value,
                  const NoValueCheck& none) {
  if (flag == "--module") {
    source.module = FileValue(flag, value());
  } else if (flag == "--in-process") {
    none();
    source.inProcess = true;
  } else {
    return false;
  }
  if (source.module && source.inProcess)
    throw HostError("--module and --in-process exclude each other");
  return true;
}

std::optional<double> ParseSeconds(std::string_view text) {
  const std::optional<double> seconds = ParseDecimal(text);
  if (!seconds || *seconds < 0.0) return std::nullopt;
  return seconds;
}

}  // namespace

AutomationText ParseAutomation(std::string_view text) {
  const auto malformed = [&](const std::string& why) {
    return HostError("--automate needs NAME@SECONDS=VALUE" + why + " (got '" + std::string(text) +
                     "')");
  };
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) throw malformed("");
  const std::string_view target = text.substr(0, equals);
  const size_t at = target.rfind('@');
  if (at == std::string_view::npos || Trim(target.substr(0, at)).empty()) throw malformed("");
  const std::optional<double> seconds = ParseSeconds(target.substr(at + 1));
  if (!seconds) throw malformed(", with SECONDS a time of 0 or more");
  AutomationText automation;
  automation.seconds = *seconds;
  automation.setting = std::string(target.substr(0, at)) + std::string(text.substr(equals));
  return automation;
}

BypassSpan ParseBypass(std::string_view text) {
  const size_t colon = text.find(':');
  const std::optional<double> from =
      colon == std::string_view::npos ? std::nullopt : ParseSeconds(text.substr(0, colon));
  const std::optional<double> to =
      colon == std::string_view::npos ? std::nullopt : ParseSeconds(text.substr(colon + 1));
  if (!from || !to)
    throw HostError("--bypass needs FROM:TO in seconds, both 0 or more (got '" + std::string(text) +
                    "')");
  if (*from >= *to)
    throw HostError("--bypass needs FROM before TO (got '" + std::string(text) + "')");
  return BypassSpan{*from, *to};
}

RenderOptions ParseRenderOptions(const std::vector<std::string>& args) {
  RenderOptions options;
  const auto positional = [&](const std::string& arg) {
    if (options.input)
      throw HostError("unexpected argument '" + arg + "': only one input file is rendered");
    options.input = arg;
  };
  const auto option = [&](const std::string& flag, const ValueReader& value,
                          const NoValueCheck& none) {
    if (flag == "-o" || flag == "--output") {
      options.output = FileValue(flag, value());
    } else if (flag == "--set") {
      options.settings.push_back(value());
    } else if (flag == "--preset") {
      // The preset's values, where it stands among the --set ones: what comes later wins.
      const PresetText preset = FindFactoryPreset(value());
      options.settings.insert(options.settings.end(), preset.settings.begin(),
                              preset.settings.end());
    } else if (flag == "--automate") {
      options.automation.push_back(ParseAutomation(value()));
    } else if (flag == "--bypass") {
      options.bypass.push_back(ParseBypass(value()));
    } else if (flag == "--state-in") {
      options.stateIn = FileValue(flag, value());
    } else if (flag == "--state-out") {
      options.stateOut = FileValue(flag, value());
    } else if (flag == "--block") {
      options.blockSize = ParseCount(flag, value(), 1, kMaxBlockSize, "frames");
    } else if (flag == "--rate") {
      options.sampleRate = ParseCount(flag, value(), kMinSampleRate, kMaxSampleRate, "Hz");
    } else if (flag == "--format") {
      const std::string name = value();
      options.format = ParseSampleFormat(name);
      if (!options.format)
        throw HostError("unknown format '" + name + "' (use pcm16, pcm24, float32 or float64)");
    } else if (flag == "--offline") {
      none();
      options.offline = true;
    } else if (flag == "--raw") {
      none();
      options.raw = true;
    } else if (flag == "--meters") {
      none();
      options.meters = true;
    } else if (flag == "-h" || flag == "--help") {
      none();
      options.help = true;
    } else {
      return PluginOption(options.plugin, flag, value, none);
    }
    return true;
  };
  ScanArguments(args, positional, option);
  return options;
}

DescribeOptions ParseDescribeOptions(const std::vector<std::string>& args) {
  DescribeOptions options;
  const auto positional = [](const std::string& arg) {
    throw HostError("unexpected argument '" + arg + "': describe takes only options");
  };
  const auto option = [&](const std::string& flag, const ValueReader& value,
                          const NoValueCheck& none) {
    if (flag == "--module") {
      options.module = FileValue(flag, value());
    } else if (flag == "--json") {
      none();
      options.json = true;
    } else if (flag == "-h" || flag == "--help") {
      none();
      options.help = true;
    } else {
      return false;
    }
    return true;
  };
  ScanArguments(args, positional, option);
  return options;
}

StateShowOptions ParseStateShowOptions(const std::vector<std::string>& args) {
  StateShowOptions options;
  const auto positional = [&](const std::string& arg) {
    if (options.file)
      throw HostError("unexpected argument '" + arg + "': state show reads one file");
    options.file = arg;
  };
  const auto option = [&](const std::string& flag, const ValueReader& value,
                          const NoValueCheck& none) {
    if (flag == "-h" || flag == "--help") {
      none();
      options.help = true;
      return true;
    }
    return PluginOption(options.plugin, flag, value, none);
  };
  ScanArguments(args, positional, option);
  if (!options.file && !options.help) throw HostError("state show needs a state file");
  return options;
}

EditorEventText ParseEditorEvent(std::string_view text) {
  const auto malformed = [&](const std::string& why) {
    return HostError("--event " + why + " (got '" + std::string(text) + "')");
  };
  constexpr const char* kForm =
      "needs [shift+][ctrl+]KIND:X,Y with KIND down, drag, up or dblclick, or wheel:X,Y,STEPS";
  EditorEventText parsed;
  parsed.text = std::string(text);
  AAX_OffscreenEvent& event = parsed.event;
  std::string_view rest = text;
  for (;;) {
    uint32_t key = 0;
    if (rest.rfind("shift+", 0) == 0) {
      key = AAX_eOffscreenModifier_Shift;
    } else if (rest.rfind("ctrl+", 0) == 0) {
      key = AAX_eOffscreenModifier_Control;
    } else {
      break;
    }
    if (event.modifiers & key) throw malformed("names a key twice");
    event.modifiers |= key;
    rest.remove_prefix(key == AAX_eOffscreenModifier_Shift ? 6 : 5);
  }
  const size_t colon = rest.find(':');
  if (colon == std::string_view::npos) throw malformed(kForm);
  const std::string_view kind = rest.substr(0, colon);
  size_t wanted = 2;
  if (kind == "down") {
    event.kind = AAX_eOffscreenEvent_Down;
  } else if (kind == "drag") {
    event.kind = AAX_eOffscreenEvent_Drag;
  } else if (kind == "up") {
    event.kind = AAX_eOffscreenEvent_Up;
  } else if (kind == "dblclick") {
    event.kind = AAX_eOffscreenEvent_DoubleClick;
  } else if (kind == "wheel") {
    event.kind = AAX_eOffscreenEvent_Wheel;
    wanted = 3;
  } else {
    throw malformed(kForm);
  }
  if (event.kind != AAX_eOffscreenEvent_Wheel) event.modifiers |= AAX_eOffscreenModifier_Left;

  std::vector<double> numbers;
  std::string_view list = rest.substr(colon + 1);
  for (;;) {
    const size_t comma = list.find(',');
    const std::optional<double> number = ParseDecimal(list.substr(0, comma));
    if (!number)
      throw malformed(wanted == 3 ? "needs wheel:X,Y,STEPS with three numbers"
                                  : "needs " + std::string(kind) + ":X,Y with two numbers");
    numbers.push_back(*number);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  if (numbers.size() != wanted)
    throw malformed(wanted == 3 ? "needs wheel:X,Y,STEPS with three numbers"
                                : "needs " + std::string(kind) + ":X,Y with two numbers");
  // No editor is anywhere near this large; a number that is must be a typing mistake.
  constexpr double kFar = 100000.0;
  if (std::fabs(numbers[0]) > kFar || std::fabs(numbers[1]) > kFar)
    throw malformed("has coordinates far outside any editor");
  event.x = static_cast<float>(numbers[0]);
  event.y = static_cast<float>(numbers[1]);
  if (wanted == 3) {
    if (numbers[2] == 0.0 || std::fabs(numbers[2]) > 1000.0)
      throw malformed("needs a wheel turn of -1000 to 1000 steps, not 0");
    event.delta = static_cast<float>(numbers[2]);
  }
  return parsed;
}

SnapshotOptions ParseSnapshotOptions(const std::vector<std::string>& args) {
  SnapshotOptions options;
  const auto positional = [&](const std::string& arg) {
    if (options.input)
      throw HostError("unexpected argument '" + arg + "': a snapshot plays at most one input file");
    options.input = arg;
  };
  const auto option = [&](const std::string& flag, const ValueReader& value,
                          const NoValueCheck& none) {
    if (flag == "-o" || flag == "--output") {
      options.output = FileValue(flag, value());
    } else if (flag == "--scale") {
      const std::string text = value();
      const std::optional<double> scale = ParseDecimal(text);
      if (!scale || *scale < kMinSnapshotScale || *scale > kMaxSnapshotScale)
        throw HostError("--scale needs a zoom from 0.5 to 4 (got '" + text + "')");
      options.scale = static_cast<float>(*scale);
    } else if (flag == "--screen-scale") {
      options.screenScale =
          ParseCount(flag, value(), 1, kMaxScreenScale, "device pixels per point");
    } else if (flag == "--set") {
      options.settings.push_back(value());
    } else if (flag == "--preset") {
      // The preset's values, where it stands among the --set ones: what comes later wins.
      const PresetText preset = FindFactoryPreset(value());
      options.settings.insert(options.settings.end(), preset.settings.begin(),
                              preset.settings.end());
    } else if (flag == "--at") {
      const std::string text = value();
      const std::optional<double> seconds = ParseSeconds(text);
      if (!seconds || *seconds > kMaxSnapshotSeconds)
        throw HostError("--at needs a time from 0 to 600 seconds (got '" + text + "')");
      options.at = *seconds;
    } else if (flag == "--event") {
      options.events.push_back(ParseEditorEvent(value()));
    } else if (flag == "--module") {
      options.module = FileValue(flag, value());
    } else if (flag == "-h" || flag == "--help") {
      none();
      options.help = true;
    } else {
      return false;
    }
    return true;
  };
  ScanArguments(args, positional, option);
  if (options.help) return options;
  if (!options.output) throw HostError("snapshot needs an output file: -o FILE.png");
  std::string extension = options.output->extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension != ".png")
    throw HostError("snapshot writes PNG images; name the output FILE.png (got '" +
                    options.output->string() + "')");
  return options;
}

EditorOptions ParseEditorOptions(const std::vector<std::string>& args) {
  EditorOptions options;
  const auto positional = [&](const std::string& arg) {
    if (options.input)
      throw HostError("unexpected argument '" + arg + "': the editor plays at most one input file");
    options.input = arg;
  };
  const auto option = [&](const std::string& flag, const ValueReader& value,
                          const NoValueCheck& none) {
    if (flag == "--scale") {
      const std::string text = value();
      const std::optional<double> scale = ParseDecimal(text);
      if (!scale || *scale < kMinSnapshotScale || *scale > kMaxSnapshotScale)
        throw HostError("--scale needs a zoom from 0.5 to 4 (got '" + text + "')");
      options.scale = static_cast<float>(*scale);
    } else if (flag == "--set") {
      options.settings.push_back(value());
    } else if (flag == "--preset") {
      // The preset's values, where it stands among the --set ones: what comes later wins.
      const PresetText preset = FindFactoryPreset(value());
      options.settings.insert(options.settings.end(), preset.settings.begin(),
                              preset.settings.end());
    } else if (flag == "--loop") {
      none();
      options.loop = true;
    } else if (flag == "--module") {
      options.module = FileValue(flag, value());
    } else if (flag == "-h" || flag == "--help") {
      none();
      options.help = true;
    } else {
      return false;
    }
    return true;
  };
  ScanArguments(args, positional, option);
  return options;
}

ParameterSetting ResolveSetting(std::string_view text, const PluginSession& session) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos)
    throw HostError("--set needs NAME=VALUE (got '" + std::string(text) + "')");
  const std::string_view name = Trim(text.substr(0, equals));
  const std::string_view valueText = Trim(text.substr(equals + 1));
  if (name.empty())
    throw HostError("--set needs a parameter name before '=' (got '" + std::string(text) + "')");

  ParameterSetting setting;
  setting.index = FindParameter(name, session);
  const ParameterInfo info = session.Parameter(setting.index);

  if (info.isBoolean) {
    const std::optional<bool> on = ParseSwitch(valueText);
    if (!on)
      throw HostError(info.name + " is on or off (also true/false, 1/0); got '" +
                      std::string(valueText) + "'");
    setting.value = *on ? 1.0 : 0.0;
    return setting;
  }

  // The ends of the range by name, so that a caller need not know them.
  if (valueText == "min" || valueText == "max") {
    setting.value = valueText == "min" ? info.min : info.max;
    return setting;
  }
  const std::optional<double> value = ParseDecimal(valueText);
  if (!value)
    throw HostError(info.name + " takes a plain number" +
                    (info.unit.empty() ? std::string() : " in " + info.unit) + " (got '" +
                    std::string(valueText) + "')");
  // Typed values round-trip through decimal text; forgive the last bits of the range ends.
  const double slack = 1e-9 * std::max(1.0, info.max - info.min);
  if (*value < info.min - slack || *value > info.max + slack)
    throw HostError(info.name + " must be from " + Number(info.min) + " to " +
                    WithUnit(Number(info.max), info.unit) + " (got " + std::string(valueText) +
                    ")");
  setting.value = std::clamp(*value, info.min, info.max);
  return setting;
}

std::vector<ParameterSetting> ResolveSettings(const std::vector<std::string>& texts,
                                              const PluginSession& session) {
  std::vector<ParameterSetting> settings;
  for (const std::string& text : texts) {
    const ParameterSetting setting = ResolveSetting(text, session);
    std::erase_if(settings, [&](const ParameterSetting& s) { return s.index == setting.index; });
    settings.push_back(setting);
  }
  return settings;
}

}  // namespace corvane::host
