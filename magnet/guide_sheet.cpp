#include "magnet/guide_sheet.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/exception.h"
#include "base/strings.h"
#include "magnet/cut_line.h"
#include "magnet/magnet_design.h"
#include "magnet/param_list.h"
#include "magnet/print_layout.h"
#include "shapes/bitmap_shape.h"
#include "shapes/memo_shape.h"
#include "shapes/polygon_shape.h"

namespace sw {

namespace {

constexpr float kCutLineWidth = 0.1f;
constexpr float kBleedLineWidth = 0.1f;
constexpr int32_t kBleedLineColour = 0x909090;
constexpr float kCaptionHeight = 3;

// An unfilled rectangle whose line is centred on the given edges.
void AddOutline(TdtpDocument& document, float left, float top, float width, float height, float lineWidth,
                TdtpColor colour) {
  auto rect = std::make_unique<TdtpRectangleShape>();
  rect->SetLeft(left);
  rect->SetTop(top);
  rect->SetWidth(width);
  rect->SetHeight(height);
  rect->SetOutlineWidth(lineWidth);
  rect->SetOutlineColor(colour);
  rect->SetFillAlpha(0);
  document.AddShape(std::move(rect));
}

// The window's edge of the design page's cutout for the copy whose page (net area and bleed band)
// lies at left, top on the sheet: upright, or in landscape turned a quarter turn anticlockwise
// (the design's top edge along the left side). The shape reaches a millimetre beyond the page so
// that the line's outer half is always drawn.
void AddCutLine(TdtpDocument& document, const std::shared_ptr<TCutOutline>& outline, float left, float top,
                float width, float height, bool portrait, float designWidth) {
  constexpr float kReach = 1;
  auto line = std::make_unique<TCutLineShape>(outline, kCutLineWidth, kColourBlack);
  line->SetLeft(left - kReach);
  line->SetTop(top - kReach);
  line->SetWidth(width + 2 * kReach);
  line->SetHeight(height + 2 * kReach);
  if (portrait) {
    line->SetFrameToLocal(TdtpAffineTransform(1, 0, 0, 1, kReach, kReach));
  } else {
    line->SetFrameToLocal(TdtpAffineTransform(0, -1, 1, 0, kReach, designWidth + kReach));
  }
  document.AddShape(std::move(line));
}

void AddText(TdtpDocument& document, const std::string& text, float left, float top, float width, float height,
             float fontHeight, uint8_t alignment) {
  auto memo = std::make_unique<TdtpMemoShape>();
  memo->SetAutoSize(false);
  memo->SetWordWrap(false);
  memo->SetAlignment(alignment);
  memo->SetVertAlign(vaCenter);
  memo->SetFontHeight(fontHeight);
  memo->SetFontColor(kColourBlack);
  memo->SetText(Utf8ToUtf16(text));
  memo->SetLeft(left);
  memo->SetTop(top);
  memo->SetWidth(width);
  memo->SetHeight(height);
  document.AddShape(std::move(memo));
}

}  // namespace

std::unique_ptr<TdtpDocument> BuildGuideSheet(TMagnetDesign& design) {
  if (!design.DesignLoaded()) RaiseError("There is no design to print");
  const TPrintSettings& settings = design.PrintSettings();
  const TdtpDocument& designDocument = design.Document();
  const float m = design.BleedMargin();

  const TPrintLayoutInput input = design.LayoutInput();
  const TPrintLayout layout = ComputePrintLayout(input);

  auto document = std::make_unique<TdtpDocument>(designDocument.Services());
  document->SetMode(vmBrowse);
  document->SetUndoEnabled(false);
  document->SetDefaultPageWidth(input.PaperWidth);
  document->SetDefaultPageHeight(input.PaperHeight);
  document->SetRenderDPI(150);
  if (document->PageCount() == 0) document->AddPage();
  document->SetCurrentPageIndex(0);
  TdtpPage& page = *document->CurrentPage();
  page.SetWidth(input.PaperWidth);
  page.SetHeight(input.PaperHeight);
  page.SetMarginLeft(0);
  page.SetMarginTop(0);
  page.SetMarginRight(0);
  page.SetMarginBottom(0);

  const float cw = layout.CopyWidth, ch = layout.CopyHeight;
  // A shaped magnet's cut follows its cutout's window; every position draws the one outline.
  std::shared_ptr<TCutOutline> shaped;
  if (TdtpBitmapShape* cutout = design.BitmapLayer(TLayer::olImage)) shaped = TCutOutline::OfCutout(*cutout);
  const float numberHeight = std::clamp(std::min(cw, ch) / 4, 2.0f, 10.0f);
  for (const TPrintPosition& position : layout.Positions) {
    // The net area of the copy in grid cell (column, grid row), whatever the orientation.
    const float x = settings.OuterMarginX + static_cast<float>(position.Column) * layout.PitchX;
    const float y = settings.OuterMarginY + static_cast<float>(position.GridRow) * layout.PitchY;
    // The bleed band as the copy prints it: cut where it meets a neighbour's.
    const TFloatRect cell = PrintCell(layout, position, TFloatRect{x, y, x + cw, y + ch}, m);
    if (m > 0) {
      AddOutline(*document, cell.Left, cell.Top, cell.Right - cell.Left, cell.Bottom - cell.Top, kBleedLineWidth,
                 kBleedLineColour);
    }
    if (shaped) {
      AddCutLine(*document, shaped, x - m, y - m, cw + 2 * m, ch + 2 * m, input.Portrait, designDocument.PageWidth());
    } else {
      AddOutline(*document, x, y, cw, ch, kCutLineWidth, kColourBlack);
    }
    const int32_t number = position.GridRow * layout.Columns + position.Column + 1;
    AddText(*document, std::to_string(number), x, y + (ch - 2 * numberHeight) / 2, cw, 2 * numberHeight,
            numberHeight, taCenter);
  }
  std::string caption = design.TemplateName().empty() ? std::string("Guide sheet") : design.TemplateName();
  caption += ": " + std::to_string(layout.Columns) + " x " + std::to_string(layout.Rows) + ", cut " +
             FormatDecimal(cw) + " x " + FormatDecimal(ch) + " mm, bleed " + FormatDecimal(m) + " mm, paper " +
             std::to_string(settings.PaperWidth) + " x " + std::to_string(settings.PaperHeight) + " mm";
  const float captionTop = input.PaperHeight - std::max(settings.OuterMarginY, 2 * kCaptionHeight) / 2 - kCaptionHeight;
  AddText(*document, caption, settings.OuterMarginX, captionTop, input.PaperWidth - 2 * settings.OuterMarginX,
          2 * kCaptionHeight, kCaptionHeight, taLeftJustify);
  page.Refresh();
  return document;
}

void PrintGuideSheet(TMagnetDesign& design, IPrinter& printer, const TPrintRunOptions& options, IProgress* progress) {
  std::unique_ptr<TdtpDocument> guide = BuildGuideSheet(design);
  const TPrintSettings& settings = design.PrintSettings();
  PrintMagnetSheet(*guide, printer, static_cast<float>(settings.PaperWidth), static_cast<float>(settings.PaperHeight),
                   options, progress);
}

}  // namespace sw
