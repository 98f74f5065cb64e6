#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "aax/library/AAX_CAtomicQueue.h"

namespace {

constexpr int kProducers = 4;
constexpr int kItemsPerProducer = 20000;

struct Item {
  int producer;
  int sequence;
};

}  // namespace

TEST(AaxAtomicQueueThreads, ManyProducersOneConsumerLoseAndDuplicateNothing) {
  static std::array<std::vector<Item>, kProducers> items;
  for (int p = 0; p < kProducers; ++p) {
    items[p].resize(kItemsPerProducer);
    for (int i = 0; i < kItemsPerProducer; ++i) items[p][i] = Item{p, i};
  }
  AAX_CAtomicQueue<Item, 64> queue;  // small, so that producers meet a full queue often
  std::atomic<int> overflows{0};
  std::atomic<bool> go{false};
  std::atomic<bool> abandon{false};

  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      while (!go.load()) std::this_thread::yield();
      for (Item& item : items[p]) {
        while (queue.Push(&item) != AAX_IContainer::eStatus_Success) {
          if (abandon.load()) return;
          overflows.fetch_add(1, std::memory_order_relaxed);
          std::this_thread::yield();
        }
      }
    });
  }

  std::array<int, kProducers> next{};
  int received = 0;
  bool ordered = true;
  // A queue that loses an element would leave the consumer waiting for ever.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  go.store(true);
  // Popping starts only once the queue has been full, so the overflow path always runs.
  while (overflows.load() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  while (received < kProducers * kItemsPerProducer) {
    const Item* item = queue.Pop();
    if (!item) {
      if (std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::yield();
      continue;
    }
    ordered = ordered && item->sequence == next[item->producer];
    next[item->producer] = item->sequence + 1;
    ++received;
  }
  abandon.store(true);
  for (auto& producer : producers) producer.join();

  ASSERT_EQ(received, kProducers * kItemsPerProducer) << "the consumer stalled";

  EXPECT_TRUE(ordered);
  for (int p = 0; p < kProducers; ++p) EXPECT_EQ(next[p], kItemsPerProducer);
  EXPECT_EQ(queue.Pop(), nullptr);
}
