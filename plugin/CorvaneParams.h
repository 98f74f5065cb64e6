#pragma once

namespace corvane {

/** Parameter indices; the order is part of the saved state and of the host's parameter IDs. */
enum EParams {
  kThreshold = 0,
  kThresholdAsym,
  kNonlinearity,
  kNonlinearityAsym,
  kKnee,
  kKneeAsym,
  kModA,
  kModB,
  kGain,
  kMix,
  kOutputLevel,
  kOversampling,
  kNumParams
};

}  // namespace corvane
