// The small windows: the shared pictures, the three dialogs' texts and buttons, the web pages they
// open and a browser that cannot be started.
#include "app/aux_dialogs.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "base/exception.h"
#include "platform/headless_dialogs.h"
#include "platform/headless_message_box.h"

using namespace sw;

class AuxDialogsTest : public QObject {
  Q_OBJECT

private slots:
  void configHoldsThePicturesAtTheirSizes() {
    TFConfig config;
    QCOMPARE(config.IStartup.size(), QSize(291, 43));
    QCOMPARE(config.ProgramIcon.size(), QSize(32, 32));
    QCOMPARE(config.ImageList.size(), 2);
    for (const QPixmap& icon : config.ImageList) QCOMPARE(icon.size(), QSize(16, 16));
    QVERIFY(config.ImageList[0].toImage() != config.ImageList[1].toImage());
    QVERIFY(!config.isVisible());
    // The desktop entry's icon is the same artwork, larger.
    QCOMPARE(QPixmap(QStringLiteral(":/stickwell/stickwell.png")).size(), QSize(256, 256));
  }

  void productNameReplacesEveryPlaceholder() {
    QCOMPARE(WithProductName("PRODUCT_NAMEPRODUCT_NAME and PRODUCT_NAME."),
             std::string("StickwellStickwell and Stickwell."));
    QCOMPARE(WithProductName("no name here"), std::string("no name here"));
  }

  void noTemplatesDownloadsAndCloses() {
    THeadlessDialogs dialogs;
    THeadlessMessageBoxes boxes;
    TFConfig config;
    // Built without a download page: no button that would open a page that does not exist.
    {
      TFNoTemplates window(dialogs.Services(&boxes), &config, nullptr, std::string());
      QVERIFY(window.BDownload->isHidden());
      QCOMPARE(window.BCancel->text(), QStringLiteral("OK"));
      QVERIFY(window.Label1->text().contains(QStringLiteral("were not found")));
    }
    TFNoTemplates window(dialogs.Services(&boxes), &config, nullptr, "https://templates.test/");
    QCOMPARE(window.windowTitle(), QStringLiteral("Empty Templates Folder"));
    QCOMPARE(window.Label1->text(), QStringLiteral("Your templates folder is currently empty.\n\n"
                                                   "Please download templates from the \n"
                                                   "Stickwell web site before continuing."));
    QVERIFY(window.BDownload->isDefault());
    QCOMPARE(window.BCancel->text(), QStringLiteral("Cancel"));
    QVERIFY(!window.windowIcon().isNull());

    window.show();
    QTest::mouseClick(window.BDownload, Qt::LeftButton);
    QCOMPARE(dialogs.Web.Urls(), std::vector<std::string>{"https://templates.test/?ref=Stickwell"});
    QCOMPARE(window.result(), int(QDialog::Accepted));
    QVERIFY(!window.isVisible());

    window.show();
    QTest::mouseClick(window.BCancel, Qt::LeftButton);
    QCOMPARE(window.result(), int(QDialog::Rejected));
    QCOMPARE(dialogs.Web.Urls().size(), size_t(1));
  }

  void aBrowserThatFailsIsReportedAndTheDialogStays() {
    THeadlessDialogs dialogs;
    dialogs.Web.Fail = true;
    THeadlessMessageBoxes boxes;
    TFNoTemplates window(dialogs.Services(&boxes), nullptr, nullptr, "https://templates.test/");
    window.show();
    QTest::mouseClick(window.BDownload, Qt::LeftButton);
    QCOMPARE(boxes.LastText(), std::string("Couldn't launch default browser"));
    QVERIFY(window.isVisible());
  }

  void printingTipsNameWhatTheProgramHas() {
    THeadlessDialogs dialogs;
    TFConfig config;
    TFPrintingTips tips(dialogs.Services(), &config);
    QCOMPARE(tips.windowTitle(), QStringLiteral("Printing tips for pre-cut paper"));
    const QString text = tips.Label1->text();
    // The tips send the user to what the print tab really has, not to a web site.
    for (const char* named : {"\"print guide sheet\"", "printer offset", "print tab"}) QVERIFY(text.contains(named));
    QVERIFY(!text.contains(QStringLiteral("download")));
    QVERIFY(!text.contains(QStringLiteral("PRODUCT_NAME")));
    QVERIFY(tips.BOK->isDefault());

    tips.show();
    QTest::mouseClick(tips.BGuideSheets, Qt::LeftButton);
    QCOMPARE(tips.result(), int(QDialog::Accepted));
    QVERIFY(tips.GuideSheetChosen());
    QVERIFY(dialogs.Web.Urls().empty());
  }

  void aboutBoxAndWebPages() {
    TFConfig config;
    TAboutBox about(&config);
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    about.show();
    QCOMPARE(about.ProductName->text(), QStringLiteral("Stickwell"));
    // The version the build was made as.
    QCOMPARE(about.Version->text(), QStringLiteral("Version " STICKWELL_PROJECT_VERSION));
    QVERIFY(!about.Copyright->text().isEmpty());
    QVERIFY(!about.Comments->text().isEmpty());
    QTest::mouseClick(about.OKButton, Qt::LeftButton);
    QVERIFY(!about.isVisible());

    THeadlessWebBrowser web;
    TAboutBox::OpenWebAddress(&web, "https://shop.test/");
    QCOMPARE(web.Urls(), (std::vector<std::string>{"https://shop.test/?ref=Stickwell"}));
    bool raised = false;
    try {
      TAboutBox::OpenWebAddress(nullptr, "https://shop.test/");
    } catch (const Exception& e) {
      raised = e.Message() == "Couldn't launch default browser";
    }
    QVERIFY(raised);
    // The manual: the first folder that has one, or a clear error.
    QTemporaryDir folder;
    bool missing = false;
    try {
      OpenManual(&web, {folder.path().toStdString()});
    } catch (const Exception& e) {
      missing = e.Message() == "The manual is not installed";
    }
    QVERIFY(missing);
  }
};

QTEST_MAIN(AuxDialogsTest)
#include "aux_dialogs_test.moc"
