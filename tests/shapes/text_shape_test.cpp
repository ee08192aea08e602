#include "shapes/text_shape.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <cmath>
#include <memory>
#include <string>

#include "base/stream.h"
#include "engine/document.h"
#include "engine/engine_test_support.h"
#include "engine/registry.h"
#include "platform/text.h"
#include "shapes/memo_shape.h"
#include "storage/formats/png_format.h"
#include "support/machine_fonts.h"

namespace sw {
namespace {

constexpr double kDpm300 = 300 / 25.4;
constexpr double kTolerance = 0.001;

class TextShape : public test::MachineFonts {
protected:
  static void SetUpTestSuite() {
    test::MachineFonts::SetUpTestSuite();
    test::RegisterClasses();
    RegisterShapeClass<TdtpTextShape>();
    RegisterShapeClass<TdtpMemoShape>();
  }

  std::unique_ptr<TdtpTextShape> NewText(const std::u16string& text) {
    auto shape = std::make_unique<TdtpTextShape>();
    shape->SetFontSystem(&Fonts());
    shape->SetText(text);
    return shape;
  }

  // The shape painted the way the paint pipeline paints a cached shape: a bitmap covering the box
  // at dpm and the matrix from millimetres to its pixels.
  static std::unique_ptr<TBitmap32> Paint(TdtpTextShape& shape, double dpm) {
    auto bitmap = std::make_unique<TBitmap32>();
    bitmap->SetSize(static_cast<int32_t>(std::ceil(shape.DocWidth() * dpm)) + 2,
                    static_cast<int32_t>(std::ceil(shape.DocHeight() * dpm)) + 2);
    shape.SetPaintMatrix(TdtpAffineTransform(dpm, 0, 0, dpm, 0, 0));
    TdtpPaintInfo info;
    info.Dpm = static_cast<float>(dpm);
    shape.PaintBitmap(*bitmap, info);
    return bitmap;
  }

  TSize ExtentAt(const TdtpTextShape& shape, int32_t height, std::u16string_view text) {
    return TextExtent(TFont{shape.FontName(), height, shape.FontStyle(), clWhite32}, text, Fonts());
  }

  // The fitting as one-pixel steps, with the upper bound the platform sets.
  int32_t SteppedFit(const TdtpTextShape& shape, std::u16string_view text, int32_t start, double bw, double bh) {
    auto exceeds = [&](int32_t h) {
      const TSize e = ExtentAt(shape, h, text);
      return e.cx > bw + kTolerance || e.cy > bh + kTolerance;
    };
    auto below = [&](int32_t h) {
      const TSize e = ExtentAt(shape, h, text);
      return e.cx < bw - kTolerance && e.cy < bh - kTolerance;
    };
    int32_t h = std::clamp(start, 1, TFont::kMaxFontPixels);
    if (exceeds(h)) {
      while (h > 1 && exceeds(h)) --h;
      return h;
    }
    if (below(h)) {
      while (h < TFont::kMaxFontPixels && below(h + 1)) ++h;
      return h;
    }
    return h;
  }
};

TEST_F(TextShape, NewShapeDefaults) {
  TdtpTextShape shape;
  EXPECT_EQ(shape.FontHeight(), 12.0f);
  EXPECT_NEAR(shape.FontSize(), 12 * 72 / 25.4, 1e-4);
  EXPECT_NEAR(shape.FontSize(), 34.02, 0.01);
  EXPECT_EQ(shape.FontName(), "Arial");
  EXPECT_EQ(shape.FontColor(), 0);
  EXPECT_EQ(shape.FontStyle(), 0);
  EXPECT_EQ(shape.Alignment(), taLeftJustify);
  EXPECT_EQ(shape.VertAlign(), vaTop);
  EXPECT_TRUE(shape.AutoSize());
  EXPECT_FALSE(shape.MultiLine());
  EXPECT_FALSE(shape.WordWrap());
  EXPECT_TRUE(shape.ScaleFontOnResize);
  EXPECT_TRUE(shape.ForceCache());
  EXPECT_EQ(shape.InsertCursor, -37);
  EXPECT_EQ(shape.SpanCount(), 0);
  EXPECT_EQ(shape.PasteOffset(), (TFloatPoint{0, 12}));
  EXPECT_STREQ(shape.ClassName(), "TdtpTextShape");
  shape.SetFontSize(72);
  EXPECT_NEAR(shape.FontHeight(), 25.4, 1e-5);
}

TEST_F(TextShape, MeasuresOneSpanAt300DpiAndFitsTheBox) {
  auto shape = NewText(u"Hello");
  ASSERT_EQ(shape->SpanCount(), 1);
  const TdtpTextSpan* span = shape->Span(0);
  EXPECT_EQ(span->CharPos, 1);
  EXPECT_EQ(span->CharCount, 5);
  EXPECT_EQ(shape->Span(1), nullptr);
  EXPECT_EQ(shape->Span(-1), nullptr);
  const TSize e = ExtentAt(*shape, 142, u"Hello");  // round(12 mm x 300 / 25.4)
  EXPECT_EQ(e.cy, 142);
  EXPECT_FLOAT_EQ(span->Width, static_cast<float>(e.cx / kDpm300));
  EXPECT_FLOAT_EQ(span->Height, static_cast<float>(142 / kDpm300));
  EXPECT_FLOAT_EQ(shape->DocWidth(), span->Width);
  EXPECT_FLOAT_EQ(shape->DocHeight(), span->Height);
  EXPECT_EQ(shape->TextExtentMm(), (TFloatPoint{span->Width, span->Height}));

  // An empty single line is measured as the letter W.
  auto empty = NewText(u"x");
  empty->SetText(u"");
  ASSERT_EQ(empty->SpanCount(), 1);
  EXPECT_EQ(empty->Span(0)->CharCount, 0);
  EXPECT_FLOAT_EQ(empty->Span(0)->Width, static_cast<float>(ExtentAt(*empty, 142, u"W").cx / kDpm300));
}

TEST_F(TextShape, SingleLineWithLineBreaksIsOneLine) {
  auto shape = NewText(u"ab\r\ncd\nef");
  ASSERT_EQ(shape->SpanCount(), 1);
  EXPECT_EQ(shape->Span(0)->CharCount, 9);
  EXPECT_FLOAT_EQ(shape->Span(0)->Width, static_cast<float>(ExtentAt(*shape, 142, u"abcdef").cx / kDpm300));
  // Painted as one line: no ink below the first line's box.
  const double dpm = 150 / 25.4;
  auto bitmap = Paint(*shape, dpm);
  const int32_t lineBottom = static_cast<int32_t>(std::ceil(shape->Span(0)->Height * dpm));
  int32_t inked = 0;
  for (int32_t y = 0; y < bitmap->Height(); ++y) {
    for (int32_t x = 0; x < bitmap->Width(); ++x) {
      if (AlphaOf(bitmap->Pixel(x, y)) == 0) continue;
      ++inked;
      EXPECT_LE(y, lineBottom);
    }
  }
  EXPECT_GT(inked, 50);
}

TEST_F(TextShape, AutoSizeGrowsAwayFromTheAlignedEdge) {
  for (uint8_t align : {taLeftJustify, taRightJustify, taCenter}) {
    auto shape = NewText(u"ab");
    shape->SetAlignment(align);
    shape->SetBounds(50, 20, shape->DocWidth(), shape->DocHeight());
    const float left = shape->DocLeft(), right = left + shape->DocWidth();
    const float centre = left + shape->DocWidth() / 2;
    shape->SetText(u"abcdefgh");
    const float newLeft = shape->DocLeft(), newRight = newLeft + shape->DocWidth();
    EXPECT_GT(shape->DocWidth(), right - left);
    if (align == taLeftJustify) {
      EXPECT_FLOAT_EQ(newLeft, left);
    } else if (align == taRightJustify) {
      EXPECT_NEAR(newRight, right, 1e-4);
    } else {
      EXPECT_NEAR(newLeft + shape->DocWidth() / 2, centre, 1e-4);
    }
  }
}

TEST_F(TextShape, ResizingScalesTheFontOfAnAutoSizedLine) {
  auto shape = NewText(u"Scale");
  shape->SetBounds(10, 10, shape->DocWidth(), shape->DocHeight() * 2);
  EXPECT_FLOAT_EQ(shape->FontHeight(), 24.0f);
  EXPECT_NEAR(shape->DocHeight(), std::round(24 * kDpm300) / kDpm300, 1e-4);

  // Without auto size the box takes the size and the line is placed again.
  shape->SetAutoSize(false);
  shape->SetAlignment(taRightJustify);
  shape->SetBounds(10, 10, 100, 30);
  EXPECT_FLOAT_EQ(shape->FontHeight(), 24.0f);
  EXPECT_EQ(shape->DocWidth(), 100.0f);
  EXPECT_FLOAT_EQ(shape->Span(0)->Left, 100 - shape->Span(0)->Width);
}

TEST_F(TextShape, FittingBisectsToTheSameHeightAsOnePixelSteps) {
  auto shape = NewText(u"Fitting text");
  const std::u16string_view text = u"Fitting text";
  const TdtpTextSpan& span = *shape->Span(0);
  for (double dpi : {72.0, 96.0, 150.0, 300.0, 600.0}) {
    const double dpm = dpi / 25.4;
    const int32_t start = static_cast<int32_t>(std::lround(shape->FontHeight() * dpm));
    const double bw = span.Width * dpm, bh = span.Height * dpm;
    EXPECT_EQ(shape->FitFontHeight(text, start, bw, bh), SteppedFit(*shape, text, start, bw, bh)) << dpi;
  }
  // Starts far from the answer, boxes of every shape.
  for (int32_t start : {1, 3, 40, 900, 5000, -7}) {
    for (auto [bw, bh] : {std::pair{300.0, 60.0}, {40.0, 400.0}, {2000.0, 90.5}, {0.5, 0.5}, {128.0, 30.0}}) {
      EXPECT_EQ(shape->FitFontHeight(text, start, bw, bh), SteppedFit(*shape, text, start, bw, bh))
          << start << " " << bw << "x" << bh;
    }
  }
  // A box measured at exactly the extent of a height is reached there, within the tolerance.
  const TSize e = ExtentAt(*shape, 57, text);
  EXPECT_EQ(shape->FitFontHeight(text, 20, e.cx, e.cy), 56);
  EXPECT_EQ(shape->FitFontHeight(text, 57, e.cx, e.cy), 57);
  EXPECT_EQ(shape->FitFontHeight(text, 90, e.cx, e.cy), 57);
}

TEST_F(TextShape, HugeTextAndHugeStoredSpansPaintInBoundedTime) {
  const auto begin = std::chrono::steady_clock::now();
  // 173 mm at 600 dpi starts beyond 4000 pixels.
  auto tall = NewText(u"Hi");
  tall->SetFontHeight(173);
  TBitmap32 small;
  small.SetSize(64, 64);
  tall->SetPaintMatrix(TdtpAffineTransform(600 / 25.4, 0, 0, 600 / 25.4, 0, 0));
  TdtpPaintInfo info;
  info.Dpm = static_cast<float>(600 / 25.4);
  tall->PaintBitmap(small, info);

  // A stored span a million millimetres high: the fitting stops at the largest pixel height.
  TdtpTextShape stored;
  stored.SetFontSystem(&Fonts());
  test::LoadXml(stored,
                "<shape><ClassName>TdtpTextShape</ClassName><Text>Hi</Text><FontHeight>12</FontHeight>"
                "<DocWidth>1000000</DocWidth><DocHeight>1000000</DocHeight>"
                "<Span><CharPos>1</CharPos><CharCount>2</CharCount><Width>1000000</Width>"
                "<Height>1000000</Height></Span></shape>");
  EXPECT_EQ(stored.FitFontHeight(u"Hi", 142, 1e6 * kDpm300, 1e6 * kDpm300), TFont::kMaxFontPixels);
  stored.SetPaintMatrix(TdtpAffineTransform(kDpm300, 0, 0, kDpm300, 0, 0));
  info.Dpm = static_cast<float>(kDpm300);
  stored.PaintBitmap(small, info);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
}

TEST_F(TextShape, OutOfRangeValuesAreClampedAndNonFiniteSizesReadAsZero) {
  auto shape = NewText(u"abc");
  shape->SetFontHeight(-5);
  EXPECT_EQ(shape->FontHeight(), 0.0f);
  // Measured at a height of one pixel.
  EXPECT_FLOAT_EQ(shape->Span(0)->Height, static_cast<float>(1 / kDpm300));
  shape->SetFontHeight(std::nanf(""));
  EXPECT_EQ(shape->FontHeight(), 0.0f);

  TdtpTextSpan span;
  for (auto [pos, count, expected] : {std::tuple{1, 3, u"abc"}, {0, 2, u"ab"}, {-50, 99, u"abc"}, {3, 100, u"c"},
                                      {4, 1, u""}, {2, -1, u""}, {2147483647, 2147483647, u""}}) {
    span.CharPos = pos;
    span.CharCount = count;
    EXPECT_EQ(shape->SpanText(span), std::u16string_view(expected)) << pos << " " << count;
  }

  TdtpTextShape loaded;
  loaded.SetFontSystem(&Fonts());
  test::LoadXml(loaded,
                "<shape><ClassName>TdtpTextShape</ClassName><Text>abc</Text><DocWidth>20</DocWidth>"
                "<DocHeight>5</DocHeight><Span><CharPos>-3</CharPos><CharCount>900</CharCount>"
                "<Width>nan</Width><Height>inf</Height></Span>"
                "<Span><CharPos>2</CharPos><CharCount>1</CharCount><Width>1e39</Width><Height>-4</Height></Span>"
                "</shape>");
  ASSERT_EQ(loaded.SpanCount(), 2);
  EXPECT_EQ(loaded.Span(0)->Width, 0.0f);
  EXPECT_EQ(loaded.Span(0)->Height, 0.0f);
  EXPECT_EQ(loaded.Span(1)->Width, 0.0f);
  auto bitmap = Paint(loaded, kDpm300);  // nothing to fit into: nothing drawn, no failure
  for (int32_t y = 0; y < bitmap->Height(); ++y) {
    for (int32_t x = 0; x < bitmap->Width(); ++x) ASSERT_EQ(AlphaOf(bitmap->Pixel(x, y)), 0u);
  }
}

TEST_F(TextShape, PaintsTheFontColourWithCoverageAsAlpha) {
  auto shape = NewText(u"Magnet");
  shape->SetFontColor(0x0000FF);  // red in window-system order
  auto bitmap = Paint(*shape, 150 / 25.4);
  uint32_t maxAlpha = 0;
  for (int32_t y = 0; y < bitmap->Height(); ++y) {
    for (int32_t x = 0; x < bitmap->Width(); ++x) {
      const TColor32 p = bitmap->Pixel(x, y);
      ASSERT_EQ(p & 0x00FFFFFFu, 0x00FF0000u);
      maxAlpha = std::max(maxAlpha, AlphaOf(p));
    }
  }
  EXPECT_EQ(maxAlpha, 255u);

  // One rendering to look at.
  auto memo = std::make_unique<TdtpMemoShape>();
  memo->SetFontSystem(&Fonts());
  memo->SetFontHeight(6);
  memo->SetWordWrap(true);
  memo->SetAlignment(taCenter);
  memo->SetBounds(0, 0, 60, 10);
  memo->SetText(u"Stickwell fridge magnets: well-known words wrapped and centred.");
  memo->SetFontColor(0x804000);
  auto picture = Paint(*memo, 150 / 25.4);
  for (int32_t y = 0; y < picture->Height(); ++y) {
    for (int32_t x = 0; x < picture->Width(); ++x) {
      picture->SetPixel(x, y, BlendReg(picture->Pixel(x, y), clWhite32));
    }
  }
  TFileStream out(::testing::TempDir() + "text_shape_render.png", TFileMode::fmCreate);
  EncodePng(*picture, out);
}

TEST_F(TextShape, ThePaintMatrixScaleDecidesTheFitting) {
  auto shape = NewText(u"Scale");
  const double dpm = 150 / 25.4;
  auto expected = Paint(*shape, dpm);
  TBitmap32 bitmap;
  bitmap.SetSize(expected->Width(), expected->Height());
  shape->SetPaintMatrix(TdtpAffineTransform(dpm, 0, 0, dpm, 0, 0));
  TdtpPaintInfo info;
  info.Dpm = static_cast<float>(600 / 25.4);  // a cache lowered below the asked resolution
  shape->PaintBitmap(bitmap, info);
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    for (int32_t x = 0; x < bitmap.Width(); ++x) ASSERT_EQ(bitmap.Pixel(x, y), expected->Pixel(x, y));
  }
}

TEST_F(TextShape, XmlRoundTripIsByteStable) {
  auto shape = NewText(u"Round <trip> & \"quotes\"\r\nline two");
  shape->SetFontName("DejaVu Serif");
  shape->SetFontStyle(fsBold | fsUnderline);
  shape->SetFontColor(0x123456);
  shape->SetAlignment(taCenter);
  shape->SetVertAlign(vaBottom);
  shape->SetBounds(5, 6, shape->DocWidth(), shape->DocHeight());
  const std::string first = test::XmlOf(*shape);
  EXPECT_NE(first.find("<Span>"), std::string::npos);
  EXPECT_NE(first.find("<Font>"), std::string::npos);

  TdtpTextShape copy;
  copy.SetFontSystem(&Fonts());
  test::LoadXml(copy, first);
  EXPECT_EQ(copy.Text(), shape->Text());
  EXPECT_EQ(copy.FontName(), "DejaVu Serif");
  EXPECT_EQ(copy.FontStyle(), fsBold | fsUnderline);
  EXPECT_EQ(copy.FontColor(), 0x123456);
  EXPECT_EQ(copy.Alignment(), taCenter);
  EXPECT_EQ(copy.VertAlign(), vaBottom);
  EXPECT_EQ(test::XmlOf(copy), first);

  // Without fonts the stored layout is kept as it stands.
  TdtpTextShape blind;
  test::LoadXml(blind, first);
  EXPECT_FALSE(blind.LayoutPending());
  EXPECT_EQ(test::XmlOf(blind), first);
}

TEST_F(TextShape, XmlReaderDefaults) {
  TdtpTextShape shape;
  shape.SetFontSystem(&Fonts());
  test::LoadXml(shape, "<shape><ClassName>TdtpTextShape</ClassName><Text>Hi</Text></shape>");
  EXPECT_EQ(shape.FontHeight(), 0.0f);
  EXPECT_FALSE(shape.AutoSize());
  EXPECT_EQ(shape.Alignment(), 0);
  EXPECT_EQ(shape.VertAlign(), 0);
  EXPECT_FALSE(shape.WordWrap());
  EXPECT_EQ(shape.FontName(), "Arial");  // no Font element
  EXPECT_EQ(shape.FontColor(), 0);
  EXPECT_EQ(shape.FontStyle(), 0);
  // No stored spans: laid out anew.
  ASSERT_EQ(shape.SpanCount(), 1);
  EXPECT_EQ(shape.Span(0)->CharCount, 2);

  // A Font element without a name names the fallback face.
  test::LoadXml(shape, "<shape><ClassName>TdtpTextShape</ClassName><Font><Italic>True</Italic></Font></shape>");
  EXPECT_EQ(shape.FontName(), "");
  EXPECT_EQ(shape.FontStyle(), fsItalic);
  EXPECT_EQ(shape.Text(), u"");

  // Stored spans are only placed, with their stored sizes.
  test::LoadXml(shape,
                "<shape><ClassName>TdtpTextShape</ClassName><Text>Hi</Text><FontHeight>10</FontHeight>"
                "<Alignment>1</Alignment><DocWidth>50</DocWidth><DocHeight>9</DocHeight>"
                "<Span><CharPos>1</CharPos><CharCount>2</CharCount><Width>7.5</Width><Height>9</Height></Span>"
                "</shape>");
  ASSERT_EQ(shape.SpanCount(), 1);
  EXPECT_EQ(shape.Span(0)->Width, 7.5f);
  EXPECT_EQ(shape.Span(0)->Left, 42.5f);
  EXPECT_EQ(shape.DocWidth(), 50.0f);
}

TEST_F(TextShape, SettersRecordTheirUndoKeys) {
  TServices services;
  services.Fonts = &Fonts();
  TdtpDocument document(services);
  auto owned = std::make_unique<TdtpTextShape>();
  TdtpTextShape* shape = owned.get();
  document.AddShape(std::move(owned));
  document.ClearUndo();

  auto lastUndo = [&](const std::string& name) -> std::string {
    for (int i = document.UndoCount() - 1; i >= 0; --i) {
      if (document.UndoItem(i)->Name == name) return document.UndoItem(i)->Value;
    }
    return "<none>";
  };
  shape->SetText(u"\u00e9t\u00e9");
  shape->SetText(u"new");
  EXPECT_EQ(lastUndo("Text"), "\xc3\xa9t\xc3\xa9");
  shape->SetFontName("DejaVu Sans");
  EXPECT_EQ(lastUndo("FontName"), "Arial");
  shape->SetFontHeight(7.25f);
  EXPECT_EQ(lastUndo("FontHeight"), "12");
  shape->SetFontStyle(fsBold | fsStrikeOut);
  shape->SetFontStyle(fsItalic);
  EXPECT_EQ(lastUndo("FontStyle"), "BS");
  shape->SetFontColor(0xFF);
  shape->SetFontColor(0xFF00);
  EXPECT_EQ(lastUndo("FontColor"), "255");
  shape->SetAutoSize(false);
  EXPECT_EQ(lastUndo("AutoSize"), "True");
  shape->SetAlignment(taCenter);
  EXPECT_EQ(lastUndo("Alignment"), "0");
  shape->SetVertAlign(vaBottom);
  EXPECT_EQ(lastUndo("VertAlign"), "0");
  shape->SetWordWrap(true);
  EXPECT_EQ(lastUndo("WordWrap"), "False");

  // Applying the recorded forms sets the values back.
  shape->SetPropertyByName("Text", "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(shape->Text(), u"\u00e9t\u00e9");
  shape->SetPropertyByName("FontStyle", "xUBy");
  EXPECT_EQ(shape->FontStyle(), fsBold | fsUnderline);
  shape->SetPropertyByName("FontHeight", "3,5");
  EXPECT_EQ(shape->FontHeight(), 3.5f);
  shape->SetPropertyByName("AutoSize", "yes");
  EXPECT_TRUE(shape->AutoSize());
  shape->SetPropertyByName("WordWrap", "False");
  EXPECT_FALSE(shape->WordWrap());
  shape->SetPropertyByName("FontColor", "-16777208");
  EXPECT_EQ(shape->FontColor(), -16777208);
  shape->SetPropertyByName("Alignment", "1");
  EXPECT_EQ(shape->Alignment(), taRightJustify);
  shape->SetPropertyByName("FontName", "Arial");
  EXPECT_EQ(shape->FontName(), "Arial");
  shape->SetPropertyByName("DocAngle", "30");  // inherited keys first
  EXPECT_EQ(shape->DocAngle(), 30.0f);

  // And the document's undo goes back through them.
  document.ClearUndo();
  shape->SetText(u"before");
  shape->SetText(u"after");
  ASSERT_TRUE(document.Undo());
  EXPECT_EQ(shape->Text(), u"before");
}

TEST_F(TextShape, EveryStoredPropertyMarksTheDocumentModified) {
  TServices services;
  services.Fonts = &Fonts();
  TdtpDocument document(services);
  auto owned = std::make_unique<TdtpTextShape>();
  TdtpTextShape* shape = owned.get();
  document.AddShape(std::move(owned));
  shape->SetText(u"text");
  const std::vector<std::function<void()>> changes = {
      [&] { shape->SetAlignment(taCenter); }, [&] { shape->SetVertAlign(vaBottom); },
      [&] { shape->SetAutoSize(false); },     [&] { shape->SetAutoSize(true); },
      [&] { shape->SetFontColor(0xFF); },     [&] { shape->SetFontStyle(fsItalic); },
      [&] { shape->SetFontName("DejaVu Sans"); }, [&] { shape->SetFontHeight(8); },
      [&] { shape->SetWordWrap(true); },      [&] { shape->SetText(u"other"); }};
  for (size_t i = 0; i < changes.size(); ++i) {
    document.SetModified(false);
    changes[i]();
    EXPECT_TRUE(document.Modified()) << "change " << i;
  }
}

TEST_F(TextShape, LayoutWaitsForFontsUntilTheShapeReachesThem) {
  TdtpTextShape alone;
  alone.SetText(u"waiting");
  EXPECT_TRUE(alone.LayoutPending());
  EXPECT_EQ(alone.SpanCount(), 0);
  alone.SetFontSystem(&Fonts());
  EXPECT_FALSE(alone.LayoutPending());
  EXPECT_EQ(alone.SpanCount(), 1);

  TServices services;
  services.Fonts = &Fonts();
  TdtpDocument document(services);
  auto owned = std::make_unique<TdtpMemoShape>();
  owned->SetText(u"one\r\ntwo");
  EXPECT_TRUE(owned->LayoutPending());
  TdtpMemoShape* memo = owned.get();
  document.AddShape(std::move(owned));
  EXPECT_FALSE(memo->LayoutPending());
  EXPECT_EQ(memo->SpanCount(), 2);
  EXPECT_EQ(memo->FontSystem(), &Fonts());
}

TEST_F(TextShape, PlaceHolderShowsWhileTheTextIsEmpty) {
  auto shape = NewText(u"");
  shape->AddPlaceHolder();
  ASSERT_GE(shape->ChildCount(), 1);
  TdtpShape* holder = shape->Child(0);
  EXPECT_STREQ(holder->ClassName(), "TdtpPlaceHolder");
  EXPECT_TRUE(holder->Protected);
  EXPECT_EQ(holder->Anchors(), anSizeXProp | anSizeYProp | anLeftLock | anTopLock);
  EXPECT_FLOAT_EQ(holder->DocWidth(), 40);
  EXPECT_FLOAT_EQ(holder->DocHeight(), 30);
  EXPECT_TRUE(holder->Visible());
  ASSERT_EQ(holder->ChildCount(), 2);
  auto* memo = dynamic_cast<TdtpMemoShape*>(holder->Child(1));
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->Text(), u"Place image here");
  EXPECT_FLOAT_EQ(memo->DocLeft(), 2);
  EXPECT_FLOAT_EQ(memo->DocTop(), 2);
  EXPECT_FLOAT_EQ(memo->DocWidth(), 36);
  EXPECT_FLOAT_EQ(memo->DocHeight(), 26);
  EXPECT_NEAR(memo->FontSize(), 12, 1e-4);
  EXPECT_EQ(memo->Alignment(), taCenter);
  EXPECT_EQ(memo->VertAlign(), vaCenter);
  EXPECT_FALSE(memo->AutoSize());
  EXPECT_FALSE(memo->AllowEdit);

  shape->SetText(u"content");
  EXPECT_FALSE(holder->Visible());
  shape->SetText(u"");
  EXPECT_TRUE(holder->Visible());
}

}  // namespace
}  // namespace sw
