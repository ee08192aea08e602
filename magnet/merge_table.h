// The merge source of a set of magnets: a comma-separated table whose header row names the
// columns and whose every further row fills the fields of one copy, and the fields themselves,
// ${Column} in the message text. The reader is our own: quoted fields with separators, doubled
// quotes and line breaks inside, UTF-8 with or without a byte-order mark, and "," ";" or tab as
// separator, whichever comes first outside quotes on the header line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sw {

// Limits that keep a stray file from taking the machine: bytes of the file, columns, data rows
// and fields of all rows together.
constexpr int64_t kMaxMergeFileBytes = 16 << 20;
constexpr int32_t kMaxMergeColumns = 512;
constexpr int32_t kMaxMergeRows = 100000;
constexpr int64_t kMaxMergeFields = 2000000;

class TMergeTable {
public:
  TMergeTable() = default;
  // Reads the table from text; name stands for the file in messages. Raises, naming the row (the
  // header is row 0, the first record row 1), its line and, where there is one, the column, for
  // text that is not UTF-8 or holds a NUL byte, a quoted field left open or followed by other
  // text, a row of more or fewer fields than the header names, a header naming a column twice,
  // and tables beyond the limits. Blank lines are skipped; a file of only a header has no rows.
  static TMergeTable Parse(std::string_view text, const std::string& name = "the merge file");
  // Reads the file; refuses a file over kMaxMergeFileBytes before reading it.
  static TMergeTable Load(const std::string& fileName);

  const std::vector<std::string>& Columns() const { return columns_; }
  // The column's index (names compare exactly, after the spaces around a header name went); -1
  // when the header has no such column.
  int32_t ColumnIndex(std::string_view name) const;
  int32_t RowCount() const { return static_cast<int32_t>(rows_.size()); }
  // The fields of the row, 0 .. RowCount - 1, one per column.
  const std::vector<std::string>& Row(int32_t index) const { return rows_.at(static_cast<size_t>(index)); }
  // The file it was loaded from; empty for a parsed text.
  const std::string& FileName() const { return fileName_; }
  // The folder a relative path in a field is taken from: the file's folder ("" for a parsed text
  // or a file in the working folder).
  std::string BaseFolder() const;
  // path as it names a file: itself when absolute, else in BaseFolder.
  std::string ResolvePath(const std::string& path) const;
  // The same table cut to its first rows (all of them when it has fewer).
  TMergeTable Head(int32_t rows) const;

private:
  std::string fileName_;
  std::vector<std::string> columns_;
  std::vector<std::vector<std::string>> rows_;
};

// The columns the fields of text name, each once, in the order they first appear. Raises for a
// "${" whose field is not closed on the same line. "$$" is a dollar sign, a "$" before anything
// else stays as it is.
std::vector<std::string> MessageFields(std::string_view text);
// Raises naming the first field of text whose column the table lacks.
void CheckMessageFields(std::string_view text, const TMergeTable& table);
// text with every field replaced by the row's value of its column and every "$$" by "$"; raises
// as CheckMessageFields for an unknown column.
std::string FillMessageFields(std::string_view text, const TMergeTable& table, int32_t row);
// text as the design shows it for the row while it is written: filled as FillMessageFields does,
// except that a field the table lacks stays as it is, and so does a text whose field is not closed.
std::string ShowMessageFields(std::string_view text, const TMergeTable& table, int32_t row);

}  // namespace sw
