#include "framework/dsp/Resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tests/support/AllocationCounter.h"

namespace {

using iplug::EResamplerPhase;
using iplug::Resampler;
using testsupport::ScopedAllocationCounter;

struct Quality {
  double transitionPct;
  double attenuationDb;
  EResamplerPhase phase;
};

constexpr Quality kQ120{10.0, 120.0, EResamplerPhase::Minimum};
constexpr Quality kQ150{5.0, 150.0, EResamplerPhase::Minimum};
constexpr Quality kQ120Linear{10.0, 120.0, EResamplerPhase::Linear};

// The oversampler's arrangement: host rate -> 4x -> (identity shaping) -> host rate.
struct Chain {
  Chain(double rate, int maxInLen, Quality q)
      : up(rate, 4.0 * rate, maxInLen, q.transitionPct, q.attenuationDb, q.phase),
        down(4.0 * rate, rate, 4 * maxInLen, q.transitionPct, q.attenuationDb, q.phase) {}

  /** How far the released stream lags the input: the samples that are not out yet. */
  long ReleaseLatency() const { return up.InLenBeforeOutPos(0) + down.InLenBeforeOutPos(0) / 4; }
  // The oversampler's own latency formula: the release lag plus the filters' own delay.
  int Latency() const {
    return static_cast<int>(std::lround(up.InLenBeforeOutPos(0) + up.LatencyFrac() +
                                        (down.InLenBeforeOutPos(0) + down.LatencyFrac()) / 4.0));
  }

  int Process(const double* in, int n, std::vector<double>* out = nullptr) {
    double* upOut = nullptr;
    const int m = up.Process(in, n, upOut);
    double* downOut = nullptr;
    const int k = down.Process(upOut, m, downOut);
    if (out) out->insert(out->end(), downOut, downOut + k);
    return k;
  }

  Resampler up;
  Resampler down;
};

std::vector<double> Noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> dist(-0.5, 0.5);
  std::vector<double> x(n);
  for (double& v : x) v = dist(rng);
  return x;
}

std::vector<double> Sine(size_t n, double freq, double rate, double amp) {
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = amp * std::sin(2.0 * std::numbers::pi * freq * i / rate);
  return x;
}

// Runs x through the chain in chunks of `chunk(rng)` samples and returns what a host sees: the
// samples not released yet are missing at the front, where the oversampler puts silence.
template <typename ChunkFn>
std::vector<double> HostView(Chain& chain, const std::vector<double>& x, ChunkFn chunk) {
  std::mt19937 rng(7);
  std::vector<double> released;
  for (size_t pos = 0; pos < x.size();) {
    const int n = std::min<int>(chunk(rng), static_cast<int>(x.size() - pos));
    chain.Process(x.data() + pos, n, &released);
    pos += n;
  }
  std::vector<double> y(x.size() - released.size(), 0.0);
  y.insert(y.end(), released.begin(), released.end());
  return y;
}

std::vector<double> HostView(Chain& chain, const std::vector<double>& x, int chunk) {
  return HostView(chain, x, [chunk](std::mt19937&) { return chunk; });
}

double Rms(const double* x, size_t n) {
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) sum += x[i] * x[i];
  return std::sqrt(sum / static_cast<double>(n));
}

TEST(Resampler, ReportsEngineAndExactLatency) {
  struct Case {
    Quality q;
    const char* engine;
    int upLatency;
    int downLatency;
    int chainLatency;
  };
  for (const Case& c : {Case{kQ120, "cr32s", 164, 652, 326}, Case{kQ150, "cr64s", 278, 1088, 549},
                        Case{kQ120Linear, "cr32s", 207, 836, 416}}) {
    SCOPED_TRACE(c.engine + std::to_string(c.chainLatency));
    Chain chain(44100.0, 512, c.q);
    ASSERT_TRUE(chain.up.IsValid());
    ASSERT_TRUE(chain.down.IsValid());
    EXPECT_STREQ(chain.up.EngineName(), c.engine);
    EXPECT_STREQ(chain.down.EngineName(), c.engine);
    EXPECT_EQ(chain.up.InLenBeforeOutPos(0), c.upLatency);
    EXPECT_EQ(chain.down.InLenBeforeOutPos(0), c.downLatency);
    // The filters' own delay is a fraction of a sample for linear phase, whose centre the
    // library compensates, and about a sample for minimum phase.
    EXPECT_LT(std::fabs(chain.up.LatencyFrac()), 2.0);
    EXPECT_LT(std::fabs(chain.down.LatencyFrac()), 8.0);
    EXPECT_EQ(chain.Latency(), c.chainLatency);
  }
}

/** Delay of y against x in samples at the frequency of the sine x, from a least-squares fit
 * of both to sine and cosine over [from, from + len); of the delays the phase allows (one per
 * period), the one nearest to `near`. */
double PhaseDelay(const std::vector<double>& x, const std::vector<double>& y, double freq,
                  double rate, size_t from, size_t len, double near) {
  const double w = 2.0 * std::numbers::pi * freq / rate;
  auto phase = [&](const std::vector<double>& v) {
    double s = 0.0, c = 0.0;
    for (size_t t = from; t < from + len; ++t) {
      s += v[t] * std::sin(w * static_cast<double>(t));
      c += v[t] * std::cos(w * static_cast<double>(t));
    }
    return std::atan2(c, s);
  };
  const double period = rate / freq;
  const double d = (phase(x) - phase(y)) / w;
  return d + std::round((near - d) / period) * period;
}

// A host compensates the reported latency; what it must line up with is the audio band, so
// the latency is the chain's true delay at 1 kHz to the nearest sample, not just the point
// where its first output appears.
TEST(Resampler, ChainLatencyIsItsPhaseDelayAtOneKilohertz) {
  for (const double rate : {44100.0, 48000.0, 96000.0}) {
    for (const Quality& q : {kQ120, kQ150}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(q.attenuationDb) + " dB");
      Chain chain(rate, 512, q);
      const std::vector<double> x = Sine(static_cast<size_t>(rate), 1000.0, rate, 0.5);
      const std::vector<double> y = HostView(chain, x, 512);
      // A whole number of 1 kHz periods, well after the filters have started up.
      const size_t period = static_cast<size_t>(rate / 1000.0 * 10.0);
      const double delay =
          PhaseDelay(x, y, 1000.0, rate, 8000, period * 40, chain.ReleaseLatency());
      EXPECT_NEAR(delay, chain.Latency(), 0.5);
      // The release lag alone is more than half a sample off.
      EXPECT_GT(std::fabs(delay - static_cast<double>(chain.ReleaseLatency())), 0.5);
      EXPECT_NEAR(chain.up.InLenBeforeOutPos(0) + chain.up.LatencyFrac() +
                      (chain.down.InLenBeforeOutPos(0) + chain.down.LatencyFrac()) / 4.0,
                  delay, 0.05);
    }
  }
}

// After every call the total released is exactly (input so far - latency) * ratio: nothing
// comes early, and once filled every call returns n * ratio, whatever the call sizes.
TEST(Resampler, ReleasesExactlyTheRatioBehindTheLatency) {
  constexpr int kMaxIn = 512;
  const std::vector<double> x = Noise(4 * 44100, 11);
  for (const Quality& q : {kQ120, kQ150, kQ120Linear}) {
    SCOPED_TRACE(q.attenuationDb);
    Chain chain(44100.0, kMaxIn, q);
    const long upLatency = chain.up.InLenBeforeOutPos(0);
    const long latency = chain.ReleaseLatency();
    std::mt19937 rng(3);
    long in = 0, upOut = 0, chainOut = 0;
    long badUp = 0, badChain = 0;
    for (size_t pos = 0; pos < x.size();) {
      // Single-sample calls, random calls up to the maximum, and full blocks.
      const int phase = static_cast<int>(pos / 22050) % 3;
      int n = phase == 0 ? 1 : phase == 1 ? static_cast<int>(rng() % kMaxIn) + 1 : kMaxIn;
      n = std::min<int>(n, static_cast<int>(x.size() - pos));
      double* upData = nullptr;
      const int m = chain.up.Process(x.data() + pos, n, upData);
      double* downData = nullptr;
      const int k = chain.down.Process(upData, m, downData);
      in += n;
      upOut += m;
      chainOut += k;
      pos += n;
      badUp += upOut != std::max(0L, 4 * (in - upLatency));
      badChain += chainOut != std::max(0L, in - latency);
    }
    EXPECT_EQ(badUp, 0);
    EXPECT_EQ(badChain, 0);
    EXPECT_EQ(chainOut, in - latency);
  }
}

// A rational, non-integer ratio keeps exact release counts.
TEST(Resampler, NonIntegerRatioReleasesExactCounts) {
  Resampler r(44100.0, 48000.0, 300, 10.0, 120.0, EResamplerPhase::Minimum);
  ASSERT_TRUE(r.IsValid());
  const long latency = r.InLenBeforeOutPos(0);
  EXPECT_EQ(latency % 147, 0);
  const std::vector<double> x = Noise(44100, 5);
  std::mt19937 rng(9);
  long in = 0, out = 0, bad = 0;
  for (size_t pos = 0; pos < x.size();) {
    const int n =
        std::min<int>(static_cast<int>(rng() % 300) + 1, static_cast<int>(x.size() - pos));
    double* data = nullptr;
    out += r.Process(x.data() + pos, n, data);
    in += n;
    pos += n;
    bad += out != std::max(0L, (in - latency) * 160 / 147);
  }
  EXPECT_EQ(bad, 0);
  EXPECT_GT(out, 0);
}

TEST(Resampler, ImpulseThroughTheChainPeaksAtTheLatency) {
  constexpr size_t kAt = 1000;
  std::vector<double> x(6000, 0.0);
  x[kAt] = 1.0;
  for (const Quality& q : {kQ120, kQ150, kQ120Linear}) {
    SCOPED_TRACE(q.attenuationDb + 1000.0 * static_cast<int>(q.phase));
    Chain chain(44100.0, 256, q);
    const int latency = chain.Latency();
    const std::vector<double> y = HostView(chain, x, 256);
    const size_t peak = static_cast<size_t>(
        std::max_element(y.begin(), y.end(),
                         [](double a, double b) { return std::fabs(a) < std::fabs(b); }) -
        y.begin());
    const long expected = static_cast<long>(kAt) + latency;
    EXPECT_GT(y[peak], 0.4);
    if (q.phase == EResamplerPhase::Linear) {
      ASSERT_EQ(static_cast<long>(peak), expected);
      double asym = 0.0;
      for (size_t k = 1; k < 300; ++k) asym = std::max(asym, std::fabs(y[peak + k] - y[peak - k]));
      EXPECT_LT(asym, 1e-6);
    } else {
      EXPECT_NEAR(static_cast<double>(peak), static_cast<double>(expected), 2.0);
    }
  }
}

TEST(Resampler, SineKeepsItsLevelAndIsDelayedByTheLatency) {
  constexpr double kRate = 44100.0;
  constexpr double kAmp = 0.5;
  const std::vector<double> x = Sine(22050, 1000.0, kRate, kAmp);
  for (const Quality& q : {kQ120, kQ150, kQ120Linear}) {
    SCOPED_TRACE(q.attenuationDb + 1000.0 * static_cast<int>(q.phase));
    Chain chain(kRate, 512, q);
    const size_t latency = static_cast<size_t>(chain.Latency());
    const std::vector<double> y = HostView(chain, x, 512);
    // Skip the filter's start-up; 441 samples are exactly ten periods.
    const size_t from = latency + 2000;
    const size_t len = 441 * 30;
    ASSERT_LE(from + len, y.size());
    const double gainDb = 20.0 * std::log10(Rms(y.data() + from, len) / (kAmp / std::sqrt(2.0)));
    EXPECT_NEAR(gainDb, 0.0, 0.001);
    if (q.phase == EResamplerPhase::Linear) {
      double err = 0.0;
      for (size_t t = from; t < y.size(); ++t)
        err = std::max(err, std::fabs(y[t] - x[t - latency]));
      EXPECT_LT(20.0 * std::log10(err / kAmp), -90.0);
    }
  }
}

TEST(Resampler, OutputDoesNotDependOnCallSizes) {
  constexpr int kMaxIn = 512;
  const std::vector<double> x = Noise(30000, 21);
  for (const Quality& q : {kQ120, kQ150, kQ120Linear}) {
    SCOPED_TRACE(q.attenuationDb + 1000.0 * static_cast<int>(q.phase));
    Chain fixed(44100.0, kMaxIn, q);
    Chain random(44100.0, kMaxIn, q);
    const std::vector<double> a = HostView(fixed, x, 64);
    const std::vector<double> b =
        HostView(random, x, [](std::mt19937& rng) { return static_cast<int>(rng() % kMaxIn) + 1; });
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
    EXPECT_GT(Rms(a.data() + 1000, a.size() - 1000), 0.1);
  }
}

// The oversampler shapes the upsampled block in place; that must never reach samples that are
// still waiting to be released. Halving is exact in floating point and the chain is linear, so
// halving in the middle and halving at the end must agree bit for bit.
// A chain may carry its samples as floats or doubles. Fed the same values, a resampler releases
// the same stream in either type, rounded where it is not the library's own; a single-precision
// library's stream is floats whichever type carries it, so a float chain between two of them
// loses nothing.
TEST(Resampler, EitherSampleTypeCarriesTheSameStream) {
  const std::vector<double> noise = Noise(20000, 17);
  const std::vector<float> x(noise.begin(), noise.end());
  for (const Quality& q : {kQ120, kQ150}) {
    for (const double ratio : {4.0, 0.25}) {
      const std::string what =
          std::to_string(q.attenuationDb) + " dB, ratio " + std::to_string(ratio);
      const int maxIn = 300;
      Resampler wide(44100.0, 44100.0 * ratio, maxIn, q.transitionPct, q.attenuationDb, q.phase);
      Resampler narrow(44100.0, 44100.0 * ratio, maxIn, q.transitionPct, q.attenuationDb, q.phase);
      EXPECT_EQ(wide.SinglePrecision(), q.attenuationDb == 120.0) << what;
      std::vector<double> a;
      std::vector<float> b;
      std::mt19937 rng(3);
      for (size_t pos = 0; pos < x.size();) {
        const int n = std::min<int>(std::uniform_int_distribution<>(1, maxIn)(rng),
                                    static_cast<int>(x.size() - pos));
        const std::vector<double> in(x.begin() + static_cast<long>(pos),
                                     x.begin() + static_cast<long>(pos) + n);
        double* wideOut = nullptr;
        const int m = wide.Process(in.data(), n, wideOut);
        a.insert(a.end(), wideOut, wideOut + m);
        float* narrowOut = nullptr;
        const int k = narrow.Process(x.data() + pos, n, narrowOut);
        b.insert(b.end(), narrowOut, narrowOut + k);
        pos += static_cast<size_t>(n);
      }
      ASSERT_EQ(a.size(), b.size()) << what;
      ASSERT_GT(a.size(), x.size() * ratio / 2) << what;
      for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(b[i], static_cast<float>(a[i])) << what << ", sample " << i;
        if (wide.SinglePrecision()) ASSERT_EQ(a[i], static_cast<double>(b[i])) << what;
      }
    }
  }
}

TEST(Resampler, CallerMayModifyReleasedSamplesInPlace) {
  constexpr int kMaxIn = 256;
  const std::vector<double> x = Noise(20000, 61);
  Chain shaped(44100.0, kMaxIn, kQ120);
  Chain plain(44100.0, kMaxIn, kQ120);
  std::vector<double> a, b;
  std::mt19937 rng(5);
  for (size_t pos = 0; pos < x.size();) {
    const int n =
        std::min<int>(static_cast<int>(rng() % kMaxIn) + 1, static_cast<int>(x.size() - pos));
    double* up = nullptr;
    const int m = shaped.up.Process(x.data() + pos, n, up);
    for (int i = 0; i < m; ++i) up[i] *= 0.5;
    double* down = nullptr;
    const int k = shaped.down.Process(up, m, down);
    a.insert(a.end(), down, down + k);
    const size_t before = b.size();
    plain.Process(x.data() + pos, n, &b);
    for (size_t i = before; i < b.size(); ++i) b[i] *= 0.5;
    pos += n;
  }
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

// Runs `seconds` of audio through the chain with call sizes from `chunk` and returns the number
// of heap allocations made while doing so; the release count is checked on the way.
template <typename ChunkFn>
long AllocationsWhileProcessing(Chain& chain, const std::vector<double>& x, double seconds,
                                double rate, ChunkFn chunk, long& in, long& out) {
  std::mt19937 rng(17);
  const long total = static_cast<long>(seconds * rate);
  ScopedAllocationCounter counter;
  for (long done = 0; done < total;) {
    const int n = static_cast<int>(std::min<long>(chunk(rng), total - done));
    const size_t at = static_cast<size_t>(in) % (x.size() - static_cast<size_t>(n));
    out += chain.Process(x.data() + at, n);
    in += n;
    done += n;
  }
  return counter.Count();
}

TEST(Resampler, ProcessingNeverAllocates) {
  constexpr int kMaxIn = 1024;
  const std::vector<double> x = Noise(1 << 16, 31);
  Chain chain(44100.0, kMaxIn, kQ120);
  long in = 0, out = 0;
  // One chain goes through every pattern: a host may change its call sizes at any time.
  const auto fixed = [](int n) { return [n](std::mt19937&) { return n; }; };
  EXPECT_EQ(AllocationsWhileProcessing(chain, x, 10.0, 44100.0, fixed(1), in, out), 0);
  EXPECT_EQ(AllocationsWhileProcessing(chain, x, 10.0, 44100.0, fixed(64), in, out), 0);
  EXPECT_EQ(AllocationsWhileProcessing(chain, x, 10.0, 44100.0, fixed(512), in, out), 0);
  EXPECT_EQ(AllocationsWhileProcessing(chain, x, 10.0, 44100.0, fixed(kMaxIn), in, out), 0);
  const auto upTo = [](int n) { return [n](std::mt19937& rng) { return int(rng() % n) + 1; }; };
  EXPECT_EQ(AllocationsWhileProcessing(chain, x, 10.0, 44100.0, upTo(kMaxIn), in, out), 0);
  EXPECT_EQ(AllocationsWhileProcessing(chain, x, 10.0, 44100.0, upTo(7), in, out), 0);
  EXPECT_EQ(out, in - chain.ReleaseLatency());
}

// The pre-roll grows the library's buffers only as far as each direction needs: every quality
// the oversampler offers, up and down, at the block lengths hosts use, must then run without
// the heap. (A pre-roll sized for the upsampler left the downsamplers one reallocation short.)
TEST(Resampler, EveryQualityRunsWithoutTheHeapInBothDirections) {
  const std::vector<double> x = Noise(1 << 16, 53);
  const Quality qualities[] = {
      {20.0, 80.0, EResamplerPhase::Minimum}, {15.0, 96.0, EResamplerPhase::Minimum}, kQ120, kQ150,
      {2.0, 180.0, EResamplerPhase::Minimum}, {2.0, 180.0, EResamplerPhase::Linear}};
  for (const Quality& q : qualities) {
    for (const int maxIn : {256, 1024}) {
      SCOPED_TRACE(std::to_string(q.attenuationDb) + " dB, blocks up to " + std::to_string(maxIn));
      Chain chain(48000.0, maxIn, q);
      ASSERT_TRUE(chain.up.IsValid());
      ASSERT_TRUE(chain.down.IsValid());
      long in = 0, out = 0;
      const auto sizes = [maxIn](std::mt19937& rng) {
        return rng() % 4 == 0 ? maxIn : static_cast<int>(rng() % maxIn) + 1;
      };
      EXPECT_EQ(AllocationsWhileProcessing(chain, x, 3.0, 48000.0, sizes, in, out), 0);
    }
  }
}

TEST(Resampler, OtherRatesAndLargeBlocksWork) {
  constexpr int kMaxIn = 16384;
  const std::vector<double> x = Noise(1 << 17, 41);
  for (const double rate : {48000.0, 96000.0, 192000.0}) {
    for (const Quality& q : {kQ120, kQ150}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(q.attenuationDb) + " dB");
      Chain chain(rate, kMaxIn, q);
      ASSERT_TRUE(chain.up.IsValid());
      ASSERT_TRUE(chain.down.IsValid());
      // The lag pattern depends on the ratio only, not on the rates themselves.
      EXPECT_EQ(chain.Latency(), q.attenuationDb == 120.0 ? 326 : 549);
      long in = 0, out = 0;
      const auto sizes = [](std::mt19937& rng) {
        return rng() % 4 == 0 ? kMaxIn : static_cast<int>(rng() % kMaxIn) + 1;
      };
      EXPECT_EQ(AllocationsWhileProcessing(chain, x, 1.0, rate, sizes, in, out), 0);
      EXPECT_EQ(out, in - chain.ReleaseLatency());
    }
  }
}

TEST(Resampler, RejectsBadCallsWithoutDisturbingTheStream) {
  Chain chain(44100.0, 64, kQ120);
  const std::vector<double> x = Noise(44100, 51);
  double* out = nullptr;
  EXPECT_EQ(chain.up.Process(x.data(), 65, out), 0);
  EXPECT_NE(out, nullptr);
  out = nullptr;
  EXPECT_EQ(chain.up.Process(x.data(), -1, out), 0);
  EXPECT_NE(out, nullptr);
  EXPECT_EQ(chain.up.Process(static_cast<const double*>(nullptr), 16, out), 0);
  EXPECT_EQ(chain.up.Process(x.data(), 0, out), 0);
  EXPECT_EQ(chain.down.Process(x.data(), 257, out), 0);
  // Rejected calls consumed nothing: the counts still follow the latency exactly.
  long in = 0, released = 0;
  for (size_t pos = 0; pos + 64 <= x.size(); pos += 64) {
    released += chain.Process(x.data() + pos, 64);
    in += 64;
  }
  EXPECT_EQ(released, in - chain.ReleaseLatency());
}

TEST(Resampler, InvalidConfigurationsFailCleanly) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Config {
    double src, dst;
    int maxIn;
    double tb, db;
  };
  for (const Config& c :
       {Config{0.0, 44100.0, 64, 10.0, 120.0}, Config{44100.0, -1.0, 64, 10.0, 120.0},
        Config{nan, 44100.0, 64, 10.0, 120.0}, Config{44100.0, 176400.0, 0, 10.0, 120.0},
        Config{44100.0, 176400.0, 64, 0.0, 120.0}, Config{44100.0, 176400.0, 64, 10.0, nan},
        Config{44100.0, 176400.0, 64, 80.0, 120.0}}) {
    Resampler r(c.src, c.dst, c.maxIn, c.tb, c.db, EResamplerPhase::Minimum);
    EXPECT_FALSE(r.IsValid());
    double in[4] = {};
    double* out = nullptr;
    EXPECT_EQ(r.Process(in, 4, out), 0);
    EXPECT_NE(out, nullptr);
    EXPECT_NE(r.EngineName(), nullptr);
  }
  // Attenuations outside the library's precision range are clamped rather than rejected.
  EXPECT_TRUE(Resampler(44100.0, 176400.0, 64, 10.0, 80.0, EResamplerPhase::Minimum).IsValid());
  EXPECT_TRUE(Resampler(44100.0, 176400.0, 64, 10.0, 240.0, EResamplerPhase::Minimum).IsValid());
}

// The caller sanitizes its input, but a stray NaN or infinity must cost at most a short burst
// of garbage, never a crash or a broken stream.
TEST(Resampler, NonFiniteInputPassesWithoutHarm) {
  Chain chain(44100.0, 256, kQ120);
  std::vector<double> x = Sine(44100, 440.0, 44100.0, 0.5);
  x[5000] = std::numeric_limits<double>::quiet_NaN();
  x[5001] = std::numeric_limits<double>::infinity();
  std::vector<double> y;
  long in = 0, released = 0;
  for (size_t pos = 0; pos + 256 <= x.size(); pos += 256) {
    released += chain.Process(x.data() + pos, 256, &y);
    in += 256;
  }
  EXPECT_EQ(released, in - chain.ReleaseLatency());
  ASSERT_GT(y.size(), 30000u);
  EXPECT_TRUE(std::all_of(y.end() - 10000, y.end(), [](double v) { return std::isfinite(v); }));
}

}  // namespace

namespace {

/** Runs x through one resampler in blocks of 512 and returns everything it released. */
std::vector<double> Through(Resampler& r, const std::vector<double>& x) {
  std::vector<double> y;
  for (size_t pos = 0; pos < x.size(); pos += 512) {
    const int n = static_cast<int>(std::min<size_t>(512, x.size() - pos));
    double* out = nullptr;
    const int m = r.Process(x.data() + pos, n, out);
    y.insert(y.end(), out, out + m);
  }
  return y;
}

/** The amplitude of the component at `freq` in one second of y (from `start`), by a least-squares
 * fit. Every frequency used here is a whole number of hertz, so over one second the components
 * are orthogonal and each fit sees its own alone, however far below the others it lies. */
double AmplitudeAt(const std::vector<double>& y, double freq, double rate, size_t start) {
  const auto len = static_cast<size_t>(rate);
  double s = 0.0, c = 0.0;
  for (size_t i = 0; i < len; ++i) {
    const double w = 2.0 * std::numbers::pi * freq * static_cast<double>(i) / rate;
    s += y[start + i] * std::sin(w);
    c += y[start + i] * std::cos(w);
  }
  return 2.0 * std::hypot(s, c) / static_cast<double>(len);
}

double Db(double ratio) {
  return 20.0 * std::log10(ratio);
}

}  // namespace

// The attenuation of the quality table is the bar, whatever precision the library computes in
// (single precision up to 120 dB, double beyond). A tone high in the pass band leaves images
// in the oversampled stream that the upsampler must hold down; the same image frequency fed to
// the downsampler folds back onto the tone unless the downsampler holds it down.
TEST(Resampler, StopBandRejectionMeetsTheQualityTable) {
  constexpr double kRate = 44100.0;
  constexpr double kTone = 17000.0;         // inside the pass band at 10 % and at 5 %
  constexpr double kImage = kRate - kTone;  // 27100 Hz, above the host rate's Nyquist
  for (const Quality& q : {kQ120, kQ150}) {
    SCOPED_TRACE(std::to_string(q.attenuationDb) + " dB");
    Resampler up(kRate, 4.0 * kRate, 512, q.transitionPct, q.attenuationDb, q.phase);
    const std::vector<double> tone = Sine(3 * static_cast<size_t>(kRate), kTone, kRate, 0.5);
    const std::vector<double> high = Through(up, tone);
    const size_t start = static_cast<size_t>(4.0 * kRate);  // one second in
    const double kept = AmplitudeAt(high, kTone, 4.0 * kRate, start);
    EXPECT_NEAR(kept, 0.5, 0.01);
    for (double image : {kImage, kRate + kTone, 2.0 * kRate - kTone})
      EXPECT_LT(Db(AmplitudeAt(high, image, 4.0 * kRate, start) / kept), -q.attenuationDb)
          << "image at " << image << " Hz";

    Resampler down(4.0 * kRate, kRate, 2048, q.transitionPct, q.attenuationDb, q.phase);
    const std::vector<double> above =
        Sine(3 * static_cast<size_t>(4.0 * kRate), kImage, 4.0 * kRate, 0.5);
    const std::vector<double> folded = Through(down, above);
    EXPECT_LT(Db(AmplitudeAt(folded, kTone, kRate, static_cast<size_t>(kRate)) / 0.5),
              -q.attenuationDb);
  }
}

// Single precision inside must not raise the noise floor to where it would be heard beside the
// filters' own rejection: a tone through the whole chain comes back with everything that is not
// the tone (noise, distortion, folded images) below the table's attenuation.
TEST(Resampler, ChainAddsNothingAboveTheAttenuation) {
  constexpr double kRate = 44100.0;
  for (const Quality& q : {kQ120, kQ150}) {
    SCOPED_TRACE(std::to_string(q.attenuationDb) + " dB");
    Chain chain(kRate, 512, q);
    const std::vector<double> x = Sine(3 * static_cast<size_t>(kRate), 1000.0, kRate, 0.5);
    const std::vector<double> y = HostView(chain, x, 512);
    // Fit the tone (and a constant) over one second and measure what is left.
    const auto start = static_cast<size_t>(kRate);
    const auto len = static_cast<size_t>(kRate);
    double s = 0.0, c = 0.0;
    for (size_t i = 0; i < len; ++i) {
      const double w = 2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / kRate;
      s += y[start + i] * std::sin(w);
      c += y[start + i] * std::cos(w);
    }
    s *= 2.0 / static_cast<double>(len);
    c *= 2.0 / static_cast<double>(len);
    double residual = 0.0;
    for (size_t i = 0; i < len; ++i) {
      const double w = 2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / kRate;
      const double e = y[start + i] - s * std::sin(w) - c * std::cos(w);
      residual += e * e;
    }
    const double toneRms = std::hypot(s, c) / std::sqrt(2.0);
    const double residualRms = std::sqrt(residual / static_cast<double>(len));
    EXPECT_NEAR(toneRms, 0.5 / std::sqrt(2.0), 0.01);
    RecordProperty("residual_db", std::to_string(Db(residualRms / toneRms)));
    EXPECT_LT(Db(residualRms / toneRms), -q.attenuationDb);
  }
}
