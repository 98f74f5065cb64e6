// Built with AVX-512 (F and DQ) and FMA enabled, without contraction of products and sums into
// multiply-adds: only what is written as a multiply-add becomes one. Called only where the
// processor supports it (KernelsFor).
#include <immintrin.h>
#include <sleef.h>

// GCC 12's intrinsics fill unused pass-through operands from a self-initialized variable
// (_mm512_undefined_pd), which its own flow analysis then reports wherever they are inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "plugin/dsp/CurveKernels.h"

namespace corvane {
namespace {

struct V {
  using T = __m512d;
  using M = __mmask8;
  static constexpr int kLanes = 8;

  static T Load(const double* p) { return _mm512_loadu_pd(p); }
  static void Store(double* p, T v) { _mm512_storeu_pd(p, v); }
  // Single precision in and out: widened exactly, rounded to nearest (as a cast rounds).
  static T Load(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
  static void Store(float* p, T v) { _mm256_storeu_ps(p, _mm512_cvtpd_ps(v)); }
  static T Set(double x) { return _mm512_set1_pd(x); }
  static T Add(T a, T b) { return _mm512_add_pd(a, b); }
  static T Sub(T a, T b) { return _mm512_sub_pd(a, b); }
  static T Mul(T a, T b) { return _mm512_mul_pd(a, b); }
  static T Abs(T a) { return _mm512_abs_pd(a); }
  static T Max(T a, T b) { return _mm512_max_pd(a, b); }
  static M Greater(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
  static M Less(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
  static M LessEqual(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
  static M Or(M a, M b) { return static_cast<M>(a | b); }
  static bool Any(M m) { return m != 0; }
  static T Select(M m, T ifTrue, T ifFalse) { return _mm512_mask_blend_pd(m, ifFalse, ifTrue); }
  static T CopySign(T magnitude, T sign) {
    const __m512d signBit = _mm512_set1_pd(-0.0);
    return _mm512_or_pd(_mm512_andnot_pd(signBit, magnitude), _mm512_and_pd(signBit, sign));
  }
  // At most 1 ulp from the true sine, for any argument.
  static T Sin(T a) { return Sleef_sind8_u10avx512f(a); }
  static T MulAdd(T a, T b, T c) { return _mm512_fmadd_pd(a, b, c); }
  static T NegMulAdd(T a, T b, T c) { return _mm512_fnmadd_pd(a, b, c); }
  static T Nearest(T a) {
    return _mm512_roundscale_pd(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  }
  static T Floor(T a) { return _mm512_roundscale_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
  static M NotEqual(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_NEQ_UQ); }
  static bool All(M m) { return m == 0xff; }
  static T Negate(T a) { return _mm512_xor_pd(a, _mm512_set1_pd(-0.0)); }
  // The overshoot's divisor depends on the sample, so no reciprocal can be derived ahead. A
  // reciprocal estimate refined by Newton steps (rcp14, two steps and a correction of the
  // quotient) measured slower than the division in corvane_bench, and the division's quotient
  // is the scalar form's to the bit.
  static T Divide(T n, T d) { return _mm512_div_pd(n, d); }
};

#include "plugin/dsp/CurveKernelsVector.inc"

#include "plugin/dsp/MeterKernelVector.inc"

const CurveKernels kKernels{ECurvePath::Avx512, TransferBlockVector<V, double>,
                            TransferBlockVector<V, float>, SanitizeBlockVector<V>,
                            FollowMetersBlockVector};

}  // namespace

const CurveKernels& Avx512Kernels() {
  return kKernels;
}

}  // namespace corvane
