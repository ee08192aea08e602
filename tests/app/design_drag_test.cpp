// The designer window's design view under the mouse, on the offscreen platform: the message and the
// picture dragged with the spin edits following, the wheel zooming the picture, Escape putting a
// dragged layer back, the message edited in place with a double click, and everything else on the
// page left alone.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QWheelEvent>

#include <memory>
#include <string>

#include "app/main_window.h"
#include "engine/page.h"
#include "magnet/magnet_design.h"
#include "platform/headless_dialogs.h"
#include "platform/headless_message_box.h"
#include "platform/qt/window_host_qt.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "storage/xml/native_xml.h"
#include "tabs_test_support.h"
#include "widgets/spin_edit.h"

using namespace sw;
using namespace sw::test;

class DesignDragTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TTabsWorld> world;
  std::unique_ptr<QTemporaryDir> dir;
  std::unique_ptr<THeadlessDialogs> dialogs;
  THeadlessMessageBoxes boxes;
  std::unique_ptr<TFStickwellMain> window;

  QString Program() const { return dir->path() + "/program"; }
  TMagnetDesign& Design() { return window->Design(); }
  TdtpDocument& Document() { return Design().Document(); }
  TQtWindowHost* View() { return window->DesignView(); }
  TAdvSpinEdit* Spin(const char* name) { return window->findChild<TAdvSpinEdit*>(name); }
  TdtpShape& Text() { return *Design().Layer(TLayer::usrText); }
  TdtpShape& Picture() { return *Design().Layer(TLayer::usrImage); }

  // The view pixel of a page point in millimetres.
  QPoint At(float x, float y) {
    const TPoint p = RoundPoint(Document().CurrentPage()->LocalToScreen({x, y}));
    return {p.X, p.Y};
  }

  // The page as a save stores it: no message flash, which the window never records either.
  std::string PageXml() {
    Document().DisableUndo();
    Design().EndTextFlash();
    Document().EnableUndo();
    TNativeXml xml("Page");
    Document().CurrentPage()->SaveToXml(*xml.Root());
    return xml.SaveToString();
  }

  // Press at from, move in three steps to to, release there: a hand's drag.
  void Drag(const QPoint& from, const QPoint& to) {
    QWidget* port = View()->viewport();
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 3; ++step) QTest::mouseMove(port, from + (to - from) * step / 3);
    QTest::mouseRelease(port, Qt::LeftButton, {}, to);
  }

  void Wheel(const QPoint& at, int delta, Qt::KeyboardModifiers keys = Qt::NoModifier) {
    QWheelEvent event(QPointF(at), QPointF(View()->viewport()->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, keys, Qt::NoScrollPhase, false);
    QApplication::sendEvent(View()->viewport(), &event);
  }

  // The template chosen, the 300 x 200 pixel picture loaded (24 x 16 mm) and put at (5, 5) with
  // its spin edits, away from the message at (26, 16) 45 x 25.
  void OpenWithPicture() {
    QDir().mkpath(Program() + "/templates");
    const QString templatePath = Program() + "/templates/Oblong.fmt";
    WriteTemplate(*world, templatePath.toStdString());
    TMainWindowSetup setup;
    setup.Fonts = world->Fonts.get();
    setup.Dialogs = dialogs->Services(&boxes);
    setup.ProgramDir = Program().toStdString();
    setup.DataDir = (dir->path() + "/data").toStdString();
    window = std::make_unique<TFStickwellMain>(setup);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    dialogs->Files.ScriptOpen(templatePath.toStdString());
    Click(window->findChild<QPushButton*>("BSelectTemplate"));
    QVERIFY(Design().DesignLoaded());
    QDir().mkpath(Program() + "/images");
    dialogs->Files.ScriptOpen(WritePicture(Program() + "/images/photo.png", 300, 200, 0xFF3366CC));
    Click(window->findChild<QPushButton*>("BLoadImage"));
    Type(Spin("SEImageHorizontal"), "5");
    Type(Spin("SEImageVertical"), "5");
    QCOMPARE(Picture().DocLeft(), 5.0f);
    QCOMPARE(Picture().DocTop(), 5.0f);
    QVERIFY(View()->isVisible());
  }

private slots:
  void initTestCase() { world = std::make_unique<TTabsWorld>(); }

  void init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    dialogs = std::make_unique<THeadlessDialogs>();
    boxes = THeadlessMessageBoxes();
  }

  void cleanup() {
    if (window) {
      Document().SetModified(false);
      window->close();
    }
    window.reset();
    dir.reset();
  }

  void draggingThePictureMovesItAsItsSpinEditsWould() {
    OpenWithPicture();
    const std::string before = PageXml();
    const int undoSteps = Document().UndoCount();
    QTest::mouseMove(View()->viewport(), At(10, 10));
    QCOMPARE(View()->CurrentCursor(), crSizeAll);
    Drag(At(10, 10), At(17.3f, 7.4f));
    // Whole millimetres, the spin edits showing them.
    QCOMPARE(Picture().DocLeft(), 12.0f);
    QCOMPARE(Picture().DocTop(), 2.0f);
    QCOMPARE(Spin("SEImageHorizontal")->IntValue(), 12);
    QCOMPARE(Spin("SEImageVertical")->IntValue(), 2);
    QCOMPARE(Document().SelectedCount(), 0);
    const std::string dragged = PageXml();

    // One step of the Edit menu's undo.
    QVERIFY(window->UndoAction()->isEnabled());
    window->UndoAction()->trigger();
    QCOMPARE(Document().UndoCount(), undoSteps);
    QCOMPARE(Spin("SEImageHorizontal")->IntValue(), 5);
    QCOMPARE(Spin("SEImageVertical")->IntValue(), 5);
    QVERIFY(PageXml() == before);

    // The same values typed into the spin edits store the same page.
    Type(Spin("SEImageHorizontal"), "12");
    Type(Spin("SEImageVertical"), "2");
    QVERIFY(PageXml() == dragged);
  }

  void draggingTheMessageAndEscape() {
    OpenWithPicture();
    const std::string before = PageXml();
    const int left = Spin("SETextHorizontal")->IntValue();
    const int top = Spin("SETextVertical")->IntValue();
    Drag(At(50, 30), At(44.2f, 35.8f));
    QCOMPARE(Spin("SETextHorizontal")->IntValue(), left - 6);
    QCOMPARE(Spin("SETextVertical")->IntValue(), top + 6);
    QCOMPARE(Text().DocLeft(), float(left - 6));
    QCOMPARE(Design().Layer(TLayer::usrTextBG)->DocLeft(), Text().DocLeft());
    window->UndoAction()->trigger();
    QVERIFY(PageXml() == before);

    // Escape while the button is held puts the message back; the release then does nothing.
    QWidget* port = View()->viewport();
    QTest::mousePress(port, Qt::LeftButton, {}, At(50, 30));
    QTest::mouseMove(port, At(60, 40));
    QCOMPARE(Spin("SETextHorizontal")->IntValue(), left + 10);
    QTest::keyClick(View(), Qt::Key_Escape);
    QCOMPARE(Spin("SETextHorizontal")->IntValue(), left);
    QTest::mouseRelease(port, Qt::LeftButton, {}, At(60, 40));
    QCOMPARE(Text().DocLeft(), float(left));
    QVERIFY(PageXml() == before);
  }

  void theWheelZoomsThePicture() {
    OpenWithPicture();
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 25);
    // 5 % a notch, 1 % with Ctrl.
    Wheel(At(10, 10), 120);
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 30);
    Wheel(At(10, 10), -240);
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 20);
    Wheel(At(10, 10), 120, Qt::ControlModifier);
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 21);
    // Away from the picture it does not zoom.
    Wheel(At(80, 10), 120);
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 21);
  }

  void doubleClickEditsTheMessageOnThePage() {
    OpenWithPicture();
    QWidget* port = View()->viewport();
    QTest::mouseDClick(port, Qt::LeftButton, {}, At(50, 30));
    QCOMPARE(Document().EditShape(), &Text());
    QTest::keyClicks(View(), "Hey");
    QCOMPARE(Design().TextLayer()->Text(), std::u16string(u"Hey"));
    // A second double click, on the end of the message: the caret goes there, nothing selected,
    // so typing adds to the message instead of replacing it.
    QTest::mouseClick(port, Qt::LeftButton, {}, At(80, 10));
    const TFloatPoint end = Text().LocalToScreen({Text().DocWidth() - 0.5f, Text().DocHeight() / 2});
    QTest::mouseDClick(port, Qt::LeftButton, {}, QPoint(Round(end.X), Round(end.Y)));
    QCOMPARE(Document().EditShape(), &Text());
    QCOMPARE(Design().TextLayer()->SelLength, 0);
    QTest::keyClicks(View(), "!");
    QCOMPARE(Design().TextLayer()->Text(), std::u16string(u"Hey!"));
    // A click away from the message ends the editing and touches nothing there.
    QTest::mouseClick(port, Qt::LeftButton, {}, At(80, 10));
    QCOMPARE(Document().EditShape(), nullptr);
    QCOMPARE(Design().TextLayer()->Text(), std::u16string(u"Hey!"));
    QCOMPARE(Document().SelectedCount(), 0);
    // The message field shows what was typed on the page, and typing there goes on from it.
    auto* memo = window->findChild<QPlainTextEdit*>("Memo");
    QVERIFY(memo);
    QCOMPARE(memo->toPlainText(), QString("Hey!"));
    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, "!");
    QCOMPARE(Design().TextLayer()->Text(), std::u16string(u"Hey!!"));
  }

  void theOtherLayersCannotBeTaken() {
    OpenWithPicture();
    const std::string before = PageXml();
    const int undoSteps = Document().UndoCount();
    // The background, the bleed border, outside the page.
    for (const QPoint& p : {At(80, 10), At(1.5f, 30), At(94.5f, 54), At(-5, -5)}) {
      QTest::mouseMove(View()->viewport(), p);
      QCOMPARE(View()->CurrentCursor(), crDefault);
      Drag(p, p + QPoint(40, 30));
      QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, p);
    }
    QCOMPARE(Document().SelectedCount(), 0);
    QCOMPARE(Document().EditShape(), nullptr);
    QCOMPARE(Document().UndoCount(), undoSteps);
    QVERIFY(PageXml() == before);
  }
};

QTEST_MAIN(DesignDragTest)
#include "design_drag_test.moc"
