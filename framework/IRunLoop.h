#pragma once

#include <cstdint>
#include <functional>

namespace iplug {

/**
 * The host's main-thread event loop as the framework sees it: repeating timers and file
 * descriptors watched for readability. Each platform binding supplies one implementation (a
 * host-provided loop on Linux, a thread timer on Windows); the framework never assumes more.
 *
 * Every callback runs on the host's main thread. Adding and removing are [main] unless an
 * implementation says otherwise. Implementations call back without holding a lock of their own:
 * callbacks add and remove timers, and the framework's timers take their own lock in the callback.
 */
class IRunLoop {
 public:
  using Id = uint64_t;
  /** Returned when the loop refuses a timer or a watch; never a valid id. */
  static constexpr Id kInvalidId = 0;

  /** Receives the id it was added under, so one procedure can serve many timers. */
  using TimerCallback = std::function<void(Id timerId)>;
  using WatchCallback = std::function<void(int fd)>;

  virtual ~IRunLoop() = default;

  /** [main] Starts a timer that repeats every intervalMs; kInvalidId when refused. */
  virtual Id AddTimer(int intervalMs, TimerCallback callback) = 0;
  /**
   * [main] Stops a timer. Like a message already queued by a system timer, a tick may still be
   * delivered for the id afterwards: callers must tolerate ids they no longer know.
   */
  virtual void RemoveTimer(Id timerId) = 0;

  /** [main] Calls back whenever fd is readable; kInvalidId when refused. */
  virtual Id WatchFd(int fd, WatchCallback callback) = 0;
  /** [main] No callback for this watch starts after this returns. */
  virtual void UnwatchFd(Id watchId) = 0;
};

/**
 * [main] The loop the framework creates its timers on. The binding sets it at startup and must
 * keep it alive for as long as timers made on it exist; null means timers are refused.
 */
void SetRunLoop(IRunLoop* loop);
/** [any] */
IRunLoop* GetRunLoop();

}  // namespace iplug
