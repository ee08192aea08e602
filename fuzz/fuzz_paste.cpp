// Feeds arbitrary clipboard text to the paste of shapes, then walks the undo log back and forth
// and copies what was pasted, so that foreign snapshots also pass through the undo records.
// Input starting with "<" is the clipboard text itself; any other input is a shape snapshot,
// wrapped into a "Selection" text so that mutations reach the snapshot reader unencoded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/exception.h"
#include "engine/document.h"
#include "engine/registry.h"
#include "platform/headless_clipboard.h"
#include "platform/services.h"
#include "storage/xml/native_xml.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sw::RegisterEngineShapeClasses();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::THeadlessClipboard clipboard;
  sw::TServices services;
  services.Clipboard = &clipboard;
  sw::TdtpDocument doc(services);
  std::string text(reinterpret_cast<const char*>(data), size);
  if (size > 0 && data[0] != '<') {
    sw::TNativeXml xml("Selection");
    sw::TXmlNode* shape = xml.Root()->NewChild("shape");
    shape->WriteString("ClassName", "TdtpShape");
    shape->SetBinaryString(text);
    text = xml.SaveToString();
  }
  clipboard.SetText(text);
  try {
    doc.Paste();
  } catch (const sw::Exception&) {
  }
  try {
    while (doc.Undo()) {
    }
    while (doc.Redo()) {
    }
    doc.Copy();
    doc.Paste();
  } catch (const sw::Exception&) {
  }
  return 0;
}
