#pragma once

#include <cmath>

namespace chunkware_simple {

/** One-pole smoothing coefficient for a time constant at a sample rate. */
class EnvelopeDetector {
 public:
  explicit EnvelopeDetector(double ms = 1.0, double sampleRate = 44100.0, double mode = 0.0)
      : mSampleRate(sampleRate), mTimeConstant(ms), mMode(mode) {
    UpdateCoefficient();
  }
  virtual ~EnvelopeDetector() = default;

  virtual void SetTimeConstant(double ms) {
    mTimeConstant = ms;
    UpdateCoefficient();
  }
  virtual double TimeConstant() const { return mTimeConstant; }
  virtual void SetRate(double sampleRate) {
    mSampleRate = sampleRate;
    UpdateCoefficient();
  }
  virtual double Rate() const { return mSampleRate; }
  virtual void SetMode(double mode) {
    mMode = mode;
    UpdateCoefficient();
  }
  virtual double Mode() const { return mMode; }

  double Coefficient() const { return mCoefficient; }

  /** Moves state towards in with this detector's coefficient. */
  void Run(double in, double& state) const { state = (state - in) * mCoefficient + in; }

 protected:
  virtual void UpdateCoefficient();

 private:
  double mSampleRate;
  double mTimeConstant;
  double mMode;
  double mCoefficient = 0.0;
};

inline void EnvelopeDetector::UpdateCoefficient() {
  const double samples = mTimeConstant * mSampleRate;
  if (mMode == 0.0) {
    mCoefficient = std::exp(-1000.0 / samples);
    return;
  }
  const double ratio = samples / 1000.0;
  const double k = 1.0 / (ratio > 1.0 ? ratio : 1.0);
  if (mMode == 1.0)
    mCoefficient = k;
  else if (mMode < 1.0)
    mCoefficient = (1.0 - mMode) / mMode * k;
  else
    mCoefficient = mMode * k;
}

/** Attack/release follower: the attack coefficient while the signal rises above the state,
 * the release coefficient otherwise. */
class AttRelEnvelope {
 public:
  AttRelEnvelope(double attackMs = 10.0, double releaseMs = 100.0, double sampleRate = 44100.0)
      : mAttack(attackMs, sampleRate), mRelease(releaseMs, sampleRate) {}
  virtual ~AttRelEnvelope() = default;

  virtual void SetAttackTime(double ms) { mAttack.SetTimeConstant(ms); }
  virtual double AttackTime() const { return mAttack.TimeConstant(); }
  virtual void SetReleaseTime(double ms) { mRelease.SetTimeConstant(ms); }
  virtual double ReleaseTime() const { return mRelease.TimeConstant(); }
  virtual void SetDetectorRate(double sampleRate) {
    mAttack.SetRate(sampleRate);
    mRelease.SetRate(sampleRate);
  }
  virtual double DetectorRate() const { return mAttack.Rate(); }

  double AttackCoefficient() const { return mAttack.Coefficient(); }
  double ReleaseCoefficient() const { return mRelease.Coefficient(); }

  /** in must be >= 0. */
  void FollowEnvelope(double in, double& state) const {
    if (in > state)
      mAttack.Run(in, state);
    else
      mRelease.Run(in, state);
  }

 private:
  EnvelopeDetector mAttack;
  EnvelopeDetector mRelease;
};

}  // namespace chunkware_simple
