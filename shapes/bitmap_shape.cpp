#include "shapes/bitmap_shape.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "base/numeric.h"
#include "engine/document.h"
#include "raster/resample.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

constexpr int16_t kBitmapInsertCursor = -38;  // "CRDTPCROSSIMAGE"
constexpr float kSnapWidth = 120, kSnapHeight = 80, kSnapInset = 2;
constexpr TdtpAnchors kSnapAnchors = anSizeXProp | anSizeYProp | anLeftLock | anTopLock;

}  // namespace

// --- TdtpBitmapShape ---

TdtpBitmapShape::TdtpBitmapShape() : resource_(std::make_unique<TdtpBitmapResource>()) {
  resource_->OnPictureLoaded = [this](TdtpResource*) { PictureLoaded(); };
  resource_->OnPictureChanged = [this](TdtpResource*) { PictureChanged(); };
  InsertCursor = kBitmapInsertCursor;
}

TdtpBitmapShape::~TdtpBitmapShape() {
  // The resource outlives this part of the object by a moment; its handlers point back here.
  resource_->OnPictureLoaded = nullptr;
  resource_->OnPictureChanged = nullptr;
}

void TdtpBitmapShape::ListResources(std::vector<std::string>& names) const {
  TdtpEffectShape::ListResources(names);
  resource_->ListResources(names);
}

const TBitmap32* TdtpBitmapShape::LockedBitmap() {
  const TBitmap32* picture = resource_->Bitmap();
  return picture && !picture->Empty() ? picture : nullptr;
}

void TdtpBitmapShape::PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) {
  if (bitmap.Empty()) return;
  if (decodeFailed_) {
    // Still a hole in the page; a print must hear of it again, or it would go out without.
    if (document_ && document_->IsPrinting()) document_->ReportPaintError(this, decodeError_);
    return;
  }
  const TRect r{PaintX(0), PaintY(0), PaintX(docWidth_), PaintY(docHeight_)};
  // A print needs the picture only as finely as it lays it; on screen it may be zoomed in.
  const bool printing = info.Device == dtPrinter;
  resource_->SetDecodeNeed(printing ? std::max({r.Width(), r.Height(), 1}) : 0);
  {
    TResourceAccess access(*resource_);
    const TBitmap32* picture = nullptr;
    try {
      picture = LockedBitmap();
    } catch (const std::exception& e) {
      // One bad picture leaves a hole in the page, not a page that stops drawing; decoding the
      // same bytes again would only fail again, at every repaint.
      if (!document_) throw;
      decodeFailed_ = true;
      decodeError_ = e.what();
      document_->ReportPaintError(this, e.what());
      return;
    }
    if (!picture || r.IsEmpty()) return;
    const auto filter = static_cast<TStretchFilter>(std::min<uint8_t>(info.Filter, sfMitchell));
    TransferStretched(&bitmap, r, bitmap.ClipRect(), picture, picture->BoundsRect(), filter, dmBlend);
  }
  // A cache is built in one piece, so it now holds all the print needs of the picture until the
  // cache itself is rebuilt. A picture drawn straight onto the bands is needed by every band.
  if (PrintingForMemory() && PaintsIntoCache()) resource_->ReleaseBitmap();
}

bool TdtpBitmapShape::PrintingForMemory() const {
  return document_ && document_->IsPrinting() && document_->Performance == dpMemoryOverSpeed;
}

bool TdtpBitmapShape::PaintsIntoCache() const {
  // The paint takes the cache path at the first shape, from this one up, that needs a cache;
  // everything below it is drawn into that cache.
  for (const TdtpShape* s = this; s; s = s->Parent()) {
    if (s->NeedsCache()) return true;
  }
  return false;
}

void TdtpBitmapShape::FreeCaches() {
  TdtpEffectShape::FreeCaches();
  if (PrintingForMemory()) resource_->ReleaseBitmap();
}

void TdtpBitmapShape::SetDocument(TdtpDocument* document) {
  TdtpEffectShape::SetDocument(document);
  resource_->SetContainer(document);
}

int TdtpBitmapShape::StorageKind() const { return static_cast<int>(resource_->StorageKind()); }

void TdtpBitmapShape::SetStorageKind(int kind) {
  if (kind < 0 || kind > static_cast<int>(TdtpStorageKind::Embedded)) return;
  resource_->SetStorageKind(static_cast<TdtpStorageKind>(kind));
}

void TdtpBitmapShape::LoadFromXml(const TXmlNode* node) {
  TdtpEffectShape::LoadFromXml(node);
  // New bytes deserve a new attempt, whether or not the resource announces them.
  decodeFailed_ = false;
  if (const TXmlNode* image = node->FindChild("Image")) {
    // The resource reads its description without changing the node.
    resource_->LoadFromXml(*const_cast<TXmlNode*>(image));
  } else {
    // A shape read from a description without picture shows none, also when it had one before.
    resource_->Clear();
  }
  RefreshSelf();
}

void TdtpBitmapShape::SaveToXml(TXmlNode& node) const {
  TdtpEffectShape::SaveToXml(node);
  resource_->SaveToXml(*node.NewChild("Image"));
}

void TdtpBitmapShape::PictureLoaded() {
  int32_t w = 0, h = 0;
  if (!resource_->PictureSize(w, h)) return;
  SetWidth(static_cast<float>(w * kMmPerInch / kNaturalPictureDpi));
  SetHeight(static_cast<float>(h * kMmPerInch / kNaturalPictureDpi));
  LockAspect();
  Refresh();
}

void TdtpBitmapShape::PictureChanged() {
  decodeFailed_ = false;
  RefreshSelf();
}

// --- TdtpSnapBitmap ---

TdtpSnapBitmap::TdtpSnapBitmap() {
  auto frame = std::make_unique<TdtpRectangleShape>();
  frame->SetOutlineColor(0);
  frame->SetOutlineWidth(0);
  frame->SetFillColor(0xFFFFFF);
  frame->SetAnchors(kSnapAnchors);
  frame->SetBounds(0, 0, kSnapWidth, kSnapHeight);
  frame->Protected = true;
  AddChild(std::move(frame));

  auto words = std::make_unique<TdtpMemoShape>();
  words->SetFontSize(12);
  words->SetText(u"Place image here");
  words->SetAlignment(taCenter);
  words->SetAutoSize(false);
  words->SetVertAlign(vaCenter);
  words->AllowEdit = false;
  words->SetAnchors(kSnapAnchors);
  words->SetBounds(kSnapInset, kSnapInset, kSnapWidth - 2 * kSnapInset, kSnapHeight - 2 * kSnapInset);
  words->Protected = true;
  AddChild(std::move(words));

  FitToChildren();
  // The frame and the words are anchored to follow the shape's size, which they do only in a
  // grouped shape; otherwise a resized empty snap bitmap would show a cut-off frame.
  SetGrouped(true);
}

void TdtpSnapBitmap::LoadFromXml(const TXmlNode* node) {
  TdtpBitmapShape::LoadFromXml(node);
  SetGrouped(true);
}

bool TdtpSnapBitmap::HitTestDeep(const TPoint& p, TdtpShape*& found) {
  const bool hit = TdtpBitmapShape::HitTestDeep(p, found);
  if (found) found = this;
  return hit;
}

void TdtpSnapBitmap::PictureLoaded() {
  int32_t pw = 0, ph = 0;
  const bool hasPicture = Resource().PictureSize(pw, ph);
  for (int i = 0; i < 2; ++i) {
    if (TdtpShape* child = Child(i)) child->SetVisible(!hasPicture);
  }
  if (!hasPicture) return;
  const double w = pw, h = ph;
  const double width = docWidth_, height = docHeight_;
  if (w * h > 0 && width * height > 0) {
    // Pixels per millimetre that make the picture cover the area the frame covered.
    const double s = std::sqrt((w * h) / (width * height));
    const double newWidth = w / s, newHeight = h / s;
    // The centre stays where it is in the parent, also for a turned shape: the corner moves by
    // the half size change turned with the shape (unturned: (width - newWidth) / 2 and so on).
    const double dx = (width - newWidth) / 2, dy = (height - newHeight) / 2;
    SetBounds(static_cast<float>(docLeft_ + cos_ * dx + sin_ * dy),
              static_cast<float>(docTop_ - sin_ * dx + cos_ * dy), static_cast<float>(newWidth),
              static_cast<float>(newHeight));
  }
  LockAspect();
  Refresh();
}

}  // namespace sw
