#include "platform/region.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "platform/bitmap_canvas.h"

namespace sw {
namespace {

const std::vector<TFloatPoint> kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};

TEST(PointInPolygon, EdgesAreHalfOpenLikePixelRectangles) {
  EXPECT_TRUE(PointInPolygon(kSquare, {5, 5}));
  EXPECT_TRUE(PointInPolygon(kSquare, {0, 5}));      // left edge
  EXPECT_TRUE(PointInPolygon(kSquare, {5, 0}));      // top edge
  EXPECT_TRUE(PointInPolygon(kSquare, {0, 0}));      // top-left corner
  EXPECT_TRUE(PointInPolygon(kSquare, {9.99f, 9.99f}));
  EXPECT_FALSE(PointInPolygon(kSquare, {10, 5}));    // right edge
  EXPECT_FALSE(PointInPolygon(kSquare, {5, 10}));    // bottom edge
  EXPECT_FALSE(PointInPolygon(kSquare, {10, 0}));
  EXPECT_FALSE(PointInPolygon(kSquare, {0, 10}));
  EXPECT_FALSE(PointInPolygon(kSquare, {-0.001f, 5}));
  // The winding direction does not matter.
  const std::vector<TFloatPoint> reversed(kSquare.rbegin(), kSquare.rend());
  EXPECT_TRUE(PointInPolygon(reversed, {0, 0}));
  EXPECT_FALSE(PointInPolygon(reversed, {10, 5}));
}

TEST(PointInPolygon, AlternateRuleLeavesOverlapsOut) {
  // A pentagram: the five points are inside, the centre pentagon is covered twice and is out.
  std::vector<TFloatPoint> star;
  for (int i = 0; i < 5; ++i) {
    const double a = (i * 144.0 - 90.0) * M_PI / 180.0;
    star.push_back({static_cast<float>(50 + 40 * std::cos(a)), static_cast<float>(50 + 40 * std::sin(a))});
  }
  EXPECT_FALSE(PointInPolygon(star, {50, 50}));
  EXPECT_TRUE(PointInPolygon(star, {50, 15}));  // the top point
  EXPECT_FALSE(PointInPolygon(star, {5, 5}));

  // A frame drawn as one figure: outer square, seam, inner square the other way round.
  const std::vector<TFloatPoint> frame = {{0, 0}, {30, 0}, {30, 30}, {0, 30}, {0, 0},
                                          {10, 10}, {10, 20}, {20, 20}, {20, 10}, {10, 10}};
  EXPECT_TRUE(PointInPolygon(frame, {5, 15}));
  EXPECT_FALSE(PointInPolygon(frame, {15, 15}));
  EXPECT_TRUE(PointInPolygon(frame, {25, 25}));
}

TEST(PointInPolygon, NeighboursSharingAnEdgeNeverBothClaimAPoint) {
  // Two triangles splitting a square along a slanted diagonal, and two squares side by side.
  const std::vector<TFloatPoint> upper = {{0, 0}, {7, 0}, {7, 5}};
  const std::vector<TFloatPoint> lower = {{0, 0}, {7, 5}, {0, 5}};
  const std::vector<TFloatPoint> right = {{10, 0}, {20, 0}, {20, 10}, {10, 10}};
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> t(0, 1);
  for (int i = 0; i < 2000; ++i) {
    // Points on the diagonal, on the shared vertical edge, and anywhere in the squares.
    const float s = t(rng);
    const TFloatPoint onDiagonal{7 * s, 5 * s};
    if (s < 1) {
      EXPECT_EQ(PointInPolygon(upper, onDiagonal) + PointInPolygon(lower, onDiagonal), 1) << s;
    }
    const TFloatPoint onShared{10, 10 * s};
    EXPECT_EQ(PointInPolygon(kSquare, onShared) + PointInPolygon(right, onShared), 1) << s;
    const TFloatPoint anywhere{20 * t(rng), 10 * t(rng)};
    EXPECT_EQ(PointInPolygon(kSquare, anywhere) + PointInPolygon(right, anywhere), 1);
  }
}

TEST(PointInPolygon, DegenerateInputHoldsNothing) {
  EXPECT_FALSE(PointInPolygon(nullptr, 4, {1, 1}));
  EXPECT_FALSE(PointInPolygon(std::vector<TFloatPoint>{{0, 0}, {10, 10}}, {5, 5}));
  EXPECT_FALSE(PointInPolygon(std::vector<TFloatPoint>{{0, 0}, {10, 0}, {20, 0}}, {5, 0}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_FALSE(PointInPolygon(kSquare, {nan, 5}));
  EXPECT_FALSE(PointInPolygon(kSquare, {5, nan}));
  EXPECT_FALSE(PointInPolygon(kSquare, {inf, 5}));
  EXPECT_FALSE(PointInPolygon(kSquare, {-inf, 5}));
  EXPECT_FALSE(PointInPolygon(std::vector<TFloatPoint>{{0, 0}, {nan, 0}, {10, 10}}, {5, 5}));
}

TEST(PointInPolygon, AgreesWithTheCanvasFillAtPixelCentres) {
  std::mt19937 rng(42);
  std::uniform_int_distribution<int32_t> coord(-5, 45);
  for (int round = 0; round < 60; ++round) {
    const int n = 3 + round % 7;
    std::vector<TPoint> points;
    std::vector<TFloatPoint> floats;
    for (int i = 0; i < n; ++i) {
      points.push_back({coord(rng), coord(rng)});
      floats.push_back({static_cast<float>(points.back().X), static_cast<float>(points.back().Y)});
    }
    TBitmap32 b;
    b.SetSize(40, 40);
    b.Clear(clWhite32);
    TBitmapCanvas canvas(b);
    canvas.SetPen(TPen{clBlack32, 1, psClear, pmCopy});
    canvas.SetBrush(TBrush{clBlack32, bsSolid});
    canvas.Polygon(points.data(), n);
    for (int32_t y = 0; y < 40; ++y) {
      for (int32_t x = 0; x < 40; ++x) {
        const bool filled = b.Pixel(x, y) != clWhite32;
        ASSERT_EQ(filled, PointInPolygon(floats, {x + 0.5f, y + 0.5f})) << "round " << round << " at " << x << "," << y;
      }
    }
  }
}

TEST(PolygonRegion, BoundsAndContainsFollowTheSameRule) {
  const TPolygonRegion empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_FALSE(empty.Contains(0, 0));
  EXPECT_EQ(empty.Bounds(), TFloatRect{});

  const TPolygonRegion diamond({{10, 0}, {20, 10}, {10, 20}, {0, 10}});
  EXPECT_EQ(diamond.Bounds(), (TFloatRect{0, 0, 20, 20}));
  EXPECT_TRUE(diamond.Contains(10, 10));
  EXPECT_FALSE(diamond.Contains(10, 0));  // the top corner is a row of no width
  EXPECT_TRUE(diamond.Contains(10, 0.5f));
  EXPECT_TRUE(diamond.Contains(0, 10));  // the left corner, as a left edge
  EXPECT_FALSE(diamond.Contains(20, 10));
  EXPECT_FALSE(diamond.Contains(10, 20));
  EXPECT_FALSE(diamond.Contains(1, 1));
  EXPECT_FALSE(diamond.Contains(25, 10));
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> c(-2, 22);
  for (int i = 0; i < 1000; ++i) {
    const TFloatPoint p{c(rng), c(rng)};
    EXPECT_EQ(diamond.Contains(p), PointInPolygon(diamond.Points(), p));
  }
}

}  // namespace
}  // namespace sw
