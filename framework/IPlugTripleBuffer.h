#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace iplug {

/**
 * Hands the latest value of a record from one writer thread to one reader thread without locks
 * and without tearing: the writer fills a private slot and swaps it into the middle; the reader
 * swaps the middle for its own slot only when something new is there. Neither side ever waits,
 * however often the writer publishes while the reader holds a value.
 */
template <typename T>
class TripleBuffer {
  static_assert(std::is_trivially_copyable_v<T>);
  static constexpr uint32_t kFresh = 4;
  static constexpr uint32_t kIndexMask = 3;

 public:
  explicit TripleBuffer(const T& initial = T{}) {
    for (T& slot : mSlots) slot = initial;
  }

  /** [writer] */
  void Publish(const T& value) noexcept {
    mSlots[mBack] = value;
    const uint32_t previous = mMiddle.exchange(mBack | kFresh, std::memory_order_acq_rel);
    mBack = previous & kIndexMask;
  }

  /** [reader] The latest published value; stays valid and unchanged until the next Read(). */
  const T& Read() noexcept {
    if (mMiddle.load(std::memory_order_relaxed) & kFresh) {
      const uint32_t previous = mMiddle.exchange(mFront, std::memory_order_acq_rel);
      mFront = previous & kIndexMask;
    }
    return mSlots[mFront];
  }

 private:
  T mSlots[3];
  uint32_t mBack = 0;   // writer-owned
  uint32_t mFront = 1;  // reader-owned
  alignas(64) std::atomic<uint32_t> mMiddle{2};
};

}  // namespace iplug
