#include "widgets/spin_edit.h"

#include <QHideEvent>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/numeric.h"

namespace sw {

// One flat arrow; the spin edit does the stepping so that mouse and keys share one path.
class TSpinArrow : public QWidget {
public:
  TSpinArrow(TAdvSpinEdit* owner, int32_t direction) : QWidget(owner), owner_(owner), direction_(direction) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
  }
  bool Down() const { return down_; }
  void SetDown(bool down) {
    if (down_ == down) return;
    down_ = down;
    update();
  }

protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    SetDown(true);
    owner_->BeginPress(direction_);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    SetDown(false);
    owner_->EndPress();
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QPalette& pal = palette();
    if (down_) {
      p.fillRect(rect(), pal.color(QPalette::Mid));
    } else if (underMouse() && isEnabled()) {
      p.fillRect(rect(), pal.color(QPalette::Midlight));
    }
    const int32_t cx = width() / 2, cy = height() / 2;
    // A triangle 7 pixels wide and 4 high, pointing the way the value moves on the screen.
    QPolygon tri;
    if (direction_ < 0) {
      tri << QPoint(cx - 3, cy + 2) << QPoint(cx + 3, cy + 2) << QPoint(cx, cy - 1);
    } else {
      tri << QPoint(cx - 3, cy - 2) << QPoint(cx + 3, cy - 2) << QPoint(cx, cy + 1);
    }
    const QColor ink = pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    p.setPen(ink);
    p.setBrush(ink);
    p.drawPolygon(tri);
  }

private:
  TAdvSpinEdit* owner_;
  int32_t direction_;
  bool down_ = false;
};

std::optional<double> ParseSpinText(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  std::string s = text.substr(b, e - b);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.erase(0, 1);
  }
  if (s.empty() || s[0] == '+' || s[0] == '-') return std::nullopt;
  for (char& c : s)
    if (c == ',') c = '.';
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return negative ? -v : v;
}

std::string FormatSpinValue(double value, int32_t decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(decimals), value);
  std::string text = buffer;
  if (!text.empty() && text[0] == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
  return text;
}

TAdvSpinEdit::TAdvSpinEdit(QWidget* parent)
    : QWidget(parent),
      editor_(new QLineEdit(this)),
      upper_(new TSpinArrow(this, -1)),
      lower_(new TSpinArrow(this, +1)),
      repeat_(new QTimer(this)) {
  setFocusPolicy(Qt::StrongFocus);
  setFocusProxy(editor_);
  setFixedHeight(kHeight);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  editor_->setFrame(false);
  // The editor shows the face of the panel it sits on; only the underline is window-coloured.
  QPalette pal = editor_->palette();
  pal.setColor(QPalette::Base, palette().color(QPalette::Window));
  editor_->setPalette(pal);
  editor_->installEventFilter(this);
  connect(editor_, &QLineEdit::editingFinished, this, [this] { CommitText(); });
  connect(editor_, &QLineEdit::textEdited, this, [this] { ApplyTyped(); });
  connect(repeat_, &QTimer::timeout, this, [this] {
    repeat_->setInterval(intervalMs_);
    Step();
  });
  ShowValue();
}

TAdvSpinEdit::~TAdvSpinEdit() {
  repeat_->stop();
  editor_->removeEventFilter(this);
  editor_->disconnect(this);
}

QWidget* TAdvSpinEdit::UpperArrow() const { return upper_; }
QWidget* TAdvSpinEdit::LowerArrow() const { return lower_; }

void TAdvSpinEdit::SetValueType(TSpinValueType type) {
  type_ = type;
  step_ = type == svtInteger ? 1.0 : 0.5;
  decimals_ = type == svtInteger ? 0 : 1;
  value_ = Constrain(value_);
  ShowValue();
}

void TAdvSpinEdit::SetIncrement(double step) {
  if (step > 0 && std::isfinite(step)) step_ = step;
}

void TAdvSpinEdit::SetRange(double minimum, double maximum) {
  min_ = minimum;
  max_ = maximum;
  Store(value_, true);
}

int32_t TAdvSpinEdit::IntValue() const { return Round(value_); }

void TAdvSpinEdit::SetValue(double value) { Store(value, true); }
void TAdvSpinEdit::SetValueQuietly(double value) { Store(value, false); }

void TAdvSpinEdit::SetRepeatTiming(int32_t delayMs, int32_t intervalMs) {
  delayMs_ = std::max(1, delayMs);
  intervalMs_ = std::max(1, intervalMs);
}

double TAdvSpinEdit::Constrain(double value) const {
  if (!std::isfinite(value)) value = 0;
  if (min_ != 0 || max_ != 0) {
    if (value < min_) {
      value = min_;
    } else if (value > max_) {
      value = max_;
    }
  }
  value = std::clamp(value, -kHardLimit, kHardLimit);
  const double scale = std::pow(10.0, decimals_);
  // Round half to even at the shown precision, so that the value is what the field shows.
  return static_cast<double>(Round64(value * scale)) / scale;
}

void TAdvSpinEdit::Store(double value, bool notify) {
  const double v = Constrain(value);
  const bool changed = v != value_;
  value_ = v;
  ShowValue();
  if (changed && notify) emit valueChanged(value_);
}

void TAdvSpinEdit::ShowValue() {
  const QString text = QString::fromStdString(FormatSpinValue(value_, decimals_));
  if (editor_->text() != text) editor_->setText(text);
}

void TAdvSpinEdit::CommitText() {
  if (editor_->isModified()) {
    editor_->setModified(false);
    const std::optional<double> typed = ParseSpinText(editor_->text().toStdString());
    if (typed) {
      Store(*typed, true);
    } else {
      ShowValue();
    }
  }
  EndTyping();
}

void TAdvSpinEdit::ApplyTyped() {
  const std::optional<double> typed = ParseSpinText(editor_->text().toStdString());
  if (!typed) return;
  if (!typing_) {
    typing_ = true;
    typingStart_ = value_;
    emit gestureStarted();
  }
  // The text stays as typed ("1." on its way to "1.5"); Return shows the value as kept.
  const double v = Constrain(*typed);
  if (v == value_) return;
  value_ = v;
  emit valueChanged(value_);
}

void TAdvSpinEdit::EndTyping() {
  if (!typing_) return;
  typing_ = false;
  emit gestureEnded();
}

void TAdvSpinEdit::BeginPress(int32_t direction) {
  if (gesture_ != 0) EndPress();
  // A value being typed counts before the arrow moves it.
  CommitText();
  gesture_ = direction;
  emit gestureStarted();
  Step();
  repeat_->start(delayMs_);
}

void TAdvSpinEdit::EndPress() {
  repeat_->stop();
  upper_->SetDown(false);
  lower_->SetDown(false);
  if (gesture_ == 0) return;
  gesture_ = 0;
  emit gestureEnded();
}

void TAdvSpinEdit::Step() {
  if (gesture_ == 0) return;
  Store(value_ + gesture_ * step_, true);
}

QSize TAdvSpinEdit::sizeHint() const { return {80, kHeight}; }
QSize TAdvSpinEdit::minimumSizeHint() const { return {kArrowWidth + 16, kHeight}; }

void TAdvSpinEdit::resizeEvent(QResizeEvent*) {
  const int32_t w = width(), h = height();
  const int32_t arrowX = std::max(0, w - kArrowWidth);
  editor_->setGeometry(0, 0, arrowX, h - 1);
  const int32_t upperH = h / 2;
  upper_->setGeometry(arrowX, 0, kArrowWidth, upperH);
  lower_->setGeometry(arrowX, upperH + 1, kArrowWidth, h - upperH - 1);
}

void TAdvSpinEdit::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(QRect(0, height() - 1, std::max(0, width() - kArrowWidth), 1), palette().color(QPalette::Base));
}

void TAdvSpinEdit::changeEvent(QEvent* e) {
  // A press cut short by disabling must still end its gesture, or the window's undo step stays open.
  if (e->type() == QEvent::EnabledChange && !isEnabled()) EndPress();
  QWidget::changeEvent(e);
}

void TAdvSpinEdit::hideEvent(QHideEvent* e) {
  EndPress();
  CommitText();
  QWidget::hideEvent(e);
}

void TAdvSpinEdit::wheelEvent(QWheelEvent* e) {
  if (!isEnabled() || !editor_->hasFocus()) {
    e->ignore();
    return;
  }
  e->accept();
  wheelRest_ += e->angleDelta().y();
  const int32_t notches = wheelRest_ / 120;
  wheelRest_ -= notches * 120;
  if (notches == 0) return;
  CommitText();
  emit gestureStarted();
  Store(value_ + notches * step_, true);
  emit gestureEnded();
}

bool TAdvSpinEdit::eventFilter(QObject* watched, QEvent* e) {
  if (watched != editor_) return QWidget::eventFilter(watched, e);
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Up || k->key() == Qt::Key_Down) {
      const int32_t direction = k->key() == Qt::Key_Up ? -1 : +1;
      if (k->isAutoRepeat() && gesture_ == direction) {
        Step();
      } else {
        BeginPress(direction);
        // Keyboard repeat comes from the keyboard itself.
        repeat_->stop();
      }
      return true;
    }
    if (k->key() == Qt::Key_Escape && (editor_->isModified() || typing_)) {
      editor_->setModified(false);
      if (typing_) Store(typingStart_, true);
      ShowValue();
      EndTyping();
      return true;
    }
  } else if (e->type() == QEvent::KeyRelease) {
    auto* k = static_cast<QKeyEvent*>(e);
    if ((k->key() == Qt::Key_Up || k->key() == Qt::Key_Down) && !k->isAutoRepeat()) {
      EndPress();
      return true;
    }
  } else if (e->type() == QEvent::FocusOut) {
    if (gesture_ != 0 && !upper_->Down() && !lower_->Down()) EndPress();
    CommitText();
  } else if (e->type() == QEvent::Wheel) {
    // The editor's own wheel handling would swallow it: the spin edit decides.
    wheelEvent(static_cast<QWheelEvent*>(e));
    return true;
  }
  return QWidget::eventFilter(watched, e);
}

}  // namespace sw
