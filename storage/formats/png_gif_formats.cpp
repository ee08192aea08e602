#include "storage/formats/png_gif_formats.h"

#include "base/exception.h"
#include "storage/formats/gif_codec.h"
#include "storage/formats/png_codec.h"

namespace sw {

namespace {

bool PngCanLoad(TStream* stream) {
  if (!stream) return true;
  const int64_t position = stream->Position();
  uint8_t magic[8] = {};
  const int64_t got = stream->Read(magic, 8);
  stream->SetPosition(position);
  return got == 8 && IsPng(magic, 8);
}

bool GifCanLoad(TStream* stream) {
  if (!stream) return true;
  const int64_t position = stream->Position();
  uint8_t magic[6] = {};
  const int64_t got = stream->Read(magic, 6);
  stream->SetPosition(position);
  return got == 6 && IsGif(magic, 6);
}

std::unique_ptr<TdtpRaster> PngCreate() { return std::make_unique<TdtpPngFormat>(); }
std::unique_ptr<TdtpRaster> GifCreate() { return std::make_unique<TdtpGifFormat>(); }

const TdtpRasterClass kPngClass{"TdtpPngFormat", PngCreate, PngCanLoad};
const TdtpRasterClass kGifClass{"TdtpGifFormat", GifCreate, GifCanLoad};

}  // namespace

const TdtpRasterClass* TdtpPngFormat::Class() { return &kPngClass; }
const TdtpRasterClass* TdtpGifFormat::Class() { return &kGifClass; }

void TdtpPngFormat::LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int, int) {
  if (page > 0) RaiseRasterError("Requested non-existing page");
  TStreamBytes bytes(stream);
  const size_t consumed = DecodePng(bytes.Data(), bytes.Size(), bitmap);
  bytes.Skip(consumed);
  width_ = bitmap.Width();
  height_ = bitmap.Height();
  byteCount_ = static_cast<int64_t>(consumed);
}

void TdtpPngFormat::SaveToStream(TStream& stream, const TBitmap32& bitmap) {
  const int64_t start = stream.Position();
  EncodePng(bitmap, stream);
  width_ = bitmap.Width();
  height_ = bitmap.Height();
  byteCount_ = stream.Position() - start;
}

void TdtpGifFormat::LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                                   int maxHeight) {
  if (page > 0) RaiseRasterError("Requested non-existing page");
  TStreamBytes bytes(stream);
  const size_t consumed = DecodeGif(bytes.Data(), bytes.Size(), bitmap, maxWidth, maxHeight);
  bytes.Skip(consumed);
  width_ = bitmap.Width();
  height_ = bitmap.Height();
  byteCount_ = static_cast<int64_t>(consumed);
}

void TdtpGifFormat::SaveToStream(TStream& stream, const TBitmap32& bitmap) {
  const int64_t start = stream.Position();
  EncodeGif(bitmap, stream, AlphaThreshold, TransparentColor);
  width_ = bitmap.Width();
  height_ = bitmap.Height();
  byteCount_ = stream.Position() - start;
}

}  // namespace sw
