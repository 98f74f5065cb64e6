#include "framework/dsp/Resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>
#include <type_traits>

namespace iplug {

namespace {

// Bounds keep every count product (n * mNum, pos * mDen) far inside int64_t and the pre-roll
// padding (at most mDen - 1 single-sample steps) short.
constexpr int64_t kMaxRatioTerm = int64_t{1} << 16;
constexpr int kMaxInLenLimit = 1 << 24;

// The worst burst lag repeats with a period well under this many input samples in every
// configuration measured (the largest first occurrence seen was ~3500 steps at 180 dB / 2 %).
// Stepping costs ~50-100 ns per sample, so a generous count is cheap.
constexpr int kLagProbeSteps = 1 << 15;

// Longer library calls let some internal FIFOs outgrow what the pre-roll reached and realloc
// much later (seen with 8192 at 150 dB / 5 %, never with 4096 or less); splitting every call
// costs one extra library call per 1024 samples.
constexpr size_t kSoxrCallLimit = 1024;

// One huge silent call drives the library's internal FIFOs to their final size; a pre-roll of
// ordinary calls was seen to leave reallocations for much later. A FIFO only compacts instead
// of growing once it holds a fixed 16 KB ahead of its data, so a stage running at a fraction
// of the input rate needs that much more input to get there: 4096 samples (16 KB of floats)
// suffice where no stage runs below the input rate, and the FIFOs grow with it, so a larger
// call than needed is memory every instance keeps (a 4x upsampler: 0.74 MB against 0.26).
int64_t GiantPreRoll(int64_t num, int64_t den) {
  constexpr int64_t kBase = std::max<int64_t>(4096, 4 * kSoxrCallLimit);
  return kBase * std::max<int64_t>(1, (den + num - 1) / num);
}

// Finds num/den == dstRate/srcRate exactly (up to double rounding), so that release counts are
// exact integers that never drift against the library's own output clock.
bool RatioAsFraction(double srcRate, double dstRate, int64_t& num, int64_t& den) {
  if (!std::isfinite(srcRate) || !std::isfinite(dstRate) || srcRate <= 0.0 || dstRate <= 0.0)
    return false;
  const double ratio = dstRate / srcRate;
  int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
  double x = ratio;
  for (int i = 0; i < 64; ++i) {
    const double a = std::floor(x);
    if (a > static_cast<double>(kMaxRatioTerm)) return false;
    const int64_t ai = static_cast<int64_t>(a);
    const int64_t h2 = ai * h1 + h0;
    const int64_t k2 = ai * k1 + k0;
    if (h2 > kMaxRatioTerm || k2 > kMaxRatioTerm) return false;
    h0 = h1;
    h1 = h2;
    k0 = k1;
    k1 = k2;
    if (h1 > 0 &&
        std::fabs(static_cast<double>(h1) / static_cast<double>(k1) - ratio) <= 1e-12 * ratio) {
      num = h1;
      den = k1;
      return true;
    }
    const double frac = x - a;
    if (frac <= 0.0) return false;
    x = 1.0 / frac;
  }
  return false;
}

}  // namespace

Resampler::Resampler(double srcRate, double dstRate, int maxInLen, double transitionBandPct,
                     double attenuationDb, EResamplerPhase phase, EResamplerPrecision precision)
    : Resampler(srcRate, dstRate, maxInLen, transitionBandPct, attenuationDb, phase, precision,
                NoDelayProbe{}) {
  if (mSoxr) mFilterDelay = FilterDelay(srcRate, dstRate, transitionBandPct, attenuationDb, phase);
}

Resampler::Resampler(double srcRate, double dstRate, int maxInLen, double transitionBandPct,
                     double attenuationDb, EResamplerPhase phase, EResamplerPrecision precision,
                     NoDelayProbe)
    : mMaxInLen(maxInLen), mConfiguration{srcRate,       dstRate, transitionBandPct,
                                          attenuationDb, phase,   precision} {
  if (maxInLen <= 0 || maxInLen > kMaxInLenLimit ||
      !Init(srcRate, dstRate, transitionBandPct, attenuationDb, phase, precision) || !PreRoll()) {
    if (mSoxr) soxr_delete(mSoxr);
    mSoxr = nullptr;
    std::vector<double>().swap(mFifoDouble);
    std::vector<float>().swap(mFifoSingle);
    mHead = mTail = 0;
  }
}

// The delay depends only on the filter design, and every channel of an oversampler (and every
// instance at the same rate) asks for the same one: measured once per process.
double Resampler::FilterDelay(double srcRate, double dstRate, double transitionBandPct,
                              double attenuationDb, EResamplerPhase phase) {
  using Key = Configuration;
  static std::mutex mutex;
  static std::map<Key, double> measured;
  const Key key{srcRate,       dstRate, transitionBandPct,
                attenuationDb, phase,   EResamplerPrecision::Double};
  std::lock_guard<std::mutex> lock(mutex);
  const auto found = measured.find(key);
  if (found != measured.end()) return found->second;
  const double delay =
      MeasureFilterDelay(srcRate, dstRate, transitionBandPct, attenuationDb, phase);
  measured.emplace(key, delay);
  return delay;
}

// A steady sine goes through a twin of this resampler; a least-squares fit of the released
// stream to a sine of the same frequency gives its phase, and the phase gives the delay.
double Resampler::MeasureFilterDelay(double srcRate, double dstRate, double transitionBandPct,
                                     double attenuationDb, EResamplerPhase phase) {
  constexpr int kChunk = 1024;
  Resampler probe(srcRate, dstRate, kChunk, transitionBandPct, attenuationDb, phase,
                  EResamplerPrecision::Double, NoDelayProbe{});
  if (!probe.IsValid()) return 0.0;
  const double frequency = std::min(kDelayReferenceHz, 0.1 * std::min(srcRate, dstRate));
  const double inStep = 2.0 * std::numbers::pi * frequency / srcRate;
  const double outStep = 2.0 * std::numbers::pi * frequency / dstRate;
  // Long enough for the filters' start-up to die away well before the fitted stretch, which
  // then spans some fifty periods.
  const int64_t settle = 8 * static_cast<int64_t>(probe.mLatencyIn) + 4 * kChunk;
  const int64_t inLen = settle + static_cast<int64_t>(std::ceil(50.0 * srcRate / frequency));

  std::vector<double> in(kChunk);
  std::vector<double> out;
  out.reserve(static_cast<size_t>(probe.OutLenFor(inLen) + kChunk));
  for (int64_t pos = 0; pos < inLen; pos += kChunk) {
    const int n = static_cast<int>(std::min<int64_t>(kChunk, inLen - pos));
    for (int i = 0; i < n; ++i) in[static_cast<size_t>(i)] = std::sin(inStep * (pos + i));
    double* released = nullptr;
    const int m = probe.Process(in.data(), n, released);
    out.insert(out.end(), released, released + m);
  }

  // out[k] = a sin(outStep k) + b cos(outStep k) = sin(outStep k + phi), and out[k] stands for
  // input time k / ratio minus the delay d, so phi = -inStep d.
  const size_t first = static_cast<size_t>(probe.OutLenFor(settle));
  double ss = 0.0, sc = 0.0, cc = 0.0, ys = 0.0, yc = 0.0;
  for (size_t k = first; k < out.size(); ++k) {
    const double s = std::sin(outStep * static_cast<double>(k));
    const double c = std::cos(outStep * static_cast<double>(k));
    ss += s * s;
    sc += s * c;
    cc += c * c;
    ys += out[k] * s;
    yc += out[k] * c;
  }
  const double det = ss * cc - sc * sc;
  if (!(std::fabs(det) > 0.0)) return 0.0;
  const double a = (ys * cc - yc * sc) / det;
  const double b = (yc * ss - ys * sc) / det;
  if (!(std::hypot(a, b) > 0.5)) return 0.0;  // the tone did not come through: no estimate
  return -std::atan2(b, a) / inStep;
}

Resampler::~Resampler() {
  if (mSoxr) soxr_delete(mSoxr);
}

bool Resampler::Init(double srcRate, double dstRate, double transitionBandPct, double attenuationDb,
                     EResamplerPhase phase, EResamplerPrecision precision) {
  if (!RatioAsFraction(srcRate, dstRate, mNum, mDen)) return false;
  if (!std::isfinite(transitionBandPct) || !std::isfinite(attenuationDb)) return false;
  const double passbandEnd = 1.0 - 1.75 * transitionBandPct / 100.0;
  if (transitionBandPct <= 0.0 || passbandEnd <= 0.0) return false;

  // Phase constants must not go into the recipe flags: that selects a far slower engine.
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  // The library rejects precisions outside [15, 33] bits (80 dB would ask for 13.3).
  quality.precision = std::clamp(attenuationDb / 6.02, 15.0, 33.0);
  quality.phase_response = phase == EResamplerPhase::Minimum ? 0.0 : 50.0;
  quality.passband_end = passbandEnd;
  quality.stopband_begin = 1.0;

  // Small DFTs keep both the bursts (hence the latency) and the per-call work short.
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  runtime.log2_min_dft_size = 8;
  runtime.log2_large_dft_size = 8;

  // Up to 20 bits the library computes in single precision whatever it is given; handing it
  // single-precision samples as well saves its own conversions, which cost more than ours.
  mSingle =
      precision == EResamplerPrecision::Automatic && quality.precision <= kSinglePrecisionBits;
  const soxr_datatype_t type = mSingle ? SOXR_FLOAT32_I : SOXR_FLOAT64_I;
  const soxr_io_spec_t io = soxr_io_spec(type, type);
  soxr_error_t error = nullptr;
  mSoxr = soxr_create(srcRate, dstRate, 1, &error, &io, &quality, &runtime);
  if (error && mSoxr) {
    soxr_delete(mSoxr);
    mSoxr = nullptr;
  }
  return mSoxr != nullptr;
}

template <class T>
std::vector<T>& Resampler::FifoVector() noexcept {
  if constexpr (std::is_same_v<T, float>)
    return mFifoSingle;
  else
    return mFifoDouble;
}

template <class T>
T* Resampler::Fifo() noexcept {
  return FifoVector<T>().data();
}

template <class T>
T* Resampler::Empty() noexcept {
  if constexpr (std::is_same_v<T, float>)
    return mEmptySingle;
  else
    return mEmptyDouble;
}

template <class Native, class In>
bool Resampler::Pump(const In* input, size_t n, size_t& consumed) noexcept {
  Native* fifo = Fifo<Native>();
  const size_t size = FifoSize();
  if (mHead == mTail) {
    mHead = mTail = 0;
  } else if (size - mTail < mPumpHeadroom) {
    std::memmove(fifo, fifo + mHead, (mTail - mHead) * sizeof(Native));
    mTail -= mHead;
    mHead = 0;
  }
  bool ok = true;
  consumed = 0;
  // n == 0 still makes one call: that is how the pre-roll drains the library.
  do {
    size_t chunk = std::min(n - consumed, mChunk);
    const void* in = input + consumed;
    // Input of the other type is converted a library call at a time, on the stack.
    [[maybe_unused]] alignas(64) Native staged[std::is_same_v<In, Native> ? 1 : kSoxrCallLimit];
    if constexpr (!std::is_same_v<In, Native>) {
      chunk = std::min(chunk, kSoxrCallLimit);
      for (size_t i = 0; i < chunk; ++i) staged[i] = static_cast<Native>(input[consumed + i]);
      in = staged;
    }
    size_t idone = 0;
    size_t odone = 0;
    ok = soxr_process(mSoxr, in, chunk, &idone, fifo + mTail, size - mTail, &odone) == nullptr;
    mTail += odone;
    mProduced += static_cast<int64_t>(odone);
    consumed += idone;
    if (!ok || idone == 0) break;
  } while (consumed < n);
  if (mDropped < mDropTarget) {
    const size_t drop =
        static_cast<size_t>(std::min<int64_t>(mDropTarget - mDropped, mTail - mHead));
    mHead += drop;
    mDropped += static_cast<int64_t>(drop);
  }
  return ok;
}

template <class Native>
bool Resampler::FeedSilence(const Native* zeros, int64_t n, int64_t& fedTotal) {
  // Silence counts as pre-roll: every output it maps to is thrown away.
  for (int stalls = 0; n > 0;) {
    mDropTarget = OutLenFor(fedTotal + n);
    size_t consumed = 0;
    if (!Pump<Native>(zeros, static_cast<size_t>(n), consumed)) return false;
    fedTotal += static_cast<int64_t>(consumed);
    n -= static_cast<int64_t>(consumed);
    if (consumed == 0 && ++stalls > 8) return false;
  }
  mDropTarget = OutLenFor(fedTotal);
  return true;
}

namespace {

std::mutex& LagProbeMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<Resampler::Configuration, Resampler::LagProbe>& LagProbes() {
  static std::map<Resampler::Configuration, Resampler::LagProbe> probes;
  return probes;
}

}  // namespace

bool Resampler::FindLagProbe(const Configuration& configuration, LagProbe& probe) {
  std::lock_guard<std::mutex> lock(LagProbeMutex());
  const auto found = LagProbes().find(configuration);
  if (found == LagProbes().end()) return false;
  probe = found->second;
  return true;
}

void Resampler::KeepLagProbe(const Configuration& configuration, const LagProbe& probe) {
  std::lock_guard<std::mutex> lock(LagProbeMutex());
  LagProbes().emplace(configuration, probe);
}

bool Resampler::PreRoll() {
  return mSingle ? PreRollAs<float>() : PreRollAs<double>();
}

template <class Native>
bool Resampler::PreRollAs() {
  const int64_t giant = GiantPreRoll(mNum, mDen);
  const std::vector<Native> zeros(static_cast<size_t>(giant), Native{0});
  std::vector<Native>& fifo = FifoVector<Native>();
  fifo.assign(static_cast<size_t>(OutLenFor(giant) + 4096), Native{0});
  // Pre-roll output is dropped as it comes, so the buffer only ever holds a few samples.
  mPumpHeadroom = fifo.size() / 2;
  int64_t fed = 0;

  mChunk = static_cast<size_t>(giant);
  if (!FeedSilence(zeros.data(), giant, fed)) return false;
  // Every later call is at most this long.
  mChunk = kSoxrCallLimit;
  for (int i = 0; i < 1000; ++i) {
    size_t consumed = 0;
    const int64_t before = mProduced;
    // A null input would mean end-of-stream; an empty non-null one only drains.
    if (!Pump<Native>(zeros.data(), 0, consumed)) return false;
    if (mProduced == before) break;
  }
  for (int i = 0; i < 4; ++i) {
    if (!FeedSilence(zeros.data(), static_cast<int64_t>(kSoxrCallLimit), fed)) return false;
  }

  // O(T) depends only on the total input T, and the lag pattern is periodic, so stepping one
  // sample at a time visits every state that any chunking can reach. The pattern depends only
  // on the configuration: once stepped, later resamplers of the same one feed the same silence
  // in ordinary calls and take the result.
  LagProbe probe;
  if (!FindLagProbe(mConfiguration, probe)) {
    const int64_t start = fed;
    for (int step = 0; step < kLagProbeSteps || fed % mDen != 0; ++step) {
      if (!FeedSilence(zeros.data(), 1, fed)) return false;
      const int64_t lag = OutLenFor(fed) - mProduced;
      probe.maxLag = std::max(probe.maxLag, lag);
      probe.maxLead = std::max(probe.maxLead, -lag);
    }
    probe.steps = fed - start;
    KeepLagProbe(mConfiguration, probe);
  } else {
    const auto size = static_cast<int64_t>(zeros.size());
    for (int64_t left = probe.steps; left > 0; left -= size)
      if (!FeedSilence(zeros.data(), std::min(left, size), fed)) return false;
  }
  const int64_t maxLag = probe.maxLag;
  const int64_t maxLead = probe.maxLead;

  const int64_t latencyIn = mDen * ((maxLag + mNum - 1) / mNum);
  if (latencyIn > (int64_t{1} << 30)) return false;
  mLatencyIn = static_cast<int>(latencyIn);
  mLatencyOut = OutLenFor(latencyIn);
  mOwed = -mLatencyOut;
  mInPhase = 0;

  // Unreleased output never exceeds mLatencyOut + maxLead, and one call adds at most
  // maxInLen * ratio + maxLag + maxLead (+1 for rounding); sizing for twice the per-call need
  // makes compaction rare.
  const size_t backlog = static_cast<size_t>(mLatencyOut + maxLead);
  mPumpHeadroom =
      static_cast<size_t>(OutLenFor(mMaxInLen) + 1 + mLatencyOut + maxLead) + size_t{64};
  const size_t pending = mTail - mHead;
  if (pending > backlog) return false;
  std::vector<Native> sized(backlog + 2 * mPumpHeadroom, Native{0});
  std::copy_n(fifo.begin() + static_cast<std::ptrdiff_t>(mHead), pending, sized.begin());
  fifo.swap(sized);
  // A caller asking for the other type gets at most one call's release converted; the
  // library's own type is handed out in place.
  if (mSingle)
    mReleasedDouble.assign(mPumpHeadroom, 0.0);
  else
    mReleasedSingle.assign(mPumpHeadroom, 0.0f);
  mHead = 0;
  mTail = pending;

  while (fed % mDen != 0) {
    if (!FeedSilence(zeros.data(), 1, fed)) return false;
  }
  // Caller input starts at `fed`, a multiple of mDen, so caller output 0 maps to input time 0.
  mDropTarget = OutLenFor(fed);
  return true;
}

template <class Native, class Out>
Out* Resampler::Release(size_t count) noexcept {
  Native* from = Fifo<Native>() + mHead;
  if constexpr (std::is_same_v<Native, Out>) {
    return from;
  } else {
    Out* to = nullptr;
    if constexpr (std::is_same_v<Out, float>)
      to = mReleasedSingle.data();
    else
      to = mReleasedDouble.data();
    for (size_t i = 0; i < count; ++i) to[i] = static_cast<Out>(from[i]);
    return to;
  }
}

template <class In, class Out>
int Resampler::ProcessAs(const In* input, int n, Out*& output) noexcept {
  output = Empty<Out>();
  if (!mSoxr || n <= 0 || n > mMaxInLen || !input) return 0;
  size_t consumed = 0;
  // On a library error the accounting still advances, so the stream keeps its length and
  // timing (the caller gets fewer samples rather than misaligned ones).
  if (mSingle)
    Pump<float>(input, static_cast<size_t>(n), consumed);
  else
    Pump<double>(input, static_cast<size_t>(n), consumed);
  const int64_t acc = mInPhase + static_cast<int64_t>(n) * mNum;
  mOwed += acc / mDen;
  mInPhase = acc % mDen;
  // The latency was chosen so that the library is always ahead, and the conversion buffer
  // holds more than one call can owe; the clamps only guard against a broken promise, never
  // against normal operation.
  int64_t release = mOwed <= 0 ? 0 : std::min<int64_t>(mOwed, static_cast<int64_t>(mTail - mHead));
  if (mSingle != std::is_same_v<Out, float>)
    release = std::min<int64_t>(release, static_cast<int64_t>(mPumpHeadroom));
  const auto count = static_cast<size_t>(release);
  output = mSingle ? Release<float, Out>(count) : Release<double, Out>(count);
  mHead += count;
  mOwed -= release;
  return static_cast<int>(release);
}

int Resampler::Process(const double* input, int n, double*& output) noexcept {
  return ProcessAs(input, n, output);
}

int Resampler::Process(const double* input, int n, float*& output) noexcept {
  return ProcessAs(input, n, output);
}

int Resampler::Process(const float* input, int n, float*& output) noexcept {
  return ProcessAs(input, n, output);
}

int Resampler::Process(const float* input, int n, double*& output) noexcept {
  return ProcessAs(input, n, output);
}

// The released stream is the input delayed by mLatencyIn input samples and output `pos` sits at
// input time pos / ratio, hence latency + ceil(pos / ratio); pos 0 yields the latency itself,
// which is what the oversampler's latency formula relies on.
int Resampler::InLenBeforeOutPos(int pos) const {
  if (!mSoxr) return 0;
  const int64_t p = std::max(pos, 0);
  return static_cast<int>(mLatencyIn + (p * mDen + mNum - 1) / mNum);
}

const char* Resampler::EngineName() const {
  return mSoxr ? soxr_engine(mSoxr) : "none";
}

}  // namespace iplug
