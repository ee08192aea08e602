#include "magnet/print_sheet.h"

#include <limits>
#include <memory>
#include <vector>

#include "magnet/magnet_design.h"
#include "shapes/bitmap_shape.h"
#include "storage/xml/native_xml.h"

namespace sw {

namespace {

// The picture resources of a copy in the order of its shapes: each page's own background and
// each bitmap shape's picture.
void CollectPictures(TdtpShape& shape, std::vector<TdtpBitmapResource*>& pictures) {
  if (auto* page = dynamic_cast<TdtpPage*>(&shape)) pictures.push_back(&page->OwnBackground());
  if (auto* bitmap = dynamic_cast<TdtpBitmapShape*>(&shape)) pictures.push_back(&bitmap->Resource());
  for (int i = 0; i < shape.ChildCount(); ++i) {
    if (TdtpShape* child = shape.Child(i)) CollectPictures(*child, pictures);
  }
}

// Every copy carries the design's pictures, byte for byte: a copy's picture bytes that equal the
// first copy's are shared with it (until either is changed), so that a sheet holds them once.
void ShareCopyPictures(TdtpShape& first, TdtpShape& copy) {
  std::vector<TdtpBitmapResource*> theirs, ours;
  CollectPictures(first, theirs);
  CollectPictures(copy, ours);
  for (size_t i = 0; i < theirs.size() && i < ours.size(); ++i) {
    TResourceAccess a(*theirs[i]), b(*ours[i]);
    TMapStream& data = ours[i]->Data();
    if (data.Size() > 0 && data.SameBytes(theirs[i]->Data())) data.CopyBytesFrom(theirs[i]->Data());
  }
}

}  // namespace

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
}

void TPrintSheet::LoadPrintCopy(const TXmlNode& node, TdtpPage& page) { page.LoadFromXml(&node); }

TPrintLayout TPrintSheet::BuildPrintLayout(TMagnetDesign& design) {
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

  LayoutStarted(layout.Rows, layout.Columns);
  TLayoutGrid& grid = design.Grid();
  grid.Resize(layout.Rows, layout.Columns);
  TdtpPage* first = nullptr;
  for (const TPrintPosition& position : layout.Positions) {
    LayoutCellVisited(position.Column, position.Row);
    if (!grid.Selected(position.Column, position.GridRow)) continue;
    auto copy = std::make_unique<TdtpPage>();
    copy->SetForceCache(true);
    LoadPrintCopy(*xml.Root(), *copy);
    copy->SetLeft(position.Left);
    copy->SetTop(position.Top);
    copy->SetAngle(position.Angle);
    TdtpPage* placed = copy.get();
    if (document_.AddShape(std::move(copy)) < 0) continue;
    if (first) {
      ShareCopyPictures(*first, *placed);
    } else {
      first = placed;
    }
    placed->SetMarginLeft(0);
    placed->SetMarginTop(0);
    placed->SetMarginRight(0);
    placed->SetMarginBottom(0);
  }
  sheet.Refresh();
  design.SetLayoutStale(false);
  return layout;
}

}  // namespace sw
