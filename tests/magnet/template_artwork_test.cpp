// The template pictures drawn in code: the cutout's window, the mask around the magnet and its
// bleed, the clock's hour marks and the plain backgrounds, and the outlines refused.
#include "magnet/template_artwork.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "base/exception.h"
#include "magnet/cut_line.h"
#include "shapes/bitmap_shape.h"

namespace sw {
namespace {

TArtworkOutline Round50() {
  TArtworkOutline o;
  o.Width = o.Height = 50;
  o.Bleed = 3;
  o.Shape = TArtworkShape::Ellipse;
  o.PixelsPerMm = 4;
  return o;
}

TEST(TemplateArtwork, CoverageFollowsTheOutline) {
  const TArtworkOutline round = Round50();
  EXPECT_FLOAT_EQ(ShapeCoverage(round, 25, 25, 0, 0.25f), 1);
  EXPECT_FLOAT_EQ(ShapeCoverage(round, 1, 1, 0, 0.25f), 0);
  EXPECT_NEAR(ShapeCoverage(round, 0, 25, 0, 0.25f), 0.5f, 1e-4);
  // Grown by the bleed, the corner of the net square is still outside a circle.
  EXPECT_FLOAT_EQ(ShapeCoverage(round, 0, 0, 3, 0.25f), 0);
  EXPECT_NEAR(ShapeCoverage(round, -3, 25, 3, 0.25f), 0.5f, 1e-4);

  TArtworkOutline rounded = round;
  rounded.Shape = TArtworkShape::RoundedRectangle;
  rounded.Width = 85;
  rounded.Height = 55;
  rounded.CornerRadius = 3;
  EXPECT_FLOAT_EQ(ShapeCoverage(rounded, 0.2f, 0.2f, 0, 0.25f), 0);     // cut off by the corner
  EXPECT_FLOAT_EQ(ShapeCoverage(rounded, 0.2f, 27, 0, 0.25f), 1);       // straight side
  EXPECT_NEAR(ShapeCoverage(rounded, 85, 27, 0, 0.25f), 0.5f, 1e-4);
  const float diagonal = 3 - 3 / std::sqrt(2.0f);  // where the corner arc crosses the diagonal
  EXPECT_NEAR(ShapeCoverage(rounded, diagonal, diagonal, 0, 0.25f), 0.5f, 1e-3);

  // An ellipse's edge lies on its axes' ends.
  TArtworkOutline ellipse = round;
  ellipse.Width = 80;
  ellipse.Height = 40;
  EXPECT_NEAR(ShapeCoverage(ellipse, 40, 0, 0, 0.25f), 0.5f, 1e-3);
  EXPECT_NEAR(ShapeCoverage(ellipse, 80, 20, 0, 0.25f), 0.5f, 1e-3);
  EXPECT_FLOAT_EQ(ShapeCoverage(ellipse, 2, 2, 0, 0.25f), 0);
}

TEST(TemplateArtwork, MaskCoversThePaperBeyondTheBleed) {
  const std::unique_ptr<TBitmap32> mask = DrawCutoutMask(Round50());
  ASSERT_EQ(mask->Width(), 224);  // (50 + 2 x 3) mm at 4 pixels a millimetre
  ASSERT_EQ(mask->Height(), 224);
  EXPECT_EQ(mask->Pixel(0, 0), 0xFFFFFFFFu);          // the page's corner: white paper
  EXPECT_EQ(AlphaOf(mask->Pixel(112, 112)), 0u);       // the magnet shows through
  EXPECT_EQ(AlphaOf(mask->Pixel(2, 112)), 0u);         // so does the bleed band
  EXPECT_EQ(AlphaOf(mask->Pixel(112, 1)), 0u);
  // The corner of the net square lies beyond the bleed of a circle.
  EXPECT_EQ(mask->Pixel(13, 13), 0xFFFFFFFFu);
}

TEST(TemplateArtwork, CutoutShowsTheWindowAndTheClockMarks) {
  TArtworkOutline square = Round50();
  square.Shape = TArtworkShape::Rectangle;
  const std::unique_ptr<TBitmap32> clear = DrawCutoutImage(square, 0xFFFFFF, 128, false);
  for (int32_t y = 0; y < clear->Height(); y += 7) {
    for (int32_t x = 0; x < clear->Width(); x += 7) ASSERT_EQ(AlphaOf(clear->Pixel(x, y)), 0u);
  }

  const std::unique_ptr<TBitmap32> round = DrawCutoutImage(Round50(), 0x102030, 128, false);
  ASSERT_EQ(round->Width(), 200);
  EXPECT_EQ(round->Pixel(0, 0), 0x80102030u);  // the corner the cut takes away, at the frame's alpha
  EXPECT_EQ(AlphaOf(round->Pixel(100, 100)), 0u);
  EXPECT_EQ(AlphaOf(round->Pixel(100, 5)), 0u);
  EXPECT_EQ(AlphaOf(round->Pixel(100, 20)), 0u);

  const std::unique_ptr<TBitmap32> clock = DrawCutoutImage(Round50(), 0xFFFFFF, 128, true);
  // Twelve o'clock's mark runs from 78 % to 92 % of the radius (100 pixels) above the centre,
  // three o'clock's to the right; one o'clock's finer mark lies at 30°; half-way between twelve
  // and one, and at the centre, the face stays clear.
  EXPECT_EQ(clock->Pixel(100, 100 - 85), 0xFF404040u);
  EXPECT_EQ(clock->Pixel(100 + 85, 100), 0xFF404040u);
  EXPECT_GT(AlphaOf(clock->Pixel(143, 100 - 75)), 128u);
  EXPECT_EQ(AlphaOf(clock->Pixel(122, 100 - 84)), 0u);
  EXPECT_EQ(AlphaOf(clock->Pixel(100, 100)), 0u);
}

TEST(TemplateArtwork, PlainBackgroundShadesDownwards) {
  TArtworkOutline o = Round50();
  const std::unique_ptr<TBitmap32> flat = DrawPlainBackground(o, 0xC08040, 0);
  EXPECT_EQ(flat->Pixel(0, 0), 0xFFC08040u);
  EXPECT_EQ(flat->Pixel(199, 199), 0xFFC08040u);
  const std::unique_ptr<TBitmap32> shaded = DrawPlainBackground(o, 0xC08040, 50);
  EXPECT_EQ(shaded->Pixel(10, 0), 0xFFC08040u);
  EXPECT_EQ(shaded->Pixel(10, 199), 0xFF604020u);
}

TEST(TemplateArtwork, RefusesOutlinesNoPictureCanHave) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto refused = [](TArtworkOutline o) {
    try {
      CheckArtworkOutline(o);
    } catch (const Exception&) {
      return true;
    }
    return false;
  };
  TArtworkOutline o = Round50();
  EXPECT_FALSE(refused(o));
  o.Width = 0;
  EXPECT_TRUE(refused(o));
  o = Round50();
  o.Height = nan;
  EXPECT_TRUE(refused(o));
  o = Round50();
  o.Bleed = -1;
  EXPECT_TRUE(refused(o));
  o = Round50();
  o.Shape = TArtworkShape::RoundedRectangle;
  o.CornerRadius = 26;  // more than half the side
  EXPECT_TRUE(refused(o));
  o = Round50();
  o.PixelsPerMm = 1000;  // a picture of 56 000 pixels a side
  EXPECT_TRUE(refused(o));
  EXPECT_THROW(DrawCutoutMask(o), Exception);
}

// The cut follows a shaped window, its hour marks left to the design; a rectangle's cutout (all
// window) and one speckled with holes (no edge to follow, and a trace without end) keep the
// rectangle.
TEST(TemplateArtwork, OnlyAShapedWindowIsCutAlong) {
  auto outlineOf = [](const TBitmap32& picture) {
    TdtpBitmapShape shape;
    shape.Resource().SetBitmap(&picture);
    shape.SetWidth(50);
    shape.SetHeight(50);
    return TCutOutline::OfCutout(shape);
  };
  TArtworkOutline round = Round50();
  round.PixelsPerMm = 300 / 25.4f;
  const std::shared_ptr<TCutOutline> cut = outlineOf(*DrawCutoutImage(round, 0xFFFFFF, 128, true));
  ASSERT_NE(cut, nullptr);
  const std::vector<TCutSegment>& edge = cut->TraceAt(20);
  EXPECT_GT(edge.size(), 3000u);
  for (const TCutSegment& s : edge) ASSERT_NEAR(std::hypot(s.A.X - 25, s.A.Y - 25), 25, 0.05) << s.A.X << "," << s.A.Y;

  TArtworkOutline card = round;
  card.Shape = TArtworkShape::Rectangle;
  EXPECT_EQ(outlineOf(*DrawCutoutImage(card, 0xFFFFFF, 128, false)), nullptr);
  TBitmap32 speckled;
  speckled.SetSize(400, 400);
  for (int32_t y = 0; y < 400; ++y) {
    for (int32_t x = 0; x < 400; ++x) speckled.SetPixel(x, y, x % 2 && y % 2 ? 0x00FFFFFFu : 0xFFFFFFFFu);
  }
  EXPECT_EQ(outlineOf(speckled), nullptr);
}

}  // namespace
}  // namespace sw
