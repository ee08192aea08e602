// A printer into PNG files: each sheet becomes one 8-bit RGB picture of the whole sheet with a
// pHYs chunk giving the device resolution, so that the picture prints at its true size. A job of
// one sheet writes the file name as given; a job of several writes "name-1.png", "name-2.png" ...
// The files appear only when the job ends without error.
//
// The printer writes its own PNG rather than using the picture codec of the storage: platform code
// cannot reach the storage, and a sheet wants what the codec does not offer: no alpha, a
// resolution, and rows deflated straight to the file so a sheet costs its bitmap and no more.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file_printer.h"

namespace sw {

class TStream;

class TPngPrinter : public IPrinter {
public:
  // Raises for settings no sheet can have and for sheets beyond the bitmap limit ("The sheet is
  // too large for a picture"); nothing is written yet.
  TPngPrinter(std::string fileName, const TFilePrinterSettings& settings);
  ~TPngPrinter() override;
  TPngPrinter(const TPngPrinter&) = delete;
  TPngPrinter& operator=(const TPngPrinter&) = delete;

  TPrinterSheet Sheet() const override { return sheet_; }
  void BeginDoc(const std::string& title) override;
  void NewPage() override;
  void EndDoc() override;
  // Removes every sheet of the job written so far; older files of those names stay as they were.
  void Abort() override;
  bool Printing() const override { return printing_; }
  void StretchBand(const TRect& dest, const TBitmap32& band) override;

  // The files the last completed job wrote, in sheet order.
  const std::vector<std::string>& Files() const { return files_; }
  // The file of sheet (1-based) in a job of count sheets: fileName itself for one sheet, else
  // the name with "-<sheet>" before its extension.
  static std::string SheetFileName(const std::string& fileName, int32_t sheet, int32_t count);

  // The zlib level of the rows.
  int CompressionLevel = 6;

private:
  void StartSheet();
  void FinishSheet();

  std::string fileName_;
  TFilePrinterSettings settings_;
  TPrinterSheet sheet_;
  bool printing_ = false;
  std::unique_ptr<TBitmap32> page_;
  std::vector<std::unique_ptr<TAtomicFile>> written_;
  std::vector<std::string> files_;
};

// Writes bitmap as an 8-bit RGB PNG (alpha left out) with a pHYs chunk of dpi dots per inch.
void WriteSheetPng(TStream& out, const TBitmap32& bitmap, int32_t dpi, int level);

}  // namespace sw
