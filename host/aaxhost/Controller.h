#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "aax/interfaces/AAX_IController.h"
#include "host/aaxhost/HostObject.h"

namespace aaxhost {

struct PostedPacket {
  AAX_CFieldIndex field = 0;
  std::vector<uint8_t> data;
};

/**
 * The controller of one instance. The host sets the running context; the plug-in's latency
 * reports and posted packets are recorded. Posted packets wait until the host delivers them into
 * the algorithm context before its next block (AlgorithmContext::DeliverPackets); a later packet
 * for the same field replaces a waiting one, as a buffered data-in port keeps the newest value.
 */
class Controller final
    : public HostObject<AAX_IControllerV1, AAX_IControllerV2, AAX_IControllerV3> {
 public:
  Controller();

  // Set by the host.
  void SetSampleRate(float rate);
  void SetStemFormats(int32_t input, int32_t output);
  void SetEffectID(std::string effectID);
  void SetHostName(std::string name);
  void SetTODLocation(int64_t location);
  /**
   * The data-in ports of the instance's component (field → packet size). Once set, packets
   * for other fields or of other sizes are refused.
   */
  void SetDataPorts(std::map<AAX_CFieldIndex, uint32_t> ports);
  /** Meter IDs in the component's order, and their latest levels from the algorithm context. */
  void SetMeterIDs(std::vector<AAX_CTypeID> ids);
  void ReportMeterValue(AAX_CTypeID meterID, float value);

  // What the plug-in did.
  int32_t Latency() const;
  /** Every latency the plug-in reported, in order. */
  std::vector<int32_t> LatencyReports() const;
  /** The thread of each of those reports: a host takes them on its main thread only. */
  std::vector<std::thread::id> LatencyReportThreads() const;
  /** Packets waiting for delivery, removed (field order). */
  std::vector<PostedPacket> TakePendingPackets();
  /** Packets posted so far, delivered or not. */
  size_t PostedPacketCount() const;
  std::vector<std::pair<AAX_CTypeID, std::vector<uint8_t>>> Notifications() const;

  // AAX_IControllerV1 ... V3
  AAX_Result GetEffectID(AAX_IString* outEffectID) noexcept override;
  AAX_Result GetSampleRate(AAX_CSampleRate* outRate) noexcept override;
  AAX_Result GetInputStemFormat(int32_t* outFormat) noexcept override;
  AAX_Result GetOutputStemFormat(int32_t* outFormat) noexcept override;
  AAX_Result GetSignalLatency(int32_t* outSamples) noexcept override;
  AAX_Result SetSignalLatency(int32_t samples) noexcept override;
  AAX_Result GetTODLocation(int64_t* outLocation) noexcept override;
  AAX_Result PostPacket(AAX_CFieldIndex field, const void* data, uint32_t size) noexcept override;
  AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) noexcept override;
  AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) noexcept override;
  AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) noexcept override;
  AAX_Result GetMeterCount(uint32_t* outCount) noexcept override;
  AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) noexcept override;
  AAX_Result GetHybridSignalLatency(int32_t* outSamples) noexcept override;
  AAX_Result GetCurrentAutomationTimestamp(uint32_t* outTimestamp) noexcept override;
  AAX_Result GetHostName(AAX_IString* outName) noexcept override;

 private:
  struct MeterLevel {
    float current = 0.0f;
    float peak = 0.0f;
  };

  mutable std::mutex mMutex;
  // Read by the plug-in's render callback too: atomics keep that path free of locks.
  std::atomic<float> mSampleRate{48000.0f};
  std::atomic<int32_t> mInputFormat{AAX_eStemFormat_Stereo};
  std::atomic<int32_t> mOutputFormat{AAX_eStemFormat_Stereo};
  std::string mEffectID;
  std::string mHostName = "corvane-host";
  int64_t mTODLocation = 0;
  std::vector<int32_t> mLatencies;
  std::vector<std::thread::id> mLatencyThreads;
  bool mPortsKnown = false;
  std::map<AAX_CFieldIndex, uint32_t> mPorts;
  std::map<AAX_CFieldIndex, std::vector<uint8_t>> mPending;
  size_t mPostedCount = 0;
  std::vector<AAX_CTypeID> mMeterIDs;
  std::map<AAX_CTypeID, MeterLevel> mMeters;
  std::vector<std::pair<AAX_CTypeID, std::vector<uint8_t>>> mNotifications;
};

}  // namespace aaxhost
