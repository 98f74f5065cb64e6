#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace iplug {

/**
 * Fixed-size queue for any number of producers and one consumer. Storage for S records is
 * allocated once at construction; at most S - 1 records wait. Push() and Pop() never allocate,
 * lock or block, so either side may be the audio thread. A push into a full queue drops the new
 * record.
 *
 * Several producers are the normal case for the queue towards the editor: hosts deliver
 * parameter changes on more than one thread. Each slot carries a sequence number that says
 * whose turn it is, so a producer claims a slot with one compare-and-swap on the write count
 * and publishes it with a store on the slot; records of one producer keep their order.
 */
template <typename T>
class IRingQueue {
  static_assert(std::is_trivially_copyable_v<T>, "records are copied by value");
  static_assert(std::atomic<uint64_t>::is_always_lock_free);

 public:
  explicit IRingQueue(uint64_t slots)
      : mSlots(slots < 2 ? 2 : slots), mRecords(std::make_unique<Record[]>(mSlots - 1)) {
    for (uint64_t i = 0; i < mSlots - 1; ++i)
      mRecords[i].sequence.store(i, std::memory_order_relaxed);
  }
  IRingQueue(const IRingQueue&) = delete;
  IRingQueue& operator=(const IRingQueue&) = delete;

  /** [any producer] Returns false when the queue was full and the record was dropped. */
  bool Push(const T& record) noexcept {
    uint64_t position = mWrite.load(std::memory_order_relaxed);
    for (;;) {
      Record& slot = mRecords[position % Capacity()];
      const uint64_t sequence = slot.sequence.load(std::memory_order_acquire);
      const int64_t lag = static_cast<int64_t>(sequence - position);
      if (lag == 0) {
        if (mWrite.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
          slot.value = record;
          slot.sequence.store(position + 1,
                              std::memory_order_release);  // the record, then its turn
          return true;
        }
      } else if (lag < 0) {
        return false;  // the consumer has not taken this slot's previous record yet
      } else {
        position = mWrite.load(std::memory_order_relaxed);
      }
    }
  }

  /** [consumer] Returns false when the queue was empty. */
  bool Pop(T& record) noexcept {
    const uint64_t position = mRead.load(std::memory_order_relaxed);
    Record& slot = mRecords[position % Capacity()];
    if (slot.sequence.load(std::memory_order_acquire) != position + 1) return false;
    record = slot.value;
    slot.sequence.store(position + Capacity(), std::memory_order_release);
    mRead.store(position + 1, std::memory_order_release);
    return true;
  }

  /** Records waiting; exact for the consumer when no push is under way, a snapshot otherwise. */
  uint64_t Available() const noexcept {
    const uint64_t read = mRead.load(std::memory_order_acquire);
    const uint64_t write = mWrite.load(std::memory_order_acquire);
    return write > read ? write - read : 0;
  }

  uint64_t Slots() const noexcept { return mSlots; }
  uint64_t Capacity() const noexcept { return mSlots - 1; }

 private:
  struct Record {
    std::atomic<uint64_t> sequence{0};
    T value{};
  };

  const uint64_t mSlots;
  std::unique_ptr<Record[]> mRecords;
  alignas(64) std::atomic<uint64_t> mWrite{0};
  alignas(64) std::atomic<uint64_t> mRead{0};
};

}  // namespace iplug
