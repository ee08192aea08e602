// Measuring and drawing text into a TBitmap32 with a TFont. Drawn pixels carry the coverage-blended
// font colour in their colour bytes and alpha 0, which is what the surface's alpha inversion relies
// on: invert alpha, draw, invert back, and exactly the touched pixels end opaque.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/fonts.h"

namespace sw {

// Format flags of DrawText; the values are those of the window system's text drawing, so stored or
// passed-on format words keep their meaning.
enum TDrawTextFlag : uint32_t {
  dtTop = 0x0,
  dtLeft = 0x0,
  dtCenter = 0x1,
  dtRight = 0x2,
  dtVCenter = 0x4,
  dtBottom = 0x8,
  dtWordBreak = 0x10,
  dtSingleLine = 0x20,
  dtNoClip = 0x100,
  dtCalcRect = 0x400,
  dtNoPrefix = 0x800,
  // Our own, beyond the window system's: draw a mask (TTextTarget's ttAlphaMask) into a
  // transparent target instead of coverage.
  dtAlphaMask = 0x40000000,
};

// Width from the glyph advances (with the face's kerning), height the font's cell height; a text
// with line breaks is measured as one line whose breaks have no width.
TSize TextExtent(const TFont& font, std::u16string_view text, TFontSystem& fonts);

// Draws text into rect of target and returns the height of the text drawn (lines x cell height).
// Lines break at CR, LF and CR LF unless dtSingleLine; with dtWordBreak they also break between
// words to fit the rectangle's width (a word wider than the rectangle keeps a line of its own).
// The horizontal flags place each line, the vertical flags the whole block. Without dtNoClip the
// text is clipped to rect; it is always clipped to the bitmap. Without dtNoPrefix "&&" draws one
// "&" and a single "&" is left out. dtCalcRect draws nothing and sets rect's right and bottom to the
// text's extent. An empty target only measures.
int32_t DrawText(TBitmap32& target, const TFont& font, TRect& rect, uint32_t format, std::u16string_view text,
                 TFontSystem& fonts);
// The same for 8-bit text (UTF-8).
int32_t DrawText(TBitmap32& target, const TFont& font, TRect& rect, uint32_t format, std::string_view text,
                 TFontSystem& fonts);

}  // namespace sw
