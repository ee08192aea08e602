#include "storage/formats/jpeg_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "base/exception.h"
#include "storage/formats/orientation.h"
#include "support/reference_decoders.h"

namespace sw {
namespace {

using Bytes = std::vector<uint8_t>;

// Writes a JPEG with libjpeg itself: components of 1 (grey), 3 (RGB) or 4 (CMYK, stored
// inverted the way Adobe writes it) samples per pixel.
Bytes MakeJpeg(int w, int h, int components, bool progressive,
               void (*sample)(int x, int y, uint8_t* out)) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(w * components));
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < w; ++x) sample(x, static_cast<int>(cinfo.next_scanline), &row[static_cast<size_t>(x * components)]);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

void Gradient(int x, int y, uint8_t* out) {
  out[0] = static_cast<uint8_t>(x * 4);
  out[1] = static_cast<uint8_t>(y * 4);
  out[2] = static_cast<uint8_t>(128);
}

void Load(const Bytes& file, TBitmap32& bitmap, int maxW = 4000, int maxH = 4000) {
  TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
  TdtpJpgFormat jpg;
  jpg.LoadFromStream(stream, bitmap, 0, maxW, maxH);
}

std::string LoadError(const Bytes& file) {
  TBitmap32 b;
  try {
    Load(file, b);
  } catch (const ERasterError& e) {
    return e.what();
  }
  return "no error";
}

std::string JpegError(int code) { return "JPEG error #" + std::to_string(code); }

int ChannelDiff(TColor32 a, TColor32 b, int shift) {
  return std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
}

TEST(JpegScaleTest, DenominatorFromTheMaximumSize) {
  EXPECT_EQ(JpegScaleDenominator(16000, 16000, 4000, 4000), 4);
  EXPECT_EQ(JpegScaleDenominator(8000, 8000, 4000, 4000), 2);
  EXPECT_EQ(JpegScaleDenominator(7999, 9000, 4000, 4000), 1);
  EXPECT_EQ(JpegScaleDenominator(9000, 7999, 4000, 4000), 1);
  EXPECT_EQ(JpegScaleDenominator(64000, 64000, 4000, 4000), 8);
  EXPECT_EQ(JpegScaleDenominator(65000, 65000, 1, 1), 8);
  EXPECT_EQ(JpegScaleDenominator(800, 600, 200, 150), 4);
  EXPECT_EQ(JpegScaleDenominator(16000, 16000, 0, 0), 1);
}

TEST(JpegFormatTest, RoundTripWithinTolerance) {
  TBitmap32 picture;
  picture.SetSize(64, 48);
  for (int32_t y = 0; y < 48; ++y) {
    for (int32_t x = 0; x < 64; ++x) picture.SetPixel(x, y, Color32(x * 4, y * 5, 255 - x * 2, x & 1 ? 0 : 128));
  }
  TMemoryStream out;
  TdtpJpgFormat writer;
  EXPECT_EQ(writer.Quality, 90);
  writer.SaveToStream(out, picture);
  ASSERT_GT(out.Size(), 100);
  EXPECT_EQ(out.Memory()[0], 0xFF);
  EXPECT_EQ(out.Memory()[1], 0xD8);

  TBitmap32 back;
  Load(out.Bytes(), back);
  ASSERT_EQ(back.Width(), 64);
  ASSERT_EQ(back.Height(), 48);
  int worst = 0;
  int64_t total = 0;
  for (int32_t y = 0; y < 48; ++y) {
    for (int32_t x = 0; x < 64; ++x) {
      ASSERT_EQ(AlphaOf(back.Pixel(x, y)), 255u) << "alpha is dropped, pixels are opaque";
      for (int shift : {0, 8, 16}) {
        const int d = ChannelDiff(back.Pixel(x, y), picture.Pixel(x, y), shift);
        worst = std::max(worst, d);
        total += d;
      }
    }
  }
  // Quality 90 with 2 x 2 chroma subsampling on smooth gradients.
  EXPECT_LE(worst, 16);
  EXPECT_LE(static_cast<double>(total) / (64 * 48 * 3), 2.5);
}

TEST(JpegFormatTest, ScaledDecodingAndStreamPosition) {
  Bytes file = MakeJpeg(800, 600, 3, false, Gradient);
  const size_t size = file.size();
  file.insert(file.end(), {1, 2, 3});
  TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
  TBitmap32 b;
  TdtpJpgFormat jpg;
  jpg.LoadFromStream(stream, b, 0, 200, 150);
  EXPECT_EQ(b.Width(), 200);
  EXPECT_EQ(b.Height(), 150);
  EXPECT_EQ(jpg.Width(), 800);
  EXPECT_EQ(jpg.Height(), 600);
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(size)) << "just behind the end-of-image marker";
  // Quarter scale averages 4 x 4 blocks: pixel (10, 20) covers source x 40..43, y 80..83.
  EXPECT_NEAR(static_cast<int>(RedOf(b.Pixel(10, 20))), 166, 6);
  EXPECT_NEAR(static_cast<int>(GreenOf(b.Pixel(10, 20))), (81 * 4) & 255, 6);
  EXPECT_THROW(jpg.LoadFromStream(stream, b, 1, 0, 0), ERasterError);
}

// libjpeg's own most accurate decoding of the same bytes, as B, G, R, A rows.
std::vector<uint32_t> ReferenceDecode(const Bytes& file, unsigned denominator, int& w, int& h) {
  test::TReferenceImage image;
  test::DecodeWithLibjpeg(file.data(), file.size(), denominator, image);
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  return image.pixels;
}

TEST(JpegFormatTest, PixelsMatchTheLibrarysAccurateDecoding) {
  for (bool progressive : {false, true}) {
    const Bytes file = MakeJpeg(123, 77, 3, progressive, [](int x, int y, uint8_t* out) {
      out[0] = static_cast<uint8_t>(x * x + y);
      out[1] = static_cast<uint8_t>(x ^ y);
      out[2] = static_cast<uint8_t>(y * 3);
    });
    for (int maximum : {0, 30}) {
      TBitmap32 ours;
      Load(file, ours, maximum, maximum);
      int w = 0, h = 0;
      const std::vector<uint32_t> reference = ReferenceDecode(file, maximum ? 2 : 1, w, h);
      ASSERT_EQ(ours.Width(), w);
      ASSERT_EQ(ours.Height(), h);
      EXPECT_TRUE(std::equal(reference.begin(), reference.end(), ours.Bits()))
          << "progressive " << progressive << ", maximum " << maximum;
    }
  }
}

TEST(JpegFormatTest, GreyscaleCmykAndProgressive) {
  TBitmap32 b;
  Load(MakeJpeg(16, 16, 1, false, [](int x, int, uint8_t* out) { out[0] = static_cast<uint8_t>(x * 16); }), b);
  ASSERT_EQ(b.Width(), 16);
  for (int32_t x = 0; x < 16; ++x) {
    const TColor32 c = b.Pixel(x, 5);
    EXPECT_EQ(AlphaOf(c), 255u);
    EXPECT_EQ(RedOf(c), GreenOf(c));
    EXPECT_EQ(GreenOf(c), BlueOf(c));
    EXPECT_NEAR(static_cast<int>(RedOf(c)), x * 16, 6);
  }

  // Left half red (C 0, M 255, Y 255, K 0), right half 50 % grey through K; stored inverted.
  Load(MakeJpeg(32, 16, 4, false, [](int x, int, uint8_t* out) {
         const uint8_t cmyk[4] = {0, 255, 255, 0};
         const uint8_t grey[4] = {0, 0, 0, 128};
         const uint8_t* v = x < 16 ? cmyk : grey;
         for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(255 - v[i]);
       }),
       b);
  ASSERT_EQ(b.Width(), 32);
  const TColor32 red = b.Pixel(4, 8), grey = b.Pixel(28, 8);
  EXPECT_EQ(AlphaOf(red), 255u);
  EXPECT_GE(RedOf(red), 245u);
  EXPECT_LE(GreenOf(red), 10u);
  EXPECT_LE(BlueOf(red), 10u);
  EXPECT_NEAR(static_cast<int>(RedOf(grey)), 127, 5);
  EXPECT_NEAR(static_cast<int>(BlueOf(grey)), 127, 5);

  TBitmap32 p;
  const Bytes progressive = MakeJpeg(40, 30, 3, true, Gradient);
  Load(progressive, p);
  ASSERT_EQ(p.Width(), 40);
  EXPECT_NEAR(static_cast<int>(RedOf(p.Pixel(20, 10))), 80, 6);
  EXPECT_NEAR(static_cast<int>(GreenOf(p.Pixel(20, 10))), 40, 6);
}

// A segment of marker (APP1, APP2, ...) put right behind the start-of-image marker.
Bytes WithSegment(Bytes file, uint8_t marker, const Bytes& body) {
  Bytes segment = {0xFF, marker, static_cast<uint8_t>((body.size() + 2) >> 8), static_cast<uint8_t>(body.size() + 2)};
  segment.insert(segment.end(), body.begin(), body.end());
  file.insert(file.begin() + 2, segment.begin(), segment.end());
  return file;
}

// An EXIF block holding just the orientation tag, in either byte order.
Bytes ExifBlock(int orientation, bool bigEndian) {
  auto u16 = [&](Bytes& b, uint32_t v) {
    if (bigEndian) b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
    else b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
  };
  Bytes b = {'E', 'x', 'i', 'f', 0, 0};
  const Bytes header = bigEndian ? Bytes{'M', 'M', 0, 42, 0, 0, 0, 8} : Bytes{'I', 'I', 42, 0, 8, 0, 0, 0};
  b.insert(b.end(), header.begin(), header.end());
  u16(b, 2);                                 // two entries: a resolution unit, then the orientation
  u16(b, 0x0128), u16(b, 3), u16(b, 1), u16(b, 0), u16(b, 2), u16(b, 0);
  u16(b, 0x0112), u16(b, 3), u16(b, 1), u16(b, 0), u16(b, static_cast<uint32_t>(orientation)), u16(b, 0);
  b.insert(b.end(), {0, 0, 0, 0});           // no next directory
  return b;
}

// Six colours far apart, one per pixel of a 3 x 2 picture.
constexpr TColor32 kSix[2][3] = {{0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}, {0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu}};

TEST(JpegFormatTest, ExifOrientationIsAppliedForEveryValue) {
  // Each pixel of the 3 x 2 picture is a 16 x 16 block, so that compression keeps its colour.
  const Bytes plain = MakeJpeg(48, 32, 3, false, [](int x, int y, uint8_t* out) {
    const TColor32 c = kSix[y / 16][x / 16];
    out[0] = static_cast<uint8_t>(RedOf(c)), out[1] = static_cast<uint8_t>(GreenOf(c)), out[2] = static_cast<uint8_t>(BlueOf(c));
  });
  // The upright picture by the standard's table, built from quarter turns and mirrors.
  using TGrid = std::vector<std::vector<TColor32>>;
  auto turn = [](const TGrid& g) {  // a quarter turn clockwise
    TGrid out(g[0].size(), std::vector<TColor32>(g.size()));
    for (size_t y = 0; y < out.size(); ++y)
      for (size_t x = 0; x < out[0].size(); ++x) out[y][x] = g[g.size() - 1 - x][y];
    return out;
  };
  auto mirror = [](TGrid g) {
    for (auto& row : g) std::reverse(row.begin(), row.end());
    return g;
  };
  auto flip = [](TGrid g) {
    std::reverse(g.begin(), g.end());
    return g;
  };
  const TGrid stored = {{kSix[0][0], kSix[0][1], kSix[0][2]}, {kSix[1][0], kSix[1][1], kSix[1][2]}};
  const TGrid upright[9] = {{},
                            stored,
                            mirror(stored),
                            turn(turn(stored)),
                            flip(stored),
                            mirror(turn(stored)),
                            turn(stored),
                            flip(turn(stored)),
                            turn(turn(turn(stored)))};
  for (int o = 1; o <= 8; ++o) {
    const Bytes file = WithSegment(plain, 0xE1, ExifBlock(o, o % 2 == 0));
    EXPECT_EQ(JpegOrientation(file.data(), file.size()), o);
    TBitmap32 b;
    TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
    TdtpJpgFormat jpg;
    jpg.LoadFromStream(stream, b, 0, 4000, 4000);
    const TGrid& want = upright[o];
    const int32_t w = static_cast<int32_t>(want[0].size()), h = static_cast<int32_t>(want.size());
    ASSERT_EQ(b.Width(), w * 16) << o;
    ASSERT_EQ(b.Height(), h * 16) << o;
    EXPECT_EQ(jpg.Width(), w * 16) << "the natural size is upright, " << o;
    int32_t sw = 0, sh = 0;
    JpegDecodedSize(file.data(), file.size(), 4000, 4000, sw, sh);
    EXPECT_EQ(sw, w * 16);
    EXPECT_EQ(sh, h * 16);
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        const TColor32 got = b.Pixel(x * 16 + 8, y * 16 + 8);
        for (int shift : {0, 8, 16}) EXPECT_LE(ChannelDiff(got, want[y][x], shift), 12) << o << " at " << x << "," << y;
      }
    }
    // The maximum is for the upright picture: 24 x 16 halves this one whichever way it stands.
    JpegDecodedSize(file.data(), file.size(), w * 8, h * 8, sw, sh);
    EXPECT_EQ(sw, w * 8) << o;
  }
  // Damaged or absent blocks read as upright, never beyond the data.
  EXPECT_EQ(JpegOrientation(plain.data(), plain.size()), 1);
  const Bytes nine = WithSegment(plain, 0xE1, ExifBlock(9, false));
  EXPECT_EQ(JpegOrientation(nine.data(), nine.size()), 1);
  Bytes block = ExifBlock(6, false);
  for (size_t cut = 0; cut < block.size(); ++cut) {
    EXPECT_EQ(ExifOrientation(block.data() + 6, cut > 6 ? cut - 6 : 0), cut >= block.size() - 4 ? 6 : 1) << cut;
  }
  block[6 + 4] = 0xF0;  // the first directory far beyond the block
  EXPECT_EQ(ExifOrientation(block.data() + 6, block.size() - 6), 1);
}

TEST(JpegFormatTest, AnEmbeddedColourProfileIsNotMisread) {
  // Adobe CMYK with a profile segment: the same colours as without it.
  const Bytes cmyk = MakeJpeg(32, 16, 4, false, [](int x, int, uint8_t* out) {
    const uint8_t v[4] = {static_cast<uint8_t>(x * 8), 40, 200, 10};
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(255 - v[i]);
  });
  Bytes profile = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
  for (int i = 0; i < 200; ++i) profile.push_back(static_cast<uint8_t>(i * 37));
  TBitmap32 a, b;
  Load(cmyk, a);
  Load(WithSegment(cmyk, 0xE2, profile), b);
  ASSERT_EQ(b.Width(), 32);
  EXPECT_TRUE(std::equal(a.Bits(), a.Bits() + 32 * 16, b.Bits()));
}

TEST(JpegFormatTest, HeaderErrorsRaiseAndPixelErrorsLeaveTheSurface) {
  EXPECT_EQ(LoadError(Bytes{}), JpegError(JERR_INPUT_EMPTY));
  EXPECT_EQ(LoadError(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}), JpegError(JERR_NO_SOI));
  const Bytes good = MakeJpeg(64, 64, 3, false, Gradient);
  EXPECT_EQ(LoadError(Bytes(good.begin(), good.begin() + 100)).rfind("JPEG error #", 0), 0u);

  // Data cut inside the pixels decodes what is there (libjpeg pads the rest).
  TBitmap32 cut;
  Load(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() * 2 / 3)), cut);
  EXPECT_EQ(cut.Width(), 64);

  // A header stating a huge picture in a few bytes is refused before allocating.
  Bytes huge = good;
  for (size_t i = 2; i + 9 < huge.size(); ++i) {
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = 0xEA;  // height 60000
      huge[i + 6] = 0x60;
      huge[i + 7] = 0xEA;  // width 60000
      huge[i + 8] = 0x60;
      break;
    }
  }
  EXPECT_EQ(LoadError(huge), "JPEG data too short for a 60000 x 60000 picture");

  // A later progressive scan with impossible spectral limits fails inside the pixel decoding:
  // the surface keeps its size and pixels and nothing is raised.
  Bytes broken = MakeJpeg(32, 32, 3, true, Gradient);
  int scans = 0;
  for (size_t i = 2; i + 4 < broken.size(); ++i) {
    if (broken[i] == 0xFF && broken[i + 1] == 0xDA && ++scans == 3) {
      const size_t ns = broken[i + 4];
      broken[i + 5 + 2 * ns] = 60;  // Ss above Se
      broken[i + 6 + 2 * ns] = 10;
      break;
    }
  }
  ASSERT_EQ(scans, 3);
  TBitmap32 kept;
  kept.SetSize(3, 3);
  kept.Clear(0x12345678u);
  EXPECT_NO_THROW(Load(broken, kept));
  EXPECT_EQ(kept.Width(), 3);
  EXPECT_EQ(kept.Pixel(2, 2), 0x12345678u);
  TBitmap32 empty;
  EXPECT_NO_THROW(Load(broken, empty));
  EXPECT_TRUE(empty.Empty());
}

TEST(JpegFormatTest, SavingAnEmptyPictureRaisesTheLibraryError) {
  TBitmap32 empty;
  TMemoryStream out;
  try {
    TdtpJpgFormat().SaveToStream(out, empty);
    ADD_FAILURE() << "no error";
  } catch (const ERasterError& e) {
    EXPECT_EQ(std::string(e.what()), JpegError(JERR_EMPTY_IMAGE));
  }
}

}  // namespace
}  // namespace sw
