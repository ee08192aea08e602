// The print run and the guide sheet on a recording printer: one job of one sheet on the layout's
// paper, no job at all when it cannot print, the printer offset, the flash never printed, progress
// and cancelling, the guide's outlines where the layout puts the cuts, and sheets read back from
// the PNG and PDF printers' files with every copy whole up to its cut lines and nothing beyond its
// page.
#include "magnet/print_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "base/exception.h"
#include "magnet/guide_sheet.h"
#include "magnet/magnet_design.h"
#include "magnet/merge_table.h"
#include "magnet/print_sheet.h"
#include "magnet_test_support.h"
#include "platform/dialogs.h"
#include "platform/headless_printer.h"
#include "platform/pdf_printer.h"
#include "platform/png_printer.h"
#include "storage/formats/png_format.h"
#include "shapes/bitmap_shape.h"
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

  // A picture that cannot be decoded would leave a hole in every copy: the print stops naming
  // the shape, the job is abandoned and the PNG printer writes no file.
  magnet->LoadUserPicture(PictureFile("picture.png", 40, 30));
  TdtpBitmapResource& picture = magnet->BitmapLayer(TLayer::usrImage)->Resource();
  {
    TResourceAccess access(picture);
    const std::vector<uint8_t> bytes = picture.Data().Bytes();
    std::vector<uint8_t> broken(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    picture.Data().SetBytes(broken.data(), static_cast<int64_t>(broken.size()));
  }
  picture.ReleaseBitmap();
  // At 100 dpi the sheet goes in bands; at the print's own 300 dpi each copy's picture is placed.
  for (const int32_t dpi : {100, 300}) {
    const std::string file = TempFile("lost.png");
    TFilePrinterSettings settings;
    settings.Dpi = dpi;
    TPngPrinter png(file, settings);
    const std::string message = Message([&] { RunMagnetPrint(*magnet, sheet, png, {}); });
    EXPECT_NE(message.find("could not be printed"), std::string::npos) << dpi << ": " << message;
    EXPECT_NE(message.find(magnet->BitmapLayer(TLayer::usrImage)->Name()), std::string::npos) << message;
    EXPECT_FALSE(png.Printing());
    EXPECT_FALSE(std::filesystem::exists(file));
  }
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
  // Its bleed band ends on the cut lines it shares with its neighbours right and below.
  EXPECT_FLOAT_EQ(bleed->DocWidth(), 93);
  EXPECT_FLOAT_EQ(bleed->DocHeight(), 53);
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

// The four quadrants of the picture that covers each copy's page, and the paper.
const TColor32 kQuadrants[4] = {Color32(230, 0, 0), Color32(0, 170, 0), Color32(0, 0, 230), Color32(240, 200, 0)};

// The squared distance of two colours' RGB.
int64_t ColourDistance(TColor32 c, TColor32 k) {
  int64_t d = 0;
  for (int ch = 0; ch < 3; ++ch) {
    const int64_t a = (c >> (8 * ch)) & 0xFF, b = (k >> (8 * ch)) & 0xFF;
    d += (a - b) * (a - b);
  }
  return d;
}

// The nearest of the quadrants' colours and white: 0 .. 3, or 4 for the paper.
int ColourClass(TColor32 c) {
  int best = 4;
  int64_t nearest = INT64_MAX;
  for (int i = 0; i <= 4; ++i) {
    const int64_t d = ColourDistance(c, i < 4 ? kQuadrants[i] : clWhite32);
    if (d < nearest) nearest = d, best = i;
  }
  return best;
}

// A sheet read back: 8-bit RGB pixels of a file at dpi.
struct TReadSheet {
  TBitmap32 Pixels;
  double PerMm = 0;
  int At(double x, double y) const {
    return ColourClass(Pixels.Pixel(static_cast<int32_t>(x * PerMm), static_cast<int32_t>(y * PerMm)));
  }
};

TEST_F(PrintRun, EveryCopyShowsItselfUpToItsCutLinesAndNothingBeyondItsPage) {
  struct TCase {
    float Gap;  // between neighbouring nets, both ways
    bool Portrait, Precut, Pdf;
  };
  // A bleed of 3: no gap, half a bleed, more than two bleeds.
  const TCase cases[] = {{0, true, true, false},    {0, true, false, true},    {0, false, true, true},
                         {0, false, false, false},  {1.5f, true, true, true},  {1.5f, true, false, false},
                         {1.5f, false, true, false}, {1.5f, false, false, true}, {7, true, false, false},
                         {7, false, true, true}};
  const std::string quadrants = TempFile("quadrants.png");
  {
    TBitmap32 picture;
    picture.SetSize(96, 56);
    for (int32_t y = 0; y < 56; ++y) {
      for (int32_t x = 0; x < 96; ++x) picture.ScanLine(y)[x] = kQuadrants[(y < 28 ? 0 : 2) + (x < 48 ? 0 : 1)];
    }
    TMemoryStream png;
    EncodePng(picture, png);
    png.SaveToFile(quadrants);
  }
  constexpr int32_t kDpi = 254;
  const float m = 3;
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "gap " << c.Gap << (c.Portrait ? " portrait" : " landscape")
                                    << (c.Precut ? " pre-cut" : " uncut") << (c.Pdf ? " PDF" : " PNG"));
    auto magnet = LoadedMagnet();
    magnet->LoadUserPicture(quadrants);
    // The picture covers the page, bleed and all: quadrants meet at the page's centre.
    magnet->Layer(TLayer::usrImage)->SetBoundsAndAngle(0, 0, 96, 56, 0);
    magnet->SetInnerMarginX(c.Gap);
    magnet->SetInnerMarginY(c.Gap);
    magnet->SetPortrait(c.Portrait);
    magnet->SetPrecut(c.Precut);
    TPrintSheet sheet(Services());
    TFilePrinterSettings settings;
    settings.Dpi = kDpi;
    const std::string file = TempFile(c.Pdf ? "sheet.pdf" : "sheet.png");
    std::unique_ptr<IPrinter> printer;
    if (c.Pdf) {
      printer = std::make_unique<TPdfPrinter>(file, settings);
    } else {
      printer = std::make_unique<TPngPrinter>(file, settings);
    }
    RunMagnetPrint(*magnet, sheet, *printer, {});
    TReadSheet read;
    read.PerMm = kDpi / 25.4;
    std::string png = file;
    if (c.Pdf) {
      const std::string stem = TempFile("poppler");
      const std::string command = "pdftoppm -r " + std::to_string(kDpi) + " -png -singlefile '" + file + "' '" + stem + "'";
      ASSERT_EQ(std::system(command.c_str()), 0) << "pdftoppm failed";
      png = stem + ".png";
    }
    TMemoryStream bytes;
    bytes.LoadFromFile(png);
    DecodePng(static_cast<const uint8_t*>(bytes.Memory()), static_cast<size_t>(bytes.Size()), read.Pixels);
    ASSERT_NEAR(read.Pixels.Width(), Round(210 * read.PerMm), 1);

    // Each copy's net area from the layout, and the cell it may print: the bleed, but only up to
    // the middle of the gap where it meets a neighbour's.
    const TPrintSettings& s = magnet->PrintSettings();
    const TPrintLayout layout = ComputePrintLayout(magnet->LayoutInput());
    const float reach = std::min(m, c.Gap / 2);
    struct TCopy {
      TFloatRect Net, Cell;
      const TdtpShape* Shape;
    };
    std::vector<TCopy> copies;
    TdtpPage& page = *sheet.Document().CurrentPage();
    ASSERT_EQ(page.ChildCount(), static_cast<int>(layout.Positions.size()));
    for (int i = 0; i < page.ChildCount(); ++i) {
      const TPrintPosition& p = layout.Positions[static_cast<size_t>(i)];
      const float x = s.OuterMarginX + static_cast<float>(p.Column) * layout.PitchX;
      const float y = s.OuterMarginY + static_cast<float>(p.GridRow) * layout.PitchY;
      const TFloatRect net{x, y, x + layout.CopyWidth, y + layout.CopyHeight};
      const TFloatRect cell{x - (p.Column > 0 ? reach : m), y - (p.GridRow > 0 ? reach : m),
                            net.Right + (p.Column < layout.Columns - 1 ? reach : m),
                            net.Bottom + (p.GridRow < layout.Rows - 1 ? reach : m)};
      copies.push_back({net, cell, page.Child(i)});
    }
    // What the sheet shows at a point: the quadrant of the copy whose cell holds it, else paper.
    auto expected = [&](double x, double y) {
      for (const TCopy& copy : copies) {
        if (x > copy.Cell.Left && x < copy.Cell.Right && y > copy.Cell.Top && y < copy.Cell.Bottom) {
          const TFloatPoint local = copy.Shape->ParentToLocal({static_cast<float>(x), static_cast<float>(y)});
          return (local.Y < 28 ? 0 : 2) + (local.X < 48 ? 0 : 1);
        }
      }
      return 4;
    };
    int checked = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
      const TFloatRect& n = copies[i].Net;
      // 1 mm inside every cut line, near both ends of each.
      for (const double x : {n.Left + 1.0, n.Right - 1.0}) {
        for (const double y : {n.Top + 1.0, n.Bottom - 1.0}) {
          EXPECT_EQ(read.At(x, y), expected(x, y)) << "copy " << i + 1 << " inside at " << x << ", " << y;
          ++checked;
        }
      }
      // 0.5 mm outside every side of its page, a quarter and three quarters along.
      const TFloatRect pg{n.Left - m, n.Top - m, n.Right + m, n.Bottom + m};
      for (const double f : {0.25, 0.75}) {
        const double x = pg.Left + f * (pg.Right - pg.Left), y = pg.Top + f * (pg.Bottom - pg.Top);
        for (const auto& [px, py] : {std::pair<double, double>{pg.Left - 0.5, y}, {pg.Right + 0.5, y},
                                     {x, pg.Top - 0.5}, {x, pg.Bottom + 0.5}}) {
          EXPECT_EQ(read.At(px, py), expected(px, py)) << "copy " << i + 1 << " outside at " << px << ", " << py;
          ++checked;
        }
      }
    }
    // Four copies at least (two columns of two rows at the widest gap), twelve points each.
    EXPECT_GE(checked, 4 * 12);
  }
}

}  // namespace
}  // namespace sw

namespace sw {
namespace {

// A merge read back from the PDF through poppler: every row's picture (a colour of its own) on
// the page and at the position its place in the run gives it, the positions before the start and
// after the last row blank; the run refused before any job when a row cannot print.
TEST_F(PrintRun, MergePrintsEachRowAtItsPositionOverSheets) {
  struct TCase {
    int32_t Rows, Copies, Start, Sheets;
    bool Portrait;
  };
  // Turned, the sheet lays its positions in another order than their numbers.
  const TCase cases[] = {{23, 1, 1, 3, true}, {5, 2, 4, 2, true}, {13, 1, 2, 3, false}};
  constexpr int32_t kRows = 23;
  auto colour = [](int32_t row) { return Color32(static_cast<uint8_t>(20 + 9 * row), static_cast<uint8_t>(230 - 9 * row), 60); };
  std::string csv = "Name,Photo\n";
  for (int32_t row = 0; row < kRows; ++row) {
    TBitmap32 picture;
    picture.SetSize(18, 10);
    for (int32_t y = 0; y < 10; ++y) {
      for (int32_t x = 0; x < 18; ++x) picture.ScanLine(y)[x] = colour(row);
    }
    TMemoryStream png;
    EncodePng(picture, png);
    const std::string name = "row" + std::to_string(row + 1) + ".png";
    png.SaveToFile(TempFile(name));
    // Row 2 names no picture: its copies keep the design's own (row 1's).
    csv += "Person " + std::to_string(row + 1) + "," + (row == 1 ? "" : name) + "\n";
  }
  // The nearest row colour at a point, -1 for the paper.
  auto rowAt = [&](const TBitmap32& pixels, double x, double y, double perMm) {
    const TColor32 c = pixels.Pixel(static_cast<int32_t>(x * perMm), static_cast<int32_t>(y * perMm));
    int best = -1;
    int64_t nearest = INT64_MAX;
    for (int i = -1; i < kRows; ++i) {
      const int64_t d = ColourDistance(c, i < 0 ? clWhite32 : colour(i));
      if (d < nearest) nearest = d, best = i;
    }
    return best;
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Rows << " rows x " << c.Copies << " from " << c.Start
                                    << (c.Portrait ? "" : " landscape"));
    std::string lines = csv.substr(0, csv.find('\n') + 1);
    for (size_t at = lines.size(), n = 0; n < static_cast<size_t>(c.Rows); ++n) {
      const size_t end = csv.find('\n', at) + 1;
      lines += csv.substr(at, end - at);
      at = end;
    }
    const std::string file = TempFile("people.csv");
    {
      TMemoryStream text;
      text.Write(lines.data(), static_cast<int64_t>(lines.size()));
      text.SaveToFile(file);
    }
    const TMergeTable table = TMergeTable::Load(file);
    auto magnet = LoadedMagnet();
    magnet->Layer(TLayer::usrTextBG)->SetVisible(false);
    // The design's own picture covers the page: so does every row's.
    magnet->LoadUserPicture(TempFile("row1.png"));
    magnet->ZoomActiveImage(100);
    magnet->MoveActiveImage(0, 0);
    magnet->SetMerge(file, "Photo");
    magnet->SetPortrait(c.Portrait);
    TPrintSheet sheet(Services());
    TFilePrinterSettings settings;
    settings.Dpi = 50;
    const std::string pdf = TempFile("merge.pdf");
    TPdfPrinter printer(pdf, settings);
    TMergeRunOptions merge;
    merge.Copies = c.Copies;
    merge.StartPosition = c.Start;
    const TMergeRunResult result = RunMergePrint(*magnet, sheet, table, printer, {}, merge);
    ASSERT_EQ(result.Sheets, c.Sheets);

    const std::string stem = TempFile("merged" + std::to_string(c.Rows));
    ASSERT_EQ(std::system(("pdftoppm -r 50 -png '" + pdf + "' '" + stem + "'").c_str()), 0) << "pdftoppm failed";
    const TPrintLayout layout = ComputePrintLayout(magnet->LayoutInput());
    const int32_t positions = static_cast<int32_t>(layout.Positions.size());
    ASSERT_EQ(positions, c.Portrait ? 10 : 6);
    // The sheet holds the design alone again, a copy at every position in layout order.
    const TdtpPage& shown = *sheet.Document().CurrentPage();
    ASSERT_EQ(shown.ChildCount(), positions);
    std::vector<std::vector<int>> expected(static_cast<size_t>(c.Sheets), std::vector<int>(static_cast<size_t>(positions), -1));
    for (int32_t slot = 0; slot < c.Rows * c.Copies; ++slot) {
      const int32_t place = c.Start - 1 + slot;
      expected[static_cast<size_t>(place / positions)][static_cast<size_t>(place % positions)] =
          slot / c.Copies == 1 ? 0 : slot / c.Copies;
    }
    EXPECT_FALSE(std::filesystem::exists(stem + "-" + std::to_string(c.Sheets + 1) + ".png"));
    EXPECT_EQ(result.LastPosition, (c.Start - 1 + c.Rows * c.Copies - 1) % positions + 1);
    for (int32_t page = 0; page < c.Sheets; ++page) {
      TMemoryStream bytes;
      bytes.LoadFromFile(stem + "-" + std::to_string(page + 1) + ".png");
      TBitmap32 pixels;
      DecodePng(static_cast<const uint8_t*>(bytes.Memory()), static_cast<size_t>(bytes.Size()), pixels);
      for (int32_t i = 0; i < positions; ++i) {
        const TPrintPosition& p = layout.Positions[static_cast<size_t>(i)];
        const int32_t number = p.GridRow * layout.Columns + p.Column + 1;
        // 8 mm into the copy's page, inside its net whichever way it is turned.
        const TFloatPoint at = shown.Child(i)->LocalToParent({8, 8});
        EXPECT_EQ(rowAt(pixels, at.X, at.Y, 50 / 25.4), expected[static_cast<size_t>(page)][static_cast<size_t>(number - 1)])
            << "sheet " << page + 1 << ", position " << number;
      }
    }
  }

  // Nothing prints when a row cannot: a field naming no column, a picture that is not there.
  auto magnet = LoadedMagnet();
  TPrintSheet sheet(Services());
  THeadlessPrinter printer(A4Sheet(100));
  magnet->SetMessageText(u"Hi ${Nmae}");
  const TMergeTable people = TMergeTable::Parse("Name,Photo\nJo,row1.png\nAnn,missing.png\n");
  EXPECT_EQ(Message([&] { RunMergePrint(*magnet, sheet, people, printer, {}, {}); }),
            "The message's field ${Nmae} names no column of the merge file");
  magnet->SetMessageText(u"Hi ${Name}");
  magnet->SetMerge("people.csv", "Photo");
  EXPECT_EQ(Message([&] { RunMergePrint(*magnet, sheet, people, printer, {}, {}); }).rfind(
                "The merge file, row 1, column \"Photo\": the picture", 0),
            0u);
  EXPECT_TRUE(printer.Events.empty());
}

}  // namespace
}  // namespace sw
