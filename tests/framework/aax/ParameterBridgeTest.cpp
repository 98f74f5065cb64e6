#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "aax/library/AAX_CString.h"
#include "host/aaxhost/AutomationDelegate.h"
#include "tests/framework/aax/AaxBindingHarness.h"
#include "tests/framework/aax/TestPlugs.h"

using aaxhost::AutomationEvent;
using aaxtest::Instance;
using aaxtest::RecordingCorvane;
using Kind = aaxhost::AutomationEvent::Kind;

namespace {

int32_t Changes(iplug::IPlugAAX& plug) {
  int32_t changes = -1;
  EXPECT_EQ(plug.GetNumberOfChanges(&changes), AAX_SUCCESS);
  return changes;
}

std::vector<double> Values(iplug::IPlugAAX& plug) {
  std::vector<double> values;
  for (int i = 0; i < plug.NParams(); ++i) values.push_back(plug.GetParam(i)->Value());
  return values;
}

std::string Text(iplug::IPlugAAX& plug, const char* id, double normalized, int32_t maxLength) {
  AAX_CString text;
  plug.GetParameterStringFromValue(id, normalized, &text, maxLength);
  return text.StdString();
}

std::vector<std::pair<Kind, std::string>> Events(aaxhost::AutomationDelegate& delegate) {
  std::vector<std::pair<Kind, std::string>> events;
  for (const AutomationEvent& e : delegate.Events()) events.emplace_back(e.kind, e.parameterID);
  return events;
}

}  // namespace

TEST(AaxParameterBridge, EveryParameterAndTheMasterBypassAreRegisteredWithTheHost) {
  Instance instance(new RecordingCorvane);
  int32_t count = 0;
  ASSERT_EQ(instance.Plug().GetNumberOfParameters(&count), AAX_SUCCESS);
  EXPECT_EQ(count, 13);
  AAX_CString id;
  instance.Plug().GetParameterIDFromIndex(0, &id);
  EXPECT_EQ(id.StdString(), "MasterBypassID");
  instance.Plug().GetMasterBypassParameter(&id);
  EXPECT_EQ(id.StdString(), "MasterBypassID");
  for (int i = 1; i <= 12; ++i) {
    instance.Plug().GetParameterIDFromIndex(i, &id);
    EXPECT_EQ(id.StdString(), std::to_string(i));
    EXPECT_TRUE(instance.Host().GetAutomationDelegate().IsRegistered(std::to_string(i)));
  }
  instance.Plug().GetParameterName("3", &id);
  EXPECT_EQ(id.StdString(), "Nonlinearity");
  EXPECT_EQ(instance.Plug().GetHost(), 2);  // identified as Pro Tools
}

TEST(AaxParameterBridge, AHostValueReachesTheParameterTheEditorQueueAndTheProcessor) {
  Instance instance(new RecordingCorvane);
  auto& plug = instance.PlugAs<RecordingCorvane>();
  const int32_t before = Changes(plug);
  plug.changes.clear();

  ASSERT_EQ(plug.UpdateParameterNormalizedValue("3", 0.5, AAX_eUpdateSource_Parameter),
            AAX_SUCCESS);
  const double plain = plug.GetParam(2)->Denormalize(0.5);
  EXPECT_DOUBLE_EQ(plug.GetParam(2)->Value(), plain);
  EXPECT_EQ(Changes(plug), before + 1);
  ASSERT_EQ(plug.changes.size(), 1u);
  EXPECT_EQ(plug.changes[0].paramIdx, 2);
  EXPECT_EQ(plug.changes[0].source, iplug::kHost);
  double normalized = 0.0;
  plug.GetParameterNormalizedValue("3", &normalized);
  EXPECT_DOUBLE_EQ(normalized, 0.5);

  plug.toControls.clear();
  plug.OnIdleTimer();  // the idle tick drains the queue towards the editor
  ASSERT_EQ(plug.toControls.size(), 1u);
  EXPECT_EQ(plug.toControls[0].paramIdx, 2);
  EXPECT_DOUBLE_EQ(plug.toControls[0].value, plain);
  EXPECT_FALSE(plug.toControls[0].normalized);
}

TEST(AaxParameterBridge, TheMasterBypassChangesNoFrameworkParameter) {
  Instance instance(new RecordingCorvane);
  auto& plug = instance.PlugAs<RecordingCorvane>();
  const std::vector<double> before = Values(plug);
  plug.changes.clear();
  ASSERT_EQ(plug.UpdateParameterNormalizedValue("MasterBypassID", 1.0, 1), AAX_SUCCESS);
  EXPECT_TRUE(plug.MasterBypass()->GetValue());
  EXPECT_EQ(Values(plug), before);
  EXPECT_TRUE(plug.changes.empty());

  auto in = aaxtest::Signal(2, 64);
  auto out = aaxtest::Signal(2, 64);
  EXPECT_FALSE(plug.CrossfadeActive());
  instance.Process(in, out, 64);
  EXPECT_TRUE(plug.CrossfadeActive());
}

TEST(AaxParameterBridge, IDsThatNameNoParameterChangeNothing) {
  Instance instance(new RecordingCorvane);
  auto& plug = instance.PlugAs<RecordingCorvane>();
  const std::vector<double> before = Values(plug);
  const int32_t changes = Changes(plug);
  for (const char* id : {"0", "13", "", "x"})
    EXPECT_EQ(plug.UpdateParameterNormalizedValue(id, 0.3, 1), AAX_ERROR_INVALID_PARAMETER_ID)
        << id;
  EXPECT_EQ(plug.UpdateParameterNormalizedValue(nullptr, 0.3, 1), AAX_ERROR_INVALID_PARAMETER_ID);
  EXPECT_EQ(plug.SetParameterNormalizedValue("13", 0.3), AAX_ERROR_INVALID_PARAMETER_ID);
  EXPECT_EQ(Values(plug), before);
  EXPECT_EQ(Changes(plug), changes);
}

TEST(AaxParameterBridge, TextsStepsAndTapersFollowTheParameterKinds) {
  Instance instance(new aaxtest::KindsPlug);
  iplug::IPlugAAX& plug = instance.Plug();
  int32_t steps = 0, type = -1;
  AAX_CBoolean automatable = 0;

  // Master bypass: binary, "bypass" / "on".
  plug.GetParameterNumberOfSteps("MasterBypassID", &steps);
  plug.GetParameterType("MasterBypassID", &type);
  plug.GetParameterIsAutomatable("MasterBypassID", &automatable);
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(type, AAX_eParameterType_Discrete);
  EXPECT_EQ(automatable, 1);
  EXPECT_EQ(Text(plug, "MasterBypassID", 0.0, 32), "bypass");
  EXPECT_EQ(Text(plug, "MasterBypassID", 0.01, 32), "on");

  // Integer: 128 steps whatever the range, number and unit.
  plug.GetParameterNumberOfSteps("1", &steps);
  plug.GetParameterType("1", &type);
  EXPECT_EQ(steps, 128);
  EXPECT_EQ(type, AAX_eParameterType_Continuous);
  AAX_CString text;
  plug.GetParameterValueString("1", &text, 32);
  EXPECT_EQ(text.StdString(), "42st");
  EXPECT_EQ(Text(plug, "1", 0.5, 32), "50st");
  double normalized = 0.0;
  const AAX_CString steps25("25st");
  ASSERT_EQ(plug.GetParameterValueFromString("1", &normalized, &steps25), AAX_SUCCESS);
  EXPECT_DOUBLE_EQ(normalized, 0.25);

  // Enumeration: as many steps as texts, a value without text is "String Not Found".
  plug.GetParameterNumberOfSteps("2", &steps);
  plug.GetParameterType("2", &type);
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(type, AAX_eParameterType_Discrete);
  plug.GetParameterValueString("2", &text, 32);
  EXPECT_EQ(text.StdString(), "B");
  EXPECT_EQ(plug.GetParameterStringFromValue("2", 1.0, &text, 32),
            AAX_ERROR_INVALID_STRING_CONVERSION);
  EXPECT_EQ(text.StdString(), "B");  // unchanged on failure
  EXPECT_EQ(Text(plug, "2", 0.0, 32), "A");

  // Boolean: its own texts; the not-automatable flag carries over.
  plug.GetParameterNumberOfSteps("3", &steps);
  plug.GetParameterIsAutomatable("3", &automatable);
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(automatable, 0);
  EXPECT_EQ(Text(plug, "3", 0.0, 32), "no");
  EXPECT_EQ(Text(plug, "3", 0.5, 32), "yes");  // rounds to the nearest integer

  // Double: the IParam's own shape, two decimals, the unit only when it fits.
  plug.GetParameterNumberOfSteps("4", &steps);
  plug.GetParameterType("4", &type);
  EXPECT_EQ(steps, 128);
  EXPECT_EQ(type, AAX_eParameterType_Continuous);
  EXPECT_EQ(Text(plug, "4", 0.5, 32), "-30.00dB");
  EXPECT_EQ(Text(plug, "4", 0.5, 4), "-30");
  EXPECT_EQ(Text(plug, "4", 2.0, 32), "0.00dB");  // conformed into the range
  const AAX_CString level("-15.00dB");
  ASSERT_EQ(plug.GetParameterValueFromString("4", &normalized, &level), AAX_SUCCESS);
  EXPECT_DOUBLE_EQ(normalized, 0.75);
  plug.GetParameterDefaultNormalizedValue("4", &normalized);
  EXPECT_DOUBLE_EQ(normalized, plug.GetParam(3)->Normalize(-6.0));

  // No kind: no AAX parameter.
  EXPECT_EQ(plug.GetParameterNumberOfSteps("5", &steps), AAX_ERROR_INVALID_PARAMETER_ID);
}

TEST(AaxParameterBridge, EditorEditsReachTheHostAsTouchValueRelease) {
  Instance instance(new RecordingCorvane);
  auto& plug = instance.PlugAs<RecordingCorvane>();
  aaxhost::AutomationDelegate& delegate = instance.Host().GetAutomationDelegate();
  delegate.ClearEvents();
  plug.changes.clear();

  plug.BeginEditFromEditor(0);
  plug.SetParamFromEditor(0, 0.25);
  plug.EndEditFromEditor(0);

  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), plug.GetParam(0)->Denormalize(0.25));
  ASSERT_EQ(plug.changes.size(), 1u);
  EXPECT_EQ(plug.changes[0].source, iplug::kUI);
  const std::vector<std::pair<Kind, std::string>> expected = {{Kind::kTouch, "1"},
                                                              {Kind::kTouch, "1"},
                                                              {Kind::kSetValueRequest, "1"},
                                                              {Kind::kRelease, "1"},
                                                              {Kind::kRelease, "1"}};
  EXPECT_EQ(Events(delegate), expected);
  EXPECT_DOUBLE_EQ(delegate.Events()[2].value, 0.25);

  // The host echoes the value back; the AAX parameter follows and reports it.
  delegate.ClearEvents();
  instance.EchoSetValueRequests();
  plug.SetParamFromEditor(0, 0.75);
  double normalized = 0.0;
  plug.GetParameterNormalizedValue("1", &normalized);
  EXPECT_DOUBLE_EQ(normalized, 0.75);
  EXPECT_EQ(Events(delegate).back(), std::make_pair(Kind::kRelease, std::string("1")));
}

TEST(AaxParameterBridge, WithoutAHostTheBridgeDoesNothing) {
  corvane::Corvane plug;  // constructed as the in-process host does: no Initialize
  plug.BeginEditFromEditor(0);
  plug.SetParamFromEditor(0, 0.5);
  plug.EndEditFromEditor(0);
  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), plug.GetParam(0)->Denormalize(0.5));
  EXPECT_EQ(plug.ParamID(0), nullptr);
  EXPECT_EQ(plug.MasterBypass(), nullptr);
  plug.ChangeLatency(12);
  EXPECT_EQ(plug.GetLatency(), 12);
}

// A NaN cast to an integer taper is undefined behaviour, and an infinity moved the host's copy
// of a value but not the plug-in's. Every entry that takes a value refuses both, and nothing
// changes: values, texts, the change count, the host's automation.
TEST(AaxParameterBridge, NonFiniteValuesAreRefusedAndChangeNothing) {
  Instance instance(new RecordingCorvane);
  auto& plug = instance.PlugAs<RecordingCorvane>();
  aaxhost::AutomationDelegate& delegate = instance.Host().GetAutomationDelegate();
  plug.UpdateParameterNormalizedValue("3", 0.25, 1);
  std::vector<std::string> ids{"MasterBypassID"};
  for (int i = 0; i < plug.NParams(); ++i) ids.push_back(plug.ParamID(i));
  auto snapshot = [&] {
    std::vector<std::string> state;
    for (const std::string& id : ids) {
      double normalized = -1.0, defaultValue = -1.0;
      plug.GetParameterNormalizedValue(id.c_str(), &normalized);
      plug.GetParameterDefaultNormalizedValue(id.c_str(), &defaultValue);
      AAX_CString text;
      plug.GetParameterValueString(id.c_str(), &text, 32);
      state.push_back(id + " " + std::to_string(normalized) + " " + std::to_string(defaultValue) +
                      " " + text.StdString());
    }
    return state;
  };
  const auto before = snapshot();
  const std::vector<double> values = Values(plug);
  const int32_t changes = Changes(plug);
  delegate.ClearEvents();
  plug.changes.clear();

  for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    for (const std::string& id : ids) {
      SCOPED_TRACE(id + " " + std::to_string(bad));
      const char* p = id.c_str();
      EXPECT_EQ(plug.UpdateParameterNormalizedValue(p, bad, 1), AAX_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(plug.UpdateParameterNormalizedRelative(p, bad), AAX_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(plug.SetParameterNormalizedValue(p, bad), AAX_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(plug.SetParameterNormalizedRelative(p, bad), AAX_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(plug.SetParameterDefaultNormalizedValue(p, bad), AAX_ERROR_INVALID_ARGUMENT);
      AAX_CString text("unchanged");
      EXPECT_EQ(plug.GetParameterStringFromValue(p, bad, &text, 32), AAX_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(text.StdString(), "unchanged");
    }
  }
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(Values(plug), values);
  EXPECT_EQ(Changes(plug), changes);
  EXPECT_TRUE(delegate.Events().empty());
  EXPECT_TRUE(plug.changes.empty());
  // Unknown IDs still come first.
  EXPECT_EQ(plug.UpdateParameterNormalizedValue("13", std::nan(""), 1),
            AAX_ERROR_INVALID_PARAMETER_ID);
}

// The editor queue holds 512 changes and drops the rest; the engine must not depend on it. Six
// hundred host changes of "Oversampling" without an idle tick leave it following the last one,
// now and across later resets.
TEST(AaxParameterBridge, HostOversamplingChangesReachTheEngineWithoutAnIdleTick) {
  Instance instance(new RecordingCorvane);
  auto& plug = instance.PlugAs<RecordingCorvane>();
  for (int i = 0; i < 600; ++i)
    ASSERT_EQ(plug.UpdateParameterNormalizedValue("12", i % 2 ? 1.0 : 0.0, 1), AAX_SUCCESS);
  EXPECT_EQ(plug.GetParam(corvane::kOversampling)->Value(), 1.0);
  EXPECT_TRUE(plug.Engine().OversamplingRequested());
  plug.ResetProcessing();
  EXPECT_TRUE(plug.Engine().OversamplingActive());
  EXPECT_GT(plug.GetLatency(), 0);
  EXPECT_EQ(plug.idleTicks, 0);
}
