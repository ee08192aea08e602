// The document archive: the streams a document writes and reads, lazy pages, what a save rewrites,
// page deletion, and archives that are damaged in every way a file can be.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "engine/document.h"
#include "engine_test_support.h"
#include "platform/headless_printer.h"
#include "platform/headless_window_host.h"
#include "storage/formats/bmp_format.h"
#include "storage/resources/bitmap_resource.h"
#include "support/errors.h"

namespace sw {
namespace {

namespace fs = std::filesystem;
using test::ErrorOf;
using test::kNoError;

using TStreams = std::map<std::string, std::string>;

std::string Get(TsdStorage& storage, const std::string& name) {
  TMemoryStream s;
  storage.ReadStream(name, s);
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

void Put(TsdStorage& storage, const std::string& name, const std::string& bytes) {
  TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  storage.WriteStream(name, s);
}

// Every stream of the storage by name.
TStreams StreamsOf(TsdStorage& storage) {
  TStreams all;
  for (int i = 0; i < storage.StreamCount(); ++i) all[storage.StreamName(i)] = Get(storage, storage.StreamName(i));
  return all;
}

TStreams StreamsOfBytes(const std::string& bytes) {
  TsdStorage storage;
  TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  storage.LoadFromStream(m);
  return StreamsOf(storage);
}

// The compact file of a storage holding these streams.
std::string ArchiveOf(const TStreams& streams) {
  TsdStorage storage;
  for (const auto& [name, bytes] : streams) Put(storage, name, bytes);
  TMemoryStream out;
  storage.SaveToStream(out);
  return std::string(out.Bytes().begin(), out.Bytes().end());
}

std::string Saved(TdtpDocument& doc) {
  TMemoryStream out;
  doc.SaveToStream(out);
  return std::string(out.Bytes().begin(), out.Bytes().end());
}

void Load(TdtpDocument& doc, const std::string& bytes) {
  TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  doc.LoadFromStream(m);
}

std::string PageXml(const std::string& body, int index = 1) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Page Index=\"" + std::to_string(index) + "\">" + body +
         "</Page>";
}

std::string ShapeXml(const std::string& name) {
  return "<Shape><ClassName>TdtpShape</ClassName><Name>" + name +
         "</Name><DocLeft>5</DocLeft><DocTop>6</DocTop><DocWidth>20</DocWidth><DocHeight>10</DocHeight></Shape>";
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A bitmap file image of the given stated size with only a few bytes of pixels behind it.
std::string BmpHeader(int32_t width, int32_t height) {
  std::string b(54, '\0');
  auto put32 = [&b](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, 54 + 16);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  b[26] = 1;
  b[28] = 24;
  return b + std::string(16, '\x7f');
}

std::string SmallBmp(int32_t width, int32_t height, TColor32 color) {
  TBitmap32 bitmap;
  bitmap.SetSize(width, height);
  bitmap.Clear(color);
  TMemoryStream out;
  EncodeBmp(bitmap, out);
  return std::string(out.Bytes().begin(), out.Bytes().end());
}

class ArchiveTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::RegisterClasses();
    dir_ = TempFolder() + "/sw_archive_" + std::to_string(::getpid());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static TdtpShape* Add(TdtpDocument& doc, const std::string& name) {
    auto s = std::make_unique<TdtpShape>();
    s->SetBounds(10, 10, 20, 20);
    s->SetName(name);
    return doc.Shapes(doc.AddShape(std::move(s)));
  }

  // A document of count pages, page n holding one shape named "shape n".
  static void Build(TdtpDocument& doc, int count) {
    doc.SetPageCount(count);
    for (int i = 0; i < count; ++i) {
      doc.SetCurrentPageIndex(i);
      Add(doc, "shape " + std::to_string(i + 1));
    }
    doc.SetCurrentPageIndex(0);
  }

  static std::string ShapeNameOn(TdtpDocument& doc, int page) {
    doc.SetCurrentPageIndex(page);
    return doc.ShapeCount() > 0 ? doc.Shapes(0)->Name() : "(none)";
  }

  std::string dir_;
};

// --- Round trips ---

TEST_F(ArchiveTest, WriteReadWriteGivesTheSameStreams) {
  TdtpDocument doc;
  Build(doc, 3);
  doc.Pages(1)->SetMarginLeft(7);
  doc.Pages(1)->SetPageColor(0x123456);
  doc.SetDefaultGridSize(2.5f);
  doc.SetDefaultPageColor(0);
  doc.HandleColor = 0x00FF00;
  doc.Quality = 4;
  doc.SnapToGrid = true;
  doc.StepAngle = 15;
  // A picture kept in a stream of its own beside the page text.
  TBitmap32 picture;
  picture.SetSize(16, 8);
  picture.Clear(0xFF336699u);
  TdtpBitmapResource& background = doc.Pages(2)->OwnBackground();
  doc.Pages(2)->LeaveDefaults();
  background.SetStorageKind(TdtpStorageKind::Archive);
  background.SetBitmap(&picture);
  const std::string first = Saved(doc);
  const TStreams written = StreamsOfBytes(first);
  EXPECT_EQ(written.count("Index.xml"), 1u);
  EXPECT_EQ(written.count("Page0003.xml"), 1u);
  EXPECT_EQ(written.count("Thumb0003.bmp"), 1u);
  ASSERT_FALSE(background.ArchiveName().empty());
  EXPECT_EQ(written.count(background.ArchiveName()), 1u) << "the picture has a stream of its own";

  TdtpDocument back;
  Load(back, first);
  // Read every page and mark it changed, so that the second save writes everything anew.
  for (int i = 0; i < back.PageCount(); ++i) {
    back.SetCurrentPageIndex(i);
    back.Pages(i)->SetChanged(true);
  }
  back.SetCurrentPageIndex(0);
  const TStreams rewritten = StreamsOfBytes(Saved(back));
  ASSERT_EQ(rewritten.size(), written.size());
  for (const auto& [name, bytes] : written) {
    ASSERT_EQ(rewritten.count(name), 1u) << name;
    EXPECT_EQ(rewritten.at(name), bytes) << name;
  }
  EXPECT_EQ(ShapeNameOn(back, 2), "shape 3");
  ASSERT_NE(back.Pages(2)->OwnBackground().Bitmap(), nullptr);
  EXPECT_EQ(back.Pages(2)->OwnBackground().Bitmap()->Pixel(3, 3), 0xFF336699u);
}

TEST_F(ArchiveTest, StreamsHaveTheirLayouts) {
  TdtpDocument doc;
  Build(doc, 2);
  const TStreams s = StreamsOfBytes(Saved(doc));
  const std::string index = s.at("Index.xml");
  EXPECT_EQ(index.compare(0, 3, "\xEF\xBB\xBF"), 0) << "UTF-8 with byte-order mark";
  EXPECT_TRUE(Contains(index, "encoding=\"UTF-8\""));
  EXPECT_TRUE(Contains(index, "\r\n  <DefaultPageWidth>")) << "the index is readable";
  const std::string page = s.at("Page0002.xml");
  EXPECT_TRUE(Contains(page, "<Page Index=\"2\">")) << page;
  const size_t start = page.find("<Page"), end = page.find("</Page>");
  ASSERT_NE(end, std::string::npos);
  EXPECT_FALSE(Contains(page.substr(start, end - start), "\n")) << "page texts are compact";
  // Thumbnails: 24-bit Windows bitmaps of the thumbnail size.
  const std::string thumb = s.at("Thumb0001.bmp");
  ASSERT_GE(thumb.size(), 54u);
  EXPECT_EQ(thumb.substr(0, 2), "BM");
  auto u32 = [&thumb](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(thumb[at]) | static_cast<uint8_t>(thumb[at + 1]) << 8 |
                                 static_cast<uint8_t>(thumb[at + 2]) << 16 | static_cast<uint8_t>(thumb[at + 3]) << 24);
  };
  EXPECT_EQ(u32(18), 80u);
  EXPECT_EQ(u32(22), 60u);
  EXPECT_EQ(static_cast<uint8_t>(thumb[28]), 24);
  EXPECT_EQ(thumb.size(), 54u + 240u * 60u);
  TBitmap32 decoded;
  DecodeBmp(reinterpret_cast<const uint8_t*>(thumb.data()), thumb.size(), decoded);
  const TBitmap32* original = doc.Pages(0)->Thumbnail();
  ASSERT_NE(original, nullptr);
  for (int y = 0; y < 60; y += 7) {
    for (int x = 0; x < 80; x += 5) EXPECT_EQ(decoded.Pixel(x, y) & 0xFFFFFFu, original->Pixel(x, y) & 0xFFFFFFu);
  }
}

TEST_F(ArchiveTest, HandBuiltArchiveLoadsWithTheReaderDefaults) {
  TdtpDocument doc;
  Load(doc, ArchiveOf({{"Index.xml", "<Document/>"},
                       {"Page0001.xml", PageXml(ShapeXml("a") + ShapeXml("b"))},
                       {"Page0002.xml", PageXml("", 2)}}));
  EXPECT_EQ(doc.PageCount(), 2);
  EXPECT_EQ(doc.CurrentPageIndex(), 0);
  EXPECT_FALSE(doc.Modified());
  ASSERT_EQ(doc.ShapeCount(), 2);
  EXPECT_EQ(doc.Shapes(1)->Name(), "b");
  EXPECT_FLOAT_EQ(doc.Shapes(0)->DocLeft(), 5);
  EXPECT_DOUBLE_EQ(doc.RenderDpm(), 150 / 25.4);
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), 150 / 25.4);
  EXPECT_TRUE(doc.StoreThumbnails);
  EXPECT_FALSE(doc.ShowMargins()) << "the reader's default, not the constructor's";
  EXPECT_EQ(doc.Quality, 0);
  EXPECT_EQ(doc.HandleColor, 0);
  EXPECT_FLOAT_EQ(doc.DefaultPageWidth(), 210);
  EXPECT_FLOAT_EQ(doc.DefaultPageHeight(), 297);
  EXPECT_FLOAT_EQ(doc.DefaultMarginBottom(), 10);
  EXPECT_FLOAT_EQ(doc.DefaultGridSize(), 5);
  EXPECT_EQ(doc.DefaultGridColor(), 0xFFFFC0);
  EXPECT_EQ(doc.DefaultPageColor(), 0xFFFFFF);
  EXPECT_EQ(doc.ThumbnailWidth, 80);
  EXPECT_EQ(doc.ThumbnailHeight, 60);
  EXPECT_FLOAT_EQ(doc.PageWidth(), 0) << "a page text without size gives a page without area";
}

TEST_F(ArchiveTest, SettingsTheReaderWouldMisreadAreWritten) {
  TdtpDocument doc;
  doc.HandleColor = 0;
  doc.Quality = 0;
  doc.SetShowMargins(false);
  doc.StoreThumbnails = false;
  const std::string index = StreamsOfBytes(Saved(doc)).at("Index.xml");
  for (const char* name : {"DefaultPageWidth", "DefaultPageHeight", "DefaultMarginLeft", "DefaultMarginTop",
                           "DefaultMarginRight", "DefaultMarginBottom", "DefaultGridSize", "DefaultGridColor",
                           "DefaultPageColor", "RenderDpm", "ScreenDpm", "ThumbnailWidth", "ThumbnailHeight"}) {
    EXPECT_TRUE(Contains(index, std::string("<") + name + ">")) << name;
  }
  EXPECT_TRUE(Contains(index, "<StoreThumbnails>False</StoreThumbnails>")) << index;
  for (const char* name : {"HandleColor", "StretchFilter", "ShowMargins", "ReadOnly", "SnapToGrid", "ViewStyle"}) {
    EXPECT_FALSE(Contains(index, std::string("<") + name + ">")) << name << " equals 0, as when missing";
  }

  // Zero and black values, whose absence reads as something else.
  doc.SetDefaultPageColor(0);
  doc.SetDefaultGridColor(0);
  doc.SetDefaultGridSize(0);
  doc.SetDefaultMarginTop(0);
  TdtpDocument back;
  Load(back, Saved(doc));
  EXPECT_FALSE(back.StoreThumbnails);
  EXPECT_EQ(back.DefaultPageColor(), 0);
  EXPECT_EQ(back.DefaultGridColor(), 0);
  EXPECT_FLOAT_EQ(back.DefaultGridSize(), 0);
  EXPECT_FLOAT_EQ(back.DefaultMarginTop(), 0);
  EXPECT_FLOAT_EQ(back.DefaultMarginLeft(), 10);
}

TEST_F(ArchiveTest, SettingsAFileCannotMeanReadAsTheDefaults) {
  TdtpDocument doc;
  Load(doc, ArchiveOf({{"Index.xml",
                        "<Document><RenderDpm>-3</RenderDpm><ScreenDpm>0</ScreenDpm><StepAngle>nan</StepAngle>"
                        "<DefaultPageWidth>0</DefaultPageWidth><DefaultPageHeight>-297</DefaultPageHeight>"
                        "<DefaultMarginLeft>-1</DefaultMarginLeft><DefaultMarginTop>1e300</DefaultMarginTop>"
                        "<DefaultGridSize>inf</DefaultGridSize><StretchFilter>7</StretchFilter>"
                        "<HotzoneScrolling>-1</HotzoneScrolling><ViewStyle>9</ViewStyle>"
                        "<ThumbnailWidth>0</ThumbnailWidth><ThumbnailHeight>100000</ThumbnailHeight></Document>"},
                       {"Page0001.xml", PageXml("")}}));
  EXPECT_DOUBLE_EQ(doc.RenderDpm(), kDefaultDpm);
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), kDefaultDpm);
  EXPECT_FLOAT_EQ(doc.StepAngle, 0);
  EXPECT_FLOAT_EQ(doc.DefaultPageWidth(), 210);
  EXPECT_FLOAT_EQ(doc.DefaultPageHeight(), 297);
  EXPECT_FLOAT_EQ(doc.DefaultMarginLeft(), 10);
  EXPECT_FLOAT_EQ(doc.DefaultMarginTop(), 10);
  EXPECT_FLOAT_EQ(doc.DefaultGridSize(), 5);
  EXPECT_EQ(doc.Quality, 0);
  EXPECT_EQ(doc.HotzoneScrolling, hzsNoScroll);
  EXPECT_EQ(doc.ViewStyle, vsPrintLayout);
  EXPECT_EQ(doc.ThumbnailWidth, 80);
  EXPECT_EQ(doc.ThumbnailHeight, 1024) << "a thumbnail is bounded";

  // Within range, every value is taken as it stands.
  TdtpDocument fine;
  Load(fine, ArchiveOf({{"Index.xml",
                         "<Document><StretchFilter>6</StretchFilter><ViewStyle>1</ViewStyle>"
                         "<HotzoneScrolling>2</HotzoneScrolling><DefaultMarginLeft>0</DefaultMarginLeft>"
                         "<RenderDpm>11.811</RenderDpm></Document>"}}));
  EXPECT_EQ(fine.Quality, 6);
  EXPECT_EQ(fine.ViewStyle, vsNormal);
  EXPECT_EQ(static_cast<int>(fine.HotzoneScrolling), 2);
  EXPECT_FLOAT_EQ(fine.DefaultMarginLeft(), 0);
  EXPECT_NEAR(fine.RenderDpm(), 11.811, 1e-9);
  EXPECT_EQ(fine.PageCount(), 0);
}

TEST_F(ArchiveTest, PagesOfZeroSizeAreNeitherPrintedNorFitted) {
  TdtpDocument doc;
  Load(doc, ArchiveOf({{"Index.xml", "<Document/>"},
                       {"Page0001.xml", PageXml("<IsDefaultPage>False</IsDefaultPage>")},
                       {"Page0002.xml", PageXml("<DocWidth>100</DocWidth><DocHeight>50</DocHeight>", 2)}}));
  EXPECT_FLOAT_EQ(doc.PageWidth(), 0);
  THeadlessWindowHost host(400, 300);
  host.SetClient(&doc);
  doc.SetWindowHost(&host);
  const double before = doc.ScreenDpm();
  doc.FitPage();
  EXPECT_TRUE(std::isfinite(doc.ScreenDpm()));
  EXPECT_DOUBLE_EQ(doc.ScreenDpm(), before);
  THeadlessPrinter printer(TPrinterSheet{413, 585, 0, 0, 50, 50});
  doc.PrintPageList({0, 1}, printer);
  EXPECT_EQ(printer.SheetCount(), 1) << "only the page with an area";
  doc.SetWindowHost(nullptr);
}

TEST_F(ArchiveTest, EventsAndProgress) {
  TdtpDocument doc;
  Build(doc, 2);
  doc.OnSaveAdditionalInfo = [](TdtpDocument*, TXmlNode* node) { node->WriteString("Template", "round"); };
  std::vector<std::pair<int32_t, float>> saved;
  doc.OnProgress = [&](TdtpDocument*, TdtpProgressType type, int32_t count, int32_t total, float fraction) {
    EXPECT_EQ(type, ptSave);
    EXPECT_EQ(total, 2);
    saved.emplace_back(count, fraction);
  };
  const std::string bytes = Saved(doc);
  const std::vector<std::pair<int32_t, float>> expected{{1, 0.1f}, {1, 0.3f},  {1, 0.35f}, {2, 0.6f},
                                                         {2, 0.8f}, {2, 0.85f}, {2, 1.0f}};
  ASSERT_EQ(saved.size(), expected.size());
  for (size_t i = 0; i < saved.size(); ++i) {
    EXPECT_EQ(saved[i].first, expected[i].first) << i;
    EXPECT_NEAR(saved[i].second, expected[i].second, 1e-6) << i;
  }

  TdtpDocument back;
  std::string template_;
  back.OnLoadAdditionalInfo = [&](TdtpDocument* d, TXmlNode* node) {
    template_ = node->ReadString("Template");
    EXPECT_TRUE(d->IsLoading());
  };
  std::vector<std::pair<int32_t, float>> loaded;
  back.OnProgress = [&](TdtpDocument*, TdtpProgressType type, int32_t count, int32_t, float fraction) {
    EXPECT_EQ(type, ptLoad);
    loaded.emplace_back(count, fraction);
  };
  Load(back, bytes);
  EXPECT_EQ(template_, "round");
  EXPECT_EQ(loaded, (std::vector<std::pair<int32_t, float>>{{1, 0.0f}, {2, 0.5f}, {2, 1.0f}}));

  // A handler's error ends the save and passes through.
  back.OnSaveAdditionalInfo = [](TdtpDocument*, TXmlNode*) { throw Exception("handler says no"); };
  back.SetDefaultGridSize(1);
  TMemoryStream out;
  EXPECT_EQ(ErrorOf([&] { back.SaveToStream(out); }), "handler says no");
  EXPECT_TRUE(back.Modified());
  EXPECT_FALSE(back.IsBusy());
}

// --- Lazy pages and what a save rewrites ---

TEST_F(ArchiveTest, PagesAreReadOnFirstUseAndSavedOnlyWhenChanged) {
  TdtpDocument doc;
  Build(doc, 3);
  const std::string file = Path("lazy.fmd");
  doc.SaveToFile(file);

  TdtpDocument back;
  back.LoadFromFile(file);
  EXPECT_TRUE(back.Pages(0)->Loaded());
  EXPECT_FALSE(back.Pages(1)->Loaded());
  EXPECT_FALSE(back.Pages(2)->Loaded());
  ASSERT_NE(back.Pages(2)->Thumbnail(), nullptr) << "thumbnails come with the index";
  EXPECT_FALSE(back.Pages(2)->Loaded()) << "a stored thumbnail needs no page text";

  // Saving twice without a change rewrites the index only.
  std::vector<int32_t> pagesWritten;
  back.OnProgress = [&](TdtpDocument*, TdtpProgressType, int32_t count, int32_t total, float fraction) {
    if (fraction < 1) pagesWritten.push_back(count);
    (void)total;
  };
  back.SaveToFile(file);
  back.SaveToFile(file);
  EXPECT_TRUE(pagesWritten.empty());
  EXPECT_FALSE(back.Pages(1)->Loaded()) << "a save reads no page";

  // Changing a thumbnail size marks every page changed, but unread pages keep their streams.
  const TStreams before = StreamsOf(back.Storage());
  back.SetThumbnailWidth(40);
  back.SaveToFile(file);
  EXPECT_EQ(pagesWritten, (std::vector<int32_t>{1, 1, 1}));
  const TStreams after = StreamsOf(back.Storage());
  EXPECT_EQ(after.at("Page0002.xml"), before.at("Page0002.xml"));
  EXPECT_EQ(after.at("Page0003.xml"), before.at("Page0003.xml"));
  EXPECT_NE(after.at("Thumb0001.bmp"), before.at("Thumb0001.bmp"));

  // The default page size changes unread default pages, so they are read and written whole.
  back.SetDefaultPageWidth(100);
  back.SaveToFile(file);
  TdtpDocument again;
  again.LoadFromFile(file);
  EXPECT_EQ(again.ThumbnailWidth, 40);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ShapeNameOn(again, i), "shape " + std::to_string(i + 1));
    EXPECT_FLOAT_EQ(again.PageWidth(), 100);
  }
}

TEST_F(ArchiveTest, MissingAndMisnamedPageStreams) {
  // Pages 1 and 3 without 2; a name in other letter case does not count.
  TdtpDocument doc;
  Load(doc, ArchiveOf({{"Index.xml", "<Document/>"},
                       {"Page0001.xml", PageXml(ShapeXml("one"))},
                       {"Page0003.xml", PageXml(ShapeXml("three"), 3)},
                       {"page0007.xml", PageXml("", 7)},
                       {"PAGE0009.xml", PageXml("", 9)},
                       {"Pagexx12.xml", PageXml("")}}));
  ASSERT_EQ(doc.PageCount(), 3);
  EXPECT_EQ(ErrorOf([&] { doc.SetCurrentPageIndex(1); }), "Stream \"Page0002.xml\" not found in the storage");
  EXPECT_EQ(doc.CurrentPageIndex(), 0);
  EXPECT_FALSE(doc.Pages(1)->Loaded()) << "it is tried again on its next use";
  EXPECT_FALSE(doc.IsLoading());
  EXPECT_EQ(ShapeNameOn(doc, 2), "three");

  // A save keeps the archive as it was for the missing page instead of writing it out empty.
  doc.SetCurrentPageIndex(0);
  doc.Shapes(0)->SetLeft(40);
  TdtpDocument back;
  Load(back, Saved(doc));
  EXPECT_FALSE(back.Storage().StreamExists("Page0002.xml"));
  ASSERT_EQ(back.PageCount(), 3);
  EXPECT_FLOAT_EQ(back.Shapes(0)->DocLeft(), 40);
  EXPECT_EQ(ShapeNameOn(back, 2), "three");
}

TEST_F(ArchiveTest, DeletingPageTwoOfFourRenamesTheLaterStreams) {
  TdtpDocument doc;
  Build(doc, 4);
  Load(doc, Saved(doc));
  const TStreams before = StreamsOf(doc.Storage());
  doc.DeletePage(1);
  const TStreams after = StreamsOf(doc.Storage());
  EXPECT_EQ(after.at("Page0001.xml"), before.at("Page0001.xml"));
  EXPECT_EQ(after.at("Page0002.xml"), before.at("Page0003.xml"));
  EXPECT_EQ(after.at("Page0003.xml"), before.at("Page0004.xml"));
  EXPECT_EQ(after.at("Thumb0002.bmp"), before.at("Thumb0003.bmp"));
  EXPECT_EQ(after.count("Page0004.xml"), 0u);
  EXPECT_EQ(after.count("Thumb0004.bmp"), 0u);

  TdtpDocument back;
  Load(back, Saved(doc));
  ASSERT_EQ(back.PageCount(), 3);
  EXPECT_EQ(ShapeNameOn(back, 0), "shape 1");
  EXPECT_EQ(ShapeNameOn(back, 1), "shape 3");
  EXPECT_EQ(ShapeNameOn(back, 2), "shape 4");
}

TEST_F(ArchiveTest, StoredThumbnailsAreReadOnlyWhenWanted) {
  const std::string small = SmallBmp(7, 5, 0xFF00FF00u);
  const TStreams streams{{"Page0001.xml", PageXml("")},
                         {"Page0002.xml", PageXml("", 2)},
                         {"Page0003.xml", PageXml("", 3)},
                         {"Page0004.xml", PageXml("", 4)},
                         {"Thumb0001.bmp", small},
                         {"Thumb0002.bmp", "not a bitmap at all"},
                         {"Thumb0003.bmp", BmpHeader(20000, 20000)},
                         {"Thumb0004.bmp", SmallBmp(1025, 2, 0xFF000000u)}};
  TStreams with = streams;
  with["Index.xml"] = "<Document/>";
  TdtpDocument doc;
  Load(doc, ArchiveOf(with));
  ASSERT_EQ(doc.PageCount(), 4);
  TBitmap32* first = doc.Pages(0)->Thumbnail();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Width(), 7);
  EXPECT_EQ(first->Pixel(3, 2), 0xFF00FF00u);
  // Damaged, oversized and too large thumbnails are dropped: the pages draw theirs anew.
  for (int i = 1; i < 4; ++i) {
    TBitmap32* drawn = doc.Pages(i)->Thumbnail();
    ASSERT_NE(drawn, nullptr) << i;
    EXPECT_EQ(drawn->Width(), 80) << i;
  }

  TStreams without = streams;
  without["Index.xml"] = "<Document><StoreThumbnails>False</StoreThumbnails></Document>";
  TdtpDocument off;
  Load(off, ArchiveOf(without));
  ASSERT_NE(off.Pages(0)->Thumbnail(), nullptr);
  EXPECT_EQ(off.Pages(0)->Thumbnail()->Width(), 80) << "the stored thumbnail is not read";
  // Pages written without thumbnails lose their old ones rather than keep a stale preview.
  off.Pages(0)->SetChanged(true);
  const TStreams saved = StreamsOfBytes(Saved(off));
  EXPECT_EQ(saved.count("Thumb0001.bmp"), 0u);
  EXPECT_EQ(saved.count("Thumb0002.bmp"), 1u) << "an unchanged page keeps its streams";

  // A thumbnail size beyond the bound stores none.
  TdtpDocument wide;
  wide.ThumbnailWidth = 2000;
  EXPECT_EQ(StreamsOfBytes(Saved(wide)).count("Thumb0001.bmp"), 0u);
}

// --- Failures ---

TEST_F(ArchiveTest, AFailedFileWriteChangesNothing) {
  const std::string file = Path("design.fmd");
  TdtpDocument doc;
  Build(doc, 2);
  doc.SaveToFile(file);
  TMemoryStream original;
  original.LoadFromFile(file);

  doc.Shapes(0)->SetLeft(77);
  ASSERT_TRUE(doc.Modified());
  const int undo = doc.UndoCount();
  ASSERT_GT(undo, 0);
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = ErrorOf([&] { doc.SaveToFile(file); });
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_NE(error, kNoError);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.UndoCount(), undo);
  EXPECT_TRUE(doc.Pages(0)->IsChanged()) << "the next save writes the page again";
  TMemoryStream now;
  now.LoadFromFile(file);
  EXPECT_EQ(now.Bytes(), original.Bytes());

  doc.SaveToFile(file);
  TdtpDocument back;
  back.LoadFromFile(file);
  EXPECT_FLOAT_EQ(back.Shapes(0)->DocLeft(), 77);
}

TEST_F(ArchiveTest, ArchiveDirectLeavesTheFileAloneUntilASave) {
  const std::string file = Path("direct.fmd");
  {
    TdtpDocument doc;
    Build(doc, 3);
    doc.SaveToFile(file);
  }
  TMemoryStream original;
  original.LoadFromFile(file);
  TdtpDocument doc;
  doc.ArchiveDirect = true;
  doc.LoadFromFile(file);
  doc.DeletePage(1);
  doc.Shapes(0)->SetName("renamed");
  doc.SetDefaultGridSize(3);
  TMemoryStream untouched;
  untouched.LoadFromFile(file);
  EXPECT_EQ(untouched.Bytes(), original.Bytes());

  doc.SaveToFile(file);
  TdtpDocument back;
  back.LoadFromFile(file);
  ASSERT_EQ(back.PageCount(), 2);
  EXPECT_EQ(ShapeNameOn(back, 0), "renamed");
  EXPECT_EQ(ShapeNameOn(back, 1), "shape 3");
  EXPECT_FLOAT_EQ(back.DefaultGridSize(), 3);
}

// A document holding more pages than the document's own limit lets one add.
class TBigDocument : public TdtpDocument {
public:
  void Grow(int count) {
    while (PageCount() < count) pages_.push_back(std::make_unique<TdtpPage>());
  }
};

TEST_F(ArchiveTest, MoreThan9999PagesAreRefused) {
  TBigDocument doc;
  doc.Grow(10000);
  doc.SetModified(true);
  TMemoryStream out;
  EXPECT_EQ(ErrorOf([&] { doc.SaveToStream(out); }),
            "A document of 10000 pages cannot be saved: an archive holds at most 9999");
  EXPECT_EQ(out.Size(), 0);
  EXPECT_EQ(doc.Storage().StreamCount(), 0);
  EXPECT_TRUE(doc.Modified());
}

TEST_F(ArchiveTest, DamagedArchivesEndWithAClearErrorAndLeaveTheDocumentUsable) {
  const std::string good = ArchiveOf({{"Index.xml", "<Document/>"}, {"Page0001.xml", PageXml(ShapeXml("fine"))}});
  struct TCase {
    std::string bytes;
    std::string error;
  };
  std::string truncated = good;
  truncated.resize(good.size() / 2);
  const std::vector<TCase> cases{
      {ArchiveOf({{"Page0001.xml", PageXml("")}}), "Stream \"Index.xml\" not found in the storage"},
      {ArchiveOf({{"Index.xml", ""}}), "No index found in archive"},
      {ArchiveOf({{"Index.xml", "just text"}}), "No root element found in xml"},
      {ArchiveOf({{"Index.xml", "<Document><DefaultPageColor>red</DefaultPageColor></Document>"}}), "red"},
      {ArchiveOf({{"Index.xml", "<Document/>"}, {"Page0026.xml", PageXml("")}}), "Invalid page count"},
      {ArchiveOf({{"Index.xml", "<Document/>"}, {"Page0002.xml", PageXml("")}}),
       "Stream \"Page0001.xml\" not found in the storage"},
      {ArchiveOf({{"Index.xml", "<Document/>"}, {"Page0001.xml", "<Page><Shape>"}}), ""},
      {ArchiveOf({{"Index.xml", "<Document/>"},
                  {"Page0001.xml", PageXml("<IsDefaultPage>False</IsDefaultPage><GridColor>grey</GridColor>")}}),
       "grey"},
      {truncated, ""},
      {"STOR", ""},
      {"", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.error);
    TdtpDocument doc;
    const std::string error = ErrorOf([&] { Load(doc, c.bytes); });
    EXPECT_NE(error, kNoError);
    EXPECT_TRUE(Contains(error, c.error)) << error;
    EXPECT_FALSE(doc.IsBusy());
    EXPECT_FALSE(doc.IsLoading());
    EXPECT_EQ(doc.UpdateCount(), 0);
    // Usable: it saves what it holds, adds pages and loads a good archive afterwards.
    EXPECT_EQ(ErrorOf([&] { Saved(doc); }), kNoError);
    doc.AddPage();
    Add(doc, "new");
    Load(doc, good);
    ASSERT_EQ(doc.PageCount(), 1);
    EXPECT_EQ(doc.Shapes(0)->Name(), "fine");
  }
}

TEST_F(ArchiveTest, APageThatFailsToReadKeepsItsStream) {
  TdtpDocument doc;
  Load(doc, ArchiveOf({{"Index.xml", "<Document/>"},
                       {"Page0001.xml", PageXml(ShapeXml("one"))},
                       {"Page0002.xml", "<Page><IsDefaultPage>False</IsDefaultPage>" + ShapeXml("kept") +
                                            "<PageColor>blue</PageColor></Page>"}}));
  std::string first = ErrorOf([&] { doc.SetCurrentPageIndex(1); });
  EXPECT_TRUE(Contains(first, "blue")) << first;
  EXPECT_EQ(doc.CurrentPageIndex(), 0);
  EXPECT_FALSE(doc.Pages(1)->Loaded());
  EXPECT_EQ(doc.Pages(1)->ChildCount(), 0) << "no half-read content stays";
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(ErrorOf([&] { doc.SetCurrentPageIndex(1); }), first) << "read again on the next use";
  const std::string stored = Get(doc.Storage(), "Page0002.xml");
  doc.Shapes(0)->SetName("changed");
  TdtpDocument back;
  Load(back, Saved(doc));
  EXPECT_EQ(Get(back.Storage(), "Page0002.xml"), stored);
}

}  // namespace
}  // namespace sw
