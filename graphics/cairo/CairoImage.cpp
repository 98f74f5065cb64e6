// PNG through libpng and JPEG through libjpeg, both with setjmp error handling: a decoder that
// finds a fault jumps back here instead of aborting, and the half-made image is thrown away.
// Only plain C data lives between a setjmp and its longjmp; everything the decoders fill is
// owned by the caller's frame.
#include "graphics/cairo/CairoImage.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>  // before jpeglib.h, which uses FILE without including it
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

namespace iplug::igraphics::cairo_backend {

namespace {

bool SizeAllowed(uint32_t w, uint32_t h) {
  return w > 0 && h > 0 && w <= static_cast<uint32_t>(kMaxImageSide) &&
         h <= static_cast<uint32_t>(kMaxImageSide) &&
         static_cast<int64_t>(w) * static_cast<int64_t>(h) <= kMaxImagePixels;
}

uint8_t Premultiply(uint8_t c, uint8_t a) {
  return static_cast<uint8_t>((c * a + 127) / 255);
}

// RGBA (or RGB with a constant alpha) rows into a new premultiplied ARGB32 surface.
cairo_surface_t* SurfaceFromRgba(const std::vector<uint8_t>& rgba, int w, int h, int channels) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  uint8_t* out = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y) {
    const uint8_t* in = rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * channels;
    auto* row = reinterpret_cast<uint32_t*>(out + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x, in += channels) {
      const uint8_t a = channels == 4 ? in[3] : 255;
      row[x] = (uint32_t{a} << 24) | (uint32_t{Premultiply(in[0], a)} << 16) |
               (uint32_t{Premultiply(in[1], a)} << 8) | Premultiply(in[2], a);
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

// ---- PNG ----

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

struct PngImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // RGBA
  std::vector<png_bytep> rows;
};

void PngError(png_structp png, png_const_charp) {
  longjmp(png_jmpbuf(png), 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->pos) png_error(png, "truncated");
  std::memcpy(out, source->data + source->pos, length);
  source->pos += length;
}

// Sizes the caller's buffers once the header is known; false refuses the image.
bool PreparePngRows(PngImage& image) {
  if (!SizeAllowed(image.width, image.height)) return false;
  image.pixels.assign(static_cast<size_t>(image.width) * image.height * 4u, 0);
  image.rows.resize(image.height);
  for (uint32_t y = 0; y < image.height; ++y)
    image.rows[y] = image.pixels.data() + static_cast<size_t>(y) * image.width * 4u;
  return true;
}

// The only frame with a setjmp; its locals are C handles that are not changed after it.
bool ReadPng(png_structp png, png_infop info, PngImage& image) {
  if (setjmp(png_jmpbuf(png))) return false;

  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  // Text and other ancillary chunks are never needed and never allowed to grow large.
  png_set_chunk_malloc_max(png, 1u << 20);
  png_read_info(png, info);

  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &image.width, &image.height, &depth, &colorType, &interlace, nullptr,
               nullptr);
  if (!SizeAllowed(image.width, image.height)) return false;

  // Every layout becomes 8-bit RGBA: palettes and low bit depths expanded, tRNS to alpha,
  // 16 bits scaled down, gray spread to RGB, opaque images given an alpha byte.
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_scale_16(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(image.width) * 4u) return false;

  if (!PreparePngRows(image)) return false;
  png_read_image(png, image.rows.data());
  // A file cut short after its pixels is still a damaged file.
  png_read_end(png, nullptr);
  return true;
}

// ---- JPEG ----

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf jump;
  bool truncated;
};

void JpegFail(j_common_ptr info) {
  longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void JpegMessage(j_common_ptr info, int level) {
  // Running out of data makes libjpeg invent an end and carry on with gray: for us that is a
  // damaged file.
  auto* error = reinterpret_cast<JpegError*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) error->truncated = true;
}

void JpegSilent(j_common_ptr) {}

struct JpegImage {
  uint32_t width = 0;
  uint32_t height = 0;
  int channels = 0;
  bool cmyk = false;
  std::vector<uint8_t> pixels;
};

bool ReadJpeg(jpeg_decompress_struct& info, JpegError& error, JpegImage& image) {
  if (setjmp(error.jump)) return false;

  jpeg_read_header(&info, TRUE);
  if (!SizeAllowed(info.image_width, info.image_height)) return false;
  image.cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = image.cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&info);
  if (!SizeAllowed(info.output_width, info.output_height)) return false;
  if (info.output_components != (image.cmyk ? 4 : 3)) return false;

  image.width = info.output_width;
  image.height = info.output_height;
  image.channels = info.output_components;
  image.pixels.assign(static_cast<size_t>(image.width) * image.height * image.channels, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image.pixels.data() + static_cast<size_t>(info.output_scanline) * image.width *
                                             static_cast<size_t>(image.channels);
    if (jpeg_read_scanlines(&info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&info);
  return !error.truncated;
}

}  // namespace

cairo_surface_t* DecodePng(const uint8_t* data, size_t size) {
  if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return nullptr;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return nullptr;
  }
  PngSource source{data, size, 0};
  png_set_read_fn(png, &source, PngRead);
  PngImage image;
  const bool ok = ReadPng(png, info, image);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) return nullptr;
  return SurfaceFromRgba(image.pixels, static_cast<int>(image.width),
                         static_cast<int>(image.height), 4);
}

cairo_surface_t* DecodeJpeg(const uint8_t* data, size_t size) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return nullptr;
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JpegFail;
  error.manager.emit_message = JpegMessage;
  error.manager.output_message = JpegSilent;
  error.truncated = false;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  JpegImage image;
  const bool ok = ReadJpeg(info, error, image);
  jpeg_destroy_decompress(&info);
  if (!ok) return nullptr;

  if (image.cmyk) {
    // Adobe's CMYK JPEGs, the only kind met in practice, store the channels inverted.
    std::vector<uint8_t> rgb(static_cast<size_t>(image.width) * image.height * 3u);
    for (size_t i = 0, j = 0; i < image.pixels.size(); i += 4, j += 3) {
      const int k = image.pixels[i + 3];
      for (int c = 0; c < 3; ++c) rgb[j + c] = static_cast<uint8_t>(image.pixels[i + c] * k / 255);
    }
    return SurfaceFromRgba(rgb, static_cast<int>(image.width), static_cast<int>(image.height), 3);
  }
  return SurfaceFromRgba(image.pixels, static_cast<int>(image.width),
                         static_cast<int>(image.height), 3);
}

cairo_surface_t* DecodeImage(const uint8_t* data, size_t size) {
  if (!data || size < 8) return nullptr;
  if (data[0] == 0x89 && data[1] == 'P') return DecodePng(data, size);
  if (data[0] == 0xFF && data[1] == 0xD8) return DecodeJpeg(data, size);
  return nullptr;
}

void BlurAlpha(cairo_surface_t* a8, double sigma) {
  if (!a8 || cairo_image_surface_get_format(a8) != CAIRO_FORMAT_A8) return;
  if (!(sigma >= 0.25) || !std::isfinite(sigma)) return;
  cairo_surface_flush(a8);
  const int w = cairo_image_surface_get_width(a8);
  const int h = cairo_image_surface_get_height(a8);
  const int stride = cairo_image_surface_get_stride(a8);
  uint8_t* data = cairo_image_surface_get_data(a8);
  if (!data || w <= 0 || h <= 0) return;

  // Three sigmas hold all but a thousandth of the weight.
  const int radius =
      static_cast<int>(std::min(std::ceil(3.0 * sigma), static_cast<double>(std::max(w, h))));
  std::vector<float> kernel(static_cast<size_t>(radius) + 1);
  double sum = 0.0;
  for (int i = 0; i <= radius; ++i) {
    kernel[static_cast<size_t>(i)] = static_cast<float>(std::exp(-0.5 * i * i / (sigma * sigma)));
    sum += (i ? 2.0 : 1.0) * kernel[static_cast<size_t>(i)];
  }
  for (float& k : kernel) k = static_cast<float>(k / sum);

  std::vector<float> line(static_cast<size_t>(std::max(w, h)));
  auto blur = [&](int n, auto&& at) {
    for (int i = 0; i < n; ++i) line[static_cast<size_t>(i)] = at(i);
    for (int i = 0; i < n; ++i) {
      float acc = 0.f;
      const int lo = std::max(0, i - radius), hi = std::min(n - 1, i + radius);
      for (int j = lo; j <= hi; ++j)
        acc += kernel[static_cast<size_t>(std::abs(j - i))] * line[static_cast<size_t>(j)];
      at(i) = static_cast<uint8_t>(std::clamp(std::lround(acc), 0l, 255l));
    }
  };
  for (int y = 0; y < h; ++y)
    blur(w, [&](int x) -> uint8_t& { return data[static_cast<size_t>(y) * stride + x]; });
  for (int x = 0; x < w; ++x)
    blur(h, [&](int y) -> uint8_t& { return data[static_cast<size_t>(y) * stride + x]; });
  cairo_surface_mark_dirty(a8);
}

}  // namespace iplug::igraphics::cairo_backend
