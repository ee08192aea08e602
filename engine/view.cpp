// The document as a window: the mapping between view millimetres and window pixels (zoom and
// scroll position), the placement of the current page for the two view styles, the rulers, and
// the window's events.
#include <algorithm>
#include <cmath>

#include "base/numeric.h"
#include "engine/document.h"
#include "platform/canvas.h"

namespace sw {

namespace {

// Pixels between the canvas edge and the page in the print-layout view.
constexpr double kLayoutGap = 10;

bool IsUsableDpm(double dpm) { return std::isfinite(dpm) && dpm > 0 && dpm <= 1e6; }

}  // namespace

void TdtpDocument::SetWindowHost(IWindowHost* host) {
  host_ = host;
  SetScrollHost(host);
  if (host) {
    lastWidth_ = 0;
    Resized();
  }
}

// --- Resolutions ---

void TdtpDocument::SetScreenDpm(double dpm) {
  if (!IsUsableDpm(dpm) || dpm == screenDpm_) return;
  screenDpm_ = dpm;
  if (RenderAtScreenRes) SetRenderDpm(dpm);
  if (!IsPrinting()) InvalidateWindow();
}

void TdtpDocument::SetRenderDpm(double dpm) {
  if (!IsUsableDpm(dpm) || dpm == renderDpm_) return;
  renderDpm_ = dpm;
  if (TdtpPage* page = CurrentPage()) {
    page->FreeCaches();
    page->Refresh();
  }
}

void TdtpDocument::SetRenderAtScreenRes(bool value) {
  if (value == RenderAtScreenRes) return;
  RenderAtScreenRes = value;
  SetRenderDpm(screenDpm_);
}

// --- Placement and zoom ---

void TdtpDocument::UpdateScrollRange() {
  TdtpPage* page = CurrentPage();
  if (!page || inScrollRange_) return;
  inScrollRange_ = true;
  try {
    const double dpm = screenDpm_;
    const bool layout = ViewStyle == vsPrintLayout;
    // The size of the page's BoundsInParent, from its own size in double precision: the page's
    // position would only cost digits.
    const double w = static_cast<double>(page->DocWidth()) +
                     (layout ? static_cast<double>(page->EffectiveCurbLeft()) + page->EffectiveCurbRight() : 0.0);
    const double h = static_cast<double>(page->DocHeight()) +
                     (layout ? static_cast<double>(page->EffectiveCurbTop()) + page->EffectiveCurbBottom() : 0.0);
    const double c = std::abs(page->Cos()), s = std::abs(page->Sin());
    const double bw = c * w + s * h, bh = s * w + c * h;
    if (layout) {
      // The page and its shadow curbs, 10 pixels from every canvas edge.
      page->SetOrigin(static_cast<float>(kLayoutGap / dpm), static_cast<float>(kLayoutGap / dpm));
      SetRangeAndPosition(0, 0, bw * dpm + 2 * kLayoutGap, bh * dpm + 2 * kLayoutGap);
    } else {
      page->SetOrigin(0, 0);
      SetRangeAndPosition(0, 0, bw * dpm, bh * dpm);
    }
    // The resolution may have changed while the range did not.
    UpdateRulers();
  } catch (...) {
    inScrollRange_ = false;
    throw;
  }
  inScrollRange_ = false;
}

void TdtpDocument::FitWidth() {
  TdtpPage* page = CurrentPage();
  if (!page) return;
  const bool layout = ViewStyle == vsPrintLayout;
  const double width = layout ? static_cast<double>(page->EffectiveCurbLeft()) + page->DocWidth() +
                                    page->EffectiveCurbRight()
                              : static_cast<double>(page->DocWidth());
  const int32_t margin = layout ? 22 : 2;
  HideScrollBars();
  const int32_t w = ClientWidth();
  SetScreenDpm((w - margin) / width);
  UpdateScrollRange();
  // A scroll bar that appeared took client width; fit to what is left.
  if (ClientWidth() < w) {
    SetScreenDpm((ClientWidth() - margin) / width);
    UpdateScrollRange();
  }
}

void TdtpDocument::FitPage() {
  TdtpPage* page = CurrentPage();
  if (!page) return;
  const int32_t margin = ViewStyle == vsPrintLayout ? 23 : 1;
  // The second pass sees the client without the bars the first one may have left.
  for (int pass = 0; pass < 2; ++pass) {
    HideScrollBars();
    const double byWidth = (ClientWidth() - margin) / static_cast<double>(page->DocWidth());
    const double byHeight = (ClientHeight() - margin) / static_cast<double>(page->DocHeight());
    SetScreenDpm(std::min(byWidth, byHeight));
    UpdateScrollRange();
  }
  // Stored directly: the ZoomPercent setter would fit the width again.
  const double zoom = page->DocWidth() * screenDpm_ / (ClientWidth() - margin) * 100;
  if (page->DocWidth() > 0 && std::isfinite(zoom) && zoom > 0) ZoomPercent = zoom;
}

void TdtpDocument::ZoomBy(double factor) {
  const double dpm = factor * screenDpm_;
  if (!IsUsableDpm(dpm)) return;
  const int32_t cw = ClientWidth(), ch = ClientHeight();
  const double x0 = XPosition(), y0 = YPosition(), rx = XRange(), ry = YRange();
  SetScreenDpm(dpm);
  // The canvas point at the window centre stays there; the top-left corner stays shown.
  double x1 = 0, y1 = 0;
  if (x0 != 0 || y0 != 0) {
    x1 = factor * (cw / 2.0 + x0) - cw / 2.0;
    y1 = factor * (ch / 2.0 + y0) - ch / 2.0;
  }
  SetRangeAndPosition(x1, y1, factor * rx, factor * ry);
  InvalidateWindow();
}

void TdtpDocument::SetZoomPercent(double percent) {
  if (!AutoWidth || !std::isfinite(percent) || percent <= 0) return;
  ZoomPercent = percent;
  FitWidth();
  ZoomBy(percent / 100);
}

void TdtpDocument::ResetZoom() {
  ZoomPercent = 100;
  FitWidth();
}

void TdtpDocument::SetViewStyle(TdtpViewStyleType value) {
  if (value == ViewStyle) return;
  ViewStyle = value;
  UpdateScrollRange();
  InvalidateWindow();
}

void TdtpDocument::SetQuality(uint8_t value) {
  if (value == Quality) return;
  Quality = value;
  InvalidateWindow();
}

void TdtpDocument::SetHelperMethod(TdtpHelperMethodType value) {
  if (value == HelperMethod) return;
  HelperMethod = value;
  InvalidateWindow();
}

void TdtpDocument::SetThumbnailWidth(int32_t value) {
  if (value == ThumbnailWidth) return;
  ThumbnailWidth = value;
  for (const auto& page : pages_) page->SetChanged(true);
}

void TdtpDocument::SetThumbnailHeight(int32_t value) {
  if (value == ThumbnailHeight) return;
  ThumbnailHeight = value;
  for (const auto& page : pages_) page->SetChanged(true);
}

// --- Mapping ---

TFloatPoint TdtpDocument::ScreenToView(const TFloatPoint& p) const {
  return {static_cast<float>(p.X / screenDpm_ + WindowLeft), static_cast<float>(p.Y / screenDpm_ + WindowTop)};
}

TFloatPoint TdtpDocument::ViewToScreen(const TFloatPoint& p) const {
  return {static_cast<float>((p.X - WindowLeft) * screenDpm_), static_cast<float>((p.Y - WindowTop) * screenDpm_)};
}

void TdtpDocument::ScrollChanged() {
  WindowLeft = XPosition() / screenDpm_;
  WindowTop = YPosition() / screenDpm_;
  UpdateRulers();
  if (OnUpdateScrollPosition) OnUpdateScrollPosition(this);
}

// --- Rulers ---

void TdtpDocument::SetRulerTop(IRuler* ruler) {
  rulerTop_ = ruler;
  UpdateRulers();
}

void TdtpDocument::SetRulerLeft(IRuler* ruler) {
  rulerLeft_ = ruler;
  UpdateRulers();
}

void TdtpDocument::SetRulerCorner(IRulerCorner* corner) {
  rulerCorner_ = corner;
  UpdateRulers();
}

void TdtpDocument::SetRulerUnits(TRulerUnit value) {
  rulerUnits_ = value;
  UpdateRulers();
}

void TdtpDocument::UpdateRulers() {
  TdtpPage* page = CurrentPage();
  if (!page || (!rulerTop_ && !rulerLeft_ && !rulerCorner_)) return;
  // The rulers count from the page's corner, wherever the page lies in the window.
  const TFloatPoint p = page->ScreenToLocal({0, 0});
  const auto dpm = static_cast<float>(screenDpm_);
  if (rulerTop_) {
    rulerTop_->SetUnits(rulerUnits_);
    rulerTop_->SetOffset(p.X);
    rulerTop_->SetScreenDpm(dpm);
  }
  if (rulerLeft_) {
    rulerLeft_->SetUnits(rulerUnits_);
    rulerLeft_->SetOffset(p.Y);
    rulerLeft_->SetScreenDpm(dpm);
  }
  if (rulerCorner_) rulerCorner_->SetUnits(rulerUnits_);
}

// --- Window events ---

void TdtpDocument::Paint(TCanvas& canvas, const TRect& clip) {
  if (IsPrinting() || IsLoading()) return;
  const TRect area = IntersectRect(clip, canvas.ClipRect());
  if (area.IsEmpty()) return;
  const TRect old = canvas.ClipRect();
  canvas.SetClipRect(area);
  try {
    PaintWindow(canvas);
    // The XOR feedback shown now was painted over: it goes back on.
    RedrawFeedback(canvas);
  } catch (...) {
    canvas.SetClipRect(old);
    throw;
  }
  canvas.SetClipRect(old);
}

void TdtpDocument::Resized() {
  // The bars' own showing and hiding resizes the client too; whoever changes them reads the
  // new size itself.
  if (ChangingScrollBars()) return;
  const int32_t width = ClientWidth();
  if (width != lastWidth_) {
    lastWidth_ = width;
    if (AutoWidth && ZoomPercent == 100) SetZoomPercent(100);
    // A bar the fit showed may have narrowed the client; that is not a resize of the window.
    lastWidth_ = ClientWidth();
  }
  HandleResize();
}

void TdtpDocument::Scroll(TScrollBarKind kind, TScrollRequest request, int32_t position) {
  HandleScroll(kind, request, position);
}

void TdtpDocument::FocusChanged(bool focused) { (void)focused; }

}  // namespace sw
