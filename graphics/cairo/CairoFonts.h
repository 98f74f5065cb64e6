#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/IFontInfo.h"

namespace iplug::igraphics::cairo_backend {

/**
 * One font made usable for Cairo: a FreeType face over its own copy of the font bytes, the
 * Cairo font face on it, and the vertical metrics text layout needs, read from the font data.
 * Immutable once made; shared between threads.
 */
class CairoTypeface {
 public:
  /** Null when the blob is not a font FreeType and Cairo can use, or lacks its metrics. */
  static std::shared_ptr<const CairoTypeface> Create(const IFontBlob& blob);
  /** The same font made again from its bytes, for a face that Cairo has put in error. */
  std::shared_ptr<const CairoTypeface> Remake() const;
  ~CairoTypeface();
  CairoTypeface(const CairoTypeface&) = delete;
  CairoTypeface& operator=(const CairoTypeface&) = delete;

  cairo_font_face_t* Face() const { return mFace; }
  int UnitsPerEM() const { return mUnitsPerEM; }
  /** From 'hhea': above the baseline positive, below it negative. */
  int Ascender() const { return mAscender; }
  int Descender() const { return mDescender; }

 private:
  CairoTypeface(cairo_font_face_t* face, std::vector<uint8_t> bytes, int faceIdx, int upem,
                int ascender, int descender)
      : mFace(face),
        mBytes(std::move(bytes)),
        mFaceIdx(faceIdx),
        mUnitsPerEM(upem),
        mAscender(ascender),
        mDescender(descender) {}

  cairo_font_face_t* mFace;
  std::vector<uint8_t> mBytes;
  int mFaceIdx;
  int mUnitsPerEM;
  int mAscender;
  int mDescender;
};

/** FreeType refuses sizes of 64K pixels and more, and Cairo then disables the whole face; text
 * is never rasterised at more pixels per em than this. */
inline constexpr double kMaxGlyphPixels = 16384.0;

/**
 * The process-wide typeface cache: font id → typeface, for the life of the process, shared by
 * every graphics context. A face that Cairo has disabled after an error is made again from its
 * bytes on the next lookup. [any thread] Every lookup and insertion takes its lock.
 */
std::shared_ptr<const CairoTypeface> FindTypeface(const std::string& fontID);
/** Keeps the first typeface stored under an id; returns the one that is kept. */
std::shared_ptr<const CairoTypeface> StoreTypeface(const std::string& fontID,
                                                   std::shared_ptr<const CairoTypeface> face);

/**
 * The text as valid UTF-8: every byte that does not start a well-formed sequence (overlong,
 * surrogate, beyond U+10FFFF, cut short) becomes U+FFFD. Cairo refuses invalid UTF-8 by putting
 * the whole context into an error state, so no other text may reach it.
 */
std::string ValidUtf8(const char* text);

/** Unhinted metrics, so widths scale exactly with the zoom; gray anti-aliasing. */
cairo_font_options_t* TextFontOptions();

}  // namespace iplug::igraphics::cairo_backend
