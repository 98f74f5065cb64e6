#include "host/Command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

#include "host/AudioFile.h"
#include "host/CommandLine.h"
#include "host/DemoSignal.h"
#include "host/HostError.h"
#include "host/PluginSession.h"
#include "host/RenderLoop.h"

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

int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool showProgress) {
  const RenderOptions options = ParseRenderOptions(args);
  if (options.help) {
    out << UsageText();
    return 0;
  }

  // Everything the user can get wrong is checked before any file is created.
  std::unique_ptr<PluginSession> session = MakeCorvaneSession();
  std::vector<std::string> texts;
  if (!options.input) texts = DemoDriveSettings();
  texts.insert(texts.end(), options.settings.begin(), options.settings.end());
  const std::vector<ParameterSetting> settings = ResolveSettings(texts, *session);

  std::unique_ptr<AudioFileReader> reader;
  std::vector<float> demo;
  std::unique_ptr<FrameSource> source;
  int rate = options.sampleRate.value_or(kDemoSampleRate);
  int channels = kDemoChannels;
  int64_t totalFrames = 0;
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

  for (const ParameterSetting& setting : settings)
    session->SetParameter(setting.index, setting.value);
  RenderSettings renderSettings;
  renderSettings.sampleRate = rate;
  renderSettings.blockSize = options.blockSize;
  renderSettings.offline = options.offline;
  renderSettings.raw = options.raw;

  RenderStats stats;
  const auto started = std::chrono::steady_clock::now();
  {
    ProgressBar bar(err, showProgress, totalFrames);
    stats =
        Render(*session, input, writer, renderSettings, [&](int64_t done) { bar.Update(done); });
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  if (dryWriter) dryWriter->Commit();
  writer.Commit();

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
  out << '\n';
  return 0;
}

}  // namespace

std::string UsageText() {
  std::string text =
      "usage: corvane-host render [IN] [-o OUT] [--set NAME=VALUE]... [--block N] [--rate HZ]\n"
      "                           [--offline] [--raw] [--format pcm16|pcm24|float32|float64]\n"
      "       corvane-host --help\n"
      "\n"
      "Renders IN (WAV, AIFF or FLAC; mono or stereo) through the Corvane saturation plug-in,\n"
      "with the output aligned to the input and of the same length. Without IN it renders an\n"
      "8-second demo through a driven setting and writes corvane-demo.wav and\n"
      "corvane-demo-dry.wav (the unprocessed demo).\n"
      "\n"
      "  -o, --output OUT   output file; its extension picks WAV, AIFF (.aif/.aiff) or FLAC\n"
      "                     (default: IN with \"-corvane\" before the extension)\n"
      "  --set NAME=VALUE   set a parameter by name (any case) or 0-based index, in its\n"
      "                     display unit; Oversampling takes on/off; the last one wins\n"
      "  --block N          host block size in frames (default 512)\n"
      "  --rate HZ          processing rate (default: IN's rate, or 48000 for the demo);\n"
      "                     files are not resampled, so it must match IN's rate\n"
      "  --offline          render as an offline bounce (always oversampled, higher quality)\n"
      "  --raw              write the plug-in's output as it came: no settling, no latency\n"
      "                     compensation, no tail\n"
      "  --format FORMAT    output samples: pcm16, pcm24, float32 or float64\n"
      "                     (default: IN's, or pcm24 for the demo)\n"
      "  -h, --help         show this text\n"
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
      "Exit status: 0 on success, 2 for a usage or input problem, 1 if rendering failed.\n";
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
    if (command == "render")
      return RunRender(std::vector<std::string>(args.begin() + 1, args.end()), out, err,
                       showProgress);
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
