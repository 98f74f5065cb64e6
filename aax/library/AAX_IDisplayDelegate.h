#pragma once

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <type_traits>
#include <utility>

#include "aax/library/AAX_CString.h"

/**
 * Conversions between a parameter's real value (type T) and text. maxLength counts bytes; a
 * negative maxLength means no limit. Derive from it for a display of your own.
 */
template <typename T>
class AAX_IDisplayDelegate {
 public:
  virtual ~AAX_IDisplayDelegate() = default;
  virtual AAX_IDisplayDelegate* Clone() const = 0;
  virtual bool ValueToString(T value, AAX_CString* outText) const {
    return ValueToString(value, -1, outText);
  }
  virtual bool ValueToString(T value, int32_t maxLength, AAX_CString* outText) const = 0;
  virtual bool StringToValue(const AAX_CString& text, T* outValue) const = 0;
};

/** Cuts text to maxLength bytes (negative: no limit). */
inline void AAX_CutToLength(AAX_CString& text, int32_t maxLength) {
  if (maxLength >= 0 && text.Length() > static_cast<uint32_t>(maxLength))
    text.Truncate(static_cast<uint32_t>(maxLength));
}

/**
 * A number with Precision decimals. A text longer than maxLength is cut, and a '.' left at the
 * end by the cut is dropped ("1234.5" in 5 bytes reads "1234"). Parsing accepts any number
 * text, with blanks around it; integer T is rounded to the nearest integer.
 */
template <typename T, int Precision = 2>
class AAX_CNumberDisplayDelegate : public AAX_IDisplayDelegate<T> {
 public:
  AAX_CNumberDisplayDelegate* Clone() const override {
    return new AAX_CNumberDisplayDelegate(*this);
  }

  using AAX_IDisplayDelegate<T>::ValueToString;
  bool ValueToString(T value, int32_t maxLength, AAX_CString* outText) const override {
    if (!outText) return false;
    char text[64];
    const int written =
        std::snprintf(text, sizeof(text), "%.*f", Precision, static_cast<double>(value));
    if (written < 0 || written >= static_cast<int>(sizeof(text))) return false;
    // A small negative value rounds to "-0.00"; read back it is 0, which shows as "0.00". Show
    // it as "0.00" at once so that text and value agree and the round trip is stable.
    if (text[0] == '-' && std::strspn(text + 1, "0.") == std::strlen(text + 1))
      std::memmove(text, text + 1, std::strlen(text));
    AAX_CString result(text);
    if (maxLength >= 0 && result.Length() > static_cast<uint32_t>(maxLength)) {
      result.Truncate(static_cast<uint32_t>(maxLength));
      if (!result.Empty() && result.StdString().back() == '.') result.Truncate(result.Length() - 1);
    }
    *outText = std::move(result);
    return true;
  }

  bool StringToValue(const AAX_CString& text, T* outValue) const override {
    if (!outValue) return false;
    const char* begin = text.CString();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(value)) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return false;
    if constexpr (std::is_integral_v<T>) {
      *outValue = static_cast<T>(std::floor(value + 0.5));
    } else {
      *outValue = static_cast<T>(value);
    }
    return true;
  }
};

/**
 * Appends a unit to another display's text, directly and only when the whole fits into
 * maxLength; parsing strips a trailing unit first.
 */
template <typename T>
class AAX_CUnitDisplayDelegateDecorator : public AAX_IDisplayDelegate<T> {
 public:
  AAX_CUnitDisplayDelegateDecorator(const AAX_IDisplayDelegate<T>& inner, AAX_CString unit)
      : mInner(inner.Clone()), mUnit(std::move(unit)) {}
  AAX_CUnitDisplayDelegateDecorator(const AAX_CUnitDisplayDelegateDecorator& other)
      : mInner(other.mInner->Clone()), mUnit(other.mUnit) {}
  AAX_CUnitDisplayDelegateDecorator& operator=(const AAX_CUnitDisplayDelegateDecorator&) = delete;

  AAX_CUnitDisplayDelegateDecorator* Clone() const override {
    return new AAX_CUnitDisplayDelegateDecorator(*this);
  }

  using AAX_IDisplayDelegate<T>::ValueToString;
  bool ValueToString(T value, int32_t maxLength, AAX_CString* outText) const override {
    if (!mInner->ValueToString(value, maxLength, outText)) return false;
    if (maxLength < 0 || outText->Length() + mUnit.Length() <= static_cast<uint32_t>(maxLength))
      outText->Append(mUnit);
    return true;
  }

  bool StringToValue(const AAX_CString& text, T* outValue) const override {
    if (!mUnit.Empty() && text.EndsWith(mUnit)) {
      AAX_CString number(text);
      number.Truncate(text.Length() - mUnit.Length());
      return mInner->StringToValue(number, outValue);
    }
    return mInner->StringToValue(text, outValue);
  }

  const AAX_CString& Unit() const { return mUnit; }

 private:
  std::unique_ptr<AAX_IDisplayDelegate<T>> mInner;
  AAX_CString mUnit;
};

/** A fixed text per value; a value without text reads "String Not Found" and fails. */
template <typename T>
class AAX_CStringDisplayDelegate : public AAX_IDisplayDelegate<T> {
 public:
  explicit AAX_CStringDisplayDelegate(std::map<T, AAX_CString> texts) : mTexts(std::move(texts)) {}

  AAX_CStringDisplayDelegate* Clone() const override {
    return new AAX_CStringDisplayDelegate(*this);
  }

  using AAX_IDisplayDelegate<T>::ValueToString;
  bool ValueToString(T value, int32_t maxLength, AAX_CString* outText) const override {
    if (!outText) return false;
    const auto found = mTexts.find(value);
    const bool known = found != mTexts.end();
    *outText = known ? found->second : AAX_CString("String Not Found");
    AAX_CutToLength(*outText, maxLength);
    return known;
  }

  bool StringToValue(const AAX_CString& text, T* outValue) const override {
    for (const auto& [value, entry] : mTexts) {
      if (entry == text) {
        if (outValue) *outValue = value;
        return outValue != nullptr;
      }
    }
    return false;
  }

 private:
  std::map<T, AAX_CString> mTexts;
};

/** One text for false and one for true; parsing accepts either. */
template <typename T = bool>
class AAX_CBinaryDisplayDelegate : public AAX_IDisplayDelegate<T> {
 public:
  AAX_CBinaryDisplayDelegate(AAX_CString falseText, AAX_CString trueText)
      : mFalse(std::move(falseText)), mTrue(std::move(trueText)) {}

  AAX_CBinaryDisplayDelegate* Clone() const override {
    return new AAX_CBinaryDisplayDelegate(*this);
  }

  using AAX_IDisplayDelegate<T>::ValueToString;
  bool ValueToString(T value, int32_t maxLength, AAX_CString* outText) const override {
    if (!outText) return false;
    *outText = value != T{} ? mTrue : mFalse;
    AAX_CutToLength(*outText, maxLength);
    return true;
  }

  bool StringToValue(const AAX_CString& text, T* outValue) const override {
    if (!outValue) return false;
    if (text == mTrue) {
      *outValue = static_cast<T>(true);
      return true;
    }
    if (text == mFalse) {
      *outValue = static_cast<T>(false);
      return true;
    }
    return false;
  }

 private:
  AAX_CString mFalse;
  AAX_CString mTrue;
};
