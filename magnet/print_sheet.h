// TPrintSheet: the print-preview document, one sheet of paper holding one copy of the design
// page per selected position, as the print tab shows and prints it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/document.h"
#include "engine/page.h"
#include "magnet/print_layout.h"
#include "storage/resources/decoded_pictures.h"

namespace sw {

class TMagnetDesign;
class TXmlNode;

// The design's picture for every copy of one content: the design page, loaded once, and that
// page painted as a copy's cache holds it, made once per resolution and laid at every position.
// A sheet of other contents (one per merged record, say) holds one of these per content.
class TCopyPicture {
public:
  // The page joins document for painting (its fonts, services and resources) without becoming
  // one of its shapes.
  TCopyPicture(TdtpDocument& document, std::unique_ptr<TdtpPage> page);
  TCopyPicture(const TCopyPicture&) = delete;
  TCopyPicture& operator=(const TCopyPicture&) = delete;

  TdtpPage& Page() { return *page_; }
  // The page painted for a copy like copy at dpm with info: made when nothing is kept for these,
  // then kept (one picture at a time); the page's own caches and decoded pictures go once it is
  // made, since the picture holds all a print needs of them.
  std::shared_ptr<TBitmap32> PictureFor(const TdtpShape& copy, float dpm, const TdtpPaintInfo& info);
  // Lets the kept picture go.
  void Release() { picture_.reset(); }

private:
  TdtpDocument& document_;
  std::unique_ptr<TdtpPage> page_;
  std::shared_ptr<TBitmap32> picture_;
  float dpm_ = 0;
  TColor32 backColor_ = 0;
  TPaintMode mode_ = TPaintMode::Screen;
  uint8_t filter_ = 0;
};

// One copy on the sheet: the design page's size at its position, laying the content's one
// picture and cut to its cell (the part of its page the layout lets it print).
class TPrintCopy : public TdtpShape {
public:
  static const char* StaticClassName() { return "TPrintCopy"; }
  const char* ClassName() const override { return StaticClassName(); }
  TPrintCopy(std::shared_ptr<TCopyPicture> picture, const TFloatRect& cell);

  TCopyPicture& Picture() const { return *picture_; }
  // The cell in the copy's own frame.
  const TFloatRect& Cell() const { return cell_; }
  void SetCell(const TFloatRect& cell) { cell_ = cell; }

  bool NeedsCache() const override { return true; }
  std::shared_ptr<TBitmap32> SharedCache(float dpm, const TdtpPaintInfo& info) override;
  bool SharesCache() const override { return true; }
  bool CacheClip(TFloatRect& local) const override;
  // The picture is the content's, kept for all its copies; a copy has nothing of its own to free.
  void FreeCaches() override { FreeCache(); }

private:
  std::shared_ptr<TCopyPicture> picture_;
  TFloatRect cell_;
};

class TPrintSheet {
public:
  // A browse-mode document of one 210 x 297 mm page, default margins 15 mm, printed at 300 dpi.
  explicit TPrintSheet(const TServices& services);
  virtual ~TPrintSheet();
  TPrintSheet(const TPrintSheet&) = delete;
  TPrintSheet& operator=(const TPrintSheet&) = delete;

  TdtpDocument& Document() { return document_; }

  // Lays the sheet out anew from the design's settings and grid: one copy per selected position,
  // all laying the design's one picture, the grid resized to the positions that fit, the design's
  // Modified kept, LayoutStale cleared. Nothing (an empty layout) while no design is loaded. A
  // design page that fails to load stops the layout with its error, the sheet empty and
  // LayoutStale set.
  TPrintLayout BuildPrintLayout(TMagnetDesign& design);
  // Gives a content's own design page (loaded afresh from the design, at the sheet's origin) what
  // sets it apart: a merged record's message and picture.
  using TFillContent = std::function<void(int32_t content, TdtpPage& page)>;
  // Lays the sheet as BuildPrintLayout does, but the selected position numbered n (row x columns +
  // column + 1) shows content contents[n - 1]: -1, or a position past the list, stays blank. Each distinct content is
  // loaded and filled once; all its copies lay its one picture. A fill that raises stops the
  // layout with its error, the sheet empty and LayoutStale set.
  TPrintLayout BuildContentSheet(TMagnetDesign& design, const std::vector<int32_t>& contents, const TFillContent& fill);
  // Makes page load itself from the node the design was saved into.
  virtual void LoadPrintCopy(const TXmlNode& node, TdtpPage& page);
  // The design's picture the copies lay (on a sheet of contents, that of position 1); null before
  // the first layout.
  TCopyPicture* CopyPicture() { return picture_.get(); }

  // Hooks for printers that need them; this program's do nothing and return 0.
  virtual void LayoutStarted(int32_t rows, int32_t columns) { (void)rows, (void)columns; }
  virtual void LayoutCellVisited(int32_t column, int32_t row) { (void)column, (void)row; }
  virtual float LayoutVerticalOffset() { return 0; }

private:
  // The layout of both builds: contentOf(n - 1) is the content of the position numbered n.
  TPrintLayout Lay(TMagnetDesign& design, const std::function<int32_t(int32_t)>& contentOf, const TFillContent& fill);

  // Before the document, which decodes its copies' shared pictures through it.
  TDecodedPictures decodedPictures_;
  TdtpDocument document_;
  // After the document: the design page leaves before the document it paints in.
  std::shared_ptr<TCopyPicture> picture_;
};

}  // namespace sw
