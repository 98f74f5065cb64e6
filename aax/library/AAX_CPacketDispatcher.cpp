#include "aax/library/AAX_CPacketDispatcher.h"

#include <cstring>
#include <utility>

#include "aax/library/AAX_VController.h"

void AAX_CPacket::SetData(const void* data, size_t size) {
  mData.resize(size);
  if (size > 0 && data) std::memcpy(mData.data(), data, size);
}

void AAX_CPacketDispatcher::Initialize(AAX_VController* controller) {
  std::lock_guard<std::recursive_mutex> lock(mLock);
  mController = controller;
}

AAX_Result AAX_CPacketDispatcher::RegisterPacket(AAX_CParamID parameterID, AAX_CFieldIndex field,
                                                 Handler handler) {
  if (!parameterID || !handler) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::recursive_mutex> lock(mLock);
  auto& packet = mPackets[field];
  if (!packet) {
    packet = std::make_unique<AAX_CPacket>(field);
    packet->SetDirty(true);
  }
  mHandlers[packet.get()] = {parameterID, std::move(handler)};
  mByParameter.emplace(parameterID, packet.get());
  return AAX_SUCCESS;
}

AAX_Result AAX_CPacketDispatcher::SetDirty(AAX_CParamID parameterID, bool dirty) {
  if (!parameterID) return AAX_ERROR_NULL_ARGUMENT;
  std::lock_guard<std::recursive_mutex> lock(mLock);
  const auto [first, last] = mByParameter.equal_range(parameterID);
  for (auto it = first; it != last; ++it) {
    it->second->SetDirty(dirty);
    if (dirty) mHandlers[it->second].first = parameterID;
  }
  return AAX_SUCCESS;
}

AAX_Result AAX_CPacketDispatcher::Dispatch() {
  std::lock_guard<std::recursive_mutex> lock(mLock);
  AAX_Result firstFailure = AAX_SUCCESS;
  for (auto& [field, packet] : mPackets) {
    if (!packet->IsDirty()) continue;
    if (!mController) return AAX_ERROR_NULL_OBJECT;
    auto& [parameterID, handler] = mHandlers[packet.get()];
    AAX_Result result = handler(parameterID.c_str(), *packet);
    if (result == AAX_SUCCESS)
      result = mController->PostPacket(field, packet->Data(), packet->Size());
    if (result == AAX_SUCCESS) packet->SetDirty(false);
    if (result != AAX_SUCCESS && firstFailure == AAX_SUCCESS) firstFailure = result;
  }
  return firstFailure;
}

size_t AAX_CPacketDispatcher::NumPackets() const {
  std::lock_guard<std::recursive_mutex> lock(mLock);
  return mPackets.size();
}
