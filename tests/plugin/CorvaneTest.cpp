#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "plugin/Corvane.h"

using namespace corvane;

namespace {

class LatencySpy : public Corvane {
 public:
  void ChangeLatency(int samples) override {
    reports.push_back(samples);
    Corvane::ChangeLatency(samples);
  }
  std::vector<int> reports;
};

}  // namespace

TEST(Corvane, ParametersStartAtTheirDefaultsWithTheirTexts) {
  Corvane plug;
  ASSERT_EQ(plug.NParams(), 12);
  const char* names[] = {"Threshold", "T Assym", "Nonlinearity", "N Assym",
                         "Knee",      "K Assym", "Mod A",        "Mod B",
                         "Gain",      "Mix",     "Output",       "Oversampling"};
  const double defaults[] = {0, 0, 1, 0, 0.1, 0, 0, 0, 0, 50, 0, 0};
  for (int i = 0; i < 12; ++i) {
    EXPECT_STREQ(plug.GetParam(i)->Name(), names[i]);
    EXPECT_DOUBLE_EQ(plug.GetParam(i)->Value(), defaults[i]);
  }
  EXPECT_EQ(plug.GetParam(kThreshold)->DisplayText(), "0.0");
  EXPECT_EQ(plug.GetParam(kNonlinearity)->DisplayText(), "1.0000");
  EXPECT_EQ(plug.GetParam(kNonlinearityAsym)->DisplayText(), "0.0000");
  EXPECT_EQ(plug.GetParam(kMix)->DisplayText(), "50.0");
  EXPECT_EQ(plug.GetParam(kOversampling)->DisplayText(), "off");
  EXPECT_STREQ(plug.GetParam(kNonlinearityAsym)->Label(), "Offset");
  EXPECT_FALSE(plug.GetParam(kOversampling)->CanAutomate());
  EXPECT_TRUE(plug.GetParam(kGain)->CanAutomate());
  EXPECT_EQ(plug.GetParam(kOversampling)->Kind(), iplug::kKindBool);
}

TEST(Corvane, CoefficientsFollowEveryParameterButOversampling) {
  Corvane plug;
  const CurveCoefficients fresh = plug.Engine().LatestCurve();
  EXPECT_DOUBLE_EQ(fresh.dry, 0.5);
  EXPECT_DOUBLE_EQ(fresh.upperThreshold, 1.0);

  plug.GetParam(kThreshold)->SetValue(-20.0);
  plug.OnParamChange(kThreshold, iplug::kHost);
  EXPECT_NEAR(plug.Engine().LatestCurve().upperThreshold, 0.1, 1e-12);

  // Oversampling changes request a switch, from any source and at once (not only when the
  // editor-side notification arrives), and leave the curve alone.
  const CurveCoefficients before = plug.Engine().LatestCurve();
  plug.GetParam(kOversampling)->SetValue(1.0);
  plug.OnParamChange(kOversampling, iplug::kHost);
  EXPECT_TRUE(plug.Engine().OversamplingRequested());
  plug.GetParam(kOversampling)->SetValue(0.0);
  plug.OnEditorParamChange(kOversampling, iplug::kDelegate);
  EXPECT_FALSE(plug.Engine().OversamplingRequested());
  const CurveCoefficients after = plug.Engine().LatestCurve();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST(Corvane, InstancesAreIndependent) {
  Corvane a, b;
  a.GetParam(kGain)->SetValue(30.0);
  a.OnParamChange(kGain, iplug::kHost);
  EXPECT_DOUBLE_EQ(b.GetParam(kGain)->Value(), 0.0);
  EXPECT_DOUBLE_EQ(b.Engine().LatestCurve().inputGain, 1.0);
  EXPECT_NE(&a.Engine().Sender(0), &b.Engine().Sender(0));
}

TEST(Corvane, LatencyIsReportedOnResetAndAfterASwitchOnlyWhenItChanges) {
  LatencySpy plug;
  plug.SetSampleRate(44100.0);
  plug.ResizeChannelBuffers(512);
  plug.ResetProcessing();
  ASSERT_EQ(plug.reports, std::vector<int>{0});
  plug.ResetProcessing();
  EXPECT_EQ(plug.reports.size(), 1u);  // unchanged: not reported again

  plug.GetParam(kOversampling)->SetValue(1.0);
  plug.OnEditorParamChange(kOversampling, iplug::kDelegate);
  std::vector<double> buffer(512, 0.1);
  double* io[2] = {buffer.data(), buffer.data()};
  plug.SetChannelsConnected(iplug::kOutput, 0, 2, true);
  plug.ProcessAudio(io, io, 512);      // the fade down ends inside this block
  EXPECT_EQ(plug.reports.size(), 1u);  // the audio thread never reports by itself
  plug.OnIdleTick();
  EXPECT_EQ(plug.reports.back(), 326);
  EXPECT_EQ(plug.GetLatency(), 326);
  plug.OnIdleTick();
  EXPECT_EQ(plug.reports.size(), 2u);

  // An offline render is forced oversampled at the higher quality.
  plug.SetRenderingOffline(true);
  plug.ResetProcessing();
  EXPECT_EQ(plug.reports.back(), 549);
  plug.SetRenderingOffline(false);
  plug.GetParam(kOversampling)->SetValue(0.0);
  plug.OnEditorParamChange(kOversampling, iplug::kDelegate);
  plug.ResetProcessing();
  EXPECT_EQ(plug.reports.back(), 0);
}

TEST(Corvane, StateImageIsTheTwelveValuesAndRestoringReachesTheEngine) {
  Corvane plug;
  iplug::IStateChunk chunk;
  ASSERT_TRUE(plug.SerializeParams(chunk));
  ASSERT_EQ(chunk.Size(), 96);
  const double defaults[] = {0, 0, 1, 0, 0.1, 0, 0, 0, 0, 50, 0, 0};
  for (int i = 0; i < 12; ++i) {
    double v = -1;
    chunk.Get(&v, 8 * i);
    EXPECT_DOUBLE_EQ(v, defaults[i]) << i;
  }

  // A restored state derives new coefficients and requests oversampling, as if each parameter
  // had been changed; a non-finite value leaves its parameter alone.
  iplug::IStateChunk stored;
  const double values[] = {-20, 0, 1.1, 0, 3, 0, std::nan(""), 0, 12, 100, -6, 1};
  for (double v : values) stored.Put(v);
  EXPECT_EQ(plug.UnserializeParams(stored, 0), 96);
  EXPECT_DOUBLE_EQ(plug.GetParam(kModA)->Value(), 0.0);
  EXPECT_NEAR(plug.Engine().LatestCurve().upperThreshold, 0.1, 1e-12);
  EXPECT_DOUBLE_EQ(plug.Engine().LatestCurve().wet, 1.0);
  EXPECT_TRUE(plug.Engine().OversamplingRequested());
}
