// The application's parameter strings: name=value items in comma text, stored in the Name of the
// design page and of each layer. Numbers are written with "." whatever the locale and read with
// "." or ",", so that a design written on one machine reads on every other.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/strings.h"

namespace sw {

// An ordered list of strings, usually name=value items, with the comma-text form of the files.
class TParamList {
public:
  TParamList() = default;
  // The items of a comma text (see SetCommaText).
  explicit TParamList(std::string_view commaText) { SetCommaText(commaText); }

  // Items are separated by commas; an item starting with a double quote runs to the next single
  // double quote ("" stands for one) or to the end of the text; an unquoted item ends at a comma,
  // a space or a control character. Spaces around items are skipped; a comma at the very end
  // adds an empty item. Replaces the items.
  void SetCommaText(std::string_view text);
  // The items joined by commas; an item holding a space, a comma, a double quote or a control
  // character is quoted with inner double quotes doubled. A single empty item gives "".
  std::string CommaText() const;

  int Count() const { return static_cast<int>(items_.size()); }
  const std::vector<std::string>& Items() const { return items_; }
  void Clear() { items_.clear(); }
  void Add(std::string item) { items_.push_back(std::move(item)); }
  // Appends the item name=value.
  void AddValue(std::string_view name, std::string_view value);

  // The value of the first item whose name (the text before its first "=") equals name without
  // regard to case; empty when there is none.
  std::string Value(std::string_view name) const;
  // Index of that item; -1 when there is none.
  int IndexOfName(std::string_view name) const;

private:
  std::vector<std::string> items_;
};

// Shortest general form with at most 15 significant digits, "." as separator, exponents
// ("1E-5", "1E20") only below 0.0001 and from 1E15 on. Not-finite values write "0". TryParseDecimal
// (base/strings.h) reads them back.
std::string FormatDecimal(double value);
// The same form with the fewest digits that read back as the same single value (so 0.1f writes
// "0.1", not its double expansion).
std::string FormatDecimal(float value);

// "-1" for yes, "0" for no.
std::string FormatYesNo(bool value);
// A number (0 is no, any other yes) or the words True and False in any letter case; nothing for
// other text.
std::optional<bool> TryParseYesNo(std::string_view text);

}  // namespace sw
