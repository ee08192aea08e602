#include "raster/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "raster/blend.h"
#include "raster/resample_p.h"

namespace sw {

double FilterWidth(TStretchFilter filter) {
  switch (filter) {
    case sfSpline:
    case sfMitchell:
      return 2;
    case sfLanczos:
      return 3;
    default:
      return 1;
  }
}

namespace {

double Sinc(double x) {
  if (x == 0) return 1;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

}  // namespace

double FilterKernel(TStretchFilter filter, double x) {
  const double ax = std::abs(x);
  switch (filter) {
    case sfNearest:
      return (x > -0.5 && x <= 0.5) ? 1 : 0;
    case sfDraft:
    case sfLinear:
      return ax < 1 ? 1 - ax : 0;
    case sfCosine:
      return ax < 1 ? (std::cos(std::numbers::pi * x) + 1) / 2 : 0;
    case sfSpline:
      if (ax < 1) return ax * ax * ax / 2 - x * x + 2.0 / 3.0;
      if (ax < 2) return (2 - ax) * (2 - ax) * (2 - ax) / 6;
      return 0;
    case sfLanczos:
      return ax < 3 ? Sinc(x) * Sinc(x / 3) : 0;
    case sfMitchell:
      if (ax < 1) return (7 * ax * ax * ax - 12 * x * x + 16.0 / 3.0) / 6;
      if (ax < 2) return (-7.0 / 3.0 * ax * ax * ax + 12 * x * x - 20 * ax + 32.0 / 3.0) / 6;
      return 0;
  }
  return 0;
}

void BuildResampleWeights(TStretchFilter filter, int32_t srcLo, int32_t srcHi, int64_t dstSize, int64_t from,
                          int64_t to, std::vector<TWeightEntry>& entries, std::vector<int32_t>& starts) {
  entries.clear();
  starts.clear();
  const double s = static_cast<double>(srcHi - srcLo) / static_cast<double>(dstSize);
  const double width = FilterWidth(filter);
  const bool reduce = s >= 1;
  const double radius = reduce ? width * s : width;
  auto clampIndex = [&](double i) {
    return static_cast<int32_t>(std::clamp<double>(i, srcLo, srcHi - 1));
  };
  for (int64_t d = from; d < to; ++d) {
    starts.push_back(static_cast<int32_t>(entries.size()));
    const size_t first = entries.size();
    // Full-edge mapping: pixel centres map to pixel centres.
    const double u = s * (static_cast<double>(d) + 0.5) + (srcLo - 0.5);
    // Only indexes that can fall inside the source matter once clamped; the far ones repeat the
    // edge pixel, so the list is bounded by the kernel's footprint on the source.
    const double lo = std::floor(u - radius), hi = std::ceil(u + radius);
    int32_t sum = 0;
    for (double i = lo; i <= hi; i += 1) {
      const double k = reduce ? FilterKernel(filter, (u - i) / s) / s : FilterKernel(filter, u - i);
      const int32_t w = Round(k * 256);
      if (w == 0) continue;
      entries.push_back(TWeightEntry{clampIndex(i), w});
      sum += w;
    }
    const size_t n = entries.size() - first;
    if (n == 0) {
      entries.push_back(TWeightEntry{clampIndex(std::floor(u)), 256});
    } else if (sum != 256) {
      entries[first + (n - 1) / 2].Weight += 256 - sum;
    }
  }
  starts.push_back(static_cast<int32_t>(entries.size()));
}

void ResampleVerticalScalar(const TColor32* const* rows, const int32_t* weights, int32_t taps, int32_t count,
                            int32_t* vsum) {
  for (int32_t x = 0; x < count; ++x) {
    int32_t acc[4] = {0, 0, 0, 0};
    for (int32_t k = 0; k < taps; ++k) {
      const TColor32 c = rows[k][x];
      for (int ch = 0; ch < 4; ++ch) acc[ch] += weights[k] * static_cast<int32_t>((c >> (8 * ch)) & 0xFF);
    }
    for (int ch = 0; ch < 4; ++ch) vsum[4 * x + ch] = acc[ch];
  }
}

void ResampleHorizontalScalar(const int32_t* vsum, int32_t base, const TWeightEntry* entries, const int32_t* starts,
                              int32_t count, TColor32* out) {
  // Negative lobes can leave the 0..255 range; the sums are clamped rather than wrapped (with
  // non-negative weights summing to 256 the two agree).
  constexpr int32_t kMax = 255 << 16;
  for (int32_t i = 0; i < count; ++i) {
    int32_t acc[4] = {0, 0, 0, 0};
    for (int32_t k = starts[i]; k < starts[i + 1]; ++k) {
      const int32_t* s = vsum + 4 * (entries[k].Index - base);
      for (int ch = 0; ch < 4; ++ch) acc[ch] += entries[k].Weight * s[ch];
    }
    TColor32 c = 0;
    for (int ch = 0; ch < 4; ++ch) c |= static_cast<TColor32>(std::clamp(acc[ch], 0, kMax) >> 16) << (8 * ch);
    out[i] = c;
  }
}

void PrepareTapPairs(int32_t base, const TWeightEntry* entries, const int32_t* starts, int32_t count,
                     std::vector<TTapPair>& pairs, std::vector<int32_t>& pairStarts) {
  pairs.clear();
  pairStarts.clear();
  auto pack = [](int32_t w0, int32_t w1) {
    return static_cast<int32_t>((static_cast<uint32_t>(w1) << 16) | (static_cast<uint32_t>(w0) & 0xFFFF));
  };
  for (int32_t i = 0; i < count; ++i) {
    pairStarts.push_back(static_cast<int32_t>(pairs.size()));
    int32_t k = starts[i];
    for (; k + 2 <= starts[i + 1]; k += 2) {
      pairs.push_back(TTapPair{4 * (entries[k].Index - base), 4 * (entries[k + 1].Index - base),
                               pack(entries[k].Weight, entries[k + 1].Weight)});
    }
    if (k < starts[i + 1]) {
      const int32_t off = 4 * (entries[k].Index - base);
      pairs.push_back(TTapPair{off, off, pack(entries[k].Weight, 0)});
    }
  }
  pairStarts.push_back(static_cast<int32_t>(pairs.size()));
}

void LinearHorizontalScalar(const TColor32* src, const int32_t* xs, const uint32_t* ws, int32_t count, TColor32* out) {
  for (int32_t i = 0; i < count; ++i) out[i] = CombineReg(src[xs[i]], src[xs[i] + 1], ws[i]);
}

void CombineRowsScalar(const TColor32* a, const TColor32* b, TColor32* out, int32_t count, uint32_t w) {
  for (int32_t i = 0; i < count; ++i) out[i] = CombineReg(a[i], b[i], w);
}

namespace {

// Writes a computed row of pixels into the target by the transfer's draw mode.
struct TRowWriter {
  TDrawMode Mode = dmOpaque;
  TBlendLineEx BlendEx = nullptr;
  uint32_t Master = 255;
  const TPixelCombineEvent* Callback = nullptr;

  void Write(const TColor32* row, TColor32* dst, int32_t count) const {
    switch (Mode) {
      case dmOpaque:
        std::memcpy(dst, row, static_cast<size_t>(count) * sizeof(TColor32));
        break;
      case dmBlend:
        BlendEx(row, dst, count, Master);
        break;
      case dmCustom:
        for (int32_t i = 0; i < count; ++i) (*Callback)(row[i], dst[i], Master);
        break;
    }
  }
};

// Target coordinates [from, to) relative to the target rectangle's start.
struct TSpan {
  int64_t From, To;
};

// Integer mapping of target coordinate d onto [0, srcSize): centre of the target pixel.
inline int32_t NearestIndex(int64_t d, int64_t srcSize, int64_t dstSize) {
  const int64_t v = ((2 * d + 1) * srcSize) / (2 * dstSize);
  return static_cast<int32_t>(std::clamp<int64_t>(v, 0, srcSize - 1));
}

void TransferNearest(TBitmap32& target, const TRect& area, const TRect& tr, const TBitmap32& source,
                     const TRect& sr, const TRowWriter& writer) {
  if (sr.Left < 0 || sr.Top < 0 || sr.Right > source.Width() || sr.Bottom > source.Height()) {
    RaiseTransformError("Invalid SrcRect");
  }
  const int64_t tw = static_cast<int64_t>(tr.Right) - tr.Left, th = static_cast<int64_t>(tr.Bottom) - tr.Top;
  const int32_t n = area.Width();
  std::vector<int32_t> xs(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) xs[static_cast<size_t>(i)] = sr.Left + NearestIndex(static_cast<int64_t>(area.Left) - tr.Left + i, sr.Width(), tw);
  std::vector<TColor32> row(static_cast<size_t>(n));
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    const TColor32* src = source.ScanLine(sr.Top + NearestIndex(static_cast<int64_t>(y) - tr.Top, sr.Height(), th));
    for (int32_t i = 0; i < n; ++i) row[static_cast<size_t>(i)] = src[xs[static_cast<size_t>(i)]];
    writer.Write(row.data(), target.ScanLine(y) + area.Left, n);
  }
}

// Integer distribution of srcSize over dstSize: coordinate j starts at floor(j * W / w), which is
// what spreading the remainder with an accumulator gives; a block never holds fewer than one.
inline void BoxSpan(int64_t j, int64_t srcSize, int64_t dstSize, int32_t& start, int32_t& count) {
  int64_t s = j * srcSize / dstSize, e = (j + 1) * srcSize / dstSize;
  if (s >= srcSize) s = srcSize - 1;
  if (e <= s) e = s + 1;
  start = static_cast<int32_t>(s);
  count = static_cast<int32_t>(e - s);
}

void TransferBox(TBitmap32& target, const TRect& area, const TRect& tr, const TBitmap32& source, const TRect& sr,
                 const TRowWriter& writer) {
  const int64_t sw = sr.Width(), sh = sr.Height();
  const int64_t tw = static_cast<int64_t>(tr.Right) - tr.Left, th = static_cast<int64_t>(tr.Bottom) - tr.Top;
  const int32_t cols = area.Width();
  std::vector<int32_t> colStart(static_cast<size_t>(cols)), colCount(static_cast<size_t>(cols));
  for (int32_t i = 0; i < cols; ++i) {
    BoxSpan(static_cast<int64_t>(area.Left) - tr.Left + i, sw, tw, colStart[static_cast<size_t>(i)],
            colCount[static_cast<size_t>(i)]);
  }
  const int32_t firstCol = colStart.front(), lastCol = colStart.back() + colCount.back();
  std::vector<uint64_t> sums(static_cast<size_t>(lastCol - firstCol) * 4);
  std::vector<TColor32> row(static_cast<size_t>(cols));
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    int32_t rowStart, rowCount;
    BoxSpan(static_cast<int64_t>(y) - tr.Top, sh, th, rowStart, rowCount);
    std::fill(sums.begin(), sums.end(), 0);
    for (int32_t r = 0; r < rowCount; ++r) {
      const TColor32* src = source.ScanLine(sr.Top + rowStart + r) + sr.Left + firstCol;
      uint64_t* s = sums.data();
      for (int32_t x = 0; x < lastCol - firstCol; ++x, s += 4) {
        const TColor32 c = src[x];
        s[0] += c & 0xFF;
        s[1] += (c >> 8) & 0xFF;
        s[2] += (c >> 16) & 0xFF;
        s[3] += c >> 24;
      }
    }
    for (int32_t i = 0; i < cols; ++i) {
      uint64_t acc[4] = {0, 0, 0, 0};
      const uint64_t* s = sums.data() + static_cast<size_t>(colStart[static_cast<size_t>(i)] - firstCol) * 4;
      for (int32_t k = 0; k < colCount[static_cast<size_t>(i)]; ++k, s += 4) {
        acc[0] += s[0];
        acc[1] += s[1];
        acc[2] += s[2];
        acc[3] += s[3];
      }
      const uint64_t n = static_cast<uint64_t>(colCount[static_cast<size_t>(i)]) * static_cast<uint64_t>(rowCount);
      row[static_cast<size_t>(i)] = static_cast<TColor32>(acc[0] / n) | static_cast<TColor32>(acc[1] / n) << 8 |
                                    static_cast<TColor32>(acc[2] / n) << 16 | static_cast<TColor32>(acc[3] / n) << 24;
    }
    writer.Write(row.data(), target.ScanLine(y) + area.Left, cols);
  }
}

// Index and left (or upper) weight of the linear enlargement for target coordinate d.
inline void LinearTap(int64_t d, int32_t srcLo, int32_t srcHi, int64_t dstSize, int32_t& index, uint32_t& weight) {
  const double s = static_cast<double>(srcHi - srcLo) / static_cast<double>(dstSize);
  double u = s * (static_cast<double>(d) + 0.5) + (srcLo - 0.5);
  u = std::clamp<double>(u, srcLo, srcHi - 1);
  const double f = std::floor(u);
  index = static_cast<int32_t>(f);
  weight = static_cast<uint32_t>(256 - Round((u - f) * 256));
  // The right neighbour must exist: the last column is reached from its left neighbour.
  if (index >= srcHi - 1) {
    index = srcHi - 2;
    weight = 0;
  }
}

void TransferLinear(TBitmap32& target, const TRect& area, const TRect& tr, const TBitmap32& source, const TRect& sr,
                    const TRowWriter& writer) {
  const int64_t tw = static_cast<int64_t>(tr.Right) - tr.Left, th = static_cast<int64_t>(tr.Bottom) - tr.Top;
  const int32_t n = area.Width();
  std::vector<int32_t> xs(static_cast<size_t>(n));
  std::vector<uint32_t> wxs(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    LinearTap(static_cast<int64_t>(area.Left) - tr.Left + i, sr.Left, sr.Right, tw, xs[static_cast<size_t>(i)],
              wxs[static_cast<size_t>(i)]);
  }
  // Horizontal results of a source row are kept while consecutive target rows use it.
  std::vector<TColor32> upper(static_cast<size_t>(n)), lower(static_cast<size_t>(n)), row(static_cast<size_t>(n));
  int32_t upperRow = -1, lowerRow = -1;
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    int32_t sy;
    uint32_t wy;
    LinearTap(static_cast<int64_t>(y) - tr.Top, sr.Top, sr.Bottom, th, sy, wy);
    if (upperRow != sy) {
      if (lowerRow == sy) {
        std::swap(upper, lower);
        std::swap(upperRow, lowerRow);
      } else {
        LinearHorizontalSse2(source.ScanLine(sy), xs.data(), wxs.data(), n, upper.data());
        upperRow = sy;
      }
    }
    if (lowerRow != sy + 1) {
      LinearHorizontalSse2(source.ScanLine(sy + 1), xs.data(), wxs.data(), n, lower.data());
      lowerRow = sy + 1;
    }
    CombineRowsSse2(upper.data(), lower.data(), row.data(), n, wy);
    writer.Write(row.data(), target.ScanLine(y) + area.Left, n);
  }
}

void TransferResampled(TBitmap32& target, const TRect& area, const TRect& tr, const TBitmap32& source,
                       const TRect& sr, TStretchFilter filter, const TRowWriter& writer) {
  const int64_t tw = static_cast<int64_t>(tr.Right) - tr.Left, th = static_cast<int64_t>(tr.Bottom) - tr.Top;
  std::vector<TWeightEntry> hEntries, vEntries;
  std::vector<int32_t> hStarts, vStarts;
  BuildResampleWeights(filter, sr.Left, sr.Right, tw, static_cast<int64_t>(area.Left) - tr.Left,
                       static_cast<int64_t>(area.Right) - tr.Left, hEntries, hStarts);
  BuildResampleWeights(filter, sr.Top, sr.Bottom, th, static_cast<int64_t>(area.Top) - tr.Top,
                       static_cast<int64_t>(area.Bottom) - tr.Top, vEntries, vStarts);
  int32_t xMin = sr.Right, xMax = sr.Left - 1;
  for (const TWeightEntry& e : hEntries) {
    xMin = std::min(xMin, e.Index);
    xMax = std::max(xMax, e.Index);
  }
  const int32_t span = xMax - xMin + 1;
  const int32_t n = area.Width();
  std::vector<int16_t> hi(static_cast<size_t>(span) * 4), lo(static_cast<size_t>(span) * 4);
  std::vector<TTapPair> pairs;
  std::vector<int32_t> pairStarts;
  PrepareTapPairs(xMin, hEntries.data(), hStarts.data(), n, pairs, pairStarts);
  std::vector<TColor32> row(static_cast<size_t>(n));
  std::vector<const TColor32*> rows;
  std::vector<int32_t> weights;
  for (int32_t y = area.Top; y < area.Bottom; ++y) {
    const size_t vi = static_cast<size_t>(y - area.Top);
    rows.clear();
    weights.clear();
    for (int32_t k = vStarts[vi]; k < vStarts[vi + 1]; ++k) {
      rows.push_back(source.ScanLine(vEntries[static_cast<size_t>(k)].Index) + xMin);
      weights.push_back(vEntries[static_cast<size_t>(k)].Weight);
    }
    ResampleVerticalSse2(rows.data(), weights.data(), static_cast<int32_t>(rows.size()), span, hi.data(), lo.data());
    ResampleHorizontalPairsSse2(hi.data(), lo.data(), pairs.data(), pairStarts.data(), n, row.data());
    writer.Write(row.data(), target.ScanLine(y) + area.Left, n);
  }
}

}  // namespace

void TransferStretched(TBitmap32* target, const TRect& targetRect, const TRect& targetClip,
                       const TBitmap32* source, const TRect& sourceRect, TStretchFilter filter,
                       TDrawMode drawMode, const TPixelCombineEvent& callback) {
  if (source && source->Empty()) return;
  if (!target || target->Empty()) RaiseTransformError("Destination bitmap is nil or empty");
  if (!source) RaiseTransformError("Source bitmap is nil or empty");
  if (sourceRect.IsEmpty()) return;
  if (sourceRect.Left < 0 || sourceRect.Top < 0 || sourceRect.Right > source->Width() ||
      sourceRect.Bottom > source->Height()) {
    RaiseTransformError("Source rectangle is invalid");
  }
  if (targetRect.IsEmpty()) return;
  const TRect area = IntersectRect(IntersectRect(targetClip, target->BoundsRect()), targetRect);
  if (area.IsEmpty()) return;
  if (drawMode == dmCustom && !callback) drawMode = dmOpaque;
  const uint32_t master = std::min<uint32_t>(source->MasterAlpha, 255);
  if (drawMode == dmBlend && master == 0) return;

  const int64_t tw = static_cast<int64_t>(targetRect.Right) - targetRect.Left;
  const int64_t th = static_cast<int64_t>(targetRect.Bottom) - targetRect.Top;
  const int32_t sw = sourceRect.Width(), sh = sourceRect.Height();
  const int32_t n = area.Width();

  if (tw == sw && th == sh) {
    // Same size: the target rectangle lies within a source width of the area, so the offsets fit.
    const int32_t dx = static_cast<int32_t>(static_cast<int64_t>(area.Left) - targetRect.Left);
    const int32_t dy = static_cast<int32_t>(static_cast<int64_t>(area.Top) - targetRect.Top);
    const TBlendLine blend = BlendLineOf(source->CombineMode);
    const TBlendLineEx blendEx = BlendLineExOf(source->CombineMode);
    for (int32_t y = area.Top; y < area.Bottom; ++y) {
      const TColor32* src = source->ScanLine(sourceRect.Top + dy + (y - area.Top)) + sourceRect.Left + dx;
      TColor32* dst = target->ScanLine(y) + area.Left;
      switch (drawMode) {
        case dmOpaque:
          std::memmove(dst, src, static_cast<size_t>(n) * sizeof(TColor32));
          break;
        case dmBlend:
          if (master < 255) {
            blendEx(src, dst, n, master);
          } else {
            blend(src, dst, n);
          }
          break;
        case dmCustom:
          for (int32_t i = 0; i < n; ++i) callback(src[i], dst[i], master);
          break;
      }
    }
    return;
  }

  TRowWriter writer;
  writer.Mode = drawMode;
  writer.BlendEx = BlendLineExOf(source->CombineMode);
  writer.Master = master;
  writer.Callback = &callback;
  const bool smaller = tw < sw && th < sh;
  const bool larger = tw > sw && th > sh;
  switch (filter) {
    case sfNearest:
      TransferNearest(*target, area, targetRect, *source, sourceRect, writer);
      break;
    case sfDraft:
      if (smaller) {
        TransferBox(*target, area, targetRect, *source, sourceRect, writer);
      } else if (sw < 2 || sh < 2) {
        TransferResampled(*target, area, targetRect, *source, sourceRect, sfLinear, writer);
      } else {
        TransferLinear(*target, area, targetRect, *source, sourceRect, writer);
      }
      break;
    case sfLinear:
      if (larger && sw > 1 && sh > 1) {
        TransferLinear(*target, area, targetRect, *source, sourceRect, writer);
      } else {
        TransferResampled(*target, area, targetRect, *source, sourceRect, sfLinear, writer);
      }
      break;
    default:
      TransferResampled(*target, area, targetRect, *source, sourceRect, filter, writer);
      break;
  }
}

void StretchAuto(TBitmap32* target, const TRect& targetRect, const TBitmap32* source, const TRect& sourceRect,
                 TStretchFilter filter, TDrawMode drawMode, const TPixelCombineEvent& callback) {
  if (source && source->Empty()) return;
  if (!target || target->Empty()) RaiseTransformError("Destination bitmap is nil or empty");
  if (!source) RaiseTransformError("Source bitmap is nil or empty");
  auto extent = [](int32_t lo, int32_t hi) { return static_cast<int64_t>(hi) - lo; };
  if (filter == sfLinear && drawMode == dmOpaque &&
      extent(sourceRect.Left, sourceRect.Right) >= extent(targetRect.Left, targetRect.Right) &&
      extent(sourceRect.Top, sourceRect.Bottom) >= extent(targetRect.Top, targetRect.Bottom)) {
    BoxReduce(*target, targetRect, *source, sourceRect);
    return;
  }
  TransferStretched(target, targetRect, target->BoundsRect(), source, sourceRect, filter, drawMode, callback);
}

void StoreBoxAverages(TBitmap32& target, const TRect& area, const TRect& targetRect, const TBitmap32& source,
                      const TRect& sourceRect) {
  TransferBox(target, area, targetRect, source, sourceRect, TRowWriter{});
}

}  // namespace sw
