// stickwell-cli magnet artwork, template, design, print and guide, read back through the model
// and, for the printed sheets, through poppler's rendering of the PDF: the cutting lines lie where
// the layout arithmetic puts them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/stream.h"
#include "magnet/magnet_design.h"
#include "platform/printer_test_support.h"
#include "magnet_test_support.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "support/cli_runner.h"

namespace sw {
namespace {

constexpr double kRenderDpi = 1200;
constexpr double kPixelsPerMm = kRenderDpi / 25.4;

class CliMagnetVerbs : public test::MagnetFixture {
protected:
  static std::string Q(const std::string& word) { return test::ShellQuote(word); }

  // A 90 x 50 template with bleed 3, square corners and the cutting line, built by the CLI.
  std::string CardTemplate(const std::string& extra = "") {
    const std::string cutout = TempFile("card.png");
    test::TCliRun run = test::RunCli("magnet artwork cutout " + Q(cutout) + " --size 90x50 --ppi 50");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string file = TempFile("Card_90x50.fmt");
    run = test::RunCli("magnet template " + Q(file) + " --name Card --size 90x50 --bleed 3 --border --cutout " +
                       Q(cutout) + " " + extra);
    EXPECT_EQ(run.status, 0) << run.err;
    return file;
  }

  // How far a cutting line read back may lie from its place: 0.05 mm as the copies print (a copy
  // moves by at most half a device pixel to lie on whole pixels), and one pixel of the reader's
  // 1200 dpi more, by which poppler rounds where each placed picture of a copy begins.
  static constexpr double kLineTolerance = 0.05 + 25.4 / 1200;

  // The centre of the dark line crossing a window of the PDF's first page, in millimetres along
  // the axis it crosses: the window spans across ± 2 mm around the expected place and 4 mm along
  // the line from along. Darkness is weighted over the window (poppler renders at 1200 dpi).
  double LineCentre(const std::string& pdf, bool vertical, double expected, double along) {
    const double x = vertical ? expected - 2 : along, y = vertical ? along : expected - 2;
    const int size = static_cast<int>(std::lround(4 * kPixelsPerMm));
    const long x0 = std::lround(x * kPixelsPerMm), y0 = std::lround(y * kPixelsPerMm);
    const std::string stem = TempFile("window");
    const std::string command = "pdftoppm -r 1200 -gray -singlefile -x " + std::to_string(x0) + " -y " +
                                std::to_string(y0) + " -W " + std::to_string(size) + " -H " + std::to_string(size) +
                                " " + Q(pdf) + " " + Q(stem);
    if (std::system(command.c_str()) != 0) {
      ADD_FAILURE() << "pdftoppm failed";
      return NAN;
    }
    const std::vector<uint8_t> bytes = ReadFileBytes(stem + ".pgm");
    // "P5\n<w> <h>\n255\n" then the grey bytes.
    int w = 0, h = 0, max = 0, used = 0;
    if (std::sscanf(reinterpret_cast<const char*>(bytes.data()), "P5 %d %d %d%n", &w, &h, &max, &used) != 3) {
      ADD_FAILURE() << "not a PGM file";
      return NAN;
    }
    const size_t start = static_cast<size_t>(used) + 1;
    if (bytes.size() < start + static_cast<size_t>(w) * static_cast<size_t>(h)) {
      ADD_FAILURE() << "short PGM file";
      return NAN;
    }
    double total = 0, moment = 0;
    for (int row = 0; row < h; ++row) {
      for (int col = 0; col < w; ++col) {
        const double dark = 255 - bytes[start + static_cast<size_t>(row) * static_cast<size_t>(w) +
                                        static_cast<size_t>(col)];
        total += dark;
        moment += dark * ((vertical ? col : row) + 0.5);
      }
    }
    if (total == 0) {
      ADD_FAILURE() << "no line near " << expected << " mm";
      return NAN;
    }
    return (static_cast<double>(vertical ? x0 : y0) + moment / total) / kPixelsPerMm;
  }
};

TEST_F(CliMagnetVerbs, TemplateIsBuiltAsTheEditorBuildsIt) {
  const std::string file = CardTemplate("--type clock-face --colour '#FF8000' --outer 20,11 --inner 2.5,1 --landscape");
  auto magnet = NewMagnet();
  magnet->OpenTemplate(file);
  EXPECT_EQ(magnet->TemplateType(), kTemplateTypeClockFace);
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 3);
  EXPECT_FLOAT_EQ(magnet->Document().PageWidth(), 96);
  EXPECT_FLOAT_EQ(magnet->Document().PageHeight(), 56);
  EXPECT_TRUE(magnet->Layer(TLayer::olOutline)->Visible());
  EXPECT_FALSE(magnet->Layer(TLayer::olMask)->Visible());
  EXPECT_EQ(magnet->RectLayer(TLayer::bgColour)->FillColor(), 0x0080FF);
  const TPrintSettings& s = magnet->PrintSettings();
  EXPECT_FLOAT_EQ(s.OuterMarginX, 20);
  EXPECT_FLOAT_EQ(s.OuterMarginY, 11);
  EXPECT_FLOAT_EQ(s.InnerMarginX, 2.5f);
  EXPECT_FLOAT_EQ(s.InnerMarginY, 1);
  EXPECT_FALSE(s.Portrait);
  EXPECT_TRUE(s.Precut);
  EXPECT_EQ(magnet->TextLayer()->Lines().at(0), u"your message goes here");

  // info shows what was built.
  const test::TCliRun info = test::RunCli("magnet info " + Q(file));
  ASSERT_EQ(info.status, 0) << info.err;
  for (const char* line : {"template type\tclock face\n", "template version\t1\n", "net size\t90 x 50 mm\n",
                           "inner margins\t2.5, 1\n", "orientation\tlandscape\n"}) {
    EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
  }
  // The cutout covered the 96 x 56 page when it was loaded: its zoom reference.
  EXPECT_NE(info.out.find("olImage\t5\tTdtpBitmapShape\tvisible\talpha 255\t3,3 90x50\tangle 0\tzoom reference "),
            std::string::npos) << info.out;

  // Refusals name what is wrong and write nothing.
  const std::string out = TempFile("bad.fmt");
  for (const char* options : {"--name A --size 90x50 --bleed 3",
                                     "--name A --size 90x50 --bleed 200 --cutout x.png",
                                     "--name A --size 90.5x50 --bleed 3 --cutout x.png",
                                     "--name A --size 90x50 --bleed 3 --cutout x.png --type round",
                                     "--name A --size 90x50 --bleed 3 --cutout x.png --skip 2"}) {
    const test::TCliRun run = test::RunCli("magnet template " + Q(out) + " " + std::string(options));
    EXPECT_EQ(run.status, 1) << options;
    EXPECT_FALSE(FileExists(out)) << options;
  }
}

TEST_F(CliMagnetVerbs, DesignIsMadeAsInTheDesignTab) {
  const std::string file = CardTemplate();
  const std::string picture = PictureFile("photo.png", 400, 300);
  const std::string design = TempFile("mine.fmd");
  test::TCliRun run = test::RunCli(
      "magnet design " + Q(file) + " " + Q(design) +
      " --message 'Hello, you' --font 'DejaVu Sans' --size 12.5 --italic --text-colour '#102030' --see-through"
      " --text-size 40x20 --text-at 5,8 --colour '#00FF00' --picture " + Q(picture) +
      " --picture-zoom 50 --picture-at 10,5 --picture-turn 30");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "mine.fmd\n");

  auto magnet = NewMagnet();
  magnet->OpenDesign(design);
  const TdtpMemoShape* text = magnet->TextLayer();
  EXPECT_EQ(text->Lines().at(0), u"Hello, you");
  EXPECT_EQ(text->FontName(), "DejaVu Sans");
  EXPECT_NEAR(text->FontHeight(), 12.5 * 25.4 / 72, 1e-4);
  EXPECT_TRUE(text->Italic());
  EXPECT_FALSE(text->Bold());
  EXPECT_EQ(text->FontColor(), 0x302010);
  EXPECT_TRUE(magnet->TextBoxSeeThrough());
  const std::optional<TTextControls> tc = magnet->TextControls();
  ASSERT_TRUE(tc);
  EXPECT_EQ(tc->Left, 5);
  EXPECT_EQ(tc->Top, 8);
  EXPECT_EQ(tc->Width, 40);
  EXPECT_EQ(tc->Height, 20);
  EXPECT_EQ(magnet->RectLayer(TLayer::bgColour)->FillColor(), 0x00FF00);
  const std::optional<TImageControls> ic = magnet->ImageControls(TLayer::usrImage);
  ASSERT_TRUE(ic);
  EXPECT_TRUE(magnet->Layer(TLayer::usrImage)->Visible());
  EXPECT_EQ(ic->Zoom, 50);
  EXPECT_EQ(ic->Rotate, 30);
  // The box was saved white-or-clear, never the flash's grey.
  EXPECT_EQ(magnet->RectLayer(TLayer::usrTextBG)->MasterAlpha(), 0u);

  // A turn keeps the message's size; bad values are refused before anything is written.
  run = test::RunCli("magnet design " + Q(file) + " " + Q(TempFile("turned.fmd")) +
                     " --text-size 40x20 --text-turn 15 --message --italic");
  ASSERT_EQ(run.status, 0) << run.err;
  magnet->OpenDesign(TempFile("turned.fmd"));
  EXPECT_EQ(magnet->TextControls()->Rotate, 15);
  EXPECT_EQ(magnet->TextControls()->Width, 40);
  // An option's value is its value even when it looks like an option.
  EXPECT_EQ(magnet->TextLayer()->Lines().at(0), u"--italic");
  EXPECT_FALSE(magnet->TextLayer()->Italic());
  for (const char* options : {"--colour red", "--size 0", "--text-at 5", "--picture-zoom 0",
                                     "--text-size -4x3", "--unknown 1"}) {
    const std::string out = TempFile("refused.fmd");
    run = test::RunCli("magnet design " + Q(file) + " " + Q(out) + " " + std::string(options));
    EXPECT_EQ(run.status, 1) << options;
    EXPECT_FALSE(FileExists(out)) << options;
  }
}

TEST_F(CliMagnetVerbs, PrintedCutLinesLieWhereTheLayoutPutsThem) {
  const std::string file = CardTemplate();
  const std::string pdf = TempFile("sheet.pdf");
  test::TCliRun run = test::RunCli("magnet print " + Q(file) + " " + Q(pdf) +
                                   " --uncut --inner 5,5 --quality high --dpi 600");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("2 columns x 4 rows, 8 copies"), std::string::npos) << run.out;
  // The copies are one picture, written once and placed eight times.
  EXPECT_EQ(test::PdfImageCount(pdf), 1u);
  // Portrait: px 95, py 55; the 0.2 mm cutting line lies just inside each net edge.
  EXPECT_NEAR(LineCentre(pdf, true, 15.1, 40), 15.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, true, 104.9, 40), 104.9, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, true, 110.1, 150), 110.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 23.1, 50), 23.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 72.9, 50), 72.9, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 78.1, 150), 78.1, kLineTolerance);

  // Landscape: 3 x 2 cells of 50 x 90, grid row 0 at the top of the sheet; the copies are turned a
  // quarter and rendered finer than the 300 dpi sheet, all four edges of each in place.
  run = test::RunCli("magnet print " + Q(file) + " " + Q(pdf) + " --uncut --landscape --inner 5,5 --quality high");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NEAR(LineCentre(pdf, true, 15.1, 60), 15.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, true, 64.9, 60), 64.9, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 23.1, 38), 23.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 112.9, 38), 112.9, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, true, 70.1, 60), 70.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, true, 119.9, 160), 119.9, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 118.1, 90), 118.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 207.9, 150), 207.9, kLineTolerance);

  // A printer offset moves the sheet: 1 mm right, half a millimetre up.
  run = test::RunCli("magnet print " + Q(file) + " " + Q(pdf) + " --uncut --inner 5,5 --quality high --offset 1,-0.5");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NEAR(LineCentre(pdf, true, 16.1, 40), 16.1, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 22.6, 50), 22.6, kLineTolerance);

  // Nothing selected: no job and no file.
  const std::string none = TempFile("none.pdf");
  run = test::RunCli("magnet print " + Q(file) + " " + Q(none) + " --skip 1,2,3,4,5,6,7,8,9,10");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("No position is selected for printing"), std::string::npos) << run.err;
  EXPECT_FALSE(FileExists(none));
}

TEST_F(CliMagnetVerbs, GuideOutlinesTheCuts) {
  const std::string file = CardTemplate();
  const std::string pdf = TempFile("guide.pdf");
  const test::TCliRun run = test::RunCli("magnet guide " + Q(file) + " " + Q(pdf) + " --inner 0,0 --quality high");
  ASSERT_EQ(run.status, 0) << run.err;
  // The guide's line is centred on the cut itself; neighbours share theirs. Its outlines are
  // drawn straight into the print bands, down the whole sheet.
  EXPECT_NEAR(LineCentre(pdf, true, 15, 35), 15, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, true, 105, 35), 105, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, true, 195, 35), 195, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 23, 30), 23, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 123, 30), 123, kLineTolerance);
  EXPECT_NEAR(LineCentre(pdf, false, 273, 30), 273, kLineTolerance);
}

// Without --quality the sheet renders as finely as --dpi asks (up to high); an explicit quality
// still wins.
TEST_F(CliMagnetVerbs, PrinterResolutionChoosesTheRenderWithoutAQuality) {
  const std::string file = CardTemplate();
  auto print = [&](const std::string& name, const std::string& options) {
    const std::string png = TempFile(name + ".png");
    const test::TCliRun run = test::RunCli("magnet print " + Q(file) + " " + Q(png) +
                                           " --uncut --paper 100x60 --outer 2,2 --dpi 600 " + options);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string sheet = run.out.substr(0, run.out.find('\n'));
    return ReadFileBytes(sheet);
  };
  const std::vector<uint8_t> chosen = print("chosen", "");
  const std::vector<uint8_t> high = print("high", "--quality high");
  const std::vector<uint8_t> medium = print("medium", "--quality medium");
  ASSERT_FALSE(chosen.empty());
  EXPECT_TRUE(chosen == high);
  EXPECT_FALSE(chosen == medium);
}

}  // namespace
}  // namespace sw

namespace sw {
namespace {

// The merge options reach the print: a design keeps its merge file, --start and --copies spread
// the rows over the sheets, and a bad table stops the print before any file is written.
TEST_F(CliMagnetVerbs, MergePrintRunsTheRowsOverSheets) {
  auto q = [](const std::string& word) { return test::ShellQuote(word); };
  const std::string csv = TempFile("names.csv");
  {
    TMemoryStream text;
    std::string rows = "Name;Town\n";
    for (int i = 1; i <= 6; ++i) rows += "Guest " + std::to_string(i) + ";\"Ely; UK\"\n";
    text.Write(rows.data(), static_cast<int64_t>(rows.size()));
    text.SaveToFile(csv);
  }
  const std::string cutout = TempFile("merge_card.png");
  test::TCliRun run = test::RunCli("magnet artwork cutout " + q(cutout) + " --size 90x50 --ppi 50");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string tmpl = TempFile("Merge_Card.fmt"), design = TempFile("guests.fmd");
  run = test::RunCli("magnet template " + q(tmpl) + " --name Card --size 90x50 --bleed 3 --cutout " + q(cutout));
  ASSERT_EQ(run.status, 0) << run.err;
  run = test::RunCli("magnet design " + q(tmpl) + " " + q(design) + " --message 'Hi ${Name} of ${Town}' --merge " + q(csv));
  ASSERT_EQ(run.status, 0) << run.err;
  // Six rows twice from position 10: one copy on the first sheet, ten on the next, one on a third.
  const std::string png = TempFile("guests.png");
  run = test::RunCli("magnet print " + q(design) + " " + q(png) + " --copies 2 --start 10 --dpi 50");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("6 rows x 2 copies on 3 sheets"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("used up to position 1: --start 2 prints on the rest of it"), std::string::npos) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5) << run.out;
  EXPECT_EQ(run.err, "");  // no progress bar off a terminal

  // --skip-used: a merge starts after the positions earlier prints used, a print of the design
  // alone leaves them out, and each records its last sheet; a damaged record counts for nothing.
  const std::string config = TempFile("config");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  {
    TMemoryStream junk;
    const std::string text = std::string("\x01\xff\x00garbage\nused-positions/Merge_Card\t0,x,-3\n", 45);
    junk.Write(text.data(), static_cast<int64_t>(text.size()));
    std::filesystem::create_directories(config + "/stickwell");
    junk.SaveToFile(config + "/stickwell/settings");
  }
  const std::string used = TempFile("used.pdf");
  run = test::RunCli("magnet print " + q(design) + " " + q(used) + " --skip-used");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("6 rows x 1 copies on 1 sheet\n6 of 10 positions"), std::string::npos) << run.out;
  run = test::RunCli("magnet print " + q(design) + " " + q(used) + " --skip-used");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("on 2 sheets\n2 of 10 positions"), std::string::npos) << run.out;
  run = test::RunCli("magnet print " + q(design) + " " + q(used) + " --skip-used --start 3");
  EXPECT_EQ(run.status, 1);
  const std::string plain = TempFile("plain.fmd");
  run = test::RunCli("magnet design " + q(tmpl) + " " + q(plain) + " --message Hi");
  ASSERT_EQ(run.status, 0) << run.err;
  run = test::RunCli("magnet print " + q(plain) + " " + q(used) + " --skip-used");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("8 copies\nthe sheet is used up"), std::string::npos) << run.out;
  ::unsetenv("XDG_CONFIG_HOME");

  {
    TMemoryStream text;
    const std::string rows = "Name;Town\nAnn;Ely\nBo\n";
    text.Write(rows.data(), static_cast<int64_t>(rows.size()));
    text.SaveToFile(csv);
  }
  const std::string none = TempFile("none.pdf");
  run = test::RunCli("magnet print " + q(design) + " " + q(none));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("row 2 (line 3): 1 field where the header names 2 columns"), std::string::npos) << run.err;
  EXPECT_FALSE(FileExists(none));
}

}  // namespace
}  // namespace sw
