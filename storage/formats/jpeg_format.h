// JPEG pictures through libjpeg: most accurate decoding with scaling chosen from the maximum
// size, greyscale and CMYK/YCCK converted to RGB (inverted Adobe CMYK included; an embedded ICC
// profile is skipped, not applied), the EXIF orientation applied, and writing at a given quality.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/formats/raster_formats.h"

namespace sw {

// The decoder scale denominator (1, 2, 4 or 8) for a picture of width x height: it doubles
// while both sides are at least twice the maximum times the denominator and it is below 5.
// A maximum of 0 or less in either direction means no limit (denominator 1).
int JpegScaleDenominator(int64_t width, int64_t height, int maxWidth, int maxHeight);

// The EXIF orientation (1..8) of a JPEG, read from its markers before the first scan; 1 when it
// has none or the data is damaged. Decoding applies it: sizes are those of the upright picture.
int JpegOrientation(const uint8_t* data, size_t size);

struct TJpegDecodeResult {
  size_t consumed = 0;     // bytes read through the end-of-image marker
  int32_t width = 0;       // the picture's own size upright, before scaling
  int32_t height = 0;
  bool decoded = false;    // false when decoding the pixels failed (the bitmap is then as before)
  bool damaged = false;    // the data ended early or was corrupt: decoded, but not all as stored
};

// Decodes a JPEG into bitmap, fully opaque and upright, at the scale JpegScaleDenominator chooses
// for the upright size. Errors while reading the header raise "JPEG error #%d" with libjpeg's
// message number; a failure while decoding the pixels leaves bitmap as it was and raises nothing
// (decoded is then false).
TJpegDecodeResult DecodeJpeg(const uint8_t* data, size_t size, TBitmap32& bitmap, int maxWidth,
                             int maxHeight);

// The size DecodeJpeg gives the picture (after its scaling), read from the header alone: nothing
// is decoded. Raises what DecodeJpeg raises before it decodes the pixels.
void JpegDecodedSize(const uint8_t* data, size_t size, int maxWidth, int maxHeight, int32_t& width,
                     int32_t& height);

// Writes bitmap as a 24-bit colour JPEG (alpha dropped) at the libjpeg quality (1..100).
void EncodeJpeg(const TBitmap32& bitmap, TStream& out, int quality);

class TdtpJpgFormat : public TdtpRaster {
public:
  TdtpJpgFormat() : TdtpRaster(Class()) {}
  static const TdtpRasterClass* Class();

  void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                      int maxHeight) override;
  void SaveToStream(TStream& stream, const TBitmap32& bitmap) override;

  int Quality = 90;
};

}  // namespace sw
