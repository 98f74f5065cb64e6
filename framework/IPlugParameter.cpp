#include "framework/IPlugParameter.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/IPlugUtilities.h"

namespace iplug {

const char* ParamSourceName(EParamSource source) {
  static const char* const kNames[] = {"Reset",           "Host",      "Preset", "UI",
                                       "Editor Delegate", "Recompile", "Unknown"};
  const int i = static_cast<int>(source);
  return (i >= 0 && i <= kUnknown) ? kNames[i] : kNames[kUnknown];
}

void ParamText::Set(const char* text) {
  mText.fill('\0');
  if (text) std::strncpy(mText.data(), text, mText.size() - 1);
}

double IParam::ShapeLinear::ToValue(double normalized, const IParam& param) const {
  return param.Min() + normalized * (param.Max() - param.Min());
}

double IParam::ShapeLinear::FromValue(double plain, const IParam& param) const {
  const double range = param.Max() - param.Min();
  return range != 0.0 ? (plain - param.Min()) / range : 0.0;
}

IParam::IParam() : mShape(std::make_unique<ShapeLinear>()) {}

IParam::~IParam() = default;

void IParam::DefineDouble(const char* name, double defaultValue, double minValue, double maxValue,
                          double step, const char* label, int32_t flags, const char* group,
                          const Shape& shape, int32_t unit, DisplayFunction displayFunc,
                          TextToValueFunction textToValueFunc) {
  if (mKind == kKindNone) mKind = kKindDouble;
  mName.Set(name);
  mLabel.Set(label);
  mGroup.Set(group);
  mMin = minValue;
  mMax = Larger(minValue + step, maxValue);
  mStep = step;
  mDefault = defaultValue;
  mUnit = unit;
  mFlags = flags;
  mDisplayFunction = std::move(displayFunc);
  mTextToValueFunction = std::move(textToValueFunc);
  mValue.exchange(Conform(defaultValue));

  // The step decides how many decimals are worth showing: 0.1 -> 1, 0.0001 -> 4, 1 -> 0.
  mPrecision = 0;
  double s = step;
  for (int i = 0; i < 6; ++i) {
    if (std::floor(s) == s) break;
    ++mPrecision;
    s *= 10.0;
  }

  mShape.reset(shape.Clone());
  mShape->Bind(*this);
}

void IParam::DefineInt(const char* name, int defaultValue, int minValue, int maxValue,
                       const char* label, int32_t flags, const char* group) {
  if (mKind == kKindNone) mKind = kKindInt;
  DefineDouble(name, defaultValue, minValue, maxValue, 1.0, label, flags | kFlagStepped, group);
}

void IParam::DefineEnum(const char* name, int defaultValue, int count, const char* label,
                        int32_t flags, const char* group,
                        std::initializer_list<const char*> texts) {
  if (mKind == kKindNone) mKind = kKindEnum;
  DefineInt(name, defaultValue, 0, count - 1, label, flags | kFlagStepped, group);
  int i = 0;
  for (const char* text : texts) {
    if (i >= count) break;
    AddValueText(i++, text);
  }
}

void IParam::DefineBool(const char* name, bool defaultValue, const char* label, int32_t flags,
                        const char* group, const char* offText, const char* onText) {
  if (mKind == kKindNone) mKind = kKindBool;
  DefineEnum(name, defaultValue ? 1 : 0, 2, label, flags | kFlagStepped, group);
  AddValueText(0, offText);
  AddValueText(1, onText);
}

double IParam::Conform(double v) const {
  // A NaN has no sensible place in the range; fall back to the default rather than let it
  // through to the audio path.
  if (std::isnan(v)) v = mDefault;
  if (mFlags & kFlagStepped) v = RoundHalfAway(v / mStep) * mStep;
  return Smaller(mMax, Larger(mMin, v));
}

void IParam::SetValue(double v) {
  if (!std::isfinite(v)) return;
  mValue.exchange(Conform(v));
}

void IParam::SetNormalizedValue(double normalized) {
  if (!std::isfinite(normalized)) return;
  mValue.exchange(Denormalize(normalized));
}

double IParam::Denormalize(double normalized) const {
  return Conform(mShape->ToValue(normalized, *this));
}

double IParam::Normalize(double plain) const {
  const double n = mShape->FromValue(Conform(plain), *this);
  return Smaller(1.0, Larger(0.0, n));
}

void IParam::FormatValue(double v, bool isNormalized, std::string& text, bool useValueTexts) const {
  if (isNormalized) v = Conform(mShape->ToValue(v, *this));

  if (mDisplayFunction) {
    mDisplayFunction(v, text);
    if (text.size() > kMaxParamDisplayLen) text.resize(kMaxParamDisplayLen);
    return;
  }

  if (useValueTexts) {
    for (const ValueText& entry : mValueTexts) {
      if (entry.value == v) {
        if (!entry.text.Empty()) {
          text = entry.text.Get();
          return;
        }
        break;
      }
    }
  }

  if (mFlags & kFlagNegateDisplay) v = -v;
  if (v == 0.0) v = 0.0;  // never show a negative zero with a minus sign

  char buffer[64];
  if (mPrecision == 0) {
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(RoundHalfAway(v)));
  } else if ((mFlags & kFlagSignDisplay) && v != 0.0) {
    char format[16];
    std::snprintf(format, sizeof format, "%%+.%df", mPrecision);
    std::snprintf(buffer, sizeof buffer, format, v);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.*f", mPrecision, v);
  }
  text.assign(buffer, Smaller<size_t>(std::strlen(buffer), kMaxParamDisplayLen));
}

std::string IParam::DisplayText(bool useValueTexts) const {
  std::string text;
  FormatValue(Value(), false, text, useValueTexts);
  return text;
}

namespace {

/** Reads the longest leading decimal number of a text (0 when there is none). Unlike strtod it
 * accepts neither hexadecimal nor "inf"/"nan", which are not numbers a user types. */
double LeadingDecimal(const char* text) {
  const char* p = text;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* start = p;
  if (*p == '+' || *p == '-') ++p;
  bool digits = false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p, digits = true;
  if (*p == '.') {
    ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p, digits = true;
  }
  if (!digits) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    if (*q == '+' || *q == '-') ++q;
    if (std::isdigit(static_cast<unsigned char>(*q))) {
      while (std::isdigit(static_cast<unsigned char>(*q))) ++q;
      p = q;
    }
  }
  const std::string number(start, p);
  const double v = std::strtod(number.c_str(), nullptr);
  return std::isfinite(v) ? v : 0.0;
}

}  // namespace

double IParam::ParseText(const char* text) const {
  return Conform(ParseTextUnconformed(text));
}

double IParam::ParseTextUnconformed(const char* text) const {
  if (!text) text = "";
  if (mTextToValueFunction) return mTextToValueFunction(text);

  for (const ValueText& entry : mValueTexts)
    if (std::strcmp(entry.text.Get(), text) == 0) return entry.value;

  if (mKind == kKindEnum || mKind == kKindBool) return 0.0;

  double v = LeadingDecimal(text);
  if (mFlags & kFlagNegateDisplay) v = -v;
  return v;
}

void IParam::AddValueText(double value, const char* text) {
  mValueTexts.push_back(ValueText{value, ParamText(text)});
}

const char* IParam::ValueTextFor(double value) const {
  for (const ValueText& entry : mValueTexts)
    if (entry.value == value) return entry.text.Get();
  return "";
}

const char* IParam::ValueTextAt(int index, double* value) const {
  const ValueText& entry = mValueTexts.at(static_cast<size_t>(index));
  if (value) *value = entry.value;
  return entry.text.Get();
}

const char* IParam::UnitLabel() const {
  const double truncated = std::trunc(Value());
  for (const ValueText& entry : mValueTexts)
    if (entry.value == truncated && !entry.text.Empty()) return "";
  return mLabel.Get();
}

}  // namespace iplug
