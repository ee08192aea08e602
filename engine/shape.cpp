// Frames: a shape's local frame has its origin at the shape's unrotated top-left corner, x right,
// y down; its children's positions are local coordinates of it. A positive DocAngle turns the
// shape counter-clockwise on the screen about its local origin. The view frame is the frame the
// page lies in; window pixels are (view mm - WindowLeft/Top) x the document's screen resolution.
#include "engine/shape.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/bytes.h"
#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "engine/command.h"
#include "engine/document.h"
#include "engine/handles.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "engine/undo_log.h"
#include "platform/canvas.h"
#include "platform/region.h"
#include "storage/container/storage.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

// [0, 360): float rounding of a tiny negative angle could land on 360 itself.
float NormaliseAngle(double angle) {
  double a = angle - std::floor(angle / 360.0) * 360.0;
  auto f = static_cast<float>(a);
  if (!(f >= 0.0f) || f >= 360.0f) f = 0.0f;
  return f;
}

bool IsPositiveFinite(float v) { return std::isfinite(v) && v > 0.0f; }

void PutBlock(std::string& out, const void* data, size_t size) {
  AppendLE32(out, static_cast<uint32_t>(size));
  out.append(static_cast<const char*>(data), size);
}

// Reads the snapshot's little-endian lengths, never past the data.
class TSnapshotReader {
public:
  explicit TSnapshotReader(const std::string& data) : data_(data) {}

  size_t Left() const { return data_.size() - pos_; }

  int64_t Length(const char* what) {
    if (Left() < 4) RaiseError(Format("Shape snapshot is damaged: %s is missing", what));
    const auto value = static_cast<int32_t>(ReadLE32(reinterpret_cast<const uint8_t*>(data_.data() + pos_)));
    pos_ += 4;
    if (value < 0) RaiseError(Format("Shape snapshot is damaged: %s is negative", what));
    return value;
  }

  std::string_view Block(const char* what) {
    const int64_t n = Length(what);
    if (static_cast<uint64_t>(n) > Left()) {
      RaiseError(Format("Shape snapshot is damaged: %s exceeds the data", what));
    }
    std::string_view block(data_.data() + pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return block;
  }

private:
  const std::string& data_;
  size_t pos_ = 0;
};

// The archive's own streams may never be replaced from a snapshot.
bool IsReservedStreamName(const std::string& name) {
  const std::string lower = LowerCase(name);
  auto endsWith = [&](const char* tail) {
    const size_t n = std::strlen(tail);
    return lower.size() >= n && lower.compare(lower.size() - n, n, tail) == 0;
  };
  return lower == "index.xml" || (lower.rfind("page", 0) == 0 && endsWith(".xml")) ||
         (lower.rfind("thumb", 0) == 0 && endsWith(".bmp"));
}

// Deletes the temporary-named streams only this child uses: a copy made through a snapshot lists
// the same names as its original, and a page still unread may list anything.
void DeleteChildTempStreams(TdtpDocument& doc, const TdtpShape& child) {
  std::vector<std::string> own;
  child.ListResources(own);
  own.erase(std::remove_if(own.begin(), own.end(),
                           [](const std::string& n) { return !TsdStorage::IsTempStreamName(n); }),
            own.end());
  if (own.empty()) return;
  std::vector<std::string> all;
  for (int i = 0; i < doc.PageCount(); ++i) {
    if (!doc.Pages(i)->Loaded()) return;
    doc.Pages(i)->ListResources(all);
  }
  for (const std::string& name : own) {
    const auto inChild = std::count_if(own.begin(), own.end(), [&](const std::string& n) { return SameText(n, name); });
    const auto inAll = std::count_if(all.begin(), all.end(), [&](const std::string& n) { return SameText(n, name); });
    if (inAll <= inChild) doc.Storage().DeleteStream(name);
  }
}

}  // namespace

bool RegionContains(const TdtpRegion& region, double x, double y) {
  return PointInPolygon(region, TFloatPoint{static_cast<float>(x), static_cast<float>(y)});
}

void AnchorAxis(bool propPos, bool propSize, bool nearLock, bool farLock, double s0, double s1,
                double& p, double& s) {
  if (s0 == 0) {
    if (propPos || nearLock) p = 0;
    if (propSize || farLock) s = s1;
    return;
  }
  const double r = s1 / s0;
  double ns = s;
  if (propPos) {
    const double c = (p + 0.5 * s) * r;
    if (propSize) ns = s * r;
    p = c - 0.5 * ns;
  } else if (nearLock) {
    if (propSize) ns = s * r;
  } else {
    if (propSize) ns = s * r;
    p = p + s - ns;
  }
  s = ns;
}

TdtpShape::TdtpShape() = default;

TdtpShape::~TdtpShape() = default;

// --- Children ---

int TdtpShape::ChildCount() const { return static_cast<int>(children_.size()); }

TdtpShape* TdtpShape::Child(int index) const {
  if (index < 0 || index >= ChildCount()) return nullptr;
  return children_[static_cast<size_t>(index)].get();
}

int TdtpShape::ShapeIndex() const { return parent_ ? parent_->IndexOfChild(this) : -1; }

bool TdtpShape::IsInside(const TdtpShape* other) const {
  for (const TdtpShape* s = this; s; s = s->parent_) {
    if (s == other) return true;
  }
  return false;
}

int TdtpShape::Depth() const {
  int depth = 0;
  for (const TdtpShape* s = parent_; s; s = s->parent_) ++depth;
  return depth;
}

int TdtpShape::IndexOfChild(const TdtpShape* shape) const {
  for (size_t i = 0; i < children_.size(); ++i) {
    if (children_[i].get() == shape) return static_cast<int>(i);
  }
  return -1;
}

namespace {
// A shape may join a child list only when nobody owns it: no parent, not a document's page, and
// not this shape or one of its ancestors (which would make a cycle).
bool CanAdopt(const TdtpShape& parent, const TdtpShape* shape) {
  if (!shape || shape->Parent() || parent.IsInside(shape)) return false;
  if (TdtpDocument* doc = shape->Document()) {
    if (auto* page = dynamic_cast<const TdtpPage*>(shape); page && doc->PageIndexOf(page) >= 0) return false;
  }
  return true;
}
}  // namespace

int TdtpShape::AddChild(TdtpShape* shape) {
  if (!CanAdopt(*this, shape)) return -1;
  RecordInteger(ckInsert, "", ChildCount());
  children_.emplace_back(shape);
  shape->SetDocument(document_);
  shape->SetParent(this);
  InvalidateArea();
  Changed();
  return ChildCount() - 1;
}

int TdtpShape::AddChild(std::unique_ptr<TdtpShape> shape) {
  const int index = AddChild(shape.get());
  if (index >= 0) shape.release();
  return index;
}

bool TdtpShape::InsertChild(int index, TdtpShape* shape) {
  if (!CanAdopt(*this, shape)) return false;
  index = std::clamp(index, 0, ChildCount());
  RecordInteger(ckInsert, "", index);
  children_.emplace(children_.begin() + index, shape);
  shape->SetParent(this);
  shape->SetDocument(document_);
  InvalidateArea();
  Changed();
  return true;
}

bool TdtpShape::InsertChild(int index, std::unique_ptr<TdtpShape> shape) {
  const bool done = InsertChild(index, shape.get());
  if (done) shape.release();
  return done;
}

void TdtpShape::DetachChild(TdtpShape* child) {
  child->SetSelected(false);
  if (document_) document_->ShapeDestroyed(child);
  child->SetParent(nullptr);
  child->SetDocument(nullptr);
}

void TdtpShape::DeleteChild(int index) {
  TdtpShape* child = Child(index);
  if (!child) return;
  RecordChildSnapshot(ckDelete, child);
  InvalidateArea();
  if (document_) DeleteChildTempStreams(*document_, *child);
  DetachChild(child);
  // The index may have moved if a notification handler changed the list meanwhile.
  const int at = IndexOfChild(child);
  if (at >= 0) children_.erase(children_.begin() + at);
  Changed();
}

TdtpShape* TdtpShape::ExtractChild(TdtpShape* shape) {
  if (!shape || IndexOfChild(shape) < 0) return nullptr;
  RecordChildSnapshot(ckDelete, shape);
  InvalidateArea();
  DetachChild(shape);
  const int at = IndexOfChild(shape);
  if (at >= 0) {
    children_[static_cast<size_t>(at)].release();
    children_.erase(children_.begin() + at);
  }
  Changed();
  return shape;
}

void TdtpShape::DeleteAllChildren() {
  while (ChildCount() > 0) DeleteChild(0);
}

int TdtpShape::DeleteChildObject(TdtpShape* shape) {
  const int index = IndexOfChild(shape);
  if (index >= 0) DeleteChild(index);
  return index;
}

void TdtpShape::ExchangeChildren(int index1, int index2) {
  TdtpShape* a = Child(index1);
  TdtpShape* b = Child(index2);
  if (!a || !b || index1 == index2) return;
  std::swap(children_[static_cast<size_t>(index1)], children_[static_cast<size_t>(index2)]);
  a->InvalidateArea();
  b->InvalidateArea();
  Changed();
}

void TdtpShape::ClearShapes() {
  BeginUpdate();
  try {
    for (int i = ChildCount() - 1; i >= 0; --i) {
      if (Child(i)->Protected) break;
      DeleteChild(i);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TdtpShape::ListResources(std::vector<std::string>& names) const {
  for (const auto& child : children_) child->ListResources(names);
}

// --- Undo recorders ---

void TdtpShape::RecordFontStyle(int32_t kind, const std::string& name, uint8_t style) {
  std::string text;
  if (style & fsBold) text += 'B';
  if (style & fsItalic) text += 'I';
  if (style & fsUnderline) text += 'U';
  if (style & fsStrikeOut) text += 'S';
  RecordChange(kind, name, text);
}

void TdtpShape::RecordFloat(int32_t kind, const std::string& name, double value) {
  RecordChange(kind, name, XmlFloatToStr(value));
}

void TdtpShape::RecordInteger(int32_t kind, const std::string& name, int64_t value) {
  RecordChange(kind, name, std::to_string(value));
}

void TdtpShape::RecordBool(int32_t kind, const std::string& name, bool value) {
  RecordChange(kind, name, value ? "True" : "False");
}

void TdtpShape::RecordChange(int32_t kind, const std::string& name, const std::string& value) {
  if (document_ && document_->UndoEnabled()) {
    document_->AddUndo(std::make_unique<TdtpCommand>(kind, shapeId_, name, value));
  }
}

void TdtpShape::RecordChildSnapshot(int32_t kind, TdtpShape* child) {
  if (kind != ckDelete || !child || !document_ || !document_->UndoEnabled()) return;
  document_->AddUndo(std::make_unique<TdtpCommand>(ckDelete, shapeId_, "ClassName", child->ClassName(),
                                                   MakeRemovalStream(*child)));
}

bool TdtpShape::ApplyCommand(TdtpCommand* command) {
  if (!command) return false;
  if (command->ShapeId != shapeId_) {
    for (const auto& child : children_) {
      if (child->ApplyCommand(command)) return true;
    }
    return false;
  }
  switch (command->Kind) {
    case ckProperty:
      SetPropertyByName(command->Name, command->Value);
      break;
    case ckInsert:
      DeleteChild(static_cast<int>(ParseCommandInteger(command->Value)));
      break;
    case ckDelete: {
      TdtpRemovedChild removed;
      if (!ReadRemovedChild(*command, removed)) return false;
      auto shape = CreateShapeByClassName(command->Value);
      TdtpShape* raw = shape.get();
      if (!InsertChild(removed.Index, std::move(shape))) break;
      // The insertion's record alone undoes the restored subtree.
      const TUndoOff undoOff(document_);
      raw->LoadFromString(removed.Snapshot);
      RestoreIdentities(*raw, removed);
      break;
    }
    default:
      break;
  }
  return true;
}

void TdtpShape::SetPropertyByName(const std::string& name, const std::string& value) {
  if (SameText(name, "DocLeft")) {
    SetLeft(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "DocTop")) {
    SetTop(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "DocWidth")) {
    SetWidth(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "DocHeight")) {
    SetHeight(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "DocAngle")) {
    SetAngle(static_cast<float>(ParseCommandFloat(value)));
  } else if (SameText(name, "MasterAlpha")) {
    SetMasterAlpha(ParseCommandInteger(value));
  }
}

// --- Geometry ---

TFloatPoint TdtpShape::SnapPoint(const TFloatPoint& p) {
  if (!parent_) return p;
  return ParentToLocal(parent_->SnapPoint(LocalToParent(p)));
}

void TdtpShape::SetHeight(float value) {
  if (value != docHeight_) SetBounds(docLeft_, docTop_, docWidth_, value);
}

void TdtpShape::SetLeft(float value) {
  if (value != docLeft_) SetBounds(value, docTop_, docWidth_, docHeight_);
}

void TdtpShape::SetTop(float value) {
  if (value != docTop_) SetBounds(docLeft_, value, docWidth_, docHeight_);
}

void TdtpShape::SetWidth(float value) {
  if (value != docWidth_) SetBounds(docLeft_, docTop_, value, docHeight_);
}

void TdtpShape::SetMasterAlpha(int64_t value) {
  const auto v = static_cast<uint32_t>(std::clamp<int64_t>(value, 0, 255));
  if (v == masterAlpha_) return;
  RecordInteger(ckProperty, "MasterAlpha", masterAlpha_);
  masterAlpha_ = v;
  InvalidateArea();
  Changed();
}

void TdtpShape::StoreAngle(float angle) {
  docAngle_ = angle;
  cos_ = std::cos(angle * kDegToRad);
  sin_ = std::sin(angle * kDegToRad);
}

void TdtpShape::SetAngle(float value) {
  if (!std::isfinite(value)) return;
  const float a = NormaliseAngle(value);
  if (a == docAngle_) return;
  RecordFloat(ckProperty, "DocAngle", docAngle_);
  InvalidateArea();
  StoreAngle(a);
  if (parent_) parent_->MarkCacheStale();
  InvalidateArea();
  Changed();
}

void TdtpShape::SetPosition(float left, float top) {
  {
    const TUndoStep step(document_);
    if (left != docLeft_) RecordFloat(ckProperty, "DocLeft", docLeft_);
    if (top != docTop_) RecordFloat(ckProperty, "DocTop", docTop_);
  }
  docLeft_ = left;
  docTop_ = top;
}

void TdtpShape::SetSize(float width, float height) {
  {
    const TUndoStep step(document_);
    if (width != docWidth_) RecordFloat(ckProperty, "DocWidth", docWidth_);
    if (height != docHeight_) RecordFloat(ckProperty, "DocHeight", docHeight_);
  }
  if (width != docWidth_ || height != docHeight_) {
    docWidth_ = width;
    docHeight_ = height;
    MarkCacheStale();
  }
}

void TdtpShape::SetBounds(float left, float top, float width, float height) {
  SetBoundsAndAngle(left, top, width, height, docAngle_);
}

void TdtpShape::SetBoundsAndAngle(float left, float top, float width, float height, float angle) {
  // Non-finite values from callers keep the current ones.
  left = FiniteOr(left, docLeft_);
  top = FiniteOr(top, docTop_);
  width = FiniteOr(width, docWidth_);
  height = FiniteOr(height, docHeight_);
  angle = std::isfinite(angle) ? NormaliseAngle(angle) : docAngle_;
  if (left == docLeft_ && top == docTop_ && width == docWidth_ && height == docHeight_ &&
      angle == docAngle_) {
    return;
  }
  InvalidateArea();
  const bool resized = width != docWidth_ || height != docHeight_;
  {
    // The children's re-layout belongs to the parent's undo step.
    const TUndoStep step(document_);
    if (grouped_ && resized) {
      for (const auto& child : children_) {
        try {
          const TdtpAnchors a = child->anchors_;
          const bool def = (a & anDefault) != 0;
          double x = child->docLeft_, w = child->docWidth_, y = child->docTop_, h = child->docHeight_;
          AnchorAxis(def || (a & anPosXProp), def ? AllowResize : (a & anSizeXProp) != 0,
                     !def && (a & anLeftLock), !def && (a & anRightLock), docWidth_, width, x, w);
          AnchorAxis(def || (a & anPosYProp), def ? AllowResize : (a & anSizeYProp) != 0,
                     !def && (a & anTopLock), !def && (a & anBottomLock), docHeight_, height, y, h);
          child->SetBounds(static_cast<float>(x), static_cast<float>(y), static_cast<float>(w),
                           static_cast<float>(h));
        } catch (...) {
          // A child that cannot follow keeps its place; the parent's own change goes on.
        }
      }
    }
    if (left != docLeft_ || top != docTop_) SetPosition(left, top);
    if (resized) SetSize(width, height);
    if (angle != docAngle_) SetAngle(angle);
  }
  InvalidateArea();
  Changed();
  if (OnBoundsChanged) OnBoundsChanged(this);
}

bool TdtpShape::ConstrainSize(float& width, float& height) {
  if (!AllowResize) {
    width = docWidth_;
    height = docHeight_;
    return false;
  }
  const TFloatSizeConstraint& c = Constraints;
  if (c.MinWidth > 0 && width < c.MinWidth) width = c.MinWidth;
  if (c.MaxWidth > 0 && width > c.MaxWidth) width = c.MaxWidth;
  if (c.MinHeight > 0 && height < c.MinHeight) height = c.MinHeight;
  if (c.MaxHeight > 0 && height > c.MaxHeight) height = c.MaxHeight;
  width = std::max(0.1f, width);
  height = std::max(0.1f, height);
  if (PreserveAspect && IsPositiveFinite(AspectRatio)) {
    if (width / height > AspectRatio) {
      width = height * AspectRatio;
    } else {
      height = width / AspectRatio;
    }
    if (width < c.MinWidth) {
      width = c.MinWidth;
      height = c.MinWidth / AspectRatio;
    }
    if (height < c.MinHeight) {
      height = c.MinHeight;
      width = c.MinHeight * AspectRatio;
    }
  }
  return true;
}

bool TdtpShape::ConstrainPosition(float& left, float& top, float width, float height) {
  if (!AllowMove && width == docWidth_ && height == docHeight_) {
    left = docLeft_;
    top = docTop_;
  }
  return AllowMove;
}

void TdtpShape::SetBoundsConstrained(float left, float top, float width, float height) {
  ConstrainSize(width, height);
  ConstrainPosition(left, top, width, height);
  SetBounds(left, top, width, height);
}

void TdtpShape::ApplyDrag() {
  SetBoundsConstrained(Drag.Left, Drag.Top, Drag.Width, Drag.Height);
  RotateAboutCentre(Drag.Angle);
}

void TdtpShape::SetBoundsRect(const TFloatRect& r) {
  SetBoundsConstrained(std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::abs(r.Right - r.Left),
                       std::abs(r.Bottom - r.Top));
}

void TdtpShape::ApplyConstraints() {
  float w = docWidth_, h = docHeight_;
  ConstrainSize(w, h);
  SetBounds(docLeft_, docTop_, w, h);
}

void TdtpShape::Inflate(float dx, float dy) {
  SetBounds(docLeft_ - dx, docTop_ - dy, docWidth_ + 2 * dx, docHeight_ + 2 * dy);
}

void TdtpShape::CenterAt(float x, float y) {
  const TFloatRect b = BoundsInParent(false);
  const double dx = x - (static_cast<double>(b.Left) + b.Right) / 2;
  const double dy = y - (static_cast<double>(b.Top) + b.Bottom) / 2;
  SetBounds(static_cast<float>(docLeft_ + dx), static_cast<float>(docTop_ + dy), docWidth_, docHeight_);
}

void TdtpShape::RotateAboutCentre(float angle) {
  if (!std::isfinite(angle) || angle == docAngle_) return;
  const double c0 = cos_, s0 = sin_;
  const double c1 = std::cos(angle * kDegToRad), s1 = std::sin(angle * kDegToRad);
  const double hw = docWidth_ / 2.0, hh = docHeight_ / 2.0;
  const double left = docLeft_ + (c0 * hw + s0 * hh) - (c1 * hw + s1 * hh);
  const double top = docTop_ + (-s0 * hw + c0 * hh) - (-s1 * hw + c1 * hh);
  SetBoundsAndAngle(static_cast<float>(left), static_cast<float>(top), docWidth_, docHeight_, angle);
}

void TdtpShape::SetBoundsLeft(float x) {
  const TFloatRect b = BoundsInParent(false);
  SetBounds(static_cast<float>(docLeft_ + (static_cast<double>(x) - b.Left)), docTop_, docWidth_, docHeight_);
}

void TdtpShape::SetBoundsTop(float y) {
  const TFloatRect b = BoundsInParent(false);
  SetBounds(docLeft_, static_cast<float>(docTop_ + (static_cast<double>(y) - b.Top)), docWidth_, docHeight_);
}

TFloatRect TdtpShape::BoundsInParent(bool withCurbs) const {
  float l = 0, t = 0, r = docWidth_, b = docHeight_;
  if (withCurbs) {
    l = -effCurbs_[0];
    t = -effCurbs_[1];
    r += effCurbs_[2];
    b += effCurbs_[3];
  }
  const TFloatPoint corners[4] = {LocalToParent({l, t}), LocalToParent({l, b}), LocalToParent({r, b}),
                                  LocalToParent({r, t})};
  TFloatRect out{corners[0].X, corners[0].Y, corners[0].X, corners[0].Y};
  for (const TFloatPoint& p : corners) {
    out.Left = std::min(out.Left, p.X);
    out.Top = std::min(out.Top, p.Y);
    out.Right = std::max(out.Right, p.X);
    out.Bottom = std::max(out.Bottom, p.Y);
  }
  return out;
}

void TdtpShape::ChildrenBounds(TFloatRect& rect) const {
  rect = TFloatRect{};
  bool first = true;
  for (const auto& child : children_) {
    const TFloatRect b = child->BoundsInParent(false);
    if (first) {
      rect = b;
      first = false;
    } else {
      rect.Left = std::min(rect.Left, b.Left);
      rect.Top = std::min(rect.Top, b.Top);
      rect.Right = std::max(rect.Right, b.Right);
      rect.Bottom = std::max(rect.Bottom, b.Bottom);
    }
  }
}

void TdtpShape::FitToChildren() {
  if (children_.empty()) return;
  TFloatRect r;
  ChildrenBounds(r);
  for (const auto& child : children_) {
    child->SetBounds(child->docLeft_ + docLeft_ - r.Left, child->docTop_ + docTop_ - r.Top,
                     child->docWidth_, child->docHeight_);
  }
  const bool wasGrouped = grouped_;
  grouped_ = false;
  try {
    SetBoundsConstrained(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  } catch (...) {
    grouped_ = wasGrouped;
    throw;
  }
  grouped_ = wasGrouped;
  bool anyAspect = false;
  for (const auto& child : children_) anyAspect = anyAspect || child->PreserveAspect;
  if (anyAspect) LockAspect();
  for (const auto& child : children_) {
    child->SetSelected(false);
    child->SetAllowSelect(false);
  }
}

void TdtpShape::LockAspect() {
  PreserveAspect = true;
  AspectRatio = docHeight_ != 0 ? docWidth_ / docHeight_ : 0;
}

// --- Coordinates ---

TFloatPoint TdtpShape::LocalToParent(const TFloatPoint& p) const {
  return {static_cast<float>(docLeft_ + cos_ * p.X + sin_ * p.Y),
          static_cast<float>(docTop_ - sin_ * p.X + cos_ * p.Y)};
}

TFloatPoint TdtpShape::ParentToLocal(const TFloatPoint& p) const {
  const double dx = static_cast<double>(p.X) - docLeft_, dy = static_cast<double>(p.Y) - docTop_;
  return {static_cast<float>(cos_ * dx - sin_ * dy), static_cast<float>(sin_ * dx + cos_ * dy)};
}

TFloatPoint TdtpShape::LocalToView(const TFloatPoint& p) const {
  TFloatPoint q = p;
  for (const TdtpShape* s = this; s; s = s->parent_) q = s->LocalToParent(q);
  return q;
}

TFloatPoint TdtpShape::LocalToScreen(const TFloatPoint& p) const {
  const TFloatPoint v = LocalToView(p);
  if (!document_) return v;
  const double dpm = document_->ScreenDpm();
  return {static_cast<float>((v.X - document_->WindowLeft) * dpm),
          static_cast<float>((v.Y - document_->WindowTop) * dpm)};
}

TFloatPoint TdtpShape::ScreenToLocal(const TFloatPoint& p) const {
  TFloatPoint q = p;
  if (document_ && document_->ScreenDpm() > 0) {
    const double dpm = document_->ScreenDpm();
    q = {static_cast<float>(p.X / dpm + document_->WindowLeft),
         static_cast<float>(p.Y / dpm + document_->WindowTop)};
  }
  std::vector<const TdtpShape*> chain;
  for (const TdtpShape* s = this; s; s = s->parent_) chain.push_back(s);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) q = (*it)->ParentToLocal(q);
  return q;
}

TFloatPoint TdtpShape::LocalToPaint(const TFloatPoint& p) const {
  const TdtpAffineTransform& m = paintMatrix_;
  return {static_cast<float>(m.A * p.X + m.C * p.Y + m.E), static_cast<float>(m.B * p.X + m.D * p.Y + m.F)};
}

int32_t TdtpShape::PaintX(float u) const { return Round(paintMatrix_.A * u + paintMatrix_.E); }

int32_t TdtpShape::PaintY(float v) const { return Round(paintMatrix_.D * v + paintMatrix_.F); }

void TdtpShape::ScreenBounds(TRect& rect) const {
  const TdtpRegion corners = [&] {
    const float l = -effCurbs_[0], t = -effCurbs_[1], r = docWidth_ + effCurbs_[2], b = docHeight_ + effCurbs_[3];
    return TdtpRegion{LocalToScreen({l, t}), LocalToScreen({l, b}), LocalToScreen({r, b}), LocalToScreen({r, t})};
  }();
  double x0 = corners[0].X, y0 = corners[0].Y, x1 = x0, y1 = y0;
  for (const TFloatPoint& p : corners) {
    x0 = std::min<double>(x0, p.X);
    y0 = std::min<double>(y0, p.Y);
    x1 = std::max<double>(x1, p.X);
    y1 = std::max<double>(y1, p.Y);
  }
  rect = TRect{Round(x0 - 0.5), Round(y0 - 0.5), Round(x1 + 0.5), Round(y1 + 0.5)};
}

TdtpRegion TdtpShape::ShapeRegion() const {
  if (!document_) return {};
  return {LocalToScreen({0, 0}), LocalToScreen({0, docHeight_}), LocalToScreen({docWidth_, docHeight_}),
          LocalToScreen({docWidth_, 0})};
}

TdtpRegion TdtpShape::ScreenRegion() const {
  if (!document_) return {};
  const float l = -effCurbs_[0], t = -effCurbs_[1], r = docWidth_ + effCurbs_[2], b = docHeight_ + effCurbs_[3];
  return {LocalToScreen({l, t}), LocalToScreen({l, b}), LocalToScreen({r, b}), LocalToScreen({r, t})};
}

// --- Hit tests ---

bool TdtpShape::HitTest(const TPoint& p) {
  if (!RegionContains(ScreenRegion(), p.X, p.Y)) return false;
  if (cache_) return HitTestCache(p);
  const TdtpRegion region = ShapeRegion();
  if (region.empty() || !document_) return false;
  for (int i = 0; i < document_->ProbeCount(); ++i) {
    const TPoint o = document_->Probe(i);
    if (RegionContains(region, p.X + o.X, p.Y + o.Y)) return true;
  }
  return false;
}

bool TdtpShape::HitTestCache(const TPoint& p) {
  if (!cache_) return true;
  const TFloatPoint local = ScreenToLocal({static_cast<float>(p.X), static_cast<float>(p.Y)});
  const double x = kCacheMargin + std::ceil(effCurbs_[0] * CacheDpm) + local.X * CacheDpm;
  const double y = kCacheMargin + std::ceil(effCurbs_[1] * CacheDpm) + local.Y * CacheDpm;
  if (!std::isfinite(x) || !std::isfinite(y)) return true;
  const auto cx = static_cast<int32_t>(std::floor(std::clamp(x, -1.0, 1e9)));
  const auto cy = static_cast<int32_t>(std::floor(std::clamp(y, -1.0, 1e9)));
  if (cx < 0 || cy < 0 || cx >= cache_->Width() || cy >= cache_->Height()) return true;
  if (!document_) return false;
  const uint32_t threshold = masterAlpha_ * 50 / 255;
  for (int i = 0; i < document_->ProbeCount(); ++i) {
    const TPoint o = document_->Probe(i);
    const int32_t px = cx + o.X, py = cy + o.Y;
    if (px < 0 || py < 0 || px >= cache_->Width() || py >= cache_->Height()) continue;
    if ((cache_->Pixel(px, py) >> 24) > threshold) return true;
  }
  return false;
}

bool TdtpShape::HitTestDeep(const TPoint& p, TdtpShape*& found) {
  found = nullptr;
  if (!RegionContains(ScreenRegion(), p.X, p.Y)) return false;
  found = this;
  for (int i = ChildCount() - 1; i >= 0; --i) {
    TdtpShape* child = Child(i);
    TdtpShape* inner = nullptr;
    if (child->HitTestDeep(p, inner)) {
      found = inner;
      return true;
    }
  }
  if (children_.empty()) {
    if (cache_) {
      const bool hit = HitTestCache(p);
      if (!hit) found = nullptr;
      return hit;
    }
    return true;
  }
  return false;
}

// --- State, change and invalidation ---

void TdtpShape::Changed() {
  if (document_ && document_->IsLoading()) return;
  SetChanged(true);
  if (updateCount_ > 0) {
    pendingChange_ = true;
    return;
  }
  pendingChange_ = false;
  if (OnChange) OnChange(this);
  if (document_) document_->ShapeChanged(this);
}

void TdtpShape::BeginUpdate() { ++updateCount_; }

void TdtpShape::EndUpdate() {
  if (updateCount_ <= 0) RaiseError("EndUpdate called more often than BeginUpdate");
  if (--updateCount_ == 0 && pendingChange_) Changed();
}

void TdtpShape::SetChanged(bool value) {
  if (value != changed_) {
    changed_ = value;
    if (!value) {
      for (const auto& child : children_) child->SetChanged(false);
    }
  }
  if (value) {
    if (parent_) parent_->SetChanged(true);
    if (document_) document_->SetModified(true);
  }
}

void TdtpShape::Invalidate() {
  if (document_) document_->InvalidateShape(this);
}

void TdtpShape::InvalidateArea() {
  Invalidate();
  if (parent_) parent_->MarkCacheStale();
}

void TdtpShape::RefreshSelf() {
  MarkCacheStale();
  UpdateCurbs();
  InvalidateArea();
}

void TdtpShape::Refresh() {
  MarkCacheStale();
  for (const auto& child : children_) child->Refresh();
  UpdateCurbs();
  InvalidateArea();
}

void TdtpShape::MarkCacheStale() {
  for (TdtpShape* s = this; s; s = s->parent_) s->CacheDpm = 0;
}

void TdtpShape::UpdateCurbs() {
  float l = curbLeft_, t = curbTop_, r = curbRight_, b = curbBottom_;
  AdjustCurbs(l, t, r, b);
  if (grouped_) {
    float v[4] = {0, 0, 0, 0};
    for (const auto& child : children_) child->AdjustCurbs(v[0], v[1], v[2], v[3]);
    const float m = std::max(std::max(v[0], v[1]), std::max(v[2], v[3]));
    l = std::max(l, m);
    t = std::max(t, m);
    r = std::max(r, m);
    b = std::max(b, m);
  }
  effCurbs_ = {l, t, r, b};
}

void TdtpShape::AdjustCurbs(float& left, float& top, float& right, float& bottom) const {
  if (mirrored_) left = right = std::max(left, right);
  if (flipped_) top = bottom = std::max(top, bottom);
}

void TdtpShape::SetCurbs(float value) { SetCurbsLTRB(value, value, value, value); }

void TdtpShape::SetCurbsLTRB(float left, float top, float right, float bottom) {
  left = std::clamp(FiniteOr(left, curbLeft_), -kMaxCurb, kMaxCurb);
  top = std::clamp(FiniteOr(top, curbTop_), -kMaxCurb, kMaxCurb);
  right = std::clamp(FiniteOr(right, curbRight_), -kMaxCurb, kMaxCurb);
  bottom = std::clamp(FiniteOr(bottom, curbBottom_), -kMaxCurb, kMaxCurb);
  if (left == curbLeft_ && top == curbTop_ && right == curbRight_ && bottom == curbBottom_) return;
  curbLeft_ = left;
  curbTop_ = top;
  curbRight_ = right;
  curbBottom_ = bottom;
  UpdateCurbs();
  CacheDpm = 0;
}

void TdtpShape::SetDocument(TdtpDocument* document) {
  if (document == document_) return;
  document_ = document;
  if (document_) shapeId_ = document_->NextShapeId();
  InvalidateArea();
  for (const auto& child : children_) child->SetDocument(document);
}

void TdtpShape::SetName(const std::string& value) {
  if (value == name_) return;
  name_ = value;
  Changed();
}

void TdtpShape::SetParent(TdtpShape* parent) {
  if (parent == parent_) return;
  parent_ = parent;
  InvalidateArea();
}

void TdtpShape::SetVisible(bool value) {
  if (value == visible_) return;
  if (!value) SetSelected(false);
  visible_ = value;
  InvalidateArea();
  Changed();
}

void TdtpShape::SetSelected(bool value) {
  if (value && !allowSelect_) return;
  if (value == selected_) return;
  selected_ = value;
  if (document_) document_->SelectionChanged();
  Invalidate();
}

void TdtpShape::SetAllowSelect(bool value) {
  if (value == allowSelect_) return;
  Invalidate();
  allowSelect_ = value;
  Invalidate();
}

void TdtpShape::ShowPlaceHolder(bool value) {
  TdtpShape* first = Child(0);
  if (first && std::strcmp(first->ClassName(), "TdtpPlaceHolder") == 0) first->SetVisible(value);
}

void TdtpShape::SetAnchors(TdtpAnchors value) {
  if (value == anchors_) return;
  anchors_ = value;
  Changed();
}

void TdtpShape::SetGrouped(bool value) {
  if (value == grouped_) return;
  grouped_ = value;
  RefreshSelf();
}

void TdtpShape::SetMirrored(bool value) {
  if (value == mirrored_) return;
  mirrored_ = value;
  RefreshSelf();
  Changed();
}

void TdtpShape::SetFlipped(bool value) {
  if (value == flipped_) return;
  flipped_ = value;
  RefreshSelf();
  Changed();
}

bool TdtpShape::NeedsCache() const {
  return forceCache_ || docAngle_ != 0 || masterAlpha_ != 255 || NeedsPostProcess();
}

void TdtpShape::FreeCache() {
  cache_.reset();
  CacheDpm = 0;
}

void TdtpShape::FreeCaches() {
  FreeCache();
  for (const auto& child : children_) child->FreeCaches();
}

void TdtpShape::MakeHitMask(TBitmap32& bitmap, TColor32 color) {
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    TColor32* row = bitmap.ScanLine(y);
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      row[x] = (row[x] >> 24) == 0 ? (row[x] | 0xFF000000u) : color;
    }
  }
}

void TdtpShape::PostProcess(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  (void)info;
  if (mirrored_) bitmap.FlipHorizontal();
  if (flipped_) bitmap.FlipVertical();
}

void TdtpShape::DragCustomHandle(TdtpDragState& drag) { (void)drag; }

void TdtpShape::Activate() {
  if (OnActivate) OnActivate(this);
}

void TdtpShape::BeginEdit() {
  Activate();
  // The base shape has no in-place editor, so an edit it was asked for ends at once.
  if (document_ && document_->EditShape() == this) document_->EndEditing(false);
}

void TdtpShape::ReportError(const std::string& text) {
  if (document_) document_->ReportLoadError(this, text);
}

void TdtpShape::SetHandlePainter(std::unique_ptr<TdtpHandlePainter> painter) {
  handlePainter_ = std::move(painter);
  if (handlePainter_) handlePainter_->SetShape(this);
}

void TdtpShape::EnsureHandlePainter() {
  if (!handlePainter_) {
    if (document_) handlePainter_ = document_->CreateHandlePainter(this);
    if (!handlePainter_) handlePainter_ = std::make_unique<TdtpHandlePainter>();
  }
  handlePainter_->SetShape(this);
}

void TdtpShape::UpdateHandles() {
  EnsureHandlePainter();
  handlePainter_->BuildHandles();
}

uint8_t TdtpShape::HandleAt(const TPoint& p) {
  if (!selected_) return hkNone;
  TRect bounds;
  ScreenBoundsWithHandles(bounds);
  if (p.X < bounds.Left || p.X >= bounds.Right || p.Y < bounds.Top || p.Y >= bounds.Bottom) return hkNone;
  // ScreenBoundsWithHandles may be a shape kind's own that leaves the painter unbuilt.
  EnsureHandlePainter();
  const TdtpHandlePainter& painter = *handlePainter_;
  auto allowed = [&](uint8_t kind) { return IsResizeKind(kind) && !AllowResize ? uint8_t{hkNone} : kind; };
  Drag.Handle = -1;
  uint8_t kind = hkNone;
  for (int i = 0; i < painter.HandleCount() && kind == hkNone; ++i) {
    const TRect r = painter.HandleRect(i);
    if (p.X < r.Left || p.X >= r.Right || p.Y < r.Top || p.Y >= r.Bottom) continue;
    kind = allowed(painter.Handle(i)->Kind);
    if (kind != hkNone) Drag.Handle = i;
  }
  for (int i = 0; i < painter.LineCount() && kind == hkNone; ++i) {
    const TdtpDragLine& line = *painter.Line(i);
    if (!painter.Handle(line.FromIndex) || !painter.Handle(line.ToIndex)) continue;
    const TFloatPoint a = painter.HandlePoint(line.FromIndex), b = painter.HandlePoint(line.ToIndex);
    if (DistanceToSegment({static_cast<float>(p.X), static_cast<float>(p.Y)}, a, b) < 10.0) {
      kind = allowed(line.Kind);
    }
  }
  if (kind == hkRotate && !AllowRotate) {
    Drag.Handle = -1;
    return hkNone;
  }
  return kind;
}

void TdtpShape::ScreenBoundsWithHandles(TRect& rect) {
  UpdateHandles();
  ScreenBounds(rect);
  if (!allowSelect_) return;
  for (int i = 0; i < handlePainter_->HandleCount(); ++i) {
    const TRect r = handlePainter_->HandleRect(i);
    rect.Left = std::min(rect.Left, r.Left);
    rect.Top = std::min(rect.Top, r.Top);
    rect.Right = std::max(rect.Right, r.Right);
    rect.Bottom = std::max(rect.Bottom, r.Bottom);
  }
}

void TdtpShape::DrawDragOutline(TCanvas& canvas) {
  if (!document_) return;
  // As the mouse handling left the handles' drag positions: a rebuild here is not wanted.
  EnsureHandlePainter();
  handlePainter_->DrawDragFeedback(canvas);
}

void TdtpShape::DrawHandles(TCanvas& canvas) {
  UpdateHandles();
  handlePainter_->DrawHandles(canvas);
}

void TdtpShape::DrawRubberRect(TCanvas& canvas, const TRect& rect, TColor32 color) {
  TPen pen;
  pen.Color = color;
  pen.Style = psDot;
  pen.Mode = pmXor;
  canvas.SetPen(pen);
  TBrush brush;
  brush.Style = bsClear;
  canvas.SetBrush(brush);
  canvas.Rectangle(rect);
}

void TdtpShape::AssignFrom(const TdtpShape& source) {
  const size_t n = std::min(children_.size(), source.children_.size());
  for (size_t i = 0; i < n; ++i) {
    if (std::strcmp(children_[i]->ClassName(), source.children_[i]->ClassName()) == 0) {
      children_[i]->AssignFrom(*source.children_[i]);
    }
  }
  OnChange = source.OnChange;
  OnActivate = source.OnActivate;
  OnBoundsChanged = source.OnBoundsChanged;
}

void TdtpShape::Assign(const TdtpShape& source) {
  if (&source == this) return;
  ClearShapes();
  LoadFromString(source.SaveToString());
  AssignFrom(source);
}

std::string TdtpShape::HintText() const { return Hint.empty() ? GetName() : Hint; }

bool TdtpShape::HintEnabled() const {
  if (ParentShowHint && document_) return document_->ShowHint;
  return ShowHint;
}

// --- XML ---

void TdtpShape::SaveToXml(TXmlNode& node) const {
  node.WriteString("ClassName", ClassName());
  node.WriteBool("AllowResize", AllowResize, true);
  node.WriteBool("AllowMove", AllowMove, true);
  node.WriteBool("AllowRotate", AllowRotate, true);
  node.WriteBool("AllowSelect", allowSelect_, true);
  node.WriteBool("AllowDelete", AllowDelete, true);
  node.WriteBool("AllowEdit", AllowEdit, true);
  TXmlNode* anchors = node.NewChild("Anchors");
  static const std::pair<TdtpAnchor, const char*> kAnchorNames[] = {
      {anDefault, "default"},   {anPosXProp, "PosXProp"},   {anPosYProp, "PosYProp"},
      {anSizeXProp, "SizeXProp"}, {anSizeYProp, "SizeYProp"}, {anLeftLock, "LeftLock"},
      {anTopLock, "TopLock"},   {anRightLock, "RightLock"}, {anBottomLock, "BottomLock"}};
  for (const auto& [bit, name] : kAnchorNames) anchors->WriteBool(name, (anchors_ & bit) != 0, false);
  node.WriteFloat("AspectRatio", AspectRatio, 0);
  node.WriteFloat("CurbLeft", curbLeft_, 0);
  node.WriteFloat("CurbTop", curbTop_, 0);
  node.WriteFloat("CurbRight", curbRight_, 0);
  node.WriteFloat("CurbBottom", curbBottom_, 0);
  node.WriteFloat("ConstraintMinHeight", Constraints.MinHeight, 0);
  node.WriteFloat("ConstraintMinWidth", Constraints.MinWidth, 0);
  node.WriteFloat("ConstraintMaxHeight", Constraints.MaxHeight, 0);
  node.WriteFloat("ConstraintMaxWidth", Constraints.MaxWidth, 0);
  node.WriteFloat("DocAngle", docAngle_, 0);
  node.WriteFloat("DocLeft", docLeft_, 0);
  node.WriteFloat("DocTop", docTop_, 0);
  node.WriteFloat("DocHeight", docHeight_, 0);
  node.WriteFloat("DocWidth", docWidth_, 0);
  node.WriteBool("Flipped", flipped_, false);
  node.WriteBool("Grouped", grouped_, false);
  node.WriteBool("Mirrored", mirrored_, false);
  node.WriteString("Name", name_);
  node.WriteBool("PreserveAspect", PreserveAspect, false);
  node.WriteInteger("Tag", Tag, 0);
  node.WriteBool("Visible", visible_, true);
  node.WriteHex("MasterAlpha", masterAlpha_, 255, 2);
  SaveChildrenToXml(node);
  if (document_ && document_->OnShapeSaveAdditionalInfo) {
    document_->OnShapeSaveAdditionalInfo(document_, const_cast<TdtpShape*>(this), &node);
  }
}

void TdtpShape::SaveChildrenToXml(TXmlNode& node) const {
  for (size_t i = 0; i < children_.size(); ++i) {
    TXmlNode* element = node.NewChild("Shape");
    element->AddAttribute("Index", static_cast<int64_t>(i + 1));
    children_[i]->SaveToXml(*element);
  }
}

void TdtpShape::LoadFromXml(const TXmlNode* node) {
  if (!node) RaiseError("XML Node is not assigned");
  ClearShapes();
  AllowResize = node->ReadBool("AllowResize", true);
  AllowRotate = node->ReadBool("AllowRotate", true);
  allowSelect_ = node->ReadBool("AllowSelect", true);
  AllowDelete = node->ReadBool("AllowDelete", true);
  AllowEdit = node->ReadBool("AllowEdit", true);
  AllowMove = node->ReadBool("AllowMove", true);
  AspectRatio = FiniteOr(node->ReadFloat("AspectRatio", 0), 0);
  // A curb is a few millimetres of shadow or blur; one of a metre would make every cache huge.
  curbLeft_ = std::clamp(FiniteOr(node->ReadFloat("CurbLeft", 0), 0), -kMaxCurb, kMaxCurb);
  curbTop_ = std::clamp(FiniteOr(node->ReadFloat("CurbTop", 0), 0), -kMaxCurb, kMaxCurb);
  curbRight_ = std::clamp(FiniteOr(node->ReadFloat("CurbRight", 0), 0), -kMaxCurb, kMaxCurb);
  curbBottom_ = std::clamp(FiniteOr(node->ReadFloat("CurbBottom", 0), 0), -kMaxCurb, kMaxCurb);
  if (const TXmlNode* a = node->FindChild("Anchors")) {
    TdtpAnchors v = 0;
    if (a->ReadBool("default", false)) v |= anDefault;
    if (a->ReadBool("PosXProp", false)) v |= anPosXProp;
    if (a->ReadBool("PosYProp", false)) v |= anPosYProp;
    if (a->ReadBool("SizeXProp", false)) v |= anSizeXProp;
    if (a->ReadBool("SizeYProp", false)) v |= anSizeYProp;
    if (a->ReadBool("LeftLock", false)) v |= anLeftLock;
    if (a->ReadBool("TopLock", false)) v |= anTopLock;
    if (a->ReadBool("RightLock", false)) v |= anRightLock;
    if (a->ReadBool("BottomLock", false)) v |= anBottomLock;
    anchors_ = v;
  }
  Constraints.MinHeight = FiniteOr(node->ReadFloat("ConstraintMinHeight", 0), 0);
  Constraints.MinWidth = FiniteOr(node->ReadFloat("ConstraintMinWidth", 0), 0);
  Constraints.MaxHeight = FiniteOr(node->ReadFloat("ConstraintMaxHeight", 0), 0);
  Constraints.MaxWidth = FiniteOr(node->ReadFloat("ConstraintMaxWidth", 0), 0);
  StoreAngle(FiniteOr(node->ReadFloat("DocAngle", 0), 0));
  docLeft_ = FiniteOr(node->ReadFloat("DocLeft", 0), 0);
  docTop_ = FiniteOr(node->ReadFloat("DocTop", 0), 0);
  docHeight_ = FiniteOr(node->ReadFloat("DocHeight", 0), 0);
  docWidth_ = FiniteOr(node->ReadFloat("DocWidth", 0), 0);
  flipped_ = node->ReadBool("Flipped", false);
  mirrored_ = node->ReadBool("Mirrored", false);
  name_ = node->ReadString("Name", "");
  grouped_ = node->ReadBool("Grouped", false);
  PreserveAspect = node->ReadBool("PreserveAspect", false);
  Tag = node->ReadInteger("Tag", 0);
  visible_ = node->ReadBool("Visible", true);
  masterAlpha_ = static_cast<uint32_t>(std::clamp(node->ReadInteger("MasterAlpha", 255), 0, 255));
  UpdateCurbs();
  LoadChildrenFromXml(*node);
  if (document_ && document_->OnShapeLoadAdditionalInfo) {
    document_->OnShapeLoadAdditionalInfo(document_, this, const_cast<TXmlNode*>(node));
  }
}

void TdtpShape::LoadChildrenFromXml(const TXmlNode& node) {
  std::vector<TXmlNode*> elements;
  node.FindChildren("Shape", elements);
  if (!elements.empty() && Depth() + 1 > kMaxShapeDepth) {
    // This shape stays; only the children that would nest too deeply are left out.
    ReportError(kNestingError);
    return;
  }
  if (elements.size() > static_cast<size_t>(kMaxChildShapes)) {
    ReportError(Format("%zu shapes in one shape are too many: at most %d are read", elements.size(), kMaxChildShapes));
    return;
  }
  for (size_t i = 0; i < elements.size(); ++i) {
    const TXmlNode* element = elements[i];
    TdtpShape* child = nullptr;
    bool created = false;
    try {
      if (static_cast<int>(i) < ChildCount()) {
        child = Child(static_cast<int>(i));
      } else {
        auto fresh = CreateShapeByClassName(element->ReadString("ClassName", ""));
        child = fresh.get();
        if (AddChild(std::move(fresh)) < 0) RaiseError("Cannot add the shape");
        created = true;
      }
      child->LoadFromXml(element);
      child->AfterLoad();
    } catch (const std::exception& e) {
      // The report names the shape left out, as the file gives it, so that a reader can tell
      // what is missing.
      const std::string name = element->ReadString("Name", "");
      const std::string kind = element->ReadString("ClassName", "");
      ReportError(Format("shape %d (%s%s%s) cannot be read: %s", static_cast<int>(i) + 1,
                         QuoteForMessage(kind, 40).c_str(), name.empty() ? "" : " ",
                         name.empty() ? "" : QuoteForMessage(name, 60).c_str(), e.what()));
      if (created) DeleteChildObject(child);
    }
  }
}

// --- Snapshot ---
//
// Layout (integers 32-bit little-endian): resource count n; n times the name (length, bytes) and
// the stream's data (length, bytes; 0 when the storage lacks it); the XML (length, then a
// document with a byte-order mark whose root "shape" holds SaveToXml).

std::string TdtpShape::SaveToString() const {
  std::string out;
  TsdStorage* storage = document_ ? document_->ResourceStorage() : nullptr;
  std::vector<std::string> names;
  if (storage) ListResources(names);
  AppendLE32(out, static_cast<uint32_t>(names.size()));
  for (const std::string& name : names) {
    PutBlock(out, name.data(), name.size());
    if (storage->StreamExists(name)) {
      TMemoryStream data;
      storage->ReadStream(name, data);
      PutBlock(out, data.Memory(), static_cast<size_t>(data.Size()));
    } else {
      AppendLE32(out, 0);
    }
  }
  TNativeXml xml("shape");
  SaveToXml(*xml.Root());
  TMemoryStream text;
  xml.SaveToStream(text);
  PutBlock(out, text.Memory(), static_cast<size_t>(text.Size()));
  return out;
}

void TdtpShape::LoadFromString(const std::string& data) {
  if (data.empty()) return;
  TSnapshotReader reader(data);
  const int64_t count = reader.Length("the resource count");
  // Every resource takes at least its two lengths.
  if (static_cast<uint64_t>(count) > reader.Left() / 8) {
    RaiseError("Shape snapshot is damaged: the resource count exceeds the data");
  }
  std::vector<std::pair<std::string, std::string_view>> resources;
  for (int64_t i = 0; i < count; ++i) {
    std::string name(reader.Block("a resource name"));
    if (name.empty() || IsReservedStreamName(name)) {
      RaiseError(Format("Shape snapshot names a stream it may not replace: \"%s\"", name.c_str()));
    }
    resources.emplace_back(std::move(name), reader.Block("a resource's data"));
  }
  const std::string_view text = reader.Block("the XML");
  if (reader.Left() != 0) RaiseError("Shape snapshot is damaged: bytes follow the XML");
  TNativeXml xml;
  TReadOnlyMemoryStream textStream(text.data(), static_cast<int64_t>(text.size()));
  xml.LoadFromStream(textStream);
  if (!xml.Root()) RaiseError("XML Node is not assigned");
  if (TsdStorage* storage = document_ ? document_->ResourceStorage() : nullptr) {
    for (const auto& [name, bytes] : resources) {
      if (bytes.empty()) continue;
      TReadOnlyMemoryStream source(bytes.data(), static_cast<int64_t>(bytes.size()));
      storage->WriteStream(name, source);
    }
  }
  LoadFromXml(xml.Root());
}

}  // namespace sw
