#include "platform/headless_printer.h"

#include <algorithm>

#include "base/exception.h"
#include "platform/bitmap_canvas.h"

namespace sw {

uint32_t BandChecksum(const TBitmap32& band) {
  uint32_t h = 2166136261u;
  auto add = [&h](uint32_t byte) {
    h ^= byte;
    h *= 16777619u;
  };
  for (int32_t y = 0; y < band.Height(); ++y) {
    const TColor32* row = band.ScanLine(y);
    for (int32_t x = 0; x < band.Width(); ++x) {
      add(RedOf(row[x]));
      add(GreenOf(row[x]));
      add(BlueOf(row[x]));
    }
  }
  return h;
}

void THeadlessPrinter::RequirePrinting() const {
  if (!printing_) RaiseError("The printer is not printing");
}

void THeadlessPrinter::AddSheet() {
  ++sheetCount_;
  if (!KeepSheets) return;
  auto sheet = std::make_unique<TBitmap32>();
  sheet->SetSize(sheet_.Width, sheet_.Height);
  sheet->Clear(clWhite32);
  SheetBitmaps.push_back(std::move(sheet));
}

void THeadlessPrinter::BeginDoc(const std::string& title) {
  if (printing_) RaiseError("The printer is printing already");
  Events.push_back("begin " + title);
  Bands.clear();
  SheetBitmaps.clear();
  sheetCount_ = 0;
  bandsOfJob_ = 0;
  printing_ = true;
  AddSheet();
}

void THeadlessPrinter::NewPage() {
  RequirePrinting();
  Events.push_back("newpage");
  AddSheet();
}

void THeadlessPrinter::EndDoc() {
  RequirePrinting();
  Events.push_back("end");
  printing_ = false;
}

void THeadlessPrinter::Abort() {
  if (!printing_) return;
  Events.push_back("abort");
  printing_ = false;
}

void THeadlessPrinter::StretchBand(const TRect& dest, const TBitmap32& band) {
  RequirePrinting();
  if (band.Empty() || dest.IsEmpty()) return;
  if (FailAtBand > 0 && ++bandsOfJob_ == FailAtBand) RaiseError("Printer error");
  Events.push_back("band");
  Bands.push_back(TPrintedBand{sheetCount_ - 1, dest, band.Width(), band.Height(), BandChecksum(band)});
  if (KeepSheets && !SheetBitmaps.empty()) {
    TBitmap32& sheet = *SheetBitmaps.back();
    TBitmapCanvas canvas(sheet);
    const TRect d{dest.Left + sheet_.OffsetX, dest.Top + sheet_.OffsetY, dest.Right + sheet_.OffsetX,
                  dest.Bottom + sheet_.OffsetY};
    canvas.StretchBitmap(d, band, band.BoundsRect(), smHalftone);
  }
}

int32_t THeadlessPrinter::Count(const std::string& event) const {
  return static_cast<int32_t>(std::count_if(Events.begin(), Events.end(), [&](const std::string& e) {
    return e == event || (event == "begin" && e.rfind("begin ", 0) == 0);
  }));
}

}  // namespace sw
