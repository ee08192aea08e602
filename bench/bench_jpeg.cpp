// JPEG decoding through TdtpJpgFormat into a TBitmap32 against plain libjpeg-turbo decoding of
// the same bytes into a buffer, at full and quarter scale; and PackBuffer / UnpackBuffer speed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <jpeglib.h>

#include "storage/formats/compressors.h"
#include "storage/formats/jpeg_format.h"
#include "tests/support/reference_decoders.h"

namespace {

constexpr int kWidth = 3000;
constexpr int kHeight = 2000;

// Smooth gradients with a little noise, like a photograph.
const sw::TBitmap32& Photo() {
  static sw::TBitmap32* photo = [] {
    auto* b = new sw::TBitmap32;
    b->SetSize(kWidth, kHeight);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-6, 6);
    auto clamp = [](double v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const double r = 128 + 100 * std::sin(x / 300.0) * std::cos(y / 410.0) + noise(rng);
        const double g = 40 + 180.0 * y / kHeight + noise(rng);
        const double bl = 200 - 150.0 * x / kWidth + 30 * std::sin((x + y) / 90.0) + noise(rng);
        b->SetPixel(x, y, sw::Color32(clamp(r), clamp(g), clamp(bl)));
      }
    }
    return b;
  }();
  return *photo;
}

const std::vector<uint8_t>& PhotoJpeg() {
  static const std::vector<uint8_t> bytes = [] {
    sw::TMemoryStream out;
    sw::EncodeJpeg(Photo(), out, 90);
    return out.Bytes();
  }();
  return bytes;
}

void OurDecode(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = PhotoJpeg();
  const int maximum = static_cast<int>(state.range(0));  // 0: full size; 750: a quarter
  for (auto _ : state) {
    sw::TReadOnlyMemoryStream stream(jpeg.data(), static_cast<int64_t>(jpeg.size()));
    sw::TBitmap32 bitmap;
    sw::TdtpJpgFormat format;
    format.LoadFromStream(stream, bitmap, 0, maximum, maximum * kHeight / kWidth);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  // Megapixels of the source picture per second, whatever the output scale.
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

void PlainLibjpeg(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = PhotoJpeg();
  const unsigned denominator = state.range(0) == 0 ? 1 : 4;
  sw::test::TReferenceImage image;
  for (auto _ : state) {
    sw::test::DecodeWithLibjpeg(jpeg.data(), jpeg.size(), denominator, image);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  // Megapixels of the source picture per second, whatever the output scale.
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

// The four planes of the photo, as an HCK picture stores them.
const std::vector<uint8_t>& PhotoPlanes() {
  static const std::vector<uint8_t> planes = [] {
    const sw::TBitmap32& b = Photo();
    const size_t n = static_cast<size_t>(kWidth) * kHeight;
    std::vector<uint8_t> p(n * 4);
    for (size_t i = 0; i < n; ++i) {
      const sw::TColor32 c = b.Bits()[i];
      p[i] = static_cast<uint8_t>(c >> 24);
      p[n + i] = static_cast<uint8_t>(c >> 16);
      p[2 * n + i] = static_cast<uint8_t>(c >> 8);
      p[3 * n + i] = static_cast<uint8_t>(c);
    }
    return p;
  }();
  return planes;
}

void Pack(benchmark::State& state) {
  const std::vector<uint8_t>& planes = PhotoPlanes();
  std::vector<uint8_t> work(planes.size());
  size_t packed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), planes.data(), planes.size());  // packing filters in place
    state.ResumeTiming();
    packed = sw::PackBuffer(work.data(), work.size()).size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * planes.size()));
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(planes.size());
}

void Unpack(benchmark::State& state) {
  const std::vector<uint8_t>& planes = PhotoPlanes();
  std::vector<uint8_t> work(planes);
  const std::vector<uint8_t> packed = sw::PackBuffer(work.data(), work.size());
  std::vector<uint8_t> out(planes.size());
  for (auto _ : state) {
    sw::UnpackBuffer(packed.data(), packed.size(), out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
  if (out != planes) state.SkipWithError("round trip differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * planes.size()));
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(OurDecode)->Arg(0)->Arg(750)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(PlainLibjpeg)->Arg(0)->Arg(750)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(Pack)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Unpack)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
