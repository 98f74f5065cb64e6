#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "framework/dsp/DenormalGuard.h"
#include "plugin/dsp/SaturationEngine.h"
#include "tests/plugin/dsp/CurveReference.h"
#include "tests/plugin/dsp/EngineHarness.h"
#include "tests/support/AllocationCounter.h"

using namespace corvane;
using engine_harness::Render;

namespace {

constexpr double kRate = 44100.0;
// The oversampler's latency at 44.1 kHz, at the realtime and the offline quality: the
// resamplers' delay at 1 kHz to the nearest sample.
constexpr int kLatencyRealtime = 326;
constexpr int kLatencyOffline = 549;

double Dc(int, long) {
  return 0.5;
}

/** Index of the first sample at or after `from` whose magnitude exceeds `level`. */
long FirstAbove(const std::vector<double>& x, double level, long from = 0) {
  for (long i = from; i < static_cast<long>(x.size()); ++i)
    if (std::fabs(x[static_cast<size_t>(i)]) > level) return i;
  return -1;
}

}  // namespace

TEST(SaturationEngine, PlainPathMatchesReferenceModel) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 20; ++trial) {
    const CurveParams p = curve_reference::RandomParams(rng);
    SaturationEngine engine;
    engine.SetCurve(p);
    engine.ResetProcessing(kRate, 512, false);
    std::vector<double> signal(3000);
    for (double& x : signal) x = std::uniform_real_distribution<>(-10, 10)(rng);
    const auto run = Render(engine, 2, 3000, 333, [&](int c, long i) {
      return c == 0 ? signal[static_cast<size_t>(i)] : -signal[static_cast<size_t>(i)];
    });
    for (long i = 0; i < 3000; ++i) {
      ASSERT_TRUE(
          curve_reference::Close(run.out[0][static_cast<size_t>(i)],
                                 curve_reference::Curve(signal[static_cast<size_t>(i)], p)));
      ASSERT_TRUE(
          curve_reference::Close(run.out[1][static_cast<size_t>(i)],
                                 curve_reference::Curve(-signal[static_cast<size_t>(i)], p)));
    }
  }
}

// The oversampled path must be exactly: upsample, the curve on every oversampled sample,
// downsample. Identical resamplers fed the same stream give the same numbers.
TEST(SaturationEngine, OversampledPathIsUpCurveDown) {
  std::mt19937 rng(5);
  const CurveParams p = curve_reference::RandomParams(rng);
  SaturationEngine engine;
  engine.SetCurve(p);
  engine.InitOversampling(true);
  engine.ResetProcessing(kRate, 256, false);
  ASSERT_EQ(engine.FlushCountdown(), 1024 + engine.OversamplerLatency());

  constexpr int kBlock = 256;
  constexpr long kTotal = 8192;
  std::vector<double> signal(kTotal);
  for (double& x : signal) x = std::uniform_real_distribution<>(-10, 10)(rng);
  const auto run = Render(engine, 1, kTotal, kBlock,
                          [&](int, long i) { return signal[static_cast<size_t>(i)]; });

  // The flush (1024 + latency samples) feeds silence, then twice the latency of signal so that
  // the filters have settled when it ends; the twin gets the same stream.
  const long signalFrom = 1024 - engine.OversamplerLatency();
  Oversampler twin(4, 2, kRate, 1024);
  std::vector<double> expected(kTotal, 0.0);
  for (long pos = 0; pos < kTotal; pos += kBlock) {
    double* staged = twin.UpInput(0);
    for (int i = 0; i < kBlock; ++i)
      staged[i] = pos + i < signalFrom ? 0.0 : signal[static_cast<size_t>(pos + i)];
    double* up = nullptr;
    const int m = twin.Up(0)->Process(staged, kBlock, up);
    for (int i = 0; i < m; ++i) up[i] = curve_reference::Curve(up[i], p);
    double* down = nullptr;
    const int k = m > 0 ? twin.Down(0)->Process(up, m, down) : 0;
    for (int i = 0; i < std::min(k, kBlock); ++i) expected[static_cast<size_t>(pos + i)] = down[i];
  }
  // The flush ends at its own sample, not at the end of the block it ends in.
  const long audible = 1024 + engine.OversamplerLatency();
  for (long i = 0; i < audible; ++i) ASSERT_EQ(run.out[0][static_cast<size_t>(i)], 0.0);
  for (long i = audible; i < kTotal; ++i)
    ASSERT_TRUE(curve_reference::Close(run.out[0][static_cast<size_t>(i)],
                                       expected[static_cast<size_t>(i)]))
        << i << ": " << run.out[0][static_cast<size_t>(i)] << " vs "
        << expected[static_cast<size_t>(i)];
  // And the signal really is there from the first audible sample on.
  EXPECT_GT(std::fabs(run.out[0][audible]) + std::fabs(run.out[0][audible + 1]), 1e-3);
}

// A reset announced for one channel builds resamplers for one: a mono track keeps half the
// oversampler's memory. The left channel is the same to the bit either way, at the same latency,
// and a host that connects more channels than it announced hears silence there, nothing worse.
TEST(SaturationEngine, TheAnnouncedChannelsAreResampledAndSoundAlike) {
  std::mt19937 rng(41);
  const CurveParams p = curve_reference::RandomParams(rng);
  constexpr long kTotal = 6000;
  std::vector<double> signal(kTotal);
  for (double& x : signal) x = std::uniform_real_distribution<>(-4, 4)(rng);
  const auto source = [&](int c, long i) {
    return (c == 0 ? 1.0 : -0.5) * signal[static_cast<size_t>(i)];
  };
  SaturationEngine mono, stereo, overrun;
  for (SaturationEngine* engine : {&mono, &stereo, &overrun}) {
    engine->SetCurve(p);
    engine->InitOversampling(true);
  }
  mono.ResetProcessing(kRate, 256, false, 0, 1);
  stereo.ResetProcessing(kRate, 256, false, 0, 2);
  overrun.ResetProcessing(kRate, 256, false, 0, 1);
  ASSERT_EQ(mono.GetOversampler()->Channels(), 1);
  EXPECT_EQ(mono.GetOversampler()->Up(1), nullptr);
  EXPECT_EQ(mono.GetOversampler()->Down(1), nullptr);
  ASSERT_EQ(stereo.GetOversampler()->Channels(), 2);
  EXPECT_NE(stereo.GetOversampler()->Up(1), nullptr);
  EXPECT_EQ(mono.OversamplerLatency(), kLatencyRealtime);
  EXPECT_EQ(stereo.OversamplerLatency(), kLatencyRealtime);

  const auto one = Render(mono, 1, kTotal, 256, source);
  const auto two = Render(stereo, 2, kTotal, 256, source);
  const auto more = Render(overrun, 2, kTotal, 256, source);
  const size_t bytes = kTotal * sizeof(double);
  EXPECT_EQ(std::memcmp(one.out[0].data(), two.out[0].data(), bytes), 0);
  EXPECT_EQ(std::memcmp(one.out[0].data(), more.out[0].data(), bytes), 0);
  EXPECT_GT(std::fabs(two.out[1][kTotal - 1]) + std::fabs(two.out[1][kTotal - 2]), 1e-3);
  for (long i = 0; i < kTotal; ++i) ASSERT_EQ(more.out[1][static_cast<size_t>(i)], 0.0) << i;

  // The offline oversampler a render moves to is built for the same channels.
  mono.SetRenderingOffline(true);
  Render(mono, 1, 2048, 256, source);
  ASSERT_TRUE(mono.RenderingOffline());
  EXPECT_EQ(mono.GetOversampler()->Channels(), 1);
  EXPECT_EQ(mono.OversamplerLatency(), kLatencyOffline);
}

TEST(SaturationEngine, TurningOversamplingOnFadesSilencesAndFadesIn) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 512, false);
  ASSERT_EQ(engine.OversamplerLatency(), kLatencyRealtime);
  int latency = -1;
  EXPECT_FALSE(engine.TakePendingLatency(latency));

  const auto run = Render(engine, 2, 12000, 512, Dc, [&](long pos) {
    if (pos == 1024) engine.RequestOversampling(true);
  });
  const auto& y = run.out[0];
  for (long i = 0; i < 1024; ++i) ASSERT_DOUBLE_EQ(y[static_cast<size_t>(i)], 0.5);
  // Fade down over 256 samples to -20 dB, on the plain path.
  for (int i = 0; i < 256; ++i)
    ASSERT_NEAR(y[static_cast<size_t>(1024 + i)], 0.5 * (1.0 - 0.9 * i / 256.0), 1e-12) << i;
  EXPECT_TRUE(engine.OversamplingActive());
  ASSERT_TRUE(engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, kLatencyRealtime);

  // The switch comes at the fade's last sample, mid-block: then silence for 1024 + latency
  // samples while the new path is flushed...
  const long fadeStart = 1280 + 1024 + kLatencyRealtime;
  for (long i = 1280; i < fadeStart; ++i) ASSERT_EQ(y[static_cast<size_t>(i)], 0.0) << i;
  // ...and a fade up from -20 dB over 256 samples on the oversampled path. The resamplers took
  // in the signal during the last part of the flush, so the fade brings in audio at once.
  EXPECT_NEAR(y[static_cast<size_t>(fadeStart)], 0.05, 5e-3);
  EXPECT_NEAR(y[static_cast<size_t>(fadeStart + 128)], 0.5 * 0.55, 2e-2);
  for (long i = fadeStart + 256; i < 12000; ++i) ASSERT_NEAR(y[static_cast<size_t>(i)], 0.5, 1e-2);
  EXPECT_FALSE(engine.SwitchPending());
}

// Every change of the switch falls on its own sample, so the output is the same whatever the
// host's block sizes.
TEST(SaturationEngine, TheSwitchSoundsTheSameInAnyBlockSize) {
  std::vector<std::vector<double>> runs;
  for (const int block : {1, 37, 512, 4096}) {
    SaturationEngine engine;
    engine.ResetProcessing(kRate, block, false);
    const auto run = Render(
        engine, 1, 20000, block, [](int, long i) { return 0.4 * std::sin(0.03 * i); },
        [&](long pos) {
          if (pos == 0) engine.RequestOversampling(true);
        });
    runs.push_back(run.out[0]);
  }
  for (size_t r = 1; r < runs.size(); ++r) EXPECT_EQ(runs[r], runs[0]) << r;
}

TEST(SaturationEngine, TurningOversamplingOffFadesWithoutSilence) {
  SaturationEngine engine;
  engine.InitOversampling(true);
  engine.ResetProcessing(kRate, 512, false);
  const auto run = Render(engine, 1, 12000, 512, Dc, [&](long pos) {
    if (pos == 5120) engine.RequestOversampling(false);
  });
  const auto& y = run.out[0];
  EXPECT_NEAR(y[5119], 0.5, 1e-3);
  EXPECT_FALSE(engine.OversamplingActive());
  for (long i = 5120; i < 12000; ++i) ASSERT_GT(std::fabs(y[static_cast<size_t>(i)]), 0.04) << i;
  // Down over 256 on the oversampled path, up over 256 on the plain path, no silence between.
  EXPECT_NEAR(y[5120 + 255], 0.5 * (1.0 - 0.9 * 255.0 / 256.0), 2e-3);
  EXPECT_NEAR(y[5376], 0.05, 1e-12);
  EXPECT_NEAR(y[5376 + 128], 0.5 * 0.55, 1e-12);
  EXPECT_NEAR(y[5632], 0.5, 1e-12);
  int latency = -1;
  ASSERT_TRUE(engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, 0);
}

TEST(SaturationEngine, ToggleBackBeforeFadeEndsKeepsStateAndFadesUp) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 64, false);
  const auto run = Render(engine, 1, 4096, 64, Dc, [&](long pos) {
    if (pos == 128) engine.RequestOversampling(true);
    if (pos == 192) engine.RequestOversampling(false);
  });
  EXPECT_FALSE(engine.OversamplingActive());
  EXPECT_FALSE(engine.SwitchPending());
  const auto& y = run.out[0];
  EXPECT_NEAR(y[128 + 256], 0.05, 1e-12);  // bottom of the fade, where it turns back up
  for (long i = 128 + 512; i < 4096; ++i) ASSERT_DOUBLE_EQ(y[static_cast<size_t>(i)], 0.5);
  int latency = -1;
  ASSERT_TRUE(engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, 0);  // same as before: the plug-in will not report it again
}

TEST(SaturationEngine, RequestDuringFadeUpStartsAnotherSwitch) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 64, false);
  Render(engine, 1, 8192, 64, Dc, [&](long pos) {
    if (pos == 0) engine.RequestOversampling(true);
    if (pos == 64 * 5) engine.RequestOversampling(false);  // fade down still running
  });
  EXPECT_FALSE(engine.OversamplingActive());

  Render(engine, 1, 20000, 64, Dc, [&](long pos) {
    if (pos == 0) engine.RequestOversampling(true);
    // After fade down, flush and while fading up: turn it off again.
    if (pos == 64 * 40) engine.RequestOversampling(false);
  });
  EXPECT_FALSE(engine.OversamplingActive());
  EXPECT_FALSE(engine.SwitchPending());
}

TEST(SaturationEngine, ResetWithOversamplingOnStartsWithSilence) {
  SaturationEngine engine;
  engine.InitOversampling(true);
  for (int block : {256, 2048}) {
    const int latency = engine.ResetProcessing(kRate, block, false);
    EXPECT_EQ(latency, engine.OversamplerLatency());
    // The same silence whatever the host's block size: 1024 samples and the latency.
    const long silence = 1024 + latency;
    const auto run = Render(engine, 2, silence + 8 * block, block, Dc);
    EXPECT_EQ(FirstAbove(run.out[0], 1e-9), silence);
  }
}

TEST(SaturationEngine, ResetAdoptsTheRequestedStateAtOnce) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 512, false);
  Render(engine, 1, 100, 100, Dc, [&](long) { engine.RequestOversampling(true); });
  EXPECT_TRUE(engine.SwitchPending());
  const int latency = engine.ResetProcessing(kRate, 512, false);
  EXPECT_FALSE(engine.SwitchPending());
  EXPECT_TRUE(engine.OversamplingActive());
  EXPECT_EQ(latency, kLatencyRealtime);
  EXPECT_TRUE(engine.Flushing());
}

TEST(SaturationEngine, OfflineRendersRunOversampledAtHigherQuality) {
  SaturationEngine engine;
  EXPECT_EQ(engine.ResetProcessing(kRate, 512, false), 0);
  const int offline = engine.ResetProcessing(kRate, 512, true);
  EXPECT_TRUE(engine.OversamplingActive());
  EXPECT_EQ(engine.GetOversampler()->Quality(), 3);
  EXPECT_EQ(offline, kLatencyOffline);
  // A request made during the render does not switch the render off...
  engine.RequestOversampling(false);
  Render(engine, 1, 4096, 512, Dc);
  EXPECT_TRUE(engine.OversamplingActive());
  // ...and the user's choice returns with the first reset after it.
  EXPECT_EQ(engine.ResetProcessing(kRate, 512, false), 0);
  EXPECT_FALSE(engine.OversamplingActive());
  EXPECT_EQ(engine.GetOversampler()->Quality(), 2);
}

TEST(SaturationEngine, BypassCompletesASwitchAtOnce) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 512, false);
  engine.RequestOversampling(true);
  std::vector<double> in(512, 0.25);
  double* ins[2] = {in.data(), in.data()};
  engine.ProcessWhileBypassed(ins, 512, 2, 2);
  EXPECT_TRUE(engine.OversamplingActive());
  EXPECT_FALSE(engine.SwitchPending());
  int latency = -1;
  ASSERT_TRUE(engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, kLatencyRealtime);
  // Bypassed blocks also run out the flush, so no fade is heard when bypass ends.
  for (int i = 0; i < 4; ++i) engine.ProcessWhileBypassed(ins, 512, 2, 2);
  EXPECT_FALSE(engine.Flushing());
  const auto run = Render(engine, 1, 512, 512, [](int, long) { return 0.25; });
  EXPECT_NEAR(run.out[0][0], 0.25, 1e-3);
}

TEST(SaturationEngine, BlocksLongerThanTheBuffersArePlayedInPieces) {
  SaturationEngine before;
  const auto silent = Render(before, 2, 64, 64, Dc);  // no reset yet: nothing to play with
  EXPECT_EQ(silent.out[0][10], 0.0);

  // Buffers for 1000 frames, and a host that sends 5000: the same samples as 1000-sample
  // blocks, with nothing reset, silenced or re-flushed on the way.
  for (const bool oversampled : {false, true}) {
    SCOPED_TRACE(oversampled ? "oversampled" : "plain");
    std::mt19937 rng(8);
    std::vector<double> signal(24000);
    for (double& x : signal) x = std::uniform_real_distribution<>(-1, 1)(rng);
    const auto source = [&](int c, long i) {
      return (c ? -0.5 : 1.0) * signal[static_cast<size_t>(i)];
    };
    SaturationEngine pieces, reference;
    for (SaturationEngine* e : {&pieces, &reference}) {
      e->InitOversampling(oversampled);
      e->ResetProcessing(kRate, 512, false, 1000);
      ASSERT_EQ(e->BufferCapacity(), 1000);
    }
    const auto expected = Render(reference, 2, 24000, 1000, source);
    const auto actual = Render(pieces, 2, 24000, 5000, source);
    ASSERT_EQ(actual.out, expected.out);
    EXPECT_FALSE(pieces.Flushing());
    EXPECT_GT(std::fabs(actual.out[1][20000]), 0.0);
  }
  // Without a host's announcement the buffers are generous.
  SaturationEngine defaults;
  defaults.ResetProcessing(kRate, 512, false);
  EXPECT_EQ(defaults.BufferCapacity(), kDefaultMaxBlock);
  defaults.ResetProcessing(kRate, 8192, false);
  EXPECT_EQ(defaults.BufferCapacity(), 8192);
}

TEST(SaturationEngine, NonFiniteInputNeverReachesTheOutputOrTheFilters) {
  for (bool oversampled : {false, true}) {
    SaturationEngine poisoned, clean;
    CurveParams p;
    p.gain = 12;
    p.modA = 40;
    p.threshold = -6;
    for (SaturationEngine* e : {&poisoned, &clean}) {
      e->SetCurve(p);
      e->InitOversampling(oversampled);
      e->ResetProcessing(kRate, 128, false);
    }
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    auto signal = [](int c, long i) { return 0.7 * std::sin(0.01 * i + c); };
    auto a = Render(poisoned, 2, 20000, 128, [&](int c, long i) {
      return (i >= 5000 && i < 5300 && i % 3 == 0) ? bad[i % 3 + c] : signal(c, i);
    });
    auto b = Render(clean, 2, 20000, 128, [&](int c, long i) {
      return (i >= 5000 && i < 5300 && i % 3 == 0) ? 0.0 : signal(c, i);
    });
    for (int c = 0; c < 2; ++c)
      for (size_t i = 0; i < a.out[0].size(); ++i) {
        ASSERT_TRUE(std::isfinite(a.out[static_cast<size_t>(c)][i])) << i;
        ASSERT_EQ(a.out[static_cast<size_t>(c)][i], b.out[static_cast<size_t>(c)][i]) << i;
      }
    for (int m = 0; m < kNumMeters; ++m) EXPECT_TRUE(std::isfinite(poisoned.MeterLevel(m)));
  }
}

TEST(SaturationEngine, RestoresTheCallersFloatingPointMode) {
  SaturationEngine engine;
  engine.InitOversampling(true);
  engine.ResetProcessing(kRate, 64, false);
  const unsigned before = iplug::ScopedDenormalGuard::Current();
  ASSERT_EQ(before & iplug::ScopedDenormalGuard::kFlushBits, 0u);
  double buffer[64] = {};
  double* io[2] = {buffer, buffer};
  engine.ProcessAudio(io, io, 64, 2, 2);
  EXPECT_EQ(iplug::ScopedDenormalGuard::Current(), before);
  engine.ProcessAudio(io, io, 64, 2, 0);  // the early exit
  EXPECT_EQ(iplug::ScopedDenormalGuard::Current(), before);
  engine.ProcessWhileBypassed(io, 64, 2, 2);
  EXPECT_EQ(iplug::ScopedDenormalGuard::Current(), before);
}

TEST(SaturationEngine, MetersFollowAttackAndRelease) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 512, false);
  Render(engine, 2, 44, 44, [](int, long) { return 1.0; });
  EXPECT_NEAR(engine.MeterLevel(kMeterOutputLeft), 1.0 - std::exp(-44.0 * 1000.0 / 44100.0), 1e-12);
  const double peak = engine.MeterLevel(kMeterOutputLeft);
  Render(engine, 2, 12128, 512, [](int, long) { return 0.0; });
  EXPECT_NEAR(engine.MeterLevel(kMeterOutputLeft) / peak, std::exp(-1.0), 1e-3);
}

TEST(SaturationEngine, MeterRecordsCarryTagsAndMirrorMono) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 512, false);
  std::vector<double> in(64, 0.5), out(64);
  double* ins[2] = {in.data(), nullptr};
  double* outs[2] = {out.data(), nullptr};
  engine.ProcessAudio(ins, outs, 64, 1, 1);
  engine.ProcessAudio(ins, outs, 0, 1, 1);  // an empty block still queues
  float levels[5] = {};
  for (int m = 0; m < kNumMeters; ++m) {
    EXPECT_EQ(engine.Sender(m).Waiting(), 2u);
    MeterSender::Record record;
    while (engine.Sender(m).PopData(record)) {
      EXPECT_EQ(record.ctrlTag, kMeterTags[m]);
      EXPECT_EQ(record.nChans, 1);
      levels[record.ctrlTag] = record.vals[0];
    }
  }
  EXPECT_GT(levels[1], 0.0f);
  EXPECT_EQ(levels[2], levels[1]);
  EXPECT_EQ(levels[4], levels[3]);

  // More than 64 blocks without a reader: later records are dropped, none is corrupted.
  for (int i = 0; i < 100; ++i) engine.ProcessAudio(ins, outs, 64, 1, 1);
  EXPECT_EQ(engine.Sender(0).Waiting(), 64u);

  // One input into two outputs: the right input meter has no channel of its own and mirrors the
  // left one.
  SaturationEngine wide;
  wide.ResetProcessing(kRate, 512, false);
  std::vector<double> out2(64);
  double* wideOuts[2] = {out.data(), out2.data()};
  wide.ProcessAudio(ins, wideOuts, 64, 1, 2);
  EXPECT_GT(wide.MeterLevel(kMeterInputLeft), 0.0);
  EXPECT_EQ(wide.MeterLevel(kMeterInputRight), wide.MeterLevel(kMeterInputLeft));
}

TEST(SaturationEngine, InputMetersWaitForTheOversampledOutput) {
  SaturationEngine engine;
  engine.InitOversampling(true);
  engine.ResetProcessing(kRate, 64, false);
  const int latency = engine.OversamplerLatency();
  Render(engine, 1, 4096, 64, [](int, long) { return 0.0; });  // through the flush
  ASSERT_FALSE(engine.Flushing());
  // One impulse; the input meter must not move before `latency` samples have passed.
  long reactedAt = -1;
  Render(
      engine, 1, 1024, 1, [](int, long i) { return i == 0 ? 1.0 : 0.0; },
      [&](long pos) {
        if (reactedAt < 0 && engine.MeterLevel(kMeterInputLeft) > 0.0) reactedAt = pos;
      });
  EXPECT_EQ(reactedAt, latency + 1);
  // Mono: the right input meter mirrors the left one, through the same delay.
  EXPECT_GT(engine.MeterLevel(kMeterInputLeft), 0.0);
  EXPECT_EQ(engine.MeterLevel(kMeterInputRight), engine.MeterLevel(kMeterInputLeft));
}

// The delay is kept in a ring shorter than the longest block: whatever the blocks, the input
// meters see the same delayed signal as when it goes through one sample at a time. (On the
// plain path, whose followers step one sample at a time whatever the block, the levels are then
// equal to the bit.)
TEST(SaturationEngine, InputMeterDelayDoesNotDependOnTheBlocks) {
  SaturationEngine blocks, samples;
  for (SaturationEngine* e : {&blocks, &samples}) {
    e->SetCurvePath(ECurvePath::Scalar);
    e->InitOversampling(true);
    e->ResetProcessing(kRate, 4096, false);
  }
  ASSERT_GT(blocks.OversamplerLatency(), 0);
  const auto signal = [](int c, long i) {
    return (c == 0 ? 0.4 : 0.7) * std::sin(0.003 * static_cast<double>(i) * (c + 1)) *
           (i % 5000 < 2500 ? 1.0 : 0.1);
  };
  long pos = 0;
  const auto run = [&](SaturationEngine& e, long from, int n) {
    std::vector<double> l(static_cast<size_t>(n)), r(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      l[static_cast<size_t>(i)] = signal(0, from + i);
      r[static_cast<size_t>(i)] = signal(1, from + i);
    }
    std::vector<double> ol(static_cast<size_t>(n)), orr(static_cast<size_t>(n));
    double* ins[2] = {l.data(), r.data()};
    double* outs[2] = {ol.data(), orr.data()};
    e.ProcessAudio(ins, outs, n, 2, 2);
  };
  for (const int n : {4096, 1, 7, 300, 1023, 1024, 1025, 4096, 2500, 3, 4095, 1000, 4096}) {
    run(blocks, pos, n);
    for (int i = 0; i < n; ++i) run(samples, pos + i, 1);
    pos += n;
    ASSERT_EQ(blocks.MeterLevel(kMeterInputLeft), samples.MeterLevel(kMeterInputLeft)) << pos;
    ASSERT_EQ(blocks.MeterLevel(kMeterInputRight), samples.MeterLevel(kMeterInputRight)) << pos;
  }
  EXPECT_GT(blocks.MeterLevel(kMeterInputRight), 0.01);
}

// The header allows the same arrays in and out; the input meters must still see the input.
TEST(SaturationEngine, InPlaceProcessingMetersTheInputNotTheOutput) {
  CurveParams loud;
  loud.gain = 24.0;
  loud.mix = 100.0;
  loud.threshold = -30.0;
  for (const bool oversampled : {false, true}) {
    SCOPED_TRACE(oversampled ? "oversampled" : "plain");
    SaturationEngine separate, inPlace;
    for (SaturationEngine* e : {&separate, &inPlace}) {
      e->SetCurve(loud);
      e->InitOversampling(oversampled);
      e->ResetProcessing(kRate, 256, false);
    }
    std::vector<double> in(256), out(256), shared(256);
    for (int block = 0; block < 40; ++block) {
      for (int i = 0; i < 256; ++i) in[i] = shared[i] = 0.05 * std::sin(0.01 * (block * 256 + i));
      double* ins[2] = {in.data(), in.data()};
      double* outs[2] = {out.data(), out.data()};
      double* io[2] = {shared.data(), shared.data()};
      separate.ProcessAudio(ins, outs, 256, 1, 1);
      inPlace.ProcessAudio(io, io, 256, 1, 1);
    }
    EXPECT_EQ(inPlace.MeterLevel(kMeterInputLeft), separate.MeterLevel(kMeterInputLeft));
    EXPECT_LT(inPlace.MeterLevel(kMeterInputLeft), 0.06);
    EXPECT_GT(inPlace.MeterLevel(kMeterOutputLeft), 0.2);
  }
}

// A change of rendering mode reaches a running engine like an oversampling switch: fade down,
// the new oversampler, its flush, fade up; the audio thread neither allocates nor frees.
TEST(SaturationEngine, RenderingModeChangesWhileRunningSwitchOversamplers) {
  SaturationEngine engine;
  engine.ResetProcessing(kRate, 512, false);
  std::vector<double> in(512, 0.5), out(512), right(512);
  double* ins[2] = {in.data(), in.data()};
  double* outs[2] = {out.data(), right.data()};
  long allocations = 0;
  auto run = [&](int blocks) {
    for (int b = 0; b < blocks; ++b) {
      testsupport::ScopedAllocationCounter counter;
      engine.ProcessAudio(ins, outs, 512, 2, 2);
      allocations += counter.Count();
    }
  };
  run(2);
  engine.SetRenderingOffline(true);
  run(1);  // the fade down, at the end of which the offline oversampler takes over
  EXPECT_NEAR(out[0], 0.5, 1e-12);
  EXPECT_NEAR(out[255], 0.5 * (1.0 - 0.9 * 255.0 / 256.0), 1e-12);
  EXPECT_TRUE(engine.OversamplingActive());
  EXPECT_EQ(engine.GetOversampler()->Quality(), kOfflineQuality);
  int latency = -1;
  ASSERT_TRUE(engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, kLatencyOffline);
  EXPECT_TRUE(engine.Flushing());
  run(8);
  EXPECT_FALSE(engine.SwitchPending());
  EXPECT_NEAR(out[511], 0.5, 1e-3);

  // Back to realtime: the user's choice (off) returns, through the same kind of switch.
  engine.SetRenderingOffline(false);
  run(3);
  EXPECT_FALSE(engine.OversamplingActive());
  EXPECT_EQ(engine.GetOversampler()->Quality(), kRealtimeQuality);
  ASSERT_TRUE(engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, 0);
  EXPECT_EQ(out[511], 0.5);
  EXPECT_EQ(allocations, 0);

  // While bypassed the new mode is taken at once.
  engine.SetRenderingOffline(true);
  engine.ProcessWhileBypassed(ins, 512, 2, 2);
  EXPECT_EQ(engine.GetOversampler()->Quality(), kOfflineQuality);
  EXPECT_TRUE(engine.OversamplingActive());
  // A reset builds for the mode it is given and drops what was on its way.
  engine.SetRenderingOffline(false);
  EXPECT_EQ(engine.ResetProcessing(kRate, 512, true), kLatencyOffline);
  run(4);
  EXPECT_EQ(engine.GetOversampler()->Quality(), kOfflineQuality);
}

// Whatever instruction set the curve and the meters run on, the engine sounds the same: on each
// path the stream (plain, the switch with its fades and flush, then oversampled) is bit for bit
// the same in any block size, and the paths agree with the scalar one to the curve's tolerance.
TEST(SaturationEngine, EveryCurvePathPlaysTheSameInAnyBlockSize) {
  CurveParams p;
  p.modA = 50;
  p.modB = 50;
  p.threshold = -20;
  p.nonlinearity = 1.1;
  p.knee = 3;
  p.gain = 12;
  std::vector<std::vector<double>> byPath;
  for (int i = 0; i < kNumCurvePaths; ++i) {
    const auto path = static_cast<ECurvePath>(i);
    if (!CurvePathSupported(path)) continue;
    std::vector<std::vector<double>> runs;
    for (const int block : {1, 37, 512, 4096}) {
      SaturationEngine engine;
      engine.SetCurvePath(path);
      ASSERT_EQ(engine.CurvePath(), path);
      engine.SetCurve(p);
      engine.ResetProcessing(kRate, block, false);
      const auto run = Render(
          engine, 2, 16000, block,
          [](int c, long i) { return 0.7 * std::sin(0.021 * i + c) + 0.1 * std::sin(0.37 * i); },
          [&](long pos) {
            if (pos == 0) engine.RequestOversampling(true);
          });
      runs.push_back(run.out[0]);
      runs.push_back(run.out[1]);
    }
    for (size_t r = 2; r < runs.size(); ++r)
      ASSERT_EQ(runs[r], runs[r % 2]) << CurvePathName(path) << " run " << r;
    byPath.push_back(runs[0]);
  }
  for (size_t k = 1; k < byPath.size(); ++k)
    for (size_t i = 0; i < byPath[0].size(); ++i)
      ASSERT_TRUE(curve_reference::Close(byPath[k][i], byPath[0][i]))
          << "path " << k << " sample " << i << ": " << byPath[k][i] << " vs " << byPath[0][i];
}
