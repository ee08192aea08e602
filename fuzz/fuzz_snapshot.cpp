// Feeds arbitrary bytes to a shape's snapshot reader inside a document with a storage; whatever
// it accepts must write a snapshot that reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/exception.h"
#include "engine/document.h"
#include "engine/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::RegisterEngineShapeClasses();
  sw::TdtpDocument doc;
  doc.DisableUndo();
  auto shape = std::make_unique<sw::TdtpShape>();
  sw::TdtpShape* s = shape.get();
  doc.AddShape(std::move(shape));
  try {
    s->LoadFromString(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const sw::Exception&) {
    return 0;
  }
  const std::string saved = s->SaveToString();
  auto copy = std::make_unique<sw::TdtpShape>();
  sw::TdtpShape* c = copy.get();
  doc.AddShape(std::move(copy));
  try {
    c->LoadFromString(saved);
  } catch (const sw::Exception&) {
    std::abort();
  }
  if (c->SaveToString() != saved) std::abort();
  return 0;
}
