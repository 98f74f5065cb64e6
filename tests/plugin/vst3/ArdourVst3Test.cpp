// Corvane as a VST3 plug-in in a host nobody here wrote: Ardour 7.3 scans the bundle with its
// own scanner, then its headless tools make a session with Corvane on a track (values set by
// Lua, oversampling through the plug-in's state, as Ardour shows no control for a parameter
// that cannot be automated), export it, and load it again.

#include <sndfile.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "HostTestSupport.h"

namespace fs = std::filesystem;
using hosttest::Audio;
using hosttest::TempDir;

namespace {

constexpr int kRate = 48000;
constexpr int kArdourSeconds = 120;
const fs::path kBundle = CORVANE_VST3_BUNDLE;
const fs::path kScripts = CORVANE_ARDOUR_SCRIPTS;
constexpr const char* kScanner = "/usr/lib/ardour7/ardour-vst3-scanner";

std::string Text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Contents(const fs::path& path) {
  const auto bytes = hosttest::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

Audio Input() {
  Audio audio;
  audio.channels = 2;
  audio.sampleRate = kRate;
  audio.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  const double pi = 3.14159265358979;
  for (int i = 0; i < 2 * kRate; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double burst = (i / 6000) % 3 == 0 ? 0.15 * noise(rng) : 0.0;
    for (int c = 0; c < 2; ++c)
      audio.samples.push_back(static_cast<float>(0.3 * std::sin(2 * pi * 220.0 * t + c) +
                                                 0.25 * std::sin(2 * pi * 55.0 * t) + burst));
  }
  return audio;
}

class ArdourVst3 : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
#ifdef CORVANE_SANITIZED
    GTEST_SKIP() << "Ardour's tools do not run with a sanitizer's runtime preloaded; the "
                    "release build runs this test";
#endif
    if (!fs::exists(kScanner)) GTEST_SKIP() << "Ardour's VST3 scanner is not installed";
    // A home of the test's own: Ardour's caches and settings start empty.
    mEnvironment = "HOME='" + mDir.Path().string() + "' XDG_CACHE_HOME='" +
                   (mDir / "cache").string() + "' XDG_CONFIG_HOME='" + (mDir / "config").string() +
                   "' VST3_PATH='" + kBundle.parent_path().string() + "'";
    // The scanner keeps whole seconds: a module newer than its cache entry counts as unscanned.
    const auto built = fs::last_write_time(kBundle / "Contents" / "x86_64-linux" / "Corvane.so");
    while (fs::file_time_type::clock::now() - built < std::chrono::milliseconds(1100))
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  hosttest::ToolRun Ardour(const std::string& command) {
    return hosttest::RunExternalHost(mEnvironment + " " + command, kArdourSeconds);
  }

  TempDir mDir;
  std::string mEnvironment;
};

// Ardour's scanner finds both plug-ins with what the factory's class-info-2 says of them.
TEST_P(ArdourVst3, ScansExportsAndReloadsASession) {
  const auto scan = Ardour("LD_LIBRARY_PATH=/usr/lib/ardour7 " + std::string(kScanner) +
                           " -f -v '" + kBundle.string() + "'");
  ASSERT_TRUE(scan.Ok()) << scan.log;
  std::string cache;
  for (const auto& entry : fs::recursive_directory_iterator(mDir / "cache"))
    if (entry.path().extension() == ".v3i") cache = Contents(entry.path());
  ASSERT_FALSE(cache.empty()) << scan.log;
  for (const char* expected :
       {"uid=\"75D3206D9B6249C094F563AADE953B15\" name=\"Corvane\" vendor=\"Pellumar\" "
        "category=\"Fx|Distortion\" version=\"4.1.0\"",
        "uid=\"B7178938DC2E40B6BAF1697A68708668\" name=\"Corvane Mono\"", "n_inputs=\"2\"",
        "n_inputs=\"1\""})
    EXPECT_NE(cache.find(expected), std::string::npos) << expected << "\n" << cache;

  const bool runBeforeSave = GetParam();
  const std::string name = "corvane";
  const fs::path session = mDir / name;
  const Audio input = Input();
  hosttest::WriteAudio(mDir / "in.wav", input);
  // Ardour's controls, in its order: the parameters but Oversampling, then the bypass.
  struct Setting {
    const char* name;
    int ardourIndex;
    double value;
  };
  const Setting settings[] = {{"Threshold", 0, -20.0}, {"Nonlinearity", 2, 1.1}, {"Knee", 4, 3.0},
                              {"Mod A", 6, 50.0},      {"Mod B", 7, 50.0},       {"Gain", 8, 12.0},
                              {"T Assym", 1, 2.5},     {"Mix", 9, 80.0}};
  std::string params;
  for (const Setting& s : settings)
    params += (params.empty() ? "" : ",") + std::to_string(s.ardourIndex) + "=" + Text(s.value);
  const std::string sessionEnv = "SESSION_DIR='" + session.string() + "' SESSION_NAME=" + name;
  const auto created = Ardour(sessionEnv + " PLUGIN_TYPE=VST3 PLUGIN_URI=Corvane PARAMS='" +
                              params + "' RUN_BEFORE_SAVE=" + (runBeforeSave ? "1" : "0") +
                              " ardour7-lua '" + (kScripts / "create_session.lua").string() + "'");
  ASSERT_TRUE(created.Ok()) << created.log;
  const fs::path file = session / (name + ".ardour");
  const std::string saved = Contents(file);
  // The plug-in's own state, saved with the session, holds the values Lua set.
  ASSERT_NE(saved.find("<chunk>"), std::string::npos) << saved;

  // Oversampling on, in the state: Ardour restores it on reload.
  ASSERT_EQ(std::system(("python3 '" + (kScripts / "vst3_chunk.py").string() + "' '" +
                         file.string() + "' 11 1")
                            .c_str()),
            0);
  const fs::path audio = session / "interchange" / name / "audiofiles";
  for (int c = 0; c < 2; ++c) {
    Audio mono;
    mono.channels = 1;
    mono.sampleRate = kRate;
    mono.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    for (size_t i = 0; i < input.Frames(); ++i) mono.samples.push_back(input.At(i, c));
    hosttest::WriteAudio(audio / (c == 0 ? "take%L.wav" : "take%R.wav"), mono);
  }
  ASSERT_EQ(std::system(("python3 '" + (kScripts / "place_take.py").string() + "' '" +
                         session.string() + "' " + name + " T " + std::to_string(input.Frames()) +
                         " 'take%L.wav' 'take%R.wav' >/dev/null")
                            .c_str()),
            0);

  const fs::path exported = mDir / "exported.wav";
  const auto exportRun = hosttest::RunExternalHost(
      mEnvironment + " ardour7-export -b float -o '" + exported.string() + "' '" +
          session.string() + "' " + name,
      kArdourSeconds, [&] {
        return fs::exists(exported) && hosttest::ReadAudio(exported).Frames() == input.Frames();
      });
  ASSERT_TRUE(exportRun.Ok() && fs::exists(exported)) << exportRun.log;
  const Audio actual = hosttest::ReadAudio(exported);

  // What corvane-host renders, aligned, with the same values. Ardour's export marks its blocks
  // offline but sets nothing up anew, so the plug-in renders as it was set up, in real time,
  // and the latency Ardour compensates is right.
  std::vector<std::string> args{
      "render",   (mDir / "in.wav").string(), "-o",    (mDir / "reference.wav").string(),
      "--module", kBundle.string(),           "--set", "Oversampling=on"};
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
  EXPECT_GT(fromInput, 0.05) << "the export is the unprocessed input";

  // Loaded again: every value as Lua set it, read back through Ardour.
  const auto read =
      Ardour(sessionEnv + " ardour7-lua '" + (kScripts / "read_parameters.lua").string() + "'");
  ASSERT_TRUE(read.Ok()) << read.log;
  ASSERT_NE(read.log.find("plugin 75D3206D9B6249C094F563AADE953B15"), std::string::npos)
      << read.log;
  for (const Setting& s : settings) {
    const std::string key = "param " + std::to_string(s.ardourIndex) + " ";
    const size_t at = read.log.rfind(key);
    ASSERT_NE(at, std::string::npos) << key << "\n" << read.log;
    EXPECT_NEAR(std::stod(read.log.substr(at + key.size())), s.value, 1e-5) << s.name;
  }
}

INSTANTIATE_TEST_SUITE_P(SavedWithAndWithoutARun, ArdourVst3, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "EngineRanBeforeTheSave" : "NothingRanBeforeTheSave";
                         });

}  // namespace
