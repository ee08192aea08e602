// The XML engine: a TNativeXml document owns a tree of TXmlNode nodes and reads and writes the
// XML text of every structured stream (document settings, pages, shape snapshots, resources).
// Properties are stored as child elements whose text is the value; the typed readers and
// writers on a node turn integers, floats, booleans, colours, strings and bytes into such
// children and back. Names are compared without regard to letter case everywhere.
// This header is the one include for the whole XML API.
#pragma once

#include <string>
#include <string_view>

#include "base/stream.h"
#include "storage/xml/xml_codecs.h"
#include "storage/xml/xml_node.h"

namespace sw {

class TNativeXml {
public:
  // Runs Reset: a declaration and an empty root element.
  TNativeXml();
  // As above, with the root named.
  explicit TNativeXml(std::string_view rootName);
  ~TNativeXml();
  TNativeXml(const TNativeXml&) = delete;
  TNativeXml& operator=(const TNativeXml&) = delete;

  TXmlSettings& Settings() { return settings_; }
  const TXmlSettings& Settings() const { return settings_; }
  TXmlLayout Layout() const { return settings_.Layout; }
  void SetLayout(TXmlLayout layout) { settings_.Layout = layout; }
  bool WriteDefaults() const { return settings_.WriteDefaults; }
  void SetWriteDefaults(bool value) { settings_.WriteDefaults = value; }
  TXmlBinaryForm BinaryForm() const { return settings_.BinaryForm; }
  void SetBinaryForm(TXmlBinaryForm form) { settings_.BinaryForm = form; }
  bool Utf8Strings() const { return settings_.Utf8Strings; }
  void SetUtf8Strings(bool value) { settings_.Utf8Strings = value; }
  TsdStringEncoding FileEncoding() const { return settings_.FileEncoding; }
  void SetFileEncoding(TsdStringEncoding encoding) { settings_.FileEncoding = encoding; }

  // The nameless container whose children are the top-level nodes.
  TXmlNode& TopNodes() { return topNodes_; }
  const TXmlNode& TopNodes() const { return topNodes_; }
  // The first top-level Element; null when there is none.
  TXmlNode* Root() const;
  // The first top-level Declaration; null when there is none.
  TXmlNode* Declaration() const;

  // Copies the program-wide defaults into the settings and makes a declaration and an
  // empty root element.
  void Reset();
  void Clear() { Reset(); }
  // Copies the settings and the whole tree.
  void Assign(const TNativeXml& source);

  // Replaces the tree with the parsed text; raises EFilerError on bad XML, EStreamError
  // for unsupported encodings. After an error the tree holds what was parsed.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  void LoadFromString(std::string_view text);
  // Writes the text through the codec (byte-order mark and FileEncoding conversion).
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const std::string& fileName) const;
  // The text itself, without codec: no byte-order mark and no conversion.
  std::string SaveToString() const;
  std::string WriteToString() const { return SaveToString(); }

private:
  TXmlSettings settings_;
  TXmlNode topNodes_;
};

}  // namespace sw
