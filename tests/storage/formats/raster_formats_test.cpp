#include "storage/formats/raster_formats.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "storage/formats/bmp_format.h"
#include "storage/formats/gif_format.h"
#include "storage/formats/hck_format.h"
#include "storage/formats/jpeg_format.h"
#include "storage/formats/png_format.h"
#include "support/errors.h"

namespace sw {
namespace {

using Bytes = std::vector<uint8_t>;

std::string TempPath(const std::string& name) { return TempFolder() + "/rasterformats_" + name; }

void Paint(TBitmap32& b, int32_t w, int32_t h) {
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, Color32(x * 3 & 255, y * 7 & 255, 90, 255));
  }
}

Bytes Encoded(const TdtpRasterClass* cls, const TBitmap32& b) {
  TMemoryStream out;
  cls->Create()->SaveToStream(out, b);
  return out.Bytes();
}

std::string ErrorOf(const std::function<void()>& action) { return test::ErrorOf<ERasterError>(action); }

TEST(RasterRegistryTest, BuiltInFormatsInOrder) {
  RegisterRasterFormats();
  RegisterRasterFormats();
  const std::vector<const TdtpRasterClass*> classes = RasterFormatClasses();
  ASSERT_GE(classes.size(), 5u);
  EXPECT_EQ(classes[0], TdtpBmpFormat::Class());
  EXPECT_EQ(classes[1], TdtpJpgFormat::Class());
  EXPECT_EQ(classes[2], THckImage::Class());
  EXPECT_EQ(classes[3], TdtpGifFormat::Class());
  EXPECT_EQ(classes[4], TdtpPngFormat::Class());
  EXPECT_EQ(RasterFormatFlags(TdtpBmpFormat::Class()), 15);
  EXPECT_EQ(RasterFormatFlags(TdtpJpgFormat::Class()), 3615);
  EXPECT_EQ(RasterFormatFlags(THckImage::Class()), 111);
  EXPECT_EQ(RasterFormatFlags(TdtpGifFormat::Class()), 4207);
  EXPECT_EQ(RasterFormatFlags(TdtpPngFormat::Class()), 79);
  EXPECT_EQ(RasterFormatFlags(nullptr), 0);
  EXPECT_EQ(RasterFormatDescription(TdtpJpgFormat::Class()), "JPEG images");
  EXPECT_EQ(RasterFormatDescription(TdtpPngFormat::Class()), "Portable Network Graphics");
  EXPECT_EQ(std::string(THckImage::Class()->ClassName), "THckImage");
  EXPECT_EQ(TdtpJpgFormat().Flags(), 3615);
}

TEST(RasterRegistryTest, LookupByExtension) {
  RegisterRasterFormats();
  EXPECT_EQ(RasterFormatByExtension(".jpg"), TdtpJpgFormat::Class());
  EXPECT_EQ(RasterFormatByExtension("PHOTO.JPG"), TdtpJpgFormat::Class());
  EXPECT_EQ(RasterFormatByExtension("/a.b/c.Jpeg"), TdtpJpgFormat::Class());
  EXPECT_EQ(RasterFormatByExtension(".jp"), TdtpJpgFormat::Class());
  EXPECT_EQ(RasterFormatByExtension("x.dib"), TdtpBmpFormat::Class());
  EXPECT_EQ(RasterFormatByExtension(".HCK"), THckImage::Class());
  EXPECT_EQ(RasterFormatByExtension(".j"), nullptr);
  EXPECT_EQ(RasterFormatByExtension(".peg"), nullptr);
  EXPECT_EQ(RasterFormatByExtension("noextension"), nullptr);
  EXPECT_EQ(RasterFormatByExtension(""), nullptr);
}

// A format that only has the base behaviour, for the base-class messages and re-registration.
std::unique_ptr<TdtpRaster> CreateBare();
const TdtpRasterClass kBareClass{"TBareFormat", CreateBare, [](TStream* s) { return s == nullptr; }};
class TBareFormat : public TdtpRaster {
public:
  TBareFormat() : TdtpRaster(&kBareClass) {}
};
std::unique_ptr<TdtpRaster> CreateBare() { return std::make_unique<TBareFormat>(); }

TEST(RasterRegistryTest, BaseBehaviourAndUpdateInPlace) {
  RegisterRasterFormats();
  RegisterRasterFormat(&kBareClass, "Bare", ".bare;", 0);
  const size_t count = RasterFormatClasses().size();
  RegisterRasterFormat(&kBareClass, "Bare again", ".bare;.bar2;", 1);
  EXPECT_EQ(RasterFormatClasses().size(), count);
  EXPECT_EQ(RasterFormatDescription(&kBareClass), "Bare again");
  EXPECT_EQ(RasterFormatByExtension(".bar2"), &kBareClass);
  RegisterRasterFormat(&kBareClass, "Bare", ".bare;", 0);

  TBareFormat bare;
  TBitmap32 b;
  TMemoryStream s;
  EXPECT_EQ(ErrorOf([&] { bare.LoadFromStream(s, b, 0, 0, 0); }), "Loading from stream is not implemented");
  EXPECT_EQ(ErrorOf([&] { bare.SaveToStream(s, b); }), "Method not implemented");
  EXPECT_EQ(ErrorOf([&] { bare.LoadFromFile("/nonexistent", b, 0, 0, 0); }), "Method not implemented");
  EXPECT_EQ(ErrorOf([&] { bare.SaveToFile(TempPath("bare"), b); }), "Method not implemented");
  EXPECT_EQ(bare.PageCount(), 1);
  // Listed, but without the save flag: not a saving format.
  TdtpImageFiler filer;
  filer.SetExtension(".bare");
  filer.Stream = &s;
  EXPECT_EQ(ErrorOf([&] { filer.SavePicture(&b); }), "Cannot save format \".bare\"");
}

TEST(RasterRegistryTest, RegistrationIsThreadSafe) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([] {
      RegisterRasterFormats();
      for (int k = 0; k < 200; ++k) EXPECT_EQ(RasterFormatByExtension(".png"), TdtpPngFormat::Class());
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(RasterFormatClasses()[4], TdtpPngFormat::Class());
}

TEST(ImageFilerTest, CapitalExtensionFileIsReadByItsFormat) {
  TBitmap32 picture;
  Paint(picture, 30, 20);
  const std::string path = TempPath("PHOTO.JPG");
  TMemoryStream(Encoded(TdtpJpgFormat::Class(), picture)).SaveToFile(path);
  TdtpImageFiler filer;
  filer.SetFileName(path);
  TBitmap32 b;
  filer.LoadPicture(&b);
  ASSERT_NE(filer.Format(), nullptr);
  EXPECT_EQ(filer.Format()->RasterClass(), TdtpJpgFormat::Class());
  EXPECT_EQ(filer.Extension(), ".JPG");
  EXPECT_EQ(b.Width(), 30);
  EXPECT_EQ(filer.ByteCount(), TFileStream(path, TFileMode::fmOpenRead).Size());
  EXPECT_EQ(filer.PageCount(), 1);
  std::remove(path.c_str());
}

TEST(ImageFilerTest, FormatChoiceByExtensionAndContent) {
  TBitmap32 picture;
  Paint(picture, 9, 7);
  const Bytes hck = Encoded(THckImage::Class(), picture);
  const Bytes bmp = Encoded(TdtpBmpFormat::Class(), picture);
  const Bytes jpg = Encoded(TdtpJpgFormat::Class(), picture);
  auto chosen = [](const Bytes& data, const std::string& ext) -> const TdtpRasterClass* {
    TReadOnlyMemoryStream stream(data.data(), static_cast<int64_t>(data.size()));
    TdtpImageFiler filer;
    filer.SetExtension(ext);
    filer.Stream = &stream;
    TBitmap32 b;
    filer.LoadPicture(&b);
    EXPECT_EQ(filer.ByteCount(), static_cast<int64_t>(data.size())) << ext;
    return filer.Format()->RasterClass();
  };
  EXPECT_EQ(chosen(hck, ".hck"), THckImage::Class());
  EXPECT_EQ(chosen(bmp, ".hck"), TdtpBmpFormat::Class()) << "HCK looks at the content";
  EXPECT_EQ(chosen(jpg, ""), TdtpJpgFormat::Class());
  EXPECT_EQ(chosen(hck, ".xyz"), THckImage::Class());
  EXPECT_EQ(chosen(jpg, ".jpeg"), TdtpJpgFormat::Class());
  // The content wins over a wrong extension.
  EXPECT_EQ(chosen(Encoded(TdtpPngFormat::Class(), picture), ".jpg"), TdtpPngFormat::Class());
  EXPECT_EQ(chosen(bmp, ".gif"), TdtpBmpFormat::Class());

  const Bytes junk{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
  TReadOnlyMemoryStream stream(junk.data(), static_cast<int64_t>(junk.size()));
  TdtpImageFiler filer;
  filer.SetExtension(".xyz");
  filer.Stream = &stream;
  TBitmap32 b;
  EXPECT_EQ(ErrorOf([&] { filer.LoadPicture(&b); }), "Unknown raster format \".xyz\"");
  EXPECT_EQ(ErrorOf([&] { filer.LoadPicture(nullptr); }), "Input bitmap not assigned");
  EXPECT_EQ(ErrorOf([&] { filer.SavePicture(nullptr); }), "Input bitmap not assigned");
  // A picture after other bytes is read from the stream's position.
  Bytes prefixed{'x', 'y'};
  prefixed.insert(prefixed.end(), hck.begin(), hck.end());
  TReadOnlyMemoryStream shifted(prefixed.data(), static_cast<int64_t>(prefixed.size()));
  shifted.SetPosition(2);
  TdtpImageFiler second;
  second.SetExtension(".hck");
  second.Stream = &shifted;
  second.LoadPicture(&b);
  EXPECT_EQ(b.Pixel(8, 6), picture.Pixel(8, 6));
  EXPECT_EQ(second.ByteCount(), static_cast<int64_t>(hck.size()));
}

TEST(ImageFilerTest, Saving) {
  TBitmap32 picture;
  Paint(picture, 12, 5);
  TMemoryStream stream;
  stream.WriteBuffer("abc", 3);
  TdtpImageFiler filer;
  filer.SetExtension(".HCK");
  filer.Stream = &stream;
  filer.SavePicture(&picture);
  EXPECT_EQ(filer.Format()->RasterClass(), THckImage::Class());
  EXPECT_EQ(filer.ByteCount(), stream.Size() - 3);
  EXPECT_EQ(std::memcmp(stream.Memory() + 3, "HCK", 4), 0);

  TdtpImageFiler unknown;
  unknown.SetExtension(".tiff");
  unknown.Stream = &stream;
  EXPECT_EQ(ErrorOf([&] { unknown.SavePicture(&picture); }), "Cannot save format \".tiff\"");
  TdtpImageFiler none;
  none.SetFileName(TempPath("noextension"));
  EXPECT_EQ(ErrorOf([&] { none.SavePicture(&picture); }), "Cannot save format \"\"");

  // Without a stream the file is written; the file name's extension wins over the filer's.
  const std::string path = TempPath("out.BMP");
  TdtpImageFiler toFile;
  toFile.SetExtension(".jpg");
  toFile.SetFileName(path);
  toFile.SavePicture(&picture);
  EXPECT_EQ(toFile.Format()->RasterClass(), TdtpBmpFormat::Class());
  EXPECT_EQ(toFile.ByteCount(), 14 + 108 + 12 * 5 * 4);
  TdtpImageFiler reader;
  reader.SetFileName(path);
  TBitmap32 back;
  reader.LoadPicture(&back);
  EXPECT_EQ(back.Pixel(11, 4), picture.Pixel(11, 4));
  std::remove(path.c_str());
}

TEST(DecodePictureTest, MaximumSizeAndPages) {
  TBitmap32 wide;
  wide.SetSize(8001, 10);
  wide.Clear(0xFF336699u);
  const Bytes hck = Encoded(THckImage::Class(), wide);
  auto decode = [&](int maxW, int maxH) {
    TReadOnlyMemoryStream stream(hck.data(), static_cast<int64_t>(hck.size()));
    auto b = std::make_unique<TBitmap32>();
    DecodePicture(stream, ".hck", *b, 0, maxW, maxH);
    return TPoint{b->Width(), b->Height()};
  };
  EXPECT_EQ(decode(0, 0), (TPoint{4000, 5}));      // default 4000 x 4000
  EXPECT_EQ(decode(-1, -1), (TPoint{4000, 5}));    // not a limit either
  EXPECT_EQ(decode(8001, 10), (TPoint{8001, 10}));
  EXPECT_EQ(decode(100000, 3), (TPoint{2400, 3}));

  TReadOnlyMemoryStream stream(hck.data(), static_cast<int64_t>(hck.size()));
  TBitmap32 b;
  EXPECT_EQ(ErrorOf([&] { DecodePicture(stream, ".hck", b, 1, 0, 0); }), "Requested non-existing page");
  stream.SetPosition(0);
  EXPECT_EQ(ErrorOf([&] { DecodePicture(stream, ".xyz", b, 0, 0, 0); }), test::kNoError);
}

// Pictures far beyond the load's maximum size, kept as they were found: uniform or four-colour
// areas that deflate or LZW-pack a thousandfold. Each decodes sampled down to fit, without
// anything of full size, and with the nearest pixels of the whole picture.
TEST(DecodePictureTest, PictureBombsAreSampledWithinTheMaximum) {
  struct TCase {
    const char* file;
    const char* extension;
    int32_t width, height;  // the picture's own size
    int32_t outWidth, outHeight;
    TColor32 corners[4];    // top left, top right, bottom left, bottom right
  };
  const TCase cases[] = {
      {"png_picture_bomb.png", ".png", 16384, 16383, 4000, 4000,
       {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}},
      {"gif_picture_bomb.gif", ".gif", 65535, 16384, 4000, 1000,
       {0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " as " + c.extension);
    const Bytes bytes = ReadFileBytes(std::string(STICKWELL_SOURCE_DIR "/tests/storage/formats/crashers/") + c.file);
    TReadOnlyMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    TdtpImageFiler filer;
    filer.SetExtension(c.extension);
    filer.Stream = &stream;
    TBitmap32 b;
    filer.LoadPicture(&b);
    EXPECT_EQ(filer.Format()->Width(), c.width);
    EXPECT_EQ(filer.Format()->Height(), c.height);
    ASSERT_EQ(b.Width(), c.outWidth);
    ASSERT_EQ(b.Height(), c.outHeight);
    EXPECT_EQ(b.Pixel(0, 0), c.corners[0]);
    EXPECT_EQ(b.Pixel(c.outWidth - 1, 0), c.corners[1]);
    EXPECT_EQ(b.Pixel(0, c.outHeight - 1), c.corners[2]);
    EXPECT_EQ(b.Pixel(c.outWidth - 1, c.outHeight - 1), c.corners[3]);
  }

  // A wide GIF sampled down draws the same pixels as the whole picture sampled afterwards,
  // though the rows it does not show are never written out.
  TBitmap32 quadrants;
  quadrants.SetSize(9001, 301);
  for (int32_t y = 0; y < 301; ++y)
    for (int32_t x = 0; x < 9001; ++x)
      quadrants.SetPixel(x, y, (y < 150 ? 0xFFFF0000u : 0xFF0000FFu) | (x < 4500 ? 0 : 0x0000FF00u));
  TMemoryStream gif;
  EncodeGif(quadrants, gif);
  TBitmap32 whole, sampled;
  DecodeGif(gif.Memory(), size_t(gif.Size()), whole);
  DecodeGif(gif.Memory(), size_t(gif.Size()), sampled, 4000, 4000);
  ASSERT_EQ(sampled.Width(), 4000);
  ASSERT_EQ(sampled.Height(), 134);
  for (int32_t oy = 0; oy < sampled.Height(); ++oy)
    for (int32_t ox = 0; ox < sampled.Width(); ++ox)
      ASSERT_EQ(sampled.Pixel(ox, oy), whole.Pixel(int32_t(int64_t(ox) * 9001 / 4000), int32_t(int64_t(oy) * 301 / 134)))
          << ox << "," << oy;
}

TEST(PngGifFormatTest, RoundTripsThroughTheFiler) {
  TBitmap32 picture;
  Paint(picture, 10, 6);
  picture.SetPixel(3, 2, 0x10FFFFFFu);  // alpha below the GIF threshold
  picture.SetPixel(4, 2, 0x1FFFFFFFu);  // 31: below
  picture.SetPixel(5, 2, 0x20FFFFFFu);  // 32: not below
  for (const char* ext : {".png", ".gif"}) {
    TMemoryStream stream;
    TdtpImageFiler writer;
    writer.SetExtension(ext);
    writer.Stream = &stream;
    writer.SavePicture(&picture);
    const int64_t size = stream.Size();
    stream.WriteBuffer("trailing", 8);
    stream.SetPosition(0);
    TdtpImageFiler reader;
    reader.SetExtension(ext);
    reader.Stream = &stream;
    TBitmap32 back;
    reader.LoadPicture(&back);
    EXPECT_EQ(reader.ByteCount(), size) << ext;
    EXPECT_EQ(stream.Position(), size) << ext;
    ASSERT_EQ(back.Width(), 10) << ext;
    ASSERT_EQ(back.Height(), 6) << ext;
    if (std::string(ext) == ".png") {
      EXPECT_EQ(back.Pixel(3, 2), 0x10FFFFFFu);
      EXPECT_EQ(back.Pixel(5, 2), 0x20FFFFFFu);
      EXPECT_EQ(back.Pixel(9, 5), picture.Pixel(9, 5));
    } else {
      for (int32_t y = 0; y < 6; ++y) {
        for (int32_t x = 0; x < 10; ++x) {
          const bool below = AlphaOf(picture.Pixel(x, y)) < 32;
          if (below) {
            EXPECT_EQ(back.Pixel(x, y), 0u) << x << "," << y << " transparent black";
          } else {
            EXPECT_EQ(AlphaOf(back.Pixel(x, y)), 255u) << x << "," << y;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace sw
