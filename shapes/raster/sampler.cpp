#include "shapes/raster/sampler.h"

#include "shapes/raster/blend.h"

#include <algorithm>
#include <array>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// ---- bilinear reading ----

namespace {

// The surface's interpolation weights, widened to 16 bits for the lane arithmetic.
const uint16_t* GammaTable() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> g{};
    const uint8_t* surface = BilinearGammaTable();
    for (int i = 0; i < 256; ++i) g[i] = surface[i];
    return g;
  }();
  return table.data();
}

// Callers have checked that (x >> 8, y >> 8) and its right and lower neighbours exist.
[[gnu::always_inline]] inline TColor32 BilinearInside(const TColor32* bits, int64_t stride, int64_t x,
                                                      int64_t y, const uint16_t* g) {
  const TColor32* p = bits + (y >> 8) * stride + (x >> 8);
  const uint32_t wx = g[255 - (x & 255)];
  const uint32_t wy = g[255 - (y & 255)];
  return CombineReg(CombineReg(p[0], p[1], wx), CombineReg(p[stride], p[stride + 1], wx), wy);
}

// The inside test is strict on all four sides: x > 0 and x < (Width - 1) * 256, y alike.
struct TSourceView {
  const TColor32* Bits = nullptr;
  int64_t Stride = 0;
  uint64_t LimitX = 0, LimitY = 0;  // (Width - 1) * 256 - 1, (Height - 1) * 256 - 1
  TColor32 Outer = 0;
  bool Valid = false;

  explicit TSourceView(const TBitmap32* s) {
    if (!s) return;
    Outer = s->OuterColor;
    if (s->Empty() || s->Width() < 2 || s->Height() < 2) return;
    Bits = s->Bits();
    Stride = s->Width();
    LimitX = static_cast<uint64_t>(s->Width() - 1) * 256 - 1;
    LimitY = static_cast<uint64_t>(s->Height() - 1) * 256 - 1;
    Valid = true;
  }
  bool Inside(int64_t x, int64_t y) const {
    return Valid && static_cast<uint64_t>(x - 1) < LimitX && static_cast<uint64_t>(y - 1) < LimitY;
  }
};

#if defined(__SSE2__)
// The 16-bit lane combine: (W * (X - Y) + 256 * Y + 128) >> 8, every step modulo 65536.
[[gnu::always_inline]] inline __m128i CombineLanes(__m128i x, __m128i y, __m128i w) {
  const __m128i m = _mm_mullo_epi16(_mm_sub_epi16(x, y), w);
  const __m128i s = _mm_add_epi16(_mm_add_epi16(m, _mm_slli_epi16(y, 8)), _mm_set1_epi16(128));
  return _mm_srli_epi16(s, 8);
}

// One bilinear sample as four 16-bit lanes (blue, green, red, alpha) in the low half.
[[gnu::always_inline]] inline __m128i BilinearLanes(const TColor32* bits, int64_t stride, int64_t x,
                                                    int64_t y, const uint16_t* g) {
  const TColor32* p = bits + (y >> 8) * stride + (x >> 8);
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));              // P00 P10
  const __m128i bottom = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + stride));  // P01 P11
  const __m128i mixed = _mm_unpacklo_epi32(top, bottom);                                 // P00 P01 P10 P11
  const __m128i left = _mm_unpacklo_epi8(mixed, zero);                                   // P00 | P01
  const __m128i right = _mm_unpackhi_epi8(mixed, zero);                                  // P10 | P11
  const __m128i rows = CombineLanes(left, right, _mm_set1_epi16(static_cast<int16_t>(g[255 - (x & 255)])));
  return CombineLanes(rows, _mm_unpackhi_epi64(rows, rows),
                      _mm_set1_epi16(static_cast<int16_t>(g[255 - (y & 255)])));
}

[[gnu::always_inline]] inline __m128i ColorLanes(TColor32 c) {
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(c)), _mm_setzero_si128());
}

// The gamma weights broadcast to eight lanes, indexed by the fraction (255 - frac is applied here).
struct TWeightLanes {
  alignas(16) uint16_t Lanes[256][8];
  TWeightLanes() {
    const uint16_t* g = GammaTable();
    for (int f = 0; f < 256; ++f)
      for (int l = 0; l < 8; ++l) Lanes[f][l] = g[255 - f];
  }
  __m128i operator[](int64_t fixed8) const {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(Lanes[fixed8 & 255]));
  }
};

const TWeightLanes& WeightLanes() {
  static const TWeightLanes table;
  return table;
}

// The horizontal pass of one sample: [top row result | bottom row result].
[[gnu::always_inline]] inline __m128i HorizontalPass(const TColor32* bits, int64_t stride, int64_t x,
                                                     int64_t y, const TWeightLanes& w) {
  const TColor32* p = bits + (y >> 8) * stride + (x >> 8);
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  const __m128i bottom = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + stride));
  const __m128i mixed = _mm_unpacklo_epi32(top, bottom);
  return CombineLanes(_mm_unpacklo_epi8(mixed, zero), _mm_unpackhi_epi8(mixed, zero), w[x]);
}

// Two samples known to be inside, both finished by one vertical pass: [sample a | sample b].
[[gnu::always_inline]] inline __m128i BilinearPair(const TColor32* bits, int64_t stride, int64_t xa,
                                                   int64_t ya, int64_t xb, int64_t yb,
                                                   const TWeightLanes& w) {
  const __m128i a = HorizontalPass(bits, stride, xa, ya, w);
  const __m128i b = HorizontalPass(bits, stride, xb, yb, w);
  return CombineLanes(_mm_unpacklo_epi64(a, b), _mm_unpackhi_epi64(a, b), _mm_unpacklo_epi64(w[ya], w[yb]));
}
#endif

// Integer distribution of a total over a number of steps: every step gets the truncated quotient;
// the remainder is spread by an accumulator that hands out one extra unit (towards the total's
// sign) whenever it reaches the step count. After all steps the sum is exactly the total.
struct TStepper {
  int64_t Quotient = 0, Remainder = 0, Steps = 1, Extra = 1, Acc = 0, Value = 0;
  void Init(int64_t total, int64_t steps) {
    Steps = steps > 0 ? steps : 1;
    Quotient = total / Steps;
    const int64_t r = total - Quotient * Steps;
    Extra = r < 0 ? -1 : 1;
    Remainder = r < 0 ? -r : r;
    Acc = 0;
    Value = 0;
  }
  // The state after k steps, in closed form: k * Remainder extra units were accumulated, one handed
  // out per Steps of them. Remainder < Steps and k <= Steps keep the products inside int64.
  void Seek(int64_t k) {
    const int64_t spread = Remainder * k;
    Value = Quotient * k + Extra * (spread / Steps);
    Acc = spread % Steps;
  }
  void Step() {
    Acc += Remainder;
    const int64_t carry = -static_cast<int64_t>(Acc >= Steps);  // all ones or zero, no branch
    Value += Quotient + (Extra & carry);
    Acc -= Steps & carry;
  }
};

// Positions beyond this (in 1/256 pixel) are far outside any bitmap; capping both the row start
// and the row span keeps their sum inside int64.
constexpr double kMaxSpan = 1.0e18;

int64_t Fixed8(double v) { return Round64(std::clamp(v * 256.0, -kMaxSpan, kMaxSpan)); }

bool Finite(const TFloatPoint& p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

#if defined(__SSE2__)
// The 2 x 2 supersampling row of the paint pipeline, unrolled so that everything stays in
// registers. Compiled twice: plainly, and for processors with the VEX encoding, whose three-operand
// forms save the register copies of the two-operand instructions. Both give the same results.
[[gnu::always_inline]] inline void SuperRow4Body(const TSourceView& view, int64_t baseU, int64_t baseV,
                                                 const int64_t* offU, const int64_t* offV, int64_t minU,
                                                 int64_t maxU, int64_t minV, int64_t maxV, TStepper& du,
                                                 TStepper& dv, int32_t length, TColor32* out) {
  const TColor32* bits = view.Bits;
  const int64_t stride = view.Stride;
  const TWeightLanes& w = WeightLanes();
  const uint16_t* g = GammaTable();
  const __m128i outer = ColorLanes(view.Outer);
  for (int32_t k = 0; k < length; ++k) {
    const int64_t u0 = baseU + du.Value, v0 = baseV + dv.Value;
    du.Step();
    dv.Step();
    __m128i sum;
    if (view.Inside(u0 + minU, v0 + minV) && view.Inside(u0 + maxU, v0 + maxV)) {
      const __m128i ab = BilinearPair(bits, stride, u0, v0, u0 + offU[1], v0 + offV[1], w);
      const __m128i cd =
          BilinearPair(bits, stride, u0 + offU[2], v0 + offV[2], u0 + offU[3], v0 + offV[3], w);
      sum = _mm_add_epi16(ab, cd);
      sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
    } else {
      sum = _mm_setzero_si128();
      for (int s = 0; s < 4; ++s) {
        const int64_t u = u0 + offU[s], v = v0 + offV[s];
        sum = _mm_add_epi16(sum, view.Inside(u, v) ? BilinearLanes(bits, stride, u, v, g) : outer);
      }
    }
    const __m128i mean = _mm_srli_epi16(sum, 2);
    out[k] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(mean, mean)));
  }
}

using TSuperRow4 = void (*)(const TSourceView& view, int64_t baseU, int64_t baseV, const int64_t* offU,
                            const int64_t* offV, int64_t minU, int64_t maxU, int64_t minV, int64_t maxV,
                            TStepper& du, TStepper& dv, int32_t length, TColor32* out);

void SuperRow4Plain(const TSourceView& view, int64_t baseU, int64_t baseV, const int64_t* offU,
                    const int64_t* offV, int64_t minU, int64_t maxU, int64_t minV, int64_t maxV, TStepper& du,
                    TStepper& dv, int32_t length, TColor32* out) {
  SuperRow4Body(view, baseU, baseV, offU, offV, minU, maxU, minV, maxV, du, dv, length, out);
}

// Defining SW_SAMPLER_PLAIN leaves the plain row only, to check it on processors that would
// otherwise take the VEX one.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(SW_SAMPLER_PLAIN)
__attribute__((target("avx"))) void SuperRow4Vex(const TSourceView& view, int64_t baseU, int64_t baseV,
                                                 const int64_t* offU, const int64_t* offV, int64_t minU,
                                                 int64_t maxU, int64_t minV, int64_t maxV, TStepper& du,
                                                 TStepper& dv, int32_t length, TColor32* out) {
  SuperRow4Body(view, baseU, baseV, offU, offV, minU, maxU, minV, maxV, du, dv, length, out);
}
#endif

void SuperRow4(const TSourceView& view, int64_t baseU, int64_t baseV, const int64_t* offU,
               const int64_t* offV, int64_t minU, int64_t maxU, int64_t minV, int64_t maxV, TStepper& du,
               TStepper& dv, int32_t length, TColor32* out) {
  static const TSuperRow4 row = [] {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(SW_SAMPLER_PLAIN)
    if (__builtin_cpu_supports("avx")) return &SuperRow4Vex;
#endif
    return &SuperRow4Plain;
  }();
  row(view, baseU, baseV, offU, offV, minU, maxU, minV, maxV, du, dv, length, out);
}
#endif

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
  const uint16_t* g = GammaTable();
  const int32_t samples = SampleCount();
  for (int32_t k = 0; k < count; ++k) {
    uint32_t sum[4] = {0, 0, 0, 0};
    for (const TFloatPoint& o : offsets_) {
      const TFloatPoint p = inverse_->TransformPoint(
          {static_cast<float>(static_cast<double>(x) + k + 0.5 + o.X), static_cast<float>(y + 0.5 + o.Y)});
      TColor32 c = view.Outer;
      if (Finite(p)) {
        const int64_t u = Fixed8(p.X), v = Fixed8(p.Y);
        if (view.Inside(u, v)) c = BilinearInside(view.Bits, view.Stride, u, v, g);
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
  TStepper du, dv;
  du.Init(Round64(spanU), count - 1);
  dv.Init(Round64(spanV), count - 1);
  du.Seek(begin);
  dv.Seek(begin);

  const int32_t samples = SampleCount();
  int64_t baseU[kMaxOversampling * kMaxOversampling];
  int64_t baseV[kMaxOversampling * kMaxOversampling];
  for (int32_t s = 0; s < samples; ++s) {
    const TFloatPoint o = offsets_[static_cast<size_t>(s)];
    const TFloatPoint p =
        n_ == 1 ? first
                : inv.TransformPoint({static_cast<float>(x + 0.5 + o.X), static_cast<float>(y + 0.5 + o.Y)});
    if (!Finite(p)) {
      std::fill_n(out, length, view.Outer);
      return;
    }
    baseU[s] = Fixed8(p.X);
    baseV[s] = Fixed8(p.Y);
  }

  const uint16_t* g = GammaTable();
  const TColor32* bits = view.Bits;
  const int64_t stride = view.Stride;

#if defined(__SSE2__)
  const __m128i outer = ColorLanes(view.Outer);
  const TWeightLanes& w = WeightLanes();
  if (samples == 1) {
    const int64_t u0 = baseU[0], v0 = baseV[0];
    int32_t k = 0;
    // Two pixels at a time where both lie inside: one vertical pass finishes both.
    for (; k + 1 < length; k += 2) {
      const int64_t ua = u0 + du.Value, va = v0 + dv.Value;
      du.Step();
      dv.Step();
      const int64_t ub = u0 + du.Value, vb = v0 + dv.Value;
      du.Step();
      dv.Step();
      __m128i pair;
      if (view.Inside(ua, va) && view.Inside(ub, vb)) {
        pair = BilinearPair(bits, stride, ua, va, ub, vb, w);
      } else {
        const __m128i a = view.Inside(ua, va) ? BilinearLanes(bits, stride, ua, va, g) : outer;
        const __m128i b = view.Inside(ub, vb) ? BilinearLanes(bits, stride, ub, vb, g) : outer;
        pair = _mm_unpacklo_epi64(a, b);
      }
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(pair, pair));
    }
    if (k < length) {
      const int64_t u = u0 + du.Value, v = v0 + dv.Value;
      out[k] = view.Inside(u, v) ? BilinearInside(bits, stride, u, v, g) : view.Outer;
    }
    return;
  }
  // The samples' spread around the first one: a pixel whose whole spread lies inside the source
  // needs no test per sample.
  int64_t offU[kMaxOversampling * kMaxOversampling], offV[kMaxOversampling * kMaxOversampling];
  int64_t minU = 0, maxU = 0, minV = 0, maxV = 0;
  for (int32_t s = 0; s < samples; ++s) {
    offU[s] = baseU[s] - baseU[0];
    offV[s] = baseV[s] - baseV[0];
    minU = std::min(minU, offU[s]);
    maxU = std::max(maxU, offU[s]);
    minV = std::min(minV, offV[s]);
    maxV = std::max(maxV, offV[s]);
  }
  if (samples == 4) {
    SuperRow4(view, baseU[0], baseV[0], offU, offV, minU, maxU, minV, maxV, du, dv, length, out);
    return;
  }
  // n = 2 and n = 4 average with a shift; the other counts divide per channel.
  const int shift = samples == 4 ? 2 : samples == 16 ? 4 : -1;
  const int32_t pairs = samples / 2;
  for (int32_t k = 0; k < length; ++k) {
    const int64_t u0 = baseU[0] + du.Value, v0 = baseV[0] + dv.Value;
    du.Step();
    dv.Step();
    __m128i sum = _mm_setzero_si128();
    if (view.Inside(u0 + minU, v0 + minV) && view.Inside(u0 + maxU, v0 + maxV)) {
      for (int32_t p = 0; p < pairs; ++p) {
        const int32_t a = 2 * p, b = a + 1;
        sum = _mm_add_epi16(
            sum, BilinearPair(bits, stride, u0 + offU[a], v0 + offV[a], u0 + offU[b], v0 + offV[b], w));
      }
      if (samples & 1) {
        const int32_t a = samples - 1;
        sum = _mm_add_epi16(sum, _mm_move_epi64(BilinearLanes(bits, stride, u0 + offU[a], v0 + offV[a], g)));
      }
      sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
    } else {
      for (int32_t s = 0; s < samples; ++s) {
        const int64_t u = u0 + offU[s], v = v0 + offV[s];
        sum = _mm_add_epi16(sum, view.Inside(u, v) ? BilinearLanes(bits, stride, u, v, g) : outer);
      }
    }
    if (shift >= 0) {
      const __m128i mean = _mm_srli_epi16(sum, shift);
      out[k] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(mean, mean)));
    } else {
      alignas(16) uint16_t lanes[8];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sum);
      const uint32_t n2 = static_cast<uint32_t>(samples);
      out[k] = (lanes[0] / n2) | ((lanes[1] / n2) << 8) | ((lanes[2] / n2) << 16) |
               (static_cast<uint32_t>(lanes[3] / n2) << 24);
    }
  }
#else
  for (int32_t k = 0; k < length; ++k) {
    uint32_t sum[4] = {0, 0, 0, 0};
    for (int32_t s = 0; s < samples; ++s) {
      const int64_t u = baseU[s] + du.Value, v = baseV[s] + dv.Value;
      const TColor32 c = view.Inside(u, v) ? BilinearInside(bits, stride, u, v, g) : view.Outer;
      for (int ch = 0; ch < 4; ++ch) sum[ch] += (c >> (8 * ch)) & 0xFF;
    }
    TColor32 c = 0;
    for (int ch = 0; ch < 4; ++ch) c |= (sum[ch] / static_cast<uint32_t>(samples)) << (8 * ch);
    out[k] = c;
    du.Step();
    dv.Step();
  }
#endif
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
  const uint32_t master = source_->MasterAlpha > 255 ? 255 : source_->MasterAlpha;
  const bool affine = inverse_->IsAffine();
  // Affine rows are laid in vertical strips, so that the source pixels a strip reads stay in the
  // cache from one row to the next even when the picture is turned; every pixel still steps as
  // the part of its whole row (x0 .. x1) that it is.
  const int32_t strip = affine ? std::min(width, kStripWidth) : width;
  if (row_.size() < static_cast<size_t>(strip)) row_.resize(static_cast<size_t>(strip));
  for (int32_t begin = 0; begin < width; begin += strip) {
    const int32_t end = std::min(width, begin + strip);
    for (int32_t y = y0; y <= y1; ++y) {
      const TColor32* row;
      if (affine) {
        SampleAffineRow(static_cast<const TdtpAffineTransform&>(*inverse_), x0, y, width, begin, end,
                        row_.data());
        row = row_.data();
      } else {
        row = SampleRow(x0, y, width);
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
