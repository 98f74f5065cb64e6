#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "plugin/editor/ITransferCurveControl.h"
#include "tests/graphics/GraphicsTestSupport.h"

using namespace iplug::igraphics;
using graphics_test::RecordingGraphics;
using graphics_test::TestDelegate;

namespace {

/** Remembers where the last line drawn ended. */
class LineGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;
  void DrawLine(const IArgb&, float, float, float, float y2, const IBlendSpec*, float) override {
    lastY = y2;
  }
  float lastY = -1.f;
};

// The plug-in writes the curve from whichever thread applies a parameter change while the editor
// thread collects, cleans and draws: no race (this runs under ThreadSanitizer too), and the last
// curve written is the one on screen once the writes stop.
TEST(EditorCurveThreads, PointsWrittenOnAnotherThreadWhileTheEditorDraws) {
  TestDelegate d;
  LineGraphics g(d);
  auto* curve = new ITransferCurveControl(IBox(0, 0, 172, 172), COLOR_GREEN, IBlendSpec());
  g.AddControl(curve);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int round = 0; round < 2000; ++round) {
      std::lock_guard lock(curve->PointsMutex());
      curve->Points().assign(172, (round % 100) / 100.0);
      curve->MarkForRedraw();
    }
    done = true;
  });
  auto tick = [&] {
    IDirtyList rects;
    if (!g.IsDirty(rects)) return false;
    g.SetAllControlsClean();
    g.Draw(rects);
    return true;
  };
  while (!done) tick();
  writer.join();
  while (tick()) {
  }
  EXPECT_NEAR(g.lastY, 171.f - 171.f * 0.99f, 1e-4);
}

}  // namespace
