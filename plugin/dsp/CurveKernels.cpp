#include "plugin/dsp/CurveKernels.h"

#include <cstdlib>
#include <cstring>

namespace corvane {

PreparedCurve PreparedCurve::From(const CurveCoefficients& c) noexcept {
  PreparedCurve p;
  p.c = c;
  p.upperKneeReciprocal = 1.0 / (c.upperKneeEnd - c.upperThreshold);
  p.lowerKneeReciprocal = 1.0 / (c.lowerKneeEnd - c.lowerThreshold);
  p.upperSlope = c.upperRatio - 1.0;
  p.lowerSlope = c.lowerRatio - 1.0;
  return p;
}

namespace {

// The plain x86-64 forms: the scalar curve exactly as the sound is defined, sample by sample.

void TransferBlockScalar(const double* source, double* destination, int n,
                         const PreparedCurve& r) noexcept {
  TransferBlock(source, destination, n, r.c);
}

void TransferBlockScalarSingle(const float* source, float* destination, int n,
                               const PreparedCurve& r) noexcept {
  for (int i = 0; i < n; ++i)
    destination[i] = static_cast<float>(TransferSample(static_cast<double>(source[i]), r.c));
}

void SanitizeBlockScalar(const double* source, double* destination, int n) noexcept {
  for (int i = 0; i < n; ++i) destination[i] = SanitizeSample(source[i]);
}

// The follower moves its state towards the input, state + (1 - c)(in - state), written here as
// c * state + (1 - c) * in: the input's product is then off the state's dependency chain, which
// leaves one multiply and one add per sample on it. The side is a branch rather than a select,
// so that the comparison is predicted instead of waited for; the four meters' chains are
// independent and overlap. Release is the common side (a 1 ms attack catches up within a few
// samples), so it is the one laid out without a jump.
inline double Follow(double in, double state, const MeterCoefficients& k) {
  if (__builtin_expect(in > state, 0)) return k.attack * state + k.attackComplement * in;
  return k.release * state + k.releaseComplement * in;
}

void FollowMetersBlock(const double* const* signals, int n, double* states,
                       const MeterCoefficients& k) noexcept {
  double e[kMeterSignals] = {states[0], states[1], states[2], states[3]};
  for (int i = 0; i < n; ++i)
    for (int m = 0; m < kMeterSignals; ++m) e[m] = Follow(std::fabs(signals[m][i]), e[m], k);
  for (int m = 0; m < kMeterSignals; ++m) states[m] = e[m];
}

const CurveKernels kScalarKernels{ECurvePath::Scalar, TransferBlockScalar,
                                  TransferBlockScalarSingle, SanitizeBlockScalar,
                                  FollowMetersBlock};

ECurvePath PathFromEnvironment(ECurvePath fallback) {
  const char* wanted = std::getenv("CORVANE_SIMD");
  if (!wanted) return fallback;
  for (int i = 0; i < kNumCurvePaths; ++i) {
    const auto path = static_cast<ECurvePath>(i);
    if (std::strcmp(wanted, CurvePathName(path)) == 0 && CurvePathSupported(path)) return path;
  }
  return fallback;
}

}  // namespace

const char* CurvePathName(ECurvePath path) {
  switch (path) {
    case ECurvePath::Avx2:
      return "avx2";
    case ECurvePath::Avx512:
      return "avx512";
    case ECurvePath::Scalar:
      break;
  }
  return "scalar";
}

bool CurvePathSupported(ECurvePath path) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  // The processor's features as the operating system enables them (the wide registers' state
  // must be saved on a context switch, or the instructions fault).
  __builtin_cpu_init();
  switch (path) {
    case ECurvePath::Avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case ECurvePath::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("fma");
    case ECurvePath::Scalar:
      return true;
  }
  return false;
#else
  return path == ECurvePath::Scalar;
#endif
}

ECurvePath DefaultCurvePath() {
  static const ECurvePath path = [] {
    ECurvePath best = ECurvePath::Scalar;
    if (CurvePathSupported(ECurvePath::Avx2)) best = ECurvePath::Avx2;
    if (CurvePathSupported(ECurvePath::Avx512)) best = ECurvePath::Avx512;
    return PathFromEnvironment(best);
  }();
  return path;
}

const CurveKernels& KernelsFor(ECurvePath path) {
  if (!CurvePathSupported(path)) return kScalarKernels;
  switch (path) {
    case ECurvePath::Avx2:
      return Avx2Kernels();
    case ECurvePath::Avx512:
      return Avx512Kernels();
    case ECurvePath::Scalar:
      break;
  }
  return kScalarKernels;
}

}  // namespace corvane
