// Our PNG and GIF codecs side by side with libpng and giflib on a 3000 x 2000 photographic-like
// picture (smooth gradients plus noise). Counters: MP/s (megapixels per second) and, for the
// encoders, the output size in bytes.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "storage/formats/gif_format.h"
#include "storage/formats/png_format.h"
#include "tests/support/reference_decoders.h"

namespace {

constexpr int32_t kWidth = 3000, kHeight = 2000;
constexpr double kMegapixels = kWidth * kHeight / 1e6;

const sw::TBitmap32& Picture() {
  static sw::TBitmap32* picture = [] {
    auto* b = new sw::TBitmap32;
    b->Resize(kWidth, kHeight);
    std::mt19937 rng(42);
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < kWidth; ++x) {
        const double fx = x / double(kWidth), fy = y / double(kHeight);
        auto channel = [&](double v) {
          const int n = int(rng() % 9) - 4;
          const int c = int(v * 255.0) + n;
          return uint32_t(c < 0 ? 0 : (c > 255 ? 255 : c));
        };
        const uint32_t r = channel(0.5 + 0.45 * std::sin(fx * 5.0 + fy * 2.0));
        const uint32_t g = channel(0.5 + 0.4 * std::cos(fy * 4.0 - fx * 1.5));
        const uint32_t bl = channel(0.3 + 0.3 * fx * fy + 0.2 * std::sin((fx + fy) * 9.0));
        b->SetPixel(x, y, 0xFF000000u | (r << 16) | (g << 8) | bl);
      }
    return b;
  }();
  return *picture;
}

// --- libpng -------------------------------------------------------------------------------

void PngWrite(png_structp png, png_bytep data, png_size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + count);
}

void PngFlush(png_structp) {}

std::vector<uint8_t> LibpngEncode(const sw::TBitmap32& bitmap) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::abort();
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, uint32_t(bitmap.Width()), uint32_t(bitmap.Height()), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    png_write_row(png, reinterpret_cast<png_const_bytep>(bitmap.ScanLine(y)));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// --- giflib -------------------------------------------------------------------------------

struct TGifReadState {
  const uint8_t* data;
  size_t size, pos;
};

int GifRead(GifFileType* gif, GifByteType* out, int count) {
  auto* s = static_cast<TGifReadState*>(gif->UserData);
  const size_t n = std::min<size_t>(size_t(count), s->size - s->pos);
  std::memcpy(out, s->data + s->pos, n);
  s->pos += n;
  return int(n);
}

// Decodes the first image with giflib and lays it onto a cleared screen of BGRA pixels, as the
// program needs it.
bool GiflibDecode(const std::vector<uint8_t>& file, std::vector<uint32_t>& pixels) {
  TGifReadState state{file.data(), file.size(), 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&state, GifRead, &error);
  if (gif == nullptr) return false;
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
    DGifCloseFile(gif, &error);
    return false;
  }
  const SavedImage& image = gif->SavedImages[0];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
  GraphicsControlBlock gcb;
  int transparent = -1;
  if (DGifSavedExtensionToGCB(gif, 0, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
  uint32_t lut[256] = {};
  for (int i = 0; i < map->ColorCount && i < 256; ++i)
    lut[i] = 0xFF000000u | (uint32_t(map->Colors[i].Red) << 16) | (uint32_t(map->Colors[i].Green) << 8) |
             map->Colors[i].Blue;
  if (transparent >= 0) lut[transparent] = 0;
  const int sw = gif->SWidth, sh = gif->SHeight;
  pixels.assign(size_t(sw) * size_t(sh), 0);
  const GifImageDesc& d = image.ImageDesc;
  for (int y = 0; y < d.Height && d.Top + y < sh; ++y)
    for (int x = 0; x < d.Width && d.Left + x < sw; ++x)
      pixels[size_t(d.Top + y) * size_t(sw) + size_t(d.Left + x)] = lut[image.RasterBits[size_t(y) * size_t(d.Width) + size_t(x)]];
  DGifCloseFile(gif, &error);
  return true;
}

// --- Files, made once -----------------------------------------------------------------------

const std::vector<uint8_t>& OurPng() {
  static const std::vector<uint8_t> file = [] {
    sw::TMemoryStream out;
    sw::EncodePng(Picture(), out);
    return out.Bytes();
  }();
  return file;
}

const std::vector<uint8_t>& OurGif() {
  static const std::vector<uint8_t> file = [] {
    sw::TMemoryStream out;
    sw::EncodeGif(Picture(), out, 32, 0);
    // The peer must read what we write exactly as we do.
    std::vector<uint32_t> peer;
    sw::TBitmap32 ours;
    sw::DecodeGif(out.Memory(), size_t(out.Size()), ours);
    if (!GiflibDecode(out.Bytes(), peer) || std::memcmp(peer.data(), ours.Bits(), peer.size() * 4) != 0) {
      std::fprintf(stderr, "giflib reads our GIF differently\n");
      std::abort();
    }
    return out.Bytes();
  }();
  return file;
}

void SetRate(benchmark::State& state) {
  state.counters["MP/s"] =
      benchmark::Counter(kMegapixels * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PngDecode_Ours(benchmark::State& state) {
  const auto& file = OurPng();
  sw::TBitmap32 bitmap;
  for (auto _ : state) {
    sw::DecodePng(file.data(), file.size(), bitmap);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  SetRate(state);
}

void BM_PngDecode_Libpng(benchmark::State& state) {
  const auto& file = OurPng();
  sw::test::TReferenceImage image;
  for (auto _ : state) {
    if (!sw::test::DecodeWithLibpng(file.data(), file.size(), image)) state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(image.pixels.data());
  }
  SetRate(state);
}

void BM_PngEncode_Ours(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    sw::TMemoryStream out;
    sw::EncodePng(Picture(), out);
    bytes = size_t(out.Size());
  }
  SetRate(state);
  state.counters["bytes"] = double(bytes);
}

void BM_PngEncode_Libpng(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) bytes = LibpngEncode(Picture()).size();
  SetRate(state);
  state.counters["bytes"] = double(bytes);
}

void BM_GifDecode_Ours(benchmark::State& state) {
  const auto& file = OurGif();
  sw::TBitmap32 bitmap;
  for (auto _ : state) {
    sw::DecodeGif(file.data(), file.size(), bitmap);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  SetRate(state);
}

void BM_GifDecode_Giflib(benchmark::State& state) {
  const auto& file = OurGif();
  std::vector<uint32_t> pixels;
  for (auto _ : state) {
    if (!GiflibDecode(file, pixels)) state.SkipWithError("giflib failed");
    benchmark::DoNotOptimize(pixels.data());
  }
  SetRate(state);
}

void BM_GifEncode_Ours(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    sw::TMemoryStream out;
    sw::EncodeGif(Picture(), out, 32, 0);
    bytes = size_t(out.Size());
  }
  SetRate(state);
  state.counters["bytes"] = double(bytes);
}

// Iteration counts stay small: the machine is shared.
// The picture bombs kept as crashers (16384 x 16383 PNG, 65535 x 16384 GIF, both a thousandfold
// packed): ours samples them down to the load's 4000 x 4000 while decoding; libpng decodes the
// PNG whole, as it must (giflib would need 5 GB for the GIF, so it is not run). "MB kept" is
// what each holds for the picture afterwards.
std::vector<uint8_t> Crasher(const char* name) {
  FILE* f = std::fopen((std::string(STICKWELL_SOURCE_DIR "/tests/storage/formats/crashers/") + name).c_str(), "rb");
  std::vector<uint8_t> bytes;
  if (!f) return bytes;
  uint8_t buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

void BM_PngBomb_OursSampled(benchmark::State& state) {
  const std::vector<uint8_t> file = Crasher("png_picture_bomb.png");
  sw::TBitmap32 bitmap;
  for (auto _ : state) sw::DecodePng(file.data(), file.size(), bitmap, 4000, 4000);
  state.counters["MB kept"] = double(bitmap.Width()) * bitmap.Height() * 4 / 1e6;
}

void BM_PngBomb_Libpng(benchmark::State& state) {
  const std::vector<uint8_t> file = Crasher("png_picture_bomb.png");
  sw::test::TReferenceImage image;
  for (auto _ : state) {
    if (!sw::test::DecodeWithLibpng(file.data(), file.size(), image)) state.SkipWithError("libpng failed");
  }
  state.counters["MB kept"] = double(image.pixels.size()) * 4 / 1e6;
}

void BM_GifBomb_OursSampled(benchmark::State& state) {
  const std::vector<uint8_t> file = Crasher("gif_picture_bomb.gif");
  sw::TBitmap32 bitmap;
  for (auto _ : state) sw::DecodeGif(file.data(), file.size(), bitmap, 4000, 4000);
  state.counters["MB kept"] = double(bitmap.Width()) * bitmap.Height() * 4 / 1e6;
}

BENCHMARK(BM_PngDecode_Ours)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_PngDecode_Libpng)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_PngEncode_Ours)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PngEncode_Libpng)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_GifDecode_Ours)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_GifDecode_Giflib)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_PngBomb_OursSampled)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PngBomb_Libpng)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GifBomb_OursSampled)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GifEncode_Ours)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
