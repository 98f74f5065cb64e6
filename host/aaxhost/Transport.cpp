#include "host/aaxhost/Transport.h"

#include <cmath>
#include <cstring>
#include <type_traits>

namespace aaxhost {

static_assert(std::is_trivially_copyable_v<TransportState>);

Transport::Transport()
    : HostObject(IID_AAX_TransportV1, &IID_AAX_TransportV2, &IID_AAX_TransportV3) {
  SetState(TransportState{});
}

void Transport::SetState(const TransportState& state) {
  uint64_t words[kWords] = {};
  std::memcpy(words, &state, sizeof state);
  // Odd while writing: a reader that sees an odd count, or a different count afterwards, retries.
  const uint64_t sequence = mSequence.load(std::memory_order_relaxed);
  mSequence.store(sequence + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  for (size_t i = 0; i < kWords; ++i) mWords[i].store(words[i], std::memory_order_relaxed);
  mSequence.store(sequence + 2, std::memory_order_release);
}

TransportState Transport::State() const {
  uint64_t words[kWords];
  for (;;) {
    const uint64_t before = mSequence.load(std::memory_order_acquire);
    if (before & 1) continue;
    for (size_t i = 0; i < kWords; ++i) words[i] = mWords[i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (mSequence.load(std::memory_order_relaxed) == before) break;
  }
  TransportState state;
  std::memcpy(&state, words, sizeof state);
  return state;
}

int64_t Transport::TicksAt(const TransportState& state, int64_t sampleLocation) const {
  if (state.sampleRate <= 0.0) return state.tickPosition;
  const double seconds =
      static_cast<double>(sampleLocation - state.sampleLocation) / state.sampleRate;
  const double quarters = seconds * state.tempo / 60.0;
  return state.tickPosition + static_cast<int64_t>(std::llround(
                                  quarters * static_cast<double>(kAAX_TicksPerQuarterNote)));
}

AAX_Result Transport::GetCurrentTempo(double* outBeatsPerMinute) noexcept {
  if (!outBeatsPerMinute) return AAX_ERROR_NULL_ARGUMENT;
  *outBeatsPerMinute = State().tempo;
  return AAX_SUCCESS;
}

AAX_Result Transport::GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) noexcept {
  if (!outNumerator || !outDenominator) return AAX_ERROR_NULL_ARGUMENT;
  const TransportState state = State();
  *outNumerator = state.meterNumerator;
  *outDenominator = state.meterDenominator;
  return AAX_SUCCESS;
}

AAX_Result Transport::IsTransportPlaying(AAX_CBoolean* outPlaying) noexcept {
  if (!outPlaying) return AAX_ERROR_NULL_ARGUMENT;
  *outPlaying = State().playing ? 1 : 0;
  return AAX_SUCCESS;
}

AAX_Result Transport::GetCurrentTickPosition(int64_t* outTicks) noexcept {
  if (!outTicks) return AAX_ERROR_NULL_ARGUMENT;
  *outTicks = State().tickPosition;
  return AAX_SUCCESS;
}

AAX_Result Transport::GetCurrentLoopPosition(AAX_CBoolean* outLooping, int64_t* outStartTicks,
                                             int64_t* outEndTicks) noexcept {
  if (!outLooping || !outStartTicks || !outEndTicks) return AAX_ERROR_NULL_ARGUMENT;
  const TransportState state = State();
  *outLooping = state.looping ? 1 : 0;
  *outStartTicks = state.loopStartTicks;
  *outEndTicks = state.loopEndTicks;
  return AAX_SUCCESS;
}

AAX_Result Transport::GetCurrentNativeSampleLocation(int64_t* outLocation) noexcept {
  if (!outLocation) return AAX_ERROR_NULL_ARGUMENT;
  *outLocation = State().sampleLocation;
  return AAX_SUCCESS;
}

AAX_Result Transport::GetCustomTickPosition(int64_t* outTicks, int64_t sampleLocation) noexcept {
  if (!outTicks) return AAX_ERROR_NULL_ARGUMENT;
  *outTicks = TicksAt(State(), sampleLocation);
  return AAX_SUCCESS;
}

AAX_Result Transport::GetBarBeatPosition(int32_t* outBars, int32_t* outBeats,
                                         int64_t* outDisplayTicks,
                                         int64_t sampleLocation) noexcept {
  if (!outBars || !outBeats || !outDisplayTicks) return AAX_ERROR_NULL_ARGUMENT;
  const TransportState state = State();
  if (state.meterNumerator <= 0 || state.meterDenominator <= 0) return AAX_ERROR_INVALID_ARGUMENT;
  const int64_t ticks = TicksAt(state, sampleLocation);
  const int64_t ticksPerBeat = kAAX_TicksPerQuarterNote * 4 / state.meterDenominator;
  // Floor division keeps positions before the session start in bar 0 and below.
  int64_t beat = ticks / ticksPerBeat;
  if (ticks % ticksPerBeat < 0) --beat;
  int64_t bar = beat / state.meterNumerator;
  if (beat % state.meterNumerator < 0) --bar;
  *outBars = static_cast<int32_t>(bar + 1);
  *outBeats = static_cast<int32_t>(beat - bar * state.meterNumerator + 1);
  *outDisplayTicks = ticks - beat * ticksPerBeat;
  return AAX_SUCCESS;
}

AAX_Result Transport::GetTicksPerQuarter(uint32_t* outTicks) noexcept {
  if (!outTicks) return AAX_ERROR_NULL_ARGUMENT;
  *outTicks = static_cast<uint32_t>(kAAX_TicksPerQuarterNote);
  return AAX_SUCCESS;
}

AAX_Result Transport::GetTimelineSelectionStartPosition(int64_t* outLocation) noexcept {
  if (!outLocation) return AAX_ERROR_NULL_ARGUMENT;
  *outLocation = State().selectionStart;
  return AAX_SUCCESS;
}

AAX_Result Transport::IsMetronomeEnabled(int32_t* outEnabled) noexcept {
  if (!outEnabled) return AAX_ERROR_NULL_ARGUMENT;
  *outEnabled = State().metronomeEnabled;
  return AAX_SUCCESS;
}

AAX_Result Transport::GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) noexcept {
  if (!outFrameRate || !outOffset) return AAX_ERROR_NULL_ARGUMENT;
  const TransportState state = State();
  *outFrameRate = state.timeCodeFrameRate;
  *outOffset = state.timeCodeOffset;
  return AAX_SUCCESS;
}

}  // namespace aaxhost
