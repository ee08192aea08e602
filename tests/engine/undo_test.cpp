#include <clocale>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/command.h"
#include "engine/document.h"
#include "engine/registry.h"
#include "platform/headless_message_box.h"
#include "platform/services.h"
#include "storage/xml/native_xml.h"
#include "support/errors.h"

namespace sw {
namespace {

constexpr int64_t kBound = 10485760;

// A shape that keeps a picture in a storage stream, to see undo bring the stream back.
class TPictureShape : public TdtpShape {
public:
  static const char* StaticClassName() { return "TUndoPictureShape"; }
  const char* ClassName() const override { return StaticClassName(); }
  void ListResources(std::vector<std::string>& names) const override {
    if (!Picture.empty()) names.push_back(Picture);
    TdtpShape::ListResources(names);
  }
  void SaveToXml(TXmlNode& node) const override {
    TdtpShape::SaveToXml(node);
    node.WriteString("Picture", Picture);
  }
  void LoadFromXml(const TXmlNode* node) override {
    TdtpShape::LoadFromXml(node);
    Picture = node->ReadString("Picture");
  }
  std::string Picture;
};

std::string PageXml(const TdtpPage& page) {
  TNativeXml xml("Page");
  page.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

std::string StreamText(TsdStorage& storage, const std::string& name) {
  if (!storage.StreamExists(name)) return "(missing)";
  TMemoryStream data;
  storage.ReadStream(name, data);
  return std::string(reinterpret_cast<const char*>(data.Memory()), static_cast<size_t>(data.Size()));
}

void PutStream(TsdStorage& storage, const std::string& name, const std::string& bytes) {
  TReadOnlyMemoryStream source(bytes.data(), static_cast<int64_t>(bytes.size()));
  storage.WriteStream(name, source);
}

class UndoTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterEngineShapeClasses();
    RegisterShapeClass<TPictureShape>();
    services_.MessageBoxes = &boxes_;
    doc_ = std::make_unique<TdtpDocument>(services_);
  }

  TdtpPage& Page() { return *doc_->CurrentPage(); }

  // A shape on the current page at (left, top), 20 x 10 mm, without any record left behind.
  TdtpShape* AddPlain(float left, float top) {
    auto shape = std::make_unique<TdtpShape>();
    TdtpShape* raw = shape.get();
    doc_->AddShape(std::move(shape));
    raw->SetBounds(left, top, 20, 10);
    doc_->ClearUndo();
    return raw;
  }

  THeadlessMessageBoxes boxes_;
  TServices services_;
  std::unique_ptr<TdtpDocument> doc_;
};

TEST_F(UndoTest, MoveRecordsTheOldValueAsOneCommand) {
  TdtpShape* s = AddPlain(10, 5);
  s->SetLeft(20);
  ASSERT_EQ(doc_->UndoCount(), 1);
  const TdtpCommand& c = *doc_->UndoItem(0);
  EXPECT_EQ(c.Kind, ckProperty);
  EXPECT_EQ(c.ShapeId, s->ShapeId());
  EXPECT_NE(c.ShapeId, 0);
  EXPECT_EQ(c.Name, "DocLeft");
  EXPECT_EQ(c.Value, "10");
  EXPECT_EQ(c.CommandSize(), 13);
  EXPECT_EQ(doc_->UndoBytes(), 13);
  EXPECT_EQ(doc_->UndoItem(1), nullptr);
  EXPECT_EQ(doc_->UndoItem(-1), nullptr);
}

TEST_F(UndoTest, GroupsJoinEveryCommandAfterTheFirst) {
  TdtpShape* s = AddPlain(10, 5);
  s->SetBounds(11, 6, 20, 10);
  ASSERT_EQ(doc_->UndoCount(), 2);
  EXPECT_EQ(doc_->UndoItem(0)->Name, "DocLeft");
  EXPECT_FALSE(doc_->UndoItem(0)->Joined);
  EXPECT_EQ(doc_->UndoItem(1)->Name, "DocTop");
  EXPECT_TRUE(doc_->UndoItem(1)->Joined);
  s->SetLeft(12);
  EXPECT_FALSE(doc_->UndoItem(2)->Joined);
}

TEST_F(UndoTest, RepeatIsDroppedWithoutJoiningTheNextCommandToTheOldGroup) {
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 7, "DocLeft", "10"));
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 7, "DocLeft", "10"));
  EXPECT_EQ(doc_->UndoCount(), 1);
  // Differences in kind, shape, name or value all count.
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 8, "DocLeft", "10"));
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 8, "DocTop", "10"));
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 8, "DocTop", "11"));
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckInsert, 8, "DocTop", "11"));
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckInsert, 8, "DocTop", "11"));
  EXPECT_EQ(doc_->UndoCount(), 6);

  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 7, "DocLeft", "10"));
  doc_->BeginUndo();
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 7, "DocLeft", "10"));
  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 7, "DocTop", "3"));
  doc_->EndUndo();
  ASSERT_EQ(doc_->UndoCount(), 8);
  EXPECT_FALSE(doc_->UndoItem(7)->Joined);
}

TEST_F(UndoTest, BoundDropsTheOldestCommands) {
  const std::string big(1 << 20, 'x');
  for (int i = 0; i < 12; ++i) {
    doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 1, "Text", big + std::to_string(i)));
  }
  EXPECT_LE(doc_->UndoBytes(), kBound);
  ASSERT_EQ(doc_->UndoCount(), 9);
  EXPECT_EQ(doc_->UndoItem(0)->Value, big + "3");
  int64_t sum = 0;
  for (int i = 0; i < doc_->UndoCount(); ++i) sum += doc_->UndoItem(i)->CommandSize();
  EXPECT_EQ(sum, doc_->UndoBytes());

  doc_->AddUndo(std::make_unique<TdtpCommand>(ckProperty, 1, "Text", std::string(kBound, 'y')));
  EXPECT_EQ(doc_->UndoCount(), 0);
  EXPECT_EQ(doc_->UndoBytes(), 0);
}

TEST_F(UndoTest, DisablingSuspendsAndTurningOffClears) {
  TdtpShape* s = AddPlain(0, 0);
  doc_->DisableUndo();
  EXPECT_FALSE(doc_->UndoEnabled());
  s->SetLeft(5);
  EXPECT_EQ(doc_->UndoCount(), 0);
  doc_->EnableUndo();
  EXPECT_TRUE(doc_->UndoEnabled());
  s->SetLeft(6);
  s->SetLeft(7);
  EXPECT_EQ(doc_->UndoCount(), 2);
  doc_->DisableUndo();
  EXPECT_EQ(doc_->UndoCount(), 2);
  EXPECT_FALSE(doc_->CanUndo());
  EXPECT_FALSE(doc_->Undo());
  doc_->EnableUndo();
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(doc_->RedoCount(), 1);

  doc_->SetUndoEnabled(false);
  EXPECT_EQ(doc_->UndoCount(), 0);
  EXPECT_EQ(doc_->RedoCount(), 0);
  s->SetLeft(8);
  EXPECT_EQ(doc_->UndoCount(), 0);
  doc_->SetUndoEnabled(true);
  s->SetLeft(9);
  EXPECT_EQ(doc_->UndoCount(), 1);
  EXPECT_EQ(doc_->UndoItem(0)->Value, "8");
}

// Every recorded kind: undo restores the page's XML byte for byte, redo re-applies the change,
// and a second undo finds the state again.
TEST_F(UndoTest, UndoRestoresAndRedoReappliesEveryKind) {
  struct Case {
    const char* name;
    std::function<void()> change;
  };
  TdtpShape* a = AddPlain(10, 20);
  TdtpShape* b = AddPlain(40, 50);
  auto group = std::make_unique<TdtpShape>();
  TdtpShape* g = group.get();
  doc_->AddShape(std::move(group));
  g->SetBounds(0, 0, 100, 100);
  auto child = std::make_unique<TdtpShape>();
  TdtpShape* gc = child.get();
  g->AddChild(std::move(child));
  gc->SetBounds(10, 10, 30, 30);
  g->SetGrouped(true);
  doc_->ClearUndo();

  const std::vector<Case> cases = {
      {"left", [&] { a->SetLeft(12.5f); }},
      {"top", [&] { a->SetTop(-3.25f); }},
      {"width", [&] { a->SetWidth(33.3f); }},
      {"height", [&] { a->SetHeight(0.1f); }},
      {"angle", [&] { a->SetAngle(123.456f); }},
      {"alpha", [&] { a->SetMasterAlpha(17); }},
      {"bounds and angle", [&] { b->SetBoundsAndAngle(1, 2, 3, 4, 5); }},
      {"grouped resize", [&] { g->SetBounds(5, 5, 150, 60); }},
      {"grandchild move", [&] { gc->SetLeft(1); }},
      {"insert", [&] { doc_->AddShape(std::make_unique<TdtpShape>()); }},
      {"insert in a group", [&] { g->InsertChild(0, std::make_unique<TdtpShape>()); }},
      {"delete", [&] { doc_->DeleteShape(0); }},
      {"delete a group", [&] { doc_->DeleteShapeObject(g); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = PageXml(Page());
    c.change();
    const std::string after = PageXml(Page());
    ASSERT_NE(before, after);
    ASSERT_TRUE(doc_->CanUndo());
    ASSERT_TRUE(doc_->Undo());
    EXPECT_EQ(PageXml(Page()), before);
    ASSERT_TRUE(doc_->CanRedo());
    ASSERT_TRUE(doc_->Redo());
    EXPECT_EQ(PageXml(Page()), after);
    ASSERT_TRUE(doc_->Undo());
    EXPECT_EQ(PageXml(Page()), before);
    ASSERT_TRUE(doc_->Redo());
    EXPECT_EQ(PageXml(Page()), after);
  }
  EXPECT_TRUE(boxes_.Messages().empty());

  // Back through every step to the start and forward again to the end.
  const std::string end = PageXml(Page());
  int steps = 0;
  while (doc_->Undo()) ++steps;
  EXPECT_EQ(steps, static_cast<int>(cases.size()));
  EXPECT_FALSE(doc_->CanUndo());
  while (doc_->Redo()) --steps;
  EXPECT_EQ(steps, 0);
  EXPECT_EQ(PageXml(Page()), end);
  EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(UndoTest, NewChangeAfterUndoEmptiesRedo) {
  TdtpShape* s = AddPlain(0, 0);
  s->SetLeft(1);
  s->SetLeft(2);
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(s->DocLeft(), 1);
  EXPECT_EQ(doc_->RedoCount(), 1);
  EXPECT_EQ(doc_->RedoItem(0)->Value, "2");
  s->SetTop(4);
  EXPECT_EQ(doc_->RedoCount(), 0);
  EXPECT_FALSE(doc_->Redo());
  ASSERT_TRUE(doc_->Undo());
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(s->DocLeft(), 0);
  EXPECT_EQ(s->DocTop(), 0);
  EXPECT_FALSE(doc_->Undo());
}

TEST_F(UndoTest, RemovedChildComesBackWithItsIdentityPropertiesAndPicture) {
  AddPlain(0, 0);
  auto picture = std::make_unique<TPictureShape>();
  TPictureShape* p = picture.get();
  p->Picture = "TMP_undo_picture.png";
  doc_->AddShape(std::move(picture));
  p->SetBoundsAndAngle(3, 4, 5, 6, 30);
  p->SetMasterAlpha(99);
  PutStream(doc_->Storage(), p->Picture, "picture bytes");
  const int32_t id = p->ShapeId();
  const std::string before = PageXml(Page());
  doc_->ClearUndo();

  doc_->DeleteShape(1);
  ASSERT_EQ(doc_->UndoCount(), 1);
  TdtpCommand* removal = doc_->UndoItem(0);
  EXPECT_EQ(removal->Kind, ckDelete);
  EXPECT_EQ(removal->Name, "ClassName");
  EXPECT_EQ(removal->Value, "TUndoPictureShape");
  EXPECT_EQ(removal->ShapeId, Page().ShapeId());
  EXPECT_EQ(StreamText(doc_->Storage(), "TMP_undo_picture.png"), "(missing)");

  // The same command can run more than once: it reads its stream from the start every time.
  ASSERT_TRUE(doc_->ExecuteCommand(removal));
  ASSERT_EQ(Page().ChildCount(), 2);
  auto* back = dynamic_cast<TPictureShape*>(Page().Child(1));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->ShapeId(), id);
  EXPECT_EQ(PageXml(Page()), before);
  EXPECT_EQ(StreamText(doc_->Storage(), "TMP_undo_picture.png"), "picture bytes");
  // An older command of the shape finds it again by its identity.
  EXPECT_TRUE(doc_->ExecuteCommand(std::make_unique<TdtpCommand>(ckProperty, id, "MasterAlpha", "5").get()));
  EXPECT_EQ(back->MasterAlpha(), 5u);
  ASSERT_TRUE(doc_->ExecuteCommand(removal));
  EXPECT_EQ(Page().ChildCount(), 3);
}

TEST_F(UndoTest, RemovalStreamIsCheckedAndItsIndexClamped) {
  AddPlain(0, 0);
  const std::string snapshot = Page().Child(0)->SaveToString();
  const int32_t page = Page().ShapeId();

  TdtpCommand far(ckDelete, page, "ClassName", "TdtpShape", MakeRemovalStream(99, 500, snapshot));
  far.Stream->SetPosition(far.Stream->Size());
  ASSERT_TRUE(doc_->ExecuteCommand(&far));
  ASSERT_EQ(Page().ChildCount(), 2);
  EXPECT_EQ(Page().Child(1)->ShapeId(), 500);
  TdtpCommand before(ckDelete, page, "ClassName", "TdtpShape", MakeRemovalStream(-4, 501, snapshot));
  ASSERT_TRUE(doc_->ExecuteCommand(&before));
  EXPECT_EQ(Page().Child(0)->ShapeId(), 501);

  // A damaged list of descendants only loses the descendants' identities.
  auto noTail = MakeRemovalStream(0, 503, snapshot, {1, 2, 3});
  noTail->SetSize(noTail->Size() - 1);
  TdtpRemovedChild partial;
  ASSERT_TRUE(ReadRemovedChild(TdtpCommand(ckDelete, page, "ClassName", "TdtpShape", std::move(noTail)), partial));
  EXPECT_EQ(partial.ShapeId, 503);
  EXPECT_EQ(partial.Snapshot, snapshot);
  EXPECT_TRUE(partial.Descendants.empty());

  // A stream shorter than its snapshot's length is refused: nobody takes the command.
  auto shortStream = MakeRemovalStream(0, 502, snapshot);
  shortStream->SetSize(shortStream->Size() - 5);
  TdtpCommand cut(ckDelete, page, "ClassName", "TdtpShape", std::move(shortStream));
  TdtpRemovedChild removed;
  EXPECT_FALSE(ReadRemovedChild(cut, removed));
  EXPECT_FALSE(Page().ApplyCommand(&cut));
  EXPECT_FALSE(doc_->ExecuteCommand(&cut));
  EXPECT_EQ(boxes_.LastText(), "Unable to execute Undo");
  auto headOnly = std::make_unique<TMemoryStream>();
  headOnly->WriteBuffer("\0\0\0\0\1\0\0", 7);
  TdtpCommand tiny(ckDelete, page, "ClassName", "TdtpShape", std::move(headOnly));
  EXPECT_FALSE(Page().ApplyCommand(&tiny));
  TdtpCommand none(ckDelete, page, "ClassName", "TdtpShape");
  EXPECT_FALSE(Page().ApplyCommand(&none));
  EXPECT_EQ(Page().ChildCount(), 3);
}

TEST_F(UndoTest, RestoredGroupKeepsTheIdentitiesOfItsDescendants) {
  auto group = std::make_unique<TdtpShape>();
  TdtpShape* g = group.get();
  doc_->AddShape(std::move(group));
  g->AddChild(std::make_unique<TdtpShape>());
  g->Child(0)->AddChild(std::make_unique<TdtpShape>());
  g->AddChild(std::make_unique<TdtpShape>());
  const std::vector<int32_t> ids = {g->ShapeId(), g->Child(0)->ShapeId(), g->Child(0)->Child(0)->ShapeId(),
                                    g->Child(1)->ShapeId()};
  g->Child(0)->Child(0)->SetLeft(4);
  doc_->DeleteShapeObject(g);
  ASSERT_TRUE(doc_->Undo());
  TdtpShape* back = doc_->Shapes(0);
  ASSERT_EQ(back->ChildCount(), 2);
  EXPECT_EQ((std::vector<int32_t>{back->ShapeId(), back->Child(0)->ShapeId(), back->Child(0)->Child(0)->ShapeId(),
                                  back->Child(1)->ShapeId()}),
            ids);
  // The move recorded inside the subtree before its removal still finds its shape.
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(back->Child(0)->Child(0)->DocLeft(), 0);
  EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(UndoTest, ExecuteCommandWithoutOwner) {
  EXPECT_FALSE(doc_->ExecuteCommand(std::make_unique<TdtpCommand>(ckProperty, 0, "DocLeft", "1").get()));
  EXPECT_FALSE(doc_->ExecuteCommand(nullptr));
  EXPECT_TRUE(boxes_.Messages().empty());
  EXPECT_FALSE(doc_->ExecuteCommand(std::make_unique<TdtpCommand>(ckProperty, 9999, "DocLeft", "1").get()));
  ASSERT_EQ(boxes_.Messages().size(), 1u);
  EXPECT_EQ(boxes_.LastText(), "Unable to execute Undo");

  // Without message boxes nothing is shown and the answer is the same.
  TdtpDocument quiet;
  EXPECT_FALSE(quiet.ExecuteCommand(std::make_unique<TdtpCommand>(ckProperty, 9999, "DocLeft", "1").get()));
}

TEST_F(UndoTest, PagesTakeTheirOwnCommandsAndThoseOfTheirShapes) {
  doc_->AddPage();
  TdtpPage* second = doc_->Pages(1);
  auto shape = std::make_unique<TdtpShape>();
  TdtpShape* s = shape.get();
  second->AddChild(std::move(shape));
  s->SetLeft(3);
  second->SetWidth(100);
  ASSERT_EQ(doc_->CurrentPage(), doc_->Pages(0));
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(second->DocWidth(), 210);
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(s->DocLeft(), 0);
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(second->ChildCount(), 0);
  EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(UndoTest, GestureIsOneStepWithTheFirstOldValue) {
  TdtpShape* s = AddPlain(10, 20);
  doc_->BeginGesture();
  EXPECT_TRUE(doc_->InGesture());
  for (int i = 1; i <= 50; ++i) s->SetBounds(10.0f + static_cast<float>(i), 20.0f - static_cast<float>(i), 20, 10);
  s->SetAngle(45);
  s->SetAngle(90);
  doc_->EndGesture();
  EXPECT_FALSE(doc_->InGesture());
  ASSERT_EQ(doc_->UndoCount(), 3);
  EXPECT_EQ(doc_->UndoItem(0)->Value, "10");
  EXPECT_EQ(doc_->UndoItem(1)->Value, "20");
  EXPECT_EQ(doc_->UndoItem(2)->Value, "0");
  EXPECT_FALSE(doc_->UndoItem(0)->Joined);
  EXPECT_TRUE(doc_->UndoItem(2)->Joined);

  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(s->DocLeft(), 10);
  EXPECT_EQ(s->DocTop(), 20);
  EXPECT_EQ(s->DocAngle(), 0);
  EXPECT_EQ(doc_->UndoCount(), 0);
  ASSERT_TRUE(doc_->Redo());
  EXPECT_EQ(s->DocLeft(), 60);
  EXPECT_EQ(s->DocTop(), -30);
  EXPECT_EQ(s->DocAngle(), 90);

  EXPECT_EQ(test::ErrorOf([&] { doc_->EndGesture(); }), "EndGesture called more often than BeginGesture");
}

// The guards end what they began also when their scope raises, and the error that ends the
// scope is the one that comes out.
TEST_F(UndoTest, ScopeGuardsEndWhenTheirBodyRaises) {
  TdtpShape* s = AddPlain(0, 0);
  auto raising = [](auto&& body) {
    try {
      body();
    } catch (const Exception& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(raising([&] {
              const TGestureScope gesture(*doc_, "SEZoom");
              const TUndoStep step(doc_.get());
              s->SetWidth(21);
              RaiseError("body failed");
            }),
            "body failed");
  EXPECT_FALSE(doc_->InGesture());
  EXPECT_EQ(doc_->UpdateCount(), 0);
  s->SetLeft(3);
  ASSERT_EQ(doc_->UndoCount(), 2);
  EXPECT_FALSE(doc_->UndoItem(1)->Joined);

  EXPECT_EQ(raising([&] {
              const TUndoOff off(doc_.get());
              RaiseError("body failed");
            }),
            "body failed");
  EXPECT_TRUE(doc_->UndoEnabled());
  // An end that raises on a normal exit is not swallowed.
  EXPECT_EQ(raising([&] {
              const TUndoOff off(doc_.get());
              doc_->EnableUndo();
            }),
            "EnableUndo called more often than DisableUndo");
}

TEST_F(UndoTest, KeyedGesturesMergeUntilSomethingElseIsRecorded) {
  TdtpShape* s = AddPlain(0, 0);
  auto spin = [&](float value) {
    doc_->BeginGesture("SEZoom");
    s->SetWidth(value);
    doc_->EndGesture();
  };
  spin(21);
  spin(22);
  spin(23);
  ASSERT_EQ(doc_->UndoCount(), 1);
  EXPECT_EQ(doc_->UndoItem(0)->Value, "20");
  s->SetLeft(5);
  spin(24);
  spin(25);
  ASSERT_EQ(doc_->UndoCount(), 3);
  EXPECT_EQ(doc_->UndoItem(2)->Value, "23");
  EXPECT_FALSE(doc_->UndoItem(2)->Joined);
  // Another key, or no key, never continues.
  doc_->BeginGesture("SEAngle");
  s->SetWidth(26);
  doc_->EndGesture();
  doc_->BeginGesture();
  s->SetWidth(27);
  doc_->EndGesture();
  doc_->BeginGesture();
  s->SetWidth(28);
  doc_->EndGesture();
  EXPECT_EQ(doc_->UndoCount(), 6);

  // An undo ends the merging too: the next spin is a step of its own.
  ASSERT_TRUE(doc_->Undo());
  spin(30);
  spin(31);
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(s->DocWidth(), 27);
}

TEST_F(UndoTest, NothingIsRecordedWhileLoadingClearingOrDeletingPages) {
  TdtpShape* s = AddPlain(1, 2);
  s->SetLeft(3);
  doc_->AddPage();
  doc_->Pages(1)->AddChild(std::make_unique<TdtpShape>());
  doc_->ClearUndo();
  doc_->DeletePage(1);
  EXPECT_EQ(doc_->UndoCount(), 0);
  doc_->BeginLoading();
  EXPECT_FALSE(doc_->UndoEnabled());
  s->SetLeft(4);
  doc_->Shapes(0)->AddChild(std::make_unique<TdtpShape>());
  doc_->EndLoading();
  EXPECT_EQ(doc_->UndoCount(), 0);

  TMemoryStream file;
  doc_->SaveToStream(file);
  file.SetPosition(0);
  doc_->LoadFromStream(file);
  EXPECT_EQ(doc_->ShapeCount(), 1);
  EXPECT_EQ(doc_->UndoCount(), 0);
  EXPECT_FALSE(doc_->CanUndo());

  doc_->Shapes(0)->SetLeft(9);
  EXPECT_EQ(doc_->UndoCount(), 1);
  doc_->Clear();
  EXPECT_EQ(doc_->UndoCount(), 0);
  EXPECT_TRUE(doc_->UndoEnabled());
}

TEST_F(UndoTest, BusyDocumentRefusesToStep) {
  AddPlain(0, 0)->SetLeft(1);
  doc_->BeginBusy();
  EXPECT_EQ(test::ErrorOf([&] { doc_->Undo(); }), "Threading error (working already)");
  doc_->EndBusy();
  EXPECT_TRUE(doc_->Undo());
}

TEST(UndoValueTest, ParsersTakeWhatTheRecordersWriteAndRefuseTheRest) {
  EXPECT_EQ(ParseCommandFloat("12.5"), 12.5);
  EXPECT_EQ(ParseCommandFloat("1,5"), 1.5);
  EXPECT_EQ(ParseCommandFloat("-1E-5"), -1e-5);
  EXPECT_EQ(ParseCommandFloat("+3"), 3);
  EXPECT_EQ(ParseCommandInteger("-42"), -42);
  EXPECT_EQ(ParseCommandInteger("255"), 255);
  for (const char* bad : {"", "abc", "1.5x", " 1", "+", "1e"}) {
    EXPECT_EQ(test::ErrorOf([&] { ParseCommandFloat(bad); }),
              std::string("'") + bad + "' is not a valid floating point value");
  }
  for (const char* bad : {"", "1.5", "99999999999999999999", "x"}) {
    EXPECT_EQ(test::ErrorOf([&] { ParseCommandInteger(bad); }), std::string("'") + bad + "' is not a valid integer value");
  }
}

// Values are written with a point and read back the same whatever the process locale says.
TEST_F(UndoTest, ValuesIgnoreTheProcessLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale installed";
  TdtpShape* s = AddPlain(10.5f, 0);
  s->SetLeft(1.25f);
  const std::string value = doc_->UndoItem(0)->Value;
  const bool undone = doc_->Undo();
  const float left = s->DocLeft();
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(value, "10.5");
  EXPECT_EQ(value, XmlFloatToStr(10.5));
  EXPECT_TRUE(undone);
  EXPECT_EQ(left, 10.5f);
}

}  // namespace
}  // namespace sw
