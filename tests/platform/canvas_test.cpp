#include "platform/bitmap_canvas.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace sw {
namespace {

std::vector<TColor32> Pixels(const TBitmap32& b) {
  return std::vector<TColor32>(b.Bits(), b.Bits() + static_cast<size_t>(b.Width()) * b.Height());
}

void FillRandom(TBitmap32& b, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int32_t i = 0; i < b.Width() * b.Height(); ++i) b.Bits()[i] = rng();
}

// Plain stepping Bresenham (halves round away from the start), end pixel excluded. The decision
// value d = 2 k minor + major - 2 major m stays in [0, 2 major).
std::set<std::pair<int, int>> RefLine(int x0, int y0, int x1, int y1) {
  std::set<std::pair<int, int>> out;
  const int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const int sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
  const bool xMajor = dx >= dy;
  const int major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
  int x = x0, y = y0, d = major;
  for (int k = 0; k < major; ++k) {
    out.insert({x, y});
    if (xMajor)
      x += sx;
    else
      y += sy;
    d += 2 * minor;
    if (d >= 2 * major) {
      d -= 2 * major;
      if (xMajor)
        y += sy;
      else
        x += sx;
    }
  }
  return out;
}

std::set<std::pair<int, int>> Touched(const TBitmap32& b, TColor32 background) {
  std::set<std::pair<int, int>> out;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != background) out.insert({x, y});
  return out;
}

TEST(HeadlessCanvas, LinesMatchBresenhamAndExcludeTheEnd) {
  std::mt19937 rng(3);
  TBitmap32 b;
  b.Resize(64, 64);
  for (int i = 0; i < 300; ++i) {
    b.Clear(clBlack32);
    TBitmapCanvas c(b);
    c.SetPen(TPen{0xFFFFFFFFu, 1, psSolid, pmCopy});
    const int x0 = rng() % 64, y0 = rng() % 64, x1 = rng() % 64, y1 = rng() % 64;
    c.MoveTo(x0, y0);
    c.LineTo(x1, y1);
    EXPECT_EQ(Touched(b, clBlack32), RefLine(x0, y0, x1, y1)) << x0 << "," << y0 << " " << x1 << "," << y1;
    EXPECT_EQ(c.PenPos(), (TPoint{x1, y1}));
  }
  // Copy mode stores the colour bits with alpha 0, like the platform's own drawing.
  TBitmapCanvas c(b);
  b.Clear(clBlack32);
  c.SetPen(TPen{0xFF123456u, 1, psSolid, pmCopy});
  c.MoveTo(1, 1);
  c.LineTo(5, 1);
  EXPECT_EQ(b.Pixel(1, 1), 0x00123456u);
  EXPECT_EQ(b.Pixel(5, 1), clBlack32);
}

TEST(HeadlessCanvas, DottedPensAlternateAndRunOnAcrossCorners) {
  TBitmap32 b;
  b.Resize(40, 40);
  b.Clear(clBlack32);
  TBitmapCanvas c(b);
  c.SetPen(TPen{0xFFFFFFFFu, 1, psDot, pmCopy});
  const TPoint path[3] = {{0, 5}, {9, 5}, {9, 20}};
  c.Polyline(path, 3);
  for (int x = 0; x < 9; ++x) EXPECT_EQ(b.Pixel(x, 5) != clBlack32, x % 2 == 0) << x;
  // The corner pixel (9, 5) is step 9 of the path: a gap; the pattern goes on down the column.
  for (int y = 5; y < 20; ++y) EXPECT_EQ(b.Pixel(9, y) != clBlack32, (9 + y - 5) % 2 == 0) << y;
  EXPECT_EQ(b.Pixel(9, 20), clBlack32);

  // A dotted frame: every other edge pixel, nothing inside with a clear brush.
  b.Clear(clBlack32);
  c.SetBrush(TBrush{0, bsClear});
  c.Rectangle(TRect{10, 10, 30, 25});
  const auto touched = Touched(b, clBlack32);
  EXPECT_EQ(touched.size(), static_cast<size_t>((2 * 19 + 2 * 14) / 2));
  for (const auto& [x, y] : touched) EXPECT_TRUE(x == 10 || x == 29 || y == 10 || y == 24);
}

TEST(HeadlessCanvas, XorTwiceRestoresEveryFigure) {
  TBitmap32 b;
  b.Resize(80, 60);
  FillRandom(b, 11);
  const std::vector<TColor32> before = Pixels(b);
  TBitmapCanvas c(b);
  const TPoint star[5] = {{40, 2}, {52, 55}, {5, 20}, {75, 20}, {28, 55}};
  const TPoint degenerate[4] = {{3, 3}, {3, 3}, {20, 3}, {3, 3}};
  auto drawAll = [&](const TPen& pen, const TBrush& brush) {
    c.SetPen(pen);
    c.SetBrush(brush);
    c.Rectangle(TRect{5, 5, 60, 40});
    c.Rectangle(TRect{70, 10, 71, 30});  // one pixel wide
    c.Rectangle(TRect{2, 50, 3, 51});    // one pixel
    c.Polygon(star, 5);                  // self-intersecting, alternate fill
    c.Polyline(degenerate, 4);           // runs back over itself
    c.Ellipse(TRect{30, 10, 77, 58});
    c.MoveTo(-1000000, -999999);
    c.LineTo(1000000, 1000001);
  };
  for (const TPen& pen : {TPen{0xFF00FF00u, 1, psDot, pmXor}, TPen{0xFFFFFFFFu, 3, psSolid, pmXor},
                          TPen{0xFF0000FFu, 1, psSolid, pmXor}}) {
    for (const TBrush& brush : {TBrush{0, bsClear}, TBrush{0xFFFF00FFu, bsSolid}}) {
      drawAll(pen, brush);
      EXPECT_NE(Pixels(b), before);
      drawAll(pen, brush);
      ASSERT_EQ(Pixels(b), before) << pen.Width << " " << pen.Style << " " << brush.Style;
    }
  }
}

TEST(HeadlessCanvas, RectangleEllipseFillAndClip) {
  TBitmap32 b;
  b.Resize(50, 50);
  b.Clear(clBlack32);
  TBitmapCanvas c(b);
  c.SetPen(TPen{0xFFFF0000u, 1, psSolid, pmCopy});
  c.SetBrush(TBrush{0xFF0000FFu, bsSolid});
  c.Rectangle(TRect{10, 10, 20, 15});
  EXPECT_EQ(b.Pixel(10, 10), 0x00FF0000u);
  EXPECT_EQ(b.Pixel(19, 14), 0x00FF0000u);
  EXPECT_EQ(b.Pixel(20, 14), clBlack32);  // right and bottom exclusive
  EXPECT_EQ(b.Pixel(15, 12), 0x000000FFu);

  b.Clear(clBlack32);
  c.Ellipse(TRect{0, 0, 21, 11});
  EXPECT_EQ(b.Pixel(10, 5), 0x000000FFu);  // centre: brush
  EXPECT_EQ(b.Pixel(0, 5), 0x00FF0000u);   // left end of the axis: pen
  EXPECT_EQ(b.Pixel(20, 5), 0x00FF0000u);
  EXPECT_EQ(b.Pixel(0, 0), clBlack32);  // corners outside
  EXPECT_EQ(b.Pixel(20, 10), clBlack32);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 21; ++x) EXPECT_EQ(b.Pixel(x, y), b.Pixel(20 - x, 10 - y)) << x << "," << y;

  // The clip rectangle bounds every figure; fills ignore pen and brush.
  b.Clear(clBlack32);
  c.SetClipRect(TRect{5, 5, 10, 10});
  c.FillRect(TRect{-100, -100, 100, 100}, 0xFF00FF00u);
  EXPECT_EQ(Touched(b, clBlack32).size(), 25u);
  c.SetClipRect(TRect{-5, -5, 500, 500});
  EXPECT_EQ(c.ClipRect(), b.BoundsRect());
  c.Polygon(nullptr, 5);
  c.Polyline(nullptr, 0);

  // Figures spanning the whole coordinate range cost no more than the clip and stay inside it.
  b.Clear(clBlack32);
  const TRect huge{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  c.Rectangle(huge);
  EXPECT_EQ(b.Pixel(25, 25), 0x000000FFu);
  c.Ellipse(huge);
  const TPoint wide[3] = {{INT32_MIN, 0}, {INT32_MAX, 10}, {0, INT32_MAX}};
  c.Polygon(wide, 3);
  TBitmap32 src;
  src.Resize(3, 3);
  src.Clear(0xFF112233u);
  c.StretchBitmap(TRect{-2000000000, -2000000000, 2000000000, 2000000000}, src, src.BoundsRect(), smHalftone);
  c.StretchBitmap(TRect{2000000000, 2000000000, -2000000000, -2000000000}, src, src.BoundsRect(), smNearest);
  EXPECT_EQ(b.Pixel(0, 0), 0xFF112233u);
}

TEST(HeadlessCanvas, BitmapsOneToOneAndStretched) {
  TBitmap32 src;
  src.Resize(4, 2);
  for (int i = 0; i < 8; ++i) src.Bits()[i] = 0xFF000000u | static_cast<TColor32>(i * 10);
  TBitmap32 b;
  b.Resize(10, 10);
  b.Clear(0);
  TBitmapCanvas c(b);
  c.DrawBitmap(-1, 8, src);  // clipped on two sides
  EXPECT_EQ(b.Pixel(0, 8), src.Pixel(1, 0));
  EXPECT_EQ(b.Pixel(2, 9), src.Pixel(3, 1));
  EXPECT_EQ(b.Pixel(3, 9), 0u);

  b.Clear(0);
  c.StretchBitmap(TRect{0, 0, 8, 4}, src, src.BoundsRect(), smNearest);
  EXPECT_EQ(b.Pixel(0, 0), src.Pixel(0, 0));
  EXPECT_EQ(b.Pixel(1, 1), src.Pixel(0, 0));
  EXPECT_EQ(b.Pixel(7, 3), src.Pixel(3, 1));
  // Mirrored horizontally.
  c.StretchBitmap(TRect{4, 5, 0, 7}, src, src.BoundsRect(), smNearest);
  EXPECT_EQ(b.Pixel(0, 5), src.Pixel(3, 0));
  EXPECT_EQ(b.Pixel(3, 6), src.Pixel(0, 1));
  // Halftone reduction averages the covered pixels.
  b.Clear(0);
  c.StretchBitmap(TRect{0, 0, 2, 1}, src, src.BoundsRect(), smHalftone);
  EXPECT_EQ(b.Pixel(0, 0), 0xFF000000u | ((0 + 10 + 40 + 50) / 4));
  EXPECT_EQ(b.Pixel(1, 0), 0xFF000000u | ((20 + 30 + 60 + 70) / 4));
  // A source part outside the bitmap draws nothing.
  b.Clear(0);
  c.StretchBitmap(TRect{0, 0, 5, 5}, src, TRect{2, 0, 9, 2}, smNearest);
  c.StretchBitmap(TRect{0, 0, 2000000000, 5}, src, src.BoundsRect(), smHalftone);
  EXPECT_EQ(b.Pixel(0, 0), src.Pixel(0, 0));
  EXPECT_EQ(b.Pixel(9, 4), src.Pixel(0, 1));
}

}  // namespace
}  // namespace sw
