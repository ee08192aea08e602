// The clipboard of shapes: the selected direct children of the current page travel as a
// "Selection" XML document with one "shape" element per shape, holding its "ClassName" and, as its
// own value, the shape's snapshot in Base64. Pasted text is foreign input: the snapshot reader
// checks every length and refuses the archive's own stream names.
#include "base/exception.h"
#include "engine/bracket_p.h"
#include "engine/document.h"
#include "engine/registry.h"
#include "platform/clipboard.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

// Clipboard text beyond this is no copy of ours (a copy holds its pictures, so it may be large).
constexpr size_t kMaxPasteText = size_t{256} << 20;

}  // namespace

std::string TdtpDocument::SelectionToXml() const {
  if (SelectedCount() == 0) return {};
  TNativeXml xml("Selection");
  xml.SetLayout(TXmlLayout::Readable);
  // One pass over the children: SelectedShape(i) would search from the start for every i.
  for (int i = 0; i < ShapeCount(); ++i) {
    TdtpShape* shape = Shapes(i);
    if (!shape->Selected()) continue;
    TXmlNode* node = xml.Root()->NewChild("shape");
    node->WriteString("ClassName", shape->ClassName());
    node->SetBinaryString(shape->SaveToString());
  }
  return xml.SaveToString();
}

int TdtpDocument::PasteFromXml(const std::string& text) {
  TdtpPage* page = CurrentPage();
  if (!page || text.empty() || text.size() > kMaxPasteText) return 0;
  TNativeXml xml;
  try {
    xml.LoadFromString(text);
  } catch (const Exception&) {
    return 0;
  }
  const TXmlNode* root = xml.Root();
  if (!root || root->Name() != "Selection" || root->ChildCount() == 0) return 0;
  std::vector<TXmlNode*> elements;
  root->FindChildren("shape", elements);
  ClearSelection();
  int count = 0;
  for (const TXmlNode* element : elements) {
    // Decoding first: damaged Base64 fails before anything joins the page.
    const std::string snapshot = element->BinaryString();
    // The shape joins the page unrecorded and is recorded once loaded: a shape whose snapshot
    // fails leaves again without a trace, so no record can point at a shape that is gone.
    DisableUndo();
    TdtpShape* shape = nullptr;
    try {
      const int index = AddShape(CreateShapeByClassName(element->ReadString("ClassName", "")));
      shape = page->Child(index);
      if (shape) shape->LoadFromString(snapshot);
    } catch (...) {
      if (shape) page->DeleteChildObject(shape);
      EnableUndo();
      throw;
    }
    EnableUndo();
    if (!shape) break;
    page->RecordInteger(ckInsert, "", page->IndexOfChild(shape));
    shape->AfterPaste();
    shape->Refresh();
    shape->SetSelected(true);
    ++count;
  }
  return count;
}

void TdtpDocument::Copy() {
  CheckNotBusy();
  if (!HasSelection()) return;
  Bracket([this] { BeginUndo(); }, [this] { EndUndo(); }, [this] {
    const std::string text = SelectionToXml();
    if (useClipboard_ && services_.Clipboard) {
      services_.Clipboard->SetText(text);
    } else {
      ClipboardText = text;
    }
    lastCopyPage_ = CurrentPage();
  });
}

void TdtpDocument::Cut() {
  CheckNotBusy();
  Bracket([this] { BeginUndo(); }, [this] { EndUndo(); }, [this] {
    Copy();
    DeleteSelection();
  });
}

void TdtpDocument::Paste() {
  CheckNotBusy();
  Bracket([this] { BeginUndo(); }, [this] { EndUndo(); }, [this] {
    const std::string text =
        useClipboard_ && services_.Clipboard ? services_.Clipboard->Text() : ClipboardText;
    if (PasteFromXml(text) <= 0) return;
    if (CurrentPage() == lastCopyPage_) {
      for (int i = 0; i < ShapeCount(); ++i) {
        TdtpShape* shape = Shapes(i);
        if (!shape->Selected()) continue;
        const TFloatPoint offset = shape->PasteOffset();
        shape->SetBoundsLeft(shape->BoundsInParent(false).Left + offset.X);
        shape->SetBoundsTop(shape->BoundsInParent(false).Top + offset.Y);
      }
    }
    lastCopyPage_ = CurrentPage();
    Copy();
  });
}

bool TdtpDocument::CanPaste() const {
  if (!useClipboard_ || !services_.Clipboard) return !ClipboardText.empty();
  return services_.Clipboard->HasText() && services_.Clipboard->Text().compare(0, 5, "<?xml") == 0;
}

void TdtpDocument::SetUseClipboard(bool value) {
  if (value == useClipboard_) return;
  useClipboard_ = value;
  if (value) ClipboardText.clear();
}

}  // namespace sw
