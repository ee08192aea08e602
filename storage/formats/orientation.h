// Picture orientation as cameras record it (the EXIF orientation tag, 1 to 8): how the stored
// pixels are turned and mirrored to stand upright. Decoders apply it, so every later size, zoom
// and print sees the upright picture while the stored bytes stay as the camera wrote them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/bitmap32.h"

namespace sw {

// The orientation in an EXIF (TIFF) block: its first image directory's orientation tag. 1 (as
// stored) for a block without one, a damaged block or a value outside 1..8.
int ExifOrientation(const uint8_t* tiff, size_t size);

// Orientations 5 to 8 turn the picture a quarter: its width and height change places.
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns and mirrors bitmap from its stored orientation to upright; 1 and unknown values leave it.
void ApplyOrientation(TBitmap32& bitmap, int orientation);

}  // namespace sw
