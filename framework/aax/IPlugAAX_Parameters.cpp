#include "framework/aax/IPlugAAX_Parameters.h"

#include <cstring>

#include "aax/interfaces/AAX_Context.h"
#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Exception.h"

namespace iplug {

namespace {

// The state number wraps after 2^63 posts; a list numbered just before the wrap is due once
// the port shows a number just after it.
bool IsDue(int64_t listNumber, int64_t portNumber) {
  return listNumber <= portNumber || (portNumber < -65535 && listNumber > 65535);
}

void DeleteList(AAX_CIPlugNumberedStateList* list) {
  for (AAX_CIPlugParamValuePair* pair : list->pairs) delete pair;
  delete list;
}

}  // namespace

AAX_CIPlugParameters::AAX_CIPlugParameters() = default;

AAX_CIPlugParameters::~AAX_CIPlugParameters() {
  FreeFinished();
  while (AAX_CIPlugNumberedStateList* list = mQueuedStateLists.Pop()) DeleteList(list);
}

void AAX_CIPlugParameters::AddSynchronizedParameter(const char* id) {
  if (id) mSynchronizedParameters.emplace(id);
}

AAX_Result AAX_CIPlugParameters::UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                                                int32_t source) noexcept {
  const AAX_Result result =
      AAX_CEffectParameters::UpdateParameterNormalizedValue(id, value, source);
  if (result != AAX_SUCCESS || mSynchronizedParameters.empty()) return result;
  return AAX_CallGuarded("AAX_CIPlugParameters::UpdateParameterNormalizedValue", [&] {
    if (mSynchronizedParameters.find(std::string_view(id)) != mSynchronizedParameters.end())
      mDirtySynchronizedParameters.insert(mParameterManager.GetParameterByID(id));
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result AAX_CIPlugParameters::GenerateCoefficients() noexcept {
  const AAX_Result result = AAX_CEffectParameters::GenerateCoefficients();
  if (result != AAX_SUCCESS) return result;
  return AAX_CallGuarded("AAX_CIPlugParameters::GenerateCoefficients", [&]() -> AAX_Result {
    const int64_t stateNumber = mNextStateNumber++;
    if (!mDirtySynchronizedParameters.empty()) {
      auto* list = new AAX_CIPlugNumberedStateList;
      list->stateNumber = stateNumber;
      try {
        for (AAX_IParameter* parameter : mDirtySynchronizedParameters)
          list->pairs.push_back(new AAX_CIPlugParamValuePair{parameter->Identifier(),
                                                             parameter->GetNormalizedValue()});
      } catch (...) {
        DeleteList(list);
        throw;
      }
      mDirtySynchronizedParameters.clear();
      const AAX_IContainer::EStatus pushResult = mQueuedStateLists.Push(list);
      AAX_ASSERT(AAX_IContainer::eStatus_Success == pushResult);
      if (pushResult != AAX_IContainer::eStatus_Success) DeleteList(list);
    }
    AAX_VController* controller = Controller();
    if (!controller) return AAX_ERROR_NULL_OBJECT;
    return controller->PostPacket(AAX_eFieldIndex_StateNumber, &stateNumber, sizeof(stateNumber));
  });
}

AAX_Result AAX_CIPlugParameters::ResetFieldData(AAX_CFieldIndex field, void* data,
                                                uint32_t iDataSize) const noexcept {
  if (field != AAX_eFieldIndex_PrivateData)
    return AAX_CEffectParameters::ResetFieldData(field, data, iDataSize);
  AAX_ASSERT(iDataSize == sizeof(AAX_SIPlugPrivateData));
  if (!data) return AAX_SUCCESS;
  std::memset(data, 0, iDataSize);
  // A smaller field cannot take the address; the render callback then skips the instance.
  if (iDataSize >= sizeof(AAX_SIPlugPrivateData)) {
    const AAX_SIPlugPrivateData privateData{const_cast<AAX_CIPlugParameters*>(this)};
    std::memcpy(data, &privateData, sizeof(privateData));
  }
  return AAX_SUCCESS;
}

AAX_Result AAX_CIPlugParameters::TimerWakeup() noexcept {
  FreeFinished();
  return AAX_CEffectParameters::TimerWakeup();
}

void AAX_CIPlugParameters::FreeFinished() noexcept {
  while (AAX_CIPlugNumberedStateList* list = mFinishedStateLists.Pop()) DeleteList(list);
  while (AAX_CIPlugParamValuePair* pair = mFinishedValues.Pop()) delete pair;
}

void AAX_CIPlugParameters::RenderCallback(void* const instancesBegin[], const void* instancesEnd) {
  for (void* const* instance = instancesBegin; instance && instance != instancesEnd; ++instance) {
    const void* context = *instance;
    if (!context) continue;
    const auto* privateData =
        AAX_ContextField<const AAX_SIPlugPrivateData*>(context, AAX_eFieldIndex_PrivateData);
    if (!privateData || !privateData->mPlug) continue;
    privateData->mPlug->RenderInstance(context);
  }
}

void AAX_CIPlugParameters::RenderInstance(const void* context) noexcept {
  // Fixed arrays on the stack stand where a queue with a writer lock would otherwise be: this
  // runs for every instance in every block.
  AAX_CIPlugNumberedStateList* dueLists[kStateListSlots];
  size_t dueCount = 0;
  const auto* port = AAX_ContextField<const int64_t*>(context, AAX_eFieldIndex_StateNumber);
  if (port) {
    const int64_t portNumber = *port;
    while (AAX_CIPlugNumberedStateList* numberedStateList = mQueuedStateLists.Peek()) {
      if (!IsDue(numberedStateList->stateNumber, portNumber)) break;
      const AAX_IContainer::EStatus pushResult = dueCount < kStateListSlots
                                                     ? AAX_IContainer::eStatus_Success
                                                     : AAX_IContainer::eStatus_Overflow;
      AAX_ASSERT(AAX_IContainer::eStatus_Success == pushResult);
      if (pushResult != AAX_IContainer::eStatus_Success) break;  // the rest waits for a block
      AAX_CIPlugNumberedStateList* poppedPair = mQueuedStateLists.Pop();
      AAX_ASSERT(poppedPair == numberedStateList);
      if (poppedPair) dueLists[dueCount++] = poppedPair;
    }
  }

  constexpr int64_t sCap = kMaxBlockValues;
  const AAX_CIPlugParamValuePair* values[kMaxBlockValues] = {};
  int64_t mSize = 0;
  for (size_t i = 0; i < dueCount; ++i) {
    AAX_CIPlugNumberedStateList* list = dueLists[i];
    const std::vector<AAX_CIPlugParamValuePair*>& inOther = list->pairs;
    AAX_ASSERT(sCap >= mSize + (int64_t)inOther.size());
    for (AAX_CIPlugParamValuePair* pair : inOther) {
      AAX_ASSERT(sCap > mSize);
      if (sCap > mSize) {
        values[mSize++] = pair;
      } else {
        const AAX_IContainer::EStatus pushResult = mFinishedValues.Push(pair);
        AAX_ASSERT(AAX_IContainer::eStatus_Success == pushResult);
      }
    }
    list->pairs.clear();  // keeps its capacity: nothing is freed here
    const AAX_IContainer::EStatus pushResult = mFinishedStateLists.Push(list);
    AAX_ASSERT(AAX_IContainer::eStatus_Success == pushResult);
  }

  RenderAudioBlock(context, values, static_cast<int32_t>(mSize));

  for (int64_t i = 0; i < mSize; ++i) {
    const AAX_IContainer::EStatus pushResult =
        mFinishedValues.Push(const_cast<AAX_CIPlugParamValuePair*>(values[i]));
    AAX_ASSERT(AAX_IContainer::eStatus_Success == pushResult);
  }
}

}  // namespace iplug
