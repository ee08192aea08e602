// Text and memo shapes edited in place, driven the way the document drives them (the document names
// the edited shape, then the shape's BeginEdit and Edit* calls): the caret timer, typing and the
// keys that end editing with their undo step, navigation over lines, the caret placed by the mouse
// on a turned and a mirrored shape, the clipboard, case and length limits, the overlay's pixels,
// caret positions against the painted text at several resolutions, and shapes leaving the page
// while edited.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/document.h"
#include "engine/engine_test_support.h"
#include "engine/registry.h"
#include "platform/bitmap_canvas.h"
#include "platform/headless_clipboard.h"
#include "platform/headless_timer.h"
#include "platform/headless_window_host.h"
#include "shapes/memo_shape.h"
#include "shapes/text_shape.h"
#include "support/machine_fonts.h"

namespace sw {
namespace {

constexpr int kLeft = static_cast<int>(TMouseButton::mbLeft);
constexpr uint16_t kLeftShift = ssLeft | ssShift;
constexpr TColor32 kCaretColor = 0xFF000080u;  // 0x800000 in window-system order
constexpr uint32_t kRgbGrey = 0x808080, kRgbWhite = 0xFFFFFF;

int StepCount(const TdtpDocument& doc) {
  int steps = 0;
  for (int i = 0; i < doc.UndoCount(); ++i) steps += doc.UndoItem(i)->Joined ? 0 : 1;
  return steps;
}

// A document at 10 pixels per mm whose window starts at the page's top-left corner.
class TextEdit : public test::MachineFonts {
protected:
  static void SetUpTestSuite() {
    test::MachineFonts::SetUpTestSuite();
    test::RegisterClasses();
    RegisterShapeClass<TdtpTextShape>();
    RegisterShapeClass<TdtpMemoShape>();
  }

  void SetUp() override {
    TServices services;
    services.Fonts = &Fonts();
    services.Timers = &timers;
    services.Clipboard = &clipboard;
    doc = std::make_unique<TdtpDocument>(services);
    doc->SetWindowHost(&host);
    SetDpm(10);
    // The document's own timer runs beside the caret's.
    documentTimers = timers.ActiveCount();
  }
  void TearDown() override {
    // The document goes first: it may still hold timers of the service.
    doc.reset();
  }

  void SetDpm(double dpm) {
    doc->SetScreenDpmValue(dpm);
    doc->WindowLeft = Page().DocLeft();
    doc->WindowTop = Page().DocTop();
  }

  TdtpPage& Page() { return *doc->CurrentPage(); }

  template <typename T>
  T* Add(const std::u16string& text, float left = 20, float top = 30) {
    auto owned = std::make_unique<T>();
    T* shape = owned.get();
    Page().AddChild(std::move(owned));
    shape->SetText(text);
    shape->SetPosition(left, top);
    doc->ClearUndo();
    return shape;
  }

  // What the document does when it starts editing a shape.
  void Edit(TdtpTextBaseShape* shape) {
    doc->SetEditShape(shape);
    shape->BeginEdit();
  }

  static void Type(TdtpTextBaseShape* shape, std::u16string_view text) {
    for (const char16_t c : text) shape->EditKeyPress(c);
  }

  // The window point of caret index at a fraction of the line height below the line top, kept a
  // little inside the box so that rounding never puts it outside.
  static TPoint ScreenOf(const TdtpTextBaseShape* shape, int32_t index, float fraction = 0.5f) {
    const TFloatPoint p = shape->CharPositions()[static_cast<size_t>(index)];
    const float x = std::clamp(p.X, 0.2f, shape->DocWidth() - 0.2f);
    return RoundPoint(shape->LocalToScreen(shape->TextToLocal({x, p.Y + shape->FontHeight() * fraction})));
  }

  THeadlessTimerService timers;
  THeadlessClipboard clipboard;
  THeadlessWindowHost host{800, 600};
  std::unique_ptr<TdtpDocument> doc;
  int32_t documentTimers = 0;
};

TEST_F(TextEdit, BeginEditSelectsAllShowsTheCaretAndBlinksIt) {
  auto* shape = Add<TdtpTextShape>(u"Hello");
  EXPECT_FALSE(host.Focused());
  Edit(shape);
  ASSERT_TRUE(shape->IsEditing());
  EXPECT_TRUE(host.Focused());
  EXPECT_EQ(shape->LineEdit()->Text(), u"Hello");
  EXPECT_EQ(shape->SelStart, 0);
  EXPECT_EQ(shape->SelLength, 5);
  EXPECT_EQ(shape->CaretPos, 5);
  EXPECT_EQ(shape->TextBeforeEdit, u"Hello");
  ASSERT_EQ(shape->CharPositions().size(), 6u);
  EXPECT_EQ(shape->CharLines(), (std::vector<int32_t>{0, 0, 0, 0, 0, 0}));
  for (size_t i = 1; i < 6; ++i) EXPECT_GT(shape->CharPositions()[i].X, shape->CharPositions()[i - 1].X);
  EXPECT_NEAR(shape->CharPositions()[5].X, shape->DocWidth(), 0.6);

  ASSERT_NE(shape->CaretTimer(), nullptr);
  EXPECT_TRUE(shape->CaretTimer()->Active());
  EXPECT_EQ(shape->CaretTimer()->Interval(), 400u);
  EXPECT_EQ(timers.ActiveCount(), documentTimers + 1);
  EXPECT_FALSE(shape->CaretPhase);
  timers.Advance(399);
  EXPECT_FALSE(shape->CaretPhase);
  timers.Advance(1);
  EXPECT_TRUE(shape->CaretPhase);
  // Typing shows the caret at once.
  Type(shape, u"x");
  EXPECT_FALSE(shape->CaretPhase);
  timers.Advance(400);
  EXPECT_TRUE(shape->CaretPhase);

  doc->EndEditing(true);
  EXPECT_FALSE(shape->IsEditing());
  EXPECT_EQ(shape->CaretTimer(), nullptr);
  EXPECT_EQ(timers.ActiveCount(), documentTimers);
  EXPECT_TRUE(shape->CharPositions().empty());
  EXPECT_EQ(doc->EditShape(), nullptr);
}

TEST_F(TextEdit, AShapeThatMayNotBeEditedEndsTheEditingAtOnce) {
  auto* shape = Add<TdtpTextShape>(u"Fixed");
  shape->AllowEdit = false;
  Edit(shape);
  EXPECT_FALSE(shape->IsEditing());
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(timers.ActiveCount(), documentTimers);
  shape->EditKeyPress(u'x');
  EXPECT_EQ(shape->Text(), u"Fixed");
}

TEST_F(TextEdit, EnterCommitsAllTypingAsOneUndoStep) {
  auto* shape = Add<TdtpTextShape>(u"Hello");
  shape->SetAlignment(taCenter);
  doc->ClearUndo();
  const std::string before = test::XmlOf(*shape);
  const float centre = shape->DocLeft() + shape->DocWidth() / 2;
  Edit(shape);
  Type(shape, u"Wide world");
  // The layout follows every key, and nothing is recorded yet.
  EXPECT_EQ(shape->Text(), u"Wide world");
  EXPECT_EQ(shape->Span(0)->CharCount, 10);
  EXPECT_NEAR(shape->DocLeft() + shape->DocWidth() / 2, centre, 1e-3);
  EXPECT_EQ(doc->UndoCount(), 0);
  shape->EditKeyDown(vk::Back, 0);
  shape->EditKeyDown(vk::Return, 0);
  EXPECT_FALSE(shape->IsEditing());
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(shape->Text(), u"Wide worl");
  const std::string after = test::XmlOf(*shape);
  EXPECT_EQ(StepCount(*doc), 1);

  ASSERT_TRUE(doc->Undo());
  EXPECT_EQ(shape->Text(), u"Hello");
  EXPECT_EQ(test::XmlOf(*shape), before);
  ASSERT_TRUE(doc->Redo());
  EXPECT_EQ(test::XmlOf(*shape), after);

  // Tab, F2 and the document's own end accept as well; an edit that changed nothing records nothing.
  doc->ClearUndo();
  for (const uint16_t key : {uint16_t(vk::Tab), uint16_t(vk::F2), uint16_t(0)}) {
    Edit(shape);
    Type(shape, u"Again");
    if (key != 0) {
      shape->EditKeyDown(key, 0);
    } else {
      doc->EndEditing(true);
    }
    EXPECT_FALSE(shape->IsEditing());
    EXPECT_EQ(shape->Text(), u"Again");
  }
  EXPECT_EQ(StepCount(*doc), 1);
}

TEST_F(TextEdit, EscapeGivesBackTheTextAndTheBoxWithoutUndo) {
  for (const uint8_t alignment : {taLeftJustify, taRightJustify, taCenter}) {
    auto* memo = Add<TdtpMemoShape>(u"First line\r\nSecond");
    memo->SetAlignment(alignment);
    memo->SetVertAlign(vaBottom);
    doc->ClearUndo();
    const std::string before = test::XmlOf(*memo);
    Edit(memo);
    memo->EditKeyDown(vk::End, 0);
    memo->EditKeyDown(vk::Return, 0);  // a memo keeps Enter: a line break
    Type(memo, u"a much longer third line");
    EXPECT_TRUE(memo->IsEditing());
    EXPECT_EQ(memo->SpanCount(), 3);
    EXPECT_EQ(memo->Lines().size(), 3u);
    memo->EditKeyDown(vk::Escape, 0);
    EXPECT_FALSE(memo->IsEditing());
    EXPECT_EQ(memo->Text(), u"First line\r\nSecond");
    EXPECT_EQ(test::XmlOf(*memo), before);
    EXPECT_EQ(doc->UndoCount(), 0);
    EXPECT_EQ(doc->EditShape(), nullptr);
  }
  // The document ending an edit unaccepted does the same.
  auto* text = Add<TdtpTextShape>(u"Keep");
  Edit(text);
  Type(text, u"Drop");
  doc->EndEditing(false);
  EXPECT_EQ(text->Text(), u"Keep");
  EXPECT_EQ(doc->UndoCount(), 0);
}

TEST_F(TextEdit, AChangeFromOutsideReachesTheEditor) {
  auto* shape = Add<TdtpTextShape>(u"One");
  Edit(shape);
  shape->SetText(u"Two words");
  EXPECT_EQ(shape->LineEdit()->Text(), u"Two words");
  EXPECT_EQ(shape->CharPositions().size(), 10u);
  Type(shape, u"!");
  EXPECT_EQ(shape->Text(), u"Two words!");
}

TEST_F(TextEdit, NavigationFollowsTheLinesOfAMemo) {
  // Indexes: "ab" 0..2, break, "cdef" 4..8, break, "g" 10..11.
  auto* memo = Add<TdtpMemoShape>(u"ab\r\ncdef\r\ng");
  Edit(memo);
  EXPECT_EQ(memo->CharLines(), (std::vector<int32_t>{0, 0, 0, -1, 1, 1, 1, 1, 1, -1, 2, 2}));
  TdtpLineEdit* edit = memo->LineEdit();
  auto key = [&](uint16_t k, uint16_t shift = 0) {
    memo->EditKeyDown(k, shift);
    return memo->CaretPos;
  };
  EXPECT_EQ(key(vk::Home), 10);
  EXPECT_EQ(key(vk::Left), 8);  // over the line break
  EXPECT_EQ(key(vk::Home), 4);
  EXPECT_EQ(key(vk::End), 8);
  EXPECT_EQ(key(vk::Right), 10);
  EXPECT_EQ(key(vk::Right), 11);
  EXPECT_EQ(key(vk::Right), 11);
  // Up and Down go to the closest x on the next line, and stay at the first and last line.
  EXPECT_EQ(key(vk::Up), 5);  // after "g" lies closest to after "c"
  EXPECT_EQ(key(vk::Up), 1);
  EXPECT_EQ(key(vk::Up), 1);
  key(vk::End);
  EXPECT_EQ(key(vk::Down), 6);
  EXPECT_EQ(key(vk::Down), 11);
  EXPECT_EQ(key(vk::Down), 11);
  // Shift carries the selection over lines.
  key(vk::Home);
  EXPECT_EQ(key(vk::Up, ssShift), 4);
  EXPECT_EQ(memo->SelStart, 4);
  EXPECT_EQ(memo->SelLength, 6);
  EXPECT_EQ(edit->SelectedText(), u"cdef\r\n");

  // After a final line break the caret stands at the start of the empty line below the text.
  key(vk::Down);
  EXPECT_EQ(key(vk::End), 11);
  memo->EditKeyDown(vk::Return, 0);
  EXPECT_EQ(memo->Text(), u"ab\r\ncdef\r\ng\r\n");
  const TFloatPoint end = memo->CharPositions().back();
  EXPECT_EQ(end.X, 0);
  EXPECT_FLOAT_EQ(end.Y, memo->Span(2)->Top + memo->FontHeight());
  EXPECT_EQ(key(vk::Up), 10);
  key(vk::End);
  EXPECT_EQ(key(vk::Right), 13);
  EXPECT_EQ(key(vk::Left), 11);
}

TEST_F(TextEdit, TheMousePlacesTheCaretOnATurnedShape) {
  auto* shape = Add<TdtpTextShape>(u"ABCDEFGH");
  shape->SetAngle(30);
  doc->ClearUndo();
  Edit(shape);
  for (int32_t k = 0; k <= 8; ++k) {
    shape->EditMouseDown(kLeft, ssLeft, ScreenOf(shape, k).X, ScreenOf(shape, k).Y);
    shape->EditMouseUp(kLeft, 0, ScreenOf(shape, k).X, ScreenOf(shape, k).Y);
    EXPECT_EQ(shape->CaretPos, k);
    EXPECT_EQ(shape->SelLength, 0);
  }
  // A point a little short of the middle between two carets goes to the nearer one.
  const auto& pos = shape->CharPositions();
  const float x = pos[3].X + (pos[4].X - pos[3].X) * 0.4f;
  const TPoint near3 = RoundPoint(shape->LocalToScreen({x, pos[3].Y + 0.3f * shape->FontHeight()}));
  shape->EditMouseDown(kLeft, ssLeft, near3.X, near3.Y);
  EXPECT_EQ(shape->CaretPos, 3);

  // Dragging selects; Shift with a press extends; a double click selects everything.
  shape->EditMouseDown(kLeft, ssLeft, ScreenOf(shape, 2).X, ScreenOf(shape, 2).Y);
  shape->EditMouseMove(ssLeft, ScreenOf(shape, 4).X, ScreenOf(shape, 4).Y);
  shape->EditMouseMove(ssLeft, ScreenOf(shape, 5).X, ScreenOf(shape, 5).Y);
  shape->EditMouseUp(kLeft, 0, ScreenOf(shape, 5).X, ScreenOf(shape, 5).Y);
  EXPECT_EQ(shape->SelStart, 2);
  EXPECT_EQ(shape->SelLength, 3);
  shape->EditMouseMove(0, ScreenOf(shape, 8).X, ScreenOf(shape, 8).Y);  // released: no change
  EXPECT_EQ(shape->SelLength, 3);
  shape->EditMouseDown(kLeft, kLeftShift, ScreenOf(shape, 7).X, ScreenOf(shape, 7).Y);
  EXPECT_EQ(shape->SelStart, 2);
  EXPECT_EQ(shape->SelLength, 5);
  EXPECT_EQ(shape->LineEdit()->SelectedText(), u"CDEFG");
  shape->EditMouseUp(kLeft, 0, 0, 0);
  // The window reports a double click's second press after the double click itself.
  shape->EditDblClick(kLeft, ssLeft, ScreenOf(shape, 1).X, ScreenOf(shape, 1).Y);
  shape->EditMouseDown(kLeft, ssLeft | ssDouble, ScreenOf(shape, 1).X, ScreenOf(shape, 1).Y);
  shape->EditMouseMove(ssLeft, ScreenOf(shape, 3).X, ScreenOf(shape, 3).Y);
  shape->EditMouseUp(kLeft, 0, ScreenOf(shape, 3).X, ScreenOf(shape, 3).Y);
  EXPECT_EQ(shape->SelLength, 8);

  // Above and below the line still count when inside the shape; outside it the editing ends, kept.
  Type(shape, u"Typed");
  shape->EditMouseDown(kLeft, ssLeft, ScreenOf(shape, 1, 0.05f).X, ScreenOf(shape, 1, 0.05f).Y);
  EXPECT_EQ(shape->CaretPos, 1);
  const TPoint outside = RoundPoint(shape->LocalToScreen({-5, -5}));
  shape->EditMouseDown(kLeft, ssLeft, outside.X, outside.Y);
  EXPECT_FALSE(shape->IsEditing());
  EXPECT_EQ(shape->Text(), u"Typed");
  EXPECT_EQ(StepCount(*doc), 1);
}

TEST_F(TextEdit, AMirroredShapeCountsFromTheRightEdge) {
  auto* shape = Add<TdtpTextShape>(u"ABCD");
  shape->SetMirrored(true);
  Edit(shape);
  const auto& pos = shape->CharPositions();
  // Index 0 shows at the right edge of the box.
  const TFloatPoint first = shape->TextToLocal(pos[0]);
  EXPECT_FLOAT_EQ(first.X, shape->DocWidth());
  for (int32_t k = 0; k <= 4; ++k) {
    shape->EditMouseDown(kLeft, ssLeft, ScreenOf(shape, k).X, ScreenOf(shape, k).Y);
    EXPECT_EQ(shape->CaretPos, k);
  }
  // The left edge of the box is the end of the text.
  const TPoint left = RoundPoint(shape->LocalToScreen({0.2f, shape->FontHeight() / 2}));
  shape->EditMouseDown(kLeft, ssLeft, left.X, left.Y);
  EXPECT_EQ(shape->CaretPos, 4);
}

TEST_F(TextEdit, CutCopyAndPasteGoThroughThePlatformClipboard) {
  auto* shape = Add<TdtpTextShape>(u"Hello");
  Edit(shape);
  shape->EditKeyDown(vk::Left, ssShift);
  shape->EditKeyDown(vk::Left, ssShift);
  shape->EditKeyPress(TdtpLineEdit::kCtrlC);
  // Shift+Left twice from the whole text selected leaves "Hel".
  EXPECT_EQ(clipboard.Text(), "Hel");
  EXPECT_EQ(shape->LineEdit()->SelectedText(), u"Hel");
  shape->EditKeyDown(vk::End, 0);
  shape->EditKeyDown(vk::Left, ssShift);
  shape->EditKeyDown(vk::Left, ssShift);
  shape->EditKeyPress(TdtpLineEdit::kCtrlX);
  EXPECT_EQ(clipboard.Text(), "lo");
  EXPECT_EQ(shape->Text(), u"Hel");
  shape->EditKeyDown(vk::Home, 0);
  shape->EditKeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(shape->Text(), u"loHel");
  EXPECT_EQ(shape->CaretPos, 2);
  clipboard.SetText("é€");
  shape->EditKeyPress(TdtpLineEdit::kCtrlV);
  EXPECT_EQ(shape->Text(), u"loé€Hel");
  shape->EditKeyDown(vk::Escape, 0);
  EXPECT_EQ(shape->Text(), u"Hello");
}

TEST_F(TextEdit, CaseModeAndMaximumLengthReachTheEditor) {
  auto* shape = Add<TdtpTextShape>(u"");
  shape->EditCaseMode = ecUpperCase;
  shape->EditMaxLength = 8;
  Edit(shape);
  EXPECT_EQ(shape->LineEdit()->CaseMode, ecUpperCase);
  Type(shape, u"magnets for you");
  EXPECT_EQ(shape->Text(), u"MAGNETS ");
  shape->EditKeyDown(vk::Return, 0);
  EXPECT_EQ(shape->Text(), u"MAGNETS ");
}

TEST_F(TextEdit, OverlayDrawsTheSelectionHatchAndTheCaret) {
  auto* shape = Add<TdtpTextShape>(u"MMMMMM");
  TBitmap32 window;
  window.SetSize(800, 600);
  auto paint = [&] {
    window.Clear(clWhite32);
    TBitmapCanvas canvas(window);
    shape->DrawHandles(canvas);
  };
  Edit(shape);
  // Characters 1 and 2 selected, the caret after them.
  shape->EditMouseDown(kLeft, ssLeft, ScreenOf(shape, 1).X, ScreenOf(shape, 1).Y);
  shape->EditMouseDown(kLeft, kLeftShift, ScreenOf(shape, 3).X, ScreenOf(shape, 3).Y);
  ASSERT_EQ(shape->SelStart, 1);
  ASSERT_EQ(shape->SelLength, 2);
  paint();
  const TRect box{ScreenOf(shape, 1, 0).X, ScreenOf(shape, 1, 0).Y, ScreenOf(shape, 3, 1).X,
                  ScreenOf(shape, 3, 1).Y};
  int grey = 0, caret = 0, elsewhere = 0;
  for (int32_t y = 0; y < window.Height(); ++y) {
    for (int32_t x = 0; x < window.Width(); ++x) {
      const TColor32 c = window.Pixel(x, y);
      if ((c & 0xFFFFFF) == kRgbWhite) continue;
      const bool inBox = x >= box.Left - 1 && x <= box.Right + 1 && y >= box.Top - 1 && y <= box.Bottom + 1;
      if ((c & 0xFFFFFF) == kRgbGrey && inBox) {
        ++grey;
      } else if ((c | 0xFF000000u) == kCaretColor && std::abs(x - box.Right) <= 2 && inBox) {
        ++caret;
      } else {
        ++elsewhere;
      }
    }
  }
  EXPECT_EQ(elsewhere, 0);
  // Both diagonals every 8 pixels: about a quarter of the box's pixels.
  const double area = double(box.Width()) * box.Height();
  EXPECT_GT(grey, area / 8);
  EXPECT_LT(grey, area / 2);
  // Two pixels wide, one line high.
  EXPECT_GE(caret, 2 * (box.Height() - 2));
  // Hidden in the caret timer's other phase; the hatch stays.
  timers.Advance(400);
  paint();
  int caretPixels = 0, greyPixels = 0;
  for (int32_t y = 0; y < window.Height(); ++y) {
    for (int32_t x = 0; x < window.Width(); ++x) {
      caretPixels += (window.Pixel(x, y) | 0xFF000000u) == kCaretColor;
      greyPixels += (window.Pixel(x, y) & 0xFFFFFF) == kRgbGrey;
    }
  }
  EXPECT_EQ(caretPixels, 0);
  // The hatch the caret covered shows again.
  EXPECT_GE(greyPixels, grey);
  EXPECT_LE(greyPixels, grey + caret);

  // On a turned shape the hatch keeps inside the turned selection.
  shape->SetAngle(40);
  shape->EditDblClick(kLeft, ssLeft, 0, 0);
  paint();
  const TdtpRegion region = shape->ShapeRegion();
  int inside = 0, outside = 0;
  for (int32_t y = 0; y < window.Height(); ++y) {
    for (int32_t x = 0; x < window.Width(); ++x) {
      if ((window.Pixel(x, y) & 0xFFFFFF) != kRgbGrey) continue;
      // Pixel centres; a pixel on the edge may round either way.
      const bool in = RegionContains(region, x + 0.5, y + 0.5) || RegionContains(region, x - 0.5, y - 0.5) ||
                      RegionContains(region, x + 1.5, y + 1.5) || RegionContains(region, x - 0.5, y + 1.5) ||
                      RegionContains(region, x + 1.5, y - 0.5);
      (in ? inside : outside) += 1;
    }
  }
  EXPECT_EQ(outside, 0);
  EXPECT_GT(inside, 100);
}

// The caret positions are where the painted text is, on every resolution, and the line breaks an
// edit leaves are those of the same text laid out afresh.
TEST_F(TextEdit, CaretPositionsMatchThePaintedLinesAtEveryResolution) {
  auto* memo = Add<TdtpMemoShape>(u"");
  memo->SetWordWrap(true);
  memo->SetAlignment(taCenter);
  memo->SetBounds(20, 30, 120, 10);
  Edit(memo);
  Type(memo, u"MINIMUM HEIGHT HEMMED IN NEW LINES");
  memo->EditKeyDown(vk::Return, 0);
  Type(memo, u"END");
  memo->EditKeyDown(vk::Escape, 0);
  Edit(memo);
  Type(memo, u"MINIMUM HEIGHT HEMMED IN NEW LINES");
  memo->EditKeyDown(vk::Return, 0);
  Type(memo, u"END");
  doc->EndEditing(true);
  ASSERT_GE(memo->SpanCount(), 3);

  TdtpMemoShape fresh;
  fresh.SetFontSystem(&Fonts());
  fresh.SetWordWrap(true);
  fresh.SetAlignment(taCenter);
  fresh.SetBounds(20, 30, 120, 10);
  fresh.SetText(memo->Text());
  ASSERT_EQ(fresh.SpanCount(), memo->SpanCount());
  for (int i = 0; i < memo->SpanCount(); ++i) {
    EXPECT_EQ(memo->Span(i)->CharPos, fresh.Span(i)->CharPos);
    EXPECT_EQ(memo->Span(i)->CharCount, fresh.Span(i)->CharCount);
    EXPECT_EQ(memo->Span(i)->Width, fresh.Span(i)->Width);
  }

  for (const double dpi : {72.0, 150.0, 300.0, 600.0}) {
    SCOPED_TRACE(dpi);
    const double dpm = dpi / 25.4;
    SetDpm(dpm);
    Edit(memo);
    const auto& pos = memo->CharPositions();
    const auto& lines = memo->CharLines();
    TBitmap32 bitmap;
    bitmap.SetSize(static_cast<int32_t>(std::ceil(memo->DocWidth() * dpm)) + 2,
                   static_cast<int32_t>(std::ceil(memo->DocHeight() * dpm)) + 2);
    memo->SetPaintMatrix(TdtpAffineTransform(dpm, 0, 0, dpm, 0, 0));
    TdtpPaintInfo info;
    info.Dpm = static_cast<float>(dpm);
    memo->PaintBitmap(bitmap, info);
    const double tolerance = std::max(2.0, 0.12 * memo->FontHeight() * dpm);
    for (int i = 0; i < memo->SpanCount(); ++i) {
      const TdtpTextSpan& span = *memo->Span(i);
      const auto first = static_cast<size_t>(span.CharPos - 1), last = first + static_cast<size_t>(span.CharCount);
      for (size_t k = first; k <= last; ++k) EXPECT_EQ(lines[k], i);
      EXPECT_FLOAT_EQ(pos[first].Y, span.Top);
      // The ink of the line's band lies between its first and last caret.
      const int32_t y0 = static_cast<int32_t>(std::ceil(span.Top * dpm)) + 1;
      const int32_t y1 = static_cast<int32_t>(std::floor((span.Top + memo->FontHeight()) * dpm)) - 1;
      int32_t inkLeft = INT32_MAX, inkRight = -1;
      for (int32_t y = y0; y < std::min(y1, bitmap.Height()); ++y) {
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
          if ((bitmap.Pixel(x, y) >> 24) > 128) inkLeft = std::min(inkLeft, x), inkRight = std::max(inkRight, x);
        }
      }
      ASSERT_GE(inkRight, 0) << "line " << i;
      EXPECT_NEAR(inkLeft, pos[first].X * dpm, tolerance) << "line " << i;
      EXPECT_NEAR(inkRight + 1, pos[last].X * dpm, tolerance) << "line " << i;
    }
    doc->EndEditing(true);
  }
}

TEST_F(TextEdit, AShapeLeavingThePageWhileEditedLeavesNothingBehind) {
  auto* shape = Add<TdtpTextShape>(u"Doomed");
  Edit(shape);
  Type(shape, u"Typed");
  Page().DeleteChild(shape->ShapeIndex());
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_EQ(timers.ActiveCount(), documentTimers);
  // Undoing the deletion brings the shape back with what was typed, not being edited.
  ASSERT_TRUE(doc->Undo());
  ASSERT_EQ(Page().ChildCount(), 1);
  auto* back = dynamic_cast<TdtpTextShape*>(Page().Child(0));
  ASSERT_NE(back, nullptr);
  EXPECT_FALSE(back->IsEditing());
  EXPECT_EQ(back->Text(), u"Typed");

  // Taken off the page, the shape lives on unedited with its text from before.
  Edit(back);
  Type(back, u"Gone");
  std::unique_ptr<TdtpShape> taken(Page().ExtractChild(back));
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(doc->EditShape(), nullptr);
  EXPECT_FALSE(back->IsEditing());
  EXPECT_EQ(back->Text(), u"Typed");
  EXPECT_EQ(timers.ActiveCount(), documentTimers);
  back->EditKeyPress(u'x');
  EXPECT_EQ(back->Text(), u"Typed");

  // The document freed with a shape in editing.
  auto* last = Add<TdtpMemoShape>(u"Last");
  Edit(last);
  doc.reset();
  EXPECT_EQ(timers.ActiveCount(), 0);
  EXPECT_EQ(timers.Advance(2000), 0u);
}

}  // namespace
}  // namespace sw
