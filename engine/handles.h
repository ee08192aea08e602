// Selection handles. Every shape owns a handle painter that builds the handles from the shape's
// size in its local frame, draws them after each paint of the window and, during a drag, draws the
// dotted XOR feedback between the proposed handle positions. The shape answers which handle lies
// under a window point (TdtpShape::HandleAt) from the painter's handles and drag lines.
//
// Two styles: TdtpHandlePainter (stipple: four corner squares, the frame's sides as edge handles,
// a round rotation handle beside the right edge) and TdtpW2K3HandlePainter (default: eight white
// circles, a lime rotation circle on a stem above the top edge, the frame shown only while dragged).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/page.h"
#include "raster/color32.h"
#include "raster/geometry.h"

namespace sw {

class TCanvas;
class TdtpDocument;
class TdtpShape;

// Hit kinds: what the handle (or line, or body) under the mouse lets a drag do. The resize kinds run
// counter-clockwise round the shape's rectangle in its local frame from the top-left corner.
enum TdtpHitKind : uint8_t {
  hkNone = 0,
  hkBody = 1,  // also the drag line between a line shape's end points
  hkTopLeft = 2,
  hkLeft = 3,
  hkBottomLeft = 4,
  hkBottom = 5,
  hkBottomRight = 6,
  hkRight = 7,
  hkTopRight = 8,
  hkTop = 9,
  hkRotate = 10,
  hkPoint = 11,   // moves that handle alone; the shape kind applies it
  hkCustom = 12,  // 12 and above belong to shape kinds
};

// True for the kinds a resize-locked shape refuses: the corners, the edges and point handles.
inline bool IsResizeKind(uint8_t kind) { return (kind >= hkTopLeft && kind <= hkTop) || kind == hkPoint; }

// The distance from p to the segment a-b (the foot of the perpendicular clamped to the ends).
double DistanceToSegment(const TFloatPoint& p, const TFloatPoint& a, const TFloatPoint& b);

// One handle: its kind and position in the shape's local frame (mm); DragX/DragY hold the proposed
// position while a drag runs and are left alone by a rebuild.
struct TdtpHandle {
  uint8_t Kind = hkNone;
  float X = 0, Y = 0;
  float DragX = 0, DragY = 0;
};

// A line between two handles (by index): drawn with the handles when ShowOutline, drawn as drag
// feedback when ShowFeedback, and hit within 10 pixels as Kind when that is not 0.
struct TdtpDragLine {
  int32_t FromIndex = 0, ToIndex = 0;
  uint8_t Kind = hkNone;
  bool ShowOutline = true;
  bool ShowFeedback = true;
};

// The stipple style, and the model every style fills in. The shape owns its painter; the painter
// only points back at it.
class TdtpHandlePainter {
public:
  // Both lists start empty; the shape may be set later (SetShape).
  explicit TdtpHandlePainter(TdtpShape* shape = nullptr) : shape_(shape) {}
  virtual ~TdtpHandlePainter() = default;
  TdtpHandlePainter(const TdtpHandlePainter&) = delete;
  TdtpHandlePainter& operator=(const TdtpHandlePainter&) = delete;

  // Fill of the stipple handles: the document's HandleColor; 0 without document.
  virtual TdtpColor HandleColor() const;
  // Edges, dotted frame and drag feedback: the document's HandleEdgeColor; 0 without document.
  virtual TdtpColor HandleEdgeColor() const;
  // Half the side of a handle's square, in pixels (the square is 2 x size + 1 wide).
  virtual int32_t HandleSize(int index) const;
  // The lines marked ShowOutline, with the canvas's current pen, between their handles' window
  // points; lines naming a handle that does not exist are skipped.
  virtual void DrawOutline(TCanvas& canvas);
  // Four corner handles, a rotation handle at 1.03 x width when the shape may turn, and the four
  // sides as edge lines. Raises "Shape object must be assigned" without shape.
  virtual void BuildHandles();
  // The ShowFeedback lines between the handles' DragX/DragY, dotted, in XOR mode with
  // HandleEdgeColor (black inverts), so drawing it twice restores the canvas. Nothing without lines.
  virtual void DrawDragFeedback(TCanvas& canvas);
  // A square of HandleColor edged with HandleEdgeColor; the rotation handle is round.
  virtual void DrawHandle(TCanvas& canvas, int index);
  // The frame (white under a dotted HandleEdgeColor line), then every handle.
  virtual void DrawHandles(TCanvas& canvas);

  // Appends default objects or deletes from the end until the count is n (negative counts as 0).
  void SetHandleCount(int n);
  void SetLineCount(int n);
  int HandleCount() const { return static_cast<int>(handles_.size()); }
  int LineCount() const { return static_cast<int>(lines_.size()); }
  // Null outside the range; the pointers last until the next SetHandleCount/SetLineCount.
  TdtpHandle* Handle(int index);
  const TdtpHandle* Handle(int index) const;
  TdtpDragLine* Line(int index);
  const TdtpDragLine* Line(int index) const;

  // The window point of handle index (unrounded); raises without shape or for an index out of range.
  TFloatPoint HandlePoint(int index) const;
  // (round(x - r), round(y - r), round(x + r + 1), round(y + r + 1)) around the handle's window
  // point with r = HandleSize; raises "Shape object must be assigned" without shape.
  TRect HandleRect(int index) const;
  // The shape's document; null without shape or document.
  TdtpDocument* Document() const;

  TdtpShape* Shape() const { return shape_; }
  void SetShape(TdtpShape* shape) { shape_ = shape; }

protected:
  // The shape, or "Shape object must be assigned".
  TdtpShape& CheckedShape() const;
  // Sets a handle's kind and local position, keeping its drag position.
  void PlaceHandle(int index, uint8_t kind, float x, float y);
  void PlaceLine(int index, int32_t from, int32_t to, uint8_t kind, bool showOutline, bool showFeedback);
  // The rounded window point of (x, y) in the shape's local frame.
  TPoint WindowPoint(float x, float y) const;
  // Whether both ends of the line name existing handles.
  bool LineValid(const TdtpDragLine& line) const;

private:
  TdtpShape* shape_;
  std::vector<TdtpHandle> handles_;
  std::vector<TdtpDragLine> lines_;
};

// The default style: circles at the corners and edge middles, a lime rotation circle 5 mm above
// the middle of the top edge joined to it by a stem; the frame is drawn only as drag feedback.
class TdtpW2K3HandlePainter : public TdtpHandlePainter {
public:
  using TdtpHandlePainter::TdtpHandlePainter;

  // Nine handles (the rotation handle whatever AllowRotate says) and five kind-0 lines: the frame
  // (feedback only) and the stem (outline only, and only when the shape may turn).
  void BuildHandles() override;
  // White circles with black edges; the rotation handle lime, and only when the shape may turn.
  // Leaves the brush white.
  void DrawHandle(TCanvas& canvas, int index) override;
  // The stem in black, then every handle.
  void DrawHandles(TCanvas& canvas) override;
};

}  // namespace sw
