#include "plugin/dsp/SaturationCurve.h"

namespace corvane {

namespace {
double Larger(double p, double q) {
  return p > q ? p : q;
}
}  // namespace

CurveCoefficients CurveCoefficients::Derive(const CurveParams& p) {
  CurveCoefficients r;
  r.inputGain = std::exp(p.gain * kGainDbToLin);
  r.outputGain = std::exp(p.output * kGainDbToLin);
  r.modA = p.modA / 100.0;
  r.modAComplement = 1.0 - p.modA / 100.0;
  r.polyScale = 2.0;
  r.polyFold = 0.5;
  r.modB = p.modB / 100.0;
  r.modBComplement = 1.0 - p.modB / 100.0;

  // The asymmetry controls move the two sides apart by half their value each; knee widths are
  // added in dB, so K_up > T_up > 0 > T_dn > K_dn always holds.
  const double upper = p.threshold + 0.5 * p.thresholdAsym;
  const double lower = p.threshold - 0.5 * p.thresholdAsym;
  const double upperWidth = Larger(0.1, p.knee + 0.5 * p.kneeAsym);
  const double lowerWidth = Larger(0.1, p.knee - 0.5 * p.kneeAsym);
  r.upperThreshold = std::exp(upper * kThresholdDbToLin);
  r.lowerThreshold = -std::exp(lower * kThresholdDbToLin);
  r.upperKneeEnd = std::exp((upper + upperWidth) * kThresholdDbToLin);
  r.lowerKneeEnd = -std::exp((lower + lowerWidth) * kThresholdDbToLin);
  r.upperRatio = Larger(1.0, p.nonlinearity + 0.5 * p.nonlinearityAsym);
  r.lowerRatio = Larger(1.0, p.nonlinearity - 0.5 * p.nonlinearityAsym);
  r.dry = 1.0 - p.mix * 0.01;
  r.wet = p.mix * 0.01;
  return r;
}

void TransferBlock(const double* source, double* destination, int n,
                   const CurveCoefficients& r) noexcept {
  for (int i = 0; i < n; ++i) destination[i] = TransferSample(source[i], r);
}

void ComputeCurvePoints(const CurveCoefficients& r, double* points) noexcept {
  for (int i = 0; i < kCurvePoints; ++i) {
    const double x = (static_cast<double>(i) / kCurvePoints * 2.0 - 1.0) * r.inputGain;
    double v = (CoreTransfer(x, r) + 1.0) * 0.5;
    v = v < 0.999 ? v : 0.999;
    v = v > 0.0015 ? v : 0.0015;
    points[i] = v;
  }
}

}  // namespace corvane
