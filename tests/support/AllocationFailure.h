#pragma once

namespace testsupport {

/**
 * Makes an allocation through operator new fail on the calling thread: the first `after`
 * allocations go through, the next one throws std::bad_alloc (or returns null for the nothrow
 * forms), and everything after it goes through again. Only in test programs that link the
 * `allocation_failure` library, which replaces the global operator new.
 */
class ScopedAllocationFailure {
 public:
  explicit ScopedAllocationFailure(int after = 0);
  ~ScopedAllocationFailure();
  ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
  ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;

  /** Whether the failure has happened. */
  bool Failed() const;
};

}  // namespace testsupport
