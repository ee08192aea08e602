// The print tab driven as a user drives it: positions unticked in the grid, paper and margins
// changed with the spin arrows and presets, the preview refreshed, the sheet printed on a recording
// printer and saved as PDF, with the skipped positions left blank.
#include "app/print_tab.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "shapes/memo_shape.h"
#include "platform/headless_dialogs.h"
#include "platform/headless_message_box.h"
#include "platform/headless_printer.h"
#include "platform/headless_settings.h"
#include "support/modal_script.h"
#include "tabs_test_support.h"
#include "widgets/layout_grid.h"
#include "widgets/spin_edit.h"

using namespace sw;
using sw::test::TModalScript;
using test::Click;
using test::ClickArrow;
using test::Type;

namespace {

constexpr TColor32 kPictureColour = 0xFF336699;
// The recording printer's resolution: coarse enough to keep whole sheets in memory.
constexpr int32_t kDpi = 100;

// A printer of paper w x h mm at kDpi that keeps its sheets.
std::unique_ptr<THeadlessPrinter> Printer(double w, double h) {
  TPrinterSheet sheet;
  sheet.Width = static_cast<int32_t>(std::lround(w / 25.4 * kDpi));
  sheet.Height = static_cast<int32_t>(std::lround(h / 25.4 * kDpi));
  sheet.DpiX = sheet.DpiY = kDpi;
  auto printer = std::make_unique<THeadlessPrinter>(sheet);
  printer->KeepSheets = true;
  return printer;
}

// The colour printed at (x, y) mm of the last job's first sheet, without alpha.
uint32_t PrintedAt(const THeadlessPrinter& printer, double x, double y) {
  const TBitmap32& sheet = *printer.SheetBitmaps.at(0);
  return sheet.Pixel(static_cast<int32_t>(x / 25.4 * kDpi), static_cast<int32_t>(y / 25.4 * kDpi)) & 0xFFFFFF;
}

bool Near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 8) return false;
  return true;
}

}  // namespace

// One design of 90 x 50 mm with bleed 3 built around a single-colour cutout picture, its sheet and
// the tab on screen with scripted dialogs.
struct TRig {
  THeadlessDialogs Dialogs;
  THeadlessMessageBoxes Boxes;
  std::unique_ptr<TMagnetDesign> Design;
  std::unique_ptr<TPrintSheet> Sheet;
  std::unique_ptr<TPrintTab> Tab;

  TRig(test::TTabsWorld& world, const std::string& picture, ISettings* settings = nullptr) {
    Design = std::make_unique<TMagnetDesign>(world.Services());
    Design->SetTemplateName("Card");
    Design->SetBleedMargin(3);
    Design->LoadTemplateImage(TLayer::olImage, picture);
    Sheet = std::make_unique<TPrintSheet>(world.Services());
    Tab = std::make_unique<TPrintTab>(*Design, *Sheet, Dialogs.Services(&Boxes));
    Tab->SetSettings(settings);
    Tab->resize(457, 640);
    Tab->show();
    Tab->ShowSettings();
    Tab->TabSheet4Show();
  }
  int Copies() { return Sheet->Document().CurrentPage()->ChildCount(); }
  void ClickCell(int column, int row) {
    QTest::mouseClick(Tab->SGPrintLayout, Qt::LeftButton, {}, Tab->SGPrintLayout->CellRect(column, row).center());
  }
};

class PrintTabTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TTabsWorld> world_;
  QTemporaryDir dir_;
  std::string picture_;

private slots:
  void initTestCase() {
    world_ = std::make_unique<test::TTabsWorld>();
    QVERIFY(dir_.isValid());
    picture_ = test::WritePicture(dir_.filePath(QStringLiteral("cutout.png")), 600, 800, kPictureColour);
  }

  void showingTheTabLaysTheSheetOut() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    QCOMPARE(tab.SGPrintLayout->Rows(), 5);
    QCOMPARE(tab.SGPrintLayout->Columns(), 2);
    QCOMPARE(rig.Copies(), 10);
    QVERIFY(!tab.BRefreshPreview->isEnabled());
    QVERIFY(tab.CBPrecut->isChecked() && !tab.CBUncut->isChecked());
    QVERIFY(tab.CBPortrait->isChecked() && !tab.CBLandscape->isChecked());
    QCOMPARE(tab.SEPaperWidth->IntValue(), 210);
    QCOMPARE(tab.SEOuterMarginY->Value(), 23.0);
    QVERIFY(!tab.BPrintingTips->isHidden());
  }

  void thePreviewFollowsTheSettingsOnceTheyRest() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    QCOMPARE(rig.Copies(), 10);
    // Inner margins that leave room for one column: the sheet is laid out anew by itself, once the
    // arrows rest, and "refresh" stays for whoever wants it at once.
    ClickArrow(tab.SEInnerMarginX, true, 30);
    QVERIFY(rig.Design->LayoutStale());
    QVERIFY(tab.BRefreshPreview->isEnabled());
    QVERIFY(tab.PreviewTimer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Design->LayoutStale(), 5000);
    QCOMPARE(rig.Copies(), 5);
    QVERIFY(!tab.BRefreshPreview->isEnabled());
  }

  void spinArrowsAndPresetsChangeThePaper() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    QSignalSpy modified(&tab, &TPrintTab::designModified);
    QSignalSpy preview(&tab, &TPrintTab::previewChanged);

    // Inner margins of 5 by ten presses of the lower (increasing) arrow, 0.5 each.
    ClickArrow(tab.SEInnerMarginX, true, 10);
    ClickArrow(tab.SEInnerMarginY, true, 10);
    QCOMPARE(rig.Design->PrintSettings().InnerMarginX, 5.0f);
    QCOMPARE(rig.Design->PrintSettings().InnerMarginY, 5.0f);
    QVERIFY(tab.BRefreshPreview->isEnabled());
    QCOMPARE(modified.count(), 20);
    QCOMPARE(rig.Copies(), 10);  // nothing laid out until "refresh"
    Click(tab.BRefreshPreview);
    QCOMPARE(preview.count(), 1);
    QCOMPARE(tab.SGPrintLayout->Rows(), 4);
    QCOMPARE(tab.SGPrintLayout->Columns(), 2);
    QCOMPARE(rig.Copies(), 8);
    QVERIFY(!tab.BRefreshPreview->isEnabled());

    // The upper arrow decreases.
    ClickArrow(tab.SEPaperWidth, false, 3);
    QCOMPARE(rig.Design->PrintSettings().PaperWidth, 207);
    Click(tab.BPaperLetter);
    QCOMPARE(tab.SEPaperWidth->IntValue(), 216);
    QCOMPARE(tab.SEPaperHeight->IntValue(), 279);
    QCOMPARE(rig.Design->PrintSettings().PaperHeight, 279);
    Click(tab.BPaperA4);
    QCOMPARE(rig.Design->PrintSettings().PaperWidth, 210);
    QCOMPARE(rig.Design->PrintSettings().PaperHeight, 297);

    // Landscape: copies of 50 x 90 on the sheet, three across and two down.
    Click(tab.CBLandscape);
    QVERIFY(!tab.CBPortrait->isChecked());
    QVERIFY(!rig.Design->PrintSettings().Portrait);
    Click(tab.BRefreshPreview);
    QCOMPARE(tab.SGPrintLayout->Columns(), 3);
    QCOMPARE(tab.SGPrintLayout->Rows(), 2);
    QCOMPARE(rig.Copies(), 6);
  }

  void paperTypeBoxesAreAPair() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    Click(tab.CBUncut);
    QVERIFY(!tab.CBPrecut->isChecked());
    QVERIFY(!rig.Design->PrintSettings().Precut);
    QVERIFY(tab.BPrintingTips->isHidden());
    // Unticking and ticking "pre-cut paper" again ends ticked, with the tips shown.
    Click(tab.CBPrecut);
    QVERIFY(tab.CBPrecut->isChecked() && !tab.CBUncut->isChecked());
    Click(tab.CBPrecut);
    Click(tab.CBPrecut);
    QVERIFY(tab.CBPrecut->isChecked() && !tab.CBUncut->isChecked());
    QVERIFY(rig.Design->PrintSettings().Precut);
    QVERIFY(!tab.BPrintingTips->isHidden());

    // The controls follow settings the model changed (a template applied, an undo).
    rig.Design->SetPortrait(false);
    rig.Design->SetPrecut(false);
    rig.Design->SetOuterMarginX(7.5f);
    tab.ShowSettings();
    QVERIFY(tab.CBLandscape->isChecked() && !tab.CBPortrait->isChecked());
    QVERIFY(tab.CBUncut->isChecked() && tab.BPrintingTips->isHidden());
    QCOMPARE(tab.SEOuterMarginX->Value(), 7.5);

    // The tips dialog opens from the tab.
    QString title;
    const TModalScript tips = TModalScript::On<QWidget>("the printing tips", [&title](QWidget* d) {
      title = d->windowTitle();
      d->close();
    });
    Click(tab.CBPrecut);
    Click(tab.BPrintingTips);
    QVERIFY2(tips.Done(), tips.Failure());
    QCOMPARE(title, QStringLiteral("Printing tips for pre-cut paper"));
  }

  void untickedPositionsPrintBlank() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    rig.ClickCell(0, 0);
    rig.ClickCell(1, 4);
    QVERIFY(!rig.Design->Grid().Selected(0, 0));
    QVERIFY(!rig.Design->Grid().Selected(1, 4));
    QVERIFY(rig.Design->Grid().Selected(1, 0));
    QVERIFY(tab.BRefreshPreview->isEnabled());
    test::Screenshot(tab, "print_tab");
    Click(tab.BRefreshPreview);
    QCOMPARE(rig.Copies(), 8);

    auto printer = Printer(210, 297);
    rig.Dialogs.Print.ScriptPrinter(printer.get());
    QSignalSpy printed(&tab, &TPrintTab::printed);
    Click(tab.BPrint);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    QCOMPARE(printed.count(), 1);
    QCOMPARE(rig.Dialogs.Print.Requests().size(), size_t(1));
    QCOMPARE(rig.Dialogs.Print.Requests()[0].PaperWidth, 210.0f);
    QCOMPARE(rig.Dialogs.Print.Requests()[0].PaperHeight, 297.0f);
    QCOMPARE(printer->SheetCount(), 1);
    QCOMPARE(printer->Count("end"), 1);
    QCOMPARE(PrintedCopyCount(*rig.Sheet), 8);
    QCOMPARE(rig.Dialogs.Progress.Jobs().size(), size_t(1));
    QVERIFY(rig.Dialogs.Progress.Jobs()[0].Ended);

    // Each cell's net area starts at (15 + 90 c, 23 + 50 r); look 10 mm inside it, away from the
    // message in the middle.
    for (int r = 0; r < 5; ++r) {
      for (int c = 0; c < 2; ++c) {
        const bool skipped = (c == 0 && r == 0) || (c == 1 && r == 4);
        const uint32_t colour = PrintedAt(*printer, 15 + 90 * c + 10, 23 + 50 * r + 10);
        QVERIFY2(Near(colour, skipped ? 0xFFFFFF : kPictureColour & 0xFFFFFF),
                 qPrintable(QStringLiteral("cell %1,%2: %3").arg(c).arg(r).arg(colour, 6, 16)));
      }
    }
    // Outside the copies the sheet is blank.
    QVERIFY(Near(PrintedAt(*printer, 5, 5), 0xFFFFFF));
  }

  // A sheet printed in part and marked used: a fresh grid leaves its used positions out, the print
  // that uses the sheet up clears the record, and "all" clears it too.
  void aPrintedSheetIsUsedAgain() {
    THeadlessSettings settings;
    auto printer = Printer(210, 297);
    {
      TRig rig(*world_, picture_, &settings);
      rig.ClickCell(0, 0);
      rig.ClickCell(1, 4);
      rig.Dialogs.Print.ScriptPrinter(printer.get());
      rig.Boxes.ScriptAnswer(TMessageAnswer::Yes);
      Click(rig.Tab->BPrint);
      QCOMPARE(rig.Boxes.Messages().size(), size_t(1));
      QVERIFY(rig.Boxes.Messages()[0].Text.find("8 printed positions") != std::string::npos);
      QCOMPARE(settings.Value("used-positions/Card"), std::string("2,3,4,5,6,7,8,9"));
      QCOMPARE(rig.Copies(), 0);
    }
    TRig rig(*world_, picture_, &settings);
    QCOMPARE(rig.Copies(), 2);
    QVERIFY(!rig.Tab->LUsedNote->isHidden());
    test::Screenshot(*rig.Tab, "print_tab_used");
    rig.Dialogs.Print.ScriptPrinter(printer.get());
    Click(rig.Tab->BPrint);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    QCOMPARE(settings.Value("used-positions/Card"), std::string());
    QCOMPARE(rig.Copies(), 10);
    QVERIFY(rig.Tab->LUsedNote->isHidden());

    settings.SetValue("used-positions/Card", "1,2");
    Click(rig.Tab->BSelectAll);
    QCOMPARE(settings.Value("used-positions/Card"), std::string());
  }

  // A merge file chosen in the tab: its rows and first row shown, the preview paging through the
  // sheets the print makes, the print taking them all; a file that cannot be read changes nothing.
  void aMergeFilePagesAndPrints() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    rig.Design->SetMessageText(u"Hi ${Name}");
    const QString csv = dir_.filePath(QStringLiteral("guests.csv"));
    {
      QFile file(csv);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("Name,Town\n");
      for (int i = 1; i <= 12; ++i) file.write(QStringLiteral("Guest %1,Ely\n").arg(i).toUtf8());
    }
    rig.Dialogs.Files.ScriptOpen(csv.toStdString());
    Click(tab.BMergeFile);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    QVERIFY(tab.LMerge->text().contains(QStringLiteral("12 rows; first: Name = Guest 1, Town = Ely")));
    // The design shows the first row in the message's fields, and the fields again once cleared.
    QVERIFY(rig.Design->TextLayer()->LaidText() == u"Hi Guest 1");
    Click(tab.BRefreshPreview);
    QCOMPARE(tab.PreviewSheets(), 2);
    QVERIFY(!tab.BSheetPrevious->isEnabled() && tab.BSheetNext->isEnabled());
    QCOMPARE(rig.Copies(), 10);
    test::Screenshot(tab, "print_tab_merge");
    Click(tab.BSheetNext);
    QCOMPARE(tab.LSheet->text(), QStringLiteral("sheet 2 of 2"));
    QCOMPARE(rig.Copies(), 2);

    auto printer = Printer(210, 297);
    rig.Dialogs.Print.ScriptPrinter(printer.get());
    Click(tab.BPrint);
    QCOMPARE(printer->SheetCount(), 2);
    QCOMPARE(rig.Copies(), 2);  // the preview still shows the second sheet

    const QString bad = dir_.filePath(QStringLiteral("bad.csv"));
    {
      QFile file(bad);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("Name,Town\nAnn\n");
    }
    rig.Dialogs.Files.ScriptOpen(bad.toStdString());
    Click(tab.BMergeFile);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(1));
    QCOMPARE(QString::fromStdString(rig.Design->MergeFileName()), csv);
    Click(tab.BMergeClear);
    QVERIFY(!tab.MergeTable());
    QVERIFY(tab.BSheetNext->isHidden());
    QVERIFY(rig.Design->TextLayer()->LaidText() == u"Hi ${Name}");
    QCOMPARE(rig.Copies(), 10);
  }

  // The picture column chosen in the merge source: the design takes it (modified), the preview's
  // copies and the print show each row's picture, and a column the table lacks shows as none.
  void aMergePictureColumnGivesEachCopyItsPicture() {
    // A see-through cutout, so that the pictures under it show.
    TRig rig(*world_, test::WritePicture(dir_.filePath(QStringLiteral("clear.png")), 600, 800, 0x00000000));
    TPrintTab& tab = *rig.Tab;
    constexpr TColor32 kOwn = 0xFF808080;
    const TColor32 rows[] = {0xFFC03020, 0xFF20A040, 0xFF2040C0};
    // The design's own picture covers its page: so does each row's.
    rig.Design->LoadUserPicture(test::WritePicture(dir_.filePath(QStringLiteral("own.png")), 300, 200, kOwn));
    rig.Design->ZoomActiveImage(100);
    rig.Design->MoveActiveImage(0, 0);
    QVERIFY(!tab.CBMergePicture->isEnabled());
    QCOMPARE(tab.CBMergePicture->count(), 1);
    const QString csv = dir_.filePath(QStringLiteral("photos.csv"));
    {
      QFile file(csv);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("Name,Photo\n");
      for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("photo%1.png").arg(i + 1);
        test::WritePicture(dir_.filePath(name), 300, 200, rows[i]);
        file.write(QStringLiteral("Guest %1,%2\n").arg(i + 1).arg(name).toUtf8());
      }
    }
    rig.Dialogs.Files.ScriptOpen(csv.toStdString());
    Click(tab.BMergeFile);
    QVERIFY(tab.CBMergePicture->isEnabled());
    QCOMPARE(tab.CBMergePicture->count(), 3);
    QCOMPARE(tab.CBMergePicture->currentText(), QStringLiteral("No picture"));

    // Position n's colour on the preview and on the last print, 10 mm into its cell's net area.
    constexpr double kDpm = kDpi / 25.4;
    auto cell = [](int n) { return std::pair<double, double>(15 + 90 * ((n - 1) % 2) + 10, 23 + 50 * ((n - 1) / 2) + 10); };
    auto previewAt = [&](int n) {
      const std::unique_ptr<TBitmap32> page =
          rig.Sheet->Document().RenderPage(*rig.Sheet->Document().CurrentPage(), kDpm);
      const auto [x, y] = cell(n);
      return page->Pixel(static_cast<int32_t>(x * kDpm), static_cast<int32_t>(y * kDpm)) & 0xFFFFFF;
    };
    QCOMPARE(rig.Copies(), 3);
    QVERIFY(Near(previewAt(2), kOwn & 0xFFFFFF));

    rig.Design->Document().SetModified(false);
    QSignalSpy modified(&tab, &TPrintTab::designModified);
    // Chosen in the open list, past "Name" (whose fields name no files) to "Photo".
    tab.CBMergePicture->showPopup();
    QTRY_VERIFY_WITH_TIMEOUT(tab.CBMergePicture->view()->isVisible(), 5000);
    QTest::keyClick(tab.CBMergePicture->view(), Qt::Key_Down);
    QTest::keyClick(tab.CBMergePicture->view(), Qt::Key_Down);
    QTest::keyClick(tab.CBMergePicture->view(), Qt::Key_Return);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    QCOMPARE(tab.CBMergePicture->currentText(), QStringLiteral("Photo"));
    QCOMPARE(rig.Design->MergePictureColumn(), std::string("Photo"));
    QVERIFY(rig.Design->Document().Modified());
    QCOMPARE(modified.count(), 1);
    QVERIFY(!tab.BRefreshPreview->isEnabled());
    test::Screenshot(tab, "print_tab_merge_picture");
    auto printer = Printer(210, 297);
    rig.Dialogs.Print.ScriptPrinter(printer.get());
    Click(tab.BPrint);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    for (int n = 1; n <= 3; ++n) {
      const auto [x, y] = cell(n);
      QVERIFY2(Near(previewAt(n), rows[n - 1] & 0xFFFFFF), qPrintable(QStringLiteral("preview %1: %2").arg(n).arg(previewAt(n), 6, 16)));
      QVERIFY2(Near(PrintedAt(*printer, x, y), rows[n - 1] & 0xFFFFFF), qPrintable(QStringLiteral("print %1").arg(n)));
    }
    QVERIFY(Near(previewAt(4), 0xFFFFFF));  // no fourth row

    // A design whose column the table lacks shows none; "No picture" gives every copy the design's.
    rig.Design->SetMerge(csv.toStdString(), "Portrait");
    tab.ShowSettings();
    QCOMPARE(tab.CBMergePicture->currentIndex(), 0);
    rig.Design->SetMerge(csv.toStdString(), "Photo");
    tab.ShowSettings();
    QCOMPARE(tab.CBMergePicture->currentIndex(), 2);
    tab.CBMergePicture->setFocus();
    QTest::keyClick(tab.CBMergePicture, Qt::Key_Home);
    QCOMPARE(rig.Design->MergePictureColumn(), std::string());
    QVERIFY(Near(previewAt(1), kOwn & 0xFFFFFF));
    Click(tab.BMergeClear);
    QVERIFY(!tab.CBMergePicture->isEnabled());
    QCOMPARE(tab.CBMergePicture->count(), 1);
  }

  void thePrinterOffsetMovesEveryPrint() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    auto plain = Printer(210, 297);
    rig.Dialogs.Print.ScriptPrinter(plain.get());
    Click(tab.BPrint);
    QVERIFY(Near(PrintedAt(*plain, 16, 33), kPictureColour & 0xFFFFFF));

    rig.Design->Document().SetModified(false);
    ClickArrow(tab.SEOffsetX, true, 4);  // 2 mm to the right
    QCOMPARE(tab.RunOptions().OffsetX, 2.0f);
    QVERIFY(!rig.Design->Document().Modified());  // not part of the design
    auto shifted = Printer(210, 297);
    rig.Dialogs.Print.ScriptPrinter(shifted.get());
    Click(tab.BPrint);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    QVERIFY(Near(PrintedAt(*shifted, 16, 33), 0xFFFFFF));  // now the bleed band, white
    QVERIFY(Near(PrintedAt(*shifted, 18, 33), kPictureColour & 0xFFFFFF));
  }

  void thePrintDialogGetsTheTabsPaper() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    // A printer left on Letter paper is refused rather than shrinking the A4 sheet onto it.
    auto letter = Printer(215.9, 279.4);
    rig.Dialogs.Print.ScriptPrinter(letter.get());
    QSignalSpy printed(&tab, &TPrintTab::printed);
    Click(tab.BPrint);
    QCOMPARE(rig.Dialogs.Print.Requests().back().PaperWidth, 210.0f);
    QCOMPARE(rig.Dialogs.Print.Requests().back().PaperHeight, 297.0f);
    QCOMPARE(letter->Count("begin"), 0);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(1));
    QCOMPARE(printed.count(), 0);

    // With Letter chosen on the tab, the dialog is asked for Letter and the sheet prints.
    Click(tab.BPaperLetter);
    rig.Dialogs.Print.ScriptPrinter(letter.get());
    Click(tab.BPrint);
    QCOMPARE(rig.Dialogs.Print.Requests().back().PaperWidth, 216.0f);
    QCOMPARE(rig.Dialogs.Print.Requests().back().PaperHeight, 279.0f);
    QCOMPARE(letter->SheetCount(), 1);
    QCOMPARE(printed.count(), 1);

    // A cancelled dialog prints nothing and stays.
    Click(tab.BPrint);
    QCOMPARE(printed.count(), 1);
    QCOMPARE(letter->Count("begin"), 1);
  }

  void nothingSelectedIsAMessage() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    Click(tab.BSelectNone);
    QVERIFY(tab.SGPrintLayout->IsSkippedAt(1, 3));
    QVERIFY(tab.BRefreshPreview->isEnabled());
    tab.TabSheet4Show();
    QCOMPARE(rig.Copies(), 0);
    auto printer = Printer(210, 297);
    rig.Dialogs.Print.ScriptPrinter(printer.get());
    Click(tab.BPrint);
    QCOMPARE(rig.Boxes.LastText(), std::string("No position is selected for printing"));
    QCOMPARE(printer->Count("begin"), 0);
    Click(tab.BSelectAll);
    QVERIFY(rig.Design->Grid().Selected(0, 0));
    tab.TabSheet4Show();
    QCOMPARE(rig.Copies(), 10);
  }

  void numbersNoSheetCanHave() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    // No paper: laid out (one copy overhanging at least), refused before any dialog asks.
    for (const char* width : {"0", "-5"}) {
      Type(tab.SEPaperWidth, QString::fromLatin1(width));
      Click(tab.BRefreshPreview);
      QVERIFY(rig.Copies() >= 1);
      Click(tab.BPrint);
      QCOMPARE(rig.Boxes.LastText(), std::string("Invalid paper size"));
      Click(tab.BSavePdf);
      QCOMPARE(rig.Boxes.LastText(), std::string("Invalid paper size"));
      QCOMPARE(rig.Boxes.Messages().size(), size_t(width[0] == '0' ? 2 : 4));
    }
    QVERIFY(rig.Dialogs.Print.Requests().empty());
    QVERIFY(rig.Dialogs.Files.Requests().empty());

    // Paper a kilometre wide: the layout stops at its most columns and says so.
    Type(tab.SEPaperWidth, QStringLiteral("1000000"));
    Click(tab.BRefreshPreview);
    QCOMPARE(tab.SGPrintLayout->Columns(), kMaxLayoutColumns);
    QCOMPARE(rig.Copies(), kMaxLayoutColumns * 5);
    QVERIFY(!tab.LLayoutNote->isHidden());
    QVERIFY(tab.LLayoutNote->text().contains(QStringLiteral("at most")));
    Click(tab.BPaperA4);
    Click(tab.BRefreshPreview);
    QVERIFY(tab.LLayoutNote->isHidden());
  }

  void savesTheSheetAsPdf() {
    TRig rig(*world_, picture_);
    TPrintTab& tab = *rig.Tab;
    const QString path = dir_.filePath(QStringLiteral("sheet"));
    rig.Dialogs.Files.ScriptSave(path.toStdString());
    Click(tab.BSavePdf);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    const auto* request = rig.Dialogs.Files.LastRequest();
    QVERIFY(request && request->Save);
    QCOMPARE(request->Request.DefaultExtension, std::string("pdf"));
    QFile pdf(path + QStringLiteral(".pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    // One page, A4 exactly: 210 x 297 mm in points.
    QVERIFY(bytes.contains("595.2756 841.8898"));
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page "), qsizetype(1));

    // Cancelling writes nothing.
    Click(tab.BSavePdf);
    QCOMPARE(QDir(dir_.path()).entryList({QStringLiteral("*.pdf")}).size(), qsizetype(1));
  }

  void guideSheetPrintsOnePage() {
    TRig rig(*world_, picture_);
    auto printer = Printer(210, 297);
    rig.Dialogs.Print.ScriptPrinter(printer.get());
    Click(rig.Tab->BPrintGuideSheet);
    QCOMPARE(rig.Boxes.Messages().size(), size_t(0));
    QCOMPARE(printer->SheetCount(), 1);
    QCOMPARE(printer->Count("end"), 1);
  }
};

QTEST_MAIN(PrintTabTest)
#include "print_tab_test.moc"
