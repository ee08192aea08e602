// The Qt dialogs on the offscreen platform: filters that ignore letter case and offer ".jpeg",
// the font dialog with its colour, the print dialog's paper, web pages and quiet quick progress.
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QFontDatabase>
#include <QFontDialog>
#include <QPageLayout>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cmath>

#include "base/exception.h"
#include "platform/printer.h"
#include "platform/qt/dialogs_qt.h"
#include "support/modal_script.h"

using namespace sw;
using sw::test::TModalScript;

namespace {

class UrlCatcher : public QObject {
  Q_OBJECT
public:
  QList<QUrl> urls;
public slots:
  void open(const QUrl& url) { urls << url; }
};

}  // namespace

class DialogsQtTest : public QObject {
  Q_OBJECT

private slots:
  void filtersIgnoreCaseAndOfferJpeg() {
    const TFileFilter all{"All (*.jpg;*.gif,*.png)", {"jpg", "gif", "png"}};
    QCOMPARE(QtNameFilter(all), QString("All (*.jpg *.jpeg *.gif *.png)"));
    QCOMPARE(QtNameFilter(TFileFilter{"fridge magnet templates (*.fmt)", {"FMT"}}),
             QString("fridge magnet templates (*.fmt)"));
    QCOMPARE(QtNameFilter(TFileFilter{"Everything", {}}), QString("Everything (*)"));
    QVERIFY(MatchesFilter("/t/Round_Magnet_50mm.FMT", TFileFilter{"t", {"fmt"}}));
    QVERIFY(MatchesFilter("photo.JPEG", all));
    QVERIFY(MatchesFilter("/a.png/b.Png", all));
    QVERIFY(!MatchesFilter("/a.png/b", all));
    QVERIFY(!MatchesFilter("notes.fmd", all));
    QCOMPARE(AddDefaultExtension("/x.y/mine", "fmd"), std::string("/x.y/mine.fmd"));
    QCOMPARE(AddDefaultExtension("/x/mine.FMD", "fmd"), std::string("/x/mine.FMD"));
  }

  void fileDialogListsUpperCaseTemplatesAndAnswersThePath() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char* name : {"Round_Magnet_50mm.FMT", "square.fmt", "photo.png"}) {
      QFile f(dir.filePath(name));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    TQtFileDialogs dialogs(nullptr);
    TFileDialogRequest request;
    request.Title = "Load template design";
    request.InitialDir = dir.path().toStdString();
    request.Filters = {{"fridge magnet templates (*.fmt)", {"fmt"}}};
    QString title, folder, filters;
    // The name is typed, as a user would: selecting it in the list depends on the dialog's
    // background reading of the folder, and accept() with nothing chosen does nothing.
    const TModalScript open = TModalScript::On<QFileDialog>("the open dialog", [&](QFileDialog* d) {
      title = d->windowTitle();
      folder = d->directory().absolutePath();
      filters = d->nameFilters().join('|');
      d->findChild<QLineEdit*>("fileNameEdit")->setText("Round_Magnet_50mm.FMT");
      static_cast<QDialog*>(d)->accept();
    });
    const std::optional<std::string> path = dialogs.OpenFile(request);
    QVERIFY2(open.Done(), open.Failure());
    QCOMPARE(title, QString("Load template design"));
    QCOMPARE(folder, QDir(dir.path()).absolutePath());
    QCOMPARE(filters, QString("fridge magnet templates (*.fmt)"));
    QVERIFY(path.has_value());
    QCOMPARE(QString::fromStdString(*path), dir.filePath("Round_Magnet_50mm.FMT"));

    const TModalScript cancel = TModalScript::On<QFileDialog>("the open dialog, cancelled",
                                                              [](QFileDialog* d) { d->reject(); });
    QVERIFY(!dialogs.OpenFile(request).has_value());
    QVERIFY2(cancel.Done(), cancel.Failure());

    // A name typed without extension is saved with the default one.
    TFileDialogRequest save;
    save.Title = "Save fridge magnet design";
    save.InitialDir = dir.path().toStdString();
    save.Filters = {{"fridge magnet designs (*.fmd)", {"fmd"}}};
    save.DefaultExtension = "fmd";
    const TModalScript saveAs = TModalScript::On<QFileDialog>("the save dialog", [&](QFileDialog* d) {
      auto* name = d->findChild<QLineEdit*>("fileNameEdit");
      name->setText("mine");
      QTest::keyClick(name, Qt::Key_Return);
    });
    const std::optional<std::string> saved = dialogs.SaveFile(save);
    QVERIFY2(saveAs.Done(), saveAs.Failure());
    QVERIFY(saved.has_value());
    QCOMPARE(QString::fromStdString(*saved), dir.filePath("mine.fmd"));
  }

  void fontDialogCarriesAColour() {
    TFontColourDialog dialog;
    const QString family = "DejaVu Sans";
    if (!QFontDatabase::families().contains(family)) QSKIP("the machine has no DejaVu Sans");
    dialog.SetChoice(TFontChoice{family.toStdString(), 11.34, true, false, 0x123456});
    TFontChoice choice = dialog.Choice();
    QCOMPARE(QString::fromStdString(choice.Name), family);
    QCOMPARE(choice.Points, 11.0);  // whole points, as the chooser lists them
    QVERIFY(choice.Bold);
    QVERIFY(!choice.Italic);
    QCOMPARE(choice.Colour, 0x123456);
    // The family fontconfig draws "Arial" with is in the chooser: opened on it, bold and size
    // kept, the dialog gives back exactly what it was given.
    const TFontChoice liberation{"Liberation Sans", 20, true, false, 0x123456};
    if (QFontDatabase::families().contains("Liberation Sans")) {
      dialog.SetChoice(liberation);
      QCOMPARE(dialog.Choice(), liberation);
    }
    dialog.SetColour(0xFF00AA33);  // only the colour bits count
    QCOMPARE(dialog.Choice().Colour, 0x00AA33);
    QVERIFY(dialog.ColourButton()->styleSheet().contains("#00aa33"));

    TQtFontDialog service(nullptr);
    const TModalScript font = TModalScript::On<TFontColourDialog>("the font dialog", [](TFontColourDialog* d) {
      QFont f = d->FontChooser()->currentFont();
      f.setItalic(true);
      f.setPointSize(24);
      d->FontChooser()->setCurrentFont(f);
      d->SetColour(0xFF0000);
      d->accept();
    });
    const std::optional<TFontChoice> chosen = service.ChooseFont(TFontChoice{family.toStdString(), 10, false, false, 0});
    QVERIFY2(font.Done(), font.Failure());
    QVERIFY(chosen.has_value());
    QCOMPARE(chosen->Points, 24.0);
    QVERIFY(chosen->Italic);
    QCOMPARE(chosen->Colour, 0xFF0000);
    const TModalScript noFont = TModalScript::On<TFontColourDialog>("the font dialog, cancelled",
                                                                    [](TFontColourDialog* d) { d->reject(); });
    QVERIFY(!service.ChooseFont(TFontChoice{}).has_value());
    QVERIFY2(noFont.Done(), noFont.Failure());
  }

  void printDialogPrinterTakesTheLayoutsPaper() {
    TQtPrintDialog dialog(nullptr);
    const TModalScript cancel = TModalScript::On<QDialog>("the print dialog, cancelled", [](QDialog* d) { d->reject(); });
    QVERIFY(dialog.Execute(TPrintRequest{"Stickwell", 210, 297}) == nullptr);
    QVERIFY2(cancel.Done(), cancel.Failure());
    // The printer is set to the layout's paper before the dialog shows it.
    QVERIFY(dialog.LastPrinter() != nullptr);
    const QSizeF a4 = dialog.LastPrinter()->pageLayout().fullRect(QPageLayout::Millimeter).size();
    QVERIFY(std::abs(a4.width() - 210) < 0.5 && std::abs(a4.height() - 297) < 0.5);

    const TModalScript accept = TModalScript::On<QDialog>("the print dialog", [](QDialog* d) { d->accept(); });
    IPrinter* printer = dialog.Execute(TPrintRequest{"Stickwell", 215.9f, 279.4f});
    QVERIFY2(accept.Done(), accept.Failure());
    if (!printer) QSKIP("the print dialog cannot be accepted on this machine");
    const TPrinterSheet sheet = printer->Sheet();
    QVERIFY(sheet.DpiX > 0);
    QVERIFY(std::abs(sheet.Width * 25.4 / sheet.DpiX - 215.9) < 1);
    QVERIFY(std::abs(sheet.Height * 25.4 / sheet.DpiY - 279.4) < 1);
  }

  void webPagesGoToTheBrowserOrRaise() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    TQtWebBrowser browser;
    browser.OpenUrl("https://example.org/help.php?ref=Stickwell");
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls[0].toString(), QString("https://example.org/help.php?ref=Stickwell"));
    for (const char* bad : {"", "not a url at all", "stickwell-no-handler://x/y"}) {
      try {
        browser.OpenUrl(bad);
        QFAIL(bad);
      } catch (const Exception& e) {
        QCOMPARE(QString::fromStdString(e.Message()), QString("Couldn't launch default browser"));
      }
    }
  }

  void quickJobsShowNoProgressSlowOnesDo() {
    QWidget window;
    window.resize(300, 200);
    window.show();
    TQtProgressService service(&window);
    auto visibleProgress = [&] {
      for (QProgressDialog* d : window.findChildren<QProgressDialog*>()) {
        if (d->isVisible()) return d;
      }
      return static_cast<QProgressDialog*>(nullptr);
    };
    {
      std::unique_ptr<IProgress> quick = service.Begin("Loading picture", 10);
      for (int i = 1; i <= 10; ++i) quick->SetPosition(i);
      QVERIFY(!visibleProgress());
      QVERIFY(!quick->Cancelled());
    }
    {
      std::unique_ptr<IProgress> slow = service.Begin("Loading picture", 100);
      slow->SetPosition(1);
      QThread::msleep(TQtProgressService::kMinimumDurationMs + 100);
      slow->SetPosition(2);
      QProgressDialog* shown = visibleProgress();
      QVERIFY(shown != nullptr);
      QCOMPARE(shown->labelText(), QString("Loading picture"));
      shown->cancel();
      QVERIFY(slow->Cancelled());
    }
    QVERIFY(window.findChildren<QProgressDialog*>().isEmpty());
  }
};

QTEST_MAIN(DialogsQtTest)
#include "dialogs_qt_test.moc"
