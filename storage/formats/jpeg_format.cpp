#include "storage/formats/jpeg_format.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "base/bytes.h"
#include "base/exception.h"
#include "storage/formats/orientation.h"

// libjpeg reports errors by calling error_exit, which must not return. Ours longjmps back to the
// setjmp of the Jpeg* function that called into the library. Those functions, and the callbacks,
// hold only plain C data, so the jump never skips a C++ destructor; the C++ side owns the state
// records and releases them after the call has returned.

namespace sw {

namespace {

static_assert(std::endian::native == std::endian::little,
              "JCS_EXT_BGRA rows are TColor32 pixels on little-endian machines");

// Progressive pictures keep every coefficient in memory; beyond this libjpeg raises an error
// instead of asking for more.
constexpr long kJpegMemoryLimit = 2047L * 1024 * 1024;

// A header stating more pixels than this many per byte of data (plus an allowance) is refused
// before anything is allocated: even one bit per 8 x 8 block gives only 512 pixels per byte.
constexpr int64_t kJpegPixelsPerByte = 1024;
constexpr int64_t kJpegPixelAllowance = int64_t(1) << 22;

struct TJpegError {
  jpeg_error_mgr pub;  // first, so that cinfo->err points at the whole record
  std::jmp_buf jump;
  int code;
};

void JpegErrorExit(j_common_ptr cinfo) {
  TJpegError* err = reinterpret_cast<TJpegError*>(cinfo->err);
  err->code = err->pub.msg_code;
  std::longjmp(err->jump, 1);
}

// Warnings (corrupt data, premature end) are counted, never printed.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}

void JpegOutputMessage(j_common_ptr) {}

void InitError(TJpegError* err) {
  jpeg_std_error(&err->pub);
  err->pub.error_exit = JpegErrorExit;
  err->pub.emit_message = JpegEmitMessage;
  err->pub.output_message = JpegOutputMessage;
  err->code = 0;
}

// ---- decoding: plain state and the setjmp functions ----

struct TJpegDecoder {
  jpeg_decompress_struct cinfo;
  TJpegError err;
  bool created;
  unsigned rowsDone;
};

// Returns 0, or libjpeg's message number.
int JpegOpen(TJpegDecoder* d, const uint8_t* data, size_t size) {
  d->cinfo.err = &d->err.pub;
  if (setjmp(d->err.jump)) return d->err.code;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  d->cinfo.mem->max_memory_to_use = kJpegMemoryLimit;
  jpeg_mem_src(&d->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d->cinfo, TRUE);
  return 0;
}

int JpegPrepare(TJpegDecoder* d, unsigned denominator, J_COLOR_SPACE outSpace) {
  if (setjmp(d->err.jump)) return d->err.code;
  d->cinfo.scale_num = 1;
  d->cinfo.scale_denom = denominator;
  d->cinfo.dct_method = JDCT_ISLOW;
  d->cinfo.do_fancy_upsampling = TRUE;
  d->cinfo.out_color_space = outSpace;
  jpeg_calc_output_dimensions(&d->cinfo);
  return 0;
}

// Decodes every row into bits (stride bytes apart). cmykRow, when not null, receives CMYK rows
// that are converted here; inverted says the values are stored inverted (Adobe).
int JpegReadPixels(TJpegDecoder* d, uint8_t* bits, size_t stride, uint8_t* cmykRow, bool inverted) {
  if (setjmp(d->err.jump)) return d->err.code;
  jpeg_start_decompress(&d->cinfo);
  const unsigned width = d->cinfo.output_width;
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    const unsigned y = d->cinfo.output_scanline;
    if (cmykRow) {
      JSAMPROW row = cmykRow;
      if (jpeg_read_scanlines(&d->cinfo, &row, 1) != 1) break;
      uint32_t* out = reinterpret_cast<uint32_t*>(bits + stride * y);
      for (unsigned x = 0; x < width; ++x) {
        const uint8_t* p = cmykRow + 4 * x;
        unsigned c = p[0], m = p[1], yl = p[2], k = p[3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          yl = 255 - yl;
          k = 255 - k;
        }
        out[x] = 0xFF000000u | (((c * k + 127) / 255) << 16) | (((m * k + 127) / 255) << 8) |
                 ((yl * k + 127) / 255);
      }
    } else {
      JSAMPROW rows[16];
      unsigned count = d->cinfo.output_height - y;
      if (count > 16) count = 16;
      for (unsigned i = 0; i < count; ++i) rows[i] = bits + stride * (y + i);
      if (jpeg_read_scanlines(&d->cinfo, rows, count) == 0) break;
    }
    d->rowsDone = d->cinfo.output_scanline;
  }
  d->rowsDone = d->cinfo.output_scanline;
  jpeg_finish_decompress(&d->cinfo);
  return 0;
}

class TDecoderHolder {
public:
  TDecoderHolder() : d_(new TJpegDecoder) {
    std::memset(d_.get(), 0, sizeof(TJpegDecoder));
    InitError(&d_->err);
  }
  ~TDecoderHolder() {
    if (d_->created) jpeg_destroy_decompress(&d_->cinfo);
  }
  TJpegDecoder* operator->() { return d_.get(); }
  TJpegDecoder* get() { return d_.get(); }

private:
  std::unique_ptr<TJpegDecoder> d_;
};

// ---- encoding ----

struct TJpegEncoder {
  jpeg_compress_struct cinfo;
  TJpegError err;
  bool created;
  unsigned char* out;
  unsigned long outSize;
};

int JpegCompress(TJpegEncoder* e, const TBitmap32* bitmap, int quality) {
  e->cinfo.err = &e->err.pub;
  if (setjmp(e->err.jump)) return e->err.code;
  jpeg_create_compress(&e->cinfo);
  e->created = true;
  jpeg_mem_dest(&e->cinfo, &e->out, &e->outSize);
  e->cinfo.image_width = static_cast<JDIMENSION>(bitmap->Width());
  e->cinfo.image_height = static_cast<JDIMENSION>(bitmap->Empty() ? 0 : bitmap->Height());
  e->cinfo.input_components = 4;
  e->cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&e->cinfo);
  jpeg_set_quality(&e->cinfo, quality, TRUE);
  jpeg_start_compress(&e->cinfo, TRUE);
  while (e->cinfo.next_scanline < e->cinfo.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(
        const_cast<TColor32*>(bitmap->ScanLine(static_cast<int32_t>(e->cinfo.next_scanline))));
    jpeg_write_scanlines(&e->cinfo, &row, 1);
  }
  jpeg_finish_compress(&e->cinfo);
  return 0;
}

[[noreturn]] void RaiseJpegError(int code) { RaiseRasterError(Format("JPEG error #%d", code)); }

}  // namespace

int JpegScaleDenominator(int64_t width, int64_t height, int maxWidth, int maxHeight) {
  if (maxWidth <= 0 || maxHeight <= 0) return 1;
  int64_t denominator = 1;
  while (width >= maxWidth * denominator * 2 && height >= maxHeight * denominator * 2 &&
         denominator < 5) {
    denominator *= 2;
  }
  return static_cast<int>(denominator);
}

int JpegOrientation(const uint8_t* data, size_t size) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return 1;
  size_t pos = 2;
  // Markers up to the first scan; each segment's length is checked against the data.
  while (pos + 4 <= size) {
    if (data[pos] != 0xFF) return 1;
    const uint8_t marker = data[pos + 1];
    if (marker == 0xFF) {
      ++pos;  // fill byte
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return 1;
    const size_t length = ReadBE16(data + pos + 2);
    if (length < 2 || length > size - pos - 2) return 1;
    const uint8_t* body = data + pos + 4;
    const size_t bodySize = length - 2;
    if (marker == 0xE1 && bodySize >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0) {
      return ExifOrientation(body + 6, bodySize - 6);
    }
    pos += 2 + length;
  }
  return 1;
}

namespace {

// Reads the header and sets the decoder up for the output size chosen from the maximum, checking
// everything that can be checked before the pixels; the picture's own size goes to result.
void OpenForDecoding(TDecoderHolder& d, const uint8_t* data, size_t size, int maxWidth, int maxHeight,
                     TJpegDecodeResult& result) {
  static const uint8_t kEmpty[1] = {0};
  if (int code = JpegOpen(d.get(), data ? data : kEmpty, data ? size : 0)) RaiseJpegError(code);
  jpeg_decompress_struct& cinfo = d->cinfo;
  result.width = static_cast<int32_t>(cinfo.image_width);
  result.height = static_cast<int32_t>(cinfo.image_height);
  const int64_t fullPixels = static_cast<int64_t>(cinfo.image_width) * cinfo.image_height;
  if (fullPixels > static_cast<int64_t>(size) * kJpegPixelsPerByte + kJpegPixelAllowance) {
    RaiseRasterError(Format("JPEG data too short for a %u x %u picture", cinfo.image_width,
                            cinfo.image_height));
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  // The maximum is for the upright picture; a quarter-turned one is stored with its sides swapped.
  if (OrientationSwapsSides(JpegOrientation(data, size))) {
    std::swap(maxWidth, maxHeight);
    std::swap(result.width, result.height);
  }
  const int denominator = JpegScaleDenominator(cinfo.image_width, cinfo.image_height, maxWidth, maxHeight);
  if (int code = JpegPrepare(d.get(), static_cast<unsigned>(denominator), cmyk ? JCS_CMYK : JCS_EXT_BGRA)) {
    RaiseJpegError(code);
  }
  CheckRasterSize(cinfo.output_width, cinfo.output_height);
}

}  // namespace

void JpegDecodedSize(const uint8_t* data, size_t size, int maxWidth, int maxHeight, int32_t& width,
                     int32_t& height) {
  TDecoderHolder d;
  TJpegDecodeResult result;
  OpenForDecoding(d, data, size, maxWidth, maxHeight, result);
  width = static_cast<int32_t>(d->cinfo.output_width);
  height = static_cast<int32_t>(d->cinfo.output_height);
  if (OrientationSwapsSides(JpegOrientation(data, size))) std::swap(width, height);
}

TJpegDecodeResult DecodeJpeg(const uint8_t* data, size_t size, TBitmap32& bitmap, int maxWidth,
                             int maxHeight) {
  TJpegDecodeResult result;
  TDecoderHolder d;
  OpenForDecoding(d, data, size, maxWidth, maxHeight, result);
  jpeg_decompress_struct& cinfo = d->cinfo;
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  const int64_t w = cinfo.output_width;
  const int64_t h = cinfo.output_height;

  // Decoding straight into an empty surface saves a copy; a failure then empties it again.
  const bool direct = bitmap.Empty();
  TBitmap32 scratch;
  TBitmap32& target = direct ? bitmap : scratch;
  target.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
  std::vector<uint8_t> cmykRow(cmyk ? static_cast<size_t>(w) * 4 : 0);
  const int code = JpegReadPixels(d.get(), reinterpret_cast<uint8_t*>(target.Bits()),
                                  static_cast<size_t>(w) * 4, cmyk ? cmykRow.data() : nullptr,
                                  cinfo.saw_Adobe_marker != 0);
  const bool complete = d->rowsDone >= static_cast<unsigned>(h);
  if (code != 0 && !complete) {
    if (direct) bitmap.SetSize(0, 0);
    return result;
  }
  result.decoded = true;
  result.damaged = cinfo.err->num_warnings > 0;
  result.consumed = size - (cinfo.src ? cinfo.src->bytes_in_buffer : 0);
  if (!direct) {
    bitmap.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
    std::memcpy(bitmap.Bits(), scratch.Bits(), static_cast<size_t>(w * h) * 4);
  }
  ApplyOrientation(bitmap, JpegOrientation(data, size));
  bitmap.Changed();
  return result;
}

void EncodeJpeg(const TBitmap32& bitmap, TStream& out, int quality) {
  auto e = std::make_unique<TJpegEncoder>();
  std::memset(e.get(), 0, sizeof(TJpegEncoder));
  InitError(&e->err);
  const int code = JpegCompress(e.get(), &bitmap, quality);
  if (e->created) jpeg_destroy_compress(&e->cinfo);
  std::unique_ptr<unsigned char, decltype(&std::free)> buffer(e->out, &std::free);
  if (code != 0) RaiseJpegError(code);
  out.WriteBuffer(buffer.get(), static_cast<int64_t>(e->outSize));
}

// ---- TdtpJpgFormat ----

namespace {

// Start of image followed by the first marker.
bool IsJpeg(const uint8_t* data, size_t size) {
  return data != nullptr && size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

bool JpgCanLoad(TStream* stream) { return !stream || StreamStartsWith(*stream, 3, IsJpeg); }

std::unique_ptr<TdtpRaster> JpgCreate() { return std::make_unique<TdtpJpgFormat>(); }

const TdtpRasterClass kJpgClass{"TdtpJpgFormat", JpgCreate, JpgCanLoad};

}  // namespace

const TdtpRasterClass* TdtpJpgFormat::Class() { return &kJpgClass; }

void TdtpJpgFormat::LoadFromStream(TStream& stream, TBitmap32& bitmap, int page, int maxWidth,
                                   int maxHeight) {
  LoadSinglePage(stream, page, [&](const uint8_t* data, size_t size) {
    const TJpegDecodeResult result = DecodeJpeg(data, size, bitmap, maxWidth, maxHeight);
    // A picture whose pixels failed to decode counts as read to the end.
    return TRasterDecoded{result.decoded ? result.consumed : size, result.width, result.height,
                          result.damaged ? "JPEG data ends early or is damaged: parts of the picture are grey" : ""};
  });
}

void TdtpJpgFormat::SaveToStream(TStream& stream, const TBitmap32& bitmap) {
  SaveWith(stream, bitmap, [&](TStream& out) { EncodeJpeg(bitmap, out, Quality); });
}

}  // namespace sw
