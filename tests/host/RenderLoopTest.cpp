#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "host/DemoSignal.h"
#include "host/HostError.h"
#include "host/RenderLoop.h"

namespace {

using namespace corvane::host;

/**
 * A plug-in that delays by kDelay, but, like Corvane after an oversampling switch, only
 * reports that latency at an idle tick and emits garbage while it settles.
 */
class DelayingSession final : public PluginSession {
 public:
  static constexpr int kDelay = 37;
  static constexpr int kSettleFrames = 1500;

  explicit DelayingSession(bool settles = true) : mSettles(settles) {}

  int ParameterCount() const override { return 0; }
  ParameterInfo Parameter(int) const override { return {}; }
  void SetParameter(int, double) override {}
  std::string ParameterText(int) const override { return {}; }
  bool SupportsBypass() const override { return false; }
  void SetBypass(bool) override {}
  uint32_t StateChunkID() const override { return 0; }
  ChunkRecord SaveState() override { return {}; }
  void LoadState(const ChunkRecord&) override {}
  MeterReading TakeMeterReading() override { return {}; }
  void Reset(double, int maxBlock, bool, int) override {
    mMaxBlock = maxBlock;
    mLine.assign(2 * kDelay, 0.0f);
    mProcessed = 0;
    mReported = 0;
    mTicks = 0;
  }
  void Process(const float* const* in, float* const* out, int channels, int frames) override {
    EXPECT_LE(frames, mMaxBlock);
    for (int i = 0; i < frames; ++i, ++mProcessed) {
      for (int c = 0; c < channels; ++c) {
        float& cell = mLine[static_cast<size_t>(c * kDelay + mProcessed % kDelay)];
        out[c][i] = Settling() ? 9.0f : cell;
        cell = in[c][i];
      }
    }
  }
  int Latency() const override { return mReported; }
  bool Settling() const override { return !mSettles || mProcessed < kSettleFrames; }
  void IdleTick() override {
    ++mTicks;
    if (!Settling()) mReported = kDelay;
  }
  int Ticks() const { return mTicks; }
  int64_t Processed() const { return mProcessed; }

 private:
  bool mSettles;
  int mMaxBlock = 0;
  std::vector<float> mLine;
  int64_t mProcessed = 0;
  int mReported = 0;
  int mTicks = 0;
};

std::vector<float> Ramp(size_t samples) {
  std::vector<float> data(samples);
  for (size_t i = 0; i < samples; ++i) data[i] = static_cast<float>(i % 999 + 1) * 1e-3f;
  return data;
}

class RenderLoopTest : public ::testing::TestWithParam<int> {};

TEST_P(RenderLoopTest, CompensatesALatencyReportedOnlyAfterSettling) {
  for (int channels : {1, 2}) {
    const std::vector<float> input = Ramp(static_cast<size_t>(channels) * 4321);
    DelayingSession session;
    MemorySource source(input, channels);
    MemorySink sink(channels);
    RenderSettings settings;
    settings.sampleRate = 8000.0;
    settings.blockSize = GetParam();
    const RenderStats stats = Render(session, source, sink, settings);
    EXPECT_EQ(stats.latency, DelayingSession::kDelay);
    EXPECT_EQ(stats.frames, 4321);
    EXPECT_EQ(sink.Data(), input) << "channels " << channels;
    EXPECT_FLOAT_EQ(static_cast<float>(stats.inputPeak), 0.999f);
    EXPECT_FLOAT_EQ(static_cast<float>(stats.outputPeak), 0.999f);
    // One tick per 20 ms of everything rendered (160 frames at 8 kHz), and no other.
    EXPECT_EQ(session.Ticks(), session.Processed() / 160);
  }
}

TEST_P(RenderLoopTest, RawKeepsWhatThePluginProduced) {
  const std::vector<float> input = Ramp(2 * 3000);
  DelayingSession session;
  MemorySource source(input, 2);
  MemorySink sink(2);
  RenderSettings settings;
  settings.blockSize = GetParam();
  settings.raw = true;
  Render(session, source, sink, settings);
  ASSERT_EQ(sink.Data().size(), input.size());
  for (size_t i = 0; i < input.size(); ++i) {
    const size_t frame = i / 2;
    const float expected =
        frame < DelayingSession::kSettleFrames ? 9.0f : input[i - 2 * DelayingSession::kDelay];
    ASSERT_EQ(sink.Data()[i], expected) << "frame " << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, RenderLoopTest, ::testing::Values(1, 7, 64, 1000, 8192));

TEST(RenderLoop, APluginThatNeverSettlesIsAFailureNotAHang) {
  DelayingSession session(false);
  const std::vector<float> input(100, 0.5f);
  MemorySource source(input, 1);
  MemorySink sink(1);
  RenderSettings settings;
  settings.sampleRate = 8000.0;
  settings.blockSize = 4096;
  try {
    Render(session, source, sink, settings);
    FAIL() << "rendered";
  } catch (const HostError& e) {
    EXPECT_EQ(e.Status(), kExitFailure);
  }
  EXPECT_TRUE(sink.Data().empty());
}

TEST(DemoSignal, IsDeterministicStereoEightSecondsAndPeaksAtMinusThree) {
  for (int rate : {44100, 48000}) {
    const std::vector<float> demo = MakeDemoSignal(rate);
    EXPECT_EQ(demo, MakeDemoSignal(rate));
    ASSERT_EQ(demo.size(), static_cast<size_t>(2 * 8 * rate));
    double peak = 0.0, sideEnergy = 0.0, energy = 0.0;
    for (size_t i = 0; i < demo.size(); i += 2) {
      peak = std::max({peak, std::fabs(double{demo[i]}), std::fabs(double{demo[i + 1]})});
      sideEnergy += std::pow(double{demo[i]} - demo[i + 1], 2);
      energy += std::pow(double{demo[i]} + demo[i + 1], 2);
    }
    EXPECT_NEAR(20.0 * std::log10(peak), kDemoPeakDb, 0.01);
    EXPECT_GT(sideEnergy, 0.01 * energy) << "the channels should differ";
    // Music all the way through: no second of it is near silence.
    for (int second = 0; second < 8; ++second) {
      double level = 0.0;
      for (int i = second * rate; i < (second + 1) * rate; ++i)
        level = std::max(level, std::fabs(double{demo[2 * static_cast<size_t>(i)]}));
      EXPECT_GT(level, 0.1) << "second " << second;
    }
  }
}

}  // namespace
