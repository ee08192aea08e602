// The GIF format: our codec, decoding the first image of a GIF87a/GIF89a file onto its logical
// screen and encoding with quantisation to at most 256 colours, Floyd-Steinberg dithering and
// LZW, and its registry class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "storage/formats/raster_formats.h"

namespace sw {

// True when the data begins with "GIF87a" or "GIF89a" (false for shorter data).
bool IsGif(const uint8_t* data, size_t size);

// Decodes the first image onto a cleared surface of the logical screen size: covered pixels are
// opaque with their palette colour, transparent or uncovered ones transparent black. A screen
// far beyond what the image data can cover is cut to the image, and a screen beyond a positive
// maxWidth x maxHeight is sampled down to fit. Returns the bytes consumed (through the trailer,
// or through the first image when more images follow). Faults raise ERasterError; data ending
// inside an announced block raises "Premature end of data", except inside the image's data once
// some of it was read: the rows it holds are shown and warning (when given) says so.
// screenWidth and screenHeight (when given) receive the screen's size before any sampling.
size_t DecodeGif(const uint8_t* data, size_t size, TBitmap32& bitmap, int maxWidth = 0,
                 int maxHeight = 0, std::string* warning = nullptr, uint32_t* screenWidth = nullptr,
                 uint32_t* screenHeight = nullptr);

// Writes bitmap as a GIF89a: pixels with alpha below alphaThreshold become the transparent index,
// whose palette entry is set to transparentColor; an empty bitmap raises.
void EncodeGif(const TBitmap32& bitmap, TStream& out, uint32_t alphaThreshold = 32,
               TColor32 transparentColor = 0);

class TdtpGifFormat : public TdtpRaster {
public:
  TdtpGifFormat() : TdtpRaster(Class()) {}
  static const TdtpRasterClass* Class();

  // The first image, on a surface of the logical screen size (bounded as DecodeGif says).
  void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                      int maxHeight) override;
  // At most 256 colours; pixels with alpha below AlphaThreshold become transparent.
  void SaveToStream(TStream& stream, const TBitmap32& bitmap) override;

  uint32_t AlphaThreshold = 32;
  TColor32 TransparentColor = 0;
};

}  // namespace sw
