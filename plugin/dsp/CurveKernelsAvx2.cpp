// Built with AVX2 and FMA enabled, without contraction of products and sums into multiply-adds:
// only what is written as a multiply-add becomes one. Called only where the processor supports
// it (KernelsFor).
#include <immintrin.h>
#include <sleef.h>

#include "plugin/dsp/CurveKernels.h"

namespace corvane {
namespace {

struct V {
  using T = __m256d;
  using M = __m256d;  // all ones in a lane that is true
  static constexpr int kLanes = 4;

  static T Load(const double* p) { return _mm256_loadu_pd(p); }
  static void Store(double* p, T v) { _mm256_storeu_pd(p, v); }
  // Single precision in and out: widened exactly, rounded to nearest (as a cast rounds).
  static T Load(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
  static void Store(float* p, T v) { _mm_storeu_ps(p, _mm256_cvtpd_ps(v)); }
  static T Set(double x) { return _mm256_set1_pd(x); }
  static T Add(T a, T b) { return _mm256_add_pd(a, b); }
  static T Sub(T a, T b) { return _mm256_sub_pd(a, b); }
  static T Mul(T a, T b) { return _mm256_mul_pd(a, b); }
  static T Abs(T a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  static T Max(T a, T b) { return _mm256_max_pd(a, b); }
  static M Greater(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
  static M Less(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static M LessEqual(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
  static M Or(M a, M b) { return _mm256_or_pd(a, b); }
  static bool Any(M m) { return _mm256_movemask_pd(m) != 0; }
  static T Select(M m, T ifTrue, T ifFalse) { return _mm256_blendv_pd(ifFalse, ifTrue, m); }
  static T CopySign(T magnitude, T sign) {
    const __m256d signBit = _mm256_set1_pd(-0.0);
    return _mm256_or_pd(_mm256_andnot_pd(signBit, magnitude), _mm256_and_pd(signBit, sign));
  }
  // At most 1 ulp from the true sine, for any argument.
  static T Sin(T a) { return Sleef_sind4_u10avx2(a); }
  static T MulAdd(T a, T b, T c) { return _mm256_fmadd_pd(a, b, c); }
  static T NegMulAdd(T a, T b, T c) { return _mm256_fnmadd_pd(a, b, c); }
  static T Nearest(T a) {
    return _mm256_round_pd(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  }
  static T Floor(T a) { return _mm256_round_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
  static M NotEqual(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }
  static bool All(M m) { return _mm256_movemask_pd(m) == 0xf; }
  static T Negate(T a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
  // The overshoot's divisor depends on the sample: divided, as on the AVX-512 path, where the
  // division measured faster than a refined reciprocal estimate (AVX2 has none in double
  // precision at all).
  static T Divide(T n, T d) { return _mm256_div_pd(n, d); }
};

#include "plugin/dsp/CurveKernelsVector.inc"

#include "plugin/dsp/MeterKernelVector.inc"

const CurveKernels kKernels{ECurvePath::Avx2, TransferBlockVector<V, double>,
                            TransferBlockVector<V, float>, SanitizeBlockVector<V>,
                            FollowMetersBlockVector};

}  // namespace

const CurveKernels& Avx2Kernels() {
  return kKernels;
}

}  // namespace corvane
