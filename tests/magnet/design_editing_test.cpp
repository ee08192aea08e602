// The design tab's operations: message, box flash, rotation, font, background colour and the
// user's picture.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/exception.h"
#include "magnet/magnet_design.h"
#include "magnet_test_support.h"
#include "platform/headless_timer.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/formats/jpeg_format.h"

namespace sw {
namespace {

class DesignEditing : public test::MagnetFixture {
protected:
  // A 96 x 56 page (90 x 50 magnet, bleed 3) with the message at its reset place.
  std::unique_ptr<TMagnetDesign> LaidOut(const TServices& services) {
    auto magnet = std::make_unique<TMagnetDesign>(services);
    magnet->SetBleedMargin(3);
    magnet->LayoutTemplateLayers(90, 50, 3);
    return magnet;
  }
  std::unique_ptr<TMagnetDesign> LaidOut() { return LaidOut(Services()); }

  static TFloatPoint Centre(const TdtpShape& shape) {
    return shape.LocalToParent({shape.DocWidth() / 2, shape.DocHeight() / 2});
  }
};

TEST_F(DesignEditing, TypingFlashesTheBoxFor21TicksOfTheTimer) {
  THeadlessTimerService timers;
  TServices services = Services();
  services.Timers = &timers;
  auto magnet = LaidOut(services);
  const TdtpPolygonShape* box = magnet->RectLayer(TLayer::usrTextBG);
  magnet->SetMessageText(u"Hi");
  magnet->FlashTextBox();  // the key press
  EXPECT_EQ(magnet->TextLayer()->Text(), u"Hi");
  EXPECT_EQ(box->MasterAlpha(), 127u);
  EXPECT_EQ(box->FillColor(), kColourGrey);
  timers.Advance(2000);  // 20 ticks: still grey
  EXPECT_TRUE(magnet->Flashing());
  EXPECT_EQ(box->MasterAlpha(), 127u);
  timers.Advance(100);  // the 21st ends it
  EXPECT_FALSE(magnet->Flashing());
  EXPECT_EQ(box->MasterAlpha(), 255u);
  EXPECT_EQ(box->FillColor(), kColourWhite);

  // See-through: the flash ends transparent; ticking the box during a flash holds at its end.
  magnet->SetTextBoxSeeThrough(true);
  EXPECT_EQ(box->MasterAlpha(), 0u);
  magnet->MoveText(20, 10);
  EXPECT_EQ(box->MasterAlpha(), 127u);
  timers.Advance(1500);
  magnet->SizeText(30, 20);  // a further edit restarts the count
  timers.Advance(2000);
  EXPECT_TRUE(magnet->Flashing());
  timers.Advance(100);
  EXPECT_EQ(box->MasterAlpha(), 0u);
  EXPECT_EQ(timers.ActiveCount(), 1);  // only the document's own timer runs on

  // A save during a flash stores the box as the check box says, never grey.
  magnet->SetTextBoxSeeThrough(false);
  magnet->MoveText(21, 10);
  magnet->StoreDesignParams();
  EXPECT_FALSE(magnet->Flashing());
  EXPECT_EQ(box->MasterAlpha(), 255u);
  EXPECT_EQ(box->FillColor(), kColourWhite);
}

TEST_F(DesignEditing, MessagePlacementKeepsTheBoxOnTheText) {
  auto magnet = LaidOut();
  const TdtpShape* text = magnet->Layer(TLayer::usrText);
  const TdtpShape* box = magnet->Layer(TLayer::usrTextBG);
  auto sameFrame = [&] {
    EXPECT_FLOAT_EQ(box->DocLeft(), text->DocLeft());
    EXPECT_FLOAT_EQ(box->DocTop(), text->DocTop());
    EXPECT_FLOAT_EQ(box->DocWidth(), text->DocWidth());
    EXPECT_FLOAT_EQ(box->DocHeight(), text->DocHeight());
    EXPECT_FLOAT_EQ(box->DocAngle(), text->DocAngle());
  };
  magnet->MoveText(10, 12);
  magnet->SizeText(40, 30);
  sameFrame();
  const TFloatPoint centre = Centre(*text);
  magnet->RotateText(FoldRotateSpin(181));  // -179 turns to 179
  EXPECT_FLOAT_EQ(text->DocAngle(), 179);
  EXPECT_NEAR(Centre(*text).X, centre.X, 1e-3);
  EXPECT_NEAR(Centre(*text).Y, centre.Y, 1e-3);
  sameFrame();
  magnet->RotateText(FoldRotateSpin(-180));  // 180
  EXPECT_FLOAT_EQ(text->DocAngle(), 180);
  EXPECT_EQ(magnet->TextControls()->Rotate, -180);
  magnet->RotateText(90);
  EXPECT_EQ(magnet->TextControls()->Rotate, 90);
  EXPECT_FLOAT_EQ(text->DocAngle(), 270);
  // The position point moved with the turn; the controls show it rounded.
  EXPECT_EQ(magnet->TextControls()->Left, Round(text->DocLeft()));
  // "reset" returns to the recorded geometry.
  magnet->ResetText();
  EXPECT_FLOAT_EQ(text->DocLeft(), 26);
  EXPECT_FLOAT_EQ(text->DocAngle(), 0);
  sameFrame();
  const TTextControls c = *magnet->TextControls();
  EXPECT_EQ(c.Width, 45);
  EXPECT_EQ(c.Height, 25);
  EXPECT_EQ(c.Top, 16);
}

TEST_F(DesignEditing, FontAndColours) {
  auto magnet = LaidOut();
  TdtpMemoShape* text = magnet->TextLayer();
  text->SetFontName("Arial");
  text->SetFontHeight(4);
  EXPECT_EQ(magnet->FontPoints(), 11);  // 11.34 points
  EXPECT_EQ(magnet->FontText(), "Arial - 11 point");
  magnet->SetMessageFont("DejaVu Sans", 10, true, false, 0x0000FF);
  EXPECT_NEAR(text->FontHeight(), 10 * 25.4 / 72, 1e-5);
  EXPECT_EQ(magnet->FontText(), "DejaVu Sans - 10 point");
  EXPECT_TRUE(text->FontStyle() & fsBold);
  EXPECT_FALSE(text->FontStyle() & fsItalic);
  EXPECT_EQ(text->FontColor(), 0x0000FF);
  magnet->SetBackgroundColour(0x00FF00);
  EXPECT_EQ(magnet->RectLayer(TLayer::bgColour)->FillColor(), 0x00FF00);
  EXPECT_TRUE(magnet->Document().Modified());
}

TEST_F(DesignEditing, LoadedPictureCoversThePageThenComesAtAQuarter) {
  auto magnet = LaidOut();
  // 600 x 400 pixels has the proportions of 3000 x 2000: cover size 96 x 64 on a 96 x 56 page.
  const std::string file = PictureFile("photo.png", 600, 400);
  magnet->LoadUserPicture(file);
  const TdtpBitmapShape* picture = magnet->BitmapLayer(TLayer::usrImage);
  EXPECT_TRUE(picture->Visible());
  EXPECT_TRUE(magnet->ImageGroupAllowed());
  const TDesignObject& entry = *magnet->LayerObject(TLayer::usrImage);
  EXPECT_FLOAT_EQ(entry.ZoomWidth, 96);
  EXPECT_NEAR(entry.ZoomHeight, 64, 1e-4);
  EXPECT_FLOAT_EQ(entry.Width, 96);  // recorded at the covering size
  EXPECT_NEAR(picture->DocWidth(), 24, 1e-4);
  EXPECT_NEAR(picture->DocHeight(), 16, 1e-4);
  EXPECT_FLOAT_EQ(picture->DocLeft(), 36);
  EXPECT_FLOAT_EQ(picture->DocTop(), 20);
  EXPECT_EQ(magnet->ImageControls(TLayer::usrImage)->Zoom, 25);

  magnet->ZoomActiveImage(0);
  EXPECT_EQ(picture->DocWidth(), 0);
  EXPECT_EQ(picture->DocHeight(), 0);
  EXPECT_EQ(magnet->ImageControls(TLayer::usrImage)->Zoom, 0);
  magnet->ZoomActiveImage(50);
  EXPECT_FLOAT_EQ(picture->DocLeft(), 36);  // zoom keeps the position point
  magnet->MoveActiveImage(-5, 7);
  magnet->RotateActiveImage(-90);
  EXPECT_FLOAT_EQ(picture->DocAngle(), 90);
  EXPECT_EQ(magnet->ImageControls(TLayer::usrImage)->Rotate, -90);

  // "clear image" hides it; "reset" brings it back at 25 %, centred.
  magnet->ClearUserPicture();
  EXPECT_FALSE(picture->Visible());
  magnet->ResetActiveImage();
  EXPECT_TRUE(picture->Visible());
  EXPECT_NEAR(picture->DocWidth(), 24, 1e-4);
  EXPECT_FLOAT_EQ(picture->DocLeft(), 36);
  EXPECT_FLOAT_EQ(picture->DocTop(), 20);

  // A tall picture grows in width instead; the picture's proportions are kept.
  magnet->LoadAndFitPicture(TLayer::usrImage, PictureFile("tall.png", 100, 400));
  EXPECT_FLOAT_EQ(picture->DocWidth(), 96);
  EXPECT_FLOAT_EQ(picture->DocHeight() / picture->DocWidth(), 4.0f);
}

TEST_F(DesignEditing, AFailedPictureLoadChangesNothing) {
  auto magnet = LaidOut();
  TdtpShape* picture = magnet->Layer(TLayer::usrImage);
  picture->SetBounds(1, 2, 3, 4);
  try {
    magnet->LoadAndFitPicture(TLayer::usrImage, TempFile("missing.png"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("File does not exist: "), std::string::npos);
  }
  EXPECT_FLOAT_EQ(picture->DocLeft(), 1);
  EXPECT_FLOAT_EQ(picture->DocWidth(), 3);
  EXPECT_FALSE(picture->Visible());

  // Files a user may choose that are no picture: each is refused with what it is, and the
  // picture the layer had stays, bytes and all.
  auto* bitmap = static_cast<TdtpBitmapShape*>(picture);
  magnet->LoadPictureInto(TLayer::usrImage, PictureFile("good.png", 40, 30, 0xFF00FF00u));
  const std::vector<uint8_t> good = bitmap->Resource().Data().Bytes();
  const std::vector<uint8_t> png = ReadFileBytes(TempFile("good.png"));
  std::ofstream(TempFile("empty.png"));
  std::filesystem::create_directories(TempFile("folder.png"));
  ASSERT_EQ(::mkfifo(TempFile("pipe.png").c_str(), 0644), 0);
  std::ofstream(TempFile("words.png")) << "no picture at all, just words";
  TMemoryStream(std::vector<uint8_t>(png.begin(), png.begin() + long(png.size() / 2))).SaveToFile(TempFile("half.png"));
  // Large files cost nothing here (sparse), and are refused before they are read.
  TMemoryStream(png).SaveToFile(TempFile("huge.png"));
  std::filesystem::resize_file(TempFile("huge.png"), std::uintmax_t(1536) << 20);
  std::ofstream(TempFile("zeros.png")) << "not a picture";
  std::filesystem::resize_file(TempFile("zeros.png"), std::uintmax_t(300) << 20);
  const std::pair<const char*, const char*> refused[] = {
      {"empty.png", "is empty"},
      {"folder.png", "is a folder"},
      {"pipe.png", "is not a plain file"},
      {"words.png", "no known picture format"},
      {"half.png", "PNG"},
      {"huge.png", "a picture file may have at most"},
      {"zeros.png", "no known picture format"},
  };
  for (const auto& [name, why] : refused) {
    SCOPED_TRACE(name);
    try {
      magnet->LoadPictureInto(TLayer::usrImage, TempFile(name));
      ADD_FAILURE() << "loaded";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    EXPECT_EQ(bitmap->Resource().Data().Bytes(), good);
    ASSERT_NE(bitmap->Resource().Bitmap(), nullptr);
    EXPECT_EQ(bitmap->Resource().Bitmap()->Pixel(0, 0), 0xFF00FF00u);
  }

  // A picture under another format's name is read by its content; a JPEG cut short loads what
  // it holds, with a warning.
  TMemoryStream(png).SaveToFile(TempFile("named.jpg"));
  magnet->LoadPictureInto(TLayer::usrImage, TempFile("named.jpg"));
  EXPECT_EQ(bitmap->Resource().Bitmap()->Width(), 40);
  EXPECT_EQ(magnet->PictureWarning(), "");
  TBitmap32 photo;
  photo.SetSize(64, 64);
  // Noise, so that the image data, not the tables, makes most of the file.
  uint32_t noise = 12345;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x) photo.SetPixel(x, y, 0xFF000000u | ((noise = noise * 1103515245u + 12345u) >> 8));
  TMemoryStream jpeg;
  EncodeJpeg(photo, jpeg, 90);
  const std::vector<uint8_t> whole = jpeg.Bytes();
  TMemoryStream(std::vector<uint8_t>(whole.begin(), whole.begin() + long(whole.size() * 2 / 3))).SaveToFile(TempFile("cut.jpg"));
  magnet->LoadPictureInto(TLayer::usrImage, TempFile("cut.jpg"));
  EXPECT_EQ(bitmap->Resource().Bitmap()->Width(), 64);
  EXPECT_NE(magnet->PictureWarning().find("cut.jpg"), std::string::npos) << magnet->PictureWarning();
  EXPECT_NE(magnet->PictureWarning().find("ends early"), std::string::npos) << magnet->PictureWarning();
  // A layer that is not a bitmap layer is no target for pictures.
  magnet->SetActiveImage(TLayer::usrText);
  EXPECT_EQ(magnet->ActiveImageLayer(), TLayer::usrImage);
}

TEST_F(DesignEditing, AspectPartnerNeverDividesByZero) {
  auto magnet = LaidOut();
  TDesignObject& entry = *magnet->LayerObject(TLayer::usrImage);
  // No zoom reference (as after "clear template design"): the partner stays.
  EXPECT_FALSE(magnet->HeightForWidth(60).has_value());
  EXPECT_FALSE(magnet->WidthForHeight(30).has_value());
  entry.ZoomWidth = 96;
  entry.ZoomHeight = 64;
  EXPECT_EQ(magnet->HeightForWidth(60), 40);
  EXPECT_EQ(magnet->WidthForHeight(30), 45);
  entry.ZoomHeight = 0;
  EXPECT_FALSE(magnet->WidthForHeight(30).has_value());
  entry.ZoomWidth = 0;
  magnet->ZoomActiveImage(25);  // no reference: the size becomes 0, nothing divides
  EXPECT_EQ(magnet->Layer(TLayer::usrImage)->DocWidth(), 0);
  EXPECT_EQ(magnet->ImageControls(TLayer::usrImage)->Zoom, 100);
}

}  // namespace
}  // namespace sw
