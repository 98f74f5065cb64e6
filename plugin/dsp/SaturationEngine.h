#pragma once

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/IPlugTripleBuffer.h"
#include "framework/ISender.h"
#include "framework/dsp/EnvelopeDetector.h"
#include "plugin/dsp/CurveKernels.h"
#include "plugin/dsp/Oversampler.h"
#include "plugin/dsp/SaturationCurve.h"

namespace corvane {

enum EMeter {
  kMeterInputLeft = 0,
  kMeterInputRight,
  kMeterOutputLeft,
  kMeterOutputRight,
  kNumMeters
};

/** Editor control tags the meter records are addressed to, by meter. */
constexpr int kMeterTags[kNumMeters] = {1, 2, 3, 4};

using MeterSender = iplug::ISender<1, 64, float>;

constexpr int kOversamplingFactor = 4;
constexpr int kRealtimeQuality = 2;
/** Offline renders can afford steeper filters. */
constexpr int kOfflineQuality = 3;
static_assert(kOfflineQuality != kRealtimeQuality, "the quality tells the rendering mode apart");
/** The flush after a rebuild feeds this many samples of silence before the latency's worth of
 * signal: enough to clear the filters, and the same whatever the host's block size, so that the
 * output does not depend on how the host cuts its blocks. */
constexpr int kMinBufferSamples = 1024;
/** The longest block processed in one piece unless the host announces longer ones; longer
 * blocks are processed in pieces of this size. */
constexpr int kDefaultMaxBlock = 4096;
/** Channels a block split into pieces can carry; the product has at most two. */
constexpr int kMaxSplitChannels = 8;
/** Length of each half of the oversampling switch's fade (down to -20 dB, then back up). */
constexpr int kSwitchFadeSamples = 256;
constexpr double kSwitchFadeFloor = 0.1;
constexpr int kMeterDelaySize = 1024;
constexpr double kMeterAttackMs = 1.0;
constexpr double kMeterReleaseMs = 275.0;

/**
 * The audio engine of the product: curve coefficients, the plain and the oversampled path,
 * the click-free oversampling switch, and the four level meters. It knows nothing of hosts,
 * parameters or editors; the plug-in class feeds it plain values and forwards its events.
 *
 * Threads: [audio] never allocates, locks or makes system calls; [main] is the host's main
 * thread; [reset] is any thread, but never while a block runs.
 */
class SaturationEngine {
 public:
  SaturationEngine();
  ~SaturationEngine();
  SaturationEngine(const SaturationEngine&) = delete;
  SaturationEngine& operator=(const SaturationEngine&) = delete;

  /** [any thread] Derives and publishes new coefficients; the audio thread picks them up at
   * its next block. */
  void SetCurve(const CurveParams& params) {
    UpdateCurve([&params] { return params; });
  }
  /**
   * [any thread, the audio thread included] Reads the parameters with readParams() and
   * publishes what they derive to. Calls from several threads never wait for each other: one
   * thread at a time derives, and a thread that finds another deriving leaves a mark that makes
   * it derive again. Whichever derivation is published last therefore read the parameters
   * after every other thread's change, so the record in force always matches the latest values.
   */
  template <typename ReadParams>
  void UpdateCurve(ReadParams&& readParams) {
    mCurveStale.store(true, std::memory_order_seq_cst);
    while (!mDeriving.exchange(true, std::memory_order_seq_cst)) {
      while (mCurveStale.exchange(false, std::memory_order_seq_cst))
        PublishCurve(CurveCoefficients::Derive(readParams()));
      mDeriving.store(false, std::memory_order_seq_cst);
      // A mark left after the last look but before the release is this thread's to serve.
      if (!mCurveStale.load(std::memory_order_seq_cst)) break;
    }
  }
  /** [any thread] The most recently published coefficients. */
  CurveCoefficients LatestCurve() const noexcept;

  /** [any thread] The state the oversampling switch should move to. The audio thread starts
   * the switch (fade down, switch, flush, fade up) at its next block. */
  void RequestOversampling(bool on) { mRequested.store(on, std::memory_order_release); }
  /** [main, before the first block] Sets requested and active state without a switch. */
  void InitOversampling(bool on);

  /**
   * [reset] Builds the oversamplers for a rate and block size (one for realtime and one for
   * offline rendering, so that changing between them never allocates) and clears the switch
   * state. Blocks of up to maxBlock frames (0: max(blockSize, kDefaultMaxBlock)) are processed
   * in one piece, longer ones in pieces. The requested oversampling state takes effect at once;
   * an offline render always runs oversampled, at the higher quality. `channels` (1 or 2) is the
   * most a block will carry until the next reset: the oversamplers get resamplers for that many,
   * and a block with more oversamples only those. Returns the latency now in force.
   */
  int ResetProcessing(double sampleRate, int blockSize, bool renderingOffline, int maxBlock = 0,
                      int channels = Oversampler::kChannels);
  /**
   * [any thread, the audio thread included] The host started or stopped rendering offline. The
   * audio thread moves to the other oversampler like an oversampling switch (fade down, switch,
   * flush, fade up; at once while bypassed) and asks for the new latency to be reported.
   */
  void SetRenderingOffline(bool offline) {
    mOfflineRequested.store(offline, std::memory_order_release);
  }

  /**
   * [audio, before the first block after a reset] Requests that arrived since the reset
   * (oversampling, the rendering mode) are the state processing starts in, exactly as if they
   * had been in force at the reset: no fade, the flush a new oversampler starts with, and the
   * latency to report. Does nothing once a block has run.
   */
  void SettleAfterReset() noexcept;

  /** Asks, from the audio thread and without blocking, for a later call to BuildRequested() on
   * a thread that may allocate; false when that cannot be had. */
  using BuildRequester = bool (*)(void* context) noexcept;
  /**
   * [main, before a reset] With a requester, a reset builds only the oversampler the state it
   * starts in plays through: the other one (or both, while oversampling is off) is built when a
   * switch first asks for it, off the audio thread, and the switch starts once it has arrived.
   * Without one (null), every reset builds both, so that no switch ever waits.
   */
  void SetBuildRequester(BuildRequester requester, void* context) {
    mRequester = requester;
    mRequesterContext = context;
  }
  /** [a thread that may allocate, not the audio thread] Builds the oversamplers the audio thread
   * has asked for since the last reset; they reach it at its next block. */
  void BuildRequested();

  /** [audio] inputs has nInputs channels, outputs nOutputs connected channels; channels from 2
   * upward are left as they are. inputs and outputs may be the same arrays. Any number of
   * frames: a block longer than the buffers is processed in pieces. */
  void ProcessAudio(double* const* inputs, double* const* outputs, int frames, int nInputs,
                    int nOutputs) noexcept;
  /** [audio] Keeps the resamplers' history current while the host bypasses the plug-in, and
   * completes a pending switch at once. */
  void ProcessWhileBypassed(double* const* inputs, int frames, int nInputs, int nOutputs) noexcept;

  /**
   * [main, blocks may be running] The latency once the requests made so far have taken effect:
   * the oversampler of the requested rendering mode's latency while oversampling is asked for
   * (or the render is offline), else 0.
   */
  int TargetLatency() const noexcept;
  /** [not during a block] The largest latency any state can have until the next reset: that of
   * the slower of the two oversamplers. */
  int LatencyCeiling() const noexcept;

  /** [main] Takes the latency the audio thread asked to report after a switch. */
  bool TakePendingLatency(int& latency) noexcept;
  /** [main] Puts back a latency taken but not reported (its report failed), unless the audio
   * thread has asked for a newer one meanwhile. */
  void RepostPendingLatency(int latency) noexcept;

  MeterSender& Sender(int meter) { return mSenders[static_cast<size_t>(meter)]; }
  double MeterLevel(int meter) const { return mMeterLevels[static_cast<size_t>(meter)]; }

  // State, for the plug-in and for tests.
  bool OversamplingActive() const { return mActive.load(std::memory_order_acquire); }
  bool OversamplingRequested() const { return mRequested.load(std::memory_order_acquire); }
  bool SwitchPending() const { return mSwitchPending; }
  bool FadingOut() const { return mFadingOut; }
  int FadeCountdown() const { return mFadeCountdown; }
  bool Flushing() const { return mFlushing; }
  int FlushCountdown() const { return mFlushCountdown; }
  int OversamplerLatency() const { return mOversamplerLatency; }
  int BufferCapacity() const { return mCapacity; }
  int SilenceLength() const { return kMinBufferSamples; }
  bool RenderingOffline() const { return mOffline; }
  const Oversampler* GetOversampler() const { return mOversampler; }

  /** [reset] The instruction set the curve and the meters run on (DefaultCurvePath() unless
   * set); an unsupported one falls back to the scalar path. */
  void SetCurvePath(ECurvePath path);
  ECurvePath CurvePath() const { return mKernels->path; }

 private:
  bool OversamplerUsable() const { return mOversampler && mOversampler->Usable(); }
  /** [audio] Whether the oversampler the requested state ends in is at hand (asked for if not). */
  bool TargetReady() noexcept;
  /** [audio] Takes the current mode's oversampler if the state needs it and it has arrived. */
  void TakeOversamplerOfMode() noexcept;
  bool SwitchTarget() const { return mOffline || mRequested.load(std::memory_order_acquire); }
  bool ModeChangeRequested() const {
    return mOfflineRequested.load(std::memory_order_acquire) != mOffline;
  }
  void RebuildOversamplers(double sampleRate, int maxBlock, bool offline);
  void ResetMeterDelay() noexcept;
  void SetMeterRate(double sampleRate);
  /** [audio] Moves to the oversampler of the requested rendering mode; false when in it. */
  bool AdoptRequestedMode() noexcept;
  void PublishCurve(const CurveCoefficients& record) noexcept;
  /** [audio] Frames until the switch or the flush changes state; the block is cut there, so
   * every change happens at the same sample whatever the host's block size. */
  int FramesToNextEvent() const noexcept;
  void StartRequestedSwitch() noexcept;
  void CompleteSwitchAtOnce() noexcept;
  /** [audio] One piece of at most mCapacity frames. */
  void ProcessBlock(double* const* inputs, double* const* outputs, int frames, int nInputs,
                    int nOutputs) noexcept;
  void BypassBlock(double* const* inputs, int frames, int nInputs, int nOutputs) noexcept;
  void ReportLatency(int latency) noexcept {
    mPendingLatency.store(latency, std::memory_order_release);
  }

  /** Sanitized copies of the input channels the block has (up to two; channel 0 silent when
   * there is none), made before any output is written, since inputs and outputs may be the same
   * arrays. */
  void SanitizeInputs(const double* const* inputs, int frames, int nInputs) noexcept;
  /** The input meters' signals: the sanitized inputs, through the delay when it is in use. */
  void MeterInputs(int frames, int nInputs, int nOutputs, bool delayInput, const double*& left,
                   const double*& right) noexcept;
  void ProcessChannelsPlain(double* const* outputs, int channels, int frames,
                            const PreparedCurve& r) noexcept;
  /** The first silentPrefix samples of the block go into the upsamplers as silence. */
  /** One channel's block up, through the curve and down; `output` (when not null) gets the
   * min(frames, released) samples that came back. Returns that count. */
  template <class Sample>
  int ResampleChannel(int channel, const double* input, int frames, const PreparedCurve& r,
                      double* output) noexcept;
  void ProcessChannelsOversampled(double* const* outputs, int channels, int frames,
                                  const PreparedCurve& r, int silentPrefix = 0) noexcept;
  bool FlushOversampler(double* const* outputs, int channels, int nOutputs, int frames,
                        const PreparedCurve& r) noexcept;
  void ApplySwitchFade(double* const* outputs, int channels, int frames) noexcept;
  void PushMeterLevels() noexcept;

  // Coefficients: written by parameter changes, read by the audio thread once per block.
  std::atomic<bool> mDeriving{false};
  std::atomic<bool> mCurveStale{false};
  iplug::TripleBuffer<PreparedCurve> mCurve;
  const CurveKernels* mKernels = nullptr;  // set by the constructor
  // A copy for readers on other threads (the curve picture): a sequence count around atomic
  // words, odd while the deriving thread writes.
  std::atomic<uint32_t> mLatestSequence{0};
  std::array<std::atomic<double>, sizeof(CurveCoefficients) / sizeof(double)> mLatestWords{};

  // Meters: one attack/release follower's timing for all four, in the kernels' form.
  chunkware_simple::AttRelEnvelope mMeterTiming;
  MeterCoefficients mMeterCoefficients;
  std::array<double, kNumMeters> mMeterLevels{};
  std::array<MeterSender, kNumMeters> mSenders;

  /** [audio] The oversampler of a rendering mode (0 realtime, 1 offline), taking one that a
   * deferred build has delivered; asks for the build when there is none yet. */
  Oversampler* Acquire(int mode) noexcept;
  std::unique_ptr<Oversampler> MakeOversampler(int mode) const;

  // Oversampling: one oversampler per rendering mode, realtime and offline; the audio thread's
  // own between resets. Their latencies are known from the reset on, built or not.
  std::array<std::unique_ptr<Oversampler>, 2> mOversamplers;
  std::array<int, 2> mLatencies{};
  // Deferred builds: asked for by the audio thread (mWanted), made under mBuildMutex (which a
  // reset takes too) and handed over through mArrived.
  BuildRequester mRequester = nullptr;
  void* mRequesterContext = nullptr;
  std::mutex mBuildMutex;
  std::array<std::atomic<Oversampler*>, 2> mArrived{};
  std::array<bool, 2> mBuilt{};  // built or on its way since the reset (under mBuildMutex)
  std::atomic<unsigned> mWanted{0};
  double mBuildRate = 0.0;
  int mBuildMaxBlock = 0;
  int mBuildChannels = Oversampler::kChannels;
  Oversampler* mOversampler = nullptr;  // the one in use
  int mCapacity = 0;                    // largest piece the buffers hold; 0 before the first reset
  std::array<std::vector<double>, 2> mSanitized;   // the block's inputs, made safe
  std::array<std::vector<double>, 2> mMeterInput;  // the same through the input meter delay
  std::atomic<bool> mActive{false};
  std::atomic<bool> mRequested{false};
  std::atomic<bool> mOfflineRequested{false};
  // The mode in use; an offline render runs oversampled whatever was requested.
  bool mOffline = false;
  int mOversamplerLatency = 0;

  // Switch state, owned by the audio thread between resets.
  bool mUntouchedSinceReset = false;  // no block has run since the last reset
  bool mSwitchPending = false;
  bool mFadingOut = true;
  int mFadeCountdown = 0;
  bool mFlushing = false;
  int mFlushCountdown = 0;
  /** Latency to report after a switch, or -1; the newest value wins. */
  std::atomic<int> mPendingLatency{-1};

  // Input meter delay: keeps the input meters in step with the delayed oversampled output.
  std::array<std::array<double, kMeterDelaySize>, 2> mMeterDelay{};
  int mDelayWrite = 0;
  int mDelayRead = 0;
  int mDelayLength = 0;
};

}  // namespace corvane
