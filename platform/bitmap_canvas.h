// A canvas drawing into a TBitmap32: the engine paints canvas shapes through it, and headless
// views, file printers and tests draw with it. Like the platform's drawing, pens and brushes leave
// alpha 0 on the pixels they store (copy mode), which the surface's alpha inversion turns into
// opaque; XOR mode flips colour bits only and leaves alpha alone, so a figure drawn twice restores
// every byte.
#pragma once

#include <vector>

#include "platform/canvas.h"

namespace sw {

class TBitmapCanvas : public TCanvas {
public:
  // The target is not owned and must outlive the canvas; the clip starts as its bounds.
  explicit TBitmapCanvas(TBitmap32& target);

  void SetPen(const TPen& pen) override { pen_ = pen; }
  const TPen& Pen() const override { return pen_; }
  void SetBrush(const TBrush& brush) override { brush_ = brush; }
  const TBrush& Brush() const override { return brush_; }
  TRect ClipRect() const override;
  // Cut to the target's bounds.
  void SetClipRect(const TRect& clip) override { clip_ = clip; }

  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y) override;
  void Polyline(const TPoint* points, int32_t count) override;
  void Polygon(const TPoint* points, int32_t count) override;
  void Rectangle(const TRect& r) override;
  void Ellipse(const TRect& r) override;
  void FillRect(const TRect& r, TColor32 color) override;
  void DrawBitmap(int32_t x, int32_t y, const TBitmap32& bitmap) override;
  void StretchBitmap(const TRect& dest, const TBitmap32& bitmap, const TRect& source,
                     TStretchMode mode) override;

  TPoint PenPos() const { return penPos_; }
  TBitmap32& Target() { return target_; }

  // Figures with more points than this are refused ("Too many points").
  static constexpr int32_t kMaxPoints = 1 << 20;

private:
  // Pixel indexes of one figure, so that XOR touches each pixel once per figure.
  using TPixelList = std::vector<int64_t>;
  void AddLine(TPixelList& out, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t& dotPhase) const;
  void AddPolyOutline(TPixelList& out, const TPoint* points, int32_t count, bool closed) const;
  void ApplyPixels(const TPixelList& pixels, TColor32 color);

  TBitmap32& target_;
  TPen pen_;
  TBrush brush_;
  TRect clip_;
  TPoint penPos_;
};

}  // namespace sw
