#include <benchmark/benchmark.h>

#include "framework/IPlugQueue.h"
#include "framework/IPlugStructs.h"

namespace {

// One parameter change into the editor's queue and out again, on one thread: what every host
// value change costs on the thread that applies it, plus the idle timer's share.
void BM_ParamChangeQueuePushPop(benchmark::State& state) {
  iplug::IRingQueue<iplug::ParamChange> queue(513);
  iplug::ParamChange change{3, 0.5};
  iplug::ParamChange out{};
  for (auto _ : state) {
    queue.Push(change);
    queue.Pop(out);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParamChangeQueuePushPop);

}  // namespace
