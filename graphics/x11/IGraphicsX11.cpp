// The editor's X11 window: opening it in the host's window, closing it, and its size. The
// display tick and presentation, the input and the platform's services are the other
// IGraphicsX11_*.cpp files.
#include "graphics/x11/IGraphicsX11.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "graphics/IGEditorDelegate.h"
#include "graphics/x11/X11Clipboard.h"
#include "graphics/x11/X11Dialogs.h"
#include "graphics/x11/X11DragDrop.h"
#include "graphics/x11/X11Support.h"
#include "graphics/x11/X11TextEntry.h"
#include "graphics/x11/X11Tooltip.h"

namespace iplug::igraphics {

using x11::X11Display;

namespace {

constexpr uint32_t kWindowEvents = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                   XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                   XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW |
                                   XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                                   XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

// The largest window side X can describe.
constexpr int kMaxWindowSide = 32767;

std::string WindowName(xcb_window_t window) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", window);
  return text;
}

}  // namespace

void IGraphicsX11::PixelRect::Add(int ax0, int ay0, int ax1, int ay1) {
  if (ax1 <= ax0 || ay1 <= ay0) return;
  if (Empty()) {
    *this = PixelRect{ax0, ay0, ax1, ay1};
    return;
  }
  x0 = std::min(x0, ax0);
  y0 = std::min(y0, ay0);
  x1 = std::max(x1, ax1);
  y1 = std::max(y1, ay1);
}

IGraphicsX11::IGraphicsX11(IGEditorDelegate& delegate, int width, int height, int fps,
                           float drawScale, const resources::ResourceTable& resources)
    : IGraphicsCairo(delegate, width, height, fps, drawScale), mResources(resources) {}

IGraphicsX11::~IGraphicsX11() {
  // A context deleted with its window open closes it first, while this layer still exists.
  CloseWindow();
}

const char* IGraphicsX11::LastError() {
  return X11Display::LastError();
}

xcb_connection_t* IGraphicsX11::Live() const {
  return mDisplay && mWindow != XCB_NONE ? mDisplay->Connection() : nullptr;
}

bool IGraphicsX11::Fail(const std::string& reason) {
  X11Display::SetLastError(reason);
  return false;
}

// ---- Opening and closing ----

void* IGraphicsX11::OpenWindow(void* parent) {
  if (mDisplay) CloseWindow();
  const auto parentId = reinterpret_cast<uintptr_t>(parent);
  if (parentId == 0 || parentId > UINT32_MAX) {
    Fail(parent ? "the parent is not an X window id" : "no parent window to open the editor in");
    return nullptr;
  }
  const auto parentWindow = static_cast<xcb_window_t>(parentId);

  std::string error;
  X11Display* display = X11Display::Acquire(error);
  if (!display) {
    Fail(error);
    return nullptr;
  }
  xcb_connection_t* c = display->Connection();
  const auto giveUp = [&](const std::string& reason) -> void* {
    display->Release();
    Fail(reason);
    return nullptr;
  };

  // Both questions in one round trip; an error for either means there is no such window.
  const xcb_get_window_attributes_cookie_t attributesCookie =
      xcb_get_window_attributes(c, parentWindow);
  const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, parentWindow);
  xcb_get_window_attributes_reply_t* attributes =
      xcb_get_window_attributes_reply(c, attributesCookie, nullptr);
  xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, geometryCookie, nullptr);
  std::string problem;
  uint8_t depth = 0;
  xcb_window_t root = XCB_NONE;
  if (!attributes || !geometry) {
    problem = "X parent window " + WindowName(parentWindow) + " does not exist";
  } else if (attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
    problem = "X parent window " + WindowName(parentWindow) + " is input-only";
  } else {
    root = geometry->root;
    const xcb_screen_t* screen = display->ScreenOfRoot(root);
    depth = screen ? display->DirectDepthOf(*screen, attributes->visual) : 0;
    if (depth == 0)
      problem = "X parent window " + WindowName(parentWindow) +
                " has a visual other than 24- or 32-bit TrueColor in the server's byte order";
  }
  std::free(attributes);
  std::free(geometry);
  if (!display->CheckAlive()) return giveUp(X11Display::LastError());
  if (!problem.empty()) return giveUp(problem);

  const float ss = display->ReadScreenScale();
  const int w = std::clamp(static_cast<int>(ss * static_cast<int>(Width() * GetDrawScale())), 1,
                           kMaxWindowSide);
  const int h = std::clamp(static_cast<int>(ss * static_cast<int>(Height() * GetDrawScale())), 1,
                           kMaxWindowSide);
  // No background: the server would clear the window before every expose, and the frame is
  // about to cover it anyway.
  const xcb_window_t window = xcb_generate_id(c);
  const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, kWindowEvents};
  xcb_generic_error_t* createError = xcb_request_check(
      c, xcb_create_window_checked(c, XCB_COPY_FROM_PARENT, window, parentWindow, 0, 0,
                                   static_cast<uint16_t>(w), static_cast<uint16_t>(h), 0,
                                   XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                                   XCB_CW_BACK_PIXMAP | XCB_CW_EVENT_MASK, values));
  if (createError) {
    std::free(createError);
    return giveUp("cannot create a window in X parent window " + WindowName(parentWindow));
  }
  // The parent's own destruction is news too. The root keeps the mask the connection gave it.
  if (parentWindow != root) {
    const uint32_t parentEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, parentWindow, XCB_CW_EVENT_MASK, &parentEvents);
  }
  mGC = xcb_generate_id(c);
  const uint32_t noExposures = 0;
  xcb_create_gc(c, mGC, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
  xcb_map_window(c, window);
  // Refused while the host has not mapped its window yet; that is no error worth keeping.
  xcb_discard_reply(
      c, xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME).sequence);

  mDisplay = display;
  mWindow = window;
  mParent = parentWindow;
  mDepth = depth;
  mWindowW = w;
  mWindowH = h;
  mResourceScale = ss;
  mLastPressButton = 0;
  mAlive = std::make_shared<IGraphicsX11*>(this);
  display->AddClient(this);
  mDropTarget = std::make_unique<x11::X11DropTarget>(
      *display, window,
      [this](const std::vector<std::string>& paths, int x, int y) { OnDrop(paths, x, y); });
  ApplyCursor();

  OnSurfaceResize();
  SetScreenScale(ss);
  GetDelegate().RunLayout(this);
  SetAllControlsDirty();
  GetDelegate().OnEditorOpen();

  StartTick();
  if (Live() && mTimer == IRunLoop::kInvalidId) {
    CloseWindow();
    Fail("the run loop refused the display timer");
    return nullptr;
  }
  if (!mDisplay->Flush() || !Live()) return nullptr;
  X11Display::SetLastError("");
  return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow));
}

void IGraphicsX11::CloseWindow() {
  if (!mDisplay) return;
  StopTick();
  // Before the controls go: the one waiting for the menu hears that nothing was chosen.
  DismissMenu(true);
  EndDialogs();
  // Also whatever the control opened again when it heard of the menu.
  mMenu.reset();
  mDragOut.reset();
  mDropTarget.reset();
  mAlive.reset();
  // The field is a child of the window about to go: destroyed first, so nothing is sent about
  // a window the server has already destroyed with its parent. What was typed is dropped.
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  mTextEntry.reset();
  HideTooltip();
  mTooltip.reset();
  mTooltipIdx = -1;
  if (mClipboard) std::exchange(mClipboard, nullptr)->Release();
  ClearControls();
  ReleasePresentation();
  if (xcb_connection_t* c = Live()) {
    // The host may have destroyed its window, and ours with it, before the news got here:
    // the error that brings is expected and dropped.
    if (xcb_generic_error_t* error = xcb_request_check(c, xcb_destroy_window_checked(c, mWindow)))
      std::free(error);
    mDisplay->CheckAlive();
  }
  mWindow = XCB_NONE;
  mParent = XCB_NONE;
  mDisplay->RemoveClient(this);
  std::exchange(mDisplay, nullptr)->Release();
}

void* IGraphicsX11::NativeWindow() const {
  return mWindow != XCB_NONE ? reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow)) : nullptr;
}

void IGraphicsX11::WindowGone() {
  StopTick();
  // Forgotten first, so that nothing below talks to the server about it. A drag cut short
  // still ends for the host.
  mWindow = XCB_NONE;
  mParent = XCB_NONE;
  ReleaseMouseCapture();
  ReleasePresentation();
  // The field went with the window; a lost connection took the tooltip too.
  if (mTextEntry) mTextEntry->Disconnect();
  mTextEntry.reset();
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  if (mTooltip && !(mDisplay && mDisplay->Connection())) mTooltip->Disconnect();
  HideTooltip();
  mTooltip.reset();
  mDragOut.reset();
  mDropTarget.reset();
  DismissMenu(true);
}

void IGraphicsX11::OnConnectionLost() {
  // Connection() is null from now on, so all of this stays on this side.
  WindowGone();
}

bool IGraphicsX11::ConcernsWindow(xcb_window_t window) const {
  return mWindow != XCB_NONE &&
         (window == mWindow || window == mParent || (mMenu && mMenu->Owns(window)) ||
          (mTextEntry && window == mTextEntry->Window()));
}

// ---- Window size ----

void IGraphicsX11::ResizeNativeWindow(bool parentHasResized) {
  xcb_connection_t* c = Live();
  if (!c) return;
  const float ss = GetScreenScale();
  const int w = std::clamp(static_cast<int>(ss * static_cast<int>(Width() * GetDrawScale())), 1,
                           kMaxWindowSide);
  const int h = std::clamp(static_cast<int>(ss * static_cast<int>(Height() * GetDrawScale())), 1,
                           kMaxWindowSide);
  const int dw = w - mWindowW, dh = h - mWindowH;
  if (dw == 0 && dh == 0) return;
  const uint32_t size[] = {static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
  xcb_configure_window(c, mWindow, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
  mWindowW = w;
  mWindowH = h;
  if (!parentHasResized) {
    // The host did not follow: its window grows with ours, keeping whatever it has around it.
    xcb_get_geometry_reply_t* parent =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, mParent), nullptr);
    if (parent) {
      const uint32_t parentSize[] = {
          static_cast<uint32_t>(std::clamp(parent->width + dw, 1, kMaxWindowSide)),
          static_cast<uint32_t>(std::clamp(parent->height + dh, 1, kMaxWindowSide))};
      xcb_configure_window(c, mParent, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                           parentSize);
      std::free(parent);
    }
  }
  mDisplay->Flush();
}

}  // namespace iplug::igraphics
