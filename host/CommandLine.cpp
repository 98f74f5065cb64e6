#include "host/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

RenderOptions ParseRenderOptions(const std::vector<std::string>& args) {
  RenderOptions options;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-') {
      if (options.input)
        throw HostError("unexpected argument '" + arg + "': only one input file is rendered");
      options.input = arg;
      continue;
    }
    if (arg == "-") throw HostError("reading from standard input is not supported; name a file");
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    // "--flag=value" and "--flag value" are both accepted.
    std::string flag = arg;
    std::optional<std::string> attached;
    if (arg.rfind("--", 0) == 0) {
      const size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        flag = arg.substr(0, equals);
        attached = arg.substr(equals + 1);
      }
    }
    auto value = [&]() -> std::string {
      if (attached) return *attached;
      if (i + 1 >= args.size()) throw HostError(flag + " needs a value");
      return args[++i];
    };
    auto noValue = [&] {
      if (attached) throw HostError(flag + " takes no value");
    };

    if (flag == "-o" || flag == "--output") {
      const std::string path = value();
      if (path.empty()) throw HostError(flag + " needs a file name");
      options.output = path;
    } else if (flag == "--set") {
      options.settings.push_back(value());
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
      noValue();
      options.offline = true;
    } else if (flag == "--raw") {
      noValue();
      options.raw = true;
    } else if (flag == "-h" || flag == "--help") {
      noValue();
      options.help = true;
    } else {
      throw HostError("unknown option '" + flag + "' (see corvane-host --help)");
    }
  }
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
