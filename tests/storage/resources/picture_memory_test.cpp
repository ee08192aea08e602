// What a picture costs in memory: bytes shared between copies until one is written, a decoded
// bitmap let go without losing the picture, and a JPEG's size read without decoding it.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/formats/jpeg_format.h"
#include "storage/formats/png_format.h"
#include "storage/resources/bitmap_resource.h"
#include "storage/resources/map_stream.h"

namespace sw {
namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
  return bytes;
}

std::unique_ptr<TBitmap32> Picture(int32_t width, int32_t height) {
  auto bitmap = std::make_unique<TBitmap32>();
  TBitmap32& picture = *bitmap;
  picture.SetSize(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const auto red = static_cast<uint32_t>((x * 3) & 0xFF), green = static_cast<uint32_t>((y * 5) & 0xFF);
      picture.ScanLine(y)[x] = Color32(red, green, 90);
    }
  }
  return bitmap;
}

std::vector<uint8_t> Encoded(const std::unique_ptr<TBitmap32>& picture, bool jpeg) {
  TMemoryStream out;
  if (jpeg) {
    EncodeJpeg(*picture, out, 90);
  } else {
    EncodePng(*picture, out);
  }
  return std::vector<uint8_t>(out.Memory(), out.Memory() + out.Size());
}

void SetData(TdtpBitmapResource& resource, const std::vector<uint8_t>& bytes, const char* name) {
  resource.Data().SetBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
  resource.SetFileName(name);
}

TEST(SharedBytes, CopiesShareUntilOneIsWritten) {
  TMapStream source;
  const std::vector<uint8_t> bytes = Pattern(3 * static_cast<size_t>(source.BlockSize()) + 100, 1);
  source.SetBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto copy = std::make_unique<TMapStream>();
  copy->CopyBytesFrom(source);
  EXPECT_TRUE(copy->SharesBlocks());
  EXPECT_TRUE(source.SharesBlocks());
  EXPECT_TRUE(copy->SameBytes(source));
  EXPECT_EQ(copy->Position(), 0);

  // A write lands in the writer's own block; the other stream keeps its bytes.
  copy->SetPosition(source.BlockSize() + 5);
  const uint8_t changed[3] = {0xAA, 0xBB, 0xCC};
  copy->WriteBuffer(changed, 3);
  EXPECT_EQ(source.Bytes(), bytes);
  std::vector<uint8_t> expected = bytes;
  std::copy(changed, changed + 3, expected.begin() + source.BlockSize() + 5);
  EXPECT_EQ(copy->Bytes(), expected);
  EXPECT_FALSE(copy->SameBytes(source));

  // Cut and grown again, the copy reads zeros where it grew, the source is untouched.
  copy->SetSize(50);
  copy->SetSize(200);
  const std::vector<uint8_t> grown = copy->Bytes();
  EXPECT_TRUE(std::equal(grown.begin(), grown.begin() + 50, bytes.begin()));
  EXPECT_TRUE(std::all_of(grown.begin() + 50, grown.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(source.Bytes(), bytes);

  // A copy outlives the stream it shares with.
  TMapStream second;
  second.CopyBytesFrom(source);
  source.Clear();
  EXPECT_EQ(second.Bytes(), bytes);
  EXPECT_FALSE(second.SharesBlocks());
  second.CopyBytesFrom(second);
  EXPECT_EQ(second.Bytes(), bytes);

  // Equal bytes in blocks of their own are the same bytes; sizes must agree.
  TMapStream apart;
  apart.SetBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
  EXPECT_TRUE(apart.SameBytes(second));
  apart.SetSize(apart.Size() - 1);
  EXPECT_FALSE(apart.SameBytes(second));
}

TEST(ReleaseBitmap, LetsTheDecodedPictureGoAndKeepsTheBytes) {
  const std::vector<uint8_t> jpeg = Encoded(Picture(64, 48), true);
  TdtpBitmapResource resource;
  SetData(resource, jpeg, "photo.jpg");
  EXPECT_FALSE(resource.ReleaseBitmap());  // nothing decoded yet
  TBitmap32 first;
  first.Assign(*resource.Bitmap());
  ASSERT_TRUE(resource.HasBitmap());
  EXPECT_TRUE(resource.ReleaseBitmap());
  EXPECT_FALSE(resource.HasBitmap());
  EXPECT_EQ(resource.Data().Bytes(), jpeg);
  EXPECT_EQ(resource.State(), TdtpResource::kStateData);
  // Decoded again, it is the same picture.
  const TBitmap32* again = resource.Bitmap();
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(again->Width(), 64);
  EXPECT_TRUE(std::equal(first.Bits(), first.Bits() + 64 * 48, again->Bits()));

  // Someone using the bitmap keeps it.
  resource.BeginAccess();
  EXPECT_FALSE(resource.ReleaseBitmap());
  EXPECT_TRUE(resource.HasBitmap());
  resource.EndAccess();
  EXPECT_TRUE(resource.ReleaseBitmap());
}

TEST(PictureSize, AJpegIsMeasuredWithoutDecoding) {
  TdtpBitmapResource jpeg;
  SetData(jpeg, Encoded(Picture(301, 203), true), "photo.JPG");
  int32_t w = 0, h = 0;
  ASSERT_TRUE(jpeg.PictureSize(w, h));
  EXPECT_EQ(w, 301);
  EXPECT_EQ(h, 203);
  EXPECT_FALSE(jpeg.HasBitmap());
  // With a bitmap held, its size.
  ASSERT_NE(jpeg.Bitmap(), nullptr);
  ASSERT_TRUE(jpeg.PictureSize(w, h));
  EXPECT_EQ(w, 301);

  // Other formats are decoded to learn it.
  TdtpBitmapResource png;
  SetData(png, Encoded(Picture(30, 20), false), "drawing.png");
  ASSERT_TRUE(png.PictureSize(w, h));
  EXPECT_EQ(w, 30);
  EXPECT_EQ(h, 20);
  EXPECT_TRUE(png.HasBitmap());

  // No picture, no size; a damaged header raises as decoding would.
  TdtpBitmapResource empty;
  EXPECT_FALSE(empty.PictureSize(w, h));
  EXPECT_EQ(w, 0);
  TdtpBitmapResource broken;
  SetData(broken, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x00}, "broken.jpg");
  EXPECT_THROW(broken.PictureSize(w, h), Exception);
  EXPECT_FALSE(broken.HasBitmap());
}

TEST(PictureSize, TheHeaderGivesTheScaledSizeTheDecoderGives) {
  const std::vector<uint8_t> jpeg = Encoded(Picture(401, 299), true);
  for (const auto& [maxW, maxH] : {std::pair{0, 0}, {100, 100}, {50, 60}, {401, 299}, {150, 20}}) {
    int32_t w = 0, h = 0;
    JpegDecodedSize(jpeg.data(), jpeg.size(), maxW, maxH, w, h);
    TBitmap32 decoded;
    DecodeJpeg(jpeg.data(), jpeg.size(), decoded, maxW, maxH);
    EXPECT_EQ(w, decoded.Width()) << maxW << " x " << maxH;
    EXPECT_EQ(h, decoded.Height()) << maxW << " x " << maxH;
  }
}

}  // namespace
}  // namespace sw
