// Row forms of the combine, blend and merge families. Each row function gives exactly the result
// of the scalar reference in color32.h applied pixel by pixel; the vector versions are chosen at
// start when the processor has them.
#pragma once

#include <cstdint>

#include "raster/color32.h"

namespace sw {

// dst[i] = BlendMem(src[i], dst[i]): pixels with alpha 0 are skipped, alpha 255 copied.
void BlendLine(const TColor32* src, TColor32* dst, int32_t count);
// dst[i] = BlendMemEx(src[i], dst[i], m).
void BlendLineEx(const TColor32* src, TColor32* dst, int32_t count, uint32_t m);
// dst[i] = MergeMem(src[i], dst[i]).
void MergeLine(const TColor32* src, TColor32* dst, int32_t count);
// dst[i] = MergeMemEx(src[i], dst[i], m).
void MergeLineEx(const TColor32* src, TColor32* dst, int32_t count, uint32_t m);
// dst[i] = CombineReg(src[i], dst[i], w), w in 0..256.
void CombineLine(const TColor32* src, TColor32* dst, int32_t count, uint32_t w);

using TBlendLine = void (*)(const TColor32* src, TColor32* dst, int32_t count);
using TBlendLineEx = void (*)(const TColor32* src, TColor32* dst, int32_t count, uint32_t m);

// The row functions of a combine mode (cmBlend: BlendLine*, cmMerge: MergeLine*).
inline TBlendLine BlendLineOf(TCombineMode mode) { return mode == cmMerge ? MergeLine : BlendLine; }
inline TBlendLineEx BlendLineExOf(TCombineMode mode) { return mode == cmMerge ? MergeLineEx : BlendLineEx; }

// Plain scalar row forms, the reference the vector versions are checked against.
void BlendLineScalar(const TColor32* src, TColor32* dst, int32_t count);
void BlendLineExScalar(const TColor32* src, TColor32* dst, int32_t count, uint32_t m);
void MergeLineScalar(const TColor32* src, TColor32* dst, int32_t count);
void MergeLineExScalar(const TColor32* src, TColor32* dst, int32_t count, uint32_t m);
void CombineLineScalar(const TColor32* src, TColor32* dst, int32_t count, uint32_t w);

// 16-bit-lane vector forms; available only where HasSse2Blend() is true.
bool HasSse2Blend();
void BlendLineSse2(const TColor32* src, TColor32* dst, int32_t count);
void BlendLineExSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t m);
void MergeLineSse2(const TColor32* src, TColor32* dst, int32_t count);
void MergeLineExSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t m);
void CombineLineSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t w);

}  // namespace sw
