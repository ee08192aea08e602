// The print-layout grid: one cell per position on the sheet, numbered 1..n in reading order, each
// either printed or skipped (left blank so that a partly used sheet can be used up). A click on a
// cell toggles it.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace sw {

class TLayoutGridView : public QWidget {
  Q_OBJECT

public:
  static constexpr int32_t kLineWidth = 8;
  static constexpr int32_t kIconSize = 16;
  // More positions than this are refused; no sheet holds that many magnets.
  static constexpr int32_t kMaxCells = 10000;

  explicit TLayoutGridView(QWidget* parent = nullptr);

  int32_t Rows() const { return rows_; }
  int32_t Columns() const { return columns_; }
  int32_t Count() const { return rows_ * columns_; }

  // Sets the size. Cells keep their marks at their (column, row); cells that are new are printed.
  // Counts below 1 count as 1; more than kMaxCells positions raise an error and change nothing.
  // A window that wants every position printed afterwards calls SelectAll.
  void Resize(int32_t rows, int32_t columns);

  // The number of the position at (column, row): row × columns + column + 1.
  int32_t PositionAt(int32_t column, int32_t row) const { return row * columns_ + column + 1; }
  // Whether position n (1-based) is printed; false for a number outside 1..Count().
  bool IsPrinted(int32_t position) const;
  // Whether the cell is skipped; false for a cell outside the grid.
  bool IsSkippedAt(int32_t column, int32_t row) const;
  // Marks one cell; a cell outside the grid is ignored.
  void SetSkippedAt(int32_t column, int32_t row, bool skipped);
  // The skipped positions in ascending order.
  std::vector<int32_t> SkippedPositions() const;
  void SelectAll();
  void SelectNone();

  // The cell the keyboard is on.
  int32_t CurrentColumn() const { return curColumn_; }
  int32_t CurrentRow() const { return curRow_; }

  // The pixel rectangle of a cell at the present widget size; empty outside the grid.
  QRect CellRect(int32_t column, int32_t row) const;
  // The cell under a pixel; false on a grid line or outside.
  bool CellAt(const QPoint& pos, int32_t* column, int32_t* row) const;

  // The icons of a printed and of a skipped position, 16 × 16.
  static QImage PrintedIcon();
  static QImage SkippedIcon();
  // The colour of the grid lines and of a skipped cell's background.
  QColor GreyTextColor() const;

  QSize sizeHint() const override;

signals:
  // Any change of the marks, by the user or the program, including a resize.
  void selectionChanged();
  // The user made a cell current, by a click or the keyboard, and so toggled it.
  void cellClicked(int32_t column, int32_t row);

protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

private:
  int32_t CellWidth() const;
  int32_t CellHeight() const;
  void UserSelect(int32_t column, int32_t row);
  void SetAll(bool skipped);

  int32_t rows_ = 1, columns_ = 1;
  std::vector<bool> skipped_ = std::vector<bool>(1, false);  // row-major
  int32_t curColumn_ = 0, curRow_ = 0;
};

}  // namespace sw
