#include "graphics/x11/X11Display.h"

#include <xcb/present.h>
#include <xcb/shm.h>
// The XKB header names a member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "graphics/x11/X11Support.h"

namespace iplug::igraphics::x11 {

namespace {

X11Display* gCurrent = nullptr;
int gProtocolErrors = 0;
std::string gLastError;

const char* ConnectionErrorText(int code) {
  switch (code) {
    case XCB_CONN_ERROR:
      return "the server cannot be reached";
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
      return "it lacks an extension needed";
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
      return "out of memory";
    case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
      return "a request was too long";
    case XCB_CONN_CLOSED_PARSE_ERR:
      return "the display name is not valid";
    case XCB_CONN_CLOSED_INVALID_SCREEN:
      return "it has no such screen";
    case XCB_CONN_CLOSED_FDPASSING_FAILED:
      return "passing a descriptor failed";
    default:
      return "unknown error";
  }
}

// Glyphs of the X cursor font for each ECursor, in the enumeration's order. The font has no
// "forbidden" sign and no busy-arrow: the cross and the watch stand in for them.
constexpr uint16_t kCursorGlyphs[14] = {
    68,   // left_ptr
    152,  // xterm
    150,  // watch
    34,   // crosshair
    114,  // sb_up_arrow
    14,   // bottom_right_corner
    12,   // bottom_left_corner
    108,  // sb_h_double_arrow
    116,  // sb_v_double_arrow
    52,   // fleur
    0,    // X_cursor
    60,   // hand2
    150,  // watch
    92,   // question_arrow
};

// The window an event is about, for the events the editors listen to.
xcb_window_t EventWindow(const xcb_generic_event_t& event) {
  switch (event.response_type & 0x7f) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
    case XCB_ENTER_NOTIFY:
    case XCB_LEAVE_NOTIFY:
      // These share the layout of a key press up to the event window.
      return reinterpret_cast<const xcb_key_press_event_t&>(event).event;
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT:
      return reinterpret_cast<const xcb_focus_in_event_t&>(event).event;
    case XCB_EXPOSE:
      return reinterpret_cast<const xcb_expose_event_t&>(event).window;
    case XCB_DESTROY_NOTIFY:
      return reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window;
    case XCB_CONFIGURE_NOTIFY:
      return reinterpret_cast<const xcb_configure_notify_event_t&>(event).window;
    case XCB_MAP_NOTIFY:
      return reinterpret_cast<const xcb_map_notify_event_t&>(event).window;
    case XCB_UNMAP_NOTIFY:
      return reinterpret_cast<const xcb_unmap_notify_event_t&>(event).window;
    case XCB_REPARENT_NOTIFY:
      return reinterpret_cast<const xcb_reparent_notify_event_t&>(event).window;
    // Drag and drop and selections: the window that receives the message or asked for the data,
    // and the owner asked for it.
    case XCB_CLIENT_MESSAGE:
      return reinterpret_cast<const xcb_client_message_event_t&>(event).window;
    case XCB_SELECTION_NOTIFY:
      return reinterpret_cast<const xcb_selection_notify_event_t&>(event).requestor;
    case XCB_SELECTION_REQUEST:
      return reinterpret_cast<const xcb_selection_request_event_t&>(event).owner;
    case XCB_SELECTION_CLEAR:
      return reinterpret_cast<const xcb_selection_clear_event_t&>(event).owner;
    default:
      return XCB_NONE;
  }
}

bool NativeByteOrder(uint8_t imageByteOrder) {
  const uint32_t one = 1;
  uint8_t first;
  std::memcpy(&first, &one, 1);
  return imageByteOrder == (first ? XCB_IMAGE_ORDER_LSB_FIRST : XCB_IMAGE_ORDER_MSB_FIRST);
}

}  // namespace

// ---- The process's connection ----

X11Display* X11Display::Acquire(std::string& error) {
  if (!gCurrent) {
    auto* display = new X11Display();
    if (!display->Open(error)) {
      delete display;
      return nullptr;
    }
    gCurrent = display;
  }
  gCurrent->AddRef();
  return gCurrent;
}

X11Display* X11Display::Current() {
  return gCurrent;
}

int X11Display::ProtocolErrors() {
  return gProtocolErrors;
}

void X11Display::SetLastError(const std::string& line) {
  gLastError = line;
}

const char* X11Display::LastError() {
  return gLastError.c_str();
}

bool X11Display::Open(std::string& error) {
  mLoop = GetRunLoop();
  if (!mLoop) {
    error = "no run loop to receive X events on";
    return false;
  }
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    error = "no X display: DISPLAY is not set";
    return false;
  }
  mName = name;
  mConnection = xcb_connect(name, nullptr);
  if (const int code = xcb_connection_has_error(mConnection)) {
    error = "cannot open X display \"" + mName + "\": " + ConnectionErrorText(code);
    return false;
  }

  mMaxRequestBytes = static_cast<size_t>(xcb_get_maximum_request_length(mConnection)) * 4u;
  const xcb_query_extension_reply_t* shm = xcb_get_extension_data(mConnection, &xcb_shm_id);
  if (shm && shm->present) {
    xcb_shm_query_version_reply_t* version =
        xcb_shm_query_version_reply(mConnection, xcb_shm_query_version(mConnection), nullptr);
    mHasShm = version != nullptr;
    std::free(version);
  }

  const xcb_query_extension_reply_t* present = xcb_get_extension_data(mConnection, &xcb_present_id);
  if (present && present->present) {
    xcb_present_query_version_reply_t* version = xcb_present_query_version_reply(
        mConnection, xcb_present_query_version(mConnection, 1, 0), nullptr);
    if (version) mPresentOpcode = present->major_opcode;
    std::free(version);
  }

  // The resource manager's text lives on the first screen's root, whichever screen the
  // editors are on; changes to it arrive as property events.
  mResourceRoot = xcb_setup_roots_iterator(xcb_get_setup(mConnection)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_change_window_attributes(mConnection, mResourceRoot, XCB_CW_EVENT_MASK, &mask);
  ReadScreenScale();
  SetUpKeyboard();

  if (!CheckAlive()) {
    error = "the connection to X display \"" + mName + "\" broke while setting it up";
    return false;
  }
  mWatch = mLoop->WatchFd(xcb_get_file_descriptor(mConnection), [this](int) { Drain(); });
  if (mWatch == IRunLoop::kInvalidId) {
    error = "the run loop refused to watch the X connection";
    return false;
  }
  xcb_flush(mConnection);
  return true;
}

X11Display::~X11Display() {
  if (gCurrent == this) gCurrent = nullptr;
  if (mWatch != IRunLoop::kInvalidId) mLoop->UnwatchFd(mWatch);
  if (mDeferredTimer != IRunLoop::kInvalidId) mLoop->RemoveTimer(mDeferredTimer);
  for (xcb_generic_event_t* event : mDeferred) std::free(event);
  if (mKeyState) xkb_state_unref(mKeyState);
  if (mKeymap) xkb_keymap_unref(mKeymap);
  if (mXkb) xkb_context_unref(mXkb);
  // Also right for a broken connection: xcb only frees its memory then. The server frees the
  // cursors, the font and whatever the editors left with the connection.
  if (mConnection) xcb_disconnect(mConnection);
}

void X11Display::Release() {
  if (--mRefs == 0 && mDraining == 0) delete this;
}

void X11Display::AddClient(Client* client) {
  if (std::find(mClients.begin(), mClients.end(), client) == mClients.end())
    mClients.push_back(client);
}

void X11Display::RemoveClient(Client* client) {
  mClients.erase(std::remove(mClients.begin(), mClients.end(), client), mClients.end());
}

bool X11Display::Flush() {
  if (mBroken) return false;
  xcb_flush(mConnection);
  return CheckAlive();
}

bool X11Display::Sync() {
  if (mBroken) return false;
  std::free(xcb_get_input_focus_reply(mConnection, xcb_get_input_focus(mConnection), nullptr));
  return CheckAlive();
}

bool X11Display::CheckAlive() {
  if (mBroken) return false;
  if (xcb_connection_has_error(mConnection)) Lose();
  return !mBroken;
}

void X11Display::Lose() {
  if (mBroken) return;
  mBroken = true;
  if (gCurrent == this) gCurrent = nullptr;
  if (mWatch != IRunLoop::kInvalidId) {
    mLoop->UnwatchFd(mWatch);
    mWatch = IRunLoop::kInvalidId;
  }
  // Nobody asked: this is the one place the loss is told.
  gLastError = "lost the connection to X display \"" + mName + "\"";
  std::fprintf(stderr, "corvane: %s\n", gLastError.c_str());
  const std::vector<Client*> clients = mClients;
  for (Client* client : clients)
    if (std::find(mClients.begin(), mClients.end(), client) != mClients.end())
      client->OnConnectionLost();
}

void X11Display::Drain() {
  if (mBroken) return;
  ++mDraining;
  while (!mBroken) {
    // Events a wait set aside were read first, so they go first.
    xcb_generic_event_t* event = nullptr;
    if (!mDeferred.empty()) {
      event = mDeferred.front();
      mDeferred.pop_front();
    } else {
      event = xcb_poll_for_event(mConnection);
    }
    if (!event) break;
    Dispatch(*event);
    std::free(event);
  }
  if (CheckAlive()) {
    const std::vector<Client*> clients = mClients;
    for (Client* client : clients) {
      if (mBroken) break;
      if (std::find(mClients.begin(), mClients.end(), client) != mClients.end())
        client->OnEventsDrained();
    }
    Flush();
  }
  // The last editor may have closed inside a callback.
  if (--mDraining == 0 && mRefs == 0) delete this;
}

xcb_generic_event_t* X11Display::WaitForEvent(
    const std::function<bool(const xcb_generic_event_t&)>& match, int timeoutMs) {
  if (mBroken) return nullptr;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  xcb_generic_event_t* found = nullptr;
  while (!found && CheckAlive()) {
    xcb_generic_event_t* event = xcb_poll_for_event(mConnection);
    if (event) {
      if (match(*event))
        found = event;
      else
        mDeferred.push_back(event);
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    pollfd fd{xcb_get_file_descriptor(mConnection), POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left)) < 0 && errno != EINTR) break;
  }
  // The socket may be quiet now although events wait: the watch would not fire for them.
  if (!mDeferred.empty() && mDeferredTimer == IRunLoop::kInvalidId && mLoop && !mBroken) {
    mDeferredTimer = mLoop->AddTimer(1, [](IRunLoop::Id id) {
      X11Display* display = Current();
      if (!display || display->mDeferredTimer != id) return;
      display->mLoop->RemoveTimer(id);
      display->mDeferredTimer = IRunLoop::kInvalidId;
      display->Drain();
    });
  }
  return found;
}

void X11Display::Dispatch(const xcb_generic_event_t& event) {
  const uint8_t type = event.response_type & 0x7f;
  if (type == 0) {
    // The errors of requests nobody checks: a window of a host that went first, usually.
    ++gProtocolErrors;
    return;
  }
  if (mXkbEvent && type == mXkbEvent) {
    const uint8_t xkbType = reinterpret_cast<const uint8_t*>(&event)[1];
    if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY) LoadKeymap();
    return;
  }
  if (type == XCB_PROPERTY_NOTIFY) {
    const auto& property = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    if (property.window == mResourceRoot && property.atom == XCB_ATOM_RESOURCE_MANAGER)
      ReadScreenScale();
    return;
  }

  xcb_window_t window = EventWindow(event);
  // The vertical blanks an editor asked the Present extension for.
  if (type == XCB_GE_GENERIC && mPresentOpcode != 0) {
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension == mPresentOpcode && generic.event_type == XCB_PRESENT_COMPLETE_NOTIFY)
      window = reinterpret_cast<const xcb_present_complete_notify_event_t&>(event).window;
  }
  if (window == XCB_NONE) return;
  // A destroyed parent concerns every editor inside it; anything else one editor.
  const bool everyone = type == XCB_DESTROY_NOTIFY;
  const std::vector<Client*> clients = mClients;
  for (Client* client : clients) {
    if (mBroken) return;
    if (std::find(mClients.begin(), mClients.end(), client) == mClients.end()) continue;
    if (!client->ConcernsWindow(window)) continue;
    client->OnXEvent(event);
    if (!everyone) return;
  }
}

// ---- Screens and resources ----

const xcb_screen_t* X11Display::ScreenOfRoot(xcb_window_t root) const {
  if (mBroken) return nullptr;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(mConnection)); it.rem; xcb_screen_next(&it))
    if (it.data->root == root) return it.data;
  return nullptr;
}

uint8_t X11Display::DirectDepthOf(const xcb_screen_t& screen, xcb_visualid_t visual) const {
  if (mBroken) return 0;
  const xcb_setup_t* setup = xcb_get_setup(mConnection);
  if (!NativeByteOrder(setup->image_byte_order)) return 0;
  for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem;
       xcb_depth_next(&depths)) {
    const uint8_t depth = depths.data->depth;
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
         xcb_visualtype_next(&visuals)) {
      const xcb_visualtype_t& v = *visuals.data;
      if (v.visual_id != visual) continue;
      // Cairo's ARGB32 pixels go to the server as they are: 32 bits a pixel, red in the third
      // byte of each, and alpha (where the visual has it) in the fourth.
      if (v._class != XCB_VISUAL_CLASS_TRUE_COLOR || v.red_mask != 0xff0000 ||
          v.green_mask != 0xff00 || v.blue_mask != 0xff || (depth != 24 && depth != 32))
        return 0;
      for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
           xcb_format_next(&formats))
        if (formats.data->depth == depth)
          return formats.data->bits_per_pixel == 32 && formats.data->scanline_pad == 32 ? depth : 0;
      return 0;
    }
  }
  return 0;
}

float X11Display::ReadScreenScale() {
  if (mBroken) return mScreenScale;
  // 4 MiB of resources is far more than any desktop sets.
  const xcb_get_property_cookie_t cookie = xcb_get_property(
      mConnection, 0, mResourceRoot, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1u << 20);
  xcb_get_property_reply_t* reply = xcb_get_property_reply(mConnection, cookie, nullptr);
  std::string_view text;
  if (reply && reply->format == 8)
    text = std::string_view(static_cast<const char*>(xcb_get_property_value(reply)),
                            static_cast<size_t>(xcb_get_property_value_length(reply)));
  mScreenScale = ScreenScaleFromResources(text);
  std::free(reply);
  return mScreenScale;
}

// ---- Cursors ----

xcb_cursor_t X11Display::Cursor(ECursor shape) {
  if (mBroken) return XCB_NONE;
  int idx = static_cast<int>(shape);
  if (idx < 0 || idx >= 14) idx = 0;
  if (mCursors[idx] == XCB_NONE) {
    if (mCursorFont == XCB_NONE) {
      mCursorFont = xcb_generate_id(mConnection);
      xcb_open_font(mConnection, mCursorFont, 6, "cursor");
    }
    // Each glyph's mask is the glyph after it.
    const uint16_t glyph = kCursorGlyphs[idx];
    mCursors[idx] = xcb_generate_id(mConnection);
    xcb_create_glyph_cursor(mConnection, mCursors[idx], mCursorFont, mCursorFont, glyph,
                            static_cast<uint16_t>(glyph + 1), 0, 0, 0, 0xffff, 0xffff, 0xffff);
  }
  return mCursors[idx];
}

xcb_cursor_t X11Display::InvisibleCursor() {
  if (mBroken) return XCB_NONE;
  if (mInvisible == XCB_NONE) {
    // A pixmap's contents start undefined: the mask is cleared before it becomes a cursor.
    const xcb_pixmap_t pixmap = xcb_generate_id(mConnection);
    xcb_create_pixmap(mConnection, 1, pixmap, mResourceRoot, 1, 1);
    const xcb_gcontext_t gc = xcb_generate_id(mConnection);
    const uint32_t zero = 0;
    xcb_create_gc(mConnection, gc, pixmap, XCB_GC_FOREGROUND, &zero);
    const xcb_rectangle_t all = {0, 0, 1, 1};
    xcb_poly_fill_rectangle(mConnection, pixmap, gc, 1, &all);
    mInvisible = xcb_generate_id(mConnection);
    xcb_create_cursor(mConnection, mInvisible, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
    xcb_free_gc(mConnection, gc);
    xcb_free_pixmap(mConnection, pixmap);
  }
  return mInvisible;
}

// ---- Keyboard ----

void X11Display::SetUpKeyboard() {
  uint8_t firstError = 0;
  if (!xkb_x11_setup_xkb_extension(
          mConnection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
          XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &mXkbEvent, &firstError)) {
    mXkbEvent = 0;
    return;
  }
  mKeyboard = xkb_x11_get_core_keyboard_device_id(mConnection);
  mXkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (mKeyboard < 0 || !mXkb) return;
  LoadKeymap();

  // A new keyboard or layout changes the keymap; the modifiers come with every key event.
  const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
  const uint16_t parts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                         XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                         XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                         XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
  xcb_xkb_select_events(mConnection, static_cast<xcb_xkb_device_spec_t>(mKeyboard), events, 0,
                        events, parts, parts, nullptr);
}

void X11Display::LoadKeymap() {
  if (!mXkb || mKeyboard < 0 || mBroken) return;
  xkb_keymap* keymap =
      xkb_x11_keymap_new_from_device(mXkb, mConnection, mKeyboard, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (!keymap) return;
  xkb_state* state = xkb_state_new(keymap);
  if (!state) {
    xkb_keymap_unref(keymap);
    return;
  }
  if (mKeyState) xkb_state_unref(mKeyState);
  if (mKeymap) xkb_keymap_unref(mKeymap);
  mKeymap = keymap;
  mKeyState = state;
}

bool X11Display::TranslateKey(const xcb_key_press_event_t& event, IKeyEvent& key) const {
  if (!mKeyState) return false;
  // The event's own modifiers and group, not a state followed through every key: keys pressed
  // while another window had the focus count as they are.
  xkb_state_update_mask(mKeyState, event.state & 0xff, 0, 0, 0, 0, (event.state >> 13) & 3);
  const xkb_keycode_t code = event.detail;
  const xkb_keysym_t sym = xkb_state_key_get_one_sym(mKeyState, code);

  // The virtual key is the key's, whatever the modifiers make of it ('1' for '!'), except on
  // the keypad, where Num Lock decides between digits and movement.
  const xkb_layout_index_t layout = xkb_state_key_get_layout(mKeyState, code);
  const xkb_keysym_t* plain = nullptr;
  const int n = layout == XKB_LAYOUT_INVALID
                    ? 0
                    : xkb_keymap_key_get_syms_by_level(mKeymap, code, layout, 0, &plain);
  const bool keypad = sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_Equal;
  key = IKeyEvent();
  key.VK = keypad || n < 1 ? 0 : VirtualKeyFromKeysym(plain[0]);
  if (key.VK == 0) key.VK = VirtualKeyFromKeysym(sym);

  char text[8] = {};
  const int length = xkb_state_key_get_utf8(mKeyState, code, text, sizeof text);
  const auto first = static_cast<unsigned char>(text[0]);
  // Control characters are what the virtual key says already.
  if (length > 0 && length < static_cast<int>(sizeof key.utf8) && first >= 0x20 && first != 0x7f)
    std::memcpy(key.utf8, text, static_cast<size_t>(length));
  key.S = (event.state & XCB_MOD_MASK_SHIFT) != 0;
  key.C = (event.state & XCB_MOD_MASK_CONTROL) != 0;
  key.A = (event.state & XCB_MOD_MASK_1) != 0;
  return true;
}

}  // namespace iplug::igraphics::x11
