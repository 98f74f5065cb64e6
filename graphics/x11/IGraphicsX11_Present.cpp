// The editor's display tick (the Present extension's vertical blanks, or a timer) and how its
// frames reach the window (MIT-SHM, or PutImage in bands).
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/present.h>
#include <xcb/shm.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>

#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11Support.h"

namespace iplug::igraphics {

using x11::X11Display;

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

}  // namespace iplug::igraphics
