#include "engine/scroll_box.h"

#include <algorithm>
#include <cmath>

#include "base/numeric.h"

namespace sw {

namespace {

double FiniteOrZero(double v) { return std::isfinite(v) ? v : 0.0; }

// Counts a nesting level for as long as it lives, also when a bar change raises.
class TDepthScope {
public:
  explicit TDepthScope(int32_t& depth) : depth_(depth) { ++depth_; }
  ~TDepthScope() { --depth_; }
  TDepthScope(const TDepthScope&) = delete;
  TDepthScope& operator=(const TDepthScope&) = delete;

private:
  int32_t& depth_;
};

}  // namespace

void TVirtScrollBox::SetAutoScroll(bool value) {
  if (value == autoScroll_) return;
  autoScroll_ = value;
  if (value) {
    UpdateScrollBars();
    return;
  }
  HideScrollBars();
  if (xPos_ != 0 || yPos_ != 0) {
    xPos_ = yPos_ = 0;
    ScrollChanged();
    if (scrollHost_) scrollHost_->InvalidateAll();
  }
}

double TVirtScrollBox::MaxPosition(double range, int32_t client) const { return std::max(0.0, range - client); }

void TVirtScrollBox::SetRangeAndPosition(double x, double y, double xRange, double yRange) {
  x = FiniteOrZero(x);
  y = FiniteOrZero(y);
  xRange = std::max(0.0, FiniteOrZero(xRange));
  yRange = std::max(0.0, FiniteOrZero(yRange));
  if (x == xPos_ && y == yPos_ && xRange == xRange_ && yRange == yRange_) return;
  xPos_ = x;
  yPos_ = y;
  xRange_ = xRange;
  yRange_ = yRange;
  UpdateScrollBars();
  ScrollChanged();
}

void TVirtScrollBox::SetBar(TScrollBarKind kind, double range, int32_t client, double position) {
  TScrollBarInfo info;
  info.Min = 0;
  info.Max = Round(range * scale_);
  info.Page = Round(client * scale_);
  info.Position = Round(position * scale_);
  info.SmallStep = std::max(1, Round(kLineStep * scale_));
  // A bar takes client space only while there is something to scroll.
  info.Visible = range > client;
  TDepthScope scope(barDepth_);
  scrollHost_->SetScrollBar(kind, info);
}

void TVirtScrollBox::UpdateScrollBars() {
  if (!scrollHost_ || !autoScroll_) return;
  if (barDepth_ > 0) {
    // A bar showing or hiding resized the client; the pass running now goes round once more.
    barsAgain_ = true;
    return;
  }
  // Each pass can only add bars (a bar shrinks the other direction's client), so three passes
  // settle any combination.
  for (int pass = 0; pass < 3; ++pass) {
    barsAgain_ = false;
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    const double largest = std::max(xRange_, yRange_);
    scale_ = largest > kMaxBarRange ? kMaxBarRange / largest : 1.0;
    const double x = std::clamp(xPos_, 0.0, MaxPosition(xRange_, cw));
    const double y = std::clamp(yPos_, 0.0, MaxPosition(yRange_, ch));
    if (x != xPos_ || y != yPos_) {
      xPos_ = x;
      yPos_ = y;
      ScrollChanged();
      scrollHost_->InvalidateAll();
    }
    SetBar(TScrollBarKind::Horizontal, xRange_, cw, xPos_);
    SetBar(TScrollBarKind::Vertical, yRange_, ch, yPos_);
    if (!barsAgain_ && ClientWidth() == cw && ClientHeight() == ch) break;
  }
}

void TVirtScrollBox::HideScrollBars() {
  if (!scrollHost_) return;
  TDepthScope scope(barDepth_);
  TScrollBarInfo none;
  scrollHost_->SetScrollBar(TScrollBarKind::Horizontal, none);
  scrollHost_->SetScrollBar(TScrollBarKind::Vertical, none);
}

int32_t TVirtScrollBox::MoveTo(double& position, double range, int32_t client, double target) {
  const double clamped = std::clamp(FiniteOrZero(target), 0.0, MaxPosition(range, client));
  // The shown pixels move by whole pixels, so the position moves by exactly as many; otherwise
  // the newly painted strip would be offset from the moved content by the fraction.
  const int32_t moved = Round(clamped - position);
  position += moved;
  return moved;
}

void TVirtScrollBox::ScrollBy(int32_t& dx, int32_t& dy) {
  const int32_t cw = ClientWidth(), ch = ClientHeight();
  dx = MoveTo(xPos_, xRange_, cw, xPos_ + dx);
  dy = MoveTo(yPos_, yRange_, ch, yPos_ + dy);
  if (dx == 0 && dy == 0) return;
  ScrollChanged();
  if (scrollHost_) {
    scrollHost_->ScrollContent(-dx, -dy);
    UpdateScrollBars();
  }
}

void TVirtScrollBox::HandleScroll(TScrollBarKind kind, TScrollRequest request, int32_t position) {
  if (!autoScroll_) return;
  const bool horizontal = kind == TScrollBarKind::Horizontal;
  double& pos = horizontal ? xPos_ : yPos_;
  const double range = horizontal ? xRange_ : yRange_;
  const int32_t client = horizontal ? ClientWidth() : ClientHeight();
  double target = pos;
  switch (request) {
    case TScrollRequest::LineUp: target = pos - kLineStep; break;
    case TScrollRequest::LineDown: target = pos + kLineStep; break;
    case TScrollRequest::PageUp: target = pos - client; break;
    case TScrollRequest::PageDown: target = pos + client; break;
    case TScrollRequest::ThumbTrack:
      if (!TrackThumb) return;
      target = position / scale_;
      break;
    case TScrollRequest::ThumbPosition: target = position / scale_; break;
    case TScrollRequest::Top: target = 0; break;
    case TScrollRequest::Bottom: target = range - client; break;
    case TScrollRequest::EndScroll: return;
  }
  const int32_t moved = MoveTo(pos, range, client, target);
  if (moved == 0) return;
  ScrollChanged();
  if (!scrollHost_) return;
  if (horizontal) {
    scrollHost_->ScrollContent(-moved, 0);
  } else {
    scrollHost_->ScrollContent(0, -moved);
  }
  SetBar(kind, range, client, pos);
}

}  // namespace sw
