#include "magnet/merge_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exception.h"

namespace sw {
namespace {

using TRows = std::vector<std::vector<std::string>>;

TRows RowsOf(const TMergeTable& table) {
  TRows rows;
  for (int32_t i = 0; i < table.RowCount(); ++i) rows.push_back(table.Row(i));
  return rows;
}

std::string ErrorOf(std::string_view text) {
  try {
    TMergeTable::Parse(text, "t.csv");
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

TEST(MergeTable, ReadsTheCornersOfTheFormat) {
  struct TCase {
    const char* Text;
    std::vector<std::string> Columns;
    TRows Rows;
  };
  const TCase cases[] = {
      // Quotes keep separators, doubled quotes and line breaks; CRLF, LF and a missing last end.
      {"Name,Note\r\n\"Smith, Jo\",\"say \"\"hi\"\"\"\r\nAnn,\"two\nlines\"", {"Name", "Note"},
       {{"Smith, Jo", "say \"hi\""}, {"Ann", "two\nlines"}}},
      // The header's first separator outside quotes decides; the others are plain text then.
      {"\"a,b\";c\n1,5;2\n", {"a,b", "c"}, {{"1,5", "2"}}},
      {"a\tb\n x ;\t\"y\"\n", {"a", "b"}, {{" x ;", "y"}}},
      // A byte-order mark goes; blank lines are skipped; header names lose their spaces.
      {"\xEF\xBB\xBF Name \n\nJo\n\n", {"Name"}, {{"Jo"}}},
      // Empty fields, also a last one; a header alone has no rows.
      {"a,b,c\n,,\n", {"a", "b", "c"}, {{"", "", ""}}},
      {"a,b\n", {"a", "b"}, {}},
  };
  for (const TCase& c : cases) {
    const TMergeTable table = TMergeTable::Parse(c.Text);
    EXPECT_EQ(table.Columns(), c.Columns) << c.Text;
    EXPECT_EQ(RowsOf(table), c.Rows) << c.Text;
  }
}

TEST(MergeTable, BadInputNamesTheRowLineAndColumn) {
  const std::pair<std::string, std::string> cases[] = {
      {"a,b\n1,2\n3\n", "t.csv, row 2 (line 3): 1 field where the header names 2 columns"},
      {"a,b\n1,2,3\n", "t.csv, row 1 (line 2): more fields than the 2 columns the header names"},
      {"a,b\n\"x\ny\",2\n1,\"open\n", "t.csv, row 2 (line 4): the quoted field of column \"b\" is never closed"},
      {"a,b\n\"x\"y,2\n", "t.csv, row 1 (line 2): text follows the closing quote of column \"a\""},
      {"a,b\n1,\xC3(\n", "t.csv, row 1 (line 2): column \"b\" is not UTF-8 text"},
      {"a,b\n1,\xED\xA0\x80\n", "t.csv, row 1 (line 2): column \"b\" is not UTF-8 text"},
      {std::string("a\nx\0y\n", 6), "t.csv is not a text file (a NUL byte on line 2)"},
      {"\xFF\xFE" "a", "t.csv is UTF-16 text; save it as UTF-8"},
      {"x,y,x\n", "t.csv, row 0 (line 1): the header names the column \"x\" twice"},
      {"\n\n", "t.csv is empty: its first line names the columns"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(ErrorOf(text), message) << text;
  // Bounded: too many columns or a file over the limit are refused, not read.
  EXPECT_NE(ErrorOf(std::string(kMaxMergeColumns + 1, ',')).find("more than"), std::string::npos);
  EXPECT_NE(ErrorOf(std::string(static_cast<size_t>(kMaxMergeFileBytes) + 1, 'a')).find("larger than"),
            std::string::npos);
  std::string rows = "a\n";
  for (int32_t i = 0; i <= kMaxMergeRows; ++i) rows += "x\n";
  EXPECT_NE(ErrorOf(rows).find("beyond 100000 rows"), std::string::npos);
}

TEST(MergeTable, FillsTheMessageFields) {
  const TMergeTable table = TMergeTable::Parse("Name,Price\nJo,5\n");
  EXPECT_EQ(FillMessageFields("Hi ${Name}: $$${ Price }, $5 $", table, 0), "Hi Jo: $5, $5 $");
  EXPECT_EQ(MessageFields("${Price}${Name}${Price}"), (std::vector<std::string>{"Price", "Name"}));
  EXPECT_NO_THROW(CheckMessageFields("no fields, $$ only", table));
  EXPECT_THROW(CheckMessageFields("${Nmae}", table), Exception);
  try {
    FillMessageFields("${Nmae}", table, 0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "The message's field ${Nmae} names no column of the merge file");
  }
  EXPECT_THROW(MessageFields("${Name\n}"), Exception);
  EXPECT_THROW(MessageFields("tail ${Name"), Exception);
  // As the design shows it while it is written: nothing raises.
  EXPECT_EQ(ShowMessageFields("Hi ${Name} ${ Nmae }$$", table, 0), "Hi Jo ${Nmae}$");
  EXPECT_EQ(ShowMessageFields("Hi ${Name", table, 0), "Hi ${Name");
  EXPECT_EQ(table.Head(0).RowCount(), 0);
  EXPECT_EQ(TMergeTable::Parse("A\n1\n2\n").Head(1).Row(0), std::vector<std::string>{"1"});
}

}  // namespace
}  // namespace sw
