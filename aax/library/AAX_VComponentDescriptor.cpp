#include "aax/library/AAX_VComponentDescriptor.h"

AAX_VComponentDescriptor::AAX_VComponentDescriptor(IACFUnknown* componentDescriptor) noexcept
    : mHost(componentDescriptor, &IID_AAX_ComponentDescriptorV1, &IID_AAX_ComponentDescriptorV2,
            nullptr) {}

AAX_VComponentDescriptor::~AAX_VComponentDescriptor() = default;

AAX_Result AAX_VComponentDescriptor::Clear() const noexcept {
  AAX_CALL_NEWEST(mHost, 1, Clear());
}

AAX_Result AAX_VComponentDescriptor::AddReservedField(AAX_CFieldIndex field,
                                                      int32_t fieldType) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddReservedField(field, fieldType));
}

AAX_Result AAX_VComponentDescriptor::AddAudioIn(AAX_CFieldIndex field) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddAudioIn(field));
}

AAX_Result AAX_VComponentDescriptor::AddAudioOut(AAX_CFieldIndex field) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddAudioOut(field));
}

AAX_Result AAX_VComponentDescriptor::AddAudioBufferLength(AAX_CFieldIndex field) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddAudioBufferLength(field));
}

AAX_Result AAX_VComponentDescriptor::AddSampleRate(AAX_CFieldIndex field) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddSampleRate(field));
}

AAX_Result AAX_VComponentDescriptor::AddClock(AAX_CFieldIndex field) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddClock(field));
}

AAX_Result AAX_VComponentDescriptor::AddSideChainIn(AAX_CFieldIndex field) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddSideChainIn(field));
}

AAX_Result AAX_VComponentDescriptor::AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize,
                                                   int32_t bufferingType) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddDataInPort(field, packetSize, bufferingType));
}

AAX_Result AAX_VComponentDescriptor::AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat,
                                                      const char* name) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddAuxOutputStem(field, stemFormat, name));
}

AAX_Result AAX_VComponentDescriptor::AddPrivateData(AAX_CFieldIndex field, int32_t dataSize,
                                                    int32_t options) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddPrivateData(field, dataSize, options));
}

AAX_Result AAX_VComponentDescriptor::AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs,
                                               uint32_t meterCount) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddMeters(field, meterIDs, meterCount));
}

AAX_Result AAX_VComponentDescriptor::AddMIDINode(AAX_CFieldIndex field, int32_t nodeType,
                                                 const char* nodeName,
                                                 uint32_t channelMask) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, AddMIDINode(field, nodeType, nodeName, channelMask));
}

AAX_Result AAX_VComponentDescriptor::AddTemporaryData(AAX_CFieldIndex field,
                                                      uint32_t dataSize) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, AddTemporaryData(field, dataSize));
}

AAX_Result AAX_VComponentDescriptor::AddProcessProc_Native(
    AAX_CProcessProc processProc, const AAX_VPropertyMap* properties,
    AAX_CInstanceInitProc instanceInitProc, AAX_CBackgroundProc backgroundProc) const noexcept {
  AAX_CALL_NEWEST(
      mHost, 1,
      AddProcessProc_Native(processProc, properties ? properties->GetIUnknown() : nullptr,
                            instanceInitProc, backgroundProc));
}

AAX_VPropertyMap* AAX_VComponentDescriptor::NewPropertyMap() noexcept {
  auto* host = mHost.Newest1();
  if (!host) return nullptr;
  IACFUnknown* fresh = nullptr;
  if (host->NewPropertyMap(&fresh) != AAX_SUCCESS) return nullptr;
  auto map = AAX_AdoptNewObject<AAX_VPropertyMap>(fresh);
  if (!map) return nullptr;
  try {
    mPropertyMaps.push_back(std::move(map));
  } catch (...) {
    return nullptr;
  }
  return mPropertyMaps.back().get();
}
