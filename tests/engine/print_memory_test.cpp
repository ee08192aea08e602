// Memory while printing: a document that prefers memory over speed holds a top-level shape's cache
// only while bands still draw it, frees what lies below a built cache at once, builds every cache
// only once, and prints exactly what a document that keeps everything prints.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/document.h"
#include "platform/headless_printer.h"

namespace sw {
namespace {

constexpr TColor32 kRed = 0xFFFF0000u, kGreen = 0xFF00C000u, kBlue = 0xFF0000FFu;

// Fills its rectangle with a colour and an antialiased diagonal, and counts its paints.
class TCountingFill : public TdtpShape {
public:
  explicit TCountingFill(TColor32 color) : color_(color) {}
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo&) override {
    ++Paints;
    const TFloatPoint a = LocalToPaint({0, 0}), b = LocalToPaint({DocWidth(), DocHeight()});
    bitmap.FillRectT(TRect{Round(a.X), Round(a.Y), Round(b.X), Round(b.Y)}, color_);
    bitmap.LineXS(Fixed(a.X), Fixed(a.Y), Fixed(b.X), Fixed(b.Y), clBlack32);
  }
  int Paints = 0;

private:
  static TFixed Fixed(float v) { return static_cast<TFixed>(v * 65536.0f); }
  TColor32 color_;
};

// A copy as a magnet sheet holds it: a cached frame with a turned part (cached itself) and a
// plain part inside.
struct TCopy {
  TCountingFill* Frame = nullptr;
  TCountingFill* Turned = nullptr;
  TCountingFill* Plain = nullptr;
};

TCopy AddCopy(TdtpPage& page, float left, float top) {
  TCopy copy;
  auto frame = std::make_unique<TCountingFill>(kBlue);
  copy.Frame = frame.get();
  page.AddChild(std::move(frame));
  copy.Frame->SetBounds(left, top, 80, 50);
  copy.Frame->SetForceCache(true);
  auto turned = std::make_unique<TCountingFill>(kRed);
  copy.Turned = turned.get();
  copy.Frame->AddChild(std::move(turned));
  copy.Turned->SetBounds(5, 5, 60, 35);
  copy.Turned->SetAngle(6);
  auto plain = std::make_unique<TCountingFill>(kGreen);
  copy.Plain = plain.get();
  copy.Frame->AddChild(std::move(plain));
  copy.Plain->SetBounds(50, 30, 25, 15);
  return copy;
}

// What the page's shapes hold at each band, seen from the printer.
class TWatchingPrinter : public THeadlessPrinter {
public:
  TWatchingPrinter(const TPrinterSheet& sheet, std::vector<TCopy>& copies) : THeadlessPrinter(sheet), copies_(copies) {}
  void StretchBand(const TRect& dest, const TBitmap32& band) override {
    int frames = 0, parts = 0;
    for (const TCopy& copy : copies_) {
      if (copy.Frame->Cache()) ++frames;
      if (copy.Turned->Cache() || copy.Plain->Cache()) ++parts;
    }
    MostFrames = std::max(MostFrames, frames);
    MostParts = std::max(MostParts, parts);
    // Bands wholly below the top row's copies: those must have been let go.
    if (dest.Top >= LowerHalf && copies_.front().Frame->Cache()) ++TopHeldBelow;
    THeadlessPrinter::StretchBand(dest, band);
  }

  int MostFrames = 0;
  int MostParts = 0;
  int TopHeldBelow = 0;
  int32_t LowerHalf = 0;

private:
  std::vector<TCopy>& copies_;
};

// A4 at 300 dpi: eight bands, the top half before the bottom half.
constexpr TPrinterSheet kA4At300{2480, 3508, 0, 0, 300, 300};

class PrintMemoryTest : public ::testing::Test {
protected:
  PrintMemoryTest() : printer_(kA4At300, copies_) {
    doc_.PrintQuality = pqMedium;
    printer_.LowerHalf = kA4At300.Height / 2;
    TdtpPage& page = *doc_.Pages(0);
    // Two columns of five rows, the columns overlapping the middle of the sheet as a business-card
    // sheet's do.
    for (int row = 0; row < 5; ++row) {
      for (int column = 0; column < 2; ++column) {
        copies_.push_back(AddCopy(page, 20 + 88.0f * static_cast<float>(column), 15 + 55.0f * static_cast<float>(row)));
      }
    }
  }

  std::vector<uint32_t> Checksums() const {
    std::vector<uint32_t> sums;
    for (const TPrintedBand& band : printer_.Bands) sums.push_back(band.Checksum);
    return sums;
  }

  TdtpDocument doc_;
  std::vector<TCopy> copies_;
  TWatchingPrinter printer_;
};

TEST_F(PrintMemoryTest, CachesAreHeldOnlyWhileBandsStillDrawThem) {
  ASSERT_EQ(doc_.Performance, dpMemoryOverSpeed);
  doc_.PrintPageList({0}, printer_);
  ASSERT_EQ(printer_.Bands.size(), 8u);
  // Never more than the copies of the rows the band order keeps open at once, never all ten.
  EXPECT_GT(printer_.MostFrames, 0);
  EXPECT_LE(printer_.MostFrames, 6);
  // The parts are inside their frame's cache as soon as it is built.
  EXPECT_EQ(printer_.MostParts, 0);
  EXPECT_EQ(printer_.TopHeldBelow, 0);
  for (const TCopy& copy : copies_) {
    EXPECT_EQ(copy.Frame->Cache(), nullptr);
    // Each cache was built once: nothing was freed that a later band needed.
    EXPECT_EQ(copy.Frame->Paints, 1);
    EXPECT_EQ(copy.Turned->Paints, 1);
    EXPECT_EQ(copy.Plain->Paints, 1);
  }
}

TEST_F(PrintMemoryTest, FreeingOnTheWayPrintsWhatKeepingEverythingPrints) {
  doc_.Performance = dpSpeedOverMemory;
  doc_.PrintPageList({0}, printer_);
  const std::vector<uint32_t> kept = Checksums();
  // Speed over memory keeps every cache, the parts' too, and builds each once.
  EXPECT_EQ(printer_.MostFrames, 10);
  for (const TCopy& copy : copies_) {
    EXPECT_NE(copy.Frame->Cache(), nullptr);
    EXPECT_NE(copy.Turned->Cache(), nullptr);
    EXPECT_EQ(copy.Turned->Paints, 1);
  }
  doc_.Pages(0)->FreeCaches();

  doc_.Performance = dpMemoryOverSpeed;
  doc_.PrintPageList({0}, printer_);
  EXPECT_EQ(Checksums(), kept);
  // Printing again after the caches went gives the same sheet once more.
  doc_.PrintPageList({0}, printer_);
  EXPECT_EQ(Checksums(), kept);
}

TEST_F(PrintMemoryTest, AFrameTurnedOrHiddenIsPrintedAsBefore) {
  // A hidden part is neither drawn nor built; a turned frame and a cached page print the same in
  // both modes.
  copies_[0].Turned->SetVisible(false);
  copies_[3].Frame->SetAngle(90);
  for (const bool cachedPage : {false, true}) {
    doc_.Pages(0)->SetForceCache(cachedPage);
    doc_.Performance = dpSpeedOverMemory;
    doc_.PrintPageList({0}, printer_);
    const std::vector<uint32_t> kept = Checksums();
    doc_.Pages(0)->FreeCaches();
    doc_.Performance = dpMemoryOverSpeed;
    doc_.PrintPageList({0}, printer_);
    EXPECT_EQ(Checksums(), kept) << "cached page " << cachedPage;
    EXPECT_EQ(copies_[0].Turned->Paints, 0);
    EXPECT_EQ(doc_.Pages(0)->Cache(), nullptr);
  }
}

}  // namespace
}  // namespace sw
