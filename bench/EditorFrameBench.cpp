// Corvane's own editor drawn on the CPU: the whole frame (opening, a change of zoom), the
// frame a display tick draws while audio plays (the four meter arcs and the curve), and a
// display tick at rest, which should find nothing to draw.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/ISender.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/headless/IGraphicsHeadless.h"
#include "plugin/editor/CorvaneEditor.h"
#include "plugin/editor/ITransferCurveControl.h"

namespace {

using namespace iplug::igraphics;

class Delegate : public IGEditorDelegate {
 public:
  Delegate() : IGEditorDelegate(12) {}
  void BeginEditFromEditor(int) override {}
  void EndEditFromEditor(int) override {}
};

class Editor {
 public:
  explicit Editor(float drawScale) : mGraphics(mDelegate, 650, 400, 60, drawScale) {
    mGraphics.OpenWindow(nullptr);
    corvane::LayoutCorvaneEditor(mGraphics,
                                 [this](ITransferCurveControl* curve) { mCurve = curve; });
    // A saturating curve, as the plug-in sends one.
    std::vector<double> points(corvane::kEditorCurvePoints);
    for (size_t i = 0; i < points.size(); ++i)
      points[i] = std::tanh(3.0 * (static_cast<double>(i) / (points.size() - 1) * 2.0 - 1.0));
    {
      std::lock_guard<std::mutex> lock(mCurve->PointsMutex());
      mCurve->Points() = points;
    }
    mCurve->MarkForRedraw();
  }

  /** Levels that light about two thirds of each arc, as a loud mix does. */
  void FeedMeters(float level = 0.6f) {
    for (int tag = corvane::kTagInputMeterA; tag <= corvane::kTagOutputMeterB; ++tag) {
      iplug::SenderRecord record;
      record.ctrlTag = tag;
      record.nChans = 1;
      record.chanOffset = 0;
      record.vals[0] = level;
      mGraphics.GetControlWithTag(tag)->OnDelegateMessage(0, sizeof record, &record);
    }
  }

  /** What a display tick does: collect the dirty regions and draw them, if any. */
  bool Tick() {
    IDirtyList rects;
    if (!mGraphics.IsDirty(rects)) return false;
    mGraphics.SetAllControlsClean();
    mGraphics.Draw(rects);
    return true;
  }
  uint64_t Frames() const { return mGraphics.FrameCount(); }

  void DrawAll() {
    IDirtyList all;
    all.Add(IBox(0, 0, 650, 400));
    mGraphics.Draw(all);
  }

  void DrawMetersAndCurve() {
    IDirtyList dirty;
    for (int tag = corvane::kTagInputMeterA; tag <= corvane::kTagOutputMeterB; ++tag)
      dirty.Add(mGraphics.GetControlWithTag(tag)->GetRECT());
    dirty.Add(mCurve->GetRECT());
    mGraphics.Draw(dirty);
  }

  bool WritePng(const std::string& path) const { return mGraphics.WriteSurfacePng(path); }

 private:
  Delegate mDelegate;
  IGraphicsHeadless mGraphics;
  ITransferCurveControl* mCurve = nullptr;
};

/** Milliseconds per frame. CORVANE_BENCH_SNAPSHOT=dir writes what was timed there. */
void BM_CorvaneFullFrame(benchmark::State& state) {
  Editor editor(static_cast<float>(state.range(0)));
  editor.FeedMeters();
  editor.DrawAll();
  if (const char* dir = std::getenv("CORVANE_BENCH_SNAPSHOT"))
    editor.WritePng(std::string(dir) + "/corvane_frame_" + std::to_string(state.range(0)) +
                    "x.png");
  // Fed every frame, as while audio plays, so that the LEDs stay lit.
  for (auto _ : state) {
    editor.FeedMeters();
    editor.DrawAll();
  }
}
BENCHMARK(BM_CorvaneFullFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_CorvaneMeterAndCurveFrame(benchmark::State& state) {
  Editor editor(static_cast<float>(state.range(0)));
  editor.FeedMeters();
  editor.DrawAll();
  for (auto _ : state) {
    editor.FeedMeters();
    editor.DrawMetersAndCurve();
  }
}
BENCHMARK(BM_CorvaneMeterAndCurveFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A display tick at rest: silence on the meters (one record per meter and block, three 256-frame
// blocks at 48 kHz between two ticks at 60 Hz) and no gesture. Reports the share of a core this
// costs at 60 ticks a second, in percent, and the frames drawn (none, once the first has been).
void BM_CorvaneTickAtRest(benchmark::State& state) {
  Editor editor(1.f);
  editor.FeedMeters(0.f);
  editor.Tick();
  const uint64_t before = editor.Frames();
  for (auto _ : state) {
    for (int block = 0; block < 3; ++block) editor.FeedMeters(0.f);
    benchmark::DoNotOptimize(editor.Tick());
  }
  state.counters["frames_drawn"] = static_cast<double>(editor.Frames() - before);
  state.counters["pct_of_a_core_at_60Hz"] =
      benchmark::Counter(1.0 / (60.0 * 100.0), benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
}
BENCHMARK(BM_CorvaneTickAtRest);

}  // namespace
