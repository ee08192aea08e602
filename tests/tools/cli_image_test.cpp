#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "base/stream.h"
#include "storage/formats/bmp_format.h"
#include "storage/formats/jpeg_format.h"
#include "storage/formats/raster_formats.h"
#include "support/cli_runner.h"

namespace sw {
namespace {

using TRun = test::TCliRun;

std::string Temp(const std::string& name) {
  return TempFolder() + "/cli_image_" + std::to_string(::getpid()) + "_" + name;
}

TRun Cli(const std::string& arguments) { return test::RunCli(arguments); }

std::string Quoted(const std::string& path) { return test::ShellQuote(path); }

void WritePicture(const std::string& path, const TBitmap32& b, bool jpeg) {
  TMemoryStream s;
  if (jpeg) {
    EncodeJpeg(b, s, 90);
  } else {
    EncodeBmp(b, s);
  }
  s.SaveToFile(path);
}

void Paint(TBitmap32& b, int32_t w, int32_t h) {
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, Color32(x * 5 & 255, y * 3 & 255, 77, (x + y) & 255));
  }
}

void LoadFile(const std::string& path, TBitmap32& b) {
  TdtpImageFiler filer;
  filer.SetFileName(path);
  filer.MaxWidth = 0;
  filer.MaxHeight = 0;
  filer.LoadPicture(&b);
}

TEST(CliImageTest, InfoPrintsFormatAndSize) {
  TBitmap32 b;
  Paint(b, 5, 3);
  const std::string bmp = Temp("info.bmp");
  WritePicture(bmp, b, false);
  TRun run = Cli("image info " + Quoted(bmp));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "format: Windows Bitmap\nwidth: 5\nheight: 3\n");
  // Content decides, whatever the name says.
  const std::string misnamed = Temp("really_a_jpeg.bmp");
  WritePicture(misnamed, b, true);
  run = Cli("image info " + Quoted(misnamed));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "format: JPEG images\nwidth: 5\nheight: 3\n");
}

TEST(CliImageTest, ConvertKeepsPixelsAndHonoursTheMaximum) {
  TBitmap32 b;
  Paint(b, 17, 9);
  const std::string bmp = Temp("src.bmp"), hck = Temp("OUT.HCK"), png = Temp("out.png");
  WritePicture(bmp, b, false);
  TRun run = Cli("image convert " + Quoted(bmp) + " " + Quoted(hck));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Cli("image info " + Quoted(hck)).out, "format: HCK Image\nwidth: 17\nheight: 9\n");
  TBitmap32 back;
  LoadFile(hck, back);
  ASSERT_EQ(back.Width(), 17);
  for (int32_t y = 0; y < 9; ++y) {
    for (int32_t x = 0; x < 17; ++x) ASSERT_EQ(back.Pixel(x, y), b.Pixel(x, y));
  }
  run = Cli("image convert " + Quoted(hck) + " " + Quoted(png));
  ASSERT_EQ(run.status, 0) << run.err;
  LoadFile(png, back);
  EXPECT_EQ(back.Pixel(16, 8), b.Pixel(16, 8));

  // A 40 x 40 JPEG with at most 10 x 10 decodes at a quarter.
  TBitmap32 photo;
  Paint(photo, 40, 40);
  const std::string jpg = Temp("photo.jpg"), small = Temp("small.bmp");
  WritePicture(jpg, photo, true);
  run = Cli("image convert " + Quoted(jpg) + " " + Quoted(small) + " --max 10x10");
  ASSERT_EQ(run.status, 0) << run.err;
  LoadFile(small, back);
  EXPECT_EQ(back.Width(), 10);
  EXPECT_EQ(back.Height(), 10);
}

TEST(CliImageTest, ErrorsGoToStandardErrorWithStatusOne) {
  TRun run = Cli("image info " + Quoted(Temp("missing.png")));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Cannot open file"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());

  const std::string junk = Temp("junk.dat");
  TMemoryStream(std::vector<uint8_t>(100, 0x5A)).SaveToFile(junk);
  run = Cli("image info " + Quoted(junk));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Unknown raster format \".dat\"\n");

  TBitmap32 b;
  Paint(b, 2, 2);
  const std::string bmp = Temp("e.bmp");
  WritePicture(bmp, b, false);
  run = Cli("image convert " + Quoted(bmp) + " " + Quoted(Temp("e.tiff")));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Cannot save format \".tiff\"\n");
  EXPECT_FALSE(FileExists(Temp("e.tiff")));

  // A damaged HCK file reports the format's message.
  const std::string hck = Temp("bad.hck");
  std::vector<uint8_t> bad{'H', 'C', 'K', 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 8, 8, 8, 8, 0, 2, 0, 0, 1, 2, 3, 4};
  TMemoryStream(bad).SaveToFile(hck);
  run = Cli("image info " + Quoted(hck));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "No suitable codec found\n");

  for (const char* usage : {"image", "image resize a b", "image convert a", "image convert a b --max 0x5",
                            "image convert a b --max 5", "image convert a b --size 5x5"}) {
    run = Cli(usage);
    EXPECT_EQ(run.status, 1) << usage;
    EXPECT_NE(run.err.find("usage"), std::string::npos) << usage;
  }
}

// 35 bytes announcing a 65535 x 4096 screen once made "image info" clear 1 GiB.
TEST(CliImageTest, InfoOfAGifWithAHugeScreenStaysSmall) {
  TRun run = Cli("image info " +
                 Quoted(STICKWELL_SOURCE_DIR "/tests/storage/formats/crashers/gif_screen_amplification.gif"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "format: Compuserve GIF\nwidth: 65535\nheight: 1\n");
}

}  // namespace
}  // namespace sw
