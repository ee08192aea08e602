#include "platform/printer.h"

#include <algorithm>

#include <cmath>

#include "base/exception.h"
#include "base/numeric.h"

namespace sw {

namespace {

// Copies the source part of bitmap (inside its bounds) into part.
void CopyPart(const TBitmap32& bitmap, const TRect& source, TBitmap32& part) {
  part.SetSize(source.Width(), source.Height());
  for (int32_t y = 0; y < part.Height(); ++y) {
    std::copy_n(bitmap.ScanLine(source.Top + y) + source.Left, part.Width(), part.ScanLine(y));
  }
}

}  // namespace

TShiftedPrinter::TShiftedPrinter(IPrinter& printer, float offsetX, float offsetY) : printer_(printer) {
  const TPrinterSheet s = printer.Sheet();
  // Device pixels of millimetres at dpi, rounded; an offset beyond the sheet prints nothing.
  auto pixels = [](float mm, int32_t dpi, int32_t side) {
    const double v = static_cast<double>(mm) * std::max(dpi, 1) / kMmPerInch;
    if (!std::isfinite(v) || std::fabs(v) > std::max(side, 0)) RaiseError("Invalid printer shift");
    return Round(v);
  };
  dx_ = pixels(offsetX, s.DpiX, s.Width);
  dy_ = pixels(offsetY, s.DpiY, s.Height);
}

void TShiftedPrinter::StretchBand(const TRect& dest, const TBitmap32& band) {
  printer_.StretchBand(TRect{dest.Left + dx_, dest.Top + dy_, dest.Right + dx_, dest.Bottom + dy_}, band);
}

void IPrinter::PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                            const TRect& clip) {
  if (!picture || picture->Empty()) return;
  const TRect whole{x, y, x + picture->Width(), y + picture->Height()};
  const TRect part = IntersectRect(whole, clip);
  if (part.IsEmpty()) return;
  if (part == whole) {
    StretchBand(whole, *picture);
    return;
  }
  TBitmap32 band;
  CopyPart(*picture, TRect{part.Left - x, part.Top - y, part.Right - x, part.Bottom - y}, band);
  StretchBand(part, band);
}

void TShiftedPrinter::PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                                   const TRect& clip) {
  printer_.PlacePicture(x + dx_, y + dy_, picture,
                        TRect{clip.Left + dx_, clip.Top + dy_, clip.Right + dx_, clip.Bottom + dy_});
}

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
  CopyPart(bitmap, source, part);
  if (mirrorX) part.FlipHorizontal();
  if (mirrorY) part.FlipVertical();
  printer_.StretchBand(d, part);
}

void TPrinterCanvas::PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                                  const TRect& clip) {
  printer_.PlacePicture(x, y, picture, IntersectRect(clip, clip_));
}

}  // namespace sw
