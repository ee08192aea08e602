#include "shapes/polygon_shape.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "engine/document.h"
#include "platform/region.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool ParseBoolValue(const std::string& text) {
  return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

int32_t ClampColor(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }

TFloatPoint MakePoint(double x, double y) { return TFloatPoint{static_cast<float>(x), static_cast<float>(y)}; }

}  // namespace

int32_t ArcSegmentCount(double v) {
  if (!(v > 0.5)) return 1;  // also NaN and negative lengths
  if (v < 3) return 2;
  if (v < 7) return 3;
  constexpr double kMaxSegments = kMaxCurvePoints / 4;
  const double n = v >= 100 ? std::ceil(v / 10) : std::ceil(v / 5);
  return static_cast<int32_t>(std::min(n, kMaxSegments));
}

std::vector<TFloatPoint> UnitQuarterArc(int32_t n) {
  n = std::clamp(n, 1, kMaxCurvePoints / 4);
  std::vector<TFloatPoint> arc(static_cast<size_t>(n) + 1);
  for (int32_t i = 0; i <= n; ++i) {
    const double a = i * kPi / (2.0 * n);
    arc[static_cast<size_t>(i)] = MakePoint(std::cos(a), std::sin(a));
  }
  arc.front() = TFloatPoint{1, 0};
  arc.back() = TFloatPoint{0, 1};
  return arc;
}

// --- TdtpPolygonShape ---

TdtpPolygonShape::TdtpPolygonShape() : fill_(std::make_unique<TPolygon32>()) {
  fill_->Antialiased = true;
  fill_->FillMode = pfAlternate;
  fill_->Closed = true;
  points_.emplace_back();
  docWidth_ = 40;
  docHeight_ = 30;
  // The polygons are built at the first paint.
  dirty_ = true;
  // The field already holds the width, so this only sets the curbs from it.
  SetOutlineWidth(outlineWidth_);
}

TdtpPolygonShape::~TdtpPolygonShape() = default;

void TdtpPolygonShape::PointsBounds(TFloatRect& rect) const {
  bool any = false;
  for (const TdtpContour& c : points_) {
    for (const TFloatPoint& p : c) {
      if (!any) {
        rect = TFloatRect{p.X, p.Y, p.X, p.Y};
        any = true;
        continue;
      }
      rect.Left = std::min(rect.Left, p.X);
      rect.Top = std::min(rect.Top, p.Y);
      rect.Right = std::max(rect.Right, p.X);
      rect.Bottom = std::max(rect.Bottom, p.Y);
    }
  }
  if (!any) rect = TFloatRect{};
}

void TdtpPolygonShape::FitPointsToRect(const TFloatRect& rect) {
  TFloatRect box;
  PointsBounds(box);
  OffsetPoints(-box.Left, -box.Top);
  const float bw = box.Right - box.Left, bh = box.Bottom - box.Top;
  const float rw = rect.Right - rect.Left, rh = rect.Bottom - rect.Top;
  if (bw > 0 && bh > 0 && rw > 0 && rh > 0) ScalePoints(rw / bw, rh / bh);
  OffsetPoints(rect.Left, rect.Top);
}

void TdtpPolygonShape::OffsetPoints(float dx, float dy) {
  if (dx == 0 && dy == 0) return;
  for (TdtpContour& c : points_) {
    for (TFloatPoint& p : c) {
      p.X += dx;
      p.Y += dy;
    }
  }
  dirty_ = true;
}

void TdtpPolygonShape::ScalePoints(float sx, float sy) {
  for (TdtpContour& c : points_) {
    for (TFloatPoint& p : c) {
      p.X *= sx;
      p.Y *= sy;
    }
  }
  dirty_ = true;
}

void TdtpPolygonShape::AddPoint(const TFloatPoint& p) {
  if (points_.empty()) points_.emplace_back();
  points_.back().push_back(p);
  dirty_ = true;
}

void TdtpPolygonShape::ClearPoints() {
  points_.assign(1, TdtpContour{});
  dirty_ = true;
}

void TdtpPolygonShape::NewContour() {
  points_.emplace_back();
  dirty_ = true;
}

double TdtpPolygonShape::CurveScale() const {
  const double k = std::hypot(paintMatrix_.A, paintMatrix_.B);
  return std::isfinite(k) && k != 0 ? k : 1.0;
}

float TdtpPolygonShape::SafeWidth() const { return Finite(docWidth_); }
float TdtpPolygonShape::SafeHeight() const { return Finite(docHeight_); }

void TdtpPolygonShape::EnsureGeneratedPoints() const {
  // Generated points are a cache of the size and the resolution, so refreshing them is no change
  // of the shape's state.
  if (!storePoints_) const_cast<TdtpPolygonShape*>(this)->GeneratePoints();
}

void TdtpPolygonShape::RebuildPolygons() {
  if (!storePoints_) GeneratePoints();
  const TdtpAffineTransform& m = paintMatrix_;
  TArrayOfArrayOfFixedPoint contours;
  contours.reserve(points_.size());
  for (const TdtpContour& c : points_) {
    TArrayOfFixedPoint fixed;
    fixed.reserve(c.size());
    for (const TFloatPoint& p : c) {
      fixed.push_back(TFixedPoint{FloatToFixed(m.A * p.X + m.C * p.Y + m.E),
                                  FloatToFixed(m.B * p.X + m.D * p.Y + m.F)});
    }
    contours.push_back(std::move(fixed));
  }
  fill_ = std::make_unique<TPolygon32>();
  fill_->Antialiased = true;
  fill_->FillMode = pfAlternate;
  fill_->Closed = isClosed_;
  fill_->SetPoints(contours);
  outline_.reset();
  if (useOutline_ && outlineWidth_ > 0) {
    // The band is a closed loop whatever the shape's own closing: an open contour runs forwards
    // and back, and only as a closed loop do both of its ends get a square cap.
    std::unique_ptr<TPolygon32> band = fill_->Outline();
    band->Antialiased = true;
    band->FillMode = pfWinding;
    band->Closed = true;
    outline_ = band->Grow(FloatToFixed(outlineWidth_ * CurveScale() * 0.5), 0.5f);
  }
  dirty_ = false;
}

bool TdtpPolygonShape::ContainsLocalPoint(const TFloatPoint& p) const {
  EnsureGeneratedPoints();
  bool inside = false;
  for (const TdtpContour& c : points_) {
    if (c.size() >= 3 && PointInPolygon(c, p)) inside = !inside;
  }
  return inside;
}

// --- Properties ---

void TdtpPolygonShape::SetFillAlpha(int32_t value) {
  value = std::clamp(value, 0, 255);
  if (value == fillAlpha_) return;
  RecordFloat(ckProperty, "FillAlpha", fillAlpha_);
  fillAlpha_ = value;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetFillColor(TdtpColor value) {
  if (value == fillColor_) return;
  RecordInteger(ckProperty, "FillColor", fillColor_.Value);
  fillColor_ = value;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetOutlineColor(TdtpColor value) {
  if (value == outlineColor_) return;
  RecordInteger(ckProperty, "OutlineColor", outlineColor_.Value);
  outlineColor_ = value;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetOutlineWidth(float value) {
  if (!std::isfinite(value)) return;
  const float curbs = std::max(value / 2, 0.1f);
  SetCurbs(curbs);
  if (value == outlineWidth_) return;
  InvalidateArea();
  RecordFloat(ckProperty, "OutlineWidth", outlineWidth_);
  outlineWidth_ = value;
  SetCurbs(curbs);
  dirty_ = true;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetIsClosed(bool value) {
  if (value == isClosed_) return;
  RecordBool(ckProperty, "IsClosed", isClosed_);
  isClosed_ = value;
  fill_->Closed = value;
  dirty_ = true;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetUseFill(bool value) {
  if (value == useFill_) return;
  RecordBool(ckProperty, "UseFill", useFill_);
  useFill_ = value;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetUseOutline(bool value) {
  if (value == useOutline_) return;
  InvalidateArea();
  RecordBool(ckProperty, "UseOutline", useOutline_);
  useOutline_ = value;
  dirty_ = true;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetUseStipple(bool value) {
  if (value == useStipple_) return;
  RecordBool(ckProperty, "UseStipple", useStipple_);
  useStipple_ = value;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetStippleSize(float value) {
  if (!std::isfinite(value) || value == stippleSize_) return;
  RecordFloat(ckProperty, "StippleSize", stippleSize_);
  stippleSize_ = value;
  RefreshSelf();
  Changed();
}

void TdtpPolygonShape::SetStorePoints(bool value) {
  if (value == storePoints_) return;
  storePoints_ = value;
  dirty_ = true;
  RefreshSelf();
  Changed();
}

// --- Overridden operations ---

void TdtpPolygonShape::ClearShapes() {
  ClearPoints();
  TdtpEffectShape::ClearShapes();
}

void TdtpPolygonShape::SetSize(float width, float height) {
  const float oldWidth = docWidth_, oldHeight = docHeight_;
  TdtpEffectShape::SetSize(width, height);
  if (!(width > 0 && height > 0 && oldWidth > 0 && oldHeight > 0)) return;
  if (storePoints_) {
    // While the shape is edited in place its strokes are being recorded in its own frame.
    if (!(document_ && document_->EditShape() == this)) ScalePoints(width / oldWidth, height / oldHeight);
  } else {
    GeneratePoints();
  }
  dirty_ = true;
}

void TdtpPolygonShape::SetPropertyByName(const std::string& name, const std::string& value) {
  TdtpEffectShape::SetPropertyByName(name, value);
  if (SameText(name, "IsClosed")) {
    SetIsClosed(ParseBoolValue(value));
  } else if (SameText(name, "UseFill")) {
    SetUseFill(ParseBoolValue(value));
  } else if (SameText(name, "UseOutline")) {
    SetUseOutline(ParseBoolValue(value));
  } else if (SameText(name, "UseStipple")) {
    SetUseStipple(ParseBoolValue(value));
  } else if (SameText(name, "OutlineWidth")) {
    SetOutlineWidth(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "StippleSize")) {
    SetStippleSize(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "FillAlpha")) {
    // Recorded as a float; whole numbers either way.
    SetFillAlpha(Round(std::clamp(ParseCommandFloat(value), -1.0, 256.0)));
  } else if (SameText(name, "FillColor")) {
    SetFillColor(ClampColor(ParseCommandInteger(value)));
  } else if (SameText(name, "OutlineColor")) {
    SetOutlineColor(ClampColor(ParseCommandInteger(value)));
  }
}

void TdtpPolygonShape::SetPaintMatrix(const TdtpAffineTransform& matrix) {
  if (matrix == paintMatrix_) return;
  TdtpEffectShape::SetPaintMatrix(matrix);
  dirty_ = true;
}

TdtpRegion TdtpPolygonShape::ShapeRegion() const {
  if (!document_) return {};
  EnsureGeneratedPoints();
  // Several contours become one figure: each is walked closed from a common anchor point and the
  // walk returns to the anchor, so every joining segment is passed twice and cancels out under
  // the even-odd rule.
  TdtpRegion region;
  bool haveAnchor = false;
  TFloatPoint anchor;
  for (const TdtpContour& c : points_) {
    if (c.size() < 3) continue;
    if (!haveAnchor) {
      anchor = LocalToScreen(c.front());
      haveAnchor = true;
    } else {
      region.push_back(anchor);
    }
    for (const TFloatPoint& p : c) region.push_back(LocalToScreen(p));
    region.push_back(LocalToScreen(c.front()));
  }
  return region;
}

void TdtpPolygonShape::AdjustCurbs(float& left, float& top, float& right, float& bottom) const {
  EnsureGeneratedPoints();
  TFloatRect box;
  PointsBounds(box);
  if (useOutline_) {
    const float grow = std::max(outlineWidth_, 0.5f);
    box = TFloatRect{box.Left - grow, box.Top - grow, box.Right + grow, box.Bottom + grow};
  }
  left = std::max(left, -box.Left);
  top = std::max(top, -box.Top);
  right = std::max(right, box.Right - docWidth_);
  bottom = std::max(bottom, box.Bottom - docHeight_);
  TdtpEffectShape::AdjustCurbs(left, top, right, bottom);
}

void TdtpPolygonShape::SaveToXml(TXmlNode& node) const {
  TdtpEffectShape::SaveToXml(node);
  node.WriteFloat("OutlineWidth", outlineWidth_, 0);
  node.WriteInteger("FillAlpha", fillAlpha_, 0);
  node.WriteColor("FillColor", fillColor_, 0);
  node.WriteColor("OutlineColor", outlineColor_, 0);
  node.WriteBool("UseFill", useFill_, false);
  node.WriteBool("UseOutline", useOutline_, false);
  node.WriteBool("UseStipple", useStipple_, false);
  node.WriteFloat("StippleSize", stippleSize_, 2);
  node.WriteBool("IsClosed", isClosed_, true);
  node.WriteBool("StorePoints", storePoints_, false);
  if (!storePoints_) return;
  TXmlNode* polygon = node.NewChild("Polygon");
  for (const TdtpContour& c : points_) {
    TXmlNode* line = polygon->NewChild("Line");
    for (const TFloatPoint& p : c) {
      TXmlNode* point = line->NewChild("Point");
      point->WriteFloat("X", p.X, 0);
      point->WriteFloat("Y", p.Y, 0);
    }
  }
}

void TdtpPolygonShape::LoadFromXml(const TXmlNode* node) {
  TdtpEffectShape::LoadFromXml(node);
  // The reader's defaults are the file format's, not those of a new shape: a missing "FillAlpha"
  // is a transparent fill, missing switches are off.
  const float width = FiniteOr(node->ReadFloat("OutlineWidth", 0), 0);
  outlineWidth_ = width;
  SetCurbs(std::max(width / 2, 0.1f));
  fillAlpha_ = std::clamp(node->ReadInteger("FillAlpha", 0), 0, 255);
  fillColor_ = node->ReadColor("FillColor", 0);
  outlineColor_ = node->ReadColor("OutlineColor", 0);
  useFill_ = node->ReadBool("UseFill", false);
  useOutline_ = node->ReadBool("UseOutline", false);
  useStipple_ = node->ReadBool("UseStipple", false);
  stippleSize_ = FiniteOr(node->ReadFloat("StippleSize", 2), 0);
  isClosed_ = node->ReadBool("IsClosed", true);
  fill_->Closed = isClosed_;
  storePoints_ = node->ReadBool("StorePoints", false);
  if (storePoints_) {
    ClearPoints();
    // Without "Polygon" the single empty contour stays.
    if (const TXmlNode* polygon = node->FindChild("Polygon")) {
      std::vector<TXmlNode*> lines, pts;
      polygon->FindChildren("Line", lines);
      for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) NewContour();
        lines[i]->FindChildren("Point", pts);
        for (const TXmlNode* p : pts) {
          AddPoint(FiniteOr(p->ReadFloat("X", 0), 0), FiniteOr(p->ReadFloat("Y", 0), 0));
        }
      }
    }
  } else {
    GeneratePoints();
  }
  dirty_ = true;
  UpdateCurbs();
}

void TdtpPolygonShape::DrawStipple(TBitmap32& bitmap) const {
  if (!fill_ || !std::isfinite(stippleSize_) || stippleSize_ <= 0) return;
  const double step = 8.0 / (CurveScale() * stippleSize_);
  if (!std::isfinite(step) || step <= 0) return;
  bitmap.SetStipple({clWhite32, clWhite32, clWhite32, clWhite32, clBlack32, clBlack32, clBlack32, clBlack32});
  bitmap.SetStippleStep(static_cast<float>(step));
  bitmap.StippleCounter = 0;
  const TColor32 color = ColorFromSystem(outlineColor_);
  for (const TArrayOfFixedPoint& c : fill_->Points()) {
    if (c.size() == 1) {
      if (isClosed_) bitmap.PlotAntialiased(c[0].X, c[0].Y, color);
      continue;
    }
    if (c.size() < 2) continue;
    bitmap.MoveTo(c[0].X, c[0].Y);
    for (size_t i = 1; i < c.size(); ++i) bitmap.LineToStippled(c[i].X, c[i].Y);
    if (isClosed_) bitmap.LineToStippled(c[0].X, c[0].Y);
  }
}

void TdtpPolygonShape::PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  (void)info;
  if (dirty_ || !fill_) RebuildPolygons();
  if (useFill_) fill_->DrawFill(bitmap, SetAlpha(ColorFromSystem(fillColor_), fillAlpha_));
  if (useOutline_) {
    // Only a positive width has a band; any other width is a hairline.
    if (outlineWidth_ > 0) {
      if (outline_) outline_->DrawFill(bitmap, ColorFromSystem(outlineColor_));
    } else if (!useStipple_) {
      fill_->DrawEdge(bitmap, ColorFromSystem(outlineColor_));
    }
  }
  if (useStipple_) DrawStipple(bitmap);
}

// --- Generated kinds ---

TdtpRectangleShape::TdtpRectangleShape() {
  InsertCursor = -35;
  UpdateCurbs();
}

void TdtpRectangleShape::GeneratePoints() {
  const float w = SafeWidth(), h = SafeHeight();
  TdtpContour c{{0, 0}, {0, h}, {w, h}, {w, 0}};
  if (points_.size() != 1 || points_[0] != c) {
    points_.assign(1, std::move(c));
    MarkGeometryDirty();
  }
}

TdtpEllipseShape::TdtpEllipseShape() {
  InsertCursor = -36;
  UpdateCurbs();
}

void TdtpEllipseShape::GeneratePoints() {
  const double w = SafeWidth(), h = SafeHeight();
  const int32_t n = ArcSegmentCount(CurveScale() * 2 * kPi * std::max(w, h) * kPi / 2);
  const std::vector<TFloatPoint> arc = UnitQuarterArc(n);
  const double cx = w / 2, cy = h / 2;
  auto x = [&](int32_t i) { return arc[static_cast<size_t>(i)].X * w / 2; };
  auto y = [&](int32_t i) { return arc[static_cast<size_t>(i)].Y * h / 2; };
  TdtpContour c;
  c.reserve(static_cast<size_t>(4 * n));
  for (int32_t i = 0; i < n; ++i) c.push_back(MakePoint(cx + x(i), cy + y(i)));
  for (int32_t i = 0; i < n; ++i) c.push_back(MakePoint(cx - x(n - i), cy + y(n - i)));
  for (int32_t i = 0; i < n; ++i) c.push_back(MakePoint(cx - x(i), cy - y(i)));
  for (int32_t i = 0; i < n; ++i) c.push_back(MakePoint(cx + x(n - i), cy - y(n - i)));
  if (points_.size() != 1 || points_[0] != c) {
    points_.assign(1, std::move(c));
    MarkGeometryDirty();
  }
}

TdtpRoundRectShape::TdtpRoundRectShape() {
  InsertCursor = -35;
  cornerWidth_ = docWidth_ / 4;
  cornerHeight_ = docHeight_ / 4;
  UpdateCurbs();
}

void TdtpRoundRectShape::GeneratePoints() {
  const double w = SafeWidth(), h = SafeHeight();
  const double cw = std::max(0.0f, Finite(cornerWidth_)), ch = std::max(0.0f, Finite(cornerHeight_));
  double rx, ry;
  if (cornerPercent_) {
    rx = std::min(w / 2, w * cw / 100);
    ry = std::min(h / 2, h * ch / 100);
  } else {
    rx = std::min(w / 2, cw);
    ry = std::min(h / 2, ch);
  }
  rx = std::max(rx, 0.0);
  ry = std::max(ry, 0.0);
  // Each corner repeats its end points, so the cap leaves room for those four extra points.
  const int32_t n = std::min(ArcSegmentCount(CurveScale() * std::max(rx, ry) * kPi / 2), kMaxCurvePoints / 4 - 1);
  const std::vector<TFloatPoint> arc = UnitQuarterArc(n);
  auto u = [&](int32_t i) { return rx * (1 - arc[static_cast<size_t>(i)].X); };
  auto v = [&](int32_t i) { return ry * (1 - arc[static_cast<size_t>(i)].Y); };
  TdtpContour c;
  c.reserve(static_cast<size_t>(4 * (n + 1)));
  for (int32_t i = 0; i <= n; ++i) c.push_back(MakePoint(u(i), v(i)));
  for (int32_t i = n; i >= 0; --i) c.push_back(MakePoint(w - u(i), v(i)));
  for (int32_t i = 0; i <= n; ++i) c.push_back(MakePoint(w - u(i), h - v(i)));
  for (int32_t i = n; i >= 0; --i) c.push_back(MakePoint(u(i), h - v(i)));
  if (points_.size() != 1 || points_[0] != c) {
    points_.assign(1, std::move(c));
    MarkGeometryDirty();
  }
}

void TdtpRoundRectShape::SetCornerWidth(float value) {
  if (!std::isfinite(value) || value == cornerWidth_) return;
  RecordFloat(ckProperty, "CornerWidth", cornerWidth_);
  cornerWidth_ = value;
  MarkGeometryDirty();
  RefreshSelf();
  Changed();
}

void TdtpRoundRectShape::SetCornerHeight(float value) {
  if (!std::isfinite(value) || value == cornerHeight_) return;
  RecordFloat(ckProperty, "CornerHeight", cornerHeight_);
  cornerHeight_ = value;
  MarkGeometryDirty();
  RefreshSelf();
  Changed();
}

void TdtpRoundRectShape::SetCornerPropertiesArePercentage(bool value) {
  if (value == cornerPercent_) return;
  RecordBool(ckProperty, "CornerPropertiesArePercentage", cornerPercent_);
  cornerPercent_ = value;
  MarkGeometryDirty();
  RefreshSelf();
  Changed();
}

void TdtpRoundRectShape::SetPropertyByName(const std::string& name, const std::string& value) {
  TdtpPolygonShape::SetPropertyByName(name, value);
  if (SameText(name, "CornerWidth")) {
    SetCornerWidth(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "CornerHeight")) {
    SetCornerHeight(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "CornerPropertiesArePercentage")) {
    SetCornerPropertiesArePercentage(ParseBoolValue(value));
  }
}

void TdtpRoundRectShape::SaveToXml(TXmlNode& node) const {
  TdtpPolygonShape::SaveToXml(node);
  node.WriteFloat("CornerWidth", cornerWidth_, 0);
  node.WriteFloat("CornerHeight", cornerHeight_, 0);
  node.WriteBool("CornerPropertiesArePercentage", cornerPercent_, false);
}

void TdtpRoundRectShape::LoadFromXml(const TXmlNode* node) {
  TdtpPolygonShape::LoadFromXml(node);
  cornerWidth_ = FiniteOr(node->ReadFloat("CornerWidth", 0), 0);
  cornerHeight_ = FiniteOr(node->ReadFloat("CornerHeight", 0), 0);
  cornerPercent_ = node->ReadBool("CornerPropertiesArePercentage", false);
  if (!StorePoints()) GeneratePoints();
  MarkGeometryDirty();
  UpdateCurbs();
}

}  // namespace sw
