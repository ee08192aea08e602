// The rulers: tick placement at known resolutions, numbers that never overlap, the hair line and
// the corner, checked on the offscreen platform; one picture of a ruler pair is written to the
// build folder for a look.
#include "widgets/ruler.h"

#include <QApplication>
#include <QGridLayout>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <cmath>

using namespace sw;

namespace {

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }
bool IsTick(const QImage& image, int x, int y) { return At(image, x, y) == TRsRuler::TickColor().rgb(); }
bool IsFace(const QImage& image, int x, int y) { return At(image, x, y) == TRsRuler::FaceColor().rgb(); }

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Stand-in text measure: 6 pixels a character, like a small font.
int32_t SixPerChar(const std::string& s) { return static_cast<int32_t>(6 * s.size()); }

}  // namespace

class RulerTest : public QObject {
  Q_OBJECT

private slots:
  void layoutPutsTheTenMillimetreTickAtTheRightPixel() {
    // 5 pixels a millimetre: numbers every 5 mm, a tick every millimetre.
    TRulerLayout l = LayoutRuler(ruMilli, 0, 5, 400, SixPerChar);
    QCOMPARE(l.Step, 5.0);
    QCOMPARE(l.Subdivisions, 5);
    auto levelAt = [&](int32_t pos) {
      for (const TRulerTick& t : l.Ticks)
        if (t.Pos == pos) return t.Level;
      return -1;
    };
    QCOMPARE(levelAt(50), 0);
    QCOMPARE(levelAt(45), 2);
    QCOMPARE(levelAt(47), -1);
    QCOMPARE(QString::fromStdString(l.Labels[2].Text), QString("10"));
    QCOMPARE(l.Labels[2].Pos, 50);
    QCOMPARE(l.Labels[2].Start, 52);
    QCOMPARE(l.Labels[2].End, 64);

    // An offset of 2.5 mm puts 10 mm at 37.5 pixels, which rounds to the even 38.
    l = LayoutRuler(ruMilli, 2.5, 5, 400, SixPerChar);
    QCOMPARE(levelAt(38), 0);
    // Centimetres, inches and pixels.
    l = LayoutRuler(ruCenti, 0, 5, 400, SixPerChar);  // "0.5" just fits in 25 pixels
    QCOMPARE(l.Step, 0.5);
    QCOMPARE(l.Subdivisions, 5);
    QCOMPARE(levelAt(50), 0);
    QCOMPARE(levelAt(5), 2);
    QCOMPARE(QString::fromStdString(l.Labels[2].Text), QString("1.0"));
    l = LayoutRuler(ruCenti, 0, 4, 400, SixPerChar);
    QCOMPARE(l.Step, 1.0);
    QCOMPARE(l.Subdivisions, 10);
    QCOMPARE(levelAt(40), 0);
    QCOMPARE(levelAt(20), 1);
    l = LayoutRuler(ruInch, 0, 100 / 25.4, 400, SixPerChar);  // 100 pixels an inch
    QCOMPARE(l.Step, 0.5);
    QCOMPARE(l.Subdivisions, 5);
    QCOMPARE(levelAt(100), 0);
    QCOMPARE(levelAt(50), 0);
    QCOMPARE(levelAt(10), 2);
    l = LayoutRuler(ruInch, 0, 40 / 25.4, 400, SixPerChar);  // 40 pixels an inch: sixteenths do not fit
    QCOMPARE(l.Step, 1.0);
    QCOMPARE(l.Subdivisions, 8);
    QCOMPARE(levelAt(40), 0);
    QCOMPARE(levelAt(20), 1);
    QCOMPARE(levelAt(5), 2);
    l = LayoutRuler(ruPixel, 10, 2, 400, SixPerChar);  // pixel 0 shows 20 px
    QCOMPARE(l.Step, 50.0);
    QCOMPARE(QString::fromStdString(l.Labels.front().Text), QString("50"));
    QCOMPARE(l.Labels.front().Pos, 30);
    QCOMPARE(levelAt(30), 0);
    QCOMPARE(std::fmod(l.Step / l.Subdivisions, 1.0), 0.0);
    QCOMPARE(QString::fromStdString(LayoutRuler(ruMilli, -10, 50, 400, SixPerChar).Labels.front().Text), QString("-10"));
  }

  void numbersNeverOverlapAtAnyResolution() {
    for (const TRulerUnit units : {ruMilli, ruCenti, ruInch, ruPixel}) {
      for (const double offset : {0.0, -12.3, 1234.5, -99999.0, 3e9}) {
        for (double dpm = 0.005; dpm < 5000; dpm *= 1.07) {
          const TRulerLayout l = LayoutRuler(units, offset, dpm, 900, SixPerChar);
          QVERIFY2(!l.Labels.empty(), qPrintable(QString("no numbers %1 %2 %3").arg(units).arg(offset).arg(dpm)));
          for (size_t i = 1; i < l.Labels.size(); ++i) {
            QVERIFY2(l.Labels[i].Start >= l.Labels[i - 1].End + kRulerLabelSpace,
                     qPrintable(QString("overlap %1 %2 %3 at %4").arg(units).arg(offset).arg(dpm).arg(l.Labels[i].Pos)));
            QCOMPARE(l.Labels[i].End - l.Labels[i].Start, SixPerChar(l.Labels[i].Text));
          }
          for (size_t i = 1; i < l.Ticks.size(); ++i) QVERIFY(l.Ticks[i].Pos >= l.Ticks[i - 1].Pos + kRulerMinTickSpace - 1);
          for (const TRulerTick& t : l.Ticks) QVERIFY(t.Pos >= 0 && t.Pos < 900);
          for (const TRulerLabel& label : l.Labels) QVERIFY(label.Start >= 0 && label.End <= 900);
        }
      }
    }
    // Nothing to show, and nothing that can be shown.
    QVERIFY(LayoutRuler(ruNone, 0, 5, 400, SixPerChar).Ticks.empty());
    QVERIFY(LayoutRuler(ruMilli, 0, 0, 400, SixPerChar).Ticks.empty());
    QVERIFY(LayoutRuler(ruMilli, 0, -3, 400, SixPerChar).Ticks.empty());
    QVERIFY(LayoutRuler(ruMilli, 0, NAN, 400, SixPerChar).Ticks.empty());
    QVERIFY(LayoutRuler(ruMilli, INFINITY, 5, 400, SixPerChar).Ticks.empty());
    QVERIFY(LayoutRuler(ruMilli, 1e300, 5, 400, SixPerChar).Ticks.empty());
    QVERIFY(LayoutRuler(ruMilli, 0, 5, 0, SixPerChar).Ticks.empty());
  }

  void rulersDrawTicksAtTheRightPixel() {
    TRsRuler top(TRulerOrientation::Horizontal);
    top.resize(400, TRsRuler::kThickness);
    top.SetScreenDpm(5);
    top.SetHairLineVisible(false);
    QImage image = Grab(top);
    const int bottom = TRsRuler::kThickness - 1;
    for (int y = 0; y < TRsRuler::kThickness; ++y) QVERIFY(IsTick(image, 50, y));  // 10 mm
    QVERIFY(IsFace(image, 49, bottom));
    QVERIFY(IsFace(image, 51, bottom));
    QVERIFY(IsTick(image, 45, bottom));  // 9 mm, a quarter high
    QVERIFY(IsFace(image, 45, bottom - TRsRuler::kThickness / 4));
    bool textBesideTick = false;  // "10" right of its tick, in the upper half
    for (int x = 52; x < 66; ++x)
      for (int y = 0; y < TRsRuler::kThickness / 2; ++y) textBesideTick |= !IsFace(image, x, y);
    QVERIFY(textBesideTick);

    top.SetOffset(2.5f);
    image = Grab(top);
    for (int y = 0; y < TRsRuler::kThickness; ++y) QVERIFY(IsTick(image, 38, y));
    QVERIFY(IsFace(image, 37, bottom));

    TRsRuler left(TRulerOrientation::Vertical);
    left.resize(TRsRuler::kThickness, 300);
    left.SetScreenDpm(5);
    left.SetUnits(ruCenti);
    image = Grab(left);
    for (int x = 0; x < TRsRuler::kThickness; ++x) QVERIFY(IsTick(image, x, 50));  // 1 cm
    QVERIFY(IsFace(image, bottom, 51));
    // Every tick of the layout is drawn with its length from the edge next to the document.
    for (TRsRuler* ruler : {&top, &left}) {
      const bool horizontal = ruler->Orientation() == TRulerOrientation::Horizontal;
      const QImage drawn = Grab(*ruler);
      const TRulerLayout layout = ruler->Layout();
      QVERIFY(layout.Ticks.size() > 20);
      for (const TRulerTick& t : layout.Ticks) {
        const int size = t.Level == 0 ? TRsRuler::kThickness : t.Level == 1 ? TRsRuler::kThickness / 2
                                                                           : TRsRuler::kThickness / 4;
        for (int d = 0; d < size; ++d) {
          QVERIFY(horizontal ? IsTick(drawn, t.Pos, bottom - d) : IsTick(drawn, bottom - d, t.Pos));
        }
        // Minor ticks end where they should (the numbers live further out).
        if (t.Level == 2) QVERIFY(horizontal ? IsFace(drawn, t.Pos, bottom - size) : IsFace(drawn, bottom - size, t.Pos));
      }
    }
  }

  void hairLineAndCorner() {
    TRsRuler top(TRulerOrientation::Horizontal);
    top.resize(300, TRsRuler::kThickness);
    top.SetScreenDpm(5);
    top.SetHairLinePos(77);
    QImage image = Grab(top);
    QCOMPARE(At(image, 77, 3), TRsRuler::HairLineColor().rgb());
    top.SetHairLineVisible(false);
    QVERIFY(At(Grab(top), 77, 3) != TRsRuler::HairLineColor().rgb());
    top.SetHairLineVisible(true);
    top.SetHairLinePos(-1);
    image = Grab(top);
    for (int x = 0; x < 300; ++x) QVERIFY(At(image, x, 3) != TRsRuler::HairLineColor().rgb());
    top.SetUnits(ruNone);
    image = Grab(top);
    for (int x = 0; x < 300; x += 7) QVERIFY(IsFace(image, x, TRsRuler::kThickness - 1));

    TRsRulerCorner corner;
    corner.resize(TRsRuler::kThickness, TRsRuler::kThickness);
    auto inked = [&] {
      const QImage c = Grab(corner);
      int n = 0;
      for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) n += !IsFace(c, x, y);
      return n;
    };
    QVERIFY(inked() > 0);
    corner.SetUnits(ruNone);
    QCOMPARE(inked(), 0);
  }

  void screenshotOfARulerPair() {
    QWidget frame;
    auto* grid = new QGridLayout(&frame);
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* corner = new TRsRulerCorner;
    auto* top = new TRsRuler(TRulerOrientation::Horizontal);
    auto* left = new TRsRuler(TRulerOrientation::Vertical);
    auto* page = new QWidget;
    page->setAutoFillBackground(true);
    page->setPalette(QPalette(Qt::white));
    grid->addWidget(corner, 0, 0);
    grid->addWidget(top, 0, 1);
    grid->addWidget(left, 1, 0);
    grid->addWidget(page, 1, 1);
    frame.resize(520, 360);
    // 150 dots per inch, the window's left edge at -4.2 mm and its top at 12 mm.
    top->SetScreenDpm(5.905512f);
    left->SetScreenDpm(5.905512f);
    top->SetOffset(-4.2f);
    left->SetOffset(12.0f);
    top->SetHairLinePos(210);
    left->SetHairLinePos(95);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const QString path = QStringLiteral(STICKWELL_BINARY_DIR "/ruler_pair.png");
    QVERIFY(frame.grab().save(path));
    QVERIFY(!QImage(path).isNull());
  }
};

QTEST_MAIN(RulerTest)
#include "ruler_test.moc"
