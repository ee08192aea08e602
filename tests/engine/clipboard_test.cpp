#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "engine/document.h"
#include "engine/registry.h"
#include "platform/headless_clipboard.h"
#include "platform/headless_message_box.h"
#include "platform/services.h"
#include "storage/xml/native_xml.h"
#include "support/errors.h"

namespace sw {
namespace {

std::string PageXml(const TdtpPage& page) {
  TNativeXml xml("Page");
  page.SaveToXml(*xml.Root());
  return xml.SaveToString();
}

// A "Selection" text with one shape element per snapshot.
std::string SelectionText(const std::vector<std::pair<std::string, std::string>>& shapes) {
  TNativeXml xml("Selection");
  for (const auto& [className, snapshot] : shapes) {
    TXmlNode* node = xml.Root()->NewChild("shape");
    node->WriteString("ClassName", className);
    node->SetBinaryString(snapshot);
  }
  return xml.SaveToString();
}

void PutI32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

class ClipboardTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterEngineShapeClasses();
    services_.Clipboard = &clipboard_;
    services_.MessageBoxes = &boxes_;
    doc_ = std::make_unique<TdtpDocument>(services_);
  }

  TdtpShape* Add(float left, float top, bool selected) {
    auto shape = std::make_unique<TdtpShape>();
    TdtpShape* raw = shape.get();
    doc_->AddShape(std::move(shape));
    raw->SetBounds(left, top, 20, 10);
    raw->SetSelected(selected);
    return raw;
  }

  THeadlessClipboard clipboard_;
  THeadlessMessageBoxes boxes_;
  TServices services_;
  std::unique_ptr<TdtpDocument> doc_;
};

TEST_F(ClipboardTest, SelectionTextIsAReadableSelectionDocument) {
  EXPECT_EQ(doc_->SelectionToXml(), "");
  TdtpShape* a = Add(1, 2, true);
  Add(3, 4, false);
  TdtpShape* c = Add(5, 6, true);
  c->SetName("third");
  const std::string text = doc_->SelectionToXml();
  EXPECT_EQ(text.compare(0, 5, "<?xml"), 0);
  EXPECT_NE(text.find("\r\n  <shape>"), std::string::npos);
  size_t lines = 0, crlf = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    ++lines;
    crlf += i > 0 && text[i - 1] == '\r' ? 1 : 0;
  }
  EXPECT_GT(lines, 4u);
  EXPECT_EQ(crlf, lines);

  TNativeXml xml;
  xml.LoadFromString(text);
  ASSERT_EQ(xml.Root()->Name(), "Selection");
  std::vector<TXmlNode*> shapes;
  xml.Root()->FindChildren("shape", shapes);
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[0]->ReadString("ClassName"), "TdtpShape");
  EXPECT_EQ(shapes[0]->BinaryString(), a->SaveToString());
  EXPECT_EQ(shapes[1]->BinaryString(), c->SaveToString());
}

TEST_F(ClipboardTest, PastesLandFurtherOnTheSamePageAndInPlaceOnAnother) {
  Add(10, 20, true);
  Add(30, 40, true);
  Add(90, 90, false);
  doc_->Copy();
  EXPECT_EQ(clipboard_.SetCount(), 1);
  EXPECT_TRUE(doc_->CanPaste());

  doc_->Paste();
  ASSERT_EQ(doc_->ShapeCount(), 5);
  ASSERT_EQ(doc_->SelectedCount(), 2);
  EXPECT_EQ(doc_->SelectedShape(0), doc_->Shapes(3));
  EXPECT_EQ(doc_->Shapes(3)->DocLeft(), 20);
  EXPECT_EQ(doc_->Shapes(3)->DocTop(), 30);
  EXPECT_EQ(doc_->Shapes(4)->DocLeft(), 40);
  EXPECT_EQ(doc_->Shapes(4)->DocTop(), 50);
  EXPECT_NE(doc_->Shapes(3)->ShapeId(), doc_->Shapes(0)->ShapeId());

  doc_->Paste();
  ASSERT_EQ(doc_->ShapeCount(), 7);
  EXPECT_EQ(doc_->Shapes(5)->DocLeft(), 30);
  EXPECT_EQ(doc_->Shapes(5)->DocTop(), 40);
  EXPECT_EQ(doc_->Shapes(6)->DocLeft(), 50);
  EXPECT_EQ(doc_->Shapes(6)->DocTop(), 60);

  doc_->AddPage();
  doc_->SetCurrentPageIndex(1);
  doc_->Paste();
  ASSERT_EQ(doc_->ShapeCount(), 2);
  EXPECT_EQ(doc_->Shapes(0)->DocLeft(), 30);
  EXPECT_EQ(doc_->Shapes(0)->DocTop(), 40);
  EXPECT_EQ(doc_->Shapes(1)->DocLeft(), 50);
  EXPECT_EQ(doc_->Shapes(1)->DocTop(), 60);
  EXPECT_EQ(doc_->LastCopyPage(), doc_->Pages(1));
}

TEST_F(ClipboardTest, PasteAndCutAreOneUndoStepEach) {
  Add(10, 20, true);
  Add(30, 40, false);
  doc_->ClearUndo();
  const std::string start = PageXml(*doc_->CurrentPage());
  doc_->Copy();
  EXPECT_EQ(doc_->UndoCount(), 0);
  doc_->Paste();
  const std::string pasted = PageXml(*doc_->CurrentPage());
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(PageXml(*doc_->CurrentPage()), start);
  EXPECT_FALSE(doc_->CanUndo());
  ASSERT_TRUE(doc_->Redo());
  EXPECT_EQ(PageXml(*doc_->CurrentPage()), pasted);

  doc_->ClearSelection();
  doc_->Shapes(0)->SetSelected(true);
  doc_->Shapes(1)->SetSelected(true);
  doc_->ClearUndo();
  const std::string beforeCut = PageXml(*doc_->CurrentPage());
  doc_->Cut();
  EXPECT_EQ(doc_->ShapeCount(), 1);
  ASSERT_TRUE(doc_->Undo());
  EXPECT_FALSE(doc_->CanUndo());
  EXPECT_EQ(PageXml(*doc_->CurrentPage()), beforeCut);
  EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(ClipboardTest, TextThatIsNoSelectionAddsNothing) {
  Add(0, 0, true);
  clipboard_.SetText("just some words");
  EXPECT_FALSE(doc_->CanPaste());
  doc_->Paste();
  EXPECT_EQ(doc_->ShapeCount(), 1);
  EXPECT_EQ(doc_->SelectedCount(), 1);
  EXPECT_EQ(doc_->PasteFromXml("<?xml version=\"1.0\"?><selection><shape/></selection>"), 0);
  EXPECT_EQ(doc_->PasteFromXml("<?xml version=\"1.0\"?><Selection/>"), 0);
  EXPECT_EQ(doc_->PasteFromXml("<?xml version=\"1.0\"?><Selection><shape>"), 0);
  EXPECT_EQ(doc_->PasteFromXml(""), 0);
  EXPECT_EQ(doc_->ShapeCount(), 1);
  EXPECT_EQ(doc_->SelectedCount(), 1);
  clipboard_.Clear();
  EXPECT_FALSE(doc_->CanPaste());
}

TEST_F(ClipboardTest, InternalClipboardLeavesThePlatformOneAlone) {
  doc_->SetUseClipboard(false);
  EXPECT_FALSE(doc_->CanPaste());
  Add(5, 5, true);
  doc_->Copy();
  EXPECT_EQ(clipboard_.SetCount(), 0);
  EXPECT_TRUE(doc_->CanPaste());
  doc_->Paste();
  EXPECT_EQ(doc_->ShapeCount(), 2);
  EXPECT_EQ(doc_->Shapes(1)->DocLeft(), 15);
  doc_->SetUseClipboard(true);
  EXPECT_TRUE(doc_->ClipboardText.empty());
  EXPECT_FALSE(doc_->CanPaste());

  // A document without a platform clipboard keeps its copies inside.
  TdtpDocument alone;
  auto shape = std::make_unique<TdtpShape>();
  shape->SetSelected(true);
  alone.AddShape(std::move(shape));
  alone.Copy();
  EXPECT_TRUE(alone.CanPaste());
  alone.Paste();
  EXPECT_EQ(alone.ShapeCount(), 2);
}

TEST_F(ClipboardTest, UnregisteredClassBecomesAPlainShape) {
  TdtpShape* s = Add(7, 8, false);
  s->SetMasterAlpha(100);
  const std::string text = SelectionText({{"TNoSuchShape", s->SaveToString()}});
  ASSERT_EQ(doc_->PasteFromXml(text), 1);
  TdtpShape* pasted = doc_->Shapes(1);
  EXPECT_STREQ(pasted->ClassName(), "TdtpShape");
  EXPECT_EQ(pasted->DocLeft(), 7);
  EXPECT_EQ(pasted->MasterAlpha(), 100u);
  EXPECT_TRUE(pasted->Selected());
}

TEST_F(ClipboardTest, NoCurrentPagePastesNothing) {
  Add(1, 1, true);
  doc_->Copy();
  doc_->SetCurrentPageIndex(7);
  ASSERT_EQ(doc_->CurrentPage(), nullptr);
  EXPECT_EQ(doc_->PasteFromXml(clipboard_.Text()), 0);
  doc_->Paste();
  EXPECT_EQ(doc_->Pages(0)->ChildCount(), 1);
}

TEST_F(ClipboardTest, DamagedShapeFailsAloneAndLeavesAConsistentLog) {
  Add(1, 1, false);
  const std::string good = doc_->Shapes(0)->SaveToString();
  doc_->ClearUndo();
  const std::string start = PageXml(*doc_->CurrentPage());
  const std::string text = SelectionText({{"TdtpShape", good}, {"TdtpShape", good.substr(0, good.size() - 3)}});
  doc_->BeginUndo();
  EXPECT_NE(test::ErrorOf([&] { doc_->PasteFromXml(text); }), test::kNoError);
  doc_->EndUndo();
  // The first shape stays; the damaged one does not linger as an empty shape.
  ASSERT_EQ(doc_->ShapeCount(), 2);
  EXPECT_EQ(doc_->Shapes(1)->DocLeft(), 1);
  ASSERT_TRUE(doc_->Undo());
  EXPECT_EQ(PageXml(*doc_->CurrentPage()), start);
  EXPECT_TRUE(boxes_.Messages().empty());
}

TEST_F(ClipboardTest, PastedSnapshotMayNotReplaceArchiveStreams) {
  TMemoryStream file;
  doc_->SaveToStream(file);
  ASSERT_TRUE(doc_->Storage().StreamExists("Index.xml"));
  TMemoryStream index;
  doc_->Storage().ReadStream("Index.xml", index);

  const std::string xml = Add(0, 0, false)->SaveToString().substr(4);
  for (const char* name : {"Index.xml", "page0001.XML", "Thumb0001.bmp"}) {
    SCOPED_TRACE(name);
    std::string snapshot;
    PutI32(snapshot, 1);
    PutI32(snapshot, static_cast<uint32_t>(std::string(name).size()));
    snapshot += name;
    PutI32(snapshot, 4);
    snapshot += "evil";
    snapshot += xml;
    EXPECT_NE(test::ErrorOf([&] { doc_->PasteFromXml(SelectionText({{"TdtpShape", snapshot}})); }),
              test::kNoError);
    EXPECT_EQ(doc_->ShapeCount(), 1);
  }
  TMemoryStream after;
  doc_->Storage().ReadStream("Index.xml", after);
  EXPECT_EQ(after.Bytes(), index.Bytes());
}

TEST_F(ClipboardTest, BusyDocumentRefusesClipboardWork) {
  Add(1, 1, true);
  doc_->BeginBusy();
  for (auto op : {&TdtpDocument::Copy, &TdtpDocument::Cut, &TdtpDocument::Paste}) {
    EXPECT_EQ(test::ErrorOf([&] { (doc_.get()->*op)(); }), "Threading error (working already)");
  }
  doc_->EndBusy();
  EXPECT_EQ(doc_->ShapeCount(), 1);
  EXPECT_EQ(clipboard_.SetCount(), 0);
}

}  // namespace
}  // namespace sw
