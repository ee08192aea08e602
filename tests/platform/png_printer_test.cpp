// The PNG file printer: sheets that an independent decoder reads back as composed, the resolution
// chunk, one file per sheet with numbered names, the calibration shift, and jobs that fail or are
// abandoned leaving no file behind.
#include "platform/png_printer.h"

#include <cmath>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "platform/headless_printer.h"
#include "platform/printer_test_support.h"
#include "support/errors.h"
#include "support/reference_decoders.h"

namespace sw {
namespace {

using test::ScratchName;

// The sheet as libpng decodes the file; empty when libpng refuses it.
void Decode(const std::string& file, TBitmap32& bitmap) {
  const std::vector<uint8_t> bytes = ReadFileBytes(file);
  test::TReferenceImage image;
  if (!test::DecodeWithLibpng(bytes.data(), bytes.size(), image)) {
    bitmap.SetSize(0, 0);
    return;
  }
  bitmap.SetSize(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  std::memcpy(bitmap.Bits(), image.pixels.data(), image.pixels.size() * 4);
}

// The pHYs chunk's pixels per unit across and down and its unit; zeros when there is none.
std::array<uint32_t, 3> Phys(const std::string& file) {
  const std::vector<uint8_t> b = ReadFileBytes(file);
  for (size_t i = 8; i + 12 <= b.size();) {
    const uint32_t size = uint32_t(b[i]) << 24 | uint32_t(b[i + 1]) << 16 | uint32_t(b[i + 2]) << 8 | b[i + 3];
    if (std::memcmp(&b[i + 4], "pHYs", 4) == 0 && size == 9 && i + 17 <= b.size()) {
      auto be = [&](size_t p) { return uint32_t(b[p]) << 24 | uint32_t(b[p + 1]) << 16 | uint32_t(b[p + 2]) << 8 | b[p + 3]; };
      return {be(i + 8), be(i + 12), b[i + 16]};
    }
    i += 12 + size;
  }
  return {0, 0, 0};
}

void FillBand(TBitmap32& band, int32_t w, int32_t h, uint32_t seed) {
  band.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      band.SetPixel(x, y, Color32((x * 7u + seed) & 0xFF, (y * 5u) & 0xFF, ((x ^ y) + seed) & 0xFF, (x * 3u) & 0xFF));
    }
  }
}

class PngPrinterTest : public ::testing::Test {
protected:
  void SetUp() override { base_ = ScratchName("sheet"); }
  void TearDown() override {
    for (const std::string& name : test::FilesStartingWith(base_)) std::remove((TempFolder() + "/" + name).c_str());
  }
  std::string base_;
};

TEST_F(PngPrinterTest, SheetReadsBackAsComposedWithItsResolution) {
  const std::string file = base_ + ".png";
  // 1 x 0.5 inches at 300 dpi.
  TPngPrinter printer(file, TFilePrinterSettings{25.4f, 12.7f, 300});
  ASSERT_EQ(printer.Sheet(), (TPrinterSheet{300, 150, 0, 0, 300, 300}));
  THeadlessPrinter reference(printer.Sheet());
  reference.KeepSheets = true;
  TBitmap32 a, b;
  FillBand(a, 100, 150, 1);
  FillBand(b, 50, 40, 2);
  printer.BeginDoc("png");
  reference.BeginDoc("png");
  for (IPrinter* p : {static_cast<IPrinter*>(&printer), static_cast<IPrinter*>(&reference)}) {
    p->StretchBand(TRect{0, 0, 100, 150}, a);
    p->StretchBand(TRect{150, 20, 250, 100}, b);     // stretched twice
    p->StretchBand(TRect{280, 140, 330, 180}, b);    // partly off the sheet
  }
  printer.EndDoc();
  reference.EndDoc();
  ASSERT_EQ(printer.Files(), std::vector<std::string>{file});
  TBitmap32 decoded;
  Decode(file, decoded);
  ASSERT_EQ(decoded.Width(), 300);
  ASSERT_EQ(decoded.Height(), 150);
  const TBitmap32& sheet = *reference.SheetBitmaps[0];
  for (int32_t y = 0; y < 150; ++y) {
    for (int32_t x = 0; x < 300; ++x) {
      ASSERT_EQ(decoded.Pixel(x, y), sheet.Pixel(x, y) | 0xFF000000u) << x << "," << y;
    }
  }
  // 300 dots per inch is 11811 per metre.
  EXPECT_EQ(Phys(file), (std::array<uint32_t, 3>{11811, 11811, 1}));
}

TEST_F(PngPrinterTest, SeveralSheetsAreNumberedFiles) {
  const std::string file = base_ + ".png";
  TPngPrinter printer(file, TFilePrinterSettings{10, 10, 254});
  TBitmap32 band;
  FillBand(band, 20, 20, 3);
  printer.BeginDoc("two");
  printer.StretchBand(TRect{0, 0, 20, 20}, band);
  printer.NewPage();
  printer.StretchBand(TRect{50, 50, 70, 70}, band);
  printer.EndDoc();
  const std::vector<std::string> expected{base_ + "-1.png", base_ + "-2.png"};
  EXPECT_EQ(printer.Files(), expected);
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(test::FilesStartingWith(base_).size(), 2u);
  TBitmap32 second;
  Decode(expected[1], second);
  ASSERT_EQ(second.Width(), 100);
  EXPECT_EQ(second.Pixel(0, 0), clWhite32);
  EXPECT_EQ(second.Pixel(50, 50), band.Pixel(0, 0) | 0xFF000000u);
  EXPECT_EQ(Phys(expected[1]), (std::array<uint32_t, 3>{10000, 10000, 1}));

  EXPECT_EQ(TPngPrinter::SheetFileName("out/a.png", 1, 1), "out/a.png");
  EXPECT_EQ(TPngPrinter::SheetFileName("out/a.png", 3, 4), "out/a-3.png");
  EXPECT_EQ(TPngPrinter::SheetFileName("out.d/a", 2, 2), "out.d/a-2");
  EXPECT_EQ(TPngPrinter::SheetFileName("out/.png", 1, 2), "out/.png-1");
}

TEST_F(PngPrinterTest, ShiftMovesThePrintByWholePixels) {
  const std::string file = base_ + ".png";
  TBitmap32 band;
  band.SetSize(4, 4);
  band.Clear(0xFF336699u);
  // 1 mm at 254 dpi is 10 pixels.
  TPngPrinter png(file, TFilePrinterSettings{10, 10, 254});
  // A shift off the sheet, or not a number, is refused before anything prints.
  EXPECT_EQ(test::ErrorOf([&] { TShiftedPrinter(png, 10.5f, 0); }), "Invalid printer shift");
  EXPECT_EQ(test::ErrorOf([&] { TShiftedPrinter(png, 0, NAN); }), "Invalid printer shift");
  TShiftedPrinter printer(png, 1, -0.5f);
  printer.BeginDoc("shift");
  printer.StretchBand(TRect{20, 20, 24, 24}, band);
  printer.EndDoc();
  TBitmap32 decoded;
  Decode(file, decoded);
  ASSERT_EQ(decoded.Width(), 100);
  EXPECT_EQ(decoded.Pixel(30, 15), 0xFF336699u);
  EXPECT_EQ(decoded.Pixel(33, 18), 0xFF336699u);
  EXPECT_EQ(decoded.Pixel(29, 15), clWhite32);
  EXPECT_EQ(decoded.Pixel(30, 19), clWhite32);
}

TEST_F(PngPrinterTest, AbandonedJobsLeaveNoFileAndOldFilesStay) {
  const std::string file = base_ + ".png";
  const std::vector<uint8_t> old{'o', 'l', 'd'};
  {
    TFileStream f(base_ + "-1.png", TFileMode::fmCreate);
    f.WriteBuffer(old.data(), 3);
  }
  TBitmap32 band;
  FillBand(band, 8, 8, 0);
  {
    TPngPrinter printer(file, TFilePrinterSettings{10, 10, 100});
    printer.BeginDoc("a");
    printer.StretchBand(TRect{0, 0, 8, 8}, band);
    printer.NewPage();  // the first sheet is written aside already
    printer.Abort();
    EXPECT_FALSE(printer.Printing());
    printer.BeginDoc("destroyed while printing");
    printer.NewPage();
  }
  EXPECT_EQ(test::FilesStartingWith(base_), std::vector<std::string>{base_.substr(base_.rfind('/') + 1) + "-1.png"});
  EXPECT_EQ(ReadFileBytes(base_ + "-1.png"), old);
}

TEST_F(PngPrinterTest, RefusesSheetsBeyondTheBitmapLimit) {
  // 1200 mm square at 2400 dpi would be gigapixels.
  EXPECT_EQ(test::ErrorOf([&] { TPngPrinter p(base_ + ".png", TFilePrinterSettings{1200, 1200, 2400}); }),
            "A sheet of 1200 x 1200 mm at 2400 dpi has 12856384996 pixels; at most 2147483648 are printed: lower "
            "the resolution");
  TPngPrinter printer(base_ + ".png", TFilePrinterSettings{});
  EXPECT_EQ(test::ErrorOf([&] { printer.NewPage(); }), "The printer is not printing");
}

}  // namespace
}  // namespace sw
