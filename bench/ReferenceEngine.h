#pragma once

// The engine's audio path as it was before the block forms and the single-precision resamplers:
// kept, frozen, as the reference the benchmarks measure their ratios against in the same run.
// Sample by sample: the sanitizing, the scalar curve (two divisions and the library's sine per
// sample), the four meters' followers in two passes, and the oversampled path through
// double-precision resamplers. No switch, no flush: the steady state the targets are about.

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "framework/dsp/EnvelopeDetector.h"
#include "framework/dsp/Resampler.h"
#include "plugin/dsp/CurveKernels.h"
#include "plugin/dsp/SaturationCurve.h"

namespace reference {

/** The scalar curve, exactly as the sound is defined. */
inline double CoreTransfer(double u, const corvane::CurveCoefficients& r) {
  if (r.modA > 0.0)
    u = (1.0 - std::fabs(u * r.polyFold)) * (u * r.polyScale) * r.modA + u * r.modAComplement;
  if (r.modB > 0.0) u = std::sin(u * corvane::kSineQuarterTurn) * r.modB + u * r.modBComplement;
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

inline double TransferSample(double x, const corvane::CurveCoefficients& r) {
  return (reference::CoreTransfer(x * r.inputGain, r) * r.wet + x * r.dry) * r.outputGain;
}

// Kept out of line, as the engine's block form was: the loop is what was measured.
[[gnu::noinline]] inline void TransferBlock(const double* in, double* out, int n,
                                            const corvane::CurveCoefficients& r) {
  for (int i = 0; i < n; ++i) out[i] = reference::TransferSample(in[i], r);
}

class Engine {
 public:
  Engine(const corvane::CurveCoefficients& r, bool oversampled, double rate, int maxBlock)
      : mCurve(r), mOversampled(oversampled) {
    for (auto& meter : mMeters) meter = chunkware_simple::AttRelEnvelope(1.0, 275.0, rate);
    for (int c = 0; c < 2; ++c) {
      mStaged[c].assign(static_cast<size_t>(maxBlock), 0.0);
      if (!oversampled) continue;
      mUp[c] = std::make_unique<iplug::Resampler>(rate, 4.0 * rate, maxBlock, 10.0, 120.0,
                                                  iplug::EResamplerPhase::Minimum,
                                                  iplug::EResamplerPrecision::Double);
      mDown[c] = std::make_unique<iplug::Resampler>(4.0 * rate, rate, 4 * maxBlock, 10.0, 120.0,
                                                    iplug::EResamplerPhase::Minimum,
                                                    iplug::EResamplerPrecision::Double);
    }
  }

  void Process(double* const* in, double* const* out, int frames) {
    for (int i = 0; i < frames; ++i) {
      mMeters[0].FollowEnvelope(std::fabs(corvane::SanitizeSample(in[0][i])), mLevels[0]);
      mMeters[1].FollowEnvelope(std::fabs(corvane::SanitizeSample(in[1][i])), mLevels[1]);
    }
    for (int c = 0; c < 2; ++c) {
      if (!mOversampled) {
        for (int i = 0; i < frames; ++i)
          out[c][i] = reference::TransferSample(corvane::SanitizeSample(in[c][i]), mCurve);
        continue;
      }
      double* staged = mStaged[c].data();
      for (int i = 0; i < frames; ++i) staged[i] = corvane::SanitizeSample(in[c][i]);
      double* up = nullptr;
      const int m = mUp[c]->Process(staged, frames, up);
      reference::TransferBlock(up, up, m, mCurve);
      double* down = nullptr;
      const int k = mDown[c]->Process(up, m, down);
      std::copy_n(down, std::min(k, frames), out[c]);
    }
    for (int i = 0; i < frames; ++i) {
      mMeters[2].FollowEnvelope(std::fabs(out[0][i]), mLevels[2]);
      mMeters[3].FollowEnvelope(std::fabs(out[1][i]), mLevels[3]);
    }
  }

  double Level(int meter) const { return mLevels[static_cast<size_t>(meter)]; }

 private:
  corvane::CurveCoefficients mCurve;
  bool mOversampled;
  std::array<chunkware_simple::AttRelEnvelope, 4> mMeters;
  std::array<double, 4> mLevels{};
  std::array<std::vector<double>, 2> mStaged;
  std::array<std::unique_ptr<iplug::Resampler>, 2> mUp;
  std::array<std::unique_ptr<iplug::Resampler>, 2> mDown;
};

}  // namespace reference
