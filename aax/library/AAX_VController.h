#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_IController.h"
#include "aax/library/AAX_InterfaceVersions.h"

/** The host controller of one instance (see AAX_InterfaceVersions.h for missing versions). */
class AAX_VController {
 public:
  /** hostUnknown: the unknown passed to Initialize; may be null. */
  explicit AAX_VController(IACFUnknown* hostUnknown) noexcept;
  AAX_VController(const AAX_VController&) = delete;
  AAX_VController& operator=(const AAX_VController&) = delete;

  bool IsValid() const noexcept { return mHost.Any(); }

  AAX_Result GetEffectID(AAX_IString* outEffectID) const noexcept;
  AAX_Result GetSampleRate(AAX_CSampleRate* outRate) const noexcept;
  AAX_Result GetInputStemFormat(int32_t* outFormat) const noexcept;
  AAX_Result GetOutputStemFormat(int32_t* outFormat) const noexcept;
  AAX_Result GetSignalLatency(int32_t* outSamples) const noexcept;
  AAX_Result SetSignalLatency(int32_t samples) const noexcept;
  AAX_Result GetTODLocation(int64_t* outLocation) const noexcept;
  AAX_Result PostPacket(AAX_CFieldIndex field, const void* data, uint32_t size) const noexcept;
  AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) const noexcept;
  AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const noexcept;
  AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) const noexcept;
  AAX_Result GetMeterCount(uint32_t* outCount) const noexcept;
  AAX_Result SendNotification(AAX_CTypeID type, const void* data, uint32_t size) const noexcept;
  AAX_Result GetHybridSignalLatency(int32_t* outSamples) const noexcept;
  AAX_Result GetCurrentAutomationTimestamp(uint32_t* outTimestamp) const noexcept;
  AAX_Result GetHostName(AAX_IString* outName) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_IControllerV1, AAX_IControllerV2, AAX_IControllerV3> mHost;
};
