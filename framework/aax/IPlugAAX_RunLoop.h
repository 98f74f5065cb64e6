#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "aax/interfaces/AAX_IHostServices.h"
#include "framework/IRunLoop.h"

namespace iplug {

/**
 * The framework's run loop on top of the host's main-thread run loop, so that the idle timer and
 * other framework timers tick on the host's main thread. Without an attached host loop every
 * timer and watch is refused.
 *
 * The adapter outlives its host loop: Detach lets go of the host (removing what is still
 * registered there), and later RemoveTimer calls from timers that were never stopped find
 * nothing to do.
 */
class AAXHostRunLoop final : public IRunLoop {
 public:
  AAXHostRunLoop() = default;
  ~AAXHostRunLoop() override;
  AAXHostRunLoop(const AAXHostRunLoop&) = delete;
  AAXHostRunLoop& operator=(const AAXHostRunLoop&) = delete;

  /** [main] Takes a reference on the host's loop; replaces (detaches) a previous one. */
  void Attach(AAX_IHostRunLoopV1* hostLoop);
  /** [main] Removes every timer and watch from the host loop and releases it. */
  void Detach();
  bool IsAttached() const;

  Id AddTimer(int intervalMs, TimerCallback callback) override;
  void RemoveTimer(Id timerId) override;
  Id WatchFd(int fd, WatchCallback callback) override;
  void UnwatchFd(Id watchId) override;

 private:
  // The host calls these: nothing a callback throws may reach it.
  static void TimerProc(void* context, uint64_t timerID) noexcept;
  static void FdProc(void* context, int32_t fd) noexcept;
  AAX_IHostRunLoopV1* Host() const;

  // Held only around the maps and the host pointer, never during a call into the host or a
  // callback.
  mutable std::mutex mMutex;
  AAX_IHostRunLoopV1* mHost = nullptr;
  // Shared so that a callback that removes its own timer keeps running on a live copy.
  std::map<Id, std::shared_ptr<TimerCallback>> mTimers;
  std::map<Id, std::shared_ptr<WatchCallback>> mWatches;
  // The host names the descriptor, not the watch, when it calls back: one watch per descriptor.
  std::map<Id, int> mWatchedFds;
};

}  // namespace iplug
