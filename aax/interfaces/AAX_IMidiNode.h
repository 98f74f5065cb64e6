#pragma once

#include "aax/interfaces/AAX_Types.h"

/**
 * A MIDI node of the algorithm context. Used only inside the process call, on the real-time
 * thread, so it carries no reference counting: the host owns it and it is valid during the
 * call.
 */
class AAX_IMidiNode {
 public:
  /** Packets that arrived for this block, ordered by time stamp (input and global nodes). */
  virtual AAX_CMidiStream* GetNodeBuffer() noexcept = 0;
  /** Sends one packet (output nodes); AAX_ERROR_FIFO_FULL when the host buffer is full. */
  virtual AAX_Result PostMIDIPacket(const AAX_CMidiPacket* packet) noexcept = 0;

 protected:
  ~AAX_IMidiNode() = default;
};
