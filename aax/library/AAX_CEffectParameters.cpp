#include "aax/library/AAX_CEffectParameters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Exception.h"

namespace {

double Clamp01(double value) {
  return std::clamp(value, 0.0, 1.0);
}

// A NaN or an infinity from the host would reach tapers that cast to integers, or move the
// host's copy of a value without the plug-in's: refused before anything changes.
bool Finite(double value) {
  return std::isfinite(value);
}

}  // namespace

AAX_CEffectParameters::AAX_CEffectParameters() = default;

AAX_CEffectParameters::~AAX_CEffectParameters() {
  ReleaseHostWrappers();
}

ACFRESULT AAX_CEffectParameters::QueryInterfaceForID(const acfIID& iid, void** out) noexcept {
  if (iid == IID_AAX_EffectParametersV1) {
    *out = static_cast<AAX_IEffectParametersV1*>(this);
  } else if (iid == IID_AAX_EffectParametersV2) {
    *out = static_cast<AAX_IEffectParametersV2*>(this);
  } else if (iid == IID_AAX_EffectParametersV3) {
    *out = static_cast<AAX_IEffectParametersV3*>(this);
  } else if (iid == IID_AAX_EffectParametersV4) {
    *out = static_cast<AAX_IEffectParametersV4*>(this);
  } else if (iid == IID_AAX_EffectParametersV5) {
    *out = static_cast<AAX_IEffectParametersV5*>(this);
  } else {
    return CACFUnknown::QueryInterfaceForID(iid, out);
  }
  return ACF_OK;
}

AAX_Result AAX_CEffectParameters::Initialize(IACFUnknown* hostUnknown) noexcept {
  return AAX_CallGuarded("AAX_CEffectParameters::Initialize", [&]() -> AAX_Result {
    ReleaseHostWrappers();  // a second Initialize must not leave a freed delegate behind
    mFilteredIDs.clear();
    mController = std::make_unique<AAX_VController>(hostUnknown);
    mAutomation = std::make_unique<AAX_VAutomationDelegate>(hostUnknown);
    mTransport = std::make_unique<AAX_VTransport>(hostUnknown);
    mParameterManager.SetAutomationDelegate(mAutomation->IsValid() ? mAutomation.get() : nullptr);
    mPacketDispatcher.Initialize(mController->IsValid() ? mController.get() : nullptr);

    const AAX_Result result = EffectInit();
    if (result != AAX_SUCCESS) return result;

    AAX_CString bypassID;
    if (GetMasterBypassParameter(&bypassID) == AAX_SUCCESS && !bypassID.Empty())
      mFilteredIDs.insert(bypassID.StdString());

    int32_t count = 0;
    if (GetNumberOfParameters(&count) != AAX_SUCCESS) {
      AAX_TRACE(AAX_eTracePriority_Critical,
                "AAX_CEffectParameters::Initialize - error getting the number of parameters");
    } else {
      mNumChunkedParameters = count - static_cast<int32_t>(mFilteredIDs.size());
      AAX_ASSERT(mNumChunkedParameters >= 0);
    }
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::Uninitialize() noexcept {
  ReleaseHostWrappers();
  return AAX_SUCCESS;
}

void AAX_CEffectParameters::ReleaseHostWrappers() noexcept {
  // Parameters let go of the delegate before its wrapper goes.
  mParameterManager.SetAutomationDelegate(nullptr);
  mPacketDispatcher.Initialize(nullptr);
  mController.reset();
  mAutomation.reset();
  mTransport.reset();
}

AAX_Result AAX_CEffectParameters::NotificationReceived(AAX_CTypeID type, const void* data,
                                                       uint32_t size) noexcept {
  if (type != AAX_eNotificationEvent_ASPreviewState) return AAX_SUCCESS;
  return AAX_CallGuarded("AAX_CEffectParameters::NotificationReceived", [&]() -> AAX_Result {
    AAX_IParameter* preview = mParameterManager.GetParameterByID(kPreviewParameterID);
    if (preview && data && size >= sizeof(int32_t)) {
      int32_t state = 0;
      std::memcpy(&state, data, sizeof(state));
      preview->SetValueWithBool(state != 0);
    }
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetNumberOfParameters(int32_t* outCount) const noexcept {
  if (!outCount) return AAX_ERROR_NULL_ARGUMENT;
  *outCount = mParameterManager.NumParameters();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetMasterBypassParameter(AAX_IString* outID) const noexcept {
  if (!outID) return AAX_ERROR_NULL_ARGUMENT;
  outID->Set(mParameterManager.GetParameterByID(kMasterBypassID) ? kMasterBypassID : "");
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterIsAutomatable(
    AAX_CParamID id, AAX_CBoolean* outAutomatable) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outAutomatable) return AAX_ERROR_NULL_ARGUMENT;
  *outAutomatable = parameter->Automatable() ? 1 : 0;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterNumberOfSteps(AAX_CParamID id,
                                                            int32_t* outSteps) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outSteps) return AAX_ERROR_NULL_ARGUMENT;
  *outSteps = static_cast<int32_t>(parameter->GetNumberOfSteps());
  return *outSteps < 0 ? AAX_ERROR_SIGNED_INT_OVERFLOW : AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterName(AAX_CParamID id,
                                                   AAX_IString* outName) const noexcept {
  if (!outName) return AAX_ERROR_NULL_ARGUMENT;
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) {
    outName->Set("");
    return AAX_ERROR_INVALID_PARAMETER_ID;
  }
  outName->Set(parameter->Name().Get());
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterNameOfLength(AAX_CParamID id, AAX_IString* outName,
                                                           int32_t maxLength) const noexcept {
  if (!outName) return AAX_ERROR_INVALID_STRING_CONVERSION;
  return AAX_CallGuarded("AAX_CEffectParameters::GetParameterNameOfLength", [&]() -> AAX_Result {
    const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
    if (!parameter) {
      outName->Set("");
      return AAX_ERROR_INVALID_PARAMETER_ID;
    }
    outName->Set(parameter->ShortenedName(maxLength).Get());
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterDefaultNormalizedValue(
    AAX_CParamID id, double* outValue) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outValue) return AAX_ERROR_NULL_ARGUMENT;
  *outValue = parameter->GetNormalizedDefaultValue();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::SetParameterDefaultNormalizedValue(AAX_CParamID id,
                                                                     double value) noexcept {
  AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!Finite(value)) return AAX_ERROR_INVALID_ARGUMENT;
  parameter->SetNormalizedDefaultValue(value);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterType(AAX_CParamID id,
                                                   int32_t* outType) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outType) return AAX_ERROR_NULL_ARGUMENT;
  *outType = parameter->GetType();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterOrientation(AAX_CParamID id,
                                                          int32_t* outOrientation) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outOrientation) return AAX_ERROR_NULL_ARGUMENT;
  *outOrientation = parameter->GetOrientation();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameter(AAX_CParamID id,
                                               AAX_IParameter** outParameter) noexcept {
  AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (outParameter) *outParameter = parameter;
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  return outParameter ? AAX_SUCCESS : AAX_ERROR_NULL_ARGUMENT;
}

AAX_Result AAX_CEffectParameters::GetParameterIndex(AAX_CParamID id,
                                                    int32_t* outIndex) const noexcept {
  if (!outIndex) return AAX_ERROR_NULL_ARGUMENT;
  *outIndex = mParameterManager.GetParameterIndex(id);
  return *outIndex < 0 ? AAX_ERROR_INVALID_PARAMETER_ID : AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetParameterIDFromIndex(int32_t index,
                                                          AAX_IString* outID) const noexcept {
  if (!outID) return AAX_ERROR_NULL_ARGUMENT;
  const AAX_IParameter* parameter = mParameterManager.GetParameter(index);
  outID->Set(parameter ? parameter->Identifier() : "");
  return parameter ? AAX_SUCCESS : AAX_ERROR_INVALID_PARAMETER_ID;
}

AAX_Result AAX_CEffectParameters::GetParameterValueInfo(AAX_CParamID, int32_t,
                                                        int32_t*) const noexcept {
  return AAX_ERROR_UNIMPLEMENTED;
}

AAX_Result AAX_CEffectParameters::GetParameterValueFromString(
    AAX_CParamID id, double* outValue, const AAX_IString* text) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outValue || !text) return AAX_ERROR_NULL_ARGUMENT;
  return AAX_CallGuarded("AAX_CEffectParameters::GetParameterValueFromString", [&] {
    return parameter->GetNormalizedValueFromString(AAX_CString(*text), outValue)
               ? AAX_SUCCESS
               : AAX_ERROR_INVALID_STRING_CONVERSION;
  });
}

AAX_Result AAX_CEffectParameters::GetParameterStringFromValue(AAX_CParamID id, double value,
                                                              AAX_IString* outText,
                                                              int32_t maxLength) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outText) return AAX_ERROR_NULL_ARGUMENT;
  if (!Finite(value)) return AAX_ERROR_INVALID_ARGUMENT;
  return AAX_CallGuarded("AAX_CEffectParameters::GetParameterStringFromValue", [&] {
    AAX_CString text;
    if (!parameter->GetStringFromNormalizedValue(value, maxLength, text))
      return static_cast<AAX_Result>(AAX_ERROR_INVALID_STRING_CONVERSION);
    outText->Set(text.Get());
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result AAX_CEffectParameters::GetParameterValueString(AAX_CParamID id, AAX_IString* outText,
                                                          int32_t maxLength) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outText) return AAX_ERROR_NULL_ARGUMENT;
  return AAX_CallGuarded("AAX_CEffectParameters::GetParameterValueString", [&] {
    AAX_CString text;
    parameter->GetValueString(maxLength, &text);
    outText->Set(text.Get());
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result AAX_CEffectParameters::GetParameterNormalizedValue(AAX_CParamID id,
                                                              double* outValue) const noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!outValue) return AAX_ERROR_NULL_ARGUMENT;
  *outValue = parameter->GetNormalizedValue();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::SetParameterNormalizedValue(AAX_CParamID id,
                                                              double value) noexcept {
  AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!Finite(value)) return AAX_ERROR_INVALID_ARGUMENT;
  return AAX_CallGuarded("AAX_CEffectParameters::SetParameterNormalizedValue", [&] {
    parameter->SetNormalizedValue(value);
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result AAX_CEffectParameters::SetParameterNormalizedRelative(AAX_CParamID id,
                                                                 double delta) noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!Finite(delta)) return AAX_ERROR_INVALID_ARGUMENT;
  return SetParameterNormalizedValue(id, Clamp01(parameter->GetNormalizedValue() + delta));
}

AAX_Result AAX_CEffectParameters::TouchParameter(AAX_CParamID id) noexcept {
  AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  parameter->Touch();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::ReleaseParameter(AAX_CParamID id) noexcept {
  AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  parameter->Release();
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::UpdateParameterTouch(AAX_CParamID id, AAX_CBoolean) noexcept {
  if (!mParameterManager.GetParameterByID(id)) return AAX_ERROR_INVALID_PARAMETER_ID;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                                                 int32_t) noexcept {
  AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!Finite(value)) return AAX_ERROR_INVALID_ARGUMENT;
  return AAX_CallGuarded("AAX_CEffectParameters::UpdateParameterNormalizedValue", [&] {
    const double before = parameter->GetNormalizedValue();
    parameter->UpdateNormalizedValue(value);
    mPacketDispatcher.SetDirty(id);
    if (parameter->GetNormalizedValue() != before) ++mNumPlugInChanges;
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result AAX_CEffectParameters::UpdateParameterNormalizedRelative(AAX_CParamID id,
                                                                    double delta) noexcept {
  const AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!Finite(delta)) return AAX_ERROR_INVALID_ARGUMENT;
  return UpdateParameterNormalizedValue(id, Clamp01(parameter->GetNormalizedValue() + delta),
                                        AAX_eUpdateSource_Unknown);
}

AAX_Result AAX_CEffectParameters::GenerateCoefficients() noexcept {
  return AAX_CallGuarded("AAX_CEffectParameters::GenerateCoefficients",
                         [&] { return mPacketDispatcher.Dispatch(); });
}

AAX_Result AAX_CEffectParameters::ResetFieldData(AAX_CFieldIndex, void* data,
                                                 uint32_t size) const noexcept {
  if (data && size > 0) std::memset(data, 0, size);
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetNumberOfChunks(int32_t* outCount) const noexcept {
  if (!outCount) return AAX_ERROR_NULL_ARGUMENT;
  *outCount = 1;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetChunkIDFromIndex(int32_t index,
                                                      AAX_CTypeID* outID) const noexcept {
  if (!outID) return AAX_ERROR_NULL_ARGUMENT;
  *outID = index == 0 ? kControlsChunkID : 0;
  return index == 0 ? AAX_SUCCESS : AAX_ERROR_INVALID_CHUNK_INDEX;
}

// The library's own chunk is not provided: the binding replaces every chunk operation but the
// count, so these only tell a known ID from an unknown one.
AAX_Result AAX_CEffectParameters::GetChunkSize(AAX_CTypeID chunkID,
                                               uint32_t* outSize) const noexcept {
  if (outSize) *outSize = 0;
  return chunkID == kControlsChunkID ? AAX_ERROR_UNIMPLEMENTED : AAX_ERROR_INVALID_CHUNK_ID;
}

AAX_Result AAX_CEffectParameters::GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk*) const noexcept {
  return chunkID == kControlsChunkID ? AAX_ERROR_UNIMPLEMENTED : AAX_ERROR_INVALID_CHUNK_ID;
}

AAX_Result AAX_CEffectParameters::SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk*) noexcept {
  return chunkID == kControlsChunkID ? AAX_ERROR_UNIMPLEMENTED : AAX_ERROR_INVALID_CHUNK_ID;
}

AAX_Result AAX_CEffectParameters::CompareActiveChunk(const AAX_SPlugInChunk* chunk,
                                                     AAX_CBoolean* outIsEqual) const noexcept {
  if (!chunk || !outIsEqual) return AAX_ERROR_NULL_ARGUMENT;
  *outIsEqual = 1;
  return chunk->fChunkID == kControlsChunkID ? AAX_ERROR_UNIMPLEMENTED : AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetNumberOfChanges(int32_t* outChanges) const noexcept {
  if (!outChanges) return AAX_ERROR_NULL_ARGUMENT;
  if (const int32_t changes = mNumPlugInChanges.load(); changes >= 0) *outChanges = changes;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::TimerWakeup() noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetCurveData(AAX_CTypeID, const float*, uint32_t,
                                               float*) const noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetCurveDataMeterIds(AAX_CTypeID, AAX_CTypeID*,
                                                       AAX_CTypeID*) const noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetCurveDataDisplayRange(AAX_CTypeID, float*, float*, float*,
                                                           float*) const noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::UpdateMIDINodes(AAX_CFieldIndex,
                                                  const AAX_CMidiPacket*) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::UpdateControlMIDINodes(AAX_CTypeID,
                                                         const AAX_CMidiPacket*) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::GetCustomData(AAX_CTypeID, uint32_t, void*,
                                                uint32_t* outWritten) const noexcept {
  if (outWritten) *outWritten = 0;
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::SetCustomData(AAX_CTypeID, uint32_t, const void*) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::NotifyParameterMappingChanged() noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::HostStateChanged(int32_t) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::UpdatePageTable(uint32_t tableType, int32_t tablePageSize,
                                                  IACFUnknown*,
                                                  IACFUnknown* pageTable) const noexcept {
  AAX_VPageTable table(pageTable);
  return OnUpdatePageTable(tableType, tablePageSize, table);
}

AAX_Result AAX_CEffectParameters::OnUpdatePageTable(uint32_t, int32_t,
                                                    AAX_VPageTable&) const noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::EffectInit() noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectParameters::SetChunkSized(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk,
                                                uint32_t /*recordSize*/) noexcept {
  return SetChunk(chunkID, chunk);
}

AAX_Result AAX_CEffectParameters::CompareActiveChunkSized(const AAX_SPlugInChunk* chunk,
                                                          uint32_t /*recordSize*/,
                                                          AAX_CBoolean* outIsEqual) const noexcept {
  return CompareActiveChunk(chunk, outIsEqual);
}
