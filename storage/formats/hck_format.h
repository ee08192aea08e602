// The in-house HCK picture format: a 24-byte header ("HCK", size, page count, the bit counts of
// the alpha, red, green, blue and grey planes, the method) followed by the planes of each page,
// stored or packed with PackBuffer. Pictures larger than the maximum size are box-reduced.
#pragma once

#include <cstdint>

#include "storage/formats/raster_formats.h"

namespace sw {

class THckImage : public TdtpRaster {
public:
  THckImage() : TdtpRaster(Class()) {}
  static const TdtpRasterClass* Class();

  // Reads page `page`. Faults raise "Image file is corrupted", "Unsupported bitdepth", "No
  // suitable codec found", "Unable to decompress" or "Requested non-existing page". A picture
  // without pixels leaves the bitmap as it is.
  void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                      int maxHeight) override;
  // Writes one page of 8-bit alpha, red, green and blue planes, packed.
  void SaveToStream(TStream& stream, const TBitmap32& bitmap) override;
};

// The size a picture of width x height is reduced to for the maximum size: the nearest integers
// (halves to even) to width x s and height x s with s = min(maxHeight / height, maxWidth / width)
// as a 32-bit float, when 0 < s < 1; otherwise the size itself. Never below 1 x 1.
TPoint HckReducedSize(int32_t width, int32_t height, int maxWidth, int maxHeight);

}  // namespace sw
