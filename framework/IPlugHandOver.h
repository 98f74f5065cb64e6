#pragma once

#include <atomic>
#include <memory>

namespace iplug {

/**
 * Hands heap objects built on the main thread to the audio thread without a lock, and the
 * objects they replace back, to be freed on the main thread. Neither side ever waits: an object
 * published twice before the audio thread looked replaces the first (which is freed at once, as
 * the audio thread never saw it), and the audio thread adopts a new object only while it has a
 * free slot to retire the old one into.
 *
 * Two retire slots, because the main thread's last Collect can fall between the audio thread
 * taking the published object and retiring its old one: that slot then stays full until the next
 * Publish, and with a single slot whatever was published after it would never be adopted. The
 * audio thread retires at most one object behind the main thread's back, so the second slot is
 * always free for the last published object.
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
    Collect();
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
  void Collect() noexcept {
    for (std::atomic<T*>& slot : mRetired) delete slot.exchange(nullptr, std::memory_order_acq_rel);
  }

  /** [any] Whether something waits to be adopted. */
  bool HasPending() const noexcept { return mPending.load(std::memory_order_acquire) != nullptr; }

  /**
   * [audio] Makes the published object the active one; the previous active object goes back to
   * the main thread. Returns false when nothing was adopted: nothing published, or both retire
   * slots still waiting to be collected. Never allocates or frees.
   */
  bool Adopt(std::unique_ptr<T>& active) noexcept {
    if (mPending.load(std::memory_order_relaxed) == nullptr) return false;
    // Only this thread fills a slot, so one seen empty stays empty until it is filled here.
    std::atomic<T*>* slot = nullptr;
    for (std::atomic<T*>& s : mRetired)
      if (s.load(std::memory_order_acquire) == nullptr) {
        slot = &s;
        break;
      }
    if (!slot) return false;
    T* fresh = mPending.exchange(nullptr, std::memory_order_acq_rel);
    if (!fresh) return false;
    slot->store(active.release(), std::memory_order_release);
    active.reset(fresh);
    return true;
  }

 private:
  std::atomic<T*> mPending{nullptr};
  std::atomic<T*> mRetired[2]{nullptr, nullptr};
};

}  // namespace iplug
