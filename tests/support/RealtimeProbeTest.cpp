#include "host/realtime/RealtimeProbe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace {

using corvane::realtime::ScopedProbe;
using corvane::realtime::SeesLocksAndSleeps;
using corvane::realtime::Violations;

void* volatile gSink = nullptr;

template <typename F>
Violations During(F&& f) {
  ScopedProbe probe;
  f();
  return probe.Seen();
}

TEST(RealtimeProbe, SeesLocksAndSleepsOfTheWatchedThreadOnly) {
  if (!SeesLocksAndSleeps()) GTEST_SKIP() << "this build leaves locks to its sanitizer";
  std::mutex mutex;
  std::shared_mutex shared;
  EXPECT_EQ(During([&] { std::lock_guard<std::mutex> lock(mutex); }).locks, 1);
  EXPECT_EQ(During([&] { std::unique_lock<std::shared_mutex> lock(shared); }).locks, 1);
  EXPECT_EQ(During([&] { std::shared_lock<std::shared_mutex> lock(shared); }).locks, 1);
  // A try-lock never blocks; lock-free hand-overs built on it are fine on the audio thread.
  EXPECT_EQ(During([&] {
              if (mutex.try_lock()) mutex.unlock();
            }).locks,
            0);
  EXPECT_EQ(During([] { std::this_thread::sleep_for(std::chrono::microseconds(1)); }).sleeps, 1);

  std::condition_variable ready;
  bool done = false;
  const Violations waited = During([&] {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait_for(lock, std::chrono::milliseconds(1), [&] { return done; });
  });
  EXPECT_GE(waited.locks, 2) << "the lock and the wait";

  // What another thread does is its own business.
  ScopedProbe probe;
  std::thread other([&] {
    std::lock_guard<std::mutex> lock(mutex);
    std::this_thread::sleep_for(std::chrono::microseconds(1));
  });
  const Violations beforeJoin = probe.Seen();
  other.join();
  EXPECT_EQ(beforeJoin.sleeps, 0);
}

TEST(RealtimeProbe, SeesFreesButNotWhatHappensOutsideIt) {
  gSink = std::malloc(32);
  const Violations freed = During([] { std::free(gSink); });
  EXPECT_EQ(freed.frees, 1);
  EXPECT_EQ(freed.allocations, 0);
  EXPECT_EQ(During([] { std::free(nullptr); }).frees, 0);

  ScopedProbe outer;
  {
    ScopedProbe inner;
    gSink = std::malloc(8);
    EXPECT_EQ(inner.Seen().allocations, 1);
  }
  std::free(gSink);
  const Violations total = outer.Seen();
  EXPECT_EQ(total.allocations, 1);
  EXPECT_EQ(total.frees, 1);
  EXPECT_EQ(total.Total(), 2);
}

}  // namespace
