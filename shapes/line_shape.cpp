#include "shapes/line_shape.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/exception.h"
#include "base/strings.h"
#include "engine/command.h"
#include "engine/document.h"
#include "engine/handles.h"
#include "engine/undo_log.h"
#include "platform/canvas.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

constexpr double kPi = 3.14159265358979323846;

constexpr const char* kStyleNames[] = {"NoArrow", "Arrow", "OpenArrow", "StealthArrow", "Diamond", "Oval"};

// Doubles for the outline arithmetic; the contour keeps floats.
struct TVec {
  double X = 0, Y = 0;
};
TVec operator+(TVec a, TVec b) { return {a.X + b.X, a.Y + b.Y}; }
TVec operator-(TVec a, TVec b) { return {a.X - b.X, a.Y - b.Y}; }
TVec operator*(TVec a, double k) { return {a.X * k, a.Y * k}; }
double Cross(TVec a, TVec b) { return a.X * b.Y - a.Y * b.X; }

// Runs f as one step of the document's undo log (plainly without document).
template <typename F>
void InUndoGroup(TdtpDocument* document, F&& f) {
  const TUndoStep step(document);
  f();
}

void Put(TdtpContour& contour, TVec p) {
  contour.push_back(TFloatPoint{static_cast<float>(p.X), static_cast<float>(p.Y)});
}

// Undo values of the end points: "x,y;x,y" in the shortest form that reads back to the same float.
std::string EncodePoints(const std::vector<TFloatPoint>& points) {
  std::string out;
  char buffer[32];
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0) out.push_back(';');
    auto r = std::to_chars(buffer, buffer + sizeof(buffer), points[i].X);
    out.append(buffer, r.ptr);
    out.push_back(',');
    r = std::to_chars(buffer, buffer + sizeof(buffer), points[i].Y);
    out.append(buffer, r.ptr);
  }
  return out;
}

std::vector<TFloatPoint> DecodePoints(const std::string& text) {
  std::vector<TFloatPoint> points;
  const char* p = text.data();
  const char* end = p + text.size();
  auto fail = [&] { RaiseError(Format("'%s' is not a valid list of points", text.c_str())); };
  while (p < end) {
    TFloatPoint point;
    auto r = std::from_chars(p, end, point.X);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != ',') fail();
    r = std::from_chars(r.ptr + 1, end, point.Y);
    if (r.ec != std::errc() || (r.ptr != end && *r.ptr != ';')) fail();
    points.push_back(point);
    p = r.ptr == end ? end : r.ptr + 1;
  }
  return points;
}

}  // namespace

const char* ArrowStyleName(TdtpArrowStyle style) {
  return style <= asOval ? kStyleNames[style] : kStyleNames[asNoArrow];
}

bool ArrowStyleFromName(std::string_view text, TdtpArrowStyle& style) {
  for (uint8_t i = 0; i <= asOval; ++i) {
    if (text == kStyleNames[i]) {
      style = static_cast<TdtpArrowStyle>(i);
      return true;
    }
  }
  return false;
}

// --- TdtpArrow ---

void TdtpArrow::OwnerChanged() {
  if (owner_) owner_->ArrowChanged();
}

void TdtpArrow::SetStyle(TdtpArrowStyle value) {
  if (value > asOval || value == style_) return;
  if (owner_) owner_->InvalidateArea();
  style_ = value;
  OwnerChanged();
}

void TdtpArrow::SetWidth(float value) {
  if (!std::isfinite(value) || value == width_) return;
  if (owner_) owner_->InvalidateArea();
  width_ = value;
  OwnerChanged();
}

void TdtpArrow::SetLength(float value) {
  if (!std::isfinite(value) || value == length_) return;
  if (owner_) owner_->InvalidateArea();
  length_ = value;
  OwnerChanged();
}

TdtpArrowStyle TdtpArrow::DrawnStyle(float lineWidth) const {
  // A head no wider than the body, or without size, would vanish into it or fold back on itself.
  if (style_ == asNoArrow || !(width_ > lineWidth) || !(width_ > 0) || !(length_ > 0)) return asNoArrow;
  return style_;
}

void TdtpArrow::LoadFromXml(const TXmlNode& node) {
  TdtpArrowStyle style = style_;
  if (ArrowStyleFromName(node.ReadString("Style", ""), style)) style_ = style;
  width_ = FiniteOr(node.ReadFloat("Width", 0), 0);
  length_ = FiniteOr(node.ReadFloat("Length", 0), 0);
}

void TdtpArrow::SaveToXml(TXmlNode& node) const {
  node.WriteString("Style", ArrowStyleName(style_));
  node.WriteFloat("Width", width_, 0);
  node.WriteFloat("Length", length_, 0);
}

// --- The outline of one end ---

void AppendArrowRun(TdtpContour& contour, const TdtpArrow& arrow, const TFloatPoint& tip, const TFloatPoint& other,
                    float lineWidth, double scale) {
  const TVec t{tip.X, tip.Y}, o{other.X, other.Y};
  const double length = std::hypot(t.X - o.X, t.Y - o.Y);
  if (!(length > 0) || !std::isfinite(length)) return;
  const double w = std::max(0.0f, lineWidth);
  const TVec d = (t - o) * (1 / length);
  const TVec n{-d.Y, d.X};
  const TVec h = n * (w / 2);
  const double width = arrow.Width();
  const TVec g = n * (width / 2);
  const TdtpArrowStyle style = arrow.DrawnStyle(lineWidth);
  const double lambda = style == asNoArrow ? 0.0 : std::min(0.7 * length, static_cast<double>(arrow.Length()));
  const TVec b = t - d * lambda;
  const TVec q = b - h, p = b + h;
  Put(contour, q);
  switch (style) {
    case asNoArrow:
      break;
    case asArrow:
      Put(contour, b - g);
      Put(contour, t);
      Put(contour, b + g);
      break;
    case asOpenArrow:
    case asStealthArrow: {
      // c is the head's length per half width; t the depth of the notch behind the wings.
      const double c = 2 * lambda / width;
      const double notch = std::max(0.0, lambda - (std::sqrt(c * c + 1) + c / 2) * w);
      if (style == asOpenArrow) {
        if (notch > 0) {
          Put(contour, q + d * notch);
          Put(contour, q - n * (notch / c));
        }
        Put(contour, b - g);
        Put(contour, t);
        Put(contour, b + g);
        if (notch > 0) {
          Put(contour, p + n * (notch / c));
          Put(contour, p + d * notch);
        }
        break;
      }
      const double z = width / 2 - 0.75 * w - notch / c;
      std::vector<TFloatPoint> arc;
      if (notch > 0) arc = UnitQuarterArc(ArcSegmentCount(scale * notch * kPi / 2));
      for (const TFloatPoint& a : arc) {
        Put(contour, q + d * (notch * a.X) - n * (a.Y * z) - n * (notch * (1 - a.X) / c));
      }
      Put(contour, b - g);
      Put(contour, t);
      Put(contour, b + g);
      for (auto it = arc.rbegin(); it != arc.rend(); ++it) {
        const TFloatPoint& a = *it;
        Put(contour, p + d * (notch * a.X) + n * (a.Y * z) + n * (notch * (1 - a.X) / c));
      }
      break;
    }
    case asDiamond:
      Put(contour, b + d * (lambda / 2) - g);
      Put(contour, t);
      Put(contour, b + d * (lambda / 2) + g);
      break;
    case asOval: {
      // An ellipse of semi-axes half the head's length along the line and half its width across,
      // its back end on the body's base; the arcs inside the body band are left out.
      const double half = lambda / 2, across = width / 2;
      const std::vector<TFloatPoint> arc =
          UnitQuarterArc(ArcSegmentCount(scale * std::max(across, half) * kPi / 2));
      const int32_t count = static_cast<int32_t>(arc.size()) - 1;
      auto at = [&](int32_t i) { return arc[static_cast<size_t>(i)]; };
      for (int32_t i = 1; i <= count - 1; ++i) {
        const TVec v = b + d * (half * (1 - at(i).X)) - n * (across * at(i).Y);
        if (Cross(v - q, d) > 0) Put(contour, v);
      }
      for (int32_t i = count; i >= 1; --i) Put(contour, b + d * (half * (1 + at(i).X)) - n * (across * at(i).Y));
      for (int32_t i = 0; i <= count - 1; ++i) Put(contour, b + d * (half * (1 + at(i).X)) + n * (across * at(i).Y));
      for (int32_t i = count; i >= 1; --i) {
        const TVec v = b + d * (half * (1 - at(i).X)) + n * (across * at(i).Y);
        if (Cross(v - p, d) < 0) Put(contour, v);
      }
      break;
    }
  }
  Put(contour, p);
}

// --- TdtpLineShape ---

TdtpLineShape::TdtpLineShape() : arrows_{TdtpArrow(this), TdtpArrow(this)}, ends_{{0, 0}, {1, 1}} {
  InsertCursor = -33;
  SetFillColor(0);
  SetUseOutline(false);
  SetUseFill(true);
  SetIsClosed(true);
  GeneratePoints();
  UpdateCurbs();
}

TdtpLineShape::~TdtpLineShape() = default;

TFloatPoint TdtpLineShape::EndPoint(int k) const {
  if (k < 0 || k >= PointCount()) return {};
  const TFloatPoint& e = ends_[static_cast<size_t>(k)];
  return {static_cast<float>(docLeft_ + static_cast<double>(e.X) * docWidth_),
          static_cast<float>(docTop_ + static_cast<double>(e.Y) * docHeight_)};
}

std::vector<TFloatPoint> TdtpLineShape::AbsoluteEndPoints() const {
  std::vector<TFloatPoint> points;
  for (int k = 0; k < PointCount(); ++k) points.push_back(EndPoint(k));
  return points;
}

TdtpArrow* TdtpLineShape::Arrow(int k) { return k == 0 || k == 1 ? &arrows_[k] : nullptr; }

const TdtpArrow* TdtpLineShape::Arrow(int k) const { return k == 0 || k == 1 ? &arrows_[k] : nullptr; }

void TdtpLineShape::RecordEndPoints() { RecordChange(ckProperty, "Points", EncodePoints(AbsoluteEndPoints())); }

void TdtpLineShape::PlaceEndPoints(const std::vector<TFloatPoint>& points) {
  for (const TFloatPoint& p : points) {
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return;
  }
  if (points.size() < 2) {
    // Nothing to span: kept relative to the box as it is.
    std::vector<TFloatPoint> ends;
    for (const TFloatPoint& p : points) {
      ends.push_back({docWidth_ > 0 ? static_cast<float>((static_cast<double>(p.X) - docLeft_) / docWidth_) : 0.0f,
                      docHeight_ > 0 ? static_cast<float>((static_cast<double>(p.Y) - docTop_) / docHeight_) : 0.0f});
    }
    ends_ = std::move(ends);
    MarkGeometryDirty();
    return;
  }
  double minX = points[0].X, maxX = minX, minY = points[0].Y, maxY = minY;
  for (const TFloatPoint& p : points) {
    minX = std::min(minX, static_cast<double>(p.X));
    maxX = std::max(maxX, static_cast<double>(p.X));
    minY = std::min(minY, static_cast<double>(p.Y));
    maxY = std::max(maxY, static_cast<double>(p.Y));
  }
  // A zero extent (also one too small for a float) becomes 1 mm.
  float extentX = static_cast<float>(maxX - minX), extentY = static_cast<float>(maxY - minY);
  if (!(extentX > 0)) extentX = 1;
  if (!(extentY > 0)) extentY = 1;
  if (!std::isfinite(extentX) || !std::isfinite(extentY)) return;
  std::vector<TFloatPoint> ends;
  for (const TFloatPoint& p : points) {
    ends.push_back({static_cast<float>((p.X - minX) / extentX), static_cast<float>((p.Y - minY) / extentY)});
  }
  ends_ = std::move(ends);
  MarkGeometryDirty();
  SetBounds(static_cast<float>(minX), static_cast<float>(minY), extentX, extentY);
}

void TdtpLineShape::SetEndPoint(int k, const TFloatPoint& p) {
  if ((k != 0 && k != 1) || k >= PointCount()) return;
  if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return;
  std::vector<TFloatPoint> points = AbsoluteEndPoints();
  if (points[static_cast<size_t>(k)] == p) return;
  points[static_cast<size_t>(k)] = p;
  MoveEndPoints(points);
}

void TdtpLineShape::MoveEndPoints(const std::vector<TFloatPoint>& points) {
  InvalidateArea();
  InUndoGroup(document_, [&] {
    RecordEndPoints();
    PlaceEndPoints(points);
  });
  GeneratePoints();
  Refresh();
  Changed();
}

void TdtpLineShape::SetLineWidth(float value) {
  if (!std::isfinite(value)) return;
  value = std::max(0.0f, value);
  if (value == lineWidth_) return;
  InvalidateArea();
  RecordFloat(ckProperty, "LineWidth", lineWidth_);
  lineWidth_ = value;
  MarkGeometryDirty();
  GeneratePoints();
  Refresh();
  Changed();
}

void TdtpLineShape::ArrowChanged() {
  MarkGeometryDirty();
  GeneratePoints();
  Refresh();
  Changed();
}

void TdtpLineShape::SetBoundsRect(const TFloatRect& rect) {
  const bool turnX = rect.Right < rect.Left, turnY = rect.Bottom < rect.Top;
  InUndoGroup(document_, [&] {
    if ((turnX || turnY) && PointCount() >= 2) {
      RecordEndPoints();
      if (turnX) {
        ends_[0].X = 1;
        ends_[1].X = 0;
      }
      if (turnY) {
        ends_[0].Y = 1;
        ends_[1].Y = 0;
      }
      MarkGeometryDirty();
    }
    TdtpPolygonShape::SetBoundsRect(rect);
  });
  GeneratePoints();
}

void TdtpLineShape::ApplyDrag() {
  // A point-handle drag leaves the proposed box as it is and moves only the active handle; a
  // proposal that moves the box is a move of the whole line, whatever handle was last found.
  const TdtpHandlePainter* painter = HandlePainter();
  const TdtpHandle* handle = painter ? painter->Handle(Drag.Handle) : nullptr;
  const bool boxKept = Drag.Left == docLeft_ && Drag.Top == docTop_ && Drag.Width == docWidth_ &&
                       Drag.Height == docHeight_;
  if (!handle || handle->Kind != hkPoint || !boxKept || Drag.Handle >= PointCount()) {
    TdtpPolygonShape::ApplyDrag();
    return;
  }
  // The handles show the line as it is drawn, mirrored and flipped; the end points are unmirrored.
  const float x = Mirrored() ? docWidth_ - handle->DragX : handle->DragX;
  const float y = Flipped() ? docHeight_ - handle->DragY : handle->DragY;
  SetEndPoint(Drag.Handle, {docLeft_ + x, docTop_ + y});
}

void TdtpLineShape::UpdateHandles() {
  EnsureHandlePainter();
  TdtpHandlePainter& painter = *HandlePainter();
  const int count = PointCount();
  painter.SetHandleCount(count);
  for (int i = 0; i < count; ++i) {
    const TFloatPoint& e = ends_[static_cast<size_t>(i)];
    const float x = e.X * docWidth_, y = e.Y * docHeight_;
    TdtpHandle& handle = *painter.Handle(i);
    handle.Kind = hkPoint;
    handle.X = Mirrored() ? docWidth_ - x : x;
    handle.Y = Flipped() ? docHeight_ - y : y;
  }
  painter.SetLineCount(std::max(count - 1, 0));
  for (int i = 0; i + 1 < count; ++i) {
    TdtpDragLine& line = *painter.Line(i);
    line.FromIndex = i;
    line.ToIndex = i + 1;
    line.Kind = hkBody;
    line.ShowOutline = true;
    line.ShowFeedback = true;
  }
}

void TdtpLineShape::DrawRubberRect(TCanvas& canvas, const TRect& rect, TColor32 color) {
  TPen pen;
  pen.Color = color;
  pen.Style = psDot;
  pen.Mode = pmXor;
  canvas.SetPen(pen);
  canvas.MoveTo(rect.Left, rect.Top);
  canvas.LineTo(rect.Right, rect.Bottom);
}

void TdtpLineShape::SetAngle(float value) {
  if (!std::isfinite(value)) return;
  const double angle = std::fmod(static_cast<double>(value), 360.0);
  if (angle == 0 || PointCount() < 2) return;
  const double w = docWidth_, h = docHeight_;
  // Without a box there is nothing to turn the normalised points in.
  if (!(w > 0) || !(h > 0)) return;
  const double c = std::cos(angle * kPi / 180), s = std::sin(angle * kPi / 180);
  std::vector<TFloatPoint> points;
  for (const TFloatPoint& e : ends_) {
    const double x = e.X * w, y = e.Y * h;
    points.push_back({static_cast<float>(docLeft_ + c * x + s * y), static_cast<float>(docTop_ - s * x + c * y)});
  }
  MoveEndPoints(points);
}

void TdtpLineShape::GeneratePoints() {
  if (PointCount() < 2) return;
  const float w = SafeWidth(), h = SafeHeight();
  const TFloatPoint a{ends_[0].X * w, ends_[0].Y * h}, b{ends_[1].X * w, ends_[1].Y * h};
  if (a == b) return;
  TdtpContour c;
  AppendArrowRun(c, arrows_[0], a, b, lineWidth_, CurveScale());
  AppendArrowRun(c, arrows_[1], b, a, lineWidth_, CurveScale());
  // Heads far beyond the float range have no outline to draw.
  for (const TFloatPoint& p : c) {
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) {
      c.clear();
      break;
    }
  }
  if (points_.size() != 1 || points_[0] != c) {
    points_.assign(1, std::move(c));
    MarkGeometryDirty();
  }
}

void TdtpLineShape::SetPropertyByName(const std::string& name, const std::string& value) {
  TdtpPolygonShape::SetPropertyByName(name, value);
  if (SameText(name, "LineWidth")) {
    SetLineWidth(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "Points")) {
    std::vector<TFloatPoint> points = DecodePoints(value);
    if (points.size() > 2) points.resize(2);
    InvalidateArea();
    InUndoGroup(document_, [&] {
      RecordEndPoints();
      PlaceEndPoints(points);
    });
    if (PointCount() < 2) {
      ClearPoints();
    } else {
      GeneratePoints();
    }
    Refresh();
    Changed();
  }
}

void TdtpLineShape::SaveToXml(TXmlNode& node) const {
  arrows_[0].SaveToXml(*node.NewChild("Arrow0"));
  arrows_[1].SaveToXml(*node.NewChild("Arrow1"));
  TXmlNode* points = node.NewChild("Points");
  for (int k = 0; k < PointCount(); ++k) {
    const TFloatPoint p = EndPoint(k);
    TXmlNode* point = points->NewChild("Point");
    point->WriteFloat("X", p.X, 0);
    point->WriteFloat("Y", p.Y, 0);
  }
  node.WriteFloat("LineWidth", lineWidth_, 0);
  TdtpPolygonShape::SaveToXml(node);
}

void TdtpLineShape::LoadFromXml(const TXmlNode* node) {
  TdtpPolygonShape::LoadFromXml(node);
  if (const TXmlNode* a = node->FindChild("Arrow0")) arrows_[0].LoadFromXml(*a);
  if (const TXmlNode* a = node->FindChild("Arrow1")) arrows_[1].LoadFromXml(*a);
  // A line has two end points; any further ones in the file are ignored.
  std::vector<TFloatPoint> points;
  if (const TXmlNode* list = node->FindChild("Points")) {
    std::vector<TXmlNode*> elements;
    list->FindChildren("Point", elements);
    for (const TXmlNode* p : elements) {
      if (points.size() == 2) break;
      points.push_back({FiniteOr(p->ReadFloat("X", 0), 0), FiniteOr(p->ReadFloat("Y", 0), 0)});
    }
  }
  ends_.clear();
  PlaceEndPoints(points);
  lineWidth_ = std::max(0.0f, FiniteOr(node->ReadFloat("LineWidth", 0), 0));
  // Without two end points there is nothing to draw.
  if (PointCount() < 2) {
    ClearPoints();
  } else {
    GeneratePoints();
  }
  MarkGeometryDirty();
  UpdateCurbs();
}

}  // namespace sw
