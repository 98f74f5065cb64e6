// Corvane's editor as a host opens it: the product's own factory and layout in a memory view,
// the values and meter levels arriving as they do from the host and the audio thread, and the
// user's zoom made with the corner handle.

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "plugin/Corvane.h"
#include "plugin/editor/CorvaneEditor.h"
#include "plugin/editor/DisplayScale.h"
#include "plugin/editor/ICorvaneLEDMeterControl.h"
#include "plugin/editor/ITransferCurveControl.h"
#include "tests/plugin/EditorTestSupport.h"

using namespace corvane;
using corvane_test::FindControl;
using corvane_test::MemoryView;
using corvane_test::OpenInMemory;
using corvane_test::ScopedConfigHome;

namespace {

void Change(Corvane& plug, int index, double value) {
  plug.GetParam(index)->SetValue(value);
  plug.OnParamChange(index, iplug::kHost);
}

std::vector<double> CurveShown(Corvane& plug) {
  auto* curve = FindControl<ITransferCurveControl>(plug);
  if (!curve) return {};
  std::lock_guard<std::mutex> lock(curve->PointsMutex());
  return curve->Points();
}

std::vector<double> CurveOf(Corvane& plug) {
  std::vector<double> points(kCurvePoints);
  ComputeCurvePoints(plug.Engine().LatestCurve(), points.data());
  return points;
}

std::string ControlList(const iplug::igraphics::IGraphics& g) {
  std::string list;
  for (int i = 0; i < g.NControls(); ++i) {
    const auto* c = g.GetControl(i);
    const auto& r = c->GetRECT();
    list += std::string(typeid(*c).name()) + " " + std::to_string(c->GetParamIdx()) + " " +
            std::to_string(c->GetTag()) + " " + std::to_string(r.L) + "," + std::to_string(r.T) +
            "," + std::to_string(r.R) + "," + std::to_string(r.B) + "\n";
  }
  return list;
}

}  // namespace

// The curve display follows the parameters that shape the curve while the editor is open, and
// is let go of when it closes.
TEST(CorvaneEditor, CurveFollowsParametersOnlyWhileTheEditorIsOpen) {
  ScopedConfigHome config;
  Corvane plug;
  Change(plug, kThreshold, -20.0);
  MemoryView memory;
  ASSERT_TRUE(OpenInMemory(plug, memory));
  auto* curve = FindControl<ITransferCurveControl>(plug);
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(CurveShown(plug), CurveOf(plug));  // the picture before the first paint
  ASSERT_TRUE(memory.Tick());
  EXPECT_FALSE(curve->IsDirty());

  Change(plug, kGain, 60.0);
  EXPECT_TRUE(curve->IsDirty());
  const std::vector<double> driven = CurveShown(plug);
  EXPECT_EQ(driven, CurveOf(plug));
  EXPECT_DOUBLE_EQ(driven.front(), 0.0015);  // driven hard: flat at both ends
  EXPECT_DOUBLE_EQ(driven.back(), 0.999);
  ASSERT_TRUE(memory.Tick());

  plug.GetParam(kOversampling)->SetValue(1.0);
  plug.OnParamChange(kOversampling, iplug::kHost);
  EXPECT_FALSE(curve->IsDirty());  // oversampling does not shape the curve

  plug.CloseWindow();
  EXPECT_EQ(plug.GetUI(), nullptr);
  Change(plug, kGain, 0.0);  // nothing left to draw into
  ASSERT_TRUE(OpenInMemory(plug, memory));
  EXPECT_EQ(CurveShown(plug), CurveOf(plug));
  plug.CloseWindow();
}

// Levels from the audio thread reach the LED meters by their tags on the idle tick; records
// made while the editor is closed are dropped, and the meters resume when it opens again.
TEST(CorvaneEditor, MeterLevelsReachTheMetersByTagOnTheIdleTick) {
  ScopedConfigHome config;
  Corvane plug;
  plug.SetSampleRate(44100.0);
  plug.ResizeChannelBuffers(64);
  plug.ResetProcessing();
  MemoryView memory;
  ASSERT_TRUE(OpenInMemory(plug, memory));
  ICorvaneLEDMeterControl* meters[5] = {};
  for (int tag = 1; tag <= 4; ++tag) {
    meters[tag] = FindControl<ICorvaneLEDMeterControl>(plug, tag);
    ASSERT_NE(meters[tag], nullptr) << tag;
  }

  // Loud on the left, quiet on the right.
  std::vector<double> left(64, 0.9), right(64, 0.02), out0(64), out1(64);
  double* ins[2] = {left.data(), right.data()};
  double* outs[2] = {out0.data(), out1.data()};
  plug.SetChannelsConnected(iplug::kOutput, 0, 2, true);
  for (int i = 0; i < 200; ++i) plug.ProcessAudio(ins, outs, 64);
  plug.OnIdleTimer();
  ASSERT_TRUE(memory.Tick());
  EXPECT_GT(meters[1]->LitCount(), meters[2]->LitCount());
  EXPECT_GT(meters[1]->LitCount(), 8);
  EXPECT_GT(meters[3]->LitCount(), meters[4]->LitCount());

  plug.CloseWindow();
  for (int i = 0; i < 100; ++i) plug.ProcessAudio(ins, outs, 64);
  plug.OnIdleTimer();  // drained into no control
  ASSERT_TRUE(OpenInMemory(plug, memory));
  EXPECT_EQ(FindControl<ICorvaneLEDMeterControl>(plug, 1)->LitCount(), 0);
  plug.ProcessAudio(ins, outs, 64);
  plug.OnIdleTimer();
  ASSERT_TRUE(memory.Tick());
  EXPECT_GT(FindControl<ICorvaneLEDMeterControl>(plug, 1)->LitCount(), 8);
  plug.CloseWindow();
}

// An editor at rest costs the display nothing: with silence playing and no gesture, a display
// tick finds nothing to draw. Audio that moves the meters brings the redraws back.
TEST(CorvaneEditor, OnSilenceADisplayTickDrawsNothing) {
  ScopedConfigHome config;
  Corvane plug;
  plug.SetSampleRate(44100.0);
  plug.ResizeChannelBuffers(256);
  plug.SetChannelsConnected(iplug::kOutput, 0, 2, true);
  plug.ResetProcessing();
  MemoryView memory;
  ASSERT_TRUE(OpenInMemory(plug, memory));
  std::vector<double> left(256, 0.0), right(256, 0.0), out0(256), out1(256);
  double* ins[2] = {left.data(), right.data()};
  double* outs[2] = {out0.data(), out1.data()};
  // Blocks and ticks interleaved as a host's threads interleave them.
  const auto play = [&](int ticks) {
    for (int t = 0; t < ticks; ++t) {
      for (int b = 0; b < 3; ++b) plug.ProcessAudio(ins, outs, 256);
      plug.OnIdleTimer();
      memory.Tick();
    }
  };
  play(10);  // the first paint
  const uint64_t settled = plug.GetUI()->FrameCount();
  play(120);
  EXPECT_EQ(plug.GetUI()->FrameCount(), settled);

  std::fill(left.begin(), left.end(), 0.7);
  play(5);
  EXPECT_GT(plug.GetUI()->FrameCount(), settled);
  plug.CloseWindow();
}

// The zoom the user drags the corner to is stored when the editor closes and restored when any
// instance opens it again.
TEST(CorvaneEditor, DisplayScaleIsStoredOnCloseAndRestoredOnOpen) {
  ScopedConfigHome config;
  Corvane plug;
  MemoryView memory;  // no zoom of the host's: the user's own
  ASSERT_TRUE(OpenInMemory(plug, memory));
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 1.0f);
  // A drag on the handle to 1.5 times as far from the editor's origin.
  memory.Send(AAX_eOffscreenEvent_Down, 640, 390);
  memory.Send(AAX_eOffscreenEvent_Drag, 960, 585);
  memory.Send(AAX_eOffscreenEvent_Up, 960, 585);
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 1.5f);
  plug.CloseWindow();
  EXPECT_FLOAT_EQ(StoredDisplayScale(), 1.5f);

  // A second instance opening later starts at the stored scale.
  Corvane other;
  MemoryView otherMemory;
  ASSERT_TRUE(OpenInMemory(other, otherMemory));
  EXPECT_FLOAT_EQ(other.GetUI()->GetDrawScale(), 1.5f);
  ASSERT_TRUE(otherMemory.Tick());
  EXPECT_EQ(otherMemory.width, 975);
  other.CloseWindow();

  // A stored scale that differs from the context's is applied as a finished corner drag.
  ASSERT_TRUE(WriteDisplayScale("corvane", 2.0f));
  ASSERT_TRUE(OpenInMemory(plug, memory));
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 2.0f);
  EXPECT_FALSE(plug.GetUI()->GetResizingInProcess());
  plug.CloseWindow();
}

// Closing lets every control go; the next open builds the same editor from scratch, and it
// looks the same.
TEST(CorvaneEditor, OpeningTwiceBuildsTheSameControlsAndPicture) {
  ScopedConfigHome config;
  Corvane plug;
  MemoryView memory;
  ASSERT_TRUE(OpenInMemory(plug, memory));
  const std::string first = ControlList(*plug.GetUI());
  memory.Tick();
  const std::vector<uint8_t> picture = memory.pixels;
  plug.CloseWindow();
  EXPECT_EQ(plug.GetUI(), nullptr);
  EXPECT_EQ(memory.view.editorContext, nullptr);

  ASSERT_TRUE(OpenInMemory(plug, memory));
  EXPECT_EQ(ControlList(*plug.GetUI()), first);
  memory.Tick();
  EXPECT_EQ(memory.width, corvane::kEditorWidth);
  EXPECT_EQ(memory.height, corvane::kEditorHeight);
  EXPECT_TRUE(memory.pixels == picture);
  plug.CloseWindow();
}

// A picture-taking host chooses the zoom: the user's preference neither sets it nor follows it.
TEST(CorvaneEditor, AHostZoomLeavesTheStoredPreferenceAlone) {
  ScopedConfigHome config;
  ASSERT_TRUE(WriteDisplayScale("corvane", 1.75f));
  Corvane plug;
  MemoryView memory;
  memory.view.drawScale = 1.5f;
  ASSERT_TRUE(OpenInMemory(plug, memory));
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 1.5f);
  plug.CloseWindow();
  EXPECT_FLOAT_EQ(StoredDisplayScale(), 1.75f);

  // Without a zoom of the host's the preference holds, and closing writes it back.
  memory.view.drawScale = 0.f;
  ASSERT_TRUE(OpenInMemory(plug, memory));
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 1.75f);
  memory.Tick();
  EXPECT_EQ(memory.width, 1137);  // 650 × 1.75, whole pixels
  plug.CloseWindow();
  EXPECT_FLOAT_EQ(StoredDisplayScale(), 1.75f);
}
