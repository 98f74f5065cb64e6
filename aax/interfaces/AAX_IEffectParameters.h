#pragma once

/**
 * The plug-in's effect-parameters object as the host calls it: parameters, chunks, coefficients
 * and notifications of one instance. The host creates it through the creation procedure
 * kAAX_ProcPtrID_Create_EffectParameters, queries the returned IACFUnknown for the newest
 * version it knows, calls Initialize with its per-instance host unknown (which offers the
 * controller, automation delegate, transport and page table), and Uninitialize before the last
 * Release. Every call is made on the host's main thread.
 *
 * Parameter IDs are zero-terminated texts. Unless stated otherwise an operation on an unknown ID
 * returns AAX_ERROR_INVALID_PARAMETER_ID, and texts are returned by filling the host's string.
 */

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_IString.h"
#include "aax/interfaces/AAX_Types.h"

/** A parameter object of the plug-in's own library; opaque to the host. */
class AAX_IParameter;

class AAX_IEffectParametersV1 : public IACFUnknown {
 public:
  virtual AAX_Result Initialize(IACFUnknown* hostUnknown) noexcept = 0;
  virtual AAX_Result Uninitialize() noexcept = 0;
  /** AAX_ENotificationEvent and others; data and size as documented per event. */
  virtual AAX_Result NotificationReceived(AAX_CTypeID type, const void* data,
                                          uint32_t size) noexcept = 0;

  virtual AAX_Result GetNumberOfParameters(int32_t* outCount) const noexcept = 0;
  /** The ID of the master bypass parameter, or the empty text when there is none. */
  virtual AAX_Result GetMasterBypassParameter(AAX_IString* outID) const noexcept = 0;
  virtual AAX_Result GetParameterIsAutomatable(AAX_CParamID id,
                                               AAX_CBoolean* outAutomatable) const noexcept = 0;
  virtual AAX_Result GetParameterNumberOfSteps(AAX_CParamID id,
                                               int32_t* outSteps) const noexcept = 0;
  virtual AAX_Result GetParameterName(AAX_CParamID id, AAX_IString* outName) const noexcept = 0;
  /** The best name of at most maxLength bytes. */
  virtual AAX_Result GetParameterNameOfLength(AAX_CParamID id, AAX_IString* outName,
                                              int32_t maxLength) const noexcept = 0;
  virtual AAX_Result GetParameterDefaultNormalizedValue(AAX_CParamID id,
                                                        double* outValue) const noexcept = 0;
  virtual AAX_Result SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept = 0;
  /** AAX_EParameterType. */
  virtual AAX_Result GetParameterType(AAX_CParamID id, int32_t* outType) const noexcept = 0;
  /** AAX_EParameterOrientation bits. */
  virtual AAX_Result GetParameterOrientation(AAX_CParamID id,
                                             int32_t* outOrientation) const noexcept = 0;
  /** The plug-in's own object; the host only compares or passes it back. */
  virtual AAX_Result GetParameter(AAX_CParamID id, AAX_IParameter** outParameter) noexcept = 0;
  /** -1 and AAX_ERROR_INVALID_PARAMETER_ID for an unknown ID. */
  virtual AAX_Result GetParameterIndex(AAX_CParamID id, int32_t* outIndex) const noexcept = 0;
  /** The empty text and AAX_ERROR_INVALID_PARAMETER_ID for an index out of range. */
  virtual AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* outID) const noexcept = 0;
  virtual AAX_Result GetParameterValueInfo(AAX_CParamID id, int32_t selector,
                                           int32_t* outValue) const noexcept = 0;
  /** AAX_ERROR_INVALID_STRING_CONVERSION when the text does not parse. */
  virtual AAX_Result GetParameterValueFromString(AAX_CParamID id, double* outValue,
                                                 const AAX_IString* text) const noexcept = 0;
  virtual AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value,
                                                 AAX_IString* outText,
                                                 int32_t maxLength) const noexcept = 0;
  virtual AAX_Result GetParameterValueString(AAX_CParamID id, AAX_IString* outText,
                                             int32_t maxLength) const noexcept = 0;
  virtual AAX_Result GetParameterNormalizedValue(AAX_CParamID id,
                                                 double* outValue) const noexcept = 0;
  /** A request: the value arrives through UpdateParameterNormalizedValue. */
  virtual AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept = 0;
  virtual AAX_Result SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept = 0;
  virtual AAX_Result TouchParameter(AAX_CParamID id) noexcept = 0;
  virtual AAX_Result ReleaseParameter(AAX_CParamID id) noexcept = 0;
  virtual AAX_Result UpdateParameterTouch(AAX_CParamID id, AAX_CBoolean touched) noexcept = 0;
  /** The host applies a value (AAX_EUpdateSource source). */
  virtual AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                                    int32_t source) noexcept = 0;
  virtual AAX_Result UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept = 0;
  /** Called after value updates; the plug-in posts what its algorithm needs. */
  virtual AAX_Result GenerateCoefficients() noexcept = 0;
  /** The host asks the plug-in to fill a private-data field of a new algorithm context. */
  virtual AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data,
                                    uint32_t size) const noexcept = 0;

  virtual AAX_Result GetNumberOfChunks(int32_t* outCount) const noexcept = 0;
  virtual AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* outID) const noexcept = 0;
  virtual AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* outSize) const noexcept = 0;
  /** The host allocates AAX_ChunkAllocationSize(GetChunkSize) bytes. */
  virtual AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* outChunk) const noexcept = 0;
  virtual AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept = 0;
  virtual AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk,
                                        AAX_CBoolean* outIsEqual) const noexcept = 0;
  /** A counter that grows with every change of state the host should notice. */
  virtual AAX_Result GetNumberOfChanges(int32_t* outChanges) const noexcept = 0;
  /** Called periodically on the main thread. */
  virtual AAX_Result TimerWakeup() noexcept = 0;

 protected:
  ~AAX_IEffectParametersV1() = default;
};

class AAX_IEffectParametersV2 : public AAX_IEffectParametersV1 {
 public:
  /** Curve displays of control surfaces. */
  virtual AAX_Result GetCurveData(AAX_CTypeID curveType, const float* values, uint32_t count,
                                  float* outValues) const noexcept = 0;
  virtual AAX_Result GetCurveDataMeterIds(AAX_CTypeID curveType, AAX_CTypeID* outXMeterID,
                                          AAX_CTypeID* outYMeterID) const noexcept = 0;
  virtual AAX_Result GetCurveDataDisplayRange(AAX_CTypeID curveType, float* outXMin, float* outXMax,
                                              float* outYMin, float* outYMax) const noexcept = 0;
  /** MIDI for the nodes the effect descriptor declared. */
  virtual AAX_Result UpdateMIDINodes(AAX_CFieldIndex field,
                                     const AAX_CMidiPacket* packet) noexcept = 0;
  virtual AAX_Result UpdateControlMIDINodes(AAX_CTypeID nodeID,
                                            const AAX_CMidiPacket* packet) noexcept = 0;

 protected:
  ~AAX_IEffectParametersV2() = default;
};

class AAX_IEffectParametersV3 : public AAX_IEffectParametersV2 {
 public:
  /** Writes up to size bytes of custom data and their count to *outWritten. */
  virtual AAX_Result GetCustomData(AAX_CTypeID dataType, uint32_t size, void* outData,
                                   uint32_t* outWritten) const noexcept = 0;
  virtual AAX_Result SetCustomData(AAX_CTypeID dataType, uint32_t size,
                                   const void* data) noexcept = 0;
  virtual AAX_Result NotifyParameterMappingChanged() noexcept = 0;
  /** The host's session state changed (host-defined code); a hook for the plug-in. */
  virtual AAX_Result HostStateChanged(int32_t state) noexcept = 0;

 protected:
  ~AAX_IEffectParametersV3() = default;
};

class AAX_IEffectParametersV4 : public AAX_IEffectParametersV3 {
 public:
  /**
   * The host asks the plug-in to fill a control-surface page table; pageTable offers
   * IID_AAX_PageTableV1.
   */
  virtual AAX_Result UpdatePageTable(uint32_t tableType, int32_t tablePageSize,
                                     IACFUnknown* hostUnknown,
                                     IACFUnknown* pageTable) const noexcept = 0;

 protected:
  ~AAX_IEffectParametersV4() = default;
};

/**
 * Chunk calls that carry the size of the record the host allocated, so that the plug-in never
 * has to trust the record's own size field: a size field that is negative or larger than the
 * record is answered from what the record really holds. Hosts that know this version use it.
 */
class AAX_IEffectParametersV5 : public AAX_IEffectParametersV4 {
 public:
  virtual AAX_Result SetChunkSized(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk,
                                   uint32_t recordSize) noexcept = 0;
  virtual AAX_Result CompareActiveChunkSized(const AAX_SPlugInChunk* chunk, uint32_t recordSize,
                                             AAX_CBoolean* outIsEqual) const noexcept = 0;

 protected:
  ~AAX_IEffectParametersV5() = default;
};

inline constexpr acfIID IID_AAX_EffectParametersV1 =
    AAX_MakeIID(AAX_eObjectKind_EffectParameters, 1);
inline constexpr acfIID IID_AAX_EffectParametersV2 =
    AAX_MakeIID(AAX_eObjectKind_EffectParameters, 2);
inline constexpr acfIID IID_AAX_EffectParametersV3 =
    AAX_MakeIID(AAX_eObjectKind_EffectParameters, 3);
inline constexpr acfIID IID_AAX_EffectParametersV4 =
    AAX_MakeIID(AAX_eObjectKind_EffectParameters, 4);
inline constexpr acfIID IID_AAX_EffectParametersV5 =
    AAX_MakeIID(AAX_eObjectKind_EffectParameters, 5);
