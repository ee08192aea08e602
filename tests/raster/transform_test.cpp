#include "raster/transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace sw {
namespace {

void ExpectMatrix(const TdtpAffineTransform& m, double a, double b, double c, double d, double e, double f) {
  EXPECT_NEAR(m.A, a, 1e-12);
  EXPECT_NEAR(m.B, b, 1e-12);
  EXPECT_NEAR(m.C, c, 1e-12);
  EXPECT_NEAR(m.D, d, 1e-12);
  EXPECT_NEAR(m.E, e, 1e-9);
  EXPECT_NEAR(m.F, f, 1e-9);
}

void ExpectPoint(const TFloatPoint& p, double x, double y, double tol = 1e-4) {
  EXPECT_NEAR(p.X, x, tol);
  EXPECT_NEAR(p.Y, y, tol);
}

TEST(AffineTransform, OperationsActInCallOrder) {
  TdtpAffineTransform m;
  ExpectMatrix(m, 1, 0, 0, 1, 0, 0);
  m.Translate(1, 2);
  m.Scale(2, 2);
  ExpectPoint(m.TransformPoint({0, 0}), 2, 4);
  ExpectPoint(m.TransformPoint({1, 1}), 4, 6);

  TdtpAffineTransform n;
  n.Scale(2, 2);
  n.Translate(1, 2);
  ExpectPoint(n.TransformPoint({0, 0}), 1, 2);
}

TEST(AffineTransform, RotateQuarterTurnAndCentre) {
  TdtpAffineTransform m;
  m.Rotate(90, 0, 0);
  ExpectMatrix(m, 0, 1, -1, 0, 0, 0);
  ExpectPoint(m.TransformPoint({1, 0}), 0, 1);

  // A zero centre adds no translation, even after an earlier one.
  TdtpAffineTransform t;
  t.Translate(3, 4);
  t.Rotate(30);
  const double r = 30 * M_PI / 180;
  ExpectMatrix(t, std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 3 * std::cos(r) - 4 * std::sin(r),
               3 * std::sin(r) + 4 * std::cos(r));

  // With a centre the centre stays put and other points turn around it.
  TdtpAffineTransform c;
  c.Rotate(90, 5, 7);
  ExpectPoint(c.TransformPoint({5, 7}), 5, 7);
  ExpectPoint(c.TransformPoint({6, 7}), 5, 8);
}

TEST(AffineTransform, InvertAndMultiply) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> dist(-5, 5);
  for (int i = 0; i < 50; ++i) {
    TdtpAffineTransform m(dist(rng), dist(rng), dist(rng), dist(rng), dist(rng), dist(rng));
    if (std::fabs(m.A * m.D - m.B * m.C) < 0.1) continue;
    TdtpAffineTransform inv;
    inv.Assign(m);
    EXPECT_EQ(inv, m);
    inv.Invert();
    TdtpAffineTransform product = m;
    product.Multiply(inv);  // inv acts after m
    ExpectMatrix(product, 1, 0, 0, 1, 0, 0);
    const TFloatPoint p{static_cast<float>(dist(rng)), static_cast<float>(dist(rng))};
    const TFloatPoint back = inv.TransformPoint(m.TransformPoint(p));
    ExpectPoint(back, p.X, p.Y, 1e-3);
  }
  // The inverse formula itself, on a known matrix.
  TdtpAffineTransform k(2, 0, 0, 4, 6, 8);
  k.Invert();
  ExpectMatrix(k, 0.5, 0, 0, 0.25, -3, -2);
}

TEST(AffineTransform, SingularAndNonFiniteDoNotCrash) {
  TdtpAffineTransform s(1, 2, 2, 4, 0, 0);
  s.Invert();
  EXPECT_FALSE(std::isfinite(s.A) && std::isfinite(s.D) && std::isfinite(s.E));
  const TFloatPoint p = s.TransformPoint({1, 1});
  EXPECT_FALSE(std::isfinite(p.X) && std::isfinite(p.Y));

  TdtpAffineTransform n(NAN, 0, 0, 1, INFINITY, 0);
  n.Invert();
  n.Rotate(45, 1, 1);
  EXPECT_TRUE(std::isnan(n.TransformPoint({0, 0}).X));
}

TEST(AffineTransform, VirtualConstructorAssignAndPoints) {
  const TdtpAffineTransform m(1, 2, 3, 4, 5, 6);
  const std::unique_ptr<TdtpTransform> fresh = m.CreateNew();
  ASSERT_TRUE(fresh->IsAffine());
  ExpectMatrix(static_cast<TdtpAffineTransform&>(*fresh), 1, 0, 0, 1, 0, 0);
  fresh->Assign(m);
  EXPECT_EQ(static_cast<TdtpAffineTransform&>(*fresh), m);

  TFloatPoint pts[3] = {{0, 0}, {1, 0}, {0, 1}};
  m.TransformPoints(pts, 3);
  ExpectPoint(pts[0], 5, 6);
  ExpectPoint(pts[1], 6, 8);
  ExpectPoint(pts[2], 8, 10);
  m.TransformPoints(nullptr, 3);
  m.TransformPoints(pts, -1);
  ExpectPoint(pts[0], 5, 6);
}

TEST(PaintMatrix, MapsAreaOntoBitmap) {
  const TdtpAffineTransform m = PaintMatrix(TFloatRect{-1, -1, 9, 4}, 100, 50);
  ExpectMatrix(m, 10, 0, 0, 10, 10, 10);
  ExpectPoint(m.TransformPoint({-1, -1}), 0, 0);
  ExpectPoint(m.TransformPoint({9, 4}), 100, 50);
}

TEST(CacheMatrix, ExtentAndLocalArea) {
  // 4 px/mm, curbs 0.3 mm left, 0.25 top, 0.1 right, 0 bottom, shape 10 x 5 mm.
  const TCacheExtent e = CacheExtent(4, 0.3f, 0.25f, 0.1f, 0, 10, 5);
  EXPECT_EQ(e.Left, 2);
  EXPECT_EQ(e.Top, 1);
  EXPECT_EQ(e.Width, 41);
  EXPECT_EQ(e.Height, 20);
  EXPECT_EQ(e.BitmapWidth(), 43);
  EXPECT_EQ(e.BitmapHeight(), 21);
  // The cache's own paint matrix puts the local origin on pixel (Left, Top).
  const TdtpAffineTransform own = PaintMatrix(e.LocalArea(4), e.BitmapWidth(), e.BitmapHeight());
  ExpectPoint(own.TransformPoint({0, 0}), 2, 1);
  ExpectPoint(own.TransformPoint({10, 5}), 42, 21);

  // Absurd geometry saturates instead of wrapping.
  const TCacheExtent wild = CacheExtent(1e30, NAN, -5, 1e30f, 0, 1e30f, 1e30f);
  EXPECT_EQ(wild.Left, 0);
  EXPECT_EQ(wild.Top, 0);
  EXPECT_GE(wild.BitmapWidth(), 0);
  EXPECT_GE(wild.BitmapHeight(), 0);
}

TEST(CacheMatrix, CacheToTargetPlacesAndTurns) {
  TCachePlacement p;
  p.Dpm = 4;
  p.Extent = CacheExtent(4, 0.25f, 0.25f, 0, 0, 10, 5);
  p.DocLeft = 10;
  p.DocTop = 20;
  // Target: 200 x 200 pixels over the area (0, 0) .. (100, 100) mm, 2 px/mm.
  const TFloatRect area{0, 0, 100, 100};
  const TdtpAffineTransform m = CacheToTargetMatrix(p, area, 200, 200);
  // The cache pixel of the local origin lands on the shape's position.
  ExpectPoint(m.TransformPoint({1, 1}), 20, 40);
  ExpectPoint(m.TransformPoint({41, 21}), 40, 50);

  // A positive angle turns counter-clockwise on the y-down screen: local +x points up.
  p.DocAngle = 90;
  const TdtpAffineTransform r = CacheToTargetMatrix(p, area, 200, 200);
  ExpectPoint(r.TransformPoint({1, 1}), 20, 40);
  ExpectPoint(r.TransformPoint({5, 1}), 20, 38);

  // In the shape's own frame position and angle are left out.
  p.OwnFrame = true;
  const TdtpAffineTransform o = CacheToTargetMatrix(p, TFloatRect{-0.25f, -0.25f, 10, 5}, 41, 21);
  ExpectPoint(o.TransformPoint({1, 1}), 1, 1);
  ExpectPoint(o.TransformPoint({41, 21}), 41, 21);
}

}  // namespace
}  // namespace sw
