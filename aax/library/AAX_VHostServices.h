#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_IHostServices.h"
#include "aax/library/AAX_InterfaceVersions.h"

/** The host-services object of ACFStartup, with its run loop when the host offers one. */
class AAX_VHostServices {
 public:
  /**
   * Throws AAX::Exception::ResultError(ACF_E_POINTER) when host is null or does not offer
   * IID_AAX_HostServicesV1.
   */
  explicit AAX_VHostServices(IACFUnknown* host);
  ~AAX_VHostServices();
  AAX_VHostServices(const AAX_VHostServices&) = delete;
  AAX_VHostServices& operator=(const AAX_VHostServices&) = delete;

  /** Passes flags when the host knows them (version 2), else reports without them. */
  AAX_Result HandleAssertionFailure(const char* file, int32_t line, const char* note,
                                    int32_t flags) const noexcept;
  AAX_Result Trace(int32_t priority, const char* message) const noexcept;
  AAX_Result StackTrace(int32_t tracePriority, int32_t stackTracePriority,
                        const char* message) const noexcept;

  /** The host's main-thread run loop; null when the host offers none. */
  AAX_IHostRunLoopV1* RunLoop() const noexcept { return mRunLoop; }

 private:
  AAX_CInterfaceVersions<AAX_IHostServicesV1, AAX_IHostServicesV2, AAX_IHostServicesV2> mHost;
  AAX_IHostRunLoopV1* mRunLoop;
};
