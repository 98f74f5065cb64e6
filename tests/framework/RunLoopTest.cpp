#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/IPlugTimer.h"
#include "framework/ManualRunLoop.h"

using iplug::IRunLoop;
using iplug::ManualRunLoop;
using iplug::Timer;
using iplug::Timer_impl;

namespace {

// Restores the process-wide loop so tests do not leak it into each other.
class RunLoopScope {
 public:
  explicit RunLoopScope(IRunLoop* loop) : mPrevious(iplug::GetRunLoop()) {
    iplug::SetRunLoop(loop);
  }
  ~RunLoopScope() { iplug::SetRunLoop(mPrevious); }

 private:
  IRunLoop* mPrevious;
};

}  // namespace

TEST(ManualRunLoop, FiresDueTicksInTimeOrderOncePerInterval) {
  ManualRunLoop loop;
  std::string order;
  loop.AddTimer(20, [&](IRunLoop::Id) { order += 'A'; });
  loop.AddTimer(30, [&](IRunLoop::Id) { order += 'B'; });

  EXPECT_EQ(loop.Advance(19), 0);
  // 20 A, 30 B, 40 A, 60 A and B (added first goes first).
  EXPECT_EQ(loop.Advance(41), 5);
  EXPECT_EQ(order, "ABAAB");
  EXPECT_EQ(loop.NowMs(), 60);
  EXPECT_EQ(loop.Advance(0), 0);
  EXPECT_EQ(loop.Advance(-5), 0);
  EXPECT_EQ(loop.NowMs(), 60);
}

TEST(ManualRunLoop, CallbacksMayAddAndRemoveTimersWhileAdvancing) {
  ManualRunLoop loop;
  int selfRemoving = 0;
  int added = 0;
  IRunLoop::Id selfId = loop.AddTimer(10, [&](IRunLoop::Id id) {
    ++selfRemoving;
    loop.RemoveTimer(id);
    loop.AddTimer(10, [&](IRunLoop::Id) { ++added; });  // first tick at 20
  });
  EXPECT_EQ(loop.Advance(35), 3);
  EXPECT_EQ(selfRemoving, 1);
  EXPECT_EQ(added, 2);
  EXPECT_EQ(loop.TimerCount(), 1);

  // A late tick still reaches a removed timer's callback; an unknown id reaches nothing.
  EXPECT_TRUE(loop.FireTimerId(selfId));
  EXPECT_EQ(selfRemoving, 2);
  EXPECT_FALSE(loop.FireTimerId(999));
}

TEST(ManualRunLoop, RefusesOnlyTheNextAdd) {
  ManualRunLoop loop;
  loop.RefuseNextAdd();
  EXPECT_EQ(loop.AddTimer(10, [](IRunLoop::Id) {}), IRunLoop::kInvalidId);
  EXPECT_NE(loop.AddTimer(10, [](IRunLoop::Id) {}), IRunLoop::kInvalidId);
  loop.RefuseNextAdd();
  EXPECT_EQ(loop.WatchFd(0, [](int) {}), IRunLoop::kInvalidId);
  EXPECT_NE(loop.WatchFd(0, [](int) {}), IRunLoop::kInvalidId);
  EXPECT_EQ(loop.WatchFd(-1, [](int) {}), IRunLoop::kInvalidId);
}

TEST(ManualRunLoop, CallsWatchersOfReadableDescriptorsUntilUnwatched) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ManualRunLoop loop;
  std::vector<int> seen;
  const IRunLoop::Id watch = loop.WatchFd(fds[0], [&](int fd) {
    char byte;
    ASSERT_EQ(::read(fd, &byte, 1), 1);
    seen.push_back(fd);
  });

  EXPECT_EQ(loop.PollWatches(), 0);  // nothing written yet
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  EXPECT_EQ(loop.PollWatches(), 1);
  EXPECT_EQ(seen, std::vector<int>{fds[0]});

  loop.UnwatchFd(watch);
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  EXPECT_EQ(loop.PollWatches(), 0);
  EXPECT_EQ(seen.size(), 1u);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(Timer, RunsEveryIntervalAndNeverAfterStopEvenOnALateTick) {
  ManualRunLoop loop;
  int calls = 0;
  Timer_impl timer(
      &loop, [&](Timer&) { ++calls; }, 20);
  EXPECT_TRUE(timer.IsRunning());
  loop.Advance(100);
  EXPECT_EQ(calls, 5);

  timer.Stop();
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_EQ(loop.TimerCount(), 0);
  EXPECT_TRUE(loop.FireTimerId(1));  // the first id a fresh loop hands out
  loop.Advance(100);
  EXPECT_EQ(calls, 5);
  timer.Stop();  // stopping twice is harmless
}

TEST(Timer, RefusedOrLoopLessTimerIsNotRunningAndNeverCalled) {
  ManualRunLoop loop;
  int calls = 0;
  loop.RefuseNextAdd();
  Timer_impl refused(
      &loop, [&](Timer&) { ++calls; }, 20);
  EXPECT_FALSE(refused.IsRunning());

  {
    RunLoopScope scope(nullptr);
    std::unique_ptr<Timer> loopLess = Timer::Create([&](Timer&) { ++calls; }, 20);
    ASSERT_NE(loopLess, nullptr);
  }
  loop.Advance(100);
  EXPECT_FALSE(loop.FireTimerId(1));
  EXPECT_EQ(calls, 0);
}

TEST(Timer, CreateUsesTheCurrentLoopAndDestructionStops) {
  ManualRunLoop loop;
  RunLoopScope scope(&loop);
  int calls = 0;
  std::unique_ptr<Timer> timer = Timer::Create([&](Timer&) { ++calls; }, 25);
  loop.Advance(50);
  EXPECT_EQ(calls, 2);
  timer.reset();
  EXPECT_EQ(loop.TimerCount(), 0);
  EXPECT_TRUE(loop.FireTimerId(1));  // reaches no destroyed object
  EXPECT_EQ(calls, 2);
}

TEST(Timer, CallbackMayDestroyItsOwnTimerOrStopAnotherDueAtTheSameTime) {
  ManualRunLoop loop;
  std::unique_ptr<Timer> first;
  std::unique_ptr<Timer> second;
  int firstCalls = 0;
  int secondCalls = 0;
  first = std::make_unique<Timer_impl>(
      &loop,
      [&](Timer&) {
        ++firstCalls;
        second->Stop();
        first.reset();
      },
      10);
  second = std::make_unique<Timer_impl>(
      &loop, [&](Timer&) { ++secondCalls; }, 10);
  loop.Advance(50);
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 0);
  EXPECT_EQ(first, nullptr);
}

TEST(Timer, TicksOfOneLoopNeverReachTimersOfAnotherWithTheSameId) {
  ManualRunLoop a;
  ManualRunLoop b;
  int aCalls = 0;
  int bCalls = 0;
  Timer_impl onA(
      &a, [&](Timer&) { ++aCalls; }, 10);
  Timer_impl onB(
      &b, [&](Timer&) { ++bCalls; }, 10);
  a.Advance(30);
  EXPECT_EQ(aCalls, 3);
  EXPECT_EQ(bCalls, 0);
}
