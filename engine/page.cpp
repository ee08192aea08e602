#include "engine/page.h"

#include "base/exception.h"
#include "base/numeric.h"
#include "engine/document.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

// A resource holds a picture when it has bytes or a bitmap, or names where its bytes are kept.
bool HoldsPicture(TdtpBitmapResource& r) {
  return r.HasBitmap() || r.Data().Size() > 0 || !r.ArchiveName().empty() || !r.FileName().empty();
}

}  // namespace

TdtpPage::TdtpPage() : background_(std::make_unique<TdtpBitmapResource>()) {
  // A picture loaded into the page's own background is the page's own from then on: the page
  // stops following the defaults without copying the document's picture over the new one.
  background_->OnPictureLoaded = [this](TdtpResource*) {
    if (document_ && isDefaultPage_) {
      TdtpDocument& doc = *document_;
      isDefaultPage_ = false;
      marginLeft_ = doc.DefaultMarginLeft();
      marginTop_ = doc.DefaultMarginTop();
      marginRight_ = doc.DefaultMarginRight();
      marginBottom_ = doc.DefaultMarginBottom();
      gridColor_ = doc.DefaultGridColor();
      gridSize_ = doc.DefaultGridSize();
      pageColor_ = doc.DefaultPageColor();
      backgroundTiled_ = doc.DefaultBackgroundTiled();
    }
    Changed();
  };
  background_->OnPictureChanged = [this](TdtpResource*) {
    RefreshSelf();
    Changed();
  };
  SetWidth(210);
  SetHeight(297);
  SetCurbsLTRB(0, 0, 1, 1);
}

TdtpPage::~TdtpPage() {
  // The resource's handlers point back here.
  background_->OnPictureLoaded = nullptr;
  background_->OnPictureChanged = nullptr;
}

void TdtpPage::ListResources(std::vector<std::string>& names) const {
  TdtpShape::ListResources(names);
  background_->ListResources(names);
}

TFloatPoint TdtpPage::SnapPoint(const TFloatPoint& p) {
  const double g = GridSize();
  if (!(g > 0)) return p;
  return {static_cast<float>(Round(p.X / g) * g), static_cast<float>(Round(p.Y / g) * g)};
}

std::string TdtpPage::GetName() const {
  if (!name_.empty()) return name_;
  return Format("Page %d", PageIndex() + 1);
}

void TdtpPage::SetDocument(TdtpDocument* document) {
  TdtpShape::SetDocument(document);
  background_->SetContainer(document);
}

void TdtpPage::SetChanged(bool value) {
  TdtpShape::SetChanged(value);
  if (value) thumbnailStale_ = true;
}

void TdtpPage::SetBoundsAndAngle(float left, float top, float width, float height, float angle) {
  TdtpShape::SetBoundsAndAngle(left, top, width, height, angle);
  if (document_ && document_->CurrentPage() == this && !document_->IsPrinting()) {
    document_->UpdateScrollRange();
  }
}

void TdtpPage::SetOrigin(float x, float y) {
  docLeft_ = FiniteOr(x, docLeft_);
  docTop_ = FiniteOr(y, docTop_);
}

void TdtpPage::EnsureLoaded() const {
  if (!loaded_ && document_) {
    const int index = PageIndex();
    if (index >= 0) document_->LoadPage(index);
  }
}

void TdtpPage::PrintPage(TCanvas& canvas, const TRect& rect, int rotation, bool mirror, bool flip) {
  PrintTo(canvas, rect, rotation, mirror, flip, kDefaultDpm);
}

void TdtpPage::UpdateThumbnail() {
  Thumbnail();
  if (document_) document_->PageChanged(this);
}

int TdtpPage::PageIndex() const { return document_ ? document_->PageIndexOf(this) : -1; }

// --- Effective values ---

#define SW_EFFECTIVE(getter, own, docGetter) \
  EnsureLoaded();                            \
  if (isDefaultPage_ && document_) return document_->docGetter(); \
  return own;

float TdtpPage::MarginLeft() const { SW_EFFECTIVE(MarginLeft, marginLeft_, DefaultMarginLeft) }
float TdtpPage::MarginTop() const { SW_EFFECTIVE(MarginTop, marginTop_, DefaultMarginTop) }
float TdtpPage::MarginRight() const { SW_EFFECTIVE(MarginRight, marginRight_, DefaultMarginRight) }
float TdtpPage::MarginBottom() const { SW_EFFECTIVE(MarginBottom, marginBottom_, DefaultMarginBottom) }
TdtpColor TdtpPage::GridColor() const { SW_EFFECTIVE(GridColor, gridColor_, DefaultGridColor) }
float TdtpPage::GridSize() const { SW_EFFECTIVE(GridSize, gridSize_, DefaultGridSize) }
TdtpColor TdtpPage::PageColor() const { SW_EFFECTIVE(PageColor, pageColor_, DefaultPageColor) }
bool TdtpPage::BackgroundTiled() const { SW_EFFECTIVE(BackgroundTiled, backgroundTiled_, DefaultBackgroundTiled) }
TdtpBitmapResource& TdtpPage::Background() const { SW_EFFECTIVE(Background, *background_, DefaultBackground) }

bool TdtpPage::HoldsBackgroundPicture() const { return HoldsPicture(Background()); }

#undef SW_EFFECTIVE

TdtpHelperMethodType TdtpPage::HelperMethod() const { return document_ ? document_->HelperMethod : hmNone; }

bool TdtpPage::ShowMargins() const { return document_ ? document_->ShowMargins() : false; }

TdtpViewStyleType TdtpPage::ViewStyle() const { return document_ ? document_->ViewStyle : vsNormal; }

// --- Own settings ---

void TdtpPage::LeaveDefaults() {
  if (!document_ || !isDefaultPage_) return;
  TdtpDocument& doc = *document_;
  isDefaultPage_ = false;
  marginLeft_ = doc.DefaultMarginLeft();
  marginTop_ = doc.DefaultMarginTop();
  marginRight_ = doc.DefaultMarginRight();
  marginBottom_ = doc.DefaultMarginBottom();
  gridColor_ = doc.DefaultGridColor();
  gridSize_ = doc.DefaultGridSize();
  pageColor_ = doc.DefaultPageColor();
  backgroundTiled_ = doc.DefaultBackgroundTiled();
  if (HoldsPicture(doc.DefaultBackground())) background_->Assign(&doc.DefaultBackground());
}

void TdtpPage::SetOwnMargin(float TdtpPage::*field, float value, float effective) {
  if (std::isfinite(value)) SetOwnValue(field, value, effective);
}

void TdtpPage::SetMarginLeft(float value) { SetOwnMargin(&TdtpPage::marginLeft_, value, MarginLeft()); }
void TdtpPage::SetMarginTop(float value) { SetOwnMargin(&TdtpPage::marginTop_, value, MarginTop()); }
void TdtpPage::SetMarginRight(float value) { SetOwnMargin(&TdtpPage::marginRight_, value, MarginRight()); }
void TdtpPage::SetMarginBottom(float value) { SetOwnMargin(&TdtpPage::marginBottom_, value, MarginBottom()); }
void TdtpPage::SetGridSize(float value) {
  SetOwnMargin(&TdtpPage::gridSize_, std::isfinite(value) ? value : 0.0f, GridSize());
}
void TdtpPage::SetGridColor(TdtpColor value) { SetOwnValue(&TdtpPage::gridColor_, value, GridColor()); }
void TdtpPage::SetPageColor(TdtpColor value) { SetOwnValue(&TdtpPage::pageColor_, value, PageColor()); }
void TdtpPage::SetBackgroundTiled(bool value) {
  SetOwnValue(&TdtpPage::backgroundTiled_, value, BackgroundTiled());
}

// --- Thumbnail ---

TBitmap32* TdtpPage::Thumbnail() {
  if (thumbnail_ && !thumbnailStale_) return thumbnail_.get();
  thumbnail_.reset();
  if (!document_) return nullptr;
  EnsureLoaded();
  thumbnail_ = document_->RenderThumbnail(*this);
  thumbnailStale_ = false;
  return thumbnail_.get();
}

void TdtpPage::SetThumbnail(const TBitmap32* bitmap) {
  if (bitmap) {
    auto copy = std::make_unique<TBitmap32>();
    copy->Assign(*bitmap);
    thumbnail_ = std::move(copy);
  } else {
    thumbnail_.reset();
  }
  thumbnailStale_ = false;
}

// --- XML ---

void TdtpPage::SaveToXml(TXmlNode& node) const {
  // An unread page would otherwise be written out empty.
  EnsureLoaded();
  node.WriteBool("IsDefaultPage", isDefaultPage_, true);
  if (!isDefaultPage_) {
    node.WriteFloat("MarginLeft", marginLeft_, 0);
    node.WriteFloat("MarginTop", marginTop_, 0);
    node.WriteFloat("MarginRight", marginRight_, 0);
    node.WriteFloat("MarginBottom", marginBottom_, 0);
    node.WriteFloat("GridSize", gridSize_, 0);
    node.WriteColor("GridColor", gridColor_, 0);
    node.WriteColor("PageColor", pageColor_, 0);
    node.WriteFloat("PageWidth", docWidth_, 0);
    node.WriteFloat("PageHeight", docHeight_, 0);
    if (HoldsPicture(*background_)) background_->SaveToXml(*node.NewChild("BackgroundImage"));
    node.WriteBool("BackgroundTiled", backgroundTiled_, false);
  }
  TdtpShape::SaveToXml(node);
  // Where the page lies is the window's placement of it (SetOrigin, which follows the zoom), not
  // part of the page: saving at another zoom must not change the file.
  for (const char* name : {"DocLeft", "DocTop"}) {
    if (TXmlNode* placed = node.FindChild(name)) placed->RemoveFromParent();
  }
}

void TdtpPage::LoadFromXml(const TXmlNode* node) {
  if (!node) RaiseError("XML Node is not assigned");
  // Content given here replaces whatever the archive holds for this page.
  loaded_ = true;
  TdtpShape::LoadFromXml(node);
  isDefaultPage_ = node->ReadBool("IsDefaultPage", true);
  if (!isDefaultPage_) LoadOwnSettings(*node);
  thumbnailStale_ = false;
}

void TdtpPage::LoadOwnSettings(const TXmlNode& node) {
  marginLeft_ = FiniteOr(node.ReadFloat("MarginLeft", 0), 0);
  marginTop_ = FiniteOr(node.ReadFloat("MarginTop", 0), 0);
  marginRight_ = FiniteOr(node.ReadFloat("MarginRight", 0), 0);
  marginBottom_ = FiniteOr(node.ReadFloat("MarginBottom", 0), 0);
  gridSize_ = FiniteOr(node.ReadFloat("GridSize", 0), 0);
  gridColor_ = node.ReadColor("GridColor", 0);
  // Read with the default it is written with, so a black page stays black.
  pageColor_ = node.ReadColor("PageColor", 0);
  SetWidth(FiniteOr(node.ReadFloat("PageWidth", 0), 0));
  SetHeight(FiniteOr(node.ReadFloat("PageHeight", 0), 0));
  if (const TXmlNode* image = node.FindChild("BackgroundImage")) {
    if (image->FindChild("SourceSize")) {
      TBitmap32 bitmap;
      ReadXmlBitmap(&node, "BackgroundImage", bitmap);
      background_->SetBitmap(&bitmap);
    } else {
      background_->LoadFromXml(*const_cast<TXmlNode*>(image));
    }
  }
  backgroundTiled_ = node.ReadBool("BackgroundTiled", false);
}

}  // namespace sw
