#include "plugin/dsp/CurveKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "framework/dsp/EnvelopeDetector.h"
#include "tests/plugin/dsp/CurveReference.h"

using namespace corvane;
using curve_reference::Close;

namespace {

/** Every path this processor can run; the scalar one always, so it is tested forced. */
std::vector<ECurvePath> SupportedPaths() {
  std::vector<ECurvePath> paths;
  for (int i = 0; i < kNumCurvePaths; ++i)
    if (CurvePathSupported(static_cast<ECurvePath>(i))) paths.push_back(static_cast<ECurvePath>(i));
  return paths;
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<double> Uniform(std::mt19937& rng, size_t n, double lo, double hi) {
  std::vector<double> x(n);
  for (double& v : x) v = std::uniform_real_distribution<>(lo, hi)(rng);
  return x;
}

std::vector<double> Transfer(const CurveKernels& k, const std::vector<double>& in,
                             const PreparedCurve& r) {
  std::vector<double> out(in.size());
  k.transfer(in.data(), out.data(), static_cast<int>(in.size()), r);
  return out;
}

}  // namespace

// A path the processor cannot run is never handed out: asking for one gives the scalar path.
TEST(CurveKernels, UnsupportedPathsFallBackToTheScalarOne) {
  EXPECT_TRUE(CurvePathSupported(DefaultCurvePath()));
  for (int i = 0; i < kNumCurvePaths; ++i) {
    const auto path = static_cast<ECurvePath>(i);
    EXPECT_EQ(KernelsFor(path).path, CurvePathSupported(path) ? path : ECurvePath::Scalar);
  }
}

// Random settings over the whole parameter ranges and inputs far outside full scale: every path
// stays within 1e-12 (relative, above 1) of the reference model and of every other path.
TEST(CurveKernels, EveryPathMatchesTheReferenceModelAndTheOthers) {
  std::mt19937 rng(20261210);
  const std::vector<ECurvePath> paths = SupportedPaths();
  for (int trial = 0; trial < 300; ++trial) {
    const CurveParams p = curve_reference::RandomParams(rng);
    const PreparedCurve r = PreparedCurve::From(CurveCoefficients::Derive(p));
    // An odd length leaves a tail on every vector width.
    const std::vector<double> in = Uniform(rng, 261, -10.0, 10.0);
    std::vector<std::vector<double>> outs;
    for (ECurvePath path : paths) outs.push_back(Transfer(KernelsFor(path), in, r));
    for (size_t i = 0; i < in.size(); ++i) {
      const double expected = curve_reference::Curve(in[i], p);
      for (size_t k = 0; k < paths.size(); ++k) {
        ASSERT_TRUE(Close(outs[k][i], expected))
            << CurvePathName(paths[k]) << " trial " << trial << " x=" << in[i] << " got "
            << outs[k][i] << " want " << expected;
        ASSERT_TRUE(Close(outs[k][i], outs[0][i])) << CurvePathName(paths[k]) << " vs scalar";
      }
    }
  }
}

// The curve's edges: exactly on a threshold or a knee end, zero and its sign, the sanitized
// extremes (where the polynomial blend reaches 1e22 and the sine's argument needs the full range
// reduction), and the scalar form's own results for them.
TEST(CurveKernels, EdgesOfTheCurveAgreeWithTheScalarForm) {
  CurveParams p;
  p.threshold = -20;
  p.thresholdAsym = 6;
  p.knee = 3;
  p.nonlinearity = 1.13;
  p.modA = 40;
  p.modB = 70;
  p.gain = 60;
  p.mix = 80;
  const CurveCoefficients c = CurveCoefficients::Derive(p);
  const PreparedCurve r = PreparedCurve::From(c);
  const double g = c.inputGain;
  std::vector<double> in = {0.0, -0.0, 1e-300, kSampleLimit, -kSampleLimit, 1.0, -1.0};
  CurveParams linear = p;  // thresholds and knee ends hit exactly, without the blends
  linear.modA = linear.modB = 0;
  const CurveCoefficients cl = CurveCoefficients::Derive(linear);
  const PreparedCurve rl = PreparedCurve::From(cl);
  std::vector<double> edges = {cl.upperThreshold / g, cl.lowerThreshold / g, cl.upperKneeEnd / g,
                               cl.lowerKneeEnd / g, std::nextafter(cl.upperThreshold, 2.0) / g};
  for (ECurvePath path : SupportedPaths()) {
    const CurveKernels& k = KernelsFor(path);
    const std::vector<double> out = Transfer(k, in, r);
    const std::vector<double> outEdges = Transfer(k, edges, rl);
    for (size_t i = 0; i < in.size(); ++i) {
      ASSERT_TRUE(std::isfinite(out[i])) << CurvePathName(path) << " x=" << in[i];
      EXPECT_TRUE(Close(out[i], TransferSample(in[i], c)))
          << CurvePathName(path) << " x=" << in[i] << " got " << out[i];
    }
    for (size_t i = 0; i < edges.size(); ++i)
      EXPECT_TRUE(Close(outEdges[i], TransferSample(edges[i], cl)))
          << CurvePathName(path) << " edge " << i << " got " << outEdges[i];
  }
}

// Mod B alone: the sine of the sample (times a quarter turn) through the rest of the curve, on
// every path within 2 ulp of the scalar form's (std::sin), over the whole range of arguments, where
// the vector paths change their method (1e5) and beyond; samples on either side of that change in
// one vector included.
TEST(CurveKernels, ModBsSineIsWithinTwoUlpOfTheScalarFormsAtAnyArgument) {
  std::mt19937 rng(7);
  for (const double gainDb : {0.0, 24.0, 60.0}) {
    CurveParams p;
    p.modB = 100;
    p.gain = gainDb;
    p.threshold = 0;  // the threshold stage leaves |u| <= 1 alone
    const CurveCoefficients c = CurveCoefficients::Derive(p);
    const PreparedCurve r = PreparedCurve::From(c);
    std::vector<double> in = Uniform(rng, 4001, -1.0, 1.0);
    for (double& x : in) x *= std::pow(10.0, std::uniform_real_distribution<>(-3.0, 2.0)(rng));
    // Arguments just inside and just outside the change of method, next to each other.
    const double edge = 1e5 / (c.inputGain * 1.5707963267948966);
    in.insert(in.end(), {edge * 0.999999, edge * 1.000001, -edge * 0.999999, -edge * 1.000001});
    for (ECurvePath path : SupportedPaths()) {
      const std::vector<double> out = Transfer(KernelsFor(path), in, r);
      for (size_t i = 0; i < in.size(); ++i) {
        const double want = TransferSample(in[i], c);
        ASSERT_LE(std::fabs(out[i] - want), 4.5e-16 * std::max(1.0, std::fabs(want)))
            << CurvePathName(path) << " gain " << gainDb << " x=" << in[i] << " got " << out[i]
            << " want " << want;
      }
    }
  }
}

// A sample's result does not depend on the block it arrives in: the same stream cut into
// blocks of many lengths comes out bit for bit the same on each path, in place or not.
TEST(CurveKernels, ResultsAreBitIdenticalWhateverTheBlocks) {
  std::mt19937 rng(11);
  CurveParams p = curve_reference::RandomParams(rng);
  p.modA = 30;
  p.modB = 60;
  const PreparedCurve r = PreparedCurve::From(CurveCoefficients::Derive(p));
  const std::vector<double> in = Uniform(rng, 1000, -4.0, 4.0);
  for (ECurvePath path : SupportedPaths()) {
    const CurveKernels& k = KernelsFor(path);
    const std::vector<double> whole = Transfer(k, in, r);
    for (int block : {1, 3, 7, 8, 9, 15, 16, 17, 64, 255, 256, 257, 999}) {
      std::vector<double> pieces = in;  // in place
      for (int pos = 0; pos < static_cast<int>(in.size()); pos += block) {
        const int n = std::min(block, static_cast<int>(in.size()) - pos);
        k.transfer(pieces.data() + pos, pieces.data() + pos, n, r);
      }
      for (size_t i = 0; i < in.size(); ++i)
        ASSERT_TRUE(SameBits(pieces[i], whole[i]))
            << CurvePathName(path) << " block " << block << " sample " << i;
    }
  }
}

// Between single-precision resamplers the curve takes and gives floats; its samples must be
// the double form's, rounded, or the oversampled sound would depend on the resamplers' type.
TEST(CurveKernels, SinglePrecisionSamplesAreTheDoubleFormsRounded) {
  std::mt19937 rng(12);
  for (const auto& [modA, modB] : {std::pair{0.0, 0.0}, {40.0, 0.0}, {0.0, 70.0}, {50.0, 50.0}}) {
    CurveParams p = curve_reference::RandomParams(rng);
    p.modA = modA;
    p.modB = modB;
    const PreparedCurve r = PreparedCurve::From(CurveCoefficients::Derive(p));
    std::vector<float> in(1001);
    for (float& v : in) v = static_cast<float>(std::uniform_real_distribution<>(-4.0, 4.0)(rng));
    in[5] = 0.0f;
    in[6] = -0.0f;
    in[7] = std::numeric_limits<float>::denorm_min();
    std::vector<double> wide(in.begin(), in.end());
    for (ECurvePath path : SupportedPaths()) {
      const CurveKernels& k = KernelsFor(path);
      const std::vector<double> expected = Transfer(k, wide, r);
      // In place and in blocks that leave every length of tail.
      for (int block : {1, 3, 5, 7, 8, 9, 16, 1001}) {
        std::vector<float> out = in;
        for (int pos = 0; pos < static_cast<int>(in.size()); pos += block) {
          const int n = std::min(block, static_cast<int>(in.size()) - pos);
          k.transferSingle(out.data() + pos, out.data() + pos, n, r);
        }
        for (size_t i = 0; i < in.size(); ++i) {
          const float want = static_cast<float>(expected[i]);
          ASSERT_EQ(std::memcmp(&out[i], &want, sizeof want), 0)
              << CurvePathName(path) << " block " << block << " sample " << i << ": " << out[i]
              << " against " << want;
        }
      }
    }
  }
}

TEST(CurveKernels, SanitizingMatchesTheScalarRuleOnEveryPath) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> in = {0.0,
                                  -0.0,
                                  1e-310,
                                  -1e-310,
                                  0.5,
                                  -7.25,
                                  kSampleLimit,
                                  -kSampleLimit,
                                  1e8 + 2.0,
                                  -1e9,
                                  inf,
                                  -inf,
                                  nan,
                                  -nan,
                                  1e300,
                                  -1e300,
                                  std::nextafter(kSampleLimit, 0.0),
                                  3.0};
  for (ECurvePath path : SupportedPaths()) {
    std::vector<double> out(in.size());
    KernelsFor(path).sanitize(in.data(), out.data(), static_cast<int>(in.size()));
    for (size_t i = 0; i < in.size(); ++i)
      EXPECT_TRUE(SameBits(out[i], SanitizeSample(in[i])))
          << CurvePathName(path) << " x=" << in[i] << " got " << out[i];
  }
}

// The meters against the per-sample follower, sample by sample, on signals that make them
// change side often (noise, bursts, a sine, a step): every side taken must be the follower's,
// so the levels agree to rounding over whole blocks of any length.
TEST(CurveKernels, MetersFollowLikeThePerSampleFollower) {
  chunkware_simple::AttRelEnvelope follower(1.0, 275.0, 44100.0);
  const MeterCoefficients k =
      MeterCoefficients::From(follower.AttackCoefficient(), follower.ReleaseCoefficient());
  std::mt19937 rng(5);
  const size_t n = 20000;
  std::vector<std::vector<double>> signals(kMeterSignals, std::vector<double>(n));
  for (size_t i = 0; i < n; ++i) {
    signals[0][i] = std::uniform_real_distribution<>(-1.0, 1.0)(rng);
    signals[1][i] = (i / 700) % 2 ? 0.8 * std::sin(0.3 * static_cast<double>(i)) : 0.0;
    signals[2][i] = 0.9 * std::sin(0.013 * static_cast<double>(i));
    signals[3][i] = i < 5000 ? 0.0 : (i < 12000 ? -1.0 : 0.25);
  }
  double expected[kMeterSignals] = {};
  std::vector<std::vector<double>> trace(kMeterSignals, std::vector<double>(n));
  for (size_t i = 0; i < n; ++i)
    for (int m = 0; m < kMeterSignals; ++m) {
      follower.FollowEnvelope(std::fabs(signals[m][i]), expected[m]);
      trace[m][i] = expected[m];
    }

  for (ECurvePath path : SupportedPaths()) {
    for (int block : {1, 5, 64, 512, static_cast<int>(n)}) {
      double states[kMeterSignals] = {};
      for (size_t pos = 0; pos < n; pos += static_cast<size_t>(block)) {
        const int len = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), n - pos));
        const double* at[kMeterSignals];
        for (int m = 0; m < kMeterSignals; ++m) at[m] = signals[m].data() + pos;
        KernelsFor(path).followMeters(at, len, states, k);
        const size_t last = pos + static_cast<size_t>(len) - 1;
        for (int m = 0; m < kMeterSignals; ++m)
          ASSERT_NEAR(states[m], trace[m][last], 1e-12 * std::max(1.0, trace[m][last]))
              << CurvePathName(path) << " block " << block << " meter " << m << " at " << last;
      }
    }
  }
}
