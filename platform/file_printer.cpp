#include "platform/file_printer.h"

#include <cmath>

#include "base/exception.h"
#include "base/numeric.h"

namespace sw {

void CheckFilePrinterSettings(const TFilePrinterSettings& s) {
  auto side = [](float v) { return std::isfinite(v) && v > 0 && v <= kMaxPaperSide; };
  if (!side(s.PaperWidth) || !side(s.PaperHeight)) RaiseError("Invalid paper size");
  if (s.Dpi < 1 || s.Dpi > kMaxPrinterDpi) RaiseError("Invalid printer resolution");
  const TPrinterSheet sheet = FileSheet(s);
  if (sheet.Width < 1 || sheet.Height < 1) RaiseError("Invalid paper size");
  const int64_t pixels = static_cast<int64_t>(sheet.Width) * sheet.Height;
  if (pixels > kMaxSheetPixels) {
    RaiseError(Format("A sheet of %g x %g mm at %d dpi has %lld pixels; at most %lld are printed: lower the resolution",
                      static_cast<double>(s.PaperWidth), static_cast<double>(s.PaperHeight), s.Dpi,
                      static_cast<long long>(pixels), static_cast<long long>(kMaxSheetPixels)));
  }
}

TPrinterSheet FileSheet(const TFilePrinterSettings& s) {
  TPrinterSheet sheet;
  sheet.Width = Round(static_cast<double>(s.PaperWidth) / kMmPerInch * s.Dpi);
  sheet.Height = Round(static_cast<double>(s.PaperHeight) / kMmPerInch * s.Dpi);
  sheet.DpiX = sheet.DpiY = s.Dpi;
  return sheet;
}

void FilterRowSub(const TColor32* pixels, int32_t width, uint8_t* row) {
  row[0] = 1;
  uint8_t* q = row + 1;
  uint32_t lr = 0, lg = 0, lb = 0;
  for (int32_t x = 0; x < width; ++x, q += 3) {
    const uint32_t r = RedOf(pixels[x]), g = GreenOf(pixels[x]), b = BlueOf(pixels[x]);
    q[0] = static_cast<uint8_t>(r - lr);
    q[1] = static_cast<uint8_t>(g - lg);
    q[2] = static_cast<uint8_t>(b - lb);
    lr = r;
    lg = g;
    lb = b;
  }
}

}  // namespace sw
