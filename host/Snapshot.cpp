#include "host/Snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>

#include "host/AudioFile.h"
#include "host/CommandLine.h"
#include "host/HostError.h"
#include "host/ModuleEditor.h"
#include "host/ModuleSession.h"
#include "host/PngImage.h"
#include "host/StateChunk.h"

namespace corvane::host {

namespace fs = std::filesystem;

namespace {

constexpr int kSilenceRate = 48000;
constexpr int kSilenceChannels = 2;
constexpr int kBlockFrames = 512;
/** One display tick of an editor at 60 frames per second, rounded up so that one falls due. */
constexpr int64_t kDisplayTickMs = 17;

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g s", seconds);
  return text;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

/** The first frame at or after a time; typed decimals rarely land exactly on a frame. */
int64_t FrameAt(double seconds, int rate) {
  return static_cast<int64_t>(std::ceil(seconds * rate - 1e-6));
}

/** A press needs something to press on; a drag or a release may well leave the window. */
void CheckInsideEditor(const EditorEventText& event, const AAX_Point& size) {
  const int32_t kind = event.event.kind;
  if (kind != AAX_eOffscreenEvent_Down && kind != AAX_eOffscreenEvent_DoubleClick &&
      kind != AAX_eOffscreenEvent_Wheel)
    return;
  if (event.event.x >= 0.0f && event.event.x <= size.horz && event.event.y >= 0.0f &&
      event.event.y <= size.vert)
    return;
  throw HostError("--event '" + event.text + "' is outside the editor, which is " +
                  Number(size.horz) + " x " + Number(size.vert) + " points");
}

/**
 * Plays the input into the plug-in the way a host plays a track while the editor is open: in
 * blocks, the host's run loop advancing by the audio's own duration, so that the idle ticks
 * carry the meter readings to the editor and the display ticks draw them.
 */
void Play(ModuleSession& session, AudioFileReader* reader, int rate, int channels, int64_t frames) {
  std::vector<float> interleaved(static_cast<size_t>(kBlockFrames * channels));
  std::vector<std::vector<float>> in(static_cast<size_t>(channels),
                                     std::vector<float>(kBlockFrames));
  std::vector<std::vector<float>> out = in;
  std::vector<const float*> inputs;
  std::vector<float*> outputs;
  for (auto& c : in) inputs.push_back(c.data());
  for (auto& c : out) outputs.push_back(c.data());
  double dueMs = 0.0;
  for (int64_t done = 0; done < frames;) {
    const int n = static_cast<int>(std::min<int64_t>(kBlockFrames, frames - done));
    std::fill(interleaved.begin(), interleaved.end(), 0.0f);
    // A file shorter than its header says plays out as silence.
    if (reader) reader->Read(interleaved.data(), n);
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < channels; ++c)
        in[static_cast<size_t>(c)][static_cast<size_t>(i)] =
            interleaved[static_cast<size_t>(i * channels + c)];
    session.Process(inputs.data(), outputs.data(), channels, n);
    done += n;
    dueMs += 1000.0 * n / rate;
    const auto ms = static_cast<int64_t>(dueMs);
    dueMs -= static_cast<double>(ms);
    if (ms > 0) session.Module().RunLoop().Advance(ms);
  }
}

}  // namespace

std::string SnapshotUsageText() {
  return "usage: corvane-host snapshot [IN] -o FILE.png [--scale S] [--screen-scale N]\n"
         "                             [--set NAME=VALUE]... [--at SECONDS]\n"
         "                             [--event EVENT]... [--module PATH]\n"
         "\n"
         "Opens the plug-in's editor without a window, plays IN (WAV, AIFF or FLAC; mono or\n"
         "stereo) into the plug-in up to SECONDS so that the meters and the curve show that\n"
         "moment, applies the events in order (one display tick after each), and writes the\n"
         "editor's window as a PNG image: 8-bit RGBA, not premultiplied, 650 x 400 pixels at\n"
         "zoom 1, times the zoom and the screen scale. The events' parameter changes are\n"
         "printed one per line as the host sees them:\n"
         "  touch ID NAME\n"
         "  set ID NAME NORMALIZED TEXT     (NORMALIZED 0 to 1, TEXT as the plug-in shows it)\n"
         "  release ID NAME\n"
         "and a last line names the image written.\n"
         "\n"
         "  -o, --output FILE.png  the image to write (replaced only when all went well)\n"
         "  --scale S              the editor's zoom, 0.5 to 4 (default 1); the user's stored\n"
         "                         zoom is neither used nor changed\n"
         "  --screen-scale N       device pixels per point, 1 to 4 (default 1)\n"
         "  --set NAME=VALUE       set a parameter first, as for render\n"
         "  --at SECONDS           how far to play IN, at most its length (default: all of it);\n"
         "                         without IN, SECONDS of silence (default: none), at most 600\n"
         "  --event EVENT          a pointer event at X,Y in editor points (zoom 1):\n"
         "                           down:X,Y  drag:X,Y  up:X,Y  dblclick:X,Y  wheel:X,Y,STEPS\n"
         "                         down, drag, up and dblclick (the second press of a double\n"
         "                         click) carry the left button; STEPS > 0 turns the wheel up;\n"
         "                         prefix shift+ and/or ctrl+ to hold those keys\n"
         "  --module PATH          the plug-in module to load (default: the one built with this\n"
         "                         tool)\n"
         "  -h, --help             show this text\n"
         "\n"
         "Example, a drag on the Gain knob at zoom 1.5:\n"
         "  corvane-host snapshot -o gain.png --scale 1.5 --event down:186,300 \\\n"
         "      --event drag:186,280 --event up:186,280\n"
         "\n"
         "Exit status: 0 on success, 2 for a usage or input problem (nothing is written),\n"
         "1 if the plug-in failed.\n";
}

int RunSnapshot(const std::vector<std::string>& args, std::ostream& out) {
  const SnapshotOptions options = ParseSnapshotOptions(args);
  if (options.help) {
    out << SnapshotUsageText();
    return 0;
  }

  // Everything the user can get wrong is checked before the output is touched; the input
  // first, since the instance is made for its rate and channels.
  std::unique_ptr<AudioFileReader> reader;
  int rate = kSilenceRate;
  int channels = kSilenceChannels;
  int64_t frames = options.at ? FrameAt(*options.at, rate) : 0;
  if (options.input) {
    reader = std::make_unique<AudioFileReader>(*options.input);
    channels = reader->Channels();
    if (channels > 2)
      throw HostError(Quoted(*options.input) + " has " + std::to_string(channels) +
                      " channels; only mono and stereo files can be played");
    rate = reader->SampleRate();
    frames = reader->Frames();
    if (options.at) {
      const int64_t wanted = FrameAt(*options.at, rate);
      if (wanted > frames)
        throw HostError("--at " + Number(*options.at) + " is past the end of " +
                        Quoted(*options.input) + ", which lasts " +
                        Seconds(static_cast<double>(frames) / rate));
      frames = wanted;
    }
  }

  ModuleSession session(options.module.value_or(DefaultModulePath()), rate, channels);
  const std::vector<ParameterSetting> settings = ResolveSettings(options.settings, session);
  if (!ModuleHasEditor(session.Module()))
    throw HostError("module " + Quoted(session.Module().Path()) + " has no editor");
  session.Reset(rate, kBlockFrames, false, channels);
  for (const ParameterSetting& setting : settings)
    session.SetParameter(setting.index, setting.value);

  auto editor = std::make_unique<ModuleEditor>(session.Instance());
  // Before a container is set the view size is the editor's own, unzoomed.
  const AAX_Point points = editor->ViewSize();
  for (const EditorEventText& event : options.events) CheckInsideEditor(event, points);
  if (!editor->Open(options.scale, static_cast<float>(options.screenScale)))
    throw HostError("the editor of module " + Quoted(session.Module().Path()) +
                    " does not open without a window (it took no offscreen view)");
  AtomicFileWriter writer(*options.output);

  Play(session, reader.get(), rate, channels, frames);
  editor->TakeGestures();  // what the host saw before the events is no part of them
  ModuleInstance& instance = session.Instance();
  const auto printGestures = [&] {
    for (const aaxhost::Gesture& gesture : editor->TakeGestures())
      out << GestureLine(gesture, instance) << '\n';
  };
  for (const EditorEventText& event : options.events) {
    editor->Send(event.event);
    printGestures();
    session.Module().RunLoop().Advance(kDisplayTickMs);
    printGestures();
  }
  editor->Tick();
  printGestures();

  const aaxhost::OffscreenFrame& frame = editor->Container().LastFrame();
  if (frame.Empty()) throw HostError(kExitFailure, "the editor presented no frame");
  const int32_t width = frame.width;
  const int32_t height = frame.height;
  writer.Write(EncodePng(frame));
  // The editor goes before the instance it shows, and nothing is committed for a plug-in that
  // does not let go cleanly.
  editor.reset();
  session.Close();
  writer.Commit();
  out << "snapshot " << width << " x " << height << " pixels (opened at zoom "
      << Number(options.scale) << ", screen scale " << options.screenScale << ") -> "
      << options.output->string() << '\n';
  return 0;
}

}  // namespace corvane::host
