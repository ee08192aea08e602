// TVirtScrollBox: a window over a virtual canvas larger than itself. It keeps the canvas size
// (range) and the canvas pixel at the window's top-left corner (position) in both directions,
// drives the two scroll bars of an IWindowHost, answers the bars' scroll requests and scrolls the
// shown content by whole pixels. Derived classes hear every position change through ScrollChanged.
#pragma once

#include <cstdint>

#include "platform/window_host.h"

namespace sw {

class TVirtScrollBox {
public:
  // Ranges above this many pixels are scaled down for the scroll bars.
  static constexpr double kMaxBarRange = 30000;
  // Pixels a line scroll moves.
  static constexpr int32_t kLineStep = 9;

  TVirtScrollBox() = default;
  virtual ~TVirtScrollBox() = default;
  TVirtScrollBox(const TVirtScrollBox&) = delete;
  TVirtScrollBox& operator=(const TVirtScrollBox&) = delete;

  // The window whose bars and content this box drives; null (the default) keeps the numbers only.
  void SetScrollHost(IWindowHost* host) { scrollHost_ = host; }
  IWindowHost* ScrollHost() const { return scrollHost_; }

  // Client size in pixels; 0 without host.
  int32_t ClientWidth() const { return scrollHost_ ? scrollHost_->ClientWidth() : 0; }
  int32_t ClientHeight() const { return scrollHost_ ? scrollHost_->ClientHeight() : 0; }

  double XPosition() const { return xPos_; }
  double YPosition() const { return yPos_; }
  double XRange() const { return xRange_; }
  double YRange() const { return yRange_; }
  // Canvas pixels per scroll-bar unit: 1, or less for ranges above kMaxBarRange.
  double BarScale() const { return scale_; }

  bool AutoScroll() const { return autoScroll_; }
  // On: the bars are updated. Off: the bars disappear and both positions return to 0.
  void SetAutoScroll(bool value);
  // Scroll while the thumb is dragged (true), or only when it is released.
  bool TrackThumb = true;

  // Stores ranges and positions and updates the bars; nothing when all four are unchanged.
  // Non-finite values count as 0.
  void SetRangeAndPosition(double x, double y, double xRange, double yRange);
  // Scrolls by whole pixels within the range; dx and dy return the distances actually scrolled
  // (0, 0 when nothing moved).
  void ScrollBy(int32_t& dx, int32_t& dy);
  // Clamps the positions to the range and sets both bars (only with a host and AutoScroll).
  void UpdateScrollBars();
  // Both bars get range 0 and position 0; the stored positions stay.
  void HideScrollBars();
  // Answers a scroll-bar request (ignored without AutoScroll); position is in bar units.
  void HandleScroll(TScrollBarKind kind, TScrollRequest request, int32_t position);
  // The window changed its size.
  void HandleResize() { UpdateScrollBars(); }
  // True while this box is showing or hiding bars; a resize reported meanwhile is the bars' own.
  bool ChangingScrollBars() const { return barDepth_ > 0; }

protected:
  // Runs after every change of a position.
  virtual void ScrollChanged() {}

private:
  // Moves the position of one axis to target (clamped) in whole pixels of the shown content;
  // returns the pixels moved.
  int32_t MoveTo(double& position, double range, int32_t client, double target);
  double MaxPosition(double range, int32_t client) const;
  void SetBar(TScrollBarKind kind, double range, int32_t client, double position);

  IWindowHost* scrollHost_ = nullptr;
  bool autoScroll_ = true;
  double xPos_ = 0, yPos_ = 0;
  double xRange_ = 0, yRange_ = 0;
  double scale_ = 1;
  int32_t barDepth_ = 0;
  bool barsAgain_ = false;
};

}  // namespace sw
