// The template tab driven as a template author drives it: a template built around a cutout
// picture (size, bleed, border, type, transparency, mask), saved, and loaded back as a user's
// template that lays out on the sheet as it was built.
#include "app/template_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "platform/headless_dialogs.h"
#include "platform/headless_message_box.h"
#include "tabs_test_support.h"
#include "widgets/spin_edit.h"

using namespace sw;
using test::Click;
using test::ClickArrow;
using test::Type;

namespace {

// Picks an item of a drop-down list with the keyboard, as a user without a mouse would.
void Choose(QComboBox* combo, int index) {
  combo->setFocus();
  for (int i = 0; i < combo->count() && combo->currentIndex() < index; ++i) QTest::keyClick(combo, Qt::Key_Down);
  for (int i = 0; i < combo->count() && combo->currentIndex() > index; ++i) QTest::keyClick(combo, Qt::Key_Up);
}

}  // namespace

class TemplateTabTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TTabsWorld> world_;
  QTemporaryDir dir_;

  std::string Picture(const char* name, int32_t w, int32_t h, TColor32 colour = 0xFF336699) {
    return test::WritePicture(dir_.filePath(QString::fromLatin1(name)), w, h, colour);
  }

private slots:
  void initTestCase() {
    world_ = std::make_unique<test::TTabsWorld>();
    QVERIFY(dir_.isValid());
  }

  void buildSaveAndUseATemplate() {
    THeadlessDialogs dialogs;
    THeadlessMessageBoxes boxes;
    TMagnetDesign author(world_->Services());
    TTemplateTab tab(author, dialogs.Services(&boxes));
    tab.SetFolders(dir_.path().toStdString(), dir_.path().toStdString());
    tab.resize(457, 560);
    tab.show();
    QSignalSpy applied(&tab, &TTemplateTab::designApplied);

    // As it starts: nothing chosen, "basic", both switches and the aspect ratio ticked.
    QCOMPARE(tab.CBActiveImage->currentIndex(), -1);
    QCOMPARE(tab.CBTemplateType->currentText(), QStringLiteral("basic"));
    QVERIFY(tab.CBBorder->isChecked() && tab.CBViewmask->isChecked() && tab.CBAspectRatio->isChecked());

    // "load" with nothing chosen only marks the work as template editing.
    Click(tab.BLoadActiveImage);
    QVERIFY(author.TemplateEditing());
    QVERIFY(dialogs.Files.Requests().empty());

    // A cutout picture taller than wide, with a bleed of 3 mm: a 90 x 50 magnet on a 96 x 56 page.
    ClickArrow(tab.SETemplateMargin, true, 6);
    QCOMPARE(author.BleedMargin(), 3.0f);
    Choose(tab.CBActiveImage, 0);
    QCOMPARE(author.ActiveImageChoice(), std::optional<TLayer>(TLayer::olImage));
    dialogs.Files.ScriptOpen(Picture("cutout.png", 600, 800));
    Click(tab.BLoadActiveImage);
    QCOMPARE(boxes.Messages().size(), size_t(0));
    QCOMPARE(applied.count(), 1);
    QCOMPARE(tab.SETemplateWidth->IntValue(), 90);
    QCOMPARE(tab.SETemplateHeight->IntValue(), 50);
    QCOMPARE(author.Document().PageWidth(), 96.0f);
    QCOMPARE(author.Document().PageHeight(), 56.0f);
    QCOMPARE(dialogs.Files.LastRequest()->Request.Filters.front().Caption, std::string("All (*.jpg;*.gif,*.png)"));

    // The width and height keep the picture's zoom reference; unticked they are free.
    author.LayerObject(TLayer::olImage)->ZoomWidth = 96;
    author.LayerObject(TLayer::olImage)->ZoomHeight = 64;
    Type(tab.SETemplateWidth, QStringLiteral("60"));
    QCOMPARE(tab.SETemplateHeight->IntValue(), 40);
    Type(tab.SETemplateHeight, QStringLiteral("30"));
    QCOMPARE(tab.SETemplateWidth->IntValue(), 45);
    QCOMPARE(author.Document().PageWidth(), 96.0f);  // only "Preview Template" lays out
    Click(tab.CBAspectRatio);
    Type(tab.SETemplateWidth, QStringLiteral("80"));
    Type(tab.SETemplateHeight, QStringLiteral("50"));
    QCOMPARE(author.TemplateWidth(), 80);
    Click(tab.BPreviewTemplate);
    QCOMPARE(author.Document().PageWidth(), 86.0f);
    QCOMPARE(author.Document().PageHeight(), 56.0f);

    // Transparency stops at 255 going up and follows the arrows down.
    ClickArrow(tab.SEActiveAlpha, true, 2);
    QCOMPARE(tab.SEActiveAlpha->IntValue(), 255);
    ClickArrow(tab.SEActiveAlpha, false, 5);
    QCOMPARE(author.Layer(TLayer::olImage)->MasterAlpha(), 250u);

    // The mask covers the page; unticking "view cutout mask" hides it at once.
    Choose(tab.CBActiveImage, 1);
    QCOMPARE(tab.SEActiveAlpha->IntValue(), 255);
    dialogs.Files.ScriptOpen(Picture("mask.png", 40, 30, 0xFF000000));
    Click(tab.BLoadActiveImage);
    const TdtpShape* mask = author.Layer(TLayer::olMask);
    QCOMPARE(mask->DocWidth(), 86.0f);
    QVERIFY(mask->Visible());
    Click(tab.CBViewmask);
    QVERIFY(!mask->Visible());

    // No cutting line; a name and a type typed in.
    Click(tab.CBBorder);
    QVERIFY(!author.Layer(TLayer::olOutline)->Visible());
    QTest::keyClicks(tab.ETemplateName, QStringLiteral("Sunny"));
    QCOMPARE(author.TemplateName(), std::string("Sunny"));
    tab.CBTemplateType->lineEdit()->selectAll();
    QTest::keyClicks(tab.CBTemplateType->lineEdit(), QStringLiteral("clock face"));
    QCOMPARE(author.TemplateType(), std::string("clock face"));
    test::Screenshot(tab, "template_tab");

    // Saved under a name typed without extension.
    const QString path = dir_.filePath(QStringLiteral("Sunny_Frame"));
    dialogs.Files.ScriptSave(path.toStdString());
    QVERIFY(tab.BSaveTemplateClick());
    const auto* save = dialogs.Files.LastRequest();
    QCOMPARE(save->Request.Title, std::string("Save template design"));
    QCOMPARE(save->Request.DefaultExtension, std::string("fmt"));
    QCOMPARE(save->Request.Filters.front().Caption, std::string("fridge magnet templates (*.fmt)"));
    QCOMPARE(author.TemplateFileName(), std::string("Sunny_Frame.fmt"));
    QVERIFY(!tab.BSaveTemplateClick());  // cancelled

    // A user picks it as a template: the same magnet, type, bleed and cutting line, and the sheet
    // it lays out is the one the author's design lays out.
    TMagnetDesign user(world_->Services());
    user.OpenTemplate((path + QStringLiteral(".fmt")).toStdString());
    QCOMPARE(user.TemplateName(), std::string("Sunny Frame"));
    QCOMPARE(user.TemplateType(), std::string("clock face"));
    QCOMPARE(user.BleedMargin(), 3.0f);
    QCOMPARE(user.Document().PageWidth(), 86.0f);
    QCOMPARE(user.Document().PageHeight(), 56.0f);
    QVERIFY(!user.Layer(TLayer::olOutline)->Visible());
    QCOMPARE(user.Layer(TLayer::olImage)->MasterAlpha(), 250u);
    TPrintSheet userSheet(world_->Services());
    TPrintSheet authorSheet(world_->Services());
    const TPrintLayout used = userSheet.BuildPrintLayout(user);
    const TPrintLayout built = authorSheet.BuildPrintLayout(author);
    QCOMPARE(used.Columns, 2);
    QCOMPARE(used.Rows, 5);
    QCOMPARE(used.Columns, built.Columns);
    QCOMPARE(used.Rows, built.Rows);
    QCOMPARE(used.Positions.size(), built.Positions.size());
    for (size_t i = 0; i < used.Positions.size(); ++i) {
      QCOMPARE(used.Positions[i].Left, built.Positions[i].Left);
      QCOMPARE(used.Positions[i].Top, built.Positions[i].Top);
    }
    QCOMPARE(userSheet.Document().CurrentPage()->ChildCount(), 10);
  }

  void loadAndClearAskBeforeReplacing() {
    THeadlessDialogs dialogs;
    THeadlessMessageBoxes boxes;
    TMagnetDesign author(world_->Services());
    TTemplateTab tab(author, dialogs.Services(&boxes));
    tab.SetFolders(dir_.path().toStdString(), std::string());
    tab.show();
    QSignalSpy applied(&tab, &TTemplateTab::designApplied);

    // A template to load: a wide cutout picture gives 50 x 90.
    TMagnetDesign maker(world_->Services());
    maker.SetBleedMargin(2);
    maker.LoadTemplateImage(TLayer::olImage, Picture("wide.png", 800, 600));
    const std::string file = dir_.filePath(QStringLiteral("Wide.fmt")).toStdString();
    maker.SaveTemplate(file);

    bool answer = false;
    tab.ConfirmReplace = [&answer] { return answer; };
    dialogs.Files.ScriptOpen(file);
    Click(tab.BLoadTemplate);
    QVERIFY(dialogs.Files.Requests().empty());  // kept: not even asked for a file
    answer = true;
    Click(tab.BLoadTemplate);
    const auto* open = dialogs.Files.LastRequest();
    QVERIFY(open);
    QCOMPARE(open->Request.Title, std::string("Load template design"));
    QCOMPARE(open->Request.InitialDir, dir_.path().toStdString());
    QCOMPARE(applied.count(), 1);
    QVERIFY(author.TemplateEditing());
    QCOMPARE(tab.ETemplateName->text(), QStringLiteral("Wide"));
    QCOMPARE(tab.SETemplateWidth->IntValue(), 50);
    QCOMPARE(tab.SETemplateHeight->IntValue(), 90);
    QCOMPARE(tab.SETemplateMargin->Value(), 2.0);
    QCOMPARE(tab.CBActiveImage->currentText(), QStringLiteral("user image"));

    Click(tab.BClearTemplate);
    QCOMPARE(applied.count(), 2);
    QCOMPARE(tab.CBActiveImage->currentIndex(), -1);
    QCOMPARE(author.Document().PageWidth(), 210.0f);

    // With no zoom reference the partner spin edit keeps its value and nothing is raised.
    const int height = tab.SETemplateHeight->IntValue();
    Type(tab.SETemplateWidth, QStringLiteral("33"));
    QCOMPARE(tab.SETemplateHeight->IntValue(), height);
    QCOMPARE(boxes.Messages().size(), size_t(0));
  }

  void aMagnetHasAnArea() {
    THeadlessDialogs dialogs;
    THeadlessMessageBoxes boxes;
    TMagnetDesign author(world_->Services());
    TTemplateTab tab(author, dialogs.Services(&boxes));
    tab.show();
    // Nothing loaded yet: no size to lay the page out for.
    Click(tab.BPreviewTemplate);
    QCOMPARE(boxes.LastText(), std::string("The magnet's width and height must be at least 1 mm"));
    QCOMPARE(author.Document().PageWidth(), 210.0f);
    Click(tab.CBAspectRatio);
    Type(tab.SETemplateWidth, QStringLiteral("-40"));
    Type(tab.SETemplateHeight, QStringLiteral("30"));
    QCOMPARE(tab.SETemplateWidth->IntValue(), 0);
    boxes.ClearMessages();
    Click(tab.BPreviewTemplate);
    QCOMPARE(boxes.Messages().size(), size_t(1));
    QCOMPARE(author.Document().PageWidth(), 210.0f);
    Type(tab.SETemplateWidth, QStringLiteral("1"));
    Click(tab.BPreviewTemplate);
    QCOMPARE(author.Document().PageWidth(), 1.0f);
    QCOMPARE(author.Document().PageHeight(), 30.0f);
  }

  void aPictureThatCannotBeReadIsAMessage() {
    THeadlessDialogs dialogs;
    THeadlessMessageBoxes boxes;
    TMagnetDesign author(world_->Services());
    TTemplateTab tab(author, dialogs.Services(&boxes));
    tab.show();
    QSignalSpy applied(&tab, &TTemplateTab::designApplied);
    const QString bad = dir_.filePath(QStringLiteral("bad.png"));
    {
      QFile file(bad);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("not a picture at all");
    }
    Choose(tab.CBActiveImage, 0);
    dialogs.Files.ScriptOpen(bad.toStdString());
    Click(tab.BLoadActiveImage);
    QCOMPARE(boxes.Messages().size(), size_t(1));
    QCOMPARE(applied.count(), 0);
    QVERIFY(!author.DesignLoaded());
    QVERIFY(tab.isVisible());
  }
};

QTEST_MAIN(TemplateTabTest)
#include "template_tab_test.moc"
