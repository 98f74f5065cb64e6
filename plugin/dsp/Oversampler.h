#pragma once

#include <array>
#include <memory>
#include <vector>

#include "framework/dsp/Resampler.h"

namespace corvane {

/** Filter settings of one oversampling quality. */
struct OversamplingQuality {
  double attenuationDb;
  double transitionBandPct;
  iplug::EResamplerPhase phase;

  /** Qualities 0..5; any other value gets the settings of quality 2. */
  static OversamplingQuality ForQuality(int quality);
};

/**
 * Up- and down-samplers for one or two channels, built for one host rate and maximum block. The
 * curve runs between them at factor x the host rate. Built on the main thread at reset, used
 * only by the audio thread afterwards.
 */
class Oversampler {
 public:
  static constexpr int kChannels = 2;

  /** channels: 1 or 2 (clamped). A mono bus needs the resamplers of one channel only, and they
   * are most of what an instance keeps. */
  Oversampler(int factor, int quality, double sampleRate, int maxBlock, int channels = kChannels);

  int Factor() const { return mFactor; }
  int Quality() const { return mQuality; }
  double SampleRate() const { return mSampleRate; }
  int MaxBlock() const { return mMaxBlock; }
  /** Channels with resamplers: Up(c), Down(c) and UpInput(c) exist for c below it. */
  int Channels() const { return mChannels; }
  /** Total latency of up- and down-sampling, in host samples. */
  int Latency() const { return mLatency; }
  /** [not the audio thread] Latency() of an oversampler of these settings, without one: it
   * depends on the settings alone, so it is found once per process and kept. */
  static int LatencyFor(int factor, int quality, double sampleRate);

  /** Whether the resamplers compute in single precision, so that the curve between them can
   * take and give single-precision samples without a conversion of its own. */
  bool SinglePrecision() const { return mSingle; }

  /** Whether the oversampled path can run at all. */
  bool Usable() const { return mFactor >= 2 && mUp[0] != nullptr; }

  iplug::Resampler* Up(int channel) const { return mUp[static_cast<size_t>(channel)].get(); }
  iplug::Resampler* Down(int channel) const { return mDown[static_cast<size_t>(channel)].get(); }
  /** Staging copy of a channel's block handed to its upsampler. */
  double* UpInput(int channel) { return mUpInput[static_cast<size_t>(channel)].data(); }

 private:
  int mFactor;
  int mQuality;
  double mSampleRate;
  int mMaxBlock;
  int mChannels;
  int mLatency = 0;
  bool mSingle = false;
  std::array<std::unique_ptr<iplug::Resampler>, kChannels> mUp;
  std::array<std::unique_ptr<iplug::Resampler>, kChannels> mDown;
  std::array<std::vector<double>, kChannels> mUpInput;
};

}  // namespace corvane
