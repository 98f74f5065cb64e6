#include <cairo.h>
#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "GoldenImage.h"
#include "HostTestSupport.h"
#include "plugin/editor/ArtworkLayout.h"

using hosttest::Audio;
using hosttest::RunHost;
using hosttest::TempDir;

namespace {

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

/** A rectangle of the editor, in whole points. */
struct IBoxPoints {
  int l, t, r, b;
};

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
    // Two factory presets, at the zooms and on a 2x screen: the curve, the knobs and the
    // selector's caption follow them.
    {"preset_tape_push", {"--preset", "Tape Push"}},
    {"preset_tape_push_1.5", {"--preset", "Tape Push", "--scale", "1.5"}},
    {"preset_tape_push_2", {"--preset", "Tape Push", "--scale", "2"}},
    {"preset_tape_push_screen_2", {"--preset", "Tape Push", "--screen-scale", "2"}},
    {"preset_asymmetric_fuzz", {"--preset", "Asymmetric Fuzz"}},
    {"preset_asymmetric_fuzz_1.5", {"--preset", "Asymmetric Fuzz", "--scale", "1.5"}},
    {"preset_asymmetric_fuzz_2", {"--preset", "Asymmetric Fuzz", "--scale", "2"}},
    {"preset_asymmetric_fuzz_screen_2", {"--preset", "Asymmetric Fuzz", "--screen-scale", "2"}},
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

/** A snapshot of the editor, with its pixel scale (zoom times screen scale). */
struct Shot {
  Surface image{nullptr, &cairo_surface_destroy};
  double scale = 1.0;
};

Shot Snapshot(const std::filesystem::path& file, std::vector<std::string> args, double scale) {
  args.insert(args.begin(), {"snapshot", "-o", file.string()});
  const auto result = RunHost(args);
  EXPECT_EQ(result.status, 0) << result.err;
  return Shot{ReadPng(file), scale};
}

/** Whether a point of the editor (in points) lies on the curve screen's glass. */
bool OnGlass(double x, double y) {
  const double dx = std::fabs(x - corvane::kGlassCentreX) / corvane::kGlassHalf;
  const double dy = std::fabs(y - corvane::kGlassCentreY) / corvane::kGlassHalf;
  return std::pow(dx, corvane::kGlassPower) + std::pow(dy, corvane::kGlassPower) <= 1.0;
}

// Wherever the curve can go it lies on glass, at every zoom and on a 2x screen: the pixels two
// very different curves make differently are all inside the glass, none on its bezel. The
// curves are the extremes: a hard, fully driven clip (its flat tops run along the edges of the
// curve's square into its corners), both shapers at 100 % with full gain, and a line squashed
// flat through the middle.
TEST(SnapshotCommand, TheCurveStaysOnTheGlassAtEveryZoom) {
  TempDir dir;
  const std::vector<std::string> clipped{"--set",    "Gain=max", "--set",
                                         "Knee=min", "--set",    "Threshold=max"};
  const std::vector<std::string> shaped{"--set",     "Gain=max", "--set",
                                        "Mod A=max", "--set",    "Mod B=max"};
  const std::vector<std::string> flat{"--set",    "Threshold=min", "--set",
                                      "Knee=min", "--set",         "Nonlinearity=max"};
  const std::vector<std::pair<std::vector<std::string>, double>> zooms = {
      {{}, 1.0},
      {{"--scale", "1.25"}, 1.25},
      {{"--scale", "1.5"}, 1.5},
      {{"--scale", "1.75"}, 1.75},
      {{"--scale", "2"}, 2.0},
      {{"--screen-scale", "2"}, 2.0}};
  for (const auto& [zoom, scale] : zooms) {
    SCOPED_TRACE("scale " + std::to_string(scale));
    auto with = [&](std::vector<std::string> settings) {
      settings.insert(settings.end(), zoom.begin(), zoom.end());
      return settings;
    };
    const Shot shots[] = {
        Snapshot(dir / "a.png", with({}), scale), Snapshot(dir / "b.png", with(clipped), scale),
        Snapshot(dir / "c.png", with(shaped), scale), Snapshot(dir / "d.png", with(flat), scale)};
    int curvePixels = 0, offGlass = 0;
    std::string where;
    for (const auto& [i, j] : {std::pair{0, 1}, {0, 2}, {1, 3}, {2, 3}}) {
      const golden::ImageView a = View(shots[i].image.get()), b = View(shots[j].image.get());
      ASSERT_EQ(a.width, b.width);
      // The faceplate round the screen: nothing else there changes with the settings.
      const int x0 = static_cast<int>(222 * scale), x1 = static_cast<int>(428 * scale);
      const int y0 = static_cast<int>(41 * scale), y1 = static_cast<int>(247 * scale);
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          int diff = 0;
          for (int c = 0; c < 3; ++c)
            diff = std::max(diff, std::abs(a.pixels[y * a.stride + 4 * x + c] -
                                           b.pixels[y * b.stride + 4 * x + c]));
          if (diff <= golden::kChannelTolerance) continue;
          ++curvePixels;
          if (!OnGlass((x + 0.5) / scale, (y + 0.5) / scale)) {
            if (offGlass++ < 5) where += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
          }
        }
      }
    }
    EXPECT_GT(curvePixels, 200 * scale * scale) << "the curves hardly differ";
    EXPECT_EQ(offGlass, 0) << "curve pixels on the bezel at" << where;

    // And the glass is where the artwork has it: green phosphor (more green than blue) in the
    // very corners of the curve's square, the grey bezel just beyond the glass's edge.
    const golden::ImageView bare = View(shots[0].image.get());
    auto greenness = [&](double px, double py) {
      const int x = static_cast<int>(px * scale), y = static_cast<int>(py * scale);
      const uint8_t* p = bare.pixels + y * bare.stride + 4 * x;  // B, G, R, A
      return static_cast<int>(p[1]) - static_cast<int>(p[0]);
    };
    const double l = corvane::kCurveLeft + 1, t = corvane::kCurveTop + 1;
    const double r = corvane::kCurveLeft + corvane::kCurveSize - 1,
                 b = corvane::kCurveTop + corvane::kCurveSize - 1;
    for (const auto& [x, y] : {std::pair{l, t}, {r, t}, {l, b}, {r, b}})
      EXPECT_GE(greenness(x, y), 1) << "no glass at the curve's corner (" << x << "," << y << ")";
    const double beyond = corvane::kGlassHalf + 3;
    for (const auto& [x, y] : {std::pair{corvane::kGlassCentreX - beyond, corvane::kGlassCentreY},
                               {corvane::kGlassCentreX, corvane::kGlassCentreY + beyond}})
      EXPECT_LE(greenness(x, y), 0) << "glass beyond its edge at (" << x << "," << y << ")";
  }
}

// The 2x snapshot is drawn from the 2x artwork: its edges are sharper than the 1x picture's
// blown up, by the mean step between neighbouring pixels (a stretched 1x picture has about 0.8
// of the blown-up 1x steps, the real 2x artwork about 1.2).
TEST(SnapshotCommand, TheTwoTimesSnapshotHoldsRealDetail) {
  TempDir dir;
  const Shot one = Snapshot(dir / "one.png", {}, 1.0);
  const Shot two = Snapshot(dir / "two.png", {"--scale", "2"}, 2.0);
  const golden::ImageView a = View(one.image.get()), b = View(two.image.get());
  ASSERT_EQ(b.width, 2 * a.width);
  auto step = [](const golden::ImageView& v, const IBoxPoints& box, int s) {
    double sum = 0.0;
    int n = 0;
    for (int y = box.t * s; y < box.b * s; ++y)
      for (int x = box.l * s; x < box.r * s - 1; ++x, ++n)
        for (int c = 0; c < 3; ++c)
          sum += std::abs(v.pixels[y * v.stride + 4 * (x + 1) + c] -
                          v.pixels[y * v.stride + 4 * x + c]);
    return sum / n;
  };
  // A knob with its label and ticks, the Gain knob, the maker's mark and the product's name.
  for (const IBoxPoints& box : {IBoxPoints{20, 130, 95, 220}, IBoxPoints{150, 250, 222, 335},
                                IBoxPoints{265, 355, 385, 395}}) {
    const double ratio = step(b, box, 2) / (step(a, box, 1) / 2.0);
    EXPECT_GT(ratio, 1.05) << "no more detail at 2x in (" << box.l << "," << box.t << ")";
  }
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
