#include "ImageEncoders.h"

#include <cstdio>  // before jpeglib.h, which uses FILE without including it
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

namespace image_test {

namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

}  // namespace

std::vector<uint8_t> EncodePng(const PngSpec& spec) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < spec.palette.size(); i += 3)
    palette.push_back(png_color{spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!spec.paletteAlpha.empty())
    png_set_tRNS(png, info, spec.paletteAlpha.data(), static_cast<int>(spec.paletteAlpha.size()),
                 nullptr);
  if (spec.transparentGray >= 0) {
    png_color_16 gray{};
    gray.gray = static_cast<png_uint_16>(spec.transparentGray);
    png_set_tRNS(png, info, nullptr, 0, &gray);
  }
  png_write_info(png, info);
  const size_t rowBytes = spec.rows.size() / static_cast<size_t>(spec.height);
  std::vector<png_bytep> rows;
  for (int y = 0; y < spec.height; ++y)
    rows.push_back(const_cast<png_bytep>(spec.rows.data()) + rowBytes * static_cast<size_t>(y));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> EncodeJpeg(int width, int height, int components,
                                const std::vector<uint8_t>& pixels, int quality) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data()) +
                   static_cast<size_t>(info.next_scanline) * width * components;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  free(buffer);
  return out;
}

}  // namespace image_test
