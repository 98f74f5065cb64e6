#include "host/aaxhost/MidiNode.h"

#include <algorithm>

namespace aaxhost {

MidiNode::MidiNode(size_t capacity) : mInput(capacity), mPosted(capacity) {
  mStream.mBuffer = mInput.data();
}

void MidiNode::SetInput(const std::vector<AAX_CMidiPacket>& packets) {
  const size_t count = std::min(packets.size(), mInput.size());
  std::copy_n(packets.begin(), count, mInput.begin());
  mStream.mBufferSize = static_cast<uint32_t>(count);
}

std::vector<AAX_CMidiPacket> MidiNode::TakePosted() {
  std::vector<AAX_CMidiPacket> posted(mPosted.begin(),
                                      mPosted.begin() + static_cast<std::ptrdiff_t>(mPostedCount));
  mPostedCount = 0;
  return posted;
}

AAX_CMidiStream* MidiNode::GetNodeBuffer() noexcept {
  return &mStream;
}

AAX_Result MidiNode::PostMIDIPacket(const AAX_CMidiPacket* packet) noexcept {
  if (!packet) return AAX_ERROR_NULL_ARGUMENT;
  if (mPostedCount >= mPosted.size()) return AAX_ERROR_FIFO_FULL;
  mPosted[mPostedCount++] = *packet;
  return AAX_SUCCESS;
}

}  // namespace aaxhost
