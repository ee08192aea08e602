// Freehand strokes drawn through the in-place editing calls as the document routes them: points
// recorded more than 0.5 mm apart, the box following the strokes, AutoRestart, the keys that end
// a drawing, a cancel, the removal of a drawing left without a stroke (at once, or at the next
// timer tick when something else ended the edit), undo of a drawing, and the XML form.
#include "shapes/freehand_shape.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/document.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "platform/bitmap_canvas.h"
#include "platform/headless_timer.h"
#include "platform/services.h"
#include "platform/window_host.h"
#include "shapes/register.h"
#include "storage/xml/native_xml.h"

namespace sw {
namespace {

constexpr int kLeft = static_cast<int>(TMouseButton::mbLeft);
constexpr int kRight = static_cast<int>(TMouseButton::mbRight);

std::string XmlOf(const TdtpShape& shape) {
  TNativeXml xml("shape");
  shape.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

void ExpectPoint(const TFloatPoint& p, float x, float y) {
  EXPECT_NEAR(p.X, x, 1e-4);
  EXPECT_NEAR(p.Y, y, 1e-4);
}

// A document at 10 pixels per millimetre whose window starts at the page's top-left corner, so
// window pixels are page millimetres times 10; the shape lies at (10, 10) on the page.
class FreehandShapeTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterShapeKinds();
    doc.SetScreenDpmValue(10);
    doc.WindowLeft = Page().DocLeft();
    doc.WindowTop = Page().DocTop();
    doc.OnShapeListChanged = [this](TdtpDocument*) { ++listChanges; };
    auto owned = std::make_unique<TdtpFreehandShape>();
    shape = owned.get();
    Page().AddChild(std::move(owned));
    shape->SetBounds(10, 10, 40, 30);
  }

  TdtpPage& Page() { return *doc.CurrentPage(); }

  // The document's part of starting an in-place edit.
  void Begin() {
    doc.SetEditShape(shape);
    shape->BeginEdit();
  }

  bool OnPage() const {
    for (int i = 0; i < doc.CurrentPage()->ChildCount(); ++i) {
      if (doc.CurrentPage()->Child(i) == shape) return true;
    }
    return false;
  }

  THeadlessTimerService timers;
  TdtpDocument doc{[this] {
    TServices s;
    s.Timers = &timers;
    return s;
  }()};
  TdtpFreehandShape* shape = nullptr;
  int listChanges = 0;
};

TEST_F(FreehandShapeTest, NewShapeDrawsOpenUnfilledStrokes) {
  TdtpFreehandShape f;
  EXPECT_TRUE(IsShapeClassRegistered("TdtpFreehandShape"));
  EXPECT_STREQ(CreateShapeByClassName("TdtpFreehandShape")->ClassName(), "TdtpFreehandShape");
  EXPECT_TRUE(f.StorePoints());
  EXPECT_FALSE(f.IsClosed() || f.UseFill());
  EXPECT_TRUE(f.UseOutline());
  EXPECT_FLOAT_EQ(f.OutlineWidth(), 0.5f);
  EXPECT_TRUE(f.AutoRestart);
  EXPECT_EQ(f.InsertCursor, -3);
  EXPECT_FALSE(f.Editing() || f.Drawing() || f.HasStroke());
}

TEST_F(FreehandShapeTest, StrokeRecordsPointsHalfAMillimetreApartAndTheBoxFollows) {
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);  // local (10, 10)
  EXPECT_TRUE(shape->Drawing());
  shape->EditMouseMove(0, 205, 200);  // 0.5 mm away: not beyond
  shape->EditMouseMove(0, 210, 203);  // (11, 10.3)
  shape->EditMouseMove(0, 300, 250);  // (20, 15)
  shape->EditMouseUp(kLeft, 0, 300, 250);  // where the last point is: nothing more
  EXPECT_FALSE(shape->Drawing());
  // The box spans the strokes, which start at its origin.
  EXPECT_NEAR(shape->DocLeft(), 20, 1e-4);
  EXPECT_NEAR(shape->DocTop(), 20, 1e-4);
  EXPECT_NEAR(shape->DocWidth(), 10, 1e-4);
  EXPECT_NEAR(shape->DocHeight(), 5, 1e-4);
  ASSERT_GE(shape->Points().size(), 1u);
  const TdtpContour& c = shape->Points()[0];
  ASSERT_EQ(c.size(), 3u);
  ExpectPoint(c[0], 0, 0);
  ExpectPoint(c[1], 1, 0.3f);
  ExpectPoint(c[2], 10, 5);
  ExpectPoint(shape->LastPoint(), 10, 5);
  // AutoRestart waits for the next stroke with an empty contour.
  EXPECT_TRUE(shape->Editing());
  ASSERT_EQ(shape->Points().size(), 2u);
  EXPECT_TRUE(shape->Points()[1].empty());
  // A second stroke, with the box growing to the left.
  shape->EditMouseDown(kLeft, 0, 150, 300);  // page (15, 30)
  shape->EditMouseUp(kLeft, 0, 160, 310);
  EXPECT_NEAR(shape->DocLeft(), 15, 1e-4);
  EXPECT_NEAR(shape->DocHeight(), 11, 1e-4);
  ExpectPoint(shape->Points()[0][0], 5, 0);
  ExpectPoint(shape->Points()[1][0], 0, 10);
  ExpectPoint(shape->Points()[1][1], 1, 11);
  // The right button ends the drawing, trailing empty contour trimmed.
  shape->EditMouseDown(kRight, 0, 0, 0);
  EXPECT_FALSE(shape->Editing());
  EXPECT_EQ(doc.EditShape(), nullptr);
  EXPECT_EQ(shape->Points().size(), 2u);
  EXPECT_TRUE(OnPage());
}

TEST_F(FreehandShapeTest, SmallMovesKeepOnlyFirstAndLastPoint) {
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseMove(0, 202, 201);
  shape->EditMouseMove(0, 204, 202);
  shape->EditMouseMove(0, 203, 203);
  shape->EditMouseUp(kLeft, 0, 204, 203);
  ASSERT_EQ(shape->Points()[0].size(), 2u);
  EXPECT_NEAR(shape->DocLeft(), 20, 1e-4);
  EXPECT_NEAR(shape->DocWidth(), 0.4f, 1e-4);
  ExpectPoint(shape->Points()[0][1], 0.4f, 0.3f);
}

TEST_F(FreehandShapeTest, StraightStrokeGetsABoxAMillimetreAcross) {
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 600);  // page (20, 60), below the box
  shape->EditMouseUp(kLeft, 0, 350, 600);
  EXPECT_NEAR(shape->DocLeft(), 20, 1e-4);
  EXPECT_NEAR(shape->DocTop(), 60, 1e-4);
  EXPECT_NEAR(shape->DocWidth(), 15, 1e-4);
  EXPECT_NEAR(shape->DocHeight(), 1, 1e-4);
  ExpectPoint(shape->Points()[0][0], 0, 0);
  ExpectPoint(shape->Points()[0][1], 15, 0);
}

TEST_F(FreehandShapeTest, StrokesStayUnderTheMouseOnATurnedShape) {
  shape->SetAngle(90);
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseMove(0, 300, 250);
  shape->EditMouseUp(kLeft, 0, 260, 330);
  const TdtpContour& c = shape->Points()[0];
  ASSERT_EQ(c.size(), 3u);
  const TFloatPoint expected[] = {{200, 200}, {300, 250}, {260, 330}};
  for (size_t i = 0; i < 3; ++i) {
    const TFloatPoint p = shape->LocalToScreen(c[i]);
    EXPECT_NEAR(p.X, expected[i].X, 1e-3) << i;
    EXPECT_NEAR(p.Y, expected[i].Y, 1e-3) << i;
  }
  TFloatRect box;
  shape->PointsBounds(box);
  EXPECT_NEAR(box.Left, 0, 1e-4);
  EXPECT_NEAR(box.Top, 0, 1e-4);
  EXPECT_NEAR(box.Right, shape->DocWidth(), 1e-4);
  EXPECT_NEAR(box.Bottom, shape->DocHeight(), 1e-4);
}

TEST_F(FreehandShapeTest, WithoutAutoRestartTheReleaseEndsTheDrawing) {
  shape->AutoRestart = false;
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseUp(kLeft, 0, 300, 300);
  EXPECT_FALSE(shape->Editing());
  EXPECT_EQ(doc.EditShape(), nullptr);
  ASSERT_EQ(shape->Points().size(), 1u);
  EXPECT_EQ(shape->Points()[0].size(), 2u);
}

TEST_F(FreehandShapeTest, KeysEndTheDrawingAndSpaceClosesIt) {
  for (uint16_t key : {vk::Tab, vk::Return, vk::F2, uint16_t{0x2B}}) {
    Begin();
    shape->EditMouseDown(kLeft, 0, 200, 200);
    shape->EditMouseUp(kLeft, 0, 300, 300);
    shape->EditKeyDown(vk::Left, 0);  // other keys do nothing
    EXPECT_TRUE(shape->Editing());
    shape->EditKeyDown(key, 0);
    EXPECT_FALSE(shape->Editing()) << key;
    EXPECT_FALSE(shape->IsClosed());
    EXPECT_TRUE(OnPage());
  }
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditKeyDown(vk::Space, 0);
  EXPECT_TRUE(shape->IsClosed());
  EXPECT_FALSE(shape->Editing());
  EXPECT_EQ(doc.EditShape(), nullptr);
}

TEST_F(FreehandShapeTest, DrawingWithoutAStrokeLeavesNoShape) {
  // A single click gives a contour of one point, which is no stroke.
  const int before = listChanges;
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseUp(kLeft, 0, 200, 200);
  shape->EditKeyDown(vk::Return, 0);
  EXPECT_FALSE(OnPage());
  EXPECT_EQ(Page().ChildCount(), 0);
  EXPECT_EQ(doc.EditShape(), nullptr);
  EXPECT_EQ(listChanges, before + 1);
  shape = nullptr;
  // The removal is undone with the drawing.
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(Page().ChildCount(), 1);
}

TEST_F(FreehandShapeTest, CancelTakesBackOnlyThisEditsStrokes) {
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseUp(kLeft, 0, 300, 250);
  shape->EditKeyDown(vk::Return, 0);
  const std::string drawn = XmlOf(*shape);
  // Editing again and cancelling keeps the earlier drawing.
  Begin();
  shape->EditMouseDown(kLeft, 0, 100, 100);
  shape->EditMouseUp(kLeft, 0, 150, 400);
  EXPECT_EQ(shape->Points().size(), 3u);
  shape->EditKeyDown(vk::Escape, 0);
  ASSERT_TRUE(OnPage());
  EXPECT_EQ(XmlOf(*shape), drawn);
  // A new drawing cancelled is removed.
  TdtpFreehandShape* first = shape;
  auto owned = std::make_unique<TdtpFreehandShape>();
  shape = owned.get();
  Page().AddChild(std::move(owned));
  Begin();
  shape->EditMouseDown(kLeft, 0, 100, 100);
  shape->EditMouseUp(kLeft, 0, 150, 400);
  shape->EditKeyDown(0x03, 0);  // the cancel key
  EXPECT_EQ(Page().ChildCount(), 1);
  EXPECT_EQ(Page().Child(0), first);
}

TEST_F(FreehandShapeTest, EditEndedFromOutsideRemovesTheEmptyShapeAtTheNextTick) {
  // The document's own timers run too.
  const int32_t idle = timers.ActiveCount();
  Begin();
  doc.EndEditing(true);
  EXPECT_TRUE(OnPage());
  EXPECT_TRUE(shape->RemovalPending());
  EXPECT_TRUE(shape->Points()[0].empty());
  EXPECT_EQ(timers.ActiveCount(), idle + 1);
  timers.Advance(1);
  EXPECT_FALSE(OnPage());
  EXPECT_EQ(timers.ActiveCount(), idle);
  // Deleted while being drawn: the edit ends and nothing fires later.
  auto owned = std::make_unique<TdtpFreehandShape>();
  shape = owned.get();
  Page().AddChild(std::move(owned));
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  Page().DeleteChildObject(shape);
  EXPECT_EQ(doc.EditShape(), nullptr);
  EXPECT_EQ(Page().ChildCount(), 0);
  EXPECT_EQ(timers.ActiveCount(), idle);
  timers.Advance(10);
  // Beginning again before the tick keeps the shape.
  owned = std::make_unique<TdtpFreehandShape>();
  shape = owned.get();
  Page().AddChild(std::move(owned));
  Begin();
  doc.EndEditing(false);
  Begin();
  timers.Advance(5);
  EXPECT_TRUE(OnPage());
  EXPECT_FALSE(shape->RemovalPending());
}

TEST_F(FreehandShapeTest, AShapeWithoutDocumentIsMarkedNotDeleted) {
  TdtpFreehandShape f;
  f.SetBounds(0, 0, 40, 30);
  f.BeginEdit();
  // Without document, window points are the parent's millimetres.
  f.EditMouseDown(kLeft, 0, 5, 5);
  f.EditMouseMove(0, 9, 8);
  f.EditMouseUp(kLeft, 0, 9, 8);
  EXPECT_TRUE(f.Editing());  // only a document's edit ends at the release
  f.EndEdit(true);
  EXPECT_FALSE(f.RemovalPending());
  EXPECT_NEAR(f.DocLeft(), 5, 1e-4);
  EXPECT_NEAR(f.DocWidth(), 4, 1e-4);
  TdtpFreehandShape empty;
  empty.BeginEdit();
  empty.EndEdit(true);
  EXPECT_TRUE(empty.RemovalPending());
}

TEST_F(FreehandShapeTest, DrawingIsOneUndoStep) {
  shape->SetOutlineColor(0x0000FF);
  const std::string before = XmlOf(*shape);
  const int steps = doc.UndoCount();
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseMove(0, 250, 220);
  shape->EditMouseUp(kLeft, 0, 300, 250);
  shape->EditMouseDown(kLeft, 0, 120, 390);
  shape->EditMouseUp(kLeft, 0, 130, 395);
  shape->EditKeyDown(vk::Return, 0);
  const std::string after = XmlOf(*shape);
  ASSERT_NE(after, before);
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(doc.UndoCount(), steps);
  EXPECT_EQ(XmlOf(*shape), before);
  ASSERT_TRUE(doc.Redo());
  EXPECT_EQ(XmlOf(*shape), after);
}

TEST_F(FreehandShapeTest, NoHandlesWhileBeingDrawn) {
  shape->SetSelected(true);
  TBitmap32 bitmap;
  bitmap.SetSize(600, 500);
  bitmap.Clear(0xFF808080u);
  TBitmapCanvas canvas(bitmap);
  canvas.SetClipRect({0, 0, 600, 500});
  Begin();
  shape->DrawHandles(canvas);
  auto changed = [&] {
    int n = 0;
    for (int32_t y = 0; y < 500; ++y) {
      for (int32_t x = 0; x < 600; ++x) n += bitmap.Pixel(x, y) != 0xFF808080u ? 1 : 0;
    }
    return n;
  };
  EXPECT_EQ(changed(), 0);
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseUp(kLeft, 0, 300, 300);
  shape->EditKeyDown(vk::Return, 0);
  shape->DrawHandles(canvas);
  EXPECT_GT(changed(), 0);
}

TEST_F(FreehandShapeTest, XmlRoundTripIsByteForByte) {
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);
  shape->EditMouseMove(0, 233, 217);
  shape->EditMouseUp(kLeft, 0, 300, 250);
  shape->EditMouseDown(kLeft, 0, 120, 390);
  shape->EditMouseUp(kLeft, 0, 137, 395);
  shape->EditKeyDown(vk::Return, 0);
  const std::string text = XmlOf(*shape);
  EXPECT_NE(text.find("<StorePoints>True</StorePoints>"), std::string::npos) << text;
  EXPECT_NE(text.find("<AutoRestart>True</AutoRestart>"), std::string::npos) << text;
  EXPECT_NE(text.find("<Polygon><Line><Point><X>"), std::string::npos) << text;
  TNativeXml xml;
  xml.LoadFromString(text);
  auto copy = CreateShapeByClassName(xml.Root()->ReadString("ClassName", ""));
  copy->LoadFromXml(xml.Root());
  EXPECT_EQ(XmlOf(*copy), text);
  auto* loaded = dynamic_cast<TdtpFreehandShape*>(copy.get());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Points(), shape->Points());
  // A missing "AutoRestart" reads as off, and off is not written.
  TNativeXml plain;
  plain.LoadFromString("<shape><ClassName>TdtpFreehandShape</ClassName><StorePoints>True</StorePoints></shape>");
  TdtpFreehandShape fresh;
  fresh.LoadFromXml(plain.Root());
  EXPECT_FALSE(fresh.AutoRestart);
  EXPECT_EQ(XmlOf(fresh).find("AutoRestart"), std::string::npos);
}

TEST_F(FreehandShapeTest, StrokesPaintAsOutlineBands) {
  Begin();
  shape->EditMouseDown(kLeft, 0, 200, 200);  // page (20, 20) to (40, 30)
  shape->EditMouseUp(kLeft, 0, 400, 300);
  shape->EditKeyDown(vk::Return, 0);
  TBitmap32 b;
  b.SetSize(300, 200);
  b.Clear(0xFFFFFFFFu);
  b.CombineMode = cmMerge;
  // Local (0, 0) at pixel (50, 50), 10 pixels per millimetre.
  shape->SetPaintMatrix(TdtpAffineTransform(10, 0, 0, 10, 50, 50));
  shape->PaintBitmap(b, TdtpPaintInfo{});
  EXPECT_EQ(b.Pixel(150, 100), 0xFF000000u);  // the middle of the stroke
  EXPECT_EQ(b.Pixel(150, 80), 0xFFFFFFFFu);   // 2 mm off it
  EXPECT_EQ(b.Pixel(40, 40), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace sw
