#include "aax/library/AAX_VAutomationDelegate.h"

AAX_VAutomationDelegate::AAX_VAutomationDelegate(IACFUnknown* hostUnknown) noexcept
    : mHost(hostUnknown, &IID_AAX_AutomationDelegateV1, &IID_AAX_AutomationDelegateV2, nullptr) {}

AAX_Result AAX_VAutomationDelegate::RegisterParameter(AAX_CParamID id) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, RegisterParameter(id));
}

AAX_Result AAX_VAutomationDelegate::UnregisterParameter(AAX_CParamID id) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, UnregisterParameter(id));
}

AAX_Result AAX_VAutomationDelegate::PostSetValueRequest(AAX_CParamID id,
                                                        double normalizedValue) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, PostSetValueRequest(id, normalizedValue));
}

AAX_Result AAX_VAutomationDelegate::PostCurrentValue(AAX_CParamID id,
                                                     double normalizedValue) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, PostCurrentValue(id, normalizedValue));
}

AAX_Result AAX_VAutomationDelegate::PostTouchRequest(AAX_CParamID id) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, PostTouchRequest(id));
}

AAX_Result AAX_VAutomationDelegate::PostReleaseRequest(AAX_CParamID id) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, PostReleaseRequest(id));
}

AAX_Result AAX_VAutomationDelegate::GetTouchState(AAX_CParamID id,
                                                  AAX_CBoolean* outTouched) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetTouchState(id, outTouched));
}

AAX_Result AAX_VAutomationDelegate::ParameterNameChanged(AAX_CParamID id) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, ParameterNameChanged(id));
}
