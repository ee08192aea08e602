// Polygon regions for hit testing: whether a point lies inside a closed figure by the alternate
// (even-odd) rule, the rule the canvas fills polygons with.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/color32.h"
#include "raster/geometry.h"

namespace sw {

// Edges follow the half-open convention of pixel rectangles: a point on a left or top edge is
// inside, one on a right or bottom edge outside, so that two figures sharing an edge never both
// claim a point on it. The rectangle (0, 0)-(10, 0)-(10, 10)-(0, 10) holds (0, 0) and (9.99, 5)
// but not (10, 5) or (5, 10). Fewer than 3 points, and NaN coordinates, hold nothing.
bool PointInPolygon(const TFloatPoint* points, int32_t count, TFloatPoint p);
inline bool PointInPolygon(const std::vector<TFloatPoint>& points, TFloatPoint p) {
  return PointInPolygon(points.data(), static_cast<int32_t>(points.size()), p);
}

// A closed figure kept for repeated hit tests (a shape's outline in window pixels).
class TPolygonRegion {
public:
  TPolygonRegion() = default;
  explicit TPolygonRegion(std::vector<TFloatPoint> points);

  // Inside by the rules of PointInPolygon; an empty region contains nothing.
  bool Contains(TFloatPoint p) const;
  bool Contains(float x, float y) const { return Contains(TFloatPoint{x, y}); }
  // The smallest rectangle holding every corner (right and bottom are the largest coordinates);
  // all zero for an empty region.
  TFloatRect Bounds() const { return bounds_; }
  const std::vector<TFloatPoint>& Points() const { return points_; }
  bool Empty() const { return points_.size() < 3; }

private:
  std::vector<TFloatPoint> points_;
  TFloatRect bounds_;
};

}  // namespace sw
