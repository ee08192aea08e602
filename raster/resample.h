// Stretched transfers between bitmaps: block copies, nearest neighbour, box averaging, the linear
// enlargement and the separable two-pass resampler with the seven kernels.
#pragma once

#include "raster/bitmap32.h"

namespace sw {

// The one general copy operation. Does nothing for an empty source, an empty source rectangle
// or an empty clipped target area; raises ETransformError "Destination bitmap is nil or empty",
// "Source bitmap is nil or empty" or "Source rectangle is invalid" (sourceRect not inside the
// source). dmBlend uses the source's CombineMode and MasterAlpha; dmCustom without a callback
// copies.
void TransferStretched(TBitmap32* target, const TRect& targetRect, const TRect& targetClip,
                       const TBitmap32* source, const TRect& sourceRect, TStretchFilter filter,
                       TDrawMode drawMode, const TPixelCombineEvent& callback = nullptr);

// Box-average reduction for opaque sfLinear reductions, otherwise TransferStretched clipped to
// the target's bounds.
void StretchAuto(TBitmap32* target, const TRect& targetRect, const TBitmap32* source,
                 const TRect& sourceRect, TStretchFilter filter, TDrawMode drawMode,
                 const TPixelCombineEvent& callback = nullptr);

// The kernel of a filter at distance x (in source pixels) and its support radius.
double FilterKernel(TStretchFilter filter, double x);
double FilterWidth(TStretchFilter filter);

// One target coordinate's resampling weights: source indexes with weights in 1/256 that sum
// to exactly 256.
struct TWeightEntry {
  int32_t Index;
  int32_t Weight;
};
// Weights of target coordinates [from, to) of a dstSize-long target edge over the source span
// [srcLo, srcHi); entries of coordinate k are entries[starts[k - from]] up to starts[k - from + 1].
void BuildResampleWeights(TStretchFilter filter, int32_t srcLo, int32_t srcHi, int64_t dstSize, int64_t from,
                          int64_t to, std::vector<TWeightEntry>& entries, std::vector<int32_t>& starts);

}  // namespace sw
