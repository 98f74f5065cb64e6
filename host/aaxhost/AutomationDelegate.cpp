#include "host/aaxhost/AutomationDelegate.h"

#include <utility>

namespace aaxhost {

AutomationDelegate::AutomationDelegate()
    : HostObject(IID_AAX_AutomationDelegateV1, &IID_AAX_AutomationDelegateV2, nullptr) {}

void AutomationDelegate::SetSetValueHandler(SetValueHandler handler) {
  std::lock_guard<std::mutex> lock(mMutex);
  mHandler = std::move(handler);
}

void AutomationDelegate::SetTouchHandler(TouchHandler handler) {
  std::lock_guard<std::mutex> lock(mMutex);
  mTouchHandler = std::move(handler);
}

std::vector<AutomationEvent> AutomationDelegate::Events() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mEvents;
}

void AutomationDelegate::ClearEvents() {
  std::lock_guard<std::mutex> lock(mMutex);
  mEvents.clear();
}

std::vector<Gesture> AutomationDelegate::TakeGestures() {
  std::lock_guard<std::mutex> lock(mMutex);
  std::vector<Gesture> gestures(mGestures.begin(), mGestures.end());
  mGestures.clear();
  return gestures;
}

void AutomationDelegate::RecordGesture(Gesture::Kind kind, AAX_CParamID parameterID, double value) {
  std::lock_guard<std::mutex> lock(mMutex);
  mGestures.push_back(Gesture{kind, TextOf(parameterID), value});
  if (mGestures.size() > kMaxGestures) mGestures.pop_front();
}

bool AutomationDelegate::IsRegistered(const std::string& parameterID) const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mRegistered.count(parameterID) != 0;
}

size_t AutomationDelegate::RegisteredCount() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mRegistered.size();
}

bool AutomationDelegate::Record(AutomationEvent::Kind kind, AAX_CParamID parameterID,
                                double value) {
  std::lock_guard<std::mutex> lock(mMutex);
  const std::string id = TextOf(parameterID);
  mEvents.push_back(AutomationEvent{kind, id, value});
  switch (kind) {
    case AutomationEvent::Kind::kRegister:
      mRegistered.insert(id);
      return true;
    case AutomationEvent::Kind::kUnregister:
      mTouched.erase(id);
      return mRegistered.erase(id) != 0;
    case AutomationEvent::Kind::kTouch:
      if (mRegistered.count(id) != 0) ++mTouched[id];
      break;
    case AutomationEvent::Kind::kRelease: {
      // A release without a touch is recorded but has nothing to undo.
      const auto touched = mTouched.find(id);
      if (touched != mTouched.end() && --touched->second <= 0) mTouched.erase(touched);
      break;
    }
    default:
      break;
  }
  return mRegistered.count(id) != 0;
}

AAX_Result AutomationDelegate::RegisterParameter(AAX_CParamID parameterID) noexcept {
  if (!parameterID) return AAX_ERROR_NULL_ARGUMENT;
  try {
    Record(AutomationEvent::Kind::kRegister, parameterID, 0.0);
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result AutomationDelegate::UnregisterParameter(AAX_CParamID parameterID) noexcept {
  try {
    return Record(AutomationEvent::Kind::kUnregister, parameterID, 0.0)
               ? AAX_SUCCESS
               : AAX_ERROR_INVALID_PARAMETER_ID;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result AutomationDelegate::PostSetValueRequest(AAX_CParamID parameterID,
                                                   double normalizedValue) noexcept {
  try {
    if (!Record(AutomationEvent::Kind::kSetValueRequest, parameterID, normalizedValue))
      return AAX_ERROR_INVALID_PARAMETER_ID;
    RecordGesture(Gesture::Kind::kSet, parameterID, normalizedValue);
    SetValueHandler handler;
    {
      std::lock_guard<std::mutex> lock(mMutex);
      handler = mHandler;
    }
    // Called without the lock: the handler calls back into the plug-in, which posts again.
    if (handler) handler(TextOf(parameterID), normalizedValue);
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result AutomationDelegate::PostCurrentValue(AAX_CParamID parameterID,
                                                double normalizedValue) noexcept {
  try {
    return Record(AutomationEvent::Kind::kCurrentValue, parameterID, normalizedValue)
               ? AAX_SUCCESS
               : AAX_ERROR_INVALID_PARAMETER_ID;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

void AutomationDelegate::NotifyTouch(AAX_CParamID parameterID, bool touched) {
  TouchHandler handler;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    handler = mTouchHandler;
  }
  if (handler) handler(TextOf(parameterID), touched);
}

AAX_Result AutomationDelegate::PostTouchRequest(AAX_CParamID parameterID) noexcept {
  try {
    AAX_CBoolean before = 0;
    GetTouchState(parameterID, &before);
    if (!Record(AutomationEvent::Kind::kTouch, parameterID, 0.0))
      return AAX_ERROR_INVALID_PARAMETER_ID;
    if (!before) {
      RecordGesture(Gesture::Kind::kTouch, parameterID, 0.0);
      NotifyTouch(parameterID, true);
    }
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result AutomationDelegate::PostReleaseRequest(AAX_CParamID parameterID) noexcept {
  try {
    AAX_CBoolean before = 0;
    GetTouchState(parameterID, &before);
    if (!Record(AutomationEvent::Kind::kRelease, parameterID, 0.0))
      return AAX_ERROR_INVALID_PARAMETER_ID;
    AAX_CBoolean after = 0;
    GetTouchState(parameterID, &after);
    if (before && !after) {
      RecordGesture(Gesture::Kind::kRelease, parameterID, 0.0);
      NotifyTouch(parameterID, false);
    }
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result AutomationDelegate::GetTouchState(AAX_CParamID parameterID,
                                             AAX_CBoolean* outTouched) noexcept {
  if (!outTouched) return AAX_ERROR_NULL_ARGUMENT;
  try {
    std::lock_guard<std::mutex> lock(mMutex);
    const std::string id = TextOf(parameterID);
    if (mRegistered.count(id) == 0) return AAX_ERROR_INVALID_PARAMETER_ID;
    *outTouched = mTouched.count(id) != 0 ? 1 : 0;
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result AutomationDelegate::ParameterNameChanged(AAX_CParamID parameterID) noexcept {
  try {
    return Record(AutomationEvent::Kind::kNameChanged, parameterID, 0.0)
               ? AAX_SUCCESS
               : AAX_ERROR_INVALID_PARAMETER_ID;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

}  // namespace aaxhost
