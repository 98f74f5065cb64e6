#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "framework/IRunLoop.h"

namespace iplug {

/**
 * The main-thread loop of an LV2 UI. An LV2 host has no loop to lend a plug-in's UI: it only
 * calls the UI's idle function every few tens of milliseconds, and each such call pumps this
 * loop. A timer fires when it is due by the clock, at most once per pump however late the pump
 * comes (a host that idles slowly gets fewer display ticks, never a burst of them); watched
 * descriptors are polled without waiting, so that a pump never blocks the host.
 *
 * The clock is steady milliseconds; tests hand in their own.
 *
 * [main], the host's UI thread. Adding and removing may also come from other threads. No lock
 * is held while a callback runs: callbacks add and remove freely, and a timer or watch removed
 * during a pump (by a callback or anyone) is not called after its removal returns.
 */
class LV2UIRunLoop final : public IRunLoop {
 public:
  using Clock = std::function<int64_t()>;

  explicit LV2UIRunLoop(Clock clock = SteadyMs);
  LV2UIRunLoop(const LV2UIRunLoop&) = delete;
  LV2UIRunLoop& operator=(const LV2UIRunLoop&) = delete;

  /** Intervals below 1 ms count as 1 ms. The first tick is due one interval from now. */
  Id AddTimer(int intervalMs, TimerCallback callback) override;
  void RemoveTimer(Id timerId) override;
  /** A negative descriptor is refused. */
  Id WatchFd(int fd, WatchCallback callback) override;
  void UnwatchFd(Id watchId) override;

  /**
   * Fires the timers due now, in the order they fell due (equal times in the order they were
   * added), then calls back each watched descriptor that is readable, hung up or in error.
   * Returns the number of callbacks run. A pump from inside a callback does nothing.
   */
  int Pump();

  int TimerCount() const;
  int WatchCount() const;
  /** Forgets every timer and watch. */
  void Clear();

  static int64_t SteadyMs();

  /**
   * [main] The loop every LV2 UI of the process runs on (the UIs of a process share their
   * module, and with it the framework's one run-loop setting). The first Acquire makes it the
   * framework's run loop; the Release that matches the last Acquire restores the loop that was
   * set before and forgets whatever is left on it, since nothing left can be called safely.
   */
  static LV2UIRunLoop& Acquire();
  static void Release();

 private:
  struct TimerEntry {
    int64_t intervalMs;
    int64_t dueMs;
    TimerCallback callback;
  };

  int FireDueTimers(int64_t now);
  int PollWatches();

  Clock mClock;
  mutable std::mutex mMutex;
  Id mNextId = 1;
  bool mPumping = false;
  std::map<Id, TimerEntry> mTimers;
  std::map<Id, std::pair<int, WatchCallback>> mWatches;
};

}  // namespace iplug
