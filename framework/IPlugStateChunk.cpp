#include "framework/IPlugStateChunk.h"

namespace iplug {

void IStateChunk::Reserve(size_t size) {
  if (size <= mBytes.capacity()) return;
  const size_t step = static_cast<size_t>(kGrowStep);
  mBytes.reserve((size + step - 1) / step * step);
}

int32_t IStateChunk::PutBytes(const void* data, int32_t size) {
  if (size <= 0) return Size();
  const size_t old = mBytes.size();
  Reserve(old + static_cast<size_t>(size));
  mBytes.resize(old + static_cast<size_t>(size));
  std::memcpy(mBytes.data() + old, data, static_cast<size_t>(size));
  return Size();
}

int32_t IStateChunk::GetBytes(void* data, int32_t size, int32_t position) const {
  if (position < 0 || size < 0) return -1;
  if (static_cast<int64_t>(position) + size > Size()) return -1;
  if (size > 0) std::memcpy(data, mBytes.data() + position, static_cast<size_t>(size));
  return position + size;
}

void IStateChunk::Resize(int32_t size) {
  if (size < 0) size = 0;
  Reserve(static_cast<size_t>(size));
  mBytes.resize(static_cast<size_t>(size), 0);
}

}  // namespace iplug
