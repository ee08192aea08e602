#include "magnet/print_run.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "magnet/merge_table.h"
#include "magnet/param_list.h"
#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"

namespace sw {

namespace {

// The sheet's size in millimetres; raises when the printer reports no usable sheet.
std::pair<float, float> SheetMillimetres(const TPrinterSheet& sheet) {
  if (sheet.Width <= 0 || sheet.Height <= 0 || sheet.DpiX <= 0 || sheet.DpiY <= 0) {
    RaiseError("The printer reports no paper size");
  }
  return {static_cast<float>(sheet.Width * kMmPerInch / sheet.DpiX), static_cast<float>(sheet.Height * kMmPerInch / sheet.DpiY)};
}

void CheckPaper(const TPrinterSheet& sheet, float paperWidth, float paperHeight, float tolerance) {
  const auto [w, h] = SheetMillimetres(sheet);
  auto near = [tolerance](float a, float b) { return std::fabs(a - b) <= tolerance; };
  if ((near(w, paperWidth) && near(h, paperHeight)) || (near(w, paperHeight) && near(h, paperWidth))) return;
  RaiseError("The printer's paper is " + FormatDecimal(w) + " x " + FormatDecimal(h) + " mm, the layout is for " +
             FormatDecimal(paperWidth) + " x " + FormatDecimal(paperHeight) + " mm");
}

// One job of several sheets through a printer that prints every sheet as a job of its own: the
// first sheet begins the job, every later one is a new page of it, and only Finish ends it.
class TSheetJob : public IPrinter {
public:
  explicit TSheetJob(IPrinter& printer) : printer_(printer) {}
  TPrinterSheet Sheet() const override { return printer_.Sheet(); }
  void BeginDoc(const std::string& title) override {
    if (begun_) {
      printer_.NewPage();
    } else {
      printer_.BeginDoc(title);
      begun_ = true;
    }
  }
  void NewPage() override { printer_.NewPage(); }
  void EndDoc() override {}
  void Abort() override {
    begun_ = false;
    printer_.Abort();
  }
  bool Printing() const override { return printer_.Printing(); }
  void StretchBand(const TRect& dest, const TBitmap32& band) override { printer_.StretchBand(dest, band); }
  void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                    const TRect& clip) override {
    printer_.PlacePicture(x, y, picture, clip);
  }
  void Finish() {
    if (begun_) printer_.EndDoc();
    begun_ = false;
  }

private:
  IPrinter& printer_;
  bool begun_ = false;
};

// The progress of one sheet of several as a share of the whole job.
class TSheetProgress : public IProgress {
public:
  TSheetProgress(IProgress& job, int32_t sheet, int32_t sheets) : job_(job), sheet_(sheet), sheets_(sheets) {}
  void SetPosition(int32_t done) override {
    job_.SetPosition(static_cast<int32_t>((static_cast<int64_t>(sheet_) * 100 + done) / sheets_));
  }
  bool Cancelled() const override { return job_.Cancelled(); }

private:
  IProgress& job_;
  int32_t sheet_, sheets_;
};

// What a merged row changes in its copy of the design page: the message's fields and the user's
// picture, sized and placed as the design's own picture is.
class TMergeFill {
public:
  TMergeFill(TMagnetDesign& design, const TMergeTable& table) : table_(table) {
    if (const TdtpMemoShape* memo = design.TextLayer()) {
      message_ = Utf16ToUtf8(memo->Text());
      if (!MessageFields(message_).empty() || message_.find("$$") != std::string::npos) {
        textIndex_ = memo->ShapeIndex();
      }
      CheckMessageFields(message_, table);
    }
    const std::string& column = design.MergePictureColumn();
    if (column.empty()) return;
    pictureColumn_ = table.ColumnIndex(column);
    if (pictureColumn_ < 0) {
      RaiseError("The picture column " + QuoteForMessage(column) + " is not a column of the merge file");
    }
    const TdtpBitmapShape* picture = design.BitmapLayer(TLayer::usrImage);
    if (!picture) RaiseError("The design has no picture layer for the merge's pictures");
    imageIndex_ = picture->ShapeIndex();
    const TDesignObject* entry = design.LayerObject(TLayer::usrImage);
    const float pageWidth = design.Document().PageWidth(), pageHeight = design.Document().PageHeight();
    if (picture->Visible() && entry && entry->ZoomWidth > 0) {
      zoom_ = picture->DocWidth() / entry->ZoomWidth;
      centre_ = picture->LocalToParent({picture->DocWidth() / 2, picture->DocHeight() / 2});
      angle_ = picture->DocAngle();
    } else {
      // A design without a picture of its own: the rows' pictures go where a loaded one would.
      centre_ = {pageWidth / 2, pageHeight / 2};
    }
    for (int32_t row = 0; row < table.RowCount(); ++row) {
      const std::string& name = table.Row(row)[static_cast<size_t>(pictureColumn_)];
      if (name.empty()) continue;
      std::error_code error;
      if (!std::filesystem::is_regular_file(table.ResolvePath(name), error)) {
        RaiseError(Where(row) + ": the picture " + QuoteForMessage(table.ResolvePath(name), 120) + " is not there");
      }
    }
  }

  void operator()(int32_t row, TdtpPage& page) const {
    if (textIndex_ >= 0) {
      if (auto* memo = dynamic_cast<TdtpMemoShape*>(page.Child(textIndex_))) {
        memo->SetText(Utf8ToUtf16(FillMessageFields(message_, table_, row)));
      }
    }
    if (pictureColumn_ < 0) return;
    const std::string& name = table_.Row(row)[static_cast<size_t>(pictureColumn_)];
    auto* picture = dynamic_cast<TdtpBitmapShape*>(page.Child(imageIndex_));
    if (name.empty() || !picture) return;
    try {
      // Proved a picture by its header: the print decodes it at the size it lays it, and a
      // decode here too would nearly double the work of every row.
      picture->Resource().LoadFromFile(table_.ResolvePath(name), TdtpResource::TLoadProof::Header);
    } catch (const Exception& e) {
      RaiseError(Where(row) + ": " + e.Message());
    }
    // Decoded again when its copy is painted: a sheet of photos keeps one decoded at a time.
    picture->Resource().ReleaseBitmap();
    // Covering the page with its proportions kept is zoom 100 %, as for a picture the user loads.
    const double iw = picture->DocWidth(), ih = picture->DocHeight();
    const double pw = page.DocWidth(), ph = page.DocHeight();
    double w = pw, h = ph;
    const double r = (ih / ph) / (iw / pw);
    if (std::isfinite(r) && r > 0) {
      if (r >= 1) {
        h = r * ph;
      } else {
        w = pw / r;
      }
    }
    w *= zoom_;
    h *= zoom_;
    picture->SetAngle(0);
    picture->SetWidth(static_cast<float>(w));
    picture->SetHeight(static_cast<float>(h));
    picture->SetLeft(static_cast<float>(centre_.X - w / 2));
    picture->SetTop(static_cast<float>(centre_.Y - h / 2));
    if (angle_ != 0) picture->RotateAboutCentre(angle_);
    picture->SetVisible(true);
  }

private:
  // The row's picture cell, for messages.
  std::string Where(int32_t row) const {
    const std::string file =
        table_.FileName().empty() ? "The merge file" : "The merge file " + QuoteForMessage(table_.FileName(), 120);
    return Format("%s, row %d, column %s", file.c_str(), row + 1,
                  QuoteForMessage(table_.Columns()[static_cast<size_t>(pictureColumn_)]).c_str());
  }

  const TMergeTable& table_;
  std::string message_;
  int32_t textIndex_ = -1;
  int32_t pictureColumn_ = -1;
  int32_t imageIndex_ = -1;
  float zoom_ = 0.25f;
  TFloatPoint centre_{};
  float angle_ = 0;
};

// Which row goes where: the selected positions (and the used ones, printed from the second sheet
// on) in number order, those the first sheet has free, and the number of sheets the rows take.
struct TMergePlan {
  std::vector<int32_t> Numbers, First;
  int64_t Slots = 0;
  int32_t Sheets = 0;
  int32_t Copies = 1;

  // The content of each position of sheet s (-1: blank), and the positions filled.
  std::vector<int32_t> Contents(int32_t s, std::vector<int32_t>& placed) const {
    std::vector<int32_t> contents(static_cast<size_t>(Numbers.back()), -1);
    placed.clear();
    int64_t slot =
        s == 0 ? 0 : static_cast<int64_t>(First.size()) + int64_t{s - 1} * static_cast<int64_t>(Numbers.size());
    for (const int32_t number : s == 0 ? First : Numbers) {
      if (slot >= Slots) break;
      contents[static_cast<size_t>(number - 1)] = static_cast<int32_t>(slot++ / Copies);
      placed.push_back(number);
    }
    return contents;
  }
};

// Checks what the merge needs and plans it from a layout of the design alone.
TMergePlan PlanMerge(TMagnetDesign& design, TPrintSheet& sheet, const TMergeTable& table,
                     const TMergeRunOptions& merge) {
  if (!design.DesignLoaded()) RaiseError("There is no design to print");
  if (table.RowCount() == 0) RaiseError("The merge file has no rows to print");
  if (merge.Copies < 1 || merge.Copies > kMaxMergeCopies) {
    RaiseError(Format("A merge prints 1 to %d copies of each row", kMaxMergeCopies));
  }
  const TPrintLayout layout = sheet.BuildPrintLayout(design);
  const TLayoutGrid& grid = design.Grid();
  TMergePlan plan;
  plan.Copies = merge.Copies;
  // The selected positions in the order of their numbers, whichever way the sheet is turned.
  for (const TPrintPosition& p : layout.Positions) {
    const int32_t number = grid.PositionNumber(p.Column, p.GridRow);
    const bool used = std::binary_search(merge.Used.begin(), merge.Used.end(), number);
    if (!grid.Selected(p.Column, p.GridRow) && !used) continue;
    plan.Numbers.push_back(number);
    if (number >= merge.StartPosition && !used) plan.First.push_back(number);
  }
  std::sort(plan.Numbers.begin(), plan.Numbers.end());
  std::sort(plan.First.begin(), plan.First.end());
  const auto perSheet = static_cast<int64_t>(plan.Numbers.size());
  if (perSheet == 0) RaiseError("No position is selected for printing");
  const int32_t positions = grid.Rows() * grid.Columns();
  if (merge.StartPosition < 1 || merge.StartPosition > positions) {
    RaiseError(Format("Position %d is not on the sheet (it has %d)", merge.StartPosition, positions));
  }
  if (plan.First.empty()) RaiseError(Format("No selected position is left from position %d on", merge.StartPosition));
  plan.Slots = static_cast<int64_t>(table.RowCount()) * merge.Copies;
  const int64_t sheets =
      1 + (std::max<int64_t>(plan.Slots - static_cast<int64_t>(plan.First.size()), 0) + perSheet - 1) / perSheet;
  if (sheets > kMaxMergeSheets) RaiseError(Format("A merge prints at most %d sheets", kMaxMergeSheets));
  plan.Sheets = static_cast<int32_t>(sheets);
  return plan;
}

}  // namespace

int32_t ShowMergeSheet(TMagnetDesign& design, TPrintSheet& sheet, const TMergeTable& table,
                       const TMergeRunOptions& merge, int32_t index) {
  design.EndTextFlash();
  const TMergePlan plan = PlanMerge(design, sheet, table, merge);
  const TMergeFill fill(design, table);
  std::vector<int32_t> placed;
  sheet.BuildContentSheet(design, plan.Contents(std::clamp(index, 0, plan.Sheets - 1), placed), std::cref(fill));
  return plan.Sheets;
}

TMergeRunResult RunMergePrint(TMagnetDesign& design, TPrintSheet& sheet, const TMergeTable& table, IPrinter& printer,
                              const TPrintRunOptions& options, const TMergeRunOptions& merge, IProgress* progress) {
  design.EndTextFlash();
  const TMergePlan plan = PlanMerge(design, sheet, table, merge);
  const TMergeFill fill(design, table);
  const TPrintSettings& settings = design.PrintSettings();
  TSheetJob job(printer);
  TMergeRunResult result;
  result.Sheets = plan.Sheets;
  try {
    for (int32_t s = 0; s < plan.Sheets; ++s) {
      sheet.BuildContentSheet(design, plan.Contents(s, result.LastSheet), std::cref(fill));
      result.LastPosition = result.LastSheet.back();
      std::optional<TSheetProgress> part;
      if (progress) part.emplace(*progress, s, plan.Sheets);
      PrintMagnetSheet(sheet.Document(), job, static_cast<float>(settings.PaperWidth),
                       static_cast<float>(settings.PaperHeight), options, part ? &*part : nullptr);
    }
    job.Finish();
  } catch (...) {
    if (printer.Printing()) printer.Abort();
    throw;
  }
  // The sheet goes back to the design alone, as the preview shows it.
  sheet.BuildPrintLayout(design);
  if (progress) progress->SetPosition(100);
  return result;
}

int32_t PrintedCopyCount(TPrintSheet& sheet) { return sheet.Document().ShapeCount(); }

void PrintMagnetSheet(TdtpDocument& document, IPrinter& printer, float paperWidth, float paperHeight,
                      const TPrintRunOptions& options, IProgress* progress) {
  if (!std::isfinite(options.OffsetX) || !std::isfinite(options.OffsetY) ||
      std::fabs(options.OffsetX) > kMaxPrintOffset || std::fabs(options.OffsetY) > kMaxPrintOffset) {
    RaiseError("The printer offset goes up to " + FormatDecimal(kMaxPrintOffset) + " mm each way");
  }
  if (!document.CurrentPage()) RaiseError("There is no sheet to print");
  const TPrinterSheet device = printer.Sheet();
  CheckPaper(device, paperWidth, paperHeight, options.PaperTolerance);

  TShiftedPrinter shifted(printer, options.OffsetX, options.OffsetY);
  // The run's quality and progress travel with the job; the document is left as it is.
  TPrintJob job;
  job.Quality = options.Quality;
  if (progress) {
    job.Progress = [progress](float share) {
      if (progress->Cancelled()) RaiseError("Printing was cancelled");
      const float clamped = std::fmin(std::fmax(share, 0.0f), 1.0f);
      progress->SetPosition(static_cast<int32_t>(Round(static_cast<double>(clamped) * 100)));
    };
    progress->SetPosition(0);
  }
  document.PrintPageList({document.CurrentPageIndex()}, shifted, job);
  if (progress) progress->SetPosition(100);
}

void RunMagnetPrint(TMagnetDesign& design, TPrintSheet& sheet, IPrinter& printer, const TPrintRunOptions& options,
                    IProgress* progress) {
  if (!design.DesignLoaded()) RaiseError("There is no design to print");
  // The grey flash must never reach the paper.
  design.EndTextFlash();
  sheet.BuildPrintLayout(design);
  if (PrintedCopyCount(sheet) == 0) RaiseError("No position is selected for printing");
  const TPrintSettings& settings = design.PrintSettings();
  PrintMagnetSheet(sheet.Document(), printer, static_cast<float>(settings.PaperWidth),
                   static_cast<float>(settings.PaperHeight), options, progress);
}

}  // namespace sw
