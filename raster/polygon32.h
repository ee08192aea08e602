// TPolygon32: contours in 16.16 target pixels, filled by scanline (even-odd or non-zero, plain or
// supersampled), drawn as one-pixel edges, outlined and grown.
#pragma once

#include <memory>
#include <vector>

#include "raster/bitmap32.h"

namespace sw {

enum TPolyFillMode { pfAlternate = 0, pfWinding = 1 };

class TPolygon32 : public TThreadPersistent {
public:
  TPolygon32();

  // Appends an empty contour; AddPoint and AddPoints append to the last one (creating it when
  // there is none).
  void NewContour();
  void AddPoint(const TFixedPoint& p);
  void AddPoints(const TFixedPoint* points, int32_t count);
  void Clear();
  const TArrayOfArrayOfFixedPoint& Points() const { return points_; }
  void SetPoints(const TArrayOfArrayOfFixedPoint& points);

  // Unit normal of each point, from the segment to the next point (the last point of an open
  // contour reuses the previous segment); computed when first asked for.
  struct TNormal {
    double X = 0, Y = 0;
  };
  const std::vector<std::vector<TNormal>>& Normals() const;

  // Fills with the fill rule; contours of fewer than 3 points are left out; rows stay inside the
  // target's ClipRect. Antialiased fills lay coverage rows with the target's CombineMode and the
  // colour's alpha as master alpha.
  void DrawFill(TBitmap32& target, TColor32 color) const;
  // Draws every contour as a one-pixel polyline (closed when Closed).
  void DrawEdge(TBitmap32& target, TColor32 color) const;
  // Contours that run forwards and back along the edges, so that growing them gives a band on
  // both sides; contours of fewer than 2 points are left out.
  std::unique_ptr<TPolygon32> Outline() const;
  // Moves every point along its normal by delta (16.16), mitring joints whose turn is mild
  // enough for edgeSharpness (clamped to [0, 0.99]) and bevelling the others.
  std::unique_ptr<TPolygon32> Grow(TFixed delta, float edgeSharpness = 0) const;

  bool Closed = true;
  bool Antialiased = false;
  // 0, 1, 2: 16, 8 or 4 sub-scanlines per pixel row; other values are taken as 1.
  int32_t AntialiasMode = 1;
  TPolyFillMode FillMode = pfAlternate;

private:
  void PointsChanged() { normals_.reset(); }
  void CopySettings(TPolygon32& to) const;

  TArrayOfArrayOfFixedPoint points_;
  mutable std::unique_ptr<std::vector<std::vector<TNormal>>> normals_;
};

}  // namespace sw
