#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aax/interfaces/AAX_OffscreenView.h"
#include "host/AudioFile.h"
#include "host/PluginSession.h"

namespace corvane::host {

constexpr int kDefaultBlockSize = 512;
constexpr int kMaxBlockSize = 1 << 20;
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 768000;

/** Where the plug-in comes from. */
struct PluginSource {
  std::optional<std::filesystem::path> module;  // default: DefaultModulePath()
  bool inProcess = false;
};

/** One --automate: "NAME=VALUE" applied at the first block boundary at or after seconds. */
struct AutomationText {
  double seconds = 0.0;
  std::string setting;
};

/** One --bypass stretch, in seconds: from < to. */
struct BypassSpan {
  double from = 0.0;
  double to = 0.0;
};

/** The arguments of `corvane-host render`, checked for form but not against any file. */
struct RenderOptions {
  std::optional<std::filesystem::path> input;
  std::optional<std::filesystem::path> output;
  std::vector<std::string> settings;  // "NAME=VALUE", in command-line order
  std::vector<AutomationText> automation;
  std::vector<BypassSpan> bypass;
  std::optional<std::filesystem::path> stateIn;
  std::optional<std::filesystem::path> stateOut;
  PluginSource plugin;
  int blockSize = kDefaultBlockSize;
  std::optional<int> sampleRate;
  std::optional<SampleFormat> format;
  bool offline = false;
  bool raw = false;
  bool meters = false;
  bool help = false;
};

/** Parses the arguments after "render"; throws HostError on anything malformed. */
RenderOptions ParseRenderOptions(const std::vector<std::string>& args);

/** The arguments of `corvane-host describe`. */
struct DescribeOptions {
  std::optional<std::filesystem::path> module;
  bool json = false;
  bool help = false;
};
DescribeOptions ParseDescribeOptions(const std::vector<std::string>& args);

/** The arguments of `corvane-host state show FILE`. */
struct StateShowOptions {
  std::optional<std::filesystem::path> file;
  PluginSource plugin;
  bool help = false;
};
/** args are those after "state show". */
StateShowOptions ParseStateShowOptions(const std::vector<std::string>& args);

/** One --event of `snapshot`, in editor points, with the text it came from (for messages). */
struct EditorEventText {
  AAX_OffscreenEvent event{};
  std::string text;
};

/** The arguments of `corvane-host snapshot`, checked for form but not against any file. */
struct SnapshotOptions {
  std::optional<std::filesystem::path> input;
  std::optional<std::filesystem::path> output;
  float scale = 1.0f;
  int screenScale = 1;
  std::vector<std::string> settings;  // "NAME=VALUE", in command-line order
  std::optional<double> at;           // seconds
  std::vector<EditorEventText> events;
  std::optional<std::filesystem::path> module;
  bool help = false;
};

constexpr float kMinSnapshotScale = 0.5f;
constexpr float kMaxSnapshotScale = 4.0f;
constexpr int kMaxScreenScale = 4;
/** The longest --at: enough for any song, short enough never to look like a hang. */
constexpr double kMaxSnapshotSeconds = 600.0;

/** Parses the arguments after "snapshot"; throws HostError on anything malformed. -o is
 * required (unless --help) and must name a .png file. */
SnapshotOptions ParseSnapshotOptions(const std::vector<std::string>& args);

/** The arguments of `corvane-host editor`, checked for form but not against any file. */
struct EditorOptions {
  std::optional<std::filesystem::path> input;
  std::optional<float> scale;         // none: the user's stored zoom
  std::vector<std::string> settings;  // "NAME=VALUE", in command-line order
  bool loop = false;
  std::optional<std::filesystem::path> module;
  bool help = false;
};

/** Parses the arguments after "editor"; throws HostError on anything malformed. */
EditorOptions ParseEditorOptions(const std::vector<std::string>& args);

/**
 * "[shift+][ctrl+]KIND:X,Y" with KIND down, drag, up or dblclick, or "...wheel:X,Y,N": a pointer
 * event at (X, Y) in editor points; down, drag, up and dblclick carry the left button, wheel
 * turns N steps (positive: up). Throws HostError when malformed or not finite.
 */
EditorEventText ParseEditorEvent(std::string_view text);

/** "NAME@SECONDS=VALUE" into its time and "NAME=VALUE"; throws HostError when malformed. */
AutomationText ParseAutomation(std::string_view text);
/** "FROM:TO" in seconds; throws HostError when malformed, negative or empty. */
BypassSpan ParseBypass(std::string_view text);

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
