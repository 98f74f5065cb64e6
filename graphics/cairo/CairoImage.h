#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>

namespace iplug::igraphics::cairo_backend {

/** No side of a decoded image may be longer; anything beyond is refused before allocating. */
inline constexpr int kMaxImageSide = 16384;
/** Nor may it hold more pixels than this (256 MiB of ARGB32). */
inline constexpr int64_t kMaxImagePixels = int64_t{1} << 26;

/**
 * Decodes PNG or JPEG bytes (told apart by their signature) into a new premultiplied ARGB32
 * image surface; null for anything else, for a damaged or truncated file and for images
 * beyond the limits above. Every byte is treated as untrusted. Any thread.
 */
cairo_surface_t* DecodeImage(const uint8_t* data, size_t size);
cairo_surface_t* DecodePng(const uint8_t* data, size_t size);
cairo_surface_t* DecodeJpeg(const uint8_t* data, size_t size);

/** A Gaussian blur of an A8 surface in place, separable, transparent beyond its edges. */
void BlurAlpha(cairo_surface_t* a8, double sigma);

}  // namespace iplug::igraphics::cairo_backend
