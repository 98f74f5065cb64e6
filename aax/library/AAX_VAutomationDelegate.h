#pragma once

#include "aax/interfaces/AAX_IAutomationDelegate.h"
#include "aax/library/AAX_InterfaceVersions.h"

/** The host's automation delegate of one instance. */
class AAX_VAutomationDelegate {
 public:
  explicit AAX_VAutomationDelegate(IACFUnknown* hostUnknown) noexcept;
  AAX_VAutomationDelegate(const AAX_VAutomationDelegate&) = delete;
  AAX_VAutomationDelegate& operator=(const AAX_VAutomationDelegate&) = delete;

  bool IsValid() const noexcept { return mHost.Any(); }

  AAX_Result RegisterParameter(AAX_CParamID id) const noexcept;
  AAX_Result UnregisterParameter(AAX_CParamID id) const noexcept;
  AAX_Result PostSetValueRequest(AAX_CParamID id, double normalizedValue) const noexcept;
  AAX_Result PostCurrentValue(AAX_CParamID id, double normalizedValue) const noexcept;
  AAX_Result PostTouchRequest(AAX_CParamID id) const noexcept;
  AAX_Result PostReleaseRequest(AAX_CParamID id) const noexcept;
  AAX_Result GetTouchState(AAX_CParamID id, AAX_CBoolean* outTouched) const noexcept;
  AAX_Result ParameterNameChanged(AAX_CParamID id) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_IAutomationDelegateV1, AAX_IAutomationDelegateV2,
                         AAX_IAutomationDelegateV2>
      mHost;
};
