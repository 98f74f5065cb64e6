#include "plugin/dsp/Oversampler.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace corvane {

OversamplingQuality OversamplingQuality::ForQuality(int quality) {
  using iplug::EResamplerPhase;
  switch (quality) {
    case 0:
      return {80.0, 20.0, EResamplerPhase::Minimum};
    case 1:
      return {96.0, 15.0, EResamplerPhase::Minimum};
    case 3:
      return {150.0, 5.0, EResamplerPhase::Minimum};
    case 4:
      return {180.0, 2.0, EResamplerPhase::Minimum};
    case 5:
      return {180.0, 2.0, EResamplerPhase::Linear};
    case 2:
    default:
      return {120.0, 10.0, EResamplerPhase::Minimum};
  }
}

Oversampler::Oversampler(int factor, int quality, double sampleRate, int maxBlock, int channels)
    : mFactor(factor),
      mQuality(quality),
      mSampleRate(sampleRate),
      mMaxBlock(maxBlock),
      mChannels(std::clamp(channels, 1, kChannels)) {
  const OversamplingQuality q = OversamplingQuality::ForQuality(quality);
  if (factor < 2 || maxBlock <= 0 || !(sampleRate > 0.0)) return;

  const double highRate = sampleRate * factor;
  for (int c = 0; c < mChannels; ++c) {
    const auto i = static_cast<size_t>(c);
    mUp[i] = std::make_unique<iplug::Resampler>(sampleRate, highRate, maxBlock, q.transitionBandPct,
                                                q.attenuationDb, q.phase);
    mDown[i] = std::make_unique<iplug::Resampler>(highRate, sampleRate, maxBlock * factor,
                                                  q.transitionBandPct, q.attenuationDb, q.phase);
    mUpInput[i].assign(static_cast<size_t>(maxBlock), 0.0);
  }

  if (!mUp[0] || !mDown[0]) return;
  mSingle = true;
  for (int c = 0; c < mChannels; ++c) {
    const auto i = static_cast<size_t>(c);
    mSingle = mSingle && mUp[i]->SinglePrecision() && mDown[i]->SinglePrecision();
  }
  const double up = mUp[0]->InLenBeforeOutPos(0) + mUp[0]->LatencyFrac();
  const double down = mDown[0]->InLenBeforeOutPos(0) + mDown[0]->LatencyFrac();
  mLatency = static_cast<int>(std::round(up + down / factor));
}

int Oversampler::LatencyFor(int factor, int quality, double sampleRate) {
  static std::mutex mutex;
  static std::map<std::tuple<int, int, double>, int> known;
  const auto key = std::make_tuple(factor, quality, sampleRate);
  std::lock_guard<std::mutex> lock(mutex);
  if (const auto found = known.find(key); found != known.end()) return found->second;
  // The block length and the channels change the buffers, never the timing.
  const int latency = Oversampler(factor, quality, sampleRate, 64, 1).Latency();
  known.emplace(key, latency);
  return latency;
}

}  // namespace corvane
