// The platform's printer through Qt's QPrinter: the whole sheet is the canvas (full page), bands
// are drawn without lossy compression, and a job that fails is aborted on the printer.
#pragma once

#include <QImage>

#include <memory>

#include "platform/printer.h"

class QPainter;
class QPrinter;

namespace sw {

class TQtPrinter : public IPrinter {
public:
  // Prints on printer (not owned, typically the print dialog's), which is switched to full-page
  // printing so that the canvas origin is the sheet's corner. Needs a QGuiApplication.
  explicit TQtPrinter(QPrinter& printer);
  // Aborts a job still open.
  ~TQtPrinter() override;
  TQtPrinter(const TQtPrinter&) = delete;
  TQtPrinter& operator=(const TQtPrinter&) = delete;

  // Sets the printer's paper to width x height millimetres, upright, without margins; sizes that
  // are not finite and positive raise "Invalid paper size".
  void SetPaperSize(float width, float height);

  // The paper in device pixels at the printer's resolution; no offset (full page).
  TPrinterSheet Sheet() const override;
  // Raises "The printer cannot start printing" when Qt refuses (no printer, unwritable file).
  void BeginDoc(const std::string& title) override;
  // Raises "The printer cannot start a new sheet" after aborting the job when Qt refuses.
  void NewPage() override;
  // Raises "The printer could not finish the job" when Qt reports a failure.
  void EndDoc() override;
  void Abort() override;
  bool Printing() const override { return painter_ != nullptr; }
  void StretchBand(const TRect& dest, const TBitmap32& band) override;
  // Draws the picture with a clip. The picture goes to Qt as the same image every time it is laid
  // in the job, so that Qt's PDF output (a print file, or what goes to the print system) holds its
  // pixels once however often it is laid.
  void PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                    const TRect& clip) override;

private:
  QPrinter& printer_;
  std::unique_ptr<QPainter> painter_;
  // An image over each placed picture's pixels, for as long as the picture lives and the job lasts.
  TPlacedPictures<QImage> placed_;
};

}  // namespace sw
