#include "tests/support/AllocationCounter.h"

#include <malloc.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if !defined(TESTSUPPORT_SANITIZER_HOOKS)
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESTSUPPORT_SANITIZER_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TESTSUPPORT_SANITIZER_HOOKS 1
#endif
#endif
#endif

#if defined(TESTSUPPORT_SANITIZER_HOOKS)
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC's runtimes export the hook installer without shipping clang's header for it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*));
#endif
#endif

namespace {

// Read from inside malloc: initial-exec TLS is reached without any lazy (allocating) setup, and
// constinit rules out a dynamic initializer that would run on first use.
__attribute__((tls_model("initial-exec"))) constinit thread_local int tDepth = 0;
__attribute__((tls_model("initial-exec"))) constinit thread_local long tCount = 0;

inline void NoteAllocation() noexcept {
  if (tDepth > 0) ++tCount;
}

}  // namespace

#if defined(TESTSUPPORT_SANITIZER_HOOKS)

namespace {

// The sanitizer runtime owns malloc; its hooks see every user allocation, operator new included.
void OnMalloc(const volatile void*, size_t) {
  NoteAllocation();
}
void OnFree(const volatile void*) {}

// Lives in the same object file as the counter, so any test using the counter installs it.
[[maybe_unused]] const bool kHooksInstalled =
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;

}  // namespace

#else

// glibc lets a program replace its allocator; forwarding to the __libc_ entry points keeps
// glibc's implementation while every call from the program, libstdc++ (operator new) and other
// libraries passes through here first.
extern "C" {
void* __libc_malloc(size_t size) noexcept;
void* __libc_calloc(size_t count, size_t size) noexcept;
void* __libc_realloc(void* ptr, size_t size) noexcept;
void* __libc_memalign(size_t alignment, size_t size) noexcept;
void* __libc_valloc(size_t size) noexcept;
void* __libc_pvalloc(size_t size) noexcept;
void __libc_free(void* ptr) noexcept;

void* malloc(size_t size) noexcept {
  NoteAllocation();
  return __libc_malloc(size);
}

void free(void* ptr) noexcept {
  __libc_free(ptr);
}

void* calloc(size_t count, size_t size) noexcept {
  NoteAllocation();
  return __libc_calloc(count, size);
}

void* realloc(void* ptr, size_t size) noexcept {
  NoteAllocation();
  return __libc_realloc(ptr, size);
}

void* reallocarray(void* ptr, size_t count, size_t size) noexcept {
  NoteAllocation();
  size_t bytes = 0;
  if (__builtin_mul_overflow(count, size, &bytes)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_realloc(ptr, bytes);
}

void* memalign(size_t alignment, size_t size) noexcept {
  NoteAllocation();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
  NoteAllocation();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  NoteAllocation();
  if (alignment == 0 || alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
    return EINVAL;
  void* ptr = __libc_memalign(alignment, size);
  if (!ptr) return ENOMEM;
  *out = ptr;
  return 0;
}

void* valloc(size_t size) noexcept {
  NoteAllocation();
  return __libc_valloc(size);
}

void* pvalloc(size_t size) noexcept {
  NoteAllocation();
  return __libc_pvalloc(size);
}
}  // extern "C"

#endif

namespace testsupport {

ScopedAllocationCounter::ScopedAllocationCounter() : mStart(tCount) {
  ++tDepth;
}

ScopedAllocationCounter::~ScopedAllocationCounter() {
  --tDepth;
}

long ScopedAllocationCounter::Count() const {
  return tCount - mStart;
}

}  // namespace testsupport
