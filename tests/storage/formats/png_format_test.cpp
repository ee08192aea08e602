// PNG format: differential decoding of PngSuite against libpng, round trips, and damaged files.
//
// Reference: libpng with png_set_expand, png_set_scale_16, png_set_gray_to_rgb, png_set_bgr and
// png_set_add_alpha(0xFF, after), which yields the same BGRA bytes our TColor32 holds. The
// tolerance is zero: our 16-to-8-bit reduction is the exact rounding png_set_scale_16 performs,
// and both keep the colour of pixels that tRNS makes transparent.
#include "storage/formats/png_format.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/exception.h"
#include "support/reference_decoders.h"

namespace sw {
namespace {

namespace fs = std::filesystem;

const std::string kSuite = std::string(STICKWELL_SHARED_DIR) + "/corpora/pngsuite";

using TReference = test::TReferenceImage;

bool DecodeWithLibpng(const std::vector<uint8_t>& bytes, TReference& ref) {
  return test::DecodeWithLibpng(bytes.data(), bytes.size(), ref);
}

std::vector<uint8_t> Encode(const TBitmap32& bitmap) {
  TMemoryStream out;
  EncodePng(bitmap, out);
  return out.Bytes();
}

size_t Decode(const std::vector<uint8_t>& bytes, TBitmap32& bitmap) {
  return DecodePng(bytes.data(), bytes.size(), bitmap);
}

void ExpectSamePixels(const TBitmap32& a, const TBitmap32& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y)) << "at " << x << "," << y;
}

// A picture with smooth areas, noise and every kind of alpha.
void FillTestPicture(TBitmap32& bitmap, int32_t w, int32_t h, uint32_t seed) {
  bitmap.Resize(w, h);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t noise = rng() & 7;
      const uint32_t r = uint32_t(x * 255 / std::max(1, w - 1)) ^ noise;
      const uint32_t g = uint32_t(y * 255 / std::max(1, h - 1));
      const uint32_t b = (x + y) % 3 == 0 ? rng() & 255 : 128;
      const uint32_t a = (x % 5 == 0) ? 0 : ((y % 4 == 0) ? rng() & 255 : 255);
      bitmap.SetPixel(x, y, (a << 24) | (r << 16) | (g << 8) | b);
    }
}

// --- Hand-made files ------------------------------------------------------------------------

void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}

void AddChunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& body) {
  PutBE32(file, uint32_t(body.size()));
  const size_t start = file.size();
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), body.begin(), body.end());
  PutBE32(file, uint32_t(crc32(0, file.data() + start, uInt(file.size() - start))));
}

std::vector<uint8_t> Header(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace = 0) {
  std::vector<uint8_t> b;
  PutBE32(b, w);
  PutBE32(b, h);
  b.insert(b.end(), {depth, colorType, 0, 0, interlace});
  return b;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& raw) {
  uLongf len = compressBound(uLong(raw.size()));
  std::vector<uint8_t> out(len);
  EXPECT_EQ(compress2(out.data(), &len, raw.data(), uLong(raw.size()), 9), Z_OK);
  out.resize(len);
  return out;
}

const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// A PNG from its header, its raw (filtered) image bytes and extra chunks placed before IDAT.
std::vector<uint8_t> MakePng(const std::vector<uint8_t>& header, const std::vector<uint8_t>& raw,
                             const std::vector<std::pair<std::string, std::vector<uint8_t>>>& extra = {}) {
  std::vector<uint8_t> file(kSignature, kSignature + 8);
  AddChunk(file, "IHDR", header);
  for (const auto& [type, body] : extra) AddChunk(file, type.c_str(), body);
  AddChunk(file, "IDAT", Compress(raw));
  AddChunk(file, "IEND", {});
  return file;
}

void ExpectRasterError(const std::vector<uint8_t>& bytes, const char* fragment) {
  TBitmap32 bitmap;
  try {
    Decode(bytes, bitmap);
    ADD_FAILURE() << "no error, expected one containing \"" << fragment << "\"";
  } catch (const ERasterError& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
}

// --- Tests ----------------------------------------------------------------------------------

TEST(PngFormat, SignatureTest) {
  EXPECT_TRUE(IsPng(kSignature, 8));
  EXPECT_FALSE(IsPng(kSignature, 7));
  EXPECT_FALSE(IsPng(nullptr, 0));
  const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
  EXPECT_FALSE(IsPng(gif, sizeof(gif)));
}

TEST(PngFormat, PngSuiteMatchesLibpng) {
  // The corpus is not optional: a missing folder fails and says where it was looked for.
  ASSERT_TRUE(fs::is_directory(kSuite))
      << "PngSuite not found: looked for the folder \"" << kSuite
      << "\" (configure with -DSTICKWELL_SHARED_DIR=<folder holding corpora/pngsuite>)";
  int decoded = 0, refused = 0;
  for (const auto& entry : fs::directory_iterator(kSuite)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".png") continue;
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
    TBitmap32 ours;
    if (name[0] == 'x') {
      EXPECT_THROW(Decode(bytes, ours), ERasterError);
      ++refused;
      continue;
    }
    TReference ref;
    ASSERT_TRUE(DecodeWithLibpng(bytes, ref));
    EXPECT_EQ(Decode(bytes, ours), bytes.size());
    ASSERT_EQ(uint32_t(ours.Width()), ref.width);
    ASSERT_EQ(uint32_t(ours.Height()), ref.height);
    size_t mismatches = 0;
    for (size_t i = 0; i < ref.pixels.size(); ++i)
      if (ours.Bits()[i] != ref.pixels[i] && mismatches++ < 3)
        ADD_FAILURE() << "pixel " << i << ": ours " << std::hex << ours.Bits()[i] << " libpng "
                      << ref.pixels[i];
    EXPECT_EQ(mismatches, 0u);
    // Beyond a maximum size the decoder samples while decoding: the nearest pixels of the whole
    // picture, interlaced or not.
    TBitmap32 sampled;
    uint32_t width = 0, height = 0;
    EXPECT_EQ(DecodePng(bytes.data(), bytes.size(), sampled, 13, 11, &width, &height), bytes.size());
    EXPECT_EQ(width, ref.width);
    EXPECT_EQ(height, ref.height);
    if (ref.width > 13 || ref.height > 11) {
      ASSERT_LE(sampled.Width(), 13);
      ASSERT_LE(sampled.Height(), 11);
      for (int32_t oy = 0; oy < sampled.Height(); ++oy)
        for (int32_t ox = 0; ox < sampled.Width(); ++ox)
          ASSERT_EQ(sampled.Pixel(ox, oy), ours.Pixel(int32_t(int64_t(ox) * ours.Width() / sampled.Width()),
                                                       int32_t(int64_t(oy) * ours.Height() / sampled.Height())))
              << "at " << ox << "," << oy;
    } else {
      ExpectSamePixels(sampled, ours);
    }
    ++decoded;
  }
  EXPECT_GE(decoded, 150);
  EXPECT_GE(refused, 14);
}

TEST(PngFormat, RoundTripIsExactAndStable) {
  for (auto [w, h] : {std::pair{1, 1}, {2, 7}, {33, 5}, {257, 130}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    TBitmap32 source, back;
    FillTestPicture(source, w, h, uint32_t(w * 31 + h));
    const std::vector<uint8_t> bytes = Encode(source);
    EXPECT_EQ(Decode(bytes, back), bytes.size());
    ExpectSamePixels(source, back);
    EXPECT_EQ(Encode(back), bytes);  // write, read, write again: the same bytes

    // What we write is a PNG any decoder reads.
    TReference ref;
    ASSERT_TRUE(DecodeWithLibpng(bytes, ref));
    EXPECT_TRUE(std::equal(ref.pixels.begin(), ref.pixels.end(), source.Bits()));
  }
}

TEST(PngFormat, EncoderChoosesFiltersPerRow) {
  // Identical rows of a horizontal ramp: Up turns every row after the first into zeros, which
  // the minimum-sum heuristic must find.
  TBitmap32 source;
  source.Resize(64, 64);
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x) source.SetPixel(x, y, 0xFF000000u | uint32_t(x * 4 * 0x010101));
  const std::vector<uint8_t> bytes = Encode(source);
  // Find IDAT, inflate, look at the filter bytes.
  size_t pos = 8;
  std::vector<uint8_t> idat;
  while (pos + 12 <= bytes.size()) {
    const uint32_t len = (uint32_t(bytes[pos]) << 24) | (bytes[pos + 1] << 16) | (bytes[pos + 2] << 8) | bytes[pos + 3];
    if (std::memcmp(&bytes[pos + 4], "IDAT", 4) == 0)
      idat.insert(idat.end(), bytes.begin() + long(pos + 8), bytes.begin() + long(pos + 8 + len));
    pos += len + 12;
  }
  std::vector<uint8_t> raw(64 * (64 * 4 + 1));
  uLongf rawLen = uLongf(raw.size());
  ASSERT_EQ(uncompress(raw.data(), &rawLen, idat.data(), uLong(idat.size())), Z_OK);
  ASSERT_EQ(rawLen, raw.size());
  for (int y = 1; y < 64; ++y) EXPECT_EQ(raw[size_t(y) * (64 * 4 + 1)], 2) << "row " << y;
  EXPECT_THROW(Encode(TBitmap32()), ERasterError);
}

TEST(PngFormat, ChunkHandling) {
  // Greyscale 8-bit, 2 x 2, filter None.
  const std::vector<uint8_t> raw = {0, 10, 20, 0, 30, 40};
  const std::vector<uint8_t> hdr = Header(2, 2, 8, 0);
  TBitmap32 bitmap;
  // Unknown ancillary chunks are skipped, even unknown ones with odd case bits.
  EXPECT_EQ(Decode(MakePng(hdr, raw, {{"teSt", {1, 2, 3}}, {"gAMA", {0, 0, 0xB1, 0x8F}}}), bitmap),
            MakePng(hdr, raw, {{"teSt", {1, 2, 3}}, {"gAMA", {0, 0, 0xB1, 0x8F}}}).size());
  EXPECT_EQ(bitmap.Pixel(1, 1), 0xFF282828u);
  // gAMA is not applied: the grey stays as stored.
  EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF0A0A0Au);
  // tRNS makes exactly the matching grey transparent; its colour is kept.
  Decode(MakePng(hdr, raw, {{"tRNS", {0, 30}}}), bitmap);
  EXPECT_EQ(bitmap.Pixel(0, 1), 0x001E1E1Eu);
  EXPECT_EQ(bitmap.Pixel(1, 1), 0xFF282828u);
  // An eXIf orientation of 6 (a quarter turn clockwise) stands the picture upright: the stored
  // left column becomes the top row.
  const std::vector<uint8_t> exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
  Decode(MakePng(Header(3, 2, 8, 0), {0, 1, 2, 3, 0, 4, 5, 6}, {{"eXIf", exif}}), bitmap);
  ASSERT_EQ(bitmap.Width(), 2);
  ASSERT_EQ(bitmap.Height(), 3);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0xFF040404u);
  EXPECT_EQ(bitmap.Pixel(1, 0), 0xFF010101u);
  EXPECT_EQ(bitmap.Pixel(0, 2), 0xFF060606u);
  // Unknown critical chunks are refused.
  ExpectRasterError(MakePng(hdr, raw, {{"CrIt", {}}}), "Unknown critical PNG chunk \"CrIt\"");
  ExpectRasterError(MakePng(hdr, raw, {{"c1it", {}}}), "Invalid PNG chunk type");
  // Data after IEND is not consumed.
  std::vector<uint8_t> withTail = MakePng(hdr, raw);
  const size_t length = withTail.size();
  withTail.insert(withTail.end(), {1, 2, 3});
  EXPECT_EQ(Decode(withTail, bitmap), length);
  // A file cut cleanly after its image data still decodes.
  std::vector<uint8_t> noEnd = MakePng(hdr, raw);
  noEnd.resize(noEnd.size() - 12);
  EXPECT_EQ(Decode(noEnd, bitmap), noEnd.size());
  EXPECT_EQ(bitmap.Pixel(1, 0), 0xFF141414u);
}

TEST(PngFormat, PaletteAndTransparency) {
  // 2-bit palette, 3 x 1: indices 0, 1, 3 (3 lies beyond the three-entry palette).
  const std::vector<uint8_t> raw = {0, 0b00011100};
  const auto file = MakePng(Header(3, 1, 2, 3), raw,
                            {{"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}}, {"tRNS", {128}}});
  TBitmap32 bitmap;
  Decode(file, bitmap);
  EXPECT_EQ(bitmap.Pixel(0, 0), 0x80FF0000u);
  EXPECT_EQ(bitmap.Pixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(bitmap.Pixel(2, 0), 0xFF000000u);
  ExpectRasterError(MakePng(Header(3, 1, 2, 3), raw), "PNG palette missing");
  ExpectRasterError(MakePng(Header(3, 1, 2, 3), raw, {{"PLTE", {1, 2, 3, 4}}}), "Invalid PNG palette length");
  // 16-bit truecolour key compared at full depth: 0x1234 matches, 0x1235 does not.
  const std::vector<uint8_t> raw16 = {0, 0x12, 0x34, 0, 0, 0xFF, 0xFF, 0x12, 0x35, 0, 0, 0xFF, 0xFF};
  Decode(MakePng(Header(2, 1, 16, 2), raw16, {{"tRNS", {0x12, 0x34, 0, 0, 0xFF, 0xFF}}}), bitmap);
  EXPECT_EQ(bitmap.Pixel(0, 0) >> 24, 0u);
  EXPECT_EQ(bitmap.Pixel(1, 0), 0xFF1200FFu);
}

TEST(PngFormat, BadHeadersAreRefusedBeforeAllocating) {
  const std::vector<uint8_t> raw = {0, 0};
  struct TCase {
    uint32_t w, h;
    uint8_t depth, colorType, interlace;
    const char* message;
  };
  const TCase cases[] = {
      {0, 1, 8, 0, 0, "zero width or height"},
      {1, 0, 8, 0, 0, "zero width or height"},
      {0x80000000u, 1, 8, 0, 0, "beyond 2^31-1"},
      {1, 0xFFFFFFFFu, 8, 0, 0, "beyond 2^31-1"},
      {100000, 100000, 8, 6, 0, "PNG image too large"},
      {16385, 16384, 1, 0, 0, "PNG image too large"},
      {1, 1, 3, 0, 0, "Invalid PNG bit depth"},
      {1, 1, 16, 3, 0, "Invalid PNG bit depth"},
      {1, 1, 8, 5, 0, "Invalid PNG colour type"},
      {1, 1, 8, 0, 2, "Unknown PNG interlace method"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.message);
    TBitmap32 bitmap;
    ExpectRasterError(MakePng(Header(c.w, c.h, c.depth, c.colorType, c.interlace), raw), c.message);
    EXPECT_TRUE(bitmap.Empty());
  }
  // 16384 x 16384 greyscale is within the pixel limit, but a few bytes of image data cannot hold
  // it: refused before the 1 GiB surface is allocated.
  TBitmap32 bitmap;
  EXPECT_THROW(Decode(MakePng(Header(16384, 16384, 8, 0), raw), bitmap), ERasterError);
  EXPECT_TRUE(bitmap.Empty());
}

TEST(PngFormat, DamagedFilesAreRefused) {
  TBitmap32 source;
  FillTestPicture(source, 40, 30, 7);
  const std::vector<uint8_t> good = Encode(source);
  const size_t idat = 8 + 25;  // signature, IHDR chunk
  ASSERT_EQ(std::memcmp(&good[idat + 4], "IDAT", 4), 0);

  std::vector<uint8_t> badCrc = good;
  badCrc[idat + 20] ^= 0x40;
  ExpectRasterError(badCrc, "CRC error in PNG chunk \"IDAT\"");
  std::vector<uint8_t> badHeaderCrc = good;
  badHeaderCrc[8 + 21] ^= 1;
  ExpectRasterError(badHeaderCrc, "CRC error in PNG chunk \"IHDR\"");

  for (size_t cut : {size_t(5), size_t(20), idat + 8, idat + 100, good.size() - 13}) {
    SCOPED_TRACE(cut);
    std::vector<uint8_t> truncated(good.begin(), good.begin() + long(cut));
    EXPECT_THROW(Decode(truncated, source), ERasterError);
  }
  std::vector<uint8_t> badLength = good;
  badLength[idat] = 0x7F;
  ExpectRasterError(badLength, "PNG chunk length beyond the data");
  badLength[idat] = 0x80;
  ExpectRasterError(badLength, "Invalid PNG chunk length");

  std::vector<uint8_t> badSignature = good;
  badSignature[1] = 'Q';
  ExpectRasterError(badSignature, "Invalid PNG signature");
}

TEST(PngFormat, ImageDataMustFitExactly) {
  const std::vector<uint8_t> hdr = Header(4, 3, 8, 0);
  std::vector<uint8_t> raw(3 * 5, 0);
  raw[5] = 9;  // filter type 9 on row 1
  ExpectRasterError(MakePng(hdr, raw), "Invalid PNG row filter 9");

  // Too little data: the zlib stream ends one row early.
  ExpectRasterError(MakePng(hdr, std::vector<uint8_t>(10, 0)), "PNG image data too short");
  // No IDAT at all.
  std::vector<uint8_t> noData(kSignature, kSignature + 8);
  AddChunk(noData, "IHDR", hdr);
  AddChunk(noData, "IEND", {});
  ExpectRasterError(noData, "PNG image data missing");
  // A deflate stream that is not one.
  std::vector<uint8_t> garbage(kSignature, kSignature + 8);
  AddChunk(garbage, "IHDR", hdr);
  AddChunk(garbage, "IDAT", {0x78, 0xDA, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x12});
  AddChunk(garbage, "IEND", {});
  ExpectRasterError(garbage, "PNG image data corrupted");

  // Far more data than the image needs: decoding stops at what the image needs.
  std::vector<uint8_t> more(200000, 0);
  for (size_t i = 1; i < 5; ++i) more[i] = uint8_t(i * 50);
  TBitmap32 bitmap;
  Decode(MakePng(hdr, more), bitmap);
  EXPECT_EQ(bitmap.Pixel(3, 0), 0xFFC8C8C8u);
  EXPECT_EQ(bitmap.Pixel(3, 2), 0xFF000000u);

  // Image data split over several IDAT chunks, with an empty one among them, decodes.
  const std::vector<uint8_t> z = Compress(std::vector<uint8_t>(15, 0));
  std::vector<uint8_t> split(kSignature, kSignature + 8);
  AddChunk(split, "IHDR", hdr);
  AddChunk(split, "IDAT", std::vector<uint8_t>(z.begin(), z.begin() + 3));
  AddChunk(split, "IDAT", {});
  AddChunk(split, "IDAT", std::vector<uint8_t>(z.begin() + 3, z.end()));
  AddChunk(split, "IEND", {});
  EXPECT_EQ(Decode(split, bitmap), split.size());
  // IDAT chunks must follow each other.
  std::vector<uint8_t> apart(kSignature, kSignature + 8);
  AddChunk(apart, "IHDR", hdr);
  AddChunk(apart, "IDAT", std::vector<uint8_t>(z.begin(), z.begin() + 3));
  AddChunk(apart, "tEXt", {'a', 0, 'b'});
  AddChunk(apart, "IDAT", std::vector<uint8_t>(z.begin() + 3, z.end()));
  AddChunk(apart, "IEND", {});
  ExpectRasterError(apart, "not consecutive");
}

}  // namespace
}  // namespace sw
