#include "storage/formats/raster_formats.h"

#include <algorithm>
#include <mutex>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/strings.h"
#include "storage/formats/bmp_format.h"
#include "storage/formats/gif_format.h"
#include "storage/formats/hck_format.h"
#include "storage/formats/jpeg_format.h"
#include "storage/formats/png_format.h"

namespace sw {

namespace {

struct TRegistryEntry {
  const TdtpRasterClass* rasterClass;
  std::string description;
  std::string extensions;
  uint16_t flags;
};

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}

std::vector<TRegistryEntry>& Registry() {
  static std::vector<TRegistryEntry> entries;
  return entries;
}

// The lower-cased extension of a file name, or the argument itself when it is an extension.
std::string ExtensionKey(const std::string& fileNameOrExtension) {
  std::string ext = ExtractFileExt(fileNameOrExtension);
  if (ext.empty() && !fileNameOrExtension.empty() && fileNameOrExtension[0] == '.') {
    ext = fileNameOrExtension;
  }
  return LowerCase(ext);
}

// The first registered class that lists the extension and may be chosen for saving.
const TdtpRasterClass* SavingFormatByExtension(const std::string& fileNameOrExtension) {
  const std::string key = ExtensionKey(fileNameOrExtension);
  if (key.empty()) return nullptr;
  const std::string needle = key + ";";
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (const TRegistryEntry& entry : Registry()) {
    if ((entry.flags & kRasterCanSave) && entry.extensions.find(needle) != std::string::npos) {
      return entry.rasterClass;
    }
  }
  return nullptr;
}

}  // namespace

// ---- TdtpRaster ----

TdtpRaster::TdtpRaster(const TdtpRasterClass* rasterClass)
    : class_(rasterClass), flags_(RasterFormatFlags(rasterClass)) {}

void TdtpRaster::LoadFromFile(const std::string& fileName, TBitmap32& bitmap, int page,
                              int maxWidth, int maxHeight) {
  if (!(flags_ & kRasterCanRead)) RaiseRasterError("Method not implemented");
  TFileStream file(fileName, TFileMode::fmOpenRead);
  LoadFromStream(file, bitmap, page, maxWidth, maxHeight);
  byteCount_ = file.Position();
}

void TdtpRaster::LoadFromStream(TStream&, TBitmap32&, int, int, int) {
  RaiseRasterError("Loading from stream is not implemented");
}

void TdtpRaster::SaveToStream(TStream&, const TBitmap32&) {
  RaiseRasterError("Method not implemented");
}

void TdtpRaster::SaveToFile(const std::string& fileName, const TBitmap32& bitmap) {
  if (!(flags_ & kRasterCanWrite)) RaiseRasterError("Method not implemented");
  TFileStream file(fileName, TFileMode::fmCreate);
  SaveToStream(file, bitmap);
  byteCount_ = file.Size();
}

void TdtpRaster::LoadSinglePage(TStream& stream, int page, const TRasterDecoder& decode) {
  if (page > 0) RaiseRasterError("Requested non-existing page");
  TStreamBytes bytes(stream);
  const TRasterDecoded decoded = decode(bytes.Data(), bytes.Size());
  const size_t consumed = decoded.consumed < bytes.Size() ? decoded.consumed : bytes.Size();
  bytes.Skip(consumed);
  width_ = decoded.width;
  height_ = decoded.height;
  warning_ = decoded.warning;
  byteCount_ = static_cast<int64_t>(consumed);
}

void TdtpRaster::SaveWith(TStream& stream, const TBitmap32& bitmap,
                          const std::function<void(TStream&)>& encode) {
  const int64_t start = stream.Position();
  encode(stream);
  width_ = bitmap.Width();
  height_ = bitmap.Height();
  byteCount_ = stream.Position() - start;
}

// ---- registry ----

void RegisterRasterFormat(const TdtpRasterClass* rasterClass, const std::string& description,
                          const std::string& extensions, uint16_t flags) {
  if (!rasterClass) return;
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (TRegistryEntry& entry : Registry()) {
    if (entry.rasterClass == rasterClass) {
      entry.description = description;
      entry.extensions = LowerCase(extensions);
      entry.flags = flags;
      return;
    }
  }
  Registry().push_back(TRegistryEntry{rasterClass, description, LowerCase(extensions), flags});
}

void RegisterRasterFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterRasterFormat(TdtpBmpFormat::Class(), "Windows Bitmap", ".bmp;.dib;", 15);
    RegisterRasterFormat(TdtpJpgFormat::Class(), "JPEG images", ".jpg;.jp;.jpeg;", 3615);
    RegisterRasterFormat(THckImage::Class(), "HCK Image", ".hck;", 111);
    RegisterRasterFormat(TdtpGifFormat::Class(), "Compuserve GIF", ".gif;", 4207);
    RegisterRasterFormat(TdtpPngFormat::Class(), "Portable Network Graphics", ".png;", 79);
  });
}

const TdtpRasterClass* RasterFormatByExtension(const std::string& fileNameOrExtension) {
  const std::string key = ExtensionKey(fileNameOrExtension);
  if (key.empty()) return nullptr;
  const std::string needle = key + ";";
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (const TRegistryEntry& entry : Registry()) {
    if (entry.extensions.find(needle) != std::string::npos) return entry.rasterClass;
  }
  return nullptr;
}

uint16_t RasterFormatFlags(const TdtpRasterClass* rasterClass) {
  if (!rasterClass) return 0;
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (const TRegistryEntry& entry : Registry()) {
    if (entry.rasterClass == rasterClass) return entry.flags;
  }
  return 0;
}

std::string RasterFormatDescription(const TdtpRasterClass* rasterClass) {
  if (!rasterClass) return std::string();
  std::lock_guard<std::mutex> guard(RegistryLock());
  for (const TRegistryEntry& entry : Registry()) {
    if (entry.rasterClass == rasterClass) return entry.description;
  }
  return std::string();
}

std::vector<const TdtpRasterClass*> RasterFormatClasses() {
  std::lock_guard<std::mutex> guard(RegistryLock());
  std::vector<const TdtpRasterClass*> classes;
  for (const TRegistryEntry& entry : Registry()) classes.push_back(entry.rasterClass);
  return classes;
}

// ---- TdtpImageFiler ----

TdtpImageFiler::TdtpImageFiler() { RegisterRasterFormats(); }

void TdtpImageFiler::SetExtension(const std::string& extension) {
  extension_ = extension;
  format_.reset();
}

void TdtpImageFiler::SetFileName(const std::string& fileName) {
  fileName_ = fileName;
  format_.reset();
}

void TdtpImageFiler::ChooseLoadFormat() {
  if (!fileName_.empty()) extension_ = ExtractFileExt(fileName_);

  // The content is tested at the stream's own position (which CanLoad restores), since that is
  // where the picture is read from.
  std::unique_ptr<TFileStream> file;
  auto contentStream = [&]() -> TStream* {
    if (Stream) return Stream;
    if (fileName_.empty()) return nullptr;
    if (!file) file = std::make_unique<TFileStream>(fileName_, TFileMode::fmOpenRead);
    return file.get();
  };

  // The content decides when it names a format: a PNG named ".jpg" is a PNG. The extension's
  // format is tried first, and is the one used (reporting its own fault) when no format
  // recognises the content, or when there is no content to look at.
  const TdtpRasterClass* byExtension = extension_.empty() ? nullptr : RasterFormatByExtension(extension_);
  TStream* stream = contentStream();
  if (stream) {
    if (byExtension && byExtension->CanLoad(stream)) {
      format_ = byExtension->Create();
      return;
    }
    for (const TdtpRasterClass* cls : RasterFormatClasses()) {
      if (cls->CanLoad(stream)) {
        format_ = cls->Create();
        return;
      }
    }
  }
  if (byExtension && byExtension->CanLoad(nullptr)) {
    format_ = byExtension->Create();
    return;
  }
  RaiseRasterError(sw::Format("Unknown raster format \"%s\"", extension_.c_str()));
}

void TdtpImageFiler::LoadPicture(TBitmap32* bitmap) {
  if (!bitmap) RaiseRasterError("Input bitmap not assigned");
  if (!format_) ChooseLoadFormat();
  if (Stream) {
    const int64_t start = Stream->Position();
    format_->LoadFromStream(*Stream, *bitmap, PageIndex, MaxWidth, MaxHeight);
    byteCount_ = Stream->Position() - start;
  } else if (format_->Flags() & kRasterCanRead) {
    if (fileName_.empty()) RaiseRasterError("Stream to read/write is unassigned");
    TFileStream file(fileName_, TFileMode::fmOpenRead);
    format_->LoadFromStream(file, *bitmap, PageIndex, MaxWidth, MaxHeight);
    byteCount_ = file.Size();
  } else {
    format_->LoadFromFile(fileName_, *bitmap, PageIndex, MaxWidth, MaxHeight);
    byteCount_ = format_->ByteCount();
  }
  pageCount_ = format_->PageCount();
}

void TdtpImageFiler::SavePicture(const TBitmap32* bitmap) {
  if (!bitmap) RaiseRasterError("Input bitmap not assigned");
  if (!format_) {
    std::string ext = ExtractFileExt(fileName_);
    if (ext.empty()) ext = extension_;
    if (const TdtpRasterClass* cls = SavingFormatByExtension(ext)) format_ = cls->Create();
    if (!format_) RaiseRasterError(sw::Format("Cannot save format \"%s\"", ext.c_str()));
  }
  if ((format_->Flags() & kRasterCanWrite) && Stream) {
    const int64_t start = Stream->Position();
    format_->SaveToStream(*Stream, *bitmap);
    byteCount_ = Stream->Size() - start;
  } else {
    format_->SaveToFile(fileName_, *bitmap);
    byteCount_ = TFileStream(fileName_, TFileMode::fmOpenRead).Size();
  }
}

// ---- helpers ----

void CheckRasterSize(int64_t width, int64_t height) {
  if (width < 0 || height < 0 || (height > 0 && width > TBitmap32::kMaxPixels / height)) {
    RaiseRasterError(Format("Picture of %lld x %lld pixels is too large",
                            static_cast<long long>(width), static_cast<long long>(height)));
  }
}

TRasterSize ReducedRasterSize(uint32_t width, uint32_t height, int maxWidth, int maxHeight) {
  if (maxWidth <= 0 || maxHeight <= 0 || width == 0 || height == 0 ||
      (width <= uint32_t(maxWidth) && height <= uint32_t(maxHeight))) {
    return TRasterSize{width, height};
  }
  const double s = std::min(double(maxWidth) / width, double(maxHeight) / height);
  return TRasterSize{uint32_t(std::clamp(Round(width * s), 1, maxWidth)),
                     uint32_t(std::clamp(Round(height * s), 1, maxHeight))};
}

bool StreamStartsWith(TStream& stream, size_t length, bool (*test)(const uint8_t*, size_t)) {
  const int64_t position = stream.Position();
  std::vector<uint8_t> head(length);
  const int64_t got = stream.Read(head.data(), static_cast<int64_t>(length));
  stream.SetPosition(position);
  return got == static_cast<int64_t>(length) && test(head.data(), length);
}

TStreamBytes::TStreamBytes(TStream& stream) : stream_(stream), start_(stream.Position()) {
  // Seeking is unchecked in the memory streams, and memory before the start is not ours.
  if (start_ < 0) RaiseStreamError("Stream read error");
  const int64_t total = stream.Size();
  const int64_t available = total > start_ ? total - start_ : 0;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    data_ = memory->Memory() + start_;
  } else if (auto* view = dynamic_cast<TReadOnlyMemoryStream*>(&stream)) {
    data_ = view->Memory() + start_;
  } else {
    if (available > kMaxPictureFileBytes) {
      RaiseRasterError(Format("Picture data of %lld bytes is more than a picture file may hold (%lld)",
                              static_cast<long long>(available), static_cast<long long>(kMaxPictureFileBytes)));
    }
    copy_.resize(static_cast<size_t>(available));
    if (available > 0) stream.ReadBuffer(copy_.data(), available);
    stream.SetPosition(start_);
    data_ = copy_.data();
  }
  size_ = available > 0 ? static_cast<size_t>(available) : 0;
  if (size_ == 0) data_ = nullptr;
}

void TStreamBytes::Skip(size_t consumed) {
  stream_.SetPosition(start_ + static_cast<int64_t>(consumed < size_ ? consumed : size_));
}

// ---- DecodePicture ----

std::string DecodePicture(TStream& stream, const std::string& extension, TBitmap32& bitmap, int page,
                   int maxWidth, int maxHeight) {
  TdtpImageFiler filer;
  filer.SetExtension(extension);
  filer.Stream = &stream;
  // Both numbers must be positive to count as a limit (two negatives make a positive product).
  if (maxWidth > 0 && maxHeight > 0) {
    filer.MaxWidth = maxWidth;
    filer.MaxHeight = maxHeight;
  }
  filer.PageIndex = page;
  filer.LoadPicture(&bitmap);
  return filer.Warning();
}

}  // namespace sw
