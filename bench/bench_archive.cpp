// Document archive: a design of 20 pages, each with a 5 MB JPEG embedded in its page text.
// Opening reads the index, the thumbnails and the first page's text only (no picture is decoded
// until drawn), so it costs a small part of reading the file. Saving after one shape changed
// rewrites that page and its thumbnail and copies the 19 others byte for byte, so it runs close
// to copying the file, which is measured beside it: a plain copy, a copy made as durable as the
// save (written to a file beside, synced, renamed over the target), and that copy made through a
// buffer of the storage's copy size.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/stream.h"
#include "engine/document.h"
#include "storage/container/storage.h"
#include "storage/formats/jpeg_format.h"
#include "storage/xml/native_xml.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPages = 20;
constexpr int64_t kPictureBytes = 5'000'000;

struct TDesign {
  std::string folder;
  std::string file;
  int64_t bytes = 0;
};

// A JPEG of at least kPictureBytes: noise over a gradient, which compresses poorly.
std::vector<uint8_t> MakePicture() {
  sw::TBitmap32 bitmap;
  bitmap.SetSize(2400, 1800);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    sw::TColor32* row = bitmap.ScanLine(y);
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      row[x] = 0xFF000000u | (seed >> 8 & 0xFFFFFFu);
    }
  }
  sw::TMemoryStream out;
  sw::EncodeJpeg(bitmap, out, 95);
  std::vector<uint8_t> bytes = out.Bytes();
  // Padding after the end-of-image marker is ignored by readers; it brings the file to size.
  if (static_cast<int64_t>(bytes.size()) < kPictureBytes) bytes.resize(static_cast<size_t>(kPictureBytes), 0);
  return bytes;
}

// The design of this run; empty until a benchmark asks for it.
TDesign& DesignOfRun() {
  static TDesign design;
  return design;
}

// Built once per run: the design file of 20 pages, each page's background the 5 MB picture and
// one shape on top.
const TDesign& Design() {
  TDesign& design = DesignOfRun();
  if (!design.file.empty()) return design;
  sw::InitXmlDefaults();
  design.folder = sw::TempFolder() + "/bench_archive_" + std::to_string(::getpid());
  fs::create_directories(design.folder);
  const std::string picture = design.folder + "/picture.jpg";
  sw::TMemoryStream(MakePicture()).SaveToFile(picture);
  sw::TdtpDocument doc;
  doc.SetPageCount(kPages);
  for (int i = 0; i < kPages; ++i) {
    sw::TdtpPage* page = doc.Pages(i);
    page->LeaveDefaults();
    page->OwnBackground().LoadFromFile(picture);
    auto shape = std::make_unique<sw::TdtpShape>();
    shape->SetBounds(10, 10, 40, 30);
    page->AddChild(shape.release());
  }
  design.file = design.folder + "/design.fmd";
  doc.SaveToFile(design.file);
  design.bytes = static_cast<int64_t>(fs::file_size(design.file));
  return design;
}

void BM_OpenDesign(benchmark::State& state) {
  const TDesign& design = Design();
  for (auto _ : state) {
    sw::TdtpDocument doc;
    doc.LoadFromFile(design.file);
    if (doc.PageCount() != kPages || doc.Pages(1)->Loaded() || doc.Pages(0)->OwnBackground().HasBitmap()) {
      state.SkipWithError("the design did not open lazily");
      break;
    }
    benchmark::DoNotOptimize(doc.Pages(kPages - 1)->Thumbnail());
  }
  state.counters["file_MB"] = static_cast<double>(design.bytes) / 1e6;
}
BENCHMARK(BM_OpenDesign)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveAfterOneChange(benchmark::State& state) {
  const TDesign& design = Design();
  const std::string target = design.folder + "/saved.fmd";
  for (auto _ : state) {
    state.PauseTiming();
    auto doc = std::make_unique<sw::TdtpDocument>();
    doc->LoadFromFile(design.file);
    // The window has drawn the page being edited, so its picture is decoded already.
    doc->RenderPage(*doc->CurrentPage(), 0.5);
    doc->Shapes(0)->SetLeft(doc->Shapes(0)->DocLeft() + 1);
    state.ResumeTiming();
    doc->SaveToFile(target);
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  state.counters["file_MB"] = static_cast<double>(fs::file_size(target)) / 1e6;
}
BENCHMARK(BM_SaveAfterOneChange)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// Peer: the file copied as a user's copy command does.
void BM_PeerCopyFile(benchmark::State& state) {
  const TDesign& design = Design();
  const std::string target = design.folder + "/copied.fmd";
  for (auto _ : state) {
    fs::copy_file(design.file, target, fs::copy_options::overwrite_existing);
  }
}
BENCHMARK(BM_PeerCopyFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// Peer: the same copy made as durable as a save: written beside the target, synced, renamed.
void BM_PeerCopyFileSynced(benchmark::State& state) {
  const TDesign& design = Design();
  const std::string target = design.folder + "/copied.fmd";
  const std::string beside = target + ".new";
  for (auto _ : state) {
    fs::copy_file(design.file, beside, fs::copy_options::overwrite_existing);
    const int fd = ::open(beside.c_str(), O_WRONLY);
    if (fd < 0 || ::fsync(fd) != 0) state.SkipWithError("cannot sync the copy");
    if (fd >= 0) ::close(fd);
    fs::rename(beside, target);
  }
}
BENCHMARK(BM_PeerCopyFileSynced)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// Peer: the copy a program makes through a buffer of the storage's copy size, written beside
// the target, synced and renamed: the same reads and writes a save makes for unchanged streams.
void BM_PeerCopyFileBuffered(benchmark::State& state) {
  const TDesign& design = Design();
  const std::string target = design.folder + "/copied.fmd";
  const std::string beside = target + ".new";
  std::vector<char> buffer(static_cast<size_t>(sw::TsdStorage::kCopyBufferSize));
  for (auto _ : state) {
    const int in = ::open(design.file.c_str(), O_RDONLY);
    const int out = ::open(beside.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = in >= 0 && out >= 0;
    for (ssize_t n = 0; ok && (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
      ok = ::write(out, buffer.data(), static_cast<size_t>(n)) == n;
    }
    ok = ok && ::fsync(out) == 0;
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    if (!ok) state.SkipWithError("cannot copy the file");
    fs::rename(beside, target);
  }
}
BENCHMARK(BM_PeerCopyFileBuffered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!DesignOfRun().folder.empty()) fs::remove_all(DesignOfRun().folder);
  return 0;
}
