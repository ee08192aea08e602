// stickwell-cli render and view: a page XML file rendered as printed and as the window shows it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/stream.h"
#include "storage/formats/png_format.h"
#include "support/cli_runner.h"

namespace sw {
namespace {

namespace fs = std::filesystem;

// A 40 x 20 mm blue page with a red 10 x 10 mm rectangle at (10, 5).
const char kPage[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Page><IsDefaultPage>False</IsDefaultPage><MarginLeft>2</MarginLeft><MarginTop>2</MarginTop>"
    "<MarginRight>2</MarginRight><MarginBottom>2</MarginBottom><GridSize>5</GridSize>"
    "<PageColor>$00FF0000</PageColor><PageWidth>40</PageWidth><PageHeight>20</PageHeight>"
    "<ClassName>TdtpPage</ClassName>"
    "<Shape Index=\"1\"><ClassName>TdtpRectangleShape</ClassName><DocLeft>10</DocLeft><DocTop>5</DocTop>"
    "<DocHeight>10</DocHeight><DocWidth>10</DocWidth><FillColor>$000000FF</FillColor>"
    "<FillAlpha>255</FillAlpha><UseFill>True</UseFill></Shape>"
    "</Page>\n";

constexpr TColor32 kBlue = 0xFF0000FFu, kRed = 0xFFFF0000u, kWorkspace = 0xFFABABABu;

class CliRenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = TempFolder() + "/sw_cli_render_" + std::to_string(::getpid());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Write("page.xml", kPage);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const std::string& text) {
    TMemoryStream m(std::vector<uint8_t>(text.begin(), text.end()));
    m.SaveToFile(Path(name));
  }
  test::TCliRun Run(const std::string& args) { return test::RunCli(args); }
  void Decode(const std::string& name, TBitmap32& bitmap) {
    const std::vector<uint8_t> bytes = ReadFileBytes(Path(name));
    DecodePng(bytes.data(), bytes.size(), bitmap);
  }

  std::string dir_;
};

TEST_F(CliRenderTest, RendersThePageAsPrinted) {
  test::TCliRun run = Run("render " + test::ShellQuote(Path("page.xml")) + " " + test::ShellQuote(Path("out.png")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "236x118\n");
  TBitmap32 picture;
  Decode("out.png", picture);
  ASSERT_EQ(picture.Width(), 236);  // round(40 x 150 / 25.4)
  ASSERT_EQ(picture.Height(), 118);
  EXPECT_EQ(picture.Pixel(0, 0), kBlue);
  EXPECT_EQ(picture.Pixel(235, 117), kBlue);
  EXPECT_EQ(picture.Pixel(Round(15 * 150 / 25.4), Round(10 * 150 / 25.4)), kRed);
  // No margin frame and no grid in print output: the row through the margin is all page colour.
  const int32_t marginRow = Round(2 * 150 / 25.4);
  for (int32_t x = 0; x < 236; ++x) ASSERT_EQ(picture.Pixel(x, marginRow), kBlue) << x;

  run = Run("render " + test::ShellQuote(Path("page.xml")) + " " + test::ShellQuote(Path("hi.png")) +
            " --dpi 300 --page 1");
  ASSERT_EQ(run.status, 0) << run.err;
  Decode("hi.png", picture);
  EXPECT_EQ(picture.Width(), 472);
  EXPECT_EQ(picture.Height(), 236);
}

TEST_F(CliRenderTest, RenderRefusesBadRequests) {
  const std::string page = test::ShellQuote(Path("page.xml")), out = test::ShellQuote(Path("bad.png"));
  test::TCliRun run = Run("render " + page + " " + out + " --dpi 0");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--dpi wants a positive number"), std::string::npos) << run.err;
  run = Run("render " + page + " " + out + " --page 2");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Page 2 does not exist (the file has 1)"), std::string::npos) << run.err;
  run = Run("render " + test::ShellQuote(Path("missing.xml")) + " " + out);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Cannot find file"), std::string::npos) << run.err;
  Write("other.xml", "<Index/>");
  run = Run("render " + test::ShellQuote(Path("other.xml")) + " " + out);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("neither a document nor a page XML file"), std::string::npos) << run.err;
  // A page too large for a bitmap at that resolution is refused with a message, not a crash.
  Write("huge.xml",
        "<Page><IsDefaultPage>False</IsDefaultPage><PageWidth>20000</PageWidth>"
        "<PageHeight>20000</PageHeight></Page>");
  run = Run("render " + test::ShellQuote(Path("huge.xml")) + " " + out + " --dpi 1200");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("too large"), std::string::npos) << run.err;
  EXPECT_FALSE(FileExists(Path("bad.png")));
}

TEST_F(CliRenderTest, ViewShowsWhatTheWindowWould) {
  const std::string page = test::ShellQuote(Path("page.xml"));
  // Normal view fitted to the window: min(299 / 40, 199 / 20) pixels per mm from the corner.
  test::TCliRun run = Run("view " + page + " " + test::ShellQuote(Path("fit.png")) + " --client 300x200 --normal --fit-page");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("300x200"), std::string::npos) << run.out;
  TBitmap32 shown;
  Decode("fit.png", shown);
  ASSERT_EQ(shown.Width(), 300);
  ASSERT_EQ(shown.Height(), 200);
  EXPECT_EQ(shown.Pixel(0, 0), kBlue);
  EXPECT_EQ(shown.Pixel(Round(15 * 7.475), Round(10 * 7.475)), kRed);
  EXPECT_EQ(shown.Pixel(150, 190), kWorkspace);

  // Print layout fitted to the width: the page 10 pixels in, framed black.
  run = Run("view " + page + " " + test::ShellQuote(Path("layout.png")) + " --client 300x200");
  ASSERT_EQ(run.status, 0) << run.err;
  Decode("layout.png", shown);
  EXPECT_EQ(shown.Pixel(5, 5), kWorkspace);
  EXPECT_EQ(shown.Pixel(10, 50), 0xFF000000u);
  EXPECT_EQ(shown.Pixel(20, 20), kBlue);

  run = Run("view " + page + " " + test::ShellQuote(Path("zoom.png")) + " --client 300x200 --zoom 200");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("at 200%"), std::string::npos) << run.out;

  run = Run("view " + page + " " + test::ShellQuote(Path("x.png")) + " --client 300");
  EXPECT_EQ(run.status, 1);
  run = Run("view " + page + " " + test::ShellQuote(Path("x.png")) + " --client 300x200 --fit-page --zoom 50");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("exclude each other"), std::string::npos) << run.err;
  run = Run("view " + page + " " + test::ShellQuote(Path("x.png")));
  EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace sw
