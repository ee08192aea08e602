// stickwell-cli magnet: a template's parameters and layers, its print layout and the sheet.
#include <gtest/gtest.h>

#include <string>

#include "base/stream.h"
#include "magnet/magnet_design.h"
#include "magnet_test_support.h"
#include "storage/formats/png_format.h"
#include "support/cli_runner.h"

namespace sw {
namespace {

class CliMagnet : public test::MagnetFixture {
protected:
  // A 90 x 50 template with bleed 3, cutout and background shown, saved as a ".fmt" file.
  std::string Template() {
    auto magnet = NewMagnet();
    magnet->SetBleedMargin(3);
    magnet->LayoutTemplateLayers(90, 50, 3);
    for (const TLayer layer : AllLayers()) magnet->Layer(layer)->SetVisible(layer != TLayer::olMask);
    magnet->SetBackgroundColour(0x0000FF);
    magnet->SetTemplateName("Card");
    const std::string path = TempFile("Card.fmt");
    magnet->SaveTemplate(path);
    return path;
  }
};

TEST_F(CliMagnet, InfoShowsParametersAndLayers) {
  const test::TCliRun run = test::RunCli("magnet info " + test::ShellQuote(Template()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("template name\tCard\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("page\t96 x 56 mm\n"), std::string::npos);
  EXPECT_NE(run.out.find("bleed margin\t3\n"), std::string::npos);
  EXPECT_NE(run.out.find("outer margins\t15, 23\n"), std::string::npos);
  EXPECT_NE(run.out.find("olOutline\t8\tTdtpRectangleShape\tvisible\talpha 255\t3.1,3.1 89.8x49.8\tangle 0\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("olMask\t6\tTdtpBitmapShape\thidden"), std::string::npos);
}

TEST_F(CliMagnet, LayoutListsThePositions) {
  const std::string file = Template();
  test::TCliRun run = test::RunCli("magnet layout " + test::ShellQuote(file) + " --skip 2,10");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "2 columns x 5 rows");
  EXPECT_NE(run.out.find("1\tcolumn 0\trow 0\tprinted\tat 12,20\tangle 0\tnet 15,23 90x50\n"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2\tcolumn 1\trow 0\tskipped\tat 102,20\tangle 0\tnet 105,23 90x50\n"), std::string::npos);
  EXPECT_NE(run.out.find("10\tcolumn 1\trow 4\tskipped\tat 102,220\tangle 0\tnet 105,223 90x50\n"), std::string::npos);
  run = test::RunCli("magnet layout " + test::ShellQuote(file) + " --orientation landscape --inner 0,0");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "3 columns x 2 rows");
  EXPECT_NE(run.out.find("1\tcolumn 0\trow 0\tprinted\tat 12,116\tangle 90\tnet 15,23 50x90\n"),
            std::string::npos) << run.out;
  // Bad options are refused with the usage.
  run = test::RunCli("magnet layout " + test::ShellQuote(file) + " --skip 11");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Position 11 is not on the sheet"), std::string::npos) << run.err;
  run = test::RunCli("magnet layout " + test::ShellQuote(file) + " --outer fifteen");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--outer wants two numbers"), std::string::npos) << run.err;
}

TEST_F(CliMagnet, SheetRendersTheCopies) {
  const std::string out = TempFile("sheet.png");
  const test::TCliRun run =
      test::RunCli("magnet sheet " + test::ShellQuote(Template()) + " " + test::ShellQuote(out) + " --dpi 25.4");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2 columns x 5 rows, 10 copies, 210x297 pixels\n");
  const std::vector<uint8_t> bytes = ReadFileBytes(out);
  TBitmap32 sheet;
  DecodePng(bytes.data(), bytes.size(), sheet);
  ASSERT_EQ(sheet.Width(), 210);
  // Inside the first copy's net area, beside the message box, the red background shows (the
  // cutout is empty); the message box is white; the outer margin of the sheet stays white.
  EXPECT_EQ(sheet.Pixel(20, 30) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(sheet.Pixel(100, 70) & 0xFFFFFF, 0xFF0000u);  // the last pixel of its bleed
  EXPECT_EQ(sheet.Pixel(50, 45) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(sheet.Pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);
}

}  // namespace
}  // namespace sw
