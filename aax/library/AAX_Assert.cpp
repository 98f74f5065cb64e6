#include "aax/library/AAX_Assert.h"

#include <atomic>
#include <cstdio>
#include <memory>

#include "aax/interfaces/AAX_Errors.h"
#include "aax/library/AAX_VHostServices.h"

namespace {

// Set and cleared on the main thread; read from any thread (audio-thread assertions). The host
// releases services only after every instance is gone, so readers never see a freed wrapper.
std::atomic<AAX_VHostServices*> gHostServices{nullptr};

}  // namespace

void AAX_CHostServices::Set(IACFUnknown* host) {
  std::unique_ptr<AAX_VHostServices> next;
  if (host) next = std::make_unique<AAX_VHostServices>(host);
  delete gHostServices.exchange(next.release(), std::memory_order_acq_rel);
}

AAX_VHostServices* AAX_CHostServices::Get() noexcept {
  return gHostServices.load(std::memory_order_acquire);
}

AAX_Result AAX_CHostServices::HandleAssertionFailure(const char* file, int32_t line,
                                                     const char* note, int32_t flags) noexcept {
  AAX_VHostServices* services = Get();
  if (!services) return AAX_SUCCESS;
  return services->HandleAssertionFailure(file, line, note, flags);
}

AAX_Result AAX_CHostServices::Trace(int32_t priority, const char* format, ...) noexcept {
  va_list args;
  va_start(args, format);
  const AAX_Result result = VTrace(priority, format, args);
  va_end(args);
  return result;
}

AAX_Result AAX_CHostServices::VTrace(int32_t priority, const char* format, va_list args) noexcept {
  AAX_VHostServices* services = Get();
  if (!services) return AAX_SUCCESS;
  char text[kAAX_TraceMaxLength];
  if (!format || std::vsnprintf(text, sizeof(text), format, args) < 0)
    return AAX_ERROR_TRACE_FORMAT_FAILED;
  return services->Trace(priority, text);
}

AAX_IHostRunLoopV1* AAX_CHostServices::GetRunLoop() noexcept {
  AAX_VHostServices* services = Get();
  return services ? services->RunLoop() : nullptr;
}
