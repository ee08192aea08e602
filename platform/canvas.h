// The drawing context of a device (a window, a printer page, a bitmap): pens, brushes, figures and
// bitmap output. The engine draws its feedback and shows its rendered bitmaps only through this
// interface, so the same code runs on a window, on paper and headless in tests.
#pragma once

#include <cstdint>
#include <memory>

#include "raster/bitmap32.h"

namespace sw {

enum TPenStyle { psSolid = 0, psDot = 1, psClear = 2 };
// pmCopy stores the pen colour; pmXor flips the colour bits of the pen colour, so drawing the same
// figure twice restores the device.
enum TPenMode { pmCopy = 0, pmXor = 1 };
enum TBrushStyle { bsSolid = 0, bsClear = 1 };
// How a stretched bitmap is resampled: the nearest pixel, or the average of the covered pixels.
enum TStretchMode { smNearest = 0, smHalftone = 1 };

struct TPen {
  TColor32 Color = clBlack32;  // RGB bits used
  int32_t Width = 1;           // widths above 1 draw squares of that size along the line, never dotted
  TPenStyle Style = psSolid;
  TPenMode Mode = pmCopy;
  friend bool operator==(const TPen&, const TPen&) = default;
};

struct TBrush {
  TColor32 Color = clWhite32;  // RGB bits used
  TBrushStyle Style = bsSolid;
  friend bool operator==(const TBrush&, const TBrush&) = default;
};

class TCanvas {
public:
  virtual ~TCanvas() = default;

  virtual void SetPen(const TPen& pen) = 0;
  virtual const TPen& Pen() const = 0;
  virtual void SetBrush(const TBrush& brush) = 0;
  virtual const TBrush& Brush() const = 0;
  // Device pixels drawing may touch; always inside the device.
  virtual TRect ClipRect() const = 0;
  virtual void SetClipRect(const TRect& clip) = 0;

  virtual void MoveTo(int32_t x, int32_t y) = 0;
  // A line with the pen from the current point to (x, y), the end pixel excluded, so that joined
  // lines touch every pixel once; (x, y) becomes the current point.
  virtual void LineTo(int32_t x, int32_t y) = 0;
  // Joined lines through the points (nothing for fewer than 2).
  virtual void Polyline(const TPoint* points, int32_t count) = 0;
  // A closed outline with the pen, the inside (alternate rule) with the brush.
  virtual void Polygon(const TPoint* points, int32_t count) = 0;
  // Outline on the rectangle's edge pixels (right and bottom exclusive), inside with the brush.
  virtual void Rectangle(const TRect& r) = 0;
  // The ellipse inscribed in r: outline with the pen, inside with the brush.
  virtual void Ellipse(const TRect& r) = 0;
  // Fills r with a colour regardless of pen and brush (copy mode).
  virtual void FillRect(const TRect& r, TColor32 color) = 0;

  // Copies the bitmap's pixels 1:1 with its top-left corner at (x, y).
  virtual void DrawBitmap(int32_t x, int32_t y, const TBitmap32& bitmap) = 0;
  // Draws the source part of the bitmap stretched onto dest; a dest narrower than zero (Right <
  // Left) or lower than zero mirrors. An empty or invalid source part draws nothing.
  virtual void StretchBitmap(const TRect& dest, const TBitmap32& bitmap, const TRect& source,
                             TStretchMode mode) = 0;
  // Copies an opaque picture 1:1 with its top-left corner at (x, y), only what falls inside clip:
  // a picture laid at many places, which a canvas that keeps pictures (a printer into a file, say)
  // may send once. The picture must not change while the canvas lasts. Drawn as its part by
  // default.
  virtual void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                            const TRect& clip) {
    if (!picture || picture->Empty()) return;
    const TRect part = IntersectRect(TRect{x, y, x + picture->Width(), y + picture->Height()}, clip);
    if (part.IsEmpty()) return;
    StretchBitmap(part, *picture, TRect{part.Left - x, part.Top - y, part.Right - x, part.Bottom - y}, smHalftone);
  }
};

}  // namespace sw
