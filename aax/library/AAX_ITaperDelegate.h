#pragma once

#include <algorithm>
#include <cmath>
#include <type_traits>

/**
 * Conversions between a parameter's real value (type T) and its normalized value in [0, 1].
 * Derive from it for a taper of your own.
 */
template <typename T>
class AAX_ITaperDelegate {
 public:
  virtual ~AAX_ITaperDelegate() = default;
  virtual AAX_ITaperDelegate* Clone() const = 0;
  virtual T GetMinimumValue() const = 0;
  virtual T GetMaximumValue() const = 0;
  /** The nearest value the parameter can take. */
  virtual T ConstrainRealValue(T value) const = 0;
  virtual T NormalizedToReal(double normalized) const = 0;
  virtual double RealToNormalized(T real) const = 0;
};

/**
 * Linear between minimum and maximum, which may be given either way round. For integer T the
 * real value is rounded to the nearest integer (floor(x + 0.5)).
 */
template <typename T>
class AAX_CLinearTaperDelegate : public AAX_ITaperDelegate<T> {
 public:
  AAX_CLinearTaperDelegate(T minimum, T maximum) : mMinimum(minimum), mMaximum(maximum) {}

  AAX_CLinearTaperDelegate* Clone() const override { return new AAX_CLinearTaperDelegate(*this); }
  T GetMinimumValue() const override { return mMinimum; }
  T GetMaximumValue() const override { return mMaximum; }

  T ConstrainRealValue(T value) const override { return Constrain(static_cast<double>(value)); }

  T NormalizedToReal(double normalized) const override {
    const double span = static_cast<double>(mMaximum) - static_cast<double>(mMinimum);
    return Constrain(span * normalized + static_cast<double>(mMinimum));
  }

  double RealToNormalized(T real) const override {
    const double span = static_cast<double>(mMaximum) - static_cast<double>(mMinimum);
    if (span == 0.0) return 0.5;
    return (static_cast<double>(real) - static_cast<double>(mMinimum)) / span;
  }

 private:
  T Constrain(double value) const {
    if (std::isnan(value)) value = static_cast<double>(mMinimum);  // casting NaN is undefined
    if constexpr (std::is_integral_v<T>) value = std::floor(value + 0.5);
    const double low = std::min<double>(mMinimum, mMaximum);
    const double high = std::max<double>(mMinimum, mMaximum);
    return static_cast<T>(std::clamp(value, low, high));
  }

  T mMinimum;
  T mMaximum;
};

/** Two states: any normalized value above 0 is true; true is 1.0, false 0.0. */
template <typename T = bool>
class AAX_CBinaryTaperDelegate : public AAX_ITaperDelegate<T> {
 public:
  AAX_CBinaryTaperDelegate* Clone() const override { return new AAX_CBinaryTaperDelegate(*this); }
  T GetMinimumValue() const override { return static_cast<T>(false); }
  T GetMaximumValue() const override { return static_cast<T>(true); }
  T ConstrainRealValue(T value) const override { return static_cast<T>(value != T{}); }
  T NormalizedToReal(double normalized) const override { return static_cast<T>(normalized > 0.0); }
  double RealToNormalized(T real) const override { return real != T{} ? 1.0 : 0.0; }
};
