// The two integer conversions used everywhere: Round (to nearest, halves to the even neighbour)
// and Div (whole-number division truncating toward zero).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "base/exception.h"

namespace sw {

// Millimetres in an inch: dots per inch / kMmPerInch = dots per millimetre. The float is the
// same number for float arithmetic (what 25.4f would be).
constexpr double kMmPerInch = 25.4;
constexpr float kMmPerInchF = static_cast<float>(kMmPerInch);
// Dots per millimetre of dots per inch, and back.
constexpr double DpmOfDpi(double dpi) { return dpi / kMmPerInch; }
constexpr double DpiOfDpm(double dpm) { return dpm * kMmPerInch; }
// Millimetres of typographic points (72 to the inch), and back.
constexpr double MmOfPoints(double points) { return points * kMmPerInch / 72.0; }
constexpr double PointsOfMm(double mm) { return mm * 72.0 / kMmPerInch; }

// Rounds to the nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// NaN gives 0; values beyond the range of int32 saturate.
inline int32_t Round(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  const double f = std::floor(x);
  const double diff = x - f;
  if (diff < 0.5) return static_cast<int32_t>(f);
  if (diff > 0.5) return static_cast<int32_t>(f + 1.0);
  return static_cast<int32_t>(std::fmod(f, 2.0) == 0.0 ? f : f + 1.0);
}

// Round for 64-bit results; NaN gives 0; saturates at the int64 range.
inline int64_t Round64(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 9.2233720368547748e18) return std::numeric_limits<int64_t>::max();
  if (x <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
  const double f = std::floor(x);
  const double diff = x - f;
  double r;
  if (diff < 0.5) {
    r = f;
  } else if (diff > 0.5) {
    r = f + 1.0;
  } else {
    r = (std::fmod(f, 2.0) == 0.0) ? f : f + 1.0;
  }
  return static_cast<int64_t>(r);
}

// Truncating whole-number division; a zero divisor raises "Division by zero".
template <typename T>
inline T Div(T a, T b) {
  static_assert(std::is_integral_v<T>);
  if (b == 0) RaiseError("Division by zero");
  if constexpr (std::is_signed_v<T>) {
    if (a == std::numeric_limits<T>::min() && b == -1) return std::numeric_limits<T>::max();
  }
  return static_cast<T>(a / b);
}

// Remainder matching Div: the sign follows the dividend.
template <typename T>
inline T Mod(T a, T b) {
  static_assert(std::is_integral_v<T>);
  if (b == 0) RaiseError("Division by zero");
  if constexpr (std::is_signed_v<T>) {
    if (b == -1) return 0;
  }
  return static_cast<T>(a % b);
}

}  // namespace sw
