// A printer into a PDF file: one page per sheet, the paper's exact size in points, each band one
// Flate-compressed RGB image placed at its device pixels. Bands go to the file as they come, so
// the memory a job needs is one band; a placed picture is compressed beside the drawing of the
// next ones, a few at a time. The file appears under its name only when the job ends without
// error.
#pragma once

#include <memory>
#include <string>

#include "platform/file_printer.h"

namespace sw {

class TPdfPrinter : public IPrinter {
public:
  // Raises for settings no sheet can have (CheckFilePrinterSettings); nothing is written yet.
  TPdfPrinter(std::string fileName, const TFilePrinterSettings& settings);
  // Abandons a job still open.
  ~TPdfPrinter() override;
  TPdfPrinter(const TPdfPrinter&) = delete;
  TPdfPrinter& operator=(const TPdfPrinter&) = delete;

  TPrinterSheet Sheet() const override { return sheet_; }
  // Starts the file beside its target; the title becomes the document's title.
  void BeginDoc(const std::string& title) override;
  void NewPage() override;
  // Writes the page tree and cross-reference table and puts the file in place.
  void EndDoc() override;
  // Removes what the job wrote; an older file of the same name stays as it was.
  void Abort() override;
  bool Printing() const override { return job_ != nullptr; }
  void StretchBand(const TRect& dest, const TBitmap32& band) override;
  // Writes each picture once for the job, as one image, and draws it at every place it is laid,
  // cut to its clip.
  void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                    const TRect& clip) override;

  // Bytes written by the job so far (0 outside a job).
  int64_t BytesWritten() const;

  // The zlib level of the images. The rows' predictor does most of the work on rendered pages;
  // levels above 2 make files a few per cent smaller at up to twice the time.
  int CompressionLevel = 2;

private:
  struct TJob;

  // Writes bitmap as an image object of the job and returns its number.
  int32_t WriteImage(const TBitmap32& bitmap);
  // Numbers picture's image object and compresses it on a thread of its own while the job goes
  // on; the object reaches the file when the page ends, or sooner when too many wait.
  int32_t StartImage(const std::shared_ptr<const TBitmap32>& picture);
  // Lists the image among the current page's resources.
  void AddToPage(int32_t image);

  std::string fileName_;
  TFilePrinterSettings settings_;
  TPrinterSheet sheet_;
  std::unique_ptr<TJob> job_;
};

// A number as PDF writes it: fixed point with at most four decimals, no exponent, independent of
// the locale ("595.2756", "0", "-12.5").
std::string PdfNumber(double value);

}  // namespace sw
