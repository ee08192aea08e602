// Parses arbitrary bytes as an XML stream and as a string, then writes the tree back and
// reads its typed and byte values. Every failure must be an sw::Exception.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/xml/native_xml.h"

namespace {

void Exercise(sw::TNativeXml& xml) {
  const std::string text = xml.SaveToString();
  sw::TMemoryStream out;
  xml.SaveToStream(out);
  sw::TXmlNode* root = xml.Root();
  if (root == nullptr) return;
  for (int i = 0; i < root->ChildCount() && i < 64; ++i) {
    const sw::TXmlNode* child = root->Child(i);
    (void)child->Text();
    (void)child->ValueAsFloat(0);
    (void)child->ValueAsInteger(0);
    (void)root->ReadColor(child->Name(), 0);
    (void)child->BinaryString();
  }
  for (int i = 0; i < root->AttributeCount(); ++i) (void)root->AttributeValueAt(i);
  // What was written must parse again.
  sw::TNativeXml again;
  again.LoadFromString(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::InitXmlDefaults();
  const bool strict = size > 0 && (data[0] & 1) != 0;
  try {
    sw::TNativeXml xml;
    xml.Settings().StrictChecks = strict;
    xml.Settings().DropComments = size > 1 && (data[1] & 1) != 0;
    sw::TReadOnlyMemoryStream stream(data, static_cast<int64_t>(size));
    xml.LoadFromStream(stream);
    Exercise(xml);
  } catch (const sw::Exception&) {
  }
  try {
    sw::TNativeXml xml;
    xml.SetLayout(sw::TXmlLayout::Readable);
    xml.SetUtf8Strings(false);
    xml.LoadFromString(std::string_view(reinterpret_cast<const char*>(data), size));
    Exercise(xml);
  } catch (const sw::Exception&) {
  }
  return 0;
}
