#include "host/aaxhost/HostRunLoop.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>
#include <vector>

namespace aaxhost {

namespace {

int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

HostRunLoop::HostRunLoop(Clock clock)
    : HostObject(IID_AAX_HostRunLoopV1, nullptr, nullptr), mClock(clock), mStartNs(SteadyNs()) {}

int64_t HostRunLoop::WallMs() const {
  return (SteadyNs() - mStartNs) / 1000000;
}

int64_t HostRunLoop::NowMs() const {
  if (mClock == Clock::kWall) return WallMs();
  std::lock_guard<std::mutex> lock(mMutex);
  return mManualNowMs;
}

size_t HostRunLoop::TimerCount() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mTimers.size();
}

size_t HostRunLoop::WatchCount() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWatches.size();
}

AAX_Result HostRunLoop::AddTimer(uint32_t intervalMs, AAX_CTimerProc proc, void* context,
                                 uint64_t* outTimerID) noexcept {
  if (!proc || !outTimerID) return AAX_ERROR_NULL_ARGUMENT;
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    const int64_t interval = std::max<int64_t>(1, intervalMs);
    const int64_t now = mClock == Clock::kWall ? WallMs() : mManualNowMs;
    const uint64_t id = mNextID++;
    mTimers.emplace(id, Timer{interval, now + interval, proc, context});
    *outTimerID = id;
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result HostRunLoop::RemoveTimer(uint64_t timerID) noexcept {
  std::lock_guard<std::mutex> lock(mMutex);
  return mTimers.erase(timerID) != 0 ? AAX_SUCCESS : AAX_ERROR_UNKNOWN_ID;
}

AAX_Result HostRunLoop::WatchFd(int32_t fd, AAX_CFdProc proc, void* context,
                                uint64_t* outWatchID) noexcept {
  if (!proc || !outWatchID) return AAX_ERROR_NULL_ARGUMENT;
  if (fd < 0) return AAX_ERROR_INVALID_ARGUMENT;
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    const uint64_t id = mNextID++;
    mWatches.emplace(id, Watch{fd, proc, context});
    *outWatchID = id;
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result HostRunLoop::UnwatchFd(uint64_t watchID) noexcept {
  std::lock_guard<std::mutex> lock(mMutex);
  return mWatches.erase(watchID) != 0 ? AAX_SUCCESS : AAX_ERROR_UNKNOWN_ID;
}

int HostRunLoop::Advance(int64_t ms) {
  if (mClock != Clock::kManual || ms < 0) return 0;
  int fired = 0;
  std::unique_lock<std::mutex> lock(mMutex);
  const int64_t target = mManualNowMs + ms;
  for (;;) {
    // The earliest due tick; the map's ID order breaks ties in the order of adding.
    auto next = mTimers.end();
    for (auto it = mTimers.begin(); it != mTimers.end(); ++it) {
      if (it->second.dueMs <= target &&
          (next == mTimers.end() || it->second.dueMs < next->second.dueMs))
        next = it;
    }
    if (next == mTimers.end()) break;
    const uint64_t id = next->first;
    Timer& timer = next->second;
    mManualNowMs = timer.dueMs;
    timer.dueMs += timer.intervalMs;
    const AAX_CTimerProc proc = timer.proc;
    void* const context = timer.context;
    lock.unlock();
    proc(context, id);
    ++fired;
    lock.lock();
  }
  mManualNowMs = target;
  return fired;
}

int HostRunLoop::FireDueWallTimers() {
  int fired = 0;
  std::unique_lock<std::mutex> lock(mMutex);
  const int64_t now = WallMs();
  std::vector<uint64_t> due;
  for (const auto& [id, timer] : mTimers) {
    if (timer.dueMs <= now) due.push_back(id);
  }
  for (const uint64_t id : due) {
    const auto found = mTimers.find(id);
    if (found == mTimers.end()) continue;  // removed by an earlier callback
    found->second.dueMs = now + found->second.intervalMs;
    const AAX_CTimerProc proc = found->second.proc;
    void* const context = found->second.context;
    lock.unlock();
    proc(context, id);
    ++fired;
    lock.lock();
  }
  return fired;
}

int HostRunLoop::Poll(int timeoutMs) {
  std::vector<std::pair<uint64_t, pollfd>> watched;
  int64_t wait = std::max(0, timeoutMs);
  {
    std::lock_guard<std::mutex> lock(mMutex);
    for (const auto& [id, watch] : mWatches) watched.push_back({id, pollfd{watch.fd, POLLIN, 0}});
    if (mClock == Clock::kWall) {
      const int64_t now = WallMs();
      for (const auto& entry : mTimers)
        wait = std::min(wait, std::max<int64_t>(0, entry.second.dueMs - now));
    }
  }
  std::vector<pollfd> fds;
  for (const auto& entry : watched) fds.push_back(entry.second);
  int ready = 0;
  if (!fds.empty() || wait > 0)
    ready = ::poll(fds.data(), fds.size(),
                   static_cast<int>(std::min<int64_t>(wait, std::numeric_limits<int>::max())));

  int callbacks = 0;
  if (ready > 0) {
    for (size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      AAX_CFdProc proc = nullptr;
      void* context = nullptr;
      {
        std::lock_guard<std::mutex> lock(mMutex);
        const auto found = mWatches.find(watched[i].first);
        if (found == mWatches.end()) continue;  // unwatched by an earlier callback
        proc = found->second.proc;
        context = found->second.context;
      }
      proc(context, fds[i].fd);
      ++callbacks;
    }
  }
  if (mClock == Clock::kWall) callbacks += FireDueWallTimers();
  return callbacks;
}

}  // namespace aaxhost
