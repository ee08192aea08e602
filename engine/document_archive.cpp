// The document archive: "Index.xml" with the settings, "Page%.4d.xml" per page (numbered from 1),
// "Thumb%.4d.bmp" per page thumbnail, and the streams of pictures kept apart from the XML.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "base/exception.h"
#include "base/stream.h"
#include "engine/document.h"
#include "storage/formats/bmp_format.h"
#include "storage/resources/resource_thread.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

std::string PageStreamName(int number) { return Format("Page%.4d.xml", number); }
std::string ThumbStreamName(int number) { return Format("Thumb%.4d.bmp", number); }

// The page number a stream name gives: characters 5 to 8 of a name starting exactly "Page";
// 0 when it is no such name or they are no number.
int PageNumberOf(const std::string& name) {
  if (name.size() < 8 || name.compare(0, 4, "Page") != 0) return 0;
  int n = 0;
  for (size_t i = 4; i < 8; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

bool HoldsPicture(TdtpBitmapResource& r) {
  return r.HasBitmap() || r.Data().Size() > 0 || !r.ArchiveName().empty() || !r.FileName().empty();
}

}  // namespace

void TdtpDocument::ReadSettings(const TXmlNode& node) {
  HandleColor = node.ReadInteger("HandleColor", 0);
  HandleEdgeColor = node.ReadInteger("HandleEdgeColor", 0);
  HotzoneScrolling = static_cast<TdtpHotzoneScrollingType>(std::clamp(node.ReadInteger("HotzoneScrolling", 0), 0, 255));
  Quality = static_cast<uint8_t>(std::clamp(node.ReadInteger("StretchFilter", 0), 0, 255));
  readOnly_ = node.ReadBool("ReadOnly", false);
  const double render = node.ReadFloat("RenderDpm", kDefaultDpm);
  renderDpm_ = std::isfinite(render) && render > 0 ? render : kDefaultDpm;
  const double screen = node.ReadFloat("ScreenDpm", kDefaultDpm);
  screenDpm_ = std::isfinite(screen) && screen > 0 ? screen : kDefaultDpm;
  StoreThumbnails = node.ReadBool("StoreThumbnails", true);
  showMargins_ = node.ReadBool("ShowMargins", false);
  SnapToGrid = node.ReadBool("SnapToGrid", false);
  StepAngle = FiniteOr(node.ReadFloat("StepAngle", 0), 0);
  ViewStyle = node.ReadInteger("ViewStyle", 0) == 1 ? vsNormal : vsPrintLayout;
  defaultPageWidth_ = FiniteOr(node.ReadFloat("DefaultPageWidth", 210), 210);
  defaultPageHeight_ = FiniteOr(node.ReadFloat("DefaultPageHeight", 297), 297);
  defaultMargins_[0] = FiniteOr(node.ReadFloat("DefaultMarginLeft", 10), 10);
  defaultMargins_[1] = FiniteOr(node.ReadFloat("DefaultMarginTop", 10), 10);
  defaultMargins_[2] = FiniteOr(node.ReadFloat("DefaultMarginRight", 10), 10);
  defaultMargins_[3] = FiniteOr(node.ReadFloat("DefaultMarginBottom", 10), 10);
  defaultGridSize_ = FiniteOr(node.ReadFloat("DefaultGridSize", 5), 5);
  defaultGridColor_ = node.ReadColor("DefaultGridColor", 0xFFFFC0);
  defaultPageColor_ = node.ReadColor("DefaultPageColor", 0xFFFFFF);
  if (const TXmlNode* image = node.FindChild("DefaultBgrImage")) {
    if (image->FindChild("SourceSize")) {
      TBitmap32 bitmap;
      ReadXmlBitmap(&node, "DefaultBgrImage", bitmap);
      defaultBackground_->SetBitmap(&bitmap);
    } else {
      defaultBackground_->LoadFromXml(*const_cast<TXmlNode*>(image));
    }
  }
  defaultBackgroundTiled_ = node.ReadBool("DefaultBgrTiled", false);
  // Thumbnails are small previews; a hostile size must not make every page allocate gigabytes.
  ThumbnailWidth = std::clamp(node.ReadInteger("ThumbnailWidth", 80), 1, 1024);
  ThumbnailHeight = std::clamp(node.ReadInteger("ThumbnailHeight", 60), 1, 1024);
  if (OnLoadAdditionalInfo) OnLoadAdditionalInfo(this, const_cast<TXmlNode*>(&node));
  InvalidateWindow();
}

void TdtpDocument::WriteSettings(TXmlNode& node) {
  // Each value is left out only when it equals what the reader assumes for a missing element, so
  // that a setting such as StoreThumbnails false or a black default page colour reads back as
  // written; readers of either form see the same values.
  node.WriteHex("HandleColor", static_cast<uint32_t>(HandleColor), 0, 8);
  node.WriteHex("HandleEdgeColor", static_cast<uint32_t>(HandleEdgeColor), 0, 8);
  node.WriteInteger("HotzoneScrolling", HotzoneScrolling, 0);
  node.WriteInteger("StretchFilter", Quality, 0);
  node.WriteBool("ReadOnly", readOnly_, false);
  node.WriteFloat("RenderDpm", renderDpm_, kDefaultDpm);
  node.WriteFloat("ScreenDpm", screenDpm_, kDefaultDpm);
  node.WriteBool("StoreThumbnails", StoreThumbnails, true);
  node.WriteBool("ShowMargins", showMargins_, false);
  node.WriteBool("SnapToGrid", SnapToGrid, false);
  node.WriteFloat("StepAngle", StepAngle, 0);
  node.WriteInteger("ViewStyle", ViewStyle, 0);
  node.WriteFloat("DefaultPageWidth", defaultPageWidth_, 210);
  node.WriteFloat("DefaultPageHeight", defaultPageHeight_, 297);
  node.WriteFloat("DefaultMarginLeft", defaultMargins_[0], 10);
  node.WriteFloat("DefaultMarginTop", defaultMargins_[1], 10);
  node.WriteFloat("DefaultMarginRight", defaultMargins_[2], 10);
  node.WriteFloat("DefaultMarginBottom", defaultMargins_[3], 10);
  node.WriteFloat("DefaultGridSize", defaultGridSize_, 5);
  node.WriteColor("DefaultGridColor", defaultGridColor_, 0xFFFFC0);
  node.WriteColor("DefaultPageColor", defaultPageColor_, 0xFFFFFF);
  if (HoldsPicture(*defaultBackground_)) defaultBackground_->SaveToXml(*node.NewChild("DefaultBgrImage"));
  node.WriteBool("DefaultBgrTiled", defaultBackgroundTiled_, false);
  node.WriteInteger("ThumbnailWidth", ThumbnailWidth, 80);
  node.WriteInteger("ThumbnailHeight", ThumbnailHeight, 60);
  if (OnSaveAdditionalInfo) OnSaveAdditionalInfo(this, &node);
}

void TdtpDocument::LoadFromArchive() {
  TResourceLock lock;
  BeginLoading();
  try {
    TMemoryStream index;
    storage_.ReadStream("Index.xml", index);
    if (index.Size() == 0) RaiseError("No index found in archive");
    {
      TNativeXml xml;
      xml.LoadFromStream(index);
      if (!xml.Root()) RaiseError("No root element found in xml");
      ReadSettings(*xml.Root());
    }
    int count = 0;
    for (int i = 0; i < storage_.StreamCount(); ++i) count = std::max(count, PageNumberOf(storage_.StreamName(i)));
    if (count > kMaxPageCount) RaiseError("Invalid page count");
    for (int k = 1; k <= count; ++k) {
      Progress(ptLoad, k, static_cast<float>(k - 1) / static_cast<float>(count), count);
      auto page = std::make_unique<TdtpPage>();
      page->SetLoaded(false);
      if (StoreThumbnails) {
        try {
          TMemoryStream thumb;
          storage_.ReadStream(ThumbStreamName(k), thumb);
          if (thumb.Size() > 0) {
            TBitmap32 bitmap;
            DecodeBmp(thumb.Memory(), static_cast<size_t>(thumb.Size()), bitmap);
            page->SetThumbnail(&bitmap);
          }
        } catch (const std::exception&) {
          // A missing or damaged thumbnail is only a preview; the page reads without it.
        }
      }
      if (AddPage(std::move(page)) < 0) RaiseError("Invalid page count");
    }
    currentPageIndex_ = -1;
    SetCurrentPageIndex(0);
    SetModified(false);
    Progress(ptLoad, count, 1, count);
  } catch (...) {
    EndLoading();
    throw;
  }
  EndLoading();
  InvalidateWindow();
}

void TdtpDocument::LoadPage(int index) {
  TdtpPage* page = Pages(index);
  if (!page || page->Loaded()) return;
  TResourceLock lock;
  BeginLoading();
  const bool wasModified = modified_;
  try {
    page->SetLoaded(true);
    TMemoryStream stream;
    storage_.ReadStream(PageStreamName(index + 1), stream);
    if (stream.Size() > 0) {
      TNativeXml xml;
      // The text's bytes are taken as they stand and treated as UTF-8 afterwards.
      xml.SetUtf8Strings(false);
      xml.LoadFromStream(stream);
      xml.SetUtf8Strings(true);
      if (!xml.Root()) RaiseError("No root element found in xml");
      DisableUndo();
      try {
        page->LoadFromXml(xml.Root());
      } catch (...) {
        EnableUndo();
        throw;
      }
      EnableUndo();
      page->Refresh();
    }
    // Reading a page is no change of the document.
    page->SetChanged(false);
    if (!wasModified) SetModified(false);
  } catch (...) {
    EndLoading();
    throw;
  }
  EndLoading();
}

void TdtpDocument::SaveToArchive() {
  TResourceLock lock;
  {
    TNativeXml xml("Document");
    xml.SetLayout(TXmlLayout::Readable);
    WriteSettings(*xml.Root());
    TMemoryStream stream;
    xml.SaveToStream(stream);
    storage_.WriteStream("Index.xml", stream);
  }
  const int count = PageCount();
  for (int i = 0; i < count; ++i) {
    TdtpPage* page = Pages(i);
    const int k = i + 1;
    const std::string name = PageStreamName(k);
    // An unread page is unchanged and its stream already holds it.
    if (page->Loaded() && (page->IsChanged() || !storage_.StreamExists(name))) {
      TNativeXml xml("Page");
      xml.Root()->AddAttribute("Index", static_cast<int64_t>(k));
      page->SaveToXml(*xml.Root());
      Progress(ptSave, k, (static_cast<float>(i) + 0.2f) / static_cast<float>(count), count);
      TMemoryStream stream;
      xml.SaveToStream(stream);
      Progress(ptSave, k, (static_cast<float>(i) + 0.6f) / static_cast<float>(count), count);
      storage_.WriteStream(name, stream);
      Progress(ptSave, k, (static_cast<float>(i) + 0.7f) / static_cast<float>(count), count);
      if (StoreThumbnails) {
        if (TBitmap32* thumb = page->Thumbnail()) {
          TMemoryStream bmp;
          EncodeBmp(*thumb, bmp);
          storage_.WriteStream(ThumbStreamName(k), bmp);
        } else {
          storage_.DeleteStream(ThumbStreamName(k));
        }
      }
    }
    TrimResources();
  }
  Progress(ptSave, count, 1, count);
}

}  // namespace sw
