#include "raster/blend.h"

namespace sw {

void BlendLineScalar(const TColor32* src, TColor32* dst, int32_t count) {
  for (int32_t i = 0; i < count; ++i) dst[i] = BlendMem(src[i], dst[i]);
}

void BlendLineExScalar(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  for (int32_t i = 0; i < count; ++i) dst[i] = BlendMemEx(src[i], dst[i], m);
}

void MergeLineScalar(const TColor32* src, TColor32* dst, int32_t count) {
  for (int32_t i = 0; i < count; ++i) dst[i] = MergeMem(src[i], dst[i]);
}

void MergeLineExScalar(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  for (int32_t i = 0; i < count; ++i) dst[i] = MergeMemEx(src[i], dst[i], m);
}

void CombineLineScalar(const TColor32* src, TColor32* dst, int32_t count, uint32_t w) {
  for (int32_t i = 0; i < count; ++i) dst[i] = CombineReg(src[i], dst[i], w);
}

#if defined(__SSE2__)
bool HasSse2Blend() { return true; }
#else
// Without SSE2 the fast forms are the scalar ones, so callers and tests need no second path.
bool HasSse2Blend() { return false; }
void BlendLineSse2(const TColor32* src, TColor32* dst, int32_t count) { BlendLineScalar(src, dst, count); }
void BlendLineExSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  BlendLineExScalar(src, dst, count, m);
}
void MergeLineSse2(const TColor32* src, TColor32* dst, int32_t count) { MergeLineScalar(src, dst, count); }
void MergeLineExSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  MergeLineExScalar(src, dst, count, m);
}
void CombineLineSse2(const TColor32* src, TColor32* dst, int32_t count, uint32_t w) {
  CombineLineScalar(src, dst, count, w);
}
#endif

void BlendLine(const TColor32* src, TColor32* dst, int32_t count) { BlendLineSse2(src, dst, count); }
void BlendLineEx(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  BlendLineExSse2(src, dst, count, m);
}
void MergeLine(const TColor32* src, TColor32* dst, int32_t count) { MergeLineSse2(src, dst, count); }
void MergeLineEx(const TColor32* src, TColor32* dst, int32_t count, uint32_t m) {
  MergeLineExSse2(src, dst, count, m);
}
void CombineLine(const TColor32* src, TColor32* dst, int32_t count, uint32_t w) {
  CombineLineSse2(src, dst, count, w);
}

}  // namespace sw
