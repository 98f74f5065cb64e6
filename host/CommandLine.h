#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/AudioFile.h"
#include "host/PluginSession.h"

namespace corvane::host {

constexpr int kDefaultBlockSize = 512;
constexpr int kMaxBlockSize = 1 << 20;
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 768000;

/** The arguments of `corvane-host render`, checked for form but not against any file. */
struct RenderOptions {
  std::optional<std::filesystem::path> input;
  std::optional<std::filesystem::path> output;
  std::vector<std::string> settings;  // "NAME=VALUE", in command-line order
  int blockSize = kDefaultBlockSize;
  std::optional<int> sampleRate;
  std::optional<SampleFormat> format;
  bool offline = false;
  bool raw = false;
  bool help = false;
};

/** Parses the arguments after "render"; throws HostError on anything malformed. */
RenderOptions ParseRenderOptions(const std::vector<std::string>& args);

/** A whole-text decimal number ("-3", "1.05", "2e-1"); nothing else, not even "3dB", "1,5",
 * "inf" or "nan", gets through. */
std::optional<double> ParseDecimal(std::string_view text);

struct ParameterSetting {
  int index = 0;
  double value = 0.0;
};

/** Resolves "NAME=VALUE" against the session's parameters: NAME is a parameter name
 * (case-insensitive) or a 0-based index, VALUE a plain value in the display unit inside the
 * parameter's range (on/off/true/false/1/0 for a switch). Throws HostError. */
ParameterSetting ResolveSetting(std::string_view text, const PluginSession& session);

/** The text "NAME=VALUE" settings resolved in order; a later setting of the same parameter
 * replaces an earlier one. */
std::vector<ParameterSetting> ResolveSettings(const std::vector<std::string>& texts,
                                              const PluginSession& session);

}  // namespace corvane::host
