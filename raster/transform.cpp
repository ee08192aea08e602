#include "raster/transform.h"

#include <cmath>
#include <limits>

namespace sw {

std::unique_ptr<TdtpTransform> TdtpAffineTransform::CreateNew() const {
  return std::make_unique<TdtpAffineTransform>();
}

void TdtpAffineTransform::Assign(const TdtpTransform& source) {
  if (const auto* s = dynamic_cast<const TdtpAffineTransform*>(&source)) {
    A = s->A;
    B = s->B;
    C = s->C;
    D = s->D;
    E = s->E;
    F = s->F;
  }
}

void TdtpAffineTransform::Multiply(const TdtpAffineTransform& s) {
  const double a = s.A * A + s.C * B;
  const double b = s.B * A + s.D * B;
  const double c = s.A * C + s.C * D;
  const double d = s.B * C + s.D * D;
  const double e = s.A * E + s.C * F + s.E;
  const double f = s.B * E + s.D * F + s.F;
  A = a;
  B = b;
  C = c;
  D = d;
  E = e;
  F = f;
}

void TdtpAffineTransform::Translate(double dx, double dy) { Multiply({1, 0, 0, 1, dx, dy}); }

void TdtpAffineTransform::Scale(double sx, double sy) { Multiply({sx, 0, 0, sy, 0, 0}); }

void TdtpAffineTransform::Rotate(double alpha, double cx, double cy) {
  const bool centred = cx != 0 || cy != 0;
  if (centred) Translate(-cx, -cy);
  const double r = alpha * M_PI / 180.0;
  const double cs = std::cos(r), sn = std::sin(r);
  Multiply({cs, sn, -sn, cs, 0, 0});
  if (centred) Translate(cx, cy);
}

void TdtpAffineTransform::Invert() {
  // A singular matrix makes k infinite; the caller (the sampler) copes with the result.
  const double k = 1.0 / (A * D - B * C);
  const double a = k * D;
  const double b = -k * B;
  const double c = -k * C;
  const double d = k * A;
  const double e = k * (C * F - D * E);
  const double f = k * (B * E - A * F);
  A = a;
  B = b;
  C = c;
  D = d;
  E = e;
  F = f;
}

TFloatPoint TdtpAffineTransform::TransformPoint(const TFloatPoint& p) const {
  const long double x = p.X, y = p.Y;
  const long double nx = static_cast<long double>(A) * x + static_cast<long double>(C) * y + E;
  const long double ny = static_cast<long double>(B) * x + static_cast<long double>(D) * y + F;
  return {static_cast<float>(nx), static_cast<float>(ny)};
}

void TdtpAffineTransform::TransformPoints(TFloatPoint* points, int32_t count) const {
  if (!points) return;
  for (int32_t i = 0; i < count; ++i) points[i] = TransformPoint(points[i]);
}

TdtpAffineTransform PaintMatrix(const TFloatRect& area, int32_t width, int32_t height) {
  TdtpAffineTransform m;
  m.Translate(-static_cast<double>(area.Left), -static_cast<double>(area.Top));
  m.Scale(width / (static_cast<double>(area.Right) - area.Left),
          height / (static_cast<double>(area.Bottom) - area.Top));
  return m;
}

namespace {

// ceil into int32 range, NaN as 0: cache sizes come from user-editable geometry.
int32_t CeilToInt(double v) {
  if (std::isnan(v)) return 0;
  const double c = std::ceil(v);
  if (c >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (c <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(c);
}

// Negative curbs or sizes make no cache pixels.
int32_t NonNegative(int32_t v) { return v < 0 ? 0 : v; }

}  // namespace

TCacheExtent CacheExtent(double dpm, float curbLeft, float curbTop, float curbRight, float curbBottom,
                         float width, float height) {
  TCacheExtent e;
  e.Left = NonNegative(CeilToInt(curbLeft * dpm));
  e.Top = NonNegative(CeilToInt(curbTop * dpm));
  e.Width = NonNegative(CeilToInt((static_cast<double>(width) + curbRight) * dpm));
  e.Height = NonNegative(CeilToInt((static_cast<double>(height) + curbBottom) * dpm));
  // Left + Width and Top + Height stay inside int32, so an absurd curb gives a size the bitmap
  // refuses rather than a wrapped one.
  if (e.Width > std::numeric_limits<int32_t>::max() - e.Left)
    e.Width = std::numeric_limits<int32_t>::max() - e.Left;
  if (e.Height > std::numeric_limits<int32_t>::max() - e.Top)
    e.Height = std::numeric_limits<int32_t>::max() - e.Top;
  return e;
}

TFloatRect TCacheExtent::LocalArea(double dpm) const {
  return TFloatRect{static_cast<float>(-Left / dpm), static_cast<float>(-Top / dpm),
                    static_cast<float>(Width / dpm), static_cast<float>(Height / dpm)};
}

TdtpAffineTransform CacheToTargetMatrix(const TCachePlacement& p, const TFloatRect& area, int32_t width,
                                        int32_t height) {
  TdtpAffineTransform m;
  m.Translate(-static_cast<double>(p.Extent.Left), -static_cast<double>(p.Extent.Top));
  m.Scale(1.0 / p.Dpm, 1.0 / p.Dpm);
  if (!p.OwnFrame) {
    // The pivot is the shape's local origin, its unrotated top-left corner.
    m.Rotate(-p.DocAngle, 0, 0);
    m.Translate(p.DocLeft, p.DocTop);
  }
  m.Translate(-static_cast<double>(area.Left), -static_cast<double>(area.Top));
  m.Scale(width / (static_cast<double>(area.Right) - area.Left),
          height / (static_cast<double>(area.Bottom) - area.Top));
  return m;
}

}  // namespace sw
