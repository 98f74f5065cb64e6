#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "aax/interfaces/AAX_Context.h"
#include "aax/library/AAX_CParameter.h"
#include "aax/library/AAX_IDisplayDelegate.h"
#include "framework/aax/IPlugAAX_RunLoop.h"
#include "host/aaxhost/HostRunLoop.h"
#include "tests/framework/aax/AaxBindingHarness.h"
#include "tests/framework/aax/TestPlugs.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/AllocationFailure.h"

using aaxtest::ConstantPlug;
using aaxtest::Instance;

namespace {

void SetBypass(iplug::IPlugAAX& plug, bool on) {
  ASSERT_EQ(plug.UpdateParameterNormalizedValue("MasterBypassID", on ? 1.0 : 0.0, 1), AAX_SUCCESS);
}

/** Runs frames samples of silence in blocks of 64 and returns channel 0 of the output. */
std::vector<float> RunSilence(Instance& instance, int frames) {
  auto in = aaxtest::Signal(instance.Channels(), frames);
  auto out = aaxtest::Signal(instance.Channels(), frames, -1.0f);
  instance.ProcessAll(in, out, 64);
  return out[0];
}

}  // namespace

TEST(AaxRender, TheBypassCrossfadeLastsTenMillisecondsAndAtLeastOneSample) {
  const std::pair<float, int> cases[] = {{44100.0f, 441}, {48000.0f, 480}, {150.0f, 1}};
  for (const auto& [rate, length] : cases) {
    SCOPED_TRACE(rate);
    Instance instance(new ConstantPlug, rate);
    EXPECT_EQ(RunSilence(instance, 64), std::vector<float>(64, 1.0f));  // processed

    SetBypass(instance.Plug(), true);
    const std::vector<float> fade = RunSilence(instance, length + 128);
    EXPECT_EQ(instance.Plug().CrossfadeLength(), length);
    for (int j = 0; j < length + 128; ++j) {
      const float expected =
          static_cast<float>(1.0 - std::min(1.0, j / static_cast<double>(length)));
      ASSERT_EQ(fade[static_cast<size_t>(j)], expected) << j;
    }
    EXPECT_FALSE(instance.Plug().CrossfadeActive());
    EXPECT_GT(instance.PlugAs<ConstantPlug>().bypassedBlocks, 0);
  }
}

TEST(AaxRender, AFlipDuringTheCrossfadeRestartsItTheOtherWay) {
  Instance instance(new ConstantPlug, 48000.0f);
  RunSilence(instance, 64);
  SetBypass(instance.Plug(), true);
  RunSilence(instance, 100);
  ASSERT_TRUE(instance.Plug().CrossfadeActive());

  SetBypass(instance.Plug(), false);
  const std::vector<float> back = RunSilence(instance, 640);
  for (int j = 0; j < 640; ++j)
    ASSERT_NEAR(back[static_cast<size_t>(j)], std::min(1.0, j / 480.0), 1e-6) << j;
  EXPECT_FALSE(instance.Plug().CrossfadeActive());
}

TEST(AaxRender, ALongerHostBlockIsPlayedInPiecesWithoutAReset) {
  Instance instance(new ConstantPlug, 48000.0f);
  auto& plug = instance.PlugAs<ConstantPlug>();
  EXPECT_EQ(plug.resets, 1);  // effect initialization
  EXPECT_EQ(plug.GetBlockSize(), 512);
  EXPECT_EQ(plug.GetBlockCapacity(), iplug::kMinBlockCapacity);
  EXPECT_EQ(plug.CrossfadeBufferFrames(), plug.GetBlockCapacity());

  constexpr int kLong = 3 * iplug::kMinBlockCapacity + 123;
  auto in = aaxtest::Signal(2, kLong);
  auto out = aaxtest::Signal(2, kLong);
  instance.Process(in, out, 512);
  {
    testsupport::ScopedAllocationCounter counter;
    instance.Process(in, out, kLong);
    EXPECT_EQ(counter.Count(), 0);
  }
  EXPECT_EQ(plug.resets, 1);
  EXPECT_EQ(out[1], std::vector<float>(kLong, 1.0f));

  // A crossfade across the pieces of one long block runs on as if the blocks had been short.
  SetBypass(plug, true);
  instance.Process(in, out, kLong);
  EXPECT_FLOAT_EQ(out[1][479], 1.0f / 480.0f);
  EXPECT_EQ(out[1][480], 0.0f);
  EXPECT_EQ(out[1][kLong - 1], 0.0f);
}

// A host that grows its block mid-stream must hear no gap: the oversampled path keeps running
// through the long block exactly as through short ones, with nothing re-flushed.
TEST(AaxRender, GrowingBlocksKeepTheOversampledStreamWhole) {
  constexpr int kTotal = 48000;
  auto in = aaxtest::Signal(2, kTotal);
  for (int i = 0; i < kTotal; ++i) {
    in[0][static_cast<size_t>(i)] = 0.5f * static_cast<float>(std::sin(0.0576 * i));
    in[1][static_cast<size_t>(i)] = -in[0][static_cast<size_t>(i)];
  }
  std::vector<std::vector<float>> results;
  for (const bool grow : {false, true}) {
    Instance instance(new corvane::Corvane, 48000.0f);
    ASSERT_EQ(instance.Plug().UpdateParameterNormalizedValue("12", 1.0, 1), AAX_SUCCESS);
    auto out = aaxtest::Signal(2, kTotal);
    int done = 0;
    for (int block = 0; done < kTotal; ++block) {
      // Growing: 512, then 8192 and 5000 (longer than the buffers), then 512 again.
      const int size = grow && block == 20 ? 8192 : grow && block == 21 ? 5000 : 512;
      const int n = std::min(size, kTotal - done);
      instance.Process(in, out, n, done);
      if (block % 2 == 0) instance.Plug().OnIdleTimer();
      done += n;
    }
    EXPECT_EQ(instance.Host().GetController().LatencyReports().back(), 326);
    results.push_back(out[0]);
  }
  // Settled well before the growth at 10240; from then on nothing may differ.
  for (int i = 8192; i < kTotal; ++i)
    ASSERT_EQ(results[1][static_cast<size_t>(i)], results[0][static_cast<size_t>(i)]) << i;
  float quietest = 1.0f;
  for (int i = 10240; i < 10240 + 8192 + 5000; i += 64) {
    float peak = 0.0f;
    for (int j = i; j < i + 64; ++j)
      peak = std::max(peak, std::fabs(results[1][static_cast<size_t>(j)]));
    quietest = std::min(quietest, peak);
  }
  EXPECT_GT(quietest, 0.1f);  // no silent stretch anywhere in the long blocks
}

// Bypass with oversampling on: each block feeds the resamplers once, so both halves of the
// fade are the same stream and the output is the delayed input throughout, within the
// filters' own error on a steady tone.
TEST(AaxRender, BypassWithOversamplingPassesTheInputThroughEveryFade) {
  constexpr double kRate = 48000.0;
  constexpr int kTotal = 72000;
  std::vector<std::vector<float>> in = aaxtest::Signal(2, kTotal);
  for (int i = 0; i < kTotal; ++i)  // -6 dBFS at 440 Hz
    in[0][static_cast<size_t>(i)] = in[1][static_cast<size_t>(i)] =
        0.5f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 440.0 * i / kRate));
  for (const int block : {16, 64, 256, 512}) {
    SCOPED_TRACE(block);
    Instance instance(new corvane::Corvane, static_cast<float>(kRate));
    iplug::IPlugAAX& plug = instance.Plug();
    ASSERT_EQ(plug.UpdateParameterNormalizedValue("12", 1.0, 1), AAX_SUCCESS);
    auto out = aaxtest::Signal(2, kTotal);
    for (int done = 0; done < kTotal; done += block) {
      if (done == 24000 || done == 36000 + 7 * block) SetBypass(plug, true);
      if (done == 30000 || done == 48000) SetBypass(plug, false);
      instance.Process(in, out, std::min(block, kTotal - done), done);
      if ((done / block) % 8 == 0) plug.OnIdleTimer();
    }
    const int latency = plug.GetLatency();
    ASSERT_EQ(latency, 326);
    auto deviation = [&](int from, int to) {
      double worst = 0.0;
      for (int i = from; i < to; ++i)
        for (int c = 0; c < 2; ++c)
          worst = std::max(worst, std::fabs(static_cast<double>(out[c][static_cast<size_t>(i)]) -
                                            in[c][static_cast<size_t>(i - latency)]));
      return worst;
    };
    // The filters' own error, on the settled oversampled path before any bypass.
    const double own = deviation(12000, 24000);
    EXPECT_LT(own, 0.01);
    EXPECT_LT(deviation(12000, kTotal), 1.5 * own + 1e-4);
  }
}

TEST(AaxRender, BypassedOutputIsTheInputDelayedByTheLatency) {
  constexpr int kLatency = 100;
  Instance instance(new ConstantPlug(kLatency), 48000.0f);
  EXPECT_EQ(instance.Host().GetController().LatencyReports(), std::vector<int32_t>{kLatency});
  EXPECT_EQ(instance.Plug().GetLatency(), kLatency);

  constexpr int kFrames = 2048;
  auto in = aaxtest::Signal(2, kFrames);
  for (int i = 0; i < kFrames; ++i) {
    in[0][static_cast<size_t>(i)] = static_cast<float>(i % 997) / 997.0f + 0.001f;
    in[1][static_cast<size_t>(i)] = -in[0][static_cast<size_t>(i)];
  }
  auto out = aaxtest::Signal(2, kFrames);
  SetBypass(instance.Plug(), true);
  instance.ProcessAll(in, out, 128);
  for (int c = 0; c < 2; ++c)
    for (int i = 480; i < kFrames; ++i)
      ASSERT_EQ(out[static_cast<size_t>(c)][static_cast<size_t>(i)],
                in[static_cast<size_t>(c)][static_cast<size_t>(i - kLatency)])
          << c << " " << i;
}

TEST(AaxRender, MeterTapsHoldTheLargestPeakUntilTheHostResetsThem) {
  Instance instance(new ConstantPlug, 48000.0f);
  auto in = aaxtest::Signal(2, 64);
  auto out = aaxtest::Signal(2, 64);
  in[0][10] = -0.5f;
  in[1][20] = 0.75f;
  instance.Process(in, out, 64);
  EXPECT_EQ(instance.Context().Meter(0), 0.75f);
  EXPECT_EQ(instance.Context().Meter(1), 1.0f);

  in = aaxtest::Signal(2, 64, 0.25f);
  instance.Process(in, out, 64);
  EXPECT_EQ(instance.Context().Meter(0), 0.75f);
  EXPECT_DOUBLE_EQ(instance.Plug().InputPeak(), 0.25);

  instance.Context().ResetMeters();
  instance.Process(in, out, 64);
  EXPECT_EQ(instance.Context().Meter(0), 0.25f);
}

TEST(AaxRender, EveryGenerateCoefficientsPostsTheNextStateNumber) {
  Instance instance(new ConstantPlug, 48000.0f);
  aaxhost::Controller& controller = instance.Host().GetController();
  const size_t posted = controller.PostedPacketCount();
  ASSERT_EQ(instance.Plug().GenerateCoefficients(), AAX_SUCCESS);
  ASSERT_EQ(instance.Plug().GenerateCoefficients(), AAX_SUCCESS);
  EXPECT_EQ(controller.PostedPacketCount(), posted + 2);
  EXPECT_EQ(instance.Context().DeliverPackets(controller), 1);
  int64_t port = -1;
  std::memcpy(&port, instance.Context().FieldData(AAX_eFieldIndex_StateNumber), sizeof port);
  EXPECT_EQ(port, 1);
  EXPECT_EQ(instance.Plug().NextStateNumber(), 2);
}

namespace {

/** An effect-parameters object with one synchronized parameter that records what it renders. */
class SynchronizedParameters final : public iplug::AAX_CIPlugParameters {
 public:
  void RenderAudioBlock(const void*, const iplug::AAX_CIPlugParamValuePair* const values[],
                        int32_t count) noexcept override {
    received.clear();
    for (int32_t i = 0; i < count; ++i) received.emplace_back(values[i]->id, values[i]->value);
  }
  std::vector<std::pair<std::string, double>> received;

 protected:
  AAX_Result EffectInit() noexcept override {
    mParameterManager.AddParameter(new AAX_CParameter<double>(
        "1", AAX_CString("Level"), 0.0, AAX_CLinearTaperDelegate<double>(0.0, 1.0),
        AAX_CNumberDisplayDelegate<double>()));
    AddSynchronizedParameter("1");
    return AAX_SUCCESS;
  }
};

}  // namespace

TEST(AaxRender, SynchronizedValuesArriveWithTheirStateNumber) {
  aaxhost::InstanceHost host;
  host.GetController().SetDataPorts({{AAX_eFieldIndex_StateNumber, 8}});
  auto* parameters = new SynchronizedParameters;
  parameters->received.reserve(8);
  ASSERT_EQ(parameters->Initialize(&host), AAX_SUCCESS);
  aaxhost::AlgorithmContext context(aaxtest::ProductComponent(AAX_FourCC("TMN2")),
                                    &host.GetTransport());
  ASSERT_EQ(context.ResetPrivateData(*parameters), AAX_SUCCESS);
  const auto render = [&] { context.Process(&iplug::AAX_CIPlugParameters::RenderCallback); };

  parameters->GenerateCoefficients();  // state 0, nothing changed
  context.DeliverPackets(host.GetController());
  render();
  EXPECT_TRUE(parameters->received.empty());

  parameters->UpdateParameterNormalizedValue("1", 0.25, 1);
  parameters->GenerateCoefficients();  // state 1 carries the value
  render();                            // the port still shows 0: not due yet
  EXPECT_TRUE(parameters->received.empty());
  context.DeliverPackets(host.GetController());
  render();
  EXPECT_EQ(parameters->received, (std::vector<std::pair<std::string, double>>{{"1", 0.25}}));
  render();
  EXPECT_TRUE(parameters->received.empty());
  EXPECT_EQ(parameters->TimerWakeup(), AAX_SUCCESS);

  // Lists still queued when the object goes are freed with it.
  parameters->UpdateParameterNormalizedValue("1", 0.5, 1);
  parameters->GenerateCoefficients();
  parameters->Uninitialize();
  parameters->Release();
}

TEST(AaxRender, NotificationsSetTheOfflineFlagAndTheTrackName) {
  Instance instance(new ConstantPlug, 48000.0f);
  iplug::IPlugAAX& plug = instance.Plug();
  std::string name = "unchanged";
  plug.GetTrackName(name);
  EXPECT_EQ(name, "unchanged");

  EXPECT_EQ(plug.NotificationReceived(AAX_FourCC("AXof"), nullptr, 0), AAX_SUCCESS);
  EXPECT_TRUE(plug.GetRenderingOffline());
  EXPECT_EQ(plug.NotificationReceived(AAX_FourCC("AXox"), nullptr, 0), AAX_SUCCESS);
  EXPECT_FALSE(plug.GetRenderingOffline());

  aaxhost::HostString track("Drums");
  const AAX_IString* text = &track;
  EXPECT_EQ(plug.NotificationReceived(AAX_FourCC("AXtn"), text, 6), AAX_SUCCESS);
  plug.GetTrackName(name);
  EXPECT_EQ(name, "Drums");
}

// A host starts a bounce by telling a running instance, without a reset: the bounce must run
// oversampled at the offline quality, and the realtime choice come back after it.
TEST(AaxRender, OfflineNotificationsSwitchARunningInstance) {
  Instance instance(new corvane::Corvane, 44100.0f);
  auto& plug = instance.PlugAs<corvane::Corvane>();
  aaxhost::Controller& controller = instance.Host().GetController();
  auto in = aaxtest::Signal(2, 512, 0.25f);
  auto out = aaxtest::Signal(2, 512);
  auto run = [&](int blocks) {
    for (int b = 0; b < blocks; ++b) {
      instance.Process(in, out, 512);
      plug.OnIdleTimer();
    }
  };
  run(4);
  ASSERT_EQ(controller.Latency(), 0);

  ASSERT_EQ(plug.NotificationReceived(AAX_FourCC("AXof"), nullptr, 0), AAX_SUCCESS);
  run(8);
  EXPECT_TRUE(plug.Engine().OversamplingActive());
  EXPECT_EQ(plug.Engine().GetOversampler()->Quality(), corvane::kOfflineQuality);
  EXPECT_EQ(controller.Latency(), 549);
  EXPECT_EQ(plug.GetLatency(), 549);
  EXPECT_EQ(plug.GetParam(corvane::kOversampling)->Value(), 0.0);  // the user's choice is kept
  run(8);
  EXPECT_NEAR(out[0][511], 0.25f, 1e-3f);  // audio again after the flush

  ASSERT_EQ(plug.NotificationReceived(AAX_FourCC("AXox"), nullptr, 0), AAX_SUCCESS);
  run(4);
  EXPECT_FALSE(plug.Engine().OversamplingActive());
  EXPECT_EQ(plug.Engine().GetOversampler()->Quality(), corvane::kRealtimeQuality);
  EXPECT_EQ(controller.Latency(), 0);
  EXPECT_EQ(out[0][511], 0.25f);
}

// The latency report allocates the bypass delay; when that fails nothing may leave the idle
// tick, and the latency the host knows, the plug-in's latency and the delay line must still
// agree. The report comes again with the next tick.
TEST(AaxRender, AFailedLatencyReportChangesNothingAndIsRetried) {
  Instance instance(new corvane::Corvane, 48000.0f);
  auto& plug = instance.PlugAs<corvane::Corvane>();
  aaxhost::Controller& controller = instance.Host().GetController();
  auto in = aaxtest::Signal(2, 512, 0.25f);
  auto out = aaxtest::Signal(2, 512);
  ASSERT_EQ(plug.UpdateParameterNormalizedValue("12", 1.0, 1), AAX_SUCCESS);
  instance.Process(in, out, 512);  // the fade down ends: the new latency waits for the tick
  {
    testsupport::ScopedAllocationFailure failure;
    EXPECT_NO_THROW(plug.OnIdleTimer());
    EXPECT_TRUE(failure.Failed());
  }
  EXPECT_EQ(controller.Latency(), 0);
  EXPECT_EQ(plug.GetLatency(), 0);
  EXPECT_EQ(plug.ReportedLatency(), 0);
  plug.OnIdleTimer();
  EXPECT_EQ(controller.Latency(), 326);
  EXPECT_EQ(plug.GetLatency(), 326);

  // Bypassed, the output is the input delayed by exactly what the host was told.
  SetBypass(plug, true);
  for (int b = 0; b < 8; ++b) instance.Process(in, out, 512);
  EXPECT_EQ(out[0][511], 0.25f);
}

// Whatever a timer or watch callback throws stays inside the module: the host's run loop is not
// the place for it.
TEST(AaxRender, ThrowingCallbacksNeverReachTheHostsRunLoop) {
  aaxhost::HostRunLoop host;
  iplug::AAXHostRunLoop loop;
  loop.Attach(&host);
  int ticks = 0;
  loop.AddTimer(20, [&](iplug::IRunLoop::Id) {
    ++ticks;
    throw std::runtime_error("a failing tick");
  });
  EXPECT_NO_THROW(host.Advance(60));
  EXPECT_EQ(ticks, 3);
  loop.Detach();
}

TEST(AaxRender, TheCallbackNeverAllocates) {
  Instance instance(new corvane::Corvane, 48000.0f);
  iplug::IPlugAAX& plug = instance.Plug();
  auto in = aaxtest::Signal(2, 5000);
  for (int i = 0; i < 5000; ++i) {
    in[0][static_cast<size_t>(i)] = 0.8f * static_cast<float>(std::sin(0.05 * i));
    in[1][static_cast<size_t>(i)] = 0.5f * static_cast<float>(std::cos(0.031 * i));
  }
  auto out = aaxtest::Signal(2, 5000);

  // Oversampling on, as the host and the idle tick deliver it.
  ASSERT_EQ(plug.UpdateParameterNormalizedValue("12", 1.0, 1), AAX_SUCCESS);
  plug.OnIdleTimer();

  long allocations = 0;
  const int sizes[] = {512, 256, 100, 1, 512, 333, 5000};
  for (int block = 0; block < 300; ++block) {
    // Main-thread duties between blocks, outside the count.
    if (block % 40 == 10) SetBypass(plug, true);
    if (block % 40 == 11) SetBypass(plug, false);  // flips back during the crossfade
    if (block % 40 == 30) SetBypass(plug, !plug.MasterBypass()->GetValue());
    if (block % 8 == 0) plug.OnIdleTimer();
    plug.GenerateCoefficients();
    instance.Prepare(in, out, sizes[block % 7]);

    testsupport::ScopedAllocationCounter counter;
    instance.Render();
    allocations += counter.Count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(plug.GetLatency(), 0);  // the oversampler did come in
}
