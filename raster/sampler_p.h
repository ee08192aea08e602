// The map sampler's row loops: what a row of affine samples is, and its plain and SSE2 forms,
// which must give the same results bit for bit.
#pragma once

#include <cstdint>

#include "raster/bitmap32.h"
#include "raster/sampler.h"

namespace sw {

constexpr int32_t kMaxSamples = TdtpMapSampler::kMaxOversampling * TdtpMapSampler::kMaxOversampling;

// The surface's interpolation weights (BilinearGammaTable), widened to 16 bits for the lanes.
const uint16_t* SamplerGammaTable();

// A source bitmap as the row loops read it. The inside test is strict on all four sides:
// x > 0 and x < (Width - 1) * 256, y alike (1/256 pixel), so the right and lower neighbours of
// every inside point exist.
struct TSourceView {
  const TColor32* Bits = nullptr;
  int64_t Stride = 0;
  uint64_t LimitX = 0, LimitY = 0;  // (Width - 1) * 256 - 1, (Height - 1) * 256 - 1
  TColor32 Outer = 0;
  bool Valid = false;

  TSourceView() = default;
  // A missing source reads 0 everywhere; one under 2 x 2 pixels reads its OuterColor.
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

// The bilinear read of SampleBilinear at a point Inside the view.
[[gnu::always_inline]] inline TColor32 BilinearInside(const TSourceView& view, int64_t x, int64_t y,
                                                      const uint16_t* g) {
  const TColor32* p = view.Bits + (y >> 8) * view.Stride + (x >> 8);
  const uint32_t wx = g[255 - (x & 255)];
  const uint32_t wy = g[255 - (y & 255)];
  return CombineReg(CombineReg(p[0], p[1], wx), CombineReg(p[view.Stride], p[view.Stride + 1], wx), wy);
}

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

// One run of pixels of an affine row: pixel k of the run reads sample s at
// (BaseU[s] + DU.Value, BaseV[s] + DV.Value), with the steppers advanced once per pixel, and
// Out[k] is the per-channel mean of its samples (truncated).
struct TAffineRowJob {
  TSourceView View;
  int32_t Samples = 1;  // n * n, 1..kMaxSamples
  // The sample positions of the run's first pixel without its steps, in 1/256 pixel.
  int64_t BaseU[kMaxSamples]{}, BaseV[kMaxSamples]{};
  // Already moved on to the run's first pixel; the row loops advance them.
  TStepper DU, DV;
  int32_t Length = 0;
  TColor32* Out = nullptr;
};

// The plain loop: the reference of the vector one, and the loop where there is no SSE2.
void SampleAffineRowPlain(TAffineRowJob& job);
// The SSE2 loop, the plain one where the processor has no SSE2.
void SampleAffineRowSse2(TAffineRowJob& job);

}  // namespace sw
