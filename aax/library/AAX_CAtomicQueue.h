#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

/** Status codes of the library's containers. */
class AAX_IContainer {
 public:
  enum EStatus : int32_t {
    eStatus_Success = 0,
    eStatus_Overflow = 1,  ///< full: the element was not added
    eStatus_NotInitialized = 2,
    eStatus_Unavailable = 3,
    eStatus_Unsupported = 4  ///< null elements cannot be stored: null marks an empty slot
  };

  virtual ~AAX_IContainer() = default;
  virtual void Clear() = 0;
};

/**
 * A bounded queue of N pointers (N a power of two) between any number of producer threads and
 * one consumer thread, FIFO per producer. Push and Pop never lock, allocate or enter the kernel,
 * so the real-time thread may be either side.
 *
 * Every slot carries a sequence number that says which lap of the ring may use it next: a
 * producer claims the write position with one compare-and-swap only while the slot's sequence
 * shows it empty for this lap, then stores the element and publishes it by advancing the
 * sequence. A full ring is reported, never overwritten, and a producer that is preempted after
 * claiming cannot be overtaken into its slot. A slot claimed but not yet published looks empty
 * to the consumer until the producer finishes.
 */
template <typename T, size_t N>
class AAX_CAtomicQueue final : public AAX_IContainer {
  static_assert(N >= 2 && (N & (N - 1)) == 0, "N must be a power of two");
  static_assert(std::atomic<uint64_t>::is_always_lock_free);

 public:
  AAX_CAtomicQueue() noexcept {
    for (size_t i = 0; i < N; ++i) mSlots[i].sequence.store(i, std::memory_order_relaxed);
  }
  AAX_CAtomicQueue(const AAX_CAtomicQueue&) = delete;
  AAX_CAtomicQueue& operator=(const AAX_CAtomicQueue&) = delete;

  static constexpr size_t Capacity() { return N; }

  /**
   * [any thread] eStatus_Success, eStatus_Overflow when all N slots hold elements, or
   * eStatus_Unsupported for a null element.
   */
  EStatus Push(T* element) noexcept {
    if (!element) return eStatus_Unsupported;
    uint64_t position = mWrite.load(std::memory_order_relaxed);
    for (;;) {
      Slot& slot = mSlots[position & (N - 1)];
      const uint64_t sequence = slot.sequence.load(std::memory_order_acquire);
      const int64_t lag = static_cast<int64_t>(sequence - position);
      if (lag == 0) {
        if (mWrite.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
          slot.element = element;
          slot.sequence.store(position + 1, std::memory_order_release);
          return eStatus_Success;
        }
        // position now holds the current write position; try again there.
      } else if (lag < 0) {
        return eStatus_Overflow;  // the slot still holds the element of the previous lap
      } else {
        position = mWrite.load(std::memory_order_relaxed);
      }
    }
  }

  /** [consumer] The oldest element, removed; null when the queue is empty. */
  T* Pop() noexcept {
    Slot& slot = mSlots[mRead & (N - 1)];
    if (slot.sequence.load(std::memory_order_acquire) != mRead + 1) return nullptr;
    T* element = slot.element;
    slot.sequence.store(mRead + N, std::memory_order_release);
    ++mRead;
    return element;
  }

  /** [consumer] The oldest element, left in place; null when the queue is empty. */
  T* Peek() const noexcept {
    const Slot& slot = mSlots[mRead & (N - 1)];
    if (slot.sequence.load(std::memory_order_acquire) != mRead + 1) return nullptr;
    return slot.element;
  }

  /** [consumer] Drops every element (they are not deleted). */
  void Clear() noexcept override {
    while (Pop()) {
    }
  }

 private:
  struct Slot {
    std::atomic<uint64_t> sequence;
    T* element = nullptr;
  };

  alignas(64) std::atomic<uint64_t> mWrite{0};
  alignas(64) uint64_t mRead = 0;
  alignas(64) Slot mSlots[N];
};
