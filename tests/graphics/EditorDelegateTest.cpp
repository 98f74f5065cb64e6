#include <gtest/gtest.h>

#include <cstring>

#include "GraphicsTestSupport.h"
#include "framework/IPlugParameter.h"

using namespace graphics_test;
using iplug::EParamSource;
using iplug::IStateChunk;

namespace {

class EditorDelegateTest : public ::testing::Test {
 protected:
  EditorDelegateTest() {
    d.SetLayoutFunction([this](IGraphics* g) {
      g->AddControl(new TestControl({0, 0, 650, 400}, "bg"));
      knob =
          static_cast<TestControl*>(g->AddControl(new TestControl({10, 10, 30, 30}, "knob", 1), 1));
      meter =
          static_cast<TestControl*>(g->AddControl(new TestControl({40, 10, 60, 30}, "meter"), 2));
    });
  }

  IStateChunk State(int32_t w, int32_t h, float scale) {
    IStateChunk chunk;
    chunk.Put(w);
    chunk.Put(h);
    chunk.Put(scale);
    return chunk;
  }

  TestDelegate d;
  TestControl* knob = nullptr;
  TestControl* meter = nullptr;
  int parent = 0;
};

}  // namespace

TEST_F(EditorDelegateTest, OpenRunsTheLayoutAndPushesParameterValues) {
  d.GetParam(1)->SetValue(2.5);
  EXPECT_EQ(d.OpenWindow(&parent), &parent);
  ASSERT_NE(d.GetUI(), nullptr);
  EXPECT_EQ(d.GetUI()->NControls(), 3);
  EXPECT_EQ(d.opens, 1);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  EXPECT_EQ(knob->GetUI(), d.GetUI());
}

TEST_F(EditorDelegateTest, OpeningTwiceClosesTheFirstContext) {
  d.OpenWindow(&parent);
  EXPECT_EQ(d.closes, 1);  // the closing sequence runs at every open
  bool firstDestroyed = false;
  d.UI()->destroyed = &firstDestroyed;

  d.OpenWindow(&parent);
  EXPECT_TRUE(firstDestroyed);
  EXPECT_EQ(d.closes, 2);
  EXPECT_EQ(d.made, 2);
  ASSERT_NE(d.GetUI(), nullptr);
  EXPECT_EQ(d.GetUI()->NControls(), 3);
  EXPECT_EQ(d.opens, 2);
}

TEST_F(EditorDelegateTest, ReopeningRestoresTheLastSizeAndScale) {
  d.OpenWindow(&parent);
  d.GetUI()->Resize(800, 500, 1.5f);
  d.CloseWindow();
  EXPECT_EQ(d.GetUI(), nullptr);
  EXPECT_EQ(d.LastWidth(), 800);
  EXPECT_EQ(d.LastHeight(), 500);
  EXPECT_FLOAT_EQ(d.LastScale(), 1.5f);

  d.OpenWindow(&parent);
  ASSERT_NE(d.GetUI(), nullptr);
  EXPECT_EQ(d.GetUI()->Width(), 800);
  EXPECT_EQ(d.GetUI()->Height(), 500);
  EXPECT_FLOAT_EQ(d.GetUI()->GetDrawScale(), 1.5f);
}

TEST_F(EditorDelegateTest, CloseWindowIgnoresReentry) {
  d.OpenWindow(&parent);
  bool destroyed = false;
  d.UI()->destroyed = &destroyed;
  d.closeReenters = true;  // OnEditorClose calls CloseWindow again
  d.CloseWindow();
  EXPECT_EQ(d.closes, 2);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(d.GetUI(), nullptr);
}

TEST_F(EditorDelegateTest, ParameterValuesReachLinkedSlotsAndAlwaysTheEditorNotification) {
  d.SendParamValueToControls(2, 1.05, false);  // closed editor
  ASSERT_EQ(d.editorParamChanges.size(), 1u);
  EXPECT_EQ(d.editorParamChanges[0], std::make_pair(2, iplug::kDelegate));

  d.OpenWindow(&parent);
  auto* multi = static_cast<TestControl*>(
      d.GetUI()->AddControl(new TestControl({0, 0, 1, 1}, "multi", {3, 1})));
  d.editorParamChanges.clear();
  d.SendParamValueToControls(1, 5.0, false);  // plain value of a 0..10 parameter
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(multi->GetValue(1), 0.5);
  EXPECT_DOUBLE_EQ(multi->GetValue(0), 0.0);
  d.SendParamValueToControls(1, 0.125, true);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.125);
  EXPECT_EQ(d.editorParamChanges.size(), 2u);
  EXPECT_TRUE(d.reported.empty());  // pushed values are not reported back
}

TEST_F(EditorDelegateTest, ControlValuesAndMessagesGoByTag) {
  d.SendControlMessage(1, 7, 0, nullptr);  // closed: nowhere to go
  d.SendControlValue(2, 0.5);

  d.OpenWindow(&parent);
  d.SendControlMessage(2, 7, 0, nullptr);
  d.SendControlMessage(9, 8, 0, nullptr);
  EXPECT_EQ(meter->messages, std::vector<int>{7});
  EXPECT_TRUE(knob->messages.empty());

  d.SendControlValue(2, 0.75);
  EXPECT_DOUBLE_EQ(meter->GetValue(), 0.75);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.0);
  d.SendControlValue(9, 0.5);
}

TEST_F(EditorDelegateTest, MidiGoesToControlsThatWantItThenToTheEditor) {
  d.SendMidiToEditor({0, 0x90, 60, 100});
  EXPECT_EQ(d.editorMidi, 1);

  d.OpenWindow(&parent);
  meter->SetWantsMidi(true);
  d.SendMidiToEditor({0, 0x80, 60, 0});
  EXPECT_EQ(meter->midi, std::vector<int>{0x80});
  EXPECT_TRUE(knob->midi.empty());
  EXPECT_EQ(d.editorMidi, 2);
}

TEST_F(EditorDelegateTest, EditorStateRoundTripsThroughAChunk) {
  d.OpenWindow(&parent);
  d.GetUI()->Resize(700, 450, 1.25f);
  IStateChunk chunk;
  chunk.Put(int32_t{42});
  ASSERT_TRUE(d.WriteEditorState(chunk));
  ASSERT_EQ(chunk.Size(), 16);
  int32_t w = 0, h = 0;
  float s = 0.f;
  chunk.Get(&w, 4);
  chunk.Get(&h, 8);
  chunk.Get(&s, 12);
  EXPECT_EQ(w, 700);
  EXPECT_EQ(h, 450);
  EXPECT_FLOAT_EQ(s, 1.25f);

  d.CloseWindow();
  EXPECT_EQ(d.ReadEditorState(State(900, 600, 2.f), 0), 12);
  EXPECT_EQ(d.LastWidth(), 900);  // closed: kept for the next open
  IStateChunk closed;
  ASSERT_TRUE(d.WriteEditorState(closed));
  EXPECT_EQ(std::memcmp(closed.Data(), State(900, 600, 2.f).Data(), 12), 0);

  d.OpenWindow(&parent);
  EXPECT_FLOAT_EQ(d.GetUI()->GetDrawScale(), 2.f);
  EXPECT_EQ(chunk.Size(), 16);
  EXPECT_EQ(d.ReadEditorState(chunk, 4), 16);  // open: resized at once
  EXPECT_EQ(d.GetUI()->Width(), 700);
  EXPECT_FLOAT_EQ(d.GetUI()->GetDrawScale(), 1.25f);
}

TEST_F(EditorDelegateTest, ShortEditorStateReadsZerosAndFails) {
  IStateChunk chunk = State(640, 480, 1.5f);
  chunk.Resize(10);
  EXPECT_EQ(d.ReadEditorState(chunk, 0), -1);
  EXPECT_EQ(d.LastWidth(), 640);
  EXPECT_EQ(d.LastHeight(), 480);
  EXPECT_FLOAT_EQ(d.LastScale(), 0.f);

  chunk.Resize(2);
  EXPECT_EQ(d.ReadEditorState(chunk, 0), -1);
  EXPECT_EQ(d.LastWidth(), 0);

  d.OpenWindow(&parent);  // the zero scale is not restored
  EXPECT_FLOAT_EQ(d.GetUI()->GetDrawScale(), 1.f);
  chunk = State(640, 480, 1.5f);
  chunk.Resize(10);
  EXPECT_EQ(d.ReadEditorState(chunk, 0), -1);
  EXPECT_EQ(d.GetUI()->Width(), 650);  // an open editor is not resized
}

TEST_F(EditorDelegateTest, HostResizeReturnsToDrawScaleOne) {
  d.OnHostWindowResized(100, 100);  // closed: nothing to resize
  d.openScreenScale = 2.f;          // the platform finds a 192 dpi display
  d.OpenWindow(&parent);
  d.GetUI()->Resize(650, 400, 1.5f);
  d.OnHostWindowResized(1300, 801);
  EXPECT_EQ(d.GetUI()->Width(), 650);
  EXPECT_EQ(d.GetUI()->Height(), 400);
  EXPECT_FLOAT_EQ(d.GetUI()->GetDrawScale(), 1.f);
  EXPECT_FALSE(d.resizeRequests.back().needsPlatformResize);
}

TEST_F(EditorDelegateTest, KeysAreForwardedAtThePointerPosition) {
  iplug::IKeyPress key;
  key.virtualKey = 0x41;
  key.utf8[0] = 'a';
  EXPECT_FALSE(d.OnKeyDown(key));

  d.OpenWindow(&parent);
  d.UI()->pointerX = 15;
  d.UI()->pointerY = 20;
  EXPECT_TRUE(d.OnKeyDown(key));
  EXPECT_EQ(knob->keys, std::vector<std::string>{"a@15,20"});
  EXPECT_FALSE(d.OnKeyUp(key));
}

TEST_F(EditorDelegateTest, ScreenScaleReachesTheOpenContext) {
  d.SetScreenScale(2.f);  // closed: ignored
  d.OpenWindow(&parent);
  d.SetScreenScale(2.f);
  EXPECT_FLOAT_EQ(d.GetUI()->GetScreenScale(), 2.f);
  EXPECT_FLOAT_EQ(d.GetUI()->BackingScale(), 2.f);
}

TEST_F(EditorDelegateTest, WithoutAFactoryThereIsNoEditor) {
  d.SetGraphicsFactory(nullptr);
  EXPECT_EQ(d.OpenWindow(&parent), nullptr);
  EXPECT_EQ(d.GetUI(), nullptr);
  d.SetLayoutFunction(nullptr);
  d.RunLayout(nullptr);
}

TEST(EditorDelegateLifetime, DeletingTheDelegateDeletesTheOpenContext) {
  bool destroyed = false;
  const int before = IGraphics::LiveContextCount();
  {
    TestDelegate d;
    int parent = 0;
    d.OpenWindow(&parent);
    d.UI()->destroyed = &destroyed;
    EXPECT_EQ(IGraphics::LiveContextCount(), before + 1);
  }
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(IGraphics::LiveContextCount(), before);
}
