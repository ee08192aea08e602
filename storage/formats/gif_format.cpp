// GIF decoding and encoding after the published GIF89a specification (which covers GIF87a),
// with our own LZW in both directions.
#include "storage/formats/gif_format.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/bytes.h"
#include "base/exception.h"
#include "base/numeric.h"

namespace sw {
namespace {

constexpr uint32_t kMaxCodeBits = 12;
constexpr uint32_t kMaxCodes = 1u << kMaxCodeBits;
constexpr uint32_t kNoPrev = 0xFFFFFFFFu;  // no code read since the last clear code

[[noreturn]] void PrematureEnd() { RaiseRasterError("Premature end of data"); }


// Bounds-checked reading of the file's blocks.
class TGifReader {
public:
  TGifReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  const uint8_t* Take(size_t n) {
    if (size_ - pos_ < n) PrematureEnd();
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  uint8_t Byte() { return *Take(1); }
  bool AtEnd() const { return pos_ == size_; }
  size_t Position() const { return pos_; }
  // Skips data sub-blocks through their zero-length terminator.
  void SkipSubBlocks() {
    for (;;) {
      const uint8_t n = Byte();
      if (n == 0) return;
      Take(n);
    }
  }
  // Appends the data sub-blocks through their terminator.
  void ReadSubBlocks(std::vector<uint8_t>& out) {
    if (!ReadSubBlocksToEnd(out)) PrematureEnd();
  }
  // The same, but data ending inside the blocks keeps what they held and returns false.
  bool ReadSubBlocksToEnd(std::vector<uint8_t>& out) {
    for (;;) {
      if (AtEnd()) return false;
      const uint8_t n = Byte();
      if (n == 0) return true;
      const size_t have = std::min<size_t>(n, size_ - pos_);
      const uint8_t* p = Take(have);
      out.insert(out.end(), p, p + have);
      if (have < n) return false;
    }
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

struct TGifPalette {
  TColor32 colors[256] = {};
  uint32_t count = 0;
};

void ReadColorTable(TGifReader& reader, uint8_t packed, TGifPalette& palette) {
  palette.count = 2u << (packed & 7);
  const uint8_t* p = reader.Take(3 * size_t(palette.count));
  for (uint32_t i = 0; i < palette.count; ++i)
    palette.colors[i] = 0xFF000000u | (TColor32(p[3 * i]) << 16) | (TColor32(p[3 * i + 1]) << 8) |
                        TColor32(p[3 * i + 2]);
}

// The decoded picture: the screen as the file gives it (width x height) drawn onto a surface of
// outWidth x outHeight, smaller when the load's maximum size asks for it (nearest pixels).
struct TGifTarget {
  uint32_t width, height, outWidth, outHeight;
};

// Receives the image's rows in file order and draws them onto the surface, clipped to the
// screen and sampled down to the surface's size.
class TRowSink {
public:
  TRowSink(TBitmap32& bitmap, const TGifTarget& target, const TGifPalette& palette, int transparent,
           uint32_t left, uint32_t top, uint32_t width, uint32_t height, bool interlaced)
      : bitmap_(bitmap), target_(target), palette_(palette), transparent_(transparent), top_(top),
        height_(height), interlaced_(interlaced) {
    // Surface column ox shows screen column ox * width / outWidth; keep those inside the image.
    for (uint32_t ox = 0; ox < target.outWidth; ++ox) {
      const uint32_t sx = uint32_t(uint64_t(ox) * target.width / target.outWidth);
      if (sx >= left && sx - left < width) columns_.push_back({ox, sx - left});
    }
    // Decoding may stop after the last row that is shown.
    for (uint32_t k = height; k-- > 0;) {
      if (SurfaceRow(k) >= 0) {
        end_ = k + 1;
        break;
      }
    }
  }

  // True once no row still to come is shown on the surface.
  bool Done() const { return row_ >= end_; }
  // Whether the row offset rows after the next one is shown on the surface.
  bool Wants(uint32_t offset) const { return SurfaceRow(uint64_t(row_) + offset) >= 0; }
  // Passes over rows that are not shown.
  void Skip(uint32_t rows) { row_ += rows; }

  // Draws the next row from count indices (fewer than the width for a last, partial row).
  void Put(const uint8_t* indices, uint32_t count) {
    const int64_t oy = SurfaceRow(row_);
    ++row_;
    if (oy < 0) return;
    TColor32* line = bitmap_.ScanLine(int32_t(oy));
    const uint32_t colors = palette_.count;
    for (const TColumn& c : columns_) {
      if (c.image >= count) break;
      const uint32_t idx = indices[c.image];
      if (int(idx) == transparent_) continue;
      if (idx >= colors) RaiseRasterError("GIF colour index beyond the colour table");
      line[c.surface] = palette_.colors[idx];
    }
  }

private:
  // The surface row that shows the image's k-th row in file order; -1 for none. Screen row y is
  // shown by surface row oy when oy * height / outHeight lands on it.
  int64_t SurfaceRow(uint64_t k) const {
    if (k >= height_ || columns_.empty()) return -1;
    const uint64_t y = top_ + FrameRow(uint32_t(k));
    if (y >= target_.height) return -1;
    const uint64_t oy = (y * target_.outHeight + target_.height - 1) / target_.height;
    if (oy >= target_.outHeight || oy * target_.height / target_.outHeight != y) return -1;
    return int64_t(oy);
  }

  // Interlaced images store rows 0, 8, 16, ..., then 4, 12, ..., then 2, 6, ..., then 1, 3, ....
  uint32_t FrameRow(uint32_t k) const {
    if (!interlaced_) return k;
    const uint32_t h = height_;
    const uint32_t n1 = (h + 7) / 8, n2 = (h + 3) / 8, n3 = (h + 1) / 4;
    if (k < n1) return k * 8;
    k -= n1;
    if (k < n2) return 4 + k * 8;
    k -= n2;
    if (k < n3) return 2 + k * 4;
    k -= n3;
    return 1 + k * 2;
  }

  struct TColumn {
    uint32_t surface, image;
  };

  TBitmap32& bitmap_;
  const TGifTarget& target_;
  const TGifPalette& palette_;
  int transparent_;
  uint32_t top_, height_;
  bool interlaced_;
  std::vector<TColumn> columns_;
  uint32_t row_ = 0;
  uint32_t end_ = 0;
};

// Decodes LZW codes row by row, handing every complete row the surface shows to the sink; row
// holds the current row's first filled pixels when the codes stop. The strings of rows the
// surface does not show are only counted, not written out, so that a picture sampled down
// costs little more than its codes.
void DecodeLzwRows(const std::vector<uint8_t>& data, uint32_t minCodeSize, uint32_t width,
                   TRowSink& sink, std::vector<uint8_t>& row, size_t& filled) {
  const uint32_t clear = 1u << minCodeSize, endCode = clear + 1;
  std::vector<uint16_t> prefix(kMaxCodes);
  std::vector<uint8_t> suffix(kMaxCodes), first(kMaxCodes);
  std::vector<uint16_t> length(kMaxCodes);
  std::vector<uint8_t> text(kMaxCodes + 1);
  for (uint32_t i = 0; i < clear; ++i) {
    suffix[i] = first[i] = uint8_t(i);
    length[i] = 1;
  }
  uint32_t codeSize = minCodeSize + 1, next = clear + 2;
  uint32_t prev = kNoPrev;
  const uint8_t* in = data.data();
  const uint8_t* inEnd = in + data.size();
  uint64_t acc = 0;
  uint32_t bits = 0;
  while (!sink.Done()) {
    while (bits < codeSize) {
      if (in == inEnd) return;
      acc |= uint64_t(*in++) << bits;
      bits += 8;
    }
    const uint32_t code = uint32_t(acc) & ((1u << codeSize) - 1);
    acc >>= codeSize;
    bits -= codeSize;

    if (code == clear) {
      codeSize = minCodeSize + 1;
      next = clear + 2;
      prev = kNoPrev;
      continue;
    }
    if (code == endCode) return;
    // Entries above the control codes exist only after a first code, so prev is set for them;
    // the code being defined right now is the previous string plus its own first byte.
    const bool defining = code >= next;
    if (defining && !(code == next && prev != kNoPrev && next < kMaxCodes)) {
      RaiseRasterError("Invalid GIF LZW code");
    }
    const uint32_t len = defining ? uint32_t(length[prev]) + 1 : length[code];

    const uint32_t rowsTouched = uint32_t((filled + len - 1) / width) + 1;
    bool shown = false;
    for (uint32_t t = 0; t < rowsTouched && !shown; ++t) shown = sink.Wants(t);
    if (shown) {
      uint32_t c = defining ? prev : code;
      uint32_t i = defining ? len - 1 : len;
      if (defining) text[len - 1] = first[prev];
      while (i-- > 0) {
        text[i] = suffix[c];
        c = prefix[c];
      }
      size_t at = 0;
      while (at < len && !sink.Done()) {
        const size_t n = std::min<size_t>(len - at, width - filled);
        if (sink.Wants(0)) std::memcpy(row.data() + filled, text.data() + at, n);
        filled += n;
        at += n;
        if (filled == width) {
          if (sink.Wants(0)) {
            sink.Put(row.data(), width);
          } else {
            sink.Skip(1);
          }
          filled = 0;
        }
      }
    } else {
      const size_t total = filled + len;
      sink.Skip(uint32_t(total / width));
      filled = total % width;
    }

    if (prev != kNoPrev && next < kMaxCodes) {
      prefix[next] = uint16_t(prev);
      suffix[next] = defining ? first[prev] : first[code];
      first[next] = first[prev];
      length[next] = uint16_t(length[prev] + 1);
      ++next;
    }
    prev = code;
    if (next == (1u << codeSize) && codeSize < kMaxCodeBits) ++codeSize;
  }
}

// The pixels the LZW data decodes to, up to limit: the string lengths alone, without the
// pixels. Bad codes end the count; the decoding proper reports them.
uint64_t CountLzwPixels(const std::vector<uint8_t>& data, uint32_t minCodeSize, uint64_t limit) {
  const uint32_t clear = 1u << minCodeSize, endCode = clear + 1;
  std::vector<uint16_t> length(kMaxCodes, 1);
  uint32_t codeSize = minCodeSize + 1, next = clear + 2;
  uint32_t prev = kNoPrev;
  uint64_t acc = 0, total = 0;
  uint32_t bits = 0;
  size_t pos = 0;
  while (total < limit) {
    while (bits < codeSize) {
      if (pos == data.size()) return total;
      acc |= uint64_t(data[pos++]) << bits;
      bits += 8;
    }
    const uint32_t code = uint32_t(acc) & ((1u << codeSize) - 1);
    acc >>= codeSize;
    bits -= codeSize;
    if (code == clear) {
      codeSize = minCodeSize + 1;
      next = clear + 2;
      prev = kNoPrev;
      continue;
    }
    if (code == endCode) return total;
    uint32_t len;
    if (code < next) {
      len = length[code];
    } else if (code == next && prev != kNoPrev) {
      len = uint32_t(length[prev]) + 1;
    } else {
      return total;
    }
    total += len;
    if (prev != kNoPrev && next < kMaxCodes) {
      length[next] = uint16_t(length[prev] + 1);
      ++next;
    }
    prev = code;
    if (next == (1u << codeSize) && codeSize < kMaxCodeBits) ++codeSize;
  }
  return std::min(total, limit);
}

// Decodes LZW data into rows of width indices until the sink has every row, the end code comes
// or the data runs out; pixels the data never reaches stay uncovered.
void DecodeLzw(const std::vector<uint8_t>& data, uint32_t minCodeSize, uint32_t width,
               TRowSink& sink) {
  std::vector<uint8_t> row(width);
  size_t filled = 0;
  DecodeLzwRows(data, minCodeSize, width, sink, row, filled);
  if (filled > 0 && !sink.Done() && sink.Wants(0)) sink.Put(row.data(), uint32_t(filled));
}

// The size of the picture. The logical screen is kept while it stays within what the data can
// justify: 2^20 pixels plus four times the pixels the image's LZW data decodes to. A larger screen is cut to the image's right edge and to the bottom of
// the rows that data can reach; still larger, the file is refused. A screen beyond the maximum
// size is then sampled down to fit it, keeping its aspect.
TGifTarget GifTarget(uint32_t screenW, uint32_t screenH, uint32_t left, uint32_t top, uint32_t width,
                     uint32_t height, uint32_t minCodeSize, const std::vector<uint8_t>& data,
                     int maxWidth, int maxHeight) {
  // A screen of no size takes the extent of its image.
  if (screenW == 0) screenW = left + width;
  if (screenH == 0) screenH = top + height;
  if (screenW == 0 || screenH == 0) RaiseRasterError("GIF image has zero width or height");

  const uint64_t decodable = CountLzwPixels(data, minCodeSize, uint64_t(width) * height);
  const uint64_t budget = (uint64_t(1) << 20) + 4 * decodable;
  if (uint64_t(screenW) * screenH > budget) {
    const uint64_t rows = width == 0 ? 0 : std::min<uint64_t>(height, (decodable + width - 1) / width);
    screenW = std::min(screenW, left + width);
    screenH = uint32_t(std::min<uint64_t>(screenH, top + rows));
    if (screenW == 0 || screenH == 0) RaiseRasterError("GIF image has zero width or height");
    if (uint64_t(screenW) * screenH > budget) {
      RaiseRasterError(Format("GIF screen of %u x %u pixels is larger than its data allows",
                              screenW, screenH));
    }
  }

  TGifTarget target{screenW, screenH, screenW, screenH};
  const TRasterSize out = ReducedRasterSize(screenW, screenH, maxWidth, maxHeight);
  target.outWidth = out.width;
  target.outHeight = out.height;
  if (uint64_t(target.outWidth) * target.outHeight > uint64_t(TBitmap32::kMaxPixels)) {
    RaiseRasterError("GIF image too large");
  }
  return target;
}

}  // namespace

bool IsGif(const uint8_t* data, size_t size) {
  return data != nullptr && size >= 6 &&
         (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

size_t DecodeGif(const uint8_t* data, size_t size, TBitmap32& bitmap, int maxWidth, int maxHeight,
                 std::string* warning, uint32_t* screenWidth, uint32_t* screenHeight) {
  if (data == nullptr) PrematureEnd();
  TGifReader reader(data, size);
  if (!IsGif(data, size)) {
    reader.Take(6);
    RaiseRasterError("Invalid GIF signature");
  }
  reader.Take(6);
  const uint8_t* screen = reader.Take(7);
  uint32_t screenW = ReadLE16(screen), screenH = ReadLE16(screen + 2);
  const uint8_t screenFlags = screen[4];
  TGifPalette global;
  if (screenFlags & 0x80) ReadColorTable(reader, screenFlags, global);

  int transparent = -1;
  for (;;) {
    const uint8_t introducer = reader.Byte();
    if (introducer == 0x21) {
      const uint8_t label = reader.Byte();
      if (label == 0xF9) {
        std::vector<uint8_t> body;
        reader.ReadSubBlocks(body);
        if (body.size() >= 4) transparent = (body[0] & 1) ? int(body[3]) : -1;
      } else {
        reader.SkipSubBlocks();
      }
    } else if (introducer == 0x2C) {
      break;
    } else if (introducer == 0x3B) {
      RaiseRasterError("GIF file contains no image");
    } else {
      RaiseRasterError("Invalid GIF block");
    }
  }

  const uint8_t* desc = reader.Take(9);
  const uint32_t left = ReadLE16(desc), top = ReadLE16(desc + 2);
  const uint32_t width = ReadLE16(desc + 4), height = ReadLE16(desc + 6);
  const uint8_t imageFlags = desc[8];
  TGifPalette local;
  if (imageFlags & 0x80) ReadColorTable(reader, imageFlags, local);
  const TGifPalette* palette = (imageFlags & 0x80) ? &local : ((screenFlags & 0x80) ? &global : nullptr);
  if (palette == nullptr) RaiseRasterError("GIF image has no colour table");
  const uint32_t minCodeSize = reader.Byte();
  if (minCodeSize < 1 || minCodeSize >= kMaxCodeBits) RaiseRasterError("Invalid GIF LZW code size");
  std::vector<uint8_t> compressed;
  // A file cut inside the image's data still shows the rows it holds, with a warning.
  const bool whole = reader.ReadSubBlocksToEnd(compressed);
  if (!whole && compressed.empty()) PrematureEnd();

  const TGifTarget target = GifTarget(screenW, screenH, left, top, width, height, minCodeSize,
                                      compressed, maxWidth, maxHeight);
  if (screenWidth) *screenWidth = target.width;
  if (screenHeight) *screenHeight = target.height;
  bitmap.Resize(int32_t(target.outWidth), int32_t(target.outHeight));
  if (bitmap.Empty()) RaiseRasterError("GIF image too large");
  bitmap.Clear(0);
  if (width > 0 && height > 0) {
    TRowSink sink(bitmap, target, *palette, transparent, left, top, width, height,
                  (imageFlags & 0x40) != 0);
    DecodeLzw(compressed, minCodeSize, width, sink);
  }
  bitmap.Changed();
  if (!whole) {
    if (warning) *warning = "GIF file ends inside its image data: the rows it lacks are transparent";
    return reader.Position();
  }

  // What follows the first image counts as consumed through the trailer; a second image, or
  // anything that does not parse, ends the picture without harming it.
  size_t consumed = reader.Position();
  try {
    while (!reader.AtEnd()) {
      const uint8_t introducer = reader.Byte();
      if (introducer == 0x3B) {
        consumed = reader.Position();
        break;
      }
      if (introducer != 0x21) break;
      reader.Byte();
      reader.SkipSubBlocks();
      consumed = reader.Position();
    }
  } catch (const ERasterError&) {
  }
  return consumed;
}

// ---------------------------------------------------------------------------------------------
// Encoding

namespace {

inline uint32_t Rgb(TColor32 c) { return c & 0x00FFFFFFu; }

// Open-addressed table of at most 257 colours.
class TColorSet {
public:
  TColorSet() { std::fill(std::begin(keys_), std::end(keys_), kEmpty); }
  // Returns the colour's index, adding it; -1 once more than limit colours were seen.
  int Add(uint32_t rgb, int limit) {
    uint32_t h = (rgb * 2654435761u) >> 22;
    for (;;) {
      if (keys_[h] == kEmpty) {
        if (int(colors.size()) >= limit) return -1;
        keys_[h] = rgb;
        values_[h] = uint16_t(colors.size());
        colors.push_back(rgb);
        return values_[h];
      }
      if (keys_[h] == rgb) return values_[h];
      h = (h + 1) & 1023;
    }
  }
  int Find(uint32_t rgb) const {
    uint32_t h = (rgb * 2654435761u) >> 22;
    while (keys_[h] != kEmpty) {
      if (keys_[h] == rgb) return values_[h];
      h = (h + 1) & 1023;
    }
    return -1;
  }
  std::vector<uint32_t> colors;

private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
  uint32_t keys_[1024] = {};
  uint16_t values_[1024] = {};
};

struct THistEntry {
  uint8_t c[3];  // 5-bit cell coordinates
  uint32_t count;
  uint64_t sum[3];
};

struct TBox {
  size_t begin, end;
  uint8_t lo[3], hi[3];
  uint64_t count;
};

void Shrink(TBox& box, const std::vector<THistEntry>& entries) {
  box.count = 0;
  for (int k = 0; k < 3; ++k) {
    box.lo[k] = 255;
    box.hi[k] = 0;
  }
  for (size_t i = box.begin; i < box.end; ++i) {
    for (int k = 0; k < 3; ++k) {
      box.lo[k] = std::min(box.lo[k], entries[i].c[k]);
      box.hi[k] = std::max(box.hi[k], entries[i].c[k]);
    }
    box.count += entries[i].count;
  }
}

// Median cut over a histogram of 5 bits per channel; the palette entries are the means of the
// full-precision colours in each box.
std::vector<uint32_t> MedianCut(const TBitmap32& bitmap, uint32_t alphaThreshold, size_t maxColors) {
  std::vector<THistEntry> cells(32768);
  const int64_t n = int64_t(bitmap.Width()) * bitmap.Height();
  const TColor32* px = bitmap.Bits();
  for (int64_t i = 0; i < n; ++i) {
    const TColor32 c = px[i];
    if ((c >> 24) < alphaThreshold) continue;
    const uint32_t r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
    THistEntry& e = cells[((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)];
    ++e.count;
    e.sum[0] += r;
    e.sum[1] += g;
    e.sum[2] += b;
  }
  std::vector<THistEntry> entries;
  for (uint32_t i = 0; i < 32768; ++i) {
    if (cells[i].count == 0) continue;
    THistEntry e = cells[i];
    e.c[0] = uint8_t(i >> 10);
    e.c[1] = uint8_t((i >> 5) & 31);
    e.c[2] = uint8_t(i & 31);
    entries.push_back(e);
  }
  std::vector<TBox> boxes;
  TBox all{0, entries.size(), {}, {}, 0};
  Shrink(all, entries);
  boxes.push_back(all);
  while (boxes.size() < maxColors) {
    // Split the box whose longest side weighted by its population is largest.
    int bestBox = -1, bestAxis = 0;
    double bestScore = 0;
    for (size_t b = 0; b < boxes.size(); ++b) {
      if (boxes[b].end - boxes[b].begin < 2) continue;
      for (int k = 0; k < 3; ++k) {
        const int range = boxes[b].hi[k] - boxes[b].lo[k];
        const double score = double(range) * double(boxes[b].count);
        if (range > 0 && score > bestScore) {
          bestScore = score;
          bestBox = int(b);
          bestAxis = k;
        }
      }
    }
    if (bestBox < 0) break;
    TBox& box = boxes[size_t(bestBox)];
    const int axis = bestAxis;
    std::sort(entries.begin() + ptrdiff_t(box.begin), entries.begin() + ptrdiff_t(box.end),
              [axis](const THistEntry& a, const THistEntry& b) { return a.c[axis] < b.c[axis]; });
    uint64_t half = box.count / 2, running = 0;
    size_t split = box.begin;
    while (split < box.end - 1 && running + entries[split].count <= half) running += entries[split++].count;
    if (split == box.begin) split = box.begin + 1;
    TBox upper{split, box.end, {}, {}, 0};
    box.end = split;
    Shrink(box, entries);
    Shrink(upper, entries);
    boxes.push_back(upper);
  }
  std::vector<uint32_t> palette;
  for (const TBox& box : boxes) {
    uint64_t sum[3] = {0, 0, 0};
    for (size_t i = box.begin; i < box.end; ++i)
      for (int k = 0; k < 3; ++k) sum[k] += entries[i].sum[k];
    uint32_t rgb = 0;
    for (int k = 0; k < 3; ++k)
      rgb = (rgb << 8) | uint32_t(std::min<int64_t>(255, Round64(double(sum[k]) / double(box.count))));
    palette.push_back(rgb);
  }
  return palette;
}

// Nearest palette entry, cached on a grid of 6 bits per channel.
class TNearest {
public:
  explicit TNearest(const std::vector<uint32_t>& palette) : palette_(palette), cache_(1 << 18, -1) {}
  uint8_t Find(int r, int g, int b) {
    const uint32_t key = (uint32_t(r >> 2) << 12) | (uint32_t(g >> 2) << 6) | uint32_t(b >> 2);
    int16_t& slot = cache_[key];
    if (slot < 0) {
      const int cr = (r & ~3) + 2, cg = (g & ~3) + 2, cb = (b & ~3) + 2;
      int best = 0, bestDist = 1 << 30;
      for (size_t i = 0; i < palette_.size(); ++i) {
        const int dr = cr - int((palette_[i] >> 16) & 255), dg = cg - int((palette_[i] >> 8) & 255),
                  db = cb - int(palette_[i] & 255);
        const int dist = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
        if (dist < bestDist) {
          bestDist = dist;
          best = int(i);
        }
      }
      slot = int16_t(best);
    }
    return uint8_t(slot);
  }

private:
  const std::vector<uint32_t>& palette_;
  std::vector<int16_t> cache_;
};

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Floyd-Steinberg error diffusion onto the palette; transparent pixels neither take nor pass error.
void Dither(const TBitmap32& bitmap, uint32_t alphaThreshold, const std::vector<uint32_t>& palette,
            uint8_t transparentIndex, std::vector<uint8_t>& indices) {
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  TNearest nearest(palette);
  // Errors in sixteenths, one spare cell on each side.
  std::vector<int> errA(size_t(w + 2) * 3, 0), errB(size_t(w + 2) * 3, 0);
  int* cur = errA.data();
  int* below = errB.data();
  for (int32_t y = 0; y < h; ++y) {
    const TColor32* src = bitmap.ScanLine(y);
    uint8_t* dst = indices.data() + size_t(y) * size_t(w);
    std::fill(below, below + size_t(w + 2) * 3, 0);
    for (int32_t x = 0; x < w; ++x) {
      const TColor32 c = src[x];
      int* e = cur + size_t(x + 1) * 3;
      if ((c >> 24) < alphaThreshold) {
        dst[x] = transparentIndex;
        continue;
      }
      const int r = Clamp255(int((c >> 16) & 255) + (e[0] + 8 * (e[0] > 0 ? 1 : -1)) / 16);
      const int g = Clamp255(int((c >> 8) & 255) + (e[1] + 8 * (e[1] > 0 ? 1 : -1)) / 16);
      const int b = Clamp255(int(c & 255) + (e[2] + 8 * (e[2] > 0 ? 1 : -1)) / 16);
      const uint8_t idx = nearest.Find(r, g, b);
      dst[x] = idx;
      const uint32_t p = palette[idx];
      const int d[3] = {r - int((p >> 16) & 255), g - int((p >> 8) & 255), b - int(p & 255)};
      int* right = e + 3;
      int* bl = below + size_t(x) * 3;
      for (int k = 0; k < 3; ++k) {
        right[k] += 7 * d[k];
        bl[k] += 3 * d[k];
        bl[3 + k] += 5 * d[k];
        bl[6 + k] += d[k];
      }
    }
    std::swap(cur, below);
  }
}

class TBitWriter {
public:
  explicit TBitWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Put(uint32_t code, uint32_t size) {
    acc_ |= uint64_t(code) << bits_;
    bits_ += size;
    while (bits_ >= 8) {
      out_.push_back(uint8_t(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  void Flush() {
    if (bits_ > 0) out_.push_back(uint8_t(acc_));
    acc_ = 0;
    bits_ = 0;
  }

private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  uint32_t bits_ = 0;
};

// LZW with a clear code whenever the table is full. The decoder defines each entry one code
// later than the encoder does, so the code size grows one entry later here than the table alone
// would say, and the end code takes the width the decoder will expect after the last code.
std::vector<uint8_t> EncodeLzw(const std::vector<uint8_t>& indices, uint32_t minCodeSize) {
  std::vector<uint8_t> out;
  out.reserve(indices.size() / 2 + 16);
  TBitWriter writer(out);
  const uint32_t clear = 1u << minCodeSize, endCode = clear + 1;
  constexpr uint32_t kHashSize = 1 << 14;
  std::vector<uint32_t> keys(kHashSize);
  std::vector<uint16_t> values(kHashSize);
  uint32_t codeSize = minCodeSize + 1, next = clear + 2;
  auto reset = [&] {
    std::fill(keys.begin(), keys.end(), 0u);
    codeSize = minCodeSize + 1;
    next = clear + 2;
  };
  reset();
  writer.Put(clear, codeSize);
  if (indices.empty()) {
    writer.Put(endCode, codeSize);
    writer.Flush();
    return out;
  }
  uint32_t cur = indices[0];
  for (size_t i = 1; i < indices.size(); ++i) {
    const uint32_t byte = indices[i];
    // Keys are stored plus one so that zero marks an empty slot.
    const uint32_t key = ((cur << 8) | byte) + 1;
    uint32_t h = (key * 2654435761u) >> 18;
    bool found = false;
    while (keys[h] != 0) {
      if (keys[h] == key) {
        found = true;
        break;
      }
      h = (h + 1) & (kHashSize - 1);
    }
    if (found) {
      cur = values[h];
      continue;
    }
    writer.Put(cur, codeSize);
    if (next < kMaxCodes) {
      keys[h] = key;
      values[h] = uint16_t(next);
      ++next;
      if (next - 1 == (1u << codeSize)) ++codeSize;
    } else {
      writer.Put(clear, codeSize);
      reset();
    }
    cur = byte;
  }
  writer.Put(cur, codeSize);
  if (next == (1u << codeSize) && codeSize < kMaxCodeBits) ++codeSize;
  writer.Put(endCode, codeSize);
  writer.Flush();
  return out;
}

}  // namespace

void EncodeGif(const TBitmap32& bitmap, TStream& out, uint32_t alphaThreshold, TColor32 transparentColor) {
  if (bitmap.Empty() || bitmap.Width() <= 0 || bitmap.Height() <= 0)
    RaiseRasterError("Cannot write an empty picture as GIF");
  if (bitmap.Width() > 65535 || bitmap.Height() > 65535)
    RaiseRasterError("Picture too large for GIF");
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  const size_t n = size_t(w) * size_t(h);
  const TColor32* px = bitmap.Bits();

  bool anyTransparent = false;
  for (size_t i = 0; i < n && !anyTransparent; ++i) anyTransparent = (px[i] >> 24) < alphaThreshold;
  // One index stays free for transparency, so that no opaque colour has to give up its entry.
  const int maxColors = anyTransparent ? 255 : 256;

  std::vector<uint8_t> indices(n);
  std::vector<uint32_t> palette;
  auto exact = std::make_unique<TColorSet>();
  bool fits = true;
  for (size_t i = 0; i < n; ++i) {
    if ((px[i] >> 24) < alphaThreshold) continue;
    if (exact->Add(Rgb(px[i]), maxColors) < 0) {
      fits = false;
      break;
    }
  }
  uint32_t usage[256] = {};
  if (fits) {
    palette = exact->colors;
    std::sort(palette.begin(), palette.end());
    TColorSet sorted;
    for (uint32_t c : palette) sorted.Add(c, 256);
    uint32_t lastRgb = 0xFFFFFFFFu;
    uint8_t lastIdx = 0;
    for (size_t i = 0; i < n; ++i) {
      if ((px[i] >> 24) < alphaThreshold) continue;
      const uint32_t rgb = Rgb(px[i]);
      if (rgb != lastRgb) {
        lastRgb = rgb;
        lastIdx = uint8_t(sorted.Find(rgb));
      }
      indices[i] = lastIdx;
      ++usage[lastIdx];
    }
  } else {
    palette = MedianCut(bitmap, alphaThreshold, size_t(maxColors));
    Dither(bitmap, alphaThreshold, palette, 0, indices);
    for (size_t i = 0; i < n; ++i)
      if ((px[i] >> 24) >= alphaThreshold) ++usage[indices[i]];
  }

  // The transparent index is the first index no pixel uses (the least used one, lowest first,
  // if all are used; with a free index kept that cannot happen for transparent pictures).
  uint32_t transparentIndex = 0;
  {
    uint32_t least = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < 256; ++i) {
      if (usage[i] < least) {
        least = usage[i];
        transparentIndex = i;
        if (least == 0) break;
      }
    }
  }
  uint32_t entries = uint32_t(palette.size());
  if (anyTransparent) {
    for (size_t i = 0; i < n; ++i)
      if ((px[i] >> 24) < alphaThreshold) indices[i] = uint8_t(transparentIndex);
    entries = std::max(entries, transparentIndex + 1);
  }
  palette.resize(256, 0);
  if (anyTransparent) palette[transparentIndex] = Rgb(transparentColor);
  uint32_t tableBits = 1;
  while ((1u << tableBits) < entries) ++tableBits;

  std::vector<uint8_t> file;
  file.reserve(n / 2 + 1024);
  const char* signature = "GIF89a";
  file.insert(file.end(), signature, signature + 6);
  AppendLE16(file, uint32_t(w));
  AppendLE16(file, uint32_t(h));
  file.push_back(uint8_t(0x80 | ((tableBits - 1) << 4) | (tableBits - 1)));
  file.push_back(0);  // background index
  file.push_back(0);  // no aspect ratio
  for (uint32_t i = 0; i < (1u << tableBits); ++i) {
    file.push_back(uint8_t(palette[i] >> 16));
    file.push_back(uint8_t(palette[i] >> 8));
    file.push_back(uint8_t(palette[i]));
  }
  if (anyTransparent) {
    const uint8_t gce[8] = {0x21, 0xF9, 4, 0x01, 0, 0, uint8_t(transparentIndex), 0};
    file.insert(file.end(), gce, gce + 8);
  }
  file.push_back(0x2C);
  AppendLE16(file, 0);
  AppendLE16(file, 0);
  AppendLE16(file, uint32_t(w));
  AppendLE16(file, uint32_t(h));
  file.push_back(0);  // no local table, not interlaced
  const uint32_t minCodeSize = std::max<uint32_t>(2, tableBits);
  file.push_back(uint8_t(minCodeSize));
  const std::vector<uint8_t> lzw = EncodeLzw(indices, minCodeSize);
  for (size_t pos = 0; pos < lzw.size(); pos += 255) {
    const size_t len = std::min<size_t>(255, lzw.size() - pos);
    file.push_back(uint8_t(len));
    file.insert(file.end(), lzw.begin() + ptrdiff_t(pos), lzw.begin() + ptrdiff_t(pos + len));
  }
  file.push_back(0);
  file.push_back(0x3B);
  out.WriteBuffer(file.data(), int64_t(file.size()));
}

// ---- TdtpGifFormat ----

namespace {

bool GifCanLoad(TStream* stream) { return !stream || StreamStartsWith(*stream, 6, IsGif); }

std::unique_ptr<TdtpRaster> GifCreate() { return std::make_unique<TdtpGifFormat>(); }

const TdtpRasterClass kGifClass{"TdtpGifFormat", GifCreate, GifCanLoad};

}  // namespace

const TdtpRasterClass* TdtpGifFormat::Class() { return &kGifClass; }

void TdtpGifFormat::LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                                   int maxHeight) {
  LoadSinglePage(stream, page, [&](const uint8_t* data, size_t size) {
    std::string warning;
    uint32_t width = 0, height = 0;
    const size_t consumed = DecodeGif(data, size, bitmap, maxWidth, maxHeight, &warning, &width, &height);
    // The screen the picture has before any sampling (cut to what its data can cover).
    return TRasterDecoded{consumed, int32_t(width), int32_t(height), warning};
  });
}

void TdtpGifFormat::SaveToStream(TStream& stream, const TBitmap32& bitmap) {
  SaveWith(stream, bitmap,
           [&](TStream& out) { EncodeGif(bitmap, out, AlphaThreshold, TransparentColor); });
}

}  // namespace sw
