// The polygon family: pixels at 254 dpi (10 pixels per millimetre, so whole millimetres fall on
// pixel edges), generated points, the XML form and its reader defaults, undo keys, containment.
#include "shapes/polygon_shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "engine/command.h"
#include "engine/document.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "shapes/register.h"
#include "storage/xml/native_xml.h"

namespace sw {
namespace {

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr int32_t kRed = 0x0000FF;  // window-system order

class PolygonShapeTest : public ::testing::Test {
protected:
  void SetUp() override { RegisterShapeKinds(); }
};

// A white bitmap at 10 pixels per millimetre with the shape painted onto it, merged as into a
// cache (the blend mode's master alpha of 255 weighs 255/256, so only merging is exact).
void PaintAt10(TBitmap32& bitmap, TdtpPolygonShape& shape, int32_t width, int32_t height,
               TColor32 back = kWhite, TCombineMode mode = cmMerge) {
  bitmap.SetSize(width, height);
  bitmap.Clear(back);
  bitmap.CombineMode = mode;
  shape.SetPaintMatrix(TdtpAffineTransform(10, 0, 0, 10, 10.0 * shape.DocLeft(), 10.0 * shape.DocTop()));
  shape.PaintBitmap(bitmap, TdtpPaintInfo{});
}

int CountPixels(const TBitmap32& b, const std::function<bool(int32_t, int32_t, TColor32)>& pred) {
  int n = 0;
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) n += pred(x, y, b.Pixel(x, y)) ? 1 : 0;
  }
  return n;
}

std::string XmlOf(const TdtpShape& shape) {
  TNativeXml xml("shape");
  shape.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

std::unique_ptr<TdtpShape> ReadBack(const std::string& text) {
  TNativeXml xml;
  xml.LoadFromString(text);
  auto shape = CreateShapeByClassName(xml.Root()->ReadString("ClassName", ""));
  shape->LoadFromXml(xml.Root());
  return shape;
}

std::unique_ptr<TdtpPolygonShape> LoadPolygon(const std::string& body) {
  TNativeXml xml;
  xml.LoadFromString("<shape>" + body + "</shape>");
  auto shape = CreateShapeByClassName(xml.Root()->ReadString("ClassName", ""));
  shape->LoadFromXml(xml.Root());
  return std::unique_ptr<TdtpPolygonShape>(dynamic_cast<TdtpPolygonShape*>(shape.release()));
}

double SignedArea(const TdtpContour& c) {
  double a = 0;
  for (size_t i = 0; i < c.size(); ++i) {
    const TFloatPoint& p = c[i];
    const TFloatPoint& q = c[(i + 1) % c.size()];
    a += static_cast<double>(p.X) * q.Y - static_cast<double>(q.X) * p.Y;
  }
  return a / 2;
}

TEST_F(PolygonShapeTest, NewShapesHaveTheDocumentedDefaults) {
  TdtpRectangleShape r;
  EXPECT_EQ(r.FillColor(), 0xFF0000);
  EXPECT_EQ(r.FillAlpha(), 255);
  EXPECT_EQ(r.OutlineColor(), 0);
  EXPECT_FLOAT_EQ(r.OutlineWidth(), 0.5f);
  EXPECT_FLOAT_EQ(r.DocWidth(), 40);
  EXPECT_FLOAT_EQ(r.DocHeight(), 30);
  EXPECT_FLOAT_EQ(r.CurbLeft(), 0.25f);
  EXPECT_FLOAT_EQ(r.CurbBottom(), 0.25f);
  // The outline band reaches max(width, 0.5) beyond the points.
  EXPECT_FLOAT_EQ(r.EffectiveCurbLeft(), 0.5f);
  EXPECT_TRUE(r.UseFill() && r.UseOutline() && r.IsClosed());
  EXPECT_FALSE(r.UseStipple() || r.StorePoints());
  EXPECT_FLOAT_EQ(r.StippleSize(), 2);
  EXPECT_EQ(r.InsertCursor, -35);
  EXPECT_EQ(TdtpEllipseShape().InsertCursor, -36);
  TdtpRoundRectShape rr;
  EXPECT_EQ(rr.InsertCursor, -35);
  EXPECT_FLOAT_EQ(rr.CornerWidth(), 10);
  EXPECT_FLOAT_EQ(rr.CornerHeight(), 7.5f);
  TdtpPolygonShape p;
  ASSERT_EQ(p.Points().size(), 1u);
  EXPECT_TRUE(p.Points()[0].empty());
  for (const char* name : {"TdtpPolygonShape", "TdtpRectangleShape", "TdtpEllipseShape", "TdtpRoundRectShape"}) {
    EXPECT_TRUE(IsShapeClassRegistered(name)) << name;
    EXPECT_STREQ(CreateShapeByClassName(name)->ClassName(), name);
  }
}

TEST_F(PolygonShapeTest, RectangleFillsExactlyItsWholePixels) {
  TdtpRectangleShape r;
  r.SetBounds(10, 10, 40, 30);
  r.SetFillColor(kRed);
  r.SetUseOutline(false);
  TBitmap32 b;
  PaintAt10(b, r, 600, 500);
  const int wrong = CountPixels(b, [](int32_t x, int32_t y, TColor32 c) {
    const bool inside = x >= 100 && x < 500 && y >= 100 && y < 400;
    return c != (inside ? 0xFFFF0000u : kWhite);
  });
  EXPECT_EQ(wrong, 0);
}

TEST_F(PolygonShapeTest, HalfAlphaFillMergesOverWhite) {
  TdtpRectangleShape r;
  r.SetBounds(1, 1, 4, 3);
  r.SetFillColor(kRed);
  r.SetFillAlpha(128);
  r.SetUseOutline(false);
  TBitmap32 b;
  PaintAt10(b, r, 60, 50, kWhite, cmMerge);
  EXPECT_EQ(b.Pixel(30, 25), 0xFFFE7F7Fu);
  EXPECT_EQ(b.Pixel(5, 5), kWhite);
  r.SetFillAlpha(1000);
  EXPECT_EQ(r.FillAlpha(), 255);
  r.SetFillAlpha(-3);
  EXPECT_EQ(r.FillAlpha(), 0);
}

TEST_F(PolygonShapeTest, EllipseInteriorIsExactAndItsBoundaryAntialiased) {
  TdtpEllipseShape e;
  e.SetBounds(5, 5, 40, 30);
  e.SetFillColor(kRed);
  e.SetUseOutline(false);
  TBitmap32 b;
  PaintAt10(b, e, 500, 400);
  const double cx = 250, cy = 200, a = 200, bb = 150;
  // Radial position of a point: 1 on the ellipse; 1.5 pixels is about 0.0075 of the semi-axes.
  auto radial = [&](double x, double y) { return std::hypot((x - cx) / a, (y - cy) / bb); };
  int partial = 0, wrong = 0;
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
      const double r = radial(x + 0.5, y + 0.5);
      const TColor32 c = b.Pixel(x, y);
      if (r < 1 - 1.5 / bb) {
        wrong += c != 0xFFFF0000u;
      } else if (r > 1 + 1.5 / bb) {
        wrong += c != kWhite;
      } else if (c != 0xFFFF0000u && c != kWhite) {
        ++partial;
        // A red merged over white: opaque, red above green, green and blue equal.
        const uint32_t red = (c >> 16) & 0xFF, green = (c >> 8) & 0xFF;
        wrong += (c >> 24) != 0xFF || red < 0xFE || red <= green || green != (c & 0xFF);
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  // Nearly every boundary pixel of the roughly 1100-pixel circumference is a partial one.
  EXPECT_GT(partial, 800);
}

TEST_F(PolygonShapeTest, OutlineBandLiesHalfOnEachSideOfTheContour) {
  TdtpRectangleShape r;
  r.SetBounds(2, 2, 20, 10);
  r.SetUseFill(false);
  r.SetOutlineWidth(1);
  TBitmap32 b;
  PaintAt10(b, r, 260, 160);
  for (int32_t x = 0; x < 260; ++x) {
    const TColor32 c = b.Pixel(x, 70);  // a row through the middle of the left and right sides
    const bool band = (x >= 15 && x < 25) || (x >= 215 && x < 225);
    EXPECT_EQ(c, band ? 0xFF000000u : kWhite) << "x " << x;
  }
  // Mitred corners: the band's outer corner is filled.
  EXPECT_EQ(b.Pixel(15, 15), 0xFF000000u);
}

TEST_F(PolygonShapeTest, OpenContourBandHasBothEndsCapped) {
  TdtpPolygonShape p;
  p.SetStorePoints(true);
  p.SetIsClosed(false);
  p.AddPoint(5, 5);
  p.AddPoint(25, 5);
  p.SetUseFill(false);
  p.SetOutlineWidth(2);
  TBitmap32 b;
  PaintAt10(b, p, 300, 100);
  for (int32_t x : {52, 150, 247}) {
    EXPECT_EQ(b.Pixel(x, 42), 0xFF000000u) << x;
    EXPECT_EQ(b.Pixel(x, 57), 0xFF000000u) << x;
  }
  EXPECT_EQ(b.Pixel(45, 50), kWhite);
  EXPECT_EQ(b.Pixel(255, 50), kWhite);
  EXPECT_EQ(b.Pixel(150, 35), kWhite);
}

TEST_F(PolygonShapeTest, ZeroOrNegativeOutlineWidthIsAHairline) {
  TdtpRectangleShape r;
  r.SetBounds(2, 2, 20, 10);
  r.SetUseFill(false);
  r.SetOutlineWidth(0);
  TBitmap32 zero;
  PaintAt10(zero, r, 260, 160);
  EXPECT_EQ(r.OutlinePolygon(), nullptr);
  const int dark = CountPixels(zero, [](int32_t, int32_t, TColor32 c) { return c != kWhite; });
  // One pixel wide around a 200 x 100 pixel rectangle, antialiased over at most two pixels.
  EXPECT_GE(dark, 600);
  EXPECT_LE(dark, 1300);
  EXPECT_EQ(zero.Pixel(130, 80), kWhite);

  r.SetOutlineWidth(-1);
  EXPECT_FLOAT_EQ(r.CurbLeft(), 0.1f);
  TBitmap32 negative;
  PaintAt10(negative, r, 260, 160);
  EXPECT_EQ(r.OutlinePolygon(), nullptr);
  EXPECT_EQ(std::memcmp(zero.Bits(), negative.Bits(), sizeof(TColor32) * 260 * 160), 0);
}

TEST_F(PolygonShapeTest, StippleDrawsDashesOnlyAndNeedsAPositiveSize) {
  constexpr TColor32 kGrey = 0xFF808080u;
  TdtpRectangleShape r;
  r.SetBounds(2, 2, 20, 10);
  r.SetUseFill(false);
  r.SetOutlineWidth(0);
  r.SetOutlineColor(kRed);
  r.SetUseStipple(true);
  TBitmap32 b;
  PaintAt10(b, r, 260, 160, kGrey);
  // No hairline in the outline colour: only white and black dashes.
  EXPECT_EQ(CountPixels(b, [](int32_t, int32_t, TColor32 c) { return ((c >> 16) & 0xFF) != ((c >> 8) & 0xFF); }), 0);
  // Along the top side (on the pixel edge, so shared by two rows) a 2 mm period is 10 pixels
  // lighter and 10 darker than the paper, changing every 10 pixels.
  int light = 0, dark = 0, changes = 0;
  bool wasLight = false;
  for (int32_t x = 40; x < 180; ++x) {
    const uint32_t level = b.Pixel(x, 20) & 0xFF;
    EXPECT_NE(level, 0x80u) << x;
    const bool isLight = level > 0x80;
    light += isLight;
    dark += !isLight;
    changes += x > 40 && isLight != wasLight;
    wasLight = isLight;
  }
  EXPECT_NEAR(light, 70, 4);
  EXPECT_NEAR(dark, 70, 4);
  EXPECT_NEAR(changes, 13, 1);

  for (float size : {0.0f, -2.0f}) {
    r.SetStippleSize(size);
    PaintAt10(b, r, 260, 160, kGrey);
    EXPECT_EQ(CountPixels(b, [](int32_t, int32_t, TColor32 c) { return c != kGrey; }), 0) << size;
  }
  // A stored "StippleSize" below 0 draws none.
  auto loaded = LoadPolygon("<ClassName>TdtpRectangleShape</ClassName><DocWidth>20</DocWidth>"
                            "<DocHeight>10</DocHeight><UseStipple>True</UseStipple><UseOutline>True</UseOutline>"
                            "<StippleSize>-1</StippleSize>");
  PaintAt10(b, *loaded, 260, 160, kGrey);
  EXPECT_EQ(CountPixels(b, [](int32_t, int32_t, TColor32 c) { return c != kGrey; }), 0);
}

TEST_F(PolygonShapeTest, EllipsePointsRunClockwiseFromTheRightEnd) {
  TdtpEllipseShape e;  // 40 x 30, paint scale 1: v = 2 pi 40 pi / 2 = 394.8, n = 40
  e.GeneratePoints();
  const TdtpContour& c = e.Points()[0];
  ASSERT_EQ(c.size(), 160u);
  EXPECT_EQ(c[0], (TFloatPoint{40, 15}));
  EXPECT_EQ(c[40], (TFloatPoint{20, 30}));
  EXPECT_EQ(c[80], (TFloatPoint{0, 15}));
  EXPECT_EQ(c[120], (TFloatPoint{20, 0}));
  EXPECT_GT(SignedArea(c), 0);  // clockwise on a y-down screen
}

TEST_F(PolygonShapeTest, RoundRectCornersAreClampedAndMayBePercentages) {
  TdtpRoundRectShape r;
  r.SetCornerWidth(50);
  r.SetCornerHeight(50);
  r.GeneratePoints();
  // Radii 20 and 15: four quarter arcs and no straight edge, every point on the ellipse.
  for (const TFloatPoint& p : r.Points()[0]) {
    EXPECT_NEAR(std::hypot((p.X - 20) / 20.0, (p.Y - 15) / 15.0), 1.0, 1e-5) << p.X << "," << p.Y;
  }
  EXPECT_EQ(r.Points()[0].front(), (TFloatPoint{0, 15}));

  r.SetCornerWidth(25);
  r.SetCornerHeight(25);
  r.SetCornerPropertiesArePercentage(true);
  r.GeneratePoints();
  const TdtpContour& c = r.Points()[0];
  const size_t n = c.size() / 4 - 1;
  EXPECT_EQ(c.front(), (TFloatPoint{0, 7.5f}));
  EXPECT_EQ(c[n], (TFloatPoint{10, 0}));
  EXPECT_EQ(c[n + 1], (TFloatPoint{30, 0}));
  EXPECT_GT(SignedArea(c), 0);
}

TEST_F(PolygonShapeTest, SegmentCountsFollowTheRuleAndAreCapped) {
  EXPECT_EQ(ArcSegmentCount(0.5), 1);
  EXPECT_EQ(ArcSegmentCount(0.6), 2);
  EXPECT_EQ(ArcSegmentCount(3), 3);
  EXPECT_EQ(ArcSegmentCount(7), 2);
  EXPECT_EQ(ArcSegmentCount(99), 20);
  EXPECT_EQ(ArcSegmentCount(100), 10);
  EXPECT_EQ(ArcSegmentCount(std::nan("")), 1);
  EXPECT_EQ(ArcSegmentCount(-5), 1);
  EXPECT_EQ(ArcSegmentCount(1e300), kMaxCurvePoints / 4);
  EXPECT_EQ(ArcSegmentCount(INFINITY), kMaxCurvePoints / 4);

  // A huge resolution or size stays within the cap and still paints.
  TdtpEllipseShape e;
  e.SetPaintMatrix(TdtpAffineTransform(1e9, 0, 0, 1e9, 0, 0));
  e.GeneratePoints();
  EXPECT_EQ(e.Points()[0].size(), static_cast<size_t>(kMaxCurvePoints));
  TdtpRoundRectShape r;
  r.SetPaintMatrix(TdtpAffineTransform(1e9, 0, 0, 1e9, 0, 0));
  r.GeneratePoints();
  EXPECT_LE(r.Points()[0].size(), static_cast<size_t>(kMaxCurvePoints));
  TdtpEllipseShape big;
  big.SetBounds(0, 0, 1e30f, 1e30f);
  TBitmap32 b;
  PaintAt10(b, big, 50, 50);
  EXPECT_LE(big.Points()[0].size(), static_cast<size_t>(kMaxCurvePoints));
  // A corner size that is not a number reads as 0: a plain rectangle's corners.
  auto loaded = LoadPolygon("<ClassName>TdtpRoundRectShape</ClassName><DocWidth>40</DocWidth>"
                            "<DocHeight>30</DocHeight><CornerWidth>NaN</CornerWidth><CornerHeight>INF</CornerHeight>");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Points()[0].front(), (TFloatPoint{0, 0}));
}

TEST_F(PolygonShapeTest, EveryKindWritesReadsAndWritesTheSameBytes) {
  std::vector<std::unique_ptr<TdtpPolygonShape>> shapes;
  shapes.push_back(std::make_unique<TdtpRectangleShape>());
  shapes.push_back(std::make_unique<TdtpEllipseShape>());
  auto rr = std::make_unique<TdtpRoundRectShape>();
  rr->SetCornerPropertiesArePercentage(true);
  rr->SetCornerWidth(12.5f);
  shapes.push_back(std::move(rr));
  auto poly = std::make_unique<TdtpPolygonShape>();
  poly->SetStorePoints(true);
  poly->AddPoint(0, 0);
  poly->AddPoint(0.1f, 7);
  poly->AddPoint(9, 3.25f);
  poly->NewContour();
  poly->AddPoint(1, 1);
  poly->SetUseStipple(true);
  poly->SetStippleSize(3.5f);
  poly->SetIsClosed(false);
  poly->SetFillAlpha(77);
  poly->SetOutlineColor(0x123456);
  shapes.push_back(std::move(poly));
  for (auto& shape : shapes) {
    shape->SetBounds(3.5f, 4, 40, 30);
    shape->SetOutlineWidth(0.3f);
    const std::string first = XmlOf(*shape);
    auto copy = ReadBack(first);
    EXPECT_STREQ(copy->ClassName(), shape->ClassName());
    EXPECT_EQ(XmlOf(*copy), first) << first;
  }
  const std::string polyXml = XmlOf(*shapes[3]);
  EXPECT_NE(polyXml.find("<Polygon><Line><Point/><Point><X>0.1"), std::string::npos) << polyXml;
  auto copy = ReadBack(polyXml);
  const auto& points = dynamic_cast<TdtpPolygonShape&>(*copy).Points();
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].size(), 3u);
  EXPECT_EQ(points[0][2], (TFloatPoint{9, 3.25f}));
  EXPECT_EQ(points[1].size(), 1u);
}

TEST_F(PolygonShapeTest, TheReaderDefaultsDifferFromANewShape) {
  auto p = LoadPolygon("<ClassName>TdtpRectangleShape</ClassName><DocWidth>40</DocWidth><DocHeight>30</DocHeight>");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->FillAlpha(), 0);  // a fully transparent fill
  EXPECT_EQ(p->FillColor(), 0);
  EXPECT_EQ(p->OutlineColor(), 0);
  EXPECT_FLOAT_EQ(p->OutlineWidth(), 0);
  EXPECT_FLOAT_EQ(p->CurbLeft(), 0.1f);
  EXPECT_FALSE(p->UseFill() || p->UseOutline() || p->UseStipple() || p->StorePoints());
  EXPECT_TRUE(p->IsClosed());
  EXPECT_FLOAT_EQ(p->StippleSize(), 2);
  ASSERT_EQ(p->Points()[0].size(), 4u);
  EXPECT_EQ(p->Points()[0][2], (TFloatPoint{40, 30}));

  auto rr = LoadPolygon("<ClassName>TdtpRoundRectShape</ClassName>");
  auto& round = dynamic_cast<TdtpRoundRectShape&>(*rr);
  EXPECT_FLOAT_EQ(round.CornerWidth(), 0);
  EXPECT_FLOAT_EQ(round.CornerHeight(), 0);
  EXPECT_FALSE(round.CornerPropertiesArePercentage());

  // Stored points without their "Polygon" leave one empty contour.
  auto stored = LoadPolygon("<ClassName>TdtpPolygonShape</ClassName><StorePoints>True</StorePoints>");
  ASSERT_EQ(stored->Points().size(), 1u);
  EXPECT_TRUE(stored->Points()[0].empty());
  // Out-of-range alphas from files are clamped.
  auto loud = LoadPolygon("<ClassName>TdtpRectangleShape</ClassName><FillAlpha>900</FillAlpha>"
                          "<MasterAlpha>$1FF</MasterAlpha>");
  EXPECT_EQ(loud->FillAlpha(), 255);
  EXPECT_EQ(loud->MasterAlpha(), 255u);
  auto quiet = LoadPolygon("<ClassName>TdtpRectangleShape</ClassName><FillAlpha>-4</FillAlpha>"
                           "<MasterAlpha>-7</MasterAlpha>");
  EXPECT_EQ(quiet->FillAlpha(), 0);
  EXPECT_EQ(quiet->MasterAlpha(), 0u);
}

TEST_F(PolygonShapeTest, ResizingScalesStoredPointsAndRegeneratesTheOthers) {
  TdtpPolygonShape p;
  p.SetStorePoints(true);
  p.SetBounds(0, 0, 10, 10);
  p.AddPoint(2, 4);
  p.AddPoint(10, 10);
  p.SetSize(20, 5);
  EXPECT_EQ(p.Points()[0][0], (TFloatPoint{4, 2}));
  EXPECT_EQ(p.Points()[0][1], (TFloatPoint{20, 5}));
  // A zero size leaves the points unscaled, and so does the way back from it.
  p.SetSize(0, 5);
  p.SetSize(20, 5);
  EXPECT_EQ(p.Points()[0][1], (TFloatPoint{20, 5}));

  TdtpRectangleShape r;
  r.SetSize(12, 8);
  EXPECT_EQ(r.Points()[0][2], (TFloatPoint{12, 8}));
  // A resize without a move still repaints the new geometry.
  TBitmap32 b;
  PaintAt10(b, r, 200, 200);
  r.SetUseOutline(false);
  r.SetSize(15, 8);
  PaintAt10(b, r, 200, 200);
  EXPECT_EQ(b.Pixel(145, 40), 0xFF0000FFu);
}

TEST_F(PolygonShapeTest, EverySetterRecordsAKeyThatRestoresTheOldValue) {
  TdtpDocument doc;
  auto* shape = new TdtpRoundRectShape();
  ASSERT_GE(doc.AddShape(std::unique_ptr<TdtpShape>(shape)), 0);
  struct TCase {
    const char* key;
    std::function<void()> change;
    std::function<bool()> isOld;
  };
  const std::vector<TCase> cases = {
      {"FillAlpha", [&] { shape->SetFillAlpha(128); }, [&] { return shape->FillAlpha() == 255; }},
      {"FillColor", [&] { shape->SetFillColor(0x00FF00); }, [&] { return shape->FillColor() == 0xFF0000; }},
      {"OutlineColor", [&] { shape->SetOutlineColor(-2147483643); }, [&] { return shape->OutlineColor() == 0; }},
      {"OutlineWidth", [&] { shape->SetOutlineWidth(1.75f); }, [&] { return shape->OutlineWidth() == 0.5f && shape->CurbLeft() == 0.25f; }},
      {"IsClosed", [&] { shape->SetIsClosed(false); }, [&] { return shape->IsClosed(); }},
      {"UseFill", [&] { shape->SetUseFill(false); }, [&] { return shape->UseFill(); }},
      {"UseOutline", [&] { shape->SetUseOutline(false); }, [&] { return shape->UseOutline(); }},
      {"UseStipple", [&] { shape->SetUseStipple(true); }, [&] { return !shape->UseStipple(); }},
      {"StippleSize", [&] { shape->SetStippleSize(0.7f); }, [&] { return shape->StippleSize() == 2.0f; }},
      {"CornerWidth", [&] { shape->SetCornerWidth(3.3f); }, [&] { return shape->CornerWidth() == 10.0f; }},
      {"CornerHeight", [&] { shape->SetCornerHeight(2); }, [&] { return shape->CornerHeight() == 7.5f; }},
      {"CornerPropertiesArePercentage", [&] { shape->SetCornerPropertiesArePercentage(true); },
       [&] { return !shape->CornerPropertiesArePercentage(); }},
  };
  for (const TCase& c : cases) {
    const int before = doc.UndoCount();
    c.change();
    ASSERT_EQ(doc.UndoCount(), before + 1) << c.key;
    const TdtpCommand* command = doc.UndoItem(doc.UndoCount() - 1);
    EXPECT_EQ(command->Name, c.key);
    EXPECT_EQ(command->ShapeId, shape->ShapeId());
    EXPECT_FALSE(c.isOld()) << c.key;
    shape->SetPropertyByName(command->Name, command->Value);
    EXPECT_TRUE(c.isOld()) << c.key << " = " << command->Value;
    // Setting the value it already has records nothing.
    const int count = doc.UndoCount();
    shape->SetPropertyByName(command->Name, command->Value);
    EXPECT_EQ(doc.UndoCount(), count) << c.key;
  }
  EXPECT_THROW(shape->SetPropertyByName("OutlineWidth", "wide"), Exception);
  EXPECT_THROW(shape->SetPropertyByName("FillColor", "0x12"), Exception);
}

TEST_F(PolygonShapeTest, ContainmentFollowsTheEvenOddRuleOverAllContours) {
  TdtpDocument doc;
  auto* ring = new TdtpPolygonShape();
  ASSERT_GE(doc.AddShape(std::unique_ptr<TdtpShape>(ring)), 0);
  ring->SetStorePoints(true);
  for (TFloatPoint p : {TFloatPoint{0, 0}, TFloatPoint{0, 30}, TFloatPoint{40, 30}, TFloatPoint{40, 0}}) ring->AddPoint(p);
  ring->NewContour();
  for (TFloatPoint p : {TFloatPoint{10, 10}, TFloatPoint{10, 20}, TFloatPoint{30, 20}, TFloatPoint{30, 10}}) ring->AddPoint(p);
  ring->NewContour();
  ring->AddPoint(50, 50);  // too short to hold anything
  EXPECT_TRUE(ring->ContainsLocalPoint({5, 5}));
  EXPECT_FALSE(ring->ContainsLocalPoint({20, 15}));
  EXPECT_FALSE(ring->ContainsLocalPoint({45, 15}));

  const TdtpRegion region = ring->ShapeRegion();
  ASSERT_FALSE(region.empty());
  for (const auto& [local, inside] : {std::pair{TFloatPoint{5, 5}, true}, std::pair{TFloatPoint{20, 15}, false},
                                      std::pair{TFloatPoint{35, 25}, true}, std::pair{TFloatPoint{45, 15}, false},
                                      std::pair{TFloatPoint{5, 15}, true}}) {
    const TFloatPoint s = ring->LocalToScreen(local);
    EXPECT_EQ(RegionContains(region, s.X, s.Y), inside) << local.X << "," << local.Y;
  }
  EXPECT_TRUE(TdtpPolygonShape().ShapeRegion().empty());
}

}  // namespace
}  // namespace sw
