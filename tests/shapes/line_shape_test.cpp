// Lines and arrow heads: end points and the box re-fitted round them, each head style's outline
// against hand-worked points, handles and their drags, turning, undo of end points, the XML form
// and what its reader refuses, and the pixels at 10 pixels per millimetre.
#include "shapes/line_shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/document.h"
#include "engine/handles.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "platform/bitmap_canvas.h"
#include "shapes/register.h"
#include "storage/xml/native_xml.h"

namespace sw {
namespace {

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr TColor32 kBlack = 0xFF000000u;

class LineShapeTest : public ::testing::Test {
protected:
  void SetUp() override { RegisterShapeKinds(); }
};

std::string XmlOf(const TdtpShape& shape) {
  TNativeXml xml("shape");
  shape.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

std::unique_ptr<TdtpLineShape> LoadLine(const std::string& body) {
  TNativeXml xml;
  xml.LoadFromString("<shape>" + body + "</shape>");
  auto shape = CreateShapeByClassName(xml.Root()->ReadString("ClassName", ""));
  shape->LoadFromXml(xml.Root());
  return std::unique_ptr<TdtpLineShape>(dynamic_cast<TdtpLineShape*>(shape.release()));
}

// A line from (0, 0) to (20, 0) in its parent, so its local millimetres are the parent's.
void MakeHorizontal(TdtpLineShape& line, float length = 20) {
  line.SetBounds(0, 0, 40, 30);
  line.SetEndPoint(0, {0, 0});
  line.SetEndPoint(1, {length, 0});
}

void ExpectContour(const TdtpLineShape& line, const std::vector<TFloatPoint>& expected) {
  ASSERT_EQ(line.Points().size(), 1u);
  const TdtpContour& c = line.Points()[0];
  ASSERT_EQ(c.size(), expected.size());
  for (size_t i = 0; i < c.size(); ++i) {
    EXPECT_NEAR(c[i].X, expected[i].X, 1e-4) << "point " << i;
    EXPECT_NEAR(c[i].Y, expected[i].Y, 1e-4) << "point " << i;
  }
}

void ExpectPoint(const TFloatPoint& p, float x, float y) {
  EXPECT_NEAR(p.X, x, 1e-4);
  EXPECT_NEAR(p.Y, y, 1e-4);
}

// A white bitmap at 10 pixels per millimetre with the line painted onto it at its place.
void PaintAt10(TBitmap32& bitmap, TdtpLineShape& shape, int32_t width, int32_t height) {
  bitmap.SetSize(width, height);
  bitmap.Clear(kWhite);
  bitmap.CombineMode = cmMerge;
  shape.SetPaintMatrix(TdtpAffineTransform(10, 0, 0, 10, 10.0 * shape.DocLeft(), 10.0 * shape.DocTop()));
  shape.PaintBitmap(bitmap, TdtpPaintInfo{});
}

TEST_F(LineShapeTest, NewLineRunsCornerToCornerBlackWithoutHeads) {
  TdtpLineShape line;
  EXPECT_TRUE(IsShapeClassRegistered("TdtpLineShape"));
  EXPECT_STREQ(CreateShapeByClassName("TdtpLineShape")->ClassName(), "TdtpLineShape");
  EXPECT_EQ(line.InsertCursor, -33);
  EXPECT_EQ(line.FillColor(), 0);
  EXPECT_TRUE(line.UseFill() && line.IsClosed());
  EXPECT_FALSE(line.UseOutline() || line.StorePoints());
  EXPECT_FLOAT_EQ(line.LineWidth(), 1);
  ASSERT_EQ(line.PointCount(), 2);
  ExpectPoint(line.EndPoint(0), 0, 0);
  ExpectPoint(line.EndPoint(1), 40, 30);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(line.Arrow(k)->Style(), asNoArrow);
    EXPECT_FLOAT_EQ(line.Arrow(k)->Width(), 5);
    EXPECT_FLOAT_EQ(line.Arrow(k)->Length(), 7);
  }
  EXPECT_EQ(line.Arrow(2), nullptr);
  EXPECT_EQ(line.Arrow(-1), nullptr);
  ExpectPoint(line.EndPoint(2), 0, 0);
}

TEST_F(LineShapeTest, EndPointsRefitTheBox) {
  TdtpLineShape line;
  line.SetBounds(5, 5, 40, 30);
  line.SetEndPoint(0, {10, 10});
  EXPECT_FLOAT_EQ(line.DocLeft(), 10);
  EXPECT_FLOAT_EQ(line.DocWidth(), 35);  // to the untouched end at (45, 35)
  line.SetEndPoint(1, {30, 10});
  // A flat line gets a box 1 mm high.
  EXPECT_FLOAT_EQ(line.DocLeft(), 10);
  EXPECT_FLOAT_EQ(line.DocTop(), 10);
  EXPECT_FLOAT_EQ(line.DocWidth(), 20);
  EXPECT_FLOAT_EQ(line.DocHeight(), 1);
  ExpectPoint(line.EndPoint(1), 30, 10);
  // Drawn from bottom-right to top-left, end point 0 stays at the bottom-right.
  line.SetEndPoint(0, {50, 40});
  line.SetEndPoint(1, {20, 10});
  ExpectPoint(line.EndPoint(0), 50, 40);
  ExpectPoint(line.EndPoint(1), 20, 10);
  EXPECT_EQ(line.NormalisedEndPoints()[0], (TFloatPoint{1, 1}));
  EXPECT_EQ(line.NormalisedEndPoints()[1], (TFloatPoint{0, 0}));
  // Other indexes and non-finite points change nothing.
  line.SetEndPoint(2, {0, 0});
  line.SetEndPoint(-1, {0, 0});
  line.SetEndPoint(0, {NAN, 3});
  line.SetEndPoint(1, {INFINITY, 3});
  ExpectPoint(line.EndPoint(0), 50, 40);
  ExpectPoint(line.EndPoint(1), 20, 10);
  // Resizing the box carries the line along.
  line.SetBounds(20, 10, 60, 60);
  ExpectPoint(line.EndPoint(0), 80, 70);
}

TEST_F(LineShapeTest, BoundsRectDrawnBackwardsTurnsTheLine) {
  TdtpLineShape line;
  line.SetBoundsRect({50, 40, 20, 10});
  ExpectPoint(line.EndPoint(0), 50, 40);
  ExpectPoint(line.EndPoint(1), 20, 10);
  TdtpLineShape other;
  other.SetBoundsRect({20, 40, 50, 10});  // only bottom to top
  ExpectPoint(other.EndPoint(0), 20, 40);
  ExpectPoint(other.EndPoint(1), 50, 10);
}

TEST_F(LineShapeTest, HeadStylesGiveTheHandWorkedOutlines) {
  // Body 1 mm wide from (0, 0) to (20, 0); heads 5 mm wide and 7 mm long at end 1, so the base
  // lies at (13, 0) and the wings at (13, -2.5) and (13, 2.5). The run of end 0 comes first.
  const std::vector<TFloatPoint> tail{{0, 0.5f}, {0, -0.5f}};
  auto with = [&](std::vector<TFloatPoint> head) {
    std::vector<TFloatPoint> all = tail;
    all.insert(all.end(), head.begin(), head.end());
    return all;
  };
  TdtpLineShape line;
  MakeHorizontal(line);
  ExpectContour(line, with({{20, -0.5f}, {20, 0.5f}}));

  line.Arrow(1)->SetStyle(asArrow);
  ExpectContour(line, with({{13, -0.5f}, {13, -2.5f}, {20, 0}, {13, 2.5f}, {13, 0.5f}}));

  // c = 2 x 7 / 5 = 2.8; notch t = 7 - (sqrt(c^2 + 1) + c / 2) x 1 = 2.626786; t / c = 0.938138.
  line.Arrow(1)->SetStyle(asOpenArrow);
  ExpectContour(line, with({{13, -0.5f},
                            {15.626786f, -0.5f},
                            {13, -1.438138f},
                            {13, -2.5f},
                            {20, 0},
                            {13, 2.5f},
                            {13, 1.438138f},
                            {15.626786f, 0.5f},
                            {13, 0.5f}}));

  // z = 2.5 - 0.75 - t / c = 0.811862; the arc of t x pi / 2 = 4.13 pixels at scale 1 has 3 segments.
  line.Arrow(1)->SetStyle(asStealthArrow);
  ExpectContour(line, with({{13, -0.5f},
                            {15.626786f, -0.5f},
                            {15.274864f, -1.031618f},
                            {14.313393f, -1.672162f},
                            {13, -2.25f},
                            {13, -2.5f},
                            {20, 0},
                            {13, 2.5f},
                            {13, 2.25f},
                            {14.313393f, 1.672162f},
                            {15.274864f, 1.031618f},
                            {15.626786f, 0.5f},
                            {13, 0.5f}}));

  line.Arrow(1)->SetStyle(asDiamond);
  ExpectContour(line, with({{13, -0.5f}, {16.5f, -2.5f}, {20, 0}, {16.5f, 2.5f}, {13, 0.5f}}));

  // Ellipse centred at (16.5, 0), semi-axes 3.5 and 2.5, 3 segments per quarter (3.5 x pi / 2 =
  // 5.5 pixels); the arc points inside the body band are left out (none of them here).
  line.Arrow(1)->SetStyle(asOval);
  ExpectContour(line, with({{13, -0.5f},
                            {13.468911f, -1.25f},
                            {14.75f, -2.165064f},
                            {16.5f, -2.5f},
                            {18.25f, -2.165064f},
                            {19.531089f, -1.25f},
                            {20, 0},
                            {19.531089f, 1.25f},
                            {18.25f, 2.165064f},
                            {16.5f, 2.5f},
                            {14.75f, 2.165064f},
                            {13.468911f, 1.25f},
                            {13, 0.5f}}));
}

TEST_F(LineShapeTest, HeadAtEndZeroIsSeenFromEndOne) {
  TdtpLineShape line;
  MakeHorizontal(line);
  line.Arrow(0)->SetStyle(asArrow);
  ExpectContour(line, {{7, 0.5f}, {7, 2.5f}, {0, 0}, {7, -2.5f}, {7, -0.5f}, {20, -0.5f}, {20, 0.5f}});
}

TEST_F(LineShapeTest, HeadsThatCannotBeDrawnAreNoArrow) {
  const std::vector<TFloatPoint> plain{{0, 0.5f}, {0, -0.5f}, {20, -0.5f}, {20, 0.5f}};
  TdtpLineShape line;
  MakeHorizontal(line);
  line.Arrow(1)->SetStyle(asArrow);
  // No wider than the body.
  line.SetLineWidth(5);
  ASSERT_EQ(line.Points()[0].size(), 4u);
  line.SetLineWidth(1);
  // Without width or length.
  for (float width : {0.0f, -5.0f}) {
    line.Arrow(1)->SetWidth(width);
    ExpectContour(line, plain);
  }
  line.Arrow(1)->SetWidth(5);
  for (float length : {0.0f, -7.0f}) {
    line.Arrow(1)->SetLength(length);
    ExpectContour(line, plain);
  }
  line.Arrow(1)->SetLength(7);
  EXPECT_EQ(line.Points()[0].size(), 7u);
  // A head reaching beyond the float range draws nothing rather than points at infinity.
  TdtpLineShape huge;
  huge.SetEndPoint(0, {0, 0});
  huge.SetEndPoint(1, {3e38f, 3e38f});
  huge.Arrow(1)->SetStyle(asArrow);
  huge.Arrow(1)->SetWidth(3.4e38f);
  EXPECT_TRUE(huge.Points()[0].empty());
  // A 5 mm line takes a head 70 % of its length long: base at 1.5.
  MakeHorizontal(line, 5);
  ExpectContour(line, {{0, 0.5f}, {0, -0.5f}, {1.5f, -0.5f}, {1.5f, -2.5f}, {5, 0}, {1.5f, 2.5f}, {1.5f, 0.5f}});
}

TEST_F(LineShapeTest, HeadsWidenTheCurbsSoCachesHoldThem) {
  TdtpLineShape line;
  MakeHorizontal(line);  // box 20 x 1 mm with the body from y = -0.5 to 0.5
  EXPECT_GE(line.EffectiveCurbTop(), 0.5f);
  EXPECT_LT(line.EffectiveCurbTop(), 1.0f);
  line.Arrow(1)->SetStyle(asArrow);  // wings at y = -2.5 and 2.5
  EXPECT_GE(line.EffectiveCurbTop(), 2.5f);
  EXPECT_GE(line.EffectiveCurbBottom(), 1.5f);
  line.Arrow(1)->SetStyle(asNoArrow);
  EXPECT_LT(line.EffectiveCurbTop(), 1.0f);
}

TEST_F(LineShapeTest, LineWidthIsNeverNegative) {
  TdtpLineShape line;
  line.SetLineWidth(-3);
  EXPECT_FLOAT_EQ(line.LineWidth(), 0);
  line.SetLineWidth(NAN);
  EXPECT_FLOAT_EQ(line.LineWidth(), 0);
  line.SetLineWidth(2);
  EXPECT_FLOAT_EQ(line.LineWidth(), 2);
}

TEST_F(LineShapeTest, CoincidingEndsKeepThePreviousOutline) {
  TdtpLineShape line;
  MakeHorizontal(line);
  const TdtpContour before = line.Points()[0];
  line.SetEndPoint(1, {0, 0});
  ExpectPoint(line.EndPoint(1), 0, 0);
  EXPECT_EQ(line.Points()[0], before);
}

TEST_F(LineShapeTest, TurningMovesTheEndPointsNotTheShape) {
  TdtpLineShape line;
  line.SetBounds(10, 10, 40, 30);
  line.SetEndPoint(0, {10, 10});
  line.SetEndPoint(1, {30, 10});
  line.SetAngle(90);
  EXPECT_FLOAT_EQ(line.DocAngle(), 0);
  ExpectPoint(line.EndPoint(0), 10, 10);
  ExpectPoint(line.EndPoint(1), 10, -10);
  EXPECT_NEAR(line.DocWidth(), 1, 1e-5);
  EXPECT_NEAR(line.DocHeight(), 20, 1e-5);
  // A box without size is left as it is.
  line.SetBounds(5, 5, 0, 0);
  line.SetAngle(30);
  ExpectPoint(line.EndPoint(0), 5, 5);
  ExpectPoint(line.EndPoint(1), 5, 5);
  EXPECT_FLOAT_EQ(line.DocWidth(), 0);
  auto flat = LoadLine(
      "<ClassName>TdtpLineShape</ClassName><DocLeft>3</DocLeft><DocTop>4</DocTop>"
      "<Points><Point><X>3</X><Y>4</Y></Point></Points><LineWidth>1</LineWidth>");
  ASSERT_EQ(flat->PointCount(), 1);
  flat->SetAngle(45);
  ExpectPoint(flat->EndPoint(0), 3, 4);
  EXPECT_FLOAT_EQ(flat->DocWidth(), 0);
}

// A document at 10 pixels per millimetre whose window starts at the page's top-left corner.
class LineInDocumentTest : public LineShapeTest {
protected:
  void SetUp() override {
    LineShapeTest::SetUp();
    doc.SetScreenDpmValue(10);
    doc.WindowLeft = doc.CurrentPage()->DocLeft();
    doc.WindowTop = doc.CurrentPage()->DocTop();
    auto owned = std::make_unique<TdtpLineShape>();
    line = owned.get();
    doc.CurrentPage()->AddChild(std::move(owned));
    line->SetEndPoint(0, {10, 10});
    line->SetEndPoint(1, {30, 20});
    line->SetSelected(true);
  }
  TdtpDocument doc;
  TdtpLineShape* line = nullptr;
};

TEST_F(LineInDocumentTest, HandlesSitOnTheEndPointsJoinedByTheBody) {
  line->UpdateHandles();
  const TdtpHandlePainter& painter = *line->HandlePainter();
  ASSERT_EQ(painter.HandleCount(), 2);
  EXPECT_EQ(painter.Handle(0)->Kind, hkPoint);
  EXPECT_EQ(painter.Handle(1)->Kind, hkPoint);
  ExpectPoint({painter.Handle(0)->X, painter.Handle(0)->Y}, 0, 0);
  ExpectPoint({painter.Handle(1)->X, painter.Handle(1)->Y}, 20, 10);
  ASSERT_EQ(painter.LineCount(), 1);
  EXPECT_EQ(painter.Line(0)->Kind, hkBody);
  // Window pixels: the ends at (100, 100) and (300, 200).
  EXPECT_EQ(line->HandleAt({300, 200}), hkPoint);
  EXPECT_EQ(line->Drag.Handle, 1);
  EXPECT_EQ(line->HandleAt({200, 155}), hkBody);
  EXPECT_EQ(line->Drag.Handle, -1);
  EXPECT_EQ(line->HandleAt({200, 100}), hkNone);
  // A line that may not be resized keeps no end-point handle, but its body still moves it.
  line->AllowResize = false;
  EXPECT_EQ(line->HandleAt({100, 100}), hkBody);
  EXPECT_EQ(line->Drag.Handle, -1);
  line->AllowResize = true;
  // A mirrored line shows its handles where it is drawn.
  line->SetMirrored(true);
  line->UpdateHandles();
  ExpectPoint({painter.Handle(0)->X, painter.Handle(0)->Y}, 20, 0);
}

TEST_F(LineInDocumentTest, PointDragsMoveOneEndAndBodyDragsTheLine) {
  line->UpdateHandles();
  TdtpHandlePainter& painter = *line->HandlePainter();
  auto proposeBoxAsItIs = [&] {
    line->Drag.Left = line->DocLeft();
    line->Drag.Top = line->DocTop();
    line->Drag.Width = line->DocWidth();
    line->Drag.Height = line->DocHeight();
    line->Drag.Angle = line->DocAngle();
  };
  // End 1 dragged from (20, 10) to (30, 0) in the line's frame.
  proposeBoxAsItIs();
  line->Drag.Handle = 1;
  painter.Handle(1)->DragX = 30;
  painter.Handle(1)->DragY = 0;
  line->ApplyDrag();
  ExpectPoint(line->EndPoint(0), 10, 10);
  ExpectPoint(line->EndPoint(1), 40, 10);
  // A move proposal moves both ends, whatever handle was found last.
  line->UpdateHandles();
  proposeBoxAsItIs();
  line->Drag.Left += 5;
  line->Drag.Top += 2;
  line->Drag.Handle = 0;
  line->ApplyDrag();
  ExpectPoint(line->EndPoint(0), 15, 12);
  ExpectPoint(line->EndPoint(1), 45, 12);
}

TEST_F(LineInDocumentTest, UndoRestoresTheEndPointsExactly) {
  const std::string before = XmlOf(*line);
  // End 1 moved to the lower left turns the slope: the normalised ends swap sides.
  line->SetEndPoint(1, {0, 30});
  ExpectPoint(line->EndPoint(1), 0, 30);
  ASSERT_TRUE(doc.Undo());
  ExpectPoint(line->EndPoint(0), 10, 10);
  ExpectPoint(line->EndPoint(1), 30, 20);
  EXPECT_EQ(XmlOf(*line), before);
  ASSERT_TRUE(doc.Redo());
  ExpectPoint(line->EndPoint(1), 0, 30);
  // Turning and the line width are undone as well.
  line->SetAngle(90);
  line->SetLineWidth(3);
  ASSERT_TRUE(doc.Undo());
  ASSERT_TRUE(doc.Undo());
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(XmlOf(*line), before);
  // A box drawn backwards turns the ends and changes the box in one step.
  line->SetBoundsRect({50, 40, 20, 10});
  ExpectPoint(line->EndPoint(0), 50, 40);
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(XmlOf(*line), before);
}

TEST_F(LineInDocumentTest, RubberFeedbackIsADottedXorDiagonal) {
  TBitmap32 bitmap;
  bitmap.SetSize(100, 100);
  bitmap.Clear(0xFF808080u);
  TBitmapCanvas canvas(bitmap);
  canvas.SetClipRect({0, 0, 100, 100});
  line->DrawRubberRect(canvas, {10, 10, 60, 60}, clWhite32);
  int changed = 0, offDiagonal = 0;
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 100; ++x) {
      if (bitmap.Pixel(x, y) == 0xFF808080u) continue;
      ++changed;
      offDiagonal += x != y ? 1 : 0;
    }
  }
  EXPECT_GT(changed, 10);
  EXPECT_EQ(offDiagonal, 0);
  // XOR: the same figure again restores the window.
  line->DrawRubberRect(canvas, {10, 10, 60, 60}, clWhite32);
  EXPECT_EQ(bitmap.Pixel(20, 20), 0xFF808080u);
  EXPECT_EQ(bitmap.Pixel(30, 30), 0xFF808080u);
}

TEST_F(LineShapeTest, XmlRoundTripIsByteForByte) {
  TdtpLineShape line;
  line.SetEndPoint(0, {12.5f, 40.25f});
  line.SetEndPoint(1, {60.75f, 8});
  line.SetLineWidth(1.5f);
  line.Arrow(0)->SetStyle(asOval);
  line.Arrow(1)->SetStyle(asStealthArrow);
  line.Arrow(1)->SetWidth(6.5f);
  line.Arrow(1)->SetLength(9);
  line.SetFillColor(0x0000FF);
  const std::string text = XmlOf(line);
  EXPECT_NE(text.find("<Arrow0><Style>Oval</Style><Width>5</Width><Length>7</Length></Arrow0>"), std::string::npos)
      << text;
  EXPECT_NE(text.find("<Points><Point><X>12.5</X><Y>40.25</Y></Point><Point><X>60.75</X><Y>8</Y></Point></Points>"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<LineWidth>1.5</LineWidth>"), std::string::npos);
  // The line's own elements come before the common ones.
  EXPECT_LT(text.find("<Arrow0>"), text.find("<ClassName>"));
  TNativeXml xml;
  xml.LoadFromString(text);
  auto copy = CreateShapeByClassName(xml.Root()->ReadString("ClassName", ""));
  copy->LoadFromXml(xml.Root());
  EXPECT_EQ(XmlOf(*copy), text);
  auto* loaded = dynamic_cast<TdtpLineShape*>(copy.get());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Arrow(1)->Style(), asStealthArrow);
  EXPECT_EQ(loaded->Points(), line.Points());
}

TEST_F(LineShapeTest, ReaderKeepsTwoEndPointsAndRefusesBadValues) {
  const std::string head = "<ClassName>TdtpLineShape</ClassName><DocLeft>10</DocLeft><DocTop>10</DocTop>"
                           "<DocWidth>20</DocWidth><DocHeight>10</DocHeight><UseFill>True</UseFill>";
  auto line = LoadLine(head +
                       "<Arrow1><Style>Bogus</Style><Width>5</Width><Length>7</Length></Arrow1>"
                       "<Points><Point><X>10</X><Y>10</Y></Point><Point><X>30</X><Y>20</Y></Point>"
                       "<Point><X>99</X><Y>99</Y></Point></Points><LineWidth>-2</LineWidth>");
  ASSERT_EQ(line->PointCount(), 2);
  ExpectPoint(line->EndPoint(1), 30, 20);
  EXPECT_FLOAT_EQ(line->DocWidth(), 20);
  EXPECT_FLOAT_EQ(line->LineWidth(), 0);
  EXPECT_EQ(line->Arrow(1)->Style(), asNoArrow);
  // A head without width loads but draws as none; missing width and length read as 0.
  line = LoadLine(head + "<Arrow1><Style>Arrow</Style></Arrow1><Points><Point><X>10</X><Y>10</Y></Point>"
                         "<Point><X>30</X><Y>10</Y></Point></Points><LineWidth>1</LineWidth>");
  EXPECT_EQ(line->Arrow(1)->Style(), asArrow);
  EXPECT_FLOAT_EQ(line->Arrow(1)->Width(), 0);
  EXPECT_EQ(line->Points()[0].size(), 4u);
  // Without end points nothing is drawn; with one, nothing either, and the box stays.
  line = LoadLine(head + "<LineWidth>1</LineWidth>");
  EXPECT_EQ(line->PointCount(), 0);
  EXPECT_TRUE(line->Points()[0].empty());
  line->SetEndPoint(0, {1, 1});
  EXPECT_EQ(line->PointCount(), 0);
  line = LoadLine(head + "<Points><Point><X>15</X><Y>12</Y></Point></Points><LineWidth>1</LineWidth>");
  ASSERT_EQ(line->PointCount(), 1);
  ExpectPoint(line->EndPoint(0), 15, 12);
  EXPECT_TRUE(line->Points()[0].empty());
  EXPECT_FLOAT_EQ(line->DocWidth(), 20);
  // Non-finite numbers read as 0.
  line = LoadLine(head + "<Points><Point><X>NAN</X><Y>10</Y></Point><Point><X>INF</X><Y>20</Y></Point></Points>"
                         "<LineWidth>INF</LineWidth>");
  ASSERT_EQ(line->PointCount(), 2);
  EXPECT_TRUE(std::isfinite(line->DocWidth()));
  EXPECT_FLOAT_EQ(line->LineWidth(), 0);
}

TEST_F(LineShapeTest, HorizontalLineCoversItsRows) {
  TdtpLineShape line;
  line.SetEndPoint(0, {10, 10});
  line.SetEndPoint(1, {30, 10});
  TBitmap32 b;
  PaintAt10(b, line, 400, 200);
  // The band from y = 9.5 to 10.5 mm and x = 10 to 30 mm: rows 95 to 104, columns 100 to 299.
  int wrong = 0;
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
      const bool inside = x >= 100 && x < 300 && y >= 95 && y < 105;
      wrong += b.Pixel(x, y) != (inside ? kBlack : kWhite) ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(LineShapeTest, ArrowHeadPixelsLieInsideItsPoints) {
  TdtpLineShape line;
  line.SetEndPoint(0, {10, 10});
  line.SetEndPoint(1, {30, 10});
  line.Arrow(1)->SetStyle(asArrow);
  TBitmap32 b;
  PaintAt10(b, line, 400, 200);
  // Head: base (23, 10), wings (23, 7.5) and (23, 12.5), tip (30, 10). At x = 25.05 mm the head
  // spans 10 +- 1.77 mm; at 28.05 mm, 10 +- 0.70 mm.
  EXPECT_EQ(b.Pixel(250, 85), kBlack);
  EXPECT_EQ(b.Pixel(250, 114), kBlack);
  EXPECT_EQ(b.Pixel(250, 80), kWhite);
  EXPECT_EQ(b.Pixel(250, 119), kWhite);
  EXPECT_EQ(b.Pixel(280, 95), kBlack);
  EXPECT_EQ(b.Pixel(280, 90), kWhite);
  EXPECT_EQ(b.Pixel(232, 78), kBlack);  // near the upper wing
  // Behind the base only the body: 10 +- 0.5 mm.
  EXPECT_EQ(b.Pixel(220, 85), kWhite);
  EXPECT_EQ(b.Pixel(220, 100), kBlack);
  // Nothing beyond the tip.
  EXPECT_EQ(b.Pixel(305, 100), kWhite);
}

// The page the fuzz targets start from: its lines and strokes load, draw and write back unchanged.
TEST_F(LineShapeTest, FuzzSeedPageLoadsDrawsAndWritesBack) {
  std::ifstream in(std::string(STICKWELL_SOURCE_DIR) + "/fuzz/corpus/fuzz_render_page/lines_and_freehand.xml");
  ASSERT_TRUE(in) << "seed missing";
  std::stringstream text;
  text << in.rdbuf();
  TNativeXml xml;
  xml.LoadFromString(text.str());
  TdtpDocument doc;
  doc.DisableUndo();
  TdtpPage& page = *doc.CurrentPage();
  page.LoadFromXml(xml.Root());
  ASSERT_EQ(page.ChildCount(), 3);
  EXPECT_STREQ(page.Child(0)->ClassName(), "TdtpLineShape");
  EXPECT_STREQ(page.Child(2)->ClassName(), "TdtpFreehandShape");
  TNativeXml out("Page");
  page.SaveToXml(*out.Root());
  const std::string written = out.SaveToString();
  TdtpDocument other;
  other.DisableUndo();
  TNativeXml again;
  again.LoadFromString(written);
  other.CurrentPage()->LoadFromXml(again.Root());
  TNativeXml out2("Page");
  other.CurrentPage()->SaveToXml(*out2.Root());
  EXPECT_EQ(out2.SaveToString(), written);
  // At 2 pixels per millimetre the long line crosses the page's middle at (50, 40) mm.
  const std::unique_ptr<TBitmap32> picture = doc.RenderPage(page, 2);
  ASSERT_EQ(picture->Width(), 200);
  EXPECT_LT(picture->Pixel(100, 80) & 0xFF, 0x80u);
  EXPECT_EQ(picture->Pixel(100, 20), kWhite);
}

}  // namespace
}  // namespace sw
