// Pictures for the templates this program ships, drawn here rather than taken from anywhere: the
// cutout image (a window in the shape of the magnet), the cutout mask (white paper around the
// magnet and its bleed band) and plain backgrounds. All are drawn with antialiased edges from the
// exact outline of the shape.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/numeric.h"
#include "raster/bitmap32.h"

namespace sw {

enum class TArtworkShape : uint8_t { Rectangle, RoundedRectangle, Ellipse };

// The magnet's outline: a net size in millimetres, its bleed margin and, for a rounded rectangle,
// the corner radius.
struct TArtworkOutline {
  float Width = 0;
  float Height = 0;
  float Bleed = 0;
  TArtworkShape Shape = TArtworkShape::Rectangle;
  float CornerRadius = 0;
  // Pixels per millimetre the pictures are drawn at.
  float PixelsPerMm = 300 / kMmPerInchF;
};

// Most pixels on either side of an artwork picture.
constexpr int32_t kMaxArtworkSide = 8000;

// "rectangle", "rounded" (needs a radius), "round"; nothing for other text.
std::optional<TArtworkShape> ParseArtworkShape(const std::string& text);

// Raises for sizes that are not finite, not positive, a bleed below 0, a radius below 0 or above
// half the shorter side, or a picture beyond kMaxArtworkSide pixels.
void CheckArtworkOutline(const TArtworkOutline& outline);

// The share (0 .. 1) of the pixel around (x, y) in millimetres from the net area's top-left corner
// that lies inside the outline grown by grow millimetres (negative shrinks it).
float ShapeCoverage(const TArtworkOutline& outline, float x, float y, float grow, float pixelMm);

// The cutout image, net size: transparent inside the shape; outside it (the corners a round or
// rounded magnet loses) frame colour at frame alpha, so the design shows where the cut goes; for a
// rectangle entirely transparent. No line is drawn along the cut: on pre-cut paper the picture is
// printed too, and a line a little off the cut would show on the magnet's edge. With clockMarks,
// twelve dark hour marks inside the rim.
std::unique_ptr<TBitmap32> DrawCutoutImage(const TArtworkOutline& outline, TRgbColor frameColour, uint8_t frameAlpha,
                                           bool clockMarks);

// The cutout mask, page size (net plus the bleed all round): opaque white outside the shape grown by
// the bleed, transparent inside, so that on pre-cut paper the background reaches just past the cut.
std::unique_ptr<TBitmap32> DrawCutoutMask(const TArtworkOutline& outline);

// A plain opaque picture of the net size in one colour (0xRRGGBB), shaded gently towards the
// bottom by shade percent (0: flat).
std::unique_ptr<TBitmap32> DrawPlainBackground(const TArtworkOutline& outline, TRgbColor colour, int32_t shade);

}  // namespace sw
