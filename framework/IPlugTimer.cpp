#include "framework/IPlugTimer.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace iplug {

namespace {

struct RunningTimer {
  IRunLoop* loop;
  IRunLoop::Id id;
  Timer_impl* timer;
};

// Recursive so that a callback may stop or create timers, as it may under a Win32 critical
// section. Held while a callback runs: Stop on another thread then waits for the callback to
// finish, so the object can be destroyed right after Stop returns.
std::recursive_mutex& TimerMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

// Keyed by loop as well as id: two loops may hand out the same id.
std::vector<RunningTimer>& RunningTimers() {
  static std::vector<RunningTimer> timers;
  return timers;
}

}  // namespace

std::unique_ptr<Timer> Timer::Create(ITimerFunction func, int intervalMs) {
  return std::make_unique<Timer_impl>(GetRunLoop(), std::move(func), intervalMs);
}

Timer_impl::Timer_impl(IRunLoop* loop, ITimerFunction func, int intervalMs)
    : mLoop(loop), mFunc(std::move(func)), mIntervalMs(intervalMs) {
  if (!mLoop) return;
  IRunLoop* const owner = mLoop;
  const IRunLoop::Id id =
      mLoop->AddTimer(intervalMs, [owner](IRunLoop::Id tickId) { TimerProc(owner, tickId); });
  if (id == IRunLoop::kInvalidId) return;
  std::lock_guard lock(TimerMutex());
  RunningTimers().push_back({mLoop, id, this});
  mId.store(id, std::memory_order_release);
}

Timer_impl::~Timer_impl() {
  Stop();
}

void Timer_impl::Stop() {
  const IRunLoop::Id id = mId.load(std::memory_order_acquire);
  if (id == IRunLoop::kInvalidId) return;
  mLoop->RemoveTimer(id);
  std::lock_guard lock(TimerMutex());
  auto& timers = RunningTimers();
  const auto it = std::find_if(timers.begin(), timers.end(),
                               [this](const RunningTimer& t) { return t.timer == this; });
  if (it != timers.end()) timers.erase(it);
  mId.store(IRunLoop::kInvalidId, std::memory_order_release);
}

void Timer_impl::TimerProc(IRunLoop* loop, IRunLoop::Id id) {
  std::lock_guard lock(TimerMutex());
  const auto& timers = RunningTimers();
  const auto it = std::find_if(timers.begin(), timers.end(), [loop, id](const RunningTimer& t) {
    return t.loop == loop && t.id == id;
  });
  if (it == timers.end()) return;
  Timer_impl* const timer = it->timer;
  // A copy, because the callback may destroy its own timer (and with it mFunc) while running.
  const ITimerFunction func = timer->mFunc;
  if (func) func(*timer);
}

}  // namespace iplug
