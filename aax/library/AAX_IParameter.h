#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_Types.h"
#include "aax/library/AAX_CString.h"

class AAX_VAutomationDelegate;

/**
 * One parameter as the host sees it: a text ID, a name, a normalized value in [0, 1] and the
 * conversions to the parameter's real value and its display text. Values are read from any
 * thread (the render callback reads them); everything else runs on the main thread.
 *
 * Setting and updating differ: Set... asks the host (touch, set-value request, release through
 * the automation delegate), and the host answers with UpdateNormalizedValue, which applies the
 * value. Without an automation delegate, Set... applies the value at once.
 */
class AAX_IParameter {
 public:
  virtual ~AAX_IParameter() = default;

  virtual AAX_CParamID Identifier() const = 0;
  virtual const AAX_CString& Name() const = 0;
  virtual void SetName(const AAX_CString& name) = 0;
  /**
   * The name for a display of maxLength bytes. The name may hold variants separated by '\n';
   * the longest variant that fits is taken, else the name cut to maxLength.
   */
  virtual AAX_CString ShortenedName(int32_t maxLength) const = 0;

  virtual bool Automatable() const = 0;
  /**
   * Hands the parameter the host's delegate (registering its ID) or takes it away (null,
   * unregistering). The delegate must outlive its use by the parameter.
   */
  virtual void SetAutomationDelegate(AAX_VAutomationDelegate* delegate) = 0;

  virtual double GetNormalizedValue() const = 0;
  /** Asks the host for the value (see above). */
  virtual void SetNormalizedValue(double normalized) = 0;
  /**
   * Applies a value the host decided: converts it to the real value and, when that differs
   * from the current one (or the host has not yet heard of a value applied without it), stores
   * it and posts the current normalized value to the host.
   */
  virtual void UpdateNormalizedValue(double normalized) = 0;
  virtual double GetNormalizedDefaultValue() const = 0;
  virtual void SetNormalizedDefaultValue(double normalized) = 0;
  virtual void SetToDefaultValue() = 0;

  virtual uint32_t GetNumberOfSteps() const = 0;
  virtual void SetNumberOfSteps(uint32_t steps) = 0;
  virtual AAX_EParameterType GetType() const = 0;
  virtual void SetType(AAX_EParameterType type) = 0;
  virtual AAX_EParameterOrientation GetOrientation() const = 0;
  virtual void SetOrientation(AAX_EParameterOrientation orientation) = 0;

  /** Texts: false when the display cannot express or parse the value. */
  virtual bool GetValueString(AAX_CString* outText) const = 0;
  /** maxLength: bytes; negative means no limit. */
  virtual bool GetValueString(int32_t maxLength, AAX_CString* outText) const = 0;
  virtual bool GetNormalizedValueFromString(const AAX_CString& text, double* outValue) const = 0;
  virtual bool GetStringFromNormalizedValue(double normalized, int32_t maxLength,
                                            AAX_CString& outText) const = 0;
  /** Parses the text and sets the value like SetNormalizedValue. */
  virtual bool SetValueFromString(const AAX_CString& text) = 0;

  /** Gestures, passed to the host; nothing without a delegate. */
  virtual void Touch() = 0;
  virtual void Release() = 0;

  /** Typed access; false when the parameter's value type is another. */
  virtual bool GetValueAsBool(bool* outValue) const = 0;
  virtual bool GetValueAsInt32(int32_t* outValue) const = 0;
  virtual bool GetValueAsFloat(float* outValue) const = 0;
  virtual bool GetValueAsDouble(double* outValue) const = 0;
  virtual bool SetValueWithBool(bool value) = 0;
  virtual bool SetValueWithInt32(int32_t value) = 0;
  virtual bool SetValueWithFloat(float value) = 0;
  virtual bool SetValueWithDouble(double value) = 0;
};
