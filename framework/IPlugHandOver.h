#pragma once

#include <atomic>
#include <memory>

namespace iplug {

/**
 * Hands heap objects built on the main thread to the audio thread without a lock, and the
 * objects they replace back, to be freed on the main thread. Neither side ever waits: an object
 * published twice before the audio thread looked replaces the first (which is freed at once, as
 * the audio thread never saw it), and the audio thread adopts a new object only once the one it
 * retired last has been collected.
 *
 * One publishing thread at a time ([main]); one adopting thread ([audio]).
 */
template <typename T>
class HandOver {
  static_assert(std::atomic<T*>::is_always_lock_free);

 public:
  HandOver() = default;
  ~HandOver() {
    delete mPending.exchange(nullptr, std::memory_order_acq_rel);
    delete mRetired.exchange(nullptr, std::memory_order_acq_rel);
  }
  HandOver(const HandOver&) = delete;
  HandOver& operator=(const HandOver&) = delete;

  /** [main] The audio thread takes `fresh` at its next Adopt. */
  void Publish(std::unique_ptr<T> fresh) noexcept {
    // Collect before and after: the audio thread may retire its object at any moment in
    // between, and it adopts nothing while the retired slot is full.
    Collect();
    delete mPending.exchange(fresh.release(), std::memory_order_acq_rel);
    Collect();
  }

  /** [main] Withdraws what was published and not adopted yet. */
  void DropPending() noexcept { delete mPending.exchange(nullptr, std::memory_order_acq_rel); }

  /** [main] Frees the object the audio thread let go of, if any. */
  void Collect() noexcept { delete mRetired.exchange(nullptr, std::memory_order_acq_rel); }

  /** [any] Whether something waits to be adopted. */
  bool HasPending() const noexcept { return mPending.load(std::memory_order_acquire) != nullptr; }

  /**
   * [audio] Makes the published object the active one; the previous active object goes back to
   * the main thread. Returns false when nothing was adopted: nothing published, or the last
   * retired object not collected yet. Never allocates or frees.
   */
  bool Adopt(std::unique_ptr<T>& active) noexcept {
    if (mPending.load(std::memory_order_relaxed) == nullptr) return false;
    if (mRetired.load(std::memory_order_acquire) != nullptr) return false;
    T* fresh = mPending.exchange(nullptr, std::memory_order_acq_rel);
    if (!fresh) return false;
    mRetired.store(active.release(), std::memory_order_release);
    active.reset(fresh);
    return true;
  }

 private:
  std::atomic<T*> mPending{nullptr};
  std::atomic<T*> mRetired{nullptr};
};

}  // namespace iplug
