// A page of 10,000 shapes (500 of them groups of three) built from XML, written to XML and
// hit-tested at 1,000 points, beside parsing and writing the same XML text alone with our XML
// engine and with libxml2. The building goal: building the shapes costs at most as much again as
// the parse.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/document.h"
#include "engine/registry.h"
#include "storage/xml/native_xml.h"

namespace {

constexpr int kGroups = 500;
constexpr int kPlain = 8500;  // with 3 children per group: 10,000 shapes

// The page text, made once by the engine itself.
const std::string& PageText() {
  static const std::string text = [] {
    sw::RegisterEngineShapeClasses();
    sw::TdtpDocument doc;
    doc.DisableUndo();
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> x(0, 190), y(0, 280), size(2, 20), angle(0, 360);
    auto make = [&] {
      auto s = std::make_unique<sw::TdtpShape>();
      s->SetBoundsAndAngle(x(rng), y(rng), size(rng), size(rng), rng() % 4 == 0 ? angle(rng) : 0.0f);
      if (rng() % 3 == 0) s->SetMasterAlpha(static_cast<int64_t>(rng() % 256));
      if (rng() % 5 == 0) s->SetName("shape " + std::to_string(rng() % 1000));
      return s;
    };
    for (int i = 0; i < kPlain; ++i) doc.AddShape(make());
    for (int i = 0; i < kGroups; ++i) {
      auto group = make();
      group->SetGrouped(true);
      for (int c = 0; c < 3; ++c) {
        auto child = make();
        child->SetBounds(child->DocLeft() / 20, child->DocTop() / 20, 3, 3);
        group->AddChild(std::move(child));
      }
      doc.AddShape(std::move(group));
    }
    sw::TNativeXml xml("Page");
    doc.CurrentPage()->SaveToXml(*xml.Root());
    return xml.SaveToString();
  }();
  return text;
}

void BM_ParseXmlOnly(benchmark::State& state) {
  const std::string& text = PageText();
  for (auto _ : state) {
    sw::TNativeXml xml;
    xml.LoadFromString(text);
    benchmark::DoNotOptimize(xml.Root());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ParseXmlLibxml2(benchmark::State& state) {
  const std::string& text = PageText();
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "page.xml", nullptr, XML_PARSE_NONET);
    benchmark::DoNotOptimize(doc);
    xmlFreeDoc(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Building only: the shapes from an already parsed tree (what the page load adds to the parse).
void BM_BuildShapes(benchmark::State& state) {
  const std::string& text = PageText();
  sw::TNativeXml xml;
  xml.LoadFromString(text);
  for (auto _ : state) {
    sw::TdtpDocument doc;
    doc.DisableUndo();
    doc.BeginLoading();
    doc.CurrentPage()->LoadFromXml(xml.Root());
    doc.EndLoading();
    benchmark::DoNotOptimize(doc.ShapeCount());
    state.PauseTiming();  // freeing the shapes is not building them
    doc.Clear();
    state.ResumeTiming();
  }
}

void BM_WriteXmlOnly(benchmark::State& state) {
  sw::TNativeXml xml;
  xml.LoadFromString(PageText());
  for (auto _ : state) benchmark::DoNotOptimize(xml.SaveToString());
}

void BM_WriteXmlLibxml2(benchmark::State& state) {
  const std::string& text = PageText();
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "page.xml", nullptr, XML_PARSE_NONET);
  for (auto _ : state) {
    xmlChar* out = nullptr;
    int size = 0;
    xmlDocDumpMemory(doc, &out, &size);
    benchmark::DoNotOptimize(out);
    xmlFree(out);
  }
  xmlFreeDoc(doc);
}

// Writing the shapes into a tree and the tree to text.
void BM_WriteShapes(benchmark::State& state) {
  sw::TdtpDocument doc;
  doc.DisableUndo();
  sw::TNativeXml source;
  source.LoadFromString(PageText());
  doc.CurrentPage()->LoadFromXml(source.Root());
  for (auto _ : state) {
    sw::TNativeXml xml("Page");
    doc.CurrentPage()->SaveToXml(*xml.Root());
    benchmark::DoNotOptimize(xml.SaveToString());
  }
}

void BM_HitTest1000Points(benchmark::State& state) {
  sw::TdtpDocument doc;
  doc.DisableUndo();
  sw::TNativeXml source;
  source.LoadFromString(PageText());
  doc.CurrentPage()->LoadFromXml(source.Root());
  std::mt19937 rng(5);
  const double dpm = doc.ScreenDpm();
  std::uniform_int_distribution<int32_t> px(0, static_cast<int32_t>(210 * dpm)), py(0, static_cast<int32_t>(297 * dpm));
  std::vector<sw::TPoint> points(1000);
  for (sw::TPoint& p : points) p = {px(rng), py(rng)};
  int64_t hits = 0;
  for (auto _ : state) {
    for (const sw::TPoint& p : points) {
      sw::TdtpShape* found = nullptr;
      hits += doc.CurrentPage()->HitTestDeep(p, found) ? 1 : 0;
    }
  }
  benchmark::DoNotOptimize(hits);
}

BENCHMARK(BM_ParseXmlOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseXmlLibxml2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildShapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteXmlOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteXmlLibxml2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteShapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HitTest1000Points)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
