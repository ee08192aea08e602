// The paint pipeline: direct and cached shapes, cache reuse and rebuild, the cache budget, paint
// failures, the page's sheet, the picture of a page for output, thumbnails, and the rule that a
// window painted in pieces equals the window painted at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "engine/document.h"
#include "platform/canvas.h"
#include "platform/headless_window_host.h"
#include "support/errors.h"

namespace sw {
namespace {

constexpr TColor32 kRed = 0xFFFF0000u, kGreen = 0xFF00C000u, kBlue = 0xFF0000FFu, kYellow = 0xFFFFFF00u;

// A shape that fills its rectangle with one colour and a quarter of it with another, so that
// edges inside the shape show resampling too.
class TFillShape : public TdtpShape {
public:
  TFillShape(TColor32 color, TColor32 inner) : color_(color), inner_(inner) {}
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) override {
    (void)info;
    ++Paints;
    if (OnPaint) OnPaint();
    if (Fail) RaiseError("Picture cannot be decoded");
    const TPoint p0 = RoundPoint(LocalToPaint({0, 0}));
    const TPoint p1 = RoundPoint(LocalToPaint({DocWidth(), DocHeight()}));
    const TPoint q = RoundPoint(LocalToPaint({DocWidth() / 2, DocHeight() / 2}));
    bitmap.FillRectT(TRect{p0.X, p0.Y, p1.X, p1.Y}, color_);
    bitmap.FillRectT(TRect{p0.X, p0.Y, q.X, q.Y}, inner_);
  }
  int Paints = 0;
  bool Fail = false;
  std::function<void()> OnPaint;

private:
  TColor32 color_, inner_;
};

TFillShape* AddFill(TdtpShape& parent, float l, float t, float w, float h, TColor32 color, TColor32 inner = kYellow) {
  auto shape = std::make_unique<TFillShape>(color, inner);
  TFillShape* s = shape.get();
  parent.AddChild(std::move(shape));
  s->SetBounds(l, t, w, h);
  return s;
}

// What a window showed, kept for comparing (bitmaps themselves do not copy).
struct TShot {
  int32_t W = 0, H = 0;
  std::vector<TColor32> P;
  TShot() = default;
  TShot(const TBitmap32& b) : W(b.Width()), H(b.Height()), P(b.Bits(), b.Bits() + int64_t(b.Width()) * b.Height()) {}
  TColor32 Pixel(int32_t x, int32_t y) const { return P[static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(x)]; }
  bool IsUniform(TColor32 c) const {
    for (const TColor32 p : P) {
      if (p != c) return false;
    }
    return true;
  }
};

TShot Copy(const TBitmap32& b) { return TShot(b); }

// Every channel within tolerance.
bool Near(TColor32 a, TColor32 b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

// The first differing pixel as text, or empty when the pictures are equal.
std::string FirstDifference(const TShot& a, const TShot& b) {
  if (a.W != b.W || a.H != b.H) return "sizes differ";
  for (int32_t y = 0; y < a.H; ++y) {
    for (int32_t x = 0; x < a.W; ++x) {
      if (a.Pixel(x, y) != b.Pixel(x, y)) {
        return Format("pixel (%d, %d): %08X != %08X", x, y, a.Pixel(x, y), b.Pixel(x, y));
      }
    }
  }
  return {};
}

class PaintTest : public ::testing::Test {
protected:
  // A 60 x 50 mm page at 4 pixels per mm (so view millimetres and pixels are exact binary
  // fractions) in a window of the given size.
  void Show(int32_t width, int32_t height) {
    doc_.AutoWidth = false;
    doc_.SetPageWidth(60);
    doc_.SetPageHeight(50);
    host_ = std::make_unique<THeadlessWindowHost>(width, height);
    host_->SetClient(&doc_);
    doc_.SetWindowHost(host_.get());
    doc_.SetScreenDpm(4);
    doc_.UpdateScrollRange();
  }
  void TearDown() override {
    if (host_) host_->SetClient(nullptr);
    doc_.SetWindowHost(nullptr);
  }
  TdtpPage& Page() { return *doc_.CurrentPage(); }
  // Shapes of every kind of path: direct, turned, translucent, mirrored with a turned child.
  void AddMixedShapes() {
    AddFill(Page(), 5, 5, 20, 10, kRed);
    AddFill(Page(), 30, 10, 15, 12, kGreen)->SetAngle(30);
    AddFill(Page(), 10, 25, 25, 15, kBlue)->SetMasterAlpha(128);
    TFillShape* group = AddFill(Page(), 40, 30, 15, 15, kYellow, kRed);
    group->SetMirrored(true);
    AddFill(*group, 2, 2, 5, 8, kBlue, kGreen)->SetAngle(10);
  }
  const TBitmap32& PaintAll() { return host_->Paint(TRect{0, 0, host_->ClientWidth(), host_->ClientHeight()}); }
  // Paints the client in tiles of w x h pixels and returns what the window shows.
  const TBitmap32& PaintTiled(int32_t w, int32_t h) {
    for (int32_t y = 0; y < host_->ClientHeight(); y += h) {
      for (int32_t x = 0; x < host_->ClientWidth(); x += w) host_->Paint(TRect{x, y, x + w, y + h});
    }
    return host_->Screen();
  }

  TdtpDocument doc_;
  std::unique_ptr<THeadlessWindowHost> host_;
};

TEST_F(PaintTest, PaintingInPiecesEqualsPaintingAtOnce) {
  Show(300, 240);
  AddMixedShapes();
  doc_.SetHelperMethod(hmGrid);
  const TShot whole = Copy(PaintAll());
  // The shapes did paint: a direct one, a cached turned one, the translucent one over the page.
  EXPECT_EQ(whole.Pixel(10 + 4 * 20, 10 + 4 * 12), kRed);
  EXPECT_NE(Page().Child(1)->Cache(), nullptr);
  EXPECT_EQ(Page().Child(0)->Cache(), nullptr);
  const TColor32 translucent = whole.Pixel(10 + 4 * 30, 10 + 4 * 35);
  EXPECT_NE(translucent, kBlue);
  EXPECT_NE(translucent, clWhite32);

  for (const TPoint tile : {TPoint{7, 5}, TPoint{64, 1}, TPoint{1, 64}, TPoint{13, 17}, TPoint{300, 3}}) {
    SCOPED_TRACE(Format("tiles of %d x %d", tile.X, tile.Y));
    // A fresh cache for every tiling, so each tiling also builds it from its first piece.
    Page().FreeCaches();
    host_->SetSize(300, 240);
    EXPECT_EQ(FirstDifference(PaintTiled(tile.X, tile.Y), whole), "");
  }
  // Single pixels around the turned shape's edges.
  Page().FreeCaches();
  for (int32_t y = 40; y < 110; ++y) {
    for (int32_t x = 120; x < 200; ++x) host_->Paint(TRect{x, y, x + 1, y + 1});
  }
  EXPECT_EQ(FirstDifference(host_->Screen(), whole), "");
}

TEST_F(PaintTest, CheckerboardAndDotsAreTheSameInPieces) {
  Show(300, 240);
  AddMixedShapes();
  for (const TdtpHelperMethodType helper : {hmPattern, hmDots}) {
    doc_.SetHelperMethod(helper);
    const TShot whole = Copy(PaintAll());
    EXPECT_EQ(FirstDifference(PaintTiled(11, 9), whole), "");
    if (helper == hmPattern) {
      // Squares of 8 pixels counted from the page's corner, grey there.
      EXPECT_EQ(whole.Pixel(10 + 1, 10 + 1), 0xFFB0B0B0u);
      EXPECT_EQ(whole.Pixel(10 + 8 + 1, 10 + 1), clWhite32);
      EXPECT_EQ(whole.Pixel(10 + 8 + 1, 10 + 8 + 1), 0xFFB0B0B0u);
    } else {
      // A dot every 5 mm (20 pixels) in the grid colour $FFFFC0.
      EXPECT_EQ(whole.Pixel(10 + 200, 10 + 20), ColorFromSystem(0xFFFFC0));
      EXPECT_EQ(whole.Pixel(10 + 201, 10 + 20), clWhite32);
    }
  }
}

TEST_F(PaintTest, ScrolledContentMatchesARepaint) {
  Show(200, 160);
  AddMixedShapes();
  doc_.SetHelperMethod(hmGrid);
  PaintAll();
  for (const TPoint step : {TPoint{37, 23}, TPoint{-5, 11}, TPoint{9, 0}}) {
    int32_t dx = step.X, dy = step.Y;
    doc_.ScrollBy(dx, dy);
    ASSERT_TRUE(dx != 0 || dy != 0);
    const TShot scrolled = Copy(host_->PaintInvalidated());
    EXPECT_EQ(FirstDifference(scrolled, PaintAll()), "");
  }
  // A zoom leaves a fractional position; scrolling on from there still matches.
  doc_.ZoomBy(1.3);
  PaintAll();
  int32_t dx = 13, dy = 7;
  doc_.ScrollBy(dx, dy);
  const TShot scrolled = Copy(host_->PaintInvalidated());
  EXPECT_EQ(FirstDifference(scrolled, PaintAll()), "");
}

TEST_F(PaintTest, WhichShapesAreCached) {
  Show(300, 240);
  TFillShape* s = AddFill(Page(), 5, 5, 20, 10, kRed);
  s->SetAngle(0.5f);
  PaintAll();
  ASSERT_NE(s->Cache(), nullptr);
  EXPECT_FLOAT_EQ(s->CacheDpm, static_cast<float>(doc_.RenderDpm()));
  s->SetAngle(0);
  PaintAll();
  EXPECT_EQ(s->Cache(), nullptr);
  EXPECT_EQ(s->CacheDpm, 0);
  // Mirrored, flipped, translucent and forced shapes are cached too.
  s->SetMirrored(true);
  PaintAll();
  EXPECT_NE(s->Cache(), nullptr);
  s->SetMirrored(false);
  s->SetForceCache(true);
  s->Invalidate();
  PaintAll();
  EXPECT_NE(s->Cache(), nullptr);
}

TEST_F(PaintTest, CacheIsReusedBelowItsResolutionAndRebuiltAbove) {
  Show(300, 240);
  TFillShape* s = AddFill(Page(), 5, 5, 20, 10, kRed);
  s->SetAngle(20);
  TBitmap32 target;
  target.SetSize(100, 100);
  const TFloatRect area{0, 0, 40, 40};
  TdtpPaintInfo info;
  info.Dpm = 11.8f;
  doc_.DrawTo(s, target, area, false, info);
  EXPECT_EQ(s->Paints, 1);
  EXPECT_FLOAT_EQ(s->CacheDpm, 11.8f);
  info.Dpm = 5.9f;
  doc_.DrawTo(s, target, area, false, info);
  EXPECT_EQ(s->Paints, 1);
  EXPECT_FLOAT_EQ(s->CacheDpm, 11.8f);
  info.ExactDpm = true;
  doc_.DrawTo(s, target, area, false, info);
  EXPECT_EQ(s->Paints, 2);
  EXPECT_FLOAT_EQ(s->CacheDpm, 5.9f);
  info.ExactDpm = false;
  info.Dpm = 23.6f;
  doc_.DrawTo(s, target, area, false, info);
  EXPECT_EQ(s->Paints, 3);
  EXPECT_FLOAT_EQ(s->CacheDpm, 23.6f);
  EXPECT_EQ(s->Cache()->Width(), 475);  // ceil(20 x 23.6) and a margin pixel on either side
  // A stale mark rebuilds at the same resolution; FreeCacheAfter drops the cache once drawn.
  s->MarkCacheStale();
  doc_.DrawTo(s, target, area, false, info);
  EXPECT_EQ(s->Paints, 4);
  info.FreeCacheAfter = true;
  doc_.DrawTo(s, target, area, false, info);
  EXPECT_EQ(s->Cache(), nullptr);
  // A shape outside the area is not painted at all.
  info.FreeCacheAfter = false;
  doc_.DrawTo(s, target, TFloatRect{100, 100, 140, 140}, false, info);
  EXPECT_EQ(s->Paints, 4);
  EXPECT_EQ(s->Cache(), nullptr);
}

TEST_F(PaintTest, QualityAndZoomKeepCaches) {
  Show(300, 240);
  TFillShape* s = AddFill(Page(), 5, 5, 20, 10, kRed);
  s->SetAngle(45);
  PaintAll();
  ASSERT_EQ(s->Paints, 1);
  doc_.SetQuality(sfNearest);
  PaintAll();
  doc_.ZoomBy(2);
  PaintAll();
  EXPECT_EQ(s->Paints, 1);
  // A new render resolution frees the page's caches.
  doc_.SetRenderDPI(300);
  EXPECT_EQ(s->Cache(), nullptr);
  PaintAll();
  EXPECT_EQ(s->Paints, 2);
  EXPECT_FLOAT_EQ(s->CacheDpm, static_cast<float>(300 / 25.4));
}

TEST_F(PaintTest, CacheStaysWithinItsPixelBudget) {
  Show(300, 240);
  // A page-sized turned picture at 1200 dpi would need 9449 x 9449 pixels for 400 x 400 mm.
  TFillShape* s = AddFill(Page(), 0, 0, 400, 400, kRed);
  s->SetAngle(90);
  const float want = static_cast<float>(1200 / 25.4);
  const float r = TdtpDocument::CacheResolution(*s, want);
  EXPECT_LT(r, want);
  EXPECT_GT(r, 0.99f * 8192 / 400);  // sqrt(2^26) pixels over 400 mm, less the ceiling's step
  TBitmap32 target;
  target.SetSize(50, 50);
  TdtpPaintInfo info;
  info.Dpm = want;
  doc_.DrawTo(s, target, TFloatRect{0, -400, 400, 0}, false, info);
  ASSERT_NE(s->Cache(), nullptr);
  EXPECT_LE(static_cast<int64_t>(s->Cache()->Width()) * s->Cache()->Height(), TdtpDocument::kCachePixelBudget);
  EXPECT_FLOAT_EQ(s->CacheDpm, r);
  // The capped cache counts as made for what was wanted: no rebuild at the next paint.
  doc_.DrawTo(s, target, TFloatRect{0, -400, 400, 0}, false, info);
  EXPECT_EQ(s->Paints, 1);
  EXPECT_EQ(target.Pixel(25, 25), kRed);
  s->FreeCache();
  // A shape without pixels has no cache resolution.
  s->SetBounds(0, 0, 0, 0);
  EXPECT_EQ(TdtpDocument::CacheResolution(*s, 10), 0);
  EXPECT_EQ(TdtpDocument::CacheResolution(*s, -1), 0);
}

TEST_F(PaintTest, AShapeThatFailsIsLeftOutAndReportedOnce) {
  Show(300, 240);
  TFillShape* good = AddFill(Page(), 5, 5, 20, 10, kRed);
  TFillShape* bad = AddFill(Page(), 30, 10, 15, 12, kGreen);
  TFillShape* badCached = AddFill(Page(), 10, 25, 25, 15, kBlue);
  badCached->SetAngle(10);
  bad->Fail = true;
  badCached->Fail = true;
  std::vector<std::string> reports;
  doc_.OnLoadError = [&](TdtpDocument*, TdtpShape* shape, const std::string& text) {
    reports.push_back((shape == bad ? "bad: " : shape == badCached ? "cached: " : "other: ") + text);
  };
  const TShot first = Copy(PaintAll());
  PaintAll();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], "bad: Picture cannot be decoded");
  EXPECT_EQ(reports[1], "cached: Picture cannot be decoded");
  EXPECT_EQ(badCached->Cache(), nullptr);
  EXPECT_EQ(first.Pixel(10 + 4 * 20, 10 + 4 * 12), kRed);
  EXPECT_EQ(first.Pixel(10 + 4 * 40, 10 + 4 * 20), clWhite32);
  (void)good;
  // Once it paints again, a later failure is news again.
  bad->Fail = false;
  PaintAll();
  bad->Fail = true;
  PaintAll();
  EXPECT_EQ(reports.size(), 3u);
  doc_.OnLoadError = nullptr;
}

TEST_F(PaintTest, AnUndecodableBackgroundIsLeftOut) {
  Show(300, 240);
  AddFill(Page(), 5, 5, 20, 10, kRed);
  const std::string file = TempFolder() + "/sw_view_broken_" + std::to_string(::getpid()) + ".png";
  const std::vector<uint8_t> broken{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3, 4, 5};
  {
    TMemoryStream bytes(broken);
    bytes.SaveToFile(file);
  }
  // Such a file is refused when it is chosen, but a stored document may hold its bytes.
  EXPECT_NE(test::ErrorOf([&] { doc_.DefaultBackground().LoadFromFile(file); }), test::kNoError);
  std::remove(file.c_str());
  {
    TResourceAccess access(doc_.DefaultBackground());
    doc_.DefaultBackground().Data().SetBytes(broken.data(), static_cast<int64_t>(broken.size()));
  }
  doc_.DefaultBackground().ReleaseBitmap();
  int reports = 0;
  doc_.OnLoadError = [&](TdtpDocument*, TdtpShape* shape, const std::string&) {
    EXPECT_EQ(shape, &Page());
    ++reports;
  };
  const TShot shown = Copy(PaintAll());
  PaintAll();
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(shown.Pixel(10 + 4 * 20, 10 + 4 * 12), kRed);
  EXPECT_EQ(shown.Pixel(10 + 4 * 50, 10 + 4 * 45), clWhite32);
  // The page's outline and shadow are drawn all the same.
  EXPECT_EQ(shown.Pixel(10, 10), clBlack32);
  doc_.OnLoadError = nullptr;
}

TEST_F(PaintTest, SheetDecorations) {
  Show(300, 240);
  doc_.SetShowMargins(false);
  const TColor32 around = ColorFromSystem(doc_.Color);
  TShot shown = Copy(PaintAll());
  // Print layout: page from (10, 10) to (250, 210), framed black, shadow 4 pixels right and below.
  EXPECT_EQ(shown.Pixel(10, 100), clBlack32);
  EXPECT_EQ(shown.Pixel(249, 100), clBlack32);
  EXPECT_EQ(shown.Pixel(11, 100), clWhite32);
  EXPECT_EQ(shown.Pixel(252, 100), clBlack32);   // right shadow
  EXPECT_EQ(shown.Pixel(252, 12), around);       // the shadow starts 4 pixels down
  EXPECT_EQ(shown.Pixel(100, 212), clBlack32);   // bottom shadow
  EXPECT_EQ(shown.Pixel(9, 100), around);
  EXPECT_EQ(shown.Pixel(255, 100), around);

  // Normal view: the page from the corner, no outline and no shadow.
  doc_.SetViewStyle(vsNormal);
  shown = Copy(PaintAll());
  EXPECT_EQ(shown.Pixel(0, 0), clWhite32);
  EXPECT_EQ(shown.Pixel(239, 100), clWhite32);
  EXPECT_EQ(shown.Pixel(241, 100), around);

  // Dashed margins 10 mm in.
  doc_.SetShowMargins(true);
  shown = Copy(PaintAll());
  int dark = 0, light = 0;
  std::string row;
  for (int32_t x = 40; x <= 200; ++x) {
    (shown.Pixel(x, 40) == clBlack32 ? dark : light) += 1;
    row += shown.Pixel(x, 40) == clBlack32 ? '#' : shown.Pixel(x, 40) == clWhite32 ? '.' : '?';
  }
  SCOPED_TRACE(row);
  // White, black and the steps between them at half a pattern step per pixel.
  EXPECT_GT(dark, 30);
  EXPECT_GT(light, 30);
  EXPECT_EQ(shown.Pixel(100, 100), clWhite32);
}

TEST_F(PaintTest, SizesThatCannotShowPaintNothing) {
  Show(300, 240);
  doc_.SetShowMargins(false);
  doc_.SetViewStyle(vsNormal);
  // A grid finer than a pixel is left out.
  doc_.SetHelperMethod(hmGrid);
  doc_.SetDefaultGridSize(0.1f);
  TShot shown = Copy(PaintAll());
  for (int32_t x = 0; x < 240; ++x) ASSERT_EQ(shown.Pixel(x, 100), clWhite32) << x;
  doc_.SetDefaultGridSize(5);
  shown = Copy(PaintAll());
  EXPECT_EQ(shown.Pixel(20, 100), ColorFromSystem(0xFFFFC0));

  // A picture tiled at a size under a pixel still covers the page, one pixel per tile.
  TBitmap32 red;
  red.SetSize(1, 1);
  red.Clear(kRed);
  doc_.DefaultBackground().SetBitmap(&red);
  doc_.SetDefaultBackgroundTiled(true);
  doc_.SetHelperMethod(hmNone);
  shown = Copy(PaintAll());
  EXPECT_EQ(shown.Pixel(0, 0), kRed);
  EXPECT_EQ(shown.Pixel(123, 77), kRed);

  // A page without size shows only the window colour.
  Page().SetBounds(0, 0, 0, 0);
  shown = Copy(PaintAll());
  EXPECT_TRUE(shown.IsUniform(ColorFromSystem(doc_.Color)));
  // Nothing is painted while printing.
  host_->SetSize(300, 241);
  doc_.BeginPrinting();
  shown = Copy(PaintAll());
  doc_.EndPrinting();
  EXPECT_EQ(shown.Pixel(5, 240), THeadlessWindowHost::kUnpainted);
}

TEST_F(PaintTest, StretchedBackgroundCoversThePage) {
  Show(300, 240);
  TBitmap32 picture;
  picture.SetSize(2, 1);
  picture.SetPixel(0, 0, kRed);
  picture.SetPixel(1, 0, kBlue);
  doc_.SetQuality(sfNearest);
  Page().LeaveDefaults();
  Page().OwnBackground().SetBitmap(&picture);
  doc_.SetShowMargins(false);
  const TShot shown = Copy(PaintAll());
  // Blended over the page colour with the surface's weight of 255, which leaves 1/256 of it.
  EXPECT_TRUE(Near(shown.Pixel(20, 100), kRed, 1)) << std::hex << shown.Pixel(20, 100);
  EXPECT_TRUE(Near(shown.Pixel(240, 100), kBlue, 1)) << std::hex << shown.Pixel(240, 100);
  EXPECT_EQ(FirstDifference(PaintTiled(17, 19), shown), "");
}

TEST_F(PaintTest, CanvasEventsSeeThePageRectangle) {
  Show(300, 240);
  AddFill(Page(), 5, 5, 20, 10, kRed);
  std::vector<TRect> background, foreground;
  doc_.OnPaintBackground = [&](TdtpDocument*, TCanvas& canvas, const TRect& r) { background.push_back(r); (void)canvas; };
  doc_.OnPaintForeground = [&](TdtpDocument*, TCanvas& canvas, const TRect& r) {
    foreground.push_back(r);
    canvas.FillRect(TRect{r.Left, r.Top, r.Left + 2, r.Top + 2}, kGreen);
  };
  const TShot shown = Copy(PaintAll());
  ASSERT_EQ(background.size(), 1u);
  ASSERT_EQ(foreground.size(), 1u);
  EXPECT_EQ(background[0], (TRect{10, 10, 250, 210}));
  EXPECT_EQ(foreground[0], background[0]);
  // Drawn over the shapes, opaque on screen.
  EXPECT_EQ(shown.Pixel(10, 10) & 0xFFFFFFu, kGreen & 0xFFFFFFu);
  doc_.OnPaintBackground = nullptr;
  doc_.OnPaintForeground = nullptr;
}

TEST_F(PaintTest, CacheRebuildShowsTheAppStartCursor) {
  Show(300, 240);
  TFillShape* s = AddFill(Page(), 5, 5, 20, 10, kRed);
  s->SetAngle(30);
  TCursor during = crDefault;
  s->OnPaint = [&] { during = host_->Cursor(); };
  PaintAll();
  EXPECT_EQ(during, crAppStart);
  EXPECT_EQ(host_->Cursor(), doc_.Cursor);
}

TEST(PaintOutputTest, RenderPageAsPrintingSeesIt) {
  TdtpDocument doc;
  doc.SetHelperMethod(hmGrid);
  AddFill(*doc.CurrentPage(), 5, 5, 20, 10, kRed);
  const std::unique_ptr<TBitmap32> picture = doc.RenderPage(*doc.CurrentPage(), 150 / 25.4);
  ASSERT_EQ(picture->Width(), 1240);
  ASSERT_EQ(picture->Height(), 1754);
  EXPECT_EQ(picture->Pixel(Round(15 * 150 / 25.4), Round(12 * 150 / 25.4)), kRed);
  // No grid, no margins, no outline or shadow: the page colour everywhere else.
  for (int32_t x = 0; x < 1240; ++x) ASSERT_EQ(picture->Pixel(x, 1000), clWhite32) << x;
  EXPECT_EQ(picture->Pixel(0, 0), clWhite32);
  EXPECT_EQ(picture->Pixel(1239, 1753), clWhite32);
  EXPECT_FALSE(doc.IsPrinting());
  EXPECT_EQ(test::ErrorOf([&] { doc.RenderPage(*doc.CurrentPage(), 0); }), "Invalid resolution");
  EXPECT_NE(test::ErrorOf([&] { doc.RenderPage(*doc.CurrentPage(), 1000); }).find("too large"), std::string::npos);
}

// A translucent shape goes through its cache, which lies 1:1 on the page here: it covers exactly
// the pixels the opaque shape covers, each the fill merged onto the paper with its master alpha.
// Only the last column and row may differ, by a step: the bilinear read gives the pixel it lands
// on 255/256 and the clear margin beyond the rest (the corner, with the margin on two sides, by
// two steps).
TEST(PaintOutputTest, ATranslucentShapeCoversTheSamePixelsAsTheOpaqueOne) {
  std::unique_ptr<TBitmap32> pictures[2];
  for (int i = 0; i < 2; ++i) {
    TdtpDocument doc;
    doc.SetPageWidth(60);
    doc.SetPageHeight(50);
    TFillShape* s = AddFill(*doc.CurrentPage(), 10, 10, 40, 30, kBlue, kBlue);
    if (i == 1) s->SetMasterAlpha(128);
    pictures[i] = doc.RenderPage(*doc.CurrentPage(), 10);
    ASSERT_EQ(pictures[i]->Width(), 600);
    ASSERT_EQ(pictures[i]->Height(), 500);
    EXPECT_EQ(s->Cache() != nullptr, i == 1);
  }
  const TColor32 paper = pictures[0]->Pixel(0, 0);
  ASSERT_EQ(paper, clWhite32);
  const TColor32 blended = MergeMemEx(kBlue, paper, 128);
  ASSERT_NE(blended, kBlue);
  ASSERT_NE(blended, paper);
  int64_t opaqueCovered = 0, translucentCovered = 0;
  for (int32_t y = 0; y < 500; ++y) {
    for (int32_t x = 0; x < 600; ++x) {
      const bool inside = x >= 100 && x <= 499 && y >= 100 && y <= 399;
      const TColor32 opaque = pictures[0]->Pixel(x, y), translucent = pictures[1]->Pixel(x, y);
      ASSERT_EQ(opaque, inside ? kBlue : paper) << x << ", " << y;
      opaqueCovered += opaque != paper;
      translucentCovered += translucent != paper;
      if (!inside) {
        ASSERT_EQ(translucent, paper) << x << ", " << y;
      } else if (x == 499 || y == 399) {
        const int steps = (x == 499) + (y == 399);
        ASSERT_TRUE(Near(translucent, blended, steps)) << x << ", " << y << ": " << Format("%08X", translucent);
      } else {
        ASSERT_EQ(translucent, blended) << x << ", " << y;
      }
    }
  }
  EXPECT_EQ(opaqueCovered, 400 * 300);
  EXPECT_EQ(translucentCovered, 400 * 300);
}

TEST(PaintOutputTest, ThumbnailFramesThePage) {
  TdtpDocument doc;
  TBitmap32* thumbnail = doc.CurrentPage()->Thumbnail();
  ASSERT_NE(thumbnail, nullptr);
  ASSERT_EQ(thumbnail->Width(), 80);
  ASSERT_EQ(thumbnail->Height(), 60);
  const TColor32 around = ColorFromSystem(doc.Color);
  EXPECT_EQ(thumbnail->Pixel(5, 30), around);
  EXPECT_EQ(thumbnail->Pixel(19, 30), clBlack32);  // the frame is 42 x 60 from x 19
  EXPECT_EQ(thumbnail->Pixel(60, 30), clBlack32);
  EXPECT_EQ(thumbnail->Pixel(61, 30), around);
  EXPECT_EQ(thumbnail->Pixel(40, 30), clWhite32);
  EXPECT_FALSE(doc.IsPrinting());
  EXPECT_EQ(doc.Device, dtPrinter);
  doc.SetThumbnailWidth(0);
  EXPECT_EQ(doc.CurrentPage()->Thumbnail(), nullptr);
}

TEST(PaintOutputTest, TimerRebuildsOneStaleThumbnailPerTick) {
  TdtpDocument doc;
  doc.SetPageCount(3);
  for (int i = 0; i < 3; ++i) doc.Pages(i)->SetThumbnailStale(true);
  doc.AutoPageUpdate = true;
  doc.PageUpdateInterval = 0;
  std::vector<TdtpPage*> announced;
  doc.OnPageChanged = [&](TdtpDocument*, TdtpPage* page) { announced.push_back(page); };
  doc.TimerTick();
  int stale = 0;
  for (int i = 0; i < 3; ++i) stale += doc.Pages(i)->ThumbnailStale() ? 1 : 0;
  EXPECT_EQ(stale, 2);
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(announced[0], doc.Pages(0));
  doc.TimerTick();
  doc.TimerTick();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(doc.Pages(i)->ThumbnailStale());
  doc.OnPageChanged = nullptr;
}

}  // namespace
}  // namespace sw
