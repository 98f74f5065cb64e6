#include "graphics/x11/X11DragDrop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace iplug::igraphics::x11 {

namespace {

// The newest protocol version spoken; sources of older versions are answered in theirs.
constexpr uint32_t kXdndVersion = 5;
// A uri-list longer than this would not be a list of files dropped by a user.
constexpr uint32_t kMaxUriListWords = 1u << 20;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]);
      const int lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

}  // namespace

std::vector<std::string> PathsFromUriList(const std::string& text) {
  std::vector<std::string> paths;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line.compare(0, 5, "file:") != 0) continue;
    std::string rest = line.substr(5);
    // file:///path, or file://host/path for a host named (this one, as far as we can tell).
    if (rest.compare(0, 2, "//") == 0) {
      const size_t slash = rest.find('/', 2);
      if (slash == std::string::npos) continue;
      rest = rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') continue;
    paths.push_back(PercentDecoded(rest));
  }
  return paths;
}

std::string UriFromPath(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const unsigned char c : path) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::strchr("/-_.~!$&'()*+,;=:@", c) != nullptr;
    if (safe && c != 0) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

X11DropTarget::X11DropTarget(X11Display& display, xcb_window_t window, DropFunction drop)
    : mDisplay(display), mWindow(window), mDrop(std::move(drop)) {
  xcb_connection_t* c = display.Connection();
  if (!c) return;
  const char* const names[] = {"XdndAware",      "XdndEnter",     "XdndPosition",
                               "XdndStatus",     "XdndLeave",     "XdndDrop",
                               "XdndFinished",   "XdndSelection", "XdndTypeList",
                               "XdndActionCopy", "text/uri-list", "CORVANE_XDND_DATA"};
  xcb_atom_t* const atoms[] = {&mXdndAware,    &mXdndEnter,      &mXdndPosition, &mXdndStatus,
                               &mXdndLeave,    &mXdndDrop,       &mXdndFinished, &mXdndSelection,
                               &mXdndTypeList, &mXdndActionCopy, &mUriList,      &mProperty};
  constexpr size_t n = sizeof names / sizeof names[0];
  xcb_intern_atom_cookie_t cookies[n];
  for (size_t i = 0; i < n; ++i)
    cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(names[i])), names[i]);
  for (size_t i = 0; i < n; ++i) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookies[i], nullptr);
    *atoms[i] = reply ? reply->atom : XCB_NONE;
    std::free(reply);
  }
  const uint32_t version = kXdndVersion;
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, mWindow, mXdndAware, XCB_ATOM_ATOM, 32, 1,
                      &version);
  display.Flush();
}

bool X11DropTarget::HandleEvent(const xcb_generic_event_t& event) {
  const uint8_t type = event.response_type & 0x7f;
  if (type == XCB_SELECTION_NOTIFY) {
    const auto& e = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
    if (e.requestor != mWindow || e.selection != mXdndSelection) return false;
    OnSelectionNotify(e);
    return true;
  }
  if (type != XCB_CLIENT_MESSAGE) return false;
  const auto& e = reinterpret_cast<const xcb_client_message_event_t&>(event);
  if (e.window != mWindow || e.format != 32 || e.type == XCB_NONE) return false;
  if (e.type == mXdndEnter)
    OnEnter(e);
  else if (e.type == mXdndPosition)
    OnPosition(e);
  else if (e.type == mXdndDrop)
    OnDrop(e);
  else if (e.type == mXdndLeave) {
    if (e.data.data32[0] == mSource && !mAwaitingData) Reset();
  } else
    return false;
  return true;
}

void X11DropTarget::Reset() {
  mSource = XCB_NONE;
  mAcceptable = false;
  mAwaitingData = false;
}

void X11DropTarget::OnEnter(const xcb_client_message_event_t& e) {
  Reset();
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return;
  mSource = e.data.data32[0];
  mVersion = std::min(e.data.data32[1] >> 24, kXdndVersion);
  if (e.data.data32[1] & 1) {
    // More than three types: the full list is on the source window.
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, mSource, mXdndTypeList, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32) {
      const auto* types = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
      const int count = xcb_get_property_value_length(reply) / 4;
      for (int i = 0; i < count; ++i)
        if (types[i] == mUriList) mAcceptable = true;
    }
    std::free(reply);
  } else {
    for (int i = 2; i < 5; ++i)
      if (e.data.data32[i] == mUriList) mAcceptable = true;
  }
}

void X11DropTarget::OnPosition(const xcb_client_message_event_t& e) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c || e.data.data32[0] != mSource) return;
  const auto rootX = static_cast<int16_t>(e.data.data32[2] >> 16);
  const auto rootY = static_cast<int16_t>(e.data.data32[2] & 0xffff);
  const xcb_screen_t* screen = nullptr;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
    if (!screen) screen = it.data;
  xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
      c, xcb_translate_coordinates(c, screen->root, mWindow, rootX, rootY), nullptr);
  if (at) {
    mX = at->dst_x;
    mY = at->dst_y;
    std::free(at);
  }
  // Copy is what a drop of files means here, whatever action the source proposes.
  SendToSource(mXdndStatus, mAcceptable ? 1u : 0u, 0, 0, mAcceptable ? mXdndActionCopy : XCB_NONE);
}

void X11DropTarget::OnDrop(const xcb_client_message_event_t& e) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c || e.data.data32[0] != mSource) return;
  if (!mAcceptable) {
    Finish(false);
    return;
  }
  mAwaitingData = true;
  const xcb_timestamp_t time = mVersion >= 1 ? e.data.data32[2] : XCB_CURRENT_TIME;
  xcb_convert_selection(c, mWindow, mXdndSelection, mUriList, mProperty, time);
  mDisplay.Flush();
}

void X11DropTarget::OnSelectionNotify(const xcb_selection_notify_event_t& e) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c || !mAwaitingData) return;
  std::string text;
  bool ok = false;
  if (e.property != XCB_NONE) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c,
        xcb_get_property(c, 1, mWindow, e.property, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxUriListWords),
        nullptr);
    if (reply && reply->format == 8 && reply->type == mUriList) {
      text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                  static_cast<size_t>(xcb_get_property_value_length(reply)));
      ok = true;
    }
    std::free(reply);
  }
  const std::vector<std::string> paths = ok ? PathsFromUriList(text) : std::vector<std::string>();
  const int x = mX, y = mY;
  Finish(!paths.empty());
  if (!paths.empty() && mDrop) mDrop(paths, x, y);
}

void X11DropTarget::Finish(bool accepted) {
  if (mVersion >= 5)
    SendToSource(mXdndFinished, accepted ? 1u : 0u, accepted ? mXdndActionCopy : XCB_NONE, 0, 0);
  else
    SendToSource(mXdndFinished, 0, 0, 0, 0);
  Reset();
}

void X11DropTarget::SendToSource(xcb_atom_t type, uint32_t l1, uint32_t l2, uint32_t l3,
                                 uint32_t l4) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c || mSource == XCB_NONE) return;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = mSource;
  message.type = type;
  message.data.data32[0] = mWindow;
  message.data.data32[1] = l1;
  message.data.data32[2] = l2;
  message.data.data32[3] = l3;
  message.data.data32[4] = l4;
  xcb_send_event(c, 0, mSource, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
  mDisplay.Flush();
}

}  // namespace iplug::igraphics::x11

namespace iplug::igraphics::x11 {

namespace {

// A target that took the drop gets this long to say it has finished with the data.
constexpr int kFinishTimeoutMs = 5000;
constexpr int kVkEscape = 0x1B;

}  // namespace

X11DragSource::X11DragSource(X11Display& display, xcb_window_t window, std::string path)
    : mDisplay(display), mWindow(window) {
  // A file URI names an absolute path.
  std::error_code error;
  if (path.empty() || path[0] != '/') path = std::filesystem::absolute(path, error).string();
  mUriList = UriFromPath(path) + "\r\n";
  xcb_connection_t* c = display.Connection();
  if (!c) return;
  const char* const names[] = {"XdndAware",      "XdndEnter",     "XdndPosition", "XdndStatus",
                               "XdndLeave",      "XdndDrop",      "XdndFinished", "XdndSelection",
                               "XdndActionCopy", "text/uri-list", "TARGETS"};
  xcb_atom_t* const atoms[] = {&mXdndAware,      &mXdndEnter,   &mXdndPosition, &mXdndStatus,
                               &mXdndLeave,      &mXdndDrop,    &mXdndFinished, &mXdndSelection,
                               &mXdndActionCopy, &mUriListAtom, &mTargets};
  constexpr size_t n = sizeof names / sizeof names[0];
  xcb_intern_atom_cookie_t cookies[n];
  for (size_t i = 0; i < n; ++i)
    cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(names[i])), names[i]);
  for (size_t i = 0; i < n; ++i) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookies[i], nullptr);
    *atoms[i] = reply ? reply->atom : XCB_NONE;
    std::free(reply);
  }
}

X11DragSource::~X11DragSource() {
  if (mGiveUp != IRunLoop::kInvalidId && mLoop == GetRunLoop()) mLoop->RemoveTimer(mGiveUp);
  if (mState == State::Dragging && mTarget != XCB_NONE) Send(mTarget, mXdndLeave, 0, 0, 0, 0);
  if (xcb_connection_t* c = mDisplay.Connection(); c && mGrabbed) {
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    mDisplay.Flush();
  }
}

bool X11DragSource::Start() {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return false;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(c, xcb_get_geometry(c, mWindow), nullptr);
  if (!geometry) return false;
  mRoot = geometry->root;
  std::free(geometry);
  xcb_set_selection_owner(c, mWindow, mXdndSelection, XCB_CURRENT_TIME);
  xcb_grab_pointer_reply_t* pointer = xcb_grab_pointer_reply(
      c,
      xcb_grab_pointer(c, 0, mWindow,
                       XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                           XCB_EVENT_MASK_BUTTON_PRESS,
                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                       XCB_CURRENT_TIME),
      nullptr);
  mGrabbed = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS;
  std::free(pointer);
  if (!mGrabbed) return false;
  xcb_discard_reply(c, xcb_grab_keyboard(c, 0, mWindow, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                         XCB_GRAB_MODE_ASYNC)
                           .sequence);
  return mDisplay.Flush();
}

void X11DragSource::End() {
  mState = State::Done;
  if (xcb_connection_t* c = mDisplay.Connection(); c && mGrabbed) {
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    mDisplay.Flush();
  }
  mGrabbed = false;
}

xcb_window_t X11DragSource::TargetAt(int16_t rootX, int16_t rootY, uint32_t& version) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return XCB_NONE;
  // From the top-level window down: the first that says it takes drops, as sources do; an
  // editor embedded in a host is found inside it.
  xcb_window_t w = mRoot;
  for (int depth = 0; depth < 32; ++depth) {
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, mRoot, w, rootX, rootY), nullptr);
    const xcb_window_t child = at ? at->child : XCB_NONE;
    std::free(at);
    if (child == XCB_NONE || child == mWindow) return XCB_NONE;
    xcb_get_property_reply_t* aware = xcb_get_property_reply(
        c, xcb_get_property(c, 0, child, mXdndAware, XCB_ATOM_ATOM, 0, 1), nullptr);
    const bool isAware = aware && aware->format == 32 && xcb_get_property_value_length(aware) >= 4;
    if (isAware) version = *static_cast<const uint32_t*>(xcb_get_property_value(aware));
    std::free(aware);
    if (isAware) return child;
    w = child;
  }
  return XCB_NONE;
}

void X11DragSource::Send(xcb_window_t target, xcb_atom_t type, uint32_t l1, uint32_t l2,
                         uint32_t l3, uint32_t l4) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c || target == XCB_NONE) return;
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = target;
  message.type = type;
  message.data.data32[0] = mWindow;
  message.data.data32[1] = l1;
  message.data.data32[2] = l2;
  message.data.data32[3] = l3;
  message.data.data32[4] = l4;
  xcb_send_event(c, 0, target, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
  mDisplay.Flush();
}

void X11DragSource::SendPosition() {
  // One position at a time: the next goes when the target has answered this one.
  if (mAwaitingStatus) {
    mPositionPending = true;
    return;
  }
  mPositionPending = false;
  mAwaitingStatus = true;
  Send(mTarget, mXdndPosition, 0,
       static_cast<uint32_t>(static_cast<uint16_t>(mRootX)) << 16 | static_cast<uint16_t>(mRootY),
       mTime, mXdndActionCopy);
}

void X11DragSource::OnMotion(int16_t rootX, int16_t rootY, xcb_timestamp_t time) {
  mRootX = rootX;
  mRootY = rootY;
  mTime = time;
  uint32_t version = 0;
  const xcb_window_t target = TargetAt(rootX, rootY, version);
  if (target != mTarget) {
    if (mTarget != XCB_NONE) Send(mTarget, mXdndLeave, 0, 0, 0, 0);
    mTarget = target;
    mTargetVersion = std::min(version, kXdndVersion);
    mAccepted = false;
    mAwaitingStatus = false;
    if (mTarget != XCB_NONE) Send(mTarget, mXdndEnter, mTargetVersion << 24, mUriListAtom, 0, 0);
  }
  if (mTarget != XCB_NONE) SendPosition();
}

void X11DragSource::OnRelease(xcb_timestamp_t time) {
  if (mTarget != XCB_NONE && mAccepted) {
    Send(mTarget, mXdndDrop, 0, time, 0, 0);
    mState = State::AwaitingFinish;
    if (xcb_connection_t* c = mDisplay.Connection(); c && mGrabbed) {
      xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
      xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
      mDisplay.Flush();
    }
    mGrabbed = false;
    mLoop = GetRunLoop();
    if (mLoop)
      mGiveUp = mLoop->AddTimer(kFinishTimeoutMs, [this](IRunLoop::Id id) {
        if (id != mGiveUp) return;
        mLoop->RemoveTimer(mGiveUp);
        mGiveUp = IRunLoop::kInvalidId;
        End();
      });
    return;
  }
  if (mTarget != XCB_NONE) Send(mTarget, mXdndLeave, 0, 0, 0, 0);
  mTarget = XCB_NONE;
  End();
}

void X11DragSource::OnSelectionRequest(const xcb_selection_request_event_t& e) {
  xcb_connection_t* c = mDisplay.Connection();
  if (!c) return;
  xcb_selection_notify_event_t notify{};
  notify.response_type = XCB_SELECTION_NOTIFY;
  notify.time = e.time;
  notify.requestor = e.requestor;
  notify.selection = e.selection;
  notify.target = e.target;
  // Old clients leave the property to the owner: the target's name is used then.
  const xcb_atom_t property = e.property != XCB_NONE ? e.property : e.target;
  notify.property = XCB_NONE;
  if (e.target == mUriListAtom) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, e.requestor, property, mUriListAtom, 8,
                        static_cast<uint32_t>(mUriList.size()), mUriList.data());
    notify.property = property;
  } else if (e.target == mTargets) {
    const xcb_atom_t targets[] = {mTargets, mUriListAtom};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, e.requestor, property, XCB_ATOM_ATOM, 32, 2,
                        targets);
    notify.property = property;
  }
  xcb_send_event(c, 0, e.requestor, XCB_EVENT_MASK_NO_EVENT,
                 reinterpret_cast<const char*>(&notify));
  mDisplay.Flush();
}

bool X11DragSource::HandleEvent(const xcb_generic_event_t& event) {
  const uint8_t type = event.response_type & 0x7f;
  if (type == XCB_SELECTION_REQUEST) {
    const auto& e = reinterpret_cast<const xcb_selection_request_event_t&>(event);
    if (e.owner != mWindow || e.selection != mXdndSelection) return false;
    OnSelectionRequest(e);
    return true;
  }
  if (type == XCB_CLIENT_MESSAGE) {
    const auto& e = reinterpret_cast<const xcb_client_message_event_t&>(event);
    if (e.window != mWindow || e.format != 32 || e.data.data32[0] != mTarget || mTarget == XCB_NONE)
      return false;
    if (e.type == mXdndStatus) {
      mAwaitingStatus = false;
      mAccepted = (e.data.data32[1] & 1u) != 0;
      if (mState == State::Dragging && mPositionPending) SendPosition();
      return true;
    }
    if (e.type == mXdndFinished) {
      mDropped =
          mState == State::AwaitingFinish && (mTargetVersion < 5 || (e.data.data32[1] & 1u) != 0);
      End();
      return true;
    }
    return false;
  }
  if (mState != State::Dragging) return false;
  switch (type) {
    case XCB_MOTION_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
      OnMotion(e.root_x, e.root_y, e.time);
      return true;
    }
    case XCB_BUTTON_RELEASE: {
      const auto& e = reinterpret_cast<const xcb_button_release_event_t&>(event);
      OnRelease(e.time);
      return true;
    }
    case XCB_BUTTON_PRESS:
    case XCB_KEY_RELEASE:
      return true;
    case XCB_KEY_PRESS: {
      IKeyEvent key;
      if (mDisplay.TranslateKey(reinterpret_cast<const xcb_key_press_event_t&>(event), key) &&
          key.VK == kVkEscape) {
        if (mTarget != XCB_NONE) Send(mTarget, mXdndLeave, 0, 0, 0, 0);
        mTarget = XCB_NONE;
        End();
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace iplug::igraphics::x11
