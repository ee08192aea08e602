// stickwell-cli doc info and doc copy, and render of a document file's pages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/stream.h"
#include "storage/container/storage.h"
#include "storage/formats/png_format.h"
#include "support/cli_runner.h"

namespace sw {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

// A 40 x 20 mm page holding a group of a rectangle and a turned ellipse.
const char kPageOne[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Page Index=\"1\"><IsDefaultPage>False</IsDefaultPage><PageWidth>40</PageWidth><PageHeight>20</PageHeight>"
    "<PageColor>$00FF0000</PageColor><DocWidth>40</DocWidth><DocHeight>20</DocHeight>"
    "<Shape><ClassName>TdtpGroupShape</ClassName><Name>pair</Name><DocLeft>2</DocLeft><DocTop>3</DocTop>"
    "<DocWidth>30</DocWidth><DocHeight>12</DocHeight>"
    "<Shape><ClassName>TdtpRectangleShape</ClassName><Name>box</Name><DocWidth>10</DocWidth>"
    "<DocHeight>10</DocHeight></Shape>"
    "<Shape><ClassName>TdtpEllipseShape</ClassName><Name>dot</Name><DocLeft>12.5</DocLeft><DocWidth>8</DocWidth>"
    "<DocHeight>8</DocHeight><DocAngle>30</DocAngle></Shape></Shape></Page>";

// A 60 x 30 mm page with one rectangle.
const char kPageTwo[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Page Index=\"2\"><IsDefaultPage>False</IsDefaultPage><PageWidth>60</PageWidth><PageHeight>30</PageHeight>"
    "<DocWidth>60</DocWidth><DocHeight>30</DocHeight>"
    "<Shape><ClassName>TdtpRectangleShape</ClassName><Name>only</Name><DocLeft>1</DocLeft><DocTop>1</DocTop>"
    "<DocWidth>5</DocWidth><DocHeight>5</DocHeight></Shape></Page>";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string StreamOf(const std::string& file, const std::string& name) {
  TsdStorage storage;
  storage.Open(file);
  TMemoryStream s;
  storage.ReadStream(name, s);
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

class CliDocTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = TempFolder() + "/sw_cli_doc_" + std::to_string(::getpid());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Write("Index.xml", "<Document><StoreThumbnails>False</StoreThumbnails></Document>");
    Write("one.xml", kPageOne);
    Write("two.xml", kPageTwo);
    // Packed by hand from XML text, as any other tool could write it.
    const test::TCliRun run = test::RunCli("storage pack " + Q("hand.fmd") + " Index.xml=" + Q("Index.xml") +
                                           " Page0001.xml=" + Q("one.xml") + " Page0002.xml=" + Q("two.xml"));
    ASSERT_EQ(run.status, 0) << run.err;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Q(const std::string& name) const { return ShellQuote(Path(name)); }
  void Write(const std::string& name, const std::string& text) {
    TMemoryStream m(std::vector<uint8_t>(text.begin(), text.end()));
    m.SaveToFile(Path(name));
  }

  std::string dir_;
};

TEST_F(CliDocTest, InfoShowsSettingsPagesAndShapesByDepth) {
  const test::TCliRun run = test::RunCli("doc info " + Q("hand.fmd"));
  ASSERT_EQ(run.status, 0) << run.err;
  // Settings the file leaves out read as the reader's defaults.
  EXPECT_TRUE(Contains(run.out, "settings\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "  StoreThumbnails: False\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "  DefaultPageWidth: 210\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "  ThumbnailWidth: 80\n")) << run.out;
  EXPECT_FALSE(Contains(run.out, "ShowMargins")) << "missing reads as false";
  EXPECT_TRUE(Contains(run.out,
                       "pages 2\n"
                       "page 1: 40 x 20 mm, stream Page0001.xml (" +
                           std::to_string(sizeof(kPageOne) - 1) +
                           " bytes)\n"
                           "  TdtpGroupShape \"pair\" left 2 top 3 width 30 height 12 angle 0\n"
                           "    TdtpRectangleShape \"box\" left 0 top 0 width 10 height 10 angle 0\n"
                           "    TdtpEllipseShape \"dot\" left 12.5 top 0 width 8 height 8 angle 30\n"
                           "page 2: 60 x 30 mm, stream Page0002.xml ("))
      << run.out;
  EXPECT_TRUE(Contains(run.out, "  TdtpRectangleShape \"only\" left 1 top 1 width 5 height 5 angle 0\n")) << run.out;
}

TEST_F(CliDocTest, CopyIsARoundTrip) {
  test::TCliRun run = test::RunCli("doc copy " + Q("hand.fmd") + " " + Q("copy.fmd"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2 pages\n");
  // Page 2 was never read, so it is copied byte for byte; page 1 is unchanged too.
  EXPECT_EQ(StreamOf(Path("copy.fmd"), "Page0002.xml"), kPageTwo);
  EXPECT_EQ(StreamOf(Path("copy.fmd"), "Page0001.xml"), kPageOne);
  const std::string original = test::RunCli("doc info " + Q("hand.fmd")).out;
  EXPECT_EQ(test::RunCli("doc info " + Q("copy.fmd")).out, original);

  // A page file becomes a one-page document with its thumbnail.
  run = test::RunCli("doc copy " + Q("two.xml") + " " + Q("from_page.fmd"));
  ASSERT_EQ(run.status, 0) << run.err;
  run = test::RunCli("storage list " + Q("from_page.fmd"));
  EXPECT_TRUE(Contains(run.out, "Index.xml\t")) << run.out;
  EXPECT_TRUE(Contains(run.out, "Page0001.xml\t")) << run.out;
  EXPECT_TRUE(Contains(run.out, "Thumb0001.bmp\t14454\n")) << run.out;
  EXPECT_TRUE(Contains(test::RunCli("doc info " + Q("from_page.fmd")).out, "page 1: 60 x 30 mm"));

  // Copying onto the file itself replaces it whole.
  run = test::RunCli("doc copy " + Q("copy.fmd") + " " + Q("copy.fmd"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(test::RunCli("doc info " + Q("copy.fmd")).out, original);
}

TEST_F(CliDocTest, RenderTakesADocumentPage) {
  test::TCliRun run = test::RunCli("render " + Q("hand.fmd") + " " + Q("p2.png") + " --page 2");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "354x177\n");  // 60 x 30 mm at 150 dpi
  run = test::RunCli("render " + Q("hand.fmd") + " " + Q("p1.png"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "236x118\n");
  const std::vector<uint8_t> bytes = ReadFileBytes(Path("p1.png"));
  TBitmap32 picture;
  DecodePng(bytes.data(), bytes.size(), picture);
  EXPECT_EQ(picture.Pixel(230, 110), 0xFF0000FFu) << "the page colour";
  run = test::RunCli("render " + Q("hand.fmd") + " " + Q("p3.png") + " --page 3");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "Page 3 does not exist (the file has 2)")) << run.err;
  EXPECT_FALSE(fs::exists(Path("p3.png")));
}

TEST_F(CliDocTest, BuildWritesEveryPageWithItsThumbnail) {
  test::TCliRun run = test::RunCli("doc build " + Q("built.fmd") + " " + Q("Index.xml") + " " + Q("one.xml") + " " +
                                   Q("two.xml"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2 pages\n");
  run = test::RunCli("storage list " + Q("built.fmd"));
  // The settings text asks for no thumbnails.
  EXPECT_EQ(run.out.find("Thumb"), std::string::npos) << run.out;
  const std::string page = StreamOf(Path("built.fmd"), "Page0002.xml");
  EXPECT_TRUE(Contains(page, "<Page Index=\"2\">")) << page;
  const std::string info = test::RunCli("doc info " + Q("built.fmd")).out;
  EXPECT_TRUE(Contains(info, "    TdtpEllipseShape \"dot\" left 12.5 top 0 width 8 height 8 angle 30\n")) << info;
  EXPECT_TRUE(Contains(info, "page 2: 60 x 30 mm")) << info;

  Write("thumbs.xml", "<Document/>");
  run = test::RunCli("doc build " + Q("thumbs.fmd") + " " + Q("thumbs.xml") + " " + Q("one.xml"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(test::RunCli("storage list " + Q("thumbs.fmd")).out, "Thumb0001.bmp\t14454\n"));

  run = test::RunCli("doc build " + Q("bad.fmd") + " " + Q("one.xml") + " " + Q("two.xml"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "has no root element Document")) << run.err;
  run = test::RunCli("doc build " + Q("bad.fmd") + " " + Q("Index.xml") + " " + Q("Index.xml"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "has no root element Page")) << run.err;
  EXPECT_FALSE(fs::exists(Path("bad.fmd")));
}

// The sample designs of the repository build and read back whole.
TEST_F(CliDocTest, SampleArchivesBuild) {
  const std::string samples = std::string(STICKWELL_SOURCE_DIR) + "/samples";
  const std::string command = ShellQuote(samples + "/make-samples.sh") + " " + ShellQuote(STICKWELL_CLI) + " " +
                              Q("samples") + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name : {"sample.fmd", "sample-packed.fmd"}) {
    const test::TCliRun run = test::RunCli("doc info " + Q(std::string("samples/") + name));
    ASSERT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_TRUE(Contains(run.out, "page 1: 96 x 56 mm")) << run.out;
    EXPECT_TRUE(Contains(run.out, "  TdtpMemoShape")) << run.out;
    EXPECT_FALSE(Contains(run.out, "load error")) << run.out;
  }
  const std::string streams = test::RunCli("storage list " + Q("samples/sample.fmd")).out;
  EXPECT_TRUE(Contains(streams, "Thumb0002.bmp\t")) << streams;
  EXPECT_TRUE(Contains(test::RunCli("doc info " + Q("samples/sample.fmd")).out,
                       "  TdtpTextShape \"greeting\" left 20 top 24 width 56 height 8 angle 8\n"));
}

TEST_F(CliDocTest, DamagedFilesAndBadRequests) {
  // A missing page is named, the others are still listed.
  test::TCliRun run = test::RunCli("storage pack " + Q("gap.fmd") + " Index.xml=" + Q("Index.xml") +
                                   " Page0001.xml=" + Q("one.xml") + " Page0003.xml=" + Q("two.xml"));
  ASSERT_EQ(run.status, 0) << run.err;
  run = test::RunCli("doc info " + Q("gap.fmd"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.out,
                       "page 2: not in the archive, unreadable: Stream \"Page0002.xml\" not found in the storage\n"
                       "page 3: 60 x 30 mm"))
      << run.out;
  // Copying keeps the archive as it is rather than inventing the missing page.
  run = test::RunCli("doc copy " + Q("gap.fmd") + " " + Q("gap2.fmd"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(Contains(test::RunCli("storage list " + Q("gap2.fmd")).out, "Page0002.xml"));

  Write("empty_index.xml", "");
  run = test::RunCli("storage pack " + Q("noindex.fmd") + " Index.xml=" + Q("empty_index.xml"));
  ASSERT_EQ(run.status, 0) << run.err;
  run = test::RunCli("doc info " + Q("noindex.fmd"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "No index found in archive\n");

  Write("garbage.fmd", "STOR and then nothing sensible");
  run = test::RunCli("doc copy " + Q("garbage.fmd") + " " + Q("out.fmd"));
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(run.err.empty());
  EXPECT_FALSE(fs::exists(Path("out.fmd")));

  run = test::RunCli("doc info " + Q("absent.fmd"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot find file \"" + Path("absent.fmd") + "\"\n");
  run = test::RunCli("doc copy " + Q("hand.fmd") + " " + ShellQuote(Path("no/such/folder/x.fmd")));
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(run.err.empty());

  for (const char* args : {"doc", "doc info", "doc copy one", "doc list x", "doc info a b"}) {
    run = test::RunCli(args);
    EXPECT_EQ(run.status, 1) << args;
    EXPECT_TRUE(Contains(run.err, "doc wants info FILE, copy IN OUT or build OUT INDEX.xml [PAGE.xml...]")) << args << ": " << run.err;
  }
}

}  // namespace
}  // namespace sw
