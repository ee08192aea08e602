// The document in the Qt window host on the offscreen platform: what the window shows is what the
// document paints, whole-pixel scrolls keep it so, a resize refits the page's width, and the mouse
// drags shapes with the XOR outline on the screen exactly while the drag runs.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

#include <memory>

#include "engine/document.h"
#include "platform/bitmap_canvas.h"
#include "platform/qt/window_host_qt.h"

using namespace sw;

namespace {

// A shape that fills its rectangle, so the page has something to show.
class TFillShape : public TdtpShape {
public:
  explicit TFillShape(TColor32 color) : color_(color) {}
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo&) override {
    const TPoint p0 = RoundPoint(LocalToPaint({0, 0}));
    const TPoint p1 = RoundPoint(LocalToPaint({DocWidth(), DocHeight()}));
    bitmap.FillRectT(TRect{p0.X, p0.Y, p1.X, p1.Y}, color_);
  }

private:
  TColor32 color_;
};

// The pixels of the viewport as they are in the window's backing store (not painted again).
QImage OnScreen(TQtWindowHost& host) {
  QWidget* port = host.viewport();
  const QPoint origin = port->mapTo(host.window(), QPoint(0, 0));
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen->grabWindow(host.window()->winId(), origin.x(), origin.y(), port->width(), port->height())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

// What the document paints for the whole client, painted headless.
QImage Expected(TdtpDocument& doc, int w, int h) {
  TBitmap32 bitmap;
  bitmap.SetSize(w, h);
  TBitmapCanvas canvas(bitmap);
  doc.Paint(canvas, TRect{0, 0, w, h});
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) image.setPixel(x, y, bitmap.Pixel(x, y) | 0xFF000000u);
  }
  return image;
}

QString FirstMismatch(const QImage& shown, const QImage& expected) {
  if (shown.size() != expected.size()) {
    return QString("size %1x%2, not %3x%4").arg(shown.width()).arg(shown.height()).arg(expected.width()).arg(expected.height());
  }
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      if ((shown.pixel(x, y) | 0xFF000000u) != expected.pixel(x, y)) {
        return QString("pixel %1,%2: %3, not %4").arg(x).arg(y).arg(shown.pixel(x, y), 8, 16).arg(expected.pixel(x, y), 8, 16);
      }
    }
  }
  return {};
}

// A mouse move with the buttons held, as the window system reports it.
void MoveMouse(QWidget* widget, const QPoint& p, Qt::MouseButtons buttons) {
  QMouseEvent e(QEvent::MouseMove, QPointF(p), widget->mapToGlobal(QPointF(p)), Qt::NoButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &e);
}

}  // namespace

class DocumentHostTest : public QObject {
  Q_OBJECT

private slots:
  void init() {
    doc = std::make_unique<TdtpDocument>();
    auto shape = std::make_unique<TFillShape>(0xFFFF0000u);
    TdtpShape* s = shape.get();
    doc->AddShape(std::move(shape));
    s->SetBounds(20, 30, 80, 50);
    auto turned = std::make_unique<TFillShape>(0xFF0000FFu);
    TdtpShape* t = turned.get();
    doc->AddShape(std::move(turned));
    t->SetBounds(60, 120, 70, 40);
    t->SetAngle(20);
    host = std::make_unique<TQtWindowHost>();
    host->setFrameStyle(QFrame::NoFrame);
    host->resize(400, 300);
    host->SetClient(doc.get());
    doc->SetWindowHost(host.get());
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    QApplication::processEvents();
  }
  void cleanup() {
    host->SetClient(nullptr);
    doc->SetWindowHost(nullptr);
    host.reset();
    doc.reset();
  }

  void showsWhatTheDocumentPaints() {
    // Fitted to the width left beside the vertical bar the tall page needs.
    QVERIFY(host->verticalScrollBar()->isVisible());
    QVERIFY(!host->horizontalScrollBar()->isVisible());
    QCOMPARE(host->ClientWidth(), host->viewport()->width());
    QVERIFY(std::abs(doc->ScreenDpm() - (host->ClientWidth() - 22) / 211.0) < 1e-9);
    const QImage expected = Expected(*doc, host->ClientWidth(), host->ClientHeight());
    QCOMPARE(FirstMismatch(OnScreen(*host), expected), QString());
    // The page is there: white sheet, the red shape.
    const QPoint red = QPoint(int(10 + 60 * doc->ScreenDpm()), int(10 + 55 * doc->ScreenDpm()));
    QCOMPARE(expected.pixel(red), 0xFFFF0000u);
  }

  void scrollsByWholePixels() {
    const int w = host->ClientWidth(), h = host->ClientHeight();
    host->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QApplication::processEvents();
    QCOMPARE(doc->YPosition(), 9.0);
    QCOMPARE(host->verticalScrollBar()->value(), 9);
    QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, w, h)), QString());

    for (const int step : {37, 120, -55}) {
      int32_t dx = 0, dy = step;
      doc->ScrollBy(dx, dy);
      QCOMPARE(dy, step);
      QApplication::processEvents();
      QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, w, h)), QString());
    }
    QVERIFY(std::abs(doc->WindowTop - (9 + 37 + 120 - 55) / doc->ScreenDpm()) < 1e-9);

    host->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    QApplication::processEvents();
    QVERIFY(std::abs(doc->YPosition() - (doc->YRange() - h)) <= 0.5);
    QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, w, h)), QString());
  }

  void resizeRefitsTheWidth() {
    host->resize(600, 500);
    QApplication::processEvents();
    QVERIFY(std::abs(doc->ScreenDpm() - (host->ClientWidth() - 22) / 211.0) < 1e-9);
    QCOMPARE(doc->YPosition(), 0.0);
    QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, host->ClientWidth(), host->ClientHeight())), QString());

    // Zoomed, a resize keeps the zoom.
    doc->SetZoomPercent(150);
    const double zoomed = doc->ScreenDpm();
    host->resize(500, 400);
    QApplication::processEvents();
    QCOMPARE(doc->ScreenDpm(), zoomed);
    QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, host->ClientWidth(), host->ClientHeight())), QString());
  }

  void dragsAShapeShowingTheOutlineOnlyWhileDragging() {
    TdtpShape* red = doc->Shapes(0);
    QWidget* port = host->viewport();
    const int w = host->ClientWidth(), h = host->ClientHeight();
    const TFloatPoint c = red->LocalToScreen({40, 25});
    const QPoint p(int(c.X), int(c.Y));
    MoveMouse(port, p, Qt::NoButton);
    QCOMPARE(port->cursor().shape(), Qt::PointingHandCursor);
    QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, p);
    QVERIFY(red->Selected());
    MoveMouse(port, p + QPoint(20, 10), Qt::LeftButton);
    MoveMouse(port, p + QPoint(40, 20), Qt::LeftButton);
    QVERIFY(doc->OutlineShown());
    QApplication::processEvents();
    QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, w, h)), QString());
    // Escape ends the drag unapplied and takes the outline away.
    QTest::keyClick(host.get(), Qt::Key_Escape);
    QVERIFY(!doc->OutlineShown());
    QApplication::processEvents();
    QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, w, h)), QString());
    QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, p + QPoint(40, 20));
    QCOMPARE(red->DocLeft(), 20.0f);

    // The same drag released moves the shape by the mouse's way.
    QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, p);
    MoveMouse(port, p + QPoint(20, 10), Qt::LeftButton);
    MoveMouse(port, p + QPoint(40, 20), Qt::LeftButton);
    QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, p + QPoint(40, 20));
    QVERIFY(std::abs(red->DocLeft() - (20 + 40 / doc->ScreenDpm())) < 1e-3);
    QVERIFY(std::abs(red->DocTop() - (30 + 20 / doc->ScreenDpm())) < 1e-3);
    QApplication::processEvents();
    QCOMPARE(FirstMismatch(OnScreen(*host), Expected(*doc, w, h)), QString());
    QVERIFY(doc->Undo());
    QCOMPARE(red->DocLeft(), 20.0f);
  }

private:
  std::unique_ptr<TdtpDocument> doc;
  std::unique_ptr<TQtWindowHost> host;
};

QTEST_MAIN(DocumentHostTest)
#include "document_host_test.moc"
