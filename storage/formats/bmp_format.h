// The Windows bitmap format: reading of 1, 4, 8, 16, 24 and 32 bits per pixel, RLE4 and RLE8,
// bit fields, both row orders, core (12-byte) and info headers (40, 52, 56, 108, 124 bytes);
// writing as 32 bits with alpha or as 24 bits without.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/formats/raster_formats.h"

namespace sw {

// Decodes a bitmap file image (from its "BM" signature) into bitmap, resized to the picture;
// returns the bytes consumed (the file size the header states, bounded by size). Faults raise
// ERasterError; pixels a run-length picture skips are transparent black.
size_t DecodeBmp(const uint8_t* data, size_t size, TBitmap32& bitmap);

// The picture size a bitmap file image states (height negative for top-down rows), read before
// anything is decoded; false when the bytes are too short to state one or are no bitmap file.
bool BmpStatedSize(const uint8_t* data, size_t size, int64_t& width, int64_t& height);

// Writes bitmap as a bottom-up 32-bit bitmap with a 108-byte header whose bit fields name the
// alpha byte, so that readers that know alpha keep it and the others still read the colours.
void EncodeBmp(const TBitmap32& bitmap, TStream& out);
// Writes bitmap as a bottom-up 24-bit bitmap with a 40-byte header and no palette, alpha left
// out (the form of the page thumbnails in a document archive).
void EncodeBmp24(const TBitmap32& bitmap, TStream& out);

class TdtpBmpFormat : public TdtpRaster {
public:
  TdtpBmpFormat() : TdtpRaster(Class()) {}
  static const TdtpRasterClass* Class();

  // With flag 64, every pixel equal to the bottom-left one becomes transparent black.
  void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                      int maxHeight) override;
  void SaveToStream(TStream& stream, const TBitmap32& bitmap) override;
};

}  // namespace sw
