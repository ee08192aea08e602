#include "magnet/cut_line.h"

#include <algorithm>
#include <cmath>

#include "engine/page.h"
#include "raster/bitmap32.h"
#include "shapes/bitmap_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/resources/bitmap_resource.h"

namespace sw {

namespace {

// The most alpha samples an outline keeps of its picture; a larger picture is averaged down.
constexpr int64_t kMaxOutlinePixels = int64_t(1) << 22;
// The most edge pixels a window may have for every pixel of the picture's width and height: a
// shape one cuts along has a few; a picture speckled with holes has no edge to follow.
constexpr int64_t kMaxEdgePerSide = 8;
// The most samples a trace takes along either side of the picture.
constexpr double kMaxTraceSide = 20000;

TFloatPoint Map(const TdtpAffineTransform& m, double x, double y) {
  return {static_cast<float>(m.A * x + m.C * y + m.E), static_cast<float>(m.B * x + m.D * y + m.F)};
}

// The point where the sampled value crosses the threshold between two grid points.
TFloatPoint Crossing(double x0, double y0, float v0, double x1, double y1, float v1) {
  const double t = v0 / (static_cast<double>(v0) - v1);
  return {static_cast<float>(x0 + t * (x1 - x0)), static_cast<float>(y0 + t * (y1 - y0))};
}

// Where sample (x, y) of a grid w samples wide is kept.
size_t Index(int32_t x, int32_t y, int32_t w) {
  return static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
}

}  // namespace

std::shared_ptr<TCutOutline> TCutOutline::OfCutout(TdtpBitmapShape& cutout) {
  if (!(cutout.DocWidth() > 0) || !(cutout.DocHeight() > 0)) return nullptr;
  TdtpBitmapResource& resource = cutout.Resource();
  TResourceAccess access(resource);
  const TBitmap32* picture = resource.Bitmap();
  if (!picture || picture->Empty()) return nullptr;

  std::shared_ptr<TCutOutline> outline(new TCutOutline);
  // Averaged down by a whole factor when the picture holds more pixels than an outline keeps.
  const int64_t pixels = static_cast<int64_t>(picture->Width()) * picture->Height();
  int32_t factor = 1;
  while (pixels / (static_cast<int64_t>(factor) * factor) > kMaxOutlinePixels) ++factor;
  const int32_t w = (picture->Width() + factor - 1) / factor, h = (picture->Height() + factor - 1) / factor;
  outline->width_ = w;
  outline->height_ = h;
  outline->alpha_.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint32_t sum = 0, count = 0;
      for (int32_t sy = y * factor; sy < std::min((y + 1) * factor, picture->Height()); ++sy) {
        const TColor32* row = picture->ScanLine(sy);
        for (int32_t sx = x * factor; sx < std::min((x + 1) * factor, picture->Width()); ++sx, ++count) {
          sum += AlphaOf(row[sx]);
        }
      }
      outline->alpha_[Index(x, y, w)] = static_cast<uint8_t>((sum + count / 2) / count);
    }
  }

  // The frame is what the border holds; its edge is where the alpha falls to half of it.
  uint8_t border = 0;
  auto at = [&](int32_t x, int32_t y) -> uint8_t& { return outline->alpha_[Index(x, y, w)]; };
  for (int32_t x = 0; x < w; ++x) border = std::max({border, at(x, 0), at(x, h - 1)});
  for (int32_t y = 0; y < h; ++y) border = std::max({border, at(0, y), at(w - 1, y)});
  if (border == 0) return nullptr;
  const int threshold = (border + 1) / 2;
  outline->threshold_ = static_cast<float>(threshold) / 255;

  // The frame reaches in from the border; what it does not reach is inside the window.
  std::vector<uint8_t> frame(outline->alpha_.size(), 0);
  std::vector<int32_t> pending;
  auto reach = [&](int32_t x, int32_t y) {
    const size_t i = Index(x, y, w);
    if (frame[i] || outline->alpha_[i] < threshold) return;
    frame[i] = 1;
    pending.push_back(static_cast<int32_t>(i));
  };
  for (int32_t x = 0; x < w; ++x) reach(x, 0), reach(x, h - 1);
  for (int32_t y = 0; y < h; ++y) reach(0, y), reach(w - 1, y);
  while (!pending.empty()) {
    const int32_t i = pending.back();
    pending.pop_back();
    const int32_t x = i % w, y = i / w;
    if (x > 0) reach(x - 1, y);
    if (x + 1 < w) reach(x + 1, y);
    if (y > 0) reach(x, y - 1);
    if (y + 1 < h) reach(x, y + 1);
  }
  int64_t window = 0, edge = 0;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const size_t i = Index(x, y, w);
      if (frame[i]) {
        edge += (x > 0 && !frame[i - 1]) || (x + 1 < w && !frame[i + 1]) || (y > 0 && !frame[i - static_cast<size_t>(w)]) ||
                (y + 1 < h && !frame[i + static_cast<size_t>(w)]);
        continue;
      }
      ++window;
      if (outline->alpha_[i] >= threshold) outline->alpha_[i] = 0;
    }
  }
  if (window == 0 || edge > kMaxEdgePerSide * (w + h)) return nullptr;

  // Picture pixel (i, j) is stretched over the shape's local area, its centre at
  // ((i + 0.5) x sx, (j + 0.5) x sy); the shape lies in its parent as its own transform says.
  const TFloatPoint o = cutout.LocalToParent({0, 0});
  const TFloatPoint ex = cutout.LocalToParent({1, 0}), ey = cutout.LocalToParent({0, 1});
  TdtpAffineTransform toFrame(ex.X - o.X, ex.Y - o.Y, ey.X - o.X, ey.Y - o.Y, o.X, o.Y);
  TdtpAffineTransform pictureToFrame;
  pictureToFrame.Translate(0.5, 0.5);
  pictureToFrame.Scale(static_cast<double>(cutout.DocWidth()) / w, static_cast<double>(cutout.DocHeight()) / h);
  pictureToFrame.Multiply(toFrame);
  outline->frameToPicture_ = pictureToFrame;
  outline->frameToPicture_.Invert();
  TFloatRect& b = outline->bounds_;
  b = TFloatRect{INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (const auto& [u, v] : {std::pair<float, float>{0, 0}, {cutout.DocWidth(), 0}, {0, cutout.DocHeight()},
                             {cutout.DocWidth(), cutout.DocHeight()}}) {
    const TFloatPoint p = cutout.LocalToParent({u, v});
    b = TFloatRect{std::min(b.Left, p.X), std::min(b.Top, p.Y), std::max(b.Right, p.X), std::max(b.Bottom, p.Y)};
  }
  return outline;
}

float TCutOutline::AlphaAt(double x, double y) const {
  const TFloatPoint p = Map(frameToPicture_, x, y);
  // Beyond the picture's edge (half a pixel past the outer centres) is frame.
  if (!(p.X >= -0.5f && p.Y >= -0.5f && p.X <= static_cast<float>(width_) - 0.5f &&
        p.Y <= static_cast<float>(height_) - 0.5f)) {
    return 1;
  }
  const float cx = std::clamp(p.X, 0.0f, static_cast<float>(width_ - 1));
  const float cy = std::clamp(p.Y, 0.0f, static_cast<float>(height_ - 1));
  const auto x0 = static_cast<int32_t>(cx), y0 = static_cast<int32_t>(cy);
  const int32_t x1 = std::min(x0 + 1, width_ - 1), y1 = std::min(y0 + 1, height_ - 1);
  const float fx = cx - static_cast<float>(x0), fy = cy - static_cast<float>(y0);
  auto a = [&](int32_t xx, int32_t yy) {
    return static_cast<float>(alpha_[Index(xx, yy, width_)]) / 255;
  };
  const float top = a(x0, y0) + fx * (a(x1, y0) - a(x0, y0));
  const float bottom = a(x0, y1) + fx * (a(x1, y1) - a(x0, y1));
  return top + fy * (bottom - top);
}

const std::vector<TCutSegment>& TCutOutline::TraceAt(float dpm) {
  if (!(dpm > 0) || !std::isfinite(dpm)) {
    segments_.clear();
    tracedAt_ = 0;
    return segments_;
  }
  if (dpm == tracedAt_) return segments_;
  segments_.clear();
  tracedAt_ = dpm;
  const double spanX = static_cast<double>(bounds_.Right) - bounds_.Left;
  const double spanY = static_cast<double>(bounds_.Bottom) - bounds_.Top;
  const double step = std::max(1.0 / dpm, std::max(spanX, spanY) / kMaxTraceSide);
  // Grid points from one step before the picture to one after it, so that the frame around the
  // picture closes the edges that run into its border.
  const auto nx = static_cast<int32_t>(std::ceil(spanX / step)) + 3;
  const auto ny = static_cast<int32_t>(std::ceil(spanY / step)) + 3;
  const double x0 = bounds_.Left - step, y0 = bounds_.Top - step;
  std::vector<float> upper(static_cast<size_t>(nx)), lower(static_cast<size_t>(nx));
  auto sampleRow = [&](int32_t j, std::vector<float>& row) {
    for (int32_t i = 0; i < nx; ++i) row[static_cast<size_t>(i)] = AlphaAt(x0 + i * step, y0 + j * step) - threshold_;
  };
  sampleRow(0, upper);
  for (int32_t j = 0; j + 1 < ny; ++j) {
    sampleRow(j + 1, lower);
    const double ya = y0 + j * step, yb = ya + step;
    for (int32_t i = 0; i + 1 < nx; ++i) {
      // Corners clockwise from the top left; at or above the threshold is frame.
      const float v[4] = {upper[static_cast<size_t>(i)], upper[static_cast<size_t>(i) + 1],
                          lower[static_cast<size_t>(i) + 1], lower[static_cast<size_t>(i)]};
      const bool in[4] = {v[0] >= 0, v[1] >= 0, v[2] >= 0, v[3] >= 0};
      if (in[0] == in[1] && in[1] == in[2] && in[2] == in[3]) continue;
      const double xa = x0 + i * step, xb = xa + step;
      const double cx[4] = {xa, xb, xb, xa}, cy[4] = {ya, ya, yb, yb};
      // Edge k runs from corner k to corner k + 1; where it crosses, the edge passes.
      TFloatPoint cross[4];
      for (int k = 0; k < 4; ++k) {
        const int n = (k + 1) % 4;
        if (in[k] != in[n]) cross[k] = Crossing(cx[k], cy[k], v[k], cx[n], cy[n], v[n]);
      }
      const int inside = in[0] + in[1] + in[2] + in[3];
      if (inside == 2 && in[0] == in[2]) {
        // A saddle: the cell's centre decides which corners the edge cuts off.
        const bool centre = (v[0] + v[1] + v[2] + v[3]) / 4 >= 0;
        for (int k = 0; k < 4; ++k) {
          if (in[k] != centre) segments_.push_back({cross[(k + 3) % 4], cross[k]});
        }
        continue;
      }
      // One corner differs from the other three, or two neighbours from the other two.
      TFloatPoint ends[2];
      int count = 0;
      for (int k = 0; k < 4; ++k) {
        if (in[k] != in[(k + 1) % 4] && count < 2) ends[count++] = cross[k];
      }
      if (count == 2) segments_.push_back({ends[0], ends[1]});
    }
    std::swap(upper, lower);
  }
  return segments_;
}

TCutLineShape::TCutLineShape(std::shared_ptr<TCutOutline> outline, float lineWidth, TdtpColor colour)
    : outline_(std::move(outline)), lineWidth_(lineWidth), colour_(colour) {
  AllowEdit = AllowDelete = AllowResize = AllowMove = AllowRotate = false;
  SetAllowSelect(false);
}

void TCutLineShape::PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  (void)info;
  if (!outline_ || bitmap.Empty()) return;
  // The outline's frame to the bitmap's pixels.
  TdtpAffineTransform m = frameToLocal_;
  m.Multiply(PaintMatrix());
  const double scale = std::sqrt(std::fabs(m.A * m.D - m.B * m.C));
  if (!(scale > 0) || !std::isfinite(scale)) return;
  const std::vector<TCutSegment>& segments = outline_->TraceAt(static_cast<float>(scale));
  if (segments.empty()) return;
  const double half = lineWidth_ * scale / 2;
  // The most a pixel of a line thinner than a pixel is covered.
  const double most = std::min(1.0, 2 * half);

  struct TPixelSegment {
    double ax, ay, bx, by;
    int32_t top, bottom;
  };
  const TRect clip = bitmap.ClipRect();
  std::vector<TPixelSegment> pieces;
  pieces.reserve(segments.size());
  for (const TCutSegment& s : segments) {
    const TFloatPoint a = Map(m, s.A.X, s.A.Y), b = Map(m, s.B.X, s.B.Y);
    TPixelSegment p{a.X, a.Y, b.X, b.Y, 0, 0};
    const double top = std::floor(std::min(p.ay, p.by) - half - 1), bottom = std::ceil(std::max(p.ay, p.by) + half + 1);
    if (bottom < clip.Top || top >= clip.Bottom) continue;
    const double left = std::min(p.ax, p.bx) - half - 1, right = std::max(p.ax, p.bx) + half + 1;
    if (right < clip.Left || left >= clip.Right) continue;
    p.top = static_cast<int32_t>(std::max<double>(top, clip.Top));
    p.bottom = static_cast<int32_t>(std::min<double>(bottom, clip.Bottom - 1));
    pieces.push_back(p);
  }
  if (pieces.empty()) return;
  std::sort(pieces.begin(), pieces.end(), [](const TPixelSegment& x, const TPixelSegment& y) { return x.top < y.top; });

  const TColor32 colour = ColorFromSystem(colour_) & 0xFFFFFFu;
  const int32_t width = clip.Right - clip.Left;
  std::vector<float> coverage(static_cast<size_t>(std::max(width, 0)), 0.0f);
  std::vector<const TPixelSegment*> active;
  size_t next = 0;
  for (int32_t y = pieces.front().top; y < clip.Bottom; ++y) {
    while (next < pieces.size() && pieces[next].top <= y) active.push_back(&pieces[next++]);
    std::erase_if(active, [y](const TPixelSegment* p) { return p->bottom < y; });
    if (active.empty()) {
      if (next == pieces.size()) break;
      y = pieces[next].top - 1;
      continue;
    }
    int32_t from = clip.Right, to = clip.Left - 1;
    const double py = y + 0.5;
    for (const TPixelSegment* p : active) {
      const auto left =
          static_cast<int32_t>(std::max<double>(std::floor(std::min(p->ax, p->bx) - half - 1), clip.Left));
      const auto right =
          static_cast<int32_t>(std::min<double>(std::ceil(std::max(p->ax, p->bx) + half + 1), clip.Right - 1));
      const double dx = p->bx - p->ax, dy = p->by - p->ay;
      const double length2 = dx * dx + dy * dy;
      for (int32_t x = left; x <= right; ++x) {
        const double px = x + 0.5;
        double t = length2 > 0 ? ((px - p->ax) * dx + (py - p->ay) * dy) / length2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double d = std::hypot(px - (p->ax + t * dx), py - (p->ay + t * dy));
        const double c = std::clamp(std::min(half + 0.5 - d, most), 0.0, 1.0);
        if (c <= 0) continue;
        float& slot = coverage[static_cast<size_t>(x - clip.Left)];
        slot = std::max(slot, static_cast<float>(c));
        from = std::min(from, x);
        to = std::max(to, x);
      }
    }
    TColor32* row = bitmap.ScanLine(y);
    for (int32_t x = from; x <= to; ++x) {
      float& slot = coverage[static_cast<size_t>(x - clip.Left)];
      if (slot > 0) {
        const auto a = static_cast<uint32_t>(std::lround(slot * 255));
        row[x] = BlendMemOf(bitmap.CombineMode, colour | (a << 24), row[x]);
      }
      slot = 0;
    }
  }
  bitmap.Changed();
}

void ShapeCutLine(TdtpPage& page, int cutoutIndex, int outlineIndex) {
  if (cutoutIndex < 0 || outlineIndex < 0 || cutoutIndex >= page.ChildCount() || outlineIndex >= page.ChildCount()) {
    return;
  }
  auto* cutout = dynamic_cast<TdtpBitmapShape*>(page.Child(cutoutIndex));
  auto* rectangle = dynamic_cast<TdtpPolygonShape*>(page.Child(outlineIndex));
  if (!cutout || !rectangle || !rectangle->Visible() || rectangle->MasterAlpha() == 0) return;
  std::shared_ptr<TCutOutline> outline = TCutOutline::OfCutout(*cutout);
  if (!outline) return;
  auto line = std::make_unique<TCutLineShape>(outline, rectangle->OutlineWidth(), rectangle->OutlineColor());
  line->SetLeft(0);
  line->SetTop(0);
  line->SetWidth(page.DocWidth());
  line->SetHeight(page.DocHeight());
  line->SetMasterAlpha(rectangle->MasterAlpha());
  rectangle->SetVisible(false);
  page.AddChild(std::move(line));
}

}  // namespace sw
