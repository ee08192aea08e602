#include "magnet/print_run.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "base/exception.h"
#include "base/numeric.h"
#include "magnet/param_list.h"
#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "platform/dialogs.h"
#include "platform/printer.h"

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

}  // namespace

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
