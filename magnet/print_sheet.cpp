#include "magnet/print_sheet.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <utility>

#include "magnet/cut_line.h"
#include "magnet/magnet_design.h"
#include "shapes/bitmap_shape.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

// Lets the decoded pictures below shape go: each page's own background and each bitmap shape's
// picture, their bytes kept.
void ReleasePictures(TdtpShape& shape) {
  if (auto* page = dynamic_cast<TdtpPage*>(&shape)) page->OwnBackground().ReleaseBitmap();
  if (auto* bitmap = dynamic_cast<TdtpBitmapShape*>(&shape)) bitmap->Resource().ReleaseBitmap();
  for (int i = 0; i < shape.ChildCount(); ++i) {
    if (TdtpShape* child = shape.Child(i)) ReleasePictures(*child);
  }
}

// Calls visit(a, b) for each pair of picture resources of two shapes loaded from the same
// description, the two walked side by side.
template <typename TVisit>
void VisitPictures(TdtpShape& a, TdtpShape& b, const TVisit& visit) {
  auto* pageA = dynamic_cast<TdtpPage*>(&a);
  auto* pageB = dynamic_cast<TdtpPage*>(&b);
  if (pageA && pageB) visit(pageA->OwnBackground(), pageB->OwnBackground());
  auto* bitmapA = dynamic_cast<TdtpBitmapShape*>(&a);
  auto* bitmapB = dynamic_cast<TdtpBitmapShape*>(&b);
  if (bitmapA && bitmapB) visit(bitmapA->Resource(), bitmapB->Resource());
  if (a.ChildCount() != b.ChildCount()) return;
  for (int i = 0; i < a.ChildCount(); ++i) {
    TdtpShape* childA = a.Child(i);
    TdtpShape* childB = b.Child(i);
    if (childA && childB) VisitPictures(*childA, *childB, visit);
  }
}

bool HoldsEmbeddedBytes(TdtpResource& resource) {
  return resource.StorageKind() == TdtpStorageKind::Embedded && resource.Data().Length() > 0;
}

// The embedded bytes of the pictures in a description: their "Data" elements. Counted, or taken
// out when drop is set.
int32_t EmbeddedBytes(TXmlNode& node, bool drop) {
  int32_t found = 0;
  for (int i = node.ChildCount() - 1; i >= 0; --i) {
    TXmlNode* child = node.Child(i);
    if (child->Name() == "Data" && child->FindChild("Buffer")) {
      ++found;
      if (drop) node.DeleteChild(i);
    } else {
      found += EmbeddedBytes(*child, drop);
    }
  }
  return found;
}

}  // namespace

TCopyPicture::TCopyPicture(TdtpDocument& document, std::unique_ptr<TdtpPage> page)
    : document_(document), page_(std::move(page)) {
  page_->SetDocument(&document_);
}

std::shared_ptr<TBitmap32> TCopyPicture::PictureFor(const TdtpShape& copy, float dpm, const TdtpPaintInfo& info) {
  if (picture_ && dpm == dpm_ && info.BackColor == backColor_ && info.Mode == mode_ && info.Filter == filter_) {
    return picture_;
  }
  picture_.reset();
  TdtpPaintInfo own = info;
  own.FreeCacheAfter = false;
  std::shared_ptr<TBitmap32> made = document_.RenderCachePicture(*page_, copy, dpm, own);
  page_->FreeCaches();
  ReleasePictures(*page_);
  picture_ = std::move(made);
  dpm_ = dpm;
  backColor_ = info.BackColor;
  mode_ = info.Mode;
  filter_ = info.Filter;
  return picture_;
}

TPrintCopy::TPrintCopy(std::shared_ptr<TCopyPicture> picture, const TFloatRect& cell)
    : picture_(std::move(picture)), cell_(cell) {
  AllowEdit = AllowDelete = AllowResize = AllowMove = AllowRotate = false;
}

std::shared_ptr<TBitmap32> TPrintCopy::SharedCache(float dpm, const TdtpPaintInfo& info) {
  return picture_->PictureFor(*this, dpm, info);
}

bool TPrintCopy::CacheClip(TFloatRect& local) const {
  local = cell_;
  return true;
}

TPrintSheet::TPrintSheet(const TServices& services) : document_(services) {
  document_.SetMode(vmBrowse);
  document_.SetDefaultMarginLeft(15);
  document_.SetDefaultMarginTop(15);
  document_.SetDefaultMarginRight(15);
  document_.SetDefaultMarginBottom(15);
  document_.SetDefaultPageWidth(210);
  document_.SetDefaultPageHeight(297);
  document_.PrintQuality = pqMedium;
  document_.SetRenderDPI(150);
  document_.ZoomPercent = 100;
  // The sheet is rebuilt, never edited; an undo log would only hold copies of the design.
  document_.SetUndoEnabled(false);
  document_.SetDecodedPictures(&decodedPictures_);
}

TPrintSheet::~TPrintSheet() {
  // The copies first, then the design page they lay, while the document is whole.
  if (TdtpPage* sheet = document_.CurrentPage()) sheet->DeleteAllChildren();
  picture_.reset();
}

void TPrintSheet::LoadPrintCopy(const TXmlNode& node, TdtpPage& page) { page.LoadFromXml(&node); }

TPrintLayout TPrintSheet::BuildPrintLayout(TMagnetDesign& design) {
  return Lay(design, [](int32_t) { return 0; }, nullptr);
}

TPrintLayout TPrintSheet::BuildContentSheet(TMagnetDesign& design, const std::vector<int32_t>& contents,
                                            const TFillContent& fill) {
  return Lay(
      design, [&](int32_t n) { return static_cast<size_t>(n) < contents.size() ? contents[static_cast<size_t>(n)] : -1; },
      fill);
}

TPrintLayout TPrintSheet::Lay(TMagnetDesign& design, const std::function<int32_t(int32_t)>& contentOf,
                              const TFillContent& fill) {
  if (!design.DesignLoaded()) return {};
  if (!document_.CurrentPage()) {
    if (document_.PageCount() == 0) document_.AddPage();
    document_.SetCurrentPageIndex(0);
  }
  TdtpPage& sheet = *document_.CurrentPage();
  const TPrintSettings& settings = design.PrintSettings();
  sheet.DeleteAllChildren();
  sheet.SetWidth(static_cast<float>(settings.PaperWidth));
  sheet.SetHeight(static_cast<float>(settings.PaperHeight));
  document_.FitPage();

  TNativeXml xml("Page");
  TdtpDocument& designDocument = design.Document();
  const bool modified = designDocument.Modified();
  try {
    design.SaveDesignForPrint(*xml.Root());
  } catch (...) {
    designDocument.SetModified(modified);
    throw;
  }
  designDocument.SetModified(modified);

  sheet.SetMarginLeft(settings.OuterMarginX);
  sheet.SetMarginRight(settings.OuterMarginX);
  sheet.SetMarginTop(settings.OuterMarginY);
  sheet.SetMarginBottom(settings.OuterMarginY);
  LayoutStarted(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max());

  TPrintLayoutInput input = design.LayoutInput();
  // The paper as the sheet took it.
  input.PaperWidth = sheet.PageWidth();
  input.PaperHeight = sheet.PageHeight();
  input.VerticalOffset = LayoutVerticalOffset();
  TPrintLayout layout = ComputePrintLayout(input);

  // The design is loaded once per content; every copy of a content lays its one picture.
  picture_.reset();
  // The pictures' bytes are read from the description once, into a page that is never laid; the
  // contents are loaded without them and share the blocks of that page's bytes. A sheet holds
  // each picture once, and its pool decodes a picture every content still shows once.
  TdtpPage bytes;
  try {
    LoadPrintCopy(*xml.Root(), bytes);
  } catch (...) {
    design.SetLayoutStale(true);
    throw;
  }
  int32_t embedded = 0;
  VisitPictures(bytes, bytes, [&](TdtpResource& resource, TdtpResource&) { embedded += HoldsEmbeddedBytes(resource); });
  // Should a description hold bytes no resource took, every content reads its own.
  const bool shareBytes = embedded > 0 && embedded == EmbeddedBytes(*xml.Root(), false);
  if (shareBytes) EmbeddedBytes(*xml.Root(), true);
  float width = 0, height = 0;
  // A shaped magnet is cut along its cutout's window: the copies draw that line, traced once for
  // each resolution the picture is made at, in place of the rectangle.
  auto indexOf = [&design](TLayer layer) { return design.Layer(layer) ? design.Layer(layer)->ShapeIndex() : -1; };
  auto loadContent = [&](int32_t content) {
    auto page = std::make_unique<TdtpPage>();
    LoadPrintCopy(*xml.Root(), *page);
    if (shareBytes) {
      VisitPictures(bytes, *page, [](TdtpResource& from, TdtpResource& to) {
        if (!HoldsEmbeddedBytes(from) || to.StorageKind() != TdtpStorageKind::Embedded) return;
        TResourceAccess a(from), b(to);
        to.Data().CopyBytesFrom(from.Data());
      });
    }
    page->SetLeft(0);
    page->SetTop(0);
    page->SetAngle(0);
    ShapeCutLine(*page, indexOf(TLayer::olImage), indexOf(TLayer::olOutline));
    width = page->DocWidth();
    height = page->DocHeight();
    auto picture = std::make_shared<TCopyPicture>(document_, std::move(page));
    TdtpPage& designPage = picture->Page();
    designPage.SetMarginLeft(0);
    designPage.SetMarginTop(0);
    designPage.SetMarginRight(0);
    designPage.SetMarginBottom(0);
    if (fill && content >= 0) fill(content, designPage);
    return picture;
  };
  std::map<int32_t, std::shared_ptr<TCopyPicture>> pictures;
  try {
    picture_ = pictures[contentOf(0)] = loadContent(contentOf(0));
  } catch (...) {
    design.SetLayoutStale(true);
    throw;
  }

  LayoutStarted(layout.Rows, layout.Columns);
  TLayoutGrid& grid = design.Grid();
  grid.Resize(layout.Rows, layout.Columns);
  const float m = input.Bleed;
  for (const TPrintPosition& position : layout.Positions) {
    LayoutCellVisited(position.Column, position.Row);
    if (!grid.Selected(position.Column, position.GridRow)) continue;
    const int32_t content = contentOf(grid.PositionNumber(position.Column, position.GridRow) - 1);
    if (content < 0) continue;
    std::shared_ptr<TCopyPicture>& picture = pictures[content];
    if (!picture) {
      try {
        picture = loadContent(content);
      } catch (...) {
        sheet.DeleteAllChildren();
        design.SetLayoutStale(true);
        throw;
      }
    }
    auto copy = std::make_unique<TPrintCopy>(picture, TFloatRect{});
    copy->SetWidth(width);
    copy->SetHeight(height);
    copy->SetLeft(position.Left);
    copy->SetTop(position.Top);
    copy->SetAngle(position.Angle);
    // The cell on the sheet, from the net area where the copy lies, taken into the copy's frame;
    // never beyond the copy's page.
    const TFloatRect bounds = copy->BoundsInParent(false);
    const TFloatRect net{bounds.Left + m, bounds.Top + m, bounds.Right - m, bounds.Bottom - m};
    const TFloatRect cell = PrintCell(layout, position, net, m);
    const TFloatPoint a = copy->ParentToLocal({cell.Left, cell.Top}), b = copy->ParentToLocal({cell.Right, cell.Bottom});
    copy->SetCell(TFloatRect{std::max(std::min(a.X, b.X), 0.0f), std::max(std::min(a.Y, b.Y), 0.0f),
                             std::min(std::max(a.X, b.X), width), std::min(std::max(a.Y, b.Y), height)});
    document_.AddShape(std::move(copy));
  }
  sheet.Refresh();
  design.SetLayoutStale(false);
  return layout;
}

}  // namespace sw
