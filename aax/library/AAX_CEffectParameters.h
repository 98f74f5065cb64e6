#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "aax/interfaces/AAX_IEffectParameters.h"
#include "aax/library/AAX_CPacketDispatcher.h"
#include "aax/library/AAX_CParameterManager.h"
#include "aax/library/AAX_CString.h"
#include "aax/library/AAX_VAutomationDelegate.h"
#include "aax/library/AAX_VController.h"
#include "aax/library/AAX_VPageTable.h"
#include "aax/library/AAX_VTransport.h"
#include "aax/library/ACFUnknown.h"

/**
 * Base of a plug-in's effect-parameters object: answers the host from a parameter manager and a
 * packet dispatcher. Derived classes add their parameters in EffectInit and replace what they
 * need; every host-facing operation is virtual and noexcept. Created with new (CACFUnknown).
 */
class AAX_CEffectParameters : public AAX_IEffectParametersV5, public CACFUnknown {
 public:
  /** The parameter whose boolean value follows the host's preview state ('ASPv'). */
  static constexpr const char* kPreviewParameterID = "PreviewID";
  /** The ID a master bypass parameter must have to be reported as such. */
  static constexpr const char* kMasterBypassID = "MasterBypassID";
  /** The library's own chunk ("Complete Controls State"). */
  static constexpr AAX_CTypeID kControlsChunkID = AAX_FourCC("elck");

  AAX_CEffectParameters();
  ~AAX_CEffectParameters() override;

  AAX_ACF_UNKNOWN_FORWARDING

  // 1 ... 3
  AAX_Result Initialize(IACFUnknown* hostUnknown) noexcept override;
  AAX_Result Uninitialize() noexcept override;
  AAX_Result NotificationReceived(AAX_CTypeID type, const void* data,
                                  uint32_t size) noexcept override;
  // 4 ... 21
  AAX_Result GetNumberOfParameters(int32_t* outCount) const noexcept override;
  AAX_Result GetMasterBypassParameter(AAX_IString* outID) const noexcept override;
  AAX_Result GetParameterIsAutomatable(AAX_CParamID id,
                                       AAX_CBoolean* outAutomatable) const noexcept override;
  AAX_Result GetParameterNumberOfSteps(AAX_CParamID id, int32_t* outSteps) const noexcept override;
  AAX_Result GetParameterName(AAX_CParamID id, AAX_IString* outName) const noexcept override;
  AAX_Result GetParameterNameOfLength(AAX_CParamID id, AAX_IString* outName,
                                      int32_t maxLength) const noexcept override;
  AAX_Result GetParameterDefaultNormalizedValue(AAX_CParamID id,
                                                double* outValue) const noexcept override;
  AAX_Result SetParameterDefaultNormalizedValue(AAX_CParamID id, double value) noexcept override;
  AAX_Result GetParameterType(AAX_CParamID id, int32_t* outType) const noexcept override;
  AAX_Result GetParameterOrientation(AAX_CParamID id,
                                     int32_t* outOrientation) const noexcept override;
  AAX_Result GetParameter(AAX_CParamID id, AAX_IParameter** outParameter) noexcept override;
  AAX_Result GetParameterIndex(AAX_CParamID id, int32_t* outIndex) const noexcept override;
  AAX_Result GetParameterIDFromIndex(int32_t index, AAX_IString* outID) const noexcept override;
  AAX_Result GetParameterValueInfo(AAX_CParamID id, int32_t selector,
                                   int32_t* outValue) const noexcept override;
  AAX_Result GetParameterValueFromString(AAX_CParamID id, double* outValue,
                                         const AAX_IString* text) const noexcept override;
  AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* outText,
                                         int32_t maxLength) const noexcept override;
  AAX_Result GetParameterValueString(AAX_CParamID id, AAX_IString* outText,
                                     int32_t maxLength) const noexcept override;
  AAX_Result GetParameterNormalizedValue(AAX_CParamID id, double* outValue) const noexcept override;
  // 22 ... 30
  AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept override;
  AAX_Result SetParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override;
  AAX_Result TouchParameter(AAX_CParamID id) noexcept override;
  AAX_Result ReleaseParameter(AAX_CParamID id) noexcept override;
  AAX_Result UpdateParameterTouch(AAX_CParamID id, AAX_CBoolean touched) noexcept override;
  AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                            int32_t source) noexcept override;
  AAX_Result UpdateParameterNormalizedRelative(AAX_CParamID id, double delta) noexcept override;
  AAX_Result GenerateCoefficients() noexcept override;
  AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data,
                            uint32_t size) const noexcept override;
  // 31 ... 38
  AAX_Result GetNumberOfChunks(int32_t* outCount) const noexcept override;
  AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* outID) const noexcept override;
  AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* outSize) const noexcept override;
  AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* outChunk) const noexcept override;
  AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept override;
  AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk,
                                AAX_CBoolean* outIsEqual) const noexcept override;
  AAX_Result GetNumberOfChanges(int32_t* outChanges) const noexcept override;
  AAX_Result TimerWakeup() noexcept override;
  // 39 ... 47
  AAX_Result GetCurveData(AAX_CTypeID curveType, const float* values, uint32_t count,
                          float* outValues) const noexcept override;
  AAX_Result GetCurveDataMeterIds(AAX_CTypeID curveType, AAX_CTypeID* outXMeterID,
                                  AAX_CTypeID* outYMeterID) const noexcept override;
  AAX_Result GetCurveDataDisplayRange(AAX_CTypeID curveType, float* outXMin, float* outXMax,
                                      float* outYMin, float* outYMax) const noexcept override;
  AAX_Result UpdateMIDINodes(AAX_CFieldIndex field,
                             const AAX_CMidiPacket* packet) noexcept override;
  AAX_Result UpdateControlMIDINodes(AAX_CTypeID nodeID,
                                    const AAX_CMidiPacket* packet) noexcept override;
  AAX_Result GetCustomData(AAX_CTypeID dataType, uint32_t size, void* outData,
                           uint32_t* outWritten) const noexcept override;
  AAX_Result SetCustomData(AAX_CTypeID dataType, uint32_t size, const void* data) noexcept override;
  AAX_Result NotifyParameterMappingChanged() noexcept override;
  AAX_Result HostStateChanged(int32_t state) noexcept override;
  // 48
  /** Without a binding's override these answer like the unsized calls. */
  AAX_Result SetChunkSized(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk,
                           uint32_t recordSize) noexcept override;
  AAX_Result CompareActiveChunkSized(const AAX_SPlugInChunk* chunk, uint32_t recordSize,
                                     AAX_CBoolean* outIsEqual) const noexcept override;
  AAX_Result UpdatePageTable(uint32_t tableType, int32_t tablePageSize, IACFUnknown* hostUnknown,
                             IACFUnknown* pageTable) const noexcept override;

  /** Host wrappers of the current instance; null outside Initialize ... Uninitialize. */
  AAX_VController* Controller() const noexcept { return mController.get(); }
  AAX_VAutomationDelegate* AutomationDelegate() const noexcept { return mAutomation.get(); }
  AAX_VTransport* Transport() const noexcept { return mTransport.get(); }

  AAX_CParameterManager& ParameterManager() noexcept { return mParameterManager; }
  const AAX_CParameterManager& ParameterManager() const noexcept { return mParameterManager; }
  AAX_CPacketDispatcher& PacketDispatcher() noexcept { return mPacketDispatcher; }

  /** Parameters that the library's default chunk leaves out (the master bypass). */
  const std::set<std::string>& FilteredParameterIDs() const noexcept { return mFilteredIDs; }
  int32_t NumChunkedParameters() const noexcept { return mNumChunkedParameters; }

 protected:
  /** 49: fills the page table the host passed to UpdatePageTable. */
  virtual AAX_Result OnUpdatePageTable(uint32_t tableType, int32_t tablePageSize,
                                       AAX_VPageTable& pageTable) const noexcept;
  /** 50: creates the parameters, once the host wrappers exist (Initialize step 3). */
  virtual AAX_Result EffectInit() noexcept;

  /** Only answers the effect-parameters IDs. */
  ACFRESULT QueryInterfaceForID(const acfIID& iid, void** out) noexcept override;

  /** Grows with every value change the host applied; derived classes may add their own. Hosts
   * apply values from more than one thread, so the count is atomic. */
  std::atomic<int32_t> mNumPlugInChanges{0};
  AAX_CParameterManager mParameterManager;
  AAX_CPacketDispatcher mPacketDispatcher;

 private:
  void ReleaseHostWrappers() noexcept;

  std::unique_ptr<AAX_VController> mController;
  std::unique_ptr<AAX_VAutomationDelegate> mAutomation;
  std::unique_ptr<AAX_VTransport> mTransport;
  std::set<std::string> mFilteredIDs;
  int32_t mNumChunkedParameters = 0;
};
