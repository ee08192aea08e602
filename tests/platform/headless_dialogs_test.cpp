// The scripted dialogs: answers in order, "cancel" when the script has run out, every request
// recorded as the window made it.
#include <gtest/gtest.h>

#include "base/exception.h"
#include "platform/headless_dialogs.h"
#include "platform/headless_printer.h"

namespace sw {
namespace {

TFileDialogRequest DesignRequest() {
  TFileDialogRequest request;
  request.Title = "Save fridge magnet design";
  request.InitialDir = "/tmp/designs";
  request.FileName = "old.fmd";
  request.Filters = {{"fridge magnet designs (*.fmd)", {"fmd"}}};
  request.DefaultExtension = "fmd";
  return request;
}

TEST(HeadlessFileDialogs, AnswersInOrderThenCancelsAndRecordsEveryRequest) {
  THeadlessFileDialogs dialogs;
  dialogs.ScriptOpen("/a/one.fmt");
  dialogs.ScriptOpen(std::nullopt);
  IFileDialogs& d = dialogs;
  TFileDialogRequest request;
  request.Title = "Load template design";
  EXPECT_EQ(d.OpenFile(request), std::optional<std::string>("/a/one.fmt"));
  EXPECT_EQ(d.OpenFile(request), std::nullopt);  // scripted cancel
  EXPECT_EQ(d.OpenFile(request), std::nullopt);  // nothing scripted
  // Open and save scripts are separate.
  dialogs.ScriptSave("/b/two.fmd");
  EXPECT_EQ(dialogs.PendingOpens(), 0u);
  EXPECT_EQ(d.OpenFile(request), std::nullopt);
  EXPECT_EQ(d.SaveFile(DesignRequest()), std::optional<std::string>("/b/two.fmd"));
  ASSERT_EQ(dialogs.Requests().size(), 5u);
  EXPECT_FALSE(dialogs.Requests()[0].Save);
  EXPECT_EQ(dialogs.Requests()[0].Request.Title, "Load template design");
  EXPECT_TRUE(dialogs.LastRequest()->Save);
  EXPECT_EQ(dialogs.LastRequest()->Request.InitialDir, "/tmp/designs");
  EXPECT_EQ(dialogs.LastRequest()->Request.FileName, "old.fmd");
  ASSERT_EQ(dialogs.LastRequest()->Request.Filters.size(), 1u);
  EXPECT_EQ(dialogs.LastRequest()->Request.Filters[0].Extensions, std::vector<std::string>{"fmd"});
}

TEST(HeadlessFileDialogs, SaveAddsTheDefaultExtensionOnlyToANameWithoutOne) {
  THeadlessFileDialogs dialogs;
  dialogs.ScriptSave("/x.y/mine");
  dialogs.ScriptSave("/x/mine.FMD");
  dialogs.ScriptSave("/x/my.design");
  EXPECT_EQ(dialogs.SaveFile(DesignRequest()), std::optional<std::string>("/x.y/mine.fmd"));
  EXPECT_EQ(dialogs.SaveFile(DesignRequest()), std::optional<std::string>("/x/mine.FMD"));
  EXPECT_EQ(dialogs.SaveFile(DesignRequest()), std::optional<std::string>("/x/my.design"));
  EXPECT_EQ(dialogs.LastRequest()->Answer, std::optional<std::string>("/x/my.design"));
}

TEST(HeadlessFontDialog, RecordsTheInitialFontAndAnswersTheScriptedOne) {
  THeadlessFontDialog dialog;
  const TFontChoice initial{"DejaVu Sans", 11, false, false, 0};
  const TFontChoice chosen{"DejaVu Serif", 24, true, true, 0x123456};
  dialog.ScriptFont(chosen);
  EXPECT_EQ(dialog.ChooseFont(initial), std::optional<TFontChoice>(chosen));
  EXPECT_EQ(dialog.ChooseFont(chosen), std::nullopt);
  ASSERT_EQ(dialog.Requests().size(), 2u);
  EXPECT_EQ(dialog.Requests()[0], initial);
  EXPECT_EQ(dialog.Requests()[1], chosen);
}

TEST(HeadlessPrintDialog, HandsTheScriptedPrinterAndRecordsThePaper) {
  THeadlessPrintDialog dialog;
  THeadlessPrinter printer(TPrinterSheet{2480, 3508, 0, 0, 300, 300});
  dialog.ScriptPrinter(&printer);
  TPrintRequest letter{"Stickwell", 215.9f, 279.4f};
  EXPECT_EQ(dialog.Execute(letter), &printer);
  EXPECT_EQ(dialog.Execute(letter), nullptr);
  ASSERT_EQ(dialog.Requests().size(), 2u);
  EXPECT_FLOAT_EQ(dialog.Requests()[0].PaperWidth, 215.9f);
  EXPECT_FLOAT_EQ(dialog.Requests()[0].PaperHeight, 279.4f);
}

TEST(HeadlessWebBrowser, RecordsAddressesAndFailsWithTheBrowserMessage) {
  THeadlessWebBrowser browser;
  browser.OpenUrl("https://example.org/help.php?ref=Stickwell");
  browser.Fail = true;
  try {
    browser.OpenUrl("https://example.org/download.php?ref=Stickwell");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Couldn't launch default browser");
  }
  ASSERT_EQ(browser.Urls().size(), 2u);
  EXPECT_EQ(browser.Urls()[1], "https://example.org/download.php?ref=Stickwell");
}

TEST(HeadlessProgress, RecordsPositionsEndsWithTheJobAndCancelsOnRequest) {
  THeadlessProgressService progress;
  progress.CancelAtPosition = 2;
  {
    std::unique_ptr<IProgress> job = progress.Begin("Loading picture", 10);
    job->SetPosition(3);
    EXPECT_FALSE(job->Cancelled());
    job->SetPosition(7);
    EXPECT_TRUE(job->Cancelled());
    ASSERT_EQ(progress.Jobs().size(), 1u);
    EXPECT_FALSE(progress.Jobs()[0].Ended);
  }
  ASSERT_EQ(progress.Jobs().size(), 1u);
  EXPECT_TRUE(progress.Jobs()[0].Ended);
  EXPECT_EQ(progress.Jobs()[0].Label, "Loading picture");
  EXPECT_EQ(progress.Jobs()[0].Total, 10);
  EXPECT_EQ(progress.Jobs()[0].Positions, (std::vector<int32_t>{3, 7}));
}

TEST(HeadlessDialogs, ServicesPointAtEachDialog) {
  THeadlessDialogs dialogs;
  const TDialogServices services = dialogs.Services();
  EXPECT_EQ(services.Files, &dialogs.Files);
  EXPECT_EQ(services.Font, &dialogs.Font);
  EXPECT_EQ(services.Print, &dialogs.Print);
  EXPECT_EQ(services.Web, &dialogs.Web);
  EXPECT_EQ(services.Progress, &dialogs.Progress);
  EXPECT_EQ(services.MessageBoxes, nullptr);
}

}  // namespace
}  // namespace sw
