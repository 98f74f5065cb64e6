#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <limits>

#include "HeadlessTestSupport.h"

namespace {

using namespace headless_test;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The pixel on a circle of radius r around (50, 50) at an angle counted like the graphics
// context's: degrees from twelve o'clock, clockwise.
uint32_t OnCircle(const Scene& scene, float degrees, float r = 40.f) {
  const double t = degrees * M_PI / 180.0;
  return scene.Pixel(static_cast<int>(50.0 + r * std::sin(t)),
                     static_cast<int>(50.0 - r * std::cos(t)));
}

TEST(CairoPath, AnArcFromZeroToNinetyRunsClockwiseFromTwelveToThree) {
  Scene scene(100, 100, 1.f, 1.f,
              [](IGraphics& g) { g.DrawArc(COLOR_RED, 50, 50, 40, 0, 90, nullptr, 4); });
  EXPECT_GT(Alpha(OnCircle(scene, 2)), 200);
  EXPECT_GT(Alpha(OnCircle(scene, 45)), 200);
  EXPECT_GT(Alpha(OnCircle(scene, 88)), 200);
  for (const float outside : {135.f, 225.f, 315.f}) EXPECT_EQ(OnCircle(scene, outside), 0u);
}

TEST(CairoPath, ABackwardSweepGoesTheLongWayRoundClockwise) {
  Scene scene(100, 100, 1.f, 1.f,
              [](IGraphics& g) { g.DrawArc(COLOR_RED, 50, 50, 40, 90, 0, nullptr, 4); });
  EXPECT_EQ(OnCircle(scene, 45), 0u);
  for (const float inside : {135.f, 225.f, 315.f}) EXPECT_GT(Alpha(OnCircle(scene, inside)), 200);
}

TEST(CairoPath, ASweepOfAFullTurnOrMoreIsAWholeCircle) {
  for (const auto& [a1, a2] : {std::pair{0.f, 360.f}, {10.f, 400.f}, {0.f, -360.f}}) {
    Scene scene(100, 100, 1.f, 1.f,
                [a1 = a1, a2 = a2](IGraphics& g) { g.DrawArc(COLOR_RED, 50, 50, 40, a1, a2); });
    for (const float at : {0.f, 45.f, 135.f, 225.f, 315.f})
      EXPECT_GT(Alpha(OnCircle(scene, at)), 100) << a1 << ".." << a2 << " at " << at;
  }
}

TEST(CairoPath, AnOddDashListIsRepeatedSoThreeOneTwoStrokesAsThreeOneTwoThreeOneTwo) {
  Scene scene(40, 10, 1.f, 1.f, [](IGraphics& g) {
    IStrokeStyle style;
    const float dashes[3] = {3, 1, 2};
    style.dash.Set(dashes, 3, 0.f);
    g.ClearPath();
    g.MoveTo(0, 5);
    g.LineTo(36, 5);
    g.StrokePath(IPaint(COLOR_BLACK), 2.f, style);
  });
  // On for 3, off 1, on 2, off 3, on 1, off 2: the second pass swaps on and off.
  const char* expected = "xxx.xx...x..xxx.xx...x..xxx.xx...x..";
  std::string actual;
  for (int x = 0; x < 36; ++x) actual += Alpha(scene.Pixel(x, 4)) > 128 ? 'x' : '.';
  EXPECT_EQ(actual, expected);
}

TEST(CairoPath, StrokeWidthsFollowTheTransformButAHairlineStaysOnePixel) {
  Scene scene(30, 30, 1.f, 1.f, [](IGraphics& g) {
    g.PathTransformScale(3.f, 3.f);
    g.DrawLine(COLOR_BLACK, 0, 5, 10, 5, nullptr, 2.f);  // y 15, six pixels wide
    g.PathTransformReset();
    g.DrawLine(COLOR_BLACK, 0, 25.5f, 30, 25.5f, nullptr, 0.f);
  });
  for (int y = 12; y < 18; ++y) EXPECT_EQ(Alpha(scene.Pixel(10, y)), 255) << y;
  EXPECT_EQ(scene.Pixel(10, 11), 0u);
  EXPECT_EQ(scene.Pixel(10, 18), 0u);
  EXPECT_EQ(Alpha(scene.Pixel(10, 25)), 255);
  EXPECT_EQ(scene.Pixel(10, 24), 0u);
  EXPECT_EQ(scene.Pixel(10, 26), 0u);
}

TEST(CairoPath, EvenOddLeavesAHoleAndAPreservedPathIsStrokedAfterItsFill) {
  Scene scene(40, 40, 1.f, 1.f, [](IGraphics& g) {
    g.ClearPath();
    g.PathRect(IBox(0, 0, 40, 40));
    g.PathRect(IBox(10, 10, 30, 30));
    IFillStyle fill;
    fill.rule = EWindingRule::EvenOdd;
    fill.preserve = true;
    g.FillPath(IPaint(COLOR_BLUE), fill);
    g.StrokePath(IPaint(COLOR_RED), 2.f);
  });
  EXPECT_EQ(scene.Pixel(5, 20), 0xFF0000FFu);
  EXPECT_EQ(scene.Pixel(20, 20), 0u);
  EXPECT_EQ(scene.Pixel(10, 20), 0xFFFF0000u);  // the inner contour's stroke
}

// Bad numbers must neither reach Cairo (which would disable the context) nor stop the drawing
// that follows.
TEST(CairoPath, NonFiniteInputDrawsNothingAndTheNextDrawStillDraws) {
  Scene scene(40, 40, 1.f, 1.f, [](IGraphics& g) {
    g.ClearPath();
    g.MoveTo(kNaN, 0);
    g.LineTo(30, 30);
    g.StrokePath(IPaint(COLOR_RED), 2.f);
    g.FillRect(COLOR_RED, IBox(0, 0, kInf, 10));
    g.DrawLine(COLOR_RED, 0, 0, 40, 40, nullptr, kNaN);
    g.DrawArc(COLOR_RED, 20, 20, kInf, 0, 90);
    g.FillArc(COLOR_RED, 20, 20, 10, 0, kNaN);
    IStrokeStyle style;
    const float dashes[2] = {kNaN, -1};
    style.dash.Set(dashes, 2, kInf);
    style.miterLimit = kNaN;
    g.ClearPath();
    g.MoveTo(0, 35);
    g.LineTo(40, 35);
    g.StrokePath(IPaint(COLOR_BLUE), 2.f, style);  // a dash list Cairo would refuse: solid
    g.FillRect(COLOR_GREEN, IBox(30, 0, 40, 10));
  });
  EXPECT_EQ(scene.Pixel(5, 5), 0u);
  EXPECT_EQ(scene.Pixel(20, 20), 0u);
  EXPECT_EQ(scene.Pixel(20, 34), 0xFF0000FFu);
  EXPECT_EQ(scene.Pixel(35, 5), 0xFF00FF00u);
  EXPECT_EQ(cairo_status(static_cast<cairo_t*>(scene.UI().GetNativeCanvas())),
            CAIRO_STATUS_SUCCESS);
}

// Finite but absurd numbers must not make Cairo loop, allocate without bound or fail.
TEST(CairoPath, HugeAndTinyNumbersDrawQuicklyAndTheNextDrawStillDraws) {
  Scene scene(40, 40, 1.f, 1.f, [](IGraphics& g) {
    g.FillRect(COLOR_RED, IBox(-1e30f, -1e30f, 1e30f, 5));
    g.DrawLine(COLOR_RED, 0, 10, 1e30f, 10, nullptr, 1e30f);
    IStrokeStyle tiny;
    const float dashes[2] = {1e-30f, 1e-30f};
    tiny.dash.Set(dashes, 2, 0.f);
    g.ClearPath();
    g.MoveTo(0, 20);
    g.LineTo(4e4f, 20);
    g.StrokePath(IPaint(COLOR_RED), 1.f, tiny);
    g.DrawQuickShadow(IBox(0, 0, 1e30f, 1e30f), IBox(), 1e30f, 1e30f, 1e30f);
    g.DrawQuickShadow(IBox(0, 0, 10, 10), IBox(), 0.f, 0.f, 1e30f);
    g.DrawText(ITextStyle(99999.f), "W", IBox(0, 0, 40, 40));
    g.FillCircle(COLOR_RED, 20, 20, 1e30f);
    g.PathTransformScale(1e30f, 1e30f);
    g.FillRect(COLOR_RED, IBox(0, 0, 1, 1));
    g.PathTransformReset();
    g.FillRect(COLOR_GREEN, IBox(30, 30, 40, 40));
  });
  EXPECT_EQ(scene.Pixel(35, 35), 0xFF00FF00u);
  EXPECT_EQ(cairo_status(static_cast<cairo_t*>(scene.UI().GetNativeCanvas())),
            CAIRO_STATUS_SUCCESS);
}

TEST(CairoPath, ASingularTransformDrawsThePathAsTransformedAndLeavesTheContextWorking) {
  Scene scene(40, 40, 1.f, 1.f, [](IGraphics& g) {
    g.PathTransformScale(1.f, 0.f);  // every point lands on y = 0
    g.DrawLine(COLOR_RED, 10, 20, 30, 20, nullptr, 2.f);
    g.FillRect(COLOR_RED, IBox(10, 10, 30, 30));  // no area left: nothing
    g.PathTransformReset();
    g.FillRect(COLOR_GREEN, IBox(10, 30, 20, 40));
  });
  EXPECT_EQ(scene.Pixel(20, 0), 0xFFFF0000u);
  EXPECT_EQ(scene.Pixel(20, 20), 0u);
  EXPECT_EQ(scene.Pixel(15, 35), 0xFF00FF00u);
  EXPECT_EQ(cairo_status(static_cast<cairo_t*>(scene.UI().GetNativeCanvas())),
            CAIRO_STATUS_SUCCESS);
}

TEST(CairoPath, QuadraticAndCubicCurvesPassTheirEndsAndBendTowardTheirControls) {
  Scene scene(60, 60, 1.f, 1.f, [](IGraphics& g) {
    g.ClearPath();
    g.MoveTo(0, 50);
    g.QuadTo(30, 0, 60, 50);
    g.ClosePath();
    g.FillPath(IPaint(COLOR_BLUE));
  });
  // The quad's apex is half way to its control point: y = 25.
  EXPECT_EQ(Alpha(scene.Pixel(30, 27)), 255);
  EXPECT_EQ(scene.Pixel(30, 23), 0u);
  EXPECT_EQ(Alpha(scene.Pixel(5, 49)), 255);
}

}  // namespace
