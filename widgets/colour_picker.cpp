#include "widgets/colour_picker.h"

#include <QColorDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleOption>
#include <QToolTip>

#include <algorithm>

#include "raster/color32.h"

namespace sw {

namespace {

constexpr TdtpColor Bgr(int32_t r, int32_t g, int32_t b) { return r | (g << 8) | (b << 16); }

const char* const kCustomCaption = "custom colour";

void PaintDropArrow(QPainter& p, const QRect& r, const QColor& ink) {
  const int32_t cx = r.center().x(), cy = r.center().y();
  QPolygon tri;
  tri << QPoint(cx - 3, cy - 1) << QPoint(cx + 3, cy - 1) << QPoint(cx, cy + 2);
  p.setPen(ink);
  p.setBrush(ink);
  p.drawPolygon(tri);
}

}  // namespace

QColor ColorToQColor(TdtpColor color) {
  const TColor32 c = ColorFromSystem(color);
  return QColor(static_cast<int>(RedOf(c)), static_cast<int>(GreenOf(c)), static_cast<int>(BlueOf(c)));
}

TdtpColor QColorToColor(const QColor& color) {
  if (!color.isValid()) return 0;
  const QColor rgb = color.toRgb();
  return Bgr(rgb.red(), rgb.green(), rgb.blue());
}

// Five rows from dark to light; the last row holds the pale shades magnet backgrounds favour.
constexpr TColorSwatch kPalette[] = {
      {Bgr(0, 0, 0), "Black"},           {Bgr(153, 51, 0), "Brown"},
      {Bgr(51, 51, 0), "Olive Green"},   {Bgr(0, 51, 0), "Dark Green"},
      {Bgr(0, 51, 102), "Dark Teal"},    {Bgr(0, 0, 128), "Dark Blue"},
      {Bgr(51, 51, 153), "Indigo"},      {Bgr(51, 51, 51), "Grey 80%"},
      {Bgr(128, 0, 0), "Dark Red"},      {Bgr(255, 102, 0), "Orange"},
      {Bgr(128, 128, 0), "Dark Yellow"}, {Bgr(0, 128, 0), "Green"},
      {Bgr(0, 128, 128), "Teal"},        {Bgr(0, 0, 255), "Blue"},
      {Bgr(102, 102, 153), "Blue Grey"}, {Bgr(128, 128, 128), "Grey 50%"},
      {Bgr(255, 0, 0), "Red"},           {Bgr(255, 153, 0), "Light Orange"},
      {Bgr(153, 204, 0), "Lime"},        {Bgr(51, 153, 102), "Sea Green"},
      {Bgr(51, 204, 204), "Aqua"},       {Bgr(51, 102, 255), "Light Blue"},
      {Bgr(128, 0, 128), "Violet"},      {Bgr(153, 153, 153), "Grey 40%"},
      {Bgr(255, 0, 255), "Pink"},        {Bgr(255, 204, 0), "Gold"},
      {Bgr(255, 255, 0), "Yellow"},      {Bgr(0, 255, 0), "Bright Green"},
      {Bgr(0, 255, 255), "Turquoise"},   {Bgr(0, 204, 255), "Sky Blue"},
      {Bgr(153, 51, 102), "Plum"},       {Bgr(192, 192, 192), "Grey 25%"},
      {Bgr(255, 153, 204), "Rose"},      {Bgr(255, 204, 153), "Tan"},
      {Bgr(255, 255, 153), "Light Yellow"}, {Bgr(204, 255, 204), "Light Green"},
      {Bgr(204, 255, 255), "Light Turquoise"}, {Bgr(153, 204, 255), "Pale Blue"},
      {Bgr(204, 153, 255), "Lavender"},  {Bgr(255, 255, 255), "White"},
};

std::span<const TColorSwatch> ColorPalette() { return kPalette; }

// ---- popup ----

TColorPalettePopup::TColorPalettePopup(TColorPickerButton* owner)
    : QFrame(owner, Qt::Popup), owner_(owner) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  const std::span<const TColorSwatch> swatches = ColorPalette();
  for (size_t i = 0; i < swatches.size(); ++i) {
    if (swatches[i].Color == owner->Color()) current_ = static_cast<int32_t>(i);
  }
  resize(sizeHint());
}

int32_t TColorPalettePopup::Rows() const {
  const auto n = static_cast<int32_t>(ColorPalette().size());
  return (n + kColorPaletteColumns - 1) / kColorPaletteColumns;
}

QSize TColorPalettePopup::sizeHint() const {
  return {2 * kMargin + kColorPaletteColumns * kCell, 2 * kMargin + Rows() * kCell + 2 + kEntryHeight};
}

QRect TColorPalettePopup::SwatchRect(int32_t index) const {
  if (index < 0 || index >= static_cast<int32_t>(ColorPalette().size())) return {};
  return {kMargin + (index % kColorPaletteColumns) * kCell, kMargin + (index / kColorPaletteColumns) * kCell,
          kCell, kCell};
}

QRect TColorPalettePopup::CustomEntryRect() const {
  return {kMargin, kMargin + Rows() * kCell + 2, kColorPaletteColumns * kCell, kEntryHeight};
}

int32_t TColorPalettePopup::EntryAt(const QPoint& pos) const {
  const auto n = static_cast<int32_t>(ColorPalette().size());
  for (int32_t i = 0; i < n; ++i)
    if (SwatchRect(i).contains(pos)) return i;
  if (CustomEntryRect().contains(pos)) return n;
  return -1;
}

void TColorPalettePopup::SetCurrent(int32_t entry) {
  const auto n = static_cast<int32_t>(ColorPalette().size());
  entry = std::clamp(entry, -1, n);
  if (entry == current_) return;
  current_ = entry;
  update();
}

void TColorPalettePopup::paintEvent(QPaintEvent* e) {
  QFrame::paintEvent(e);
  QPainter p(this);
  const QPalette& pal = palette();
  const std::span<const TColorSwatch> swatches = ColorPalette();
  for (size_t i = 0; i < swatches.size(); ++i) {
    const auto index = static_cast<int32_t>(i);
    const QRect cell = SwatchRect(index);
    if (index == current_) p.fillRect(cell, pal.color(QPalette::Highlight));
    const QRect swatch = cell.adjusted(3, 3, -3, -3);
    p.fillRect(swatch, ColorToQColor(swatches[i].Color));
    p.setPen(pal.color(QPalette::Shadow));
    p.setBrush(Qt::NoBrush);
    p.drawRect(swatch.adjusted(0, 0, -1, -1));
  }
  const QRect entry = CustomEntryRect();
  const bool onEntry = current_ == static_cast<int32_t>(swatches.size());
  if (onEntry) p.fillRect(entry, pal.color(QPalette::Highlight));
  p.setPen(pal.color(onEntry ? QPalette::HighlightedText : QPalette::WindowText));
  p.drawText(entry, Qt::AlignCenter, QString::fromLatin1(kCustomCaption));
}

void TColorPalettePopup::mouseMoveEvent(QMouseEvent* e) {
  const int32_t entry = EntryAt(e->position().toPoint());
  if (entry >= 0) SetCurrent(entry);
  if (entry >= 0 && entry < static_cast<int32_t>(ColorPalette().size())) {
    setToolTip(QString::fromLatin1(ColorPalette()[static_cast<size_t>(entry)].Name));
  } else {
    setToolTip({});
  }
}

void TColorPalettePopup::hideEvent(QHideEvent* e) {
  owner_->PopupClosed();
  QFrame::hideEvent(e);
}

void TColorPalettePopup::leaveEvent(QEvent* e) {
  QToolTip::hideText();
  QFrame::leaveEvent(e);
}

void TColorPalettePopup::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  // A release outside the popup (the press that opened it, dragged off) closes it unchosen.
  if (!rect().contains(e->position().toPoint())) {
    close();
    return;
  }
  const int32_t entry = EntryAt(e->position().toPoint());
  if (entry >= 0) Choose(entry);
}

void TColorPalettePopup::keyPressEvent(QKeyEvent* e) {
  const auto n = static_cast<int32_t>(ColorPalette().size());
  const int32_t cur = current_ < 0 ? 0 : current_;
  switch (e->key()) {
    case Qt::Key_Left: SetCurrent(cur == n ? n - 1 : std::max(0, cur - 1)); return;
    case Qt::Key_Right: SetCurrent(std::min(n, cur + 1)); return;
    case Qt::Key_Up:
      SetCurrent(cur == n ? n - kColorPaletteColumns : std::max(0, cur - kColorPaletteColumns));
      return;
    case Qt::Key_Down: SetCurrent(cur + kColorPaletteColumns >= n ? n : cur + kColorPaletteColumns); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (current_ >= 0) Choose(current_);
      return;
    case Qt::Key_Escape: close(); return;
    default: QFrame::keyPressEvent(e);
  }
}

void TColorPalettePopup::Choose(int32_t entry) {
  TColorPickerButton* owner = owner_;
  // Close first: the colour dialog must not open under a popup that holds the mouse.
  close();
  owner->EntryChosen(entry);
}

// ---- button ----

TColorPickerButton::TColorPickerButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QAbstractButton::clicked, this, [this] { ShowPopup(); });
}

void TColorPickerButton::SetColor(TdtpColor color) {
  if (color == color_) return;
  color_ = color;
  update();
  emit colorChanged(color_.Value);
}

void TColorPickerButton::SetColorQuietly(TdtpColor color) {
  color_ = color;
  update();
}

void TColorPickerButton::SetColorDialog(TColorDialogFn dialog) { dialog_ = std::move(dialog); }

void TColorPickerButton::ShowPopup() {
  if (popup_) return;
  popup_ = new TColorPalettePopup(this);
  // Below the button, or above it and shifted left where the screen ends.
  QPoint at = mapToGlobal(QPoint(0, height()));
  if (const QScreen* screen = this->screen()) {
    const QRect avail = screen->availableGeometry();
    const QSize size = popup_->size();
    if (at.y() + size.height() > avail.bottom() + 1) at.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
    at.setX(std::max(avail.left(), std::min(at.x(), avail.right() + 1 - size.width())));
  }
  popup_->move(at);
  popup_->show();
  popup_->setFocus();
}

void TColorPickerButton::EntryChosen(int32_t entry) {
  const std::span<const TColorSwatch> swatches = ColorPalette();
  if (entry >= 0 && entry < static_cast<int32_t>(swatches.size())) {
    SetColor(swatches[static_cast<size_t>(entry)].Color);
    return;
  }
  if (entry != static_cast<int32_t>(swatches.size())) return;
  const QColor initial = ColorToQColor(color_);
  const QColor chosen = dialog_ ? dialog_(initial, this) : QColorDialog::getColor(initial, this);
  if (chosen.isValid()) SetColor(QColorToColor(chosen));
}

QSize TColorPickerButton::sizeHint() const { return {60, 23}; }

void TColorPickerButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const bool on = isEnabled();
  if (isDown() || popup_) {
    p.fillRect(rect(), pal.color(QPalette::Mid));
  } else if (underMouse() && on) {
    p.fillRect(rect(), pal.color(QPalette::Midlight));
  }
  p.setPen(pal.color(QPalette::Mid));
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const QRect arrow(width() - 14, 0, 14, height());
  const QRect swatch = QRect(4, 4, width() - 8 - arrow.width(), height() - 8);
  QColor fill = ColorToQColor(color_);
  if (!on) fill = pal.color(QPalette::Disabled, QPalette::Window);
  p.fillRect(swatch, fill);
  p.setPen(pal.color(on ? QPalette::Active : QPalette::Disabled, QPalette::Shadow));
  p.drawRect(swatch.adjusted(0, 0, -1, -1));
  PaintDropArrow(p, arrow, pal.color(on ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  if (hasFocus()) {
    QStyleOptionFocusRect opt;
    opt.initFrom(this);
    opt.rect = swatch.adjusted(-2, -2, 2, 2);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
  }
}

void TColorPickerButton::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Down && (e->modifiers() & Qt::AltModifier)) {
    ShowPopup();
    return;
  }
  QAbstractButton::keyPressEvent(e);
}

void TColorPickerButton::PopupClosed() {
  popup_ = nullptr;
  update();
}

}  // namespace sw
