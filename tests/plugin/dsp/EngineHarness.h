#pragma once

#include <algorithm>
#include <functional>
#include <vector>

#include "plugin/dsp/SaturationEngine.h"

namespace engine_harness {

/** Streams a signal through an engine block by block, the way a host would. */
struct Run {
  std::vector<std::vector<double>> out;  // per channel, whole stream
};

/** Renders `frames` samples per channel from `signal(channel, index)` in blocks. The callback
 * `beforeBlock(position)` may poke the engine between blocks. */
inline Run Render(corvane::SaturationEngine& engine, int channels, long frames, int block,
                  const std::function<double(int, long)>& signal,
                  const std::function<void(long)>& beforeBlock = nullptr) {
  Run run;
  run.out.assign(static_cast<size_t>(channels), std::vector<double>(static_cast<size_t>(frames)));
  std::vector<std::vector<double>> in(2, std::vector<double>(static_cast<size_t>(block)));
  std::vector<std::vector<double>> out(2, std::vector<double>(static_cast<size_t>(block)));
  double* ins[2] = {in[0].data(), in[1].data()};
  double* outs[2] = {out[0].data(), out[1].data()};
  for (long pos = 0; pos < frames; pos += block) {
    const int n = static_cast<int>(std::min<long>(block, frames - pos));
    if (beforeBlock) beforeBlock(pos);
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < n; ++i)
        in[static_cast<size_t>(c)][static_cast<size_t>(i)] = signal(c, pos + i);
    engine.ProcessAudio(ins, outs, n, channels, channels);
    for (int c = 0; c < channels; ++c)
      std::copy_n(out[static_cast<size_t>(c)].begin(), n,
                  run.out[static_cast<size_t>(c)].begin() + pos);
  }
  return run;
}

}  // namespace engine_harness
