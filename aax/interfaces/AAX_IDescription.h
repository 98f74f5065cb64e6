#pragma once

/**
 * The objects through which the module describes its effects when the host calls
 * ACFRegisterPlugin: the description collection (given to ACFRegisterPlugin as the host
 * unknown), effect descriptors, algorithm component descriptors and property maps.
 *
 * Objects come out of the New... operations as IACFUnknown with one reference owned by the
 * caller; query them for the versions needed and release them when done. Operations that take
 * another description object (a descriptor, a property map) accept any interface pointer of it
 * and read its content at the time of the call; later changes to it are not seen.
 */

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Context.h"
#include "aax/interfaces/AAX_Types.h"

class AAX_IPropertyMapV1 : public IACFUnknown {
 public:
  /** True and *out set when the property is present. */
  virtual AAX_CBoolean GetProperty(int32_t propertyID, AAX_CPropertyValue* out) noexcept = 0;
  /** Adds the property, or replaces the value of a present one (keeping its position). */
  virtual AAX_Result AddProperty(int32_t propertyID, AAX_CPropertyValue value) noexcept = 0;
  virtual AAX_Result RemoveProperty(int32_t propertyID) noexcept = 0;

 protected:
  ~AAX_IPropertyMapV1() = default;
};

class AAX_IPropertyMapV2 : public AAX_IPropertyMapV1 {
 public:
  virtual AAX_CBoolean GetPointerProperty(int32_t propertyID, const void** out) noexcept = 0;
  virtual AAX_Result AddPointerProperty(int32_t propertyID, const void* value) noexcept = 0;

 protected:
  ~AAX_IPropertyMapV2() = default;
};

/** Values of AddDataInPort's buffering type. */
enum AAX_EDataInPortType : int32_t {
  AAX_eDataInPortType_Unbuffered = 0,
  AAX_eDataInPortType_Buffered = 1,
  AAX_eDataInPortType_Incremental = 2
};

/** Options of AddPrivateData. */
enum AAX_EPrivateDataOptions : int32_t { AAX_ePrivateDataOptions_DefaultOptions = 0 };

/** Field types of AddReservedField. */
enum AAX_EFieldType : int32_t { AAX_eFieldType_Reserved = 0 };

/**
 * One algorithm component: the fields of its algorithm context and its process procedure.
 * Field indices must be 0 ... kAAX_MaxFieldIndex and unique within a component; a violation
 * gives AAX_ERROR_INVALID_FIELD_INDEX.
 */
class AAX_IComponentDescriptorV1 : public IACFUnknown {
 public:
  /** Forgets all fields and process procedures. */
  virtual AAX_Result Clear() noexcept = 0;
  virtual AAX_Result AddReservedField(AAX_CFieldIndex field, int32_t fieldType) noexcept = 0;
  virtual AAX_Result AddAudioIn(AAX_CFieldIndex field) noexcept = 0;
  virtual AAX_Result AddAudioOut(AAX_CFieldIndex field) noexcept = 0;
  virtual AAX_Result AddAudioBufferLength(AAX_CFieldIndex field) noexcept = 0;
  virtual AAX_Result AddSampleRate(AAX_CFieldIndex field) noexcept = 0;
  virtual AAX_Result AddClock(AAX_CFieldIndex field) noexcept = 0;
  virtual AAX_Result AddSideChainIn(AAX_CFieldIndex field) noexcept = 0;
  /** A port that receives the controller's PostPacket data for this field. */
  virtual AAX_Result AddDataInPort(AAX_CFieldIndex field, uint32_t packetSize,
                                   int32_t bufferingType) noexcept = 0;
  virtual AAX_Result AddAuxOutputStem(AAX_CFieldIndex field, int32_t stemFormat,
                                      const char* name) noexcept = 0;
  /** Host-allocated per-instance storage; the plug-in fills it through ResetFieldData. */
  virtual AAX_Result AddPrivateData(AAX_CFieldIndex field, int32_t dataSize,
                                    int32_t options) noexcept = 0;
  /** Meter taps for the meters with these IDs, in this order (count 1 ... 32). */
  virtual AAX_Result AddMeters(AAX_CFieldIndex field, const AAX_CTypeID* meterIDs,
                               uint32_t meterCount) noexcept = 0;
  virtual AAX_Result AddMIDINode(AAX_CFieldIndex field, int32_t nodeType, const char* nodeName,
                                 uint32_t channelMask) noexcept = 0;
  virtual AAX_Result NewPropertyMap(IACFUnknown** outPropertyMap) noexcept = 0;
  /** Declares the native process procedure; properties may be null, the two procs too. */
  virtual AAX_Result AddProcessProc_Native(AAX_CProcessProc processProc, IACFUnknown* properties,
                                           AAX_CInstanceInitProc instanceInitProc,
                                           AAX_CBackgroundProc backgroundProc) noexcept = 0;

 protected:
  ~AAX_IComponentDescriptorV1() = default;
};

class AAX_IComponentDescriptorV2 : public AAX_IComponentDescriptorV1 {
 public:
  /** Scratch memory valid during one process call. */
  virtual AAX_Result AddTemporaryData(AAX_CFieldIndex field, uint32_t dataSize) noexcept = 0;

 protected:
  ~AAX_IComponentDescriptorV2() = default;
};

class AAX_IEffectDescriptorV1 : public IACFUnknown {
 public:
  virtual AAX_Result NewComponentDescriptor(IACFUnknown** outComponent) noexcept = 0;
  virtual AAX_Result AddComponent(IACFUnknown* componentDescriptor) noexcept = 0;
  virtual AAX_Result AddName(const char* name) noexcept = 0;
  virtual AAX_Result AddCategory(uint32_t category) noexcept = 0;
  virtual AAX_Result AddCategoryBypassParameter(uint32_t category,
                                                AAX_CParamID parameterID) noexcept = 0;
  /** Hands over a creation procedure (AAX_EProcPtrID). */
  virtual AAX_Result AddProcPtr(AAX_CCreateObjectProc proc, int32_t procID) noexcept = 0;
  virtual AAX_Result NewPropertyMap(IACFUnknown** outPropertyMap) noexcept = 0;
  virtual AAX_Result SetProperties(IACFUnknown* propertyMap) noexcept = 0;
  virtual AAX_Result AddResourceInfo(int32_t resourceType, const char* info) noexcept = 0;
  /** properties may be null. */
  virtual AAX_Result AddMeterDescription(AAX_CTypeID meterID, const char* name,
                                         IACFUnknown* properties) noexcept = 0;

 protected:
  ~AAX_IEffectDescriptorV1() = default;
};

class AAX_IEffectDescriptorV2 : public AAX_IEffectDescriptorV1 {
 public:
  virtual AAX_Result AddControlMIDINode(AAX_CTypeID nodeID, int32_t nodeType, const char* nodeName,
                                        uint32_t channelMask) noexcept = 0;

 protected:
  ~AAX_IEffectDescriptorV2() = default;
};

/**
 * The description collection. The module returns the plug-in definition the collection offers
 * under IID_IACFPluginDefinition from ACFRegisterPlugin.
 */
class AAX_ICollectionV1 : public IACFUnknown {
 public:
  virtual AAX_Result NewDescriptor(IACFUnknown** outEffectDescriptor) noexcept = 0;
  /** Publishes the descriptor under effectID; AAX_ERROR_DUPLICATE_EFFECT_ID for a used ID. */
  virtual AAX_Result AddEffect(const char* effectID, IACFUnknown* effectDescriptor) noexcept = 0;
  virtual AAX_Result SetManufacturerName(const char* name) noexcept = 0;
  virtual AAX_Result AddPackageName(const char* name) noexcept = 0;
  virtual AAX_Result SetPackageVersion(uint32_t version) noexcept = 0;
  virtual AAX_Result NewPropertyMap(IACFUnknown** outPropertyMap) noexcept = 0;
  virtual AAX_Result SetProperties(IACFUnknown* propertyMap) noexcept = 0;

 protected:
  ~AAX_ICollectionV1() = default;
};

class AAX_ICollectionV2 : public AAX_ICollectionV1 {
 public:
  virtual AAX_Result GetHostVersion(uint32_t* outVersion) noexcept = 0;

 protected:
  ~AAX_ICollectionV2() = default;
};

inline constexpr acfIID IID_AAX_PropertyMapV1 = AAX_MakeIID(AAX_eObjectKind_PropertyMap, 1);
inline constexpr acfIID IID_AAX_PropertyMapV2 = AAX_MakeIID(AAX_eObjectKind_PropertyMap, 2);
inline constexpr acfIID IID_AAX_ComponentDescriptorV1 =
    AAX_MakeIID(AAX_eObjectKind_ComponentDescriptor, 1);
inline constexpr acfIID IID_AAX_ComponentDescriptorV2 =
    AAX_MakeIID(AAX_eObjectKind_ComponentDescriptor, 2);
inline constexpr acfIID IID_AAX_EffectDescriptorV1 =
    AAX_MakeIID(AAX_eObjectKind_EffectDescriptor, 1);
inline constexpr acfIID IID_AAX_EffectDescriptorV2 =
    AAX_MakeIID(AAX_eObjectKind_EffectDescriptor, 2);
inline constexpr acfIID IID_AAX_CollectionV1 = AAX_MakeIID(AAX_eObjectKind_Collection, 1);
inline constexpr acfIID IID_AAX_CollectionV2 = AAX_MakeIID(AAX_eObjectKind_Collection, 2);
