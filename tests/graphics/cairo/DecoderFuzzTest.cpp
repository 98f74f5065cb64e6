// Every byte a decoder reads is untrusted: cut short or damaged files must give nothing, never
// a crash, a hang or a leak (this suite also runs under AddressSanitizer).
#include <gtest/gtest.h>

#include <cairo.h>

#include <random>
#include <vector>

#include "HeadlessTestSupport.h"
#include "ImageEncoders.h"
#include "graphics/cairo/CairoFonts.h"
#include "graphics/cairo/CairoImage.h"
#include "resources/EmbeddedResources.h"

namespace {

using namespace headless_test;
namespace cb = iplug::igraphics::cairo_backend;

// A fixed seed: the same damage on every run, so a failure can be reproduced.
constexpr unsigned kSeed = 20261209;

std::vector<uint8_t> Resource(const char* name, const char* type) {
  std::string found;
  size_t size = 0;
  if (!iplug::resources::FindResource(iplug::resources::ModuleResources(), name, type, found))
    return {};
  const uint8_t* data = iplug::resources::ResourceBytes(iplug::resources::ModuleResources(),
                                                        found.c_str(), type, size);
  return std::vector<uint8_t>(data, data + size);
}

std::vector<uint8_t> SmallJpeg() {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x)
      pixels.insert(pixels.end(), {static_cast<uint8_t>(x * 10), static_cast<uint8_t>(y * 10), 99});
  return image_test::EncodeJpeg(24, 24, 3, pixels, 75);
}

// Flips one to four bytes at random places to random values.
std::vector<uint8_t> Damaged(const std::vector<uint8_t>& bytes, std::mt19937& random) {
  std::vector<uint8_t> copy = bytes;
  const int flips = 1 + static_cast<int>(random() % 4);
  for (int i = 0; i < flips; ++i)
    copy[random() % copy.size()] ^= static_cast<uint8_t>(1 + random() % 255);
  return copy;
}

// A damaged image may still decode to something; if it does, it must be a sane image.
void ExpectSaneOrNull(cairo_surface_t* surface) {
  if (!surface) return;
  EXPECT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
  EXPECT_GT(cairo_image_surface_get_width(surface), 0);
  EXPECT_LE(cairo_image_surface_get_width(surface), cb::kMaxImageSide);
  cairo_surface_destroy(surface);
}

TEST(CairoDecoderFuzz, EveryTruncationOfAPngOrJpegGivesNothing) {
  for (const std::vector<uint8_t>& file : {Resource("knob.png", "png"), SmallJpeg()}) {
    ASSERT_GT(file.size(), 100u);
    cairo_surface_t* whole = cb::DecodeImage(file.data(), file.size());
    ASSERT_NE(whole, nullptr);
    cairo_surface_destroy(whole);
    for (size_t n = 0; n < file.size(); ++n) {
      const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(n));
      EXPECT_EQ(cb::DecodeImage(cut.data(), cut.size()), nullptr) << "cut at " << n;
    }
  }
}

TEST(CairoDecoderFuzz, RandomlyDamagedPngAndJpegBytesDecodeToNothingOrASaneImage) {
  std::mt19937 random(kSeed);
  for (const std::vector<uint8_t>& file : {Resource("knob.png", "png"), SmallJpeg()})
    for (int i = 0; i < 3000; ++i) {
      const std::vector<uint8_t> bytes = Damaged(file, random);
      ExpectSaneOrNull(cb::DecodeImage(bytes.data(), bytes.size()));
    }
}

// A font that FreeType accepts may still fail when its glyphs are read: drawing with it must
// not crash either.
void DrawWith(const std::shared_ptr<const cb::CairoTypeface>& face) {
  if (!face) return;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 64, 24);
  cairo_t* cr = cairo_create(surface);
  cairo_set_font_face(cr, face->Face());
  cairo_set_font_size(cr, 14.0);
  cairo_move_to(cr, 2, 18);
  cairo_show_text(cr, "Ag4.1%");
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

TEST(CairoDecoderFuzz, TruncatedFontsAreRefusedOrDrawHarmlessly) {
  const std::vector<uint8_t> font = Resource("Roboto-Regular.ttf", "ttf");
  ASSERT_GT(font.size(), 100000u);
  ASSERT_NE(cb::CairoTypeface::Create(iplug::igraphics::IFontBlob(font, 0)), nullptr);
  // Every cut through the table directory and the tables FreeType reads first, then a stride
  // through the rest of the file.
  for (size_t n = 0; n < font.size(); n += n < 4096 ? 1 : 997) {
    const std::shared_ptr<const cb::CairoTypeface> face =
        cb::CairoTypeface::Create(iplug::igraphics::IFontBlob(
            std::vector<uint8_t>(font.begin(), font.begin() + static_cast<long>(n)), 0));
    if (n < 4096) {
      EXPECT_EQ(face, nullptr) << "cut at " << n;
    }
    if (n % 7 == 0) DrawWith(face);
  }
}

TEST(CairoDecoderFuzz, DamagedFontsAreRefusedOrDrawHarmlessly) {
  const std::vector<uint8_t> font = Resource("Roboto-Regular.ttf", "ttf");
  std::mt19937 random(kSeed);
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> bytes = font;
    // Damage where it hurts most: the directory and the first tables.
    for (int k = 0; k < 6; ++k)
      bytes[random() % (k < 3 ? 2048 : bytes.size())] ^= static_cast<uint8_t>(1 + random() % 255);
    DrawWith(cb::CairoTypeface::Create(iplug::igraphics::IFontBlob(std::move(bytes), 0)));
  }
}

TEST(CairoDecoderFuzz, AnUnusableFontIsNotLoadedAndItsIdStaysUnknown) {
  Scene scene(40, 20, 1.f, 1.f, nullptr);
  const std::vector<uint8_t> font = Resource("Roboto-Regular.ttf", "ttf");
  EXPECT_FALSE(scene.UI().LoadFont("cut font", font.data(), 200));
  const uint8_t zeros[64] = {};
  EXPECT_FALSE(scene.UI().LoadFont("zeros", zeros, sizeof zeros));
  EXPECT_FALSE(scene.UI().LoadFont("missing", "NoSuchFont.ttf"));
  IBox r(0, 0, 40, 20);
  EXPECT_EQ(scene.UI().MeasureText(ITextStyle(12.f, COLOR_BLACK, "cut font"), "x", r), 0.f);
}

}  // namespace
