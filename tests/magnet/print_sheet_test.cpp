#include "magnet/print_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "magnet/magnet_design.h"
#include "magnet_test_support.h"
#include "shapes/polygon_shape.h"

namespace sw {
namespace {

class PrintSheet : public test::MagnetFixture {
protected:
  // A loaded 90 x 50 design with bleed 3 (page 96 x 56).
  std::unique_ptr<TMagnetDesign> LoadedMagnet() {
    auto magnet = NewMagnet();
    magnet->SetBleedMargin(3);
    magnet->LayoutTemplateLayers(90, 50, 3);
    magnet->StoreDesignParams();
    magnet->ApplyDesign(true);
    return magnet;
  }

  // The net area of a copy on the sheet: its local rectangle less the bleed, mapped to the sheet.
  static TFloatRect NetArea(const TdtpShape& copy, float m) {
    const TFloatPoint corners[] = {copy.LocalToParent({m, m}), copy.LocalToParent({copy.DocWidth() - m, m}),
                                   copy.LocalToParent({m, copy.DocHeight() - m}),
                                   copy.LocalToParent({copy.DocWidth() - m, copy.DocHeight() - m})};
    TFloatRect r{corners[0].X, corners[0].Y, corners[0].X, corners[0].Y};
    for (const TFloatPoint& p : corners) {
      r.Left = std::min(r.Left, p.X);
      r.Top = std::min(r.Top, p.Y);
      r.Right = std::max(r.Right, p.X);
      r.Bottom = std::max(r.Bottom, p.Y);
    }
    return r;
  }

  // Every copy's net area lies in its grid cell, copies in layout order over the selected cells.
  static void ExpectNetAreas(const TPrintSheet& sheet, const TPrintLayout& layout, TMagnetDesign& magnet) {
    const TPrintSettings& s = magnet.PrintSettings();
    TdtpPage* page = const_cast<TPrintSheet&>(sheet).Document().CurrentPage();
    int next = 0;
    for (const TPrintPosition& p : layout.Positions) {
      if (!magnet.Grid().Selected(p.Column, p.GridRow)) continue;
      ASSERT_LT(next, page->ChildCount());
      const TdtpShape* copy = page->Child(next++);
      const TFloatRect net = NetArea(*copy, magnet.BleedMargin());
      const float left = s.OuterMarginX + static_cast<float>(p.Column) * layout.PitchX;
      const float top = s.OuterMarginY + static_cast<float>(p.GridRow) * layout.PitchY;
      EXPECT_NEAR(net.Left, left, 1e-3) << p.Column << "," << p.GridRow;
      EXPECT_NEAR(net.Top, top, 1e-3) << p.Column << "," << p.GridRow;
      EXPECT_NEAR(net.Right, left + layout.CopyWidth, 1e-3);
      EXPECT_NEAR(net.Bottom, top + layout.CopyHeight, 1e-3);
    }
    EXPECT_EQ(next, page->ChildCount());
  }
};

TEST_F(PrintSheet, NothingWithoutADesign) {
  auto magnet = NewMagnet();
  TPrintSheet sheet(Services());
  const TPrintLayout layout = sheet.BuildPrintLayout(*magnet);
  EXPECT_TRUE(layout.Positions.empty());
  EXPECT_EQ(sheet.Document().ShapeCount(), 0);
}

TEST_F(PrintSheet, CopiesLieOnTheirCellsInBothOrientations) {
  auto magnet = LoadedMagnet();
  TPrintSheet sheet(Services());
  TPrintLayout layout = sheet.BuildPrintLayout(*magnet);
  EXPECT_EQ(layout.Columns, 2);
  EXPECT_EQ(layout.Rows, 5);
  TdtpPage* page = sheet.Document().CurrentPage();
  EXPECT_FLOAT_EQ(page->PageWidth(), 210);
  EXPECT_FLOAT_EQ(page->MarginLeft(), 15);
  EXPECT_FLOAT_EQ(page->MarginBottom(), 23);
  ASSERT_EQ(page->ChildCount(), 10);
  const TdtpShape* first = page->Child(0);
  EXPECT_STREQ(first->ClassName(), "TPrintCopy");
  EXPECT_FLOAT_EQ(first->DocLeft(), 12);
  EXPECT_FLOAT_EQ(first->DocTop(), 20);
  EXPECT_FLOAT_EQ(first->DocWidth(), 96);
  // The design is loaded once, for every copy.
  ASSERT_NE(sheet.CopyPicture(), nullptr);
  EXPECT_EQ(sheet.CopyPicture()->Page().ChildCount(), 9);
  EXPECT_FLOAT_EQ(sheet.CopyPicture()->Page().MarginLeft(), 0);
  EXPECT_FLOAT_EQ(page->Child(9)->DocLeft(), 102);
  EXPECT_FLOAT_EQ(page->Child(9)->DocTop(), 220);
  ExpectNetAreas(sheet, layout, *magnet);
  EXPECT_FALSE(magnet->LayoutStale());

  magnet->SetPortrait(false);
  magnet->SetInnerMarginX(2);
  EXPECT_TRUE(magnet->LayoutStale());
  layout = sheet.BuildPrintLayout(*magnet);
  EXPECT_EQ(layout.Columns, 3);
  EXPECT_EQ(layout.Rows, 2);
  ASSERT_EQ(page->ChildCount(), 6);
  EXPECT_FLOAT_EQ(page->Child(0)->DocAngle(), 90);
  ExpectNetAreas(sheet, layout, *magnet);

  magnet->SetInnerMarginX(5);
  magnet->SetInnerMarginY(5);
  magnet->SetPortrait(true);
  layout = sheet.BuildPrintLayout(*magnet);
  EXPECT_EQ(layout.Columns, 2);
  EXPECT_EQ(layout.Rows, 4);
  ExpectNetAreas(sheet, layout, *magnet);
}

TEST_F(PrintSheet, DeselectedPositionsStayBlankAndMarksSurviveResizes) {
  auto magnet = LoadedMagnet();
  TPrintSheet sheet(Services());
  sheet.BuildPrintLayout(*magnet);
  TLayoutGrid& grid = magnet->Grid();
  grid.SetSelected(1, 0, false);
  grid.SetSelected(0, 4, false);
  TPrintLayout layout = sheet.BuildPrintLayout(*magnet);
  EXPECT_EQ(sheet.Document().ShapeCount(), 8);
  ExpectNetAreas(sheet, layout, *magnet);
  // Taller paper: one more row, the marks where they were, the new row selected.
  magnet->SetPaperHeight(347);
  layout = sheet.BuildPrintLayout(*magnet);
  EXPECT_EQ(layout.Rows, 6);
  EXPECT_FALSE(grid.Selected(1, 0));
  EXPECT_FALSE(grid.Selected(0, 4));
  EXPECT_TRUE(grid.Selected(0, 5));
  EXPECT_EQ(sheet.Document().ShapeCount(), 10);
  // "none" gives an empty sheet.
  grid.SelectNone();
  sheet.BuildPrintLayout(*magnet);
  EXPECT_EQ(sheet.Document().ShapeCount(), 0);
  // Applying a design again selects every position at the next layout.
  magnet->ApplyDesign(true);
  layout = sheet.BuildPrintLayout(*magnet);
  EXPECT_EQ(layout.Rows, 5);  // the paper is back at 297
  EXPECT_EQ(sheet.Document().ShapeCount(), 10);
}

TEST_F(PrintSheet, OverlaysFollowThePaperTypeInTheCopiesOnly) {
  auto magnet = LoadedMagnet();
  TdtpDocument& doc = magnet->Document();
  for (const TLayer layer : AllLayers()) magnet->Layer(layer)->SetVisible(true);
  magnet->Layer(TLayer::olMask)->SetVisible(false);
  magnet->Layer(TLayer::olImage)->SetMasterAlpha(100);
  magnet->Layer(TLayer::olOutline)->SetMasterAlpha(50);
  doc.SetModified(false);
  TPrintSheet sheet(Services());
  auto copyLayer = [&](TLayer layer) { return sheet.CopyPicture()->Page().Child(static_cast<int>(layer)); };

  sheet.BuildPrintLayout(*magnet);  // pre-cut
  EXPECT_TRUE(copyLayer(TLayer::olMask)->Visible());
  EXPECT_EQ(copyLayer(TLayer::olBorder)->MasterAlpha(), 0u);
  EXPECT_EQ(copyLayer(TLayer::olOutline)->MasterAlpha(), 0u);
  EXPECT_EQ(copyLayer(TLayer::olImage)->MasterAlpha(), 100u);  // as in the design
  // The design itself: olImage visible, olMask hidden, all four overlays opaque, not modified.
  EXPECT_TRUE(magnet->Layer(TLayer::olImage)->Visible());
  EXPECT_FALSE(magnet->Layer(TLayer::olMask)->Visible());
  for (const TLayer layer : {TLayer::olImage, TLayer::olMask, TLayer::olBorder, TLayer::olOutline}) {
    EXPECT_EQ(magnet->Layer(layer)->MasterAlpha(), 255u) << LayerName(layer);
  }
  EXPECT_FALSE(doc.Modified());

  magnet->SetPrecut(false);
  doc.SetModified(true);
  magnet->Layer(TLayer::olBorder)->SetMasterAlpha(200);
  magnet->Layer(TLayer::olImage)->SetMasterAlpha(10);
  sheet.BuildPrintLayout(*magnet);  // uncut
  EXPECT_FALSE(copyLayer(TLayer::olMask)->Visible());
  EXPECT_EQ(copyLayer(TLayer::olBorder)->MasterAlpha(), 200u);  // as in the design
  EXPECT_EQ(copyLayer(TLayer::olOutline)->MasterAlpha(), 255u);
  EXPECT_EQ(copyLayer(TLayer::olImage)->MasterAlpha(), 255u);
  EXPECT_TRUE(doc.Modified());
}

TEST_F(PrintSheet, TheFlashNeverReachesACopy) {
  auto magnet = LoadedMagnet();
  magnet->MoveText(10, 10);  // an edit flashes the box grey
  ASSERT_TRUE(magnet->Flashing());
  EXPECT_EQ(magnet->Layer(TLayer::usrTextBG)->MasterAlpha(), 127u);
  TPrintSheet sheet(Services());
  sheet.BuildPrintLayout(*magnet);
  EXPECT_FALSE(magnet->Flashing());
  const TdtpShape* box = sheet.CopyPicture()->Page().Child(static_cast<int>(TLayer::usrTextBG));
  EXPECT_EQ(box->MasterAlpha(), 255u);
  EXPECT_EQ(static_cast<const TdtpPolygonShape*>(box)->FillColor(), kColourWhite);
}

}  // namespace
}  // namespace sw
