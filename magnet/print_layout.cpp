#include "magnet/print_layout.h"

#include <algorithm>
#include <cmath>

#include "base/exception.h"

namespace sw {

namespace {

// How many pitches fit the available length: at least 1, at most limit; capped tells whether
// more would have fitted.
int32_t CountFitting(double available, double pitch, int32_t limit, bool& capped) {
  capped = false;
  if (!(pitch > 0) || !std::isfinite(pitch) || !std::isfinite(available)) return 1;
  const double count = std::floor(available / pitch);
  if (!(count >= 1)) return 1;
  if (count > limit) {
    capped = true;
    return limit;
  }
  return static_cast<int32_t>(count);
}

}  // namespace

TPrintLayout ComputePrintLayout(const TPrintLayoutInput& in) {
  TPrintLayout out;
  const double m = in.Bleed;
  const double W = in.PageWidth;
  const double H = in.PageHeight;
  const double cw = in.Portrait ? W - 2 * m : H - 2 * m;
  const double ch = in.Portrait ? H - 2 * m : W - 2 * m;
  const double ox = in.OuterMarginX, oy = in.OuterMarginY;
  const double ix = in.InnerMarginX, iy = in.InnerMarginY;
  const double t = in.VerticalOffset;
  const double px = cw + ix;
  const double py = ch + iy;
  double ax = in.PaperWidth - 2 * ox + ix + 2 * m;
  if (in.Portrait) ax -= t;
  double ay = in.PaperHeight - 2 * oy + iy + 2 * m;
  if (!in.Portrait) ay -= t;
  bool cappedX = false, cappedY = false;
  out.Columns = CountFitting(ax, px, kMaxLayoutColumns, cappedX);
  out.Rows = CountFitting(ay, py, kMaxLayoutRows, cappedY);
  out.CopyWidth = static_cast<float>(cw);
  out.CopyHeight = static_cast<float>(ch);
  out.PitchX = static_cast<float>(px);
  out.PitchY = static_cast<float>(py);
  out.Capped = cappedX || cappedY;
  if (out.Capped) {
    out.Message = Format("The sheet is laid out with at most %d columns and %d rows of copies",
                         kMaxLayoutColumns, kMaxLayoutRows);
  }
  out.Positions.reserve(static_cast<size_t>(out.Columns) * static_cast<size_t>(out.Rows));
  for (int32_t r = 0; r < out.Rows; ++r) {
    for (int32_t c = 0; c < out.Columns; ++c) {
      TPrintPosition p;
      p.Column = c;
      p.Row = r;
      p.GridRow = in.Portrait ? r : out.Rows - 1 - r;
      // Each value goes through single precision as the shape's property would store it.
      float left = static_cast<float>(ox + c * px);
      left = static_cast<float>(left - m);
      float top;
      if (in.Portrait) {
        top = static_cast<float>(oy + r * py - t);
      } else {
        // Turned a quarter anticlockwise the copy extends upwards from its position point.
        top = static_cast<float>(oy + (out.Rows - r) * py - iy + 2 * m + t);
        p.Angle = 90;
      }
      p.Left = left;
      p.Top = static_cast<float>(top - m);
      out.Positions.push_back(p);
    }
  }
  return out;
}

void TLayoutGrid::Resize(int32_t rows, int32_t columns) {
  rows = std::max(rows, 1);
  columns = std::max(columns, 1);
  std::vector<bool> marks(static_cast<size_t>(rows) * static_cast<size_t>(columns), false);
  for (int32_t r = 0; r < std::min(rows, rows_); ++r) {
    for (int32_t c = 0; c < std::min(columns, columns_); ++c) {
      marks[static_cast<size_t>(r) * static_cast<size_t>(columns) + static_cast<size_t>(c)] =
          deselected_[static_cast<size_t>(r) * static_cast<size_t>(columns_) + static_cast<size_t>(c)];
    }
  }
  rows_ = rows;
  columns_ = columns;
  deselected_ = std::move(marks);
  if (resetPending_) SelectAll();
  resetPending_ = false;
}

bool TLayoutGrid::Selected(int32_t column, int32_t row) const {
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return false;
  return !deselected_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)];
}

void TLayoutGrid::SetSelected(int32_t column, int32_t row, bool value) {
  if (column < 0 || row < 0 || column >= columns_ || row >= rows_) return;
  deselected_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)] = !value;
}

void TLayoutGrid::Toggle(int32_t column, int32_t row) { SetSelected(column, row, !Selected(column, row)); }

void TLayoutGrid::SelectAll() { std::fill(deselected_.begin(), deselected_.end(), false); }

void TLayoutGrid::SelectNone() { std::fill(deselected_.begin(), deselected_.end(), true); }

TFloatRect PrintCell(const TPrintLayout& layout, const TPrintPosition& position, const TFloatRect& net, float bleed) {
  const float m = std::isfinite(bleed) ? std::max(bleed, 0.0f) : 0.0f;
  // The reach towards a neighbour: the whole bleed, or half the gap where the bleeds would meet.
  auto reach = [m](float gap) { return std::isfinite(gap) && gap < 2 * m ? gap / 2 : m; };
  const float x = reach(layout.PitchX - layout.CopyWidth), y = reach(layout.PitchY - layout.CopyHeight);
  // Grid row 0 is the top row of the sheet in either orientation.
  const bool top = position.GridRow > 0, bottom = position.GridRow < layout.Rows - 1;
  return TFloatRect{net.Left - (position.Column > 0 ? x : m), net.Top - (top ? y : m),
                    net.Right + (position.Column < layout.Columns - 1 ? x : m), net.Bottom + (bottom ? y : m)};
}

}  // namespace sw
