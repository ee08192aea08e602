// The print run and the guide sheet on a recording printer: one job of one sheet on the layout's
// paper, no job at all when it cannot print, the printer offset, the flash never printed, progress
// and cancelling, and the guide's outlines where the layout puts the cuts.
#include "magnet/print_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "base/exception.h"
#include "magnet/guide_sheet.h"
#include "magnet/magnet_design.h"
#include "magnet/print_sheet.h"
#include "magnet_test_support.h"
#include "platform/dialogs.h"
#include "platform/headless_printer.h"
#include "shapes/polygon_shape.h"

namespace sw {
namespace {

// An A4 sheet at dpi with no unprintable border.
TPrinterSheet A4Sheet(int32_t dpi) {
  return TPrinterSheet{Round(210.0 * dpi / 25.4), Round(297.0 * dpi / 25.4), 0, 0, dpi, dpi};
}

class TScriptedProgress : public IProgress {
public:
  void SetPosition(int32_t done) override { Positions.push_back(done); }
  bool Cancelled() const override { return Cancel; }
  std::vector<int32_t> Positions;
  bool Cancel = false;
};

class PrintRun : public test::MagnetFixture {
protected:
  // A loaded 90 x 50 design with bleed 3 on a blue background, the message box shown opaque.
  std::unique_ptr<TMagnetDesign> LoadedMagnet() {
    auto magnet = NewMagnet();
    magnet->SetBleedMargin(3);
    magnet->LayoutTemplateLayers(90, 50, 3);
    for (const TLayer layer : {TLayer::bgColour, TLayer::usrTextBG, TLayer::olOutline}) {
      magnet->Layer(layer)->SetVisible(true);
    }
    magnet->SetBackgroundColour(0xFF0000);  // window-system blue
    magnet->StoreDesignParams();
    magnet->ApplyDesign(true);
    return magnet;
  }

  static std::string Message(const std::function<void()>& action) {
    try {
      action();
    } catch (const Exception& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(PrintRun, PrintsOneSheetAndKeepsTheDesign) {
  auto magnet = LoadedMagnet();
  TPrintSheet sheet(Services());
  THeadlessPrinter printer(A4Sheet(100));
  magnet->Document().SetModified(false);
  TScriptedProgress progress;
  RunMagnetPrint(*magnet, sheet, printer, TPrintRunOptions{}, &progress);
  EXPECT_EQ(printer.SheetCount(), 1);
  ASSERT_FALSE(printer.Events.empty());
  EXPECT_EQ(printer.Events.front().rfind("begin", 0), 0u);
  EXPECT_EQ(printer.Events.back(), "end");
  EXPECT_EQ(PrintedCopyCount(sheet), 10);
  EXPECT_FALSE(magnet->Document().Modified());
  EXPECT_FALSE(magnet->LayoutStale());
  // The sheet's own quality is the print tab's again once the run is over.
  EXPECT_EQ(sheet.Document().PrintQuality, pqMedium);
  ASSERT_FALSE(progress.Positions.empty());
  EXPECT_EQ(progress.Positions.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.Positions.begin(), progress.Positions.end()));
}

TEST_F(PrintRun, RefusesBeforeAnyJob) {
  TPrintSheet sheet(Services());
  THeadlessPrinter printer(A4Sheet(100));
  auto empty = NewMagnet();
  EXPECT_EQ(Message([&] { RunMagnetPrint(*empty, sheet, printer, {}); }), "There is no design to print");

  auto magnet = LoadedMagnet();
  sheet.BuildPrintLayout(*magnet);
  magnet->Grid().SelectNone();
  EXPECT_EQ(Message([&] { RunMagnetPrint(*magnet, sheet, printer, {}); }), "No position is selected for printing");

  magnet->Grid().SelectAll();
  // Letter paper would scale the A4 layout off its cuts.
  printer.SetSheet(TPrinterSheet{850, 1100, 0, 0, 100, 100});
  EXPECT_NE(Message([&] { RunMagnetPrint(*magnet, sheet, printer, {}); }).find("the layout is for 210 x 297 mm"),
            std::string::npos);
  printer.SetSheet(A4Sheet(100));
  TPrintRunOptions far;
  far.OffsetX = 150;
  EXPECT_NE(Message([&] { RunMagnetPrint(*magnet, sheet, printer, far); }).find("offset"), std::string::npos);
  far.OffsetX = std::numeric_limits<float>::quiet_NaN();
  EXPECT_NE(Message([&] { RunMagnetPrint(*magnet, sheet, printer, far); }).find("offset"), std::string::npos);
  EXPECT_TRUE(printer.Events.empty());

  // Paper turned a quarter is the same paper.
  printer.SetSheet(TPrinterSheet{1169, 827, 0, 0, 100, 100});
  RunMagnetPrint(*magnet, sheet, printer, {});
  EXPECT_EQ(printer.SheetCount(), 1);
}

TEST_F(PrintRun, OffsetMovesEveryBand) {
  auto magnet = LoadedMagnet();
  TPrintSheet sheet(Services());
  THeadlessPrinter plain(A4Sheet(254)), shifted(A4Sheet(254));
  RunMagnetPrint(*magnet, sheet, plain, {});
  TPrintRunOptions options;
  options.OffsetX = 2;
  options.OffsetY = -1.5f;
  RunMagnetPrint(*magnet, sheet, shifted, options);
  ASSERT_EQ(plain.Bands.size(), shifted.Bands.size());
  ASSERT_FALSE(plain.Bands.empty());
  for (size_t i = 0; i < plain.Bands.size(); ++i) {
    EXPECT_EQ(shifted.Bands[i].Dest.Left - plain.Bands[i].Dest.Left, 20);
    EXPECT_EQ(shifted.Bands[i].Dest.Top - plain.Bands[i].Dest.Top, -15);
    EXPECT_EQ(shifted.Bands[i].Checksum, plain.Bands[i].Checksum);
  }
}

TEST_F(PrintRun, FlashIsNeverPrinted) {
  auto magnet = LoadedMagnet();
  TPrintSheet sheet(Services());
  THeadlessPrinter printer(A4Sheet(127));  // 5 pixels a millimetre
  printer.KeepSheets = true;
  magnet->MoveText(26, 16);  // a move flashes the box grey
  ASSERT_TRUE(magnet->Flashing());
  RunMagnetPrint(*magnet, sheet, printer, {});
  EXPECT_FALSE(magnet->Flashing());
  ASSERT_EQ(printer.SheetBitmaps.size(), 1u);
  const TBitmap32& printed = *printer.SheetBitmaps[0];
  // The first copy lies at 12, 20: its message box (26 .. 71 x 16 .. 41 on the page) is white,
  // the background beside it blue.
  EXPECT_EQ(printed.Pixel(5 * (12 + 48), 5 * (20 + 28)) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(printed.Pixel(5 * (12 + 10), 5 * (20 + 28)) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(PrintRun, CancelAndPrinterFailureAbandonTheJob) {
  auto magnet = LoadedMagnet();
  TPrintSheet sheet(Services());
  THeadlessPrinter printer(A4Sheet(100));
  TScriptedProgress progress;
  progress.Cancel = true;
  EXPECT_EQ(Message([&] { RunMagnetPrint(*magnet, sheet, printer, {}, &progress); }), "Printing was cancelled");
  EXPECT_EQ(printer.Count("end"), 0);
  EXPECT_EQ(printer.SheetCount(), 0);

  printer.FailAtBand = 1;
  EXPECT_EQ(Message([&] { RunMagnetPrint(*magnet, sheet, printer, {}); }), "Printer error");
  EXPECT_EQ(printer.Events.back(), "abort");
  EXPECT_EQ(sheet.Document().PrintQuality, pqMedium);
  EXPECT_FALSE(printer.Printing());
}

TEST_F(PrintRun, GuideOutlinesLieOnTheCuts) {
  auto magnet = LoadedMagnet();
  std::unique_ptr<TdtpDocument> guide = BuildGuideSheet(*magnet);
  TdtpPage& page = *guide->CurrentPage();
  EXPECT_FLOAT_EQ(page.PageWidth(), 210);
  EXPECT_FLOAT_EQ(page.PageHeight(), 297);
  // Ten positions of a bleed outline, a cut outline and a number each, and the caption.
  ASSERT_EQ(page.ChildCount(), 31);
  const TdtpShape* bleed = page.Child(0);
  const TdtpShape* cut = page.Child(1);
  EXPECT_FLOAT_EQ(bleed->DocLeft(), 12);
  EXPECT_FLOAT_EQ(bleed->DocTop(), 20);
  EXPECT_FLOAT_EQ(bleed->DocWidth(), 96);
  EXPECT_FLOAT_EQ(cut->DocLeft(), 15);
  EXPECT_FLOAT_EQ(cut->DocTop(), 23);
  EXPECT_FLOAT_EQ(cut->DocWidth(), 90);
  EXPECT_FLOAT_EQ(cut->DocHeight(), 50);
  const TdtpShape* last = page.Child(28);
  EXPECT_FLOAT_EQ(last->DocLeft(), 105);
  EXPECT_FLOAT_EQ(last->DocTop(), 223);

  // In landscape the cells turn: 3 x 2, grid row 0 at the top, 50 x 90 each.
  magnet->SetPortrait(false);
  guide = BuildGuideSheet(*magnet);
  ASSERT_EQ(guide->CurrentPage()->ChildCount(), 19);
  bool found = false;
  for (int i = 0; i < guide->CurrentPage()->ChildCount(); ++i) {
    const TdtpShape* shape = guide->CurrentPage()->Child(i);
    if (shape->DocLeft() == 15 && shape->DocTop() == 23) {
      EXPECT_FLOAT_EQ(shape->DocWidth(), 50);
      EXPECT_FLOAT_EQ(shape->DocHeight(), 90);
      found = true;
    }
  }
  EXPECT_TRUE(found);

  // Printed, the cut of position 1 is a dark line on x = 15 mm, the paper white beside it.
  magnet->SetPortrait(true);
  THeadlessPrinter printer(A4Sheet(254));
  printer.KeepSheets = true;
  PrintGuideSheet(*magnet, printer, {});
  ASSERT_EQ(printer.SheetBitmaps.size(), 1u);
  const TBitmap32& printed = *printer.SheetBitmaps[0];
  const int32_t row = 10 * 35;  // 35 mm down, away from the number
  int32_t darkest = 0;
  uint32_t least = 256;
  for (int32_t x = 140; x < 160; ++x) {
    const uint32_t green = (printed.Pixel(x, row) >> 8) & 0xFF;
    if (green < least) least = green, darkest = x;
  }
  EXPECT_LT(least, 160u);
  EXPECT_NEAR(darkest, 150, 1);
  EXPECT_EQ(printed.Pixel(140, row) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(printed.Pixel(500, row) & 0xFFFFFF, 0xFFFFFFu);

  auto empty = NewMagnet();
  EXPECT_EQ(Message([&] { BuildGuideSheet(*empty); }), "There is no design to print");
}

}  // namespace
}  // namespace sw
