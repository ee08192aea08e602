#include "magnet/param_list.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "base/strings.h"

namespace sw {

namespace {

// Spaces and control characters separate unquoted items and are skipped around items.
bool IsBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; }

bool NeedsQuotes(std::string_view item) {
  for (const char c : item) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',') return true;
  }
  return false;
}

std::string Quoted(std::string_view item) {
  std::string out = "\"";
  for (const char c : item) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

// A value's significant digits (no trailing zeros) and the decimal exponent of the first one.
struct TDecimalDigits {
  std::string Digits;
  int Exponent = 0;
};

// Splits to_chars' scientific text ("d.ddde-05") into digits and exponent.
TDecimalDigits SplitScientific(std::string_view text) {
  TDecimalDigits out;
  const size_t e = text.find('e');
  for (size_t i = 0; i < e; ++i) {
    if (text[i] >= '0' && text[i] <= '9') out.Digits += text[i];
  }
  while (out.Digits.size() > 1 && out.Digits.back() == '0') out.Digits.pop_back();
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), out.Exponent);
  return out;
}

// The general form: fixed from 1E-4 to below 1E15, else d.dddE[-]x without exponent padding.
std::string Layout(bool negative, const TDecimalDigits& d) {
  std::string out = negative ? "-" : "";
  const int x = d.Exponent;
  const std::string& digits = d.Digits;
  if (x < -4 || x >= 15) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(x);
  } else if (x < 0) {
    out += "0." + std::string(static_cast<size_t>(-x - 1), '0') + digits;
  } else {
    const size_t intDigits = static_cast<size_t>(x) + 1;
    if (digits.size() <= intDigits) {
      out += digits + std::string(intDigits - digits.size(), '0');
    } else {
      out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    }
  }
  return out;
}

}  // namespace

void TParamList::SetCommaText(std::string_view text) {
  items_.clear();
  // A NUL byte ends the text, as it ends the platform's strings.
  text = text.substr(0, text.find('\0'));
  size_t p = 0;
  const size_t n = text.size();
  auto skipBlanks = [&] {
    while (p < n && IsBlank(text[p])) ++p;
  };
  skipBlanks();
  while (p < n) {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += text[p++];
      }
    } else {
      const size_t start = p;
      while (p < n && !IsBlank(text[p]) && text[p] != ',') ++p;
      item.assign(text.substr(start, p - start));
    }
    items_.push_back(std::move(item));
    skipBlanks();
    if (p < n && text[p] == ',') {
      if (p + 1 == n) items_.emplace_back();
      ++p;
      skipBlanks();
    }
  }
}

std::string TParamList::CommaText() const {
  if (items_.size() == 1 && items_[0].empty()) return "\"\"";
  std::string out;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) out += ',';
    out += NeedsQuotes(items_[i]) ? Quoted(items_[i]) : items_[i];
  }
  return out;
}

void TParamList::AddValue(std::string_view name, std::string_view value) {
  std::string item(name);
  item += '=';
  item += value;
  items_.push_back(std::move(item));
}

int TParamList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const size_t eq = items_[i].find('=');
    if (eq != std::string::npos && SameText(std::string_view(items_[i]).substr(0, eq), name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string TParamList::Value(std::string_view name) const {
  const int i = IndexOfName(name);
  if (i < 0) return {};
  const std::string& item = items_[static_cast<size_t>(i)];
  return item.substr(item.find('=') + 1);
}

std::string FormatDecimal(double value) {
  if (!std::isfinite(value) || value == 0) return "0";
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
  return Layout(value < 0, SplitScientific(std::string_view(buf, static_cast<size_t>(r.ptr - buf))));
}

std::string FormatDecimal(float value) {
  if (!std::isfinite(value) || value == 0) return "0";
  const float magnitude = std::fabs(value);
  char buf[64];
  std::string_view text;
  // Nine significant digits always read back as the same single value.
  for (int precision = 0; precision <= 8; ++precision) {
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(magnitude),
                                 std::chars_format::scientific, precision);
    text = std::string_view(buf, static_cast<size_t>(r.ptr - buf));
    float back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back, std::chars_format::scientific);
    if (back == magnitude) break;
  }
  return Layout(value < 0, SplitScientific(text));
}

std::string FormatYesNo(bool value) { return value ? "-1" : "0"; }

std::optional<bool> TryParseYesNo(std::string_view text) {
  if (const std::optional<double> number = TryParseDecimal(text)) return *number != 0;
  if (SameText(text, "True")) return true;
  if (SameText(text, "False")) return false;
  return std::nullopt;
}

}  // namespace sw
