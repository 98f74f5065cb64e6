#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "GraphicsTestSupport.h"

using namespace graphics_test;
using Log = std::vector<std::string>;

namespace {

class FakeBitmap : public APIBitmap {
 public:
  FakeBitmap(int w, int h, float scale = 1.f, float drawScale = 1.f)
      : APIBitmap(this, w, h, scale, drawScale) {}
};

class FakeSvg : public SvgImage {
 public:
  using SvgImage::SvgImage;
};

/** Records strokes and fills with their options, bitmaps with their source offsets, and the
 * transform each drawing call saw. */
class PathGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;

  void StrokePath(const IPaint&, float thickness, const IStrokeStyle& style,
                  const IBlendSpec*) override {
    std::ostringstream s;
    s << "stroke " << thickness;
    for (int i = 0; i < style.dash.count; ++i) s << (i ? "," : " dash ") << style.dash.array[i];
    Log(s.str());
  }
  void FillPath(const IPaint& pattern, const IFillStyle& style, const IBlendSpec* blend) override {
    RecordingGraphics::FillPath(pattern, style, blend);
    if (style.preserve) log.back() += " keep";
  }
  void DrawBitmap(const IBitmapHandle&, const IBox& dest, int srcX, int srcY,
                  const IBlendSpec*) override {
    Log("bitmap " + Str(dest) + " from " + std::to_string(srcX) + "," + std::to_string(srcY));
    seen.push_back(lastTransform);
  }
  void DrawSvgImage(const SvgImage&, const IBlendSpec*, const IArgb* stroke,
                    const IArgb* fill) override {
    Log(std::string("svg") + (stroke ? " stroke" : "") + (fill ? " fill" : ""));
    seen.push_back(lastTransform);
  }

  std::vector<ITransform2D> seen;
};

class DrawingOperationsTest : public ::testing::Test {
 protected:
  Log Drawn(const std::function<void()>& draw) {
    g.log.clear();
    draw();
    return g.log;
  }

  TestDelegate d;
  PathGraphics g{d};
};

TEST_F(DrawingOperationsTest, RectanglesRoundedRectanglesAndTheirRadii) {
  EXPECT_EQ(Drawn([&] {
              g.DrawRect(COLOR_BLACK, {1, 2, 3, 4}, nullptr, 2.f);
            }),
            (Log{"move 1 2", "line 3 2", "line 3 4", "line 1 4", "close", "stroke 2"}));
  // Radius 0 is a plain rectangle; otherwise four quarter arcs clockwise from the top left.
  EXPECT_EQ(Drawn([&] {
              g.FillRoundedRect(COLOR_BLACK, {0, 0, 10, 10}, 0.f);
            }),
            (Log{"move 0 0", "line 10 0", "line 10 10", "line 0 10", "close", "fill 255,0,0,0"}));
  EXPECT_EQ(Drawn([&] {
              g.DrawRoundedRectEach(COLOR_BLACK, {0, 0, 100, 50}, 1, 2, 3, 4);
            }),
            (Log{"move 0 1", "arc 1 1 1 270 360", "arc 98 2 2 0 90", "arc 96 46 4 90 180",
                 "arc 3 47 3 180 270", "close", "stroke 1"}));
  EXPECT_EQ(Drawn([&] {
              g.DrawDashedRect(COLOR_BLACK, {0, 0, 5, 5}, nullptr, 1.f, 3.f);
            }).back(),
            "stroke 1 dash 3");
  EXPECT_EQ(Drawn([&] { g.DrawDottedLine(COLOR_BLACK, 0, 0, 5, 0); }),
            (Log{"move 0 0", "line 5 0", "stroke 1 dash 2"}));
  EXPECT_EQ(Drawn([&] { g.DrawPoint(COLOR_RED, 4, 5); }),
            (Log{"move 4 5", "line 5 5", "line 5 6", "line 4 6", "close", "fill 255,255,0,0"}));
}

TEST_F(DrawingOperationsTest, CirclesArcsAndPieSlices) {
  EXPECT_EQ(Drawn([&] { g.FillCircle(COLOR_BLACK, 5, 6, 2); }),
            (Log{"move 5 4", "arc 5 6 2 0 360", "close", "fill 255,0,0,0"}));
  EXPECT_EQ(Drawn([&] { g.DrawArc(COLOR_BLACK, 5, 6, 2, -135, 135); }),
            (Log{"arc 5 6 2 -135 135", "stroke 1"}));  // no move, no close
  EXPECT_EQ(Drawn([&] { g.FillArc(COLOR_BLACK, 5, 6, 2, 0, 90); }),
            (Log{"move 5 6", "arc 5 6 2 0 90", "close", "fill 255,0,0,0"}));
}

TEST_F(DrawingOperationsTest, EllipsesAreUnitCirclesUnderATransform) {
  g.PathTransformTranslate(1, 1);
  g.PathTransformSave();
  EXPECT_EQ(Drawn([&] {
              g.FillEllipse(COLOR_BLACK, {0, 0, 20, 10});
            }),
            (Log{"move 0 -1", "arc 0 0 1 0 360", "close", "fill 255,0,0,0"}));
  // The transform is back to what it was, and the saved stack too.
  EXPECT_EQ(g.GetTransform(), ITransform2D(1, 0, 0, 1, 1, 1));
  EXPECT_EQ(g.NSavedTransforms(), 1);
  // A zero radius draws nothing (the stroke finds an empty path) and saves nothing.
  EXPECT_EQ(Drawn([&] { g.DrawEllipseRotated(COLOR_BLACK, 5, 5, 0, 3, 45); }), (Log{"stroke 1"}));
  EXPECT_EQ(g.NSavedTransforms(), 1);
  g.PathTransformRestore();
  g.PathTransformRestore();  // nothing saved: nothing changes
  EXPECT_EQ(g.GetTransform(), ITransform2D(1, 0, 0, 1, 1, 1));
}

TEST_F(DrawingOperationsTest, PolygonsTrianglesGridsAndPlots) {
  const float xs[] = {0, 4, 2};
  const float ys[] = {0, 0, 3};
  EXPECT_EQ(Drawn([&] { g.FillPolygon(COLOR_BLACK, xs, ys, 3); }),
            (Log{"move 0 0", "line 4 0", "line 2 3", "close", "fill 255,0,0,0"}));
  EXPECT_EQ(Drawn([&] { g.DrawTriangle(COLOR_BLACK, 0, 0, 4, 0, 2, 3); }),
            (Log{"move 0 0", "line 4 0", "line 2 3", "close", "stroke 1"}));
  EXPECT_EQ(Drawn([&] { g.FillPolygon(COLOR_BLACK, xs, ys, 0); }), (Log{"fill 255,0,0,0"}));

  // Lines at 25, 50 and 75, none on the outline; a grid step of 1 or less draws none.
  EXPECT_EQ(Drawn([&] {
              g.DrawGrid(COLOR_BLACK, {0, 0, 100, 100}, 25, 1);
            }),
            (Log{"move 25 0", "line 25 100", "move 50 0", "line 50 100", "move 75 0", "line 75 100",
                 "stroke 1"}));
  EXPECT_EQ(Drawn([&] {
              g.DrawGrid(COLOR_BLACK, {0, 0, 100, 100}, NAN, 60);
            }),
            (Log{"move 0 60", "line 100 60", "stroke 1"}));

  const float values[] = {0.f, 0.5f, 1.f};
  const IArgb under = COLOR_GRAY;
  EXPECT_EQ(Drawn([&] {
              g.DrawPlot(COLOR_BLACK, {10, 0, 30, 10}, values, 3, nullptr, nullptr, 2.f, &under);
            }),
            (Log{"move 10 10", "line 20 5", "line 30 0", "fill 255,127,127,127 keep", "stroke 2"}));
  const float at[] = {0.f, 0.25f, 1.f};
  EXPECT_EQ(Drawn([&] {
              g.DrawPlot(COLOR_BLACK, {10, 0, 30, 10}, values, 3, at);
            }),
            (Log{"move 10 10", "line 15 5", "line 30 0", "stroke 1"}));
  EXPECT_EQ(Drawn([&] {
              g.DrawPlot(COLOR_BLACK, {10, 0, 30, 10}, values, 1);
            }),
            (Log{"move 10 10", "stroke 1"}));
  EXPECT_TRUE(Drawn([&] { g.DrawPlot(COLOR_BLACK, {10, 0, 30, 10}, values, 0); }).empty());
}

TEST_F(DrawingOperationsTest, FilmStripFramesAreClampedToTheStrip) {
  // The bitmaps outlive their handles, which count themselves on them.
  const auto stripPixels = std::make_unique<FakeBitmap>(29, 58);
  const auto rowPixels = std::make_unique<FakeBitmap>(90, 30);
  const IBitmapHandle strip(stripPixels.get(), 2, false, "strip.png");
  const IBitmapHandle row(rowPixels.get(), 3, true, "row.png");
  const IBox where(0, 0, 29, 29);
  EXPECT_EQ(Drawn([&] { g.DrawBitmapFrame(strip, where, 0); }),
            (Log{"bitmap (0,0,29,29) from 0,0"}));
  EXPECT_EQ(Drawn([&] { g.DrawBitmapFrame(strip, where, 2); }),
            (Log{"bitmap (0,0,29,29) from 0,29"}));
  EXPECT_EQ(Drawn([&] { g.DrawBitmapFrame(strip, where, 5); }),
            (Log{"bitmap (0,0,29,29) from 0,29"}));
  EXPECT_EQ(Drawn([&] { g.DrawBitmapFrame(row, where, 3); }),
            (Log{"bitmap (0,0,29,29) from 60,0"}));
  EXPECT_TRUE(Drawn([&] { g.DrawBitmapFrame(IBitmapHandle(), where, 1); }).empty());
}

TEST_F(DrawingOperationsTest, FittedAndRotatedBitmapsDrawUnderATransformThatIsUndoneAfter) {
  FakeBitmap pixels(40, 20);
  const IBitmapHandle bitmap(&pixels, 1, false, "b.png");
  EXPECT_EQ(Drawn([&] {
              g.DrawBitmapFitted(bitmap, {10, 10, 30, 50});
            }),
            (Log{"bitmap (0,0,40,20) from 0,0"}));
  EXPECT_EQ(g.seen.back(), ITransform2D(0.5, 0, 0, 2, 10, 10));
  EXPECT_EQ(g.GetTransform(), ITransform2D());

  FakeBitmap layer(40, 20, 1.f, 2.f);  // a layer made at draw scale 2
  EXPECT_EQ(Drawn([&] { g.DrawBitmapRotated(IBitmapHandle(&layer, 1, false, ""), 50, 60, 90); }),
            (Log{"bitmap (-10,-5,10,5) from 0,0"}));
  EXPECT_NEAR(g.seen.back().tx, 50, 1e-12);
  EXPECT_NEAR(g.seen.back().yx, 1, 1e-6);
  EXPECT_EQ(g.NSavedTransforms(), 0);

  // A bitmap without any size cannot be fitted: nothing, rather than a division by zero.
  FakeBitmap empty(0, 10);
  EXPECT_TRUE(Drawn([&] {
                g.DrawBitmapFitted(IBitmapHandle(&empty, 1, false, ""), {0, 0, 9, 9});
              }).empty());
  EXPECT_EQ(g.lastTransform, ITransform2D());
}

TEST_F(DrawingOperationsTest, SvgDocumentsFitTheirBoundsKeepingTheirAspect) {
  FakeSvg doc(20.f, 10.f);
  const ISvgDocument svg{&doc};
  const IArgb fill = COLOR_RED;
  EXPECT_EQ(Drawn([&] {
              g.DrawSvgDocument(svg, {5, 5, 65, 125}, nullptr, nullptr, &fill);
            }),
            (Log{"svg fill"}));
  EXPECT_EQ(g.seen.back(), ITransform2D(3, 0, 0, 3, 5, 5));  // min(60 / 20, 120 / 10)
  g.DrawSvgDocumentRotated(svg, 100, 100, 40, 20, 180);
  EXPECT_NEAR(g.seen.back().xx, -2, 1e-6);
  EXPECT_NEAR(g.seen.back().tx, 120, 1e-4);
  EXPECT_EQ(g.NSavedTransforms(), 0);

  FakeSvg flat(20.f, 0.f);
  EXPECT_TRUE(Drawn([&] { g.DrawSvgDocument(ISvgDocument{&flat}, {0, 0, 10, 10}); }).empty());
  EXPECT_TRUE(Drawn([&] { g.DrawSvgDocument(svg, {0, 0, NAN, 10}); }).empty());
  EXPECT_TRUE(Drawn([&] { g.DrawSvgDocument(ISvgDocument(), {0, 0, 10, 10}); }).empty());
}

TEST_F(DrawingOperationsTest, TransformsRefuseNonFiniteSteps) {
  g.PathTransformTranslate(3, 4);
  g.PathTransformScale(NAN, 1);
  g.PathTransformTranslate(INFINITY, 0);
  g.PathTransformRotate(NAN);
  EXPECT_EQ(g.GetTransform(), ITransform2D(1, 0, 0, 1, 3, 4));
  EXPECT_EQ(g.lastTransform, ITransform2D(1, 0, 0, 1, 3, 4));
}

TEST_F(DrawingOperationsTest, ClippingIsWithinTheControlOrTheLayer) {
  auto* c = new TestControl({10, 10, 50, 50}, "c");
  g.AddControl(c);
  c->onDraw = [&](IGraphics& gr) {
    gr.PathTransformTranslate(2, 2);
    gr.PathClipRegion({20, 20, 100, 100});
    gr.PathClipRegion();
    gr.PathClipRegion({200, 200, 300, 300});
  };
  g.log.clear();
  g.DrawControl(c, {0, 0, 100, 100}, 1.f);
  // The control's own region is (9,9,51,51): each clip stays inside it, untransformed, and the
  // control's transform is back in force afterwards.
  EXPECT_EQ(g.log, (Log{"begin (9,9,51,51)", "draw c", "begin (20,20,51,51)", "begin (9,9,51,51)",
                        "begin (0,0,0,0)", "finish (9,9,51,51)"}));
  EXPECT_EQ(g.lastTransform, ITransform2D(1, 0, 0, 1, 2, 2));
}

TEST_F(DrawingOperationsTest, TextReachesTheBackendOnlyWhenThereIsSome) {
  IBox r;
  EXPECT_TRUE(Drawn([&] { g.DrawText(DEFAULT_TEXT, "", {0, 0, 10, 10}); }).empty());
  EXPECT_TRUE(Drawn([&] { g.DrawText(DEFAULT_TEXT, nullptr, {0, 0, 10, 10}); }).empty());
  EXPECT_EQ(g.MeasureText(DEFAULT_TEXT, "", r), 0.f);
  EXPECT_EQ(Drawn([&] { g.DrawText(DEFAULT_TEXT, "a", {0, 0, 10, 10}); }), (Log{"text a"}));
}

TEST(TextRotation, TheRotatedBoxIsAlignedInTheBounds) {
  TestDelegate d;
  RecordingGraphics g(d);
  ITextStyle style;
  style.angle = 90.f;
  const IBox bounds(0, 0, 100, 50);
  for (const auto& [align, valign, l, t] : {std::tuple{EHAlign::Left, EVAlign::Top, 0.f, 0.f},
                                            {EHAlign::Center, EVAlign::Middle, 45.f, 5.f},
                                            {EHAlign::Right, EVAlign::Bottom, 90.f, 10.f}}) {
    style.align = align;
    style.valign = valign;
    IBox rect(0, 0, 40, 10);  // rotated a quarter turn it is 10 wide and 40 high
    double tx = 0, ty = 0;
    g.CalculateTextRotation(style, bounds, rect, tx, ty);
    EXPECT_NEAR(rect.L, l, 1e-4);
    EXPECT_NEAR(rect.T, t, 1e-4);
    EXPECT_NEAR(rect.W(), 10, 1e-4);
    EXPECT_NEAR(rect.H(), 40, 1e-4);
  }
  style.angle = 0.f;
  IBox rect(1, 2, 3, 4);
  double tx = 7, ty = 7;
  g.CalculateTextRotation(style, bounds, rect, tx, ty);
  EXPECT_EQ(rect, IBox(1, 2, 3, 4));
  EXPECT_EQ(tx, 7);
}

/** A backend whose layers hold real pixels, so the shadow's blur can be checked. */
class LayerGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;

  std::unique_ptr<APIBitmap> NewBackendBitmap(int w, int h, float scale, float drawScale,
                                              bool) override {
    return std::make_unique<FakeBitmap>(w, h, scale, drawScale);
  }
  void ReadLayerPixels(IOffscreenLayer& layer, std::vector<uint8_t>& data) override {
    data = pixels;
  }
  void CompositeShadowMask(IOffscreenLayer&, const std::vector<uint8_t>& mask,
                           const IDropShadowSpec&) override {
    composited = mask;
  }

  std::vector<uint8_t> pixels;
  std::vector<uint8_t> composited;
};

TEST(LayerShadow, AlphaIsBlurredSymmetricallyAndNothingElseChanges) {
  TestDelegate d;
  LayerGraphics g(d);
  g.PushLayer(nullptr, {0, 0, 8, 8});
  std::unique_ptr<IOffscreenLayer> layer = g.PopLayer();
  // One opaque pixel in the middle of an 8 x 8 layer (rows already a multiple of 8).
  g.pixels.assign(8 * 8 * 4, 0);
  g.pixels[(4 * 8 + 4) * 4 + 3] = 255;
  g.pixels[(4 * 8 + 4) * 4 + 0] = 77;
  const IDropShadowSpec shadow(IPaint(COLOR_BLACK), 2.f, 0.f, 0.f, 1.f, true);
  g.ApplyShadowToLayer(*layer, shadow);
  ASSERT_EQ(g.composited.size(), g.pixels.size());
  auto alpha = [&](int x, int y) { return g.composited[static_cast<size_t>((y * 8 + x) * 4 + 3)]; };
  EXPECT_GT(alpha(4, 4), alpha(5, 4));
  EXPECT_GT(alpha(5, 4), alpha(6, 4));
  EXPECT_EQ(alpha(3, 4), alpha(5, 4));
  EXPECT_EQ(alpha(4, 3), alpha(4, 5));
  EXPECT_EQ(alpha(0, 0), 0);
  EXPECT_EQ(g.composited[(4 * 8 + 4) * 4 + 0], 77);  // colour bytes are left alone

  g.pixels.clear();
  g.composited.clear();
  g.ApplyShadowToLayer(*layer, shadow);
  EXPECT_TRUE(g.composited.empty());
}

}  // namespace
