// The document archive: "Index.xml" with the settings, "Page%.4d.xml" per page (numbered from 1),
// "Thumb%.4d.bmp" per page thumbnail, and the streams of pictures kept apart from the XML.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "engine/document.h"
#include "storage/formats/bmp_format.h"
#include "storage/resources/resource_thread.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

constexpr double kDefaultPageWidth = 210;
constexpr double kDefaultPageHeight = 297;
constexpr double kDefaultMargin = 10;
constexpr double kDefaultGridSize = 5;
constexpr TdtpColor kDefaultGridColor = 0xFFFFC0;
constexpr TdtpColor kDefaultPageColor = 0xFFFFFF;
constexpr int32_t kDefaultThumbnailWidth = 80;
constexpr int32_t kDefaultThumbnailHeight = 60;
// Thumbnails are small previews: a larger one in a file is dropped unread, and the side a file may
// ask for is cut to this, so that pages cannot make the document hold gigabytes of previews.
constexpr int32_t kMaxThumbnailSide = 1024;
// Stream names carry the page number in four digits, and readers take only those four.
constexpr int kMaxArchivePages = 9999;
// Highest ordinals of the stored enumerations: hotzone scrolling, stretch filter, view style.
constexpr int32_t kLastHotzoneScrolling = 2;
constexpr int32_t kLastStretchFilter = 6;
constexpr int32_t kLastViewStyle = vsNormal;

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

// --- Settings values from a file ---

double PositiveOr(double value, double fallback) { return std::isfinite(value) && value > 0 ? value : fallback; }

// A length in millimetres: value when it is a float above 0 (or at least 0 with allowZero).
float LengthOr(double value, double fallback, bool allowZero) {
  const bool fits = std::isfinite(value) && value <= std::numeric_limits<float>::max() &&
                    (value > 0 || (allowZero && value == 0));
  return static_cast<float>(fits ? value : fallback);
}

int32_t OrdinalOr(int32_t value, int32_t last, int32_t fallback) { return value >= 0 && value <= last ? value : fallback; }

int32_t ThumbnailSide(int32_t value, int32_t fallback) {
  return value <= 0 ? fallback : std::min(value, kMaxThumbnailSide);
}

// --- Settings written whatever their value ---
// The reader takes a missing element for something other than 0 for these, so leaving one out
// because it is 0 would change it; each is written with a default it can never equal.

void WriteFloatAlways(TXmlNode& node, std::string_view name, double value) {
  node.WriteFloat(name, value, std::numeric_limits<double>::quiet_NaN());
}
void WriteIntegerAlways(TXmlNode& node, std::string_view name, int64_t value) { node.WriteInteger(name, value, ~value); }
void WriteBoolAlways(TXmlNode& node, std::string_view name, bool value) { node.WriteBool(name, value, !value); }
void WriteColorAlways(TXmlNode& node, std::string_view name, TdtpColor value) { node.WriteColor(name, value, ~value.Value); }

// --- Thumbnails ---

// The stored thumbnail of page number k; null when there is none, when it is damaged or when it
// is larger than a thumbnail may be. A thumbnail is only a preview, so nothing here stops a load.
std::unique_ptr<TBitmap32> ReadThumbnail(TsdStorage& storage, int number) {
  const std::string name = ThumbStreamName(number);
  try {
    if (!storage.StreamExists(name)) return nullptr;
    TMemoryStream stream;
    storage.ReadStream(name, stream);
    const auto* data = static_cast<const uint8_t*>(stream.Memory());
    const auto size = static_cast<size_t>(stream.Size());
    int64_t width = 0, height = 0;
    if (!BmpStatedSize(data, size, width, height)) return nullptr;
    if (width <= 0 || height == 0 || width > kMaxThumbnailSide ||
        std::abs(height) > kMaxThumbnailSide) {
      return nullptr;
    }
    auto bitmap = std::make_unique<TBitmap32>();
    DecodeBmp(data, size, *bitmap);
    return bitmap;
  } catch (const std::exception&) {
    return nullptr;
  }
}

// Writes page number's thumbnail, or deletes its stream when there is none to store.
void SaveThumbnail(TdtpDocument& doc, TdtpPage& page, int number) {
  const std::string name = ThumbStreamName(number);
  // A thumbnail is derived from the page, so one that cannot be made leaves none rather than an
  // old one; the page itself is saved all the same.
  std::unique_ptr<TMemoryStream> bmp;
  if (doc.StoreThumbnails) {
    try {
      const TBitmap32* thumb = page.Thumbnail();
      if (thumb && !thumb->Empty() && thumb->Width() <= kMaxThumbnailSide && thumb->Height() <= kMaxThumbnailSide) {
        bmp = std::make_unique<TMemoryStream>();
        EncodeBmp24(*thumb, *bmp);
      }
    } catch (const std::exception&) {
      bmp.reset();
    }
  }
  if (bmp) {
    doc.Storage().WriteStream(name, *bmp);
  } else {
    doc.Storage().DeleteStream(name);
  }
}

}  // namespace

void TdtpDocument::ReadSettings(const TXmlNode& node) {
  // A value a file cannot mean (a size or resolution of 0 or less, not a number, an ordinal
  // beyond its enumeration) reads as if it were missing.
  HandleColor = node.ReadInteger("HandleColor", 0);
  HandleEdgeColor = node.ReadInteger("HandleEdgeColor", 0);
  HotzoneScrolling = static_cast<TdtpHotzoneScrollingType>(
      OrdinalOr(node.ReadInteger("HotzoneScrolling", 0), kLastHotzoneScrolling, 0));
  Quality = static_cast<uint8_t>(OrdinalOr(node.ReadInteger("StretchFilter", 0), kLastStretchFilter, 0));
  readOnly_ = node.ReadBool("ReadOnly", false);
  renderDpm_ = PositiveOr(node.ReadFloat("RenderDpm", kDefaultDpm), kDefaultDpm);
  screenDpm_ = PositiveOr(node.ReadFloat("ScreenDpm", kDefaultDpm), kDefaultDpm);
  StoreThumbnails = node.ReadBool("StoreThumbnails", true);
  showMargins_ = node.ReadBool("ShowMargins", false);
  SnapToGrid = node.ReadBool("SnapToGrid", false);
  StepAngle = FiniteOr(node.ReadFloat("StepAngle", 0), 0);
  ViewStyle = static_cast<TdtpViewStyleType>(OrdinalOr(node.ReadInteger("ViewStyle", 0), kLastViewStyle, 0));
  defaultPageWidth_ = LengthOr(node.ReadFloat("DefaultPageWidth", kDefaultPageWidth), kDefaultPageWidth, false);
  defaultPageHeight_ = LengthOr(node.ReadFloat("DefaultPageHeight", kDefaultPageHeight), kDefaultPageHeight, false);
  defaultMargins_[0] = LengthOr(node.ReadFloat("DefaultMarginLeft", kDefaultMargin), kDefaultMargin, true);
  defaultMargins_[1] = LengthOr(node.ReadFloat("DefaultMarginTop", kDefaultMargin), kDefaultMargin, true);
  defaultMargins_[2] = LengthOr(node.ReadFloat("DefaultMarginRight", kDefaultMargin), kDefaultMargin, true);
  defaultMargins_[3] = LengthOr(node.ReadFloat("DefaultMarginBottom", kDefaultMargin), kDefaultMargin, true);
  defaultGridSize_ = LengthOr(node.ReadFloat("DefaultGridSize", kDefaultGridSize), kDefaultGridSize, true);
  defaultGridColor_ = node.ReadColor("DefaultGridColor", kDefaultGridColor);
  defaultPageColor_ = node.ReadColor("DefaultPageColor", kDefaultPageColor);
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
  ThumbnailWidth = ThumbnailSide(node.ReadInteger("ThumbnailWidth", kDefaultThumbnailWidth), kDefaultThumbnailWidth);
  ThumbnailHeight =
      ThumbnailSide(node.ReadInteger("ThumbnailHeight", kDefaultThumbnailHeight), kDefaultThumbnailHeight);
  if (OnLoadAdditionalInfo) OnLoadAdditionalInfo(this, const_cast<TXmlNode*>(&node));
  InvalidateWindow();
}

void TdtpDocument::WriteSettings(TXmlNode& node) {
  // A value is left out only when it is 0 or false and a missing element reads as that too.
  node.WriteHex("HandleColor", static_cast<uint32_t>(HandleColor.Value), 0, 8);
  node.WriteHex("HandleEdgeColor", static_cast<uint32_t>(HandleEdgeColor.Value), 0, 8);
  node.WriteInteger("HotzoneScrolling", HotzoneScrolling, 0);
  node.WriteInteger("StretchFilter", Quality, 0);
  node.WriteBool("ReadOnly", readOnly_, false);
  WriteFloatAlways(node, "RenderDpm", renderDpm_);
  WriteFloatAlways(node, "ScreenDpm", screenDpm_);
  WriteBoolAlways(node, "StoreThumbnails", StoreThumbnails);
  node.WriteBool("ShowMargins", showMargins_, false);
  node.WriteBool("SnapToGrid", SnapToGrid, false);
  node.WriteFloat("StepAngle", StepAngle, 0);
  node.WriteInteger("ViewStyle", ViewStyle, 0);
  WriteFloatAlways(node, "DefaultPageWidth", defaultPageWidth_);
  WriteFloatAlways(node, "DefaultPageHeight", defaultPageHeight_);
  WriteFloatAlways(node, "DefaultMarginLeft", defaultMargins_[0]);
  WriteFloatAlways(node, "DefaultMarginTop", defaultMargins_[1]);
  WriteFloatAlways(node, "DefaultMarginRight", defaultMargins_[2]);
  WriteFloatAlways(node, "DefaultMarginBottom", defaultMargins_[3]);
  WriteFloatAlways(node, "DefaultGridSize", defaultGridSize_);
  WriteColorAlways(node, "DefaultGridColor", defaultGridColor_);
  WriteColorAlways(node, "DefaultPageColor", defaultPageColor_);
  if (HoldsPicture(*defaultBackground_)) defaultBackground_->SaveToXml(*node.NewChild("DefaultBgrImage"));
  node.WriteBool("DefaultBgrTiled", defaultBackgroundTiled_, false);
  WriteIntegerAlways(node, "ThumbnailWidth", ThumbnailWidth);
  WriteIntegerAlways(node, "ThumbnailHeight", ThumbnailHeight);
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
    // With an index already naming the first slot, appending pages reads none of them: page 0
    // is read once the list is complete, as the current-page switch below.
    currentPageIndex_ = 0;
    for (int k = 1; k <= count; ++k) {
      Progress(ptLoad, k, static_cast<float>(k - 1) / static_cast<float>(count), count);
      auto page = std::make_unique<TdtpPage>();
      page->SetLoaded(false);
      if (StoreThumbnails) {
        if (std::unique_ptr<TBitmap32> thumb = ReadThumbnail(storage_, k)) page->SetThumbnail(thumb.get());
      }
      // Once appended the page belongs to the list, even when an announcement raises.
      TdtpPage* raw = page.release();
      if (AddPage(raw) < 0) {
        delete raw;
        RaiseError("Invalid page count");
      }
    }
    currentPageIndex_ = -1;
    SetCurrentPageIndex(0);
    SetModified(false);
    Progress(ptLoad, count, 1, count);
  } catch (...) {
    // The pages read so far stay; none is current, since page 0 may be the one that failed.
    if (TdtpPage* page = CurrentPage()) page->OnBoundsChanged = nullptr;
    currentPageIndex_ = -1;
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
  SetCursorShape(crAppStart);
  // The page counts as read only once it was read whole: a page that failed stays unread, so it
  // is read again on its next use and a save keeps its stream instead of writing it out empty.
  auto fail = [&] {
    DisableUndo();
    try {
      page->DeleteAllChildren();
    } catch (...) {
    }
    EnableUndo();
    page->SetLoaded(false);
    page->SetChanged(false);
    if (!wasModified) SetModified(false);
    SetCursorShape(IsBusy() ? crHourGlass : Cursor);
    EndLoading();
  };
  try {
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
    page->SetLoaded(true);
    // Reading a page is no change of the document.
    page->SetChanged(false);
    if (!wasModified) SetModified(false);
  } catch (...) {
    fail();
    throw;
  }
  SetCursorShape(IsBusy() ? crHourGlass : Cursor);
  EndLoading();
}

void TdtpDocument::SaveToArchive() {
  TResourceLock lock;
  const int count = PageCount();
  // Stream names carry the page number in four digits; readers take only those four.
  if (count > kMaxArchivePages) {
    RaiseError(Format("A document of %d pages cannot be saved: an archive holds at most %d", count, kMaxArchivePages));
  }
  {
    TNativeXml xml("Document");
    xml.SetLayout(TXmlLayout::Readable);
    WriteSettings(*xml.Root());
    TMemoryStream stream;
    xml.SaveToStream(stream);
    storage_.WriteStream("Index.xml", stream);
  }
  for (int i = 0; i < count; ++i) {
    TdtpPage* page = Pages(i);
    const int k = i + 1;
    const std::string name = PageStreamName(k);
    // An unread page has its stream already, or has none because the archive lacked it; either
    // way the archive keeps what it holds.
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
      SaveThumbnail(*this, *page, k);
    }
    TrimResources();
  }
  Progress(ptSave, count, 1, count);
}

}  // namespace sw
