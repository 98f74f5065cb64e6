#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "framework/IRunLoop.h"

namespace iplug {

/** A repeating callback on the host's main thread. */
class Timer {
 public:
  using ITimerFunction = std::function<void(Timer& timer)>;

  /**
   * [main] A timer on the current run loop (GetRunLoop). Never null: when there is no loop or
   * the loop refuses, the timer exists but is not running and is never called.
   */
  static std::unique_ptr<Timer> Create(ITimerFunction func, int intervalMs);

  /** Stops the timer. */
  virtual ~Timer() = default;
  /** [main, or any thread while the main thread may be ticking] Once this returns the
   * callback is not running and is never called again. */
  virtual void Stop() = 0;
};

/**
 * The run-loop implementation of Timer. The loop only knows an id; a process-wide list maps
 * ids to live objects, so a tick that arrives late for a stopped (possibly destroyed) timer
 * finds nothing and calls nothing.
 */
class Timer_impl final : public Timer {
 public:
  /** [main] Starts on the given loop; a null loop or a refusal leaves it not running. */
  Timer_impl(IRunLoop* loop, ITimerFunction func, int intervalMs);
  ~Timer_impl() override;
  Timer_impl(const Timer_impl&) = delete;
  Timer_impl& operator=(const Timer_impl&) = delete;

  void Stop() override;

  /** [any] */
  bool IsRunning() const { return mId.load(std::memory_order_acquire) != IRunLoop::kInvalidId; }
  int IntervalMs() const { return mIntervalMs; }

  /** [main] The procedure every loop timer calls: runs the listed timer with this id, if any. */
  static void TimerProc(IRunLoop* loop, IRunLoop::Id id);

 private:
  IRunLoop* mLoop;
  std::atomic<IRunLoop::Id> mId{IRunLoop::kInvalidId};
  ITimerFunction mFunc;
  int mIntervalMs;
};

}  // namespace iplug
