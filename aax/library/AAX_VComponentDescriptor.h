#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "aax/interfaces/AAX_IDescription.h"
#include "aax/library/AAX_InterfaceVersions.h"
#include "aax/library/AAX_VPropertyMap.h"

/** A host component descriptor: the fields and process procedure of one algorithm. */
class AAX_VComponentDescriptor {
 public:
  explicit AAX_VComponentDescriptor(IACFUnknown* componentDescriptor) noexcept;
  AAX_VComponentDescriptor(const AAX_VComponentDescriptor&) = delete;
  AAX_VComponentDescriptor& operator=(const AAX_VComponentDescriptor&) = delete;
  ~AAX_VComponentDescriptor();

  bool IsValid() const noexcept { return mHost.Any(); }
  IACFUnknown* GetIUnknown() const noexcept { return mHost.Unknown(); }

  AAX_Result Clear() const noexcept;
  AAX_Result AddReservedField(AAX_CFieldIndex field, int32_t fieldType) const noexcept;
  AAX_Result AddAudioIn(AAX_CFieldIndex field) const noexcept;
  AAX_Result AddAudioOut(AAX_CFieldIndex field) const noexcept;
  AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) const noexcept;
  AAX_Result AddSampleRate(AAX_CFieldIndex field) const noexcept;
  AAX_Result AddClock(AAX_CFieldIndex field) const noexcept;
  AAX_Result AddSideChainIn(AAX_CFieldIndex field) const noexcept;
  AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize,
                           int32_t bufferingType) const noexcept;
  AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat,
                              const char* name) const noexcept;
  AAX_Result AddPrivateData(
      AAX_CFieldIndex field, int32_t dataSize,
      int32_t options = AAX_ePrivateDataOptions_DefaultOptions) const noexcept;
  AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs,
                       uint32_t meterCount) const noexcept;
  AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                         uint32_t channelMask) const noexcept;
  AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataSize) const noexcept;
  /** properties may be null. */
  AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, const AAX_VPropertyMap* properties,
                                   AAX_CInstanceInitProc instanceInitProc = nullptr,
                                   AAX_CBackgroundProc backgroundProc = nullptr) const noexcept;

  /** A new property map owned by this descriptor; null when the host made none. */
  AAX_VPropertyMap* NewPropertyMap() noexcept;

 private:
  AAX_CInterfaceVersions<AAX_IComponentDescriptorV1, AAX_IComponentDescriptorV2,
                         AAX_IComponentDescriptorV2>
      mHost;
  std::vector<std::unique_ptr<AAX_VPropertyMap>> mPropertyMaps;
};

/**
 * Wraps an object that a New... operation returned (with its one reference) and releases that
 * reference; null when fresh is null or offers none of W's interfaces.
 */
template <class W>
std::unique_ptr<W> AAX_AdoptNewObject(IACFUnknown* fresh) noexcept {
  if (!fresh) return nullptr;
  std::unique_ptr<W> wrapper;
  try {
    wrapper = std::make_unique<W>(fresh);
  } catch (...) {
    wrapper.reset();
  }
  fresh->Release();
  if (wrapper && !wrapper->IsValid()) wrapper.reset();
  return wrapper;
}

/**
 * Runs a New... operation (makeNew(IACFUnknown** out) -> AAX_Result), wraps what it returned and
 * keeps the wrapper in owned; returns it, or null on any failure.
 */
template <class W, class New>
W* AAX_KeepNewObject(std::vector<std::unique_ptr<W>>& owned, New makeNew) noexcept {
  IACFUnknown* fresh = nullptr;
  if (makeNew(&fresh) != AAX_SUCCESS) return nullptr;
  auto wrapper = AAX_AdoptNewObject<W>(fresh);
  if (!wrapper) return nullptr;
  try {
    owned.push_back(std::move(wrapper));
  } catch (...) {
    return nullptr;
  }
  return owned.back().get();
}
