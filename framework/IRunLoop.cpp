#include "framework/IRunLoop.h"

#include <atomic>

namespace iplug {

namespace {
std::atomic<IRunLoop*> gRunLoop{nullptr};
}

void SetRunLoop(IRunLoop* loop) {
  gRunLoop.store(loop, std::memory_order_release);
}

IRunLoop* GetRunLoop() {
  return gRunLoop.load(std::memory_order_acquire);
}

}  // namespace iplug
