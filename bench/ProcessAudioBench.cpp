#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "plugin/Corvane.h"

using namespace corvane;

namespace {

enum Setting { kDefaults = 0, kAllStages = 1, kAllStagesOversampled = 2 };

void Set(Corvane& plug, int index, double value) {
  plug.GetParam(index)->SetValue(value);
  plug.OnParamChange(index, iplug::kHost);
  plug.OnEditorParamChange(index, iplug::kDelegate);
}

// Stereo ProcessAudio, reported as nanoseconds per sample per channel.
void BM_ProcessAudio(benchmark::State& state) {
  const int frames = static_cast<int>(state.range(0));
  const auto setting = static_cast<Setting>(state.range(1));
  Corvane plug;
  if (setting != kDefaults) {
    Set(plug, kModA, 50.0);
    Set(plug, kModB, 50.0);
    Set(plug, kThreshold, -20.0);
    Set(plug, kNonlinearity, 1.1);
    Set(plug, kKnee, 3.0);
    Set(plug, kGain, 12.0);
  }
  if (setting == kAllStagesOversampled) Set(plug, kOversampling, 1.0);
  plug.SetSampleRate(44100.0);
  plug.ResizeChannelBuffers(frames);
  plug.SetChannelsConnected(iplug::kInput, 0, 2, true);
  plug.SetChannelsConnected(iplug::kOutput, 0, 2, true);
  plug.ResetProcessing();

  std::vector<double> in[2], out[2];
  for (int c = 0; c < 2; ++c) {
    in[c].resize(static_cast<size_t>(frames));
    out[c].resize(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) in[c][static_cast<size_t>(i)] = 0.9 * std::sin(0.013 * i + c);
  }
  double* ins[2] = {in[0].data(), in[1].data()};
  double* outs[2] = {out[0].data(), out[1].data()};
  // Run through the flush so the measurement sees the steady state.
  for (int i = 0; i < 64 + 4096 / frames; ++i) plug.ProcessAudio(ins, outs, frames);

  for (auto _ : state) {
    plug.ProcessAudio(ins, outs, frames);
    benchmark::DoNotOptimize(outs[0][0]);
  }
  state.counters["ns_per_sample_per_channel"] = benchmark::Counter(
      static_cast<double>(frames) * 2.0,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert,
      benchmark::Counter::kIs1000);
}

}  // namespace

BENCHMARK(BM_ProcessAudio)
    ->ArgNames({"frames", "setting"})
    ->ArgsProduct({{64, 512}, {kDefaults, kAllStages, kAllStagesOversampled}});

// A host that announced 512 frames and then sends blocks of 8192 (in pieces of the buffers'
// size) among its 512s: per sample, the long blocks must cost what the short ones do, since
// nothing is reset, re-flushed or allocated for them. Oversampled, stereo; reported like
// BM_ProcessAudio for the long blocks alone.
void BM_LongerBlockThanAnnounced(benchmark::State& state) {
  constexpr int kShort = 512;
  constexpr int kLong = 8192;
  Corvane plug;
  Set(plug, kOversampling, 1.0);
  plug.SetSampleRate(44100.0);
  plug.ResizeChannelBuffers(kShort);
  plug.SetChannelsConnected(iplug::kInput, 0, 2, true);
  plug.SetChannelsConnected(iplug::kOutput, 0, 2, true);
  plug.ResetProcessing();
  std::vector<double> in[2], out[2];
  for (int c = 0; c < 2; ++c) {
    in[c].resize(kLong);
    out[c].resize(kLong);
    for (int i = 0; i < kLong; ++i) in[c][static_cast<size_t>(i)] = 0.9 * std::sin(0.013 * i + c);
  }
  double* ins[2] = {in[0].data(), in[1].data()};
  double* outs[2] = {out[0].data(), out[1].data()};
  for (int i = 0; i < 64; ++i) plug.ProcessAudio(ins, outs, kShort);
  for (auto _ : state) {
    state.PauseTiming();
    plug.ProcessAudio(ins, outs, kShort);
    state.ResumeTiming();
    plug.ProcessAudio(ins, outs, kLong);
    benchmark::DoNotOptimize(outs[0][kLong - 1]);
  }
  state.counters["ns_per_sample_per_channel"] = benchmark::Counter(
      static_cast<double>(kLong) * 2.0,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert,
      benchmark::Counter::kIs1000);
}
BENCHMARK(BM_LongerBlockThanAnnounced);
