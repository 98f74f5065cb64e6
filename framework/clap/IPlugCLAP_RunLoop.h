#pragma once

#include <clap/ext/timer-support.h>

#include <map>
#include <mutex>
#include <vector>

#include "framework/IRunLoop.h"

namespace iplug {

/**
 * The framework's run loop on a CLAP host's timers: the editor's display tick, the idle timer and
 * the X connection all run on the host's main thread, through its timer-support extension. The
 * headers have no file-descriptor extension, so a watched descriptor is polled (without waiting)
 * on a timer of its own and its callback runs when it is readable.
 *
 * One per process, shared by every open editor of the module: the first Acquire makes it the
 * framework's run loop; the Release matching the last Acquire unregisters whatever is left and
 * restores the loop set before. Timers live on one holder's host; when that holder lets go while
 * others still hold the loop, they move to another's. [main]
 */
class CLAPRunLoop final : public IRunLoop {
 public:
  /** A plug-in instance that lends its host's timers; `key` tells it apart. */
  struct Holder {
    const void* key = nullptr;
    const clap_host_t* host = nullptr;
    const clap_host_timer_support_t* timers = nullptr;
  };

  /** Null when the holder's host offers no timers. */
  static CLAPRunLoop* Acquire(const Holder& holder);
  static void Release(const void* key);
  /** [main] A host timer of the holder's fired. */
  static void TimerFired(const void* key, clap_id hostTimer);

  Id AddTimer(int intervalMs, TimerCallback callback) override;
  void RemoveTimer(Id timerId) override;
  Id WatchFd(int fd, WatchCallback callback) override;
  void UnwatchFd(Id watchId) override;

  int TimerCount() const;

 private:
  struct Timer {
    int intervalMs = 0;
    clap_id hostId = CLAP_INVALID_ID;
    TimerCallback callback;
  };
  struct Watch {
    int fd = -1;
    WatchCallback callback;
  };

  CLAPRunLoop();
  ~CLAPRunLoop() override;
  bool Register(Timer& timer);
  void Unregister(Timer& timer);
  void Fire(clap_id hostTimer);
  void PollWatches();

  IRunLoop* mPrevious = nullptr;
  std::vector<Holder> mHolders;  // the first one's host runs the timers
  mutable std::mutex mMutex;
  Id mNextId = 1;
  std::map<Id, Timer> mTimers;
  std::map<Id, Watch> mWatches;
  Id mPollTimer = kInvalidId;
};

}  // namespace iplug
