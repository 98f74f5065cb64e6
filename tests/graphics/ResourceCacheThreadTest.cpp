#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>

#include "GraphicsTestSupport.h"
#include "graphics/IGraphicsCache.h"

using namespace graphics_test;

namespace {

class FakeBitmap : public APIBitmap {
 public:
  FakeBitmap(int w, int h, float scale) : APIBitmap(this, w, h, scale, 1.f) {}
};

/** Editors of several plug-in instances, each on its own thread, loading the same artwork. */
class ThreadedGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;

  EResourceLocation ResolveResource(const char* name, const char*,
                                    std::string& found) const override {
    const std::string n = name;
    if (n != "a.png" && n != "b.png" && n != "b@2x.png") return EResourceLocation::NotFound;
    found = n;
    return EResourceLocation::Module;
  }
  bool SupportsImageType(const char*) const override { return true; }
  std::unique_ptr<APIBitmap> DecodeBitmap(const char*, int scale, int, const char*) override {
    ++decodes;
    return std::make_unique<FakeBitmap>(10 * scale, 10 * scale, static_cast<float>(scale));
  }
  std::unique_ptr<APIBitmap> NewBackendBitmap(int w, int h, float scale, float drawScale,
                                              bool) override {
    return std::make_unique<FakeBitmap>(w, h, scale);
  }

  int decodes = 0;
};

TEST(ResourceCacheThreads, EditorsOnSeveralThreadsShareOneBitmapPerNameAndScale) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  std::barrier sync(kThreads);
  std::vector<std::array<APIBitmap*, 4>> seen(kThreads);
  std::atomic<int> decodes{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      TestDelegate d;
      ThreadedGraphics g(d);
      sync.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        seen[t] = {g.LoadBitmap("a.png", 1, false, 1).GetAPIBitmap(),
                   g.LoadBitmap("a.png", 1, false, 2).GetAPIBitmap(),
                   g.LoadBitmap("b.png", 1, false, 1).GetAPIBitmap(),
                   g.LoadBitmap("b.png", 1, false, 2).GetAPIBitmap()};
      }
      decodes += g.decodes;
      // Everyone is done loading before anyone's editor closes and could empty the cache.
      sync.arrive_and_wait();
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]) << t;
  // a.png once (its 2x is rescaled from the cached 1x), b.png and b@2x.png once each: whoever
  // came first decoded, everyone else found the result.
  EXPECT_EQ(decodes.load(), 3);
  EXPECT_EQ(SharedBitmapCache().Size(), 0);
  EXPECT_EQ(IGraphics::LiveContextCount(), 0);
}

TEST(ResourceCacheThreads, EditorsOpeningAndClosingWhileOthersLoad) {
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::atomic<int> empty{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        TestDelegate d;
        ThreadedGraphics g(d);
        if (!g.LoadBitmap("a.png", 1, false, 1 + i % 3).IsValid()) ++empty;
        g.LoadSvgDocument("missing.svg");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(empty.load(), 0);
  EXPECT_EQ(SharedBitmapCache().Size(), 0);
  EXPECT_EQ(IGraphics::LiveContextCount(), 0);
}

}  // namespace
