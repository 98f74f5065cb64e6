// Small scenes of the backend's primitives, each drawn at draw scales 1, 1.5 and 2 and at
// screen scale 2, compared with the pictures in golden/. Regenerate with
// CORVANE_UPDATE_GOLDENS=1, and look at every picture before committing it.
#include <gtest/gtest.h>

#include <functional>

#include "HeadlessTestSupport.h"

namespace {

using namespace headless_test;

constexpr int kW = 160;
constexpr int kH = 100;
const IArgb kGround(255, 236, 236, 232);
const IArgb kInk(255, 40, 44, 52);
const IArgb kAccent(255, 230, 120, 30);
const IArgb kCool(255, 40, 120, 200);

void CheckScene(const std::string& name, const std::function<void(IGraphics&)>& draw) {
  struct Scale {
    float draw, screen;
  };
  for (const Scale s : {Scale{1.f, 1.f}, Scale{1.5f, 1.f}, Scale{2.f, 1.f}, Scale{1.f, 2.f}}) {
    Scene scene(kW, kH, s.draw, s.screen, draw);
    EXPECT_TRUE(golden::MatchesGolden(scene.Image(), GOLDEN_DIR, GOLDEN_OUTPUT_DIR,
                                      ScaledName(name, s.draw, s.screen)));
  }
}

// Every path primitive filled: straight edges, arcs of every quarter, both curve kinds, and a
// transform that rotates an ellipse.
TEST(CairoGolden, Paths) {
  CheckScene("paths", [](IGraphics& g) {
    g.FillRect(kGround, IBox(0, 0, kW, kH));
    g.FillRect(kCool, IBox(8, 8, 38, 38));
    g.FillRoundedRect(kAccent, IBox(46, 8, 86, 38), 8.f);
    g.FillRoundedRectEach(kInk, IBox(94, 8, 124, 38), 0.f, 12.f, 4.f, 0.f);
    g.FillCircle(kCool, 142, 23, 14);
    g.FillEllipseRotated(kAccent, 23, 70, 16, 8, 30.f);
    g.FillTriangle(kInk, 46, 92, 66, 52, 86, 92);
    const float xs[5] = {110, 124, 119, 101, 96}, ys[5] = {52, 62, 80, 80, 62};
    g.FillPolygon(kCool, xs, ys, 5);
    g.FillArc(kAccent, 145, 70, 14, 45, 300);
    g.ClearPath();
    g.MoveTo(4, 98);
    g.CubicTo(30, 40, 60, 110, 90, 96);
    g.QuadTo(120, 84, 156, 98);
    g.ClosePath();
    g.FillPath(IPaint(IArgb(140, 120, 40, 160)));
  });
}

// Caps and joins against hairline guides, the three-length dash list, dotted and dashed
// outlines, an arc and a grid, and strokes whose width follows a rotation and a scale.
TEST(CairoGolden, Strokes) {
  CheckScene("strokes", [](IGraphics& g) {
    g.FillRect(kGround, IBox(0, 0, kW, kH));
    const ECapStyle caps[3] = {ECapStyle::Butt, ECapStyle::Round, ECapStyle::Square};
    for (int i = 0; i < 3; ++i) {
      IStrokeStyle style;
      style.cap = caps[i];
      const float y = 10.f + 10.f * i;
      g.ClearPath();
      g.MoveTo(12, y);
      g.LineTo(52, y);
      g.StrokePath(IPaint(kCool), 6.f, style);
    }
    g.DrawLine(kAccent, 12, 4, 12, 36, nullptr, 0.f);
    g.DrawLine(kAccent, 52, 4, 52, 36, nullptr, 0.f);
    const EJoinStyle joins[3] = {EJoinStyle::Miter, EJoinStyle::Round, EJoinStyle::Bevel};
    for (int i = 0; i < 3; ++i) {
      IStrokeStyle style;
      style.join = joins[i];
      const float x = 66.f + 30.f * i;
      g.ClearPath();
      g.MoveTo(x, 36);
      g.LineTo(x + 10, 8);
      g.LineTo(x + 20, 36);
      g.StrokePath(IPaint(kInk), 5.f, style);
    }
    IStrokeStyle dashed;
    const float dashes[3] = {3, 1, 2};
    dashed.dash.Set(dashes, 3, 0.f);
    g.ClearPath();
    g.MoveTo(8, 48);
    g.LineTo(80, 48);
    g.StrokePath(IPaint(kInk), 2.f, dashed);
    g.DrawDottedLine(kCool, 8, 56, 80, 56, nullptr, 1.f, 2.f);
    g.DrawDashedRect(kAccent, IBox(8, 64, 80, 92), nullptr, 1.5f, 4.f);
    g.DrawArc(kCool, 44, 78, 10, 200, 480, nullptr, 2.f);
    g.DrawGrid(IArgb(255, 180, 180, 175), IBox(90, 48, 154, 96), 16, 16, nullptr, 1.f);
    g.PathTransformSave();
    g.PathTransformTranslate(122, 72);
    g.PathTransformRotate(-20.f);
    g.PathTransformScale(2.f, 1.f);
    g.DrawEllipse(kAccent, IBox(-12, -10, 12, 10), nullptr, 2.f);
    g.PathTransformRestore();
    g.DrawRoundedRect(kInk, IBox(138, 4, 156, 40), 4.f, nullptr, 1.f);
  });
}

IPaint Gradient(EPaintKind kind, EPaintExtend extend, const ITransform2D& t) {
  IPaint paint(kind, extend);
  paint.AddStop(kCool, 0.f);
  paint.AddStop(kAccent, 0.6f);
  paint.AddStop(IArgb(255, 250, 240, 200), 1.f);
  paint.transform = t;
  return paint;
}

// Each extend mode over a span shorter than its box, a radial pattern, and stops that fade
// out over a checkerboard, where premultiplied interpolation would show a dark band.
TEST(CairoGolden, Gradients) {
  CheckScene("gradients", [](IGraphics& g) {
    g.FillRect(kGround, IBox(0, 0, kW, kH));
    const EPaintExtend extends[4] = {EPaintExtend::Pad, EPaintExtend::Repeat, EPaintExtend::Reflect,
                                     EPaintExtend::None};
    for (int i = 0; i < 4; ++i) {
      const float x = 6.f + 38.f * i;
      // Across the box: pattern y runs 0 … 1 from x + 10 to x + 26, pattern x is graphics y.
      IPaint paint = Gradient(EPaintKind::Linear, extends[i],
                              ITransform2D(0, 1.0 / 16.0, 1, 0, 0, -(x + 10) / 16.0));
      g.ClearPath();
      g.PathRect(IBox(x, 6, x + 34, 44));
      g.FillPath(paint);
    }
    g.ClearPath();
    g.PathRect(IBox(6, 50, 60, 94));
    g.FillPath(Gradient(EPaintKind::Radial, EPaintExtend::Pad,
                        ITransform2D(1.0 / 24.0, 0, 0, 1.0 / 24.0, -33.0 / 24.0, -72.0 / 24.0)));
    for (int y = 50; y < 94; y += 6)
      for (int x = 68; x < 154; x += 6)
        if (((x - 68) / 6 + (y - 50) / 6) % 2 == 0)
          g.FillRect(IArgb(255, 60, 60, 60), IBox(x, y, x + 6.f, y + 6.f));
    IPaint fade(EPaintKind::Linear, EPaintExtend::Pad);
    fade.AddStop(IArgb(255, 255, 40, 40), 0.f);
    fade.AddStop(IArgb(0, 40, 40, 255), 1.f);
    fade.transform = ITransform2D(0, 1.0 / 86.0, 1, 0, 0, -68.0 / 86.0);
    g.ClearPath();
    g.PathRect(IBox(68, 50, 154, 94));
    g.FillPath(fade);
  });
}

// Every alignment in outlined boxes, and text turned by −30° and 90°.
TEST(CairoGolden, Text) {
  CheckScene("text", [](IGraphics& g) {
    g.FillRect(kGround, IBox(0, 0, kW, kH));
    const EHAlign aligns[3] = {EHAlign::Left, EHAlign::Center, EHAlign::Right};
    const EVAlign valigns[3] = {EVAlign::Top, EVAlign::Middle, EVAlign::Bottom};
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 3; ++col) {
        const IBox box(4.f + 36.f * col, 4.f + 30.f * row, 38.f + 36.f * col, 32.f + 30.f * row);
        g.DrawRect(IArgb(255, 190, 190, 185), box);
        g.DrawText(ITextStyle(12.f, kInk, "Roboto-Regular", aligns[col], valigns[row]), "Ag1", box);
      }
    }
    g.DrawText(ITextStyle(11.f, kCool, "Roboto-Regular", EHAlign::Center, EVAlign::Middle, -30.f),
               "Drive 4.1.0", IBox(112, 4, 158, 48));
    g.DrawText(ITextStyle(13.f, kAccent, "Roboto-Regular", EHAlign::Center, EVAlign::Middle, 90.f),
               "Corvane", IBox(112, 50, 158, 96));
  });
}

// Both densities of a resource, film-strip frames vertical and horizontal, a fitted, a rotated
// and a half-weight bitmap.
TEST(CairoGolden, Bitmaps) {
  CheckScene("bitmaps", [](IGraphics& g) {
    g.FillRect(kGround, IBox(0, 0, kW, kH));
    const IBitmapHandle knob = g.LoadBitmap("knob.png");
    const IBitmapHandle strip = g.LoadBitmap("strip3.png", 3);
    const IBitmapHandle meter = g.LoadBitmap("meter4.png", 4, true);
    g.DrawBitmap(knob, IBox(6, 6, 30, 30), 0, 0);
    for (int k = 1; k <= 3; ++k)
      g.DrawBitmapFrame(strip, IBox(36.f + 20 * (k - 1), 10, 52.f + 20 * (k - 1), 26), k);
    for (int k = 1; k <= 4; ++k)
      g.DrawBitmapFrame(meter, IBox(100.f + 14 * (k - 1), 12, 112.f + 14 * (k - 1), 24), k);
    g.DrawBitmapFitted(knob, IBox(6, 40, 66, 94));
    g.DrawBitmapRotated(knob, 90, 66, 30.f);
    const IBlendSpec half(ECompositeOp::SrcOver, 0.5f);
    g.DrawBitmap(knob, IBox(116, 54, 140, 78), 0, 0, &half);
    g.DrawBitmapFrame(strip, IBox(120, 82, 156, 96), 2);
  });
}

// Every operator drawing an orange disc and a white line over a cell that is blue in its top
// half and transparent below, at a weight of 0.9.
TEST(CairoGolden, Blends) {
  CheckScene("blends", [](IGraphics& g) {
    for (int i = 0; i < 10; ++i) {
      const float x = 4.f + 31.f * (i % 5), y = 4.f + 48.f * (i / 5);
      g.FillRect(kCool, IBox(x, y, x + 28, y + 22));
      const IBlendSpec blend(static_cast<ECompositeOp>(i), 0.9f);
      g.FillCircle(kAccent, x + 14, y + 22, 11, &blend);
      g.DrawLine(IArgb(255, 250, 250, 250), x + 2, y + 40, x + 26, y + 40, &blend, 3.f);
    }
  });
}

// A quick shadow behind a card, and a layer's drop shadow in a pattern behind its content.
TEST(CairoGolden, Shadows) {
  CheckScene("shadows", [](IGraphics& g) {
    g.FillRect(kGround, IBox(0, 0, kW, kH));
    g.DrawQuickShadow(IBox(12, 12, 62, 62), IBox(8, 8, 70, 70), 5.f, 6.f, 8.f);
    g.FillRoundedRect(COLOR_WHITE, IBox(12, 12, 62, 62), 6.f);
    g.PushLayer(nullptr, IBox(80, 4, 156, 96));
    g.FillCircle(kAccent, 112, 40, 20);
    g.DrawText(ITextStyle(18.f, kInk, "Roboto-Regular"), "Layer", IBox(84, 64, 144, 88));
    std::unique_ptr<IOffscreenLayer> layer = g.PopLayer();
    IPaint pattern(EPaintKind::Linear, EPaintExtend::Pad);
    pattern.AddStop(kCool, 0.f);
    pattern.AddStop(IArgb(255, 120, 20, 120), 1.f);
    pattern.transform = ITransform2D(1, 0, 0, 1.0 / 90.0, 0, -4.0 / 90.0);
    g.ApplyShadowToLayer(*layer, IDropShadowSpec(pattern, 4.f, 4.f, 6.f, 0.8f, true));
    g.DrawBitmap(IBitmapHandle(layer->bitmap.get(), 1, false, ""), layer->bounds, 0, 0);
  });
}

// An SVG document fitted, with a fill and a stroke override, and turned.
TEST(CairoGolden, Svg) {
  CheckScene("svg", [](IGraphics& g) {
    g.FillRect(kGround, IBox(0, 0, kW, kH));
    const ISvgDocument svg = g.LoadSvgDocument("shapes.svg");
    g.DrawSvgDocument(svg, IBox(4, 4, 84, 64));
    const IArgb fill = kAccent, stroke = kCool;
    g.DrawSvgDocument(svg, IBox(90, 4, 156, 54), nullptr, nullptr, &fill);
    g.DrawSvgDocument(svg, IBox(90, 56, 156, 96), nullptr, &stroke, nullptr);
    g.DrawSvgDocumentRotated(svg, 44, 82, 30, 22, -15.f);
  });
}

}  // namespace
