#pragma once

#include <xcb/xcb.h>

#include <string>
#include <string_view>

#include "graphics/x11/X11Display.h"

namespace iplug::igraphics::x11 {

/** "file://" and the absolute path, every byte outside RFC 3986's unreserved set and "/" as %XX. */
std::string FileUriFromPath(std::string_view path);
/** ISO 8859-1, what STRING carries, from UTF-8; characters beyond it become '?'. */
std::string Latin1FromUtf8(std::string_view text);
std::string Utf8FromLatin1(std::string_view text);

/**
 * The CLIPBOARD selection for every editor of the process, through an invisible window of the
 * shared connection: writing takes ownership and answers other clients' requests from the
 * text kept here; reading asks the owner and waits a bounded, short time for the answer.
 * Editors hold a reference while they are open; when the last lets go, ownership is given
 * back and the window goes.
 *
 * Transfers larger than one request (the INCR protocol) are not offered and not read.
 *
 * Main thread only.
 */
class X11Clipboard : private X11Display::Client {
 public:
  /** The longest a read waits for the owner's answer. */
  static constexpr int kReadTimeoutMs = 100;

  /** The process's clipboard on this connection, made on first use; null if it is broken. */
  static X11Clipboard* Acquire(X11Display& display);
  void Release();

  bool WriteText(std::string_view utf8);
  /** Offers the path as a text/uri-list of one file, and as its text. */
  bool WriteFilePath(std::string_view path);
  /** UTF8_STRING from the owner, else STRING; false without an owner or answer in time. */
  bool ReadText(std::string& utf8, int timeoutMs = kReadTimeoutMs);
  /** While this process owns the selection. */
  bool Owns() const { return mOwned; }
  xcb_window_t Window() const { return mWindow; }

 private:
  explicit X11Clipboard(X11Display& display);
  ~X11Clipboard() override;

  bool TakeOwnership();
  void Answer(const xcb_selection_request_event_t& request);
  /** Stores one target on the requestor's property; false when it cannot be given. */
  bool Provide(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target);
  /** Asks the owner for one target and reads the answer; false when none comes in time. */
  bool Convert(xcb_atom_t target, std::string& bytes, int64_t deadlineMs, bool& refused);

  // X11Display::Client
  bool ConcernsWindow(xcb_window_t window) const override { return window == mWindow; }
  void OnXEvent(const xcb_generic_event_t& event) override;
  void OnEventsDrained() override {}
  void OnConnectionLost() override;

  X11Display& mDisplay;
  int mRefs = 0;
  xcb_window_t mWindow = XCB_NONE;
  bool mOwned = false;
  std::string mText;
  std::string mUriList;

  xcb_atom_t mClipboard = XCB_NONE;
  xcb_atom_t mUtf8 = XCB_NONE;
  xcb_atom_t mTextAtom = XCB_NONE;
  xcb_atom_t mTargets = XCB_NONE;
  xcb_atom_t mUriListAtom = XCB_NONE;
  xcb_atom_t mIncr = XCB_NONE;
  xcb_atom_t mProperty = XCB_NONE;
};

}  // namespace iplug::igraphics::x11
