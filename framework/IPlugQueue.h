#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace iplug {

/**
 * Fixed-size single-producer single-consumer queue. Storage for S records is allocated once at
 * construction; at most S - 1 records wait. push() and pop() never allocate, lock or block, so
 * either side may be the audio thread. A push into a full queue drops the new record.
 */
template <typename T>
class IRingQueue {
  static_assert(std::is_trivially_copyable_v<T>, "records are copied by value");
  static_assert(std::atomic<uint64_t>::is_always_lock_free);

 public:
  explicit IRingQueue(uint64_t slots) : mSlots(slots < 2 ? 2 : slots), mStorage(mSlots) {}
  IRingQueue(const IRingQueue&) = delete;
  IRingQueue& operator=(const IRingQueue&) = delete;

  /** [producer] Returns false when the queue was full and the record was dropped. */
  bool Push(const T& record) noexcept {
    const uint64_t write = mWrite.load(std::memory_order_relaxed);
    const uint64_t next = (write + 1) % mSlots;
    if (next == mRead.load(std::memory_order_acquire)) return false;
    mStorage[write] = record;
    mWrite.store(next, std::memory_order_release);  // publish the record, then the index
    return true;
  }

  /** [consumer] Returns false when the queue was empty. */
  bool Pop(T& record) noexcept {
    const uint64_t read = mRead.load(std::memory_order_relaxed);
    if (read == mWrite.load(std::memory_order_acquire)) return false;
    record = mStorage[read];
    mRead.store((read + 1) % mSlots, std::memory_order_release);
    return true;
  }

  /** Records waiting; exact for the consumer, a snapshot for anyone else. */
  uint64_t Available() const noexcept {
    const uint64_t write = mWrite.load(std::memory_order_acquire);
    const uint64_t read = mRead.load(std::memory_order_acquire);
    return write >= read ? write - read : write + mSlots - read;
  }

  uint64_t Slots() const noexcept { return mSlots; }
  uint64_t Capacity() const noexcept { return mSlots - 1; }

 private:
  const uint64_t mSlots;
  std::vector<T> mStorage;
  alignas(64) std::atomic<uint64_t> mWrite{0};
  alignas(64) std::atomic<uint64_t> mRead{0};
};

}  // namespace iplug
