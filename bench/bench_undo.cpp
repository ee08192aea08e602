// Undo recording of property changes (time per change, and the bytes the log holds against its
// 10 MiB bound), and the clipboard round trip of 1,000 shapes. No other library records this
// engine's undo or copies its shapes, so the round trip is set against the part of it that is
// plain XML work: writing and parsing the same "Selection" text with our XML engine alone
// (BM_SelectionXmlOnly). Read the round trip as a ratio to that.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "engine/document.h"
#include "engine/registry.h"
#include "storage/xml/native_xml.h"

namespace {

constexpr int kChanges = 100000;
constexpr int kShapes = 1000;
constexpr double kBound = 10485760;

std::unique_ptr<sw::TdtpDocument> DocumentWithShapes(int count, bool selected) {
  sw::RegisterEngineShapeClasses();
  auto doc = std::make_unique<sw::TdtpDocument>();
  for (int i = 0; i < count; ++i) {
    auto shape = std::make_unique<sw::TdtpShape>();
    sw::TdtpShape* s = shape.get();
    doc->AddShape(std::move(shape));
    s->SetBoundsAndAngle(static_cast<float>(i % 190), static_cast<float>(i % 280), 20, 10,
                         static_cast<float>(i % 360));
    s->SetName("usrShape" + std::to_string(i));
    s->SetSelected(selected);
  }
  doc->ClearUndo();
  return doc;
}

// Each change moves one of 100 shapes, so every change is recorded (no repeat is dropped).
void BM_RecordPropertyChanges(benchmark::State& state) {
  int64_t held = 0, commands = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto doc = DocumentWithShapes(100, false);
    state.ResumeTiming();
    for (int i = 0; i < kChanges; ++i) {
      doc->Shapes(i % 100)->SetLeft(static_cast<float>(i) * 0.25f);
    }
    held = doc->UndoBytes();
    commands = doc->UndoCount();
    state.PauseTiming();
    doc.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kChanges);
  state.counters["held_bytes"] = static_cast<double>(held);
  state.counters["held_commands"] = static_cast<double>(commands);
  state.counters["share_of_bound"] = static_cast<double>(held) / kBound;
}
BENCHMARK(BM_RecordPropertyChanges)->Unit(benchmark::kMillisecond);

// Changes past the bound: the oldest commands are dropped one by one as new ones arrive.
void BM_RecordPastTheBound(benchmark::State& state) {
  auto doc = DocumentWithShapes(100, false);
  const std::string text(4096, 'x');
  int64_t i = 0;
  for (auto _ : state) {
    doc->AddUndo(std::make_unique<sw::TdtpCommand>(sw::ckProperty, 1, "Text", text + std::to_string(i++)));
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["held_bytes"] = static_cast<double>(doc->UndoBytes());
  state.counters["share_of_bound"] = static_cast<double>(doc->UndoBytes()) / kBound;
}
BENCHMARK(BM_RecordPastTheBound);

// Copy 1,000 selected shapes to the clipboard text and paste them back onto the page.
void BM_ClipboardRoundTrip(benchmark::State& state) {
  auto doc = DocumentWithShapes(kShapes, true);
  for (auto _ : state) {
    doc->Copy();
    doc->Paste();
    state.PauseTiming();
    if (doc->ShapeCount() != 2 * kShapes) state.SkipWithError("paste lost shapes");
    doc->DeleteSelection();
    for (int i = 0; i < doc->ShapeCount(); ++i) doc->Shapes(i)->SetSelected(true);
    doc->ClearUndo();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kShapes);
  state.counters["text_bytes"] = static_cast<double>(doc->ClipboardText.size());
}
BENCHMARK(BM_ClipboardRoundTrip)->Unit(benchmark::kMillisecond);

// The XML work alone: the same "Selection" text written from nodes and parsed back.
void BM_SelectionXmlOnly(benchmark::State& state) {
  auto doc = DocumentWithShapes(kShapes, true);
  std::vector<std::string> snapshots;
  for (int i = 0; i < kShapes; ++i) snapshots.push_back(doc->Shapes(i)->SaveToString());
  size_t bytes = 0;
  for (auto _ : state) {
    sw::TNativeXml xml("Selection");
    xml.SetLayout(sw::TXmlLayout::Readable);
    for (const std::string& snapshot : snapshots) {
      sw::TXmlNode* node = xml.Root()->NewChild("shape");
      node->WriteString("ClassName", "TdtpShape");
      node->SetBinaryString(snapshot);
    }
    const std::string text = xml.SaveToString();
    sw::TNativeXml back;
    back.LoadFromString(text);
    std::vector<sw::TXmlNode*> shapes;
    back.Root()->FindChildren("shape", shapes);
    for (const sw::TXmlNode* node : shapes) benchmark::DoNotOptimize(node->BinaryString());
    bytes = text.size();
  }
  state.SetItemsProcessed(state.iterations() * kShapes);
  state.counters["text_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SelectionXmlOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
