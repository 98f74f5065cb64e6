#include <gtest/gtest.h>

#include <memory>

#include "GraphicsTestSupport.h"

using namespace graphics_test;
using Log = std::vector<std::string>;

namespace {

class GraphicsTest : public ::testing::Test {
 protected:
  TestControl* Add(const IBox& r, const char* name, int paramIdx = kNoParameter, int tag = kNoTag) {
    return static_cast<TestControl*>(g.AddControl(new TestControl(r, name, paramIdx), tag));
  }

  /** A background and three controls, all clean. */
  void AddScene() {
    bg = Add({0, 0, 100, 100}, "bg");
    a = Add({10, 10, 20, 20}, "a");
    b = Add({50, 50, 60, 60}, "b");
    c = Add({70, 70, 80, 80}, "c");
    g.SetAllControlsClean();
  }

  /** One display tick: collect, clean, draw. */
  Log Tick() {
    g.log.clear();
    IDirtyList rects;
    if (g.IsDirty(rects)) {
      g.SetAllControlsClean();
      g.Draw(rects);
    }
    return g.log;
  }

  TestDelegate d;
  RecordingGraphics g{d};
  TestControl* bg = nullptr;
  TestControl* a = nullptr;
  TestControl* b = nullptr;
  TestControl* c = nullptr;
};

}  // namespace

TEST_F(GraphicsTest, AddControlInitialisesInOrderAndRejectsDuplicateTags) {
  TestControl* first = Add({0, 0, 10, 10}, "first", kNoParameter, 3);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->calls, (Log{"init", "resize", "scale", "added"}));
  EXPECT_EQ(first->GetUI(), &g);
  EXPECT_EQ(first->GetDelegate(), &d);
  EXPECT_EQ(first->GetTag(), 3);

  auto duplicate = std::make_unique<TestControl>(IBox(0, 0, 5, 5), "dup");
  EXPECT_EQ(g.AddControl(duplicate.get(), 3), nullptr);  // the caller keeps it
  EXPECT_TRUE(duplicate->calls.empty());
  EXPECT_EQ(duplicate->GetUI(), nullptr);
  EXPECT_EQ(g.NControls(), 1);
  EXPECT_EQ(g.GetControlWithTag(3), first);

  ASSERT_NE(g.AddControl(new TestControl({0, 0, 1, 1}, "x"), kNoTag, "meters"), nullptr);
  ASSERT_NE(g.AddControl(new TestControl({0, 0, 1, 1}, "y"), kNoTag), nullptr);
  EXPECT_EQ(g.NControls(), 3);
  EXPECT_EQ(g.GetControl(1)->GetGroup(), "meters");
  EXPECT_EQ(g.GetControl(3), nullptr);
  EXPECT_EQ(g.GetControl(-1), nullptr);
  EXPECT_EQ(g.GetControlWithTag(kNoTag), nullptr);
  EXPECT_EQ(g.GetControlWithTag(4), nullptr);
}

TEST_F(GraphicsTest, ClearControlsDeletesLastFirstAndForgetsTags) {
  Log deaths;
  for (const char* name : {"one", "two", "three"})
    Add({0, 0, 10, 10}, name, kNoParameter, name[0] == 't' ? name[1] : kNoTag)->destructionLog =
        &deaths;
  g.ControlAtPoint(5, 5, true);
  g.HidePointer(true, true);

  g.ClearControls();
  EXPECT_EQ(deaths, (Log{"three", "two", "one"}));
  EXPECT_EQ(g.NControls(), 0);
  EXPECT_EQ(g.GetControlWithTag('w'), nullptr);
  EXPECT_EQ(g.ControlAtPoint(5, 5), nullptr);
}

TEST_F(GraphicsTest, RedrawsExactlyTheDirtyControlsInListOrderClippedToTheirRegions) {
  AddScene();
  EXPECT_TRUE(Tick().empty());  // nothing dirty, nothing drawn

  b->SetDirty(false);
  a->SetDirty(false);
  EXPECT_EQ(Tick(), (Log{"frame",
                         // a's padded region (9.25..20.75) grown to whole pixels
                         "begin (9,9,21,21)", "draw bg", "finish (9,9,21,21)", "begin (9,9,21,21)",
                         "draw a", "finish (9,9,21,21)", "begin (49,49,61,61)", "draw bg",
                         "finish (49,49,61,61)", "begin (49,49,61,61)", "draw b",
                         "finish (49,49,61,61)", "end frame"}));
  EXPECT_TRUE(Tick().empty());  // cleaned after collecting
}

TEST_F(GraphicsTest, ControlClipIsItsPaddedAlignedBoundsInsideTheRegion) {
  AddScene();
  IDirtyList rects;
  rects.Add({15, 0, 100, 15});  // overlaps a's top right only, misses b and c
  g.Draw(rects);
  EXPECT_EQ(g.log, (Log{"frame", "begin (15,0,100,15)", "draw bg", "finish (15,0,100,15)",
                        "begin (15,9,21,15)", "draw a", "finish (15,9,21,15)", "end frame"}));

  // A region that only touches a control's aligned bounds gives an empty clip.
  g.log.clear();
  g.DrawControl(a, IBox(21, 0, 40, 40), 1.f);
  EXPECT_TRUE(g.log.empty());
}

TEST_F(GraphicsTest, AlignmentFollowsTheBackingScale) {
  Add({0, 0, 100, 100}, "bg");
  TestControl* half = Add({10.5f, 10.5f, 20, 20}, "half");
  g.SetAllControlsClean();
  g.SetScreenScale(2.f);  // backing scale 2: half pixels of the editor are whole device pixels
  g.SetAllControlsClean();
  EXPECT_FLOAT_EQ(g.BackingScale(), 2.f);

  half->SetDirty(false);
  const Log log = Tick();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1], "begin (9.5,9.5,21,21)");
}

TEST_F(GraphicsTest, StrictDrawingDrawsTheUnionOnce) {
  AddScene();
  g.SetStrictDrawing(true);
  a->SetDirty(false);
  b->SetDirty(false);
  EXPECT_EQ(Tick(), (Log{"frame", "begin (9,9,61,61)", "draw bg", "finish (9,9,61,61)",
                         "begin (9,9,21,21)", "draw a", "finish (9,9,21,21)", "begin (49,49,61,61)",
                         "draw b", "finish (49,49,61,61)", "end frame"}));
}

TEST_F(GraphicsTest, HiddenBackgroundIsDrawnHiddenControlsAreNot) {
  AddScene();
  bg->Hide(true);
  a->Hide(true);
  IDirtyList rects;
  rects.Add({0, 0, 100, 100});
  g.log.clear();
  g.Draw(rects);
  EXPECT_EQ(g.log, (Log{"frame", "begin (0,0,100,100)", "draw bg", "finish (0,0,100,100)",
                        "begin (49,49,61,61)", "draw b", "finish (49,49,61,61)",
                        "begin (69,69,81,81)", "draw c", "finish (69,69,81,81)", "end frame"}));
  // Hiding marks the control dirty so the area behind it is repainted.
  EXPECT_TRUE(a->IsDirty());
}

TEST_F(GraphicsTest, ChildrenAreClampedIntoTheirAncestors) {
  Add({0, 0, 200, 200}, "bg");
  TestControl* parent = Add({0, 0, 100, 100}, "parent");
  TestControl* child = Add({80, 80, 120, 120}, "child");
  TestControl* outside = Add({150, 150, 160, 160}, "outside");
  child->SetParent(parent);
  outside->SetParent(child);
  g.SetAllControlsClean();

  // Dirty region: the child's padded rectangle shifted into the parent's, one unit inside.
  child->SetDirty(false);
  IDirtyList rects;
  ASSERT_TRUE(g.IsDirty(rects));
  ASSERT_EQ(rects.Size(), 1);
  EXPECT_EQ(rects.Get(0), IBox(58.25f, 58.25f, 99.75f, 99.75f));

  g.log.clear();
  g.DrawControl(child, IBox(0, 0, 200, 200), 1.f);
  EXPECT_EQ(g.log, (Log{"begin (58,58,100,100)", "draw child", "finish (58,58,100,100)"}));
  g.log.clear();
  g.DrawControl(outside, IBox(0, 0, 200, 200), 1.f);  // misses its parent: not drawn
  EXPECT_TRUE(g.log.empty());
}

TEST_F(GraphicsTest, EachControlStartsWithAFreshTransformAndDrawsItsHighlightInsideItsRegion) {
  AddScene();
  a->onDraw = [](IGraphics& gr) {
    gr.PathTransformSave();
    gr.PathTransformTranslate(5, 5);
  };
  ITransform2D seen{3, 0, 0, 3, 0, 0};
  int savedSeen = -1;
  b->onDraw = [&](IGraphics& gr) {
    seen = gr.GetTransform();
    savedSeen = gr.NSavedTransforms();
    EXPECT_EQ(gr.GetClipRECT(), IBox(9, 9, 61, 61).Intersect(IBox(49, 49, 61, 61)));
  };
  b->SetHostHighlight(true, COLOR_BLUE);  // also marks b dirty
  g.SetStrictDrawing(true);
  a->SetDirty(false);

  const Log log = Tick();
  ASSERT_GE(log.size(), 7u);
  EXPECT_EQ(seen, ITransform2D());
  EXPECT_EQ(savedSeen, 0);
  EXPECT_EQ(g.lastTransform, ITransform2D());
  const Log tail(log.end() - 7, log.end());
  EXPECT_EQ(tail, (Log{"draw b", "move 55 53", "arc 55 55 2 0 360", "close", "fill 255,0,0,255",
                       "finish (49,49,61,61)", "end frame"}));
}

TEST_F(GraphicsTest, IsDirtyRunsTheDisplayTickAndAnimationsFirst) {
  AddScene();
  Log order;
  g.SetDisplayTickFunc([&] { order.push_back("tick"); });
  c->SetAnimation([&](IControl*) { order.push_back("animate"); });
  IDirtyList rects;
  EXPECT_TRUE(g.IsDirty(rects));
  EXPECT_EQ(order, (Log{"tick", "animate"}));
  ASSERT_EQ(rects.Size(), 1);  // an animating control is always dirty
  EXPECT_EQ(rects.Get(0), IBox(69.25f, 69.25f, 80.75f, 80.75f));
}

TEST_F(GraphicsTest, ResizeClampsScaleAndSizeAndIgnoresNoChange) {
  d.SetSizeConstraints(216, 1950, 133, 1200);
  g.Resize(650, 400, 5.f, true);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 4.f);
  g.Resize(650, 400, 0.25f, true);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 0.5f);
  g.Resize(2000, 100, 1.f, true);
  EXPECT_EQ(g.Width(), 1950);
  EXPECT_EQ(g.Height(), 133);

  TestControl* ctrl = Add({0, 0, 10, 10}, "c");
  ctrl->calls.clear();
  ctrl->SetClean();
  const size_t requests = d.resizeRequests.size();
  const int surfaceResizes = g.surfaceResizes;
  g.Resize(2500, 50, 1.f, true);  // clamps to the current size: nothing happens
  EXPECT_EQ(d.resizeRequests.size(), requests);
  EXPECT_EQ(g.surfaceResizes, surfaceResizes);
  EXPECT_TRUE(ctrl->calls.empty());
  EXPECT_FALSE(ctrl->IsDirty());
}

TEST_F(GraphicsTest, ResizeKeepsTheControlsAndReportsTheWindowSize) {
  TestControl* first = Add({0, 0, 10, 10}, "first");
  TestControl* second = Add({10, 0, 20, 10}, "second");
  g.SetAllControlsClean();
  first->calls.clear();
  g.SetScreenScale(2.f);
  d.resizeRequests.clear();
  g.nativeResizes.clear();
  d.hostResizes = true;

  g.Resize(650, 400, 1.5f, false);
  EXPECT_EQ(g.GetControl(0), first);
  EXPECT_EQ(g.GetControl(1), second);
  EXPECT_EQ(first->Count("resize"), 1);
  EXPECT_TRUE(first->IsDirty() && second->IsDirty());
  ASSERT_EQ(d.resizeRequests.size(), 1u);
  EXPECT_EQ(d.resizeRequests[0].w, 1950);  // window scale 2 x int(650 x 1.5)
  EXPECT_EQ(d.resizeRequests[0].h, 1200);
  EXPECT_FALSE(d.resizeRequests[0].needsPlatformResize);
  EXPECT_EQ(g.nativeResizes, std::vector<bool>{true});  // the host resized its window

  // The window size truncates the scaled editor size before the window scale applies.
  g.SetScreenScale(1.f);
  g.Resize(651, 401, 1.25f, true);
  EXPECT_EQ(d.resizeRequests.back().w, 813);
  EXPECT_EQ(d.resizeRequests.back().h, 501);
}

TEST_F(GraphicsTest, ResizeReleasesThePointerUnlessDraggingTheCornerAndCanRelayout) {
  TestControl* ctrl = Add({0, 0, 10, 10}, "c");
  int layouts = 0;
  d.SetLayoutFunction([&](IGraphics*) { ++layouts; });

  g.ControlAtPoint(5, 5, true);
  g.SetResizingInProcess(true);
  g.Resize(700, 400, 1.f);
  EXPECT_TRUE(g.IsControlCaptured(ctrl));
  EXPECT_EQ(layouts, 0);

  g.SetResizingInProcess(false);
  g.SetLayoutOnResize(true);
  g.Resize(720, 400, 1.f);
  EXPECT_FALSE(g.IsControlCaptured(ctrl));
  EXPECT_EQ(layouts, 1);
}

TEST_F(GraphicsTest, ScreenScaleAndCornerResizeReloadBitmaps) {
  TestControl* ctrl = Add({0, 0, 10, 10}, "c");
  ctrl->calls.clear();
  ctrl->SetClean();
  d.resizeRequests.clear();

  g.SetScreenScale(2.f);
  EXPECT_FLOAT_EQ(g.GetScreenScale(), 2.f);
  EXPECT_EQ(ctrl->calls, Log{"scale"});
  EXPECT_TRUE(ctrl->IsDirty());
  ASSERT_EQ(d.resizeRequests.size(), 1u);
  EXPECT_EQ(d.resizeRequests[0].w, 1300);
  EXPECT_TRUE(d.resizeRequests[0].needsPlatformResize);

  ctrl->calls.clear();
  ctrl->SetClean();
  g.SetResizingInProcess(true);
  g.FinishCornerResize();
  EXPECT_FALSE(g.GetResizingInProcess());
  EXPECT_EQ(ctrl->calls, Log{"scale"});
  EXPECT_TRUE(ctrl->IsDirty());

  ctrl->calls.clear();
  ctrl->SetClean();
  g.SetResizerMode(EResizerMode::Size);
  g.SetResizingInProcess(true);
  g.FinishCornerResize();
  EXPECT_FALSE(g.GetResizingInProcess());
  EXPECT_TRUE(ctrl->calls.empty());
  EXPECT_FALSE(ctrl->IsDirty());
}

TEST_F(GraphicsTest, HostHighlightColoursTheParametersControls) {
  TestControl* linked = Add({0, 0, 10, 10}, "linked", 2);
  TestControl* other = Add({0, 0, 10, 10}, "other", 1);
  g.SetAllControlsClean();

  const IArgb expected[] = {COLOR_RED, COLOR_BLUE, COLOR_GREEN, COLOR_YELLOW};
  for (int color = 0; color < 4; ++color) {
    g.SetHostParameterHighlight(2, true, color);
    EXPECT_EQ(linked->GetHostHighlightColor(), expected[color]);
  }
  EXPECT_TRUE(linked->IsHostHighlighted());
  EXPECT_TRUE(linked->IsDirty());
  EXPECT_FALSE(other->IsDirty());
  EXPECT_FALSE(other->IsHostHighlighted());
  EXPECT_TRUE(d.reported.empty());

  iplug::IPlugAAXView_Interface& view = g;  // the way the AAX bridge reaches it
  view.SetHostParameterHighlight(2, false, 0);
  EXPECT_FALSE(linked->IsHostHighlighted());
  EXPECT_EQ(view.GetViewContainer(), nullptr);
}

TEST_F(GraphicsTest, LiveContextCountFollowsConstructionAndDestruction) {
  const int before = IGraphics::LiveContextCount();
  {
    TestDelegate other;
    RecordingGraphics second(other);
    EXPECT_EQ(IGraphics::LiveContextCount(), before + 1);
    {
      RecordingGraphics third(other);
      EXPECT_EQ(IGraphics::LiveContextCount(), before + 2);
    }
    EXPECT_EQ(IGraphics::LiveContextCount(), before + 1);
  }
  EXPECT_EQ(IGraphics::LiveContextCount(), before);
}

TEST_F(GraphicsTest, ControlAtPointSkipsHiddenTransparentAndDisabledControls) {
  AddScene();
  TestControl* top = Add({0, 0, 30, 30}, "top");
  EXPECT_EQ(g.ControlAtPoint(15, 15), top);
  top->Hide(true);
  EXPECT_EQ(g.ControlAtPoint(15, 15), a);
  a->SetMouseTransparent(true);
  EXPECT_EQ(g.ControlAtPoint(15, 15), bg);
  b->SetDisabled(true);
  EXPECT_EQ(g.ControlAtPoint(55, 55), bg);
  b->SetMouseEventsWhenDisabled(true);
  EXPECT_EQ(g.ControlAtPoint(55, 55), b);

  // Mouse-over needs enabling and never reports the background.
  EXPECT_EQ(g.ControlAtPoint(55, 55, false, true), nullptr);
  g.EnableTooltips(true);
  EXPECT_TRUE(g.MouseOverEnabled());
  EXPECT_EQ(g.ControlAtPoint(55, 55, false, true), nullptr);  // disabled, no mouse-over flag
  b->SetMouseOverWhenDisabled(true);
  EXPECT_EQ(g.ControlAtPoint(55, 55, false, true), b);
  EXPECT_EQ(g.GetMouseOverIdx(), 2);
  EXPECT_EQ(g.ControlAtPoint(5, 5, false, true), nullptr);
  EXPECT_EQ(g.GetMouseOverIdx(), -1);

  // A captured control keeps the pointer wherever it goes.
  EXPECT_EQ(g.ControlAtPoint(75, 75, true), c);
  EXPECT_EQ(g.ControlAtPoint(15, 15), c);
  EXPECT_EQ(g.ControlAtPoint(15, 15, false, false, 7), bg);  // another touch
}

TEST_F(GraphicsTest, MultiTouchCaptureNeedsAControlThatWantsIt) {
  AddScene();
  g.EnableMultiTouch(true);
  EXPECT_EQ(g.ControlAtPoint(15, 15, true, false, 1), a);
  EXPECT_EQ(g.ControlAtPoint(15, 15, true, false, 2), nullptr);
  a->SetWantsMultiTouch(true);
  EXPECT_EQ(g.ControlAtPoint(15, 15, true, false, 2), a);
}

TEST_F(GraphicsTest, KeysGoToTheControlUnderThePointerThenToTheKeyHandler) {
  AddScene();
  Log handled;
  g.SetKeyHandlerFunc([&](const IKeyEvent& key, bool isUp) {
    handled.push_back(std::string(key.utf8) + (isUp ? " up" : " down"));
    return true;
  });
  EXPECT_TRUE(g.OnKeyDown(15, 15, IKeyEvent("a", 0x41)));
  EXPECT_EQ(a->keys, Log{"a@15,15"});
  EXPECT_TRUE(handled.empty());

  a->handlesKeys = false;
  EXPECT_TRUE(g.OnKeyDown(15, 15, IKeyEvent("b", 0x42)));
  EXPECT_EQ(handled, Log{"b down"});
  EXPECT_TRUE(g.OnKeyDown(95, 95, IKeyEvent("c", 0x43)));  // the background gets no keys
  EXPECT_TRUE(bg->keys.empty());
  EXPECT_TRUE(g.OnKeyUp(15, 15, IKeyEvent("d", 0x44)));
  EXPECT_EQ(handled, (Log{"b down", "c down", "d up"}));

  g.SetKeyHandlerFunc(nullptr);
  EXPECT_FALSE(g.OnKeyDown(95, 95, IKeyEvent("e", 0x45)));
}

TEST_F(GraphicsTest, GestureKindsAreKeptOnce) {
  g.AddGestureKind(2);
  g.AddGestureKind(5);
  g.AddGestureKind(2);
  EXPECT_EQ(g.GetGestureKinds(), (std::vector<int>{2, 5}));
}

TEST_F(GraphicsTest, TextAndTransformHelpers) {
  IBox bounds;
  EXPECT_FLOAT_EQ(g.MeasureText(DEFAULT_TEXT, "", bounds), 0.f);
  g.DrawText(DEFAULT_TEXT, "", IBox(0, 0, 10, 10));
  g.DrawText(DEFAULT_TEXT, nullptr, IBox(0, 0, 10, 10));
  EXPECT_TRUE(g.log.empty());
  g.DrawTextLines(DEFAULT_TEXT, "two\nlines", IBox(0, 0, 10, 10));
  EXPECT_EQ(g.log, Log{"text Unsupported"});

  g.PathTransformTranslate(3, 4);
  const ITransform2D moved = g.GetTransform();
  g.PathTransformRestore();  // nothing saved: unchanged
  EXPECT_EQ(g.GetTransform(), moved);
  g.PathTransformSave();
  g.PathTransformScale(2, 2);
  g.PathTransformRotate(90);
  g.PathTransformRestore();
  EXPECT_EQ(g.GetTransform(), moved);
  EXPECT_EQ(g.lastTransform, moved);
}
