#include "graphics/x11/X11Tooltip.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/cairo/CairoFonts.h"
#include "graphics/x11/X11Support.h"

namespace iplug::igraphics::x11 {

namespace {

// Points, times the scale: the size desktops give tooltip text, and the room around it.
constexpr double kTextSize = 12.0;
constexpr double kPadding = 4.0;

struct Measure {
  cairo_t* cr;
};

double MeasureWith(const std::string& text, void* context) {
  cairo_text_extents_t e{};
  cairo_text_extents(static_cast<Measure*>(context)->cr, text.c_str(), &e);
  return e.x_advance;
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, double maxWidth,
                                  double (*measure)(const std::string&, void*), void* context) {
  std::vector<std::string> lines;
  std::string line;
  const auto push = [&] {
    lines.push_back(line);
    line.clear();
  };
  size_t i = 0;
  while (i <= text.size()) {
    if (i == text.size() || text[i] == '\n') {
      push();
      ++i;
      if (i > text.size()) break;
      continue;
    }
    size_t end = text.find_first_of(" \n", i);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(i, end - i);
    const std::string joined = line.empty() ? word : line + " " + word;
    if (measure(joined, context) <= maxWidth) {
      line = joined;
    } else {
      if (!line.empty()) push();
      // A word wider than a line is cut between characters.
      while (!word.empty() && measure(word, context) > maxWidth) {
        size_t cut = word.size();
        while (cut > 1 && measure(word.substr(0, cut), context) > maxWidth) {
          --cut;
          while (cut > 1 && (static_cast<unsigned char>(word[cut]) & 0xC0) == 0x80) --cut;
        }
        line = word.substr(0, cut);
        push();
        word.erase(0, cut);
      }
      line = word;
    }
    i = end < text.size() && text[end] == ' ' ? end + 1 : end;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

X11Tooltip::X11Tooltip(xcb_connection_t* connection, xcb_window_t root, uint8_t depth,
                       size_t maxRequestBytes)
    : mC(connection), mDepth(depth), mMaxRequestBytes(maxRequestBytes) {
  mWindow = xcb_generate_id(mC);
  const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 1, XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(mC, XCB_COPY_FROM_PARENT, mWindow, root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                    XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
  mGC = xcb_generate_id(mC);
  const uint32_t noExposures = 0;
  xcb_create_gc(mC, mGC, mWindow, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
}

X11Tooltip::~X11Tooltip() {
  if (!mC) return;
  xcb_free_gc(mC, mGC);
  xcb_destroy_window(mC, mWindow);
}

void X11Tooltip::Hide() {
  if (!mShowing) return;
  mShowing = false;
  if (mC) xcb_unmap_window(mC, mWindow);
}

void X11Tooltip::Show(const std::string& text, const char* fontID, float scale, int rootX,
                      int rootY, int screenW, int screenH) {
  if (!mC) return;
  const auto face = cairo_backend::FindTypeface(fontID ? fontID : "");
  if (!face || text.empty()) {
    Hide();
    return;
  }
  const double s = std::max(1.f, scale);
  const double upem = face->UnitsPerEM();
  const double fontSize = kTextSize * s * upem / (face->Ascender() - face->Descender());
  const double ascent = face->Ascender() * fontSize / upem;
  const double lineH = kTextSize * s;
  const double pad = kPadding * s;

  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(scratch);
  cairo_set_font_face(cr, face->Face());
  cairo_set_font_size(cr, fontSize);
  Measure m{cr};
  const std::vector<std::string> lines = WrapText(text, kMaxWidth - 2 * pad, MeasureWith, &m);
  double widest = 0.0;
  for (const std::string& line : lines) widest = std::max(widest, MeasureWith(line, &m));
  cairo_destroy(cr);
  cairo_surface_destroy(scratch);

  mW = std::min(kMaxWidth, static_cast<int>(std::ceil(widest + 2 * pad)));
  mH = static_cast<int>(std::ceil(lines.size() * lineH + 2 * pad));
  const int x = std::clamp(rootX, 0, std::max(0, screenW - mW));
  const int y = std::clamp(rootY, 0, std::max(0, screenH - mH));

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, mW, mH);
  cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1.0, 1.0, 0.88);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_rectangle(cr, 0.5, 0.5, mW - 1.0, mH - 1.0);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  cairo_set_font_face(cr, face->Face());
  cairo_set_font_size(cr, fontSize);
  for (size_t i = 0; i < lines.size(); ++i) {
    cairo_move_to(cr, pad, pad + i * lineH + ascent);
    cairo_show_text(cr, lines[i].c_str());
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);

  const uint32_t geometry[] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                               static_cast<uint32_t>(mW), static_cast<uint32_t>(mH),
                               XCB_STACK_MODE_ABOVE};
  xcb_configure_window(mC, mWindow,
                       XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                           XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                       geometry);
  xcb_map_window(mC, mWindow);
  mShowing = true;
  // Put right after mapping: with no background the server keeps what it is given.
  const uint8_t* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const int rows = RowsPerPutImage(mMaxRequestBytes, mW);
  std::vector<uint8_t> band;
  const size_t rowBytes = static_cast<size_t>(mW) * 4u;
  for (int row = 0; row < mH; row += rows) {
    const int n = std::min(rows, mH - row);
    band.resize(static_cast<size_t>(n) * rowBytes);
    for (int i = 0; i < n; ++i)
      std::memcpy(band.data() + static_cast<size_t>(i) * rowBytes,
                  pixels + static_cast<size_t>(row + i) * static_cast<size_t>(stride), rowBytes);
    xcb_put_image(mC, XCB_IMAGE_FORMAT_Z_PIXMAP, mWindow, mGC, static_cast<uint16_t>(mW),
                  static_cast<uint16_t>(n), 0, static_cast<int16_t>(row), 0, mDepth,
                  static_cast<uint32_t>(band.size()), band.data());
  }
  cairo_surface_destroy(surface);
}

}  // namespace iplug::igraphics::x11
