#include "graphics/x11/X11Menu.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "graphics/cairo/CairoFonts.h"
#include "graphics/x11/X11Support.h"

namespace iplug::igraphics::x11 {

namespace {

// Sizes in points, scaled to pixels: items tall enough to hit with a mouse, margins that leave
// room for the check mark on the left and the submenu arrow on the right.
constexpr double kItemHeight = 22.0;
constexpr double kSeparatorHeight = 9.0;
constexpr double kCheckMargin = 24.0;
constexpr double kArrowMargin = 24.0;
constexpr double kFontSize = 13.0;
constexpr double kPadding = 4.0;
constexpr double kMinColumnWidth = 80.0;
// Column breaks are not honoured in menus this long, where they would make a wall of columns.
constexpr int kMaxItemsForColumns = 160;

// The virtual keys the menu reacts to.
constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;

constexpr uint32_t kPanelEvents = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                  XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                                  XCB_EVENT_MASK_KEY_PRESS;

// Titles in the editor's face are drawn heavier by stroking their outline this wide, in points:
// the face has no bold of its own.
constexpr double kTitleEmbolden = 0.45;

void SetFont(cairo_t* cr, const cairo_backend::CairoTypeface* face, float scale, bool bold) {
  if (face) {
    cairo_set_font_face(cr, face->Face());
  } else {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }
  cairo_set_font_size(cr, kFontSize * scale);
}

bool IsTitle(const IMenuModel& menu, int idx) {
  const IMenuEntry* item = menu.GetItem(idx);
  return item && (item->GetFlags() & IMenuEntry::kTitle);
}

}  // namespace

std::string MenuItemLabel(const IMenuModel& menu, int idx) {
  const IMenuEntry* item = menu.GetItem(idx);
  if (!item) return {};
  static const char* const kFormats[] = {"%1d: %s", "%02d: %s", "%03d: %s"};
  const int prefix = menu.NumberingPrefix();
  if (prefix < 1 || prefix > 3) return item->Text();
  const int n = std::snprintf(nullptr, 0, kFormats[prefix - 1], idx + 1, item->Text().c_str());
  std::string text(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
  std::snprintf(text.data(), text.size(), kFormats[prefix - 1], idx + 1, item->Text().c_str());
  text.resize(static_cast<size_t>(std::max(n, 0)));
  return text;
}

bool MenuItemSelectable(const IMenuModel& menu, int idx) {
  const IMenuEntry* item = menu.GetItem(idx);
  return item && !(item->GetFlags() &
                   (IMenuEntry::kSeparator | IMenuEntry::kTitle | IMenuEntry::kDisabled));
}

MenuPanelLayout LayOutMenuPanel(const IMenuModel& menu, float scale,
                                const std::function<double(const std::string&)>& textWidth) {
  MenuPanelLayout layout;
  const int n = menu.NItems();
  const int perColumn =
      menu.ItemsPerColumn() > 0 && n < kMaxItemsForColumns ? menu.ItemsPerColumn() : 0;
  const int pad = static_cast<int>(std::lround(kPadding * scale));
  const int itemH = static_cast<int>(std::lround(kItemHeight * scale));
  const int sepH = static_cast<int>(std::lround(kSeparatorHeight * scale));
  const int margins = static_cast<int>(std::lround((kCheckMargin + kArrowMargin) * scale));
  const int minW = static_cast<int>(std::lround(kMinColumnWidth * scale));

  layout.items.resize(static_cast<size_t>(n));
  int columnX = pad, y = pad, columnW = minW, columnStart = 0;
  const auto endColumn = [&](int end) {
    for (int i = columnStart; i < end; ++i) {
      layout.items[static_cast<size_t>(i)].x = columnX;
      layout.items[static_cast<size_t>(i)].w = columnW;
    }
    layout.height = std::max(layout.height, y + pad);
    columnX += columnW;
    ++layout.columns;
  };
  for (int i = 0; i < n; ++i) {
    if (perColumn > 0 && i > 0 && i % perColumn == 0) {
      endColumn(i);
      columnStart = i;
      columnW = minW;
      y = pad;
    }
    const IMenuEntry* item = menu.GetItem(i);
    const int h = item->IsSeparator() ? sepH : itemH;
    layout.items[static_cast<size_t>(i)].y = y;
    layout.items[static_cast<size_t>(i)].h = h;
    y += h;
    if (!item->IsSeparator())
      columnW = std::max(columnW,
                         static_cast<int>(std::ceil(textWidth(MenuItemLabel(menu, i)))) + margins);
  }
  endColumn(n);
  layout.width = columnX + pad;
  layout.height = std::max(layout.height, 2 * pad + itemH / 2);
  return layout;
}

X11Menu::X11Menu(X11Display& display, IMenuModel& menu, float scale, const char* fontID)
    : mDisplay(display),
      mMenu(menu),
      mScale(scale > 0.f ? scale : 1.f),
      mFace(fontID ? cairo_backend::FindTypeface(fontID) : nullptr) {}

X11Menu::~X11Menu() {
  ClosePanelsAfter(0);
  if (mPanels.size() == 1) {
    if (mPanels[0].surface) cairo_surface_destroy(mPanels[0].surface);
    if (xcb_connection_t* c = mDisplay.Connection()) xcb_destroy_window(c, mPanels[0].window);
    mPanels.clear();
  }
  if (xcb_connection_t* c = mDisplay.Connection()) {
    if (mPointerGrabbed) xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    if (mKeyboardGrabbed) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    if (mGC != XCB_NONE) xcb_free_gc(c, mGC);
    // A menu that has answered is gone: its windows and grabs are no more by the time its
    // answer reaches the control, which may open another at once (or a host look for them).
    mDisplay.Sync();
  }
}

bool X11Menu::Show(xcb_window_t root, int x, int y, int anchorTop) {
  xcb_connection_t* c = mDisplay.Connection();
  const xcb_screen_t* screen = mDisplay.ScreenOfRoot(root);
  if (!c || !screen || mMenu.NItems() == 0) return false;
  mDepth = mDisplay.DirectDepthOf(*screen, screen->root_visual);
  if (mDepth == 0) return false;
  mRoot = root;
  mVisual = screen->root_visual;
  mScreenW = screen->width_in_pixels;
  mScreenH = screen->height_in_pixels;
  // Panels are referred to while another is opened.
  mPanels.reserve(16);
  if (!OpenPanel(mMenu, x, y, anchorTop)) return false;

  // Every pointer event comes to the top panel, in root coordinates too: a click anywhere
  // else, our own editor included, is a click outside.
  const xcb_window_t grabber = mPanels[0].window;
  xcb_grab_pointer_reply_t* pointer = xcb_grab_pointer_reply(
      c,
      xcb_grab_pointer(c, 0, grabber,
                       XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                           XCB_EVENT_MASK_POINTER_MOTION,
                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                       XCB_CURRENT_TIME),
      nullptr);
  mPointerGrabbed = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(pointer);
  xcb_grab_keyboard_reply_t* keyboard = xcb_grab_keyboard_reply(
      c,
      xcb_grab_keyboard(c, 0, grabber, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
      nullptr);
  mKeyboardGrabbed = keyboard && keyboard->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(keyboard);
  return mDisplay.Flush();
}

bool X11Menu::OpenPanel(IMenuModel& model, int x, int y, int altY) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return false;
  Panel panel;
  panel.model = &model;
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(scratch);
  panel.layout = LayOutMenuPanel(model, mScale, [&](const std::string& text) {
    SetFont(cr, mFace.get(), mScale, false);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, cairo_backend::ValidUtf8(text.c_str()).c_str(), &extents);
    return extents.x_advance;
  });
  cairo_destroy(cr);
  cairo_surface_destroy(scratch);
  const int w = std::clamp(panel.layout.width, 1, 32767);
  const int h = std::clamp(panel.layout.height, 1, 32767);

  // Kept on screen: flipped to the other side of the anchor where it does not fit, else
  // pushed inside.
  if (x + w > mScreenW) x = std::max(0, mScreenW - w);
  if (y + h > mScreenH) y = altY - h >= 0 ? altY - h : std::max(0, mScreenH - h);
  panel.x = std::max(0, x);
  panel.y = std::max(0, y);

  panel.window = xcb_generate_id(c);
  const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, 1, kPanelEvents};
  xcb_create_window(
      c, mDepth, panel.window, mRoot, static_cast<int16_t>(panel.x), static_cast<int16_t>(panel.y),
      static_cast<uint16_t>(w), static_cast<uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, mVisual,
      XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK,
      values);
  if (mGC == XCB_NONE) {
    mGC = xcb_generate_id(c);
    const uint32_t noExposures = 0;
    xcb_create_gc(c, mGC, panel.window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
  }
  panel.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  xcb_map_window(c, panel.window);
  const uint32_t above = XCB_STACK_MODE_ABOVE;
  xcb_configure_window(c, panel.window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
  mPanels.push_back(panel);
  Draw(mPanels.back());
  return mDisplay.Flush();
}

void X11Menu::ClosePanelsAfter(size_t level) {
  xcb_connection_t* c = mDisplay.Connection();
  while (mPanels.size() > level + 1) {
    Panel& panel = mPanels.back();
    if (panel.surface) cairo_surface_destroy(panel.surface);
    if (c) xcb_destroy_window(c, panel.window);
    mPanels.pop_back();
  }
}

void X11Menu::Draw(Panel& panel) {
  cairo_surface_t* s = panel.surface;
  if (!s || cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) return;
  cairo_t* cr = cairo_create(s);
  const double w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const double k = mScale;
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.96);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0.55, 0.55, 0.58);
  cairo_set_line_width(cr, std::max(1.0, std::floor(k)));
  cairo_rectangle(cr, 0.5, 0.5, w - 1.0, h - 1.0);
  cairo_stroke(cr);

  const IMenuModel& menu = *panel.model;
  for (int i = 0; i < menu.NItems(); ++i) {
    const IMenuEntry* item = menu.GetItem(i);
    const MenuItemBox& b = panel.layout.items[static_cast<size_t>(i)];
    if (item->IsSeparator()) {
      cairo_set_source_rgb(cr, 0.78, 0.78, 0.8);
      cairo_rectangle(cr, b.x + 4 * k, b.y + std::floor(b.h / 2.0), b.w - 8 * k, std::max(1.0, k));
      cairo_fill(cr);
      continue;
    }
    const bool hot = i == panel.hot;
    if (hot) {
      cairo_set_source_rgb(cr, 0.2, 0.4, 0.8);
      cairo_rectangle(cr, b.x, b.y, b.w, b.h);
      cairo_fill(cr);
    }
    const bool disabled = (item->GetFlags() & IMenuEntry::kDisabled) != 0;
    if (hot)
      cairo_set_source_rgb(cr, 1, 1, 1);
    else if (disabled)
      cairo_set_source_rgb(cr, 0.62, 0.62, 0.64);
    else
      cairo_set_source_rgb(cr, 0.1, 0.1, 0.12);
    const double midY = b.y + b.h / 2.0;
    if (item->IsChecked()) {
      cairo_set_line_width(cr, 2.0 * k);
      cairo_move_to(cr, b.x + 7 * k, midY);
      cairo_line_to(cr, b.x + 10.5 * k, midY + 4 * k);
      cairo_line_to(cr, b.x + 17 * k, midY - 5 * k);
      cairo_stroke(cr);
    }
    if (item->Submenu()) {
      const double ax = b.x + b.w - 14 * k;
      cairo_move_to(cr, ax, midY - 4 * k);
      cairo_line_to(cr, ax + 5 * k, midY);
      cairo_line_to(cr, ax, midY + 4 * k);
      cairo_close_path(cr);
      cairo_fill(cr);
    }
    const bool title = IsTitle(menu, i);
    SetFont(cr, mFace.get(), mScale, title);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_move_to(cr, b.x + kCheckMargin * k, midY + (fe.ascent - fe.descent) / 2.0);
    const std::string label = cairo_backend::ValidUtf8(MenuItemLabel(menu, i).c_str());
    if (title && mFace) {
      cairo_text_path(cr, label.c_str());
      cairo_fill_preserve(cr);
      cairo_set_line_width(cr, kTitleEmbolden * k);
      cairo_stroke(cr);
    } else {
      cairo_show_text(cr, label.c_str());
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(s);
  Present(panel);
}

void X11Menu::Present(const Panel& panel) {
  xcb_connection_t* c = mDisplay.Connection();
  cairo_surface_t* s = panel.surface;
  if (!c || !s) return;
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const uint8_t* pixels = cairo_image_surface_get_data(s);
  if (!pixels || stride != w * 4) return;
  const int rows = RowsPerPutImage(mDisplay.MaxRequestBytes(), w);
  for (int y = 0; y < h; y += rows) {
    const int n = std::min(rows, h - y);
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, panel.window, mGC, static_cast<uint16_t>(w),
                  static_cast<uint16_t>(n), 0, static_cast<int16_t>(y), 0, mDepth,
                  static_cast<uint32_t>(n * stride), pixels + static_cast<size_t>(y) * stride);
  }
}

bool X11Menu::Owns(xcb_window_t window) const {
  return std::any_of(mPanels.begin(), mPanels.end(),
                     [&](const Panel& p) { return p.window == window; });
}

std::vector<xcb_window_t> X11Menu::Windows() const {
  std::vector<xcb_window_t> windows;
  for (const Panel& p : mPanels) windows.push_back(p.window);
  return windows;
}

int X11Menu::Highlighted(int level) const {
  return level >= 0 && level < static_cast<int>(mPanels.size())
             ? mPanels[static_cast<size_t>(level)].hot
             : -1;
}

MenuItemBox X11Menu::ItemOnScreen(int level, int item) const {
  if (level < 0 || level >= static_cast<int>(mPanels.size())) return {};
  const Panel& p = mPanels[static_cast<size_t>(level)];
  if (item < 0 || item >= static_cast<int>(p.layout.items.size())) return {};
  MenuItemBox b = p.layout.items[static_cast<size_t>(item)];
  b.x += p.x;
  b.y += p.y;
  return b;
}

cairo_surface_t* X11Menu::PanelSurface(int level) const {
  return level >= 0 && level < static_cast<int>(mPanels.size())
             ? mPanels[static_cast<size_t>(level)].surface
             : nullptr;
}

bool X11Menu::Hit(int rootX, int rootY, int& level, int& item) const {
  for (int l = static_cast<int>(mPanels.size()) - 1; l >= 0; --l) {
    const Panel& p = mPanels[static_cast<size_t>(l)];
    const int px = rootX - p.x, py = rootY - p.y;
    if (px < 0 || py < 0 || px >= p.layout.width || py >= p.layout.height) continue;
    level = l;
    item = -1;
    for (size_t i = 0; i < p.layout.items.size(); ++i) {
      const MenuItemBox& b = p.layout.items[i];
      if (px >= b.x && px < b.x + b.w && py >= b.y && py < b.y + b.h) item = static_cast<int>(i);
    }
    return true;
  }
  return false;
}

void X11Menu::SetHot(size_t level, int item) {
  Panel& p = mPanels[level];
  if (item >= 0 && !MenuItemSelectable(*p.model, item)) item = -1;
  if (p.hot == item) return;
  p.hot = item;
  Draw(p);
}

void X11Menu::OpenSubmenuOf(size_t level, bool highlightFirst) {
  const Panel& p = mPanels[level];
  if (p.hot < 0) return;
  IMenuEntry* entry = p.model->GetItem(p.hot);
  IMenuModel* sub = entry ? entry->Submenu() : nullptr;
  if (!sub || sub->NItems() == 0) return;
  if (mPanels.size() > level + 1 && mPanels[level + 1].model == sub) return;
  if (mPanels.size() >= mPanels.capacity()) return;
  ClosePanelsAfter(level);
  const MenuItemBox& b = p.layout.items[static_cast<size_t>(p.hot)];
  const int pad = static_cast<int>(std::lround(kPadding * mScale));
  // Beside the item, on the right unless the screen ends there.
  int x = p.x + b.x + b.w;
  const int parentX = p.x, y = p.y + b.y - pad;
  const int estimate = LayOutMenuPanel(*sub, mScale, [](const std::string& t) {
                         return static_cast<double>(t.size()) * kFontSize * 0.6;
                       }).width;
  if (x + estimate > mScreenW) x = std::max(0, parentX - estimate);
  if (!OpenPanel(*sub, x, y, y + b.h + 2 * pad)) return;
  if (highlightFirst) {
    for (int i = 0; i < sub->NItems(); ++i)
      if (MenuItemSelectable(*sub, i)) {
        SetHot(mPanels.size() - 1, i);
        break;
      }
  }
}

void X11Menu::Step(int direction) {
  Panel& p = mPanels.back();
  const int n = p.model->NItems();
  int i = p.hot;
  for (int tries = 0; tries < n; ++tries) {
    i = i < 0 ? (direction > 0 ? 0 : n - 1) : (i + direction + n) % n;
    if (MenuItemSelectable(*p.model, i)) {
      SetHot(mPanels.size() - 1, i);
      return;
    }
  }
}

X11Menu::Outcome X11Menu::Choose(size_t level, int item, IMenuModel*& chosen) {
  IMenuModel* model = mPanels[level].model;
  if (!MenuItemSelectable(*model, item)) return Outcome::Open;
  if (model->GetItem(item)->Submenu()) {
    SetHot(level, item);
    OpenSubmenuOf(level, true);
    return Outcome::Open;
  }
  model->SetChosenItemIdx(item);
  chosen = model;
  return Outcome::Chosen;
}

X11Menu::Outcome X11Menu::OnKey(const xcb_key_press_event_t& event, IMenuModel*& chosen) {
  IKeyEvent key;
  if (!mDisplay.TranslateKey(event, key)) return Outcome::Open;
  const size_t last = mPanels.size() - 1;
  switch (key.VK) {
    case kVkEscape:
      return Outcome::Dismissed;
    case kVkUp:
      Step(-1);
      break;
    case kVkDown:
      Step(1);
      break;
    case kVkRight:
      OpenSubmenuOf(last, true);
      break;
    case kVkLeft:
      if (last > 0) ClosePanelsAfter(last - 1);
      break;
    case kVkReturn:
      if (mPanels[last].hot >= 0) return Choose(last, mPanels[last].hot, chosen);
      break;
    default:
      break;
  }
  mDisplay.Flush();
  return Outcome::Open;
}

X11Menu::Outcome X11Menu::HandleEvent(const xcb_generic_event_t& event, bool& consumed,
                                      IMenuModel*& chosen) {
  consumed = false;
  chosen = nullptr;
  if (mPanels.empty()) return Outcome::Dismissed;
  switch (event.response_type & 0x7f) {
    case XCB_EXPOSE: {
      const auto& e = reinterpret_cast<const xcb_expose_event_t&>(event);
      for (const Panel& p : mPanels)
        if (p.window == e.window) {
          consumed = true;
          if (e.count == 0) Present(p);
        }
      return Outcome::Open;
    }
    case XCB_MOTION_NOTIFY: {
      consumed = true;
      const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
      int level = -1, item = -1;
      if (!Hit(e.root_x, e.root_y, level, item)) return Outcome::Open;
      const auto l = static_cast<size_t>(level);
      SetHot(l, item);
      if (mPanels[l].hot >= 0 && mPanels[l].model->GetItem(mPanels[l].hot)->Submenu())
        OpenSubmenuOf(l, false);
      else if (item >= 0)
        ClosePanelsAfter(l);
      mDisplay.Flush();
      return Outcome::Open;
    }
    case XCB_BUTTON_PRESS: {
      consumed = true;
      const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
      int level = -1, item = -1;
      // The wheel scrolls nothing here, and outside it must not close the menu either.
      if (e.detail > 3) return Outcome::Open;
      return Hit(e.root_x, e.root_y, level, item) ? Outcome::Open : Outcome::Dismissed;
    }
    case XCB_BUTTON_RELEASE: {
      consumed = true;
      const auto& e = reinterpret_cast<const xcb_button_release_event_t&>(event);
      int level = -1, item = -1;
      if (e.detail > 3 || !Hit(e.root_x, e.root_y, level, item) || item < 0) return Outcome::Open;
      return Choose(static_cast<size_t>(level), item, chosen);
    }
    case XCB_KEY_PRESS:
      consumed = true;
      return OnKey(reinterpret_cast<const xcb_key_press_event_t&>(event), chosen);
    case XCB_KEY_RELEASE:
      consumed = true;
      return Outcome::Open;
    default:
      return Outcome::Open;
  }
}

}  // namespace iplug::igraphics::x11
