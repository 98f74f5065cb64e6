#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "HeadlessTestSupport.h"
#include "X11TestSupport.h"
#include "graphics/x11/IGraphicsX11.h"

namespace {

using namespace headless_test;
using namespace x11_test;
using iplug::igraphics::x11::X11Display;

const IArgb kPaper(255, 246, 244, 238);
const IArgb kInk(255, 30, 32, 38);
const IArgb kTeal(255, 0, 128, 128);
const IArgb kOrange(255, 240, 140, 30);

std::string Point(const char* what, float x, float y) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %g,%g", what, static_cast<double>(x),
                static_cast<double>(y));
  return text;
}

// A control that keeps what reaches it, in points.
class Pad : public IControl {
 public:
  explicit Pad(const IBox& bounds) : IControl(bounds) {}
  void Draw(IGraphics& g) override {
    ++draws;
    g.FillRoundedRect(kTeal, GetRECT(), 12.f);
    g.DrawText(ITextStyle(20.f, COLOR_WHITE), "Drive", GetRECT());
  }
  void OnMouseDown(float x, float y, const IPointerMods&) override {
    events.push_back(Point("down", x, y));
    if (hideOnDown) GetUI()->HidePointer(true, true);
  }
  void OnMouseUp(float x, float y, const IPointerMods&) override {
    events.push_back(Point("up", x, y));
    if (hideOnDown) GetUI()->HidePointer(false, true);
  }
  void OnMouseDrag(float, float, float dX, float dY, const IPointerMods&) override {
    dragX += dX;
    dragY += dY;
  }
  void OnMouseDoubleClick(float x, float y, const IPointerMods&) override {
    events.push_back(Point("double", x, y));
  }
  void OnMouseWheel(float, float, const IPointerMods&, float d) override {
    events.push_back(Point("wheel", d, 0.f));
  }

  std::vector<std::string> events;
  float dragX = 0.f, dragY = 0.f;
  int draws = 0;
  bool hideOnDown = false;
};

// The editor's controls, 650 × 400 points, the same on every platform layer.
Pad* Layout(IGraphics* g) {
  g->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
  g->AddControl(new DrawingControl(IBox(0, 0, 650, 400), [](IGraphics& gr) {
    gr.FillRect(kPaper, IBox(0, 0, 650, 400));
    gr.DrawRoundedRect(kInk, IBox(20, 20, 630, 380), 10.f, nullptr, 2.f);
    gr.FillCircle(kOrange, 480, 175, 70);
    gr.DrawArc(kInk, 480, 175, 80, -135, 135, nullptr, 4.f);
    gr.DrawText(ITextStyle(28.f, kInk), "Corvane", IBox(20, 300, 630, 360));
  }));
  return static_cast<Pad*>(g->AddControl(new Pad(IBox(100, 100, 300, 250))));
}

// An editor whose delegate makes X11 graphics contexts.
struct Editor {
  explicit Editor(float drawScale = 1.f) {
    delegate.SetEditorSize(650, 400);
    delegate.SetGraphicsFactory([this, drawScale] {
      auto* ui = new IGraphicsX11(delegate, 650, 400, 60, drawScale);
      ui->SetPresentOptions(shm, maxRequest);
      return ui;
    });
    delegate.SetLayoutFunction([this](IGraphics* g) { pad = Layout(g); });
  }
  ~Editor() { delegate.CloseWindow(); }
  IGraphicsX11* Open(void* parent) {
    delegate.OpenWindow(parent);
    return UI();
  }
  IGraphicsX11* UI() const { return static_cast<IGraphicsX11*>(delegate.GetUI()); }
  xcb_window_t Window() const {
    return static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(UI()->NativeWindow()));
  }

  TestEditorDelegate delegate;
  Pad* pad = nullptr;
  bool shm = true;
  size_t maxRequest = 0;
};

// What the headless layer draws for the same controls.
Picture HeadlessPicture(float drawScale) {
  TestEditorDelegate delegate;
  delegate.SetEditorSize(650, 400);
  delegate.SetGraphicsFactory(
      [&] { return new IGraphicsHeadless(delegate, 650, 400, 60, drawScale); });
  delegate.SetLayoutFunction([](IGraphics* g) { Layout(g); });
  char parent = 0;
  delegate.OpenWindow(&parent);
  auto* ui = static_cast<IGraphicsHeadless*>(delegate.GetUI());
  ui->Tick();
  Picture picture;
  picture.width = ui->SurfaceWidth();
  picture.height = ui->SurfaceHeight();
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = ui->SurfacePixels() + y * ui->SurfaceStride();
    picture.pixels.insert(picture.pixels.end(), row, row + picture.width * 4);
  }
  delegate.CloseWindow();
  return picture;
}

class X11Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    Xvfb& server = SharedXvfb();
    ASSERT_TRUE(server.Running()) << server.Error();
    setenv("DISPLAY", server.Display().c_str(), 1);
    iplug::SetRunLoop(&loop);
  }
  void TearDown() override { iplug::SetRunLoop(nullptr); }

  /** Runs the loop until a frame is drawn and the server has taken it. */
  void Settle(const IGraphicsX11& ui) {
    ASSERT_TRUE(loop.RunUntil([&] { return ui.FramesPresented() > 0 && !ui.PresentPending(); }));
  }
  /** A round trip on the editor's connection: the server has handled everything it sent. */
  static void SyncEditor(const IGraphicsX11& ui) {
    float x = 0.f, y = 0.f;
    ui.QueryPointerPosition(x, y);
  }

  PollRunLoop loop;
};

TEST_F(X11Editor, WithoutADisplayOrAParentOpeningFailsWithOneLineSayingWhy) {
  Host host(650, 400);
  Editor editor;
  const auto fails = [&](void* parent, const char* reason) {
    EXPECT_EQ(editor.delegate.OpenWindow(parent), nullptr);
    const std::string error = IGraphicsX11::LastError();
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  };
  const std::string display = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  fails(host.ParentHandle(), "DISPLAY is not set");
  setenv("DISPLAY", ":4093", 1);
  fails(host.ParentHandle(), "cannot open X display \":4093\"");
  setenv("DISPLAY", display.c_str(), 1);
  const xcb_window_t unused = xcb_generate_id(host.Connection());
  fails(reinterpret_cast<void*>(static_cast<uintptr_t>(unused)), "does not exist");
  fails(nullptr, "no parent");
  // No attempt kept the connection open.
  EXPECT_EQ(X11Display::Current(), nullptr);
  EXPECT_EQ(loop.Watches(), 0);
}

TEST_F(X11Editor, TheWindowTakesTheDesktopScaleAndFollowsTheEditorsSize) {
  {
    Host host(650, 400);
    Editor editor;
    IGraphicsX11* ui = editor.Open(host.ParentHandle());
    ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
    const Host::Geometry g = host.GeometryOf(editor.Window());
    EXPECT_EQ((std::vector<int>{g.x, g.y, g.width, g.height}), (std::vector<int>{0, 0, 650, 400}));
    EXPECT_EQ(g.parent, host.Parent());
    EXPECT_STREQ(ui->PlatformName(), "x11");
    EXPECT_EQ(ui->WindowScale(), 1.f);
    EXPECT_EQ(loop.TimerIntervals(), std::vector<int>{15});

    // The host leaves the resizing to the editor: its window grows by as much as ours.
    ui->Resize(700, 450, 1.f);
    SyncEditor(*ui);
    EXPECT_EQ(host.GeometryOf(editor.Window()).width, 700);
    EXPECT_EQ(host.GeometryOf(host.Parent()).height, 450);
    EXPECT_EQ(ui->SurfaceWidth(), 700);
  }
  Host host(1300, 800);
  host.SetResources("Xft.antialias:\t1\nXft.dpi:\t192\n");
  Editor editor;
  IGraphicsX11* ui = editor.Open(host.ParentHandle());
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  EXPECT_EQ(host.GeometryOf(editor.Window()).width, 1300);
  EXPECT_EQ(host.GeometryOf(editor.Window()).height, 800);
  EXPECT_EQ(ui->WindowScale(), 2.f);
  EXPECT_EQ(ui->SurfaceWidth(), 1300);

  // The desktop goes back to 96 dpi while the editor is open.
  host.SetResources("Xft.dpi:\t96\n");
  ASSERT_TRUE(loop.RunUntil([&] { return ui->WindowScale() == 1.f; }));
  SyncEditor(*ui);
  EXPECT_EQ(host.GeometryOf(editor.Window()).width, 650);
  EXPECT_EQ(host.GeometryOf(host.Parent()).height, 400);
}

TEST_F(X11Editor, TheWindowShowsWhatTheHeadlessLayerDrawsAndExposuresRepaintIt) {
  // Through shared memory at zoom 1; at zoom 1.5 through PutImage in bands of 64 KiB.
  for (const bool shm : {true, false}) {
    const float zoom = shm ? 1.f : 1.5f;
    const std::string name = shm ? "shm_ds1" : "bands_ds1.5";
    Host host(static_cast<int>(650 * zoom), static_cast<int>(400 * zoom));
    Editor editor(zoom);
    editor.shm = shm;
    editor.maxRequest = 64 * 1024;
    IGraphicsX11* ui = editor.Open(host.ParentHandle());
    ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
    EXPECT_EQ(ui->UsesSharedMemory(), shm);
    Settle(*ui);
    const Picture expected = HeadlessPicture(zoom);
    const Picture shown = host.Capture(editor.Window());
    EXPECT_TRUE(SamePicture(shown.View(), expected.View(), X11_OUTPUT_DIR, name));
    WritePng(shown.View(), std::string(X11_OUTPUT_DIR) + "/" + name + ".window.png");

    // A window over ours, gone again: what it left is painted over from the frame kept.
    const int draws = editor.pad->draws, frames = ui->FramesPresented();
    xcb_connection_t* c = host.Connection();
    const xcb_window_t cover = xcb_generate_id(c);
    const uint32_t red[] = {0xff0000};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, cover, host.Root(), 0, 0, 500, 300, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, red);
    xcb_map_window(c, cover);
    host.Sync();
    xcb_destroy_window(c, cover);
    host.Sync();
    loop.RunUntil([&] {
      return DifferingShare(host.Capture(editor.Window()).View(), expected.View()) == 0.0;
    });
    EXPECT_TRUE(SamePicture(host.Capture(editor.Window()).View(), expected.View(), X11_OUTPUT_DIR,
                            name + "_exposed"));
    EXPECT_EQ(editor.pad->draws, draws);
    EXPECT_EQ(ui->FramesPresented(), frames);
  }
}

TEST_F(X11Editor, PointerInputArrivesInPointsWithDoubleClicksAndWheelSteps) {
  Host host(975, 600);
  Editor editor(1.5f);
  IGraphicsX11* ui = editor.Open(host.ParentHandle());
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  Settle(*ui);
  Pad& pad = *editor.pad;
  const xcb_window_t w = editor.Window();
  const auto expect = [&](const std::vector<std::string>& events) {
    loop.RunUntil([&] { return pad.events.size() >= events.size(); });
    loop.RunFor(20);
    EXPECT_EQ(pad.events, events);
    pad.events.clear();
  };

  host.MovePointer(w, 150, 150);
  host.Button(1, true);
  host.MovePointer(w, 225, 180);
  host.MovePointer(w, 300, 225);
  host.Button(1, false);
  expect({"down 100,100", "up 200,150"});
  EXPECT_FLOAT_EQ(pad.dragX, 100.f);
  EXPECT_FLOAT_EQ(pad.dragY, 50.f);

  host.MovePointer(w, 240, 210);
  host.Click(1);
  host.Click(1);
  expect({"down 160,140", "up 160,140", "double 160,140"});
  host.Click(1);
  loop.RunFor(600);
  host.Click(1);
  expect({"down 160,140", "up 160,140", "down 160,140", "up 160,140"});

  host.Click(4);
  host.Click(5);
  host.Click(6);
  expect({"wheel 1,0", "wheel -1,0"});
}

TEST_F(X11Editor, AHiddenLockedPointerStaysWhereItWasWhileTheDragGoesOn) {
  Host host(650, 400);
  Editor editor;
  IGraphicsX11* ui = editor.Open(host.ParentHandle());
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  Settle(*ui);
  Pad& pad = *editor.pad;
  pad.hideOnDown = true;
  const xcb_window_t w = editor.Window();
  int x = 0, y = 0;

  host.MovePointer(w, 150, 150);
  host.Button(1, true);
  ASSERT_TRUE(loop.RunUntil([&] { return !pad.events.empty(); }));
  host.MovePointer(w, 180, 150);
  ASSERT_TRUE(loop.RunUntil([&] { return pad.dragX >= 30.f; }));
  SyncEditor(*ui);
  host.PointerIn(w, x, y);
  EXPECT_EQ(x, 150);
  EXPECT_EQ(y, 150);
  host.MovePointer(w, 170, 160);
  ASSERT_TRUE(loop.RunUntil([&] { return pad.dragX >= 50.f; }));
  EXPECT_FLOAT_EQ(pad.dragY, 10.f);
  host.MovePointer(w, 250, 250);
  host.Button(1, false);
  ASSERT_TRUE(loop.RunUntil([&] { return pad.events.size() == 2; }));
  SyncEditor(*ui);
  host.PointerIn(w, x, y);
  EXPECT_EQ(x, 150);
  EXPECT_EQ(y, 150);

  // Every shape the enumeration has is a glyph the cursor font has.
  const int errors = X11Display::ProtocolErrors();
  for (int shape = 0; shape <= static_cast<int>(ECursor::Help); ++shape)
    ui->SetPointerShape(static_cast<ECursor>(shape));
  SyncEditor(*ui);
  loop.RunFor(50);
  EXPECT_EQ(X11Display::ProtocolErrors(), errors);
}

TEST_F(X11Editor, KeysTheEditorLeavesAloneGoOnToTheHostsTopLevelWindow) {
  Host host(650, 400);
  Editor editor;
  IGraphicsX11* ui = editor.Open(host.ParentHandle());
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  std::vector<std::string> handled;
  ui->SetKeyHandlerFunc([&](const IKeyEvent& key, bool isUp) {
    if (key.VK != 0x41) return false;
    handled.push_back(std::string(key.utf8) + (key.S ? " shift" : "") + (isUp ? " up" : " down"));
    return true;
  });
  host.MovePointer(editor.Window(), 20, 20);
  for (const uint32_t sym : {XKB_KEY_a, XKB_KEY_Shift_L, XKB_KEY_a, XKB_KEY_space}) {
    host.Key(sym, true);
    if (sym != XKB_KEY_Shift_L) host.Key(sym, false);
  }
  host.Key(XKB_KEY_Shift_L, false);
  ASSERT_TRUE(loop.RunUntil([&] { return host.KeysSentToTop().size() >= 4; }));
  EXPECT_EQ(handled, (std::vector<std::string>{"a down", "a up", "A shift down", "A shift up"}));
  const std::string shift = std::to_string(host.Keycode(XKB_KEY_Shift_L));
  const std::string space = std::to_string(host.Keycode(XKB_KEY_space));
  EXPECT_EQ(host.KeysSentToTop(),
            (std::vector<std::string>{"press " + shift, "press " + space, "release " + space,
                                      "release " + shift}));
}

TEST_F(X11Editor, EditorsShareOneConnectionThatTheLastToCloseCloses) {
  Host host(650, 400);
  auto first = std::make_unique<Editor>();
  auto second = std::make_unique<Editor>();
  ASSERT_NE(first->Open(host.ParentHandle())->NativeWindow(), nullptr);
  ASSERT_NE(second->Open(host.ParentHandle())->NativeWindow(), nullptr);
  X11Display* display = X11Display::Current();
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(display->References(), 2);
  EXPECT_EQ(loop.Watches(), 1);
  EXPECT_EQ(loop.TimerIntervals().size(), 2u);

  first.reset();
  EXPECT_EQ(X11Display::Current(), display);
  EXPECT_EQ(loop.TimerIntervals().size(), 1u);
  Settle(*second->UI());
  second.reset();
  EXPECT_EQ(X11Display::Current(), nullptr);
  EXPECT_EQ(loop.Watches(), 0);
  EXPECT_TRUE(loop.TimerIntervals().empty());
}

// The server's vertical blanks drive the tick where it counts them (Xvfb does, at its own
// pace), and the timer stands by: a pad changed between blanks is drawn at the next one.
TEST_F(X11Editor, TheDisplayTicksOnTheServersVerticalBlanks) {
  Host host(650, 400);
  Editor editor;
  IGraphicsX11* ui = editor.Open(host.ParentHandle());
  ASSERT_NE(ui, nullptr);
  Settle(*ui);
  ASSERT_TRUE(loop.RunUntil([&] { return ui->VerticalBlankTicks() >= 3; }, 2000))
      << "no vertical blanks arrived";
  const int frames = ui->FramesPresented();
  editor.pad->SetDirty(false);
  ASSERT_TRUE(loop.RunUntil([&] { return ui->FramesPresented() > frames; }, 2000));
}

TEST_F(X11Editor, AParentDestroyedFirstLeavesAClosedEditorBehind) {
  {
    Host host(650, 400);
    Editor editor;
    IGraphicsX11* ui = editor.Open(host.ParentHandle());
    Settle(*ui);
    xcb_destroy_window(host.Connection(), host.Parent());
    host.Sync();
    ASSERT_TRUE(loop.RunUntil([&] { return ui->NativeWindow() == nullptr; }));
    EXPECT_TRUE(loop.TimerIntervals().empty());
    ui->SetAllControlsDirty();
    ui->Tick();
    ui->Resize(700, 450, 1.f);
  }
  // Gone before the news arrives: closing meets a window that is no more.
  const int errors = X11Display::ProtocolErrors();
  Host host(650, 400);
  Editor editor;
  ASSERT_NE(editor.Open(host.ParentHandle())->NativeWindow(), nullptr);
  xcb_destroy_window(host.Connection(), host.Parent());
  host.Sync();
  editor.delegate.CloseWindow();
  EXPECT_EQ(X11Display::ProtocolErrors(), errors);
}

TEST_F(X11Editor, AKilledServerLeavesClosedEditorsAndIsToldOnce) {
  {
    Xvfb doomed;
    ASSERT_TRUE(doomed.Running()) << doomed.Error();
    setenv("DISPLAY", doomed.Display().c_str(), 1);
    Host host(650, 400);
    Editor first, second;
    ASSERT_NE(first.Open(host.ParentHandle())->NativeWindow(), nullptr);
    ASSERT_NE(second.Open(host.ParentHandle())->NativeWindow(), nullptr);
    Settle(*first.UI());

    ::testing::internal::CaptureStderr();
    doomed.Kill();
    const bool closed =
        loop.RunUntil([&] { return !first.UI()->NativeWindow() && !second.UI()->NativeWindow(); });
    // Working on as closed editors.
    first.UI()->SetAllControlsDirty();
    first.UI()->Tick();
    first.UI()->SetPointerShape(ECursor::Hand);
    float x = 0.f, y = 0.f;
    second.UI()->QueryPointerPosition(x, y);
    second.UI()->Resize(700, 450, 1.f);
    loop.RunFor(50);
    const std::string told = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(closed);
    EXPECT_EQ(told, "corvane: lost the connection to X display \"" + doomed.Display() + "\"\n");
    EXPECT_NE(std::string(IGraphicsX11::LastError()).find("lost the connection"),
              std::string::npos);
    EXPECT_EQ(X11Display::Current(), nullptr);
    EXPECT_EQ(loop.Watches(), 0);
    EXPECT_TRUE(loop.TimerIntervals().empty());
  }
  // The next editor opens a new connection.
  setenv("DISPLAY", SharedXvfb().Display().c_str(), 1);
  Host host(650, 400);
  Editor editor;
  EXPECT_NE(editor.Open(host.ParentHandle())->NativeWindow(), nullptr) << IGraphicsX11::LastError();
}

}  // namespace
