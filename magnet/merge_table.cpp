#include "magnet/merge_table.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/exception.h"
#include "base/stream.h"
#include "base/strings.h"

namespace sw {

namespace {

// The length of the well-formed UTF-8 sequence at text[pos] (no overlong forms, surrogates or
// code points beyond U+10FFFF); 0 when there is none.
size_t Utf8SequenceLength(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) -> uint8_t { return i < text.size() ? static_cast<uint8_t>(text[i]) : 0; };
  const uint8_t b0 = byte(pos);
  if (b0 < 0x80) return 1;
  const auto continuation = [&](size_t i) { return (byte(i) & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 <= 0xDF) return continuation(pos + 1) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const uint8_t b1 = byte(pos + 1);
    if ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 > 0x9F)) return 0;
    return continuation(pos + 1) && continuation(pos + 2) ? 3 : 0;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    const uint8_t b1 = byte(pos + 1);
    if ((b0 == 0xF0 && b1 < 0x90) || (b0 == 0xF4 && b1 > 0x8F)) return 0;
    return continuation(pos + 1) && continuation(pos + 2) && continuation(pos + 3) ? 4 : 0;
  }
  return 0;
}

bool IsUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = Utf8SequenceLength(text, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

// The separator the header line uses: the first comma, semicolon or tab outside quotes on it.
char HeaderSeparator(std::string_view text) {
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ',' || c == ';' || c == '\t') return c;
    if (c == '\n' || c == '\r') break;
  }
  return ',';
}

class TReader {
public:
  TReader(std::string_view text, std::string name) : text_(text), name_(std::move(name)) {}

  void Read(std::vector<std::string>& columns, std::vector<std::vector<std::string>>& rows) {
    separator_ = HeaderSeparator(text_);
    std::vector<std::string> fields;
    int64_t fieldCount = 0;
    while (pos_ < text_.size()) {
      if (AtLineEnd()) {  // a blank line
        SkipLineEnd();
        continue;
      }
      recordLine_ = line_;
      ReadRecord(fields, columns);
      if (columns.empty()) {
        if (static_cast<int32_t>(fields.size()) > kMaxMergeColumns) {
          Fail(Format("more than %d columns", kMaxMergeColumns));
        }
        for (std::string& field : fields) field = Trim(field);
        for (size_t i = 0; i < fields.size(); ++i) {
          for (size_t j = 0; j < i; ++j) {
            if (!fields[i].empty() && fields[i] == fields[j]) {
              Fail(Format("the header names the column %s twice", QuoteForMessage(fields[i]).c_str()));
            }
          }
        }
        columns = std::move(fields);
      } else {
        if (fields.size() != columns.size()) {
          Fail(Format("%zu field%s where the header names %zu column%s", fields.size(), fields.size() == 1 ? "" : "s",
                      columns.size(), columns.size() == 1 ? "" : "s"));
        }
        fieldCount += static_cast<int64_t>(fields.size());
        if (static_cast<int32_t>(rows.size()) >= kMaxMergeRows || fieldCount > kMaxMergeFields) {
          Fail(Format("the table goes beyond %d rows or %lld fields", kMaxMergeRows,
                      static_cast<long long>(kMaxMergeFields)));
        }
        rows.push_back(std::move(fields));
      }
      fields.clear();
      ++row_;
    }
  }

private:
  bool AtLineEnd() const { return text_[pos_] == '\n' || text_[pos_] == '\r'; }
  void SkipLineEnd() {
    if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
    ++pos_;
    ++line_;
  }

  // The fields of the record starting at pos_, up to and past its line end.
  void ReadRecord(std::vector<std::string>& fields, const std::vector<std::string>& columns) {
    while (true) {
      if (!columns.empty() && fields.size() >= columns.size()) {
        Fail(Format("more fields than the %zu column%s the header names", columns.size(),
                    columns.size() == 1 ? "" : "s"));
      }
      if (fields.size() >= static_cast<size_t>(kMaxMergeColumns)) Fail(Format("more than %d fields", kMaxMergeColumns));
      std::string field;
      const size_t column = fields.size();
      if (pos_ < text_.size() && text_[pos_] == '"') {
        ++pos_;
        while (true) {
          const size_t quote = text_.find('"', pos_);
          if (quote == std::string_view::npos) {
            Fail(Format("the quoted field of %s is never closed", ColumnName(column, columns).c_str()));
          }
          for (size_t i = pos_; i < quote; ++i) {
            if (text_[i] == '\n' || (text_[i] == '\r' && (i + 1 >= quote || text_[i + 1] != '\n'))) ++line_;
          }
          field.append(text_.substr(pos_, quote - pos_));
          pos_ = quote + 1;
          if (pos_ < text_.size() && text_[pos_] == '"') {
            field.push_back('"');
            ++pos_;
            continue;
          }
          break;
        }
        if (pos_ < text_.size() && text_[pos_] != separator_ && !AtLineEnd()) {
          Fail(Format("text follows the closing quote of %s", ColumnName(column, columns).c_str()));
        }
      } else {
        const size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != separator_ && !AtLineEnd()) ++pos_;
        field.assign(text_.substr(start, pos_ - start));
      }
      if (!IsUtf8(field)) Fail(Format("%s is not UTF-8 text", ColumnName(column, columns).c_str()));
      fields.push_back(std::move(field));
      if (pos_ < text_.size() && text_[pos_] == separator_) {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size()) SkipLineEnd();
      return;
    }
  }

  std::string ColumnName(size_t column, const std::vector<std::string>& columns) const {
    if (column < columns.size() && !columns[column].empty()) {
      return "column " + QuoteForMessage(columns[column]);
    }
    return Format("column %zu", column + 1);
  }

  [[noreturn]] void Fail(const std::string& what) const {
    RaiseError(Format("%s, row %d (line %d): %s", name_.c_str(), row_, recordLine_, what.c_str()));
  }

  std::string_view text_;
  std::string name_;
  char separator_ = ',';
  size_t pos_ = 0;
  int32_t line_ = 1;
  int32_t recordLine_ = 1;
  int32_t row_ = 0;
};

// Calls field(name) for every field of text and text(piece) for everything between them, "$$"
// already made one "$".
template <typename FieldFn, typename TextFn>
void ScanFields(std::string_view text, FieldFn&& field, TextFn&& plain) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t dollar = text.find('$', pos);
    if (dollar == std::string_view::npos || dollar + 1 >= text.size()) {
      plain(text.substr(pos));
      return;
    }
    plain(text.substr(pos, dollar - pos));
    const char next = text[dollar + 1];
    if (next == '$') {
      plain("$");
      pos = dollar + 2;
    } else if (next == '{') {
      const size_t close = text.find_first_of("}\r\n", dollar + 2);
      if (close == std::string_view::npos || text[close] != '}') {
        RaiseError("The message's field " + QuoteForMessage(text.substr(dollar, 24)) + " has no closing \"}\"");
      }
      field(Trim(text.substr(dollar + 2, close - dollar - 2)));
      pos = close + 1;
    } else {
      plain("$");
      pos = dollar + 1;
    }
  }
}

[[noreturn]] void RaiseUnknownField(const std::string& name, const TMergeTable& table) {
  const std::string file = table.FileName().empty() ? "the merge file" : QuoteForMessage(table.FileName(), 120);
  RaiseError("The message's field ${" + name + "} names no column of " + file);
}

}  // namespace

TMergeTable TMergeTable::Parse(std::string_view text, const std::string& name) {
  if (static_cast<int64_t>(text.size()) > kMaxMergeFileBytes) {
    RaiseError(Format("%s is larger than the %lld MiB a merge file may be", name.c_str(),
                      static_cast<long long>(kMaxMergeFileBytes >> 20)));
  }
  if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
    RaiseError(name + " is UTF-16 text; save it as UTF-8");
  }
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
    int32_t line = 1;
    for (size_t i = 0; i < nul; ++i) line += text[i] == '\n' ? 1 : 0;
    RaiseError(Format("%s is not a text file (a NUL byte on line %d)", name.c_str(), line));
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  TMergeTable table;
  TReader(text, name).Read(table.columns_, table.rows_);
  if (table.columns_.empty()) RaiseError(name + " is empty: its first line names the columns");
  return table;
}

TMergeTable TMergeTable::Load(const std::string& fileName) {
  const std::string quoted = QuoteForMessage(fileName, 120);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(fileName, error);
  if (error) RaiseError("Cannot read the merge file " + quoted + ": " + error.message());
  if (size > static_cast<std::uintmax_t>(kMaxMergeFileBytes)) {
    RaiseError(Format("The merge file %s is larger than the %lld MiB a merge file may be", quoted.c_str(),
                      static_cast<long long>(kMaxMergeFileBytes >> 20)));
  }
  const std::vector<uint8_t> bytes = ReadFileBytes(fileName);
  TMergeTable table =
      Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "The merge file " + quoted);
  table.fileName_ = fileName;
  return table;
}

int32_t TMergeTable::ColumnIndex(std::string_view name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (!name.empty() && columns_[i] == name) return static_cast<int32_t>(i);
  }
  return -1;
}

std::string TMergeTable::BaseFolder() const {
  return std::filesystem::path(fileName_).parent_path().string();
}

std::string TMergeTable::ResolvePath(const std::string& path) const {
  const std::filesystem::path p(path);
  if (p.is_absolute() || BaseFolder().empty()) return path;
  return (std::filesystem::path(BaseFolder()) / p).string();
}

std::vector<std::string> MessageFields(std::string_view text) {
  std::vector<std::string> names;
  ScanFields(
      text,
      [&](std::string name) {
        for (const std::string& known : names) {
          if (known == name) return;
        }
        names.push_back(std::move(name));
      },
      [](std::string_view) {});
  return names;
}

void CheckMessageFields(std::string_view text, const TMergeTable& table) {
  for (const std::string& name : MessageFields(text)) {
    if (table.ColumnIndex(name) < 0) RaiseUnknownField(name, table);
  }
}

namespace {

// text with every field replaced by the row's value of its column, and by unknown(name) for a
// field the table lacks.
template <typename UnknownFn>
std::string Filled(std::string_view text, const TMergeTable& table, int32_t row, UnknownFn&& unknown) {
  std::string out;
  const std::vector<std::string>& values = table.Row(row);
  ScanFields(
      text,
      [&](const std::string& name) {
        const int32_t column = table.ColumnIndex(name);
        out += column < 0 ? unknown(name) : values[static_cast<size_t>(column)];
      },
      [&](std::string_view piece) { out += piece; });
  return out;
}

}  // namespace

std::string FillMessageFields(std::string_view text, const TMergeTable& table, int32_t row) {
  return Filled(text, table, row, [&](const std::string& name) -> std::string { RaiseUnknownField(name, table); });
}

std::string ShowMessageFields(std::string_view text, const TMergeTable& table, int32_t row) {
  try {
    return Filled(text, table, row, [](const std::string& name) { return "${" + name + "}"; });
  } catch (const Exception&) {
    return std::string(text);
  }
}

TMergeTable TMergeTable::Head(int32_t rows) const {
  TMergeTable head;
  head.fileName_ = fileName_;
  head.columns_ = columns_;
  const auto count = static_cast<size_t>(std::clamp(rows, 0, RowCount()));
  head.rows_.assign(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(count));
  return head;
}

}  // namespace sw
