// TDesignViewClient: the design view's direct manipulation. It stands between the design view's
// window and the design document: the message and the user's picture can be dragged with the
// mouse, the picture zoomed with the wheel, and the message edited in place with a double click.
// Everything it changes goes through the magnet model's own operations with the whole-millimetre
// and whole-percent values the spin edits would have stored, so the controls and the stored design
// cannot tell a drag from spin-edit changes. No other layer can be selected, moved or otherwise
// reached through the view: presses anywhere else do nothing.
//
// Painting, resizing, scrolling, focus and the wheel away from the picture go to the document. No
// layer pointer is kept between events: the layer is read from the design on each event, and a
// drag whose layer was replaced or destroyed meanwhile (a template loaded, an undo) is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/window_host.h"
#include "raster/color32.h"
#include "raster/geometry.h"

namespace sw {

class TdtpDocument;
class TdtpShape;
class TMagnetDesign;

// What a point of the design view lets the user take hold of.
enum class TDesignTarget : uint8_t { None = 0, Message = 1, Picture = 2 };

class TDesignViewClient : public IWindowClient {
public:
  // Mouse-wheel units of one notch.
  static constexpr int32_t kWheelNotch = 120;
  // The spin edits' own bound on their values when they are given no range.
  static constexpr int32_t kSpinLimit = 1000000000;

  // Works on design's document, which must be shown through the host that forwards to this client
  // (document.SetWindowHost(host), host.SetClient(this)). design outlives this object.
  explicit TDesignViewClient(TMagnetDesign& design);
  ~TDesignViewClient() override;
  TDesignViewClient(const TDesignViewClient&) = delete;
  TDesignViewClient& operator=(const TDesignViewClient&) = delete;

  // After every change the view made to the design (each step of a drag, a cancelled drag, a
  // zoom, keys typed into the message edited in place), so the window's controls follow.
  std::function<void()> OnChanged;
  // A double click on the message when the message cannot be edited on the page: the window
  // focuses its message field instead.
  std::function<void()> OnEditMessage;

  // The zoom spin edit's step and range in percent: one wheel notch zooms by ZoomStep, never
  // beyond the range (the spin edit has none; the wheel does not make a picture negative).
  int32_t ZoomStep = 1;
  // The step of a notch with Ctrl held, for fine zooming.
  int32_t FineZoomStep = 1;
  int32_t ZoomMinimum = 0;
  int32_t ZoomMaximum = kSpinLimit;

  // The layer a window point would take hold of: the message on its turned frame (it lies above
  // the picture), else the visible user picture where no overlay covers it; only on the page.
  TDesignTarget TargetAt(int32_t x, int32_t y) const;
  // The layer being dragged now; None when no drag runs.
  TDesignTarget Dragging() const { return drag_ ? drag_->Target : TDesignTarget::None; }
  // Puts the dragged layer back where the drag found it; nothing when no drag runs. The window
  // calls it before it changes the design itself during a drag (an undo); a drag whose layer was
  // moved, replaced or destroyed by anything else is dropped at the next event, leaving the layer
  // as that change left it.
  void CancelDrag();

  // --- IWindowClient ---
  void Paint(TCanvas& canvas, const TRect& clip) override;
  void Resized() override;
  void Scroll(TScrollBarKind kind, TScrollRequest request, int32_t position) override;
  // The left button on the message or the picture starts a drag; any other press does nothing
  // (while the message is edited in place, presses on it go to the editor).
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  void MouseMove(TShiftState shift, int32_t x, int32_t y) override;
  // Ends the drag as one undo step; a drag that came back to its whole-millimetre start stores
  // nothing.
  void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
  // On the message: in-place editing with the caret at the point, or OnEditMessage when the
  // message has no in-place editor.
  void DoubleClick(TShiftState shift, int32_t x, int32_t y) override;
  // Over the picture: zooms it, one ZoomStep per notch (FineZoomStep with Ctrl); elsewhere the
  // document scrolls.
  bool MouseWheel(TShiftState shift, int32_t delta, int32_t x, int32_t y) override;
  // Escape cancels a drag; keys reach the document only while the message is edited in place.
  void KeyDown(uint16_t key, TShiftState shift) override;
  void KeyPress(char16_t ch) override;
  void KeyUp(uint16_t key, TShiftState shift) override;
  // Losing the focus cancels a drag.
  void FocusChanged(bool focused) override;
  // Escape during a drag; the editing keys while the message is edited in place.
  bool WantsSpecialKey(uint16_t key) override;
  // The editing menu while the message is edited in place; no menu otherwise.
  TPopupMenu* CurrentPopupMenu() override;

private:
  // Where a drag started: the layer's identity, the point taken hold of (view millimetres), the
  // spin values then, and what the layers looked like, so the drag can be undone exactly.
  struct TGeometry {
    float Left = 0, Top = 0, Width = 0, Height = 0, Angle = 0;
  };
  struct TDrag {
    TDesignTarget Target = TDesignTarget::None;
    TdtpShape* Shape = nullptr;
    int32_t ShapeId = 0;
    TdtpShape* Box = nullptr;
    int32_t BoxId = 0;
    TFloatPoint Start;
    int32_t StartLeft = 0, StartTop = 0;
    int32_t Left = 0, Top = 0;
    TGeometry ShapeGeometry;
    std::optional<TGeometry> BoxGeometry;
    // Where the layer's position point is while the drag alone moves it.
    float ExpectLeft = 0, ExpectTop = 0;
    bool WasModified = false;
    bool WasFlashing = false;
    // The layer has left its place at some time during the drag.
    bool Moved = false;
  };

  TdtpDocument& Document() const;
  // The layer a target names, null when the design has none.
  TdtpShape* TargetShape(TDesignTarget target) const;
  // The drag's layer (and box) are still the ones it started with, and nothing but the drag has
  // moved it since.
  bool DragAlive() const;
  // Forgets the drag without touching the design.
  void DropDrag();
  // Applies spin values left, top to the dragged layer without recording undo.
  void MoveSilently(int32_t left, int32_t top);
  // Puts the dragged layers back exactly as the drag found them, without recording undo.
  void RestoreSilently();
  // The message is being edited on the page.
  bool EditingMessage() const;
  // Tells OnChanged when in-place editing has ended since the last event.
  void CheckEditEnded();
  void Changed();
  void SetCursorAt(int32_t x, int32_t y);
  void Capture(bool capture);

  TMagnetDesign& design_;
  std::optional<TDrag> drag_;
  // The last press went to the document (the message's editor), so its release goes there too.
  bool pressForwarded_ = false;
  bool wasEditing_ = false;
  // Wheel turns short of a notch (fine-grained wheels), kept until they make one.
  int32_t wheelRest_ = 0;
};

}  // namespace sw
