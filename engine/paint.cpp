// The paint pipeline: a shape is either painted straight onto the target through its paint
// matrix, or (rotated, translucent, mirrored, flipped, with effects or forced) painted into its
// cache at the render resolution and laid onto the target by a map sampler.
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <utility>

#include "base/exception.h"
#include "base/numeric.h"
#include "engine/document.h"
#include "platform/bitmap_canvas.h"
#include "raster/blend.h"
#include "raster/sampler.h"
#include "raster/transform.h"

namespace sw {

namespace {

// The extent, in the transform's target, of a rectangle's four corners.
struct TMappedBounds {
  double MinX = INFINITY, MaxX = -INFINITY, MinY = INFINITY, MaxY = -INFINITY;
};

TMappedBounds MappedBounds(const TdtpAffineTransform& m, const TFloatRect& r) {
  TMappedBounds b;
  for (const auto& [u, v] : {std::pair<double, double>{r.Left, r.Top}, {r.Right, r.Top},
                             {r.Left, r.Bottom}, {r.Right, r.Bottom}}) {
    const double x = m.A * u + m.C * v + m.E, y = m.B * u + m.D * v + m.F;
    b.MinX = std::min(b.MinX, x);
    b.MaxX = std::max(b.MaxX, x);
    b.MinY = std::min(b.MinY, y);
    b.MaxY = std::max(b.MaxY, y);
  }
  return b;
}

// A side's margin added to its leading extent and its span, saturating like the extents do; a
// size that saturates is refused by the budget or the bitmap.
void AddMargin(int32_t& lead, int32_t& span) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  const int64_t l = std::min<int64_t>(static_cast<int64_t>(lead) + kCacheMargin, kMax);
  const int64_t w = std::min<int64_t>(static_cast<int64_t>(span) + kCacheMargin, kMax - l);
  lead = static_cast<int32_t>(l);
  span = static_cast<int32_t>(w);
}

// The cache's extents with its margin: Left and Top, the pixels left of and above the shape's
// local origin, include it, so the local area and the cache-to-target map place pixel (0, 0) a
// margin out. A shape without cache pixels gets no margin either.
TCacheExtent ExtentAt(const TdtpShape& s, double dpm) {
  TCacheExtent e = CacheExtent(dpm, s.EffectiveCurbLeft(), s.EffectiveCurbTop(), s.EffectiveCurbRight(),
                               s.EffectiveCurbBottom(), s.DocWidth(), s.DocHeight());
  if (e.BitmapWidth() <= 0 || e.BitmapHeight() <= 0) return e;
  AddMargin(e.Left, e.Width);
  AddMargin(e.Top, e.Height);
  return e;
}

// The map sampler reads source pixel i at coordinate i; cache-to-target maps put pixel i on
// [i, i + 1). Shifting the source by half a pixel first makes every pixel's centre land where
// that pixel belongs.
TdtpAffineTransform SamplerMap(const TdtpAffineTransform& cacheToTarget) {
  TdtpAffineTransform m;
  m.Translate(0.5, 0.5);
  m.Multiply(cacheToTarget);
  return m;
}

// The area of the sampler's source coordinates a whole bitmap covers.
TFloatRect SampledArea(const TBitmap32& bitmap) {
  return TFloatRect{-0.5f, -0.5f, static_cast<float>(bitmap.Width() - 0.5), static_cast<float>(bitmap.Height() - 0.5)};
}

// True when a sampler map neither scales nor turns and takes target pixel centres onto whole
// source coordinates: the cache is then laid 1:1, and one sample per pixel copies it exactly
// where supersampling would blur every edge with its neighbours.
bool LaysOneToOne(const TdtpAffineTransform& m) {
  constexpr double kEps = 1e-6;
  auto whole = [](double v) { return std::abs(v - std::round(v)) < kEps; };
  return std::abs(m.A - 1) < kEps && std::abs(m.D - 1) < kEps && std::abs(m.B) < kEps && std::abs(m.C) < kEps &&
         whole(0.5 - m.E) && whole(0.5 - m.F);
}

// For a picture laid at its own resolution, upright or turned by quarter turns (a copy on a
// sheet): moves the map by less than half a target pixel so that target pixel centres land on
// whole source coordinates, where one sample per pixel copies the picture exactly. False, and the
// map unchanged, for any other map.
bool SnapToPixels(TdtpAffineTransform& m) {
  constexpr double kEps = 1e-6;
  auto unit = [](double v) { return std::abs(std::abs(v) - 1) < kEps; };
  auto zero = [](double v) { return std::abs(v) < kEps; };
  const bool upright = unit(m.A) && unit(m.D) && zero(m.B) && zero(m.C);
  const bool turned = zero(m.A) && zero(m.D) && unit(m.B) && unit(m.C);
  if (!(upright || turned) || !std::isfinite(m.E) || !std::isfinite(m.F)) return false;
  m.A = std::round(m.A);
  m.B = std::round(m.B);
  m.C = std::round(m.C);
  m.D = std::round(m.D);
  m.E = 0.5 - std::round(0.5 - m.E);
  m.F = 0.5 - std::round(0.5 - m.F);
  return true;
}

int64_t PixelsAt(const TdtpShape& s, double dpm) {
  const TCacheExtent e = ExtentAt(s, dpm);
  return static_cast<int64_t>(e.BitmapWidth()) * e.BitmapHeight();
}

bool HasArea(const TFloatRect& r) { return r.Right > r.Left && r.Bottom > r.Top; }

// The target pixels a shape cut to local (its CacheClip) may colour through toTarget: those whose
// centres lie inside the cut's bounds there. Nothing when the cut maps to no finite area.
std::optional<TRect> CutPixels(const TdtpAffineTransform& toTarget, const TFloatRect& local) {
  const auto [minX, maxX, minY, maxY] = MappedBounds(toTarget, local);
  if (!(minX <= maxX && minY <= maxY)) return std::nullopt;
  auto edge = [](double v) {
    constexpr double kLimit = 1 << 30;
    return static_cast<int32_t>(std::clamp(std::round(v), -kLimit, kLimit));
  };
  return TRect{edge(minX), edge(minY), edge(maxX), edge(maxY)};
}

TStretchFilter FilterOf(uint8_t filter) {
  return static_cast<TStretchFilter>(std::min<uint8_t>(filter, sfMitchell));
}

}  // namespace

float TdtpDocument::CacheResolution(const TdtpShape& shape, double dpm) {
  if (!std::isfinite(dpm) || dpm <= 0) return 0;
  auto r = static_cast<float>(dpm);
  int64_t pixels = PixelsAt(shape, r);
  if (pixels <= 0) return 0;
  // Pixels grow with the square of the resolution; the ceilings of the extents may leave a
  // step too many, so shrink a little further until the cache fits.
  for (int i = 0; i < 64 && pixels > kCachePixelBudget; ++i) {
    const double factor = std::sqrt(static_cast<double>(kCachePixelBudget) / static_cast<double>(pixels));
    r = static_cast<float>(r * std::min(factor, 1.0) * 0.999);
    pixels = PixelsAt(shape, r);
  }
  if (pixels <= 0 || pixels > kCachePixelBudget || !(r > 0)) return 0;
  return r;
}

std::unique_ptr<TBitmap32> TdtpDocument::RenderCachePicture(TdtpShape& content, const TdtpShape& like, float dpm,
                                                            const TdtpPaintInfo& info) {
  auto picture = std::make_unique<TBitmap32>();
  if (!(dpm > 0)) return picture;
  const TCacheExtent e = ExtentAt(like, dpm);
  if (e.BitmapWidth() <= 0 || e.BitmapHeight() <= 0) return picture;
  picture->SetSize(e.BitmapWidth(), e.BitmapHeight());
  // As a cache is built: alpha 0 in the page colour, so that resampled edges fade towards it.
  picture->Clear(info.BackColor);
  picture->OuterColor = info.BackColor;
  picture->CombineMode = cmMerge;
  picture->DrawMode = dmBlend;
  picture->StretchFilter = FilterOf(info.Filter);
  if (paintDepth_ == 0) failedThisPaint_.clear();
  struct TDepth {
    int32_t& depth;
    ~TDepth() { --depth; }
  } depth{++paintDepth_};
  PaintContent(&content, *picture, e.LocalArea(dpm), info);
  content.PostProcess(*picture, info);
  return picture;
}

void TdtpDocument::DrawTo(TdtpShape* shape, TBitmap32& target, const TFloatRect& area, bool untransformed,
                          const TdtpPaintInfo& info) {
  if (!shape || target.Empty() || !HasArea(area)) return;
  TFloatRect b = untransformed ? TFloatRect{-shape->EffectiveCurbLeft(), -shape->EffectiveCurbTop(),
                                             shape->DocWidth() + shape->EffectiveCurbRight(),
                                             shape->DocHeight() + shape->EffectiveCurbBottom()}
                               : shape->BoundsInParent(true);
  if (shape->NeedsCache()) {
    // A laid cache colours pixels beyond the bounds: its edge pixels fade into the margin, read
    // by samples spread over a target pixel. Twice a cache pixel and a target pixel covers that
    // reach, turned too, so that a piece of a paint leaves out nothing the whole paint draws.
    const float r = CacheResolution(*shape, info.Dpm);
    const double cachePixel = r > 0 ? 1.0 / r : 0;
    const double targetPixel = std::max((static_cast<double>(area.Right) - area.Left) / target.Width(),
                                        (static_cast<double>(area.Bottom) - area.Top) / target.Height());
    const auto pad = static_cast<float>(2 * (cachePixel + targetPixel));
    if (std::isfinite(pad)) b = TFloatRect{b.Left - pad, b.Top - pad, b.Right + pad, b.Bottom + pad};
  }
  if (!(area.Left < b.Right && b.Left < area.Right && area.Top < b.Bottom && b.Top < area.Bottom)) return;
  if (paintDepth_ == 0) failedThisPaint_.clear();
  struct TDepth {
    int32_t& depth;
    ~TDepth() { --depth; }
  } depth{++paintDepth_};
  try {
    if (shape->NeedsCache()) {
      DrawCached(shape, target, area, untransformed, info);
    } else {
      shape->FreeCache();
      TFloatRect local = area;
      if (!untransformed) {
        // The shape is unrotated on this path, so the two corners bound the local area.
        const TFloatPoint p0 = shape->ParentToLocal({area.Left, area.Top});
        const TFloatPoint p1 = shape->ParentToLocal({area.Right, area.Bottom});
        local = TFloatRect{p0.X, p0.Y, p1.X, p1.Y};
      }
      PaintContent(shape, target, local, info);
      if (info.Mode == TPaintMode::Screen) shape->PaintOverlay(target, target.BoundsRect());
    }
    // A shape that painted without failing (its picture too) is news again when it fails later.
    if (!paintErrors_.empty() && !failedThisPaint_.count(shape->ShapeId())) paintErrors_.erase(shape->ShapeId());
  } catch (const std::exception& e) {
    ReportPaintError(shape, e.what());
  }
}

void TdtpDocument::PaintContent(TdtpShape* shape, TBitmap32& bitmap, const TFloatRect& area,
                                const TdtpPaintInfo& info) {
  bitmap.CombineMode = cmMerge;
  bitmap.DrawMode = dmBlend;
  bitmap.StretchFilter = FilterOf(info.Filter);
  if (!shape || bitmap.Empty() || !HasArea(area)) return;
  if (info.Grid && &bitmap == info.Grid->Target) {
    // Straight from the paint's grid, not from the clip's rounded millimetres.
    const TdtpPaintGrid& grid = *info.Grid;
    TdtpAffineTransform m = LocalToGrid(*shape, grid);
    m.Translate(-static_cast<double>(grid.OriginX), -static_cast<double>(grid.OriginY));
    shape->SetPaintMatrix(m);
  } else {
    shape->SetPaintMatrix(PaintMatrix(area, bitmap.Width(), bitmap.Height()));
  }
  shape->PaintBitmap(bitmap, info);
  if (shape->UsesCanvas()) {
    // Canvas drawing leaves alpha 0 on what it draws; inverted around it, that is opaque.
    bitmap.InvertAlpha();
    try {
      TBitmapCanvas canvas(bitmap);
      shape->PaintCanvas(canvas, info);
    } catch (...) {
      bitmap.InvertAlpha();
      throw;
    }
    bitmap.InvertAlpha();
  }
  for (int i = 0; i < shape->ChildCount(); ++i) {
    TdtpShape* child = shape->Child(i);
    if (child && child->Visible()) DrawTo(child, bitmap, area, false, info);
  }
  shape->AfterPaint(bitmap);
}

void TdtpDocument::DrawCached(TdtpShape* shape, TBitmap32& target, const TFloatRect& area, bool untransformed,
                              const TdtpPaintInfo& info) {
  const float dpm = CacheResolution(*shape, info.Dpm);
  if (!(dpm > 0)) {
    shape->FreeCache();
    return;
  }
  const std::shared_ptr<TBitmap32> shared = shape->SharedCache(dpm, info);
  TBitmap32* cache = shared ? shared.get() : shape->Cache();
  const bool valid = cache && !cache->Empty() && shape->CacheDpm > 0;
  // A cache is reused at any lower resolution unless the caller wants exactly its own.
  if (!shared && (!valid || dpm > shape->CacheDpm || (dpm < shape->CacheDpm && info.ExactDpm))) {
    ShowAppStartCursor();
    try {
      shape->CacheDpm = dpm;
      const TCacheExtent e = ExtentAt(*shape, dpm);
      if (!cache) {
        shape->SetCache(std::make_unique<TBitmap32>());
        cache = shape->Cache();
      }
      cache->SetSize(e.BitmapWidth(), e.BitmapHeight());
      // Alpha 0 in the page colour: resampled edges fade towards the page, not towards black.
      cache->Clear(info.BackColor);
      cache->OuterColor = info.BackColor;
      cache->CombineMode = cmMerge;
      cache->DrawMode = dmBlend;
      cache->StretchFilter = FilterOf(info.Filter);
      const TFloatRect local = e.LocalArea(dpm);
      PaintContent(shape, *cache, local, info);
      shape->PostProcess(*cache, info);
      if (info.Mode == TPaintMode::Screen) shape->PaintOverlay(*cache, cache->BoundsRect());
    } catch (...) {
      // A half-made cache must not pass for a valid one at the next paint.
      shape->FreeCache();
      throw;
    }
  }
  if (!cache || cache->Empty()) return;
  const float cacheDpm = shared ? dpm : shape->CacheDpm;
  cache->MasterAlpha = shape->MasterAlpha();
  const bool onGrid = info.Grid && &target == info.Grid->Target && !untransformed;
  // A shape cut short colours only its clip, on whole target pixels: a pixel is its when the
  // pixel's centre lies inside.
  const TRect saved = target.ClipRect();
  struct TRestore {
    TBitmap32& target;
    TRect clip;
    ~TRestore() { target.SetClipRect(clip); }
  } restore{target, saved};
  TFloatRect cut;
  if (shape->CacheClip(cut)) {
    TdtpAffineTransform toTarget;
    if (onGrid) {
      toTarget = LocalToGrid(*shape, *info.Grid);
      toTarget.Translate(-static_cast<double>(info.Grid->OriginX), -static_cast<double>(info.Grid->OriginY));
    } else {
      if (!untransformed) {
        toTarget = TdtpAffineTransform(shape->Cos(), -shape->Sin(), shape->Sin(), shape->Cos(), shape->DocLeft(),
                                       shape->DocTop());
      }
      toTarget.Multiply(PaintMatrix(area, target.Width(), target.Height()));
    }
    const std::optional<TRect> pixels = CutPixels(toTarget, cut);
    if (!pixels) return;
    target.SetClipRect(IntersectRect(saved, *pixels));
    if (target.ClipRect().IsEmpty()) return;
  }
  if (onGrid) {
    DrawCacheOnGrid(shape, *cache, cacheDpm, target, *info.Grid, shared != nullptr);
    if (info.FreeCacheAfter) shape->FreeCache();
    return;
  }
  TCachePlacement placement;
  placement.Dpm = cacheDpm;
  placement.Extent = ExtentAt(*shape, cacheDpm);
  placement.DocAngle = shape->DocAngle();
  placement.DocLeft = shape->DocLeft();
  placement.DocTop = shape->DocTop();
  placement.OwnFrame = untransformed;
  TdtpAffineTransform matrix = SamplerMap(CacheToTargetMatrix(placement, area, target.Width(), target.Height()));
  TdtpMapSampler sampler;
  // A shared picture is placed on whole pixels: laid many times, it is copied, not resampled.
  if ((shared && SnapToPixels(matrix)) || LaysOneToOne(matrix)) sampler.SetOversampling(1);
  sampler.SetTarget(&target);
  sampler.SetSource(cache);
  sampler.SetTransform(&matrix);
  sampler.Render(SampledArea(*cache));
  if (info.FreeCacheAfter) shape->FreeCache();
}

TdtpAffineTransform TdtpDocument::LocalToGrid(const TdtpShape& shape, const TdtpPaintGrid& grid) {
  TdtpAffineTransform m;
  // Each step is the shape's LocalToParent: (DocLeft + c u + s v, DocTop - s u + c v), up to the
  // grid's frame, whose own placement the grid leaves out.
  for (const TdtpShape* s = &shape; s && s != grid.Frame; s = s->Parent()) {
    m.Multiply(TdtpAffineTransform(s->Cos(), -s->Sin(), s->Sin(), s->Cos(), s->DocLeft(), s->DocTop()));
  }
  m.Scale(grid.Dpm, grid.Dpm);
  m.Translate(grid.ShiftX, grid.ShiftY);
  return m;
}

TdtpAffineTransform TdtpDocument::CacheToGridMap(const TdtpShape& shape, double r, const TdtpPaintGrid& grid) {
  const TCacheExtent e = ExtentAt(shape, r);
  TdtpAffineTransform toGrid;
  toGrid.Translate(-static_cast<double>(e.Left), -static_cast<double>(e.Top));
  toGrid.Scale(1 / r, 1 / r);
  toGrid.Multiply(LocalToGrid(shape, grid));
  return SamplerMap(toGrid);
}

void TdtpDocument::DrawCacheOnGrid(TdtpShape* shape, const TBitmap32& cache, double r, TBitmap32& target,
                                   const TdtpPaintGrid& grid, bool snap) {
  // Rows are sampled in chunks of fixed grid columns: the sampler steps along a row from its
  // start, so a row that started at the clip would sample differently in every piece.
  constexpr int64_t kChunk = 256;
  constexpr double kLimit = 1 << 30;
  TdtpAffineTransform m = CacheToGridMap(*shape, r, grid);
  const bool snapped = snap && SnapToPixels(m);
  const TFloatRect sampled = SampledArea(cache);
  const auto [minX, maxX, minY, maxY] = MappedBounds(m, sampled);
  if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) || !std::isfinite(maxY)) return;
  const TRect clip = target.ClipRect();
  const int64_t x0 = std::max(static_cast<int64_t>(std::max(std::floor(minX), -kLimit)), grid.OriginX + clip.Left);
  const int64_t x1 = std::min(static_cast<int64_t>(std::min(std::ceil(maxX), kLimit)), grid.OriginX + clip.Right - 1);
  const int64_t y0 = std::max(static_cast<int64_t>(std::max(std::floor(minY), -kLimit)), grid.OriginY + clip.Top);
  const int64_t y1 = std::min(static_cast<int64_t>(std::min(std::ceil(maxY), kLimit)), grid.OriginY + clip.Bottom - 1);
  if (x0 > x1 || y0 > y1) return;
  const uint32_t master = std::min<uint32_t>(cache.MasterAlpha, 255);
  if (snapped && m.A == 1 && m.D == 1) {
    // Upright on whole pixels: target pixel (x, y) shows cache pixel (x + 0.5 - E, y + 0.5 - F),
    // merged straight from the cache's rows; beyond the cache lies nothing to merge.
    const auto dx = static_cast<int64_t>(std::llround(0.5 - m.E)), dy = static_cast<int64_t>(std::llround(0.5 - m.F));
    const int64_t from = std::max<int64_t>(x0, -dx), to = std::min<int64_t>(x1, cache.Width() - 1 - dx);
    const int64_t top = std::max<int64_t>(y0, -dy), bottom = std::min<int64_t>(y1, cache.Height() - 1 - dy);
    if (from > to || top > bottom) return;
    const auto n = static_cast<int32_t>(to - from + 1);
    for (int64_t y = top; y <= bottom; ++y) {
      const TColor32* src = cache.ScanLine(static_cast<int32_t>(y + dy)) + (from + dx);
      TColor32* dst = target.ScanLine(static_cast<int32_t>(y - grid.OriginY)) + (from - grid.OriginX);
      if (master == 255) {
        MergeLine(src, dst, n);
      } else {
        MergeLineEx(src, dst, n, master);
      }
    }
    target.Changed();
    return;
  }
  const auto rowFirst = static_cast<int64_t>(std::max(std::floor(minX), -kLimit));
  const auto rowLast = static_cast<int64_t>(std::min(std::ceil(maxX), kLimit));
  TdtpMapSampler sampler;
  if (snapped || LaysOneToOne(m)) sampler.SetOversampling(1);
  sampler.SetSource(&cache);
  sampler.SetTransform(&m);
  // Floor division, so that chunks keep their columns left of grid column 0 too.
  const int64_t firstChunk = (x0 >= 0 ? x0 / kChunk : -((-x0 + kChunk - 1) / kChunk)) * kChunk;
  // Column chunks outside, rows inside: a chunk's rows read neighbouring cache pixels, also when
  // the cache is turned.
  for (int64_t chunk = firstChunk; chunk <= x1; chunk += kChunk) {
    const int64_t s = std::max(chunk, rowFirst), last = std::min(chunk + kChunk - 1, rowLast);
    const int64_t from = std::max(s, x0), to = std::min(last, x1);
    if (from > to) continue;
    for (int64_t y = y0; y <= y1; ++y) {
      TColor32* line = target.ScanLine(static_cast<int32_t>(y - grid.OriginY));
      const TColor32* row = sampler.SampleRow(static_cast<int32_t>(s), static_cast<int32_t>(y),
                                              static_cast<int32_t>(last - s + 1));
      if (!row) continue;
      TColor32* dst = line + (from - grid.OriginX);
      const auto n = static_cast<int32_t>(to - from + 1);
      if (master == 255) {
        MergeLine(row + (from - s), dst, n);
      } else {
        MergeLineEx(row + (from - s), dst, n, master);
      }
    }
  }
  target.Changed();
}

bool TdtpDocument::PlacePagePictures(TdtpPage& page, TCanvas& canvas, const TRect& dest, double dpm,
                                     const TdtpPaintInfo& info, const std::function<void(double share)>& progress) {
  // A white page of nothing but shapes that share their pictures: where no copy lies, the paper
  // itself shows, and every copy is its picture cut to its clip.
  if (dest.IsEmpty() || OnPaintBackground || OnPaintForeground || !(dpm > 0)) return false;
  if (SetAlpha(ColorFromSystem(page.PageColor()), 255) != clWhite32 || page.HoldsBackgroundPicture() ||
      page.NeedsCache() || page.UsesCanvas()) {
    return false;
  }
  TdtpPaintGrid grid;
  grid.Frame = &page;
  grid.Dpm = dpm;
  const TRect source{0, 0, dest.Width(), dest.Height()};
  struct TPlacement {
    TdtpShape* Shape;
    float Dpm;
    TdtpAffineTransform Map;  // cache to grid, on whole pixels
    TRect At;                 // the laid picture on the grid
    TRect Clip;               // what of it the page shows
    TRect Drawn;              // what of it is drawn: the clip, and whatever later copies cover again
  };
  std::vector<TPlacement> placements;
  for (int i = 0; i < page.ChildCount(); ++i) {
    TdtpShape* shape = page.Child(i);
    if (!shape || !shape->Visible()) continue;
    if (!shape->NeedsCache() || !shape->SharesCache()) return false;
    const float r = CacheResolution(*shape, info.Dpm);
    // Too large for any cache: the cached path paints nothing of it either.
    if (!(r > 0)) continue;
    TdtpAffineTransform m = CacheToGridMap(*shape, r, grid);
    // Turned or scaled by anything but quarter turns at its own resolution: it has to be sampled.
    if (!SnapToPixels(m)) return false;
    const TCacheExtent e = ExtentAt(*shape, r);
    const std::optional<TRect> at = CutPixels(
        m, TFloatRect{-0.5f, -0.5f, static_cast<float>(e.BitmapWidth()) - 0.5f, static_cast<float>(e.BitmapHeight()) - 0.5f});
    if (!at) return false;
    TRect clip = IntersectRect(*at, source);
    TFloatRect cut;
    if (shape->CacheClip(cut)) {
      const std::optional<TRect> pixels = CutPixels(LocalToGrid(*shape, grid), cut);
      clip = pixels ? IntersectRect(clip, *pixels) : TRect{};
    }
    if (clip.IsEmpty()) continue;
    for (const TPlacement& other : placements) {
      // A copy over another would show the paper of its picture's transparent parts there.
      if (!IntersectRect(other.Clip, clip).IsEmpty()) return false;
    }
    placements.push_back(TPlacement{shape, r, m, *at, clip, clip});
  }
  // A page with no copy on it prints as any other.
  if (placements.empty()) return false;
  // A copy is drawn on under its later neighbours wherever they cover it again: the seam between
  // two copies then lies over a copy, never over the paper, however a viewer smooths the edge of
  // a clip. (The clips do not overlap, so the areas they cover add up.)
  auto area = [](const TRect& r) { return r.IsEmpty() ? int64_t(0) : int64_t(r.Width()) * r.Height(); };
  for (size_t i = 0; i < placements.size(); ++i) {
    TPlacement& p = placements[i];
    auto coveredLater = [&](const TRect& strip) {
      if (strip.IsEmpty()) return false;
      int64_t covered = 0;
      for (size_t j = i + 1; j < placements.size(); ++j) covered += area(IntersectRect(strip, placements[j].Clip));
      return covered == area(strip);
    };
    TRect& d = p.Drawn;
    const TRect at = IntersectRect(p.At, source);
    if (coveredLater(TRect{d.Right, d.Top, at.Right, d.Bottom})) d.Right = at.Right;
    if (coveredLater(TRect{at.Left, d.Top, d.Left, d.Bottom})) d.Left = at.Left;
    if (coveredLater(TRect{d.Left, d.Bottom, d.Right, at.Bottom})) d.Bottom = at.Bottom;
    if (coveredLater(TRect{d.Left, at.Top, d.Right, d.Top})) d.Top = at.Top;
  }

  // The picture composed onto the paper as the bands would show it, made once for all the copies
  // that lay the same picture the same way up.
  std::shared_ptr<const TBitmap32> placed;
  std::shared_ptr<TBitmap32> placedFrom;
  TdtpAffineTransform placedMap;
  uint32_t placedAlpha = 0;
  for (size_t k = 0; k < placements.size(); ++k) {
    const TPlacement& p = placements[k];
    try {
      const std::shared_ptr<TBitmap32> picture = p.Shape->SharedCache(p.Dpm, info);
      if (picture && !picture->Empty()) {
        if (picture->Width() * picture->Height() != p.At.Width() * p.At.Height()) {
          RaiseError("The shared picture does not match its shape's size");
        }
        picture->MasterAlpha = p.Shape->MasterAlpha();
        const TdtpAffineTransform& m = p.Map;
        const bool same = placed && picture == placedFrom && picture->MasterAlpha == placedAlpha &&
                          m.A == placedMap.A && m.B == placedMap.B && m.C == placedMap.C && m.D == placedMap.D;
        if (!same) {
          placed.reset();
          auto composed = std::make_shared<TBitmap32>();
          composed->SetSize(p.At.Width(), p.At.Height());
          composed->Clear(clWhite32);
          TdtpPaintGrid own = grid;
          own.Target = composed.get();
          own.OriginX = p.At.Left;
          own.OriginY = p.At.Top;
          DrawCacheOnGrid(p.Shape, *picture, p.Dpm, *composed, own, true);
          placed = std::move(composed);
          placedFrom = picture;
          placedMap = m;
          placedAlpha = picture->MasterAlpha;
        }
      } else {
        placed.reset();
        placedFrom.reset();
      }
    } catch (const std::exception& e) {
      ReportPaintError(p.Shape, e.what());
    }
    // A sheet without one of its shapes is no print.
    CheckPrintFailure();
    if (placed) {
      canvas.PlacePicture(dest.Left + p.At.Left, dest.Top + p.At.Top, placed,
                          TRect{dest.Left + p.Drawn.Left, dest.Top + p.Drawn.Top, dest.Left + p.Drawn.Right,
                                dest.Top + p.Drawn.Bottom});
    }
    if (progress) progress(static_cast<double>(k + 1) / static_cast<double>(placements.size()));
  }
  return true;
}

void TdtpDocument::ReportPaintError(TdtpShape* shape, const std::string& message) {
  if (printJob_ && printFailure_.empty()) {
    std::string name = shape ? shape->Name() : std::string();
    if (name.empty()) name = shape ? shape->ClassName() : "page";
    printFailure_ = "The shape \"" + name + "\" could not be printed: " + message;
  }
  const int32_t id = shape ? shape->ShapeId() : 0;
  failedThisPaint_.insert(id);
  if (!paintErrors_.insert(id).second) return;
  ReportLoadError(shape, message);
}

void TdtpDocument::CheckPrintFailure() const {
  if (!printFailure_.empty()) RaiseError(printFailure_);
}

void TdtpDocument::ShowAppStartCursor() {
  if (appStartShown_ || !host_) return;
  appStartShown_ = true;
  SetCursorShape(crAppStart);
}

void TdtpDocument::RaiseCanvasEvent(const TdtpCanvasEvent& event, TBitmap32& bitmap, const TRect& pageRect) {
  if (!event || bitmap.Empty()) return;
  bitmap.InvertAlpha();
  try {
    TBitmapCanvas canvas(bitmap);
    event(this, canvas, pageRect);
  } catch (...) {
    bitmap.InvertAlpha();
    throw;
  }
  bitmap.InvertAlpha();
}

void TdtpDocument::PaintWindow(TCanvas& canvas) {
  if (IsPrinting() || IsLoading()) return;
  const TRect c = canvas.ClipRect();
  if (c.IsEmpty()) return;
  TdtpPage* page = CurrentPage();
  TdtpPaintInfo info;
  info.Mode = TPaintMode::Screen;
  info.Dpm = static_cast<float>(RenderAtScreenRes ? screenDpm_ : renderDpm_);
  info.Filter = Quality;
  info.BackColor = page ? SetAlpha(ColorFromSystem(page->PageColor()), 0) : 0;
  TBitmap32 bitmap;
  bitmap.SetSize(c.Width(), c.Height());
  bitmap.Clear(ColorFromSystem(Color));
  // The grid's offset is the window's, WindowLeft/Top x the resolution, kept whole where it is
  // whole but for rounding, so that whole-pixel scrolls move the grid by whole pixels.
  auto offset = [&](double windowEdge, double& shift, int64_t& origin, int32_t clipEdge) {
    double p = windowEdge * screenDpm_;
    if (std::abs(p - std::round(p)) < 1e-6) p = std::round(p);
    p = std::clamp(p, -1e15, 1e15);
    const double whole = std::floor(p);
    shift = -(p - whole);
    origin = clipEdge + static_cast<int64_t>(whole);
  };
  TdtpPaintGrid grid;
  grid.Target = &bitmap;
  grid.Dpm = screenDpm_;
  offset(WindowLeft, grid.ShiftX, grid.OriginX, c.Left);
  offset(WindowTop, grid.ShiftY, grid.OriginY, c.Top);
  info.Grid = &grid;
  if (page) {
    const TFloatRect area{static_cast<float>(c.Left / screenDpm_ + WindowLeft),
                          static_cast<float>(c.Top / screenDpm_ + WindowTop),
                          static_cast<float>(c.Right / screenDpm_ + WindowLeft),
                          static_cast<float>(c.Bottom / screenDpm_ + WindowTop)};
    DrawTo(page, bitmap, area, false, info);
  }
  canvas.DrawBitmap(c.Left, c.Top, bitmap);
  if (appStartShown_) {
    appStartShown_ = false;
    if (host_ && !IsBusy()) host_->SetCursor(Cursor);
  }
  DrawSelectionHandles(canvas);
}

std::unique_ptr<TBitmap32> TdtpDocument::RenderPage(TdtpPage& page, double dpm) {
  if (!std::isfinite(dpm) || dpm <= 0) RaiseError("Invalid resolution");
  page.EnsureLoaded();
  auto bitmap = std::make_unique<TBitmap32>();
  const int64_t w = Round64(page.DocWidth() * dpm), h = Round64(page.DocHeight() * dpm);
  if (w < 1 || h < 1) return bitmap;
  if (w > TBitmap32::kMaxPixels || h > TBitmap32::kMaxPixels / w) {
    RaiseError(Format("The page is too large to render at %g dots per inch", DpiOfDpm(dpm)));
  }
  bitmap->SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
  const TColor32 paper = ColorFromSystem(page.PageColor());
  bitmap->Clear(paper);
  const TdtpPaintInfo info = PrintPaintInfo(page, dpm);
  BeginPrinting();
  try {
    DrawTo(&page, *bitmap, TFloatRect{0, 0, page.DocWidth(), page.DocHeight()}, true, info);
  } catch (...) {
    EndPrinting();
    throw;
  }
  EndPrinting();
  return bitmap;
}

}  // namespace sw
