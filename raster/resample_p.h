// Inner row loops of the stretched transfers, in a plain form and an SSE2 form that must give
// the same results bit for bit.
#pragma once

#include <cstdint>

#include "raster/resample.h"

namespace sw {

// vsum[4 x + c] = sum over taps k of weights[k] * channel c of rows[k][x], for x in [0, count).
void ResampleVerticalScalar(const TColor32* const* rows, const int32_t* weights, int32_t taps, int32_t count,
                            int32_t* vsum);
// The vector form stores each sum split as hi = sum >> 8 and lo = sum & 255 (16 bits each), so
// that the horizontal pass can take two taps per 16-bit multiply-add.
void ResampleVerticalSse2(const TColor32* const* rows, const int32_t* weights, int32_t taps, int32_t count,
                          int16_t* hi, int16_t* lo);
// out[i] = per channel clamp(sum of w * vsum[4 (index - base) + c], 0, 255 << 16) >> 16 over the
// entries of coordinate i (entries[starts[i]] up to starts[i + 1]).
void ResampleHorizontalScalar(const int32_t* vsum, int32_t base, const TWeightEntry* entries, const int32_t* starts,
                              int32_t count, TColor32* out);
void ResampleHorizontalSse2(const int16_t* hi, const int16_t* lo, int32_t base, const TWeightEntry* entries,
                            const int32_t* starts, int32_t count, TColor32* out);
// The horizontal taps taken two at a time: offsets of the two source pixels into the split sums
// and their weights packed as 16-bit halves (low: first); an odd tap is paired with weight 0.
struct TTapPair {
  int32_t OffsetA, OffsetB, Weights;
};
void PrepareTapPairs(int32_t base, const TWeightEntry* entries, const int32_t* starts, int32_t count,
                     std::vector<TTapPair>& pairs, std::vector<int32_t>& pairStarts);
void ResampleHorizontalPairsSse2(const int16_t* hi, const int16_t* lo, const TTapPair* pairs, const int32_t* pairStarts,
                                 int32_t count, TColor32* out);
// out[i] = CombineReg(src[xs[i]], src[xs[i] + 1], ws[i]).
void LinearHorizontalScalar(const TColor32* src, const int32_t* xs, const uint32_t* ws, int32_t count, TColor32* out);
void LinearHorizontalSse2(const TColor32* src, const int32_t* xs, const uint32_t* ws, int32_t count, TColor32* out);
// out[i] = CombineReg(a[i], b[i], w).
void CombineRowsScalar(const TColor32* a, const TColor32* b, TColor32* out, int32_t count, uint32_t w);
void CombineRowsSse2(const TColor32* a, const TColor32* b, TColor32* out, int32_t count, uint32_t w);

// The box averages of sourceRect spread over targetRect, stored into area of the target; area
// lies inside the target and targetRect, sourceRect inside the source (BoxReduce checks both).
void StoreBoxAverages(TBitmap32& target, const TRect& area, const TRect& targetRect, const TBitmap32& source,
                      const TRect& sourceRect);

}  // namespace sw
