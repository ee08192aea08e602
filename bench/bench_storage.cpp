// Storage container: opening reads only the index, so its cost follows the number of streams and
// not the bytes they hold; reading a stream runs close to a plain file read of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/stream.h"
#include "storage/container/storage.h"

namespace {

constexpr int kStreams = 1000;

// Builds (once per run) a storage file of 1000 streams of streamSize bytes each.
const std::string& StorageFile(int64_t streamSize) {
  static std::string files[2];
  std::string& name = files[streamSize > 100000 ? 1 : 0];
  if (!name.empty()) return name;
  name = sw::TempFolder() + "/bench_storage_" + std::to_string(streamSize) + ".stor";
  sw::TsdStorage storage;
  std::vector<uint8_t> bytes(static_cast<size_t>(streamSize));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31);
  sw::TMemoryStream data(bytes);
  for (int i = 0; i < kStreams; ++i) {
    char streamName[32];
    std::snprintf(streamName, sizeof streamName, "Stream%04d.bin", i);
    storage.WriteStream(streamName, data);
  }
  storage.SaveToFile(name);
  return name;
}

void BM_OpenIndex(benchmark::State& state) {
  const std::string& file = StorageFile(state.range(0));
  sw::TsdStorage storage;
  for (auto _ : state) {
    storage.Open(file);
    benchmark::DoNotOptimize(storage.StreamCount());
  }
  state.counters["file_MB"] = static_cast<double>(state.range(0)) * kStreams / 1e6;
}
BENCHMARK(BM_OpenIndex)->Arg(2000)->Arg(200000)->Unit(benchmark::kMicrosecond);

void BM_ReadStream(benchmark::State& state) {
  const std::string& file = StorageFile(200000);
  sw::TsdStorage storage;
  storage.Open(file);
  sw::TMemoryStream out;
  int i = 0;
  for (auto _ : state) {
    char streamName[32];
    std::snprintf(streamName, sizeof streamName, "Stream%04d.bin", i++ % kStreams);
    storage.ReadStream(streamName, out);
    benchmark::DoNotOptimize(out.Memory());
  }
  state.SetBytesProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_ReadStream);

// The reference: the same bytes read straight from the file at their offsets.
void BM_ReadPlainFile(benchmark::State& state) {
  const std::string& file = StorageFile(200000);
  sw::TFileStream in(file, sw::TFileMode::fmOpenRead);
  const int64_t first = sw::TsdStorage::kCompactIndexOffset + 4 + kStreams * (20 + 14);
  std::vector<uint8_t> out(200000);
  int i = 0;
  for (auto _ : state) {
    in.SetPosition(first + static_cast<int64_t>(i++ % kStreams) * 200000);
    in.ReadBuffer(out.data(), 200000);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_ReadPlainFile);

// Replacing a stream with one of the same size: the new bytes go to free space first and are
// copied back into the old place, so a failing source never leaves a half-replaced stream.
void BM_ReplaceSameSize(benchmark::State& state) {
  sw::TsdStorage storage;
  std::vector<uint8_t> bytes(200000, 7);
  sw::TMemoryStream data(bytes);
  storage.WriteStream("before", data);
  storage.WriteStream("picture", data);
  storage.WriteStream("after", data);
  for (auto _ : state) storage.WriteStream("picture", data);
  state.SetBytesProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_ReplaceSameSize);

// The reference: one copy of the same bytes into memory, what an overwrite in place costs.
void BM_ReplacePlainCopy(benchmark::State& state) {
  std::vector<uint8_t> bytes(200000, 7), store(600000);
  for (auto _ : state) {
    std::memcpy(store.data() + 200000, bytes.data(), bytes.size());
    benchmark::DoNotOptimize(store.data());
  }
  state.SetBytesProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_ReplacePlainCopy);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int64_t size : {int64_t{2000}, int64_t{200000}}) std::remove(StorageFile(size).c_str());
  return 0;
}
