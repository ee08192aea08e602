#include "engine/document.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "engine_test_support.h"
#include "platform/headless_timer.h"
#include "support/errors.h"

namespace sw {
namespace {

using test::ErrorOf;
using test::XmlOf;

class DocumentTest : public ::testing::Test {
protected:
  void SetUp() override { test::RegisterClasses(); }

  static TdtpShape* Add(TdtpDocument& doc, const std::string& name = {}) {
    auto s = std::make_unique<TdtpShape>();
    s->SetBounds(10, 10, 20, 20);
    s->SetName(name);
    return doc.Shapes(doc.AddShape(std::move(s)));
  }

  std::string TempFile(const std::string& stem) {
    return TempFolder() + "/document_test_" + stem + "_" + std::to_string(::getpid()) + ".fmd";
  }
};

std::string StreamText(TsdStorage& storage, const std::string& name) {
  TMemoryStream s;
  storage.ReadStream(name, s);
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

void PutStream(TsdStorage& storage, const std::string& name, const std::string& text) {
  TMemoryStream s(std::vector<uint8_t>(text.begin(), text.end()));
  storage.WriteStream(name, s);
}

TEST_F(DocumentTest, NewAndClearedState) {
  TdtpDocument doc;
  EXPECT_EQ(doc.PageCount(), 1);
  EXPECT_EQ(doc.CurrentPageIndex(), 0);
  EXPECT_FLOAT_EQ(doc.PageWidth(), 210);
  EXPECT_FLOAT_EQ(doc.PageHeight(), 297);
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(doc.UndoCount(), 0);
  EXPECT_EQ(doc.ProbeCount(), 21);
  EXPECT_EQ(doc.Probe(20).X, -3);
  doc.Clear();
  EXPECT_EQ(doc.PageCount(), 0);
  EXPECT_EQ(doc.CurrentPageIndex(), -1);
  EXPECT_FLOAT_EQ(doc.PageWidth(), 0);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.AddShape(std::make_unique<TdtpShape>()), -1);
  EXPECT_EQ(doc.SelectedShape(0), nullptr);
}

TEST_F(DocumentTest, PageCountLimitsAndTheNextPage) {
  TdtpDocument doc;
  doc.SetPageCount(3);
  EXPECT_EQ(ErrorOf([&] { doc.SetPageCount(26); }), "Invalid page count");
  EXPECT_EQ(ErrorOf([&] { doc.SetPageCount(-1); }), "Invalid page count");
  EXPECT_EQ(doc.PageCount(), 3);
  doc.SetPageCount(0);
  EXPECT_EQ(doc.PageCount(), 0);
  EXPECT_EQ(doc.CurrentPageIndex(), 0);
  EXPECT_EQ(doc.CurrentPage(), nullptr);
  std::vector<TdtpPage*> announced;
  doc.OnPageChanged = [&](TdtpDocument*, TdtpPage* p) { announced.push_back(p); };
  const int index = doc.AddPage();
  ASSERT_EQ(index, 0);
  EXPECT_EQ(doc.CurrentPage(), doc.Pages(0));
  ASSERT_FALSE(announced.empty());
  EXPECT_EQ(announced.front(), doc.Pages(0)) << "the new page became current";
  doc.SetPageCount(kMaxPageCount);
  EXPECT_EQ(doc.AddPage(), -1);
}

TEST_F(DocumentTest, AddPageRefusesOwnedPages) {
  TdtpDocument doc, other;
  EXPECT_EQ(doc.AddPage(other.CurrentPage()), -1);
  EXPECT_EQ(doc.AddPage(doc.CurrentPage()), -1);
  auto page = std::make_unique<TdtpPage>();
  TdtpShape holder;
  TdtpPage* raw = page.get();
  holder.AddChild(std::move(page));
  EXPECT_EQ(doc.AddPage(raw), -1);
  EXPECT_EQ(doc.PageCount(), 1);
}

TEST_F(DocumentTest, DeletingAPageRenamesTheLaterStreams) {
  TdtpDocument doc;
  doc.SetPageCount(3);
  for (int n = 1; n <= 3; ++n) {
    PutStream(doc.Storage(), Format("Page%.4d.xml", n), "page " + std::to_string(n));
    PutStream(doc.Storage(), Format("Thumb%.4d.bmp", n), "thumb " + std::to_string(n));
  }
  doc.SetCurrentPageIndex(2);
  TdtpPage* current = doc.CurrentPage();
  doc.SetModified(false);
  doc.DeletePage(0);
  EXPECT_EQ(StreamText(doc.Storage(), "Page0001.xml"), "page 2");
  EXPECT_EQ(StreamText(doc.Storage(), "Page0002.xml"), "page 3");
  EXPECT_EQ(StreamText(doc.Storage(), "Thumb0002.bmp"), "thumb 3");
  EXPECT_FALSE(doc.Storage().StreamExists("Page0003.xml"));
  EXPECT_EQ(doc.CurrentPageIndex(), 1);
  EXPECT_EQ(doc.CurrentPage(), current);
  EXPECT_TRUE(doc.Modified());

  // Deleting the current page makes the one now at its index current.
  doc.DeletePage(1);
  EXPECT_EQ(doc.CurrentPageIndex(), 0);
  EXPECT_EQ(doc.CurrentPage(), doc.Pages(0));
  doc.DeletePage(7);
  EXPECT_EQ(doc.PageCount(), 1);
}

TEST_F(DocumentTest, CurrentPageAnnouncements) {
  TdtpDocument doc;
  doc.AddPage();
  std::vector<TdtpPage*> announced;
  doc.OnPageChanged = [&](TdtpDocument*, TdtpPage* p) { announced.push_back(p); };
  doc.SetCurrentPageIndex(0);
  EXPECT_EQ(announced, (std::vector<TdtpPage*>{doc.Pages(0)}));
  announced.clear();
  doc.SetCurrentPageIndex(1);
  EXPECT_EQ(announced, (std::vector<TdtpPage*>{doc.Pages(0), doc.Pages(1)}));
  // Resizing the current page asks for the scroll range through its bounds callback.
  EXPECT_TRUE(static_cast<bool>(doc.Pages(1)->OnBoundsChanged));
  EXPECT_FALSE(static_cast<bool>(doc.Pages(0)->OnBoundsChanged));
}

TEST_F(DocumentTest, ChangesInsideAnUpdateAreAnnouncedOnce) {
  TdtpDocument doc;
  TdtpShape* s = Add(doc);
  std::vector<TdtpShape*> changes;
  int selections = 0;
  doc.OnShapeChanged = [&](TdtpDocument*, TdtpShape* shape) { changes.push_back(shape); };
  doc.OnSelectionChanged = [&](TdtpDocument*) { ++selections; };
  doc.BeginUpdate();
  s->SetLeft(1);
  s->SetLeft(2);
  s->SetName("x");
  s->SetSelected(true);
  s->SetSelected(false);
  EXPECT_TRUE(changes.empty());
  doc.EndUpdate();
  EXPECT_EQ(changes, (std::vector<TdtpShape*>{nullptr}));
  EXPECT_EQ(selections, 1);
  changes.clear();
  s->SetLeft(3);
  EXPECT_EQ(changes, (std::vector<TdtpShape*>{s}));
}

TEST_F(DocumentTest, AStrayEndBreaksNothingLater) {
  TdtpDocument doc;
  TdtpShape* s = Add(doc);
  int changes = 0;
  doc.OnShapeChanged = [&](TdtpDocument*, TdtpShape*) { ++changes; };
  EXPECT_EQ(ErrorOf([&] { doc.EndUpdate(); }), "EndUpdate called more often than BeginUpdate");
  EXPECT_EQ(doc.UpdateCount(), 0);
  s->SetLeft(5);
  EXPECT_EQ(changes, 1) << "changes are still announced";
  doc.BeginUpdate();
  EXPECT_EQ(ErrorOf([&] { doc.EndUpdate(); }), test::kNoError);
  EXPECT_EQ(ErrorOf([&] { doc.EndUndo(); }), "EndUndo called more often than BeginUndo");
  EXPECT_EQ(doc.UpdateCount(), 0) << "EndUpdate was not called";
  EXPECT_EQ(ErrorOf([&] { doc.EndPrinting(); }), "EndPrinting called more often than BeginPrinting");
  EXPECT_FALSE(doc.IsPrinting());
  doc.BeginPrinting();
  EXPECT_TRUE(doc.IsPrinting());
  doc.EndPrinting();
  EXPECT_FALSE(doc.IsPrinting());
}

TEST_F(DocumentTest, IdentitiesAreHandedOutInOrder) {
  TdtpDocument doc;
  EXPECT_EQ(doc.CurrentPage()->ShapeId(), 1);
  TdtpShape* a = Add(doc);
  TdtpShape* b = Add(doc);
  EXPECT_EQ(a->ShapeId(), 2);
  EXPECT_EQ(b->ShapeId(), 3);
  std::unique_ptr<TdtpShape> out(doc.CurrentPage()->ExtractChild(a));
  EXPECT_EQ(out->Document(), nullptr);
  doc.AddShape(std::move(out));
  EXPECT_EQ(doc.Shapes(1)->ShapeId(), 4);
}

TEST_F(DocumentTest, ModifiedMovesTheTickEvenWhenUnchanged) {
  TdtpDocument doc;
  const uint64_t before = doc.LastModificationTick();
  ::usleep(20000);
  doc.SetModified(false);
  EXPECT_GT(doc.LastModificationTick(), before);
  Add(doc);
  EXPECT_TRUE(doc.Modified());
  EXPECT_TRUE(doc.CurrentPage()->IsChanged());
  doc.SetModified(false);
  EXPECT_FALSE(doc.CurrentPage()->IsChanged());
  EXPECT_FALSE(doc.Shapes(0)->IsChanged());
}

TEST_F(DocumentTest, ModeAndReadOnly) {
  TdtpDocument doc;
  TdtpShape* s = Add(doc);
  s->SetSelected(true);
  doc.SetReadOnly(true);
  EXPECT_EQ(doc.Mode(), vmBrowse);
  EXPECT_FALSE(s->Selected());
  s->SetSelected(true);
  doc.SetMode(vmEdit);
  EXPECT_EQ(doc.Mode(), vmBrowse);
  EXPECT_FALSE(s->Selected());
}

TEST_F(DocumentTest, SelectionAndFocus) {
  TdtpDocument doc;
  TdtpShape* a = Add(doc, "a");
  TdtpShape* b = Add(doc, "b");
  TdtpShape* c = Add(doc, "c");
  doc.ToggleSelection(b);
  EXPECT_EQ(doc.FocusedShape(), b);
  doc.ToggleSelection(c);
  c->AllowDelete = false;
  EXPECT_EQ(doc.SelectedCount(), 2);
  EXPECT_EQ(doc.SelectedShape(1), c);
  a->SetAllowSelect(false);
  a->SetSelected(true);
  EXPECT_FALSE(a->Selected());
  int listChanges = 0;
  doc.OnShapeListChanged = [&](TdtpDocument*) { ++listChanges; };
  doc.DeleteSelection();
  ASSERT_EQ(doc.ShapeCount(), 2);
  EXPECT_EQ(doc.Shapes(1)->Name(), "c");
  EXPECT_EQ(listChanges, 1);
  EXPECT_EQ(doc.FocusedShape(), c);
  doc.DeleteShapeObject(c);
  EXPECT_EQ(doc.FocusedShape(), nullptr);
}

TEST_F(DocumentTest, NoReferenceOutlivesItsShape) {
  TdtpDocument doc;
  auto group = std::make_unique<TdtpShape>();
  TdtpShape* inner = group->Child(group->AddChild(std::make_unique<TdtpShape>()));
  TdtpShape* g = doc.Shapes(doc.AddShape(std::move(group)));
  doc.SetFocusedShape(inner);
  doc.SetMouseShape(inner);
  doc.SetHintShape(inner);
  doc.SetEditShape(inner);
  std::vector<TdtpShape*> destroyed;
  doc.OnShapeDestroy = [&](TdtpDocument*, TdtpShape* s) { destroyed.push_back(s); };
  doc.DeleteShapeObject(g);
  EXPECT_EQ(destroyed, (std::vector<TdtpShape*>{g}));
  EXPECT_EQ(doc.MouseShape(), nullptr);
  EXPECT_EQ(doc.HintShape(), nullptr);
  EXPECT_EQ(doc.EditShape(), nullptr);
  doc.SetFocusedShape(nullptr);

  // Extracting counts as leaving too.
  TdtpShape* s = Add(doc);
  doc.SetMouseShape(s);
  std::unique_ptr<TdtpShape> out(doc.CurrentPage()->ExtractChild(s));
  EXPECT_EQ(doc.MouseShape(), nullptr);

  // A deleted page takes the last copy page with it; so does Clear.
  doc.AddPage();
  doc.SetLastCopyPage(doc.Pages(1));
  doc.DeletePage(1);
  EXPECT_EQ(doc.LastCopyPage(), nullptr);
  doc.SetLastCopyPage(doc.Pages(0));
  doc.SetHintShape(Add(doc));
  doc.Clear();
  EXPECT_EQ(doc.LastCopyPage(), nullptr);
  EXPECT_EQ(doc.HintShape(), nullptr);
}

TEST_F(DocumentTest, TimerTicksWaitWhileBusyAndRebuildOneThumbnailEach) {
  THeadlessTimerService timers;
  TServices services;
  services.Timers = &timers;
  TdtpDocument doc(services);
  doc.SetPageCount(3);
  doc.AutoPageUpdate = true;
  doc.PageUpdateInterval = 0;
  int animations = 0;
  doc.OnAnimate = [&](TdtpDocument*) { ++animations; };
  std::vector<TdtpPage*> rebuilt;
  doc.OnPageChanged = [&](TdtpDocument*, TdtpPage* p) { rebuilt.push_back(p); };
  for (int i = 0; i < 3; ++i) doc.Pages(i)->SetThumbnailStale(true);

  EXPECT_EQ(timers.Advance(50), 1u);
  EXPECT_EQ(animations, 1);
  EXPECT_EQ(rebuilt, (std::vector<TdtpPage*>{doc.Pages(0)}));
  doc.BeginBusy();
  timers.Advance(50);
  EXPECT_EQ(animations, 1) << "nothing happens while busy";
  doc.EndBusy();
  doc.BeginPrinting();
  timers.Advance(50);
  EXPECT_EQ(animations, 1);
  doc.EndPrinting();
  timers.Advance(100);
  EXPECT_EQ(animations, 3);
  EXPECT_EQ(rebuilt.size(), 3u);
  EXPECT_FALSE(doc.Pages(2)->ThumbnailStale());

  // A document without a timer service simply has no timer.
  TdtpDocument quiet;
  EXPECT_EQ(quiet.Timer(), nullptr);
}

TEST_F(DocumentTest, FailedSaveKeepsModifiedAndTheUndoLog) {
  TdtpDocument doc;
  Add(doc)->SetLeft(3);
  ASSERT_TRUE(doc.Modified());
  const int undo = doc.UndoCount();
  ASSERT_GT(undo, 0);
  EXPECT_NE(ErrorOf([&] { doc.SaveToFile("/nonexistent-folder/x/design.fmd"); }), test::kNoError);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.UndoCount(), undo);
  EXPECT_FALSE(doc.IsBusy());

  TMemoryStream positioned;
  positioned.WriteBuffer("x", 1);  // a stream not at position 0 is refused by the storage
  EXPECT_NE(ErrorOf([&] { doc.SaveToStream(positioned); }), test::kNoError);
  EXPECT_TRUE(doc.Modified());

  doc.UndoPastSave = true;
  TMemoryStream good;
  doc.SaveToStream(good);
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(doc.UndoCount(), undo);
  doc.UndoPastSave = false;
  const std::string file = TempFile("save");
  doc.SaveToFile(file);
  EXPECT_EQ(doc.UndoCount(), 0);
  std::remove(file.c_str());
}

TEST_F(DocumentTest, SavedDocumentLoadsBack) {
  const std::string file = TempFile("roundtrip");
  std::string firstPage, secondPage;
  {
    TdtpDocument doc;
    Add(doc, "one")->SetAngle(30);
    doc.AddPage();
    doc.SetCurrentPageIndex(1);
    Add(doc, "two");
    doc.Pages(1)->SetMarginLeft(7);
    doc.SetDefaultGridSize(2.5f);
    firstPage = XmlOf(*doc.Pages(0), "Page");
    secondPage = XmlOf(*doc.Pages(1), "Page");
    doc.SaveToFile(file);
  }
  TdtpDocument back;
  std::vector<int32_t> progress;
  back.OnProgress = [&](TdtpDocument* d, TdtpProgressType, int32_t count, int32_t, float) {
    progress.push_back(count);
    EXPECT_EQ(ErrorOf([&] { d->SaveToFile("/tmp/never"); }), "Threading error (working already)");
  };
  back.LoadFromFile(file);
  EXPECT_EQ(back.PageCount(), 2);
  EXPECT_EQ(back.CurrentPageIndex(), 0);
  EXPECT_FALSE(back.Modified());
  EXPECT_FLOAT_EQ(back.DefaultGridSize(), 2.5f);
  EXPECT_TRUE(back.Pages(0)->Loaded());
  EXPECT_FALSE(back.Pages(1)->Loaded()) << "pages are read on first use";
  EXPECT_EQ(progress, (std::vector<int32_t>{1, 2, 2}));
  EXPECT_EQ(XmlOf(*back.Pages(0), "Page"), firstPage);
  // Writing an unread page reads it first instead of writing it empty.
  EXPECT_EQ(XmlOf(*back.Pages(1), "Page"), secondPage);
  EXPECT_TRUE(back.Pages(1)->Loaded());
  EXPECT_FALSE(back.Modified()) << "reading a page changes nothing";
  std::remove(file.c_str());
  EXPECT_EQ(ErrorOf([&] { back.LoadFromFile(file); }), "Cannot find file \"" + file + "\"");
}

TEST_F(DocumentTest, UnreadPagesKeepTheirContentThroughDefaultChanges) {
  const std::string file = TempFile("unread");
  std::string secondPage;
  {
    TdtpDocument doc;
    doc.AddPage();
    doc.SetCurrentPageIndex(1);
    Add(doc, "kept");
    doc.SaveToFile(file);
  }
  TdtpDocument back;
  back.LoadFromFile(file);
  ASSERT_FALSE(back.Pages(1)->Loaded());
  back.SetDefaultPageWidth(100);
  EXPECT_TRUE(back.Pages(1)->Loaded());
  EXPECT_FLOAT_EQ(back.Pages(1)->DocWidth(), 100);
  ASSERT_EQ(back.Pages(1)->ChildCount(), 1);
  back.SaveToFile(file);

  TdtpDocument again;
  again.LoadFromFile(file);
  again.SetCurrentPageIndex(1);
  ASSERT_EQ(again.ShapeCount(), 1);
  EXPECT_EQ(again.Shapes(0)->Name(), "kept");
  EXPECT_FLOAT_EQ(again.PageWidth(), 100);
  std::remove(file.c_str());
}

TEST_F(DocumentTest, SettingsReadBackAsWritten) {
  TdtpDocument doc;
  doc.StoreThumbnails = false;
  doc.SetDefaultPageColor(0);
  doc.SetDefaultGridColor(0);
  doc.SetDefaultMarginLeft(0);
  doc.ThumbnailWidth = 120;
  TMemoryStream bytes;
  doc.SaveToStream(bytes);
  bytes.SetPosition(0);
  TdtpDocument back;
  back.LoadFromStream(bytes);
  EXPECT_FALSE(back.StoreThumbnails);
  EXPECT_EQ(back.DefaultPageColor(), 0);
  EXPECT_EQ(back.DefaultGridColor(), 0);
  EXPECT_FLOAT_EQ(back.DefaultMarginLeft(), 0);
  EXPECT_FLOAT_EQ(back.DefaultMarginTop(), 10);
  EXPECT_EQ(back.ThumbnailWidth, 120);
  EXPECT_EQ(back.CurrentPage()->PageColor(), 0) << "the default page shows the black default";
}

TEST_F(DocumentTest, ArchiveWithoutIndexIsRefused) {
  TdtpDocument doc;
  TsdStorage storage;
  PutStream(storage, "Index.xml", "");
  TMemoryStream bytes;
  storage.SaveToStream(bytes);
  bytes.SetPosition(0);
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromStream(bytes); }), "No index found in archive");
  EXPECT_EQ(doc.UpdateCount(), 0);
  EXPECT_FALSE(doc.IsBusy());
  EXPECT_FALSE(doc.IsLoading());
}

}  // namespace
}  // namespace sw
