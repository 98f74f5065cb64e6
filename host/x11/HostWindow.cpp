#include "host/x11/HostWindow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/HostError.h"

namespace corvane::host {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Take(T* reply) {
  return Reply<T>(reply, &std::free);
}

std::string KeyName(uint32_t keysym) {
  if (keysym == 0x20) return "space";
  if (keysym == 0xff0d) return "Return";
  if (keysym == 0xff1b) return "Escape";
  if (keysym > 0x20 && keysym < 0x7f) return std::string(1, static_cast<char>(keysym));
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", keysym);
  return text;
}

}  // namespace

HostWindow::HostWindow(const std::string& title, int width, int height) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display)
    throw HostError("no X display: DISPLAY is not set (the editor needs a window system)");
  int screenNumber = 0;
  mConnection = xcb_connect(display, &screenNumber);
  if (xcb_connection_has_error(mConnection)) {
    xcb_disconnect(mConnection);
    mConnection = nullptr;
    throw HostError(std::string("cannot open the X display '") + display + "'");
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(mConnection));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  const xcb_screen_t* screen = screens.data;

  mWindow = xcb_generate_id(mConnection);
  const uint32_t values[] = {screen->black_pixel,
                             XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(mConnection, XCB_COPY_FROM_PARENT, mWindow, screen->root, 0, 0,
                    static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  xcb_change_property(mConnection, XCB_PROP_MODE_REPLACE, mWindow, XCB_ATOM_WM_NAME,
                      XCB_ATOM_STRING, 8, static_cast<uint32_t>(title.size()), title.data());
  static const char kClass[] = "corvane-host\0corvane-host";
  xcb_change_property(mConnection, XCB_PROP_MODE_REPLACE, mWindow, XCB_ATOM_WM_CLASS,
                      XCB_ATOM_STRING, 8, sizeof kClass, kClass);
  const xcb_atom_t protocols = Atom("WM_PROTOCOLS");
  mDeleteWindow = Atom("WM_DELETE_WINDOW");
  xcb_change_property(mConnection, XCB_PROP_MODE_REPLACE, mWindow, protocols, XCB_ATOM_ATOM, 32, 1,
                      &mDeleteWindow);

  const xcb_setup_t* setup = xcb_get_setup(mConnection);
  mMinKeycode = setup->min_keycode;
  const auto count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  if (auto map = Take(xcb_get_keyboard_mapping_reply(
          mConnection, xcb_get_keyboard_mapping(mConnection, mMinKeycode, count), nullptr))) {
    mSymsPerCode = map->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    mKeySyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map.get()));
  }

  xcb_map_window(mConnection, mWindow);
  xcb_flush(mConnection);
}

HostWindow::~HostWindow() {
  if (!mConnection) return;
  if (!Broken()) {
    xcb_destroy_window(mConnection, mWindow);
    xcb_flush(mConnection);
  }
  xcb_disconnect(mConnection);
}

int HostWindow::Fd() const noexcept {
  return xcb_get_file_descriptor(mConnection);
}

bool HostWindow::Broken() const noexcept {
  return xcb_connection_has_error(mConnection) != 0;
}

void HostWindow::Resize(int width, int height) {
  if (Broken() || width <= 0 || height <= 0) return;
  const uint32_t size[] = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
  xcb_configure_window(mConnection, mWindow, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                       size);
  xcb_flush(mConnection);
}

bool HostWindow::HasChild() {
  if (Broken()) return false;
  auto tree =
      Take(xcb_query_tree_reply(mConnection, xcb_query_tree(mConnection, mWindow), nullptr));
  return tree && xcb_query_tree_children_length(tree.get()) > 0;
}

xcb_atom_t HostWindow::Atom(const char* name) {
  auto reply = Take(xcb_intern_atom_reply(
      mConnection, xcb_intern_atom(mConnection, 0, static_cast<uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

uint32_t HostWindow::KeySym(uint8_t keycode) {
  if (mSymsPerCode <= 0 || keycode < mMinKeycode) return 0;
  const size_t at = static_cast<size_t>(keycode - mMinKeycode) * static_cast<size_t>(mSymsPerCode);
  return at < mKeySyms.size() ? mKeySyms[at] : 0;
}

std::vector<std::string> HostWindow::Dispatch() {
  std::vector<std::string> keys;
  if (Broken()) return keys;
  while (auto event = Take(xcb_poll_for_event(mConnection))) {
    switch (event->response_type & 0x7f) {
      case XCB_KEY_PRESS: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
        keys.push_back(KeyName(KeySym(key->detail)));
        break;
      }
      case XCB_CLIENT_MESSAGE: {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
        if (message->format == 32 && message->data.data32[0] == mDeleteWindow)
          mCloseRequested = true;
        break;
      }
      case XCB_DESTROY_NOTIFY:
        mCloseRequested = true;
        break;
      default:
        break;
    }
  }
  return keys;
}

}  // namespace corvane::host
