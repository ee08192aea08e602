#include "platform/png_printer.h"

#include <vector>

#include "base/bytes.h"
#include "base/deflate.h"
#include "base/exception.h"
#include "base/numeric.h"
#include "base/stream.h"
#include "platform/bitmap_canvas.h"

namespace sw {

namespace {

constexpr TDeflateErrors kPngErrors{RaiseError, "Cannot start the PNG compressor", "PNG compression failed"};
// The rows' IDAT chunks hold this many bytes, the last one fewer.
constexpr size_t kIdatChunkSize = 1 << 16;

}  // namespace

void WriteSheetPng(TStream& out, const TBitmap32& bitmap, int32_t dpi, int level) {
  if (bitmap.Empty()) RaiseError("Cannot write an empty sheet");
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  out.WriteBuffer(kSignature, 8);
  uint8_t ihdr[13] = {};
  WriteBE32(ihdr, static_cast<uint32_t>(bitmap.Width()));
  WriteBE32(ihdr + 4, static_cast<uint32_t>(bitmap.Height()));
  ihdr[8] = 8;  // bits per sample
  ihdr[9] = 2;  // truecolour
  WritePngChunk(out, "IHDR", ihdr, sizeof ihdr);
  // Pixels per metre, unit 1 (metre).
  uint8_t phys[9];
  const auto perMetre = static_cast<uint32_t>(Round(dpi / 0.0254));
  WriteBE32(phys, perMetre);
  WriteBE32(phys + 4, perMetre);
  phys[8] = 1;
  WritePngChunk(out, "pHYs", phys, sizeof phys);

  TDeflater deflater(level, TDeflateStrategy::Default, kPngErrors, kIdatChunkSize,
                     [&out](const uint8_t* data, size_t size) { WritePngChunk(out, "IDAT", data, size); });
  std::vector<uint8_t> row(static_cast<size_t>(bitmap.Width()) * 3 + 1);
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    FilterRowSub(bitmap.ScanLine(y), bitmap.Width(), row.data());
    deflater.Add(row.data(), row.size());
  }
  deflater.Finish();
  WritePngChunk(out, "IEND", nullptr, 0);
}

TPngPrinter::TPngPrinter(std::string fileName, const TFilePrinterSettings& settings)
    : fileName_(std::move(fileName)), settings_(settings) {
  CheckFilePrinterSettings(settings_);
  sheet_ = FileSheet(settings_);
  if (static_cast<int64_t>(sheet_.Width) * sheet_.Height > TBitmap32::kMaxPixels) {
    RaiseError("The sheet is too large for a picture");
  }
}

TPngPrinter::~TPngPrinter() { Abort(); }

std::string TPngPrinter::SheetFileName(const std::string& fileName, int32_t sheet, int32_t count) {
  if (count <= 1) return fileName;
  const size_t slash = fileName.find_last_of('/');
  size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) {
    dot = fileName.size();
  }
  return fileName.substr(0, dot) + "-" + std::to_string(sheet) + fileName.substr(dot);
}

void TPngPrinter::StartSheet() {
  auto page = std::make_unique<TBitmap32>();
  page->SetSize(sheet_.Width, sheet_.Height);
  page->Clear(clWhite32);
  page_ = std::move(page);
}

void TPngPrinter::FinishSheet() {
  auto file = std::make_unique<TAtomicFile>(fileName_);
  WriteSheetPng(file->Stream(), *page_, settings_.Dpi, CompressionLevel);
  written_.push_back(std::move(file));
  page_.reset();
}

void TPngPrinter::BeginDoc(const std::string&) {
  if (printing_) RaiseError("The printer is printing already");
  written_.clear();
  StartSheet();
  printing_ = true;
}

void TPngPrinter::NewPage() {
  if (!printing_) RaiseError("The printer is not printing");
  try {
    FinishSheet();
    StartSheet();
  } catch (...) {
    Abort();
    throw;
  }
}

void TPngPrinter::EndDoc() {
  if (!printing_) RaiseError("The printer is not printing");
  try {
    FinishSheet();
    const auto count = static_cast<int32_t>(written_.size());
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) {
      names.push_back(SheetFileName(fileName_, i + 1, count));
      written_[static_cast<size_t>(i)]->SetTarget(names.back());
    }
    for (const auto& file : written_) file->Commit();
    files_ = std::move(names);
  } catch (...) {
    Abort();
    throw;
  }
  written_.clear();
  printing_ = false;
}

void TPngPrinter::Abort() {
  written_.clear();
  page_.reset();
  printing_ = false;
}

void TPngPrinter::StretchBand(const TRect& dest, const TBitmap32& band) {
  if (!printing_) RaiseError("The printer is not printing");
  if (band.Empty() || dest.IsEmpty() || !page_) return;
  TBitmapCanvas canvas(*page_);
  canvas.StretchBitmap(dest, band, band.BoundsRect(), smHalftone);
}

}  // namespace sw
