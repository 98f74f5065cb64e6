#pragma once

#include <cstdint>
#include <vector>

#include "aax/interfaces/AAX_IMidiNode.h"

namespace aaxhost {

/**
 * A MIDI node of the algorithm context. The host fills the input packets before a block and
 * collects the posted ones after it. Both buffers are sized up front: the plug-in posts on the
 * real-time thread, so posting never allocates and fails with AAX_ERROR_FIFO_FULL instead.
 */
class MidiNode final : public AAX_IMidiNode {
 public:
  explicit MidiNode(size_t capacity = 1024);
  MidiNode(const MidiNode&) = delete;
  MidiNode& operator=(const MidiNode&) = delete;

  /** [host, between blocks] Packets the plug-in reads in the next block (at most capacity). */
  void SetInput(const std::vector<AAX_CMidiPacket>& packets);
  /** [host, between blocks] Posted packets since the last take, removed. */
  std::vector<AAX_CMidiPacket> TakePosted();

  AAX_CMidiStream* GetNodeBuffer() noexcept override;
  AAX_Result PostMIDIPacket(const AAX_CMidiPacket* packet) noexcept override;

 private:
  std::vector<AAX_CMidiPacket> mInput;
  AAX_CMidiStream mStream{0, nullptr};
  std::vector<AAX_CMidiPacket> mPosted;
  size_t mPostedCount = 0;
};

}  // namespace aaxhost
