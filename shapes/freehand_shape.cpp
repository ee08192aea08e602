#include "shapes/freehand_shape.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/exception.h"
#include "base/strings.h"
#include "engine/document.h"
#include "engine/page.h"
#include "engine/undo_log.h"
#include "platform/timer.h"
#include "platform/window_host.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

// Virtual keys the window keys list leaves out.
constexpr uint16_t kKeyCancel = 0x03;
constexpr uint16_t kKeyExecute = 0x2B;

// Moves a stroke point must exceed to be recorded: 0.5 mm, squared.
constexpr float kMinStepSquared = 0.25f;

void AppendFloat(std::string& out, float v) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof(buffer), v);
  out.append(buffer, r.ptr);
}

// Reads floats separated by sep up to the end of [p, end); false on anything else.
bool ReadFloats(const char* p, const char* end, char sep, std::vector<float>& out) {
  while (p < end) {
    float v = 0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    out.push_back(v);
    if (r.ptr == end) return true;
    if (*r.ptr != sep || r.ptr + 1 == end) return false;
    p = r.ptr + 1;
  }
  return true;
}

}  // namespace

TdtpFreehandShape::TdtpFreehandShape() {
  SetStorePoints(true);
  SetIsClosed(false);
  SetUseFill(false);
  UpdateCurbs();
}

TdtpFreehandShape::~TdtpFreehandShape() = default;

bool TdtpFreehandShape::HasStroke() const {
  for (const TdtpContour& c : points_) {
    if (c.size() >= 2) return true;
  }
  return false;
}

void TdtpFreehandShape::PlaceBox(float left, float top, float width, float height) {
  // The strokes are already in the new box's frame, and their undo is the "Points" record.
  const TUndoOff undoOff(document_);
  fitting_ = true;
  try {
    SetBounds(left, top, width, height);
  } catch (...) {
    fitting_ = false;
    throw;
  }
  fitting_ = false;
}

void TdtpFreehandShape::SetSize(float width, float height) {
  if (!fitting_) {
    TdtpPolygonShape::SetSize(width, height);
    return;
  }
  TdtpEffectShape::SetSize(width, height);
  MarkGeometryDirty();
}

void TdtpFreehandShape::AddStrokePoint(TFloatPoint local) {
  AddPoint(local);
  TFloatRect box;
  PointsBounds(box);
  float width = box.Right - box.Left, height = box.Bottom - box.Top;
  // A straight horizontal or vertical stroke still gets a box round it, 1 mm across; a lone point
  // is no stroke yet.
  if (width > 0 || height > 0) {
    if (!(width > 0)) width = 1;
    if (!(height > 0)) height = 1;
  }
  if (width > 0 && height > 0 &&
      (box.Left != 0 || box.Top != 0 || width != docWidth_ || height != docHeight_)) {
    OffsetPoints(-box.Left, -box.Top);
    last_.X -= box.Left;
    last_.Y -= box.Top;
    // The box's new origin where the strokes' top-left lies, also on a turned shape.
    const TFloatPoint origin = LocalToParent({box.Left, box.Top});
    PlaceBox(origin.X, origin.Y, width, height);
  }
  if (NeedsCache()) {
    RefreshSelf();
  } else {
    InvalidateArea();
  }
}

std::string TdtpFreehandShape::EncodeStrokes() const {
  // "left,top,width,height" and then "|x,y;x,y..." per contour.
  std::string out;
  AppendFloat(out, docLeft_);
  out.push_back(',');
  AppendFloat(out, docTop_);
  out.push_back(',');
  AppendFloat(out, docWidth_);
  out.push_back(',');
  AppendFloat(out, docHeight_);
  for (const TdtpContour& c : points_) {
    out.push_back('|');
    for (size_t i = 0; i < c.size(); ++i) {
      if (i > 0) out.push_back(';');
      AppendFloat(out, c[i].X);
      out.push_back(',');
      AppendFloat(out, c[i].Y);
    }
  }
  return out;
}

void TdtpFreehandShape::ApplyStrokes(const std::string& text) {
  auto fail = [&] { RaiseError(Format("'%s' is not a valid list of strokes", text.c_str())); };
  const char* p = text.data();
  const char* end = p + text.size();
  const char* bar = std::find(p, end, '|');
  std::vector<float> box;
  if (!ReadFloats(p, bar, ',', box) || box.size() != 4) fail();
  std::vector<TdtpContour> contours;
  while (bar < end) {
    p = bar + 1;
    bar = std::find(p, end, '|');
    std::vector<float> values;
    // Points are "x,y" pairs joined by ';': both separators read alike, pairs by count.
    std::string part(p, bar);
    std::replace(part.begin(), part.end(), ';', ',');
    if (!ReadFloats(part.data(), part.data() + part.size(), ',', values) || values.size() % 2 != 0) fail();
    TdtpContour c;
    for (size_t i = 0; i < values.size(); i += 2) c.push_back({values[i], values[i + 1]});
    contours.push_back(std::move(c));
  }
  if (contours.empty()) contours.emplace_back();
  InvalidateArea();
  RecordChange(ckProperty, "Points", EncodeStrokes());
  PlaceBox(box[0], box[1], box[2], box[3]);
  points_ = std::move(contours);
  MarkGeometryDirty();
  RefreshSelf();
  Changed();
}

void TdtpFreehandShape::RecordStrokesOnce() {
  if (recorded_) return;
  recorded_ = true;
  RecordChange(ckProperty, "Points", EncodeStrokes());
}

void TdtpFreehandShape::NewContour() {
  if (!points_.empty() && points_.back().size() < 2) {
    points_.back().clear();
    MarkGeometryDirty();
    return;
  }
  TdtpPolygonShape::NewContour();
}

// --- Editing ---

void TdtpFreehandShape::BeginEdit() {
  if (editing_) return;
  editing_ = true;
  drawing_ = false;
  recorded_ = false;
  removal_ = false;
  if (removalTimer_) removalTimer_->Stop();
  startState_ = EncodeStrokes();
  if (document_) {
    // All strokes of this edit become one undo step.
    document_->BeginUndo();
    undoDocument_ = document_;
  }
}

void TdtpFreehandShape::EndEdit(bool accepted) {
  // Also guards against the second call of a deletion that itself ends the edit.
  if (!editing_) return;
  editing_ = false;
  drawing_ = false;
  TdtpDocument* undoDocument = undoDocument_;
  undoDocument_ = nullptr;
  try {
    if (!accepted && recorded_) {
      // A cancelled edit takes back its own strokes, not those the shape had before.
      const TUndoOff undoOff(document_);
      ApplyStrokes(startState_);
    }
    while (!points_.empty() && points_.back().size() < 2) points_.pop_back();
    if (points_.empty()) ClearPoints();
    MarkGeometryDirty();
    removal_ = !HasStroke();
    InvalidateArea();
  } catch (...) {
    if (undoDocument) undoDocument->EndUndo();
    throw;
  }
  if (removal_ && selfEnding_) {
    // FinishDrawing deletes the shape once this returns and closes the group after it.
    undoDocument_ = undoDocument;
    return;
  }
  if (undoDocument) undoDocument->EndUndo();
  if (removal_) ScheduleRemoval();
}

void TdtpFreehandShape::FinishDrawing(bool accepted) {
  selfEnding_ = true;
  try {
    if (document_ && document_->EditShape() == this) {
      document_->EndEditing(accepted);
    } else {
      EndEdit(accepted);
    }
  } catch (...) {
    selfEnding_ = false;
    if (undoDocument_ && !editing_) {
      undoDocument_->EndUndo();
      undoDocument_ = nullptr;
    }
    throw;
  }
  selfEnding_ = false;
  if (removal_ && !editing_) RemoveSelf();
}

void TdtpFreehandShape::RemoveSelf() {
  TdtpDocument* undoDocument = undoDocument_;
  undoDocument_ = nullptr;
  if (removalTimer_) removalTimer_->Stop();
  TdtpShape* parent = parent_;
  TdtpDocument* document = document_;
  if (!parent) {
    // Nobody to delete it: it stays marked for its owner.
    if (undoDocument) undoDocument->EndUndo();
    return;
  }
  try {
    if (document && document->CurrentPage() == parent) {
      document->DeleteShapeObject(this);
    } else {
      parent->DeleteChildObject(this);
    }
  } catch (...) {
    if (undoDocument) undoDocument->EndUndo();
    throw;
  }
  // This shape is gone: only locals from here on.
  if (undoDocument) undoDocument->EndUndo();
}

void TdtpFreehandShape::ScheduleRemoval() {
  if (!document_ || !parent_ || !document_->Services().Timers) return;
  if (!removalTimer_) {
    removalTimer_ = document_->Services().Timers->CreateTimer();
    removalTimer_->OnTimer = [this] {
      if (removal_ && !editing_) {
        RemoveSelf();
      } else {
        removalTimer_->Stop();
      }
    };
  }
  removalTimer_->Start(1);
}

void TdtpFreehandShape::EditKeyDown(uint16_t key, uint16_t shift) {
  (void)shift;
  if (!editing_) return;
  switch (key) {
    case vk::Escape:
    case kKeyCancel:
      FinishDrawing(false);
      return;
    case vk::Space:
      SetIsClosed(true);
      FinishDrawing(true);
      return;
    case vk::Tab:
    case vk::Return:
    case kKeyExecute:
    case vk::F2:
      FinishDrawing(true);
      return;
    default:
      return;
  }
}

void TdtpFreehandShape::EditMouseDown(int button, uint16_t shift, int32_t x, int32_t y) {
  (void)shift;
  if (!editing_) return;
  if (button == static_cast<int>(TMouseButton::mbRight)) {
    FinishDrawing(true);
    return;
  }
  RecordStrokesOnce();
  drawing_ = true;
  last_ = ScreenToLocal({static_cast<float>(x), static_cast<float>(y)});
  NewContour();
  AddStrokePoint(last_);
}

void TdtpFreehandShape::EditMouseMove(uint16_t shift, int32_t x, int32_t y) {
  (void)shift;
  if (!drawing_) return;
  const TFloatPoint p = ScreenToLocal({static_cast<float>(x), static_cast<float>(y)});
  const float dx = p.X - last_.X, dy = p.Y - last_.Y;
  if (dx * dx + dy * dy > kMinStepSquared) {
    last_ = p;
    AddStrokePoint(p);
  }
}

void TdtpFreehandShape::EditMouseUp(int button, uint16_t shift, int32_t x, int32_t y) {
  (void)button, (void)shift;
  if (!drawing_) return;
  const TFloatPoint p = ScreenToLocal({static_cast<float>(x), static_cast<float>(y)});
  if (!(p == last_)) {
    last_ = p;
    AddStrokePoint(p);
  }
  drawing_ = false;
  if (!document_) return;
  if (AutoRestart) {
    NewContour();
  } else {
    FinishDrawing(true);
  }
}

void TdtpFreehandShape::DrawHandles(TCanvas& canvas) {
  if (editing_) return;
  TdtpPolygonShape::DrawHandles(canvas);
}

// --- Properties and XML ---

void TdtpFreehandShape::SetPropertyByName(const std::string& name, const std::string& value) {
  TdtpPolygonShape::SetPropertyByName(name, value);
  if (SameText(name, "Points")) ApplyStrokes(value);
}

void TdtpFreehandShape::SaveToXml(TXmlNode& node) const {
  TdtpPolygonShape::SaveToXml(node);
  node.WriteBool("AutoRestart", AutoRestart, false);
}

void TdtpFreehandShape::LoadFromXml(const TXmlNode* node) {
  TdtpPolygonShape::LoadFromXml(node);
  AutoRestart = node->ReadBool("AutoRestart", false);
}

}  // namespace sw
