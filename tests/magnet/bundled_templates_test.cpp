// The templates the build generates: each one opens as "select template" opens it, names itself
// from its file, and lays out on A4 or Letter as the sheet it is made for, every copy on the paper; the
// round and rounded ones print their mask around the magnet on pre-cut paper.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "engine/shape.h"
#include "magnet/guide_sheet.h"
#include "magnet/magnet_design.h"
#include "magnet/print_layout.h"
#include "magnet/print_sheet.h"
#include "magnet_test_support.h"

namespace sw {
namespace {

struct TBundled {
  const char* File;
  const char* Name;
  const char* Type;
  float Width, Height;  // net size as designed
  float Bleed;
  int32_t Columns, Rows;
  // The mask leaves white paper at the net area's corners (a round magnet; rounded corners are
  // within the bleed band there).
  bool Round;
  float OuterX, OuterY;
  // Cut along the cutout's window, not a rectangle.
  bool Shaped;
  int32_t PaperWidth = 210, PaperHeight = 297;
};

const TBundled kBundled[] = {
    {"Business_Card_90x50.fmt", "Business Card 90x50", kTemplateTypeBasic, 90, 50, 3, 2, 5, false, 15, 23, false},
    {"Business_Card_85x55.fmt", "Business Card 85x55", kTemplateTypeBasic, 85, 55, 3, 2, 5, false, 20, 11, true},
    {"Round_Magnet_50mm.fmt", "Round Magnet 50mm", kTemplateTypeBasic, 50, 50, 3, 3, 5, true, 25, 13.5, true},
    {"Round_Magnet_64mm.fmt", "Round Magnet 64mm", kTemplateTypeBasic, 64, 64, 3, 2, 4, true, 38.5, 13, true},
    {"Square_Magnet_75mm.fmt", "Square Magnet 75mm", kTemplateTypeBasic, 75, 75, 3, 2, 3, false, 27.5, 31, true},
    {"Photo_89x127.fmt", "Photo 89x127", kTemplateTypeBasic, 89, 127, 3, 2, 2, false, 13.5, 19, false},
    {"Photo_102x152_Landscape.fmt", "Photo 102x152 Landscape", kTemplateTypeBasic, 152, 102, 3, 1, 2, false, 29, 44,
     false},
    {"Clock_Face_150mm.fmt", "Clock Face 150mm", kTemplateTypeClockFace, 150, 150, 3, 1, 1, true, 30, 73.5, true},
    // US Letter, in whole millimetres.
    {"Business_Card_3.5x2in.fmt", "Business Card 3.5x2in", kTemplateTypeBasic, 89, 51, 3, 2, 5, false, 19, 12, false,
     216, 279},
    {"Round_Magnet_2in.fmt", "Round Magnet 2in", kTemplateTypeBasic, 51, 51, 3, 3, 4, true, 26.5, 30, true, 216, 279},
    {"Round_Magnet_2.5in.fmt", "Round Magnet 2.5in", kTemplateTypeBasic, 64, 64, 3, 2, 4, true, 39.5, 7, true, 216,
     279},
    {"Photo_4x6in_Landscape.fmt", "Photo 4x6in Landscape", kTemplateTypeBasic, 152, 102, 3, 1, 2, false, 32, 35, false,
     216, 279},
};

class BundledTemplates : public test::MagnetFixture {
protected:
  std::unique_ptr<TMagnetDesign> Open(const char* file) {
    auto magnet = NewMagnet();
    magnet->OpenTemplate(std::string(STICKWELL_TEMPLATE_DIR) + "/" + file);
    return magnet;
  }
};

// A pixel of the cutting line (black, or nearly where its edge is smoothed).
bool Dark(TColor32 c) { return RedOf(c) < 128 && GreenOf(c) < 128 && BlueOf(c) < 128; }

// A thin line passes the pixel at (x, y) mm of a page rendered at dpm, or one of its neighbours.
bool LineNear(const TBitmap32& page, double x, double y, double dpm) {
  const auto px = static_cast<int32_t>(x * dpm), py = static_cast<int32_t>(y * dpm);
  for (int32_t dy = -1; dy <= 1; ++dy) {
    for (int32_t dx = -1; dx <= 1; ++dx) {
      if (RedOf(page.Pixel(px + dx, py + dy)) < 160) return true;
    }
  }
  return false;
}

TEST_F(BundledTemplates, EachLaysOutAsTheSheetItNames) {
  for (const TBundled& t : kBundled) {
    SCOPED_TRACE(t.File);
    auto magnet = NewMagnet();
    magnet->OpenTemplate(std::string(STICKWELL_TEMPLATE_DIR) + "/" + t.File);
    ASSERT_TRUE(magnet->DesignLoaded());
    EXPECT_EQ(magnet->TemplateName(), t.Name);
    EXPECT_EQ(magnet->TemplateType(), t.Type);
    EXPECT_FLOAT_EQ(magnet->BleedMargin(), t.Bleed);
    EXPECT_FLOAT_EQ(magnet->Document().PageWidth(), t.Width + 2 * t.Bleed);
    EXPECT_FLOAT_EQ(magnet->Document().PageHeight(), t.Height + 2 * t.Bleed);
    const TPrintSettings& s = magnet->PrintSettings();
    EXPECT_EQ(s.PaperWidth, t.PaperWidth);
    EXPECT_EQ(s.PaperHeight, t.PaperHeight);
    EXPECT_TRUE(s.Precut);
    EXPECT_TRUE(s.Portrait);
    EXPECT_FLOAT_EQ(s.OuterMarginX, t.OuterX);
    EXPECT_FLOAT_EQ(s.OuterMarginY, t.OuterY);
    // Every layer a design needs is there and the user's picture waits to be loaded.
    for (const TLayer layer : AllLayers()) EXPECT_NE(magnet->Layer(layer), nullptr) << LayerName(layer);
    EXPECT_TRUE(magnet->Layer(TLayer::usrText)->Visible());
    EXPECT_FALSE(magnet->Layer(TLayer::olMask)->Visible());
    // Every template draws its cutting line on uncut paper; the design shows the rectangle only
    // where it is the cut, and a print layout leaves it so.
    EXPECT_TRUE(magnet->Layer(TLayer::olOutline)->Visible());
    EXPECT_EQ(magnet->Layer(TLayer::olOutline)->MasterAlpha(), t.Shaped ? 0u : 255u);

    TPrintSheet sheet(Services());
    const TPrintLayout layout = sheet.BuildPrintLayout(*magnet);
    EXPECT_EQ(layout.Columns, t.Columns);
    EXPECT_EQ(layout.Rows, t.Rows);
    EXPECT_FALSE(layout.Capped);
    EXPECT_EQ(sheet.Document().ShapeCount(), t.Columns * t.Rows);
    EXPECT_EQ(magnet->Layer(TLayer::olOutline)->MasterAlpha(), t.Shaped ? 0u : 255u);
    // The whole sheet, bleed bands included, stays on the paper.
    for (const TPrintPosition& p : layout.Positions) {
      const float x = s.OuterMarginX + static_cast<float>(p.Column) * layout.PitchX;
      const float y = s.OuterMarginY + static_cast<float>(p.GridRow) * layout.PitchY;
      EXPECT_GE(x - t.Bleed, 0);
      EXPECT_GE(y - t.Bleed, 0);
      EXPECT_LE(x + layout.CopyWidth + t.Bleed, static_cast<float>(t.PaperWidth));
      EXPECT_LE(y + layout.CopyHeight + t.Bleed, static_cast<float>(t.PaperHeight));
    }

    // Printed on pre-cut paper at 2 pixels a millimetre: the copy's centre shows the design; the
    // corner of its net area is masked white on a round magnet and printed on any other.
    magnet->SetBackgroundColour(0x00FF00);
    magnet->SetMessageText(u"");
    TPrintSheet coloured(Services());
    coloured.BuildPrintLayout(*magnet);
    TdtpDocument& preview = coloured.Document();
    const std::unique_ptr<TBitmap32> picture = preview.RenderPage(*preview.CurrentPage(), 2);
    const float x = s.OuterMarginX, y = s.OuterMarginY;
    const TColor32 corner = picture->Pixel(static_cast<int32_t>(2 * x + 1), static_cast<int32_t>(2 * y + 1));
    const TColor32 centre = picture->Pixel(static_cast<int32_t>(2 * (x + layout.CopyWidth / 4)),
                                           static_cast<int32_t>(2 * (y + layout.CopyHeight / 2)));
    if (t.Round) {
      EXPECT_EQ(corner & 0xFFFFFF, 0xFFFFFFu) << std::hex << corner;
    } else {
      EXPECT_NE(corner & 0xFFFFFF, 0xFFFFFFu) << std::hex << corner;
    }
    EXPECT_NE(centre & 0xFFFFFF, 0xFFFFFFu) << std::hex << centre;
  }
}

// On uncut paper a round magnet's copy is cut along its circle, a business card's along the
// rectangle it always had; the guide sheet outlines the same shapes.
TEST_F(BundledTemplates, ShapedMagnetsAreCutAlongTheirWindow) {
  const float dpm = 1200 / 25.4f;
  TdtpPaintInfo info;
  info.Mode = TPaintMode::Device;
  info.BackColor = 0x00FFFFFF;
  info.Dpm = dpm;
  // Pixel of the copy's picture at (x, y) mm of the design page; the picture has a cache's margin.
  auto at = [&](const TBitmap32& picture, double x, double y) {
    return picture.Pixel(static_cast<int32_t>(x * dpm) + kCacheMargin, static_cast<int32_t>(y * dpm) + kCacheMargin);
  };
  {
    auto magnet = Open("Round_Magnet_50mm.fmt");
    magnet->SetPrecut(false);
    magnet->SetMessageText(u"");
    TPrintSheet sheet(Services());
    sheet.BuildPrintLayout(*magnet);
    const TdtpShape& copy = *sheet.Document().CurrentPage()->Child(0);
    const std::shared_ptr<TBitmap32> picture = sheet.CopyPicture()->PictureFor(copy, dpm, info);
    // Around the circle of radius 25 about (28, 28): a dark band 0.2 mm wide centred on it.
    for (int step = 0; step < 720; ++step) {
      const double angle = step * 3.14159265358979 / 360;
      double inner = 99, outer = 0;
      for (double r = 24.7; r <= 25.3; r += 0.25 / dpm) {
        if (Dark(at(*picture, 28 + r * std::cos(angle), 28 + r * std::sin(angle)))) {
          inner = std::min(inner, r);
          outer = std::max(outer, r);
        }
      }
      ASSERT_LT(inner, outer) << "no line at step " << step;
      EXPECT_NEAR((inner + outer) / 2, 25, 0.05) << step;
      EXPECT_NEAR(outer - inner, 0.2, 2 / dpm) << step;
    }
    // No square around it.
    EXPECT_FALSE(Dark(at(*picture, 3.1, 3.1)));
    EXPECT_FALSE(Dark(at(*picture, 3.1, 10)));
    // Pre-cut paper: no line at all.
    magnet->SetPrecut(true);
    sheet.BuildPrintLayout(*magnet);
    const std::shared_ptr<TBitmap32> precut =
        sheet.CopyPicture()->PictureFor(*sheet.Document().CurrentPage()->Child(0), dpm, info);
    EXPECT_FALSE(Dark(at(*precut, 28, 3.0)));
    EXPECT_FALSE(Dark(at(*precut, 3.0, 28)));

    // The guide: circles, not squares, at every position.
    const std::unique_ptr<TdtpDocument> guide = BuildGuideSheet(*magnet);
    const std::unique_ptr<TBitmap32> page = guide->RenderPage(*guide->CurrentPage(), 10);
    const TPrintSettings& s = magnet->PrintSettings();
    auto darkNear = [&](double x, double y) { return LineNear(*page, x, y, 10); };
    const double x = s.OuterMarginX + 25, y = s.OuterMarginY + 25;
    EXPECT_TRUE(darkNear(x + 25 * std::cos(0.785398), y + 25 * std::sin(0.785398)));
    EXPECT_TRUE(darkNear(x - 25, y));
    EXPECT_FALSE(darkNear(x - 25, y - 20));
    EXPECT_FALSE(darkNear(x - 20, y - 25));
  }
  {
    // Landscape, rounded corners: the outline lies turned in its cell, 55 across and 85 down.
    auto magnet = Open("Business_Card_85x55.fmt");
    magnet->SetPortrait(false);
    const TPrintSettings& s = magnet->PrintSettings();
    const TPrintLayout layout = ComputePrintLayout(magnet->LayoutInput());
    ASSERT_FLOAT_EQ(layout.CopyWidth, 55);
    const std::unique_ptr<TdtpDocument> guide = BuildGuideSheet(*magnet);
    const std::unique_ptr<TBitmap32> page = guide->RenderPage(*guide->CurrentPage(), 10);
    const double x = s.OuterMarginX, y = s.OuterMarginY;
    EXPECT_TRUE(LineNear(*page, x, y + 42.5, 10));       // the middle of the long side
    EXPECT_TRUE(LineNear(*page, x + 27.5, y + 85, 10));  // the middle of the short side
    EXPECT_FALSE(LineNear(*page, x + 0.2, y + 0.2, 10));  // the corner is rounded off
    EXPECT_FALSE(LineNear(*page, x + 27.5, y + 55, 10));  // where an unturned outline would end
  }
  {
    auto magnet = Open("Business_Card_90x50.fmt");
    magnet->SetPrecut(false);
    magnet->SetMessageText(u"");
    TPrintSheet sheet(Services());
    sheet.BuildPrintLayout(*magnet);
    // The rectangle draws the line, as it always did: 0.2 mm wide along the inside of the cut.
    EXPECT_EQ(sheet.CopyPicture()->Page().ChildCount(), 9);
    const std::shared_ptr<TBitmap32> picture =
        sheet.CopyPicture()->PictureFor(*sheet.Document().CurrentPage()->Child(0), dpm, info);
    double inner = 99, outer = 0;
    for (double x = 2.5; x <= 3.5; x += 0.25 / dpm) {
      if (Dark(at(*picture, x, 28))) inner = std::min(inner, x), outer = std::max(outer, x);
    }
    EXPECT_NEAR(inner, 3.0, 1.5 / dpm);
    EXPECT_NEAR(outer, 3.2, 1.5 / dpm);
  }
}

}  // namespace
}  // namespace sw
