#include "magnet/magnet_design.h"

#include <gtest/gtest.h>

#include <string>

#include "base/exception.h"
#include "magnet_test_support.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"

namespace sw {
namespace {

class MagnetDesign : public test::MagnetFixture {};

// The page parameters of a fresh portrait, pre-cut template with bleed 3, byte for byte.
constexpr char kRoundMagnetParams[] =
    "\"template name=Round Magnet 50mm\",\"template type=basic\",\"template version=1\",\"bleed margin=3\","
    "\"innerX margin=0\",\"innerY margin=0\",\"outerX margin=15\",\"outerY margin=23\",portrait=-1,precut=-1";

TEST_F(MagnetDesign, NewDesignBuildsNineHiddenLayers) {
  auto magnet = NewMagnet();
  TdtpDocument& doc = magnet->Document();
  EXPECT_FLOAT_EQ(doc.PageWidth(), 210);
  EXPECT_FLOAT_EQ(doc.PageHeight(), 297);
  ASSERT_EQ(doc.ShapeCount(), 9);
  EXPECT_EQ(magnet->DesignObjects().Count(), 9);
  const char* classes[] = {"TdtpRectangleShape", "TdtpBitmapShape", "TdtpBitmapShape",
                           "TdtpRectangleShape", "TdtpMemoShape",   "TdtpBitmapShape",
                           "TdtpBitmapShape",    "TdtpRectangleShape", "TdtpRectangleShape"};
  for (const TLayer layer : AllLayers()) {
    const int i = static_cast<int>(layer);
    TdtpShape* shape = doc.Shapes(i);
    EXPECT_EQ(magnet->Layer(layer), shape) << LayerName(layer);
    EXPECT_STREQ(shape->ClassName(), classes[i]);
    EXPECT_FALSE(shape->Visible());
    EXPECT_FALSE(shape->AllowSelect());
  }
  const TdtpMemoShape* text = magnet->TextLayer();
  EXPECT_FALSE(text->AutoSize());
  EXPECT_EQ(text->Alignment(), taCenter);
  EXPECT_TRUE(text->WordWrap());
  EXPECT_FLOAT_EQ(magnet->RectLayer(TLayer::olOutline)->OutlineWidth(), 0.25f);
  EXPECT_EQ(magnet->RectLayer(TLayer::olOutline)->OutlineColor(), kColourBlack);
  EXPECT_FLOAT_EQ(magnet->RectLayer(TLayer::olBorder)->OutlineWidth(), 0.0001f);
  EXPECT_EQ(magnet->RectLayer(TLayer::bgColour)->OutlineColor(), kColourWhite);
  EXPECT_EQ(magnet->ActiveImage(), magnet->BitmapLayer(TLayer::usrImage));
  EXPECT_FALSE(doc.Modified());
  EXPECT_FALSE(magnet->DesignLoaded());
  // Layers are typed by their class: asking a rectangle for a bitmap gives nothing.
  EXPECT_EQ(magnet->BitmapLayer(TLayer::bgColour), nullptr);
  EXPECT_THROW(magnet->DesignObjects().Item(9), Exception);
  EXPECT_THROW(magnet->DesignObjects().Item(-1), Exception);
}

TEST_F(MagnetDesign, LayoutPlacesTheLayersForTheMagnetSize) {
  auto magnet = NewMagnet();
  magnet->LayoutTemplateLayers(90, 50, 3);
  TdtpDocument& doc = magnet->Document();
  EXPECT_FLOAT_EQ(doc.PageWidth(), 96);
  EXPECT_FLOAT_EQ(doc.PageHeight(), 56);
  auto expectRect = [&](TLayer layer, float l, float t, float w, float h) {
    const TdtpShape* s = magnet->Layer(layer);
    EXPECT_FLOAT_EQ(s->DocLeft(), l) << LayerName(layer);
    EXPECT_FLOAT_EQ(s->DocTop(), t) << LayerName(layer);
    EXPECT_FLOAT_EQ(s->DocWidth(), w) << LayerName(layer);
    EXPECT_FLOAT_EQ(s->DocHeight(), h) << LayerName(layer);
  };
  expectRect(TLayer::olMask, 0, 0, 96, 56);
  expectRect(TLayer::olBorder, 1.5f, 1.5f, 93, 53);
  expectRect(TLayer::olOutline, 3.1f, 3.1f, 89.8f, 49.8f);
  expectRect(TLayer::olImage, 3, 3, 90, 50);
  expectRect(TLayer::bgImage, 3, 3, 90, 50);
  expectRect(TLayer::bgColour, 0, 0, 96, 56);
  // The message: 45 x 25 at Round(25.5) = 26 and Round(15.5) = 16, its box the same frame.
  expectRect(TLayer::usrText, 26, 16, 45, 25);
  expectRect(TLayer::usrTextBG, 26, 16, 45, 25);
  EXPECT_FLOAT_EQ(magnet->RectLayer(TLayer::olBorder)->OutlineWidth(), 3);
  EXPECT_EQ(magnet->RectLayer(TLayer::olBorder)->OutlineColor(), kColourWhite);
  EXPECT_EQ(magnet->RectLayer(TLayer::olBorder)->FillAlpha(), 0);
  EXPECT_FLOAT_EQ(magnet->RectLayer(TLayer::olOutline)->OutlineWidth(), 0.2f);
  EXPECT_EQ(magnet->RectLayer(TLayer::olOutline)->FillAlpha(), 0);
  for (const TLayer layer : {TLayer::olImage, TLayer::olMask, TLayer::olBorder, TLayer::olOutline}) {
    EXPECT_EQ(magnet->Layer(layer)->MasterAlpha(), 255u);
  }

  // Odd sizes halve by whole-number division; no bleed puts everything at the origin.
  magnet->LayoutTemplateLayers(51, 31, 0);
  expectRect(TLayer::olImage, 0, 0, 51, 31);
  expectRect(TLayer::usrText, 13, 8, 25, 15);  // Round(13) and Round(8)
  EXPECT_FLOAT_EQ(magnet->RectLayer(TLayer::olBorder)->OutlineWidth(), 0);
}

TEST_F(MagnetDesign, RecordAndRestoreGeometry) {
  auto magnet = NewMagnet();
  TdtpShape* picture = magnet->Layer(TLayer::usrImage);
  picture->SetBounds(5, 6, 70, 40);
  picture->SetAngle(30);
  magnet->RecordLayerGeometry(TLayer::usrImage);
  const TDesignObject& entry = magnet->DesignObjects().Item(2);
  EXPECT_FLOAT_EQ(entry.Left, 5);
  EXPECT_FLOAT_EQ(entry.Width, 70);
  EXPECT_FLOAT_EQ(entry.Angle, 30);
  picture->SetBounds(0, 0, 1, 1);
  picture->SetAngle(0);
  magnet->RestoreLayerGeometry(TLayer::usrImage);
  EXPECT_FLOAT_EQ(picture->DocLeft(), 5);
  EXPECT_FLOAT_EQ(picture->DocTop(), 6);
  EXPECT_FLOAT_EQ(picture->DocWidth(), 70);
  EXPECT_FLOAT_EQ(picture->DocHeight(), 40);
  EXPECT_FLOAT_EQ(picture->DocAngle(), 30);
}

TEST_F(MagnetDesign, StoredParametersByteForByte) {
  auto magnet = NewMagnet();
  magnet->SetTemplateName("Round Magnet 50mm");
  magnet->SetBleedMargin(3);
  magnet->LayoutTemplateLayers(90, 50, 3);
  TDesignObject* picture = magnet->LayerObject(TLayer::usrImage);
  picture->ZoomWidth = 96;
  picture->ZoomHeight = 64;
  magnet->LayerObject(TLayer::olImage)->ZoomWidth = 338.67f;
  magnet->StoreDesignParams();
  TdtpDocument& doc = magnet->Document();
  EXPECT_EQ(doc.CurrentPage()->Name(), kRoundMagnetParams);
  EXPECT_EQ(doc.Shapes(2)->Name(), "\"shape type=usrImage\",\"zoom height=64\",\"zoom width=96\"");
  EXPECT_EQ(doc.Shapes(5)->Name(), "\"shape type=olImage\",\"zoom height=0\",\"zoom width=338.67\"");
  EXPECT_EQ(doc.Shapes(8)->Name(), "\"shape type=olOutline\",\"zoom height=0\",\"zoom width=0\"");

  // Other values: an empty type, landscape, uncut, fractional margins, a name with a quote.
  magnet->SetTemplateName("Say \"cheese\", please");
  magnet->SetTemplateType("something");
  magnet->SetOuterMarginX(12.5f);
  magnet->SetInnerMarginY(0.1f);
  magnet->SetPortrait(false);
  magnet->SetPrecut(false);
  EXPECT_EQ(magnet->PageParams(),
            "\"template name=Say \"\"cheese\"\", please\",\"template type=\",\"template version=1\","
            "\"bleed margin=3\",\"innerX margin=0\",\"innerY margin=0.1\",\"outerX margin=12.5\","
            "\"outerY margin=23\",portrait=0,precut=0");
}

TEST_F(MagnetDesign, ApplyBindsLayersByTheirStoredNames) {
  auto magnet = NewMagnet();
  magnet->SetBleedMargin(3);
  magnet->LayoutTemplateLayers(90, 50, 3);
  magnet->LayerObject(TLayer::usrImage)->ZoomWidth = 96;
  magnet->LayerObject(TLayer::usrImage)->ZoomHeight = 64;
  magnet->StoreDesignParams();
  TdtpDocument& doc = magnet->Document();
  TdtpPage* page = doc.CurrentPage();
  // Swap the stacking of the two bitmap layers below the text: names decide, not positions.
  page->ExchangeChildren(1, 2);
  magnet->Layer(TLayer::usrImage)->SetVisible(true);
  magnet->SetTemplateName("changed");
  magnet->ApplyDesign(true);
  EXPECT_TRUE(magnet->DesignLoaded());
  EXPECT_EQ(magnet->Layer(TLayer::usrImage), page->Child(1));
  EXPECT_EQ(magnet->Layer(TLayer::bgImage), page->Child(2));
  for (const TLayer layer : AllLayers()) ASSERT_NE(magnet->Layer(layer), nullptr) << LayerName(layer);
  EXPECT_EQ(magnet->DesignObjects().ShapeType(1), "usrImage");
  EXPECT_FLOAT_EQ(magnet->DesignObjects().ZoomWidth(1), 96);
  EXPECT_FLOAT_EQ(magnet->DesignObjects().ZoomHeight(1), 64);
  // Geometry is recorded as loaded: a reset returns there.
  EXPECT_FLOAT_EQ(magnet->DesignObjects().Width(4), 45);
  EXPECT_EQ(magnet->TemplateName(), "");  // the stored value, not the field's edit
  EXPECT_EQ(magnet->TemplateType(), "basic");
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 3);
  EXPECT_TRUE(magnet->ImageGroupAllowed());
  EXPECT_TRUE(magnet->Grid().ResetPending());
  EXPECT_FALSE(doc.Modified());
}

TEST_F(MagnetDesign, OlderTemplatesBindFiveLayersByPosition) {
  auto magnet = NewMagnet();
  TdtpDocument& doc = magnet->Document();
  TdtpPage* page = doc.CurrentPage();
  page->DeleteAllChildren();
  for (const TLayer layer : AllLayers()) EXPECT_EQ(magnet->Layer(layer), nullptr);
  doc.AddShape(std::make_unique<TdtpRectangleShape>());
  doc.AddShape(std::make_unique<TdtpBitmapShape>());
  auto text = std::make_unique<TdtpMemoShape>();
  text->SetBounds(10, 10, 40, 20);
  text->SetName("anything, even \"shape type=olMask\"");
  doc.AddShape(std::move(text));
  doc.AddShape(std::make_unique<TdtpBitmapShape>());
  doc.AddShape(std::make_unique<TdtpBitmapShape>());
  page->SetName("\"bleed margin=2\"");
  magnet->ApplyDesign(true);
  EXPECT_EQ(magnet->Layer(TLayer::bgColour), page->Child(0));
  EXPECT_EQ(magnet->Layer(TLayer::usrImage), page->Child(1));
  EXPECT_EQ(magnet->Layer(TLayer::usrText), page->Child(2));
  EXPECT_EQ(magnet->Layer(TLayer::olImage), page->Child(3));
  EXPECT_EQ(magnet->Layer(TLayer::olMask), page->Child(4));
  for (const TLayer absent : {TLayer::bgImage, TLayer::usrTextBG, TLayer::olBorder, TLayer::olOutline}) {
    EXPECT_EQ(magnet->Layer(absent), nullptr);
  }
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 2);
  // Operations on absent layers do nothing; the present ones still work.
  magnet->LayoutTemplateLayers(90, 50, 3);
  magnet->MoveText(3, 4);
  magnet->SetTextBoxSeeThrough(true);
  magnet->FlashTextBox();
  magnet->EndTextFlash();
  EXPECT_FLOAT_EQ(magnet->Layer(TLayer::usrText)->DocLeft(), 3);
  magnet->ResetText();
  EXPECT_FLOAT_EQ(magnet->Layer(TLayer::usrText)->DocLeft(), 26);
  TNativeXml xml("Page");
  magnet->SaveDesignForPrint(*xml.Root());
  magnet->StoreDesignParams();
  EXPECT_EQ(page->Child(2)->Name(), "\"shape type=usrText\",\"zoom height=0\",\"zoom width=0\"");
  // Stored in the new form, it now binds by name.
  magnet->ApplyDesign(false);
  EXPECT_EQ(magnet->Layer(TLayer::usrText), page->Child(2));
  EXPECT_EQ(magnet->Layer(TLayer::olOutline), nullptr);
}

TEST_F(MagnetDesign, ApplyWithABadLayerLeavesTheEmptyDesign) {
  auto magnet = NewMagnet();
  magnet->StoreDesignParams();
  TdtpDocument& doc = magnet->Document();
  TdtpShape* oldText = doc.Shapes(4);
  oldText->SetName("\"shape type=usrText\",\"zoom height=abc\",\"zoom width=1\"");
  try {
    magnet->ApplyDesign(true);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Shape 5 (layer \"usrText\"): \"zoom height\" is \"abc\", which is no number");
  }
  EXPECT_FALSE(magnet->DesignLoaded());
  ASSERT_EQ(doc.ShapeCount(), 9);
  for (const TLayer layer : AllLayers()) EXPECT_EQ(magnet->Layer(layer), doc.Shapes(static_cast<int>(layer)));
  EXPECT_EQ(doc.Shapes(4)->Name(), "");

  // A layer name on a shape of another class.
  magnet->StoreDesignParams();
  doc.Shapes(0)->SetName("\"shape type=usrText\",\"zoom height=0\",\"zoom width=0\"");
  EXPECT_THROW(magnet->ApplyDesign(true), Exception);
  EXPECT_FALSE(magnet->DesignLoaded());
  EXPECT_EQ(magnet->Layer(TLayer::usrText), doc.Shapes(4));
}

TEST_F(MagnetDesign, ReferencesFollowShapesThatLeave) {
  auto magnet = NewMagnet();
  TdtpDocument& doc = magnet->Document();
  doc.DeleteShape(4);
  EXPECT_EQ(magnet->Layer(TLayer::usrText), nullptr);
  EXPECT_NE(magnet->Layer(TLayer::olImage), nullptr);
  magnet->SetMessageText(u"nothing to hold it");
  EXPECT_FALSE(magnet->TextControls().has_value());
  EXPECT_EQ(magnet->FontText(), "");
  doc.Clear();
  for (const TLayer layer : AllLayers()) EXPECT_EQ(magnet->Layer(layer), nullptr);
  // The empty design builds its page again.
  magnet->NewDesign();
  EXPECT_EQ(doc.ShapeCount(), 9);
}

TEST_F(MagnetDesign, ResetPrintSettingsStopsAtTheFirstBadValue) {
  auto magnet = NewMagnet();
  TdtpPage* page = magnet->Document().CurrentPage();
  magnet->StoreDesignParams();
  auto reset = [&](const std::string& params) {
    page->SetName("\"template version=1\"," + params);
    magnet->ApplyDesign(true);
    return magnet->PrintSettings();
  };
  magnet->SetBleedMargin(4);
  magnet->SetPortrait(false);
  magnet->SetOuterMarginX(2);
  TPrintSettings s = reset("");
  EXPECT_EQ(s.PaperWidth, 210);
  EXPECT_EQ(s.PaperHeight, 297);
  EXPECT_FLOAT_EQ(s.OuterMarginX, 15);
  EXPECT_FLOAT_EQ(s.OuterMarginY, 23);
  EXPECT_FLOAT_EQ(s.InnerMarginX, 0);
  EXPECT_FLOAT_EQ(s.InnerMarginY, 0);
  EXPECT_TRUE(s.Portrait);
  EXPECT_TRUE(s.Precut);
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 4);  // left at its previous value

  s = reset("\"bleed margin=2.5\",\"innerX margin=1\",\"innerY margin=2,5\",\"outerX margin=3\","
            "\"outerY margin=4\",portrait=0,precut=0");
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 2.5f);
  EXPECT_FLOAT_EQ(s.InnerMarginX, 1);
  EXPECT_FLOAT_EQ(s.InnerMarginY, 2.5f);
  EXPECT_FLOAT_EQ(s.OuterMarginX, 3);
  EXPECT_FLOAT_EQ(s.OuterMarginY, 4);
  EXPECT_FALSE(s.Portrait);
  EXPECT_FALSE(s.Precut);

  s = reset("\"bleed margin=1\",\"innerX margin=0\",\"innerY margin=0\",\"outerX margin=15\","
            "\"outerY margin=23\",portrait=True,precut=0");
  EXPECT_TRUE(s.Portrait);
  EXPECT_FALSE(s.Precut);
  s = reset("\"bleed margin=1\",\"innerX margin=0\",\"innerY margin=0\",\"outerX margin=15\","
            "\"outerY margin=23\",portrait=yes,precut=0");
  EXPECT_TRUE(s.Portrait);
  EXPECT_TRUE(s.Precut);  // never read: reading stopped at "yes"

  // Values that are no finite number count as unreadable: the defaults stay from there on.
  s = reset("\"bleed margin=1\",\"innerX margin=7\",\"innerY margin=nan\",\"outerX margin=3\",portrait=0");
  EXPECT_FLOAT_EQ(s.InnerMarginX, 7);
  EXPECT_FLOAT_EQ(s.InnerMarginY, 0);
  EXPECT_FLOAT_EQ(s.OuterMarginX, 15);
  EXPECT_TRUE(s.Portrait);
  s = reset("\"bleed margin=1e999\",\"innerX margin=7\"");
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 1);
  EXPECT_FLOAT_EQ(s.InnerMarginX, 0);
  // The bleed margin keeps to its range.
  reset("\"bleed margin=-4\"");
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 0);
  reset("\"bleed margin=1000\"");
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), kMaxBleedMargin);
}

TEST_F(MagnetDesign, StoredSettingsMarkTheDesignModified) {
  auto magnet = NewMagnet();
  TdtpDocument& doc = magnet->Document();
  auto modifies = [&](auto change) {
    doc.SetModified(false);
    change();
    return doc.Modified();
  };
  EXPECT_TRUE(modifies([&] { magnet->SetTemplateName("x"); }));
  EXPECT_FALSE(modifies([&] { magnet->SetTemplateName("x"); }));
  EXPECT_TRUE(modifies([&] { magnet->SetTemplateType("Clock Face"); }));
  EXPECT_EQ(magnet->TemplateType(), "clock face");
  EXPECT_TRUE(modifies([&] { magnet->SetBleedMargin(2); }));
  EXPECT_TRUE(modifies([&] { magnet->SetOuterMarginY(10); }));
  EXPECT_TRUE(modifies([&] { magnet->SetPrecut(false); }));
  EXPECT_FALSE(modifies([&] { magnet->SetOuterMarginX(std::nanf("")); }));
  // The paper size is not stored in the design.
  EXPECT_FALSE(modifies([&] { magnet->SetPaperWidth(200); }));
  EXPECT_TRUE(magnet->LayoutStale());
}

TEST_F(MagnetDesign, TemplateNameFromTheFileName) {
  EXPECT_EQ(TemplateDisplayName("/x/templates/Round_Magnet_50mm.FMT"), "Round Magnet 50mm");
  EXPECT_EQ(TemplateDisplayName("a.fmt.fmt"), "a.fmt");
  EXPECT_EQ(TemplateDisplayName("C:\\t\\My_one.Fmt"), "My one");
  EXPECT_EQ(TemplateDisplayName("plain"), "plain");
}

TEST(MagnetAngles, SpinValuesFoldIntoHalfTurns) {
  EXPECT_EQ(AngleSpinValue(180), -180);
  EXPECT_EQ(AngleSpinValue(270), 90);
  EXPECT_EQ(AngleSpinValue(179), -179);
  EXPECT_EQ(AngleSpinValue(0), 0);
  EXPECT_EQ(AngleSpinValue(359.5f), 0);  // Round(0.5) is 0
  EXPECT_EQ(FoldRotateSpin(181), -179);
  EXPECT_EQ(FoldRotateSpin(-180), 180);
  EXPECT_EQ(FoldRotateSpin(180), 180);
  EXPECT_EQ(FoldRotateSpin(-179), -179);
}

}  // namespace
}  // namespace sw
