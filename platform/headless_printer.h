// A printer for tests and tools that records what it is sent: the job's calls in order and every
// band's destination, size and a checksum of its colours. It can fail at a chosen band, like a
// printer that runs out of paper, and can compose each sheet into a bitmap as a device would.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/printer.h"

namespace sw {

struct TPrintedBand {
  int32_t Sheet = 0;      // 0-based sheet of the job
  TRect Dest;             // device pixels from the canvas origin, as sent
  int32_t Width = 0;      // the band's own size in pixels
  int32_t Height = 0;
  uint32_t Checksum = 0;  // BandChecksum of the band
};

// FNV-1a over the red, green and blue bytes of every pixel, row by row (alpha is not printed).
uint32_t BandChecksum(const TBitmap32& band);

class THeadlessPrinter : public IPrinter {
public:
  explicit THeadlessPrinter(const TPrinterSheet& sheet) : sheet_(sheet) {}

  TPrinterSheet Sheet() const override { return sheet_; }
  void SetSheet(const TPrinterSheet& sheet) { sheet_ = sheet; }
  void BeginDoc(const std::string& title) override;
  void NewPage() override;
  void EndDoc() override;
  void Abort() override;
  bool Printing() const override { return printing_; }
  // Records the band; the FailAtBand-th band of the job raises "Printer error" instead.
  void StretchBand(const TRect& dest, const TBitmap32& band) override;

  // 1-based band of each job that fails; 0 never fails.
  int32_t FailAtBand = 0;
  // When set, each sheet is also composed into SheetBitmaps: white, bands stretched with averaging.
  bool KeepSheets = false;

  // The calls of the jobs in order: "begin <title>", "newpage", "band", "end", "abort".
  std::vector<std::string> Events;
  // The bands of the last job.
  std::vector<TPrintedBand> Bands;
  // The sheets of the last job when KeepSheets was set (whole sheets, canvas origin at the offset).
  std::vector<std::unique_ptr<TBitmap32>> SheetBitmaps;
  // Sheets of the last job (0 before any).
  int32_t SheetCount() const { return sheetCount_; }
  // How often each call came, over all jobs.
  int32_t Count(const std::string& event) const;

private:
  void RequirePrinting() const;
  void AddSheet();

  TPrinterSheet sheet_;
  bool printing_ = false;
  int32_t sheetCount_ = 0;
  int32_t bandsOfJob_ = 0;
};

}  // namespace sw
