#include "raster/resample.h"

#include "raster/resample_p.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace sw {
namespace {

void Noise(TBitmap32& b, int32_t w, int32_t h, uint32_t seed) {
  b.Resize(w, h);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, rng());
}

std::string TransferError(TBitmap32* t, const TBitmap32* s, const TRect& sr) {
  try {
    TransferStretched(t, MakeRect(0, 0, 4, 4), MakeRect(0, 0, 4, 4), s, sr, sfLinear, dmOpaque);
  } catch (const ETransformError& e) {
    return e.what();
  }
  return "";
}

TEST(Transfer, ChecksItsArguments) {
  TBitmap32 src, dst, empty;
  Noise(src, 4, 4, 1);
  dst.Resize(4, 4);
  EXPECT_EQ(TransferError(nullptr, &empty, src.BoundsRect()), "");  // an empty source does nothing
  EXPECT_EQ(TransferError(nullptr, &src, src.BoundsRect()), "Destination bitmap is nil or empty");
  EXPECT_EQ(TransferError(&empty, &src, src.BoundsRect()), "Destination bitmap is nil or empty");
  EXPECT_EQ(TransferError(&dst, nullptr, src.BoundsRect()), "Source bitmap is nil or empty");
  EXPECT_EQ(TransferError(&dst, &src, MakeRect(2, 2, 2, 9)), "");  // empty source rectangle
  EXPECT_EQ(TransferError(&dst, &src, MakeRect(-1, 0, 3, 4)), "Source rectangle is invalid");
  EXPECT_EQ(TransferError(&dst, &src, MakeRect(0, 0, 5, 4)), "Source rectangle is invalid");
  EXPECT_THROW(StretchAuto(&empty, MakeRect(0, 0, 1, 1), &src, src.BoundsRect(), sfLinear, dmOpaque), ETransformError);
}

TEST(Transfer, WhiteOverTransparentBlack) {
  TBitmap32 src, dst;
  src.Resize(2, 2);
  src.Clear(0xFFFFFFFFu);
  dst.Resize(4, 4);
  for (TStretchFilter f : {sfNearest, sfLinear, sfLanczos}) {
    dst.Clear(0);
    TransferStretched(&dst, MakeRect(0, 0, 4, 4), dst.BoundsRect(), &src, src.BoundsRect(), f, dmBlend);
    EXPECT_EQ(dst.Pixel(1, 1), 0xFEFEFEFEu) << f;  // stretched: the master-alpha blend
  }
  dst.Clear(0);
  TransferStretched(&dst, MakeRect(1, 1, 3, 3), dst.BoundsRect(), &src, src.BoundsRect(), sfLinear, dmBlend);
  EXPECT_EQ(dst.Pixel(1, 1), 0xFFFFFFFFu);  // 1:1: the row blend copies opaque pixels
  EXPECT_EQ(dst.Pixel(0, 0), 0u);
  src.MasterAlpha = 0;
  dst.Clear(0);
  TransferStretched(&dst, MakeRect(0, 0, 4, 4), dst.BoundsRect(), &src, src.BoundsRect(), sfLinear, dmBlend);
  EXPECT_TRUE(dst.IsUniform(0));
}

TEST(Transfer, BlockModesMatchTheRowReferences) {
  TBitmap32 src, base;
  Noise(src, 9, 5, 2);
  Noise(base, 12, 8, 3);
  for (TCombineMode cm : {cmBlend, cmMerge}) {
    for (uint32_t m : {255u, 130u}) {
      TBitmap32 dst;
      dst.Assign(base);
      src.CombineMode = cm;
      src.MasterAlpha = m;
      TransferStretched(&dst, MakeRect(2, 1, 11, 6), dst.BoundsRect(), &src, src.BoundsRect(), sfNearest, dmBlend);
      for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 9; ++x) {
          const TColor32 f = src.Pixel(x, y), b = base.Pixel(x + 2, y + 1);
          const TColor32 want = m == 255 ? BlendMemOf(cm, f, b) : BlendMemExOf(cm, f, b, m);
          ASSERT_EQ(dst.Pixel(x + 2, y + 1), want) << cm << " " << m << " " << x << "," << y;
        }
      }
    }
  }
  // dmCustom passes (source, target, master alpha); without a callback it copies.
  TBitmap32 dst;
  dst.Assign(base);
  src.MasterAlpha = 77;
  int calls = 0;
  TransferStretched(&dst, MakeRect(0, 0, 9, 5), dst.BoundsRect(), &src, src.BoundsRect(), sfNearest, dmCustom,
                    [&](TColor32 f, TColor32& b, uint32_t m) {
                      ++calls;
                      EXPECT_EQ(m, 77u);
                      b = f ^ 1;
                    });
  EXPECT_EQ(calls, 45);
  EXPECT_EQ(dst.Pixel(3, 3), src.Pixel(3, 3) ^ 1);
  TransferStretched(&dst, MakeRect(0, 0, 9, 5), dst.BoundsRect(), &src, src.BoundsRect(), sfNearest, dmCustom);
  EXPECT_EQ(dst.Pixel(3, 3), src.Pixel(3, 3));
}

TEST(Transfer, LinearEnlargementWeights) {
  TBitmap32 src, dst;
  src.Resize(2, 2);
  src.SetPixel(0, 0, 0xFF000000u);
  src.SetPixel(1, 0, 0xFFFFFFFFu);
  src.SetPixel(0, 1, 0xFF000000u);
  src.SetPixel(1, 1, 0xFFFFFFFFu);
  dst.Resize(4, 4);
  TransferStretched(&dst, dst.BoundsRect(), dst.BoundsRect(), &src, src.BoundsRect(), sfLinear, dmOpaque);
  // u = 0.5 (dx + 0.5) - 0.5 = -0.25, 0.25, 0.75, 1.25 -> clamped; left weights 256, 192, 64, 0
  const uint32_t weights[4] = {256, 192, 64, 0};
  for (int32_t x = 0; x < 4; ++x) {
    const TColor32 row = CombineReg(0xFF000000u, 0xFFFFFFFFu, weights[x]);
    EXPECT_EQ(dst.Pixel(x, 2), CombineReg(row, row, 64)) << x;
  }
}

TEST(Transfer, UniformPicturesStayUniformThroughEveryFilter) {
  TBitmap32 src;
  src.Resize(13, 7);
  src.Clear(0x80C0FF01u);
  const TRect targets[] = {MakeRect(0, 0, 40, 30), MakeRect(0, 0, 5, 3), MakeRect(0, 0, 1, 1),
                           MakeRect(0, 0, 40, 2), MakeRect(-7, -3, 29, 11)};
  for (int f = sfNearest; f <= sfMitchell; ++f) {
    for (const TRect& r : targets) {
      TBitmap32 dst;
      dst.Resize(40, 30);
      dst.Clear(0);
      TransferStretched(&dst, r, dst.BoundsRect(), &src, src.BoundsRect(), static_cast<TStretchFilter>(f), dmOpaque);
      const TRect area = IntersectRect(r, dst.BoundsRect());
      for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) {
          const bool in = x >= area.Left && x < area.Right && y >= area.Top && y < area.Bottom;
          ASSERT_EQ(dst.Pixel(x, y), in ? 0x80C0FF01u : 0u) << f << " " << x << "," << y;
        }
    }
  }
}

TEST(Transfer, WeightListsSumTo256AndStayInsideTheSource) {
  std::vector<TWeightEntry> entries;
  std::vector<int32_t> starts;
  const int64_t sizes[] = {1, 3, 7, 100, 997, 4096};
  for (int f = sfNearest; f <= sfMitchell; ++f) {
    for (int64_t dst : sizes) {
      BuildResampleWeights(static_cast<TStretchFilter>(f), 5, 105, dst, 0, std::min<int64_t>(dst, 300), entries, starts);
      for (size_t k = 0; k + 1 < starts.size(); ++k) {
        int32_t sum = 0;
        for (int32_t i = starts[k]; i < starts[k + 1]; ++i) {
          sum += entries[static_cast<size_t>(i)].Weight;
          ASSERT_GE(entries[static_cast<size_t>(i)].Index, 5);
          ASSERT_LT(entries[static_cast<size_t>(i)].Index, 105);
        }
        ASSERT_EQ(sum, 256) << f << " " << dst << " " << k;
      }
    }
  }
  // A target edge of billions of pixels builds lists only for the range asked for.
  BuildResampleWeights(sfLanczos, 0, 10, int64_t(1) << 32, 1000, 1010, entries, starts);
  EXPECT_EQ(starts.size(), 11u);
}

TEST(Transfer, NegativeLobesAreClampedNotWrapped) {
  TBitmap32 src, dst;
  src.Resize(16, 4);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 16; ++x) src.SetPixel(x, y, x < 8 ? 0xFF000000u : 0xFFFFFFFFu);
  dst.Resize(40, 4);
  for (TStretchFilter f : {sfLanczos, sfMitchell}) {
    for (int32_t w : {40, 9}) {
      dst.Clear(0x12345678u);
      TransferStretched(&dst, MakeRect(0, 0, w, 4), dst.BoundsRect(), &src, src.BoundsRect(), f, dmOpaque);
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t v = dst.Pixel(x, 1) & 0xFF;
        if (x < w * 3 / 8) {
          EXPECT_LE(v, 40u) << f << " " << w << " " << x;
        }
        if (x >= w * 5 / 8) {
          EXPECT_GE(v, 215u) << f << " " << w << " " << x;
        }
        EXPECT_EQ(dst.Pixel(x, 1) >> 24, 255u);
      }
    }
  }
}

TEST(Transfer, ClippingAndHugeTargets) {
  TBitmap32 src, dst;
  Noise(src, 8, 8, 4);
  dst.Resize(20, 20);
  dst.Clear(0);
  const TRect clip = MakeRect(5, 6, 9, 12);
  for (int f = sfNearest; f <= sfMitchell; ++f) {
    TransferStretched(&dst, MakeRect(-1000000000, -1000000000, 1000000000, 1000000000), clip, &src,
                      src.BoundsRect(), static_cast<TStretchFilter>(f), dmOpaque);
  }
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool in = x >= 5 && x < 9 && y >= 6 && y < 12;
      if (!in) {
        ASSERT_EQ(dst.Pixel(x, y), 0u) << x << "," << y;
      }
    }
  const TRect huge = MakeRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  TransferStretched(&dst, huge, dst.BoundsRect(), &src, src.BoundsRect(), sfNearest, dmOpaque);
  StretchAuto(&dst, huge, &src, src.BoundsRect(), sfLinear, dmOpaque);
  StretchAuto(&dst, MakeRect(0, 0, 4, 4), &src, src.BoundsRect(), sfLinear, dmOpaque);  // reduction: box
  EXPECT_EQ(dst.Pixel(0, 0) & 0xFF, ((src.Pixel(0, 0) & 0xFF) + (src.Pixel(1, 0) & 0xFF) +
                                     (src.Pixel(0, 1) & 0xFF) + (src.Pixel(1, 1) & 0xFF)) / 4);
  // Drawing through Draw uses the target's clip and fires its change.
  int changes = 0;
  dst.OnChange = [&](TThreadPersistent*) { ++changes; };
  dst.SetClipRect(MakeRect(0, 0, 2, 2));
  dst.Clear(0);
  src.Draw(dst, MakeRect(0, 0, 16, 16));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(dst.Pixel(1, 1), src.Pixel(0, 0));
  EXPECT_EQ(dst.Pixel(2, 2), 0u);
}

TEST(Transfer, BoxReductionDistributesTheRemainder) {
  TBitmap32 src, dst;
  src.Resize(3, 1);
  src.SetPixel(0, 0, 0x10101010u);
  src.SetPixel(1, 0, 0x20202020u);
  src.SetPixel(2, 0, 0x31313131u);
  dst.Resize(2, 1);
  BoxReduce(dst, dst.BoundsRect(), src, src.BoundsRect());
  EXPECT_EQ(dst.Pixel(0, 0), 0x10101010u);  // the accumulator gives the extra column to the second
  EXPECT_EQ(dst.Pixel(1, 0), 0x28282828u);  // (0x20 + 0x31) / 2 truncated
  // Reductions through StretchAuto (opaque linear) and sfDraft agree with BoxReduce.
  Noise(src, 37, 23, 5);
  TBitmap32 a, b, c;
  for (TBitmap32* t : {&a, &b, &c}) {
    t->Resize(10, 7);
    t->Clear(0);
  }
  BoxReduce(a, a.BoundsRect(), src, src.BoundsRect());
  StretchAuto(&b, b.BoundsRect(), &src, src.BoundsRect(), sfLinear, dmOpaque);
  TransferStretched(&c, c.BoundsRect(), c.BoundsRect(), &src, src.BoundsRect(), sfDraft, dmOpaque);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y));
      ASSERT_EQ(a.Pixel(x, y), c.Pixel(x, y));
    }
  // Block (x 3..6, y 9..12) of the 37 x 23 source for target pixel (1, 3).
  uint64_t sum = 0;
  for (int32_t y = 9; y < 13; ++y)
    for (int32_t x = 3; x < 7; ++x) sum += src.Pixel(x, y) & 0xFF;
  EXPECT_EQ(a.Pixel(1, 3) & 0xFF, sum / 16);
  EXPECT_THROW(BoxReduce(a, a.BoundsRect(), src, MakeRect(0, 0, 38, 2)), ETransformError);
  // A target larger than the source repeats pixels instead of dividing by zero.
  BoxReduce(a, MakeRect(0, 0, 10, 7), src, MakeRect(0, 0, 2, 2));
  EXPECT_EQ(a.Pixel(0, 0), src.Pixel(0, 0));
  EXPECT_EQ(a.Pixel(9, 6), src.Pixel(1, 1));
}

// The vector row loops against their plain forms, over random pixels and the weight lists of
// every filter (negative lobes included), with odd lengths for the tails.
TEST(Transfer, VectorRowLoopsEqualThePlainOnes) {
  std::mt19937 rng(9);
  TBitmap32 src;
  Noise(src, 61, 16, 8);
  std::vector<TWeightEntry> entries;
  std::vector<int32_t> starts;
  for (int f = sfNearest; f <= sfMitchell; ++f) {
    for (int64_t dst : {7, 23, 61, 150}) {
      BuildResampleWeights(static_cast<TStretchFilter>(f), 0, 61, dst, 0, dst, entries, starts);
      // Both passes: the taps of each list over rows of the source, then the horizontal sums.
      for (size_t k = 0; k + 1 < starts.size(); ++k) {
        std::vector<const TColor32*> rows;
        std::vector<int32_t> weights;
        for (int32_t i = starts[k]; i < starts[k + 1]; ++i) {
          rows.push_back(src.ScanLine(entries[static_cast<size_t>(i)].Index % 16));
          weights.push_back(entries[static_cast<size_t>(i)].Weight);
        }
        const int32_t taps = static_cast<int32_t>(rows.size());
        std::vector<int32_t> vsum(61 * 4);
        std::vector<int16_t> hi(61 * 4), lo(61 * 4);
        ResampleVerticalScalar(rows.data(), weights.data(), taps, 61, vsum.data());
        ResampleVerticalSse2(rows.data(), weights.data(), taps, 61, hi.data(), lo.data());
        for (size_t i = 0; i < vsum.size(); ++i) ASSERT_EQ(vsum[i], hi[i] * 256 + lo[i]) << f << " " << dst << " " << k;
        std::vector<TColor32> a(static_cast<size_t>(dst)), b(static_cast<size_t>(dst));
        ResampleHorizontalScalar(vsum.data(), 0, entries.data(), starts.data(), static_cast<int32_t>(dst), a.data());
        ResampleHorizontalSse2(hi.data(), lo.data(), 0, entries.data(), starts.data(), static_cast<int32_t>(dst), b.data());
        ASSERT_EQ(a, b) << f << " " << dst << " " << k;
      }
      // Horizontal over random channel sums, including ones outside 0..255 that must clamp.
      std::vector<int32_t> vsum(61 * 4);
      std::vector<int16_t> hi(61 * 4), lo(61 * 4);
      for (size_t i = 0; i < vsum.size(); ++i) {
        vsum[i] = static_cast<int32_t>(rng() % (300 * 256)) - 20 * 256;
        hi[i] = static_cast<int16_t>(vsum[i] >> 8);
        lo[i] = static_cast<int16_t>(vsum[i] & 255);
      }
      std::vector<TColor32> a(static_cast<size_t>(dst)), b(static_cast<size_t>(dst));
      ResampleHorizontalScalar(vsum.data(), 0, entries.data(), starts.data(), static_cast<int32_t>(dst), a.data());
      ResampleHorizontalSse2(hi.data(), lo.data(), 0, entries.data(), starts.data(), static_cast<int32_t>(dst), b.data());
      ASSERT_EQ(a, b) << f << " " << dst;
    }
  }
  for (int32_t n : {1, 3, 4, 7, 64, 101}) {
    std::vector<int32_t> xs(static_cast<size_t>(n));
    std::vector<uint32_t> ws(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      xs[static_cast<size_t>(i)] = static_cast<int32_t>(rng() % 60);
      ws[static_cast<size_t>(i)] = rng() % 257;
    }
    std::vector<TColor32> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
    LinearHorizontalScalar(src.ScanLine(3), xs.data(), ws.data(), n, a.data());
    LinearHorizontalSse2(src.ScanLine(3), xs.data(), ws.data(), n, b.data());
    ASSERT_EQ(a, b) << n;
    const uint32_t w = rng() % 257;
    CombineRowsScalar(src.ScanLine(4), src.ScanLine(5), a.data(), n, w);
    CombineRowsSse2(src.ScanLine(4), src.ScanLine(5), b.data(), n, w);
    ASSERT_EQ(a, b) << n;
  }
}

}  // namespace
}  // namespace sw
