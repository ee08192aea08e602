#include "platform/bitmap_canvas.h"

#include <algorithm>
#include <cmath>

#include "base/exception.h"

namespace sw {

namespace {

constexpr int64_t kMaxPenWidth = 256;

struct TSpan {
  int64_t Y, X0, X1;  // X1 exclusive
};

// Liang-Barsky step: keeps the part of [lo, hi] where p * t <= q.
bool ClipT(double p, double q, double& lo, double& hi) {
  if (p == 0) return q >= 0;
  const double t = q / p;
  if (p < 0) {
    if (t > hi) return false;
    lo = std::max(lo, t);
  } else {
    if (t < lo) return false;
    hi = std::min(hi, t);
  }
  return true;
}

// Sorts a figure's pixels and drops repeats, so that each is touched once (XOR twice restores).
inline void SortUnique(std::vector<int64_t>& pixels) {
  std::sort(pixels.begin(), pixels.end());
  pixels.erase(std::unique(pixels.begin(), pixels.end()), pixels.end());
}

inline TColor32 ApplyMode(TColor32 pixel, TColor32 color, TPenMode mode) {
  return mode == pmXor ? pixel ^ (color & 0x00FFFFFFu) : (color & 0x00FFFFFFu);
}

}  // namespace

TBitmapCanvas::TBitmapCanvas(TBitmap32& target) : target_(target), clip_(target.BoundsRect()) {}

TRect TBitmapCanvas::ClipRect() const {
  if (target_.Empty()) return TRect{};
  return IntersectRect(clip_, target_.BoundsRect());
}

void TBitmapCanvas::AddLine(TPixelList& out, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
                              int64_t& dotPhase) const {
  const int64_t dx = x1 - x0, dy = y1 - y0;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int64_t n = std::max(adx, ady);
  if (n == 0) return;
  const int64_t phase = dotPhase;
  dotPhase += n;
  const TRect c = ClipRect();
  if (c.IsEmpty() || pen_.Style == psClear) return;
  const int64_t w = std::clamp<int64_t>(pen_.Width, 1, kMaxPenWidth);
  const bool dotted = pen_.Style == psDot && w == 1;

  // Only the steps near the clip box are visited, so a line with far-away ends costs no more than
  // one across the box.
  // Coordinates come from int32 points, far inside the 2^53 that doubles hold exactly.
  double lo = 0, hi = 1;
  const double m = static_cast<double>(w) + 2;
  const double fx0 = static_cast<double>(x0), fy0 = static_cast<double>(y0), fn = static_cast<double>(n);
  if (!ClipT(-static_cast<double>(dx), fx0 - (c.Left - m), lo, hi) ||
      !ClipT(static_cast<double>(dx), (c.Right + m) - fx0, lo, hi) ||
      !ClipT(-static_cast<double>(dy), fy0 - (c.Top - m), lo, hi) ||
      !ClipT(static_cast<double>(dy), (c.Bottom + m) - fy0, lo, hi)) {
    return;
  }
  const int64_t k0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor(lo * fn)) - 2);
  const int64_t k1 = std::min<int64_t>(n - 1, static_cast<int64_t>(std::ceil(hi * fn)) + 2);
  const bool xMajor = adx >= ady;
  const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  const int64_t stride = target_.Width();
  for (int64_t k = k0; k <= k1; ++k) {
    if (dotted && ((phase + k) & 1)) continue;
    // Closed-form Bresenham: the minor coordinate is the major step's rounded share.
    int64_t x, y;
    if (xMajor) {
      x = x0 + sx * k;
      y = y0 + sy * static_cast<int64_t>((static_cast<__int128>(2) * k * ady + adx) / (2 * adx));
    } else {
      y = y0 + sy * k;
      x = x0 + sx * static_cast<int64_t>((static_cast<__int128>(2) * k * adx + ady) / (2 * ady));
    }
    const int64_t left = x - (w - 1) / 2, top = y - (w - 1) / 2;
    for (int64_t py = std::max<int64_t>(top, c.Top); py < std::min<int64_t>(top + w, c.Bottom); ++py) {
      for (int64_t px = std::max<int64_t>(left, c.Left); px < std::min<int64_t>(left + w, c.Right); ++px) {
        out.push_back(py * stride + px);
      }
    }
  }
}

void TBitmapCanvas::AddPolyOutline(TPixelList& out, const TPoint* points, int32_t count,
                                     bool closed) const {
  int64_t phase = 0;
  for (int32_t i = 1; i < count; ++i) {
    AddLine(out, points[i - 1].X, points[i - 1].Y, points[i].X, points[i].Y, phase);
  }
  if (closed && count > 2)
    AddLine(out, points[count - 1].X, points[count - 1].Y, points[0].X, points[0].Y, phase);
}

void TBitmapCanvas::ApplyPixels(const TPixelList& pixels, TColor32 color) {
  TColor32* bits = target_.Bits();
  for (const int64_t i : pixels) bits[i] = ApplyMode(bits[i], color, pen_.Mode);
}

namespace {

// Pixels of the spans not already in the (sorted) outline, so XOR touches each pixel once.
void FillSpans(TBitmap32& target, const std::vector<TSpan>& spans, const std::vector<int64_t>& outline,
               TColor32 color, TPenMode mode) {
  TColor32* bits = target.Bits();
  const int64_t stride = target.Width();
  for (const TSpan& s : spans) {
    for (int64_t x = s.X0; x < s.X1; ++x) {
      const int64_t i = s.Y * stride + x;
      if (!outline.empty() && std::binary_search(outline.begin(), outline.end(), i)) continue;
      bits[i] = ApplyMode(bits[i], color, mode);
    }
  }
}

// Inside of a polygon by the alternate rule, sampled at pixel centres, cut to the clip.
std::vector<TSpan> PolygonSpans(const TPoint* points, int32_t count, const TRect& c) {
  std::vector<TSpan> spans;
  if (count < 3 || c.IsEmpty()) return spans;
  int64_t minY = points[0].Y, maxY = points[0].Y;
  for (int32_t i = 1; i < count; ++i) {
    minY = std::min<int64_t>(minY, points[i].Y);
    maxY = std::max<int64_t>(maxY, points[i].Y);
  }
  std::vector<double> xs;
  for (int64_t y = std::max<int64_t>(minY, c.Top); y < std::min<int64_t>(maxY + 1, c.Bottom); ++y) {
    const double yc = static_cast<double>(y) + 0.5;
    xs.clear();
    for (int32_t i = 0; i < count; ++i) {
      const TPoint& a = points[i];
      const TPoint& b = points[(i + 1) % count];
      if ((a.Y <= yc) != (b.Y <= yc)) {
        xs.push_back(a.X + (yc - a.Y) * (static_cast<double>(b.X) - a.X) / (static_cast<double>(b.Y) - a.Y));
      }
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const double x0 = std::max<double>(std::ceil(xs[i] - 0.5), c.Left);
      const double x1 = std::min<double>(std::ceil(xs[i + 1] - 0.5), c.Right);
      if (x0 < x1) spans.push_back({y, static_cast<int64_t>(x0), static_cast<int64_t>(x1)});
    }
  }
  return spans;
}

}  // namespace

void TBitmapCanvas::MoveTo(int32_t x, int32_t y) { penPos_ = {x, y}; }

void TBitmapCanvas::LineTo(int32_t x, int32_t y) {
  TPixelList pixels;
  int64_t phase = 0;
  AddLine(pixels, penPos_.X, penPos_.Y, x, y, phase);
  penPos_ = {x, y};
  SortUnique(pixels);
  ApplyPixels(pixels, pen_.Color);
  target_.Changed();
}

void TBitmapCanvas::Polyline(const TPoint* points, int32_t count) {
  if (!points || count < 2) return;
  if (count > kMaxPoints) RaiseError("Too many points");
  TPixelList outline;
  AddPolyOutline(outline, points, count, false);
  SortUnique(outline);
  ApplyPixels(outline, pen_.Color);
  penPos_ = points[count - 1];
  target_.Changed();
}

void TBitmapCanvas::Polygon(const TPoint* points, int32_t count) {
  if (!points || count < 2) return;
  if (count > kMaxPoints) RaiseError("Too many points");
  TPixelList outline;
  AddPolyOutline(outline, points, count, true);
  SortUnique(outline);
  if (brush_.Style == bsSolid)
    FillSpans(target_, PolygonSpans(points, count, ClipRect()), outline, brush_.Color, pen_.Mode);
  ApplyPixels(outline, pen_.Color);
  target_.Changed();
}

void TBitmapCanvas::Rectangle(const TRect& rect) {
  const int32_t l = std::min(rect.Left, rect.Right), r = std::max(rect.Left, rect.Right);
  const int32_t t = std::min(rect.Top, rect.Bottom), b = std::max(rect.Top, rect.Bottom);
  if (l == r || t == b) return;
  TPixelList outline;
  const TPoint corners[4] = {{l, t}, {r - 1, t}, {r - 1, b - 1}, {l, b - 1}};
  const int64_t w = static_cast<int64_t>(r) - l, h = static_cast<int64_t>(b) - t;
  if (w == 1 || h == 1) {
    // One pixel wide or high: a single line with both ends.
    int64_t phase = 0;
    AddLine(outline, l, t, static_cast<int64_t>(r) - 1 + (w > 1), static_cast<int64_t>(b) - 1 + (h > 1),
            phase);
    if (w == 1 && h == 1) AddLine(outline, l, t, static_cast<int64_t>(l) + 1, t, phase);
  } else {
    AddPolyOutline(outline, corners, 4, true);
  }
  SortUnique(outline);
  if (brush_.Style == bsSolid) {
    const TRect inner = IntersectRect(TRect{l + 1, t + 1, r - 1, b - 1}, ClipRect());
    std::vector<TSpan> spans;
    for (int64_t y = inner.Top; y < inner.Bottom; ++y) spans.push_back({y, inner.Left, inner.Right});
    // A wide pen may cover part of the inside; those pixels belong to the outline.
    FillSpans(target_, spans, pen_.Width > 1 ? outline : TPixelList{}, brush_.Color, pen_.Mode);
  }
  ApplyPixels(outline, pen_.Color);
  target_.Changed();
}

void TBitmapCanvas::Ellipse(const TRect& rect) {
  const int64_t l = std::min(rect.Left, rect.Right), r = std::max(rect.Left, rect.Right);
  const int64_t t = std::min(rect.Top, rect.Bottom), b = std::max(rect.Top, rect.Bottom);
  const TRect c = ClipRect();
  if (l == r || t == b || c.IsEmpty()) return;
  const double cx = static_cast<double>(l + r) / 2.0, cy = static_cast<double>(t + b) / 2.0;
  const double rx = static_cast<double>(r - l) / 2.0, ry = static_cast<double>(b - t) / 2.0;
  // The span of row y: pixel centres inside the ellipse; empty spans have x0 >= x1.
  auto span = [&](int64_t y, int64_t& x0, int64_t& x1) {
    x0 = 0;
    x1 = 0;
    if (y < t || y >= b) return;
    const double v = (static_cast<double>(y) + 0.5 - cy) / ry;
    const double hw = rx * std::sqrt(std::max(0.0, 1 - v * v));
    x0 = static_cast<int64_t>(std::ceil(cx - hw - 0.5));
    x1 = static_cast<int64_t>(std::floor(cx + hw - 0.5)) + 1;
  };
  TPixelList outline;
  std::vector<TSpan> inside;
  const int64_t stride = target_.Width();
  const bool dotted = pen_.Style == psDot;
  for (int64_t y = std::max<int64_t>(t, c.Top); y < std::min<int64_t>(b, c.Bottom); ++y) {
    int64_t s0, s1, p0, p1, n0, n1;
    span(y, s0, s1);
    if (s0 >= s1) continue;
    span(y - 1, p0, p1);
    span(y + 1, n0, n1);
    // Inner pixels have both vertical neighbours and both horizontal neighbours inside.
    const int64_t i0 = std::max({s0 + 1, p0 < p1 ? p0 : s1, n0 < n1 ? n0 : s1});
    const int64_t i1 = std::min({s1 - 1, p0 < p1 ? p1 : s0, n0 < n1 ? n1 : s0});
    auto outlinePart = [&](int64_t a, int64_t e) {
      for (int64_t x = std::max<int64_t>(a, c.Left); x < std::min<int64_t>(e, c.Right); ++x) {
        if (pen_.Style == psClear || (dotted && ((x + y) & 1))) continue;
        outline.push_back(y * stride + x);
      }
    };
    if (i0 < i1) {
      outlinePart(s0, i0);
      outlinePart(i1, s1);
      const int64_t f0 = std::max<int64_t>(i0, c.Left), f1 = std::min<int64_t>(i1, c.Right);
      if (f0 < f1) inside.push_back({y, f0, f1});
    } else {
      outlinePart(s0, s1);
    }
  }
  std::sort(outline.begin(), outline.end());
  if (brush_.Style == bsSolid) FillSpans(target_, inside, TPixelList{}, brush_.Color, pen_.Mode);
  ApplyPixels(outline, pen_.Color);
  target_.Changed();
}

void TBitmapCanvas::FillRect(const TRect& r, TColor32 color) {
  const TRect box = IntersectRect(r, ClipRect());
  for (int32_t y = box.Top; y < box.Bottom; ++y) {
    std::fill(target_.ScanLine(y) + box.Left, target_.ScanLine(y) + box.Right, color & 0x00FFFFFFu);
  }
  target_.Changed();
}

void TBitmapCanvas::DrawBitmap(int32_t x, int32_t y, const TBitmap32& bitmap) {
  if (bitmap.Empty()) return;
  const TRect placed{
      x, y, static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(x) + bitmap.Width(), INT32_MAX)),
      static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(y) + bitmap.Height(), INT32_MAX))};
  const TRect box = IntersectRect(placed, ClipRect());
  for (int32_t row = box.Top; row < box.Bottom; ++row) {
    const TColor32* src = bitmap.ScanLine(row - y) + (box.Left - x);
    std::copy(src, src + box.Width(), target_.ScanLine(row) + box.Left);
  }
  target_.Changed();
}

void TBitmapCanvas::StretchBitmap(const TRect& dest, const TBitmap32& bitmap, const TRect& source,
                                    TStretchMode mode) {
  if (bitmap.Empty() || source.IsEmpty()) return;
  if (source.Left < 0 || source.Top < 0 || source.Right > bitmap.Width() || source.Bottom > bitmap.Height())
    return;
  const bool mirrorX = dest.Right < dest.Left, mirrorY = dest.Bottom < dest.Top;
  const TRect d{std::min(dest.Left, dest.Right), std::min(dest.Top, dest.Bottom),
                std::max(dest.Left, dest.Right), std::max(dest.Top, dest.Bottom)};
  const TRect box = IntersectRect(d, ClipRect());
  if (box.IsEmpty()) return;
  const int64_t destW = static_cast<int64_t>(d.Right) - d.Left,
                destH = static_cast<int64_t>(d.Bottom) - d.Top;
  const double dw = static_cast<double>(destW), dh = static_cast<double>(destH);
  const double sx = source.Width() / dw, sy = source.Height() / dh;
  // Source range of a target column (or row): the source pixels whose centres the target pixel
  // covers, at least the one under its centre.
  auto range = [](int64_t offset, double scale, int32_t srcStart, int32_t srcSize, bool mirror, int64_t size,
                  int32_t& a, int32_t& e) {
    const double o = static_cast<double>(mirror ? size - 1 - offset : offset);
    const double centre = (o + 0.5) * scale;
    int32_t mid = static_cast<int32_t>(std::floor(centre));
    mid = std::clamp(mid, 0, srcSize - 1);
    int32_t lo = static_cast<int32_t>(std::ceil(o * scale - 0.5));
    int32_t hi = static_cast<int32_t>(std::ceil((o + 1) * scale - 0.5));
    lo = std::clamp(lo, 0, srcSize);
    hi = std::clamp(hi, 0, srcSize);
    if (lo >= hi) {
      lo = mid;
      hi = mid + 1;
    }
    a = srcStart + lo;
    e = srcStart + hi;
  };
  std::vector<int32_t> colA(static_cast<size_t>(box.Width())), colE(static_cast<size_t>(box.Width()));
  for (int32_t x = box.Left; x < box.Right; ++x) {
    int32_t a, e;
    range(static_cast<int64_t>(x) - d.Left, sx, source.Left, source.Width(), mirrorX, destW, a, e);
    if (mode == smNearest) {
      const int64_t dx = static_cast<int64_t>(x) - d.Left;
      const int64_t o = mirrorX ? destW - 1 - dx : dx;
      a = source.Left + std::clamp(static_cast<int32_t>(std::floor((static_cast<double>(o) + 0.5) * sx)), 0, source.Width() - 1);
      e = a + 1;
    }
    colA[static_cast<size_t>(x - box.Left)] = a;
    colE[static_cast<size_t>(x - box.Left)] = e;
  }
  for (int32_t y = box.Top; y < box.Bottom; ++y) {
    int32_t ra, re;
    range(static_cast<int64_t>(y) - d.Top, sy, source.Top, source.Height(), mirrorY, destH, ra, re);
    if (mode == smNearest) {
      const int64_t dy = static_cast<int64_t>(y) - d.Top;
      const int64_t o = mirrorY ? destH - 1 - dy : dy;
      ra = source.Top + std::clamp(static_cast<int32_t>(std::floor((static_cast<double>(o) + 0.5) * sy)), 0, source.Height() - 1);
      re = ra + 1;
    }
    TColor32* out = target_.ScanLine(y);
    for (int32_t x = box.Left; x < box.Right; ++x) {
      const int32_t ca = colA[static_cast<size_t>(x - box.Left)],
                    ce = colE[static_cast<size_t>(x - box.Left)];
      if (ce - ca == 1 && re - ra == 1) {
        out[x] = bitmap.Pixel(ca, ra);
        continue;
      }
      uint64_t sum[4] = {0, 0, 0, 0};
      for (int32_t sy2 = ra; sy2 < re; ++sy2) {
        const TColor32* row = bitmap.ScanLine(sy2);
        for (int32_t sx2 = ca; sx2 < ce; ++sx2) {
          for (int ch = 0; ch < 4; ++ch) sum[ch] += (row[sx2] >> (8 * ch)) & 0xFF;
        }
      }
      const uint64_t count = static_cast<uint64_t>(re - ra) * static_cast<uint64_t>(ce - ca);
      TColor32 c = 0;
      for (int ch = 0; ch < 4; ++ch) c |= static_cast<TColor32>(sum[ch] / count) << (8 * ch);
      out[x] = c;
    }
  }
  target_.Changed();
}

}  // namespace sw
