// The XML node tree: TXmlNode with its children, attributes, typed property readers and
// writers and byte data, and the settings nodes read and write with. Include
// storage/xml/native_xml.h for the whole XML API.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/stream.h"
#include "raster/color32.h"
#include "storage/xml/xml_codecs.h"

namespace sw {

class TNativeXml;

enum class TXmlNodeKind : uint8_t {
  Element = 0,
  Comment = 1,
  CData = 2,
  Declaration = 3,
  Stylesheet = 4,
  DocType = 5,
  DtdElement = 6,
  DtdAttList = 7,
  DtdEntity = 8,
  DtdNotation = 9,
  Exclamation = 10,
  Instruction = 11,
  CharData = 12,
};

// Readable: CR LF line breaks and indentation; Compact: neither, inside the root element.
enum class TXmlLayout : uint8_t { Readable = 0, Compact = 1 };

// How WriteBinary encodes bytes: two hexadecimal digits per byte, or RFC 4648 Base64.
enum class TXmlBinaryForm : uint8_t { Hex = 0, Base64 = 1 };

// The settings a document reads and writes with. A node without document uses XmlDefaults().
struct TXmlSettings {
  TXmlLayout Layout = TXmlLayout::Compact;
  bool WriteDefaults = false;
  TXmlBinaryForm BinaryForm = TXmlBinaryForm::Base64;
  std::string IndentUnit = "  ";
  bool Utf8Strings = true;  // in-memory strings hold UTF-8 (true) or Windows-1252 text (false)
  TsdStringEncoding FileEncoding = TsdStringEncoding::seUTF8;
  bool DropComments = false;
  bool NoSelfClosing = false;
  bool StrictChecks = false;
  std::string EncodingText = "UTF-8";  // "encoding" attribute of a new declaration
  std::string VersionText = "1.0";     // "version" attribute of a new declaration

  // The engine's own initial values (WriteDefaults true, 8-bit strings and file text,
  // encoding text "windows-1252"), before the program overwrites them at start.
  static TXmlSettings Initial();
  // The values the program runs with: Initial() with UTF-8 strings, UTF-8 file text,
  // encoding text "UTF-8" and WriteDefaults false.
  static TXmlSettings ProgramStart();
};

// The program-wide defaults that Reset copies into a document. They start out as
// TXmlSettings::ProgramStart(), so they hold even when InitXmlDefaults is never called.
TXmlSettings& XmlDefaults();
// Sets the program-wide defaults to the program's values; called once at start, before any
// document exists.
void InitXmlDefaults();

// A stored colour has red in bits 0-7, green 8-15, blue 16-23; a top byte of 0xFF names a system
// colour by its low byte. Returns a system colour's own value in that order, any other colour as
// it is (unknown system colour indexes give black).
TdtpColor ResolvedColor(TdtpColor color);

// Escapes "&", "<", ">", apostrophe and double quote as the five predefined entities.
std::string XmlEscape(std::string_view text);
// Decodes the five predefined entities and character references ("&#65;", "&#x41;"); anything
// else, including every other named entity, is copied unchanged (no entity expansion).
// utf8 selects how character references become text: UTF-8 of codes 0-65534, or one
// Windows-1252 byte for codes 0-254.
std::string XmlDecodeEntities(std::string_view text, bool utf8);

// Float text: general format, 15 significant digits, 1E-5 style exponents, point separator.
std::string XmlFloatToStr(double value);

class TXmlNode {
public:
  explicit TXmlNode(TNativeXml* document = nullptr, TXmlNodeKind kind = TXmlNodeKind::Element);
  TXmlNode(TNativeXml* document, std::string_view name);
  // Frees the whole subtree (without recursion, so any depth is safe).
  ~TXmlNode();
  TXmlNode(const TXmlNode&) = delete;
  TXmlNode& operator=(const TXmlNode&) = delete;

  TXmlNodeKind Kind() const { return kind_; }
  void SetKind(TXmlNodeKind kind) { kind_ = kind; }
  const std::string& Name() const { return name_; }
  // Raises "Illegal character in node name "%s"" for a tab, line feed, carriage return or space.
  void SetName(std::string_view name);
  // The value as written in the file, still escaped.
  const std::string& RawValue() const { return rawValue_; }
  void SetRawValue(std::string value) { rawValue_ = std::move(value); }
  // RawValue with entities decoded; setting escapes.
  std::string Text() const;
  void SetText(std::string_view text);
  // Text as 16-bit text (converted from UTF-8 or Windows-1252 by the Utf8Strings setting).
  std::u16string TextW() const;
  void SetTextW(std::u16string_view text);

  int32_t Tag = 0;  // free for the caller; never written, copied by Assign

  // The owning document, may be null.
  TNativeXml* Document() const { return document_; }
  // The settings the node's readers and writers use: its document's, or XmlDefaults().
  const TXmlSettings& Settings() const;
  TXmlNode* Parent() const { return parent_; }
  // Parent steps below the top container: top-level nodes 0; a node without parent -1.
  int Level() const;

  // Children (0-based; an index out of range returns null or does nothing).
  int ChildCount() const { return static_cast<int>(children_.size()); }
  TXmlNode* Child(int index) const;
  // Appends a node (taking ownership) and returns its index; -1 for a null node.
  int AddChild(TXmlNode* node);
  // Inserts at 0..ChildCount (taking ownership); other indexes do nothing (and free nothing).
  void InsertChild(int index, TXmlNode* node);
  // Creates an Element child with this node's document, appends and returns it.
  TXmlNode* NewChild(std::string_view name);
  // As NewChild, at an index 0..ChildCount (appended for any other index).
  TXmlNode* NewChildAt(int index, std::string_view name);
  // Frees the child at the index.
  void DeleteChild(int index);
  // Takes the node out of the child list without freeing it; returns it (null if not a child).
  TXmlNode* ExtractChild(TXmlNode* node);
  // Takes this node out of its parent's list and frees it; a node without parent is left alone.
  void RemoveFromParent();
  void ClearChildren();
  // Empties name, value, attributes and children.
  void Clear();
  // The first child of that name, or null.
  TXmlNode* FindChild(std::string_view name) const;
  // Index of the first child of that name at or after start; -1 if none.
  int ChildIndex(std::string_view name, int start = 0) const;
  // Index of the node in the child list; -1 if it is not a child.
  int IndexOf(const TXmlNode* node) const;
  TXmlNode* FindOrAddChild(std::string_view name);
  // Clears the list and adds every child of that name in order.
  void FindChildren(std::string_view name, std::vector<TXmlNode*>& list) const;
  // No raw value, no children, no attributes.
  bool IsEmpty() const;
  // Empty and nameless.
  bool IsBlank() const { return IsEmpty() && name_.empty(); }
  // Deep copy of kind, name, Tag, raw value, attributes and children (without recursion);
  // the copies belong to this node's document.
  void Assign(const TXmlNode& source);
  // Copies the document's root (an empty node when it has none).
  void Assign(const TNativeXml& source);

  // Attributes, each stored as written: name, "=", the escaped value in double quotes.
  int AttributeCount() const { return static_cast<int>(attributes_.size()); }
  // Name of the attribute at the index; empty out of range.
  std::string AttributeName(int index) const;
  // Decoded value of the attribute at the index; empty out of range.
  std::string AttributeValueAt(int index) const;
  // The stored text of the attribute at the index; empty out of range.
  const std::string& AttributeText(int index) const;
  // Appends without looking for an existing attribute of that name.
  void AddAttribute(std::string_view name, std::string_view value);
  void AddAttribute(std::string_view name, int64_t value);
  // The decoded value; the empty string when absent.
  std::string AttributeValue(std::string_view name) const;
  // Replaces the first attribute of that name or appends one.
  void SetAttribute(std::string_view name, std::string_view value);
  bool HasAttribute(std::string_view name) const;
  void DeleteAttribute(std::string_view name);
  void ClearAttributes() { attributes_.clear(); }
  // The attribute as decimal integer; the default when absent or not an integer.
  int32_t AttributeAsInteger(std::string_view name, int32_t defaultValue = 0) const;
  void SetAttributeInteger(std::string_view name, int64_t value);

  // Typed readers of the child element of that name; the default when it is missing.
  // Integer: decimal or "$" hexadecimal; the default when it is neither.
  int32_t ReadInteger(std::string_view name, int32_t defaultValue = 0) const;
  int64_t ReadInt64(std::string_view name, int64_t defaultValue = 0) const;
  // First "," taken as ".", decimal with optional exponent; the default unless it parses fully.
  double ReadFloat(std::string_view name, double defaultValue = 0.0) const;
  // "T"/"Y" true, "F"/"N" false (first character, any case); the default otherwise.
  bool ReadBool(std::string_view name, bool defaultValue = false) const;
  // Text as integer; raises "'%s' is not a valid integer value" when it is none.
  TdtpColor ReadColor(std::string_view name, TdtpColor defaultValue = 0) const;
  // Text; an existing empty child gives the empty string, not the default.
  std::string ReadString(std::string_view name, std::string_view defaultValue = {}) const;
  std::u16string ReadWideString(std::string_view name, std::u16string_view defaultValue = {}) const;

  // Typed writers: when WriteDefaults is set or the value differs from the default, find or
  // create the child element and set its text; otherwise change nothing.
  void WriteInteger(std::string_view name, int64_t value, int64_t defaultValue = 0);
  void WriteFloat(std::string_view name, double value, double defaultValue = 0.0);
  void WriteBool(std::string_view name, bool value, bool defaultValue = false);
  // "$" and upper-case hexadecimal padded with zeros to digits.
  void WriteHex(std::string_view name, uint32_t value, uint32_t defaultValue, int digits);
  // As WriteHex with 8 digits; a system colour is written as its RGB value.
  void WriteColor(std::string_view name, TdtpColor color, TdtpColor defaultValue = 0);
  void WriteString(std::string_view name, std::string_view value, std::string_view defaultValue = {});
  void WriteWideString(std::string_view name, std::u16string_view value,
                       std::u16string_view defaultValue = {});

  // The node's own value read and written with the same rules as the typed helpers.
  std::string ValueAsString() const { return Text(); }
  void SetValueAsString(std::string_view value) { SetText(value); }
  int32_t ValueAsInteger(int32_t defaultValue = 0) const;
  int64_t ValueAsInt64(int64_t defaultValue = 0) const;
  double ValueAsFloat(double defaultValue = 0.0) const;
  bool ValueAsBool(bool defaultValue = false) const;
  void SetValueAsInteger(int64_t value);
  void SetValueAsFloat(double value);
  void SetValueAsBool(bool value);

  // Byte data in the node's own value. WriteBinary encodes in the document's BinaryForm, cut
  // into lines of 76 characters in Readable layout.
  void WriteBinary(const void* buffer, int64_t count);
  // Decoded byte count; raises "Error while calculating streamlength" for a bad text length.
  int64_t BinaryLength() const;
  // Decodes count bytes; raises "Missing data in binary stream" when fewer are present.
  void ReadBinary(void* buffer, int64_t count) const;
  // The value as bytes, always in Base64 whatever BinaryForm says.
  std::string BinaryString() const;
  void SetBinaryString(std::string_view bytes);
  // Base64 text of the value (the same as the raw value with whitespace removed).
  std::string Base64() const;

  // The node alone as XML text (by the writer rules, at its level) and parsed back from text;
  // parsing replaces this node's content.
  std::string WriteToString() const;
  void ReadFromString(std::string_view text);
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);


private:
  friend class TNativeXml;
  friend class TXmlParser;
  friend class TXmlWriter;

  void SetDocumentDeep(TNativeXml* document);
  const TXmlNode* FindChildConst(std::string_view name) const;
  int FindAttribute(std::string_view name) const;

  std::vector<std::string> attributes_;
  TNativeXml* document_ = nullptr;
  TXmlNodeKind kind_ = TXmlNodeKind::Element;
  std::string name_;
  std::vector<TXmlNode*> children_;
  TXmlNode* parent_ = nullptr;
  std::string rawValue_;
};

}  // namespace sw
