#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aax/interfaces/AAX_IDescription.h"
#include "host/aaxhost/Description.h"
#include "host/aaxhost/HostObject.h"

namespace aaxhost {

class Collection;

/** A property map; keeps properties in the order they were first added. */
class PropertyMap final : public HostObject<AAX_IPropertyMapV1, AAX_IPropertyMapV2> {
 public:
  PropertyMap();

  AAX_CBoolean GetProperty(int32_t propertyID, AAX_CPropertyValue* out) noexcept override;
  AAX_Result AddProperty(int32_t propertyID, AAX_CPropertyValue value) noexcept override;
  AAX_Result RemoveProperty(int32_t propertyID) noexcept override;
  AAX_CBoolean GetPointerProperty(int32_t propertyID, const void** out) noexcept override;
  AAX_Result AddPointerProperty(int32_t propertyID, const void* value) noexcept override;

  const std::vector<Property>& Properties() const noexcept { return mProperties; }

 private:
  AAX_Result Put(Property property) noexcept;

  std::vector<Property> mProperties;
};

/** Records the fields and process procedures of one algorithm component. */
class ComponentDescriptor final
    : public HostObject<AAX_IComponentDescriptorV1, AAX_IComponentDescriptorV2> {
 public:
  explicit ComponentDescriptor(Collection& collection);

  AAX_Result Clear() noexcept override;
  AAX_Result AddReservedField(AAX_CFieldIndex field, int32_t fieldType) noexcept override;
  AAX_Result AddAudioIn(AAX_CFieldIndex field) noexcept override;
  AAX_Result AddAudioOut(AAX_CFieldIndex field) noexcept override;
  AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) noexcept override;
  AAX_Result AddSampleRate(AAX_CFieldIndex field) noexcept override;
  AAX_Result AddClock(AAX_CFieldIndex field) noexcept override;
  AAX_Result AddSideChainIn(AAX_CFieldIndex field) noexcept override;
  AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize,
                           int32_t bufferingType) noexcept override;
  AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat,
                              const char* name) noexcept override;
  AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize,
                            int32_t options) noexcept override;
  AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs,
                       uint32_t meterCount) noexcept override;
  AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                         uint32_t channelMask) noexcept override;
  AAX_Result NewPropertyMap(IACFUnknown** outPropertyMap) noexcept override;
  AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, IACFUnknown* properties,
                                   AAX_CInstanceInitProc instanceInitProc,
                                   AAX_CBackgroundProc backgroundProc) noexcept override;
  AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataSize) noexcept override;

  const Component& Recorded() const noexcept { return mComponent; }

 private:
  AAX_Result Add(Field field) noexcept;

  Collection& mCollection;
  Component mComponent;
};

/** Records one effect: names, categories, components, procedures, meters, properties. */
class EffectDescriptor final : public HostObject<AAX_IEffectDescriptorV1, AAX_IEffectDescriptorV2> {
 public:
  explicit EffectDescriptor(Collection& collection);

  AAX_Result NewComponentDescriptor(IACFUnknown** outComponent) noexcept override;
  AAX_Result AddComponent(IACFUnknown* componentDescriptor) noexcept override;
  AAX_Result AddName(const char* name) noexcept override;
  AAX_Result AddCategory(uint32_t category) noexcept override;
  AAX_Result AddCategoryBypassParameter(uint32_t category,
                                        AAX_CParamID parameterID) noexcept override;
  AAX_Result AddProcPtr(AAX_CCreateObjectProc proc, int32_t procID) noexcept override;
  AAX_Result NewPropertyMap(IACFUnknown** outPropertyMap) noexcept override;
  AAX_Result SetProperties(IACFUnknown* propertyMap) noexcept override;
  AAX_Result AddResourceInfo(int32_t resourceType, const char* info) noexcept override;
  AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* name,
                                 IACFUnknown* properties) noexcept override;
  AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                uint32_t channelMask) noexcept override;

  const Effect& Recorded() const noexcept { return mEffect; }

 private:
  Collection& mCollection;
  Effect mEffect;
};

/**
 * The description collection handed to ACFRegisterPlugin. Owns every description object it
 * makes; Dump returns what the module described. Offers its plug-in definition under
 * IID_IACFPluginDefinition.
 */
class Collection final : public HostObject<AAX_ICollectionV1, AAX_ICollectionV2>,
                         public IACFPluginDefinition {
 public:
  /** hostVersion: what GetHostVersion reports. */
  explicit Collection(uint32_t hostVersion = 0x00010000);
  ~Collection() override;
  Collection(const Collection&) = delete;
  Collection& operator=(const Collection&) = delete;

  // IACFUnknown, for both the collection and the definition.
  ACFRESULT QueryInterface(const acfIID& iid, void** out) noexcept override;
  uint32_t AddRef() noexcept override;
  uint32_t Release() noexcept override;

  AAX_Result NewDescriptor(IACFUnknown** outEffectDescriptor) noexcept override;
  AAX_Result AddEffect(const char* effectID, IACFUnknown* effectDescriptor) noexcept override;
  AAX_Result SetManufacturerName(const char* name) noexcept override;
  AAX_Result AddPackageName(const char* name) noexcept override;
  AAX_Result SetPackageVersion(uint32_t version) noexcept override;
  AAX_Result NewPropertyMap(IACFUnknown** outPropertyMap) noexcept override;
  AAX_Result SetProperties(IACFUnknown* propertyMap) noexcept override;
  AAX_Result GetHostVersion(uint32_t* outVersion) noexcept override;

  /** What to pass to ACFRegisterPlugin as its host unknown. */
  IACFUnknown* GetUnknown() noexcept { return static_cast<AAX_ICollectionV1*>(this); }
  /** What ACFRegisterPlugin must hand back. */
  const IACFPluginDefinition* Definition() const noexcept { return this; }
  const Description& Dump() const noexcept { return mDescription; }

  /** References the plug-in still holds on this collection and every object it made. */
  int32_t OutstandingReferences() const noexcept;

  // For the descriptors: objects made on their behalf, handed out with one reference.
  AAX_Result MakePropertyMap(IACFUnknown** out) noexcept;
  AAX_Result MakeComponentDescriptor(IACFUnknown** out) noexcept;

 private:
  template <class T, class... Args>
  AAX_Result Make(std::vector<std::unique_ptr<T>>& owned, IACFUnknown** out,
                  Args&... args) noexcept;

  uint32_t mHostVersion;
  Description mDescription;
  std::vector<std::unique_ptr<PropertyMap>> mPropertyMaps;
  std::vector<std::unique_ptr<ComponentDescriptor>> mComponents;
  std::vector<std::unique_ptr<EffectDescriptor>> mEffects;
};

}  // namespace aaxhost
