// The colour-picker button: colour conversions, choosing a swatch with the mouse and the keys, and
// the custom colour through a scripted dialog.
#include "widgets/colour_picker.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

using namespace sw;

namespace {

TColorPalettePopup* Open(TColorPickerButton& b) {
  QTest::mouseClick(&b, Qt::LeftButton);
  return b.Popup();
}

int32_t IndexOf(TdtpColor color) {
  const std::span<const TColorSwatch> p = ColorPalette();
  for (size_t i = 0; i < p.size(); ++i)
    if (p[i].Color == color) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace

class ColourPickerTest : public QObject {
  Q_OBJECT

private slots:
  void conversionsKeepTheByteOrder() {
    QCOMPARE(ColorToQColor(0x00336699), QColor(0x99, 0x66, 0x33));
    QCOMPARE(QColorToColor(QColor(0x99, 0x66, 0x33)), 0x00336699);
    QCOMPARE(QColorToColor(QColor(1, 2, 3, 10)), 0x00030201);  // alpha dropped
    QCOMPARE(QColorToColor(QColor()), 0);
    for (const TColorSwatch& s : ColorPalette()) QCOMPARE(QColorToColor(ColorToQColor(s.Color)), s.Color);
    // A system-colour reference resolves to an opaque colour.
    QVERIFY(ColorToQColor(static_cast<int32_t>(0x80000005u)).isValid());
  }

  void paletteHasDistinctColours() {
    const std::span<const TColorSwatch> p = ColorPalette();
    QCOMPARE(p.size() % kColorPaletteColumns, size_t(0));
    for (size_t i = 0; i < p.size(); ++i) {
      QVERIFY(p[i].Color.Value >= 0);
      QCOMPARE(IndexOf(p[i].Color), static_cast<int32_t>(i));
    }
  }

  void clickingASwatchChoosesIt() {
    TColorPickerButton b;
    b.resize(60, 23);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QSignalSpy changed(&b, &TColorPickerButton::colorChanged);
    TColorPalettePopup* popup = Open(b);
    QVERIFY(popup);
    QVERIFY(popup->isVisible());
    // White is the starting colour, so the keyboard starts on its swatch.
    QCOMPARE(popup->Current(), IndexOf(0x00FFFFFF));
    const int32_t red = IndexOf(0x000000FF);
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->SwatchRect(red).center());
    QCOMPARE(b.Color(), 0x000000FF);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last().at(0).toInt(), 0x000000FF);
    QVERIFY(!b.Popup());
    // The button face shows the colour.
    const QImage face = b.grab().toImage();
    QCOMPARE(QColor(face.pixel(b.width() / 3, b.height() / 2)), QColor(255, 0, 0));

    // Choosing the colour already shown changes nothing; a click between swatches chooses nothing.
    popup = Open(b);
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->SwatchRect(red).center());
    QCOMPARE(changed.count(), 1);
    popup = Open(b);
    QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(1, 1));
    QVERIFY(b.Popup());
    QTest::keyClick(popup, Qt::Key_Escape);
    QVERIFY(!b.Popup());
    QCOMPARE(changed.count(), 1);
  }

  void keyboardMovesAndChooses() {
    TColorPickerButton b;
    b.SetColorQuietly(ColorPalette()[0].Color);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    TColorPalettePopup* popup = Open(b);
    QCOMPARE(popup->Current(), 0);
    QTest::keyClick(popup, Qt::Key_Right);
    QTest::keyClick(popup, Qt::Key_Down);
    QCOMPARE(popup->Current(), kColorPaletteColumns + 1);
    QTest::keyClick(popup, Qt::Key_Return);
    QCOMPARE(b.Color(), ColorPalette()[kColorPaletteColumns + 1].Color);
  }

  void customColourGoesThroughTheDialog() {
    TColorPickerButton b;
    b.SetColorQuietly(0x00123456);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QColor offered;
    QColor answer(10, 20, 30);
    bool popupOpenDuringDialog = true;
    b.SetColorDialog([&](const QColor& initial, QWidget*) {
      offered = initial;
      popupOpenDuringDialog = b.Popup() != nullptr;
      return answer;
    });
    QSignalSpy changed(&b, &TColorPickerButton::colorChanged);
    TColorPalettePopup* popup = Open(b);
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->CustomEntryRect().center());
    QCOMPARE(offered, QColor(0x56, 0x34, 0x12));
    QVERIFY(!popupOpenDuringDialog);
    QCOMPARE(b.Color(), 0x001E140A);
    QCOMPARE(changed.count(), 1);

    // Cancelling the dialog keeps the colour.
    answer = QColor();
    popup = Open(b);
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->CustomEntryRect().center());
    QCOMPARE(b.Color(), 0x001E140A);
    QCOMPARE(changed.count(), 1);
  }

  void quietSetAndDisabledButton() {
    TColorPickerButton b;
    QSignalSpy changed(&b, &TColorPickerButton::colorChanged);
    b.SetColorQuietly(0x0000FF00);
    QCOMPARE(b.Color(), 0x0000FF00);
    QCOMPARE(changed.count(), 0);
    b.SetColor(0x0000FF00);
    QCOMPARE(changed.count(), 0);
    b.SetColor(0x00FF0000);
    QCOMPARE(changed.count(), 1);
    b.setEnabled(false);
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QTest::mouseClick(&b, Qt::LeftButton);
    QVERIFY(!b.Popup());
  }
};

QTEST_MAIN(ColourPickerTest)
#include "colour_picker_test.moc"
