// Corvane's own editor, opened through the module as a host opens it (its layout, its controls)
// and driven by the pointer events a host delivers: every control answers a drag at every
// zoom, the corner handle only to the left button, the switch to a click.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "host/ModuleEditor.h"
#include "host/ModuleHost.h"
#include "host/PluginSession.h"

namespace {

using namespace corvane::host;

/** Where the layout puts each control, in points at zoom 1 (left, top, right, bottom). */
struct Control {
  const char* parameter;
  float left, top, right, bottom;
  float CentreX() const { return (left + right) / 2.f; }
  float CentreY() const { return (top + bottom) / 2.f; }
};
constexpr Control kControls[] = {
    {"Threshold", 24, 152, 88, 216},      {"T Assym", 112, 145, 159, 192},
    {"Knee", 26, 309, 90, 373},           {"K Assym", 63, 249, 110, 296},
    {"Nonlinearity", 563, 152, 627, 216}, {"N Assym", 494, 146, 541, 193},
    {"Mod A", 539, 250, 586, 297},        {"Mod B", 571, 318, 618, 365},
    {"Gain", 154, 268, 218, 332},         {"Mix", 370, 294, 417, 341},
    {"Output", 443, 267, 490, 314},       {"Oversampling", 480, 330, 509, 359},
};

AAX_OffscreenEvent Event(int32_t kind, float x, float y, uint32_t modifiers) {
  return AAX_OffscreenEvent{kind, x, y, 0.f, modifiers};
}

class EditorGestures : public ::testing::Test {
 protected:
  EditorGestures() : module(DefaultModulePath()) {
    // A fresh preference folder: the editor opens at the zoom asked for, and the user's own
    // preference is left alone.
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    instance = std::make_unique<ModuleInstance>(
        module, *FindComponentForChannels(module.Effect(), 2), 48000.0);
    instance->Initialize();
    instance->PrepareContext();
    editor = std::make_unique<ModuleEditor>(*instance);
  }
  ~EditorGestures() override {
    editor.reset();
    instance.reset();
    module.Close();
    ::unsetenv("XDG_CONFIG_HOME");
  }

  /** The editor's size on screen, in pixels. */
  std::pair<float, float> Size() const {
    const AAX_Point size = editor->ViewSize();
    return {size.horz, size.vert};
  }

  /** Presses at (x, y), drags `up` points upwards in small steps and lets go. */
  void Drag(float x, float y, float up, uint32_t button = AAX_eOffscreenModifier_Left) {
    editor->Send(Event(AAX_eOffscreenEvent_Down, x, y, button));
    for (int step = 1; step <= 4; ++step)
      editor->Send(Event(AAX_eOffscreenEvent_Drag, x, y - up * step / 4.f, button));
    editor->Send(Event(AAX_eOffscreenEvent_Up, x, y - up, button));
    editor->Tick();
  }

  /** The parameters the host saw set since the last call, by name. */
  std::vector<std::string> SetParameters() {
    std::vector<std::string> names;
    for (const auto& gesture : editor->TakeGestures())
      if (gesture.kind == aaxhost::Gesture::Kind::kSet)
        names.push_back(instance->ParameterName(gesture.parameterID));
    return names;
  }

  hosttest::TempDir config;
  ModuleHost module;
  std::unique_ptr<ModuleInstance> instance;
  std::unique_ptr<ModuleEditor> editor;
};

// At every zoom from 50 % to 200 %, a drag on each control's centre moves that control's
// parameter and nothing else, and never resizes the editor (the corner handle stays clear of
// Mod B, its nearest neighbour).
TEST_F(EditorGestures, EveryControlAnswersADragAtEveryZoom) {
  for (const float zoom : {0.5f, 0.75f, 1.f, 1.25f, 2.f}) {
    SCOPED_TRACE("zoom " + std::to_string(zoom));
    ASSERT_TRUE(editor->Open(zoom, 1.f));
    const auto size = Size();
    EXPECT_EQ(size.first, std::floor(650 * zoom));
    for (const Control& control : kControls) {
      SCOPED_TRACE(control.parameter);
      // Knobs take a drag; the switch a click (a press and release on the spot).
      const bool isSwitch = std::string(control.parameter) == "Oversampling";
      Drag(control.CentreX(), control.CentreY(), isSwitch ? 0.f : 20.f);
      const std::vector<std::string> set = SetParameters();
      ASSERT_FALSE(set.empty()) << "no value reached the host";
      for (const std::string& name : set) EXPECT_EQ(name, control.parameter);
      EXPECT_EQ(Size(), size) << "the drag resized the editor";
    }
    editor->Close();
  }
}

// The corner handle zooms on a left drag and snaps on release; a right click on it, even after a
// free zoom made with Shift, changes nothing.
TEST_F(EditorGestures, OnlyTheLeftButtonZoomsAtTheCorner) {
  ASSERT_TRUE(editor->Open(1.f, 1.f));
  // From (640, 390) to 1.13 times as far from the origin, with Shift: a free zoom of 1.13.
  const uint32_t leftShift = AAX_eOffscreenModifier_Left | AAX_eOffscreenModifier_Shift;
  editor->Send(Event(AAX_eOffscreenEvent_Down, 640, 390, AAX_eOffscreenModifier_Left));
  editor->Send(Event(AAX_eOffscreenEvent_Drag, 640 * 1.13f, 390 * 1.13f, leftShift));
  editor->Send(Event(AAX_eOffscreenEvent_Up, 640 * 1.13f, 390 * 1.13f, leftShift));
  editor->Tick();
  ASSERT_EQ(Size().first, std::floor(650 * 1.13f));
  const auto free = Size();

  const uint32_t right = AAX_eOffscreenModifier_Right;
  editor->Send(Event(AAX_eOffscreenEvent_Down, 645, 395, right));
  editor->Send(Event(AAX_eOffscreenEvent_Drag, 700, 450, right));
  editor->Send(Event(AAX_eOffscreenEvent_Up, 700, 450, right));
  editor->Send(Event(AAX_eOffscreenEvent_DoubleClick, 645, 395, right));
  editor->Send(Event(AAX_eOffscreenEvent_Up, 645, 395, right));
  editor->Tick();
  EXPECT_EQ(Size(), free) << "a right click resized or snapped the editor";

  // A left drag without Shift snaps: 1.13 x 1.1 is 1.243, nearest to 125 %.
  editor->Send(Event(AAX_eOffscreenEvent_Down, 640, 390, AAX_eOffscreenModifier_Left));
  editor->Send(
      Event(AAX_eOffscreenEvent_Drag, 640 * 1.1f, 390 * 1.1f, AAX_eOffscreenModifier_Left));
  editor->Send(Event(AAX_eOffscreenEvent_Up, 640 * 1.1f, 390 * 1.1f, AAX_eOffscreenModifier_Left));
  editor->Tick();
  EXPECT_EQ(Size().first, std::floor(650 * 1.25f));
  EXPECT_TRUE(SetParameters().empty()) << "zooming moved a parameter";
}

// The switch follows clicks of the left button through the layout; the right button opens what
// the host offers for the parameter (here nothing) and leaves the value alone.
TEST_F(EditorGestures, TheSwitchTogglesOnALeftClickOnly) {
  ASSERT_TRUE(editor->Open(1.f, 1.f));
  std::string id;
  for (int32_t i = 0; i < instance->ParameterCount(); ++i)
    if (instance->ParameterName(instance->ParameterID(i)) == "Oversampling")
      id = instance->ParameterID(i);
  ASSERT_FALSE(id.empty());
  const Control& oversampling = kControls[11];
  for (const double expected : {1.0, 0.0, 1.0}) {
    Drag(oversampling.CentreX(), oversampling.CentreY(), 0.f);
    EXPECT_EQ(instance->Normalized(id), expected);
  }
  Drag(oversampling.CentreX(), oversampling.CentreY(), 0.f, AAX_eOffscreenModifier_Right);
  EXPECT_EQ(instance->Normalized(id), 1.0);
}

/** Runs of columns of a frame's area where the version label's green shows, as (first, last). */
std::vector<std::pair<int, int>> InkRuns(const aaxhost::OffscreenFrame& frame, int left, int top,
                                         int bottom) {
  std::vector<std::pair<int, int>> runs;
  bool inRun = false;
  for (int x = left; x < frame.width; ++x) {
    int green = 0;
    for (int y = top; y < bottom; ++y) {
      const uint32_t p = frame.At(x, y);
      // Green well above red and blue: the label, not the grey panel under it.
      const int r = static_cast<int>((p >> 16) & 0xFF), g = static_cast<int>((p >> 8) & 0xFF);
      green = std::max(green, g - r);
    }
    const bool ink = green > 30;
    if (ink && !inRun) runs.push_back({x, x});
    if (ink) runs.back().second = x;
    inRun = ink;
  }
  return runs;
}

// The version label reads "4.1.0" in full at every zoom: five glyphs apart from one another
// (the full stops not crowded into the digits), the last one clear of the window's edge.
TEST_F(EditorGestures, TheVersionLabelReadsInFullAtEveryZoom) {
  for (const float zoom : {0.5f, 0.6f, 0.75f, 0.8f, 0.9f, 1.f, 1.1f, 1.25f, 1.5f, 1.75f, 2.f}) {
    SCOPED_TRACE("zoom " + std::to_string(zoom));
    ASSERT_TRUE(editor->Open(zoom, 1.f));
    editor->Tick();
    const aaxhost::OffscreenFrame frame = editor->Container().LastFrame();
    ASSERT_FALSE(frame.Empty());
    const auto runs = InkRuns(frame, frame.width - static_cast<int>(60 * zoom) - 12, 0,
                              static_cast<int>(std::ceil(24 * zoom)) + 4);
    ASSERT_EQ(runs.size(), 5u) << "the label's glyphs are not five apart";
    // Full stops are the narrow ones.
    const auto width = [](const std::pair<int, int>& run) { return run.second - run.first + 1; };
    EXPECT_LT(width(runs[1]), width(runs[0]));
    EXPECT_LT(width(runs[3]), width(runs[4]));
    EXPECT_LT(runs.back().second, frame.width - 1) << "the last column is cut off";
    editor->Close();
  }
}

}  // namespace
