#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "framework/IPlugConstants.h"

namespace iplug {

/** What kind of value a parameter holds; the outermost Define call decides it. */
enum ParamKind : int32_t {
  kKindNone = 0,
  kKindBool = 1,
  kKindInt = 2,
  kKindEnum = 3,
  kKindDouble = 4,
};

enum ParamFlags : int32_t {
  kFlagsNone = 0,
  kFlagCannotAutomate = 0x1,
  kFlagStepped = 0x2,
  kFlagNegateDisplay = 0x4,
  kFlagSignDisplay = 0x8,
};

/** Unit code meaning "the label says what the unit is". */
constexpr int32_t kUnitCustom = 21;

/** A short text in a fixed field: at most 31 characters are kept. */
class ParamText {
 public:
  ParamText() { mText.fill('\0'); }
  explicit ParamText(const char* text) { Set(text); }
  void Set(const char* text);
  const char* Get() const { return mText.data(); }
  bool Empty() const { return mText[0] == '\0'; }

 private:
  std::array<char, kMaxParamNameLen> mText;
};

/**
 * One automatable setting: a plain value inside a range, its mapping to and from the
 * normalized range 0..1 that hosts and controls use, and its display text.
 *
 * Thread use: the value is a 64-bit atomic written by the host, editor and state-restore
 * threads and read lock-free by the audio thread. Everything else is written only while the
 * plug-in defines its parameters and is read-only afterwards.
 */
class IParam {
 public:
  /** Maps between the normalized range and the plain range of one parameter. */
  class Shape {
   public:
    virtual ~Shape() = default;
    virtual Shape* Clone() const = 0;
    virtual void Bind(const IParam& /*param*/) {}
    virtual int32_t DisplayKind() const { return 0; }
    virtual double ToValue(double normalized, const IParam& param) const = 0;
    virtual double FromValue(double plain, const IParam& param) const = 0;
  };

  class ShapeLinear : public Shape {
   public:
    Shape* Clone() const override { return new ShapeLinear(*this); }
    double ToValue(double normalized, const IParam& param) const override;
    double FromValue(double plain, const IParam& param) const override;
  };

  struct ValueText {
    double value;
    ParamText text;
  };

  using DisplayFunction = std::function<void(double value, std::string& text)>;
  using TextToValueFunction = std::function<double(const char* text)>;

  IParam();
  ~IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // Definition, called once per parameter while the plug-in is constructed.
  void DefineDouble(const char* name, double defaultValue, double minValue, double maxValue,
                    double step, const char* label = "", int32_t flags = kFlagsNone,
                    const char* group = "", const Shape& shape = ShapeLinear(),
                    int32_t unit = kUnitCustom, DisplayFunction displayFunc = nullptr,
                    TextToValueFunction textToValueFunc = nullptr);
  void DefineInt(const char* name, int defaultValue, int minValue, int maxValue,
                 const char* label = "", int32_t flags = kFlagsNone, const char* group = "");
  void DefineEnum(const char* name, int defaultValue, int count, const char* label = "",
                  int32_t flags = kFlagsNone, const char* group = "",
                  std::initializer_list<const char*> texts = {});
  void DefineBool(const char* name, bool defaultValue, const char* label = "",
                  int32_t flags = kFlagsNone, const char* group = "", const char* offText = "off",
                  const char* onText = "on");

  // Values.
  double Value() const { return mValue.load(std::memory_order_relaxed); }
  /** Stores Conform(v). A non-finite v leaves the value unchanged: it would otherwise reach
   * the audio path. */
  void SetValue(double v);
  void SetNormalizedValue(double normalized);
  double Denormalize(double normalized) const;
  double Normalize(double plain) const;
  double NormalizedValue() const { return Normalize(Value()); }
  /** Rounds a stepped value to its step and clamps it into the range. */
  double Conform(double v) const;

  // Text.
  void FormatValue(double v, bool isNormalized, std::string& text, bool useValueTexts = true) const;
  std::string DisplayText(bool useValueTexts = true) const;
  double ParseText(const char* text) const;
  /** What the text says, before it is conformed to the range and step: for telling a typed
   * value outside the range from one inside it. */
  double ParseTextUnconformed(const char* text) const;
  void AddValueText(double value, const char* text);
  const char* ValueTextFor(double value) const;
  const char* ValueTextAt(int index, double* value = nullptr) const;
  int ValueTextCount() const { return static_cast<int>(mValueTexts.size()); }
  const char* UnitLabel() const;

  // Accessors.
  ParamKind Kind() const { return mKind; }
  int32_t Unit() const { return mUnit; }
  double Min() const { return mMin; }
  double Max() const { return mMax; }
  double Step() const { return mStep; }
  double Default() const { return mDefault; }
  int32_t Precision() const { return mPrecision; }
  int32_t Flags() const { return mFlags; }
  bool CanAutomate() const { return !(mFlags & kFlagCannotAutomate); }
  bool IsStepped() const { return mFlags & kFlagStepped; }
  const char* Name() const { return mName.Get(); }
  const char* Label() const { return mLabel.Get(); }
  const char* Group() const { return mGroup.Get(); }
  const Shape& GetShape() const { return *mShape; }

 private:
  ParamKind mKind = kKindNone;
  int32_t mUnit = kUnitCustom;
  std::atomic<double> mValue{0.0};
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mDefault = 0.0;
  int32_t mPrecision = 0;
  int32_t mFlags = kFlagsNone;
  ParamText mName;
  ParamText mLabel;
  ParamText mGroup;
  std::unique_ptr<Shape> mShape;
  DisplayFunction mDisplayFunction;
  TextToValueFunction mTextToValueFunction;
  std::vector<ValueText> mValueTexts;

  static_assert(std::atomic<double>::is_always_lock_free,
                "the audio thread reads parameter values without locks");
};

}  // namespace iplug
