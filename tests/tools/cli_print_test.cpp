// stickwell-cli print: a page printed into PDF and PNG files through the banded printer, checked
// by independent readers against the page rendered by stickwell-cli render; options and errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/stream.h"
#include "platform/printer_test_support.h"
#include "support/cli_runner.h"
#include "support/reference_decoders.h"

namespace sw {
namespace {

using test::RunCli;
using test::ShellQuote;

const std::string kSample = std::string(STICKWELL_SOURCE_DIR) + "/samples/sample_page.xml";

bool DecodePngFile(const std::string& file, TBitmap32& bitmap) {
  if (!FileExists(file)) return false;
  const std::vector<uint8_t> bytes = ReadFileBytes(file);
  test::TReferenceImage image;
  if (!test::DecodeWithLibpng(bytes.data(), bytes.size(), image)) return false;
  bitmap.SetSize(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
  std::memcpy(bitmap.Bits(), image.pixels.data(), image.pixels.size() * 4);
  return true;
}

class CliPrint : public ::testing::Test {
protected:
  void SetUp() override { base_ = test::ScratchName("cli_print"); }
  void TearDown() override {
    for (const std::string& name : test::FilesStartingWith(base_)) std::remove((TempFolder() + "/" + name).c_str());
  }
  // The sample page (96 x 56 mm) rendered by stickwell-cli render at 150 dpi: 567 x 331.
  void RenderSample(TBitmap32& bitmap) {
    const std::string out = base_ + "_render.png";
    const test::TCliRun run = RunCli("render " + ShellQuote(kSample) + " " + ShellQuote(out) + " --dpi 150");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(DecodePngFile(out, bitmap));
  }
  std::string base_;
};

// On paper of the page's own size at 150 dpi and low quality, the sheet is the page one to one.
TEST_F(CliPrint, PdfOfThePageMatchesItsRendering) {
  ASSERT_TRUE(test::HaveTool("qpdf") && test::HaveTool("pdftoppm")) << "scripts/install-deps installs them";
  const std::string pdf = base_ + ".pdf";
  const test::TCliRun run =
      RunCli("print " + ShellQuote(kSample) + " " + ShellQuote(pdf) + " --paper 96x56 --dpi 150 --quality low");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, pdf + "\n1 sheet\n");
  EXPECT_EQ(run.err, "");  // no progress bar when standard error is no terminal
  std::string output;
  ASSERT_EQ(test::RunCommand("qpdf --check " + ShellQuote(pdf), &output), 0) << output;
  ASSERT_EQ(test::RunCommand("pdftoppm -r 150 -singlefile " + ShellQuote(pdf) + " " + ShellQuote(base_ + "_pdf")), 0);
  TBitmap32 printed, rendered;
  ASSERT_TRUE(test::ReadPpm(base_ + "_pdf.ppm", printed));
  RenderSample(rendered);
  ASSERT_EQ(rendered.Width(), 567);
  ASSERT_EQ(rendered.Height(), 331);
  // Tolerance: the reader places and resamples the bands by up to a pixel, so each pixel it shows
  // lies within the colours of the rendering's 3 x 3 neighbourhood, with 2 levels of slack.
  EXPECT_GE(test::ShareWithinNeighbourhood(printed, rendered, 2), 0.999);
}

TEST_F(CliPrint, PngSheetsHaveTheirSizeAndResolution) {
  const std::string png = base_ + ".png";
  const test::TCliRun run =
      RunCli("print " + ShellQuote(kSample) + " " + ShellQuote(png) + " --paper 96x56 --dpi 150 --quality low");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, png + "\n1 sheet\n");
  TBitmap32 printed, rendered;
  ASSERT_TRUE(DecodePngFile(png, printed));
  RenderSample(rendered);
  // The bands are the sheet's pixels one to one. Printing renders at exactly 150 dpi while render
  // stretches the page over its 567 whole pixels (0.012% wider), so edges move by up to 0.07 of a
  // pixel, and a turned picture is resampled along other rows: 99.5% of the printed pixels lie
  // within the colours of the rendering's 3 x 3 neighbourhood, with 2 levels of slack.
  EXPECT_GE(test::ShareWithinNeighbourhood(printed, rendered, 2), 0.995);
  // The offset moves the print: 2.54 mm right is 15 pixels at 150 dpi.
  const std::string shifted = base_ + "_shifted.png";
  ASSERT_EQ(RunCli("print " + ShellQuote(kSample) + " " + ShellQuote(shifted) +
                   " --paper 96x56 --dpi 150 --quality low --offset 2.54,0")
                .status,
            0);
  TBitmap32 moved;
  ASSERT_TRUE(DecodePngFile(shifted, moved));
  for (int32_t y = 0; y < 331; y += 7) {
    for (int32_t x = 15; x < 567; x += 5) ASSERT_EQ(moved.Pixel(x, y), printed.Pixel(x - 15, y)) << x << "," << y;
  }
  EXPECT_EQ(moved.Pixel(3, 100), clWhite32);
}

// On a terminal (given by script(1)) standard error shows the job's progress up to 100%.
TEST_F(CliPrint, ProgressBarOnATerminal) {
  ASSERT_EQ(test::RunCommand("command -v script"), 0) << "script(1) of util-linux is needed";
  const std::string pdf = base_ + ".pdf";
  const std::string inner = std::string(STICKWELL_CLI) + " print " + ShellQuote(kSample) + " " + ShellQuote(pdf) +
                            " --dpi 100 >/dev/null";
  std::string output;
  ASSERT_EQ(test::RunCommand("script -qec " + ShellQuote(inner) + " /dev/null", &output), 0) << output;
  EXPECT_NE(output.find("\rprinting [          "), std::string::npos) << output;
  EXPECT_NE(output.find("########################################] 100%"), std::string::npos) << output;
  EXPECT_TRUE(FileExists(pdf));
}

// A document archive of two pages: one numbered PNG file per sheet, or the chosen page alone.
TEST_F(CliPrint, DocumentArchivePrintsASheetPerPage) {
  const std::string samples = std::string(STICKWELL_SOURCE_DIR) + "/samples";
  const std::string design = base_ + ".fmd";
  const test::TCliRun build = RunCli("doc build " + ShellQuote(design) + " " + ShellQuote(samples + "/design/Index.xml") +
                                     " " + ShellQuote(kSample) + " " + ShellQuote(samples + "/design/back_page.xml"));
  ASSERT_EQ(build.status, 0) << build.err;
  const std::string png = base_ + ".png";
  const test::TCliRun run = RunCli("print " + ShellQuote(design) + " " + ShellQuote(png) + " --dpi 50 --quality low");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, base_ + "-1.png\n" + base_ + "-2.png\n2 sheets\n");
  TBitmap32 first, second;
  ASSERT_TRUE(DecodePngFile(base_ + "-1.png", first));
  ASSERT_TRUE(DecodePngFile(base_ + "-2.png", second));
  EXPECT_EQ(first.Width(), 413);
  EXPECT_EQ(first.Height(), 585);
  EXPECT_FALSE(FileExists(png));
  const test::TCliRun one = RunCli("print " + ShellQuote(design) + " " + ShellQuote(base_ + "_2.png") +
                                   " --dpi 50 --quality low --pages 2");
  ASSERT_EQ(one.status, 0) << one.err;
  TBitmap32 alone;
  ASSERT_TRUE(DecodePngFile(base_ + "_2.png", alone));
  EXPECT_EQ(std::vector<TColor32>(alone.Bits(), alone.Bits() + 413 * 585),
            std::vector<TColor32>(second.Bits(), second.Bits() + 413 * 585));
}

TEST_F(CliPrint, DefaultSheetIsA4At600Dpi) {
  const std::string png = base_ + ".png";
  const test::TCliRun run = RunCli("print " + ShellQuote(kSample) + " " + ShellQuote(png) + " --dpi 60");
  ASSERT_EQ(run.status, 0) << run.err;
  TBitmap32 sheet;
  ASSERT_TRUE(DecodePngFile(png, sheet));
  EXPECT_EQ(sheet.Width(), 496);
  EXPECT_EQ(sheet.Height(), 702);
}

TEST_F(CliPrint, RefusesBadOptionsWithoutWritingAnything) {
  const std::string out = base_ + ".pdf";
  const std::vector<std::pair<std::string, std::string>> cases{
      {" --quality best", "--quality wants low, medium, high or device"},
      {" --paper 210", "--paper wants two positive numbers"},
      {" --paper 0x297", "--paper wants two positive numbers"},
      {" --paper 210xnan", "--paper wants two positive numbers"},
      {" --paper 210x1e999", "--paper wants two positive numbers"},
      {" --offset 0x1,2", "--offset wants two numbers"},
      {" --paper 9000x10", "--paper goes up to 1200 mm a side"},
      {" --paper 2000x2000", "--paper goes up to 1200 mm a side"},
      {" --dpi 0", "--dpi wants a positive whole number"},
      {" --dpi 1", "--dpi goes from 50 to 2400"},
      {" --dpi 20000", "--dpi goes from 50 to 2400"},
      {" --dpi 2400 --paper 1200x1200", "at most 2147483648 are printed: lower the resolution"},
      {" --offset 1", "--offset wants two numbers"},
      {" --offset 500,0", "--offset moves the print off the paper"},
      {" --pages 3-2", "--pages wants A-B with A at most B"},
      {" --pages 2", "Page 2 does not exist (the file has 1)"},
      {" --pages", "option \"--pages\" wants a value"},
      {" --colour red", "unknown option \"--colour\""},
  };
  for (const auto& [options, message] : cases) {
    const test::TCliRun run = RunCli("print " + ShellQuote(kSample) + " " + ShellQuote(out) + options);
    EXPECT_EQ(run.status, 1) << options;
    EXPECT_NE(run.err.find(message), std::string::npos) << options << ": " << run.err;
  }
  const test::TCliRun text = RunCli("print " + ShellQuote(kSample) + " " + ShellQuote(base_ + ".txt"));
  EXPECT_NE(text.err.find("print writes OUT.pdf or OUT.png"), std::string::npos) << text.err;
  const test::TCliRun missing = RunCli("print " + ShellQuote(base_ + "_none.xml") + " " + ShellQuote(out));
  EXPECT_NE(missing.err.find("Cannot find file"), std::string::npos) << missing.err;
  EXPECT_TRUE(test::FilesStartingWith(base_).empty());
}

}  // namespace
}  // namespace sw
