// Row functions against the scalar per-pixel reference, over random data for every mode.
#include "raster/blend.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "raster/geometry.h"

namespace sw {
namespace {

// Random pixels with the alpha values that take the shortcut paths (0 and 255) well represented,
// and runs of equal alpha so whole vector blocks take them too.
std::vector<TColor32> RandomPixels(std::mt19937& rng, size_t n) {
  std::vector<TColor32> v(n);
  std::uniform_int_distribution<uint32_t> any;
  std::uniform_int_distribution<int> kind(0, 5);
  for (size_t i = 0; i < n;) {
    const int k = kind(rng);
    const size_t run = 1 + rng() % 9;
    for (size_t j = 0; j < run && i < n; ++j, ++i) {
      TColor32 c = any(rng);
      if (k == 0) c &= 0x00FFFFFFu;
      if (k == 1) c |= 0xFF000000u;
      if (k == 2) c = (c & 0x00FFFFFFu) | ((1u + rng() % 3) << 24);
      v[i] = c;
    }
  }
  return v;
}

struct TRowCase {
  const char* name;
  void (*fast)(const TColor32*, TColor32*, int32_t, uint32_t);
  TColor32 (*ref)(TColor32, TColor32, uint32_t);
};

void BlendFast(const TColor32* s, TColor32* d, int32_t n, uint32_t) { BlendLineSse2(s, d, n); }
void MergeFast(const TColor32* s, TColor32* d, int32_t n, uint32_t) { MergeLineSse2(s, d, n); }
TColor32 BlendRef(TColor32 f, TColor32 b, uint32_t) { return BlendMem(f, b); }
TColor32 MergeRef(TColor32 f, TColor32 b, uint32_t) { return MergeMem(f, b); }
TColor32 CombineRef(TColor32 f, TColor32 b, uint32_t w) { return CombineReg(f, b, w); }

TEST(BlendRows, VectorFormsEqualScalarReferenceForEveryMode) {
  const TRowCase cases[] = {
      {"blend", BlendFast, BlendRef},
      {"blend master", BlendLineExSse2, BlendMemEx},
      {"merge", MergeFast, MergeRef},
      {"merge master", MergeLineExSse2, MergeMemEx},
      {"combine", CombineLineSse2, CombineRef},
  };
  std::mt19937 rng(7);
  for (const TRowCase& c : cases) {
    for (int round = 0; round < 60; ++round) {
      const size_t n = 1 + rng() % 300;  // odd lengths exercise the scalar tails
      const std::vector<TColor32> src = RandomPixels(rng, n);
      std::vector<TColor32> dst = RandomPixels(rng, n);
      std::vector<TColor32> expected = dst;
      const uint32_t param = (round % 5 == 0) ? 255 : (round % 7 == 0 ? 0 : rng() % 256);
      for (size_t i = 0; i < n; ++i) expected[i] = c.ref(src[i], expected[i], param);
      c.fast(src.data(), dst.data(), static_cast<int32_t>(n), param);
      for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(dst[i], expected[i]) << c.name << " pixel " << i << " f=" << std::hex << src[i] << " param=" << param;
      }
    }
  }
}

TEST(BlendRows, MergeVectorFormCoversEveryAlphaPair) {
  // Every (Fa, Ba) pair with a few colour channels, which walks every Ra and Q of the division.
  std::vector<TColor32> src, dst;
  for (uint32_t fa = 0; fa < 256; ++fa) {
    for (uint32_t ba = 0; ba < 256; ++ba) {
      src.push_back((fa << 24) | 0x00FF7F01u);
      dst.push_back((ba << 24) | 0x0000FFC0u);
    }
  }
  std::vector<TColor32> expected(dst.size()), expectedEx(dst.size());
  for (size_t i = 0; i < src.size(); ++i) {
    expected[i] = MergeMem(src[i], dst[i]);
    expectedEx[i] = MergeMemEx(src[i], dst[i], 200);
  }
  std::vector<TColor32> got = dst, gotEx = dst;
  MergeLineSse2(src.data(), got.data(), static_cast<int32_t>(src.size()));
  MergeLineExSse2(src.data(), gotEx.data(), static_cast<int32_t>(src.size()), 200);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(gotEx, expectedEx);
}

TEST(BlendRows, PublicRowsDispatchToTheSameResults) {
  std::mt19937 rng(11);
  const std::vector<TColor32> src = RandomPixels(rng, 257);
  const std::vector<TColor32> base = RandomPixels(rng, 257);
  std::vector<TColor32> a = base, b = base;
  BlendLine(src.data(), a.data(), 257);
  BlendLineScalar(src.data(), b.data(), 257);
  EXPECT_EQ(a, b);
  a = b = base;
  MergeLineEx(src.data(), a.data(), 257, 77);
  MergeLineExScalar(src.data(), b.data(), 257, 77);
  EXPECT_EQ(a, b);
  a = b = base;
  CombineLine(src.data(), a.data(), 257, 256);
  EXPECT_EQ(a, src);  // weight 256 is the foreground exactly
}

TEST(PixelArithmetic, ReferenceRoundingCases) {
  // Opaque white over transparent black: the master-alpha form gives 254, the memory form copies.
  EXPECT_EQ(BlendMemEx(0xFFFFFFFFu, 0, 255), 0xFEFEFEFEu);
  EXPECT_EQ(BlendMem(0xFFFFFFFFu, 0), 0xFFFFFFFFu);
  EXPECT_EQ(CombineReg(0xFFFFFFFFu, 0, 255), 0xFEFEFEFEu);
  // Alpha is blended like a colour: 128 over 0 gives about 64.
  EXPECT_EQ(AlphaOf(BlendMem(0x80FFFFFFu, 0x00000000u)), 64u);
  EXPECT_EQ(BlendMemEx(0x80FFFFFFu, 0x12345678u, 0), 0x12345678u);
  // Merge: transparent foreground keeps the background; transparent background takes F.
  EXPECT_EQ(MergeMem(0x00ABCDEFu, 0x80112233u), 0x80112233u);
  EXPECT_EQ(MergeMem(0x80ABCDEFu, 0x00112233u), 0x80ABCDEFu);
  // Half over opaque: Ra = 128 + 255 - 128 = 255; white over white comes out 254.
  EXPECT_EQ(MergeMem(0x80FFFFFFu, 0xFFFFFFFFu), 0xFFFEFEFEu);
  EXPECT_EQ(MergeMemEx(0xFF102030u, 0xFF000000u, 255), 0xFF102030u);
  EXPECT_EQ(CombineMerge(0x00102030u, 0x00405060u, 255), 0xFF102030u);
}

TEST(PixelArithmetic, ColourHelpers) {
  EXPECT_EQ(SetAlpha(0x12345678u, -4), 0x00345678u);
  EXPECT_EQ(SetAlpha(0x12345678u, 999), 0xFF345678u);
  EXPECT_EQ(ColorFromSystem(0x00332211), 0xFF112233u);
  EXPECT_EQ(AlphaOf(ColorFromSystem(-2147483647 + 4)), 255u);
  EXPECT_EQ(FixedToInt(FloatToFixed(2.5)), 2);  // (v + 0x7FFF) >> 16 takes a half down
  EXPECT_EQ(FixedToInt(FloatToFixed(2.5) + 1), 3);
  EXPECT_EQ(FixedToInt(-0x8000), -1);  // arithmetic shift: -0.5 goes down too
  EXPECT_EQ(FloatToFixed(0.5 / 65536.0), 0);  // half to even
}

}  // namespace
}  // namespace sw
