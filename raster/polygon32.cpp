#include "raster/polygon32.h"

#include <algorithm>
#include <cmath>

#include "raster/blend.h"

namespace sw {

namespace {

// An edge in scan units, top end first; Dir is +1 for edges running down, -1 for edges up.
struct TEdge {
  int64_t X0, Y0, X1, Y1;
  int32_t Dir;
};

struct TCrossing {
  double X;
  int32_t Dir;
  bool operator<(const TCrossing& o) const { return X < o.X; }
};

template <typename Convert>
std::vector<TEdge> BuildEdges(const TArrayOfArrayOfFixedPoint& contours, Convert convert) {
  std::vector<TEdge> edges;
  for (const TArrayOfFixedPoint& c : contours) {
    if (c.size() < 3) continue;
    for (size_t i = 0; i < c.size(); ++i) {
      const TFixedPoint& a = c[i];
      const TFixedPoint& b = c[(i + 1) % c.size()];
      int64_t ax = convert(a.X), ay = convert(a.Y), bx = convert(b.X), by = convert(b.Y);
      if (ay == by) continue;  // horizontal edges cross no scanline
      if (ay < by) {
        edges.push_back(TEdge{ax, ay, bx, by, 1});
      } else {
        edges.push_back(TEdge{bx, by, ax, ay, -1});
      }
    }
  }
  std::sort(edges.begin(), edges.end(), [](const TEdge& l, const TEdge& r) { return l.Y0 < r.Y0; });
  return edges;
}

// Visits scanlines [from, to) with their sample positions; an edge crosses a scanline whose
// sample lies in [Y0, Y1). visit(line, spans) receives the inside spans of the fill rule.
template <typename Sample, typename Visit>
void Scan(const std::vector<TEdge>& edges, int64_t from, int64_t to, TPolyFillMode mode, Sample sample, Visit visit) {
  std::vector<const TEdge*> active;
  std::vector<TCrossing> crossings;
  size_t next = 0;
  for (int64_t line = from; line < to; ++line) {
    const int64_t ys = sample(line);
    while (next < edges.size() && edges[next].Y0 <= ys) active.push_back(&edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [ys](const TEdge* e) { return e->Y1 <= ys; }),
                 active.end());
    if (active.empty()) {
      if (next >= edges.size()) break;
      continue;
    }
    crossings.clear();
    for (const TEdge* e : active) {
      const double x = static_cast<double>(e->X0) + static_cast<double>(ys - e->Y0) *
                                                         static_cast<double>(e->X1 - e->X0) /
                                                         static_cast<double>(e->Y1 - e->Y0);
      crossings.push_back(TCrossing{x, e->Dir});
    }
    std::sort(crossings.begin(), crossings.end());
    if (mode == pfAlternate) {
      for (size_t i = 0; i + 1 < crossings.size(); i += 2) visit(line, crossings[i].X, crossings[i + 1].X);
    } else {
      int32_t winding = 0;
      for (size_t i = 0; i + 1 < crossings.size(); ++i) {
        winding += crossings[i].Dir;
        if (winding != 0) visit(line, crossings[i].X, crossings[i + 1].X);
      }
    }
  }
}

void FillPlain(const TArrayOfArrayOfFixedPoint& contours, TPolyFillMode mode, TBitmap32& target, const TRect& clip,
               TColor32 color) {
  const std::vector<TEdge> edges = BuildEdges(contours, [](TFixed v) { return static_cast<int64_t>(v); });
  if (edges.empty()) return;
  int64_t yMin = edges.front().Y0, yMax = yMin;
  for (const TEdge& e : edges) yMax = std::max(yMax, e.Y1);
  // Rows are sampled at their pixel centres.
  const int64_t from = std::max<int64_t>(clip.Top, (yMin - 0x8000) >> 16);
  const int64_t to = std::min<int64_t>(clip.Bottom, ((yMax - 0x8000) >> 16) + 1);
  const std::vector<TColor32> row(static_cast<size_t>(clip.Width()), color);
  const TBlendLine blend = BlendLineOf(target.CombineMode);
  Scan(edges, from, to, mode, [](int64_t line) { return line * 65536 + 0x8000; },
       [&](int64_t line, double xa, double xb) {
         // Pixels whose centre lies inside [xa, xb).
         const double a = std::ceil((xa - 0x8000) / 65536.0), b = std::ceil((xb - 0x8000) / 65536.0);
         const int64_t l = static_cast<int64_t>(std::max<double>(a, clip.Left));
         const int64_t r = static_cast<int64_t>(std::min<double>(b, clip.Right));
         if (l >= r) return;
         blend(row.data(), target.ScanLine(static_cast<int32_t>(line)) + l, static_cast<int32_t>(r - l));
       });
}

void FillAntialiased(const TArrayOfArrayOfFixedPoint& contours, TPolyFillMode mode, int32_t aaMode, TBitmap32& target,
                     const TRect& clip, TColor32 color) {
  // Sub-scanlines per pixel row, the 16.16 shift to sub-pixel units with its bias, and the factor
  // that takes the largest coverage count n * (n - 1) to 255.
  int32_t shift = 13, n = 8, k = 1167;
  if (aaMode == 0) {
    shift = 12, n = 16, k = 273;
  } else if (aaMode == 2) {
    shift = 14, n = 4, k = 5460;
  }
  const int64_t bias = (int64_t(1) << (shift - 2)) - 1;
  const std::vector<TEdge> edges =
      BuildEdges(contours, [shift, bias](TFixed v) { return (static_cast<int64_t>(v) + bias) >> shift; });
  if (edges.empty()) return;
  int64_t yMin = edges.front().Y0, yMax = yMin;
  for (const TEdge& e : edges) yMax = std::max(yMax, e.Y1);
  const int64_t from = std::max<int64_t>(static_cast<int64_t>(clip.Top) * n, yMin);
  const int64_t to = std::min<int64_t>(static_cast<int64_t>(clip.Bottom) * n, yMax);
  if (from >= to) return;

  const int32_t width = clip.Width();
  std::vector<int32_t> partial(static_cast<size_t>(width) + 1), delta(static_cast<size_t>(width) + 1);
  std::vector<TColor32> row(static_cast<size_t>(width));
  int32_t touchedLo = width, touchedHi = -1;
  int64_t currentRow = -1;
  const TColor32 rgb = color & 0x00FFFFFFu;
  const uint32_t master = AlphaOf(color);
  const TBlendLineEx blend = BlendLineExOf(target.CombineMode);
  const int64_t subLeft = static_cast<int64_t>(clip.Left) * n, subRight = static_cast<int64_t>(clip.Right) * n;

  // Pixels whose partial or delta entry was touched in the current row; the stretches between
  // them have constant coverage and are filled in one go.
  std::vector<uint64_t> dirty(static_cast<size_t>(width) / 64 + 2);
  auto mark = [&dirty](int32_t p) { dirty[static_cast<size_t>(p) >> 6] |= uint64_t(1) << (p & 63); };
  auto colourOf = [rgb, k](int32_t c) {
    return rgb | ((((static_cast<uint32_t>(c) * static_cast<uint32_t>(k)) >> 8) & 255) << 24);
  };
  auto flush = [&]() {
    if (touchedHi < touchedLo) return;
    int32_t full = 0, pos = touchedLo;
    for (int32_t w = touchedLo >> 6; w <= touchedHi >> 6; ++w) {
      uint64_t bits = dirty[static_cast<size_t>(w)];
      dirty[static_cast<size_t>(w)] = 0;
      while (bits) {
        const int32_t e = w * 64 + __builtin_ctzll(bits);
        bits &= bits - 1;
        std::fill(row.begin() + pos, row.begin() + e, colourOf(full));
        full += delta[static_cast<size_t>(e)];
        row[static_cast<size_t>(e)] = colourOf(full + partial[static_cast<size_t>(e)]);
        partial[static_cast<size_t>(e)] = 0;
        delta[static_cast<size_t>(e)] = 0;
        pos = e + 1;
      }
    }
    std::fill(row.begin() + pos, row.begin() + touchedHi + 1, colourOf(full));
    // Pixels of coverage 0 are left as they are by both row blends.
    TColor32* dst = target.ScanLine(static_cast<int32_t>(currentRow)) + clip.Left;
    blend(row.data() + touchedLo, dst + touchedLo, touchedHi - touchedLo + 1, master);
    touchedLo = width;
    touchedHi = -1;
  };

  Scan(edges, from, to, mode, [](int64_t line) { return line; }, [&](int64_t line, double xa, double xb) {
    const int64_t pixelRow = line / n;  // line is never negative here
    if (pixelRow != currentRow) {
      flush();
      currentRow = pixelRow;
    }
    int64_t a = static_cast<int64_t>(std::max<double>(std::floor(xa), static_cast<double>(subLeft)));
    int64_t b = static_cast<int64_t>(std::min<double>(std::floor(xb), static_cast<double>(subRight)));
    if (a >= b) return;
    a -= subLeft;
    b -= subLeft;
    // Each pixel row counts the sub-samples 0 .. n - 2 of each pixel it covers.
    const int32_t pa = static_cast<int32_t>(a / n), pb = static_cast<int32_t>((b - 1) / n);
    const int64_t lastA = static_cast<int64_t>(pa) * n + n - 1;
    mark(pa);
    mark(pb);
    if (pa == pb) {
      const int64_t c = std::min(b, lastA) - a;
      if (c > 0) partial[static_cast<size_t>(pa)] += static_cast<int32_t>(c);
    } else {
      mark(pa + 1);
      if (lastA > a) partial[static_cast<size_t>(pa)] += static_cast<int32_t>(lastA - a);
      delta[static_cast<size_t>(pa) + 1] += n - 1;
      delta[static_cast<size_t>(pb)] -= n - 1;
      const int64_t startB = static_cast<int64_t>(pb) * n;
      partial[static_cast<size_t>(pb)] += static_cast<int32_t>(std::min(b, startB + n - 1) - startB);
    }
    touchedLo = std::min(touchedLo, pa);
    touchedHi = std::max(touchedHi, pb);
  });
  flush();
}

// Keeps a computed coordinate inside the 16.16 range; not-a-number gives 0.
TFixed ClampFixed(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<TFixed>(std::clamp(std::round(v), -2147483648.0, 2147483647.0));
}

}  // namespace

TPolygon32::TPolygon32() { NewContour(); }

void TPolygon32::NewContour() {
  points_.emplace_back();
  PointsChanged();
}

void TPolygon32::AddPoint(const TFixedPoint& p) {
  if (points_.empty()) points_.emplace_back();
  points_.back().push_back(p);
  PointsChanged();
}

void TPolygon32::AddPoints(const TFixedPoint* points, int32_t count) {
  if (!points || count <= 0) return;
  if (points_.empty()) points_.emplace_back();
  points_.back().insert(points_.back().end(), points, points + count);
  PointsChanged();
}

void TPolygon32::Clear() {
  points_.clear();
  points_.emplace_back();
  PointsChanged();
}

void TPolygon32::SetPoints(const TArrayOfArrayOfFixedPoint& points) {
  points_ = points;
  PointsChanged();
}

const std::vector<std::vector<TPolygon32::TNormal>>& TPolygon32::Normals() const {
  if (normals_) return *normals_;
  auto normals = std::make_unique<std::vector<std::vector<TNormal>>>();
  for (const TArrayOfFixedPoint& c : points_) {
    std::vector<TNormal> ns(c.size());
    const size_t n = c.size();
    TNormal last{};
    for (size_t i = 0; i < n; ++i) {
      const bool wrap = i + 1 == n;
      if (wrap && !Closed) {
        ns[i] = last;  // the last point of an open contour reuses the previous segment
        continue;
      }
      const TFixedPoint& a = c[i];
      const TFixedPoint& b = c[wrap ? 0 : i + 1];
      const double dx = static_cast<double>(b.X) - a.X, dy = static_cast<double>(b.Y) - a.Y;
      const double len = std::hypot(dx, dy);
      // A segment of zero length has no direction; it takes the previous one.
      if (len > 0) last = TNormal{dy / len, -dx / len};
      ns[i] = last;
    }
    // A closed contour starting with repeated points has its first normals taken from the end.
    if (n > 0 && Closed) {
      for (size_t i = 0; i < n && ns[i].X == 0 && ns[i].Y == 0; ++i) ns[i] = ns[n - 1];
    }
    normals->push_back(std::move(ns));
  }
  normals_ = std::move(normals);
  return *normals_;
}

void TPolygon32::CopySettings(TPolygon32& to) const {
  to.Closed = Closed;
  to.Antialiased = Antialiased;
  to.AntialiasMode = AntialiasMode;
  to.FillMode = FillMode;
}

void TPolygon32::DrawFill(TBitmap32& target, TColor32 color) const {
  target.BeginUpdate();
  const TRect clip = target.ClipRect();
  if (!target.Empty() && !clip.IsEmpty()) {
    if (Antialiased) {
      FillAntialiased(points_, FillMode, AntialiasMode, target, clip, color);
    } else {
      FillPlain(points_, FillMode, target, clip, color);
    }
  }
  target.EndUpdate();
  target.Changed();
}

void TPolygon32::DrawEdge(TBitmap32& target, TColor32 color) const {
  target.BeginUpdate();
  if (!target.Empty()) {
    for (const TArrayOfFixedPoint& c : points_) {
      const size_t n = c.size();
      if (n == 0) continue;
      if (n == 1) {
        if (Antialiased) {
          target.PlotAntialiased(c[0].X, c[0].Y, color);
        } else {
          target.SetPixelTS(FixedToInt(c[0].X), FixedToInt(c[0].Y), color);
        }
        continue;
      }
      const size_t segments = Closed && n > 2 ? n : n - 1;
      for (size_t i = 0; i < segments; ++i) {
        const TFixedPoint& a = c[i];
        const TFixedPoint& b = c[(i + 1) % n];
        if (Antialiased) {
          target.LineXS(a.X, a.Y, b.X, b.Y, color);
        } else {
          target.LineTS(FixedToInt(a.X), FixedToInt(a.Y), FixedToInt(b.X), FixedToInt(b.Y), color);
        }
      }
    }
  }
  target.EndUpdate();
  target.Changed();
}

std::unique_ptr<TPolygon32> TPolygon32::Outline() const {
  auto result = std::make_unique<TPolygon32>();
  CopySettings(*result);
  result->Closed = true;
  TArrayOfArrayOfFixedPoint contours;
  for (const TArrayOfFixedPoint& c : points_) {
    if (c.size() < 2) continue;
    if (Closed) {
      contours.push_back(c);
      contours.emplace_back(c.rbegin(), c.rend());
    } else {
      // Forwards to the end and back, without repeating the two ends.
      TArrayOfFixedPoint band(c);
      for (size_t i = c.size() - 1; i-- > 1;) band.push_back(c[i]);
      contours.push_back(std::move(band));
    }
  }
  result->SetPoints(contours);
  return result;
}

std::unique_ptr<TPolygon32> TPolygon32::Grow(TFixed delta, float edgeSharpness) const {
  auto result = std::make_unique<TPolygon32>();
  CopySettings(*result);
  if (delta == 0) {
    result->SetPoints(points_);
    return result;
  }
  double sharpness = std::isnan(edgeSharpness) ? 0.0 : std::clamp<double>(edgeSharpness, 0.0, 0.99);
  const double d = delta;
  const auto& normals = Normals();
  TArrayOfArrayOfFixedPoint contours;
  for (size_t ci = 0; ci < points_.size(); ++ci) {
    const TArrayOfFixedPoint& c = points_[ci];
    const std::vector<TNormal>& ns = normals[ci];
    const size_t n = c.size();
    TArrayOfFixedPoint out;
    out.reserve(n * 2);
    auto emit = [&](const TFixedPoint& p, double vx, double vy) {
      out.push_back(TFixedPoint{ClampFixed(p.X + vx), ClampFixed(p.Y + vy)});
    };
    for (size_t i = 0; i < n; ++i) {
      const double nx = ns[i].X * d, ny = ns[i].Y * d;
      if (!Closed && i == 0) {
        emit(c[i], nx, ny);
        continue;
      }
      const TNormal& prev = ns[i == 0 ? n - 1 : i - 1];
      const double px = prev.X * d, py = prev.Y * d;
      if (!Closed && i + 1 == n) {
        emit(c[i], px, py);
        continue;
      }
      // L / delta = 1 + cos(turn); the mitre point lies at (P + N) * delta / L. Comparing the
      // ratio rather than L itself keeps the rule the same for a negative delta.
      const double sx = px + nx, sy = py + ny;
      const double l = (px * sx + py * sy) / d;
      if (l / d > 1 - sharpness) {
        emit(c[i], sx * d / l, sy * d / l);
      } else {
        emit(c[i], px, py);
        emit(c[i], nx, ny);
      }
    }
    contours.push_back(std::move(out));
  }
  result->SetPoints(contours);
  return result;
}

}  // namespace sw
