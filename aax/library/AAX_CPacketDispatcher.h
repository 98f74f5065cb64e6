#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "aax/interfaces/AAX_Types.h"

class AAX_VController;

/** Data for one algorithm field, filled by a handler and posted through the controller. */
class AAX_CPacket {
 public:
  explicit AAX_CPacket(AAX_CFieldIndex field) : mField(field) {}

  AAX_CFieldIndex GetFieldIndex() const { return mField; }
  bool IsDirty() const { return mDirty; }
  void SetDirty(bool dirty) { mDirty = dirty; }

  /** The packet's bytes, resized to sizeof(D) and returned as D. */
  template <typename D>
  D* GetPtr() {
    mData.resize(sizeof(D));
    return reinterpret_cast<D*>(mData.data());
  }
  void SetData(const void* data, size_t size);
  const void* Data() const { return mData.data(); }
  uint32_t Size() const { return static_cast<uint32_t>(mData.size()); }

 private:
  AAX_CFieldIndex mField;
  bool mDirty = false;
  std::vector<uint8_t> mData;
};

/**
 * Maps parameter IDs to packets bound to algorithm fields. A parameter change marks its
 * packets dirty; Dispatch (run by GenerateCoefficients) lets each dirty packet's handler fill it
 * and posts it through the controller. Main thread; a recursive lock keeps a handler that
 * registers or marks packets from deadlocking.
 */
class AAX_CPacketDispatcher {
 public:
  /** Fills the packet for a change of parameterID; a failure is returned by Dispatch. */
  using Handler = std::function<AAX_Result(AAX_CParamID parameterID, AAX_CPacket& packet)>;

  AAX_CPacketDispatcher() = default;
  AAX_CPacketDispatcher(const AAX_CPacketDispatcher&) = delete;
  AAX_CPacketDispatcher& operator=(const AAX_CPacketDispatcher&) = delete;

  /** The controller packets are posted through; null stops posting. */
  void Initialize(AAX_VController* controller);

  /**
   * Binds parameterID to the packet of field (created on first use) with handler. A packet
   * starts dirty so that its first dispatch posts it.
   */
  AAX_Result RegisterPacket(AAX_CParamID parameterID, AAX_CFieldIndex field, Handler handler);
  /** Marks the packets of parameterID; AAX_SUCCESS also for IDs without packets. */
  AAX_Result SetDirty(AAX_CParamID parameterID, bool dirty = true);
  /**
   * Fills and posts every dirty packet and clears its flag. Returns the first failure (packets
   * after it are still handled); without a controller nothing is posted and the flags stay.
   */
  AAX_Result Dispatch();

  size_t NumPackets() const;

 private:
  struct Binding {
    AAX_CPacket* packet;
    Handler handler;
  };

  mutable std::recursive_mutex mLock;
  AAX_VController* mController = nullptr;
  std::map<AAX_CFieldIndex, std::unique_ptr<AAX_CPacket>> mPackets;
  // Handler of each packet and the parameter that last dirtied it.
  std::map<AAX_CPacket*, std::pair<std::string, Handler>> mHandlers;
  std::multimap<std::string, AAX_CPacket*> mByParameter;
};
