// The template editor: building a template around its pictures and saving it.
#include <gtest/gtest.h>

#include <string>

#include "magnet/magnet_design.h"
#include "magnet_test_support.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"

namespace sw {
namespace {

class TemplateEditor : public test::MagnetFixture {};

TEST_F(TemplateEditor, LoadWithoutAChoiceOnlyMarksTemplateEditing) {
  auto magnet = NewMagnet();
  EXPECT_FALSE(magnet->ActiveImageChoice().has_value());
  magnet->LoadActiveImage(PictureFile("cut.png", 60, 80));
  EXPECT_TRUE(magnet->TemplateEditing());
  EXPECT_FALSE(magnet->DesignLoaded());
  EXPECT_FALSE(magnet->Layer(TLayer::olImage)->Visible());
  magnet->ChooseActiveImage(TLayer::bgColour);  // no picture layer: refused
  EXPECT_FALSE(magnet->ActiveImageChoice().has_value());
}

TEST_F(TemplateEditor, ACutoutPictureStartsATemplate) {
  auto magnet = NewMagnet();
  magnet->SetBleedMargin(3);
  magnet->ChooseActiveImage(TLayer::olImage);
  EXPECT_EQ(magnet->ActiveImage(), magnet->BitmapLayer(TLayer::olImage));
  magnet->LoadActiveImage(PictureFile("cut.png", 600, 800));  // taller than wide
  EXPECT_TRUE(magnet->DesignLoaded());
  EXPECT_EQ(magnet->TemplateWidth(), 90);
  EXPECT_EQ(magnet->TemplateHeight(), 50);
  EXPECT_FLOAT_EQ(magnet->Document().PageWidth(), 96);
  EXPECT_FLOAT_EQ(magnet->Document().PageHeight(), 56);
  const TdtpShape* cutout = magnet->Layer(TLayer::olImage);
  EXPECT_FLOAT_EQ(cutout->DocLeft(), 3);
  EXPECT_FLOAT_EQ(cutout->DocWidth(), 90);
  EXPECT_FLOAT_EQ(cutout->DocHeight(), 50);
  const TdtpMemoShape* text = magnet->TextLayer();
  EXPECT_EQ(text->Text(), u"your message goes here");
  EXPECT_EQ(magnet->FontPoints(), 10);
  EXPECT_TRUE(text->FontStyle() & fsBold);
  EXPECT_EQ(text->FontColor(), kColourBlack);
  EXPECT_FLOAT_EQ(text->DocWidth(), 45);
  EXPECT_EQ(magnet->RectLayer(TLayer::usrTextBG)->FillColor(), kColourGrey);
  EXPECT_EQ(magnet->Layer(TLayer::usrTextBG)->MasterAlpha(), 0u);
  // Typing the message flashes the box; it ends as see-through as the template made it.
  EXPECT_TRUE(magnet->TextBoxSeeThrough());
  magnet->FlashTextBox();
  magnet->EndTextFlash();
  EXPECT_EQ(magnet->Layer(TLayer::usrTextBG)->MasterAlpha(), 0u);
  EXPECT_EQ(magnet->RectLayer(TLayer::bgColour)->FillColor(), kColourWhite);
  for (const TLayer shown : {TLayer::olBorder, TLayer::olOutline, TLayer::olImage, TLayer::usrText,
                             TLayer::usrTextBG, TLayer::bgColour}) {
    EXPECT_TRUE(magnet->Layer(shown)->Visible()) << LayerName(shown);
  }
  EXPECT_FALSE(magnet->Layer(TLayer::usrImage)->Visible());
  EXPECT_TRUE(magnet->Border());

  // A wide or square picture gives a magnet 50 wide and 90 high.
  auto square = NewMagnet();
  square->SetBleedMargin(3);
  square->LoadTemplateImage(TLayer::olImage, PictureFile("square.png", 300, 300));
  EXPECT_EQ(square->TemplateWidth(), 50);
  EXPECT_EQ(square->TemplateHeight(), 90);
  EXPECT_FLOAT_EQ(square->Document().PageWidth(), 56);
  EXPECT_FLOAT_EQ(square->Document().PageHeight(), 96);
}

TEST_F(TemplateEditor, SizeMaskBorderAndTransparency) {
  auto magnet = NewMagnet();
  magnet->SetBleedMargin(3);
  magnet->LoadTemplateImage(TLayer::olImage, PictureFile("cut.png", 600, 800));
  // The cutout's zoom reference is its covering size; set one of 96 x 64 to follow the ratio.
  magnet->LayerObject(TLayer::olImage)->ZoomWidth = 96;
  magnet->LayerObject(TLayer::olImage)->ZoomHeight = 64;
  magnet->SetTemplateWidth(60);
  EXPECT_EQ(magnet->TemplateHeight(), 40);
  magnet->SetTemplateHeight(30);
  EXPECT_EQ(magnet->TemplateWidth(), 45);
  EXPECT_FLOAT_EQ(magnet->Document().PageWidth(), 96);  // only Preview lays out
  magnet->PreviewTemplate();
  EXPECT_FLOAT_EQ(magnet->Document().PageWidth(), 51);
  EXPECT_FLOAT_EQ(magnet->Document().PageHeight(), 36);
  magnet->KeepAspectRatio = false;
  magnet->SetTemplateWidth(70);
  EXPECT_EQ(magnet->TemplateHeight(), 30);

  magnet->ChooseActiveImage(TLayer::olMask);
  magnet->LoadActiveImage(PictureFile("mask.png", 20, 20));
  const TdtpShape* mask = magnet->Layer(TLayer::olMask);
  EXPECT_FLOAT_EQ(mask->DocWidth(), 51);
  EXPECT_FLOAT_EQ(mask->DocHeight(), 36);
  EXPECT_TRUE(mask->Visible());
  EXPECT_EQ(magnet->ActiveImage(), magnet->BitmapLayer(TLayer::olMask));
  magnet->SetViewMask(false);
  EXPECT_FALSE(mask->Visible());
  magnet->SetBorder(false);
  EXPECT_FALSE(magnet->Layer(TLayer::olOutline)->Visible());

  magnet->SetActiveAlpha(300);
  EXPECT_EQ(magnet->ActiveAlpha(), 255);
  magnet->SetActiveAlpha(-4);
  EXPECT_EQ(magnet->ActiveAlpha(), 0);
  EXPECT_EQ(mask->MasterAlpha(), 0u);

  // "clear template design": no choice, no zoom reference, the partner stays put.
  magnet->NewDesign();
  EXPECT_FALSE(magnet->ActiveImageChoice().has_value());
  magnet->KeepAspectRatio = true;
  magnet->SetTemplateHeight(12);
  EXPECT_EQ(magnet->TemplateWidth(), 70);
}

TEST_F(TemplateEditor, ASavedTemplateLoadsForTheUser) {
  auto author = NewMagnet();
  author->SetBleedMargin(2.5f);
  author->LoadTemplateImage(TLayer::olImage, PictureFile("cut.png", 600, 800));
  author->SetTemplateName("Fancy");
  author->SetTemplateType("clock face");
  const std::string path = TempFile("Fancy_Frame.fmt");
  author->SaveTemplate(path);
  EXPECT_EQ(author->TemplateFileName(), "Fancy_Frame.fmt");

  auto user = NewMagnet();
  user->OpenTemplate(path);
  EXPECT_EQ(user->TemplateName(), "Fancy Frame");
  EXPECT_EQ(user->TemplateType(), "clock face");
  EXPECT_FLOAT_EQ(user->BleedMargin(), 2.5f);
  EXPECT_EQ(user->TemplateWidth(), 90);
  EXPECT_EQ(user->TemplateHeight(), 50);
  EXPECT_EQ(user->ActiveImageChoice(), TLayer::usrImage);
  EXPECT_TRUE(user->TextBoxSeeThrough());
  EXPECT_EQ(user->TextLayer()->Text(), u"your message goes here");
  EXPECT_FALSE(user->TemplateEditing());
  user->OpenTemplate(path, true);
  EXPECT_TRUE(user->TemplateEditing());
}

}  // namespace
}  // namespace sw
