// The Qt timers, clipboard and message boxes on the offscreen platform.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include "platform/qt/clipboard_qt.h"
#include "platform/qt/message_box_qt.h"
#include "platform/qt/timer_qt.h"
#include "support/modal_script.h"

using namespace sw;
using sw::test::TModalScript;

namespace {

// Presses a button of the message box that is about to open, from the event loop it runs.
TModalScript AnswerNextBox(QMessageBox::StandardButton button, QString* title = nullptr, QString* text = nullptr) {
  return TModalScript::On<QMessageBox>("the message box", [=](QMessageBox* box) {
    if (title) *title = box->windowTitle();
    if (text) *text = box->text();
    if (button == QMessageBox::NoButton) {
      box->reject();  // closed without choosing
    } else {
      box->button(button)->click();
    }
  });
}

}  // namespace

class ServicesQtTest : public QObject {
  Q_OBJECT

private slots:
  void timersTickStopAndMayBeDestroyedInTheirOwnTick() {
    TQtTimerService service;
    std::unique_ptr<ITimer> counter = service.CreateTimer();
    int ticks = 0;
    counter->OnTimer = [&] {
      if (++ticks == 3) counter->Stop();
    };
    counter->Start(5);
    QVERIFY(counter->Active());
    QCOMPARE(counter->Interval(), 5u);
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 3, 2000);
    QVERIFY(!counter->Active());
    QTest::qWait(30);
    QCOMPARE(ticks, 3);

    // The handler owns state that dies with the timer in the middle of the tick.
    std::unique_ptr<ITimer> doomed = service.CreateTimer();
    auto payload = std::make_shared<int>(0);
    doomed->OnTimer = [&, payload] {
      ++*payload;
      doomed.reset();
    };
    doomed->Start(1);
    QTRY_VERIFY_WITH_TIMEOUT(doomed == nullptr, 2000);
    QCOMPARE(*payload, 1);
    QCOMPARE(payload.use_count(), 1L);
    QTest::qWait(20);  // the timer's Qt object is deleted later without firing again
    QCOMPARE(*payload, 1);

    std::unique_ptr<ITimer> zero = service.CreateTimer();
    zero->Start(0);
    QCOMPARE(zero->Interval(), 1u);
    zero.reset();  // destroyed while running, outside a tick
  }

  void clipboardCarriesText() {
    TQtClipboard clipboard;
    clipboard.SetText("<?xml version=\"1.0\"?><Selection/> \xC3\xA4\xE2\x82\xAC");
    QVERIFY(clipboard.HasText());
    QCOMPARE(QString::fromStdString(clipboard.Text()), QString::fromUtf8("<?xml version=\"1.0\"?><Selection/> \xC3\xA4\xE2\x82\xAC"));
  }

  void messageBoxesAnswerWithTheirButtons() {
    TQtMessageBoxes boxes(nullptr);
    QString title, text;
    {
      const TModalScript box = AnswerNextBox(QMessageBox::No, &title, &text);
      QCOMPARE(boxes.Show("Do you want to save the changes to your design.", "", TMessageKind::Question,
                          TMessageButtons::YesNoCancel),
               TMessageAnswer::No);
      QVERIFY2(box.Done(), box.Failure());
    }
    QCOMPARE(title, QString("Confirm"));
    QCOMPARE(text, QString("Do you want to save the changes to your design."));
    {
      const TModalScript box = AnswerNextBox(QMessageBox::Yes);
      QCOMPARE(boxes.Show("Replace?", "Stickwell", TMessageKind::Warning, TMessageButtons::YesNo), TMessageAnswer::Yes);
      QVERIFY2(box.Done(), box.Failure());
    }
    // Closing without a choice: Cancel, No or Ok as the buttons allow.
    {
      const TModalScript box = AnswerNextBox(QMessageBox::NoButton);
      QCOMPARE(boxes.Show("Close?", "", TMessageKind::Question, TMessageButtons::YesNoCancel), TMessageAnswer::Cancel);
      QVERIFY2(box.Done(), box.Failure());
    }
    {
      const TModalScript box = AnswerNextBox(QMessageBox::NoButton);
      QCOMPARE(boxes.Show("Replace?", "", TMessageKind::Question, TMessageButtons::YesNo), TMessageAnswer::No);
      QVERIFY2(box.Done(), box.Failure());
    }
    // Markup in a message is shown as it stands.
    {
      const TModalScript box = AnswerNextBox(QMessageBox::NoButton, &title, &text);
      QCOMPARE(boxes.Show("<b>x</b> & y", "", TMessageKind::Error, TMessageButtons::Ok), TMessageAnswer::Ok);
      QVERIFY2(box.Done(), box.Failure());
    }
    QCOMPARE(title, QString("Error"));
    QCOMPARE(text, QString("<b>x</b> & y"));
  }
};

QTEST_MAIN(ServicesQtTest)
#include "services_qt_test.moc"
