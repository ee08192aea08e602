// Helpers shared by the engine tests: the registry filled once, XML text of a shape, and a shape
// built from XML text.
#pragma once

#include <memory>
#include <string>

#include "engine/registry.h"
#include "engine/shape.h"
#include "storage/xml/native_xml.h"

namespace sw::test {

inline void RegisterClasses() {
  InitXmlDefaults();
  RegisterEngineShapeClasses();
}

// The compact XML of the shape under a root element of that name, without the declaration.
inline std::string XmlOf(const TdtpShape& shape, const char* root = "shape") {
  TNativeXml xml(root);
  shape.SaveToXml(*xml.Root());
  const std::string text = xml.SaveToString();
  const size_t declEnd = text.find("?>");
  std::string body = declEnd == std::string::npos ? text : text.substr(text.find('<', declEnd));
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.pop_back();
  return body;
}

// Parses text and loads the shape from its root element.
inline void LoadXml(TdtpShape& shape, const std::string& text) {
  TNativeXml xml;
  xml.LoadFromString(text);
  shape.LoadFromXml(xml.Root());
}

}  // namespace sw::test
