// The peer libraries' own decoding, used by the tests as the reference our decoders must match
// and by the benchmarks as the peer they are measured against. The program never uses these.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace sw::test {

// Pixels in our memory order (B, G, R, A bytes; one uint32_t a pixel), rows top to bottom.
struct TReferenceImage {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

namespace detail {
struct TPngMemoryReader {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

inline void ReadPngFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* r = static_cast<TPngMemoryReader*>(png_get_io_ptr(png));
  if (r->size - r->pos < count) png_error(png, "read past end");
  std::memcpy(out, r->data + r->pos, count);
  r->pos += count;
}
}  // namespace detail

// libpng with expansion of palettes, grey and tRNS, 16-bit samples scaled (rounded) to 8 bits and
// opaque alpha added where the file has none; false when libpng refuses the file.
inline bool DecodeWithLibpng(const uint8_t* data, size_t size, TReferenceImage& image) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  detail::TPngMemoryReader reader{data, size, 0};
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, detail::ReadPngFromMemory);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != image.width * 4) png_error(png, "unexpected row size");
  image.pixels.resize(size_t(image.width) * image.height);  // every pixel is written below
  rows.resize(image.height);
  for (uint32_t y = 0; y < image.height; ++y)
    rows[y] = reinterpret_cast<png_bytep>(image.pixels.data() + size_t(y) * image.width);
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// libjpeg's most accurate decoding (integer DCT, fancy upsampling) at 1 / denominator scale,
// straight into B, G, R, A pixels; image's memory is reused when the size stays. The file must be
// valid (libjpeg's default error handler exits).
inline void DecodeWithLibjpeg(const uint8_t* data, size_t size, unsigned denominator,
                              TReferenceImage& image) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = denominator;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(&cinfo);
  image.width = cinfo.output_width;
  image.height = cinfo.output_height;
  image.pixels.resize(size_t(image.width) * image.height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row =
        reinterpret_cast<JSAMPROW>(image.pixels.data() + size_t(image.width) * cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

}  // namespace sw::test
