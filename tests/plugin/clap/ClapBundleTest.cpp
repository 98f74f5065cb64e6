// The CLAP bundle as a CLAP host finds and drives it: dlopen, clap_entry, the factory, then the
// plug-in and its extensions. One product in every format: the sound and the state are the AAX
// module's; the thread rules are CLAP's, and a call that breaks them changes nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "HostTestSupport.h"
#include "host/claphost/ClapHost.h"
#include "host/realtime/RealtimeProbe.h"
#include "plugin/CorvaneParams.h"
#include "tests/support/AllocationCounter.h"

namespace {

namespace fs = std::filesystem;
namespace clap = corvane::host::clap;
using clap::AudioScope;
using clap::Events;
using clap::Output;

const fs::path kBundle = CORVANE_CLAP_BUNDLE;
constexpr const char* kStereoID = "com.pellumar.corvane";
constexpr const char* kMonoID = "com.pellumar.corvane.mono";
constexpr int kImageBytes = corvane::kNumParams * 8;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

/** One plug-in instance, made and initialized through the factory. */
class Plugin {
 public:
  Plugin(clap::Module& module, clap::Host& host, const char* id) : mHost(host) {
    mPlugin = module.Factory()->create_plugin(module.Factory(), host.Get(), id);
    if (!mPlugin || !mPlugin->init(mPlugin)) throw std::runtime_error("no plug-in");
    mParams = Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    mState = Ext<clap_plugin_state_t>(CLAP_EXT_STATE);
    mLatency = Ext<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    mChannels = std::strcmp(id, kMonoID) == 0 ? 1 : 2;
  }
  ~Plugin() { mPlugin->destroy(mPlugin); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  template <typename T>
  const T* Ext(const char* id) const {
    return static_cast<const T*>(mPlugin->get_extension(mPlugin, id));
  }
  const clap_plugin_t* Get() const { return mPlugin; }
  const clap_plugin_params_t* Params() const { return mParams; }
  int Channels() const { return mChannels; }

  bool Activate(uint32_t maxFrames, double rate = 48000.0) {
    return mPlugin->activate(mPlugin, rate, 1, maxFrames);
  }
  void Deactivate() { mPlugin->deactivate(mPlugin); }
  bool Start() {
    AudioScope audio;
    return mPlugin->start_processing(mPlugin);
  }
  void Stop() {
    AudioScope audio;
    mPlugin->stop_processing(mPlugin);
  }
  /** One block in place, on the audio thread. */
  clap_process_status Process(float** channels, uint32_t frames, Events* events = nullptr,
                              Output* out = nullptr) {
    AudioScope audio;
    return ProcessHere(channels, frames, events, out);
  }
  /** The same, on whatever thread the caller is. */
  clap_process_status ProcessHere(float** channels, uint32_t frames, Events* events, Output* out) {
    clap_audio_buffer_t in{channels, nullptr, static_cast<uint32_t>(mChannels), 0, 0};
    clap_audio_buffer_t outBuffer{channels, nullptr, static_cast<uint32_t>(mChannels), 0, 0};
    clap_process_t p{};
    p.steady_time = -1;
    p.frames_count = frames;
    p.audio_inputs = &in;
    p.audio_outputs = &outBuffer;
    p.audio_inputs_count = 1;
    p.audio_outputs_count = 1;
    p.in_events = events ? events->List() : mNoEvents.List();
    p.out_events = out ? out->List() : mNoOutput.List();
    return mPlugin->process(mPlugin, &p);
  }
  /** params.flush on the main thread (inactive) or, while active, on the audio thread. */
  void Flush(Events& events, bool onAudio = false, Output* out = nullptr) {
    tOnAudioFlush(onAudio);
    mParams->flush(mPlugin, events.List(), out ? out->List() : mNoOutput.List());
    tOnAudioFlush(false);
  }
  void Set(clap_id id, double value) {
    Events e;
    e.Value(0, id, value);
    Flush(e);
  }
  double Value(clap_id id) const {
    double v = NAN;
    EXPECT_TRUE(mParams->get_value(mPlugin, id, &v));
    return v;
  }
  std::vector<double> Values() const {
    std::vector<double> v;
    for (clap_id i = 0; i < corvane::kNumParams; ++i) v.push_back(Value(i));
    return v;
  }
  std::vector<uint8_t> Save(size_t perCall = 1) const {
    clap::ByteStream s;
    s.perCall = perCall;
    EXPECT_TRUE(mState->save(mPlugin, &s.out));
    return s.bytes;
  }
  bool Load(const std::vector<uint8_t>& bytes, size_t perCall = 1, bool fail = false) {
    clap::ByteStream s;
    s.bytes = bytes;
    s.perCall = perCall;
    s.fail = fail;
    return mState->load(mPlugin, &s.in);
  }
  uint32_t Latency() const { return mLatency->get(mPlugin); }

 private:
  static void tOnAudioFlush(bool on) { clap::tOnAudio = on; }

  clap::Host& mHost;
  const clap_plugin_t* mPlugin = nullptr;
  const clap_plugin_params_t* mParams = nullptr;
  const clap_plugin_state_t* mState = nullptr;
  const clap_plugin_latency_t* mLatency = nullptr;
  int mChannels = 2;
  Events mNoEvents;
  Output mNoOutput;
};

/** The test signal: sines of different pitch per channel, loud enough to saturate. */
std::vector<std::vector<float>> Signal(int channels, int frames) {
  std::vector<std::vector<float>> s(static_cast<size_t>(channels),
                                    std::vector<float>(static_cast<size_t>(frames)));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i)
      s[static_cast<size_t>(c)][static_cast<size_t>(i)] =
          static_cast<float>(0.8 * std::sin(0.01 * i * (c + 1)));
  return s;
}

/** Processes the signal in place in blocks of the sizes `blockOf` gives, events from `eventsOf`. */
template <typename BlockOf, typename EventsOf>
std::vector<std::vector<float>> RunWith(Plugin& plugin, std::vector<std::vector<float>> signal,
                                        BlockOf&& blockOf, EventsOf&& eventsOf) {
  const int frames = static_cast<int>(signal[0].size());
  float* channels[2] = {};
  Events events;
  for (int at = 0; at < frames;) {
    const int n = std::min(blockOf(at), frames - at);
    for (size_t c = 0; c < signal.size(); ++c) channels[c] = signal[c].data() + at;
    events.Clear();
    eventsOf(at, n, events);
    EXPECT_EQ(plugin.Process(channels, static_cast<uint32_t>(n), &events), CLAP_PROCESS_CONTINUE);
    at += n;
  }
  return signal;
}

std::vector<std::vector<float>> RunBlocks(Plugin& plugin,
                                          const std::vector<std::vector<float>>& signal,
                                          int block) {
  return RunWith(
      plugin, signal, [block](int) { return block; }, [](int, int, Events&) {});
}

TEST(ClapBundle, ExportsOnlyItsEntryAndDescribesBothPlugins) {
  ASSERT_TRUE(fs::is_regular_file(kBundle)) << kBundle;
  const std::string exports =
      Shell("nm -D --defined-only '" + kBundle.string() + "' | awk '{print $3}' | sort");
  EXPECT_EQ(exports, "clap_entry\n");

  clap::Module module(kBundle.string());
  EXPECT_TRUE(clap_version_is_compatible(module.Entry()->clap_version));
  EXPECT_EQ(module.Entry()->get_factory("clap.something-else"), nullptr);
  const clap_plugin_factory_t* factory = module.Factory();
  ASSERT_EQ(factory->get_plugin_count(factory), 2u);
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 2), nullptr);
  struct Expected {
    const char* id;
    const char* name;
    std::vector<std::string> features;
  };
  const Expected expected[] = {
      {kStereoID, "Corvane", {"audio-effect", "distortion", "stereo"}},
      {kMonoID, "Corvane Mono", {"audio-effect", "distortion", "mono"}},
  };
  for (uint32_t i = 0; i < 2; ++i) {
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, i);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->id, expected[i].id);
    EXPECT_STREQ(d->name, expected[i].name);
    EXPECT_STREQ(d->vendor, "Pellumar");
    EXPECT_STREQ(d->version, "4.1.0");
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f; ++f) features.emplace_back(*f);
    EXPECT_EQ(features, expected[i].features);
  }
  clap::Host host;
  EXPECT_EQ(factory->create_plugin(factory, host.Get(), "com.pellumar.unknown"), nullptr);

  // One 32-bit port each way, in place, of the variant's channels.
  for (const auto& [id, channels] : {std::pair{kStereoID, 2u}, std::pair{kMonoID, 1u}}) {
    Plugin plugin(module, host, id);
    const auto* ports = plugin.Ext<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    ASSERT_NE(ports, nullptr);
    for (const bool input : {true, false}) {
      ASSERT_EQ(ports->count(plugin.Get(), input), 1u);
      clap_audio_port_info_t info{};
      ASSERT_TRUE(ports->get(plugin.Get(), 0, input, &info));
      EXPECT_EQ(info.channel_count, channels);
      EXPECT_STREQ(info.port_type, channels == 1 ? CLAP_PORT_MONO : CLAP_PORT_STEREO);
      EXPECT_EQ(info.flags & (CLAP_AUDIO_PORT_SUPPORTS_64BITS | CLAP_AUDIO_PORT_PREFERS_64BITS),
                0u);
      EXPECT_TRUE(info.flags & CLAP_AUDIO_PORT_IS_MAIN);
      EXPECT_EQ(info.in_place_pair, info.id);
      EXPECT_FALSE(ports->get(plugin.Get(), 1, input, &info));
    }
  }
}

// Ids are the parameter order; every value shows as a text that reads back as the same value,
// and what no parameter can take is refused.
TEST(ClapBundle, ParametersHaveStableIdsFlagsAndTextsThatReadBack) {
  clap::Module module(kBundle.string());
  clap::Host host;
  Plugin plugin(module, host, kStereoID);
  const clap_plugin_params_t* params = plugin.Params();
  ASSERT_EQ(params->count(plugin.Get()), static_cast<uint32_t>(corvane::kNumParams));
  const char* names[] = {"Threshold", "T Assym", "Nonlinearity", "N Assym",
                         "Knee",      "K Assym", "Mod A",        "Mod B",
                         "Gain",      "Mix",     "Output",       "Oversampling"};
  for (uint32_t i = 0; i < corvane::kNumParams; ++i) {
    clap_param_info_t info{};
    ASSERT_TRUE(params->get_info(plugin.Get(), i, &info));
    SCOPED_TRACE(info.name);
    EXPECT_EQ(info.id, i);
    EXPECT_STREQ(info.name, names[i]);
    const bool oversampling = i == corvane::kOversampling;
    EXPECT_EQ((info.flags & CLAP_PARAM_IS_AUTOMATABLE) != 0, !oversampling);
    EXPECT_EQ((info.flags & CLAP_PARAM_IS_STEPPED) != 0, oversampling);
    EXPECT_EQ((info.flags & CLAP_PARAM_REQUIRES_PROCESS) != 0, oversampling);
    EXPECT_LT(info.min_value, info.max_value);
    EXPECT_GE(info.default_value, info.min_value);
    EXPECT_LE(info.default_value, info.max_value);
    EXPECT_EQ(plugin.Value(i), info.default_value);
    for (int k = 0; k <= 16; ++k) {
      const double value = info.min_value + (info.max_value - info.min_value) * k / 16.0;
      char text[CLAP_NAME_SIZE] = {};
      ASSERT_TRUE(params->value_to_text(plugin.Get(), i, value, text, sizeof text));
      double back = NAN;
      ASSERT_TRUE(params->text_to_value(plugin.Get(), i, text, &back)) << text;
      char again[CLAP_NAME_SIZE] = {};
      ASSERT_TRUE(params->value_to_text(plugin.Get(), i, back, again, sizeof again));
      EXPECT_STREQ(again, text) << value;
      EXPECT_NEAR(back, value, oversampling ? 0.5 : 0.051) << text;
    }
    char text[8] = {};
    EXPECT_FALSE(params->value_to_text(plugin.Get(), i, NAN, text, sizeof text));
    double v = 0.0;
    EXPECT_FALSE(params->text_to_value(plugin.Get(), i, "garbage", &v));
  }
  char text[CLAP_NAME_SIZE] = {};
  ASSERT_TRUE(params->value_to_text(plugin.Get(), corvane::kGain, 12.0, text, sizeof text));
  EXPECT_STREQ(text, "12.00dB");
  ASSERT_TRUE(params->value_to_text(plugin.Get(), corvane::kOversampling, 1.0, text, sizeof text));
  EXPECT_STREQ(text, "on");
  // A text too long for the host's room is cut, never overrun.
  char small[4] = {'x', 'x', 'x', 'x'};
  ASSERT_TRUE(params->value_to_text(plugin.Get(), corvane::kGain, 12.0, small, 3));
  EXPECT_STREQ(small, "12");
  EXPECT_EQ(small[3], 'x');
  double v = 0.0;
  EXPECT_FALSE(params->get_value(plugin.Get(), corvane::kNumParams, &v));
  EXPECT_FALSE(params->get_info(plugin.Get(), corvane::kNumParams, nullptr));

  // Flushed while inactive: clamped into the range; not finite or unknown ids change nothing.
  plugin.Set(corvane::kGain, 99.0);
  EXPECT_EQ(plugin.Value(corvane::kGain), 60.0);
  plugin.Set(corvane::kGain, NAN);
  plugin.Set(corvane::kNumParams, 1.0);
  EXPECT_EQ(plugin.Value(corvane::kGain), 60.0);
}

/** corvane-host's raw render through a module (the AAX one unless named), as floats. */
std::vector<std::vector<float>> AaxRender(const std::vector<std::vector<float>>& signal,
                                          const std::vector<std::string>& settings,
                                          const std::vector<std::string>& more = {}) {
  hosttest::TempDir dir;
  hosttest::Audio input;
  input.channels = static_cast<int>(signal.size());
  input.sampleRate = 48000;
  input.format = 0x010000 | 0x0006;  // WAV, 32-bit float
  for (size_t i = 0; i < signal[0].size(); ++i)
    for (const auto& channel : signal) input.samples.push_back(channel[i]);
  hosttest::WriteAudio(dir / "in.wav", input);
  std::vector<std::string> args{
      "render", (dir / "in.wav").string(), "-o", (dir / "out.wav").string(), "--raw", "--format",
      "float64"};
  for (const std::string& s : settings) {
    args.push_back("--set");
    args.push_back(s);
  }
  args.insert(args.end(), more.begin(), more.end());
  const auto result = hosttest::RunHost(args);
  EXPECT_EQ(result.status, 0) << result.err;
  const hosttest::Audio out = hosttest::ReadAudio(dir / "out.wav");
  std::vector<std::vector<float>> rendered(signal.size());
  for (size_t i = 0; i < out.Frames(); ++i)
    for (int c = 0; c < out.channels; ++c) rendered[static_cast<size_t>(c)].push_back(out.At(i, c));
  return rendered;
}

double WorstDifference(const std::vector<std::vector<float>>& a,
                       const std::vector<std::vector<float>>& b) {
  EXPECT_EQ(a.size(), b.size());
  double worst = 0.0;
  for (size_t c = 0; c < std::min(a.size(), b.size()); ++c) {
    EXPECT_EQ(a[c].size(), b[c].size());
    for (size_t i = 0; i < std::min(a[c].size(), b[c].size()); ++i)
      worst = std::max(worst, std::fabs(static_cast<double>(a[c][i]) - b[c][i]));
  }
  return worst;
}

// The same object behind every format: stereo and mono, plain and oversampled, the CLAP render is
// the AAX module's. Blocks of any size up to the activation's maximum sound the same.
TEST(ClapBundle, RendersAsTheAaxModuleAtAnyBlockSize) {
  clap::Module module(kBundle.string());
  clap::Host host;
  struct Setting {
    std::vector<std::string> text;
    std::vector<std::pair<clap_id, double>> values;
  };
  const Setting settings[] = {
      {{"Gain=12", "Threshold=-12", "Knee=3"},
       {{corvane::kGain, 12.0}, {corvane::kThreshold, -12.0}, {corvane::kKnee, 3.0}}},
      {{"Gain=24", "Mod A=40", "Oversampling=on", "Mix=80"},
       {{corvane::kGain, 24.0},
        {corvane::kModA, 40.0},
        {corvane::kOversampling, 1.0},
        {corvane::kMix, 80.0}}},
  };
  for (const char* id : {kStereoID, kMonoID}) {
    for (const Setting& setting : settings) {
      SCOPED_TRACE(std::string(id) + ", " + setting.text.front() + ", " + setting.text.back());
      Plugin plugin(module, host, id);
      const auto signal = Signal(plugin.Channels(), 24000);
      const auto reference = AaxRender(signal, setting.text);
      for (const auto& [param, value] : setting.values) plugin.Set(param, value);
      ASSERT_TRUE(plugin.Activate(1024));
      ASSERT_TRUE(plugin.Start());
      const auto fixed = RunBlocks(plugin, signal, 512);
      EXPECT_LE(WorstDifference(fixed, reference), 1e-6);
      plugin.Stop();
      plugin.Deactivate();

      // Sizes from one frame to the maximum, drawn once: the same sound.
      ASSERT_TRUE(plugin.Activate(1024));
      ASSERT_TRUE(plugin.Start());
      std::mt19937 random(20261211);
      std::uniform_int_distribution<int> size(1, 1024);
      const auto varied = RunWith(
          plugin, signal, [&](int at) { return at == 0 ? 1 : size(random); },
          [](int, int, Events&) {});
      EXPECT_LE(WorstDifference(varied, reference), 1e-6);
      plugin.Stop();
      plugin.Deactivate();
    }
  }
}

// corvane-host drives the bundle as it drives the AAX module: the same render, and a state file
// saved through either module restores in the other.
TEST(ClapBundle, TheToolRendersAndMovesStatesThroughTheBundle) {
  hosttest::TempDir dir;
  for (const int channels : {2, 1}) {
    SCOPED_TRACE(channels);
    const auto signal = Signal(channels, 12000);
    const std::vector<std::string> settings{"Gain=24", "Mod A=40", "Oversampling=on", "Mix=80"};
    const auto reference = AaxRender(signal, settings, {"--state-out", (dir / "aax").string()});
    const auto clap = AaxRender(
        signal, settings, {"--module", kBundle.string(), "--state-out", (dir / "clap").string()});
    EXPECT_LE(WorstDifference(clap, reference), 1e-6);
    EXPECT_FALSE(reference.empty() || reference[0].empty());
    // The AAX module's state in the bundle, and the bundle's in the AAX module.
    const auto restored =
        AaxRender(signal, {}, {"--module", kBundle.string(), "--state-in", (dir / "aax").string()});
    EXPECT_LE(WorstDifference(restored, reference), 1e-6);
    const auto back = AaxRender(signal, {}, {"--state-in", (dir / "clap").string()});
    EXPECT_LE(WorstDifference(back, reference), 1e-6);
    const auto shownAax = hosttest::RunHost({"state", "show", (dir / "aax").string()});
    const auto shownClap = hosttest::RunHost({"state", "show", (dir / "clap").string()});
    ASSERT_EQ(shownClap.status, 0) << shownClap.err;
    EXPECT_EQ(shownClap.out.substr(shownClap.out.find("Threshold")),
              shownAax.out.substr(shownAax.out.find("Threshold")));
  }
}

// Values take effect at their sample: an event at every sample of 256-frame blocks sounds as one
// event at the start of each one-frame block. Events past the block or of unknown ids are
// refused.
TEST(ClapBundle, EventsApplyAtTheirSampleTimes) {
  clap::Module module(kBundle.string());
  clap::Host host;
  const auto signal = Signal(2, 4096);
  auto gainAt = [](int frame) { return 6.0 + 30.0 * (frame % 700) / 700.0; };
  std::vector<std::vector<float>> everySample, oneFrameBlocks;
  {
    Plugin plugin(module, host, kStereoID);
    ASSERT_TRUE(plugin.Activate(256));
    ASSERT_TRUE(plugin.Start());
    everySample = RunWith(
        plugin, signal, [](int) { return 256; },
        [&](int at, int n, Events& e) {
          for (int i = 0; i < n; ++i)
            e.Value(static_cast<uint32_t>(i), corvane::kGain, gainAt(at + i));
        });
  }
  {
    Plugin plugin(module, host, kStereoID);
    ASSERT_TRUE(plugin.Activate(256));
    ASSERT_TRUE(plugin.Start());
    oneFrameBlocks = RunWith(
        plugin, signal, [](int) { return 1; },
        [&](int at, int, Events& e) { e.Value(0, corvane::kGain, gainAt(at)); });
  }
  EXPECT_EQ(everySample, oneFrameBlocks);
  // And it differs from the value applied once per block: the splitting is what was tested.
  {
    Plugin plugin(module, host, kStereoID);
    ASSERT_TRUE(plugin.Activate(256));
    ASSERT_TRUE(plugin.Start());
    const auto perBlock = RunWith(
        plugin, signal, [](int) { return 256; },
        [&](int at, int, Events& e) { e.Value(0, corvane::kGain, gainAt(at)); });
    EXPECT_GT(WorstDifference(perBlock, everySample), 1e-3);

    float left[64] = {}, right[64] = {};
    float* channels[2] = {left, right};
    Events bad;
    bad.Value(64, corvane::kGain, 1.0);  // past the end of a 64-frame block
    bad.Value(3, corvane::kNumParams, 1.0);
    bad.Value(5, corvane::kMix, NAN);
    const double gain = plugin.Value(corvane::kGain), mix = plugin.Value(corvane::kMix);
    EXPECT_EQ(plugin.Process(channels, 64, &bad), CLAP_PROCESS_CONTINUE);
    EXPECT_EQ(plugin.Value(corvane::kGain), gain);
    EXPECT_EQ(plugin.Value(corvane::kMix), mix);
    // The refusals are logged from the main thread, asked for through the host's callback.
    EXPECT_GT(host.callbacks.load(), 0);
    plugin.Get()->on_main_thread(plugin.Get());
  }
}

std::vector<uint8_t> ImageOf(const std::vector<double>& values) {
  std::vector<uint8_t> image(values.size() * 8);
  std::memcpy(image.data(), values.data(), image.size());
  return image;
}

// The state is the 96-byte image of the AAX chunk, through streams that move one byte per call;
// longer images restore their first 96 bytes, shorter ones what they hold; a malformed image or a
// failing stream changes nothing.
TEST(ClapBundle, StateRoundTripsAndRefusesWhatIsNotAnImage) {
  clap::Module module(kBundle.string());
  clap::Host host;
  Plugin a(module, host, kStereoID);
  a.Set(corvane::kGain, 18.3);
  a.Set(corvane::kMix, 35.0);
  a.Set(corvane::kThresholdAsym, -7.1);
  a.Set(corvane::kOversampling, 1.0);
  const std::vector<uint8_t> saved = a.Save(1);
  ASSERT_EQ(saved.size(), static_cast<size_t>(kImageBytes));
  EXPECT_EQ(saved, a.Save(4096));
  EXPECT_EQ(saved, ImageOf(a.Values()));

  Plugin b(module, host, kStereoID);
  ASSERT_TRUE(b.Load(saved, 1));
  EXPECT_EQ(b.Save(1), saved);
  EXPECT_EQ(b.Values(), a.Values());

  // Longer: a later version's image; its first 96 bytes are this version's.
  Plugin c(module, host, kMonoID);
  std::vector<uint8_t> longer = saved;
  for (int i = 0; i < 24; ++i) longer.push_back(0xAB);
  ASSERT_TRUE(c.Load(longer, 7));
  EXPECT_EQ(c.Save(), saved);

  // Shorter: the five values it holds; the rest stay.
  Plugin d(module, host, kStereoID);
  d.Set(corvane::kGain, 42.0);
  std::vector<double> values = a.Values();
  values[0] = -20.0;
  std::vector<uint8_t> shorter = ImageOf(values);
  shorter.resize(5 * 8);
  ASSERT_TRUE(d.Load(shorter, 1));
  EXPECT_EQ(d.Value(corvane::kThreshold), -20.0);
  EXPECT_EQ(d.Value(corvane::kKnee), a.Value(corvane::kKnee));
  EXPECT_EQ(d.Value(corvane::kGain), 42.0);

  // Malformed (a value not finite), or a stream that fails half way: refused, nothing changes.
  const std::vector<uint8_t> before = d.Save();
  values = a.Values();
  values[corvane::kMix] = NAN;
  EXPECT_FALSE(d.Load(ImageOf(values), 1));
  EXPECT_EQ(d.Save(), before);
  EXPECT_FALSE(d.Load(saved, 1, true));
  EXPECT_EQ(d.Save(), before);
  // A stream that takes nothing makes the save fail rather than leave half an image.
  clap::ByteStream full;
  full.fail = true;
  const auto* state = d.Ext<clap_plugin_state_t>(CLAP_EXT_STATE);
  EXPECT_FALSE(state->save(d.Get(), &full.out));
}

// Deactivated and activated again, the plug-in starts over: the same input gives the same
// output, sample for sample.
TEST(ClapBundle, ActivationCyclesGiveIdenticalOutput) {
  clap::Module module(kBundle.string());
  clap::Host host;
  Plugin plugin(module, host, kStereoID);
  plugin.Set(corvane::kGain, 20.0);
  plugin.Set(corvane::kOversampling, 1.0);
  const auto signal = Signal(2, 6000);
  std::vector<std::vector<float>> first;
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_TRUE(plugin.Activate(480));
    EXPECT_FALSE(plugin.Activate(480));  // activated twice: refused
    ASSERT_TRUE(plugin.Start());
    const auto out = RunBlocks(plugin, signal, 480);
    plugin.Stop();
    plugin.Deactivate();
    if (cycle == 0)
      first = out;
    else
      EXPECT_EQ(out, first);
  }
}

// Processing, events and flushes on the audio thread allocate nothing, free nothing and take no
// lock; an output queue gets the editor's edits without growing.
TEST(ClapBundle, ProcessAllocatesAndLocksNothing) {
  clap::Module module(kBundle.string());
  clap::Host host;
  for (const char* id : {kStereoID, kMonoID}) {
    SCOPED_TRACE(id);
    Plugin plugin(module, host, id);
    ASSERT_TRUE(plugin.Activate(1024));
    ASSERT_TRUE(plugin.Start());
    std::vector<float> left(1024, 0.5f), right(1024, -0.5f);
    float* channels[2] = {left.data(), right.data()};
    Events events, flushEvents;
    events.Value(0, corvane::kGain, 30.0);
    events.Value(17, corvane::kMix, 70.0);
    events.Value(300, corvane::kOversampling, 1.0);
    events.Value(1023, corvane::kModB, 20.0);
    flushEvents.Value(0, corvane::kOversampling, 0.0);
    flushEvents.Value(0, corvane::kGain, 3.0);
    Output out;
    // Warmed up once: first calls may fill caches that live as long as the plug-in.
    plugin.Process(channels, 1024, &events, &out);
    events.Clear();
    events.Value(0, corvane::kGain, 31.0);
    events.Value(500, corvane::kOversampling, 0.0);
    corvane::realtime::Violations seen;
    {
      AudioScope audio;
      corvane::realtime::ScopedProbe probe;
      for (int block = 0; block < 40; ++block) {
        plugin.ProcessHere(channels, block % 2 ? 1024 : 1, &events, &out);
        plugin.Params()->flush(plugin.Get(), flushEvents.List(), out.List());
      }
      seen = probe.Seen();
    }
    EXPECT_EQ(seen.allocations, 0);
    EXPECT_EQ(seen.frees, 0);
    if (corvane::realtime::SeesLocksAndSleeps()) {
      EXPECT_EQ(seen.locks, 0);
      EXPECT_EQ(seen.sleeps, 0);
    }
    plugin.Stop();
    plugin.Deactivate();
  }
}

// The oversampling switch changes the latency: inactive, the host is told at once; active, it is
// asked to restart, and after the restart the new latency is what it reads.
TEST(ClapBundle, LatencyFollowsOversamplingThroughARestart) {
  clap::Module module(kBundle.string());
  clap::Host host;
  Plugin plugin(module, host, kStereoID);
  EXPECT_EQ(plugin.Latency(), 0u);
  plugin.Set(corvane::kOversampling, 1.0);
  // Before the first activation there is no rate to know the resamplers' latency by: the host
  // reads it after activating.
  EXPECT_EQ(plugin.Latency(), 0u);
  EXPECT_EQ(host.latencyChanges.load(), 0);
  ASSERT_TRUE(plugin.Activate(512));
  const uint32_t oversampled = plugin.Latency();
  EXPECT_GT(oversampled, 0u);
  ASSERT_TRUE(plugin.Start());
  std::vector<float> left(512), right(512);
  float* channels[2] = {left.data(), right.data()};
  EXPECT_EQ(plugin.Process(channels, 512), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(host.restarts.load(), 0);
  Events off;
  off.Value(100, corvane::kOversampling, 0.0);
  EXPECT_EQ(plugin.Process(channels, 512, &off), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(host.restarts.load(), 1);
  // The host restarts: deactivate, activate, read the latency.
  plugin.Stop();
  plugin.Deactivate();
  ASSERT_TRUE(plugin.Activate(512));
  EXPECT_EQ(plugin.Latency(), 0u);
  ASSERT_TRUE(plugin.Start());
  EXPECT_EQ(plugin.Process(channels, 512), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(host.restarts.load(), 1);  // nothing more to restart for

  // A state that turns it on, loaded while active: a restart again.
  std::vector<double> values = plugin.Values();
  values[corvane::kOversampling] = 1.0;
  ASSERT_TRUE(plugin.Load(ImageOf(values)));
  EXPECT_EQ(host.restarts.load(), 2);

  // Inactive, once a rate is known, the host is told of the change directly.
  plugin.Stop();
  plugin.Deactivate();
  plugin.Set(corvane::kOversampling, 0.0);
  EXPECT_EQ(plugin.Latency(), 0u);
  EXPECT_EQ(host.latencyChanges.load(), 1);
  plugin.Set(corvane::kOversampling, 1.0);
  EXPECT_EQ(plugin.Latency(), oversampled);
  EXPECT_EQ(host.latencyChanges.load(), 2);
  EXPECT_EQ(host.restarts.load(), 2);
}

// Every call on the thread CLAP gives it, as the host's thread check says: on another, it is
// refused and nothing changes. A host without the check is trusted.
TEST(ClapBundle, CallsOnTheWrongThreadAreRefused) {
  clap::Module module(kBundle.string());
  clap::Host host;
  Plugin plugin(module, host, kStereoID);
  const clap_plugin_t* p = plugin.Get();
  {
    AudioScope audio;  // main-thread calls from the audio thread
    EXPECT_FALSE(p->activate(p, 48000.0, 1, 512));
    double v = 0.0;
    EXPECT_FALSE(plugin.Params()->get_value(p, corvane::kGain, &v));
    EXPECT_EQ(plugin.Params()->count(p), 0u);
  }
  // state.load from another thread altogether
  std::vector<double> values = plugin.Values();
  values[corvane::kGain] = 50.0;
  bool loaded = true;
  std::thread other([&] { loaded = plugin.Load(ImageOf(values)); });
  other.join();
  EXPECT_FALSE(loaded);
  EXPECT_EQ(plugin.Value(corvane::kGain), 0.0);

  ASSERT_TRUE(plugin.Activate(512));
  // Audio-thread calls from the main thread.
  EXPECT_FALSE(p->start_processing(p));
  {
    AudioScope audio;
    ASSERT_TRUE(p->start_processing(p));
  }
  std::vector<float> left(512, 0.25f), right(512, 0.25f);
  float* channels[2] = {left.data(), right.data()};
  Events events;
  events.Value(0, corvane::kGain, 40.0);
  EXPECT_EQ(plugin.ProcessHere(channels, 512, &events, nullptr), CLAP_PROCESS_ERROR);
  EXPECT_EQ(plugin.Value(corvane::kGain), 0.0);
  EXPECT_EQ(left[0], 0.25f);  // untouched
  // Active, a flush belongs to the audio thread.
  plugin.Flush(events, false);
  EXPECT_EQ(plugin.Value(corvane::kGain), 0.0);
  plugin.Flush(events, true);
  EXPECT_EQ(plugin.Value(corvane::kGain), 40.0);
  plugin.Stop();
  plugin.Deactivate();

  // Without a thread check the host is taken at its word.
  clap::Host trusting(false);
  Plugin q(module, trusting, kStereoID);
  ASSERT_TRUE(q.Activate(64));
  ASSERT_TRUE(q.Get()->start_processing(q.Get()));
  EXPECT_EQ(q.ProcessHere(channels, 64, nullptr, nullptr), CLAP_PROCESS_CONTINUE);
}

// Embedded X11 only; the size a host is told and fitted to is the editor's shape, zoom range and
// screen scale, before any window exists; a destroyed editor leaves no timer behind.
TEST(ClapBundle, GuiSizesFollowTheEditorsShapeAndScale) {
  clap::Module module(kBundle.string());
  clap::Host host;
  Plugin plugin(module, host, kStereoID);
  const auto* gui = plugin.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  ASSERT_NE(gui, nullptr);
  EXPECT_TRUE(gui->is_api_supported(plugin.Get(), CLAP_WINDOW_API_X11, false));
  EXPECT_FALSE(gui->is_api_supported(plugin.Get(), CLAP_WINDOW_API_X11, true));
  EXPECT_FALSE(gui->is_api_supported(plugin.Get(), CLAP_WINDOW_API_WAYLAND, false));
  ASSERT_TRUE(gui->create(plugin.Get(), CLAP_WINDOW_API_X11, false));
  EXPECT_FALSE(gui->create(plugin.Get(), CLAP_WINDOW_API_X11, false));  // one at a time
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(gui->get_size(plugin.Get(), &w, &h));
  EXPECT_EQ(w, 650u);
  EXPECT_EQ(h, 400u);
  EXPECT_TRUE(gui->can_resize(plugin.Get()));
  // The host's size is fitted to the editor's shape and zoom range.
  w = 1300;
  h = 900;
  ASSERT_TRUE(gui->adjust_size(plugin.Get(), &w, &h));
  EXPECT_EQ(w, 1300u);
  EXPECT_EQ(h, 800u);
  w = 10;
  h = 10;
  ASSERT_TRUE(gui->adjust_size(plugin.Get(), &w, &h));
  EXPECT_EQ(w, 325u);
  EXPECT_EQ(h, 200u);
  ASSERT_TRUE(gui->set_scale(plugin.Get(), 2.0));
  ASSERT_TRUE(gui->get_size(plugin.Get(), &w, &h));
  EXPECT_EQ(w, 1300u);
  const clap_window_t wayland{CLAP_WINDOW_API_WAYLAND, {}};
  EXPECT_FALSE(gui->set_parent(plugin.Get(), &wayland));
  gui->destroy(plugin.Get());
  EXPECT_TRUE(host.timers.empty());
}

}  // namespace
