#include "host/aaxhost/DescriptionCollection.h"

#include <utility>

#include "aax/interfaces/AAX_Context.h"

namespace aaxhost {

namespace {

// Every operation records into standard containers; none may throw back into the plug-in.
template <class Body>
AAX_Result Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

Field MakeField(AAX_CFieldIndex index, FieldKind kind, uint32_t dataSize = 0) {
  Field field;
  field.index = index;
  field.kind = kind;
  field.dataSize = dataSize;
  return field;
}

bool ValidFieldIndex(AAX_CFieldIndex field) {
  return field >= 0 && field <= kAAX_MaxFieldIndex;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

PropertyMap::PropertyMap() : HostObject(IID_AAX_PropertyMapV1, &IID_AAX_PropertyMapV2, nullptr) {}

AAX_Result PropertyMap::Put(Property property) noexcept {
  return Guarded([&] {
    for (Property& existing : mProperties) {
      if (existing.id == property.id) {
        existing = property;
        return AAX_SUCCESS;
      }
    }
    mProperties.push_back(property);
    return AAX_SUCCESS;
  });
}

AAX_CBoolean PropertyMap::GetProperty(int32_t propertyID, AAX_CPropertyValue* out) noexcept {
  for (const Property& property : mProperties) {
    if (property.id == propertyID && !property.isPointer) {
      if (out) *out = property.value;
      return 1;
    }
  }
  return 0;
}

AAX_Result PropertyMap::AddProperty(int32_t propertyID, AAX_CPropertyValue value) noexcept {
  return Put(Property{propertyID, value, nullptr, false});
}

AAX_Result PropertyMap::RemoveProperty(int32_t propertyID) noexcept {
  for (auto it = mProperties.begin(); it != mProperties.end(); ++it) {
    if (it->id == propertyID) {
      mProperties.erase(it);
      return AAX_SUCCESS;
    }
  }
  return AAX_ERROR_PROPERTY_UNDEFINED;
}

AAX_CBoolean PropertyMap::GetPointerProperty(int32_t propertyID, const void** out) noexcept {
  for (const Property& property : mProperties) {
    if (property.id == propertyID && property.isPointer) {
      if (out) *out = property.pointer;
      return 1;
    }
  }
  return 0;
}

AAX_Result PropertyMap::AddPointerProperty(int32_t propertyID, const void* value) noexcept {
  return Put(Property{propertyID, 0, value, true});
}

// ---------------------------------------------------------------------------------------------

ComponentDescriptor::ComponentDescriptor(Collection& collection)
    : HostObject(IID_AAX_ComponentDescriptorV1, &IID_AAX_ComponentDescriptorV2, nullptr),
      mCollection(collection) {}

AAX_Result ComponentDescriptor::Add(Field field) noexcept {
  if (!ValidFieldIndex(field.index) || mComponent.FindField(field.index))
    return AAX_ERROR_INVALID_FIELD_INDEX;
  return Guarded([&] {
    mComponent.fields.push_back(std::move(field));
    return AAX_SUCCESS;
  });
}

AAX_Result ComponentDescriptor::Clear() noexcept {
  mComponent = Component{};
  return AAX_SUCCESS;
}

AAX_Result ComponentDescriptor::AddReservedField(AAX_CFieldIndex field,
                                                 int32_t fieldType) noexcept {
  Field record = MakeField(field, FieldKind::kReserved);
  record.reservedType = fieldType;
  return Add(std::move(record));
}

AAX_Result ComponentDescriptor::AddAudioIn(AAX_CFieldIndex field) noexcept {
  return Add(MakeField(field, FieldKind::kAudioIn));
}

AAX_Result ComponentDescriptor::AddAudioOut(AAX_CFieldIndex field) noexcept {
  return Add(MakeField(field, FieldKind::kAudioOut));
}

AAX_Result ComponentDescriptor::AddAudioBufferLength(AAX_CFieldIndex field) noexcept {
  return Add(MakeField(field, FieldKind::kAudioBufferLength));
}

AAX_Result ComponentDescriptor::AddSampleRate(AAX_CFieldIndex field) noexcept {
  return Add(MakeField(field, FieldKind::kSampleRate));
}

AAX_Result ComponentDescriptor::AddClock(AAX_CFieldIndex field) noexcept {
  return Add(MakeField(field, FieldKind::kClock));
}

AAX_Result ComponentDescriptor::AddSideChainIn(AAX_CFieldIndex field) noexcept {
  return Add(MakeField(field, FieldKind::kSideChainIn));
}

AAX_Result ComponentDescriptor::AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize,
                                              int32_t bufferingType) noexcept {
  if (packetSize == 0) return AAX_ERROR_INVALID_ARGUMENT;
  Field record = MakeField(field, FieldKind::kDataInPort, packetSize);
  record.bufferingType = bufferingType;
  return Add(std::move(record));
}

AAX_Result ComponentDescriptor::AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat,
                                                 const char* name) noexcept {
  return Guarded([&] {
    Field record = MakeField(field, FieldKind::kAuxOutputStem);
    record.stemFormat = stemFormat;
    record.name = TextOf(name);
    return Add(std::move(record));
  });
}

AAX_Result ComponentDescriptor::AddPrivateData(AAX_CFieldIndex field, int32_t dataSize,
                                               int32_t options) noexcept {
  if (dataSize <= 0) return AAX_ERROR_INVALID_ARGUMENT;
  Field record = MakeField(field, FieldKind::kPrivateData, static_cast<uint32_t>(dataSize));
  record.options = options;
  return Add(std::move(record));
}

AAX_Result ComponentDescriptor::AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs,
                                          uint32_t meterCount) noexcept {
  if (!meterIDs) return AAX_ERROR_NULL_ARGUMENT;
  if (meterCount == 0 || meterCount > static_cast<uint32_t>(kAAX_MaxMeters))
    return AAX_ERROR_INVALID_ARGUMENT;
  for (const Field& existing : mComponent.fields) {
    if (existing.kind == FieldKind::kMeters) return AAX_ERROR_CONTEXT_ALREADY_HAS_METERS;
  }
  return Guarded([&] {
    Field record = MakeField(field, FieldKind::kMeters);
    record.meterIDs.assign(meterIDs, meterIDs + meterCount);
    return Add(std::move(record));
  });
}

AAX_Result ComponentDescriptor::AddMIDINode(AAX_CFieldIndex field, int32_t nodeType,
                                            const char* nodeName, uint32_t channelMask) noexcept {
  if (nodeType < AAX_eMIDINodeType_LocalInput || nodeType > AAX_eMIDINodeType_Transport)
    return AAX_ERROR_INVALID_ARGUMENT;
  return Guarded([&] {
    Field record = MakeField(field, FieldKind::kMidiNode);
    record.nodeType = nodeType;
    record.name = TextOf(nodeName);
    record.channelMask = channelMask;
    return Add(std::move(record));
  });
}

AAX_Result ComponentDescriptor::AddTemporaryData(AAX_CFieldIndex field,
                                                 uint32_t dataSize) noexcept {
  if (dataSize == 0) return AAX_ERROR_INVALID_ARGUMENT;
  return Add(MakeField(field, FieldKind::kTemporaryData, dataSize));
}

AAX_Result ComponentDescriptor::NewPropertyMap(IACFUnknown** outPropertyMap) noexcept {
  return mCollection.MakePropertyMap(outPropertyMap);
}

AAX_Result ComponentDescriptor::AddProcessProc_Native(AAX_CProcessProc processProc,
                                                      IACFUnknown* properties,
                                                      AAX_CInstanceInitProc instanceInitProc,
                                                      AAX_CBackgroundProc backgroundProc) noexcept {
  if (!processProc) return AAX_ERROR_NULL_ARGUMENT;
  const PropertyMap* map = nullptr;
  if (properties && !(map = FindHostObject<PropertyMap>(properties)))
    return AAX_ERROR_INVALID_ARGUMENT;
  return Guarded([&] {
    ProcessProc record{processProc, instanceInitProc, backgroundProc, {}};
    if (map) record.properties = map->Properties();
    mComponent.processProcs.push_back(std::move(record));
    return AAX_SUCCESS;
  });
}

// ---------------------------------------------------------------------------------------------

EffectDescriptor::EffectDescriptor(Collection& collection)
    : HostObject(IID_AAX_EffectDescriptorV1, &IID_AAX_EffectDescriptorV2, nullptr),
      mCollection(collection) {}

AAX_Result EffectDescriptor::NewComponentDescriptor(IACFUnknown** outComponent) noexcept {
  return mCollection.MakeComponentDescriptor(outComponent);
}

AAX_Result EffectDescriptor::AddComponent(IACFUnknown* componentDescriptor) noexcept {
  const ComponentDescriptor* component = FindHostObject<ComponentDescriptor>(componentDescriptor);
  if (!component)
    return componentDescriptor ? AAX_ERROR_INVALID_ARGUMENT : AAX_ERROR_NULL_COMPONENT;
  return Guarded([&] {
    mEffect.components.push_back(component->Recorded());
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::AddName(const char* name) noexcept {
  if (!name || !*name) return AAX_ERROR_EMPTY_EFFECT_NAME;
  return Guarded([&] {
    mEffect.names.emplace_back(name);
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::AddCategory(uint32_t category) noexcept {
  return Guarded([&] {
    mEffect.categories.push_back(category);
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::AddCategoryBypassParameter(uint32_t category,
                                                        AAX_CParamID parameterID) noexcept {
  if (!parameterID) return AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&] {
    mEffect.categoryBypassParameters.emplace_back(category, parameterID);
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::AddProcPtr(AAX_CCreateObjectProc proc, int32_t procID) noexcept {
  if (!proc) return AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&] {
    mEffect.procPtrs.push_back(ProcPtr{procID, proc});
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::NewPropertyMap(IACFUnknown** outPropertyMap) noexcept {
  return mCollection.MakePropertyMap(outPropertyMap);
}

AAX_Result EffectDescriptor::SetProperties(IACFUnknown* propertyMap) noexcept {
  const PropertyMap* map = FindHostObject<PropertyMap>(propertyMap);
  if (!map) return propertyMap ? AAX_ERROR_INVALID_ARGUMENT : AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&] {
    mEffect.properties = map->Properties();
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::AddResourceInfo(int32_t resourceType, const char* info) noexcept {
  return Guarded([&] {
    mEffect.resources.emplace_back(resourceType, TextOf(info));
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::AddMeterDescription(AAX_CTypeID meterID, const char* name,
                                                 IACFUnknown* properties) noexcept {
  const PropertyMap* map = nullptr;
  if (properties && !(map = FindHostObject<PropertyMap>(properties)))
    return AAX_ERROR_INVALID_ARGUMENT;
  return Guarded([&] {
    Meter meter{meterID, TextOf(name), {}};
    if (map) meter.properties = map->Properties();
    mEffect.meters.push_back(std::move(meter));
    return AAX_SUCCESS;
  });
}

AAX_Result EffectDescriptor::AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType,
                                                const char* nodeName,
                                                uint32_t channelMask) noexcept {
  return Guarded([&] {
    mEffect.controlMIDINodes.push_back(
        ControlMIDINode{nodeID, nodeType, TextOf(nodeName), channelMask});
    return AAX_SUCCESS;
  });
}

// ---------------------------------------------------------------------------------------------

Collection::Collection(uint32_t hostVersion)
    : HostObject(IID_AAX_CollectionV1, &IID_AAX_CollectionV2, nullptr), mHostVersion(hostVersion) {}

Collection::~Collection() = default;

ACFRESULT Collection::QueryInterface(const acfIID& iid, void** out) noexcept {
  if (out && iid == IID_IACFPluginDefinition) {
    *out = static_cast<IACFPluginDefinition*>(this);
    AddRef();
    return ACF_OK;
  }
  return HostObject::QueryInterface(iid, out);
}

uint32_t Collection::AddRef() noexcept {
  return HostObject::AddRef();
}

uint32_t Collection::Release() noexcept {
  return HostObject::Release();
}

template <class T, class... Args>
AAX_Result Collection::Make(std::vector<std::unique_ptr<T>>& owned, IACFUnknown** out,
                            Args&... args) noexcept {
  if (!out) return AAX_ERROR_NULL_ARGUMENT;
  *out = nullptr;
  return Guarded([&] {
    owned.push_back(std::make_unique<T>(args...));
    void* unknown = nullptr;
    owned.back()->QueryInterface(IID_IACFUnknown, &unknown);
    *out = static_cast<IACFUnknown*>(unknown);
    return AAX_SUCCESS;
  });
}

AAX_Result Collection::MakePropertyMap(IACFUnknown** out) noexcept {
  return Make(mPropertyMaps, out);
}

AAX_Result Collection::MakeComponentDescriptor(IACFUnknown** out) noexcept {
  return Make(mComponents, out, *this);
}

AAX_Result Collection::NewDescriptor(IACFUnknown** outEffectDescriptor) noexcept {
  return Make(mEffects, outEffectDescriptor, *this);
}

AAX_Result Collection::NewPropertyMap(IACFUnknown** outPropertyMap) noexcept {
  return MakePropertyMap(outPropertyMap);
}

AAX_Result Collection::AddEffect(const char* effectID, IACFUnknown* effectDescriptor) noexcept {
  if (!effectID) return AAX_ERROR_NULL_ARGUMENT;
  const EffectDescriptor* descriptor = FindHostObject<EffectDescriptor>(effectDescriptor);
  if (!descriptor) return effectDescriptor ? AAX_ERROR_INVALID_ARGUMENT : AAX_ERROR_NULL_ARGUMENT;
  for (const Effect& effect : mDescription.effects) {
    if (effect.effectID == effectID) return AAX_ERROR_DUPLICATE_EFFECT_ID;
  }
  if (descriptor->Recorded().components.empty()) return AAX_ERROR_NO_COMPONENTS;
  return Guarded([&] {
    Effect effect = descriptor->Recorded();
    effect.effectID = effectID;
    mDescription.effects.push_back(std::move(effect));
    return AAX_SUCCESS;
  });
}

AAX_Result Collection::SetManufacturerName(const char* name) noexcept {
  return Guarded([&] {
    mDescription.manufacturerName = TextOf(name);
    return AAX_SUCCESS;
  });
}

AAX_Result Collection::AddPackageName(const char* name) noexcept {
  return Guarded([&] {
    mDescription.packageNames.push_back(TextOf(name));
    return AAX_SUCCESS;
  });
}

AAX_Result Collection::SetPackageVersion(uint32_t version) noexcept {
  mDescription.packageVersion = version;
  return AAX_SUCCESS;
}

AAX_Result Collection::SetProperties(IACFUnknown* propertyMap) noexcept {
  const PropertyMap* map = FindHostObject<PropertyMap>(propertyMap);
  if (!map) return propertyMap ? AAX_ERROR_INVALID_ARGUMENT : AAX_ERROR_NULL_ARGUMENT;
  return Guarded([&] {
    mDescription.properties = map->Properties();
    return AAX_SUCCESS;
  });
}

AAX_Result Collection::GetHostVersion(uint32_t* outVersion) noexcept {
  if (!outVersion) return AAX_ERROR_NULL_ARGUMENT;
  *outVersion = mHostVersion;
  return AAX_SUCCESS;
}

int32_t Collection::OutstandingReferences() const noexcept {
  int32_t references = References();
  for (const auto& map : mPropertyMaps) references += map->References();
  for (const auto& component : mComponents) references += component->References();
  for (const auto& effect : mEffects) references += effect->References();
  return references;
}

}  // namespace aaxhost
