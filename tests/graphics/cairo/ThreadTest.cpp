// Editors of several plug-in instances, each on its own thread, loading the same font and
// bitmaps and drawing at once: the process-wide caches (bitmaps, typefaces, native fonts) are
// shared and must be locked. Run under ThreadSanitizer with the `threads` label.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "HeadlessTestSupport.h"
#include "graphics/cairo/CairoFonts.h"
#include "graphics/cairo/CairoImage.h"
#include "resources/EmbeddedResources.h"

// Cairo recycles small objects (clips, patterns, graphics states) through lock-free pools whose
// atomic hand-over happens inside the uninstrumented library, where ThreadSanitizer cannot see
// it; every recycled block then looks like a race. Races whose stacks do not pass through Cairo
// are still reported.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libcairo.so\n";
}

namespace {

using namespace headless_test;
namespace cb = iplug::igraphics::cairo_backend;

constexpr int kThreads = 4;

std::vector<uint8_t> Resource(const char* name, const char* type) {
  std::string found;
  size_t size = 0;
  iplug::resources::FindResource(iplug::resources::ModuleResources(), name, type, found);
  const uint8_t* data = iplug::resources::ResourceBytes(iplug::resources::ModuleResources(),
                                                        found.c_str(), type, size);
  return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

TEST(CairoThreads, EditorsOnSeveralThreadsLoadAndDrawTheSameResourcesAtOnce) {
  const std::vector<uint8_t> font = Resource("Roboto-Regular.ttf", "ttf");
  ASSERT_FALSE(font.empty());
  std::atomic<int> drawn{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      const std::string ownFont = "thread font " + std::to_string(t);
      Scene scene(120, 40, t % 2 ? 1.5f : 1.f, 1.f, [&](IGraphics& g) {
        g.LoadFont(ownFont.c_str(), font.data(), static_cast<int>(font.size()));
        g.LoadFont("shared thread font", font.data(), static_cast<int>(font.size()));
        const IBitmapHandle knob = g.LoadBitmap("knob.png");
        const IBitmapHandle strip = g.LoadBitmap("strip3.png", 3);
        g.DrawBitmap(knob, IBox(0, 0, 24, 24), 0, 0);
        g.DrawBitmapFrame(strip, IBox(30, 0, 46, 16), 1 + t % 3);
        g.DrawText(ITextStyle(12.f, COLOR_BLACK, ownFont.c_str()), "4.1.0", IBox(50, 0, 120, 20));
        g.DrawText(ITextStyle(12.f, COLOR_BLACK, "shared thread font"), "Drive",
                   IBox(50, 20, 120, 40));
      });
      for (int i = 0; i < 10; ++i) {
        scene.Redraw();
        cairo_surface_t* image = cb::DecodeImage(Resource("knob.png", "png").data(), 265);
        if (image) cairo_surface_destroy(image);
      }
      if (Alpha(scene.Pixel(12, 12)) > 0) ++drawn;
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(drawn, kThreads);
  EXPECT_TRUE(IGraphicsHeadless::HasCachedNativeFont("shared thread font"));
}

TEST(CairoThreads, TypefacesAreMadeOnSeveralThreadsAtOnce) {
  const std::vector<uint8_t> font = Resource("Roboto-Regular.ttf", "ttf");
  std::vector<std::thread> threads;
  std::atomic<int> made{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        auto face = cb::CairoTypeface::Create(iplug::igraphics::IFontBlob(font, 0));
        if (face) ++made;
        cb::StoreTypeface("made on threads", face);
        EXPECT_NE(cb::FindTypeface("made on threads"), nullptr);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(made, kThreads * 20);
}

}  // namespace
