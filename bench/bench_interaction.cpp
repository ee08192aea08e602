// Dragging a shape over a page of 200 shapes (a turned picture among them) in a 1280 x 800 headless
// window: the time of one mouse move from the event to the repainted window (the XOR outline erased
// and drawn again), the release that applies the move and repaints what changed, and a whole
// repaint of the window. There is no peer for the interaction itself; cairo painting the same 200
// rectangles and the turned picture onto an image of the window's size gives a reference frame.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/document.h"
#include "platform/headless_window_host.h"

namespace {

using namespace sw;

constexpr int32_t kWidth = 1280, kHeight = 800;
constexpr int kShapes = 200;
constexpr float kPictureAngle = 30;

class TFillShape : public TdtpShape {
public:
  explicit TFillShape(TColor32 color) : color_(color) {}
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo&) override {
    const TPoint p0 = RoundPoint(LocalToPaint({0, 0}));
    const TPoint p1 = RoundPoint(LocalToPaint({DocWidth(), DocHeight()}));
    bitmap.FillRectT(TRect{p0.X, p0.Y, p1.X, p1.Y}, color_);
  }

private:
  TColor32 color_;
};

// A picture: a colour ramp across its area, drawn through its cache when turned.
class TPictureShape : public TdtpShape {
public:
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo&) override {
    const TPoint p0 = RoundPoint(LocalToPaint({0, 0}));
    const TPoint p1 = RoundPoint(LocalToPaint({DocWidth(), DocHeight()}));
    const TRect r = IntersectRect(TRect{p0.X, p0.Y, p1.X, p1.Y}, bitmap.BoundsRect());
    for (int32_t y = r.Top; y < r.Bottom; ++y) {
      TColor32* row = bitmap.ScanLine(y);
      for (int32_t x = r.Left; x < r.Right; ++x) {
        row[x] = Color32(static_cast<uint32_t>(x * 3) & 0xFF, static_cast<uint32_t>(y * 5) & 0xFF, 128);
      }
    }
  }
};

TColor32 ColorOf(int i) {
  return 0xFF000000u | (static_cast<uint32_t>(i * 40 % 256) << 16) | (static_cast<uint32_t>(i * 90 % 256) << 8) |
         static_cast<uint32_t>(255 - i % 200);
}

float LeftOf(int i) { return 5.0f + static_cast<float>((i * 37) % 180); }
float TopOf(int i) { return 5.0f + static_cast<float>((i * 53) % 270); }

// The page fitted to the window with one shape selected and pressed, ready to be dragged.
struct TDragScene {
  TdtpDocument Doc;
  THeadlessWindowHost Host{kWidth, kHeight};
  TdtpShape* Dragged = nullptr;
  TPoint Grip{0, 0};

  TDragScene() {
    Doc.DisableUndo();
    for (int i = 0; i < kShapes - 2; ++i) {
      auto shape = std::make_unique<TFillShape>(ColorOf(i));
      TdtpShape* s = shape.get();
      Doc.AddShape(std::move(shape));
      s->SetBounds(LeftOf(i), TopOf(i), 20, 12);
    }
    auto picture = std::make_unique<TPictureShape>();
    TdtpShape* p = picture.get();
    Doc.AddShape(std::move(picture));
    p->SetBounds(60, 40, 80, 60);
    p->SetAngle(kPictureAngle);
    // The dragged shape lies on top, in the upper part of the window, so every move stays inside.
    auto dragged = std::make_unique<TFillShape>(0xFF208040u);
    Dragged = dragged.get();
    Doc.AddShape(std::move(dragged));
    Dragged->SetBounds(30, 20, 30, 20);
    Doc.EnableUndo();
    Host.SetClient(&Doc);
    Doc.SetWindowHost(&Host);
    Host.PaintInvalidated();
    const TFloatPoint centre = Dragged->LocalToScreen({Dragged->DocWidth() / 2, Dragged->DocHeight() / 2});
    Grip = RoundPoint(centre);
    Host.Press(TMouseButton::mbLeft, Grip.X, Grip.Y);
    Host.Release(TMouseButton::mbLeft, Grip.X, Grip.Y);
    Host.PaintInvalidated();
  }
  ~TDragScene() {
    Host.SetClient(nullptr);
    Doc.SetWindowHost(nullptr);
  }
};

// One mouse move of a running drag, from the event to the window repainted.
void BM_DragMouseMove(benchmark::State& state) {
  TDragScene scene;
  scene.Host.Press(TMouseButton::mbLeft, scene.Grip.X, scene.Grip.Y);
  scene.Host.Move(scene.Grip.X + 20, scene.Grip.Y + 10);
  int step = 0;
  for (auto _ : state) {
    ++step;
    scene.Host.Move(scene.Grip.X + 20 + (step % 200), scene.Grip.Y + 10 + (step % 90));
    scene.Host.PaintInvalidated();
  }
  if (!scene.Doc.OutlineShown()) state.SkipWithError("the drag did not run");
  scene.Host.Type(vk::Escape, 27);
  scene.Host.Release(TMouseButton::mbLeft, scene.Grip.X, scene.Grip.Y);
}
BENCHMARK(BM_DragMouseMove)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

// The XOR outline alone: erasing it and drawing it at another delta, as one move does.
void BM_XorOutlineToggle(benchmark::State& state) {
  TDragScene scene;
  scene.Host.Press(TMouseButton::mbLeft, scene.Grip.X, scene.Grip.Y);
  scene.Host.Move(scene.Grip.X + 20, scene.Grip.Y + 10);
  TFloatPoint d = scene.Doc.DragDelta();
  for (auto _ : state) {
    scene.Doc.ToggleDragOutline(d);
    d.X += 0.1f;
    scene.Doc.ToggleDragOutline(d);
  }
  if (!scene.Doc.OutlineShown()) state.SkipWithError("the drag did not run");
  scene.Host.Type(vk::Escape, 27);
  scene.Host.Release(TMouseButton::mbLeft, scene.Grip.X, scene.Grip.Y);
}
BENCHMARK(BM_XorOutlineToggle)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

// The release: the move applied (one undo step) and the changed areas repainted. The undo that
// puts the shape back runs outside the timing.
void BM_DragReleaseRepaint(benchmark::State& state) {
  TDragScene scene;
  for (auto _ : state) {
    state.PauseTiming();
    scene.Host.Press(TMouseButton::mbLeft, scene.Grip.X, scene.Grip.Y);
    scene.Host.Move(scene.Grip.X + 40, scene.Grip.Y + 25);
    scene.Host.PaintInvalidated();
    state.ResumeTiming();
    scene.Host.Release(TMouseButton::mbLeft, scene.Grip.X + 40, scene.Grip.Y + 25);
    scene.Host.PaintInvalidated();
    state.PauseTiming();
    if (scene.Doc.UndoCount() == 0) state.SkipWithError("the drag did not move the shape");
    scene.Doc.Undo();
    scene.Host.Move(scene.Grip.X, scene.Grip.Y);
    scene.Host.PaintInvalidated();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DragReleaseRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

// The whole window painted again, caches warm.
void BM_WholeWindowRepaint(benchmark::State& state) {
  TDragScene scene;
  for (auto _ : state) {
    scene.Host.InvalidateAll();
    scene.Host.PaintInvalidated();
  }
}
BENCHMARK(BM_WholeWindowRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

// Reference frame: cairo fills the same rectangles and lays the turned picture onto a surface of
// the window's size, at the resolution the document was fitted to.
void BM_CairoReferenceFrame(benchmark::State& state) {
  TDragScene scene;
  const double dpm = scene.Doc.ScreenDpm();
  const TFloatPoint origin = scene.Doc.CurrentPage()->LocalToScreen({0, 0});
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  const int pw = static_cast<int>(std::ceil(80 * dpm)), ph = static_cast<int>(std::ceil(60 * dpm));
  cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pw, ph);
  {
    unsigned char* pixels = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    for (int y = 0; y < ph; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(pixels + y * stride);
      for (int x = 0; x < pw; ++x) row[x] = Color32(static_cast<uint32_t>(x * 3) & 0xFF, static_cast<uint32_t>(y * 5) & 0xFF, 128);
    }
    cairo_surface_mark_dirty(picture);
  }
  for (auto _ : state) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
    cairo_paint(cr);
    cairo_translate(cr, origin.X, origin.Y);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, 0, 0, 210 * dpm, 297 * dpm);
    cairo_fill(cr);
    for (int i = 0; i < kShapes - 2; ++i) {
      const TColor32 c = ColorOf(i);
      cairo_set_source_rgb(cr, RedOf(c) / 255.0, GreenOf(c) / 255.0, BlueOf(c) / 255.0);
      cairo_rectangle(cr, LeftOf(i) * dpm, TopOf(i) * dpm, 20 * dpm, 12 * dpm);
      cairo_fill(cr);
    }
    cairo_save(cr);
    cairo_translate(cr, 60 * dpm, 40 * dpm);
    cairo_rotate(cr, -kPictureAngle * M_PI / 180);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.125, 0.5, 0.25);
    cairo_rectangle(cr, 30 * dpm, 20 * dpm, 30 * dpm, 20 * dpm);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_surface_destroy(picture);
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_CairoReferenceFrame)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
