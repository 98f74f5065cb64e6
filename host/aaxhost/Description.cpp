#include "host/aaxhost/Description.h"

namespace aaxhost {

std::optional<int32_t> FindProperty(const std::vector<Property>& properties, int32_t id) {
  for (const Property& property : properties) {
    if (property.id == id && !property.isPointer) return property.value;
  }
  return std::nullopt;
}

const char* FieldKindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::kReserved:
      return "reserved";
    case FieldKind::kAudioIn:
      return "audio in";
    case FieldKind::kAudioOut:
      return "audio out";
    case FieldKind::kAudioBufferLength:
      return "buffer length";
    case FieldKind::kSampleRate:
      return "sample rate";
    case FieldKind::kClock:
      return "clock";
    case FieldKind::kSideChainIn:
      return "side-chain in";
    case FieldKind::kDataInPort:
      return "data-in port";
    case FieldKind::kAuxOutputStem:
      return "aux output stem";
    case FieldKind::kPrivateData:
      return "private data";
    case FieldKind::kTemporaryData:
      return "temporary data";
    case FieldKind::kMeters:
      return "meters";
    case FieldKind::kMidiNode:
      return "MIDI node";
  }
  return "?";
}

const Field* Component::FindField(AAX_CFieldIndex index) const {
  for (const Field& field : fields) {
    if (field.index == index) return &field;
  }
  return nullptr;
}

std::optional<int32_t> Component::ProcProperty(int32_t id) const {
  if (processProcs.empty()) return std::nullopt;
  return FindProperty(processProcs.front().properties, id);
}

AAX_CCreateObjectProc Effect::FindProcPtr(int32_t id) const {
  AAX_CCreateObjectProc found = nullptr;
  for (const ProcPtr& entry : procPtrs) {
    if (entry.id == id) found = entry.proc;
  }
  return found;
}

const Component* Effect::FindComponentByNativeID(AAX_CTypeID plugInID) const {
  for (const Component& component : components) {
    const auto id = component.ProcProperty(AAX_eProperty_PlugInID_Native);
    if (id && static_cast<AAX_CTypeID>(*id) == plugInID) return &component;
  }
  return nullptr;
}

}  // namespace aaxhost
