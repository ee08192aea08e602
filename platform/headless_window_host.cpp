#include "platform/headless_window_host.h"

#include <algorithm>

#include "base/exception.h"
#include "platform/bitmap_canvas.h"

namespace sw {

namespace {

void CheckSize(int32_t width, int32_t height) {
  if (width < 0 || height < 0 || width > THeadlessWindowHost::kMaxSize || height > THeadlessWindowHost::kMaxSize) {
    RaiseError(Format("Invalid window size %d x %d", width, height));
  }
}

// The parts of r outside cut (up to four), appended to out.
void SubtractRect(const TRect& r, const TRect& cut, std::vector<TRect>& out) {
  const TRect both = IntersectRect(r, cut);
  if (both.IsEmpty()) {
    out.push_back(r);
    return;
  }
  if (r.Top < both.Top) out.push_back({r.Left, r.Top, r.Right, both.Top});
  if (both.Bottom < r.Bottom) out.push_back({r.Left, both.Bottom, r.Right, r.Bottom});
  if (r.Left < both.Left) out.push_back({r.Left, both.Top, both.Left, both.Bottom});
  if (both.Right < r.Right) out.push_back({both.Right, both.Top, r.Right, both.Bottom});
}

TRect Offset(const TRect& r, int32_t dx, int32_t dy) {
  // Far scrolls only need to move rectangles off the client; clamping keeps the sums in range.
  auto move = [](int32_t v, int32_t d) {
    return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(v) + d, INT32_MIN, INT32_MAX));
  };
  return {move(r.Left, dx), move(r.Top, dy), move(r.Right, dx), move(r.Bottom, dy)};
}

}  // namespace

void ScrollPixels(TBitmap32& bitmap, int32_t dx, int32_t dy) {
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  if ((dx == 0 && dy == 0) || w == 0 || h == 0) return;
  // Pixels move from (x - dx, y - dy) to (x, y); rows are visited away from the direction of
  // travel so that no source row is overwritten before it is read.
  const int64_t adx = dx < 0 ? -static_cast<int64_t>(dx) : dx, ady = dy < 0 ? -static_cast<int64_t>(dy) : dy;
  if (adx < w && ady < h) {
    const int32_t cols = w - static_cast<int32_t>(adx);
    const int32_t srcX = dx > 0 ? 0 : static_cast<int32_t>(adx), dstX = dx > 0 ? dx : 0;
    auto moveRow = [&](int32_t y) {
      const TColor32* src = bitmap.ScanLine(y - dy) + srcX;
      std::copy_n(src, cols, bitmap.ScanLine(y) + dstX);
    };
    if (dy > 0) {
      for (int32_t y = h - 1; y >= dy; --y) moveRow(y);
    } else if (dy < 0) {
      for (int32_t y = 0; y < h + dy; ++y) moveRow(y);
    } else {
      // Within a row the ranges overlap: copy from the far end when moving right.
      for (int32_t y = 0; y < h; ++y) {
        TColor32* row = bitmap.ScanLine(y);
        if (dx > 0) {
          std::copy_backward(row + srcX, row + srcX + cols, row + dstX + cols);
        } else {
          std::copy(row + srcX, row + srcX + cols, row + dstX);
        }
      }
    }
  }
  bitmap.Changed();
}

THeadlessWindowHost::THeadlessWindowHost(int32_t width, int32_t height) {
  CheckSize(width, height);
  width_ = width;
  height_ = height;
  screen_.SetSize(width, height);
  screen_.Clear(kUnpainted);
  AddInvalid(ClientRect());
}

int32_t THeadlessWindowHost::ClientWidth() const {
  return std::max(0, width_ - (bars_[static_cast<int>(TScrollBarKind::Vertical)].Visible ? barThickness_ : 0));
}

int32_t THeadlessWindowHost::ClientHeight() const {
  return std::max(0, height_ - (bars_[static_cast<int>(TScrollBarKind::Horizontal)].Visible ? barThickness_ : 0));
}

void THeadlessWindowHost::SetSize(int32_t width, int32_t height) {
  CheckSize(width, height);
  const int32_t oldWidth = ClientWidth(), oldHeight = ClientHeight();
  width_ = width;
  height_ = height;
  ClientSizeChanged(oldWidth, oldHeight);
}

void THeadlessWindowHost::SetScrollBarThickness(int32_t pixels) {
  if (pixels < 0 || pixels > kMaxSize) RaiseError(Format("Invalid scroll bar thickness %d", pixels));
  const int32_t oldWidth = ClientWidth(), oldHeight = ClientHeight();
  barThickness_ = pixels;
  ClientSizeChanged(oldWidth, oldHeight);
}

void THeadlessWindowHost::ClientSizeChanged(int32_t oldWidth, int32_t oldHeight) {
  const int32_t w = ClientWidth(), h = ClientHeight();
  if (w == oldWidth && h == oldHeight) return;
  TBitmap32 resized;
  resized.SetSize(w, h);
  resized.Clear(kUnpainted);
  const int32_t keepW = std::min(w, oldWidth), keepH = std::min(h, oldHeight);
  for (int32_t y = 0; y < keepH; ++y) std::copy_n(screen_.ScanLine(y), keepW, resized.ScanLine(y));
  screen_.Assign(resized);
  std::vector<TRect> kept;
  for (const TRect& r : invalid_) {
    const TRect cut = IntersectRect(r, ClientRect());
    if (!cut.IsEmpty()) kept.push_back(cut);
  }
  invalid_ = std::move(kept);
  InvalidateAll();
  if (client_) client_->Resized();
}

void THeadlessWindowHost::AddInvalid(const TRect& rect) {
  const TRect r = IntersectRect(rect, ClientRect());
  if (!r.IsEmpty()) invalid_.push_back(r);
}

void THeadlessWindowHost::Invalidate(const TRect& rect) {
  invalidateLog_.push_back(rect);
  AddInvalid(rect);
}

void THeadlessWindowHost::InvalidateAll() {
  invalidateLog_.push_back(ClientRect());
  // One rectangle for the whole client replaces whatever was pending.
  invalid_.clear();
  AddInvalid(ClientRect());
}

void THeadlessWindowHost::ScrollContent(int32_t dx, int32_t dy) {
  scrollLog_.push_back({dx, dy});
  const int32_t w = ClientWidth(), h = ClientHeight();
  if ((dx == 0 && dy == 0) || w == 0 || h == 0) return;
  ScrollPixels(screen_, dx, dy);
  const int64_t adx = dx < 0 ? -static_cast<int64_t>(dx) : dx, ady = dy < 0 ? -static_cast<int64_t>(dy) : dy;
  // Pending rectangles travel with the content; what comes into view needs a paint.
  std::vector<TRect> moved;
  for (const TRect& r : invalid_) {
    const TRect m = IntersectRect(Offset(r, dx, dy), ClientRect());
    if (!m.IsEmpty()) moved.push_back(m);
  }
  invalid_ = std::move(moved);
  const int32_t ex = static_cast<int32_t>(std::min<int64_t>(adx, w)), ey = static_cast<int32_t>(std::min<int64_t>(ady, h));
  if (dx > 0) AddInvalid({0, 0, ex, h});
  if (dx < 0) AddInvalid({w - ex, 0, w, h});
  if (dy > 0) AddInvalid({0, 0, w, ey});
  if (dy < 0) AddInvalid({0, h - ey, w, h});
  screen_.Changed();
}

void THeadlessWindowHost::SetScrollBar(TScrollBarKind kind, const TScrollBarInfo& info) {
  const int index = static_cast<int>(kind);
  ++barSets_[index];
  const int32_t oldWidth = ClientWidth(), oldHeight = ClientHeight();
  bars_[index] = info;
  ClientSizeChanged(oldWidth, oldHeight);
}

void THeadlessWindowHost::SetFocus() {
  if (focused_) return;
  focused_ = true;
  if (client_) client_->FocusChanged(true);
}

void THeadlessWindowHost::KillFocus() {
  if (!focused_) return;
  focused_ = false;
  if (client_) client_->FocusChanged(false);
}

const TBitmap32& THeadlessWindowHost::Paint(const TRect& clip) {
  const TRect c = IntersectRect(clip, ClientRect());
  if (c.IsEmpty()) return screen_;
  // The rectangle is valid from here on, as at the start of a window system's paint: whatever the
  // client invalidates while painting stays pending.
  std::vector<TRect> rest;
  for (const TRect& r : invalid_) SubtractRect(r, c, rest);
  invalid_ = std::move(rest);
  if (!client_) return screen_;
  ++paintCount_;
  TBitmapCanvas canvas(screen_);
  canvas.SetClipRect(c);
  client_->Paint(canvas, c);
  return screen_;
}

const TBitmap32& THeadlessWindowHost::PaintInvalidated() {
  // Only what is pending now: a client invalidating during its paint must not loop forever.
  const std::vector<TRect> pending = invalid_;
  for (const TRect& r : pending) Paint(r);
  return screen_;
}

void THeadlessWindowHost::ClearLog() {
  invalidateLog_.clear();
  scrollLog_.clear();
  cursorLog_.clear();
}

void THeadlessWindowHost::DrawDirect(const TRect& bounds, const std::function<void(TCanvas&)>& draw) {
  ++directDraws_;
  const TRect c = IntersectRect(bounds, ClientRect());
  if (c.IsEmpty() || !draw) return;
  TBitmapCanvas canvas(screen_);
  canvas.SetClipRect(c);
  draw(canvas);
  screen_.Changed();
}

void THeadlessWindowHost::ShowHint(const std::string& text, const TPoint& at, TdtpColor color) {
  hintShown_ = true;
  hintText_ = text;
  hintPoint_ = at;
  hintColor_ = color;
  ++hintShows_;
}

namespace {

TShiftState ButtonBit(TMouseButton button) {
  switch (button) {
    case TMouseButton::mbLeft: return ssLeft;
    case TMouseButton::mbRight: return ssRight;
    case TMouseButton::mbMiddle: return ssMiddle;
  }
  return 0;
}

}  // namespace

void THeadlessWindowHost::Press(TMouseButton button, int32_t x, int32_t y) {
  // The window hears the pointer arrive before the button goes down.
  if (pointer_.X != x || pointer_.Y != y) Move(x, y);
  buttons_ = static_cast<TShiftState>(buttons_ | ButtonBit(button));
  if (client_) client_->MouseDown(button, static_cast<TShiftState>(keys_ | buttons_), x, y);
}

void THeadlessWindowHost::Move(int32_t x, int32_t y) {
  pointer_ = {x, y};
  if (client_) client_->MouseMove(static_cast<TShiftState>(keys_ | buttons_), x, y);
}

void THeadlessWindowHost::Release(TMouseButton button, int32_t x, int32_t y) {
  if (pointer_.X != x || pointer_.Y != y) Move(x, y);
  buttons_ = static_cast<TShiftState>(buttons_ & ~ButtonBit(button));
  if (!client_) return;
  client_->MouseUp(button, static_cast<TShiftState>(keys_ | buttons_), x, y);
  if (button == TMouseButton::mbRight) {
    popup_ = client_->CurrentPopupMenu();
    if (popup_) ++popupShows_;
  }
}

void THeadlessWindowHost::Drag(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t steps) {
  Press(TMouseButton::mbLeft, x0, y0);
  const int32_t n = std::max(1, steps);
  for (int32_t i = 1; i <= n; ++i) {
    Move(static_cast<int32_t>(x0 + static_cast<int64_t>(x1 - x0) * i / n),
         static_cast<int32_t>(y0 + static_cast<int64_t>(y1 - y0) * i / n));
  }
  Release(TMouseButton::mbLeft, x1, y1);
}

void THeadlessWindowHost::DoubleClickAt(int32_t x, int32_t y) {
  Press(TMouseButton::mbLeft, x, y);
  Release(TMouseButton::mbLeft, x, y);
  pointer_ = {x, y};
  buttons_ = static_cast<TShiftState>(buttons_ | ssLeft);
  if (client_) {
    const auto shift = static_cast<TShiftState>(keys_ | buttons_ | ssDouble);
    client_->DoubleClick(shift, x, y);
    client_->MouseDown(TMouseButton::mbLeft, shift, x, y);
  }
  Release(TMouseButton::mbLeft, x, y);
}

void THeadlessWindowHost::Type(uint16_t key, char16_t ch) {
  if (!client_) return;
  client_->KeyDown(key, keys_);
  if (ch != 0) client_->KeyPress(ch);
  client_->KeyUp(key, keys_);
}

}  // namespace sw
