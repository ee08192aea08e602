// stickwell-cli magnet: magnet templates and designs without the window. info, layout and sheet
// show what a file holds and where its copies go; print and guide print the sheet as the print tab
// does; design, template and artwork (tools/cmd_magnet_build.cpp) make the files.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "engine/document.h"
#include "magnet/guide_sheet.h"
#include "magnet/magnet_design.h"
#include "magnet/merge_table.h"
#include "magnet/used_positions.h"
#include "platform/settings.h"
#include "magnet/print_run.h"
#include "magnet/print_sheet.h"
#include "platform/dialogs.h"
#include "platform/fonts.h"
#include "platform/pdf_printer.h"
#include "platform/png_printer.h"
#include "shapes/bitmap_shape.h"
#include "storage/xml/native_xml.h"
#include "tools/commands.h"
#include "tools/magnet_options.h"

namespace sw::cli {

namespace {

constexpr char kMagnetUsage[] =
    "magnet info|layout|sheet|print|guide|design|template|artwork (see stickwell-cli --help)";
constexpr double kMaxSheetDpi = 1200;
constexpr float kMaxNumber = 1e6f;

// Position numbers "3,7" left blank on the sheet (numbered row x columns + column + 1).
std::vector<int32_t> ParseSkips(const std::string& text) {
  std::vector<int32_t> skips;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(',', start), text.size());
    skips.push_back(ParsePositiveInt(text.substr(start, end - start), "--skip"));
    start = end + 1;
  }
  return skips;
}

// Loads FILE into the design as "load design" does.
void OpenMagnet(TMagnetDesign& magnet, const std::string& fileName) {
  magnet.OpenDesign(fileName);
}

void PrintInfo(TMagnetDesign& magnet) {
  const TPrintSettings& s = magnet.PrintSettings();
  const TdtpDocument& doc = magnet.Document();
  const float m = magnet.BleedMargin();
  std::printf("template name\t%s\n", magnet.TemplateName().c_str());
  std::printf("template type\t%s\n", magnet.TemplateType().c_str());
  const std::string version = magnet.StoredPageParams().Value("template version");
  std::printf("template version\t%s\n", version.empty() ? "none (an older template of five layers)" : version.c_str());
  std::printf("page\t%s x %s mm\n", FormatDecimal(doc.PageWidth()).c_str(), FormatDecimal(doc.PageHeight()).c_str());
  std::printf("bleed margin\t%s\n", FormatDecimal(m).c_str());
  std::printf("net size\t%s x %s mm\n", FormatDecimal(doc.PageWidth() - 2 * m).c_str(),
              FormatDecimal(doc.PageHeight() - 2 * m).c_str());
  std::printf("paper\t%d x %d mm\n", s.PaperWidth, s.PaperHeight);
  std::printf("outer margins\t%s, %s\n", FormatDecimal(s.OuterMarginX).c_str(), FormatDecimal(s.OuterMarginY).c_str());
  std::printf("inner margins\t%s, %s\n", FormatDecimal(s.InnerMarginX).c_str(), FormatDecimal(s.InnerMarginY).c_str());
  std::printf("orientation\t%s\n", s.Portrait ? "portrait" : "landscape");
  std::printf("paper type\t%s\n", s.Precut ? "precut" : "uncut");
  if (!magnet.MergeFileName().empty()) {
    std::printf("merge file\t%s\n", magnet.MergeFileName().c_str());
    if (!magnet.MergePictureColumn().empty()) std::printf("merge picture\t%s\n", magnet.MergePictureColumn().c_str());
  }
  for (const TLayer layer : AllLayers()) {
    const TdtpShape* shape = magnet.Layer(layer);
    if (!shape) {
      std::printf("%s\tabsent\n", LayerName(layer));
      continue;
    }
    std::printf("%s\t%d\t%s\t%s\talpha %u\t%s,%s %sx%s\tangle %s", LayerName(layer), shape->ShapeIndex(),
                shape->ClassName(), shape->Visible() ? "visible" : "hidden", shape->MasterAlpha(),
                FormatDecimal(shape->DocLeft()).c_str(), FormatDecimal(shape->DocTop()).c_str(),
                FormatDecimal(shape->DocWidth()).c_str(), FormatDecimal(shape->DocHeight()).c_str(),
                FormatDecimal(shape->DocAngle()).c_str());
    if (const TDesignObject* object = magnet.LayerObject(layer); object && LayerClass(layer) == TLayerClass::Bitmap) {
      std::printf("\tzoom reference %sx%s", FormatDecimal(object->ZoomWidth).c_str(),
                  FormatDecimal(object->ZoomHeight).c_str());
    }
    std::printf("\n");
  }
}

void PrintLayout(const TPrintLayout& layout, TMagnetDesign& magnet) {
  const TPrintSettings& s = magnet.PrintSettings();
  const TLayoutGrid& grid = magnet.Grid();
  std::printf("%d columns x %d rows\n", layout.Columns, layout.Rows);
  if (layout.Capped) std::printf("%s\n", layout.Message.c_str());
  for (const TPrintPosition& p : layout.Positions) {
    // The net area of the copy, the same in both orientations.
    const float x = s.OuterMarginX + static_cast<float>(p.Column) * layout.PitchX;
    const float y = s.OuterMarginY + static_cast<float>(p.GridRow) * layout.PitchY;
    std::printf("%d\tcolumn %d\trow %d\t%s\tat %s,%s\tangle %s\tnet %s,%s %sx%s\n",
                grid.PositionNumber(p.Column, p.GridRow), p.Column, p.GridRow,
                grid.Selected(p.Column, p.GridRow) ? "printed" : "skipped", FormatDecimal(p.Left).c_str(),
                FormatDecimal(p.Top).c_str(), FormatDecimal(p.Angle).c_str(), FormatDecimal(x).c_str(),
                FormatDecimal(y).c_str(), FormatDecimal(layout.CopyWidth).c_str(),
                FormatDecimal(layout.CopyHeight).c_str());
  }
}

// A bar of the job's progress on standard error, redrawn in place, when that is a terminal.
class TBarProgress : public IProgress {
public:
  TBarProgress() : shown_(::isatty(STDERR_FILENO) == 1) {}
  ~TBarProgress() override {
    if (drawn_) std::fputc('\n', stderr);
  }
  TBarProgress(const TBarProgress&) = delete;
  TBarProgress& operator=(const TBarProgress&) = delete;
  void SetPosition(int32_t done) override {
    if (!shown_) return;
    constexpr int kWidth = 40;
    const int filled = std::clamp(done, 0, 100) * kWidth / 100;
    std::fprintf(stderr, "\rprinting [%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), std::clamp(done, 0, 100));
    std::fflush(stderr);
    drawn_ = true;
  }
  bool Cancelled() const override { return false; }

private:
  bool shown_;
  bool drawn_ = false;
};

// The file printer of OUT.pdf or OUT.png on the design's paper at --dpi (300 by default).
struct TOutputPrinter {
  std::unique_ptr<IPrinter> Printer;
  TPngPrinter* Png = nullptr;
  std::string FileName;

  void Report() const {
    if (Png) {
      for (const std::string& file : Png->Files()) std::printf("%s\n", file.c_str());
    } else {
      std::printf("%s\n", FileName.c_str());
    }
  }
};

TOutputPrinter OpenOutput(const std::string& out, TOptionReader& options, const TMagnetDesign& magnet) {
  const std::string ext = LowerCase(ExtractFileExt(out));
  if (ext != ".pdf" && ext != ".png") UsageError("the sheet is written to OUT.pdf or OUT.png, got \"" + out + "\"");
  TFilePrinterSettings settings;
  settings.Dpi = 300;
  if (const auto dpi = options.Value("--dpi")) {
    settings.Dpi = ParsePositiveInt(*dpi, "--dpi");
    if (settings.Dpi < kMinPrinterDpi || settings.Dpi > kMaxPrinterDpi) {
      UsageError(Format("--dpi goes from %d to %d", kMinPrinterDpi, kMaxPrinterDpi));
    }
  }
  settings.PaperWidth = static_cast<float>(magnet.PrintSettings().PaperWidth);
  settings.PaperHeight = static_cast<float>(magnet.PrintSettings().PaperHeight);
  TOutputPrinter output;
  output.FileName = out;
  if (ext == ".pdf") {
    output.Printer = std::make_unique<TPdfPrinter>(out, settings);
  } else {
    auto png = std::make_unique<TPngPrinter>(out, settings);
    output.Png = png.get();
    output.Printer = std::move(png);
  }
  return output;
}

// qualityGiven tells whether --quality was among the options.
TPrintRunOptions ReadRunOptions(TOptionReader& options, bool& qualityGiven) {
  TPrintRunOptions run;
  if (const auto offset = options.Value("--offset")) {
    ParsePair(*offset, "--offset", run.OffsetX, run.OffsetY);
    if (std::fabs(run.OffsetX) > kMaxPrintOffset || std::fabs(run.OffsetY) > kMaxPrintOffset) {
      UsageError("--offset goes up to " + FormatDecimal(kMaxPrintOffset) + " mm each way");
    }
  }
  const auto quality = options.Value("--quality");
  qualityGiven = quality.has_value();
  if (quality) run.Quality = ParseQuality(*quality);
  return run;
}

// The merge of magnet print: --merge FILE (else the design's own merge file), --merge-picture
// COLUMN, --copies N and --start N; the table read before anything prints.
struct TMergeOptions {
  std::optional<TMergeTable> Table;
  TMergeRunOptions Run;
  bool StartSet = false;
};

// After a print with --skip-used: what the sheet has used now is kept, and said.
void RecordUsed(ISettings* settings, const TMagnetDesign& magnet, const std::vector<int32_t>& used,
                const std::vector<int32_t>& printed, bool sameSheet, int32_t positions) {
  const std::vector<int32_t> now = UsedAfterPrint(used, printed, sameSheet, positions);
  SetUsedPositions(settings, magnet, now);
  if (now.empty()) {
    std::printf("the sheet is used up: the next --skip-used print takes a fresh one\n");
  } else {
    std::printf("%zu of %d positions of the sheet are used: the next --skip-used print leaves them out\n",
                now.size(), positions);
  }
}

TMergeOptions ReadMergeOptions(TOptionReader& options, TMagnetDesign& magnet) {
  TMergeOptions merge;
  const auto file = options.Value("--merge");
  const auto picture = options.Value("--merge-picture");
  const auto copies = options.Value("--copies");
  const auto start = options.Value("--start");
  if (file) magnet.SetMerge(*file, picture.value_or(""));
  if (picture && !file) {
    if (magnet.MergeFileName().empty()) UsageError("--merge-picture names a column of the --merge file");
    magnet.SetMerge(magnet.MergeFileName(), *picture);
  }
  if (magnet.MergeFileName().empty()) {
    if (copies || start) UsageError("--copies and --start are for a print with --merge FILE.csv");
    return merge;
  }
  if (copies) {
    merge.Run.Copies = ParsePositiveInt(*copies, "--copies");
    if (merge.Run.Copies > kMaxMergeCopies) UsageError(Format("--copies goes up to %d", kMaxMergeCopies));
  }
  if (start) merge.Run.StartPosition = ParsePositiveInt(*start, "--start");
  merge.StartSet = start.has_value();
  merge.Table = TMergeTable::Load(magnet.MergeFileName());
  return merge;
}

}  // namespace

// --- Shared by the magnet verbs ---

namespace {

// Every option of the magnet verbs that stands alone; any other "--" option takes the next
// argument as its value, whatever that looks like (a message may well start with "--").
bool IsMagnetFlag(const std::string& word) {
  static const char* const kFlags[] = {"--landscape", "--portrait", "--uncut",       "--precut",    "--bold",
                                       "--italic",    "--see-through", "--border", "--clock-marks", "--skip-used"};
  for (const char* flag : kFlags) {
    if (word == flag) return true;
  }
  return false;
}

}  // namespace

TOptionReader::TOptionReader(const Args& args, size_t first) {
  for (size_t i = std::min(first, args.size()); i < args.size(); ++i) {
    TEntry entry;
    entry.Name = args[i];
    if (entry.Name.rfind("--", 0) == 0 && !IsMagnetFlag(entry.Name)) {
      if (i + 1 >= args.size()) UsageError("option \"" + entry.Name + "\" wants a value");
      entry.Value = args[++i];
    }
    entries_.push_back(std::move(entry));
  }
}

bool TOptionReader::Flag(const std::string& name) {
  bool found = false;
  for (TEntry& entry : entries_) {
    if (!entry.Used && !entry.Value && entry.Name == name) entry.Used = found = true;
  }
  return found;
}

std::optional<std::string> TOptionReader::Value(const std::string& name) {
  std::optional<std::string> value;
  for (TEntry& entry : entries_) {
    if (entry.Used || !entry.Value || entry.Name != name) continue;
    entry.Used = true;
    value = entry.Value;  // the last one given counts
  }
  return value;
}

void TOptionReader::Finish() const {
  for (const TEntry& entry : entries_) {
    if (entry.Used) continue;
    if (entry.Name.rfind("--", 0) == 0) UsageError("unknown option \"" + entry.Name + "\"");
    UsageError("unexpected argument \"" + entry.Name + "\"");
  }
}

float ParseNumber(const std::string& text, const std::string& option) {
  const std::optional<double> value = TryParseDecimal(text);
  if (!value || std::fabs(*value) > kMaxNumber) UsageError(option + " wants a number, got \"" + text + "\"");
  return static_cast<float>(*value);
}

void ParsePair(const std::string& text, const std::string& option, float& a, float& b) {
  // "x" always separates; "," separates unless the text has a "x" (then it is a decimal comma).
  size_t cut = text.find('x');
  if (cut == std::string::npos) cut = text.find(',');
  const std::optional<double> first = cut == std::string::npos ? std::nullopt : TryParseDecimal(text.substr(0, cut));
  const std::optional<double> second = cut == std::string::npos ? std::nullopt : TryParseDecimal(text.substr(cut + 1));
  if (!first || !second || std::fabs(*first) > kMaxNumber || std::fabs(*second) > kMaxNumber) {
    UsageError(option + " wants two numbers such as 15,23, got \"" + text + "\"");
  }
  a = static_cast<float>(*first);
  b = static_cast<float>(*second);
}

int32_t ParseWhole(const std::string& text, const std::string& option) {
  const std::optional<double> value = TryParseDecimal(text);
  if (!value || std::fabs(*value) > kMaxNumber || *value != std::floor(*value)) {
    UsageError(option + " wants a whole number, got \"" + text + "\"");
  }
  return static_cast<int32_t>(*value);
}

TRgbColor ParseRgb(const std::string& text, const std::string& option) {
  if (text.size() != 7 || text[0] != '#' || text.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos) {
    UsageError(option + " wants a colour as #RRGGBB, got \"" + text + "\"");
  }
  return static_cast<int32_t>(std::stoul(text.substr(1), nullptr, 16));
}

TdtpColor ParseColour(const std::string& text, const std::string& option) { return ColorOf(ParseRgb(text, option)); }

std::vector<int32_t> ReadLayoutOptions(TOptionReader& options, TMagnetDesign& magnet) {
  float a = 0, b = 0;
  if (const auto paper = options.Value("--paper")) {
    ParsePair(*paper, "--paper", a, b);
    if (a < 1 || b < 1 || a > kMaxPaperSide || b > kMaxPaperSide) {
      UsageError(Format("--paper wants a size from 1x1 to %gx%g mm", kMaxPaperSide, kMaxPaperSide));
    }
    magnet.SetPaperWidth(static_cast<int32_t>(std::lround(a)));
    magnet.SetPaperHeight(static_cast<int32_t>(std::lround(b)));
  }
  if (const auto outer = options.Value("--outer")) {
    ParsePair(*outer, "--outer", a, b);
    magnet.SetOuterMarginX(a);
    magnet.SetOuterMarginY(b);
  }
  if (const auto inner = options.Value("--inner")) {
    ParsePair(*inner, "--inner", a, b);
    magnet.SetInnerMarginX(a);
    magnet.SetInnerMarginY(b);
  }
  std::optional<bool> portrait, precut;
  if (const auto orientation = options.Value("--orientation")) {
    if (*orientation != "portrait" && *orientation != "landscape") {
      UsageError("--orientation is portrait or landscape");
    }
    portrait = *orientation == "portrait";
  }
  if (const auto type = options.Value("--paper-type")) {
    if (*type != "precut" && *type != "uncut") UsageError("--paper-type is precut or uncut");
    precut = *type == "precut";
  }
  const bool landscapeFlag = options.Flag("--landscape"), portraitFlag = options.Flag("--portrait");
  const bool uncutFlag = options.Flag("--uncut"), precutFlag = options.Flag("--precut");
  if (landscapeFlag && portraitFlag) UsageError("--landscape and --portrait exclude each other");
  if (uncutFlag && precutFlag) UsageError("--uncut and --precut exclude each other");
  if (landscapeFlag || portraitFlag) portrait = portraitFlag;
  if (uncutFlag || precutFlag) precut = precutFlag;
  if (portrait) magnet.SetPortrait(*portrait);
  if (precut) magnet.SetPrecut(*precut);
  std::vector<int32_t> skips;
  if (const auto skip = options.Value("--skip")) skips = ParseSkips(*skip);
  return skips;
}

TPrintLayout LayOut(TMagnetDesign& magnet, TPrintSheet& sheet, const std::vector<int32_t>& skips) {
  TPrintLayout layout = sheet.BuildPrintLayout(magnet);
  if (skips.empty()) return layout;
  TLayoutGrid& grid = magnet.Grid();
  for (const int32_t number : skips) {
    if (number > grid.Rows() * grid.Columns()) {
      RaiseError(Format("Position %d is not on the sheet (it has %d)", number, grid.Rows() * grid.Columns()));
    }
    grid.SetSelected((number - 1) % grid.Columns(), (number - 1) / grid.Columns(), false);
  }
  return sheet.BuildPrintLayout(magnet);
}

int CmdMagnet(const Args& args, ISettings* settings) {
  if (args.size() < 2) UsageError(std::string("magnet wants ") + kMagnetUsage);
  const std::string verb = args[0];
  const Args rest(args.begin() + 1, args.end());
  if (verb == "design") return CmdMagnetDesign(rest);
  if (verb == "template") return CmdMagnetTemplate(rest);
  if (verb == "artwork") return CmdMagnetArtwork(rest);
  std::unique_ptr<TFontSystem> fonts = TFontSystem::CreateForMachine();
  TServices services;
  services.Fonts = fonts.get();
  TMagnetDesign magnet(services);
  if (verb == "info") {
    if (rest.size() != 1) UsageError("magnet info wants FILE only");
    OpenMagnet(magnet, rest[0]);
    PrintInfo(magnet);
    return 0;
  }
  TPrintSheet sheet(services);
  if (verb == "layout") {
    OpenMagnet(magnet, rest[0]);
    TOptionReader options(rest, 1);
    const std::vector<int32_t> skips = ReadLayoutOptions(options, magnet);
    options.Finish();
    PrintLayout(LayOut(magnet, sheet, skips), magnet);
    return 0;
  }
  if (verb == "sheet") {
    if (rest.size() < 2) UsageError("magnet sheet wants FILE OUT.png");
    OpenMagnet(magnet, rest[0]);
    TOptionReader options(rest, 2);
    double dpi = 150;
    if (const auto value = options.Value("--dpi")) {
      dpi = ParsePositiveNumber(*value, "--dpi");
      if (dpi > kMaxSheetDpi) UsageError(Format("--dpi goes up to %g", kMaxSheetDpi));
    }
    const std::vector<int32_t> skips = ReadLayoutOptions(options, magnet);
    options.Finish();
    const TPrintLayout layout = LayOut(magnet, sheet, skips);
    TdtpDocument& preview = sheet.Document();
    const std::unique_ptr<TBitmap32> picture = preview.RenderPage(*preview.CurrentPage(), DpmOfDpi(dpi));
    if (picture->Empty()) RaiseError("The sheet has no area to render");
    WritePng(*picture, rest[1]);
    std::printf("%d columns x %d rows, %d copies, %dx%d pixels\n", layout.Columns, layout.Rows,
                preview.ShapeCount(), picture->Width(), picture->Height());
    return 0;
  }
  if (verb == "print" || verb == "guide") {
    if (rest.size() < 2) UsageError("magnet " + verb + " wants FILE OUT.pdf|OUT.png");
    OpenMagnet(magnet, rest[0]);
    TOptionReader options(rest, 2);
    const std::vector<int32_t> skips = ReadLayoutOptions(options, magnet);
    bool qualityGiven = false;
    TPrintRunOptions run = ReadRunOptions(options, qualityGiven);
    TMergeOptions merge = verb == "print" ? ReadMergeOptions(options, magnet) : TMergeOptions{};
    const bool skipUsed = verb == "print" && options.Flag("--skip-used");
    TOutputPrinter output = OpenOutput(rest[1], options, magnet);
    // Without --quality the sheet renders as finely as the printer prints, up to high (600 dpi):
    // --dpi 600 alone should not print a 300-dpi render stretched twice.
    if (!qualityGiven) run.Quality = PrintQualityForDpi(output.Printer->Sheet().DpiY);
    options.Finish();
    TBarProgress progress;
    if (verb == "print" && merge.Table) {
      const TPrintLayout layout = LayOut(magnet, sheet, skips);
      const int32_t positions = layout.Columns * layout.Rows;
      const std::vector<int32_t> used = skipUsed ? UsedPositions(settings, magnet) : std::vector<int32_t>{};
      if (skipUsed && merge.StartSet) UsageError("--start and --skip-used both say where the print starts: give one");
      merge.Run.Used = used;
      const TMergeRunResult result = RunMergePrint(magnet, sheet, *merge.Table, *output.Printer, run, merge.Run, &progress);
      output.Report();
      std::printf("%d columns x %d rows, %d rows x %d copies on %d sheet%s\n", layout.Columns, layout.Rows,
                  merge.Table->RowCount(), merge.Run.Copies, result.Sheets, result.Sheets == 1 ? "" : "s");
      if (skipUsed) {
        RecordUsed(settings, magnet, used, result.LastSheet, result.Sheets == 1, positions);
      } else if (result.LastPosition < positions) {
        std::printf("the last sheet is used up to position %d: --start %d prints on the rest of it\n",
                    result.LastPosition, result.LastPosition + 1);
      }
    } else if (verb == "print") {
      TPrintLayout layout = LayOut(magnet, sheet, skips);
      const int32_t positions = layout.Columns * layout.Rows;
      const std::vector<int32_t> used = skipUsed ? UsedPositions(settings, magnet) : std::vector<int32_t>{};
      if (DeselectPositions(magnet.Grid(), used)) layout = sheet.BuildPrintLayout(magnet);
      RunMagnetPrint(magnet, sheet, *output.Printer, run, &progress);
      output.Report();
      std::printf("%d columns x %d rows, %d copies\n", layout.Columns, layout.Rows, PrintedCopyCount(sheet));
      if (skipUsed) RecordUsed(settings, magnet, used, PrintedPositions(magnet.Grid()), true, positions);
    } else {
      if (!skips.empty()) UsageError("magnet guide shows every position; --skip does not apply");
      PrintGuideSheet(magnet, *output.Printer, run, &progress);
      output.Report();
    }
    return 0;
  }
  UsageError("unknown magnet verb \"" + verb + "\"");
}

}  // namespace sw::cli
