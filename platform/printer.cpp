#include "platform/printer.h"

#include <algorithm>

#include "base/exception.h"

namespace sw {

TPrinterCanvas::TPrinterCanvas(IPrinter& printer) : printer_(printer) {
  const TPrinterSheet s = printer.Sheet();
  sheet_ = TRect{-s.OffsetX, -s.OffsetY, s.Width - s.OffsetX, s.Height - s.OffsetY};
  clip_ = sheet_;
}

void TPrinterCanvas::SetClipRect(const TRect& clip) { clip_ = IntersectRect(clip, sheet_); }

void TPrinterCanvas::RaiseFigure() { RaiseError("The printer draws only pictures"); }

void TPrinterCanvas::MoveTo(int32_t, int32_t) { RaiseFigure(); }
void TPrinterCanvas::LineTo(int32_t, int32_t) { RaiseFigure(); }
void TPrinterCanvas::Polyline(const TPoint*, int32_t) { RaiseFigure(); }
void TPrinterCanvas::Polygon(const TPoint*, int32_t) { RaiseFigure(); }
void TPrinterCanvas::Rectangle(const TRect&) { RaiseFigure(); }
void TPrinterCanvas::Ellipse(const TRect&) { RaiseFigure(); }

void TPrinterCanvas::FillRect(const TRect& r, TColor32 color) {
  if (r.IsEmpty()) return;
  // One pixel stretched over the rectangle is the rectangle, at any printer's resolution.
  TBitmap32 dot;
  dot.SetSize(1, 1);
  dot.SetPixel(0, 0, SetAlpha(color, 255));
  printer_.StretchBand(r, dot);
}

void TPrinterCanvas::DrawBitmap(int32_t x, int32_t y, const TBitmap32& bitmap) {
  if (bitmap.Empty()) return;
  printer_.StretchBand(TRect{x, y, x + bitmap.Width(), y + bitmap.Height()}, bitmap);
}

void TPrinterCanvas::StretchBitmap(const TRect& dest, const TBitmap32& bitmap, const TRect& source,
                                   TStretchMode) {
  if (bitmap.Empty() || source.IsEmpty()) return;
  if (source.Left < 0 || source.Top < 0 || source.Right > bitmap.Width() || source.Bottom > bitmap.Height()) {
    return;
  }
  const bool mirrorX = dest.Right < dest.Left, mirrorY = dest.Bottom < dest.Top;
  const TRect d{std::min(dest.Left, dest.Right), std::min(dest.Top, dest.Bottom), std::max(dest.Left, dest.Right),
                std::max(dest.Top, dest.Bottom)};
  if (d.IsEmpty()) return;
  if (!mirrorX && !mirrorY && source == bitmap.BoundsRect()) {
    printer_.StretchBand(d, bitmap);
    return;
  }
  TBitmap32 part;
  part.SetSize(source.Width(), source.Height());
  for (int32_t y = 0; y < part.Height(); ++y) {
    std::copy_n(bitmap.ScanLine(source.Top + y) + source.Left, part.Width(), part.ScanLine(y));
  }
  if (mirrorX) part.FlipHorizontal();
  if (mirrorY) part.FlipVertical();
  printer_.StretchBand(d, part);
}

}  // namespace sw
