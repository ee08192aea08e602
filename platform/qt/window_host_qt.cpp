#include "platform/qt/window_host_qt.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDrag>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRegion>
#include <QResizeEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtDebug>

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/bitmap_canvas.h"
#include "platform/headless_window_host.h"

namespace sw {

namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  TShiftState s = 0;
  if (modifiers & Qt::ShiftModifier) s |= ssShift;
  if (modifiers & Qt::ControlModifier) s |= ssCtrl;
  if (modifiers & Qt::AltModifier) s |= ssAlt;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

// False for buttons the document has no use for (back, forward and the like).
bool ButtonOf(Qt::MouseButton qt, TMouseButton& button) {
  switch (qt) {
    case Qt::LeftButton: button = TMouseButton::mbLeft; return true;
    case Qt::RightButton: button = TMouseButton::mbRight; return true;
    case Qt::MiddleButton: button = TMouseButton::mbMiddle; return true;
    default: return false;
  }
}

TPoint PointOf(const QPointF& p) {
  // Floor, not round: the pixel under the pointer, also for fractional positions left of 0.
  return {static_cast<int32_t>(std::floor(p.x())), static_cast<int32_t>(std::floor(p.y()))};
}

TRect RectOf(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// The part clip of the pixels as an image; pixels on screen are opaque whatever alpha the drawing
// left.
QImage ImageOf(const TBitmap32& pixels, const TRect& clip) {
  QImage image(clip.Width(), clip.Height(), QImage::Format_RGB32);
  for (int32_t y = 0; y < clip.Height(); ++y) {
    const TColor32* src = pixels.ScanLine(clip.Top + y) + clip.Left;
    auto* dst = reinterpret_cast<TColor32*>(image.scanLine(y));
    for (int32_t x = 0; x < clip.Width(); ++x) dst[x] = src[x] | 0xFF000000u;
  }
  return image;
}

// The program's own cursors, drawn in code: a turning arrow, an arrow with a copy mark, and the
// crosshair with a small mark of what a shape kind inserts.
QCursor OwnCursor(TCursor number) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, number == -30);
  auto outlined = [&](const std::function<void()>& draw) {
    // White under black, so the cursor shows on any background.
    p.setPen(QPen(Qt::white, 3));
    draw();
    p.setPen(QPen(Qt::black, 1));
    draw();
  };
  QPoint hot(15, 15);
  if (number == -30) {
    outlined([&] {
      p.drawArc(QRect(6, 6, 20, 20), 30 * 16, 300 * 16);
      p.drawLine(23, 4, 24, 10);
      p.drawLine(24, 10, 18, 10);
    });
  } else if (number == -31) {
    hot = QPoint(1, 1);
    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 17);
    arrow.lineTo(5, 13);
    arrow.lineTo(9, 20);
    arrow.lineTo(11, 19);
    arrow.lineTo(8, 12);
    arrow.lineTo(13, 12);
    arrow.closeSubpath();
    p.fillPath(arrow, Qt::white);
    p.setPen(Qt::black);
    p.drawPath(arrow);
    p.fillRect(QRect(16, 16, 11, 11), Qt::white);
    p.drawRect(QRect(16, 16, 11, 11));
    p.drawLine(21, 18, 21, 25);
    p.drawLine(18, 21, 25, 21);
  } else {
    outlined([&] {
      p.drawLine(15, 2, 15, 28);
      p.drawLine(2, 15, 28, 15);
    });
    p.setPen(Qt::black);
    const QRect mark(19, 19, 10, 10);
    switch (number) {
      case -33: p.drawLine(mark.topLeft(), mark.bottomRight()); break;
      case -34:
        p.drawLine(mark.topLeft(), mark.bottomRight());
        p.drawLine(mark.bottomRight(), mark.bottomRight() - QPoint(4, 0));
        p.drawLine(mark.bottomRight(), mark.bottomRight() - QPoint(0, 4));
        break;
      case -35: p.drawRect(mark); break;
      case -36: p.drawEllipse(mark); break;
      case -37:
        p.drawLine(mark.left(), mark.top(), mark.right(), mark.top());
        p.drawLine(mark.center().x(), mark.top(), mark.center().x(), mark.bottom());
        break;
      case -38:
        p.drawRect(mark);
        p.drawLine(mark.left(), mark.bottom(), mark.center().x(), mark.center().y());
        p.drawLine(mark.center().x(), mark.center().y(), mark.right(), mark.bottom());
        break;
      default: break;
    }
  }
  p.end();
  return QCursor(pixmap, hot.x(), hot.y());
}

}  // namespace

uint16_t VirtualKeyOf(int qtKey) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<uint16_t>(qtKey);
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<uint16_t>(qtKey);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return static_cast<uint16_t>(vk::F1 + (qtKey - Qt::Key_F1));
  switch (qtKey) {
    case Qt::Key_Backspace: return vk::Back;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Return;
    case Qt::Key_Shift: return vk::Shift;
    case Qt::Key_Control: return vk::Control;
    case Qt::Key_Alt: return vk::Menu;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_Space: return vk::Space;
    case Qt::Key_PageUp: return vk::Prior;
    case Qt::Key_PageDown: return vk::Next;
    case Qt::Key_End: return vk::End;
    case Qt::Key_Home: return vk::Home;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_Insert: return vk::Insert;
    case Qt::Key_Delete: return vk::Delete;
    default: return 0;
  }
}

TQtWindowHost::TQtWindowHost(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The client covers every pixel it is asked for, so Qt need not clear first, and scrolling
  // can move the pixels already shown.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
  viewport()->setMouseTracking(true);
  for (TCursor number = -38; number <= -30; ++number) cursors_[number] = OwnCursor(number);
  for (const TScrollBarKind kind : {TScrollBarKind::Horizontal, TScrollBarKind::Vertical}) {
    QScrollBar* bar = Bar(kind);
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, kind](int action) { OnBarAction(kind, action); });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, kind] { OnBarReleased(kind); });
  }
}

TQtWindowHost::~TQtWindowHost() = default;

QScrollBar* TQtWindowHost::Bar(TScrollBarKind kind) const {
  return kind == TScrollBarKind::Horizontal ? horizontalScrollBar() : verticalScrollBar();
}

int32_t TQtWindowHost::ClientWidth() const { return viewport()->width(); }
int32_t TQtWindowHost::ClientHeight() const { return viewport()->height(); }

void TQtWindowHost::Invalidate(const TRect& rect) {
  if (rect.IsEmpty()) return;
  const QRect r(rect.Left, rect.Top, rect.Width(), rect.Height());
  directOnly_ -= r;
  viewport()->update(r);
}

void TQtWindowHost::InvalidateAll() {
  directOnly_ = QRegion();
  viewport()->update();
}

void TQtWindowHost::ScrollContent(int32_t dx, int32_t dy) {
  if (dx == 0 && dy == 0) return;
  // The own copy moves with the screen, so that drawing onto it later meets what is shown.
  ScrollPixels(backing_, dx, dy);
  directOnly_.translate(dx, dy);
  directOnly_ &= QRect(0, 0, backing_.Width(), backing_.Height());
  viewport()->scroll(dx, dy);
}

TShiftState TQtWindowHost::KeyboardState() const {
  const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (m & Qt::AltModifier) s |= ssAlt;
  return s;
}

TPoint TQtWindowHost::CursorPos() const {
  const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
  return {p.x(), p.y()};
}

void TQtWindowHost::DrawDirect(const TRect& bounds, const std::function<void(TCanvas&)>& draw) {
  const int32_t w = viewport()->width(), h = viewport()->height();
  const TRect clip = IntersectRect(bounds, TRect{0, 0, w, h});
  if (clip.IsEmpty() || !draw) return;
  const QRect r(clip.Left, clip.Top, clip.Width(), clip.Height());
  if (backing_.Width() != w || backing_.Height() != h) {
    // Nothing painted at this size yet: the client's next paint draws the whole picture.
    viewport()->update(r);
    return;
  }
  TBitmapCanvas canvas(backing_);
  canvas.SetClipRect(clip);
  Guard([&] { draw(canvas); });
  directOnly_ += r;
  viewport()->update(r);
}

void TQtWindowHost::PaintNow() { viewport()->repaint(); }

void TQtWindowHost::ShowHint(const std::string& text, const TPoint& at, TdtpColor color) {
  if (!hint_) {
    hint_ = new QLabel(this, Qt::ToolTip);
    hint_->setMargin(3);
    hint_->setWordWrap(true);
  }
  hint_->setText(QString::fromStdString(text));
  const TColor32 c = ColorFromSystem(color);
  const QColor back(static_cast<int>(RedOf(c)), static_cast<int>(GreenOf(c)), static_cast<int>(BlueOf(c)));
  hint_->setStyleSheet(QString("QLabel { background-color: %1; color: black; border: 1px solid gray; }").arg(back.name()));
  const QScreen* screen = QGuiApplication::primaryScreen();
  const int maxWidth = screen ? screen->geometry().width() / 2 : 400;
  hint_->setMaximumWidth(maxWidth);
  hint_->adjustSize();
  hint_->move(viewport()->mapToGlobal(QPoint(at.X, at.Y)));
  hint_->show();
}

void TQtWindowHost::HideHint() {
  if (!hint_) return;
  hint_->hide();
  hint_->deleteLater();
  hint_ = nullptr;
}

void TQtWindowHost::StartDragDrop(const std::string& text) {
  // QDrag runs a loop of its own: never inside the mouse event that asked for it.
  QMetaObject::invokeMethod(
      this,
      [this, text] {
        auto* drag = new QDrag(viewport());
        auto* mime = new QMimeData;
        mime->setText(QString::fromStdString(text));
        drag->setMimeData(mime);
        drag->exec(Qt::CopyAction);
      },
      Qt::QueuedConnection);
}

void TQtWindowHost::ShowPopupMenu(const TPoint& at) {
  TPopupMenu* source = client_ ? client_->CurrentPopupMenu() : nullptr;
  if (!source || source->Items.empty()) return;
  if (menu_) menu_->deleteLater();
  menu_ = new QMenu(this);
  // The items are copied: the client may change its menu while this one is open.
  for (const TMenuItem& item : source->Items) {
    QAction* action = menu_->addAction(QString::fromStdString(item.Caption));
    if (!item.ShortCut.empty()) action->setShortcut(QKeySequence(QString::fromStdString(item.ShortCut)));
    connect(action, &QAction::triggered, this, [this, item] {
      Guard([&] {
        if (item.OnClick) item.OnClick(item.Caption);
      });
    });
  }
  menu_->popup(viewport()->mapToGlobal(QPoint(at.X, at.Y)));
}

void TQtWindowHost::SetScrollBar(TScrollBarKind kind, const TScrollBarInfo& info) {
  bars_[static_cast<int>(kind)] = info;
  QScrollBar* bar = Bar(kind);
  // Qt's range is that of the position; ours runs to Max - Page.
  const int32_t top = std::max(info.Min, static_cast<int32_t>(std::clamp<int64_t>(
                                             static_cast<int64_t>(info.Max) - info.Page, INT32_MIN, INT32_MAX)));
  bar->setRange(info.Min, top);
  bar->setPageStep(std::max(0, info.Page));
  bar->setSingleStep(std::max(1, info.SmallStep));
  bar->setValue(info.Position);
  // A bar that cannot move is shown disabled, not hidden.
  bar->setEnabled(top > info.Min);
  const Qt::ScrollBarPolicy policy = info.Visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
  // Showing or hiding a bar resizes the viewport at once, which reaches the client as Resized.
  if (kind == TScrollBarKind::Horizontal) {
    if (horizontalScrollBarPolicy() != policy) setHorizontalScrollBarPolicy(policy);
  } else {
    if (verticalScrollBarPolicy() != policy) setVerticalScrollBarPolicy(policy);
  }
}

void TQtWindowHost::RestoreBar(TScrollBarKind kind) {
  Bar(kind)->setValue(bars_[static_cast<int>(kind)].Position);
}

void TQtWindowHost::OnBarAction(TScrollBarKind kind, int action) {
  QScrollBar* bar = Bar(kind);
  // The slider has moved itself already (sliderPosition); the document decides where it ends.
  const int32_t proposed = bar->sliderPosition();
  bool single = true;
  TScrollRequest request = TScrollRequest::EndScroll;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: request = TScrollRequest::LineDown; break;
    case QAbstractSlider::SliderSingleStepSub: request = TScrollRequest::LineUp; break;
    case QAbstractSlider::SliderPageStepAdd: request = TScrollRequest::PageDown; break;
    case QAbstractSlider::SliderPageStepSub: request = TScrollRequest::PageUp; break;
    case QAbstractSlider::SliderToMinimum: request = TScrollRequest::Top; break;
    case QAbstractSlider::SliderToMaximum: request = TScrollRequest::Bottom; break;
    case QAbstractSlider::SliderMove:
      request = TScrollRequest::ThumbTrack;
      single = !bar->isSliderDown();  // a wheel or key moving the slider is one whole step
      break;
    default: return;
  }
  Guard([&] {
    if (!client_) return;
    client_->Scroll(kind, request, proposed);
    if (single && request == TScrollRequest::ThumbTrack) client_->Scroll(kind, TScrollRequest::ThumbPosition, proposed);
    if (single) client_->Scroll(kind, TScrollRequest::EndScroll, proposed);
  });
  RestoreBar(kind);
}

void TQtWindowHost::OnBarReleased(TScrollBarKind kind) {
  const int32_t position = Bar(kind)->sliderPosition();
  Guard([&] {
    if (!client_) return;
    client_->Scroll(kind, TScrollRequest::ThumbPosition, position);
    client_->Scroll(kind, TScrollRequest::EndScroll, position);
  });
  RestoreBar(kind);
}

void TQtWindowHost::scrollContentsBy(int, int) {
  // The document scrolls the content itself (ScrollContent) when it accepts a request.
}

QCursor TQtWindowHost::CursorFor(TCursor number) const {
  if (const auto it = cursors_.find(number); it != cursors_.end()) return it->second;
  switch (number) {
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crHourGlass: return Qt::WaitCursor;
    case crNo: return Qt::ForbiddenCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

void TQtWindowHost::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  viewport()->setCursor(CursorFor(cursor));
}

void TQtWindowHost::SetMouseCapture(bool capture) {
  if (capture == captured_) return;
  captured_ = capture;
  // While a button is down Qt already keeps the mouse with the viewport; an explicit grab covers
  // the rest and needs a visible window.
  if (capture) {
    if (viewport()->isVisible()) viewport()->grabMouse();
  } else if (QWidget::mouseGrabber() == viewport()) {
    viewport()->releaseMouse();
  }
}

void TQtWindowHost::SetFocus() { setFocus(Qt::OtherFocusReason); }
bool TQtWindowHost::Focused() const { return hasFocus(); }

void TQtWindowHost::ProcessPendingWork() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void TQtWindowHost::Guard(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    ReportError(e.what());
  } catch (...) {
    ReportError("Unknown error");
  }
}

void TQtWindowHost::ReportError(const std::string& message) {
  // Reported from the event loop, not inside the handler: a message box opened during a paint
  // or a mouse event would run a nested loop in the middle of it.
  QMetaObject::invokeMethod(
      this,
      [this, message] {
        if (onError_) {
          onError_(message);
        } else {
          qWarning("%s", message.c_str());
        }
      },
      Qt::QueuedConnection);
}

bool TQtWindowHost::event(QEvent* e) {
  // Tab and Shift+Tab belong to the document (as do the arrows, Return and Escape), not to the
  // dialog's focus chain.
  if (e->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(e);
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && client_ && client_->WantsSpecialKey(vk::Tab)) {
      keyPressEvent(key);
      return true;
    }
  }
  return QAbstractScrollArea::event(e);
}

void TQtWindowHost::paintEvent(QPaintEvent* e) {
  QWidget* port = viewport();
  const int32_t w = port->width(), h = port->height();
  if (w <= 0 || h <= 0) return;
  QPainter painter(port);
  if (!client_) {
    painter.fillRect(e->rect(), palette().color(QPalette::Dark));
    return;
  }
  if (backing_.Width() != w || backing_.Height() != h) {
    Guard([&] { backing_.SetSize(w, h); });
    directOnly_ = QRegion();
    if (backing_.Empty()) return;
  }
  // A ragged region would mean many small paints; past a few pieces its bounding box is cheaper.
  const QRegion region = e->region().rectCount() > 8 ? QRegion(e->region().boundingRect()) : e->region();
  // What was drawn straight onto the own pixels is shown as it is; the rest the client paints.
  const QRegion direct = directOnly_ & region;
  directOnly_ -= region;
  for (const QRect& r : region) {
    const TRect clip = IntersectRect(RectOf(r), backing_.BoundsRect());
    if (clip.IsEmpty()) continue;
    if ((QRegion(r) - direct).isEmpty()) {
      painter.drawImage(QPoint(clip.Left, clip.Top), ImageOf(backing_, clip));
      continue;
    }
    // Whatever the client leaves out shows as the window colour, not as old pixels.
    const QColor face = palette().color(QPalette::Dark);
    TBitmapCanvas canvas(backing_);
    canvas.SetClipRect(clip);
    canvas.FillRect(clip, Color32(static_cast<uint32_t>(face.red()), static_cast<uint32_t>(face.green()),
                                  static_cast<uint32_t>(face.blue())));
    Guard([&] { client_->Paint(canvas, clip); });
    painter.drawImage(QPoint(clip.Left, clip.Top), ImageOf(backing_, clip));
  }
}

void TQtWindowHost::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  Guard([&] {
    if (client_) client_->Resized();
  });
}

void TQtWindowHost::mousePressEvent(QMouseEvent* e) {
  TMouseButton button;
  if (!ButtonOf(e->button(), button)) return;
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  const TPoint p = PointOf(e->position());
  const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
  Guard([&] {
    if (client_) client_->MouseDown(button, shift, p.X, p.Y);
  });
}

void TQtWindowHost::mouseDoubleClickEvent(QMouseEvent* e) {
  // Arrives instead of the second press: the double click first (left button only), then the
  // press itself with ssDouble, so every press still gets its release.
  TMouseButton button;
  if (!ButtonOf(e->button(), button)) return;
  const TPoint p = PointOf(e->position());
  const TShiftState shift = static_cast<TShiftState>(ShiftOf(e->modifiers(), e->buttons()) | ssDouble);
  Guard([&] {
    if (!client_) return;
    if (button == TMouseButton::mbLeft) client_->DoubleClick(shift, p.X, p.Y);
    client_->MouseDown(button, shift, p.X, p.Y);
  });
}

void TQtWindowHost::mouseMoveEvent(QMouseEvent* e) {
  const TPoint p = PointOf(e->position());
  const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
  Guard([&] {
    if (client_) client_->MouseMove(shift, p.X, p.Y);
  });
}

void TQtWindowHost::mouseReleaseEvent(QMouseEvent* e) {
  TMouseButton button;
  if (!ButtonOf(e->button(), button)) return;
  const TPoint p = PointOf(e->position());
  const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
  Guard([&] {
    if (client_) client_->MouseUp(button, shift, p.X, p.Y);
  });
  if (button == TMouseButton::mbRight) ShowPopupMenu(p);
}

void TQtWindowHost::wheelEvent(QWheelEvent* e) {
  const TPoint p = PointOf(e->position());
  const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
  // The document's wheel is the vertical one; sideways turns go straight to the horizontal bar.
  const int32_t delta = e->angleDelta().y();
  bool handled = false;
  if (delta != 0) Guard([&] { handled = client_ && client_->MouseWheel(shift, delta, p.X, p.Y); });
  if (handled) {
    e->accept();
  } else {
    // Unhandled turns go to the scroll bar, which asks the document through its actions.
    QAbstractScrollArea::wheelEvent(e);
  }
}

void TQtWindowHost::keyPressEvent(QKeyEvent* e) {
  const uint16_t key = VirtualKeyOf(e->key());
  const TShiftState shift = ShiftOf(e->modifiers(), Qt::NoButton);
  std::u16string typed = e->text().toStdU16String();
  // Ctrl with a letter types the control character (Ctrl+C is 3) whatever the platform put in
  // the text, and the editing keys type theirs, as the document's text editing expects.
  if ((shift & ssCtrl) && !(shift & ssAlt) && key >= 'A' && key <= 'Z') {
    typed = std::u16string(1, static_cast<char16_t>(key - 'A' + 1));
  } else if (typed.empty()) {
    if (key == vk::Back || key == vk::Tab || key == vk::Return || key == vk::Escape) {
      typed = std::u16string(1, static_cast<char16_t>(key));
    }
  }
  Guard([&] {
    if (!client_) return;
    if (key != 0) client_->KeyDown(key, shift);
    for (const char16_t ch : typed) client_->KeyPress(ch);
  });
  e->accept();
}

void TQtWindowHost::keyReleaseEvent(QKeyEvent* e) {
  // A held key repeats its press, not its release.
  if (e->isAutoRepeat()) return;
  const uint16_t key = VirtualKeyOf(e->key());
  const TShiftState shift = ShiftOf(e->modifiers(), Qt::NoButton);
  Guard([&] {
    if (client_ && key != 0) client_->KeyUp(key, shift);
  });
  e->accept();
}

void TQtWindowHost::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  Guard([&] {
    if (client_) client_->FocusChanged(true);
  });
}

void TQtWindowHost::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  Guard([&] {
    if (client_) client_->FocusChanged(false);
  });
}

}  // namespace sw
