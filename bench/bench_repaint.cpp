// Repainting a magnet design as the designer's window shows it: a 96 x 56 mm page holding a
// 12-megapixel JPEG picture turned by 15 degrees, a translucent box, a two-line message and a
// rectangle outline, fitted into a 900 x 500 client of the headless window host and rendered at
// screen resolution. Measured warm (every cache built) and cold (the first paint of a new
// document, which decodes the picture and builds the caches), beside cairo drawing the same
// content from the decoded picture with its bilinear filter onto an image surface of the same size.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "base/stream.h"
#include "engine/document.h"
#include "engine/page.h"
#include "platform/fonts.h"
#include "platform/headless_window_host.h"
#include "shapes/bitmap_shape.h"
#include "shapes/engine_start.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/formats/jpeg_format.h"
#include "storage/xml/native_xml.h"

namespace {

using namespace sw;

constexpr int32_t kClientWidth = 900, kClientHeight = 500;
constexpr float kPageWidth = 96, kPageHeight = 56;
constexpr int32_t kPictureWidth = 4000, kPictureHeight = 3000;
// The picture covers the page however it is turned: 116 x 87 mm about the page's centre.
constexpr float kPictureLeft = -10, kPictureTop = -15.5f, kPictureMmWidth = 116, kPictureMmHeight = 87;
constexpr float kPictureAngle = 15;
constexpr float kBoxLeft = 10, kBoxTop = 32, kBoxWidth = 76, kBoxHeight = 18;
constexpr uint32_t kBoxAlpha = 128;
constexpr float kFrameInset = 2, kOutlineWidth = 0.5f;
const char16_t kMessage[] = u"Greetings from\r\nthe seaside";
constexpr float kFontHeight = 7;

// A picture of our own: smooth colour fields with rings, so that the JPEG is of ordinary size.
const TBitmap32& Picture() {
  static TBitmap32* picture = [] {
    auto* b = new TBitmap32;
    b->SetSize(kPictureWidth, kPictureHeight);
    for (int32_t y = 0; y < kPictureHeight; ++y) {
      TColor32* row = b->ScanLine(y);
      for (int32_t x = 0; x < kPictureWidth; ++x) {
        const double d = std::hypot(x - 2600.0, y - 1100.0);
        const auto ring = static_cast<uint32_t>(127.5 + 127.5 * std::sin(d / 40));
        row[x] = Color32(static_cast<uint32_t>(x * 255 / kPictureWidth), ring,
                         static_cast<uint32_t>(y * 255 / kPictureHeight));
      }
    }
    return b;
  }();
  return *picture;
}

// The picture as a JPEG file (quality 90, the program's own), written once.
const std::string& PictureFile() {
  static const std::string* name = [] {
    TMemoryStream jpeg;
    EncodeJpeg(Picture(), jpeg, 90);
    auto* file = new std::string(TempFolder() + "/bench_repaint_" + std::to_string(::getpid()) + ".jpg");
    jpeg.SaveToFile(*file);
    return file;
  }();
  return *name;
}

TFontSystem& Fonts() {
  static TFontSystem* fonts = TFontSystem::CreateForMachine().release();
  return *fonts;
}

// The design fitted into the client; nothing painted yet.
struct TRepaintScene {
  std::unique_ptr<TdtpDocument> Doc;
  THeadlessWindowHost Host{kClientWidth, kClientHeight};

  TRepaintScene() {
    PrepareEngine();
    TServices services;
    services.Fonts = &Fonts();
    Doc = std::make_unique<TdtpDocument>(services);
    Doc->DisableUndo();
    Doc->CurrentPage()->SetBounds(0, 0, kPageWidth, kPageHeight);

    auto picture = std::make_unique<TdtpBitmapShape>();
    TdtpBitmapShape* p = picture.get();
    Doc->AddShape(std::move(picture));
    // The file's bytes are kept; loading decodes once to learn the picture's size, and the
    // picture is dropped again so that the first paint decodes it, as after opening a design.
    p->Resource().LoadFromFile(PictureFile());
    {
      TResourceAccess access(p->Resource());
      p->Resource().EnsureState(TdtpResource::kStateData);
    }
    p->PreserveAspect = false;
    p->SetBounds(kPictureLeft, kPictureTop, kPictureMmWidth, kPictureMmHeight);
    p->RotateAboutCentre(kPictureAngle);

    auto box = std::make_unique<TdtpRectangleShape>();
    box->SetBounds(kBoxLeft, kBoxTop, kBoxWidth, kBoxHeight);
    box->SetUseOutline(false);
    box->SetFillColor(0xFFFFFF);
    box->SetMasterAlpha(kBoxAlpha);
    Doc->AddShape(std::move(box));

    auto message = std::make_unique<TdtpMemoShape>();
    message->SetAutoSize(false);
    message->SetAlignment(taCenter);
    message->SetVertAlign(vaCenter);
    message->SetFontName("DejaVu Sans");
    message->SetFontHeight(kFontHeight);
    message->SetBounds(kBoxLeft, kBoxTop, kBoxWidth, kBoxHeight);
    message->SetText(kMessage);
    Doc->AddShape(std::move(message));

    auto frame = std::make_unique<TdtpRectangleShape>();
    frame->SetBounds(kFrameInset, kFrameInset, kPageWidth - 2 * kFrameInset, kPageHeight - 2 * kFrameInset);
    frame->SetUseFill(false);
    frame->SetOutlineWidth(kOutlineWidth);
    frame->SetOutlineColor(0x202020);
    Doc->AddShape(std::move(frame));

    // As the designer shows a design: normal view, screen-resolution caches, fitted to the window.
    Doc->SetViewStyle(vsNormal);
    Doc->SetRenderAtScreenRes(true);
    Host.SetClient(Doc.get());
    Doc->SetWindowHost(&Host);
    Doc->FitPage();
  }
  ~TRepaintScene() {
    Host.SetClient(nullptr);
    Doc->SetWindowHost(nullptr);
  }

  const TBitmap32& PaintAll() { return Host.Paint(TRect{0, 0, kClientWidth, kClientHeight}); }
};

void RepaintWarm(benchmark::State& state) {
  TRepaintScene scene;
  scene.PaintAll();
  for (auto _ : state) benchmark::DoNotOptimize(scene.PaintAll().Bits());
  state.counters["dpm"] = scene.Doc->ScreenDpm();
}

void FirstPaintCold(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto scene = std::make_unique<TRepaintScene>();
    state.ResumeTiming();
    benchmark::DoNotOptimize(scene->PaintAll().Bits());
    state.PauseTiming();
    scene.reset();
    state.ResumeTiming();
  }
}

// The same content in cairo from the decoded picture, at the fitted zoom, every element drawn anew.
struct TCairoScene {
  cairo_surface_t* Source = nullptr;
  cairo_surface_t* Target = nullptr;
  cairo_t* Cr = nullptr;
  double Dpm = 0;

  TCairoScene() {
    const TBitmap32& b = Picture();
    Source = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, b.Width(), b.Height());
    // Opaque pixels are the same premultiplied or not.
    const int stride = cairo_image_surface_get_stride(Source);
    unsigned char* data = cairo_image_surface_get_data(Source);
    for (int32_t y = 0; y < b.Height(); ++y) {
      std::copy(b.ScanLine(y), b.ScanLine(y) + b.Width(), reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride));
    }
    cairo_surface_mark_dirty(Source);
    Target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kClientWidth, kClientHeight);
    Cr = cairo_create(Target);
    Dpm = std::min((kClientWidth - 1) / kPageWidth, (kClientHeight - 1) / kPageHeight);
  }
  ~TCairoScene() {
    cairo_destroy(Cr);
    cairo_surface_destroy(Target);
    cairo_surface_destroy(Source);
  }

  void Draw() {
    cairo_t* cr = Cr;
    cairo_set_source_rgb(cr, 0xAB / 255.0, 0xAB / 255.0, 0xAB / 255.0);
    cairo_paint(cr);
    cairo_save(cr);
    cairo_scale(cr, Dpm, Dpm);
    // Shapes are not cut at the page's edge, in the engine as here.
    cairo_rectangle(cr, 0, 0, kPageWidth, kPageHeight);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);

    // The picture turned about its centre (counter-clockwise on the screen), stretched bilinearly.
    cairo_save(cr);
    cairo_translate(cr, kPictureLeft + kPictureMmWidth / 2, kPictureTop + kPictureMmHeight / 2);
    cairo_rotate(cr, -kPictureAngle * M_PI / 180);
    cairo_translate(cr, -kPictureMmWidth / 2, -kPictureMmHeight / 2);
    cairo_scale(cr, kPictureMmWidth / kPictureWidth, kPictureMmHeight / kPictureHeight);
    cairo_set_source_surface(cr, Source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_rectangle(cr, 0, 0, kPictureWidth, kPictureHeight);
    cairo_fill(cr);
    cairo_restore(cr);

    cairo_set_source_rgba(cr, 1, 1, 1, kBoxAlpha / 255.0);
    cairo_rectangle(cr, kBoxLeft, kBoxTop, kBoxWidth, kBoxHeight);
    cairo_fill(cr);

    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontHeight * 0.8);
    cairo_set_source_rgb(cr, 0, 0, 0);
    const char* lines[] = {"Greetings from", "the seaside"};
    for (int i = 0; i < 2; ++i) {
      cairo_text_extents_t e;
      cairo_text_extents(cr, lines[i], &e);
      cairo_move_to(cr, kBoxLeft + (kBoxWidth - e.x_advance) / 2,
                    kBoxTop + kBoxHeight / 2 - kFontHeight + kFontHeight * 0.8 + i * kFontHeight);
      cairo_show_text(cr, lines[i]);
    }

    cairo_set_source_rgb(cr, 0x20 / 255.0, 0x20 / 255.0, 0x20 / 255.0);
    cairo_set_line_width(cr, kOutlineWidth);
    cairo_rectangle(cr, kFrameInset, kFrameInset, kPageWidth - 2 * kFrameInset, kPageHeight - 2 * kFrameInset);
    cairo_stroke(cr);
    cairo_restore(cr);
    cairo_surface_flush(Target);
  }
};

void CairoRepaint(benchmark::State& state) {
  TCairoScene scene;
  scene.Draw();
  for (auto _ : state) {
    scene.Draw();
    benchmark::DoNotOptimize(cairo_image_surface_get_data(scene.Target));
  }
  state.counters["dpm"] = scene.Dpm;
}

BENCHMARK(RepaintWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(CairoRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(FirstPaintCold)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(PictureFile().c_str());
  return 0;
}
