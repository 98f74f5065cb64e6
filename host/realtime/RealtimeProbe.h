#pragma once

namespace corvane::realtime {

/**
 * What a thread did that a real-time thread must not: heap traffic, taking a lock, sleeping.
 * Counted per thread, only while the thread is watched.
 */
struct Violations {
  long allocations = 0;  ///< malloc & co. and every form of operator new
  long frees = 0;        ///< free of a non-null pointer (delete included)
  long locks = 0;        ///< mutex, read-write lock and condition-variable waits
  long sleeps = 0;       ///< nanosleep, clock_nanosleep, usleep, sleep

  long Total() const { return allocations + frees + locks + sleeps; }
  Violations operator-(const Violations& earlier) const {
    return {allocations - earlier.allocations, frees - earlier.frees, locks - earlier.locks,
            sleeps - earlier.sleeps};
  }
  Violations operator+(const Violations& more) const {
    return {allocations + more.allocations, frees + more.frees, locks + more.locks,
            sleeps + more.sleeps};
  }
};

/**
 * Watches the calling thread while alive. Probes nest: whatever the thread does is seen by every
 * live probe of that thread; other threads are never seen.
 *
 * Sanitized builds see heap traffic through the sanitizer's hooks (ThreadSanitizer's runtime
 * skips them for aligned_alloc, memalign and posix_memalign). Under ThreadSanitizer locks and
 * sleeps are not seen either: replacing them would hide them from its race detection.
 */
class ScopedProbe {
 public:
  ScopedProbe() noexcept;
  ~ScopedProbe();
  ScopedProbe(const ScopedProbe&) = delete;
  ScopedProbe& operator=(const ScopedProbe&) = delete;

  /** Everything seen on this thread since construction. */
  Violations Seen() const noexcept;

 private:
  Violations mStart;
};

/** Whether this build sees locks and sleeps at all. */
bool SeesLocksAndSleeps() noexcept;

}  // namespace corvane::realtime
