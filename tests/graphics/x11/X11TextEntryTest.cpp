#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "HeadlessTestSupport.h"
#include "X11TestSupport.h"
#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11TextEntry.h"
#include "graphics/x11/X11Tooltip.h"

namespace {

using namespace headless_test;
using namespace x11_test;
using iplug::igraphics::x11::X11Display;
using iplug::igraphics::x11::X11TextEntry;
using iplug::igraphics::x11::X11Tooltip;

const IArgb kPanel(255, 40, 44, 52);
const IArgb kFieldBG(255, 255, 240, 160);
const IArgb kFieldFG(255, 20, 20, 120);

// A control that prompts for its value and keeps what a field hands it without a parameter.
class Box : public IControl {
 public:
  Box(const IBox& bounds, int paramIdx) : IControl(bounds, paramIdx) {
    SetPromptDisabled(false);
    ITextStyle style(16.f, COLOR_WHITE);
    style.textEntryBGColor = kFieldBG;
    style.textEntryFGColor = kFieldFG;
    SetText(style);
  }
  void Draw(IGraphics& g) override {
    g.FillRect(COLOR_GRAY, GetRECT());
    g.DrawText(GetText(), "value", GetRECT());
  }
  void OnMouseDown(float, float, const IPointerMods&) override { ++presses; }
  void OnTextEntryDone(const char* text, int) override { done.push_back(text); }
  std::vector<std::string> done;
  int presses = 0;
};

// Parameter 0 a double −100 … 100, 1 an integer 0 … 100; a box for each and one without one.
struct PromptEditor {
  PromptEditor() : delegate(2) {
    delegate.GetParam(0)->DefineDouble("Drive", 10.0, -100.0, 100.0, 0.1);
    delegate.GetParam(1)->DefineInt("Steps", 5, 0, 100);
    delegate.SetEditorSize(650, 400);
    delegate.SetGraphicsFactory([this] { return new IGraphicsX11(delegate, 650, 400, 60, 1.f); });
    delegate.SetLayoutFunction([this](IGraphics* g) {
      g->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
      g->AddControl(new DrawingControl(
          IBox(0, 0, 650, 400), [](IGraphics& gr) { gr.FillRect(kPanel, IBox(0, 0, 650, 400)); }));
      drive = static_cast<Box*>(g->AddControl(new Box(IBox(100, 100, 220, 130), 0)));
      steps = static_cast<Box*>(g->AddControl(new Box(IBox(300, 100, 380, 130), 1)));
      plain = static_cast<Box*>(g->AddControl(new Box(IBox(100, 250, 400, 280), -1)));
    });
  }
  ~PromptEditor() { delegate.CloseWindow(); }
  IGraphicsX11* UI() const { return static_cast<IGraphicsX11*>(delegate.GetUI()); }
  xcb_window_t Window() const {
    return static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(UI()->NativeWindow()));
  }

  TestEditorDelegate delegate;
  Box* drive = nullptr;
  Box* steps = nullptr;
  Box* plain = nullptr;
};

class X11TextEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Xvfb& server = SharedXvfb();
    ASSERT_TRUE(server.Running()) << server.Error();
    setenv("DISPLAY", server.Display().c_str(), 1);
    iplug::SetRunLoop(&loop);
    host = std::make_unique<Host>(650, 400);
    editor = std::make_unique<PromptEditor>();
    editor->delegate.OpenWindow(host->ParentHandle());
    ASSERT_NE(ui(), nullptr);
    ASSERT_NE(ui()->NativeWindow(), nullptr) << IGraphicsX11::LastError();
    ASSERT_TRUE(loop.RunUntil([&] { return ui()->FramesPresented() > 0; }));
  }
  void TearDown() override {
    editor.reset();
    host.reset();
    iplug::SetRunLoop(nullptr);
  }

  IGraphicsX11* ui() const { return editor->UI(); }
  const X11TextEntry* Field() const { return ui()->TextEntryField(); }

  /** Opens the value prompt of a box and waits until its field has the keys. */
  void Prompt(Box* box) {
    box->PromptForValue(0);
    ASSERT_NE(Field(), nullptr);
    ASSERT_TRUE(loop.RunUntil([&] { return Field()->State() == X11TextEntry::kEditing; }));
  }
  void Press(uint32_t keysym) {
    host->Key(keysym, true);
    host->Key(keysym, false);
    loop.RunFor(10);
  }
  void Type(const std::string& text) {
    for (const char c : text) {
      uint32_t sym = 0;
      if (c >= '0' && c <= '9')
        sym = XKB_KEY_0 + static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'z')
        sym = XKB_KEY_a + static_cast<uint32_t>(c - 'a');
      else if (c == '-')
        sym = XKB_KEY_minus;
      else if (c == '.')
        sym = XKB_KEY_period;
      else if (c == ' ')
        sym = XKB_KEY_space;
      ASSERT_NE(sym, 0u) << c;
      Press(sym);
    }
  }
  bool FieldCloses() {
    return loop.RunUntil([&] { return Field() == nullptr; });
  }
  double Value(int idx) const { return editor->delegate.GetParam(idx)->Value(); }

  PollRunLoop loop;
  std::unique_ptr<Host> host;
  std::unique_ptr<PromptEditor> editor;
};

// ---- What the field takes ----

TEST(X11TextFilter, NumbersTakeOnlySignsAndDigitsAndDecimalsAlsoTheFullStop) {
  using iplug::igraphics::x11::FilterAccepts;
  using iplug::igraphics::x11::TextFilter;
  for (const char* c : {"0", "9", "+", "-"}) {
    EXPECT_TRUE(FilterAccepts(TextFilter::Integer, c)) << c;
    EXPECT_TRUE(FilterAccepts(TextFilter::Decimal, c)) << c;
  }
  EXPECT_FALSE(FilterAccepts(TextFilter::Integer, "."));
  EXPECT_TRUE(FilterAccepts(TextFilter::Decimal, "."));
  for (const char* c : {"a", "e", ",", " ", "\xC2\xBD"}) {
    EXPECT_FALSE(FilterAccepts(TextFilter::Decimal, c)) << c;
    EXPECT_TRUE(FilterAccepts(TextFilter::None, c)) << c;
  }
}

TEST(X11TextFilter, CharacterLimitsCountCharactersNotBytes) {
  using iplug::igraphics::x11::CharacterCount;
  using iplug::igraphics::x11::FirstCharacters;
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x9C\x93";  // "Grüße ✓"
  EXPECT_EQ(CharacterCount(text), 7u);
  EXPECT_EQ(FirstCharacters(text, 4), "Gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(FirstCharacters(text, 100), text);
  EXPECT_EQ(FirstCharacters(text, 0), "");
}

// ---- Typing, committing, cancelling ----

TEST_F(X11TextEntryTest, TypingADoubleAndEnterCommitsItAsOneGesture) {
  Prompt(editor->drive);
  // The control's prompt rectangle (40 × 16 about its centre), one pixel larger, at scale 1.
  const Host::Geometry g = host->GeometryOf(Field()->Window());
  EXPECT_EQ((std::vector<int>{g.x, g.y, g.width, g.height}), (std::vector<int>{140, 107, 41, 17}));
  EXPECT_EQ(g.parent, editor->Window());
  EXPECT_EQ(Field()->Text(), "10.0");

  // The initial text is selected: typing replaces it; letters are refused.
  Type("-1x2.5");
  EXPECT_EQ(Field()->Text(), "-12.5");
  // While typing nothing is drawn under the field.
  const int frames = ui()->FramesPresented();
  editor->drive->SetDirty(false);
  loop.RunFor(60);
  EXPECT_EQ(ui()->FramesPresented(), frames);

  editor->delegate.log.clear();
  Press(XKB_KEY_Return);
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), -12.5);
  ASSERT_EQ(editor->delegate.log.size(), 3u);
  EXPECT_EQ(editor->delegate.log[0], "begin 0");
  EXPECT_EQ(editor->delegate.log[1].rfind("set 0 ", 0), 0u);
  EXPECT_EQ(editor->delegate.log[2], "end 0");
  EXPECT_EQ(ui()->GetControlInTextEntry(), nullptr);
  // The editor has the keys again and draws again.
  EXPECT_TRUE(loop.RunUntil([&] { return ui()->FramesPresented() > frames; }));
}

TEST_F(X11TextEntryTest, AtDrawScaleTwoTheFieldGrowsWithTheEditor) {
  ui()->Resize(650, 400, 2.f);
  host->Sync();
  loop.RunFor(30);
  Prompt(editor->drive);
  const Host::Geometry g = host->GeometryOf(Field()->Window());
  EXPECT_EQ((std::vector<int>{g.x, g.y, g.width, g.height}), (std::vector<int>{280, 214, 81, 33}));
  Type("3");
  Press(XKB_KEY_Return);
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), 3.0);
}

TEST_F(X11TextEntryTest, TheFullStopIsRefusedForAnInteger) {
  Prompt(editor->steps);
  Type("4.2");
  EXPECT_EQ(Field()->Text(), "42");
  Press(XKB_KEY_BackSpace);
  Type("7");
  Press(XKB_KEY_Return);
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(1), 47.0);
}

TEST_F(X11TextEntryTest, EscapeAndAPressElsewhereCancelAndLeaveTheValue) {
  Prompt(editor->drive);
  Type("55");
  editor->delegate.log.clear();
  Press(XKB_KEY_Escape);
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), 10.0);
  EXPECT_TRUE(editor->delegate.log.empty());

  Prompt(editor->drive);
  Type("66");
  // A left press on the other box: the field goes, and the box never sees the press.
  host->MovePointer(editor->Window(), 320, 110);
  host->Click(1);
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), 10.0);
  EXPECT_TRUE(editor->delegate.log.empty());
  EXPECT_EQ(editor->steps->presses, 0);
  // With the field gone, presses reach controls again.
  host->Click(1);
  EXPECT_TRUE(loop.RunUntil([&] { return editor->steps->presses == 1; }));
}

TEST_F(X11TextEntryTest, LosingTheFocusCommits) {
  Prompt(editor->drive);
  Type("33");
  // The user clicks into another window of the host's, which takes the keys.
  xcb_set_input_focus(host->Connection(), XCB_INPUT_FOCUS_NONE, host->Top(), XCB_CURRENT_TIME);
  host->Sync();
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), 33.0);
}

TEST_F(X11TextEntryTest, AbortingCancelsAtTheNextTick) {
  Prompt(editor->drive);
  Type("1");
  ui()->AbortTextEntry();
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), 10.0);
}

TEST_F(X11TextEntryTest, PastedTextPassesTheSameFilter) {
  ASSERT_TRUE(ui()->WriteClipboardText("-7.25 dB"));
  Prompt(editor->drive);
  host->Key(XKB_KEY_Control_L, true);
  Press(XKB_KEY_v);
  host->Key(XKB_KEY_Control_L, false);
  EXPECT_EQ(Field()->Text(), "-7.25");
  Press(XKB_KEY_Return);
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), -7.25);
}

TEST_F(X11TextEntryTest, UnicodeTextSurvivesEditingAndCommitting) {
  editor->plain->SetTextEntryLength(20);
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x9C\x93";  // "Grüße ✓"
  ui()->OpenTextEntry(editor->plain, editor->plain->GetText(), editor->plain->GetRECT(),
                      text.c_str(), -1);
  ASSERT_NE(Field(), nullptr);
  ASSERT_TRUE(loop.RunUntil([&] { return Field()->State() == X11TextEntry::kEditing; }));
  // End keeps the text; backspace takes one whole character, not a byte of one.
  Press(XKB_KEY_End);
  Press(XKB_KEY_BackSpace);
  Press(XKB_KEY_Left);
  Type("ab");
  Press(XKB_KEY_Return);
  ASSERT_TRUE(FieldCloses());
  ASSERT_EQ(editor->plain->done.size(), 1u);
  EXPECT_EQ(editor->plain->done[0],
            "Gr\xC3\xBC\xC3\x9F"
            "eab ");
}

TEST_F(X11TextEntryTest, ACommitHandsOverAtMost256Characters) {
  editor->plain->SetTextEntryLength(400);
  // Two bytes a character, so that a cut by bytes would show.
  std::string text;
  for (int i = 0; i < 300; ++i) text += "\xC3\xA9";
  ui()->OpenTextEntry(editor->plain, editor->plain->GetText(), editor->plain->GetRECT(),
                      text.c_str(), -1);
  ASSERT_TRUE(loop.RunUntil([&] { return Field()->State() == X11TextEntry::kEditing; }));
  Press(XKB_KEY_Return);
  ASSERT_TRUE(FieldCloses());
  ASSERT_EQ(editor->plain->done.size(), 1u);
  EXPECT_EQ(editor->plain->done[0].size(), 512u);

  // The field's own limit stops typing.
  editor->plain->SetTextEntryLength(3);
  ui()->OpenTextEntry(editor->plain, editor->plain->GetText(), editor->plain->GetRECT(), "", -1);
  ASSERT_TRUE(loop.RunUntil([&] { return Field()->State() == X11TextEntry::kEditing; }));
  Type("abcde");
  EXPECT_EQ(Field()->Text(), "abc");
}

TEST_F(X11TextEntryTest, TheFieldShowsTheStylesColoursOverTheControl) {
  // A wide field, so that centred text leaves both ends bare.
  ui()->OpenTextEntry(editor->plain, editor->plain->GetText(), editor->plain->GetRECT(), "", -1);
  ASSERT_TRUE(loop.RunUntil([&] { return Field()->State() == X11TextEntry::kEditing; }));
  Type("-12.5");
  host->Sync();
  loop.RunFor(30);
  const Picture field = host->Capture(Field()->Window());
  ASSERT_EQ(field.width, 301);
  ASSERT_EQ(field.height, 31);
  const auto pixel = [&](int x, int y) {
    const uint8_t* p = &field.pixels[static_cast<size_t>((y * field.width + x) * 4)];
    return IArgb(255, p[2], p[1], p[0]);
  };
  EXPECT_EQ(pixel(0, 0), kFieldBG);
  EXPECT_EQ(pixel(300, 30), kFieldBG);
  // Centred text in the foreground colour, nothing of it at the edges.
  int ink = 0, inkLeft = 0;
  for (int y = 0; y < field.height; ++y)
    for (int x = 0; x < field.width; ++x) {
      const IArgb c = pixel(x, y);
      const bool dark = c.R < 100 && c.G < 100;
      ink += dark;
      inkLeft += dark && (x < 100 || x > 200);
    }
  EXPECT_GT(ink, 40);
  EXPECT_EQ(inkLeft, 0);
  const Picture whole = host->Capture(editor->Window());
  WritePng(whole.View(), std::string(X11_OUTPUT_DIR) + "/text_entry_over_control.png");
}

// ---- Closing with a field or a tooltip open ----

TEST_F(X11TextEntryTest, ClosingTheEditorWithAFieldOpenIsClean) {
  Prompt(editor->drive);
  Type("9");
  const int errors = X11Display::ProtocolErrors();
  editor->delegate.CloseWindow();
  host->Sync();
  loop.RunFor(30);
  EXPECT_EQ(X11Display::ProtocolErrors(), errors);
  EXPECT_DOUBLE_EQ(Value(0), 10.0);
  // And it opens again with a field that works.
  editor->delegate.OpenWindow(host->ParentHandle());
  ASSERT_NE(ui()->NativeWindow(), nullptr);
  Prompt(editor->drive);
  Type("8");
  Press(XKB_KEY_Return);
  ASSERT_TRUE(FieldCloses());
  EXPECT_DOUBLE_EQ(Value(0), 8.0);
}

TEST_F(X11TextEntryTest, TooltipsShowAfterResting250PixelsWideAtMostAndHideOnPress) {
  ui()->EnableTooltips(true);
  editor->drive->SetTooltip(
      "Drive: how hard the signal is pushed into the saturation curve before the output gain "
      "brings it back down to a sensible level.");
  host->MovePointer(editor->Window(), 50, 50);
  loop.RunFor(30);
  const auto start = std::chrono::steady_clock::now();
  host->MovePointer(editor->Window(), 150, 110);
  ASSERT_TRUE(loop.RunUntil([&] { return ui()->ShowingTooltip() != nullptr; }, 2000));
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
  EXPECT_GE(waited, 350);
  const X11Tooltip* tip = ui()->ShowingTooltip();
  const Host::Geometry g = host->GeometryOf(tip->Window());
  EXPECT_LE(g.width, X11Tooltip::kMaxWidth);
  EXPECT_GT(g.width, 150);
  // Wrapped: more than two lines of 12-point text.
  EXPECT_GT(g.height, 40);
  EXPECT_EQ(g.parent, host->Root());
  WritePng(host->Capture(tip->Window()).View(), std::string(X11_OUTPUT_DIR) + "/tooltip.png");

  host->Click(1);
  EXPECT_TRUE(loop.RunUntil([&] { return ui()->ShowingTooltip() == nullptr; }));
  // A control without a tooltip shows none.
  host->MovePointer(editor->Window(), 320, 110);
  loop.RunFor(600);
  EXPECT_EQ(ui()->ShowingTooltip(), nullptr);

  // Back on the drive box, then closed while the tooltip shows.
  host->MovePointer(editor->Window(), 160, 112);
  ASSERT_TRUE(loop.RunUntil([&] { return ui()->ShowingTooltip() != nullptr; }, 2000));
  const int errors = X11Display::ProtocolErrors();
  editor->delegate.CloseWindow();
  host->Sync();
  loop.RunFor(30);
  EXPECT_EQ(X11Display::ProtocolErrors(), errors);
}

TEST(X11TooltipWrap, LinesBreakAtSpacesAndLongWordsAnywhere) {
  // One unit a byte, so the breaks are easy to see.
  const auto bytes = [](const std::string& s, void*) { return static_cast<double>(s.size()); };
  using iplug::igraphics::x11::WrapText;
  EXPECT_EQ(WrapText("one two three four", 9, bytes, nullptr),
            (std::vector<std::string>{"one two", "three", "four"}));
  EXPECT_EQ(WrapText("abcdefghijkl", 5, bytes, nullptr),
            (std::vector<std::string>{"abcde", "fghij", "kl"}));
  EXPECT_EQ(WrapText("a\nb", 9, bytes, nullptr), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
