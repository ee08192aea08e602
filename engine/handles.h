// TdtpHandlePainter: the selection handles of one shape. This is the frame the handle styles fill
// in: a painter belongs to its shape, builds the handles from the shape's size, answers which
// handle lies under a window point and draws the handles and the drag feedback.
#pragma once

#include <cstdint>

#include "shapes/raster/color32.h"

namespace sw {

class TCanvas;
class TdtpShape;

class TdtpHandlePainter {
public:
  explicit TdtpHandlePainter(TdtpShape* shape) : shape_(shape) {}
  virtual ~TdtpHandlePainter() = default;
  TdtpHandlePainter(const TdtpHandlePainter&) = delete;
  TdtpHandlePainter& operator=(const TdtpHandlePainter&) = delete;

  TdtpShape* Shape() const { return shape_; }
  void SetShape(TdtpShape* shape) { shape_ = shape; }

  // Rebuilds the handles from the shape's geometry.
  virtual void BuildHandles() {}
  // The hit kind of the handle under a window point; 0 when none.
  virtual uint8_t HandleAt(const TPoint& p) { (void)p; return 0; }
  // Grows rect by the screen rectangles of the handles.
  virtual void UniteHandleBounds(TRect& rect) { (void)rect; }
  virtual void DrawHandles(TCanvas& canvas) { (void)canvas; }
  virtual void DrawDragOutline(TCanvas& canvas) { (void)canvas; }

private:
  TdtpShape* shape_;
};

}  // namespace sw
