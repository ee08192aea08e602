// Printing: the fit of a page to the sheet and its quarter turn, the band split, the placement of
// turned and mirrored bands, the job's sheets and failures, progress, and the rule that a printed
// sheet equals the page rendered in one piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "engine/document.h"
#include "platform/bitmap_canvas.h"
#include "platform/headless_printer.h"
#include "support/errors.h"

namespace sw {
namespace {

constexpr TColor32 kRed = 0xFFFF0000u, kGreen = 0xFF00C000u, kBlue = 0xFF0000FFu;

// Fills its rectangle with a colour and its top-left quarter with another, so that turns and
// mirrors of the page show.
class TFillShape : public TdtpShape {
public:
  TFillShape(TColor32 color, TColor32 inner) : color_(color), inner_(inner) {}
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo&) override {
    if (Fail) RaiseError("Picture cannot be decoded");
    const TFloatPoint a = LocalToPaint({0, 0}), b = LocalToPaint({DocWidth(), DocHeight()});
    const TFloatPoint q = LocalToPaint({DocWidth() / 2, DocHeight() / 2});
    bitmap.FillRectT(TRect{Round(a.X), Round(a.Y), Round(b.X), Round(b.Y)}, color_);
    bitmap.FillRectT(TRect{Round(a.X), Round(a.Y), Round(q.X), Round(q.Y)}, inner_);
    // An antialiased diagonal, so that sub-pixel placement shows too.
    bitmap.LineXS(Fixed(a.X), Fixed(a.Y), Fixed(b.X), Fixed(b.Y), clBlack32);
  }
  bool Fail = false;

private:
  static TFixed Fixed(float v) { return static_cast<TFixed>(v * 65536.0f); }
  TColor32 color_, inner_;
};

TFillShape* AddFill(TdtpShape& parent, float l, float t, float w, float h, TColor32 color, TColor32 inner) {
  auto shape = std::make_unique<TFillShape>(color, inner);
  TFillShape* s = shape.get();
  parent.AddChild(std::move(shape));
  s->SetBounds(l, t, w, h);
  return s;
}

std::string FirstDifference(const TBitmap32& a, const TBitmap32& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) {
    return Format("sizes differ: %dx%d, %dx%d", a.Width(), a.Height(), b.Width(), b.Height());
  }
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      if ((a.Pixel(x, y) & 0xFFFFFF) != (b.Pixel(x, y) & 0xFFFFFF)) {
        return Format("pixel (%d, %d): %08X != %08X", x, y, a.Pixel(x, y), b.Pixel(x, y));
      }
    }
  }
  return {};
}

TRect BoundsOf(const std::vector<TPrintedBand>& bands) {
  TRect r = bands.front().Dest;
  for (const TPrintedBand& b : bands) {
    r.Left = std::min(r.Left, b.Dest.Left);
    r.Top = std::min(r.Top, b.Dest.Top);
    r.Right = std::max(r.Right, b.Dest.Right);
    r.Bottom = std::max(r.Bottom, b.Dest.Bottom);
  }
  return r;
}

int64_t AreaOf(const std::vector<TPrintedBand>& bands) {
  int64_t area = 0;
  for (const TPrintedBand& b : bands) area += int64_t(b.Dest.Width()) * b.Dest.Height();
  return area;
}

// A4 on an A4 sheet of a 600 dpi printer.
constexpr TPrinterSheet kA4At600{4960, 7016, 0, 0, 600, 600};

class PrintingTest : public ::testing::Test {
protected:
  PrintingTest() : printer_(kA4At600) {}
  // The page rendered at once at dpm, as printing renders it (page colour under everything).
  std::unique_ptr<TBitmap32> RenderWhole(TdtpPage& page, double dpm) {
    auto bitmap = std::make_unique<TBitmap32>();
    bitmap->SetSize(Round(page.DocWidth() * dpm), Round(page.DocHeight() * dpm));
    const TColor32 paper = SetAlpha(ColorFromSystem(page.PageColor()), 255);
    bitmap->Clear(paper);
    TdtpPaintInfo info;
    info.Mode = TPaintMode::Device;
    info.BackColor = SetAlpha(paper, 0);
    info.Dpm = static_cast<float>(dpm);
    info.Filter = doc_.Quality;
    doc_.RenderPageBand(page, *bitmap, bitmap->BoundsRect(), dpm, info);
    return bitmap;
  }
  TdtpPage& Page(int index = 0) { return *doc_.Pages(index); }
  // Shapes of every paint path: direct, turned (through a cache) and translucent.
  void AddMixedShapes(TdtpPage& page) {
    AddFill(page, 10, 10, 60, 40, kRed, kGreen);
    AddFill(page, 90, 60, 50, 70, kGreen, kBlue)->SetAngle(30);
    AddFill(page, 30, 150, 120, 60, kBlue, kRed)->SetMasterAlpha(128);
  }

  TdtpDocument doc_;
  THeadlessPrinter printer_;
};

TEST_F(PrintingTest, QualitiesHaveTheirResolutionsAndNames) {
  const std::vector<std::pair<TPrintQualityType, float>> cases{
      {pqLow, 5.905512f}, {pqMedium, 11.811024f}, {pqHigh, 23.622047f}, {pqDevice, 0.0f}};
  for (const auto& [quality, dpm] : cases) {
    doc_.PrintQuality = quality;
    EXPECT_NEAR(doc_.PrinterDpm(), dpm, 1e-5) << quality;
  }
  EXPECT_EQ(TdtpDocument::PrintQualityName(pqLow), "Low print quality (150 DPI)");
  EXPECT_EQ(TdtpDocument::PrintQualityName(pqMedium), "Medium print quality (300 DPI)");
  EXPECT_EQ(TdtpDocument::PrintQualityName(pqHigh), "High print quality (600 DPI)");
  EXPECT_EQ(TdtpDocument::PrintQualityName(pqDevice), "Device print quality (best possible DPI)");
  EXPECT_EQ(TdtpDocument::PrintQualityName(static_cast<TPrintQualityType>(4)), "");
}

TEST_F(PrintingTest, A4UprightFillsTheSheetInEightBands) {
  doc_.PrintQuality = pqMedium;
  doc_.PrintPageList({0}, printer_);
  ASSERT_EQ(printer_.Bands.size(), 8u);
  for (const TPrintedBand& b : printer_.Bands) {
    EXPECT_EQ(b.Width, 1240);
    EXPECT_EQ(b.Height, 877);
    EXPECT_EQ(b.Sheet, 0);
  }
  // Top half first, and in it the left quarter's two bands before the right's.
  EXPECT_EQ(printer_.Bands[0].Dest.Left, 0);
  EXPECT_EQ(printer_.Bands[0].Dest.Top, 0);
  EXPECT_EQ(printer_.Bands[1].Dest.Left, 0);
  EXPECT_GT(printer_.Bands[1].Dest.Top, 0);
  EXPECT_GT(printer_.Bands[2].Dest.Left, 0);
  EXPECT_EQ(printer_.Bands[2].Dest.Top, 0);
  // The page fits the width exactly (23.619 dots per mm) and is centred in the height.
  const TRect bounds = BoundsOf(printer_.Bands);
  EXPECT_EQ(bounds, (TRect{0, 0, 4960, 7015}));
  EXPECT_EQ(AreaOf(printer_.Bands), int64_t(4960) * 7015);  // the bands tile it without overlap
  EXPECT_EQ(printer_.Events.front(), "begin Stickwell");
  EXPECT_EQ(printer_.Events.back(), "end");
  EXPECT_EQ(printer_.Count("newpage"), 0);
}

TEST_F(PrintingTest, LandscapePageIsTurnedAndCentredOnBothAxes) {
  Page().SetWidth(297);
  Page().SetHeight(210);
  // A marker in the page's top-left corner lands at the sheet's bottom-left after the quarter turn.
  AddFill(Page(), 0, 0, 30, 20, kRed, kRed);
  doc_.PrintQuality = pqLow;
  // A wider sheet than the page needs, with a printable area that starts off the corner, so that
  // the page is centred across and the canvas origin is not the sheet's.
  printer_.SetSheet(TPrinterSheet{5200, 7016, 120, 90, 600, 600});
  printer_.KeepSheets = true;
  doc_.PrintPageList({0}, printer_);
  ASSERT_FALSE(printer_.Bands.empty());
  // 1754 x 1240 source pieces halved across into 877 x 1240, turned to 1240 x 877.
  for (const TPrintedBand& b : printer_.Bands) {
    EXPECT_EQ(b.Width, 1240);
    EXPECT_EQ(b.Height, 877);
  }
  // Fit 7016 / 297 = 23.623 per mm: the page is 4961 wide on the sheet, 7016 high, with the
  // 239 spare pixels shared across.
  const TRect bounds = BoundsOf(printer_.Bands);
  EXPECT_EQ(bounds.Width(), 4961);
  EXPECT_EQ(bounds.Height(), 7016);
  const int32_t leftMargin = bounds.Left + 120, rightMargin = 5200 - (bounds.Right + 120);
  EXPECT_LE(std::abs(leftMargin - rightMargin), 1) << leftMargin << " " << rightMargin;
  EXPECT_EQ(bounds.Top + 90, 0);
  const TBitmap32& sheet = *printer_.SheetBitmaps.at(0);
  const int32_t x0 = bounds.Left + 120, y1 = bounds.Bottom + 90;
  EXPECT_EQ(sheet.Pixel(x0 + 400, y1 - 100) & 0xFFFFFF, kRed & 0xFFFFFF);
  EXPECT_EQ(sheet.Pixel(x0 + 10, 10) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(sheet.Pixel(bounds.Right + 120 - 10, y1 - 10) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(PrintingTest, DeviceQualitySendsBandsOneToOne) {
  doc_.PrintQuality = pqDevice;
  doc_.PrintPageList({0}, printer_);
  ASSERT_GT(printer_.Bands.size(), 1u);
  for (const TPrintedBand& b : printer_.Bands) {
    EXPECT_EQ(b.Dest.Width(), b.Width);
    EXPECT_EQ(b.Dest.Height(), b.Height);
    EXPECT_LE(int64_t(b.Width) * b.Height, 1920000);
  }
  EXPECT_EQ(AreaOf(printer_.Bands), int64_t(4960) * 7015);
}

TEST_F(PrintingTest, BlankBandsAreLeftOutOnlyWhenOptimised) {
  doc_.PrintQuality = pqLow;
  Page().SetPageColor(0xF0E0D0);
  doc_.PrintPageList({0}, printer_);
  ASSERT_EQ(printer_.Bands.size(), 2u);  // 1240 x 1754 halves
  // Every band starts in the page colour ($00BBGGRR), also where no shape paints.
  TBitmap32 band;
  band.SetSize(printer_.Bands[0].Width, printer_.Bands[0].Height);
  band.Clear(0xFFD0E0F0u);
  EXPECT_EQ(printer_.Bands[0].Checksum, BandChecksum(band));

  doc_.OptimizedPrinting = true;
  doc_.PrintPageList({0}, printer_);
  EXPECT_TRUE(printer_.Bands.empty());
  EXPECT_EQ(printer_.Events.back(), "end");
  // A shape in the top half brings only that band back.
  AddFill(Page(), 20, 20, 10, 10, kRed, kRed);
  doc_.PrintPageList({0}, printer_);
  ASSERT_EQ(printer_.Bands.size(), 1u);
  EXPECT_EQ(printer_.Bands[0].Dest.Top, 0);
}

TEST_F(PrintingTest, SheetsOnlyForPagesThatPrint) {
  doc_.AddPage();
  doc_.PrintQuality = pqLow;
  doc_.PrintPageList({0, 1}, printer_);
  EXPECT_EQ(printer_.Count("newpage"), 1);
  EXPECT_EQ(printer_.SheetCount(), 2);
  EXPECT_EQ(printer_.Bands.back().Sheet, 1);

  // Missing indices and a page without area start no sheet, wherever they stand in the list.
  const int empty = doc_.AddPage();
  Page(empty).SetWidth(0);
  printer_.Events.clear();
  doc_.PrintPageList({7, 0, -1, empty, 1, 9}, printer_);
  EXPECT_EQ(printer_.Count("newpage"), 1);
  EXPECT_EQ(printer_.SheetCount(), 2);
  EXPECT_EQ(printer_.Count("end"), 1);

  // Nothing printable: no job at all.
  printer_.Events.clear();
  doc_.PrintPageList({5, empty}, printer_);
  EXPECT_TRUE(printer_.Events.empty());

  // The services' printer: PrintPages takes a range, Print every page.
  THeadlessPrinter own(kA4At600);
  TServices services;
  services.Printer = &own;
  TdtpDocument doc(services);
  doc.PrintQuality = pqLow;
  doc.AddPage();
  doc.PrintPages(3, 100);
  EXPECT_TRUE(own.Events.empty());
  doc.PrintPages(1, 1);
  EXPECT_EQ(own.SheetCount(), 1);
  doc.Print();
  EXPECT_EQ(own.SheetCount(), 2);
}

TEST_F(PrintingTest, FailingJobIsAbortedAndTheCounterRestored) {
  doc_.PrintQuality = pqMedium;
  AddMixedShapes(Page());
  printer_.FailAtBand = 3;
  EXPECT_EQ(test::ErrorOf([&] { doc_.PrintPageList({0}, printer_); }), "Printer error");
  EXPECT_EQ(printer_.Count("abort"), 1);
  EXPECT_EQ(printer_.Count("end"), 0);
  EXPECT_FALSE(printer_.Printing());
  EXPECT_FALSE(doc_.IsPrinting());
  EXPECT_EQ(printer_.Bands.size(), 2u);

  // Busy with a load or save: refused before anything reaches the printer.
  printer_.FailAtBand = 0;
  printer_.Events.clear();
  doc_.BeginBusy();
  EXPECT_EQ(test::ErrorOf([&] { doc_.PrintPageList({0}, printer_); }), "Threading error (working already)");
  doc_.EndBusy();
  EXPECT_TRUE(printer_.Events.empty());

  // A printer that does not print is no printer: the job fails before starting.
  THeadlessPrinter broken(TPrinterSheet{});
  EXPECT_EQ(test::ErrorOf([&] { doc_.PrintPageList({0}, broken); }), "The printer reports no paper size");
  EXPECT_TRUE(broken.Events.empty());
  TdtpDocument alone;
  EXPECT_EQ(test::ErrorOf([&] { alone.Print(); }), "There is no printer");
}

TEST_F(PrintingTest, ProgressRunsFromZeroToOne) {
  doc_.AddPage();
  doc_.PrintQuality = pqMedium;
  std::vector<float> fractions;
  doc_.OnProgress = [&](TdtpDocument*, TdtpProgressType type, int32_t, int32_t total, float percent) {
    EXPECT_EQ(type, ptPrint);
    EXPECT_EQ(total, 2);
    fractions.push_back(percent);
  };
  doc_.PrintPageList({0, 1}, printer_);
  ASSERT_GE(fractions.size(), 2u + 16u);
  EXPECT_EQ(fractions.front(), 0.0f);
  EXPECT_EQ(fractions.back(), 1.0f);
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  // The last band of the first page reports half of the job.
  EXPECT_NE(std::find(fractions.begin(), fractions.end(), 0.5f), fractions.end());
}

// The sheet composed from the bands, at the device's own resolution, is the page rendered at once.
TEST_F(PrintingTest, PrintedSheetEqualsThePageRenderedInOnePiece) {
  Page().SetWidth(200);
  Page().SetHeight(280);
  Page().SetPageColor(0xE0F0FF);
  AddMixedShapes(Page());
  doc_.PrintQuality = pqDevice;
  printer_.SetSheet(TPrinterSheet{2000, 2800, 0, 0, 254, 254});
  printer_.KeepSheets = true;
  // Where the view placed the page must not move the print.
  Page().SetOrigin(37.5f, 12.25f);
  doc_.Performance = dpSpeedOverMemory;
  doc_.PrintPageList({0}, printer_);
  ASSERT_EQ(printer_.Bands.size(), 4u);
  const std::unique_ptr<TBitmap32> whole = RenderWhole(Page(), 10.0);
  EXPECT_EQ(FirstDifference(*printer_.SheetBitmaps.at(0), *whole), "");
  EXPECT_EQ(Page().DocLeft(), 37.5f);
  EXPECT_EQ(Page().DocTop(), 12.25f);
}

// Each turn and mirror of PrintTo against the page rendered at once and turned as a bitmap.
TEST_F(PrintingTest, TurnsAndMirrorsPlaceEveryBand) {
  Page().SetWidth(200);
  Page().SetHeight(120);
  AddMixedShapes(Page());
  const std::unique_ptr<TBitmap32> whole = RenderWhole(Page(), 10.0);
  for (int rotation = 0; rotation < 4; ++rotation) {
    for (int mirror = 0; mirror < 4; ++mirror) {
      const bool mh = (mirror & 1) != 0, mv = (mirror & 2) != 0;
      const bool quarter = (rotation & 1) != 0;
      TBitmap32 sheet;
      sheet.SetSize(quarter ? 1200 : 2000, quarter ? 2000 : 1200);
      sheet.Clear(clBlack32);
      TBitmapCanvas canvas(sheet);
      Page().PrintTo(canvas, sheet.BoundsRect(), rotation, mh, mv, 10.0);
      TBitmap32 expected;
      expected.Assign(*whole);
      if (rotation == 1) expected.Rotate90();
      if (rotation == 2) expected.Rotate180();
      if (rotation == 3) expected.Rotate270();
      if (mh) expected.FlipHorizontal();
      if (mv) expected.FlipVertical();
      EXPECT_EQ(FirstDifference(sheet, expected), "") << "rotation " << rotation << " mirror " << mirror;
    }
  }
  EXPECT_FALSE(doc_.IsPrinting());
}

TEST_F(PrintingTest, PageIsUprightAndItsCachesFreedAfterPrinting) {
  AddMixedShapes(Page());
  TdtpShape* turned = Page().Child(1);
  doc_.PrintQuality = pqLow;
  doc_.Performance = dpSpeedOverMemory;
  doc_.PrintPageList({0}, printer_);
  EXPECT_NE(turned->Cache(), nullptr);
  doc_.Performance = dpMemoryOverSpeed;
  doc_.PrintPageList({0}, printer_);
  EXPECT_EQ(turned->Cache(), nullptr);
  EXPECT_EQ(Page().DocAngle(), 0.0f);
}

TEST(PrinterCanvasTest, SendsPicturesAndRefusesFigures) {
  THeadlessPrinter printer(TPrinterSheet{100, 80, 5, 4, 300, 300});
  printer.KeepSheets = true;
  printer.BeginDoc("t");
  TPrinterCanvas canvas(printer);
  EXPECT_EQ(canvas.ClipRect(), (TRect{-5, -4, 95, 76}));
  canvas.FillRect(TRect{0, 0, 10, 10}, kRed);
  TBitmap32 picture;
  picture.SetSize(4, 2);
  picture.Clear(kBlue);
  picture.SetPixel(0, 0, kGreen);
  // A mirrored destination mirrors the pixels; a part of the picture sends only that part.
  canvas.StretchBitmap(TRect{24, 20, 20, 22}, picture, picture.BoundsRect(), smHalftone);
  canvas.StretchBitmap(TRect{30, 30, 31, 31}, picture, TRect{0, 0, 1, 1}, smNearest);
  canvas.DrawBitmap(40, 40, picture);
  printer.EndDoc();
  ASSERT_EQ(printer.Bands.size(), 4u);
  const TBitmap32& sheet = *printer.SheetBitmaps[0];
  EXPECT_EQ(sheet.Pixel(5, 4) & 0xFFFFFF, kRed & 0xFFFFFF);
  EXPECT_EQ(sheet.Pixel(23 + 5, 20 + 4) & 0xFFFFFF, kGreen & 0xFFFFFF);
  EXPECT_EQ(sheet.Pixel(20 + 5, 20 + 4) & 0xFFFFFF, kBlue & 0xFFFFFF);
  EXPECT_EQ(sheet.Pixel(30 + 5, 30 + 4) & 0xFFFFFF, kGreen & 0xFFFFFF);
  EXPECT_EQ(printer.Bands[3].Dest, (TRect{40, 40, 44, 42}));
  EXPECT_EQ(test::ErrorOf([&] { canvas.LineTo(3, 3); }), "The printer draws only pictures");
  EXPECT_EQ(test::ErrorOf([&] { canvas.Ellipse(TRect{0, 0, 3, 3}); }), "The printer draws only pictures");
  EXPECT_EQ(test::ErrorOf([&] { canvas.FillRect(TRect{0, 0, 1, 1}, kRed); }), "The printer is not printing");
}

}  // namespace
}  // namespace sw
