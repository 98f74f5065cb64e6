#include "aax/library/AAX_VTransport.h"

AAX_VTransport::AAX_VTransport(IACFUnknown* hostUnknown) noexcept
    : mHost(hostUnknown, &IID_AAX_TransportV1, &IID_AAX_TransportV2, &IID_AAX_TransportV3) {}

AAX_Result AAX_VTransport::GetCurrentTempo(double* outBeatsPerMinute) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetCurrentTempo(outBeatsPerMinute));
}

AAX_Result AAX_VTransport::GetCurrentMeter(int32_t* outNumerator,
                                           int32_t* outDenominator) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetCurrentMeter(outNumerator, outDenominator));
}

AAX_Result AAX_VTransport::IsTransportPlaying(bool* outPlaying) const noexcept {
  auto* transport = mHost.Newest1();
  if (!transport) return mHost.Missing();
  AAX_CBoolean playing = 0;
  const AAX_Result result = transport->IsTransportPlaying(&playing);
  if (result == AAX_SUCCESS && outPlaying) *outPlaying = playing != 0;
  return result;
}

AAX_Result AAX_VTransport::GetCurrentTickPosition(int64_t* outTicks) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetCurrentTickPosition(outTicks));
}

AAX_Result AAX_VTransport::GetCurrentLoopPosition(bool* outLooping, int64_t* outStartTicks,
                                                  int64_t* outEndTicks) const noexcept {
  auto* transport = mHost.Newest1();
  if (!transport) return mHost.Missing();
  AAX_CBoolean looping = 0;
  const AAX_Result result = transport->GetCurrentLoopPosition(&looping, outStartTicks, outEndTicks);
  if (result == AAX_SUCCESS && outLooping) *outLooping = looping != 0;
  return result;
}

AAX_Result AAX_VTransport::GetCurrentNativeSampleLocation(int64_t* outLocation) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetCurrentNativeSampleLocation(outLocation));
}

AAX_Result AAX_VTransport::GetCustomTickPosition(int64_t* outTicks,
                                                 int64_t sampleLocation) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetCustomTickPosition(outTicks, sampleLocation));
}

AAX_Result AAX_VTransport::GetBarBeatPosition(int32_t* outBars, int32_t* outBeats,
                                              int64_t* outDisplayTicks,
                                              int64_t sampleLocation) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetBarBeatPosition(outBars, outBeats, outDisplayTicks, sampleLocation));
}

AAX_Result AAX_VTransport::GetTicksPerQuarter(uint32_t* outTicks) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetTicksPerQuarter(outTicks));
}

AAX_Result AAX_VTransport::GetTimelineSelectionStartPosition(int64_t* outLocation) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, GetTimelineSelectionStartPosition(outLocation));
}

AAX_Result AAX_VTransport::IsMetronomeEnabled(int32_t* outEnabled) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, IsMetronomeEnabled(outEnabled));
}

AAX_Result AAX_VTransport::GetTimeCodeInfo(int32_t* outFrameRate,
                                           int64_t* outOffset) const noexcept {
  AAX_CALL_NEWEST(mHost, 3, GetTimeCodeInfo(outFrameRate, outOffset));
}
