// The CLAP plug-in's editor as a host embeds it, in an X server of the test's own: a child of the
// host's window, ticked only by the host's timers, taking a drag made through the server (XTEST)
// as a user's and handing it to the host as a gesture, sized by the host, and destroyed while
// the audio thread goes on processing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/XvfbServer.h"

#include "host/claphost/ClapHost.h"
#include "plugin/CorvaneParams.h"

namespace {

namespace clap = corvane::host::clap;

constexpr int kWidth = 650;
constexpr int kHeight = 400;
/** The gain knob's square in the editor, at zoom 1 (the editor's layout). */
constexpr int kGainX = 154, kGainY = 268, kGainSize = 64;

/** The host's own window and its view of the server. */
struct Window {
  xcb_connection_t* c = nullptr;
  xcb_screen_t* screen = nullptr;
  xcb_window_t id = XCB_NONE;

  /** A top-level window at (0, y): windows must not overlap, or their pixels are not known. */
  explicit Window(const std::string& display, int y = 0) {
    c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c)) return;
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    id = xcb_generate_id(c);
    const uint32_t values[] = {screen->black_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, id, screen->root, 0, static_cast<int16_t>(y), kWidth,
                      kHeight, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL, values);
    xcb_map_window(c, id);
    xcb_flush(c);
  }
  ~Window() {
    if (c) xcb_disconnect(c);
  }
  bool Valid() const { return c && !xcb_connection_has_error(c) && id != XCB_NONE; }

  std::vector<xcb_window_t> Children() const {
    std::vector<xcb_window_t> children;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, id), nullptr);
    if (!tree) return children;
    const xcb_window_t* list = xcb_query_tree_children(tree);
    children.assign(list, list + xcb_query_tree_children_length(tree));
    std::free(tree);
    return children;
  }
  std::pair<int, int> SizeOf(xcb_window_t w) const {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
    if (!g) return {0, 0};
    const std::pair<int, int> size{g->width, g->height};
    std::free(g);
    return size;
  }
  /** The pixels of the gain knob's square in a window, as the server has them. */
  std::vector<uint8_t> KnobPixels(xcb_window_t of) const {
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, of, kGainX, kGainY, kGainSize, kGainSize, ~0u),
        nullptr);
    std::vector<uint8_t> pixels;
    if (!image) return pixels;
    const uint8_t* data = xcb_get_image_data(image);
    pixels.assign(data, data + xcb_get_image_data_length(image));
    std::free(image);
    return pixels;
  }
  void FakeMotionBy(int dx, int dy) {
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 1, XCB_CURRENT_TIME, screen->root,
                        static_cast<int16_t>(dx), static_cast<int16_t>(dy), 0);
    xcb_flush(c);
  }
  void FakePointer(uint8_t type, uint8_t button, xcb_window_t of, int x, int y) {
    xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
        c,
        xcb_translate_coordinates(c, of, screen->root, static_cast<int16_t>(x),
                                  static_cast<int16_t>(y)),
        nullptr);
    ASSERT_NE(at, nullptr);
    xcb_test_fake_input(c, type, button, XCB_CURRENT_TIME, screen->root, at->dst_x, at->dst_y, 0);
    std::free(at);
    xcb_flush(c);
  }
};

/** A plug-in whose audio thread processes silence-free blocks until told to stop. */
class Running {
 public:
  Running(clap::Module& module, clap::Host& host) : mHost(host) {
    const clap_plugin_factory_t* f = module.Factory();
    plugin = f->create_plugin(f, host.Get(), "com.pellumar.corvane");
    if (!plugin || !plugin->init(plugin) || !plugin->activate(plugin, 48000.0, 1, 256)) {
      plugin = nullptr;
      return;
    }
    mThread = std::thread([this] {
      clap::AudioScope audio;
      if (!plugin->start_processing(plugin)) return;
      std::vector<float> left(256), right(256);
      float* channels[2] = {left.data(), right.data()};
      clap::Events none;
      int block = 0;
      while (!mStop.load()) {
        for (int i = 0; i < 256; ++i) left[i] = right[i] = 0.5f * ((block + i) % 64 < 32 ? 1 : -1);
        clap_audio_buffer_t buffer{channels, nullptr, 2, 0, 0};
        clap_process_t p{};
        p.frames_count = 256;
        p.audio_inputs = &buffer;
        p.audio_outputs = &buffer;
        p.audio_inputs_count = p.audio_outputs_count = 1;
        p.in_events = none.List();
        p.out_events = output.List();
        if (plugin->process(plugin, &p) != CLAP_PROCESS_CONTINUE) failures.fetch_add(1);
        blocks.fetch_add(1);
        ++block;
        std::this_thread::yield();
      }
      plugin->stop_processing(plugin);
    });
  }
  /** Stops the audio thread; what it received stays readable. */
  void Stop() {
    mStop.store(true);
    if (mThread.joinable()) mThread.join();
  }
  ~Running() {
    Stop();
    if (plugin) {
      plugin->deactivate(plugin);
      plugin->destroy(plugin);
    }
  }

  const clap_plugin_t* plugin = nullptr;
  clap::Output output;  // read only once stopped
  std::atomic<int> failures{0};
  std::atomic<long> blocks{0};

 private:
  clap::Host& mHost;
  std::atomic<bool> mStop{false};
  std::thread mThread;
};

class ClapEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    if (server.Name().empty()) GTEST_SKIP() << "Xvfb could not be started";
    ::setenv("DISPLAY", server.Name().c_str(), 1);
    // The stored zoom is the user's preference: a folder of the test's own holds none.
    config =
        std::filesystem::temp_directory_path() / ("corvane-clapui-" + std::to_string(::getpid()));
    std::filesystem::create_directories(config);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(config, ec);
  }

  /** The host's main loop: its timers fire on this thread, for `ms` or until `done` holds. */
  static void Pump(clap::Host& host, const clap_plugin_t* plugin, int ms,
                   const std::function<bool()>& done = {}) {
    const auto* timers = static_cast<const clap_plugin_timer_support_t*>(
        plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      std::vector<clap_id> ids;
      for (const auto& [id, period] : host.timers) ids.push_back(id);
      for (const clap_id id : ids)
        if (host.timers.count(id)) timers->on_timer(plugin, id);
      if (done && done()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
  }

  corvane::testing::XvfbServer server{"1600x1200x24"};
  std::filesystem::path config;
};

// The editor's whole life in a host that processes all along: embedded at its size, ticked by
// the host's timers alone, a drag on the gain knob out to the host as begin, values, end; sized by
// the host; destroyed with nothing left behind while blocks keep coming.
TEST_F(ClapEditor, EmbedsTakesADragAndIsDestroyedWhileAudioRuns) {
  Window window(server.Name());
  ASSERT_TRUE(window.Valid());
  clap::Module module(CORVANE_CLAP_BUNDLE);
  clap::Host host;
  Running running(module, host);
  ASSERT_NE(running.plugin, nullptr);
  const clap_plugin_t* p = running.plugin;
  const auto* gui = static_cast<const clap_plugin_gui_t*>(p->get_extension(p, CLAP_EXT_GUI));
  ASSERT_NE(gui, nullptr);

  ASSERT_TRUE(gui->create(p, CLAP_WINDOW_API_X11, false));
  ASSERT_TRUE(gui->set_scale(p, 1.0));
  clap_window_t parent{CLAP_WINDOW_API_X11, {}};
  parent.x11 = window.id;
  ASSERT_TRUE(gui->set_parent(p, &parent));
  EXPECT_FALSE(gui->set_parent(p, &parent));  // one window per editor
  ASSERT_TRUE(gui->show(p));
  EXPECT_FALSE(host.timers.empty());
  const std::vector<xcb_window_t> children = window.Children();
  ASSERT_EQ(children.size(), 1u);
  const xcb_window_t editor = children.front();
  Pump(host, p, 300);
  EXPECT_EQ(window.SizeOf(editor), std::make_pair(kWidth, kHeight));
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(gui->get_size(p, &w, &h));
  EXPECT_EQ(w, static_cast<uint32_t>(kWidth));
  EXPECT_EQ(h, static_cast<uint32_t>(kHeight));

  // Drawn: the knob is not one colour.
  const std::vector<uint8_t> knobBefore = window.KnobPixels(editor);
  ASSERT_EQ(knobBefore.size(), size_t{kGainSize} * kGainSize * 4);
  bool uniform = true;
  for (size_t i = 4; i < knobBefore.size() && uniform; ++i)
    uniform = knobBefore[i] == knobBefore[i % 4];
  EXPECT_FALSE(uniform) << "the knob is not drawn";

  // The user drags the gain knob upwards, a mouse's steps at a time.
  const int flushesBefore = host.flushRequests.load();
  const int cx = kGainX + kGainSize / 2, cy = kGainY + kGainSize / 2;
  window.FakePointer(XCB_MOTION_NOTIFY, 0, editor, cx, cy);
  Pump(host, p, 50);
  window.FakePointer(XCB_BUTTON_PRESS, 1, editor, cx, cy);
  Pump(host, p, 50);
  for (int step = 0; step < 8; ++step) {
    window.FakeMotionBy(0, -6);
    Pump(host, p, 40);
  }
  window.FakePointer(XCB_BUTTON_RELEASE, 1, editor, cx, cy);
  Pump(host, p, 100);
  EXPECT_GT(host.flushRequests.load(), flushesBefore);
  const auto* params =
      static_cast<const clap_plugin_params_t*>(p->get_extension(p, CLAP_EXT_PARAMS));
  double gain = 0.0;
  ASSERT_TRUE(params->get_value(p, corvane::kGain, &gain));
  EXPECT_GT(gain, 5.0);
  EXPECT_NE(window.KnobPixels(editor), knobBefore) << "the knob did not turn";

  // The host sizes the window: the editor takes the zoom that fits.
  w = 1300;
  h = 820;
  ASSERT_TRUE(gui->adjust_size(p, &w, &h));
  ASSERT_EQ(std::make_pair(w, h), std::make_pair(1300u, 800u));
  ASSERT_TRUE(gui->set_size(p, w, h));
  Pump(host, p, 500, [&] { return window.SizeOf(editor) == std::make_pair(1300, 800); });
  EXPECT_EQ(window.SizeOf(editor), std::make_pair(1300, 800));
  ASSERT_TRUE(gui->get_size(p, &w, &h));
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(1300u, 800u));

  // Destroyed while the audio thread goes on.
  const long blocksBefore = running.blocks.load();
  gui->destroy(p);
  EXPECT_TRUE(host.timers.empty());
  xcb_flush(window.c);
  EXPECT_TRUE(window.Children().empty());
  while (running.blocks.load() < blocksBefore + 20) std::this_thread::yield();
  running.Stop();
  EXPECT_EQ(running.failures.load(), 0);

  // What the host heard: one gesture on the gain, values rising inside it.
  std::vector<clap::Output::Event> gainEvents;
  for (const auto& e : running.output.events)
    if (e.id == corvane::kGain) gainEvents.push_back(e);
  ASSERT_GE(gainEvents.size(), 3u);
  EXPECT_EQ(gainEvents.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
  EXPECT_EQ(gainEvents.back().type, CLAP_EVENT_PARAM_GESTURE_END);
  double last = 0.0;
  for (size_t i = 1; i + 1 < gainEvents.size(); ++i) {
    EXPECT_EQ(gainEvents[i].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_GT(gainEvents[i].value, last);
    last = gainEvents[i].value;
  }
  EXPECT_EQ(last, gain);
}

}  // namespace

namespace {

// Two instances' editors share the process's one X connection and timers: those run on the
// first opener's host; when that editor goes first, they move to the other's, which goes on
// following its host's values.
TEST_F(ClapEditor, TimersMoveToTheNextHostWhenTheFirstEditorCloses) {
  Window first(server.Name()), second(server.Name(), kHeight + 10);
  ASSERT_TRUE(first.Valid() && second.Valid());
  clap::Module module(CORVANE_CLAP_BUNDLE);
  clap::Host hostA, hostB;
  clap::Instance a(module, hostA, "com.pellumar.corvane");
  clap::Instance b(module, hostB, "com.pellumar.corvane.mono");
  const auto* gui = a.Ext<clap_plugin_gui_t>(CLAP_EXT_GUI);
  for (auto [instance, window] : {std::pair{&a, &first}, std::pair{&b, &second}}) {
    ASSERT_TRUE(gui->create(instance->Get(), CLAP_WINDOW_API_X11, false));
    clap_window_t parent{CLAP_WINDOW_API_X11, {}};
    parent.x11 = window->id;
    ASSERT_TRUE(gui->set_parent(instance->Get(), &parent));
  }
  EXPECT_FALSE(hostA.timers.empty());
  Pump(hostA, a.Get(), 300);
  ASSERT_EQ(second.Children().size(), 1u);
  const xcb_window_t editor = second.Children().front();

  gui->destroy(a.Get());
  EXPECT_TRUE(hostA.timers.empty());
  EXPECT_FALSE(hostB.timers.empty());
  const std::vector<uint8_t> before = second.KnobPixels(editor);
  clap::Events events;
  events.Value(0, corvane::kGain, 45.0);
  b.Flush(events);
  Pump(hostB, b.Get(), 1000, [&] { return second.KnobPixels(editor) != before; });
  EXPECT_NE(second.KnobPixels(editor), before) << "the editor stopped following its host";
  gui->destroy(b.Get());
  EXPECT_TRUE(hostB.timers.empty());
  EXPECT_TRUE(second.Children().empty());
}

}  // namespace
