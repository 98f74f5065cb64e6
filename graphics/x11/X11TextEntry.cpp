#include "graphics/x11/X11TextEntry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "graphics/cairo/CairoFonts.h"
#include "graphics/x11/X11Support.h"

namespace iplug::igraphics::x11 {

namespace {

constexpr int kVkBack = 0x08;
constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;
constexpr int kVkEnd = 0x23;
constexpr int kVkHome = 0x24;
constexpr int kVkLeft = 0x25;
constexpr int kVkRight = 0x27;
constexpr int kVkDelete = 0x2E;
constexpr int kVkA = 0x41;

// Room between the field's edge and text aligned to it, in pixels, as native fields keep.
constexpr double kTextMargin = 2.0;

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

void SetColor(cairo_t* cr, const IArgb& c) {
  cairo_set_source_rgba(cr, std::clamp(c.R, 0, 255) / 255.0, std::clamp(c.G, 0, 255) / 255.0,
                        std::clamp(c.B, 0, 255) / 255.0, std::clamp(c.A, 0, 255) / 255.0);
}

}  // namespace

bool FilterAccepts(TextFilter filter, const char* utf8) {
  if (!utf8 || !*utf8) return false;
  if (filter == TextFilter::None) return true;
  if (utf8[1] != '\0') return false;
  const char c = utf8[0];
  if ((c >= '0' && c <= '9') || c == '+' || c == '-') return true;
  return filter == TextFilter::Decimal && c == '.';
}

size_t CharacterCount(const std::string& text) {
  size_t n = 0;
  for (const char c : text)
    if (!IsContinuation(static_cast<unsigned char>(c))) ++n;
  return n;
}

std::string FirstCharacters(const std::string& text, size_t maxChars) {
  size_t chars = 0, i = 0;
  while (i < text.size()) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
      if (chars == maxChars) break;
      ++chars;
    }
    ++i;
  }
  return text.substr(0, i);
}

X11TextEntry::X11TextEntry(const Setup& setup) : mSetup(setup), mC(setup.connection) {
  const float s = setup.scale;
  const IBox& b = setup.bounds;
  mX = static_cast<int>(s * b.L);
  mY = static_cast<int>(s * b.T);
  mW = std::clamp(static_cast<int>(s * b.R) - mX + 1, 1, 32767);
  mH = std::clamp(static_cast<int>(s * b.B) - mY + 1, 1, 32767);
  // A field shorter than the limit holds the whole initial text all the same, as native ones do.
  mText = setup.text;
  mCaret = mText.size();

  mWindow = xcb_generate_id(mC);
  const uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_KEY_PRESS |
                          XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_BUTTON_PRESS;
  const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, events};
  xcb_create_window(mC, XCB_COPY_FROM_PARENT, mWindow, setup.parent, static_cast<int16_t>(mX),
                    static_cast<int16_t>(mY), static_cast<uint16_t>(mW), static_cast<uint16_t>(mH),
                    0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                    XCB_CW_BACK_PIXMAP | XCB_CW_EVENT_MASK, values);
  mGC = xcb_generate_id(mC);
  const uint32_t noExposures = 0;
  xcb_create_gc(mC, mGC, mWindow, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
  mSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, mW, mH);
  xcb_map_window(mC, mWindow);
  Redraw();
}

X11TextEntry::~X11TextEntry() {
  if (mC) {
    xcb_free_gc(mC, mGC);
    xcb_destroy_window(mC, mWindow);
  }
  cairo_surface_destroy(mSurface);
}

void X11TextEntry::TakeFocus(xcb_timestamp_t time) {
  if (!mC) return;
  // Refused while the editor is not viewable; the field then never edits and a press commits.
  xcb_discard_reply(
      mC, xcb_set_input_focus_checked(mC, XCB_INPUT_FOCUS_PARENT, mWindow, time).sequence);
}

void X11TextEntry::OnExpose() {
  Present();
}

void X11TextEntry::OnFocusIn() {
  if (mState == kNone || mState == kUpdated) mState = kEditing;
}

void X11TextEntry::OnFocusOut(uint8_t mode, uint8_t detail) {
  // A grab or the pointer moving inside does not take the keys away.
  if (mode == XCB_NOTIFY_MODE_GRAB || mode == XCB_NOTIFY_MODE_UNGRAB) return;
  if (detail == XCB_NOTIFY_DETAIL_INFERIOR || detail == XCB_NOTIFY_DETAIL_POINTER) return;
  if (mState == kEditing) mState = kCommit;
}

size_t X11TextEntry::Previous(size_t pos) const {
  if (pos == 0) return 0;
  --pos;
  while (pos > 0 && IsContinuation(static_cast<unsigned char>(mText[pos]))) --pos;
  return pos;
}

size_t X11TextEntry::Next(size_t pos) const {
  if (pos >= mText.size()) return mText.size();
  ++pos;
  while (pos < mText.size() && IsContinuation(static_cast<unsigned char>(mText[pos]))) ++pos;
  return pos;
}

void X11TextEntry::DeleteSelection() {
  if (!mAllSelected) return;
  mText.clear();
  mCaret = 0;
  mAllSelected = false;
}

void X11TextEntry::Insert(const std::string& text) {
  std::string accepted;
  for (size_t i = 0; i < text.size();) {
    size_t j = i + 1;
    while (j < text.size() && IsContinuation(static_cast<unsigned char>(text[j]))) ++j;
    const std::string ch = text.substr(i, j - i);
    // Line breaks would make a one-line field two.
    if (ch != "\n" && ch != "\r" && FilterAccepts(mSetup.filter, ch.c_str())) accepted += ch;
    i = j;
  }
  if (accepted.empty()) return;
  DeleteSelection();
  const size_t room = mSetup.maxLength > 0 ? static_cast<size_t>(mSetup.maxLength) : 0;
  const size_t have = CharacterCount(mText);
  if (have >= room) return;
  accepted = FirstCharacters(accepted, room - have);
  mText.insert(mCaret, accepted);
  mCaret += accepted.size();
  Redraw();
}

void X11TextEntry::OnKey(int vk, const char* utf8, bool control) {
  switch (vk) {
    case kVkReturn:
      mState = kCommit;
      return;
    case kVkEscape:
      mState = kCancel;
      return;
    case kVkBack:
      if (mAllSelected) {
        DeleteSelection();
      } else if (mCaret > 0) {
        const size_t from = Previous(mCaret);
        mText.erase(from, mCaret - from);
        mCaret = from;
      }
      Redraw();
      return;
    case kVkDelete:
      if (mAllSelected) {
        DeleteSelection();
      } else if (mCaret < mText.size()) {
        mText.erase(mCaret, Next(mCaret) - mCaret);
      }
      Redraw();
      return;
    case kVkLeft:
      mCaret = mAllSelected ? 0 : Previous(mCaret);
      mAllSelected = false;
      Redraw();
      return;
    case kVkRight:
      mCaret = mAllSelected ? mText.size() : Next(mCaret);
      mAllSelected = false;
      Redraw();
      return;
    case kVkHome:
    case kVkEnd:
      mCaret = vk == kVkHome ? 0 : mText.size();
      mAllSelected = false;
      Redraw();
      return;
    default:
      break;
  }
  if (control) {
    if (vk == kVkA) {
      mAllSelected = true;
      mCaret = mText.size();
      Redraw();
    }
    return;
  }
  if (utf8 && *utf8) Insert(utf8);
}

void X11TextEntry::Redraw() {
  if (!mSurface || cairo_surface_status(mSurface) != CAIRO_STATUS_SUCCESS) return;
  const ITextStyle& style = mSetup.style;
  const float s = mSetup.scale;
  cairo_t* cr = cairo_create(mSurface);
  SetColor(cr, style.textEntryBGColor);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);

  const auto face = cairo_backend::FindTypeface(
      std::string(style.fontID, strnlen(style.fontID, sizeof style.fontID)));
  const double pixelSize = static_cast<int>(s * style.size);
  double textW = 0.0, caretX = 0.0, x = kTextMargin, baseline = 0.0, ascent = 0.0, descent = 0.0;
  if (face && pixelSize > 0.0) {
    // The style's size is the height from ascender to descender, as the backend draws it.
    const double upem = face->UnitsPerEM();
    const double fontSize = pixelSize * upem / (face->Ascender() - face->Descender());
    cairo_set_font_face(cr, face->Face());
    cairo_set_font_size(cr, fontSize);
    cairo_text_extents_t all{}, before{};
    cairo_text_extents(cr, mText.c_str(), &all);
    cairo_text_extents(cr, mText.substr(0, mCaret).c_str(), &before);
    textW = all.x_advance;
    ascent = face->Ascender() * fontSize / upem;
    descent = -face->Descender() * fontSize / upem;
    switch (style.align) {
      case EHAlign::Left:
        x = kTextMargin;
        break;
      case EHAlign::Right:
        x = mW - kTextMargin - textW;
        break;
      default:
        x = (mW - textW) * 0.5;
    }
    double top = 0.0;
    if (style.valign == EVAlign::Middle)
      top = (mH - s * style.size) * 0.5;
    else if (style.valign == EVAlign::Bottom)
      top = mH - s * style.size;
    baseline = top + ascent;
    // Text wider than the field scrolls so that the caret stays in sight.
    caretX = x + before.x_advance - mScroll;
    if (caretX > mW - kTextMargin) mScroll += caretX - (mW - kTextMargin);
    if (caretX < kTextMargin && textW > mW - 2 * kTextMargin) mScroll -= kTextMargin - caretX;
    if (textW <= mW - 2 * kTextMargin) mScroll = 0.0;
    mScroll = std::max(mScroll, std::min(0.0, x - kTextMargin));
    x -= mScroll;
    caretX = x + before.x_advance;

    if (mAllSelected && !mText.empty()) {
      SetColor(cr, style.textEntryFGColor);
      cairo_rectangle(cr, x, baseline - ascent, textW, ascent + descent);
      cairo_fill(cr);
      SetColor(cr, style.textEntryBGColor);
    } else {
      SetColor(cr, style.textEntryFGColor);
    }
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, mText.c_str());
    cairo_new_path(cr);
  }
  if (!mAllSelected || mText.empty()) {
    SetColor(cr, style.textEntryFGColor);
    const double width = std::max(1.0, std::floor(static_cast<double>(s)));
    const double h = ascent + descent > 0.0 ? ascent + descent : mH - 2.0;
    const double top = ascent + descent > 0.0 ? baseline - ascent : 1.0;
    cairo_rectangle(cr, std::floor(std::clamp(caretX, 0.0, mW - width)), top, width, h);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(mSurface);
  Present();
}

void X11TextEntry::Present() {
  if (!mC || !mSurface || cairo_surface_status(mSurface) != CAIRO_STATUS_SUCCESS) return;
  const uint8_t* pixels = cairo_image_surface_get_data(mSurface);
  const int stride = cairo_image_surface_get_stride(mSurface);
  const int rows = RowsPerPutImage(mSetup.maxRequestBytes, mW);
  const size_t rowBytes = static_cast<size_t>(mW) * 4u;
  std::string band;
  for (int y = 0; y < mH; y += rows) {
    const int n = std::min(rows, mH - y);
    const uint8_t* data = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
    if (static_cast<size_t>(stride) != rowBytes) {
      band.resize(static_cast<size_t>(n) * rowBytes);
      for (int i = 0; i < n; ++i)
        std::memcpy(band.data() + static_cast<size_t>(i) * rowBytes,
                    data + static_cast<size_t>(i) * static_cast<size_t>(stride), rowBytes);
      data = reinterpret_cast<const uint8_t*>(band.data());
    }
    xcb_put_image(mC, XCB_IMAGE_FORMAT_Z_PIXMAP, mWindow, mGC, static_cast<uint16_t>(mW),
                  static_cast<uint16_t>(n), 0, static_cast<int16_t>(y), 0, mSetup.depth,
                  static_cast<uint32_t>(static_cast<size_t>(n) * rowBytes), data);
  }
}

}  // namespace iplug::igraphics::x11
