// 32-bit colours (alpha in the top byte, not premultiplied), the basic value types of the raster
// layer, and the scalar pixel arithmetic that every fast path must reproduce bit for bit.
#pragma once

#include <cstdint>
#include <vector>

#include "base/exception.h"
#include "base/numeric.h"

namespace sw {

using TColor32 = uint32_t;
using TFixed = int32_t;  // 16.16 fixed point

enum TDrawMode { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };
enum TCombineMode { cmBlend = 0, cmMerge = 1 };
enum TStretchFilter {
  sfNearest = 0, sfDraft = 1, sfLinear = 2, sfCosine = 3, sfSpline = 4, sfLanczos = 5, sfMitchell = 6
};

constexpr TColor32 clBlack32 = 0xFF000000u;
constexpr TColor32 clWhite32 = 0xFFFFFFFFu;

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

using TArrayOfColor32 = std::vector<TColor32>;
using TArrayOfPoint = std::vector<TPoint>;
using TArrayOfArrayOfPoint = std::vector<TArrayOfPoint>;
using TArrayOfFixedPoint = std::vector<TFixedPoint>;
using TArrayOfArrayOfFixedPoint = std::vector<TArrayOfFixedPoint>;
using TArrayOfInteger = std::vector<int32_t>;
using TArrayOfArrayOfInteger = std::vector<TArrayOfInteger>;

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

// Raised by the transfer operations ("Destination bitmap is nil or empty" and the like).
class ETransformError : public Exception {
public:
  using Exception::Exception;
};
[[noreturn]] void RaiseTransformError(const std::string& message);

inline uint32_t AlphaOf(TColor32 c) { return c >> 24; }
inline uint32_t RedOf(TColor32 c) { return (c >> 16) & 0xFF; }
inline uint32_t GreenOf(TColor32 c) { return (c >> 8) & 0xFF; }
inline uint32_t BlueOf(TColor32 c) { return c & 0xFF; }
inline TColor32 Color32(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}
// Keeps the RGB bits and sets alpha to a, clamped to 0..255.
inline TColor32 SetAlpha(TColor32 c, int32_t a) {
  if (a < 0) a = 0;
  if (a > 255) a = 255;
  return (c & 0x00FFFFFFu) | (static_cast<uint32_t>(a) << 24);
}

// Resolves a window-system colour (0x00BBGGRR, or a negative system-colour reference whose low
// byte indexes the system colour table) to an opaque TColor32.
TColor32 ColorFromSystem(int32_t systemColor);

// ---- reference pixel arithmetic (the 16-bit lane path) ----

// Per channel: (W * (X - Y) + 256 * Y + 128) >> 8, modulo 65536, logical shift. W in 0..256
// (256 gives X); larger weights are clamped to 256.
inline TColor32 CombineReg(TColor32 x, TColor32 y, uint32_t w) {
  if (w > 256) w = 256;
  TColor32 result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t xc = (x >> shift) & 0xFF;
    const uint32_t yc = (y >> shift) & 0xFF;
    const uint32_t v = ((w * (xc - yc) + 256u * yc + 128u) & 0xFFFFu) >> 8;
    result |= (v > 255 ? 255u : v) << shift;
  }
  return result;
}

// Blend family, F over B with F's alpha.
inline TColor32 BlendReg(TColor32 f, TColor32 b) { return CombineReg(f, b, AlphaOf(f)); }
inline TColor32 BlendMem(TColor32 f, TColor32 b) {
  const uint32_t fa = AlphaOf(f);
  if (fa == 0) return b;
  if (fa == 255) return f;
  return CombineReg(f, b, fa);
}
// Register form with master alpha: combine with W = ((M + 1) * Fa) >> 8.
inline TColor32 BlendRegEx(TColor32 f, TColor32 b, uint32_t m) {
  if (m > 255) m = 255;
  return CombineReg(f, b, ((m + 1) * AlphaOf(f)) >> 8);
}
inline TColor32 BlendMemEx(TColor32 f, TColor32 b, uint32_t m) {
  if (m > 255) m = 255;
  const uint32_t w = ((m + 1) * AlphaOf(f)) >> 8;
  if (w == 0) return b;
  return CombineReg(f, b, w);
}

// Merge family, F over a B that may itself be translucent.
inline TColor32 MergeReg(TColor32 f, TColor32 b) {
  const uint32_t fa = AlphaOf(f);
  if (fa == 0) return b;
  const uint32_t ba = AlphaOf(b);
  if (ba == 0 || fa == 255) return f;
  const uint32_t ra = fa + ba - (fa * ba) / 255;
  const uint32_t q = 65535u / ra;
  TColor32 result = ra << 24;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t bc = (b >> shift) & 0xFF;
    const uint32_t fc = (f >> shift) & 0xFF;
    const uint32_t bp = (bc * ba) >> 8;
    const uint32_t fp = (fc * fa) >> 8;
    int32_t t = static_cast<int32_t>(bp + fp);
    if (t > 65535) t = 65535;
    t -= static_cast<int32_t>((fa * bp) >> 8);
    if (t < 0) t = 0;
    uint32_t rc = ((static_cast<uint32_t>(t) * q) & 0xFFFFu) >> 8;
    if (rc > 255) rc = 255;
    result |= rc << shift;
  }
  return result;
}
inline TColor32 MergeMem(TColor32 f, TColor32 b) { return MergeReg(f, b); }
inline TColor32 MergeMemEx(TColor32 f, TColor32 b, uint32_t m) {
  if (m > 255) m = 255;
  return MergeReg(SetAlpha(f, static_cast<int32_t>((AlphaOf(f) * m) / 255)), b);
}
inline TColor32 MergeRegEx(TColor32 f, TColor32 b, uint32_t m) { return MergeMemEx(f, b, m); }
// Combine asked for on a cmMerge bitmap: merge X (alpha replaced by W) over Y.
inline TColor32 CombineMerge(TColor32 x, TColor32 y, uint32_t w) {
  return MergeReg(SetAlpha(x, static_cast<int32_t>(w)), y);
}
// Combine in the family of a combine mode.
inline TColor32 CombineOf(TCombineMode mode, TColor32 x, TColor32 y, uint32_t w) {
  return mode == cmMerge ? CombineMerge(x, y, w) : CombineReg(x, y, w);
}
// Single-pixel memory forms of a combine mode.
inline TColor32 BlendMemOf(TCombineMode mode, TColor32 f, TColor32 b) {
  return mode == cmMerge ? MergeMem(f, b) : BlendMem(f, b);
}
inline TColor32 BlendMemExOf(TCombineMode mode, TColor32 f, TColor32 b, uint32_t m) {
  return mode == cmMerge ? MergeMemEx(f, b, m) : BlendMemEx(f, b, m);
}

}  // namespace sw
