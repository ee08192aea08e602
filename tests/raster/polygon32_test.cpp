#include "raster/polygon32.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>

namespace sw {
namespace {

TFixedPoint P(double x, double y) { return TFixedPoint{FloatToFixed(x), FloatToFixed(y)}; }

std::unique_ptr<TPolygon32> Square(double l, double t, double r, double b) {
  auto p = std::make_unique<TPolygon32>();
  p->AddPoint(P(l, t));
  p->AddPoint(P(r, t));
  p->AddPoint(P(r, b));
  p->AddPoint(P(l, b));
  return p;
}

// Brute-force inside test of one sample point: the crossings of the edges whose top end is at
// or above the sample line and whose bottom end is below it, counted left of the sample.
bool Inside(const std::vector<std::array<int64_t, 4>>& edges, double sx, int64_t sy, TPolyFillMode mode,
            bool leftOrEqual) {
  int winding = 0, count = 0;
  for (const auto& e : edges) {
    int64_t x0 = e[0], y0 = e[1], x1 = e[2], y1 = e[3];
    int dir = 1;
    if (y0 == y1) continue;
    if (y0 > y1) {
      std::swap(x0, x1);
      std::swap(y0, y1);
      dir = -1;
    }
    if (!(y0 <= sy && sy < y1)) continue;
    const double x = static_cast<double>(x0) + static_cast<double>(sy - y0) * static_cast<double>(x1 - x0) /
                                                   static_cast<double>(y1 - y0);
    if (leftOrEqual ? x <= sx : x < sx) {
      winding += dir;
      ++count;
    }
  }
  return mode == pfAlternate ? (count & 1) != 0 : winding != 0;
}

// Reference rendering, one sample at a time: every pixel gets the colour with the coverage
// alpha (or the whole colour when not antialiased), laid on with the single-pixel forms.
void ReferenceFill(const TPolygon32& poly, TBitmap32& b, TColor32 color) {
  const int modeShift[3] = {12, 13, 14}, modeN[3] = {16, 8, 4}, modeK[3] = {273, 1167, 5460};
  const int mode = poly.AntialiasMode >= 0 && poly.AntialiasMode <= 2 ? poly.AntialiasMode : 1;
  const int shift = modeShift[mode], n = modeN[mode];
  const int64_t bias = (int64_t(1) << (shift - 2)) - 1;
  std::vector<std::array<int64_t, 4>> edges;
  for (const auto& c : poly.Points()) {
    if (c.size() < 3) continue;
    for (size_t i = 0; i < c.size(); ++i) {
      const TFixedPoint a = c[i], e = c[(i + 1) % c.size()];
      if (poly.Antialiased) {
        edges.push_back({(a.X + bias) >> shift, (a.Y + bias) >> shift, (e.X + bias) >> shift, (e.Y + bias) >> shift});
      } else {
        edges.push_back({a.X, a.Y, e.X, e.Y});
      }
    }
  }
  const TRect clip = b.ClipRect();
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    for (int32_t x = clip.Left; x < clip.Right; ++x) {
      TColor32& p = b.ScanLine(y)[x];
      if (!poly.Antialiased) {
        if (Inside(edges, x * 65536.0 + 0x8000, int64_t(y) * 65536 + 0x8000, poly.FillMode, true)) {
          p = BlendMemOf(b.CombineMode, color, p);
        }
        continue;
      }
      uint32_t c = 0;
      for (int sy = 0; sy < n; ++sy)
        for (int sx = 0; sx < n - 1; ++sx) {
          // A span [floor(a), floor(b)) holds sample j exactly when a < j + 1 <= b.
          c += Inside(edges, x * n + sx + 1.0, int64_t(y) * n + sy, poly.FillMode, false);
        }
      const uint32_t alpha = ((c * static_cast<uint32_t>(modeK[mode])) >> 8) & 255;
      if (alpha) p = BlendMemExOf(b.CombineMode, (color & 0xFFFFFF) | (alpha << 24), p, AlphaOf(color));
    }
  }
}

TEST(Polygon32, FillsMatchTheSampleReferenceInEveryMode) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> coord(-6, 38);
  int checked = 0;
  for (int round = 0; round < 48; ++round) {
    TPolygon32 poly;
    poly.Clear();
    for (int c = 0; c < 1 + round % 3; ++c) {
      poly.NewContour();
      const int points = 2 + static_cast<int>(rng() % 7);  // 2-point contours must be ignored
      for (int i = 0; i < points; ++i) poly.AddPoint(P(coord(rng), coord(rng)));
    }
    poly.Antialiased = round % 4 != 0;
    poly.AntialiasMode = round % 3;
    poly.FillMode = (round / 2) % 2 ? pfWinding : pfAlternate;
    TBitmap32 got, want;
    for (TBitmap32* b : {&got, &want}) {
      b->Resize(32, 30);
      b->Clear(round % 5 == 0 ? 0x40102030u : 0xFF204060u);
      b->CombineMode = round % 6 == 5 ? cmMerge : cmBlend;
      b->SetClipRect(round % 7 == 3 ? MakeRect(3, 4, 25, 21) : b->BoundsRect());
    }
    const TColor32 color = round % 2 ? 0xFFFFFFFFu : 0xA0FF8000u;
    poly.DrawFill(got, color);
    ReferenceFill(poly, want, color);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 32; ++x) {
        ASSERT_EQ(got.Pixel(x, y), want.Pixel(x, y)) << "round " << round << " at " << x << "," << y;
        checked += got.Pixel(x, y) != 0xFF204060u;
      }
  }
  EXPECT_GT(checked, 1000);  // the rounds drew something
}

TEST(Polygon32, FillRulesAndCoverage) {
  TBitmap32 b;
  b.Resize(12, 12);
  auto outer = Square(1, 1, 11, 11);
  TPolygon32& p = *outer;
  p.NewContour();  // an inner square in the same direction
  const auto inner = Square(4, 4, 8, 8);
  for (const TFixedPoint& q : inner->Points().back()) p.AddPoint(q);
  b.Clear(0);
  p.DrawFill(b, 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(2, 2), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(6, 6), 0u);  // even-odd: a hole
  EXPECT_EQ(b.Pixel(0, 0), 0u);
  EXPECT_EQ(b.Pixel(11, 5), 0u);
  p.FillMode = pfWinding;
  b.Clear(0);
  p.DrawFill(b, 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(6, 6), 0xFFFFFFFFu);  // non-zero: filled
  // Antialiased full coverage is 255, laid on with the master-alpha blend.
  for (int mode = 0; mode < 3; ++mode) {
    auto sp = Square(1, 1, 10.5, 11);
    TPolygon32& s = *sp;
    s.Antialiased = true;
    s.AntialiasMode = mode;
    b.Clear(0xFF000000u);
    s.DrawFill(b, 0xFFFFFFFFu);
    EXPECT_EQ(b.Pixel(5, 5), BlendMemEx(0xFFFFFFFFu, 0xFF000000u, 255)) << mode;
    const uint32_t half = b.Pixel(10, 5) & 0xFF;
    EXPECT_GT(half, 90u) << mode;
    EXPECT_LT(half, 180u) << mode;  // n - 1 samples per pixel: 4 of 7 (mode 1), 2 of 3 (mode 2)
    EXPECT_EQ(b.Pixel(11, 5), 0xFF000000u);
  }
}

TEST(Polygon32, FarAwayCoordinatesAreClipped) {
  TBitmap32 b;
  b.Resize(50, 40);
  b.SetClipRect(MakeRect(10, 10, 30, 20));
  TPolygon32 p;
  p.AddPoint(TFixedPoint{INT32_MIN, INT32_MIN});
  p.AddPoint(TFixedPoint{INT32_MAX, INT32_MIN});
  p.AddPoint(TFixedPoint{INT32_MAX, INT32_MAX});
  p.AddPoint(TFixedPoint{INT32_MIN, INT32_MAX});
  for (bool aa : {false, true}) {
    b.Clear(0);
    p.Antialiased = aa;
    p.DrawFill(b, 0xFFFFFFFFu);
    p.DrawEdge(b, 0xFFFFFFFFu);
    int set = 0;
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 50; ++x) set += b.Pixel(x, y) != 0;
    EXPECT_EQ(set, 20 * 10) << aa;
  }
  TBitmap32 empty;
  p.DrawFill(empty, 0xFFFFFFFFu);  // nothing to draw into
}

// Random contours over the whole 16.16 range: every operation ends and stays inside the clip.
TEST(Polygon32, AbsurdCoordinatesNeverLeaveTheBitmap) {
  std::mt19937 rng(5);
  TBitmap32 b;
  b.Resize(24, 20);
  b.SetClipRect(MakeRect(2, 3, 21, 17));
  for (int round = 0; round < 40; ++round) {
    TPolygon32 p;
    for (int i = 0; i < 3 + round % 5; ++i) {
      const bool wild = rng() % 2 == 0;
      const int32_t x = wild ? static_cast<int32_t>(rng()) : static_cast<int32_t>(rng() % (30 << 16)) - (3 << 16);
      const int32_t y = wild ? static_cast<int32_t>(rng()) : static_cast<int32_t>(rng() % (26 << 16)) - (3 << 16);
      p.AddPoint(TFixedPoint{x, y});
    }
    p.Antialiased = round % 2 == 0;
    p.AntialiasMode = round % 4;  // 3 is taken as the default
    p.FillMode = round % 3 == 0 ? pfWinding : pfAlternate;
    p.Closed = round % 5 != 0;
    b.Clear(0);
    p.DrawFill(b, 0xFFFFFFFFu);
    p.DrawEdge(b, 0xFF00FF00u);
    p.Outline()->Grow(static_cast<TFixed>(rng()), static_cast<float>(round) / 20.0f)->DrawFill(b, 0x80FF0000u);
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 24; ++x) {
        if (x < 2 || x >= 21 || y < 3 || y >= 17) {
          ASSERT_EQ(b.Pixel(x, y), 0u) << round << " " << x << "," << y;
        }
      }
  }
}

TEST(Polygon32, EdgesAreOnePixelPolylines) {
  TBitmap32 b;
  b.Resize(12, 12);
  b.Clear(0);
  auto pp = Square(2, 2, 9, 7);
  TPolygon32& p = *pp;
  p.DrawEdge(b, 0xFFFF0000u);
  int set = 0;
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 12; ++x) set += b.Pixel(x, y) != 0;
  EXPECT_EQ(set, 2 * 8 + 2 * 4);
  EXPECT_EQ(b.Pixel(2, 2), 0xFFFF0000u);
  EXPECT_EQ(b.Pixel(5, 5), 0u);
  p.Closed = false;
  b.Clear(0);
  p.DrawEdge(b, 0xFFFF0000u);
  EXPECT_EQ(b.Pixel(2, 4), 0u);  // the closing side is left out
  p.Antialiased = true;
  b.Clear(0);
  p.DrawEdge(b, 0xFFFF0000u);
  EXPECT_EQ(b.Pixel(5, 2), 0xFFFF0000u);
}

TEST(Polygon32, GrowMitresAndBevels) {
  auto sqp = Square(10, 10, 20, 20);  // clockwise on the screen: normals point outwards
  TPolygon32& sq = *sqp;
  auto mitred = sq.Grow(FloatToFixed(2), 0.5f);
  ASSERT_EQ(mitred->Points().size(), 1u);
  const TArrayOfFixedPoint& m = mitred->Points()[0];
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[0], P(8, 8));
  EXPECT_EQ(m[1], P(22, 8));
  EXPECT_EQ(m[2], P(22, 22));
  EXPECT_EQ(m[3], P(8, 22));
  auto bevelled = sq.Grow(FloatToFixed(2), 0.0f);
  const TArrayOfFixedPoint& v = bevelled->Points()[0];
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(v[0], P(8, 10));  // joint plus the previous normal (left side)
  EXPECT_EQ(v[1], P(10, 8));  // joint plus the current normal (top side)
  // 0.99: the square's right angles are mild enough to mitre; a hairpin turn is bevelled.
  TPolygon32 pin;
  pin.AddPoint(P(0, 0));
  pin.AddPoint(P(20, 0));
  pin.AddPoint(P(0, 1));
  EXPECT_EQ(sq.Grow(FloatToFixed(2), 0.99f)->Points()[0].size(), 4u);
  EXPECT_EQ(pin.Grow(FloatToFixed(2), 0.99f)->Points()[0].size(), 4u);  // 3 joints, 1 of them bevelled
  EXPECT_EQ(pin.Grow(FloatToFixed(2), 0.999f)->Points()[0].size(), 4u);  // clamped to 0.99
  // Shrinking uses the same rule.
  const auto shrunk = sq.Grow(FloatToFixed(-2), 0.5f);
  const TArrayOfFixedPoint& s = shrunk->Points()[0];
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0], P(12, 12));
  EXPECT_EQ(sq.Grow(0, 0.5f)->Points(), sq.Points());
}

TEST(Polygon32, OutlineGrowsIntoABand) {
  TPolygon32 line;
  line.Closed = false;
  line.AddPoint(P(5, 10));
  line.AddPoint(P(25, 10));
  auto outline = line.Outline();
  EXPECT_TRUE(outline->Closed);
  auto band = outline->Grow(FloatToFixed(2), 0.5f);
  ASSERT_EQ(band->Points().size(), 1u);
  EXPECT_EQ(band->Points()[0].size(), 4u);  // both ends bevelled: a rectangle
  TBitmap32 b;
  b.Resize(30, 20);
  b.Clear(0);
  band->DrawFill(b, 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(15, 9), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(15, 11), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(15, 13), 0u);
  // A closed square gives the forward and the backward contour; grown, a frame with a hole.
  auto sqp = Square(5, 5, 15, 15);
  TPolygon32& sq = *sqp;
  auto frame = sq.Outline()->Grow(FloatToFixed(1), 0.5f);
  ASSERT_EQ(frame->Points().size(), 2u);
  b.Clear(0);
  frame->DrawFill(b, 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(4, 10), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(10, 10), 0u);
  // Repeated points have no direction of their own and must not poison the normals.
  auto dup = Square(5, 5, 15, 15);
  dup->AddPoint(P(5, 15));
  const auto grown = dup->Grow(FloatToFixed(1), 0.5f);
  for (const auto& q : grown->Points()[0]) {
    EXPECT_GT(q.X, 0);
    EXPECT_LT(q.X, FloatToFixed(20));
  }
}

}  // namespace
}  // namespace sw
