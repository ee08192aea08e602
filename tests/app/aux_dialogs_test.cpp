// The small windows: the shared pictures, the three dialogs' texts and buttons, the web pages they
// open and a browser that cannot be started.
#include "app/aux_dialogs.h"

#include <QLabel>
#include <QPushButton>
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
    TFNoTemplates window(dialogs.Services(&boxes), &config);
    QCOMPARE(window.windowTitle(), QStringLiteral("Empty Templates Folder"));
    QCOMPARE(window.Label1->text(), QStringLiteral("Your templates folder is currently empty.\n\n"
                                                   "Please download templates from the \n"
                                                   "Stickwell web site before continuing."));
    QVERIFY(window.BDownload->isDefault());
    QCOMPARE(window.BCancel->text(), QStringLiteral("Cancel"));
    QVERIFY(!window.windowIcon().isNull());

    window.show();
    QTest::mouseClick(window.BDownload, Qt::LeftButton);
    QCOMPARE(dialogs.Web.Urls(), std::vector<std::string>{"https://stickwell.example/download.php?ref=Stickwell"});
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
    TFNoTemplates window(dialogs.Services(&boxes), nullptr);
    window.show();
    QTest::mouseClick(window.BDownload, Qt::LeftButton);
    QCOMPARE(boxes.LastText(), std::string("Couldn't launch default browser"));
    QVERIFY(window.isVisible());

    // Without any browser service the same message comes.
    TDialogServices none;
    none.MessageBoxes = &boxes;
    TFPrintingTips tips(none, nullptr);
    tips.show();
    boxes.ClearMessages();
    QTest::mouseClick(tips.BGuideSheets, Qt::LeftButton);
    QCOMPARE(boxes.LastText(), std::string("Couldn't launch default browser"));
    QVERIFY(tips.isVisible());
    tips.reject();
  }

  void printingTipsTextAndGuideSheets() {
    THeadlessDialogs dialogs;
    TFConfig config;
    TFPrintingTips tips(dialogs.Services(), &config);
    QCOMPARE(tips.windowTitle(), QStringLiteral("Printing tips for pre-cut paper"));
    const QStringList lines = tips.Label1->text().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 25);
    QCOMPARE(lines[0], QStringLiteral("Here are some tips to help you get the best results."));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[3], QStringLiteral("pages first using plain paper guide sheets.   These "));
    QCOMPARE(lines[14], QStringLiteral("While Stickwell allows precise adjustment of "));
    QCOMPARE(lines[18], QStringLiteral("*IMPORTANT* "));
    QCOMPARE(lines[24], QStringLiteral("advice, you do so at your own risk."));
    QVERIFY(!tips.Label1->text().contains(QStringLiteral("PRODUCT_NAME")));
    QVERIFY(tips.BOK->isDefault());

    tips.show();
    QTest::mouseClick(tips.BGuideSheets, Qt::LeftButton);
    QCOMPARE(dialogs.Web.Urls(), std::vector<std::string>{"https://stickwell.example/guide_sheet.php?ref=Stickwell"});
    QCOMPARE(tips.result(), int(QDialog::Accepted));
    tips.show();
    QTest::mouseClick(tips.BOK, Qt::LeftButton);
    QVERIFY(!tips.isVisible());
    QCOMPARE(dialogs.Web.Urls().size(), size_t(1));
  }

  void aboutBoxAndWebPages() {
    TFConfig config;
    TAboutBox about(&config);
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    about.show();
    QCOMPARE(about.ProductName->text(), QStringLiteral("Stickwell"));
    QCOMPARE(about.Version->text(), QStringLiteral("Version 2006 1.0.15"));
    QVERIFY(!about.Copyright->text().isEmpty());
    QVERIFY(!about.Comments->text().isEmpty());
    QTest::mouseClick(about.OKButton, Qt::LeftButton);
    QVERIFY(!about.isVisible());

    THeadlessWebBrowser web;
    TAboutBox::OpenWebPage(&web, "help.php");
    TAboutBox::OpenWebAddress(&web, kShopSite);
    QCOMPARE(web.Urls(), (std::vector<std::string>{"https://stickwell.example/help.php?ref=Stickwell",
                                                   "https://shop.stickwell.example/?ref=Stickwell"}));
    bool raised = false;
    try {
      TAboutBox::OpenWebPage(nullptr, "help.php");
    } catch (const Exception& e) {
      raised = e.Message() == "Couldn't launch default browser";
    }
    QVERIFY(raised);
  }
};

QTEST_MAIN(AuxDialogsTest)
#include "aux_dialogs_test.moc"
