// What the picture cache adds to a picture's use: the process-wide lock and the
// most-recently-used list on every read of Bitmap, and the cost of one trim.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "raster/bitmap32.h"
#include "storage/resources/bitmap_resource.h"
#include "storage/resources/resource_thread.h"

namespace {

using sw::TBitmap32;
using sw::TdtpBitmapResource;

std::vector<std::unique_ptr<TdtpBitmapResource>> MakeResources(int count) {
  TBitmap32 picture;
  picture.SetSize(8, 8);
  picture.Clear(0xFF336699u);
  std::vector<std::unique_ptr<TdtpBitmapResource>> list;
  list.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    list.push_back(std::make_unique<TdtpBitmapResource>());
    list.back()->SetBitmap(&picture);
  }
  return list;
}

// One resource read again and again: it stays first in the list, so this is the lock alone.
void BM_BitmapReadSameResource(benchmark::State& state) {
  auto list = MakeResources(1);
  for (auto _ : state) benchmark::DoNotOptimize(list[0]->Bitmap());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BitmapReadSameResource);

// 10 000 resources read in turn: every read moves one to the front of the list. The lock is held
// around the loop so that the cache thread cannot trim meanwhile; the figure is the cost of the
// lock and the list per read, not of decoding.
void BM_BitmapReadRotating10000(benchmark::State& state) {
  auto list = MakeResources(10000);
  sw::TResourceLock hold;
  for (auto& r : list) r->Bitmap();
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(list[next]->Bitmap());
    if (++next == list.size()) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BitmapReadRotating10000);

// A trim over 1000 resources that unloads the 990 beyond the ten most recent (their bitmaps are
// unchanged, so nothing is encoded). The bitmaps are decoded again outside the timing.
void BM_Trim1000Unloading(benchmark::State& state) {
  auto list = MakeResources(1000);
  sw::TResourceLock hold;
  for (auto _ : state) {
    state.PauseTiming();
    for (auto& r : list) r->Bitmap();
    state.ResumeTiming();
    sw::TrimResources();
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Trim1000Unloading)->Unit(benchmark::kMicrosecond)->Iterations(200);

// A trim over 1000 resources that are unloaded already: the walk of the list alone.
void BM_Trim1000Walk(benchmark::State& state) {
  auto list = MakeResources(1000);
  sw::TResourceLock hold;
  sw::TrimResources();
  for (auto _ : state) sw::TrimResources();
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Trim1000Walk)->Unit(benchmark::kMicrosecond);

}  // namespace

// The picture cache runs for the whole program, as it does in the designer.
int main(int argc, char** argv) {
  sw::TResourceThreadScope pictureCache;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
