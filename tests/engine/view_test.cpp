// The document as a window: millimetre-to-pixel mapping, page placement, zoom and fit, the
// scroll box with its bars, rulers and window events, through the headless window host.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/document.h"
#include "platform/headless_ruler.h"
#include "platform/headless_window_host.h"

namespace sw {
namespace {

constexpr double kDpm150 = 150.0 / 25.4;
constexpr auto H = TScrollBarKind::Horizontal;
constexpr auto V = TScrollBarKind::Vertical;

// A document shown in a headless window of the given size.
struct TWindowed {
  TdtpDocument doc;
  THeadlessWindowHost host;
  TWindowed(int32_t width, int32_t height, bool autoWidth = true) : host(width, height) {
    doc.AutoWidth = autoWidth;
    host.SetClient(&doc);
    doc.SetWindowHost(&host);
  }
  ~TWindowed() {
    host.SetClient(nullptr);
    doc.SetWindowHost(nullptr);
  }
};

TEST(ViewTest, MappingBetweenMillimetresAndPixels) {
  TWindowed w(400, 300, /*autoWidth=*/false);
  TdtpDocument& doc = w.doc;
  ASSERT_DOUBLE_EQ(doc.ScreenDpm(), kDpm150);
  EXPECT_NEAR(doc.ViewToScreen({10, 0}).X, 59.055, 1e-3);
  EXPECT_NEAR(doc.ScreenToView({59.055f, 0}).X, 10, 1e-4);

  int32_t dx = 59, dy = 0;
  doc.ScrollBy(dx, dy);
  EXPECT_EQ(dx, 59);
  EXPECT_EQ(dy, 0);
  EXPECT_NEAR(doc.WindowLeft, 9.99, 0.005);
  EXPECT_NEAR(doc.ScreenToView({0, 0}).X, doc.WindowLeft, 1e-6);
  // Shapes map through the same window origin.
  const TFloatPoint corner = doc.CurrentPage()->LocalToScreen({0, 0});
  EXPECT_NEAR(corner.X, (doc.CurrentPage()->DocLeft() - doc.WindowLeft) * kDpm150, 1e-3);
  ASSERT_EQ(w.host.ScrollLog().size(), 1u);
  EXPECT_EQ(w.host.ScrollLog()[0], (TPoint{-59, 0}));
}

TEST(ViewTest, PlacesThePageForEachViewStyle) {
  TdtpDocument doc;
  doc.SetScreenDpm(2);
  doc.UpdateScrollRange();
  // Print layout: the page with its 1 mm shadow curbs, 10 pixels from every canvas edge.
  EXPECT_DOUBLE_EQ(doc.XRange(), 442);
  EXPECT_DOUBLE_EQ(doc.YRange(), 616);
  EXPECT_FLOAT_EQ(doc.CurrentPage()->DocLeft(), 5);
  EXPECT_FLOAT_EQ(doc.CurrentPage()->DocTop(), 5);

  doc.SetViewStyle(vsNormal);
  EXPECT_DOUBLE_EQ(doc.XRange(), 420);
  EXPECT_DOUBLE_EQ(doc.YRange(), 594);
  EXPECT_FLOAT_EQ(doc.CurrentPage()->DocLeft(), 0);

  // Resizing the current page follows with the range.
  doc.SetPageWidth(100);
  EXPECT_DOUBLE_EQ(doc.XRange(), 200);
  // No page: nothing to place, nothing changes.
  doc.Clear();
  doc.UpdateScrollRange();
  EXPECT_DOUBLE_EQ(doc.XRange(), 200);
}

TEST(ViewTest, ZoomPercentFitsTheWidthAndZoomsOnlyWithAutoWidth) {
  TWindowed w(500, 400, /*autoWidth=*/false);
  TdtpDocument& doc = w.doc;
  const double before = doc.ScreenDpm();
  doc.SetZoomPercent(200);
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), before);
  EXPECT_DOUBLE_EQ(doc.ZoomPercent, 100);

  doc.AutoWidth = true;
  int32_t dx = 30, dy = 40;
  doc.ScrollBy(dx, dy);
  doc.SetZoomPercent(200);
  // Fitted: (client - 22) / (page + shadow curb); then doubled, showing the top-left corner.
  const double fitted = (500 - 22) / 211.0;
  EXPECT_NEAR(doc.ScreenDpm(), 2 * fitted, 1e-9);
  EXPECT_DOUBLE_EQ(doc.ZoomPercent, 200);
  EXPECT_EQ(doc.XPosition(), 0);
  EXPECT_EQ(doc.YPosition(), 0);
  EXPECT_NEAR(doc.XRange(), 2 * (fitted * 211 + 20), 1e-6);

  doc.ResetZoom();
  EXPECT_NEAR(doc.ScreenDpm(), fitted, 1e-9);
  EXPECT_DOUBLE_EQ(doc.ZoomPercent, 100);
}

TEST(ViewTest, ZoomByKeepsTheWindowCentre) {
  TWindowed w(400, 300, /*autoWidth=*/false);
  TdtpDocument& doc = w.doc;
  int32_t dx = 100, dy = 200;
  doc.ScrollBy(dx, dy);
  const TFloatPoint centre = doc.ScreenToView({200, 150});
  doc.ZoomBy(1.5);
  EXPECT_NEAR(doc.ScreenDpm(), 1.5 * kDpm150, 1e-9);
  const TFloatPoint after = doc.ScreenToView({200, 150});
  EXPECT_NEAR(after.X, centre.X, 1e-3);
  EXPECT_NEAR(after.Y, centre.Y, 1e-3);
}

TEST(ViewTest, FitPageStoresTheMatchingZoom) {
  TWindowed w(300, 200);
  TdtpDocument& doc = w.doc;
  doc.SetViewStyle(vsNormal);
  doc.FitPage();
  EXPECT_NEAR(doc.ScreenDpm(), std::min(299 / 210.0, 199 / 297.0), 1e-9);
  EXPECT_NEAR(doc.ScreenDpm(), 0.670, 5e-4);
  EXPECT_NEAR(doc.ZoomPercent, 47.06, 5e-3);

  doc.SetViewStyle(vsPrintLayout);
  doc.FitPage();
  EXPECT_NEAR(doc.ScreenDpm(), std::min(277 / 210.0, 177 / 297.0), 1e-9);
}

TEST(ViewTest, FitsKeepTheResolutionWhenNoneWouldShow) {
  // A client under 23 pixels, a page of no size and a zero zoom leave the resolution alone.
  TWindowed tiny(20, 20);
  const double before = tiny.doc.ScreenDpm();
  ASSERT_TRUE(std::isfinite(before) && before > 0);
  tiny.doc.FitWidth();
  tiny.doc.FitPage();
  EXPECT_DOUBLE_EQ(tiny.doc.ScreenDpm(), before);

  TWindowed w(400, 300);
  TdtpDocument& doc = w.doc;
  const double fitted = doc.ScreenDpm();
  doc.ZoomBy(0);
  doc.ZoomBy(std::nan(""));
  doc.ZoomBy(-2);
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), fitted);
  doc.SetZoomPercent(0);
  EXPECT_DOUBLE_EQ(doc.ZoomPercent, 100);
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), fitted);

  // A page of no size.
  doc.SetViewStyle(vsNormal);
  doc.CurrentPage()->SetBounds(0, 0, 0, 0);
  ASSERT_EQ(doc.PageWidth(), 0);
  const double now = doc.ScreenDpm();
  doc.FitPage();
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), now);
  doc.FitWidth();
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), now);
  EXPECT_DOUBLE_EQ(doc.ZoomPercent, 100);
}

TEST(ViewTest, ScrollBarsTakeSpaceOnlyWhenScrollingIsPossible) {
  TdtpDocument doc;
  THeadlessWindowHost host(500, 400);
  host.SetScrollBarThickness(16);
  host.SetClient(&doc);
  doc.SetWindowHost(&host);
  // The tall page needs the vertical bar; the width was fitted to what the bar left.
  EXPECT_TRUE(host.ScrollBar(V).Visible);
  EXPECT_FALSE(host.ScrollBar(H).Visible);
  EXPECT_EQ(host.ClientWidth(), 484);
  EXPECT_NEAR(doc.ScreenDpm(), (484 - 22) / 211.0, 1e-9);
  EXPECT_LE(doc.XRange(), host.ClientWidth());
  const TScrollBarInfo bar = host.ScrollBar(V);
  EXPECT_EQ(bar.Max, Round(doc.YRange()));
  EXPECT_EQ(bar.Page, 400);
  EXPECT_EQ(bar.Position, 0);

  // Normal view of a page that fits: no bars at all.
  doc.SetViewStyle(vsNormal);
  doc.FitPage();
  EXPECT_FALSE(host.ScrollBar(V).Visible);
  EXPECT_FALSE(host.ScrollBar(H).Visible);
  EXPECT_EQ(host.ClientWidth(), 500);
  host.SetClient(nullptr);
  doc.SetWindowHost(nullptr);
}

TEST(ViewTest, ScrollRequestsMoveWithinTheRange) {
  TWindowed w(300, 200, /*autoWidth=*/false);
  TdtpDocument& doc = w.doc;
  THeadlessWindowHost& host = w.host;
  const double maxY = doc.YRange() - 200;
  doc.Scroll(V, TScrollRequest::LineDown, 0);
  EXPECT_EQ(doc.YPosition(), 9);
  doc.Scroll(V, TScrollRequest::PageDown, 0);
  EXPECT_EQ(doc.YPosition(), 209);
  doc.Scroll(V, TScrollRequest::LineUp, 0);
  EXPECT_EQ(doc.YPosition(), 200);
  doc.Scroll(V, TScrollRequest::PageUp, 0);
  doc.Scroll(V, TScrollRequest::PageUp, 0);
  EXPECT_EQ(doc.YPosition(), 0);
  doc.Scroll(V, TScrollRequest::Bottom, 0);
  EXPECT_NEAR(doc.YPosition(), maxY, 0.5);
  EXPECT_EQ(host.ScrollBar(V).Position, Round(doc.YPosition()));
  doc.Scroll(V, TScrollRequest::LineDown, 0);
  EXPECT_NEAR(doc.YPosition(), maxY, 0.5);
  doc.Scroll(V, TScrollRequest::Top, 0);
  EXPECT_EQ(doc.YPosition(), 0);
  doc.Scroll(H, TScrollRequest::ThumbPosition, 123);
  EXPECT_EQ(doc.XPosition(), 123);
  EXPECT_NEAR(doc.WindowLeft, 123 / kDpm150, 1e-9);

  // Every accepted request moved the shown pixels by exactly the distance scrolled.
  int32_t total = 0;
  for (const TPoint& p : host.ScrollLog()) total -= p.Y;
  EXPECT_EQ(total, Round(doc.YPosition()));

  // Without AutoScroll requests are ignored, the bars are hidden and the position is 0.
  doc.SetAutoScroll(false);
  EXPECT_EQ(doc.XPosition(), 0);
  EXPECT_FALSE(host.ScrollBar(V).Visible);
  doc.Scroll(V, TScrollRequest::LineDown, 0);
  EXPECT_EQ(doc.YPosition(), 0);
  doc.SetAutoScroll(true);
  EXPECT_TRUE(host.ScrollBar(V).Visible);
  doc.TrackThumb = false;
  doc.Scroll(V, TScrollRequest::ThumbTrack, 50);
  EXPECT_EQ(doc.YPosition(), 0);
}

TEST(ViewTest, LargeRangesAreScaledForTheBars) {
  TWindowed w(300, 200, /*autoWidth=*/false);
  TdtpDocument& doc = w.doc;
  doc.SetRangeAndPosition(0, 0, 1000, 60000);
  EXPECT_DOUBLE_EQ(doc.BarScale(), 0.5);
  const TScrollBarInfo bar = w.host.ScrollBar(V);
  EXPECT_EQ(bar.Max, 30000);
  EXPECT_EQ(bar.Page, 100);
  doc.Scroll(V, TScrollRequest::ThumbPosition, 1000);
  EXPECT_EQ(doc.YPosition(), 2000);
  EXPECT_EQ(w.host.ScrollBar(V).Position, 1000);
  // Positions are clamped when the range shrinks.
  doc.SetRangeAndPosition(0, 5000, 1000, 3000);
  EXPECT_EQ(doc.YPosition(), 2800);
}

TEST(ViewTest, ResizeRefitsOnlyAtZoomHundred) {
  TWindowed w(400, 300);
  TdtpDocument& doc = w.doc;
  EXPECT_NEAR(doc.ScreenDpm(), (400 - 22) / 211.0, 1e-9);
  w.host.SetSize(600, 300);
  EXPECT_NEAR(doc.ScreenDpm(), (600 - 22) / 211.0, 1e-9);
  // A height change alone keeps the zoom.
  w.host.SetSize(600, 500);
  EXPECT_NEAR(doc.ScreenDpm(), (600 - 22) / 211.0, 1e-9);

  doc.SetZoomPercent(150);
  const double zoomed = doc.ScreenDpm();
  w.host.SetSize(700, 500);
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), zoomed);
}

TEST(ViewTest, RulersFollowScrollAndMouse) {
  TWindowed w(400, 300, /*autoWidth=*/false);
  TdtpDocument& doc = w.doc;
  THeadlessRuler top(TRulerOrientation::Horizontal), left(TRulerOrientation::Vertical);
  THeadlessRulerCorner corner;
  doc.SetRulerTop(&top);
  doc.SetRulerLeft(&left);
  doc.SetRulerCorner(&corner);
  // The page lies 10 pixels in, so the window edge is 10 pixels before the page's 0.
  EXPECT_NEAR(top.Offset(), -10 / kDpm150, 1e-4);
  EXPECT_NEAR(left.Offset(), -10 / kDpm150, 1e-4);
  EXPECT_NEAR(top.ScreenDpm(), kDpm150, 1e-5);

  int32_t dx = 59, dy = 118;
  doc.ScrollBy(dx, dy);
  EXPECT_NEAR(top.Offset(), (59 - 10) / kDpm150, 1e-4);
  EXPECT_NEAR(left.Offset(), (118 - 10) / kDpm150, 1e-4);

  doc.SetRulerUnits(ruInch);
  EXPECT_EQ(top.Units(), ruInch);
  EXPECT_EQ(left.Units(), ruInch);
  EXPECT_EQ(corner.Units(), ruInch);

  doc.MouseMove(0, 33, 44);
  EXPECT_EQ(top.HairLinePos(), 33);
  EXPECT_EQ(left.HairLinePos(), 44);

  doc.ZoomBy(2);
  EXPECT_NEAR(top.ScreenDpm(), 2 * kDpm150, 1e-5);
  doc.SetRulerTop(nullptr);
  doc.SetRulerLeft(nullptr);
  doc.SetRulerCorner(nullptr);
}

TEST(ViewTest, ScrollPositionEventsAndInvalidation) {
  TWindowed w(400, 300, /*autoWidth=*/false);
  TdtpDocument& doc = w.doc;
  int events = 0;
  doc.OnUpdateScrollPosition = [&](TdtpDocument* sender) {
    EXPECT_EQ(sender, &doc);
    ++events;
  };
  int32_t dx = 10, dy = 0;
  doc.ScrollBy(dx, dy);
  EXPECT_EQ(events, 1);
  dx = -100;  // only 10 pixels are left to scroll back
  doc.ScrollBy(dx, dy);
  EXPECT_EQ(dx, -10);
  EXPECT_EQ(events, 2);
  dx = -5;
  doc.ScrollBy(dx, dy);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(events, 2);

  // A shape repaints its own screen bounds; the window repaints when the resolution changes.
  auto shape = std::make_unique<TdtpShape>();
  TdtpShape* s = shape.get();
  doc.AddShape(std::move(shape));
  s->SetBounds(10, 20, 30, 40);
  w.host.ClearLog();
  s->Invalidate();
  ASSERT_FALSE(w.host.InvalidateLog().empty());
  TRect bounds;
  s->ScreenBounds(bounds);
  const TRect r = w.host.InvalidateLog().back();
  EXPECT_LE(r.Left, bounds.Left);
  EXPECT_LE(r.Top, bounds.Top);
  EXPECT_GE(r.Right, bounds.Right);
  EXPECT_GE(r.Bottom, bounds.Bottom);
  w.host.ClearLog();
  doc.SetScreenDpm(3);
  EXPECT_FALSE(w.host.InvalidateLog().empty());
  doc.OnUpdateScrollPosition = nullptr;
}

TEST(ViewTest, RenderResolutionSettings) {
  TdtpDocument doc;
  EXPECT_NEAR(doc.RenderDPI(), 150, 1e-9);
  doc.SetRenderDPI(300);
  EXPECT_NEAR(doc.RenderDpm(), 300 / 25.4, 1e-9);
  doc.SetRenderDpm(-1);
  doc.SetRenderDpm(INFINITY);
  EXPECT_NEAR(doc.RenderDPI(), 300, 1e-9);
  doc.SetRenderAtScreenRes(true);
  EXPECT_DOUBLE_EQ(doc.RenderDpm(), doc.ScreenDpm());
  doc.SetScreenDpm(7);
  EXPECT_DOUBLE_EQ(doc.RenderDpm(), 7);
  doc.SetRenderAtScreenRes(false);
  EXPECT_DOUBLE_EQ(doc.RenderDpm(), 7);
  doc.SetScreenDpm(9);
  EXPECT_DOUBLE_EQ(doc.RenderDpm(), 7);

  // Thumbnail size changes make every thumbnail stale and the document modified.
  doc.SetPageCount(2);
  doc.Pages(0)->Thumbnail();
  doc.Pages(1)->Thumbnail();
  doc.SetModified(false);
  doc.SetThumbnailWidth(100);
  EXPECT_TRUE(doc.Pages(0)->ThumbnailStale());
  EXPECT_TRUE(doc.Pages(1)->ThumbnailStale());
  EXPECT_TRUE(doc.Modified());
}

}  // namespace
}  // namespace sw
