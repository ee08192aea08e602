// Where printing lays a shape's edges on the sheet: a frame, upright and turned a quarter either
// way, anywhere down a page cut into many bands, lies where its geometry says on the printed sheet
// and where the page rendered in one piece puts it, whether the page is rendered finer, coarser
// or at the device's own resolution.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "engine/document.h"
#include "platform/headless_printer.h"
#include "platform/png_printer.h"
#include "support/reference_decoders.h"

namespace sw {
namespace {

// A letter page, 8 x 11 inches: whole device pixels at every resolution, so the page fits its
// sheet at exactly the device's dots per millimetre and the geometry is exact.
constexpr float kPageWidth = 203.2f, kPageHeight = 279.4f;
// The frame's line, as wide as a cutting line.
constexpr float kLine = 0.2f;

// A black frame kLine wide just inside the shape's rectangle, each pixel as dark as the part of it
// the frame covers, so that the darkness of a line sums to its exact place and width.
class TFrameShape : public TdtpShape {
public:
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo&) override {
    const TFloatPoint a = LocalToPaint({0, 0}), b = LocalToPaint({DocWidth(), DocHeight()});
    const TFloatPoint c = LocalToPaint({kLine, kLine}), d = LocalToPaint({DocWidth() - kLine, DocHeight() - kLine});
    const int32_t x0 = std::max(0, static_cast<int32_t>(std::floor(std::min(a.X, b.X))));
    const int32_t x1 = std::min(bitmap.Width(), static_cast<int32_t>(std::ceil(std::max(a.X, b.X))));
    const int32_t y0 = std::max(0, static_cast<int32_t>(std::floor(std::min(a.Y, b.Y))));
    const int32_t y1 = std::min(bitmap.Height(), static_cast<int32_t>(std::ceil(std::max(a.Y, b.Y))));
    for (int32_t y = y0; y < y1; ++y) {
      for (int32_t x = x0; x < x1; ++x) {
        const double cover = Overlap(x, a.X, b.X) * Overlap(y, a.Y, b.Y) - Overlap(x, c.X, d.X) * Overlap(y, c.Y, d.Y);
        if (cover <= 0) continue;
        const auto grey = static_cast<uint32_t>(std::lround(255 * (1 - std::min(cover, 1.0))));
        bitmap.SetPixel(x, y, 0xFF000000u | grey << 16 | grey << 8 | grey);
      }
    }
  }

private:
  // The part of pixel p inside [lo, hi].
  static double Overlap(int32_t p, double lo, double hi) {
    if (lo > hi) std::swap(lo, hi);
    return std::max(0.0, std::min<double>(p + 1, hi) - std::max<double>(p, lo));
  }
};

// One line of a frame: its centre on the page in millimetres, and whether it runs across.
struct TEdge {
  TFloatPoint Centre;
  bool Horizontal = false;
};

// The four lines of a frame shape, through its own geometry.
std::vector<TEdge> EdgesOf(const TdtpShape& s) {
  const float w = s.DocWidth(), h = s.DocHeight(), m = kLine / 2;
  std::vector<TEdge> edges;
  // Each line's middle and a step along it, in the shape's own frame.
  const TFloatPoint lines[4][2] = {{{w / 2, m}, {1, 0}}, {{w / 2, h - m}, {1, 0}}, {{m, h / 2}, {0, 1}},
                                   {{w - m, h / 2}, {0, 1}}};
  for (const auto& [middle, step] : lines) {
    const TFloatPoint centre = s.LocalToParent(middle);
    const TFloatPoint next = s.LocalToParent({middle.X + step.X, middle.Y + step.Y});
    edges.push_back({centre, std::abs(next.Y - centre.Y) < std::abs(next.X - centre.X)});
  }
  return edges;
}

// The centre of the darkness across a line in millimetres (page frame), from a window 2 mm across
// and 4 mm along it around its expected centre; NaN when the window holds no darkness.
double MeasuredCentre(const TBitmap32& sheet, double dpm, const TEdge& edge) {
  const double cx = edge.Centre.X * dpm, cy = edge.Centre.Y * dpm;
  const double across = 1 * dpm, along = 2 * dpm;
  const double hw = edge.Horizontal ? along : across, hh = edge.Horizontal ? across : along;
  const int32_t x0 = std::max(0, static_cast<int32_t>(cx - hw)), x1 = std::min(sheet.Width(), static_cast<int32_t>(cx + hw));
  const int32_t y0 = std::max(0, static_cast<int32_t>(cy - hh)), y1 = std::min(sheet.Height(), static_cast<int32_t>(cy + hh));
  double total = 0, moment = 0;
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x) {
      const double dark = 255 - static_cast<double>((sheet.Pixel(x, y) >> 8) & 0xFF);
      total += dark;
      moment += dark * ((edge.Horizontal ? y : x) + 0.5);
    }
  }
  return total > 0 ? moment / total / dpm : NAN;
}

class PrintPrecisionTest : public ::testing::Test {
protected:
  PrintPrecisionTest() {
    TdtpPage& page = *doc_.Pages(0);
    page.SetWidth(kPageWidth);
    page.SetHeight(kPageHeight);
    // Upright, a quarter turn each way, high on the page and far down it where many bands lie above.
    const float angles[] = {0, 90, 270};
    for (const float top : {12.3f, 151.7f, 248.9f}) {
      for (int i = 0; i < 3; ++i) {
        auto frame = std::make_unique<TFrameShape>();
        TFrameShape* f = frame.get();
        page.AddChild(std::move(frame));
        // The turned frames pivot on their local origin: place them so that all stay on the page.
        const float left = 15.1f + 60.3f * static_cast<float>(i);
        const float y = angles[i] == 90 ? top + 24.7f : top;
        f->SetBoundsAndAngle(i == 2 ? left + 12.9f : left, y, 24.7f, 12.9f, angles[i]);
        frames_.push_back(f);
      }
    }
  }

  // Every line of every frame, measured on the sheet, within tolerance (millimetres) of its place.
  void ExpectLinesInPlace(const TBitmap32& sheet, double dpm, double tolerance, const std::string& what) {
    for (const TdtpShape* f : frames_) {
      for (const TEdge& e : EdgesOf(*f)) {
        const double expected = e.Horizontal ? e.Centre.Y : e.Centre.X;
        EXPECT_NEAR(MeasuredCentre(sheet, dpm, e), expected, tolerance)
            << what << ": angle " << f->DocAngle() << ", line at (" << e.Centre.X << ", " << e.Centre.Y << ")";
      }
    }
  }

  TdtpDocument doc_;
  std::vector<TdtpShape*> frames_;
};

// The page rendered in one piece at the device's resolution, the reference the printing matches.
TEST_F(PrintPrecisionTest, RenderedPageHasTheLinesInPlace) {
  for (const int dpi : {300, 600}) {
    const std::unique_ptr<TBitmap32> whole = doc_.RenderPage(*doc_.Pages(0), dpi / 25.4);
    ASSERT_EQ(whole->Height(), Round(kPageHeight * dpi / 25.4));
    ExpectLinesInPlace(*whole, dpi / 25.4, 0.02, "render at " + std::to_string(dpi));
  }
}

// Bands rendered finer than the device (halved onto it), coarser (doubled onto it) and at its
// own resolution all lay every line where it belongs, however far down the page the band lies.
TEST_F(PrintPrecisionTest, PrintedSheetHasTheLinesInPlace) {
  struct TCase {
    int32_t Dpi;
    TPrintQualityType Quality;
  };
  for (const TCase c : {TCase{300, pqHigh}, TCase{300, pqMedium}, TCase{600, pqMedium}, TCase{600, pqHigh}}) {
    const int32_t w = Round(kPageWidth / 25.4 * c.Dpi), h = Round(kPageHeight / 25.4 * c.Dpi);
    THeadlessPrinter printer(TPrinterSheet{w, h, 0, 0, c.Dpi, c.Dpi});
    printer.KeepSheets = true;
    doc_.PrintQuality = c.Quality;
    doc_.PrintPageList({0}, printer);
    ASSERT_EQ(printer.SheetBitmaps.size(), 1u);
    // The page is cut into many bands across and down.
    EXPECT_GE(printer.Bands.size(), 4u);
    const std::string what = "device " + std::to_string(c.Dpi) + " dpi, " + TdtpDocument::PrintQualityName(c.Quality);
    // A device pixel is 0.085 mm at 300 dpi; the lines lie within a few hundredths of that.
    ExpectLinesInPlace(*printer.SheetBitmaps[0], c.Dpi / 25.4, 0.02, what);
  }
}

// The PNG printer's sheet, read back from its file, has them in place too, its bands laid by the
// file printer's own placement.
TEST_F(PrintPrecisionTest, PngSheetHasTheLinesInPlace) {
  const std::string file = TempFolder() + "/print_precision_" + std::to_string(::getpid()) + ".png";
  TPngPrinter printer(file, TFilePrinterSettings{kPageWidth, kPageHeight, 300});
  doc_.PrintQuality = pqHigh;
  doc_.PrintPageList({0}, printer);
  const std::vector<uint8_t> bytes = ReadFileBytes(file);
  std::remove(file.c_str());
  test::TReferenceImage image;
  ASSERT_TRUE(test::DecodeWithLibpng(bytes.data(), bytes.size(), image));
  TBitmap32 sheet;
  sheet.SetSize(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  std::memcpy(sheet.Bits(), image.pixels.data(), image.pixels.size() * 4);
  ExpectLinesInPlace(sheet, 300 / 25.4, 0.02, "PNG at 300 dpi");
}

}  // namespace
}  // namespace sw
