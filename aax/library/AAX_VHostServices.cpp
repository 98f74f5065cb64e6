#include "aax/library/AAX_VHostServices.h"

#include "aax/library/AAX_Exception.h"

AAX_VHostServices::AAX_VHostServices(IACFUnknown* host)
    : mHost(host, &IID_AAX_HostServicesV1, &IID_AAX_HostServicesV2, nullptr),
      mRunLoop(AAX_QueryInterface<AAX_IHostRunLoopV1>(host, IID_AAX_HostRunLoopV1)) {
  if (!mHost.Version1()) {
    if (mRunLoop) mRunLoop->Release();
    // mHost releases what it holds when the throw unwinds the constructed member.
    throw AAX::Exception::ResultError(ACF_E_POINTER);
  }
}

AAX_VHostServices::~AAX_VHostServices() {
  if (mRunLoop) mRunLoop->Release();
}

AAX_Result AAX_VHostServices::HandleAssertionFailure(const char* file, int32_t line,
                                                     const char* note,
                                                     int32_t flags) const noexcept {
  if (auto* v2 = mHost.Newest2())
    return v2->HandleAssertionFailureWithFlags(file, line, note, flags);
  AAX_CALL_NEWEST(mHost, 1, HandleAssertionFailure(file, line, note));
}

AAX_Result AAX_VHostServices::Trace(int32_t priority, const char* message) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, Trace(priority, message));
}

AAX_Result AAX_VHostServices::StackTrace(int32_t tracePriority, int32_t stackTracePriority,
                                         const char* message) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, StackTrace(tracePriority, stackTracePriority, message));
}
