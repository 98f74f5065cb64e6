#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "aax/interfaces/AAX_IHostServices.h"
#include "host/aaxhost/HostObject.h"

namespace aaxhost {

/**
 * The main-thread run loop the host offers to plug-ins, driven by the host program: with the
 * manual clock, time only moves in Advance (reproducible offline renders); with the wall clock,
 * Poll fires timers as real time passes. Either way Poll delivers readable descriptors, and every
 * callback runs on the thread that calls Advance or Poll (the host's main thread).
 */
class HostRunLoop final : public HostObject<AAX_IHostRunLoopV1> {
 public:
  enum class Clock { kManual, kWall };

  explicit HostRunLoop(Clock clock = Clock::kManual);
  HostRunLoop(const HostRunLoop&) = delete;
  HostRunLoop& operator=(const HostRunLoop&) = delete;

  AAX_Result AddTimer(uint32_t intervalMs, AAX_CTimerProc proc, void* context,
                      uint64_t* outTimerID) noexcept override;
  AAX_Result RemoveTimer(uint64_t timerID) noexcept override;
  AAX_Result WatchFd(int32_t fd, AAX_CFdProc proc, void* context,
                     uint64_t* outWatchID) noexcept override;
  AAX_Result UnwatchFd(uint64_t watchID) noexcept override;

  /**
   * Manual clock: moves time forward by ms and fires every tick that falls due on the way, in
   * time order (equal times in the order the timers were added), once per elapsed interval.
   * Timers added by a callback count from the time of that tick. Returns the ticks fired; 0 and
   * nothing done on the wall clock.
   */
  int Advance(int64_t ms);
  /**
   * Waits up to timeoutMs (0: no wait) for a readable descriptor or, on the wall clock, the next
   * due timer; then calls back each readable watch once and (wall clock) each due timer once,
   * rescheduling it one interval after now. Returns the callbacks run.
   */
  int Poll(int timeoutMs = 0);

  Clock GetClock() const noexcept { return mClock; }
  /** Milliseconds since construction: manual or wall time. */
  int64_t NowMs() const;
  size_t TimerCount() const;
  size_t WatchCount() const;

 private:
  struct Timer {
    int64_t intervalMs;
    int64_t dueMs;
    AAX_CTimerProc proc;
    void* context;
  };
  struct Watch {
    int32_t fd;
    AAX_CFdProc proc;
    void* context;
  };

  int64_t WallMs() const;
  int FireDueWallTimers();

  const Clock mClock;
  const int64_t mStartNs;
  mutable std::mutex mMutex;  // never held while a callback runs
  int64_t mManualNowMs = 0;
  uint64_t mNextID = 1;
  std::map<uint64_t, Timer> mTimers;
  std::map<uint64_t, Watch> mWatches;
};

}  // namespace aaxhost
