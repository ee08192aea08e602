#include "storage/formats/orientation.h"

#include <cstring>

#include "base/bytes.h"

namespace sw {

int ExifOrientation(const uint8_t* tiff, size_t size) {
  if (!tiff || size < 8) return 1;
  const bool little = tiff[0] == 'I' && tiff[1] == 'I';
  if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 1;
  auto u16 = [&](size_t at) -> uint32_t { return little ? ReadLE16(tiff + at) : ReadBE16(tiff + at); };
  auto u32 = [&](size_t at) -> uint32_t { return little ? ReadLE32(tiff + at) : ReadBE32(tiff + at); };
  if (u16(2) != 42) return 1;
  const uint32_t ifd = u32(4);
  if (ifd > size - 2 || ifd < 8) return 1;
  const uint32_t count = u16(ifd);
  // Entries are 12 bytes; a count reaching beyond the block is cut to what the block holds.
  for (uint32_t i = 0; i < count && ifd + 2 + size_t(i) * 12 + 12 <= size; ++i) {
    const size_t entry = ifd + 2 + size_t(i) * 12;
    if (u16(entry) != 0x0112) continue;
    // A SHORT (type 3) of one value, held in the entry itself.
    if (u16(entry + 2) != 3 || u32(entry + 4) < 1) return 1;
    const uint32_t value = u16(entry + 8);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

void ApplyOrientation(TBitmap32& bitmap, int orientation) {
  if (orientation < 2 || orientation > 8 || bitmap.Empty()) return;
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  const bool swap = OrientationSwapsSides(orientation);
  const int32_t ow = swap ? h : w, oh = swap ? w : h;
  TBitmap32 out;
  out.SetSize(ow, oh);
  for (int32_t y = 0; y < oh; ++y) {
    TColor32* row = out.ScanLine(y);
    for (int32_t x = 0; x < ow; ++x) {
      // The stored pixel that stands at (x, y) once upright.
      int32_t sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x, sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y, sy = x; break;
        case 6: sx = y, sy = h - 1 - x; break;
        case 7: sx = w - 1 - y, sy = h - 1 - x; break;
        case 8: sx = w - 1 - y, sy = x; break;
      }
      row[x] = bitmap.ScanLine(sy)[sx];
    }
  }
  bitmap.SetSize(ow, oh);
  std::memcpy(bitmap.Bits(), out.Bits(), size_t(ow) * size_t(oh) * sizeof(TColor32));
  bitmap.Changed();
}

}  // namespace sw
