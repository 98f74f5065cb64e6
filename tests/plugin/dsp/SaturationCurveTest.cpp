#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "plugin/dsp/SaturationCurve.h"
#include "tests/plugin/dsp/CurveReference.h"

using namespace corvane;
using curve_reference::Close;

TEST(SaturationCurve, MatchesReferenceModelForRandomSettingsAndWideInputs) {
  std::mt19937 rng(20261209);
  std::vector<double> in(257), out(257);
  for (int trial = 0; trial < 400; ++trial) {
    const CurveParams p = curve_reference::RandomParams(rng);
    const CurveCoefficients r = CurveCoefficients::Derive(p);
    for (double& x : in) x = std::uniform_real_distribution<>(-10.0, 10.0)(rng);
    TransferBlock(in.data(), out.data(), static_cast<int>(in.size()), r);
    for (size_t i = 0; i < in.size(); ++i) {
      const double expected = curve_reference::Curve(in[i], p);
      ASSERT_TRUE(Close(out[i], expected))
          << "trial " << trial << " x=" << in[i] << " got " << out[i] << " want " << expected;
      ASSERT_EQ(TransferSample(in[i], r), out[i]);
    }
    // In place gives the same result.
    std::vector<double> copy = in;
    TransferBlock(copy.data(), copy.data(), static_cast<int>(copy.size()), r);
    ASSERT_EQ(copy, out);
  }
}

TEST(SaturationCurve, DefaultsAreTransparentAndMixEndsBehave) {
  const CurveCoefficients neutral = CurveCoefficients::Derive(CurveParams{});
  for (double x : {-3.0, -1.0, -0.25, 0.0, 0.5, 1.0, 7.0})
    EXPECT_DOUBLE_EQ(TransferSample(x, neutral), x);

  CurveParams dry;
  dry.mix = 0;
  dry.gain = 40;
  dry.threshold = -30;
  dry.nonlinearity = 1.13;
  dry.output = -6;
  const CurveCoefficients r0 = CurveCoefficients::Derive(dry);
  EXPECT_DOUBLE_EQ(TransferSample(0.8, r0), 0.8 * std::exp(-6 * kGainDbToLin));

  CurveParams wet = dry;
  wet.mix = 100;
  const CurveCoefficients r1 = CurveCoefficients::Derive(wet);
  EXPECT_DOUBLE_EQ(TransferSample(0.8, r1),
                   CoreTransfer(0.8 * r1.inputGain, r1) * std::exp(-6 * kGainDbToLin));
}

TEST(SaturationCurve, ThresholdStageApproachesItsLimit) {
  CurveParams p;
  p.nonlinearity = 1.13;
  p.threshold = -20;
  p.knee = 0.1;
  p.mix = 100;
  const CurveCoefficients r = CurveCoefficients::Derive(p);
  const double tUp = std::pow(10.0, -1.0), kUp = std::pow(10.0, -19.9 / 20.0);
  const double limit = tUp + (kUp - tUp) / 0.13;
  EXPECT_NEAR(CoreTransfer(1e6, r), limit, 1e-5);
  EXPECT_LT(CoreTransfer(1e6, r), limit);
  EXPECT_NEAR(CoreTransfer(-1e6, r), -limit, 1e-5);
  // Inside the knee the overshoot is divided by the ratio itself.
  const double u = tUp + 0.5 * (kUp - tUp);
  EXPECT_NEAR(CoreTransfer(u, r), tUp + (u - tUp) / 1.13, 1e-15);
}

TEST(SaturationCurve, AsymmetryControlsClampEachSide) {
  CurveParams n;
  n.nonlinearityAsym = -0.06;
  const CurveCoefficients rn = CurveCoefficients::Derive(n);
  EXPECT_DOUBLE_EQ(rn.upperRatio, 1.0);
  EXPECT_DOUBLE_EQ(rn.lowerRatio, 1.03);

  CurveParams k;
  k.kneeAsym = 9;
  const CurveCoefficients rk = CurveCoefficients::Derive(k);
  EXPECT_NEAR(rk.upperKneeEnd, std::exp(4.6 * kThresholdDbToLin), 1e-15);
  EXPECT_NEAR(rk.lowerKneeEnd, -std::exp(0.1 * kThresholdDbToLin), 1e-15);

  CurveParams t;
  t.threshold = -10;
  t.thresholdAsym = 30;
  const CurveCoefficients rt = CurveCoefficients::Derive(t);
  EXPECT_NEAR(rt.upperThreshold, std::exp(5.0 * kThresholdDbToLin), 1e-15);
  EXPECT_NEAR(rt.lowerThreshold, -std::exp(-25.0 * kThresholdDbToLin), 1e-15);
  EXPECT_GT(rt.upperKneeEnd, rt.upperThreshold);
  EXPECT_LT(rt.lowerKneeEnd, rt.lowerThreshold);
}

TEST(SaturationCurve, PolynomialBlendIsTheSoftClip) {
  CurveParams p;
  p.modA = 100;
  p.threshold = 0;
  const CurveCoefficients r = CurveCoefficients::Derive(p);
  EXPECT_DOUBLE_EQ(CoreTransfer(0.5, r), 0.75);
  EXPECT_DOUBLE_EQ(CoreTransfer(1.0, r), 1.0);
}

TEST(SaturationCurve, PicturePointsStayInsideTheirBand) {
  std::vector<double> points(kCurvePoints);
  ComputeCurvePoints(CurveCoefficients::Derive(CurveParams{}), points.data());
  EXPECT_DOUBLE_EQ(points[0], 0.0015);
  EXPECT_DOUBLE_EQ(points[86], 0.5);

  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    ComputeCurvePoints(CurveCoefficients::Derive(curve_reference::RandomParams(rng)),
                       points.data());
    for (double v : points) {
      ASSERT_GE(v, 0.0015);
      ASSERT_LE(v, 0.999);
    }
  }
}
