#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "framework/IPlugParameter.h"

using iplug::IParam;

namespace {

std::string Format(const IParam& p, double v, bool useTexts = true) {
  std::string text;
  p.FormatValue(v, false, text, useTexts);
  return text;
}

}  // namespace

TEST(Param, DefinitionEnforcesMinimumRangeAndPrecisionFromStep) {
  IParam p;
  p.DefineDouble("Narrow", 0.0, 5.0, 4.0, 0.5);
  EXPECT_DOUBLE_EQ(p.Max(), 5.5);  // at least one step above the minimum
  EXPECT_DOUBLE_EQ(p.Value(), 5.0);

  const struct {
    double step;
    int precision;
  } cases[] = {{0.1, 1}, {0.0001, 4}, {1.0, 0}, {0.25, 2}, {1e-9, 6}, {2.0, 0}};
  for (const auto& c : cases) {
    IParam q;
    q.DefineDouble("q", 0.0, 0.0, 10.0, c.step);
    EXPECT_EQ(q.Precision(), c.precision) << "step " << c.step;
  }
}

TEST(Param, OuterDefinitionDecidesKind) {
  IParam b, e, i, d;
  b.DefineBool("b", false);
  e.DefineEnum("e", 1, 3, "", iplug::kFlagsNone, "", {"x", "y", "z"});
  i.DefineInt("i", 2, 0, 9);
  d.DefineDouble("d", 0.5, 0.0, 1.0, 0.01);
  EXPECT_EQ(b.Kind(), iplug::kKindBool);
  EXPECT_EQ(e.Kind(), iplug::kKindEnum);
  EXPECT_EQ(i.Kind(), iplug::kKindInt);
  EXPECT_EQ(d.Kind(), iplug::kKindDouble);
  EXPECT_TRUE(b.IsStepped() && e.IsStepped() && i.IsStepped());
  EXPECT_FALSE(d.IsStepped());
  EXPECT_EQ(e.ValueTextCount(), 3);
  EXPECT_STREQ(e.ValueTextFor(2), "z");
}

TEST(Param, ConformRoundsHalvesAwayFromZeroThenClamps) {
  IParam p;
  p.DefineInt("Steps", 0, -10, 10);
  EXPECT_DOUBLE_EQ(p.Conform(2.5), 3.0);
  EXPECT_DOUBLE_EQ(p.Conform(-2.5), -3.0);
  EXPECT_DOUBLE_EQ(p.Conform(99.0), 10.0);
  EXPECT_DOUBLE_EQ(p.Conform(-99.0), -10.0);
  EXPECT_TRUE(std::isfinite(p.Conform(std::nan(""))));
}

TEST(Param, NormalizationStaysInsideUnitRange) {
  IParam p;
  p.DefineDouble("Threshold", 0.0, -60.0, 0.0, 0.1, "dB");
  EXPECT_DOUBLE_EQ(p.Normalize(-120.0), 0.0);
  EXPECT_DOUBLE_EQ(p.Normalize(30.0), 1.0);
  EXPECT_DOUBLE_EQ(p.Normalize(-30.0), 0.5);
  EXPECT_DOUBLE_EQ(p.Denormalize(0.25), -45.0);
  p.SetNormalizedValue(0.75);
  EXPECT_DOUBLE_EQ(p.Value(), -15.0);
  EXPECT_DOUBLE_EQ(p.NormalizedValue(), 0.75);
}

TEST(Param, NonFiniteValuesNeverBecomeTheValue) {
  IParam p;
  p.DefineDouble("Gain", 6.0, 0.0, 60.0, 0.1, "dB");
  p.SetValue(std::numeric_limits<double>::quiet_NaN());
  p.SetValue(std::numeric_limits<double>::infinity());
  p.SetNormalizedValue(std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(p.Value(), 6.0);
}

TEST(Param, FormattingFollowsPrecisionSignAndValueTexts) {
  IParam db;
  db.DefineDouble("Threshold", 0.0, -60.0, 0.0, 0.1, "dB");
  EXPECT_EQ(Format(db, -0.04), "-0.0");  // not zero, so it keeps its sign
  EXPECT_EQ(Format(db, -0.0), "0.0");
  EXPECT_EQ(Format(db, -12.345), "-12.3");
  std::string text;
  db.FormatValue(0.5, true, text);
  EXPECT_EQ(text, "-30.0");

  IParam onOff;
  onOff.DefineBool("Oversampling", false, "", iplug::kFlagCannotAutomate, "", "off", "on");
  EXPECT_EQ(Format(onOff, 0.0), "off");
  EXPECT_EQ(Format(onOff, 1.0), "on");
  EXPECT_EQ(Format(onOff, 0.0, false), "0");
  EXPECT_EQ(Format(onOff, 1.0, false), "1");

  IParam sign;
  sign.DefineDouble("Pan", 0.0, -1.0, 1.0, 0.01, "", iplug::kFlagSignDisplay);
  EXPECT_EQ(Format(sign, 0.25), "+0.25");
  EXPECT_EQ(Format(sign, 0.0), "0.00");

  IParam negate;
  negate.DefineDouble("Depth", 0.0, 0.0, 10.0, 1.0, "", iplug::kFlagNegateDisplay);
  EXPECT_EQ(Format(negate, 3.0), "-3");
  EXPECT_EQ(Format(negate, 2.5), "-3");  // halves away from zero

  IParam custom;
  custom.DefineDouble("Long", 0.0, 0.0, 1.0, 0.1, "", 0, "", IParam::ShapeLinear(),
                      iplug::kUnitCustom, [](double, std::string& t) { t = std::string(80, 'x'); });
  EXPECT_EQ(Format(custom, 0.5).size(), 32u);
}

TEST(Param, ParsingUsesValueTextsThenLeadingDecimalNumber) {
  IParam onOff;
  onOff.DefineBool("Oversampling", false, "", 0, "", "off", "on");
  EXPECT_DOUBLE_EQ(onOff.ParseText("on"), 1.0);
  EXPECT_DOUBLE_EQ(onOff.ParseText("maybe"), 0.0);
  EXPECT_DOUBLE_EQ(onOff.ParseText("1"), 0.0);  // enumerations only match their texts

  IParam db;
  db.DefineDouble("Threshold", 0.0, -60.0, 0.0, 0.1, "dB");
  EXPECT_DOUBLE_EQ(db.ParseText("-3"), -3.0);
  EXPECT_DOUBLE_EQ(db.ParseText("-3.25 dB"), -3.25);
  EXPECT_DOUBLE_EQ(db.ParseText("abc"), db.Conform(0.0));
  EXPECT_DOUBLE_EQ(db.ParseText("-1e1"), -10.0);
  EXPECT_DOUBLE_EQ(db.ParseText("-100"), -60.0);
  // Not decimal numbers: hexadecimal, infinities and NaN read as no number at all.
  EXPECT_DOUBLE_EQ(db.ParseText("-0x10"), 0.0);
  EXPECT_DOUBLE_EQ(db.ParseText("-inf"), 0.0);
  EXPECT_DOUBLE_EQ(db.ParseText("nan"), 0.0);
  EXPECT_DOUBLE_EQ(db.ParseText("-2,5"), -2.0);
  EXPECT_DOUBLE_EQ(db.ParseText(""), 0.0);
}

TEST(Param, UnitLabelIsHiddenWhenAValueTextShows) {
  IParam onOff;
  onOff.DefineBool("Oversampling", false, "x", 0, "", "off", "on");
  EXPECT_STREQ(onOff.UnitLabel(), "");
  IParam db;
  db.DefineDouble("Gain", 0.0, 0.0, 60.0, 0.1, "dB");
  EXPECT_STREQ(db.UnitLabel(), "dB");
}

TEST(Param, TextsAreCutTo31Characters) {
  IParam p;
  p.DefineDouble("A name that is much longer than thirty-one characters", 0, 0, 1, 0.1);
  EXPECT_EQ(std::string(p.Name()).size(), 31u);
}
