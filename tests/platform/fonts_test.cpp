#include "platform/fonts.h"

#include <gtest/gtest.h>

#include <array>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/text.h"
#include "support/machine_fonts.h"

namespace sw {
namespace {

class FontResolve : public test::MachineFonts {};
class FontMetrics : public test::MachineFonts {};
class FontSystem : public test::MachineFonts {};

TEST_F(FontResolve, FamiliesFindTheirMetricCompatibleFaces) {
  TFontSystem& fonts = Fonts();
  EXPECT_EQ(fonts.Resolve("Arial", 0).Family, "Liberation Sans");
  // A family without a metric-compatible face takes the configured sans-serif.
  EXPECT_EQ(fonts.Resolve("Verdana", 0).File, fonts.Resolve("sans-serif", 0).File);
  const TFaceInfo fallback = fonts.Resolve("", 0);
  const TFaceInfo unknown = fonts.Resolve("No Such Typeface 4711", 0);
  EXPECT_EQ(unknown.Family, fallback.Family);
  EXPECT_EQ(unknown.File, fonts.Resolve("sans-serif", 0).File);
  EXPECT_FALSE(unknown.File.empty());
}

TEST_F(FontResolve, BoldAndItalicFacesOrSynthesis) {
  TFontSystem& fonts = Fonts();
  const TFaceInfo bold = fonts.Resolve("Arial", fsBold);
  EXPECT_EQ(bold.Family, "Liberation Sans");
  EXPECT_EQ(bold.StyleName, "Bold");
  EXPECT_FALSE(bold.SyntheticBold);
  const TFaceInfo bi = fonts.Resolve("Arial", fsBold | fsItalic | fsUnderline);
  EXPECT_EQ(bi.StyleName, "Bold Italic");
  EXPECT_FALSE(bi.SyntheticItalic);
  EXPECT_NE(bi.File, bold.File);

  // A family with a regular face only gets both styles synthesised.
  const TFaceInfo math = fonts.Resolve("DejaVu Math TeX Gyre", fsBold | fsItalic);
  EXPECT_EQ(math.Family, "DejaVu Math TeX Gyre");
  EXPECT_TRUE(math.SyntheticBold);
  EXPECT_TRUE(math.SyntheticItalic);
  EXPECT_FALSE(fonts.Resolve("DejaVu Math TeX Gyre", 0).SyntheticBold);

  // Synthetic bold widens the run; a real bold face is wider too.
  TFont regular{"DejaVu Math TeX Gyre", 40, 0, clBlack32};
  TFont emboldened = regular;
  emboldened.Style = fsBold;
  EXPECT_GT(fonts.RunWidth(emboldened, u"mmmm"), fonts.RunWidth(regular, u"mmmm"));
}

TEST_F(FontMetrics, PositiveIsCellNegativeIsCharacterHeight) {
  TFontSystem& fonts = Fonts();
  for (int32_t h : {7, 13, 40, 141, 600}) {
    const TFontMetrics m = fonts.Metrics(TFont{"Arial", h, 0, clBlack32});
    EXPECT_EQ(m.Height, h);
    EXPECT_EQ(m.Ascent + m.Descent, h);
    EXPECT_GT(m.Ascent, m.Descent);
    EXPECT_GE(m.InternalLeading, 0);
    EXPECT_LT(m.EmPixels, h);
  }
  const TFontMetrics cell = fonts.Metrics(TFont{"Arial", 100, 0, clBlack32});
  EXPECT_GT(cell.InternalLeading, 5);  // Liberation Sans: cell about 1.15 em
  EXPECT_GT(cell.AveCharWidth, 20);
  EXPECT_LT(cell.AveCharWidth, 70);
  EXPECT_GE(cell.MaxCharWidth, cell.AveCharWidth);
  EXPECT_GE(cell.UnderlineTop, cell.Ascent);
  EXPECT_LE(cell.UnderlineTop + cell.UnderlineThickness, cell.Height);
  EXPECT_LT(cell.StrikeOutTop, cell.Ascent);

  const TFontMetrics em = fonts.Metrics(TFont{"Arial", -100, 0, clBlack32});
  EXPECT_DOUBLE_EQ(em.EmPixels, 100);
  EXPECT_EQ(em.InternalLeading, em.Height - 100);
  EXPECT_GT(em.Height, 100);
  // Heights 0 and absurd values stay usable.
  EXPECT_GT(fonts.Metrics(TFont{"Arial", 0, 0, clBlack32}).Height, 0);
  EXPECT_EQ(fonts.Metrics(TFont{"Arial", 2000000000, 0, clBlack32}).Height, TFont::kMaxFontPixels);
}

// Glyph ids and pen positions as HarfBuzz itself shapes these lines, in font units: at an em of
// one unit per pixel (the faces' units per em) our positions must be the same numbers.
struct TShapingCase {
  const char* Font;
  int32_t UnitsPerEm;
  const char16_t* Text;
  std::vector<std::array<int32_t, 3>> Glyphs;  // glyph id, x, y (down)
  int32_t Width;
};

TEST_F(FontSystem, ShapesAsTheShaperDoes) {
  const std::vector<TShapingCase> cases = {
      // "ffi" ligature and pair kerning of A V A T A R.
      {"DejaVu Sans", 2048, u"office AVATAR",
       {{82, 0, 0}, {5044, 1253, 0}, {70, 3233, 0}, {72, 4359, 0}, {3, 5619, 0}, {36, 6270, 0}, {57, 7540, 0},
        {36, 8810, 0}, {55, 10052, 0}, {36, 11144, 0}, {53, 12545, 0}},
       13968},
      // Kerning from the positioning table only (the face has no legacy kerning).
      {"Liberation Sans", 2048, u"AVATAR To",
       {{36, 0, 0}, {57, 1214, 0}, {36, 2428, 0}, {55, 3642, 0}, {36, 4741, 0}, {53, 6107, 0}, {3, 7586, 0},
        {55, 8118, 0}, {82, 9142, 0}},
       10281},
      // Arabic joining forms, right to left: the last letter stands leftmost.
      {"Noto Sans Arabic", 1000, u"\u0645\u0631\u062D\u0628\u0627",
       {{47, 0, 0}, {104, 291, 0}, {417, 634, 0}, {979, 1183, 0}, {771, 1579, 0}}, 2104},
      // Devanagari conjunct (s + virama + t) and a vowel sign above.
      {"Noto Sans Devanagari", 1000, u"\u0928\u092E\u0938\u094D\u0924\u0947",
       {{44, 0, 0}, {50, 555, 0}, {215, 1153, 0}, {40, 1542, 0}, {75, 2112, 0}}, 2112},
      // A combining acute placed over its base by mark positioning.
      {"DejaVu Sans", 2048, u"q\u0301", {{84, 0, 0}, {690, 1135, 0}}, 1300},
      {"Noto Color Emoji", 2048, u"\U0001F600", {{883, 0, 0}}, 2550},
  };
  for (const TShapingCase& c : cases) {
    const TFont font{c.Font, -c.UnitsPerEm, 0, clBlack32};
    ASSERT_EQ(Fonts().Resolve(c.Font, 0).Family, c.Font) << "install-deps installs it";
    const std::vector<TLineGlyph> glyphs = Fonts().LineGlyphs(font, c.Text);
    ASSERT_EQ(glyphs.size(), c.Glyphs.size()) << c.Font;
    for (size_t i = 0; i < glyphs.size(); ++i) {
      EXPECT_EQ(glyphs[i].Glyph, static_cast<uint32_t>(c.Glyphs[i][0])) << c.Font << " glyph " << i;
      EXPECT_NEAR(glyphs[i].X, c.Glyphs[i][1], 0.01) << c.Font << " glyph " << i;
      EXPECT_NEAR(glyphs[i].Y, c.Glyphs[i][2], 0.01) << c.Font << " glyph " << i;
      EXPECT_EQ(glyphs[i].Family, c.Font);
    }
    EXPECT_NEAR(Fonts().RunWidth(font, c.Text), c.Width, 0.01) << c.Font;
  }
}

TEST_F(FontSystem, MissingCharactersComeFromAFaceThatHasThem) {
  const TFont font{"Arial", 60, 0, clWhite32};
  // One character per script: the font's own face where it has it, else a fallback face that
  // draws it at the same em; emoji from the colour face.
  struct TCase {
    char32_t Character;
    bool Own;
  };
  for (const TCase c : {TCase{U'\u0416', true}, TCase{U'\u03A9', true}, TCase{U'\u65E5', false},
                        TCase{U'\uD55C', false}, TCase{U'\u0645', false}, TCase{U'\u05D0', true},
                        TCase{U'\u0928', false}, TCase{U'\u0B95', false}, TCase{U'\u0E01', false},
                        TCase{U'\U0001F600', false}}) {
    const std::string family = Fonts().FamilyFor(font, c.Character);
    ASSERT_FALSE(family.empty()) << std::hex << uint32_t(c.Character);
    EXPECT_EQ(family == "Liberation Sans", c.Own) << std::hex << uint32_t(c.Character) << " " << family;
    std::u16string text;
    if (c.Character > 0xFFFF) {
      text += char16_t(0xD800 + ((c.Character - 0x10000) >> 10));
      text += char16_t(0xDC00 + ((c.Character - 0x10000) & 0x3FF));
    } else {
      text += char16_t(c.Character);
    }
    const std::vector<TLineGlyph> glyphs = Fonts().LineGlyphs(font, text);
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_NE(glyphs[0].Glyph, 0u) << family;
    EXPECT_EQ(glyphs[0].Family, family);
    // Drawn at the size of the line's font, not the fallback face's own cell.
    TBitmap32 b;
    b.Resize(200, 100);
    b.Clear(clBlack32);
    TRect r{0, 0, 200, 100};
    DrawText(b, font, r, 0, std::u16string_view(text), Fonts());
    int32_t top = 100, bottom = -1;
    bool coloured = false;
    for (int32_t y = 0; y < 100; ++y) {
      for (int32_t x = 0; x < 200; ++x) {
        const TColor32 p = b.Pixel(x, y);
        if (AlphaOf(p) != 0) continue;
        top = std::min(top, y), bottom = std::max(bottom, y);
        coloured |= RedOf(p) != BlueOf(p) || GreenOf(p) != BlueOf(p);
      }
    }
    EXPECT_GT(bottom - top, 25) << family;
    EXPECT_LT(bottom - top, 70) << family;
    EXPECT_EQ(coloured, c.Character == U'\U0001F600') << family;
  }
  EXPECT_EQ(Fonts().FamilyFor(font, U'\U0010FFFD'), "");  // private use: no face has it
  // The message's own font is what it asks for: fallback changes no resolution.
  EXPECT_EQ(Fonts().Resolve("Arial", 0).Family, "Liberation Sans");
}

TEST_F(FontSystem, RightToLeftRunsStandInVisualOrder) {
  const TFont font{"DejaVu Sans", 40, 0, clBlack32};
  // Left-to-right line: the Arabic word is reversed in place, the Latin ones keep their order.
  const std::u16string arabic = u"\u0645\u0631\u062D\u0628\u0627";
  const std::vector<TLineGlyph> alone = Fonts().LineGlyphs(font, arabic);
  const std::vector<TLineGlyph> ab = Fonts().LineGlyphs(font, u"ab");
  const std::vector<TLineGlyph> mixed = Fonts().LineGlyphs(font, u"ab " + arabic + u" ab");
  ASSERT_EQ(mixed.size(), 2 + 1 + alone.size() + 1 + 2);
  EXPECT_EQ(mixed[0].Glyph, ab[0].Glyph);
  EXPECT_EQ(mixed[1].Glyph, ab[1].Glyph);
  for (size_t i = 0; i < alone.size(); ++i) EXPECT_EQ(mixed[3 + i].Glyph, alone[i].Glyph) << i;
  EXPECT_EQ(mixed.back().Glyph, ab[1].Glyph);
  // A line that starts right to left runs right to left: a Latin word after the Arabic one in
  // the text stands left of it, and so does a number, which reads left to right.
  const std::vector<TLineGlyph> digits = Fonts().LineGlyphs(font, u"12");
  for (const std::u16string& tail : {std::u16string(u"ab"), std::u16string(u"12")}) {
    const std::vector<TLineGlyph> rtl = Fonts().LineGlyphs(font, arabic + u" " + tail);
    const std::vector<TLineGlyph>& first = tail == u"ab" ? ab : digits;
    ASSERT_EQ(rtl.size(), alone.size() + 3);
    EXPECT_EQ(rtl[0].Glyph, first[0].Glyph);
    EXPECT_EQ(rtl[1].Glyph, first[1].Glyph);
    for (size_t i = 0; i < alone.size(); ++i) EXPECT_EQ(rtl[3 + i].Glyph, alone[i].Glyph) << i;
    for (size_t i = 1; i < rtl.size(); ++i) EXPECT_GT(rtl[i].X, rtl[i - 1].X) << i;
  }
}

TEST_F(FontSystem, NoFontsIsAClearError) {
  const std::filesystem::path empty = std::filesystem::temp_directory_path() / "sw-no-fonts";
  std::filesystem::create_directories(empty);
  TFontSystem none({empty.string()});
  try {
    none.Resolve("Arial", 0);
    FAIL() << "resolved without fonts";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "No font available for \"Arial\"");
  }
  EXPECT_THROW(TextExtent(TFont{}, u"abc", none), Exception);
  TBitmap32 b;
  b.Resize(10, 10);
  TRect r{0, 0, 10, 10};
  EXPECT_THROW(DrawText(b, TFont{}, r, 0, std::u16string_view(u"abc"), none), Exception);
}

TEST_F(FontSystem, PrivateFolderAndSharedUseFromThreads) {
  TFontSystem only({"/usr/share/fonts/truetype/dejavu"});
  const TFaceInfo f = only.Resolve("DejaVu Serif", 0);
  EXPECT_EQ(f.Family, "DejaVu Serif");

  // Measuring and drawing from several threads at once through one system, with the size
  // instances and glyphs coming and going: every thread must get what one thread alone gets.
  TFontSystem& fonts = Fonts();
  const TFont probe{"Arial", 20, fsUnderline, clWhite32};
  const double expected = fonts.RunWidth(probe, u"Threaded text");
  auto draw = [&](TBitmap32& b) {
    b.Resize(200, 30);
    b.Clear(clBlack32);
    TRect r{0, 0, 200, 30};
    DrawText(b, probe, r, 0, std::u16string_view(u"Threaded text"), fonts);
  };
  TBitmap32 alone;
  draw(alone);
  const std::vector<TColor32> reference(alone.Bits(), alone.Bits() + 200 * 30);
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      TBitmap32 mine;
      for (int i = 0; i < 60; ++i) {
        const int32_t h = 10 + (i * 7 + t * 13) % 200;
        fonts.RunWidth(TFont{"Verdana", h, static_cast<uint8_t>(i & 3), clBlack32}, u"abc xyz");
        if (fonts.RunWidth(probe, u"Threaded text") != expected) ++mismatches;
        draw(mine);
        if (!std::equal(reference.begin(), reference.end(), mine.Bits())) ++mismatches;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace sw
