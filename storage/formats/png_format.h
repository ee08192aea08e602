// The PNG format: our codec, decoding every colour type and bit depth (with palettes, tRNS and
// Adam7) into 32-bit pixels and encoding as 8-bit truecolour with alpha (zlib does inflate and
// deflate), and its registry class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/formats/raster_formats.h"

namespace sw {

// True when the data begins with the eight-byte PNG signature (false for shorter data).
bool IsPng(const uint8_t* data, size_t size);

// Decodes the PNG into bitmap (resized to the image, or sampled down to fit a positive maxWidth x
// maxHeight, aspect kept, and turned upright by its eXIf orientation); returns the bytes consumed
// through IEND and the picture's own size in width and height when they are given. A picture of more than TBitmap32::kMaxPixels pixels is
// refused before anything is allocated. Every fault raises ERasterError; the bitmap may then
// hold a partial picture.
size_t DecodePng(const uint8_t* data, size_t size, TBitmap32& bitmap, int maxWidth = 0,
                 int maxHeight = 0, uint32_t* width = nullptr, uint32_t* height = nullptr);

// Writes bitmap as a truecolour-with-alpha, 8-bit PNG at zlib level 9; an empty bitmap raises.
void EncodePng(const TBitmap32& bitmap, TStream& out);

class TdtpPngFormat : public TdtpRaster {
public:
  TdtpPngFormat() : TdtpRaster(Class()) {}
  static const TdtpRasterClass* Class();

  // Page 0, sampled down while decoding when it exceeds the maximum size.
  void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                      int maxHeight) override;
  // A truecolour-with-alpha PNG, 8 bits per channel, zlib level 9.
  void SaveToStream(TStream& stream, const TBitmap32& bitmap) override;
};

}  // namespace sw
