#include "framework/ManualRunLoop.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace iplug {

IRunLoop::Id ManualRunLoop::AddTimer(int intervalMs, TimerCallback callback) {
  std::lock_guard lock(mMutex);
  if (mRefuseNext) {
    mRefuseNext = false;
    return kInvalidId;
  }
  const int64_t interval = intervalMs < 1 ? 1 : intervalMs;
  const Id id = mNextId++;
  mTimers.emplace(id, TimerEntry{interval, mNowMs + interval, std::move(callback)});
  return id;
}

void ManualRunLoop::RemoveTimer(Id timerId) {
  std::lock_guard lock(mMutex);
  const auto it = mTimers.find(timerId);
  if (it == mTimers.end()) return;
  mRemovedTimers.emplace(timerId, std::move(it->second.callback));
  mTimers.erase(it);
}

IRunLoop::Id ManualRunLoop::WatchFd(int fd, WatchCallback callback) {
  std::lock_guard lock(mMutex);
  if (fd < 0) return kInvalidId;
  if (mRefuseNext) {
    mRefuseNext = false;
    return kInvalidId;
  }
  const Id id = mNextId++;
  mWatches.emplace(id, std::make_pair(fd, std::move(callback)));
  return id;
}

void ManualRunLoop::UnwatchFd(Id watchId) {
  std::lock_guard lock(mMutex);
  mWatches.erase(watchId);
}

int ManualRunLoop::Advance(int64_t ms) {
  int fired = 0;
  std::unique_lock lock(mMutex);
  const int64_t target = mNowMs + (ms > 0 ? ms : 0);
  for (;;) {
    // Callbacks may add and remove timers, so the next tick is looked up afresh every time.
    auto next = mTimers.end();
    for (auto it = mTimers.begin(); it != mTimers.end(); ++it)
      if (it->second.dueMs <= target &&
          (next == mTimers.end() || it->second.dueMs < next->second.dueMs))
        next = it;
    if (next == mTimers.end()) break;
    mNowMs = next->second.dueMs;
    next->second.dueMs += next->second.intervalMs;
    const Id id = next->first;
    const TimerCallback callback = next->second.callback;
    lock.unlock();
    if (callback) callback(id);
    ++fired;
    lock.lock();
  }
  mNowMs = target;
  return fired;
}

bool ManualRunLoop::FireTimerId(Id timerId) {
  TimerCallback callback;
  {
    std::lock_guard lock(mMutex);
    if (const auto it = mTimers.find(timerId); it != mTimers.end())
      callback = it->second.callback;
    else if (const auto removed = mRemovedTimers.find(timerId); removed != mRemovedTimers.end())
      callback = removed->second;
    else
      return false;
  }
  if (callback) callback(timerId);
  return true;
}

void ManualRunLoop::RefuseNextAdd() {
  std::lock_guard lock(mMutex);
  mRefuseNext = true;
}

int ManualRunLoop::PollWatches(int timeoutMs) {
  std::vector<pollfd> fds;
  std::vector<Id> ids;
  {
    std::lock_guard lock(mMutex);
    for (const auto& [id, watch] : mWatches) {
      fds.push_back(pollfd{watch.first, POLLIN, 0});
      ids.push_back(id);
    }
  }
  if (fds.empty()) return 0;
  int ready;
  do {
    ready = ::poll(fds.data(), fds.size(), timeoutMs < 0 ? 0 : timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return 0;

  int called = 0;
  for (size_t i = 0; i < fds.size(); ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    WatchCallback callback;
    {
      // An earlier callback may have removed this watch.
      std::lock_guard lock(mMutex);
      const auto it = mWatches.find(ids[i]);
      if (it == mWatches.end()) continue;
      callback = it->second.second;
    }
    if (callback) callback(fds[i].fd);
    ++called;
  }
  return called;
}

int64_t ManualRunLoop::NowMs() const {
  std::lock_guard lock(mMutex);
  return mNowMs;
}

int ManualRunLoop::TimerCount() const {
  std::lock_guard lock(mMutex);
  return static_cast<int>(mTimers.size());
}

}  // namespace iplug
