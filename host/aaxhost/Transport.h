#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "aax/interfaces/AAX_ITransport.h"
#include "host/aaxhost/HostObject.h"

namespace aaxhost {

/** What the transport reports; the host sets it before each block. */
struct TransportState {
  double tempo = 120.0;
  int32_t meterNumerator = 4;
  int32_t meterDenominator = 4;
  bool playing = false;
  int64_t tickPosition = 0;  ///< at sampleLocation
  bool looping = false;
  int64_t loopStartTicks = 0;
  int64_t loopEndTicks = 0;
  int64_t sampleLocation = 0;
  double sampleRate = 48000.0;  ///< converts sample locations to ticks
  int64_t selectionStart = 0;
  int32_t metronomeEnabled = 0;
  int32_t timeCodeFrameRate = 0;
  int64_t timeCodeOffset = 0;
};

/**
 * The host transport of one instance; the same object is offered on the main thread and put
 * into the transport node of the algorithm context. Positions at other sample locations follow
 * from the current tempo (the tempo is constant for this host).
 *
 * One thread sets the state; any thread reads it without a lock (a sequence count around
 * atomic words), because the plug-in asks from inside its render callback.
 */
class Transport final : public HostObject<AAX_ITransportV1, AAX_ITransportV2, AAX_ITransportV3> {
 public:
  Transport();

  void SetState(const TransportState& state);
  TransportState State() const;

  AAX_Result GetCurrentTempo(double* outBeatsPerMinute) noexcept override;
  AAX_Result GetCurrentMeter(int32_t* outNumerator, int32_t* outDenominator) noexcept override;
  AAX_Result IsTransportPlaying(AAX_CBoolean* outPlaying) noexcept override;
  AAX_Result GetCurrentTickPosition(int64_t* outTicks) noexcept override;
  AAX_Result GetCurrentLoopPosition(AAX_CBoolean* outLooping, int64_t* outStartTicks,
                                    int64_t* outEndTicks) noexcept override;
  AAX_Result GetCurrentNativeSampleLocation(int64_t* outLocation) noexcept override;
  AAX_Result GetCustomTickPosition(int64_t* outTicks, int64_t sampleLocation) noexcept override;
  AAX_Result GetBarBeatPosition(int32_t* outBars, int32_t* outBeats, int64_t* outDisplayTicks,
                                int64_t sampleLocation) noexcept override;
  AAX_Result GetTicksPerQuarter(uint32_t* outTicks) noexcept override;
  AAX_Result GetTimelineSelectionStartPosition(int64_t* outLocation) noexcept override;
  AAX_Result IsMetronomeEnabled(int32_t* outEnabled) noexcept override;
  AAX_Result GetTimeCodeInfo(int32_t* outFrameRate, int64_t* outOffset) noexcept override;

 private:
  int64_t TicksAt(const TransportState& state, int64_t sampleLocation) const;

  static constexpr size_t kWords = (sizeof(TransportState) + 7) / 8;
  std::atomic<uint64_t> mSequence{0};
  std::array<std::atomic<uint64_t>, kWords> mWords{};
};

}  // namespace aaxhost
