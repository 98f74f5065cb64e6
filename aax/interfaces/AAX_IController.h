#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_IString.h"
#include "aax/interfaces/AAX_Types.h"

/**
 * The host's controller of one instance: its running context and the way back into the
 * algorithm. Obtained by querying the host unknown passed to Initialize of the effect-parameters
 * or effect-GUI object.
 */
class AAX_IControllerV1 : public IACFUnknown {
 public:
  virtual AAX_Result GetEffectID(AAX_IString* outEffectID) noexcept = 0;
  /** The current rate; valid from Initialize on, before the first process call. */
  virtual AAX_Result GetSampleRate(AAX_CSampleRate* outRate) noexcept = 0;
  /** The component's formats (AAX_EStemFormat); low 16 bits are the channel count. */
  virtual AAX_Result GetInputStemFormat(int32_t* outFormat) noexcept = 0;
  virtual AAX_Result GetOutputStemFormat(int32_t* outFormat) noexcept = 0;
  virtual AAX_Result GetSignalLatency(int32_t* outSamples) noexcept = 0;
  /** The host compensates this many samples of delay from now on. */
  virtual AAX_Result SetSignalLatency(int32_t samples) noexcept = 0;
  /** Native sample location of the next block to be processed. */
  virtual AAX_Result GetTODLocation(int64_t* outLocation) noexcept = 0;
  /**
   * Copies size bytes to the data-in port declared at field; the copy reaches the algorithm
   * context before a later process call. AAX_ERROR_INVALID_FIELD_INDEX for a field that is no
   * data-in port, AAX_ERROR_INCORRECT_CHUNK_SIZE for a size other than the port's.
   */
  virtual AAX_Result PostPacket(AAX_CFieldIndex field, const void* data,
                                uint32_t size) noexcept = 0;
  virtual AAX_Result GetCurrentMeterValue(AAX_CTypeID meterID, float* outValue) noexcept = 0;
  virtual AAX_Result GetMeterPeakValue(AAX_CTypeID meterID, float* outValue) noexcept = 0;
  virtual AAX_Result ClearMeterPeakValue(AAX_CTypeID meterID) noexcept = 0;
  virtual AAX_Result GetMeterCount(uint32_t* outCount) noexcept = 0;

 protected:
  ~AAX_IControllerV1() = default;
};

class AAX_IControllerV2 : public AAX_IControllerV1 {
 public:
  /** Sends a notification (AAX_ENotificationEvent) to the host. */
  virtual AAX_Result SendNotification(AAX_CTypeID type, const void* data,
                                      uint32_t size) noexcept = 0;
  virtual AAX_Result GetHybridSignalLatency(int32_t* outSamples) noexcept = 0;
  virtual AAX_Result GetCurrentAutomationTimestamp(uint32_t* outTimestamp) noexcept = 0;

 protected:
  ~AAX_IControllerV2() = default;
};

class AAX_IControllerV3 : public AAX_IControllerV2 {
 public:
  virtual AAX_Result GetHostName(AAX_IString* outName) noexcept = 0;

 protected:
  ~AAX_IControllerV3() = default;
};

inline constexpr acfIID IID_AAX_ControllerV1 = AAX_MakeIID(AAX_eObjectKind_Controller, 1);
inline constexpr acfIID IID_AAX_ControllerV2 = AAX_MakeIID(AAX_eObjectKind_Controller, 2);
inline constexpr acfIID IID_AAX_ControllerV3 = AAX_MakeIID(AAX_eObjectKind_Controller, 3);
