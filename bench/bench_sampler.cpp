// Laying a rotated cache onto a target: the map sampler (bilinear, 2 x 2 supersampling, merge) side
// by side with pixman's rotated bilinear OVER of the same picture onto a target of the same size.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <memory>

#include "raster/sampler.h"

namespace {

using namespace sw;

constexpr int32_t kSource = 4096;
constexpr double kAngle = 30;

struct TScene {
  TBitmap32 Source;
  TBitmap32 Target;
  TdtpAffineTransform Forward;  // source pixels to target pixels
  int32_t Size = 0;

  TScene() {
    Source.Resize(kSource, kSource);
    for (int32_t y = 0; y < kSource; ++y) {
      TColor32* row = Source.ScanLine(y);
      for (int32_t x = 0; x < kSource; ++x) {
        row[x] = 0xFF000000u | (static_cast<uint32_t>(x & 255) << 16) |
                 (static_cast<uint32_t>(y & 255) << 8) | static_cast<uint32_t>((x ^ y) & 255);
      }
    }
    const double r = kAngle * M_PI / 180;
    Size = static_cast<int32_t>(std::ceil(kSource * (std::cos(r) + std::sin(r)))) + 2;
    Forward.Rotate(kAngle, kSource / 2.0, kSource / 2.0);
    Forward.Translate((Size - kSource) / 2.0, (Size - kSource) / 2.0);
    Target.Resize(Size, Size);
  }
};

TScene& Scene() {
  static TScene* scene = new TScene;
  return *scene;
}

void MapSampler(benchmark::State& state) {
  TScene& s = Scene();
  TdtpMapSampler sampler;
  sampler.SetOversampling(static_cast<int32_t>(state.range(0)));
  sampler.SetTarget(&s.Target);
  sampler.SetSource(&s.Source);
  sampler.SetTransform(&s.Forward);
  for (auto _ : state) {
    state.PauseTiming();
    s.Target.Clear(0xFFFFFFFFu);
    state.ResumeTiming();
    sampler.Render(FloatRect(s.Source.BoundsRect()));
    benchmark::DoNotOptimize(s.Target.Bits());
  }
  const double pixels = static_cast<double>(s.Size) * s.Size;
  state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void PixmanBilinearOver(benchmark::State& state) {
  TScene& s = Scene();
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSource, kSource,
                                                 reinterpret_cast<uint32_t*>(s.Source.Bits()), kSource * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, s.Size, s.Size,
                                                 reinterpret_cast<uint32_t*>(s.Target.Bits()), s.Size * 4);
  // pixman maps target pixels back to the source: it takes the inverse matrix.
  TdtpAffineTransform inv = s.Forward;
  inv.Invert();
  pixman_transform_t t;
  pixman_transform_init_identity(&t);
  t.matrix[0][0] = pixman_double_to_fixed(inv.A);
  t.matrix[0][1] = pixman_double_to_fixed(inv.C);
  t.matrix[0][2] = pixman_double_to_fixed(inv.E);
  t.matrix[1][0] = pixman_double_to_fixed(inv.B);
  t.matrix[1][1] = pixman_double_to_fixed(inv.D);
  t.matrix[1][2] = pixman_double_to_fixed(inv.F);
  pixman_image_set_transform(src, &t);
  pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(src, PIXMAN_REPEAT_NONE);
  for (auto _ : state) {
    state.PauseTiming();
    s.Target.Clear(0xFFFFFFFFu);
    state.ResumeTiming();
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, s.Size, s.Size);
    benchmark::DoNotOptimize(s.Target.Bits());
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  const double pixels = static_cast<double>(s.Size) * s.Size;
  state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Argument: the oversampling factor (2 is the 4 samples per pixel of the paint pipeline).
BENCHMARK(MapSampler)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(PixmanBilinearOver)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
