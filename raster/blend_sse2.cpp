// SSE2 forms of the row functions. Each channel sits in a 16-bit lane, so the wrap-around of the
// reference arithmetic (intermediates modulo 65536, logical shifts) comes out the same.
#include "raster/blend.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace sw {
namespace {

inline __m128i Load(const TColor32* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(TColor32* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// (W * (X - Y) + (Y << 8) + 128) >> 8 on eight 16-bit lanes.
inline __m128i Combine16(__m128i x, __m128i y, __m128i w) {
  const __m128i bias = _mm_set1_epi16(128);
  __m128i t = _mm_mullo_epi16(_mm_sub_epi16(x, y), w);
  t = _mm_add_epi16(t, _mm_add_epi16(_mm_slli_epi16(y, 8), bias));
  return _mm_srli_epi16(t, 8);
}

// Copies the alpha lane of each pixel into its four lanes.
inline __m128i BroadcastAlpha16(__m128i v16) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v16, 0xFF), 0xFF);
}

// Spreads four 32-bit lane values (< 65536) over the 16-bit lanes of their pixels: the first
// result covers pixels 0 and 1, the second pixels 2 and 3.
inline __m128i SpreadLo(__m128i v32) {
  const __m128i t = _mm_unpacklo_epi32(v32, v32);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, 0), 0);
}
inline __m128i SpreadHi(__m128i v32) {
  const __m128i t = _mm_unpackhi_epi32(v32, v32);
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, 0), 0);
}

inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// floor(x / 255) for 0 <= x <= 65025 in 32-bit lanes.
inline __m128i Div255(__m128i x) {
  return _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(x, _mm_set1_epi32(1)), _mm_srli_epi32(x, 8)), 8);
}

// Merge of four pixels; fa32 is the foreground alpha to use (32-bit lanes), which replaces the
// alpha byte of f.
inline __m128i Merge4(__m128i f, __m128i b, __m128i fa32) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ba32 = _mm_srli_epi32(b, 24);
  // Ra = Fa + Ba - floor(Fa * Ba / 255); the product of two bytes fits the low 16-bit lane.
  const __m128i prod = _mm_mullo_epi16(fa32, ba32);
  const __m128i ra32 = _mm_sub_epi32(_mm_add_epi32(fa32, ba32), Div255(prod));
  // Q = floor(65535 / Ra): single-precision division is exact enough for every Ra in 1..510.
  const __m128i raSafe = _mm_or_si128(ra32, _mm_cmpeq_epi32(ra32, zero));  // 0 -> all ones
  const __m128 qf = _mm_div_ps(_mm_set1_ps(65535.0f), _mm_cvtepi32_ps(_mm_and_si128(raSafe, _mm_set1_epi32(0x3FF))));
  const __m128i q32 = _mm_cvttps_epi32(qf);

  // F with the alpha in use, so that its alpha lane can be broadcast like B's.
  const __m128i fUsed = _mm_or_si128(_mm_and_si128(f, _mm_set1_epi32(0x00FFFFFF)), _mm_slli_epi32(fa32, 24));
  __m128i result[2];
  for (int half = 0; half < 2; ++half) {
    const __m128i fc = half == 0 ? _mm_unpacklo_epi8(fUsed, zero) : _mm_unpackhi_epi8(fUsed, zero);
    const __m128i bc = half == 0 ? _mm_unpacklo_epi8(b, zero) : _mm_unpackhi_epi8(b, zero);
    const __m128i fa = BroadcastAlpha16(fc);
    const __m128i ba = BroadcastAlpha16(bc);
    const __m128i q = half == 0 ? SpreadLo(q32) : SpreadHi(q32);
    const __m128i bp = _mm_srli_epi16(_mm_mullo_epi16(bc, ba), 8);
    const __m128i fp = _mm_srli_epi16(_mm_mullo_epi16(fc, fa), 8);
    __m128i t = _mm_add_epi16(bp, fp);  // at most 508, never saturates
    t = _mm_subs_epu16(t, _mm_srli_epi16(_mm_mullo_epi16(fa, bp), 8));
    result[half] = _mm_srli_epi16(_mm_mullo_epi16(t, q), 8);
  }
  __m128i r = _mm_packus_epi16(result[0], result[1]);
  r = _mm_or_si128(_mm_and_si128(r, _mm_set1_epi32(0x00FFFFFF)), _mm_slli_epi32(ra32, 24));
  // Fa = 0 keeps B; Ba = 0 or Fa = 255 gives F (with its alpha as used).
  const __m128i useF = _mm_or_si128(_mm_cmpeq_epi32(ba32, zero), _mm_cmpeq_epi32(fa32, _mm_set1_epi32(255)));
  r = Select(useF, fUsed, r);
  return Select(_mm_cmpeq_epi32(fa32, zero), b, r);
}

}  // namespace

void BlendLineSse2(const TColor32* src, TColor32* dst, int32_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i f = Load(src + i);
    const __m128i fa = _mm_and_si128(f, opaque);
    const int transparent = _mm_movemask_epi8(_mm_cmpeq_epi32(fa, zero));
    if (transparent == 0xFFFF) continue;
    const __m128i isOpaque = _mm_cmpeq_epi32(fa, opaque);
    if (_mm_movemask_epi8(isOpaque) == 0xFFFF) {
      Store(dst + i, f);
      continue;
    }
    const __m128i b = Load(dst + i);
    const __m128i flo = _mm_unpacklo_epi8(f, zero), fhi = _mm_unpackhi_epi8(f, zero);
    const __m128i lo = Combine16(flo, _mm_unpacklo_epi8(b, zero), BroadcastAlpha16(flo));
    const __m128i hi = Combine16(fhi, _mm_unpackhi_epi8(b, zero), BroadcastAlpha16(fhi));
    Store(dst + i, Select(isOpaque, f, _mm_packus_epi16(lo, hi)));
  }
  BlendLineScalar(src + i, dst + i, count - i);
}

void BlendLineExSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  if (m > 255) m = 255;
  const __m128i zero = _mm_setzero_si128();
  const __m128i m1 = _mm_set1_epi16(static_cast<short>(m + 1));
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i f = Load(src + i);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(f, 24), zero)) == 0xFFFF) continue;
    const __m128i b = Load(dst + i);
    const __m128i flo = _mm_unpacklo_epi8(f, zero), fhi = _mm_unpackhi_epi8(f, zero);
    const __m128i wlo = _mm_srli_epi16(_mm_mullo_epi16(BroadcastAlpha16(flo), m1), 8);
    const __m128i whi = _mm_srli_epi16(_mm_mullo_epi16(BroadcastAlpha16(fhi), m1), 8);
    const __m128i lo = Combine16(flo, _mm_unpacklo_epi8(b, zero), wlo);
    const __m128i hi = Combine16(fhi, _mm_unpackhi_epi8(b, zero), whi);
    Store(dst + i, _mm_packus_epi16(lo, hi));
  }
  BlendLineExScalar(src + i, dst + i, count - i, m);
}

void MergeLineSse2(const TColor32* src, TColor32* dst, int32_t count) {
  const __m128i zero = _mm_setzero_si128();
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i f = Load(src + i);
    const __m128i fa32 = _mm_srli_epi32(f, 24);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(fa32, zero)) == 0xFFFF) continue;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(fa32, _mm_set1_epi32(255))) == 0xFFFF) {
      Store(dst + i, f);
      continue;
    }
    Store(dst + i, Merge4(f, Load(dst + i), fa32));
  }
  MergeLineScalar(src + i, dst + i, count - i);
}

void MergeLineExSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  if (m > 255) m = 255;
  const __m128i zero = _mm_setzero_si128();
  const __m128i mv = _mm_set1_epi32(static_cast<int>(m));
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i f = Load(src + i);
    const __m128i fa32 = Div255(_mm_mullo_epi16(_mm_srli_epi32(f, 24), mv));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(fa32, zero)) == 0xFFFF) continue;
    Store(dst + i, Merge4(f, Load(dst + i), fa32));
  }
  MergeLineExScalar(src + i, dst + i, count - i, m);
}

void CombineLineSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t w) {
  if (w > 256) w = 256;
  const __m128i zero = _mm_setzero_si128();
  const __m128i wv = _mm_set1_epi16(static_cast<short>(w));
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i f = Load(src + i), b = Load(dst + i);
    const __m128i lo = Combine16(_mm_unpacklo_epi8(f, zero), _mm_unpacklo_epi8(b, zero), wv);
    const __m128i hi = Combine16(_mm_unpackhi_epi8(f, zero), _mm_unpackhi_epi8(b, zero), wv);
    Store(dst + i, _mm_packus_epi16(lo, hi));
  }
  CombineLineScalar(src + i, dst + i, count - i, w);
}

}  // namespace sw
#endif
