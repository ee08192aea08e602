// The bitmap shape and the snap bitmap: natural size of a loaded picture, fitting into the snap
// frame, pixels at 254 dpi (10 pixels per millimetre) straight and through the cache against a
// slow reference, pictures that cannot be decoded, the cache budget, the XML form and its defaults.
#include "shapes/bitmap_shape.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "engine/document.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "shapes/engine_start.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/formats/png_format.h"
#include "storage/xml/native_xml.h"
#include "support/errors.h"

namespace sw {
namespace {

constexpr TColor32 kWhite = 0xFFFFFFFFu;
constexpr TColor32 kRed = 0xFFFF0000u;

// A picture whose pixels come from f(x, y).
std::unique_ptr<TBitmap32> MakePicture(int32_t w, int32_t h, const std::function<TColor32(int32_t, int32_t)>& f) {
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) b->SetPixel(x, y, f(x, y));
  }
  return b;
}

std::string PngBytes(const TBitmap32& picture) {
  TMemoryStream out;
  EncodePng(picture, out);
  return std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
}

// Writes the picture as a PNG file in the temporary folder; the name is unique per process.
std::string WritePngFile(const TBitmap32& picture, const std::string& stem) {
  const std::string name = TempFolder() + "/" + stem + "_" + std::to_string(::getpid()) + ".png";
  const std::string bytes = PngBytes(picture);
  FILE* f = std::fopen(name.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return name;
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

void LoadXml(TdtpShape& shape, const std::string& text) {
  TNativeXml xml;
  xml.LoadFromString(text);
  shape.LoadFromXml(xml.Root());
}

// Every channel within tolerance.
bool Near(TColor32 a, TColor32 b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > tolerance) return false;
  }
  return true;
}

// Every channel of c lies between those of a and b, give or take tolerance.
bool Between(TColor32 c, TColor32 a, TColor32 b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int v = static_cast<int>((c >> shift) & 0xFF);
    const int x = static_cast<int>((a >> shift) & 0xFF), y = static_cast<int>((b >> shift) & 0xFF);
    if (v < std::min(x, y) - tolerance || v > std::max(x, y) + tolerance) return false;
  }
  return true;
}

class BitmapShapeTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    PrepareEngine();
  }

  // The current page, made w x h millimetres and white.
  TdtpPage& Page(float w, float h) {
    TdtpPage& page = *doc_.CurrentPage();
    page.SetBounds(0, 0, w, h);
    return page;
  }

  // A bitmap shape on the current page showing the picture, placed at the given bounds.
  TdtpBitmapShape* AddBitmap(const TBitmap32& picture, float l, float t, float w, float h) {
    auto shape = std::make_unique<TdtpBitmapShape>();
    TdtpBitmapShape* s = shape.get();
    doc_.AddShape(std::move(shape));
    s->Resource().SetBitmap(&picture);
    s->SetBounds(l, t, w, h);
    return s;
  }

  std::unique_ptr<TBitmap32> Render() { return doc_.RenderPage(*doc_.CurrentPage(), 10); }

  TdtpDocument doc_;
};

// --- Creation, natural size, snap bitmap ---

TEST_F(BitmapShapeTest, NewShapesAndTheirRegistration) {
  TdtpBitmapShape b;
  EXPECT_EQ(b.InsertCursor, -38);
  EXPECT_EQ(b.StorageKind(), 3);
  EXPECT_EQ(b.ChildCount(), 0);
  EXPECT_FALSE(b.Resource().HasBitmap());
  // Kinds outside 0..3 are no kinds.
  b.SetStorageKind(7);
  b.SetStorageKind(-1);
  EXPECT_EQ(b.StorageKind(), 3);
  b.SetStorageKind(0);
  EXPECT_EQ(b.StorageKind(), 0);
  for (const char* name : {"TdtpBitmapShape", "TdtpSnapBitmap"}) {
    ASSERT_TRUE(IsShapeClassRegistered(name)) << name;
    EXPECT_STREQ(CreateShapeByClassName(name)->ClassName(), name);
  }
}

TEST_F(BitmapShapeTest, LoadingAPictureFileGivesItsSizeAt150DpiAndLocksTheAspect) {
  auto picture = MakePicture(300, 150, [](int32_t x, int32_t y) { return Color32(x & 0xFF, y, 7); });
  const std::string file = WritePngFile(*picture, "natural");
  TdtpBitmapShape b;
  b.SetBounds(3, 4, 10, 10);
  b.Resource().LoadFromFile(file);
  EXPECT_FLOAT_EQ(b.DocWidth(), 50.8f);
  EXPECT_FLOAT_EQ(b.DocHeight(), 25.4f);
  EXPECT_FLOAT_EQ(b.DocLeft(), 3);
  EXPECT_TRUE(b.PreserveAspect);
  EXPECT_FLOAT_EQ(b.AspectRatio, 2);
  // The picture stays the file's own bytes.
  EXPECT_EQ(b.Resource().Data().Size(), static_cast<int64_t>(ReadFileBytes(file).size()));
  std::remove(file.c_str());
}

TEST_F(BitmapShapeTest, AFileThatIsNotThereRaisesAndTheShapeKeepsItsSize) {
  TdtpBitmapShape b;
  b.SetBounds(0, 0, 12, 9);
  EXPECT_EQ(test::ErrorOf([&] { b.Resource().LoadFromFile("no such picture.png"); }),
            "File does not exist: \"no such picture.png\"");
  EXPECT_FLOAT_EQ(b.DocWidth(), 12);
  EXPECT_FLOAT_EQ(b.DocHeight(), 9);
  EXPECT_FALSE(b.PreserveAspect);
}

TEST_F(BitmapShapeTest, SnapBitmapShowsItsFrameUntilAPictureArrivesAndFitsItCentred) {
  TdtpSnapBitmap s;
  ASSERT_EQ(s.ChildCount(), 2);
  EXPECT_FLOAT_EQ(s.DocWidth(), 120);
  EXPECT_FLOAT_EQ(s.DocHeight(), 80);
  auto* frame = dynamic_cast<TdtpRectangleShape*>(s.Child(0));
  auto* words = dynamic_cast<TdtpMemoShape*>(s.Child(1));
  ASSERT_TRUE(frame && words);
  EXPECT_EQ(frame->FillColor(), 0xFFFFFF);
  EXPECT_FLOAT_EQ(frame->OutlineWidth(), 0);
  EXPECT_TRUE(frame->Protected && words->Protected);
  EXPECT_EQ(words->Text(), u"Place image here");
  EXPECT_FLOAT_EQ(words->FontSize(), 12);
  EXPECT_EQ(words->Alignment(), taCenter);
  EXPECT_EQ(words->VertAlign(), vaCenter);
  EXPECT_FALSE(words->AutoSize() || words->AllowEdit);
  EXPECT_FLOAT_EQ(words->DocLeft(), 2);
  EXPECT_FLOAT_EQ(words->DocWidth(), 116);
  EXPECT_FLOAT_EQ(words->DocHeight(), 76);
  EXPECT_EQ(words->Anchors(), anSizeXProp | anSizeYProp | anLeftLock | anTopLock);

  s.SetBounds(10, 20, 120, 80);
  auto picture = MakePicture(300, 150, [](int32_t, int32_t) { return kRed; });
  const std::string file = WritePngFile(*picture, "snap");
  s.Resource().LoadFromFile(file);
  std::remove(file.c_str());
  const double scale = std::sqrt(300.0 * 150 / 9600);
  EXPECT_NEAR(s.DocWidth(), 300 / scale, 1e-3);  // about 138.6
  EXPECT_NEAR(s.DocHeight(), 150 / scale, 1e-3);  // about 69.3
  EXPECT_NEAR(s.DocLeft() + s.DocWidth() / 2, 70, 1e-3);
  EXPECT_NEAR(s.DocTop() + s.DocHeight() / 2, 60, 1e-3);
  EXPECT_FALSE(s.Child(0)->Visible() || s.Child(1)->Visible());
  EXPECT_TRUE(s.PreserveAspect);
  EXPECT_NEAR(s.AspectRatio, 2, 1e-5);
}

TEST_F(BitmapShapeTest, EmptySnapBitmapFrameFollowsItsSize) {
  TdtpSnapBitmap s;
  s.SetBounds(5, 5, 60, 40);
  EXPECT_FLOAT_EQ(s.Child(0)->DocWidth(), 60);
  EXPECT_FLOAT_EQ(s.Child(0)->DocHeight(), 40);
  EXPECT_FLOAT_EQ(s.Child(1)->DocWidth(), 58);
  EXPECT_FLOAT_EQ(s.Child(1)->DocHeight(), 38);
  // Also when read from a description that does not say so.
  auto read = ReadBack(
      "<shape><ClassName>TdtpSnapBitmap</ClassName><DocWidth>120</DocWidth><DocHeight>80</DocHeight></shape>");
  read->SetBounds(0, 0, 30, 20);
  EXPECT_FLOAT_EQ(read->Child(0)->DocWidth(), 30);
  EXPECT_FLOAT_EQ(read->Child(0)->DocHeight(), 20);
}

TEST_F(BitmapShapeTest, TurnedSnapBitmapKeepsItsCentreWhereItWas) {
  TdtpSnapBitmap s;
  s.SetBounds(30, 40, 120, 80);
  s.SetAngle(90);
  const TFloatPoint before = s.LocalToParent({60, 40});
  auto picture = MakePicture(80, 80, [](int32_t, int32_t) { return kRed; });
  const std::string file = WritePngFile(*picture, "snap_turned");
  s.Resource().LoadFromFile(file);
  std::remove(file.c_str());
  EXPECT_NEAR(s.DocWidth(), std::sqrt(9600.0), 1e-3);
  const TFloatPoint after = s.LocalToParent({s.DocWidth() / 2, s.DocHeight() / 2});
  EXPECT_NEAR(after.X, before.X, 1e-3);
  EXPECT_NEAR(after.Y, before.Y, 1e-3);
  EXPECT_FLOAT_EQ(s.DocAngle(), 90);
}

// --- Pixels ---

TEST_F(BitmapShapeTest, PictureAtItsOwnResolutionIsCopiedExactly) {
  Page(10, 8);
  // Opaque pixels are copied; translucent ones blend over the page by their own alpha.
  auto picture = MakePicture(40, 30, [](int32_t x, int32_t y) {
    const uint32_t a = x == 5 ? 0 : (x == 6 ? 128 : 255);
    return Color32(static_cast<uint32_t>(x * 6), static_cast<uint32_t>(y * 8), static_cast<uint32_t>((x * y) & 0xFF), a);
  });
  TdtpBitmapShape* s = AddBitmap(*picture, 1, 2, 4, 3);
  ASSERT_FALSE(s->NeedsCache());
  auto page = Render();
  ASSERT_EQ(page->Width(), 100);
  int wrong = 0;
  for (int32_t y = 0; y < page->Height(); ++y) {
    for (int32_t x = 0; x < page->Width(); ++x) {
      const bool inside = x >= 10 && x < 50 && y >= 20 && y < 50;
      const TColor32 want = inside ? BlendMem(picture->Pixel(x - 10, y - 20), kWhite) : kWhite;
      wrong += page->Pixel(x, y) != want ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0);
  // Alpha 0 leaves the page; alpha 128 goes half way.
  EXPECT_EQ(page->Pixel(15, 25), kWhite);
  EXPECT_NEAR(static_cast<double>(GreenOf(page->Pixel(16, 25))), (255 + 5 * 8) / 2.0, 1.5);
}

TEST_F(BitmapShapeTest, TranslucentShapeGoesThroughTheCacheWithItsMasterAlpha) {
  Page(10, 8);
  auto picture = MakePicture(40, 30, [](int32_t, int32_t) { return kRed; });
  TdtpBitmapShape* s = AddBitmap(*picture, 2, 2, 4, 3);
  s->SetMasterAlpha(128);
  auto page = Render();
  EXPECT_NE(s->Cache(), nullptr);
  EXPECT_EQ(page->Pixel(40, 35), 0xFFFE7F7Fu);
  EXPECT_EQ(page->Pixel(20, 20), 0xFFFE7F7Fu);
  EXPECT_EQ(page->Pixel(58, 48), 0xFFFE7F7Fu);
  EXPECT_EQ(page->Pixel(19, 20), kWhite);
  EXPECT_EQ(page->Pixel(60, 48), kWhite);

  // A picture stretched into the cache is blended with the picture's master alpha of 255, which
  // weighs 255/256: the opaque red arrives in the cache as 0xFEFF0101, so a little lighter.
  auto small = MakePicture(8, 6, [](int32_t, int32_t) { return kRed; });
  s->Resource().SetBitmap(small.get());
  EXPECT_EQ(Render()->Pixel(40, 35), 0xFFFE8080u);
}

TEST_F(BitmapShapeTest, ANewPictureReplacesTheCachedOne) {
  Page(10, 8);
  auto red = MakePicture(8, 8, [](int32_t, int32_t) { return kRed; });
  TdtpBitmapShape* s = AddBitmap(*red, 2, 2, 4, 3);
  s->SetAngle(10);
  EXPECT_TRUE(Near(Render()->Pixel(40, 30), kRed, 3));
  auto blue = MakePicture(8, 8, [](int32_t, int32_t) { return 0xFF0000FFu; });
  s->Resource().SetBitmap(blue.get());
  EXPECT_TRUE(Near(Render()->Pixel(40, 30), 0xFF0000FFu, 3));
}

// One case of the slow reference comparison: a shape turned, mirrored or flipped.
struct TTurnCase {
  float Angle;
  bool Mirrored;
  bool Flipped;
};

class BitmapShapeTurnTest : public BitmapShapeTest, public ::testing::WithParamInterface<TTurnCase> {};

// Cells of 20 x 20 picture pixels, each its own colour, so that a shift, a mirror or a turn the
// wrong way shows.
TColor32 CellColor(int32_t i, int32_t j) {
  return Color32(static_cast<uint32_t>(30 + 20 * i), static_cast<uint32_t>(40 + 30 * j), (i + j) % 2 ? 220u : 20u);
}

TEST_P(BitmapShapeTurnTest, MatchesTheSourceSampledThroughTheInverseMatrix) {
  const TTurnCase c = GetParam();
  Page(60, 50);
  constexpr int32_t kCell = 20, kW = 200, kH = 120;
  auto picture = MakePicture(kW, kH, [](int32_t x, int32_t y) { return CellColor(x / kCell, y / kCell); });
  TdtpBitmapShape* s = AddBitmap(*picture, 20, 19, 20, 12);
  s->RotateAboutCentre(c.Angle);
  s->SetMirrored(c.Mirrored);
  s->SetFlipped(c.Flipped);
  auto page = Render();
  ASSERT_NE(s->Cache(), nullptr);

  // Per pixel centre: the picture point under it. Inside a cell by more than 2 pixels the colour
  // is the cell's (resampling leaves uniform areas as they are, give or take 3); outside the shape
  // by more than 1.5 pixels it is the page's; within 1.5 pixels of the shape's edge it lies
  // between the page's and the cell's (the 2 x 2 supersampled edge, give or take 3).
  int interior = 0, edge = 0;
  std::vector<std::string> faults;
  for (int32_t y = 0; y < page->Height(); ++y) {
    for (int32_t x = 0; x < page->Width(); ++x) {
      const TFloatPoint local = s->ParentToLocal({(x + 0.5f) / 10, (y + 0.5f) / 10});
      double u = local.X * 10.0, v = local.Y * 10.0;
      if (c.Mirrored) u = kW - u;
      if (c.Flipped) v = kH - v;
      const double outer = std::min({u, kW - u, v, kH - v});
      const TColor32 got = page->Pixel(x, y);
      if (outer < -1.5) {
        if (!Near(got, kWhite, 2)) faults.push_back("outside");
        continue;
      }
      // Distance to the nearest line between two cells (the shape's edge is none).
      const double ku = std::clamp(std::round(u / kCell), 1.0, kW / kCell - 1.0);
      const double kv = std::clamp(std::round(v / kCell), 1.0, kH / kCell - 1.0);
      if (std::min(std::abs(u - ku * kCell), std::abs(v - kv * kCell)) <= 2) continue;
      const auto i = std::clamp(static_cast<int32_t>(u / kCell), 0, kW / kCell - 1);
      const auto j = std::clamp(static_cast<int32_t>(v / kCell), 0, kH / kCell - 1);
      const TColor32 want = CellColor(i, j);
      if (outer > 1.5) {
        ++interior;
        if (!Near(got, want, 3)) faults.push_back("cell " + std::to_string(i) + "," + std::to_string(j));
      } else {
        ++edge;
        if (!Between(got, kWhite, want, 3)) faults.push_back("edge");
      }
    }
  }
  EXPECT_GT(interior, 15000);
  EXPECT_GT(edge, 300);
  EXPECT_TRUE(faults.empty()) << faults.size() << " pixels differ, first: " << faults.front();
}

INSTANTIATE_TEST_SUITE_P(Cases, BitmapShapeTurnTest,
                         ::testing::Values(TTurnCase{30, false, false}, TTurnCase{0, true, false},
                                           TTurnCase{0, false, true}, TTurnCase{30, true, true},
                                           TTurnCase{200, false, true}));

TEST_F(BitmapShapeTest, APictureThatCannotBeDecodedDrawsNothingAndIsReportedOnce) {
  Page(10, 8);
  std::vector<std::string> errors;
  doc_.OnLoadError = [&](TdtpDocument*, TdtpShape*, const std::string& e) { errors.push_back(e); };
  auto shape = std::make_unique<TdtpBitmapShape>();
  TdtpBitmapShape* s = shape.get();
  doc_.AddShape(std::move(shape));
  // Eight bytes that are no PNG, embedded as a PNG file.
  const std::string broken =
      "<shape><ClassName>TdtpBitmapShape</ClassName><DocWidth>4</DocWidth><DocHeight>3</DocHeight>"
      "<Image><Data><Size>8</Size><Filter>Base64</Filter><Buffer>bm90YXBuZyE=</Buffer></Data>"
      "<FileName>broken.png</FileName></Image></shape>";
  LoadXml(*s, broken);
  auto after = std::make_unique<TdtpRectangleShape>();
  after->SetBounds(6, 0, 4, 8);
  after->SetUseOutline(false);
  after->SetFillColor(0x00FF00);
  doc_.AddShape(std::move(after));
  for (int i = 0; i < 3; ++i) {
    auto page = Render();
    EXPECT_EQ(page->Pixel(20, 15), kWhite);
    // The shape after the broken one is drawn all the same.
    EXPECT_EQ(page->Pixel(80, 40), 0xFF00FF00u);
  }
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_FALSE(s->Resource().HasBitmap());

  // A good picture is drawn again, and the same broken bytes read anew are reported anew.
  auto red = MakePicture(40, 30, [](int32_t, int32_t) { return kRed; });
  s->Resource().SetBitmap(red.get());
  EXPECT_EQ(Render()->Pixel(20, 15), kRed);
  LoadXml(*s, broken);
  EXPECT_EQ(Render()->Pixel(20, 15), kWhite);
  EXPECT_EQ(errors.size(), 2u);

  // On its own, without a document to report to, the shape passes the error on.
  TdtpBitmapShape alone;
  LoadXml(alone, broken);
  TBitmap32 target;
  target.SetSize(10, 10);
  EXPECT_NE(test::ErrorOf([&] { alone.PaintBitmap(target, TdtpPaintInfo{}); }), test::kNoError);
}

TEST_F(BitmapShapeTest, AShapeBeyondTheCacheBudgetIsCachedAtALowerResolution) {
  Page(100, 100);
  auto picture = MakePicture(16, 16, [](int32_t x, int32_t) { return x > 0 ? kRed : 0xFF0000FFu; });
  // 3000 mm square at 10 pixels per millimetre would be 9 x 10^8 cache pixels.
  TdtpBitmapShape* s = AddBitmap(*picture, 50 - 1500, 50 - 1500, 3000, 3000);
  s->RotateAboutCentre(30);
  auto page = Render();
  ASSERT_NE(s->Cache(), nullptr);
  EXPECT_LE(static_cast<int64_t>(s->Cache()->Width()) * s->Cache()->Height(), TdtpDocument::kCachePixelBudget);
  EXPECT_LT(s->CacheDpm, 10);
  // The page lies around the picture's centre, far from its blue column.
  EXPECT_TRUE(Near(page->Pixel(50, 50), kRed, 3));
  EXPECT_TRUE(Near(page->Pixel(5, 95), kRed, 3));
}

// --- XML ---

TEST_F(BitmapShapeTest, XmlWrittenReadAndWrittenAgainIsTheSame) {
  auto picture = MakePicture(12, 7, [](int32_t x, int32_t y) { return Color32(x * 20, y * 30, 99, 200); });
  TdtpBitmapShape b;
  b.Resource().SetFileName("picture.png");
  b.Resource().SetBitmap(picture.get());
  b.SetBounds(1.5f, 2.25f, 30, 17.5f);
  b.SetAngle(12.5f);
  b.SetMasterAlpha(77);
  b.SetMirrored(true);
  b.SetName("usrImage");
  const std::string first = XmlOf(b);
  EXPECT_NE(first.find("<Image>"), std::string::npos);
  EXPECT_NE(first.find("<FileName>picture.png</FileName>"), std::string::npos);
  auto copy = ReadBack(first);
  ASSERT_STREQ(copy->ClassName(), "TdtpBitmapShape");
  EXPECT_EQ(XmlOf(*copy), first);
  // The copy decodes to the same pixels, and only when asked.
  auto& r = dynamic_cast<TdtpBitmapShape&>(*copy).Resource();
  EXPECT_FALSE(r.HasBitmap());
  TResourceAccess access(r);
  ASSERT_NE(r.Bitmap(), nullptr);
  EXPECT_EQ(r.Bitmap()->Pixel(11, 6), picture->Pixel(11, 6));

  // The snap bitmap with its children round-trips too.
  TdtpSnapBitmap snap;
  const std::string snapXml = XmlOf(snap);
  EXPECT_EQ(XmlOf(*ReadBack(snapXml)), snapXml);
}

TEST_F(BitmapShapeTest, ReaderDefaultsAndAnEmptyPicture) {
  TdtpBitmapShape plain;
  // An empty resource still writes its element.
  const std::string empty = XmlOf(plain);
  EXPECT_NE(empty.find("<Image>"), std::string::npos);
  EXPECT_NE(empty.find("<Storage>Embedded</Storage>"), std::string::npos);

  auto b = ReadBack("<shape><ClassName>TdtpBitmapShape</ClassName></shape>");
  EXPECT_EQ(b->MasterAlpha(), 255u);
  EXPECT_FALSE(b->Mirrored() || b->Flipped());
  EXPECT_FLOAT_EQ(b->DocAngle(), 0);
  EXPECT_EQ(b->StorageKind(), 3);
  EXPECT_EQ(XmlOf(*b), empty);

  // Values from files stay within their ranges.
  LoadXml(*b, "<shape><MasterAlpha>$1FF</MasterAlpha></shape>");
  EXPECT_EQ(b->MasterAlpha(), 255u);
  LoadXml(*b, "<shape><MasterAlpha>300</MasterAlpha></shape>");
  EXPECT_EQ(b->MasterAlpha(), 255u);
  LoadXml(*b, "<shape><MasterAlpha>-5</MasterAlpha></shape>");
  EXPECT_EQ(b->MasterAlpha(), 0u);

  // A description without "Image" leaves no picture behind, also when there was one.
  TdtpBitmapShape withPicture;
  auto picture = MakePicture(4, 4, [](int32_t, int32_t) { return kRed; });
  withPicture.Resource().SetBitmap(picture.get());
  LoadXml(withPicture, "<shape><DocWidth>5</DocWidth></shape>");
  TResourceAccess access(withPicture.Resource());
  EXPECT_EQ(withPicture.Resource().Bitmap(), nullptr);
  EXPECT_EQ(withPicture.Resource().Data().Size(), 0);
}

TEST_F(BitmapShapeTest, ResourcesAndSnapshotsCarryThePicture) {
  auto picture = MakePicture(6, 5, [](int32_t x, int32_t y) { return Color32(x * 40, y * 50, 1); });
  TdtpBitmapShape* b = AddBitmap(*picture, 0, 0, 6, 5);
  b->Resource().SetArchiveName("Picture1.hck");
  b->SetStorageKind(static_cast<int>(TdtpStorageKind::Archive));
  std::vector<std::string> names;
  b->ListResources(names);
  EXPECT_EQ(names, std::vector<std::string>{"Picture1.hck"});

  const std::string snapshot = b->SaveToString();
  doc_.DeleteShapeObject(b);
  auto shape = std::make_unique<TdtpBitmapShape>();
  TdtpBitmapShape* copy = shape.get();
  doc_.AddShape(std::move(shape));
  copy->LoadFromString(snapshot);
  EXPECT_EQ(copy->StorageKind(), static_cast<int>(TdtpStorageKind::Archive));
  TResourceAccess access(copy->Resource());
  ASSERT_NE(copy->Resource().Bitmap(), nullptr);
  EXPECT_EQ(copy->Resource().Bitmap()->Pixel(5, 4), picture->Pixel(5, 4));
}

}  // namespace
}  // namespace sw
