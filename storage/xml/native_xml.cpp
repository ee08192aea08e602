#include "storage/xml/native_xml.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "base/exception.h"
#include "base/strings.h"
#include "base/system_colors.h"

namespace sw {

namespace {

const char kMsgIllegalName[] = "Illegal character in node name \"%s\"";
const char kMsgIllegalType[] = "Illegal element type";
const char kMsgStreamLength[] = "Error while calculating streamlength";
const char kMsgMissingData[] = "Missing data in binary stream";
const char kMsgNotInteger[] = "'%s' is not a valid integer value";
const char kMsgNoRootDefined[] = "XML root element not defined.";
const char kMsgNoRoot[] = "No root element found in xml";
const char kMsgTwoRoots[] = "More than one root element found in xml";
const char kMsgTwoDeclarations[] = "More than one xml declaration found in xml";
const char kMsgDeclarationFirst[] = "Xml declaration must be first element";
const char kMsgTwoDocTypes[] = "More than one doctype declaration found in root";
const char kMsgDocTypeAfterRoot[] = "Doctype declaration found after root element";
const char kMsgCDataInRoot[] = "No CDATA allowed in root";
const char kMsgMissingName[] = "Missing element name";
const char kMsgMissingCloseTag[] = "Missing close tag in element %s";
const char kMsgMissingAfterLt[] = "Missing data after \"<\" in element %s";
const char kMsgMissingGt[] = "Missing \">\" in close tag of element %s";
const char kMsgIncorrectClose[] = "Incorrect close tag in element %s";
const char kMsgTooDeep[] = "Elements nested too deeply in element %s";

// Deeper nesting than this is refused while parsing: real documents stay far below it, and
// the callers that walk a tree recursively (shapes in groups) stay within their stack.
constexpr size_t kMaxDepth = 1024;

// A document type's internal subset is parsed by recursion; nested ones are pathological.
constexpr size_t kMaxDocTypeDepth = 64;

constexpr size_t kBinaryLineLength = 76;

const char kCrLf[] = "\r\n";

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view TrimView(std::string_view s) {
  size_t a = 0;
  size_t b = s.size();
  while (a < b && IsBlankChar(s[a])) ++a;
  while (b > a && IsBlankChar(s[b - 1])) --b;
  return s.substr(a, b - a);
}

// Integer text: optional sign, then decimal digits or "$" and hexadecimal digits. Hexadecimal
// values wrap into the signed range of their width ($FFFFFFFF is -1 for 32 bits).
bool ParseInteger(std::string_view text, int bits, int64_t& result) {
  text = TrimView(text);
  if (text.empty()) return false;
  bool negative = false;
  size_t i = 0;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    ++i;
  }
  if (i < text.size() && text[i] == '$') {
    ++i;
    const size_t digits = text.size() - i;
    if (digits == 0 || digits > static_cast<size_t>(bits / 4)) return false;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      v = (v << 4) | static_cast<uint64_t>(d);
    }
    if (negative) v = ~v + 1;
    result = bits == 32 ? static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(v)))
                        : static_cast<int64_t>(v);
    return true;
  }
  if (i >= text.size()) return false;
  uint64_t v = 0;
  const uint64_t limit = bits == 32 ? (negative ? 2147483648ull : 2147483647ull)
                                    : (negative ? 9223372036854775808ull : 9223372036854775807ull);
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
    if (v > limit) return false;
  }
  result = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

// Decimal number with optional fraction and exponent; the first comma counts as the point.
bool ParseFloat(std::string_view raw, double& result) {
  std::string text(TrimView(raw));
  const size_t comma = text.find(',');
  if (comma != std::string::npos) text[comma] = '.';
  size_t i = 0;
  const size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t mantissaDigits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++mantissaDigits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  const char* begin = text.data();
  if (*begin == '+') ++begin;
  double v = 0;
  const auto r = std::from_chars(begin, text.data() + n, v);
  if (r.ec != std::errc() || r.ptr != text.data() + n) return false;
  result = v;
  return true;
}

bool ParseBoolText(std::string_view text, bool& result) {
  if (text.empty()) return false;
  switch (text[0]) {
    case 'T': case 't': case 'Y': case 'y': result = true; return true;
    case 'F': case 'f': case 'N': case 'n': result = false; return true;
    default: return false;
  }
}

const char kBase64Chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct TBase64Table {
  uint8_t value[256];
  TBase64Table() {
    // Characters outside the alphabet count as 0.
    std::memset(value, 0, sizeof(value));
    for (int i = 0; i < 64; ++i) value[static_cast<uint8_t>(kBase64Chars[i])] = static_cast<uint8_t>(i);
  }
};
const TBase64Table kBase64Table;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::string EncodeBytes(const uint8_t* p, size_t count, TXmlBinaryForm form) {
  std::string out;
  if (form == TXmlBinaryForm::Hex) {
    static const char kHex[] = "0123456789ABCDEF";
    out.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
      out[2 * i] = kHex[p[i] >> 4];
      out[2 * i + 1] = kHex[p[i] & 15];
    }
    return out;
  }
  out.reserve((count + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= count; i += 3) {
    const uint32_t v = uint32_t{p[i]} << 16 | uint32_t{p[i + 1]} << 8 | p[i + 2];
    out.push_back(kBase64Chars[v >> 18]);
    out.push_back(kBase64Chars[(v >> 12) & 63]);
    out.push_back(kBase64Chars[(v >> 6) & 63]);
    out.push_back(kBase64Chars[v & 63]);
  }
  if (i < count) {
    const uint32_t v = uint32_t{p[i]} << 16 | (i + 1 < count ? uint32_t{p[i + 1]} << 8 : 0);
    out.push_back(kBase64Chars[v >> 18]);
    out.push_back(kBase64Chars[(v >> 12) & 63]);
    out.push_back(i + 1 < count ? kBase64Chars[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::string StripBlanks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (!IsBlankChar(c)) out.push_back(c);
  }
  return out;
}

int64_t EncodedLength(const std::string& text, TXmlBinaryForm form) {
  const auto n = static_cast<int64_t>(text.size());
  if (form == TXmlBinaryForm::Hex) {
    if (n % 2 != 0) RaiseFilerError(kMsgStreamLength);
    return n / 2;
  }
  if (n % 4 != 0) RaiseFilerError(kMsgStreamLength);
  int64_t length = n / 4 * 3;
  if (n > 0 && text[static_cast<size_t>(n - 1)] == '=') --length;
  if (n > 1 && text[static_cast<size_t>(n - 2)] == '=') --length;
  return length;
}

void DecodeBytes(const std::string& text, TXmlBinaryForm form, uint8_t* out, size_t count) {
  if (form == TXmlBinaryForm::Hex) {
    for (size_t i = 0; i < count; ++i) {
      out[i] = static_cast<uint8_t>(HexValue(text[2 * i]) << 4 | HexValue(text[2 * i + 1]));
    }
    return;
  }
  size_t o = 0;
  for (size_t i = 0; o < count; i += 4) {
    const uint32_t v = uint32_t{kBase64Table.value[static_cast<uint8_t>(text[i])]} << 18 |
                       uint32_t{kBase64Table.value[static_cast<uint8_t>(text[i + 1])]} << 12 |
                       uint32_t{kBase64Table.value[static_cast<uint8_t>(text[i + 2])]} << 6 |
                       kBase64Table.value[static_cast<uint8_t>(text[i + 3])];
    out[o++] = static_cast<uint8_t>(v >> 16);
    if (o < count) out[o++] = static_cast<uint8_t>(v >> 8);
    if (o < count) out[o++] = static_cast<uint8_t>(v);
  }
}

std::string CharRefText(uint32_t code, bool utf8) {
  std::string out;
  if (utf8) {
    AppendUtf8(out, code);
  } else {
    out.push_back(static_cast<char>(code));
  }
  return out;
}

// Decodes the entity text between "&" and ";"; false when it stays as written.
bool DecodeEntity(std::string_view entity, bool utf8, std::string& out) {
  if (entity == "amp") { out.push_back('&'); return true; }
  if (entity == "lt") { out.push_back('<'); return true; }
  if (entity == "gt") { out.push_back('>'); return true; }
  if (entity == "apos") { out.push_back('\''); return true; }
  if (entity == "quot") { out.push_back('"'); return true; }
  if (entity.size() < 2 || entity[0] != '#') return false;
  const uint32_t limit = utf8 ? 65534 : 254;
  bool hex = entity[1] == 'x' || entity[1] == 'X';
  const size_t start = hex ? 2 : 1;
  if (start >= entity.size()) return false;
  uint32_t code = 0;
  for (size_t i = start; i < entity.size(); ++i) {
    const char c = entity[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    code = code * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    if (code > limit) return false;
  }
  out += CharRefText(code, utf8);
  return true;
}

void AppendIndent(std::string& out, const TXmlSettings& s, int level) {
  if (s.Layout != TXmlLayout::Readable) return;
  for (int i = 0; i < level; ++i) out += s.IndentUnit;
}

bool IsCharData(const TXmlNode* node) { return node->Kind() == TXmlNodeKind::CharData; }

}  // namespace

// ---- settings ----

TXmlSettings TXmlSettings::Initial() {
  TXmlSettings s;
  s.WriteDefaults = true;
  s.Utf8Strings = false;
  s.FileEncoding = TsdStringEncoding::seAnsi;
  s.EncodingText = "windows-1252";
  return s;
}

TXmlSettings TXmlSettings::ProgramStart() { return TXmlSettings(); }

TXmlSettings& XmlDefaults() {
  static TXmlSettings defaults = TXmlSettings::ProgramStart();
  return defaults;
}

void InitXmlDefaults() { XmlDefaults() = TXmlSettings::ProgramStart(); }

int32_t ColorToRGB(int32_t color) {
  const auto c = static_cast<uint32_t>(color);
  if ((c >> 24) != 0xFF) return color;
  const uint32_t rgb = SystemColorRGB(c & 0xFF);
  // Stored colours hold red in the low byte.
  return static_cast<int32_t>((rgb >> 16) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// ---- escaping and numbers ----

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\'': out += "&apos;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string XmlDecodeEntities(std::string_view text, bool utf8) {
  size_t amp = text.find('&');
  if (amp == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (amp != std::string_view::npos) {
    out.append(text.substr(pos, amp - pos));
    const size_t semi = text.find(';', amp + 1);
    if (semi == std::string_view::npos) {
      pos = amp;
      break;
    }
    if (!DecodeEntity(text.substr(amp + 1, semi - amp - 1), utf8, out)) {
      out.append(text.substr(amp, semi + 1 - amp));
    }
    pos = semi + 1;
    amp = text.find('&', pos);
  }
  out.append(text.substr(pos));
  return out;
}

std::string XmlFloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  char buffer[48];
  std::snprintf(buffer, sizeof(buffer), "%.14e", value);
  // buffer: [-]d.dddddddddddddde[+-]xx
  const char* p = buffer;
  std::string out;
  if (*p == '-') {
    out.push_back('-');
    ++p;
  }
  std::string digits;
  digits.push_back(*p++);
  if (*p == '.') ++p;
  while (*p >= '0' && *p <= '9') digits.push_back(*p++);
  const int exponent = (*p == 'e' || *p == 'E') ? std::atoi(p + 1) : 0;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int n = static_cast<int>(digits.size());
  if (exponent >= -4 && exponent < 15) {
    if (exponent >= 0) {
      for (int i = 0; i <= exponent; ++i) out.push_back(i < n ? digits[static_cast<size_t>(i)] : '0');
      if (n > exponent + 1) {
        out.push_back('.');
        out.append(digits, static_cast<size_t>(exponent + 1), std::string::npos);
      }
    } else {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    }
    return out;
  }
  out.push_back(digits[0]);
  if (n > 1) {
    out.push_back('.');
    out.append(digits, 1, std::string::npos);
  }
  out.push_back('E');
  out += std::to_string(exponent);
  return out;
}

// ---- writer ----

// Writes nodes by the text-form rules without recursion, so any depth is safe.
class TXmlWriter {
public:
  TXmlWriter(const TXmlSettings& settings, std::string& out) : s_(settings), out_(out) {}

  void Write(const TXmlNode& start, int startLevel) {
    struct Frame {
      const TXmlNode* node;
      int level;
      size_t next;
    };
    std::vector<Frame> stack;
    if (Open(start, startLevel)) stack.push_back({&start, startLevel, 0});
    while (!stack.empty()) {
      Frame& f = stack.back();
      const TXmlNode* node = f.node;
      const size_t count = node->children_.size();
      if (f.next > 0) AfterChild(*node, f.next - 1);
      if (f.next >= count) {
        Close(*node, f.level);
        stack.pop_back();
        continue;
      }
      const TXmlNode* child = node->children_[f.next++];
      const int level = f.level + 1;
      if (Open(*child, level)) stack.push_back({child, level, 0});
    }
  }

private:
  void LineBreak() {
    if (s_.Layout == TXmlLayout::Readable) out_ += kCrLf;
  }

  void AfterChild(const TXmlNode& node, size_t index) {
    if (node.kind_ == TXmlNodeKind::DocType) {
      out_ += kCrLf;
      return;
    }
    // Character data is joined to its neighbours.
    const auto& c = node.children_;
    if (IsCharData(c[index])) return;
    if (index + 1 < c.size() && IsCharData(c[index + 1])) return;
    LineBreak();
  }

  void Attributes(const TXmlNode& node) {
    for (const std::string& a : node.attributes_) {
      out_.push_back(' ');
      out_ += a;
    }
  }

  // Writes the start of a node; true when its children follow.
  bool Open(const TXmlNode& node, int level) {
    switch (node.kind_) {
      case TXmlNodeKind::Element: {
        AppendIndent(out_, s_, level);
        out_.push_back('<');
        out_ += node.name_;
        Attributes(node);
        const bool hasChildren = !node.children_.empty();
        const bool selfClosing =
            node.rawValue_.empty() && !hasChildren && !s_.NoSelfClosing && level >= 1;
        if (selfClosing) {
          out_ += "/>";
          return false;
        }
        out_.push_back('>');
        out_ += node.rawValue_;
        if (hasChildren) {
          LineBreak();
          return true;
        }
        out_ += "</";
        out_ += node.name_;
        out_.push_back('>');
        return false;
      }
      case TXmlNodeKind::CharData:
        out_ += node.rawValue_;
        return false;
      case TXmlNodeKind::Comment:
        Wrap(node, level, "<!--", node.rawValue_, "-->");
        return false;
      case TXmlNodeKind::CData:
        Wrap(node, level, "<![CDATA[", node.rawValue_, "]]>");
        return false;
      case TXmlNodeKind::Declaration:
      case TXmlNodeKind::Stylesheet:
        AppendIndent(out_, s_, level);
        out_ += node.kind_ == TXmlNodeKind::Declaration ? "<?xml" : "<?xml-stylesheet";
        Attributes(node);
        out_ += "?>";
        return false;
      case TXmlNodeKind::DocType:
        AppendIndent(out_, s_, level);
        out_ += "<!DOCTYPE ";
        out_ += node.name_;
        out_.push_back(' ');
        out_ += node.rawValue_;
        if (node.children_.empty()) {
          out_.push_back('>');
          return false;
        }
        out_ += " [";
        out_ += kCrLf;
        return true;
      case TXmlNodeKind::DtdElement: Dtd(node, level, "<!ELEMENT "); return false;
      case TXmlNodeKind::DtdAttList: Dtd(node, level, "<!ATTLIST "); return false;
      case TXmlNodeKind::DtdEntity: Dtd(node, level, "<!ENTITY "); return false;
      case TXmlNodeKind::DtdNotation: Dtd(node, level, "<!NOTATION "); return false;
      case TXmlNodeKind::Exclamation:
        Wrap(node, level, "<!", node.rawValue_, ">");
        return false;
      case TXmlNodeKind::Instruction:
        Wrap(node, level, "<?", node.rawValue_, "?>");
        return false;
    }
    RaiseFilerError(kMsgIllegalType);
  }

  void Close(const TXmlNode& node, int level) {
    if (node.kind_ == TXmlNodeKind::DocType) {
      out_ += "]>";
      return;
    }
    AppendIndent(out_, s_, level);
    out_ += "</";
    out_ += node.name_;
    out_.push_back('>');
  }

  void Wrap(const TXmlNode&, int level, const char* head, const std::string& body, const char* tail) {
    AppendIndent(out_, s_, level);
    out_ += head;
    out_ += body;
    out_ += tail;
  }

  void Dtd(const TXmlNode& node, int level, const char* head) {
    AppendIndent(out_, s_, level);
    out_ += head;
    out_ += node.name_;
    out_.push_back(' ');
    out_ += node.rawValue_;
    out_.push_back('>');
  }

  const TXmlSettings& s_;
  std::string& out_;
};

// ---- parser ----

namespace {

struct TTagType {
  const char* start;
  size_t startLength;
  const char* end;
  TXmlNodeKind kind;
};

const TTagType kTagTypes[] = {
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
    while (i < n && IsBlankChar(tag[i])) ++i;
    if (i >= n) break;
    const size_t start = i;
    while (i < n && !IsBlankChar(tag[i])) {
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

class TXmlParser {
public:
  TXmlParser(TNativeXml* document, const std::string& text, bool dropComments)
      : document_(document), text_(&text), dropComments_(dropComments) {}

  size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ >= text_->size(); }

  // Parses one node into node (which must be empty): whitespace first; at the end of the
  // input, or for a first character other than "<" (consumed), the node stays blank.
  void ParseNode(TXmlNode* node) {
    SkipBlanks();
    if (AtEnd()) return;
    if ((*text_)[pos_] != '<') {
      ++pos_;
      return;
    }
    if (ParseStart(node)) ParseContent(node);
  }

private:
  const char* Data() const { return text_->data(); }
  size_t End() const { return text_->size(); }

  void SkipBlanks() {
    const char* d = Data();
    const size_t n = End();
    while (pos_ < n && IsBlankChar(d[pos_])) ++pos_;
  }

  // Position of the first occurrence of what at or after from; End() when there is none.
  size_t Find(const char* what, size_t from) const {
    const std::string_view v(*text_);
    const size_t at = v.find(what, from);
    return at == std::string_view::npos ? End() : at;
  }

  size_t FindChar(char c, size_t from) const {
    if (from >= End()) return End();
    const void* at = std::memchr(Data() + from, c, End() - from);
    return at ? static_cast<size_t>(static_cast<const char*>(at) - Data()) : End();
  }

  const TTagType& LookupTag() const {
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

  // Reads the markup at "<" into node; true when node is an element whose content follows.
  bool ParseStart(TXmlNode* node) {
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
      while (len > 0 && IsBlankChar(text[len - 1])) --len;
      if (len > 0 && text[len - 1] == '/') {
        selfClosing = true;
        --len;
      }
      text = text.substr(0, len);
      bool simple = !text.empty();
      for (const char c : text) {
        if (IsBlankChar(c) || c == '"' || c == '\'' || c == '=') {
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
      node->rawValue_ = std::string(TrimView(text));
    }
    return false;
  }

  void ParseDtdDeclaration(TXmlNode* node) {
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
      raw += kCrLf;
    }
    node->rawValue_ = std::move(raw);
  }

  void ParseDocType(TXmlNode* node) {
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
      RaiseFilerError(Format(kMsgTooDeep, node->name_.c_str()));
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

  struct TFrame {
    TXmlNode* node;
    size_t textStart;  // start of the text collected since the last child
    bool sawCr;
    bool valueTaken;  // the first character data already became the raw value
  };

  // Flushes the collected text: text with anything besides blanks becomes character data;
  // the first character data of an element goes straight into its raw value.
  void Flush(TFrame& f, size_t end) {
    const char* d = Data();
    size_t i = f.textStart;
    while (i < end && IsBlankChar(d[i])) ++i;
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

  static void TrimTrailing(std::string& s) {
    size_t n = s.size();
    while (n > 0 && (s[n - 1] == '\r' || s[n - 1] == '\n' || s[n - 1] == ' ')) --n;
    s.resize(n);
  }

  // With child nodes and line breaks in the text, the text is layout: trailing breaks and
  // spaces go from each piece of character data.
  static void Finish(const TFrame& f) {
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

  // Reads element content up to the matching end tag, children included, without recursion.
  void ParseContent(TXmlNode* element) {
    std::vector<TFrame> stack;
    stack.push_back({element, pos_, false, false});
    ++depth_;
    while (!stack.empty()) {
      TFrame& f = stack.back();
      const size_t lt = FindChar('<', pos_);
      if (!f.sawCr && std::memchr(Data() + pos_, '\r', lt - pos_) != nullptr) f.sawCr = true;
      if (lt >= End()) RaiseFilerError(Format(kMsgMissingCloseTag, f.node->name_.c_str()));
      pos_ = lt + 1;
      SkipBlanks();
      if (AtEnd()) RaiseFilerError(Format(kMsgMissingAfterLt, f.node->name_.c_str()));
      if ((*text_)[pos_] == '/') {
        const size_t gt = FindChar('>', pos_ + 1);
        if (gt >= End()) RaiseFilerError(Format(kMsgMissingGt, f.node->name_.c_str()));
        const std::string_view closeName = TrimView(std::string_view(Data() + pos_ + 1, gt - pos_ - 1));
        if (!SameText(closeName, f.node->name_)) {
          RaiseFilerError(Format(kMsgIncorrectClose, f.node->name_.c_str()));
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
      if (depth_ >= kMaxDepth) RaiseFilerError(Format(kMsgTooDeep, f.node->name_.c_str()));
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

// ---- TXmlNode ----

TXmlNode::TXmlNode(TNativeXml* document, TXmlNodeKind kind) : document_(document), kind_(kind) {}

TXmlNode::TXmlNode(TNativeXml* document, std::string_view name) : document_(document) {
  SetName(name);
}

TXmlNode::~TXmlNode() {
  // Free the subtree from a work list: a deep tree must not recurse.
  std::vector<TXmlNode*> pending = std::move(children_);
  while (!pending.empty()) {
    TXmlNode* node = pending.back();
    pending.pop_back();
    pending.insert(pending.end(), node->children_.begin(), node->children_.end());
    node->children_.clear();
    delete node;
  }
}

void TXmlNode::SetName(std::string_view name) {
  if (name == name_) return;
  for (const char c : name) {
    if (IsBlankChar(c)) RaiseError(Format(kMsgIllegalName, std::string(name).c_str()));
  }
  name_.assign(name);
}

const TXmlSettings& TXmlNode::Settings() const {
  return document_ != nullptr ? document_->Settings() : XmlDefaults();
}

std::string TXmlNode::Text() const { return XmlDecodeEntities(rawValue_, Settings().Utf8Strings); }

void TXmlNode::SetText(std::string_view text) { rawValue_ = XmlEscape(text); }

std::u16string TXmlNode::TextW() const {
  const std::string text = Text();
  return Settings().Utf8Strings ? Utf8ToUtf16(text) : AnsiToUtf16(text);
}

void TXmlNode::SetTextW(std::u16string_view text) {
  SetText(Settings().Utf8Strings ? Utf16ToUtf8(text) : Utf16ToAnsi(text));
}

int TXmlNode::Level() const {
  int level = -1;
  for (const TXmlNode* p = parent_; p != nullptr; p = p->parent_) ++level;
  return level;
}

TXmlNode* TXmlNode::Child(int index) const {
  if (index < 0 || index >= ChildCount()) return nullptr;
  return children_[static_cast<size_t>(index)];
}

int TXmlNode::AddChild(TXmlNode* node) {
  if (node == nullptr) return -1;
  node->parent_ = this;
  children_.push_back(node);
  return ChildCount() - 1;
}

void TXmlNode::InsertChild(int index, TXmlNode* node) {
  if (node == nullptr || index < 0 || index > ChildCount()) return;
  node->parent_ = this;
  children_.insert(children_.begin() + index, node);
}

TXmlNode* TXmlNode::NewChild(std::string_view name) {
  auto node = std::make_unique<TXmlNode>(document_, name);
  TXmlNode* result = node.release();
  AddChild(result);
  return result;
}

TXmlNode* TXmlNode::NewChildAt(int index, std::string_view name) {
  auto node = std::make_unique<TXmlNode>(document_, name);
  TXmlNode* result = node.release();
  if (index >= 0 && index <= ChildCount()) InsertChild(index, result);
  else AddChild(result);
  return result;
}

void TXmlNode::DeleteChild(int index) {
  if (index < 0 || index >= ChildCount()) return;
  TXmlNode* node = children_[static_cast<size_t>(index)];
  children_.erase(children_.begin() + index);
  delete node;
}

TXmlNode* TXmlNode::ExtractChild(TXmlNode* node) {
  const int index = IndexOf(node);
  if (index < 0) return nullptr;
  children_.erase(children_.begin() + index);
  node->parent_ = nullptr;
  return node;
}

void TXmlNode::RemoveFromParent() {
  if (parent_ == nullptr) return;
  parent_->DeleteChild(parent_->IndexOf(this));
}

void TXmlNode::ClearChildren() {
  std::vector<TXmlNode*> old = std::move(children_);
  children_.clear();
  for (TXmlNode* node : old) delete node;
}

void TXmlNode::Clear() {
  name_.clear();
  rawValue_.clear();
  attributes_.clear();
  ClearChildren();
}

const TXmlNode* TXmlNode::FindChildConst(std::string_view name) const {
  for (const TXmlNode* node : children_) {
    if (SameText(node->name_, name)) return node;
  }
  return nullptr;
}

TXmlNode* TXmlNode::FindChild(std::string_view name) const {
  return const_cast<TXmlNode*>(FindChildConst(name));
}

int TXmlNode::ChildIndex(std::string_view name, int start) const {
  for (int i = std::max(start, 0); i < ChildCount(); ++i) {
    if (SameText(children_[static_cast<size_t>(i)]->name_, name)) return i;
  }
  return -1;
}

int TXmlNode::IndexOf(const TXmlNode* node) const {
  for (size_t i = 0; i < children_.size(); ++i) {
    if (children_[i] == node) return static_cast<int>(i);
  }
  return -1;
}

TXmlNode* TXmlNode::FindOrAddChild(std::string_view name) {
  TXmlNode* node = FindChild(name);
  return node != nullptr ? node : NewChild(name);
}

void TXmlNode::FindChildren(std::string_view name, std::vector<TXmlNode*>& list) const {
  list.clear();
  for (TXmlNode* node : children_) {
    if (SameText(node->name_, name)) list.push_back(node);
  }
}

bool TXmlNode::IsEmpty() const {
  return rawValue_.empty() && children_.empty() && attributes_.empty();
}

void TXmlNode::Assign(const TXmlNode& source) {
  // Copy into a scratch node first: the source may live inside this node's subtree.
  TXmlNode copy(document_);
  copy.kind_ = source.kind_;
  copy.name_ = source.name_;
  copy.Tag = source.Tag;
  copy.rawValue_ = source.rawValue_;
  copy.attributes_ = source.attributes_;
  std::vector<std::pair<const TXmlNode*, TXmlNode*>> work{{&source, &copy}};
  while (!work.empty()) {
    auto [from, to] = work.back();
    work.pop_back();
    to->children_.reserve(from->children_.size());
    for (const TXmlNode* c : from->children_) {
      auto* n = new TXmlNode(document_, c->kind_);
      n->name_ = c->name_;
      n->Tag = c->Tag;
      n->rawValue_ = c->rawValue_;
      n->attributes_ = c->attributes_;
      to->AddChild(n);
      work.emplace_back(c, n);
    }
  }
  Clear();
  kind_ = copy.kind_;
  name_ = std::move(copy.name_);
  Tag = copy.Tag;
  rawValue_ = std::move(copy.rawValue_);
  attributes_ = std::move(copy.attributes_);
  children_ = std::move(copy.children_);
  copy.children_.clear();
  for (TXmlNode* c : children_) c->parent_ = this;
}

void TXmlNode::Assign(const TNativeXml& source) {
  const TXmlNode* root = source.Root();
  if (root == nullptr) {
    Clear();
    return;
  }
  Assign(*root);
}

// ---- attributes ----

namespace {

std::string_view AttributeNamePart(std::string_view stored) {
  const size_t eq = stored.find('=');
  return eq == std::string_view::npos ? stored : stored.substr(0, eq);
}

std::string AttributeValuePart(std::string_view stored, bool utf8) {
  const size_t eq = stored.find('=');
  if (eq == std::string_view::npos) return std::string();
  std::string_view v = stored.substr(eq + 1);
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    const char q = v[0];
    v = v.substr(1, v.size() - 2);
    // Inside, a doubled quote character stands for one.
    std::string unquoted;
    unquoted.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
      unquoted.push_back(v[i]);
      if (v[i] == q && i + 1 < v.size() && v[i + 1] == q) ++i;
    }
    return XmlDecodeEntities(unquoted, utf8);
  }
  // Unquoted values are taken as they stand.
  return XmlDecodeEntities(v, utf8);
}

std::string StoredAttribute(std::string_view name, std::string_view value) {
  std::string s(name);
  s += "=\"";
  s += XmlEscape(value);
  s.push_back('"');
  return s;
}

const std::string kEmpty;

}  // namespace

int TXmlNode::FindAttribute(std::string_view name) const {
  for (size_t i = 0; i < attributes_.size(); ++i) {
    if (SameText(AttributeNamePart(attributes_[i]), name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TXmlNode::AttributeName(int index) const {
  if (index < 0 || index >= AttributeCount()) return std::string();
  return std::string(AttributeNamePart(attributes_[static_cast<size_t>(index)]));
}

std::string TXmlNode::AttributeValueAt(int index) const {
  if (index < 0 || index >= AttributeCount()) return std::string();
  return AttributeValuePart(attributes_[static_cast<size_t>(index)], Settings().Utf8Strings);
}

const std::string& TXmlNode::AttributeText(int index) const {
  if (index < 0 || index >= AttributeCount()) return kEmpty;
  return attributes_[static_cast<size_t>(index)];
}

void TXmlNode::AddAttribute(std::string_view name, std::string_view value) {
  attributes_.push_back(StoredAttribute(name, value));
}

void TXmlNode::AddAttribute(std::string_view name, int64_t value) {
  AddAttribute(name, std::to_string(value));
}

std::string TXmlNode::AttributeValue(std::string_view name) const {
  const int i = FindAttribute(name);
  return i < 0 ? std::string() : AttributeValueAt(i);
}

void TXmlNode::SetAttribute(std::string_view name, std::string_view value) {
  const int i = FindAttribute(name);
  if (i < 0) {
    AddAttribute(name, value);
    return;
  }
  std::string& stored = attributes_[static_cast<size_t>(i)];
  stored = StoredAttribute(AttributeNamePart(stored), value);
}

bool TXmlNode::HasAttribute(std::string_view name) const { return FindAttribute(name) >= 0; }

void TXmlNode::DeleteAttribute(std::string_view name) {
  const int i = FindAttribute(name);
  if (i >= 0) attributes_.erase(attributes_.begin() + i);
}

int32_t TXmlNode::AttributeAsInteger(std::string_view name, int32_t defaultValue) const {
  const int i = FindAttribute(name);
  if (i < 0) return defaultValue;
  int64_t v;
  return ParseInteger(AttributeValueAt(i), 32, v) ? static_cast<int32_t>(v) : defaultValue;
}

void TXmlNode::SetAttributeInteger(std::string_view name, int64_t value) {
  SetAttribute(name, std::to_string(value));
}

// ---- typed readers and writers ----

int32_t TXmlNode::ReadInteger(std::string_view name, int32_t defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  return child != nullptr ? child->ValueAsInteger(defaultValue) : defaultValue;
}

int64_t TXmlNode::ReadInt64(std::string_view name, int64_t defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  return child != nullptr ? child->ValueAsInt64(defaultValue) : defaultValue;
}

double TXmlNode::ReadFloat(std::string_view name, double defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  return child != nullptr ? child->ValueAsFloat(defaultValue) : defaultValue;
}

bool TXmlNode::ReadBool(std::string_view name, bool defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  return child != nullptr ? child->ValueAsBool(defaultValue) : defaultValue;
}

int32_t TXmlNode::ReadColor(std::string_view name, int32_t defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  if (child == nullptr) return defaultValue;
  const std::string text = child->Text();
  int64_t v;
  if (!ParseInteger(text, 32, v)) RaiseError(Format(kMsgNotInteger, text.c_str()));
  return static_cast<int32_t>(v);
}

std::string TXmlNode::ReadString(std::string_view name, std::string_view defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  return child != nullptr ? child->Text() : std::string(defaultValue);
}

std::u16string TXmlNode::ReadWideString(std::string_view name,
                                        std::u16string_view defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  return child != nullptr ? child->TextW() : std::u16string(defaultValue);
}

void TXmlNode::WriteInteger(std::string_view name, int64_t value, int64_t defaultValue) {
  if (Settings().WriteDefaults || value != defaultValue) {
    FindOrAddChild(name)->SetValueAsInteger(value);
  }
}

void TXmlNode::WriteFloat(std::string_view name, double value, double defaultValue) {
  if (Settings().WriteDefaults || value != defaultValue) FindOrAddChild(name)->SetValueAsFloat(value);
}

void TXmlNode::WriteBool(std::string_view name, bool value, bool defaultValue) {
  if (Settings().WriteDefaults || value != defaultValue) FindOrAddChild(name)->SetValueAsBool(value);
}

void TXmlNode::WriteHex(std::string_view name, uint32_t value, uint32_t defaultValue, int digits) {
  if (!Settings().WriteDefaults && value == defaultValue) return;
  FindOrAddChild(name)->SetText(Format("$%.*X", std::clamp(digits, 1, 8), value));
}

void TXmlNode::WriteColor(std::string_view name, int32_t color, int32_t defaultValue) {
  if (!Settings().WriteDefaults && color == defaultValue) return;
  FindOrAddChild(name)->SetText(Format("$%.8X", static_cast<uint32_t>(ColorToRGB(color))));
}

void TXmlNode::WriteString(std::string_view name, std::string_view value,
                           std::string_view defaultValue) {
  if (Settings().WriteDefaults || value != defaultValue) FindOrAddChild(name)->SetText(value);
}

void TXmlNode::WriteWideString(std::string_view name, std::u16string_view value,
                               std::u16string_view defaultValue) {
  if (Settings().WriteDefaults || value != defaultValue) FindOrAddChild(name)->SetTextW(value);
}

int32_t TXmlNode::ValueAsInteger(int32_t defaultValue) const {
  int64_t v;
  return ParseInteger(rawValue_, 32, v) ? static_cast<int32_t>(v) : defaultValue;
}

int64_t TXmlNode::ValueAsInt64(int64_t defaultValue) const {
  int64_t v;
  return ParseInteger(rawValue_, 64, v) ? v : defaultValue;
}

double TXmlNode::ValueAsFloat(double defaultValue) const {
  double v;
  return ParseFloat(rawValue_, v) ? v : defaultValue;
}

bool TXmlNode::ValueAsBool(bool defaultValue) const {
  bool v;
  return ParseBoolText(rawValue_, v) ? v : defaultValue;
}

void TXmlNode::SetValueAsInteger(int64_t value) { rawValue_ = std::to_string(value); }

void TXmlNode::SetValueAsFloat(double value) { rawValue_ = XmlFloatToStr(value); }

void TXmlNode::SetValueAsBool(bool value) { rawValue_ = value ? "True" : "False"; }

// ---- byte data ----

namespace {

void WriteBinaryValue(TXmlNode& node, const void* buffer, int64_t count, TXmlBinaryForm form) {
  if (count <= 0 || buffer == nullptr) {
    node.SetRawValue(std::string());
    return;
  }
  const std::string encoded =
      EncodeBytes(static_cast<const uint8_t*>(buffer), static_cast<size_t>(count), form);
  const TXmlSettings& s = node.Settings();
  if (s.Layout != TXmlLayout::Readable) {
    node.SetRawValue(encoded);
    return;
  }
  std::string separator = kCrLf;
  AppendIndent(separator, s, node.Level());
  std::string raw;
  raw.reserve(encoded.size() + (encoded.size() / kBinaryLineLength + 2) * separator.size());
  for (size_t i = 0; i < encoded.size(); i += kBinaryLineLength) {
    raw += separator;
    raw.append(encoded, i, kBinaryLineLength);
  }
  raw += separator;
  node.SetRawValue(std::move(raw));
}

void ReadBinaryValue(const TXmlNode& node, void* buffer, int64_t count, TXmlBinaryForm form) {
  if (count <= 0) return;
  const std::string text = StripBlanks(node.RawValue());
  if (EncodedLength(text, form) < count) RaiseFilerError(kMsgMissingData);
  DecodeBytes(text, form, static_cast<uint8_t*>(buffer), static_cast<size_t>(count));
}

}  // namespace

void TXmlNode::WriteBinary(const void* buffer, int64_t count) {
  WriteBinaryValue(*this, buffer, count, Settings().BinaryForm);
}

int64_t TXmlNode::BinaryLength() const {
  return EncodedLength(StripBlanks(rawValue_), Settings().BinaryForm);
}

void TXmlNode::ReadBinary(void* buffer, int64_t count) const {
  ReadBinaryValue(*this, buffer, count, Settings().BinaryForm);
}

std::string TXmlNode::BinaryString() const {
  const std::string text = StripBlanks(rawValue_);
  const int64_t length = EncodedLength(text, TXmlBinaryForm::Base64);
  std::string bytes(static_cast<size_t>(length), '\0');
  if (length > 0) {
    DecodeBytes(text, TXmlBinaryForm::Base64, reinterpret_cast<uint8_t*>(bytes.data()),
                static_cast<size_t>(length));
  }
  return bytes;
}

void TXmlNode::SetBinaryString(std::string_view bytes) {
  WriteBinaryValue(*this, bytes.data(), static_cast<int64_t>(bytes.size()), TXmlBinaryForm::Base64);
}

std::string TXmlNode::Base64() const { return StripBlanks(rawValue_); }

// ---- a node alone ----

std::string TXmlNode::WriteToString() const {
  std::string out;
  TXmlWriter(Settings(), out).Write(*this, Level());
  return out;
}

void TXmlNode::ReadFromString(std::string_view text) {
  Clear();
  kind_ = TXmlNodeKind::Element;
  const std::string copy(text);
  TXmlParser parser(document_, copy, Settings().DropComments);
  parser.ParseNode(this);
}

void TXmlNode::SaveToStream(TStream& stream) const {
  const std::string text = WriteToString();
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TXmlNode::LoadFromStream(TStream& stream) {
  std::string text;
  char buffer[65536];
  while (true) {
    const int64_t got = stream.Read(buffer, sizeof(buffer));
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ReadFromString(text);
}

// ---- TNativeXml ----

TNativeXml::TNativeXml() : settings_(XmlDefaults()), topNodes_(this) { Reset(); }

TNativeXml::TNativeXml(std::string_view rootName) : TNativeXml() { Root()->SetName(rootName); }

TNativeXml::~TNativeXml() = default;

TXmlNode* TNativeXml::Root() const {
  for (TXmlNode* node : topNodes_.children_) {
    if (node->kind_ == TXmlNodeKind::Element) return node;
  }
  return nullptr;
}

TXmlNode* TNativeXml::Declaration() const {
  for (TXmlNode* node : topNodes_.children_) {
    if (node->kind_ == TXmlNodeKind::Declaration) return node;
  }
  return nullptr;
}

void TNativeXml::Reset() {
  settings_ = XmlDefaults();
  topNodes_.Clear();
  auto* declaration = new TXmlNode(this, TXmlNodeKind::Declaration);
  declaration->name_ = "xml";
  declaration->AddAttribute("version", settings_.VersionText);
  declaration->AddAttribute("encoding", settings_.EncodingText);
  topNodes_.AddChild(declaration);
  topNodes_.AddChild(new TXmlNode(this, TXmlNodeKind::Element));
}

void TNativeXml::Assign(const TNativeXml& source) {
  if (&source == this) return;
  settings_ = source.settings_;
  topNodes_.Assign(source.topNodes_);
}

void TNativeXml::LoadFromStream(TStream& stream) {
  const bool utf8 = settings_.Utf8Strings;
  TsdBufferedReadStream pages(&stream);
  TsdCodecStream codec(&pages, TsdCodecMode::Read, utf8);
  std::string text;
  codec.ReadAll(text);

  topNodes_.ClearChildren();
  TXmlParser parser(this, text, settings_.DropComments);
  bool declaredUtf8 = false;
  while (!parser.AtEnd()) {
    auto* node = new TXmlNode(this);
    topNodes_.AddChild(node);
    parser.ParseNode(node);
    if (node->kind_ == TXmlNodeKind::Declaration && node->AttributeValue("encoding") == "UTF-8") {
      declaredUtf8 = true;
      codec.SwitchToUtf8(text, parser.Position());
    }
    if (node->IsBlank()) topNodes_.DeleteChild(topNodes_.ChildCount() - 1);
  }

  int elements = 0;
  int declarations = 0;
  int docTypes = 0;
  bool cdata = false;
  bool docTypeAfterRoot = false;
  int declarationIndex = -1;
  for (int i = 0; i < topNodes_.ChildCount(); ++i) {
    const TXmlNodeKind kind = topNodes_.Child(i)->kind_;
    if (kind == TXmlNodeKind::Element) ++elements;
    if (kind == TXmlNodeKind::Declaration) {
      ++declarations;
      declarationIndex = i;
    }
    if (kind == TXmlNodeKind::DocType) {
      ++docTypes;
      if (elements > 0) docTypeAfterRoot = true;
    }
    if (kind == TXmlNodeKind::CData) cdata = true;
  }
  if (elements == 0) RaiseFilerError(kMsgNoRoot);
  if (settings_.StrictChecks) {
    if (elements > 1) RaiseFilerError(kMsgTwoRoots);
    if (declarations > 1) RaiseFilerError(kMsgTwoDeclarations);
    if (declarations == 1 && declarationIndex != 0) RaiseFilerError(kMsgDeclarationFirst);
    if (docTypes > 1) RaiseFilerError(kMsgTwoDocTypes);
    if (docTypeAfterRoot) RaiseFilerError(kMsgDocTypeAfterRoot);
    if (cdata) RaiseFilerError(kMsgCDataInRoot);
  }
  settings_.FileEncoding = codec.Encoding();
  if (codec.Encoding() == TsdStringEncoding::seUTF8 || declaredUtf8) settings_.Utf8Strings = true;
}

void TNativeXml::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  LoadFromStream(file);
}

void TNativeXml::LoadFromString(std::string_view text) {
  TReadOnlyMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  LoadFromStream(stream);
}

std::string TNativeXml::SaveToString() const {
  if (settings_.StrictChecks && Root() == nullptr) RaiseFilerError(kMsgNoRootDefined);
  std::string out;
  TXmlWriter writer(settings_, out);
  const char* lineBreak = settings_.Layout == TXmlLayout::Readable ? kCrLf : "\n";
  for (const TXmlNode* node : topNodes_.children_) {
    writer.Write(*node, 0);
    out += lineBreak;
  }
  return out;
}

void TNativeXml::SaveToStream(TStream& stream) const {
  const std::string text = SaveToString();
  TsdBufferedWriteStream buffer(&stream);
  TsdCodecStream codec(&buffer, TsdCodecMode::Write, settings_.Utf8Strings);
  codec.SetEncoding(settings_.FileEncoding);
  codec.WriteText(text);
  buffer.Flush();
}

void TNativeXml::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, TFileMode::fmCreate);
  SaveToStream(file);
}

}  // namespace sw
