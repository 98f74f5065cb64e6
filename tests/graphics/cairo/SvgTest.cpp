#include <gtest/gtest.h>

#include <cstring>

#include "HeadlessTestSupport.h"

namespace {

using namespace headless_test;

std::unique_ptr<SvgImage> Parse(IGraphicsHeadless& ui, const char* text, const char* units = "px",
                                float dpi = 96.f) {
  return ui.ParseSvgDocument(text, static_cast<int>(std::strlen(text)), units, dpi);
}

TEST(CairoSvg, TheSizeIsReportedInTheRequestedUnitsAtTheDpi) {
  Scene scene(10, 10, 1.f, 1.f, nullptr);
  const char* doc =
      "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='30'><rect width='4' "
      "height='3'/></svg>";
  struct Case {
    const char* units;
    float dpi, w;
  };
  for (const Case& c :
       {Case{"px", 96.f, 40.f}, Case{"in", 96.f, 40.f / 96.f},
        Case{"mm", 96.f, 40.f * 25.4f / 96.f}, Case{"pt", 72.f, 40.f},
        Case{"cm", 48.f, 40.f * 2.54f / 48.f}, Case{"pc", 96.f, 40.f * 6.f / 96.f}}) {
    const std::unique_ptr<SvgImage> svg = Parse(scene.UI(), doc, c.units, c.dpi);
    ASSERT_NE(svg, nullptr) << c.units;
    EXPECT_NEAR(svg->Width(), c.w, 1e-4) << c.units;
    EXPECT_NEAR(svg->Height(), c.w * 0.75f, 1e-4) << c.units;
  }
  // An absolute size is converted at the dpi first.
  const std::unique_ptr<SvgImage> inches = Parse(
      scene.UI(), "<svg xmlns='http://www.w3.org/2000/svg' width='1in' height='2in'/>", "px", 72.f);
  ASSERT_NE(inches, nullptr);
  EXPECT_NEAR(inches->Width(), 72.f, 1e-3);
  EXPECT_NEAR(inches->Height(), 144.f, 1e-3);
}

TEST(CairoSvg, ADocumentWithoutASizeOrNotADocumentIsNull) {
  Scene scene(10, 10, 1.f, 1.f, nullptr);
  EXPECT_EQ(Parse(scene.UI(), "not svg at all"), nullptr);
  EXPECT_EQ(Parse(scene.UI(), "<svg xmlns='http://www.w3.org/2000/svg'><rect/></svg>"), nullptr);
  EXPECT_EQ(Parse(scene.UI(), "<svg xmlns='http://www.w3.org/2000/svg' width='0' height='5'/>"),
            nullptr);
  EXPECT_EQ(Parse(scene.UI(), "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='5'"),
            nullptr);
  EXPECT_EQ(scene.UI().ParseSvgDocument("<svg", 0, "px", 96.f), nullptr);
  // The text need not end with a NUL: only size bytes are read.
  const char text[] = "<svg xmlns='http://www.w3.org/2000/svg' width='8' height='4'/>garbage";
  EXPECT_NE(scene.UI().ParseSvgDocument(text, static_cast<int>(std::strlen(text) - 7), "px", 96.f),
            nullptr);
}

TEST(CairoSvg, AViewBoxAloneGivesTheSize) {
  Scene scene(10, 10, 1.f, 1.f, nullptr);
  const ISvgDocument svg = scene.UI().LoadSvgDocument("viewbox-only.svg");
  ASSERT_TRUE(svg.IsValid());
  EXPECT_FLOAT_EQ(svg.W(), 20.f);
  EXPECT_FLOAT_EQ(svg.H(), 10.f);
}

// shapes.svg: a blue rectangle at (2, 2, 18, 14), a circle filled orange and stroked dark, a
// zig-zag stroked red with no fill, and a rectangle whose group says fill="none".
struct SvgScene {
  SvgScene(const IArgb* stroke, const IArgb* fill, const IBlendSpec* blend = nullptr)
      : scene(80, 60, 1.f, 1.f, [=](IGraphics& g) {
          const ISvgDocument svg = g.LoadSvgDocument("shapes.svg");
          g.DrawSvgDocument(svg, IBox(0, 0, 80, 60), blend, stroke, fill);
        }) {}
  Scene scene;
};

TEST(CairoSvg, ADocumentIsFittedIntoTheBounds) {
  const SvgScene plain(nullptr, nullptr);
  EXPECT_EQ(plain.scene.Pixel(20, 16), 0xFF3060C0u);  // the rectangle, twice as large
  EXPECT_EQ(plain.scene.Pixel(56, 20), 0xFFF0A020u);  // the circle's centre
  EXPECT_EQ(plain.scene.Pixel(76, 58), 0u);
}

TEST(CairoSvg, ColourOverridesReplaceFillsAndStrokesButAddNoFills) {
  const IArgb red = COLOR_RED, green = COLOR_GREEN;
  const SvgScene filled(nullptr, &red), stroked(&green, nullptr);
  EXPECT_EQ(filled.scene.Pixel(20, 16), 0xFFFF0000u);
  EXPECT_EQ(filled.scene.Pixel(56, 20), 0xFFFF0000u);
  // Under the zig-zag and inside the rectangle of the fill="none" group nothing is filled.
  EXPECT_EQ(filled.scene.Pixel(24, 48), 0u);
  EXPECT_EQ(filled.scene.Pixel(60, 48), 0u);
  EXPECT_EQ(filled.scene.Pixel(56, 6), 0xFF202020u);  // the circle's stroke is its own

  EXPECT_EQ(stroked.scene.Pixel(56, 20), 0xFFF0A020u);
  EXPECT_EQ(stroked.scene.Pixel(56, 6), 0xFF00FF00u);
}

TEST(CairoSvg, TheBlendWeightAppliesToTheWholeDocument) {
  const IBlendSpec half(ECompositeOp::SrcOver, 0.5f);
  const SvgScene weighted(nullptr, nullptr, &half);
  EXPECT_EQ(Alpha(weighted.scene.Pixel(20, 16)), 127);
}

}  // namespace
