// Raster file formats: the format base class TdtpRaster, the process-wide registry of format
// classes, the filer that picks a format for a file name, extension or stream, and DecodePicture.
// Every error raised here is an ERasterError (decoder-specific errors may pass through).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "raster/bitmap32.h"

namespace sw {

class TdtpRaster;

// Flag bits of a registry entry. The other bits are carried without effect.
constexpr uint16_t kRasterCanRead = 1;         // reads from a stream
constexpr uint16_t kRasterCanWrite = 4;        // writes to a stream
constexpr uint16_t kRasterCanSave = 8;         // may be chosen for saving
constexpr uint16_t kRasterBmpTransparent = 64; // bitmap format: bottom-left colour made transparent

// The class-level description of one format: its name, a factory and the content test.
struct TdtpRasterClass {
  const char* ClassName;
  // Creates an instance; its flags are taken from the registry entry of this class.
  std::unique_ptr<TdtpRaster> (*Create)();
  // True when the format accepts the stream's content (the position is restored). With a null
  // stream: true when the format accepts without looking at the content.
  bool (*CanLoad)(TStream* stream);
};

// What a decoder reports: the bytes it read and the picture's own size (before any reduction).
struct TRasterDecoded {
  size_t consumed = 0;
  int32_t width = 0;
  int32_t height = 0;
  // Not empty when the picture was decoded from damaged or incomplete data: what is wrong.
  std::string warning;
};

// Decodes the bytes from a stream's position (data is null when there are none).
using TRasterDecoder = std::function<TRasterDecoded(const uint8_t* data, size_t size)>;

// Base class of the formats. Width, Height, PageCount and ByteCount describe the last load or save.
class TdtpRaster {
public:
  explicit TdtpRaster(const TdtpRasterClass* rasterClass);
  virtual ~TdtpRaster() = default;
  TdtpRaster(const TdtpRaster&) = delete;
  TdtpRaster& operator=(const TdtpRaster&) = delete;

  // Needs flag 1, else "Method not implemented"; ByteCount becomes the bytes read.
  virtual void LoadFromFile(const std::string& fileName, TBitmap32& bitmap, int page,
                            int maxWidth, int maxHeight);
  // Decodes from the stream's position. A page above the format's last raises "Requested
  // non-existing page". maxWidth/maxHeight of 0 or less mean no limit.
  // The base raises "Loading from stream is not implemented".
  virtual void LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                              int maxHeight);
  // Encodes at the stream's position. The base raises "Method not implemented".
  virtual void SaveToStream(TStream& stream, const TBitmap32& bitmap);
  // Needs flag 4, else "Method not implemented"; creates the file.
  virtual void SaveToFile(const std::string& fileName, const TBitmap32& bitmap);

  const TdtpRasterClass* RasterClass() const { return class_; }
  uint16_t Flags() const { return flags_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t PageCount() const { return pageCount_; }
  int64_t ByteCount() const { return byteCount_; }
  // What the last load found wrong with a picture it could still decode; empty when nothing.
  const std::string& Warning() const { return warning_; }

protected:
  // The load of a single-page format: a page above 0 raises "Requested non-existing page";
  // otherwise decode runs over the bytes from the stream's position, the stream is left just
  // behind what it consumed (at most the end) and the size and byte count are recorded.
  void LoadSinglePage(TStream& stream, int page, const TRasterDecoder& decode);
  // Runs encode at the stream's position and records the bitmap's size and the bytes written.
  void SaveWith(TStream& stream, const TBitmap32& bitmap, const std::function<void(TStream&)>& encode);

  const TdtpRasterClass* class_;
  uint16_t flags_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t pageCount_ = 1;
  int64_t byteCount_ = 0;
  std::string warning_;
};

// Registers a format class, or updates its entry in place when it is registered already.
// extensions: lower case, each followed by ";" (".jpg;.jp;.jpeg;"). Thread-safe.
void RegisterRasterFormat(const TdtpRasterClass* rasterClass, const std::string& description,
                          const std::string& extensions, uint16_t flags);
// Registers the built-in formats (bitmap, JPEG, HCK, GIF, PNG, in this order) once per process;
// later calls do nothing. Thread-safe.
void RegisterRasterFormats();
// The first registered class whose extensions contain the lower-cased extension of the argument
// (a file name, or an extension with its point) followed by ";"; null when none does.
const TdtpRasterClass* RasterFormatByExtension(const std::string& fileNameOrExtension);
// The registered flags of a class; 0 for null or an unregistered class.
uint16_t RasterFormatFlags(const TdtpRasterClass* rasterClass);
// The registered description of a class; empty for null or an unregistered class.
std::string RasterFormatDescription(const TdtpRasterClass* rasterClass);
// The registered classes in registration order.
std::vector<const TdtpRasterClass*> RasterFormatClasses();

// Picks a format for a file name, extension or stream and loads or saves a picture with it.
class TdtpImageFiler {
public:
  TdtpImageFiler();  // registers the built-in formats when that has not happened yet

  // Both drop the chosen format. The extension keeps its leading point.
  void SetExtension(const std::string& extension);
  void SetFileName(const std::string& fileName);
  const std::string& Extension() const { return extension_; }
  const std::string& FileName() const { return fileName_; }

  // Loads page PageIndex into bitmap, reading Stream from its position (or the file when there
  // is no stream). Null raises "Input bitmap not assigned"; no format found raises
  // "Unknown raster format "%s"".
  void LoadPicture(TBitmap32* bitmap);
  // Saves bitmap to Stream at its position (or to the file). Null raises "Input bitmap not
  // assigned"; no saving format for the extension raises "Cannot save format "%s"".
  void SavePicture(const TBitmap32* bitmap);

  int PageCount() const { return pageCount_; }
  int64_t ByteCount() const { return byteCount_; }
  // The chosen format's warning about the last picture loaded; empty when none.
  std::string Warning() const { return format_ ? format_->Warning() : std::string(); }
  // The chosen format instance; null before a load or save and after a name change.
  TdtpRaster* Format() const { return format_.get(); }

  int MaxWidth = 4000;   // 0 or less: no limit
  int MaxHeight = 4000;
  int PageIndex = 0;
  TStream* Stream = nullptr;  // not owned

private:
  void ChooseLoadFormat();

  std::string extension_;
  std::string fileName_;
  int pageCount_ = 0;
  std::unique_ptr<TdtpRaster> format_;
  int64_t byteCount_ = 0;
};

// Helpers shared by the formats.

// Raises "Picture of %lld x %lld pixels is too large" for a negative size or one of more than
// TBitmap32::kMaxPixels pixels, so that nothing is allocated for it.
void CheckRasterSize(int64_t width, int64_t height);

// The size a picture of width x height takes on loading: itself when it fits within maxWidth x
// maxHeight (or either is 0 or less), else scaled down to fit, aspect kept, at least 1 x 1.
struct TRasterSize {
  uint32_t width = 0;
  uint32_t height = 0;
};
TRasterSize ReducedRasterSize(uint32_t width, uint32_t height, int maxWidth, int maxHeight);

// The content test of a format known by its first bytes: test sees the length bytes at the
// stream's position, which is restored; false when the stream holds fewer.
bool StreamStartsWith(TStream& stream, size_t length, bool (*test)(const uint8_t* data, size_t size));

// The most bytes of a picture read from a file (a picture of kMaxPixels pixels needs far fewer
// in any format that packs at all).
constexpr int64_t kMaxPictureFileBytes = int64_t(256) << 20;

// The bytes from a stream's position to its end, without copying when the stream is in memory.
// Skip(n) moves the stream to n bytes past the starting position. More than kMaxPictureFileBytes
// to copy raise ERasterError before anything is read.
class TStreamBytes {
public:
  explicit TStreamBytes(TStream& stream);
  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  void Skip(size_t consumed);

private:
  TStream& stream_;
  int64_t start_;
  std::vector<uint8_t> copy_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Decodes the picture at the stream's position with the format of the extension (or the one the
// content names). A maximum size whose product is not positive means the default 4000 x 4000.
// Returns the format's warning about damaged data it could still decode (empty when none).
std::string DecodePicture(TStream& stream, const std::string& extension, TBitmap32& bitmap, int page,
                   int maxWidth, int maxHeight);

}  // namespace sw
