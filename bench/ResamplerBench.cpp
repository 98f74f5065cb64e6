#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "framework/dsp/Resampler.h"

namespace {

// The oversampler's resampling cost alone: host rate -> 4x -> identity -> host rate, one channel
// (a stereo instance pays this twice).
void BM_OversamplingChain(benchmark::State& state, double transitionPct, double attenuationDb) {
  constexpr double kRate = 44100.0;
  const int block = static_cast<int>(state.range(0));
  iplug::Resampler up(kRate, 4.0 * kRate, block, transitionPct, attenuationDb,
                      iplug::EResamplerPhase::Minimum);
  iplug::Resampler down(4.0 * kRate, kRate, 4 * block, transitionPct, attenuationDb,
                        iplug::EResamplerPhase::Minimum);
  if (!up.IsValid() || !down.IsValid()) {
    state.SkipWithError("resampler construction failed");
    return;
  }
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> dist(-0.5, 0.5);
  std::vector<double> input(static_cast<size_t>(block));
  for (double& v : input) v = dist(rng);

  // Between the two, the samples stay in the type the library computes in, as in the engine.
  const auto chain = [&](auto* upOut) {
    const int m = up.Process(input.data(), block, upOut);
    decltype(upOut) downOut = nullptr;
    const int k = down.Process(upOut, m, downOut);
    benchmark::DoNotOptimize(downOut);
    benchmark::DoNotOptimize(k);
  };
  const auto run = [&] {
    if (up.SinglePrecision())
      chain(static_cast<float*>(nullptr));
    else
      chain(static_cast<double*>(nullptr));
  };
  // Past the latency fill, so every measured call does the full work.
  for (int i = 0; i < 4096 / block + 64; ++i) run();

  for (auto _ : state) run();

  // Inverted rate of host samples: seconds per sample, printed with an SI prefix ("21.3ns").
  state.counters["ns_per_sample"] =
      benchmark::Counter(static_cast<double>(block), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(BM_OversamplingChain, q120dB_10pct, 10.0, 120.0)->Arg(64)->Arg(512);
BENCHMARK_CAPTURE(BM_OversamplingChain, q150dB_5pct, 5.0, 150.0)->Arg(64)->Arg(512);

}  // namespace
