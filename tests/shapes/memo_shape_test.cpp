#include "shapes/memo_shape.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/document.h"
#include "engine/engine_test_support.h"
#include "platform/text.h"
#include "support/machine_fonts.h"

namespace sw {
namespace {

using TSpanList = std::vector<std::pair<int32_t, int32_t>>;  // (CharPos, CharCount)

class MemoShape : public test::MachineFonts {
protected:
  static void SetUpTestSuite() {
    test::MachineFonts::SetUpTestSuite();
    test::RegisterClasses();
  }

  std::unique_ptr<TdtpMemoShape> NewMemo(float width, bool wrap, const std::u16string& text) {
    auto memo = std::make_unique<TdtpMemoShape>();
    memo->SetFontSystem(&Fonts());
    memo->SetBounds(0, 0, width, 10);
    memo->SetWordWrap(wrap);
    memo->SetText(text);
    return memo;
  }

  static TSpanList SpansOf(const TdtpTextBaseShape& shape) {
    TSpanList spans;
    for (int i = 0; i < shape.SpanCount(); ++i) spans.emplace_back(shape.Span(i)->CharPos, shape.Span(i)->CharCount);
    return spans;
  }

  static std::u16string Piece(const TdtpTextBaseShape& shape, int index) {
    return std::u16string(shape.SpanText(*shape.Span(index)));
  }

  // The breaking rule as written, one candidate at a time, measuring the whole candidate each time.
  static TSpanList ReferenceWrap(TdtpMemoShape& memo) {
    memo.PrepareFont();
    const std::u16string& text = memo.Text();
    const float maxWidth = memo.DocWidth();
    auto width = [&](int32_t p, int32_t n) {
      float w = 0, h = 0;
      memo.MeasureText(p + 1, n, w, h);
      return w;
    };
    TSpanList out;
    auto wrapLine = [&](int32_t s, int32_t e) {
      if (s == e) {
        out.emplace_back(s + 1, 0);
        return;
      }
      int32_t p = s;
      while (p < e) {
        int32_t r = e - p;
        while (r > 1 && !(width(p, r) < maxWidth)) {
          int32_t k = -1;
          for (int32_t i = r - 1; i >= 0; --i) {
            if (text[static_cast<size_t>(p + i)] == u' ' || text[static_cast<size_t>(p + i)] == u'-') {
              k = i;
              break;
            }
          }
          r = k > 0 ? k : r - 1;
        }
        while (r > 1 && text[static_cast<size_t>(p + r - 1)] == u' ') --r;
        out.emplace_back(p + 1, r);
        p += r;
        while (p < e && (text[static_cast<size_t>(p)] == u' ' || text[static_cast<size_t>(p)] == u'\r' ||
                         text[static_cast<size_t>(p)] == u'\n')) {
          ++p;
        }
      }
    };
    const int32_t n = static_cast<int32_t>(text.size());
    int32_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
      if (text[static_cast<size_t>(i)] != u'\r' && text[static_cast<size_t>(i)] != u'\n') continue;
      wrapLine(start, i);
      if (text[static_cast<size_t>(i)] == u'\r' && i + 1 < n && text[static_cast<size_t>(i + 1)] == u'\n') ++i;
      start = i + 1;
    }
    if (start < n) wrapLine(start, n);
    return out;
  }

  // Every span is a run of the text, in order, at least one character when its line is not empty.
  static void ExpectCovering(const TdtpTextBaseShape& shape) {
    int32_t next = 1;
    for (int i = 0; i < shape.SpanCount(); ++i) {
      const TdtpTextSpan& span = *shape.Span(i);
      ASSERT_GE(span.CharPos, next);
      ASSERT_GE(span.CharCount, 1);
      next = span.CharPos + span.CharCount;
    }
    ASSERT_LE(next - 1, static_cast<int32_t>(shape.Text().size()));
  }
};

TEST_F(MemoShape, NewMemoDefaults) {
  TdtpMemoShape memo;
  EXPECT_STREQ(memo.ClassName(), "TdtpMemoShape");
  EXPECT_TRUE(memo.MultiLine());
  EXPECT_FALSE(memo.WordWrap());
  EXPECT_FALSE(memo.ScaleFontOnResize);
  EXPECT_TRUE(memo.AutoSize());
  EXPECT_TRUE(memo.ForceCache());
  EXPECT_TRUE(memo.Lines().empty());
}

TEST_F(MemoShape, LinesFollowLineBreaks) {
  auto memo = NewMemo(50, false, u"A\r\n\r\nB");
  ASSERT_EQ(SpansOf(*memo), (TSpanList{{1, 1}, {4, 0}, {6, 1}}));
  // The empty middle line is measured as the letter W.
  const TSize w = TextExtent(TFont{"Arial", 142, 0, clBlack32}, u"W", Fonts());
  EXPECT_FLOAT_EQ(memo->Span(1)->Width, static_cast<float>(w.cx * 25.4 / 300));
  EXPECT_EQ(memo->Lines(), (std::vector<std::u16string>{u"A", u"", u"B"}));
  // Line spacing is the font height; the box is the widest line by the lines' count.
  EXPECT_FLOAT_EQ(memo->Span(2)->Top, 24);
  EXPECT_FLOAT_EQ(memo->DocHeight(), 36);
  EXPECT_FLOAT_EQ(memo->DocWidth(), std::max({memo->Span(0)->Width, memo->Span(1)->Width, memo->Span(2)->Width}));

  memo->SetText(u"one\rtwo\nthree\r\n");
  EXPECT_EQ(SpansOf(*memo), (TSpanList{{1, 3}, {5, 3}, {9, 5}}));
  EXPECT_EQ(memo->Lines(), (std::vector<std::u16string>{u"one", u"two", u"three"}));

  memo->SetText(u"");
  EXPECT_EQ(memo->SpanCount(), 0);
  EXPECT_EQ(memo->DocHeight(), 0.0f);
  EXPECT_EQ(memo->DocWidth(), 0.0f);
  EXPECT_EQ(memo->TextExtentMm(), (TFloatPoint{0, 0}));

  memo->SetLines({u"x", u"y\nz"});
  EXPECT_EQ(memo->Text(), u"x\r\ny\nz");
  EXPECT_EQ(memo->Lines(), (std::vector<std::u16string>{u"x", u"y", u"z"}));
}

TEST_F(MemoShape, WrapBreaksAfterWordsAndBeforeHyphens) {
  auto probe = NewMemo(500, false, u"well-known");
  auto widthOf = [&](const std::u16string& s) {
    probe->SetText(s);
    return probe->Span(0)->Width;
  };
  const float whole = widthOf(u"well-known");
  const float box = std::max(widthOf(u"well"), widthOf(u"-known")) + 0.5f;
  ASSERT_LT(box, whole);
  auto memo = NewMemo(box, true, u"well-known");
  ASSERT_EQ(memo->SpanCount(), 2);
  EXPECT_EQ(Piece(*memo, 0), u"well");
  EXPECT_EQ(Piece(*memo, 1), u"-known");

  // Spaces at a break belong to no line; a word wider than the box breaks between characters.
  auto words = NewMemo(box, true, u"well   known Supercalifragilistic");
  std::vector<std::u16string> pieces;
  for (int i = 0; i < words->SpanCount(); ++i) pieces.push_back(Piece(*words, i));
  ASSERT_GE(pieces.size(), 4u);
  EXPECT_EQ(pieces[0], u"well");
  EXPECT_EQ(pieces[1], u"known");
  std::u16string rest;
  for (size_t i = 2; i < pieces.size(); ++i) rest += pieces[i];
  EXPECT_EQ(rest, u"Supercalifragilistic");
  for (int i = 0; i < words->SpanCount(); ++i) EXPECT_LT(words->Span(i)->Width, box) << i;
}

TEST_F(MemoShape, WrapAgreesWithTheRuleAppliedOneCandidateAtATime) {
  std::mt19937 random(4711);
  const std::u16string alphabet = u"aWil.mM";
  for (int round = 0; round < 40; ++round) {
    std::u16string text;
    const int words = 1 + static_cast<int>(random() % 18);
    for (int w = 0; w < words; ++w) {
      const int kind = static_cast<int>(random() % 12);
      if (kind == 0) text += u"\r\n";
      if (kind == 1) text += u"  ";
      if (kind == 2) text += u"-";
      if (kind == 3) text += u"\n\n";
      const int letters = 1 + static_cast<int>(random() % (kind == 4 ? 30 : 8));
      for (int l = 0; l < letters; ++l) text += alphabet[random() % alphabet.size()];
      text += (random() % 5 == 0) ? u"-" : u" ";
    }
    const float width = static_cast<float>(random() % 900) / 10.0f;
    auto memo = NewMemo(width, true, text);
    memo->SetFontHeight(static_cast<float>(2 + random() % 14));
    EXPECT_EQ(SpansOf(*memo), ReferenceWrap(*memo)) << "round " << round << " width " << width;
  }
}

TEST_F(MemoShape, ResizingRewrapsAndAlignedEdgesStay) {
  auto memo = NewMemo(80, true, u"the quick brown fox jumps over the lazy dog");
  const int before = memo->SpanCount();
  EXPECT_FLOAT_EQ(memo->DocWidth(), 80);  // a wrapped memo keeps its width
  memo->SetBounds(0, 0, 40, memo->DocHeight());
  EXPECT_GT(memo->SpanCount(), before);
  EXPECT_FLOAT_EQ(memo->DocWidth(), 40);
  EXPECT_FLOAT_EQ(memo->DocHeight(), static_cast<float>(memo->SpanCount() * 12.0));

  for (uint8_t vert : {vaCenter, vaBottom}) {
    auto grow = NewMemo(80, true, u"one");
    grow->SetVertAlign(vert);
    grow->SetBounds(10, 100, 80, grow->DocHeight());
    const float top = grow->DocTop(), bottom = top + grow->DocHeight(), middle = top + grow->DocHeight() / 2;
    grow->SetText(u"one\r\ntwo\r\nthree");
    if (vert == vaBottom) {
      EXPECT_FLOAT_EQ(grow->DocTop() + grow->DocHeight(), bottom);
    } else {
      EXPECT_FLOAT_EQ(grow->DocTop() + grow->DocHeight() / 2, middle);
    }
    EXPECT_FLOAT_EQ(grow->DocHeight(), 36);
  }

  // Without auto size a bottom-aligned block sits on the box's bottom edge.
  auto fixed = NewMemo(80, true, u"a\r\nb");
  fixed->SetAutoSize(false);
  fixed->SetBounds(0, 0, 80, 100);
  fixed->SetVertAlign(vaBottom);
  EXPECT_FLOAT_EQ(fixed->Span(0)->Top, 76);
  EXPECT_FLOAT_EQ(fixed->Span(1)->Top, 88);
}

TEST_F(MemoShape, EndlessWordsAndTabsLayOutInBoundedTime) {
  const auto begin = std::chrono::steady_clock::now();
  auto word = NewMemo(50, true, std::u16string(100000, u'm'));
  ExpectCovering(*word);
  EXPECT_GT(word->SpanCount(), 1000);
  for (int i = 0; i + 1 < word->SpanCount(); ++i) ASSERT_LT(word->Span(i)->Width, 50.0f) << i;

  // Tabs have no width and are not spaces: in no width at all each line still takes one.
  auto tabs = NewMemo(0, true, std::u16string(5000, u'\t'));
  ExpectCovering(*tabs);
  EXPECT_EQ(tabs->SpanCount(), 5000);
  auto wide = NewMemo(30, true, u"   " + std::u16string(5000, u'\t') + u"  x");
  ExpectCovering(*wide);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
}

TEST_F(MemoShape, StaysInsideItsSpansAndKeepsItsBreaksAtEveryResolution) {
  auto memo = NewMemo(45, true, u"Magnets for the fridge, printed at any resolution you like: 72, 150, 300 or 600.");
  memo->SetFontHeight(5);
  const TSpanList layout = SpansOf(*memo);
  ASSERT_GE(layout.size(), 3u);
  std::vector<float> widths;
  for (int i = 0; i < memo->SpanCount(); ++i) widths.push_back(memo->Span(i)->Width);

  for (double dpi : {72.0, 150.0, 300.0, 600.0}) {
    const double dpm = dpi / 25.4;
    TBitmap32 bitmap;
    bitmap.SetSize(static_cast<int32_t>(std::ceil(memo->DocWidth() * dpm)) + 4,
                   static_cast<int32_t>(std::ceil(memo->DocHeight() * dpm)) + 4);
    memo->SetPaintMatrix(TdtpAffineTransform(dpm, 0, 0, dpm, 0, 0));
    TdtpPaintInfo info;
    info.Dpm = static_cast<float>(dpm);
    memo->PaintBitmap(bitmap, info);

    std::vector<TRect> boxes;
    for (int i = 0; i < memo->SpanCount(); ++i) {
      const TdtpTextSpan& s = *memo->Span(i);
      boxes.push_back(TRect{static_cast<int32_t>(std::lround(s.Left * dpm)), static_cast<int32_t>(std::lround(s.Top * dpm)),
                            static_cast<int32_t>(std::lround((s.Left + s.Width) * dpm)),
                            static_cast<int32_t>(std::lround((s.Top + s.Height) * dpm))});
    }
    std::vector<int> ink(boxes.size(), 0);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
      for (int32_t x = 0; x < bitmap.Width(); ++x) {
        if (AlphaOf(bitmap.Pixel(x, y)) == 0) continue;
        bool inside = false;
        for (size_t b = 0; b < boxes.size(); ++b) {
          if (x >= boxes[b].Left - 1 && x <= boxes[b].Right && y >= boxes[b].Top - 1 && y <= boxes[b].Bottom) {
            inside = true;
            ++ink[b];
          }
        }
        ASSERT_TRUE(inside) << dpi << " dpi: ink at " << x << "," << y;
      }
    }
    for (size_t b = 0; b < boxes.size(); ++b) EXPECT_GT(ink[b], 0) << dpi << " dpi, line " << b;
    EXPECT_EQ(SpansOf(*memo), layout) << dpi;
    for (int i = 0; i < memo->SpanCount(); ++i) EXPECT_EQ(memo->Span(i)->Width, widths[static_cast<size_t>(i)]);
  }
}

TEST_F(MemoShape, CaretPositionsForEditingFollowTheLines) {
  TServices services;
  services.Fonts = &Fonts();
  TdtpDocument document(services);
  auto owned = std::make_unique<TdtpMemoShape>();
  TdtpMemoShape* memo = owned.get();
  document.AddShape(std::move(owned));
  memo->SetText(u"ab\r\ncd");
  memo->BuildCharPositions();
  ASSERT_EQ(memo->CharPositions().size(), 7u);
  EXPECT_EQ(memo->CharLines(), (std::vector<int32_t>{0, 0, 0, -1, 1, 1, 1}));
  const auto& at = memo->CharPositions();
  EXPECT_EQ(at[0].X, 0.0f);
  EXPECT_LT(at[0].X, at[1].X);
  EXPECT_LT(at[1].X, at[2].X);
  EXPECT_NEAR(at[2].X, memo->Span(0)->Width, 1.0);  // the line's end, at screen resolution
  EXPECT_EQ(at[4].Y, 12.0f);
  EXPECT_LT(at[5].X, at[6].X);
}

TEST_F(MemoShape, RendersOnItsPageThroughTheDocument) {
  TServices services;
  services.Fonts = &Fonts();
  TdtpDocument document(services);
  document.SetPageWidth(100);
  document.SetPageHeight(60);
  auto owned = std::make_unique<TdtpMemoShape>();
  TdtpMemoShape* memo = owned.get();
  document.AddShape(std::move(owned));
  memo->SetFontColor(0x0000FF);
  memo->SetBounds(20, 10, 50, 10);
  memo->SetWordWrap(true);
  memo->SetText(u"red words on a white page");
  const double dpm = 150 / 25.4;
  std::unique_ptr<TBitmap32> page = document.RenderPage(*document.CurrentPage(), dpm);
  ASSERT_NE(page, nullptr);
  int32_t red = 0;
  for (int32_t y = 0; y < page->Height(); ++y) {
    for (int32_t x = 0; x < page->Width(); ++x) {
      const TColor32 p = page->Pixel(x, y);
      if ((p & 0xFFFFFF) == 0xFFFFFF) continue;
      ++red;
      ASSERT_GE(RedOf(p), GreenOf(p));
      ASSERT_GE(x, std::floor(20 * dpm) - 1);
      ASSERT_LE(x, std::ceil(70 * dpm) + 1);
      ASSERT_GE(y, std::floor(10 * dpm) - 1);
      ASSERT_LE(y, std::ceil((10 + memo->DocHeight()) * dpm) + 1);
    }
  }
  EXPECT_GT(red, 200);
}

TEST_F(MemoShape, XmlRoundTripIsByteStableAndRefillsTheLines) {
  auto memo = NewMemo(60, true, u"first line\r\nsecond, rather longer line that wraps\r\n\r\nlast");
  memo->SetAlignment(taRightJustify);
  memo->SetBold(true);
  memo->SetItalic(true);
  const std::string first = test::XmlOf(*memo);
  TdtpMemoShape copy;
  copy.SetFontSystem(&Fonts());
  test::LoadXml(copy, first);
  EXPECT_EQ(copy.Text(), memo->Text());
  EXPECT_EQ(copy.Lines(), memo->Lines());
  EXPECT_TRUE(copy.WordWrap());
  EXPECT_TRUE(copy.Bold());
  EXPECT_TRUE(copy.Italic());
  EXPECT_EQ(SpansOf(copy), SpansOf(*memo));
  EXPECT_EQ(test::XmlOf(copy), first);
  for (int i = 0; i < copy.SpanCount(); ++i) EXPECT_EQ(copy.Span(i)->Left, memo->Span(i)->Left);

  // Characters an XML document cannot hold never enter the text, so what is stored reads back as
  // it was; tab, line feed, carriage return and surrogate pairs stay.
  const char16_t hostile[] = u"a\0b\x01\tc\x1F\r\nd\uFFFE\uFFFF e\xD800" u"f\U0001F600";
  memo->SetText(std::u16string(hostile, std::size(hostile) - 1));
  EXPECT_EQ(memo->Text(), u"ab\tc\r\nd ef\U0001F600");
  TNativeXml stored("shape");
  memo->SaveToXml(*stored.Root());
  TdtpMemoShape controls;
  controls.SetFontSystem(&Fonts());
  test::LoadXml(controls, stored.SaveToString());
  EXPECT_EQ(controls.Text(), memo->Text());

  // An empty auto-size memo keeps the box it was stored with: it has no lines to fit.
  TdtpMemoShape empty;
  empty.SetFontSystem(&Fonts());
  empty.SetAlignment(taRightJustify);
  empty.SetBounds(0, 0, 20, 5);
  const std::string emptyXml = test::XmlOf(empty);
  TdtpMemoShape emptyCopy;
  emptyCopy.SetFontSystem(&Fonts());
  test::LoadXml(emptyCopy, emptyXml);
  EXPECT_EQ(test::XmlOf(emptyCopy), emptyXml);
}

}  // namespace
}  // namespace sw
