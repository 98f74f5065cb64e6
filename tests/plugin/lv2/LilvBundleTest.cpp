// The LV2 bundle as lilv, a host library nobody here wrote, finds, loads and drives it.

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/ui/ui.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/plugin/lv2/LilvHost.h"

using lv2test::Features;
using lv2test::Instance;
using lv2test::kMonoURI;
using lv2test::kStereoURI;
using lv2test::Restore;
using lv2test::Save;
using lv2test::StateBlob;
using lv2test::World;

namespace {

const char* const kSymbols[] = {"threshold", "t_assym", "nonlinearity", "n_assym",
                                "knee",      "k_assym", "mod_a",        "mod_b",
                                "gain",      "mix",     "output",       "oversampling"};
const char* const kMeterSymbols[] = {"meter_in_l", "meter_in_r", "meter_out_l", "meter_out_r"};
constexpr const char* kUiURI = "http://pellumar.com/plugins/corvane#ui";

std::vector<std::vector<float>> Noise(int channels, int frames, unsigned seed, float level = 0.5f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-level, level);
  std::vector<std::vector<float>> signal(static_cast<size_t>(channels),
                                         std::vector<float>(static_cast<size_t>(frames)));
  for (auto& c : signal)
    for (float& s : c) s = dist(rng);
  return signal;
}

std::vector<std::vector<float>> Sine(int channels, int frames, double step, float level = 0.5f) {
  std::vector<std::vector<float>> signal(static_cast<size_t>(channels),
                                         std::vector<float>(static_cast<size_t>(frames)));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i)
      signal[static_cast<size_t>(c)][static_cast<size_t>(i)] =
          level * static_cast<float>(std::sin(step * i + c));
  return signal;
}

/** Runs the whole signal in blocks of `block` frames; returns the output. */
std::vector<std::vector<float>> RunAll(Instance& instance,
                                       const std::vector<std::vector<float>>& in, int block) {
  const int total = static_cast<int>(in.front().size());
  std::vector<std::vector<float>> out;
  for (int done = 0; done < total; done += block)
    instance.Run(in, out, std::min(block, total - done), done);
  return out;
}

bool AllFinite(const std::vector<std::vector<float>>& signal) {
  for (const auto& c : signal)
    for (const float s : c)
      if (!std::isfinite(s)) return false;
  return true;
}

/** The "every stage active" setting. */
void SetEveryStage(Instance& instance) {
  instance.Control("mod_a") = 50.0f;
  instance.Control("mod_b") = 50.0f;
  instance.Control("threshold") = -20.0f;
  instance.Control("nonlinearity") = 1.1f;
  instance.Control("knee") = 3.0f;
  instance.Control("gain") = 12.0f;
}

}  // namespace

TEST(LilvBundle, DescribesBothPluginsFromTheParameterTable) {
  World world;
  for (const char* uri : {kStereoURI, kMonoURI}) {
    SCOPED_TRACE(uri);
    const LilvPlugin* plugin = world.Plugin(uri);
    ASSERT_NE(plugin, nullptr);
    const bool stereo = std::string(uri) == kStereoURI;
    LilvNode* name = lilv_plugin_get_name(plugin);
    EXPECT_STREQ(lilv_node_as_string(name), stereo ? "Corvane" : "Corvane Mono");
    lilv_node_free(name);
    LilvNode* author = lilv_plugin_get_author_name(plugin);
    ASSERT_NE(author, nullptr);
    EXPECT_STREQ(lilv_node_as_string(author), "Pellumar");
    lilv_node_free(author);
    EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin))),
                 LV2_CORE__DistortionPlugin);
    const int channels = stereo ? 2 : 1;
    // Audio in and out, twelve parameters, enabled, free-wheeling, latency, four meters.
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), static_cast<uint32_t>(2 * channels + 12 + 3 + 4));
    for (int i = 0; i < 12; ++i) {
      LilvNode* symbol = lilv_new_string(world.Get(), kSymbols[i]);
      const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
      lilv_node_free(symbol);
      ASSERT_NE(port, nullptr) << kSymbols[i];
      EXPECT_EQ(lilv_port_get_index(plugin, port), static_cast<uint32_t>(2 * channels + i));
    }
    EXPECT_TRUE(lilv_plugin_has_latency(plugin));
    EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), static_cast<uint32_t>(2 * channels + 14));
    // The meters come last, so that the indices a saved session holds stay what they were.
    LilvNode* output = lilv_new_uri(world.Get(), LV2_CORE__OutputPort);
    LilvNode* control = lilv_new_uri(world.Get(), LV2_CORE__ControlPort);
    for (int m = 0; m < 4; ++m) {
      SCOPED_TRACE(kMeterSymbols[m]);
      LilvNode* symbol = lilv_new_string(world.Get(), kMeterSymbols[m]);
      const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
      lilv_node_free(symbol);
      ASSERT_NE(port, nullptr);
      EXPECT_EQ(lilv_port_get_index(plugin, port), static_cast<uint32_t>(2 * channels + 15 + m));
      EXPECT_TRUE(lilv_port_is_a(plugin, port, output));
      EXPECT_TRUE(lilv_port_is_a(plugin, port, control));
      LilvNode *low = nullptr, *high = nullptr;
      lilv_port_get_range(plugin, port, nullptr, &low, &high);
      ASSERT_TRUE(low && high);
      EXPECT_EQ(lilv_node_as_float(low), 0.0f);
      EXPECT_EQ(lilv_node_as_float(high), 1.0f);
      lilv_node_free(low);
      lilv_node_free(high);
    }
    lilv_node_free(output);
    lilv_node_free(control);
    // "Gain": 0 to 60 dB, default 0, in dB; "Oversampling" a toggle.
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    LilvNode* gain = lilv_new_string(world.Get(), "gain");
    lilv_port_get_range(plugin, lilv_plugin_get_port_by_symbol(plugin, gain), &def, &min, &max);
    lilv_node_free(gain);
    EXPECT_EQ(lilv_node_as_float(def), 0.0f);
    EXPECT_EQ(lilv_node_as_float(min), 0.0f);
    EXPECT_EQ(lilv_node_as_float(max), 60.0f);
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
  }
}

// Every rate a host may run at, with and without the features a host may offer, blocks of every
// size (growing past what was announced): run() never allocates, locks or sleeps.
TEST(LilvBundle, RunsAtEveryRateAndBlockSizeWithoutAllocatingLockingOrSleeping) {
  World world;
  const int sizes[] = {1, 17, 64, 512, 333, 2048, 8192, 4096, 5000, 1};
  for (const double rate : {22050.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
    for (const char* uri : {kStereoURI, kMonoURI}) {
      for (const Features features : {Features::kNone, Features::kMapAndOptions}) {
        SCOPED_TRACE(std::to_string(rate) + " " + uri +
                     (features == Features::kNone ? " no features" : " map+options"));
        Instance instance(world, uri, rate, features, 256, 1024);
        ASSERT_TRUE(instance.Valid());
        SetEveryStage(instance);
        std::vector<std::vector<float>> out;
        const auto in = Noise(instance.Channels(), 8192, 3);
        instance.Watch(true);
        for (int round = 0; round < 2; ++round) {
          for (const int frames : sizes) {
            // A ramp on one parameter, a switch of another: both paths, and their changes.
            instance.Control("threshold") = -0.5f * static_cast<float>(frames % 80);
            if (frames == 2048) instance.Control("oversampling") = round == 0 ? 1.0f : 0.0f;
            instance.Run(in, out, frames);
            ASSERT_TRUE(AllFinite(out));
          }
        }
        instance.Watch(false);
        const auto seen = instance.Seen();
        EXPECT_EQ(seen.allocations, 0);
        EXPECT_EQ(seen.frees, 0);
        EXPECT_EQ(seen.locks, 0);
        EXPECT_EQ(seen.sleeps, 0);
      }
    }
  }
}

// The latency port follows the oversampling switch, as hosts that compensate need: it reads the
// latency of the audio the same run() produced, in whichever run the switch happens.
// lv2file hands out a feature whose URI points at no memory. The plug-in looks for features
// that host does not offer (a worker), so it meets that entry; it must pass over it, not read it.
TEST(LilvBundle, AFeatureWhoseURIPointsNowhereIsPassedOver) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's shadow memory is mapped over the stray address, so it points somewhere there.
  GTEST_SKIP() << "the stray address lies in AddressSanitizer's shadow memory";
#endif
  World world;
  for (const char* uri : {kStereoURI, kMonoURI}) {
    Instance instance(world, uri, 48000.0, Features::kMapOptionsAndAStrayOne);
    ASSERT_TRUE(instance.Valid()) << uri;
    const auto in = Sine(instance.Channels(), 256, 0.5);
    std::vector<std::vector<float>> out;
    instance.Control("gain") = 12.0f;
    for (int run = 0; run < 8; ++run) instance.Run(in, out, 256);
    float peak = 0.0f;
    for (float x : out[0]) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.5f) << uri;
  }
}

TEST(LilvBundle, TheLatencyPortFollowsTheOversamplingSwitch) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  const auto in = Sine(2, 64, 0.05);
  std::vector<std::vector<float>> out;
  instance.Run(in, out, 64);
  EXPECT_EQ(instance.Control("latency"), 0.0f);
  for (const bool on : {true, false, true}) {
    SCOPED_TRACE(on ? "switching on" : "switching off");
    instance.Control("oversampling") = on ? 1.0f : 0.0f;
    // The fade down lasts 256 samples: three runs of 64 still play the old path.
    for (int run = 0; run < 3; ++run) {
      instance.Run(in, out, 64);
      EXPECT_EQ(instance.Control("latency"), on ? 0.0f : 326.0f) << "run " << run;
    }
    instance.Run(in, out, 64);
    EXPECT_EQ(instance.Control("latency"), on ? 326.0f : 0.0f);
    for (int run = 0; run < 40; ++run) instance.Run(in, out, 64);  // the switch completes
    EXPECT_EQ(instance.Control("latency"), on ? 326.0f : 0.0f);
  }
}

// Bypass through the enabled port: a 10 ms crossfade, then the input delayed by the latency.
TEST(LilvBundle, TheEnabledPortBypassesWithTheLatencysDelay) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  SetEveryStage(instance);
  instance.Control("oversampling") = 1.0f;
  constexpr int kTotal = 48000;
  const auto in = Sine(2, kTotal, 0.02);
  std::vector<std::vector<float>> out;
  for (int done = 0; done < 12000; done += 256) instance.Run(in, out, 256, done);
  ASSERT_EQ(instance.Control("latency"), 326.0f);
  instance.Control("enabled") = 0.0f;
  for (int done = 12000; done < kTotal; done += 256)
    instance.Run(in, out, std::min(256, kTotal - done), done);
  for (int c = 0; c < 2; ++c)
    for (int i = 12000 + 480; i < kTotal; ++i)
      ASSERT_EQ(out[static_cast<size_t>(c)][static_cast<size_t>(i)],
                in[static_cast<size_t>(c)][static_cast<size_t>(i - 326)])
          << c << " " << i;
  // The fade itself: from processed to bypassed, no sample beyond either.
  for (int i = 12000; i < 12480; ++i) ASSERT_LT(std::fabs(out[0][static_cast<size_t>(i)]), 1.5f);
}

// LV2 processes at any value of lv2:enabled above 0: only 0 (or less) bypasses.
TEST(LilvBundle, AnEnabledValueAboveZeroProcesses) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  SetEveryStage(instance);
  const auto in = Sine(2, 2048, 0.02);
  for (const float enabled : {1.0f, 0.25f, 0.001f, 0.0f, -1.0f}) {
    SCOPED_TRACE(enabled);
    instance.Control("enabled") = enabled;
    std::vector<std::vector<float>> out;
    RunAll(instance, in, 512);  // past any crossfade
    out = RunAll(instance, in, 512);
    const bool bypassed = out == in;
    EXPECT_EQ(bypassed, enabled <= 0.0f);
  }
}

// A saved state restored into a new instance: the same bytes, and the same sound.
TEST(LilvBundle, StateRestoresBitExactlyAndSoundsTheSame) {
  World world;
  Instance source(world, kStereoURI, 48000.0);
  SetEveryStage(source);
  source.Control("nonlinearity") = 1.0731f;
  source.Control("oversampling") = 1.0f;
  source.Control("mix") = 70.0f;
  const auto in = Noise(2, 48000, 9);
  const auto reference = RunAll(source, in, 512);
  StateBlob saved = Save(source);
  ASSERT_EQ(saved.bytes.size(), 96u);
  EXPECT_EQ(saved.type, world.Urids().Map(LV2_ATOM__Chunk));
  EXPECT_EQ(saved.flags & (LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE),
            static_cast<uint32_t>(LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE));
  double nonlinearity = 0.0;
  std::memcpy(&nonlinearity, saved.bytes.data() + 2 * 8, 8);
  EXPECT_DOUBLE_EQ(nonlinearity, 1.0731);

  Instance restored(world, kStereoURI, 48000.0);
  ASSERT_EQ(Restore(restored, saved), LV2_STATE_SUCCESS);
  EXPECT_EQ(Save(restored).bytes, saved.bytes);
  // Both started from the same point: the values arrived before their first block.
  EXPECT_EQ(RunAll(restored, in, 512), reference);
  EXPECT_EQ(Save(restored).bytes, saved.bytes);  // the ports at their defaults change nothing
}

// A host may save a session before it has run the plug-in once: the state must hold the values
// the host has put on the ports, not the defaults.
TEST(LilvBundle, AStateSavedBeforeTheFirstRunHoldsThePortValues) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  instance.Control("gain") = 18.0f;
  instance.Control("nonlinearity") = 1.0731f;
  const StateBlob saved = Save(instance);
  ASSERT_EQ(saved.bytes.size(), 96u);
  double gain = 0.0, nonlinearity = 0.0;
  std::memcpy(&gain, saved.bytes.data() + 8 * 8, 8);
  std::memcpy(&nonlinearity, saved.bytes.data() + 2 * 8, 8);
  EXPECT_EQ(gain, 18.0);
  EXPECT_EQ(nonlinearity, 1.0731);
}

// lilv's own state snapshot, through a string, as a host saves a session.
TEST(LilvBundle, LilvsStateSnapshotRoundTrips) {
  World world;
  Instance source(world, kMonoURI, 44100.0);
  source.Control("gain") = 18.0f;
  source.Control("k_assym") = -2.5f;
  std::vector<std::vector<float>> out;
  source.Run(Noise(1, 64, 1), out, 64);
  const LilvPlugin* plugin = world.Plugin(kMonoURI);
  LilvState* state =
      lilv_state_new_from_instance(plugin, source.Get(), world.Urids().MapFeatureData(), nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
  ASSERT_NE(state, nullptr);
  char* text = lilv_state_to_string(world.Get(), world.Urids().MapFeatureData(),
                                    world.Urids().UnmapFeatureData(), state,
                                    "http://example.org/corvane-session", nullptr);
  ASSERT_NE(text, nullptr);
  LilvState* loaded = lilv_state_new_from_string(world.Get(), world.Urids().MapFeatureData(), text);
  ASSERT_NE(loaded, nullptr);
  Instance target(world, kMonoURI, 44100.0);
  lilv_state_restore(loaded, target.Get(), nullptr, nullptr, 0, nullptr);
  EXPECT_EQ(Save(target).bytes, Save(source).bytes);
  lilv_free(text);
  lilv_state_free(loaded);
  lilv_state_free(state);
}

double ValueIn(const StateBlob& blob, int index) {
  double value = 0.0;
  std::memcpy(&value, blob.bytes.data() + 8 * index, 8);
  return value;
}

void PutValue(StateBlob& blob, int index, double value) {
  std::memcpy(blob.bytes.data() + 8 * index, &value, 8);
}

// A later version's longer image restores the values this one has, a shorter one the values it
// holds (as the AAX chunk does); only what is malformed is refused, and then nothing changes.
TEST(LilvBundle, StateImagesOfOtherSizesRestoreWhatTheyHoldAndMalformedOnesNothing) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  instance.Control("gain") = 6.0f;
  std::vector<std::vector<float>> out;
  instance.Run(Noise(2, 64, 2), out, 64);
  const StateBlob before = Save(instance);
  ASSERT_EQ(before.status, LV2_STATE_SUCCESS);
  ASSERT_EQ(before.bytes.size(), 96u);

  StateBlob image = before;
  PutValue(image, 8, 24.0);  // gain
  PutValue(image, 11, 1.0);  // oversampling
  StateBlob longer = image;
  longer.bytes.resize(104);
  const double later = 1234.5;  // what a later version might keep after the parameters
  std::memcpy(longer.bytes.data() + 96, &later, 8);
  ASSERT_EQ(Restore(instance, longer), LV2_STATE_SUCCESS);
  EXPECT_EQ(Save(instance).bytes, image.bytes);

  // 95 bytes hold eleven whole values: the oversampling switch keeps its value.
  StateBlob shorter = before;
  shorter.bytes.resize(95);
  ASSERT_EQ(Restore(instance, shorter), LV2_STATE_SUCCESS);
  StateBlob expected = before;
  PutValue(expected, 11, 1.0);
  EXPECT_EQ(Save(instance).bytes, expected.bytes);
  ASSERT_EQ(Restore(instance, before), LV2_STATE_SUCCESS);

  StateBlob wrongType = image;
  wrongType.type = world.Urids().Map(LV2_ATOM__String);
  EXPECT_EQ(Restore(instance, wrongType), LV2_STATE_ERR_BAD_TYPE);
  StateBlob notANumber = image;
  PutValue(notANumber, 3, std::numeric_limits<double>::quiet_NaN());
  EXPECT_NE(Restore(instance, notANumber), LV2_STATE_SUCCESS);
  StateBlob infinite = image;
  PutValue(infinite, 11, std::numeric_limits<double>::infinity());
  EXPECT_NE(Restore(instance, infinite), LV2_STATE_SUCCESS);
  // Seven bytes hold no whole value: nothing to apply, and nothing refused.
  StateBlob noWholeValue = image;
  noWholeValue.bytes.resize(7);
  EXPECT_EQ(Restore(instance, noWholeValue), LV2_STATE_SUCCESS);
  StateBlob missing = image;
  missing.key = 0;
  EXPECT_NE(Restore(instance, missing), LV2_STATE_SUCCESS);
  EXPECT_EQ(Save(instance).bytes, before.bytes);
  EXPECT_EQ(ValueIn(Save(instance), 8), 6.0);
}

// Hosts clamp nothing: out-of-range values are taken at the range's ends, non-finite ones are
// ignored, and the output stays finite.
TEST(LilvBundle, OutOfRangeAndNonFinitePortValuesAreSafe) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  const auto in = Noise(2, 512, 4);
  std::vector<std::vector<float>> out;
  instance.Control("gain") = 1e9f;
  instance.Control("threshold") = -1e9f;
  instance.Run(in, out, 512);
  StateBlob state = Save(instance);
  double gain = 0.0, threshold = 0.0;
  std::memcpy(&gain, state.bytes.data() + 8 * 8, 8);
  std::memcpy(&threshold, state.bytes.data(), 8);
  EXPECT_EQ(gain, 60.0);
  EXPECT_EQ(threshold, -60.0);
  for (const float bad :
       {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity()}) {
    for (const char* symbol : kSymbols) instance.Control(symbol) = bad;
    instance.Control("enabled") = bad;
    instance.Control("freewheel") = bad;
    instance.Run(in, out, 512);
    ASSERT_TRUE(AllFinite(out));
  }
  EXPECT_EQ(Save(instance).bytes, state.bytes);
}

// Free-wheeling (a bounce faster than real time) runs oversampled at the offline quality.
TEST(LilvBundle, FreeWheelingRendersOversampledAtTheOfflineQuality) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  const auto in = Sine(2, 512, 0.05);
  std::vector<std::vector<float>> out;
  instance.Run(in, out, 512);
  instance.Control("freewheel") = 1.0f;
  for (int block = 0; block < 8; ++block) instance.Run(in, out, 512);
  EXPECT_EQ(instance.Control("latency"), 549.0f);
  instance.Control("freewheel") = 0.0f;
  for (int block = 0; block < 8; ++block) instance.Run(in, out, 512);
  EXPECT_EQ(instance.Control("latency"), 0.0f);
}

// With a host's worker, the oversamplers nobody plays through are built there, on request, and
// the switch waits for them: run() stays free of the heap and of locks the whole time, and the
// latency port tells the truth throughout.
TEST(LilvBundle, WithAWorkerTheOversamplersAreBuiltOffTheAudioThread) {
  World world;
  Instance instance(world, kStereoURI, 48000.0, Features::kMapOptionsAndWorker, 512, 512);
  const auto in = Sine(2, 512, 0.05);
  std::vector<std::vector<float>> out;
  instance.Watch(true);
  instance.Run(in, out, 512);
  EXPECT_EQ(instance.RunWork(), 0);  // oversampling off: nothing wanted

  instance.Control("oversampling") = 1.0f;
  for (int block = 0; block < 4; ++block) instance.Run(in, out, 512);
  EXPECT_EQ(instance.Control("latency"), 0.0f);  // still the plain path, and it says so
  EXPECT_EQ(instance.RunWork(), 1);              // asked for once, however many blocks waited
  for (int block = 0; block < 8; ++block) instance.Run(in, out, 512);
  EXPECT_EQ(instance.Control("latency"), 326.0f);

  instance.Control("freewheel") = 1.0f;
  for (int block = 0; block < 4; ++block) instance.Run(in, out, 512);
  EXPECT_EQ(instance.Control("latency"), 326.0f);
  EXPECT_EQ(instance.RunWork(), 1);
  for (int block = 0; block < 8; ++block) instance.Run(in, out, 512);
  EXPECT_EQ(instance.Control("latency"), 549.0f);
  EXPECT_EQ(instance.Seen().Total(), 0);

  // A later activation starts from what its state needs, and a host that never runs the work
  // leaves the plug-in on its plain path rather than stuck or silent.
  instance.Deactivate();
  instance.Control("freewheel") = 0.0f;
  instance.Control("oversampling") = 0.0f;
  instance.Activate();
  instance.Run(in, out, 512);
  instance.Control("oversampling") = 1.0f;
  for (int block = 0; block < 16; ++block) instance.Run(in, out, 512);
  EXPECT_EQ(instance.Control("latency"), 0.0f);
  float peak = 0.f;
  for (const float x : out[0]) peak = std::max(peak, std::fabs(x));
  EXPECT_GT(peak, 0.01f);
}

// A mono instance builds the resamplers of one channel, which are most of what an instance keeps
// (a host without a worker gets both qualities at activation): it holds well under what a stereo
// one does, and it plays.
TEST(LilvBundle, AMonoInstanceKeepsTheResamplersOfOneChannel) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's allocator does not report to malloc's statistics";
#endif
  World world;
  const auto heldBy = [&world](const char* uri) {
    const auto inUse = [] {
      const struct mallinfo2 info = mallinfo2();
      return static_cast<double>(info.uordblks + info.hblkhd);
    };
    const double before = inUse();
    Instance instance(world, uri, 48000.0, Features::kMapAndOptions, 256, 256);
    EXPECT_TRUE(instance.Valid()) << uri;
    const double held = inUse() - before;
    instance.Control("oversampling") = 1.0f;
    const auto in = Sine(instance.Channels(), 256, 0.5);
    std::vector<std::vector<float>> out;
    for (int run = 0; run < 32; ++run) instance.Run(in, out, 256);
    float peak = 0.0f;
    for (const float x : out[0]) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.1f) << uri;
    EXPECT_EQ(instance.Control("latency"), 326.0f) << uri;
    return held;
  };
  const double stereo = heldBy(kStereoURI);
  const double mono = heldBy(kMonoURI);
  EXPECT_GT(stereo, 1e6);
  EXPECT_LT(mono, 0.7 * stereo) << "mono " << mono << " bytes, stereo " << stereo;
}

// The meters' levels on their ports, as the envelope gives them, each channel on its own port;
// the mono plug-in shows its one channel on both ports of a pair.
TEST(LilvBundle, TheMeterPortsCarryTheLevelsOfTheirChannels) {
  World world;
  Instance stereo(world, kStereoURI, 48000.0);
  auto in = Sine(2, 24000, 0.05);
  std::fill(in[1].begin(), in[1].end(), 0.0f);  // the left channel alone
  std::vector<std::vector<float>> out;
  for (const char* symbol : kMeterSymbols) EXPECT_EQ(stereo.Control(symbol), 0.0f) << symbol;
  RunAll(stereo, in, 512);
  EXPECT_GT(stereo.Control("meter_in_l"), 0.45f);
  EXPECT_LE(stereo.Control("meter_in_l"), 0.5f);
  EXPECT_EQ(stereo.Control("meter_in_r"), 0.0f);
  EXPECT_GT(stereo.Control("meter_out_l"), 0.1f);
  EXPECT_EQ(stereo.Control("meter_out_r"), 0.0f);

  // Past full scale the port stays at its maximum, where the editor lights its clip LED.
  const auto loud = Sine(2, 4800, 0.05, 4.0f);
  RunAll(stereo, loud, 480);
  EXPECT_EQ(stereo.Control("meter_in_l"), 1.0f);
  EXPECT_EQ(stereo.Control("meter_in_r"), 1.0f);
  // Silence: the levels fall with the meters' release.
  RunAll(stereo, Sine(2, 96000, 0.05, 0.0f), 1024);
  for (const char* symbol : kMeterSymbols) EXPECT_LT(stereo.Control(symbol), 0.01f) << symbol;

  Instance mono(world, kMonoURI, 48000.0);
  RunAll(mono, Sine(1, 24000, 0.05), 333);
  EXPECT_GT(mono.Control("meter_in_l"), 0.45f);
  EXPECT_EQ(mono.Control("meter_in_r"), mono.Control("meter_in_l"));
  EXPECT_GT(mono.Control("meter_out_l"), 0.1f);
  EXPECT_EQ(mono.Control("meter_out_r"), mono.Control("meter_out_l"));
}

// The plug-ins' own editor as hosts find it: an X11 UI in the bundle, needing nothing but the
// host's parent window, told about the meter ports.
TEST(LilvBundle, BothPluginsShowTheirEditorAsAnX11UI) {
  World world;
  LilvWorld* w = world.Get();
  LilvNode* x11 = lilv_new_uri(w, LV2_UI__X11UI);
  LilvNode* uiURI = lilv_new_uri(w, kUiURI);
  for (const char* uri : {kStereoURI, kMonoURI}) {
    SCOPED_TRACE(uri);
    LilvUIs* uis = lilv_plugin_get_uis(world.Plugin(uri));
    ASSERT_NE(uis, nullptr);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    EXPECT_STREQ(lilv_node_as_uri(lilv_ui_get_uri(ui)), kUiURI);
    EXPECT_TRUE(lilv_ui_is_a(ui, x11));
    char* binary = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    ASSERT_NE(binary, nullptr);
    EXPECT_EQ(std::string(binary), std::string(CORVANE_LV2_BUNDLE_DIR) + "/corvane_ui.so");
    EXPECT_EQ(access(binary, R_OK), 0) << binary;
    lilv_free(binary);
    lilv_uis_free(uis);
  }

  // What a host checks before it instantiates.
  const auto objects = [&](const char* predicate) {
    LilvNode* p = lilv_new_uri(w, predicate);
    LilvNodes* found = lilv_world_find_nodes(w, uiURI, p, nullptr);
    std::vector<std::string> uris;
    LILV_FOREACH(nodes, i, found)
    uris.emplace_back(lilv_node_as_string(lilv_nodes_get(found, i)));
    lilv_nodes_free(found);
    lilv_node_free(p);
    std::sort(uris.begin(), uris.end());
    return uris;
  };
  EXPECT_EQ(objects(LV2_CORE__requiredFeature), std::vector<std::string>({LV2_UI__parent}));
  EXPECT_EQ(objects(LV2_CORE__optionalFeature),
            std::vector<std::string>({LV2_UI__idleInterface, LV2_UI__resize, LV2_UI__touch}));
  EXPECT_EQ(objects(LV2_CORE__extensionData), std::vector<std::string>({LV2_UI__idleInterface}));

  // One float notification per meter port of each plug-in.
  LilvNode* notification = lilv_new_uri(w, LV2_UI__portNotification);
  LilvNode* pluginProperty = lilv_new_uri(w, LV2_UI__plugin);
  LilvNode* symbolProperty = lilv_new_uri(w, LV2_CORE__symbol);
  LilvNode* protocolProperty = lilv_new_uri(w, LV2_UI__protocol);
  LilvNodes* notes = lilv_world_find_nodes(w, uiURI, notification, nullptr);
  std::vector<std::string> seen;
  LILV_FOREACH(nodes, i, notes) {
    const LilvNode* note = lilv_nodes_get(notes, i);
    LilvNode* plugin = lilv_world_get(w, note, pluginProperty, nullptr);
    LilvNode* symbol = lilv_world_get(w, note, symbolProperty, nullptr);
    LilvNode* protocol = lilv_world_get(w, note, protocolProperty, nullptr);
    ASSERT_TRUE(plugin && symbol && protocol);
    EXPECT_STREQ(lilv_node_as_uri(protocol), LV2_UI__floatProtocol);
    seen.push_back(std::string(lilv_node_as_uri(plugin)) + " " + lilv_node_as_string(symbol));
    lilv_node_free(plugin);
    lilv_node_free(symbol);
    lilv_node_free(protocol);
  }
  lilv_nodes_free(notes);
  std::vector<std::string> expected;
  for (const char* uri : {kStereoURI, kMonoURI})
    for (const char* symbol : kMeterSymbols) expected.push_back(std::string(uri) + " " + symbol);
  std::sort(seen.begin(), seen.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(seen, expected);
  for (LilvNode* node :
       {x11, uiURI, notification, pluginProperty, symbolProperty, protocolProperty})
    lilv_node_free(node);
}
