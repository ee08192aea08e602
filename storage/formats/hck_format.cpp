#include "storage/formats/hck_format.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/bytes.h"
#include "base/exception.h"
#include "base/numeric.h"
#include "storage/formats/compressors.h"

namespace sw {

namespace {

constexpr size_t kHeaderSize = 24;

[[noreturn]] void Corrupted() { RaiseRasterError("Image file is corrupted"); }
[[noreturn]] void Undecodable() { RaiseRasterError("Unable to decompress"); }

enum { kAlpha = 0, kRed, kGreen, kBlue, kGrey };

// Bytes of one plane: one per pixel at 8 bits, one bit per pixel (rounded up) at 1 bit.
size_t PlaneBytes(uint8_t bits, size_t pixels) {
  return bits == 8 ? pixels : bits == 1 ? (pixels + 7) / 8 : 0;
}

inline bool BitAt(const uint8_t* plane, size_t i) { return (plane[i >> 3] >> (7 - (i & 7))) & 1; }

void FillPlanes(const uint8_t* data, size_t size, const uint8_t bits[5], TBitmap32& bitmap) {
  const size_t n = static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height());
  size_t need = 0;
  for (int i = 0; i < 5; ++i) need += PlaneBytes(bits[i], n);
  if (need > size) Corrupted();
  TColor32* px = bitmap.Bits();
  const uint8_t* p = data;
  if (bits[kAlpha] == 8) {
    for (size_t i = 0; i < n; ++i) px[i] = static_cast<TColor32>(p[i]) << 24;
  } else if (bits[kAlpha] == 1) {
    for (size_t i = 0; i < n; ++i) px[i] = BitAt(p, i) ? 0xFF000000u : 0;
  } else {
    for (size_t i = 0; i < n; ++i) px[i] = clBlack32;
  }
  p += PlaneBytes(bits[kAlpha], n);
  for (int c = kRed; c <= kBlue; ++c) {
    if (bits[c] != 8) continue;
    const int shift = 16 - 8 * (c - kRed);
    const TColor32 keep = ~(0xFFu << shift);
    for (size_t i = 0; i < n; ++i) px[i] = (px[i] & keep) | (static_cast<TColor32>(p[i]) << shift);
    p += n;
  }
  if (bits[kGrey] == 8) {
    for (size_t i = 0; i < n; ++i) px[i] = (px[i] & 0xFF000000u) | (p[i] * 0x010101u);
  } else if (bits[kGrey] == 1) {
    for (size_t i = 0; i < n; ++i) px[i] = (px[i] & 0xFF000000u) | (BitAt(p, i) ? 0xFFFFFFu : 0);
  }
}

bool IsHck(const uint8_t* data, size_t size) {
  return data != nullptr && size >= kHeaderSize && std::memcmp(data, "HCK", 4) == 0;
}

// HCK is the one format that insists on seeing its header.
bool HckCanLoad(TStream* stream) { return stream && StreamStartsWith(*stream, kHeaderSize, IsHck); }

std::unique_ptr<TdtpRaster> HckCreate() { return std::make_unique<THckImage>(); }

const TdtpRasterClass kHckClass{"THckImage", HckCreate, HckCanLoad};

}  // namespace

const TdtpRasterClass* THckImage::Class() { return &kHckClass; }

TPoint HckReducedSize(int32_t width, int32_t height, int maxWidth, int maxHeight) {
  if (width <= 0 || height <= 0 || maxWidth <= 0 || maxHeight <= 0) return TPoint{width, height};
  const float s = static_cast<float>(std::min(static_cast<double>(maxHeight) / height,
                                              static_cast<double>(maxWidth) / width));
  if (!(s > 0 && s < 1)) return TPoint{width, height};
  // A very long, thin picture keeps at least one pixel across.
  return TPoint{std::max(1, Round(width * static_cast<double>(s))),
                std::max(1, Round(height * static_cast<double>(s)))};
}

void THckImage::LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                               int maxHeight) {
  const int64_t start = stream.Position();
  uint8_t header[kHeaderSize];
  if (stream.Read(header, kHeaderSize) != static_cast<int64_t>(kHeaderSize) ||
      std::memcmp(header, "HCK", 4) != 0) {
    Corrupted();
  }
  const int32_t width = static_cast<int32_t>(ReadLE32(header + 4));
  const int32_t height = static_cast<int32_t>(ReadLE32(header + 8));
  const int32_t pages = static_cast<int32_t>(ReadLE32(header + 12));
  if (width < 0 || height < 0) Corrupted();
  CheckRasterSize(width, height);
  const uint8_t* bits = header + 16;
  const uint8_t method = header[21];
  width_ = width;
  height_ = height;
  pageCount_ = pages > 1 ? pages : 1;

  unsigned bitSum = 0;
  for (int i = 0; i < 5; ++i) bitSum += bits[i];
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t expected = pixels * ((bitSum + 7) / 8);
  if (expected == 0) {
    byteCount_ = stream.Position() - start;
    return;
  }

  int64_t available = stream.Size() - stream.Position();
  if (page < 0 || page >= pageCount_) RaiseRasterError("Requested non-existing page");
  if (pages > 1) {
    // Each page is preceded by its byte length; page k lies behind k such blocks.
    for (int k = 0; k <= page; ++k) {
      uint8_t word[4];
      if (stream.Read(word, 4) != 4) Corrupted();
      const int64_t length = ReadLE32(word);
      available = stream.Size() - stream.Position();
      if (length > available) Corrupted();
      if (k < page) {
        stream.Seek(length, TSeekOrigin::soCurrent);
      } else {
        available = length;
      }
    }
  }

  std::vector<uint8_t> data;
  if (method == 0) {
    if (static_cast<int64_t>(expected) > available) Corrupted();
    data.resize(expected);
    stream.ReadBuffer(data.data(), static_cast<int64_t>(expected));
  } else if (method == 1) {
    uint8_t lengths[8];
    if (available < 8 || stream.Read(lengths, 8) != 8) Undecodable();
    if (ReadLE32(lengths) != expected) Corrupted();
    const size_t packedSize = ReadLE32(lengths + 4);
    if (static_cast<int64_t>(packedSize) > available - 8) Undecodable();
    if (expected > kMaxPackLength || expected > MaxUnpackedLength(packedSize)) Undecodable();
    try {
      std::vector<uint8_t> packed(packedSize);
      stream.ReadBuffer(packed.data(), static_cast<int64_t>(packedSize));
      data.resize(expected);
      UnpackBlock(packed.data(), packedSize, data.data(), expected);
    } catch (const std::bad_alloc&) {
      Undecodable();
    }
  } else {
    RaiseRasterError("No suitable codec found");
  }

  if ((bits[kAlpha] != 0 && bits[kAlpha] != 1 && bits[kAlpha] != 8) ||
      (bits[kGrey] != 0 && bits[kGrey] != 1 && bits[kGrey] != 8)) {
    RaiseRasterError("Unsupported bitdepth");
  }
  for (int c = kRed; c <= kBlue; ++c) {
    if (bits[c] != 0 && bits[c] != 8) RaiseRasterError("Unsupported bitdepth");
  }

  const TPoint reduced = HckReducedSize(width, height, maxWidth, maxHeight);
  if (reduced.X != width || reduced.Y != height) {
    TBitmap32 full;
    full.SetSize(width, height);
    FillPlanes(data.data(), data.size(), bits, full);
    data = std::vector<uint8_t>();
    bitmap.SetSize(reduced.X, reduced.Y);
    BoxReduce(bitmap, bitmap.BoundsRect(), full, full.BoundsRect());
  } else {
    bitmap.SetSize(width, height);
    FillPlanes(data.data(), data.size(), bits, bitmap);
  }
  bitmap.Changed();
  byteCount_ = stream.Position() - start;
}

void THckImage::SaveToStream(TStream& stream, const TBitmap32& bitmap) {
  const int64_t start = stream.Position();
  const int32_t width = bitmap.Empty() ? 0 : bitmap.Width();
  const int32_t height = bitmap.Empty() ? 0 : bitmap.Height();
  uint8_t header[kHeaderSize] = {'H', 'C', 'K', 0};
  WriteLE32(header + 4, static_cast<uint32_t>(width));
  WriteLE32(header + 8, static_cast<uint32_t>(height));
  WriteLE32(header + 12, 1);
  header[16] = 8;  // alpha
  header[17] = 8;  // red
  header[18] = 8;  // green
  header[19] = 8;  // blue
  header[20] = 0;  // grey
  header[21] = 1;  // packed
  stream.WriteBuffer(header, kHeaderSize);
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (n > 0) {
    std::vector<uint8_t> packed;
    try {
      std::vector<uint8_t> planes(n * 4);
      const TColor32* px = bitmap.Bits();
      for (size_t i = 0; i < n; ++i) {
        const TColor32 c = px[i];
        planes[i] = static_cast<uint8_t>(c >> 24);
        planes[n + i] = static_cast<uint8_t>(c >> 16);
        planes[2 * n + i] = static_cast<uint8_t>(c >> 8);
        planes[3 * n + i] = static_cast<uint8_t>(c);
      }
      packed = PackBuffer(planes.data(), planes.size());
    } catch (const std::exception&) {
      RaiseRasterError("Unable to compress");
    }
    stream.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size()));
  }
  width_ = width;
  height_ = height;
  pageCount_ = 1;
  byteCount_ = stream.Position() - start;
}

}  // namespace sw
