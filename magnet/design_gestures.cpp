// The design view's drags, wheel zoom and in-place editing of the message.
//
// A drag moves its layer silently (no undo records) while the mouse moves, so the view shows it
// at once; the release puts the layer back silently and applies the final position once, as a
// spin-edit change would, inside one undo gesture. The undo log thus gets one step holding the
// values from before the drag, and a cancelled drag leaves no step at all.
#include "magnet/design_gestures.h"

#include <algorithm>
#include <cmath>

#include "base/numeric.h"
#include "engine/document.h"
#include "engine/undo_log.h"
#include "magnet/magnet_design.h"
#include "platform/canvas.h"
#include "shapes/bitmap_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/resources/resource.h"

namespace sw {

namespace {

// The outline of a message box that cuts off its text.
constexpr TColor32 kOverflowColour = 0xFFE00000;
// Alpha from which an overlay hides what lies below it: the picture shows less than half there.
constexpr uint32_t kCoverAlpha = 128;
// The wheel zooms in one undo step as long as nothing else is recorded between its turns.
constexpr const char kWheelGesture[] = "design view wheel zoom";

// Runs body with the document's undo recording suspended, resuming it also when body raises.
template <typename Body>
void WithoutUndo(TdtpDocument& document, Body&& body) {
  const TUndoOff undoOff(document);
  body();
}

// Runs body as one undo gesture of the document.
template <typename Body>
void AsGesture(TdtpDocument& document, const std::string& key, Body&& body) {
  const TGestureScope gesture(document, key);
  body();
}

TFloatPoint LocalAt(const TdtpShape& shape, int32_t x, int32_t y) {
  return shape.ScreenToLocal({static_cast<float>(x), static_cast<float>(y)});
}

// The local point lies within the shape's rectangle grown by grow millimetres on every side (a
// negative width or height spans the other way).
bool InFrame(const TdtpShape& shape, const TFloatPoint& p, float grow = 0) {
  const float w = shape.DocWidth(), h = shape.DocHeight();
  if (!std::isfinite(p.X) || !std::isfinite(p.Y) || !std::isfinite(w) || !std::isfinite(h)) return false;
  return p.X >= std::min(0.0f, w) - grow && p.X <= std::max(0.0f, w) + grow && p.Y >= std::min(0.0f, h) - grow &&
         p.Y <= std::max(0.0f, h) + grow;
}

bool Shows(const TdtpShape* shape) { return shape && shape->Visible() && shape->MasterAlpha() > 0; }

// A rectangle overlay hides the point with its fill or its outline band (centred on the edge).
bool RectangleCovers(const TdtpPolygonShape& rect, int32_t x, int32_t y) {
  const TFloatPoint p = LocalAt(rect, x, y);
  const uint32_t master = rect.MasterAlpha();
  if (rect.UseFill() && static_cast<uint32_t>(rect.FillAlpha()) * master / 255 >= kCoverAlpha && InFrame(rect, p)) {
    return true;
  }
  const float half = rect.OutlineWidth() / 2;
  if (!rect.UseOutline() || !(half > 0) || master < kCoverAlpha) return false;
  const float w = std::abs(rect.DocWidth()), h = std::abs(rect.DocHeight());
  const float u = rect.DocWidth() < 0 ? -p.X : p.X;
  const float v = rect.DocHeight() < 0 ? -p.Y : p.Y;
  const bool outer = u >= -half && u <= w + half && v >= -half && v <= h + half;
  const bool inner = u > half && u < w - half && v > half && v < h - half;
  return outer && !inner;
}

// A picture overlay hides the point where its own pixel is opaque enough; a picture that cannot
// be decoded hides nothing (the view shows nothing of it either).
bool PictureCovers(const TdtpBitmapShape& picture, int32_t x, int32_t y) {
  const TFloatPoint p = LocalAt(picture, x, y);
  if (!InFrame(picture, p)) return false;
  try {
    TResourceAccess access(picture.Resource());
    const TBitmap32* bitmap = picture.Resource().Bitmap();
    if (!bitmap || bitmap->Width() <= 0 || bitmap->Height() <= 0) return false;
    const double fx = static_cast<double>(p.X) / picture.DocWidth();
    const double fy = static_cast<double>(p.Y) / picture.DocHeight();
    if (!std::isfinite(fx) || !std::isfinite(fy)) return false;
    const auto px = static_cast<int32_t>(std::clamp(std::floor(fx * bitmap->Width()), 0.0, bitmap->Width() - 1.0));
    const auto py = static_cast<int32_t>(std::clamp(std::floor(fy * bitmap->Height()), 0.0, bitmap->Height() - 1.0));
    return (bitmap->Pixel(px, py) >> 24) * picture.MasterAlpha() / 255 >= kCoverAlpha;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

TDesignViewClient::TDesignViewClient(TMagnetDesign& design) : design_(design) {}

TDesignViewClient::~TDesignViewClient() {
  // A drag running when the view goes keeps what it showed last; only the mouse is let go.
  if (drag_) Capture(false);
}

TdtpDocument& TDesignViewClient::Document() const { return design_.Document(); }

TdtpShape* TDesignViewClient::TargetShape(TDesignTarget target) const {
  switch (target) {
    case TDesignTarget::Message: return design_.Layer(TLayer::usrText);
    case TDesignTarget::Picture:
      // Only the user's picture: the template editor may make another layer the active image.
      return design_.ActiveImageLayer() == TLayer::usrImage ? design_.ActiveImage() : nullptr;
    case TDesignTarget::None: break;
  }
  return nullptr;
}

TDesignTarget TDesignViewClient::TargetAt(int32_t x, int32_t y) const {
  TdtpDocument& document = Document();
  const TdtpPage* page = document.CurrentPage();
  if (!page || document.IsBusy() || document.IsLoading() || document.IsPrinting()) return TDesignTarget::None;
  if (!InFrame(*page, LocalAt(*page, x, y))) return TDesignTarget::None;

  const TdtpShape* text = TargetShape(TDesignTarget::Message);
  if (text && text->Visible() && text->Parent() == page && InFrame(*text, LocalAt(*text, x, y))) {
    return TDesignTarget::Message;
  }
  const TdtpShape* picture = TargetShape(TDesignTarget::Picture);
  if (!Shows(picture) || picture->Parent() != page || !InFrame(*picture, LocalAt(*picture, x, y))) {
    return TDesignTarget::None;
  }
  // The overlays lie above the picture; where one hides it, the press belongs to the overlay.
  for (const TLayer overlay : {TLayer::olImage, TLayer::olMask}) {
    const TdtpBitmapShape* cover = design_.BitmapLayer(overlay);
    if (Shows(cover) && cover->Parent() == page && PictureCovers(*cover, x, y)) return TDesignTarget::None;
  }
  for (const TLayer overlay : {TLayer::olBorder, TLayer::olOutline}) {
    const TdtpPolygonShape* cover = design_.RectLayer(overlay);
    if (Shows(cover) && cover->Parent() == page && RectangleCovers(*cover, x, y)) return TDesignTarget::None;
  }
  return TDesignTarget::Picture;
}

bool TDesignViewClient::DragAlive() const {
  if (!drag_) return false;
  const TdtpShape* shape = TargetShape(drag_->Target);
  if (shape != drag_->Shape || !shape || shape->ShapeId() != drag_->ShapeId) return false;
  if (shape->DocLeft() != drag_->ExpectLeft || shape->DocTop() != drag_->ExpectTop) return false;
  if (drag_->BoxGeometry) {
    const TdtpShape* box = design_.Layer(TLayer::usrTextBG);
    if (box != drag_->Box || !box || box->ShapeId() != drag_->BoxId) return false;
  }
  return true;
}

void TDesignViewClient::DropDrag() {
  if (!drag_) return;
  drag_.reset();
  Capture(false);
}

void TDesignViewClient::Capture(bool capture) {
  if (IWindowHost* host = Document().WindowHost()) host->SetMouseCapture(capture);
}

void TDesignViewClient::MoveSilently(int32_t left, int32_t top) {
  WithoutUndo(Document(), [&] {
    if (drag_->Target == TDesignTarget::Message) {
      design_.MoveText(static_cast<float>(left), static_cast<float>(top));
    } else {
      design_.MoveActiveImage(static_cast<float>(left), static_cast<float>(top));
    }
  });
  drag_->Left = left;
  drag_->Top = top;
  drag_->Moved = true;
  drag_->ExpectLeft = drag_->Shape->DocLeft();
  drag_->ExpectTop = drag_->Shape->DocTop();
}

void TDesignViewClient::RestoreSilently() {
  WithoutUndo(Document(), [&] {
    const TGeometry& g = drag_->ShapeGeometry;
    drag_->Shape->SetLeft(g.Left);
    drag_->Shape->SetTop(g.Top);
    if (drag_->BoxGeometry) {
      const TGeometry& b = *drag_->BoxGeometry;
      drag_->Box->SetBoundsAndAngle(b.Left, b.Top, b.Width, b.Height, b.Angle);
    }
  });
  drag_->Left = drag_->StartLeft;
  drag_->Top = drag_->StartTop;
  drag_->ExpectLeft = drag_->Shape->DocLeft();
  drag_->ExpectTop = drag_->Shape->DocTop();
}

void TDesignViewClient::CancelDrag() {
  if (!drag_) return;
  if (!DragAlive()) {
    DropDrag();
    return;
  }
  const bool moved = drag_->Moved;
  const bool wasModified = drag_->WasModified;
  const bool wasFlashing = drag_->WasFlashing;
  RestoreSilently();
  DropDrag();
  if (!moved) return;
  // The drag was all that changed the design since its press: the message box too goes back to
  // what it was, and the design is as modified as it was.
  if (!wasFlashing && design_.Flashing()) WithoutUndo(Document(), [&] { design_.EndTextFlash(); });
  Document().SetModified(wasModified);
  Changed();
}

bool TDesignViewClient::EditingMessage() const {
  const TdtpShape* text = design_.Layer(TLayer::usrText);
  return text && Document().EditShape() == text;
}

void TDesignViewClient::CheckEditEnded() {
  const bool editing = EditingMessage();
  if (wasEditing_ && !editing) Changed();
  wasEditing_ = editing;
}

void TDesignViewClient::Changed() {
  if (OnChanged) OnChanged();
}

void TDesignViewClient::SetCursorAt(int32_t x, int32_t y) {
  const bool move = drag_ || TargetAt(x, y) != TDesignTarget::None;
  Document().SetCursorShape(move ? crSizeAll : crDefault);
}

// --- IWindowClient ---

void TDesignViewClient::Paint(TCanvas& canvas, const TRect& clip) {
  TdtpDocument& document = Document();
  document.Paint(canvas, clip);
  const TdtpPage* page = document.CurrentPage();
  if (!page || document.IsPrinting() || document.IsLoading()) return;
  const TRect area = IntersectRect(clip, canvas.ClipRect());
  if (area.IsEmpty()) return;
  const TRect old = canvas.ClipRect();
  canvas.SetClipRect(area);
  // The view shows the design page (its bleed included) and nothing beyond, as print does: what
  // reaches past its edges is covered by the workspace again.
  const TFloatPoint a = page->LocalToScreen({0, 0});
  const TFloatPoint b = page->LocalToScreen({page->DocWidth(), page->DocHeight()});
  const TRect shown{Round(std::min(a.X, b.X)), Round(std::min(a.Y, b.Y)), Round(std::max(a.X, b.X)),
                    Round(std::max(a.Y, b.Y))};
  const TColor32 workspace = ColorFromSystem(document.Color);
  for (const TRect& strip : {TRect{area.Left, area.Top, area.Right, shown.Top},
                             TRect{area.Left, shown.Bottom, area.Right, area.Bottom},
                             TRect{area.Left, shown.Top, shown.Left, shown.Bottom},
                             TRect{shown.Right, shown.Top, area.Right, shown.Bottom}}) {
    const TRect part = IntersectRect(strip, area);
    if (!part.IsEmpty()) canvas.FillRect(part, workspace);
  }
  // A message its box cuts off shows the box in red.
  const TdtpShape* text = design_.Layer(TLayer::usrText);
  const TFloatPoint over = design_.MessageOverflow();
  if (text && text->Visible() && (over.X > 0 || over.Y > 0)) {
    const float w = text->DocWidth(), h = text->DocHeight();
    TPoint corners[4];
    const TFloatPoint local[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    for (int i = 0; i < 4; ++i) {
      const TFloatPoint p = text->LocalToScreen(local[i]);
      corners[i] = TPoint{Round(p.X), Round(p.Y)};
    }
    const TPen pen = canvas.Pen();
    const TBrush brush = canvas.Brush();
    canvas.SetPen(TPen{kOverflowColour, 2, psSolid, pmCopy});
    canvas.SetBrush(TBrush{clWhite32, bsClear});
    canvas.Polygon(corners, 4);
    canvas.SetPen(pen);
    canvas.SetBrush(brush);
  }
  canvas.SetClipRect(old);
}

void TDesignViewClient::Resized() { Document().Resized(); }

void TDesignViewClient::Scroll(TScrollBarKind kind, TScrollRequest request, int32_t position) {
  Document().Scroll(kind, request, position);
}

void TDesignViewClient::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  CheckEditEnded();
  pressForwarded_ = false;
  if (drag_) {
    // A second button during a drag changes nothing; a drag whose layer went is forgotten.
    if (!DragAlive()) DropDrag();
    return;
  }
  const TDesignTarget target = TargetAt(x, y);
  if (EditingMessage()) {
    if (target == TDesignTarget::Message) {
      // The press places the caret or selects inside the message being edited.
      pressForwarded_ = true;
      Document().MouseDown(button, shift, x, y);
      return;
    }
    Document().EndEditing(true);
    CheckEditEnded();
  }
  if (button != TMouseButton::mbLeft || target == TDesignTarget::None) return;
  TdtpShape* shape = TargetShape(target);
  const std::optional<TTextControls> text = design_.TextControls();
  const std::optional<TImageControls> image = design_.ImageControls(TLayer::usrImage);
  if (!shape || (target == TDesignTarget::Message ? !text : !image)) return;

  TDrag drag;
  drag.Target = target;
  drag.Shape = shape;
  drag.ShapeId = shape->ShapeId();
  drag.Start = Document().ScreenToView({static_cast<float>(x), static_cast<float>(y)});
  drag.StartLeft = target == TDesignTarget::Message ? text->Left : image->Left;
  drag.StartTop = target == TDesignTarget::Message ? text->Top : image->Top;
  drag.Left = drag.StartLeft;
  drag.Top = drag.StartTop;
  drag.ShapeGeometry = {shape->DocLeft(), shape->DocTop(), shape->DocWidth(), shape->DocHeight(), shape->DocAngle()};
  drag.ExpectLeft = shape->DocLeft();
  drag.ExpectTop = shape->DocTop();
  if (target == TDesignTarget::Message) {
    if (TdtpShape* box = design_.Layer(TLayer::usrTextBG)) {
      drag.Box = box;
      drag.BoxId = box->ShapeId();
      drag.BoxGeometry = TGeometry{box->DocLeft(), box->DocTop(), box->DocWidth(), box->DocHeight(), box->DocAngle()};
    }
  }
  drag.WasModified = Document().Modified();
  drag.WasFlashing = design_.Flashing();
  drag_ = drag;
  // Escape has to reach the view while the drag runs.
  if (IWindowHost* host = Document().WindowHost()) host->SetFocus();
  Capture(true);
  Document().SetCursorShape(crSizeAll);
}

void TDesignViewClient::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  // The document moves the rulers' hair lines and, while the message is edited, extends its
  // selection. A button it did not see go down is not reported to it, so it never starts a drag
  // of its own.
  const TShiftState reported = pressForwarded_ ? shift : static_cast<TShiftState>(shift & ~(ssLeft | ssRight | ssMiddle));
  Document().MouseMove(reported, x, y);
  CheckEditEnded();
  if (drag_ && !DragAlive()) DropDrag();
  if (drag_) {
    const TFloatPoint at = Document().ScreenToView({static_cast<float>(x), static_cast<float>(y)});
    // Whole millimetres from the spin values the drag started at, as the spin arrows step, and
    // never beyond what a spin edit holds (a mouse far outside a window zoomed far out).
    auto step = [](int32_t start, double from, double to) {
      const int64_t value = static_cast<int64_t>(start) + Round(to - from);
      return static_cast<int32_t>(std::clamp<int64_t>(value, -kSpinLimit, kSpinLimit));
    };
    const int32_t left = step(drag_->StartLeft, drag_->Start.X, at.X);
    const int32_t top = step(drag_->StartTop, drag_->Start.Y, at.Y);
    if (left != drag_->Left || top != drag_->Top) {
      if (left == drag_->StartLeft && top == drag_->StartTop) {
        RestoreSilently();
      } else {
        MoveSilently(left, top);
      }
      Changed();
    }
    Document().SetCursorShape(crSizeAll);
    return;
  }
  if (EditingMessage() && TargetAt(x, y) == TDesignTarget::Message) return;
  SetCursorAt(x, y);
}

void TDesignViewClient::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (pressForwarded_) {
    pressForwarded_ = false;
    Document().MouseUp(button, shift, x, y);
    CheckEditEnded();
    return;
  }
  if (!drag_ || button != TMouseButton::mbLeft) return;
  if (!DragAlive()) {
    DropDrag();
    return;
  }
  const int32_t left = drag_->Left, top = drag_->Top;
  if (left == drag_->StartLeft && top == drag_->StartTop) {
    // A click, or a drag back to where it began: the design stays as it was.
    CancelDrag();
    SetCursorAt(x, y);
    return;
  }
  // Back to the start unrecorded, then the one change a spin edit would have made, recorded.
  const TDesignTarget target = drag_->Target;
  RestoreSilently();
  DropDrag();
  AsGesture(Document(), {}, [&] {
    if (target == TDesignTarget::Message) {
      design_.MoveText(static_cast<float>(left), static_cast<float>(top));
    } else {
      design_.MoveActiveImage(static_cast<float>(left), static_cast<float>(top));
    }
  });
  Changed();
  SetCursorAt(x, y);
}

void TDesignViewClient::DoubleClick(TShiftState shift, int32_t x, int32_t y) {
  CheckEditEnded();
  if (drag_) CancelDrag();
  if (TargetAt(x, y) != TDesignTarget::Message) return;
  if (EditingMessage()) {
    // A double click inside the message being edited selects in it.
    Document().DoubleClick(shift, x, y);
    return;
  }
  Document().BeginShapeEdit(design_.Layer(TLayer::usrText));
  // A message that may not be edited on the page ends the edit it was asked for at once.
  if (EditingMessage()) {
    wasEditing_ = true;
    // The caret goes where the user clicked, nothing selected, as in any text.
    Document().MouseDown(TMouseButton::mbLeft, 0, x, y);
    Document().MouseUp(TMouseButton::mbLeft, 0, x, y);
    return;
  }
  if (OnEditMessage) OnEditMessage();
}

bool TDesignViewClient::MouseWheel(TShiftState shift, int32_t delta, int32_t x, int32_t y) {
  // A wheel turned during a drag would change the picture under the hand: it does nothing.
  if (drag_) return true;
  if (TargetAt(x, y) != TDesignTarget::Picture) {
    wheelRest_ = 0;
    return Document().MouseWheel(shift, delta, x, y);
  }
  const TDesignObject* entry = design_.LayerObject(TLayer::usrImage);
  const std::optional<TImageControls> controls = design_.ImageControls(TLayer::usrImage);
  // Without a zoom reference every zoom would shrink the picture to nothing.
  if (!entry || !controls || !(entry->ZoomWidth > 0)) return true;
  const int64_t turned = static_cast<int64_t>(wheelRest_) + delta;
  const int64_t notches = turned / kWheelNotch;
  wheelRest_ = static_cast<int32_t>(turned % kWheelNotch);
  if (notches == 0) return true;
  const int64_t step = (shift & ssCtrl) ? FineZoomStep : ZoomStep;
  const int64_t wanted = static_cast<int64_t>(controls->Zoom) + notches * step;
  // The maximum first, then the minimum, as the spin edit keeps its value in range.
  const auto zoom = static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(wanted, ZoomMaximum), ZoomMinimum));
  if (zoom == controls->Zoom) return true;
  AsGesture(Document(), kWheelGesture, [&] { design_.ZoomActiveImage(zoom); });
  Changed();
  return true;
}

void TDesignViewClient::KeyDown(uint16_t key, TShiftState shift) {
  CheckEditEnded();
  if (drag_) {
    if (key == vk::Escape) CancelDrag();
    return;
  }
  if (!EditingMessage()) return;
  Document().KeyDown(key, shift);
  Changed();
  CheckEditEnded();
}

void TDesignViewClient::KeyPress(char16_t ch) {
  CheckEditEnded();
  if (drag_ || !EditingMessage()) return;
  Document().KeyPress(ch);
  Changed();
  CheckEditEnded();
}

void TDesignViewClient::KeyUp(uint16_t key, TShiftState shift) {
  if (drag_ || !EditingMessage()) return;
  Document().KeyUp(key, shift);
  CheckEditEnded();
}

bool TDesignViewClient::WantsSpecialKey(uint16_t key) {
  if (drag_) return key == vk::Escape;
  return EditingMessage() && Document().WantsSpecialKey(key);
}

TPopupMenu* TDesignViewClient::CurrentPopupMenu() {
  // The document's own menu pastes shapes; only the message's editing menu is offered.
  return EditingMessage() ? Document().CurrentPopupMenu() : nullptr;
}

void TDesignViewClient::FocusChanged(bool focused) {
  if (!focused) CancelDrag();
  Document().FocusChanged(focused);
  CheckEditEnded();
}

}  // namespace sw
