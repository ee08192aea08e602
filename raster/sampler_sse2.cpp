// SSE2 form of the map sampler's affine rows. A sample is four 16-bit lanes (blue, green, red,
// alpha), so the wrap-around of the reference combine (intermediates modulo 65536, logical shifts)
// comes out the same; two samples share one vertical pass.
#include "raster/sampler_p.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <algorithm>

namespace sw {

namespace {

// The 16-bit lane combine: (W * (X - Y) + 256 * Y + 128) >> 8, every step modulo 65536.
[[gnu::always_inline]] inline __m128i CombineLanes(__m128i x, __m128i y, __m128i w) {
  const __m128i m = _mm_mullo_epi16(_mm_sub_epi16(x, y), w);
  const __m128i s = _mm_add_epi16(_mm_add_epi16(m, _mm_slli_epi16(y, 8)), _mm_set1_epi16(128));
  return _mm_srli_epi16(s, 8);
}

// One bilinear sample as four 16-bit lanes in the low half.
[[gnu::always_inline]] inline __m128i BilinearLanes(const TSourceView& view, int64_t x, int64_t y,
                                                    const uint16_t* g) {
  const TColor32* p = view.Bits + (y >> 8) * view.Stride + (x >> 8);
  const __m128i zero = _mm_setzero_si128();
  const __m128i top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));                   // P00 P10
  const __m128i bottom = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + view.Stride));  // P01 P11
  const __m128i mixed = _mm_unpacklo_epi32(top, bottom);                                      // P00 P01 P10 P11
  const __m128i left = _mm_unpacklo_epi8(mixed, zero);                                        // P00 | P01
  const __m128i right = _mm_unpackhi_epi8(mixed, zero);                                       // P10 | P11
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
    const uint16_t* g = SamplerGammaTable();
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

// Where the samples of a pixel lie around its first one, and the box they span: a pixel whose
// whole box is inside the source needs no test per sample.
struct TSampleSpread {
  int64_t OffU[kMaxSamples], OffV[kMaxSamples];
  int64_t MinU = 0, MaxU = 0, MinV = 0, MaxV = 0;

  explicit TSampleSpread(const TAffineRowJob& job) {
    for (int32_t s = 0; s < job.Samples; ++s) {
      OffU[s] = job.BaseU[s] - job.BaseU[0];
      OffV[s] = job.BaseV[s] - job.BaseV[0];
      MinU = std::min(MinU, OffU[s]);
      MaxU = std::max(MaxU, OffU[s]);
      MinV = std::min(MinV, OffV[s]);
      MaxV = std::max(MaxV, OffV[s]);
    }
  }
  bool AllInside(const TSourceView& view, int64_t u0, int64_t v0) const {
    return view.Inside(u0 + MinU, v0 + MinV) && view.Inside(u0 + MaxU, v0 + MaxV);
  }
};

// One sample per pixel, two pixels at a time where both lie inside: one vertical pass finishes both.
void SingleSampleRow(TAffineRowJob& job) {
  const TSourceView view = job.View;
  const uint16_t* g = SamplerGammaTable();
  const TWeightLanes& w = WeightLanes();
  const __m128i outer = ColorLanes(view.Outer);
  const int64_t u0 = job.BaseU[0], v0 = job.BaseV[0];
  TStepper du = job.DU, dv = job.DV;
  TColor32* out = job.Out;
  const int32_t length = job.Length;
  int32_t k = 0;
  for (; k + 1 < length; k += 2) {
    const int64_t ua = u0 + du.Value, va = v0 + dv.Value;
    du.Step();
    dv.Step();
    const int64_t ub = u0 + du.Value, vb = v0 + dv.Value;
    du.Step();
    dv.Step();
    __m128i pair;
    if (view.Inside(ua, va) && view.Inside(ub, vb)) {
      pair = BilinearPair(view.Bits, view.Stride, ua, va, ub, vb, w);
    } else {
      const __m128i a = view.Inside(ua, va) ? BilinearLanes(view, ua, va, g) : outer;
      const __m128i b = view.Inside(ub, vb) ? BilinearLanes(view, ub, vb, g) : outer;
      pair = _mm_unpacklo_epi64(a, b);
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(pair, pair));
  }
  if (k < length) {
    const int64_t u = u0 + du.Value, v = v0 + dv.Value;
    out[k] = view.Inside(u, v) ? BilinearInside(view, u, v, g) : view.Outer;
    du.Step();
    dv.Step();
  }
  job.DU = du;
  job.DV = dv;
}

// The 2 x 2 supersampling row of the paint pipeline, unrolled so that everything stays in
// registers (hence the copies of the job's fields). Compiled twice: plainly, and for processors
// with the VEX encoding, whose three-operand forms save the register copies of the two-operand
// instructions. Both give the same results.
[[gnu::always_inline]] inline void SuperRow4Body(TAffineRowJob& job) {
  const TSourceView view = job.View;
  const TSampleSpread spread(job);
  const TColor32* bits = view.Bits;
  const int64_t stride = view.Stride;
  const TWeightLanes& w = WeightLanes();
  const uint16_t* g = SamplerGammaTable();
  const __m128i outer = ColorLanes(view.Outer);
  const int64_t baseU = job.BaseU[0], baseV = job.BaseV[0];
  const int64_t* offU = spread.OffU;
  const int64_t* offV = spread.OffV;
  const int64_t u1 = offU[1], v1 = offV[1], u2 = offU[2], v2 = offV[2], u3 = offU[3], v3 = offV[3];
  const int64_t minU = spread.MinU, maxU = spread.MaxU, minV = spread.MinV, maxV = spread.MaxV;
  TStepper du = job.DU, dv = job.DV;
  TColor32* out = job.Out;
  const int32_t length = job.Length;
  for (int32_t k = 0; k < length; ++k) {
    const int64_t u0 = baseU + du.Value, v0 = baseV + dv.Value;
    du.Step();
    dv.Step();
    __m128i sum;
    if (view.Inside(u0 + minU, v0 + minV) && view.Inside(u0 + maxU, v0 + maxV)) {
      const __m128i ab = BilinearPair(bits, stride, u0, v0, u0 + u1, v0 + v1, w);
      const __m128i cd = BilinearPair(bits, stride, u0 + u2, v0 + v2, u0 + u3, v0 + v3, w);
      sum = _mm_add_epi16(ab, cd);
      sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
    } else {
      sum = _mm_setzero_si128();
      for (int s = 0; s < 4; ++s) {
        const int64_t u = u0 + offU[s], v = v0 + offV[s];
        sum = _mm_add_epi16(sum, view.Inside(u, v) ? BilinearLanes(view, u, v, g) : outer);
      }
    }
    const __m128i mean = _mm_srli_epi16(sum, 2);
    out[k] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(mean, mean)));
  }
  job.DU = du;
  job.DV = dv;
}

void SuperRow4Plain(TAffineRowJob& job) { SuperRow4Body(job); }

// Defining SW_SAMPLER_PLAIN leaves the plain row only, to check it on processors that would
// otherwise take the VEX one.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(SW_SAMPLER_PLAIN)
__attribute__((target("avx"))) void SuperRow4Vex(TAffineRowJob& job) { SuperRow4Body(job); }
#endif

void SuperRow4(TAffineRowJob& job) {
  using TRow = void (*)(TAffineRowJob&);
  static const TRow row = [] {
#if defined(__GNUC__) && defined(__x86_64__) && !defined(SW_SAMPLER_PLAIN)
    if (__builtin_cpu_supports("avx")) return &SuperRow4Vex;
#endif
    return &SuperRow4Plain;
  }();
  row(job);
}

// Any other sample count: pairs of samples per vertical pass, an odd last one alone; 16 samples
// average with a shift, the other counts divide per channel.
void SuperRowN(TAffineRowJob& job) {
  const TSourceView view = job.View;
  const TSampleSpread spread(job);
  const TWeightLanes& w = WeightLanes();
  const uint16_t* g = SamplerGammaTable();
  const __m128i outer = ColorLanes(view.Outer);
  const int32_t samples = job.Samples;
  const int32_t pairs = samples / 2;
  TStepper du = job.DU, dv = job.DV;
  for (int32_t k = 0; k < job.Length; ++k) {
    const int64_t u0 = job.BaseU[0] + du.Value, v0 = job.BaseV[0] + dv.Value;
    du.Step();
    dv.Step();
    __m128i sum = _mm_setzero_si128();
    if (spread.AllInside(view, u0, v0)) {
      for (int32_t p = 0; p < pairs; ++p) {
        const int32_t a = 2 * p, b = a + 1;
        sum = _mm_add_epi16(sum, BilinearPair(view.Bits, view.Stride, u0 + spread.OffU[a], v0 + spread.OffV[a],
                                              u0 + spread.OffU[b], v0 + spread.OffV[b], w));
      }
      if (samples & 1) {
        const int32_t a = samples - 1;
        sum = _mm_add_epi16(sum, _mm_move_epi64(BilinearLanes(view, u0 + spread.OffU[a], v0 + spread.OffV[a], g)));
      }
      sum = _mm_add_epi16(sum, _mm_srli_si128(sum, 8));
    } else {
      for (int32_t s = 0; s < samples; ++s) {
        const int64_t u = u0 + spread.OffU[s], v = v0 + spread.OffV[s];
        sum = _mm_add_epi16(sum, view.Inside(u, v) ? BilinearLanes(view, u, v, g) : outer);
      }
    }
    if (samples == 16) {
      const __m128i mean = _mm_srli_epi16(sum, 4);
      job.Out[k] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(mean, mean)));
    } else {
      alignas(16) uint16_t lanes[8];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sum);
      const uint32_t n2 = static_cast<uint32_t>(samples);
      job.Out[k] = (lanes[0] / n2) | ((lanes[1] / n2) << 8) | ((lanes[2] / n2) << 16) |
                   (static_cast<uint32_t>(lanes[3] / n2) << 24);
    }
  }
  job.DU = du;
  job.DV = dv;
}

}  // namespace

void SampleAffineRowSse2(TAffineRowJob& job) {
  switch (job.Samples) {
    case 1:
      SingleSampleRow(job);
      break;
    case 4:
      SuperRow4(job);
      break;
    default:
      SuperRowN(job);
      break;
  }
}

}  // namespace sw

#else

namespace sw {

void SampleAffineRowSse2(TAffineRowJob& job) { SampleAffineRowPlain(job); }

}  // namespace sw

#endif
