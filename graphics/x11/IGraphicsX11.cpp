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
#include "graphics/x11/X11Support.h"

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
  mAlive.reset();
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
}

void IGraphicsX11::OnConnectionLost() {
  // Connection() is null from now on, so all of this stays on this side.
  WindowGone();
}

bool IGraphicsX11::ConcernsWindow(xcb_window_t window) const {
  return mWindow != XCB_NONE && (window == mWindow || window == mParent);
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

// ---- Prompts and services: answered as cancelled until they exist ----

void IGraphicsX11::AbortTextEntry() {
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
}

void IGraphicsX11::ShowNativeTextField(int, const ITextStyle&, const IBox&, int, const char*) {
  // Left open, the entry would hold the drag back from every control.
  AbortTextEntry();
}

IMenuModel* IGraphicsX11::ShowNativeMenu(IMenuModel&, const IBox&, bool& isAsync) {
  isAsync = false;
  return nullptr;
}

bool IGraphicsX11::ReadClipboardText(std::string& text) {
  text.clear();
  return false;
}

bool IGraphicsX11::WriteClipboardText(const char*) {
  return false;
}

EMsgBoxResult IGraphicsX11::ShowMessageBox(const char*, const char*, EMsgBoxType,
                                           MsgBoxCompletionFunction completion) {
  if (completion) completion(EMsgBoxResult::Cancel);
  return EMsgBoxResult::Cancel;
}

void IGraphicsX11::ChooseFile(std::string& fileName, std::string& path, EFileAction, const char*,
                              FileDialogCompletionFunction completion) {
  fileName.clear();
  if (completion) completion(fileName, path);
}

void IGraphicsX11::ChooseDirectory(std::string& path, FileDialogCompletionFunction completion) {
  path.clear();
  if (completion) completion(std::string(), path);
}

bool IGraphicsX11::PickColor(IArgb&, const char*, ColorPickerCompletionFunction) {
  return false;
}

bool IGraphicsX11::OpenURL(const char*, const char*, const char*, const char*) {
  return false;
}

bool IGraphicsX11::ShowInFileBrowser(const char*, bool) {
  return false;
}

// ---- Fonts and resources ----

std::unique_ptr<PlatformFont> IGraphicsX11::LoadNativeFont(const char*, const char*, EFontStyle) {
  return nullptr;
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

}  // namespace iplug::igraphics
