// The arithmetic of the print sheet: how many copies of the design fit the paper and where each
// one lies, and the grid of positions the user ticks off. No documents are touched here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/color32.h"
#include "raster/geometry.h"

namespace sw {

// Most columns and most rows of copies one sheet is laid out with.
constexpr int32_t kMaxLayoutColumns = 100;
constexpr int32_t kMaxLayoutRows = 100;

// Everything the layout depends on, in millimetres.
struct TPrintLayoutInput {
  float PageWidth = 0;   // the design page W (net width plus twice the bleed)
  float PageHeight = 0;  // the design page H
  float Bleed = 0;       // the bleed margin m
  float PaperWidth = 210;
  float PaperHeight = 297;
  float OuterMarginX = 15;
  float OuterMarginY = 23;
  float InnerMarginX = 0;
  float InnerMarginY = 0;
  bool Portrait = true;
  // The window's hook for printers that feed the paper off centre; 0 in this program.
  float VerticalOffset = 0;
};

// One copy as the layout places it: loop column and row, the grid row it belongs to, and the
// copy's DocLeft, DocTop and DocAngle on the sheet.
struct TPrintPosition {
  int32_t Column = 0;
  int32_t Row = 0;
  int32_t GridRow = 0;
  float Left = 0;
  float Top = 0;
  float Angle = 0;
};

struct TPrintLayout {
  // The net size of one copy as it lies on the sheet, and the pitches between copies.
  float CopyWidth = 0;
  float CopyHeight = 0;
  float PitchX = 0;
  float PitchY = 0;
  int32_t Columns = 1;
  int32_t Rows = 1;
  // Set when more columns or rows would fit than the layout lays out; Message says so.
  bool Capped = false;
  std::string Message;
  // Every position in layout order: row by row, left to right.
  std::vector<TPrintPosition> Positions;
};

// The copies that fit: at least one column and one row (also for pitches of 0 or less and for
// values that are not finite), at most kMaxLayoutColumns by kMaxLayoutRows.
TPrintLayout ComputePrintLayout(const TPrintLayoutInput& input);

// The sheet area a copy whose net area lies at net may print: the net area grown by the bleed,
// but towards a neighbour whose bleed would overlap it (nets closer than two bleeds) only up to
// the middle of the gap, so that every copy shows itself up to its own cut line. Neighbours count
// whether or not their positions are selected: a copy prints the same either way.
TFloatRect PrintCell(const TPrintLayout& layout, const TPrintPosition& position, const TFloatRect& net, float bleed);

// The print positions, row 0 at the top of the sheet; a position is selected (printed) or not.
class TLayoutGrid {
public:
  // One row and one column, selected; a reset is pending.
  TLayoutGrid() = default;
  int32_t Rows() const { return rows_; }
  int32_t Columns() const { return columns_; }
  // New size (each at least 1): positions keep their marks where both sizes hold them, new ones
  // are selected; a pending reset then selects every position.
  void Resize(int32_t rows, int32_t columns);
  // False outside the grid.
  bool Selected(int32_t column, int32_t row) const;
  // Nothing outside the grid.
  void SetSelected(int32_t column, int32_t row, bool value);
  void Toggle(int32_t column, int32_t row);
  void SelectAll();
  void SelectNone();
  // row x columns + column + 1.
  int32_t PositionNumber(int32_t column, int32_t row) const { return row * columns_ + column + 1; }
  bool ResetPending() const { return resetPending_; }
  void SetResetPending(bool value) { resetPending_ = value; }

private:
  int32_t rows_ = 1;
  int32_t columns_ = 1;
  std::vector<bool> deselected_ = std::vector<bool>(1, false);
  bool resetPending_ = true;
};

}  // namespace sw
