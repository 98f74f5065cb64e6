#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "HeadlessTestSupport.h"
#include "ImageEncoders.h"
#include "graphics/cairo/CairoImage.h"

namespace {

using namespace headless_test;
using namespace image_test;
namespace cb = iplug::igraphics::cairo_backend;

TEST(CairoBitmap, ASixteenPixelBitmapAtDrawScaleTwoCoversThirtyTwoPixels) {
  IBitmapHandle square;
  Scene scene(64, 64, 2.f, 1.f, [&](IGraphics& g) {
    if (!square.IsValid()) square = g.LoadBitmap("square16.png");
    g.DrawBitmap(square, IBox(0, 0, 16, 16), 0, 0);
  });
  ASSERT_TRUE(square.IsValid());
  EXPECT_EQ(square.W(), 16);
  EXPECT_EQ(square.GetAPIBitmap()->Scale(), 1.f);  // no denser resource: stretched as drawn
  EXPECT_EQ(scene.Pixel(0, 0), 0xFF008080u);
  EXPECT_EQ(scene.Pixel(31, 31), 0xFF008080u);
  EXPECT_EQ(scene.Pixel(32, 16), 0u);
  EXPECT_EQ(scene.Pixel(16, 32), 0u);
}

TEST(CairoBitmap, ADoubleDensityResourceIsDrawnAtHalfItsPixelSize) {
  IBitmapHandle knob;
  Scene scene(64, 64, 2.f, 1.f, [&](IGraphics& g) {
    if (!knob.IsValid()) knob = g.LoadBitmap("knob.png");
    g.DrawBitmap(knob, IBox(0, 0, 24, 24), 0, 0);
  });
  ASSERT_TRUE(knob.IsValid());
  EXPECT_EQ(knob.GetAPIBitmap()->Width(), 48);
  EXPECT_EQ(knob.W(), 24);
  EXPECT_GT(Alpha(scene.Pixel(24, 24)), 200);
  EXPECT_EQ(scene.Pixel(48, 24), 0u);
}

// Frames of a strip are solid red, green and blue: any other colour in a drawn frame is its
// neighbour bleeding in through the filter. The strip has no resource for higher densities,
// so above scale 1 it is also rescaled as a whole first, which must not mix frames either.
TEST(CairoBitmap, AFilmStripFrameNeverShowsItsNeighboursAtAnyScale) {
  for (const float scale : {1.f, 1.25f, 1.5f, 1.75f, 2.f, 2.5f, 3.f}) {
    for (int frame = 1; frame <= 3; ++frame) {
      IBitmapHandle strip;
      Scene scene(20, 20, scale, 1.f, [&](IGraphics& g) {
        if (!strip.IsValid()) strip = g.LoadBitmap("strip3.png", 3);
        g.DrawBitmapFrame(strip, IBox(2, 2, 18, 18), frame);
      });
      int drawn = 0, foreign = 0;
      for (int y = 0; y < scene.UI().SurfaceHeight(); ++y) {
        for (int x = 0; x < scene.UI().SurfaceWidth(); ++x) {
          const uint32_t p = scene.Pixel(x, y);
          if (!Alpha(p)) continue;
          ++drawn;
          const int others[3] = {frame == 1 ? 0 : Red(p), frame == 2 ? 0 : Green(p),
                                 frame == 3 ? 0 : Blue(p)};
          if (others[0] > 2 || others[1] > 2 || others[2] > 2) ++foreign;
        }
      }
      EXPECT_GT(drawn, 0) << scale;
      EXPECT_EQ(foreign, 0) << "frame " << frame << " at scale " << scale;
    }
  }
}

TEST(CairoBitmap, TheBlendWeightScalesTheBitmapsAlpha) {
  IBitmapHandle square;
  Scene scene(20, 20, 1.f, 1.f, [&](IGraphics& g) {
    if (!square.IsValid()) square = g.LoadBitmap("square16.png");
    const IBlendSpec half(ECompositeOp::SrcOver, 0.5f);
    g.DrawBitmap(square, IBox(0, 0, 16, 16), 0, 0, &half);
  });
  EXPECT_EQ(scene.Pixel(8, 8), 0x7F004040u);
}

TEST(CairoBitmap, OnlyModuleResourcesAreDecodedNeverAFileOnDisk) {
  Scene scene(10, 10, 1.f, 1.f, nullptr);
  IGraphicsHeadless& ui = scene.UI();
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "cairo_square.png";
  {
    std::string found;
    ASSERT_EQ(ui.ResolveResource("square16.png", "png", found), EResourceLocation::Module);
    int size = 0;
    const uint8_t* bytes = ui.ModuleResourceBytes(found.c_str(), "png", size);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes), size);
  }
  EXPECT_EQ(ui.DecodeBitmap(file.c_str(), 1, 1, "png"), nullptr);
  EXPECT_EQ(ui.DecodeBitmap("\"MISSING.PNG\"", 1, 2, "png"), nullptr);
  const std::unique_ptr<APIBitmap> decoded = ui.DecodeBitmap("\"SQUARE16.PNG\"", 2, 2, "png");
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->Width(), 16);
  EXPECT_EQ(decoded->Scale(), 2.f);
  std::filesystem::remove(file);
}

uint32_t Crc32(const uint8_t* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint32_t DecodedPixel(const std::vector<uint8_t>& file, int x, int y) {
  cairo_surface_t* surface = cb::DecodeImage(file.data(), file.size());
  if (!surface) return 0xDEADBEEFu;
  const uint8_t* data = cairo_image_surface_get_data(surface);
  uint32_t v;
  std::memcpy(&v, data + y * cairo_image_surface_get_stride(surface) + x * 4, 4);
  cairo_surface_destroy(surface);
  return v;
}

TEST(CairoDecode, PngPalettesGrayDepthsInterlaceAndTransparencyAllBecomePremultipliedArgb) {
  {
    // Two bits per pixel, four palette entries, the second half transparent.
    PngSpec spec{4, 1, PNG_COLOR_TYPE_PALETTE, 2};
    spec.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    spec.paletteAlpha = {255, 128};
    spec.rows = {0b00011011};
    const std::vector<uint8_t> png = EncodePng(spec);
    EXPECT_EQ(DecodedPixel(png, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(DecodedPixel(png, 1, 0), 0x80008000u);
    EXPECT_EQ(DecodedPixel(png, 3, 0), 0xFFFFFFFFu);
  }
  {
    // Gray, with the value 0 marked transparent.
    PngSpec spec{2, 1, PNG_COLOR_TYPE_GRAY, 8};
    spec.transparentGray = 0;
    spec.rows = {0, 100};
    const std::vector<uint8_t> png = EncodePng(spec);
    EXPECT_EQ(DecodedPixel(png, 0, 0), 0u);
    EXPECT_EQ(DecodedPixel(png, 1, 0), 0xFF646464u);
  }
  {
    // One bit gray.
    PngSpec spec{8, 1, PNG_COLOR_TYPE_GRAY, 1};
    spec.rows = {0b10000001};
    const std::vector<uint8_t> png = EncodePng(spec);
    EXPECT_EQ(DecodedPixel(png, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(DecodedPixel(png, 1, 0), 0xFF000000u);
  }
  {
    // Sixteen-bit gray and alpha, big-endian samples.
    PngSpec spec{1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16};
    spec.rows = {0xFF, 0xFF, 0x80, 0x00};
    EXPECT_EQ(DecodedPixel(EncodePng(spec), 0, 0), 0x80808080u);
  }
  {
    // Sixteen-bit RGB, interlaced: every pass of a 9 × 9 image must land in its place.
    PngSpec spec{9, 9, PNG_COLOR_TYPE_RGB, 16, true};
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 9; ++x)
        for (const int v : {x * 28, y * 28, 200}) {  // v × 257 scales back to v exactly
          spec.rows.push_back(static_cast<uint8_t>(v));
          spec.rows.push_back(static_cast<uint8_t>(v));
        }
    const std::vector<uint8_t> png = EncodePng(spec);
    for (const auto& [x, y] : {std::pair{0, 0}, {8, 8}, {3, 5}, {1, 7}, {6, 2}})
      EXPECT_EQ(DecodedPixel(png, x, y),
                0xFF000000u | (uint32_t(x * 28) << 16) | (uint32_t(y * 28) << 8) | 200u)
          << x << "," << y;
  }
}

TEST(CairoDecode, JpegInColourAndGrayDecodesCloseToWhatWasEncoded) {
  const std::vector<uint8_t> rgb(16 * 16 * 3, 0);
  std::vector<uint8_t> colour;
  for (int i = 0; i < 16 * 16; ++i) colour.insert(colour.end(), {200, 100, 50});
  const uint32_t p = DecodedPixel(EncodeJpeg(16, 16, 3, colour, 100), 7, 7);
  EXPECT_EQ(Alpha(p), 255);
  EXPECT_NEAR(Red(p), 200, 3);
  EXPECT_NEAR(Green(p), 100, 3);
  EXPECT_NEAR(Blue(p), 50, 3);
  const uint32_t g = DecodedPixel(EncodeJpeg(8, 8, 1, std::vector<uint8_t>(64, 90), 100), 3, 3);
  EXPECT_EQ(g, 0xFF5A5A5Au);
}

TEST(CairoDecode, AnythingElseOrAnImageBeyondTheLimitsIsRefused) {
  const uint8_t text[] = "GIF89a, or rather not a picture at all";
  EXPECT_EQ(cb::DecodeImage(text, sizeof text), nullptr);
  EXPECT_EQ(cb::DecodeImage(nullptr, 100), nullptr);
  for (const auto& [w, h] : {std::pair{20000, 1}, {1, 20000}, {16384, 16384}}) {
    // A header announcing the size, then a token row: refused before anything is allocated.
    PngSpec spec{1, 1, PNG_COLOR_TYPE_GRAY, 8};
    spec.rows = {0};
    std::vector<uint8_t> png = EncodePng(spec);
    // IHDR's width and height start at byte 16; its CRC follows the 13 data bytes.
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) png[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    put32(16, static_cast<uint32_t>(w));
    put32(20, static_cast<uint32_t>(h));
    put32(29, Crc32(png.data() + 12, 17));
    EXPECT_EQ(cb::DecodeImage(png.data(), png.size()), nullptr) << w << " x " << h;
  }
}

}  // namespace
