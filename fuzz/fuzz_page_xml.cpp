// Builds a page (root "Page") or a shape (any other root) from arbitrary XML through the shape
// registry, as stickwell-cli page does, writes it back and checks that the written form of a
// "Page", "Shape" or "shape" root reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "base/exception.h"
#include "engine/document.h"
#include "engine/registry.h"
#include "storage/xml/native_xml.h"

namespace {

// Builds the shape the root describes inside doc and returns its compact XML.
std::string BuildAndWrite(sw::TdtpDocument& doc, const sw::TXmlNode& root) {
  using namespace sw;
  const bool isPage = root.Name() == "Page";
  std::unique_ptr<TdtpShape> made =
      CreateShapeByClassName(root.ReadString("ClassName", isPage ? TdtpPage::StaticClassName() : ""));
  TdtpShape* shape = made.get();
  if (auto* page = dynamic_cast<TdtpPage*>(shape); page && isPage) {
    made.release();
    doc.Clear();
    if (doc.AddPage(std::unique_ptr<TdtpPage>(page)) < 0) return {};
  } else if (doc.AddShape(std::move(made)) < 0) {
    return {};
  }
  shape->LoadFromXml(&root);
  TNativeXml out(root.Name());
  shape->SaveToXml(*out.Root());
  return out.SaveToString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::RegisterEngineShapeClasses();
  try {
    sw::TNativeXml xml;
    xml.LoadFromString(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!xml.Root() || xml.Root()->Name().empty()) return 0;
    sw::TdtpDocument first;
    first.DisableUndo();
    const std::string written = BuildAndWrite(first, *xml.Root());
    // Only the roots the program itself writes are held to the round trip; other names may not
    // survive the XML text form unchanged.
    const std::string& name = xml.Root()->Name();
    if (written.empty() || (name != "Page" && name != "Shape" && name != "shape")) return 0;
    sw::TNativeXml again;
    again.LoadFromString(written);
    sw::TdtpDocument second;
    second.DisableUndo();
    if (BuildAndWrite(second, *again.Root()) != written) std::abort();
  } catch (const sw::Exception&) {
  }
  return 0;
}
