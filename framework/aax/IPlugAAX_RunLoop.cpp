#include "framework/aax/IPlugAAX_RunLoop.h"

#include <utility>
#include <vector>

namespace iplug {

AAXHostRunLoop::~AAXHostRunLoop() {
  Detach();
}

void AAXHostRunLoop::Attach(AAX_IHostRunLoopV1* hostLoop) {
  Detach();
  if (!hostLoop) return;
  hostLoop->AddRef();
  std::lock_guard<std::mutex> lock(mMutex);
  mHost = hostLoop;
}

void AAXHostRunLoop::Detach() {
  AAX_IHostRunLoopV1* host = nullptr;
  std::vector<Id> timers;
  std::vector<Id> watches;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    host = std::exchange(mHost, nullptr);
    for (const auto& entry : mTimers) timers.push_back(entry.first);
    for (const auto& entry : mWatches) watches.push_back(entry.first);
    mTimers.clear();
    mWatches.clear();
    mWatchedFds.clear();
  }
  if (!host) return;
  // The host would otherwise keep calling into this object for ids nobody knows any more.
  for (const Id id : timers) host->RemoveTimer(id);
  for (const Id id : watches) host->UnwatchFd(id);
  host->Release();
}

bool AAXHostRunLoop::IsAttached() const {
  return Host() != nullptr;
}

AAX_IHostRunLoopV1* AAXHostRunLoop::Host() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mHost;
}

IRunLoop::Id AAXHostRunLoop::AddTimer(int intervalMs, TimerCallback callback) {
  if (!callback) return kInvalidId;
  auto shared = std::make_shared<TimerCallback>(std::move(callback));
  AAX_IHostRunLoopV1* host = Host();
  uint64_t id = kInvalidId;
  if (!host ||
      host->AddTimer(static_cast<uint32_t>(intervalMs < 1 ? 1 : intervalMs), &TimerProc, this,
                     &id) != AAX_SUCCESS ||
      id == kInvalidId)
    return kInvalidId;
  // Ticks arrive on the main thread, which is this one: the entry exists before the first.
  std::lock_guard<std::mutex> lock(mMutex);
  mTimers[id] = std::move(shared);
  return id;
}

void AAXHostRunLoop::RemoveTimer(Id timerId) {
  AAX_IHostRunLoopV1* host = nullptr;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mTimers.erase(timerId) == 0) return;
    host = mHost;
  }
  if (host) host->RemoveTimer(timerId);
}

IRunLoop::Id AAXHostRunLoop::WatchFd(int fd, WatchCallback callback) {
  if (!callback) return kInvalidId;
  auto shared = std::make_shared<WatchCallback>(std::move(callback));
  AAX_IHostRunLoopV1* host = Host();
  uint64_t id = kInvalidId;
  if (!host || host->WatchFd(fd, &FdProc, this, &id) != AAX_SUCCESS || id == kInvalidId)
    return kInvalidId;
  std::lock_guard<std::mutex> lock(mMutex);
  mWatches[id] = std::move(shared);
  mWatchedFds[id] = fd;
  return id;
}

void AAXHostRunLoop::UnwatchFd(Id watchId) {
  AAX_IHostRunLoopV1* host = nullptr;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mWatches.erase(watchId) == 0) return;
    mWatchedFds.erase(watchId);
    host = mHost;
  }
  if (host) host->UnwatchFd(watchId);
}

void AAXHostRunLoop::TimerProc(void* context, uint64_t timerID) noexcept {
  auto* self = static_cast<AAXHostRunLoop*>(context);
  std::shared_ptr<TimerCallback> callback;
  {
    std::lock_guard<std::mutex> lock(self->mMutex);
    const auto found = self->mTimers.find(timerID);
    if (found == self->mTimers.end()) return;
    callback = found->second;
  }
  // A failed tick is dropped; whoever threw has left its state consistent, and the next tick
  // comes in 20 ms.
  try {
    (*callback)(timerID);
  } catch (...) {
  }
}

void AAXHostRunLoop::FdProc(void* context, int32_t fd) noexcept {
  auto* self = static_cast<AAXHostRunLoop*>(context);
  std::shared_ptr<WatchCallback> callback;
  {
    std::lock_guard<std::mutex> lock(self->mMutex);
    for (const auto& [id, watchedFd] : self->mWatchedFds) {
      if (watchedFd != fd) continue;
      callback = self->mWatches[id];
      break;
    }
  }
  try {
    if (callback) (*callback)(fd);
  } catch (...) {
  }
}

}  // namespace iplug
