#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TestPlugin.h"

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr int kChanges = 200'000;
#else
constexpr int kChanges = 2'000'000;
#endif

// Counts what the idle tick delivers; runs on the consuming (main) thread only.
class DrainingPlugin : public apitest::TestPlugin {
 public:
  void SendParamValueToControls(int paramIdx, double value, bool normalized) override {
    if (normalized || paramIdx != static_cast<int>(static_cast<int64_t>(value) % 12)) ++torn;
    if (value <= last) ++outOfOrder;
    last = value;
    ++received;
    delivered.store(received, std::memory_order_release);
    if (slow && received % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
  }
  bool slow = false;
  double last = -1.0;
  int64_t received = 0;
  int64_t torn = 0;
  int64_t outOfOrder = 0;
  std::atomic<int64_t> delivered{0};
};

}  // namespace

// The host thread never runs more than one queue's worth ahead, so nothing may be lost.
TEST(ParamQueueThreads, DeliversEveryChangeWhileTheProducerStaysWithinCapacity) {
  DrainingPlugin plugin;
  std::atomic<bool> done{false};
  std::thread host([&] {
    for (int i = 0; i < kChanges; ++i) {
      while (i - plugin.delivered.load(std::memory_order_acquire) >= 512) std::this_thread::yield();
      plugin.SendParamValueToEditor(i % 12, i, false);
    }
    done.store(true, std::memory_order_release);
  });
  for (;;) {
    const bool finished = done.load(std::memory_order_acquire);
    plugin.OnIdleTimer();
    if (finished) break;
    std::this_thread::yield();
  }
  host.join();
  EXPECT_EQ(plugin.received, kChanges);
  EXPECT_EQ(plugin.torn, 0);
  EXPECT_EQ(plugin.outOfOrder, 0);
}

TEST(ParamQueueThreads, ASlowEditorLosesChangesButNeverReordersOrTearsThem) {
  DrainingPlugin plugin;
  plugin.slow = true;
  std::atomic<bool> done{false};
  std::thread host([&] {
    for (int i = 0; i < kChanges / 4; ++i) {
      plugin.SendParamValueToEditor(i % 12, i, false);
      // Bursts larger than the queue keep both threads busy for the whole run.
      if (i % 800 == 799) std::this_thread::sleep_for(std::chrono::microseconds(1));
    }
    done.store(true, std::memory_order_release);
  });
  for (;;) {
    const bool finished = done.load(std::memory_order_acquire);
    plugin.OnIdleTimer();
    if (finished) break;
    std::this_thread::yield();
  }
  host.join();
  EXPECT_GT(plugin.received, 511);
  EXPECT_LT(plugin.received, kChanges / 4) << "the editor never fell behind";
  EXPECT_EQ(plugin.torn, 0);
  EXPECT_EQ(plugin.outOfOrder, 0);
}
