#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <vector>

struct soxr;

namespace iplug {

/** Phase response of a resampler's anti-aliasing filter. */
enum class EResamplerPhase : int32_t { Linear = 0, Minimum = 1 };

/** What the library computes and exchanges samples in. Automatic: single precision for filters
 * of up to kSinglePrecisionBits (about 120 dB), double beyond; Double: double throughout. */
enum class EResamplerPrecision : int32_t { Automatic = 0, Double = 1 };

/**
 * A fixed-ratio, single-channel resampler with a constant, integer latency.
 *
 * The underlying library (libsoxr) emits output in bursts and grows its internal buffers
 * while it warms up. This adapter hides both: at construction it pre-rolls silence so that
 * every internal buffer reaches its final size, measures the worst-case burst lag, and from
 * then on releases output at a steady rate behind that lag. After construction, Process()
 * never touches the heap.
 *
 * Output sample 0 corresponds to input time 0 (the stream is aligned); it is released once
 * InLenBeforeOutPos(0) input samples have gone in. The library's minimum-phase filters delay
 * audio a little further; LatencyFrac() is that delay, measured once per configuration at
 * construction, so that the two together are the true delay of the audio band.
 */
class Resampler {
 public:
  /**
   * @param srcRate, dstRate  sample rates in Hz (their ratio is what matters)
   * @param maxInLen          the largest input length Process() will be given
   * @param transitionBandPct transition band in percent of the lower Nyquist frequency
   * @param attenuationDb     stop-band attenuation
   */
  Resampler(double srcRate, double dstRate, int maxInLen, double transitionBandPct,
            double attenuationDb, EResamplerPhase phase,
            EResamplerPrecision precision = EResamplerPrecision::Automatic);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  /** [audio thread] Consumes n (<= maxInLen) input samples. `output` points to the samples
   * released by this call; the array belongs to the resampler, may be modified by the caller
   * and stays valid until the next call. Returns the number of released samples.
   *
   * Either sample type goes in and comes out; where it is the one the library computes in
   * (SinglePrecision()), it is handed over and released without a conversion, so a chain that
   * stays in that type between two resamplers converts nothing. A float is widened exactly and
   * a double rounded to nearest, so the stream is the same whichever types carry it. */
  int Process(const double* input, int n, double*& output) noexcept;
  int Process(const double* input, int n, float*& output) noexcept;
  int Process(const float* input, int n, float*& output) noexcept;
  int Process(const float* input, int n, double*& output) noexcept;

  /** Whether the library computes (and exchanges samples) in single precision. */
  bool SinglePrecision() const { return mSingle; }

  /** Input samples needed before output position `pos` is released. */
  int InLenBeforeOutPos(int pos) const;
  /** The filters' own delay beyond InLenBeforeOutPos(0), in input samples: their phase delay at
   * kDelayReferenceHz (or a tenth of the lower rate, when that is lower). */
  double LatencyFrac() const { return mFilterDelay; }

  /** Where the filters' delay is measured: the middle of the audio band, where a misaligned
   * dry/wet mix or a delay-compensated host would be heard first. */
  static constexpr double kDelayReferenceHz = 1000.0;

  /** What a resampler's filters and timing depend on. */
  struct Configuration {
    double srcRate, dstRate, transitionBandPct, attenuationDb;
    EResamplerPhase phase;
    EResamplerPrecision precision;
    auto operator<=>(const Configuration&) const = default;
  };
  /** What stepping through the library's lag pattern found. */
  struct LagProbe {
    int64_t maxLag = 0;
    int64_t maxLead = 0;
    int64_t steps = 0;
  };

  /** Filters specified to at most this many bits (about 120 dB) run in single precision. */
  static constexpr double kSinglePrecisionBits = 20.0;

  /** Name of the engine the library chose (e.g. "cr32s"). */
  const char* EngineName() const;
  bool IsValid() const { return mSoxr != nullptr; }

 private:
  struct NoDelayProbe {};
  /** A resampler that skips the delay measurement: the probe the measurement runs on. */
  Resampler(double srcRate, double dstRate, int maxInLen, double transitionBandPct,
            double attenuationDb, EResamplerPhase phase, EResamplerPrecision precision,
            NoDelayProbe);
  static double FilterDelay(double srcRate, double dstRate, double transitionBandPct,
                            double attenuationDb, EResamplerPhase phase);
  static double MeasureFilterDelay(double srcRate, double dstRate, double transitionBandPct,
                                   double attenuationDb, EResamplerPhase phase);

  static bool FindLagProbe(const Configuration& configuration, LagProbe& probe);
  static void KeepLagProbe(const Configuration& configuration, const LagProbe& probe);

  bool Init(double srcRate, double dstRate, double transitionBandPct, double attenuationDb,
            EResamplerPhase phase, EResamplerPrecision precision);
  bool PreRoll();
  template <class Native>
  bool PreRollAs();
  template <class Native>
  bool FeedSilence(const Native* zeros, int64_t n, int64_t& fedTotal);
  template <class Native, class In>
  bool Pump(const In* input, size_t n, size_t& consumed) noexcept;
  template <class In, class Out>
  int ProcessAs(const In* input, int n, Out*& output) noexcept;
  template <class Native, class Out>
  Out* Release(size_t count) noexcept;
  template <class T>
  std::vector<T>& FifoVector() noexcept;
  template <class T>
  T* Fifo() noexcept;
  template <class T>
  T* Empty() noexcept;
  size_t FifoSize() const { return mSingle ? mFifoSingle.size() : mFifoDouble.size(); }
  int64_t OutLenFor(int64_t inLen) const { return inLen * mNum / mDen; }

  soxr* mSoxr = nullptr;
  int mMaxInLen = 0;
  Configuration mConfiguration;
  // Exact output/input ratio; a rational ratio lets release counts stay integer forever.
  int64_t mNum = 1;
  int64_t mDen = 1;
  int mLatencyIn = 0;  // input samples before output 0 is due (a multiple of mDen)
  double mFilterDelay = 0.0;
  int64_t mLatencyOut = 0;  // the same delay in output samples
  // Output samples the library has produced but the caller has not received yet: [mHead, mTail)
  // of the FIFO in the library's own sample type.
  bool mSingle = false;
  std::vector<double> mFifoDouble;
  std::vector<float> mFifoSingle;
  // Released samples converted to the caller's type, when it is not the library's.
  std::vector<double> mReleasedDouble;
  std::vector<float> mReleasedSingle;
  size_t mHead = 0;
  size_t mTail = 0;
  size_t mPumpHeadroom = 0;  // free space one call may need behind mTail
  size_t mChunk = 0;         // longest single library call
  int64_t mInPhase = 0;      // (caller input count * mNum) mod mDen
  int64_t mOwed = 0;         // outputs due to the caller but not released yet (< 0 while filling)
  int64_t mProduced = 0;     // library output count, from creation on
  int64_t mDropTarget = 0;   // library outputs that belong to the pre-roll...
  int64_t mDropped = 0;      // ...and how many of them have been thrown away
  // Where rejected calls point `output`, so it is never null.
  double mEmptyDouble[1] = {0.0};
  float mEmptySingle[1] = {0.0f};
};

}  // namespace iplug
