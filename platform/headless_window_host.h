// A window without a screen, for tests and tools: it keeps its pixels in a TBitmap32 and records
// everything the document asks of it (scroll bars, scrolls, invalidated rectangles, cursors,
// capture, focus, hints, popup menus, drags). Paints happen only when the owner calls Paint or
// PaintInvalidated, the way an event loop would deliver them. Mouse and keys are scripted: the
// owner presses, moves, releases and types as a user would, and the host keeps the buttons and
// modifier keys held in between.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window_host.h"
#include "raster/bitmap32.h"

namespace sw {

// Moves the pixels of bitmap by (dx, dy) as a window scroll does (positive dx to the right); what
// comes into view keeps its old pixels.
void ScrollPixels(TBitmap32& bitmap, int32_t dx, int32_t dy);

class THeadlessWindowHost : public IWindowHost {
public:
  // Pixels no paint has reached yet, so a test sees what the client left out.
  static constexpr TColor32 kUnpainted = 0xFFFF00FFu;
  // Window sizes beyond this in either direction are refused ("Invalid window size").
  static constexpr int32_t kMaxSize = 16384;

  // A window of width x height pixels, scroll bars included.
  THeadlessWindowHost(int32_t width, int32_t height);

  // The client that receives paints and focus changes; not owned, may be null.
  void SetClient(IWindowClient* client) { client_ = client; }
  IWindowClient* Client() const { return client_; }

  // Resizes the window (scroll bars included), keeps the pixels that stay inside, invalidates the
  // whole client and calls the client's Resized when the client size changed.
  void SetSize(int32_t width, int32_t height);
  // Client pixels a visible scroll bar takes (0 at creation, so bars take no room). A bar showing
  // or hiding resizes the client and calls Resized at once, as a window system does.
  void SetScrollBarThickness(int32_t pixels);

  int32_t ClientWidth() const override;
  int32_t ClientHeight() const override;
  void Invalidate(const TRect& rect) override;
  void InvalidateAll() override;
  void ScrollContent(int32_t dx, int32_t dy) override;
  void SetScrollBar(TScrollBarKind kind, const TScrollBarInfo& info) override;
  void SetCursor(TCursor cursor) override {
    cursor_ = cursor;
    cursorLog_.push_back(cursor);
  }
  void SetMouseCapture(bool capture) override { captured_ = capture; }
  // Takes the focus; the client hears FocusChanged(true) when the window did not have it.
  void SetFocus() override;
  bool Focused() const override { return focused_; }
  // Counts the call; pending paints stay pending until the owner asks for them.
  void ProcessPendingWork() override { ++pendingWorkCalls_; }
  int32_t WindowWidth() const override { return width_; }
  int32_t WindowHeight() const override { return height_; }
  TShiftState KeyboardState() const override { return keys_; }
  TPoint CursorPos() const override { return pointer_; }
  // Draws onto the window's pixels at once; counted.
  void DrawDirect(const TRect& bounds, const std::function<void(TCanvas&)>& draw) override;
  void PaintNow() override { PaintInvalidated(); }
  void ShowHint(const std::string& text, const TPoint& at, TdtpColor color) override;
  void HideHint() override { hintShown_ = false; }
  void StartDragDrop(const std::string& text) override { dragDrops_.push_back(text); }

  // --- Scripted input ---
  // The modifier keys held from now on (ssShift, ssCtrl, ssAlt; other bits are dropped).
  void SetKeys(TShiftState keys) { keys_ = static_cast<TShiftState>(keys & (ssShift | ssCtrl | ssAlt)); }
  // The pointer moves to (x, y) without an event (a move the window did not see).
  void SetPointer(int32_t x, int32_t y) { pointer_ = {x, y}; }
  // The pointer goes to (x, y) (a Move when it was elsewhere) and the button goes down: the
  // client's MouseDown with the keys and the buttons held, the pressed one included.
  void Press(TMouseButton button, int32_t x, int32_t y);
  // The pointer moves to (x, y): the client's MouseMove with the keys and buttons held.
  void Move(int32_t x, int32_t y);
  // The button comes up at (x, y) (after a Move when the pointer was elsewhere): the client's
  // MouseUp with the keys and the buttons still held.
  // Releasing the right button then shows the client's popup menu there, when it has one.
  void Release(TMouseButton button, int32_t x, int32_t y);
  // Press, moves in steps pixels apart at most, and Release: a drag as a hand makes it.
  void Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t steps = 4);
  // A left double click at (x, y) as window systems deliver it: press, release, the double click
  // with the second press, release.
  void DoubleClickAt(int32_t x, int32_t y);
  // A key typed: KeyDown, KeyPress of ch unless it is 0, KeyUp, with the keys held.
  void Type(uint16_t key, char16_t ch = 0);
  TShiftState ButtonsHeld() const { return buttons_; }

  // --- What the client asked for ---
  // Every cursor set since the last ClearLog, in order.
  const std::vector<TCursor>& CursorLog() const { return cursorLog_; }
  bool HintShown() const { return hintShown_; }
  const std::string& HintText() const { return hintText_; }
  TPoint HintPoint() const { return hintPoint_; }
  TdtpColor HintColor() const { return hintColor_; }
  int32_t HintShowCount() const { return hintShows_; }
  // The menu the last right click showed (null when none), and how many were shown.
  TPopupMenu* ShownPopupMenu() const { return popup_; }
  int32_t PopupShowCount() const { return popupShows_; }
  const std::vector<std::string>& DragDrops() const { return dragDrops_; }
  int32_t DirectDrawCount() const { return directDraws_; }

  // Takes the focus away; the client hears FocusChanged(false) when the window had it.
  void KillFocus();
  // Runs the client's Paint for clip (cut to the client area) on a canvas over the window's
  // pixels, whose clip is that rectangle; the rectangle no longer counts as invalid. An empty
  // clip or a missing client paints nothing. Returns the window's pixels.
  const TBitmap32& Paint(const TRect& clip);
  // Paints every pending invalid rectangle, in the order they were invalidated, and forgets them.
  const TBitmap32& PaintInvalidated();
  // The window's client pixels as the last paints and scrolls left them.
  const TBitmap32& Screen() const { return screen_; }

  // Rectangles waiting for a paint (cut to the client, moved along by scrolls).
  const std::vector<TRect>& InvalidRects() const { return invalid_; }
  // Every Invalidate and InvalidateAll since the last ClearLog, as requested (InvalidateAll as
  // the client rectangle).
  const std::vector<TRect>& InvalidateLog() const { return invalidateLog_; }
  // Every ScrollContent since the last ClearLog, as (dx, dy).
  const std::vector<TPoint>& ScrollLog() const { return scrollLog_; }
  // Forgets the logs (not the pending rectangles).
  void ClearLog();
  const TScrollBarInfo& ScrollBar(TScrollBarKind kind) const { return bars_[static_cast<int>(kind)]; }
  // Times SetScrollBar was called for the bar.
  int32_t ScrollBarSetCount(TScrollBarKind kind) const { return barSets_[static_cast<int>(kind)]; }
  TCursor Cursor() const { return cursor_; }
  bool MouseCaptured() const { return captured_; }
  int32_t PendingWorkCalls() const { return pendingWorkCalls_; }
  int32_t PaintCount() const { return paintCount_; }

private:
  TRect ClientRect() const { return TRect{0, 0, ClientWidth(), ClientHeight()}; }
  // Brings the pixels to the client size after any change of size or bars.
  void ClientSizeChanged(int32_t oldWidth, int32_t oldHeight);
  void AddInvalid(const TRect& rect);

  IWindowClient* client_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t barThickness_ = 0;
  TBitmap32 screen_;
  std::vector<TRect> invalid_;
  std::vector<TRect> invalidateLog_;
  std::vector<TPoint> scrollLog_;
  TScrollBarInfo bars_[2];
  int32_t barSets_[2] = {0, 0};
  TCursor cursor_ = crDefault;
  bool captured_ = false;
  bool focused_ = false;
  int32_t pendingWorkCalls_ = 0;
  int32_t paintCount_ = 0;
  TShiftState keys_ = 0;
  TShiftState buttons_ = 0;
  TPoint pointer_{0, 0};
  std::vector<TCursor> cursorLog_;
  bool hintShown_ = false;
  std::string hintText_;
  TPoint hintPoint_{0, 0};
  TdtpColor hintColor_ = 0;
  int32_t hintShows_ = 0;
  TPopupMenu* popup_ = nullptr;
  int32_t popupShows_ = 0;
  std::vector<std::string> dragDrops_;
  int32_t directDraws_ = 0;
};

}  // namespace sw
