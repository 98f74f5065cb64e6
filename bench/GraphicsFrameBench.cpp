// One full editor frame drawn on the CPU: what every display tick costs when everything is
// dirty (opening the editor, a resize, a change of scale).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/IStockControls.h"
#include "graphics/headless/IGraphicsHeadless.h"

namespace {

using namespace iplug::igraphics;

constexpr int kWidth = 650;
constexpr int kHeight = 400;
constexpr int kKnobFrames = 60;
constexpr int kKnobSize = 48;

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

/** Artwork made for the benchmark: PNG bytes of a surface drawn by f at w x h pixels. */
template <typename F>
std::vector<uint8_t> Png(int w, int h, F&& draw) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  draw(cr);
  cairo_destroy(cr);
  std::vector<uint8_t> bytes;
  cairo_surface_write_to_png_stream(surface, AppendBytes, &bytes);
  cairo_surface_destroy(surface);
  return bytes;
}

std::vector<uint8_t> Background() {
  return Png(kWidth, kHeight, [](cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, kHeight);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.22, 0.23, 0.26);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.08, 0.08, 0.09);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
  });
}

/** A vertical strip of knob frames, the pointer turning through 270 degrees. */
std::vector<uint8_t> KnobStrip() {
  return Png(kKnobSize, kKnobSize * kKnobFrames, [](cairo_t* cr) {
    for (int i = 0; i < kKnobFrames; ++i) {
      const double cx = kKnobSize / 2.0, cy = kKnobSize * (i + 0.5);
      cairo_arc(cr, cx, cy, kKnobSize * 0.42, 0, 2 * M_PI);
      cairo_set_source_rgb(cr, 0.35, 0.36, 0.4);
      cairo_fill(cr);
      const double a = (-135.0 + 270.0 * i / (kKnobFrames - 1)) * M_PI / 180.0;
      cairo_move_to(cr, cx, cy);
      cairo_line_to(cr, cx + std::sin(a) * kKnobSize * 0.4, cy - std::cos(a) * kKnobSize * 0.4);
      cairo_set_source_rgb(cr, 0.95, 0.6, 0.2);
      cairo_set_line_width(cr, 3);
      cairo_stroke(cr);
    }
  });
}

std::vector<uint8_t> Glow() {
  return Png(16, 16, [](cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_radial(8, 8, 0, 8, 8, 8);
    cairo_pattern_add_color_stop_rgba(p, 0, 1, 0.5, 0.1, 1);
    cairo_pattern_add_color_stop_rgba(p, 1, 1, 0.5, 0.1, 0);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
  });
}

class Picture : public IControl {
 public:
  Picture(const IBox& r, IBitmapHandle bitmap) : IControl(r), mBitmap(std::move(bitmap)) {}
  void Draw(IGraphics& g) override { g.DrawBitmap(mBitmap, mRECT, 0, 0); }

 private:
  IBitmapHandle mBitmap;
};

/** The transfer curve: a polyline of 172 points over a grid. */
class Curve : public IControl {
 public:
  explicit Curve(const IBox& r) : IControl(r) {
    for (int i = 0; i < 172; ++i) mYs.push_back(0.5f + 0.45f * std::tanh((i - 86) / 30.f));
  }
  void Draw(IGraphics& g) override {
    g.FillRoundedRect(IArgb(255, 24, 25, 28), mRECT, 4.f);
    g.DrawGrid(IArgb(60, 255, 255, 255), mRECT, mRECT.W() / 4.f, mRECT.H() / 4.f);
    g.DrawPlot(IArgb(255, 240, 150, 50), mRECT, mYs.data(), static_cast<int>(mYs.size()), nullptr,
               nullptr, 2.f);
  }

 private:
  std::vector<float> mYs;
};

/** 64 LED glows, drawn additively. */
class Meters : public IControl {
 public:
  Meters(const IBox& r, IBitmapHandle glow) : IControl(r), mGlow(std::move(glow)) {}
  void Draw(IGraphics& g) override {
    const IBlendSpec add(ECompositeOp::Add, 0.8f);
    for (int i = 0; i < 64; ++i) {
      const float x = mRECT.L + 18.f * static_cast<float>(i % 16);
      const float y = mRECT.T + 18.f * static_cast<float>(i / 16);
      g.DrawBitmap(mGlow, IBox(x, y, x + 16.f, y + 16.f), 0, 0, &add);
    }
  }

 private:
  IBitmapHandle mGlow;
};

class Editor : public IGEditorDelegate {
 public:
  Editor() : IGEditorDelegate(0) {}
  void BeginEditFromEditor(int) override {}
  void EndEditFromEditor(int) override {}
};

class Frame {
 public:
  explicit Frame(float drawScale)
      : mGraphics(mEditor, kWidth, kHeight, 60, drawScale),
        mBackground(Background()),
        mStrip(KnobStrip()),
        mGlow(Glow()) {
    mGraphics.OpenWindow(nullptr);
    IGraphics& g = mGraphics;
    g.LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
    const IBitmapHandle bg =
        g.LoadBitmap("bg.png", mBackground.data(), static_cast<int>(mBackground.size()));
    const IBitmapHandle strip =
        g.LoadBitmap("knob.png", mStrip.data(), static_cast<int>(mStrip.size()), kKnobFrames);
    const IBitmapHandle glow =
        g.LoadBitmap("glow.png", mGlow.data(), static_cast<int>(mGlow.size()));
    g.AddControl(new Picture(IBox(0, 0, kWidth, kHeight), bg));
    ITextStyle label;
    label.size = 12.f;
    label.fgColor = IArgb(255, 220, 220, 220);
    for (int i = 0; i < 12; ++i) {
      const float x = 20.f + 52.f * static_cast<float>(i % 6);
      const float y = 20.f + 90.f * static_cast<float>(i / 6);
      auto* knob = new IBitmapControl(x, y, strip);
      knob->SetValue(i / 11.0);
      g.AddControl(knob);
      g.AddControl(new ITextControl(IBox(x - 4.f, y + 50.f, x + 52.f, y + 64.f), "Drive", label));
    }
    g.AddControl(new Curve(IBox(340, 20, 630, 200)));
    g.AddControl(new Meters(IBox(340, 230, 630, 302), glow));
    g.AddControl(new ITextControl(IBox(562, 380, 650, 393), "4.1.0", label));
  }

  bool WritePng(const std::string& path) const { return mGraphics.WriteSurfacePng(path); }

  void DrawAll() {
    IDirtyList all;
    all.Add(IBox(0, 0, kWidth, kHeight));
    mGraphics.Draw(all);
  }

 private:
  Editor mEditor;
  IGraphicsHeadless mGraphics;
  std::vector<uint8_t> mBackground, mStrip, mGlow;
};

/** The time column is milliseconds per frame. CORVANE_BENCH_SNAPSHOT=dir writes each scale's
 * frame there as a PNG, to see what was timed. */
void BM_EditorFrame(benchmark::State& state) {
  Frame frame(static_cast<float>(state.range(0)));
  frame.DrawAll();
  if (const char* dir = std::getenv("CORVANE_BENCH_SNAPSHOT"))
    frame.WritePng(std::string(dir) + "/editor_frame_" + std::to_string(state.range(0)) + "x.png");
  for (auto _ : state) frame.DrawAll();
}
BENCHMARK(BM_EditorFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
