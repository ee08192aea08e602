// Feeds arbitrary bytes to the raw bitmap stream form (width, height, pixels); the bytes after the
// pixels are a drawing script run on the loaded bitmap: one operation byte, then its arguments as
// 32-bit little-endian values (missing bytes read as 0). Clip rectangles come from the script too,
// so every clipped operation meets clips far larger than the bitmap.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/exception.h"
#include "base/stream.h"
#include "raster/bitmap32.h"
#include "raster/polygon32.h"

namespace {

class TScript {
public:
  TScript(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  int32_t Int() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
    int32_t r;
    std::memcpy(&r, &v, 4);
    return r;
  }
  uint32_t Color() { return static_cast<uint32_t>(Int()); }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void RunScript(sw::TBitmap32& b, TScript& s) {
  using namespace sw;
  // Bounded so that a long input cannot turn into a long run of whole-bitmap operations.
  for (int ops = 0; ops < 64 && !s.AtEnd(); ++ops) {
    switch (s.Byte() % 16) {
      case 0: {
        const int32_t l = s.Int(), t = s.Int(), r = s.Int(), btm = s.Int();
        b.SetClipRect(MakeRect(l, t, r, btm));
        break;
      }
      case 1: {
        const int32_t x1 = s.Int(), y = s.Int(), x2 = s.Int();
        b.HorzLine(x1, y, x2, s.Color());
        break;
      }
      case 2: {
        const int32_t x = s.Int(), y1 = s.Int(), y2 = s.Int();
        b.VertLine(x, y1, y2, s.Color());
        break;
      }
      case 3: {
        const int32_t x = s.Int(), y = s.Int();
        b.SetPixelS(x, y, b.PixelS(y, x) ^ s.Color());
        break;
      }
      case 4: {
        const int32_t x = s.Int(), y = s.Int();
        b.SetPixelTS(x, y, s.Color());
        break;
      }
      case 5: {
        const int32_t x1 = s.Int(), y1 = s.Int(), x2 = s.Int(), y2 = s.Int();
        b.LineTS(x1, y1, x2, y2, s.Color());
        break;
      }
      case 6: {
        const int32_t x1 = s.Int(), y1 = s.Int(), x2 = s.Int(), y2 = s.Int();
        b.LineXS(x1, y1, x2, y2, s.Color());
        break;
      }
      case 7: {
        const int32_t x = s.Int(), y = s.Int();
        b.PlotAntialiased(x, y, s.Color());
        break;
      }
      case 8: {
        const int32_t x1 = s.Int(), y = s.Int(), x2 = s.Int();
        b.HorzLineStippled(x1, y, x2);
        break;
      }
      case 9: {
        const int32_t x = s.Int(), y1 = s.Int(), y2 = s.Int();
        b.VertLineStippled(x, y1, y2);
        break;
      }
      case 10: {
        const int32_t x = s.Int(), y = s.Int();
        // Far-away ends walk up to 65536 steps; two of them per operation are enough.
        b.MoveTo(x, y);
        const int32_t x2 = s.Int(), y2 = s.Int();
        b.LineToStippled(x2, y2);
        break;
      }
      case 11: {
        const int32_t l = s.Int(), t = s.Int(), r = s.Int(), btm = s.Int();
        b.FillRectT(MakeRect(l, t, r, btm), s.Color());
        break;
      }
      case 12: {
        const int32_t l = s.Int(), t = s.Int(), r = s.Int(), btm = s.Int();
        b.FrameRect(MakeRect(l, t, r, btm), s.Color());
        break;
      }
      case 13: {
        const int32_t x1 = s.Int(), y1 = s.Int(), x2 = s.Int(), y2 = s.Int();
        b.FrameRectStippled(x1, y1, x2, y2);
        break;
      }
      case 14: {
        TArrayOfColor32 pattern(s.Byte() % 8);
        for (TColor32& c : pattern) c = s.Color();
        b.SetStipple(pattern);
        b.CombineMode = pattern.size() % 2 ? cmMerge : cmBlend;
        break;
      }
      case 15: {
        TPolygon32 p;
        const int n = s.Byte() % 8;
        for (int i = 0; i < n; ++i) {
          const int32_t x = s.Int(), y = s.Int();
          p.AddPoint(TFixedPoint{x, y});
        }
        p.Antialiased = n % 2 != 0;
        const TColor32 c = s.Color();
        p.DrawFill(b, c);
        p.DrawEdge(b, c);
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::TReadOnlyMemoryStream stream(data, static_cast<int64_t>(size));
  sw::TBitmap32 bitmap;
  try {
    bitmap.LoadFromStream(stream);
    sw::TMemoryStream out;
    bitmap.SaveToStream(out);
    const size_t used = static_cast<size_t>(stream.Position());
    TScript script(data + used, size - used);
    RunScript(bitmap, script);
  } catch (const sw::Exception&) {
  }
  return 0;
}
