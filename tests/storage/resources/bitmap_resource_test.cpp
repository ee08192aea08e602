#include "storage/resources/bitmap_resource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/formats/bmp_format.h"
#include "storage/formats/compressors.h"
#include "storage/resources/decoded_pictures.h"
#include "storage/resources/resource_thread.h"
#include "storage/xml/native_xml.h"
#include "support/errors.h"

namespace sw {
namespace {

namespace fs = std::filesystem;

// A JPEG made with libjpeg itself, of one colour with a lighter stripe.
std::vector<uint8_t> MakeJpeg(int width, int height) {
  jpeg_compress_struct c{};
  jpeg_error_mgr error{};
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  while (c.next_scanline < c.image_height) {
    const bool stripe = c.next_scanline >= static_cast<JDIMENSION>(height / 2);
    for (int x = 0; x < width; ++x) {
      row[static_cast<size_t>(x) * 3 + 0] = stripe ? 220 : 200;
      row[static_cast<size_t>(x) * 3 + 1] = stripe ? 120 : 40;
      row[static_cast<size_t>(x) * 3 + 2] = stripe ? 60 : 20;
    }
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  jpeg_destroy_compress(&c);
  return bytes;
}

std::unique_ptr<TBitmap32> Pattern(int32_t width, int32_t height) {
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      b->SetPixel(x, y, 0xFF000000u | static_cast<TColor32>(x * 40) << 16 | static_cast<TColor32>(y * 50) << 8 |
                           static_cast<TColor32>((x + y) * 9));
    }
  }
  return b;
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
    }
  }
  return true;
}

using test::ErrorOf;

std::vector<uint8_t> EmbeddedBytes(const TXmlNode& image) {
  const TXmlNode* buffer = image.FindChild("Data") ? image.FindChild("Data")->FindChild("Buffer") : nullptr;
  if (!buffer) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(buffer->BinaryLength()));
  buffer->ReadBinary(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

class BitmapResourceTest : public ::testing::Test {
protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ = TempFolder() + "/sw_bitmap_resource_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
  // Resources run beside the picture cache, as in the program.
  TResourceThreadScope cache_;
};

TEST_F(BitmapResourceTest, LoadedJpegIsEmbeddedByteForByteAndDecodedOnlyWhenAsked) {
  const std::vector<uint8_t> jpeg = MakeJpeg(40, 30);
  TMemoryStream(jpeg).SaveToFile(Path("Photo.JPG"));

  TdtpBitmapResource r;
  r.LoadFromFile(Path("Photo.JPG"));
  EXPECT_EQ(r.DataExtension(), ".jpg");
  EXPECT_FALSE(r.HasBitmap());

  TNativeXml xml("Image");
  xml.SetLayout(TXmlLayout::Readable);  // Base64 in lines, as in the readable settings stream
  r.SaveToXml(*xml.Root());
  const TXmlNode& image = *xml.Root();
  std::vector<std::string> names;
  for (int i = 0; i < image.ChildCount(); ++i) names.push_back(image.Child(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"ClassName", "Data", "FileName", "Storage"}));
  EXPECT_EQ(image.ReadString("ClassName"), "TdtpBitmapResource");
  EXPECT_EQ(image.FindChild("Data")->ReadInteger("Size"), static_cast<int32_t>(jpeg.size()));
  EXPECT_EQ(image.FindChild("Data")->ReadString("Filter"), "Base64");
  EXPECT_EQ(EmbeddedBytes(image), jpeg);
  EXPECT_EQ(image.ReadString("FileName"), Path("Photo.JPG"));
  EXPECT_EQ(image.ReadString("Storage"), "Embedded");
  EXPECT_EQ(image.FindChild("ArchiveName"), nullptr);
  EXPECT_FALSE(r.HasBitmap());  // saving did not decode

  TNativeXml parsed;
  parsed.LoadFromString(xml.SaveToString());
  TdtpBitmapResource back;
  back.LoadFromXml(*parsed.Root());
  EXPECT_EQ(back.Data().Bytes(), jpeg);
  EXPECT_FALSE(back.HasBitmap());
  TBitmap32* b = back.Bitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Width(), 40);
  EXPECT_EQ(b->Height(), 30);
  EXPECT_EQ(back.MemorySize(), 40 * 30 * 4);
  const TColor32 top = b->Pixel(5, 5);
  EXPECT_EQ(top >> 24, 0xFFu);
  EXPECT_NEAR(static_cast<int>((top >> 16) & 0xFF), 200, 6);
  EXPECT_NEAR(static_cast<int>((top >> 8) & 0xFF), 40, 6);

  // Decoding did not touch the bytes: saving again embeds the same JPEG.
  TNativeXml again("Image");
  back.SaveToXml(*again.Root());
  EXPECT_EQ(EmbeddedBytes(*again.Root()), jpeg);

  // An embedded picture unloaded keeps its bytes and decodes again on the next read.
  back.Unload();
  EXPECT_FALSE(back.HasBitmap());
  EXPECT_EQ(back.Data().Bytes(), jpeg);
  ASSERT_NE(back.Bitmap(), nullptr);
  EXPECT_EQ(back.Bitmap()->Width(), 40);
}

TEST_F(BitmapResourceTest, PictureMadeInMemoryIsKeptAsHck) {
  const auto picture = Pattern(9, 7);
  TdtpBitmapResource r;
  int changes = 0;
  r.OnPictureChanged = [&](TdtpResource*) { ++changes; };
  r.SetBitmap(picture.get());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(r.FileName(), ".hck");
  // The change is encoded at once (picture-changed stores the data).
  ASSERT_GE(r.Data().Size(), 24);
  const std::vector<uint8_t> hck = r.Data().Bytes();
  EXPECT_EQ(std::string(hck.begin(), hck.begin() + 4), std::string("HCK\0", 4));

  TNativeXml xml("Image");
  r.SaveToXml(*xml.Root());
  EXPECT_EQ(EmbeddedBytes(*xml.Root()), hck);
  EXPECT_EQ(xml.Root()->ReadString("FileName"), ".hck");
  TdtpBitmapResource back;
  back.LoadFromXml(*xml.Root());
  ASSERT_NE(back.Bitmap(), nullptr);
  EXPECT_TRUE(SamePixels(*back.Bitmap(), *picture));

  // A changed JPEG picture is encoded as JPEG again; its name stays.
  TMemoryStream(MakeJpeg(8, 8)).SaveToFile(Path("p.jpg"));
  TdtpBitmapResource j;
  j.LoadFromFile(Path("p.jpg"));
  j.SetBitmap(picture.get());
  EXPECT_EQ(j.FileName(), Path("p.jpg"));
  const std::vector<uint8_t> reencoded = j.Data().Bytes();
  ASSERT_GE(reencoded.size(), 2u);
  EXPECT_EQ(reencoded[0], 0xFF);
  EXPECT_EQ(reencoded[1], 0xD8);

  // An extension without a writable format would lose the picture: it becomes HCK instead.
  TdtpBitmapResource odd;
  odd.SetFileName("/pictures/scan.xyz");
  odd.SetBitmap(picture.get());
  EXPECT_EQ(odd.FileName(), "/pictures/scan.hck");
  odd.Unload();
  ASSERT_NE(odd.Bitmap(), nullptr);
  EXPECT_TRUE(SamePixels(*odd.Bitmap(), *picture));

  // No value clears the resource.
  r.SetBitmap(nullptr);
  EXPECT_EQ(r.State(), 0);
  EXPECT_EQ(r.Bitmap(), nullptr);
}

TEST_F(BitmapResourceTest, AdoptAndChangeInPlace) {
  TdtpBitmapResource r;
  int changes = 0;
  r.OnPictureChanged = [&](TdtpResource*) { ++changes; };
  auto owned = Pattern(4, 4);
  TBitmap32* raw = owned.get();
  r.SetFileName("/p/a.hck");
  r.AdoptBitmap(std::move(owned));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(r.Bitmap(), raw);
  r.AdoptBitmap(std::unique_ptr<TBitmap32>(raw));  // the one it holds: nothing happens
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(r.Bitmap(), raw);

  const std::vector<uint8_t> before = r.Data().Bytes();
  {
    TResourceAccess access(r);
    r.Bitmap()->SetPixel(0, 0, 0xFF00FF00u);
  }
  r.BitmapChanged();
  EXPECT_EQ(changes, 2);
  EXPECT_NE(r.Data().Bytes(), before);
  r.Unload();
  ASSERT_NE(r.Bitmap(), nullptr);
  EXPECT_EQ(r.Bitmap()->Pixel(0, 0), 0xFF00FF00u);

  // Adopting no bitmap removes the picture.
  r.AdoptBitmap(nullptr);
  EXPECT_EQ(r.Data().Size(), 0);
  EXPECT_EQ(r.Bitmap(), nullptr);
}

// Resources whose container has a pool decode bytes they share once, and hold one bitmap between
// them; bytes nobody shares are not kept.
TEST_F(BitmapResourceTest, SharedBytesAreDecodedOnceThroughTheContainersPool) {
  struct TPooled : IResourceContainer {
    TsdStorage* ResourceStorage() override { return nullptr; }
    std::string ResourceFolder() override { return {}; }
    TDecodedPictures* DecodedPictures() override { return &Pool; }
    TDecodedPictures Pool;
  } container;
  TMemoryStream(MakeJpeg(40, 30)).SaveToFile(Path("a.jpg"));
  TMemoryStream(MakeJpeg(30, 20)).SaveToFile(Path("b.jpg"));
  TdtpBitmapResource first, second, alone;
  first.LoadFromFile(Path("a.jpg"));
  second.SetFileName(first.FileName());
  second.Data().CopyBytesFrom(first.Data());
  alone.LoadFromFile(Path("b.jpg"));
  for (TdtpBitmapResource* r : {&first, &second, &alone}) r->SetContainer(&container);

  ASSERT_NE(first.Bitmap(), nullptr);
  EXPECT_EQ(second.Bitmap(), first.Bitmap());
  EXPECT_EQ(alone.Bitmap()->Width(), 30);
  EXPECT_EQ(container.Pool.Count(), 1);
  // Needed smaller, the shared bytes are decoded again for that need.
  second.SetDecodeNeed(10);
  EXPECT_TRUE(second.ReleaseBitmap());
  ASSERT_NE(second.Bitmap(), nullptr);
  EXPECT_LT(second.Bitmap()->Width(), 40);
  EXPECT_EQ(first.Bitmap()->Width(), 40);
  EXPECT_EQ(container.Pool.Count(), 2);
}

TEST_F(BitmapResourceTest, UndecodableDataRaisesAndIsKept) {
  TdtpBitmapResource r;
  r.SetFileName("/p/broken.jpg");
  const std::vector<uint8_t> junk = {0xFF, 0xD8, 0xFF, 0x00, 1, 2, 3};
  r.Data().SetBytes(junk.data(), static_cast<int64_t>(junk.size()));
  EXPECT_THROW(r.Bitmap(), Exception);
  EXPECT_FALSE(r.HasBitmap());
  EXPECT_EQ(r.Data().Bytes(), junk);
  EXPECT_EQ(r.AccessCount(), 0);

  // A file that is no picture cannot be loaded.
  TMemoryStream(std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}).SaveToFile(Path("notes.txt"));
  TdtpBitmapResource t;
  EXPECT_THROW(t.LoadFromFile(Path("notes.txt")), Exception);
  EXPECT_EQ(t.AccessCount(), 0);
}

TEST_F(BitmapResourceTest, PictureFileOfAnUnlistedExtensionIsConvertedToHck) {
  const auto picture = Pattern(6, 5);
  TMemoryStream bmp;
  EncodeBmp(*picture, bmp);
  bmp.SaveToFile(Path("scan.dat"));
  TdtpBitmapResource r;
  r.LoadFromFile(Path("scan.dat"));
  EXPECT_EQ(r.FileName(), Path("scan.hck"));
  const std::vector<uint8_t> bytes = r.Data().Bytes();
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "HCK");
  ASSERT_NE(r.Bitmap(), nullptr);
  EXPECT_TRUE(SamePixels(*r.Bitmap(), *picture));
}

// ---- the older packed form ----

struct TPacked {
  std::vector<uint8_t> block;  // the composite block without its two length words
  int32_t sourceSize = 0;
};

// The packed form of a picture as the old writer made it: bitmap file bytes split into four
// planes, then packed.
TPacked PackPicture(const TBitmap32& picture) {
  TMemoryStream bmp;
  EncodeBmp(picture, bmp);
  const std::vector<uint8_t>& file = bmp.Bytes();
  const size_t n = file.size();
  const size_t s = n / 4;
  std::vector<uint8_t> planar(file);
  for (size_t i = 0; i < 4; ++i) {
    for (size_t j = 0; j < s; ++j) planar[i * s + j] = file[j * 4 + i];
  }
  const std::vector<uint8_t> packed = PackBuffer(planar.data(), n);
  TPacked out;
  out.block.assign(packed.begin() + 8, packed.end());
  out.sourceSize = static_cast<int32_t>(n);
  return out;
}

void PutPacked(TXmlNode& parent, const std::vector<uint8_t>& block, int64_t compressedSize,
               int64_t sourceSize) {
  TXmlNode* element = parent.NewChild("BackgroundImage");
  element->WriteInteger("CompressedSize", compressedSize);
  element->WriteInteger("SourceSize", sourceSize);
  element->NewChild("Buffer")->WriteBinary(block.data(), static_cast<int64_t>(block.size()));
}

TEST(ReadXmlBitmap, DecodesThePackedPlanes) {
  // An odd byte count leaves a tail behind the four planes.
  const auto picture = Pattern(7, 5);
  const TPacked packed = PackPicture(*picture);
  ASSERT_NE(packed.sourceSize % 4, 0);
  TNativeXml xml("Page");
  PutPacked(*xml.Root(), packed.block, static_cast<int64_t>(packed.block.size()), packed.sourceSize);
  TBitmap32 out;
  ReadXmlBitmap(xml.Root(), "BackgroundImage", out);
  EXPECT_TRUE(SamePixels(out, *picture));
}

TEST(ReadXmlBitmap, NothingHappensWithoutAPicture) {
  TBitmap32 keep;
  keep.Assign(*Pattern(2, 2));
  TNativeXml xml("Page");
  ReadXmlBitmap(nullptr, "BackgroundImage", keep);
  ReadXmlBitmap(xml.Root(), "", keep);
  ReadXmlBitmap(xml.Root(), "BackgroundImage", keep);
  TXmlNode* element = xml.Root()->NewChild("BackgroundImage");
  element->WriteInteger("CompressedSize", 10);
  element->WriteInteger("SourceSize", 40);  // no "Buffer"
  ReadXmlBitmap(xml.Root(), "BackgroundImage", keep);
  TNativeXml zero("Page");
  PutPacked(*zero.Root(), {1, 2, 3}, 3, 0);
  ReadXmlBitmap(zero.Root(), "BackgroundImage", keep);
  EXPECT_TRUE(SamePixels(keep, *Pattern(2, 2)));
}

TEST(ReadXmlBitmap, LengthsThatDoNotFitAreRefused) {
  const auto picture = Pattern(5, 4);
  const TPacked p = PackPicture(*picture);
  const int64_t m = static_cast<int64_t>(p.block.size());
  const int64_t n = p.sourceSize;
  struct TCase {
    int64_t compressed, source;
    const char* message;
  };
  const TCase cases[] = {
      {m, -n, "Image file is corrupted"},
      {-m, n, "Image file is corrupted"},
      {m, int64_t(1) << 30, "Image file is corrupted"},
      {m + 1, n, "Missing data in binary stream"},
      {m, n + 4, "Unable to decompress"},
      {m, n - 4, "Unable to decompress"},
  };
  for (const TCase& c : cases) {
    TNativeXml xml("Page");
    PutPacked(*xml.Root(), p.block, c.compressed, c.source);
    TBitmap32 keep;
    keep.Assign(*Pattern(2, 2));
    EXPECT_EQ(ErrorOf([&] { ReadXmlBitmap(xml.Root(), "BackgroundImage", keep); }), c.message)
        << c.compressed << " " << c.source;
    EXPECT_TRUE(SamePixels(keep, *Pattern(2, 2)));
  }
  // Every single damaged byte gives an error or some picture, never anything worse.
  for (size_t i = 0; i < p.block.size(); ++i) {
    std::vector<uint8_t> damaged = p.block;
    damaged[i] ^= 0x5A;
    TNativeXml xml("Page");
    PutPacked(*xml.Root(), damaged, m, n);
    TBitmap32 out;
    try {
      ReadXmlBitmap(xml.Root(), "BackgroundImage", out);
    } catch (const Exception&) {
    }
  }
}

}  // namespace
}  // namespace sw
