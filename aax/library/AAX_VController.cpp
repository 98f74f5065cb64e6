#include "aax/library/AAX_VController.h"

AAX_VController::AAX_VController(IACFUnknown* hostUnknown) noexcept
    : mHost(hostUnknown, &IID_AAX_ControllerV1, &IID_AAX_ControllerV2, &IID_AAX_ControllerV3) {}

AAX_Result AAX_VController::GetEffectID(AAX_IString* outEffectID) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetEffectID(outEffectID));
}

AAX_Result AAX_VController::GetSampleRate(AAX_CSampleRate* outRate) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetSampleRate(outRate));
}

AAX_Result AAX_VController::GetInputStemFormat(int32_t* outFormat) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetInputStemFormat(outFormat));
}

AAX_Result AAX_VController::GetOutputStemFormat(int32_t* outFormat) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetOutputStemFormat(outFormat));
}

AAX_Result AAX_VController::GetSignalLatency(int32_t* outSamples) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetSignalLatency(outSamples));
}

AAX_Result AAX_VController::SetSignalLatency(int32_t samples) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, SetSignalLatency(samples));
}

AAX_Result AAX_VController::GetTODLocation(int64_t* outLocation) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetTODLocation(outLocation));
}

AAX_Result AAX_VController::PostPacket(AAX_CFieldIndex field, const void* data,
                                       uint32_t size) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, PostPacket(field, data, size));
}

AAX_Result AAX_VController::GetCurrentMeterValue(AAX_CTypeID meterID,
                                                 float* outValue) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetCurrentMeterValue(meterID, outValue));
}

AAX_Result AAX_VController::GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetMeterPeakValue(meterID, outValue));
}

AAX_Result AAX_VController::ClearMeterPeakValue(AAX_CTypeID meterID) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, ClearMeterPeakValue(meterID));
}

AAX_Result AAX_VController::GetMeterCount(uint32_t* outCount) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetMeterCount(outCount));
}

AAX_Result AAX_VController::SendNotification(AAX_CTypeID type, const void* data,
                                             uint32_t size) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, SendNotification(type, data, size));
}

AAX_Result AAX_VController::GetHybridSignalLatency(int32_t* outSamples) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, GetHybridSignalLatency(outSamples));
}

AAX_Result AAX_VController::GetCurrentAutomationTimestamp(uint32_t* outTimestamp) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, GetCurrentAutomationTimestamp(outTimestamp));
}

AAX_Result AAX_VController::GetHostName(AAX_IString* outName) const noexcept {
  AAX_CALL_NEWEST(mHost, 3, GetHostName(outName));
}
