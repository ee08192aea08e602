// Printing a sheet of ten business-card magnets (90 x 50 mm, bleed 3, A4 in 2 x 5 with outer margins
// 15 and 23, uncut paper so that the cutting lines print) whose design holds a 12-megapixel photo,
// zoomed and turned 15 degrees, and a line of message, to PDF at 300 and 600 dpi: the print tab's
// layout of the sheet and the engine's banded printing into TPdfPrinter, as "magnet print" does.
//
// Beside it, in the same run, cairo draws the same sheet into its PDF surface: the photo decoded
// once with libjpeg-turbo, then per copy the background, the picture scaled and turned with the
// same matrix, the message with cairo's toy text API, the white border and the cutting line, each
// copy clipped to its page. The geometry is read from the sheet our layout built, so both sides
// draw the same thing. Cairo writes vectors and one embedded picture, so its work does not depend
// on the resolution; the "jpeg" variant also hands cairo the JPEG bytes to embed as they are.
//
// The merge: the same design with "${Name}" in its message and a picture column, printed from a
// table of 20 or 200 rows, each naming a photo of its own (a distinct path per row, all links to
// the one photo file, which the designer reads anew for every row), onto 2 or 20 sheets of ten
// cards at 300 dpi as one PDF. Its counters give the CPU and wall time per sheet beside a sheet of
// the design alone printed in the same run (sheet_ratio: per merged sheet over the one-design
// sheet, CPU time), and the peak resident set of the whole merge run alone.
//
// Time: the print run, layout and job (ours), the decoding and the drawing (cairo), from the JPEG
// bytes in memory. Counters: peak_MB, the maximum resident set of the whole job (design built from
// the file included) run alone in a forked child (VmHWM), base_MB the resident set the child
// started from (the program itself), and file_KB the PDF's size. CPU time counts every thread of
// the process; on a busy machine it is the figure to compare.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "base/stream.h"
#include "base/strings.h"
#include "engine/document.h"
#include "magnet/magnet_design.h"
#include "magnet/merge_table.h"
#include "magnet/print_run.h"
#include "magnet/print_sheet.h"
#include "platform/fonts.h"
#include "platform/pdf_printer.h"
#include "shapes/bitmap_shape.h"
#include "shapes/engine_start.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/formats/jpeg_format.h"
#include "storage/resources/resource_thread.h"
#include "storage/xml/native_xml.h"

#if __has_include(<cairo-pdf.h>)
#include <cairo-pdf.h>
#include <cairo.h>
#define STICKWELL_BENCH_CAIRO 1
#endif

namespace {

using namespace sw;

constexpr int32_t kPhotoWidth = 4000;
constexpr int32_t kPhotoHeight = 3000;

std::string TempName(const std::string& name) {
  return TempFolder() + "/bench_magnet_print_" + std::to_string(::getpid()) + "_" + name;
}

// A temporary file removed when the program ends (forked children end without removing it).
struct TTempFile {
  std::string Name;
  ~TTempFile() { std::remove(Name.c_str()); }
};

// A smooth photo-like picture: broad colour gradients, a soft bright disc, gentle waves and a
// little grain, encoded at quality 90 through our JPEG format. Returns the file's name.
const std::string& PhotoFile() {
  static const TTempFile file = [] {
    TBitmap32 photo;
    photo.SetSize(kPhotoWidth, kPhotoHeight);
    uint32_t seed = 12345;
    auto clamp = [](double v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int32_t y = 0; y < kPhotoHeight; ++y) {
      TColor32* row = photo.ScanLine(y);
      const double fy = static_cast<double>(y) / kPhotoHeight;
      for (int32_t x = 0; x < kPhotoWidth; ++x) {
        const double fx = static_cast<double>(x) / kPhotoWidth;
        seed = seed * 1664525u + 1013904223u;
        const double grain = static_cast<double>((seed >> 27) & 7) - 3.5;
        const double dx = fx - 0.62, dy = fy - 0.35;
        const double sun = 90 * std::exp(-(dx * dx + dy * dy) * 18);
        const double wave = 25 * std::sin(fx * 9 + std::sin(fy * 5) * 2) * std::cos(fy * 7);
        row[x] = Color32(clamp(60 + 120 * fy + sun + wave + grain),
                         clamp(110 + 60 * std::sin(fx * 3) + sun * 0.8 + grain),
                         clamp(200 - 140 * fy + wave * 0.5 + grain));
      }
    }
    TMemoryStream out;
    TdtpJpgFormat format;
    format.Quality = 90;
    format.SaveToStream(out, photo);
    const std::string name = TempName("photo.jpg");
    out.SaveToFile(name);
    return TTempFile{name};
  }();
  return file.Name;
}

// The design as a user makes it: the business-card layers, uncut paper, the photo loaded, zoomed
// to 110 % of the covering size, centred and turned by 15 degrees, a background colour and a bold
// line of message over it.
void MakeDesign(TMagnetDesign& magnet, const std::string& photo) {
  magnet.SetBleedMargin(3);
  magnet.LayoutTemplateLayers(90, 50, 3);
  for (const TLayer layer : {TLayer::bgColour, TLayer::usrTextBG, TLayer::usrText, TLayer::olBorder}) {
    magnet.Layer(layer)->SetVisible(true);
  }
  magnet.SetBorder(true);
  magnet.StoreDesignParams();
  magnet.ApplyDesign(true);
  magnet.SetPrecut(false);
  magnet.SetBackgroundColour(0xE0F0FF);
  magnet.LoadUserPicture(photo);
  magnet.ZoomActiveImage(110);
  const TdtpShape& picture = *magnet.Layer(TLayer::usrImage);
  const TdtpDocument& doc = magnet.Document();
  magnet.MoveActiveImage((doc.PageWidth() - picture.DocWidth()) / 2, (doc.PageHeight() - picture.DocHeight()) / 2);
  magnet.RotateActiveImage(15);
  magnet.SetMessageText(u"Greetings from the seaside");
  magnet.SetMessageFont("DejaVu Sans", 14, true, false, 0x203040);
  magnet.SetTextBoxSeeThrough(true);
  magnet.EndTextFlash();
}

// One engine process: fonts, shape kinds and XML defaults as the command-line tool starts them.
struct TEngine {
  std::unique_ptr<TFontSystem> Fonts = TFontSystem::CreateForMachine();
  TServices Services;
  TEngine() {
    PrepareEngine();
    Services.Fonts = Fonts.get();
  }
};

// "magnet print": the sheet laid out from the design and printed through the engine's bands, the
// rendering resolution matching the printer's.
void PrintOurs(TMagnetDesign& magnet, const TServices& services, int dpi, const std::string& file) {
  TPrintSheet sheet(services);
  TFilePrinterSettings settings;
  settings.Dpi = dpi;
  TPdfPrinter printer(file, settings);
  TPrintRunOptions options;
  options.Quality = dpi >= 600 ? pqHigh : pqMedium;
  RunMagnetPrint(magnet, sheet, printer, options);
  if (PrintedCopyCount(sheet) != 10) throw std::runtime_error("the sheet does not hold the ten business cards");
}

// A line of /proc/self/status in MB ("VmHWM", "VmRSS").
double StatusMb(const char* key) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  double kb = 0;
  const size_t keyLength = std::strlen(key);
  while (std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') kb = std::atof(line + keyLength + 1);
  }
  std::fclose(status);
  return kb / 1024;
}

struct TAlone {
  double PeakMb = 0;
  double BaseMb = 0;
  double FileBytes = 0;
};

// Runs job(file) alone in a forked child and returns its peak resident set and the file's size.
// The caller holds no running threads (no picture cache) while forking.
TAlone MeasureAlone(const std::function<void(const std::string&)>& job, const std::string& tag) {
  const std::string file = TempName(tag + ".pdf");
  ::malloc_trim(0);
  TAlone result;
  result.BaseMb = StatusMb("VmRSS");
  int fds[2];
  if (::pipe(fds) != 0) return result;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    int code = 0;
    try {
      job(file);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", tag.c_str(), e.what());
      code = 1;
    }
    const double peak = StatusMb("VmHWM");
    if (::write(fds[1], &peak, sizeof peak) != sizeof peak) code = 1;
    std::fflush(nullptr);
    ::_exit(code);
  }
  ::close(fds[1]);
  double peak = 0;
  const bool got = child > 0 && ::read(fds[0], &peak, sizeof peak) == sizeof peak;
  ::close(fds[0]);
  int status = 0;
  if (child > 0) ::waitpid(child, &status, 0);
  if (got && WIFEXITED(status) && WEXITSTATUS(status) == 0) result.PeakMb = peak;
  result.FileBytes = FileExists(file) ? static_cast<double>(ReadFileBytes(file).size()) : 0;
  std::remove(file.c_str());
  return result;
}

void BM_MagnetPrintOurs(benchmark::State& state) {
  const int dpi = static_cast<int>(state.range(0));
  const std::string& photo = PhotoFile();
  const TAlone alone = MeasureAlone(
      [&](const std::string& file) {
        TResourceThreadScope pictureCache;
        TEngine engine;
        TMagnetDesign magnet(engine.Services);
        MakeDesign(magnet, photo);
        PrintOurs(magnet, engine.Services, dpi, file);
      },
      "ours_" + std::to_string(dpi));
  if (alone.PeakMb == 0) state.SkipWithError("the print job failed in its child process");

  TResourceThreadScope pictureCache;
  TEngine engine;
  TMagnetDesign magnet(engine.Services);
  MakeDesign(magnet, photo);
  const std::string file = TempName("ours_timed.pdf");
  for (auto _ : state) PrintOurs(magnet, engine.Services, dpi, file);
  std::remove(file.c_str());
  state.counters["peak_MB"] = alone.PeakMb;
  state.counters["base_MB"] = alone.BaseMb;
  state.counters["file_KB"] = alone.FileBytes / 1024;
}

BENCHMARK(BM_MagnetPrintOurs)
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(2);

// The merge table of rows rows in a folder of its own: "Name,Photo", row n naming photo_n.jpg, a
// link to the photo. Built once per row count; the folder goes when the program ends.
struct TMergeFolder {
  std::string Folder;
  std::string Table;
  ~TMergeFolder() {
    std::error_code error;
    std::filesystem::remove_all(Folder, error);
  }
};

const std::string& MergeTableFile(int32_t rows) {
  static std::map<int32_t, std::unique_ptr<TMergeFolder>> made;
  std::unique_ptr<TMergeFolder>& kept = made[rows];
  if (kept) return kept->Table;
  auto folder = std::make_unique<TMergeFolder>();
  folder->Folder = TempName("merge_" + std::to_string(rows));
  std::filesystem::create_directories(folder->Folder);
  std::string csv = "Name,Photo\n";
  for (int32_t row = 1; row <= rows; ++row) {
    const std::string photo = "photo_" + std::to_string(row) + ".jpg";
    std::filesystem::create_symlink(PhotoFile(), folder->Folder + "/" + photo);
    csv += "Person " + std::to_string(row) + "," + photo + "\n";
  }
  folder->Table = folder->Folder + "/people.csv";
  TMemoryStream out;
  out.WriteBuffer(csv.data(), static_cast<int64_t>(csv.size()));
  out.SaveToFile(folder->Table);
  kept = std::move(folder);
  return kept->Table;
}

// The design of the sheet, its message naming each row's person and its picture each row's photo.
void MakeMergeDesign(TMagnetDesign& magnet, const std::string& table) {
  MakeDesign(magnet, PhotoFile());
  magnet.SetMessageText(u"Greetings to ${Name}");
  magnet.EndTextFlash();
  magnet.SetMerge(table, "Photo");
}

// "magnet print --merge": the rows onto as many sheets as they take, one PDF at 300 dpi.
void PrintMerge(TMagnetDesign& magnet, const TServices& services, const TMergeTable& table, const std::string& file) {
  TPrintSheet sheet(services);
  TFilePrinterSettings settings;
  settings.Dpi = 300;
  TPdfPrinter printer(file, settings);
  const TMergeRunResult result = RunMergePrint(magnet, sheet, table, printer, {}, {});
  if (result.Sheets != (table.RowCount() + 9) / 10) throw std::runtime_error("the merge does not fill ten cards a sheet");
}

// CPU time of the process and wall time, in milliseconds.
struct TClocks {
  double Cpu = 0, Wall = 0;
  static TClocks Now() {
    timespec cpu{}, wall{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    ::clock_gettime(CLOCK_MONOTONIC, &wall);
    return {cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6, wall.tv_sec * 1e3 + wall.tv_nsec / 1e6};
  }
  TClocks operator-(const TClocks& start) const { return {Cpu - start.Cpu, Wall - start.Wall}; }
};

void BM_MagnetMergePrint(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  const int32_t sheets = (rows + 9) / 10;
  const std::string& tableFile = MergeTableFile(rows);
  const TAlone alone = MeasureAlone(
      [&](const std::string& file) {
        TResourceThreadScope pictureCache;
        TEngine engine;
        TMagnetDesign magnet(engine.Services);
        MakeMergeDesign(magnet, tableFile);
        PrintMerge(magnet, engine.Services, TMergeTable::Load(tableFile), file);
      },
      "merge_" + std::to_string(rows));
  if (alone.PeakMb == 0) state.SkipWithError("the merge print failed in its child process");

  TResourceThreadScope pictureCache;
  TEngine engine;
  const std::string file = TempName("merge_timed.pdf");
  // The one-design sheet before the merge, the reference of this run: the mean of a few prints
  // after one that warms the fonts.
  constexpr int kDesignRuns = 3;
  TClocks single;
  {
    TMagnetDesign magnet(engine.Services);
    MakeDesign(magnet, PhotoFile());
    PrintOurs(magnet, engine.Services, 300, file);
    const TClocks start = TClocks::Now();
    for (int run = 0; run < kDesignRuns; ++run) PrintOurs(magnet, engine.Services, 300, file);
    single = TClocks::Now() - start;
    single.Cpu /= kDesignRuns;
    single.Wall /= kDesignRuns;
  }
  TMagnetDesign magnet(engine.Services);
  MakeMergeDesign(magnet, tableFile);
  const TMergeTable table = TMergeTable::Load(tableFile);
  TClocks merged;
  for (auto _ : state) {
    const TClocks start = TClocks::Now();
    PrintMerge(magnet, engine.Services, table, file);
    const TClocks took = TClocks::Now() - start;
    merged.Cpu += took.Cpu;
    merged.Wall += took.Wall;
  }
  std::remove(file.c_str());
  const double runs = static_cast<double>(state.iterations()) * sheets;
  state.counters["sheets"] = sheets;
  state.counters["sheet_cpu_ms"] = merged.Cpu / runs;
  state.counters["sheet_wall_ms"] = merged.Wall / runs;
  state.counters["design_cpu_ms"] = single.Cpu;
  state.counters["design_wall_ms"] = single.Wall;
  state.counters["sheet_ratio"] = single.Cpu > 0 ? merged.Cpu / runs / single.Cpu : 0;
  state.counters["peak_MB"] = alone.PeakMb;
  state.counters["base_MB"] = alone.BaseMb;
  state.counters["file_KB"] = alone.FileBytes / 1024;
}

BENCHMARK(BM_MagnetMergePrint)
    ->Arg(20)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(1);

#ifdef STICKWELL_BENCH_CAIRO

// What cairo draws, read from the sheet our layout built: a matrix from a frame's millimetres to
// its parent's.
struct TFrame {
  cairo_matrix_t Matrix{};
  double Width = 0;
  double Height = 0;
  // The part of the frame a copy prints (its cell), in the frame's millimetres.
  TFloatRect Cell{0, 0, 0, 0};
};

TFrame FrameOf(const TdtpShape& shape) {
  const TFloatPoint o = shape.LocalToParent({0, 0});
  const TFloatPoint x = shape.LocalToParent({1, 0});
  const TFloatPoint y = shape.LocalToParent({0, 1});
  TFrame frame;
  cairo_matrix_init(&frame.Matrix, x.X - o.X, x.Y - o.Y, y.X - o.X, y.Y - o.Y, o.X, o.Y);
  frame.Width = shape.DocWidth();
  frame.Height = shape.DocHeight();
  return frame;
}

struct TRgba {
  double R = 0, G = 0, B = 0, A = 0;
};

// A window-system colour 0x00BBGGRR at alpha 0..255 times the shape's master alpha.
TRgba Rgba(TdtpColor colour, int64_t alpha, uint32_t masterAlpha) {
  const TColor32 c = ColorFromSystem(colour);
  return {RedOf(c) / 255.0, GreenOf(c) / 255.0, BlueOf(c) / 255.0,
          static_cast<double>(alpha) * masterAlpha / (255.0 * 255.0)};
}

struct TPlanItem {
  enum TKind { Rectangle, Picture, Text } Kind = Rectangle;
  TFrame Frame;
  bool Fill = false;
  TRgba FillColour;
  double LineWidth = 0;  // 0: no outline
  TRgba LineColour;
  std::vector<std::string> Lines;
  std::string FontName;
  double FontSize = 0;
  bool Bold = false, Italic = false;
};

struct TSheetPlan {
  double PaperWidth = 0, PaperHeight = 0;
  std::vector<TFrame> Copies;   // each copy's page on the sheet, in drawing order
  std::vector<TPlanItem> Items;  // the visible layers of a copy, bottom first
};

TSheetPlan PlanSheet(TMagnetDesign& magnet, const TServices& services) {
  TPrintSheet sheet(services);
  sheet.BuildPrintLayout(magnet);
  TdtpPage& page = *sheet.Document().CurrentPage();
  TSheetPlan plan;
  plan.PaperWidth = page.PageWidth();
  plan.PaperHeight = page.PageHeight();
  for (int i = 0; i < page.ChildCount(); ++i) {
    TFrame frame = FrameOf(*page.Child(i));
    if (const auto* placed = dynamic_cast<const TPrintCopy*>(page.Child(i))) frame.Cell = placed->Cell();
    plan.Copies.push_back(frame);
  }
  if (!sheet.CopyPicture()) return plan;
  const TdtpShape& copy = sheet.CopyPicture()->Page();
  for (int i = 0; i < copy.ChildCount(); ++i) {
    const TdtpShape& shape = *copy.Child(i);
    if (!shape.Visible() || shape.MasterAlpha() == 0) continue;
    TPlanItem item;
    item.Frame = FrameOf(shape);
    if (const auto* rect = dynamic_cast<const TdtpPolygonShape*>(&shape)) {
      item.Kind = TPlanItem::Rectangle;
      item.Fill = rect->UseFill() && rect->FillAlpha() > 0;
      item.FillColour = Rgba(rect->FillColor(), rect->FillAlpha(), shape.MasterAlpha());
      item.LineWidth = rect->UseOutline() ? rect->OutlineWidth() : 0;
      item.LineColour = Rgba(rect->OutlineColor(), 255, shape.MasterAlpha());
    } else if (const auto* memo = dynamic_cast<const TdtpMemoShape*>(&shape)) {
      item.Kind = TPlanItem::Text;
      for (const std::u16string& line : memo->Lines()) item.Lines.push_back(Utf16ToUtf8(line));
      item.FontName = memo->FontName();
      item.FontSize = memo->FontHeight();
      item.Bold = memo->Bold();
      item.Italic = memo->Italic();
      item.FillColour = Rgba(memo->FontColor(), 255, shape.MasterAlpha());
    } else if (dynamic_cast<const TdtpBitmapShape*>(&shape)) {
      // The copy's shapes are the nine layers in order; only the user's picture holds a picture.
      if (i >= kLayerCount || AllLayers()[static_cast<size_t>(i)] != TLayer::usrImage) continue;
      item.Kind = TPlanItem::Picture;
    } else {
      continue;
    }
    plan.Items.push_back(std::move(item));
  }
  return plan;
}

// The JPEG decoded by libjpeg-turbo straight into a cairo picture.
cairo_surface_t* DecodeForCairo(const std::vector<uint8_t>& jpeg) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&info);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(info.output_width),
                                                      static_cast<int>(info.output_height));
  cairo_surface_flush(image);
  uint8_t* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = data + static_cast<ptrdiff_t>(info.output_scanline) * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  cairo_surface_mark_dirty(image);
  return image;
}

void DrawItem(cairo_t* cr, const TPlanItem& item, cairo_surface_t* photo) {
  cairo_save(cr);
  cairo_transform(cr, &item.Frame.Matrix);
  const double w = item.Frame.Width, h = item.Frame.Height;
  switch (item.Kind) {
    case TPlanItem::Rectangle:
      cairo_rectangle(cr, 0, 0, w, h);
      if (item.Fill) {
        cairo_set_source_rgba(cr, item.FillColour.R, item.FillColour.G, item.FillColour.B, item.FillColour.A);
        cairo_fill_preserve(cr);
      }
      if (item.LineWidth > 0) {
        cairo_set_source_rgba(cr, item.LineColour.R, item.LineColour.G, item.LineColour.B, item.LineColour.A);
        cairo_set_line_width(cr, item.LineWidth);
        cairo_stroke(cr);
      }
      cairo_new_path(cr);
      break;
    case TPlanItem::Picture:
      cairo_scale(cr, w / cairo_image_surface_get_width(photo), h / cairo_image_surface_get_height(photo));
      cairo_set_source_surface(cr, photo, 0, 0);
      cairo_paint(cr);
      break;
    case TPlanItem::Text: {
      cairo_select_font_face(cr, item.FontName.c_str(), item.Italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                             item.Bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
      cairo_set_font_size(cr, item.FontSize);
      cairo_set_source_rgba(cr, item.FillColour.R, item.FillColour.G, item.FillColour.B, item.FillColour.A);
      cairo_font_extents_t font;
      cairo_font_extents(cr, &font);
      double baseline = font.ascent;
      for (const std::string& line : item.Lines) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, line.c_str(), &extents);
        cairo_move_to(cr, (w - extents.x_advance) / 2, baseline);
        cairo_show_text(cr, line.c_str());
        baseline += font.height;
      }
      break;
    }
  }
  cairo_restore(cr);
}

// The sheet into cairo's PDF surface; with embedJpeg the picture carries its JPEG bytes, which
// cairo then writes as they are instead of compressing the pixels.
void PrintCairo(const TSheetPlan& plan, const std::vector<uint8_t>& jpeg, bool embedJpeg, int dpi,
                const std::string& file) {
  cairo_surface_t* photo = DecodeForCairo(jpeg);
  if (embedJpeg) {
    cairo_surface_set_mime_data(photo, CAIRO_MIME_TYPE_JPEG, jpeg.data(), jpeg.size(), nullptr, nullptr);
  }
  constexpr double kPointsPerMm = 72 / 25.4;
  cairo_surface_t* surface =
      cairo_pdf_surface_create(file.c_str(), plan.PaperWidth * kPointsPerMm, plan.PaperHeight * kPointsPerMm);
  cairo_surface_set_fallback_resolution(surface, dpi, dpi);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, kPointsPerMm, kPointsPerMm);
  for (const TFrame& copy : plan.Copies) {
    cairo_save(cr);
    cairo_transform(cr, &copy.Matrix);
    cairo_rectangle(cr, copy.Cell.Left, copy.Cell.Top, copy.Cell.Right - copy.Cell.Left, copy.Cell.Bottom - copy.Cell.Top);
    cairo_clip(cr);
    for (const TPlanItem& item : plan.Items) DrawItem(cr, item, photo);
    cairo_restore(cr);
  }
  cairo_show_page(cr);
  const bool failed = cairo_status(cr) != CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  cairo_surface_destroy(photo);
  if (failed) throw std::runtime_error("cairo could not draw the sheet");
}

// The plan from a design built as ours is, then everything of ours freed again.
const TSheetPlan& Plan() {
  static const TSheetPlan plan = [] {
    TEngine engine;
    TMagnetDesign magnet(engine.Services);
    MakeDesign(magnet, PhotoFile());
    return PlanSheet(magnet, engine.Services);
  }();
  return plan;
}

void BM_MagnetPrintCairo(benchmark::State& state, bool embedJpeg) {
  const int dpi = static_cast<int>(state.range(0));
  const TSheetPlan& plan = Plan();
  if (plan.Copies.size() != 10 || plan.Items.size() < 5) {
    state.SkipWithError("the sheet to draw is not the ten business cards");
    return;
  }
  const TAlone alone = MeasureAlone(
      [&](const std::string& file) { PrintCairo(plan, ReadFileBytes(PhotoFile()), embedJpeg, dpi, file); },
      std::string(embedJpeg ? "cairo_jpeg_" : "cairo_") + std::to_string(dpi));
  if (alone.PeakMb == 0) state.SkipWithError("cairo failed in its child process");
  const std::vector<uint8_t> jpeg = ReadFileBytes(PhotoFile());
  const std::string file = TempName("cairo_timed.pdf");
  for (auto _ : state) PrintCairo(plan, jpeg, embedJpeg, dpi, file);
  std::remove(file.c_str());
  state.counters["peak_MB"] = alone.PeakMb;
  state.counters["base_MB"] = alone.BaseMb;
  state.counters["file_KB"] = alone.FileBytes / 1024;
}

void BM_MagnetPrintCairoPixels(benchmark::State& state) { BM_MagnetPrintCairo(state, false); }
void BM_MagnetPrintCairoJpeg(benchmark::State& state) { BM_MagnetPrintCairo(state, true); }

BENCHMARK(BM_MagnetPrintCairoPixels)
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(2);
BENCHMARK(BM_MagnetPrintCairoJpeg)
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(2);

#endif

}  // namespace

BENCHMARK_MAIN();
