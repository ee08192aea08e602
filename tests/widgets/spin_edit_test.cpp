// The flat spin edit driven as a user drives it: arrows clicked and held, values typed, keys.
#include "widgets/spin_edit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace sw;

namespace {

// Records the order of the three signals as letters: S started, V value, E ended.
struct TSignalLog {
  QString Events;
  explicit TSignalLog(TAdvSpinEdit& s) {
    QObject::connect(&s, &TAdvSpinEdit::gestureStarted, [this] { Events += 'S'; });
    QObject::connect(&s, &TAdvSpinEdit::valueChanged, [this] { Events += 'V'; });
    QObject::connect(&s, &TAdvSpinEdit::gestureEnded, [this] { Events += 'E'; });
  }
};

void Type(TAdvSpinEdit& s, const QString& text) {
  s.Editor()->selectAll();
  QTest::keyClicks(s.Editor(), text);
  QTest::keyClick(s.Editor(), Qt::Key_Return);
}

}  // namespace

class SpinEditTest : public QObject {
  Q_OBJECT

private slots:
  void parsesLocaleFree() {
    QCOMPARE(ParseSpinText("12.5").value(), 12.5);
    QCOMPARE(ParseSpinText(" -3,5 ").value(), -3.5);
    QCOMPARE(ParseSpinText("+7").value(), 7.0);
    QVERIFY(!ParseSpinText("").has_value());
    QVERIFY(!ParseSpinText("-").has_value());
    QVERIFY(!ParseSpinText("--1").has_value());
    QVERIFY(!ParseSpinText("1.2.3").has_value());
    QVERIFY(!ParseSpinText("12mm").has_value());
    QVERIFY(!ParseSpinText("nan").has_value());
    QCOMPARE(QString::fromStdString(FormatSpinValue(-0.01, 1)), QString("0.0"));
    QCOMPARE(QString::fromStdString(FormatSpinValue(23, 1)), QString("23.0"));
  }

  void upperArrowDecreasesLowerIncreases() {
    TAdvSpinEdit s;
    s.resize(80, TAdvSpinEdit::kHeight);
    s.show();
    s.SetValueQuietly(10);
    TSignalLog log(s);
    QVERIFY(s.UpperArrow()->geometry().bottom() < s.LowerArrow()->geometry().top());
    QTest::mouseClick(s.UpperArrow(), Qt::LeftButton);
    QCOMPARE(s.Value(), 9.0);
    QCOMPARE(s.Editor()->text(), QString("9"));
    QTest::mouseClick(s.LowerArrow(), Qt::LeftButton);
    QTest::mouseClick(s.LowerArrow(), Qt::LeftButton);
    QCOMPARE(s.IntValue(), 11);
    // Each single click is one gesture with its change inside it.
    QCOMPARE(log.Events, QString("SVESVESVE"));
    QCOMPARE(s.height(), 21);
  }

  void limitsAndTheNoLimitRule() {
    TAdvSpinEdit s;
    s.resize(80, TAdvSpinEdit::kHeight);
    s.SetRange(0, 150);
    s.SetValue(150);
    TSignalLog log(s);
    QTest::mouseClick(s.LowerArrow(), Qt::LeftButton);
    QCOMPARE(s.Value(), 150.0);
    // At the limit the gesture still opens and closes, with no change inside.
    QCOMPARE(log.Events, QString("SE"));
    s.SetValue(-20);
    QCOMPARE(s.Value(), 0.0);
    s.SetValue(1000);
    QCOMPARE(s.Value(), 150.0);
    // Narrowing the range pulls the value in, with a signal.
    QSignalSpy changed(&s, &TAdvSpinEdit::valueChanged);
    s.SetRange(-359, 100);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(s.Value(), 100.0);

    // Both 0: no limit either way, except the hard bound that keeps IntValue exact.
    s.SetRange(0, 0);
    s.SetValue(-5000);
    QCOMPARE(s.Value(), -5000.0);
    QTest::mouseClick(s.UpperArrow(), Qt::LeftButton);
    QCOMPARE(s.Value(), -5001.0);
    s.SetValue(1e15);
    QCOMPARE(s.Value(), TAdvSpinEdit::kHardLimit);
    QCOMPARE(s.IntValue(), 1000000000);
  }

  void decimalModeStepsByHalves() {
    TAdvSpinEdit s;
    s.resize(80, TAdvSpinEdit::kHeight);
    s.SetValueType(svtFloat);
    s.SetValueQuietly(15);
    QCOMPARE(s.Editor()->text(), QString("15.0"));
    QTest::mouseClick(s.LowerArrow(), Qt::LeftButton);
    QCOMPARE(s.Value(), 15.5);
    QCOMPARE(s.Editor()->text(), QString("15.5"));
    QTest::mouseClick(s.UpperArrow(), Qt::LeftButton);
    QTest::mouseClick(s.UpperArrow(), Qt::LeftButton);
    QCOMPARE(s.Value(), 14.5);
    // Values are kept at the shown precision, halves going to the even neighbour.
    s.SetValue(2.25);
    QCOMPARE(s.Value(), 2.2);
    // Back to whole numbers rounds quietly.
    QSignalSpy changed(&s, &TAdvSpinEdit::valueChanged);
    s.SetValueType(svtInteger);
    QCOMPARE(s.Value(), 2.0);
    QCOMPARE(changed.count(), 0);
  }

  void typedValues() {
    TAdvSpinEdit s;
    s.resize(80, TAdvSpinEdit::kHeight);
    s.show();
    s.SetValueType(svtFloat);
    s.SetRange(-10, 40);
    QSignalSpy changed(&s, &TAdvSpinEdit::valueChanged);
    // The value follows the typing, inside one gesture from the first number to Return.
    TSignalLog log(s);
    Type(s, "23,5");
    QCOMPARE(log.Events, QString("SVVVE"));
    QCOMPARE(s.Value(), 23.5);
    QCOMPARE(s.Editor()->text(), QString("23.5"));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.last().at(0).toDouble(), 23.5);
    Type(s, "7.25");
    QCOMPARE(s.Value(), 7.2);
    // Out of range is brought in; rubbish puts the old value back without a signal.
    Type(s, "99");
    QCOMPARE(s.Value(), 40.0);
    changed.clear();
    Type(s, "abc");
    QCOMPARE(s.Value(), 40.0);
    QCOMPARE(s.Editor()->text(), QString("40.0"));
    QCOMPARE(changed.count(), 0);
    // Whole numbers round a typed fraction, halves to even.
    s.SetValueType(svtInteger);
    s.SetRange(0, 0);
    Type(s, "2,5");
    QCOMPARE(s.Value(), 2.0);
    // A typed value not yet confirmed counts before an arrow moves it.
    s.Editor()->selectAll();
    QTest::keyClicks(s.Editor(), "30");
    QTest::mouseClick(s.LowerArrow(), Qt::LeftButton);
    QCOMPARE(s.Value(), 31.0);
    // Escape throws the typing away.
    s.Editor()->selectAll();
    QTest::keyClicks(s.Editor(), "555");
    QTest::keyClick(s.Editor(), Qt::Key_Escape);
    QCOMPARE(s.Editor()->text(), QString("31"));
    QCOMPARE(s.Value(), 31.0);
  }

  void arrowKeysFollowTheArrows() {
    TAdvSpinEdit s;
    s.resize(80, TAdvSpinEdit::kHeight);
    s.show();
    s.SetValueQuietly(5);
    TSignalLog log(s);
    QTest::keyClick(s.Editor(), Qt::Key_Up);
    QCOMPARE(s.Value(), 4.0);
    QTest::keyClick(s.Editor(), Qt::Key_Down);
    QTest::keyClick(s.Editor(), Qt::Key_Down);
    QCOMPARE(s.Value(), 6.0);
    QCOMPARE(log.Events, QString("SVESVESVE"));
  }

  void heldArrowRepeatsInsideOneGesture() {
    TAdvSpinEdit s;
    s.resize(80, TAdvSpinEdit::kHeight);
    s.show();
    s.SetRepeatTiming(40, 10);
    TSignalLog log(s);
    QTest::mousePress(s.LowerArrow(), Qt::LeftButton);
    QVERIFY(s.InGesture());
    QTRY_VERIFY_WITH_TIMEOUT(s.Value() >= 4.0, 2000);
    QTest::mouseRelease(s.LowerArrow(), Qt::LeftButton);
    QVERIFY(!s.InGesture());
    const double reached = s.Value();
    QTest::qWait(60);
    QCOMPARE(s.Value(), reached);  // the repeat stops with the release
    QVERIFY(log.Events.startsWith("SV"));
    QVERIFY(log.Events.endsWith("VE"));
    QCOMPARE(log.Events.count('S'), 1);
    QCOMPARE(log.Events.count('E'), 1);
    QCOMPARE(log.Events.count('V'), static_cast<qsizetype>(reached));
  }

  void disablingDuringAPressEndsTheGesture() {
    TAdvSpinEdit s;
    s.resize(80, TAdvSpinEdit::kHeight);
    s.show();
    TSignalLog log(s);
    QTest::mousePress(s.UpperArrow(), Qt::LeftButton);
    s.setEnabled(false);
    QVERIFY(!s.InGesture());
    QTest::qWait(500);  // past the repeat delay: nothing more happens
    QCOMPARE(log.Events, QString("SVE"));
    QCOMPARE(s.Value(), -1.0);
  }

  void quietSetEmitsNothing() {
    TAdvSpinEdit s;
    TSignalLog log(s);
    s.SetValueQuietly(42);
    QCOMPARE(s.Value(), 42.0);
    QCOMPARE(s.Editor()->text(), QString("42"));
    QVERIFY(log.Events.isEmpty());
    s.SetValue(42);  // unchanged: no signal either
    QVERIFY(log.Events.isEmpty());
    s.SetValue(43);
    QCOMPARE(log.Events, QString("V"));
  }
};

QTEST_MAIN(SpinEditTest)
#include "spin_edit_test.moc"
