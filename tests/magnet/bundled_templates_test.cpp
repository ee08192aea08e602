// The templates the build generates: each one opens as "select template" opens it, names itself
// from its file, and lays out on A4 or Letter as the sheet it is made for, every copy on the paper; the
// round and rounded ones print their mask around the magnet on pre-cut paper.
#include <gtest/gtest.h>

#include <memory>
#include <string>

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
  int32_t PaperWidth = 210, PaperHeight = 297;
};

const TBundled kBundled[] = {
    {"Business_Card_90x50.fmt", "Business Card 90x50", kTemplateTypeBasic, 90, 50, 3, 2, 5, false, 15, 23},
    {"Business_Card_85x55.fmt", "Business Card 85x55", kTemplateTypeBasic, 85, 55, 3, 2, 5, false, 20, 11},
    {"Round_Magnet_50mm.fmt", "Round Magnet 50mm", kTemplateTypeBasic, 50, 50, 3, 3, 5, true, 25, 13.5},
    {"Round_Magnet_64mm.fmt", "Round Magnet 64mm", kTemplateTypeBasic, 64, 64, 3, 2, 4, true, 38.5, 13},
    {"Square_Magnet_75mm.fmt", "Square Magnet 75mm", kTemplateTypeBasic, 75, 75, 3, 2, 3, false, 27.5, 31},
    {"Photo_89x127.fmt", "Photo 89x127", kTemplateTypeBasic, 89, 127, 3, 2, 2, false, 13.5, 19},
    {"Photo_102x152_Landscape.fmt", "Photo 102x152 Landscape", kTemplateTypeBasic, 152, 102, 3, 1, 2, false, 29, 44},
    {"Clock_Face_150mm.fmt", "Clock Face 150mm", kTemplateTypeClockFace, 150, 150, 3, 1, 1, true, 30, 73.5},
    // US Letter, in whole millimetres.
    {"Business_Card_3.5x2in.fmt", "Business Card 3.5x2in", kTemplateTypeBasic, 89, 51, 3, 2, 5, false, 19, 12, 216, 279},
    {"Round_Magnet_2in.fmt", "Round Magnet 2in", kTemplateTypeBasic, 51, 51, 3, 3, 4, true, 26.5, 30, 216, 279},
    {"Round_Magnet_2.5in.fmt", "Round Magnet 2.5in", kTemplateTypeBasic, 64, 64, 3, 2, 4, true, 39.5, 7, 216, 279},
    {"Photo_4x6in_Landscape.fmt", "Photo 4x6in Landscape", kTemplateTypeBasic, 152, 102, 3, 1, 2, false, 32, 35, 216,
     279},
};

class BundledTemplates : public test::MagnetFixture {};

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

    TPrintSheet sheet(Services());
    const TPrintLayout layout = sheet.BuildPrintLayout(*magnet);
    EXPECT_EQ(layout.Columns, t.Columns);
    EXPECT_EQ(layout.Rows, t.Rows);
    EXPECT_FALSE(layout.Capped);
    EXPECT_EQ(sheet.Document().ShapeCount(), t.Columns * t.Rows);
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

}  // namespace
}  // namespace sw
