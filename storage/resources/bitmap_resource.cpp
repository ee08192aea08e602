#include "storage/resources/bitmap_resource.h"

#include <algorithm>
#include <vector>

#include "base/exception.h"
#include "storage/formats/bmp_format.h"
#include "storage/formats/compressors.h"
#include "storage/formats/jpeg_format.h"
#include "storage/xml/native_xml.h"
#include "storage/formats/raster_formats.h"
#include "storage/resources/decoded_pictures.h"

namespace sw {

namespace {

constexpr const char* kHckExtension = ".hck";

// The registered format for the extension; null for an empty extension.
const TdtpRasterClass* FormatFor(const std::string& extension) {
  if (extension.empty()) return nullptr;
  RegisterRasterFormats();
  return RasterFormatByExtension(extension);
}

}  // namespace

std::string ChangeFileExt(const std::string& fileName, const std::string& ext) {
  const std::string old = ExtractFileExt(fileName);
  return fileName.substr(0, fileName.size() - old.size()) + ext;
}

TdtpBitmapResource::~TdtpBitmapResource() {
  // Leave the cache before this part of the object goes: a trim must not reach it half destroyed.
  Unregister();
}

int64_t TdtpBitmapResource::MemorySize() {
  return bitmap_ ? static_cast<int64_t>(bitmap_->Width()) * bitmap_->Height() * 4 : 0;
}

TBitmap32* TdtpBitmapResource::Bitmap() {
  Touch();
  EnsureState(kStateBitmap);
  return bitmap_.get();
}

bool TdtpBitmapResource::PictureSize(int32_t& width, int32_t& height) {
  width = height = 0;
  TResourceAccess access(*this);
  if (!bitmap_ && !bitmapModified_) {
    ReadData();
    // The decoder of the extension (as LoadObject picks it) at the filer's size limit: what the
    // header says is what decoding would give.
    data_.SetPosition(0);
    if (data_.Size() > 0 && FormatFor(DataExtension()) == TdtpJpgFormat::Class()) {
      const TStreamBytes bytes(data_);
      if (bytes.Size() >= 3 && bytes.Data()[0] == 0xFF && bytes.Data()[1] == 0xD8 && bytes.Data()[2] == 0xFF) {
        const TdtpImageFiler filer;
        JpegDecodedSize(bytes.Data(), bytes.Size(), filer.MaxWidth, filer.MaxHeight, width, height);
        data_.SetPosition(0);
        return width > 0 && height > 0;
      }
    }
    data_.SetPosition(0);
  }
  const TBitmap32* picture = Bitmap();
  if (!picture || picture->Empty()) return false;
  width = picture->Width();
  height = picture->Height();
  return true;
}

void TdtpBitmapResource::SetBitmap(const TBitmap32* value) {
  {
    TResourceAccess access(*this);
    if (!value) {
      Clear();
    } else {
      // The old picture is replaced whole, so its data is not decoded first.
      if (!bitmap_) bitmap_ = std::make_unique<TBitmap32>();
      // Without an extension the encoder would have no format and the picture would be lost.
      if (DataExtension().empty()) fileName_ += kHckExtension;
      bitmap_->Assign(*value);
      bitmapModified_ = true;
      Touch();
    }
  }
  DoPictureChanged();
}

void TdtpBitmapResource::AdoptBitmap(std::unique_ptr<TBitmap32> bitmap) {
  TResourceAccess access(*this);
  if (bitmap.get() == bitmap_.get()) {
    (void)bitmap.release();  // it is ours already
    return;
  }
  bitmap_ = std::move(bitmap);
  bitmapModified_ = true;
  Touch();
  DoPictureChanged();
}

void TdtpBitmapResource::BitmapChanged() {
  {
    TResourceAccess access(*this);
    bitmapModified_ = true;
  }
  DoPictureChanged();
}

void TdtpBitmapResource::StoreObject() {
  const TdtpRasterClass* format = FormatFor(DataExtension());
  // A picture whose extension names no writable format is kept as HCK rather than lost.
  if (!format || !(RasterFormatFlags(format) & kRasterCanWrite)) {
    fileName_ = ChangeFileExt(fileName_, kHckExtension);
  }
  // A picture without pixels is stored as no data: not every encoder takes 0 x 0.
  if (!bitmap_ || bitmap_->Empty()) return;
  TdtpImageFiler filer;
  filer.SetExtension(DataExtension());
  filer.Stream = &data_;
  data_.SetPosition(0);
  filer.SavePicture(bitmap_.get());
  data_.SetPosition(0);
}

void TdtpBitmapResource::SetDecodeNeed(int32_t side) {
  side = std::max(side, 0);
  {
    TResourceAccess access(*this);
    decodeNeed_ = side;
    if (!bitmap_ || decodedFor_ == 0 || (side != 0 && side <= decodedFor_)) return;
  }
  ReleaseBitmap();
}

void TdtpBitmapResource::LoadObject() {
  std::shared_ptr<TBitmap32> bitmap;
  // Page 0, no maximum size: the filer's 4000 x 4000 applies. A JPEG needed smaller is scaled
  // while it is decoded, which only ever halves it down to the need.
  const TdtpImageFiler defaults;
  const bool scaled = decodeNeed_ > 0 && decodeNeed_ < std::min(defaults.MaxWidth, defaults.MaxHeight) &&
                      FormatFor(DataExtension()) == TdtpJpgFormat::Class();
  const int32_t need = scaled ? decodeNeed_ : 0;
  const std::string extension = DataExtension();
  TDecodedPictures* decoded = container_ ? container_->DecodedPictures() : nullptr;
  if (!decoded || !decoded->Take(data_, extension, need, bitmap, loadWarning_)) {
    bitmap = std::make_shared<TBitmap32>();
    loadWarning_ = DecodePicture(data_, extension, *bitmap, 0, need, need);
    if (decoded) decoded->Keep(data_, extension, need, bitmap, loadWarning_);
  }
  decodedFor_ = need;
  bitmap_ = std::move(bitmap);
}

void TdtpBitmapResource::CheckFile(const std::string&, TStream& file) {
  // Every format knows its files by their first bytes; a file none of them knows is not read.
  RegisterRasterFormats();
  for (const TdtpRasterClass* format : RasterFormatClasses()) {
    if (format->CanLoad(&file)) return;
  }
  RaiseRasterError("it is not a picture: its first bytes are those of no known picture format");
}

void TdtpBitmapResource::VerifyData(TLoadProof proof) {
  if (proof == TLoadProof::Header) {
    int32_t width = 0, height = 0;
    if (!PictureSize(width, height)) RaiseRasterError("it holds a picture without pixels");
    bitmap_.reset();
    return;
  }
  Decode();
  if (!bitmap_ || bitmap_->Empty()) RaiseRasterError("it holds a picture without pixels");
  // Proved good; the pixels wait for their first use, as those of a loaded document do.
  bitmap_.reset();
}

void TdtpBitmapResource::ReadFile() {
  const TdtpRasterClass* format = FormatFor(DataExtension());
  if (format && (RasterFormatFlags(format) & kRasterCanRead)) {
    // The file's bytes unchanged: a JPEG stays the same JPEG inside a design.
    TdtpResource::ReadFile();
    return;
  }
  TBitmap32 picture;
  TdtpImageFiler reader;
  reader.SetFileName(ExternalPath());
  reader.LoadPicture(&picture);
  data_.Clear();
  TdtpImageFiler writer;
  writer.SetExtension(kHckExtension);
  writer.Stream = &data_;
  writer.SavePicture(&picture);
  data_.SetPosition(0);
  fileName_ = ChangeFileExt(fileName_, kHckExtension);
}

void ReadXmlBitmap(const TXmlNode* parent, const std::string& name, TBitmap32& bitmap) {
  if (!parent || name.empty()) return;
  const TXmlNode* element = parent->FindChild(name);
  if (!element) return;
  const int64_t packedSize = element->ReadInteger("CompressedSize", 0);
  const int64_t sourceSize = element->ReadInteger("SourceSize", 0);
  if (packedSize == 0 || sourceSize == 0) return;
  const TXmlNode* buffer = element->FindChild("Buffer");
  if (!buffer) return;

  // The stored lengths are checked against each other, the text and a fixed limit before any
  // buffer is reserved. The packed size is not held to the packer's nominal reserve: noisy
  // pictures packed larger than that, and the text length bounds it anyway.
  if (packedSize < 0 || sourceSize < 0 || sourceSize > kMaxXmlBitmapBytes ||
      static_cast<size_t>(sourceSize) > MaxUnpackedLength(static_cast<size_t>(packedSize))) {
    RaiseRasterError("Image file is corrupted");
  }
  if (packedSize > buffer->BinaryLength()) RaiseFilerError("Missing data in binary stream");

  std::vector<uint8_t> packed(static_cast<size_t>(packedSize));
  buffer->ReadBinary(packed.data(), packedSize);
  std::vector<uint8_t> file(static_cast<size_t>(sourceSize));
  UnpackBlock(packed.data(), packed.size(), file.data(), file.size());
  packed = {};
  InterleavePlanes(file.data(), file.size(), file.data(), 4);

  // Decoded aside, so that a damaged file leaves the caller's bitmap as it was.
  TBitmap32 picture;
  DecodeBmp(file.data(), file.size(), picture);
  bitmap.Assign(picture);
}

}  // namespace sw
