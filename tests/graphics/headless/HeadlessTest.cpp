#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "HeadlessTestSupport.h"

namespace {

using namespace headless_test;

// A control that records the pointer events it receives.
class PointerControl : public IControl {
 public:
  explicit PointerControl(const IBox& bounds, int paramIdx = -1) : IControl(bounds, paramIdx) {}
  void Draw(IGraphics& g) override {
    ++draws;
    g.FillRect(COLOR_RED, GetRECT());
  }
  void OnMouseDown(float x, float y, const IPointerMods& mod) override {
    events.push_back("down");
    IControl::OnMouseDown(x, y, mod);
  }
  void OnMouseDrag(float, float, float dX, float dY, const IPointerMods&) override {
    events.push_back("drag " + std::to_string(static_cast<int>(dX)) + "," +
                     std::to_string(static_cast<int>(dY)));
  }
  void OnMouseUp(float, float, const IPointerMods&) override { events.push_back("up"); }

  int draws = 0;
  std::vector<std::string> events;
};

// An editor of two parameters: 0 a double 0 … 10, 1 an enumeration of three values, with one
// control on each.
class HeadlessEditor : public ::testing::Test {
 protected:
  HeadlessEditor() : delegate(2) {
    delegate.GetParam(0)->DefineDouble("Drive", 0.0, 0.0, 10.0, 0.01);
    delegate.GetParam(1)->DefineEnum("Mode", 0, 3, "", 0, "", {"Soft", "Hard", "Fold"});
    delegate.SetEditorSize(100, 50);
    delegate.SetGraphicsFactory([this] {
      auto* ui = new IGraphicsHeadless(delegate, 100, 50, 60, drawScale);
      ui->SetScreenScaleOnOpen(screenScale);
      return ui;
    });
    delegate.SetLayoutFunction([this](IGraphics* g) {
      ++layouts;
      g->AddControl(new DrawingControl(IBox(0, 0, 100, 50), [](IGraphics& gr) {
        gr.FillRect(COLOR_WHITE, IBox(0, 0, 100, 50));
      }));
      drive =
          static_cast<PointerControl*>(g->AddControl(new PointerControl(IBox(10, 10, 40, 40), 0)));
      mode =
          static_cast<PointerControl*>(g->AddControl(new PointerControl(IBox(60, 10, 90, 40), 1)));
      // A double click prompts for the value.
      drive->SetPromptDisabled(false);
      mode->SetPromptDisabled(false);
    });
  }

  IGraphicsHeadless& Open() {
    delegate.OpenWindow(&parent);
    return *static_cast<IGraphicsHeadless*>(delegate.GetUI());
  }

  TestEditorDelegate delegate;
  char parent = 0;
  float drawScale = 1.f;
  float screenScale = 1.f;
  int layouts = 0;
  PointerControl* drive = nullptr;
  PointerControl* mode = nullptr;
};

TEST_F(HeadlessEditor, OpeningMakesTheSurfaceAppliesTheScreenScaleAndLaysOutDirtyControls) {
  screenScale = 2.f;
  IGraphicsHeadless& ui = Open();
  EXPECT_NE(ui.NativeWindow(), nullptr);
  EXPECT_TRUE(ui.IsWindowOpen());
  EXPECT_EQ(ui.Parent(), &parent);
  EXPECT_EQ(ui.GetScreenScale(), 2.f);
  EXPECT_EQ(ui.WindowScale(), 2.f);
  EXPECT_EQ(ui.SurfaceWidth(), 200);
  EXPECT_EQ(layouts, 1);
  EXPECT_EQ(ui.NControls(), 3);
  EXPECT_EQ(delegate.opens, 1);
  EXPECT_STREQ(ui.PlatformName(), "headless");
  EXPECT_FALSE(ui.SupportsMultiTouch());

  EXPECT_TRUE(ui.Tick());
  EXPECT_EQ(drive->draws, 1);
  EXPECT_EQ(ui.GetPoint(40, 40), COLOR_RED);  // (20, 20) in units at screen scale 2
  EXPECT_EQ(ui.FramesPresented(), 1);
  EXPECT_FALSE(ui.Tick());  // nothing dirty any more
  drive->SetDirty(false);
  EXPECT_TRUE(ui.Tick());
  EXPECT_EQ(ui.FramesPresented(), 2);
}

TEST_F(HeadlessEditor, ClosingRemovesEveryControlAndForgetsTheWindow) {
  IGraphicsHeadless& ui = Open();
  ui.CloseWindow();
  EXPECT_EQ(ui.NativeWindow(), nullptr);
  EXPECT_EQ(ui.NControls(), 0);
  EXPECT_FALSE(ui.Tick());
  // Opening again lays out again.
  ui.OpenWindow(&parent);
  EXPECT_EQ(layouts, 2);
  EXPECT_EQ(ui.NControls(), 3);
}

TEST_F(HeadlessEditor, ResizingRecreatesTheSurfaceAndCountsTheNativeResizes) {
  IGraphicsHeadless& ui = Open();
  const size_t before = ui.NativeResizes().size();
  ui.Resize(100, 50, 1.5f);
  EXPECT_EQ(ui.NativeResizes().size(), before + 1);
  EXPECT_EQ(ui.SurfaceWidth(), 150);
  EXPECT_EQ(ui.SurfaceHeight(), 75);
}

TEST_F(HeadlessEditor, PointerEventsReachTheControlWithTheirMovement) {
  IGraphicsHeadless& ui = Open();
  ui.PointerDown(20, 20);
  ui.PointerDrag(25, 18);
  ui.PointerUp(25, 18);
  EXPECT_EQ(drive->events, (std::vector<std::string>{"down", "drag 5,-2", "up"}));
  float x = 0, y = 0;
  ui.QueryPointerPosition(x, y);
  EXPECT_EQ(x, 25.f);
  EXPECT_EQ(y, 18.f);
}

// The graphics context hides and locks the pointer for fine drags; its own cursor state has to
// follow, since it shows a hidden pointer again when the capture goes.
TEST_F(HeadlessEditor, AHiddenLockedPointerStaysWhereItWasHiddenAndReturnsThere) {
  IGraphicsHeadless& ui = Open();
  ui.PointerDown(20, 20);
  ui.HidePointer(true, true);
  EXPECT_TRUE(ui.PointerHidden());
  EXPECT_TRUE(ui.PointerLocked());
  ui.PointerDrag(30, 40);
  float x = 0, y = 0;
  ui.QueryPointerPosition(x, y);
  EXPECT_EQ(x, 20.f);
  EXPECT_EQ(y, 20.f);
  ui.HidePointer(false, false);
  EXPECT_FALSE(ui.PointerHidden());
  EXPECT_FALSE(ui.PointerLocked());
  EXPECT_EQ(ui.PointerWarps(), 1);

  ui.WarpPointer(7, 8);
  ui.QueryPointerPosition(x, y);
  EXPECT_EQ(x, 7.f);
  EXPECT_EQ(ui.SetPointerShape(ECursor::Hand), ECursor::Arrow);
  EXPECT_EQ(ui.PointerShape(), ECursor::Hand);
  EXPECT_EQ(ui.SetPointerShape(ECursor::Arrow), ECursor::Hand);

  // A release of the capture shows a hidden pointer again.
  ui.HidePointer(true, false);
  ui.ReleaseMouseCapture();
  EXPECT_FALSE(ui.PointerHidden());
}

TEST_F(HeadlessEditor, ATextFieldWaitsForTheCallerWhoCommitsOrCancelsIt) {
  IGraphicsHeadless& ui = Open();
  ui.OnMouseDoubleClick(20, 20, IPointerMods());
  ASSERT_TRUE(ui.PendingTextField());
  const IGraphicsHeadless::TextFieldRequest field = *ui.PendingTextField();
  EXPECT_EQ(field.paramIdx, 0);
  EXPECT_EQ(field.text, "0.00");
  EXPECT_EQ(field.bounds, IBox(5, 17, 45, 33));
  EXPECT_GT(field.maxLength, 0);
  EXPECT_EQ(ui.GetControlInTextEntry(), drive);

  ASSERT_TRUE(ui.CommitTextField("5"));
  EXPECT_FALSE(ui.PendingTextField());
  EXPECT_NEAR(delegate.GetParam(0)->Value(), 5.0, 1e-9);
  EXPECT_EQ(delegate.log.front(), "begin 0");
  EXPECT_EQ(delegate.log.back(), "end 0");
  EXPECT_FALSE(ui.CommitTextField("6"));  // nothing open

  ui.OnMouseDoubleClick(20, 20, IPointerMods());
  ASSERT_TRUE(ui.CancelTextField());
  EXPECT_EQ(ui.GetControlInTextEntry(), nullptr);
  EXPECT_NEAR(delegate.GetParam(0)->Value(), 5.0, 1e-9);
}

TEST_F(HeadlessEditor, AMenuIsAnsweredAtOnceWithTheChosenItemOrNothing) {
  IGraphicsHeadless& ui = Open();
  ui.AnswerMenusWith(2);
  ui.OnMouseDoubleClick(70, 20, IPointerMods());
  ASSERT_NE(ui.LastMenu(), nullptr);
  EXPECT_EQ(ui.LastMenu()->NItems(), 3);
  EXPECT_EQ(ui.LastMenu()->GetItem(0)->Text(), "Soft");
  EXPECT_EQ(ui.LastMenuBounds(), IBox(60, 10, 90, 40));
  EXPECT_EQ(delegate.GetParam(1)->Value(), 2.0);
  EXPECT_EQ(ui.GetControlInPopupMenu(), nullptr);

  ui.AnswerMenusWithNothing();
  ui.OnMouseDoubleClick(70, 20, IPointerMods());
  EXPECT_EQ(delegate.GetParam(1)->Value(), 2.0);
  ui.AnswerMenusWith(7);  // not in the menu: nothing chosen
  ui.OnMouseDoubleClick(70, 20, IPointerMods());
  EXPECT_EQ(delegate.GetParam(1)->Value(), 2.0);
}

TEST_F(HeadlessEditor, AnAsynchronousMenuStaysOpenUntilTheCallerAnswersIt) {
  IGraphicsHeadless& ui = Open();
  ui.AnswerMenusLater();
  ui.OnMouseDoubleClick(70, 20, IPointerMods());
  EXPECT_EQ(ui.GetControlInPopupMenu(), mode);
  EXPECT_EQ(delegate.GetParam(1)->Value(), 0.0);
  ASSERT_TRUE(ui.CompleteMenu(1));
  EXPECT_EQ(delegate.GetParam(1)->Value(), 1.0);
  EXPECT_EQ(ui.GetControlInPopupMenu(), nullptr);
  EXPECT_FALSE(ui.CompleteMenu(1));

  ui.OnMouseDoubleClick(70, 20, IPointerMods());
  ASSERT_TRUE(ui.CompleteMenu(-1));
  EXPECT_EQ(delegate.GetParam(1)->Value(), 1.0);
}

TEST_F(HeadlessEditor, DialogsAreRecordedAndAnsweredAsCancelledTheClipboardIsKept) {
  IGraphicsHeadless& ui = Open();
  EMsgBoxResult answered = EMsgBoxResult::NoResult;
  EXPECT_EQ(ui.ShowMessageBox("Reset?", "Corvane", EMsgBoxType::YesNo,
                              [&](EMsgBoxResult r) { answered = r; }),
            EMsgBoxResult::Cancel);
  EXPECT_EQ(answered, EMsgBoxResult::Cancel);
  std::string file = "preset.fxp", folder = "/tmp";
  bool completed = false;
  ui.ChooseFile(file, folder, EFileAction::Open, "fxp fxb",
                [&](const std::string& f, const std::string&) { completed = f.empty(); });
  EXPECT_TRUE(completed);
  EXPECT_EQ(file, "");
  ui.ChooseDirectory(folder);
  EXPECT_EQ(folder, "");
  IArgb colour = COLOR_RED;
  EXPECT_FALSE(ui.PickColor(colour, "Colour"));
  EXPECT_EQ(colour, COLOR_RED);
  EXPECT_FALSE(ui.OpenURL("https://example.invalid"));
  EXPECT_FALSE(ui.ShowInFileBrowser("/tmp", true));
  EXPECT_EQ(ui.Requests(), (std::vector<std::string>{
                               "message box: Corvane: Reset?", "open file: fxp fxb",
                               "choose directory: /tmp", "pick color: Colour",
                               "open url: https://example.invalid", "show in file browser: /tmp"}));

  std::string text = "stale";
  EXPECT_FALSE(ui.ReadClipboardText(text));
  EXPECT_EQ(text, "");
  EXPECT_TRUE(ui.WriteClipboardText("4.1.0"));
  EXPECT_TRUE(ui.ReadClipboardText(text));
  EXPECT_EQ(text, "4.1.0");
  EXPECT_FALSE(ui.WriteClipboardText(nullptr));
}

TEST_F(HeadlessEditor, FontsComeFromBytesOrEmbeddedResourcesNeverFromTheSystem) {
  IGraphicsHeadless& ui = Open();
  EXPECT_EQ(ui.LoadNativeFont("Arial", "Arial", EFontStyle::Normal), nullptr);
  EXPECT_EQ(ui.LoadNativeFont("none", "NoSuchFont.ttf"), nullptr);
  const uint8_t junk[32] = {'j', 'u', 'n', 'k'};
  EXPECT_EQ(ui.LoadNativeFont("junk", junk, sizeof junk), nullptr);
  EXPECT_NE(ui.LoadNativeFont("roboto", "roboto-regular.TTF"), nullptr);

  EXPECT_TRUE(ui.LoadFont("headless roboto", "Roboto-Regular.ttf"));
  EXPECT_TRUE(IGraphicsHeadless::HasCachedNativeFont("headless roboto"));
  IBox r(0, 0, 100, 20);
  EXPECT_GT(ui.MeasureText(ITextStyle(12.f, COLOR_BLACK, "headless roboto"), "Drive", r), 0.f);
}

TEST_F(HeadlessEditor, ResourcesAreEmbeddedOnesOnlyAndAStrayFileIsNeverFound) {
  namespace fs = std::filesystem;
  IGraphicsHeadless& ui = Open();
  const fs::path dir = fs::temp_directory_path() / "headless_stray";
  fs::create_directories(dir);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  std::ofstream("stray.png") << "a file on disk";
  std::ofstream("knob.png") << "not the embedded knob";

  std::string found;
  EXPECT_EQ(ui.ResolveResource("stray.png", "png", found), EResourceLocation::NotFound);
  EXPECT_EQ(ui.ResolveResource("knob.png", "png", found), EResourceLocation::Module);
  EXPECT_EQ(found, "\"KNOB.PNG\"");
  int size = 0;
  const uint8_t* bytes = ui.ModuleResourceBytes(found.c_str(), "png", size);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[1], 'P');
  EXPECT_EQ(ui.LoadRawResource("knob.png", "png").size(), static_cast<size_t>(size));
  EXPECT_EQ(ui.ModuleResourceBytes("\"STRAY.PNG\"", "png", size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_FALSE(ui.LoadBitmap("stray.png").IsValid());
  const IBitmapHandle knob = ui.LoadBitmap("knob.png");
  ASSERT_TRUE(knob.IsValid());
  EXPECT_EQ(knob.W(), 24);
  EXPECT_TRUE(ui.LoadRawResource("stray.png", "png").empty());

  fs::current_path(previous);
  fs::remove_all(dir);
}

TEST_F(HeadlessEditor, DeletingAnOpenEditorClosesItFirst) {
  IGraphicsHeadless& ui = Open();
  EXPECT_TRUE(ui.IsWindowOpen());
  delegate.CloseWindow();
  EXPECT_EQ(delegate.GetUI(), nullptr);
  auto* loose = new IGraphicsHeadless(delegate, 100, 50);
  loose->OpenWindow(&parent);
  EXPECT_EQ(loose->NControls(), 3);
  delete loose;  // must not touch the controls after they are gone
}

}  // namespace
