#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Types.h"

/**
 * The host's transport. Reached two ways: by querying the host unknown passed to Initialize
 * (main thread), and through the transport MIDI node field of the algorithm context (the
 * process call, where it describes the block being processed). Ticks count kAAX_TicksPerQuarterNote
 * per quarter note.
 */
class AAX_ITransportV1 : public IACFUnknown {
 public:
  virtual AAX_Result GetCurrentTempo(double* outBeatsPerMinute) noexcept = 0;
  virtual AAX_Result GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) noexcept = 0;
  virtual AAX_Result IsTransportPlaying(AAX_CBoolean* outPlaying) noexcept = 0;
  virtual AAX_Result GetCurrentTickPosition(int64_t* outTicks) noexcept = 0;
  virtual AAX_Result GetCurrentLoopPosition(AAX_CBoolean* outLooping, int64_t* outStartTicks,
                                            int64_t* outEndTicks) noexcept = 0;
  virtual AAX_Result GetCurrentNativeSampleLocation(int64_t* outLocation) noexcept = 0;
  virtual AAX_Result GetCustomTickPosition(int64_t* outTicks, int64_t sampleLocation) noexcept = 0;
  virtual AAX_Result GetBarBeatPosition(int32_t* outBars, int32_t* outBeats,
                                        int64_t* outDisplayTicks,
                                        int64_t sampleLocation) noexcept = 0;
  virtual AAX_Result GetTicksPerQuarter(uint32_t* outTicks) noexcept = 0;

 protected:
  ~AAX_ITransportV1() = default;
};

class AAX_ITransportV2 : public AAX_ITransportV1 {
 public:
  virtual AAX_Result GetTimelineSelectionStartPosition(int64_t* outLocation) noexcept = 0;
  virtual AAX_Result IsMetronomeEnabled(int32_t* outEnabled) noexcept = 0;

 protected:
  ~AAX_ITransportV2() = default;
};

class AAX_ITransportV3 : public AAX_ITransportV2 {
 public:
  /** Frame-rate code and start offset (in samples) of the session's time code. */
  virtual AAX_Result GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) noexcept = 0;

 protected:
  ~AAX_ITransportV3() = default;
};

inline constexpr acfIID IID_AAX_TransportV1 = AAX_MakeIID(AAX_eObjectKind_Transport, 1);
inline constexpr acfIID IID_AAX_TransportV2 = AAX_MakeIID(AAX_eObjectKind_Transport, 2);
inline constexpr acfIID IID_AAX_TransportV3 = AAX_MakeIID(AAX_eObjectKind_Transport, 3);
