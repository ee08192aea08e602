// Affine transforms carrying shape geometry between millimetre frames and pixel grids. Every
// operation multiplies the new step in front of the current matrix, so steps act on a point in the
// order they were called.
#pragma once

#include <cstdint>
#include <memory>

#include "raster/color32.h"
#include "raster/geometry.h"

namespace sw {

// Base of the transform family: no data of its own.
class TdtpTransform {
public:
  TdtpTransform() = default;
  virtual ~TdtpTransform() = default;
  TdtpTransform(const TdtpTransform&) = default;
  TdtpTransform& operator=(const TdtpTransform&) = default;

  // A new transform of this object's own class, in its initial state (the virtual constructor).
  virtual std::unique_ptr<TdtpTransform> CreateNew() const = 0;
  // Copies what both classes share; the base holds nothing.
  virtual void Assign(const TdtpTransform& source) { (void)source; }
  virtual bool IsAffine() const = 0;
  // Replaces the transform by its inverse; a singular one yields infinite or undefined values.
  virtual void Invert() = 0;
  virtual TFloatPoint TransformPoint(const TFloatPoint& p) const = 0;
};

class TdtpAffineTransform : public TdtpTransform {
public:
  // x' = A*x + C*y + E, y' = B*x + D*y + F. A new transform is the identity.
  double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;

  TdtpAffineTransform() = default;
  TdtpAffineTransform(double a, double b, double c, double d, double e, double f)
      : A(a), B(b), C(c), D(d), E(e), F(f) {}

  std::unique_ptr<TdtpTransform> CreateNew() const override;
  // Copies the six values from another affine transform; other classes copy nothing.
  void Assign(const TdtpTransform& source) override;
  bool IsAffine() const override { return true; }
  void Invert() override;
  // Single precision in and out, computed in extended precision.
  TFloatPoint TransformPoint(const TFloatPoint& p) const override;
  // Transforms count points in place (nothing for a null array or a count <= 0).
  void TransformPoints(TFloatPoint* points, int32_t count) const;

  void Translate(double dx, double dy);
  void Scale(double sx, double sy);
  // alpha in degrees; on a y-down grid a positive angle turns clockwise. The centre (cx, cy) is a
  // fixed point; a zero centre adds no translations.
  void Rotate(double alpha, double cx = 0, double cy = 0);
  // Replaces M by S x M: S acts after everything already in the matrix.
  void Multiply(const TdtpAffineTransform& s);

  bool operator==(const TdtpAffineTransform& o) const {
    return A == o.A && B == o.B && C == o.C && D == o.D && E == o.E && F == o.F;
  }
};

// The matrix from a local area (millimetres) to a width x height bitmap covering it exactly.
TdtpAffineTransform PaintMatrix(const TFloatRect& area, int32_t width, int32_t height);

// Whole-pixel extents of a shape's cache at dpm pixels per millimetre: Left and Top are the curb
// margins ceil(curb * dpm), Width and Height the pixels from the shape's origin to its far curb
// edges, so the cache bitmap is (Left + Width) x (Top + Height).
struct TCacheExtent {
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  int32_t BitmapWidth() const { return Left + Width; }
  int32_t BitmapHeight() const { return Top + Height; }
  // The cache's own area in local millimetres, for its paint matrix.
  TFloatRect LocalArea(double dpm) const;
};
// Non-finite or out-of-range products saturate instead of overflowing; negative extents become 0.
TCacheExtent CacheExtent(double dpm, float curbLeft, float curbTop, float curbRight, float curbBottom,
                         float width, float height);

// Where a shape's cache lies on a target bitmap covering area (millimetres) with width x height
// pixels. In its own frame (ownFrame) the shape's rotation and position are left out.
struct TCachePlacement {
  double Dpm = 1;
  TCacheExtent Extent;
  double DocAngle = 0;
  double DocLeft = 0, DocTop = 0;
  bool OwnFrame = false;
};
TdtpAffineTransform CacheToTargetMatrix(const TCachePlacement& placement, const TFloatRect& area,
                                        int32_t width, int32_t height);

}  // namespace sw
