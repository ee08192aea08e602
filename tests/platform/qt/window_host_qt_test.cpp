// The Qt document window on the offscreen platform: what reaches the screen is exactly what the
// client drew, scrolling moves pixels, and events arrive with the right numbers and modifiers.
#include "platform/qt/window_host_qt.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QMenu>
#include <QTest>
#include <QWheelEvent>

#include <string>
#include <vector>

#include "platform/canvas.h"
#include "raster/bitmap32.h"

using namespace sw;

namespace {

TColor32 Pattern(int32_t x, int32_t y) {
  return 0xFF000000u | (static_cast<uint32_t>(x * 7 + 1000) & 0xFF) << 16 |
         (static_cast<uint32_t>(y * 5 + 1000) & 0xFF) << 8 | (static_cast<uint32_t>(x ^ y) & 0xFF);
}

std::string ShiftText(TShiftState s) {
  std::string t;
  for (const auto& [bit, name] : std::initializer_list<std::pair<int, const char*>>{
           {ssShift, "S"}, {ssCtrl, "C"}, {ssAlt, "A"}, {ssLeft, "l"}, {ssRight, "r"}, {ssMiddle, "m"}, {ssDouble, "d"}}) {
    if (s & bit) t += name;
  }
  return t.empty() ? "-" : t;
}

// Records every event as a line of text and paints a pattern scrolled by (OffsetX, OffsetY).
class TRecordingClient : public IWindowClient {
public:
  void Paint(TCanvas& canvas, const TRect& clip) override {
    Paints.push_back(clip);
    TBitmap32 b;
    b.SetSize(clip.Width(), clip.Height());
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) b.SetPixel(x, y, Pattern(clip.Left + x + OffsetX, clip.Top + y + OffsetY));
    canvas.DrawBitmap(clip.Left, clip.Top, b);
  }
  void Resized() override { Log.push_back("resized"); }
  void Scroll(TScrollBarKind kind, TScrollRequest request, int32_t position) override {
    Log.push_back("scroll " + std::to_string(static_cast<int>(kind)) + " " + std::to_string(static_cast<int>(request)) +
                  " " + std::to_string(position));
  }
  void MouseDown(TMouseButton b, TShiftState s, int32_t x, int32_t y) override {
    if (ThrowOnDown) throw Exception("Mouse down failed");
    Log.push_back("down " + std::to_string(static_cast<int>(b)) + " " + ShiftText(s) + " " + std::to_string(x) + "," +
                  std::to_string(y));
  }
  void MouseMove(TShiftState s, int32_t x, int32_t y) override {
    Log.push_back("move " + ShiftText(s) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  void MouseUp(TMouseButton b, TShiftState s, int32_t x, int32_t y) override {
    Log.push_back("up " + std::to_string(static_cast<int>(b)) + " " + ShiftText(s) + " " + std::to_string(x) + "," +
                  std::to_string(y));
  }
  void DoubleClick(TShiftState s, int32_t x, int32_t y) override {
    Log.push_back("dblclick " + ShiftText(s) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  bool MouseWheel(TShiftState s, int32_t delta, int32_t x, int32_t y) override {
    Log.push_back("wheel " + ShiftText(s) + " " + std::to_string(delta) + " " + std::to_string(x) + "," +
                  std::to_string(y));
    return WheelHandled;
  }
  void KeyDown(uint16_t key, TShiftState s) override { Log.push_back("keydown " + std::to_string(key) + " " + ShiftText(s)); }
  void KeyPress(char16_t ch) override { Log.push_back("keypress " + std::to_string(static_cast<int>(ch))); }
  void KeyUp(uint16_t key, TShiftState s) override { Log.push_back("keyup " + std::to_string(key) + " " + ShiftText(s)); }
  void FocusChanged(bool focused) override { Log.push_back(focused ? "focus in" : "focus out"); }
  TPopupMenu* CurrentPopupMenu() override { return Menu; }
  bool WantsSpecialKey(uint16_t key) override { return WantsKeys || key != vk::Tab; }

  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(Log);
    return out;
  }

  int32_t OffsetX = 0, OffsetY = 0;
  bool WheelHandled = true;
  bool ThrowOnDown = false;
  bool WantsKeys = true;
  TPopupMenu* Menu = nullptr;
  std::vector<TRect> Paints;
  std::vector<std::string> Log;
};

// The pixels of the window's viewport as they are in the window's backing store (not re-rendered).
QImage OnScreen(TQtWindowHost& host) {
  QWidget* port = host.viewport();
  const QPoint origin = port->mapTo(host.window(), QPoint(0, 0));
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen->grabWindow(host.window()->winId(), origin.x(), origin.y(), port->width(), port->height()).toImage();
}

QString FirstMismatch(const QImage& image, const TRecordingClient& client, int w, int h) {
  if (image.width() != w || image.height() != h) return QString("size %1x%2").arg(image.width()).arg(image.height());
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((rgb.pixel(x, y) | 0xFF000000u) != Pattern(x + client.OffsetX, y + client.OffsetY))
        return QString("pixel %1,%2: %3").arg(x).arg(y).arg(rgb.pixel(x, y), 8, 16);
  return {};
}

QString Joined(const std::vector<std::string>& lines) {
  QStringList out;
  for (const std::string& l : lines) out << QString::fromStdString(l);
  return out.join(" | ");
}

}  // namespace

class WindowHostQtTest : public QObject {
  Q_OBJECT

private slots:
  void init() {
    host = new TQtWindowHost();
    host->setFrameStyle(QFrame::NoFrame);
    host->SetClient(&client);
    client = TRecordingClient();
    host->resize(200, 150);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host));
    QApplication::processEvents();
    client.Take();
  }
  void cleanup() {
    delete host;
    host = nullptr;
  }

  void paintsExactlyWhatTheClientDrew() {
    QCOMPARE(host->ClientWidth(), 200);
    QCOMPARE(host->ClientHeight(), 150);
    const QImage grabbed = host->viewport()->grab().toImage();
    QCOMPARE(FirstMismatch(grabbed, client, 200, 150), QString());
    QCOMPARE(FirstMismatch(OnScreen(*host), client, 200, 150), QString());

    // An invalidated rectangle is all the next paint asks for.
    client.Paints.clear();
    host->Invalidate({10, 20, 50, 40});
    QTRY_VERIFY2_WITH_TIMEOUT(!client.Paints.empty(), "the invalidated rectangle was never painted", 5000);
    for (const TRect& r : client.Paints) {
      QVERIFY(r.Left >= 10 && r.Top >= 20 && r.Right <= 50 && r.Bottom <= 40);
    }
  }

  void scrollsByWholePixelsAndPaintsOnlyWhatComesIntoView() {
    for (const auto& [dx, dy] : std::vector<std::pair<int, int>>{{0, -13}, {7, 0}, {-25, 9}, {0, 40}}) {
      client.Paints.clear();
      client.OffsetX -= dx;
      client.OffsetY -= dy;
      host->ScrollContent(dx, dy);
      QApplication::processEvents();
      // Pixels moved rather than being painted again: the paints cover the uncovered strips only.
      int64_t painted = 0;
      for (const TRect& r : client.Paints) painted += static_cast<int64_t>(r.Width()) * r.Height();
      const int64_t exposed = std::abs(dx) * 150 + std::abs(dy) * 200;
      QVERIFY2(painted <= exposed, qPrintable(QString("painted %1 of exposed %2").arg(painted).arg(exposed)));
      QCOMPARE(FirstMismatch(OnScreen(*host), client, 200, 150), QString());
    }
  }

  void forwardsResizesAndScrollBarsChangeTheClient() {
    host->resize(260, 170);
    QApplication::processEvents();
    QVERIFY(client.Take() == std::vector<std::string>{"resized"});
    QCOMPARE(host->ClientWidth(), 260);

    TScrollBarInfo info{0, 1000, 170, 300, 9, true};
    host->SetScrollBar(TScrollBarKind::Vertical, info);
    QApplication::processEvents();
    QVERIFY(host->verticalScrollBar()->isVisible());
    QVERIFY(host->ClientWidth() < 260);
    QCOMPARE(host->ClientWidth(), host->viewport()->width());
    QVERIFY(!client.Take().empty());  // the client heard of its new width
    QCOMPARE(host->verticalScrollBar()->value(), 300);
    QCOMPARE(host->verticalScrollBar()->maximum(), 830);
    QCOMPARE(host->verticalScrollBar()->pageStep(), 170);
    QVERIFY(host->verticalScrollBar()->isEnabled());

    // The user's action becomes a request; the bar stays where the document put it.
    host->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(client.Take() == (std::vector<std::string>{"scroll 1 1 309", "scroll 1 8 309"}));
    QCOMPARE(host->verticalScrollBar()->value(), 300);
    host->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    QVERIFY(client.Take() == (std::vector<std::string>{"scroll 1 2 130", "scroll 1 8 130"}));
    host->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    QVERIFY(client.Take() == (std::vector<std::string>{"scroll 1 7 830", "scroll 1 8 830"}));
    QCOMPARE(host->verticalScrollBar()->value(), 300);

    // A bar that cannot move is disabled, and hiding it gives the room back.
    host->SetScrollBar(TScrollBarKind::Vertical, TScrollBarInfo{0, 100, 170, 0, 9, true});
    QVERIFY(!host->verticalScrollBar()->isEnabled());
    host->SetScrollBar(TScrollBarKind::Vertical, TScrollBarInfo{});
    QApplication::processEvents();
    QVERIFY(!host->verticalScrollBar()->isVisible());
    QCOMPARE(host->ClientWidth(), 260);
  }

  void forwardsMouseWithButtonsAndModifiers() {
    QWidget* port = host->viewport();
    QTest::mousePress(port, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, QPoint(10, 20));
    // A drag with Alt held; fractional positions fall on the pixel under them.
    QMouseEvent drag(QEvent::MouseMove, QPointF(15.7, 22.2), port->mapToGlobal(QPointF(15.7, 22.2)), Qt::NoButton,
                     Qt::LeftButton, Qt::AltModifier);
    QApplication::sendEvent(port, &drag);
    QTest::mouseRelease(port, Qt::LeftButton, Qt::AltModifier, QPoint(16, 23));
    QTest::mousePress(port, Qt::RightButton, Qt::NoModifier, QPoint(3, 4));
    QTest::mouseRelease(port, Qt::RightButton, Qt::NoModifier, QPoint(3, 4));
    std::vector<std::string> log = client.Take();
    const std::vector<std::string> expected = {"down 0 SCl 10,20", "move Al 15,22", "up 0 A 16,23", "down 1 r 3,4",
                                               "up 1 - 3,4"};
    QCOMPARE(Joined(log), Joined(expected));

    // The platform's double-click event takes the place of the second press.
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(30, 40), port->mapToGlobal(QPointF(30, 40)), Qt::LeftButton,
                      Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(port, &twice);
    QMouseEvent rightTwice(QEvent::MouseButtonDblClick, QPointF(31, 41), port->mapToGlobal(QPointF(31, 41)),
                           Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(port, &rightTwice);
    log = client.Take();
    // Only the left button double-clicks; every second press still arrives, marked ssDouble.
    const std::vector<std::string> dbl = {"dblclick Cld 30,40", "down 0 Cld 30,40", "down 1 rd 31,41"};
    QCOMPARE(Joined(log), Joined(dbl));
  }

  void forwardsWheelAndFallsBackToTheScrollBar() {
    host->SetScrollBar(TScrollBarKind::Vertical, TScrollBarInfo{0, 1000, 150, 0, 9, true});
    QApplication::processEvents();
    client.Take();
    QWheelEvent notch(QPointF(5, 6), host->viewport()->mapToGlobal(QPointF(5, 6)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(host->viewport(), &notch);
    QVERIFY(client.Take() == std::vector<std::string>{"wheel C -120 5,6"});
    client.WheelHandled = false;
    QWheelEvent plain(QPointF(5, 6), host->viewport()->mapToGlobal(QPointF(5, 6)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(host->viewport(), &plain);
    const std::vector<std::string> log = client.Take();
    QVERIFY(log.size() >= 2);
    QCOMPARE(log[0], std::string("wheel - -120 5,6"));
    QVERIFY(log[1].rfind("scroll 1 ", 0) == 0);  // the bar asks the document
    QCOMPARE(host->verticalScrollBar()->value(), 0);

    // A sideways turn is the horizontal bar's business.
    host->SetScrollBar(TScrollBarKind::Horizontal, TScrollBarInfo{0, 1000, 150, 0, 9, true});
    QApplication::processEvents();
    client.Take();
    QWheelEvent sideways(QPointF(5, 6), host->viewport()->mapToGlobal(QPointF(5, 6)), QPoint(), QPoint(-120, 0),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(host->viewport(), &sideways);
    const std::vector<std::string> side = client.Take();
    QVERIFY(!side.empty());
    QVERIFY(side[0].rfind("scroll 0 ", 0) == 0);
  }

  void focusAndCaptureReachTheClient() {
    host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host));
    host->clearFocus();
    client.Take();
    host->SetFocus();
    QVERIFY(host->Focused());
    host->clearFocus();
    QVERIFY(!host->Focused());
    QCOMPARE(Joined(client.Take()), QString("focus in | focus out"));
    host->SetMouseCapture(true);
    QCOMPARE(QWidget::mouseGrabber(), host->viewport());
    host->SetMouseCapture(false);
    QVERIFY(QWidget::mouseGrabber() == nullptr);
  }

  void forwardsKeysAsVirtualKeysAndTypedCharacters() {
    host->activateWindow();
    host->SetFocus();
    QVERIFY(QTest::qWaitForWindowActive(host));
    QVERIFY(host->Focused());
    client.Take();
    QTest::keyClick(host, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(host, Qt::Key_A);
    QTest::keyClick(host, Qt::Key_Tab);
    QTest::keyClick(host, Qt::Key_F5);
    QTest::keyClick(host, Qt::Key_Left, Qt::ShiftModifier);
    const std::vector<std::string> expected = {
        // Ctrl+C types 3; the modifier keys come and go as keys of their own.
        "keydown 17 C", "keydown 67 C", "keypress 3", "keyup 67 C", "keyup 17 -",
        "keydown 65 -", "keypress 97", "keyup 65 -",  // 'a'
        "keydown 9 -", "keypress 9", "keyup 9 -",     // Tab stays with the document
        "keydown 116 -", "keyup 116 -",               // F5
        "keydown 16 S", "keydown 37 S", "keyup 37 S", "keyup 16 -"};
    const std::vector<std::string> log = client.Take();
    QCOMPARE(Joined(log), Joined(expected));
    QVERIFY(host->Focused());
    QCOMPARE(VirtualKeyOf(Qt::Key_PageDown), vk::Next);
    QCOMPARE(VirtualKeyOf(Qt::Key_7), uint16_t('7'));
    QCOMPARE(VirtualKeyOf(Qt::Key_AsciiTilde), uint16_t(0));
  }

  void errorsAreReportedAfterTheEventNotThrough() {
    std::vector<std::string> reported;
    host->SetErrorHandler([&](const std::string& m) { reported.push_back(m); });
    client.ThrowOnDown = true;
    QTest::mousePress(host->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    QVERIFY(reported.empty());
    QApplication::processEvents();
    QVERIFY(reported == std::vector<std::string>{"Mouse down failed"});
    QTest::mouseRelease(host->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
  }

  void cursorsMapToQtShapes() {
    host->SetCursor(crSizeNWSE);
    QCOMPARE(host->CurrentCursor(), crSizeNWSE);
    QCOMPARE(host->viewport()->cursor().shape(), Qt::SizeFDiagCursor);
    host->RegisterCursor(-31, QCursor(Qt::ClosedHandCursor));
    host->SetCursor(-31);
    QCOMPARE(host->viewport()->cursor().shape(), Qt::ClosedHandCursor);
    // The program's own cursors are pictures of their own.
    host->SetCursor(-37);
    QCOMPARE(host->viewport()->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(host->CursorFor(-30).shape(), Qt::BitmapCursor);
    host->SetCursor(-29);  // unregistered
    QCOMPARE(host->viewport()->cursor().shape(), Qt::ArrowCursor);
  }

  void drawsDirectlyWithoutAskingTheClient() {
    client.Paints.clear();
    host->DrawDirect({10, 10, 30, 20}, [](TCanvas& canvas) { canvas.FillRect({0, 0, 200, 150}, 0xFF0000FFu); });
    QApplication::processEvents();
    QVERIFY(client.Paints.empty());
    const QImage shown = OnScreen(*host).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.pixel(15, 15) | 0xFF000000u, 0xFF0000FFu);
    QCOMPARE(shown.pixel(35, 15) | 0xFF000000u, Pattern(35, 15));  // the drawing stays in its bounds
    // Scrolling moves the direct drawing along with the rest; an invalidation paints it over.
    host->ScrollContent(5, 0);
    client.OffsetX -= 5;
    QApplication::processEvents();
    QCOMPARE(OnScreen(*host).convertToFormat(QImage::Format_RGB32).pixel(32, 15) | 0xFF000000u, 0xFF0000FFu);
    host->InvalidateAll();
    QApplication::processEvents();
    QCOMPARE(FirstMismatch(OnScreen(*host), client, 200, 150), QString());
  }

  void showsTheClientsMenuAfterARightClickAndTheHint() {
    std::vector<std::string> clicked;
    TPopupMenu menu;
    menu.Items.push_back({"Cut", "Ctrl+X", [&](const std::string& c) { clicked.push_back(c); }});
    menu.Items.push_back({"Copy", "Ctrl+C", [&](const std::string& c) { clicked.push_back(c); }});
    QTest::mouseClick(host->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    QVERIFY(host->ShownPopupMenu() == nullptr);  // the client had none
    client.Menu = &menu;
    QTest::mouseClick(host->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    QMenu* shown = host->ShownPopupMenu();
    QVERIFY(shown != nullptr);
    QCOMPARE(shown->actions().size(), 2);
    QCOMPARE(shown->actions()[1]->text(), QString("Copy"));
    QCOMPARE(shown->actions()[0]->shortcut(), QKeySequence("Ctrl+X"));
    shown->actions()[1]->trigger();
    QVERIFY(clicked == std::vector<std::string>{"Copy"});
    shown->close();

    host->ShowHint("the magnet", {10, 30}, 0xE0FFFF);
    QVERIFY(host->HintWindow() != nullptr);
    QCOMPARE(host->HintWindow()->text(), QString("the magnet"));
    QCOMPARE(host->HintWindow()->pos(), host->viewport()->mapToGlobal(QPoint(10, 30)));
    host->HideHint();
    QVERIFY(host->HintWindow() == nullptr);
    host->HideHint();
  }

  void reportsTheWholeWindowAndThePointer() {
    QCOMPARE(host->WindowWidth(), 200);
    QCOMPARE(host->WindowHeight(), 150);
    QCOMPARE(host->KeyboardState(), TShiftState(0));
    QCursor::setPos(host->viewport()->mapToGlobal(QPoint(12, 34)));
    const TPoint p = host->CursorPos();
    // Offscreen platforms may not move a pointer at all; where they do, it is in client pixels.
    if (QCursor::pos() == host->viewport()->mapToGlobal(QPoint(12, 34))) {
      QCOMPARE(p.X, 12);
      QCOMPARE(p.Y, 34);
    }
  }

private:
  TQtWindowHost* host = nullptr;
  TRecordingClient client;
};

QTEST_MAIN(WindowHostQtTest)
#include "window_host_qt_test.moc"
