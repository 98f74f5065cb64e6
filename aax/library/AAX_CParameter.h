#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "aax/library/AAX_IDisplayDelegate.h"
#include "aax/library/AAX_IParameter.h"
#include "aax/library/AAX_ITaperDelegate.h"
#include "aax/library/AAX_VAutomationDelegate.h"

/**
 * A parameter whose real value has type T (bool, int32_t, float or double), with a taper for
 * the normalized value and a display for texts (both copied). The value is a single atomic word,
 * so the render callback reads it whole while the main thread writes it.
 */
template <typename T>
class AAX_CParameter : public AAX_IParameter {
  static_assert(std::is_same_v<T, bool> || std::is_same_v<T, int32_t> || std::is_same_v<T, float> ||
                    std::is_same_v<T, double>,
                "parameters hold bool, int32_t, float or double");

 public:
  AAX_CParameter(AAX_CParamID identifier, const AAX_CString& name, T defaultValue,
                 const AAX_ITaperDelegate<T>& taper, const AAX_IDisplayDelegate<T>& display,
                 bool automatable = false)
      : mIdentifier(identifier ? identifier : ""),
        mName(name),
        mTaper(taper.Clone()),
        mDisplay(display.Clone()),
        mDefault(mTaper->ConstrainRealValue(defaultValue)),
        mValue(mDefault),
        mAutomatable(automatable),
        mSteps(std::is_same_v<T, bool> ? 2 : 128),
        mType(std::is_same_v<T, bool> ? AAX_eParameterType_Discrete
                                      : AAX_eParameterType_Continuous) {}

  AAX_CParameter(const AAX_CParameter&) = delete;
  AAX_CParameter& operator=(const AAX_CParameter&) = delete;

  // Typed value.
  T GetValue() const { return mValue.load(std::memory_order_acquire); }
  /** Asks for the value like SetNormalizedValue. */
  void SetValue(T value) {
    SetNormalizedValue(mTaper->RealToNormalized(mTaper->ConstrainRealValue(value)));
  }
  T GetDefaultValue() const { return mDefault; }
  void SetDefaultValue(T value) { mDefault = mTaper->ConstrainRealValue(value); }
  const AAX_ITaperDelegate<T>* TaperDelegate() const { return mTaper.get(); }
  const AAX_IDisplayDelegate<T>* DisplayDelegate() const { return mDisplay.get(); }
  void SetTaperDelegate(const AAX_ITaperDelegate<T>& taper) {
    mTaper.reset(taper.Clone());
    mValue.store(mTaper->ConstrainRealValue(GetValue()), std::memory_order_release);
  }
  void SetDisplayDelegate(const AAX_IDisplayDelegate<T>& display) {
    mDisplay.reset(display.Clone());
  }

  // AAX_IParameter
  AAX_CParamID Identifier() const override { return mIdentifier.c_str(); }
  const AAX_CString& Name() const override { return mName; }
  void SetName(const AAX_CString& name) override {
    mName = name;
    if (mDelegate) mDelegate->ParameterNameChanged(Identifier());
  }

  AAX_CString ShortenedName(int32_t maxLength) const override {
    const std::string& name = mName.StdString();
    if (maxLength < 0) return mName;
    const size_t limit = static_cast<size_t>(maxLength);
    std::string best;
    bool found = false;
    size_t start = 0;
    while (start <= name.size()) {
      size_t end = name.find('\n', start);
      if (end == std::string::npos) end = name.size();
      const size_t length = end - start;
      if (length <= limit && (!found || length > best.size())) {
        best = name.substr(start, length);
        found = true;
      }
      start = end + 1;
    }
    if (found) return AAX_CString(best);
    return AAX_CString(name.substr(0, limit));
  }

  bool Automatable() const override { return mAutomatable; }

  void SetAutomationDelegate(AAX_VAutomationDelegate* delegate) override {
    if (delegate == mDelegate) return;
    if (mDelegate) mDelegate->UnregisterParameter(Identifier());
    mDelegate = delegate;
    if (mDelegate) mDelegate->RegisterParameter(Identifier());
  }

  double GetNormalizedValue() const override { return mTaper->RealToNormalized(GetValue()); }

  /** Non-finite values are ignored here and by every other normalized entry: tapers cast to
   * integers, and a NaN would be undefined behaviour there. */
  void SetNormalizedValue(double normalized) override {
    if (!std::isfinite(normalized)) return;
    if (mDelegate) {
      mDelegate->PostTouchRequest(Identifier());
      mDelegate->PostSetValueRequest(Identifier(), normalized);
      mDelegate->PostReleaseRequest(Identifier());
      return;
    }
    mValue.store(mTaper->NormalizedToReal(normalized), std::memory_order_release);
    mHostUninformed.store(true, std::memory_order_relaxed);
  }

  void UpdateNormalizedValue(double normalized) override {
    if (!std::isfinite(normalized)) return;
    // Writing back what the parameter reads as keeps its value exactly: a taper's round trip
    // may otherwise move the last bit.
    const bool same = normalized == GetNormalizedValue();
    const T value = same ? GetValue() : mTaper->NormalizedToReal(normalized);
    if (value == GetValue() && !mHostUninformed.load(std::memory_order_relaxed)) return;
    mValue.store(value, std::memory_order_release);
    if (mDelegate) {
      mDelegate->PostCurrentValue(Identifier(), GetNormalizedValue());
      mHostUninformed.store(false, std::memory_order_relaxed);
    }
  }

  double GetNormalizedDefaultValue() const override { return mTaper->RealToNormalized(mDefault); }
  void SetNormalizedDefaultValue(double normalized) override {
    if (!std::isfinite(normalized)) return;
    mDefault = mTaper->NormalizedToReal(normalized);
  }
  void SetToDefaultValue() override { SetValue(mDefault); }

  uint32_t GetNumberOfSteps() const override { return mSteps; }
  void SetNumberOfSteps(uint32_t steps) override { mSteps = steps; }
  AAX_EParameterType GetType() const override { return mType; }
  void SetType(AAX_EParameterType type) override { mType = type; }
  AAX_EParameterOrientation GetOrientation() const override { return mOrientation; }
  void SetOrientation(AAX_EParameterOrientation orientation) override {
    mOrientation = orientation;
  }

  bool GetValueString(AAX_CString* outText) const override {
    return mDisplay->ValueToString(GetValue(), outText);
  }
  bool GetValueString(int32_t maxLength, AAX_CString* outText) const override {
    return mDisplay->ValueToString(GetValue(), maxLength, outText);
  }
  bool GetNormalizedValueFromString(const AAX_CString& text, double* outValue) const override {
    T value{};
    if (!outValue || !mDisplay->StringToValue(text, &value)) return false;
    *outValue = mTaper->RealToNormalized(mTaper->ConstrainRealValue(value));
    return true;
  }
  bool GetStringFromNormalizedValue(double normalized, int32_t maxLength,
                                    AAX_CString& outText) const override {
    if (!std::isfinite(normalized)) return false;
    return mDisplay->ValueToString(mTaper->NormalizedToReal(normalized), maxLength, &outText);
  }
  bool SetValueFromString(const AAX_CString& text) override {
    double normalized = 0.0;
    if (!GetNormalizedValueFromString(text, &normalized)) return false;
    SetNormalizedValue(normalized);
    return true;
  }

  void Touch() override {
    if (mDelegate) mDelegate->PostTouchRequest(Identifier());
  }
  void Release() override {
    if (mDelegate) mDelegate->PostReleaseRequest(Identifier());
  }

  bool GetValueAsBool(bool* outValue) const override { return GetAs(outValue); }
  bool GetValueAsInt32(int32_t* outValue) const override { return GetAs(outValue); }
  bool GetValueAsFloat(float* outValue) const override { return GetAs(outValue); }
  bool GetValueAsDouble(double* outValue) const override { return GetAs(outValue); }
  bool SetValueWithBool(bool value) override { return SetAs(value); }
  bool SetValueWithInt32(int32_t value) override { return SetAs(value); }
  bool SetValueWithFloat(float value) override { return SetAs(value); }
  bool SetValueWithDouble(double value) override { return SetAs(value); }

 private:
  template <typename U>
  bool GetAs(U* outValue) const {
    if constexpr (std::is_same_v<U, T>) {
      if (!outValue) return false;
      *outValue = GetValue();
      return true;
    } else {
      return false;
    }
  }
  template <typename U>
  bool SetAs(U value) {
    if constexpr (std::is_same_v<U, T>) {
      SetValue(value);
      return true;
    } else {
      return false;
    }
  }

  std::string mIdentifier;
  AAX_CString mName;
  std::unique_ptr<AAX_ITaperDelegate<T>> mTaper;
  std::unique_ptr<AAX_IDisplayDelegate<T>> mDisplay;
  T mDefault;
  std::atomic<T> mValue;
  bool mAutomatable;
  uint32_t mSteps;
  AAX_EParameterType mType;
  AAX_EParameterOrientation mOrientation = AAX_eParameterOrientation_Default;
  AAX_VAutomationDelegate* mDelegate = nullptr;
  // A value applied without the host (no delegate at the time) has not been posted yet. Atomic:
  // hosts update values from more than one thread.
  std::atomic<bool> mHostUninformed{true};
};
