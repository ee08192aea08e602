#include "engine/page.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/document.h"
#include "engine_test_support.h"
#include "storage/formats/bmp_format.h"
#include "storage/formats/compressors.h"
#include "support/errors.h"

namespace sw {
namespace {

using test::LoadXml;
using test::XmlOf;

class PageTest : public ::testing::Test {
protected:
  void SetUp() override { test::RegisterClasses(); }
};

std::unique_ptr<TBitmap32> Solid(int32_t w, int32_t h, TColor32 c) {
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(w, h);
  b->Clear(c);
  return b;
}

TEST_F(PageTest, DefaultPageWritesOnlyTheCommonNode) {
  TdtpDocument doc;
  EXPECT_EQ(XmlOf(*doc.CurrentPage(), "Page"),
            "<Page><ClassName>TdtpPage</ClassName><Anchors><default>True</default>"
            "<LeftLock>True</LeftLock><TopLock>True</TopLock></Anchors><CurbRight>1</CurbRight>"
            "<CurbBottom>1</CurbBottom><DocHeight>297</DocHeight><DocWidth>210</DocWidth></Page>");
}

TEST_F(PageTest, OwnSettingsComeFirstAndRoundTrip) {
  TdtpDocument doc;
  TdtpPage* page = doc.CurrentPage();
  page->SetMarginLeft(15);
  page->SetBackgroundTiled(true);
  TNativeXml xml("Page");
  page->SaveToXml(*xml.Root());
  std::vector<std::string> names;
  for (int i = 0; i < xml.Root()->ChildCount(); ++i) names.push_back(xml.Root()->Child(i)->Name());
  const std::vector<std::string> expected = {
      "IsDefaultPage", "MarginLeft", "MarginTop", "MarginRight", "MarginBottom", "GridSize", "GridColor",
      "PageColor", "PageWidth", "PageHeight", "BackgroundTiled", "ClassName", "Anchors", "CurbRight",
      "CurbBottom", "DocHeight", "DocWidth"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(xml.Root()->ReadString("PageColor"), "$00FFFFFF");
  EXPECT_EQ(xml.Root()->ReadString("IsDefaultPage"), "False");

  TdtpDocument other;
  other.CurrentPage()->LoadFromXml(xml.Root());
  EXPECT_FALSE(other.CurrentPage()->IsDefaultPage());
  EXPECT_FLOAT_EQ(other.CurrentPage()->MarginLeft(), 15);
  EXPECT_TRUE(other.CurrentPage()->BackgroundTiled());
  EXPECT_EQ(XmlOf(*other.CurrentPage(), "Page"), XmlOf(*page, "Page"));
}

TEST_F(PageTest, BlackPageStaysBlack) {
  TdtpDocument doc;
  doc.CurrentPage()->SetPageColor(0);
  const std::string text = XmlOf(*doc.CurrentPage(), "Page");
  EXPECT_EQ(text.find("<PageColor>"), std::string::npos) << "0 is the written default";
  TdtpDocument other;
  LoadXml(*other.CurrentPage(), text);
  EXPECT_EQ(other.CurrentPage()->PageColor(), 0);
}

TEST_F(PageTest, MarginsLeaveTheDefaultsOnce) {
  TdtpDocument doc;
  TdtpPage* page = doc.CurrentPage();
  doc.SetDefaultMarginTop(12);
  EXPECT_FLOAT_EQ(page->MarginTop(), 12);
  page->SetMarginLeft(10);  // the effective value already
  EXPECT_TRUE(page->IsDefaultPage());
  page->SetMarginLeft(15);
  EXPECT_FALSE(page->IsDefaultPage());
  EXPECT_FLOAT_EQ(page->MarginLeft(), 15);
  EXPECT_FLOAT_EQ(page->MarginTop(), 12);
  doc.SetDefaultMarginTop(30);
  doc.SetDefaultPageColor(0x123456);
  EXPECT_FLOAT_EQ(page->MarginTop(), 12);
  EXPECT_EQ(page->PageColor(), 0xFFFFFF);
  // Without a document the page's own values count.
  TdtpPage alone;
  alone.SetMarginRight(3);
  EXPECT_FLOAT_EQ(alone.MarginRight(), 3);
  EXPECT_EQ(alone.ViewStyle(), vsNormal);
  EXPECT_FALSE(alone.ShowMargins());
}

TEST_F(PageTest, SnapsToTheGridHalvesToEven) {
  TdtpDocument doc;
  TdtpPage* page = doc.CurrentPage();
  const TFloatPoint a = page->SnapPoint({12.5f, 7.4f});
  EXPECT_FLOAT_EQ(a.X, 10);
  EXPECT_FLOAT_EQ(a.Y, 5);
  const TFloatPoint b = page->SnapPoint({17.5f, 0});
  EXPECT_FLOAT_EQ(b.X, 20);
  page->SetGridSize(0);
  EXPECT_FLOAT_EQ(page->SnapPoint({12.5f, 7.4f}).Y, 7.4f);
  // A shape snaps through its page, in its own frame.
  page->SetGridSize(5);
  auto s = std::make_unique<TdtpShape>();
  s->SetBounds(1, 1, 10, 10);
  TdtpShape* shape = page->Child(page->AddChild(std::move(s)));
  const TFloatPoint c = shape->SnapPoint({3, 3});
  EXPECT_FLOAT_EQ(c.X, 4);
  EXPECT_FLOAT_EQ(c.Y, 4);
}

TEST_F(PageTest, NamesItselfByNumber) {
  TdtpDocument doc;
  doc.SetPageCount(3);
  EXPECT_EQ(doc.Pages(2)->GetName(), "Page 3");
  doc.Pages(2)->SetName("cover");
  EXPECT_EQ(doc.Pages(2)->GetName(), "cover");
  EXPECT_EQ(TdtpPage().GetName(), "Page 0");
}

TEST_F(PageTest, NestedGroupsRoundTripByteForByte) {
  TdtpDocument doc;
  TdtpPage* page = doc.CurrentPage();
  page->SetName("design");
  TdtpShape* parent = page;
  for (int level = 0; level < 4; ++level) {
    auto group = std::make_unique<TdtpShape>();
    group->SetBoundsAndAngle(1.1f * static_cast<float>(level), 2, 30.3f, 40, 15.5f * static_cast<float>(level));
    group->SetGrouped(level % 2 == 0);
    group->SetMasterAlpha(200 - level);
    group->SetName("level " + std::to_string(level) + " & <more>");
    auto leaf = std::make_unique<TdtpShape>();
    leaf->SetBounds(0.1f, 0.2f, 0.3f, 0.4f);
    leaf->SetAnchors(anSizeXProp | anBottomLock);
    group->AddChild(std::move(leaf));
    parent = parent->Child(parent->AddChild(std::move(group)));
  }
  const std::string first = XmlOf(*page, "Page");
  TdtpDocument other;
  LoadXml(*other.CurrentPage(), first);
  const std::string second = XmlOf(*other.CurrentPage(), "Page");
  EXPECT_EQ(second, first);
  TdtpDocument third;
  LoadXml(*third.CurrentPage(), second);
  EXPECT_EQ(XmlOf(*third.CurrentPage(), "Page"), first);
}

TEST_F(PageTest, LoadedPictureIsNotReplacedByTheDefault) {
  TdtpDocument doc;
  doc.DefaultBackground().SetBitmap(Solid(2, 2, 0xFF0000FFu).get());
  TMemoryStream bmp;
  EncodeBmp(*Solid(3, 3, 0xFFFF0000u), bmp);
  const std::string file = TempFolder() + "/page_test_background_" + std::to_string(::getpid()) + ".bmp";
  bmp.SaveToFile(file);
  TdtpPage* page = doc.CurrentPage();
  page->OwnBackground().LoadFromFile(file);
  std::remove(file.c_str());
  EXPECT_FALSE(page->IsDefaultPage());
  ASSERT_NE(page->Background().Bitmap(), nullptr);
  EXPECT_EQ(page->Background().Bitmap()->Width(), 3);
  EXPECT_EQ(page->Background().Bitmap()->Pixel(0, 0), 0xFFFF0000u);

  // Leaving the defaults otherwise copies the default picture, so the page looks the same.
  doc.AddPage();
  TdtpPage* second = doc.Pages(1);
  second->SetGridColor(0x00FF00);
  ASSERT_NE(second->Background().Bitmap(), nullptr);
  EXPECT_EQ(second->Background().Bitmap()->Width(), 2);
}

TEST_F(PageTest, ReadsTheOlderPackedBackground) {
  auto picture = Solid(5, 3, 0xFF102030u);
  picture->SetPixel(1, 1, 0xFFFFFFFFu);
  TMemoryStream bmp;
  EncodeBmp(*picture, bmp);
  std::vector<uint8_t> file = bmp.TakeBytes();
  const size_t n = file.size(), s = n / 4;
  std::vector<uint8_t> planar(file);
  for (size_t i = 0; i < 4; ++i) {
    for (size_t j = 0; j < s; ++j) planar[i * s + j] = file[j * 4 + i];
  }
  const std::vector<uint8_t> packed = PackBuffer(planar.data(), n);
  TNativeXml xml("Page");
  xml.Root()->WriteBool("IsDefaultPage", false, true);
  xml.Root()->WriteFloat("PageWidth", 100);
  xml.Root()->WriteFloat("PageHeight", 50);
  TXmlNode* element = xml.Root()->NewChild("BackgroundImage");
  element->WriteInteger("CompressedSize", static_cast<int64_t>(packed.size() - 8));
  element->WriteInteger("SourceSize", static_cast<int64_t>(n));
  element->NewChild("Buffer")->WriteBinary(packed.data() + 8, static_cast<int64_t>(packed.size() - 8));

  TdtpDocument doc;
  TdtpPage* page = doc.CurrentPage();
  page->LoadFromXml(xml.Root());
  EXPECT_FLOAT_EQ(page->PageWidth(), 100);
  ASSERT_NE(page->Background().Bitmap(), nullptr);
  EXPECT_EQ(page->Background().Bitmap()->Width(), 5);
  EXPECT_EQ(page->Background().Bitmap()->Pixel(1, 1), 0xFFFFFFFFu);
}

TEST_F(PageTest, ThumbnailsTurnStaleWithChanges) {
  TdtpDocument doc;
  TdtpPage* page = doc.CurrentPage();
  auto thumb = Solid(4, 3, clWhite32);
  page->SetThumbnail(thumb.get());
  EXPECT_FALSE(page->ThumbnailStale());
  page->AddChild(std::make_unique<TdtpShape>());
  EXPECT_TRUE(page->ThumbnailStale());
  page->SetThumbnail(thumb.get());
  doc.SetDefaultPageColor(0);
  EXPECT_TRUE(page->ThumbnailStale()) << "the page shows the default colour";
}

}  // namespace
}  // namespace sw
