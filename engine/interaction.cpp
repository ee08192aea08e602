// The document as an editor of its current page: the left button selects (click, Shift-click,
// rubber band), moves, resizes and turns shapes through their handles while a dotted XOR outline
// shows the proposal, and copies them when a move ends with Ctrl held; a double click or F2 starts
// in-place editing, which hands mouse and keys to the edited shape. Also the hit tests, cursors,
// key commands, the popup menu, shape hints and scrolling near the window's edges.
//
// The XOR figures (drag outline, rubber band) are drawn straight onto the window outside the paint
// cycle. Every paint draws them again over what it painted, so the screen always shows exactly
// what interaction_.OutlineShown and interaction_.BandShown say, and drawing the same figure again removes it.
#include <algorithm>
#include <cmath>

#include "base/numeric.h"
#include "base/tick.h"
#include "engine/bracket_p.h"
#include "engine/document.h"
#include "engine/handles.h"
#include "platform/canvas.h"
#include "platform/region.h"

namespace sw {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Interval of the hot-zone timer.
constexpr uint32_t kHotzoneIntervalMs = 50;
// A move drag starts once the mouse is further than this from the press (squared pixels).
constexpr double kDragThreshold2 = 10;
// The outer share of the client that scrolls.
constexpr double kHotzoneShare = 0.07;

// The shift state the document's mouse events report: the button's flag, Shift and Ctrl.
TShiftState Reported(TShiftState shift, TShiftState button) {
  return static_cast<TShiftState>(button | (shift & (ssShift | ssCtrl)));
}

TShiftState ButtonFlag(TMouseButton button) {
  switch (button) {
    case TMouseButton::mbLeft: return ssLeft;
    case TMouseButton::mbRight: return ssRight;
    case TMouseButton::mbMiddle: return ssMiddle;
  }
  return 0;
}

constexpr int kLeftButton = static_cast<int>(TMouseButton::mbLeft);

bool Segments(const TFloatPoint& a, const TFloatPoint& b, const TFloatPoint& c, const TFloatPoint& d) {
  auto cross = [](const TFloatPoint& o, const TFloatPoint& p, const TFloatPoint& q) {
    return (static_cast<double>(p.X) - o.X) * (static_cast<double>(q.Y) - o.Y) -
           (static_cast<double>(p.Y) - o.Y) * (static_cast<double>(q.X) - o.X);
  };
  const double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// Whether a window polygon and a rectangle share any point.
bool RegionMeetsRect(const TdtpRegion& region, const TFloatRect& r) {
  if (region.size() < 3) return false;
  for (const TFloatPoint& p : region) {
    if (p.X >= r.Left && p.X <= r.Right && p.Y >= r.Top && p.Y <= r.Bottom) return true;
  }
  const TFloatPoint corners[4] = {{r.Left, r.Top}, {r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left, r.Bottom}};
  for (const TFloatPoint& c : corners) {
    if (PointInPolygon(region, c)) return true;
  }
  for (size_t i = 0; i < region.size(); ++i) {
    const TFloatPoint& a = region[i];
    const TFloatPoint& b = region[(i + 1) % region.size()];
    for (int k = 0; k < 4; ++k) {
      if (Segments(a, b, corners[k], corners[(k + 1) % 4])) return true;
    }
  }
  return false;
}

// The rubber band: a dotted rectangle in XOR mode without fill. An XOR of black would change no
// pixel, so a black band inverts instead.
void DrawBand(TCanvas& canvas, const TRect& r, TdtpColor color) {
  TPen pen;
  pen.Color = ColorFromSystem(color);
  if ((pen.Color & 0xFFFFFFu) == 0) pen.Color = clWhite32;
  pen.Style = psDot;
  pen.Mode = pmXor;
  canvas.SetPen(pen);
  TBrush brush;
  brush.Style = bsClear;
  canvas.SetBrush(brush);
  canvas.Rectangle(r);
}

TRect UnionRect(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}

}  // namespace

// --- Shape side of a drag ---

TFloatPoint TdtpShape::ViewDeltaToLocal(const TFloatPoint& d) const {
  std::vector<const TdtpShape*> chain;
  for (const TdtpShape* s = this; s; s = s->parent_) chain.push_back(s);
  double x = d.X, y = d.Y;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const double c = (*it)->cos_, s = (*it)->sin_;
    const double nx = c * x - s * y, ny = s * x + c * y;
    x = nx;
    y = ny;
  }
  return {static_cast<float>(x), static_cast<float>(y)};
}

TdtpAffineTransform TdtpShape::ComputeDragProposal(const TFloatPoint& delta, bool alt, uint8_t kind) {
  UpdateHandles();
  TdtpHandlePainter& painter = *handlePainter_;
  for (int i = 0; i < painter.HandleCount(); ++i) {
    TdtpHandle& h = *painter.Handle(i);
    h.DragX = h.X;
    h.DragY = h.Y;
  }
  const double W = docWidth_, H = docHeight_, theta = docAngle_;
  const TFloatPoint local = ViewDeltaToLocal(delta);
  const double u = local.X, v = local.Y;
  double ox = 0, oy = 0, sx = 1, sy = 1, turn = 0;
  double propW = W, propH = H;
  if (kind == hkBody) {
    ox = u;
    oy = v;
  } else if (kind >= hkTopLeft && kind <= hkTop) {
    // New sizes first: a shape of no width or height has no scale to speak of.
    double nw = W, nh = H;
    if (kind == hkTopLeft || kind == hkLeft || kind == hkBottomLeft) nw = W - u;
    if (kind == hkBottomRight || kind == hkRight || kind == hkTopRight) nw = W + u;
    if (kind == hkTopLeft || kind == hkTopRight || kind == hkTop) nh = H - v;
    if (kind == hkBottomLeft || kind == hkBottom || kind == hkBottomRight) nh = H + v;
    if (PreserveAspect) {
      if ((kind == hkLeft || kind == hkRight) && W > 0) nh = H * (nw / W);
      if ((kind == hkBottom || kind == hkTop) && H > 0) nw = W * (nh / H);
    }
    // Across the opposite edge the shape stays 1 mm wide instead of turning inside out.
    auto w = static_cast<float>(std::max(1.0, std::isfinite(nw) ? nw : W));
    auto h = static_cast<float>(std::max(1.0, std::isfinite(nh) ? nh : H));
    ConstrainSize(w, h);
    sx = W > 0 ? w / W : 1;
    sy = H > 0 ? h / H : 1;
    propW = W > 0 ? sx * W : w;
    propH = H > 0 ? sy * H : h;
    if (kind == hkTopLeft || kind == hkLeft || kind == hkBottomLeft) ox = W - propW;
    if (kind == hkTopLeft || kind == hkTopRight || kind == hkTop) oy = H - propH;
    if (kind == hkLeft || kind == hkRight) oy = (H - propH) / 2;
    if (kind == hkBottom || kind == hkTop) ox = (W - propW) / 2;
  } else if (kind == hkRotate) {
    const TdtpHandle* active = painter.Handle(Drag.Handle);
    const double hx = active ? active->X : W / 2, hy = active ? active->Y : -5.0;
    const double a0 = std::atan2(hy - H / 2, hx - W / 2);
    const double a1 = std::atan2(hy + v - H / 2, hx + u - W / 2);
    turn = (a0 - a1) * 180 / kPi;
    if (document_ && (document_->StepAngle > 0) != alt) {
      double step = document_->StepAngle;
      if (!std::isfinite(step) || step == 0) step = 5;
      turn = Round((theta + turn) / step) * step - theta;
    }
    if (!std::isfinite(turn)) turn = 0;
  } else if (kind == hkPoint) {
    if (TdtpHandle* active = painter.Handle(Drag.Handle)) {
      active->DragX = static_cast<float>(active->X + u);
      active->DragY = static_cast<float>(active->Y + v);
    }
  } else {
    // Kinds of the shape's own: Drag carries the local offset (Left, Top), the scale (Width,
    // Height) and the angle change (Angle) for the shape to change.
    Drag.Left = 0;
    Drag.Top = 0;
    Drag.Width = 1;
    Drag.Height = 1;
    Drag.Angle = 0;
    DragCustomHandle(Drag);
    ox = FiniteOr(Drag.Left, 0);
    oy = FiniteOr(Drag.Top, 0);
    sx = FiniteOr(Drag.Width, 1);
    sy = FiniteOr(Drag.Height, 1);
    turn = FiniteOr(Drag.Angle, 0);
    propW = sx * W;
    propH = sy * H;
  }
  const TFloatPoint origin = LocalToParent({static_cast<float>(ox), static_cast<float>(oy)});
  Drag.Left = origin.X;
  Drag.Top = origin.Y;
  Drag.Width = static_cast<float>(propW);
  Drag.Height = static_cast<float>(propH);
  Drag.Angle = static_cast<float>(theta + turn);
  TdtpAffineTransform m;
  m.Scale(sx, sy);
  if (turn != 0) m.Rotate(-turn, propW / 2, propH / 2);
  m.Translate(ox, oy);
  if (kind >= hkBody && kind <= hkRotate) {
    for (int i = 0; i < painter.HandleCount(); ++i) {
      TdtpHandle& h = *painter.Handle(i);
      const TFloatPoint q = m.TransformPoint({h.X, h.Y});
      h.DragX = q.X;
      h.DragY = q.Y;
    }
  }
  Drag.Matrix = m;
  return m;
}

// --- Hit tests and cursors ---

uint8_t TdtpDocument::FindShapeAt(const TPoint& p, TdtpShape*& shape) {
  shape = nullptr;
  TdtpPage* page = CurrentPage();
  if (ReadOnly() || !page) return hkNone;
  for (int i = page->ChildCount() - 1; i >= 0; --i) {
    TdtpShape* child = page->Child(i);
    if (!child->Selected() || !child->Visible()) continue;
    if (const uint8_t kind = child->HandleAt(p); kind != hkNone) {
      shape = child;
      return kind;
    }
  }
  for (int i = page->ChildCount() - 1; i >= 0; --i) {
    TdtpShape* child = page->Child(i);
    // What cannot be seen cannot be clicked.
    if (!child->AllowSelect() || !child->Visible()) continue;
    if (child->HitTest(p)) {
      shape = child;
      return hkBody;
    }
  }
  return hkNone;
}

uint8_t TdtpDocument::FindDeepShapeAt(const TPoint& p, TdtpShape*& shape) {
  shape = nullptr;
  TdtpPage* page = CurrentPage();
  if (!page) return hkNone;
  for (int i = page->ChildCount() - 1; i >= 0; --i) {
    TdtpShape* child = page->Child(i);
    if (!child->Visible()) continue;
    TdtpShape* found = nullptr;
    const bool hit = child->HitTestDeep(p, found);
    shape = found;
    if (hit) return hkBody;
  }
  return hkNone;
}

TCursor TdtpDocument::CursorForHandle(const TdtpShape* shape, uint8_t kind) const {
  if (!shape || kind < hkTopLeft || kind > hkTop) return Cursor;
  // Each 45 degrees of turn moves the handle one place on round the rectangle.
  const int32_t n = Div(Round(static_cast<double>(shape->DocAngle()) + 22.5), 45) % 8;
  const int turned = hkTopLeft + ((kind - hkTopLeft + n + 8) % 8);
  switch (turned) {
    case hkTopLeft:
    case hkBottomRight: return crSizeNWSE;
    case hkLeft:
    case hkRight: return crSizeWE;
    case hkBottomLeft:
    case hkTopRight: return crSizeNESW;
    default: return crSizeNS;
  }
}

TFloatPoint TdtpDocument::SnapViewPoint(const TFloatPoint& p, bool snap) const {
  TdtpPage* page = CurrentPage();
  if (!snap || !page) return p;
  const TFloatPoint q = page->SnapPoint({p.X - page->DocLeft(), p.Y - page->DocTop()});
  return {q.X + page->DocLeft(), q.Y + page->DocTop()};
}

bool TdtpDocument::AltHeld() const { return host_ && (host_->KeyboardState() & ssAlt) != 0; }

bool TdtpDocument::CtrlHeld() const { return host_ && (host_->KeyboardState() & ssCtrl) != 0; }

// --- States ---

void TdtpDocument::SetMouseState(TdtpMouseState s) {
  if (s == interaction_.MouseState) return;
  HideHint();
  // Leaving the editing state otherwise than through EndShapeEdit ends the edit unaccepted.
  if (interaction_.MouseState == msEditing && interaction_.EditShape) EndShapeEdit(false);
  if (interaction_.MouseState == msDragging) EndDrag(false);
  if (interaction_.MouseState == msBand) EndRubberBand(false);
  interaction_.MouseState = s;
}

void TdtpDocument::StartDrag(const TFloatPoint& d) {
  if (interaction_.HitKind != hkBody) SetFocusedShape(interaction_.MouseShape);
  if (interaction_.HitKind == hkBody) {
    for (int i = 0; i < ShapeCount(); ++i) {
      TdtpShape* s = Shapes(i);
      if (s->Selected() && !s->AllowMove) {
        // Nothing moves: the next movement starts a drag that proposes no change.
        interaction_.HitKind = hkNone;
        return;
      }
    }
  }
  SetMouseState(msDragging);
  ToggleDragOutline(d);
}

void TdtpDocument::EndDrag(bool apply) {
  if (interaction_.MouseState != msDragging) return;
  interaction_.MouseState = msIdle;
  if (interaction_.OutlineShown) ToggleDragOutline(interaction_.Delta);
  if (apply) ApplyDragToSelection();
  interaction_.DragShapes.clear();
  interaction_.HitKind = hkNone;
  interaction_.MouseShape = nullptr;
}

void TdtpDocument::ToggleDragOutline(const TFloatPoint& d) {
  if (!interaction_.OutlineShown) {
    interaction_.OutlineAlt = AltHeld();
    interaction_.DragShapes.clear();
    for (int i = 0; i < ShapeCount(); ++i) {
      if (Shapes(i)->Selected()) interaction_.DragShapes.push_back(Shapes(i));
    }
  }
  interaction_.OutlineShown = !interaction_.OutlineShown;
  // The same shapes are erased that were drawn, whatever happened to the selection meanwhile.
  for (TdtpShape* s : interaction_.DragShapes) s->ComputeDragProposal(d, interaction_.OutlineAlt, interaction_.HitKind);
  if (host_ && !IsPrinting() && !IsLoading()) {
    host_->DrawDirect(OutlineBounds(), [this](TCanvas& canvas) { DrawSelectionOutlines(canvas); });
  }
}

void TdtpDocument::DrawSelectionOutlines(TCanvas& canvas) {
  for (TdtpShape* s : interaction_.DragShapes) s->DrawDragOutline(canvas);
}

TRect TdtpDocument::OutlineBounds() {
  TRect bounds{0, 0, 0, 0};
  for (TdtpShape* s : interaction_.DragShapes) {
    const TdtpHandlePainter* painter = s->HandlePainter();
    if (!painter) continue;
    for (int i = 0; i < painter->HandleCount(); ++i) {
      const TdtpHandle& h = *painter->Handle(i);
      const TFloatPoint p = s->LocalToScreen({h.DragX, h.DragY});
      const int32_t x = Round(p.X), y = Round(p.Y);
      bounds = UnionRect(bounds, TRect{x - 2, y - 2, x + 3, y + 3});
    }
  }
  return bounds;
}

void TdtpDocument::ApplyDragToSelection() {
  TdtpPage* page = CurrentPage();
  if (!page) return;
  Bracket([this] { BeginUndo(); }, [this] { EndUndo(); }, [&] {
    for (int i = 0; i < page->ChildCount(); ++i) {
      TdtpShape* child = page->Child(i);
      // Only shapes whose proposal belongs to this drag.
      if (child->Selected() && std::find(interaction_.DragShapes.begin(), interaction_.DragShapes.end(), child) != interaction_.DragShapes.end()) {
        child->ApplyDrag();
      }
    }
  });
}

TRect TdtpDocument::BandRect(const TFloatPoint& d) const {
  const TPoint a = RoundPoint(ViewToScreen(interaction_.StartPoint));
  const TPoint b = RoundPoint(ViewToScreen({interaction_.StartPoint.X + d.X, interaction_.StartPoint.Y + d.Y}));
  return {std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
}

void TdtpDocument::DrawRubberBand(const TFloatPoint& d) {
  interaction_.BandShown = !interaction_.BandShown;
  interaction_.BandDelta = d;
  if (!host_ || IsPrinting() || IsLoading()) return;
  const TRect r = BandRect(d);
  host_->DrawDirect({r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1},
                    [&](TCanvas& canvas) { DrawBand(canvas, r, HandleColor); });
}

void TdtpDocument::EndRubberBand(bool select) {
  if (interaction_.MouseState != msBand) return;
  if (interaction_.BandShown) DrawRubberBand(interaction_.BandDelta);
  interaction_.MouseState = msIdle;
  if (select && interaction_.Delta.X * interaction_.Delta.Y != 0) SelectInBand();
}

void TdtpDocument::SelectInBand() {
  TdtpPage* page = CurrentPage();
  if (!page) return;
  const TFloatPoint a = ViewToScreen(interaction_.StartPoint);
  const TFloatPoint b = ViewToScreen({interaction_.StartPoint.X + interaction_.Delta.X, interaction_.StartPoint.Y + interaction_.Delta.Y});
  const TFloatRect r{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
  Bracket([this] { BeginUpdate(); }, [this] { EndUpdate(); }, [&] {
    for (int i = 0; i < page->ChildCount(); ++i) {
      TdtpShape* child = page->Child(i);
      child->SetSelected(child->Visible() && RegionMeetsRect(child->ScreenRegion(), r));
    }
    SetFocusedShape(SelectedShape(0));
  });
}

void TdtpDocument::RedrawFeedback(TCanvas& canvas) {
  if (interaction_.OutlineShown) DrawSelectionOutlines(canvas);
  if (interaction_.BandShown) DrawBand(canvas, BandRect(interaction_.BandDelta), HandleColor);
}

// --- In-place editing ---

void TdtpDocument::BeginShapeEdit(TdtpShape* shape) {
  if (!shape || shape->Document() != this || shape == interaction_.EditShape) return;
  // One shape is edited at a time: the one before is done.
  if (interaction_.EditShape) EndShapeEdit(true);
  SetMouseState(msEditing);
  interaction_.EditShape = shape;
  shape->Invalidate();
  shape->BeginEdit();
}

void TdtpDocument::EndShapeEdit(bool accepted) {
  if (interaction_.MouseState == msEditing) interaction_.MouseState = msIdle;
  TdtpShape* shape = interaction_.EditShape;
  if (!shape || interaction_.EndingEdit) return;
  interaction_.EndingEdit = true;
  Bracket([] {}, [this] { interaction_.EndingEdit = false; }, [&] {
    if (OnShapeEditClosed) OnShapeEditClosed(this, shape);
    // The handler may have deleted the shape (ShapeDestroyed then cleared interaction_.EditShape).
    if (interaction_.EditShape == shape) shape->EndEdit(accepted);
  });
  if (interaction_.EditShape == shape) {
    interaction_.EditShape = nullptr;
    shape->Invalidate();
  }
}

// --- Mouse ---

void TdtpDocument::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (button == TMouseButton::mbLeft) {
    MouseDownLeft(shift, x, y);
  } else if (OnMouseDown) {
    OnMouseDown(this, button, Reported(shift, ButtonFlag(button)), x, y);
  }
}

void TdtpDocument::MouseDownLeft(TShiftState shift, int32_t x, int32_t y) {
  if (host_) host_->SetFocus();
  if (OnMouseDown) OnMouseDown(this, TMouseButton::mbLeft, Reported(shift, ssLeft), x, y);
  // A release the window never saw leaves no drag or band running.
  if (interaction_.MouseState == msDragging || interaction_.MouseState == msBand) SetMouseState(msIdle);
  const TFloatPoint view = ScreenToView({static_cast<float>(x), static_cast<float>(y)});
  interaction_.Delta = {0, 0};
  interaction_.StartPoint = SnapViewPoint(view, SnapToGrid != AltHeld());
  if (interaction_.MouseState == msEditing && interaction_.EditShape) {
    interaction_.EditShape->EditMouseDown(kLeftButton, shift, x, y);
    return;
  }
  if (mode_ != vmEdit) return;
  if (host_) host_->SetMouseCapture(true);
  if ((shift & ssCtrl) && MultiSelectMethod == msmCtrl) {
    SetMouseState(msBand);
    interaction_.StartPoint = view;
    DrawRubberBand(interaction_.Delta);
    return;
  }
  TdtpShape* shape = nullptr;
  interaction_.HitKind = FindShapeAt({x, y}, shape);
  interaction_.MouseShape = shape;
  if (shape) {
    if (shift & ssShift) {
      ToggleSelection(shape);
    } else if (interaction_.HitKind != hkBody || !shape->Selected()) {
      Bracket([this] { BeginUpdate(); }, [this] { EndUpdate(); }, [&] {
        ClearSelection();
        SetFocusedShape(shape);
        shape->SetSelected(true);
      });
    }
  }
  DragCursor = CursorForHandle(interaction_.MouseShape, interaction_.HitKind);
  TCursor cursor = Cursor;
  switch (interaction_.HitKind) {
    case hkBody: cursor = Cursor; break;
    case hkTopLeft:
    case hkLeft:
    case hkBottomLeft:
    case hkBottom:
    case hkBottomRight:
    case hkRight:
    case hkTopRight:
    case hkTop: cursor = CursorForHandle(interaction_.MouseShape, interaction_.HitKind); break;
    case hkRotate:
      cursor = crRotation;
      interaction_.StartPoint = view;
      break;
    case hkPoint: cursor = crSizeAll; break;
    default:
      if (MultiSelectMethod == msmSimple) {
        SetMouseState(msBand);
        interaction_.StartPoint = view;
        DrawRubberBand(interaction_.Delta);
      } else {
        ClearSelection();
      }
      SetFocusedShape(nullptr);
      cursor = Cursor;
      break;
  }
  SetCursorShape(cursor);
}

void TdtpDocument::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (HotzoneScrolling != hzsNoScroll && !interaction_.HotzoneActive) HotzoneScroll();
  if (rulerTop_) rulerTop_->SetHairLinePos(x);
  if (rulerLeft_) rulerLeft_->SetHairLinePos(y);
  if (interaction_.MouseState == msEditing && interaction_.EditShape) {
    interaction_.EditShape->EditMouseMove(shift, x, y);
    return;
  }
  const bool left = (shift & ssLeft) != 0;
  const TFloatPoint view = ScreenToView({static_cast<float>(x), static_cast<float>(y)});
  const bool snapped = left && ((interaction_.HitKind >= hkBody && interaction_.HitKind <= hkTop) || interaction_.HitKind == hkPoint);
  const TFloatPoint current = snapped ? SnapViewPoint(view, SnapToGrid != AltHeld()) : view;
  TFloatPoint d{current.X - interaction_.StartPoint.X, current.Y - interaction_.StartPoint.Y};
  if ((shift & ssShift) && interaction_.HitKind == hkBody) {
    if (std::abs(d.X) <= std::abs(d.Y)) {
      d.X = 0;
    } else {
      d.Y = 0;
    }
  }
  const TFloatPoint previous = interaction_.Delta;
  const bool changed = d.X != previous.X || d.Y != previous.Y;
  interaction_.Delta = d;

  if (!left) {
    // A release the window never saw ends what the button was doing, without applying it.
    if (interaction_.MouseState == msDragging || interaction_.MouseState == msBand) SetMouseState(msIdle);
    interaction_.MouseShape = nullptr;
    if (shift & ssRight) return;
    const TPoint p{x, y};
    TdtpShape* shape = nullptr;
    interaction_.HitKind = FindShapeAt(p, shape);
    TCursor cursor = Cursor;
    if (interaction_.HitKind == hkBody) {
      cursor = crHandPoint;
    } else if (interaction_.HitKind >= hkTopLeft && interaction_.HitKind <= hkTop) {
      cursor = CursorForHandle(shape, interaction_.HitKind);
    } else if (interaction_.HitKind == hkRotate) {
      cursor = crRotation;
    } else if (interaction_.HitKind == hkPoint) {
      cursor = crSizeAll;
    }
    SetCursorShape(cursor);
    if (interaction_.HitKind == hkBody) {
      if (shape != interaction_.HintShape) StartHint(p, shape, interaction_.HintShape ? HintShortPause : HintPause);
    } else {
      interaction_.HintShape = nullptr;
      HideHint();
    }
    return;
  }

  if (interaction_.MouseState == msBand) {
    SetCursorShape(Cursor);
    if (changed) {
      DrawRubberBand(previous);
      DrawRubberBand(d);
    }
    return;
  }
  if (interaction_.MouseState != msIdle && interaction_.MouseState != msDragging) return;
  if (mode_ != vmEdit) return;
  if (interaction_.MouseState != msDragging) {
    const double s = screenDpm_;
    const double dx = d.X * s, dy = d.Y * s;
    if (dx * dx + dy * dy > kDragThreshold2) {
      StartDrag(previous);
      if (interaction_.HitKind == hkBody) SetCursorShape(crSizeAll);
    }
  }
  if (interaction_.MouseState != msDragging) return;
  if (interaction_.HitKind == hkBody && host_ &&
      (x < 0 || x > host_->WindowWidth() || y < 0 || y > host_->WindowHeight())) {
    EndDrag(false);
    host_->SetMouseCapture(false);
    host_->StartDragDrop(SelectionToXml());
    return;
  }
  if (interaction_.HitKind == hkBody) SetCursorShape(CtrlHeld() ? crSizeCopy : crSizeAll);
  if (changed) {
    ToggleDragOutline(previous);
    ToggleDragOutline(d);
  }
}

void TdtpDocument::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const TShiftState reported = Reported(shift, ButtonFlag(button));
  if (button == TMouseButton::mbLeft) {
    try {
      MouseUpLeft(shift, x, y);
    } catch (...) {
      if (OnMouseUp) OnMouseUp(this, button, reported, x, y);
      throw;
    }
  }
  if (OnMouseUp) OnMouseUp(this, button, reported, x, y);
}

void TdtpDocument::MouseUpLeft(TShiftState shift, int32_t x, int32_t y) {
  if (host_) host_->SetMouseCapture(false);
  if (interaction_.MouseState == msEditing) {
    if (interaction_.EditShape) interaction_.EditShape->EditMouseUp(kLeftButton, shift, x, y);
  } else if (interaction_.MouseState == msBand) {
    ClearSelection();
    EndRubberBand(true);
  } else if (interaction_.MouseState == msDragging) {
    if (interaction_.HitKind == hkBody && CtrlHeld()) {
      ApplyCtrlCopy();
    } else {
      EndDrag(true);
    }
    if (TdtpShape* focused = FocusedShape()) ShapeChanged(focused);
  }
}

void TdtpDocument::ApplyCtrlCopy() {
  const TFloatPoint d = interaction_.Delta;
  EndDrag(false);
  // The copies and their move are one step of the undo log.
  Bracket([this] { BeginUndo(); }, [this] { EndUndo(); }, [&] {
    const std::string text = SelectionToXml();
    ClearSelection();
    PasteFromXml(text);
    for (int i = 0; i < ShapeCount(); ++i) {
      TdtpShape* copy = Shapes(i);
      if (!copy->Selected()) continue;
      copy->SetBoundsLeft(copy->BoundsInParent(false).Left + d.X);
      copy->SetBoundsTop(copy->BoundsInParent(false).Top + d.Y);
    }
  });
}

void TdtpDocument::DoubleClick(TShiftState shift, int32_t x, int32_t y) {
  if (host_) host_->SetFocus();
  if (interaction_.MouseState == msEditing && interaction_.EditShape) {
    interaction_.EditShape->EditDblClick(kLeftButton, shift, x, y);
    return;
  }
  TdtpShape* shape = nullptr;
  interaction_.HitKind = FindDeepShapeAt({x, y}, shape);
  interaction_.MouseShape = shape;
  if (!shape) return;
  if (ReadOnly() || !shape->AllowEdit) {
    interaction_.MouseShape = nullptr;
    shape->Activate();
  } else {
    BeginShapeEdit(shape);
  }
}

bool TdtpDocument::MouseWheel(TShiftState shift, int32_t delta, int32_t x, int32_t y) {
  (void)shift, (void)delta, (void)x, (void)y;
  return false;
}

// --- Keys ---

void TdtpDocument::KeyDown(uint16_t key, TShiftState shift) {
  if (!AllowKeyInput) return;
  if (interaction_.MouseState == msEditing && interaction_.EditShape) {
    interaction_.EditShape->EditKeyDown(key, shift);
    return;
  }
  switch (key) {
    case vk::Escape: SetMouseState(msIdle); break;
    case vk::Delete: DeleteSelection(); break;
    case vk::F2:
      if (TdtpShape* shape = SelectedShape(0)) {
        // As with a double click, a shape that may not be edited is only activated.
        if (ReadOnly() || !shape->AllowEdit) {
          shape->Activate();
        } else {
          BeginShapeEdit(shape);
        }
      }
      break;
    case vk::F5:
      if (TdtpPage* page = CurrentPage()) page->Refresh();
      break;
    default: break;
  }
}

void TdtpDocument::KeyPress(char16_t ch) {
  if (!AllowKeyInput) return;
  if (interaction_.MouseState == msEditing && interaction_.EditShape) {
    interaction_.EditShape->EditKeyPress(ch);
    return;
  }
  switch (ch) {
    case 3: Copy(); break;
    case 22: Paste(); break;
    case 24: Cut(); break;
    default: break;
  }
}

void TdtpDocument::KeyUp(uint16_t key, TShiftState shift) {
  if (!AllowKeyInput) return;
  if (interaction_.MouseState == msEditing && interaction_.EditShape) interaction_.EditShape->EditKeyUp(key, shift);
}

bool TdtpDocument::WantsSpecialKey(uint16_t key) {
  return key == vk::Left || key == vk::Right || key == vk::Up || key == vk::Down || key == vk::Tab ||
         key == vk::Return || key == vk::Escape;
}

// --- Popup menu ---

void TdtpDocument::BuildDocumentMenu() {
  documentMenu_.Items.clear();
  const std::pair<const char*, const char*> items[] = {{"Cut", "Ctrl+X"}, {"Copy", "Ctrl+C"}, {"Paste", "Ctrl+V"}};
  for (const auto& [caption, shortcut] : items) {
    documentMenu_.Items.push_back(
        TMenuItem{caption, shortcut, [this](const std::string& c) { DocumentMenuClick(c); }});
  }
}

void TdtpDocument::DocumentMenuClick(const std::string& caption) {
  if (interaction_.MouseState != msEditing || !interaction_.EditShape) return;
  if (caption == "Cut") interaction_.EditShape->EditKeyPress(24);
  if (caption == "Copy") interaction_.EditShape->EditKeyPress(3);
  if (caption == "Paste") interaction_.EditShape->EditKeyPress(22);
}

TPopupMenu* TdtpDocument::CurrentPopupMenu() {
  if (interaction_.MouseState == msEditing && interaction_.EditShape) {
    if (TPopupMenu* menu = interaction_.EditShape->EditPopupMenu()) return menu;
    return &documentMenu_;
  }
  if (TdtpShape* focused = FocusedShape(); focused && focused->PopupMenu) return focused->PopupMenu;
  return PopupMenu;
}

// --- Hints ---

void TdtpDocument::StartHint(const TPoint& p, TdtpShape* shape, int32_t delay) {
  HideHint();
  if (!shape || !shape->HintEnabled() || shape->HintText().empty()) return;
  interaction_.HintShape = shape;
  interaction_.HintPoint = p;
  if (!services_.Timers) return;
  interaction_.HintTimer = services_.Timers->CreateTimer();
  if (!interaction_.HintTimer) return;
  interaction_.HintTimer->OnTimer = [this] { ShowShapeHint(); };
  interaction_.HintTimer->Start(static_cast<uint32_t>(std::max(1, delay)));
}

void TdtpDocument::ShowShapeHint() {
  if (!interaction_.HintShape || !interaction_.HintTimer) return;
  // A load, a save or a print may pump events: no hint pops up over it.
  if (IsBusy() || IsLoading() || IsPrinting()) return;
  if (host_) {
    host_->ShowHint(interaction_.HintShape->HintText(), {interaction_.HintPoint.X, interaction_.HintPoint.Y + 24}, kHintColor);
    interaction_.HintWindowShown = true;
  }
  interaction_.HintTimer->OnTimer = [this] { HideHint(); };
  interaction_.HintTimer->Start(static_cast<uint32_t>(std::max(1, HintHidePause)));
}

void TdtpDocument::HideHint() {
  if (interaction_.HintWindowShown && host_) host_->HideHint();
  interaction_.HintWindowShown = false;
  if (interaction_.HintTimer) interaction_.HintTimer->Stop();
  interaction_.HintTimer.reset();
}

// --- Hot zone ---

void TdtpDocument::SetHotzoneScrolling(TdtpHotzoneScrollingType value) {
  HotzoneScrolling = value;
  if (value == hzsNoScroll) {
    interaction_.HotzoneTimer.reset();
    interaction_.HotzoneActive = false;
    return;
  }
  if (!interaction_.HotzoneTimer && services_.Timers) {
    interaction_.HotzoneTimer = services_.Timers->CreateTimer();
    if (interaction_.HotzoneTimer) {
      interaction_.HotzoneTimer->OnTimer = [this] {
        if (interaction_.HotzoneActive) HotzoneScroll();
      };
      interaction_.HotzoneTimer->Start(kHotzoneIntervalMs);
    }
  }
  interaction_.HotzoneActive = false;
}

void TdtpDocument::HotzoneScroll() {
  // The setting may have been assigned directly (a load does): the timer follows it here.
  if (HotzoneScrolling == hzsNoScroll) {
    if (interaction_.HotzoneTimer) SetHotzoneScrolling(hzsNoScroll);
    return;
  }
  if (!interaction_.HotzoneTimer && services_.Timers) SetHotzoneScrolling(HotzoneScrolling);
  if (!host_ || interaction_.MouseState == msEditing || IsBusy() || IsLoading() || IsPrinting()) return;
  const uint64_t now = TickSource ? TickSource() : TickCount();
  const uint64_t elapsed = now >= interaction_.HotzoneLastTick ? now - interaction_.HotzoneLastTick : 0;
  const auto c = static_cast<int64_t>(std::clamp<uint64_t>(elapsed, 1, 200));
  interaction_.HotzoneLastTick = now;
  const TPoint m = host_->CursorPos();
  const double mx = m.X - static_cast<double>(interaction_.HotzoneLastPoint.X), my = m.Y - static_cast<double>(interaction_.HotzoneLastPoint.Y);
  const double speed = std::sqrt(mx * mx + my * my) / static_cast<double>(c) * 1000;
  interaction_.HotzoneLastPoint = m;
  if (!interaction_.HotzoneActive && speed > 30) return;
  const double cw = ClientWidth(), ch = ClientHeight();
  double fx = 0, fy = 0;
  if (m.X >= 0 && m.Y >= 0 && m.X < host_->WindowWidth() && m.Y < host_->WindowHeight() && cw > 0 && ch > 0) {
    if (m.X < kHotzoneShare * cw) {
      fx = m.X / (kHotzoneShare * cw) - 1;
    } else if (cw - m.X < kHotzoneShare * cw) {
      fx = 1 - (cw - m.X) / (kHotzoneShare * cw);
    }
    if (m.Y < kHotzoneShare * ch) {
      fy = m.Y / (kHotzoneShare * ch) - 1;
    } else if (ch - m.Y < kHotzoneShare * ch) {
      fy = 1 - (ch - m.Y) / (kHotzoneShare * ch);
    }
    // Over the scroll bars the factors would pass the window's edge.
    fx = std::clamp(fx, -1.0, 1.0);
    fy = std::clamp(fy, -1.0, 1.0);
  }
  if (fx == 0 && fy == 0) {
    interaction_.HotzoneActive = false;
    return;
  }
  interaction_.HotzoneAcceleration = interaction_.HotzoneActive ? std::min<int64_t>(interaction_.HotzoneAcceleration + c, 1000000) : 10;
  const double limit = static_cast<double>(interaction_.HotzoneAcceleration) / 700;
  auto speedOf = [&](double f) { return (f < 0 ? -1.0 : f > 0 ? 1.0 : 0.0) * std::min(limit, f * f); };
  fx = speedOf(fx);
  fy = speedOf(fy);
  int32_t dx = Round(static_cast<double>(c) * fx * 2), dy = Round(static_cast<double>(c) * fy * 2);
  if (interaction_.OutlineShown) {
    // The outline keeps its place on the document: off, scroll, paint what came into view, on.
    host_->DrawDirect(OutlineBounds(), [this](TCanvas& canvas) { DrawSelectionOutlines(canvas); });
    interaction_.OutlineShown = false;
    ScrollBy(dx, dy);
    host_->PaintNow();
    interaction_.OutlineShown = true;
    host_->DrawDirect(OutlineBounds(), [this](TCanvas& canvas) { DrawSelectionOutlines(canvas); });
  } else if (HotzoneScrolling == hzsAlways) {
    ScrollBy(dx, dy);
  }
  interaction_.HotzoneActive = true;
}

// --- Probes ---

void TdtpDocument::SetHitSensivity(float value) {
  if (value == HitSensivity) return;
  HitSensivity = value;
  BuildProbes();
}

// --- Lifetime of the references above ---

void TdtpDocument::ForgetInteractionShape(TdtpShape* shape) {
  // A drag of a leaving shape ends unapplied; its outline is erased while the shape still lives.
  for (TdtpShape* s : interaction_.DragShapes) {
    if (s->IsInside(shape)) {
      if (interaction_.MouseState == msDragging) {
        SetMouseState(msIdle);
      } else if (interaction_.OutlineShown) {
        ToggleDragOutline(interaction_.Delta);
      }
      interaction_.DragShapes.clear();
      interaction_.HitKind = hkNone;
      break;
    }
  }
  if (interaction_.EditShape && interaction_.EditShape->IsInside(shape)) {
    if (interaction_.EndingEdit) {
      interaction_.EditShape = nullptr;
    } else {
      EndShapeEdit(false);
      interaction_.EditShape = nullptr;
    }
  }
  if (interaction_.MouseShape && interaction_.MouseShape->IsInside(shape)) {
    interaction_.MouseShape = nullptr;
    interaction_.HitKind = hkNone;
  }
  if (interaction_.HintShape && interaction_.HintShape->IsInside(shape)) {
    interaction_.HintShape = nullptr;
    HideHint();
  }
}

}  // namespace sw
