// The printer service: a sheet of known size in device pixels onto which printing stretches
// rendered bands. The designer hands the platform's printer to its documents; stickwell-cli hands
// a file printer (PDF or PNG); tests hand a recording printer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/canvas.h"

namespace sw {

// The sheet as the printer reports it, in device pixels.
struct TPrinterSheet {
  int32_t Width = 0, Height = 0;    // the whole physical sheet
  int32_t OffsetX = 0, OffsetY = 0;  // the printable area's corner on the sheet: the canvas origin
  int32_t DpiX = 0, DpiY = 0;        // device dots per inch
  friend bool operator==(const TPrinterSheet&, const TPrinterSheet&) = default;
};

class IPrinter {
public:
  virtual ~IPrinter() = default;

  // The sheet of the pages printed next.
  virtual TPrinterSheet Sheet() const = 0;
  // Opens a print job on its first sheet; raises "The printer is printing already" inside a job.
  virtual void BeginDoc(const std::string& title) = 0;
  // Ends the current sheet and starts the next; raises "The printer is not printing" outside a job.
  virtual void NewPage() = 0;
  // Completes the job; a failure raises after the job was abandoned as by Abort.
  virtual void EndDoc() = 0;
  // Abandons the job and whatever it sent; safe outside a job.
  virtual void Abort() = 0;
  virtual bool Printing() const = 0;
  // Stretches the band's pixels (alpha ignored, source copy) with averaging onto dest, in device
  // pixels from the canvas origin. Whatever falls off the sheet is lost; an empty band or dest
  // draws nothing. Raises "The printer is not printing" outside a job.
  virtual void StretchBand(const TRect& dest, const TBitmap32& band) = 0;
  // Lays a picture's pixels 1:1 (alpha ignored) with their top-left corner at (x, y), only what
  // falls inside clip, in device pixels from the canvas origin. For a picture laid many times: a
  // printer may keep it for the job, knowing it by its identity, and send its pixels once; it must
  // not change while the job lasts. By default the part inside clip goes as a band.
  virtual void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                            const TRect& clip);
};

// What a printer keeps for each picture laid in a job, known by the picture's identity: a picture
// that went away is forgotten, so its control block (kept by the weak pointer) is never taken for
// a new picture's at the same address.
template <typename T>
class TPlacedPictures {
public:
  // What was kept for picture; null for a picture not laid yet. What Find and Add return holds
  // until the next call of either.
  T* Find(const std::shared_ptr<const TBitmap32>& picture) {
    std::erase_if(entries_, [](const auto& entry) { return entry.first.expired(); });
    for (auto& [kept, value] : entries_) {
      if (!kept.owner_before(picture) && !picture.owner_before(kept)) return &value;
    }
    return nullptr;
  }
  T& Add(const std::shared_ptr<const TBitmap32>& picture, T value) {
    return entries_.emplace_back(picture, std::move(value)).second;
  }
  void Clear() { entries_.clear(); }

private:
  std::vector<std::pair<std::weak_ptr<const TBitmap32>, T>> entries_;
};

// A printer moved by a calibration offset: everything printed on it lands offsetX mm to the
// right and offsetY mm lower (negative: left and up) on the sheet, in whole device pixels of the
// printer's resolution (rounded), so that bands stay whole pixels apart. This is how every print
// takes its offset, the designer's, "magnet print" and "print" alike. Raises "Invalid printer
// shift" for an offset that is not finite or moves the print off the sheet.
class TShiftedPrinter : public IPrinter {
public:
  // The printer is not owned and must outlive this one.
  TShiftedPrinter(IPrinter& printer, float offsetX, float offsetY);

  TPrinterSheet Sheet() const override { return printer_.Sheet(); }
  void BeginDoc(const std::string& title) override { printer_.BeginDoc(title); }
  void NewPage() override { printer_.NewPage(); }
  void EndDoc() override { printer_.EndDoc(); }
  void Abort() override { printer_.Abort(); }
  bool Printing() const override { return printer_.Printing(); }
  void StretchBand(const TRect& dest, const TBitmap32& band) override;
  void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                    const TRect& clip) override;

private:
  IPrinter& printer_;
  int32_t dx_ = 0, dy_ = 0;
};

// A canvas on the current sheet of a printer. Printers take pictures only: bitmaps, stretched
// bitmaps and filled rectangles; outlines and figures raise "The printer draws only pictures".
class TPrinterCanvas : public TCanvas {
public:
  // The printer is not owned and must outlive the canvas; the clip starts as the whole sheet.
  explicit TPrinterCanvas(IPrinter& printer);

  void SetPen(const TPen& pen) override { pen_ = pen; }
  const TPen& Pen() const override { return pen_; }
  void SetBrush(const TBrush& brush) override { brush_ = brush; }
  const TBrush& Brush() const override { return brush_; }
  TRect ClipRect() const override { return clip_; }
  // Cut to the sheet; bands are still sent whole, the printer clips to its sheet.
  void SetClipRect(const TRect& clip) override;

  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y) override;
  void Polyline(const TPoint* points, int32_t count) override;
  void Polygon(const TPoint* points, int32_t count) override;
  void Rectangle(const TRect& r) override;
  void Ellipse(const TRect& r) override;
  void FillRect(const TRect& r, TColor32 color) override;
  void DrawBitmap(int32_t x, int32_t y, const TBitmap32& bitmap) override;
  // Mirrored destinations are sent as mirrored pixels; the mode is the printer's (averaging).
  void StretchBitmap(const TRect& dest, const TBitmap32& bitmap, const TRect& source,
                     TStretchMode mode) override;
  // Handed to the printer, which may keep the picture.
  void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                    const TRect& clip) override;

  IPrinter& Printer() { return printer_; }

private:
  [[noreturn]] static void RaiseFigure();

  IPrinter& printer_;
  TPen pen_;
  TBrush brush_;
  TRect sheet_;
  TRect clip_;
};

}  // namespace sw
