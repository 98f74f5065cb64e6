// Broken modules for the validator: the fake module plus one fault each, so that a passing run
// on the real module cannot be mistaken for a validator that checks nothing.

#include <csignal>

#ifdef VALIDATE_FIXTURE_BUSY
#define FAKE_MODULE_BUSY
#endif

#include "FakeModule.cpp"

#ifdef VALIDATE_FIXTURE_EXTRA_EXPORT
AAX_EXPORT int CorvaneLeakedHelper() {
  return 1;
}
#endif

#ifdef VALIDATE_FIXTURE_HANG
#include <unistd.h>
namespace {
const int kHangOnLoad = [] {
  for (;;) ::pause();
  return 0;
}();
}
#endif

#ifdef VALIDATE_FIXTURE_CRASH
namespace {
const int kCrashOnLoad = (std::raise(SIGSEGV), 0);
}
#endif
