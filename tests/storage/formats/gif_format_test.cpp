// GIF format: decoding of a known sample, the screen rules, round trips, the transparency rule,
// quantisation, and damaged files.
#include "storage/formats/gif_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/exception.h"
#include "storage/formats/raster_formats.h"

namespace sw {
namespace {


std::vector<uint8_t> Encode(const TBitmap32& bitmap, uint32_t threshold = 32, TColor32 transparent = 0) {
  TMemoryStream out;
  EncodeGif(bitmap, out, threshold, transparent);
  return out.Bytes();
}

size_t Decode(const std::vector<uint8_t>& bytes, TBitmap32& bitmap) {
  return DecodeGif(bytes.data(), bytes.size(), bitmap);
}

void ExpectRasterError(const std::vector<uint8_t>& bytes, const char* message) {
  TBitmap32 bitmap;
  try {
    Decode(bytes, bitmap);
    ADD_FAILURE() << "no error, expected \"" << message << "\"";
  } catch (const ERasterError& e) {
    EXPECT_EQ(std::string(e.what()), message);
  }
}

// The 10 x 10 four-colour sample that introductions to the format decode by hand.
const std::vector<uint8_t> kSample = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x0A, 0x00, 0x0A, 0x00, 0x91, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
    0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x0A, 0x00, 0x00, 0x02, 0x16, 0x8C, 0x2D, 0x99,
    0x87, 0x2A, 0x1C, 0xDC, 0x33, 0xA0, 0x02, 0x75, 0xEC, 0x95, 0xFA, 0xA8, 0xDE, 0x60, 0x8C, 0x04,
    0x91, 0x4C, 0x01, 0x00, 0x3B};
const char* const kSampleRows[10] = {"1111122222", "1111122222", "1111122222", "1110000222",
                                     "1110000222", "2220000111", "2220000111", "2222211111",
                                     "2222211111", "2222211111"};
const TColor32 kSampleColors[3] = {0xFFFFFFFFu, 0xFFFF0000u, 0xFF0000FFu};

// Offsets into what EncodeGif writes: header and screen (13 bytes), the global table, an
// optional graphic control extension (8 bytes), the image descriptor (10 bytes), the LZW data.
struct TLayout {
  size_t tableSize, gce, descriptor, data;
};
TLayout LayoutOf(const std::vector<uint8_t>& gif) {
  TLayout l{};
  l.tableSize = 3u << ((gif[10] & 7) + 1);
  l.gce = 13 + l.tableSize;
  l.descriptor = gif[l.gce] == 0x21 ? l.gce + 8 : l.gce;
  l.data = l.descriptor + 10;
  return l;
}

void FillPicture(TBitmap32& bitmap, int32_t w, int32_t h, int colors, uint32_t seed) {
  bitmap.Resize(w, h);
  std::mt19937 rng(seed);
  std::vector<TColor32> palette;
  // Multiplying by an odd number is a bijection modulo 2^24, so the colours are distinct.
  for (int i = 0; i < colors; ++i) palette.push_back(0xFF000000u | ((uint32_t(i) * 2654435761u + seed) & 0xFFFFFF));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      bitmap.SetPixel(x, y, palette[(rng() % 4 == 0) ? rng() % colors : size_t(x + y) % colors]);
}

TEST(GifFormat, SignatureTest) {
  EXPECT_TRUE(IsGif(kSample.data(), kSample.size()));
  const uint8_t old[] = {'G', 'I', 'F', '8', '7', 'a'};
  EXPECT_TRUE(IsGif(old, 6));
  EXPECT_FALSE(IsGif(old, 5));
  const uint8_t other[] = {'G', 'I', 'F', '8', '8', 'a'};
  EXPECT_FALSE(IsGif(other, 6));
  EXPECT_FALSE(IsGif(nullptr, 0));
}

TEST(GifFormat, DecodesTheKnownSample) {
  TBitmap32 bitmap;
  EXPECT_EQ(Decode(kSample, bitmap), kSample.size());
  ASSERT_EQ(bitmap.Width(), 10);
  ASSERT_EQ(bitmap.Height(), 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(bitmap.Pixel(x, y), kSampleColors[kSampleRows[y][x] - '0']) << x << "," << y;
}

TEST(GifFormat, ImageIsDrawnOnTheLogicalScreen) {
  // The sample on a 14 x 12 screen at (3, 1), with index 2 (blue) transparent.
  std::vector<uint8_t> gif = kSample;
  gif[6] = 14;
  gif[8] = 12;
  gif[28] = 0x01;  // transparency flag
  gif[31] = 2;     // transparent index
  gif[34] = 3;     // left
  gif[36] = 1;     // top
  TBitmap32 bitmap;
  bitmap.Resize(2, 2);
  bitmap.Clear(0xFF123456u);
  Decode(gif, bitmap);
  ASSERT_EQ(bitmap.Width(), 14);
  ASSERT_EQ(bitmap.Height(), 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 14; ++x) {
      const bool covered = x >= 3 && x < 13 && y >= 1 && y < 11;
      const int idx = covered ? kSampleRows[y - 1][x - 3] - '0' : -1;
      const TColor32 expected = (idx < 0 || idx == 2) ? 0u : kSampleColors[idx];
      EXPECT_EQ(bitmap.Pixel(x, y), expected) << x << "," << y;
    }

  // A screen smaller than the image clips it; a screen of no size takes the image's extent.
  gif[6] = 5;
  Decode(gif, bitmap);
  EXPECT_EQ(bitmap.Width(), 5);
  EXPECT_EQ(bitmap.Pixel(4, 1), kSampleColors[1]);
  gif[6] = 0;
  Decode(gif, bitmap);
  EXPECT_EQ(bitmap.Width(), 13);
  EXPECT_EQ(bitmap.Height(), 12);
}

TEST(GifFormat, ExtensionsTablesAndTrailer) {
  // Comment and application extensions before the image are skipped; GIF87a is read alike.
  std::vector<uint8_t> gif = kSample;
  gif[4] = '7';
  const std::vector<uint8_t> ext = {0x21, 0xFE, 3, 'a', 'b', 'c', 0, 0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C',
                                    'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
  gif.insert(gif.begin() + 25, ext.begin(), ext.end());
  TBitmap32 bitmap;
  EXPECT_EQ(Decode(gif, bitmap), gif.size());
  EXPECT_EQ(bitmap.Pixel(0, 0), kSampleColors[1]);

  // The same colours in a local table instead of the global one.
  std::vector<uint8_t> local(kSample.begin(), kSample.begin() + 13);
  local[10] = 0x00;
  local.insert(local.end(), kSample.begin() + 25, kSample.begin() + 43);
  local.back() = 0x81;  // local table of 4 entries
  local.insert(local.end(), kSample.begin() + 13, kSample.begin() + 25);
  local.insert(local.end(), kSample.begin() + 43, kSample.end());
  EXPECT_EQ(Decode(local, bitmap), local.size());
  EXPECT_EQ(bitmap.Pixel(9, 9), kSampleColors[1]);
  EXPECT_EQ(bitmap.Pixel(4, 4), kSampleColors[0]);

  // Neither table: refused.
  std::vector<uint8_t> none(kSample.begin(), kSample.begin() + 13);
  none[10] = 0x00;
  none.insert(none.end(), kSample.begin() + 25, kSample.end());
  ExpectRasterError(none, "GIF image has no colour table");

  // A second image ends the picture before it; a missing trailer is no error.
  std::vector<uint8_t> two = kSample;
  two.pop_back();
  const size_t firstEnd = two.size();
  two.insert(two.end(), kSample.begin() + 33, kSample.end());
  EXPECT_EQ(Decode(two, bitmap), firstEnd);
  std::vector<uint8_t> noTrailer(kSample.begin(), kSample.end() - 1);
  EXPECT_EQ(Decode(noTrailer, bitmap), noTrailer.size());
}

TEST(GifFormat, TruncatedFilesEndPrematurely) {
  // Every cut before the image's first data bytes is a block left incomplete.
  constexpr size_t kFirstData = 46;
  for (size_t cut = 6; cut < kFirstData; ++cut) {
    SCOPED_TRACE(cut);
    ExpectRasterError(std::vector<uint8_t>(kSample.begin(), kSample.begin() + long(cut)),
                      "Premature end of data");
  }
  // A cut inside the image's data shows the rows it holds and says that the rest is missing.
  TBitmap32 whole;
  Decode(kSample, whole);
  for (size_t cut = kFirstData; cut + 1 < kSample.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::vector<uint8_t> cutShort(kSample.begin(), kSample.begin() + long(cut));
    TBitmap32 bitmap;
    std::string warning;
    EXPECT_EQ(DecodeGif(cutShort.data(), cutShort.size(), bitmap, 0, 0, &warning), cut);
    EXPECT_NE(warning.find("ends inside its image data"), std::string::npos);
    ASSERT_EQ(bitmap.Width(), 10);
    // The first row decodes from the first bytes; pixels not reached stay transparent.
    if (cut >= 52) {
      EXPECT_EQ(bitmap.Pixel(0, 0), whole.Pixel(0, 0));
    }
    EXPECT_TRUE(bitmap.Pixel(9, 9) == whole.Pixel(9, 9) || bitmap.Pixel(9, 9) == 0);
  }
  std::string warning;
  TBitmap32 bitmap;
  DecodeGif(kSample.data(), kSample.size(), bitmap, 0, 0, &warning);
  EXPECT_EQ(warning, "");
  ExpectRasterError({'G', 'I', 'F'}, "Premature end of data");
  ExpectRasterError({'G', 'I', 'F', '8', '9', 'b', 0, 0}, "Invalid GIF signature");
  // A screen descriptor and table but no image at all.
  std::vector<uint8_t> empty(kSample.begin(), kSample.begin() + 25);
  empty.push_back(0x3B);
  ExpectRasterError(empty, "GIF file contains no image");
  empty.back() = 0x99;
  ExpectRasterError(empty, "Invalid GIF block");
}

TEST(GifFormat, BadLzwDataIsRefused) {
  auto withData = [](uint8_t minCodeSize, const std::vector<uint8_t>& lzw) {
    std::vector<uint8_t> gif(kSample.begin(), kSample.begin() + 43);
    gif.push_back(minCodeSize);
    gif.push_back(uint8_t(lzw.size()));
    gif.insert(gif.end(), lzw.begin(), lzw.end());
    gif.push_back(0);
    gif.push_back(0x3B);
    return gif;
  };
  // Clear (4), then code 7, which is not defined yet.
  ExpectRasterError(withData(2, {0x3C}), "Invalid GIF LZW code");
  // Clear, then code 6: the code being defined, but with no previous string.
  ExpectRasterError(withData(2, {0x34}), "Invalid GIF LZW code");
  ExpectRasterError(withData(12, {0x00}), "Invalid GIF LZW code size");
  ExpectRasterError(withData(0, {0x00}), "Invalid GIF LZW code size");
  // Clear, then index 3 with a table of 2 entries.
  std::vector<uint8_t> shortTable = withData(2, {0x1C, 0x05});
  shortTable[10] = 0x80;
  shortTable.erase(shortTable.begin() + 19, shortTable.begin() + 25);
  ExpectRasterError(shortTable, "GIF colour index beyond the colour table");
  // Random garbage never crashes or hangs and mostly gives an error.
  std::mt19937 rng(5);
  int errors = 0;
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> lzw(1 + rng() % 200);
    for (auto& b : lzw) b = uint8_t(rng());
    TBitmap32 bitmap;
    try {
      Decode(withData(uint8_t(2 + rng() % 7), lzw), bitmap);
    } catch (const ERasterError&) {
      ++errors;
    }
  }
  EXPECT_GT(errors, 150);
  // Data that ends early leaves the rest of the image uncovered.
  TBitmap32 bitmap;
  Decode(withData(2, {0x0C}), bitmap);  // clear, index 1, then the data runs out
  EXPECT_EQ(bitmap.Pixel(0, 0), kSampleColors[1]);
  EXPECT_EQ(bitmap.Pixel(1, 0), 0u);
}

TEST(GifFormat, RoundTripIsExactUpTo256Colors) {
  for (int colors : {1, 2, 3, 16, 17, 200, 256}) {
    SCOPED_TRACE(colors);
    TBitmap32 source, back;
    // Large enough for the LZW table to fill and be cleared several times.
    FillPicture(source, 301, 97, colors, uint32_t(colors));
    const std::vector<uint8_t> gif = Encode(source);
    EXPECT_EQ(Decode(gif, back), gif.size());
    ASSERT_EQ(back.Width(), 301);
    ASSERT_EQ(back.Height(), 97);
    EXPECT_EQ(std::memcmp(back.Bits(), source.Bits(), size_t(301) * 97 * 4), 0);
    EXPECT_EQ(gif[LayoutOf(gif).gce], 0x2C) << "no control extension without transparency";
  }
  // Opaque alpha below 255 is written as opaque.
  TBitmap32 source, back;
  source.Resize(3, 1);
  source.Clear(0x80336699u);
  Decode(Encode(source), back);
  EXPECT_EQ(back.Pixel(2, 0), 0xFF336699u);
  EXPECT_THROW(Encode(TBitmap32()), ERasterError);
  source.Resize(65536, 1);
  EXPECT_THROW(Encode(source), ERasterError);
}

TEST(GifFormat, ExactlyPixelsBelowTheThresholdBecomeTransparent) {
  // 255 opaque colours plus transparency still fit exactly: one index is kept for transparency.
  TBitmap32 source, back;
  FillPicture(source, 120, 90, 255, 3);
  std::mt19937 rng(9);
  for (int32_t y = 0; y < 90; ++y)
    for (int32_t x = 0; x < 120; ++x) {
      const uint32_t alpha = rng() % 3 == 0 ? rng() % 64 : 255;
      source.SetPixel(x, y, (source.Pixel(x, y) & 0xFFFFFF) | (alpha << 24));
    }
  const std::vector<uint8_t> gif = Encode(source, 32, 0xFF00FF);
  const TLayout layout = LayoutOf(gif);
  ASSERT_EQ(gif[layout.gce + 1], 0xF9);
  const uint32_t index = gif[layout.gce + 6];
  EXPECT_EQ(index, 255u);  // the first index no pixel uses
  EXPECT_EQ(gif[13 + 3 * index], 0xFF);
  EXPECT_EQ(gif[13 + 3 * index + 1], 0x00);
  EXPECT_EQ(gif[13 + 3 * index + 2], 0xFF);
  Decode(gif, back);
  for (int32_t y = 0; y < 90; ++y)
    for (int32_t x = 0; x < 120; ++x) {
      const TColor32 c = source.Pixel(x, y);
      const TColor32 expected = (c >> 24) < 32 ? 0u : (c | 0xFF000000u);
      ASSERT_EQ(back.Pixel(x, y), expected) << x << "," << y;
    }
  // The threshold is the caller's.
  Decode(Encode(source, 200), back);
  for (int32_t x = 0; x < 120; ++x) EXPECT_EQ(back.Pixel(x, 0) == 0, (source.Pixel(x, 0) >> 24) < 200);
}

TEST(GifFormat, ManyColorsAreQuantisedAndDithered) {
  // A smooth gradient with far more than 256 colours and a transparent band.
  TBitmap32 source, back;
  source.Resize(256, 128);
  for (int32_t y = 0; y < 128; ++y)
    for (int32_t x = 0; x < 256; ++x) {
      const uint32_t a = (y >= 60 && y < 64) ? 10 : 255;
      source.SetPixel(x, y, (a << 24) | (uint32_t(x) << 16) | (uint32_t(y * 2) << 8) | uint32_t((x + y) / 2));
    }
  const std::vector<uint8_t> gif = Encode(source);
  Decode(gif, back);
  std::set<TColor32> used;
  double error[3] = {0, 0, 0}, blockError = 0;
  for (int32_t y = 0; y < 128; ++y)
    for (int32_t x = 0; x < 256; ++x) {
      const TColor32 s = source.Pixel(x, y), d = back.Pixel(x, y);
      if ((s >> 24) < 32) {
        ASSERT_EQ(d, 0u);
        continue;
      }
      ASSERT_EQ(d >> 24, 255u);
      used.insert(d);
      for (int k = 0; k < 3; ++k) error[k] += double(int((d >> (8 * k)) & 255) - int((s >> (8 * k)) & 255));
    }
  EXPECT_LE(used.size(), 255u);
  EXPECT_GT(used.size(), 100u);
  // Dithering keeps the mean colour of each 8 x 8 block close to the original (away from the
  // border, where the palette cannot reach the extreme colours, and the transparent band).
  for (int32_t by = 8; by < 120; by += 8)
    for (int32_t bx = 8; bx < 248; bx += 8) {
      if (by == 56) continue;
      double sum = 0;
      for (int32_t y = by; y < by + 8; ++y)
        for (int32_t x = bx; x < bx + 8; ++x)
          sum += double(int((back.Pixel(x, y) >> 16) & 255) - int((source.Pixel(x, y) >> 16) & 255));
      blockError = std::max(blockError, std::fabs(sum / 64));
    }
  EXPECT_LT(blockError, 3.0);
  for (double e : error) EXPECT_LT(std::fabs(e / (256.0 * 124)), 1.0);
}

TEST(GifFormat, InterlacedRowsGoToTheirPlace) {
  // Write a picture whose rows are stored in interlaced order, then mark it interlaced.
  TBitmap32 source, stored, back;
  FillPicture(source, 9, 13, 5, 11);
  stored.Resize(9, 13);
  int k = 0;
  for (int32_t start : {0, 4, 2, 1})
    for (int32_t y = start; y < 13; y += (start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2))
      std::memcpy(stored.ScanLine(k++), source.ScanLine(y), 9 * 4);
  ASSERT_EQ(k, 13);
  std::vector<uint8_t> gif = Encode(stored);
  gif[LayoutOf(gif).descriptor + 9] |= 0x40;
  Decode(gif, back);
  EXPECT_EQ(std::memcmp(back.Bits(), source.Bits(), 9 * 13 * 4), 0);
}


// The crasher: 35 bytes announcing a 65535 x 4096 screen (1 GiB of pixels) over an image of
// the same size whose LZW data holds five codes.
TEST(GifFormat, ScreenIsBoundByTheImageData) {
  const std::vector<uint8_t> crasher =
      ReadFileBytes(STICKWELL_SOURCE_DIR "/tests/storage/formats/crashers/gif_screen_amplification.gif");
  TBitmap32 bitmap;
  EXPECT_EQ(Decode(crasher, bitmap), crasher.size());
  EXPECT_EQ(bitmap.Width(), 65535);
  EXPECT_EQ(bitmap.Height(), 1);

  // A tiny image far out on a huge screen leaves nothing to cut: refused before allocating.
  std::vector<uint8_t> far = kSample;
  far[6] = far[7] = 0xFF;  // screen 65535 x 4096
  far[8] = 0x00, far[9] = 0x10;
  far[34] = 0xF5, far[35] = 0xFF;  // left 65525
  far[36] = 0xF5, far[37] = 0x0F;  // top 4085
  ExpectRasterError(far, "GIF screen of 65535 x 4095 pixels is larger than its data allows");

  // A screen with margins the data can justify keeps them, however little the image covers.
  std::vector<uint8_t> margins = kSample;
  margins[6] = 0x00, margins[7] = 0x04;  // 1024 x 1024
  margins[8] = 0x00, margins[9] = 0x04;
  Decode(margins, bitmap);
  EXPECT_EQ(bitmap.Width(), 1024);
  EXPECT_EQ(bitmap.Height(), 1024);
  EXPECT_EQ(bitmap.Pixel(0, 0), kSampleColors[1]);
  EXPECT_EQ(bitmap.Pixel(1023, 1023), 0u);
  // Beyond that the screen is cut to the image: its 100 pixels justify no 4000 x 4000 screen.
  margins[6] = 0xA0, margins[7] = 0x0F;
  margins[8] = 0xA0, margins[9] = 0x0F;
  Decode(margins, bitmap);
  EXPECT_EQ(bitmap.Width(), 10);
  EXPECT_EQ(bitmap.Height(), 10);
  EXPECT_EQ(bitmap.Pixel(9, 9), kSampleColors[1]);
}

TEST(GifFormat, MaximumSizeSamplesTheScreenDown) {
  // The sample on a 20 x 20 screen, loaded at most 5 x 10: the aspect is kept, so the surface is
  // 5 x 5 and shows every fourth pixel of every fourth row.
  std::vector<uint8_t> gif = kSample;
  gif[6] = 20;
  gif[8] = 20;
  TBitmap32 full, small;
  Decode(gif, full);
  DecodeGif(gif.data(), gif.size(), small, 5, 10);
  ASSERT_EQ(small.Width(), 5);
  ASSERT_EQ(small.Height(), 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(small.Pixel(x, y), full.Pixel(4 * x, 4 * y)) << x << "," << y;

  // Through the registry the load's maximum size reaches the decoder; within it nothing changes.
  TMemoryStream stream;
  stream.WriteBuffer(gif.data(), int64_t(gif.size()));
  stream.SetPosition(0);
  DecodePicture(stream, ".gif", small, 0, 10, 4);
  EXPECT_EQ(small.Width(), 4);
  EXPECT_EQ(small.Height(), 4);
  stream.SetPosition(0);
  DecodePicture(stream, ".gif", small, 0, 20, 20);
  EXPECT_EQ(small.Width(), 20);
  EXPECT_EQ(std::memcmp(small.Bits(), full.Bits(), 20 * 20 * 4), 0);
}

}  // namespace
}  // namespace sw
