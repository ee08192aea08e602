// Selection handles: where both styles put them, which handle or line a window point hits and
// what AllowResize/AllowRotate refuse, which painter a shape gets and keeps, the pixels of both
// styles and of the XOR drag feedback, and the screen area that covers them.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/document.h"
#include "engine/handles.h"
#include "platform/bitmap_canvas.h"
#include "platform/headless_window_host.h"
#include "support/errors.h"

namespace sw {
namespace {

constexpr TColor32 kGrey = 0xFF808080u;
constexpr uint32_t kRgbWhite = 0xFFFFFF, kRgbBlack = 0, kRgbLime = 0x00FF00, kRgbGrey = 0x808080;

uint32_t Rgb(const TBitmap32& bitmap, int32_t x, int32_t y) { return bitmap.Pixel(x, y) & 0xFFFFFFu; }

// A document at 10 pixels per mm whose window starts at the page's top-left corner, so that a
// shape's page millimetres times 10 are its window pixels.
class HandlesTest : public ::testing::Test {
protected:
  void SetUp() override {
    doc.SetScreenDpmValue(10);
    doc.WindowLeft = Page().DocLeft();
    doc.WindowTop = Page().DocTop();
  }

  TdtpPage& Page() { return *doc.CurrentPage(); }

  TdtpShape* AddShape(float left, float top, float width = 40, float height = 20, bool select = true) {
    auto owned = std::make_unique<TdtpShape>();
    TdtpShape* shape = owned.get();
    Page().AddChild(std::move(owned));
    shape->SetBounds(left, top, width, height);
    if (select) shape->SetSelected(true);
    return shape;
  }

  static std::vector<TFloatPoint> LocalPositions(const TdtpHandlePainter& painter) {
    std::vector<TFloatPoint> out;
    for (int i = 0; i < painter.HandleCount(); ++i) out.push_back({painter.Handle(i)->X, painter.Handle(i)->Y});
    return out;
  }

  static std::vector<int> Kinds(const TdtpHandlePainter& painter) {
    std::vector<int> out;
    for (int i = 0; i < painter.HandleCount(); ++i) out.push_back(painter.Handle(i)->Kind);
    return out;
  }

  TdtpDocument doc;
};

TEST_F(HandlesTest, DefaultStyleHandlesOfA40By20Shape) {
  TdtpShape* shape = AddShape(10, 10);
  shape->UpdateHandles();
  const TdtpHandlePainter& painter = *shape->HandlePainter();
  EXPECT_NE(dynamic_cast<const TdtpW2K3HandlePainter*>(&painter), nullptr);
  EXPECT_EQ(LocalPositions(painter), (std::vector<TFloatPoint>{
                                         {0, 0}, {20, 0}, {40, 0}, {40, 10}, {40, 20}, {20, 20}, {0, 20}, {0, 10}, {20, -5}}));
  EXPECT_EQ(Kinds(painter), (std::vector<int>{2, 9, 8, 7, 6, 5, 4, 3, 10}));
  ASSERT_EQ(painter.LineCount(), 5);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(painter.Line(i)->Kind, 0);
    EXPECT_FALSE(painter.Line(i)->ShowOutline);
    EXPECT_TRUE(painter.Line(i)->ShowFeedback);
  }
  EXPECT_EQ(painter.Line(4)->FromIndex, 1);
  EXPECT_EQ(painter.Line(4)->ToIndex, 8);
  EXPECT_TRUE(painter.Line(4)->ShowOutline);
  EXPECT_FALSE(painter.Line(4)->ShowFeedback);
  EXPECT_EQ(painter.Line(5), nullptr);
  EXPECT_EQ(painter.Handle(-1), nullptr);

  // The rotation handle stays without AllowRotate; only its stem goes.
  shape->AllowRotate = false;
  shape->UpdateHandles();
  EXPECT_EQ(painter.HandleCount(), 9);
  EXPECT_FALSE(painter.Line(4)->ShowOutline);

  // A resize rebuilds the positions.
  shape->SetSize(60, 30);
  shape->UpdateHandles();
  EXPECT_EQ(painter.Handle(4)->X, 60);
  EXPECT_EQ(painter.Handle(4)->Y, 30);
}

TEST_F(HandlesTest, StippleStyleHandlesOfA40By20Shape) {
  doc.HandlePainter = hpStippleHandle;
  TdtpShape* shape = AddShape(10, 10);
  shape->UpdateHandles();
  TdtpHandlePainter& painter = *shape->HandlePainter();
  EXPECT_EQ(dynamic_cast<TdtpW2K3HandlePainter*>(&painter), nullptr);
  const auto positions = LocalPositions(painter);
  ASSERT_EQ(positions.size(), 5u);
  EXPECT_EQ((std::vector<TFloatPoint>(positions.begin(), positions.begin() + 4)),
            (std::vector<TFloatPoint>{{0, 0}, {0, 20}, {40, 20}, {40, 0}}));
  EXPECT_FLOAT_EQ(positions[4].X, 41.2f);
  EXPECT_FLOAT_EQ(positions[4].Y, 10);
  EXPECT_EQ(Kinds(painter), (std::vector<int>{2, 4, 6, 8, 10}));
  ASSERT_EQ(painter.LineCount(), 4);
  const int lineKinds[4] = {3, 5, 7, 9};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(painter.Line(i)->FromIndex, i);
    EXPECT_EQ(painter.Line(i)->ToIndex, (i + 1) % 4);
    EXPECT_EQ(painter.Line(i)->Kind, lineKinds[i]);
  }

  // A drag position survives a rebuild: the feedback of a running drag must not jump.
  painter.Handle(0)->DragX = 7;
  shape->AllowRotate = false;
  shape->UpdateHandles();
  EXPECT_EQ(painter.HandleCount(), 4);
  EXPECT_EQ(painter.Handle(0)->DragX, 7);
}

TEST_F(HandlesTest, HandleRectangleAndItsPixels) {
  TdtpShape* shape = AddShape(10, 5);
  shape->UpdateHandles();
  const TdtpHandlePainter& painter = *shape->HandlePainter();
  ASSERT_NEAR(painter.HandlePoint(0).X, 100, 1e-3);
  ASSERT_NEAR(painter.HandlePoint(0).Y, 50, 1e-3);
  EXPECT_EQ(painter.HandleRect(0), (TRect{97, 47, 104, 54}));
  for (const TPoint p : {TPoint{97, 47}, TPoint{103, 53}, TPoint{100, 50}, TPoint{97, 53}}) {
    shape->Drag.Handle = 5;
    EXPECT_EQ(shape->HandleAt(p), hkTopLeft) << p.X << "," << p.Y;
    EXPECT_EQ(shape->Drag.Handle, 0);
  }
  // Right and bottom are exclusive; left of the handle lies outside the shape's handle area.
  EXPECT_EQ(shape->HandleAt({104, 50}), hkNone);
  EXPECT_EQ(shape->HandleAt({100, 54}), hkNone);
  EXPECT_EQ(shape->HandleAt({96, 50}), hkNone);
  EXPECT_EQ(shape->Drag.Handle, -1);
  EXPECT_EQ(test::ErrorOf([&] { painter.HandleRect(8); }), test::kNoError);
  EXPECT_EQ(test::ErrorOf([&] { painter.HandleRect(9); }), "Handle index out of bounds (9)");
}

TEST_F(HandlesTest, HitsAndRefusals) {
  TdtpShape* shape = AddShape(10, 10);  // window (100, 100) - (500, 300)
  // Every handle of the default style by its window point.
  const TPoint points[9] = {{100, 100}, {300, 100}, {500, 100}, {500, 200}, {500, 300},
                            {300, 300}, {100, 300}, {100, 200}, {300, 50}};
  const uint8_t kinds[9] = {2, 9, 8, 7, 6, 5, 4, 3, 10};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(shape->HandleAt(points[i]), kinds[i]) << i;
    EXPECT_EQ(shape->Drag.Handle, i);
  }
  // The frame lines are kind 0: near the frame between handles, and inside, nothing is hit.
  EXPECT_EQ(shape->HandleAt({200, 102}), hkNone);
  EXPECT_EQ(shape->HandleAt({300, 200}), hkNone);
  // Nor on the stem between the top middle and the rotation handle.
  EXPECT_EQ(shape->HandleAt({300, 75}), hkNone);

  shape->AllowResize = false;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(shape->HandleAt(points[i]), hkNone) << i;
  EXPECT_EQ(shape->HandleAt(points[8]), hkRotate);
  shape->AllowResize = true;
  shape->AllowRotate = false;
  shape->Drag.Handle = 3;
  EXPECT_EQ(shape->HandleAt(points[8]), hkNone);
  EXPECT_EQ(shape->Drag.Handle, -1);
  EXPECT_EQ(shape->HandleAt(points[0]), hkTopLeft);

  shape->SetSelected(false);
  for (const TPoint& p : points) EXPECT_EQ(shape->HandleAt(p), hkNone);
}

TEST_F(HandlesTest, StippleEdgeLinesHitWithinTenPixels) {
  doc.HandlePainter = hpStippleHandle;
  TdtpShape* shape = AddShape(10, 10);  // window (100, 100) - (500, 300)
  EXPECT_EQ(shape->HandleAt({109, 200}), hkLeft);
  EXPECT_EQ(shape->Drag.Handle, -1);
  EXPECT_EQ(shape->HandleAt({110, 200}), hkNone);
  EXPECT_EQ(shape->HandleAt({300, 291}), hkBottom);
  EXPECT_EQ(shape->HandleAt({491, 200}), hkRight);
  EXPECT_EQ(shape->HandleAt({300, 109}), hkTop);
  // Beyond the ends the distance is to the end point.
  EXPECT_EQ(shape->HandleAt({104, 95}), hkNone);  // outside the handle area
  // The rotation handle beside the right edge, at 41.2 mm.
  EXPECT_EQ(shape->HandleAt({512, 200}), hkRotate);
  EXPECT_EQ(shape->Drag.Handle, 4);

  shape->AllowResize = false;
  EXPECT_EQ(shape->HandleAt({109, 200}), hkNone);
  EXPECT_EQ(shape->HandleAt({100, 100}), hkNone);
  EXPECT_EQ(shape->HandleAt({512, 200}), hkRotate);
  shape->AllowRotate = false;
  EXPECT_EQ(shape->HandleAt({512, 200}), hkNone);
  EXPECT_EQ(shape->HandlePainter()->HandleCount(), 4);
}

TEST_F(HandlesTest, TurnedShapeHasItsHandlesAtTheTurnedCorners) {
  TdtpShape* shape = AddShape(20, 50);
  shape->SetAngle(90);  // counter-clockwise about the local origin: the top edge now points up
  // Local (40, 0) lies at page (20, 10), local (0, 20) at (40, 50), local (20, -5) at (15, 30).
  EXPECT_EQ(shape->HandleAt({200, 100}), hkTopRight);
  EXPECT_EQ(shape->HandleAt({400, 500}), hkBottomLeft);
  EXPECT_EQ(shape->HandleAt({150, 300}), hkRotate);
  EXPECT_EQ(shape->HandleAt({400, 300}), hkBottom);  // local (20, 20)
  const TRect r = shape->HandlePainter()->HandleRect(2);
  EXPECT_EQ(r, (TRect{197, 97, 204, 104}));
}

TEST_F(HandlesTest, ScreenBoundsWithHandlesCoverEveryHandle) {
  for (const auto style : {hpW2K3Handle, hpStippleHandle}) {
    doc.HandlePainter = style;
    for (const float angle : {0.0f, 30.0f, 90.0f, 200.0f}) {
      TdtpShape* shape = AddShape(30, 30);
      shape->SetAngle(angle);
      TRect bounds, plain;
      shape->ScreenBoundsWithHandles(bounds);
      shape->ScreenBounds(plain);
      const TdtpHandlePainter& painter = *shape->HandlePainter();
      for (int i = 0; i < painter.HandleCount(); ++i) {
        const TRect r = painter.HandleRect(i);
        EXPECT_TRUE(r.Left >= bounds.Left && r.Top >= bounds.Top && r.Right <= bounds.Right &&
                    r.Bottom <= bounds.Bottom)
            << style << " " << angle << " " << i;
      }
      EXPECT_TRUE(bounds.Left <= plain.Left && bounds.Top <= plain.Top && bounds.Right >= plain.Right &&
                  bounds.Bottom >= plain.Bottom);
      shape->SetAllowSelect(false);
      shape->ScreenBoundsWithHandles(bounds);
      EXPECT_EQ(bounds, plain);
    }
  }
}

TEST(HandlesWindowTest, InvalidatingAShapeRepaintsItsHandles) {
  TdtpDocument doc;
  THeadlessWindowHost host(600, 500);
  host.SetClient(&doc);
  doc.SetWindowHost(&host);
  auto owned = std::make_unique<TdtpShape>();
  TdtpShape* shape = owned.get();
  doc.CurrentPage()->AddChild(std::move(owned));
  shape->SetBounds(30, 30, 40, 20);
  host.PaintInvalidated();
  host.ClearLog();
  shape->SetSelected(true);
  ASSERT_FALSE(host.InvalidateLog().empty());
  const TRect invalid = host.InvalidateLog().back();
  ASSERT_LT(invalid.Width(), 300);  // the shape's area, not the whole window
  const TdtpHandlePainter& painter = *shape->HandlePainter();
  ASSERT_EQ(painter.HandleCount(), 9);
  for (int i = 0; i < 9; ++i) {
    const TRect r = painter.HandleRect(i);
    EXPECT_TRUE(r.Left >= invalid.Left && r.Top >= invalid.Top && r.Right <= invalid.Right &&
                r.Bottom <= invalid.Bottom)
        << i;
  }
  // The paint of the invalid area draws the handles: white centre, lime rotation handle.
  const TBitmap32& screen = host.PaintInvalidated();
  const TPoint corner = RoundPoint(painter.HandlePoint(4));
  const TPoint turn = RoundPoint(painter.HandlePoint(8));
  EXPECT_EQ(Rgb(screen, corner.X, corner.Y), kRgbWhite);
  EXPECT_EQ(Rgb(screen, corner.X - 3, corner.Y), kRgbBlack);
  EXPECT_EQ(Rgb(screen, turn.X, turn.Y), kRgbLime);
  host.SetClient(nullptr);
  doc.SetWindowHost(nullptr);
}

TEST_F(HandlesTest, PainterIsChosenOnceByTheDocument) {
  TdtpShape* first = AddShape(10, 10);
  first->UpdateHandles();
  doc.HandlePainter = hpStippleHandle;
  first->UpdateHandles();
  EXPECT_EQ(first->HandlePainter()->HandleCount(), 9);
  TdtpShape* second = AddShape(60, 10);
  second->UpdateHandles();
  EXPECT_EQ(second->HandlePainter()->HandleCount(), 5);

  // Custom without a painter from the event: the stipple style.
  doc.HandlePainter = hpCustomHandle;
  TdtpShape* third = AddShape(10, 40);
  third->UpdateHandles();
  EXPECT_EQ(third->HandlePainter()->HandleCount(), 5);
  EXPECT_EQ(third->HandlePainter()->Shape(), third);

  // Custom with the event: its painter, pointed at the shape whatever it was made with.
  TdtpShape* asked = nullptr;
  TdtpDocument* sender = nullptr;
  doc.OnCreateHandlePainter = [&](TdtpDocument* d, TdtpShape* s, std::unique_ptr<TdtpHandlePainter>& painter) {
    sender = d;
    asked = s;
    painter = std::make_unique<TdtpW2K3HandlePainter>();
  };
  TdtpShape* fourth = AddShape(60, 40);
  fourth->UpdateHandles();
  EXPECT_EQ(sender, &doc);
  EXPECT_EQ(asked, fourth);
  EXPECT_EQ(fourth->HandlePainter()->HandleCount(), 9);
  EXPECT_EQ(fourth->HandlePainter()->Shape(), fourth);
  EXPECT_EQ(fourth->HandlePainter()->Document(), &doc);

  // A style number a file may carry that names no style: the stipple style.
  doc.HandlePainter = static_cast<TdtpHandlePainterType>(7);
  TdtpShape* fifth = AddShape(10, 70);
  fifth->UpdateHandles();
  EXPECT_EQ(fifth->HandlePainter()->HandleCount(), 5);

  // A shape without document gets the stipple style and colours 0.
  TdtpShape loose;
  loose.SetBounds(0, 0, 40, 20);
  loose.UpdateHandles();
  EXPECT_EQ(loose.HandlePainter()->HandleCount(), 5);
  EXPECT_EQ(loose.HandlePainter()->HandleColor(), 0);
  EXPECT_EQ(loose.HandlePainter()->Document(), nullptr);
}

TEST(HandlePainterTest, WithoutShapeRaises) {
  constexpr char kMessage[] = "Shape object must be assigned";
  TBitmap32 bitmap;
  bitmap.SetSize(10, 10);
  TBitmapCanvas canvas(bitmap);
  TdtpW2K3HandlePainter painter;
  EXPECT_EQ(test::ErrorOf([&] { painter.BuildHandles(); }), kMessage);
  EXPECT_EQ(test::ErrorOf([&] { painter.DrawHandles(canvas); }), kMessage);
  EXPECT_EQ(test::ErrorOf([&] { painter.DrawDragFeedback(canvas); }), test::kNoError);
  painter.SetHandleCount(2);
  painter.SetLineCount(1);
  EXPECT_EQ(test::ErrorOf([&] { painter.HandleRect(0); }), kMessage);
  EXPECT_EQ(test::ErrorOf([&] { painter.DrawHandle(canvas, 0); }), kMessage);
  EXPECT_EQ(test::ErrorOf([&] { painter.DrawDragFeedback(canvas); }), kMessage);
  EXPECT_EQ(test::ErrorOf([&] { TdtpHandlePainter().BuildHandles(); }), kMessage);
  EXPECT_EQ(painter.HandleColor(), 0);
  EXPECT_EQ(painter.HandleEdgeColor(), 0);
  painter.SetHandleCount(-3);
  EXPECT_EQ(painter.HandleCount(), 0);
}

// A painter whose lines name handles that do not exist, as a faulty shape kind might build them.
class TBrokenLinePainter : public TdtpHandlePainter {
public:
  void BuildHandles() override {
    SetHandleCount(1);
    PlaceHandle(0, hkPoint, 0, 0);
    SetLineCount(1);
    PlaceLine(0, 0, 99, hkBody, true, true);
  }
};

TEST_F(HandlesTest, LinesToMissingHandlesAreSkipped) {
  TdtpShape* shape = AddShape(10, 10);
  shape->SetHandlePainter(std::make_unique<TBrokenLinePainter>());
  EXPECT_EQ(shape->HandleAt({100, 100}), hkPoint);
  EXPECT_EQ(shape->HandleAt({105, 100}), hkNone);
  TBitmap32 bitmap;
  bitmap.SetSize(200, 200);
  bitmap.Clear(kGrey);
  TBitmapCanvas canvas(bitmap);
  shape->DrawHandles(canvas);
  shape->DrawDragOutline(canvas);
  EXPECT_EQ(Rgb(bitmap, 110, 100), kRgbGrey);
}

// The window pixels of the handles drawn over a grey window.
class HandlesDrawingTest : public HandlesTest {
protected:
  void SetUp() override {
    HandlesTest::SetUp();
    bitmap.SetSize(600, 400);
    bitmap.Clear(kGrey);
    canvas.SetClipRect({0, 0, 600, 400});
  }
  TBitmap32 bitmap;
  TBitmapCanvas canvas{bitmap};
};

TEST_F(HandlesDrawingTest, DefaultStyleShowsWhiteCirclesAndALimeRotationHandle) {
  AddShape(10, 10);  // window (100, 100) - (500, 300), rotation handle at (300, 50)
  doc.DrawSelectionHandles(canvas);
  const TPoint circles[8] = {{100, 100}, {300, 100}, {500, 100}, {500, 200},
                             {500, 300}, {300, 300}, {100, 300}, {100, 200}};
  for (const TPoint& c : circles) {
    EXPECT_EQ(Rgb(bitmap, c.X, c.Y), kRgbWhite) << c.X << "," << c.Y;
    EXPECT_EQ(Rgb(bitmap, c.X - 3, c.Y), kRgbBlack);  // the edge of the 7-pixel circle
    EXPECT_EQ(Rgb(bitmap, c.X + 3, c.Y), kRgbBlack);
    EXPECT_EQ(Rgb(bitmap, c.X - 3, c.Y - 3), kRgbGrey);  // a circle, not a square
    EXPECT_EQ(Rgb(bitmap, c.X + 4, c.Y), kRgbGrey);
  }
  EXPECT_EQ(Rgb(bitmap, 300, 50), kRgbLime);
  EXPECT_EQ(Rgb(bitmap, 297, 50), kRgbBlack);
  EXPECT_EQ(Rgb(bitmap, 300, 75), kRgbBlack);  // the stem
  EXPECT_EQ(Rgb(bitmap, 200, 100), kRgbGrey);  // no frame
  EXPECT_EQ(Rgb(bitmap, 100, 150), kRgbGrey);
  EXPECT_EQ(canvas.Brush().Color & 0xFFFFFFu, kRgbWhite);
}

TEST_F(HandlesDrawingTest, DefaultStyleWithoutRotationHasNeitherHandleNorStem) {
  TdtpShape* shape = AddShape(10, 10);
  shape->AllowRotate = false;
  doc.DrawSelectionHandles(canvas);
  EXPECT_EQ(Rgb(bitmap, 100, 100), kRgbWhite);
  EXPECT_EQ(Rgb(bitmap, 300, 50), kRgbGrey);
  EXPECT_EQ(Rgb(bitmap, 297, 50), kRgbGrey);
  EXPECT_EQ(Rgb(bitmap, 300, 75), kRgbGrey);
}

TEST_F(HandlesDrawingTest, OnlySelectedChildrenAndTheEditedShapeShowHandles) {
  TdtpShape* selected = AddShape(10, 10);
  TdtpShape* plain = AddShape(10, 32, 10, 5, /*select=*/false);  // window (100, 320) - (200, 370)
  doc.SetReadOnly(true);  // which clears the selection; a shape selected after it shows nothing either
  selected->SetSelected(true);
  ASSERT_TRUE(selected->Selected());
  doc.DrawSelectionHandles(canvas);
  EXPECT_EQ(Rgb(bitmap, 100, 100), kRgbGrey);
  doc.SetReadOnly(false);
  doc.DrawSelectionHandles(canvas);
  EXPECT_EQ(Rgb(bitmap, 100, 100), kRgbWhite);
  EXPECT_EQ(Rgb(bitmap, 100, 320), kRgbGrey);
  doc.SetEditShape(plain);
  doc.DrawSelectionHandles(canvas);
  EXPECT_EQ(Rgb(bitmap, 100, 320), kRgbWhite);
  doc.SetEditShape(nullptr);
}

TEST_F(HandlesDrawingTest, StippleStyleShowsTheFrameAndSquares) {
  doc.HandlePainter = hpStippleHandle;
  doc.HandleColor = 0x0000FF;      // red, as a window-system colour
  doc.HandleEdgeColor = 0xFF0000;  // blue
  AddShape(10, 10);  // window (100, 100) - (500, 300), rotation handle at (512, 200)
  doc.DrawSelectionHandles(canvas);
  // Square corner handles: red inside, blue edge, corners of the square included.
  EXPECT_EQ(Rgb(bitmap, 100, 100), 0xFF0000u);
  EXPECT_EQ(Rgb(bitmap, 97, 97), 0x0000FFu);
  EXPECT_EQ(Rgb(bitmap, 103, 103), 0x0000FFu);
  EXPECT_EQ(Rgb(bitmap, 104, 99), kRgbWhite);  // the white under-line of the frame
  // The round rotation handle: its square's corner is untouched.
  EXPECT_EQ(Rgb(bitmap, 512, 200), 0xFF0000u);
  EXPECT_EQ(Rgb(bitmap, 509, 197), kRgbGrey);
  // The frame: three pixels of white, dotted blue on its middle.
  int blue = 0, white = 0;
  for (int32_t y = 110; y < 290; ++y) {
    EXPECT_EQ(Rgb(bitmap, 99, y), kRgbWhite);
    EXPECT_EQ(Rgb(bitmap, 101, y), kRgbWhite);
    EXPECT_EQ(Rgb(bitmap, 102, y), kRgbGrey);
    const uint32_t c = Rgb(bitmap, 100, y);
    blue += c == 0x0000FFu;
    white += c == kRgbWhite;
  }
  EXPECT_GT(blue, 40);
  EXPECT_GT(white, 40);
  EXPECT_EQ(blue + white, 180);
}

TEST_F(HandlesDrawingTest, DragFeedbackIsDottedXorThatASecondDrawingRemoves) {
  for (const auto style : {hpW2K3Handle, hpStippleHandle}) {
    doc.HandlePainter = style;
    // The default black edge colour would XOR to nothing, so it inverts; another colour flips its
    // own bits.
    doc.HandleEdgeColor = style == hpW2K3Handle ? 0 : 0x0000FF;
    const uint32_t flipped = style == hpW2K3Handle ? 0xFFFFFFu : 0xFF0000u;
    TdtpShape* shape = AddShape(10, 10);
    shape->UpdateHandles();
    TdtpHandlePainter& painter = *shape->HandlePainter();
    // The proposal: moved 5 mm right and 2 mm down.
    for (int i = 0; i < painter.HandleCount(); ++i) {
      painter.Handle(i)->DragX = painter.Handle(i)->X + 5;
      painter.Handle(i)->DragY = painter.Handle(i)->Y + 2;
    }
    doc.DrawSelectionHandles(canvas);
    TBitmap32 before;
    before.Assign(bitmap);
    shape->DrawDragOutline(canvas);
    int changed = 0;
    for (int32_t x = 160; x < 540; ++x) {
      if (bitmap.Pixel(x, 120) == before.Pixel(x, 120)) continue;
      ++changed;
      EXPECT_EQ(bitmap.Pixel(x, 120), before.Pixel(x, 120) ^ flipped) << style << " " << x;
    }
    EXPECT_GT(changed, 60) << style;    // the proposed top edge at y = 120 ...
    EXPECT_LT(changed, 320) << style;   // ... dotted
    EXPECT_EQ(bitmap.Pixel(350, 360), before.Pixel(350, 360)) << style;  // outside the frame
    if (style == hpW2K3Handle) {
      // The stem is no feedback line.
      for (int32_t y = 75; y < 115; ++y) EXPECT_EQ(bitmap.Pixel(350, y), before.Pixel(350, y)) << y;
    }
    shape->DrawDragOutline(canvas);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
      for (int32_t x = 0; x < bitmap.Width(); ++x) {
        ASSERT_EQ(bitmap.Pixel(x, y), before.Pixel(x, y)) << style << " " << x << "," << y;
      }
    }
    Page().DeleteChildObject(shape);
  }
}

TEST_F(HandlesDrawingTest, DragOutlineNeedsADocument) {
  TdtpShape loose;
  loose.SetBounds(10, 10, 40, 20);
  loose.UpdateHandles();
  TdtpHandlePainter& painter = *loose.HandlePainter();
  for (int i = 0; i < painter.HandleCount(); ++i) {
    painter.Handle(i)->DragX = painter.Handle(i)->X;
    painter.Handle(i)->DragY = painter.Handle(i)->Y;
  }
  TBitmap32 before;
  before.Assign(bitmap);
  loose.DrawDragOutline(canvas);
  for (int32_t x = 0; x < 60; ++x) ASSERT_EQ(bitmap.Pixel(x, 10), before.Pixel(x, 10));
}

}  // namespace
}  // namespace sw
