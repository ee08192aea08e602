// TdtpPage: one sheet of a document. Its rectangle is the paper (DocWidth x DocHeight mm) and its
// children are the shapes on it. It has its own margins, grid, colour and background picture, or
// follows its document's defaults for all of them (IsDefaultPage), and may still lie unread in
// the document's archive (Loaded false) until something needs its content.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/shape.h"
#include "storage/resources/bitmap_resource.h"

namespace sw {

class TCanvas;

// Page decoration on screen; stored as ordinals.
enum TdtpHelperMethodType : uint8_t { hmNone = 0, hmDots = 1, hmGrid = 2, hmPattern = 3 };
// vsPrintLayout: the page floats with outline and shadow; vsNormal: it fills the canvas.
enum TdtpViewStyleType : uint8_t { vsPrintLayout = 0, vsNormal = 1 };

class TdtpPage : public TdtpShape {
public:
  // 210 x 297 mm, margins 10, following the defaults, loaded, curbs (0, 0, 1, 1).
  TdtpPage();
  ~TdtpPage() override;

  static const char* StaticClassName() { return "TdtpPage"; }
  const char* ClassName() const override { return StaticClassName(); }

  // --- Overrides ---
  void ListResources(std::vector<std::string>& names) const override;
  // Rounds to the effective grid (halves to even); unchanged for a grid of 0 or less.
  TFloatPoint SnapPoint(const TFloatPoint& p) override;
  // Name, or "Page %d" with the page number when Name is empty.
  std::string GetName() const override;
  // Paints the sheet: colour, background picture, and on screen grid or dots, margin frame,
  // outline and shadow (engine/page_paint.cpp). A page of size 0 or less paints nothing.
  void PaintBitmap(TBitmap32& bitmap, const TdtpPaintInfo& info) override;
  // Raises the document's OnPaintForeground with the page rectangle.
  void AfterPaint(TBitmap32& bitmap) override;
  void SetDocument(TdtpDocument* document) override;
  // Setting true also marks the thumbnail stale.
  void SetChanged(bool value) override;
  // Own elements, then the common node. An unread page is read first.
  void LoadFromXml(const TXmlNode* node) override;
  void SaveToXml(TXmlNode& node) const override;
  // Then, for its document's current page outside printing, the document's UpdateScrollRange.
  void SetBoundsAndAngle(float left, float top, float width, float height, float angle) override;

  // --- New virtual operations ---
  // Places the page in the view frame: no undo, no invalidation, no announcement.
  virtual void SetOrigin(float x, float y);
  // Reads the page from the archive when it is still unread and has a document.
  virtual void EnsureLoaded() const;
  // Printing (filled by the printing code).
  virtual void PrintTo(TCanvas& canvas, const TRect& rect, int rotation, bool mirror, bool flip,
                       double dpm);
  // As PrintTo; progress hears the page's share printed (0 .. 1) after every band.
  void PrintTo(TCanvas& canvas, const TRect& rect, int rotation, bool mirror, bool flip, double dpm,
               const std::function<void(double share)>& progress);
  virtual void PrintPage(TCanvas& canvas, const TRect& rect, int rotation, bool mirror, bool flip);
  // Rebuilds the thumbnail and announces the page.
  virtual void UpdateThumbnail();

  // Draws the page onto canvas in rect at up to dpm pixels per mm for caches: fitted and centred
  // (fit) or at the screen-resolution size from rect's top-left corner. Nothing without document.
  void PaintToCanvas(TCanvas& canvas, const TRect& rect, double dpm, bool fit);

  // --- Interface ---
  // Index in the document; -1 without document.
  int PageIndex() const;
  float PageWidth() const { return DocWidth(); }
  float PageHeight() const { return DocHeight(); }

  // Effective values: the document's defaults while IsDefaultPage (and attached), else the own.
  float MarginLeft() const;
  float MarginTop() const;
  float MarginRight() const;
  float MarginBottom() const;
  TdtpColor GridColor() const;
  float GridSize() const;
  TdtpColor PageColor() const;
  bool BackgroundTiled() const;
  // The effective background picture resource (the document's default one while following).
  TdtpBitmapResource& Background() const;
  // The page's own background resource, whatever IsDefaultPage says.
  TdtpBitmapResource& OwnBackground() { return *background_; }
  // True when the page shows a background picture (its own or the document's).
  bool HoldsBackgroundPicture() const;
  // Helper method, margins and view style from the document, with fallbacks without one.
  TdtpHelperMethodType HelperMethod() const;
  bool ShowMargins() const;
  TdtpViewStyleType ViewStyle() const;

  // Own setters: when the value differs from the effective one, LeaveDefaults, store, refresh.
  void SetMarginLeft(float value);
  void SetMarginTop(float value);
  void SetMarginRight(float value);
  void SetMarginBottom(float value);
  void SetGridColor(TdtpColor value);
  // Non-finite sizes count as 0 (no grid).
  void SetGridSize(float value);
  void SetPageColor(TdtpColor value);
  void SetBackgroundTiled(bool value);

  bool IsDefaultPage() const { return isDefaultPage_; }
  // Stops following the document's defaults, copying them first so the page looks the same.
  void LeaveDefaults();

  bool Loaded() const { return loaded_; }
  // The archive reader marks pages unread when it creates them and read before reading them.
  void SetLoaded(bool value) { loaded_ = value; }

  // The thumbnail, rebuilt when stale (null without document or until the view draws them).
  TBitmap32* Thumbnail();
  // Replaces the thumbnail by a copy (null: none) and clears the stale flag.
  void SetThumbnail(const TBitmap32* bitmap);
  bool ThumbnailStale() const { return thumbnailStale_; }
  void SetThumbnailStale(bool value) { thumbnailStale_ = value; }

private:
  // Sets an own length; values that are not finite are ignored.
  void SetOwnMargin(float TdtpPage::*field, float value, float effective);
  // The same for any own setting: a value equal to the effective one changes nothing.
  template <typename T>
  void SetOwnValue(T TdtpPage::*field, T value, T effective) {
    if (value == effective) return;
    LeaveDefaults();
    this->*field = value;
    RefreshSelf();
    Changed();
  }
  // Reads the page's own settings (IsDefaultPage false) from node.
  void LoadOwnSettings(const TXmlNode& node);

  std::unique_ptr<TdtpBitmapResource> background_;
  bool backgroundTiled_ = false;
  TdtpColor gridColor_ = 0xFFFFC0;
  float gridSize_ = 5;
  bool loaded_ = true;
  float marginBottom_ = 10, marginLeft_ = 10, marginTop_ = 10, marginRight_ = 10;
  TdtpColor pageColor_ = 0xFFFFFF;
  bool thumbnailStale_ = false;
  std::unique_ptr<TBitmap32> thumbnail_;
  bool isDefaultPage_ = true;
};

}  // namespace sw
