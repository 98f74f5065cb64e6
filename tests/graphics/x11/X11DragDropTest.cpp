#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HeadlessTestSupport.h"
#include "X11TestSupport.h"
#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11DragDrop.h"

namespace {

using namespace headless_test;
using namespace x11_test;
using iplug::igraphics::x11::PathsFromUriList;
using iplug::igraphics::x11::UriFromPath;

TEST(X11UriList, FileUrisBecomeDecodedPathsAndOtherLinesAreSkipped) {
  const std::string list =
      "# a comment\r\nfile:///tmp/a%20b.wav\r\nhttp://example.com/x\r\n"
      "file://localhost/home/me/c.wav\r\nfile:///tmp/%E2%82%AC\r\n\r\nfile:relative";
  EXPECT_EQ(PathsFromUriList(list),
            (std::vector<std::string>{"/tmp/a b.wav", "/home/me/c.wav", "/tmp/\xE2\x82\xAC"}));
  EXPECT_EQ(UriFromPath("/tmp/a b%.wav"), "file:///tmp/a%20b%25.wav");
  EXPECT_EQ(PathsFromUriList(UriFromPath("/tmp/x y#z")), std::vector<std::string>{"/tmp/x y#z"});
}

// Keeps the drops that reach it.
class DropPad : public IControl {
 public:
  explicit DropPad(const IBox& bounds) : IControl(bounds) {}
  void Draw(IGraphics&) override {}
  bool AcceptsDrop() const override { return true; }
  void OnFileDrop(const char* path) override { single.push_back(path); }
  void OnFilesDrop(const std::vector<std::string>& paths) override { several.push_back(paths); }
  std::vector<std::string> single;
  std::vector<std::vector<std::string>> several;
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
  std::free(reply);
  return atom;
}

// The far side of a drag: a window of the test's own connection speaking XDND as a file
// manager would, answering for the data when asked.
struct Source {
  explicit Source(Host& h) : host(h), c(h.Connection()) {
    window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, host.Root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    selection = Atom(c, "XdndSelection");
    uriList = Atom(c, "text/uri-list");
    copy = Atom(c, "XdndActionCopy");
    xcb_set_selection_owner(c, window, selection, XCB_CURRENT_TIME);
    host.Sync();
  }
  ~Source() { xcb_destroy_window(c, window); }

  void Send(xcb_window_t target, const char* type, uint32_t l1, uint32_t l2, uint32_t l3,
            uint32_t l4) {
    xcb_client_message_event_t m{};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = target;
    m.type = Atom(c, type);
    m.data.data32[0] = window;
    m.data.data32[1] = l1;
    m.data.data32[2] = l2;
    m.data.data32[3] = l3;
    m.data.data32[4] = l4;
    xcb_send_event(c, 0, target, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&m));
    host.Sync();
  }
  /** Handles what came to the source; call it while the editor's loop runs. */
  void Pump() {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      const uint8_t type = e->response_type & 0x7f;
      if (type == XCB_CLIENT_MESSAGE) {
        const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
        messages.push_back(*m);
      } else if (type == XCB_SELECTION_REQUEST) {
        const auto* r = reinterpret_cast<const xcb_selection_request_event_t*>(e);
        xcb_selection_notify_event_t n{};
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = r->time;
        n.requestor = r->requestor;
        n.selection = r->selection;
        n.target = r->target;
        n.property = XCB_NONE;
        if (r->target == uriList) {
          xcb_change_property(c, XCB_PROP_MODE_REPLACE, r->requestor, r->property, uriList, 8,
                              static_cast<uint32_t>(data.size()), data.data());
          n.property = r->property;
        }
        ++requests;
        xcb_send_event(c, 0, r->requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&n));
        xcb_flush(c);
      }
      std::free(e);
    }
  }
  const xcb_client_message_event_t* Last(const char* type) {
    const xcb_atom_t atom = Atom(c, type);
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
      if (it->type == atom) return &*it;
    return nullptr;
  }

  Host& host;
  xcb_connection_t* c;
  xcb_window_t window = XCB_NONE;
  xcb_atom_t selection = XCB_NONE, uriList = XCB_NONE, copy = XCB_NONE;
  std::string data;
  std::vector<xcb_client_message_event_t> messages;
  int requests = 0;
};

class X11FileDrop : public ::testing::Test {
 protected:
  void SetUp() override {
    Xvfb& server = SharedXvfb();
    ASSERT_TRUE(server.Running()) << server.Error();
    setenv("DISPLAY", server.Display().c_str(), 1);
    iplug::SetRunLoop(&loop);
  }
  void TearDown() override {
    delegate.CloseWindow();
    iplug::SetRunLoop(nullptr);
  }
  // Two pads side by side, 200 points each, at a draw scale of 2.
  void Open(Host& host) {
    delegate.SetEditorSize(400, 300);
    delegate.SetGraphicsFactory([this] { return new IGraphicsX11(delegate, 400, 300, 60, 2.f); });
    delegate.SetLayoutFunction([this](IGraphics* g) {
      left = static_cast<DropPad*>(g->AddControl(new DropPad(IBox(0, 0, 200, 300))));
      right = static_cast<DropPad*>(g->AddControl(new DropPad(IBox(200, 0, 400, 300))));
    });
    ASSERT_NE(delegate.OpenWindow(host.ParentHandle()), nullptr) << IGraphicsX11::LastError();
    window =
        static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(delegate.GetUI()->NativeWindow()));
    loop.RunFor(30);
  }
  /** Enter, a position at window pixel (x, y), and the drop. */
  void Drag(Source& source, int x, int y) {
    source.Send(window, "XdndEnter", 5u << 24, source.uriList, 0, 0);
    // The editor's window sits at (15, 25) of the root.
    const uint32_t at = static_cast<uint32_t>((15 + x) << 16 | (25 + y));
    source.Send(window, "XdndPosition", 0, at, XCB_CURRENT_TIME, source.copy);
    ASSERT_TRUE(loop.RunUntil([&] {
      source.Pump();
      return source.Last("XdndStatus") != nullptr;
    }));
    const auto* status = source.Last("XdndStatus");
    EXPECT_EQ(status->data.data32[0], window);
    EXPECT_EQ(status->data.data32[1] & 1u, 1u);
    EXPECT_EQ(status->data.data32[4], source.copy);
    source.Send(window, "XdndDrop", 0, XCB_CURRENT_TIME, 0, 0);
    ASSERT_TRUE(loop.RunUntil([&] {
      source.Pump();
      return source.Last("XdndFinished") != nullptr;
    }));
  }

  PollRunLoop loop;
  TestEditorDelegate delegate;
  DropPad* left = nullptr;
  DropPad* right = nullptr;
  xcb_window_t window = XCB_NONE;
};

TEST_F(X11FileDrop, TheWindowSaysItTakesDropsInVersion5) {
  Host host(800, 600);
  Open(host);
  xcb_connection_t* c = host.Connection();
  xcb_get_property_reply_t* aware = xcb_get_property_reply(
      c, xcb_get_property(c, 0, window, Atom(c, "XdndAware"), XCB_ATOM_ATOM, 0, 1), nullptr);
  ASSERT_NE(aware, nullptr);
  ASSERT_EQ(xcb_get_property_value_length(aware), 4);
  EXPECT_EQ(*static_cast<uint32_t*>(xcb_get_property_value(aware)), 5u);
  std::free(aware);
}

TEST_F(X11FileDrop, ThreeFilesArriveAsOneDropOfThreePathsAtThePointInPoints) {
  Host host(800, 600);
  Open(host);
  Source source(host);
  source.data = "file:///tmp/one.wav\r\nfile:///tmp/two%20words.wav\r\nfile:///tmp/three.wav\r\n";
  // Pixel 300 is point 150 at a draw scale of 2: the left pad's, where at scale 1 it would be
  // the right one's.
  Drag(source, 300, 100);
  const auto* finished = source.Last("XdndFinished");
  EXPECT_EQ(finished->data.data32[1] & 1u, 1u);
  EXPECT_EQ(finished->data.data32[2], source.copy);
  EXPECT_EQ(source.requests, 1);
  ASSERT_EQ(left->several.size(), 1u);
  EXPECT_EQ(left->several[0],
            (std::vector<std::string>{"/tmp/one.wav", "/tmp/two words.wav", "/tmp/three.wav"}));
  EXPECT_TRUE(left->single.empty());
  EXPECT_TRUE(right->several.empty());
}

TEST_F(X11FileDrop, OneFileArrivesAsASingleDrop) {
  Host host(800, 600);
  Open(host);
  Source source(host);
  source.data = "file:///tmp/only.wav\r\n";
  Drag(source, 500, 100);
  EXPECT_EQ(right->single, std::vector<std::string>{"/tmp/only.wav"});
  EXPECT_TRUE(right->several.empty());
  EXPECT_TRUE(left->single.empty());
}

TEST_F(X11FileDrop, DataWithoutFilesIsRefusedAndTheSourceStillHearsTheEnd) {
  Host host(800, 600);
  Open(host);
  Source source(host);
  source.data = "http://example.com/\r\n";
  Drag(source, 100, 100);
  EXPECT_EQ(source.Last("XdndFinished")->data.data32[1] & 1u, 0u);
  EXPECT_TRUE(left->single.empty());
  EXPECT_TRUE(left->several.empty());

  // A drag offering no file list is told at once that it would not be taken.
  source.messages.clear();
  source.Send(window, "XdndEnter", 5u << 24, Atom(host.Connection(), "UTF8_STRING"), 0, 0);
  source.Send(window, "XdndPosition", 0, (15u + 10u) << 16 | (25u + 10u), XCB_CURRENT_TIME,
              source.copy);
  ASSERT_TRUE(loop.RunUntil([&] {
    source.Pump();
    return source.Last("XdndStatus") != nullptr;
  }));
  EXPECT_EQ(source.Last("XdndStatus")->data.data32[1] & 1u, 0u);
  source.Send(window, "XdndLeave", 0, 0, 0, 0);
}

// A control that drags a file out when pressed.
class DragPad : public IControl {
 public:
  explicit DragPad(const IBox& bounds) : IControl(bounds) {}
  void Draw(IGraphics&) override {}
  void OnMouseDown(float, float, const IPointerMods&) override {
    started = GetUI()->StartFileDragOut("/tmp/take one.wav", GetRECT());
  }
  bool started = false;
};

// A top-level window of the test's own taking file drops, as a file manager's would.
struct Target {
  Target(Host& h, int x, int y, bool accept) : host(h), c(h.Connection()), accepts(accept) {
    window = xcb_generate_id(c);
    const uint32_t values[] = {1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, host.Root(), static_cast<int16_t>(x),
                      static_cast<int16_t>(y), 100, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, values);
    const uint32_t version = 5;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, "XdndAware"), XCB_ATOM_ATOM, 32,
                        1, &version);
    xcb_map_window(c, window);
    host.Sync();
  }
  ~Target() { xcb_destroy_window(c, window); }

  void Reply(xcb_window_t source, const char* type, uint32_t l1, uint32_t l2) {
    xcb_client_message_event_t m{};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = source;
    m.type = Atom(c, type);
    m.data.data32[0] = window;
    m.data.data32[1] = l1;
    m.data.data32[2] = l2;
    xcb_send_event(c, 0, source, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&m));
    xcb_flush(c);
  }
  void Pump() {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      const uint8_t type = e->response_type & 0x7f;
      if (type == XCB_CLIENT_MESSAGE) {
        const auto* m = reinterpret_cast<const xcb_client_message_event_t*>(e);
        const xcb_window_t source = m->data.data32[0];
        if (m->type == Atom(c, "XdndEnter")) {
          log.push_back("enter");
          offered = m->data.data32[2];
        } else if (m->type == Atom(c, "XdndPosition")) {
          ++positions;
          Reply(source, "XdndStatus", accepts ? 1u : 0u, 0);
        } else if (m->type == Atom(c, "XdndLeave")) {
          log.push_back("leave");
        } else if (m->type == Atom(c, "XdndDrop")) {
          log.push_back("drop");
          dragSource = source;
          xcb_convert_selection(c, window, Atom(c, "XdndSelection"), Atom(c, "text/uri-list"),
                                Atom(c, "TEST_DROP"), m->data.data32[2]);
          xcb_flush(c);
        }
      } else if (type == XCB_SELECTION_NOTIFY) {
        const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
        xcb_get_property_reply_t* p = xcb_get_property_reply(
            c, xcb_get_property(c, 1, window, n->property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
            nullptr);
        if (p)
          data.assign(static_cast<const char*>(xcb_get_property_value(p)),
                      static_cast<size_t>(xcb_get_property_value_length(p)));
        std::free(p);
        Reply(dragSource, "XdndFinished", 1u, Atom(c, "XdndActionCopy"));
        log.push_back("finished");
      }
      std::free(e);
    }
  }

  Host& host;
  xcb_connection_t* c;
  bool accepts;
  xcb_window_t window = XCB_NONE;
  xcb_window_t dragSource = XCB_NONE;
  xcb_atom_t offered = XCB_NONE;
  int positions = 0;
  std::vector<std::string> log;
  std::string data;
};

class X11FileDragOut : public X11FileDrop {
 protected:
  void OpenDragger(Host& host) {
    delegate.SetEditorSize(200, 100);
    delegate.SetGraphicsFactory([this] { return new IGraphicsX11(delegate, 200, 100, 60); });
    delegate.SetLayoutFunction([this](IGraphics* g) {
      pad = static_cast<DragPad*>(g->AddControl(new DragPad(IBox(0, 0, 200, 100))));
    });
    ASSERT_NE(delegate.OpenWindow(host.ParentHandle()), nullptr) << IGraphicsX11::LastError();
    window =
        static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(delegate.GetUI()->NativeWindow()));
    loop.RunFor(30);
  }
  IGraphicsX11* UI() { return static_cast<IGraphicsX11*>(delegate.GetUI()); }
  DragPad* pad = nullptr;
};

TEST_F(X11FileDragOut, ATargetThatAcceptsGetsTheFileAsAUriAndTheDragEnds) {
  Host host(200, 100);
  OpenDragger(host);
  Target target(host, 600, 300, true);
  host.MovePointer(window, 50, 50);
  host.Button(1, true);
  ASSERT_TRUE(loop.RunUntil([&] { return pad->started; }));
  EXPECT_TRUE(UI()->DragOutActive());
  host.MovePointer(target.window, 20, 20);
  host.MovePointer(target.window, 40, 40);
  ASSERT_TRUE(loop.RunUntil([&] {
    target.Pump();
    return target.positions >= 1;
  }));
  loop.RunFor(30);
  target.Pump();
  host.Button(1, false);
  ASSERT_TRUE(loop.RunUntil([&] {
    target.Pump();
    return !UI()->DragOutActive();
  }));
  EXPECT_EQ(target.offered, Atom(host.Connection(), "text/uri-list"));
  EXPECT_EQ(target.data, "file:///tmp/take%20one.wav\r\n");
  ASSERT_GE(target.log.size(), 3u);
  EXPECT_EQ(target.log.front(), "enter");
  EXPECT_EQ(target.log.back(), "finished");
}

TEST_F(X11FileDragOut, ReleasedOverNothingTheDragEndsAndThePointerIsFree) {
  Host host(200, 100);
  OpenDragger(host);
  Target refusing(host, 600, 300, false);
  host.MovePointer(window, 50, 50);
  host.Button(1, true);
  ASSERT_TRUE(loop.RunUntil([&] { return pad->started; }));
  host.MovePointer(refusing.window, 20, 20);
  ASSERT_TRUE(loop.RunUntil([&] {
    refusing.Pump();
    return refusing.positions >= 1;
  }));
  loop.RunFor(30);
  host.Button(1, false);
  ASSERT_TRUE(loop.RunUntil([&] {
    refusing.Pump();
    return !UI()->DragOutActive();
  }));
  loop.RunFor(30);
  refusing.Pump();
  EXPECT_EQ(refusing.log, (std::vector<std::string>{"enter", "leave"}));
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

  // Closing the editor in the middle of a drag leaves nothing behind either. Pressed elsewhere,
  // or it would be a double click.
  host.MovePointer(window, 150, 80);
  host.Button(1, true);
  pad->started = false;
  ASSERT_TRUE(loop.RunUntil([&] { return pad->started; }));
  delegate.CloseWindow();
  host.Button(1, false);
}

}  // namespace
