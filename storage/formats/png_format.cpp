// PNG decoding and encoding after the published PNG specification (second edition). zlib does
// inflate, deflate and the CRC; chunk parsing, filtering, interlacing and pixel conversion are ours.
//
// Mapping to 32-bit pixels: greyscale and palette images become opaque pixels of their colour
// unless a tRNS chunk says otherwise (the matching grey or colour, or the palette entry's alpha);
// the colour of a transparent pixel is kept. 16-bit samples reduce to 8 bits by rounding,
// v8 = round(v16 * 255 / 65535), which is exactly what libpng's png_set_scale_16 gives; tRNS keys
// are compared at the full sample depth first. gAMA, cHRM, sRGB, iCCP and sBIT are not applied.
#include "storage/formats/png_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "base/bytes.h"
#include "base/deflate.h"
#include "base/exception.h"
#include "storage/formats/orientation.h"

namespace sw {
namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;
constexpr uint32_t kMaxDimension = 0x7FFFFFFFu;
// No deflate stream expands more than 1032 to 1 (a 258-byte match costs at least two bits);
// image data that would need more is certainly short, so it is refused before allocating.
constexpr uint64_t kMaxInflateRatio = 1032;
// The encoder's IDAT chunks carry at most this many bytes each.
constexpr size_t kIdatChunkSize = 1 << 18;

bool TypeIs(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

std::string TypeText(const uint8_t* type) { return std::string(reinterpret_cast<const char*>(type), 4); }

inline uint8_t Scale16(uint32_t v) { return uint8_t((v * 255 + 32895) >> 16); }

inline TColor32 Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

struct TSpan {
  const uint8_t* data;
  size_t size;
};

// Everything the chunk scan learns before any pixel is decoded.
struct TPngInfo {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitDepth = 0;
  uint32_t colorType = 0;
  bool interlaced = false;
  uint32_t channels = 0;
  uint32_t bitsPerPixel = 0;
  // Palette images and greyscale images up to 8 bits decode through this table.
  TColor32 lut[256] = {};
  bool hasPalette = false;
  uint32_t paletteCount = 0;
  uint8_t paletteAlpha[256] = {};
  uint32_t paletteAlphaCount = 0;
  bool hasKey = false;
  uint16_t key[3] = {};
  std::vector<TSpan> idat;
  uint64_t idatBytes = 0;
  size_t end = 0;
  int orientation = 1;  // from an eXIf chunk
};

uint64_t RowBytes(const TPngInfo& info, uint32_t width) {
  return (uint64_t(width) * info.bitsPerPixel + 7) / 8;
}

void ParseHeader(const uint8_t* d, uint32_t length, TPngInfo& info) {
  if (length != 13) RaiseRasterError("Invalid PNG header chunk length");
  info.width = ReadBE32(d);
  info.height = ReadBE32(d + 4);
  info.bitDepth = d[8];
  info.colorType = d[9];
  if (info.width == 0 || info.height == 0) RaiseRasterError("PNG image has zero width or height");
  if (info.width > kMaxDimension || info.height > kMaxDimension)
    RaiseRasterError("PNG image dimensions beyond 2^31-1");
  const uint32_t depth = info.bitDepth;
  bool valid = false;
  switch (info.colorType) {
    case 0:
      info.channels = 1;
      valid = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
      break;
    case 3:
      info.channels = 1;
      valid = depth == 1 || depth == 2 || depth == 4 || depth == 8;
      break;
    case 2:
      info.channels = 3;
      valid = depth == 8 || depth == 16;
      break;
    case 4:
      info.channels = 2;
      valid = depth == 8 || depth == 16;
      break;
    case 6:
      info.channels = 4;
      valid = depth == 8 || depth == 16;
      break;
    default:
      RaiseRasterError(Format("Invalid PNG colour type %u", info.colorType));
  }
  if (!valid)
    RaiseRasterError(Format("Invalid PNG bit depth %u for colour type %u", depth, info.colorType));
  if (d[10] != 0) RaiseRasterError("Unknown PNG compression method");
  if (d[11] != 0) RaiseRasterError("Unknown PNG filter method");
  if (d[12] > 1) RaiseRasterError("Unknown PNG interlace method");
  info.interlaced = d[12] == 1;
  info.bitsPerPixel = info.channels * depth;
  if (uint64_t(info.width) * info.height > uint64_t(TBitmap32::kMaxPixels))
    RaiseRasterError("PNG image too large");
}

// Walks every chunk, checks lengths, types, CRCs and order, and collects what decoding needs.
void ScanChunks(const uint8_t* data, size_t size, TPngInfo& info) {
  size_t pos = 8;
  bool seenHeader = false, seenPalette = false, seenData = false, dataClosed = false;
  for (;;) {
    if (pos == size && seenData) {
      // A file cut off cleanly after its image data still holds a whole picture.
      info.end = pos;
      break;
    }
    if (size - pos < 12) RaiseRasterError("PNG data ends inside a chunk");
    const uint8_t* chunk = data + pos;
    const uint32_t length = ReadBE32(chunk);
    const uint8_t* type = chunk + 4;
    if (length > kMaxChunkLength) RaiseRasterError("Invalid PNG chunk length");
    if (length > size - pos - 12) RaiseRasterError("PNG chunk length beyond the data");
    for (int i = 0; i < 4; ++i) {
      const uint8_t c = type[i];
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
        RaiseRasterError("Invalid PNG chunk type");
    }
    const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), type, length + 4));
    if (crc != ReadBE32(chunk + 8 + length))
      RaiseRasterError(Format("CRC error in PNG chunk \"%s\"", TypeText(type).c_str()));
    const uint8_t* body = chunk + 8;
    pos += size_t(length) + 12;

    if (!seenHeader) {
      if (!TypeIs(type, "IHDR")) RaiseRasterError("PNG header chunk missing");
      ParseHeader(body, length, info);
      seenHeader = true;
      continue;
    }
    if (seenData && !TypeIs(type, "IDAT")) dataClosed = true;
    if (TypeIs(type, "IDAT")) {
      if (dataClosed) RaiseRasterError("PNG image data chunks are not consecutive");
      if (info.colorType == 3 && !seenPalette) RaiseRasterError("PNG palette missing");
      seenData = true;
      if (length > 0) info.idat.push_back({body, length});
      info.idatBytes += length;
    } else if (TypeIs(type, "IEND")) {
      info.end = pos;
      break;
    } else if (TypeIs(type, "IHDR")) {
      RaiseRasterError("Duplicate PNG header chunk");
    } else if (TypeIs(type, "PLTE")) {
      if (seenPalette) RaiseRasterError("Duplicate PNG palette");
      if (seenData) RaiseRasterError("PNG palette after image data");
      if (length == 0 || length % 3 != 0 || length / 3 > 256)
        RaiseRasterError("Invalid PNG palette length");
      seenPalette = true;
      // A suggested palette of a truecolour image has no effect; greyscale ones are ignored too.
      if (info.colorType == 3) {
        info.hasPalette = true;
        info.paletteCount = length / 3;
        for (uint32_t i = 0; i < info.paletteCount; ++i)
          info.lut[i] = Argb(255, body[3 * i], body[3 * i + 1], body[3 * i + 2]);
      }
    } else if (TypeIs(type, "eXIf")) {
      info.orientation = ExifOrientation(body, length);
    } else if (TypeIs(type, "tRNS")) {
      if (seenData) continue;  // ancillary chunks out of place are skipped
      if (info.colorType == 3) {
        info.paletteAlphaCount = std::min<uint32_t>(length, 256);
        std::memcpy(info.paletteAlpha, body, info.paletteAlphaCount);
      } else if (info.colorType == 0 && length == 2) {
        info.hasKey = true;
        info.key[0] = ReadBE16(body);
      } else if (info.colorType == 2 && length == 6) {
        info.hasKey = true;
        for (int i = 0; i < 3; ++i) info.key[i] = ReadBE16(body + 2 * i);
      }
    } else if ((type[0] & 0x20) == 0) {
      RaiseRasterError(Format("Unknown critical PNG chunk \"%s\"", TypeText(type).c_str()));
    }
    // Unknown ancillary chunks are skipped.
  }
  if (!seenData) RaiseRasterError("PNG image data missing");

  if (info.colorType == 3) {
    // Indices beyond the palette read as opaque black, as common viewers show them.
    for (uint32_t i = info.paletteCount; i < 256; ++i) info.lut[i] = Argb(255, 0, 0, 0);
    for (uint32_t i = 0; i < info.paletteAlphaCount && i < info.paletteCount; ++i)
      info.lut[i] = (info.lut[i] & 0x00FFFFFFu) | (TColor32(info.paletteAlpha[i]) << 24);
  } else if (info.colorType == 0 && info.bitDepth <= 8) {
    const uint32_t maxValue = (1u << info.bitDepth) - 1;
    for (uint32_t v = 0; v <= maxValue; ++v) {
      const uint32_t g = v * 255 / maxValue;
      const uint32_t a = (info.hasKey && info.key[0] == v) ? 0 : 255;
      info.lut[v] = Argb(a, g, g, g);
    }
  }
}

// Adam7: pass origins and steps.
constexpr uint32_t kPassX[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr uint32_t kPassY[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr uint32_t kPassDX[7] = {8, 8, 4, 4, 2, 2, 1};
constexpr uint32_t kPassDY[7] = {8, 8, 8, 4, 4, 2, 2};

struct TPass {
  uint32_t x0, y0, dx, dy, width, height;
};

std::vector<TPass> Passes(const TPngInfo& info) {
  std::vector<TPass> passes;
  if (!info.interlaced) {
    passes.push_back({0, 0, 1, 1, info.width, info.height});
    return passes;
  }
  for (int p = 0; p < 7; ++p) {
    if (info.width <= kPassX[p] || info.height <= kPassY[p]) continue;
    const uint32_t w = (info.width - kPassX[p] + kPassDX[p] - 1) / kPassDX[p];
    const uint32_t h = (info.height - kPassY[p] + kPassDY[p] - 1) / kPassDY[p];
    passes.push_back({kPassX[p], kPassY[p], kPassDX[p], kPassDY[p], w, h});
  }
  return passes;
}

inline uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  if (pb <= pc) return uint8_t(b);
  return uint8_t(c);
}

// Reverses the row filter in place; prev is the previous row of the pass (zeros for the first).
template <size_t kBpp>
void UnfilterFixed(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t n) {
  switch (filter) {
    case 0:
      break;
    case 1:
      for (size_t i = kBpp; i < n; ++i) row[i] = uint8_t(row[i] + row[i - kBpp]);
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
      break;
    case 3:
      for (size_t i = 0; i < kBpp && i < n; ++i) row[i] = uint8_t(row[i] + (prev[i] >> 1));
      for (size_t i = kBpp; i < n; ++i)
        row[i] = uint8_t(row[i] + ((unsigned(row[i - kBpp]) + prev[i]) >> 1));
      break;
    case 4: {
      for (size_t i = 0; i < kBpp && i < n; ++i) row[i] = uint8_t(row[i] + prev[i]);
      if (n <= kBpp) break;
      // Carry the left and upper-left neighbours in registers, one lane per channel.
      uint8_t a[kBpp], c[kBpp];
      for (size_t k = 0; k < kBpp; ++k) {
        a[k] = row[k];
        c[k] = prev[k];
      }
      for (size_t i = kBpp; i + kBpp <= n; i += kBpp) {
        for (size_t k = 0; k < kBpp; ++k) {
          const uint8_t b = prev[i + k];
          const uint8_t v = uint8_t(row[i + k] + Paeth(a[k], b, c[k]));
          row[i + k] = v;
          a[k] = v;
          c[k] = b;
        }
      }
      break;
    }
    default:
      RaiseRasterError(Format("Invalid PNG row filter %u", unsigned(filter)));
  }
}

void Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
  switch (bpp) {
    case 1: return UnfilterFixed<1>(filter, row, prev, n);
    case 2: return UnfilterFixed<2>(filter, row, prev, n);
    case 3: return UnfilterFixed<3>(filter, row, prev, n);
    case 4: return UnfilterFixed<4>(filter, row, prev, n);
    case 6: return UnfilterFixed<6>(filter, row, prev, n);
    default: return UnfilterFixed<8>(filter, row, prev, n);
  }
}

// Converts one unfiltered row of width pixels into 32-bit pixels.
void ConvertRow(const TPngInfo& info, const uint8_t* s, uint32_t width, TColor32* out) {
  const uint32_t depth = info.bitDepth;
  switch (info.colorType) {
    case 0:
    case 3:
      if (depth == 16) {
        for (uint32_t x = 0; x < width; ++x, s += 2) {
          const uint16_t v = ReadBE16(s);
          const uint32_t g = Scale16(v);
          out[x] = Argb(info.hasKey && v == info.key[0] ? 0 : 255, g, g, g);
        }
      } else if (depth == 8) {
        for (uint32_t x = 0; x < width; ++x) out[x] = info.lut[s[x]];
      } else {
        const uint32_t perByte = 8 / depth, mask = (1u << depth) - 1;
        for (uint32_t x = 0; x < width; ++x) {
          const uint32_t shift = 8 - depth * (x % perByte + 1);
          out[x] = info.lut[(static_cast<uint32_t>(s[x / perByte]) >> shift) & mask];
        }
      }
      break;
    case 2:
      if (depth == 8) {
        if (info.hasKey) {
          for (uint32_t x = 0; x < width; ++x, s += 3) {
            const bool clear = s[0] == info.key[0] && s[1] == info.key[1] && s[2] == info.key[2];
            out[x] = Argb(clear ? 0 : 255, s[0], s[1], s[2]);
          }
        } else {
          for (uint32_t x = 0; x < width; ++x, s += 3) out[x] = Argb(255, s[0], s[1], s[2]);
        }
      } else {
        for (uint32_t x = 0; x < width; ++x, s += 6) {
          const uint16_t r = ReadBE16(s), g = ReadBE16(s + 2), b = ReadBE16(s + 4);
          const bool clear = info.hasKey && r == info.key[0] && g == info.key[1] && b == info.key[2];
          out[x] = Argb(clear ? 0 : 255, Scale16(r), Scale16(g), Scale16(b));
        }
      }
      break;
    case 4:
      if (depth == 8) {
        for (uint32_t x = 0; x < width; ++x, s += 2) out[x] = Argb(s[1], s[0], s[0], s[0]);
      } else {
        for (uint32_t x = 0; x < width; ++x, s += 4) {
          const uint32_t g = Scale16(ReadBE16(s));
          out[x] = Argb(Scale16(ReadBE16(s + 2)), g, g, g);
        }
      }
      break;
    default:
      if (depth == 8) {
        for (uint32_t x = 0; x < width; ++x, s += 4) out[x] = Argb(s[3], s[0], s[1], s[2]);
      } else {
        for (uint32_t x = 0; x < width; ++x, s += 8)
          out[x] = Argb(Scale16(ReadBE16(s + 6)), Scale16(ReadBE16(s)), Scale16(ReadBE16(s + 2)),
                        Scale16(ReadBE16(s + 4)));
      }
      break;
  }
}

// Inflates the concatenated IDAT data, never producing more than the caller asks for.
class TIdatInflater {
public:
  explicit TIdatInflater(const std::vector<TSpan>& spans) : spans_(spans) {
    std::memset(&zs_, 0, sizeof(zs_));
    if (inflateInit(&zs_) != Z_OK) RaiseRasterError("Cannot initialise PNG decompression");
  }
  ~TIdatInflater() { inflateEnd(&zs_); }
  TIdatInflater(const TIdatInflater&) = delete;
  TIdatInflater& operator=(const TIdatInflater&) = delete;

  // Fills exactly count bytes or raises.
  void Fill(uint8_t* out, size_t count) {
    zs_.next_out = out;
    zs_.avail_out = uInt(count);
    while (zs_.avail_out > 0) {
      if (zs_.avail_in == 0) {
        if (next_ >= spans_.size()) RaiseRasterError("PNG image data too short");
        zs_.next_in = const_cast<Bytef*>(spans_[next_].data);
        zs_.avail_in = uInt(spans_[next_].size);
        ++next_;
      }
      const int ret = inflate(&zs_, Z_NO_FLUSH);
      if (ret == Z_STREAM_END) {
        if (zs_.avail_out > 0) RaiseRasterError("PNG image data too short");
        break;
      }
      if (ret == Z_BUF_ERROR && zs_.avail_in == 0) continue;
      if (ret != Z_OK)
        RaiseRasterError(Format("PNG image data corrupted (%s)", zs_.msg ? zs_.msg : "zlib error"));
    }
  }

private:
  const std::vector<TSpan>& spans_;
  size_t next_ = 0;
  z_stream zs_;
};

}  // namespace

bool IsPng(const uint8_t* data, size_t size) {
  return data != nullptr && size >= 8 && std::memcmp(data, kSignature, 8) == 0;
}

size_t DecodePng(const uint8_t* data, size_t size, TBitmap32& bitmap, int maxWidth, int maxHeight,
                 uint32_t* width, uint32_t* height) {
  if (!IsPng(data, size)) RaiseRasterError("Invalid PNG signature");
  auto info = std::make_unique<TPngInfo>();
  ScanChunks(data, size, *info);

  const std::vector<TPass> passes = Passes(*info);
  uint64_t rawSize = 0;
  size_t maxRow = 0;
  for (const TPass& p : passes) {
    const uint64_t rowBytes = RowBytes(*info, p.width);
    rawSize += p.height * (rowBytes + 1);
    maxRow = std::max<size_t>(maxRow, size_t(rowBytes));
  }
  if (rawSize > info->idatBytes * kMaxInflateRatio + 64) RaiseRasterError("PNG image data too short");

  // Beyond the maximum size the picture is sampled down while decoding (nearest pixels): every
  // row is still inflated and unfiltered, since the filters chain rows, but only the rows and
  // columns the surface shows are converted, and nothing of full size is allocated.
  CheckRasterSize(info->width, info->height);
  // The picture's own size and the maximum are the upright picture's: a quarter turn swaps sides.
  const bool turned = OrientationSwapsSides(info->orientation);
  if (width) *width = turned ? info->height : info->width;
  if (height) *height = turned ? info->width : info->height;
  if (turned) std::swap(maxWidth, maxHeight);
  const TRasterSize out = ReducedRasterSize(info->width, info->height, maxWidth, maxHeight);
  bitmap.Resize(int32_t(out.width), int32_t(out.height));
  if (bitmap.Empty()) RaiseRasterError("PNG image too large");
  const bool sampled = out.width != info->width || out.height != info->height;
  // Image row y shows on the surface row oy with oy * height / out.height == y, if there is one.
  auto surfaceRow = [&](uint32_t y) -> int32_t {
    const uint64_t oy = (uint64_t(y) * out.height + info->height - 1) / info->height;
    if (oy >= out.height || oy * info->height / out.height != y) return -1;
    return int32_t(oy);
  };

  // Filters work on whole bytes, one pixel but at least one byte to the left.
  const size_t bpp = std::max<size_t>(1, info->bitsPerPixel / 8);
  std::vector<uint8_t> bufferA(maxRow + 1), bufferB(maxRow + 1);
  std::vector<TColor32> passRow(info->interlaced || sampled ? info->width : 0);
  // For a sampled picture: the surface columns a pass's pixels show on (surface, pass pixel).
  std::vector<std::pair<uint32_t, uint32_t>> columns;
  TIdatInflater inflater(info->idat);
  for (const TPass& p : passes) {
    const size_t rowBytes = size_t(RowBytes(*info, p.width));
    if (sampled) {
      columns.clear();
      for (uint32_t ox = 0; ox < out.width; ++ox) {
        const uint32_t sx = uint32_t(uint64_t(ox) * info->width / out.width);
        if (sx >= p.x0 && (sx - p.x0) % p.dx == 0) columns.emplace_back(ox, (sx - p.x0) / p.dx);
      }
    }
    uint8_t* cur = bufferA.data();
    uint8_t* prev = bufferB.data();
    std::memset(prev, 0, rowBytes + 1);
    for (uint32_t r = 0; r < p.height; ++r) {
      inflater.Fill(cur, rowBytes + 1);
      Unfilter(cur[0], cur + 1, prev + 1, rowBytes, bpp);
      const uint32_t y = p.y0 + r * p.dy;
      if (sampled) {
        const int32_t oy = surfaceRow(y);
        if (oy >= 0 && !columns.empty()) {
          ConvertRow(*info, cur + 1, p.width, passRow.data());
          TColor32* line = bitmap.ScanLine(oy);
          for (const auto& [ox, i] : columns) line[ox] = passRow[i];
        }
      } else if (!info->interlaced) {
        ConvertRow(*info, cur + 1, p.width, bitmap.ScanLine(int32_t(y)));
      } else {
        ConvertRow(*info, cur + 1, p.width, passRow.data());
        TColor32* line = bitmap.ScanLine(int32_t(y));
        for (uint32_t i = 0; i < p.width; ++i) line[p.x0 + i * p.dx] = passRow[i];
      }
      std::swap(cur, prev);
    }
  }
  ApplyOrientation(bitmap, info->orientation);
  bitmap.Changed();
  return info->end;
}

namespace {

// Sum of the filtered bytes taken as signed values: the usual estimate of how well a row packs.
inline uint64_t CostOf(const uint8_t* f, size_t n, uint64_t limit) {
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    sum += uint8_t(f[i] < 128 ? f[i] : 256 - f[i]);
    if ((i & 255) == 255 && sum >= limit) return sum;
  }
  return sum;
}

void FilterRow(uint8_t filter, const uint8_t* row, const uint8_t* prev, size_t n, uint8_t* out) {
  constexpr size_t kBpp = 4;
  switch (filter) {
    case 0:
      std::memcpy(out, row, n);
      break;
    case 1:
      for (size_t i = 0; i < kBpp; ++i) out[i] = row[i];
      for (size_t i = kBpp; i < n; ++i) out[i] = uint8_t(row[i] - row[i - kBpp]);
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) out[i] = uint8_t(row[i] - prev[i]);
      break;
    case 3:
      for (size_t i = 0; i < kBpp; ++i) out[i] = uint8_t(row[i] - (prev[i] >> 1));
      for (size_t i = kBpp; i < n; ++i)
        out[i] = uint8_t(row[i] - ((unsigned(row[i - kBpp]) + prev[i]) >> 1));
      break;
    default:
      for (size_t i = 0; i < kBpp; ++i) out[i] = uint8_t(row[i] - prev[i]);
      for (size_t i = kBpp; i < n; ++i)
        out[i] = uint8_t(row[i] - Paeth(row[i - kBpp], prev[i], prev[i - kBpp]));
      break;
  }
}

constexpr TDeflateErrors kPngErrors{RaiseRasterError, "Cannot initialise PNG compression",
                                   "PNG compression failed"};

}  // namespace

void EncodePng(const TBitmap32& bitmap, TStream& out) {
  if (bitmap.Empty() || bitmap.Width() <= 0 || bitmap.Height() <= 0)
    RaiseRasterError("Cannot write an empty picture as PNG");
  const uint32_t width = uint32_t(bitmap.Width()), height = uint32_t(bitmap.Height());
  out.WriteBuffer(kSignature, 8);
  uint8_t header[13];
  WriteBE32(header, width);
  WriteBE32(header + 4, height);
  header[8] = 8;   // bit depth
  header[9] = 6;   // truecolour with alpha
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering
  header[12] = 0;  // not interlaced
  WritePngChunk(out, "IHDR", header, 13);

  // Filtered rows pack better with the strategy meant for them.
  TDeflater deflater(9, TDeflateStrategy::Filtered, kPngErrors, kIdatChunkSize,
                     [&out](const uint8_t* data, size_t size) { WritePngChunk(out, "IDAT", data, size); });
  const size_t n = size_t(width) * 4;
  std::vector<uint8_t> rowA(n), rowB(n, 0), best(n + 1), trial(n);
  uint8_t* cur = rowA.data();
  uint8_t* prev = rowB.data();
  for (uint32_t y = 0; y < height; ++y) {
    const TColor32* src = bitmap.ScanLine(int32_t(y));
    for (uint32_t x = 0; x < width; ++x) {
      const TColor32 c = src[x];
      cur[4 * x] = uint8_t(c >> 16);
      cur[4 * x + 1] = uint8_t(c >> 8);
      cur[4 * x + 2] = uint8_t(c);
      cur[4 * x + 3] = uint8_t(c >> 24);
    }
    uint64_t bestCost = std::numeric_limits<uint64_t>::max();
    for (uint8_t f = 0; f < 5; ++f) {
      FilterRow(f, cur, prev, n, trial.data());
      const uint64_t cost = CostOf(trial.data(), n, bestCost);
      if (cost < bestCost) {
        bestCost = cost;
        best[0] = f;
        std::memcpy(best.data() + 1, trial.data(), n);
      }
    }
    deflater.Add(best.data(), n + 1);
    std::swap(cur, prev);
  }
  deflater.Finish();
  WritePngChunk(out, "IEND", nullptr, 0);
}

// ---- TdtpPngFormat ----

namespace {

bool PngCanLoad(TStream* stream) { return !stream || StreamStartsWith(*stream, 8, IsPng); }

std::unique_ptr<TdtpRaster> PngCreate() { return std::make_unique<TdtpPngFormat>(); }

const TdtpRasterClass kPngClass{"TdtpPngFormat", PngCreate, PngCanLoad};

}  // namespace

const TdtpRasterClass* TdtpPngFormat::Class() { return &kPngClass; }

void TdtpPngFormat::LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                                   int maxHeight) {
  LoadSinglePage(stream, page, [&](const uint8_t* data, size_t size) {
    uint32_t width = 0, height = 0;
    const size_t consumed = DecodePng(data, size, bitmap, maxWidth, maxHeight, &width, &height);
    return TRasterDecoded{consumed, int32_t(width), int32_t(height), {}};
  });
}

void TdtpPngFormat::SaveToStream(TStream& stream, const TBitmap32& bitmap) {
  SaveWith(stream, bitmap, [&](TStream& out) { EncodePng(bitmap, out); });
}

}  // namespace sw
