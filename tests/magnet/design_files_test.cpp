// Design and template files: what a saved design brings back, the remembered file names, and
// loads and saves that fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/exception.h"
#include "base/stream.h"
#include "magnet/magnet_design.h"
#include "magnet/merge_table.h"
#include "magnet_test_support.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/container/storage.h"

namespace sw {
namespace {

class DesignFiles : public test::MagnetFixture {
protected:
  // A template as the editor leaves it: 90 x 50, bleed 3, the layers shown, saved under name.
  std::string SavedTemplate(const std::string& name) {
    auto author = NewMagnet();
    author->SetBleedMargin(3);
    author->LayoutTemplateLayers(90, 50, 3);
    for (const TLayer layer : AllLayers()) author->Layer(layer)->SetVisible(layer != TLayer::olMask);
    author->Layer(TLayer::usrImage)->SetVisible(false);
    author->SetTemplateName("stored name");
    author->SetOuterMarginX(14.5f);
    const std::string path = TempFile(name);
    author->SaveTemplate(path);
    return path;
  }
};

TEST_F(DesignFiles, TemplateLoadNamesTheTemplateAfterItsFile) {
  const std::string path = SavedTemplate("Round_Magnet_50mm.FMT");
  auto magnet = NewMagnet();
  magnet->OpenTemplate(path);
  EXPECT_TRUE(magnet->DesignLoaded());
  EXPECT_EQ(magnet->TemplateName(), "Round Magnet 50mm");
  EXPECT_EQ(magnet->TemplateFileName(), FileNameOnly(path));
  EXPECT_EQ(magnet->DesignFileName(), "");
  EXPECT_FLOAT_EQ(magnet->Document().PageWidth(), 96);
  EXPECT_FLOAT_EQ(magnet->BleedMargin(), 3);
  EXPECT_FLOAT_EQ(magnet->PrintSettings().OuterMarginX, 14.5f);
  EXPECT_FALSE(magnet->ImageGroupAllowed());
  for (const TLayer layer : AllLayers()) ASSERT_NE(magnet->Layer(layer), nullptr) << LayerName(layer);
  EXPECT_FALSE(magnet->Document().Modified());
  // Saving right away writes the derived name and the template's own margins back.
  magnet->StoreDesignParams();
  EXPECT_EQ(magnet->Document().CurrentPage()->Name(),
            "\"template name=Round Magnet 50mm\",\"template type=basic\",\"template version=1\","
            "\"bleed margin=3\",\"innerX margin=0\",\"innerY margin=0\",\"outerX margin=14.5\","
            "\"outerY margin=23\",portrait=-1,precut=-1");
}

TEST_F(DesignFiles, ASavedDesignComesBackWhole) {
  const std::string templatePath = SavedTemplate("basic.fmt");
  auto magnet = NewMagnet();
  magnet->OpenTemplate(templatePath);
  magnet->SetMessageText(u"Hello\r\nfridge");
  magnet->SetMessageFont("DejaVu Sans", 14, false, true, 0x123456);
  magnet->MoveText(20, 8);
  magnet->RotateText(-30);
  magnet->SetTextBoxSeeThrough(true);
  magnet->SetBackgroundColour(0x00AA00);
  magnet->LoadUserPicture(PictureFile("photo.png", 600, 400, 0xFFCC0000));
  magnet->ZoomActiveImage(40);
  magnet->MoveActiveImage(5, 6);
  magnet->RotateActiveImage(15);
  magnet->SetInnerMarginX(1.5f);
  magnet->SetPortrait(false);
  magnet->SetPrecut(false);
  magnet->SetPaperWidth(200);
  magnet->EndTextFlash();
  const std::string designPath = TempFile("mine");  // no extension: ".fmd" is added
  const std::string folder = std::filesystem::path(designPath).parent_path().string();
  magnet->SetMerge(folder + "/lists/../lists/people.csv", "Photo");
  magnet->SaveDesign(designPath);
  // The merge file is kept relative to the design, so both can move together.
  EXPECT_NE(magnet->Document().CurrentPage()->Name().find("\"merge file=lists/people.csv\",\"merge picture=Photo\""),
            std::string::npos);
  EXPECT_EQ(magnet->DesignFileName(), FileNameOnly(designPath) + ".fmd");
  EXPECT_FALSE(magnet->Document().Modified());
  std::remove(templatePath.c_str());  // a design needs no template file

  auto reopened = NewMagnet();
  reopened->OpenDesign(designPath + ".fmd");
  EXPECT_EQ(reopened->DesignFileName(), FileNameOnly(designPath) + ".fmd");
  EXPECT_EQ(reopened->TemplateName(), "basic");  // the stored name
  const TdtpMemoShape* text = reopened->TextLayer();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Text(), u"Hello\r\nfridge");
  EXPECT_EQ(text->FontName(), "DejaVu Sans");
  EXPECT_EQ(reopened->FontText(), "DejaVu Sans - 14 point");
  EXPECT_EQ(text->FontColor(), 0x123456);
  EXPECT_FLOAT_EQ(text->DocAngle(), 30);
  EXPECT_TRUE(reopened->TextBoxSeeThrough());
  EXPECT_EQ(reopened->Layer(TLayer::usrTextBG)->MasterAlpha(), 0u);
  EXPECT_EQ(reopened->RectLayer(TLayer::bgColour)->FillColor(), 0x00AA00);
  const TdtpShape* picture = reopened->Layer(TLayer::usrImage);
  const TdtpShape* before = magnet->Layer(TLayer::usrImage);
  EXPECT_TRUE(picture->Visible());
  EXPECT_FLOAT_EQ(picture->DocLeft(), before->DocLeft());
  EXPECT_FLOAT_EQ(picture->DocTop(), before->DocTop());
  EXPECT_FLOAT_EQ(picture->DocWidth(), before->DocWidth());
  EXPECT_FLOAT_EQ(picture->DocAngle(), 345);
  EXPECT_EQ(reopened->ImageControls(TLayer::usrImage)->Zoom, 40);
  EXPECT_TRUE(reopened->ImageGroupAllowed());
  const TPrintSettings& s = reopened->PrintSettings();
  EXPECT_FLOAT_EQ(s.InnerMarginX, 1.5f);
  EXPECT_FALSE(s.Portrait);
  EXPECT_FALSE(s.Precut);
  EXPECT_EQ(s.PaperWidth, 200);  // paper other than A4 is kept (Letter templates need it)
  EXPECT_EQ(reopened->MergeFileName(), folder + "/lists/people.csv");
  EXPECT_EQ(reopened->MergePictureColumn(), "Photo");
  EXPECT_FALSE(reopened->Document().Modified());
}

TEST_F(DesignFiles, TheMergesFirstRowShowsInTheMessageAndNeverInTheFile) {
  auto magnet = NewMagnet();
  magnet->OpenTemplate(SavedTemplate("basic.fmt"));
  magnet->SetMessageText(u"Hi ${Name} ${Nobody} $$${Price}");
  const std::string designPath = TempFile("shown.fmd");
  magnet->SaveDesign(designPath);
  const TMergeTable table = TMergeTable::Parse("Name,Price\nJo,5\nAnn,6\n");
  magnet->ShowMergeRow(&table);
  TdtpMemoShape* text = magnet->TextLayer();
  // The lines as laid out without their spaces, however the box breaks them.
  auto lines = [](const TdtpMemoShape& memo) {
    std::u16string all;
    for (int i = 0; i < memo.SpanCount(); ++i) {
      for (const char16_t c : memo.SpanText(*memo.Span(i))) {
        if (c != u' ') all += c;
      }
    }
    return all;
  };
  // Only what shows changes: the stored text, the undo and the modified state stay.
  EXPECT_EQ(text->LaidText(), u"Hi Jo ${Nobody} $5");
  EXPECT_EQ(lines(*text), u"HiJo${Nobody}$5");
  EXPECT_EQ(text->Text(), u"Hi ${Name} ${Nobody} $$${Price}");
  EXPECT_FALSE(magnet->Document().Modified());

  // Editing in place edits and shows the fields; the row shows again after it.
  magnet->Document().SetEditShape(text);
  text->BeginEdit();
  EXPECT_EQ(text->LaidText(), text->Text());
  EXPECT_EQ(text->CharPositions().size(), text->Text().size() + 1);
  text->EndEdit(true);
  EXPECT_EQ(text->LaidText(), u"Hi Jo ${Nobody} $5");
  // A new message shows the row too.
  magnet->SetMessageText(u"Bye ${Name}");
  EXPECT_EQ(text->LaidText(), u"Bye Jo");
  magnet->SetMessageText(u"Hi ${Name} ${Nobody} $$${Price}");

  // The file holds the fields and no lines of the shown text; a design opened later shows the
  // row as well, and without a row the fields show.
  magnet->SaveDesign(designPath);
  auto reopened = NewMagnet();
  reopened->OpenDesign(designPath);
  EXPECT_EQ(reopened->TextLayer()->Text(), u"Hi ${Name} ${Nobody} $$${Price}");
  EXPECT_EQ(reopened->TextLayer()->LaidText(), reopened->TextLayer()->Text());
  magnet->OpenDesign(designPath);
  EXPECT_EQ(magnet->TextLayer()->LaidText(), u"Hi Jo ${Nobody} $5");
  magnet->ShowMergeRow(nullptr);
  EXPECT_EQ(magnet->TextLayer()->LaidText(), magnet->TextLayer()->Text());
  EXPECT_EQ(lines(*magnet->TextLayer()), u"Hi${Name}${Nobody}$$${Price}");
}

TEST_F(DesignFiles, AClearedPictureReopensHiddenAndResetsCentred) {
  auto magnet = NewMagnet();
  magnet->OpenTemplate(SavedTemplate("t.fmt"));
  magnet->LoadUserPicture(PictureFile("photo.png", 600, 400));
  magnet->MoveActiveImage(0, 0);
  magnet->ClearUserPicture();
  const std::string path = TempFile("cleared.fmd");
  magnet->SaveDesign(path);
  auto reopened = NewMagnet();
  reopened->OpenDesign(path);
  EXPECT_FALSE(reopened->Layer(TLayer::usrImage)->Visible());
  EXPECT_FALSE(reopened->ImageGroupAllowed());
  reopened->ResetActiveImage();
  const TdtpShape* picture = reopened->Layer(TLayer::usrImage);
  EXPECT_TRUE(picture->Visible());
  EXPECT_NEAR(picture->DocWidth(), 24, 1e-4);
  EXPECT_FLOAT_EQ(picture->DocLeft(), 36);
  EXPECT_FLOAT_EQ(picture->DocTop(), 20);
}

TEST_F(DesignFiles, AMissingFileChangesNothing) {
  auto magnet = NewMagnet();
  magnet->OpenTemplate(SavedTemplate("t.fmt"));
  magnet->SetMessageText(u"kept");
  TdtpShape* text = magnet->Layer(TLayer::usrText);
  try {
    magnet->OpenDesign(TempFile("nowhere.fmd"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot find file \""), std::string::npos);
  }
  EXPECT_TRUE(magnet->DesignLoaded());
  EXPECT_EQ(magnet->Layer(TLayer::usrText), text);
  EXPECT_EQ(magnet->TextLayer()->Text(), u"kept");
  EXPECT_EQ(magnet->DesignFileName(), "");
}

TEST_F(DesignFiles, AnUnreadableFileLeavesTheEmptyDesign) {
  auto magnet = NewMagnet();
  magnet->OpenTemplate(SavedTemplate("t.fmt"));
  const std::string path = TempFile("broken.fmd");
  std::ofstream(path, std::ios::binary) << "STOR but not really an archive";
  EXPECT_THROW(magnet->OpenDesign(path), Exception);
  EXPECT_FALSE(magnet->DesignLoaded());
  EXPECT_EQ(magnet->DesignFileName(), "");
  TdtpDocument& doc = magnet->Document();
  ASSERT_EQ(doc.ShapeCount(), 9);
  for (const TLayer layer : AllLayers()) EXPECT_EQ(magnet->Layer(layer), doc.Shapes(static_cast<int>(layer)));
  // Every control's operation is safe on it.
  magnet->MoveText(1, 1);
  magnet->CentreQuarterZoom();
  magnet->EndTextFlash();
}

// Archives damaged as a campaign of mutated templates found them: each is refused, naming the
// file and what is wrong, rather than loaded without the part it lost.
TEST_F(DesignFiles, DamagedArchivesAreRefusedNamingWhatIsWrong) {
  const std::string original = SavedTemplate("clock.fmt");
  {
    auto author = NewMagnet();
    author->OpenTemplate(original);
    author->LoadPictureInto(TLayer::olImage, PictureFile("face.png", 60, 60));
    author->SaveTemplate(original);
  }
  auto page = [&] {
    TsdStorage storage;
    storage.Open(original);
    TMemoryStream stream;
    storage.ReadStream("Page0001.xml", stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
  };
  auto damaged = [&](const std::string& name, const std::function<void(TsdStorage&)>& change) {
    TsdStorage storage;
    storage.Open(original);
    change(storage);
    const std::string path = TempFile(name);
    storage.SaveToFile(path);
    return path;
  };
  auto putPage = [](TsdStorage& storage, const std::string& text) {
    TMemoryStream stream;
    stream.WriteBuffer(text.data(), int64_t(text.size()));
    stream.SetPosition(0);
    storage.WriteStream("Page0001.xml", stream);
  };
  // The picture's stated size one byte larger than its data.
  std::string sizePlusOne = page();
  const size_t at = sizePlusOne.find("<Size>") + 6;
  const size_t end = sizePlusOne.find('<', at);
  sizePlusOne.replace(at, end - at, std::to_string(std::stoll(sizePlusOne.substr(at, end - at)) + 1));
  const struct {
    std::string file;
    const char* rule;
  } cases[] = {
      {damaged("size.fmt", [&](TsdStorage& s) { putPage(s, sizePlusOne); }), "Missing data in binary stream"},
      {damaged("nopage.fmt", [](TsdStorage& s) { s.DeleteStream("Page0001.xml"); }), "holds no page"},
      {damaged("emptypage.fmt", [&](TsdStorage& s) { putPage(s, "<Page Index=\"1\"/>"); }), "holds no layers"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto magnet = NewMagnet();
    try {
      magnet->OpenTemplate(c.file);
      ADD_FAILURE() << "loaded";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(FileNameOnly(c.file)), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.rule), std::string::npos) << e.what();
    }
    EXPECT_FALSE(magnet->DesignLoaded());
  }
  // The damaged layer is named as the file names it.
  auto magnet = NewMagnet();
  try {
    magnet->OpenTemplate(cases[0].file);
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("shape type=olImage"), std::string::npos) << e.what();
  }
}

TEST_F(DesignFiles, AFailedSaveKeepsTheDesignModifiedAndTheNames) {
  auto magnet = NewMagnet();
  const std::string templatePath = SavedTemplate("t.fmt");
  magnet->OpenTemplate(templatePath);
  const std::string good = TempFile("good.fmd");
  magnet->SaveDesign(good);
  EXPECT_FALSE(magnet->Document().Modified());
  EXPECT_THROW(magnet->SaveDesign(TempFile("no_such_folder") + "/x.fmd"), Exception);
  EXPECT_TRUE(magnet->Document().Modified());
  EXPECT_EQ(magnet->DesignFileName(), FileNameOnly(good));
  EXPECT_THROW(magnet->SaveTemplate(TempFile("no_such_folder") + "/x.fmt"), Exception);
  EXPECT_EQ(magnet->TemplateFileName(), FileNameOnly(templatePath));
}

}  // namespace
}  // namespace sw
