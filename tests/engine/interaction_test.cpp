// Mouse and keyboard on the document, driven through the headless window as a user would: click,
// Shift-click and band selection, moves with and without the grid, resizes from every handle,
// turns in angle steps, Ctrl copies, Escape; undo of each gesture gives the page back byte for
// byte. Also in-place editing's routing, the cursors, hints, hot-zone scrolling, and shapes that
// leave while the mouse is busy with them.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/numeric.h"
#include "engine/document.h"
#include "engine/handles.h"
#include "engine_test_support.h"
#include "platform/headless_timer.h"
#include "platform/headless_window_host.h"

namespace sw {
namespace {

using test::XmlOf;

constexpr float kDpm = 10;  // window pixels per mm in every test

// A shape that records what in-place editing hands it.
class TEditShape : public TdtpShape {
public:
  void BeginEdit() override { Log.push_back("begin"); }
  void EndEdit(bool accepted) override { Log.push_back(accepted ? "end+" : "end-"); }
  void EditMouseDown(int, uint16_t, int32_t x, int32_t y) override { Log.push_back(Pos("down", x, y)); }
  void EditMouseMove(uint16_t, int32_t x, int32_t y) override { Log.push_back(Pos("move", x, y)); }
  void EditMouseUp(int, uint16_t, int32_t x, int32_t y) override { Log.push_back(Pos("up", x, y)); }
  void EditDblClick(int, uint16_t, int32_t x, int32_t y) override { Log.push_back(Pos("dbl", x, y)); }
  void EditKeyDown(uint16_t key, uint16_t) override { Log.push_back("keydown " + std::to_string(key)); }
  void EditKeyPress(char16_t ch) override { Log.push_back("press " + std::to_string(static_cast<int>(ch))); }
  void EditKeyUp(uint16_t key, uint16_t) override { Log.push_back("keyup " + std::to_string(key)); }
  std::vector<std::string> Log;

private:
  static std::string Pos(const char* what, int32_t x, int32_t y) {
    return std::string(what) + " " + std::to_string(x) + "," + std::to_string(y);
  }
};

class InteractionTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::RegisterClasses();
    services.Timers = &timers;
    doc = std::make_unique<TdtpDocument>(services);
    host.SetClient(doc.get());
    doc->SetWindowHost(&host);
    // Window pixels are 10 per mm, the page lies a few pixels from the window's corner and is
    // larger than the window.
    doc->SetScreenDpmValue(kDpm);
    doc->UpdateScrollRange();
    doc->WindowLeft = doc->XPosition() / kDpm;
    doc->WindowTop = doc->YPosition() / kDpm;
    origin = Page().DocLeft() - static_cast<float>(doc->WindowLeft);
    ASSERT_FLOAT_EQ(Page().DocTop() - static_cast<float>(doc->WindowTop), origin);
    doc->TickSource = [this] { return clock; };
    doc->SetModified(false);
  }

  TdtpPage& Page() { return *doc->CurrentPage(); }

  template <typename T = TdtpShape>
  T* Add(float left, float top, float width = 40, float height = 20) {
    auto owned = std::make_unique<T>();
    T* shape = owned.get();
    doc->DisableUndo();
    Page().AddChild(std::move(owned));
    shape->SetBounds(left, top, width, height);
    doc->EnableUndo();
    return shape;
  }

  // The window pixel of a page millimetre (either axis).
  int32_t Px(float mm) const { return Round((mm + origin) * kDpm); }
  void Click(float x, float y) {
    host.Press(TMouseButton::mbLeft, Px(x), Px(y));
    host.Release(TMouseButton::mbLeft, Px(x), Px(y));
  }
  void DragMm(float x0, float y0, float x1, float y1) { host.Drag(Px(x0), Px(y0), Px(x1), Px(y1)); }
  std::string PageXml() { return XmlOf(Page(), "Page"); }
  static void ExpectBounds(const TdtpShape* s, float l, float t, float w, float h) {
    EXPECT_NEAR(s->DocLeft(), l, 1e-3);
    EXPECT_NEAR(s->DocTop(), t, 1e-3);
    EXPECT_NEAR(s->DocWidth(), w, 1e-3);
    EXPECT_NEAR(s->DocHeight(), h, 1e-3);
  }
  // The page painted afresh, with nothing of the mouse's feedback.
  using TPixels = std::vector<TColor32>;
  TPixels Shown() const {
    const TBitmap32& b = host.Screen();
    TPixels out;
    for (int32_t y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + b.Width());
    return out;
  }
  TPixels CleanScreen() {
    host.InvalidateAll();
    host.PaintInvalidated();
    return Shown();
  }

  THeadlessTimerService timers;
  TServices services;
  uint64_t clock = 1000;
  float origin = 0;
  THeadlessWindowHost host{800, 600};
  std::unique_ptr<TdtpDocument> doc;
};

// --- Selection ---

TEST_F(InteractionTest, ClickShiftClickAndEmptySpace) {
  TdtpShape* a = Add(10, 10);
  TdtpShape* b = Add(10, 40);
  Click(20, 15);
  EXPECT_TRUE(a->Selected());
  EXPECT_EQ(doc->FocusedShape(), a);
  host.SetKeys(ssShift);
  Click(20, 45);
  EXPECT_TRUE(a->Selected() && b->Selected());
  Click(20, 15);
  EXPECT_FALSE(a->Selected());
  EXPECT_TRUE(b->Selected());
  host.SetKeys(0);
  // With msmSimple a click on empty space starts a band: the selection goes at the release.
  host.Press(TMouseButton::mbLeft, Px(70), Px(70));
  EXPECT_TRUE(b->Selected());
  EXPECT_EQ(doc->MouseState(), msBand);
  host.Release(TMouseButton::mbLeft, Px(70), Px(70));
  EXPECT_FALSE(b->Selected());
  EXPECT_EQ(doc->MouseState(), msIdle);
  EXPECT_EQ(doc->UndoCount(), 0);
}

TEST_F(InteractionTest, CtrlMethodClearsAtPressAndBandsOnlyWithCtrl) {
  doc->MultiSelectMethod = msmCtrl;
  TdtpShape* a = Add(10, 10);
  Click(20, 15);
  ASSERT_TRUE(a->Selected());
  host.Press(TMouseButton::mbLeft, Px(70), Px(70));
  EXPECT_FALSE(a->Selected());
  EXPECT_EQ(doc->MouseState(), msIdle);
  host.Release(TMouseButton::mbLeft, Px(70), Px(70));
  host.SetKeys(ssCtrl);
  DragMm(5, 5, 60, 40);
  EXPECT_TRUE(a->Selected());
}

TEST_F(InteractionTest, BandSelectsTheSameBothWaysAndAFlatBandNothing) {
  TdtpShape* a = Add(10, 10, 20, 10);
  TdtpShape* b = Add(40, 10, 20, 10);
  TdtpShape* c = Add(10, 50, 20, 10);
  c->SetAllowSelect(false);
  DragMm(5, 5, 45, 55);
  EXPECT_TRUE(a->Selected());
  EXPECT_TRUE(b->Selected());
  EXPECT_FALSE(c->Selected());
  EXPECT_EQ(doc->FocusedShape(), a);
  DragMm(70, 12, 25, 1);  // lower right to upper left, touching a and b
  EXPECT_TRUE(a->Selected());
  EXPECT_TRUE(b->Selected());
  DragMm(70, 1, 70, 55);  // no width
  EXPECT_EQ(doc->SelectedCount(), 0);
  // The band left nothing on the screen.
  host.PaintInvalidated();
  const TPixels shown = Shown();
  EXPECT_TRUE(shown == CleanScreen());
  // A black band still shows (it inverts), and goes with Escape.
  doc->HandleColor = 0;
  host.Press(TMouseButton::mbLeft, Px(70), Px(1));
  host.Move(Px(90), Px(20));
  EXPECT_FALSE(Shown() == shown);
  host.Type(vk::Escape, 27);
  EXPECT_TRUE(Shown() == shown);
  host.Release(TMouseButton::mbLeft, Px(90), Px(20));
}

TEST_F(InteractionTest, PressOnABodyKeepsTheSelectionAndOnAHandleLeavesOne) {
  TdtpShape* s[3] = {Add(10, 10, 20, 10), Add(40, 10, 20, 10), Add(10, 40, 20, 10)};
  DragMm(5, 5, 65, 55);
  ASSERT_EQ(doc->SelectedCount(), 3);
  DragMm(45, 15, 50, 20);
  EXPECT_EQ(doc->SelectedCount(), 3);
  ExpectBounds(s[0], 15, 15, 20, 10);
  ExpectBounds(s[1], 45, 15, 20, 10);
  ExpectBounds(s[2], 15, 45, 20, 10);
  // The bottom-right handle of the middle shape.
  host.Press(TMouseButton::mbLeft, Px(65), Px(25));
  EXPECT_EQ(doc->HitKind(), hkBottomRight);
  EXPECT_EQ(doc->SelectedCount(), 1);
  EXPECT_TRUE(s[1]->Selected());
  host.Release(TMouseButton::mbLeft, Px(65), Px(25));
}

// --- Moving ---

TEST_F(InteractionTest, ThresholdSnappingAndShiftLocking) {
  TdtpShape* a = Add(20, 30);
  Click(30, 40);
  // 3 pixels start no drag, 4 do.
  host.Press(TMouseButton::mbLeft, 300, 400);
  host.Move(303, 400);
  EXPECT_EQ(doc->MouseState(), msIdle);
  host.Move(304, 400);
  EXPECT_EQ(doc->MouseState(), msDragging);
  EXPECT_TRUE(doc->OutlineShown());
  host.Release(TMouseButton::mbLeft, 371, 409);
  ExpectBounds(a, 27.1f, 30.9f, 40, 20);

  doc->SnapToGrid = true;  // the page grid is 5 mm
  host.Drag(Px(30.3f), Px(40.2f), Px(37.4f), Px(41.1f));
  ExpectBounds(a, 32.1f, 30.9f, 40, 20);
  // Alt turns the grid off for the gesture.
  host.SetKeys(ssAlt);
  host.Drag(Px(40), Px(40), Px(41.3f), Px(42.4f));
  ExpectBounds(a, 33.4f, 33.3f, 40, 20);

  doc->SnapToGrid = false;
  host.SetKeys(0);
  // Shift held once the press selected keeps the larger component of the move only.
  auto shiftDrag = [&](float x1, float y1) {
    host.Press(TMouseButton::mbLeft, Px(40), Px(40));
    host.SetKeys(ssShift);
    host.Move(Px(x1), Px(y1));
    host.Release(TMouseButton::mbLeft, Px(x1), Px(y1));
    host.SetKeys(0);
  };
  shiftDrag(45, 43);
  ExpectBounds(a, 38.4f, 33.3f, 40, 20);
  shiftDrag(43, 43);
  ExpectBounds(a, 38.4f, 36.3f, 40, 20);
}

TEST_F(InteractionTest, MoveUndoesByteForByteAndAnImmovableShapeStays) {
  TdtpShape* a = Add(20, 30);
  TdtpShape* b = Add(70, 30);
  const std::string before = PageXml();
  Click(30, 40);
  DragMm(30, 40, 42.5f, 47.5f);
  ExpectBounds(a, 32.5f, 37.5f, 40, 20);
  // One step of the log.
  ASSERT_TRUE(doc->Undo());
  EXPECT_FALSE(doc->CanUndo());
  EXPECT_EQ(PageXml(), before);

  b->AllowMove = false;
  const std::string fixed = PageXml();
  host.SetKeys(ssShift);
  Click(80, 40);
  host.SetKeys(0);
  ASSERT_EQ(doc->SelectedCount(), 2);
  DragMm(30, 40, 50, 50);
  EXPECT_EQ(PageXml(), fixed);
}

// --- Resizing ---

struct TResizeCase {
  float X, Y;  // the handle, page mm, of the 40 x 20 shape at (20, 30)
  uint8_t Kind;
  float Free[4];    // bounds after dragging it by (10, 6) mm
  float Aspect[4];  // the same with PreserveAspect at ratio 2
};

class ResizeTest : public InteractionTest, public ::testing::WithParamInterface<TResizeCase> {};

TEST_P(ResizeTest, FromEachHandleWithAndWithoutAspect) {
  const TResizeCase& c = GetParam();
  for (const bool aspect : {false, true}) {
    TdtpShape* s = Add(20, 30);
    if (aspect) s->LockAspect();
    Click(25, 35);
    const std::string before = PageXml();
    host.Press(TMouseButton::mbLeft, Px(c.X), Px(c.Y));
    EXPECT_EQ(doc->HitKind(), c.Kind);
    host.Move(Px(c.X + 5), Px(c.Y + 3));
    host.Move(Px(c.X + 10), Px(c.Y + 6));
    host.Release(TMouseButton::mbLeft, Px(c.X + 10), Px(c.Y + 6));
    const float* e = aspect ? c.Aspect : c.Free;
    SCOPED_TRACE(aspect ? "aspect" : "free");
    ExpectBounds(s, e[0], e[1], e[2], e[3]);
    ASSERT_TRUE(doc->Undo());
    EXPECT_EQ(PageXml(), before);
    doc->DeleteShapeObject(s);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Handles, ResizeTest,
    ::testing::Values(TResizeCase{20, 30, hkTopLeft, {30, 36, 30, 14}, {32, 36, 28, 14}},
                      TResizeCase{20, 40, hkLeft, {30, 30, 30, 20}, {30, 32.5f, 30, 15}},
                      TResizeCase{20, 50, hkBottomLeft, {30, 30, 30, 26}, {30, 30, 30, 15}},
                      TResizeCase{40, 50, hkBottom, {20, 30, 40, 26}, {14, 30, 52, 26}},
                      TResizeCase{60, 50, hkBottomRight, {20, 30, 50, 26}, {20, 30, 50, 25}},
                      TResizeCase{60, 40, hkRight, {20, 30, 50, 20}, {20, 27.5f, 50, 25}},
                      TResizeCase{60, 30, hkTopRight, {20, 36, 50, 14}, {20, 36, 28, 14}},
                      TResizeCase{40, 30, hkTop, {20, 36, 40, 14}, {26, 36, 28, 14}}));

TEST_F(InteractionTest, ResizeProposalsOfTheHandCases) {
  TdtpShape* s = Add(0, 0);
  s->ComputeDragProposal({10, 0}, false, hkRight);
  EXPECT_FLOAT_EQ(s->Drag.Width, 50);
  EXPECT_FLOAT_EQ(s->Drag.Left, 0);
  s->ComputeDragProposal({10, 0}, false, hkLeft);
  EXPECT_FLOAT_EQ(s->Drag.Width, 30);
  EXPECT_FLOAT_EQ(s->Drag.Left, 10);
  // Across the opposite edge: 1 mm wide, never mirrored.
  s->ComputeDragProposal({50, 0}, false, hkLeft);
  EXPECT_FLOAT_EQ(s->Drag.Width, 1);
  EXPECT_FLOAT_EQ(s->Drag.Height, 20);
  EXPECT_FLOAT_EQ(s->Drag.Left, 39);
  // A shape of no size resizes without dividing by it.
  TdtpShape* flat = Add(0, 0, 0, 0);
  flat->ComputeDragProposal({5, 5}, false, hkBottomRight);
  EXPECT_FLOAT_EQ(flat->Drag.Width, 5);
  EXPECT_FLOAT_EQ(flat->Drag.Height, 5);
  // On a turned shape the view delta is turned into the shape's frame.
  s->SetAngle(90);
  const TFloatPoint local = s->ViewDeltaToLocal({10, 0});
  EXPECT_NEAR(local.X, 0, 1e-5);
  EXPECT_NEAR(local.Y, 10, 1e-5);
}

// --- Turning ---

TEST_F(InteractionTest, TurnsInAngleSteps) {
  struct {
    float Step;
    TShiftState Keys;
    float Expected;
  } const cases[] = {{15, 0, 15}, {15, ssAlt, 22}, {0, ssAlt, 20}, {0, 0, 22}};
  for (const auto& c : cases) {
    TdtpShape* s = Add(20, 30);
    Click(25, 35);
    doc->StepAngle = c.Step;
    host.SetKeys(c.Keys);
    const std::string before = PageXml();
    // The rotation handle sits 5 mm above the top edge's middle; turn it 22 degrees about the
    // centre (40, 40), counter-clockwise on the screen.
    const double a = 22 * 3.14159265358979 / 180;
    host.Press(TMouseButton::mbLeft, Px(40), Px(25));
    EXPECT_EQ(doc->HitKind(), hkRotate);
    EXPECT_EQ(host.Cursor(), crRotation);
    host.Move(Px(38), Px(25.2f));
    const auto x = static_cast<float>(40 - 15 * std::sin(a)), y = static_cast<float>(40 - 15 * std::cos(a));
    host.Move(Px(x), Px(y));
    host.Release(TMouseButton::mbLeft, Px(x), Px(y));
    host.SetKeys(0);
    EXPECT_NEAR(s->DocAngle(), c.Expected, c.Expected == 22 ? 0.3 : 1e-3) << c.Step << " " << c.Keys;
    // Turned about its centre.
    const TFloatPoint centre = s->LocalToParent({20, 10});
    EXPECT_NEAR(centre.X, 40, 1e-3);
    EXPECT_NEAR(centre.Y, 40, 1e-3);
    ASSERT_TRUE(doc->Undo());
    EXPECT_EQ(PageXml(), before);
    doc->DeleteShapeObject(s);
  }
}

// --- Copy, Escape, cursors ---

TEST_F(InteractionTest, CtrlAtTheReleaseCopiesAsOneUndoStep) {
  TdtpShape* a = Add(20, 30);
  Click(30, 40);
  const std::string before = PageXml();
  host.Press(TMouseButton::mbLeft, Px(30), Px(40));
  host.Move(Px(35), Px(45));
  host.SetKeys(ssCtrl);
  host.Move(Px(40), Px(50));
  EXPECT_EQ(host.Cursor(), crSizeCopy);
  host.Release(TMouseButton::mbLeft, Px(40), Px(50));
  ASSERT_EQ(Page().ChildCount(), 2);
  ExpectBounds(a, 20, 30, 40, 20);
  EXPECT_FALSE(a->Selected());
  TdtpShape* copy = Page().Child(1);
  EXPECT_TRUE(copy->Selected());
  ExpectBounds(copy, 30, 40, 40, 20);
  ASSERT_TRUE(doc->Undo());
  EXPECT_EQ(PageXml(), before);
}

TEST_F(InteractionTest, EscapeEndsADragWithoutChangeOrTrace) {
  TdtpShape* a = Add(20, 30);
  Click(30, 40);
  const TPixels clean = CleanScreen();
  host.Press(TMouseButton::mbLeft, Px(30), Px(40));
  host.Move(Px(40), Px(45));
  host.Move(Px(50), Px(52));
  ASSERT_TRUE(doc->OutlineShown());
  const TPixels dragging = Shown();
  EXPECT_FALSE(dragging == clean);
  // A paint while the outline shows keeps it on the screen.
  host.Invalidate({0, 0, 800, 600});
  host.PaintInvalidated();
  const TPixels repainted = Shown();
  EXPECT_TRUE(repainted == dragging);
  host.Type(vk::Escape, 27);
  EXPECT_EQ(doc->MouseState(), msIdle);
  EXPECT_FALSE(doc->OutlineShown());
  const TPixels after = Shown();
  EXPECT_TRUE(after == clean);
  host.Release(TMouseButton::mbLeft, Px(50), Px(52));
  ExpectBounds(a, 20, 30, 40, 20);
  EXPECT_EQ(doc->UndoCount(), 0);
  // Leaving the window during a move ends the drag unapplied and hands the shapes to the
  // platform's drag-and-drop.
  host.Press(TMouseButton::mbLeft, Px(30), Px(40));
  host.Move(Px(40), Px(45));
  host.Move(Px(40), 601);
  EXPECT_EQ(doc->MouseState(), msIdle);
  ASSERT_EQ(host.DragDrops().size(), 1u);
  EXPECT_EQ(host.DragDrops()[0], doc->SelectionToXml());
  host.Release(TMouseButton::mbLeft, Px(40), 601);
  ExpectBounds(a, 20, 30, 40, 20);
}

TEST_F(InteractionTest, CursorsFollowHandlesTurnedWithTheShape) {
  TdtpShape* a = Add(20, 30);
  Click(30, 40);
  host.Move(Px(30), Px(40));
  EXPECT_EQ(host.Cursor(), crHandPoint);
  host.Move(Px(60), Px(40));
  EXPECT_EQ(host.Cursor(), crSizeWE);
  host.Move(Px(40), Px(25));
  EXPECT_EQ(host.Cursor(), crRotation);
  host.Move(Px(100), Px(55));
  EXPECT_EQ(host.Cursor(), crDefault);
  EXPECT_EQ(doc->CursorForHandle(a, hkTop), crSizeNS);
  a->SetAngle(90);
  EXPECT_EQ(doc->CursorForHandle(a, hkTop), crSizeWE);
  EXPECT_EQ(doc->CursorForHandle(a, hkTopLeft), crSizeNESW);
  EXPECT_EQ(doc->CursorForHandle(nullptr, hkTop), doc->Cursor);
  // Hovering the top handle of the turned shape: it now lies on the left of the screen.
  const TFloatPoint top = a->LocalToScreen({20, 0});
  host.Move(Round(top.X), Round(top.Y));
  EXPECT_EQ(doc->HitKind(), hkTop);
  EXPECT_EQ(host.Cursor(), crSizeWE);
}

// --- Mouse events, read-only, editing ---

TEST_F(InteractionTest, ButtonEventsReportTheirFlagsWithoutAlt) {
  std::vector<std::pair<int, TShiftState>> seen;
  doc->OnMouseDown = [&](TdtpDocument*, TMouseButton b, TShiftState s, int32_t, int32_t) {
    seen.emplace_back(static_cast<int>(b), s);
  };
  doc->OnMouseUp = doc->OnMouseDown;
  host.SetKeys(ssAlt | ssShift);
  host.Press(TMouseButton::mbMiddle, 5, 5);
  host.Release(TMouseButton::mbMiddle, 5, 5);
  host.Press(TMouseButton::mbLeft, 5, 5);
  host.Release(TMouseButton::mbLeft, 5, 5);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], std::make_pair(2, TShiftState(ssMiddle | ssShift)));
  EXPECT_EQ(seen[1], std::make_pair(2, TShiftState(ssMiddle | ssShift)));
  EXPECT_EQ(seen[2], std::make_pair(0, TShiftState(ssLeft | ssShift)));
  EXPECT_EQ(seen[3], std::make_pair(0, TShiftState(ssLeft | ssShift)));
}

TEST_F(InteractionTest, ReadOnlyHitsNothingButADoubleClickActivates) {
  TdtpShape* a = Add(20, 30);
  int activations = 0;
  a->OnActivate = [&](TdtpShape*) { ++activations; };
  doc->SetReadOnly(true);
  Click(30, 40);
  EXPECT_FALSE(a->Selected());
  host.DoubleClickAt(Px(30), Px(40));
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(doc->MouseState(), msIdle);
}

TEST_F(InteractionTest, DeepHitTestFindsChildrenAndReportsTheLowestGroup) {
  TdtpShape* group = Add(20, 30);
  auto owned = std::make_unique<TdtpShape>();
  TdtpShape* inner = owned.get();
  group->AddChild(std::move(owned));
  inner->SetBounds(5, 5, 10, 5);
  TdtpShape* found = nullptr;
  EXPECT_EQ(doc->FindDeepShapeAt({Px(27), Px(37)}, found), hkBody);
  EXPECT_EQ(found, inner);
  // In the group but on none of its children: no hit, and the group itself is reported.
  EXPECT_EQ(doc->FindDeepShapeAt({Px(50), Px(45)}, found), hkNone);
  EXPECT_EQ(found, group);
  EXPECT_EQ(doc->FindDeepShapeAt({Px(100), Px(55)}, found), hkNone);
  EXPECT_EQ(found, nullptr);
  // A double click there edits the group (a plain shape activates and ends its edit at once); on
  // a child that may not be edited it activates the child.
  int groupActivated = 0;
  group->OnActivate = [&](TdtpShape*) { ++groupActivated; };
  host.DoubleClickAt(Px(50), Px(45));
  EXPECT_EQ(groupActivated, 1);
  EXPECT_EQ(doc->EditShape(), nullptr);
  int activated = 0;
  inner->OnActivate = [&](TdtpShape*) { ++activated; };
  inner->AllowEdit = false;
  host.DoubleClickAt(Px(27), Px(37));
  EXPECT_EQ(activated, 1);
}

TEST_F(InteractionTest, EditingRoutesMouseKeysAndTheMenuToTheShape) {
  auto* e = Add<TEditShape>(20, 30);
  std::vector<TdtpShape*> closed;
  doc->OnShapeEditClosed = [&](TdtpDocument*, TdtpShape* s) { closed.push_back(s); };
  host.DoubleClickAt(300, 400);
  ASSERT_EQ(doc->EditShape(), e);
  EXPECT_EQ(doc->MouseState(), msEditing);
  EXPECT_EQ(e->Log, (std::vector<std::string>{"begin", "down 300,400", "up 300,400"}));
  e->Log.clear();
  host.Drag(300, 400, 320, 400, 1);
  host.Type('A', u'a');
  host.Type(vk::Escape, 27);
  host.Type(vk::Delete);
  EXPECT_EQ(e->Log, (std::vector<std::string>{"down 300,400", "move 320,400", "up 320,400", "keydown 65",
                                              "press 97", "keyup 65", "keydown 27", "press 27", "keyup 27",
                                              "keydown 46", "keyup 46"}));
  EXPECT_EQ(Page().ChildCount(), 1);
  e->Log.clear();
  // The document's own menu while the shape has none: its items type the clipboard keys.
  host.Press(TMouseButton::mbRight, 320, 400);
  host.Release(TMouseButton::mbRight, 320, 400);
  ASSERT_EQ(host.ShownPopupMenu(), &doc->DocumentMenu());
  ASSERT_EQ(doc->DocumentMenu().Items.size(), 3u);
  EXPECT_EQ(doc->DocumentMenu().Items[0].ShortCut, "Ctrl+X");
  for (int i = 0; i < 3; ++i) host.ShownPopupMenu()->Click(i);
  EXPECT_EQ(e->Log, (std::vector<std::string>{"press 24", "press 3", "press 22"}));
  e->Log.clear();
  doc->EndShapeEdit(true);
  EXPECT_EQ(e->Log, (std::vector<std::string>{"end+"}));
  EXPECT_EQ(closed, (std::vector<TdtpShape*>{e}));
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(doc->MouseState(), msIdle);
  e->Log.clear();
  // Outside editing the menu items do nothing and F2 starts editing the selected shape.
  doc->DocumentMenu().Click(0);
  EXPECT_TRUE(e->Log.empty());
  Click(30, 40);
  host.Type(vk::F2);
  EXPECT_EQ(doc->EditShape(), e);
  // A base shape has no editor: its edit ends at once, unaccepted.
  TdtpShape* plain = Add(20, 60);
  doc->BeginShapeEdit(plain);
  EXPECT_EQ(e->Log.back(), "end+");  // the edit before ended first
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(doc->MouseState(), msIdle);
}

TEST_F(InteractionTest, KeysDeleteCopyPasteAndCanBeTurnedOff) {
  doc->SetUseClipboard(false);
  Add(20, 30);
  Click(30, 40);
  host.Type('C', 3);
  host.Type('V', 22);
  EXPECT_EQ(Page().ChildCount(), 2);
  host.Type(vk::Delete);
  EXPECT_EQ(Page().ChildCount(), 1);
  doc->AllowKeyInput = false;
  Click(30, 40);
  host.Type(vk::Delete);
  EXPECT_EQ(Page().ChildCount(), 1);
  EXPECT_TRUE(doc->WantsSpecialKey(vk::Tab));
  EXPECT_FALSE(doc->WantsSpecialKey('A'));
}

TEST_F(InteractionTest, PopupMenuOfTheFocusedShapeElseTheControls) {
  TPopupMenu shapeMenu, controlMenu;
  TdtpShape* a = Add(20, 30);
  a->PopupMenu = &shapeMenu;
  doc->PopupMenu = &controlMenu;
  host.Press(TMouseButton::mbRight, 700, 500);
  host.Release(TMouseButton::mbRight, 700, 500);
  EXPECT_EQ(host.ShownPopupMenu(), &controlMenu);
  Click(30, 40);
  host.Press(TMouseButton::mbRight, 300, 400);
  host.Release(TMouseButton::mbRight, 300, 400);
  EXPECT_EQ(host.ShownPopupMenu(), &shapeMenu);
}

// --- Hints and hot zone ---

TEST_F(InteractionTest, HintShowsAfterThePauseAndHidesAfterTheHidePause) {
  TdtpShape* a = Add(20, 30);
  a->ShowHint = true;
  a->Hint = "the magnet";
  host.Move(300, 400);
  EXPECT_EQ(doc->HintShape(), a);
  timers.Advance(499);
  EXPECT_FALSE(host.HintShown());
  timers.Advance(1);
  ASSERT_TRUE(host.HintShown());
  EXPECT_EQ(host.HintText(), "the magnet");
  EXPECT_EQ(host.HintPoint(), (TPoint{300, 424}));
  EXPECT_EQ(host.HintColor(), kHintColor);
  timers.Advance(2500);
  EXPECT_FALSE(host.HintShown());
  EXPECT_EQ(doc->HintTimer(), nullptr);
  // Over no shape the hint shape is forgotten; while busy the timer shows nothing.
  host.Move(Px(100), Px(55));
  EXPECT_EQ(doc->HintShape(), nullptr);
  host.Move(Px(30), Px(40));
  doc->BeginBusy();
  timers.Advance(600);
  EXPECT_FALSE(host.HintShown());
  doc->EndBusy();
  doc->BeginPrinting();
  timers.Advance(600);
  EXPECT_FALSE(host.HintShown());
  doc->EndPrinting();
  doc->BeginLoading();
  timers.Advance(600);
  EXPECT_FALSE(host.HintShown());
  doc->EndLoading();
  // Once the document is free again the waiting hint shows.
  timers.Advance(600);
  EXPECT_TRUE(host.HintShown());
}

TEST_F(InteractionTest, HotzoneScrollsNearTheEdgeOnlyWhenIdleAndNotBusy) {
  doc->SetHotzoneScrolling(hzsAlways);
  ASSERT_NE(doc->HotzoneTimer(), nullptr);
  host.Move(400, 300);
  host.ClearLog();
  // The mouse rests near the right edge: the timer keeps scrolling, faster with time.
  host.Move(795, 300);
  clock += 200;
  host.SetPointer(795, 300);
  doc->HotzoneScroll();
  ASSERT_TRUE(doc->HotzoneActive());
  for (int i = 0; i < 10; ++i) {
    clock += 50;
    timers.Advance(50);
  }
  ASSERT_FALSE(host.ScrollLog().empty());
  EXPECT_LT(host.ScrollLog().back().X, 0);
  EXPECT_LE(std::abs(host.ScrollLog().back().X), 2 * 50);
  const size_t scrolls = host.ScrollLog().size();
  doc->BeginBusy();
  clock += 50;
  timers.Advance(50);
  doc->EndBusy();
  doc->BeginPrinting();
  clock += 50;
  timers.Advance(50);
  doc->EndPrinting();
  doc->BeginLoading();
  clock += 50;
  timers.Advance(50);
  doc->EndLoading();
  EXPECT_EQ(host.ScrollLog().size(), scrolls);
  // Back in the middle, scrolling stops.
  host.SetPointer(400, 300);
  clock += 50;
  timers.Advance(50);
  EXPECT_FALSE(doc->HotzoneActive());
  doc->SetHotzoneScrolling(hzsNoScroll);
  EXPECT_EQ(doc->HotzoneTimer(), nullptr);
}

TEST_F(InteractionTest, HotzoneDuringADragKeepsTheOutlineInPlace) {
  doc->SetHotzoneScrolling(hzsWhenMouseDown);
  TdtpShape* a = Add(20, 30);
  Click(30, 40);
  host.Press(TMouseButton::mbLeft, 300, 400);
  host.Move(350, 420);
  host.Move(780, 420);
  clock += 200;
  doc->HotzoneScroll();
  for (int i = 0; i < 5; ++i) {
    clock += 50;
    timers.Advance(50);
  }
  ASSERT_FALSE(host.ScrollLog().empty());
  ASSERT_TRUE(doc->OutlineShown());
  // What the window shows is the page and the outline where the document says it is.
  const TPixels shown = Shown();
  host.InvalidateAll();
  host.PaintInvalidated();
  EXPECT_TRUE(shown == Shown());
  host.Type(vk::Escape, 27);
  host.Release(TMouseButton::mbLeft, 780, 420);
  ExpectBounds(a, 20, 30, 40, 20);
}

// --- Shapes leaving while the mouse is busy with them ---

TEST_F(InteractionTest, ShapesDeletedMidGestureLeaveNoReference) {
  TdtpShape* a = Add(20, 30);
  Add(70, 30);
  Click(30, 40);
  const TPixels clean = CleanScreen();
  host.Press(TMouseButton::mbLeft, Px(30), Px(40));
  host.Move(Px(35), Px(45));
  ASSERT_EQ(doc->MouseState(), msDragging);
  doc->DeleteShapeObject(a);
  EXPECT_EQ(doc->MouseState(), msIdle);
  EXPECT_FALSE(doc->OutlineShown());
  EXPECT_EQ(doc->MouseShape(), nullptr);
  host.Move(Px(45), Px(50));
  host.Release(TMouseButton::mbLeft, Px(45), Px(50));
  EXPECT_EQ(Page().ChildCount(), 1);

  // Edited, then deleted.
  auto* e = Add<TEditShape>(20, 30);
  host.DoubleClickAt(300, 400);
  ASSERT_EQ(doc->EditShape(), e);
  doc->DeleteShapeObject(e);
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(doc->MouseState(), msIdle);

  // Hinted and hovered, then deleted: the hint goes too.
  TdtpShape* h = Add(20, 30);
  h->ShowHint = true;
  h->Hint = "x";
  host.Move(300, 400);
  timers.Advance(500);
  ASSERT_TRUE(host.HintShown());
  doc->DeleteShapeObject(h);
  EXPECT_EQ(doc->HintShape(), nullptr);
  EXPECT_FALSE(host.HintShown());
  timers.Advance(5000);

  // A shape deleted from the OnShapeEditClosed handler is not touched afterwards.
  auto* f = Add<TEditShape>(20, 30);
  doc->OnShapeEditClosed = [&](TdtpDocument*, TdtpShape* s) { doc->DeleteShapeObject(s); };
  doc->BeginShapeEdit(f);
  doc->EndShapeEdit(true);
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(Page().ChildCount(), 1);
}

TEST_F(InteractionTest, ModeAndLostReleasesEndTheGesture) {
  TdtpShape* a = Add(20, 30);
  Click(30, 40);
  host.Press(TMouseButton::mbLeft, Px(30), Px(40));
  host.Move(Px(40), Px(50));
  ASSERT_EQ(doc->MouseState(), msDragging);
  doc->SetMode(vmBrowse);
  EXPECT_EQ(doc->MouseState(), msIdle);
  EXPECT_FALSE(doc->OutlineShown());
  host.Release(TMouseButton::mbLeft, Px(40), Px(50));
  ExpectBounds(a, 20, 30, 40, 20);
  doc->SetMode(vmEdit);
  // A press whose release the window never saw: the next plain move ends the drag unapplied.
  Click(30, 40);
  host.Press(TMouseButton::mbLeft, Px(30), Px(40));
  host.Move(Px(40), Px(50));
  ASSERT_TRUE(doc->OutlineShown());
  doc->MouseMove(0, Px(41), Px(51));
  EXPECT_EQ(doc->MouseState(), msIdle);
  EXPECT_FALSE(doc->OutlineShown());
  ExpectBounds(a, 20, 30, 40, 20);
}

}  // namespace
}  // namespace sw
