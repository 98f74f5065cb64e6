// The bundle's UI module as a host loads it (dlopen, lv2ui_descriptor), in an X server of the
// test's own: the editor as a child of the host's window, what port events show, and a drag
// on a knob made through the server (XTEST) as a user's would be.

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/XvfbServer.h"

namespace {

constexpr const char* kStereoURI = "http://pellumar.com/plugins/corvane#stereo";
constexpr const char* kMonoURI = "http://pellumar.com/plugins/corvane#mono";
constexpr const char* kUiURI = "http://pellumar.com/plugins/corvane#ui";
constexpr int kWidth = 650;
constexpr int kHeight = 400;
// Ports of the stereo plug-in: audio 2 + 2, then the twelve parameters, the extra three and the
// four meters.
constexpr uint32_t kThresholdPort = 4;
constexpr uint32_t kGainPort = 4 + 8;
constexpr uint32_t kMeterInLeftPort = 4 + 12 + 3;
constexpr uint32_t kMonoGainPort = 2 + 8;

/** A rectangle of the editor, in pixels at zoom 1 (CorvaneEditor.cpp's layout). */
struct Rect {
  int x, y, w, h;
};
constexpr Rect kGainKnob{154, 268, 64, 64};
constexpr Rect kThresholdKnob{24, 152, 64, 64};
constexpr Rect kInputMeter{28, 26, 150, 50};
constexpr Rect kCurve{239, 58, 172, 172};

/** URIDs as a host hands them out. */
class URIDMap {
 public:
  URIDMap() {
    mMap.handle = this;
    mMap.map = [](LV2_URID_Map_Handle handle, const char* uri) -> LV2_URID {
      auto& ids = static_cast<URIDMap*>(handle)->mIds;
      return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
    };
  }
  LV2_URID_Map* Feature() { return &mMap; }

 private:
  LV2_URID_Map mMap;
  std::map<std::string, LV2_URID> mIds;
};

/** The host's side of one UI: its window, the features it offers, what the UI tells it. */
struct Host {
  struct Write {
    uint32_t port;
    float value;
  };
  xcb_connection_t* c = nullptr;
  xcb_screen_t* screen = nullptr;
  xcb_window_t window = XCB_NONE;
  std::vector<Write> writes;
  std::vector<std::pair<int, int>> resizes;
  std::vector<std::pair<uint32_t, bool>> touches;

  URIDMap urids;
  LV2UI_Resize resize{
      this, [](LV2UI_Feature_Handle h, int w, int ht) {
        auto* host = static_cast<Host*>(h);
        host->resizes.emplace_back(w, ht);
        // As a host does: the parent takes the size the UI asks for.
        const uint32_t size[] = {static_cast<uint32_t>(w), static_cast<uint32_t>(ht)};
        xcb_configure_window(host->c, host->window,
                             XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        xcb_flush(host->c);
        return 0;
      }};
  LV2UI_Touch touch{this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                      static_cast<Host*>(h)->touches.emplace_back(port, grabbed);
                    }};
  LV2_Feature parentFeature{LV2_UI__parent, nullptr};
  LV2_Feature resizeFeature{LV2_UI__resize, &resize};
  LV2_Feature touchFeature{LV2_UI__touch, &touch};
  LV2_Feature mapFeature{LV2_URID__map, urids.Feature()};
  LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
  const LV2_Feature* features[6] = {&parentFeature, &resizeFeature, &touchFeature,
                                    &mapFeature,    &idleFeature,   nullptr};

  static void WriteFunction(LV2UI_Controller controller, uint32_t port, uint32_t size,
                            uint32_t protocol, const void* buffer) {
    ASSERT_EQ(size, sizeof(float));
    ASSERT_EQ(protocol, 0u);
    float value;
    std::memcpy(&value, buffer, sizeof value);
    static_cast<Host*>(controller)->writes.push_back({port, value});
  }

  /** A top-level window at (0, y): editors must not overlap, or their pixels are not known. */
  explicit Host(const std::string& display, int y = 0) {
    c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c)) return;
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window = xcb_generate_id(c);
    const uint32_t values[] = {screen->black_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, static_cast<int16_t>(y),
                      300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL, values);
    xcb_map_window(c, window);
    xcb_flush(c);
    parentFeature.data = reinterpret_cast<void*>(static_cast<uintptr_t>(window));
  }
  ~Host() {
    if (c) xcb_disconnect(c);
  }
  bool Valid() const { return c && !xcb_connection_has_error(c) && window != XCB_NONE; }

  std::vector<xcb_window_t> Children(xcb_window_t of) const {
    std::vector<xcb_window_t> children;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, of), nullptr);
    if (!tree) return children;
    const xcb_window_t* list = xcb_query_tree_children(tree);
    children.assign(list, list + xcb_query_tree_children_length(tree));
    std::free(tree);
    return children;
  }

  /** The pixels of a rectangle of a window, as the server has them. */
  std::vector<uint8_t> Pixels(xcb_window_t of, const Rect& r) const {
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, of, static_cast<int16_t>(r.x),
                      static_cast<int16_t>(r.y), static_cast<uint16_t>(r.w),
                      static_cast<uint16_t>(r.h), ~0u),
        nullptr);
    std::vector<uint8_t> pixels;
    if (!image) return pixels;
    const uint8_t* data = xcb_get_image_data(image);
    pixels.assign(data, data + xcb_get_image_data_length(image));
    std::free(image);
    return pixels;
  }

  /** The pointer moved by (dx, dy) through the server, as a mouse moves it. */
  void FakeMotionBy(int dx, int dy) {
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 1, XCB_CURRENT_TIME, screen->root,
                        static_cast<int16_t>(dx), static_cast<int16_t>(dy), 0);
    xcb_flush(c);
  }

  /** Pointer input through the server, at a point of a window. */
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

/** The UI module, loaded as a host loads it. */
class Module {
 public:
  Module() { Open(); }
  ~Module() { Close(); }
  void Open() {
    mHandle = ::dlopen(Path().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!mHandle) return;
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(::dlsym(mHandle, "lv2ui_descriptor"));
    if (entry) mDescriptor = entry(0);
    if (entry) mSecond = entry(1);
  }
  void Close() {
    if (mHandle) ::dlclose(mHandle);
    mHandle = nullptr;
    mDescriptor = mSecond = nullptr;
  }
  static std::string Path() { return std::string(CORVANE_LV2_BUNDLE_DIR) + "/corvane_ui.so"; }
  void* Handle() const { return mHandle; }
  const LV2UI_Descriptor* Descriptor() const { return mDescriptor; }
  const LV2UI_Descriptor* Second() const { return mSecond; }
  const LV2UI_Idle_Interface* Idle() const {
    return mDescriptor && mDescriptor->extension_data
               ? static_cast<const LV2UI_Idle_Interface*>(
                     mDescriptor->extension_data(LV2_UI__idleInterface))
               : nullptr;
  }

 private:
  void* mHandle = nullptr;
  const LV2UI_Descriptor* mDescriptor = nullptr;
  const LV2UI_Descriptor* mSecond = nullptr;
};

class X11UI : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    ::setenv("DISPLAY", server.Name().c_str(), 1);
    // The stored zoom is the user's preference: a folder of the test's own holds none.
    config =
        std::filesystem::temp_directory_path() / ("corvane-lv2ui-" + std::to_string(::getpid()));
    std::filesystem::create_directories(config);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    host = std::make_unique<Host>(server.Name());
    ASSERT_TRUE(host->Valid());
    ASSERT_NE(module.Handle(), nullptr) << ::dlerror();
    ASSERT_NE(module.Descriptor(), nullptr);
    ASSERT_NE(module.Idle(), nullptr);
  }

  void TearDown() override {
    host.reset();
    std::error_code ec;
    std::filesystem::remove_all(config, ec);
  }

  LV2UI_Handle Instantiate(Host& h, const char* plugin, LV2UI_Widget& widget) {
    const std::string bundle = std::string(CORVANE_LV2_BUNDLE_DIR) + "/";
    return module.Descriptor()->instantiate(module.Descriptor(), plugin, bundle.c_str(),
                                            Host::WriteFunction, &h, &widget, h.features);
  }

  /** Idle calls at the rate a host makes them, for a while. */
  void Idle(LV2UI_Handle ui, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      EXPECT_EQ(module.Idle()->idle(ui), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  void Event(LV2UI_Handle ui, uint32_t port, float value) {
    module.Descriptor()->port_event(ui, port, sizeof value, 0, &value);
  }

  corvane::testing::XvfbServer server;
  std::filesystem::path config;
  std::unique_ptr<Host> host;
  Module module;
};

xcb_window_t WindowOf(LV2UI_Widget widget) {
  return static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(widget));
}

bool Uniform(const std::vector<uint8_t>& pixels) {
  for (size_t i = 4; i < pixels.size(); ++i)
    if (pixels[i] != pixels[i % 4]) return false;
  return true;
}

}  // namespace

TEST_F(X11UI, TheModuleExportsOneUIAndNothingElse) {
  EXPECT_STREQ(module.Descriptor()->URI, kUiURI);
  EXPECT_EQ(module.Second(), nullptr);
  EXPECT_EQ(module.Descriptor()->extension_data("urn:corvane-test:nothing"), nullptr);
  // The descriptor function is the module's only symbol: none of the framework's can clash with
  // a host's or another plug-in's.
  EXPECT_EQ(::dlsym(module.Handle(), "lv2_descriptor"), nullptr);
  EXPECT_EQ(::dlsym(module.Handle(), "_ZN5iplug8GetRunLoopEv"), nullptr);
}

// The whole life of the editor in a host's window: opened at its size, showing what the host
// reports, handing the user's drag to the host, and gone without a trace at cleanup.
TEST_F(X11UI, ShowsTheEditorInTheHostsWindowAndTakesADragOnAKnob) {
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = Instantiate(*host, kStereoURI, widget);
  ASSERT_NE(ui, nullptr);
  ASSERT_NE(widget, nullptr);
  const xcb_window_t editor = WindowOf(widget);
  ASSERT_FALSE(host->resizes.empty());
  EXPECT_EQ(host->resizes.back(), std::make_pair(kWidth, kHeight));
  EXPECT_EQ(host->Children(host->window), std::vector<xcb_window_t>({editor}));
  Idle(ui, 300);

  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(host->c, xcb_get_geometry(host->c, editor), nullptr);
  ASSERT_NE(geometry, nullptr);
  EXPECT_EQ(geometry->width, kWidth);
  EXPECT_EQ(geometry->height, kHeight);
  std::free(geometry);
  const std::vector<uint8_t> gainBefore = host->Pixels(editor, kGainKnob);
  const std::vector<uint8_t> thresholdBefore = host->Pixels(editor, kThresholdKnob);
  const std::vector<uint8_t> meterBefore = host->Pixels(editor, kInputMeter);
  const std::vector<uint8_t> curveBefore = host->Pixels(editor, kCurve);
  ASSERT_EQ(gainBefore.size(), 64u * 64u * 4u);
  EXPECT_FALSE(Uniform(gainBefore)) << "the knob is not drawn";

  // The host reports a new gain, then a level at full scale on the left input.
  Event(ui, kGainPort, 30.f);
  Event(ui, kMeterInLeftPort, 1.f);
  Idle(ui, 200);
  EXPECT_NE(host->Pixels(editor, kGainKnob), gainBefore) << "the gain knob did not turn";
  EXPECT_NE(host->Pixels(editor, kCurve), curveBefore) << "the curve did not follow the gain";
  EXPECT_NE(host->Pixels(editor, kInputMeter), meterBefore) << "the input meter did not light";
  EXPECT_EQ(host->Pixels(editor, kThresholdKnob), thresholdBefore);
  EXPECT_TRUE(host->writes.empty()) << "a host's own value went back to it";

  // The user drags the gain knob upwards, in steps of a mouse's (the editor may hold the
  // pointer where the drag began: only the movement counts).
  const int cx = kGainKnob.x + kGainKnob.w / 2;
  const int cy = kGainKnob.y + kGainKnob.h / 2;
  host->FakePointer(XCB_MOTION_NOTIFY, 0, editor, cx, cy);
  Idle(ui, 50);
  host->FakePointer(XCB_BUTTON_PRESS, 1, editor, cx, cy);
  Idle(ui, 50);
  for (int step = 1; step <= 8; ++step) {
    host->FakeMotionBy(0, -6);
    Idle(ui, 40);
  }
  host->FakePointer(XCB_BUTTON_RELEASE, 1, editor, cx, cy);
  Idle(ui, 100);

  ASSERT_GE(host->writes.size(), 2u);
  // 48 points up over a knob of 64 at gearing 4: about 11 dB of the 60.
  float last = 30.f;
  for (const Host::Write& write : host->writes) {
    EXPECT_EQ(write.port, kGainPort);
    EXPECT_GT(write.value, last);
    last = write.value;
  }
  EXPECT_NEAR(last, 30.f + 60.f * 48.f / 64.f / 4.f, 1.f);
  ASSERT_EQ(host->touches.size(), 2u);
  EXPECT_EQ(host->touches.front(), std::make_pair(kGainPort, true));
  EXPECT_EQ(host->touches.back(), std::make_pair(kGainPort, false));

  module.Descriptor()->cleanup(ui);
  EXPECT_TRUE(host->Children(host->window).empty());
}

// A drag on the editor's corner zooms it: the host is asked for the new size, the editor's window
// takes it, and the next editor opens at the zoom the user left it at.
TEST_F(X11UI, TheCornerZoomsTheEditorAndTheNextOneOpensAtThatZoom) {
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = Instantiate(*host, kStereoURI, widget);
  ASSERT_NE(ui, nullptr);
  const xcb_window_t editor = WindowOf(widget);
  Idle(ui, 100);
  host->resizes.clear();
  host->FakePointer(XCB_MOTION_NOTIFY, 0, editor, kWidth - 6, kHeight - 6);
  Idle(ui, 50);
  host->FakePointer(XCB_BUTTON_PRESS, 1, editor, kWidth - 6, kHeight - 6);
  Idle(ui, 50);
  for (int step = 0; step < 10; ++step) {
    host->FakeMotionBy(16, 10);
    Idle(ui, 30);
  }
  host->FakePointer(XCB_BUTTON_RELEASE, 1, editor, kWidth + 154, kHeight + 94);
  Idle(ui, 200);

  ASSERT_FALSE(host->resizes.empty());
  const auto [width, height] = host->resizes.back();
  const double zoom = width / static_cast<double>(kWidth);
  EXPECT_GT(zoom, 1.1);
  EXPECT_NEAR(height, zoom * kHeight, 1.0);
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(host->c, xcb_get_geometry(host->c, editor), nullptr);
  ASSERT_NE(geometry, nullptr);
  EXPECT_EQ(geometry->width, width);
  EXPECT_EQ(geometry->height, height);
  std::free(geometry);
  module.Descriptor()->cleanup(ui);

  host->resizes.clear();
  ui = Instantiate(*host, kStereoURI, widget);
  ASSERT_NE(ui, nullptr);
  ASSERT_FALSE(host->resizes.empty());
  EXPECT_EQ(host->resizes.back(), std::make_pair(width, height));
  module.Descriptor()->cleanup(ui);
}

// Two UIs of one process (a host showing both plug-ins) share the module and its run loop; a
// host that closes every editor and unloads the module finds it again, working, when it
// reopens one. The module stays loaded: Cairo, which the host's own toolkit keeps, holds font
// faces whose release calls back into it.
TEST_F(X11UI, TwoEditorsOfOneProcessAndAModuleLoadedAgain) {
  Host other(server.Name(), 500);
  ASSERT_TRUE(other.Valid());
  LV2UI_Widget stereoWidget = nullptr;
  LV2UI_Widget monoWidget = nullptr;
  LV2UI_Handle stereo = Instantiate(*host, kStereoURI, stereoWidget);
  LV2UI_Handle mono = Instantiate(other, kMonoURI, monoWidget);
  ASSERT_NE(stereo, nullptr);
  ASSERT_NE(mono, nullptr);
  EXPECT_NE(stereoWidget, monoWidget);
  Idle(stereo, 100);
  Idle(mono, 100);
  const std::vector<uint8_t> stereoBefore = host->Pixels(WindowOf(stereoWidget), kGainKnob);

  // Each editor shows its own values and writes to its own plug-in's ports.
  Event(mono, kMonoGainPort, 45.f);
  Idle(mono, 150);
  EXPECT_NE(other.Pixels(WindowOf(monoWidget), kGainKnob), stereoBefore);
  EXPECT_EQ(host->Pixels(WindowOf(stereoWidget), kGainKnob), stereoBefore);

  // Closing one leaves the other running.
  module.Descriptor()->cleanup(stereo);
  Event(mono, kMonoGainPort, 0.f);
  Idle(mono, 150);
  EXPECT_EQ(other.Pixels(WindowOf(monoWidget), kGainKnob), stereoBefore);
  module.Descriptor()->cleanup(mono);
  EXPECT_TRUE(other.Children(other.window).empty());

  module.Close();
  void* const resident = ::dlopen(Module::Path().c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(resident, nullptr) << "the module was unloaded";
  if (resident) ::dlclose(resident);
  module.Open();
  Module& again = module;
  ASSERT_NE(again.Descriptor(), nullptr);
  LV2UI_Widget widget = nullptr;
  const std::string bundle = std::string(CORVANE_LV2_BUNDLE_DIR) + "/";
  LV2UI_Handle ui =
      again.Descriptor()->instantiate(again.Descriptor(), kStereoURI, bundle.c_str(),
                                      Host::WriteFunction, host.get(), &widget, host->features);
  ASSERT_NE(ui, nullptr);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(again.Idle()->idle(ui), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  again.Descriptor()->cleanup(ui);
}

// The host destroys its window under the editor (a host closing without cleanup first): the
// editor says it is gone, and cleanup still works.
TEST_F(X11UI, IdleReportsTheEditorGoneWithTheHostsWindow) {
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = Instantiate(*host, kStereoURI, widget);
  ASSERT_NE(ui, nullptr);
  Idle(ui, 100);
  xcb_destroy_window(host->c, host->window);
  xcb_flush(host->c);
  int result = 0;
  for (int i = 0; i < 200 && result == 0; ++i) {
    result = module.Idle()->idle(ui);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(result, 1);
  module.Descriptor()->cleanup(ui);
}
