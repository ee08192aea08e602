#include "raster/sampler.h"

#include "raster/sampler_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace sw {
namespace {

// ---- slow reference, written from the rules rather than from the fast code ----

uint32_t RefGamma(int64_t i) { return static_cast<uint32_t>(Round(255.0 * std::pow(i / 255.0, 0.7))); }

TColor32 RefBilinear(const TBitmap32& s, int64_t x, int64_t y) {
  if (s.Empty()) return s.OuterColor;
  if (!(x > 0 && y > 0 && x < (s.Width() - 1) * int64_t(256) && y < (s.Height() - 1) * int64_t(256))) {
    return s.OuterColor;
  }
  const int32_t px = static_cast<int32_t>(x / 256), py = static_cast<int32_t>(y / 256);
  const uint32_t wx = RefGamma(255 - x % 256), wy = RefGamma(255 - y % 256);
  const TColor32 top = CombineReg(s.Pixel(px, py), s.Pixel(px + 1, py), wx);
  const TColor32 bottom = CombineReg(s.Pixel(px, py + 1), s.Pixel(px + 1, py + 1), wx);
  return CombineReg(top, bottom, wy);
}

// k-th partial sum of the integer distribution of total over steps, in closed form.
int64_t RefDelta(int64_t total, int64_t steps, int64_t k) {
  if (steps <= 0) return 0;
  const int64_t q = total / steps;
  const int64_t r = total - q * steps;
  const int64_t extra = (r < 0 ? -r : r) * k / steps;
  return q * k + (r < 0 ? -extra : extra);
}

std::vector<TColor32> RefRow(const TBitmap32& src, const TdtpAffineTransform& inv, int n, int32_t x,
                             int32_t y, int32_t count) {
  const float cy = static_cast<float>(y + 0.5);
  const TFloatPoint first = inv.TransformPoint({static_cast<float>(x + 0.5), cy});
  const TFloatPoint last = inv.TransformPoint({static_cast<float>(x + count - 0.5), cy});
  const int64_t totalU = Round64((static_cast<double>(last.X) - first.X) * 256.0);
  const int64_t totalV = Round64((static_cast<double>(last.Y) - first.Y) * 256.0);
  std::vector<TColor32> row(static_cast<size_t>(count));
  for (int32_t k = 0; k < count; ++k) {
    uint32_t sum[4] = {0, 0, 0, 0};
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        const float ox = n == 1 ? 0.0f : static_cast<float>((j + 0.5) / n - 0.5);
        const float oy = n == 1 ? 0.0f : static_cast<float>((i + 0.5) / n - 0.5);
        const TFloatPoint p =
            inv.TransformPoint({static_cast<float>(x + 0.5 + ox), static_cast<float>(y + 0.5 + oy)});
        const int64_t u = Round64(p.X * 256.0) + RefDelta(totalU, count - 1, k);
        const int64_t v = Round64(p.Y * 256.0) + RefDelta(totalV, count - 1, k);
        const TColor32 c = RefBilinear(src, u, v);
        for (int ch = 0; ch < 4; ++ch) sum[ch] += (c >> (8 * ch)) & 0xFF;
      }
    }
    TColor32 c = 0;
    for (int ch = 0; ch < 4; ++ch) c |= (sum[ch] / static_cast<uint32_t>(n * n)) << (8 * ch);
    row[static_cast<size_t>(k)] = c;
  }
  return row;
}

void RefRender(TBitmap32& dst, const TBitmap32& src, const TdtpAffineTransform& m, int n,
               const TFloatRect& area) {
  TdtpAffineTransform inv = m;
  inv.Invert();
  const TFloatPoint c[4] = {m.TransformPoint({area.Left, area.Top}), m.TransformPoint({area.Right, area.Top}),
                            m.TransformPoint({area.Right, area.Bottom}),
                            m.TransformPoint({area.Left, area.Bottom})};
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  for (const TFloatPoint& p : c) {
    x0 = std::min<double>(x0, p.X);
    x1 = std::max<double>(x1, p.X);
    y0 = std::min<double>(y0, p.Y);
    y1 = std::max<double>(y1, p.Y);
  }
  const int32_t ix0 = std::max(static_cast<int32_t>(std::floor(x0)), 0);
  const int32_t ix1 = std::min(static_cast<int32_t>(std::ceil(x1)), dst.Width() - 1);
  const int32_t iy0 = std::max(static_cast<int32_t>(std::floor(y0)), 0);
  const int32_t iy1 = std::min(static_cast<int32_t>(std::ceil(y1)), dst.Height() - 1);
  for (int32_t y = iy0; y <= iy1; ++y) {
    if (ix0 > ix1) break;
    const std::vector<TColor32> row = RefRow(src, inv, n, ix0, y, ix1 - ix0 + 1);
    for (int32_t x = ix0; x <= ix1; ++x) {
      const TColor32 f = row[static_cast<size_t>(x - ix0)];
      TColor32& b = *dst.PixelPtr(x, y);
      b = src.MasterAlpha == 255 ? MergeMem(f, b) : MergeMemEx(f, b, src.MasterAlpha);
    }
  }
}

void FillRandom(TBitmap32& b, std::mt19937& rng, bool opaqueOften) {
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
      TColor32 c = rng();
      if (opaqueOften && (rng() % 3 == 0)) c |= 0xFF000000u;
      b.SetPixel(x, y, c);
    }
  }
}

std::vector<TColor32> Pixels(const TBitmap32& b) {
  return std::vector<TColor32>(b.Bits(), b.Bits() + static_cast<size_t>(b.Width()) * b.Height());
}

TEST(MapSampler, Oversampling) {
  TdtpMapSampler s;
  EXPECT_EQ(s.Oversampling(), 2);
  ASSERT_EQ(s.Offsets().size(), 4u);
  EXPECT_EQ(s.Offsets()[0], (TFloatPoint{-0.25f, -0.25f}));
  EXPECT_EQ(s.Offsets()[1], (TFloatPoint{-0.25f, 0.25f}));
  EXPECT_EQ(s.Offsets()[2], (TFloatPoint{0.25f, -0.25f}));
  s.SetOversampling(2);
  EXPECT_EQ(s.SampleCount(), 4);
  for (int bad : {7, 0, -2, 65536, -2147483647}) {
    try {
      s.SetOversampling(bad);
      ADD_FAILURE() << bad;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Illegal oversampling value");
    }
    EXPECT_EQ(s.Oversampling(), 2);
  }
  s.SetOversampling(3);
  ASSERT_EQ(s.Offsets().size(), 9u);
  EXPECT_NEAR(s.Offsets()[5].X, 0.0, 1e-6);      // j = 1
  EXPECT_NEAR(s.Offsets()[5].Y, 1.0 / 3, 1e-6);  // i = 2
  s.SetOversampling(1);
  EXPECT_EQ(s.SampleCount(), 1);
  const std::unique_ptr<TdtpSampler> fresh = s.CreateNew();
  ASSERT_NE(dynamic_cast<TdtpMapSampler*>(fresh.get()), nullptr);
  EXPECT_EQ(static_cast<TdtpMapSampler&>(*fresh).Oversampling(), 2);
}

// The fast rows and the render must equal the reference bit for bit, for every oversampling factor
// and for rotations, enlargements, reductions, mirrors and shears.
TEST(MapSampler, MatchesReferencePixelForPixel) {
  std::mt19937 rng(1234);
  TBitmap32 src;
  src.Resize(37, 29);
  FillRandom(src, rng, true);
  src.OuterColor = 0x00102030;

  std::vector<TdtpAffineTransform> transforms;
  {
    TdtpAffineTransform m;
    m.Rotate(30, 18, 14);
    m.Translate(10, 12);
    transforms.push_back(m);
  }
  {
    TdtpAffineTransform m;
    m.Scale(2.7, 1.9);
    m.Translate(-7.3, 3.1);
    transforms.push_back(m);
  }
  {
    TdtpAffineTransform m;
    m.Scale(0.41, 0.43);
    m.Rotate(-117);
    m.Translate(30, 40);
    transforms.push_back(m);
  }
  {
    TdtpAffineTransform m;  // mirrored and sheared
    m.Multiply({-1.3, 0.2, 0.45, 1.1, 60, 5});
    transforms.push_back(m);
  }
  for (const uint32_t master : {255u, 128u}) {
    src.MasterAlpha = master;
    for (int n = 1; n <= 6; ++n) {
      for (size_t t = 0; t < transforms.size(); ++t) {
        TBitmap32 fast, slow;
        fast.Resize(64, 61);
        FillRandom(fast, rng, false);
        slow.Assign(fast);
        TdtpMapSampler s;
        s.SetOversampling(n);
        s.SetTarget(&fast);
        s.SetSource(&src);
        s.SetTransform(&transforms[t]);
        s.Render(FloatRect(src.BoundsRect()));
        RefRender(slow, src, transforms[t], n, FloatRect(src.BoundsRect()));
        ASSERT_EQ(Pixels(fast), Pixels(slow)) << "n=" << n << " transform " << t << " master " << master;

        // A single row anywhere, including far outside the picture.
        TdtpAffineTransform inv = transforms[t];
        inv.Invert();
        const TColor32* row = s.SampleRow(-40, 17, 150);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(std::vector<TColor32>(row, row + 150), RefRow(src, inv, n, -40, 17, 150)) << n << " " << t;
      }
    }
  }
}

// Wide targets are rendered in strips; every strip must step exactly as its whole row does.
TEST(MapSampler, WideTargetsMatchTheWholeRowStepping) {
  std::mt19937 rng(99);
  TBitmap32 src;
  src.Resize(300, 40);
  FillRandom(src, rng, true);
  TdtpAffineTransform m;
  m.Scale(2.37, 0.61);
  m.Rotate(3.3);
  m.Translate(-5.2, 1.7);
  for (int n : {1, 2, 3}) {
    TBitmap32 fast, slow;
    fast.Resize(777, 30);
    FillRandom(fast, rng, false);
    slow.Assign(fast);
    TdtpMapSampler s;
    s.SetOversampling(n);
    s.SetTarget(&fast);
    s.SetSource(&src);
    s.SetTransform(&m);
    s.Render(FloatRect(src.BoundsRect()));
    RefRender(slow, src, m, n, FloatRect(src.BoundsRect()));
    ASSERT_EQ(Pixels(fast), Pixels(slow)) << n;
  }
}

TEST(MapSampler, UniformPictureKeepsItsColourInside) {
  TBitmap32 src, dst;
  src.Resize(20, 20);
  src.Clear(0x80336699u);
  dst.Resize(20, 20);
  dst.Clear(0);
  TdtpAffineTransform id;
  TdtpMapSampler s;
  s.SetTarget(&dst);
  s.SetSource(&src);
  s.SetTransform(&id);
  s.Render(FloatRect(src.BoundsRect()));
  // Merging over alpha 0 stores the sample, so the interior is the picture itself.
  EXPECT_EQ(dst.Pixel(10, 10), 0x80336699u);
  EXPECT_EQ(dst.Pixel(0, 0), 0x80336699u);
  EXPECT_EQ(dst.Pixel(18, 18), 0x80336699u);
  // Samples at or beyond the last column or row read the outer colour (alpha 0), which merges as
  // nothing, so that strip stays as it was.
  EXPECT_EQ(dst.Pixel(19, 10), 0u);
  EXPECT_EQ(dst.Pixel(10, 19), 0u);
}

TEST(MapSampler, TransparentCacheAndOffTargetDrawNothing) {
  std::mt19937 rng(5);
  TBitmap32 dst, src;
  dst.Resize(40, 30);
  FillRandom(dst, rng, false);
  const std::vector<TColor32> before = Pixels(dst);

  src.Resize(16, 16);
  src.Clear(0x00FFFFFFu);
  TdtpAffineTransform m;
  m.Rotate(33);
  m.Translate(10, 5);
  TdtpMapSampler s;
  s.SetTarget(&dst);
  s.SetSource(&src);
  s.SetTransform(&m);
  s.Render(FloatRect(src.BoundsRect()));
  EXPECT_EQ(Pixels(dst), before);

  // Entirely left of the target: nothing, even with an opaque outer colour.
  src.Clear(0xFFFF0000u);
  src.OuterColor = 0xFF00FF00u;
  TdtpAffineTransform left;
  left.Translate(-100, 3);
  s.SetTransform(&left);
  s.Render(FloatRect(src.BoundsRect()));
  EXPECT_EQ(Pixels(dst), before);

  // Master alpha 0 leaves the target as it is.
  src.OuterColor = 0;
  src.MasterAlpha = 0;
  s.SetTransform(&m);
  s.Render(FloatRect(src.BoundsRect()));
  EXPECT_EQ(Pixels(dst), before);
}

// Non-finite, singular, huge and tiny matrices must neither crash nor touch memory outside either
// bitmap (the sanitizer build checks the latter).
TEST(MapSampler, ExtremeMatricesAreSafe) {
  TBitmap32 dst, src;
  dst.Resize(50, 40);
  dst.Clear(0xFF123456u);
  src.Resize(8, 8);
  src.Clear(0x80FFFFFFu);
  const std::vector<TdtpAffineTransform> wild = {
      {NAN, 0, 0, 1, 0, 0},         {INFINITY, 0, 0, 1, 0, 0}, {1, 0, 0, 1, -INFINITY, 0},
      {0, 0, 0, 0, 10, 10},         {1, 2, 2, 4, 5, 5},        {1e30, 0, 0, 1e30, 0, 0},
      {1e-30, 0, 0, 1e-30, 20, 20}, {1, 0, 0, 1, 1e30, -1e30}, {1e20, 1e20, -1e20, 1e20, -5e20, 3e20},
      {1e-300, 0, 0, 1e-300, 1, 1}, {3e38, 0, 0, -3e38, 0, 0}, {1, 0, 0, 1, 2.1e9, 2.1e9},
  };
  for (int n : {1, 2, 5}) {
    for (const TdtpAffineTransform& m : wild) {
      TdtpMapSampler s;
      s.SetOversampling(n);
      s.SetTarget(&dst);
      s.SetSource(&src);
      s.SetTransform(&m);
      s.Render(FloatRect(src.BoundsRect()));
      s.Render(TFloatRect{-1e30f, -1e30f, 1e30f, 1e30f});
      s.Render(TFloatRect{NAN, 0, 1, 1});
      ASSERT_NE(s.SampleRow(-2000000000, 2000000000, 300), nullptr);
    }
  }
  // Without transform, target or source nothing happens.
  TdtpMapSampler bare;
  bare.Render(TFloatRect{0, 0, 1, 1});
  EXPECT_EQ(bare.SampleRow(0, 0, 10), nullptr);
  bare.SetTarget(&dst);
  TdtpAffineTransform id;
  bare.SetTransform(&id);
  bare.Render(TFloatRect{0, 0, 1, 1});
  EXPECT_EQ(bare.SampleRow(0, 0, 0), nullptr);
  // An empty source reads the outer colour everywhere.
  TBitmap32 empty;
  empty.OuterColor = 0x11223344u;
  bare.SetSource(&empty);
  const TColor32* row = bare.SampleRow(0, 0, 3);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row[0], 0x11223344u);
  EXPECT_EQ(row[2], 0x11223344u);
}

// The reference read must be the surface's own bilinear sample, edges and weights included.
TEST(MapSampler, ReferenceAgreesWithTheSurface) {
  std::mt19937 rng(77);
  TBitmap32 b;
  b.Resize(9, 7);
  FillRandom(b, rng, false);
  b.OuterColor = 0x01020304u;
  for (int i = 0; i < 5000; ++i) {
    const int32_t x = static_cast<int32_t>(rng() % (11 * 256)) - 256;
    const int32_t y = static_cast<int32_t>(rng() % (9 * 256)) - 256;
    ASSERT_EQ(RefBilinear(b, x, y), b.SampleBilinear(x, y)) << x << "," << y;
  }
  for (const auto& [x, y] :
       std::vector<std::pair<int32_t, int32_t>>{{0, 128}, {128, 0}, {8 * 256, 128}, {1, 1}, {2047, 1535}}) {
    EXPECT_EQ(RefBilinear(b, x, y), b.SampleBilinear(x, y)) << x << "," << y;
  }
}

// The vector row loops against the plain one, for every sample count, over runs that start
// inside, cross the edges and lie wholly outside, with steps in both directions.
TEST(MapSampler, VectorRowsEqualThePlainRow) {
  std::mt19937 rng(2024);
  TBitmap32 src;
  src.Resize(23, 19);
  FillRandom(src, rng, true);
  src.OuterColor = 0x40506070u;
  for (int n = 1; n <= TdtpMapSampler::kMaxOversampling; ++n) {
    for (int round = 0; round < 40; ++round) {
      TAffineRowJob job;
      job.View = TSourceView(&src);
      job.Samples = n * n;
      const int64_t u0 = static_cast<int64_t>(rng() % (30 * 256)) - 4 * 256;
      const int64_t v0 = static_cast<int64_t>(rng() % (26 * 256)) - 4 * 256;
      for (int32_t s = 0; s < job.Samples; ++s) {
        job.BaseU[s] = u0 + static_cast<int64_t>(rng() % 256) - 128;
        job.BaseV[s] = v0 + static_cast<int64_t>(rng() % 256) - 128;
      }
      const int32_t count = 1 + static_cast<int32_t>(rng() % 70);
      job.DU.Init(static_cast<int64_t>(rng() % (40 * 256)) - 20 * 256, count - 1);
      job.DV.Init(static_cast<int64_t>(rng() % (40 * 256)) - 20 * 256, count - 1);
      const int32_t begin = static_cast<int32_t>(rng() % static_cast<uint32_t>(count));
      job.DU.Seek(begin);
      job.DV.Seek(begin);
      job.Length = count - begin;
      std::vector<TColor32> plain(static_cast<size_t>(job.Length)), fast(plain.size());
      TAffineRowJob a = job, b = job;
      a.Out = plain.data();
      b.Out = fast.data();
      SampleAffineRowPlain(a);
      SampleAffineRowSse2(b);
      ASSERT_EQ(plain, fast) << "n=" << n << " round " << round;
      EXPECT_EQ(a.DU.Value, b.DU.Value);
      EXPECT_EQ(a.DV.Value, b.DV.Value);
    }
  }
}

// A transform class that is not affine goes through per-point mapping.
class TNonAffine : public TdtpTransform {
public:
  std::unique_ptr<TdtpTransform> CreateNew() const override { return std::make_unique<TNonAffine>(); }
  bool IsAffine() const override { return false; }
  void Invert() override { k_ = 1 / k_; }
  TFloatPoint TransformPoint(const TFloatPoint& p) const override { return {p.X * k_, p.Y * k_}; }

private:
  float k_ = 0.5f;
};

TEST(MapSampler, GeneralTransformMapsEveryPoint) {
  TBitmap32 src, dst;
  src.Resize(10, 10);
  src.Clear(0xFF00FF00u);
  dst.Resize(30, 30);
  dst.Clear(0);
  TNonAffine t;
  TdtpMapSampler s;
  s.SetOversampling(1);
  s.SetTarget(&dst);
  s.SetSource(&src);
  s.SetTransform(&t);
  ASSERT_NE(s.InverseTransform(), nullptr);
  EXPECT_FALSE(s.InverseTransform()->IsAffine());
  s.Render(FloatRect(src.BoundsRect()));
  // Halved onto (0..5): centres 0.5 and 3.5 read the picture at 1 and 7, centre 4.5 reads 9, the
  // last column, which is outside by the strict edge rule.
  EXPECT_EQ(dst.Pixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(dst.Pixel(3, 3), 0xFF00FF00u);
  EXPECT_EQ(dst.Pixel(4, 4), 0u);
}

}  // namespace
}  // namespace sw
