#include "magnet/param_list.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "base/exception.h"

namespace sw {
namespace {

using TItems = std::vector<std::string>;

TEST(ParamList, ReadsQuotedAndUnquotedItems) {
  EXPECT_EQ(TParamList("a=1,b=2").Items(), (TItems{"a=1", "b=2"}));
  // An unquoted item ends at a space; quotes keep spaces and commas, "" is one quote.
  EXPECT_EQ(TParamList("template version=1").Items(), (TItems{"template", "version=1"}));
  EXPECT_EQ(TParamList(R"("a b=1,2","say ""hi""",c)").Items(), (TItems{"a b=1,2", R"(say "hi")", "c"}));
  // Blanks around items and after commas are skipped; a trailing comma adds an empty item.
  EXPECT_EQ(TParamList("  x=1 ,\t y=2,").Items(), (TItems{"x=1", "y=2", ""}));
  EXPECT_EQ(TParamList(",,a").Items(), (TItems{"", "", "a"}));
  // A quote that is never closed runs to the end; text after a closing quote is a new item.
  EXPECT_EQ(TParamList(R"("open, item)").Items(), (TItems{"open, item"}));
  EXPECT_EQ(TParamList(R"("a"b,c)").Items(), (TItems{"a", "b", "c"}));
  // Line breaks survive inside quotes only.
  EXPECT_EQ(TParamList("\"a\r\nb\",c\nd").Items(), (TItems{"a\r\nb", "c", "d"}));
  EXPECT_EQ(TParamList(std::string("a,b\0,c", 6)).Items(), (TItems{"a", "b"}));
  EXPECT_EQ(TParamList("").Count(), 0);
  EXPECT_EQ(TParamList("   ").Count(), 0);
}

TEST(ParamList, WritesAndReadsBackEveryItem) {
  TParamList list;
  for (const char* item : {"plain=1", "with space=2", "comma,inside", "quote\"inside", "tab\there", "",
                           "line\nbreak", "=", "caf\xC3\xA9=1"}) {
    list.Add(item);
  }
  const std::string text = list.CommaText();
  EXPECT_EQ(text, "plain=1,\"with space=2\",\"comma,inside\",\"quote\"\"inside\",\"tab\there\",,"
                  "\"line\nbreak\",=,caf\xC3\xA9=1");
  EXPECT_EQ(TParamList(text).Items(), list.Items());
  TParamList single;
  single.Add("");
  EXPECT_EQ(single.CommaText(), "\"\"");
  EXPECT_EQ(TParamList(single.CommaText()).Items(), (TItems{""}));
}

TEST(ParamList, ValuesByNameIgnoreCase) {
  const TParamList list(R"("Template Name=A=B",portrait=0,portrait=-1,novalue)");
  EXPECT_EQ(list.Value("template name"), "A=B");
  EXPECT_EQ(list.Value("PORTRAIT"), "0");  // the first item of a name counts
  EXPECT_EQ(list.Value("novalue"), "");
  EXPECT_EQ(list.IndexOfName("novalue"), -1);
  EXPECT_EQ(list.Value("missing"), "");
}

TEST(ParamList, DecimalsInTheGeneralForm) {
  EXPECT_EQ(FormatDecimal(2.5), "2.5");
  EXPECT_EQ(FormatDecimal(15.0), "15");
  EXPECT_EQ(FormatDecimal(-0.5), "-0.5");
  EXPECT_EQ(FormatDecimal(0.0), "0");
  EXPECT_EQ(FormatDecimal(-0.0), "0");
  EXPECT_EQ(FormatDecimal(0.1), "0.1");
  EXPECT_EQ(FormatDecimal(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(FormatDecimal(0.0001), "0.0001");
  EXPECT_EQ(FormatDecimal(0.00001), "1E-5");
  EXPECT_EQ(FormatDecimal(123456789012345.0), "123456789012345");
  EXPECT_EQ(FormatDecimal(1e15), "1E15");
  EXPECT_EQ(FormatDecimal(-2.5e20), "-2.5E20");
  EXPECT_EQ(FormatDecimal(1e300 * 1e300), "0");
  // Single values take the fewest digits that read back as the same single.
  EXPECT_EQ(FormatDecimal(0.1f), "0.1");
  EXPECT_EQ(FormatDecimal(338.67f), "338.67");
  EXPECT_EQ(FormatDecimal(100.0f), "100");
  EXPECT_EQ(FormatDecimal(89.8f), "89.8");
  EXPECT_EQ(FormatDecimal(16777216.0f), "16777216");
  for (const float v : {0.1f, 1.0f / 3.0f, 338.67f, 3.4e38f, 1.2e-38f, -7.25f, 96.0f}) {
    EXPECT_EQ(static_cast<float>(ParseDecimal(FormatDecimal(v))), v) << FormatDecimal(v);
  }
}

TEST(ParamList, NumbersIgnoreTheProcessLocale) {
  // A locale with a decimal comma, when the machine has one; the text must not change.
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "nl_NL.UTF-8"}) {
    if (std::setlocale(LC_ALL, name)) {
      switched = true;
      break;
    }
  }
  EXPECT_EQ(FormatDecimal(2.5), "2.5");
  EXPECT_EQ(FormatDecimal(2.5f), "2.5");
  EXPECT_EQ(TryParseDecimal("2.5"), 2.5);
  EXPECT_EQ(TryParseDecimal("2,5"), 2.5);
  std::setlocale(LC_ALL, saved.c_str());
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma installed";
}

TEST(ParamList, YesNoValues) {
  EXPECT_EQ(FormatYesNo(true), "-1");
  EXPECT_EQ(FormatYesNo(false), "0");
  EXPECT_EQ(TryParseYesNo("-1"), true);
  EXPECT_EQ(TryParseYesNo("0"), false);
  EXPECT_EQ(TryParseYesNo("2.5"), true);
  EXPECT_EQ(TryParseYesNo("0,0"), false);
  EXPECT_EQ(TryParseYesNo("True"), true);
  EXPECT_EQ(TryParseYesNo("false"), false);
  EXPECT_FALSE(TryParseYesNo("yes").has_value());
  EXPECT_FALSE(TryParseYesNo("").has_value());
}

}  // namespace
}  // namespace sw
