#include "storage/formats/bmp_format.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/exception.h"

namespace sw {

namespace {

static_assert(std::endian::native == std::endian::little,
              "TColor32 rows are written as B, G, R, A bytes");

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiAlphaBitFields = 6;

constexpr size_t kFileHeader = 14;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kV4Header = 108;

// A run-length picture may describe at most this many pixels per byte of its data (plus a fixed
// allowance); a few bytes stating a huge picture are refused before allocating it.
constexpr int64_t kRlePixelsPerByte = 4096;
constexpr int64_t kRlePixelAllowance = int64_t(1) << 22;

[[noreturn]] void Truncated() { RaiseRasterError("Bitmap data is truncated"); }

// One channel of a bit-field pixel, scaled to 0..255.
struct TBitField {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t maximum = 0;

  explicit TBitField(uint32_t m) : mask(m) {
    if (!mask) return;
    shift = std::countr_zero(mask);
    const int bits = 32 - std::countl_zero(mask >> shift);
    maximum = (uint64_t(1) << bits) - 1;
  }
  uint32_t Extract(uint32_t pixel) const {
    if (!mask) return 0;
    const uint64_t v = (pixel & mask) >> shift;
    return static_cast<uint32_t>((v * 255 + maximum / 2) / maximum);
  }
};

struct TBmpInfo {
  int64_t width = 0;
  int64_t height = 0;
  bool topDown = false;
  uint32_t bpp = 0;
  uint32_t compression = kBiRgb;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  bool useMasks = false;
  TColor32 palette[256];
  uint32_t paletteCount = 0;
  size_t dataOffset = 0;
};

// Row y of the file (in file order) as a row of the surface.
TColor32* TargetRow(TBitmap32& bitmap, const TBmpInfo& info, int64_t fileRow) {
  const int64_t y = info.topDown ? fileRow : info.height - 1 - fileRow;
  return bitmap.ScanLine(static_cast<int32_t>(y));
}

TColor32 PaletteColor(const TBmpInfo& info, uint32_t index) {
  return index < info.paletteCount ? info.palette[index] : clBlack32;
}

void DecodeUncompressed(const uint8_t* data, size_t size, const TBmpInfo& info, TBitmap32& bitmap,
                        size_t& end) {
  const int64_t stride = ((info.width * info.bpp + 31) / 32) * 4;
  const int64_t rowBytes = (info.width * info.bpp + 7) / 8;
  const int64_t available = static_cast<int64_t>(size - info.dataOffset);
  // The last row need not carry its padding.
  if ((info.height - 1) * stride + rowBytes > available) Truncated();
  end = info.dataOffset + static_cast<size_t>((info.height - 1) * stride + rowBytes);

  bitmap.SetSize(static_cast<int32_t>(info.width), static_cast<int32_t>(info.height));
  const TBitField red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]),
      alpha(info.masks[3]);
  const int32_t w = static_cast<int32_t>(info.width);
  bool anyAlpha = false;
  for (int64_t row = 0; row < info.height; ++row) {
    const uint8_t* src = data + info.dataOffset + row * stride;
    TColor32* dst = TargetRow(bitmap, info, row);
    switch (info.bpp) {
      case 1:
        for (int32_t x = 0; x < w; ++x) dst[x] = PaletteColor(info, (src[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      case 4:
        for (int32_t x = 0; x < w; ++x) {
          dst[x] = PaletteColor(info, (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
        }
        break;
      case 8:
        for (int32_t x = 0; x < w; ++x) dst[x] = PaletteColor(info, src[x]);
        break;
      case 24:
        for (int32_t x = 0; x < w; ++x, src += 3) dst[x] = Color32(src[2], src[1], src[0]);
        break;
      case 16:
        for (int32_t x = 0; x < w; ++x, src += 2) {
          const uint32_t p = ReadLE16(src);
          dst[x] = Color32(red.Extract(p), green.Extract(p), blue.Extract(p),
                           info.masks[3] ? alpha.Extract(p) : 255);
        }
        break;
      case 32:
        if (!info.useMasks) {
          // Plain 32-bit rows are B, G, R and a byte that is alpha only when some pixel uses it.
          std::memcpy(dst, src, static_cast<size_t>(w) * 4);
          for (int32_t x = 0; x < w; ++x) anyAlpha = anyAlpha || (dst[x] >> 24) != 0;
        } else {
          for (int32_t x = 0; x < w; ++x, src += 4) {
            const uint32_t p = ReadLE32(src);
            dst[x] = Color32(red.Extract(p), green.Extract(p), blue.Extract(p),
                             info.masks[3] ? alpha.Extract(p) : 255);
          }
        }
        break;
    }
  }
  if (info.bpp == 32 && !info.useMasks && !anyAlpha) bitmap.ResetAlpha(255);
}

// RLE8 and RLE4: pairs of (count, value); a zero count introduces end of line (0), end of
// bitmap (1), a move (2, dx, dy) or a literal run of value pixels padded to whole 16-bit words.
// Data that stops early leaves the remaining pixels as they are.
void DecodeRle(const uint8_t* data, size_t size, const TBmpInfo& info, TBitmap32& bitmap,
               size_t& end) {
  bitmap.SetSize(static_cast<int32_t>(info.width), static_cast<int32_t>(info.height));
  bitmap.Clear(0);
  const bool four = info.compression == kBiRle4;
  size_t p = info.dataOffset;
  int64_t x = 0;
  int64_t row = 0;
  auto put = [&](uint32_t index) {
    if (x < info.width && row < info.height) TargetRow(bitmap, info, row)[x] = PaletteColor(info, index);
    ++x;
  };
  while (p + 2 <= size && row < info.height) {
    const uint32_t count = data[p];
    const uint32_t value = data[p + 1];
    p += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; ++i) put(four ? ((i & 1) ? value & 15 : value >> 4) : value);
      continue;
    }
    if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (p + 2 > size) break;
      x += data[p];
      row += data[p + 1];
      p += 2;
    } else {
      const size_t bytes = four ? (value + 1) / 2 : value;
      const size_t padded = (bytes + 1) & ~size_t(1);
      if (bytes > size - p) break;
      for (uint32_t i = 0; i < value; ++i) {
        put(four ? ((i & 1) ? data[p + i / 2] & 15 : data[p + i / 2] >> 4) : data[p + i]);
      }
      p += std::min(padded, size - p);
    }
  }
  end = p;
}

}  // namespace

size_t DecodeBmp(const uint8_t* data, size_t size, TBitmap32& bitmap) {
  if (!data || size < kFileHeader + 4 || data[0] != 'B' || data[1] != 'M') {
    RaiseRasterError("Not a Windows bitmap");
  }
  const uint32_t fileSize = ReadLE32(data + 2);
  const uint32_t offBits = ReadLE32(data + 10);
  const uint32_t headerSize = ReadLE32(data + 14);
  TBmpInfo info;
  size_t paletteOffset = kFileHeader + headerSize;
  size_t entrySize = 4;
  uint32_t colorsUsed = 0;
  if (headerSize == 12) {
    if (size < kFileHeader + 12) Truncated();
    info.width = ReadLE16(data + 18);
    info.height = ReadLE16(data + 20);
    info.bpp = ReadLE16(data + 24);
    entrySize = 3;
    if (info.bpp != 1 && info.bpp != 4 && info.bpp != 8 && info.bpp != 24) {
      RaiseRasterError(Format("Unsupported bitmap bit depth %u", info.bpp));
    }
  } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
             headerSize == 124) {
    if (size < kFileHeader + headerSize) Truncated();
    info.width = static_cast<int32_t>(ReadLE32(data + 18));
    const int64_t h = static_cast<int32_t>(ReadLE32(data + 22));
    info.topDown = h < 0;
    info.height = h < 0 ? -h : h;
    info.bpp = ReadLE16(data + 28);
    info.compression = ReadLE32(data + 30);
    colorsUsed = ReadLE32(data + 46);
    if (info.bpp != 1 && info.bpp != 4 && info.bpp != 8 && info.bpp != 16 && info.bpp != 24 &&
        info.bpp != 32) {
      RaiseRasterError(Format("Unsupported bitmap bit depth %u", info.bpp));
    }
    const bool fields = info.compression == kBiBitFields || info.compression == kBiAlphaBitFields;
    const bool valid = info.compression == kBiRgb ||
                       (info.compression == kBiRle8 && info.bpp == 8) ||
                       (info.compression == kBiRle4 && info.bpp == 4) ||
                       (fields && (info.bpp == 16 || info.bpp == 32));
    if (!valid) RaiseRasterError(Format("Unsupported bitmap compression %u", info.compression));
    if (fields) {
      // A 40-byte header is followed by the masks; the longer headers hold them.
      const size_t maskCount =
          headerSize == 40 ? (info.compression == kBiAlphaBitFields ? 4 : 3) : (headerSize >= 56 ? 4 : 3);
      if (headerSize == 40) paletteOffset += maskCount * 4;
      if (kFileHeader + 40 + maskCount * 4 > size) Truncated();
      for (size_t i = 0; i < maskCount; ++i) info.masks[i] = ReadLE32(data + kFileHeader + 40 + 4 * i);
      info.useMasks = true;
    } else if (info.bpp == 16) {
      info.masks[0] = 0x7C00;
      info.masks[1] = 0x03E0;
      info.masks[2] = 0x001F;
      info.useMasks = true;
    }
  } else {
    RaiseRasterError(Format("Unsupported bitmap header size %u", headerSize));
  }
  if (info.width < 0) RaiseRasterError("Invalid bitmap dimensions");
  CheckRasterSize(info.width, info.height);

  if (info.bpp <= 8) {
    const uint32_t maxColors = 1u << info.bpp;
    uint32_t count = (headerSize == 12 || colorsUsed == 0) ? maxColors : std::min(colorsUsed, maxColors);
    // Entries the file does not hold stay black.
    const size_t paletteEnd = offBits > paletteOffset && offBits <= size ? offBits : size;
    if (paletteOffset > paletteEnd) count = 0;
    else count = static_cast<uint32_t>(std::min<size_t>(count, (paletteEnd - paletteOffset) / entrySize));
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = data + paletteOffset + i * entrySize;
      info.palette[i] = Color32(e[2], e[1], e[0]);
    }
    info.paletteCount = count;
    paletteOffset += static_cast<size_t>(count) * entrySize;
  }
  info.dataOffset = offBits >= kFileHeader + headerSize ? offBits : paletteOffset;
  if (info.dataOffset > size) Truncated();

  size_t end = info.dataOffset;
  if (info.width == 0 || info.height == 0) {
    bitmap.SetSize(0, 0);
  } else if (info.compression == kBiRle8 || info.compression == kBiRle4) {
    const int64_t bytes = static_cast<int64_t>(size - info.dataOffset);
    if (info.width * info.height > bytes * kRlePixelsPerByte + kRlePixelAllowance) Truncated();
    DecodeRle(data, size, info, bitmap, end);
  } else {
    DecodeUncompressed(data, size, info, bitmap, end);
  }
  return std::max(end, std::min<size_t>(fileSize, size));
}

bool BmpStatedSize(const uint8_t* data, size_t size, int64_t& width, int64_t& height) {
  if (size < 26 || data[0] != 'B' || data[1] != 'M') return false;
  if (ReadLE32(data + 14) == 12) {
    width = ReadLE16(data + 18);
    height = ReadLE16(data + 20);
  } else {
    width = static_cast<int32_t>(ReadLE32(data + 18));
    height = static_cast<int32_t>(ReadLE32(data + 22));
  }
  return true;
}

void EncodeBmp(const TBitmap32& bitmap, TStream& out) {
  const uint32_t w = static_cast<uint32_t>(bitmap.Width());
  const uint32_t h = static_cast<uint32_t>(bitmap.Empty() ? 0 : bitmap.Height());
  const uint32_t width = bitmap.Empty() ? 0 : w;
  const uint32_t imageSize = width * h * 4;
  const auto headerSize = static_cast<uint32_t>(kFileHeader + kV4Header);
  std::vector<uint8_t> header{'B', 'M'};
  header.reserve(headerSize);
  AppendLE32(header, headerSize + imageSize);
  AppendLE32(header, 0);
  AppendLE32(header, headerSize);
  AppendLE32(header, kV4Header);
  AppendLE32(header, width);
  AppendLE32(header, h);  // positive: bottom-up rows
  AppendLE16(header, 1);
  AppendLE16(header, 32);
  AppendLE32(header, kBiBitFields);
  AppendLE32(header, imageSize);
  AppendLE32(header, 2835);  // 72 dots per inch
  AppendLE32(header, 2835);
  AppendLE32(header, 0);
  AppendLE32(header, 0);
  AppendLE32(header, 0x00FF0000u);
  AppendLE32(header, 0x0000FF00u);
  AppendLE32(header, 0x000000FFu);
  AppendLE32(header, 0xFF000000u);
  AppendLE32(header, 0x73524742u);  // colour space "sRGB"; end points and gamma stay zero
  header.resize(headerSize, 0);
  out.WriteBuffer(header.data(), headerSize);
  for (int64_t y = static_cast<int64_t>(h) - 1; y >= 0; --y) {
    out.WriteBuffer(bitmap.ScanLine(static_cast<int32_t>(y)), static_cast<int64_t>(width) * 4);
  }
}

void EncodeBmp24(const TBitmap32& bitmap, TStream& out) {
  const auto width = static_cast<uint32_t>(bitmap.Width());
  const auto height = static_cast<uint32_t>(bitmap.Height());
  const uint32_t rowBytes = (width * 3 + 3) & ~3u;
  const auto headerBytes = static_cast<uint32_t>(kFileHeader + kInfoHeader);
  const uint32_t imageBytes = rowBytes * height;
  std::vector<uint8_t> file{'B', 'M'};
  file.reserve(headerBytes + imageBytes);
  AppendLE32(file, headerBytes + imageBytes);
  AppendLE32(file, 0);
  AppendLE32(file, headerBytes);
  AppendLE32(file, kInfoHeader);
  AppendLE32(file, width);
  AppendLE32(file, height);
  AppendLE16(file, 1);   // planes
  AppendLE16(file, 24);  // bits per pixel
  AppendLE32(file, kBiRgb);
  AppendLE32(file, imageBytes);
  AppendLE32(file, 0);  // no stated resolution
  AppendLE32(file, 0);
  AppendLE32(file, 0);  // no palette
  AppendLE32(file, 0);
  file.resize(headerBytes + imageBytes, 0);
  for (uint32_t y = 0; y < height; ++y) {
    const TColor32* row = bitmap.ScanLine(static_cast<int32_t>(height - 1 - y));
    uint8_t* q = file.data() + headerBytes + static_cast<size_t>(y) * rowBytes;
    for (uint32_t x = 0; x < width; ++x) {
      const TColor32 c = row[x];
      *q++ = static_cast<uint8_t>(c);
      *q++ = static_cast<uint8_t>(c >> 8);
      *q++ = static_cast<uint8_t>(c >> 16);
    }
  }
  out.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
}

// ---- TdtpBmpFormat ----

namespace {

bool IsBmp(const uint8_t* data, size_t size) {
  return data != nullptr && size >= 2 && data[0] == 'B' && data[1] == 'M';
}

bool BmpCanLoad(TStream* stream) { return !stream || StreamStartsWith(*stream, 2, IsBmp); }

std::unique_ptr<TdtpRaster> BmpCreate() { return std::make_unique<TdtpBmpFormat>(); }

const TdtpRasterClass kBmpClass{"TdtpBmpFormat", BmpCreate, BmpCanLoad};

}  // namespace

const TdtpRasterClass* TdtpBmpFormat::Class() { return &kBmpClass; }

void TdtpBmpFormat::LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int, int) {
  LoadSinglePage(stream, page, [&](const uint8_t* data, size_t size) {
    const size_t consumed = DecodeBmp(data, size, bitmap);
    return TRasterDecoded{consumed, bitmap.Width(), bitmap.Height(), {}};
  });
  if ((flags_ & kRasterBmpTransparent) && !bitmap.Empty()) {
    const TColor32 key = bitmap.Pixel(0, bitmap.Height() - 1);
    TColor32* bits = bitmap.Bits();
    const int64_t count = static_cast<int64_t>(bitmap.Width()) * bitmap.Height();
    for (int64_t i = 0; i < count; ++i) {
      if (bits[i] == key) bits[i] = 0;
    }
    bitmap.Changed();
  }
}

void TdtpBmpFormat::SaveToStream(TStream& stream, const TBitmap32& bitmap) {
  SaveWith(stream, bitmap, [&](TStream& out) { EncodeBmp(bitmap, out); });
}

}  // namespace sw
