#include "widgets/layout_grid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "base/exception.h"

namespace sw {

namespace {

// A sheet of paper with a turned-down corner, the common ground of both icons.
QImage SheetIcon() {
  QImage image(TLayoutGridView::kIconSize, TLayoutGridView::kIconSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  QPolygon sheet;
  sheet << QPoint(2, 0) << QPoint(10, 0) << QPoint(13, 3) << QPoint(13, 15) << QPoint(2, 15);
  p.setPen(QColor(96, 96, 96));
  p.setBrush(Qt::white);
  p.drawPolygon(sheet);
  p.drawLine(10, 0, 10, 3);
  p.drawLine(10, 3, 13, 3);
  return image;
}

}  // namespace

TLayoutGridView::TLayoutGridView(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setToolTip(QStringLiteral("click to select or deselect"));
}

QImage TLayoutGridView::PrintedIcon() {
  QImage image = SheetIcon();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPen pen(QColor(0, 140, 40), 2.2);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pen);
  p.drawPolyline(QPolygonF{QPointF(4.5, 8.5), QPointF(7, 11.5), QPointF(11.5, 5)});
  return image;
}

QImage TLayoutGridView::SkippedIcon() {
  QImage image = SheetIcon();
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPen pen(QColor(200, 0, 0), 2.2);
  pen.setCapStyle(Qt::RoundCap);
  p.setPen(pen);
  p.drawLine(QPointF(5, 5.5), QPointF(10.5, 11.5));
  p.drawLine(QPointF(10.5, 5.5), QPointF(5, 11.5));
  return image;
}

QColor TLayoutGridView::GreyTextColor() const { return palette().color(QPalette::Disabled, QPalette::WindowText); }

void TLayoutGridView::Resize(int32_t rows, int32_t columns) {
  rows = std::max(1, rows);
  columns = std::max(1, columns);
  if (static_cast<int64_t>(rows) * columns > kMaxCells) {
    RaiseError(Format("Too many print positions (%d rows of %d)", static_cast<int>(rows), static_cast<int>(columns)));
  }
  if (rows == rows_ && columns == columns_) return;
  std::vector<bool> cells(static_cast<size_t>(rows * columns), false);
  for (int32_t r = 0; r < std::min(rows, rows_); ++r)
    for (int32_t c = 0; c < std::min(columns, columns_); ++c)
      cells[static_cast<size_t>(r * columns + c)] = skipped_[static_cast<size_t>(r * columns_ + c)];
  skipped_ = std::move(cells);
  rows_ = rows;
  columns_ = columns;
  curColumn_ = std::min(curColumn_, columns_ - 1);
  curRow_ = std::min(curRow_, rows_ - 1);
  update();
  emit selectionChanged();
}

bool TLayoutGridView::IsPrinted(int32_t position) const {
  if (position < 1 || position > Count()) return false;
  return !skipped_[static_cast<size_t>(position - 1)];
}

bool TLayoutGridView::IsSkippedAt(int32_t column, int32_t row) const {
  if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return false;
  return skipped_[static_cast<size_t>(row * columns_ + column)];
}

void TLayoutGridView::SetSkippedAt(int32_t column, int32_t row, bool skipped) {
  if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return;
  const auto i = static_cast<size_t>(row * columns_ + column);
  if (skipped_[i] == skipped) return;
  skipped_[i] = skipped;
  update(CellRect(column, row));
  emit selectionChanged();
}

std::vector<int32_t> TLayoutGridView::SkippedPositions() const {
  std::vector<int32_t> out;
  for (size_t i = 0; i < skipped_.size(); ++i)
    if (skipped_[i]) out.push_back(static_cast<int32_t>(i) + 1);
  return out;
}

void TLayoutGridView::SelectAll() { SetAll(false); }
void TLayoutGridView::SelectNone() { SetAll(true); }

void TLayoutGridView::SetAll(bool skipped) {
  if (std::all_of(skipped_.begin(), skipped_.end(), [&](bool s) { return s == skipped; })) return;
  std::fill(skipped_.begin(), skipped_.end(), skipped);
  update();
  emit selectionChanged();
}

int32_t TLayoutGridView::CellWidth() const { return std::max(1, (width() - columns_ * kLineWidth) / columns_); }
int32_t TLayoutGridView::CellHeight() const { return std::max(1, (height() - rows_ * kLineWidth) / rows_); }

QRect TLayoutGridView::CellRect(int32_t column, int32_t row) const {
  if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return {};
  const int32_t w = CellWidth(), h = CellHeight();
  return {column * (w + kLineWidth), row * (h + kLineWidth), w, h};
}

bool TLayoutGridView::CellAt(const QPoint& pos, int32_t* column, int32_t* row) const {
  if (pos.x() < 0 || pos.y() < 0) return false;
  const int32_t pitchX = CellWidth() + kLineWidth, pitchY = CellHeight() + kLineWidth;
  const int32_t c = pos.x() / pitchX, r = pos.y() / pitchY;
  if (c >= columns_ || r >= rows_) return false;
  if (pos.x() % pitchX >= CellWidth() || pos.y() % pitchY >= CellHeight()) return false;
  *column = c;
  *row = r;
  return true;
}

QSize TLayoutGridView::sizeHint() const { return {columns_ * 48, rows_ * 40}; }

void TLayoutGridView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor grey = GreyTextColor();
  p.fillRect(rect(), grey);
  const QImage printed = PrintedIcon(), skipped = SkippedIcon();
  for (int32_t r = 0; r < rows_; ++r) {
    for (int32_t c = 0; c < columns_; ++c) {
      const QRect cell = CellRect(c, r);
      const bool skip = IsSkippedAt(c, r);
      p.fillRect(cell, skip ? grey : QColor(Qt::white));
      p.setPen(skip ? QColor(Qt::white) : grey);
      p.drawText(cell.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::number(PositionAt(c, r)));
      // Cell rectangles here have an exclusive right and bottom, as the centring rule assumes.
      const int32_t right = cell.x() + cell.width(), bottom = cell.y() + cell.height();
      p.drawImage(QPoint((cell.x() + right - kIconSize) / 2, (cell.y() + bottom - kIconSize) / 2),
                  skip ? skipped : printed);
      if (hasFocus() && c == curColumn_ && r == curRow_) {
        p.setPen(QPen(skip ? QColor(Qt::white) : grey, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(cell.adjusted(1, 1, -2, -2));
      }
    }
  }
}

void TLayoutGridView::UserSelect(int32_t column, int32_t row) {
  curColumn_ = column;
  curRow_ = row;
  SetSkippedAt(column, row, !IsSkippedAt(column, row));
  update();
  emit cellClicked(column, row);
}

void TLayoutGridView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  int32_t c = 0, r = 0;
  if (CellAt(e->position().toPoint(), &c, &r)) UserSelect(c, r);
}

void TLayoutGridView::keyPressEvent(QKeyEvent* e) {
  int32_t c = curColumn_, r = curRow_;
  switch (e->key()) {
    case Qt::Key_Left: --c; break;
    case Qt::Key_Right: ++c; break;
    case Qt::Key_Up: --r; break;
    case Qt::Key_Down: ++r; break;
    case Qt::Key_Space: UserSelect(c, r); return;
    default: return QWidget::keyPressEvent(e);
  }
  // Moving onto a cell selects it, and selecting a cell toggles it; at the edge nothing moves.
  if (c < 0 || c >= columns_ || r < 0 || r >= rows_) return;
  UserSelect(c, r);
}

}  // namespace sw
