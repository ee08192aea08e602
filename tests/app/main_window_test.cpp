// The designer window driven as a user drives it, on the offscreen platform with scripted dialogs:
// the start without templates, a template chosen, the message, font, colour, size and angle set
// with the arrows, a picture loaded, zoomed and moved, the design saved and found whole again;
// undo and redo across these; the close question; errors that end in a message box.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "app/app_folders.h"
#include "app/aux_dialogs.h"
#include "app/design_tab.h"
#include "app/main_window.h"
#include "app/print_tab.h"
#include "engine/document.h"
#include "engine/page.h"
#include "magnet/design_undo.h"
#include "magnet/print_sheet.h"
#include "magnet/magnet_design.h"
#include "platform/headless_dialogs.h"
#include "platform/headless_message_box.h"
#include "platform/qt/window_host_qt.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "support/modal_script.h"
#include "tabs_test_support.h"
#include "widgets/colour_picker.h"
#include "widgets/layout_grid.h"
#include "widgets/spin_edit.h"

using namespace sw;
using sw::test::TModalScript;
using namespace sw::test;

namespace {

template <class T>
T* Child(QWidget& window, const char* name) {
  T* child = window.findChild<T*>(name);
  if (!child) qWarning("no child %s", name);
  return child;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TTabsWorld> world;
  std::unique_ptr<QTemporaryDir> dir;
  std::unique_ptr<THeadlessDialogs> dialogs;
  THeadlessMessageBoxes boxes;
  std::unique_ptr<TFStickwellMain> window;

  QString Program() const { return dir->path() + "/program"; }
  QString TemplatePath() const { return Program() + "/templates/Round_Magnet_50mm.fmt"; }

  // A window of a program whose folder holds one template (or none).
  void Open(bool withTemplate, QStringList arguments = {}) {
    QDir().mkpath(Program() + "/templates");
    if (withTemplate) WriteTemplate(*world, TemplatePath().toStdString());
    TMainWindowSetup setup;
    setup.Arguments = arguments;
    setup.Fonts = world->Fonts.get();
    setup.Dialogs = dialogs->Services(&boxes);
    setup.ProgramDir = Program().toStdString();
    setup.DataDir = (dir->path() + "/data").toStdString();
    setup.ManualDirs = {(dir->path() + "/no manual").toStdString(), STICKWELL_BINARY_DIR "/manual"};
    window = std::make_unique<TFStickwellMain>(setup);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }

  void SelectTemplate() {
    dialogs->Files.ScriptOpen(TemplatePath().toStdString());
    Click(Child<QPushButton>(*window, "BSelectTemplate"));
    QVERIFY(window->Design().DesignLoaded());
  }

  TAdvSpinEdit* Spin(const char* name) { return Child<TAdvSpinEdit>(*window, name); }
  TdtpMemoShape& Text() { return *window->Design().TextLayer(); }
  TdtpBitmapShape& Picture() { return *window->Design().BitmapLayer(TLayer::usrImage); }

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
      window->Design().Document().SetModified(false);
      window->close();
    }
    window.reset();
    dir.reset();
  }

  void startsWithoutTemplatesThenRunsNormally() {
    // The dialog shows once, after the window; its Cancel lets the program go on.
    QString title;
    const TModalScript noTemplates = TModalScript::On<TFNoTemplates>("the no-templates dialog", [&](TFNoTemplates* d) {
      title = d->windowTitle();
      d->BCancel->click();
    });
    Open(false);
    QTRY_COMPARE(window->NoTemplatesShown(), 1);
    QTRY_VERIFY2(noTemplates.Done(), noTemplates.Failure());
    QCOMPARE(title, QString("Empty Templates Folder"));
    QCOMPARE(window->windowTitle(), QString("Stickwell"));
    QCOMPARE(window->size(), QSize(900, 500));
    QCOMPARE(window->minimumSize(), QSize(350, 350));
    for (const char* folder : {"templates", "designs", "images"}) QVERIFY(QDir(Program() + "/" + folder).exists());
    QVERIFY(!window->TemplatesFound());
    // Nothing to edit yet: the start-up page, the design controls off.
    QCOMPARE(window->PageControl2()->currentWidget(), window->StartupPage());
    QCOMPARE(window->PageControl1()->count(), 2);
    QVERIFY(Child<QPushButton>(*window, "BSelectTemplate")->isEnabled());
    QVERIFY(Child<QPushButton>(*window, "BLoadDesign")->isEnabled());
    QVERIFY(!Child<QPushButton>(*window, "BSaveDesign")->isEnabled());
    QVERIFY(!Child<QPushButton>(*window, "BLoadImage")->isEnabled());
    QVERIFY(!Child<QPlainTextEdit>(*window, "Memo")->isEnabled());
    QVERIFY(!Spin("SETextRotate")->isEnabled());
    QVERIFY(!Child<TColorPickerButton>(*window, "CPBbgColour")->isEnabled());
    // ... and look it: the window's grey is for live controls only.
    for (const QPalette::ColorRole role : {QPalette::ButtonText, QPalette::Text, QPalette::WindowText}) {
      const QPalette look = Child<QPushButton>(*window, "BSaveDesign")->palette();
      QVERIFY(look.color(QPalette::Disabled, role) != look.color(QPalette::Active, role));
    }
    // The start-up picture sits in the middle of its page.
    QLabel* picture = window->StartupPicture();
    QCOMPARE(picture->size(), QSize(291, 43));
    QCOMPARE(picture->x(), (window->StartupPage()->width() - 291) / 2);
    Screenshot(*window, "window_startup");
    // Switching tabs before any template keeps the start-up page for "design".
    window->PageControl1()->setCurrentIndex(1);
    QCOMPARE(window->PageControl2()->currentWidget(), window->PreviewPage());
    window->PageControl1()->setCurrentIndex(0);
    QCOMPARE(window->PageControl2()->currentWidget(), window->StartupPage());
    // "select template" still opens in the templates folder; a cancel changes nothing.
    Click(Child<QPushButton>(*window, "BSelectTemplate"));
    QCOMPARE(dialogs->Files.LastRequest()->Request.Title, std::string("Load template design"));
    QCOMPARE(QDir(QString::fromStdString(dialogs->Files.LastRequest()->Request.InitialDir)).absolutePath(),
             QDir(Program() + "/templates").absolutePath());
    QVERIFY(!window->Design().DesignLoaded());
    // "load design" with no design saved yet opens where the user's files are, not in the empty
    // designs folder.
    Click(Child<QPushButton>(*window, "BLoadDesign"));
    QCOMPARE(QString::fromStdString(dialogs->Files.LastRequest()->Request.InitialDir), QDir::homePath());
    // A template put there later loads, and the design shows.
    WriteTemplate(*world, TemplatePath().toStdString());
    SelectTemplate();
    QCOMPARE(window->PageControl2()->currentWidget(), window->DesignPage());
    QCOMPARE(Child<QLabel>(*window, "LTemplateName")->text(), QString("Round Magnet 50mm"));
    QVERIFY(Child<QPlainTextEdit>(*window, "Memo")->isEnabled());
    QVERIFY(Child<QPushButton>(*window, "BLoadImage")->isEnabled());
    // The template's picture is hidden: the picture controls wait for "load image".
    QVERIFY(!Spin("SEImageZoom")->isEnabled());
    QVERIFY(!window->Design().Document().Modified());
    QCOMPARE(window->NoTemplatesShown(), 1);
  }

  void templateTabOnlyWithExactlyExtra() {
    Open(true, {"Extra"});
    QCOMPARE(window->PageControl1()->count(), 2);
    QCOMPARE(window->NoTemplatesShown(), 0);
    cleanup();
    init();
    Open(true, {"extra"});
    QCOMPARE(window->PageControl1()->count(), 3);
    QCOMPARE(window->PageControl1()->tabText(2), QString("template"));
    // The template tab shows the design view even before a template.
    window->PageControl1()->setCurrentIndex(2);
    QCOMPARE(window->PageControl2()->currentWidget(), window->DesignPage());
    SelectTemplate();
    QCOMPARE(window->PageControl1()->currentIndex(), 2);
    Screenshot(*window, "window_template_tab");
  }

  void aFileNamedOnTheCommandLineOpens() {
    QDir().mkpath(Program() + "/templates");
    WriteTemplate(*world, TemplatePath().toStdString());
    Open(true, {TemplatePath()});
    QTRY_VERIFY(window->Design().DesignLoaded());
    QCOMPARE(Child<QLabel>(*window, "LTemplateName")->text(), QString("Round Magnet 50mm"));
    QCOMPARE(window->PageControl1()->count(), 2);
    QCOMPARE(window->PageControl2()->currentWidget(), window->DesignPage());
    QVERIFY(dialogs->Files.Requests().empty());
  }

  void menuHoldsTheFileEntriesWithTheStandardKeysAndOpensTheManual() {
    Open(true);
    QStringList entries;
    for (QAction* action : window->menuBar()->actions()) entries << action->text();
    QCOMPARE(entries, QStringList({"&File", "&Edit", "&Help"}));
    const auto keys = [this](const char* name) { return window->findChild<QAction*>(name)->shortcuts(); };
    QCOMPARE(keys("Open1"), QKeySequence::keyBindings(QKeySequence::Open));
    QCOMPARE(keys("Save1"), QKeySequence::keyBindings(QKeySequence::Save));
    QCOMPARE(keys("SaveAs1"), QKeySequence::keyBindings(QKeySequence::SaveAs));
    QCOMPARE(keys("Print1"), QKeySequence::keyBindings(QKeySequence::Print));
    QCOMPARE(keys("Exit1"), QKeySequence::keyBindings(QKeySequence::Quit));
    QCOMPARE(keys("Undo1"), QKeySequence::keyBindings(QKeySequence::Undo));
    QCOMPARE(keys("Redo1"), QKeySequence::keyBindings(QKeySequence::Redo));
    QCOMPARE(keys("Online1"), QKeySequence::keyBindings(QKeySequence::HelpContents));
    // Nothing to save or print before a template; no shop unless the build names one.
    QVERIFY(!window->findChild<QAction*>("Save1")->isEnabled());
    QVERIFY(!window->findChild<QAction*>("Print1")->isEnabled());
    QVERIFY(!window->findChild<QAction*>("BuyProducts1")->isVisible());
    // Help opens the manual that came with the program, from the first folder that has it.
    window->findChild<QAction*>("Online1")->trigger();
    QCOMPARE(dialogs->Web.Urls().size(), size_t(1));
    const QUrl manual(QString::fromStdString(dialogs->Web.Urls()[0]));
    QVERIFY(manual.isLocalFile());
    QFile page(manual.toLocalFile());
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    for (const char* topic : {"pre-cut", "uncut", "guide sheet", "template"}) QVERIFY(text.contains(topic));
    dialogs->Web.Fail = true;
    window->findChild<QAction*>("Online1")->trigger();
    QCOMPARE(boxes.LastText(), std::string("Couldn't launch default browser"));
    QVERIFY(window->isVisible());
    // "Save" asks for a name once; from then on it saves over the same file without asking.
    SelectTemplate();
    const QString saved = Program() + "/designs/kept.fmd";
    dialogs->Files.ScriptSave(saved.toStdString());
    window->findChild<QAction*>("Save1")->trigger();
    QVERIFY(QFileInfo(saved).isFile());
    const size_t asked = dialogs->Files.Requests().size();
    QVERIFY(QFile::remove(saved));
    QTest::keySequence(window.get(), QKeySequence::Save);
    QVERIFY(QFileInfo(saved).isFile());
    QCOMPARE(dialogs->Files.Requests().size(), asked);
    // "Exit" closes through the close question.
    window->findChild<QAction*>("Exit1")->trigger();
    QVERIFY(!window->isVisible());
  }

  void aDesignMadeWithTheControlsComesBackWhole() {
    Open(true);
    SelectTemplate();
    TMagnetDesign& design = window->Design();
    // The message, typed.
    auto* memo = Child<QPlainTextEdit>(*window, "Memo");
    memo->setFocus();
    QTest::keyClicks(memo, "Hi");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, "there");
    QCOMPARE(Text().Text(), std::u16string(u"Hi\r\nthere"));
    QVERIFY(design.Flashing());
    QVERIFY(window->Timer1()->isActive());
    QVERIFY(design.Document().Modified());
    // A stored name this machine lacks says so, and the dialog opens on the family the message is
    // drawn in, style and size kept; OK there changes nothing.
    Text().SetFontName("Arial");
    Text().SetBold(true);
    window->DesignTab()->ShowFont();
    QVERIFY(Child<QLineEdit>(*window, "EFont")->toolTip().contains("Liberation Sans"));
    const int32_t points = design.FontPoints();
    const TFontChoice opened{"Liberation Sans", double(points), true, false, RgbOf(Text().FontColor())};
    const int stepsBefore = design.Document().UndoCount();
    dialogs->Font.ScriptFont(opened);
    Click(Child<QPushButton>(*window, "BFont"));
    QCOMPARE(dialogs->Font.Requests().back(), opened);
    QCOMPARE(Text().FontName(), std::string("Arial"));
    QVERIFY(Text().FontStyle() & fsBold);
    QCOMPARE(design.Document().UndoCount(), stepsBefore);
    // Only the size changed: the stored name stays.
    dialogs->Font.ScriptFont(TFontChoice{"Liberation Sans", double(points + 2), true, false, opened.Colour});
    Click(Child<QPushButton>(*window, "BFont"));
    QCOMPARE(Text().FontName(), std::string("Arial"));
    QCOMPARE(design.FontPoints(), points + 2);
    // The font, with its colour, from the font dialog.
    Text().SetFontName("DejaVu Serif");
    Text().SetFontSize(float(points));
    Text().SetBold(false);
    const std::string fontName = Text().FontName();
    dialogs->Font.ScriptFont(TFontChoice{"DejaVu Sans", 20, true, false, 0xFF0000});
    Click(Child<QPushButton>(*window, "BFont"));
    // The dialog opens at the message's font, its colour as 0xRRGGBB.
    QCOMPARE(dialogs->Font.Requests().back().Points, double(points));
    QCOMPARE(dialogs->Font.Requests().back().Name, fontName);
    QCOMPARE(Text().FontName(), std::string("DejaVu Sans"));
    QVERIFY(Text().FontStyle() & fsBold);
    QCOMPARE(Text().FontColor(), 0x0000FF);  // window-system colours are 0x00BBGGRR
    QCOMPARE(Child<QLineEdit>(*window, "EFont")->text(), QString("DejaVu Sans - 20 point"));
    // The background colour from the picker's drop-down.
    auto* picker = Child<TColorPickerButton>(*window, "CPBbgColour");
    picker->ShowPopup();
    QVERIFY(picker->Popup());
    QTest::mouseClick(picker->Popup(), Qt::LeftButton, {}, picker->Popup()->SwatchRect(5).center());
    const TdtpColor colour = ColorPalette()[5].Color;
    QCOMPARE(design.RectLayer(TLayer::bgColour)->FillColor(), colour);
    // Size and angle with the arrows: the lower one increases.
    const float width = Text().DocWidth();
    ClickArrow(Spin("SETextWidth"), true, 2);
    QCOMPARE(Text().DocWidth(), width + 2);
    ClickArrow(Spin("SETextRotate"), true, 3);
    QCOMPARE(Spin("SETextRotate")->IntValue(), 3);
    QCOMPARE(Text().DocAngle(), 357.0f);
    // The box behind the message follows it.
    QCOMPARE(design.Layer(TLayer::usrTextBG)->DocAngle(), 357.0f);
    Click(Child<QCheckBox>(*window, "CBTextBG"));
    QVERIFY(design.TextBoxSeeThrough());
    // A picture of 300 x 200 pixels on the 96 x 56 mm page: covering 96 x 64, then a quarter, centred.
    const std::string photo = WritePicture(Program() + "/images/photo.png", 300, 200, 0xFF3366CC);
    dialogs->Files.ScriptOpen(photo);
    Click(Child<QPushButton>(*window, "BLoadImage"));
    QCOMPARE(dialogs->Files.LastRequest()->Request.Filters.size(), size_t(4));
    QVERIFY(Picture().Visible());
    QVERIFY(Spin("SEImageZoom")->isEnabled());
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 25);
    QCOMPARE(Spin("SEImageHorizontal")->IntValue(), 36);
    QCOMPARE(Spin("SEImageVertical")->IntValue(), 20);
    ClickArrow(Spin("SEImageZoom"), true, 5);
    QCOMPARE(Picture().DocWidth(), 96 * 0.30f);
    ClickArrow(Spin("SEImageHorizontal"), false, 2);
    QCOMPARE(Picture().DocLeft(), 34.0f);
    ClickArrow(Spin("SEImageRotate"), false, 1);
    QCOMPARE(Picture().DocAngle(), 1.0f);
    Screenshot(*window, "window_design_with_picture");

    // Saved under a name without extension: ".fmd" is added.
    dialogs->Files.ScriptSave((Program() + "/designs/mine").toStdString());
    Click(Child<QPushButton>(*window, "BSaveDesign"));
    QCOMPARE(dialogs->Files.LastRequest()->Request.Title, std::string("Save fridge magnet design"));
    QVERIFY(QFile::exists(Program() + "/designs/mine.fmd"));
    QVERIFY(!design.Document().Modified());
    const int imageLeft = Spin("SEImageHorizontal")->IntValue();
    const int imageTop = Spin("SEImageVertical")->IntValue();

    // The print tab shows the sheet; two positions unticked leave two copies out.
    window->PageControl1()->setCurrentIndex(1);
    QCOMPARE(window->PageControl2()->currentWidget(), window->PreviewPage());
    TLayoutGridView* grid = window->findChild<TLayoutGridView*>();
    QVERIFY(grid);
    TdtpDocument& preview = window->Sheet().Document();
    const int copies = preview.ShapeCount();
    QVERIFY(copies > 2);
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(0, 0).center());
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(1, 0).center());
    Click(window->findChild<QPushButton*>("BRefreshPreview"));
    QCOMPARE(preview.ShapeCount(), copies - 2);
    Screenshot(*window, "window_print_two_skipped");
    window->PageControl1()->setCurrentIndex(0);
    QCOMPARE(window->PageControl2()->currentWidget(), window->DesignPage());

    // Everything changed again, then the design loaded back.
    QTest::keyClicks(memo, "!!");
    ClickArrow(Spin("SEImageZoom"), false, 3);
    boxes.ScriptAnswer(TMessageAnswer::No);  // the question before replacing the changed design
    dialogs->Files.ScriptOpen((Program() + "/designs/mine.fmd").toStdString());
    Click(Child<QPushButton>(*window, "BLoadDesign"));
    QCOMPARE(boxes.LastText(), std::string("Do you want to save the changes to your design."));
    QCOMPARE(memo->toPlainText(), QString("Hi\nthere"));
    QCOMPARE(Child<QLineEdit>(*window, "EFont")->text(), QString("DejaVu Sans - 20 point"));
    QCOMPARE(Spin("SETextRotate")->IntValue(), 3);
    QCOMPARE(Spin("SETextWidth")->IntValue(), Round(width) + 2);
    QVERIFY(Child<QCheckBox>(*window, "CBTextBG")->isChecked());
    QCOMPARE(picker->Color(), colour);
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 30);
    QCOMPARE(Spin("SEImageHorizontal")->IntValue(), imageLeft);
    QCOMPARE(Spin("SEImageVertical")->IntValue(), imageTop);
    QCOMPARE(Spin("SEImageRotate")->IntValue(), -1);
    QVERIFY(Spin("SEImageZoom")->isEnabled());
    QCOMPARE(Child<QLabel>(*window, "LTemplateName")->text(), QString("Round Magnet 50mm"));
    QVERIFY(!design.Document().Modified());
    QVERIFY(!window->UndoAction()->isEnabled());
  }

  // A merge chosen on the print tab: the message keeps its fields as typed, the preview pages
  // through the sheets, and the design saved with it brings the merge back when loaded.
  void aMergeComesBackWithItsDesign() {
    Open(true);
    SelectTemplate();
    auto* memo = Child<QPlainTextEdit>(*window, "Memo");
    memo->setFocus();
    QTest::keyClicks(memo, "Hi ${Name}");
    const QString csv = dir->path() + "/guests.csv";
    {
      QFile file(csv);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("Name\n");
      for (int i = 1; i <= 15; ++i) file.write(QStringLiteral("Guest %1\n").arg(i).toUtf8());
    }
    window->PageControl1()->setCurrentIndex(1);
    dialogs->Files.ScriptOpen(csv.toStdString());
    Click(Child<QPushButton>(*window, "BMergeFile"));
    QVERIFY(Child<QLabel>(*window, "LMerge")->text().contains("15 rows; first: Name = Guest 1"));
    QCOMPARE(window->PrintTab()->PreviewSheets(), 2);
    Click(Child<QPushButton>(*window, "BSheetNext"));
    QCOMPARE(window->Sheet().Document().ShapeCount(), 5);
    Screenshot(*window, "window_merge_second_sheet");
    window->PageControl1()->setCurrentIndex(0);
    QCOMPARE(memo->toPlainText(), QString("Hi ${Name}"));
    // The design view shows the first row in the fields; the message field shows them as typed.
    QVERIFY(window->Design().TextLayer()->LaidText() == u"Hi Guest 1");
    Screenshot(*window, "window_merge_design_first_row");

    dialogs->Files.ScriptSave((Program() + "/designs/guests").toStdString());
    Click(Child<QPushButton>(*window, "BSaveDesign"));
    Click(Child<QPushButton>(*window, "BMergeClear"));
    QVERIFY(!window->PrintTab()->MergeTable());
    QVERIFY(window->Design().TextLayer()->LaidText() == u"Hi ${Name}");
    boxes.ScriptAnswer(TMessageAnswer::No);
    dialogs->Files.ScriptOpen((Program() + "/designs/guests.fmd").toStdString());
    Click(Child<QPushButton>(*window, "BLoadDesign"));
    QVERIFY(window->PrintTab()->MergeTable());
    QCOMPARE(window->PrintTab()->MergeTable()->RowCount(), 15);
    QVERIFY(window->Design().TextLayer()->LaidText() == u"Hi Guest 1");
  }

  void undoAndRedoFollowEveryGesture() {
    Open(true);
    SelectTemplate();
    TMagnetDesign& design = window->Design();
    QAction* undo = window->UndoAction();
    QAction* redo = window->RedoAction();
    QVERIFY(!undo->isEnabled());
    // Two clicks, two steps.
    ClickArrow(Spin("SETextRotate"), true, 2);
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QCOMPARE(Spin("SETextRotate")->IntValue(), 1);
    QCOMPARE(Text().DocAngle(), 359.0f);
    QVERIFY(redo->isEnabled());
    redo->trigger();
    QCOMPARE(Spin("SETextRotate")->IntValue(), 2);
    // An arrow held down is one step however far it goes.
    TAdvSpinEdit* height = Spin("SETextHeight");
    const int before = height->IntValue();
    height->SetRepeatTiming(30, 10);
    QTest::mousePress(height->LowerArrow(), Qt::LeftButton);
    QTRY_VERIFY2_WITH_TIMEOUT(height->IntValue() > before + 2, "the held arrow did not repeat", 5000);
    QTest::mouseRelease(height->LowerArrow(), Qt::LeftButton);
    undo->trigger();
    QCOMPARE(height->IntValue(), before);
    QCOMPARE(Round(Text().DocHeight()), before);
    QCOMPARE(Round(design.Layer(TLayer::usrTextBG)->DocHeight()), before);
    // A typed value applies as it is typed, before Return, and the whole edit is one step.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    TAdvSpinEdit* across = Spin("SETextHorizontal");
    const int left = across->IntValue();
    across->Editor()->setFocus();
    across->Editor()->selectAll();
    QTest::keyClicks(across->Editor(), "12");
    QCOMPARE(Round(Text().DocLeft()), 12);
    QTest::keyClick(across->Editor(), Qt::Key_Return);
    undo->trigger();
    QCOMPARE(Round(Text().DocLeft()), left);
    QCOMPARE(across->IntValue(), left);
    // The wheel steps the spin edit that has the focus, a step a notch; one without it is left alone.
    const auto wheel = [](QWidget* target) {
      QWheelEvent turn(QPointF(5, 5), QPointF(target->mapToGlobal(QPoint(5, 5))), QPoint(), QPoint(0, 120),
                       Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(target, &turn);
    };
    QVERIFY(across->Editor()->hasFocus());
    wheel(across->Editor());
    QCOMPARE(across->IntValue(), left + 1);
    QCOMPARE(Round(Text().DocLeft()), left + 1);
    wheel(Spin("SETextVertical")->Editor());
    QCOMPARE(Spin("SETextVertical")->IntValue(), Round(Text().DocTop()));
    undo->trigger();
    QCOMPARE(across->IntValue(), left);
    // A run of typing is one step; the flash and its end record nothing.
    auto* memo = Child<QPlainTextEdit>(*window, "Memo");
    memo->setFocus();
    QTest::keyClicks(memo, "abc");
    const int steps = design.Document().UndoCount();
    for (int tick = 0; tick < 30; ++tick) window->Timer1Timer();
    QVERIFY(!design.Flashing());
    QVERIFY(!window->Timer1()->isActive());
    QCOMPARE(design.Document().UndoCount(), steps);
    QCOMPARE(design.Layer(TLayer::usrTextBG)->MasterAlpha(), 255u);
    QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(memo->toPlainText(), QString());
    QCOMPARE(Text().Text(), std::u16string());
    // Undone while the box flashes: the box comes back white, not grey.
    QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    QCOMPARE(memo->toPlainText(), QString("abc"));
    ClickArrow(Spin("SETextHorizontal"), true, 1);
    QVERIFY(design.Flashing());
    undo->trigger();
    QVERIFY(!design.Flashing());
    QCOMPARE(design.Layer(TLayer::usrTextBG)->MasterAlpha(), 255u);
    QCOMPARE(design.RectLayer(TLayer::usrTextBG)->FillColor(), kColourWhite);
    // The see-through box, the font, the picture.
    Click(Child<QCheckBox>(*window, "CBTextBG"));
    QCOMPARE(design.Layer(TLayer::usrTextBG)->MasterAlpha(), 0u);
    undo->trigger();
    QVERIFY(!Child<QCheckBox>(*window, "CBTextBG")->isChecked());
    QVERIFY(!design.TextBoxSeeThrough());
    const QString font = Child<QLineEdit>(*window, "EFont")->text();
    dialogs->Font.ScriptFont(TFontChoice{"DejaVu Serif", 30, false, true, 0x00FF00});
    Click(Child<QPushButton>(*window, "BFont"));
    QVERIFY(Child<QLineEdit>(*window, "EFont")->text() != font);
    undo->trigger();
    QCOMPARE(Child<QLineEdit>(*window, "EFont")->text(), font);
    dialogs->Files.ScriptOpen(WritePicture(Program() + "/images/p.png", 200, 300, 0xFF00AA00));
    Click(Child<QPushButton>(*window, "BLoadImage"));
    ClickArrow(Spin("SEImageZoom"), true, 4);
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 29);
    undo->trigger();  // each click is a step of its own
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 28);
    for (int i = 0; i < 3; ++i) undo->trigger();
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 25);
    QCOMPARE(Picture().DocWidth(), 0.25f * 96);
    undo->trigger();  // the load itself: the picture hidden again, its controls off
    QVERIFY(!Picture().Visible());
    QVERIFY(!Spin("SEImageZoom")->isEnabled());
    QVERIFY(Child<QPushButton>(*window, "BLoadImage")->isEnabled());
    redo->trigger();
    QVERIFY(Picture().Visible());
    QVERIFY(Spin("SEImageZoom")->isEnabled());
    // A second picture replacing the first: undo brings back the first picture itself, redo the
    // second, and neither is read from its file again.
    const auto pictureIs = [this](int32_t wide, int32_t high, TColor32 colour) {
      TdtpBitmapResource& resource = Picture().Resource();
      TResourceAccess access(resource);
      int32_t w = 0, h = 0;
      return resource.PictureSize(w, h) && w == wide && h == high && resource.Bitmap() &&
             resource.Bitmap()->Pixel(w / 2, h / 2) == colour;
    };
    const std::string second = WritePicture(Program() + "/images/q.png", 300, 100, 0xFFAA0000);
    dialogs->Files.ScriptOpen(second);
    Click(Child<QPushButton>(*window, "BLoadImage"));
    // The picture dialog opens where the last picture came from.
    QCOMPARE(QDir(QString::fromStdString(dialogs->Files.LastRequest()->Request.InitialDir)).absolutePath(),
             QDir(Program() + "/images").absolutePath());
    QVERIFY(pictureIs(300, 100, 0xFFAA0000));
    QVERIFY(QFile::remove(QString::fromStdString(second)));
    undo->trigger();
    QVERIFY(pictureIs(200, 300, 0xFF00AA00));
    QVERIFY(Picture().Visible());
    QCOMPARE(Picture().DocWidth(), 0.25f * 96);
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 25);
    redo->trigger();
    QVERIFY(pictureIs(300, 100, 0xFFAA0000));
    undo->trigger();
    QVERIFY(pictureIs(200, 300, 0xFF00AA00));
    // "clear image" changes nothing but the picture's visibility, and is a step all the same.
    Click(Child<QPushButton>(*window, "BClearImage"));
    QVERIFY(!Picture().Visible());
    QVERIFY(!Spin("SEImageZoom")->isEnabled());
    QVERIFY(Child<QPushButton>(*window, "BImageReset")->isEnabled());
    undo->trigger();
    QVERIFY(Picture().Visible());
    QVERIFY(Spin("SEImageZoom")->isEnabled());
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 25);
    // A new template starts a new history.
    boxes.ScriptAnswer(TMessageAnswer::No);
    SelectTemplate();
    QVERIFY(!undo->isEnabled());
    QVERIFY(!redo->isEnabled());
  }

  void viewDragsAndDropsFollowTheControls() {
    Open(true);
    SelectTemplate();
    // A picture file dropped on the view becomes the user's picture.
    const std::string photo = WritePicture(Program() + "/images/dropped.png", 300, 200, 0xFFAA3300);
    QWidget* port = window->DesignView()->viewport();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(photo))});
    QDragEnterEvent enter(port->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(port, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(port->rect().center()), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(port, &drop);
    QVERIFY(Picture().Visible());
    QCOMPARE(Spin("SEImageZoom")->IntValue(), 25);
    QVERIFY(Spin("SEImageZoom")->isEnabled());
    QVERIFY(dialogs->Progress.Jobs().empty());  // a small picture loads without progress
    // A large picture shows its progress while it loads and is drawn.
    {
      TBitmap32 noise;
      noise.SetSize(1100, 1100);
      uint32_t seed = 12345;
      for (int y = 0; y < noise.Height(); ++y) {
        for (int x = 0; x < noise.Width(); ++x) {
          seed = seed * 1664525u + 1013904223u;
          noise.SetPixel(x, y, 0xFF000000u | (seed >> 8));
        }
      }
      TMemoryStream stream;
      EncodePng(noise, stream);
      const QString large = Program() + "/images/large.png";
      stream.SaveToFile(large.toStdString());
      QVERIFY(QFileInfo(large).size() > 2 * 1024 * 1024);
      QMimeData big;
      big.setUrls({QUrl::fromLocalFile(large)});
      QDragEnterEvent bigEnter(port->rect().center(), Qt::CopyAction, &big, Qt::LeftButton, {});
      QApplication::sendEvent(port, &bigEnter);
      QDropEvent bigDrop(QPointF(port->rect().center()), Qt::CopyAction, &big, Qt::LeftButton, {});
      QApplication::sendEvent(port, &bigDrop);
      QCOMPARE(dialogs->Progress.Jobs().size(), size_t(1));
      QCOMPARE(dialogs->Progress.Jobs()[0].Label, std::string("Loading picture"));
      QCOMPARE(dialogs->Progress.Jobs()[0].Positions, (std::vector<int32_t>{1, 2}));
      QVERIFY(dialogs->Progress.Jobs()[0].Ended);
      TBitmap32* loaded = Picture().Resource().Bitmap();
      QVERIFY(loaded);
      QCOMPARE(loaded->Width(), 1100);
    }
    // Anything else is refused.
    QMimeData text;
    text.setText("hello");
    QDragEnterEvent refused(port->rect().center(), Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(port, &refused);
    QVERIFY(!refused.isAccepted());
    // A drag of the message on the view moves its spin edits along.
    TdtpDocument& document = window->Design().Document();
    const TdtpShape& message = Text();
    const TFloatPoint centre =
        document.ViewToScreen(TFloatPoint{message.DocLeft() + message.DocWidth() / 2, message.DocTop() + message.DocHeight() / 2});
    const QPoint from(int(centre.X), int(centre.Y));
    const int left = Spin("SETextHorizontal")->IntValue();
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(int(10 * document.ScreenDpm()), 0)),
                     port->mapToGlobal(QPointF(from + QPoint(int(10 * document.ScreenDpm()), 0))), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(port, &move);
    QTest::mouseRelease(port, Qt::LeftButton, {}, from + QPoint(int(10 * document.ScreenDpm()), 0));
    QVERIFY(std::abs(Spin("SETextHorizontal")->IntValue() - (left + 10)) <= 1);
    QCOMPARE(Spin("SETextHorizontal")->IntValue(), Round(Text().DocLeft()));
    QVERIFY(window->UndoAction()->isEnabled());
  }

  void theViewShowsThePageAndAMessageItsBoxCutsOff() {
    Open(true);
    SelectTemplate();
    TMagnetDesign& design = window->Design();
    QWidget* port = window->DesignView()->viewport();
    const auto pixel = [port](const TFloatPoint& at) {
      return port->grab().toImage().pixelColor(Round(at.X), Round(at.Y));
    };
    // A picture pushed half off the page shows only on the page, as print shows it.
    dialogs->Files.ScriptOpen(WritePicture(Program() + "/images/green.png", 600, 600, 0xFF00C000));
    Click(Child<QPushButton>(*window, "BLoadImage"));
    Type(Spin("SEImageVertical"), "45");
    const TdtpPage& page = *design.Document().CurrentPage();
    QVERIFY(Picture().DocTop() + Picture().DocHeight() > page.DocHeight() + 10);
    Screenshot(*window, "window_picture_beyond_page");
    const float across = Picture().DocLeft() + Picture().DocWidth() / 2;
    const TFloatPoint inside = page.LocalToScreen({across, page.DocHeight() - 6});
    const TFloatPoint beyond = page.LocalToScreen({across, page.DocHeight() + 4});
    QVERIFY(pixel(inside).green() > 0xB0 && pixel(inside).red() < 0x10);
    QCOMPARE(pixel(beyond).rgb() & 0xFFFFFF, ColorFromSystem(design.Document().Color) & 0xFFFFFF);
    // Tab leaves the message box instead of typing into the magnet.
    auto* memo = Child<QPlainTextEdit>(*window, "Memo");
    window->activateWindow();
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_Tab);
    QVERIFY(Text().Text().find(u'\t') == std::u16string::npos);
    QVERIFY(!memo->hasFocus());
    // More lines than the box holds: its outline turns red and the status line says how much.
    memo->setFocus();
    QVERIFY(!window->StatusText().contains("does not fit"));
    for (int line = 0; line < 6; ++line) {
      QTest::keyClicks(memo, "line");
      QTest::keyClick(memo, Qt::Key_Return);
    }
    QTest::keyClicks(memo, "last");
    QVERIFY(design.MessageOverflow().Y > 0);
    QVERIFY2(window->StatusText().contains(QString("lines hidden")), qPrintable(window->StatusText()));
    const TFloatPoint edge = Text().LocalToScreen({Text().DocWidth() / 2, 0});
    for (int tick = 0; tick < 30; ++tick) window->Timer1Timer();  // the grey flash over
    const QColor outline = pixel(edge);
    QVERIFY2(outline.red() > 180 && outline.green() < 60 && outline.blue() < 60, qPrintable(outline.name()));
    Screenshot(*window, "window_message_cut_off");
    // Ctrl+Z in the box is the design's undo: the whole run of typing goes, and comes back.
    QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Text().Text(), std::u16string());
    QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(Text().Text().size() > 20);
    // "fit text" shrinks the font until everything shows, as one step.
    const float height = Text().FontHeight();
    Click(Child<QPushButton>(*window, "BFitText"));
    QCOMPARE(design.MessageOverflow().Y, 0.0f);
    QCOMPARE(design.MessageOverflow().X, 0.0f);
    QVERIFY(Text().FontHeight() < height);
    QVERIFY(!window->StatusText().contains("does not fit"));
    QVERIFY(pixel(edge) != outline);
    window->UndoAction()->trigger();
    QCOMPARE(Text().FontHeight(), height);
  }

  void thePanelStaysPutWhenAControlTakesTheFocus() {
    Open(true);
    SelectTemplate();
    window->PageControl1()->setCurrentIndex(1);
    auto* scroll = qobject_cast<QScrollArea*>(window->PrintTab()->parentWidget()->parentWidget());
    QVERIFY(scroll);
    QScrollBar* bar = scroll->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    // "refresh" turns itself off when clicked; the focus it had moves on, and the panel stays
    // under the mouse instead of scrolling to wherever the focus went.
    auto* grid = window->findChild<TLayoutGridView*>();
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(0, 0).center());
    auto* refresh = Child<QPushButton>(*window, "BRefreshPreview");
    QVERIFY(refresh->isEnabled());
    bar->setValue(bar->maximum() / 2);
    const int at = bar->value();
    Click(refresh);
    QVERIFY(!refresh->isEnabled());
    QCOMPARE(bar->value(), at);
    // Tab still brings the control it moves to into view.
    bar->setValue(0);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    TAdvSpinEdit* offset = Child<TAdvSpinEdit>(*window, "SEOffsetY");
    Child<QCheckBox>(*window, "CBPrecut")->setFocus();
    for (int i = 0; i < 40 && !offset->Editor()->hasFocus(); ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(offset->Editor()->hasFocus());
    QVERIFY(bar->value() > 0);
  }

  void closingAsksOnlyForAChangedDesign() {
    Open(true);
    // Unchanged: no question.
    QVERIFY(window->close());
    QVERIFY(boxes.Messages().empty());
    window.reset();
    Open(true);
    SelectTemplate();
    QVERIFY(window->close());  // a template just loaded is unchanged
    QVERIFY(boxes.Messages().empty());
    window.reset();
    Open(true);
    SelectTemplate();
    ClickArrow(Spin("SETextVertical"), true, 1);
    // Cancel keeps the window.
    boxes.ScriptAnswer(TMessageAnswer::Cancel);
    QVERIFY(!window->close());
    QCOMPARE(boxes.LastText(), std::string("Do you want to save the changes to your design."));
    // Yes with the save dialog cancelled keeps the window and the design.
    boxes.ScriptAnswer(TMessageAnswer::Yes);
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QVERIFY(dialogs->Files.LastRequest()->Save);
    // Yes with a save that fails: the error is shown, the window stays.
    boxes.ScriptAnswer(TMessageAnswer::Yes);
    dialogs->Files.ScriptSave((Program() + "/no such folder/mine.fmd").toStdString());
    QVERIFY(!window->close());
    QCOMPARE(boxes.Messages().back().Kind, TMessageKind::Error);
    QVERIFY(window->Design().Document().Modified());
    // Yes with a save that works closes.
    boxes.ScriptAnswer(TMessageAnswer::Yes);
    dialogs->Files.ScriptSave((Program() + "/designs/kept.fmd").toStdString());
    QVERIFY(window->close());
    QVERIFY(QFile::exists(Program() + "/designs/kept.fmd"));
    window.reset();
    // No closes without saving.
    Open(true);
    SelectTemplate();
    ClickArrow(Spin("SETextVertical"), true, 1);
    boxes.ScriptAnswer(TMessageAnswer::No);
    const size_t saves = dialogs->Files.Requests().size();
    QVERIFY(window->close());
    QCOMPARE(dialogs->Files.Requests().size(), saves);
  }

  void anErrorInAHandlerEndsInAMessageBox() {
    Open(true);
    SelectTemplate();
    // A typed angle folds into [-179, 180].
    TAdvSpinEdit* rotate = Spin("SETextRotate");
    auto type = [&](const char* text) {
      rotate->Editor()->selectAll();
      QTest::keyClicks(rotate->Editor(), text);
      QTest::keyClick(rotate->Editor(), Qt::Key_Return);
    };
    type("181");
    QCOMPARE(rotate->IntValue(), -179);
    QCOMPARE(Text().DocAngle(), 179.0f);
    type("-180");
    QCOMPARE(rotate->IntValue(), 180);
    QCOMPARE(Text().DocAngle(), 180.0f);
    type("0");
    // Not a picture at all.
    QFile bad(Program() + "/images/bad.png");
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("this is no picture");
    bad.close();
    dialogs->Files.ScriptOpen(bad.fileName().toStdString());
    Click(Child<QPushButton>(*window, "BLoadImage"));
    QCOMPARE(boxes.Messages().size(), size_t(1));
    QCOMPARE(boxes.Messages()[0].Kind, TMessageKind::Error);
    QVERIFY(!Picture().Visible());
    // A template that is missing: its error, and the design stays as it was.
    boxes.ScriptAnswer(TMessageAnswer::No);  // the changed design may go
    dialogs->Files.ScriptOpen((Program() + "/templates/gone.fmt").toStdString());
    Click(Child<QPushButton>(*window, "BSelectTemplate"));
    QVERIFY(boxes.LastText().find("Cannot find file") != std::string::npos);
    QVERIFY(window->Design().DesignLoaded());
    // The window goes on working.
    ClickArrow(Spin("SETextRotate"), true, 1);
    QCOMPARE(Text().DocAngle(), 359.0f);
    QVERIFY(Child<QPlainTextEdit>(*window, "Memo")->isEnabled());
    // A file that is no archive leaves the design empty: the controls go off, the start-up shows.
    QFile junk(Program() + "/templates/junk.fmt");
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("junk");
    junk.close();
    boxes.ScriptAnswer(TMessageAnswer::No);
    dialogs->Files.ScriptOpen(junk.fileName().toStdString());
    Click(Child<QPushButton>(*window, "BSelectTemplate"));
    QVERIFY(!window->Design().DesignLoaded());
    QVERIFY(!Child<QPlainTextEdit>(*window, "Memo")->isEnabled());
    QCOMPARE(window->PageControl2()->currentWidget(), window->StartupPage());
  }

  void foldersFallBackToTheDataFolder() {
    const QString program = dir->path() + "/readonly";
    QDir().mkpath(program);
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (::access(program.toStdString().c_str(), W_OK) == 0) QSKIP("running with rights that write anywhere");
    const TAppFolders folders = MakeAppFolders(program.toStdString(), (dir->path() + "/data").toStdString());
    QVERIFY(folders.InDataFolder);
    QCOMPARE(QString::fromStdString(folders.TemplatesDir), dir->path() + "/data/templates");
    QVERIFY(QDir(dir->path() + "/data/images").exists());
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }

  void bundledTemplatesAreCopiedWhenMissing() {
    const QString bundled = dir->path() + "/share/templates";
    QDir().mkpath(bundled);
    WriteTemplate(*world, (bundled + "/Heart.fmt").toStdString());
    QFile other(bundled + "/readme.txt");
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    const TAppFolders folders = MakeAppFolders((dir->path() + "/bin").toStdString(), "");
    QVERIFY(!folders.InDataFolder);
    QVERIFY(!TemplatesFound(folders.TemplatesDir));
    QCOMPARE(InstallBundledTemplates({dir->path().toStdString() + "/none", bundled.toStdString()}, folders.TemplatesDir), 1);
    QVERIFY(TemplatesFound(folders.TemplatesDir));
    QVERIFY(QFile::exists(QString::fromStdString(folders.TemplatesDir) + "/Heart.fmt"));
    QVERIFY(!QFile::exists(QString::fromStdString(folders.TemplatesDir) + "/readme.txt"));
    // A template of that name already there is kept.
    QCOMPARE(InstallBundledTemplates({bundled.toStdString()}, folders.TemplatesDir), 0);
    // A folder named like a template counts too, in any letter case.
    const QString only = dir->path() + "/only";
    QDir().mkpath(only + "/Odd.FMT");
    QVERIFY(TemplatesFound(only.toStdString()));
    QVERIFY(!TemplatesFound((dir->path() + "/missing").toStdString()));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
