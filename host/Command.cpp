#include "host/Command.h"

#include "host/Presets.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "host/AudioFile.h"
#include "host/CommandLine.h"
#include "host/DemoSignal.h"
#include "host/Describe.h"
#include "host/EditorCommand.h"
#include "host/HostError.h"
#include "host/ModuleHost.h"
#include "host/PluginSession.h"
#include "host/RenderLoop.h"
#include "host/Snapshot.h"
#include "host/StateChunk.h"
#include "host/validate/Validator.h"

namespace corvane::host {

namespace fs = std::filesystem;

namespace {

constexpr int kDemoSampleRate = 48000;
constexpr const char* kDemoOutput = "corvane-demo.wav";

fs::path WithSuffix(const fs::path& path, const std::string& suffix) {
  fs::path result = path;
  result.replace_filename(path.stem().string() + suffix + path.extension().string());
  return result;
}

std::string Decibels(double linear) {
  if (!(linear > 0.0)) return "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", 20.0 * std::log10(linear));
  return text;
}

/** Redraws only when the shown percentage changes, so a block size of 1 does not flood the
 * terminal; erases itself when done, also when the render fails. */
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled, int64_t total)
      : mErr(err), mEnabled(enabled && total > 0), mTotal(total) {}
  ~ProgressBar() {
    if (mEnabled && mShown >= 0) mErr << '\r' << std::string(kWidth + 8, ' ') << '\r' << std::flush;
  }
  void Update(int64_t done) {
    if (!mEnabled) return;
    const int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / mTotal));
    if (percent == mShown) return;
    mShown = percent;
    const int filled = percent * kWidth / 100;
    mErr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
         << percent << '%' << std::flush;
  }

 private:
  static constexpr int kWidth = 40;
  std::ostream& mErr;
  bool mEnabled;
  int64_t mTotal;
  int mShown = -1;
};

/** A session for audio at this rate and channel count (the module's instance is made for it). */
std::unique_ptr<PluginSession> OpenSession(const PluginSource& source, double sampleRate = 48000.0,
                                           int channels = 2) {
  if (source.inProcess) return MakeCorvaneSession();
  return MakeModuleSession(source.module.value_or(DefaultModulePath()), sampleRate, channels);
}

/** Every digit a double needs to be read back as itself, and no more. */
std::string ShortestText(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

/** Reads a state file and checks that it is the plug-in's kind of state. */
ChunkRecord ReadStateFor(const fs::path& path, const PluginSession& session) {
  ChunkRecord record = ReadChunkFile(path);
  if (record.chunkID != session.StateChunkID())
    throw HostError("'" + path.string() + "' holds the state chunk " +
                    DescribeTypeID(record.chunkID) + ", not the plug-in's " +
                    DescribeTypeID(session.StateChunkID()));
  return record;
}

/** The index-th little-endian float64 of a state image. */
double LittleEndianDouble(const std::vector<uint8_t>& bytes, int index) {
  uint64_t bits = 0;
  for (int b = 7; b >= 0; --b) bits = (bits << 8) | bytes[static_cast<size_t>(8 * index + b)];
  double value = 0.0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

/** The first frame at or after a time. */
int64_t FrameAt(double seconds, int rate) {
  // Times typed in decimal rarely land exactly on a frame; forgive the last bits.
  return static_cast<int64_t>(std::ceil(seconds * rate - 1e-6));
}

struct TimedSetting {
  int64_t frame;
  ParameterSetting setting;
};

/** Host automation, bypass and meter readings between the blocks of a render. */
class RenderTimeline {
 public:
  RenderTimeline(PluginSession& session, const RenderOptions& options,
                 const std::vector<ParameterSetting>& automation, int rate, std::ostream& out)
      : mSession(session), mRate(rate), mMeters(options.meters), mOut(out) {
    for (size_t i = 0; i < automation.size(); ++i)
      mAutomation.push_back(
          TimedSetting{FrameAt(options.automation[i].seconds, rate), automation[i]});
    // Command-line order decides between changes due at the same frame.
    std::stable_sort(
        mAutomation.begin(), mAutomation.end(),
        [](const TimedSetting& a, const TimedSetting& b) { return a.frame < b.frame; });
    for (const BypassSpan& span : options.bypass)
      mBypass.emplace_back(FrameAt(span.from, rate), FrameAt(span.to, rate));
    mMeterInterval = std::max<int64_t>(1, std::llround(rate * kMeterSeconds));
    mNextMeterLine = mMeterInterval;
  }

  void BeforeBlock(int64_t frame) {
    if (frame == 0) mSession.TakeMeterReading();  // the pre-roll is no part of the audio
    while (mNextSetting < mAutomation.size() && mAutomation[mNextSetting].frame <= frame) {
      const ParameterSetting& setting = mAutomation[mNextSetting++].setting;
      mSession.SetParameter(setting.index, setting.value);
    }
    bool bypassed = false;
    for (const auto& [from, to] : mBypass) bypassed = bypassed || (from <= frame && frame < to);
    if (bypassed != mBypassed) {
      mSession.SetBypass(bypassed);
      mBypassed = bypassed;
    }
  }

  void AfterBlock(int64_t frame) {
    if (!mMeters) return;
    const MeterReading reading = mSession.TakeMeterReading();
    mPending.input = std::max(mPending.input, reading.input);
    mPending.output = std::max(mPending.output, reading.output);
    mUnprinted = true;
    if (frame < mNextMeterLine) return;
    PrintMeters(frame);
    while (mNextMeterLine <= frame) mNextMeterLine += mMeterInterval;
  }

  /** The reading since the last line, if any. */
  void Finish(int64_t frame) {
    if (mMeters && mUnprinted) PrintMeters(frame);
  }

 private:
  static constexpr double kMeterSeconds = 0.1;

  void PrintMeters(int64_t frame) {
    if (!mHeaderPrinted) {
      mOut << "  time s  input dBFS  output dBFS\n";
      mHeaderPrinted = true;
    }
    char line[64];
    std::snprintf(line, sizeof line, "%8.3f  %10s  %11s\n", static_cast<double>(frame) / mRate,
                  Decibels(mPending.input).c_str(), Decibels(mPending.output).c_str());
    mOut << line;
    mPending = MeterReading{};
    mUnprinted = false;
  }

  PluginSession& mSession;
  int mRate;
  std::vector<TimedSetting> mAutomation;
  size_t mNextSetting = 0;
  std::vector<std::pair<int64_t, int64_t>> mBypass;
  bool mBypassed = false;
  bool mMeters;
  std::ostream& mOut;
  int64_t mMeterInterval = 1;
  int64_t mNextMeterLine = 0;
  MeterReading mPending;
  bool mUnprinted = false;
  bool mHeaderPrinted = false;
};

int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool showProgress) {
  const RenderOptions options = ParseRenderOptions(args);
  if (options.help) {
    out << UsageText();
    return 0;
  }

  // Everything the user can get wrong is checked before any file is created. The input comes
  // first: the plug-in's instance is made for its rate and channel count.
  std::unique_ptr<AudioFileReader> reader;
  int rate = options.sampleRate.value_or(kDemoSampleRate);
  int channels = kDemoChannels;
  if (options.input) {
    reader = std::make_unique<AudioFileReader>(*options.input);
    channels = reader->Channels();
    if (channels > 2)
      throw HostError("'" + options.input->string() + "' has " + std::to_string(channels) +
                      " channels; only mono and stereo files can be rendered");
    if (options.sampleRate && *options.sampleRate != reader->SampleRate())
      throw HostError("--rate " + std::to_string(*options.sampleRate) + " differs from the " +
                      std::to_string(reader->SampleRate()) + " Hz of '" + options.input->string() +
                      "'; files are not resampled");
    rate = reader->SampleRate();
  }

  std::unique_ptr<PluginSession> session = OpenSession(options.plugin, rate, channels);
  if (!options.bypass.empty() && !session->SupportsBypass())
    throw HostError(options.plugin.inProcess
                        ? "--bypass needs the host binding's master bypass, which the in-process "
                          "plug-in lacks; leave out --in-process"
                        : "--bypass needs a master bypass parameter, which the plug-in lacks");
  std::optional<ChunkRecord> stateIn;
  if (options.stateIn) stateIn = ReadStateFor(*options.stateIn, *session);
  const std::vector<ParameterSetting> demoSettings =
      options.input ? std::vector<ParameterSetting>{}
                    : ResolveSettings(DemoDriveSettings(), *session);
  const std::vector<ParameterSetting> settings = ResolveSettings(options.settings, *session);
  std::vector<ParameterSetting> automation;
  for (const AutomationText& text : options.automation)
    automation.push_back(ResolveSetting(text.setting, *session));

  std::vector<float> demo;
  std::unique_ptr<FrameSource> source;
  int64_t totalFrames = 0;
  if (reader) {
    totalFrames = reader->Frames();
  } else {
    demo = MakeDemoSignal(rate);
    totalFrames = static_cast<int64_t>(demo.size() / kDemoChannels);
    source = std::make_unique<MemorySource>(demo, kDemoChannels);
  }
  FrameSource& input = reader ? static_cast<FrameSource&>(*reader) : *source;

  const fs::path output = options.output  ? *options.output
                          : options.input ? WithSuffix(*options.input, "-corvane")
                                          : fs::path(kDemoOutput);
  const std::optional<Container> container = ContainerForPath(output);
  if (!container)
    throw HostError("cannot tell the file type of '" + output.string() +
                    "' from its extension (use .wav, .aif, .aiff or .flac)");
  const fs::path dryOutput = WithSuffix(output, "-dry");
  std::error_code ec;
  for (const fs::path& path : {output, dryOutput})
    if ((path == output || !options.input) && fs::is_directory(path, ec))
      throw HostError("'" + path.string() + "' is a directory");
  SampleFormat format =
      options.format.value_or(reader ? reader->NearestFormat() : SampleFormat::kPcm24);
  // An inherited float format need not fit the chosen container; an explicit one must.
  if (!options.format && !ContainerHolds(*container, format)) format = SampleFormat::kPcm24;
  if (!ContainerHolds(*container, format))
    throw HostError(std::string(ContainerName(*container)) + " cannot hold " +
                    SampleFormatName(format) + " samples");

  AudioFileWriter writer(output, *container, format, channels, rate);
  std::optional<AudioFileWriter> dryWriter;
  if (!options.input) {
    dryWriter.emplace(dryOutput, *container, format, channels, rate);
    dryWriter->Write(demo.data(), static_cast<int>(totalFrames));
  }
  std::optional<AtomicFileWriter> stateWriter;
  if (options.stateOut) stateWriter.emplace(*options.stateOut);

  // A saved state replaces the demo's defaults; typed settings refine the saved state.
  for (const ParameterSetting& setting : demoSettings)
    session->SetParameter(setting.index, setting.value);
  if (stateIn) session->LoadState(*stateIn);
  for (const ParameterSetting& setting : settings)
    session->SetParameter(setting.index, setting.value);
  session->SetTrackName(options.input ? options.input->stem().string() : "Corvane demo");

  RenderTimeline timeline(*session, options, automation, rate, out);
  RenderSettings renderSettings;
  renderSettings.sampleRate = rate;
  renderSettings.blockSize = options.blockSize;
  renderSettings.offline = options.offline;
  renderSettings.raw = options.raw;
  renderSettings.beforeBlock = [&](int64_t frame) { timeline.BeforeBlock(frame); };
  renderSettings.afterBlock = [&](int64_t frame) { timeline.AfterBlock(frame); };

  RenderStats stats;
  const auto started = std::chrono::steady_clock::now();
  {
    ProgressBar bar(err, showProgress, totalFrames);
    stats =
        Render(*session, input, writer, renderSettings, [&](int64_t done) { bar.Update(done); });
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  timeline.Finish(stats.frames + (options.raw ? 0 : stats.latency));

  if (stateWriter) stateWriter->Write(SerializeChunk(session->SaveState()));
  // Nothing is committed for a plug-in that does not let go cleanly.
  session->Close();
  if (dryWriter) dryWriter->Commit();
  writer.Commit();
  if (stateWriter) stateWriter->Commit();

  const double audioSeconds = static_cast<double>(stats.frames) / rate;
  char speed[32];
  std::snprintf(speed, sizeof speed, "%.1fx", audioSeconds / std::max(seconds, 1e-9));
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.2f s", audioSeconds);
  out << "rendered " << duration << (channels == 1 ? " mono" : " stereo") << " at " << rate
      << " Hz: input peak " << Decibels(stats.inputPeak) << " dBFS, output peak "
      << Decibels(stats.outputPeak) << " dBFS, latency " << stats.latency << " samples, " << speed
      << " real time -> " << output.string();
  if (dryWriter) out << " (dry: " << dryOutput.string() << ")";
  if (stateWriter) out << " (state: " << options.stateOut->string() << ")";
  out << '\n';
  return 0;
}

int RunDescribe(const std::vector<std::string>& args, std::ostream& out) {
  const DescribeOptions options = ParseDescribeOptions(args);
  if (options.help) {
    out << UsageText();
    return 0;
  }
  ModuleHost module(options.module.value_or(DefaultModulePath()));
  const DescribedModule described{module.Path().string(), module.SdkVersion(),
                                  &module.Description()};
  const std::string text = options.json ? DescribeAsJson(described) : DescribeAsText(described);
  module.Close();
  out << text;
  return 0;
}

int RunStateShow(const std::vector<std::string>& args, std::ostream& out) {
  const StateShowOptions options = ParseStateShowOptions(args);
  if (options.help) {
    out << UsageText();
    return 0;
  }
  std::unique_ptr<PluginSession> session = OpenSession(options.plugin);
  const ChunkRecord record = ReadStateFor(*options.file, *session);
  session->LoadState(record);

  std::ostringstream text;
  const uint32_t version = static_cast<uint32_t>(record.version);
  char hexVersion[16];
  std::snprintf(hexVersion, sizeof hexVersion, "0x%08X", version);
  text << "state " << options.file->string() << ": chunk " << DescribeTypeID(record.chunkID) << ", "
       << record.data.size() << " bytes\n"
       << "  written for manufacturer " << DescribeTypeID(record.manufacturerID) << ", product "
       << DescribeTypeID(record.productID) << ", plug-in " << DescribeTypeID(record.pluginID)
       << ", version " << hexVersion << ", name \"" << record.name << "\"\n";
  // The display text rounds (a value with four decimals shows two); the exact value stored is
  // beside it, read from the state as the plug-in saves it again after the restore.
  const ChunkRecord restored = session->SaveState();
  const int count = session->ParameterCount();
  const bool exact = restored.data.size() == static_cast<size_t>(count) * sizeof(double);
  size_t width = 0;
  for (int i = 0; i < count; ++i) width = std::max(width, session->Parameter(i).name.size());
  for (int i = 0; i < count; ++i) {
    const std::string name = session->Parameter(i).name;
    text << "  " << name << std::string(width - name.size() + 2, ' ') << session->ParameterText(i);
    if (exact) text << "  (" << ShortestText(LittleEndianDouble(restored.data, i)) << ")";
    text << '\n';
  }
  session->Close();
  out << text.str();
  return 0;
}

int RunState(const std::vector<std::string>& args, std::ostream& out) {
  if (!args.empty() && args[0] == "show")
    return RunStateShow(std::vector<std::string>(args.begin() + 1, args.end()), out);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    out << UsageText();
    return 0;
  }
  throw HostError(args.empty()
                      ? "state needs a subcommand: state show FILE"
                      : "unknown state subcommand '" + args[0] + "' (use: state show FILE)");
}

}  // namespace

std::string UsageText() {
  std::string text =
      "usage: corvane-host render [IN] [-o OUT] [--preset NAME] [--set NAME=VALUE]...\n"
      "                           [--block N] [--rate HZ]\n"
      "                           [--offline] [--raw] [--format pcm16|pcm24|float32|float64]\n"
      "                           [--automate NAME@SECONDS=VALUE]... [--bypass FROM:TO]...\n"
      "                           [--state-in FILE] [--state-out FILE] [--meters]\n"
      "                           [--module PATH | --in-process]\n"
      "       corvane-host describe [--module PATH] [--json]\n"
      "       corvane-host state show FILE [--module PATH | --in-process]\n"
      "       corvane-host snapshot [IN] -o FILE.png [--scale S] [--screen-scale N]\n"
      "                             [--preset NAME] [--set NAME=VALUE]... [--at SECONDS]\n"
      "                             [--event EVENT]...\n"
      "                             [--module PATH]\n"
      "       corvane-host editor [IN] [--scale S] [--preset NAME] [--set NAME=VALUE]...\n"
      "                           [--loop]\n"
      "       corvane-host presets\n"
      "                           [--module PATH]\n"
      "       corvane-host validate [--module PATH] [--strictness 1..10] [--seed N]\n"
      "                             [--only NAME] [--timeout SECONDS] [--list]\n"
      "       corvane-host --help\n"
      "\n"
      "render: renders IN (WAV, AIFF or FLAC; mono or stereo) through the Corvane saturation\n"
      "plug-in, with the output aligned to the input and of the same length. Without IN it\n"
      "renders an 8-second demo through a driven setting and writes corvane-demo.wav and\n"
      "corvane-demo-dry.wav (the unprocessed demo).\n"
      "\n"
      "  -o, --output OUT   output file; its extension picks WAV, AIFF (.aif/.aiff) or FLAC\n"
      "                     (default: IN with \"-corvane\" before the extension)\n"
      "  --set NAME=VALUE   set a parameter by name (any case) or 0-based index, in its\n"
      "                     display unit, or min or max; Oversampling takes on/off; the\n"
      "                     last one wins\n"
      "  --preset NAME      the values of a factory preset (see `corvane-host presets`),\n"
      "                     where it stands among the --set ones\n"
      "  --automate NAME@SECONDS=VALUE\n"
      "                     change a parameter during the render, at the first block that\n"
      "                     starts at or after SECONDS into IN\n"
      "  --bypass FROM:TO   bypass the plug-in from FROM to TO seconds (it fades over 10 ms)\n"
      "  --state-in FILE    start from a saved plug-in state (before any --set)\n"
      "  --state-out FILE   save the plug-in state as it is after the render\n"
      "  --meters           print the plug-in's input and output peak meters every 100 ms\n"
      "  --block N          host block size in frames (default 512)\n"
      "  --rate HZ          processing rate (default: IN's rate, or 48000 for the demo);\n"
      "                     files are not resampled, so it must match IN's rate\n"
      "  --offline          render as an offline bounce (always oversampled, higher quality)\n"
      "  --raw              write the plug-in's output as it came: no settling, no latency\n"
      "                     compensation, no tail\n"
      "  --format FORMAT    output samples: pcm16, pcm24, float32 or float64\n"
      "                     (default: IN's, or pcm24 for the demo)\n"
      "  --module PATH      the plug-in module to load (default: the one built with this tool)\n"
      "  --in-process       use the plug-in object linked into this tool instead of a module\n"
      "  -h, --help         show this text\n"
      "\n"
      "describe: prints what the module tells a host about its effect (--json: as JSON).\n"
      "state show: prints the parameters a saved state holds.\n"
      "presets: lists the factory presets and the values each sets.\n"
      "snapshot: opens the plug-in's editor without a window, plays IN (or silence) up to\n"
      "SECONDS, applies pointer events (down:X,Y, drag:X,Y, up:X,Y, dblclick:X,Y,\n"
      "wheel:X,Y,STEPS, in editor points), prints the parameter changes they make and writes\n"
      "the editor's window as a PNG image (see snapshot --help).\n"
      "editor: opens the plug-in's editor in a window (X11) and plays IN (or the demo)\n"
      "through it at real-time pace, printing the parameter changes the host sees (see\n"
      "editor --help).\n"
      "validate: runs each check of the module in its own process with a time limit and\n"
      "prints PASS or FAIL per check (--list names them, --only runs one, --timeout limits\n"
      "each; --seed repeats a run); exit status 1 when any failed.\n"
      "\n"
      "Parameters:\n";
  const std::unique_ptr<PluginSession> session = MakeCorvaneSession();
  for (int i = 0; i < session->ParameterCount(); ++i) {
    const ParameterInfo info = session->Parameter(i);
    char line[128];
    if (info.isBoolean)
      std::snprintf(line, sizeof line, "  %2d  %-13s on or off", i, info.name.c_str());
    else
      std::snprintf(line, sizeof line, "  %2d  %-13s %g to %g", i, info.name.c_str(), info.min,
                    info.max);
    text += line;
    if (!info.isBoolean && !info.unit.empty()) text += " " + info.unit;
    text += '\n';
  }
  text +=
      "\n"
      "Exit status: 0 on success, 2 for a usage or input problem, 1 if rendering failed or\n"
      "the module could not be unloaded.\n";
  return text;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool showProgress) {
  try {
    if (args.empty()) {
      err << UsageText();
      return kExitUsage;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
      out << UsageText();
      return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "render") return RunRender(rest, out, err, showProgress);
    if (command == "describe") return RunDescribe(rest, out);
    if (command == "presets") return RunPresets(rest, out);
    if (command == "state") return RunState(rest, out);
    if (command == "snapshot") return RunSnapshot(rest, out);
    if (command == "editor") return RunEditor(rest, out);
    if (command == "validate") return validate::RunValidate(rest, out);
    err << "corvane-host: unknown command '" << command << "'\n" << UsageText();
    return kExitUsage;
  } catch (const HostError& e) {
    err << "corvane-host: " << e.what() << '\n';
    return e.Status();
  } catch (const std::exception& e) {
    err << "corvane-host: internal error: " << e.what() << '\n';
    return kExitFailure;
  }
}

int RunCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
               bool showProgress) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return RunCommand(args, out, err, showProgress);
}

}  // namespace corvane::host
