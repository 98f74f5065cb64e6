#include "graphics/cairo/CairoSvg.h"

#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace iplug::igraphics::cairo_backend {

namespace {

constexpr size_t kMaxVariants = 8;
constexpr double kDefaultDpi = 96.0;

// The size of one px in the requested unit at the document's dpi.
double UnitsPerPixel(const char* units, double dpi) {
  const std::string u = units ? units : "px";
  if (u == "pt") return 72.0 / dpi;
  if (u == "pc") return 6.0 / dpi;
  if (u == "mm") return 25.4 / dpi;
  if (u == "cm") return 2.54 / dpi;
  if (u == "in") return 1.0 / dpi;
  return 1.0;
}

RsvgHandle* NewHandle(const std::vector<char>& bytes, double dpi) {
  GError* error = nullptr;
  // From bytes and without a base file, librsvg resolves no external reference: a document
  // never makes anything be read from disk.
  RsvgHandle* handle = rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(bytes.data()),
                                                 bytes.size(), &error);
  if (error) g_error_free(error);
  if (handle) rsvg_handle_set_dpi(handle, dpi);
  return handle;
}

// Replaces the paint of every element that paints: an explicit fill (or stroke) that is not
// "none", given as an attribute or in a style. Fills are on by default, so the root gets the
// colour too and every element without a fill of its own inherits it.
std::string Stylesheet(const IArgb* strokeColor, const IArgb* fillColor) {
  std::string css;
  auto rule = [&](const char* property, const IArgb& c, bool root) {
    char colour[96];
    std::snprintf(colour, sizeof colour,
                  "%s: #%02x%02x%02x !important; %s-opacity: %.4f !important;", property,
                  std::clamp(c.R, 0, 255), std::clamp(c.G, 0, 255), std::clamp(c.B, 0, 255),
                  property, std::clamp(c.A, 0, 255) / 255.0);
    const std::string p = property;
    if (root) css += "svg:not([" + p + "=\"none\"]), ";
    css += "[" + p + "]:not([" + p + "=\"none\"]), [style*=\"" + p + ":\"]:not([style*=\"" + p +
           ":none\"]):not([style*=\"" + p + ": none\"]) { " + colour + " }\n";
  };
  if (fillColor) rule("fill", *fillColor, true);
  if (strokeColor) rule("stroke", *strokeColor, false);
  return css;
}

std::string VariantKey(const IArgb* strokeColor, const IArgb* fillColor) {
  char key[96];
  auto part = [](const IArgb* c, char* out, size_t n) {
    if (c)
      std::snprintf(out, n, "%d,%d,%d,%d", c->A, c->R, c->G, c->B);
    else
      std::snprintf(out, n, "-");
  };
  char s[40], f[40];
  part(strokeColor, s, sizeof s);
  part(fillColor, f, sizeof f);
  std::snprintf(key, sizeof key, "%s/%s", s, f);
  return key;
}

}  // namespace

std::unique_ptr<CairoSvgImage> CairoSvgImage::Parse(const char* text, int size, const char* units,
                                                    float dpi) {
  if (!text || size <= 0) return nullptr;
  const double d = std::isfinite(dpi) && dpi > 0.f ? static_cast<double>(dpi) : kDefaultDpi;
  std::vector<char> bytes(text, text + size);
  RsvgHandle* handle = NewHandle(bytes, d);
  if (!handle) return nullptr;

  double w = 0.0, h = 0.0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h)) {
    // Width and height given as percentages, or not at all: the viewBox is the size.
    gboolean hasWidth = FALSE, hasHeight = FALSE, hasViewBox = FALSE;
    RsvgLength width{}, height{};
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &width, &hasHeight, &height,
                                         &hasViewBox, &viewBox);
    if (hasViewBox) {
      w = viewBox.width;
      h = viewBox.height;
    }
  }
  const double k = UnitsPerPixel(units, d);
  w *= k;
  h *= k;
  if (!std::isfinite(w) || !std::isfinite(h) || !(w > 0.0) || !(h > 0.0) || w > 1e7 || h > 1e7) {
    g_object_unref(handle);
    return nullptr;
  }
  return std::unique_ptr<CairoSvgImage>(
      new CairoSvgImage(static_cast<float>(w), static_cast<float>(h), handle, std::move(bytes), d));
}

CairoSvgImage::~CairoSvgImage() {
  for (auto& [key, handle] : mVariants) g_object_unref(handle);
  g_object_unref(mHandle);
}

RsvgHandle* CairoSvgImage::Variant(const IArgb* strokeColor, const IArgb* fillColor) const {
  if (!strokeColor && !fillColor) return mHandle;
  const std::string key = VariantKey(strokeColor, fillColor);
  if (const auto it = mVariants.find(key); it != mVariants.end()) return it->second;

  RsvgHandle* handle = NewHandle(mBytes, mDpi);
  if (!handle) return mHandle;
  const std::string css = Stylesheet(strokeColor, fillColor);
  GError* error = nullptr;
  if (!rsvg_handle_set_stylesheet(handle, reinterpret_cast<const guint8*>(css.data()), css.size(),
                                  &error)) {
    if (error) g_error_free(error);
    g_object_unref(handle);
    return mHandle;
  }
  if (mVariants.size() >= kMaxVariants) {
    for (auto& [k, h] : mVariants) g_object_unref(h);
    mVariants.clear();
  }
  mVariants.emplace(key, handle);
  return handle;
}

void CairoSvgImage::Render(cairo_t* cr, const IArgb* strokeColor, const IArgb* fillColor) const {
  std::lock_guard lock(mMutex);
  RsvgHandle* handle = Variant(strokeColor, fillColor);
  const RsvgRectangle viewport{0.0, 0.0, Width(), Height()};
  GError* error = nullptr;
  rsvg_handle_render_document(handle, cr, &viewport, &error);
  if (error) g_error_free(error);
}

}  // namespace iplug::igraphics::cairo_backend
