#include <gtest/gtest.h>

#include <stdexcept>

#include "GraphicsTestSupport.h"
#include "framework/IPlugParameter.h"

using namespace graphics_test;

namespace {

class ControlTest : public ::testing::Test {
 protected:
  TestControl* Add(const IBox& r, const char* name, int paramIdx = kNoParameter) {
    return static_cast<TestControl*>(g.AddControl(new TestControl(r, name, paramIdx)));
  }

  TestDelegate d;
  RecordingGraphics g{d};
};

}  // namespace

TEST_F(ControlTest, NewControlIsDirtyUntilCleanedAndWhileAnimating) {
  TestControl* c = Add({0, 0, 10, 10}, "c");
  EXPECT_TRUE(c->IsDirty());
  c->SetClean();
  EXPECT_FALSE(c->IsDirty());

  int steps = 0;
  int ended = 0;
  c->SetAnimation([&](IControl*) { ++steps; });
  c->SetAnimationEndActionFunction([&](IControl*) { ++ended; });
  EXPECT_TRUE(c->IsDirty());
  c->Animate();
  EXPECT_EQ(steps, 1);
  EXPECT_GT(c->GetAnimationStartTime(), 0.0);

  c->OnAnimationEnd();
  EXPECT_FALSE(c->GetAnimationFunction());
  EXPECT_EQ(ended, 1);
  EXPECT_TRUE(c->IsDirty());  // the final frame is still drawn
  c->SetClean();
  EXPECT_FALSE(c->IsDirty());
}

TEST_F(ControlTest, SetDirtyClampsAndReportsOnlyWithTriggerAction) {
  int actions = 0;
  TestControl* c = Add({0, 0, 10, 10}, "c", 1);
  c->SetActionFunction([&](IControl*) { ++actions; });

  c->SetValue(1.3);
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.3);  // stored unclamped
  c->SetDirty(false);
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);
  EXPECT_TRUE(d.reported.empty());
  EXPECT_EQ(actions, 0);

  c->SetValue(-0.5);
  c->SetDirty(true);
  ASSERT_EQ(d.reported.size(), 1u);
  EXPECT_EQ(d.reported[0], std::make_pair(1, 0.0));
  EXPECT_DOUBLE_EQ(d.GetParam(1)->NormalizedValue(), 0.0);
  EXPECT_EQ(actions, 1);

  // Unlinked: nothing is reported, the action still runs.
  TestControl* free = Add({0, 0, 10, 10}, "free");
  free->SetActionFunction([&](IControl*) { ++actions; });
  free->SetValue(0.4);
  free->SetDirty(true);
  EXPECT_EQ(d.reported.size(), 1u);
  EXPECT_EQ(actions, 2);
}

TEST_F(ControlTest, SeveralSlotsClampAllAndReportLinkedOnes) {
  auto* c = static_cast<TestControl*>(
      g.AddControl(new TestControl({0, 0, 10, 10}, "multi", {2, kNoParameter, 3})));
  ASSERT_EQ(c->NVals(), 3);
  EXPECT_EQ(c->ValueSlotAt(1, 1), kNoValIdx);
  c->SetValue(2.0, 0);
  c->SetValue(-1.0, 1);
  c->SetValue(0.5, 2);
  c->SetDirty(true, kNoValIdx);
  EXPECT_DOUBLE_EQ(c->GetValue(1), 0.0);
  EXPECT_EQ(d.reported, (std::vector<std::pair<int, double>>{{2, 1.0}, {3, 0.5}}));

  d.reported.clear();
  c->SetValue(0.25, 2);
  c->SetDirty(true, 2);  // one slot only
  EXPECT_EQ(d.reported, (std::vector<std::pair<int, double>>{{3, 0.25}}));
  EXPECT_EQ(c->LinkedToParam(3), 2);
  EXPECT_EQ(c->LinkedToParam(7), kNoValIdx);
  EXPECT_EQ(c->LinkedToParam(kNoParameter), kNoValIdx);
}

TEST_F(ControlTest, UserChangeReachesPeersOfTheSameParameterOnly) {
  TestControl* knob = Add({0, 0, 10, 10}, "knob", 1);
  TestControl* peer = Add({20, 0, 30, 10}, "peer", 1);
  TestControl* other = Add({40, 0, 50, 10}, "other", 2);
  g.SetAllControlsClean();

  knob->ApplyUserValue(0.7);
  EXPECT_DOUBLE_EQ(peer->GetValue(), 0.7);
  EXPECT_TRUE(peer->IsDirty());
  EXPECT_DOUBLE_EQ(other->GetValue(), 0.0);
  EXPECT_FALSE(other->IsDirty());
  EXPECT_EQ(d.reported.size(), 1u);  // the peer follows without reporting again

  knob->ApplyUserValue(0.7);  // no change, no report
  EXPECT_EQ(d.reported.size(), 1u);
}

TEST_F(ControlTest, DelegateValueIsIgnoredWhileTheUserHoldsTheControl) {
  TestControl* c = Add({0, 0, 10, 10}, "c", 0);
  c->SetClean();
  c->ApplyDelegateValue(0.0);  // unchanged: stays clean
  EXPECT_FALSE(c->IsDirty());
  c->ApplyDelegateValue(0.3);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.3);
  EXPECT_TRUE(c->IsDirty());
  EXPECT_TRUE(d.reported.empty());

  ASSERT_EQ(g.ControlAtPoint(5, 5, true), c);
  EXPECT_TRUE(g.IsControlCaptured(c));
  c->ApplyDelegateValue(0.9);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.3);
  g.ReleaseMouseCapture();
  c->ApplyDelegateValue(0.9);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.9);
}

TEST_F(ControlTest, ResetToDefaultUsesTheParameterDefault) {
  d.GetParam(2)->DefineDouble("gain", 2.5, 0.0, 10.0, 0.01);
  TestControl* c = Add({0, 0, 10, 10}, "c", 2);
  c->SetValue(0.9);
  c->ResetToDefault();
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.25);
  ASSERT_EQ(d.reported.size(), 1u);
  EXPECT_DOUBLE_EQ(d.reported[0].second, 0.25);
}

TEST_F(ControlTest, PositionAndSizeKeepTheHitAreaOffset) {
  TestControl* c = Add({10, 10, 30, 20}, "c");
  c->SetTargetRECT({12, 12, 28, 18});
  c->OnMouseOver(15, 15, {});
  c->calls.clear();

  c->SetPosition(-5, 40);
  EXPECT_EQ(c->GetRECT(), IBox(0, 40, 20, 50));
  EXPECT_EQ(c->GetTargetRECT(), IBox(2, 42, 18, 48));
  EXPECT_FALSE(c->GetMouseIsOver());
  EXPECT_EQ(c->Count("resize"), 1);

  c->SetSize(-3, 8);
  EXPECT_EQ(c->GetRECT(), IBox(0, 40, 0, 48));
  EXPECT_EQ(c->GetTargetRECT(), c->GetRECT());
  EXPECT_EQ(c->Count("resize"), 2);
  EXPECT_FALSE(c->HitTest(0, 40));
}

TEST_F(ControlTest, FlagsThatChangeAppearanceMarkDirty) {
  TestControl* c = Add({0, 0, 10, 10}, "c");
  c->SetClean();
  c->SetDisabled(true);
  EXPECT_FLOAT_EQ(c->GetBlend().weight, 0.25f);
  EXPECT_TRUE(c->IsDirty());
  c->SetDisabled(false);
  EXPECT_FLOAT_EQ(c->GetBlend().weight, 1.f);

  c->SetClean();
  c->Hide(true);
  EXPECT_TRUE(c->IsHidden() && c->IsDirty());

  c->SetClean();
  c->OnMouseOver(1, 1, {});
  EXPECT_TRUE(c->GetMouseIsOver() && c->IsDirty());
  c->SetClean();
  c->OnMouseOver(2, 2, {});  // already over: no redraw
  EXPECT_FALSE(c->IsDirty());
  c->OnMouseOut();
  EXPECT_TRUE(!c->GetMouseIsOver() && c->IsDirty());
}

TEST_F(ControlTest, LinkParameterChecksTheSlot) {
  TestControl* c = Add({0, 0, 10, 10}, "c");
  c->SetClean();
  c->LinkParameter(3);
  EXPECT_EQ(c->GetParamIdx(), 3);
  EXPECT_EQ(c->GetParam(), d.GetParam(3));
  EXPECT_TRUE(c->IsDirty());
  EXPECT_THROW(c->LinkParameter(1, 1), std::out_of_range);
  c->LinkParameter(99);
  EXPECT_EQ(c->GetParam(), nullptr);  // not a parameter of the delegate
}

TEST_F(ControlTest, ValueFromPointerRoundsClampsAndReports) {
  TestControl* c = Add({0, 0, 100, 100}, "c", 0);
  const IBox bounds(0, 0, 100, 200);
  c->ValueFromPointer(10, 50.09f, EDirection::Vertical, bounds);
  EXPECT_NEAR(c->GetValue(), 0.75, 1e-12);  // 1 - 50.09 / 200 = 0.74955 -> 0.75
  ASSERT_EQ(d.reported.size(), 1u);

  c->ValueFromPointer(33.3f, -40, EDirection::Horizontal, bounds, kNoValIdx, 0.0, 0.3);
  EXPECT_NEAR(c->GetValue(), 0.3, 1e-12);  // 0.333 limited to the maximum
  c->ValueFromPointer(500, 0, EDirection::Horizontal, bounds);
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);  // the pointer is clamped into the bounds
}

TEST_F(ControlTest, MenuResultNeedsAnEnabledPromptAndALinkedSlot) {
  d.GetParam(1)->DefineInt("steps", 0, 0, 4);
  TestControl* c = Add({0, 0, 10, 10}, "c", 1);
  IMenuModel menu;
  menu.SetChosenItemIdx(2);

  c->OnMenuResult(&menu, 0);  // prompts are disabled by default
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.0);

  c->SetPromptDisabled(false);
  c->OnMenuResult(nullptr, 0);
  c->OnMenuResult(&menu, kNoValIdx);
  EXPECT_TRUE(d.reported.empty());
  c->OnMenuResult(&menu, 0);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.5);
  EXPECT_EQ(d.reported.size(), 1u);
}

TEST_F(ControlTest, HostHighlightDrawsADotInTheHitAreaCorner) {
  TestControl* c = Add({0, 0, 100, 50}, "c");
  c->SetTargetRECT({10, 10, 90, 40});
  c->DrawHostHighlight(g);
  EXPECT_TRUE(g.log.empty());

  c->SetClean();
  c->SetHostHighlight(true, COLOR_GREEN);
  EXPECT_TRUE(c->IsDirty());
  c->DrawHostHighlight(g);
  EXPECT_EQ(g.log, (std::vector<std::string>{"move 85 13", "arc 85 15 2 0 360", "close",
                                             "fill 255,0,255,0"}));
}

TEST_F(ControlTest, FilesDropDeliversTheFirstPath) {
  struct DropControl : TestControl {
    using TestControl::TestControl;
    void OnFileDrop(const char* path) override { dropped = path; }
    std::string dropped;
  };
  DropControl c({0, 0, 10, 10});
  c.OnFilesDrop({"a.wav", "b.wav"});
  EXPECT_EQ(c.dropped, "a.wav");
  c.OnFilesDrop({});
  EXPECT_EQ(c.dropped, "a.wav");
}
