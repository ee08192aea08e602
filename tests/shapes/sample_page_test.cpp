// The bundled sample page: it loads with every shape kind, renders at 254 dpi (10 pixels per
// millimetre) with the expected colours in each shape, and its XML is the program's own form.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "engine/document.h"
#include "engine/page.h"
#include "shapes/bitmap_shape.h"
#include "shapes/engine_start.h"
#include "storage/xml/native_xml.h"
#include "support/machine_fonts.h"

namespace sw {
namespace {

const std::string kSample = std::string(STICKWELL_SOURCE_DIR) + "/samples/sample_page.xml";

bool Near(TColor32 a, TColor32 b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > tolerance) return false;
  }
  return true;
}

std::string FileText(const std::string& name) {
  const std::vector<uint8_t> bytes = ReadFileBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

// The page's XML in the readable layout the sample is stored in.
std::string PageXml(const TdtpPage& page) {
  TNativeXml xml("Page");
  xml.SetLayout(TXmlLayout::Readable);
  page.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

void LoadPageText(TdtpDocument& doc, const std::string& text) {
  TNativeXml xml;
  xml.LoadFromString(text);
  doc.CurrentPage()->LoadFromXml(xml.Root());
}

class SamplePageTest : public test::MachineFonts {
protected:
  static void SetUpTestSuite() {
    MachineFonts::SetUpTestSuite();
    PrepareEngine();
  }

  TServices Services() {
    TServices services;
    services.Fonts = &Fonts();
    return services;
  }
};

TEST_F(SamplePageTest, HoldsOneShapeOfEveryKindWithATurnedAndATranslucentOne) {
  TdtpDocument doc(Services());
  std::vector<std::string> errors;
  doc.OnLoadError = [&](TdtpDocument*, TdtpShape*, const std::string& e) { errors.push_back(e); };
  LoadPageText(doc, FileText(kSample));
  const TdtpPage& page = *doc.CurrentPage();
  EXPECT_FLOAT_EQ(page.DocWidth(), 96);
  EXPECT_FLOAT_EQ(page.DocHeight(), 56);
  std::vector<std::string> kinds;
  bool turned = false, translucent = false;
  for (int i = 0; i < page.ChildCount(); ++i) {
    const TdtpShape* s = page.Child(i);
    kinds.push_back(s->ClassName());
    turned = turned || s->DocAngle() != 0;
    translucent = translucent || s->MasterAlpha() < 255;
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"TdtpBitmapShape", "TdtpRectangleShape", "TdtpEllipseShape",
                                             "TdtpRoundRectShape", "TdtpPolygonShape", "TdtpGroupShape",
                                             "TdtpTextShape", "TdtpMemoShape"}));
  EXPECT_TRUE(turned && translucent);
  EXPECT_EQ(page.Child(5)->ChildCount(), 3);
  EXPECT_TRUE(errors.empty());
}

TEST_F(SamplePageTest, RendersEachShapeInItsColours) {
  TdtpDocument doc(Services());
  std::vector<std::string> errors;
  doc.OnLoadError = [&](TdtpDocument*, TdtpShape*, const std::string& e) { errors.push_back(e); };
  LoadPageText(doc, FileText(kSample));
  TdtpPage& page = *doc.CurrentPage();
  const std::unique_ptr<TBitmap32> b = doc.RenderPage(page, 10);
  ASSERT_EQ(b->Width(), 960);
  ASSERT_EQ(b->Height(), 560);
  EXPECT_TRUE(errors.empty()) << errors.front();

  EXPECT_EQ(b->Pixel(950, 550), 0xFFFFFFFFu);                // the page
  EXPECT_EQ(b->Pixel(750, 110), 0xFFFFE040u);                // rectangle
  EXPECT_EQ(b->Pixel(690, 280), 0xFF30B030u);                // ellipse
  EXPECT_EQ(b->Pixel(845, 285), 0xFFF08010u);                // polygon (a star)
  EXPECT_EQ(b->Pixel(100, 460), 0xFFD03030u);                // group: left ellipse
  EXPECT_EQ(b->Pixel(200, 460), 0xFF3030D0u);                // group: right ellipse
  EXPECT_EQ(b->Pixel(150, 410), 0xFFD0E0F0u);                // group: its rectangle
  // The translucent rounded rectangle over the page, through its cache.
  EXPECT_TRUE(Near(b->Pixel(500, 380), MergeMemEx(0xFF1040C0u, 0xFFFFFFFFu, 0xA0), 1));

  // The turned picture, sampled where its own pixels say, in its smooth parts.
  auto& picture = dynamic_cast<TdtpBitmapShape&>(*page.Child(0));
  TResourceAccess access(picture.Resource());
  const TBitmap32* source = picture.Resource().Bitmap();
  ASSERT_NE(source, nullptr);
  ASSERT_EQ(source->Width(), 160);
  int checked = 0;
  for (const TPoint p : {TPoint{100, 120}, TPoint{150, 100}, TPoint{300, 90}, TPoint{250, 150}, TPoint{150, 320}}) {
    const TFloatPoint local = picture.ParentToLocal({(p.X + 0.5f) / 10, (p.Y + 0.5f) / 10});
    const auto u = static_cast<int32_t>(local.X / picture.DocWidth() * source->Width());
    const auto v = static_cast<int32_t>(local.Y / picture.DocHeight() * source->Height());
    ASSERT_TRUE(u >= 0 && u < source->Width() && v >= 0 && v < source->Height()) << p.X << "," << p.Y;
    EXPECT_TRUE(Near(b->Pixel(p.X, p.Y), source->Pixel(u, v), 6)) << p.X << "," << p.Y;
    ++checked;
  }
  EXPECT_EQ(checked, 5);

  // The words: the text's colour and the memo's black show inside their boxes.
  auto count = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, TColor32 c) {
    int n = 0;
    for (int32_t y = y0; y < y1; ++y) {
      for (int32_t x = x0; x < x1; ++x) n += Near(b->Pixel(x, y), c, 24) ? 1 : 0;
    }
    return n;
  };
  EXPECT_GT(count(280, 420, 580, 500, 0xFF002060u), 500);
  EXPECT_GT(count(600, 400, 940, 530, 0xFF000000u), 500);
  EXPECT_EQ(count(0, 0, 30, 30, 0xFF000000u), 0);
}

TEST_F(SamplePageTest, XmlIsTheProgramsOwnFormAndStaysByteStable) {
  // Without fonts nothing is laid out, so the file is exactly what the program writes (the file
  // begins with the byte order mark a saved file gets).
  std::string file = FileText(kSample);
  ASSERT_EQ(file.rfind("\xEF\xBB\xBF", 0), 0u);
  file.erase(0, 3);
  TdtpDocument plain;
  LoadPageText(plain, file);
  EXPECT_TRUE(PageXml(*plain.CurrentPage()) == file);

  // With fonts the texts gain their spans; written, read and written again, nothing moves.
  TdtpDocument first(Services());
  LoadPageText(first, file);
  const std::string once = PageXml(*first.CurrentPage());
  EXPECT_NE(once.find("<Span"), std::string::npos);
  TdtpDocument second(Services());
  LoadPageText(second, once);
  EXPECT_TRUE(PageXml(*second.CurrentPage()) == once);
}

}  // namespace
}  // namespace sw
