// Effects, the effect shape, groups and the placeholder: the registry, the effect list, painting
// through effects with their source pictures, and the XML form.
#include "shapes/effect_shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/document.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "shapes/polygon_shape.h"
#include "shapes/register.h"
#include "storage/xml/native_xml.h"

namespace sw {
namespace {

// An effect that reads its source: it records the source's first pixel, then adds 1 to the blue
// byte of every pixel so each step is visible in the next one's source.
class TdtpProbeEffect : public TdtpEffect {
public:
  static const char* StaticClassName() { return "TdtpProbeEffect"; }
  const char* ClassName() const override { return StaticClassName(); }
  bool ReadsSource() const override { return true; }
  void Apply(TBitmap32& bitmap, const TdtpPaintInfo& info) override {
    (void)info;
    const TBitmap32* source = SourceBitmap();
    Seen.push_back(source ? static_cast<int64_t>(source->Pixel(0, 0)) : -1);
    for (int32_t i = 0; i < bitmap.Width() * bitmap.Height(); ++i) bitmap.Bits()[i] += 1;
  }
  void AdjustCurbs(float& left, float& top, float& right, float& bottom) const override {
    (void)top, (void)right, (void)bottom;
    left = std::max(left, 3.0f);
  }
  std::vector<int64_t> Seen;
};

// An effect that never reads a source, whatever its Source says.
class TdtpBlindEffect : public TdtpEffect {
public:
  static const char* StaticClassName() { return "TdtpBlindEffect"; }
  const char* ClassName() const override { return StaticClassName(); }
  void Apply(TBitmap32& bitmap, const TdtpPaintInfo& info) override {
    (void)bitmap, (void)info;
    SawCopy = Shape()->UnprocessedCopy() != nullptr;
  }
  bool SawCopy = true;
};

class EffectShapeTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterShapeKinds();
    RegisterEffectClass<TdtpProbeEffect>(1);
  }
};

std::string XmlOf(const TdtpShape& shape) {
  TNativeXml xml("shape");
  shape.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

std::unique_ptr<TdtpEffectShape> Load(const std::string& text) {
  TNativeXml xml;
  xml.LoadFromString(text);
  auto shape = CreateShapeByClassName(xml.Root()->ReadString("ClassName", ""));
  shape->LoadFromXml(xml.Root());
  return std::unique_ptr<TdtpEffectShape>(dynamic_cast<TdtpEffectShape*>(shape.release()));
}

std::unique_ptr<TdtpEffect> MakeEffect(bool enabled, int32_t source) {
  auto e = std::make_unique<TdtpEffect>();
  e->SetEnabled(enabled);
  e->SetSource(source);
  return e;
}

TEST_F(EffectShapeTest, NamesAndTheRegistry) {
  EXPECT_EQ(TdtpEffect().GetName(), "");
  EXPECT_EQ(TdtpProbeEffect().GetName(), "Probe");
  EXPECT_EQ(TdtpBlindEffect().GetName(), "Blind");

  // The plain effect stands in for any name not registered, letter case included.
  EXPECT_EQ(FindEffectClass("TdtpNoSuchEffect").ClassName, "TdtpEffect");
  EXPECT_EQ(FindEffectClass("tdtpprobeeffect").ClassName, "TdtpEffect");
  EXPECT_EQ(FindEffectClass("TdtpProbeEffect").Flags, 1);
  EXPECT_STREQ(CreateEffectByClassName("TdtpProbeEffect")->ClassName(), "TdtpProbeEffect");
  EXPECT_STREQ(CreateEffectByClassName("")->ClassName(), "TdtpEffect");

  // Registering a class again adds nothing.
  const size_t count = RegisteredEffectClassNames().size();
  RegisterEffectClass<TdtpProbeEffect>(7);
  RegisterEffectClass<TdtpEffect>(0);
  EXPECT_EQ(RegisteredEffectClassNames().size(), count);
  EXPECT_EQ(RegisteredEffectClassNames().front(), "TdtpEffect");

  // The effect and group shapes are registered, the placeholder is not.
  EXPECT_TRUE(IsShapeClassRegistered("TdtpEffectShape"));
  EXPECT_TRUE(IsShapeClassRegistered("TdtpGroupShape"));
  EXPECT_FALSE(IsShapeClassRegistered("TdtpPlaceHolder"));
  EXPECT_STREQ(CreateShapeByClassName("TdtpGroupShape")->ClassName(), "TdtpGroupShape");
}

TEST_F(EffectShapeTest, TheEffectListOwnsItsEffects) {
  TdtpGroupShape shape;
  EXPECT_EQ(shape.AddEffect(nullptr), -1);
  EXPECT_EQ(shape.EffectCount(), 0);
  EXPECT_EQ(shape.AddEffect(MakeEffect(true, -2)), 0);
  EXPECT_EQ(shape.AddEffect(MakeEffect(false, 0)), 1);
  EXPECT_EQ(shape.EffectCount(), 2);
  EXPECT_EQ(shape.Effect(0)->Shape(), &shape);
  EXPECT_EQ(shape.Effect(-1), nullptr);
  EXPECT_EQ(shape.Effect(2), nullptr);
  EXPECT_EQ(shape.IndexOfEffect(shape.Effect(1)), 1);

  // Enabled effects send the shape down the cached path; disabled ones do not.
  EXPECT_TRUE(shape.NeedsPostProcess());
  EXPECT_TRUE(shape.NeedsCache());
  shape.Effect(0)->SetEnabled(false);
  EXPECT_FALSE(shape.NeedsCache());

  shape.DeleteEffect(5);
  EXPECT_EQ(shape.EffectCount(), 2);
  shape.DeleteEffect(0);
  EXPECT_EQ(shape.EffectCount(), 1);
  shape.ClearShapes();
  EXPECT_EQ(shape.EffectCount(), 0);

  // An effect can widen the painted area.
  shape.AddEffect(std::make_unique<TdtpProbeEffect>());
  EXPECT_FLOAT_EQ(shape.EffectiveCurbLeft(), 3);
  EXPECT_FLOAT_EQ(shape.EffectiveCurbTop(), 0);
}

TEST_F(EffectShapeTest, APlainEnabledEffectPaintsExactlyAsWithout) {
  TdtpRectangleShape plain, withEffect;
  for (TdtpRectangleShape* r : {&plain, &withEffect}) {
    r->SetBounds(1, 1, 4, 3);
    r->SetFillAlpha(200);
    r->SetPaintMatrix(TdtpAffineTransform(10, 0, 0, 10, 10, 10));
  }
  withEffect.AddEffect(MakeEffect(true, -1));
  EXPECT_FALSE(plain.NeedsCache());
  EXPECT_TRUE(withEffect.NeedsCache());
  TBitmap32 a, b;
  for (TBitmap32* bm : {&a, &b}) {
    bm->SetSize(60, 50);
    bm->Clear(0);
    bm->CombineMode = cmMerge;
  }
  plain.PaintBitmap(a, TdtpPaintInfo{});
  plain.PostProcess(a, TdtpPaintInfo{});
  withEffect.PaintBitmap(b, TdtpPaintInfo{});
  withEffect.PostProcess(b, TdtpPaintInfo{});
  EXPECT_EQ(std::memcmp(a.Bits(), b.Bits(), sizeof(TColor32) * 60 * 50), 0);
  EXPECT_EQ(withEffect.UnprocessedCopy(), nullptr);
}

// A 40 x 30 mm ellipse with its outline on a 60 x 50 mm page rendered at 10 pixels per mm,
// painted straight onto the page or, with an enabled effect, through its cache.
std::unique_ptr<TBitmap32> RenderEllipsePage(bool withEffect, int32_t fillAlpha) {
  TdtpDocument doc;
  doc.SetPageWidth(60);
  doc.SetPageHeight(50);
  auto shape = std::make_unique<TdtpEllipseShape>();
  shape->SetBounds(10, 10, 40, 30);
  shape->SetFillColor(0x0000FF);
  shape->SetFillAlpha(fillAlpha);
  if (withEffect) shape->AddEffect(MakeEffect(true, -1));
  TdtpEllipseShape* raw = shape.get();
  doc.AddShape(std::move(shape));
  auto page = doc.RenderPage(*doc.CurrentPage(), 10);
  EXPECT_EQ(raw->Cache() != nullptr, withEffect);
  return page;
}

// Radial position of a page pixel's centre against the ellipse above: 1 on its contour.
double EllipseRadial(int32_t x, int32_t y) { return std::hypot((x + 0.5 - 300) / 200, (y + 0.5 - 250) / 150); }

TEST_F(EffectShapeTest, OnAPageAnEnabledEffectTakesTheCachePathToTheSamePicture) {
  for (int32_t alpha : {255, 128}) {
    const auto direct = RenderEllipsePage(false, alpha);
    const auto cached = RenderEllipsePage(true, alpha);
    ASSERT_EQ(direct->Width(), 600);
    ASSERT_EQ(cached->Height(), 500);
    // The interior is the fill itself and the outline black; away from the edges of the outline
    // band both paths give the same pixels.
    EXPECT_EQ(direct->Pixel(300, 250), alpha == 255 ? 0xFFFF0000u : 0xFFFE7F7Fu);
    EXPECT_EQ(direct->Pixel(500, 250), 0xFF000000u);
    EXPECT_EQ(direct->Pixel(50, 50), 0xFFFFFFFFu);
    int differ = 0;
    for (int32_t y = 0; y < 500; ++y) {
      for (int32_t x = 0; x < 600; ++x) {
        const double r = EllipseRadial(x, y);
        if (std::abs(r - 1) < 0.03) continue;  // the band and a pixel to each side of it
        differ += direct->Pixel(x, y) != cached->Pixel(x, y);
      }
    }
    EXPECT_EQ(differ, 0) << alpha;
  }
}

// A cache laid onto the page at its own resolution puts every pixel where the straight paint puts
// it: off the outline band the pictures are equal, and on its antialiased edges they differ by a
// few steps at most (a half-pixel shift would differ by far more there). The bilinear read gives
// the pixel it lands on 255/256 and its right and lower neighbours the rest, up to a step per
// axis; and the outline, antialiased through the cache's own paint matrix (built from its area in
// single-precision millimetres), may count a sub-pixel sample more or less at a few pixels.
TEST_F(EffectShapeTest, OnAPageTheCachePathGivesTheSameEdges) {
  const auto direct = RenderEllipsePage(false, 255);
  const auto cached = RenderEllipsePage(true, 255);
  int worstOnEdges = 0, worstElsewhere = 0;
  for (int32_t y = 0; y < 500; ++y) {
    for (int32_t x = 0; x < 600; ++x) {
      const TColor32 a = direct->Pixel(x, y), b = cached->Pixel(x, y);
      int& worst = std::abs(EllipseRadial(x, y) - 1) < 0.03 ? worstOnEdges : worstElsewhere;
      for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)));
      }
    }
  }
  EXPECT_LE(worstOnEdges, 5);
  EXPECT_EQ(worstElsewhere, 0);
}

TEST_F(EffectShapeTest, EffectsReadOnlyEarlierPicturesAndSnapshotsLastOnePaint) {
  TdtpEffectShape shape;
  auto add = [&](int32_t source) {
    auto e = std::make_unique<TdtpProbeEffect>();
    e->SetSource(source);
    TdtpProbeEffect* raw = e.get();
    shape.AddEffect(std::move(e));
    return raw;
  };
  TdtpProbeEffect* e0 = add(-2);  // no source
  TdtpProbeEffect* e1 = add(-1);  // the painted bitmap before any effect
  TdtpProbeEffect* e2 = add(0);   // effect 0's output
  TdtpProbeEffect* e3 = add(3);   // itself: none
  TdtpProbeEffect* e4 = add(9);   // outside the list: none
  TdtpProbeEffect* e5 = add(1);   // effect 1's output
  TdtpProbeEffect* e6 = add(5);   // effect 5's output
  auto later = std::make_unique<TdtpProbeEffect>();
  later->SetSource(8);  // a later effect: none
  TdtpProbeEffect* e7 = later.get();
  shape.AddEffect(std::move(later));
  shape.AddEffect(std::make_unique<TdtpProbeEffect>());

  TBitmap32 bitmap;
  bitmap.SetSize(2, 2);
  bitmap.Clear(0x10);
  shape.PostProcess(bitmap, TdtpPaintInfo{});
  // Each effect adds 1, so effect n's output has 0x10 + n + 1.
  EXPECT_EQ(e0->Seen, std::vector<int64_t>{-1});
  EXPECT_EQ(e1->Seen, std::vector<int64_t>{0x10});
  EXPECT_EQ(e2->Seen, std::vector<int64_t>{0x11});
  EXPECT_EQ(e3->Seen, std::vector<int64_t>{-1});
  EXPECT_EQ(e4->Seen, std::vector<int64_t>{-1});
  EXPECT_EQ(e5->Seen, std::vector<int64_t>{0x12});
  EXPECT_EQ(e6->Seen, std::vector<int64_t>{0x16});
  EXPECT_EQ(e7->Seen, std::vector<int64_t>{-1});
  EXPECT_EQ(bitmap.Pixel(1, 1), 0x10u + 9);
  // Nothing of the paint is kept.
  EXPECT_EQ(shape.UnprocessedCopy(), nullptr);
  EXPECT_EQ(e2->SourceBitmap(), nullptr);
}

TEST_F(EffectShapeTest, NoSnapshotIsTakenForAClassThatDoesNotReadIt) {
  TdtpEffectShape shape;
  auto blind = std::make_unique<TdtpBlindEffect>();
  blind->SetSource(-1);
  TdtpBlindEffect* raw = blind.get();
  shape.AddEffect(std::move(blind));
  TBitmap32 bitmap;
  bitmap.SetSize(4, 4);
  bitmap.Clear(0);
  shape.PostProcess(bitmap, TdtpPaintInfo{});
  EXPECT_FALSE(raw->SawCopy);
}

TEST_F(EffectShapeTest, EffectsAreStoredInOrderAndReadWithTheFileDefaults) {
  TdtpGroupShape shape;
  shape.AddEffect(MakeEffect(true, -1));
  shape.AddEffect(MakeEffect(false, 0));
  const std::string text = XmlOf(shape);
  EXPECT_NE(text.find("<Effect Index=\"1\"><ClassName>TdtpEffect</ClassName><Enabled>True</Enabled>"
                      "<Source>-1</Source></Effect><Effect Index=\"2\"><ClassName>TdtpEffect</ClassName>"
                      "<Source>0</Source></Effect>"),
            std::string::npos)
      << text;
  auto copy = Load(text);
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->EffectCount(), 2);
  EXPECT_TRUE(copy->Effect(0)->Enabled());
  EXPECT_EQ(copy->Effect(0)->Source(), -1);
  EXPECT_FALSE(copy->Effect(1)->Enabled());
  EXPECT_EQ(copy->Effect(1)->Source(), 0);
  EXPECT_EQ(copy->Effect(1)->Shape(), copy.get());
  EXPECT_EQ(XmlOf(*copy), text);

  // Unregistered classes load as plain effects with their values; missing elements read as a
  // disabled effect without source, although a new effect is enabled; "Index" is not read.
  auto loaded = Load("<shape><ClassName>TdtpEffectShape</ClassName>"
                     "<Effect Index=\"7\"><ClassName>TdtpGlowEffect</ClassName><Enabled>T</Enabled><Source>4</Source></Effect>"
                     "<Effect Index=\"1\"/>"
                     "<Effect><ClassName>TdtpProbeEffect</ClassName></Effect></shape>");
  ASSERT_EQ(loaded->EffectCount(), 3);
  EXPECT_STREQ(loaded->Effect(0)->ClassName(), "TdtpEffect");
  EXPECT_TRUE(loaded->Effect(0)->Enabled());
  EXPECT_EQ(loaded->Effect(0)->Source(), 4);
  EXPECT_FALSE(loaded->Effect(1)->Enabled());
  EXPECT_EQ(loaded->Effect(1)->Source(), -2);
  EXPECT_STREQ(loaded->Effect(2)->ClassName(), "TdtpProbeEffect");
  EXPECT_TRUE(TdtpEffect().Enabled());
  EXPECT_EQ(TdtpEffect().Source(), -2);

  // Loading replaces the effects rather than adding to them.
  TNativeXml again;
  again.LoadFromString(text);
  copy->LoadFromXml(again.Root());
  EXPECT_EQ(copy->EffectCount(), 2);
}

TEST_F(EffectShapeTest, EffectsTravelWithSnapshotsAndAssign) {
  TdtpGroupShape shape;
  shape.AddEffect(MakeEffect(false, -1));
  TdtpGroupShape copy;
  copy.LoadFromString(shape.SaveToString());
  ASSERT_EQ(copy.EffectCount(), 1);
  EXPECT_FALSE(copy.Effect(0)->Enabled());
  EXPECT_EQ(copy.Effect(0)->Source(), -1);

  TdtpEffect target;
  auto source = MakeEffect(false, 3);
  target.Assign(*source);
  EXPECT_FALSE(target.Enabled());
  EXPECT_EQ(target.Source(), 3);
}

TEST_F(EffectShapeTest, APlaceHolderIsAWhiteFrameOfFortyByThirty) {
  TdtpPlaceHolder holder;
  EXPECT_FLOAT_EQ(holder.DocWidth(), 40);
  EXPECT_FLOAT_EQ(holder.DocHeight(), 30);
  ASSERT_GE(holder.ChildCount(), 1);
  auto* frame = dynamic_cast<TdtpRectangleShape*>(holder.Child(0));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->FillColor(), 0xFFFFFF);
  EXPECT_EQ(frame->OutlineColor(), 0);
  EXPECT_FLOAT_EQ(frame->OutlineWidth(), 0);
  EXPECT_EQ(frame->Anchors(), 120);
  EXPECT_TRUE(frame->Protected);
  EXPECT_FALSE(frame->AllowSelect());
  EXPECT_FLOAT_EQ(frame->DocWidth(), 40);
  // The memo joins once its class is registered; until then the frame is alone.
  EXPECT_EQ(holder.ChildCount(), IsShapeClassRegistered("TdtpMemoShape") ? 2 : 1);
  if (holder.ChildCount() == 2) {
    const TdtpShape* memo = holder.Child(1);
    EXPECT_FLOAT_EQ(memo->DocLeft(), 2);
    EXPECT_FLOAT_EQ(memo->DocTop(), 2);
    EXPECT_FLOAT_EQ(memo->DocWidth(), 36);
    EXPECT_FLOAT_EQ(memo->DocHeight(), 26);
  }
}

}  // namespace
}  // namespace sw
