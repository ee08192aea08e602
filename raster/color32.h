// 32-bit colours (alpha in the top byte, not premultiplied), the raster layer's modes, and the
// scalar pixel arithmetic that every fast path must reproduce bit for bit. Points and rectangles
// are in raster/geometry.h.
#pragma once

#include <cstdint>
#include <vector>

#include "base/exception.h"

namespace sw {

using TColor32 = uint32_t;

enum TDrawMode { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };
enum TCombineMode { cmBlend = 0, cmMerge = 1 };
enum TStretchFilter {
  sfNearest = 0, sfDraft = 1, sfLinear = 2, sfCosine = 3, sfSpline = 4, sfLanczos = 5, sfMitchell = 6
};

constexpr TColor32 clBlack32 = 0xFF000000u;
constexpr TColor32 clWhite32 = 0xFFFFFFFFu;

using TArrayOfColor32 = std::vector<TColor32>;
using TArrayOfInteger = std::vector<int32_t>;
using TArrayOfArrayOfInteger = std::vector<TArrayOfInteger>;

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

// Colours come in three byte orders, one type each: TColor32, a pixel in memory (0xAARRGGBB);
// TdtpColor, a colour as shapes, pages, files and the window system hold it; TRgbColor, a colour
// as people write it and the dialogs show it. A number converts to either of the last two, which
// keeps colour literals short; neither converts to a number or to the other without saying so.

// 0x00BBGGRR (red in the low byte), or below zero a reference to a system colour whose low byte
// indexes the system colour table.
struct TdtpColor {
  int32_t Value = 0;
  constexpr TdtpColor(int32_t value = 0) : Value(value) {}
  friend constexpr bool operator==(const TdtpColor&, const TdtpColor&) = default;
};

// 0x00RRGGBB.
struct TRgbColor {
  int32_t Value = 0;
  constexpr TRgbColor(int32_t value = 0) : Value(value) {}
  friend constexpr bool operator==(const TRgbColor&, const TRgbColor&) = default;
};

// Resolves a colour (a system-colour reference to the table's colour) to an opaque TColor32.
TColor32 ColorFromSystem(TdtpColor color);
// The colour in the other order; a system-colour reference is resolved first.
TRgbColor RgbOf(TdtpColor color);
TdtpColor ColorOf(TRgbColor rgb);

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
