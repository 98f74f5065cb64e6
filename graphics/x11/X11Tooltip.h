#pragma once

#include <xcb/xcb.h>

#include <string>
#include <vector>

namespace iplug::igraphics::x11 {

/** The lines of text broken at spaces (or, for a word too long, anywhere) to fit maxWidth. */
std::vector<std::string> WrapText(const std::string& text, double maxWidth,
                                  double (*measure)(const std::string&, void*), void* context);

/**
 * A tooltip: an override-redirect window at the root, so the window manager neither moves it
 * nor gives it the focus, showing wrapped text drawn with Cairo. It only shows and hides; the
 * editor decides when.
 *
 * Main thread only.
 */
class X11Tooltip {
 public:
  /** The widest a tooltip gets, in window pixels. */
  static constexpr int kMaxWidth = 250;

  X11Tooltip(xcb_connection_t* connection, xcb_window_t root, uint8_t depth,
             size_t maxRequestBytes);
  ~X11Tooltip();
  X11Tooltip(const X11Tooltip&) = delete;
  X11Tooltip& operator=(const X11Tooltip&) = delete;

  /** Shows text with its top left at (rootX, rootY), kept on the screen of width × height. */
  void Show(const std::string& text, const char* fontID, float scale, int rootX, int rootY,
            int screenW, int screenH);
  void Hide();
  bool Showing() const { return mShowing; }
  xcb_window_t Window() const { return mWindow; }
  int Width() const { return mW; }
  int Height() const { return mH; }
  /** The connection is gone: nothing may be sent on it again. */
  void Disconnect() { mC = nullptr; }

 private:
  xcb_connection_t* mC;
  xcb_window_t mWindow = XCB_NONE;
  xcb_gcontext_t mGC = XCB_NONE;
  uint8_t mDepth;
  size_t mMaxRequestBytes;
  bool mShowing = false;
  int mW = 0, mH = 0;
};

}  // namespace iplug::igraphics::x11
