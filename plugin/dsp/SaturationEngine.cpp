#include "plugin/dsp/SaturationEngine.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>

#include "framework/dsp/DenormalGuard.h"

namespace corvane {

namespace {
constexpr double kFadeStep = 1.0 / kSwitchFadeSamples;
static_assert((kMeterDelaySize & (kMeterDelaySize - 1)) == 0, "the delay wraps with a mask");
constexpr unsigned kDelayMask = kMeterDelaySize - 1;

void Silence(double* channel, int frames) {
  std::fill_n(channel, frames, 0.0);
}
}  // namespace

// The neutral record's knee ends sit on its thresholds, so above +-1 its threshold stage divides
// zero by zero; until the first parameters arrive the engine runs the defaults' record instead,
// which sounds the same below full scale and stays finite above it.
SaturationEngine::SaturationEngine()
    : mCurve(PreparedCurve::From(CurveCoefficients::Derive(CurveParams{}))),
      mMeterTiming(kMeterAttackMs, kMeterReleaseMs, 44100.0) {
  PublishCurve(CurveCoefficients::Derive(CurveParams{}));
  SetMeterRate(44100.0);
  SetCurvePath(DefaultCurvePath());
}

void SaturationEngine::SetCurvePath(ECurvePath path) {
  mKernels = &KernelsFor(path);
  // Every stage of every kernel once, here rather than on the audio thread: the first call of a
  // library function (the vector sine) goes through the dynamic linker.
  CurveParams everything;
  everything.modA = everything.modB = 50.0;
  everything.threshold = -20.0;
  everything.nonlinearity = 1.1;
  const PreparedCurve r = PreparedCurve::From(CurveCoefficients::Derive(everything));
  double samples[16] = {0.5, -0.5, 2.0, -2.0, 0.01};
  mKernels->sanitize(samples, samples, 16);
  mKernels->transfer(samples, samples, 16, r);
  double states[kMeterSignals] = {};
  const double* const signals[kMeterSignals] = {samples, samples, samples, samples};
  mKernels->followMeters(signals, 16, states, mMeterCoefficients);
}

void SaturationEngine::SetMeterRate(double sampleRate) {
  mMeterTiming.SetDetectorRate(sampleRate);
  mMeterCoefficients =
      MeterCoefficients::From(mMeterTiming.AttackCoefficient(), mMeterTiming.ReleaseCoefficient());
}

SaturationEngine::~SaturationEngine() {
  for (auto& arrived : mArrived) delete arrived.exchange(nullptr);
}

void SaturationEngine::PublishCurve(const CurveCoefficients& record) noexcept {
  mCurve.Publish(PreparedCurve::From(record));
  double words[std::tuple_size_v<decltype(mLatestWords)>];
  std::memcpy(words, &record, sizeof words);
  mLatestSequence.fetch_add(1, std::memory_order_acq_rel);
  for (size_t i = 0; i < mLatestWords.size(); ++i)
    mLatestWords[i].store(words[i], std::memory_order_relaxed);
  mLatestSequence.fetch_add(1, std::memory_order_release);
}

CurveCoefficients SaturationEngine::LatestCurve() const noexcept {
  double words[std::tuple_size_v<decltype(mLatestWords)>];
  for (;;) {
    const uint32_t before = mLatestSequence.load(std::memory_order_acquire);
    if (before & 1u) continue;  // a write is on its way: words are a few stores long
    for (size_t i = 0; i < mLatestWords.size(); ++i)
      words[i] = mLatestWords[i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (mLatestSequence.load(std::memory_order_relaxed) == before) break;
  }
  CurveCoefficients record;
  std::memcpy(&record, words, sizeof record);
  return record;
}

void SaturationEngine::InitOversampling(bool on) {
  mRequested.store(on, std::memory_order_release);
  mActive.store(on, std::memory_order_release);
}

int SaturationEngine::ResetProcessing(double sampleRate, int blockSize, bool renderingOffline,
                                      int maxBlock, int channels) {
  SetMeterRate(sampleRate);
  mBuildChannels = std::clamp(channels, 1, Oversampler::kChannels);
  mMeterLevels.fill(0.0);

  mSwitchPending = false;
  mFadeCountdown = 0;
  mFadingOut = true;
  mFlushing = false;
  mFlushCountdown = 0;

  // A reset is a discontinuity anyway, so the requested state takes effect without a fade.
  // Offline renders always run oversampled; the request comes back when the render ends.
  mOffline = renderingOffline;
  mOfflineRequested.store(renderingOffline, std::memory_order_release);
  mActive.store(SwitchTarget(), std::memory_order_release);

  blockSize = std::max(blockSize, 1);
  if (maxBlock <= 0) maxBlock = std::max(blockSize, kDefaultMaxBlock);
  RebuildOversamplers(sampleRate, std::max(maxBlock, blockSize), renderingOffline);
  mPendingLatency.store(-1, std::memory_order_release);
  mUntouchedSinceReset = true;
  return OversamplingActive() ? mOversamplerLatency : 0;
}

int SaturationEngine::LatencyCeiling() const noexcept {
  return std::max(mLatencies[0], mLatencies[1]);
}

void SaturationEngine::SettleAfterReset() noexcept {
  if (!mUntouchedSinceReset) return;
  // The oversamplers are as the reset left them: taking the request now is what the reset
  // would have done with it.
  CompleteSwitchAtOnce();
}

std::unique_ptr<Oversampler> SaturationEngine::MakeOversampler(int mode) const {
  return std::make_unique<Oversampler>(kOversamplingFactor,
                                       mode == 1 ? kOfflineQuality : kRealtimeQuality, mBuildRate,
                                       mBuildMaxBlock, mBuildChannels);
}

void SaturationEngine::RebuildOversamplers(double sampleRate, int maxBlock, bool offline) {
  std::lock_guard<std::mutex> lock(mBuildMutex);
  mOversampler = nullptr;
  for (auto& oversampler : mOversamplers) oversampler.reset();
  for (auto& arrived : mArrived) delete arrived.exchange(nullptr, std::memory_order_acq_rel);
  mWanted.store(0, std::memory_order_release);
  mBuilt.fill(false);
  mCapacity = 0;
  mFlushing = false;
  mFlushCountdown = 0;
  mOversamplerLatency = 0;

  mBuildRate = sampleRate;
  mBuildMaxBlock = maxBlock;
  mLatencies[0] = Oversampler::LatencyFor(kOversamplingFactor, kRealtimeQuality, sampleRate);
  mLatencies[1] = Oversampler::LatencyFor(kOversamplingFactor, kOfflineQuality, sampleRate);
  const int mode = offline ? 1 : 0;
  for (int m = 0; m < 2; ++m) {
    // Without deferred builds both are at hand from here on; with them, what this state plays
    // through.
    const bool needed = !mRequester || (m == mode && SwitchTarget());
    if (!needed) continue;
    mOversamplers[static_cast<size_t>(m)] = MakeOversampler(m);
    mBuilt[static_cast<size_t>(m)] = true;
  }
  mOversampler = mOversamplers[static_cast<size_t>(mode)].get();
  mCapacity = maxBlock;
  for (auto& buffer : mSanitized) buffer.assign(static_cast<size_t>(maxBlock), 0.0);
  for (auto& buffer : mMeterInput) buffer.assign(static_cast<size_t>(maxBlock), 0.0);
  mOversamplerLatency = mLatencies[static_cast<size_t>(mode)];

  // New resamplers start from an empty history: flush them with silence before they are heard.
  if (mOversamplerLatency > 0 && OversamplingActive()) {
    mFlushing = true;
    mFlushCountdown = kMinBufferSamples + mOversamplerLatency;
  }
  ResetMeterDelay();
}

void SaturationEngine::ResetMeterDelay() noexcept {
  mDelayLength = std::min(mOversamplerLatency, kMeterDelaySize);
  mDelayWrite = 0;
  mDelayRead = (kMeterDelaySize - mDelayLength) % kMeterDelaySize;
  for (auto& ring : mMeterDelay) ring.fill(0.0);
}

void SaturationEngine::BuildRequested() {
  std::lock_guard<std::mutex> lock(mBuildMutex);
  const unsigned wanted = mWanted.load(std::memory_order_acquire);
  for (int m = 0; m < 2; ++m) {
    const auto i = static_cast<size_t>(m);
    if (!(wanted & (1u << m)) || mBuilt[i] || mCapacity <= 0) continue;
    try {
      mArrived[i].store(MakeOversampler(m).release(), std::memory_order_release);
    } catch (...) {
      mWanted.fetch_and(~(1u << m), std::memory_order_acq_rel);  // the audio thread asks again
      throw;
    }
    mBuilt[i] = true;
  }
}

Oversampler* SaturationEngine::Acquire(int mode) noexcept {
  const auto i = static_cast<size_t>(mode);
  if (mOversamplers[i]) return mOversamplers[i].get();
  // The slot is empty, so taking the delivered one frees nothing here.
  if (Oversampler* arrived = mArrived[i].exchange(nullptr, std::memory_order_acq_rel)) {
    mOversamplers[i].reset(arrived);
    return arrived;
  }
  const unsigned bit = 1u << mode;
  if (mRequester && !(mWanted.fetch_or(bit, std::memory_order_acq_rel) & bit) &&
      !mRequester(mRequesterContext))
    mWanted.fetch_and(~bit, std::memory_order_acq_rel);  // asked again at the next block
  return nullptr;
}

bool SaturationEngine::AdoptRequestedMode() noexcept {
  if (!ModeChangeRequested() || mCapacity <= 0) return false;
  const bool offline = mOfflineRequested.load(std::memory_order_acquire);
  // A mode whose oversampler has not arrived yet is adopted by a later switch.
  Oversampler* next = mOversamplers[offline ? 1 : 0].get();
  if (!next && (offline || mRequested.load(std::memory_order_acquire))) {
    next = Acquire(offline ? 1 : 0);
    if (!next) return false;
  }
  mOffline = offline;
  mOversampler = next;
  mOversamplerLatency = mLatencies[offline ? 1 : 0];
  ResetMeterDelay();
  return true;
}

bool SaturationEngine::TargetReady() noexcept {
  const bool offline = mOfflineRequested.load(std::memory_order_acquire);
  if (!offline && !mRequested.load(std::memory_order_acquire)) return true;
  return Acquire(offline ? 1 : 0) != nullptr;
}

void SaturationEngine::TakeOversamplerOfMode() noexcept {
  if (!mOversampler && SwitchTarget() && mCapacity > 0) mOversampler = Acquire(mOffline ? 1 : 0);
}

int SaturationEngine::TargetLatency() const noexcept {
  // The oversamplers are replaced only by a reset, never while blocks run: their latencies can
  // be read from any thread.
  const bool offline = mOfflineRequested.load(std::memory_order_acquire);
  if (!offline && !mRequested.load(std::memory_order_acquire)) return 0;
  return mLatencies[offline ? 1 : 0];
}

bool SaturationEngine::TakePendingLatency(int& latency) noexcept {
  const int pending = mPendingLatency.exchange(-1, std::memory_order_acq_rel);
  if (pending < 0) return false;
  latency = pending;
  return true;
}

void SaturationEngine::RepostPendingLatency(int latency) noexcept {
  int expected = -1;
  mPendingLatency.compare_exchange_strong(expected, latency, std::memory_order_acq_rel);
}

void SaturationEngine::StartRequestedSwitch() noexcept {
  if (mSwitchPending) return;
  // A change of rendering mode is switched to like a change of state.
  if (SwitchTarget() == OversamplingActive() && !ModeChangeRequested()) return;
  // Until the oversampler it ends in has been built, the current state plays on.
  if (!TargetReady()) return;
  mFadingOut = true;
  mFadeCountdown = kSwitchFadeSamples;
  mSwitchPending = true;
}

int SaturationEngine::FramesToNextEvent() const noexcept {
  int next = INT32_MAX;
  if (mSwitchPending && mFadeCountdown > 0) next = mFadeCountdown;
  if (mFlushing && OversamplerUsable() && mFlushCountdown > 0)
    next = std::min(next, mFlushCountdown);
  return next;
}

void SaturationEngine::ProcessAudio(double* const* inputs, double* const* outputs, int frames,
                                    int nInputs, int nOutputs) noexcept {
  if (nOutputs <= 0 || !outputs) return;
  frames = std::max(frames, 0);
  StartRequestedSwitch();
  if (mCapacity <= 0 || (frames <= std::min(mCapacity, FramesToNextEvent()))) {
    ProcessBlock(inputs, outputs, frames, nInputs, nOutputs);
    return;
  }
  // In pieces: no longer than the buffers, and cut where the switch or the flush changes state,
  // each piece exactly as if the host had sent it.
  std::array<double*, kMaxSplitChannels> in{};
  std::array<double*, kMaxSplitChannels> out{};
  const int nIn = std::clamp(nInputs, 0, kMaxSplitChannels);
  const int nOut = std::min(nOutputs, kMaxSplitChannels);
  for (int done = 0; done < frames;) {
    StartRequestedSwitch();
    const int n = std::min({mCapacity, frames - done, FramesToNextEvent()});
    for (int c = 0; c < nIn; ++c) in[c] = inputs && inputs[c] ? inputs[c] + done : nullptr;
    for (int c = 0; c < nOut; ++c) out[c] = outputs[c] + done;
    ProcessBlock(in.data(), out.data(), n, nIn, nOut);
    done += n;
  }
}

void SaturationEngine::ProcessBlock(double* const* inputs, double* const* outputs, int frames,
                                    int nInputs, int nOutputs) noexcept {
  iplug::ScopedDenormalGuard denormals;
  mUntouchedSinceReset = false;
  const bool pending = mSwitchPending;
  const bool active = OversamplingActive();
  const PreparedCurve& r = mCurve.Read();
  const int channels = std::min(std::min(nOutputs, nInputs), Oversampler::kChannels);
  // Only before the first reset can a block outgrow the buffers (there are none yet): then
  // nothing plays and the meters stand still.
  const bool buffered = mCapacity >= frames && mCapacity > 0;

  const double* meterLeft = nullptr;
  const double* meterRight = nullptr;
  if (buffered) {
    SanitizeInputs(inputs, frames, nInputs);
    MeterInputs(frames, nInputs, nOutputs, active && mDelayLength >= 1, meterLeft, meterRight);
  }

  bool silenced = false;
  if (mFlushing && OversamplerUsable()) {
    silenced = FlushOversampler(outputs, channels, nOutputs, frames, r);
    // The flush of a switch has just ended: the fade back up starts with the next block.
    if (silenced && !mFlushing && mSwitchPending && !mFadingOut && mFadeCountdown == 0)
      mFadeCountdown = kSwitchFadeSamples;
  }

  if (!silenced) {
    if (!buffered) {
      for (int c = 0; c < channels; ++c) Silence(outputs[c], frames);
    } else if (active && OversamplerUsable()) {
      ProcessChannelsOversampled(outputs, channels, frames, r);
    } else {
      ProcessChannelsPlain(outputs, channels, frames, r);
    }
    // Outputs without a matching input have nothing to process.
    for (int c = channels; c < std::min(nOutputs, Oversampler::kChannels); ++c)
      Silence(outputs[c], frames);
    if (pending) ApplySwitchFade(outputs, std::min(nOutputs, Oversampler::kChannels), frames);
  }

  if (buffered) {
    const double* const signals[kMeterSignals] = {meterLeft, meterRight, outputs[0],
                                                  outputs[nOutputs > 1 ? 1 : 0]};
    mKernels->followMeters(signals, frames, mMeterLevels.data(), mMeterCoefficients);
  }
  PushMeterLevels();
}

void SaturationEngine::SanitizeInputs(const double* const* inputs, int frames,
                                      int nInputs) noexcept {
  // Channel 0 always: without inputs the input meters follow its silence.
  const int channels = std::clamp(nInputs, 1, Oversampler::kChannels);
  for (int c = 0; c < channels; ++c) {
    const double* in = inputs && c < nInputs ? inputs[c] : nullptr;
    double* safe = mSanitized[static_cast<size_t>(c)].data();
    if (in)
      mKernels->sanitize(in, safe, frames);
    else
      Silence(safe, frames);
  }
}

void SaturationEngine::MeterInputs(int frames, int nInputs, int nOutputs, bool delayInput,
                                   const double*& left, const double*& right) noexcept {
  // The right-hand meter reads channel 1 when there are two outputs and it exists, else the
  // left one's channel.
  const int rightChannel = nOutputs > 1 && nInputs > 1 ? 1 : 0;
  left = mSanitized[0].data();
  right = mSanitized[static_cast<size_t>(rightChannel)].data();
  if (!delayInput) return;
  // Delayed by the oversampler's latency, in step with the output they are compared with. Both
  // meters of a mono block read one channel: it is delayed once.
  const bool mono = left == right;
  const double* sources[2] = {left, right};
  // The write position runs `lag` samples ahead of the read position: the first `lag` delayed
  // samples are the ring's, the rest the block's own, and the ring keeps the block's last ones.
  const int write = mDelayWrite;
  const int read = mDelayRead;
  const int lag = (write - read) & kDelayMask;
  const int fromRing = std::min(lag, frames);
  const int kept = std::min(frames, kMeterDelaySize);
  for (int c = 0; c < (mono ? 1 : 2); ++c) {
    double* ring = mMeterDelay[static_cast<size_t>(c)].data();
    double* delayed = mMeterInput[static_cast<size_t>(c)].data();
    const double* source = sources[c];
    const int firstRead = std::min(fromRing, kMeterDelaySize - read);
    std::copy_n(ring + read, firstRead, delayed);
    std::copy_n(ring, fromRing - firstRead, delayed + firstRead);
    std::copy_n(source, frames - fromRing, delayed + fromRing);
    const int keptFrom = frames - kept;
    const int at = (write + keptFrom) & kDelayMask;
    const int firstWrite = std::min(kept, kMeterDelaySize - at);
    std::copy_n(source + keptFrom, firstWrite, ring + at);
    std::copy_n(source + keptFrom + firstWrite, kept - firstWrite, ring);
  }
  mDelayWrite = (mDelayWrite + frames) % kMeterDelaySize;
  mDelayRead = (mDelayRead + frames) % kMeterDelaySize;
  left = mMeterInput[0].data();
  right = mMeterInput[mono ? 0 : 1].data();
}

void SaturationEngine::ProcessChannelsPlain(double* const* outputs, int channels, int frames,
                                            const PreparedCurve& r) noexcept {
  for (int c = 0; c < channels; ++c)
    mKernels->transfer(mSanitized[static_cast<size_t>(c)].data(), outputs[c], frames, r);
}

void SaturationEngine::ProcessChannelsOversampled(double* const* outputs, int channels, int frames,
                                                  const PreparedCurve& r,
                                                  int silentPrefix) noexcept {
  // Channels the oversampler has no resamplers for (more than the binding announced at the
  // reset) stay silent rather than reach past it.
  const int built = mOversampler->Channels();
  for (int c = built; c < channels; ++c) Silence(outputs[c], frames);
  channels = std::min(channels, built);
  for (int c = 0; c < channels; ++c) {
    double* out = outputs[c];
    const double* in = mSanitized[static_cast<size_t>(c)].data();
    if (silentPrefix > 0) {
      double* staged = mOversampler->UpInput(c);
      std::fill_n(staged, silentPrefix, 0.0);
      std::copy(in + silentPrefix, in + frames, staged + silentPrefix);
      in = staged;
    }

    const int k = mOversampler->SinglePrecision() ? ResampleChannel<float>(c, in, frames, r, out)
                                                  : ResampleChannel<double>(c, in, frames, r, out);
    Silence(out + k, frames - k);
  }
}

// Between the resamplers the samples stay in the type the resampling library computes in: a
// single-precision library then converts nothing on its way in or out, and the curve, which
// computes in double precision either way, gives the same samples it would give through doubles.
template <class Sample>
int SaturationEngine::ResampleChannel(int channel, const double* input, int frames,
                                      const PreparedCurve& r, double* output) noexcept {
  Sample* up = nullptr;
  const int m = mOversampler->Up(channel)->Process(input, frames, up);
  if (m <= 0) return 0;
  // The dry part of the mix is resampled with the rest, so it stays aligned with the wet.
  if constexpr (std::is_same_v<Sample, float>)
    mKernels->transferSingle(up, up, m, r);
  else
    mKernels->transfer(up, up, m, r);
  Sample* down = nullptr;
  const int k = std::min(frames, mOversampler->Down(channel)->Process(up, m, down));
  if (k <= 0) return 0;
  if (output) std::copy_n(down, k, output);
  return k;
}

// The flush clears the resamplers' old history while the outputs stay silent. Every block is
// fed whole, so the resampled stream keeps step with the host's timeline, and the last
// 2 x latency samples of the flush are the block's own input: when the fade back up starts, the
// resamplers already carry the signal and the fade brings in audio rather than silence.
bool SaturationEngine::FlushOversampler(double* const* outputs, int channels, int nOutputs,
                                        int frames, const PreparedCurve& r) noexcept {
  // While a switch's fade down runs, the block is processed normally; only the count runs on.
  const bool fadeDownRunning = mSwitchPending && mFadingOut;
  if (!fadeDownRunning) {
    // Twice the latency of signal: when the flush ends the filters have settled on it, so the
    // first audible sample is the signal itself, not the filters' step response.
    const int silentPrefix = std::clamp(mFlushCountdown - 2 * mOversamplerLatency, 0, frames);
    if (mCapacity >= frames) ProcessChannelsOversampled(outputs, channels, frames, r, silentPrefix);
  }
  mFlushCountdown -= frames;
  if (mFlushCountdown <= 0) {
    mFlushing = false;
    mFlushCountdown = 0;
  }
  if (fadeDownRunning) return false;
  for (int c = 0; c < nOutputs; ++c) Silence(outputs[c], frames);
  return true;
}

void SaturationEngine::ApplySwitchFade(double* const* outputs, int channels, int frames) noexcept {
  const int w = mFadeCountdown;
  const bool fadingOut = mFadingOut;
  for (int i = 0; i < frames; ++i) {
    const double x = std::clamp((i - w + kSwitchFadeSamples) * kFadeStep, 0.0, 1.0);
    const double gain = fadingOut ? 1.0 - (1.0 - kSwitchFadeFloor) * x
                                  : kSwitchFadeFloor + (1.0 - kSwitchFadeFloor) * x;
    for (int c = 0; c < channels; ++c) outputs[c][i] *= gain;
  }

  if (w - frames > 0) {
    mFadeCountdown = w - frames;
  } else if (mFadingOut) {
    // The fade down has ended: switch, then flush (when switching on) and fade back up.
    AdoptRequestedMode();
    TakeOversamplerOfMode();
    // Without its oversampler (a request changed during the fade) the plain path plays until a
    // later switch, once the build has arrived.
    const bool active = SwitchTarget() && mOversampler;
    mActive.store(active, std::memory_order_release);
    ReportLatency(active ? mOversamplerLatency : 0);
    if (active && mOversamplerLatency > 0) {
      mFlushing = true;
      mFlushCountdown = kMinBufferSamples + mOversamplerLatency;
      mFadeCountdown = 0;
    } else {
      // A flush only ever concerns the oversampled path.
      mFlushing = false;
      mFlushCountdown = 0;
      mFadeCountdown = kSwitchFadeSamples;
    }
    mFadingOut = false;
  } else {
    // The fade back up has ended. A request that arrived meanwhile starts a new switch with
    // the next block (StartRequestedSwitch).
    mFadeCountdown = 0;
    mFadingOut = true;
    mSwitchPending = false;
  }
}

void SaturationEngine::CompleteSwitchAtOnce() noexcept {
  // A state whose oversampler has not arrived yet waits for it; a switch under way ends now,
  // on the plain path if it must.
  if (!mSwitchPending && !TargetReady()) return;
  const bool rebuilt = AdoptRequestedMode();
  if (!rebuilt && !mSwitchPending && SwitchTarget() == OversamplingActive()) return;
  TakeOversamplerOfMode();
  const bool active = SwitchTarget() && mOversampler;
  mActive.store(active, std::memory_order_release);
  mFadeCountdown = 0;
  mFadingOut = true;
  mSwitchPending = false;
  ReportLatency(active ? mOversamplerLatency : 0);
  mFlushing = active && mOversamplerLatency >= 1;
  mFlushCountdown = mFlushing ? kMinBufferSamples + mOversamplerLatency : 0;
}

void SaturationEngine::ProcessWhileBypassed(double* const* inputs, int frames, int nInputs,
                                            int nOutputs) noexcept {
  if (nOutputs <= 0) return;
  frames = std::max(frames, 0);
  if (frames <= mCapacity || mCapacity <= 0) {
    BypassBlock(inputs, frames, nInputs, nOutputs);
    return;
  }
  std::array<double*, kMaxSplitChannels> in{};
  const int nIn = std::clamp(nInputs, 0, kMaxSplitChannels);
  for (int done = 0; done < frames; done += mCapacity) {
    for (int c = 0; c < nIn; ++c) in[c] = inputs && inputs[c] ? inputs[c] + done : nullptr;
    BypassBlock(in.data(), std::min(mCapacity, frames - done), nIn, nOutputs);
  }
}

void SaturationEngine::BypassBlock(double* const* inputs, int frames, int nInputs,
                                   int nOutputs) noexcept {
  iplug::ScopedDenormalGuard denormals;
  CompleteSwitchAtOnce();
  mUntouchedSinceReset = false;

  if (!OversamplingActive() || !OversamplerUsable()) return;
  const PreparedCurve& r = mCurve.Read();
  const int channels = std::min(std::min(nOutputs, nInputs), mOversampler->Channels());
  for (int c = 0; c < channels; ++c) {
    if (!inputs || !inputs[c] || mCapacity < frames) continue;
    double* staged = mOversampler->UpInput(c);
    mKernels->sanitize(inputs[c], staged, frames);
    if (mOversampler->SinglePrecision())
      ResampleChannel<float>(c, staged, frames, r, nullptr);
    else
      ResampleChannel<double>(c, staged, frames, r, nullptr);
  }
  if (mFlushing) {
    mFlushCountdown -= frames;
    if (mFlushCountdown <= 0) {
      mFlushing = false;
      mFlushCountdown = 0;
    }
  }
}

void SaturationEngine::PushMeterLevels() noexcept {
  // Order of the pushes follows the editor's layout: left pair first, then the right pair.
  static constexpr EMeter kOrder[] = {kMeterInputLeft, kMeterOutputLeft, kMeterInputRight,
                                      kMeterOutputRight};
  for (EMeter meter : kOrder) {
    MeterSender::Record record;
    record.ctrlTag = kMeterTags[meter];
    record.nChans = 1;
    record.chanOffset = 0;
    record.vals[0] = static_cast<float>(mMeterLevels[meter]);
    mSenders[meter].PushData(record);
  }
}

}  // namespace corvane
