// Repainting the document window: a page of rectangles, half of them turned or translucent (so
// drawn through their caches), painted whole and as the strip a line scroll uncovers, side by side
// with cairo drawing the same scene straight onto an image surface. A second pair measures laying
// warm caches onto the window's grid against the map sampler's own Render onto a plain bitmap.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/document.h"
#include "platform/bitmap_canvas.h"
#include "platform/headless_window_host.h"

namespace {

using namespace sw;

constexpr int32_t kWidth = 1000, kHeight = 700;
constexpr int kShapes = 24;

class TFillShape : public TdtpShape {
public:
  explicit TFillShape(TColor32 color) : color_(color) {}
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo&) override {
    const TPoint p0 = RoundPoint(LocalToPaint({0, 0}));
    const TPoint p1 = RoundPoint(LocalToPaint({DocWidth(), DocHeight()}));
    bitmap.FillRectT(TRect{p0.X, p0.Y, p1.X, p1.Y}, color_);
  }
  TColor32 Color() const { return color_; }

private:
  TColor32 color_;
};

struct TItem {
  float Left, Top, Width, Height, Angle;
  uint32_t Alpha;
  TColor32 Color;
};

std::vector<TItem> SceneItems() {
  std::vector<TItem> items;
  for (int i = 0; i < kShapes; ++i) {
    const float left = 10.0f + static_cast<float>((i * 37) % 150), top = 15.0f + static_cast<float>((i * 53) % 240);
    const float angle = (i % 2 == 0) ? static_cast<float>(i * 7 % 90) : 0.0f;
    const uint32_t alpha = (i % 3 == 0) ? 160u : 255u;
    const TColor32 color = 0xFF000000u | (static_cast<uint32_t>(i * 40 % 256) << 16) |
                           (static_cast<uint32_t>(i * 90 % 256) << 8) | static_cast<uint32_t>(255 - i * 10);
    items.push_back({left, top, 40, 25, angle, alpha, color});
  }
  return items;
}

// The document fitted to a window of kWidth x kHeight, caches warm.
struct TViewScene {
  TdtpDocument Doc;
  THeadlessWindowHost Host{kWidth, kHeight};
  TViewScene() {
    for (const TItem& it : SceneItems()) {
      auto shape = std::make_unique<TFillShape>(it.Color);
      TdtpShape* s = shape.get();
      Doc.AddShape(std::move(shape));
      s->SetBounds(it.Left, it.Top, it.Width, it.Height);
      s->SetAngle(it.Angle);
      s->SetMasterAlpha(it.Alpha);
    }
    Host.SetClient(&Doc);
    Doc.SetWindowHost(&Host);
    Doc.SetZoomPercent(200);
    Host.Paint(TRect{0, 0, kWidth, kHeight});
  }
  ~TViewScene() {
    Host.SetClient(nullptr);
    Doc.SetWindowHost(nullptr);
  }
};

TViewScene& Scene() {
  static TViewScene* scene = new TViewScene;
  return *scene;
}

void SetCounters(benchmark::State& state, double pixels) {
  state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void PaintWindow(benchmark::State& state) {
  TViewScene& s = Scene();
  for (auto _ : state) {
    benchmark::DoNotOptimize(s.Host.Paint(TRect{0, 0, kWidth, kHeight}).Bits());
  }
  SetCounters(state, double(kWidth) * kHeight);
}

void PaintScrollStrip(benchmark::State& state) {
  TViewScene& s = Scene();
  int32_t direction = 9;
  for (auto _ : state) {
    // Moving the window's pixels is the host's work, not the paint's.
    state.PauseTiming();
    int32_t dx = 0, dy = direction;
    s.Doc.ScrollBy(dx, dy);
    if (dy == 0) {
      direction = -direction;
      dy = direction;
      s.Doc.ScrollBy(dx, dy);
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(s.Host.PaintInvalidated().Bits());
  }
  SetCounters(state, double(kWidth) * 9);
}

// The same scene in cairo: page, rectangles turned about their corner, master alpha as paint alpha.
void DrawCairoScene(cairo_t* cr, double dpm, double originX, double originY) {
  cairo_set_source_rgb(cr, 0xAB / 255.0, 0xAB / 255.0, 0xAB / 255.0);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, originX, originY, 210 * dpm, 297 * dpm);
  cairo_fill(cr);
  for (const TItem& it : SceneItems()) {
    cairo_save(cr);
    cairo_translate(cr, originX + it.Left * dpm, originY + it.Top * dpm);
    cairo_rotate(cr, -it.Angle * M_PI / 180);
    cairo_rectangle(cr, 0, 0, it.Width * dpm, it.Height * dpm);
    cairo_set_source_rgba(cr, ((it.Color >> 16) & 255) / 255.0, ((it.Color >> 8) & 255) / 255.0,
                          (it.Color & 255) / 255.0, it.Alpha / 255.0);
    cairo_fill(cr);
    cairo_restore(cr);
  }
}

void CairoWindow(benchmark::State& state) {
  const double dpm = Scene().Doc.ScreenDpm();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  for (auto _ : state) {
    DrawCairoScene(cr, dpm, 10, 10);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  SetCounters(state, double(kWidth) * kHeight);
}

void CairoScrollStrip(benchmark::State& state) {
  const double dpm = Scene().Doc.ScreenDpm();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  int32_t y = 0;
  for (auto _ : state) {
    // The strip uncovered by a line scroll: clipped to 9 rows, the scene drawn again.
    cairo_save(cr);
    cairo_rectangle(cr, 0, kHeight - 9, kWidth, 9);
    cairo_clip(cr);
    DrawCairoScene(cr, dpm, 10, 10 - y);
    cairo_restore(cr);
    y = (y + 9) % 900;
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  SetCounters(state, double(kWidth) * 9);
}

// Laying the warm caches: through the window grid (PaintWindow) and through the sampler's Render
// onto a plain bitmap covering the same area.
void LayCachesOnGrid(benchmark::State& state) {
  TViewScene& s = Scene();
  TBitmap32 bitmap;
  bitmap.SetSize(kWidth, kHeight);
  TBitmapCanvas canvas(bitmap);
  for (auto _ : state) {
    s.Doc.PaintWindow(canvas);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  SetCounters(state, double(kWidth) * kHeight);
}

void LayCachesByRender(benchmark::State& state) {
  TViewScene& s = Scene();
  TBitmap32 bitmap;
  bitmap.SetSize(kWidth, kHeight);
  const double dpm = s.Doc.ScreenDpm();
  const TFloatRect area{static_cast<float>(s.Doc.WindowLeft), static_cast<float>(s.Doc.WindowTop),
                        static_cast<float>(s.Doc.WindowLeft + kWidth / dpm),
                        static_cast<float>(s.Doc.WindowTop + kHeight / dpm)};
  TdtpPaintInfo info;
  info.Dpm = static_cast<float>(s.Doc.RenderDpm());
  info.Filter = s.Doc.Quality;
  for (auto _ : state) {
    bitmap.Clear(0xFFABABABu);
    s.Doc.DrawTo(s.Doc.CurrentPage(), bitmap, area, false, info);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  SetCounters(state, double(kWidth) * kHeight);
}

BENCHMARK(PaintWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(CairoWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(PaintScrollStrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(CairoScrollStrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(LayCachesOnGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(LayCachesByRender)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
