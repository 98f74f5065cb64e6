#pragma once

#include <cstdint>
#include <cstring>

namespace iplug {

/** One short MIDI message with its sample offset inside the block. */
struct MidiMessage {
  int32_t offset = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};
static_assert(sizeof(MidiMessage) == 8);

/** A System Exclusive message; longer messages do not fit and are cut to kMaxSize bytes. */
struct SysExRecord {
  static constexpr int32_t kMaxSize = 512;
  int32_t offset = 0;
  int32_t size = 0;
  uint8_t data[kMaxSize] = {};

  SysExRecord() = default;
  SysExRecord(int32_t offset_, const uint8_t* bytes, int32_t size_) : offset(offset_) {
    size = size_ < 0 ? 0 : (size_ > kMaxSize ? kMaxSize : size_);
    if (bytes && size > 0) std::memcpy(data, bytes, static_cast<size_t>(size));
  }
};
static_assert(sizeof(SysExRecord) == 520);

/** A parameter value travelling to the editor: plain (not normalized) value. */
struct ParamChange {
  int32_t paramIdx = -1;
  double value = 0.0;
};
static_assert(sizeof(ParamChange) == 16);

/** A key press as a host or window forwards it. */
struct IKeyPress {
  int32_t virtualKey = 0;
  char utf8[5] = {};
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

}  // namespace iplug
