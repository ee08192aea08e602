#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/strings.h"
#include "storage/xml/xml_text_p.h"

namespace sw {

namespace {

const char kMsgMissingName[] = "Missing element name";
const char kMsgMissingCloseTag[] = "Missing close tag in element %s";
const char kMsgMissingAfterLt[] = "Missing data after \"<\" in element %s";
const char kMsgMissingGt[] = "Missing \">\" in close tag of element %s";
const char kMsgIncorrectClose[] = "Incorrect close tag in element %s";
const char kMsgTooDeep[] = "Elements nested too deeply in element %s";

// An element name from the file as a message shows it: a plain short name as it is, anything
// else (long, or with control characters such as terminal escapes) quoted, escaped and cut.
std::string NameForMessage(const std::string& name) {
  constexpr size_t kPlainLimit = 48;
  bool plain = !name.empty() && name.size() <= kPlainLimit;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x21 || u == 0x7F || c == '"' || c == '\\') plain = false;
  }
  return plain ? name : QuoteForMessage(name, kPlainLimit);
}

// Deeper nesting than this is refused while parsing: real documents stay far below it, and
// the callers that walk a tree recursively (shapes in groups) stay within their stack.
constexpr size_t kMaxDepth = 1024;

// A document type's internal subset is parsed by recursion; nested ones are pathological.
constexpr size_t kMaxDocTypeDepth = 64;

const TXmlParser::TTagType kTagTypes[] = {
    {"<![CDATA[", 9, "]]>", TXmlNodeKind::CData},
    {"<!DOCTYPE", 9, ">", TXmlNodeKind::DocType},
    {"<!ELEMENT", 9, ">", TXmlNodeKind::DtdElement},
    {"<!ATTLIST", 9, ">", TXmlNodeKind::DtdAttList},
    {"<!ENTITY", 8, ">", TXmlNodeKind::DtdEntity},
    {"<!NOTATION", 10, ">", TXmlNodeKind::DtdNotation},
    {"<?xml-stylesheet", 16, "?>", TXmlNodeKind::Stylesheet},
    {"<?xml", 5, "?>", TXmlNodeKind::Declaration},
    {"<!--", 4, "-->", TXmlNodeKind::Comment},
    {"<!", 2, ">", TXmlNodeKind::Exclamation},
    {"<?", 2, "?>", TXmlNodeKind::Instruction},
    {"<", 1, ">", TXmlNodeKind::Element},
};

// Splits tag text into words at blanks outside quotes; a quote runs from a double quote or
// apostrophe to the next same character.
void SplitWords(std::string_view tag, std::vector<std::string_view>& words) {
  words.clear();
  size_t i = 0;
  const size_t n = tag.size();
  while (i < n) {
    while (i < n && IsXmlBlank(tag[i])) ++i;
    if (i >= n) break;
    const size_t start = i;
    while (i < n && !IsXmlBlank(tag[i])) {
      const char c = tag[i++];
      if (c == '"' || c == '\'') {
        while (i < n && tag[i] != c) ++i;
        if (i < n) ++i;
      }
    }
    words.push_back(tag.substr(start, i - start));
  }
}

// A word beginning with "=" joins the word before it; then a word beginning with a quote
// joins the word before it when that one holds "=" (so a = "b" becomes a="b").
void JoinWords(const std::vector<std::string_view>& words, std::vector<std::string>& out) {
  std::vector<std::string> first;
  first.reserve(words.size());
  for (const std::string_view w : words) {
    if (!first.empty() && w[0] == '=') first.back() += w;
    else first.emplace_back(w);
  }
  out.clear();
  for (std::string& w : first) {
    if (!out.empty() && (w[0] == '"' || w[0] == '\'') && out.back().find('=') != std::string::npos) {
      out.back() += w;
    } else {
      out.push_back(std::move(w));
    }
  }
}

}  // namespace

void TXmlParser::ParseNode(TXmlNode* node) {
  SkipBlanks();
  if (AtEnd()) return;
  if ((*text_)[pos_] != '<') {
    ++pos_;
    return;
  }
  if (ParseStart(node)) ParseContent(node);
}

void TXmlParser::SkipBlanks() {
  const char* d = Data();
  const size_t n = End();
  while (pos_ < n && IsXmlBlank(d[pos_])) ++pos_;
}

size_t TXmlParser::Find(const char* what, size_t from) const {
  const std::string_view v(*text_);
  const size_t at = v.find(what, from);
  return at == std::string_view::npos ? End() : at;
}

size_t TXmlParser::FindChar(char c, size_t from) const {
  if (from >= End()) return End();
  const void* at = std::memchr(Data() + from, c, End() - from);
  return at ? static_cast<size_t>(static_cast<const char*>(at) - Data()) : End();
}

const TXmlParser::TTagType& TXmlParser::LookupTag() const {
  const char* d = Data() + pos_;
  const size_t left = End() - pos_;
  if (left < 2 || (d[1] != '!' && d[1] != '?')) return kTagTypes[11];
  const TTagType* best = &kTagTypes[11];
  for (const TTagType& t : kTagTypes) {
    if (t.startLength > best->startLength && t.startLength <= left &&
        std::memcmp(d, t.start, t.startLength) == 0) {
      best = &t;
    }
  }
  return *best;
}

bool TXmlParser::ParseStart(TXmlNode* node) {
  const TTagType& tag = LookupTag();
  pos_ += tag.startLength;
  node->kind_ = tag.kind;
  switch (tag.kind) {
    case TXmlNodeKind::Comment:
    case TXmlNodeKind::CData:
    case TXmlNodeKind::Exclamation:
    case TXmlNodeKind::Instruction: {
      const size_t at = Find(tag.end, pos_);
      node->rawValue_.assign(Data() + pos_, at - pos_);
      pos_ = std::min(End(), at + std::strlen(tag.end));
      node->name_ = tag.kind == TXmlNodeKind::Comment ? "Comment"
                    : tag.kind == TXmlNodeKind::CData ? "CData"
                                                      : "Special";
      return false;
    }
    case TXmlNodeKind::DocType:
      ParseDocType(node);
      return false;
    case TXmlNodeKind::DtdElement:
    case TXmlNodeKind::DtdAttList:
    case TXmlNodeKind::DtdEntity:
    case TXmlNodeKind::DtdNotation:
      ParseDtdDeclaration(node);
      return false;
    default:
      break;
  }
  // Declaration, Stylesheet and Element: the tag runs to the first end text, quotes or not.
  const size_t at = tag.kind == TXmlNodeKind::Element ? FindChar('>', pos_) : Find(tag.end, pos_);
  std::string_view text(Data() + pos_, at - pos_);
  pos_ = std::min(End(), at + (tag.kind == TXmlNodeKind::Element ? 1 : 2));
  if (tag.kind == TXmlNodeKind::Element) {
    bool selfClosing = false;
    size_t len = text.size();
    while (len > 0 && IsXmlBlank(text[len - 1])) --len;
    if (len > 0 && text[len - 1] == '/') {
      selfClosing = true;
      --len;
    }
    text = text.substr(0, len);
    bool simple = !text.empty();
    for (const char c : text) {
      if (IsXmlBlank(c) || c == '"' || c == '\'' || c == '=') {
        simple = false;
        break;
      }
    }
    if (simple) {
      node->name_.assign(text);
    } else {
      SplitWords(text, words_);
      if (words_.empty()) RaiseFilerError(kMsgMissingName);
      JoinWords(words_, joined_);
      node->name_ = std::move(joined_[0]);
      node->attributes_.assign(std::make_move_iterator(joined_.begin() + 1),
                               std::make_move_iterator(joined_.end()));
    }
    return !selfClosing;
  }
  SplitWords(text, words_);
  JoinWords(words_, joined_);
  node->attributes_ = std::move(joined_);
  joined_.clear();
  if (tag.kind == TXmlNodeKind::Declaration) {
    node->name_ = "xml";
  } else {
    node->name_ = "xml-stylesheet";
    node->rawValue_ = std::string(XmlTrim(text));
  }
  return false;
}

void TXmlParser::ParseDtdDeclaration(TXmlNode* node) {
  // The declaration runs to the next ">" outside quotes.
  const char* d = Data();
  const size_t n = End();
  size_t i = pos_;
  char quote = 0;
  for (; i < n; ++i) {
    const char c = d[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      break;
    }
  }
  SplitWords(std::string_view(d + pos_, i - pos_), words_);
  pos_ = std::min(n, i + 1);
  if (words_.empty()) return;
  node->name_.assign(words_[0]);
  std::string raw;
  for (size_t w = 1; w < words_.size(); ++w) {
    raw.append(words_[w]);
    raw += kXmlCrLf;
  }
  node->rawValue_ = std::move(raw);
}

void TXmlParser::ParseDocType(TXmlNode* node) {
  const char* d = Data();
  const size_t n = End();
  size_t i = pos_;
  while (i < n && d[i] != '>' && d[i] != '[') ++i;
  SplitWords(std::string_view(d + pos_, i - pos_), words_);
  node->name_ = words_.empty() ? "DTD" : std::string(words_[0]);
  std::string raw;
  for (size_t w = 1; w < words_.size(); ++w) {
    if (!raw.empty()) raw.push_back(' ');
    raw.append(words_[w]);
  }
  node->rawValue_ = std::move(raw);
  pos_ = std::min(n, i + 1);
  if (i >= n || d[i] != '[') return;
  // The internal subset: child nodes until a "]". It is one more level of the document.
  if (++docTypeDepth_ > kMaxDocTypeDepth || ++depth_ > kMaxDepth) {
    RaiseFilerError(Format(kMsgTooDeep, NameForMessage(node->name_).c_str()));
  }
  while (true) {
    SkipBlanks();
    if (AtEnd()) break;
    if ((*text_)[pos_] == ']') {
      ++pos_;
      break;
    }
    auto* child = new TXmlNode(document_);
    node->AddChild(child);
    ParseNode(child);
    if (child->IsBlank()) node->DeleteChild(node->ChildCount() - 1);
  }
  --docTypeDepth_;
  --depth_;
  pos_ = std::min(End(), FindChar('>', pos_) + 1);
}

void TXmlParser::Flush(TFrame& f, size_t end) {
  const char* d = Data();
  size_t i = f.textStart;
  while (i < end && IsXmlBlank(d[i])) ++i;
  if (i >= end) return;
  TXmlNode* node = f.node;
  if (!f.valueTaken && node->children_.empty()) {
    node->rawValue_.assign(d + f.textStart, end - f.textStart);
    f.valueTaken = true;
    return;
  }
  auto* data = new TXmlNode(document_, TXmlNodeKind::CharData);
  data->rawValue_.assign(d + f.textStart, end - f.textStart);
  node->AddChild(data);
}

void TXmlParser::TrimTrailing(std::string& s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == '\r' || s[n - 1] == '\n' || s[n - 1] == ' ')) --n;
  s.resize(n);
}

void TXmlParser::Finish(const TFrame& f) {
  if (!f.sawCr) return;
  TXmlNode* node = f.node;
  bool hasMarkup = false;
  for (const TXmlNode* c : node->children_) {
    if (!IsCharData(c)) {
      hasMarkup = true;
      break;
    }
  }
  if (!hasMarkup) return;
  if (f.valueTaken) TrimTrailing(node->rawValue_);
  for (TXmlNode* c : node->children_) {
    if (IsCharData(c)) TrimTrailing(c->rawValue_);
  }
}

void TXmlParser::ParseContent(TXmlNode* element) {
  std::vector<TFrame> stack;
  stack.push_back({element, pos_, false, false});
  ++depth_;
  while (!stack.empty()) {
    TFrame& f = stack.back();
    const size_t lt = FindChar('<', pos_);
    if (!f.sawCr && std::memchr(Data() + pos_, '\r', lt - pos_) != nullptr) f.sawCr = true;
    if (lt >= End()) RaiseFilerError(Format(kMsgMissingCloseTag, NameForMessage(f.node->name_).c_str()));
    pos_ = lt + 1;
    SkipBlanks();
    if (AtEnd()) RaiseFilerError(Format(kMsgMissingAfterLt, NameForMessage(f.node->name_).c_str()));
    if ((*text_)[pos_] == '/') {
      const size_t gt = FindChar('>', pos_ + 1);
      if (gt >= End()) RaiseFilerError(Format(kMsgMissingGt, NameForMessage(f.node->name_).c_str()));
      const std::string_view closeName = XmlTrim(std::string_view(Data() + pos_ + 1, gt - pos_ - 1));
      if (!SameText(closeName, f.node->name_)) {
        RaiseFilerError(Format(kMsgIncorrectClose, NameForMessage(f.node->name_).c_str()));
      }
      Flush(f, lt);
      pos_ = gt + 1;
      Finish(f);
      stack.pop_back();
      --depth_;
      if (!stack.empty()) stack.back().textStart = pos_;
      continue;
    }
    Flush(f, lt);
    pos_ = lt;
    if (depth_ >= kMaxDepth) RaiseFilerError(Format(kMsgTooDeep, NameForMessage(f.node->name_).c_str()));
    TXmlNode* parent = f.node;
    auto* child = new TXmlNode(document_);
    parent->AddChild(child);
    if (ParseStart(child)) {
      stack.push_back({child, pos_, false, false});
      ++depth_;
      continue;
    }
    if (dropComments_ && child->kind_ == TXmlNodeKind::Comment) {
      parent->DeleteChild(parent->ChildCount() - 1);
    }
    stack.back().textStart = pos_;
  }
}

}  // namespace sw
