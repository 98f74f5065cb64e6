// The drawing operations and the stock controls as pictures: each scene at draw scale 1, 1.5
// and 2 and on a screen of twice the density, compared with the golden images beside this test.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "HeadlessTestSupport.h"
#include "graphics/IStockControls.h"

using namespace headless_test;

namespace {

struct Scale {
  float draw;
  float screen;
};

constexpr Scale kScales[] = {{1.f, 1.f}, {1.5f, 1.f}, {2.f, 1.f}, {1.f, 2.f}};

const IArgb kInk(255, 30, 32, 38);
const IArgb kTeal(255, 0, 128, 128);
const IArgb kOrange(255, 240, 140, 30);
const IArgb kPaper(255, 246, 244, 238);

void Paper(IGraphics& g, float w, float h) {
  g.FillRect(kPaper, IBox(0, 0, w, h));
}

void CheckScene(const char* name, int w, int h, const std::function<void(IGraphics&)>& draw) {
  for (const Scale& s : kScales) {
    Scene scene(w, h, s.draw, s.screen, draw);
    EXPECT_TRUE(golden::MatchesGolden(scene.Image(), GOLDEN_DIR, GOLDEN_OUTPUT_DIR,
                                      ScaledName(name, s.draw, s.screen)));
  }
}

// Every outline and fill of the shape operations, with the thicknesses, dashes and radii that
// show whether a path was built right: corners of different radii, a dash of 3 along a rect,
// an arc through the top, a pie slice from twelve to four o'clock.
TEST(DrawingGolden, Shapes) {
  CheckScene("shapes", 160, 120, [](IGraphics& g) {
    Paper(g, 160, 120);
    g.DrawRect(kInk, IBox(5, 5, 35, 25));
    g.FillRoundedRect(kTeal, IBox(40, 5, 75, 25), 6.f);
    g.DrawRoundedRectEach(kOrange, IBox(80, 5, 115, 25), 0.f, 4.f, 8.f, 12.f, nullptr, 2.f);
    g.DrawDashedRect(COLOR_BLUE, IBox(120, 5, 155, 25), nullptr, 1.f, 3.f);

    g.FillCircle(COLOR_RED, 20, 45, 12);
    g.DrawCircle(COLOR_DARK_GRAY, 50, 45, 12, nullptr, 2.f);
    g.DrawArc(COLOR_VIOLET, 80, 45, 12, -135, 135, nullptr, 3.f);
    g.FillArc(COLOR_INDIGO, 110, 45, 12, 0, 120);
    g.FillEllipseRotated(kTeal, 140, 45, 14, 6, 30);

    g.DrawEllipse(kInk, IBox(5, 65, 45, 85), nullptr, 1.5f);
    g.FillTriangle(kOrange, 55, 85, 70, 65, 85, 85);
    const float px[] = {110, 121, 117, 103, 99};
    const float py[] = {64, 72, 85, 85, 72};
    g.DrawPolygon(COLOR_BLUE, px, py, 5, nullptr, 2.f);
    g.FillPolygon(IArgb(128, 0, 128, 128), px, py, 5);
    g.DrawEllipseRotated(COLOR_RED, 140, 75, 14, 6, -30);

    g.DrawLine(kInk, 5, 100, 60, 112, nullptr, 4.f);
    g.DrawDottedLine(kInk, 70, 100, 150, 100, nullptr, 1.f, 4.f);
    for (int i = 0; i < 8; ++i) g.DrawPoint(COLOR_RED, 70.f + 10.f * i, 110.f);
  });
}

// A grid of 25-unit cells under a plot filled beneath its line, and a plot with its own x
// positions, bunched to the left.
TEST(DrawingGolden, GridAndPlots) {
  CheckScene("grid_plot", 160, 100, [](IGraphics& g) {
    Paper(g, 160, 100);
    const IBox area(10, 10, 150, 90);
    g.FillRect(IArgb(255, 24, 25, 28), area);
    g.DrawGrid(IArgb(70, 255, 255, 255), area, 35.f, 20.f);
    float ys[40];
    for (int i = 0; i < 40; ++i) ys[i] = 0.5f + 0.4f * std::sin(i * 0.35f);
    const IArgb under(60, 240, 140, 30);
    g.DrawPlot(kOrange, area, ys, 40, nullptr, nullptr, 2.f, &under);
    const float xs[] = {0.f, 0.05f, 0.1f, 0.2f, 0.4f, 1.f};
    const float steps[] = {0.1f, 0.9f, 0.1f, 0.9f, 0.1f, 0.9f};
    g.DrawPlot(COLOR_GREEN, area, steps, 6, xs, nullptr, 1.f);
  });
}

// Film-strip frames side by side (red, green, blue: a neighbour's colour bleeding in would
// show), a bitmap fitted into a wider box, a knob rotated by 30 degrees, and the blends: half
// weight over a bar, and two overlapping additive squares.
TEST(DrawingGolden, Bitmaps) {
  CheckScene("bitmap_ops", 160, 90, [](IGraphics& g) {
    Paper(g, 160, 90);
    const IBitmapHandle strip = g.LoadBitmap("strip3.png", 3);
    for (int k = 1; k <= 3; ++k)
      g.DrawBitmapFrame(strip, IBox(5.f + 20.f * (k - 1), 5, 21.f + 20.f * (k - 1), 21), k);
    const IBitmapHandle square = g.LoadBitmap("square16.png");
    g.DrawBitmapFitted(square, IBox(70, 5, 110, 21));
    const IBitmapHandle knob = g.LoadBitmap("knob.png");
    g.DrawBitmapRotated(knob, 135, 15, 30.f);

    g.FillRect(kInk, IBox(5, 40, 80, 48));
    const IBlendSpec half(ECompositeOp::SrcOver, 0.5f);
    g.DrawBitmap(square, IBox(20, 36, 36, 52), 0, 0, &half);
    const IBlendSpec add(ECompositeOp::Add, 1.f);
    g.FillRect(IArgb(255, 20, 20, 60), IBox(90, 35, 150, 85));
    g.DrawBitmap(square, IBox(100, 45, 116, 61), 0, 0, &add);
    g.DrawBitmap(square, IBox(108, 53, 124, 69), 0, 0, &add);

    const IBitmapHandle meter = g.LoadBitmap("meter4.png", 4, true);
    for (int k = 1; k <= 4; ++k)
      g.DrawBitmapFrame(meter, IBox(5.f + 16.f * (k - 1), 62, 17.f + 16.f * (k - 1), 74), k);
  });
}

// Text in the nine alignments of a box (its outline drawn so the placement can be judged),
// measured text with its box, a rotated label and the multi-line entry point.
TEST(DrawingGolden, Text) {
  CheckScene("text_layout", 200, 130, [](IGraphics& g) {
    Paper(g, 200, 130);
    const EHAlign aligns[] = {EHAlign::Left, EHAlign::Center, EHAlign::Right};
    const EVAlign valigns[] = {EVAlign::Top, EVAlign::Middle, EVAlign::Bottom};
    for (int row = 0; row < 3; ++row) {
      const IBox box(5, 5.f + 26.f * row, 125, 27.f + 26.f * row);
      g.DrawRect(IArgb(255, 190, 190, 190), box);
      for (int col = 0; col < 3; ++col) {
        ITextStyle style(12.f, kInk, "Roboto-Regular", aligns[col], valigns[row]);
        g.DrawText(style, col == 0 ? "Drive" : col == 1 ? "Mix" : "-12.5dB", box);
      }
    }
    ITextStyle big(18.f, kTeal);
    IBox measured(5, 85, 125, 115);
    g.MeasureText(big, "Corvane 4.1.0", measured);
    g.FillRect(IArgb(40, 0, 128, 128), measured);
    g.DrawText(big, "Corvane 4.1.0", IBox(5, 85, 125, 115));

    ITextStyle turned(12.f, kOrange, "Roboto-Regular", EHAlign::Center, EVAlign::Middle, -90.f);
    g.DrawRect(IArgb(255, 190, 190, 190), IBox(135, 5, 160, 125));
    g.DrawText(turned, "Threshold", IBox(135, 5, 160, 125));
    ITextStyle slanted(11.f, COLOR_BLUE, "Roboto-Regular", EHAlign::Center, EVAlign::Middle, 30.f);
    g.DrawText(slanted, "Knee", IBox(165, 5, 198, 60));
    g.DrawTextLines(ITextStyle(11.f, kInk), "One line", IBox(165, 80, 198, 100));
  });
}

// The transform stack and clipping: a rotated, scaled square clipped to a box, an ellipse
// stroked under a horizontal stretch (its stroke stretched with it), and a clip outside the
// control that hides everything.
TEST(DrawingGolden, TransformsAndClips) {
  CheckScene("transforms", 140, 80, [](IGraphics& g) {
    Paper(g, 140, 80);
    g.DrawRect(IArgb(255, 190, 190, 190), IBox(10, 10, 60, 60));
    g.PathClipRegion(IBox(10, 10, 60, 60));
    g.PathTransformSave();
    g.PathTransformTranslate(35, 35);
    g.PathTransformRotate(30);
    g.PathTransformScale(1.5f, 1.f);
    g.FillRect(kTeal, IBox(-15, -15, 15, 15));
    g.PathTransformRestore();
    g.PathClipRegion();
    g.PathTransformSave();
    g.PathTransformTranslate(100, 40);
    g.PathTransformScale(2.f, 1.f);
    g.DrawEllipse(kOrange, IBox(-15, -20, 15, 20), nullptr, 2.f);
    g.PathTransformRestore();
    g.PathClipRegion(IBox(500, 500, 600, 600));
    g.FillRect(COLOR_RED, IBox(0, 0, 140, 80));
    g.PathClipRegion();
  });
}

// A layer drawn offscreen, given a drop shadow and composited back, next to the quick shadow
// of a rounded panel.
TEST(DrawingGolden, LayerShadowAndQuickShadow) {
  CheckScene("layer_shadows", 150, 80, [](IGraphics& g) {
    Paper(g, 150, 80);
    g.PushLayer(nullptr, IBox(0, 0, 75, 80));
    g.FillRoundedRect(kOrange, IBox(15, 15, 55, 55), 8.f);
    g.FillCircle(kTeal, 50, 50, 10);
    std::unique_ptr<IOffscreenLayer> layer = g.PopLayer();
    ASSERT_TRUE(layer && layer->bitmap);
    g.ApplyShadowToLayer(*layer, IDropShadowSpec(IPaint(COLOR_BLACK), 4.f, 4.f, 4.f, 0.6f, true));
    g.DrawBitmap(IBitmapHandle(layer->bitmap.get(), 1, false, ""), layer->bounds, 0, 0);

    g.DrawQuickShadow(IBox(90, 15, 135, 55), IBox(85, 10, 140, 60), 3.f, 6.f, 4.f);
    g.FillRoundedRect(COLOR_WHITE, IBox(90, 15, 135, 55), 6.f);
  });
}

// A bitmap loaded while a control draws is rescaled through a layer; drawing afterwards goes on
// at the editor's own scale and transform, not at the scale the copy was made for.
TEST(DrawingGolden, LoadingABitmapWhileDrawingKeepsTheScaleAndTransform) {
  Scene scene(60, 60, 1.5f, 1.f, [](IGraphics& g) {
    g.FillRect(COLOR_WHITE, IBox(0, 0, 60, 60));
    g.PathTransformTranslate(10, 10);
    ASSERT_TRUE(g.LoadBitmap("strip3.png").IsValid());  // made for 2x from the 1x resource
    g.FillRect(COLOR_RED, IBox(0, 0, 10, 10));       // (10, 10, 20, 20): pixels 15 to 30
  });
  EXPECT_EQ(scene.Pixel(22, 22), 0xFFFF0000u);
  EXPECT_EQ(scene.Pixel(34, 34), 0xFFFFFFFFu);  // red here would be scale 2
  EXPECT_EQ(scene.Pixel(8, 8), 0xFFFFFFFFu);    // and here, a lost translation
}

// An SVG document fitted into a wide and a tall box (its aspect kept), recoloured by a fill
// override, and rotated.
TEST(DrawingGolden, SvgDocuments) {
  CheckScene("svg_fit", 160, 70, [](IGraphics& g) {
    Paper(g, 160, 70);
    const ISvgDocument svg = g.LoadSvgDocument("shapes.svg");
    ASSERT_TRUE(svg.IsValid());
    g.DrawRect(IArgb(255, 190, 190, 190), IBox(5, 5, 65, 35));
    g.DrawSvgDocument(svg, IBox(5, 5, 65, 35));
    g.DrawRect(IArgb(255, 190, 190, 190), IBox(70, 5, 95, 65));
    g.DrawSvgDocument(svg, IBox(70, 5, 95, 65));
    const IArgb fill = kTeal;
    g.DrawSvgDocument(svg, IBox(5, 38, 45, 68), nullptr, nullptr, &fill);
    g.DrawSvgDocumentRotated(svg, 128, 35, 40, 30, 20.f);
  });
}

/** A switch drawn as a film strip, as products build theirs. */
class BitmapSwitch : public ISwitchControlBase, public IBitmapBase {
 public:
  BitmapSwitch(const IBox& r, const IBitmapHandle& bitmap)
      : ISwitchControlBase(r, kNoParameter, nullptr, bitmap.N()), IBitmapBase(bitmap, *this) {}
  void Draw(IGraphics& g) override { DrawBitmap(g); }
};

/** A knob drawn as an arc from its value, over the film strip base. */
class ArcKnob : public IKnobControlBase {
 public:
  using IKnobControlBase::IKnobControlBase;
  void Draw(IGraphics& g) override {
    const float cx = mRECT.MW(), cy = mRECT.MH(), r = mRECT.W() / 2.f - 3.f;
    g.DrawArc(IArgb(255, 200, 200, 200), cx, cy, r, -135.f, 135.f, nullptr, 3.f);
    g.DrawArc(kOrange, cx, cy, r, -135.f, -135.f + 270.f * static_cast<float>(GetValue()), nullptr,
              3.f);
  }
};

// The stock controls as an editor lays them out: film-strip frames for three values, a text
// control on its background, a knob and a switch stepped by clicks, a disabled control drawn
// faint, and the host's highlight dot.
TEST(DrawingGolden, StockControls) {
  for (const Scale& s : kScales) {
    TestEditorDelegate delegate(1);
    delegate.GetParam(0)->DefineDouble("Gain", 0.0, -24.0, 24.0, 0.01, "dB");
    delegate.SetEditorSize(160, 80);
    delegate.SetGraphicsFactory([&] {
      auto* ui = new IGraphicsHeadless(delegate, 160, 80, 60, s.draw);
      ui->SetScreenScaleOnOpen(s.screen);
      return ui;
    });
    delegate.SetLayoutFunction([](IGraphics* g) {
      g->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
      g->AddControl(new ITextControl(IBox(0, 0, 160, 80), "", DEFAULT_TEXT, kPaper));
      const IBitmapHandle strip = g->LoadBitmap("strip3.png", 3);
      for (int i = 0; i < 3; ++i) {
        auto* frame = new IBitmapControl(5.f + 20.f * i, 5, strip);
        frame->SetValue(i * 0.5);
        g->AddControl(frame);
      }
      g->AddControl(
          new ITextControl(IBox(70, 5, 155, 21), "Output", ITextStyle(12.f, COLOR_WHITE), kTeal));
      g->AddControl(new ArcKnob(IBox(5, 30, 45, 70), 0), 1);
      g->AddControl(new BitmapSwitch(IBox(55, 40, 67, 52), g->LoadBitmap("meter4.png", 4, true)),
                    2);
      auto* faint = new ITextControl(IBox(75, 30, 155, 46), "Disabled", ITextStyle(12.f, kInk),
                                     IArgb(255, 210, 210, 210));
      g->AddControl(faint);
      faint->SetDisabled(true);
      auto* lit = new ITextControl(IBox(75, 52, 155, 72), "Highlit", ITextStyle(12.f, kInk),
                                   IArgb(255, 230, 230, 230));
      g->AddControl(lit);
      lit->SetHostHighlight(true, COLOR_RED);
    });
    char parent = 0;
    delegate.OpenWindow(&parent);
    auto* ui = static_cast<IGraphicsHeadless*>(delegate.GetUI());
    // Turned up by a drag and stepped twice by clicks, through the events a user makes.
    ui->PointerDown(25, 50);
    ui->PointerDrag(25, 30);
    ui->PointerUp(25, 30);
    ui->PointerDown(60, 45);
    ui->PointerUp(60, 45);
    ui->PointerDown(60, 45);
    ui->PointerUp(60, 45);
    ui->Tick();
    EXPECT_EQ(delegate.log.front(), "begin 0");
    EXPECT_EQ(delegate.log.back(), "end 0");
    EXPECT_TRUE(golden::MatchesGolden(golden::ImageView{ui->SurfacePixels(), ui->SurfaceWidth(),
                                                        ui->SurfaceHeight(), ui->SurfaceStride()},
                                      GOLDEN_DIR, GOLDEN_OUTPUT_DIR,
                                      ScaledName("controls", s.draw, s.screen)));
    delegate.CloseWindow();
  }
}

}  // namespace
