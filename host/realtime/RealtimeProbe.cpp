#include "host/realtime/RealtimeProbe.h"

#include <dlfcn.h>
#include <malloc.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if !defined(REALTIME_SANITIZER_HOOKS)
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define REALTIME_SANITIZER_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define REALTIME_SANITIZER_HOOKS 1
#endif
#endif
#endif

#if defined(REALTIME_SANITIZER_HOOKS)
#if __has_include(<sanitizer/allocator_interface.h>)
#include <sanitizer/allocator_interface.h>
#else
// GCC's runtimes export the hook installer without shipping clang's header for it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*));
#endif
#endif

#if defined(__SANITIZE_THREAD__)
#define REALTIME_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define REALTIME_THREAD_SANITIZER 1
#endif
#endif

namespace {

// Read from inside malloc: initial-exec TLS is reached without any lazy (allocating) setup, and
// constinit rules out a dynamic initializer that would run on first use.
__attribute__((tls_model("initial-exec"))) constinit thread_local int tDepth = 0;
__attribute__((tls_model("initial-exec"))) constinit thread_local long tAllocations = 0;
__attribute__((tls_model("initial-exec"))) constinit thread_local long tFrees = 0;
__attribute__((tls_model("initial-exec"))) constinit thread_local long tLocks = 0;
__attribute__((tls_model("initial-exec"))) constinit thread_local long tSleeps = 0;

inline void NoteAllocation() noexcept {
  if (tDepth > 0) ++tAllocations;
}

inline void NoteFree(const volatile void* ptr) noexcept {
  if (tDepth > 0 && ptr) ++tFrees;
}

[[maybe_unused]] inline void NoteLock() noexcept {
  if (tDepth > 0) ++tLocks;
}

[[maybe_unused]] inline void NoteSleep() noexcept {
  if (tDepth > 0) ++tSleeps;
}

}  // namespace

#if defined(REALTIME_SANITIZER_HOOKS)

namespace {

// The sanitizer runtime owns malloc; its hooks see every user allocation, operator new included.
void OnMalloc(const volatile void*, size_t) {
  NoteAllocation();
}
void OnFree(const volatile void* ptr) {
  NoteFree(ptr);
}

// Lives in the same object file as the probe, so any program using a probe installs it.
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
  NoteFree(ptr);
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

#if !defined(REALTIME_THREAD_SANITIZER)

// Locks and sleeps pass through here on their way to the next definition (the C library's, or a
// sanitizer's interceptor). The program exports these names, so calls from modules it loads later
// land here too.
namespace {

template <typename Function>
Function Next(const char* name) noexcept {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

#define REALTIME_FORWARD(kind, ret, name, params, args)  \
  ret name params noexcept {                             \
    static const auto next = Next<ret(*) params>(#name); \
    Note##kind();                                        \
    return next args;                                    \
  }

extern "C" {
REALTIME_FORWARD(Lock, int, pthread_mutex_lock, (pthread_mutex_t * m), (m))
REALTIME_FORWARD(Lock, int, pthread_mutex_timedlock,
                 (pthread_mutex_t * m, const struct timespec* t), (m, t))
REALTIME_FORWARD(Lock, int, pthread_mutex_clocklock,
                 (pthread_mutex_t * m, clockid_t c, const struct timespec* t), (m, c, t))
REALTIME_FORWARD(Lock, int, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
REALTIME_FORWARD(Lock, int, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
REALTIME_FORWARD(Lock, int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t* m), (c, m))
REALTIME_FORWARD(Lock, int, pthread_cond_timedwait,
                 (pthread_cond_t * c, pthread_mutex_t* m, const struct timespec* t), (c, m, t))
REALTIME_FORWARD(Lock, int, pthread_cond_clockwait,
                 (pthread_cond_t * c, pthread_mutex_t* m, clockid_t k, const struct timespec* t),
                 (c, m, k, t))
REALTIME_FORWARD(Sleep, int, nanosleep, (const struct timespec* t, struct timespec* r), (t, r))
REALTIME_FORWARD(Sleep, int, clock_nanosleep,
                 (clockid_t c, int f, const struct timespec* t, struct timespec* r), (c, f, t, r))
REALTIME_FORWARD(Sleep, int, usleep, (useconds_t us), (us))
REALTIME_FORWARD(Sleep, unsigned, sleep, (unsigned s), (s))
}  // extern "C"

#undef REALTIME_FORWARD

#endif

namespace corvane::realtime {

namespace {

Violations Current() noexcept {
  return {tAllocations, tFrees, tLocks, tSleeps};
}

}  // namespace

ScopedProbe::ScopedProbe() noexcept : mStart(Current()) {
  ++tDepth;
}

ScopedProbe::~ScopedProbe() {
  --tDepth;
}

Violations ScopedProbe::Seen() const noexcept {
  return Current() - mStart;
}

bool SeesLocksAndSleeps() noexcept {
#if defined(REALTIME_THREAD_SANITIZER)
  return false;
#else
  return true;
#endif
}

}  // namespace corvane::realtime
