// The PNG and GIF formats of the registry: thin wrappers over our PNG and GIF codecs that read
// the rest of the stream, decode it, and leave the stream just behind the picture.
#pragma once

#include <cstdint>

#include "storage/formats/raster_formats.h"

namespace sw {

class TdtpPngFormat : public TdtpRaster {
public:
  TdtpPngFormat() : TdtpRaster(Class()) {}
  static const TdtpRasterClass* Class();

  void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                      int maxHeight) override;
  // A truecolour-with-alpha PNG, 8 bits per channel, zlib level 9.
  void SaveToStream(TStream& stream, const TBitmap32& bitmap) override;
};

class TdtpGifFormat : public TdtpRaster {
public:
  TdtpGifFormat() : TdtpRaster(Class()) {}
  static const TdtpRasterClass* Class();

  // The first image, on a surface of the logical screen size.
  void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                      int maxHeight) override;
  // At most 256 colours; pixels with alpha below AlphaThreshold become transparent.
  void SaveToStream(TStream& stream, const TBitmap32& bitmap) override;

  uint32_t AlphaThreshold = 32;
  TColor32 TransparentColor = 0;
};

}  // namespace sw
