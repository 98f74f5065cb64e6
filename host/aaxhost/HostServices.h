#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "aax/interfaces/AAX_IHostServices.h"
#include "host/aaxhost/HostObject.h"
#include "host/aaxhost/HostRunLoop.h"

namespace aaxhost {

struct AssertionRecord {
  std::string file;
  int32_t line = 0;
  std::string note;
  int32_t flags = 0;
};

struct TraceRecord {
  int32_t priority = 0;
  std::string message;
  bool withStackTrace = false;
};

/**
 * The module-wide host services handed to ACFStartup: records every assertion and trace (from
 * any thread) and offers the run loop under IID_AAX_HostRunLoopV1.
 */
class HostServices final : public HostObject<AAX_IHostServicesV1, AAX_IHostServicesV2> {
 public:
  /** runLoop may be null (then no run loop is offered); it must outlive this object. */
  explicit HostServices(HostRunLoop* runLoop = nullptr);
  HostServices(const HostServices&) = delete;
  HostServices& operator=(const HostServices&) = delete;

  AAX_Result HandleAssertionFailure(const char* file, int32_t line,
                                    const char* note) noexcept override;
  AAX_Result Trace(int32_t priority, const char* message) noexcept override;
  AAX_Result HandleAssertionFailureWithFlags(const char* file, int32_t line, const char* note,
                                             int32_t flags) noexcept override;
  AAX_Result StackTrace(int32_t tracePriority, int32_t stackTracePriority,
                        const char* message) noexcept override;

  std::vector<AssertionRecord> Assertions() const;
  std::vector<TraceRecord> Traces() const;
  void ClearRecords();
  /** Also prints every report to out (null: silent). */
  void SetEcho(std::FILE* out);

 protected:
  ACFRESULT QueryExtra(const acfIID& iid, void** out) noexcept override;

 private:
  void Record(AssertionRecord record) noexcept;
  void Record(TraceRecord record) noexcept;

  HostRunLoop* mRunLoop;
  mutable std::mutex mMutex;
  std::vector<AssertionRecord> mAssertions;
  std::vector<TraceRecord> mTraces;
  std::FILE* mEcho = nullptr;
};

}  // namespace aaxhost
