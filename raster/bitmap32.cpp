#include "raster/bitmap32.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "raster/resample.h"
#include "raster/resample_p.h"

namespace sw {

// ---- TThreadPersistent ----

void TThreadPersistent::EndUpdate() {
  if (updateCount_ <= 0) RaiseError("Unpaired TThreadPersistent.EndUpdate");
  --updateCount_;
}

void TThreadPersistent::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

// ---- TCustomMap ----

void TCustomMap::ChangeSize(int32_t& width, int32_t& height, int32_t newWidth, int32_t newHeight) {
  width = newWidth;
  height = newHeight;
}

void TCustomMap::Resize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  ChangeSize(width_, height_, width, height);
  Changed();
  if (OnResize) OnResize(this);
}

// ---- TBitmap32 ----

void TBitmap32::Resize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  bits_.reset();
  const int64_t count = static_cast<int64_t>(width) * height;
  if (count > 0) {
    TColor32* memory = count <= kMaxPixels ? new (std::nothrow) TColor32[static_cast<size_t>(count)] : nullptr;
    if (!memory) {
      width_ = 0;
      height_ = 0;
      clipRect_ = TRect{};
      if (OnHandleChanged) OnHandleChanged(this);
      RaiseError("Can't allocate the DIB handle");
    }
    bits_.reset(memory);
  }
  width_ = width;
  height_ = height;
  clipRect_ = BoundsRect();
  if (OnHandleChanged) OnHandleChanged(this);
  Changed();
  if (OnResize) OnResize(this);
}

TColor32 TBitmap32::PixelS(int32_t x, int32_t y) const {
  if (!InClip(x, y)) return OuterColor;
  return Pixel(x, y);
}

void TBitmap32::SetPixelS(int32_t x, int32_t y, TColor32 c) {
  if (!InClip(x, y)) return;
  SetPixel(x, y, c);
}

void TBitmap32::SetPixelTS(int32_t x, int32_t y, TColor32 c) {
  if (!InClip(x, y)) return;
  TColor32& p = ScanLine(y)[x];
  p = CombineMode == cmBlend ? BlendMem(c, p) : MergeMem(c, p);
}

void TBitmap32::Clear(TColor32 c) {
  if (bits_) std::fill_n(bits_.get(), static_cast<size_t>(width_) * static_cast<size_t>(height_), c);
  Changed();
}

void TBitmap32::ResetAlpha(uint8_t a) {
  if (bits_) {
    const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    TColor32* p = bits_.get();
    const TColor32 alpha = static_cast<TColor32>(a) << 24;
    for (size_t i = 0; i < n; ++i) p[i] = (p[i] & 0x00FFFFFFu) | alpha;
  }
  Changed();
}

void TBitmap32::Assign(const TBitmap32& source) {
  if (&source == this) return;
  BeginUpdate();
  try {
    Resize(source.Width(), source.Height());
    if (bits_ && source.bits_) {
      std::memcpy(bits_.get(), source.bits_.get(),
                  static_cast<size_t>(width_) * static_cast<size_t>(height_) * sizeof(TColor32));
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  DrawMode = source.DrawMode;
  MasterAlpha = source.MasterAlpha;
  OuterColor = source.OuterColor;
  StretchFilter = source.StretchFilter;
  EndUpdate();
  Changed();
}

void TBitmap32::LoadFromStream(TStream& stream) {
  int32_t w = 0, h = 0;
  stream.ReadBuffer(&w, 4);
  stream.ReadBuffer(&h, 4);
  if (w < 0 || h < 0) RaiseStreamError("Invalid bitmap size in stream");
  const int64_t count = static_cast<int64_t>(w) * h;
  if (count > kMaxPixels) RaiseStreamError("Invalid bitmap size in stream");
  const int64_t remaining = stream.Size() - stream.Position();
  if (count * 4 > remaining) RaiseStreamError("Stream read error");
  BeginUpdate();
  try {
    Resize(w, h);
    if (count > 0) stream.ReadBuffer(bits_.get(), count * 4);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  Changed();
}

void TBitmap32::SaveToStream(TStream& stream) const {
  const int32_t w = width_, h = height_;
  stream.WriteBuffer(&w, 4);
  stream.WriteBuffer(&h, 4);
  if (bits_) stream.WriteBuffer(bits_.get(), static_cast<int64_t>(w) * h * 4);
}

// ---- sampling ----

const uint8_t* BilinearGammaTable() {
  // Built on first use rather than before main.
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> g{};
    for (size_t i = 0; i < g.size(); ++i) {
      g[i] = static_cast<uint8_t>(Round(255.0 * std::pow(static_cast<double>(i) / 255.0, 0.7)));
    }
    return g;
  }();
  return table.data();
}

TColor32 TBitmap32::SampleBilinear(int32_t x256, int32_t y256) const {
  if (!bits_) return OuterColor;
  if (x256 <= 0 || y256 <= 0) return OuterColor;
  if (static_cast<int64_t>(x256) >= (static_cast<int64_t>(width_) - 1) * 256 ||
      static_cast<int64_t>(y256) >= (static_cast<int64_t>(height_) - 1) * 256) {
    return OuterColor;
  }
  const int32_t x = x256 >> 8, y = y256 >> 8;
  const uint8_t* g = BilinearGammaTable();
  const uint32_t wx = g[255 - (x256 & 255)];
  const uint32_t wy = g[255 - (y256 & 255)];
  const TColor32* p0 = ScanLine(y) + x;
  const TColor32* p1 = p0 + width_;
  return CombineReg(CombineReg(p0[0], p0[1], wx), CombineReg(p1[0], p1[1], wx), wy);
}

// ---- lines and rectangles ----

void TBitmap32::HorzLine(int32_t x1, int32_t y, int32_t x2, TColor32 c) {
  if (y < clipRect_.Top || y >= clipRect_.Bottom) return;
  if (x2 < x1) std::swap(x1, x2);
  x1 = std::max(x1, clipRect_.Left);
  x2 = std::min(x2, clipRect_.Right - 1);
  if (x1 > x2) return;
  std::fill(ScanLine(y) + x1, ScanLine(y) + x2 + 1, c);
}

void TBitmap32::VertLine(int32_t x, int32_t y1, int32_t y2, TColor32 c) {
  if (x < clipRect_.Left || x >= clipRect_.Right) return;
  if (y2 < y1) std::swap(y1, y2);
  y1 = std::max(y1, clipRect_.Top);
  y2 = std::min(y2, clipRect_.Bottom - 1);
  for (int32_t y = y1; y <= y2; ++y) ScanLine(y)[x] = c;
}

void TBitmap32::FrameRect(const TRect& rect, TColor32 c) {
  // Sides beyond the bitmap are clipped away anyway; pulling them in keeps the arithmetic small.
  const TRect r{std::clamp(rect.Left, -1, width_ + 1), std::clamp(rect.Top, -1, height_ + 1),
                std::clamp(rect.Right, -1, width_ + 1), std::clamp(rect.Bottom, -1, height_ + 1)};
  if (!rect.IsEmpty() && !r.IsEmpty()) {
    HorzLine(r.Left, r.Top, r.Right - 1, c);
    if (r.Bottom - 1 != r.Top) HorzLine(r.Left, r.Bottom - 1, r.Right - 1, c);
    // A frame one or two pixels high has no side pixels between its top and bottom rows; VertLine
    // would take the reversed ends of a one-pixel frame as a line across three rows.
    if (r.Bottom - r.Top > 2) {
      VertLine(r.Left, r.Top + 1, r.Bottom - 2, c);
      if (r.Right - 1 != r.Left) VertLine(r.Right - 1, r.Top + 1, r.Bottom - 2, c);
    }
  }
  Changed();
}

void TBitmap32::FillRect(const TRect& r, TColor32 c) {
  const TRect area = IntersectRect(r, clipRect_);
  if (bits_ && !area.IsEmpty()) {
    for (int32_t y = area.Top; y < area.Bottom; ++y) std::fill(ScanLine(y) + area.Left, ScanLine(y) + area.Right, c);
  }
  Changed();
}

void TBitmap32::FillRectT(const TRect& r, TColor32 c) {
  const TRect area = IntersectRect(r, clipRect_);
  if (bits_ && !area.IsEmpty()) {
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
      TColor32* p = ScanLine(y);
      for (int32_t x = area.Left; x < area.Right; ++x) p[x] = BlendMemOf(CombineMode, c, p[x]);
    }
  }
  Changed();
}

void TBitmap32::PlotAntialiased(TFixed x, TFixed y, TColor32 c) {
  const int32_t ix = x >> 16, iy = y >> 16;
  const uint32_t fx = (static_cast<uint32_t>(x) >> 8) & 0xFF, fy = (static_cast<uint32_t>(y) >> 8) & 0xFF;
  const uint32_t a = AlphaOf(c);
  // Area weights in 1/65536; the four sum to 65536.
  const uint32_t w[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
  const int32_t dx[4] = {0, 1, 0, 1}, dy[4] = {0, 0, 1, 1};
  for (int i = 0; i < 4; ++i) {
    const uint32_t alpha = (a * w[i] + 32768) >> 16;
    if (alpha == 0) continue;
    if (ix == INT32_MAX && dx[i] == 1) continue;
    if (iy == INT32_MAX && dy[i] == 1) continue;
    SetPixelTS(ix + dx[i], iy + dy[i], SetAlpha(c, static_cast<int32_t>(alpha)));
  }
}

namespace {

// Cuts the segment to the rectangle [l, r] x [t, b] (parametric clipping); false when nothing
// of it is left.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double l, double t, double r, double b) {
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return false;
  double t0 = 0, t1 = 1;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - l, r - x1, y1 - t, b - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double u = q[i] / p[i];
    if (p[i] < 0) {
      if (u > t1) return false;
      t0 = std::max(t0, u);
    } else {
      if (u < t0) return false;
      t1 = std::min(t1, u);
    }
  }
  const double nx1 = x1 + t0 * dx, ny1 = y1 + t0 * dy;
  x2 = x1 + t1 * dx;
  y2 = y1 + t1 * dy;
  x1 = nx1;
  y1 = ny1;
  return true;
}

}  // namespace

void TBitmap32::LineTS(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 c) {
  const TRect& clip = clipRect_;
  if (clip.IsEmpty()) return;
  double fx1 = x1, fy1 = y1, fx2 = x2, fy2 = y2;
  // Cut far-away ends first so that the walk below stays near the clip rectangle.
  if (!ClipSegment(fx1, fy1, fx2, fy2, clip.Left - 1.0, clip.Top - 1.0, clip.Right + 0.0, clip.Bottom + 0.0)) {
    return;
  }
  int32_t ax = static_cast<int32_t>(std::lround(fx1)), ay = static_cast<int32_t>(std::lround(fy1));
  const int32_t bx = static_cast<int32_t>(std::lround(fx2)), by = static_cast<int32_t>(std::lround(fy2));
  const int32_t dx = std::abs(bx - ax), dy = -std::abs(by - ay);
  const int32_t sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
  int32_t err = dx + dy;
  for (;;) {
    SetPixelTS(ax, ay, c);
    if (ax == bx && ay == by) break;
    const int32_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      ax += sx;
    }
    if (e2 <= dx) {
      err += dx;
      ay += sy;
    }
  }
}

void TBitmap32::LineXS(TFixed x1, TFixed y1, TFixed x2, TFixed y2, TColor32 c) {
  const TRect& clip = clipRect_;
  if (clip.IsEmpty()) return;
  double fx1 = x1 / 65536.0, fy1 = y1 / 65536.0, fx2 = x2 / 65536.0, fy2 = y2 / 65536.0;
  if (!ClipSegment(fx1, fy1, fx2, fy2, clip.Left - 2.0, clip.Top - 2.0, clip.Right + 1.0, clip.Bottom + 1.0)) {
    return;
  }
  const double dx = fx2 - fx1, dy = fy2 - fy1;
  const uint32_t a = AlphaOf(c);
  const bool steep = std::abs(dy) > std::abs(dx);
  const double len = steep ? std::abs(dy) : std::abs(dx);
  const int32_t steps = static_cast<int32_t>(std::ceil(len));
  if (steps == 0) {
    PlotAntialiased(FloatToFixed(fx1), FloatToFixed(fy1), c);
    return;
  }
  // Walks the major axis one pixel at a time and splits the colour over the two pixels that
  // straddle the line on the minor axis, each weighted by its distance to the line.
  const double incMajor = (steep ? dy : dx) / steps, incMinor = (steep ? dx : dy) / steps;
  for (int32_t i = 0; i <= steps; ++i) {
    const double major = (steep ? fy1 : fx1) + incMajor * i;
    const double minor = (steep ? fx1 : fy1) + incMinor * i;
    const int32_t mj = static_cast<int32_t>(std::floor(major + 0.5));
    const double fl = std::floor(minor);
    const int32_t mn = static_cast<int32_t>(fl);
    const uint32_t w1 = static_cast<uint32_t>(Round((minor - fl) * 256.0));  // weight of mn + 1
    const uint32_t a0 = (a * (256 - w1)) >> 8, a1 = (a * w1) >> 8;
    if (steep) {
      if (a0) SetPixelTS(mn, mj, SetAlpha(c, static_cast<int32_t>(a0)));
      if (a1) SetPixelTS(mn + 1, mj, SetAlpha(c, static_cast<int32_t>(a1)));
    } else {
      if (a0) SetPixelTS(mj, mn, SetAlpha(c, static_cast<int32_t>(a0)));
      if (a1) SetPixelTS(mj, mn + 1, SetAlpha(c, static_cast<int32_t>(a1)));
    }
  }
}

// ---- stippled drawing ----

void TBitmap32::SetStipple(const TArrayOfColor32& colors) {
  StipplePattern = colors;
  StippleCounter = 0;
}

namespace {

// Wraps the counter into [0, length); values that are not finite restart the pattern.
float WrapCounter(float counter, size_t length) {
  const double n = static_cast<double>(length);
  double c = counter;
  if (!std::isfinite(c)) return 0;
  c = std::fmod(c, n);
  if (c < 0) c += n;
  if (!(c >= 0 && c < n)) c = 0;
  float r = static_cast<float>(c);
  if (r >= static_cast<float>(n)) r = 0;
  return r;
}

}  // namespace

TColor32 TBitmap32::GetStippleColor() {
  const size_t n = StipplePattern.size();
  if (n == 0) return clBlack32;
  StippleCounter = WrapCounter(StippleCounter, n);
  int32_t index = Round(static_cast<double>(StippleCounter) - 0.5);
  index = std::clamp<int32_t>(index, 0, static_cast<int32_t>(n) - 1);
  const int32_t f = std::clamp<int32_t>(Round((static_cast<double>(StippleCounter) - index) * 255.0), 0, 255);
  TColor32 result = StipplePattern[static_cast<size_t>(index)];
  if (f != 0) {
    result = CombineOf(CombineMode, result, StipplePattern[(static_cast<size_t>(index) + 1) % n],
                       static_cast<uint32_t>(255 - f));
  }
  StippleCounter += StippleStepValue;
  return result;
}

void TBitmap32::AdvanceStippleCounter(int64_t n) {
  if (StipplePattern.empty()) return;
  const double delta = static_cast<double>(n) * StippleStepValue;
  if (delta == 0) return;
  // Advance modulo the pattern length in double precision so that long jumps stay exact.
  double c = std::fmod(static_cast<double>(StippleCounter) + std::fmod(delta, static_cast<double>(StipplePattern.size())),
                       static_cast<double>(StipplePattern.size()));
  StippleCounter = WrapCounter(static_cast<float>(c), StipplePattern.size());
}

void TBitmap32::HorzLineStippled(int32_t x1, int32_t y, int32_t x2) {
  if (!bits_) return;
  const int64_t n = std::abs(static_cast<int64_t>(x2) - x1) + 1;
  const int32_t cl = clipRect_.Left, cr = clipRect_.Right - 1;
  if (y < clipRect_.Top || y >= clipRect_.Bottom || cl > cr) {
    AdvanceStippleCounter(n);
    return;
  }
  TColor32* row = ScanLine(y);
  if (x1 <= x2) {
    if (x2 < cl || x1 > cr) {
      AdvanceStippleCounter(n);
      return;
    }
    const int32_t s = std::max(x1, cl), e = std::min(x2, cr);
    AdvanceStippleCounter(static_cast<int64_t>(s) - x1);
    for (int32_t x = s; x <= e; ++x) row[x] = BlendMemOf(CombineMode, GetStippleColor(), row[x]);
    AdvanceStippleCounter(static_cast<int64_t>(x2) - e);
  } else {
    if (x1 < cl || x2 > cr) {
      AdvanceStippleCounter(n);
      return;
    }
    const int32_t s = std::min(x1, cr), e = std::max(x2, cl);
    AdvanceStippleCounter(static_cast<int64_t>(x1) - s);
    for (int32_t x = s; x >= e; --x) row[x] = BlendMemOf(CombineMode, GetStippleColor(), row[x]);
    AdvanceStippleCounter(static_cast<int64_t>(e) - x2);
  }
}

void TBitmap32::VertLineStippled(int32_t x, int32_t y1, int32_t y2) {
  if (!bits_) return;
  const int64_t n = std::abs(static_cast<int64_t>(y2) - y1) + 1;
  const int32_t ct = clipRect_.Top, cb = clipRect_.Bottom - 1;
  if (x < clipRect_.Left || x >= clipRect_.Right || ct > cb) {
    AdvanceStippleCounter(n);
    return;
  }
  if (y1 <= y2) {
    if (y2 < ct || y1 > cb) {
      AdvanceStippleCounter(n);
      return;
    }
    const int32_t s = std::max(y1, ct), e = std::min(y2, cb);
    AdvanceStippleCounter(static_cast<int64_t>(s) - y1);
    for (int32_t y = s; y <= e; ++y) {
      TColor32& p = ScanLine(y)[x];
      p = BlendMemOf(CombineMode, GetStippleColor(), p);
    }
    AdvanceStippleCounter(static_cast<int64_t>(y2) - e);
  } else {
    if (y1 < ct || y2 > cb) {
      AdvanceStippleCounter(n);
      return;
    }
    const int32_t s = std::min(y1, cb), e = std::max(y2, ct);
    AdvanceStippleCounter(static_cast<int64_t>(y1) - s);
    for (int32_t y = s; y >= e; --y) {
      TColor32& p = ScanLine(y)[x];
      p = BlendMemOf(CombineMode, GetStippleColor(), p);
    }
    AdvanceStippleCounter(static_cast<int64_t>(e) - y2);
  }
}

void TBitmap32::FrameRectStippled(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!bits_ || x1 >= x2 || y1 >= y2 || x1 >= width_ || y1 >= height_ || x2 <= 0 || y2 <= 0) return;
  const int64_t w = static_cast<int64_t>(x2) - x1, h = static_cast<int64_t>(y2) - y1;
  if (w == 1 && h == 1) {
    HorzLineStippled(x1, y1, x1);
  } else if (w == 1) {
    VertLineStippled(x1, y1, y2 - 1);
  } else if (h == 1) {
    HorzLineStippled(x1, y1, x2 - 1);
  } else {
    HorzLineStippled(x1, y1, x2 - 2);
    VertLineStippled(x2 - 1, y1, y2 - 2);
    HorzLineStippled(x2 - 1, y2 - 1, x1 + 1);
    VertLineStippled(x1, y2 - 1, y1 + 1);
  }
  Changed();
}

void TBitmap32::LineToStippled(TFixed x, TFixed y) {
  const TFixedPoint from = PenPos;
  PenPos = TFixedPoint{x, y};
  const int64_t dx = static_cast<int64_t>(x) - from.X, dy = static_cast<int64_t>(y) - from.Y;
  const int64_t steps = (std::max(std::abs(dx), std::abs(dy)) + 0xFFFF) >> 16;
  if (steps == 0) return;
  // The end point belongs to the next segment of a polyline; a pixel takes one pattern step.
  for (int64_t i = 0; i < steps; ++i) {
    const TFixed px = static_cast<TFixed>(from.X + dx * i / steps);
    const TFixed py = static_cast<TFixed>(from.Y + dy * i / steps);
    const TColor32 c = GetStippleColor();
    // Points far outside the clip are passed over without drawing.
    if ((px >> 16) >= clipRect_.Left - 1 && (px >> 16) < clipRect_.Right && (py >> 16) >= clipRect_.Top - 1 &&
        (py >> 16) < clipRect_.Bottom) {
      PlotAntialiased(px, py, c);
    }
  }
}

// ---- whole-bitmap operations ----

void TBitmap32::Draw(TBitmap32& target, const TRect& targetRect) const { Draw(target, targetRect, BoundsRect()); }

void TBitmap32::Draw(TBitmap32& target, const TRect& targetRect, const TRect& sourceRect) const {
  TransferStretched(&target, targetRect, target.ClipRect(), this, sourceRect, StretchFilter, DrawMode, OnPixelCombine);
  target.Changed();
}

void BoxReduce(TBitmap32& target, const TRect& targetRect, const TBitmap32& source, const TRect& sourceRect) {
  if (target.Empty() || source.Empty() || targetRect.IsEmpty() || sourceRect.IsEmpty()) return;
  if (sourceRect.Left < 0 || sourceRect.Top < 0 || sourceRect.Right > source.Width() ||
      sourceRect.Bottom > source.Height()) {
    RaiseTransformError("Source rectangle is invalid");
  }
  const TRect area = IntersectRect(targetRect, target.BoundsRect());
  if (area.IsEmpty()) return;
  StoreBoxAverages(target, area, targetRect, source, sourceRect);
}

void TBitmap32::FlipHorizontal() {
  if (!bits_) return;
  for (int32_t y = 0; y < height_; ++y) std::reverse(ScanLine(y), ScanLine(y) + width_);
  Changed();
}

void TBitmap32::FlipVertical() {
  if (!bits_) return;
  for (int32_t y = 0, y2 = height_ - 1; y < y2; ++y, --y2) std::swap_ranges(ScanLine(y), ScanLine(y) + width_, ScanLine(y2));
  Changed();
}

void TBitmap32::Rotate180() {
  BeginUpdate();
  FlipHorizontal();
  FlipVertical();
  EndUpdate();
  Changed();
}

namespace {

template <typename Map>
void Turn(TBitmap32& bmp, std::unique_ptr<TColor32[]>& bits, int32_t& width, int32_t& height, Map map) {
  const int32_t w = width, h = height;
  const int64_t count = static_cast<int64_t>(w) * h;
  std::unique_ptr<TColor32[]> turned(new (std::nothrow) TColor32[static_cast<size_t>(count)]);
  if (!turned) RaiseError("Can't allocate the DIB handle");
  for (int32_t y = 0; y < h; ++y) {
    const TColor32* row = bits.get() + static_cast<int64_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      int32_t nx, ny;
      map(x, y, w, h, nx, ny);
      // The map sends every pixel to a place inside the turned bitmap, so both are non-negative.
      turned[static_cast<size_t>(ny) * static_cast<size_t>(h) + static_cast<size_t>(nx)] = row[x];
    }
  }
  bits = std::move(turned);
  width = h;
  height = w;
  bmp.SetClipRect(bmp.BoundsRect());
}

}  // namespace

void TBitmap32::Rotate90() {
  if (!bits_) return;
  const bool resized = width_ != height_;
  Turn(*this, bits_, width_, height_, [](int32_t x, int32_t y, int32_t w, int32_t, int32_t& nx, int32_t& ny) {
    nx = y;
    ny = w - 1 - x;
  });
  if (resized && OnHandleChanged) OnHandleChanged(this);
  Changed();
  if (resized && OnResize) OnResize(this);
}

void TBitmap32::Rotate270() {
  if (!bits_) return;
  const bool resized = width_ != height_;
  Turn(*this, bits_, width_, height_, [](int32_t x, int32_t y, int32_t, int32_t h, int32_t& nx, int32_t& ny) {
    nx = h - 1 - y;
    ny = x;
  });
  if (resized && OnHandleChanged) OnHandleChanged(this);
  Changed();
  if (resized && OnResize) OnResize(this);
}

void TBitmap32::InvertAlpha() {
  if (!bits_) return;
  const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
  TColor32* p = bits_.get();
  for (size_t i = 0; i < n; ++i) p[i] ^= 0xFF000000u;
}

bool TBitmap32::IsUniform(TColor32 c) const {
  if (!bits_ || width_ == 0) return true;
  // Alternating between the top and the bottom finds a differing edge early.
  for (int32_t top = 0, bottom = height_ - 1; top <= bottom; ++top, --bottom) {
    const TColor32* row = ScanLine(top);
    for (int32_t x = 0; x < width_; ++x) {
      if (row[x] != c) return false;
    }
    if (bottom != top) {
      row = ScanLine(bottom);
      for (int32_t x = 0; x < width_; ++x) {
        if (row[x] != c) return false;
      }
    }
  }
  return true;
}

}  // namespace sw
