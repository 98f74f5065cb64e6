#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Types.h"

/**
 * The host's automation of one instance's parameters. Obtained by querying the host unknown
 * passed to Initialize of the effect-parameters object. Requests are answered later: a set-value
 * request comes back as UpdateParameterNormalizedValue on the effect-parameters object, possibly
 * before PostSetValueRequest returns.
 */
class AAX_IAutomationDelegateV1 : public IACFUnknown {
 public:
  virtual AAX_Result RegisterParameter(AAX_CParamID parameterID) noexcept = 0;
  virtual AAX_Result UnregisterParameter(AAX_CParamID parameterID) noexcept = 0;
  /** Asks the host to apply a normalized value (0 ... 1). */
  virtual AAX_Result PostSetValueRequest(AAX_CParamID parameterID,
                                         double normalizedValue) noexcept = 0;
  /** Tells the host the value the parameter now has. */
  virtual AAX_Result PostCurrentValue(AAX_CParamID parameterID,
                                      double normalizedValue) noexcept = 0;
  virtual AAX_Result PostTouchRequest(AAX_CParamID parameterID) noexcept = 0;
  virtual AAX_Result PostReleaseRequest(AAX_CParamID parameterID) noexcept = 0;
  virtual AAX_Result GetTouchState(AAX_CParamID parameterID, AAX_CBoolean* outTouched) noexcept = 0;

 protected:
  ~AAX_IAutomationDelegateV1() = default;
};

class AAX_IAutomationDelegateV2 : public AAX_IAutomationDelegateV1 {
 public:
  virtual AAX_Result ParameterNameChanged(AAX_CParamID parameterID) noexcept = 0;

 protected:
  ~AAX_IAutomationDelegateV2() = default;
};

inline constexpr acfIID IID_AAX_AutomationDelegateV1 =
    AAX_MakeIID(AAX_eObjectKind_AutomationDelegate, 1);
inline constexpr acfIID IID_AAX_AutomationDelegateV2 =
    AAX_MakeIID(AAX_eObjectKind_AutomationDelegate, 2);
