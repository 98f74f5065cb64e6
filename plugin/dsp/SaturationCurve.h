#pragma once

#include <cmath>

namespace corvane {

/** dB to linear for thresholds and knee ends. */
constexpr double kThresholdDbToLin = 0.11512925464970228;
/** dB to linear for the input gain and the output level (a different, shorter constant that the
 * sound was tuned with). */
constexpr double kGainDbToLin = 0.1151292546497;
/** The sine blend's quarter-turn, deliberately not full-precision pi/2. */
constexpr double kSineQuarterTurn = 1.57079632675;
/** Number of points in the editor's picture of the curve. */
constexpr int kCurvePoints = 172;

/** Plain values of the eleven parameters that shape the curve. */
struct CurveParams {
  double threshold = 0.0;      // dB
  double thresholdAsym = 0.0;  // dB
  double nonlinearity = 1.0;
  double nonlinearityAsym = 0.0;
  double knee = 0.1;      // dB
  double kneeAsym = 0.0;  // dB
  double modA = 0.0;      // %
  double modB = 0.0;      // %
  double gain = 0.0;      // dB
  double mix = 50.0;      // %
  double output = 0.0;    // dB
};

/** Everything the audio thread needs to run the curve, derived once per parameter change. */
struct CurveCoefficients {
  double inputGain = 1.0;
  double outputGain = 1.0;
  double modA = 0.0;
  double modAComplement = 1.0;
  double polyScale = 2.0;
  double polyFold = 0.5;
  double modB = 0.0;
  double modBComplement = 1.0;
  double upperThreshold = 1.0;
  double lowerThreshold = -1.0;
  double upperKneeEnd = 1.0;
  double lowerKneeEnd = -1.0;
  double upperRatio = 1.0;
  double lowerRatio = 1.0;
  double dry = 0.5;
  double wet = 0.5;

  /** The record in force before any parameter has been read: a clean 50/50 mix. */
  static CurveCoefficients Neutral() { return {}; }
  /** Derives the record from plain parameter values. */
  static CurveCoefficients Derive(const CurveParams& p);
};
static_assert(sizeof(CurveCoefficients) == 16 * sizeof(double));

/** The memoryless nonlinearity for a sample that already carries the input gain. */
inline double CoreTransfer(double u, const CurveCoefficients& r) noexcept {
  if (r.modA > 0.0)
    u = (1.0 - std::fabs(u * r.polyFold)) * (u * r.polyScale) * r.modA + u * r.modAComplement;
  if (r.modB > 0.0) u = std::sin(u * kSineQuarterTurn) * r.modB + u * r.modBComplement;

  if (u > r.upperThreshold) {
    const double f = (u - r.upperThreshold) / (r.upperKneeEnd - r.upperThreshold);
    const double divisor = (f > 1.0 ? f : 1.0) * (r.upperRatio - 1.0) + 1.0;
    u = (u - r.upperThreshold) / divisor + r.upperThreshold;
  } else if (u < r.lowerThreshold) {
    const double f = (u - r.lowerThreshold) / (r.lowerKneeEnd - r.lowerThreshold);
    const double divisor = (f > 1.0 ? f : 1.0) * (r.lowerRatio - 1.0) + 1.0;
    u = (u - r.lowerThreshold) / divisor + r.lowerThreshold;
  }
  return u;
}

/** Input gain, curve, mix with the raw input, output gain. */
inline double TransferSample(double x, const CurveCoefficients& r) noexcept {
  return (CoreTransfer(x * r.inputGain, r) * r.wet + x * r.dry) * r.outputGain;
}

/** TransferSample over n samples; source and destination may be the same array. */
void TransferBlock(const double* source, double* destination, int n,
                   const CurveCoefficients& r) noexcept;

/** The editor's picture: kCurvePoints values in 0.0015 .. 0.999 for inputs -1 .. 1 - 2/172,
 * without mix and output gain. */
void ComputeCurvePoints(const CurveCoefficients& r, double* points) noexcept;

}  // namespace corvane
