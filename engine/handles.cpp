#include "engine/handles.h"

#include <algorithm>
#include <cmath>

#include "base/exception.h"
#include "base/numeric.h"
#include "engine/document.h"
#include "engine/shape.h"
#include "platform/canvas.h"

namespace sw {

namespace {

constexpr TdtpColor kWhite = 0xFFFFFF;
constexpr TdtpColor kBlack = 0;
constexpr TdtpColor kLime = 0x00FF00;

TPen MakePen(TdtpColor color, TPenStyle style, TPenMode mode, int32_t width) {
  TPen pen;
  pen.Color = ColorFromSystem(color);
  pen.Style = style;
  pen.Mode = mode;
  pen.Width = width;
  return pen;
}

TBrush MakeBrush(TdtpColor color, TBrushStyle style) {
  TBrush brush;
  brush.Color = ColorFromSystem(color);
  brush.Style = style;
  return brush;
}

// An XOR pen of black would change no pixel, so black feedback inverts instead: the default
// HandleEdgeColor is black, and a drag must still show its outline.
TPen XorPen(TdtpColor color) {
  TPen pen = MakePen(color, psDot, pmXor, 1);
  if ((pen.Color & 0xFFFFFFu) == 0) pen.Color = clWhite32;
  return pen;
}

}  // namespace

double DistanceToSegment(const TFloatPoint& p, const TFloatPoint& a, const TFloatPoint& b) {
  const double dx = static_cast<double>(b.X) - a.X, dy = static_cast<double>(b.Y) - a.Y;
  const double px = static_cast<double>(p.X) - a.X, py = static_cast<double>(p.Y) - a.Y;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? (px * dx + py * dy) / length2 : 0.0;
  if (!(t > 0)) t = 0;
  if (t > 1) t = 1;
  return std::hypot(px - t * dx, py - t * dy);
}

// --- TdtpHandlePainter ---

TdtpColor TdtpHandlePainter::HandleColor() const {
  const TdtpDocument* document = Document();
  return document ? document->HandleColor : 0;
}

TdtpColor TdtpHandlePainter::HandleEdgeColor() const {
  const TdtpDocument* document = Document();
  return document ? document->HandleEdgeColor : 0;
}

int32_t TdtpHandlePainter::HandleSize(int index) const {
  (void)index;
  return 3;
}

void TdtpHandlePainter::DrawOutline(TCanvas& canvas) {
  for (const TdtpDragLine& line : lines_) {
    if (!line.ShowOutline || !LineValid(line)) continue;
    const TdtpHandle& from = handles_[static_cast<size_t>(line.FromIndex)];
    const TdtpHandle& to = handles_[static_cast<size_t>(line.ToIndex)];
    const TPoint a = WindowPoint(from.X, from.Y), b = WindowPoint(to.X, to.Y);
    canvas.MoveTo(a.X, a.Y);
    canvas.LineTo(b.X, b.Y);
  }
}

void TdtpHandlePainter::BuildHandles() {
  const TdtpShape& shape = CheckedShape();
  const float w = shape.DocWidth(), h = shape.DocHeight();
  SetHandleCount(shape.AllowRotate ? 5 : 4);
  PlaceHandle(0, hkTopLeft, 0, 0);
  PlaceHandle(1, hkBottomLeft, 0, h);
  PlaceHandle(2, hkBottomRight, w, h);
  PlaceHandle(3, hkTopRight, w, 0);
  if (shape.AllowRotate) PlaceHandle(4, hkRotate, 1.03f * w, h / 2);
  SetLineCount(4);
  PlaceLine(0, 0, 1, hkLeft, true, true);
  PlaceLine(1, 1, 2, hkBottom, true, true);
  PlaceLine(2, 2, 3, hkRight, true, true);
  PlaceLine(3, 3, 0, hkTop, true, true);
}

void TdtpHandlePainter::DrawDragFeedback(TCanvas& canvas) {
  if (lines_.empty()) return;
  CheckedShape();
  canvas.SetPen(XorPen(HandleEdgeColor()));
  for (const TdtpDragLine& line : lines_) {
    if (!line.ShowFeedback || !LineValid(line)) continue;
    const TdtpHandle& from = handles_[static_cast<size_t>(line.FromIndex)];
    const TdtpHandle& to = handles_[static_cast<size_t>(line.ToIndex)];
    const TPoint a = WindowPoint(from.DragX, from.DragY), b = WindowPoint(to.DragX, to.DragY);
    canvas.MoveTo(a.X, a.Y);
    canvas.LineTo(b.X, b.Y);
  }
}

void TdtpHandlePainter::DrawHandle(TCanvas& canvas, int index) {
  const TdtpShape& shape = CheckedShape();
  const TRect r = HandleRect(index);
  canvas.SetPen(MakePen(HandleEdgeColor(), psSolid, pmCopy, 1));
  canvas.SetBrush(MakeBrush(HandleColor(), bsSolid));
  if (handles_[static_cast<size_t>(index)].Kind == hkRotate && shape.AllowRotate) {
    canvas.Ellipse(r);
  } else {
    canvas.Rectangle(r);
  }
}

void TdtpHandlePainter::DrawHandles(TCanvas& canvas) {
  CheckedShape();
  canvas.SetBrush(MakeBrush(kWhite, bsClear));
  canvas.SetPen(MakePen(kWhite, psSolid, pmCopy, 3));
  DrawOutline(canvas);
  canvas.SetPen(MakePen(HandleEdgeColor(), psDot, pmCopy, 1));
  DrawOutline(canvas);
  for (int i = 0; i < HandleCount(); ++i) DrawHandle(canvas, i);
}

void TdtpHandlePainter::SetHandleCount(int n) { handles_.resize(static_cast<size_t>(std::max(n, 0))); }

void TdtpHandlePainter::SetLineCount(int n) { lines_.resize(static_cast<size_t>(std::max(n, 0))); }

TdtpHandle* TdtpHandlePainter::Handle(int index) {
  return index >= 0 && index < HandleCount() ? &handles_[static_cast<size_t>(index)] : nullptr;
}

const TdtpHandle* TdtpHandlePainter::Handle(int index) const {
  return index >= 0 && index < HandleCount() ? &handles_[static_cast<size_t>(index)] : nullptr;
}

TdtpDragLine* TdtpHandlePainter::Line(int index) {
  return index >= 0 && index < LineCount() ? &lines_[static_cast<size_t>(index)] : nullptr;
}

const TdtpDragLine* TdtpHandlePainter::Line(int index) const {
  return index >= 0 && index < LineCount() ? &lines_[static_cast<size_t>(index)] : nullptr;
}

TFloatPoint TdtpHandlePainter::HandlePoint(int index) const {
  const TdtpShape& shape = CheckedShape();
  const TdtpHandle* handle = Handle(index);
  if (!handle) RaiseError(Format("Handle index out of bounds (%d)", index));
  return shape.LocalToScreen({handle->X, handle->Y});
}

TRect TdtpHandlePainter::HandleRect(int index) const {
  const TFloatPoint p = HandlePoint(index);
  const double x = p.X, y = p.Y, r = HandleSize(index);
  return TRect{Round(x - r), Round(y - r), Round(x + r + 1), Round(y + r + 1)};
}

TdtpDocument* TdtpHandlePainter::Document() const { return shape_ ? shape_->Document() : nullptr; }

TdtpShape& TdtpHandlePainter::CheckedShape() const {
  if (!shape_) RaiseError("Shape object must be assigned");
  return *shape_;
}

void TdtpHandlePainter::PlaceHandle(int index, uint8_t kind, float x, float y) {
  TdtpHandle& handle = handles_.at(static_cast<size_t>(index));
  handle.Kind = kind;
  handle.X = x;
  handle.Y = y;
}

void TdtpHandlePainter::PlaceLine(int index, int32_t from, int32_t to, uint8_t kind, bool showOutline,
                                  bool showFeedback) {
  TdtpDragLine& line = lines_.at(static_cast<size_t>(index));
  line.FromIndex = from;
  line.ToIndex = to;
  line.Kind = kind;
  line.ShowOutline = showOutline;
  line.ShowFeedback = showFeedback;
}

TPoint TdtpHandlePainter::WindowPoint(float x, float y) const {
  return RoundPoint(CheckedShape().LocalToScreen({x, y}));
}

bool TdtpHandlePainter::LineValid(const TdtpDragLine& line) const {
  return Handle(line.FromIndex) && Handle(line.ToIndex);
}

// --- TdtpW2K3HandlePainter ---

void TdtpW2K3HandlePainter::BuildHandles() {
  const TdtpShape& shape = CheckedShape();
  const float w = shape.DocWidth(), h = shape.DocHeight();
  SetHandleCount(9);
  PlaceHandle(0, hkTopLeft, 0, 0);
  PlaceHandle(1, hkTop, w / 2, 0);
  PlaceHandle(2, hkTopRight, w, 0);
  PlaceHandle(3, hkRight, w, h / 2);
  PlaceHandle(4, hkBottomRight, w, h);
  PlaceHandle(5, hkBottom, w / 2, h);
  PlaceHandle(6, hkBottomLeft, 0, h);
  PlaceHandle(7, hkLeft, 0, h / 2);
  // Built even when the shape may not turn: HandleAt refuses it then, and the stem is not drawn.
  PlaceHandle(8, hkRotate, w / 2, -5);
  SetLineCount(5);
  PlaceLine(0, 0, 2, hkNone, false, true);
  PlaceLine(1, 2, 4, hkNone, false, true);
  PlaceLine(2, 4, 6, hkNone, false, true);
  PlaceLine(3, 6, 0, hkNone, false, true);
  PlaceLine(4, 1, 8, hkNone, shape.AllowRotate, false);
}

void TdtpW2K3HandlePainter::DrawHandle(TCanvas& canvas, int index) {
  const TdtpShape& shape = CheckedShape();
  const TRect r = HandleRect(index);
  const uint8_t kind = Handle(index)->Kind;
  const TPen pen = MakePen(kBlack, psSolid, pmCopy, 1);
  if ((kind >= hkBody && kind <= hkTop) || kind == hkPoint) {
    canvas.SetPen(pen);
    canvas.SetBrush(MakeBrush(kWhite, bsSolid));
    canvas.Ellipse(r);
  } else if (kind == hkRotate && shape.AllowRotate) {
    canvas.SetPen(pen);
    canvas.SetBrush(MakeBrush(kLime, bsSolid));
    canvas.Ellipse(r);
    canvas.SetBrush(MakeBrush(kWhite, bsSolid));
  }
}

void TdtpW2K3HandlePainter::DrawHandles(TCanvas& canvas) {
  CheckedShape();
  canvas.SetPen(MakePen(kBlack, psSolid, pmCopy, 1));
  canvas.SetBrush(MakeBrush(kWhite, bsClear));
  DrawOutline(canvas);
  for (int i = 0; i < HandleCount(); ++i) DrawHandle(canvas, i);
}

}  // namespace sw
