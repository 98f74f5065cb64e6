#include "framework/lv2/IPlugLV2UI_RunLoop.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace iplug {

LV2UIRunLoop::LV2UIRunLoop(Clock clock) : mClock(std::move(clock)) {}

int64_t LV2UIRunLoop::SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

IRunLoop::Id LV2UIRunLoop::AddTimer(int intervalMs, TimerCallback callback) {
  if (!callback) return kInvalidId;
  const int64_t interval = std::max(1, intervalMs);
  const int64_t now = mClock();
  std::lock_guard lock(mMutex);
  const Id id = mNextId++;
  mTimers.emplace(id, TimerEntry{interval, now + interval, std::move(callback)});
  return id;
}

void LV2UIRunLoop::RemoveTimer(Id timerId) {
  std::lock_guard lock(mMutex);
  mTimers.erase(timerId);
}

IRunLoop::Id LV2UIRunLoop::WatchFd(int fd, WatchCallback callback) {
  if (fd < 0 || !callback) return kInvalidId;
  std::lock_guard lock(mMutex);
  const Id id = mNextId++;
  mWatches.emplace(id, std::make_pair(fd, std::move(callback)));
  return id;
}

void LV2UIRunLoop::UnwatchFd(Id watchId) {
  std::lock_guard lock(mMutex);
  mWatches.erase(watchId);
}

int LV2UIRunLoop::Pump() {
  if (mPumping) return 0;
  mPumping = true;
  const int run = FireDueTimers(mClock()) + PollWatches();
  mPumping = false;
  return run;
}

int LV2UIRunLoop::FireDueTimers(int64_t now) {
  std::vector<std::pair<int64_t, Id>> due;
  {
    std::lock_guard lock(mMutex);
    for (const auto& [id, timer] : mTimers)
      if (timer.dueMs <= now) due.emplace_back(timer.dueMs, id);
  }
  // Ids grow with every add: among equal times the older timer comes first.
  std::sort(due.begin(), due.end());
  int fired = 0;
  for (const auto& [dueMs, id] : due) {
    TimerCallback callback;
    {
      std::lock_guard lock(mMutex);
      const auto found = mTimers.find(id);
      if (found == mTimers.end()) continue;  // removed by an earlier callback
      TimerEntry& timer = found->second;
      timer.dueMs += timer.intervalMs;
      if (timer.dueMs <= now) timer.dueMs = now + timer.intervalMs;
      callback = timer.callback;  // the entry may go while its callback runs
    }
    callback(id);
    ++fired;
  }
  return fired;
}

int LV2UIRunLoop::PollWatches() {
  std::vector<Id> ids;
  std::vector<pollfd> fds;
  {
    std::lock_guard lock(mMutex);
    for (const auto& [id, watch] : mWatches) {
      ids.push_back(id);
      fds.push_back(pollfd{watch.first, POLLIN, 0});
    }
  }
  if (fds.empty()) return 0;
  if (::poll(fds.data(), static_cast<nfds_t>(fds.size()), 0) <= 0) return 0;
  int called = 0;
  for (size_t i = 0; i < fds.size(); ++i) {
    // A closed descriptor (POLLNVAL) has nothing to read; its owner finds out by itself.
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    WatchCallback callback;
    {
      std::lock_guard lock(mMutex);
      const auto found = mWatches.find(ids[i]);
      if (found == mWatches.end()) continue;
      callback = found->second.second;
    }
    callback(fds[i].fd);
    ++called;
  }
  return called;
}

int LV2UIRunLoop::TimerCount() const {
  std::lock_guard lock(mMutex);
  return static_cast<int>(mTimers.size());
}

int LV2UIRunLoop::WatchCount() const {
  std::lock_guard lock(mMutex);
  return static_cast<int>(mWatches.size());
}

void LV2UIRunLoop::Clear() {
  std::map<Id, TimerEntry> timers;
  std::map<Id, std::pair<int, WatchCallback>> watches;
  {
    std::lock_guard lock(mMutex);
    timers.swap(mTimers);
    watches.swap(mWatches);
  }
  // Destroyed outside the lock: a callback's captures may remove timers as they go.
}

namespace {

struct SharedLoop {
  std::mutex mutex;
  int users = 0;
  IRunLoop* previous = nullptr;
  LV2UIRunLoop loop;
};

SharedLoop& Shared() {
  static SharedLoop shared;
  return shared;
}

}  // namespace

LV2UIRunLoop& LV2UIRunLoop::Acquire() {
  SharedLoop& shared = Shared();
  std::lock_guard lock(shared.mutex);
  if (shared.users++ == 0) {
    shared.previous = GetRunLoop();
    SetRunLoop(&shared.loop);
  }
  return shared.loop;
}

void LV2UIRunLoop::Release() {
  SharedLoop& shared = Shared();
  std::unique_lock lock(shared.mutex);
  if (shared.users == 0 || --shared.users > 0) return;
  if (GetRunLoop() == &shared.loop) SetRunLoop(shared.previous);
  shared.previous = nullptr;
  lock.unlock();
  shared.loop.Clear();
}

}  // namespace iplug
