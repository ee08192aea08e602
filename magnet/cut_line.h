// The cutting line of a shaped magnet: the edge of the window in its cutout picture (the region
// the design shows through), traced from the picture's alpha at the resolution it is printed at
// and drawn as a line centred on that edge.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/shape.h"
#include "raster/transform.h"

namespace sw {

class TdtpBitmapShape;
class TdtpPage;

// One piece of a traced edge, in the frame the outline was made in (millimetres).
struct TCutSegment {
  TFloatPoint A, B;
};

// The window's edge of one cutout picture. The frame parts of the picture (not transparent and
// reaching its border) bound the window; opaque islands inside the window (hour marks) are part
// of the design, not of the cut. Where the window meets the picture's border the edge runs
// along it.
class TCutOutline {
public:
  // The window of the picture cutout shows, in the frame of cutout's parent; null when the
  // picture has none: no picture, nothing opaque on its border (the whole net area is the
  // window, its cut the rectangle), nothing transparent inside, or an edge far longer than any
  // shape's (a picture speckled with holes). A picture beyond 4 megapixels is averaged down.
  static std::shared_ptr<TCutOutline> OfCutout(TdtpBitmapShape& cutout);

  // The edge traced on a grid of dpm samples a millimetre of the frame (coarser only for a
  // picture so large that the grid would pass 20000 samples a side); kept until another
  // resolution asks.
  const std::vector<TCutSegment>& TraceAt(float dpm);
  // The frame's area the picture covers.
  const TFloatRect& Bounds() const { return bounds_; }

private:
  TCutOutline() = default;
  // The alpha (0 .. 1) at a point of the frame, interpolated between pixel centres; 1 (frame)
  // beyond the picture.
  float AlphaAt(double x, double y) const;

  std::vector<uint8_t> alpha_;
  int32_t width_ = 0, height_ = 0;
  // Alpha at or above this counts as frame.
  float threshold_ = 0.5f;
  // The frame to picture coordinates, pixel centres on whole numbers.
  TdtpAffineTransform frameToPicture_;
  TFloatRect bounds_;
  float tracedAt_ = 0;
  std::vector<TCutSegment> segments_;
};

// Draws an outline's edge as a line of the given width (millimetres) centred on it, in a
// window-system colour, traced at the resolution it is painted at. The shape's frame is the
// outline's unless FrameToLocal places it (a guide's position, turned a quarter for landscape);
// it should cover the line, since a paint leaves out shapes beyond its area.
class TCutLineShape : public TdtpShape {
public:
  static const char* StaticClassName() { return "TCutLineShape"; }
  const char* ClassName() const override { return StaticClassName(); }
  TCutLineShape(std::shared_ptr<TCutOutline> outline, float lineWidth, TdtpColor colour);

  // The map from the outline's frame to the shape's own; identity unless set.
  void SetFrameToLocal(const TdtpAffineTransform& m) { frameToLocal_ = m; }

  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) override;

private:
  std::shared_ptr<TCutOutline> outline_;
  float lineWidth_;
  TdtpColor colour_;
  TdtpAffineTransform frameToLocal_;
};

// Gives the page (a copy of the design laid on the sheet) a cutting line along its cutout's window
// in place of the rectangle, when the cutout has a window and the rectangle is drawn: the
// rectangle is hidden and a line of its width, colour and alpha is added on top. The layers are
// the page's children at those indexes; nothing changes for a page without them.
void ShapeCutLine(TdtpPage& page, int cutoutIndex, int outlineIndex);

}  // namespace sw
