#include "host/validate/EditorTests.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/HostError.h"
#include "host/ModuleEditor.h"
#include "host/ModuleHost.h"
#include "host/x11/HostWindow.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC's runtimes export the allocator's statistics without shipping clang's header for them.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif
#define CORVANE_SANITIZER_HEAP 1
#else
#include <malloc.h>
#endif
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace corvane::host::validate {

namespace {

[[noreturn]] void Fail(const std::string& reason) {
  throw Failure{reason};
}

[[noreturn]] void Skip(const std::string& reason) {
  throw Skipped{reason};
}

constexpr double kRate = 48000.0;
/** The plug-in's idle tick, which carries the host's values to the editor. */
constexpr int64_t kIdleTickMs = 20;
/** One display tick of an editor at 60 frames per second, rounded up so that one falls due. */
constexpr int64_t kDisplayTickMs = 17;

/** Where the editor shows each parameter, in points at zoom 1 (left, top, right, bottom). */
struct ControlArea {
  const char* parameter;
  float left, top, right, bottom;
};
constexpr ControlArea kControlAreas[] = {
    {"Threshold", 24, 152, 88, 216},      {"T Assym", 112, 145, 159, 192},
    {"Knee", 26, 309, 90, 373},           {"K Assym", 63, 249, 110, 296},
    {"Nonlinearity", 563, 152, 627, 216}, {"N Assym", 494, 146, 541, 193},
    {"Mod A", 539, 250, 586, 297},        {"Mod B", 571, 318, 618, 365},
    {"Gain", 154, 268, 218, 332},         {"Mix", 370, 294, 417, 341},
    {"Output", 443, 267, 490, 314},       {"Oversampling", 480, 330, 509, 359},
};

const ControlArea* AreaOf(const std::string& parameterName) {
  for (const ControlArea& area : kControlAreas)
    if (parameterName == area.parameter) return &area;
  return nullptr;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string AreaText(const ControlArea& area) {
  return "(" + Number(area.left) + ", " + Number(area.top) + ", " + Number(area.right) + ", " +
         Number(area.bottom) + ")";
}

/** An instance on the stereo (or the first) component at 48 kHz, ready to render. */
std::unique_ptr<ModuleInstance> MakeInstance(ModuleHost& module) {
  const aaxhost::Effect& effect = module.Effect();
  const aaxhost::Component* component = FindComponentForChannels(effect, 2);
  auto instance = std::make_unique<ModuleInstance>(
      module, component ? *component : effect.components.front(), kRate);
  instance->Initialize();
  instance->PrepareContext();
  return instance;
}

int Channels(const aaxhost::Component& component, int32_t property) {
  const auto stem = component.ProcProperty(property);
  return stem ? static_cast<int>(AAX_StemFormatChannelCount(*stem)) : 0;
}

/**
 * The instance's editor open in memory. A module without an editor, or with one that needs a
 * window, leaves nothing to check: the test is skipped.
 */
std::unique_ptr<ModuleEditor> OpenEditor(TestContext& context, ModuleInstance& instance,
                                         float zoom = 1.0f, float screen = 1.0f) {
  if (!ModuleHasEditor(instance.Module())) Skip("the module describes no editor");
  auto editor = std::make_unique<ModuleEditor>(instance);
  if (!editor->Open(zoom, screen)) Skip("the module's editor does not open without a window");
  return editor;
}

/** Pixels of a and b (of one size) inside a box of pixels that differ by more than
 * anti-aliasing in any channel. */
size_t DifferingPixels(const aaxhost::OffscreenFrame& a, const aaxhost::OffscreenFrame& b,
                       int32_t left, int32_t top, int32_t right, int32_t bottom) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, a.width);
  bottom = std::min(bottom, a.height);
  size_t differing = 0;
  for (int32_t y = top; y < bottom; ++y) {
    for (int32_t x = left; x < right; ++x) {
      const uint32_t p = a.At(x, y), q = b.At(x, y);
      for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(static_cast<int>((p >> shift) & 0xFF) -
                     static_cast<int>((q >> shift) & 0xFF)) > 2) {
          ++differing;
          break;
        }
      }
    }
  }
  return differing;
}

size_t DifferingPixels(const aaxhost::OffscreenFrame& a, const aaxhost::OffscreenFrame& b) {
  return DifferingPixels(a, b, 0, 0, a.width, a.height);
}

/** Alike but for anti-aliasing: at most one pixel in a thousand differs. */
bool Alike(const aaxhost::OffscreenFrame& a, const aaxhost::OffscreenFrame& b) {
  return a.width == b.width && a.height == b.height && !a.Empty() &&
         DifferingPixels(a, b) * 1000 <= a.pixels.size();
}

/** An area in points as pixels of a frame drawn at this density (zoom × screen scale). */
size_t DifferingPixelsIn(const aaxhost::OffscreenFrame& a, const aaxhost::OffscreenFrame& b,
                         const ControlArea& area, float density) {
  return DifferingPixels(a, b, static_cast<int32_t>(std::floor(area.left * density)),
                         static_cast<int32_t>(std::floor(area.top * density)),
                         static_cast<int32_t>(std::ceil(area.right * density)),
                         static_cast<int32_t>(std::ceil(area.bottom * density)));
}

/** Heap in use, as the allocator that is in charge counts it. */
size_t HeapInUse() {
#if defined(CORVANE_SANITIZER_HEAP)
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
#endif
}

std::string Bytes(double bytes) {
  char text[32];
  if (bytes >= 1024.0 * 1024.0)
    std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
  else if (bytes >= 1024.0)
    std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.0f bytes", bytes);
  return text;
}

AAX_OffscreenEvent Pointer(int32_t kind, float x, float y) {
  AAX_OffscreenEvent event{};
  event.kind = kind;
  event.x = x;
  event.y = y;
  event.modifiers = AAX_eOffscreenModifier_Left;
  return event;
}

/** Sends an event and lets one display tick pass, as a window system would. */
void SendAndTick(ModuleEditor& editor, ModuleHost& module, const AAX_OffscreenEvent& event) {
  editor.Send(event);
  module.RunLoop().Advance(kDisplayTickMs);
}

/**
 * What one pointer gesture on one parameter's control must look like to the host: touched,
 * one or more values, released, and nothing else. Returns the values.
 */
std::vector<double> CheckGesture(const std::vector<aaxhost::Gesture>& gestures,
                                 const std::string& id, const std::string& what) {
  using Kind = aaxhost::Gesture::Kind;
  std::string seen;
  for (const aaxhost::Gesture& gesture : gestures)
    seen += std::string(seen.empty() ? "" : ", ") +
            (gesture.kind == Kind::kTouch ? "touch"
             : gesture.kind == Kind::kSet ? "set"
                                          : "release") +
            " '" + gesture.parameterID + "'";
  if (seen.empty()) seen = "nothing";
  const auto wrong = [&](const std::string& why) {
    Fail(what + " reached the host as " + seen + ": " + why);
  };
  if (gestures.size() < 3) wrong("not a touch, values and a release");
  std::vector<double> values;
  for (size_t i = 0; i < gestures.size(); ++i) {
    const aaxhost::Gesture& gesture = gestures[i];
    if (gesture.parameterID != id) wrong("a gesture on another parameter than '" + id + "'");
    const Kind expected = i == 0                     ? Kind::kTouch
                          : i + 1 == gestures.size() ? Kind::kRelease
                                                     : Kind::kSet;
    if (gesture.kind != expected)
      wrong(i == 0                     ? "the touch is not first"
            : i + 1 == gestures.size() ? "the release is not last"
                                       : "a touch or release inside the gesture");
    if (gesture.kind == Kind::kSet) values.push_back(gesture.value);
  }
  return values;
}

/** The host's value of a parameter is the last one the editor sent, and the plug-in agrees. */
void CheckFollows(ModuleInstance& instance, const std::string& id, double sent,
                  const std::string& what) {
  const auto applied = instance.AppliedValues().find(id);
  if (applied == instance.AppliedValues().end() || std::fabs(applied->second - sent) > 1e-12)
    Fail("after " + what + ", the host did not write back the value " + Number(sent));
  const double now = instance.Normalized(id);
  if (std::fabs(now - sent) > 1e-9)
    Fail("after " + what + ", the parameter is " + Number(now) + ", not the " + Number(sent) +
         " it sent the host");
}

std::optional<std::string> ParameterNamed(ModuleInstance& instance, const std::string& name) {
  for (int32_t index = 0; index < instance.ParameterCount(); ++index) {
    const std::string id = instance.ParameterID(index);
    if (instance.ParameterName(id) == name) return id;
  }
  return std::nullopt;
}

/**
 * Opens and closes the instance's editor rounds times while the host's audio thread renders;
 * openOnce opens it in a fresh editor object (and names the round in where) and returns what is
 * wrong with it, if anything. Nothing may be left behind: references, objects, timers, watches,
 * heap, leaks.
 */
void OpenAndCloseWhileRendering(
    TestContext& context, ModuleHost& module, std::unique_ptr<ModuleInstance>& instance, int rounds,
    const std::function<std::string(ModuleEditor&, int round, std::string& where)>& openOnce) {
  const aaxhost::Component& component = instance->Component();
  const int inputs = Channels(component, AAX_eProperty_InputStemFormat);
  const int outputs = Channels(component, AAX_eProperty_OutputStemFormat);
  aaxhost::InstanceHost& host = instance->Host();
  const int32_t heldByInstance = host.OutstandingReferences();
  const int32_t liveObjects = module.LiveObjects();
  const size_t timers = module.RunLoop().TimerCount();
  const size_t watches = module.RunLoop().WatchCount();

  // The host's audio thread plays noise all along, so that the meters have something to show
  // while editors come and go.
  std::atomic<bool> done{false};
  std::atomic<bool> nonFinite{false};
  // Each block borrows the host's transport for its length: references are counted between
  // blocks. The lock is the host's, taken around the whole block, never inside the plug-in.
  std::mutex blockMutex;
  std::thread audio([&] {
    std::mt19937_64 random(context.seed + 1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    constexpr int kFrames = 256;
    std::vector<std::vector<float>> in(static_cast<size_t>(inputs), std::vector<float>(kFrames));
    std::vector<std::vector<float>> out(static_cast<size_t>(outputs), std::vector<float>(kFrames));
    for (auto& c : in)
      for (float& s : c) s = noise(random);
    std::vector<float*> i, o;
    for (auto& c : in) i.push_back(c.data());
    for (auto& c : out) o.push_back(c.data());
    for (int64_t block = 0; !done.load(std::memory_order_acquire); ++block) {
      {
        std::lock_guard<std::mutex> lock(blockMutex);
        instance->RenderBlock(i.data(), o.data(), kFrames, block * kFrames);
      }
      for (const auto& c : out)
        for (const float s : c)
          if (!std::isfinite(s)) nonFinite = true;
      // At the pace of a device: a block's length, not as fast as the cores allow, which would
      // leave the editor's thread the leftovers of a busy machine.
      std::this_thread::sleep_for(std::chrono::microseconds(kFrames * 1000000 / 48000));
    }
  });

  // Caches fill on the first opens; what the later ones leave behind is a leak.
  const int warmUp = std::min(5, rounds / 2);
  size_t heapAfterWarmUp = 0;
  std::string problem;
  for (int round = 0; round < rounds && problem.empty(); ++round) {
    std::string where = "open " + std::to_string(round + 1);
    {
      ModuleEditor editor(*instance);
      problem = openOnce(editor, round, where);
      if (!problem.empty()) problem = where + ": " + problem;
      editor.Close();
      if (const int32_t held = editor.RetiredContainerReferences(); held != 0 && problem.empty())
        problem = where + ": the plug-in still holds " + std::to_string(held) +
                  " references to the view container after it was taken away";
    }
    if (!problem.empty()) break;
    int32_t references = 0;
    {
      std::lock_guard<std::mutex> lock(blockMutex);
      references = host.OutstandingReferences();
    }
    if (references != heldByInstance)
      problem = where + ": the plug-in holds " + std::to_string(references - heldByInstance) +
                " more references to the host's objects after its editor was destroyed";
    else if (module.LiveObjects() != liveObjects)
      problem = where + ": " + std::to_string(module.LiveObjects() - liveObjects) +
                " more objects of the module are alive after its editor was destroyed";
    else if (module.RunLoop().TimerCount() != timers || module.RunLoop().WatchCount() != watches)
      problem = where +
                ": a timer or watch of the closed editor is still registered, so a late tick "
                "would call into it";
    if (round + 1 == warmUp) heapAfterWarmUp = HeapInUse();
  }
  done = true;
  audio.join();
  if (!problem.empty()) Fail(problem);
  if (nonFinite) Fail("non-finite output while the editor opened and closed");

  const double growth = static_cast<double>(HeapInUse()) - static_cast<double>(heapAfterWarmUp);
  const int measured = rounds - warmUp;
  // Allocators keep a little slack of their own; an editor that leaks leaves its window's
  // pixels, its controls or its bitmaps, far more than this.
  const double allowed = 64.0 * 1024.0 + 1024.0 * measured;
  if (growth > allowed)
    Fail("the heap grew by " + Bytes(growth) + " over " + std::to_string(measured) +
         " opens and closes of the editor (" + Bytes(growth / measured) +
         " each): the editor leaks");
#if defined(__SANITIZE_ADDRESS__)
  // Whatever no one points to any more, however little.
  if (__lsan_do_recoverable_leak_check() != 0)
    Fail(
        "LeakSanitizer found memory no one points to after the editor opened and closed (its "
        "report is on the standard error)");
#endif
}

}  // namespace

void EditorOpenClose(TestContext& context) {
  ModuleHost module(context.module);
  auto instance = MakeInstance(module);
  { auto probe = OpenEditor(context, *instance); }
  struct Scales {
    float zoom, screen;
  };
  constexpr Scales kScales[] = {{1.0f, 1.0f}, {1.25f, 1.0f}, {1.5f, 1.0f}, {1.0f, 2.0f}};
  const int rounds = 10 * context.strictness;
  OpenAndCloseWhileRendering(
      context, module, instance, rounds,
      [&](ModuleEditor& editor, int round, std::string& where) -> std::string {
        const Scales scales = kScales[static_cast<size_t>(round) % std::size(kScales)];
        where += " (zoom " + Number(scales.zoom) + ", screen scale " + Number(scales.screen) + ")";
        if (!editor.Open(scales.zoom, scales.screen)) return "the editor did not open again";
        instance->PrepareBlock(static_cast<int64_t>(round) * 256);
        module.RunLoop().Advance(kIdleTickMs + kDisplayTickMs);
        const aaxhost::OffscreenFrame& frame = editor.Container().LastFrame();
        const AAX_Point size = editor.ViewSize();
        // The view's size is its window's, in pixels as a window system counts them: the zoom
        // and the screen scale are in it.
        if (frame.Empty())
          return "the editor presented no frame in " +
                 std::to_string(kIdleTickMs + kDisplayTickMs) + " ms";
        if (std::fabs(frame.width - size.horz) >= 1.0 || std::fabs(frame.height - size.vert) >= 1.0)
          return "the editor presented " + std::to_string(frame.width) + " x " +
                 std::to_string(frame.height) + " pixels for a view of " + Number(size.horz) +
                 " x " + Number(size.vert);
        return {};
      });
  instance.reset();
  module.Close();
}

void EditorWindowOpenClose(TestContext& context) {
  ModuleHost module(context.module);
  auto instance = MakeInstance(module);
  if (!ModuleHasEditor(module)) Skip("the module describes no editor");
  std::unique_ptr<HostWindow> window;
  try {
    window = std::make_unique<HostWindow>("Corvane", 650, 400);
  } catch (const HostError& error) {
    Skip(error.what());
  }
  const int rounds = 5 * context.strictness;
  OpenAndCloseWhileRendering(
      context, module, instance, rounds,
      [&](ModuleEditor& editor, int round, std::string& where) -> std::string {
        where += " in a window";
        editor.OpenInWindow(window->Window(), [&](int w, int h) { window->Resize(w, h); });
        instance->PrepareBlock(static_cast<int64_t>(round) * 256);
        // The editor's ticks and its connection's events, as a host's loop delivers them.
        for (int tick = 0; tick < 3; ++tick) {
          module.RunLoop().Advance(kDisplayTickMs);
          module.RunLoop().Poll(0);
          window->Dispatch();
        }
        if (window->Broken()) return "the connection to the display broke";
        if (!window->HasChild()) return "the editor did not open in the host's window";
        return {};
      });
  if (window->HasChild())
    Fail("the editor's window is still in the host's window after the editor closed");
  window.reset();
  instance.reset();
  module.Close();
}

void EditorParameters(TestContext& context) {
  ModuleHost module(context.module);
  auto instance = MakeInstance(module);
  auto editor = OpenEditor(context, *instance);
  const auto bypass = instance->MasterBypassID();
  std::vector<std::string> ids;
  for (int32_t index = 0; index < instance->ParameterCount(); ++index)
    if (instance->ParameterID(index) != bypass) ids.push_back(instance->ParameterID(index));

  module.RunLoop().Advance(kIdleTickMs + kDisplayTickMs);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int passes = 1 + context.strictness / 4;
  for (int pass = 0; pass < passes; ++pass) {
    for (const std::string& id : ids) {
      const std::string name = instance->ParameterName(id);
      const double before = instance->Normalized(id);
      // Far enough from the value shown that any control must look different.
      double target = 0.0;
      if (instance->Steps(id) <= 2) {
        target = before < 0.5 ? 1.0 : 0.0;
      } else {
        do target = unit(context.random);
        while (std::fabs(target - before) < 0.25);
      }
      const std::string what =
          "the host's change of '" + name + "' to " + instance->TextForNormalized(id, target);
      const aaxhost::OffscreenFrame shown = editor->Container().LastFrame();
      if (shown.Empty()) Fail("the editor presented no frame");
      instance->Apply(id, target);
      // The plug-in's idle tick hands the value to the control; the display tick after it
      // draws the control.
      module.RunLoop().Advance(kIdleTickMs + kDisplayTickMs);
      const aaxhost::OffscreenFrame changed = editor->Container().LastFrame();
      if (changed.width != shown.width || changed.height != shown.height)
        Fail(what + " resized the editor's frame");
      if (const ControlArea* area = AreaOf(name)) {
        if (DifferingPixelsIn(shown, changed, *area, 1.0f) == 0)
          Fail(what + " did not reach its control at " + AreaText(*area) + " by the next tick");
      } else if (DifferingPixels(shown, changed) == 0) {
        Fail(what + " did not show in the editor by the next tick");
      }

      // A fresh editor shows the instance as it is now, all from scratch.
      editor = std::make_unique<ModuleEditor>(*instance);
      if (!editor->Open(1.0f, 1.0f)) Fail("the editor did not open again");
      module.RunLoop().Advance(kDisplayTickMs);
      const aaxhost::OffscreenFrame& fresh = editor->Container().LastFrame();
      if (!Alike(changed, fresh))
        Fail("after " + what + ", " + std::to_string(DifferingPixels(changed, fresh)) +
             " pixels of the open editor differ from a freshly opened one");
    }
  }
}

void EditorGestures(TestContext& context) {
  ModuleHost module(context.module);
  auto instance = MakeInstance(module);
  { auto probe = OpenEditor(context, *instance); }
  const auto gain = ParameterNamed(*instance, "Gain");
  const auto oversampling = ParameterNamed(*instance, "Oversampling");
  if (!gain || !oversampling) Fail("has no parameters named Gain and Oversampling");
  const ControlArea& knob = *AreaOf("Gain");
  const ControlArea& button = *AreaOf("Oversampling");
  const float knobX = (knob.left + knob.right) / 2, knobY = (knob.top + knob.bottom) / 2;
  const float buttonX = (button.left + button.right) / 2;
  const float buttonY = (button.top + button.bottom) / 2;

  struct Scales {
    float zoom, screen;
  };
  std::vector<Scales> scales{{1.0f, 1.0f}};
  // Events are in the editor's points whatever its zoom: the same gestures must hit.
  if (context.strictness >= 5) scales.push_back({1.5f, 2.0f});
  if (context.strictness >= 8) scales.push_back({1.25f, 1.0f});
  for (const Scales& s : scales) {
    const std::string at = " at zoom " + Number(s.zoom) + ", screen scale " + Number(s.screen);
    ModuleEditor editor(*instance);
    if (!editor.Open(s.zoom, s.screen)) Fail("the editor did not open" + at);
    // From low down, so that the drags stay clear of the ends of the range.
    instance->Apply(*gain, 0.3);
    instance->Apply(*oversampling, 0.0);
    module.RunLoop().Advance(kIdleTickMs + kDisplayTickMs);
    editor.TakeGestures();

    for (const bool up : {true, false}) {
      const std::string what =
          std::string("a drag ") + (up ? "up" : "down") + " on the Gain knob" + at;
      const aaxhost::OffscreenFrame before = editor.Container().LastFrame();
      SendAndTick(editor, module, Pointer(AAX_eOffscreenEvent_Down, knobX, knobY));
      const int steps = 4 + context.strictness / 2;
      float y = knobY;
      for (int step = 0; step < steps; ++step) {
        y += up ? -3.0f : 3.0f;
        SendAndTick(editor, module, Pointer(AAX_eOffscreenEvent_Drag, knobX, y));
      }
      SendAndTick(editor, module, Pointer(AAX_eOffscreenEvent_Up, knobX, y));
      const std::vector<double> values = CheckGesture(editor.TakeGestures(), *gain, what);
      for (size_t i = 1; i < values.size(); ++i)
        if (up ? !(values[i] > values[i - 1]) : !(values[i] < values[i - 1]))
          Fail(what + " sent the host " + Number(values[i - 1]) + " and then " + Number(values[i]));
      const double start = up ? 0.3 : values.front();
      if (up ? !(values.back() > start) : false)
        Fail(what + " did not raise the value from " + Number(start));
      CheckFollows(*instance, *gain, values.back(), what);
      module.RunLoop().Advance(kIdleTickMs + kDisplayTickMs);
      if (DifferingPixelsIn(before, editor.Container().LastFrame(), knob, s.zoom * s.screen) == 0)
        Fail(what + " left the knob looking as it did");
    }

    for (const double expected : {1.0, 0.0}) {
      const std::string what =
          std::string("a click on the OS switch") + (expected > 0.5 ? "" : " that was on") + at;
      SendAndTick(editor, module, Pointer(AAX_eOffscreenEvent_Down, buttonX, buttonY));
      SendAndTick(editor, module, Pointer(AAX_eOffscreenEvent_Up, buttonX, buttonY));
      const std::vector<double> values = CheckGesture(editor.TakeGestures(), *oversampling, what);
      if (values.back() != expected)
        Fail(what + " set Oversampling to " + Number(values.back()) + ", not " + Number(expected));
      CheckFollows(*instance, *oversampling, expected, what);
    }
  }
}

}  // namespace corvane::host::validate
