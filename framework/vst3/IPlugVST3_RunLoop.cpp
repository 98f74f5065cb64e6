#include "framework/vst3/IPlugVST3_RunLoop.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <new>

namespace iplug {

namespace {

VST3RunLoop* gLoop = nullptr;
int gUsers = 0;

}  // namespace

/**
 * One timer or one watched descriptor, as the host holds it: an object with the timer
 * handler's or the event handler's interface, counted by the host's references and ours.
 */
struct VST3RunLoop::Handler {
  // What the host holds: a pointer to the interface's table, and ours to find the handler.
  struct Face {
    const void* vtbl;
    Handler* owner;
  };

  Face timer{&kTimerVtbl, this};
  Face event{&kEventVtbl, this};
  std::atomic<uint32_t> refs{1};
  VST3RunLoop* loop = nullptr;  // null once removed: a late call does nothing
  Id id = kInvalidId;
  bool isTimer = true;
  TimerCallback onTimer;
  WatchCallback onReadable;

  static Handler* Of(void* self) { return static_cast<Face*>(self)->owner; }
  static v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** obj) {
    Handler* h = Of(self);
    if (v3_tuid_match(iid, v3_funknown_iid) ||
        (h->isTimer && v3_tuid_match(iid, v3_timer_handler_iid)) ||
        (!h->isTimer && v3_tuid_match(iid, v3_event_handler_iid))) {
      *obj = h->isTimer ? static_cast<void*>(&h->timer) : static_cast<void*>(&h->event);
      h->refs.fetch_add(1, std::memory_order_relaxed);
      return V3_OK;
    }
    *obj = nullptr;
    return V3_NO_INTERFACE;
  }
  static uint32_t V3_API Ref(void* self) {
    return Of(self)->refs.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  static uint32_t V3_API Unref(void* self) {
    Handler* h = Of(self);
    const uint32_t left = h->refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete h;
    return left;
  }
  static void V3_API OnTimer(void* self) {
    Handler* h = Of(self);
    if (h->loop) h->loop->Fire(h->id, -1);
  }
  static void V3_API OnFd(void* self, int fd) {
    Handler* h = Of(self);
    if (h->loop) h->loop->Fire(h->id, fd);
  }

  static const v3_timer_handler_cpp kTimerVtbl;
  static const v3_event_handler_cpp kEventVtbl;
};

const v3_timer_handler_cpp VST3RunLoop::Handler::kTimerVtbl = {
    {&Handler::QueryInterface, &Handler::Ref, &Handler::Unref}, {&Handler::OnTimer}};
const v3_event_handler_cpp VST3RunLoop::Handler::kEventVtbl = {
    {&Handler::QueryInterface, &Handler::Ref, &Handler::Unref}, {&Handler::OnFd}};

VST3RunLoop* VST3RunLoop::Acquire(v3_run_loop** hostLoop) {
  if (!gLoop) {
    if (!hostLoop) return nullptr;
    gLoop = new (std::nothrow) VST3RunLoop(hostLoop);
    if (!gLoop) return nullptr;
  }
  ++gUsers;
  return gLoop;
}

void VST3RunLoop::Release() {
  if (gUsers == 0 || --gUsers > 0) return;
  delete gLoop;
  gLoop = nullptr;
}

VST3RunLoop::VST3RunLoop(v3_run_loop** hostLoop) : mHost(hostLoop), mPrevious(GetRunLoop()) {
  v3_cpp_obj_ref(mHost);
  SetRunLoop(this);
}

VST3RunLoop::~VST3RunLoop() {
  std::map<Id, Handler*> left;
  {
    std::lock_guard lock(mMutex);
    left.swap(mHandlers);
  }
  for (auto& [id, handler] : left) {
    handler->loop = nullptr;
    if (handler->isTimer)
      v3_cpp_obj(mHost)->unregister_timer(mHost,
                                          reinterpret_cast<v3_timer_handler**>(&handler->timer));
    else
      v3_cpp_obj(mHost)->unregister_event_handler(
          mHost, reinterpret_cast<v3_event_handler**>(&handler->event));
    Handler::Unref(&handler->timer);
  }
  SetRunLoop(mPrevious);
  v3_cpp_obj_unref(mHost);
}

IRunLoop::Id VST3RunLoop::AddTimer(int intervalMs, TimerCallback callback) {
  auto* handler = new (std::nothrow) Handler;
  if (!handler) return kInvalidId;
  handler->isTimer = true;
  handler->onTimer = std::move(callback);
  handler->loop = this;
  {
    std::lock_guard lock(mMutex);
    handler->id = mNextId++;
    mHandlers[handler->id] = handler;
  }
  const uint64_t ms = static_cast<uint64_t>(intervalMs < 1 ? 1 : intervalMs);
  if (v3_cpp_obj(mHost)->register_timer(
          mHost, reinterpret_cast<v3_timer_handler**>(&handler->timer), ms) != V3_OK) {
    {
      std::lock_guard lock(mMutex);
      mHandlers.erase(handler->id);
    }
    handler->loop = nullptr;
    Handler::Unref(&handler->timer);
    return kInvalidId;
  }
  return handler->id;
}

void VST3RunLoop::RemoveTimer(Id timerId) {
  Handler* handler = nullptr;
  {
    std::lock_guard lock(mMutex);
    const auto it = mHandlers.find(timerId);
    if (it == mHandlers.end() || !it->second->isTimer) return;
    handler = it->second;
    mHandlers.erase(it);
  }
  handler->loop = nullptr;
  v3_cpp_obj(mHost)->unregister_timer(mHost, reinterpret_cast<v3_timer_handler**>(&handler->timer));
  Handler::Unref(&handler->timer);
}

IRunLoop::Id VST3RunLoop::WatchFd(int fd, WatchCallback callback) {
  if (fd < 0) return kInvalidId;
  auto* handler = new (std::nothrow) Handler;
  if (!handler) return kInvalidId;
  handler->isTimer = false;
  handler->onReadable = std::move(callback);
  handler->loop = this;
  {
    std::lock_guard lock(mMutex);
    handler->id = mNextId++;
    mHandlers[handler->id] = handler;
  }
  if (v3_cpp_obj(mHost)->register_event_handler(
          mHost, reinterpret_cast<v3_event_handler**>(&handler->event), fd) != V3_OK) {
    {
      std::lock_guard lock(mMutex);
      mHandlers.erase(handler->id);
    }
    handler->loop = nullptr;
    Handler::Unref(&handler->timer);
    return kInvalidId;
  }
  return handler->id;
}

void VST3RunLoop::UnwatchFd(Id watchId) {
  Handler* handler = nullptr;
  {
    std::lock_guard lock(mMutex);
    const auto it = mHandlers.find(watchId);
    if (it == mHandlers.end() || it->second->isTimer) return;
    handler = it->second;
    mHandlers.erase(it);
  }
  handler->loop = nullptr;
  v3_cpp_obj(mHost)->unregister_event_handler(
      mHost, reinterpret_cast<v3_event_handler**>(&handler->event));
  Handler::Unref(&handler->timer);
}

void VST3RunLoop::Fire(Id id, int fd) {
  // The callback is copied out: it may remove its own timer (or every other) while it runs.
  TimerCallback onTimer;
  WatchCallback onReadable;
  {
    std::lock_guard lock(mMutex);
    const auto it = mHandlers.find(id);
    if (it == mHandlers.end()) return;
    if (it->second->isTimer)
      onTimer = it->second->onTimer;
    else
      onReadable = it->second->onReadable;
  }
  if (onTimer) onTimer(id);
  if (onReadable) onReadable(fd);
}

int VST3RunLoop::TimerCount() const {
  std::lock_guard lock(mMutex);
  int n = 0;
  for (const auto& [id, handler] : mHandlers) n += handler->isTimer ? 1 : 0;
  return n;
}

int VST3RunLoop::WatchCount() const {
  std::lock_guard lock(mMutex);
  int n = 0;
  for (const auto& [id, handler] : mHandlers) n += handler->isTimer ? 0 : 1;
  return n;
}

}  // namespace iplug
