// Corvane in LV2 hosts nobody here wrote, each with its own way of cutting blocks, setting
// values and offering features: their output must be what corvane-host renders from the AAX
// module for the same file and settings, with oversampling too, whatever block size they use.

#include <sndfile.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include "HostTestSupport.h"
#include "LilvHost.h"
#include "plugin/CorvanePresets.h"

namespace fs = std::filesystem;
using hosttest::Audio;
using hosttest::TempDir;

namespace {

constexpr int kRate = 48000;
constexpr const char* kStereo = "http://pellumar.com/plugins/corvane#stereo";
constexpr const char* kMono = "http://pellumar.com/plugins/corvane#mono";

struct Setting {
  const char* name;    // as corvane-host takes it
  const char* symbol;  // the LV2 port
  double value;
};

/** The "every stage active" setting, with or without oversampling. */
std::vector<Setting> EveryStage(bool oversampling) {
  return {{"Threshold", "threshold", -20.0},
          {"Nonlinearity", "nonlinearity", 1.1},
          {"Knee", "knee", 3.0},
          {"Mod A", "mod_a", 50.0},
          {"Mod B", "mod_b", 50.0},
          {"Gain", "gain", 12.0},
          {"T Assym", "t_assym", 2.5},
          {"Mix", "mix", 80.0},
          {"Oversampling", "oversampling", oversampling ? 1.0 : 0.0}};
}

std::string Text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

/** Two seconds of something like music: chords, a bass line and noise bursts. */
Audio Input(int channels) {
  Audio audio;
  audio.channels = channels;
  audio.sampleRate = kRate;
  audio.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  const double pi = 3.14159265358979;
  for (int i = 0; i < 2 * kRate; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double burst = (i / 6000) % 3 == 0 ? 0.15 * noise(rng) : 0.0;
    for (int c = 0; c < channels; ++c)
      audio.samples.push_back(static_cast<float>(
          0.3 * std::sin(2 * pi * 220.0 * t + c) + 0.2 * std::sin(2 * pi * 277.2 * t) +
          0.25 * std::sin(2 * pi * 55.0 * t) * std::sin(2 * pi * 0.5 * t) + burst));
  }
  return audio;
}

/** Runs a command line of ours through the shell; its output goes to `log`. */
int Shell(const std::string& command, const fs::path& log) {
  const int status = std::system((command + " >'" + log.string() + "' 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Log(const fs::path& log) {
  const auto bytes = hosttest::ReadBytes(log);
  return std::string(bytes.begin(), bytes.end());
}

// The hosts render two seconds in well under one on this machine; the limits only stop a hang.
constexpr int kHostSeconds = 60;
constexpr int kArdourSeconds = 120;

/** An external host's run, retried when it hangs or aborts (hosttest::RunExternalHost). */
hosttest::ToolRun Host(const std::string& command, int seconds = kHostSeconds,
                       const std::function<bool()>& produced = nullptr) {
  return hosttest::RunExternalHost(command, seconds, produced);
}

class ExternalHosts : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LV2_PATH", (std::string(CORVANE_LV2_PATH) + ":/usr/lib/lv2").c_str(), 1);
    // Its own registry: the scan sees this build's bundle, not a stale one.
    ::setenv("GST_REGISTRY", (mDir.Path() / "gst-registry.bin").c_str(), 1);
#ifdef CORVANE_SANITIZER_PRELOAD
    // A sanitized bundle in hosts built without: its runtimes first, and the hosts' own leaks
    // are theirs to answer for.
    ::setenv("LD_PRELOAD", CORVANE_SANITIZER_PRELOAD, 1);
    ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
#endif
  }

  void TearDown() override {
    ::unsetenv("LD_PRELOAD");
  }

  /** corvane-host's raw render of the AAX module: what the plug-in itself produces. */
  Audio Reference(const fs::path& in, const std::vector<Setting>& settings,
                  const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"render", in.string(), "-o", (mDir / "reference.wav").string(),
                                  "--raw"};
    args.insert(args.end(), more.begin(), more.end());
    for (const Setting& s : settings) {
      args.push_back("--set");
      args.push_back(std::string(s.name) + "=" + Text(s.value));
    }
    const auto result = hosttest::RunHost(args);
    EXPECT_EQ(result.status, 0) << result.err;
    return hosttest::ReadAudio(mDir / "reference.wav");
  }

  void ExpectMatches(const Audio& actual, const Audio& expected, const std::string& host) {
    ASSERT_EQ(actual.channels, expected.channels) << host;
    ASSERT_EQ(actual.Frames(), expected.Frames()) << host;
    double worst = 0.0;
    size_t at = 0;
    for (size_t i = 0; i < expected.samples.size(); ++i) {
      const double d = std::fabs(static_cast<double>(actual.samples[i]) - expected.samples[i]);
      if (d > worst) worst = d, at = i;
    }
    EXPECT_LE(worst, 1e-6) << host << ": " << worst << " at frame "
                           << at / static_cast<size_t>(expected.channels);
    double peak = 0.0;
    for (const float s : actual.samples) peak = std::max(peak, static_cast<double>(std::fabs(s)));
    EXPECT_GT(peak, 0.1) << host << " gave silence";
  }

  TempDir mDir;
};

TEST_F(ExternalHosts, Lv2applyOneFramePerCall) {
  for (const bool oversampling : {false, true}) {
    SCOPED_TRACE(oversampling ? "oversampled" : "plain");
    const fs::path in = mDir / "in.wav";
    hosttest::WriteAudio(in, Input(2));
    const auto settings = EveryStage(oversampling);
    std::string command =
        "lv2apply -i '" + in.string() + "' -o '" + (mDir / "out.wav").string() + "'";
    for (const Setting& s : settings)
      command += std::string(" -c ") + s.symbol + " " + Text(s.value);
    command += std::string(" ") + kStereo;
    const auto run = Host(command);
    ASSERT_TRUE(run.Ok()) << run.log;
    ExpectMatches(hosttest::ReadAudio(mDir / "out.wav"), Reference(in, settings), "lv2apply");
  }
}

// Every factory preset as LV2 hosts meet it: listed by lilv under the plug-in with its name,
// its port values read through lilv, then applied by lv2apply: the sound is what corvane-host
// makes of the same preset. A preset that leaves the switch alone has no value for its port.
TEST_F(ExternalHosts, EveryLv2PresetSoundsAsThePresetDoesInCorvaneHost) {
  lv2test::World world;
  const LilvPlugin* plugin = world.Plugin(kStereo);
  ASSERT_NE(plugin, nullptr);
  LilvNode* presetClass = lilv_new_uri(world.Get(), LV2_PRESETS__Preset);
  LilvNode* label = lilv_new_uri(world.Get(), LILV_NS_RDFS "label");
  LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
  struct Found {
    std::string name;
    std::vector<Setting> ports;
    std::vector<std::string> symbols;
    std::vector<double> values;
  };
  std::vector<Found> found;
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    lilv_world_load_resource(world.Get(), preset);
    Found f;
    if (LilvNodes* labels = lilv_world_find_nodes(world.Get(), preset, label, nullptr)) {
      if (lilv_nodes_size(labels) > 0) f.name = lilv_node_as_string(lilv_nodes_get_first(labels));
      lilv_nodes_free(labels);
    }
    LilvState* state =
        lilv_state_new_from_world(world.Get(), world.Urids().MapFeatureData(), preset);
    ASSERT_NE(state, nullptr) << f.name;
    struct Sink {
      Found* found;
      LV2_URID floatType;
    } sink{&f, world.Urids().Map(LV2_ATOM__Float)};
    lilv_state_emit_port_values(
        state,
        [](const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
          auto* s = static_cast<Sink*>(data);
          if (type == s->floatType && size == sizeof(float)) {
            s->found->symbols.push_back(symbol);
            s->found->values.push_back(*static_cast<const float*>(value));
          }
        },
        &sink);
    lilv_state_free(state);
    found.push_back(std::move(f));
  }
  lilv_nodes_free(presets);
  lilv_node_free(label);
  lilv_node_free(presetClass);

  ASSERT_EQ(found.size(), corvane::FactoryPresets().size());
  const fs::path in = mDir / "in.wav";
  hosttest::WriteAudio(in, Input(2));
  for (const corvane::FactoryPreset& preset : corvane::FactoryPresets()) {
    SCOPED_TRACE(preset.name);
    const auto f = std::find_if(found.begin(), found.end(),
                                [&](const Found& x) { return x.name == preset.name; });
    ASSERT_NE(f, found.end()) << "lilv lists no preset named " << preset.name;
    EXPECT_EQ(f->symbols.size(), preset.oversampling ? 12u : 11u);
    const bool namesSwitch =
        std::find(f->symbols.begin(), f->symbols.end(), "oversampling") != f->symbols.end();
    EXPECT_EQ(namesSwitch, preset.oversampling.has_value());

    std::string command =
        "lv2apply -i '" + in.string() + "' -o '" + (mDir / "out.wav").string() + "'";
    for (size_t k = 0; k < f->symbols.size(); ++k)
      command += " -c " + f->symbols[k] + " " + Text(f->values[k]);
    command += std::string(" ") + kStereo;
    const auto run = Host(command);
    ASSERT_TRUE(run.Ok()) << run.log;
    ExpectMatches(hosttest::ReadAudio(mDir / "out.wav"),
                  Reference(in, {}, {"--preset", preset.name}), "lv2apply");
  }
}

TEST_F(ExternalHosts, Lv2fileInBlocksOf37And4096AndMono) {
  for (const int channels : {2, 1}) {
    const fs::path in = mDir / "in.wav";
    hosttest::WriteAudio(in, Input(channels));
    for (const bool oversampling : {false, true}) {
      const auto settings = EveryStage(oversampling);
      const Audio expected = Reference(in, settings);
      for (const int block : {37, 4096}) {
        const std::string where = std::to_string(channels) + " ch, block " + std::to_string(block) +
                                  (oversampling ? ", oversampled" : "");
        std::string command = "lv2file --ignore-clipping -b " + std::to_string(block) + " -i '" +
                              in.string() + "' -o '" + (mDir / "out.wav").string() + "'";
        for (const Setting& s : settings)
          command += std::string(" -p ") + s.symbol + ":" + Text(s.value);
        command += std::string(" ") + (channels == 2 ? kStereo : kMono);
        const auto run = Host(command);
        ASSERT_TRUE(run.Ok()) << where << "\n" << run.log;
        ExpectMatches(hosttest::ReadAudio(mDir / "out.wav"), expected, "lv2file " + where);
      }
    }
  }
}

TEST_F(ExternalHosts, GstreamerPipelineThroughTheLv2Element) {
  const fs::path in = mDir / "in.wav";
  hosttest::WriteAudio(in, Input(2));
  for (const bool oversampling : {false, true}) {
    SCOPED_TRACE(oversampling ? "oversampled" : "plain");
    const auto settings = EveryStage(oversampling);
    // One stereo element (the ports' port group), properties named like the ports; toggles are
    // booleans that GStreamer starts at false, so the enabled port is set explicitly.
    std::string element = "pellumar-com-plugins-corvane-stereo enabled=true";
    for (const Setting& s : settings) {
      std::string property = s.symbol;
      for (char& c : property)
        if (c == '_') c = '-';
      element += " " + property + "=" +
                 (property == "oversampling" ? std::string(s.value > 0.5 ? "true" : "false")
                                             : Text(s.value));
    }
    const std::string command =
        "gst-launch-1.0 -q filesrc location='" + in.string() +
        "' ! wavparse ! audioconvert ! audio/x-raw,format=F32LE,channels=2 ! " + element +
        " ! audioconvert ! audio/x-raw,format=F32LE ! wavenc ! " + "filesink location='" +
        (mDir / "out.wav").string() + "'";
    const auto run = Host(command);
    ASSERT_TRUE(run.Ok()) << run.log;
    ExpectMatches(hosttest::ReadAudio(mDir / "out.wav"), Reference(in, settings), "gstreamer");
  }
}

TEST_F(ExternalHosts, EcasoundInPlaceWithPositionalParameters) {
  const fs::path in = mDir / "in.wav";
  hosttest::WriteAudio(in, Input(2));
  // Every control port in index order, the outputs among them: the twelve parameters, enabled,
  // free-wheeling, latency, the four meters. Omitted ones would be 0, not their default.
  const char* const order[] = {"threshold", "t_assym", "nonlinearity", "n_assym",
                               "knee",      "k_assym", "mod_a",        "mod_b",
                               "gain",      "mix",     "output",       "oversampling"};
  const double defaults[] = {0, 0, 1, 0, 0.1, 0, 0, 0, 0, 50, 0, 0};
  for (const bool oversampling : {false, true}) {
    SCOPED_TRACE(oversampling ? "oversampled" : "plain");
    const auto settings = EveryStage(oversampling);
    std::string values;
    for (size_t i = 0; i < std::size(order); ++i) {
      double value = defaults[i];
      for (const Setting& s : settings)
        if (std::string(s.symbol) == order[i]) value = s.value;
      values += "," + Text(value);
    }
    values += ",1,0,0,0,0,0,0";
    const std::string command = "ecasound -q -x -b:37 -f:f32_le,2," + std::to_string(kRate) +
                                " -i:sndfile,'" + in.string() + "' -o:sndfile,'" +
                                (mDir / "out.wav").string() + "' -elv2:" + kStereo + values;
    const auto run = Host(command);
    ASSERT_TRUE(run.Ok()) << run.log;
    ExpectMatches(hosttest::ReadAudio(mDir / "out.wav"), Reference(in, settings), "ecasound");
  }
}

// One real host that compensates latency, free-wheels while it exports and saves the plug-in's
// state with its session: Ardour, headless. The values are set by Lua and the session saved,
// once with the engine running the plug-in between the two and once with nothing run (Ardour
// then saves the plug-in's state before the plug-in has seen the new values, and keeps them
// only in its own copy of the port values). Either way the reloaded session's export is what
// corvane-host renders aligned (Ardour free-wheels, so offline), and its values read back.
class ArdourSession : public ExternalHosts, public ::testing::WithParamInterface<bool> {};

/** The parameter image inside the newest plug-in state of an Ardour session (base64 in Turtle). */
std::vector<double> SavedImage(const fs::path& session) {
  fs::path newest;
  for (const auto& entry : fs::recursive_directory_iterator(session / "plugins"))
    if (entry.path().filename() == "state.ttl" && entry.path() > newest) newest = entry.path();
  const auto bytes = hosttest::ReadBytes(newest);
  const std::string text(bytes.begin(), bytes.end());
  const size_t key = text.find("corvane#parameters>");
  const size_t open = text.find('"', key);
  const size_t close = text.find("^^xsd:base64Binary", open);
  if (key == std::string::npos || open == std::string::npos || close == std::string::npos)
    return {};
  std::vector<uint8_t> image;
  uint32_t bits = 0;
  int held = 0;
  for (size_t i = open; i < close; ++i) {
    const char c = text[i];
    int v = c >= 'A' && c <= 'Z'   ? c - 'A'
            : c >= 'a' && c <= 'z' ? c - 'a' + 26
            : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+'             ? 62
            : c == '/'             ? 63
                                   : -1;
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    if ((held += 6) >= 8) image.push_back(static_cast<uint8_t>(bits >> (held -= 8)));
  }
  std::vector<double> values(image.size() / 8);
  std::memcpy(values.data(), image.data(), values.size() * 8);
  return values;
}

TEST_P(ArdourSession, ExportsAndReloadsWhatLuaSet) {
#ifdef CORVANE_SANITIZER_PRELOAD
  // Ardour's session tool stalls with a sanitizer's runtime loaded into it; the release build
  // runs this test, the other hosts run the sanitized bundle.
  GTEST_SKIP() << "Ardour does not run with a sanitizer's runtime preloaded";
#endif
  const bool runBeforeSave = GetParam();
  // Ardour names the session's audio folder after the session's folder: the same name for both.
  const std::string name = "corvane";
  const fs::path session = mDir / name;
  const fs::path scripts = CORVANE_ARDOUR_SCRIPTS;
  const Audio input = Input(2);
  const fs::path in = mDir / "in.wav";
  hosttest::WriteAudio(in, input);
  const auto settings = EveryStage(true);

  // Ardour numbers a plug-in's control ports in port order: the parameters come first.
  const char* const symbols[] = {"threshold", "t_assym", "nonlinearity", "n_assym",
                                 "knee",      "k_assym", "mod_a",        "mod_b",
                                 "gain",      "mix",     "output",       "oversampling"};
  std::vector<double> expected{0, 0, 1, 0, 0.1, 0, 0, 0, 0, 50, 0, 0};
  std::string params;
  for (const Setting& s : settings)
    for (size_t i = 0; i < std::size(symbols); ++i)
      if (std::string(s.symbol) == symbols[i]) {
        params += (params.empty() ? "" : ",") + std::to_string(i) + "=" + Text(s.value);
        expected[i] = s.value;
      }
  const std::string environment = "SESSION_DIR='" + session.string() + "' SESSION_NAME=" + name;
  const auto created = Host(environment + " PLUGIN_URI='" + kStereo + "' PARAMS='" + params +
                                "' RUN_BEFORE_SAVE=" + (runBeforeSave ? "1" : "0") +
                                " ardour7-lua '" + (scripts / "create_session.lua").string() + "'",
                            kArdourSeconds);
  ASSERT_TRUE(created.Ok()) << created.log;
  // With the engine running, the plug-in has seen the values when Ardour saves its state.
  if (runBeforeSave) EXPECT_EQ(SavedImage(session), expected);

  // The take, as mono files in the session's audio folder, then onto the track.
  const fs::path audio = session / "interchange" / name / "audiofiles";
  std::vector<std::string> takes;
  for (int c = 0; c < 2; ++c) {
    Audio mono;
    mono.channels = 1;
    mono.sampleRate = kRate;
    mono.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    for (size_t i = 0; i < input.Frames(); ++i) mono.samples.push_back(input.At(i, c));
    takes.push_back(c == 0 ? "take%L.wav" : "take%R.wav");
    hosttest::WriteAudio(audio / takes.back(), mono);
  }
  ASSERT_EQ(Shell("python3 '" + (scripts / "place_take.py").string() + "' '" + session.string() +
                      "' " + name + " T " + std::to_string(input.Frames()) + " '" + takes[0] +
                      "' '" + takes[1] + "'",
                  mDir / "log"),
            0)
      << Log(mDir / "log");

  // Ardour 7.3 now and then aborts while it tears down, mostly after writing a complete file:
  // the file decides such an attempt.
  const fs::path exported = mDir / "exported.wav";
  const auto exportedWhole = [&] {
    return fs::exists(exported) && hosttest::ReadAudio(exported).Frames() == input.Frames();
  };
  const auto exportRun = Host("rm -f '" + exported.string() + "' && ardour7-export -b float -o '" +
                                  exported.string() + "' '" + session.string() + "' " + name,
                              kArdourSeconds, exportedWhole);
  ASSERT_TRUE(exportRun.Ok() && exportedWhole()) << exportRun.log;
  const Audio actual = hosttest::ReadAudio(exported);

  std::vector<std::string> args{"render", in.string(), "-o", (mDir / "reference.wav").string(),
                                "--offline"};
  for (const Setting& s : settings) {
    args.push_back("--set");
    args.push_back(std::string(s.name) + "=" + Text(s.value));
  }
  const auto reference = hosttest::RunHost(args);
  ASSERT_EQ(reference.status, 0) << reference.err;
  const Audio wanted = hosttest::ReadAudio(mDir / "reference.wav");
  ASSERT_EQ(actual.channels, 2);
  ASSERT_EQ(actual.Frames(), wanted.Frames());
  double worst = 0.0, fromInput = 0.0;
  for (size_t i = 0; i < wanted.samples.size(); ++i) {
    worst = std::max(worst, std::fabs(static_cast<double>(actual.samples[i]) - wanted.samples[i]));
    fromInput =
        std::max(fromInput, std::fabs(static_cast<double>(actual.samples[i]) - input.samples[i]));
  }
  EXPECT_LE(worst, 1e-4) << exportRun.log;
  // A session whose plug-in is missing exports the unprocessed take.
  EXPECT_GT(fromInput, 0.05) << "the export is the unprocessed input";

  // Loaded again: every parameter as it was set.
  const auto readRun =
      Host(environment + " ardour7-lua '" + (scripts / "read_parameters.lua").string() + "'",
           kArdourSeconds);
  ASSERT_TRUE(readRun.Ok()) << readRun.log;
  const std::string& read = readRun.log;
  ASSERT_NE(read.find(std::string("plugin ") + kStereo), std::string::npos) << read;
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::string key = "param " + std::to_string(i) + " ";
    const size_t at = read.rfind(key);
    ASSERT_NE(at, std::string::npos) << key << "\n" << read;
    EXPECT_NEAR(std::stod(read.substr(at + key.size())), expected[i], 1e-6) << symbols[i];
  }
}

INSTANTIATE_TEST_SUITE_P(SavedWithAndWithoutARun, ArdourSession, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "EngineRanBeforeTheSave" : "NothingRanBeforeTheSave";
                         });

}  // namespace
