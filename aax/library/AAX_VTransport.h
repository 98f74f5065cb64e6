#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_ITransport.h"
#include "aax/library/AAX_InterfaceVersions.h"

/**
 * The host transport. Built around the host unknown of Initialize (main thread) or around the
 * transport node of an algorithm context (process call); construction and destruction only
 * query and release, so a wrapper on the stack of the process call allocates nothing.
 */
class AAX_VTransport {
 public:
  explicit AAX_VTransport(IACFUnknown* hostUnknown) noexcept;
  AAX_VTransport(const AAX_VTransport&) = delete;
  AAX_VTransport& operator=(const AAX_VTransport&) = delete;

  bool IsValid() const noexcept { return mHost.Any(); }

  AAX_Result GetCurrentTempo(double* outBeatsPerMinute) const noexcept;
  AAX_Result GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) const noexcept;
  AAX_Result IsTransportPlaying(bool* outPlaying) const noexcept;
  AAX_Result GetCurrentTickPosition(int64_t* outTicks) const noexcept;
  AAX_Result GetCurrentLoopPosition(bool* outLooping, int64_t* outStartTicks,
                                    int64_t* outEndTicks) const noexcept;
  AAX_Result GetCurrentNativeSampleLocation(int64_t* outLocation) const noexcept;
  AAX_Result GetCustomTickPosition(int64_t* outTicks, int64_t sampleLocation) const noexcept;
  AAX_Result GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                int64_t sampleLocation) const noexcept;
  AAX_Result GetTicksPerQuarter(uint32_t* outTicks) const noexcept;
  AAX_Result GetTimelineSelectionStartPosition(int64_t* outLocation) const noexcept;
  AAX_Result IsMetronomeEnabled(int32_t* outEnabled) const noexcept;
  AAX_Result GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_ITransportV1, AAX_ITransportV2, AAX_ITransportV3> mHost;
};
