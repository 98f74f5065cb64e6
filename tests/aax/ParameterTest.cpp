#include <gtest/gtest.h>

#include <random>

#include <map>
#include <string>

#include "aax/library/AAX_CParameter.h"
#include "aax/library/AAX_CParameterManager.h"
#include "host/aaxhost/AutomationDelegate.h"

using Kind = aaxhost::AutomationEvent::Kind;

namespace {

AAX_CString Text(const AAX_IDisplayDelegate<double>& display, double value, int32_t maxLength) {
  AAX_CString text;
  display.ValueToString(value, maxLength, &text);
  return text;
}

}  // namespace

TEST(AaxTapers, LinearIntegerTaperRoundsAndClampsEitherWayRound) {
  const AAX_CLinearTaperDelegate<int32_t> taper(0, 10);
  EXPECT_EQ(taper.NormalizedToReal(0.25), 3);  // floor(2.5 + 0.5)
  EXPECT_EQ(taper.NormalizedToReal(0.24), 2);
  EXPECT_EQ(taper.NormalizedToReal(1.5), 10);
  EXPECT_DOUBLE_EQ(taper.RealToNormalized(4), 0.4);

  const AAX_CLinearTaperDelegate<int32_t> single(7, 7);
  EXPECT_DOUBLE_EQ(single.RealToNormalized(7), 0.5);
  EXPECT_DOUBLE_EQ(single.RealToNormalized(-3), 0.5);
  EXPECT_EQ(single.NormalizedToReal(0.9), 7);

  const AAX_CLinearTaperDelegate<int32_t> reversed(10, 0);
  EXPECT_EQ(reversed.ConstrainRealValue(15), 10);
  EXPECT_EQ(reversed.ConstrainRealValue(-5), 0);
  EXPECT_EQ(reversed.NormalizedToReal(0.0), 10);
  EXPECT_EQ(reversed.NormalizedToReal(1.0), 0);
  EXPECT_DOUBLE_EQ(reversed.RealToNormalized(2), 0.8);

  const AAX_CLinearTaperDelegate<double> continuous(-12.0, 12.0);
  EXPECT_DOUBLE_EQ(continuous.NormalizedToReal(0.3), -4.8);  // no rounding for real values
  EXPECT_DOUBLE_EQ(continuous.ConstrainRealValue(20.0), 12.0);
}

TEST(AaxTapers, BinaryTaperIsTrueAboveZero) {
  const AAX_CBinaryTaperDelegate<bool> taper;
  EXPECT_FALSE(taper.NormalizedToReal(0.0));
  EXPECT_TRUE(taper.NormalizedToReal(0.001));
  EXPECT_DOUBLE_EQ(taper.RealToNormalized(true), 1.0);
  EXPECT_DOUBLE_EQ(taper.RealToNormalized(false), 0.0);
}

TEST(AaxDisplays, NumbersAreCutToTheLengthWithoutATrailingPoint) {
  const AAX_CNumberDisplayDelegate<double, 2> number;
  EXPECT_EQ(Text(number, 3.14159, -1).StdString(), "3.14");
  EXPECT_EQ(Text(number, 3.14159, 3).StdString(), "3.1");
  EXPECT_EQ(Text(number, 3.14159, 2).StdString(), "3");
  EXPECT_EQ(Text(number, 1234.5, 5).StdString(), "1234");
  EXPECT_EQ(Text(number, -0.5, 10).StdString(), "-0.50");
  // Rounding to zero never leaves a sign: "-0.00" would read back as 0 and then show "0.00".
  EXPECT_EQ(Text(number, -0.001, 10).StdString(), "0.00");
  EXPECT_EQ(Text(number, -0.0, 10).StdString(), "0.00");
  double value = 0.0;
  EXPECT_TRUE(number.StringToValue(" 2.50 ", &value));
  EXPECT_DOUBLE_EQ(value, 2.5);
  EXPECT_FALSE(number.StringToValue("2.5x", &value));
  EXPECT_FALSE(number.StringToValue("", &value));

  const AAX_CNumberDisplayDelegate<int32_t, 0> integer;
  AAX_CString text;
  integer.ValueToString(42, &text);
  EXPECT_EQ(text.StdString(), "42");
  int32_t parsed = 0;
  EXPECT_TRUE(integer.StringToValue("2.6", &parsed));
  EXPECT_EQ(parsed, 3);
}

TEST(AaxDisplays, UnitIsAppendedOnlyWhenItFitsAndStrippedBeforeParsing) {
  const AAX_CUnitDisplayDelegateDecorator<double> decibels(AAX_CNumberDisplayDelegate<double, 2>(),
                                                           AAX_CString("dB"));
  EXPECT_EQ(Text(decibels, -6.0, -1).StdString(), "-6.00dB");
  EXPECT_EQ(Text(decibels, -6.0, 7).StdString(), "-6.00dB");
  EXPECT_EQ(Text(decibels, -6.0, 6).StdString(), "-6.00");
  EXPECT_EQ(Text(decibels, -6.0, 4).StdString(), "-6.0");
  double value = 0.0;
  EXPECT_TRUE(decibels.StringToValue("-6.00dB", &value));
  EXPECT_DOUBLE_EQ(value, -6.0);
  EXPECT_TRUE(decibels.StringToValue("3", &value));
  EXPECT_DOUBLE_EQ(value, 3.0);
  EXPECT_FALSE(decibels.StringToValue("3 Hz", &value));
}

TEST(AaxDisplays, StringTableAndBinaryTexts) {
  const AAX_CStringDisplayDelegate<int32_t> table(
      std::map<int32_t, AAX_CString>{{0, "Off"}, {1, "On"}});
  AAX_CString text;
  EXPECT_TRUE(table.ValueToString(1, &text));
  EXPECT_EQ(text.StdString(), "On");
  EXPECT_FALSE(table.ValueToString(2, &text));
  EXPECT_EQ(text.StdString(), "String Not Found");
  int32_t value = -1;
  EXPECT_TRUE(table.StringToValue("Off", &value));
  EXPECT_EQ(value, 0);
  EXPECT_FALSE(table.StringToValue("off", &value));

  const AAX_CBinaryDisplayDelegate<bool> binary("bypass", "on");
  EXPECT_TRUE(binary.ValueToString(true, &text));
  EXPECT_EQ(text.StdString(), "on");
  EXPECT_TRUE(binary.ValueToString(false, &text));
  EXPECT_EQ(text.StdString(), "bypass");
  bool flag = false;
  EXPECT_TRUE(binary.StringToValue("on", &flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(binary.StringToValue("bypass", &flag));
  EXPECT_FALSE(flag);
  EXPECT_FALSE(binary.StringToValue("off", &flag));
}

TEST(AaxParameter, SetAsksTheHostAndUpdateAppliesAndReports) {
  aaxhost::AutomationDelegate host;
  AAX_VAutomationDelegate delegate(&host);
  AAX_CParameter<double> gain("1", "Gain", 0.0, AAX_CLinearTaperDelegate<double>(-10.0, 10.0),
                              AAX_CNumberDisplayDelegate<double>(), true);

  // Without the host, a set applies at once.
  gain.SetNormalizedValue(0.75);
  EXPECT_DOUBLE_EQ(gain.GetValue(), 5.0);

  gain.SetAutomationDelegate(&delegate);
  gain.SetNormalizedValue(0.25);
  EXPECT_DOUBLE_EQ(gain.GetValue(), 5.0);  // only the host applies it
  // The value set without the host is reported even though the update does not change it.
  gain.UpdateNormalizedValue(0.75);
  gain.UpdateNormalizedValue(0.75);
  gain.UpdateNormalizedValue(0.25);
  EXPECT_DOUBLE_EQ(gain.GetValue(), -5.0);
  gain.SetAutomationDelegate(nullptr);

  const auto events = host.Events();
  ASSERT_EQ(events.size(), 7u);
  EXPECT_EQ(events[0].kind, Kind::kRegister);
  EXPECT_EQ(events[1].kind, Kind::kTouch);
  EXPECT_EQ(events[2].kind, Kind::kSetValueRequest);
  EXPECT_DOUBLE_EQ(events[2].value, 0.25);
  EXPECT_EQ(events[3].kind, Kind::kRelease);
  EXPECT_EQ(events[4].kind, Kind::kCurrentValue);
  EXPECT_DOUBLE_EQ(events[4].value, 0.75);
  EXPECT_EQ(events[5].kind, Kind::kCurrentValue);
  EXPECT_DOUBLE_EQ(events[5].value, 0.25);
  EXPECT_EQ(events[6].kind, Kind::kUnregister);
  for (const auto& event : events) EXPECT_EQ(event.parameterID, "1");
}

// The host writes back what a parameter reported; a taper's round trip would move the value's
// last bit now and then (0.1 .. 9.0 does for about one value in 500).
TEST(AaxParameter, WritingBackItsOwnReadingKeepsTheValueExactly) {
  AAX_CParameter<double> knee("5", "Knee", 0.1, AAX_CLinearTaperDelegate<double>(0.1, 9.0),
                              AAX_CNumberDisplayDelegate<double>(), true);
  const AAX_CLinearTaperDelegate<double> taper(0.1, 9.0);
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int moved = 0;
  for (int k = 0; k < 5000; ++k) {
    knee.UpdateNormalizedValue(unit(random));
    const double reading = knee.GetNormalizedValue();
    if (taper.NormalizedToReal(reading) != knee.GetValue()) ++moved;
    const double before = knee.GetValue();
    knee.UpdateNormalizedValue(reading);
    EXPECT_EQ(knee.GetValue(), before) << k;
  }
  EXPECT_GT(moved, 0) << "no value of the sweep would have moved: the test proves nothing";
}

TEST(AaxParameter, TextsGoThroughTaperAndDisplay) {
  AAX_CParameter<int32_t> mode("2", "Mode", 1, AAX_CLinearTaperDelegate<int32_t>(0, 2),
                               AAX_CStringDisplayDelegate<int32_t>({{0, "A"}, {1, "B"}}));
  AAX_CString text;
  EXPECT_TRUE(mode.GetValueString(&text));
  EXPECT_EQ(text.StdString(), "B");
  EXPECT_FALSE(mode.GetStringFromNormalizedValue(1.0, 32, text));
  EXPECT_EQ(text.StdString(), "String Not Found");
  double normalized = 0.0;
  ASSERT_TRUE(mode.GetNormalizedValueFromString("A", &normalized));
  EXPECT_DOUBLE_EQ(normalized, 0.0);
  EXPECT_TRUE(mode.SetValueFromString("A"));
  EXPECT_EQ(mode.GetValue(), 0);
  int32_t asInt = -1;
  bool asBool = false;
  EXPECT_TRUE(mode.GetValueAsInt32(&asInt));
  EXPECT_FALSE(mode.GetValueAsBool(&asBool));
  EXPECT_FALSE(mode.SetValueWithDouble(1.0));
}

TEST(AaxParameterManager, IgnoresDuplicatesAndHandsTheDelegateOverAndBack) {
  aaxhost::AutomationDelegate host;
  AAX_VAutomationDelegate delegate(&host);
  AAX_CParameterManager manager;
  manager.AddParameter(new AAX_CParameter<bool>("a", "First", false,
                                                AAX_CBinaryTaperDelegate<bool>(),
                                                AAX_CBinaryDisplayDelegate<bool>("off", "on")));
  manager.SetAutomationDelegate(&delegate);
  manager.AddParameter(new AAX_CParameter<bool>("b", "Second", false,
                                                AAX_CBinaryTaperDelegate<bool>(),
                                                AAX_CBinaryDisplayDelegate<bool>("off", "on")));
  manager.AddParameter(new AAX_CParameter<bool>("a", "Duplicate", false,
                                                AAX_CBinaryTaperDelegate<bool>(),
                                                AAX_CBinaryDisplayDelegate<bool>("off", "on")));
  manager.AddParameter(nullptr);

  EXPECT_EQ(manager.NumParameters(), 2);
  EXPECT_EQ(manager.GetParameterByID("a")->Name().StdString(), "First");
  EXPECT_EQ(manager.GetParameterIndex("b"), 1);
  EXPECT_EQ(manager.GetParameterIndex("c"), -1);
  EXPECT_EQ(manager.GetParameter(2), nullptr);
  EXPECT_TRUE(host.IsRegistered("a"));
  EXPECT_TRUE(host.IsRegistered("b"));
  EXPECT_EQ(host.Events().size(), 2u);  // the duplicate never reached the host

  manager.SetAutomationDelegate(nullptr);
  EXPECT_EQ(host.RegisteredCount(), 0u);
}

TEST(AaxParameter, ShortenedNamePicksTheLongestLineThatFits) {
  AAX_CParameter<bool> parameter("x", "Input Gain\nIn Gain\nIG", false,
                                 AAX_CBinaryTaperDelegate<bool>(),
                                 AAX_CBinaryDisplayDelegate<bool>("off", "on"));
  EXPECT_EQ(parameter.ShortenedName(32).StdString(), "Input Gain");
  EXPECT_EQ(parameter.ShortenedName(8).StdString(), "In Gain");
  EXPECT_EQ(parameter.ShortenedName(2).StdString(), "IG");
  EXPECT_EQ(parameter.ShortenedName(1).StdString(), "I");
}
