#pragma once

#include <travesty/view.h>

#include <map>
#include <mutex>

#include "framework/IRunLoop.h"

namespace iplug {

/**
 * The framework's run loop on a VST3 host's: on Linux a host lends a plug-in view its run loop
 * (timers and file descriptors, called back on the host's user-interface thread), and the
 * editor's display tick, its X connection and the idle timer all run on it. No thread of our
 * own serves the editor.
 *
 * One per process, shared by every open editor of the module: the first Acquire makes it the
 * framework's run loop (iplug::SetRunLoop); the Release matching the last Acquire unregisters
 * whatever is left and restores the loop set before. [main]
 */
class VST3RunLoop final : public IRunLoop {
 public:
  /** Null when the host offers no run loop. */
  static VST3RunLoop* Acquire(v3_run_loop** hostLoop);
  static void Release();

  Id AddTimer(int intervalMs, TimerCallback callback) override;
  void RemoveTimer(Id timerId) override;
  Id WatchFd(int fd, WatchCallback callback) override;
  void UnwatchFd(Id watchId) override;

  int TimerCount() const;
  int WatchCount() const;

 private:
  struct Handler;
  explicit VST3RunLoop(v3_run_loop** hostLoop);
  ~VST3RunLoop() override;
  void Fire(Id id, int fd);

  v3_run_loop** mHost;
  IRunLoop* mPrevious = nullptr;
  mutable std::mutex mMutex;
  Id mNextId = 1;
  std::map<Id, Handler*> mHandlers;
};

}  // namespace iplug
