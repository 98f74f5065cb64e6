#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "plugin/Corvane.h"
#include "plugin/CorvanePresets.h"

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

// The factory table is what every format's presets come from: each value must be one the
// parameter can hold as it stands (in range and on its step), or a host would show one value
// and store another.
TEST(CorvanePresets, EveryValueIsInsideItsParametersRangeAndOnItsStep) {
  Corvane plug;
  ASSERT_EQ(plug.NPresets(), static_cast<int>(FactoryPresets().size()));
  ASSERT_GE(plug.NPresets(), 8);
  std::set<std::string> names;
  for (int i = 0; i < plug.NPresets(); ++i) {
    const FactoryPreset& preset = FactoryPresets()[static_cast<size_t>(i)];
    EXPECT_TRUE(names.insert(preset.name).second) << "two presets named " << preset.name;
    EXPECT_GT(std::strlen(preset.description), 20u) << preset.name;
    for (int p = 0; p < kOversampling; ++p) {
      const iplug::IParam& param = *plug.GetParam(p);
      const double v = preset.values[p];
      EXPECT_GE(v, param.Min()) << preset.name << " " << param.Name();
      EXPECT_LE(v, param.Max()) << preset.name << " " << param.Name();
      EXPECT_NEAR(param.Conform(v), v, 1e-12) << preset.name << " " << param.Name();
    }
    // The slot holds the table's values, and the switch only when the preset names it.
    const iplug::PresetSlot* slot = plug.GetPreset(i);
    ASSERT_TRUE(slot && slot->initialized);
    EXPECT_STREQ(slot->name.data(), preset.name);
    EXPECT_EQ(slot->description, preset.description);
    const std::vector<double> values = plug.PresetValues(i);
    ASSERT_EQ(values.size(), preset.oversampling ? 12u : 11u) << preset.name;
    for (int p = 0; p < kOversampling; ++p) EXPECT_EQ(values[p], preset.values[p]);
    EXPECT_EQ(plug.FindPreset(preset.name), i);
  }
  EXPECT_EQ(plug.FindPreset("TUBE drive"), plug.FindPreset("Tube Drive"));
  EXPECT_EQ(plug.FindPreset("No Such Preset"), -1);
}

// Restoring a preset that says nothing about the switch leaves it where the user put it; one
// that names it sets it. Either way the sound follows, as after any state restore.
TEST(CorvanePresets, RestoringOneKeepsTheSwitchUnlessItNamesIt) {
  Corvane plug;
  plug.GetParam(kOversampling)->SetValue(1.0);
  const int tube = plug.FindPreset("Tube Drive");
  ASSERT_TRUE(plug.RestorePreset(tube));
  EXPECT_DOUBLE_EQ(plug.GetParam(kGain)->Value(), 12.0);
  EXPECT_DOUBLE_EQ(plug.GetParam(kOversampling)->Value(), 1.0);
  EXPECT_NEAR(plug.Engine().LatestCurve().inputGain, std::exp(12.0 * 0.1151292546497), 1e-12);

  plug.GetParam(kOversampling)->SetValue(0.0);
  ASSERT_TRUE(plug.RestorePreset(plug.FindPreset("Mastering Glue")));
  EXPECT_DOUBLE_EQ(plug.GetParam(kOversampling)->Value(), 1.0);
  EXPECT_FALSE(plug.RestorePreset(-1));
  EXPECT_FALSE(plug.RestorePreset(plug.NPresets()));
}

// A slot is only filled with what a parameter can hold; anything else leaves it as it was.
TEST(CorvanePresets, ASlotRefusesValuesItCannotHold) {
  Corvane plug;
  const std::vector<double> before = plug.PresetValues(0);
  const double tooMany[13] = {};
  EXPECT_FALSE(plug.MakeFactoryPreset(0, "Too many", "", tooMany));
  const double broken[2] = {1.0, std::nan("")};
  EXPECT_FALSE(plug.MakeFactoryPreset(0, "Broken", "", broken));
  EXPECT_FALSE(plug.MakeFactoryPreset(plug.NPresets(), "Outside", "", broken));
  EXPECT_EQ(plug.PresetValues(0), before);
  EXPECT_STREQ(plug.GetPreset(0)->name.data(), FactoryPresets()[0].name);
}
