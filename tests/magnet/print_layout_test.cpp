#include "magnet/print_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace sw {
namespace {

// The design of the worked examples: net 90 x 50 with bleed 3 on A4, outer margins 15 and 23.
TPrintLayoutInput Example(bool portrait) {
  TPrintLayoutInput in;
  in.PageWidth = 96;
  in.PageHeight = 56;
  in.Bleed = 3;
  in.Portrait = portrait;
  return in;
}

const TPrintPosition* At(const TPrintLayout& layout, int32_t column, int32_t gridRow) {
  for (const TPrintPosition& p : layout.Positions) {
    if (p.Column == column && p.GridRow == gridRow) return &p;
  }
  return nullptr;
}

TEST(PrintLayout, PortraitA4) {
  const TPrintLayout layout = ComputePrintLayout(Example(true));
  EXPECT_EQ(layout.Columns, 2);  // 186 / 90
  EXPECT_EQ(layout.Rows, 5);     // 257 / 50
  EXPECT_FALSE(layout.Capped);
  ASSERT_EQ(layout.Positions.size(), 10u);
  for (const TPrintPosition& p : layout.Positions) {
    EXPECT_EQ(p.GridRow, p.Row);
    EXPECT_FLOAT_EQ(p.Left, 12 + 90.0f * static_cast<float>(p.Column));
    EXPECT_FLOAT_EQ(p.Top, 20 + 50.0f * static_cast<float>(p.Row));
    EXPECT_EQ(p.Angle, 0);
  }
  EXPECT_FLOAT_EQ(At(layout, 1, 4)->Left, 102);
  EXPECT_FLOAT_EQ(At(layout, 1, 4)->Top, 220);
  // Row by row from the top, left to right.
  EXPECT_EQ(layout.Positions[1].Column, 1);
  EXPECT_EQ(layout.Positions[2].Row, 1);
}

TEST(PrintLayout, LandscapeA4) {
  const TPrintLayout layout = ComputePrintLayout(Example(false));
  EXPECT_FLOAT_EQ(layout.CopyWidth, 50);
  EXPECT_FLOAT_EQ(layout.CopyHeight, 90);
  EXPECT_EQ(layout.Columns, 3);  // 186 / 50
  EXPECT_EQ(layout.Rows, 2);     // 257 / 90
  ASSERT_EQ(layout.Positions.size(), 6u);
  // Laid out from the bottom of the sheet: grid row 0 comes last.
  EXPECT_EQ(layout.Positions.front().GridRow, 1);
  EXPECT_EQ(layout.Positions.back().GridRow, 0);
  const TPrintPosition* first = At(layout, 0, 0);
  EXPECT_FLOAT_EQ(first->Left, 12);
  EXPECT_FLOAT_EQ(first->Top, 116);  // 23 + 90 + 2 x 3, less the bleed
  EXPECT_EQ(first->Angle, 90);
  EXPECT_FLOAT_EQ(At(layout, 2, 1)->Left, 112);
  EXPECT_FLOAT_EQ(At(layout, 2, 1)->Top, 23 + 180 + 6 - 3);
}

TEST(PrintLayout, InnerMarginsWidenThePitch) {
  TPrintLayoutInput in = Example(true);
  in.InnerMarginX = 5;
  in.InnerMarginY = 5;
  const TPrintLayout layout = ComputePrintLayout(in);
  EXPECT_FLOAT_EQ(layout.PitchX, 95);
  EXPECT_FLOAT_EQ(layout.PitchY, 55);
  EXPECT_EQ(layout.Columns, 2);  // 191 / 95
  EXPECT_EQ(layout.Rows, 4);     // 262 / 55
  EXPECT_FLOAT_EQ(At(layout, 1, 3)->Left, 15 + 95 - 3);
  EXPECT_FLOAT_EQ(At(layout, 1, 3)->Top, 23 + 165 - 3);
}

TEST(PrintLayout, VerticalOffsetMovesCopiesAndShrinksTheSpace) {
  TPrintLayoutInput in = Example(true);
  in.VerticalOffset = 7;
  EXPECT_EQ(ComputePrintLayout(in).Columns, 1);  // (186 - 7) / 90
  in.VerticalOffset = 4;
  const TPrintLayout portrait = ComputePrintLayout(in);
  EXPECT_EQ(portrait.Columns, 2);  // (186 - 4) / 90
  EXPECT_FLOAT_EQ(At(portrait, 0, 1)->Top, 23 + 50 - 4 - 3);
  in.Portrait = false;
  const TPrintLayout landscape = ComputePrintLayout(in);
  EXPECT_EQ(landscape.Rows, 2);  // (257 - 4) / 90
  EXPECT_FLOAT_EQ(At(landscape, 0, 0)->Top, 23 + 90 + 6 + 4 - 3);
}

TEST(PrintLayout, AlwaysOnePositionAtLeastAndAtMostTheCap) {
  // A sheet too small for one copy.
  TPrintLayoutInput small = Example(true);
  small.PaperWidth = 20;
  small.PaperHeight = 20;
  TPrintLayout layout = ComputePrintLayout(small);
  EXPECT_EQ(layout.Columns, 1);
  EXPECT_EQ(layout.Rows, 1);
  // Pitches of 0 or less, and values that are not finite.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float cases[][2] = {{-90, -50}, {-100, -60}, {nan, nan}, {inf, inf}, {-inf, -inf}};
  for (const auto& inner : cases) {
    TPrintLayoutInput in = Example(true);
    in.InnerMarginX = inner[0];  // pitch 90 + inner[0]
    in.InnerMarginY = inner[1];
    layout = ComputePrintLayout(in);
    EXPECT_EQ(layout.Columns, 1) << inner[0];
    EXPECT_EQ(layout.Rows, 1) << inner[1];
    EXPECT_EQ(layout.Positions.size(), 1u);
  }
  // A tiny design on a huge sheet stops at 100 by 100, and says so.
  TPrintLayoutInput tiny;
  tiny.PageWidth = 1;
  tiny.PageHeight = 0.5f;
  tiny.PaperWidth = 100000;
  tiny.PaperHeight = 100000;
  layout = ComputePrintLayout(tiny);
  EXPECT_EQ(layout.Columns, kMaxLayoutColumns);
  EXPECT_EQ(layout.Rows, kMaxLayoutRows);
  EXPECT_TRUE(layout.Capped);
  EXPECT_FALSE(layout.Message.empty());
  EXPECT_EQ(layout.Positions.size(), 10000u);
}

TEST(LayoutGrid, MarksStayWhereTheyWereAndResetsSelectAll) {
  TLayoutGrid grid;
  EXPECT_TRUE(grid.ResetPending());
  grid.Resize(5, 2);
  EXPECT_FALSE(grid.ResetPending());
  grid.SetSelected(1, 4, false);
  grid.Toggle(0, 0);
  EXPECT_FALSE(grid.Selected(0, 0));
  EXPECT_EQ(grid.PositionNumber(1, 4), 10);
  // Growing keeps the marks and selects the new positions.
  grid.Resize(6, 3);
  EXPECT_FALSE(grid.Selected(0, 0));
  EXPECT_FALSE(grid.Selected(1, 4));
  EXPECT_TRUE(grid.Selected(2, 4));
  EXPECT_TRUE(grid.Selected(1, 5));
  EXPECT_EQ(grid.PositionNumber(1, 4), 14);
  // Shrinking drops the marks outside; outside the grid nothing is selected.
  grid.Resize(2, 2);
  EXPECT_FALSE(grid.Selected(0, 0));
  EXPECT_FALSE(grid.Selected(1, 4));
  grid.SetSelected(5, 5, true);
  grid.SelectNone();
  EXPECT_FALSE(grid.Selected(1, 1));
  // A pending reset (a template was applied) selects every position at the next resize.
  grid.SetResetPending(true);
  grid.Resize(2, 2);
  EXPECT_TRUE(grid.Selected(0, 0));
  EXPECT_TRUE(grid.Selected(1, 1));
  grid.Resize(0, -3);
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_EQ(grid.Columns(), 1);
}

}  // namespace
}  // namespace sw
