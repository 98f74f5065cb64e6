#pragma once

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define IPLUG_HAS_MXCSR 1
#endif

namespace iplug {

/**
 * Turns on flush-to-zero and denormals-are-zero for the lifetime of the guard and restores the
 * caller's floating-point control state on every exit path, so that decaying filter tails and
 * envelopes never drop into the slow denormal range.
 */
class ScopedDenormalGuard {
 public:
#if IPLUG_HAS_MXCSR
  /** Flush-to-zero (bit 15) and denormals-are-zero (bit 6). */
  static constexpr unsigned kFlushBits = 0x8040;

  ScopedDenormalGuard() noexcept : mSaved(_mm_getcsr()) {
    _mm_setcsr(mSaved | kFlushBits);
  }
  ~ScopedDenormalGuard() {
    _mm_setcsr(mSaved);
  }

  static unsigned Current() noexcept {
    return _mm_getcsr();
  }

 private:
  unsigned mSaved;
#else
  ScopedDenormalGuard() noexcept = default;
#endif

 public:
  ScopedDenormalGuard(const ScopedDenormalGuard&) = delete;
  ScopedDenormalGuard& operator=(const ScopedDenormalGuard&) = delete;
};

}  // namespace iplug
