#include "raster/bitmap32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace sw {
namespace {

void Fill(TBitmap32& b, int32_t w, int32_t h) {
  b.Resize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, Color32(x * 10, y * 10, x + y, 200 + x));
}

TEST(Bitmap32, ResizeEventsAndEmptiness) {
  TBitmap32 b;
  std::string log;
  b.OnHandleChanged = [&](TThreadPersistent*) { log += "H"; };
  b.OnChange = [&](TThreadPersistent*) { log += "C"; };
  b.OnResize = [&](TThreadPersistent*) { log += "R"; };
  b.Resize(-5, 3);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(log, "HCR");
  b.Resize(4, 3);
  EXPECT_EQ(log, "HCRHCR");
  EXPECT_EQ(b.ClipRect(), MakeRect(0, 0, 4, 3));
  b.Resize(4, 3);  // unchanged: nothing fires
  EXPECT_EQ(log, "HCRHCR");
  b.Clear(0x11223344u);
  EXPECT_EQ(b.Pixel(3, 2), 0x11223344u);
  EXPECT_EQ(b.PixelS(4, 0), b.OuterColor);
}

TEST(Bitmap32, AllocationFailureLeavesBitmapEmpty) {
  TBitmap32 b;
  b.Resize(10, 10);
  std::string log;
  b.OnHandleChanged = [&](TThreadPersistent*) { log += "H"; };
  b.OnChange = [&](TThreadPersistent*) { log += "C"; };
  try {
    b.Resize(100000, 100000);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(log, "H");
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Width(), 0);
  b.Clear(0);  // operations on the empty bitmap touch no memory
  b.FillRect(0, 0, 5, 5, 0);
  EXPECT_EQ(b.SampleBilinear(300, 300), b.OuterColor);
}

TEST(Bitmap32, UnpairedEndUpdate) {
  TBitmap32 b;
  int changes = 0;
  b.OnChange = [&](TThreadPersistent*) { ++changes; };
  b.BeginUpdate();
  b.Changed();
  EXPECT_EQ(changes, 0);
  b.EndUpdate();
  b.Changed();
  EXPECT_EQ(changes, 1);
  try {
    b.EndUpdate();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
  }
}

TEST(Bitmap32, RawStreamRoundTripAndBadHeaders) {
  TBitmap32 a;
  Fill(a, 5, 3);
  TMemoryStream s;
  a.SaveToStream(s);
  EXPECT_EQ(s.Size(), 8 + 5 * 3 * 4);
  s.SetPosition(0);
  TBitmap32 b;
  b.LoadFromStream(s);
  ASSERT_EQ(b.Width(), 5);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(a.Pixel(x, y), b.Pixel(x, y));
  TMemoryStream again;
  b.SaveToStream(again);
  ASSERT_EQ(again.Size(), s.Size());
  EXPECT_EQ(std::memcmp(again.Memory(), s.Memory(), static_cast<size_t>(s.Size())), 0);

  const int32_t headers[][2] = {{-1, 5}, {1 << 20, 1 << 20}, {100, 100}};
  for (const auto& h : headers) {
    TMemoryStream bad;
    bad.WriteBuffer(h, 8);
    bad.SetPosition(0);
    EXPECT_THROW(b.LoadFromStream(bad), EStreamError);
  }
}

TEST(Bitmap32, SampleBilinearIsStrictAtTheEdgesAndUsesTheGammaTable) {
  const uint8_t* g = BilinearGammaTable();
  EXPECT_EQ(g[0], 0);
  EXPECT_EQ(g[255], 255);
  EXPECT_EQ(g[128], Round(255 * std::pow(128 / 255.0, 0.7)));
  TBitmap32 b;
  Fill(b, 4, 4);
  b.OuterColor = 0x12345678u;
  EXPECT_EQ(b.SampleBilinear(0, 300), 0x12345678u);
  EXPECT_EQ(b.SampleBilinear(300, 0), 0x12345678u);
  EXPECT_EQ(b.SampleBilinear(3 * 256, 300), 0x12345678u);
  EXPECT_EQ(b.SampleBilinear(-100000, 300), 0x12345678u);
  const int32_t x = 256 + 77, y = 512 + 200;
  const uint32_t wx = g[255 - 77], wy = g[255 - 200];
  const TColor32 top = CombineReg(b.Pixel(1, 2), b.Pixel(2, 2), wx);
  const TColor32 bottom = CombineReg(b.Pixel(1, 3), b.Pixel(2, 3), wx);
  EXPECT_EQ(b.SampleBilinear(x, y), CombineReg(top, bottom, wy));
  EXPECT_EQ(b.SampleBilinear(std::numeric_limits<int32_t>::max(), 300), 0x12345678u);
}

TEST(Bitmap32, LinesFramesAndFillsAreClipped) {
  TBitmap32 b;
  b.Resize(8, 6);
  b.Clear(0);
  b.SetClipRect(MakeRect(1, 1, 7, 5));
  b.HorzLine(100, 2, -100, 0xFF0000FFu);  // ends reversed and far outside
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(b.Pixel(x, 2), (x >= 1 && x < 7) ? 0xFF0000FFu : 0u) << x;
  b.VertLine(3, 0, 0, 0xFFFF0000u);  // row 0 lies outside the clip
  EXPECT_EQ(b.Pixel(3, 0), 0u);
  b.VertLine(3, 4, 1, 0xFFFF0000u);
  for (int32_t y = 1; y <= 4; ++y) EXPECT_EQ(b.Pixel(3, y), 0xFFFF0000u);
  b.Clear(0);
  b.SetClipRect(b.BoundsRect());
  b.FillRect(MakeRect(-2147483647, 4, 2147483647, 2147483647), 0xFF00FF00u);
  for (int32_t x = 0; x < 8; ++x) {
    EXPECT_EQ(b.Pixel(x, 3), 0u);
    EXPECT_EQ(b.Pixel(x, 5), 0xFF00FF00u);
  }
  b.Clear(0);
  b.FrameRect(MakeRect(1, 1, 4, 4), 0xFFFFFFFFu);
  int set = 0;
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x) set += b.Pixel(x, y) != 0;
  EXPECT_EQ(set, 8);
  EXPECT_EQ(b.Pixel(2, 2), 0u);
  b.Clear(0);
  b.FrameRect(MakeRect(1, 2, 5, 3), 0xFFFFFFFFu);  // one pixel high: the top row only
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(b.Pixel(x, y), (y == 2 && x >= 1 && x < 5) ? 0xFFFFFFFFu : 0u);
  b.Clear(0);
  b.FrameRect(MakeRect(INT32_MIN, INT32_MIN + 1, 3, INT32_MAX), 0xFFFFFFFFu);  // only the right side shows
  for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(b.Pixel(2, y), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(1, 3), 0u);
  b.Clear(0xFF000000u);
  b.FillRectT(MakeRect(0, 0, 2, 2), 0x80FFFFFFu);
  EXPECT_EQ(b.Pixel(1, 1), BlendMem(0x80FFFFFFu, 0xFF000000u));
  b.CombineMode = cmMerge;
  b.SetPixelTS(5, 5, 0x80FFFFFFu);
  EXPECT_EQ(b.Pixel(5, 5), MergeMem(0x80FFFFFFu, 0xFF000000u));
}

TEST(Bitmap32, ClipRectStaysInsideTheBitmap) {
  TBitmap32 b;
  b.SetClipRect(MakeRect(0, 0, 10, 10));
  EXPECT_TRUE(b.ClipRect().IsEmpty());  // nothing to clip to yet
  b.Resize(16, 12);
  EXPECT_EQ(b.ClipRect(), b.BoundsRect());
  b.SetClipRect(MakeRect(-5, 3, 64, 64));
  EXPECT_EQ(b.ClipRect(), MakeRect(0, 3, 16, 12));
  b.SetClipRect(MakeRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
  EXPECT_EQ(b.ClipRect(), b.BoundsRect());
  b.SetClipRect(MakeRect(20, 0, 30, 12));  // misses the bitmap
  EXPECT_TRUE(b.ClipRect().IsEmpty());
  b.SetClipRect(MakeRect(2, 2, 5, 5));
  b.Resize(4, 3);  // a new size resets the clip, even when the old one would still fit
  EXPECT_EQ(b.ClipRect(), b.BoundsRect());
  b.SetClipRect(MakeRect(1, 1, 2, 2));
  b.Rotate90();
  EXPECT_EQ(b.ClipRect(), MakeRect(0, 0, 3, 4));
  b.Resize(0, 0);
  EXPECT_TRUE(b.ClipRect().IsEmpty());
}

// A clip wider and taller than the bitmap used to be trusted by the clipped pixel and line
// operations, which then wrote past the pixel memory (the sanitizer build saw a heap overflow
// from HorzLine(0, 20, 40) on a 16 x 16 bitmap clipped to 64 x 64). Now every clipped operation
// touches only the pixels of its own row or column inside the bitmap.
TEST(Bitmap32Crashers, WideClipHeapOverflow) {
  TBitmap32 b;
  b.Resize(16, 16);
  b.Clear(0);
  b.SetClipRect(MakeRect(0, 0, 64, 64));
  b.HorzLine(0, 20, 40, 0xFFFFFFFFu);
  EXPECT_TRUE(b.IsUniform(0));

  const TColor32 c = 0xFFFFFFFFu;
  const int32_t row = 2, col = 3;
  const std::vector<std::pair<const char*, std::function<void(TBitmap32&)>>> onRow = {
      {"HorzLine", [&](TBitmap32& t) { t.HorzLine(0, row, 40, c); }},
      {"HorzLine reversed", [&](TBitmap32& t) { t.HorzLine(63, row, -9, c); }},
      {"SetPixelS",
       [&](TBitmap32& t) {
         for (int32_t x = -8; x < 64; ++x) t.SetPixelS(x, row, c);
       }},
      {"SetPixelTS",
       [&](TBitmap32& t) {
         for (int32_t x = -8; x < 64; ++x) t.SetPixelTS(x, row, 0x80FFFFFFu);
       }},
      {"LineTS", [&](TBitmap32& t) { t.LineTS(0, row, 60, row, c); }},
      {"LineXS", [&](TBitmap32& t) { t.LineXS(0, row << 16, 60 << 16, row << 16, c); }},
      {"PlotAntialiased",
       [&](TBitmap32& t) {
         for (int32_t x = 14; x < 64; ++x) t.PlotAntialiased(x << 16, row << 16, c);
       }},
      {"HorzLineStippled", [&](TBitmap32& t) { t.SetStipple({c, 0xFF00FF00u}); t.HorzLineStippled(0, row, 50); }},
      {"LineToStippled", [&](TBitmap32& t) { t.SetStipple({c}); t.MoveTo(0, row << 16); t.LineToStippled(60 << 16, row << 16); }},
      {"FillRect", [&](TBitmap32& t) { t.FillRect(MakeRect(0, row, 64, row + 1), c); }},
      {"FillRectT", [&](TBitmap32& t) { t.FillRectT(MakeRect(0, row, 64, row + 1), 0x80FFFFFFu); }},
      {"FrameRect", [&](TBitmap32& t) { t.FrameRect(MakeRect(0, row, 64, row + 1), c); }},
      {"FrameRectStippled", [&](TBitmap32& t) { t.FrameRectStippled(0, row, 64, row + 1); }},
  };
  const std::vector<std::pair<const char*, std::function<void(TBitmap32&)>>> onColumn = {
      {"VertLine", [&](TBitmap32& t) { t.VertLine(col, 0, 40, c); }},
      {"VertLine reversed", [&](TBitmap32& t) { t.VertLine(col, 63, 10, c); }},
      {"VertLineStippled", [&](TBitmap32& t) { t.SetStipple({c}); t.VertLineStippled(col, 50, 0); }},
      {"LineTS", [&](TBitmap32& t) { t.LineTS(col, 0, col, 60, c); }},
  };
  for (int vertical = 0; vertical < 2; ++vertical) {
    for (const auto& [name, draw] : vertical ? onColumn : onRow) {
      b.Clear(0);
      b.SetClipRect(MakeRect(-8, -8, 64, 64));
      draw(b);
      int32_t drawn = 0;
      for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
          const bool own = vertical ? x == col : y == row;
          if (!own) {
            EXPECT_EQ(b.Pixel(x, y), 0u) << name << " wrote (" << x << ", " << y << ")";
          }
          drawn += b.Pixel(x, y) != 0;
        }
      }
      EXPECT_GT(drawn, 0) << name;
      // Points beyond the bitmap read the outer colour, whatever the clip was asked to be.
      EXPECT_EQ(b.PixelS(20, row), b.OuterColor) << name;
    }
  }
  // The tall case writes only past the end of the memory, where the sanitizer build watches.
  b.SetClipRect(MakeRect(0, 0, 64, 64));
  b.VertLine(col, 0, 63, c);
  b.LineTS(0, 0, 63, 63, c);
  b.VertLineStippled(col, 0, 63);
}

TEST(Bitmap32, FarAwayLinesEndQuickly) {
  TBitmap32 b;
  b.Resize(16, 16);
  b.Clear(0);
  b.LineTS(-2000000000, -2000000000, 2000000000, 2000000000, 0xFFFFFFFFu);
  for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(b.Pixel(i, i), 0xFFFFFFFFu) << i;
  b.LineXS(INT32_MIN, 0, INT32_MAX, 0, 0xFFFFFFFFu);
  b.LineXS(5 << 16, 5 << 16, 5 << 16, 5 << 16, 0xFFFFFFFFu);
  b.PlotAntialiased(INT32_MAX, INT32_MAX, 0xFFFFFFFFu);
  b.PlotAntialiased((3 << 16) + 0x8000, 2 << 16, 0xFF00FF00u);  // half on (3, 2), half on (4, 2)
  EXPECT_EQ(b.Pixel(3, 2), BlendMem(0x8000FF00u, 0));
  EXPECT_EQ(b.Pixel(4, 2), BlendMem(0x8000FF00u, 0));
}

TEST(Bitmap32, FlipsAndQuarterTurns) {
  TBitmap32 a, b;
  Fill(a, 3, 2);
  b.Assign(a);
  b.FlipHorizontal();
  EXPECT_EQ(b.Pixel(0, 1), a.Pixel(2, 1));
  b.Assign(a);
  b.FlipVertical();
  EXPECT_EQ(b.Pixel(1, 0), a.Pixel(1, 1));
  b.Assign(a);
  b.Rotate180();
  EXPECT_EQ(b.Pixel(0, 0), a.Pixel(2, 1));
  b.Assign(a);
  int resizes = 0;
  b.OnResize = [&](TThreadPersistent*) { ++resizes; };
  b.Rotate90();
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(resizes, 1);
  EXPECT_EQ(b.ClipRect(), b.BoundsRect());
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(b.Pixel(y, 3 - 1 - x), a.Pixel(x, y));
  b.Assign(a);
  b.Rotate270();
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(b.Pixel(2 - 1 - y, x), a.Pixel(x, y));
  b.Rotate90();  // a quarter turn back
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(b.Pixel(x, y), a.Pixel(x, y));
}

TEST(Bitmap32, InvertAlphaAndIsUniform) {
  TBitmap32 b;
  EXPECT_TRUE(b.IsUniform(0x12345678u));
  b.Resize(0, 5);
  EXPECT_TRUE(b.IsUniform(0x12345678u));
  b.Resize(5, 7);
  b.Clear(0x00ABCDEFu);
  int changes = 0;
  b.OnChange = [&](TThreadPersistent*) { ++changes; };
  b.InvertAlpha();
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(b.IsUniform(0xFFABCDEFu));
  b.SetPixel(4, 3, 0);  // the middle row is reached last
  EXPECT_FALSE(b.IsUniform(0xFFABCDEFu));
  b.InvertAlpha();
  EXPECT_EQ(b.Pixel(0, 0), 0x00ABCDEFu);
  EXPECT_EQ(b.Pixel(4, 3), 0xFF000000u);
}

TEST(Bitmap32, StippleColoursAndCounter) {
  TBitmap32 b;
  b.Resize(4, 4);
  EXPECT_EQ(b.GetStippleColor(), clBlack32);  // empty pattern
  EXPECT_EQ(b.StippleCounter, 0.0f);
  const TColor32 red = 0xFFFF0000u, blue = 0xFF0000FFu;
  b.SetStipple({red, blue});
  EXPECT_EQ(b.GetStippleColor(), red);
  EXPECT_EQ(b.GetStippleColor(), blue);
  EXPECT_EQ(b.GetStippleColor(), red);  // wrapped
  b.SetStipple({red, blue});
  b.SetStippleStep(0.5f);
  EXPECT_EQ(b.GetStippleColor(), red);
  // counter 0.5: index round(0) = 0, f = round(0.5 * 255) = 128
  EXPECT_EQ(b.GetStippleColor(), CombineReg(red, blue, 255 - 128));
  b.CombineMode = cmMerge;
  b.StippleCounter = 0.5f;
  EXPECT_EQ(b.GetStippleColor(), CombineMerge(red, blue, 255 - 128));
  b.SetStippleStep(std::numeric_limits<float>::quiet_NaN());
  b.GetStippleColor();
  b.AdvanceStippleCounter(1000);
  EXPECT_NE(b.GetStippleColor(), 0u);  // a broken step restarts the pattern, never crashes
  b.SetStippleStep(1);
  b.StippleCounter = 1.0e30f;
  b.GetStippleColor();
  EXPECT_GE(b.StippleCounter, 0.0f);
  EXPECT_LE(b.StippleCounter, 2.0f);
}

// The pattern stays anchored to the first end: a clipped line shows the same pixels as the
// same line drawn unclipped, and the counter ends in the same place.
TEST(Bitmap32, StippledLinesKeepTheirPatternWhenClipped) {
  const TArrayOfColor32 pattern = {0xFFFF0000u, 0x8000FF00u, 0xFF0000FFu, 0x40FFFFFFu, 0xFF000000u};
  for (int dir = 0; dir < 2; ++dir) {
    for (int vertical = 0; vertical < 2; ++vertical) {
      TBitmap32 full, clipped;
      full.Resize(40, 40);
      clipped.Resize(40, 40);
      full.Clear(0xFF808080u);
      clipped.Clear(0xFF808080u);
      clipped.SetClipRect(MakeRect(7, 7, 23, 23));
      for (TBitmap32* b : {&full, &clipped}) {
        b->SetStipple(pattern);
        b->SetStippleStep(0.75f);
        const int32_t a = dir ? 35 : 2, e = dir ? 2 : 35;
        if (vertical) {
          b->VertLineStippled(10, a, e);
        } else {
          b->HorzLineStippled(a, 10, e);
        }
      }
      EXPECT_FLOAT_EQ(std::fmod(full.StippleCounter, 5.0f), std::fmod(clipped.StippleCounter, 5.0f));
      for (int32_t i = 0; i < 40; ++i) {
        const int32_t x = vertical ? 10 : i, y = vertical ? i : 10;
        const bool inside = i >= 7 && i < 23;
        EXPECT_EQ(clipped.Pixel(x, y), inside ? full.Pixel(x, y) : 0xFF808080u) << dir << vertical << i;
      }
      // A line on a row outside the clip only advances the counter.
      const float before = clipped.StippleCounter;
      clipped.HorzLineStippled(0, 30, 3);
      EXPECT_NE(before, clipped.StippleCounter);
      EXPECT_EQ(clipped.Pixel(0, 30), 0xFF808080u);
    }
  }
}

TEST(Bitmap32, StippledFrameRunsClockwise) {
  TBitmap32 b;
  b.Resize(10, 10);
  b.Clear(0);
  TArrayOfColor32 pattern;
  for (uint32_t i = 1; i <= 12; ++i) pattern.push_back(0xFF000000u | i);
  b.SetStipple(pattern);
  b.FrameRectStippled(2, 2, 6, 5);  // 4 x 3: 10 border pixels
  const int32_t order[][2] = {{2, 2}, {3, 2}, {4, 2}, {5, 2}, {5, 3}, {5, 4}, {4, 4}, {3, 4}, {2, 4}, {2, 3}};
  for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(b.Pixel(order[i][0], order[i][1]), 0xFF000000u | (i + 1)) << i;
  EXPECT_EQ(b.Pixel(3, 3), 0u);
  b.Clear(0);
  b.SetStipple(pattern);
  b.FrameRectStippled(1, 1, 2, 2);
  EXPECT_EQ(b.Pixel(1, 1), 0xFF000001u);
  b.FrameRectStippled(5, 1, 5, 9);  // empty: nothing
  b.FrameRectStippled(12, 1, 20, 9);
  EXPECT_EQ(b.StippleCounter, 1.0f);
}

TEST(Bitmap32, LineToStippledMovesThePen) {
  TBitmap32 b;
  b.Resize(20, 20);
  b.Clear(0);
  b.SetStipple({0xFFFFFFFFu});
  b.MoveTo(2 << 16, 2 << 16);
  b.LineToStippled(12 << 16, 2 << 16);
  EXPECT_EQ(b.PenPos, (TFixedPoint{12 << 16, 2 << 16}));
  EXPECT_EQ(b.Pixel(5, 2), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(5, 3), 0u);
  b.LineToStippled(INT32_MAX, INT32_MIN);  // far away: ends, leaves the pen there
  EXPECT_EQ(b.PenPos.X, INT32_MAX);
}

}  // namespace
}  // namespace sw
