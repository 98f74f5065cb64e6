#pragma once

#include "plugin/dsp/SaturationCurve.h"

namespace corvane {

/** Input samples are clamped to +-this (about +160 dBFS), and NaN or infinite samples become
 * silence, so that nothing non-finite can enter the curve, the meters or the resamplers' filter
 * state. */
constexpr double kSampleLimit = 1.0e8;

inline double SanitizeSample(double x) noexcept {
  if (std::fabs(x) <= kSampleLimit) return x;
  if (std::isnan(x) || std::isinf(x)) return 0.0;
  return x > 0.0 ? kSampleLimit : -kSampleLimit;
}

/**
 * The instruction sets the block forms of the curve and the meters are built for. The module
 * is built for plain x86-64; the wider forms live in their own translation units and are
 * chosen at run time from what the processor (and its operating system) supports.
 */
enum class ECurvePath { Scalar = 0, Avx2, Avx512 };

constexpr int kNumCurvePaths = 3;

const char* CurvePathName(ECurvePath path);
/** Whether this processor can run the path. Scalar always can. */
bool CurvePathSupported(ECurvePath path);
/**
 * The widest supported path, or the one CORVANE_SIMD names ("scalar", "avx2", "avx512") when
 * this processor supports it. Decided once per process, on its first call (never on the audio
 * thread: the engine asks for it when it is built).
 */
ECurvePath DefaultCurvePath();

/**
 * The coefficient record as the block forms read it: the record itself plus what the threshold
 * stage would otherwise compute per sample, derived once per parameter change.
 */
struct PreparedCurve {
  CurveCoefficients c;
  /** 1 / (K - T) per side: the knee position f becomes a product. */
  double upperKneeReciprocal = 1.0;
  double lowerKneeReciprocal = 1.0;
  /** R - 1 per side. */
  double upperSlope = 0.0;
  double lowerSlope = 0.0;

  static PreparedCurve From(const CurveCoefficients& c) noexcept;
};

/** The attack and release coefficients of the four meters, in the form the kernels use. */
struct MeterCoefficients {
  double attack = 0.0;
  double release = 0.0;
  double attackComplement = 1.0;   // 1 - attack
  double releaseComplement = 1.0;  // 1 - release

  static MeterCoefficients From(double attack, double release) noexcept {
    return {attack, release, 1.0 - attack, 1.0 - release};
  }
};

/** Signals the meter kernel follows, in the engine's meter order. */
constexpr int kMeterSignals = 4;

/**
 * One path's block forms. All of them are [audio]: no allocation, no locks, no system calls.
 *
 * - transfer: TransferSample over n samples; source and destination may be the same array. The
 *   result for a sample does not depend on n or on the sample's position in the block.
 * - transferSingle: the same in single precision: each result is transfer's for the sample
 *   widened, rounded to the nearest float.
 * - sanitize: SanitizeSample over n samples; source and destination may be the same array.
 * - followMeters: for each sample i in order, each of the four states follows |signals[m][i]|
 *   with the attack coefficient while it rises above the state, the release coefficient
 *   otherwise. The signals must be finite.
 */
struct CurveKernels {
  ECurvePath path;
  void (*transfer)(const double* source, double* destination, int n,
                   const PreparedCurve& r) noexcept;
  void (*transferSingle)(const float* source, float* destination, int n,
                         const PreparedCurve& r) noexcept;
  void (*sanitize)(const double* source, double* destination, int n) noexcept;
  void (*followMeters)(const double* const* signals, int n, double* states,
                       const MeterCoefficients& k) noexcept;
};

/** The kernels of a path; an unsupported path gets the scalar ones. */
const CurveKernels& KernelsFor(ECurvePath path);

// The wider paths' tables, defined in their own translation units.
const CurveKernels& Avx2Kernels();
const CurveKernels& Avx512Kernels();

}  // namespace corvane
