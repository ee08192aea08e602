// The PDF file printer: files an independent reader accepts and renders as the bands were sent,
// the exact paper size, pages, the calibration shift, and jobs that fail or are abandoned leaving
// no file behind.
#include "platform/pdf_printer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "platform/headless_printer.h"
#include "platform/printer_test_support.h"
#include "support/errors.h"

namespace sw {
namespace {

using test::RunCommand;
using test::ScratchName;

std::string FileText(const std::string& name) {
  const std::vector<uint8_t> bytes = ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

// A band with a gradient and a few hard edges, so that any shift or resampling shows.
void FillBand(TBitmap32& band, int32_t w, int32_t h, uint32_t seed) {
  band.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t r = (x * 255u) / uint32_t(w), g = (y * 255u) / uint32_t(h);
      const uint32_t b = ((x / 8 + y / 8 + seed) % 2) ? 230u : 20u;
      band.SetPixel(x, y, Color32(r, g, b));
    }
  }
}

class PdfPrinterTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(test::HaveTool("qpdf")) << "qpdf is missing (scripts/install-deps installs it)";
    ASSERT_TRUE(test::HaveTool("pdftoppm")) << "pdftoppm is missing (scripts/install-deps installs it)";
    file_ = ScratchName("print") + ".pdf";
  }
  void TearDown() override { std::remove(file_.c_str()); }
  // Renders page (1-based) of the file at dpi with pdftoppm, without smoothing.
  bool Render(int page, int dpi, TBitmap32& out) {
    const std::string base = ScratchName("render");
    const std::string command = "pdftoppm -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
                                std::to_string(page) + " -singlefile -aa no -aaVector no '" + file_ + "' '" + base +
                                "'";
    std::string output;
    EXPECT_EQ(RunCommand(command, &output), 0) << output;
    const bool ok = test::ReadPpm(base + ".ppm", out);
    std::remove((base + ".ppm").c_str());
    return ok;
  }
  std::string file_;
};

TEST_F(PdfPrinterTest, ReaderRendersTheBandsAsSent) {
  // 2 x 1 inches at 100 dpi: a 200 x 100 sheet, two bands one to one and one stretched.
  TFilePrinterSettings settings{50.8f, 25.4f, 100};
  TPdfPrinter printer(file_, settings);
  EXPECT_EQ(printer.Sheet(), (TPrinterSheet{200, 100, 0, 0, 100, 100}));
  THeadlessPrinter reference(printer.Sheet());
  reference.KeepSheets = true;
  TBitmap32 a, b, c;
  FillBand(a, 120, 100, 0);
  FillBand(b, 80, 50, 1);
  FillBand(c, 40, 25, 0);
  printer.BeginDoc("bands");
  reference.BeginDoc("bands");
  for (IPrinter* p : {static_cast<IPrinter*>(&printer), static_cast<IPrinter*>(&reference)}) {
    p->StretchBand(TRect{0, 0, 120, 100}, a);
    p->StretchBand(TRect{120, 0, 200, 50}, b);
    p->StretchBand(TRect{120, 50, 200, 100}, c);  // twice its size
  }
  printer.EndDoc();
  reference.EndDoc();
  std::string output;
  ASSERT_EQ(RunCommand("qpdf --check '" + file_ + "'", &output), 0) << output;
  TBitmap32 rendered;
  ASSERT_TRUE(Render(1, 100, rendered));
  ASSERT_EQ(rendered.Width(), 200);
  ASSERT_EQ(rendered.Height(), 100);
  // The reader resamples pictures its own way, by up to a pixel: every pixel it shows lies within
  // the colours around the same pixel of the sheet composed from the same bands (2 levels of
  // slack), and away from the checkerboard's edges (a quarter of the pixels) they match to 8
  // levels.
  const TBitmap32& sheet = *reference.SheetBitmaps.at(0);
  EXPECT_EQ(test::ShareWithinNeighbourhood(rendered, sheet, 2), 1.0);
  EXPECT_GE(test::Distance(rendered, sheet, 8).ShareWithin, 0.75);
}

TEST_F(PdfPrinterTest, PlacedPicturesAreWrittenOnceAndCutToTheirClips) {
  TPdfPrinter printer(file_, TFilePrinterSettings{50.8f, 25.4f, 100});
  THeadlessPrinter reference(printer.Sheet());
  reference.KeepSheets = true;
  auto copy = std::make_shared<TBitmap32>(), other = std::make_shared<TBitmap32>();
  FillBand(*copy, 90, 80, 0);
  FillBand(*other, 50, 40, 1);
  printer.BeginDoc("copies");
  reference.BeginDoc("copies");
  for (IPrinter* p : {static_cast<IPrinter*>(&printer), static_cast<IPrinter*>(&reference)}) {
    // Two copies whose pictures overlap, the second cut at their border; one partly off the sheet.
    p->PlacePicture(10, 10, copy, TRect{10, 10, 100, 90});
    p->PlacePicture(80, 10, copy, TRect{100, 10, 170, 90});
    p->PlacePicture(170, 70, other, TRect{0, 0, 200, 100});
    p->NewPage();
    p->PlacePicture(-20, 0, copy, TRect{0, 0, 60, 100});
  }
  printer.EndDoc();
  reference.EndDoc();
  std::string output;
  ASSERT_EQ(RunCommand("qpdf --check '" + file_ + "'", &output), 0) << output;
  // One image for each picture, whatever the copies and pages.
  EXPECT_EQ(test::PdfImageCount(file_), 2u);
  for (int page = 1; page <= 2; ++page) {
    TBitmap32 rendered;
    ASSERT_TRUE(Render(page, 100, rendered));
    const TBitmap32& sheet = *reference.SheetBitmaps.at(static_cast<size_t>(page - 1));
    EXPECT_EQ(test::ShareWithinNeighbourhood(rendered, sheet, 2), 1.0) << "page " << page;
    EXPECT_GE(test::Distance(rendered, sheet, 8).ShareWithin, 0.75) << "page " << page;
  }
}

TEST_F(PdfPrinterTest, PaperSizeIsExactAndEveryPageIsOne) {
  TPdfPrinter printer(file_, TFilePrinterSettings{210, 297, 300});
  EXPECT_EQ(printer.Sheet().Width, 2480);
  EXPECT_EQ(printer.Sheet().Height, 3508);
  TBitmap32 band;
  FillBand(band, 64, 64, 0);
  printer.BeginDoc("Grüße (draft)");
  printer.StretchBand(TRect{100, 100, 164, 164}, band);
  printer.NewPage();
  printer.NewPage();  // a blank sheet
  printer.StretchBand(TRect{0, 0, 64, 64}, band);
  printer.EndDoc();
  const std::string text = FileText(file_);
  EXPECT_NE(text.find("/MediaBox [0 0 595.2756 841.8898]"), std::string::npos);
  std::string output;
  ASSERT_EQ(RunCommand("qpdf --check '" + file_ + "'", &output), 0) << output;
  ASSERT_EQ(RunCommand("qpdf --show-npages '" + file_ + "'", &output), 0);
  EXPECT_EQ(output, "3\n");
  ASSERT_EQ(RunCommand("pdfinfo '" + file_ + "'", &output), 0);
  EXPECT_NE(output.find("Grüße (draft)"), std::string::npos) << output;
  EXPECT_NE(output.find("595.276 x 841.89 pts (A4)"), std::string::npos) << output;
  // The band lands at its pixels: 100 / 300 inch from the top-left corner.
  THeadlessPrinter reference(printer.Sheet());
  reference.KeepSheets = true;
  reference.BeginDoc("reference");
  reference.StretchBand(TRect{100, 100, 164, 164}, band);
  TBitmap32 page1;
  ASSERT_TRUE(Render(1, 300, page1));
  EXPECT_EQ(test::ShareWithinNeighbourhood(page1, *reference.SheetBitmaps[0], 2), 1.0);
  EXPECT_EQ(page1.Pixel(98, 98) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(page1.Pixel(165, 165) & 0xFFFFFF, 0xFFFFFFu);
  TBitmap32 page2;
  ASSERT_TRUE(Render(2, 30, page2));
  EXPECT_TRUE(page2.IsUniform(clWhite32));
}

TEST_F(PdfPrinterTest, ShiftMovesThePrint) {
  TBitmap32 band;
  band.SetSize(10, 10);
  band.Clear(0xFF102030u);
  TPdfPrinter pdf(file_, TFilePrinterSettings{50.8f, 50.8f, 100});
  TShiftedPrinter printer(pdf, 2.54f, -2.54f);
  printer.BeginDoc("shift");
  printer.StretchBand(TRect{50, 50, 60, 60}, band);
  printer.EndDoc();
  TBitmap32 page;
  ASSERT_TRUE(Render(1, 100, page));
  // 2.54 mm is 10 pixels: right by ten, up by ten.
  EXPECT_EQ(page.Pixel(61, 41) & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(page.Pixel(68, 48) & 0xFFFFFF, 0x102030u);
  EXPECT_EQ(page.Pixel(58, 45) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(page.Pixel(65, 51) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(page.Pixel(55, 55) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(PdfPrinterTest, BandsGoToTheFileAsTheyCome) {
  TPdfPrinter printer(file_, TFilePrinterSettings{});
  TBitmap32 band;
  FillBand(band, 400, 300, 0);
  printer.BeginDoc("stream");
  const int64_t start = printer.BytesWritten();
  printer.StretchBand(TRect{0, 0, 400, 300}, band);
  const int64_t one = printer.BytesWritten();
  printer.StretchBand(TRect{0, 300, 400, 600}, band);
  EXPECT_GT(one, start + 1000);
  EXPECT_GT(printer.BytesWritten(), 2 * one - start - 100);
  printer.EndDoc();
  EXPECT_EQ(printer.BytesWritten(), 0);
}

TEST_F(PdfPrinterTest, AbandonedOrFailedJobsLeaveNoFile) {
  const std::string prefix = ScratchName("print");
  TBitmap32 band;
  FillBand(band, 16, 16, 0);
  {
    TPdfPrinter printer(file_, TFilePrinterSettings{});
    printer.BeginDoc("gone");
    printer.StretchBand(TRect{0, 0, 16, 16}, band);
    printer.Abort();
    EXPECT_FALSE(printer.Printing());
    EXPECT_FALSE(FileExists(file_));
    // A printer destroyed in the middle of a job abandons it too.
    printer.BeginDoc("gone again");
  }
  EXPECT_TRUE(test::FilesStartingWith(prefix).empty());
  {
    // Abandoned while its pictures are still being compressed: the job waits for them and lets
    // every picture go.
    TPdfPrinter printer(file_, TFilePrinterSettings{});
    std::vector<std::shared_ptr<TBitmap32>> pictures;
    printer.BeginDoc("gone while compressing");
    for (int i = 0; i < 4; ++i) {
      pictures.push_back(std::make_shared<TBitmap32>());
      FillBand(*pictures.back(), 300, 200, i);
      printer.PlacePicture(0, 0, pictures.back(), TRect{0, 0, 300, 200});
    }
    printer.Abort();
    for (const auto& picture : pictures) EXPECT_EQ(picture.use_count(), 1);
    EXPECT_FALSE(FileExists(file_));
  }
  EXPECT_TRUE(test::FilesStartingWith(prefix).empty());

  // An older file of the name keeps its bytes when the new job is abandoned, as a failing job is.
  const std::vector<uint8_t> old{'o', 'l', 'd'};
  {
    TFileStream f(file_, TFileMode::fmCreate);
    f.WriteBuffer(old.data(), 3);
  }
  TPdfPrinter printer(file_, TFilePrinterSettings{});
  printer.BeginDoc("fails");
  printer.StretchBand(TRect{0, 0, 16, 16}, band);
  printer.Abort();
  EXPECT_EQ(ReadFileBytes(file_), old);
  EXPECT_EQ(test::FilesStartingWith(prefix).size(), 1u);

  // A folder that does not exist: the job cannot start.
  TPdfPrinter nowhere(TempFolder() + "/no/such/folder/x.pdf", TFilePrinterSettings{});
  EXPECT_NE(test::ErrorOf([&] { nowhere.BeginDoc("x"); }).find("Cannot create file"), std::string::npos);
  EXPECT_FALSE(nowhere.Printing());
}

TEST_F(PdfPrinterTest, RefusesImpossibleSettingsAndCalls) {
  auto make = [&](TFilePrinterSettings s) { TPdfPrinter p(file_, s); };
  EXPECT_EQ(test::ErrorOf([&] { make({0, 297, 600}); }), "Invalid paper size");
  EXPECT_EQ(test::ErrorOf([&] { make({210, NAN, 600}); }), "Invalid paper size");
  EXPECT_EQ(test::ErrorOf([&] { make({210, 6000, 600}); }), "Invalid paper size");
  EXPECT_EQ(test::ErrorOf([&] { make({210, 297, 0}); }), "Invalid printer resolution");
  EXPECT_EQ(test::ErrorOf([&] { make({210, 297, 20000}); }), "Invalid printer resolution");
  TPdfPrinter printer(file_, TFilePrinterSettings{});
  TBitmap32 band;
  FillBand(band, 4, 4, 0);
  EXPECT_EQ(test::ErrorOf([&] { printer.StretchBand(TRect{0, 0, 4, 4}, band); }), "The printer is not printing");
  EXPECT_EQ(test::ErrorOf([&] { printer.NewPage(); }), "The printer is not printing");
  EXPECT_EQ(test::ErrorOf([&] { printer.EndDoc(); }), "The printer is not printing");
  printer.BeginDoc("a");
  EXPECT_EQ(test::ErrorOf([&] { printer.BeginDoc("b"); }), "The printer is printing already");
  printer.Abort();
}

TEST(PdfNumberTest, FixedPointWithoutTrailingZeros) {
  EXPECT_EQ(PdfNumber(595.2755905511812), "595.2756");
  EXPECT_EQ(PdfNumber(841.8897637795276), "841.8898");
  EXPECT_EQ(PdfNumber(12.5), "12.5");
  EXPECT_EQ(PdfNumber(72), "72");
  EXPECT_EQ(PdfNumber(-0.00001), "0");
  EXPECT_EQ(PdfNumber(-3.25), "-3.25");
  EXPECT_EQ(PdfNumber(1e20), "100000000000000000000");
  EXPECT_EQ(PdfNumber(NAN), "0");
}

}  // namespace
}  // namespace sw
