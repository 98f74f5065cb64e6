#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "aax/library/AAX_CAtomicQueue.h"
#include "tests/support/AllocationCounter.h"

using Queue = AAX_CAtomicQueue<int, 8>;

TEST(AaxAtomicQueue, KeepsOrderAndReportsFullAndNull) {
  Queue queue;
  std::array<int, 9> items{};
  EXPECT_EQ(queue.Pop(), nullptr);
  EXPECT_EQ(queue.Peek(), nullptr);
  EXPECT_EQ(queue.Push(nullptr), 4);
  for (size_t i = 0; i < 8; ++i) ASSERT_EQ(queue.Push(&items[i]), AAX_IContainer::eStatus_Success);
  EXPECT_EQ(queue.Push(&items[8]), AAX_IContainer::eStatus_Overflow);

  EXPECT_EQ(queue.Peek(), &items[0]);
  EXPECT_EQ(queue.Pop(), &items[0]);
  EXPECT_EQ(queue.Push(&items[8]), AAX_IContainer::eStatus_Success);
  for (size_t i = 1; i < 9; ++i) EXPECT_EQ(queue.Pop(), &items[i]);
  EXPECT_EQ(queue.Pop(), nullptr);

  // Many laps round the ring.
  for (int lap = 0; lap < 100; ++lap) {
    ASSERT_EQ(queue.Push(&items[lap % 9]), AAX_IContainer::eStatus_Success);
    ASSERT_EQ(queue.Push(&items[(lap + 1) % 9]), AAX_IContainer::eStatus_Success);
    ASSERT_EQ(queue.Pop(), &items[lap % 9]);
    ASSERT_EQ(queue.Pop(), &items[(lap + 1) % 9]);
  }
  queue.Push(&items[0]);
  queue.Clear();
  EXPECT_EQ(queue.Pop(), nullptr);
}

TEST(AaxAtomicQueue, PushAndPopAllocateNothing) {
  AAX_CAtomicQueue<int, 256> queue;
  int item = 0;
  testsupport::ScopedAllocationCounter counter;
  for (int round = 0; round < 1000; ++round) {
    queue.Push(&item);
    queue.Push(&item);
    queue.Pop();
    queue.Pop();
  }
  EXPECT_EQ(counter.Count(), 0);
}
