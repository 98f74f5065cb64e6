#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "plugin/Corvane.h"
#include "plugin/editor/ITransferCurveControl.h"
#include "tests/plugin/EditorTestSupport.h"

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

// Host automation may arrive on another thread while the editor opens and closes on the main
// thread: the curve display is never touched after it has been let go, every close leaves no
// editor behind, and once the host stops, the editor shows the host's last value and the curve
// derived from it.
TEST(CorvaneThreads, ParameterChangesOnAnotherThreadRaceTheEditorOpeningAndClosing) {
  corvane_test::ScopedConfigHome config;
  Corvane plug;
  corvane_test::MemoryView memory;
  std::atomic<bool> stop{false};
  std::atomic<int> changes{0};
  double last = 0.0;
  std::thread host([&] {
    double v = 0.0;
    while (!stop.load(std::memory_order_acquire)) {
      v = v >= 50.0 ? 0.0 : v + 1.0;
      plug.GetParam(kThreshold)->SetValue(-v);
      plug.OnParamChange(kThreshold, iplug::kHost);
      last = -v;
      changes.fetch_add(1, std::memory_order_release);
    }
  });
  int leftBehind = 0, notOpened = 0;
  for (int round = 0; round < 60; ++round) {
    if (!corvane_test::OpenInMemory(plug, memory)) ++notOpened;
    memory.Tick();
    plug.CloseWindow();
    if (plug.GetUI() || memory.view.editorContext) ++leftBehind;
  }
  // The host's changes really overlapped the opening and closing.
  while (changes.load(std::memory_order_acquire) < 200) std::this_thread::yield();
  stop.store(true, std::memory_order_release);
  host.join();
  EXPECT_EQ(notOpened, 0);
  EXPECT_EQ(leftBehind, 0);

  EXPECT_EQ(plug.GetParam(kThreshold)->Value(), last);
  CurveParams now;
  now.threshold = last;
  const CurveCoefficients expected = CurveCoefficients::Derive(now);
  EXPECT_TRUE(SameRecord(plug.Engine().LatestCurve(), expected));
  ASSERT_TRUE(corvane_test::OpenInMemory(plug, memory));
  auto* curve = corvane_test::FindControl<iplug::igraphics::ITransferCurveControl>(plug);
  ASSERT_NE(curve, nullptr);
  std::vector<double> wanted(kCurvePoints);
  ComputeCurvePoints(expected, wanted.data());
  {
    std::lock_guard<std::mutex> lock(curve->PointsMutex());
    EXPECT_EQ(curve->Points(), wanted);
  }
  const auto* knob = plug.GetUI()->GetControl(1);  // Threshold, the first knob of the layout
  ASSERT_EQ(knob->GetParamIdx(), kThreshold);
  EXPECT_DOUBLE_EQ(knob->GetValue(), plug.GetParam(kThreshold)->NormalizedValue());
  plug.CloseWindow();
}
