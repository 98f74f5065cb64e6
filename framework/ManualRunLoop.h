#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "framework/IRunLoop.h"

namespace iplug {

/**
 * A run loop whose clock only moves when told to, for tests and offline rendering where there
 * is no host loop. The caller's thread acts as the main thread: callbacks run inside Advance,
 * FireTimerId and PollWatches. Adding and removing may also come from other threads; no
 * internal lock is held while a callback runs, so callbacks may add and remove freely.
 */
class ManualRunLoop final : public IRunLoop {
 public:
  ManualRunLoop() = default;
  ManualRunLoop(const ManualRunLoop&) = delete;
  ManualRunLoop& operator=(const ManualRunLoop&) = delete;

  /** Intervals below 1 ms count as 1 ms. The first tick is due one interval from now. */
  Id AddTimer(int intervalMs, TimerCallback callback) override;
  void RemoveTimer(Id timerId) override;
  Id WatchFd(int fd, WatchCallback callback) override;
  void UnwatchFd(Id watchId) override;

  /**
   * Moves the clock forward by ms, firing every tick that falls due on the way in time order
   * (equal times in the order the timers were added); each timer fires once per interval that
   * elapses. Returns the number of ticks fired.
   */
  int Advance(int64_t ms);
  /**
   * Delivers one tick for an id the way a late system timer message would: also for a timer
   * that has been removed. False when the id was never a timer of this loop.
   */
  bool FireTimerId(Id timerId);
  /** The next AddTimer or WatchFd is refused. */
  void RefuseNextAdd();
  /**
   * Waits up to timeoutMs (0: no wait) for watched descriptors to become readable and calls back
   * each readable one once. Returns the number of callbacks run.
   */
  int PollWatches(int timeoutMs = 0);

  int64_t NowMs() const;
  /** Timers currently added. */
  int TimerCount() const;

 private:
  struct TimerEntry {
    int64_t intervalMs;
    int64_t dueMs;
    TimerCallback callback;
  };

  mutable std::mutex mMutex;
  int64_t mNowMs = 0;
  Id mNextId = 1;
  bool mRefuseNext = false;
  std::map<Id, TimerEntry> mTimers;
  std::map<Id, TimerCallback> mRemovedTimers;  // for late ticks
  std::map<Id, std::pair<int, WatchCallback>> mWatches;
};

}  // namespace iplug
