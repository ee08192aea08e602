#include "platform/qt/printer_qt.h"

#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

#include <cmath>

#include "base/exception.h"

namespace sw {

TQtPrinter::TQtPrinter(QPrinter& printer) : printer_(printer) { printer_.setFullPage(true); }

TQtPrinter::~TQtPrinter() { Abort(); }

void TQtPrinter::SetPaperSize(float width, float height) {
  if (!(std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0)) RaiseError("Invalid paper size");
  const QPageSize size(QSizeF(width, height), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
  printer_.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
  printer_.setFullPage(true);
}

TPrinterSheet TQtPrinter::Sheet() const {
  const int dpi = printer_.resolution();
  const QRect paper = printer_.pageLayout().fullRectPixels(dpi);
  return TPrinterSheet{paper.width(), paper.height(), 0, 0, dpi, dpi};
}

void TQtPrinter::BeginDoc(const std::string& title) {
  if (painter_) RaiseError("The printer is printing already");
  printer_.setDocName(QString::fromStdString(title));
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(&printer_)) RaiseError("The printer cannot start printing");
  // Bands are the printed picture itself: no lossy compression, and averaging when stretched.
  painter->setRenderHint(QPainter::LosslessImageRendering, true);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter_ = std::move(painter);
}

void TQtPrinter::NewPage() {
  if (!painter_) RaiseError("The printer is not printing");
  if (!printer_.newPage()) {
    Abort();
    RaiseError("The printer cannot start a new sheet");
  }
}

void TQtPrinter::EndDoc() {
  if (!painter_) RaiseError("The printer is not printing");
  const bool ended = painter_->end();
  painter_.reset();
  placed_.Clear();
  if (!ended || printer_.printerState() == QPrinter::Error) RaiseError("The printer could not finish the job");
}

void TQtPrinter::Abort() {
  if (!painter_) return;
  printer_.abort();
  if (painter_->isActive()) painter_->end();
  painter_.reset();
  placed_.Clear();
}

void TQtPrinter::StretchBand(const TRect& dest, const TBitmap32& band) {
  if (!painter_) RaiseError("The printer is not printing");
  if (band.Empty() || dest.IsEmpty()) return;
  // The pixels' memory order is Qt's RGB32 (0xffRRGGBB words); the alpha byte is ignored.
  const QImage image(reinterpret_cast<const uchar*>(band.Bits()), band.Width(), band.Height(),
                     static_cast<qsizetype>(band.Width()) * 4, QImage::Format_RGB32);
  painter_->drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), image);
}

void TQtPrinter::PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                              const TRect& clip) {
  if (!painter_) RaiseError("The printer is not printing");
  if (!picture || picture->Empty() || clip.IsEmpty()) return;
  const QImage* image = placed_.Find(picture);
  if (!image) {
    // The pixels' memory order is Qt's RGB32, as for a band; the image does not copy them.
    image = &placed_.Add(picture, QImage(reinterpret_cast<const uchar*>(picture->Bits()), picture->Width(),
                                         picture->Height(), static_cast<qsizetype>(picture->Width()) * 4,
                                         QImage::Format_RGB32));
  }
  painter_->save();
  painter_->setClipRect(QRect(clip.Left, clip.Top, clip.Width(), clip.Height()));
  painter_->drawImage(QPoint(x, y), *image);
  painter_->restore();
}

}  // namespace sw
