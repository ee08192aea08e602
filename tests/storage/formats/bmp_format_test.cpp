#include "storage/formats/bmp_format.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/exception.h"

namespace sw {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A bitmap file with an info header of headerSize bytes; masks go into the header (52 and
// more) or behind a 40-byte one. palette: B, G, R, 0 per entry.
Bytes Bmp(int32_t w, int32_t h, uint16_t bpp, uint32_t compression, const Bytes& palette,
          const Bytes& pixels, uint32_t headerSize = 40, const std::vector<uint32_t>& masks = {}) {
  Bytes b(14 + headerSize, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 14, headerSize);
  Put32(b, 18, static_cast<uint32_t>(w));
  Put32(b, 22, static_cast<uint32_t>(h));
  Put16(b, 26, 1);
  Put16(b, 28, bpp);
  Put32(b, 30, compression);
  Put32(b, 34, static_cast<uint32_t>(pixels.size()));
  Put32(b, 46, static_cast<uint32_t>(palette.size() / 4));
  for (size_t i = 0; i < masks.size(); ++i) {
    if (headerSize == 40) {
      b.resize(b.size() + 4);
      Put32(b, b.size() - 4, masks[i]);
    } else {
      Put32(b, 54 + 4 * i, masks[i]);
    }
  }
  b.insert(b.end(), palette.begin(), palette.end());
  Put32(b, 10, static_cast<uint32_t>(b.size()));
  b.insert(b.end(), pixels.begin(), pixels.end());
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  return b;
}

// A core-header (12-byte) file; palette of B, G, R triples.
Bytes CoreBmp(uint16_t w, uint16_t h, uint16_t bpp, const Bytes& palette, const Bytes& pixels) {
  Bytes b(26, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 14, 12);
  Put16(b, 18, w);
  Put16(b, 20, h);
  Put16(b, 22, 1);
  Put16(b, 24, bpp);
  b.insert(b.end(), palette.begin(), palette.end());
  Put32(b, 10, static_cast<uint32_t>(b.size()));
  b.insert(b.end(), pixels.begin(), pixels.end());
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  return b;
}

std::unique_ptr<TBitmap32> Decode(const Bytes& file) {
  auto b = std::make_unique<TBitmap32>();
  EXPECT_EQ(DecodeBmp(file.data(), file.size(), *b), file.size());
  return b;
}

std::string DecodeError(const Bytes& file) {
  TBitmap32 b;
  try {
    DecodeBmp(file.data(), file.size(), b);
  } catch (const ERasterError& e) {
    return e.what();
  }
  return "no error";
}

const TColor32 kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kGrey = 0xFF808080u;
const Bytes kPalette{0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 128, 128, 128, 0};  // R G B grey

void ExpectPixels(const TBitmap32& b, int32_t w, int32_t h, const std::vector<TColor32>& topDown) {
  ASSERT_EQ(b.Width(), w);
  ASSERT_EQ(b.Height(), h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      EXPECT_EQ(b.Pixel(x, y), topDown[static_cast<size_t>(y * w + x)]) << x << "," << y;
    }
  }
}
void ExpectPixels(const std::unique_ptr<TBitmap32>& b, int32_t w, int32_t h,
                  const std::vector<TColor32>& topDown) {
  ExpectPixels(*b, w, h, topDown);
}

TEST(BmpDecodeTest, PaletteDepths) {
  // Bottom-up rows, each padded to 4 bytes.
  const Bytes one{0xA0, 0, 0, 0, 0x40, 0, 0, 0};  // bottom row 1 0 1, top row 0 1 0
  ExpectPixels(Decode(Bmp(3, 2, 1, 0, Bytes(kPalette.begin(), kPalette.begin() + 8), one)), 3, 2,
               {kRed, kGreen, kRed, kGreen, kRed, kGreen});
  const Bytes four{0x01, 0x20, 0, 0, 0x32, 0x10, 0, 0};
  ExpectPixels(Decode(Bmp(3, 2, 4, 0, kPalette, four)), 3, 2,
               {kGrey, kBlue, kGreen, kRed, kGreen, kBlue});
  // Top-down (negative height), an index beyond the palette reads as black.
  const Bytes eight{0, 1, 2, 0, 3, 9, 0, 0};
  ExpectPixels(Decode(Bmp(3, -2, 8, 0, kPalette, eight)), 3, 2,
               {kRed, kGreen, kBlue, kGrey, clBlack32, kRed});
  // Core header with three-byte palette entries.
  const Bytes corePalette{0, 0, 255, 0, 255, 0};
  ExpectPixels(Decode(CoreBmp(2, 1, 8, corePalette, {1, 0, 0, 0})), 2, 1, {kGreen, kRed});
}

TEST(BmpDecodeTest, DirectColourDepths) {
  // 24-bit B, G, R with row padding; bottom-up.
  const Bytes rgb{255, 0, 0, 0, 255, 0, 0, 0, /**/ 0, 0, 255, 128, 128, 128, 0, 0};
  ExpectPixels(Decode(Bmp(2, 2, 24, 0, {}, rgb)), 2, 2, {kRed, kGrey, kBlue, kGreen});
  ExpectPixels(Decode(CoreBmp(1, 1, 24, {}, {1, 2, 3, 0})), 1, 1, {0xFF030201u});
  // 16-bit defaults to 5-5-5: 0x7C00 red, 0x03E0 green; 5 bits scale to 0..255.
  const Bytes rgb555{0x00, 0x7C, 0xE0, 0x03, 0x10, 0x00, 0x00, 0x00};
  ExpectPixels(Decode(Bmp(3, 1, 16, 0, {}, rgb555)), 3, 1, {kRed, kGreen, 0xFF000084u});
  // 16-bit 5-6-5 bit fields behind a 40-byte header.
  const Bytes rgb565{0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x20, 0x00};
  ExpectPixels(Decode(Bmp(4, 1, 16, 3, {}, rgb565, 40, {0xF800, 0x07E0, 0x001F})), 4, 1,
               {kRed, kGreen, kBlue, 0xFF000400u});
  // 16-bit with an alpha field (56-byte header): 4-4-4-4.
  const Bytes argb4444{0x0F, 0x8F};
  ExpectPixels(Decode(Bmp(1, 1, 16, 3, {}, argb4444, 56, {0x0F00, 0x00F0, 0x000F, 0xF000})), 1, 1,
               {0x88FF00FFu});
}

TEST(BmpDecodeTest, ThirtyTwoBitAlpha) {
  // Plain 32-bit with all fourth bytes zero: opaque.
  const Bytes noAlpha{1, 2, 3, 0, 4, 5, 6, 0};
  ExpectPixels(Decode(Bmp(2, 1, 32, 0, {}, noAlpha)), 2, 1, {0xFF030201u, 0xFF060504u});
  // Any fourth byte set: they are alpha.
  const Bytes someAlpha{1, 2, 3, 0, 4, 5, 6, 0x80};
  ExpectPixels(Decode(Bmp(2, 1, 32, 0, {}, someAlpha)), 2, 1, {0x00030201u, 0x80060504u});
  // Bit fields naming alpha in 108- and 124-byte headers, and reordered channels in 52.
  const std::vector<uint32_t> argb{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  const Bytes px{1, 2, 3, 0};
  ExpectPixels(Decode(Bmp(1, 1, 32, 3, {}, px, 108, argb)), 1, 1, {0x00030201u});
  ExpectPixels(Decode(Bmp(1, 1, 32, 3, {}, px, 124, argb)), 1, 1, {0x00030201u});
  ExpectPixels(Decode(Bmp(1, 1, 32, 3, {}, px, 52, {0x000000FF, 0x0000FF00, 0x00FF0000})), 1, 1,
               {0xFF010203u});
  ExpectPixels(Decode(Bmp(1, 1, 32, 6, {}, {1, 2, 3, 4}, 40, argb)), 1, 1, {0x04030201u});
}

TEST(BmpDecodeTest, RunLengthEncoded) {
  // RLE8, 4 x 3, bottom-up: row 0 = a run of 3 x index 1, then a move by (0, 1) to row 1,
  // x = 3 for one pixel of index 2 and end of line; row 2 = absolute 0 2 3 (padded); EOB.
  const Bytes rle8{3, 1, 0, 2, 0, 1, 1, 2, 0, 0, /**/ 0, 3, 0, 2, 3, 0, /**/ 0, 1};
  ExpectPixels(Decode(Bmp(4, 3, 8, 1, kPalette, rle8)), 4, 3,
               {kRed, kBlue, kGrey, 0, /**/ 0, 0, 0, kBlue, /**/ kGreen, kGreen, kGreen, 0});
  // RLE4, 5 x 1: a run of 3 alternating nibbles 1 2 1, then absolute 3 0 1 (two bytes), whose
  // last pixel falls beyond the row.
  const Bytes rle4{3, 0x12, 0, 3, 0x30, 0x10, 0, 1};
  ExpectPixels(Decode(Bmp(5, 1, 4, 2, kPalette, rle4)), 5, 1, {kGreen, kBlue, kGreen, kGrey, kRed});
  // Runs past the row end are clipped; data without EOB simply ends.
  const Bytes overlong{9, 3};
  ExpectPixels(Decode(Bmp(2, 1, 8, 1, kPalette, overlong)), 2, 1, {kGrey, kGrey});
}

TEST(BmpEncodeTest, WritesThirtyTwoBitsWithAlphaAndReadsBack) {
  TBitmap32 picture;
  picture.SetSize(5, 3);
  std::mt19937 rng(2);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) picture.SetPixel(x, y, rng());
  }
  TMemoryStream out;
  EncodeBmp(picture, out);
  const Bytes& file = out.Bytes();
  ASSERT_EQ(file.size(), 14u + 108 + 5 * 3 * 4);
  EXPECT_EQ(file[14], 108);
  EXPECT_EQ(file[28], 32);
  EXPECT_EQ(file[30], 3);                               // bit fields
  EXPECT_EQ(file[66], 0);                               // alpha mask 0xFF000000
  EXPECT_EQ(file[69], 0xFF);
  EXPECT_EQ(file[10], 122);
  const auto back = Decode(file);
  ExpectPixels(back, 5, 3, std::vector<TColor32>(picture.Bits(), picture.Bits() + 15));
  TMemoryStream again;
  EncodeBmp(*back, again);
  EXPECT_EQ(again.Bytes(), file);
}

TEST(BmpFormatTest, TransparentFlagAndStreamPosition) {
  RegisterRasterFormats();
  const uint16_t flags = RasterFormatFlags(TdtpBmpFormat::Class());
  EXPECT_EQ(flags, 15);
  const Bytes eight{0, 1, 2, 0, 2, 1, 0, 0};  // bottom-left pixel is index 0 (red)
  Bytes file = Bmp(3, 2, 8, 0, kPalette, eight);
  const size_t size = file.size();
  file.insert(file.end(), {'t', 'a', 'i', 'l'});
  {
    TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
    TBitmap32 b;
    TdtpBmpFormat format;
    format.LoadFromStream(stream, b, 0, 0, 0);
    EXPECT_EQ(stream.Position(), static_cast<int64_t>(size));
    EXPECT_EQ(b.Pixel(0, 1), kRed);
  }
  RegisterRasterFormat(TdtpBmpFormat::Class(), "Windows Bitmap", ".bmp;.dib;", flags | 64);
  TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
  TBitmap32 b;
  TdtpBmpFormat format;
  format.LoadFromStream(stream, b, 0, 0, 0);
  RegisterRasterFormat(TdtpBmpFormat::Class(), "Windows Bitmap", ".bmp;.dib;", flags);
  ExpectPixels(b, 3, 2, {kBlue, kGreen, 0, 0, kGreen, kBlue});
  EXPECT_THROW(format.LoadFromStream(stream, b, 1, 0, 0), ERasterError);
}

TEST(BmpDecodeTest, DamagedFiles) {
  EXPECT_EQ(DecodeError({'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
            "Not a Windows bitmap");
  EXPECT_EQ(DecodeError({'B', 'M'}), "Not a Windows bitmap");
  Bytes good = Bmp(3, 2, 24, 0, {}, Bytes(24, 7));
  EXPECT_EQ(DecodeError(Bytes(good.begin(), good.end() - 13)), "Bitmap data is truncated");
  EXPECT_EQ(DecodeError(Bytes(good.begin(), good.begin() + 30)), "Bitmap data is truncated");
  Bytes header = good;
  Put32(header, 14, 64);
  EXPECT_EQ(DecodeError(header), "Unsupported bitmap header size 64");
  EXPECT_EQ(DecodeError(Bmp(1, 1, 7, 0, {}, Bytes(4))), "Unsupported bitmap bit depth 7");
  EXPECT_EQ(DecodeError(Bmp(1, 1, 24, 1, {}, Bytes(4))), "Unsupported bitmap compression 1");
  EXPECT_EQ(DecodeError(Bmp(1, 1, 24, 4, {}, Bytes(4))), "Unsupported bitmap compression 4");
  EXPECT_EQ(DecodeError(Bmp(-1, 1, 24, 0, {}, Bytes(4))), "Invalid bitmap dimensions");
  // Sizes far beyond the data are refused before allocating.
  EXPECT_NE(DecodeError(Bmp(30000, 30000, 24, 0, {}, Bytes(4))).find("too large"), std::string::npos);
  EXPECT_EQ(DecodeError(Bmp(10000, 10000, 24, 0, {}, Bytes(4))), "Bitmap data is truncated");
  EXPECT_EQ(DecodeError(Bmp(16000, 16000, 8, 1, kPalette, {0, 1})), "Bitmap data is truncated");
  // An empty picture is no error.
  TBitmap32 empty;
  const Bytes none = Bmp(0, 0, 32, 0, {}, {});
  DecodeBmp(none.data(), none.size(), empty);
  EXPECT_TRUE(empty.Empty());
}

}  // namespace
}  // namespace sw
