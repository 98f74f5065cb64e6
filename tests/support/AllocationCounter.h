#pragma once

#include "host/realtime/RealtimeProbe.h"

namespace testsupport {

/**
 * Counts heap allocations (malloc & co. and every form of operator new) made on the calling
 * thread while the object is alive. Counters nest: an allocation is seen by every live counter
 * of the thread. Allocations made on other threads are never counted.
 *
 * Sanitized builds count through the sanitizer's allocation hooks; ThreadSanitizer's runtime does
 * not report aligned_alloc, memalign and posix_memalign there (operator new, aligned or not, is
 * still seen).
 */
class ScopedAllocationCounter {
 public:
  ScopedAllocationCounter() = default;
  ScopedAllocationCounter(const ScopedAllocationCounter&) = delete;
  ScopedAllocationCounter& operator=(const ScopedAllocationCounter&) = delete;

  /** Allocations seen since construction. */
  long Count() const { return mProbe.Seen().allocations; }

 private:
  corvane::realtime::ScopedProbe mProbe;
};

}  // namespace testsupport
