#include "graphics/x11/IGraphicsX11.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/present.h>
#include <xcb/shm.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "graphics/IGEditorDelegate.h"
#include "graphics/x11/X11Dialogs.h"
#include "graphics/x11/X11DragDrop.h"
#include "graphics/x11/X11Fonts.h"
#include "graphics/x11/X11Support.h"
// Text field, tooltips and clipboard.
#include "graphics/IControl.h"
#include "graphics/x11/X11Clipboard.h"
#include "graphics/x11/X11TextEntry.h"
#include "graphics/x11/X11Tooltip.h"

namespace iplug::igraphics {

using x11::X11Display;

namespace {

// A second press of the same button counts as a double click this soon after the first
// (server time) and this close to it (window pixels), as desktops count them.
constexpr xcb_timestamp_t kDoubleClickMs = 500;
constexpr int kDoubleClickPixels = 4;

constexpr uint32_t kWindowEvents = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                   XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                   XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW |
                                   XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                                   XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
constexpr uint16_t kButtonsHeld = XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3;

// The largest window side X can describe.
constexpr int kMaxWindowSide = 32767;

std::string WindowName(xcb_window_t window) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", window);
  return text;
}

// Fonts handed over by LoadFont stay loaded for the rest of the process, shared by every
// editor; the first font stored under an id is the one kept.
struct NativeFontCache {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<PlatformFont>> fonts;
};

NativeFontCache& NativeFonts() {
  static NativeFontCache cache;
  return cache;
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

// ---- The display tick ----

void IGraphicsX11::StartTick() {
  StopTick();
  mLoop = GetRunLoop();
  if (!mLoop) return;
  std::weak_ptr<IGraphicsX11*> alive = mAlive;
  mTimer = mLoop->AddTimer(x11::DisplayTickIntervalMs(FPS()), [alive](IRunLoop::Id) {
    const auto editor = alive.lock();
    if (!editor || (*editor)->VerticalBlanksArrive()) return;
    // The editor may close inside its tick, and the connection with it.
    X11Display* display = (*editor)->mDisplay;
    if (!display) return;
    display->AddRef();
    (*editor)->Tick();
    display->Drain();
    display->Release();
  });
  // Where the server counts vertical blanks, they drive the tick; the timer stands by.
  if (xcb_connection_t* c = Live(); c && mDisplay->PresentOpcode() != 0) {
    mPresentEvent = xcb_generate_id(c);
    xcb_present_select_input(c, mPresentEvent, mWindow, XCB_PRESENT_EVENT_MASK_COMPLETE_NOTIFY);
    RequestVerticalBlank();
  }
}

void IGraphicsX11::StopTick() {
  if (mTimer != IRunLoop::kInvalidId && mLoop) mLoop->RemoveTimer(mTimer);
  mTimer = IRunLoop::kInvalidId;
  // A notification still on its way finds no context and is dropped; the window's destruction
  // ends the selection on the server.
  mPresentEvent = XCB_NONE;
  mLastBlankMs = -1;
}

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void IGraphicsX11::RequestVerticalBlank() {
  xcb_connection_t* c = Live();
  if (!c || mPresentEvent == XCB_NONE) return;
  // Target 0 with divisor 1: the next blank, whatever the counter stands at.
  xcb_present_notify_msc(c, mWindow, ++mBlankSerial, 0, 1, 0);
  mDisplay->Flush();
}

void IGraphicsX11::OnVerticalBlank() {
  if (mPresentEvent == XCB_NONE) return;
  mLastBlankMs = NowMs();
  ++mVBlankTicks;
  Tick();
  // One request in flight at a time: a long frame skips blanks instead of queueing them.
  RequestVerticalBlank();
}

bool IGraphicsX11::VerticalBlanksArrive() const {
  // A server whose blanks stop (a window unmapped, a screen asleep) falls back to the timer.
  return mLastBlankMs >= 0 && NowMs() - mLastBlankMs < 3 * x11::DisplayTickIntervalMs(FPS());
}

void IGraphicsX11::Tick() {
  if (!Live()) return;
  if (TickTextEntry()) return;
  // A scale change in the middle of a drag would pull the control from under the pointer.
  if (mCapturedMap.empty() && mDisplay->ScreenScale() != mResourceScale) {
    mResourceScale = mDisplay->ScreenScale();
    SetScreenScale(mResourceScale);
  }
  if (!Live()) return;
  IDirtyList rects;
  if (!IsDirty(rects)) return;
  const float s = BackingScale();
  const IBox bounds = rects.Bounds();
  mDamage.Add(static_cast<int>(std::floor(bounds.L * s)),
              static_cast<int>(std::floor(bounds.T * s)), static_cast<int>(std::ceil(bounds.R * s)),
              static_cast<int>(std::ceil(bounds.B * s)));
  SetAllControlsClean();
  Draw(rects);
}

// ---- Presenting ----

void IGraphicsX11::SetPresentOptions(bool allowSharedMemory, size_t maxRequestBytes) {
  mAllowShm = allowSharedMemory;
  mMaxPutBytes = maxRequestBytes;
}

void IGraphicsX11::OnSurfaceResize() {
  IGraphicsCairo::OnSurfaceResize();
  if (!Live()) return;
  if (!mAllowShm || !mDisplay->HasSharedMemory()) {
    FreeSharedMemory();
    return;
  }
  if (SurfaceWidth() != mShmWidth || SurfaceHeight() != mShmHeight) MakeSharedMemory();
}

void IGraphicsX11::MakeSharedMemory() {
  FreeSharedMemory();
  xcb_connection_t* c = Live();
  const size_t bytes =
      static_cast<size_t>(SurfaceWidth()) * static_cast<size_t>(SurfaceHeight()) * 4u;
  if (!c || bytes == 0) return;
  const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (id < 0) return;
  void* data = shmat(id, nullptr, 0);
  if (data == reinterpret_cast<void*>(-1)) {
    shmctl(id, IPC_RMID, nullptr);
    return;
  }
  const uint32_t segment = xcb_generate_id(c);
  xcb_generic_error_t* error = xcb_request_check(c, xcb_shm_attach_checked(c, segment, id, 1));
  // Marked for removal at once, so the segment goes when both sides have let go of it, even
  // if one of them dies. A server on another machine cannot attach it: PutImage it is then.
  shmctl(id, IPC_RMID, nullptr);
  if (error || !mDisplay->CheckAlive()) {
    std::free(error);
    shmdt(data);
    return;
  }
  mShmSegment = segment;
  mShmData = static_cast<uint8_t*>(data);
  mShmWidth = SurfaceWidth();
  mShmHeight = SurfaceHeight();
}

void IGraphicsX11::FreeSharedMemory() {
  if (mShmSegment != 0) {
    // The server finishes a PutImage from the segment before it handles the detach.
    if (xcb_connection_t* c = mDisplay ? mDisplay->Connection() : nullptr)
      xcb_shm_detach(c, mShmSegment);
    mShmSegment = 0;
  }
  if (mShmData) shmdt(mShmData);
  mShmData = nullptr;
  mShmWidth = 0;
  mShmHeight = 0;
}

void IGraphicsX11::ReleasePresentation() {
  xcb_connection_t* c = mDisplay ? mDisplay->Connection() : nullptr;
  if (mFencePending && c) xcb_discard_reply(c, mFence);
  mFencePending = false;
  mDamage = PixelRect();
  FreeSharedMemory();
  if (mGC != XCB_NONE && c) xcb_free_gc(c, mGC);
  mGC = XCB_NONE;
  std::vector<uint8_t>().swap(mBand);
}

void IGraphicsX11::PresentFrame() {
  ++mFramesPresented;
  Present();
}

void IGraphicsX11::Present() {
  xcb_connection_t* c = Live();
  if (!c || mFencePending || mDamage.Empty() || !MainSurface()) return;
  const int sw = SurfaceWidth(), sh = SurfaceHeight();
  PixelRect r = mDamage;
  mDamage = PixelRect();
  r.x0 = std::max(r.x0, 0);
  r.y0 = std::max(r.y0, 0);
  r.x1 = std::min({r.x1, sw, mWindowW});
  r.y1 = std::min({r.y1, sh, mWindowH});
  if (r.Empty()) return;

  if (mShmSegment != 0 && mShmWidth == sw && mShmHeight == sh) {
    const uint8_t* pixels = SurfacePixels();
    const size_t stride = static_cast<size_t>(SurfaceStride());
    const size_t rowBytes = static_cast<size_t>(r.x1 - r.x0) * 4u;
    const size_t shmStride = static_cast<size_t>(sw) * 4u;
    for (int y = r.y0; y < r.y1; ++y)
      std::memcpy(mShmData + static_cast<size_t>(y) * shmStride + static_cast<size_t>(r.x0) * 4u,
                  pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(r.x0) * 4u,
                  rowBytes);
    xcb_shm_put_image(c, mWindow, mGC, static_cast<uint16_t>(sw), static_cast<uint16_t>(sh),
                      static_cast<uint16_t>(r.x0), static_cast<uint16_t>(r.y0),
                      static_cast<uint16_t>(r.x1 - r.x0), static_cast<uint16_t>(r.y1 - r.y0),
                      static_cast<int16_t>(r.x0), static_cast<int16_t>(r.y0), mDepth,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 0, mShmSegment, 0);
  } else {
    PutImageBands(c, r);
  }
  // The reply to a request sent after the image tells that the server has taken it. Until
  // then the segment is not written again, and frames do not pile up in front of a slow
  // server: the damage waits and goes in one piece.
  mFence = xcb_get_input_focus(c).sequence;
  mFencePending = true;
  mDisplay->Flush();
}

void IGraphicsX11::PutImageBands(xcb_connection_t* c, const PixelRect& r) {
  const size_t serverLimit = mDisplay->MaxRequestBytes();
  const size_t limit = mMaxPutBytes ? std::min(mMaxPutBytes, serverLimit) : serverLimit;
  const int w = r.x1 - r.x0;
  const int rows = x11::RowsPerPutImage(limit, w);
  const uint8_t* pixels = SurfacePixels();
  const size_t stride = static_cast<size_t>(SurfaceStride());
  const size_t rowBytes = static_cast<size_t>(w) * 4u;
  // Whole rows of the surface go as they are; a narrower rectangle is packed first.
  const bool direct = stride == rowBytes;
  for (int y = r.y0; y < r.y1; y += rows) {
    const int n = std::min(rows, r.y1 - y);
    const uint8_t* data = pixels + static_cast<size_t>(y) * stride;
    if (!direct) {
      mBand.resize(static_cast<size_t>(n) * rowBytes);
      for (int i = 0; i < n; ++i)
        std::memcpy(mBand.data() + static_cast<size_t>(i) * rowBytes,
                    pixels + static_cast<size_t>(y + i) * stride + static_cast<size_t>(r.x0) * 4u,
                    rowBytes);
      data = mBand.data();
    }
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, mWindow, mGC, static_cast<uint16_t>(w),
                  static_cast<uint16_t>(n), static_cast<int16_t>(r.x0), static_cast<int16_t>(y), 0,
                  mDepth, static_cast<uint32_t>(static_cast<size_t>(n) * rowBytes), data);
  }
}

void IGraphicsX11::OnEventsDrained() {
  xcb_connection_t* c = mDisplay ? mDisplay->Connection() : nullptr;
  if (!c || !mFencePending) return;
  void* reply = nullptr;
  xcb_generic_error_t* error = nullptr;
  if (!xcb_poll_for_reply(c, mFence, &reply, &error)) return;
  std::free(reply);
  std::free(error);
  mFencePending = false;
  Present();
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

// ---- Prompts and services ----

void IGraphicsX11::AbortTextEntry() {
  if (mTextEntry) {
    mTextEntry->SetState(x11::X11TextEntry::kCancel);
    return;
  }
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
}

IMenuModel* IGraphicsX11::ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) {
  isAsync = false;
  // A menu still open gives way; its control was already replaced by this one's.
  DismissMenu(false);
  xcb_connection_t* c = Live();
  if (!c || menu.NItems() == 0) return nullptr;
  const float s = BackingScale();
  xcb_translate_coordinates_reply_t* origin = nullptr;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(c, xcb_get_geometry(c, mWindow), nullptr);
  if (geometry)
    origin = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, mWindow, geometry->root, 0, 0), nullptr);
  if (!geometry || !origin) {
    std::free(geometry);
    std::free(origin);
    return nullptr;
  }
  const xcb_window_t root = geometry->root;
  const int x = origin->dst_x + static_cast<int>(std::lround(s * bounds.L));
  const int y = origin->dst_y + static_cast<int>(std::lround(s * bounds.B));
  const int top = origin->dst_y + static_cast<int>(std::lround(s * bounds.T));
  std::free(geometry);
  std::free(origin);
  auto popup = std::make_unique<x11::X11Menu>(*mDisplay, menu, s);
  if (!popup->Show(root, x, y, top)) return nullptr;
  mMenu = std::move(popup);
  isAsync = true;
  return nullptr;
}

bool IGraphicsX11::MenuTakesEvent(const xcb_generic_event_t& event) {
  bool consumed = false;
  IMenuModel* chosen = nullptr;
  const x11::X11Menu::Outcome outcome = mMenu->HandleEvent(event, consumed, chosen);
  if (outcome == x11::X11Menu::Outcome::Open) return consumed;
  mMenu.reset();
  SetAllControlsDirty();
  // The menu's own completion may close the editor; the graphics context is told only if not.
  const std::weak_ptr<IGraphicsX11*> alive = mAlive;
  if (chosen) chosen->Complete();
  if (alive.expired()) return true;
  ApplyMenuResult(chosen);
  return true;
}

void IGraphicsX11::DismissMenu(bool tell) {
  if (!mMenu) return;
  mMenu.reset();
  if (tell) ApplyMenuResult(nullptr);
}

bool IGraphicsX11::DragOutActive() const {
  return mDragOut && !mDragOut->Finished();
}

bool IGraphicsX11::StartFileDragOut(const char* path, const IBox&) {
  if (mDragOut && mDragOut->Finished()) mDragOut.reset();
  xcb_connection_t* c = Live();
  if (!c || !path || !*path || mDragOut) return false;
  // The control pressed gets no release: the drag takes it.
  ReleaseMouseCapture();
  auto drag = std::make_unique<x11::X11DragSource>(*mDisplay, mWindow, path);
  if (!drag->Start()) return false;
  mDragOut = std::move(drag);
  return true;
}

void IGraphicsX11::OnDrop(const std::vector<std::string>& paths, int windowX, int windowY) {
  const float s = BackingScale();
  const float x = static_cast<float>(windowX) / s, y = static_cast<float>(windowY) / s;
  if (paths.size() == 1)
    OnFileDrop(paths[0].c_str(), x, y);
  else
    OnFilesDrop(paths, x, y);
}

// Dialogs run as helper programs, answered through their completion functions later; without
// one there is nobody to answer later, and waiting here would stall the host.

int IGraphicsX11::RunningDialogs() const {
  return static_cast<int>(std::count_if(mDialogs.begin(), mDialogs.end(),
                                        [](const auto& d) { return !d->Finished(); }));
}

bool IGraphicsX11::RunDialog(const std::vector<std::string>& argv,
                             std::function<void(int, const std::string&)> done) {
  mDialogs.erase(
      std::remove_if(mDialogs.begin(), mDialogs.end(), [](const auto& d) { return d->Finished(); }),
      mDialogs.end());
  auto dialog = x11::HelperDialog::Start(argv, std::move(done));
  if (!dialog) return false;
  mDialogs.push_back(std::move(dialog));
  return true;
}

void IGraphicsX11::EndDialogs() {
  // Moved out first: a dialog's end may not reach back into the list being cleared.
  std::vector<std::unique_ptr<x11::HelperDialog>> dialogs = std::move(mDialogs);
  mDialogs.clear();
  dialogs.clear();
}

EMsgBoxResult IGraphicsX11::ShowMessageBox(const char* text, const char* caption, EMsgBoxType type,
                                           MsgBoxCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  const auto argv = x11::MessageBoxCommand(helper, text, caption, type);
  if (helper.tool != x11::DialogTool::None && mDisplay) {
    if (!completion) {
      // A box with one button needs no answer: it is shown, and OK is what it would say.
      if (type == EMsgBoxType::OK && x11::SpawnDetached(argv)) return EMsgBoxResult::OK;
    } else if (RunDialog(argv, [helper, type, completion](int code, const std::string& out) {
                 completion(x11::MessageBoxAnswer(helper, type, code, out));
               })) {
      return EMsgBoxResult::NoResult;
    }
  }
  if (completion) completion(EMsgBoxResult::Cancel);
  return EMsgBoxResult::Cancel;
}

void IGraphicsX11::ChooseFile(std::string& fileName, std::string& path, EFileAction action,
                              const char* extensions, FileDialogCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  if (completion && helper.tool != x11::DialogTool::None && mDisplay &&
      RunDialog(x11::FileDialogCommand(helper, action, fileName, path, extensions),
                [completion, folder = path](int code, const std::string& out) {
                  std::string chosen = out.substr(0, out.find('\n'));
                  if (code != 0 || chosen.empty()) {
                    completion(std::string(), folder);
                    return;
                  }
                  completion(chosen, x11::FolderOf(chosen));
                }))
    return;
  fileName.clear();
  if (completion) completion(fileName, path);
}

void IGraphicsX11::ChooseDirectory(std::string& path, FileDialogCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  if (completion && helper.tool != x11::DialogTool::None && mDisplay &&
      RunDialog(x11::DirectoryDialogCommand(helper, path),
                [completion](int code, const std::string& out) {
                  std::string chosen = out.substr(0, out.find('\n'));
                  if (code != 0 || chosen.empty()) {
                    completion(std::string(), std::string());
                    return;
                  }
                  if (chosen.back() != '/') chosen += '/';
                  completion(std::string(), chosen);
                }))
    return;
  path.clear();
  if (completion) completion(std::string(), path);
}

bool IGraphicsX11::PickColor(IArgb& color, const char* title,
                             ColorPickerCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  // The answer always comes later, so this call itself never reports a colour taken.
  if (completion && helper.tool != x11::DialogTool::None && mDisplay)
    RunDialog(x11::ColorDialogCommand(helper, color, title),
              [completion, initial = color](int code, const std::string& out) {
                IArgb picked = initial;
                if (code == 0 && x11::ParseColorAnswer(out, picked)) completion(picked);
              });
  return false;
}

bool IGraphicsX11::OpenURL(const char* url, const char* windowTitle, const char* confirmText,
                           const char* errorText) {
  if (!url || !*url) return false;
  const std::string opener = x11::FindProgram("xdg-open");
  const std::string target = url, title = windowTitle ? windowTitle : "";
  const std::string error = errorText ? errorText : "";
  const auto open = [this, opener, target, title, error]() {
    if (!opener.empty() && x11::SpawnDetached({opener, target})) return true;
    if (!error.empty()) ShowMessageBox(error.c_str(), title.c_str(), EMsgBoxType::OK);
    return false;
  };
  if (!confirmText || !*confirmText) return open();
  // Asked first, and opened only on Yes; the answer comes later, so nothing is open yet now.
  const std::weak_ptr<IGraphicsX11*> alive = mAlive;
  ShowMessageBox(confirmText, title.c_str(), EMsgBoxType::YesNo,
                 [alive, open](EMsgBoxResult answer) {
                   if (answer == EMsgBoxResult::Yes && !alive.expired()) open();
                 });
  return false;
}

bool IGraphicsX11::ShowInFileBrowser(const char* path, bool select) {
  if (!path || !*path) return false;
  const std::string opener = x11::FindProgram("xdg-open");
  if (opener.empty()) return false;
  // xdg-open cannot point at a file inside its folder: selecting opens the folder holding it.
  std::string target = path;
  if (select) {
    const std::string folder = x11::FolderOf(target);
    if (!folder.empty()) target = folder;
  }
  return x11::SpawnDetached({opener, target});
}

// ---- Fonts and resources ----

std::unique_ptr<PlatformFont> IGraphicsX11::LoadNativeFont(const char*, const char* family,
                                                           EFontStyle style) {
  x11::FontFileMatch match;
  if (!x11::FindSystemFont(family, style, match)) return nullptr;
  return x11::SystemFont::Load(match);
}

std::unique_ptr<PlatformFont> IGraphicsX11::LoadNativeFont(const char*, const void* data,
                                                           int size) {
  auto font = std::make_unique<MemoryFont>(data, size);
  if (!font->IsUsable()) return nullptr;
  return font;
}

std::unique_ptr<PlatformFont> IGraphicsX11::LoadNativeFont(const char* fontID,
                                                           const char* fileOrResourceName) {
  std::string found;
  if (ResolveResource(fileOrResourceName, "ttf", found) != EResourceLocation::Module)
    return nullptr;
  int size = 0;
  const uint8_t* bytes = ModuleResourceBytes(found.c_str(), "ttf", size);
  if (!bytes) return nullptr;
  return LoadNativeFont(fontID, bytes, size);
}

void IGraphicsX11::CacheNativeFont(const char* fontID, std::unique_ptr<PlatformFont> font) {
  if (!fontID || !font) return;
  NativeFontCache& cache = NativeFonts();
  std::lock_guard lock(cache.mutex);
  cache.fonts.emplace(fontID, std::move(font));
}

EResourceLocation IGraphicsX11::ResolveResource(const char* name, const char* type,
                                                std::string& found) const {
  return resources::FindResource(mResources, name, type, found) ? EResourceLocation::Module
                                                                : EResourceLocation::NotFound;
}

const uint8_t* IGraphicsX11::ModuleResourceBytes(const char* found, const char* type,
                                                 int& size) const {
  size_t bytes = 0;
  const uint8_t* data = resources::ResourceBytes(mResources, found, type, bytes);
  if (!data || bytes > static_cast<size_t>(INT_MAX)) {
    size = 0;
    return nullptr;
  }
  size = static_cast<int>(bytes);
  return data;
}

// ---- Text field, tooltips and clipboard ----

namespace {

// How long the pointer rests on a control before its tooltip shows, and where the tooltip sits
// from the pointer (window pixels), clear of the cursor's own shape.
constexpr int kTooltipHoverMs = 400;
constexpr int kTooltipOffsetX = 12;
constexpr int kTooltipOffsetY = 18;
// The most characters a committed field hands over.
constexpr size_t kTextEntryReadLimit = 256;
// Control with these copies the field's text and pastes into it.
constexpr int kVkC = 0x43;
constexpr int kVkV = 0x56;

}  // namespace

void IGraphicsX11::ShowNativeTextField(int paramIdx, const ITextStyle& style, const IBox& bounds,
                                       int maxLength, const char* text) {
  xcb_connection_t* c = Live();
  if (!c) {
    // Left waiting, the entry would hold the drag back from every control.
    mInTextEntry = nullptr;
    mTextEntryValIdx = -1;
    return;
  }
  if (mTextEntry) return;
  HideTooltip();
  x11::X11TextEntry::Setup setup;
  setup.connection = c;
  setup.parent = mWindow;
  setup.depth = mDepth;
  setup.scale = BackingScale();
  setup.bounds = bounds;
  setup.style = style;
  setup.maxLength = maxLength;
  setup.text = text ? text : "";
  setup.maxRequestBytes = mDisplay->MaxRequestBytes();
  if (const IParam* param = GetDelegate().GetParam(paramIdx)) {
    switch (param->Kind()) {
      case kKindBool:
      case kKindInt:
      case kKindEnum:
        setup.filter = x11::TextFilter::Integer;
        break;
      case kKindDouble:
        setup.filter = x11::TextFilter::Decimal;
        break;
      default:
        break;
    }
  }
  mTextEntry = std::make_unique<x11::X11TextEntry>(setup);
  mTextEntry->TakeFocus(XCB_CURRENT_TIME);
  mDisplay->Flush();
}

void IGraphicsX11::CloseTextEntry() {
  // The focus goes back to the editor by itself: the field was made to revert it to its parent.
  mTextEntry.reset();
  if (mDisplay) mDisplay->Flush();
}

bool IGraphicsX11::TickTextEntry() {
  if (!mTextEntry) return false;
  switch (mTextEntry->State()) {
    case x11::X11TextEntry::kEditing:
      // Nothing is drawn under the user's typing.
      return true;
    case x11::X11TextEntry::kCancel:
      CloseTextEntry();
      mInTextEntry = nullptr;
      mTextEntryValIdx = -1;
      return true;
    case x11::X11TextEntry::kCommit: {
      const std::string typed = x11::FirstCharacters(mTextEntry->Text(), kTextEntryReadLimit);
      CloseTextEntry();
      ApplyTextEntryResult(typed.c_str());
      return true;
    }
    default:
      mTextEntry->SetState(x11::X11TextEntry::kUpdated);
      return false;
  }
}

bool IGraphicsX11::TextEntryTakesEvent(const xcb_generic_event_t& event) {
  const uint8_t type = event.response_type & 0x7f;
  if (mTextEntry) {
    x11::X11TextEntry& field = *mTextEntry;
    const xcb_window_t fieldWindow = field.Window();
    switch (type) {
      case XCB_EXPOSE:
        if (reinterpret_cast<const xcb_expose_event_t&>(event).window != fieldWindow) return false;
        if (reinterpret_cast<const xcb_expose_event_t&>(event).count == 0) field.OnExpose();
        return true;
      case XCB_FOCUS_IN:
      case XCB_FOCUS_OUT: {
        const auto& e = reinterpret_cast<const xcb_focus_in_event_t&>(event);
        if (e.event != fieldWindow) return false;
        if (type == XCB_FOCUS_IN)
          field.OnFocusIn();
        else
          field.OnFocusOut(e.mode, e.detail);
        return true;
      }
      case XCB_KEY_PRESS:
      case XCB_KEY_RELEASE: {
        const auto& e = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (e.event == fieldWindow) {
          IKeyEvent key;
          if (type == XCB_KEY_PRESS && mDisplay->TranslateKey(e, key)) {
            std::string pasted;
            if (key.C && key.VK == kVkC) {
              WriteClipboardText(field.Text().c_str());
            } else if (key.C && key.VK == kVkV) {
              if (ReadClipboardText(pasted)) field.Insert(pasted);
            } else
              field.OnKey(key.VK, key.utf8, key.C);
            mDisplay->Flush();
          }
          return true;
        }
        return e.event == mWindow && field.State() == x11::X11TextEntry::kEditing;
      }
      case XCB_BUTTON_PRESS: {
        const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
        // A press in the field places nothing yet, but keeps the field editing.
        if (e.event == fieldWindow) return true;
        if (e.event != mWindow) return false;
        HideTooltip();
        const bool wheel = e.detail >= 4 && e.detail <= 7;
        if (field.State() == x11::X11TextEntry::kEditing) {
          if (e.detail == 1 || e.detail == 3) field.SetState(x11::X11TextEntry::kCancel);
        } else {
          field.SetState(wheel ? x11::X11TextEntry::kCancel : x11::X11TextEntry::kCommit);
        }
        return true;
      }
      case XCB_BUTTON_RELEASE:
      case XCB_MOTION_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
        if (e.event == fieldWindow) return true;
        return e.event == mWindow && field.State() == x11::X11TextEntry::kEditing;
      }
      default:
        break;
    }
  }
  // Tooltips follow the pointer over the editor.
  switch (type) {
    case XCB_BUTTON_PRESS:
      if (reinterpret_cast<const xcb_button_press_event_t&>(event).event == mWindow) HideTooltip();
      return false;
    case XCB_LEAVE_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_leave_notify_event_t&>(event);
      if (e.event == mWindow && e.mode == XCB_NOTIFY_MODE_NORMAL &&
          e.detail != XCB_NOTIFY_DETAIL_INFERIOR) {
        HideTooltip();
        mTooltipIdx = -1;
      }
      return false;
    }
    case XCB_MOTION_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
      if (e.event != mWindow || (e.state & kButtonsHeld) || !TooltipsEnabled()) return false;
      const std::weak_ptr<IGraphicsX11*> alive = mAlive;
      OnMotion(e);
      if (!alive.expired()) UpdateTooltip(e.root_x, e.root_y);
      return true;
    }
    default:
      return false;
  }
}

const x11::X11Tooltip* IGraphicsX11::ShowingTooltip() const {
  return mTooltip && mTooltip->Showing() ? mTooltip.get() : nullptr;
}

void IGraphicsX11::HideTooltip() {
  if (mTooltipTimer != IRunLoop::kInvalidId && mLoop) mLoop->RemoveTimer(mTooltipTimer);
  mTooltipTimer = IRunLoop::kInvalidId;
  if (mTooltip && mTooltip->Showing()) {
    mTooltip->Hide();
    if (mDisplay) mDisplay->Flush();
  }
}

void IGraphicsX11::UpdateTooltip(int16_t rootX, int16_t rootY) {
  const int idx = GetMouseOverIdx();
  const bool sameControl = idx == mTooltipIdx;
  if (sameControl && ShowingTooltip()) return;
  // Resting is what counts: every move starts the wait again.
  HideTooltip();
  mTooltipIdx = idx;
  IControl* control = idx >= 0 ? GetControl(idx) : nullptr;
  if (!control || control->GetTooltip().empty() || !mLoop || mTextEntry) return;
  mTooltipX = rootX + kTooltipOffsetX;
  mTooltipY = rootY + kTooltipOffsetY;
  const std::weak_ptr<IGraphicsX11*> alive = mAlive;
  mTooltipTimer = mLoop->AddTimer(kTooltipHoverMs, [alive](IRunLoop::Id id) {
    const auto editor = alive.lock();
    if (!editor || (*editor)->mTooltipTimer != id) return;
    (*editor)->ShowPendingTooltip();
  });
}

void IGraphicsX11::ShowPendingTooltip() {
  if (mTooltipTimer != IRunLoop::kInvalidId && mLoop) mLoop->RemoveTimer(mTooltipTimer);
  mTooltipTimer = IRunLoop::kInvalidId;
  xcb_connection_t* c = Live();
  IControl* control = mTooltipIdx >= 0 ? GetControl(mTooltipIdx) : nullptr;
  if (!c || !control || control->GetTooltip().empty() || mTextEntry) return;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(c, xcb_get_geometry(c, mWindow), nullptr);
  const xcb_screen_t* screen = geometry ? mDisplay->ScreenOfRoot(geometry->root) : nullptr;
  std::free(geometry);
  if (!screen) return;
  if (!mTooltip)
    mTooltip = std::make_unique<x11::X11Tooltip>(c, screen->root, screen->root_depth,
                                                 mDisplay->MaxRequestBytes());
  mTooltip->Show(control->GetTooltip(), DEFAULT_TEXT.fontID, GetScreenScale(), mTooltipX, mTooltipY,
                 screen->width_in_pixels, screen->height_in_pixels);
  mDisplay->Flush();
}

x11::X11Clipboard* IGraphicsX11::Clipboard() {
  if (!mClipboard && mDisplay && mDisplay->Connection())
    mClipboard = x11::X11Clipboard::Acquire(*mDisplay);
  return mClipboard;
}

bool IGraphicsX11::ReadClipboardText(std::string& text) {
  text.clear();
  x11::X11Clipboard* clipboard = Clipboard();
  return clipboard && clipboard->ReadText(text);
}

bool IGraphicsX11::WriteClipboardText(const char* text) {
  x11::X11Clipboard* clipboard = Clipboard();
  return clipboard && clipboard->WriteText(text ? text : "");
}

bool IGraphicsX11::WriteClipboardFilePath(const char* path) {
  x11::X11Clipboard* clipboard = Clipboard();
  return clipboard && path && clipboard->WriteFilePath(path);
}

}  // namespace iplug::igraphics
