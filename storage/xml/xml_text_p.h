// Internal to storage/xml: the text form's parser and writer, which the node tree and the
// document share, and the small text helpers of both.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "storage/xml/native_xml.h"

namespace sw {

inline constexpr char kXmlCrLf[] = "\r\n";

inline bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The text without leading and trailing blanks.
inline std::string_view XmlTrim(std::string_view s) {
  size_t a = 0;
  size_t b = s.size();
  while (a < b && IsXmlBlank(s[a])) ++a;
  while (b > a && IsXmlBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

// Readable layout indents by one unit per level; compact layout not at all.
inline void AppendIndent(std::string& out, const TXmlSettings& s, int level) {
  if (s.Layout != TXmlLayout::Readable) return;
  for (int i = 0; i < level; ++i) out += s.IndentUnit;
}

inline bool IsCharData(const TXmlNode* node) { return node->Kind() == TXmlNodeKind::CharData; }

// Writes nodes by the text-form rules without recursion, so any depth is safe.
class TXmlWriter {
public:
  TXmlWriter(const TXmlSettings& settings, std::string& out) : s_(settings), out_(out) {}
  void Write(const TXmlNode& start, int startLevel);

private:
  void LineBreak();
  void AfterChild(const TXmlNode& node, size_t index);
  void Attributes(const TXmlNode& node);

  // Writes the start of a node; true when its children follow.
  bool Open(const TXmlNode& node, int level);
  void Close(const TXmlNode& node, int level);
  void Wrap(const TXmlNode&, int level, const char* head, const std::string& body, const char* tail);
  void Dtd(const TXmlNode& node, int level, const char* head);

  const TXmlSettings& s_;
  std::string& out_;
};

// Parses text into nodes. One parser is one parse: its nesting limit counts every level it has
// open, elements and document-type subsets alike.
class TXmlParser {
public:
  // One kind of markup: the text it starts and ends with.
  struct TTagType {
    const char* start;
    size_t startLength;
    const char* end;
    TXmlNodeKind kind;
  };

  TXmlParser(TNativeXml* document, const std::string& text, bool dropComments)
      : document_(document), text_(&text), dropComments_(dropComments) {}
  size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ >= text_->size(); }

  // Parses one node into node (which must be empty): whitespace first; at the end of the
  // input, or for a first character other than "<" (consumed), the node stays blank.
  void ParseNode(TXmlNode* node);

private:
  const char* Data() const { return text_->data(); }
  size_t End() const { return text_->size(); }
  void SkipBlanks();

  // Position of the first occurrence of what at or after from; End() when there is none.
  size_t Find(const char* what, size_t from) const;
  size_t FindChar(char c, size_t from) const;
  const TTagType& LookupTag() const;

  // Reads the markup at "<" into node; true when node is an element whose content follows.
  bool ParseStart(TXmlNode* node);
  void ParseDtdDeclaration(TXmlNode* node);
  void ParseDocType(TXmlNode* node);

  struct TFrame {
    TXmlNode* node;
    size_t textStart;  // start of the text collected since the last child
    bool sawCr;
    bool valueTaken;  // the first character data already became the raw value
  };

  // Flushes the collected text: text with anything besides blanks becomes character data;
  // the first character data of an element goes straight into its raw value.
  void Flush(TFrame& f, size_t end);
  static void TrimTrailing(std::string& s);

  // With child nodes and line breaks in the text, the text is layout: trailing breaks and
  // spaces go from each piece of character data.
  static void Finish(const TFrame& f);

  // Reads element content up to the matching end tag, children included, without recursion.
  void ParseContent(TXmlNode* element);

  TNativeXml* document_;
  const std::string* text_;
  bool dropComments_;
  size_t pos_ = 0;
  size_t docTypeDepth_ = 0;
  // Levels open in the whole parse: elements and document-type subsets alike, wherever they
  // nest, so that a subset inside an element cannot start the count afresh.
  size_t depth_ = 0;
  std::vector<std::string_view> words_;
  std::vector<std::string> joined_;
};

}  // namespace sw
