#pragma once

#include <cstdarg>
#include <cstdint>

#include "aax/interfaces/AAX_IHostServices.h"

class AAX_VHostServices;

/**
 * The module-wide host services through which assertions and traces reach the host. The module
 * sets them in ACFStartup and clears them in ACFShutdown; without them reports do nothing.
 */
class AAX_CHostServices {
 public:
  /**
   * [main] Wraps host, replacing any previous wrapper; null releases the wrapper. Throws
   * AAX::Exception::ResultError(ACF_E_POINTER) when host offers no host services; the previous
   * wrapper is then kept.
   */
  static void Set(IACFUnknown* host);
  /** [any] The current wrapper or null. */
  static AAX_VHostServices* Get() noexcept;

  /** Reports (file, line, note, flags) and returns the host's result; 0 without host services. */
  static AAX_Result HandleAssertionFailure(const char* file, int32_t line, const char* note,
                                           int32_t flags = AAX_eAssertFlags_Log) noexcept;
  /**
   * Formats the text (at most kAAX_TraceMaxLength bytes, cut beyond) and hands it to the host.
   * AAX_ERROR_TRACE_FORMAT_FAILED when formatting fails; 0 without host services.
   */
  static AAX_Result Trace(int32_t priority, const char* format, ...) noexcept
      __attribute__((format(printf, 2, 3)));
  static AAX_Result VTrace(int32_t priority, const char* format, va_list args) noexcept;

  /** The host's run loop, or null. */
  static AAX_IHostRunLoopV1* GetRunLoop() noexcept;
};

/** Reports a failed condition to the host and carries on. */
#define AAX_ASSERT(condition)                                                   \
  do {                                                                          \
    if (!(condition))                                                           \
      AAX_CHostServices::HandleAssertionFailure(__FILE__, __LINE__, #condition, \
                                                AAX_eAssertFlags_Log);          \
  } while (0)

#define AAX_TRACE(priority, ...) AAX_CHostServices::Trace((priority), __VA_ARGS__)
