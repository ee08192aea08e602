// The print-layout grid: numbering, geometry, toggling by click and key, all and none, the resize
// rule; then one picture of the designer's three controls is written to the build folder.
#include "widgets/layout_grid.h"

#include <QApplication>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "base/exception.h"
#include "widgets/colour_picker.h"
#include "widgets/spin_edit.h"

using namespace sw;

namespace {

QColor At(const QImage& image, const QPoint& p) { return QColor(image.pixel(p)); }

std::vector<int32_t> Ints(std::initializer_list<int32_t> v) { return v; }

}  // namespace

class LayoutGridTest : public QObject {
  Q_OBJECT

private slots:
  void numbersInReadingOrder() {
    TLayoutGridView g;
    g.Resize(5, 2);
    QCOMPARE(g.Rows(), 5);
    QCOMPARE(g.Columns(), 2);
    QCOMPARE(g.PositionAt(0, 0), 1);
    QCOMPARE(g.PositionAt(1, 0), 2);
    QCOMPARE(g.PositionAt(0, 1), 3);
    QCOMPARE(g.PositionAt(1, 4), 10);
    for (int32_t n = 1; n <= 10; ++n) QVERIFY(g.IsPrinted(n));
    QVERIFY(!g.IsPrinted(0));
    QVERIFY(!g.IsPrinted(11));
    QVERIFY(g.SkippedPositions().empty());
  }

  void cellsAndLinesFollowTheWidgetSize() {
    TLayoutGridView g;
    g.resize(200, 120);
    g.Resize(2, 3);
    // (200 − 3 × 8) div 3 = 58 wide, (120 − 2 × 8) div 2 = 52 high, an 8-pixel line after each.
    QCOMPARE(g.CellRect(0, 0), QRect(0, 0, 58, 52));
    QCOMPARE(g.CellRect(2, 1), QRect(132, 60, 58, 52));
    int32_t c = -1, r = -1;
    QVERIFY(g.CellAt(QPoint(140, 70), &c, &r));
    QCOMPARE(c, 2);
    QCOMPARE(r, 1);
    QVERIFY(!g.CellAt(QPoint(60, 10), &c, &r));   // on a grid line
    QVERIFY(!g.CellAt(QPoint(195, 10), &c, &r));  // beyond the last column
    QVERIFY(g.CellRect(3, 0).isEmpty());
  }

  void clickTogglesAndDrawsTheMark() {
    TLayoutGridView g;
    g.resize(200, 120);
    g.Resize(2, 3);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    QSignalSpy changed(&g, &TLayoutGridView::selectionChanged);
    QSignalSpy clicked(&g, &TLayoutGridView::cellClicked);
    QTest::mouseClick(&g, Qt::LeftButton, {}, g.CellRect(1, 1).center());
    QVERIFY(g.IsSkippedAt(1, 1));
    QVERIFY(!g.IsPrinted(5));
    QCOMPARE(g.SkippedPositions(), Ints({5}));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.last().at(0).toInt(), 1);
    QCOMPARE(clicked.last().at(1).toInt(), 1);

    // Skipped: grey background with the skipped icon centred; printed: white with the printed icon.
    const QImage shot = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect skipped = g.CellRect(1, 1), printed = g.CellRect(0, 1);
    QCOMPARE(At(shot, skipped.bottomRight() - QPoint(2, 2)), g.GreyTextColor());
    QCOMPARE(At(shot, printed.bottomRight() - QPoint(2, 2)), QColor(Qt::white));
    QCOMPARE(At(shot, QPoint(printed.right() + 4, printed.top() + 4)), g.GreyTextColor());  // grid line
    auto iconMatches = [&](const QRect& cell, const QImage& icon) {
      const QPoint origin((cell.left() + cell.left() + cell.width() - 16) / 2,
                          (cell.top() + cell.top() + cell.height() - 16) / 2);
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
          if (qAlpha(icon.pixel(x, y)) == 255 && At(shot, origin + QPoint(x, y)) != QColor(icon.pixel(x, y))) return false;
      return true;
    };
    QVERIFY(iconMatches(skipped, TLayoutGridView::SkippedIcon()));
    QVERIFY(iconMatches(printed, TLayoutGridView::PrintedIcon()));
    QVERIFY(TLayoutGridView::SkippedIcon() != TLayoutGridView::PrintedIcon());

    // A second click on the same cell toggles it back; a click on a grid line does nothing.
    QTest::mouseClick(&g, Qt::LeftButton, {}, g.CellRect(1, 1).center());
    QVERIFY(g.IsPrinted(5));
    QTest::mouseClick(&g, Qt::LeftButton, {}, QPoint(60, 10));
    QCOMPARE(clicked.count(), 2);
    QVERIFY(g.SkippedPositions().empty());
  }

  void keyboardSelectsAndToggles() {
    TLayoutGridView g;
    g.resize(200, 120);
    g.Resize(2, 3);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    // Moving onto a cell makes it current, which toggles it; at the edge nothing moves.
    QTest::keyClick(&g, Qt::Key_Right);
    QTest::keyClick(&g, Qt::Key_Down);
    QCOMPARE(g.SkippedPositions(), Ints({2, 5}));
    QTest::keyClick(&g, Qt::Key_Down);
    QCOMPARE(g.CurrentRow(), 1);
    QTest::keyClick(&g, Qt::Key_Space);
    QCOMPARE(g.SkippedPositions(), Ints({2}));
  }

  void allAndNone() {
    TLayoutGridView g;
    g.Resize(2, 2);
    QSignalSpy changed(&g, &TLayoutGridView::selectionChanged);
    g.SelectNone();
    QCOMPARE(g.SkippedPositions(), Ints({1, 2, 3, 4}));
    g.SelectNone();  // nothing to change, no signal
    QCOMPARE(changed.count(), 1);
    g.SelectAll();
    QVERIFY(g.SkippedPositions().empty());
    QCOMPARE(changed.count(), 2);
  }

  void resizeKeepsMarksAtTheirCells() {
    TLayoutGridView g;
    // The window starts with one deselected position.
    g.SetSkippedAt(0, 0, true);
    g.Resize(5, 2);
    QCOMPARE(g.SkippedPositions(), Ints({1}));
    g.SetSkippedAt(1, 4, true);  // position 10
    g.SetSkippedAt(1, 0, true);  // position 2
    QSignalSpy changed(&g, &TLayoutGridView::selectionChanged);
    // The same size keeps everything, silently.
    g.Resize(5, 2);
    QCOMPARE(g.SkippedPositions(), Ints({1, 2, 10}));
    QCOMPARE(changed.count(), 0);
    // Growing keeps each mark at its cell, so the numbers follow the new column count; new cells
    // are printed.
    g.Resize(6, 3);
    QVERIFY(g.IsSkippedAt(0, 0));
    QVERIFY(g.IsSkippedAt(1, 0));
    QVERIFY(g.IsSkippedAt(1, 4));
    QCOMPARE(g.SkippedPositions(), Ints({1, 2, 14}));
    QCOMPARE(changed.count(), 1);
    // Shrinking drops the marks of the cells that go; growing again brings them back printed.
    g.Resize(2, 2);
    QCOMPARE(g.SkippedPositions(), Ints({1, 2}));
    g.Resize(5, 2);
    QVERIFY(!g.IsSkippedAt(1, 4));
    // Counts below one count as one; too many positions are refused and change nothing.
    g.Resize(0, -3);
    QCOMPARE(g.Count(), 1);
    QVERIFY_THROWS_EXCEPTION(Exception, g.Resize(1000, 1000));
    QCOMPARE(g.Count(), 1);
  }

  void pictureOfTheThreeControls() {
    QWidget frame;
    frame.setAutoFillBackground(true);
    auto* layout = new QGridLayout(&frame);
    auto* whole = new TAdvSpinEdit(&frame);
    whole->SetValueQuietly(-15);
    auto* decimal = new TAdvSpinEdit(&frame);
    decimal->SetValueType(svtFloat);
    decimal->SetValueQuietly(23.5);
    auto* picker = new TColorPickerButton(&frame);
    picker->SetColorQuietly(0x0099CCFF);
    auto* grid = new TLayoutGridView(&frame);
    grid->setFixedSize(240, 200);
    grid->Resize(5, 2);
    grid->SetSkippedAt(0, 0, true);
    grid->SetSkippedAt(1, 0, true);
    grid->SetSkippedAt(0, 1, true);
    layout->addWidget(new QLabel("move left", &frame), 0, 0);
    layout->addWidget(whole, 1, 0);
    layout->addWidget(new QLabel("move right", &frame), 2, 0);
    layout->addWidget(new QLabel("outer margin X", &frame), 3, 0);
    layout->addWidget(decimal, 4, 0);
    layout->addWidget(new QLabel("background colour", &frame), 5, 0);
    layout->addWidget(picker, 6, 0);
    layout->addWidget(grid, 0, 1, 8, 1);
    layout->setRowStretch(7, 1);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QImage shot = frame.grab().toImage();
    // The drop-down is a window of its own: draw it where it would open, below the button.
    picker->ShowPopup();
    TColorPalettePopup* popup = picker->Popup();
    QVERIFY(popup);
    QImage popupShot = popup->grab().toImage();
    QImage out(shot.width() + popupShot.width() + 8, std::max(shot.height(), picker->y() + picker->height() + popupShot.height()),
               QImage::Format_ARGB32);
    out.fill(frame.palette().color(QPalette::Window));
    {
      QPainter p(&out);
      p.drawImage(0, 0, shot);
      p.drawImage(shot.width() + 8, picker->y() + picker->height(), popupShot);
    }
    popup->close();
    const QString path = QStringLiteral(STICKWELL_BINARY_DIR "/designer_controls.png");
    QVERIFY(out.save(path));
    QVERIFY(!QImage(path).isNull());
  }
};

QTEST_MAIN(LayoutGridTest)
#include "layout_grid_test.moc"
