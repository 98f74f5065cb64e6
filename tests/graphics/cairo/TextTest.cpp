#include <gtest/gtest.h>

#include <cairo.h>

#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "HeadlessTestSupport.h"
#include "graphics/cairo/CairoFonts.h"

namespace {

using namespace headless_test;
namespace cb = iplug::igraphics::cairo_backend;

struct Ink {
  int l = INT32_MAX, t = INT32_MAX, r = -1, b = -1;  // r and b inclusive
  int maxAlpha = 0;
  bool Any() const { return r >= 0; }
};

Ink InkOf(const Scene& scene, int threshold = 40) {
  Ink ink;
  for (int y = 0; y < scene.UI().SurfaceHeight(); ++y) {
    for (int x = 0; x < scene.UI().SurfaceWidth(); ++x) {
      const int a = Alpha(scene.Pixel(x, y));
      ink.maxAlpha = std::max(ink.maxAlpha, a);
      if (a < threshold) continue;
      ink.l = std::min(ink.l, x);
      ink.t = std::min(ink.t, y);
      ink.r = std::max(ink.r, x);
      ink.b = std::max(ink.b, y);
    }
  }
  return ink;
}

ITextStyle Style(float size, EHAlign align, EVAlign valign, float angle = 0.f) {
  return ITextStyle(size, COLOR_BLACK, "Roboto-Regular", align, valign, angle);
}

// The version label of the editor's corner.
TEST(CairoText, TheVersionRightAlignedInItsBoxEndsExactlyAtTheBoxesRightEdge) {
  for (const float scale : {1.f, 1.5f, 2.f}) {
    const IBox box(562, 0, 650, 13);
    const ITextStyle style = Style(13.f, EHAlign::Right, EVAlign::Middle);
    Scene scene(650, 20, scale, 1.f, [&](IGraphics& g) { g.DrawText(style, "4.1.0", box); });
    IBox measured = box;
    const float w = scene.UI().MeasureText(style, "4.1.0", measured);
    EXPECT_GT(w, 20.f);
    EXPECT_FLOAT_EQ(measured.R, 650.f) << scale;
    EXPECT_FLOAT_EQ(measured.L, 650.f - w) << scale;
    // The last glyph's ink stops just short of its advance.
    const Ink ink = InkOf(scene);
    ASSERT_TRUE(ink.Any());
    EXPECT_LE(ink.r, static_cast<int>(650 * scale));
    EXPECT_GE(ink.r, static_cast<int>(650 * scale - 3 * scale)) << scale;
  }
}

TEST(CairoText, TheMeasuredRectangleIsAlignedInTheBoundsAndAsHighAsTheSize) {
  Scene scene(300, 100, 1.f, 1.f, nullptr);
  const IBox bounds(10, 20, 210, 80);
  float width = -1.f;
  for (const EHAlign align : {EHAlign::Left, EHAlign::Center, EHAlign::Right}) {
    for (const EVAlign valign : {EVAlign::Top, EVAlign::Middle, EVAlign::Bottom}) {
      IBox r = bounds;
      const float w = scene.UI().MeasureText(Style(18.f, align, valign), "Corvane", r);
      if (width < 0.f) width = w;
      EXPECT_FLOAT_EQ(w, width);  // the width does not depend on the alignment
      EXPECT_NEAR(r.W(), w, 1e-3);
      EXPECT_NEAR(r.H(), 18.f, 1e-3);
      switch (align) {
        case EHAlign::Left:
          EXPECT_FLOAT_EQ(r.L, bounds.L);
          break;
        case EHAlign::Center:
          EXPECT_NEAR(r.MW(), bounds.MW(), 1e-3);
          break;
        case EHAlign::Right:
          EXPECT_FLOAT_EQ(r.R, bounds.R);
          break;
      }
      switch (valign) {
        case EVAlign::Top:
          EXPECT_NEAR(r.T, bounds.T, 1e-3);
          break;
        case EVAlign::Middle:
          EXPECT_NEAR(r.MH(), bounds.MH(), 1e-3);
          break;
        case EVAlign::Bottom:
          EXPECT_NEAR(r.B, bounds.B, 1e-3);
          break;
      }
    }
  }
}

// With hinted metrics every glyph's advance is rounded at its own pixel size and a label
// grows or shrinks against the zoom.
TEST(CairoText, WidthsScaleExactlyWithTheZoomAndTheInkFollows) {
  const ITextStyle style = Style(14.f, EHAlign::Left, EVAlign::Top);
  const char* text = "Drive 4.1.0 - Corvane";
  float width1 = 0.f;
  int ink1 = 0;
  for (const float scale : {1.f, 1.25f, 1.5f, 2.f, 3.f}) {
    Scene scene(200, 20, scale, 1.f,
                [&](IGraphics& g) { g.DrawText(style, text, IBox(2, 2, 198, 18)); });
    IBox r(2, 2, 198, 18);
    const float w = scene.UI().MeasureText(style, text, r);
    const Ink ink = InkOf(scene);
    ASSERT_TRUE(ink.Any());
    if (scale == 1.f) {
      width1 = w;
      ink1 = ink.r - ink.l + 1;
    }
    EXPECT_FLOAT_EQ(w, width1);
    EXPECT_NEAR(ink.r - ink.l + 1, ink1 * scale, 2.0 * scale) << scale;
    // The ink stays inside the measured box, drawn at this scale.
    EXPECT_GE(ink.l, static_cast<int>(r.L * scale) - 1);
    EXPECT_GE(ink.t, static_cast<int>(r.T * scale) - 1);
    EXPECT_LE(ink.b, static_cast<int>(r.B * scale) + 1);
  }
}

TEST(CairoText, AnUnknownFontMeasuresNothingAndDrawsNothing) {
  const ITextStyle style(14.f, COLOR_BLACK, "No Such Font");
  Scene scene(100, 20, 1.f, 1.f,
              [&](IGraphics& g) { g.DrawText(style, "text", IBox(0, 0, 100, 20)); });
  IBox r(0, 0, 100, 20);
  EXPECT_EQ(scene.UI().MeasureText(style, "text", r), 0.f);
  EXPECT_TRUE(r.Empty());
  EXPECT_FALSE(InkOf(scene, 1).Any());
}

// Cairo refuses invalid UTF-8 by disabling the whole context; every such byte is drawn as
// U+FFFD instead, and the drawing after it still works.
TEST(CairoText, InvalidUtf8IsMeasuredAndDrawnSafelyAndTheContextKeepsWorking) {
  const ITextStyle style = Style(14.f, EHAlign::Left, EVAlign::Top);
  const char* bad[] = {
      "\xff\xfe"
      "abc",
      "ab\xc3", "\xed\xa0\x80 surrogate", "\xc0\xaf overlong", "\xf4\x90\x80\x80 beyond"};
  Scene scene(200, 40, 1.f, 1.f, [&](IGraphics& g) {
    for (const char* text : bad) g.DrawText(style, text, IBox(0, 0, 200, 20));
    g.FillRect(COLOR_GREEN, IBox(0, 30, 10, 40));
  });
  IBox r(0, 0, 200, 20);
  IBox plain = r;
  EXPECT_GT(scene.UI().MeasureText(style, bad[0], r), scene.UI().MeasureText(style, "abc", plain));
  EXPECT_EQ(scene.Pixel(5, 35), 0xFF00FF00u);
  EXPECT_EQ(cairo_status(static_cast<cairo_t*>(scene.UI().GetNativeCanvas())),
            CAIRO_STATUS_SUCCESS);
}

// Cairo never frees the scaled font it failed to make at a size FreeType refuses (only its debug
// reset of all static data would): allocations while one is made are not ours to report.
struct IgnoredLeaks {
#if defined(__SANITIZE_ADDRESS__)
  IgnoredLeaks() {
    __lsan_disable();
  }
  ~IgnoredLeaks() {
    __lsan_enable();
  }
#else
  ~IgnoredLeaks() {}  // user-provided, so the guard does not count as unused
#endif
};

// FreeType refuses sizes from 64K pixels on, and Cairo then disables the whole font face: every
// later text in the process would be blank.
TEST(CairoText, HugeTextIsRefusedAndAFaceDisabledByAnErrorIsMadeAgain) {
  const ITextStyle style = Style(14.f, EHAlign::Left, EVAlign::Top);
  Scene scene(100, 40, 2.f, 1.f, [&](IGraphics& g) {
    g.DrawText(Style(10000.f, EHAlign::Left, EVAlign::Top), "W", IBox(0, 0, 100, 40));
    g.DrawText(
        ITextStyle(20000.f, COLOR_BLACK, "Roboto-Regular", EHAlign::Left, EVAlign::Top, 30.f), "W",
        IBox(0, 0, 100, 40));
    // Disabled the way a huge size does it, behind the backend's back.
    cairo_t* cr = static_cast<cairo_t*>(g.GetNativeCanvas());
    {
      const IgnoredLeaks ignored;
      cairo_save(cr);
      cairo_set_font_face(cr, cb::FindTypeface("Roboto-Regular")->Face());
      cairo_set_font_size(cr, 90000.0);
      cairo_show_text(cr, "W");
      cairo_restore(cr);
    }
    g.DrawText(style, "Drive", IBox(0, 0, 100, 20));
  });
  IBox r(0, 0, 100, 20);
  EXPECT_GT(scene.UI().MeasureText(style, "Drive", r), 20.f);
  const Ink ink = InkOf(scene);
  ASSERT_TRUE(ink.Any());
  EXPECT_LT(ink.r, 100);  // only the small text was drawn
  EXPECT_EQ(cairo_font_face_status(cb::FindTypeface("Roboto-Regular")->Face()),
            CAIRO_STATUS_SUCCESS);
}

TEST(CairoText, RotatedTextIsMeasuredAsItsRotatedBoxAlignedInTheBounds) {
  Scene scene(200, 200, 1.f, 1.f, [&](IGraphics& g) {
    g.DrawText(Style(20.f, EHAlign::Center, EVAlign::Middle, 90.f), "WWWW", IBox(0, 0, 200, 200));
  });
  IBox flat(0, 0, 200, 200), turned(0, 0, 200, 200);
  const float w =
      scene.UI().MeasureText(Style(20.f, EHAlign::Center, EVAlign::Middle), "WWWW", flat);
  scene.UI().MeasureText(Style(20.f, EHAlign::Center, EVAlign::Middle, 90.f), "WWWW", turned);
  EXPECT_NEAR(turned.W(), 20.f, 1e-3);
  EXPECT_NEAR(turned.H(), w, 1e-3);
  EXPECT_NEAR(turned.MW(), 100.f, 1e-3);
  EXPECT_NEAR(turned.MH(), 100.f, 1e-3);
  const Ink ink = InkOf(scene);
  ASSERT_TRUE(ink.Any());
  EXPECT_GT(ink.b - ink.t, 2 * (ink.r - ink.l));
  EXPECT_GE(ink.t, static_cast<int>(turned.T) - 1);
  EXPECT_LE(ink.b, static_cast<int>(turned.B) + 1);
}

TEST(CairoText, TheBlendWeightScalesTheColoursAlphaAndLinesDrawLikeText) {
  const ITextStyle big = Style(120.f, EHAlign::Left, EVAlign::Top);
  const IBlendSpec half(ECompositeOp::SrcOver, 0.5f);
  Scene weighted(60, 130, 1.f, 1.f,
                 [&](IGraphics& g) { g.DrawText(big, "l", IBox(0, 0, 60, 130), &half); });
  EXPECT_EQ(InkOf(weighted).maxAlpha, 127);

  Scene text(120, 30, 1.f, 1.f,
             [&](IGraphics& g) { g.DrawText(DEFAULT_TEXT, "Drive", IBox(0, 0, 120, 30)); });
  Scene lines(120, 30, 1.f, 1.f,
              [&](IGraphics& g) { g.DrawTextLines(DEFAULT_TEXT, "Drive", IBox(0, 0, 120, 30)); });
  int differing = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 120; ++x) differing += text.Pixel(x, y) != lines.Pixel(x, y);
  EXPECT_EQ(differing, 0);
  EXPECT_TRUE(InkOf(lines).Any());
}

}  // namespace
