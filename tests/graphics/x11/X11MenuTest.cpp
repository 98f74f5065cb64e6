#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <filesystem>
#include <string>
#include <vector>

#include "HeadlessTestSupport.h"
#include "X11TestSupport.h"
#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11Menu.h"

// fontconfig's configuration, loaded once by the menus' and the font lookup's first use, stays
// for the life of the process by design; its being there at exit is no leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

using namespace headless_test;
using namespace x11_test;
using iplug::igraphics::x11::LayOutMenuPanel;
using iplug::igraphics::x11::MenuItemBox;
using iplug::igraphics::x11::MenuItemLabel;
using iplug::igraphics::x11::MenuItemSelectable;

double Width(const std::string& s) {
  return 7.0 * static_cast<double>(s.size());
}

TEST(X11MenuLayout, PrefixesNumberItemsFromOneAndKeepAmpersands) {
  IMenuModel menu;
  for (int i = 0; i < 12; ++i) menu.AddItem("Salt & Pepper");
  EXPECT_EQ(MenuItemLabel(menu, 0), "Salt & Pepper");
  menu.SetNumberingPrefix(1);
  EXPECT_EQ(MenuItemLabel(menu, 0), "1: Salt & Pepper");
  EXPECT_EQ(MenuItemLabel(menu, 11), "12: Salt & Pepper");
  menu.SetNumberingPrefix(2);
  EXPECT_EQ(MenuItemLabel(menu, 4), "05: Salt & Pepper");
  menu.SetNumberingPrefix(3);
  EXPECT_EQ(MenuItemLabel(menu, 9), "010: Salt & Pepper");
  // Settings beyond the three known mean no prefix rather than a wrong one.
  menu.SetNumberingPrefix(4);
  EXPECT_EQ(MenuItemLabel(menu, 0), "Salt & Pepper");
  EXPECT_EQ(MenuItemLabel(menu, 12), "");
}

TEST(X11MenuLayout, ColumnsBreakAtMultiplesOfTheItemsPerColumnBelow160Items) {
  IMenuModel menu;
  for (int i = 0; i < 5; ++i) menu.AddItem("Item");
  menu.SetItemsPerColumn(2);
  const auto layout = LayOutMenuPanel(menu, 1.f, Width);
  EXPECT_EQ(layout.columns, 3);
  EXPECT_EQ(layout.items[2].y, layout.items[0].y);
  EXPECT_GT(layout.items[2].x, layout.items[1].x);
  EXPECT_EQ(layout.items[1].x, layout.items[0].x);
  EXPECT_GT(layout.items[1].y, layout.items[0].y);
  EXPECT_GE(layout.width, layout.items[4].x + layout.items[4].w);

  IMenuModel tall;
  for (int i = 0; i < 160; ++i) tall.AddItem("Item");
  tall.SetItemsPerColumn(10);
  EXPECT_EQ(LayOutMenuPanel(tall, 1.f, Width).columns, 1);

  // Twice the scale, twice the pixels.
  EXPECT_EQ(LayOutMenuPanel(menu, 2.f, Width).items[1].y, 2 * layout.items[1].y);
}

TEST(X11MenuLayout, SeparatorsTitlesAndDisabledItemsCannotBeChosen) {
  IMenuModel menu;
  menu.AddItem("A");
  menu.AddSeparator();
  menu.AddItem("Title", IMenuEntry::kTitle);
  menu.AddItem("Off", IMenuEntry::kDisabled);
  menu.AddItem("On", IMenuEntry::kChecked);
  EXPECT_TRUE(MenuItemSelectable(menu, 0));
  EXPECT_FALSE(MenuItemSelectable(menu, 1));
  EXPECT_FALSE(MenuItemSelectable(menu, 2));
  EXPECT_FALSE(MenuItemSelectable(menu, 3));
  EXPECT_TRUE(MenuItemSelectable(menu, 4));
  const auto layout = LayOutMenuPanel(menu, 1.f, Width);
  EXPECT_LT(layout.items[1].h, layout.items[0].h);
}

// A control that opens a value menu when pressed and keeps what the menu answered.
class MenuButton : public IControl {
 public:
  explicit MenuButton(const IBox& bounds) : IControl(bounds) {
    menu.SetNumberingPrefix(2);
    menu.SetItemsPerColumn(4);
    menu.AddItem("Alpha");
    menu.AddItem("Salt & Pepper", IMenuEntry::kChecked);
    menu.AddSeparator();
    menu.AddItem("Off", IMenuEntry::kDisabled);
    auto* more = new IMenuModel();
    more->AddItem("Deep one");
    more->AddItem("Deep two");
    menu.AddItem(new IMenuEntry("More", more));
    menu.AddItem("Last");
  }
  void Draw(IGraphics& g) override { g.FillRect(IArgb(255, 90, 120, 160), GetRECT()); }
  void OnMouseDown(float, float, const IPointerMods&) override {
    GetUI()->OpenMenu(this, menu, GetRECT(), 0, false);
  }
  void OnMenuResult(IMenuModel* chosen, int) override {
    results.push_back(chosen ? chosen->ChosenItemIdx() : -1);
    from.push_back(chosen);
  }
  IMenuModel menu;
  std::vector<int> results;
  std::vector<IMenuModel*> from;
};

class X11PopupMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    Xvfb& server = SharedXvfb();
    ASSERT_TRUE(server.Running()) << server.Error();
    setenv("DISPLAY", server.Display().c_str(), 1);
    iplug::SetRunLoop(&loop);
    delegate.SetEditorSize(400, 300);
    delegate.SetGraphicsFactory([this] { return new IGraphicsX11(delegate, 400, 300, 60); });
    delegate.SetLayoutFunction([this](IGraphics* g) {
      g->AddControl(new DrawingControl(IBox(0, 0, 400, 300), [](IGraphics& gr) {
        gr.FillRect(IArgb(255, 240, 240, 236), IBox(0, 0, 400, 300));
      }));
      button = static_cast<MenuButton*>(g->AddControl(new MenuButton(IBox(40, 50, 160, 80))));
    });
  }
  void TearDown() override {
    delegate.CloseWindow();
    iplug::SetRunLoop(nullptr);
  }
  IGraphicsX11* UI() { return static_cast<IGraphicsX11*>(delegate.GetUI()); }
  xcb_window_t Window() {
    return static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(UI()->NativeWindow()));
  }
  /** Presses the button and waits for its menu. */
  const iplug::igraphics::x11::X11Menu* OpenMenu(Host& host) {
    // Never where the last press was, which would make it a double click.
    host.MovePointer(Window(), (mOpened++ % 2) ? 60 : 120, 65);
    host.Click(1);
    loop.RunUntil([&] { return UI()->OpenPopupMenu() != nullptr; });
    loop.RunFor(30);
    return UI()->OpenPopupMenu();
  }
  void MoveTo(Host& host, const MenuItemBox& b) {
    host.MovePointer(host.Root(), b.x + b.w / 2, b.y + b.h / 2);
    loop.RunFor(30);
  }
  void Press(Host& host, uint32_t keysym) {
    host.Key(keysym, true);
    host.Key(keysym, false);
    loop.RunFor(30);
  }

  PollRunLoop loop;
  TestEditorDelegate delegate;
  MenuButton* button = nullptr;
  int mOpened = 0;
};

TEST_F(X11PopupMenu, OpensBelowTheControlAndAnswersLaterWithTheItemClicked) {
  Host host(400, 300);
  ASSERT_NE(delegate.OpenWindow(host.ParentHandle()), nullptr) << IGraphicsX11::LastError();
  const auto* menu = OpenMenu(host);
  ASSERT_NE(menu, nullptr);
  // Asynchronous: nothing was answered while the menu opened.
  EXPECT_TRUE(button->results.empty());
  ASSERT_EQ(menu->Windows().size(), 1u);
  // The editor's window is at (15, 25) of the root; the control's bottom-left at (40, 80).
  const Host::Geometry g = host.GeometryOf(menu->Windows()[0]);
  EXPECT_EQ(g.x, 15 + 40);
  EXPECT_EQ(g.y, 25 + 80);
  EXPECT_EQ(g.parent, host.Root());
  // Four items a column: "More" (index 4) starts the second column.
  EXPECT_GT(menu->ItemOnScreen(0, 4).x, menu->ItemOnScreen(0, 3).x);
  EXPECT_EQ(menu->ItemOnScreen(0, 4).y, menu->ItemOnScreen(0, 0).y);
  EXPECT_GT(menu->ItemOnScreen(0, 5).y, menu->ItemOnScreen(0, 4).y);

  // Looked at by eye: numbered items, a literal '&', the check, the greyed item, the arrow.
  const std::string dir = X11_OUTPUT_DIR;
  std::filesystem::create_directories(dir);
  const Picture shot = host.Capture(menu->Windows()[0]);
  EXPECT_TRUE(WritePng(shot.View(), dir + "/menu-open.png"));

  // The disabled item takes no click and leaves the menu open.
  MoveTo(host, menu->ItemOnScreen(0, 3));
  host.Click(1);
  loop.RunFor(30);
  ASSERT_NE(UI()->OpenPopupMenu(), nullptr);
  EXPECT_TRUE(button->results.empty());

  MoveTo(host, menu->ItemOnScreen(0, 1));
  EXPECT_EQ(menu->Highlighted(0), 1);
  host.Click(1);
  ASSERT_TRUE(loop.RunUntil([&] { return !button->results.empty(); }));
  EXPECT_EQ(button->results, std::vector<int>{1});
  EXPECT_EQ(button->from[0], &button->menu);
  EXPECT_EQ(UI()->OpenPopupMenu(), nullptr);
}

TEST_F(X11PopupMenu, HoveringASubmenuOpensItBesideItsItemAndItsItemsCanBeClicked) {
  Host host(400, 300);
  ASSERT_NE(delegate.OpenWindow(host.ParentHandle()), nullptr) << IGraphicsX11::LastError();
  const auto* menu = OpenMenu(host);
  ASSERT_NE(menu, nullptr);
  const MenuItemBox more = menu->ItemOnScreen(0, 4);
  MoveTo(host, more);
  ASSERT_EQ(menu->Windows().size(), 2u);
  const Host::Geometry sub = host.GeometryOf(menu->Windows()[1]);
  EXPECT_GE(sub.x, more.x + more.w);
  EXPECT_LE(std::abs(sub.y - more.y), 8);
  const Picture shot = host.Capture(menu->Windows()[1]);
  EXPECT_TRUE(WritePng(shot.View(), std::string(X11_OUTPUT_DIR) + "/menu-submenu.png"));

  MoveTo(host, menu->ItemOnScreen(1, 1));
  host.Click(1);
  ASSERT_TRUE(loop.RunUntil([&] { return !button->results.empty(); }));
  EXPECT_EQ(button->results, std::vector<int>{1});
  EXPECT_EQ(button->from[0], button->menu.GetItem(4)->Submenu());
}

TEST_F(X11PopupMenu, KeysMoveOverSelectableItemsOpenSubmenusAndChoose) {
  Host host(400, 300);
  ASSERT_NE(delegate.OpenWindow(host.ParentHandle()), nullptr) << IGraphicsX11::LastError();
  const auto* menu = OpenMenu(host);
  ASSERT_NE(menu, nullptr);
  Press(host, XKB_KEY_Down);
  EXPECT_EQ(menu->Highlighted(0), 0);
  Press(host, XKB_KEY_Down);
  Press(host, XKB_KEY_Down);
  // The separator and the disabled item are stepped over.
  EXPECT_EQ(menu->Highlighted(0), 4);
  Press(host, XKB_KEY_Up);
  EXPECT_EQ(menu->Highlighted(0), 1);
  Press(host, XKB_KEY_Down);
  Press(host, XKB_KEY_Right);
  ASSERT_EQ(menu->Windows().size(), 2u);
  EXPECT_EQ(menu->Highlighted(1), 0);
  Press(host, XKB_KEY_Left);
  EXPECT_EQ(menu->Windows().size(), 1u);
  Press(host, XKB_KEY_Right);
  Press(host, XKB_KEY_Down);
  Press(host, XKB_KEY_Return);
  ASSERT_TRUE(loop.RunUntil([&] { return !button->results.empty(); }));
  EXPECT_EQ(button->results, std::vector<int>{1});
  EXPECT_EQ(button->from[0], button->menu.GetItem(4)->Submenu());

  // Escape answers that nothing was chosen.
  ASSERT_NE(OpenMenu(host), nullptr);
  Press(host, XKB_KEY_Escape);
  ASSERT_TRUE(loop.RunUntil([&] { return button->results.size() == 2; }));
  EXPECT_EQ(button->results[1], -1);
  EXPECT_EQ(UI()->OpenPopupMenu(), nullptr);
}

TEST_F(X11PopupMenu, AClickOutsideDismissesItWithoutAChoiceAndReachesNoControl) {
  Host host(400, 300);
  ASSERT_NE(delegate.OpenWindow(host.ParentHandle()), nullptr) << IGraphicsX11::LastError();
  const auto* menu = OpenMenu(host);
  ASSERT_NE(menu, nullptr);
  const xcb_window_t panel = menu->Windows()[0];
  // Inside the editor but away from the menu: the grab makes it a click outside the menu,
  // and the button under it is not pressed again.
  host.MovePointer(Window(), 350, 20);
  host.Click(1);
  ASSERT_TRUE(loop.RunUntil([&] { return !button->results.empty(); }));
  EXPECT_EQ(button->results, std::vector<int>{-1});
  EXPECT_EQ(UI()->OpenPopupMenu(), nullptr);
  host.Sync();
  EXPECT_EQ(host.GeometryOf(panel).width, 0);
}

TEST_F(X11PopupMenu, ClosingTheEditorWithTheMenuOpenTakesTheMenuAlong) {
  Host host(400, 300);
  ASSERT_NE(delegate.OpenWindow(host.ParentHandle()), nullptr) << IGraphicsX11::LastError();
  const auto* menu = OpenMenu(host);
  ASSERT_NE(menu, nullptr);
  MoveTo(host, menu->ItemOnScreen(0, 4));
  const std::vector<xcb_window_t> panels = menu->Windows();
  ASSERT_EQ(panels.size(), 2u);
  delegate.CloseWindow();
  host.Sync();
  for (xcb_window_t w : panels) EXPECT_EQ(host.GeometryOf(w).width, 0);
  // The pointer is free again: the host's own window gets its clicks.
  xcb_grab_pointer_reply_t* grab = xcb_grab_pointer_reply(
      host.Connection(),
      xcb_grab_pointer(host.Connection(), 0, host.Top(), XCB_EVENT_MASK_BUTTON_PRESS,
                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                       XCB_CURRENT_TIME),
      nullptr);
  ASSERT_NE(grab, nullptr);
  EXPECT_EQ(grab->status, XCB_GRAB_STATUS_SUCCESS);
  std::free(grab);
  xcb_ungrab_pointer(host.Connection(), XCB_CURRENT_TIME);
  host.Sync();
  loop.RunFor(30);
}

}  // namespace
