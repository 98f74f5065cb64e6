#include "graphics/x11/X11Clipboard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace iplug::igraphics::x11 {

namespace {

X11Clipboard* gClipboard = nullptr;
const X11Display* gClipboardDisplay = nullptr;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

xcb_atom_t Intern(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
  std::free(reply);
  return atom;
}

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string FileUriFromPath(std::string_view path) {
  std::string uri = "file://";
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (Unreserved(c)) {
      uri += ch;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri;
}

std::string Latin1FromUtf8(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    uint32_t code = '?';
    size_t n = 1;
    if (c < 0x80) {
      code = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
      code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      n = 2;
    } else {
      n = (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    }
    out += code <= 0xFF ? static_cast<char>(code) : '?';
    i += n;
  }
  return out;
}

std::string Utf8FromLatin1(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

X11Clipboard* X11Clipboard::Acquire(X11Display& display) {
  if (!display.Connection()) return nullptr;
  // One that belonged to a lost connection lives on only until its editors let it go.
  if (gClipboard && gClipboardDisplay != &display) gClipboard = nullptr;
  if (!gClipboard) {
    gClipboard = new X11Clipboard(display);
    gClipboardDisplay = &display;
  }
  ++gClipboard->mRefs;
  return gClipboard;
}

void X11Clipboard::Release() {
  if (--mRefs > 0) return;
  if (gClipboard == this) {
    gClipboard = nullptr;
    gClipboardDisplay = nullptr;
  }
  delete this;
}

X11Clipboard::X11Clipboard(X11Display& display) : mDisplay(display) {
  mDisplay.AddRef();
  xcb_connection_t* c = mDisplay.Connection();
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  mWindow = xcb_generate_id(c);
  // Input-only and never mapped: it exists to own the selection and receive its answers.
  const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(c, 0, mWindow, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  mClipboard = Intern(c, "CLIPBOARD");
  mUtf8 = Intern(c, "UTF8_STRING");
  mTextAtom = Intern(c, "TEXT");
  mTargets = Intern(c, "TARGETS");
  mUriListAtom = Intern(c, "text/uri-list");
  mIncr = Intern(c, "INCR");
  mProperty = Intern(c, "CORVANE_CLIPBOARD");
  mDisplay.AddClient(this);
}

X11Clipboard::~X11Clipboard() {
  mDisplay.RemoveClient(this);
  if (xcb_connection_t* c = mDisplay.Connection()) {
    // Given back rather than left to vanish with the window, so that no client asks a window
    // that is gone.
    if (mOwned) xcb_set_selection_owner(c, XCB_NONE, mClipboard, XCB_CURRENT_TIME);
    xcb_destroy_window(c, mWindow);
    mDisplay.Flush();
  }
  mDisplay.Release();
}

void X11Clipboard::OnConnectionLost() {
  mOwned = false;
}

bool X11Clipboard::TakeOwnership() {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c || mClipboard == XCB_NONE) return false;
  xcb_set_selection_owner(c, mWindow, mClipboard, XCB_CURRENT_TIME);
  xcb_get_selection_owner_reply_t* reply =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, mClipboard), nullptr);
  mOwned = reply && reply->owner == mWindow;
  std::free(reply);
  return mOwned;
}

bool X11Clipboard::WriteText(std::string_view utf8) {
  mText.assign(utf8);
  mUriList.clear();
  return TakeOwnership();
}

bool X11Clipboard::WriteFilePath(std::string_view path) {
  if (path.empty()) return false;
  mText.assign(path);
  mUriList = FileUriFromPath(path) + "\r\n";
  return TakeOwnership();
}

bool X11Clipboard::Provide(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target) {
  xcb_connection_t* c = mDisplay.Connection();
  const auto put = [&](xcb_atom_t type, uint8_t format, const void* data, size_t count) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, requestor, property, type, format,
                        static_cast<uint32_t>(count), data);
    return true;
  };
  if (target == mTargets) {
    std::vector<xcb_atom_t> targets = {mTargets, mUtf8, XCB_ATOM_STRING, mTextAtom};
    if (!mUriList.empty()) targets.push_back(mUriListAtom);
    return put(XCB_ATOM_ATOM, 32, targets.data(), targets.size());
  }
  std::string bytes;
  xcb_atom_t type = mUtf8;
  if (target == mUtf8 || target == mTextAtom) {
    bytes = mText;
  } else if (target == XCB_ATOM_STRING) {
    bytes = Latin1FromUtf8(mText);
    type = XCB_ATOM_STRING;
  } else if (target == mUriListAtom && !mUriList.empty()) {
    bytes = mUriList;
    type = mUriListAtom;
  } else {
    return false;
  }
  // What does not fit in one request would need INCR, which this side does not speak.
  if (bytes.size() + 64 > mDisplay.MaxRequestBytes()) return false;
  return put(type, 8, bytes.data(), bytes.size());
}

void X11Clipboard::Answer(const xcb_selection_request_event_t& request) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return;
  // Clients from before ICCCM 2 leave the property out: the target names it then.
  const xcb_atom_t property = request.property != XCB_NONE ? request.property : request.target;
  const bool given = mOwned && request.selection == mClipboard &&
                     Provide(request.requestor, property, request.target);
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = request.time;
  notify.requestor = request.requestor;
  notify.selection = request.selection;
  notify.target = request.target;
  notify.property = given ? property : XCB_NONE;
  xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&notify));
  mDisplay.Flush();
}

void X11Clipboard::OnXEvent(const xcb_generic_event_t& event) {
  switch (event.response_type & 0x7f) {
    case XCB_SELECTION_REQUEST:
      Answer(reinterpret_cast<const xcb_selection_request_event_t&>(event));
      return;
    case XCB_SELECTION_CLEAR: {
      const auto& e = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
      if (e.selection == mClipboard) {
        mOwned = false;
        mText.clear();
        mUriList.clear();
      }
      return;
    }
    default:
      // A SelectionNotify only a read waits for, arriving after it gave up.
      return;
  }
}

bool X11Clipboard::Convert(xcb_atom_t target, std::string& bytes, int64_t deadlineMs,
                           bool& refused) {
  refused = false;
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return false;
  xcb_delete_property(c, mWindow, mProperty);
  xcb_convert_selection(c, mWindow, mClipboard, target, mProperty, XCB_CURRENT_TIME);
  if (!mDisplay.Flush()) return false;
  const xcb_window_t window = mWindow;
  const xcb_atom_t selection = mClipboard;
  xcb_generic_event_t* event = mDisplay.WaitForEvent(
      [window, selection, target](const xcb_generic_event_t& e) {
        if ((e.response_type & 0x7f) != XCB_SELECTION_NOTIFY) return false;
        const auto& n = reinterpret_cast<const xcb_selection_notify_event_t&>(e);
        return n.requestor == window && n.selection == selection && n.target == target;
      },
      static_cast<int>(std::max<int64_t>(0, deadlineMs - NowMs())));
  if (!event) return false;
  const xcb_atom_t property = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property;
  std::free(event);
  if (property == XCB_NONE) {
    refused = true;
    return false;
  }
  c = mDisplay.Connection();
  if (!c) return false;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c,
      xcb_get_property(c, 1, mWindow, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                       static_cast<uint32_t>(mDisplay.MaxRequestBytes() / 4)),
      nullptr);
  const bool ok = reply && reply->format == 8 && reply->type != mIncr;
  if (ok)
    bytes.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                 static_cast<size_t>(xcb_get_property_value_length(reply)));
  refused = !ok;
  std::free(reply);
  return ok;
}

bool X11Clipboard::ReadText(std::string& utf8, int timeoutMs) {
  utf8.clear();
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return false;
  // Asking ourselves would wait for an answer only this thread could give.
  if (mOwned) {
    utf8 = mText;
    return true;
  }
  xcb_get_selection_owner_reply_t* owner =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, mClipboard), nullptr);
  const bool hasOwner = owner && owner->owner != XCB_NONE;
  std::free(owner);
  if (!hasOwner) return false;
  const int64_t deadline = NowMs() + timeoutMs;
  std::string bytes;
  bool refused = false;
  if (Convert(mUtf8, bytes, deadline, refused)) {
    utf8 = std::move(bytes);
    return true;
  }
  if (!refused) return false;
  if (!Convert(XCB_ATOM_STRING, bytes, deadline, refused)) return false;
  utf8 = Utf8FromLatin1(bytes);
  return true;
}

}  // namespace iplug::igraphics::x11
