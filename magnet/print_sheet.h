// TPrintSheet: the print-preview document, one sheet of paper holding one copy of the design
// page per selected position, as the print tab shows and prints it.
#pragma once

#include <cstdint>

#include "engine/document.h"
#include "magnet/print_layout.h"

namespace sw {

class TMagnetDesign;
class TXmlNode;

class TPrintSheet {
public:
  // A browse-mode document of one 210 x 297 mm page, default margins 15 mm, printed at 300 dpi.
  explicit TPrintSheet(const TServices& services);
  virtual ~TPrintSheet() = default;
  TPrintSheet(const TPrintSheet&) = delete;
  TPrintSheet& operator=(const TPrintSheet&) = delete;

  TdtpDocument& Document() { return document_; }

  // Lays the sheet out anew from the design's settings and grid: one copy per selected position,
  // the grid resized to the positions that fit, the design's Modified kept, LayoutStale cleared.
  // Nothing (an empty layout) while no design is loaded. A copy that fails to load stops the
  // layout with its error, keeping the copies placed so far and LayoutStale set.
  TPrintLayout BuildPrintLayout(TMagnetDesign& design);
  // Makes page load itself from the node the design was saved into.
  virtual void LoadPrintCopy(const TXmlNode& node, TdtpPage& page);

  // Hooks for printers that need them; this program's do nothing and return 0.
  virtual void LayoutStarted(int32_t rows, int32_t columns) { (void)rows, (void)columns; }
  virtual void LayoutCellVisited(int32_t column, int32_t row) { (void)column, (void)row; }
  virtual float LayoutVerticalOffset() { return 0; }

private:
  TdtpDocument document_;
};

}  // namespace sw
