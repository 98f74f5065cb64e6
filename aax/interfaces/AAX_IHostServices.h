#pragma once

/**
 * Module-wide services of the host: assertion and trace reports, and the host's main-thread run
 * loop. The module receives the host-services object in ACFStartup and queries it for these
 * interfaces.
 */

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Errors.h"

/** Flags of an assertion report. */
enum AAX_EAssertFlags : int32_t {
  AAX_eAssertFlags_Log = 1,    ///< log the report and carry on
  AAX_eAssertFlags_Dialog = 2  ///< the host may also show it
};

/** Trace priorities, most important first. */
enum AAX_ETracePriority : int32_t {
  AAX_eTracePriority_Critical = 0x10000000,  ///< library errors
  AAX_eTracePriority_High = 0x08000000,      ///< failures while the host reads the description
  AAX_eTracePriority_Normal = 0x04000000,    ///< checked-result failures
  AAX_eTracePriority_Low = 0x02000000,
  AAX_eTracePriority_Lowest = 0x01000000
};

/** Longest trace text the host accepts, terminating zero included. */
inline constexpr int32_t kAAX_TraceMaxLength = 512;

class AAX_IHostServicesV1 : public IACFUnknown {
 public:
  /** Reports a failed consistency check; the caller continues whatever the result. */
  virtual AAX_Result HandleAssertionFailure(const char* file, int32_t line,
                                            const char* note) noexcept = 0;
  virtual AAX_Result Trace(int32_t priority, const char* message) noexcept = 0;

 protected:
  ~AAX_IHostServicesV1() = default;
};

class AAX_IHostServicesV2 : public AAX_IHostServicesV1 {
 public:
  /** As HandleAssertionFailure, with AAX_EAssertFlags bits. */
  virtual AAX_Result HandleAssertionFailureWithFlags(const char* file, int32_t line,
                                                     const char* note, int32_t flags) noexcept = 0;
  /** A trace that the host may accompany with a stack trace at stackTracePriority. */
  virtual AAX_Result StackTrace(int32_t tracePriority, int32_t stackTracePriority,
                                const char* message) noexcept = 0;

 protected:
  ~AAX_IHostServicesV2() = default;
};

inline constexpr acfIID IID_AAX_HostServicesV1 = AAX_MakeIID(AAX_eObjectKind_HostServices, 1);
inline constexpr acfIID IID_AAX_HostServicesV2 = AAX_MakeIID(AAX_eObjectKind_HostServices, 2);

// ---------------------------------------------------------------------------------------------

/** Called on the host's main thread for every tick of a timer, with the timer's ID. */
typedef void (*AAX_CTimerProc)(void* context, uint64_t timerID);
/** Called on the host's main thread whenever the watched descriptor is readable. */
typedef void (*AAX_CFdProc)(void* context, int32_t fd);

/**
 * The host's main-thread event loop, offered to plug-ins on platforms where the plug-in cannot
 * make timers of its own that run on the host's main thread. Query the host-services object for
 * IID_AAX_HostRunLoopV1.
 *
 * Every callback runs on the host's main thread; the four operations are called there too.
 * Callbacks may add and remove timers and watches, their own included. IDs are never 0 and are
 * not reused. Once RemoveTimer or UnwatchFd returns, the procedure is not called again for that
 * ID, so the context may be freed right after.
 */
class AAX_IHostRunLoopV1 : public IACFUnknown {
 public:
  /**
   * Calls proc(context, ID) every intervalMs (at least 1) from now on. Writes the ID to
   * *outTimerID; AAX_ERROR_NULL_ARGUMENT when proc or outTimerID is null.
   */
  virtual AAX_Result AddTimer(uint32_t intervalMs, AAX_CTimerProc proc, void* context,
                              uint64_t* outTimerID) noexcept = 0;
  /** AAX_ERROR_UNKNOWN_ID when the ID names no running timer. */
  virtual AAX_Result RemoveTimer(uint64_t timerID) noexcept = 0;
  /** Calls proc(context, fd) whenever fd is readable. */
  virtual AAX_Result WatchFd(int32_t fd, AAX_CFdProc proc, void* context,
                             uint64_t* outWatchID) noexcept = 0;
  /** AAX_ERROR_UNKNOWN_ID when the ID names no watch. */
  virtual AAX_Result UnwatchFd(uint64_t watchID) noexcept = 0;

 protected:
  ~AAX_IHostRunLoopV1() = default;
};

inline constexpr acfIID IID_AAX_HostRunLoopV1 = AAX_MakeIID(AAX_eObjectKind_HostRunLoop, 1);
