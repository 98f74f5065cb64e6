#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/IRunLoop.h"
#include "graphics/IGraphicsStructs.h"

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace iplug::igraphics::x11 {

/**
 * The process's one connection to the X server, shared by every open editor: opened by the
 * first, closed when the last lets go. Its descriptor is watched on the host's run loop; the
 * events read are handed to the client whose window they concern, and the queue is drained
 * after every callback, since xcb also reads events while it waits for replies.
 *
 * When the server goes away the connection is shut down once: the watch is dropped, every
 * client is told, the loss is reported through the error line, and nothing is sent again. The
 * clients keep their reference until they close, so the object outlives the connection.
 *
 * Main thread only.
 */
class X11Display {
 public:
  /** An editor window as the connection sees it. */
  class Client {
   public:
    virtual ~Client() = default;
    /** Whether an event about this window is the client's: its own window or its parent. */
    virtual bool ConcernsWindow(xcb_window_t window) const = 0;
    virtual void OnXEvent(const xcb_generic_event_t& event) = 0;
    /** The queue is empty for now: time to look at replies waited for. */
    virtual void OnEventsDrained() = 0;
    /** The server is gone; the client must not use the connection again. */
    virtual void OnConnectionLost() = 0;
  };

  /**
   * A reference to the live connection, opened if there is none; null with the reason in error
   * when no display can be opened or there is no run loop to watch it on.
   */
  static X11Display* Acquire(std::string& error);
  /** The live connection, or null. */
  static X11Display* Current();
  /** Protocol errors the server has sent this process so far; for tests. */
  static int ProtocolErrors();
  /** The latest reason an editor could not open, or that the connection was lost; "" if none. */
  static void SetLastError(const std::string& line);
  static const char* LastError();

  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  void AddRef() { ++mRefs; }
  /** Drops a reference; the last one closes the connection. */
  void Release();
  int References() const { return mRefs; }

  void AddClient(Client* client);
  void RemoveClient(Client* client);

  /** Null once the connection is lost. */
  xcb_connection_t* Connection() const { return mBroken ? nullptr : mConnection; }
  bool IsBroken() const { return mBroken; }
  /** Sends what is buffered; false (and the loss handled) when the connection broke. */
  bool Flush();
  /** Flushes and waits until the server has carried out everything sent so far (a round
   * trip); false when the connection is gone. */
  bool Sync();
  /** Handles the loss if the connection has broken; true while it is alive. */
  bool CheckAlive();
  /** Reads and dispatches every event available, then tells each client. */
  void Drain();
  /**
   * Waits at most timeoutMs for the one event match() takes, reading nothing but this
   * connection; the caller frees it. Every other event read meanwhile is kept, in order, for the
   * next Drain, which is due at once. Null on timeout or when the connection breaks.
   */
  xcb_generic_event_t* WaitForEvent(const std::function<bool(const xcb_generic_event_t&)>& match,
                                    int timeoutMs);

  /** The screen whose root window this is, or null. */
  const xcb_screen_t* ScreenOfRoot(xcb_window_t root) const;
  /** The visual's depth on the screen, or 0 when it cannot show Cairo's pixels as they are. */
  uint8_t DirectDepthOf(const xcb_screen_t& screen, xcb_visualid_t visual) const;
  /** Reads Xft.dpi from the server now; also what ScreenScale returns from then on. */
  float ReadScreenScale();
  /** The screen scale as of the last change of the resources seen. */
  float ScreenScale() const { return mScreenScale; }

  bool HasSharedMemory() const { return mHasShm; }
  /** The Present extension's major opcode (its events carry it), 0 when the server lacks it:
   * editors then tick on their timer alone. */
  uint8_t PresentOpcode() const { return mPresentOpcode; }
  /** The largest request the server takes, in bytes. */
  size_t MaxRequestBytes() const { return mMaxRequestBytes; }

  /** The cursor for a shape, made on first use; XCB_NONE for the default. */
  xcb_cursor_t Cursor(ECursor shape);
  xcb_cursor_t InvisibleCursor();

  /** The key event for an X key press or release; false without a keymap. */
  bool TranslateKey(const xcb_key_press_event_t& event, IKeyEvent& key) const;

 private:
  X11Display() = default;
  ~X11Display();

  bool Open(std::string& error);
  void SetUpKeyboard();
  void LoadKeymap();
  void Dispatch(const xcb_generic_event_t& event);
  void Lose();

  xcb_connection_t* mConnection = nullptr;
  IRunLoop* mLoop = nullptr;
  IRunLoop::Id mWatch = IRunLoop::kInvalidId;
  std::string mName;
  int mRefs = 0;
  int mDraining = 0;
  bool mBroken = false;
  std::vector<Client*> mClients;
  // Events read while a caller waited for another one, and the timer that hands them out.
  std::deque<xcb_generic_event_t*> mDeferred;
  IRunLoop::Id mDeferredTimer = IRunLoop::kInvalidId;

  xcb_window_t mResourceRoot = XCB_NONE;
  float mScreenScale = 1.f;
  bool mHasShm = false;
  uint8_t mPresentOpcode = 0;
  size_t mMaxRequestBytes = 0;

  uint32_t mCursorFont = XCB_NONE;
  xcb_cursor_t mCursors[14] = {};
  xcb_cursor_t mInvisible = XCB_NONE;

  uint8_t mXkbEvent = 0;
  int32_t mKeyboard = -1;
  xkb_context* mXkb = nullptr;
  xkb_keymap* mKeymap = nullptr;
  xkb_state* mKeyState = nullptr;
};

}  // namespace iplug::igraphics::x11
