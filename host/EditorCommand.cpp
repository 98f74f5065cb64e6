#include "host/EditorCommand.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <vector>

#include "host/AudioFile.h"
#include "host/CommandLine.h"
#include "host/DemoSignal.h"
#include "host/HostError.h"
#include "host/ModuleEditor.h"
#include "host/ModuleSession.h"
#include "host/x11/HostWindow.h"
#include "plugin/editor/DisplayScale.h"

namespace corvane::host {

namespace fs = std::filesystem;

namespace {

constexpr int kBlockFrames = 512;
constexpr int kDemoRate = 48000;
/** How often the player looks whether blocks have fallen due: well under one block. */
constexpr uint32_t kPlayerIntervalMs = 5;
constexpr int kPollMs = 10;

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
  gInterrupted = 1;
}

/** The whole input in memory, interleaved: an editor session plays it at the clock's pace. */
struct Program {
  std::vector<float> samples;
  int rate = kDemoRate;
  int channels = kDemoChannels;
  int64_t Frames() const { return static_cast<int64_t>(samples.size()) / channels; }
};

Program ReadProgram(const std::optional<fs::path>& input) {
  Program program;
  if (!input) {
    program.samples = MakeDemoSignal(kDemoRate);
    return program;
  }
  AudioFileReader reader(*input);
  if (reader.Channels() > 2)
    throw HostError("'" + input->string() + "' has " + std::to_string(reader.Channels()) +
                    " channels; only mono and stereo files can be played");
  program.rate = reader.SampleRate();
  program.channels = reader.Channels();
  program.samples.resize(static_cast<size_t>(reader.Frames() * program.channels));
  const int64_t read = reader.Read(program.samples.data(),
                                   static_cast<int>(std::min<int64_t>(reader.Frames(), INT32_MAX)));
  program.samples.resize(static_cast<size_t>(read * program.channels));
  if (program.samples.empty()) throw HostError("'" + input->string() + "' holds no audio");
  return program;
}

/** Plays the program into the plug-in at the pace of the wall clock, as an audio device would
 * ask for it, a block at a time. */
class Player {
 public:
  Player(ModuleSession& session, const Program& program, bool loop)
      : mSession(session),
        mProgram(program),
        mLoop(loop),
        mIn(static_cast<size_t>(program.channels), std::vector<float>(kBlockFrames)),
        mOut(mIn),
        mStart(std::chrono::steady_clock::now()) {
    for (auto& c : mIn) mInputs.push_back(c.data());
    for (auto& c : mOut) mOutputs.push_back(c.data());
  }

  /** Renders every block that has fallen due; false once the program has ended. */
  bool Catch() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - mStart).count();
    const auto due = static_cast<int64_t>(elapsed * mProgram.rate);
    while (mPlayed < due) {
      if (mPosition >= mProgram.Frames()) {
        if (!mLoop) return false;
        mPosition = 0;
      }
      const int n =
          static_cast<int>(std::min<int64_t>(kBlockFrames, mProgram.Frames() - mPosition));
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < mProgram.channels; ++c)
          mIn[static_cast<size_t>(c)][static_cast<size_t>(i)] =
              mProgram.samples[static_cast<size_t>((mPosition + i) * mProgram.channels + c)];
      mSession.Process(mInputs.data(), mOutputs.data(), mProgram.channels, n);
      mPosition += n;
      mPlayed += n;
    }
    return true;
  }

 private:
  ModuleSession& mSession;
  const Program& mProgram;
  const bool mLoop;
  std::vector<std::vector<float>> mIn, mOut;
  std::vector<const float*> mInputs;
  std::vector<float*> mOutputs;
  const std::chrono::steady_clock::time_point mStart;
  int64_t mPosition = 0;
  int64_t mPlayed = 0;
};

/**
 * A zoom chosen on the command line is the session's, not the user's: the plug-in reads its
 * stored preference from a private folder for as long as the session lasts.
 */
class SessionPreference {
 public:
  explicit SessionPreference(float scale) {
    char folder[] = "/tmp/corvane-host-XXXXXX";
    if (!::mkdtemp(folder)) throw HostError("cannot make a folder for the session's zoom");
    mFolder = folder;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) mOld = old;
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    if (!WriteDisplayScale("corvane", scale)) {
      Restore();
      throw HostError("cannot store the session's zoom in " + mFolder.string());
    }
  }
  ~SessionPreference() { Restore(); }

 private:
  void Restore() {
    if (mOld)
      ::setenv("XDG_CONFIG_HOME", mOld->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    fs::remove_all(mFolder, ignored);
  }
  fs::path mFolder;
  std::optional<std::string> mOld;
};

void CatchUp(void* player, uint64_t) noexcept {
  auto* self = static_cast<std::pair<Player*, bool>*>(player);
  try {
    if (!self->first->Catch()) self->second = true;
  } catch (...) {
    self->second = true;
  }
}

void Readable(void*, int32_t) noexcept {}

}  // namespace

std::string EditorUsageText() {
  return "usage: corvane-host editor [IN] [--scale S] [--set NAME=VALUE]... [--loop]\n"
         "                           [--module PATH]\n"
         "\n"
         "Opens the plug-in's editor in a window of its own (X11; DISPLAY must name a display)\n"
         "and plays IN (WAV, AIFF or FLAC; mono or stereo; default: the built-in demo) through\n"
         "the plug-in at real-time pace, without an audio device, so that the meters and the\n"
         "curve follow the audio. Every parameter event the host sees is printed as it happens:\n"
         "  touch ID NAME\n"
         "  set ID NAME NORMALIZED TEXT\n"
         "  release ID NAME\n"
         "and keys that reach the host's window as 'key NAME'. Ends when the window is closed,\n"
         "at the end of IN (unless --loop) or on Ctrl+C.\n"
         "\n"
         "  --scale S         open at this zoom, 0.5 to 4; the user's stored zoom is neither\n"
         "                    used nor changed (default: the stored zoom)\n"
         "  --set NAME=VALUE  set a parameter first, as for render\n"
         "  --loop            play IN again and again\n"
         "  --module PATH     the plug-in module to load (default: the one built with this tool)\n"
         "  -h, --help        show this text\n"
         "\n"
         "Exit status: 0 on success, 2 for a usage or input problem or no display, 1 if the\n"
         "plug-in or the display failed.\n";
}

int RunEditor(const std::vector<std::string>& args, std::ostream& out) {
  const EditorOptions options = ParseEditorOptions(args);
  if (options.help) {
    out << EditorUsageText();
    return 0;
  }
  const Program program = ReadProgram(options.input);
  std::optional<SessionPreference> preference;
  if (options.scale) preference.emplace(*options.scale);

  ModuleSession session(options.module.value_or(DefaultModulePath()), program.rate,
                        program.channels, aaxhost::HostRunLoop::Clock::kWall);
  std::vector<std::string> texts;
  if (!options.input) texts = DemoDriveSettings();
  texts.insert(texts.end(), options.settings.begin(), options.settings.end());
  const std::vector<ParameterSetting> settings = ResolveSettings(texts, session);
  if (!ModuleHasEditor(session.Module()))
    throw HostError("module '" + session.Module().Path().string() + "' has no editor");
  session.Reset(program.rate, kBlockFrames, false, program.channels);
  for (const ParameterSetting& setting : settings)
    session.SetParameter(setting.index, setting.value);

  auto editor = std::make_unique<ModuleEditor>(session.Instance());
  const AAX_Point size = editor->ViewSize();
  HostWindow window("Corvane", static_cast<int>(size.horz), static_cast<int>(size.vert));
  editor->OpenInWindow(window.Window(),
                       [&window](int width, int height) { window.Resize(width, height); });
  // The editor's window is made on the plug-in's own connection: give the server a moment.
  bool opened = false;
  for (int attempt = 0; attempt < 50 && !(opened = window.HasChild()); ++attempt) ::usleep(20000);
  if (!opened) throw HostError(kExitFailure, "the plug-in's editor did not open in the window");
  out << "editor open (" << (options.scale ? "zoom set by the session" : "the stored zoom")
      << "); close the window or press Ctrl+C to end\n"
      << std::flush;

  aaxhost::HostRunLoop& loop = session.Module().RunLoop();
  uint64_t watch = 0;
  loop.WatchFd(window.Fd(), &Readable, nullptr, &watch);
  Player player(session, program, options.loop);
  std::pair<Player*, bool> playing{&player, false};
  uint64_t timer = 0;
  loop.AddTimer(kPlayerIntervalMs, &CatchUp, &playing, &timer);

  gInterrupted = 0;
  const auto previous = std::signal(SIGINT, &OnInterrupt);
  ModuleInstance& instance = session.Instance();
  std::string ending = "end of input";
  while (true) {
    loop.Poll(kPollMs);
    for (const std::string& key : window.Dispatch()) out << "key " << key << '\n';
    for (const aaxhost::Gesture& gesture : editor->TakeGestures())
      out << GestureLine(gesture, instance) << '\n';
    out << std::flush;
    if (window.Broken()) {
      std::signal(SIGINT, previous);
      loop.RemoveTimer(timer);
      loop.UnwatchFd(watch);
      editor.reset();
      session.Close();
      throw HostError(kExitFailure, "the connection to the X display broke");
    }
    if (window.CloseRequested()) {
      ending = "window closed";
      break;
    }
    if (gInterrupted) {
      ending = "interrupted";
      break;
    }
    if (playing.second) break;
  }
  std::signal(SIGINT, previous);
  loop.RemoveTimer(timer);
  loop.UnwatchFd(watch);
  editor.reset();
  session.Close();
  out << "editor closed (" << ending << ")\n";
  return 0;
}

}  // namespace corvane::host
