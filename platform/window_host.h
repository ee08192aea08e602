// The window a document shows itself in. The document is a plain object; whoever shows it (a Qt
// widget, or the headless host of tests and tools) implements IWindowHost for the document to call,
// and forwards the window's events to the document through IWindowClient.
//
// Coordinates are window pixels of the client area (the part inside the scroll bars), y down.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "raster/color32.h"
#include "raster/geometry.h"

namespace sw {

class TCanvas;

enum class TScrollBarKind : uint8_t { Horizontal = 0, Vertical = 1 };

// One scroll bar as the document sets it: positions run from Min to Max - Page; Visible is false
// when the content fits (the bar then takes no client space).
struct TScrollBarInfo {
  int32_t Min = 0;
  int32_t Max = 0;
  int32_t Page = 0;
  int32_t Position = 0;
  int32_t SmallStep = 1;
  bool Visible = false;
  friend bool operator==(const TScrollBarInfo&, const TScrollBarInfo&) = default;
};

// What a scroll-bar interaction asks for.
enum class TScrollRequest : uint8_t {
  LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom, EndScroll
};

// Cursor numbers: 0 is the window's default, the standard ones are negative as the platform
// numbers them, and -30 to -38 are the engine's own (rotation, size-copy and the insert crosses).
using TCursor = int32_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crNo = -18;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// Modifier and button state carried by mouse and key events.
enum TShiftStateBit : uint16_t {
  ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64
};
using TShiftState = uint16_t;

enum class TMouseButton : uint8_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// Key codes are the platform-neutral virtual-key numbers: letters and digits are their upper-case
// ASCII codes, the rest as below.
namespace vk {
constexpr uint16_t Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11, Menu = 0x12,
                   Escape = 0x1B, Space = 0x20, Prior = 0x21, Next = 0x22, End = 0x23, Home = 0x24,
                   Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28, Insert = 0x2D, Delete = 0x2E,
                   F1 = 0x70, F2 = 0x71;
constexpr uint16_t F3 = 0x72, F4 = 0x73, F5 = 0x74, F6 = 0x75, F7 = 0x76, F8 = 0x77, F9 = 0x78, F10 = 0x79,
                   F11 = 0x7A, F12 = 0x7B;
}  // namespace vk

// A popup menu the window shows on a right click: items with a caption and the text of their
// shortcut, each calling OnClick with its own caption. The window builds its platform menu from
// the items each time it shows the menu, so the items may change in between.
struct TMenuItem {
  std::string Caption;
  std::string ShortCut;
  std::function<void(const std::string& caption)> OnClick;
};

class TPopupMenu {
public:
  std::vector<TMenuItem> Items;
  // Runs the item's OnClick; nothing for an index out of range or an item without handler.
  void Click(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= Items.size()) return;
    const TMenuItem& item = Items[static_cast<size_t>(index)];
    if (item.OnClick) item.OnClick(item.Caption);
  }
};

class IWindowHost {
public:
  virtual ~IWindowHost() = default;

  // The client area in pixels, scroll bars excluded.
  virtual int32_t ClientWidth() const = 0;
  virtual int32_t ClientHeight() const = 0;
  // Marks a client rectangle for repainting; the paint arrives later through IWindowClient::Paint.
  virtual void Invalidate(const TRect& rect) = 0;
  virtual void InvalidateAll() = 0;
  // Moves the shown content by whole pixels (positive dx moves it right) and invalidates what
  // comes into view.
  virtual void ScrollContent(int32_t dx, int32_t dy) = 0;
  virtual void SetScrollBar(TScrollBarKind kind, const TScrollBarInfo& info) = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // While captured, mouse events keep coming to this window when the mouse leaves it.
  virtual void SetMouseCapture(bool capture) = 0;
  virtual void SetFocus() = 0;
  virtual bool Focused() const = 0;
  // Runs pending paints and events (a long job keeping the window alive); may do nothing.
  virtual void ProcessPendingWork() = 0;

  // The whole window in pixels, scroll bars included.
  virtual int32_t WindowWidth() const = 0;
  virtual int32_t WindowHeight() const = 0;
  // The modifier keys held at this moment (ssShift, ssCtrl, ssAlt), whatever the last event said.
  virtual TShiftState KeyboardState() const = 0;
  // Where the mouse pointer is now, in client pixels (outside the client too).
  virtual TPoint CursorPos() const = 0;
  // Draws onto the pixels shown now, outside the paint cycle (XOR feedback): draw gets a canvas
  // over the window's current pixels clipped to bounds and the client, and the result shows at
  // once. Pending paints stay pending.
  virtual void DrawDirect(const TRect& bounds, const std::function<void(TCanvas&)>& draw) = 0;
  // Runs the pending paints now.
  virtual void PaintNow() = 0;
  // Shows the hint window with text at the client point at (its top-left corner), at most half
  // the screen wide, in the colour given (0x00BBGGRR); replaces a hint shown already.
  virtual void ShowHint(const std::string& text, const TPoint& at, TdtpColor color) = 0;
  // Releases the hint window; safe when none is shown.
  virtual void HideHint() = 0;
  // Starts the platform's drag-and-drop of the window, carrying text.
  virtual void StartDragDrop(const std::string& text) = 0;
};

// What a window forwards to the document it shows.
class IWindowClient {
public:
  virtual ~IWindowClient() = default;

  // Draws the client rectangle clip onto canvas (whose pixel (0, 0) is the client's top-left).
  virtual void Paint(TCanvas& canvas, const TRect& clip) = 0;
  virtual void Resized() = 0;
  virtual void Scroll(TScrollBarKind kind, TScrollRequest request, int32_t position) = 0;
  virtual void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) = 0;
  virtual void MouseMove(TShiftState shift, int32_t x, int32_t y) = 0;
  virtual void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) = 0;
  virtual void DoubleClick(TShiftState shift, int32_t x, int32_t y) = 0;
  // delta in eighths of a degree, as wheels report it (120 a notch); true when handled.
  virtual bool MouseWheel(TShiftState shift, int32_t delta, int32_t x, int32_t y) = 0;
  // key is a virtual-key number; KeyPress carries the typed character.
  virtual void KeyDown(uint16_t key, TShiftState shift) = 0;
  virtual void KeyPress(char16_t ch) = 0;
  virtual void KeyUp(uint16_t key, TShiftState shift) = 0;
  virtual void FocusChanged(bool focused) = 0;
  // The menu a right click shows now (after its MouseUp); null shows none. The menu stays the
  // client's.
  virtual TPopupMenu* CurrentPopupMenu() { return nullptr; }
  // Whether a key the platform would use for moving the dialog focus (arrows, Tab, Return,
  // Escape) should arrive as key events instead.
  virtual bool WantsSpecialKey(uint16_t key) {
    (void)key;
    return false;
  }
};

}  // namespace sw
