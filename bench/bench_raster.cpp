// Raster surface throughput beside pixman (blend, merge, stretch) and cairo (polygon fill).
// Pixman and cairo work on premultiplied pixels; their sources are premultiplied once before
// timing (BM_PremultiplyForPeer measures what that conversion costs per frame).
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pixman.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "raster/blend.h"
#include "raster/polygon32.h"
#include "raster/resample.h"

namespace {

using namespace sw;

constexpr int32_t kBig = 4096, kSmall = 2048;

// Pixels with every alpha value, so that no run takes the opaque or transparent shortcut.
std::unique_ptr<TBitmap32> NoiseBitmap(int32_t w, int32_t h, uint32_t seed) {
  auto b = std::make_unique<TBitmap32>();
  b->Resize(w, h);
  std::mt19937 rng(seed);
  TColor32* p = b->Bits();
  for (int64_t i = 0; i < int64_t(w) * h; ++i) p[i] = rng();
  return b;
}

TBitmap32& Source() {
  static auto b = NoiseBitmap(kBig, kBig, 1);
  return *b;
}
TBitmap32& SmallSource() {
  static auto b = NoiseBitmap(kSmall, kSmall, 2);
  return *b;
}
TBitmap32& Target(int32_t size) {
  static auto big = NoiseBitmap(kBig, kBig, 3);
  static auto small = NoiseBitmap(kSmall, kSmall, 4);
  return size == kBig ? *big : *small;
}

void Premultiply(const TColor32* src, TColor32* dst, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    const TColor32 c = src[i];
    const uint32_t a = c >> 24;
    auto mul = [a](uint32_t v) {
      const uint32_t t = v * a + 128;
      return (t + (t >> 8)) >> 8;
    };
    dst[i] = (a << 24) | (mul((c >> 16) & 255) << 16) | (mul((c >> 8) & 255) << 8) | mul(c & 255);
  }
}

// A premultiplied copy of one of our bitmaps as a pixman image (freed at exit).
pixman_image_t* PeerImage(TBitmap32& b, bool premultiply) {
  const int64_t n = int64_t(b.Width()) * b.Height();
  uint32_t* bits = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(n) * 4));
  if (premultiply) {
    Premultiply(b.Bits(), bits, n);
  } else {
    std::memcpy(bits, b.Bits(), static_cast<size_t>(n) * 4);
  }
  return pixman_image_create_bits(PIXMAN_a8r8g8b8, b.Width(), b.Height(), bits, b.Width() * 4);
}

pixman_image_t* PeerSource() {
  static pixman_image_t* img = PeerImage(Source(), true);
  return img;
}
pixman_image_t* PeerSmallSource() {
  static pixman_image_t* img = PeerImage(SmallSource(), true);
  return img;
}
pixman_image_t* PeerTarget(int32_t size) {
  static pixman_image_t* big = PeerImage(Target(kBig), true);
  static pixman_image_t* small = PeerImage(Target(kSmall), true);
  return size == kBig ? big : small;
}

void Pixels(benchmark::State& state, int64_t n) { state.SetItemsProcessed(state.iterations() * n); }

// ---- blend and merge, 4096 x 4096 onto 4096 x 4096 ----

void BM_Ours_Rows(benchmark::State& state, TCombineMode mode, uint32_t master) {
  TBitmap32& src = Source();
  TBitmap32& dst = Target(kBig);
  src.CombineMode = mode;
  src.MasterAlpha = master;
  for (auto _ : state) {
    TransferStretched(&dst, dst.BoundsRect(), dst.BoundsRect(), &src, src.BoundsRect(), sfNearest, dmBlend);
    benchmark::DoNotOptimize(dst.Bits());
  }
  Pixels(state, int64_t(kBig) * kBig);
}
void BM_Ours_Blend(benchmark::State& s) { BM_Ours_Rows(s, cmBlend, 255); }
void BM_Ours_BlendMaster(benchmark::State& s) { BM_Ours_Rows(s, cmBlend, 128); }
void BM_Ours_Merge(benchmark::State& s) { BM_Ours_Rows(s, cmMerge, 255); }
void BM_Ours_MergeMaster(benchmark::State& s) { BM_Ours_Rows(s, cmMerge, 128); }

void BM_Pixman_Over(benchmark::State& state, bool solidMask) {
  pixman_image_t* src = PeerSource();
  pixman_image_t* dst = PeerTarget(kBig);
  const pixman_color_t half = {0x8080, 0x8080, 0x8080, 0x8080};
  pixman_image_t* mask = solidMask ? pixman_image_create_solid_fill(&half) : nullptr;
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kBig, kBig);
    benchmark::DoNotOptimize(pixman_image_get_data(dst));
  }
  if (mask) pixman_image_unref(mask);
  Pixels(state, int64_t(kBig) * kBig);
}
void BM_Pixman_Over(benchmark::State& s) { BM_Pixman_Over(s, false); }
void BM_Pixman_OverSolidMask(benchmark::State& s) { BM_Pixman_Over(s, true); }

// What a premultiplied peer pays to take one of our frames.
void BM_PremultiplyForPeer(benchmark::State& state) {
  TBitmap32& src = Source();
  std::vector<TColor32> out(static_cast<size_t>(kBig) * kBig);
  for (auto _ : state) {
    Premultiply(src.Bits(), out.data(), int64_t(kBig) * kBig);
    benchmark::DoNotOptimize(out.data());
  }
  Pixels(state, int64_t(kBig) * kBig);
}

// ---- stretched transfers ----

void BM_Ours_Stretch(benchmark::State& state, TStretchFilter filter, bool reduce) {
  TBitmap32& src = reduce ? Source() : SmallSource();
  TBitmap32& dst = Target(reduce ? kSmall : kBig);
  for (auto _ : state) {
    TransferStretched(&dst, dst.BoundsRect(), dst.BoundsRect(), &src, src.BoundsRect(), filter, dmOpaque);
    benchmark::DoNotOptimize(dst.Bits());
  }
  Pixels(state, int64_t(dst.Width()) * dst.Height());
}

pixman_kernel_t Identity() { return PIXMAN_KERNEL_IMPULSE; }

void BM_Pixman_Stretch(benchmark::State& state, bool lanczos, bool reduce) {
  pixman_image_t* src = reduce ? PeerSource() : PeerSmallSource();
  pixman_image_t* dst = PeerTarget(reduce ? kSmall : kBig);
  const int32_t dw = reduce ? kSmall : kBig;
  const double scale = reduce ? 2.0 : 0.5;  // source pixels per target pixel
  pixman_transform_t t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(scale), pixman_double_to_fixed(scale));
  pixman_image_set_transform(src, &t);
  pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
  if (lanczos) {
    // Reduction: the Lanczos kernel sampled over the footprint; enlargement: reconstructed.
    int n = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &n, pixman_double_to_fixed(scale), pixman_double_to_fixed(scale),
        reduce ? Identity() : PIXMAN_KERNEL_LANCZOS3, reduce ? Identity() : PIXMAN_KERNEL_LANCZOS3,
        reduce ? PIXMAN_KERNEL_LANCZOS3 : Identity(), reduce ? PIXMAN_KERNEL_LANCZOS3 : Identity(), 2, 2);
    pixman_image_set_filter(src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    std::free(params);
  } else {
    pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  }
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, dw, dw);
    benchmark::DoNotOptimize(pixman_image_get_data(dst));
  }
  pixman_image_set_transform(src, nullptr);
  pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  Pixels(state, int64_t(dw) * dw);
}

void BM_Ours_LinearDown(benchmark::State& s) { BM_Ours_Stretch(s, sfLinear, true); }
void BM_Pixman_BilinearDown(benchmark::State& s) { BM_Pixman_Stretch(s, false, true); }
void BM_Ours_LinearUp(benchmark::State& s) { BM_Ours_Stretch(s, sfLinear, false); }
void BM_Pixman_BilinearUp(benchmark::State& s) { BM_Pixman_Stretch(s, false, false); }
void BM_Ours_LanczosDown(benchmark::State& s) { BM_Ours_Stretch(s, sfLanczos, true); }
void BM_Pixman_LanczosDown(benchmark::State& s) { BM_Pixman_Stretch(s, true, true); }
void BM_Ours_LanczosUp(benchmark::State& s) { BM_Ours_Stretch(s, sfLanczos, false); }
void BM_Pixman_LanczosUp(benchmark::State& s) { BM_Pixman_Stretch(s, true, false); }

// ---- antialiased 100-point star over 4096 x 4096 ----

std::vector<std::pair<double, double>> Star() {
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < 100; ++i) {
    const double r = (i % 2 ? 0.5 : 1.0) * kBig / 2.0;
    const double a = i * 2 * std::numbers::pi / 100;
    pts.emplace_back(kBig / 2.0 + r * std::cos(a), kBig / 2.0 + r * std::sin(a));
  }
  return pts;
}

void BM_Ours_StarFill(benchmark::State& state) {
  TBitmap32& dst = Target(kBig);
  TPolygon32 poly;
  for (const auto& [x, y] : Star()) poly.AddPoint(TFixedPoint{FloatToFixed(x), FloatToFixed(y)});
  poly.Antialiased = true;
  poly.FillMode = pfWinding;
  for (auto _ : state) {
    poly.DrawFill(dst, 0xC0FF8040u);
    benchmark::DoNotOptimize(dst.Bits());
  }
  Pixels(state, int64_t(kBig) * kBig);
}

void BM_Cairo_StarFill(benchmark::State& state) {
  pixman_image_t* img = PeerTarget(kBig);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(pixman_image_get_data(img)), CAIRO_FORMAT_ARGB32, kBig, kBig, kBig * 4);
  cairo_t* cr = cairo_create(surface);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_set_source_rgba(cr, 1.0, 0.5, 0.25, 0.75);
  const auto star = Star();
  for (auto _ : state) {
    cairo_new_path(cr);
    cairo_move_to(cr, star[0].first, star[0].second);
    for (size_t i = 1; i < star.size(); ++i) cairo_line_to(cr, star[i].first, star[i].second);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_surface_flush(surface);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  Pixels(state, int64_t(kBig) * kBig);
}

constexpr int kIter = 6;
BENCHMARK(BM_Ours_Blend)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_Over)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_BlendMaster)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_OverSolidMask)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Merge)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_MergeMaster)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PremultiplyForPeer)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_LinearDown)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_BilinearDown)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_LinearUp)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_BilinearUp)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_LanczosDown)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_LanczosDown)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_LanczosUp)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman_LanczosUp)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_StarFill)->Iterations(kIter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cairo_StarFill)->Iterations(kIter)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
