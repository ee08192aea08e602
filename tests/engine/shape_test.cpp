#include "engine/shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/command.h"
#include "engine/document.h"
#include "engine/page.h"
#include "engine/registry.h"
#include "engine_test_support.h"
#include "support/errors.h"

namespace sw {
namespace {

using test::ErrorOf;
using test::LoadXml;
using test::XmlOf;

// A shape that uses an archive stream, as picture shapes do.
class TTestResourceShape : public TdtpShape {
public:
  static const char* StaticClassName() { return "TTestResourceShape"; }
  const char* ClassName() const override { return StaticClassName(); }
  void ListResources(std::vector<std::string>& names) const override {
    TdtpShape::ListResources(names);
    names.push_back(Name());
  }
};

// A shape kind whose reading always fails.
class TTestBadShape : public TdtpShape {
public:
  static const char* StaticClassName() { return "TTestBadShape"; }
  const char* ClassName() const override { return StaticClassName(); }
  void LoadFromXml(const TXmlNode* node) override {
    TdtpShape::LoadFromXml(node);
    RaiseError("bad shape");
  }
};

class ShapeTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::RegisterClasses();
    RegisterShapeClass<TTestResourceShape>();
    RegisterShapeClass<TTestBadShape>();
  }
};

std::unique_ptr<TdtpShape> MakeShape(float l, float t, float w, float h) {
  auto s = std::make_unique<TdtpShape>();
  s->SetBounds(l, t, w, h);
  return s;
}

void ExpectPoint(TFloatPoint p, float x, float y) {
  EXPECT_NEAR(p.X, x, 1e-4) << "x";
  EXPECT_NEAR(p.Y, y, 1e-4) << "y";
}

TEST_F(ShapeTest, TurnedShapeMapsItsCornersByHand) {
  auto s = MakeShape(10, 20, 40, 30);
  s->SetAngle(90);
  ExpectPoint(s->LocalToParent({40, 0}), 10, -20);
  ExpectPoint(s->LocalToParent({0, 30}), 40, 20);
  ExpectPoint(s->ParentToLocal({10, -20}), 40, 0);
  const TFloatRect b = s->BoundsInParent(false);
  EXPECT_NEAR(b.Left, 10, 1e-4);
  EXPECT_NEAR(b.Top, -20, 1e-4);
  EXPECT_NEAR(b.Right, 40, 1e-4);
  EXPECT_NEAR(b.Bottom, 20, 1e-4);
}

TEST_F(ShapeTest, AnglesAreKeptInHalfOpenTurn) {
  auto s = MakeShape(0, 0, 10, 10);
  s->SetAngle(-30);
  EXPECT_FLOAT_EQ(s->DocAngle(), 330);
  s->SetAngle(720);
  EXPECT_FLOAT_EQ(s->DocAngle(), 0);
  int changes = 0;
  s->OnChange = [&](TdtpShape*) { ++changes; };
  s->SetAngle(360);  // the same turn as 0
  EXPECT_EQ(changes, 0);
  EXPECT_FLOAT_EQ(s->DocAngle(), 0);
  s->SetAngle(-1e-7f);  // would round to 360 in single precision
  EXPECT_LT(s->DocAngle(), 360);
  s->SetAngle(NAN);
  EXPECT_LT(s->DocAngle(), 360);
}

TEST_F(ShapeTest, RotateAboutCentreKeepsTheCentre) {
  auto s = MakeShape(0, 0, 40, 20);
  s->RotateAboutCentre(90);
  EXPECT_NEAR(s->DocLeft(), 10, 1e-4);
  EXPECT_NEAR(s->DocTop(), 30, 1e-4);
  ExpectPoint(s->LocalToParent({20, 10}), 20, 10);
}

TEST_F(ShapeTest, ConstrainSizeAppliesLimitsAndAspect) {
  TdtpShape s;
  float w = 0, h = 0;
  EXPECT_TRUE(s.ConstrainSize(w, h));
  EXPECT_FLOAT_EQ(w, 0.1f);
  EXPECT_FLOAT_EQ(h, 0.1f);
  s.PreserveAspect = true;
  s.AspectRatio = 2;
  w = 10, h = 10;
  s.ConstrainSize(w, h);
  EXPECT_FLOAT_EQ(w, 10);
  EXPECT_FLOAT_EQ(h, 5);
  // A ratio that is not finite and positive is not applied (no division by zero, no NaN).
  for (float ratio : {0.0f, -1.0f, INFINITY, NAN}) {
    s.AspectRatio = ratio;
    w = 10, h = 7;
    s.ConstrainSize(w, h);
    EXPECT_FLOAT_EQ(w, 10);
    EXPECT_FLOAT_EQ(h, 7);
  }
  s.AllowResize = false;
  w = 50, h = 50;
  EXPECT_FALSE(s.ConstrainSize(w, h));
  EXPECT_FLOAT_EQ(w, s.DocWidth());
}

TEST_F(ShapeTest, ImmovableShapeStillMovesByResize) {
  auto s = MakeShape(10, 10, 20, 20);
  s->AllowMove = false;
  s->SetBoundsConstrained(30, 30, 20, 20);
  EXPECT_FLOAT_EQ(s->DocLeft(), 10);
  s->SetBoundsConstrained(5, 10, 25, 20);  // the left handle
  EXPECT_FLOAT_EQ(s->DocLeft(), 5);
  EXPECT_FLOAT_EQ(s->DocWidth(), 25);
}

TEST_F(ShapeTest, GroupedChildrenFollowTheirAnchors) {
  TdtpShape group;
  group.SetBounds(0, 0, 100, 50);
  group.SetGrouped(true);
  TdtpShape* byDefault = group.Child(group.AddChild(MakeShape(10, 0, 20, 10)));
  auto leftOnly = MakeShape(10, 0, 20, 10);
  leftOnly->SetAnchors(anLeftLock);
  TdtpShape* left = group.Child(group.AddChild(std::move(leftOnly)));
  auto none = MakeShape(10, 0, 20, 10);
  none->SetAnchors(0);
  TdtpShape* free = group.Child(group.AddChild(std::move(none)));

  group.SetWidth(200);
  EXPECT_FLOAT_EQ(byDefault->DocLeft(), 20);
  EXPECT_FLOAT_EQ(byDefault->DocWidth(), 40);
  EXPECT_FLOAT_EQ(left->DocLeft(), 10);
  EXPECT_FLOAT_EQ(left->DocWidth(), 20);
  EXPECT_FLOAT_EQ(free->DocLeft() + free->DocWidth(), 30);

  // A group that may not resize moves its default children proportionally but keeps their size.
  group.AllowResize = false;
  group.SetWidth(400);
  EXPECT_FLOAT_EQ(byDefault->DocWidth(), 40);
  EXPECT_FLOAT_EQ(byDefault->DocLeft(), 60);
}

TEST_F(ShapeTest, AnchorAxisFromZeroSize) {
  double p = 5, s = 3;
  AnchorAxis(false, true, false, false, 0, 40, p, s);
  EXPECT_EQ(p, 5);
  EXPECT_EQ(s, 40);
  p = 5, s = 3;
  AnchorAxis(false, false, true, false, 0, 40, p, s);
  EXPECT_EQ(p, 0);
  EXPECT_EQ(s, 3);
}

TEST_F(ShapeTest, DefaultShapeXmlByteForByte) {
  TdtpShape s;
  EXPECT_EQ(XmlOf(s),
            "<shape><ClassName>TdtpShape</ClassName><Anchors><default>True</default>"
            "<LeftLock>True</LeftLock><TopLock>True</TopLock></Anchors></shape>");
  s.SetBounds(0.1f, 0, 40, 30);
  s.SetMasterAlpha(128);
  EXPECT_EQ(XmlOf(s),
            "<shape><ClassName>TdtpShape</ClassName><Anchors><default>True</default>"
            "<LeftLock>True</LeftLock><TopLock>True</TopLock></Anchors>"
            "<DocLeft>0.100000001490116</DocLeft><DocHeight>30</DocHeight><DocWidth>40</DocWidth>"
            "<MasterAlpha>$80</MasterAlpha></shape>");
  TdtpShape back;
  LoadXml(back, XmlOf(s));
  EXPECT_EQ(back.MasterAlpha(), 128u);
  EXPECT_FLOAT_EQ(back.DocLeft(), 0.1f);
}

TEST_F(ShapeTest, EveryCommonElementInOrder) {
  TdtpShape s;
  s.AllowResize = s.AllowMove = s.AllowRotate = s.AllowDelete = s.AllowEdit = false;
  s.SetAllowSelect(false);
  s.SetAnchors(anPosXProp | anBottomLock);
  s.AspectRatio = 1.5f;
  s.SetCurbsLTRB(1, 2, 3, 4);
  s.Constraints = {1, 2, 3, 4};
  s.SetBoundsAndAngle(1, 2, 3, 4, 5);
  s.SetFlipped(true);
  s.SetGrouped(true);
  s.SetMirrored(true);
  s.SetName("n");
  s.PreserveAspect = true;
  s.Tag = 7;
  s.SetVisible(false);
  s.SetMasterAlpha(1);
  s.AddChild(std::make_unique<TdtpShape>());
  TNativeXml xml("shape");
  s.SaveToXml(*xml.Root());
  std::vector<std::string> names;
  for (int i = 0; i < xml.Root()->ChildCount(); ++i) names.push_back(xml.Root()->Child(i)->Name());
  const std::vector<std::string> expected = {
      "ClassName", "AllowResize", "AllowMove", "AllowRotate", "AllowSelect", "AllowDelete", "AllowEdit",
      "Anchors", "AspectRatio", "CurbLeft", "CurbTop", "CurbRight", "CurbBottom", "ConstraintMinHeight",
      "ConstraintMinWidth", "ConstraintMaxHeight", "ConstraintMaxWidth", "DocAngle", "DocLeft", "DocTop",
      "DocHeight", "DocWidth", "Flipped", "Grouped", "Mirrored", "Name", "PreserveAspect", "Tag",
      "Visible", "MasterAlpha", "Shape"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(xml.Root()->FindChild("Shape")->AttributeValue("Index"), "1");
  EXPECT_EQ(xml.Root()->FindChild("Anchors")->ChildCount(), 2);

  TdtpShape back;
  back.LoadFromXml(xml.Root());
  EXPECT_EQ(XmlOf(back), XmlOf(s));
}

TEST_F(ShapeTest, AnchorsElementMissingOrEmpty) {
  TdtpShape s;
  s.SetAnchors(anRightLock);
  LoadXml(s, "<shape><DocWidth>3</DocWidth></shape>");
  EXPECT_EQ(s.Anchors(), anRightLock);
  LoadXml(s, "<shape><Anchors/></shape>");
  EXPECT_EQ(s.Anchors(), 0);
}

TEST_F(ShapeTest, ValuesFromFilesAreBounded) {
  TdtpShape s;
  LoadXml(s,
          "<shape><DocLeft>NaN</DocLeft><DocWidth>1e300</DocWidth><DocAngle>inf</DocAngle>"
          "<MasterAlpha>999</MasterAlpha><AspectRatio>-inf</AspectRatio></shape>");
  EXPECT_FLOAT_EQ(s.DocLeft(), 0);
  EXPECT_FLOAT_EQ(s.DocWidth(), 0);
  EXPECT_FLOAT_EQ(s.DocAngle(), 0);
  EXPECT_EQ(s.MasterAlpha(), 255u);
  EXPECT_TRUE(std::isfinite(s.AspectRatio));
  LoadXml(s, "<shape><MasterAlpha>-5</MasterAlpha></shape>");
  EXPECT_EQ(s.MasterAlpha(), 0u);
  s.SetMasterAlpha(100000);
  EXPECT_EQ(s.MasterAlpha(), 255u);
  s.SetBounds(NAN, 1, INFINITY, 2);
  EXPECT_FLOAT_EQ(s.DocLeft(), 0);
  EXPECT_FLOAT_EQ(s.DocWidth(), 0);
  EXPECT_FLOAT_EQ(s.DocTop(), 1);
  EXPECT_EQ(ErrorOf([&] { s.LoadFromXml(nullptr); }), "XML Node is not assigned");
}

TEST_F(ShapeTest, UnknownClassLoadsAsPlainShape) {
  TdtpShape s;
  LoadXml(s,
          "<shape><Shape Index=\"1\"><ClassName>TdtpNoSuchShape</ClassName><Name>x</Name></Shape>"
          "<Shape Index=\"2\"><ClassName>tdtppage</ClassName></Shape></shape>");
  ASSERT_EQ(s.ChildCount(), 2);
  EXPECT_STREQ(s.Child(0)->ClassName(), "TdtpShape");
  EXPECT_EQ(s.Child(0)->Name(), "x");
  EXPECT_STREQ(s.Child(1)->ClassName(), "TdtpShape") << "class names compare with letter case";
  EXPECT_STREQ(CreateShapeByClassName("TdtpPage")->ClassName(), "TdtpPage");
}

TEST_F(ShapeTest, FailingChildIsRemovedOnlyWhenNew) {
  TdtpDocument doc;
  std::vector<std::string> errors;
  doc.OnLoadError = [&](TdtpDocument*, TdtpShape*, const std::string& e) { errors.push_back(e); };
  TdtpPage* page = doc.CurrentPage();
  auto kept = std::make_unique<TTestBadShape>();
  kept->Protected = true;
  TdtpShape* protectedChild = kept.get();
  page->AddChild(std::move(kept));
  LoadXml(*page,
          "<Page><Shape><ClassName>TdtpShape</ClassName></Shape>"
          "<Shape><ClassName>TTestBadShape</ClassName></Shape>"
          "<Shape><ClassName>TdtpShape</ClassName><Name>last</Name></Shape></Page>");
  // Each report names the shape left out as the file gives it.
  EXPECT_EQ(errors, (std::vector<std::string>{"shape 1 (\"TdtpShape\") cannot be read: bad shape",
                                              "shape 2 (\"TTestBadShape\") cannot be read: bad shape"}));
  ASSERT_EQ(page->ChildCount(), 2);
  EXPECT_EQ(page->Child(0), protectedChild) << "the surviving protected child stays";
  EXPECT_EQ(page->Child(1)->Name(), "last");
}

TEST_F(ShapeTest, NestingIsBoundedWithAClearError) {
  TdtpDocument doc;
  std::vector<std::string> errors;
  doc.OnLoadError = [&](TdtpDocument*, TdtpShape*, const std::string& e) { errors.push_back(e); };
  std::string text = "<Page>";
  for (int i = 0; i < 300; ++i) text += "<Shape><ClassName>TdtpShape</ClassName>";
  for (int i = 0; i < 300; ++i) text += "</Shape>";
  text += "</Page>";
  LoadXml(*doc.CurrentPage(), text);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front(), kNestingError);
  int depth = 0;
  for (TdtpShape* s = doc.CurrentPage(); s->ChildCount() > 0; s = s->Child(0)) ++depth;
  EXPECT_EQ(depth, kMaxShapeDepth);

  // So are the shapes of one shape and the curbs a file states: neither decides alone how much
  // a print allocates.
  errors.clear();
  TdtpDocument wide;
  wide.OnLoadError = doc.OnLoadError;
  std::string many = "<Page>";
  for (int i = 0; i <= kMaxChildShapes; ++i) many += "<Shape><ClassName>TdtpShape</ClassName></Shape>";
  LoadXml(*wide.CurrentPage(), many + "</Page>");
  EXPECT_EQ(wide.CurrentPage()->ChildCount(), 0);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors.front().find("at most 5000"), std::string::npos) << errors.front();
  LoadXml(*wide.CurrentPage(), "<Page><CurbLeft>1e6</CurbLeft><CurbBottom>-1e9</CurbBottom></Page>");
  EXPECT_EQ(wide.CurrentPage()->CurbLeft(), kMaxCurb);
  EXPECT_EQ(wide.CurrentPage()->CurbBottom(), -kMaxCurb);
}

TEST_F(ShapeTest, ChildListRefusesOwnedShapesAndCycles) {
  TdtpShape a;
  auto bOwned = std::make_unique<TdtpShape>();
  TdtpShape* b = bOwned.get();
  ASSERT_EQ(a.AddChild(std::move(bOwned)), 0);
  EXPECT_EQ(a.AddChild(&a), -1);
  EXPECT_EQ(b->AddChild(&a), -1) << "an ancestor would make a cycle";
  TdtpShape other;
  EXPECT_EQ(other.AddChild(b), -1) << "b already has a parent";
  EXPECT_FALSE(other.InsertChild(0, b));
  EXPECT_EQ(a.AddChild(static_cast<TdtpShape*>(nullptr)), -1);

  TdtpDocument doc;
  EXPECT_EQ(a.AddChild(doc.CurrentPage()), -1) << "a document's page is owned";

  auto c = std::make_unique<TdtpShape>();
  TdtpShape* cRaw = c.get();
  EXPECT_TRUE(a.InsertChild(99, std::move(c)));
  EXPECT_EQ(a.IndexOfChild(cRaw), 1) << "index clamped to the end";
  auto d = std::make_unique<TdtpShape>();
  TdtpShape* dRaw = d.get();
  EXPECT_TRUE(a.InsertChild(-5, std::move(d)));
  EXPECT_EQ(a.IndexOfChild(dRaw), 0);

  std::unique_ptr<TdtpShape> extracted(a.ExtractChild(b));
  EXPECT_EQ(extracted->Parent(), nullptr);
  EXPECT_EQ(a.ChildCount(), 2);
  EXPECT_EQ(a.ExtractChild(b), nullptr);
}

TEST_F(ShapeTest, EndUpdateWithoutBeginLeavesTheCountUsable) {
  TdtpShape s;
  EXPECT_EQ(ErrorOf([&] { s.EndUpdate(); }), "EndUpdate called more often than BeginUpdate");
  int changes = 0;
  s.OnChange = [&](TdtpShape*) { ++changes; };
  s.BeginUpdate();
  s.SetName("a");
  s.SetName("b");
  EXPECT_EQ(changes, 0);
  s.EndUpdate();
  EXPECT_EQ(changes, 1);
}

// --- Snapshots ---

std::string I32(int32_t v) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  return out;
}

TEST_F(ShapeTest, SnapshotLayoutWithoutStorage) {
  TdtpShape s;
  s.SetName("snap");
  const std::string data = s.SaveToString();
  ASSERT_GE(data.size(), 8u);
  EXPECT_EQ(data.substr(0, 4), I32(0));
  EXPECT_EQ(data.substr(4, 4), I32(static_cast<int32_t>(data.size() - 8)));
  EXPECT_EQ(data.substr(8, 8), "\xEF\xBB\xBF<?xml");
  EXPECT_NE(data.find("<shape><ClassName>TdtpShape</ClassName>"), std::string::npos);
  TdtpShape back;
  back.LoadFromString(data);
  EXPECT_EQ(back.Name(), "snap");
  back.LoadFromString("");  // does nothing
  EXPECT_EQ(back.Name(), "snap");
}

TEST_F(ShapeTest, SnapshotCarriesResourceStreams) {
  TdtpDocument source;
  TMemoryStream bytes(std::vector<uint8_t>{1, 2, 3});
  source.Storage().WriteStream("TMP0000001.png", bytes);
  auto shape = std::make_unique<TTestResourceShape>();
  shape->SetName("TMP0000001.png");
  TdtpShape* s = source.CurrentPage()->Child(source.AddShape(std::move(shape)));
  auto missing = std::make_unique<TTestResourceShape>();
  missing->SetName("TMP0000009.png");
  TdtpShape* m = source.CurrentPage()->Child(source.AddShape(std::move(missing)));

  const std::string data = s->SaveToString();
  const std::string name = "TMP0000001.png";
  EXPECT_EQ(data.substr(0, 4 + 4 + name.size() + 4 + 3),
            I32(1) + I32(static_cast<int32_t>(name.size())) + name + I32(3) + std::string("\x01\x02\x03", 3));
  EXPECT_EQ(m->SaveToString().substr(4 + 4 + 14, 4), I32(0)) << "a missing stream has length 0";

  TdtpDocument target;
  auto copy = std::make_unique<TTestResourceShape>();
  TdtpShape* c = target.CurrentPage()->Child(target.AddShape(std::move(copy)));
  c->LoadFromString(data);
  ASSERT_TRUE(target.Storage().StreamExists(name));
  TMemoryStream read;
  target.Storage().ReadStream(name, read);
  EXPECT_EQ(read.Bytes(), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(ShapeTest, HostileSnapshotsAreRefused) {
  TdtpDocument doc;
  TdtpShape* s = doc.CurrentPage()->Child(doc.AddShape(std::make_unique<TdtpShape>()));
  const std::string xml = TdtpShape().SaveToString().substr(4);
  auto errorOf = [&](const std::string& data) { return ErrorOf([&] { s->LoadFromString(data); }); };
  EXPECT_EQ(errorOf(I32(0x7FFFFFFF) + xml), "Shape snapshot is damaged: the resource count exceeds the data");
  EXPECT_EQ(errorOf(I32(-1) + xml), "Shape snapshot is damaged: the resource count is negative");
  EXPECT_EQ(errorOf("\x01\x00"), "Shape snapshot is damaged: the resource count is missing");
  EXPECT_EQ(errorOf(I32(1) + I32(1000) + "abc" + I32(0) + xml),
            "Shape snapshot is damaged: a resource name exceeds the data");
  EXPECT_EQ(errorOf(I32(1) + I32(1) + "a" + I32(1 << 30) + xml),
            "Shape snapshot is damaged: a resource's data exceeds the data");
  EXPECT_EQ(errorOf(I32(0) + I32(1 << 30)), "Shape snapshot is damaged: the XML exceeds the data");
  EXPECT_EQ(errorOf(I32(0) + xml + "x"), "Shape snapshot is damaged: bytes follow the XML");
  for (const std::string name : {"Index.xml", "page0001.XML", "Page0003.xml", "Thumb0001.bmp"}) {
    EXPECT_EQ(errorOf(I32(1) + I32(static_cast<int32_t>(name.size())) + name + I32(1) + "z" + xml),
              "Shape snapshot names a stream it may not replace: \"" + name + "\"");
  }
  EXPECT_FALSE(doc.Storage().StreamExists("Index.xml")) << "nothing written before the checks";
  EXPECT_NE(errorOf(I32(0) + I32(3) + "<a"), test::kNoError);
}

TEST_F(ShapeTest, DeletedChildTakesOnlyItsOwnTempStreams) {
  TdtpDocument doc;
  TMemoryStream bytes(std::vector<uint8_t>{9});
  for (const char* name : {"TMP0000001.png", "TMP0000002.png", "Keep.png"}) doc.Storage().WriteStream(name, bytes);
  auto add = [&](const char* name) {
    auto s = std::make_unique<TTestResourceShape>();
    s->SetName(name);
    return doc.CurrentPage()->Child(doc.AddShape(std::move(s)));
  };
  TdtpShape* original = add("TMP0000001.png");
  TdtpShape* copy = add("TMP0000001.png");
  TdtpShape* alone = add("TMP0000002.png");
  TdtpShape* kept = add("Keep.png");
  doc.DeleteShapeObject(alone);
  EXPECT_FALSE(doc.Storage().StreamExists("TMP0000002.png"));
  doc.DeleteShapeObject(copy);
  EXPECT_TRUE(doc.Storage().StreamExists("TMP0000001.png")) << "the original still uses it";
  doc.DeleteShapeObject(original);
  EXPECT_FALSE(doc.Storage().StreamExists("TMP0000001.png"));
  doc.DeleteShapeObject(kept);
  EXPECT_TRUE(doc.Storage().StreamExists("Keep.png")) << "only temporary names are deleted";
}

// --- Undo records ---

TEST_F(ShapeTest, GeometryChangesRecordOldValuesInOneGroup) {
  TdtpDocument doc;
  doc.ClearUndo();
  TdtpShape* s = doc.CurrentPage()->Child(doc.AddShape(MakeShape(1, 2, 3, 4)));
  doc.ClearUndo();
  s->SetBoundsAndAngle(5, 6, 7, 8, 90);
  ASSERT_EQ(doc.UndoCount(), 5);
  const char* names[] = {"DocLeft", "DocTop", "DocWidth", "DocHeight", "DocAngle"};
  const char* values[] = {"1", "2", "3", "4", "0"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(doc.UndoItem(i)->Name, names[i]);
    EXPECT_EQ(doc.UndoItem(i)->Value, values[i]);
    EXPECT_EQ(doc.UndoItem(i)->ShapeId, s->ShapeId());
    EXPECT_EQ(doc.UndoItem(i)->Joined, i > 0);
  }
  s->SetMasterAlpha(10);
  EXPECT_EQ(doc.UndoItem(5)->Value, "255");
  EXPECT_FALSE(doc.UndoItem(5)->Joined);
}

TEST_F(ShapeTest, DeletedChildComesBackFromItsCommand) {
  TdtpDocument doc;
  TdtpPage* page = doc.CurrentPage();
  auto shape = MakeShape(1, 2, 3, 4);
  shape->SetName("gone");
  doc.AddShape(std::move(shape));
  doc.AddShape(MakeShape(0, 0, 1, 1));
  const int32_t id = page->Child(0)->ShapeId();
  doc.ClearUndo();
  doc.DeleteShape(0);
  ASSERT_EQ(doc.UndoCount(), 1);
  TdtpCommand* command = doc.UndoItem(0);
  EXPECT_EQ(command->Kind, ckDelete);
  EXPECT_EQ(command->Value, "TdtpShape");
  EXPECT_EQ(command->ShapeId, page->ShapeId());
  doc.DisableUndo();
  EXPECT_TRUE(page->ApplyCommand(command));
  doc.EnableUndo();
  ASSERT_EQ(page->ChildCount(), 2);
  EXPECT_EQ(page->Child(0)->Name(), "gone");
  EXPECT_EQ(page->Child(0)->ShapeId(), id);
  EXPECT_FLOAT_EQ(page->Child(0)->DocWidth(), 3);
}

// --- Hit tests ---

TEST_F(ShapeTest, HitTestsUseRegionAndProbes) {
  TdtpDocument doc;
  doc.CurrentPage()->SetOrigin(0, 0);
  TdtpShape* s = doc.CurrentPage()->Child(doc.AddShape(MakeShape(10, 20, 40, 30)));
  const double dpm = doc.ScreenDpm();
  auto px = [&](double mm) { return static_cast<int32_t>(std::lround(mm * dpm)); };
  EXPECT_TRUE(s->HitTest({px(30), px(35)}));
  EXPECT_FALSE(s->HitTest({px(5), px(35)}));
  s->SetCurbs(2);
  // Inside the curbs: probes reach 4 pixels towards the rectangle.
  EXPECT_TRUE(s->HitTest({px(10) - 3, px(35)}));
  EXPECT_FALSE(s->HitTest({px(10) - 7, px(35)}));

  TdtpShape* deep = nullptr;
  EXPECT_TRUE(doc.CurrentPage()->HitTestDeep({px(30), px(35)}, deep));
  EXPECT_EQ(deep, s);
  EXPECT_FALSE(doc.CurrentPage()->HitTestDeep({px(100), px(100)}, deep));
  EXPECT_EQ(deep, doc.CurrentPage()) << "inside the page but on none of its children";
}

TEST_F(ShapeTest, CacheHitTestUsesAlpha) {
  TdtpDocument doc;
  doc.CurrentPage()->SetOrigin(0, 0);
  TdtpShape* s = doc.CurrentPage()->Child(doc.AddShape(MakeShape(0, 0, 10, 10)));
  auto cache = std::make_unique<TBitmap32>();
  cache->SetSize(100, 100);
  cache->Clear(0);
  s->SetCache(std::move(cache));
  s->CacheDpm = static_cast<float>(doc.ScreenDpm());
  EXPECT_FALSE(s->HitTest({30, 30}));
  // Window pixel (30, 30) is cache pixel (31, 31): the cache's clear margin comes first.
  s->Cache()->SetPixel(33, 31, 0xFF000000u);
  EXPECT_TRUE(s->HitTest({30, 30})) << "a probe two pixels away finds the opaque pixel";
}

}  // namespace
}  // namespace sw
