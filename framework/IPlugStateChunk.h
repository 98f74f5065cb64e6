#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace iplug {

/**
 * A growable byte buffer that carries plug-in state. Values are stored in the machine's native
 * byte order, which is little-endian on every supported target.
 */
class IStateChunk {
 public:
  static constexpr int32_t kGrowStep = 4096;

  /** Appends the bytes of a value; returns the new size. */
  template <typename T>
  int32_t Put(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    return PutBytes(&value, static_cast<int32_t>(sizeof(T)));
  }

  /** Reads a value at a byte position. Returns the position after it, or -1 (destination
   * unchanged) when the value does not lie wholly inside the chunk. */
  template <typename T>
  int32_t Get(T* value, int32_t position) const {
    static_assert(std::is_trivially_copyable_v<T>);
    return GetBytes(value, static_cast<int32_t>(sizeof(T)), position);
  }

  int32_t PutBytes(const void* data, int32_t size);
  int32_t GetBytes(void* data, int32_t size, int32_t position) const;

  void Resize(int32_t size);
  void Clear() { mBytes.clear(); }
  int32_t Size() const { return static_cast<int32_t>(mBytes.size()); }
  uint8_t* Data() { return mBytes.data(); }
  const uint8_t* Data() const { return mBytes.data(); }

 private:
  void Reserve(size_t size);
  std::vector<uint8_t> mBytes;
};

}  // namespace iplug
