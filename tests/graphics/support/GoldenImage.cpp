#include "GoldenImage.h"

#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace golden {

namespace {

bool Updating() {
  const char* value = std::getenv("CORVANE_UPDATE_GOLDENS");
  return value && std::strcmp(value, "1") == 0;
}

// A surface over the caller's pixels, for writing only.
cairo_surface_t* Wrap(const ImageView& image) {
  return cairo_image_surface_create_for_data(const_cast<uint8_t*>(image.pixels),
                                             CAIRO_FORMAT_ARGB32, image.width, image.height,
                                             image.stride);
}

bool Write(const ImageView& image, const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  cairo_surface_t* surface = Wrap(image);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

uint32_t Pixel(const uint8_t* data, int stride, int x, int y) {
  uint32_t v;
  std::memcpy(&v, data + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4u, 4);
  return v;
}

int Difference(uint32_t a, uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 32; shift += 8)
    most = std::max(most, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                   static_cast<int>((b >> shift) & 0xFF)));
  return most;
}

}  // namespace

::testing::AssertionResult MatchesGolden(const ImageView& actual, const std::string& goldenDir,
                                         const std::string& outputDir, const std::string& name) {
  namespace fs = std::filesystem;
  if (!actual.pixels || actual.width <= 0 || actual.height <= 0)
    return ::testing::AssertionFailure() << name << ": there is no image to compare";
  const fs::path goldenPath = fs::path(goldenDir) / (name + ".png");
  const fs::path actualPath = fs::path(outputDir) / (name + ".actual.png");
  const fs::path diffPath = fs::path(outputDir) / (name + ".diff.png");

  if (Updating()) {
    if (!Write(actual, goldenPath))
      return ::testing::AssertionFailure() << "could not write the golden " << goldenPath;
    std::printf("[ golden   ] wrote %s\n", goldenPath.c_str());
    return ::testing::AssertionSuccess() << "wrote " << goldenPath;
  }

  cairo_surface_t* expected = cairo_image_surface_create_from_png(goldenPath.c_str());
  if (cairo_surface_status(expected) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(expected);
    Write(actual, actualPath);
    return ::testing::AssertionFailure()
           << "no golden image " << goldenPath << " (this run's picture is " << actualPath
           << "). To create it, run the test with CORVANE_UPDATE_GOLDENS=1 and look at the "
              "image before committing it.";
  }
  // Whatever its PNG format, the golden is compared as premultiplied ARGB32.
  cairo_surface_t* argb =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(expected),
                                 cairo_image_surface_get_height(expected));
  cairo_t* cr = cairo_create(argb);
  cairo_set_source_surface(cr, expected, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(expected);
  cairo_surface_flush(argb);

  const int w = cairo_image_surface_get_width(argb), h = cairo_image_surface_get_height(argb);
  if (w != actual.width || h != actual.height) {
    cairo_surface_destroy(argb);
    Write(actual, actualPath);
    return ::testing::AssertionFailure()
           << name << ": the golden is " << w << " x " << h << " pixels, the picture "
           << actual.width << " x " << actual.height << "; the picture is " << actualPath;
  }

  const uint8_t* golden = cairo_image_surface_get_data(argb);
  const int goldenStride = cairo_image_surface_get_stride(argb);
  std::vector<uint32_t> diff(static_cast<size_t>(w) * static_cast<size_t>(h));
  int differing = 0, worst = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t e = Pixel(golden, goldenStride, x, y);
      const int d = Difference(e, Pixel(actual.pixels, actual.stride, x, y));
      worst = std::max(worst, d);
      uint32_t& out = diff[static_cast<size_t>(y) * w + x];
      if (d > kChannelTolerance) {
        ++differing;
        out = 0xFF000000u | (static_cast<uint32_t>(std::max(128, std::min(255, 128 + d))) << 16);
      } else {
        // The golden in gray at a quarter of its brightness, so the red stands out.
        const uint32_t gray = (((e >> 16) & 0xFF) + ((e >> 8) & 0xFF) + (e & 0xFF)) / 12;
        out = 0xFF000000u | (gray << 16) | (gray << 8) | gray;
      }
    }
  }
  cairo_surface_destroy(argb);

  const int allowed = static_cast<int>(kDifferingShare * w * h);
  if (differing <= allowed) return ::testing::AssertionSuccess();

  Write(actual, actualPath);
  Write(ImageView{reinterpret_cast<const uint8_t*>(diff.data()), w, h, w * 4}, diffPath);
  return ::testing::AssertionFailure()
         << name << ": " << differing << " of " << w * h << " pixels differ by more than "
         << kChannelTolerance << " (at most " << allowed << " may; the largest difference is "
         << worst << "). Picture: " << actualPath << ", differences: " << diffPath
         << ", golden: " << goldenPath;
}

}  // namespace golden
