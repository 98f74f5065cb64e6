#include "X11TestSupport.h"

#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace x11_test {

// ---- Xvfb ----

Xvfb::Xvfb() {
  int fds[2];
  if (pipe(fds) != 0) {
    mError = "pipe failed";
    return;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const std::string fd = std::to_string(fds[1]);
  const char* argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen",  "0",
                        "1920x1200x24", "-nolisten",  "tcp",      "-noreset", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int spawned =
      posix_spawnp(&mPid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    mPid = -1;
    mError = "cannot start Xvfb (is the xvfb package installed?)";
    close(fds[0]);
    return;
  }
  // The server writes its display number once it accepts connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (number.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
    char buffer[16];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    mError = "Xvfb did not say its display number";
    Kill();
    return;
  }
  char name[24];
  std::snprintf(name, sizeof name, ":%d", std::atoi(number.c_str()));
  mDisplay = std::string(name);
}

Xvfb::~Xvfb() {
  if (mPid <= 0) return;
  kill(mPid, SIGTERM);
  waitpid(mPid, nullptr, 0);
}

void Xvfb::Kill() {
  if (mPid <= 0) return;
  kill(mPid, SIGKILL);
  waitpid(mPid, nullptr, 0);
  mPid = -1;
}

Xvfb& SharedXvfb() {
  static Xvfb server;
  return server;
}

// ---- The run loop ----

iplug::IRunLoop::Id PollRunLoop::AddTimer(int intervalMs, TimerCallback callback) {
  const int interval = std::max(intervalMs, 1);
  mTimers[mNextId] = Timer{interval, Clock::now() + std::chrono::milliseconds(interval),
                           std::make_shared<TimerCallback>(std::move(callback))};
  return mNextId++;
}

void PollRunLoop::RemoveTimer(Id timerId) {
  mTimers.erase(timerId);
}

iplug::IRunLoop::Id PollRunLoop::WatchFd(int fd, WatchCallback callback) {
  if (fd < 0) return kInvalidId;
  mWatches[mNextId] = {fd, std::make_shared<WatchCallback>(std::move(callback))};
  return mNextId++;
}

void PollRunLoop::UnwatchFd(Id watchId) {
  mWatches.erase(watchId);
}

std::vector<int> PollRunLoop::TimerIntervals() const {
  std::vector<int> intervals;
  for (const auto& [id, timer] : mTimers) intervals.push_back(timer.intervalMs);
  return intervals;
}

void PollRunLoop::Step(Clock::time_point until) {
  Clock::time_point wake = until;
  for (const auto& [id, timer] : mTimers) wake = std::min(wake, timer.due);
  std::vector<pollfd> fds;
  std::vector<Id> ids;
  for (const auto& [id, watch] : mWatches) {
    fds.push_back(pollfd{watch.first, POLLIN, 0});
    ids.push_back(id);
  }
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
  const int timeout = static_cast<int>(std::max<int64_t>(wait.count(), 0));
  if (poll(fds.data(), fds.size(), timeout) > 0) {
    for (size_t i = 0; i < fds.size(); ++i) {
      const auto it = mWatches.find(ids[i]);
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)) || it == mWatches.end()) continue;
      const auto callback = it->second.second;
      (*callback)(fds[i].fd);
    }
  }
  const Clock::time_point now = Clock::now();
  std::vector<Id> due;
  for (const auto& [id, timer] : mTimers)
    if (timer.due <= now) due.push_back(id);
  for (const Id id : due) {
    const auto it = mTimers.find(id);
    if (it == mTimers.end()) continue;
    it->second.due = now + std::chrono::milliseconds(it->second.intervalMs);
    const auto callback = it->second.callback;
    (*callback)(id);
  }
}

void PollRunLoop::RunFor(int ms) {
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < until) Step(until);
}

bool PollRunLoop::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done() && Clock::now() < until)
    Step(std::min(until, Clock::now() + std::chrono::milliseconds(5)));
  return done();
}

// ---- Pictures ----

bool WritePng(const golden::ImageView& image, const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(const_cast<uint8_t*>(image.pixels), CAIRO_FORMAT_ARGB32,
                                          image.width, image.height, image.stride);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

double DifferingShare(const golden::ImageView& a, const golden::ImageView& b) {
  if (a.width != b.width || a.height != b.height || a.width <= 0 || a.height <= 0) return 1.0;
  int differing = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      // Alpha, byte 3, is not compared: the window has none.
      for (int channel = 0; channel < 3; ++channel) {
        const int i = x * 4 + channel;
        if (std::abs(a.pixels[y * a.stride + i] - b.pixels[y * b.stride + i]) >
            golden::kChannelTolerance) {
          ++differing;
          break;
        }
      }
  return static_cast<double>(differing) / (static_cast<double>(a.width) * a.height);
}

::testing::AssertionResult SamePicture(const golden::ImageView& actual,
                                       const golden::ImageView& expected,
                                       const std::string& outputDir, const std::string& name) {
  const double share = DifferingShare(actual, expected);
  if (share <= golden::kDifferingShare) return ::testing::AssertionSuccess();
  WritePng(actual, outputDir + "/" + name + ".actual.png");
  WritePng(expected, outputDir + "/" + name + ".expected.png");
  return ::testing::AssertionFailure()
         << name << ": " << actual.width << "x" << actual.height << " against " << expected.width
         << "x" << expected.height << ", " << share * 100.0 << " % of the pixels differ; see "
         << outputDir;
}

// ---- The host ----

Host::Host(int parentWidth, int parentHeight) {
  mC = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(mC)) return;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(mC)).data;
  mRoot = screen->root;
  mTop = xcb_generate_id(mC);
  const uint32_t topValues[] = {screen->white_pixel,
                                XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
  xcb_create_window(mC, XCB_COPY_FROM_PARENT, mTop, mRoot, 10, 20,
                    static_cast<uint16_t>(parentWidth + 10),
                    static_cast<uint16_t>(parentHeight + 10), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, topValues);
  mParent = xcb_generate_id(mC);
  const uint32_t parentValues[] = {screen->black_pixel};
  xcb_create_window(mC, XCB_COPY_FROM_PARENT, mParent, mTop, 5, 5,
                    static_cast<uint16_t>(parentWidth), static_cast<uint16_t>(parentHeight), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                    parentValues);
  xcb_map_window(mC, mParent);
  xcb_map_window(mC, mTop);
  // A key held a little long on a busy machine must not come back as several.
  const uint32_t noRepeat = XCB_AUTO_REPEAT_MODE_OFF;
  xcb_change_keyboard_control(mC, XCB_KB_AUTO_REPEAT_MODE, &noRepeat);
  SetResources("");
  Sync();
}

Host::~Host() {
  if (mC) xcb_disconnect(mC);
}

void* Host::ParentHandle() const {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(mParent));
}

void Host::SetResources(const std::string& text) {
  xcb_change_property(mC, XCB_PROP_MODE_REPLACE, mRoot, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING,
                      8, static_cast<uint32_t>(text.size()), text.data());
  Sync();
}

Host::Geometry Host::GeometryOf(xcb_window_t window) {
  Geometry g;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(mC, xcb_get_geometry(mC, window), nullptr);
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(mC, xcb_query_tree(mC, window), nullptr);
  if (geometry && tree)
    g = Geometry{geometry->x, geometry->y, geometry->width, geometry->height, tree->parent};
  std::free(geometry);
  std::free(tree);
  return g;
}

Picture Host::Capture(xcb_window_t window) {
  Picture picture;
  const Geometry g = GeometryOf(window);
  xcb_get_image_reply_t* image = xcb_get_image_reply(
      mC,
      xcb_get_image(mC, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<uint16_t>(g.width),
                    static_cast<uint16_t>(g.height), ~0u),
      nullptr);
  if (!image) return picture;
  const uint8_t* data = xcb_get_image_data(image);
  picture.width = g.width;
  picture.height = g.height;
  picture.pixels.assign(data, data + static_cast<size_t>(g.width) * g.height * 4);
  for (size_t i = 3; i < picture.pixels.size(); i += 4) picture.pixels[i] = 0xFF;
  std::free(image);
  return picture;
}

void Host::MovePointer(xcb_window_t window, int x, int y) {
  xcb_translate_coordinates_reply_t* origin = xcb_translate_coordinates_reply(
      mC, xcb_translate_coordinates(mC, window, mRoot, 0, 0), nullptr);
  if (!origin) return;
  xcb_test_fake_input(mC, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, mRoot,
                      static_cast<int16_t>(origin->dst_x + x),
                      static_cast<int16_t>(origin->dst_y + y), XCB_NONE);
  std::free(origin);
  Sync();
}

void Host::Button(int button, bool press) {
  xcb_test_fake_input(mC, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                      static_cast<uint8_t>(button), XCB_CURRENT_TIME, XCB_NONE, 0, 0, XCB_NONE);
  Sync();
}

void Host::Click(int button) {
  Button(button, true);
  Button(button, false);
}

int Host::Keycode(uint32_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(mC);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
      mC, xcb_get_keyboard_mapping(mC, setup->min_keycode, static_cast<uint8_t>(count)), nullptr);
  int code = 0;
  if (map) {
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    for (int k = 0; k < count && code == 0; ++k)
      if (syms[k * map->keysyms_per_keycode] == keysym) code = setup->min_keycode + k;
  }
  std::free(map);
  return code;
}

void Host::Key(uint32_t keysym, bool press) {
  const int code = Keycode(keysym);
  if (code == 0) return;
  xcb_test_fake_input(mC, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, static_cast<uint8_t>(code),
                      XCB_CURRENT_TIME, XCB_NONE, 0, 0, XCB_NONE);
  Sync();
}

void Host::PointerIn(xcb_window_t window, int& x, int& y) {
  xcb_query_pointer_reply_t* reply =
      xcb_query_pointer_reply(mC, xcb_query_pointer(mC, window), nullptr);
  x = reply ? reply->win_x : -1;
  y = reply ? reply->win_y : -1;
  std::free(reply);
}

void Host::Sync() {
  std::free(xcb_get_input_focus_reply(mC, xcb_get_input_focus(mC), nullptr));
}

std::vector<std::string> Host::KeysSentToTop() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(mC)) {
    const uint8_t type = event->response_type & 0x7f;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    // Only sent events count: the server's own would mean the editor never had the key.
    if ((event->response_type & 0x80) && key->event == mTop &&
        (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE))
      mKeys.push_back((type == XCB_KEY_PRESS ? "press " : "release ") +
                      std::to_string(key->detail));
    std::free(event);
  }
  return mKeys;
}

}  // namespace x11_test
