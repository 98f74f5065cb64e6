#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "GoldenImage.h"
#include "framework/IRunLoop.h"

namespace x11_test {

/** An Xvfb server of the test process's own, found through -displayfd; killed at the end. */
class Xvfb {
 public:
  Xvfb();
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool Running() const { return mPid > 0; }
  /** ":N" */
  const std::string& Display() const { return mDisplay; }
  const std::string& Error() const { return mError; }
  /** Ends the server at once, as a crash would. */
  void Kill();

 private:
  pid_t mPid = -1;
  std::string mDisplay;
  std::string mError;
};

/** The server the tests of this process share, started on first use. */
Xvfb& SharedXvfb();

/** The host's main loop as the tests play it: poll() on the watched descriptors, and timers. */
class PollRunLoop : public iplug::IRunLoop {
 public:
  Id AddTimer(int intervalMs, TimerCallback callback) override;
  void RemoveTimer(Id timerId) override;
  Id WatchFd(int fd, WatchCallback callback) override;
  void UnwatchFd(Id watchId) override;

  /** Runs callbacks for ms milliseconds. */
  void RunFor(int ms);
  /** Runs callbacks until done() holds or timeoutMs pass; returns done(). */
  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 3000);

  int Watches() const { return static_cast<int>(mWatches.size()); }
  std::vector<int> TimerIntervals() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    int intervalMs;
    Clock::time_point due;
    std::shared_ptr<TimerCallback> callback;
  };
  void Step(Clock::time_point until);

  Id mNextId = 1;
  std::map<Id, Timer> mTimers;
  std::map<Id, std::pair<int, std::shared_ptr<WatchCallback>>> mWatches;
};

/** A window's pixels as Xvfb holds them: ARGB32 rows, made opaque. */
struct Picture {
  std::vector<uint8_t> pixels;
  int width = 0;
  int height = 0;
  golden::ImageView View() const { return {pixels.data(), width, height, width * 4}; }
};

/** The share of pixels differing beyond the golden tolerance, alpha aside; 1 for other sizes. */
double DifferingShare(const golden::ImageView& a, const golden::ImageView& b);
/** Within the golden tolerance; on a mismatch both pictures go to outputDir as PNG files. */
::testing::AssertionResult SamePicture(const golden::ImageView& actual,
                                       const golden::ImageView& expected,
                                       const std::string& outputDir, const std::string& name);
bool WritePng(const golden::ImageView& image, const std::string& path);

/**
 * The host's side: its own connection, a top-level window with the editor's parent inside, and
 * input as a user would make it, through XTEST.
 */
class Host {
 public:
  /** A top-level window at (10, 20) of the root holding a parent of w × h at (5, 5). */
  Host(int parentWidth, int parentHeight);
  ~Host();

  xcb_connection_t* Connection() const { return mC; }
  xcb_window_t Root() const { return mRoot; }
  xcb_window_t Top() const { return mTop; }
  xcb_window_t Parent() const { return mParent; }
  void* ParentHandle() const;

  /** Replaces the root's RESOURCE_MANAGER text. */
  void SetResources(const std::string& text);
  /** x, y, width, height and the parent of a window; all 0 when it does not exist. */
  struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
    xcb_window_t parent = XCB_NONE;
  };
  Geometry GeometryOf(xcb_window_t window);
  Picture Capture(xcb_window_t window);

  /** Moves the pointer to (x, y) of a window. */
  void MovePointer(xcb_window_t window, int x, int y);
  void Button(int button, bool press);
  void Click(int button);
  void Key(uint32_t keysym, bool press);
  /** The first keycode giving the keysym unshifted; 0 for none. */
  int Keycode(uint32_t keysym);
  /** The pointer's position in a window. */
  void PointerIn(xcb_window_t window, int& x, int& y);
  /** Returns once the server has handled everything sent so far. */
  void Sync();
  /** Keys sent to the top-level window by someone else, as "press 65", "release 65". */
  std::vector<std::string> KeysSentToTop();

 private:
  xcb_connection_t* mC = nullptr;
  xcb_window_t mRoot = XCB_NONE;
  xcb_window_t mTop = XCB_NONE;
  xcb_window_t mParent = XCB_NONE;
  std::vector<std::string> mKeys;
};

}  // namespace x11_test
