#include "platform/region.h"

#include <algorithm>
#include <cmath>

namespace sw {

bool PointInPolygon(const TFloatPoint* points, int32_t count, TFloatPoint p) {
  if (!points || count < 3 || std::isnan(p.X) || std::isnan(p.Y)) return false;
  // A ray to the right; an edge counts when it spans the point's y with its upper end included
  // (a.Y <= y < b.Y in either direction) and crosses strictly right of the point. That puts top
  // and left edges inside and bottom and right edges outside.
  const double px = p.X, py = p.Y;
  bool inside = false;
  for (int32_t i = 0, j = count - 1; i < count; j = i++) {
    // Each edge is taken from its upper end, so that two figures sharing an edge compute the
    // very same crossing whichever way round they run.
    const TFloatPoint& a = points[j].Y <= points[i].Y ? points[j] : points[i];
    const TFloatPoint& b = points[j].Y <= points[i].Y ? points[i] : points[j];
    const double ax = a.X, ay = a.Y, bx = b.X, by = b.Y;
    if (!(ay <= py && py < by)) continue;  // horizontal edges and edges not spanning py
    const double x = ax + (py - ay) * (bx - ax) / (by - ay);
    if (px < x) inside = !inside;
  }
  return inside;
}

TPolygonRegion::TPolygonRegion(std::vector<TFloatPoint> points) : points_(std::move(points)) {
  if (Empty()) return;
  bounds_ = {points_[0].X, points_[0].Y, points_[0].X, points_[0].Y};
  for (const TFloatPoint& q : points_) {
    bounds_.Left = std::min(bounds_.Left, q.X);
    bounds_.Top = std::min(bounds_.Top, q.Y);
    bounds_.Right = std::max(bounds_.Right, q.X);
    bounds_.Bottom = std::max(bounds_.Bottom, q.Y);
  }
}

bool TPolygonRegion::Contains(TFloatPoint p) const {
  if (Empty()) return false;
  // The bounds test also settles the half-open edges: nothing at or beyond Right or Bottom.
  if (!(p.X >= bounds_.Left && p.X < bounds_.Right && p.Y >= bounds_.Top && p.Y < bounds_.Bottom)) return false;
  return PointInPolygon(points_.data(), static_cast<int32_t>(points_.size()), p);
}

}  // namespace sw
