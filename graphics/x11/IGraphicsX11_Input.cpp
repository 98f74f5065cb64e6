// The editor's input: X events to pointer, wheel and key events of the graphics context, the
// keys it does not use passed on to the host's window, and the pointer's shape and position.
#include <xcb/present.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11DragDrop.h"
#include "graphics/x11/X11Support.h"
#include "graphics/x11/X11TextEntry.h"
#include "graphics/x11/X11Tooltip.h"

namespace iplug::igraphics {

using x11::X11Display;

namespace {

// A second press of the same button counts as a double click this soon after the first
// (server time) and this close to it (window pixels), as desktops count them.
constexpr xcb_timestamp_t kDoubleClickMs = 500;
constexpr int kDoubleClickPixels = 4;

}  // namespace

// ---- Events ----

void IGraphicsX11::OnXEvent(const xcb_generic_event_t& event) {
  if (mMenu && MenuTakesEvent(event)) return;
  if (mDragOut && mDragOut->HandleEvent(event)) {
    if (mDragOut->Finished()) mDragOut.reset();
    return;
  }
  if (mDropTarget && mDropTarget->HandleEvent(event)) return;
  if (TextEntryTakesEvent(event)) return;
  switch (event.response_type & 0x7f) {
    case XCB_GE_GENERIC: {
      const auto& e = reinterpret_cast<const xcb_present_complete_notify_event_t&>(event);
      if (e.window == mWindow && e.event == mPresentEvent &&
          e.event_type == XCB_PRESENT_COMPLETE_NOTIFY &&
          e.kind == XCB_PRESENT_COMPLETE_KIND_NOTIFY_MSC)
        OnVerticalBlank();
      return;
    }
    case XCB_EXPOSE: {
      const auto& e = reinterpret_cast<const xcb_expose_event_t&>(event);
      if (e.window != mWindow) return;
      // Repainted from the frame kept, without drawing a control.
      mDamage.Add(e.x, e.y, e.x + e.width, e.y + e.height);
      if (e.count == 0) Present();
      return;
    }
    case XCB_BUTTON_PRESS: {
      const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
      if (e.event == mWindow) OnButtonPress(e);
      return;
    }
    case XCB_BUTTON_RELEASE: {
      const auto& e = reinterpret_cast<const xcb_button_release_event_t&>(event);
      if (e.event == mWindow) OnButtonRelease(e);
      return;
    }
    case XCB_MOTION_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
      if (e.event == mWindow) OnMotion(e);
      return;
    }
    case XCB_LEAVE_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_leave_notify_event_t&>(event);
      // Grabs and drags leave the window too without the pointer having gone anywhere.
      if (e.event == mWindow && e.mode == XCB_NOTIFY_MODE_NORMAL &&
          e.detail != XCB_NOTIFY_DETAIL_INFERIOR && !(e.state & kButtonsHeld))
        OnMouseOut();
      return;
    }
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
      const auto& e = reinterpret_cast<const xcb_key_press_event_t&>(event);
      if (e.event == mWindow) OnKey(e, (event.response_type & 0x7f) == XCB_KEY_RELEASE);
      return;
    }
    case XCB_DESTROY_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
      if (e.window == mWindow || e.window == mParent) WindowGone();
      return;
    }
    default:
      return;
  }
}

IPointerEvent IGraphicsX11::PointerAt(int16_t px, int16_t py, uint16_t state) {
  const float s = BackingScale();
  IPointerEvent point;
  point.x = static_cast<float>(px) / s;
  point.y = static_cast<float>(py) / s;
  point.dX = point.x - mPointerX;
  point.dY = point.y - mPointerY;
  point.ms.L = (state & XCB_BUTTON_MASK_1) != 0;
  point.ms.R = (state & XCB_BUTTON_MASK_3) != 0;
  point.ms.S = (state & XCB_MOD_MASK_SHIFT) != 0;
  point.ms.C = (state & XCB_MOD_MASK_CONTROL) != 0;
  point.ms.A = (state & XCB_MOD_MASK_1) != 0;
  mPointerX = point.x;
  mPointerY = point.y;
  return point;
}

void IGraphicsX11::OnButtonPress(const xcb_button_press_event_t& e) {
  if (e.detail == 4 || e.detail == 5) {
    const IPointerEvent point = PointerAt(e.event_x, e.event_y, e.state);
    OnMouseWheel(point.x, point.y, point.ms, e.detail == 4 ? 1.f : -1.f);
    return;
  }
  // Horizontal wheel steps (6, 7) and the side buttons mean nothing to controls.
  if (e.detail < 1 || e.detail > 3) return;

  // Clicking the editor gives it the keys, as clicking any window would.
  if (xcb_connection_t* c = Live())
    xcb_discard_reply(
        c, xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, mWindow, e.time).sequence);

  IPointerEvent point = PointerAt(e.event_x, e.event_y, e.state);
  // The state is from before the press: the button pressed is added.
  point.ms.L = point.ms.L || e.detail == 1;
  point.ms.R = point.ms.R || e.detail == 3;
  const bool isDouble = e.detail == mLastPressButton &&
                        static_cast<xcb_timestamp_t>(e.time - mLastPressTime) <= kDoubleClickMs &&
                        std::abs(e.event_x - mLastPressX) <= kDoubleClickPixels &&
                        std::abs(e.event_y - mLastPressY) <= kDoubleClickPixels;
  if (isDouble) {
    // A third press starts over rather than making another double click.
    mLastPressButton = 0;
    OnMouseDoubleClick(point.x, point.y, point.ms);
    return;
  }
  mLastPressButton = e.detail;
  mLastPressTime = e.time;
  mLastPressX = e.event_x;
  mLastPressY = e.event_y;
  OnMouseDown({point});
}

void IGraphicsX11::OnButtonRelease(const xcb_button_release_event_t& e) {
  if (e.detail < 1 || e.detail > 3) return;
  IPointerEvent point = PointerAt(e.event_x, e.event_y, e.state);
  // Released: the button that went up, not the ones still down.
  point.ms.L = e.detail == 1;
  point.ms.R = e.detail == 3;
  OnMouseUp({point});
}

void IGraphicsX11::OnMotion(const xcb_motion_notify_event_t& e) {
  const IPointerEvent point = PointerAt(e.event_x, e.event_y, e.state);
  if (e.state & kButtonsHeld) {
    OnMouseDrag({point});
    if (mCursorLocked && Live()) {
      const float s = BackingScale();
      if (e.event_x != std::lround(mHiddenCursorX * s) ||
          e.event_y != std::lround(mHiddenCursorY * s))
        WarpPointer(mHiddenCursorX, mHiddenCursorY);
    }
    return;
  }
  // A release that never came (a grab elsewhere took it) must not leave a control captured.
  if (!mCapturedMap.empty()) ReleaseMouseCapture();
  OnMouseOver(point.x, point.y, point.ms);
}

void IGraphicsX11::OnKey(const xcb_key_press_event_t& e, bool isUp) {
  IKeyEvent key;
  bool handled = false;
  if (mDisplay->TranslateKey(e, key)) {
    const float s = BackingScale();
    const float x = static_cast<float>(e.event_x) / s, y = static_cast<float>(e.event_y) / s;
    handled = isUp ? OnKeyUp(x, y, key) : OnKeyDown(x, y, key);
  }
  if (!handled && Live()) ForwardKey(e);
}

void IGraphicsX11::ForwardKey(const xcb_key_press_event_t& e) {
  xcb_connection_t* c = Live();
  if (!c) return;
  // The host listens on its top-level window: the child of the root that holds our parent.
  xcb_window_t top = mParent;
  for (int level = 0; level < 64; ++level) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr);
    if (!tree) return;
    const xcb_window_t up = tree->parent;
    const bool atTop = up == tree->root || up == XCB_NONE;
    std::free(tree);
    if (atTop) break;
    top = up;
  }
  xcb_key_press_event_t copy = e;
  copy.response_type = e.response_type & 0x7f;
  copy.event = top;
  copy.child = XCB_NONE;
  const bool isUp = copy.response_type == XCB_KEY_RELEASE;
  xcb_send_event(c, 0, top, isUp ? XCB_EVENT_MASK_KEY_RELEASE : XCB_EVENT_MASK_KEY_PRESS,
                 reinterpret_cast<const char*>(&copy));
  mDisplay->Flush();
}

// ---- Pointer ----

void IGraphicsX11::QueryPointerPosition(float& x, float& y) const {
  x = mPointerX;
  y = mPointerY;
  xcb_connection_t* c = Live();
  if (!c) return;
  xcb_query_pointer_reply_t* reply =
      xcb_query_pointer_reply(c, xcb_query_pointer(c, mWindow), nullptr);
  if (!reply) return;
  const float s = BackingScale();
  x = static_cast<float>(reply->win_x) / s;
  y = static_cast<float>(reply->win_y) / s;
  std::free(reply);
}

void IGraphicsX11::HidePointer(bool hide, bool lock) {
  if (hide == mCursorHidden) return;
  if (hide) {
    mHiddenCursorX = mPointerX;
    mHiddenCursorY = mPointerY;
    mCursorHidden = true;
    mCursorLocked = lock;
  } else {
    if (mCursorLocked) WarpPointer(mHiddenCursorX, mHiddenCursorY);
    mCursorHidden = false;
    mCursorLocked = false;
  }
  ApplyCursor();
}

void IGraphicsX11::WarpPointer(float x, float y) {
  mPointerX = x;
  mPointerY = y;
  mHiddenCursorX = x;
  mHiddenCursorY = y;
  xcb_connection_t* c = Live();
  if (!c) return;
  const float s = BackingScale();
  xcb_warp_pointer(c, XCB_NONE, mWindow, 0, 0, 0, 0, static_cast<int16_t>(std::lround(x * s)),
                   static_cast<int16_t>(std::lround(y * s)));
  mDisplay->Flush();
}

ECursor IGraphicsX11::SetPointerShape(ECursor shape) {
  const ECursor previous = mCursor;
  const int idx = static_cast<int>(shape);
  mCursor = idx >= 0 && idx <= static_cast<int>(ECursor::Help) ? shape : ECursor::Arrow;
  if (mCursor != previous) ApplyCursor();
  return previous;
}

void IGraphicsX11::ApplyCursor() {
  xcb_connection_t* c = Live();
  if (!c) return;
  const uint32_t cursor = mCursorHidden ? mDisplay->InvisibleCursor() : mDisplay->Cursor(mCursor);
  xcb_change_window_attributes(c, mWindow, XCB_CW_CURSOR, &cursor);
  mDisplay->Flush();
}

}  // namespace iplug::igraphics
