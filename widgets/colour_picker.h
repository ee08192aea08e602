// The colour-picker drop-down button of the background colour: the button shows the current
// colour; its drop-down offers a palette of swatches and a "custom colour" entry that asks the
// colour dialog. Colours in the API are window-system colour values (0x00BBGGRR), as the engine
// keeps them.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFrame>

#include <cstdint>
#include <functional>
#include <span>

#include "raster/color32.h"

namespace sw {

// A window-system colour (0x00BBGGRR, or a negative system-colour reference) as an opaque QColor.
QColor ColorToQColor(TdtpColor color);
// An opaque 0x00BBGGRR value of a QColor; its alpha is dropped, an invalid colour gives black.
TdtpColor QColorToColor(const QColor& color);

// One swatch of the drop-down: the colour and the name shown as its tool tip.
struct TColorSwatch {
  TdtpColor Color;
  const char* Name;
};

// The palette of the drop-down, in reading order, kColorPaletteColumns to a row.
std::span<const TColorSwatch> ColorPalette();
constexpr int32_t kColorPaletteColumns = 8;

// Asks the user for a colour starting from initial; returns an invalid QColor when cancelled.
using TColorDialogFn = std::function<QColor(const QColor& initial, QWidget* parent)>;

class TColorPickerButton;

// The drop-down of the picker: swatches in a grid and the "custom colour" entry below them.
// Arrow keys move between entries, Enter or Space chooses, Escape closes without a choice.
class TColorPalettePopup : public QFrame {
  Q_OBJECT

public:
  static constexpr int32_t kCell = 18;    // a swatch with its margin
  static constexpr int32_t kMargin = 4;   // around the grid
  static constexpr int32_t kEntryHeight = 22;

  explicit TColorPalettePopup(TColorPickerButton* owner);

  // Where swatch index sits in the popup; an empty rectangle for an index out of range.
  QRect SwatchRect(int32_t index) const;
  QRect CustomEntryRect() const;
  // The entry the keyboard is on: a swatch index, or the swatch count for "custom colour".
  int32_t Current() const { return current_; }
  void SetCurrent(int32_t entry);
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void hideEvent(QHideEvent* e) override;

private:
  int32_t EntryAt(const QPoint& pos) const;
  void Choose(int32_t entry);
  int32_t Rows() const;

  TColorPickerButton* owner_;
  int32_t current_ = -1;
};

class TColorPickerButton : public QAbstractButton {
  Q_OBJECT

public:
  explicit TColorPickerButton(QWidget* parent = nullptr);

  TdtpColor Color() const { return color_; }
  // Sets the shown colour; colorChanged when it differs from the present one.
  void SetColor(TdtpColor color);
  // The same without colorChanged, for a window filling its own controls.
  void SetColorQuietly(TdtpColor color);

  // Replaces the colour dialog behind "custom colour" (the default is QColorDialog); an empty
  // function restores the default.
  void SetColorDialog(TColorDialogFn dialog);

  // Opens the drop-down below the button; the popup while it is open, else null.
  void ShowPopup();
  TColorPalettePopup* Popup() const { return popup_; }

  QSize sizeHint() const override;

signals:
  // The user chose a different colour, or SetColor changed it (its value, as Color()).
  void colorChanged(int32_t color);

protected:
  void paintEvent(QPaintEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

private:
  friend class TColorPalettePopup;
  // The popup closed with this entry chosen (a swatch index, the swatch count for "custom colour").
  void EntryChosen(int32_t entry);
  void PopupClosed();

  TdtpColor color_ = 0x00FFFFFF;
  TColorDialogFn dialog_;
  TColorPalettePopup* popup_ = nullptr;
};

}  // namespace sw
