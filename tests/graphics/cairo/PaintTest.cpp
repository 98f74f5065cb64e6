#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "HeadlessTestSupport.h"

namespace {

using namespace headless_test;

bool Near(uint32_t actual, uint32_t expected, int tolerance = 2) {
  for (int shift = 0; shift < 32; shift += 8)
    if (std::abs(static_cast<int>((actual >> shift) & 0xFF) -
                 static_cast<int>((expected >> shift) & 0xFF)) > tolerance)
      return false;
  return true;
}

::testing::AssertionResult PixelNear(const Scene& scene, int x, int y, uint32_t expected,
                                     int tolerance = 2) {
  const uint32_t actual = scene.Pixel(x, y);
  if (Near(actual, expected, tolerance)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex
                                       << actual << ", expected " << expected;
}

// A blue ground, then a red shape drawn with the operator: outside the shape the ground must
// stay whatever the operator; inside an opaque red over an opaque blue gives a known pixel.
struct BoundedCase {
  ECompositeOp op;
  uint32_t inside;
};

const BoundedCase kUnboundedInCairo[] = {
    {ECompositeOp::SrcIn, 0xFFFF0000u},
    {ECompositeOp::SrcOut, 0u},
    {ECompositeOp::DstIn, 0xFF0000FFu},
    {ECompositeOp::DstAtop, 0xFF0000FFu},
};

TEST(CairoBlend, OperatorsCairoLeavesUnboundedChangeOnlyWhatTheFillCovers) {
  for (const BoundedCase& c : kUnboundedInCairo) {
    Scene scene(40, 20, 1.f, 1.f, [&](IGraphics& g) {
      g.FillRect(COLOR_BLUE, IBox(0, 0, 40, 20));
      const IBlendSpec blend(c.op);
      g.FillRect(COLOR_RED, IBox(10, 5, 20, 15), &blend);
    });
    EXPECT_TRUE(PixelNear(scene, 5, 10, 0xFF0000FFu)) << static_cast<int>(c.op);
    EXPECT_TRUE(PixelNear(scene, 30, 10, 0xFF0000FFu)) << static_cast<int>(c.op);
    EXPECT_TRUE(PixelNear(scene, 15, 10, c.inside)) << static_cast<int>(c.op);
  }
}

TEST(CairoBlend, OperatorsCairoLeavesUnboundedChangeOnlyWhatTheStrokeCovers) {
  for (const BoundedCase& c : kUnboundedInCairo) {
    Scene scene(40, 20, 1.f, 1.f, [&](IGraphics& g) {
      g.FillRect(COLOR_BLUE, IBox(0, 0, 40, 20));
      const IBlendSpec blend(c.op);
      g.DrawLine(COLOR_RED, 10, 10, 30, 10, &blend, 4.f);
    });
    EXPECT_TRUE(PixelNear(scene, 5, 10, 0xFF0000FFu)) << static_cast<int>(c.op);
    EXPECT_TRUE(PixelNear(scene, 20, 3, 0xFF0000FFu)) << static_cast<int>(c.op);
    EXPECT_TRUE(PixelNear(scene, 20, 10, c.inside)) << static_cast<int>(c.op);
  }
}

TEST(CairoBlend, OperatorsCairoLeavesUnboundedChangeOnlyWhatABitmapOrShadowCovers) {
  for (const BoundedCase& c : kUnboundedInCairo) {
    IBitmapHandle square;
    Scene scene(60, 40, 1.f, 1.f, [&](IGraphics& g) {
      g.FillRect(COLOR_BLUE, IBox(0, 0, 60, 40));
      const IBlendSpec blend(c.op);
      if (!square.IsValid()) square = g.LoadBitmap("square16.png");
      g.DrawBitmap(square, IBox(4, 4, 30, 30), 0, 0, &blend);  // larger than the bitmap
      g.DrawQuickShadow(IBox(40, 10, 50, 20), IBox(), 0.f, 0.f, 1.f, &blend);
    });
    EXPECT_TRUE(PixelNear(scene, 25, 25, 0xFF0000FFu)) << static_cast<int>(c.op);
    EXPECT_TRUE(PixelNear(scene, 2, 2, 0xFF0000FFu)) << static_cast<int>(c.op);
    EXPECT_TRUE(PixelNear(scene, 55, 35, 0xFF0000FFu)) << static_cast<int>(c.op);
    EXPECT_TRUE(PixelNear(scene, 36, 15, 0xFF0000FFu)) << static_cast<int>(c.op);
  }
}

TEST(CairoBlend, WeightBecomesATruncatedAlphaAndAnUnknownOperatorClearsTheShape) {
  Scene scene(40, 10, 1.f, 1.f, [](IGraphics& g) {
    g.FillRect(COLOR_BLACK, IBox(0, 0, 40, 10));
    const IBlendSpec half(ECompositeOp::SrcOver, 0.5f), over(ECompositeOp::SrcOver, 7.f),
        none(ECompositeOp::SrcOver, std::numeric_limits<float>::quiet_NaN()),
        unknown(static_cast<ECompositeOp>(42));
    g.FillRect(COLOR_WHITE, IBox(0, 0, 10, 10), &half);
    g.FillRect(COLOR_WHITE, IBox(10, 0, 20, 10), &over);
    g.FillRect(COLOR_WHITE, IBox(20, 0, 30, 10), &none);
    g.FillRect(COLOR_WHITE, IBox(30, 0, 35, 10), &unknown);
  });
  EXPECT_TRUE(PixelNear(scene, 5, 5, 0xFF7F7F7Fu, 0));  // trunc(0.5 × 255) = 127
  EXPECT_TRUE(PixelNear(scene, 15, 5, 0xFFFFFFFFu, 0));
  EXPECT_TRUE(PixelNear(scene, 25, 5, 0xFF000000u, 0));
  EXPECT_EQ(scene.Pixel(32, 5), 0u);
  EXPECT_EQ(scene.Pixel(37, 5), 0xFF000000u);
}

TEST(CairoBlend, AddSumsAndXorKeepsWhatOnlyOneHas) {
  Scene scene(20, 10, 1.f, 1.f, [](IGraphics& g) {
    g.FillRect(COLOR_RED, IBox(0, 0, 20, 10));
    const IBlendSpec add(ECompositeOp::Add), xorBlend(ECompositeOp::Xor);
    g.FillRect(COLOR_GREEN, IBox(0, 0, 10, 10), &add);
    g.FillRect(COLOR_GREEN, IBox(10, 0, 20, 10), &xorBlend);
  });
  EXPECT_EQ(scene.Pixel(5, 5), 0xFFFFFF00u);
  EXPECT_EQ(scene.Pixel(15, 5), 0u);
}

// A vertical gradient over y = 0 … 100: the pattern space's y is the graphics y / 100.
IPaint Vertical(EPaintKind kind, EPaintExtend extend, const IArgb& c0, const IArgb& c1,
                const ITransform2D& transform = ITransform2D(1, 0, 0, 0.01, 0, 0)) {
  IPaint paint(kind, extend);
  paint.AddStop(c0, 0.f);
  paint.AddStop(c1, 1.f);
  paint.transform = transform;
  return paint;
}

TEST(CairoGradient, ALinearPatternRunsFromTheInverseImagesOfTheOriginAndUnitY) {
  Scene scene(10, 100, 1.f, 1.f, [](IGraphics& g) {
    g.ClearPath();
    g.PathRect(IBox(0, 0, 10, 100));
    g.FillPath(Vertical(EPaintKind::Linear, EPaintExtend::Pad, COLOR_RED, COLOR_BLUE));
  });
  EXPECT_TRUE(PixelNear(scene, 5, 0, 0xFFFE0001u, 2));
  EXPECT_TRUE(PixelNear(scene, 5, 50, 0xFF7F0080u, 2));
  EXPECT_TRUE(PixelNear(scene, 5, 99, 0xFF0100FEu, 2));
}

// Cairo would interpolate premultiplied and lose the blue of a fading stop altogether.
TEST(CairoGradient, StopsOfDifferentAlphaInterpolateUnpremultiplied) {
  Scene scene(10, 100, 1.f, 1.f, [](IGraphics& g) {
    g.ClearPath();
    g.PathRect(IBox(0, 0, 10, 100));
    g.FillPath(Vertical(EPaintKind::Linear, EPaintExtend::Pad, COLOR_RED, IArgb(0, 0, 0, 255)));
  });
  // Half way: colour (127, 0, 128) at alpha 127, premultiplied about (64, 0, 64).
  EXPECT_TRUE(PixelNear(scene, 5, 50, 0x7F40003Fu, 3));
  EXPECT_TRUE(PixelNear(scene, 5, 25, 0xBF8F0030u, 3));
}

TEST(CairoGradient, ExtendModesDecideWhatLiesBeyondTheStops) {
  // Pattern y = (graphics y − 25) / 50: the stops span y = 25 … 75, so pixel row 10 lies at
  // −0.29 and row 80 at 1.11.
  const ITransform2D span(1, 0, 0, 0.02, 0, -0.5);
  struct Case {
    EPaintExtend extend;
    uint32_t at10, at80;
  };
  for (const Case& c :
       {Case{EPaintExtend::None, 0u, 0u}, Case{EPaintExtend::Pad, 0xFFFF0000u, 0xFF0000FFu},
        Case{EPaintExtend::Repeat, 0xFF4A00B5u, 0xFFE3001Cu},
        Case{EPaintExtend::Reflect, 0xFFB5004Au, 0xFF1C00E3u}}) {
    Scene scene(10, 100, 1.f, 1.f, [&](IGraphics& g) {
      g.ClearPath();
      g.PathRect(IBox(0, 0, 10, 100));
      g.FillPath(Vertical(EPaintKind::Linear, c.extend, COLOR_RED, COLOR_BLUE, span));
    });
    EXPECT_TRUE(PixelNear(scene, 5, 10, c.at10, 4)) << static_cast<int>(c.extend);
    EXPECT_TRUE(PixelNear(scene, 5, 80, c.at80, 4)) << static_cast<int>(c.extend);
  }
}

TEST(CairoGradient, ARadialPatternIsCentredOnTheOriginsImageWithUnitYsDistanceAsRadius) {
  Scene scene(100, 100, 1.f, 1.f, [](IGraphics& g) {
    IPaint paint = Vertical(EPaintKind::Radial, EPaintExtend::Pad, COLOR_RED, COLOR_BLUE,
                            ITransform2D(0.05, 0, 0, 0.05, -2.5, -2.5));
    g.ClearPath();
    g.PathRect(IBox(0, 0, 100, 100));
    g.FillPath(paint);
  });
  EXPECT_TRUE(PixelNear(scene, 50, 50, 0xFFFF0000u, 10));
  EXPECT_TRUE(PixelNear(scene, 60, 50, 0xFF7F0080u, 10));
  EXPECT_TRUE(PixelNear(scene, 50, 80, 0xFF0000FFu, 2));
}

TEST(CairoGradient, StopAlphasAreWeightedAndASingularPatternDrawsNothing) {
  Scene scene(20, 100, 1.f, 1.f, [](IGraphics& g) {
    const IBlendSpec half(ECompositeOp::SrcOver, 0.5f);
    g.ClearPath();
    g.PathRect(IBox(0, 0, 10, 100));
    g.FillPath(Vertical(EPaintKind::Linear, EPaintExtend::Pad, COLOR_RED, COLOR_RED), IFillStyle(),
               &half);
    g.ClearPath();
    g.PathRect(IBox(10, 0, 20, 100));
    g.FillPath(Vertical(EPaintKind::Linear, EPaintExtend::Pad, COLOR_RED, COLOR_BLUE,
                        ITransform2D(0, 0, 0, 0, 0, 0)));
  });
  EXPECT_TRUE(PixelNear(scene, 5, 50, 0x7F7F0000u, 1));
  EXPECT_EQ(scene.Pixel(15, 50), 0u);
}

}  // namespace
