// Parse and write throughput of the XML engine on a ~20 MB page of shape-like nodes, with
// libxml2 parsing (and dumping) the same bytes in the same run.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <string>
#include <vector>

#include "base/stream.h"
#include "storage/xml/native_xml.h"

namespace {

// A page of shapes as the engine writes them: child-value properties, a few attributes, and
// an embedded picture (Base64 in lines) on every eighth shape.
const std::string& Document() {
  static const std::string text = [] {
    sw::InitXmlDefaults();
    sw::TNativeXml xml("Page");
    xml.SetLayout(sw::TXmlLayout::Readable);
    sw::TXmlNode* shapes = xml.Root()->NewChild("Shapes");
    std::vector<uint8_t> picture(900);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 131 + 7);
    for (int i = 0; shapes->ChildCount() == 0 || xml.SaveToString().size() < 20000000; ) {
      // Grow in batches: writing the text to measure it is the slow part here.
      for (int k = 0; k < 5000; ++k, ++i) {
        sw::TXmlNode* s = shapes->NewChild("Shape");
        s->AddAttribute("Index", int64_t{i});
        s->WriteString("ClassName", i % 3 == 0 ? "TdtpRectangleShape" : "TdtpBitmapShape");
        s->WriteFloat("DocLeft", 12.5 + i % 97);
        s->WriteFloat("DocTop", 0.1f * static_cast<float>(i % 1000));
        s->WriteFloat("DocWidth", 50.25);
        s->WriteFloat("DocHeight", 30 + (i % 7) * 0.333);
        s->WriteFloat("DocAngle", (i % 360) * 1.5);
        s->WriteHex("MasterAlpha", static_cast<uint32_t>(i % 256), 255, 2);
        s->WriteColor("FillColor", i * 2654435761u & 0xFFFFFF, 0);
        s->WriteBool("Visible", i % 5 != 0, false);
        s->WriteString("Name", "usrText & <layer> " + std::to_string(i));
        sw::TXmlNode* anchors = s->NewChild("Anchors");
        anchors->SetAttribute("default", "True");
        anchors->WriteBool("LeftLock", true);
        anchors->WriteBool("TopLock", true);
        if (i % 8 == 0) {
          sw::TXmlNode* data = s->NewChild("Resource")->NewChild("Data");
          data->WriteInteger("Size", static_cast<int64_t>(picture.size()));
          data->WriteString("Filter", "Base64");
          data->NewChild("Buffer")->WriteBinary(picture.data(), static_cast<int64_t>(picture.size()));
        }
      }
    }
    sw::TMemoryStream out;
    xml.SaveToStream(out);
    return std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
  }();
  return text;
}

void BM_ParseNativeXml(benchmark::State& state) {
  const std::string& text = Document();
  for (auto _ : state) {
    sw::TNativeXml xml;
    sw::TReadOnlyMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
    xml.LoadFromStream(stream);
    benchmark::DoNotOptimize(xml.Root());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_ParseLibxml2(benchmark::State& state) {
  const std::string& text = Document();
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "page.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_HUGE);
    if (doc == nullptr) {
      state.SkipWithError("libxml2 refused the document");
      break;
    }
    benchmark::DoNotOptimize(xmlDocGetRootElement(doc));
    xmlFreeDoc(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_WriteNativeXml(benchmark::State& state) {
  const std::string& text = Document();
  sw::TNativeXml xml;
  xml.SetLayout(sw::TXmlLayout::Readable);
  xml.LoadFromString(text);
  int64_t bytes = 0;
  for (auto _ : state) {
    sw::TMemoryStream out;
    xml.SaveToStream(out);
    bytes += out.Size();
  }
  state.SetBytesProcessed(bytes);
}

void BM_WriteLibxml2(benchmark::State& state) {
  const std::string& text = Document();
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "page.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_HUGE);
  int64_t bytes = 0;
  for (auto _ : state) {
    xmlChar* out = nullptr;
    int size = 0;
    xmlDocDumpMemory(doc, &out, &size);
    bytes += size;
    xmlFree(out);
  }
  xmlFreeDoc(doc);
  state.SetBytesProcessed(bytes);
}

BENCHMARK(BM_ParseNativeXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseLibxml2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteNativeXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLibxml2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
