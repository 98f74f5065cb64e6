#pragma once

#include <cairo.h>
#include <xcb/xcb.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/IGraphicsStructs.h"
#include "graphics/x11/X11Display.h"

namespace iplug::igraphics::cairo_backend {
class CairoTypeface;
}

namespace iplug::igraphics::x11 {

/**
 * An item's text as the menu shows it: with its 1-based number in front when the menu asks for
 * one ("%1d: %s", "%02d: %s", "%03d: %s" for the settings 1, 2, 3). An '&' stays an '&'.
 */
std::string MenuItemLabel(const IMenuModel& menu, int idx);

/** Where an item sits in its panel, in pixels from the panel's top-left corner. */
struct MenuItemBox {
  int x = 0, y = 0, w = 0, h = 0;
};

/** A panel's items and size; textWidth measures a label in pixels at the panel's scale. */
struct MenuPanelLayout {
  std::vector<MenuItemBox> items;
  int width = 0;
  int height = 0;
  int columns = 0;
};
MenuPanelLayout LayOutMenuPanel(const IMenuModel& menu, float scale,
                                const std::function<double(const std::string&)>& textWidth);

/** Whether an item can be chosen or highlighted: not a separator, a title or disabled. */
bool MenuItemSelectable(const IMenuModel& menu, int idx);

/**
 * An open popup menu: one override-redirect window per open (sub)menu level, drawn with Cairo,
 * holding the pointer and keyboard grabs while it is open. It never waits for the user: the
 * editor hands it its events and learns from each whether the menu is done.
 *
 * Main thread only.
 */
class X11Menu {
 public:
  enum class Outcome { Open, Chosen, Dismissed };

  /**
   * scale: window pixels per point (draw scale × screen scale). fontID: the editor's loaded
   * font the items are written in; the system's sans-serif where it is not loaded. Cairo's
   * lookup of that one keeps fontconfig memory it never frees, so the editor's face comes first.
   */
  X11Menu(X11Display& display, IMenuModel& menu, float scale, const char* fontID = nullptr);
  ~X11Menu();
  X11Menu(const X11Menu&) = delete;
  X11Menu& operator=(const X11Menu&) = delete;

  /**
   * Opens the top panel at (x, y) of the screen whose root this is, or above anchorTop when it
   * would not fit below; false when the screen cannot show it.
   */
  bool Show(xcb_window_t root, int x, int y, int anchorTop);

  bool Owns(xcb_window_t window) const;
  /**
   * Any event while the menu is open. consumed: the editor must not see it. On Chosen, chosen is
   * the (sub)menu with its chosen index set; its completion is the caller's to run.
   */
  Outcome HandleEvent(const xcb_generic_event_t& event, bool& consumed, IMenuModel*& chosen);

  // ---- For tests ----
  /** The panels' windows, top menu first. */
  std::vector<xcb_window_t> Windows() const;
  int Highlighted(int level) const;
  /** An item's rectangle in root coordinates; all 0 outside the open panels. */
  MenuItemBox ItemOnScreen(int level, int item) const;
  /** The panel's pixels, ARGB32 rows. */
  cairo_surface_t* PanelSurface(int level) const;

 private:
  struct Panel {
    IMenuModel* model = nullptr;
    xcb_window_t window = XCB_NONE;
    int x = 0, y = 0;
    MenuPanelLayout layout;
    int hot = -1;
    cairo_surface_t* surface = nullptr;
  };

  bool OpenPanel(IMenuModel& model, int x, int y, int altY);
  void ClosePanelsAfter(size_t level);
  void Draw(Panel& panel);
  void Present(const Panel& panel);
  /** The deepest panel and item at a root position; false outside every panel. */
  bool Hit(int rootX, int rootY, int& level, int& item) const;
  void SetHot(size_t level, int item);
  void OpenSubmenuOf(size_t level, bool highlightFirst);
  void Step(int direction);
  Outcome Choose(size_t level, int item, IMenuModel*& chosen);
  Outcome OnKey(const xcb_key_press_event_t& event, IMenuModel*& chosen);

  X11Display& mDisplay;
  IMenuModel& mMenu;
  float mScale;
  std::shared_ptr<const cairo_backend::CairoTypeface> mFace;
  xcb_window_t mRoot = XCB_NONE;
  xcb_visualid_t mVisual = 0;
  uint8_t mDepth = 0;
  int mScreenW = 0, mScreenH = 0;
  xcb_gcontext_t mGC = XCB_NONE;
  bool mPointerGrabbed = false;
  bool mKeyboardGrabbed = false;
  std::vector<Panel> mPanels;
};

}  // namespace iplug::igraphics::x11
