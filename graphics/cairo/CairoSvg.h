#pragma once

#include <cairo.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/IGraphicsStructs.h"

typedef struct _RsvgHandle RsvgHandle;

namespace iplug::igraphics::cairo_backend {

/**
 * A parsed SVG document on librsvg, sized in the units it was loaded with. Drawing is safe from
 * several threads: librsvg's handles are not, so each document renders under its own lock.
 */
class CairoSvgImage : public SvgImage {
 public:
  /**
   * Null for anything librsvg cannot parse and for a document without a size (neither width
   * and height nor a viewBox) or with a zero or infinite one. units: px, pt, pc, mm, cm or in;
   * anything else counts as px. A dpi that is not positive counts as 96.
   */
  static std::unique_ptr<CairoSvgImage> Parse(const char* text, int size, const char* units,
                                              float dpi);
  ~CairoSvgImage() override;

  /**
   * Draws the document with its top left at the origin of cr's user space, at its own size.
   * A colour, when given, replaces every fill (or stroke) the document paints.
   */
  void Render(cairo_t* cr, const IArgb* strokeColor, const IArgb* fillColor) const;

 private:
  CairoSvgImage(float width, float height, RsvgHandle* handle, std::vector<char> bytes, double dpi)
      : SvgImage(width, height), mHandle(handle), mBytes(std::move(bytes)), mDpi(dpi) {}

  RsvgHandle* Variant(const IArgb* strokeColor, const IArgb* fillColor) const;

  mutable std::mutex mMutex;
  RsvgHandle* mHandle;
  std::vector<char> mBytes;
  double mDpi;
  // One handle per colour override, made on first use from the same bytes with a user
  // stylesheet; the number kept is bounded.
  mutable std::map<std::string, RsvgHandle*> mVariants;
};

}  // namespace iplug::igraphics::cairo_backend
