// Printing an A4 page of ten magnet-like groups (a picture, a text, a rounded outline and an
// ellipse, each group turned a little) to PDF at 300 and 600 dpi, beside cairo receiving the same
// bands into its PDF surface in the same program. Both sides run the same banded print job; only
// the printer differs. Counters: the file's size and the peak memory of a job run alone in a
// child process (its maximum resident set).
#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/stream.h"
#include "engine/document.h"
#include "platform/fonts.h"
#include "platform/pdf_printer.h"
#include "shapes/bitmap_shape.h"
#include "shapes/effect_shape.h"
#include "shapes/polygon_shape.h"
#include "shapes/register.h"
#include "shapes/text_shape.h"
#include "storage/resources/resource_thread.h"

namespace {

using namespace sw;

// Cairo's PDF surface fed with the bands: each band an opaque image painted at its place.
class TCairoPdfPrinter : public IPrinter {
public:
  TCairoPdfPrinter(std::string fileName, const TFilePrinterSettings& settings)
      : fileName_(std::move(fileName)), settings_(settings), sheet_(FileSheet(settings)) {}
  ~TCairoPdfPrinter() override { Abort(); }
  TPrinterSheet Sheet() const override { return sheet_; }
  void BeginDoc(const std::string&) override {
    surface_ = cairo_pdf_surface_create(fileName_.c_str(), settings_.PaperWidth * 72 / 25.4,
                                        settings_.PaperHeight * 72 / 25.4);
    cr_ = cairo_create(surface_);
  }
  void NewPage() override { cairo_show_page(cr_); }
  void EndDoc() override { Abort(); }
  void Abort() override {
    if (cr_) cairo_destroy(cr_);
    if (surface_) {
      cairo_surface_finish(surface_);
      cairo_surface_destroy(surface_);
    }
    cr_ = nullptr;
    surface_ = nullptr;
  }
  bool Printing() const override { return cr_ != nullptr; }
  void StretchBand(const TRect& dest, const TBitmap32& band) override {
    // Cairo keeps the picture until the page is written, so it gets a copy of its own.
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, band.Width(), band.Height());
    cairo_surface_flush(image);
    uint8_t* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int32_t y = 0; y < band.Height(); ++y) {
      std::memcpy(data + static_cast<ptrdiff_t>(y) * stride, band.ScanLine(y), static_cast<size_t>(band.Width()) * 4);
    }
    cairo_surface_mark_dirty(image);
    const double k = 72.0 / settings_.Dpi;
    cairo_save(cr_);
    cairo_translate(cr_, dest.Left * k, dest.Top * k);
    cairo_scale(cr_, dest.Width() * k / band.Width(), dest.Height() * k / band.Height());
    cairo_set_source_surface(cr_, image, 0, 0);
    cairo_paint(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(image);
  }

private:
  std::string fileName_;
  TFilePrinterSettings settings_;
  TPrinterSheet sheet_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
};

// A photo-like picture: smooth gradients with a little texture.
void MakePicture(TBitmap32& picture, uint32_t seed) {
  picture.SetSize(480, 360);
  for (int32_t y = 0; y < 360; ++y) {
    for (int32_t x = 0; x < 480; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const uint32_t noise = (seed >> 28) & 7;
      picture.SetPixel(x, y, Color32((x * 255 / 480 + noise) & 0xFF, (y * 255 / 360 + noise) & 0xFF,
                                     (128 + static_cast<uint32_t>(64 * std::sin(x / 40.0 + y / 30.0))) & 0xFF));
    }
  }
}

struct TMagnetPage {
  std::unique_ptr<TFontSystem> Fonts = TFontSystem::CreateForMachine();
  std::unique_ptr<TdtpDocument> Doc;

  TMagnetPage() {
    RegisterShapeKinds();
    TServices services;
    services.Fonts = Fonts.get();
    Doc = std::make_unique<TdtpDocument>(services);
    TdtpPage& page = *Doc->Pages(0);
    for (int i = 0; i < 10; ++i) {
      auto group = std::make_unique<TdtpGroupShape>();
      TdtpGroupShape* g = group.get();
      page.AddChild(std::move(group));
      g->SetBounds(12.0f + 100.0f * static_cast<float>(i % 2), 8.0f + 57.0f * static_cast<float>(i / 2), 86, 52);
      auto picture = std::make_unique<TdtpBitmapShape>();
      TBitmap32 bitmap;
      MakePicture(bitmap, static_cast<uint32_t>(i));
      picture->Resource().SetBitmap(&bitmap);
      TdtpBitmapShape* p = picture.get();
      g->AddChild(std::move(picture));
      p->SetBounds(3, 3, 48, 36);
      auto text = std::make_unique<TdtpTextShape>();
      TdtpTextShape* t = text.get();
      g->AddChild(std::move(text));
      t->SetBounds(53, 6, 30, 10);
      t->SetText(u"Magnet " + std::u16string(1, static_cast<char16_t>(u'0' + i)));
      auto outline = std::make_unique<TdtpRoundRectShape>();
      TdtpRoundRectShape* o = outline.get();
      g->AddChild(std::move(outline));
      o->SetBounds(0, 0, 86, 52);
      o->SetUseFill(false);
      o->SetOutlineWidth(0.8f);
      auto dot = std::make_unique<TdtpEllipseShape>();
      TdtpEllipseShape* e = dot.get();
      g->AddChild(std::move(dot));
      e->SetBounds(58, 22, 20, 20);
      e->SetFillColor(0x2080F0 + i * 0x10);
      g->SetAngle(static_cast<float>(i % 3) * 2.5f);
    }
  }
};

std::string OutputName(const char* side, int dpi) {
  return TempFolder() + "/bench_print_" + side + "_" + std::to_string(dpi) + "_" + std::to_string(::getpid()) + ".pdf";
}

// The print job on the given side at dpi (quality 300 or 600 to match).
void PrintOnce(TMagnetPage& magnets, bool cairo, int dpi, const std::string& file) {
  TFilePrinterSettings settings;
  settings.Dpi = dpi;
  magnets.Doc->PrintQuality = dpi >= 600 ? pqHigh : pqMedium;
  std::unique_ptr<IPrinter> printer;
  if (cairo) {
    printer = std::make_unique<TCairoPdfPrinter>(file, settings);
  } else {
    printer = std::make_unique<TPdfPrinter>(file, settings);
  }
  magnets.Doc->PrintPageList({0}, *printer);
}

// Peak resident memory in MB and the file's size of one job run alone in a child process.
void MeasureAlone(bool cairo, int dpi, double& peakMb, double& fileBytes) {
  const std::string file = OutputName(cairo ? "cairo" : "ours", dpi);
  const pid_t child = ::fork();
  if (child == 0) {
    {
      TResourceThreadScope pictureCache;
      TMagnetPage magnets;
      PrintOnce(magnets, cairo, dpi, file);
    }
    std::fflush(nullptr);
    ::_exit(0);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  fileBytes = FileExists(file) ? static_cast<double>(ReadFileBytes(file).size()) : 0;
  std::remove(file.c_str());
}

void BM_Print(benchmark::State& state, bool cairo) {
  const int dpi = static_cast<int>(state.range(0));
  double peakMb = 0, fileBytes = 0;
  MeasureAlone(cairo, dpi, peakMb, fileBytes);
  TResourceThreadScope pictureCache;
  TMagnetPage magnets;
  magnets.Doc->Performance = dpSpeedOverMemory;
  const std::string file = OutputName(cairo ? "cairo" : "ours", dpi);
  for (auto _ : state) PrintOnce(magnets, cairo, dpi, file);
  std::remove(file.c_str());
  state.counters["peak_MB"] = peakMb;
  state.counters["file_KB"] = fileBytes / 1024;
}

void BM_PrintOurs(benchmark::State& state) { BM_Print(state, false); }
void BM_PrintCairo(benchmark::State& state) { BM_Print(state, true); }

BENCHMARK(BM_PrintOurs)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PrintCairo)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
