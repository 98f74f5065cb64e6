#include "tests/support/AllocationFailure.h"

#include <cstdlib>
#include <new>

namespace {

// -1: disarmed; otherwise the allocations still let through before the failing one.
thread_local int tCountdown = -1;
thread_local bool tFailed = false;

bool ShouldFail() noexcept {
  if (tCountdown < 0) return false;
  if (tCountdown-- > 0) return false;
  tFailed = true;
  return true;
}

void* Allocate(std::size_t size) noexcept {
  return std::malloc(size ? size : 1);
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
  const std::size_t align = static_cast<std::size_t>(alignment);
  const std::size_t rounded = (size + align - 1) / align * align;
  return std::aligned_alloc(align, rounded ? rounded : align);
}

}  // namespace

namespace testsupport {

ScopedAllocationFailure::ScopedAllocationFailure(int after) {
  tFailed = false;
  tCountdown = after < 0 ? 0 : after;
}

ScopedAllocationFailure::~ScopedAllocationFailure() {
  tCountdown = -1;
}

bool ScopedAllocationFailure::Failed() const {
  return tFailed;
}

}  // namespace testsupport

void* operator new(std::size_t size) {
  void* p = ShouldFail() ? nullptr : Allocate(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) {
  return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ShouldFail() ? nullptr : Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return ShouldFail() ? nullptr : Allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  void* p = ShouldFail() ? nullptr : AllocateAligned(size, alignment);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return ::operator new(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return ShouldFail() ? nullptr : AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return ShouldFail() ? nullptr : AllocateAligned(size, alignment);
}

void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
