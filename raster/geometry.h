// The raster layer's geometry: integer, float and 16.16 fixed-point points, rectangles (right and
// bottom exclusive) and the conversions between them.
#pragma once

#include <cstdint>
#include <vector>

#include "base/numeric.h"

namespace sw {

using TFixed = int32_t;  // 16.16 fixed point

struct TPoint {
  int32_t X = 0, Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TFloatPoint {
  float X = 0, Y = 0;
  friend bool operator==(const TFloatPoint&, const TFloatPoint&) = default;
};

struct TFixedPoint {
  TFixed X = 0, Y = 0;
  friend bool operator==(const TFixedPoint&, const TFixedPoint&) = default;
};

// Integer rectangle, right and bottom exclusive.
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TFloatRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;
  friend bool operator==(const TFloatRect&, const TFloatRect&) = default;
};

using TArrayOfPoint = std::vector<TPoint>;
using TArrayOfArrayOfPoint = std::vector<TArrayOfPoint>;
using TArrayOfFixedPoint = std::vector<TFixedPoint>;
using TArrayOfArrayOfFixedPoint = std::vector<TArrayOfFixedPoint>;

inline TRect MakeRect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }
// Intersection; an empty result is returned as the zero rectangle.
inline TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
          a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
  if (r.IsEmpty()) return TRect{};
  return r;
}
inline TFloatRect FloatRect(const TRect& r) {
  return TFloatRect{static_cast<float>(r.Left), static_cast<float>(r.Top),
                    static_cast<float>(r.Right), static_cast<float>(r.Bottom)};
}

// Fixed-point conversions: float to fixed = round(x * 65536); fixed to integer = (v + 0x7FFF) >> 16.
inline TFixed FloatToFixed(double x) { return Round(x * 65536.0); }
inline int32_t FixedToInt(TFixed v) { return static_cast<int32_t>((static_cast<int64_t>(v) + 0x7FFF) >> 16); }
inline TFixedPoint FixedPoint(const TFloatPoint& p) { return {FloatToFixed(p.X), FloatToFixed(p.Y)}; }
inline TPoint RoundPoint(const TFloatPoint& p) { return {Round(p.X), Round(p.Y)}; }

}  // namespace sw
