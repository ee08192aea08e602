#include "storage/formats/hck_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/exception.h"
#include "storage/formats/compressors.h"

namespace sw {
namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes Header(uint32_t w, uint32_t h, uint32_t pages, std::initializer_list<uint8_t> bits,
             uint8_t method) {
  Bytes b{'H', 'C', 'K', 0};
  Put32(b, w);
  Put32(b, h);
  Put32(b, pages);
  b.insert(b.end(), bits);
  b.push_back(method);
  b.push_back(0);
  b.push_back(0);
  return b;
}

void Append(Bytes& b, const Bytes& tail) { b.insert(b.end(), tail.begin(), tail.end()); }

Bytes Packed(Bytes data) { return PackBuffer(data.data(), data.size()); }

void Load(const Bytes& file, TBitmap32& bitmap, int page = 0, int maxW = 4000, int maxH = 4000) {
  TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
  THckImage hck;
  hck.LoadFromStream(stream, bitmap, page, maxW, maxH);
}

std::string LoadError(const Bytes& file, int page = 0) {
  TBitmap32 bitmap;
  try {
    Load(file, bitmap, page);
  } catch (const ERasterError& e) {
    return e.what();
  }
  return "no error";
}

void FillRandom(TBitmap32& bitmap, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    for (int32_t x = 0; x < bitmap.Width(); ++x) bitmap.SetPixel(x, y, rng());
  }
}

TEST(HckFormatTest, WritesPackedPlanesAndReadsThemBackExactly) {
  TBitmap32 picture;
  picture.SetSize(37, 23);
  FillRandom(picture, 4);
  TMemoryStream out;
  THckImage writer;
  writer.SaveToStream(out, picture);
  const Bytes& file = out.Bytes();
  ASSERT_GE(file.size(), 32u);
  const Bytes header(file.begin(), file.begin() + 24);
  EXPECT_EQ(header, Header(37, 23, 1, {8, 8, 8, 8, 0}, 1));
  EXPECT_EQ(PackedLength(file.data() + 24, file.size() - 24), 37u * 23u * 4u);
  EXPECT_EQ(writer.ByteCount(), static_cast<int64_t>(file.size()));

  TBitmap32 back;
  Load(file, back);
  ASSERT_EQ(back.Width(), 37);
  ASSERT_EQ(back.Height(), 23);
  for (int32_t y = 0; y < 23; ++y) {
    for (int32_t x = 0; x < 37; ++x) ASSERT_EQ(back.Pixel(x, y), picture.Pixel(x, y)) << x << "," << y;
  }
  TMemoryStream again;
  THckImage().SaveToStream(again, back);
  EXPECT_EQ(again.Bytes(), file);
}

TEST(HckFormatTest, PlanesToPixels) {
  // 2 x 2: 1-bit alpha (1 0 1 1), 8-bit red, 1-bit grey (0 1 1 0), stored; 3 bytes per pixel
  // are reserved, more than the planes use.
  Bytes file = Header(2, 2, 1, {1, 8, 0, 0, 1}, 0);
  Bytes data{0xB0, 10, 20, 30, 40, 0x60};
  data.resize(2 * 2 * 2, 0);
  Append(file, data);
  TBitmap32 b;
  Load(file, b);
  EXPECT_EQ(b.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(b.Pixel(1, 0), 0x00FFFFFFu);
  EXPECT_EQ(b.Pixel(0, 1), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(1, 1), 0xFF000000u);

  // No alpha plane: opaque; green and blue planes only.
  Bytes opaque = Header(1, 2, 1, {0, 0, 8, 8, 0}, 0);
  Append(opaque, {1, 2, 3, 4});
  Load(opaque, b);
  EXPECT_EQ(b.Pixel(0, 0), 0xFF000103u);
  EXPECT_EQ(b.Pixel(0, 1), 0xFF000204u);

  // 8-bit alpha and grey.
  Bytes grey = Header(1, 1, 1, {8, 0, 0, 0, 8}, 0);
  Append(grey, {0x80, 0x33});
  Load(grey, b);
  EXPECT_EQ(b.Pixel(0, 0), 0x80333333u);
}

TEST(HckFormatTest, ReducesLargePicturesToTheMaximumSize) {
  // 8000 x 2000 in 2 x 2 blocks of one colour each: the half-size reduction gives each block.
  const int32_t w = 8000, h = 2000;
  Bytes planes(static_cast<size_t>(w) * h * 4);
  const size_t n = static_cast<size_t>(w) * h;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * w + x;
      planes[i] = 255;
      planes[n + i] = static_cast<uint8_t>(x / 2);
      planes[2 * n + i] = static_cast<uint8_t>(y / 2);
      planes[3 * n + i] = static_cast<uint8_t>((x / 2 + y / 2) & 1 ? 200 : 0);
    }
  }
  Bytes file = Header(w, h, 1, {8, 8, 8, 8, 0}, 1);
  Append(file, Packed(std::move(planes)));
  TBitmap32 b;
  Load(file, b);
  ASSERT_EQ(b.Width(), 4000);
  ASSERT_EQ(b.Height(), 1000);
  for (int32_t y : {0, 1, 517, 999}) {
    for (int32_t x : {0, 1, 255, 256, 3999}) {
      EXPECT_EQ(b.Pixel(x, y), Color32(x & 255, y & 255, (x + y) & 1 ? 200 : 0)) << x << "," << y;
    }
  }
  EXPECT_EQ(HckReducedSize(3000, 3000, 4000, 4000), (TPoint{3000, 3000}));
  EXPECT_EQ(HckReducedSize(8000, 2000, 4000, 4000), (TPoint{4000, 1000}));
  EXPECT_EQ(HckReducedSize(8000, 2000, 0, 0), (TPoint{8000, 2000}));
  EXPECT_EQ(HckReducedSize(100000, 2, 4000, 4000), (TPoint{4000, 1}));  // never 0 rows
}

TEST(HckFormatTest, ReductionDistributesColumnsAndTruncatesMeans) {
  // 10 x 3 to 4 x 1: columns 2, 3, 2, 3 (the accumulator gives the extra at its second and
  // fourth step), all three rows in one block.
  const uint8_t reds[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  Bytes planes;
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 10; ++x) planes.push_back(static_cast<uint8_t>(reds[x] * 10 + row));
  }
  Bytes file = Header(10, 3, 1, {0, 8, 0, 0, 0}, 0);
  Append(file, planes);
  TBitmap32 b;
  Load(file, b, 0, 4, 100);
  ASSERT_EQ(b.Width(), 4);
  ASSERT_EQ(b.Height(), 1);
  // Block sums of 10 * x + row: columns {0,1}, {2,3,4}, {5,6}, {7,8,9}.
  EXPECT_EQ(RedOf(b.Pixel(0, 0)), (0 + 10 + 1 + 11 + 2 + 12) / 6u);
  EXPECT_EQ(RedOf(b.Pixel(1, 0)), (3 * (20 + 30 + 40) + 3 * 3) / 9u);
  EXPECT_EQ(RedOf(b.Pixel(2, 0)), (3 * (50 + 60) + 2 * 3) / 6u);
  EXPECT_EQ(RedOf(b.Pixel(3, 0)), (3 * (70 + 80 + 90) + 3 * 3) / 9u);
  EXPECT_EQ(AlphaOf(b.Pixel(3, 0)), 255u);
}

TEST(HckFormatTest, MultiPageFiles) {
  Bytes file = Header(1, 1, 3, {0, 0, 0, 0, 8}, 0);
  for (uint8_t v : {10, 20, 30}) {
    Put32(file, 1);
    file.push_back(v);
  }
  TBitmap32 b;
  for (int page = 0; page < 3; ++page) {
    Load(file, b, page);
    EXPECT_EQ(b.Pixel(0, 0), Color32(10u * (page + 1), 10u * (page + 1), 10u * (page + 1)));
  }
  EXPECT_EQ(LoadError(file, 3), "Requested non-existing page");
  TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
  THckImage hck;
  hck.LoadFromStream(stream, b, 1, 0, 0);
  EXPECT_EQ(hck.PageCount(), 3);
  EXPECT_EQ(stream.Position(), 24 + 5 + 5);

  Bytes badLength = Header(1, 1, 2, {0, 0, 0, 0, 8}, 0);
  Put32(badLength, 1000);
  badLength.push_back(1);
  EXPECT_EQ(LoadError(badLength, 1), "Image file is corrupted");
}

TEST(HckFormatTest, ErrorMessages) {
  Bytes single = Header(1, 1, 1, {8, 8, 8, 8, 0}, 0);
  Append(single, {1, 2, 3, 4});
  EXPECT_EQ(LoadError(single), "no error");
  EXPECT_EQ(LoadError(single, 1), "Requested non-existing page");

  Bytes method2 = Header(1, 1, 1, {8, 8, 8, 8, 0}, 2);
  Append(method2, {1, 2, 3, 4});
  EXPECT_EQ(LoadError(method2), "No suitable codec found");

  Bytes depth = Header(1, 1, 1, {8, 4, 8, 8, 0}, 0);
  Append(depth, {1, 2, 3, 4});
  EXPECT_EQ(LoadError(depth), "Unsupported bitdepth");
  Bytes greyDepth = Header(1, 1, 1, {0, 0, 0, 0, 2}, 0);
  Append(greyDepth, {1});
  EXPECT_EQ(LoadError(greyDepth), "Unsupported bitdepth");

  Bytes shortStored = Header(2, 2, 1, {8, 8, 8, 8, 0}, 0);
  Append(shortStored, {1, 2, 3});
  EXPECT_EQ(LoadError(shortStored), "Image file is corrupted");
  // Two 1-bit planes of one pixel need two bytes; one byte per pixel is what the size gives.
  Bytes planesTooLong = Header(1, 1, 1, {1, 0, 0, 0, 1}, 0);
  Append(planesTooLong, {0xFF});
  EXPECT_EQ(LoadError(planesTooLong), "Image file is corrupted");

  Bytes wrongLength = Header(2, 1, 1, {8, 8, 8, 8, 0}, 1);
  Append(wrongLength, Packed(Bytes(12, 5)));  // 12 bytes where 8 are expected
  EXPECT_EQ(LoadError(wrongLength), "Image file is corrupted");

  Bytes damaged = Header(4, 4, 1, {8, 8, 8, 8, 0}, 1);
  Bytes packed = Packed(Bytes(64, 9));
  packed.resize(packed.size() - 3);
  packed[4] = static_cast<uint8_t>(packed.size() - 8);
  Append(damaged, packed);
  EXPECT_EQ(LoadError(damaged), "Unable to decompress");
  Bytes lengthsOnly = Header(4, 4, 1, {8, 8, 8, 8, 0}, 1);
  Put32(lengthsOnly, 64);
  EXPECT_EQ(LoadError(lengthsOnly), "Unable to decompress");

  // Sizes stated far beyond the data are refused before anything is allocated.
  Bytes huge = Header(20000, 20000, 1, {8, 8, 8, 8, 0}, 0);
  EXPECT_EQ(LoadError(huge).find("too large") != std::string::npos, true);
  Bytes big = Header(16000, 16000, 1, {8, 8, 8, 8, 0}, 1);
  Put32(big, 16000u * 16000u * 4u);
  Put32(big, 40);
  Append(big, Bytes(40, 0));
  EXPECT_EQ(LoadError(big), "Unable to decompress");
  EXPECT_EQ(LoadError(Bytes{'H', 'C', 'K', 0, 1}), "Image file is corrupted");
  EXPECT_EQ(LoadError(Bytes(24, 'x')), "Image file is corrupted");

  // Without pixels nothing is read and the bitmap is left alone.
  TBitmap32 kept;
  kept.SetSize(3, 3);
  Load(Header(0, 5, 1, {8, 8, 8, 8, 0}, 2), kept);
  EXPECT_EQ(kept.Width(), 3);
}

TEST(HckFormatTest, ContentTest) {
  const Bytes file = Header(1, 1, 1, {8, 8, 8, 8, 0}, 0);
  TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
  stream.SetPosition(0);
  EXPECT_TRUE(THckImage::Class()->CanLoad(&stream));
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_FALSE(THckImage::Class()->CanLoad(nullptr));
  const Bytes shortFile(file.begin(), file.begin() + 23);
  TReadOnlyMemoryStream shortStream(shortFile.data(), 23);
  EXPECT_FALSE(THckImage::Class()->CanLoad(&shortStream));
  Bytes other = file;
  other[3] = 'X';
  TReadOnlyMemoryStream otherStream(other.data(), 24);
  EXPECT_FALSE(THckImage::Class()->CanLoad(&otherStream));
}

}  // namespace
}  // namespace sw
