#include "framework/clap/IPlugCLAP_RunLoop.h"

#include <poll.h>

#include <algorithm>
#include <new>

namespace iplug {

namespace {

CLAPRunLoop* gLoop = nullptr;

/** How often watched descriptors are looked at: short against a display tick, so that input
 * and the server's replies are never a frame late. */
constexpr int kWatchPollMs = 5;

}  // namespace

CLAPRunLoop* CLAPRunLoop::Acquire(const Holder& holder) {
  if (!holder.host || !holder.timers || !holder.timers->register_timer ||
      !holder.timers->unregister_timer)
    return nullptr;
  if (!gLoop) {
    gLoop = new (std::nothrow) CLAPRunLoop;
    if (!gLoop) return nullptr;
  }
  gLoop->mHolders.push_back(holder);
  return gLoop;
}

void CLAPRunLoop::Release(const void* key) {
  if (!gLoop) return;
  std::vector<Holder>& holders = gLoop->mHolders;
  const auto it =
      std::find_if(holders.begin(), holders.end(), [&](const Holder& h) { return h.key == key; });
  if (it == holders.end()) return;
  if (holders.size() == 1) {
    delete gLoop;
    gLoop = nullptr;
    return;
  }
  if (it != holders.begin()) {
    holders.erase(it);
    return;
  }
  // The timers' host goes: they move to the next holder's, under the same ids.
  std::lock_guard lock(gLoop->mMutex);
  for (auto& [id, timer] : gLoop->mTimers) gLoop->Unregister(timer);
  holders.erase(holders.begin());
  for (auto& [id, timer] : gLoop->mTimers) gLoop->Register(timer);
}

void CLAPRunLoop::TimerFired(const void* key, clap_id hostTimer) {
  if (gLoop && !gLoop->mHolders.empty() && gLoop->mHolders.front().key == key)
    gLoop->Fire(hostTimer);
}

CLAPRunLoop::CLAPRunLoop() : mPrevious(GetRunLoop()) {
  SetRunLoop(this);
}

CLAPRunLoop::~CLAPRunLoop() {
  std::lock_guard lock(mMutex);
  for (auto& [id, timer] : mTimers) Unregister(timer);
  mTimers.clear();
  mWatches.clear();
  SetRunLoop(mPrevious);
}

bool CLAPRunLoop::Register(Timer& timer) {
  const Holder& h = mHolders.front();
  clap_id hostId = CLAP_INVALID_ID;
  const uint32_t period = static_cast<uint32_t>(std::max(timer.intervalMs, 1));
  if (!h.timers->register_timer(h.host, period, &hostId) || hostId == CLAP_INVALID_ID) {
    timer.hostId = CLAP_INVALID_ID;
    return false;
  }
  timer.hostId = hostId;
  return true;
}

void CLAPRunLoop::Unregister(Timer& timer) {
  if (timer.hostId == CLAP_INVALID_ID || mHolders.empty()) return;
  const Holder& h = mHolders.front();
  h.timers->unregister_timer(h.host, timer.hostId);
  timer.hostId = CLAP_INVALID_ID;
}

IRunLoop::Id CLAPRunLoop::AddTimer(int intervalMs, TimerCallback callback) {
  std::lock_guard lock(mMutex);
  Timer timer{intervalMs, CLAP_INVALID_ID, std::move(callback)};
  if (!Register(timer)) return kInvalidId;
  const Id id = mNextId++;
  mTimers.emplace(id, std::move(timer));
  return id;
}

void CLAPRunLoop::RemoveTimer(Id timerId) {
  std::lock_guard lock(mMutex);
  const auto it = mTimers.find(timerId);
  if (it == mTimers.end()) return;
  Unregister(it->second);
  mTimers.erase(it);
}

IRunLoop::Id CLAPRunLoop::WatchFd(int fd, WatchCallback callback) {
  if (fd < 0) return kInvalidId;
  bool first = false;
  Id id = kInvalidId;
  {
    std::lock_guard lock(mMutex);
    first = mWatches.empty() && mPollTimer == kInvalidId;
    id = mNextId++;
    mWatches.emplace(id, Watch{fd, std::move(callback)});
  }
  if (first) {
    mPollTimer = AddTimer(kWatchPollMs, [this](Id) { PollWatches(); });
    if (mPollTimer == kInvalidId) {
      std::lock_guard lock(mMutex);
      mWatches.erase(id);
      return kInvalidId;
    }
  }
  return id;
}

void CLAPRunLoop::UnwatchFd(Id watchId) {
  bool none = false;
  {
    std::lock_guard lock(mMutex);
    mWatches.erase(watchId);
    none = mWatches.empty();
  }
  if (none && mPollTimer != kInvalidId) {
    RemoveTimer(mPollTimer);
    mPollTimer = kInvalidId;
  }
}

void CLAPRunLoop::Fire(clap_id hostTimer) {
  // The callback is copied out: it may remove its own timer (or every other) while it runs.
  TimerCallback callback;
  Id id = kInvalidId;
  {
    std::lock_guard lock(mMutex);
    for (const auto& [ours, timer] : mTimers)
      if (timer.hostId == hostTimer) {
        id = ours;
        callback = timer.callback;
        break;
      }
  }
  if (callback) callback(id);
}

void CLAPRunLoop::PollWatches() {
  std::vector<std::pair<Id, Watch>> watches;
  {
    std::lock_guard lock(mMutex);
    watches.assign(mWatches.begin(), mWatches.end());
  }
  for (const auto& [id, watch] : watches) {
    pollfd p{watch.fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
    {
      // Unwatched by an earlier callback of this round: not called.
      std::lock_guard lock(mMutex);
      if (!mWatches.count(id)) continue;
    }
    watch.callback(watch.fd);
  }
}

int CLAPRunLoop::TimerCount() const {
  std::lock_guard lock(mMutex);
  return static_cast<int>(mTimers.size());
}

}  // namespace iplug
