#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#include "support/machine_fonts.h"

namespace sw {
namespace {

class TextMeasuring : public test::MachineFonts {};
class TextDrawing : public test::MachineFonts {};

const TFont kWhite{"Arial", 40, 0, clWhite32};

// Bounding box of the pixels drawing touched (alpha 0 on an opaque background).
TRect TouchedBox(const TBitmap32& b) {
  TRect r{b.Width(), b.Height(), -1, -1};
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
      if (AlphaOf(b.Pixel(x, y)) == 0) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
    }
  }
  return r;
}

void Prepare(TBitmap32& b, int32_t w, int32_t h, TColor32 background = clBlack32) {
  b.Resize(w, h);
  b.Clear(background);
}

TEST_F(TextMeasuring, GrowsWithTextAndHasTheCellHeight) {
  int32_t previous = 0;
  for (const char16_t* s : {u"W", u"WW", u"WWW", u"WWW i"}) {
    const TSize e = TextExtent(kWhite, s, Fonts());
    EXPECT_GT(e.cx, previous) << std::u16string_view(s).size();
    EXPECT_EQ(e.cy, 40);
    previous = e.cx;
  }
  for (int32_t h : {9, 17, 35, 142, 1000}) EXPECT_EQ(TextExtent(TFont{"Verdana", h, 0, 0}, u"Text", Fonts()).cy, h);
  // The text shapes fit a font to a stored width by stepping the height one pixel at a time, which
  // needs widths that never shrink as the height grows.
  for (const char* name : {"Arial", "Verdana", "DejaVu Serif"}) {
    int32_t last = 0;
    for (int32_t h = 1; h <= 300; ++h) {
      const int32_t cx = TextExtent(TFont{name, h, fsBold, 0}, u"Fridge magnet 42", Fonts()).cx;
      ASSERT_GE(cx, last) << name << " " << h;
      last = cx;
    }
  }
  // Width scales with the height.
  EXPECT_GT(TextExtent(TFont{"Arial", 80, 0, 0}, u"Magnet", Fonts()).cx, TextExtent(kWhite, u"Magnet", Fonts()).cx * 19 / 10);
  // A negative height is the character height: the cell is taller.
  EXPECT_GT(TextExtent(TFont{"Arial", -40, 0, 0}, u"x", Fonts()).cy, 40);
  EXPECT_EQ(TextExtent(kWhite, u"", Fonts()).cx, 0);
  // Unpaired surrogates and control characters are harmless.
  const char16_t odd[] = {0xD800, u'a', 0xDC00, 0x0001, 0xD83D, 0xDE00, 0};
  EXPECT_GT(TextExtent(kWhite, odd, Fonts()).cx, 0);
}

TEST_F(TextDrawing, CoverageInColourBytesAndAlphaZero) {
  TBitmap32 b;
  Prepare(b, 300, 80);
  TRect r{10, 10, 290, 70};
  EXPECT_EQ(DrawText(b, kWhite, r, dtNoPrefix, std::u16string_view(u"Hello"), Fonts()), 40);
  int touched = 0, full = 0, partial = 0;
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
      const TColor32 c = b.Pixel(x, y);
      if (AlphaOf(c) == 255) {
        EXPECT_EQ(c, clBlack32);  // untouched pixels keep everything
        continue;
      }
      ASSERT_EQ(AlphaOf(c), 0u);
      ++touched;
      // White over black: grey levels, one coverage value in every channel.
      EXPECT_EQ(BlueOf(c), RedOf(c));
      EXPECT_EQ(BlueOf(c), GreenOf(c));
      if (BlueOf(c) == 255) ++full;
      if (BlueOf(c) > 0 && BlueOf(c) < 255) ++partial;
    }
  }
  EXPECT_GT(touched, 200);
  EXPECT_GT(full, 50);
  EXPECT_GT(partial, 20);  // antialiased edges
  const TRect box = TouchedBox(b);
  EXPECT_GE(box.Left, 10);
  EXPECT_GE(box.Top, 10);
  EXPECT_LE(box.Bottom, 50);
}

TEST_F(TextDrawing, AlphaInversionMarksExactlyTheTextOpaque) {
  TBitmap32 b;
  Prepare(b, 200, 60, 0x40336699u);
  for (int32_t i = 0; i < 200 * 60; ++i) b.Bits()[i] ^= 0xFF000000u;
  TRect r{0, 0, 200, 60};
  DrawText(b, TFont{"Arial", 30, 0, 0xFFFF0000u}, r, 0, std::u16string_view(u"Red"), Fonts());
  for (int32_t i = 0; i < 200 * 60; ++i) b.Bits()[i] ^= 0xFF000000u;
  int opaque = 0;
  for (int32_t i = 0; i < 200 * 60; ++i) {
    const TColor32 c = b.Bits()[i];
    if (c == 0x40336699u) continue;
    ASSERT_EQ(AlphaOf(c), 255u);
    ++opaque;
  }
  EXPECT_GT(opaque, 100);
}

TEST_F(TextDrawing, AlignmentFlagsMoveTheText) {
  auto boxFor = [](uint32_t format) {
    TBitmap32 b;
    Prepare(b, 400, 200);
    TRect r{0, 0, 400, 200};
    DrawText(b, kWhite, r, format | dtSingleLine, std::u16string_view(u"Mid"), Fonts());
    return TouchedBox(b);
  };
  const TRect left = boxFor(dtLeft), centre = boxFor(dtCenter), right = boxFor(dtRight);
  const int32_t w = TextExtent(kWhite, u"Mid", Fonts()).cx;
  EXPECT_LT(left.Left, 10);
  EXPECT_NEAR(centre.Left, left.Left + (400 - w) / 2, 1);
  EXPECT_NEAR(right.Left, left.Left + 400 - w, 1);
  const TRect top = boxFor(dtTop), vcentre = boxFor(dtVCenter), bottom = boxFor(dtBottom);
  EXPECT_EQ(vcentre.Top, top.Top + 80);
  EXPECT_EQ(bottom.Top, top.Top + 160);
}

TEST_F(TextDrawing, UnderlineAndStrikeOut) {
  const TFontMetrics m = Fonts().Metrics(kWhite);
  auto rowsTouched = [](const TFont& f) {
    TBitmap32 b;
    Prepare(b, 300, 60);
    TRect r{0, 0, 300, 60};
    DrawText(b, f, r, 0, std::u16string_view(u"ace"), Fonts());
    std::vector<int> rows(60, 0);
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 0; x < 300; ++x) rows[static_cast<size_t>(y)] += AlphaOf(b.Pixel(x, y)) == 0;
    return rows;
  };
  const std::vector<int> plain = rowsTouched(kWhite);
  TFont under = kWhite;
  under.Style = fsUnderline;
  const std::vector<int> lined = rowsTouched(under);
  const int32_t width = TextExtent(kWhite, u"ace", Fonts()).cx;
  // "ace" has no descenders: below the baseline only the underline draws, across the text.
  for (int32_t y = m.Ascent + 1; y < 60; ++y) EXPECT_EQ(plain[static_cast<size_t>(y)], 0) << y;
  for (int32_t y = m.UnderlineTop; y < m.UnderlineTop + m.UnderlineThickness; ++y) {
    EXPECT_GE(m.UnderlineTop, m.Ascent);
    EXPECT_EQ(lined[static_cast<size_t>(y)], width) << y;
  }
  TFont strike = kWhite;
  strike.Style = fsStrikeOut;
  const std::vector<int> struck = rowsTouched(strike);
  EXPECT_EQ(struck[static_cast<size_t>(m.StrikeOutTop)], width);
  EXPECT_LT(m.StrikeOutTop, m.Ascent);
}

TEST_F(TextDrawing, LinesWordBreakClipAndCalcRect) {
  TBitmap32 b;
  Prepare(b, 200, 200);
  TRect r{0, 0, 200, 200};
  EXPECT_EQ(DrawText(b, kWhite, r, 0, std::u16string_view(u"A\r\nB\nC"), Fonts()), 120);
  EXPECT_EQ(DrawText(b, kWhite, r, dtSingleLine, std::u16string_view(u"A\r\nB"), Fonts()), 40);

  // Word break: a narrow rectangle takes more lines; calc-rect reports them without drawing.
  TBitmap32 c;
  Prepare(c, 200, 200);
  TRect calc{5, 5, 105, 5};
  const int32_t h =
      DrawText(c, kWhite, calc, dtWordBreak | dtCalcRect, std::u16string_view(u"one two three four"), Fonts());
  EXPECT_GE(h, 120);
  EXPECT_EQ(calc.Bottom, 5 + h);
  EXPECT_LE(calc.Right, 105 + 40);
  EXPECT_EQ(TouchedBox(c).Right, -1);

  // Clipping to the rectangle unless dtNoClip.
  TBitmap32 d;
  Prepare(d, 300, 100);
  TRect small{0, 0, 30, 20};
  DrawText(d, kWhite, small, 0, std::u16string_view(u"Wide text"), Fonts());
  EXPECT_LE(TouchedBox(d).Right, 30);
  EXPECT_LE(TouchedBox(d).Bottom, 20);
  DrawText(d, kWhite, small, dtNoClip, std::u16string_view(u"Wide text"), Fonts());
  EXPECT_GT(TouchedBox(d).Right, 100);

  // Prefix handling: "&&" draws one ampersand, a single one is dropped.
  TRect pr{0, 0, 300, 50};
  TRect pn = pr;
  DrawText(d, kWhite, pr, dtCalcRect, std::u16string_view(u"a&&b&c"), Fonts());
  DrawText(d, kWhite, pn, dtCalcRect | dtNoPrefix, std::u16string_view(u"a&bc"), Fonts());
  EXPECT_EQ(pr.Right, pn.Right);

  // Text far outside the bitmap and an empty bitmap are safe.
  TRect far{-2000000000, 2000000000, 2000000000, 2100000000};
  DrawText(d, kWhite, far, dtCenter | dtBottom, std::u16string_view(u"x"), Fonts());
  // Glyphs too large to keep in the cache are rendered per use, with the same result.
  TBitmap32 big1, big2;
  Prepare(big1, 120, 120);
  Prepare(big2, 120, 120);
  const TFont huge{"Arial", 2000, 0, clWhite32};
  TRect br{-300, -700, 2000, 2000};
  DrawText(big1, huge, br, dtNoPrefix, std::u16string_view(u"AV"), Fonts());
  DrawText(big2, huge, br, dtNoPrefix, std::u16string_view(u"AV"), Fonts());
  EXPECT_NE(TouchedBox(big1).Right, -1);
  EXPECT_TRUE(std::equal(big1.Bits(), big1.Bits() + 120 * 120, big2.Bits()));

  TBitmap32 empty;
  TRect e{0, 0, 10, 10};
  EXPECT_EQ(DrawText(empty, kWhite, e, 0, std::string_view("utf-8 \xC3\xA4"), Fonts()), 40);
}

}  // namespace
}  // namespace sw
