#include <cairo.h>
#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "GoldenImage.h"
#include "HostTestSupport.h"

using hosttest::Audio;
using hosttest::RunHost;
using hosttest::TempDir;

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

/** The PNG as Cairo reads it: premultiplied, as the golden images are compared. */
Surface ReadPng(const std::filesystem::path& path) {
  Surface surface(cairo_image_surface_create_from_png(path.c_str()), &cairo_surface_destroy);
  EXPECT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS) << path;
  cairo_surface_flush(surface.get());
  return surface;
}

golden::ImageView View(cairo_surface_t* surface) {
  return {cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
          cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface)};
}

/** Two seconds of a 1 kHz sine at a peak level, in every channel alike. */
Audio Sine(double peak, int channels) {
  Audio audio;
  audio.channels = channels;
  audio.sampleRate = 48000;
  audio.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  for (int i = 0; i < 2 * audio.sampleRate; ++i) {
    const auto s =
        static_cast<float>(peak * std::sin(2.0 * std::numbers::pi * 1000.0 * i / audio.sampleRate));
    for (int c = 0; c < channels; ++c) audio.samples.push_back(s);
  }
  return audio;
}

std::vector<std::string> EveryKnobAt(const char* end) {
  std::vector<std::string> args;
  for (const char* name : {"Threshold", "T Assym", "Knee", "K Assym", "Nonlinearity", "N Assym",
                           "Mod A", "Mod B", "Gain", "Mix", "Output"})
    args.insert(args.end(), {"--set", std::string(name) + "=" + end});
  return args;
}

struct Scene {
  const char* name;
  std::vector<std::string> args;
  /** Audio to play up to --at 1; none for the editor as it opens. */
  double peak = 0.0;
  /** The golden image, when another scene's must match: by default the scene's own. */
  const char* golden = nullptr;
};

class SnapshotGolden : public ::testing::TestWithParam<Scene> {};

TEST_P(SnapshotGolden, LooksAsItDid) {
  const Scene& scene = GetParam();
  TempDir dir;
  std::vector<std::string> args{"snapshot"};
  if (scene.peak > 0.0) {
    hosttest::WriteAudio(dir / "in.wav", Sine(scene.peak, 2));
    args.insert(args.end(), {(dir / "in.wav").string(), "--at", "1"});
  }
  args.insert(args.end(), {"-o", (dir / "editor.png").string()});
  args.insert(args.end(), scene.args.begin(), scene.args.end());
  const auto result = RunHost(args);
  ASSERT_EQ(result.status, 0) << result.err;
  const Surface image = ReadPng(dir / "editor.png");
  EXPECT_TRUE(golden::MatchesGolden(View(image.get()), GOLDEN_DIR, GOLDEN_OUTPUT_DIR,
                                    scene.golden ? scene.golden : scene.name));
}

const Scene kScenes[] = {
    {"defaults", {}},
    {"knobs_minimum", EveryKnobAt("min")},
    {"knobs_maximum", EveryKnobAt("max")},
    // Silence played leaves the meters as dark as an editor that has heard nothing.
    {"meters_silence", {}, 1e-9, "defaults"},
    {"meters_minus20", {}, 0.1},
    {"meters_clipping", {}, 1.2},
    {"oversampling_on", {"--set", "Oversampling=on"}},
    {"scale_1.25", {"--scale", "1.25"}},
    {"scale_1.5", {"--scale", "1.5"}},
    {"scale_1.75", {"--scale", "1.75"}},
    {"scale_2", {"--scale", "2"}},
    {"screen_scale_2", {"--screen-scale", "2"}},
};

INSTANTIATE_TEST_SUITE_P(Editor, SnapshotGolden, ::testing::ValuesIn(kScenes),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == '.') c = '_';
                           return name;
                         });

TEST(SnapshotCommand, WritesTheWindowsPixelsAtTheZoomAndScreenScale) {
  TempDir dir;
  const auto result = RunHost({"snapshot", "-o", (dir / "a.png").string(), "--scale", "1.5"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("975 x 600"), std::string::npos) << result.out;
  const Surface image = ReadPng(dir / "a.png");
  EXPECT_EQ(cairo_image_surface_get_width(image.get()), 975);
  EXPECT_EQ(cairo_image_surface_get_height(image.get()), 600);
}

// The producer sends a mono instance's one channel to both arcs of each meter: the picture is
// the stereo one with the same signal in both channels.
TEST(SnapshotCommand, AMonoInstanceShowsOneLevelOnBothArcs) {
  TempDir dir;
  hosttest::WriteAudio(dir / "mono.wav", Sine(0.1, 1));
  hosttest::WriteAudio(dir / "stereo.wav", Sine(0.1, 2));
  for (const char* name : {"mono", "stereo"}) {
    const auto result = RunHost({"snapshot", (dir / (std::string(name) + ".wav")).string(), "--at",
                                 "1", "-o", (dir / (std::string(name) + ".png")).string()});
    ASSERT_EQ(result.status, 0) << result.err;
  }
  const Surface mono = ReadPng(dir / "mono.png");
  const Surface stereo = ReadPng(dir / "stereo.png");
  const golden::ImageView a = View(mono.get()), b = View(stereo.get());
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  int differing = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width * 4; ++x)
      if (std::abs(a.pixels[y * a.stride + x] - b.pixels[y * b.stride + x]) >
          golden::kChannelTolerance)
        ++differing;
  EXPECT_EQ(differing, 0);
}

// A drag up on the Gain knob, as the host's automation sees it: one touch, rising values with
// their texts, one release; a click on the switch turns oversampling on.
TEST(SnapshotCommand, PrintsTheGesturesTheEventsMake) {
  TempDir dir;
  const auto result =
      RunHost({"snapshot", "-o", (dir / "g.png").string(), "--event", "down:186,300", "--event",
               "drag:186,290", "--event", "drag:186,280", "--event", "up:186,280", "--event",
               "down:494,344", "--event", "up:494,344"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string& out = result.out;
  const auto touch = out.find("touch ");
  const auto release = out.find("release ");
  ASSERT_NE(touch, std::string::npos) << out;
  ASSERT_NE(release, std::string::npos) << out;
  EXPECT_LT(touch, out.find("set "));
  EXPECT_NE(out.find(" Gain\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" Oversampling 1.000000 "), std::string::npos) << out;
  // Values rise within the drag.
  std::vector<double> values;
  for (size_t at = out.find("set "); at < release; at = out.find("set ", at + 1)) {
    const auto line = out.substr(at, out.find('\n', at) - at);
    const auto gain = line.find(" Gain ");
    ASSERT_NE(gain, std::string::npos) << line;
    values.push_back(std::stod(line.substr(gain + 6)));
  }
  ASSERT_GE(values.size(), 2u) << out;
  for (size_t i = 1; i < values.size(); ++i) EXPECT_GT(values[i], values[i - 1]) << out;
}

// Whatever is wrong with the command line: one line naming it, status 2, and no image.
TEST(SnapshotCommand, BadInputIsOneLineAndNoFile) {
  TempDir dir;
  const std::string out = (dir / "x.png").string();
  const std::vector<std::vector<std::string>> bad{
      {"snapshot", "-o", out, "--set", "Loudness=3"},
      {"snapshot", "-o", out, "--scale", "0.4"},
      {"snapshot", "-o", out, "--scale", "4.5"},
      {"snapshot", "-o", out, "--event", "down:10"},
      {"snapshot", "-o", out, "--event", "hover:10,10"},
      {"snapshot", "-o", out, "--event", "down:9999,10"},
      {"snapshot", "-o", (dir / "missing" / "x.png").string()},
      {"snapshot", (dir / "none.wav").string(), "-o", out},
      {"snapshot"},
  };
  for (const auto& args : bad) {
    const auto result = RunHost(args);
    std::string line;
    for (const auto& a : args) line += a + " ";
    EXPECT_EQ(result.status, 2) << line << "\n" << result.err;
    EXPECT_EQ(hosttest::LineCount(result.err), 1) << line << "\n" << result.err;
    EXPECT_EQ(dir.Entries(), std::set<std::string>{}) << line;
  }
}

}  // namespace
