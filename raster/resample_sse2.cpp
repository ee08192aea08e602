// SSE2 forms of the resampling row loops. Channel weights are 16-bit, so the vertical pass takes
// two taps per multiply-add; the horizontal pass multiplies 32-bit sums, of which only the low
// 32 bits matter, with two unsigned 32 x 32 products.
#include "raster/resample_p.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <vector>

namespace sw {

namespace {

// Stores four 32-bit sums as their high part (>> 8) and low byte, 16 bits each.
inline void StoreSplit(__m128i acc, int16_t* hi, int16_t* lo) {
  const __m128i h = _mm_srai_epi32(acc, 8);
  const __m128i l = _mm_and_si128(acc, _mm_set1_epi32(255));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(hi), _mm_packs_epi32(h, h));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(lo), _mm_packs_epi32(l, l));
}

// The same for two pixels' sums at once.
inline void StoreSplit2(__m128i a, __m128i b, int16_t* hi, int16_t* lo) {
  const __m128i mask = _mm_set1_epi32(255);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(hi), _mm_packs_epi32(_mm_srai_epi32(a, 8), _mm_srai_epi32(b, 8)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lo), _mm_packs_epi32(_mm_and_si128(a, mask), _mm_and_si128(b, mask)));
}

inline __m128i Load4x16(const int16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }

}  // namespace

void ResampleVerticalSse2(const TColor32* const* rows, const int32_t* weights, int32_t taps, int32_t count,
                          int16_t* hi, int16_t* lo) {
  const __m128i zero = _mm_setzero_si128();
  const int32_t pairs = (taps + 1) / 2;
  // Weights packed in pairs, 16 bits each.
  int32_t local[32];
  std::vector<int32_t> heap;
  int32_t* packed = local;
  if (pairs > 32) {
    heap.resize(static_cast<size_t>(pairs));
    packed = heap.data();
  }
  for (int32_t k = 0; k < pairs; ++k) {
    const uint32_t w0 = static_cast<uint32_t>(weights[2 * k]) & 0xFFFF;
    const uint32_t w1 = 2 * k + 1 < taps ? static_cast<uint32_t>(weights[2 * k + 1]) : 0;
    packed[k] = static_cast<int32_t>((w1 << 16) | w0);
  }
  const bool odd = (taps & 1) != 0;
  int32_t x = 0;
  for (; x + 4 <= count; x += 4) {
    __m128i acc0 = zero, acc1 = zero, acc2 = zero, acc3 = zero;
    for (int32_t k = 0; k < pairs; ++k) {
      const __m128i wk = _mm_set1_epi32(packed[k]);
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * k] + x));
      const __m128i b = odd && k + 1 == pairs ? zero : _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * k + 1] + x));
      const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
      const __m128i blo = _mm_unpacklo_epi8(b, zero), bhi = _mm_unpackhi_epi8(b, zero);
      acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), wk));
      acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), wk));
      acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), wk));
      acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), wk));
    }
    StoreSplit2(acc0, acc1, hi + 4 * x, lo + 4 * x);
    StoreSplit2(acc2, acc3, hi + 4 * x + 8, lo + 4 * x + 8);
  }
  for (; x < count; ++x) {
    int32_t acc[4] = {0, 0, 0, 0};
    for (int32_t k = 0; k < taps; ++k) {
      const TColor32 c = rows[k][x];
      for (int ch = 0; ch < 4; ++ch) acc[ch] += weights[k] * static_cast<int32_t>((c >> (8 * ch)) & 0xFF);
    }
    StoreSplit(_mm_setr_epi32(acc[0], acc[1], acc[2], acc[3]), hi + 4 * x, lo + 4 * x);
  }
}

void ResampleHorizontalPairsSse2(const int16_t* hi, const int16_t* lo, const TTapPair* pairs, const int32_t* pairStarts,
                                 int32_t count, TColor32* out) {
  const __m128i zero = _mm_setzero_si128();
  for (int32_t i = 0; i < count; ++i) {
    __m128i accH = zero, accL = zero;
    for (int32_t k = pairStarts[i]; k < pairStarts[i + 1]; ++k) {
      const TTapPair& t = pairs[k];
      const __m128i w = _mm_set1_epi32(t.Weights);
      accH = _mm_add_epi32(accH, _mm_madd_epi16(_mm_unpacklo_epi16(Load4x16(hi + t.OffsetA), Load4x16(hi + t.OffsetB)), w));
      accL = _mm_add_epi32(accL, _mm_madd_epi16(_mm_unpacklo_epi16(Load4x16(lo + t.OffsetA), Load4x16(lo + t.OffsetB)), w));
    }
    // sum = 256 * sum(w * hi) + sum(w * lo), exactly the 32-bit sum of w * vsum. Clamping the
    // sum to 0..255 << 16 and shifting equals shifting and letting the two packs saturate.
    __m128i acc = _mm_srai_epi32(_mm_add_epi32(_mm_slli_epi32(accH, 8), accL), 16);
    acc = _mm_packs_epi32(acc, acc);
    out[i] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(acc, acc)));
  }
}

void ResampleHorizontalSse2(const int16_t* hi, const int16_t* lo, int32_t base, const TWeightEntry* entries,
                            const int32_t* starts, int32_t count, TColor32* out) {
  std::vector<TTapPair> pairs;
  std::vector<int32_t> pairStarts;
  PrepareTapPairs(base, entries, starts, count, pairs, pairStarts);
  ResampleHorizontalPairsSse2(hi, lo, pairs.data(), pairStarts.data(), count, out);
}

namespace {

inline __m128i Combine16(__m128i x, __m128i y, __m128i w) {
  __m128i t = _mm_mullo_epi16(_mm_sub_epi16(x, y), w);
  t = _mm_add_epi16(t, _mm_add_epi16(_mm_slli_epi16(y, 8), _mm_set1_epi16(128)));
  return _mm_srli_epi16(t, 8);
}

inline __m128i PairWeights(uint32_t w0, uint32_t w1) {
  return _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(w0)), _mm_set1_epi16(static_cast<short>(w1)));
}

}  // namespace

void LinearHorizontalSse2(const TColor32* src, const int32_t* xs, const uint32_t* ws, int32_t count, TColor32* out) {
  const __m128i zero = _mm_setzero_si128();
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128i half[2];
    for (int h = 0; h < 2; ++h) {
      const int32_t a = i + 2 * h;
      const __m128i p = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + xs[a]));
      const __m128i q = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + xs[a + 1]));
      // [left a, left a+1, right a, right a+1]
      const __m128i v = _mm_unpacklo_epi32(p, q);
      half[h] = Combine16(_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero), PairWeights(ws[a], ws[a + 1]));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(half[0], half[1]));
  }
  LinearHorizontalScalar(src, xs + i, ws + i, count - i, out + i);
}

void CombineRowsSse2(const TColor32* a, const TColor32* b, TColor32* out, int32_t count, uint32_t w) {
  if (w > 256) w = 256;
  const __m128i zero = _mm_setzero_si128();
  const __m128i wv = _mm_set1_epi16(static_cast<short>(w));
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const __m128i lo = Combine16(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero), wv);
    const __m128i hi = Combine16(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero), wv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
  }
  CombineRowsScalar(a + i, b + i, out + i, count - i, w);
}

}  // namespace sw

#else

#include <vector>

namespace sw {
void ResampleVerticalSse2(const TColor32* const* rows, const int32_t* weights, int32_t taps, int32_t count,
                          int16_t* hi, int16_t* lo) {
  std::vector<int32_t> vsum(static_cast<size_t>(count) * 4);
  ResampleVerticalScalar(rows, weights, taps, count, vsum.data());
  for (size_t i = 0; i < vsum.size(); ++i) {
    hi[i] = static_cast<int16_t>(vsum[i] >> 8);
    lo[i] = static_cast<int16_t>(vsum[i] & 255);
  }
}
void ResampleHorizontalSse2(const int16_t* hi, const int16_t* lo, int32_t base, const TWeightEntry* entries,
                            const int32_t* starts, int32_t count, TColor32* out) {
  int32_t span = 0;
  for (int32_t k = starts[0]; k < starts[count]; ++k) span = entries[k].Index - base + 1 > span ? entries[k].Index - base + 1 : span;
  std::vector<int32_t> vsum(static_cast<size_t>(span) * 4);
  for (size_t i = 0; i < vsum.size(); ++i) vsum[i] = hi[i] * 256 + lo[i];
  ResampleHorizontalScalar(vsum.data(), base, entries, starts, count, out);
}
void ResampleHorizontalPairsSse2(const int16_t* hi, const int16_t* lo, const TTapPair* pairs, const int32_t* pairStarts,
                                 int32_t count, TColor32* out) {
  for (int32_t i = 0; i < count; ++i) {
    int32_t acc[4] = {0, 0, 0, 0};
    for (int32_t k = pairStarts[i]; k < pairStarts[i + 1]; ++k) {
      const TTapPair& t = pairs[k];
      const int32_t w0 = static_cast<int16_t>(t.Weights & 0xFFFF), w1 = static_cast<int16_t>(t.Weights >> 16);
      for (int ch = 0; ch < 4; ++ch) {
        acc[ch] += w0 * (hi[t.OffsetA + ch] * 256 + lo[t.OffsetA + ch]) + w1 * (hi[t.OffsetB + ch] * 256 + lo[t.OffsetB + ch]);
      }
    }
    TColor32 c = 0;
    for (int ch = 0; ch < 4; ++ch) {
      const int32_t v = acc[ch] < 0 ? 0 : (acc[ch] > (255 << 16) ? (255 << 16) : acc[ch]);
      c |= static_cast<TColor32>(v >> 16) << (8 * ch);
    }
    out[i] = c;
  }
}
void LinearHorizontalSse2(const TColor32* src, const int32_t* xs, const uint32_t* ws, int32_t count, TColor32* out) {
  LinearHorizontalScalar(src, xs, ws, count, out);
}
void CombineRowsSse2(const TColor32* a, const TColor32* b, TColor32* out, int32_t count, uint32_t w) {
  CombineRowsScalar(a, b, out, count, w);
}
}  // namespace sw

#endif
