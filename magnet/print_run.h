// The print run of the print tab: the sheet laid out anew from the design and printed through the
// engine's banded printing on a printer whose paper is the layout's. The window's "print" and
// stickwell-cli's "magnet print" both come here.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/document.h"

namespace sw {

class IPrinter;
class IProgress;
class TMagnetDesign;
class TPrintSheet;

struct TPrintRunOptions {
  // Millimetres added to the position of everything printed on every sheet (positive: right and
  // down), for a printer that does not feed the paper where it should.
  float OffsetX = 0, OffsetY = 0;
  // The sheet's rendering resolution: medium is 300 dots per inch.
  TPrintQualityType Quality = pqMedium;
  // How far the printer's paper may differ from the layout's paper, in millimetres, before the run
  // refuses to print (a sheet scaled to other paper would put every copy off its cut).
  float PaperTolerance = 1;
};

// The largest printer offset accepted, in millimetres.
constexpr float kMaxPrintOffset = 100;

// Ends the message flash, lays the sheet out from the design's settings and grid and prints it as
// one job. Raises, before any job is started, when no design is loaded, when no position is
// selected ("No position is selected for printing"), when the printer's paper is not the layout's
// paper (upright or turned) or when the offset is not finite or beyond kMaxPrintOffset.
// progress gets 0 .. 100 (percent of the job); when it reports Cancelled the job is abandoned and
// "Printing was cancelled" raised. A failing printer abandons the job; the error passes on.
void RunMagnetPrint(TMagnetDesign& design, TPrintSheet& sheet, IPrinter& printer, const TPrintRunOptions& options,
                    IProgress* progress = nullptr);

// Prints the current page of document, a sheet of paperWidth x paperHeight mm, as one job with
// the options' offset and quality; the paper, offset, progress and cancelling as RunMagnetPrint.
void PrintMagnetSheet(TdtpDocument& document, IPrinter& printer, float paperWidth, float paperHeight,
                      const TPrintRunOptions& options, IProgress* progress = nullptr);

class TMergeTable;

// A merge print: one copy per row of the table (Copies of each, one after another) in row order
// over the selected positions, as many sheets as that takes.
struct TMergeRunOptions {
  int32_t Copies = 1;
  // The position number (row x columns + column + 1) the first sheet starts at: the selected
  // positions before it are left blank, as on a sheet partly used already.
  int32_t StartPosition = 1;
  // The positions of the first sheet used already, ascending: left blank on it, and printed on the
  // sheets after it even where the grid leaves them out (the window leaves them out of the grid).
  std::vector<int32_t> Used;
};

// The most copies of each row and the most sheets one merge print makes.
constexpr int32_t kMaxMergeCopies = 1000;
constexpr int32_t kMaxMergeSheets = 10000;

struct TMergeRunResult {
  int32_t Sheets = 0;
  // The number of the last position printed on the last sheet: a print on the rest of that sheet
  // starts after it.
  int32_t LastPosition = 0;
  // The positions printed on the last sheet, ascending.
  std::vector<int32_t> LastSheet;
};

// Prints the merge as one job of several sheets. Everything the
// rows need is checked before the job starts: a table without rows, a field of the message or a
// picture column that names no column, a picture file that is not there (naming row and column),
// copies or a start position out of range; the rest raises as RunMagnetPrint. Each sheet is laid
// out (one content per row on it), printed and let go before the next, so the memory a print
// takes does not grow with the rows. progress gets 0 .. 100 of the whole job.
TMergeRunResult RunMergePrint(TMagnetDesign& design, TPrintSheet& sheet, const TMergeTable& table, IPrinter& printer,
                      const TPrintRunOptions& options, const TMergeRunOptions& merge, IProgress* progress = nullptr);

// Lays out sheet index (0-based, kept within the sheets there are) of the merge on the sheet, as
// the print would print it, and returns the number of sheets; raises as RunMergePrint.
int32_t ShowMergeSheet(TMagnetDesign& design, TPrintSheet& sheet, const TMergeTable& table,
                       const TMergeRunOptions& merge, int32_t index);

// The number of copies the sheet holds (selected positions of its last layout).
int32_t PrintedCopyCount(TPrintSheet& sheet);

}  // namespace sw
