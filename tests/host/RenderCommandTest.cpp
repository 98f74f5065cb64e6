#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "HostTestSupport.h"
#include "host/DemoSignal.h"

namespace {

using hosttest::Audio;
using hosttest::RunHost;
using hosttest::TempDir;

constexpr int kRate = 48000;
constexpr size_t kClickFrames = 5000;
/** Isolated clicks of both polarities; the last one sits on the final frame, so only a
 * flushed tail brings its response into the output. Channel 1 is shifted by 5 frames. */
constexpr size_t kClicks[] = {0, 700, 2048, 3333, kClickFrames - 1};
constexpr size_t kChannelShift = 5;

Audio Silence(int channels, size_t frames) {
  Audio audio;
  audio.channels = channels;
  audio.sampleRate = kRate;
  audio.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  audio.samples.assign(frames * static_cast<size_t>(channels), 0.0f);
  return audio;
}

size_t ClickPosition(size_t k, int channel) {
  return std::min(kClicks[k] + static_cast<size_t>(channel) * kChannelShift, kClickFrames - 1);
}

Audio ClickFile(size_t leadingSilence = 0) {
  Audio audio = Silence(2, leadingSilence + kClickFrames);
  for (int c = 0; c < 2; ++c)
    for (size_t k = 0; k < std::size(kClicks); ++k)
      audio.samples[(leadingSilence + ClickPosition(k, c)) * 2 + static_cast<size_t>(c)] =
          k % 2 ? -0.5f : 0.8f;
  return audio;
}

/** Index of the largest magnitude within +-radius frames of centre. */
size_t LocalPeak(const Audio& audio, int channel, size_t centre, size_t radius = 8) {
  const size_t first = centre > radius ? centre - radius : 0;
  const size_t last = std::min(audio.Frames() - 1, centre + radius);
  size_t best = first;
  for (size_t i = first; i <= last; ++i)
    if (std::fabs(audio.At(i, channel)) > std::fabs(audio.At(best, channel))) best = i;
  return best;
}

double MaxDifference(const Audio& a, const Audio& b, size_t offsetInB = 0) {
  double worst = 0.0;
  for (size_t i = 0; i < a.Frames(); ++i)
    for (int c = 0; c < a.channels; ++c)
      worst = std::max(worst, static_cast<double>(std::fabs(a.At(i, c) - b.At(i + offsetInB, c))));
  return worst;
}

double Peak(const Audio& audio) {
  double peak = 0.0;
  for (float s : audio.samples) peak = std::max(peak, static_cast<double>(std::fabs(s)));
  return peak;
}

struct AlignmentCase {
  const char* mode;  // "plain", "oversampled" or "offline"
  int block;
};

void PrintTo(const AlignmentCase& c, std::ostream* os) {
  *os << c.mode << " block " << c.block;
}

class AlignmentTest : public ::testing::TestWithParam<AlignmentCase> {
 protected:
  std::vector<std::string> Args(const std::filesystem::path& in,
                                const std::filesystem::path& out) const {
    const std::string mode = GetParam().mode;
    std::vector<std::string> args = {
        "render", in.string(), "-o",      out.string(),
        "--set",  "Mix=0",     "--block", std::to_string(GetParam().block)};
    if (mode == "oversampled") args.insert(args.end(), {"--set", "oversampling=ON"});
    if (mode == "offline") args.push_back("--offline");
    return args;
  }
};

// With Mix at 0 the plug-in passes its input, through the resamplers when oversampling, so
// any error in the host's settling, latency compensation or tail shows up as a shifted,
// truncated or misplaced click.
TEST_P(AlignmentTest, OutputFollowsInputFrameForFrame) {
  const bool plain = std::string(GetParam().mode) == "plain";
  TempDir dir;
  const Audio input = ClickFile();
  hosttest::WriteAudio(dir / "clicks.wav", input);

  const auto aligned = RunHost(Args(dir / "clicks.wav", dir / "aligned.wav"));
  ASSERT_EQ(aligned.status, 0) << aligned.err;
  const int latency = hosttest::SummaryLatency(aligned.out);
  EXPECT_EQ(latency > 0, !plain) << aligned.out;

  const Audio output = hosttest::ReadAudio(dir / "aligned.wav");
  ASSERT_EQ(output.channels, 2);
  ASSERT_EQ(output.Frames(), input.Frames());
  EXPECT_EQ(output.format, input.format);
  // The latency lines up the audio band; a minimum-phase filter's impulse peaks up to a sample
  // after that (the band's alignment itself is checked with a tone below).
  for (int c = 0; c < 2; ++c)
    for (size_t k = 0; k < std::size(kClicks); ++k)
      EXPECT_NEAR(static_cast<double>(LocalPeak(output, c, ClickPosition(k, c))),
                  static_cast<double>(ClickPosition(k, c)), plain ? 0.0 : 1.0)
          << "channel " << c << " click " << k;

  if (plain) {
    EXPECT_LT(MaxDifference(output, input), 1e-4);
    return;
  }
  // The resamplers' filters reshape a click, so the reference is the plug-in's own raw stream:
  // after enough leading silence to cover the flush, it must be the aligned output delayed
  // by exactly the reported latency.
  const size_t lead = 4096 + 1000;
  hosttest::WriteAudio(dir / "padded.wav", ClickFile(lead));
  std::vector<std::string> rawArgs = Args(dir / "padded.wav", dir / "raw.wav");
  rawArgs.push_back("--raw");
  const auto raw = RunHost(rawArgs);
  ASSERT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(hosttest::SummaryLatency(raw.out), latency);
  const Audio rawOutput = hosttest::ReadAudio(dir / "raw.wav");
  ASSERT_EQ(rawOutput.Frames(), lead + kClickFrames);
  Audio head = output;
  head.samples.resize((kClickFrames - static_cast<size_t>(latency)) * 2);
  EXPECT_LT(MaxDifference(head, rawOutput, lead + static_cast<size_t>(latency)), 1e-5);
  EXPECT_GT(Peak(output), 0.3);
}

INSTANTIATE_TEST_SUITE_P(
    BlockSizes, AlignmentTest,
    ::testing::Values(AlignmentCase{"plain", 1}, AlignmentCase{"plain", 64},
                      AlignmentCase{"plain", 512}, AlignmentCase{"plain", 1000},
                      AlignmentCase{"oversampled", 1}, AlignmentCase{"oversampled", 64},
                      AlignmentCase{"oversampled", 512}, AlignmentCase{"oversampled", 1000},
                      AlignmentCase{"offline", 1}, AlignmentCase{"offline", 512},
                      AlignmentCase{"offline", 1000}),
    [](const auto& info) {
      return std::string(info.param.mode) + std::to_string(info.param.block);
    });

/** Delay of channel 0 of y against x at freq, in samples, from sine/cosine fits over frames
 * [from, from + len); the candidate nearest 0 of those one period apart. */
double PhaseDelay(const Audio& x, const Audio& y, double freq, size_t from, size_t len) {
  const double w = 2.0 * std::numbers::pi * freq / x.sampleRate;
  auto phase = [&](const Audio& a) {
    double s = 0.0, c = 0.0;
    for (size_t t = from; t < from + len; ++t) {
      s += a.At(t, 0) * std::sin(w * static_cast<double>(t));
      c += a.At(t, 0) * std::cos(w * static_cast<double>(t));
    }
    return std::atan2(c, s);
  };
  const double period = x.sampleRate / freq;
  const double d = (phase(x) - phase(y)) / w;
  return d - std::round(d / period) * period;
}

// A host that compensates the reported latency must get the oversampled audio back in time
// with the dry signal: at 1 kHz the two line up within half a sample, at every rate and at both
// qualities (the offline render runs the steeper filters).
TEST(AlignedRender, OversampledAudioLinesUpWithTheInputAtOneKilohertz) {
  TempDir dir;
  for (const int rate : {44100, 48000, 96000}) {
    for (const char* mode : {"oversampled", "offline"}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz " + mode);
      Audio tone;
      tone.channels = 1;
      tone.sampleRate = rate;
      tone.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
      for (int i = 0; i < rate; ++i)
        tone.samples.push_back(
            static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 997.0 * i / rate)));
      hosttest::WriteAudio(dir / "tone.wav", tone);
      std::vector<std::string> args = {"render", (dir / "tone.wav").string(),
                                       "-o",     (dir / "out.wav").string(),
                                       "--set",  "Mix=0"};
      if (std::string(mode) == "oversampled")
        args.insert(args.end(), {"--set", "Oversampling=on"});
      else
        args.push_back("--offline");
      const auto result = RunHost(args);
      ASSERT_EQ(result.status, 0) << result.err;
      ASSERT_GT(hosttest::SummaryLatency(result.out), 0);
      const Audio out = hosttest::ReadAudio(dir / "out.wav");
      const size_t from = static_cast<size_t>(rate / 4);
      EXPECT_LT(std::fabs(PhaseDelay(tone, out, 997.0, from, static_cast<size_t>(rate / 2))), 0.5);
    }
  }
}

TEST(RawRender, KeepsLengthAndShowsFlushAndLatency) {
  TempDir dir;
  hosttest::WriteAudio(dir / "clicks.wav", ClickFile());
  const auto result =
      RunHost({"render", (dir / "clicks.wav").string(), "-o", (dir / "raw.wav").string(), "--set",
               "Mix=0", "--set", "Oversampling=on", "--block", "256", "--raw"});
  ASSERT_EQ(result.status, 0) << result.err;
  const int latency = hosttest::SummaryLatency(result.out);
  ASSERT_GT(latency, 0);
  const Audio output = hosttest::ReadAudio(dir / "raw.wav");
  ASSERT_EQ(output.Frames(), kClickFrames);

  // The value reaches the instance before its first block, which starts in that state: no
  // fade of the plain path (the click at frame 0 is not heard), the new resamplers flushed.
  const size_t flush = 1024 + static_cast<size_t>(latency);
  for (size_t i = 0; i < flush; ++i) ASSERT_EQ(output.At(i, 0), 0.0f) << "frame " << i;
  // Clicks after the flush come out late by the latency.
  EXPECT_NEAR(static_cast<double>(LocalPeak(output, 0, ClickPosition(2, 0) + latency)),
              static_cast<double>(ClickPosition(2, 0) + latency), 1.0);
  EXPECT_NEAR(static_cast<double>(LocalPeak(output, 1, ClickPosition(3, 1) + latency)),
              static_cast<double>(ClickPosition(3, 1) + latency), 1.0);

  const auto plain = RunHost({"render", (dir / "clicks.wav").string(), "-o",
                              (dir / "plain.wav").string(), "--set", "Mix=0", "--raw"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(hosttest::SummaryLatency(plain.out), 0);
  EXPECT_LT(MaxDifference(hosttest::ReadAudio(dir / "plain.wav"), ClickFile()), 1e-6);
}

Audio Sine(int channels, int format, size_t frames) {
  Audio audio = Silence(channels, frames);
  audio.format = format;
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      audio.samples[i * channels + c] = static_cast<float>(0.6 * std::sin(0.01 * (c + 1) * i));
  return audio;
}

struct FormatCase {
  const char* extension;
  const char* format;
  int major;
  int subtype;
  double tolerance;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
  *os << c.extension << " " << c.format;
}

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, RoundTrips) {
  const FormatCase& param = GetParam();
  TempDir dir;
  const Audio input = Sine(2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3000);
  hosttest::WriteAudio(dir / "in.wav", input);
  const auto out = dir / (std::string("out.") + param.extension);
  const auto result = RunHost({"render", (dir / "in.wav").string(), "-o", out.string(), "--format",
                               param.format, "--set", "Mix=0"});
  ASSERT_EQ(result.status, 0) << result.err;
  const Audio output = hosttest::ReadAudio(out);
  EXPECT_EQ(output.format, param.major | param.subtype);
  EXPECT_EQ(output.sampleRate, kRate);
  ASSERT_EQ(output.Frames(), input.Frames());
  EXPECT_LT(MaxDifference(output, input), param.tolerance);
}

constexpr double kPcm16 = 1.0 / 32768;
constexpr double kPcm24 = 1.0 / 8388608;
INSTANTIATE_TEST_SUITE_P(
    Containers, FormatTest,
    ::testing::Values(FormatCase{"wav", "pcm16", SF_FORMAT_WAV, SF_FORMAT_PCM_16, kPcm16},
                      FormatCase{"wav", "pcm24", SF_FORMAT_WAV, SF_FORMAT_PCM_24, kPcm24},
                      FormatCase{"wav", "float32", SF_FORMAT_WAV, SF_FORMAT_FLOAT, 1e-7},
                      FormatCase{"wav", "float64", SF_FORMAT_WAV, SF_FORMAT_DOUBLE, 1e-7},
                      FormatCase{"aiff", "pcm16", SF_FORMAT_AIFF, SF_FORMAT_PCM_16, kPcm16},
                      FormatCase{"aif", "pcm24", SF_FORMAT_AIFF, SF_FORMAT_PCM_24, kPcm24},
                      FormatCase{"AIFF", "float32", SF_FORMAT_AIFF, SF_FORMAT_FLOAT, 1e-7},
                      FormatCase{"aiff", "float64", SF_FORMAT_AIFF, SF_FORMAT_DOUBLE, 1e-7},
                      FormatCase{"flac", "pcm16", SF_FORMAT_FLAC, SF_FORMAT_PCM_16, kPcm16},
                      FormatCase{"flac", "pcm24", SF_FORMAT_FLAC, SF_FORMAT_PCM_24, kPcm24}),
    [](const auto& info) { return std::string(info.param.extension) + "_" + info.param.format; });

TEST(RenderCommand, MonoStaysMonoNextToInputInItsOwnFormat) {
  TempDir dir;
  const Audio input = Sine(1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2000);
  hosttest::WriteAudio(dir / "voice.flac", input);
  const auto result = RunHost({"render", (dir / "voice.flac").string(), "--set", "Mix=0"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("voice-corvane.flac"), std::string::npos) << result.out;
  EXPECT_EQ(hosttest::LineCount(result.out), 1);
  const Audio output = hosttest::ReadAudio(dir / "voice-corvane.flac");
  EXPECT_EQ(output.channels, 1);
  EXPECT_EQ(output.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  ASSERT_EQ(output.Frames(), input.Frames());
  EXPECT_LT(MaxDifference(output, hosttest::ReadAudio(dir / "voice.flac")), 1e-6);
}

TEST(RenderCommand, ValuesAreInDisplayUnitsAndTheLastSettingWins) {
  TempDir dir;
  const Audio input = Sine(2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2000);
  hosttest::WriteAudio(dir / "in.wav", input);
  // Output (index 10) is in dB; Mix 100 is replaced by the later Mix 0.
  const auto result =
      RunHost({"render", (dir / "in.wav").string(), "-o", (dir / "out.wav").string(), "--set",
               "Mix=100", "--set", "GAIN=40", "--set", "10=-6", "--set", "mix=0"});
  ASSERT_EQ(result.status, 0) << result.err;
  const Audio output = hosttest::ReadAudio(dir / "out.wav");
  ASSERT_EQ(output.Frames(), input.Frames());
  const double expected = std::pow(10.0, -6.0 / 20.0);
  for (size_t i = 0; i < input.samples.size(); ++i)
    ASSERT_NEAR(output.samples[i], expected * input.samples[i], 1e-4) << i;
}

TEST(RenderCommand, DemoWritesProcessedAndDryFiles) {
  TempDir dir;
  const auto result = RunHost({"render", "-o", (dir / "demo.aiff").string(), "--rate", "44100"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(dir.Entries(), (std::set<std::string>{"demo.aiff", "demo-dry.aiff"}));
  EXPECT_EQ(hosttest::LineCount(result.out), 1);
  EXPECT_NE(result.out.find((dir / "demo.aiff").string()), std::string::npos) << result.out;
  EXPECT_NE(result.out.find((dir / "demo-dry.aiff").string()), std::string::npos) << result.out;

  const Audio wet = hosttest::ReadAudio(dir / "demo.aiff");
  const Audio dry = hosttest::ReadAudio(dir / "demo-dry.aiff");
  for (const Audio* audio : {&wet, &dry}) {
    EXPECT_EQ(audio->format, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    EXPECT_EQ(audio->channels, 2);
    EXPECT_EQ(audio->sampleRate, 44100);
    EXPECT_EQ(audio->Frames(), 8u * 44100u);
  }
  const std::vector<float> reference = corvane::host::MakeDemoSignal(44100);
  Audio expectedDry = dry;
  expectedDry.samples = reference;
  EXPECT_LT(MaxDifference(dry, expectedDry), 2 * kPcm24);
  // The drive flattens the peaks: the wet crest factor must be clearly lower than the dry.
  auto crest = [](const Audio& a) {
    double sum = 0.0;
    for (float s : a.samples) sum += static_cast<double>(s) * s;
    return Peak(a) / std::sqrt(sum / static_cast<double>(a.samples.size()));
  };
  EXPECT_LT(crest(wet), 0.8 * crest(dry));
}

TEST(RenderCommand, DemoDefaultsGoToTheCurrentDirectoryAndYieldToSet) {
  TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const auto result =
      RunHost({"render", "--set", "Mix=0", "--set", "Output=0", "--format", "float32"});
  std::filesystem::current_path(previous);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(dir.Entries(), (std::set<std::string>{"corvane-demo.wav", "corvane-demo-dry.wav"}));
  const Audio wet = hosttest::ReadAudio(dir / "corvane-demo.wav");
  EXPECT_EQ(wet.sampleRate, 48000);
  EXPECT_LT(MaxDifference(wet, hosttest::ReadAudio(dir / "corvane-demo-dry.wav")), 1e-6);
}

}  // namespace
