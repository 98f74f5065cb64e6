#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "plugin/Corvane.h"

using namespace corvane;

namespace {

/** Spins until `counter` reaches `value`; the threads of these tests meet every round. */
void WaitFor(const std::atomic<int>& counter, int value) {
  while (counter.load(std::memory_order_acquire) < value) std::this_thread::yield();
}

bool SameRecord(const CurveCoefficients& a, const CurveCoefficients& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

// Host automation on one thread and an editor edit (or a restore) on another change different
// parameters at the same moment. Whichever derivation is published last must be that of the
// latest values of both: an older reading left in force is heard for as long as nothing else
// changes, while the host shows and saves the newer values.
TEST(CorvaneThreads, TheRecordInForceIsAlwaysDerivedFromTheLatestValues) {
  Corvane plug;
  constexpr int kRounds = 20000;
  std::atomic<int> started{0};
  std::atomic<int> finished{0};
  std::thread editor([&] {
    for (int round = 0; round < kRounds; ++round) {
      WaitFor(started, round + 1);
      plug.GetParam(kOutputLevel)->SetValue(-0.1 * (round % 600));
      plug.OnParamChange(kOutputLevel, iplug::kUI);
      finished.fetch_add(1, std::memory_order_acq_rel);
    }
  });
  int stale = 0;
  for (int round = 0; round < kRounds; ++round) {
    started.store(round + 1, std::memory_order_release);
    plug.GetParam(kGain)->SetValue(0.1 * (round % 600));
    plug.OnParamChange(kGain, iplug::kHost);
    WaitFor(finished, round + 1);
    CurveParams now;
    now.gain = plug.GetParam(kGain)->Value();
    now.output = plug.GetParam(kOutputLevel)->Value();
    if (!SameRecord(plug.Engine().LatestCurve(), CurveCoefficients::Derive(now))) ++stale;
  }
  editor.join();
  EXPECT_EQ(stale, 0) << "of " << kRounds << " rounds";
}

// The host flips between realtime and offline rendering on its main thread while the audio
// thread renders: the audio thread moves between the two oversamplers without a lock, and the
// engine ends in the last mode asked for.
TEST(CorvaneThreads, RenderingModeChangesRaceTheAudioThreadSafely) {
  SaturationEngine engine;
  engine.ResetProcessing(48000.0, 256, false);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    std::vector<double> in(256, 0.25), left(256), right(256);
    double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {left.data(), right.data()};
    while (!stop.load(std::memory_order_acquire)) {
      engine.ProcessAudio(ins, outs, 256, 2, 2);
      if (blocks.fetch_add(1) % 7 == 3) engine.ProcessWhileBypassed(ins, 256, 2, 2);
    }
  });
  for (int i = 0; i < 60; ++i) {
    engine.SetRenderingOffline(i % 2 == 0);
    const long seen = blocks.load();
    while (blocks.load() < seen + 3) std::this_thread::yield();
  }
  engine.SetRenderingOffline(true);
  // Long enough for a fade, a flush and the fade back up.
  const long seen = blocks.load();
  while (blocks.load() < seen + 40) std::this_thread::yield();
  stop = true;
  audio.join();
  EXPECT_TRUE(engine.OversamplingActive());
  EXPECT_EQ(engine.GetOversampler()->Quality(), kOfflineQuality);
}
