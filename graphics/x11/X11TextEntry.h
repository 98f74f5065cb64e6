#pragma once

#include <cairo.h>
#include <xcb/xcb.h>

#include <cstddef>
#include <string>

#include "graphics/IGraphicsStructs.h"

namespace iplug::igraphics::x11 {

/** Which characters a field takes besides backspace: anything, a whole number, a decimal. */
enum class TextFilter { None, Integer, Decimal };

/** Whether the filter lets this UTF-8 character into the field. */
bool FilterAccepts(TextFilter filter, const char* utf8);
/** The first maxChars characters of UTF-8 text (a character cut short is dropped). */
std::string FirstCharacters(const std::string& text, size_t maxChars);
/** Characters (not bytes) of UTF-8 text. */
size_t CharacterCount(const std::string& text);

/**
 * The editor's one-line text field: a child window of the editor window, drawn with Cairo
 * into an image surface and put to the server the way the editor's frames are. It starts with
 * all of its text selected and reports what the user does through a state the editor's display
 * tick acts on (the numbers are the graphics context's, shared with every platform).
 *
 * The field never waits for the server; the editor owns it and destroys it before its own
 * window.
 *
 * Main thread only.
 */
class X11TextEntry {
 public:
  enum State : int { kNone = 0, kEditing = 1, kUpdated = 2, kCancel = 3, kCommit = 4 };

  struct Setup {
    xcb_connection_t* connection = nullptr;
    xcb_window_t parent = XCB_NONE;
    uint8_t depth = 24;
    /** Window pixels per point. */
    float scale = 1.f;
    IBox bounds;
    ITextStyle style;
    int maxLength = 7;
    TextFilter filter = TextFilter::None;
    std::string text;
    /** The most bytes one request may carry. */
    size_t maxRequestBytes = 1u << 18;
  };

  explicit X11TextEntry(const Setup& setup);
  ~X11TextEntry();
  X11TextEntry(const X11TextEntry&) = delete;
  X11TextEntry& operator=(const X11TextEntry&) = delete;

  xcb_window_t Window() const { return mWindow; }
  int State() const { return mState; }
  void SetState(int state) { mState = state; }
  const std::string& Text() const { return mText; }
  /** Pixel position and size of the field in the editor window. */
  int X() const { return mX; }
  int Y() const { return mY; }
  int Width() const { return mW; }
  int Height() const { return mH; }

  /** Asks for the keyboard focus; FocusIn then makes the state editing. */
  void TakeFocus(xcb_timestamp_t time);
  /** The field window's own events, as the editor routes them. */
  void OnExpose();
  void OnFocusIn();
  void OnFocusOut(uint8_t mode, uint8_t detail);
  /** A translated key press: virtual key, its text and the control modifier. */
  void OnKey(int virtualKey, const char* utf8, bool control);
  /** Puts text at the caret (or over the selection) as far as the filter and limit allow. */
  void Insert(const std::string& text);

  /** The connection is gone: nothing may be sent on it again, not even on destruction. */
  void Disconnect() { mC = nullptr; }

  /** Draws the field into its surface; the tests look at it through the window. */
  void Redraw();

 private:
  void Present();
  /** Byte offset of the character before / after pos. */
  size_t Previous(size_t pos) const;
  size_t Next(size_t pos) const;
  void DeleteSelection();

  Setup mSetup;
  xcb_connection_t* mC = nullptr;
  xcb_window_t mWindow = XCB_NONE;
  xcb_gcontext_t mGC = XCB_NONE;
  cairo_surface_t* mSurface = nullptr;
  int mX = 0, mY = 0, mW = 1, mH = 1;
  int mState = kNone;
  std::string mText;
  size_t mCaret = 0;
  bool mAllSelected = true;
  /** How far the text is pushed left so the caret stays inside the field. */
  double mScroll = 0.0;
};

}  // namespace iplug::igraphics::x11
