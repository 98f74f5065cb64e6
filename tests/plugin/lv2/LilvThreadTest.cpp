// LV2 lets a host save (and, with thread-safe restore, restore) on one thread while run() goes
// on on another. Run under ThreadSanitizer: the plug-in must not race with itself, and what
// each side sees must make sense.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/plugin/lv2/LilvHost.h"

using lv2test::Instance;
using lv2test::kStereoURI;
using lv2test::Restore;
using lv2test::Save;
using lv2test::StateBlob;
using lv2test::World;

namespace {

double ValueIn(const StateBlob& blob, int index) {
  double value = 0.0;
  std::memcpy(&value, blob.bytes.data() + 8 * index, 8);
  return value;
}

TEST(LilvThreads, SavesAndRestoresBesideRunStayConsistent) {
  World world;
  Instance instance(world, kStereoURI, 48000.0);
  ASSERT_TRUE(instance.Valid());
  instance.Control("gain") = 6.0f;
  std::vector<std::vector<float>> warm;
  const std::vector<std::vector<float>> in(2, std::vector<float>(256, 0.25f));
  instance.Run(in, warm, 256);

  // Two images the restores alternate between; the ports stay as they are, so whatever a save
  // sees is one of the two (or the ports' own, before the first restore).
  StateBlob first = Save(instance);
  ASSERT_EQ(first.status, LV2_STATE_SUCCESS);
  StateBlob second = first;
  const double gain = 30.0, oversampling = 1.0;
  std::memcpy(second.bytes.data() + 8 * 8, &gain, 8);
  std::memcpy(second.bytes.data() + 8 * 11, &oversampling, 8);

  std::atomic<bool> stop{false};
  std::atomic<int> runs{0};
  bool finite = true;
  std::thread audio([&] {
    std::vector<std::vector<float>> out;
    while (!stop.load(std::memory_order_acquire)) {
      instance.Run(in, out, 256);
      for (const auto& channel : out)
        for (const float s : channel) finite = finite && std::isfinite(s);
      runs.fetch_add(1, std::memory_order_relaxed);
    }
  });
  int refused = 0, odd = 0;
  for (int round = 0; round < 400; ++round) {
    ASSERT_EQ(Restore(instance, round % 2 == 0 ? second : first), LV2_STATE_SUCCESS);
    const StateBlob saved = Save(instance);
    if (saved.status != LV2_STATE_SUCCESS || saved.bytes.size() != 96u) {
      ++refused;
      continue;
    }
    const double g = ValueIn(saved, 8);
    if (g != 6.0 && g != 30.0) ++odd;
  }
  // Let the audio thread take the last restore before it stops.
  const int seen = runs.load();
  while (runs.load() < seen + 4) std::this_thread::yield();
  stop.store(true, std::memory_order_release);
  audio.join();

  EXPECT_EQ(refused, 0);
  EXPECT_EQ(odd, 0);
  EXPECT_TRUE(finite);
  EXPECT_GT(runs.load(), 0);
  // The last restore (the first image) is what the instance holds, and what it reports after a
  // switch back from oversampling has run its course.
  EXPECT_EQ(Save(instance).bytes, first.bytes);
  std::vector<std::vector<float>> out;
  for (int block = 0; block < 40; ++block) instance.Run(in, out, 256);
  EXPECT_EQ(instance.Control("latency"), 0.0f);
}

// A host's worker builds the oversamplers on its own thread while run() switches between every
// state (oversampling on and off, free-wheeling on and off) on another.
TEST(LilvThreads, AWorkerBuildsBesideRunWhileEveryStateSwitches) {
  World world;
  Instance instance(world, kStereoURI, 48000.0, lv2test::Features::kMapOptionsAndWorker, 256, 256);
  ASSERT_TRUE(instance.Valid());
  const std::vector<std::vector<float>> in(2, std::vector<float>(256, 0.25f));
  std::atomic<bool> stop{false};
  std::atomic<int> runs{0};
  std::atomic<int> served{0};
  bool finite = true;
  std::thread audio([&] {
    std::vector<std::vector<float>> out;
    for (int run = 0; !stop.load(std::memory_order_acquire); ++run) {
      // The host writes the ports between its own runs, on its own thread.
      instance.Control("oversampling") = (run / 8) % 2 ? 1.0f : 0.0f;
      instance.Control("freewheel") = (run / 24) % 2 ? 1.0f : 0.0f;
      instance.Run(in, out, 256);
      for (const auto& channel : out)
        for (const float s : channel) finite = finite && std::isfinite(s);
      runs.fetch_add(1, std::memory_order_release);
    }
  });
  std::thread worker([&] {
    while (!stop.load(std::memory_order_acquire)) {
      served.fetch_add(instance.RunWork(), std::memory_order_relaxed);
      std::this_thread::yield();
    }
  });
  while (runs.load(std::memory_order_acquire) < 400) std::this_thread::yield();
  stop.store(true, std::memory_order_release);
  audio.join();
  worker.join();

  EXPECT_TRUE(finite);
  // Each oversampler is asked for once per activation: the realtime and the offline one.
  EXPECT_EQ(served.load() + instance.RunWork(), 2);
  // Whatever state the runs stopped in, the plug-in settles on it.
  instance.Control("oversampling") = 1.0f;
  instance.Control("freewheel") = 0.0f;
  std::vector<std::vector<float>> out;
  for (int run = 0; run < 40; ++run) instance.Run(in, out, 256);
  EXPECT_EQ(instance.Control("latency"), 326.0f);
}

}  // namespace
