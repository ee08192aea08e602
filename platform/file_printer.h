// What the file printers (PDF and PNG) share: a sheet given as paper size in millimetres and a
// device resolution, and output files that appear only when a job completes (TAtomicFile).
#pragma once

#include <cstdint>
#include <string>

#include "base/file_targets.h"
#include "platform/printer.h"

namespace sw {

struct TFilePrinterSettings {
  float PaperWidth = 210;   // mm
  float PaperHeight = 297;  // mm
  int32_t Dpi = 600;        // device dots per inch
};

// Largest paper side in millimetres and largest resolution a file printer takes.
constexpr float kMaxPaperSide = 1200;
constexpr int32_t kMaxPrinterDpi = 2400;
// The coarsest resolution the tools print at: below it a sheet is too few pixels to hold its paper.
constexpr int32_t kMinPrinterDpi = 50;
// The most pixels a sheet may have (A3 at 2400 dpi, 1.2 x 1.2 m at 900 dpi): bands keep the
// memory down, but the work grows with the pixels.
constexpr int64_t kMaxSheetPixels = int64_t(1) << 31;

// Raises "Invalid paper size" or "Invalid printer resolution" for settings no sheet can have
// (not finite, not positive or beyond the limits above).
void CheckFilePrinterSettings(const TFilePrinterSettings& settings);
// The sheet of the settings: the paper in whole device pixels (rounded), no unprintable border.
TPrinterSheet FileSheet(const TFilePrinterSettings& settings);

// One row of pixels as filtered RGB bytes: the filter byte 1 ("sub"), then each byte minus the
// same channel of the pixel on its left, which turns flat colours into runs of zeros and gradients
// into runs of small steps. row must hold width * 3 + 1 bytes.
void FilterRowSub(const TColor32* pixels, int32_t width, uint8_t* row);

}  // namespace sw
