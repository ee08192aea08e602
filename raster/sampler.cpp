#include "raster/sampler.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "raster/blend.h"
#include "raster/sampler_p.h"

namespace sw {

// ---- TdtpSampler ----

void TdtpSampler::SetTransform(const TdtpTransform* transform) {
  transform_ = transform;
  inverse_.reset();
  if (!transform) return;
  inverse_ = transform->CreateNew();
  inverse_->Assign(*transform);
  inverse_->Invert();
}

// ---- row loops ----

const uint16_t* SamplerGammaTable() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> g{};
    const uint8_t* surface = BilinearGammaTable();
    for (size_t i = 0; i < g.size(); ++i) g[i] = surface[i];
    return g;
  }();
  return table.data();
}

void SampleAffineRowPlain(TAffineRowJob& job) {
  const TSourceView& view = job.View;
  const uint16_t* g = SamplerGammaTable();
  const uint32_t samples = static_cast<uint32_t>(job.Samples);
  for (int32_t k = 0; k < job.Length; ++k) {
    uint32_t sum[4] = {0, 0, 0, 0};
    for (int32_t s = 0; s < job.Samples; ++s) {
      const int64_t u = job.BaseU[s] + job.DU.Value, v = job.BaseV[s] + job.DV.Value;
      const TColor32 c = view.Inside(u, v) ? BilinearInside(view, u, v, g) : view.Outer;
      for (int ch = 0; ch < 4; ++ch) sum[ch] += (c >> (8 * ch)) & 0xFF;
    }
    TColor32 c = 0;
    for (int ch = 0; ch < 4; ++ch) c |= (sum[ch] / samples) << (8 * ch);
    job.Out[k] = c;
    job.DU.Step();
    job.DV.Step();
  }
}

namespace {

// Positions beyond this (in 1/256 pixel) are far outside any bitmap; capping both the row start
// and the row span keeps their sum inside int64.
constexpr double kMaxSpan = 1.0e18;

int64_t Fixed8(double v) { return Round64(std::clamp(v * 256.0, -kMaxSpan, kMaxSpan)); }

bool Finite(const TFloatPoint& p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

}  // namespace

// ---- TdtpMapSampler ----

TdtpMapSampler::TdtpMapSampler() {
  n_ = 0;
  SetOversampling(2);
}

void TdtpMapSampler::SetOversampling(int32_t n) {
  // The range is checked before n * n is formed, so a wild value can neither overflow nor slip
  // through by squaring to the current count (as -2 would).
  if (n < 1 || n > kMaxOversampling) RaiseError("Illegal oversampling value");
  if (n == n_) return;
  n_ = n;
  offsets_.clear();
  if (n == 1) {
    offsets_.push_back({0, 0});
    return;
  }
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t i = 0; i < n; ++i) {
      offsets_.push_back({static_cast<float>((j + 0.5) / n - 0.5), static_cast<float>((i + 0.5) / n - 0.5)});
    }
  }
}

const TColor32* TdtpMapSampler::SampleRow(int32_t x, int32_t y, int32_t count) {
  if (count <= 0 || !inverse_) return nullptr;
  if (count > TBitmap32::kMaxPixels) RaiseError("Sample row too long");
  if (row_.size() < static_cast<size_t>(count)) row_.resize(static_cast<size_t>(count));
  if (inverse_->IsAffine()) {
    SampleAffineRow(static_cast<const TdtpAffineTransform&>(*inverse_), x, y, count, 0, count, row_.data());
  } else {
    SampleGeneralRow(x, y, count);
  }
  return row_.data();
}

void TdtpMapSampler::SampleGeneralRow(int32_t x, int32_t y, int32_t count) {
  // Without an affine inverse every sample point is mapped on its own.
  const TSourceView view(source_);
  const uint16_t* g = SamplerGammaTable();
  const int32_t samples = SampleCount();
  for (int32_t k = 0; k < count; ++k) {
    uint32_t sum[4] = {0, 0, 0, 0};
    for (const TFloatPoint& o : offsets_) {
      const TFloatPoint p = inverse_->TransformPoint(
          {static_cast<float>(static_cast<double>(x) + k + 0.5 + o.X), static_cast<float>(y + 0.5 + o.Y)});
      TColor32 c = view.Outer;
      if (Finite(p)) {
        const int64_t u = Fixed8(p.X), v = Fixed8(p.Y);
        if (view.Inside(u, v)) c = BilinearInside(view, u, v, g);
      }
      for (int ch = 0; ch < 4; ++ch) sum[ch] += (c >> (8 * ch)) & 0xFF;
    }
    TColor32 out = 0;
    for (int ch = 0; ch < 4; ++ch) out |= (sum[ch] / static_cast<uint32_t>(samples)) << (8 * ch);
    row_[static_cast<size_t>(k)] = out;
  }
}

void TdtpMapSampler::SampleAffineRow(const TdtpAffineTransform& inv, int32_t x, int32_t y, int32_t count,
                                     int32_t begin, int32_t end, TColor32* out) const {
  const TSourceView view(source_);
  const int32_t length = end - begin;
  const float cy = static_cast<float>(y + 0.5);
  // Only the row ends go through floating point; the pixels between step by integer tables.
  const TFloatPoint first = inv.TransformPoint({static_cast<float>(x + 0.5), cy});
  const TFloatPoint last = inv.TransformPoint({static_cast<float>(static_cast<double>(x) + count - 0.5), cy});
  if (!view.Valid || !Finite(first) || !Finite(last)) {
    // A singular inverse or an empty source: every pixel reads the outer colour.
    std::fill_n(out, length, view.Outer);
    return;
  }
  const double spanU = std::clamp((static_cast<double>(last.X) - first.X) * 256.0, -kMaxSpan, kMaxSpan);
  const double spanV = std::clamp((static_cast<double>(last.Y) - first.Y) * 256.0, -kMaxSpan, kMaxSpan);
  TAffineRowJob job;
  job.View = view;
  job.Samples = SampleCount();
  job.DU.Init(Round64(spanU), count - 1);
  job.DV.Init(Round64(spanV), count - 1);
  job.DU.Seek(begin);
  job.DV.Seek(begin);
  job.Length = length;
  job.Out = out;
  for (int32_t s = 0; s < job.Samples; ++s) {
    const TFloatPoint o = offsets_[static_cast<size_t>(s)];
    const TFloatPoint p =
        n_ == 1 ? first
                : inv.TransformPoint({static_cast<float>(x + 0.5 + o.X), static_cast<float>(y + 0.5 + o.Y)});
    if (!Finite(p)) {
      std::fill_n(out, length, view.Outer);
      return;
    }
    job.BaseU[s] = Fixed8(p.X);
    job.BaseV[s] = Fixed8(p.Y);
  }
  SampleAffineRowSse2(job);
}

void TdtpMapSampler::Render(const TFloatRect& sourceArea) {
  if (!target_ || target_->Empty() || !source_ || !transform_ || !inverse_) return;
  const TFloatPoint corners[4] = {
      transform_->TransformPoint({sourceArea.Left, sourceArea.Top}),
      transform_->TransformPoint({sourceArea.Right, sourceArea.Top}),
      transform_->TransformPoint({sourceArea.Right, sourceArea.Bottom}),
      transform_->TransformPoint({sourceArea.Left, sourceArea.Bottom}),
  };
  double minX = corners[0].X, maxX = minX, minY = corners[0].Y, maxY = minY;
  for (const TFloatPoint& c : corners) {
    if (std::isnan(c.X) || std::isnan(c.Y)) return;
    minX = std::min<double>(minX, c.X);
    maxX = std::max<double>(maxX, c.X);
    minY = std::min<double>(minY, c.Y);
    maxY = std::max<double>(maxY, c.Y);
  }
  // Clamped in floating point first, so corners far outside cannot overflow the conversion.
  const double fx0 = std::max(std::floor(minX), 0.0);
  const double fx1 = std::min(std::ceil(maxX), target_->Width() - 1.0);
  const double fy0 = std::max(std::floor(minY), 0.0);
  const double fy1 = std::min(std::ceil(maxY), target_->Height() - 1.0);
  if (fx0 > fx1 || fy0 > fy1) return;
  const int32_t x0 = static_cast<int32_t>(fx0), x1 = static_cast<int32_t>(fx1);
  const int32_t y0 = static_cast<int32_t>(fy0), y1 = static_cast<int32_t>(fy1);
  const int32_t width = x1 - x0 + 1;
  // The target's clip keeps out what lies beyond it; the rows are still sampled as the whole
  // bitmap lays them, so a clip never moves a pixel.
  const TRect clip = target_->ClipRect();
  const int32_t first = std::clamp(clip.Left - x0, 0, width), last = std::clamp(clip.Right - x0, 0, width);
  const int32_t top = std::max(y0, clip.Top), bottom = std::min(y1, clip.Bottom - 1);
  if (first >= last || top > bottom) return;
  const uint32_t master = source_->MasterAlpha > 255 ? 255 : source_->MasterAlpha;
  const bool affine = inverse_->IsAffine();
  // Affine rows are laid in vertical strips, so that the source pixels a strip reads stay in the
  // cache from one row to the next even when the picture is turned; every pixel still steps as
  // the part of its whole row (x0 .. x1) that it is.
  const int32_t strip = affine ? std::min(width, kStripWidth) : width;
  if (row_.size() < static_cast<size_t>(strip)) row_.resize(static_cast<size_t>(strip));
  for (int32_t begin = first; begin < last; begin += strip) {
    const int32_t end = std::min(last, begin + strip);
    for (int32_t y = top; y <= bottom; ++y) {
      const TColor32* row;
      if (affine) {
        SampleAffineRow(static_cast<const TdtpAffineTransform&>(*inverse_), x0, y, width, begin, end,
                        row_.data());
        row = row_.data();
      } else {
        row = SampleRow(x0, y, width) + begin;
      }
      TColor32* dst = target_->ScanLine(y) + x0 + begin;
      if (master == 255) {
        MergeLine(row, dst, end - begin);
      } else {
        MergeLineEx(row, dst, end - begin, master);
      }
    }
  }
}

}  // namespace sw
