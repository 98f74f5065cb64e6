#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "framework/IPlugTimer.h"
#include "framework/ManualRunLoop.h"

using iplug::ManualRunLoop;
using iplug::Timer;
using iplug::Timer_impl;

// A plug-in destroyed on another thread stops its timer there; the object may go away right
// after Stop returns, so Stop has to wait for a callback that is already running.
TEST(TimerThreads, StopWaitsForARunningCallback) {
  ManualRunLoop loop;
  std::atomic<bool> entered{false};
  std::atomic<bool> finished{false};
  auto timer = std::make_unique<Timer_impl>(
      &loop,
      [&](Timer&) {
        entered.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        finished.store(true);
      },
      20);

  std::atomic<bool> finishedWhenStopped{false};
  std::thread other([&] {
    while (!entered.load()) std::this_thread::yield();
    timer->Stop();
    finishedWhenStopped.store(finished.load());
  });
  loop.Advance(20);
  other.join();
  EXPECT_TRUE(finishedWhenStopped.load());
  EXPECT_FALSE(timer->IsRunning());
}

// The main thread keeps ticking while another thread creates and destroys timers.
TEST(TimerThreads, TimersComeAndGoWhileTheLoopTicks) {
  ManualRunLoop loop;
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::thread churn([&] {
    for (int i = 0; i < 2000; ++i) {
      Timer_impl timer(
          &loop, [&](Timer&) { calls.fetch_add(1); }, 1 + i % 3);
      std::this_thread::yield();
    }
    stop.store(true);
  });
  while (!stop.load()) loop.Advance(1);
  churn.join();
  EXPECT_EQ(loop.TimerCount(), 0);
  const int before = calls.load();
  loop.Advance(100);
  EXPECT_EQ(calls.load(), before);
}
