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
#include "tests/framework/aax/AaxBindingHarness.h"
#include "tests/framework/aax/TestPlugs.h"
#include "tests/support/AllocationCounter.h"

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

TEST(AaxRender, ALongerHostBlockResetsOnceAndGrowsTheCrossfadeBuffers) {
  Instance instance(new ConstantPlug, 48000.0f);
  auto& plug = instance.PlugAs<ConstantPlug>();
  EXPECT_EQ(plug.resets, 1);  // effect initialization
  EXPECT_EQ(plug.CrossfadeBufferFrames(), 512);

  auto in = aaxtest::Signal(2, 1024);
  auto out = aaxtest::Signal(2, 1024);
  instance.Process(in, out, 512);
  EXPECT_EQ(plug.resets, 1);
  instance.Process(in, out, 1024);
  EXPECT_EQ(plug.resets, 2);
  EXPECT_EQ(plug.GetBlockSize(), 1024);
  EXPECT_EQ(plug.CrossfadeBufferFrames(), 1024);
  EXPECT_EQ(out[1], std::vector<float>(1024, 1.0f));
  instance.Process(in, out, 1024);
  instance.Process(in, out, 700);
  EXPECT_EQ(plug.resets, 2);

  // A crossfade over the grown block uses the whole of it.
  SetBypass(plug, true);
  instance.Process(in, out, 1024);
  EXPECT_FLOAT_EQ(out[1][479], 1.0f / 480.0f);
  EXPECT_EQ(out[1][480], 0.0f);
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

TEST(AaxRender, TheCallbackNeverAllocates) {
  Instance instance(new corvane::Corvane, 48000.0f);
  iplug::IPlugAAX& plug = instance.Plug();
  constexpr int kBlock = 512;
  auto in = aaxtest::Signal(2, kBlock);
  for (int i = 0; i < kBlock; ++i) {
    in[0][static_cast<size_t>(i)] = 0.8f * static_cast<float>(std::sin(0.05 * i));
    in[1][static_cast<size_t>(i)] = 0.5f * static_cast<float>(std::cos(0.031 * i));
  }
  auto out = aaxtest::Signal(2, kBlock);
  instance.Process(in, out, kBlock);  // the largest block first: buffers have their size

  // Oversampling on, as the host and the idle tick deliver it.
  ASSERT_EQ(plug.UpdateParameterNormalizedValue("12", 1.0, 1), AAX_SUCCESS);
  plug.OnIdleTimer();

  long allocations = 0;
  const int sizes[] = {512, 256, 100, 1, 512, 333};
  for (int block = 0; block < 300; ++block) {
    // Main-thread duties between blocks, outside the count.
    if (block % 40 == 10) SetBypass(plug, true);
    if (block % 40 == 11) SetBypass(plug, false);  // flips back during the crossfade
    if (block % 40 == 30) SetBypass(plug, !plug.MasterBypass()->GetValue());
    if (block % 8 == 0) plug.OnIdleTimer();
    plug.GenerateCoefficients();
    instance.Prepare(in, out, sizes[block % 6]);

    testsupport::ScopedAllocationCounter counter;
    instance.Render();
    allocations += counter.Count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(plug.GetLatency(), 0);  // the oversampler did come in
}
