#include "storage/xml/xml_node.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/exception.h"
#include "base/strings.h"
#include "base/system_colors.h"
#include "storage/xml/xml_text_p.h"

namespace sw {

namespace {

const char kMsgIllegalName[] = "Illegal character in node name %s";
const char kMsgStreamLength[] = "Error while calculating streamlength";
const char kMsgMissingData[] = "Missing data in binary stream";
const char kMsgNotInteger[] = "%s is not a valid integer value";

constexpr size_t kBinaryLineLength = 76;

// Integer text: optional sign, then decimal digits or "$" and hexadecimal digits. Hexadecimal
// values wrap into the signed range of their width ($FFFFFFFF is -1 for 32 bits).
bool ParseInteger(std::string_view text, int bits, int64_t& result) {
  text = XmlTrim(text);
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
  std::string text(XmlTrim(raw));
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
    if (!IsXmlBlank(c)) out.push_back(c);
  }
  return out;
}

// The encoded characters of a binary value are its characters other than blanks (the value is
// written in lines); they are read where they stand, never copied.
class TEncodedReader {
public:
  explicit TEncodedReader(std::string_view text) : p_(text.data()) {}
  // The next encoded character; only called while encoded characters remain.
  uint8_t Next() {
    while (IsXmlBlank(*p_)) ++p_;
    return static_cast<uint8_t>(*p_++);
  }

private:
  const char* p_;
};

int64_t EncodedLength(std::string_view text, TXmlBinaryForm form) {
  int64_t n = 0;
  char last = 0, beforeLast = 0;
  for (const char c : text) {
    if (IsXmlBlank(c)) continue;
    ++n;
    beforeLast = last;
    last = c;
  }
  if (form == TXmlBinaryForm::Hex) {
    if (n % 2 != 0) RaiseFilerError(kMsgStreamLength);
    return n / 2;
  }
  if (n % 4 != 0) RaiseFilerError(kMsgStreamLength);
  int64_t length = n / 4 * 3;
  if (n > 0 && last == '=') --length;
  if (n > 1 && beforeLast == '=') --length;
  return length;
}

// Decodes count bytes of text, which EncodedLength has found to hold at least that many.
void DecodeBytes(std::string_view text, TXmlBinaryForm form, uint8_t* out, size_t count) {
  TEncodedReader in(text);
  if (form == TXmlBinaryForm::Hex) {
    for (size_t i = 0; i < count; ++i) {
      const int hi = HexValue(static_cast<char>(in.Next()));
      out[i] = static_cast<uint8_t>(hi << 4 | HexValue(static_cast<char>(in.Next())));
    }
    return;
  }
  const auto& value = kBase64Table.value;
  size_t o = 0;
  while (o < count) {
    uint32_t v = uint32_t{value[in.Next()]} << 18;
    v |= uint32_t{value[in.Next()]} << 12;
    v |= uint32_t{value[in.Next()]} << 6;
    v |= value[in.Next()];
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

TdtpColor ResolvedColor(TdtpColor color) {
  const auto c = static_cast<uint32_t>(color.Value);
  if ((c >> 24) != 0xFF) return color;
  return ColorOf(static_cast<int32_t>(SystemColorRGB(c & 0xFF)));
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
  // The point and the digits must not follow the process locale (a window toolkit may set one).
  char buffer[48];
  const auto written = std::to_chars(buffer, buffer + sizeof(buffer) - 1, value, std::chars_format::scientific, 14);
  *written.ptr = '\0';
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
    if (IsXmlBlank(c)) RaiseError(Format(kMsgIllegalName, QuoteForMessage(name).c_str()));
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

TdtpColor TXmlNode::ReadColor(std::string_view name, TdtpColor defaultValue) const {
  const TXmlNode* child = FindChildConst(name);
  if (child == nullptr) return defaultValue;
  const std::string text = child->Text();
  int64_t v;
  if (!ParseInteger(text, 32, v)) RaiseError(Format(kMsgNotInteger, QuoteForMessage(text).c_str()));
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

void TXmlNode::WriteColor(std::string_view name, TdtpColor color, TdtpColor defaultValue) {
  if (!Settings().WriteDefaults && color == defaultValue) return;
  FindOrAddChild(name)->SetText(Format("$%.8X", static_cast<uint32_t>(ResolvedColor(color).Value)));
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
  std::string encoded = EncodeBytes(static_cast<const uint8_t*>(buffer), static_cast<size_t>(count), form);
  const TXmlSettings& s = node.Settings();
  if (s.Layout != TXmlLayout::Readable) {
    node.SetRawValue(std::move(encoded));
    return;
  }
  std::string separator = kXmlCrLf;
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
  const std::string_view text = node.RawValue();
  if (EncodedLength(text, form) < count) RaiseFilerError(kMsgMissingData);
  DecodeBytes(text, form, static_cast<uint8_t*>(buffer), static_cast<size_t>(count));
}

}  // namespace

void TXmlNode::WriteBinary(const void* buffer, int64_t count) {
  WriteBinaryValue(*this, buffer, count, Settings().BinaryForm);
}

int64_t TXmlNode::BinaryLength() const {
  return EncodedLength(rawValue_, Settings().BinaryForm);
}

void TXmlNode::ReadBinary(void* buffer, int64_t count) const {
  ReadBinaryValue(*this, buffer, count, Settings().BinaryForm);
}

std::string TXmlNode::BinaryString() const {
  const std::string_view text = rawValue_;
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

}  // namespace sw
