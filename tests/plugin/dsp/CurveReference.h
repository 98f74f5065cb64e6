#pragma once

#include <algorithm>
#include <cmath>
#include <random>

#include "plugin/dsp/SaturationCurve.h"

namespace curve_reference {

// A deliberately plain restatement of the sound, written from the sound designer's
// description rather than from the engine's code: thresholds in dB per side, knee widths added
// in dB, ratios per side, the overshoot-dependent divisor, then mix and output.
inline double Db(double db, double k) {
  return std::exp(db * k);
}

inline double Curve(double x, const corvane::CurveParams& p) {
  const double kT = 0.11512925464970228, kG = 0.1151292546497;
  double u = x * Db(p.gain, kG);
  const double a = p.modA / 100.0, b = p.modB / 100.0;
  if (a > 0) u = a * (2.0 * u - u * std::fabs(u)) + (1.0 - a) * u;
  if (b > 0) u = b * std::sin(u * 1.57079632675) + (1.0 - b) * u;

  const double upDb = p.threshold + p.thresholdAsym / 2, dnDb = p.threshold - p.thresholdAsym / 2;
  const double upW = std::max(0.1, p.knee + p.kneeAsym / 2);
  const double dnW = std::max(0.1, p.knee - p.kneeAsym / 2);
  const double sides[2][3] = {
      {Db(upDb, kT), Db(upDb + upW, kT), std::max(1.0, p.nonlinearity + p.nonlinearityAsym / 2)},
      {-Db(dnDb, kT), -Db(dnDb + dnW, kT), std::max(1.0, p.nonlinearity - p.nonlinearityAsym / 2)}};
  for (int s = 0; s < 2; ++s) {
    const double t = sides[s][0], k = sides[s][1], ratio = sides[s][2];
    const bool beyond = s == 0 ? u > t : u < t;
    if (beyond) {
      const double over = u - t;
      const double f = over / (k - t);
      u = t + over / (std::max(1.0, f) * (ratio - 1.0) + 1.0);
      break;
    }
  }
  const double wet = p.mix / 100.0;
  return (u * wet + x * (1.0 - wet)) * Db(p.output, kG);
}

inline corvane::CurveParams RandomParams(std::mt19937& rng) {
  auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(rng); };
  corvane::CurveParams p;
  p.threshold = uni(-60, 0);
  p.thresholdAsym = uni(-30, 30);
  p.nonlinearity = uni(1, 1.13);
  p.nonlinearityAsym = uni(-0.06, 0.06);
  p.knee = uni(0.1, 9);
  p.kneeAsym = uni(-9, 9);
  p.modA = rng() % 4 == 0 ? 0.0 : uni(0, 100);
  p.modB = rng() % 4 == 0 ? 0.0 : uni(0, 100);
  p.gain = uni(0, 60);
  p.mix = uni(0, 100);
  p.output = uni(-60, 0);
  return p;
}

inline bool Close(double a, double b) {
  return std::fabs(a - b) <= 1e-12 * std::max(1.0, std::fabs(b));
}

}  // namespace curve_reference
