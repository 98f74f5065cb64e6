#include <gtest/gtest.h>

#include <cmath>

#include <cstring>

#include "GraphicsTestSupport.h"
#include "framework/IPlugParameter.h"
#include "graphics/IStockControls.h"

using namespace graphics_test;

namespace {

IPointerMods Mods(bool shift = false, bool control = false) {
  IPointerMods mod;
  mod.L = true;
  mod.S = shift;
  mod.C = control;
  return mod;
}

/** A bitmap of a given size in pixels, at scale 1. */
class FakeBitmap : public APIBitmap {
 public:
  FakeBitmap(int w, int h) : APIBitmap(this, w, h, 1.f, 1.f) {}
};

class StockControlsTest : public ::testing::Test {
 protected:
  StockControlsTest() {
    d.GetParam(1)->DefineInt("Steps", 0, 0, 10);  // 11 steps
    d.GetParam(2)->DefineEnum("Mode", 0, 3);
  }

  template <typename T>
  T* Add(T* control) {
    g.AddControl(control);
    return control;
  }

  TestDelegate d{4, 1};
  RecordingGraphics g{d};
};

TEST_F(StockControlsTest, KnobDragsAlongItsGearingAndFinerWithAModifier) {
  // Drag area 50 units high, gearing 4: 10 units up is a twentieth of the range.
  auto* knob = Add(new Blank<IKnobControlBase>({0, 0, 50, 50}, 0));
  for (const auto& [mod, expected] :
       {std::pair{Mods(), 0.55}, {Mods(true), 0.505}, {Mods(false, true), 0.505}}) {
    knob->SetValue(0.5);
    knob->OnMouseDown(25, 25, mod);
    knob->OnMouseDrag(25, 15, 0, -10, mod);
    knob->OnMouseUp(25, 15, mod);
    EXPECT_NEAR(knob->GetValue(), expected, 1e-12);
  }
  EXPECT_NEAR(d.reported.back().second, 0.505, 1e-12);

  // It never leaves 0..1, and coming back starts from the limit, not from beyond it.
  knob->OnMouseDown(25, 25, Mods());
  knob->OnMouseDrag(25, 0, 0, -1000, Mods());
  EXPECT_EQ(knob->GetValue(), 1.0);
  knob->OnMouseDrag(25, 0, 0, 10, Mods());
  EXPECT_NEAR(knob->GetValue(), 0.95, 1e-12);

  auto* across =
      Add(new Blank<IKnobControlBase>({0, 0, 100, 20}, kNoParameter, EDirection::Horizontal, 2.0));
  across->OnMouseDown(0, 0, Mods());
  across->OnMouseDrag(0, 0, 20, -50, Mods());
  EXPECT_NEAR(across->GetValue(), 0.1, 1e-12);
}

TEST_F(StockControlsTest, KnobOnAStepAccumulatesUntilItCrossesTheNextStep) {
  auto* knob = Add(new Blank<IKnobControlBase>({0, 0, 50, 50}, 1));
  knob->OnMouseDown(25, 25, Mods());
  std::vector<double> seen;
  for (int i = 0; i < 12; ++i) {
    knob->OnMouseDrag(25, 25, 0, -1.2f, Mods());  // 0.006 of the range each
    seen.push_back(knob->GetValue());
  }
  // 0.1 is one step, and the nearest step is shown: it is reached once 0.05 is crossed.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], 0.0) << i;
  EXPECT_NEAR(seen[8], 0.1, 1e-12);
  EXPECT_NEAR(seen[11], 0.1, 1e-12);
}

TEST_F(StockControlsTest, KnobWithoutAnAreaIgnoresDrags) {
  auto* knob = Add(new Blank<IKnobControlBase>({10, 10, 10, 10}, 0));
  knob->SetValue(0.3);
  knob->OnMouseDown(10, 10, Mods());
  knob->OnMouseDrag(10, 10, 0, -5, Mods());
  EXPECT_EQ(knob->GetValue(), 0.3);
  knob->SetGearing(0.0);
  knob->OnMouseDrag(10, 10, 0, -5, Mods());
  EXPECT_EQ(knob->GetValue(), 0.3);
}

TEST_F(StockControlsTest, KnobHidesThePointerWhileHeldAndPromptsOnTheRightButton) {
  auto* knob = Add(new Blank<IKnobControlBase>({0, 0, 50, 50}, 0));
  knob->OnMouseDown(25, 25, Mods());
  EXPECT_TRUE(g.PointerHidden());
  knob->OnMouseUp(25, 25, Mods());
  EXPECT_FALSE(g.PointerHidden());
  auto* visible =
      Add(new Blank<IKnobControlBase>({0, 0, 50, 50}, 0, EDirection::Vertical, 4.0, false));
  visible->OnMouseDown(25, 25, Mods());
  EXPECT_FALSE(g.PointerHidden());

  knob->SetPromptDisabled(false);
  IPointerMods right;
  right.R = true;
  knob->OnMouseDown(25, 25, right);
  EXPECT_EQ(g.textFields.size(), 1u);
}

TEST_F(StockControlsTest, WheelStepsOncePerEventOnStepsAndByHundredthsOtherwise) {
  auto* stepped = Add(new Blank<IKnobControlBase>({0, 0, 50, 50}, 1));
  stepped->OnMouseWheel(0, 0, Mods(), 3.f);
  EXPECT_NEAR(stepped->GetValue(), 0.1, 1e-12);
  stepped->OnMouseWheel(0, 0, Mods(), 0.f);
  EXPECT_NEAR(stepped->GetValue(), 0.1, 1e-12);
  stepped->OnMouseWheel(0, 0, Mods(), -0.2f);
  EXPECT_EQ(stepped->GetValue(), 0.0);
  stepped->OnMouseWheel(0, 0, Mods(), -1.f);
  EXPECT_EQ(stepped->GetValue(), 0.0);

  auto* smooth = Add(new Blank<IKnobControlBase>({0, 0, 50, 50}, 0));
  smooth->OnMouseWheel(0, 0, Mods(), 2.f);
  EXPECT_NEAR(smooth->GetValue(), 0.02, 1e-9);
  smooth->OnMouseWheel(0, 0, Mods(true), 2.f);
  EXPECT_NEAR(smooth->GetValue(), 0.022, 1e-9);
  smooth->OnMouseWheel(0, 0, Mods(), -10.f);
  EXPECT_EQ(smooth->GetValue(), 0.0);
}

TEST_F(StockControlsTest, SwitchStepsThroughItsStatesAndWraps) {
  auto* two = Add(new Blank<ISwitchControlBase>({0, 0, 10, 10}));
  EXPECT_TRUE(two->GetDblAsSingleClick());
  two->SetValue(0.4);
  two->OnMouseDown(0, 0, Mods());
  EXPECT_EQ(two->GetValue(), 0.0);
  two->OnMouseDown(0, 0, Mods());
  EXPECT_EQ(two->GetValue(), 1.0);
  EXPECT_TRUE(two->IsMouseDown());
  two->OnMouseUp(0, 0, Mods());
  EXPECT_FALSE(two->IsMouseDown());

  // A linked enumeration decides the number of states: 0 -> 0.5 -> 1 -> 0.
  auto* three = Add(new Blank<ISwitchControlBase>({0, 0, 10, 10}, 2, nullptr, 2));
  EXPECT_EQ(three->GetNStates(), 3);
  std::vector<double> values;
  for (int i = 0; i < 3; ++i) {
    three->OnMouseDown(0, 0, Mods());
    values.push_back(three->GetValue());
  }
  EXPECT_EQ(values, (std::vector<double>{0.5, 1.0, 0.0}));
  EXPECT_EQ(d.reported.back(), (std::pair<int, double>{2, 0.0}));

  // Five states step by a quarter; rounding never skips the last one.
  auto* five = Add(new Blank<ISwitchControlBase>({0, 0, 10, 10}, kNoParameter, nullptr, 5));
  for (int i = 0; i < 4; ++i) five->OnMouseDown(0, 0, Mods());
  EXPECT_NEAR(five->GetValue(), 1.0, 1e-12);
  five->OnMouseDown(0, 0, Mods());
  EXPECT_EQ(five->GetValue(), 0.0);
  five->SetStateDisabled(2, true);
  EXPECT_TRUE(five->GetStateDisabled(2));
  EXPECT_FALSE(five->GetStateDisabled(7));
}

TEST_F(StockControlsTest, BitmapControlDrawsTheFrameForItsValueCentred) {
  // A 64-frame vertical strip of 20 x 20 frames, cached as if loaded (the control reloads it
  // when it is attached).
  const IBitmapHandle bitmap(new FakeBitmap(20, 64 * 20), 64, false, "strip.png");
  g.AddBitmapToCache(bitmap, "strip.png");
  auto* control = Add(new IBitmapControl(30, 40, bitmap, 0));
  EXPECT_EQ(control->GetRECT(), IBox(30, 40, 50, 60));
  EXPECT_EQ(control->FrameForValue(), 1);
  control->SetValue(0.5);
  EXPECT_EQ(control->FrameForValue(), 33);  // int(31.5 + 0.5) + 1
  control->SetValue(1.0);
  EXPECT_EQ(control->FrameForValue(), 64);
  control->SetValue(NAN);
  EXPECT_EQ(control->FrameForValue(), 1);

  // In a larger rectangle the frame stays its own size, in the middle.
  control->SetTargetAndDrawRECTs(IBox(0, 0, 40, 60));
  control->SetValue(0.0);
  g.log.clear();
  control->Draw(g);
  EXPECT_EQ(g.log, (std::vector<std::string>{"bitmap (10,20,30,40)"}));

  const IBitmapHandle single(new FakeBitmap(8, 8), 1, false, "one.png");
  g.AddBitmapToCache(single, "one.png");
  auto* one = Add(new IBitmapControl(0, 0, single));
  one->SetValue(1.0);
  EXPECT_EQ(one->FrameForValue(), 1);
}

TEST_F(StockControlsTest, TextControlDrawsItsLabelAndIgnoresThePointer) {
  auto* text = Add(new ITextControl({10, 10, 60, 30}, "Drive", DEFAULT_TEXT, COLOR_WHITE));
  EXPECT_TRUE(text->GetIgnoreMouse());
  EXPECT_EQ(g.ControlAtPoint(20, 20), nullptr);
  g.log.clear();
  text->Draw(g);
  EXPECT_EQ(g.log, (std::vector<std::string>{"move 10 10", "line 60 10", "line 60 30", "line 10 30",
                                             "close", "fill 255,255,255,255", "text Drive"}));

  text->SetClean();
  text->SetLabel("Drive");
  EXPECT_FALSE(text->IsDirty());
  text->SetLabel("Mix");
  EXPECT_TRUE(text->IsDirty());
  text->FormatLabel(4, "%d%%", 12345);
  EXPECT_EQ(text->GetLabel(), "1234");
  text->ClearLabel();
  g.log.clear();
  text->Draw(g);
  EXPECT_EQ(g.log.back(), "fill 255,255,255,255");  // no text for an empty label
}

/** Measures every text as 6 units per character and 10 high. */
class MeasuringGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;
  float MeasureTextImpl(const ITextStyle&, const char* str, IBox& bounds) const override {
    const float w = 6.f * static_cast<float>(std::strlen(str));
    bounds = IBox(0, 0, w, 10);
    return w;
  }
};

TEST(TextControlSizing, SizedToItsTextItKeepsItsCentre) {
  TestDelegate d;
  MeasuringGraphics g(d);
  auto* text = new ITextControl({0, 0, 100, 40}, "abcd", DEFAULT_TEXT, COLOR_TRANSPARENT, true);
  g.AddControl(text);
  EXPECT_EQ(text->GetRECT(), IBox(38, 15, 62, 25));
  text->SetLabel("abcdefgh");
  EXPECT_EQ(text->GetRECT(), IBox(26, 15, 74, 25));
  EXPECT_EQ(text->GetTargetRECT(), text->GetRECT());
  text->FormatLabel(20, "%s", "a");  // formatting never resizes
  EXPECT_EQ(text->GetRECT(), IBox(26, 15, 74, 25));
}

}  // namespace
