#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/IPlugHandOver.h"
#include "framework/IPlugProcessor.h"
#include "tests/framework/ProcessorTestSupport.h"

using namespace iplug;

using namespace processor_test;

// The main thread changes the latency while the audio thread runs bypassed blocks: the audio
// thread must never wait, and never touch a delay line the main thread is replacing.
TEST(Processor, LatencyChangesRaceBypassedBlocksSafely) {
  TestProcessor p(ConfigFor("2-2"));
  constexpr int kFrames = 64;
  p.ResizeChannelBuffers(kFrames);
  p.SetChannelsConnected(kInput, 0, 2, true);
  p.SetChannelsConnected(kOutput, 0, 2, true);
  p.CreateBypassDelay();
  HostBuffers host(2, kFrames);

  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    float t = 0;
    while (!stop.load()) {
      for (int i = 0; i < kFrames; ++i) host.in[0][i] = host.in[1][i] = t++;
      p.BindHostBuffers(kInput, 0, 2, host.inPtrs.data(), kFrames);
      p.BindHostBuffers(kOutput, 0, 2, host.outPtrs.data(), kFrames);
      p.PassThroughChannelsToHost(kFrames);
      blocks.fetch_add(1);
    }
  });
  for (int i = 0; i < 2000; ++i) p.ChangeLatency((i * 37) % 300);
  p.ChangeLatency(10);
  const long seen = blocks.load();
  while (blocks.load() < seen + 4) std::this_thread::yield();
  stop = true;
  audio.join();

  // One more block in a known state: the final latency is in force.
  for (int i = 0; i < kFrames; ++i) host.in[0][i] = host.in[1][i] = 1000.0f + i;
  p.BindHostBuffers(kInput, 0, 2, host.inPtrs.data(), kFrames);
  p.BindHostBuffers(kOutput, 0, 2, host.outPtrs.data(), kFrames);
  p.PassThroughChannelsToHost(kFrames);
  for (int i = 10; i < kFrames; ++i) EXPECT_FLOAT_EQ(host.out[0][i], 1000.0f + i - 10);
}

// Whatever the main thread published last is adopted by the audio thread's next calls, even
// when the audio thread was halfway through adopting the previous object while it was published
// and nothing on the main thread collects afterwards.
TEST(HandOverThreads, TheLastPublishedObjectIsAlwaysAdopted) {
  HandOver<int> handOver;
  std::unique_ptr<int> active;
  std::atomic<int> wanted{-1};
  std::atomic<bool> stop{false};
  std::atomic<long> stalls{0};
  std::thread audio([&] {
    while (!stop.load(std::memory_order_relaxed)) {
      handOver.Adopt(active);
      const int w = wanted.load(std::memory_order_acquire);
      if (w < 0) continue;
      // Once the main thread has finished publishing, a bounded number of calls must do.
      for (int tries = 0; tries < 1000 && (!active || *active != w); ++tries)
        handOver.Adopt(active);
      if (!active || *active != w) stalls.fetch_add(1);
      wanted.store(-1, std::memory_order_release);
    }
  });
  constexpr int kRounds = 20000;
  for (int round = 0; round < kRounds; ++round) {
    handOver.Publish(std::make_unique<int>(2 * round));
    handOver.Publish(std::make_unique<int>(2 * round + 1));
    wanted.store(2 * round + 1, std::memory_order_release);
    while (wanted.load(std::memory_order_acquire) >= 0) std::this_thread::yield();
  }
  stop = true;
  audio.join();
  EXPECT_EQ(stalls.load(), 0) << "of " << kRounds << " rounds";
}
