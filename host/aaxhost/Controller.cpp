#include "host/aaxhost/Controller.h"

#include <algorithm>
#include <utility>

namespace aaxhost {

Controller::Controller()
    : HostObject(IID_AAX_ControllerV1, &IID_AAX_ControllerV2, &IID_AAX_ControllerV3) {}

void Controller::SetSampleRate(float rate) {
  mSampleRate.store(rate);
}

void Controller::SetStemFormats(int32_t input, int32_t output) {
  mInputFormat.store(input);
  mOutputFormat.store(output);
}

void Controller::SetEffectID(std::string effectID) {
  std::lock_guard<std::mutex> lock(mMutex);
  mEffectID = std::move(effectID);
}

void Controller::SetHostName(std::string name) {
  std::lock_guard<std::mutex> lock(mMutex);
  mHostName = std::move(name);
}

void Controller::SetTODLocation(int64_t location) {
  std::lock_guard<std::mutex> lock(mMutex);
  mTODLocation = location;
}

void Controller::SetDataPorts(std::map<AAX_CFieldIndex, uint32_t> ports) {
  std::lock_guard<std::mutex> lock(mMutex);
  mPorts = std::move(ports);
  mPortsKnown = true;
}

void Controller::SetMeterIDs(std::vector<AAX_CTypeID> ids) {
  std::lock_guard<std::mutex> lock(mMutex);
  mMeterIDs = std::move(ids);
  mMeters.clear();
  for (const AAX_CTypeID id : mMeterIDs) mMeters[id] = MeterLevel{};
}

void Controller::ReportMeterValue(AAX_CTypeID meterID, float value) {
  std::lock_guard<std::mutex> lock(mMutex);
  MeterLevel& level = mMeters[meterID];
  level.current = value;
  level.peak = std::max(level.peak, value);
}

int32_t Controller::Latency() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mLatencies.empty() ? 0 : mLatencies.back();
}

std::vector<int32_t> Controller::LatencyReports() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mLatencies;
}

std::vector<std::thread::id> Controller::LatencyReportThreads() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mLatencyThreads;
}

std::vector<PostedPacket> Controller::TakePendingPackets() {
  std::lock_guard<std::mutex> lock(mMutex);
  std::vector<PostedPacket> packets;
  for (auto& [field, data] : mPending) packets.push_back(PostedPacket{field, std::move(data)});
  mPending.clear();
  return packets;
}

size_t Controller::PostedPacketCount() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mPostedCount;
}

std::vector<std::pair<AAX_CTypeID, std::vector<uint8_t>>> Controller::Notifications() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mNotifications;
}

AAX_Result Controller::GetEffectID(AAX_IString* outEffectID) noexcept {
  if (!outEffectID) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> lock(mMutex);
  outEffectID->Set(mEffectID.c_str());
  return AAX_SUCCESS;
}

AAX_Result Controller::GetSampleRate(AAX_CSampleRate* outRate) noexcept {
  if (!outRate) return AAX_ERROR_NULL_ARGUMENT;
  *outRate = mSampleRate.load();
  return AAX_SUCCESS;
}

AAX_Result Controller::GetInputStemFormat(int32_t* outFormat) noexcept {
  if (!outFormat) return AAX_ERROR_NULL_ARGUMENT;
  *outFormat = mInputFormat.load();
  return AAX_SUCCESS;
}

AAX_Result Controller::GetOutputStemFormat(int32_t* outFormat) noexcept {
  if (!outFormat) return AAX_ERROR_NULL_ARGUMENT;
  *outFormat = mOutputFormat.load();
  return AAX_SUCCESS;
}

AAX_Result Controller::GetSignalLatency(int32_t* outSamples) noexcept {
  if (!outSamples) return AAX_ERROR_NULL_ARGUMENT;
  *outSamples = Latency();
  return AAX_SUCCESS;
}

AAX_Result Controller::SetSignalLatency(int32_t samples) noexcept {
  if (samples < 0) return AAX_ERROR_INVALID_ARGUMENT;
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    mLatencies.push_back(samples);
    mLatencyThreads.push_back(std::this_thread::get_id());
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result Controller::GetTODLocation(int64_t* outLocation) noexcept {
  if (!outLocation) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> lock(mMutex);
  *outLocation = mTODLocation;
  return AAX_SUCCESS;
}

AAX_Result Controller::PostPacket(AAX_CFieldIndex field, const void* data, uint32_t size) noexcept {
  if (!data && size > 0) return AAX_ERROR_NULL_ARGUMENT;
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mPortsKnown) {
      const auto port = mPorts.find(field);
      if (port == mPorts.end()) return AAX_ERROR_INVALID_FIELD_INDEX;
      if (port->second != size) return AAX_ERROR_INCORRECT_CHUNK_SIZE;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    mPending[field].assign(bytes, bytes + size);
    ++mPostedCount;
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result Controller::GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) noexcept {
  if (!outValue) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> lock(mMutex);
  const auto found = mMeters.find(meterID);
  if (found == mMeters.end()) return AAX_ERROR_INVALID_METER_INDEX;
  *outValue = found->second.current;
  return AAX_SUCCESS;
}

AAX_Result Controller::GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) noexcept {
  if (!outValue) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> lock(mMutex);
  const auto found = mMeters.find(meterID);
  if (found == mMeters.end()) return AAX_ERROR_INVALID_METER_INDEX;
  *outValue = found->second.peak;
  return AAX_SUCCESS;
}

AAX_Result Controller::ClearMeterPeakValue(AAX_CTypeID meterID) noexcept {
  std::lock_guard<std::mutex> lock(mMutex);
  const auto found = mMeters.find(meterID);
  if (found == mMeters.end()) return AAX_ERROR_INVALID_METER_INDEX;
  found->second.peak = 0.0f;
  return AAX_SUCCESS;
}

AAX_Result Controller::GetMeterCount(uint32_t* outCount) noexcept {
  if (!outCount) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> lock(mMutex);
  *outCount = static_cast<uint32_t>(mMeterIDs.size());
  return AAX_SUCCESS;
}

AAX_Result Controller::SendNotification(AAX_CTypeID type, const void* data,
                                        uint32_t size) noexcept {
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    const auto* bytes = static_cast<const uint8_t*>(data);
    mNotifications.emplace_back(
        type, data ? std::vector<uint8_t>(bytes, bytes + size) : std::vector<uint8_t>());
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result Controller::GetHybridSignalLatency(int32_t* outSamples) noexcept {
  if (!outSamples) return AAX_ERROR_NULL_ARGUMENT;
  *outSamples = 0;
  return AAX_SUCCESS;
}

AAX_Result Controller::GetCurrentAutomationTimestamp(uint32_t* outTimestamp) noexcept {
  if (!outTimestamp) return AAX_ERROR_NULL_ARGUMENT;
  *outTimestamp = 0;
  return AAX_SUCCESS;
}

AAX_Result Controller::GetHostName(AAX_IString* outName) noexcept {
  if (!outName) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::mutex> lock(mMutex);
  outName->Set(mHostName.c_str());
  return AAX_SUCCESS;
}

}  // namespace aaxhost
