#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/IRunLoop.h"
#include "graphics/x11/X11Display.h"

namespace iplug::igraphics::x11 {

/** The local paths of a text/uri-list (file: URIs, percent-decoded); other lines are skipped. */
std::vector<std::string> PathsFromUriList(const std::string& text);
/** The file: URI of an absolute path, its unsafe bytes percent-encoded. */
std::string UriFromPath(const std::string& path);

/**
 * The editor window as an XDND drop target (version 5) for files, offered as text/uri-list.
 * The data is asked for on the drop and arrives later as a SelectionNotify, so nothing waits
 * for the source. The source hears XdndFinished before the editor sees the drop, since the
 * drop may close the editor.
 *
 * Main thread only.
 */
class X11DropTarget {
 public:
  /** Called with the paths and the drop point in window pixels. */
  using DropFunction =
      std::function<void(const std::vector<std::string>& paths, int windowX, int windowY)>;

  X11DropTarget(X11Display& display, xcb_window_t window, DropFunction drop);

  /** ClientMessage and SelectionNotify events for the window; true when they were XDND's. */
  bool HandleEvent(const xcb_generic_event_t& event);

  xcb_atom_t SelectionAtom() const { return mXdndSelection; }

 private:
  void OnEnter(const xcb_client_message_event_t& e);
  void OnPosition(const xcb_client_message_event_t& e);
  void OnDrop(const xcb_client_message_event_t& e);
  void OnSelectionNotify(const xcb_selection_notify_event_t& e);
  void SendToSource(xcb_atom_t type, uint32_t l1, uint32_t l2, uint32_t l3, uint32_t l4);
  void Finish(bool accepted);
  void Reset();

  X11Display& mDisplay;
  xcb_window_t mWindow;
  DropFunction mDrop;

  xcb_atom_t mXdndAware = XCB_NONE, mXdndEnter = XCB_NONE, mXdndPosition = XCB_NONE,
             mXdndStatus = XCB_NONE, mXdndLeave = XCB_NONE, mXdndDrop = XCB_NONE,
             mXdndFinished = XCB_NONE, mXdndSelection = XCB_NONE, mXdndTypeList = XCB_NONE,
             mXdndActionCopy = XCB_NONE, mUriList = XCB_NONE, mProperty = XCB_NONE;

  xcb_window_t mSource = XCB_NONE;
  uint32_t mVersion = 0;
  bool mAcceptable = false;
  bool mAwaitingData = false;
  int mX = 0, mY = 0;
};

/**
 * A file dragged out of the editor: the editor's window becomes an XDND source (version 5)
 * offering the file as text/uri-list, with the pointer and keyboard grabbed until the button
 * is released or Escape pressed. Targets answer through events, so nothing here waits for
 * them; a target that takes the drop and never says it finished is given up after a while.
 *
 * Main thread only.
 */
class X11DragSource {
 public:
  X11DragSource(X11Display& display, xcb_window_t window, std::string path);
  ~X11DragSource();
  X11DragSource(const X11DragSource&) = delete;
  X11DragSource& operator=(const X11DragSource&) = delete;

  /** Takes the selection and the grabs; false when the pointer cannot be had. */
  bool Start();
  /** Events while the drag is on; true when they were the drag's. */
  bool HandleEvent(const xcb_generic_event_t& event);
  bool Finished() const { return mState == State::Done; }
  /** Whether the target took the file. */
  bool Dropped() const { return mDropped; }

 private:
  enum class State { Dragging, AwaitingFinish, Done };

  void OnMotion(int16_t rootX, int16_t rootY, xcb_timestamp_t time);
  void OnRelease(xcb_timestamp_t time);
  void OnSelectionRequest(const xcb_selection_request_event_t& e);
  /** The XDND-aware window under a root position, and the version it speaks. */
  xcb_window_t TargetAt(int16_t rootX, int16_t rootY, uint32_t& version);
  void Send(xcb_window_t target, xcb_atom_t type, uint32_t l1, uint32_t l2, uint32_t l3,
            uint32_t l4);
  void SendPosition();
  void End();

  X11Display& mDisplay;
  xcb_window_t mWindow;
  std::string mUriList;
  xcb_window_t mRoot = XCB_NONE;
  State mState = State::Dragging;
  bool mGrabbed = false;
  bool mDropped = false;

  xcb_atom_t mXdndAware = XCB_NONE, mXdndEnter = XCB_NONE, mXdndPosition = XCB_NONE,
             mXdndStatus = XCB_NONE, mXdndLeave = XCB_NONE, mXdndDrop = XCB_NONE,
             mXdndFinished = XCB_NONE, mXdndSelection = XCB_NONE, mXdndActionCopy = XCB_NONE,
             mUriListAtom = XCB_NONE, mTargets = XCB_NONE;

  xcb_window_t mTarget = XCB_NONE;
  uint32_t mTargetVersion = 0;
  bool mAccepted = false;
  bool mAwaitingStatus = false;
  bool mPositionPending = false;
  int16_t mRootX = 0, mRootY = 0;
  xcb_timestamp_t mTime = XCB_CURRENT_TIME;

  IRunLoop* mLoop = nullptr;
  IRunLoop::Id mGiveUp = IRunLoop::kInvalidId;
};

}  // namespace iplug::igraphics::x11
