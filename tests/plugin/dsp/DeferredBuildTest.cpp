// Oversamplers built off the audio thread: a reset with a requester builds only what the state
// it starts in plays through; a switch asks for the rest and waits for it without allocating.

#include <gtest/gtest.h>

#include <vector>

#include "plugin/dsp/SaturationEngine.h"
#include "tests/support/AllocationCounter.h"

using namespace corvane;

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kLatencyRealtime = 326;
constexpr int kLatencyOffline = 549;

// Counts the audio thread's requests; `accept` is what the host answers.
struct Requests {
  int count = 0;
  bool accept = true;
  static bool Request(void* self) noexcept {
    auto* requests = static_cast<Requests*>(self);
    ++requests->count;
    return requests->accept;
  }
};

struct Session {
  SaturationEngine engine;
  Requests requests;
  std::vector<double> in = std::vector<double>(kBlock, 0.5);
  std::vector<double> left = std::vector<double>(kBlock);
  std::vector<double> right = std::vector<double>(kBlock);
  long allocations = 0;

  explicit Session(bool deferred) {
    if (deferred) engine.SetBuildRequester(&Requests::Request, &requests);
    engine.UpdateCurve([] {
      CurveParams p;
      p.threshold = -20.0;
      p.gain = 12.0;
      return p;
    });
  }
  void Run(int blocks) {
    double* ins[2] = {in.data(), in.data()};
    double* outs[2] = {left.data(), right.data()};
    for (int b = 0; b < blocks; ++b) {
      testsupport::ScopedAllocationCounter counter;
      engine.ProcessAudio(ins, outs, kBlock, 2, 2);
      allocations += counter.Count();
    }
  }
  void RunUntilSettled() {
    for (int b = 0; b < 64 && (engine.SwitchPending() || engine.Flushing()); ++b) Run(1);
  }
};

}  // namespace

TEST(DeferredBuild, ASwitchOnWaitsForItsOversamplerAndThenEndsAsAnEagerOne) {
  Session deferred(true);
  Session eager(false);
  for (Session* s : {&deferred, &eager}) s->engine.ResetProcessing(kRate, kBlock, false);
  // Oversampling off: nothing to play through, nothing built.
  EXPECT_EQ(deferred.engine.GetOversampler(), nullptr);
  ASSERT_NE(eager.engine.GetOversampler(), nullptr);
  // The latencies are known all the same: a host sizes its delay line from them.
  EXPECT_EQ(deferred.engine.LatencyCeiling(), kLatencyOffline);
  EXPECT_EQ(eager.engine.LatencyCeiling(), kLatencyOffline);

  deferred.Run(2);
  deferred.engine.RequestOversampling(true);
  EXPECT_EQ(deferred.engine.TargetLatency(), kLatencyRealtime);
  deferred.Run(4);
  // Asked for once, however many blocks wait; meanwhile the plain path plays on.
  EXPECT_EQ(deferred.requests.count, 1);
  EXPECT_FALSE(deferred.engine.OversamplingActive());
  EXPECT_FALSE(deferred.engine.SwitchPending());
  // Saturated as the plain path saturates, neither silenced nor faded.
  Session plain(false);
  plain.engine.ResetProcessing(kRate, kBlock, false);
  plain.Run(6);
  EXPECT_EQ(deferred.left, plain.left);
  EXPECT_NE(deferred.left[kBlock - 1], 0.5);
  int latency = -1;
  EXPECT_FALSE(deferred.engine.TakePendingLatency(latency));

  deferred.engine.BuildRequested();
  deferred.Run(1);
  EXPECT_TRUE(deferred.engine.SwitchPending());
  deferred.RunUntilSettled();
  EXPECT_TRUE(deferred.engine.OversamplingActive());
  ASSERT_TRUE(deferred.engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, kLatencyRealtime);
  EXPECT_EQ(deferred.allocations, 0);

  // The eager engine switched at once; once both have settled they play the same.
  eager.engine.RequestOversampling(true);
  eager.Run(1);
  eager.RunUntilSettled();
  eager.Run(4);
  deferred.Run(4);
  for (int i = 0; i < kBlock; i += 37)
    EXPECT_NEAR(deferred.left[static_cast<size_t>(i)], eager.left[static_cast<size_t>(i)], 1e-9);
  EXPECT_EQ(deferred.engine.GetOversampler()->Quality(), eager.engine.GetOversampler()->Quality());
}

TEST(DeferredBuild, OfflineRenderingAsksForTheOfflineOversamplerAlone) {
  Session s(true);
  s.engine.RequestOversampling(true);
  s.engine.InitOversampling(true);
  s.engine.ResetProcessing(kRate, kBlock, false);
  ASSERT_NE(s.engine.GetOversampler(), nullptr);  // the state it starts in plays through it
  s.Run(2);
  EXPECT_EQ(s.requests.count, 0);

  s.engine.SetRenderingOffline(true);
  s.Run(2);
  EXPECT_EQ(s.requests.count, 1);
  EXPECT_EQ(s.engine.GetOversampler()->Quality(), kRealtimeQuality);
  s.engine.BuildRequested();
  s.Run(1);
  s.RunUntilSettled();
  EXPECT_EQ(s.engine.GetOversampler()->Quality(), kOfflineQuality);
  int latency = -1;
  ASSERT_TRUE(s.engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, kLatencyOffline);

  // Back to realtime: already built, no request, no wait.
  s.engine.SetRenderingOffline(false);
  s.Run(1);
  s.RunUntilSettled();
  EXPECT_EQ(s.requests.count, 1);
  EXPECT_EQ(s.engine.GetOversampler()->Quality(), kRealtimeQuality);
  EXPECT_EQ(s.allocations, 0);
}

TEST(DeferredBuild, ARefusedRequestIsMadeAgainAndAResetDropsABuildOnItsWay) {
  Session s(true);
  s.engine.ResetProcessing(kRate, kBlock, false);
  s.requests.accept = false;
  s.engine.RequestOversampling(true);
  s.Run(3);
  EXPECT_EQ(s.requests.count, 3);  // the host could not take it: every block asks again
  s.requests.accept = true;
  s.Run(2);
  EXPECT_EQ(s.requests.count, 4);

  // Built, but a reset comes before any block takes it: the reset's own state wins and the
  // build is freed (the sanitizers' runs see a leak otherwise).
  s.engine.BuildRequested();
  s.engine.ResetProcessing(48000.0, kBlock, false);
  ASSERT_NE(s.engine.GetOversampler(), nullptr);
  EXPECT_EQ(s.engine.GetOversampler()->SampleRate(), 48000.0);
  EXPECT_TRUE(s.engine.OversamplingActive());
  // A build asked for before the reset is not carried out for the new one.
  s.engine.BuildRequested();
  s.engine.SetRenderingOffline(true);
  s.Run(1);
  EXPECT_EQ(s.engine.GetOversampler()->Quality(), kRealtimeQuality);
  EXPECT_EQ(s.allocations, 0);
}

TEST(DeferredBuild, WhileBypassedTheSwitchCompletesOnceTheBuildHasArrived) {
  Session s(true);
  s.engine.ResetProcessing(kRate, kBlock, false);
  double* ins[2] = {s.in.data(), s.in.data()};
  s.engine.RequestOversampling(true);
  s.engine.ProcessWhileBypassed(ins, kBlock, 2, 2);
  EXPECT_FALSE(s.engine.OversamplingActive());
  EXPECT_EQ(s.requests.count, 1);
  s.engine.BuildRequested();
  s.engine.ProcessWhileBypassed(ins, kBlock, 2, 2);
  EXPECT_TRUE(s.engine.OversamplingActive());
  int latency = -1;
  ASSERT_TRUE(s.engine.TakePendingLatency(latency));
  EXPECT_EQ(latency, kLatencyRealtime);
}
