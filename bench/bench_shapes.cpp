// Shape kinds beside cairo: 1,000 antialiased ellipses with 0.5 mm outlines on an A4 page at
// 300 dpi. Both sides build their geometry in every run (our shapes rebuild their polygons as
// after a change of the view scale) and fill, then stroke, each ellipse. Cairo works on
// premultiplied pixels and draws with its default antialiasing and tolerance.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "shapes/polygon_shape.h"

namespace {

using namespace sw;

constexpr double kDpm = 300 / 25.4;
constexpr float kPageWidth = 210, kPageHeight = 297, kOutline = 0.5f;
constexpr int kCount = 1000;

int32_t PagePixels(float mm) { return static_cast<int32_t>(std::lround(mm * kDpm)); }

struct TEllipseSpec {
  float Left, Top, Width, Height;
  uint32_t Fill;  // 0x00BBGGRR
};

const std::vector<TEllipseSpec>& Specs() {
  static const std::vector<TEllipseSpec> specs = [] {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> size(4, 40), x(0, kPageWidth - 40), y(0, kPageHeight - 40);
    std::vector<TEllipseSpec> v;
    for (int i = 0; i < kCount; ++i) v.push_back({x(rng), y(rng), size(rng), size(rng), static_cast<uint32_t>(rng() & 0xFFFFFF)});
    return v;
  }();
  return specs;
}

void BM_EllipsesOurs(benchmark::State& state) {
  std::vector<std::unique_ptr<TdtpEllipseShape>> shapes;
  for (const TEllipseSpec& s : Specs()) {
    auto e = std::make_unique<TdtpEllipseShape>();
    e->SetBounds(s.Left, s.Top, s.Width, s.Height);
    e->SetFillColor(static_cast<int32_t>(s.Fill));
    e->SetOutlineWidth(kOutline);
    e->SetPaintMatrix(TdtpAffineTransform(kDpm, 0, 0, kDpm, s.Left * kDpm, s.Top * kDpm));
    shapes.push_back(std::move(e));
  }
  TBitmap32 page;
  page.SetSize(PagePixels(kPageWidth), PagePixels(kPageHeight));
  // As the paint pipeline sets up every bitmap it paints content into.
  page.CombineMode = cmMerge;
  const TdtpPaintInfo info;
  for (auto _ : state) {
    page.Clear(0xFFFFFFFFu);
    for (const auto& e : shapes) {
      e->MarkGeometryDirty();
      e->PaintBitmap(page, info);
    }
    benchmark::DoNotOptimize(page.Bits());
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_EllipsesOurs)->Unit(benchmark::kMillisecond);

void BM_EllipsesCairo(benchmark::State& state) {
  const int32_t w = PagePixels(kPageWidth), h = PagePixels(kPageHeight);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  for (auto _ : state) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    for (const TEllipseSpec& s : Specs()) {
      cairo_save(cr);
      cairo_translate(cr, (s.Left + s.Width / 2) * kDpm, (s.Top + s.Height / 2) * kDpm);
      cairo_scale(cr, s.Width / 2 * kDpm, s.Height / 2 * kDpm);
      cairo_new_path(cr);
      cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
      cairo_restore(cr);
      cairo_set_source_rgb(cr, (s.Fill & 0xFF) / 255.0, ((s.Fill >> 8) & 0xFF) / 255.0, ((s.Fill >> 16) & 0xFF) / 255.0);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_set_line_width(cr, kOutline * kDpm);
      cairo_stroke(cr);
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  state.SetItemsProcessed(state.iterations() * kCount);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_EllipsesCairo)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
