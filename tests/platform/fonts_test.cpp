#include "platform/fonts.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(fonts.Resolve("Verdana", 0).Family, "DejaVu Sans");
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
