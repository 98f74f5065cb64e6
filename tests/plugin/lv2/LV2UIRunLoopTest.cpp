// The LV2 UI's run loop: timers by its clock, descriptors polled without waiting, and callbacks
// that add and remove while the loop runs them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "framework/ManualRunLoop.h"
#include "framework/lv2/IPlugLV2UI_RunLoop.h"

using iplug::IRunLoop;
using iplug::LV2UIRunLoop;

namespace {

struct FakeClock {
  int64_t now = 1000;
  LV2UIRunLoop::Clock Get() {
    return [this] { return now; };
  }
};

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (::pipe(fds) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
  void Put() { ASSERT_EQ(::write(write, "x", 1), 1); }
  void Take() {
    char c;
    ASSERT_EQ(::read(read, &c, 1), 1);
  }
};

}  // namespace

TEST(LV2UIRunLoop, TimersFireWhenDueInTheOrderTheyFellDue) {
  FakeClock clock;
  LV2UIRunLoop loop(clock.Get());
  std::vector<int> fired;
  const IRunLoop::Id a = loop.AddTimer(30, [&](IRunLoop::Id) { fired.push_back(30); });
  const IRunLoop::Id b = loop.AddTimer(10, [&](IRunLoop::Id) { fired.push_back(10); });
  const IRunLoop::Id zero = loop.AddTimer(0, [&](IRunLoop::Id) { fired.push_back(0); });
  EXPECT_NE(a, IRunLoop::kInvalidId);
  EXPECT_NE(a, b);
  EXPECT_NE(b, zero);

  EXPECT_EQ(loop.Pump(), 0);  // nothing is due at the moment it was added
  clock.now += 1;
  EXPECT_EQ(loop.Pump(), 1);  // an interval of 0 counts as 1 ms
  EXPECT_EQ(fired, std::vector<int>({0}));
  fired.clear();
  clock.now += 9;  // 10 ms after the adds
  loop.Pump();
  EXPECT_EQ(fired, std::vector<int>({0, 10}));
  fired.clear();
  clock.now += 20;  // 30 ms: the 10 ms timer fell due at 20 ms (once), the 30 ms one at 30
  loop.Pump();
  EXPECT_EQ(fired, std::vector<int>({0, 10, 30}));
}

TEST(LV2UIRunLoop, ALatePumpFiresATimerOnceAndKeepsItsRhythmAfterwards) {
  FakeClock clock;
  LV2UIRunLoop loop(clock.Get());
  int ticks = 0;
  loop.AddTimer(16, [&](IRunLoop::Id) { ++ticks; });
  clock.now += 500;  // the host did not idle for half a second
  EXPECT_EQ(loop.Pump(), 1);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(loop.Pump(), 0);  // not due again before one more interval
  clock.now += 15;
  EXPECT_EQ(loop.Pump(), 0);
  clock.now += 1;
  EXPECT_EQ(loop.Pump(), 1);
  // A pump a little late does not move the timer's grid: due at 1532, then 1548.
  clock.now += 20;
  EXPECT_EQ(loop.Pump(), 1);
  clock.now += 12;
  EXPECT_EQ(loop.Pump(), 1);
  EXPECT_EQ(ticks, 4);
}

TEST(LV2UIRunLoop, CallbacksAddAndRemoveWhileTheLoopRunsThem) {
  FakeClock clock;
  LV2UIRunLoop loop(clock.Get());
  std::vector<IRunLoop::Id> fired;
  IRunLoop::Id second = IRunLoop::kInvalidId;
  IRunLoop::Id added = IRunLoop::kInvalidId;
  // The first callback removes the second (due at the same time) and itself, and adds another.
  const IRunLoop::Id first = loop.AddTimer(10, [&](IRunLoop::Id id) {
    fired.push_back(id);
    loop.RemoveTimer(second);
    loop.RemoveTimer(id);
    added = loop.AddTimer(10, [&](IRunLoop::Id id2) { fired.push_back(id2); });
  });
  second = loop.AddTimer(10, [&](IRunLoop::Id id) { fired.push_back(id); });
  clock.now += 10;
  EXPECT_EQ(loop.Pump(), 1);
  EXPECT_EQ(fired, std::vector<IRunLoop::Id>({first}));
  EXPECT_EQ(loop.TimerCount(), 1);
  clock.now += 10;
  loop.Pump();
  EXPECT_EQ(fired, std::vector<IRunLoop::Id>({first, added}));

  // A pump from inside a callback does nothing, rather than firing the same timer again.
  int nested = -1;
  loop.AddTimer(5, [&](IRunLoop::Id) { nested = loop.Pump(); });
  clock.now += 10;
  loop.Pump();
  EXPECT_EQ(nested, 0);
}

TEST(LV2UIRunLoop, WatchesAreCalledWhileTheirDescriptorIsReadable) {
  FakeClock clock;
  LV2UIRunLoop loop(clock.Get());
  Pipe a;
  Pipe b;
  std::vector<int> called;
  const IRunLoop::Id wa = loop.WatchFd(a.read, [&](int fd) { called.push_back(fd); });
  const IRunLoop::Id wb = loop.WatchFd(b.read, [&](int fd) { called.push_back(fd); });
  EXPECT_EQ(loop.WatchFd(-1, [](int) {}), IRunLoop::kInvalidId);
  EXPECT_EQ(loop.WatchCount(), 2);

  EXPECT_EQ(loop.Pump(), 0);  // nothing to read, and no wait for it
  b.Put();
  EXPECT_EQ(loop.Pump(), 1);
  EXPECT_EQ(called, std::vector<int>({b.read}));
  EXPECT_EQ(loop.Pump(), 1);  // still readable: called again until read
  b.Take();
  called.clear();
  EXPECT_EQ(loop.Pump(), 0);

  // A watch removed by an earlier callback of the same pump is not called.
  a.Put();
  b.Put();
  loop.UnwatchFd(wa);
  loop.UnwatchFd(wb);
  IRunLoop::Id later = IRunLoop::kInvalidId;
  loop.WatchFd(a.read, [&](int fd) {
    called.push_back(fd);
    loop.UnwatchFd(later);
  });
  later = loop.WatchFd(b.read, [&](int fd) { called.push_back(fd); });
  loop.Pump();
  EXPECT_EQ(called, std::vector<int>({a.read}));
  EXPECT_EQ(loop.WatchCount(), 1);

  // A descriptor that hung up is its owner's news too.
  ::close(a.write);
  a.write = -1;
  a.Take();
  called.clear();
  EXPECT_EQ(loop.Pump(), 1);
  EXPECT_EQ(called, std::vector<int>({a.read}));
}

TEST(LV2UIRunLoop, ClearForgetsEverything) {
  FakeClock clock;
  LV2UIRunLoop loop(clock.Get());
  Pipe p;
  p.Put();
  int calls = 0;
  loop.AddTimer(1, [&](IRunLoop::Id) { ++calls; });
  loop.WatchFd(p.read, [&](int) { ++calls; });
  loop.Clear();
  clock.now += 100;
  EXPECT_EQ(loop.Pump(), 0);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(loop.TimerCount() + loop.WatchCount(), 0);
  EXPECT_EQ(loop.AddTimer(1, nullptr), IRunLoop::kInvalidId);
}

// The UIs of a process share one loop; the framework's loop of before comes back with the last.
TEST(LV2UIRunLoop, TheSharedLoopIsTheFrameworksWhileAnyUIHoldsIt) {
  iplug::ManualRunLoop before;
  iplug::SetRunLoop(&before);
  LV2UIRunLoop& first = LV2UIRunLoop::Acquire();
  EXPECT_EQ(iplug::GetRunLoop(), &first);
  LV2UIRunLoop& second = LV2UIRunLoop::Acquire();
  EXPECT_EQ(&second, &first);
  first.AddTimer(10, [](IRunLoop::Id) {});
  LV2UIRunLoop::Release();
  EXPECT_EQ(iplug::GetRunLoop(), &first);
  EXPECT_EQ(first.TimerCount(), 1);
  LV2UIRunLoop::Release();
  EXPECT_EQ(iplug::GetRunLoop(), &before);
  EXPECT_EQ(first.TimerCount(), 0);  // left behind: nothing may call it any more
  LV2UIRunLoop::Release();           // one too many changes nothing
  EXPECT_EQ(iplug::GetRunLoop(), &before);
  iplug::SetRunLoop(nullptr);
}
