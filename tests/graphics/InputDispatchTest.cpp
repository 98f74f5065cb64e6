#include <gtest/gtest.h>

#include <cmath>

#include <cstring>

#include "GraphicsTestSupport.h"
#include "framework/IPlugParameter.h"
#include "graphics/IStockControls.h"

using namespace graphics_test;
using Log = std::vector<std::string>;

namespace {

/** A control that logs the pointer events it gets, then behaves as the base does. */
class PointerControl : public TestControl {
 public:
  using TestControl::TestControl;

  void OnMouseDown(float x, float y, const IPointerMods& mod) override {
    calls.push_back(std::string("down") + (mod.R ? " right" : ""));
    IControl::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(float x, float y, const IPointerMods& mod) override { calls.push_back("up"); }
  void OnMouseDrag(float x, float y, float dX, float dY, const IPointerMods& mod) override {
    calls.push_back("drag");
  }
  void OnMouseDoubleClick(float x, float y, const IPointerMods& mod) override {
    calls.push_back("double");
    IControl::OnMouseDoubleClick(x, y, mod);
  }
  void OnMouseWheel(float x, float y, const IPointerMods& mod, float d) override {
    calls.push_back("wheel");
  }
  void OnMouseOver(float x, float y, const IPointerMods& mod) override {
    calls.push_back("over");
    IControl::OnMouseOver(x, y, mod);
  }
  void OnMouseOut() override {
    calls.push_back("out");
    IControl::OnMouseOut();
  }
  void OnFileDrop(const char* path) override { calls.push_back(std::string("drop ") + path); }
  void OnFilesDrop(const std::vector<std::string>& paths) override {
    calls.push_back("drops " + std::to_string(paths.size()));
  }
  bool AcceptsDrop() const override { return acceptsDrop; }
  void BuildContextMenu(IMenuModel& menu) override {
    for (const auto& item : contextItems) menu.AddItem(item.c_str());
  }
  void OnContextMenuResult(int itemIdx) override {
    calls.push_back("context " + std::to_string(itemIdx));
  }
  void OnTextEntryDone(const char* text, int valIdx) override {
    calls.push_back(std::string("text ") + text);
  }

  bool acceptsDrop = false;
  std::vector<std::string> contextItems;
};

IPointerEvent At(float x, float y, bool right = false, int64_t touch = 0) {
  IPointerEvent e;
  e.x = x;
  e.y = y;
  e.ms.L = !right;
  e.ms.R = right;
  e.ms.touchID = touch;
  return e;
}

IPointerEvent Moved(float x, float y, float dX, float dY) {
  IPointerEvent e = At(x, y);
  e.dX = dX;
  e.dY = dY;
  return e;
}

/** A host view container that records what it is offered and may take the press. */
struct FakeContainer {
  static FakeContainer* current;
  std::vector<std::pair<std::string, uint32_t>> offered;
  bool takes = false;
  uint32_t keyboard = 0;

  static uint32_t Modifiers(AAX_IViewContainer*) { return current->keyboard; }
  static int32_t MouseDown(AAX_IViewContainer*, const char* id, uint32_t mods) {
    current->offered.emplace_back(id, mods);
    return current->takes ? 0 : 1;
  }
};
FakeContainer* FakeContainer::current = nullptr;

class InputDispatchTest : public ::testing::Test {
 protected:
  InputDispatchTest() {
    d.GetParam(2)->DefineEnum("Mode", 1, 3, "", iplug::kFlagsNone, "", {"Soft", "Hard", "Fold"});
    d.GetParam(3)->DefineDouble("Gain", 0.0, -24.0, 24.0, 0.01, "dB");
    bg = Add(new PointerControl({0, 0, 100, 100}, "bg"));
  }

  template <typename T>
  T* Add(T* control) {
    g.AddControl(control);
    return control;
  }

  TestDelegate d{4, 2};
  RecordingGraphics g{d};
  PointerControl* bg = nullptr;
};

TEST_F(InputDispatchTest, APressIsAGestureOnEveryLinkedSlotAndItsReleaseEndsIt) {
  auto* c = Add(new PointerControl({10, 10, 30, 30}, "c", std::vector<int>{0, 1}));
  g.OnMouseDown({At(15, 15)});
  EXPECT_EQ(d.edits, (Log{"begin 0", "begin 1"}));
  EXPECT_TRUE(g.IsControlCaptured(c));
  // Drags go to the captured control wherever the pointer is, but only when it moved.
  g.OnMouseDrag({Moved(90, 90, 5, 0)});
  g.OnMouseDrag({Moved(90, 90, 0, 0)});
  g.OnMouseUp({At(90, 90)});
  EXPECT_EQ(c->calls, (Log{"init", "resize", "scale", "added", "down", "drag", "up"}));
  EXPECT_EQ(d.edits, (Log{"begin 0", "begin 1", "end 0", "end 1"}));
  EXPECT_FALSE(g.IsControlCaptured(c));
  // An unlinked control is pressed without any gesture for the host.
  d.edits.clear();
  g.OnMouseDown({At(50, 50)});
  g.OnMouseUp({At(50, 50)});
  EXPECT_TRUE(d.edits.empty());
  EXPECT_EQ(bg->Count("down"), 1);
}

TEST_F(InputDispatchTest, CaptureLostMidGestureEndsItForTheHost) {
  // A resize, closing the editor or anything else that releases the pointer while a knob is
  // held must not leave the host's touch open or the pointer hidden.
  auto* knob = Add(new Blank<IKnobControlBase>({10, 10, 30, 30}, 3));
  g.OnMouseDown({At(15, 15)});
  EXPECT_TRUE(g.PointerHidden());
  EXPECT_TRUE(knob->IsMouseDown());
  g.Resize(700, 450, 1.f);
  EXPECT_EQ(d.edits, (Log{"begin 3", "end 3"}));
  EXPECT_FALSE(g.PointerHidden());
  EXPECT_FALSE(knob->IsMouseDown());
  // The release that follows finds nothing captured and ends nothing twice.
  g.OnMouseUp({At(15, 15)});
  EXPECT_EQ(d.edits, (Log{"begin 3", "end 3"}));

  d.edits.clear();
  g.OnMouseDown({At(15, 15)});
  g.ClearControls();
  EXPECT_EQ(d.edits, (Log{"begin 3", "end 3"}));
  EXPECT_FALSE(g.PointerHidden());
}

TEST_F(InputDispatchTest, OtherPressesAreIgnoredWhileAControlIsHeld) {
  auto* knob = Add(new Blank<IKnobControlBase>({10, 10, 30, 30}, 3));
  g.OnMouseDown({At(15, 15)});
  // The right button while the left holds the knob: no context menu, no second gesture, and
  // the first one stays open until the release.
  g.OnMouseDown({At(15, 15, true)});
  g.OnMouseDoubleClick(15, 15, IPointerMods());
  EXPECT_TRUE(g.menus.empty());
  EXPECT_TRUE(g.IsControlCaptured(knob));
  EXPECT_EQ(d.edits, (Log{"begin 3"}));
  g.OnMouseUp({At(15, 15)});
  EXPECT_EQ(d.edits, (Log{"begin 3", "end 3"}));
  EXPECT_FALSE(g.PointerHidden());
}

TEST_F(InputDispatchTest, AMiddleClickIsReleasedLikeAnyOther) {
  // A press with neither the left nor the right button (the middle one) captures and hides the
  // pointer like any press; its release must end all of it.
  Add(new Blank<IKnobControlBase>({10, 10, 30, 30}, 3));
  IPointerEvent middle = At(15, 15);
  middle.ms.L = false;
  g.OnMouseDown({middle});
  EXPECT_TRUE(g.PointerHidden());
  g.OnMouseUp({middle});
  EXPECT_EQ(d.edits, (Log{"begin 3", "end 3"}));
  EXPECT_FALSE(g.PointerHidden());
  EXPECT_EQ(g.NControls(), 2);
}

TEST_F(InputDispatchTest, TheHostMayTakeAPressOnAParameter) {
  FakeContainer container;
  FakeContainer::current = &container;
  g.SetViewContainer(reinterpret_cast<AAX_IViewContainer*>(&container));
  g.SetViewContainerCalls({&FakeContainer::Modifiers, &FakeContainer::MouseDown});
  auto* c = Add(new PointerControl({10, 10, 30, 30}, "c", 2));

  container.keyboard = 0x100;
  IPointerEvent e = At(15, 15, true);
  e.ms.S = e.ms.C = true;
  container.takes = true;
  g.OnMouseDown({e});
  ASSERT_EQ(container.offered.size(), 1u);
  EXPECT_EQ(container.offered[0].first, "3");  // parameter index + 1
  EXPECT_EQ(container.offered[0].second, 1u | 8u | 16u | 0x100u);
  EXPECT_EQ(c->Count("down"), 0);
  EXPECT_FALSE(g.IsControlCaptured(c));
  EXPECT_TRUE(d.edits.empty());

  // Declined, the press goes on as usual; unlinked controls are never offered.
  container.takes = false;
  g.OnMouseDown({At(15, 15)});
  EXPECT_EQ(c->Count("down"), 1);
  g.OnMouseUp({At(15, 15)});
  g.OnMouseDown({At(50, 50)});
  EXPECT_EQ(container.offered.size(), 2u);
  g.OnMouseUp({At(50, 50)});
  FakeContainer::current = nullptr;
}

TEST_F(InputDispatchTest, ARightPressOnAParameterOpensTheControlsContextMenu) {
  auto* c = Add(new PointerControl({10, 10, 30, 30}, "c", 3));
  c->contextItems = {"Copy", "Paste"};
  g.menuAnswer = 1;
  g.OnMouseDown({At(12, 14, true)});
  ASSERT_EQ(g.menus.size(), 1u);
  EXPECT_EQ(g.menus[0].items, (Log{"Copy", "Paste"}));
  EXPECT_EQ(g.menus[0].bounds, IBox(12, 14, 12, 14));
  EXPECT_EQ(c->Count("down right"), 0);  // the control never sees the press
  EXPECT_EQ(c->Count("context 1"), 1);
  EXPECT_FALSE(g.IsControlCaptured(c));
  EXPECT_EQ(d.edits, (Log{"begin 3", "end 3"}));
  // Without items there is no menu at all.
  c->contextItems.clear();
  g.OnMouseDown({At(12, 14, true)});
  EXPECT_EQ(g.menus.size(), 1u);
}

TEST_F(InputDispatchTest, DoubleClicksPromptOrCountAsPresses) {
  auto* c = Add(new PointerControl({10, 10, 30, 30}, "c", 3));
  c->SetPromptDisabled(false);
  EXPECT_TRUE(g.OnMouseDoubleClick(15, 15, IPointerMods()));
  EXPECT_EQ(c->Count("double"), 1);
  ASSERT_EQ(g.textFields.size(), 1u);
  EXPECT_FALSE(g.IsControlCaptured(c));
  EXPECT_FALSE(g.OnMouseDoubleClick(200, 200, IPointerMods()));

  auto* sw = Add(new Blank<ISwitchControlBase>({40, 10, 60, 30}, kNoParameter, nullptr, 2));
  EXPECT_TRUE(g.OnMouseDoubleClick(45, 15, IPointerMods()));
  EXPECT_EQ(sw->GetValue(), 1.0);  // a second press, not a prompt
  EXPECT_TRUE(g.IsControlCaptured(sw));
  g.OnMouseUp({At(45, 15)});
  EXPECT_FALSE(g.IsControlCaptured(sw));
}

TEST_F(InputDispatchTest, MouseOverSkipsTheBackgroundAndFollowsTheDisabledFlags) {
  auto* c = Add(new PointerControl({10, 10, 30, 30}, "c"));
  EXPECT_FALSE(g.OnMouseOver(15, 15, IPointerMods()));  // mouse-over is off by default
  g.EnableMouseOver(true);
  EXPECT_FALSE(g.OnMouseOver(50, 50, IPointerMods()));
  EXPECT_EQ(g.GetMouseOverIdx(), -1);
  EXPECT_TRUE(g.OnMouseOver(15, 15, IPointerMods()));
  EXPECT_EQ(g.GetMouseOver(), c);
  EXPECT_EQ(g.GetMouseOverIdx(), 1);
  EXPECT_TRUE(c->GetMouseIsOver());
  EXPECT_FALSE(g.OnMouseOver(50, 50, IPointerMods()));
  EXPECT_EQ(c->Count("out"), 1);

  c->SetDisabled(true);
  EXPECT_FALSE(g.OnMouseOver(15, 15, IPointerMods()));
  c->SetMouseOverWhenDisabled(true);
  EXPECT_TRUE(g.OnMouseOver(15, 15, IPointerMods()));
  g.OnMouseDown({At(15, 15)});
  EXPECT_EQ(c->Count("down"), 0);  // clicks need their own flag
  EXPECT_EQ(bg->Count("down"), 1);
  g.OnMouseUp({At(15, 15)});
  c->SetMouseEventsWhenDisabled(true);
  g.OnMouseDown({At(15, 15)});
  EXPECT_EQ(c->Count("down"), 1);
  g.OnMouseUp({At(15, 15)});

  g.OnMouseOut();
  EXPECT_EQ(g.GetMouseOver(), nullptr);
  EXPECT_EQ(g.GetMouseOverIdx(), -1);
}

TEST_F(InputDispatchTest, WheelAndDropsFindTheirControls) {
  auto* c = Add(new PointerControl({10, 10, 30, 30}, "c"));
  auto* over = Add(new PointerControl({10, 10, 30, 30}, "over"));
  EXPECT_TRUE(g.OnMouseWheel(15, 15, IPointerMods(), 1.f));
  EXPECT_EQ(over->Count("wheel"), 1);
  EXPECT_FALSE(g.OnMouseWheel(200, 15, IPointerMods(), 1.f));
  EXPECT_FALSE(g.OnMouseWheel(15, 15, IPointerMods(), NAN));

  // The top control that accepts drops wins over the one merely under the pointer.
  c->acceptsDrop = true;
  g.OnFileDrop("/tmp/a.wav", 15, 15);
  g.OnFilesDrop({"a", "b", "c"}, 15, 15);
  EXPECT_EQ(c->Count("drop /tmp/a.wav"), 1);
  EXPECT_EQ(c->Count("drops 3"), 1);
  c->acceptsDrop = false;
  g.OnFileDrop("x", 15, 15);
  EXPECT_EQ(over->Count("drop x"), 1);
}

TEST_F(InputDispatchTest, CornerDragsResizeOrScaleWithoutDividingByZero) {
  g.SetResizingInProcess(true);
  g.OnMouseDown({At(100, 50)});
  g.OnMouseDrag({Moved(150, 60, 50, 10)});
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.2f);  // min(60 / 50, 150 / 100)

  // A press at the window's edge leaves one axis without a ratio; the other one still scales.
  g.OnMouseDown({At(0, 50)});
  g.OnMouseDrag({Moved(10, 100, 10, 50)});
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 2.4f);
  g.OnMouseDown({At(0, 0)});
  g.OnMouseDrag({Moved(10, 10, 10, 10)});
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 2.4f);

  g.SetResizerMode(EResizerMode::Size);
  g.OnMouseDrag({Moved(700.7f, 450.2f, 1, 1)});
  EXPECT_EQ(g.Width(), 700);
  EXPECT_EQ(g.Height(), 450);
  g.OnMouseUp({At(700, 450)});
  EXPECT_FALSE(g.GetResizingInProcess());
}

TEST_F(InputDispatchTest, APendingScaleIsAppliedWhenTheDragEnds) {
  auto* c = Add(new PointerControl({10, 10, 30, 30}, "c"));
  const int added = c->Count("scale");  // the control took its bitmaps when it was added
  // A corner drag that snaps: the bitmaps are reloaded once, for the scale it snaps to (Resize
  // itself does not ask for it), not also for the scale the pointer let go at.
  g.SetResizingInProcess(true);
  g.SetPendingScale(1.5f);
  g.OnMouseUp({At(5, 5)});
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.5f);
  EXPECT_EQ(g.GetPendingScale(), 0.f);
  EXPECT_FALSE(g.GetResizingInProcess());
  EXPECT_EQ(c->Count("scale"), added + 1);
  // One that does not snap reloads once too.
  g.SetResizingInProcess(true);
  g.OnMouseUp({At(5, 5)});
  EXPECT_EQ(c->Count("scale"), added + 2);
}

TEST_F(InputDispatchTest, EnumerationsPromptWithAValueMenuAndAChoiceIsOneGesture) {
  auto* c = Add(new PointerControl({10, 10, 50, 30}, "c", 2));
  c->SetPromptDisabled(false);
  g.menuAnswer = 2;
  c->PromptForValue(0);
  ASSERT_EQ(g.menus.size(), 1u);
  EXPECT_EQ(g.menus[0].title, "Mode");
  EXPECT_EQ(g.menus[0].items, (Log{"Soft", "Hard *", "Fold"}));
  EXPECT_EQ(g.menus[0].bounds, c->GetRECT());  // value texts: the whole control
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);
  EXPECT_EQ(d.edits, (Log{"begin 2", "set 2", "end 2"}));
  EXPECT_EQ(g.GetControlInPopupMenu(), nullptr);

  // Asked later, the answer arrives through the platform; cancelling changes nothing.
  d.edits.clear();
  g.menuIsAsync = true;
  c->PromptForValue(0);
  EXPECT_EQ(g.GetControlInPopupMenu(), c);
  g.ApplyMenuResult(nullptr);
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);
  EXPECT_EQ(d.edits, (Log{"begin 2", "end 2"}));
  g.ApplyMenuResult(nullptr);  // nothing open: nothing happens
  EXPECT_EQ(d.edits.size(), 2u);
}

TEST_F(InputDispatchTest, NumbersPromptWithATextFieldAndTypedTextIsParsed) {
  auto* c = Add(new PointerControl({10, 10, 50, 30}, "c", 3));
  c->SetPromptDisabled(false);
  c->SetPromptShowsLabel(true);
  c->SetTextEntryLength(5);
  c->PromptForValue(0);
  ASSERT_EQ(g.textFields.size(), 1u);
  EXPECT_EQ(g.textFields[0].paramIdx, 3);
  EXPECT_EQ(g.textFields[0].maxLength, 5);
  EXPECT_EQ(g.textFields[0].text, "0.00 dB");
  EXPECT_EQ(g.textFields[0].bounds, IBox(10, 12, 50, 28));  // 40 x 16 around the centre
  EXPECT_EQ(g.GetControlInTextEntry(), c);

  g.ApplyTextEntryResult("-12.5");
  EXPECT_NEAR(d.GetParam(3)->Value(), -12.5, 1e-9);
  EXPECT_EQ(d.edits, (Log{"begin 3", "set 3", "end 3"}));
  EXPECT_EQ(g.GetControlInTextEntry(), nullptr);

  // A field committed empty or with letters keeps the value.
  for (const char* text : {"", "abc", " - "}) {
    c->PromptForValue(0);
    g.ApplyTextEntryResult(text);
    EXPECT_NEAR(d.GetParam(3)->Value(), -12.5, 1e-9) << text;
  }

  // Without a parameter, the control gets the text itself.
  auto* free = Add(new PointerControl({60, 10, 90, 30}, "free"));
  g.OpenTextEntry(free, free->GetText(), free->GetRECT(), "hi", 0);
  EXPECT_EQ(g.textFields.back().paramIdx, kNoParameter);
  g.ApplyTextEntryResult("typed");
  EXPECT_EQ(free->Count("text typed"), 1);
}

TEST_F(InputDispatchTest, PromptsStayClosedWhenDisabledOrUnlinked) {
  auto* c = Add(new PointerControl({10, 10, 50, 30}, "c", 3));
  g.OnMouseDoubleClick(15, 15, IPointerMods());
  c->PromptForValue(0);
  auto* free = Add(new PointerControl({60, 10, 90, 30}, "free"));
  free->SetPromptDisabled(false);
  free->PromptForValue(0);
  free->PromptForValue(-1);
  EXPECT_TRUE(g.textFields.empty());
  EXPECT_TRUE(g.menus.empty());
}

}  // namespace
