#include "platform/pdf_printer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <system_error>
#include <vector>

#include "base/deflate.h"
#include "base/exception.h"
#include "base/numeric.h"
#include "base/stream.h"
#include "base/strings.h"

namespace sw {

namespace {

constexpr double kPointsPerMm = 72.0 / kMmPerInch;
// The objects every file has, written last when the pages are known.
constexpr int32_t kCatalogObject = 1, kPagesObject = 2, kInfoObject = 3, kFirstFreeObject = 4;

// Bands reach the compressor through the PNG "sub" predictor, which turns flat colour into runs of
// zeros and a photo into small differences: matching only runs finds nearly everything a full
// match search would, in half the time, and the file comes out smaller than the default search's
// at the fast levels.
const TDeflateErrors kDeflateErrors{RaiseError, "Cannot start the PDF compressor", "PDF compression failed"};

// A rectangle of the page in points from its bottom-left corner.
struct TPdfBox {
  double X = 0, Y = 0, Width = 0, Height = 0;

  // The matrix that stretches an image's unit square over the box.
  std::string ImageMatrix() const {
    return PdfNumber(Width) + " 0 0 " + PdfNumber(Height) + " " + PdfNumber(X) + " " + PdfNumber(Y) + " cm";
  }
  // The box as a path, for a clip.
  std::string Path() const {
    return PdfNumber(X) + " " + PdfNumber(Y) + " " + PdfNumber(Width) + " " + PdfNumber(Height) + " re";
  }
};

// Device pixels from the sheet's top-left corner to points from its bottom-left corner. The
// sheet's whole pixels are the paper rounded, a third of a pixel short or long; a pixel is taken
// as the paper's own share of it (along the side where it is the larger, so that the sheet still
// covers the paper), which puts a page of the paper's size at its true size rather than shrunk by
// the rounding.
TPdfBox BoxOf(const TRect& r, const TFilePrinterSettings& settings, const TPrinterSheet& sheet) {
  const double k = std::max(settings.PaperWidth * kPointsPerMm / sheet.Width,
                            settings.PaperHeight * kPointsPerMm / sheet.Height);
  const double pageHeight = settings.PaperHeight * kPointsPerMm;
  return TPdfBox{r.Left * k, pageHeight - r.Bottom * k, r.Width() * k, r.Height() * k};
}

// A PDF text string: UTF-16BE with its byte-order mark, as hexadecimal.
std::string PdfText(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "<FEFF";
  for (const char16_t c : Utf8ToUtf16(utf8)) {
    for (const int shift : {12, 8, 4, 0}) out += kHex[(c >> shift) & 0xF];
  }
  return out + ">";
}

}  // namespace

std::string PdfNumber(double value) {
  if (!std::isfinite(value)) return "0";
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
  if (ec != std::errc()) return "0";
  std::string text(buffer, end);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

namespace {

// Compressed pictures waiting for the file at most: each holds its picture until it is written.
constexpr size_t kImagesInFlight = 2;

// An image's rows through the PNG predictor "sub" (the image's DecodeParms say so), compressed.
std::unique_ptr<TDeflater> CompressImage(const TBitmap32& bitmap, int level) {
  auto data = std::make_unique<TDeflater>(level, TDeflateStrategy::Runs, kDeflateErrors);
  std::vector<uint8_t> row(static_cast<size_t>(bitmap.Width()) * 3 + 1);
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    FilterRowSub(bitmap.ScanLine(y), bitmap.Width(), row.data());
    data->Add(row.data(), row.size());
  }
  data->Finish();
  return data;
}

// A placed picture's image object, numbered when it was laid and compressed beside the drawing
// of what follows it.
struct TPendingImage {
  int32_t Number = 0;
  int32_t Width = 0, Height = 0;
  std::future<std::unique_ptr<TDeflater>> Data;
};

}  // namespace

struct TPdfPrinter::TJob {
  explicit TJob(const std::string& fileName) : File(fileName) {}

  TAtomicFile File;
  int64_t Offset = 0;
  // Byte offset of each object by number; 0 for objects not written yet.
  std::vector<int64_t> Objects = std::vector<int64_t>(kFirstFreeObject, 0);
  std::vector<int32_t> Pages;
  std::vector<int32_t> PageImages;
  // The pictures placed so far and their image objects; those not yet in the file, oldest first.
  TPlacedPictures<int32_t> Placed;
  std::deque<TPendingImage> Pending;
  std::string Content;
  std::string Title;

  void Write(const void* data, size_t size) {
    File.Stream().WriteBuffer(data, static_cast<int64_t>(size));
    Offset += static_cast<int64_t>(size);
  }
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  int32_t NewObject() {
    Objects.push_back(0);
    return static_cast<int32_t>(Objects.size() - 1);
  }
  void BeginObject(int32_t number) {
    Objects[static_cast<size_t>(number)] = Offset;
    Write(std::to_string(number) + " 0 obj\n");
  }
  void WriteImageObject(int32_t number, int32_t width, int32_t height, const TDeflater& data) {
    WriteStreamObject(number,
                      "/Type /XObject /Subtype /Image /Width " + std::to_string(width) + " /Height " +
                          std::to_string(height) +
                          " /ColorSpace /DeviceRGB /BitsPerComponent 8 /DecodeParms << /Predictor 15 "
                          "/Colors 3 /BitsPerComponent 8 /Columns " +
                          std::to_string(width) + " >>",
                      data);
  }
  // Writes the oldest pending image, waiting for its compression; a failed one raises here.
  void WriteOldestPending() {
    TPendingImage image = std::move(Pending.front());
    Pending.pop_front();
    WriteImageObject(image.Number, image.Width, image.Height, *image.Data.get());
  }
  void WritePending() {
    while (!Pending.empty()) WriteOldestPending();
  }
  // An object holding a stream whose dictionary is dict (without Length).
  void WriteStreamObject(int32_t number, const std::string& dict, const TDeflater& data) {
    BeginObject(number);
    Write("<< " + dict + " /Filter /FlateDecode /Length " + std::to_string(data.Size()) + " >>\nstream\n");
    Write(data.Output().data(), data.Size());
    Write("\nendstream\nendobj\n");
  }
};

TPdfPrinter::TPdfPrinter(std::string fileName, const TFilePrinterSettings& settings)
    : fileName_(std::move(fileName)), settings_(settings) {
  CheckFilePrinterSettings(settings_);
  sheet_ = FileSheet(settings_);
}

TPdfPrinter::~TPdfPrinter() { Abort(); }

int64_t TPdfPrinter::BytesWritten() const { return job_ ? job_->Offset : 0; }

void TPdfPrinter::BeginDoc(const std::string& title) {
  if (job_) RaiseError("The printer is printing already");
  auto job = std::make_unique<TJob>(fileName_);
  job->Title = title;
  // The second line's high bytes mark the file as binary for programs that guess.
  job->Write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  job_ = std::move(job);
}

int32_t TPdfPrinter::WriteImage(const TBitmap32& bitmap) {
  TJob& job = *job_;
  const std::unique_ptr<TDeflater> data = CompressImage(bitmap, CompressionLevel);
  const int32_t image = job.NewObject();
  job.WriteImageObject(image, bitmap.Width(), bitmap.Height(), *data);
  return image;
}

int32_t TPdfPrinter::StartImage(const std::shared_ptr<const TBitmap32>& picture) {
  TJob& job = *job_;
  const int32_t image = job.NewObject();
  TPendingImage pending;
  pending.Number = image;
  pending.Width = picture->Width();
  pending.Height = picture->Height();
  try {
    pending.Data = std::async(std::launch::async, [picture, level = CompressionLevel] { return CompressImage(*picture, level); });
  } catch (const std::system_error&) {
    // No thread to spare: compressed here and now.
    std::promise<std::unique_ptr<TDeflater>> done;
    done.set_value(CompressImage(*picture, CompressionLevel));
    pending.Data = done.get_future();
  }
  job.Pending.push_back(std::move(pending));
  while (job.Pending.size() > kImagesInFlight) job.WriteOldestPending();
  return image;
}

void TPdfPrinter::AddToPage(int32_t image) {
  std::vector<int32_t>& images = job_->PageImages;
  if (std::find(images.begin(), images.end(), image) == images.end()) images.push_back(image);
}

void TPdfPrinter::StretchBand(const TRect& dest, const TBitmap32& band) {
  if (!job_) RaiseError("The printer is not printing");
  if (band.Empty() || dest.IsEmpty()) return;
  try {
    const int32_t image = WriteImage(band);
    AddToPage(image);
    job_->Content += "q " + BoxOf(dest, settings_, sheet_).ImageMatrix() + " /Im" + std::to_string(image) + " Do Q\n";
  } catch (...) {
    Abort();
    throw;
  }
}

void TPdfPrinter::PlacePicture(int32_t x, int32_t y, const std::shared_ptr<const TBitmap32>& picture,
                               const TRect& clip) {
  if (!job_) RaiseError("The printer is not printing");
  if (!picture || picture->Empty()) return;
  const TRect whole{x, y, x + picture->Width(), y + picture->Height()};
  const TRect part = IntersectRect(whole, clip);
  if (part.IsEmpty()) return;
  TJob& job = *job_;
  try {
    const int32_t* kept = job.Placed.Find(picture);
    const int32_t image = kept ? *kept : job.Placed.Add(picture, StartImage(picture));
    AddToPage(image);
    // Cut to the part: a rectangle clip, then the whole picture where it lies.
    job.Content += "q " + BoxOf(part, settings_, sheet_).Path() + " W n " + BoxOf(whole, settings_, sheet_).ImageMatrix() +
                   " /Im" + std::to_string(image) + " Do Q\n";
  } catch (...) {
    Abort();
    throw;
  }
}

void TPdfPrinter::NewPage() {
  if (!job_) RaiseError("The printer is not printing");
  TJob& job = *job_;
  try {
    job.WritePending();
    TDeflater content(CompressionLevel, TDeflateStrategy::Runs, kDeflateErrors);
    content.Add(reinterpret_cast<const uint8_t*>(job.Content.data()), job.Content.size());
    content.Finish();
    const int32_t contentObject = job.NewObject();
    job.WriteStreamObject(contentObject, "", content);
    std::string images;
    for (const int32_t image : job.PageImages) {
      images += "/Im" + std::to_string(image) + " " + std::to_string(image) + " 0 R ";
    }
    const int32_t page = job.NewObject();
    job.BeginObject(page);
    job.Write("<< /Type /Page /Parent " + std::to_string(kPagesObject) + " 0 R /MediaBox [0 0 " +
              PdfNumber(settings_.PaperWidth * kPointsPerMm) + " " + PdfNumber(settings_.PaperHeight * kPointsPerMm) +
              "] /Resources << /XObject << " + images + ">> >> /Contents " + std::to_string(contentObject) +
              " 0 R >>\nendobj\n");
    job.Pages.push_back(page);
    job.PageImages.clear();
    job.Content.clear();
  } catch (...) {
    Abort();
    throw;
  }
}

void TPdfPrinter::EndDoc() {
  if (!job_) RaiseError("The printer is not printing");
  NewPage();
  TJob& job = *job_;
  try {
    std::string kids;
    for (const int32_t page : job.Pages) kids += std::to_string(page) + " 0 R ";
    job.BeginObject(kPagesObject);
    job.Write("<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(job.Pages.size()) + " >>\nendobj\n");
    job.BeginObject(kCatalogObject);
    job.Write("<< /Type /Catalog /Pages " + std::to_string(kPagesObject) + " 0 R >>\nendobj\n");
    job.BeginObject(kInfoObject);
    job.Write("<< /Title " + PdfText(job.Title) + " /Producer (Stickwell) >>\nendobj\n");
    const int64_t xref = job.Offset;
    std::string table = "xref\n0 " + std::to_string(job.Objects.size()) + "\n0000000000 65535 f \n";
    for (size_t i = 1; i < job.Objects.size(); ++i) {
      char entry[32];
      std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(job.Objects[i]));
      table += entry;
    }
    table += "trailer\n<< /Size " + std::to_string(job.Objects.size()) + " /Root " + std::to_string(kCatalogObject) +
             " 0 R /Info " + std::to_string(kInfoObject) + " 0 R >>\nstartxref\n" + std::to_string(xref) +
             "\n%%EOF\n";
    job.Write(table);
    job.File.Commit();
  } catch (...) {
    Abort();
    throw;
  }
  job_.reset();
}

void TPdfPrinter::Abort() { job_.reset(); }

}  // namespace sw
