#include "tests/support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace {

using testsupport::ScopedAllocationCounter;

#if defined(__SANITIZE_THREAD__)
constexpr bool kAlignedCAllocationsVisible = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kAlignedCAllocationsVisible = false;
#else
constexpr bool kAlignedCAllocationsVisible = true;
#endif
#else
constexpr bool kAlignedCAllocationsVisible = true;
#endif

// Escaping every pointer keeps the optimizer from eliding allocate/free pairs.
void* volatile gSink = nullptr;

template <typename F>
long AllocationsDuring(F&& f) {
  long n = 0;
  {
    ScopedAllocationCounter counter;
    f();
    n = counter.Count();
  }
  return n;
}

TEST(AllocationCounter, SeesEveryCAllocatorEntryPointOnce) {
  EXPECT_EQ(AllocationsDuring([] { gSink = std::malloc(24); }), 1);
  std::free(gSink);
  EXPECT_EQ(AllocationsDuring([] { gSink = std::calloc(3, 8); }), 1);
  std::free(gSink);
  void* p = std::malloc(16);
  EXPECT_EQ(AllocationsDuring([&] { p = std::realloc(p, 1 << 16); }), 1);
  std::free(p);
  // ThreadSanitizer's runtime (GCC 12) skips its allocation hooks for the aligned C entry points,
  // so those are only visible in the other builds.
  const long aligned = kAlignedCAllocationsVisible ? 1 : 0;
  EXPECT_EQ(AllocationsDuring([] { gSink = std::aligned_alloc(64, 128); }), aligned);
  std::free(gSink);
  EXPECT_EQ(AllocationsDuring([] { gSink = memalign(32, 40); }), aligned);
  std::free(gSink);
  void* block = nullptr;
  EXPECT_EQ(AllocationsDuring([&] { ASSERT_EQ(posix_memalign(&block, 64, 100), 0); }), aligned);
  std::free(block);
  gSink = std::malloc(8);
  EXPECT_EQ(AllocationsDuring([] { std::free(gSink); }), 0) << "free is not an allocation";
}

TEST(AllocationCounter, SeesEveryFormOfOperatorNew) {
  struct alignas(128) Wide {
    char bytes[128];
  };
  int* scalar = nullptr;
  int* array = nullptr;
  int* nothrow = nullptr;
  Wide* wide = nullptr;
  void* raw = nullptr;
  EXPECT_EQ(AllocationsDuring([&] { scalar = new int(7); }), 1);
  EXPECT_EQ(AllocationsDuring([&] { array = new int[33]; }), 1);
  EXPECT_EQ(AllocationsDuring([&] { nothrow = new (std::nothrow) int(1); }), 1);
  EXPECT_EQ(AllocationsDuring([&] { wide = new Wide; }), 1);
  EXPECT_EQ(AllocationsDuring([&] { raw = ::operator new (256, std::align_val_t{256}); }), 1);
  gSink = scalar;
  gSink = array;
  gSink = wide;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(wide) % 128, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(raw) % 256, 0u);
  delete scalar;
  delete[] array;
  delete nothrow;
  delete wide;
  ::operator delete (raw, std::align_val_t{256});
}

TEST(AllocationCounter, SeesVectorGrowthButNotUseOfReservedCapacity) {
  std::vector<double> v;
  EXPECT_GE(AllocationsDuring([&] {
              for (int i = 0; i < 1000; ++i) v.push_back(i);
            }),
            2);
  v.clear();
  EXPECT_EQ(AllocationsDuring([&] {
              for (int i = 0; i < 1000; ++i) v.push_back(i);
            }),
            0);
}

TEST(AllocationCounter, NestsAndIgnoresAllocationsOutsideItsLifetime) {
  std::unique_ptr<int> before(new int(1));
  ScopedAllocationCounter outer;
  std::unique_ptr<int> a(new int(2));
  gSink = a.get();
  long inner = 0;
  {
    ScopedAllocationCounter counter;
    std::unique_ptr<int> b(new int(3));
    std::unique_ptr<int> c(new int(4));
    gSink = b.get();
    gSink = c.get();
    inner = counter.Count();
  }
  std::unique_ptr<int> d(new int(5));
  gSink = d.get();
  const long total = outer.Count();
  EXPECT_EQ(inner, 2);
  EXPECT_EQ(total, 4);
}

TEST(AllocationCounter, IgnoresOtherThreads) {
  std::atomic<int> stage{0};
  long workerOwnCount = -1;
  // std::thread allocates its state on the creating thread: start it before counting.
  std::thread worker([&] {
    while (stage.load() != 1) std::this_thread::yield();
    {
      ScopedAllocationCounter counter;
      std::vector<int> v(1000, 1);
      gSink = v.data();
      gSink = std::malloc(64);
      std::free(gSink);
      workerOwnCount = counter.Count();
    }
    stage.store(2);
  });
  long mainCount = -1;
  {
    ScopedAllocationCounter counter;
    stage.store(1);
    while (stage.load() != 2) std::this_thread::yield();
    mainCount = counter.Count();
  }
  worker.join();
  EXPECT_EQ(mainCount, 0);
  EXPECT_EQ(workerOwnCount, 2);
}

}  // namespace
