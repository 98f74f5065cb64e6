#include "host/aaxhost/HostServices.h"

#include <utility>

namespace aaxhost {

HostServices::HostServices(HostRunLoop* runLoop)
    : HostObject(IID_AAX_HostServicesV1, &IID_AAX_HostServicesV2, nullptr), mRunLoop(runLoop) {}

ACFRESULT HostServices::QueryExtra(const acfIID& iid, void** out) noexcept {
  if (mRunLoop && iid == IID_AAX_HostRunLoopV1) return mRunLoop->QueryInterface(iid, out);
  return ACF_E_NOINTERFACE;
}

void HostServices::Record(AssertionRecord record) noexcept {
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mEcho) {
      std::fprintf(mEcho, "AAX assertion: %s (%s:%d)\n", record.note.c_str(), record.file.c_str(),
                   record.line);
    }
    mAssertions.push_back(std::move(record));
  } catch (...) {
  }
}

void HostServices::Record(TraceRecord record) noexcept {
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mEcho)
      std::fprintf(mEcho, "AAX trace 0x%08x: %s\n", record.priority, record.message.c_str());
    mTraces.push_back(std::move(record));
  } catch (...) {
  }
}

AAX_Result HostServices::HandleAssertionFailure(const char* file, int32_t line,
                                                const char* note) noexcept {
  return HandleAssertionFailureWithFlags(file, line, note, 0);
}

AAX_Result HostServices::HandleAssertionFailureWithFlags(const char* file, int32_t line,
                                                         const char* note, int32_t flags) noexcept {
  try {
    Record(AssertionRecord{TextOf(file), line, TextOf(note), flags});
  } catch (...) {
  }
  return AAX_SUCCESS;
}

AAX_Result HostServices::Trace(int32_t priority, const char* message) noexcept {
  try {
    Record(TraceRecord{priority, TextOf(message), false});
  } catch (...) {
  }
  return AAX_SUCCESS;
}

AAX_Result HostServices::StackTrace(int32_t tracePriority, int32_t, const char* message) noexcept {
  try {
    Record(TraceRecord{tracePriority, TextOf(message), true});
  } catch (...) {
  }
  return AAX_SUCCESS;
}

std::vector<AssertionRecord> HostServices::Assertions() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mAssertions;
}

std::vector<TraceRecord> HostServices::Traces() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mTraces;
}

void HostServices::ClearRecords() {
  std::lock_guard<std::mutex> lock(mMutex);
  mAssertions.clear();
  mTraces.clear();
}

void HostServices::SetEcho(std::FILE* out) {
  std::lock_guard<std::mutex> lock(mMutex);
  mEcho = out;
}

}  // namespace aaxhost
