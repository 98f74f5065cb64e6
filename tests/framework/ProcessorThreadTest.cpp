#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

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
