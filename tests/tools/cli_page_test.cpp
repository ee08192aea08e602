// stickwell-cli page: builds a page or shape from XML through the registry and writes it back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "base/stream.h"
#include "support/cli_runner.h"

namespace {

using TRun = sw::test::TCliRun;

TRun RunPage(const std::string& arguments) { return sw::test::RunCli("page " + arguments); }

std::string WriteTemp(const std::string& name, const std::string& text) {
  const std::string path = sw::TempFolder() + "/" + std::to_string(::getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

const char kBom[] = "\xEF\xBB\xBF";
const char kDecl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const char kAnchors[] =
    "<Anchors><default>True</default><LeftLock>True</LeftLock><TopLock>True</TopLock></Anchors>";

TEST(CliPage, PageInTheProgramsOwnForm) {
  const std::string file = WriteTemp(
      "cli_page.xml",
      "<?xml version=\"1.0\"?>\n<Page Index=\"2\">\n  <ClassName>TdtpPage</ClassName>\n"
      "  <DocWidth>100</DocWidth>\n"
      "  <Shape Index=\"1\"><ClassName>TdtpFancyShape</ClassName><DocLeft>0.1</DocLeft>"
      "<Name>a &amp; b</Name></Shape>\n"
      "</Page>\n");
  const TRun compact = RunPage(sw::test::ShellQuote(file));
  EXPECT_EQ(compact.status, 0) << compact.err;
  EXPECT_EQ(compact.out, std::string(kBom) + kDecl + "\n<Page Index=\"2\"><ClassName>TdtpPage</ClassName>" +
                             kAnchors +
                             "<DocWidth>100</DocWidth><Shape Index=\"1\"><ClassName>TdtpShape</ClassName>" +
                             kAnchors +
                             "<DocLeft>0.100000001490116</DocLeft><Name>a &amp; b</Name></Shape></Page>\n");
  const TRun readable = RunPage(sw::test::ShellQuote(file) + " --readable");
  EXPECT_EQ(readable.status, 0) << readable.err;
  EXPECT_NE(readable.out.find("\r\n  <ClassName>TdtpPage</ClassName>\r\n"), std::string::npos) << readable.out;

  // The written form reads back to itself.
  const std::string again = WriteTemp("cli_page_again.xml", compact.out);
  EXPECT_EQ(RunPage(sw::test::ShellQuote(again)).out, compact.out);
  std::remove(file.c_str());
  std::remove(again.c_str());
}

TEST(CliPage, ShapeRootsAndErrors) {
  const std::string shape = WriteTemp("cli_page_shape.xml", "<shape><MasterAlpha>128</MasterAlpha></shape>");
  const TRun run = RunPage(sw::test::ShellQuote(shape));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, std::string(kBom) + kDecl + "\n<shape><ClassName>TdtpShape</ClassName>" + kAnchors +
                         "<MasterAlpha>$80</MasterAlpha></shape>\n");

  const std::string wrong = WriteTemp("cli_page_wrong.xml", "<Document/>");
  const TRun refused = RunPage(sw::test::ShellQuote(wrong));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("\"Document\""), std::string::npos) << refused.err;

  std::string deep = "<Shape>";
  for (int i = 0; i < 300; ++i) deep += "<Shape>";
  for (int i = 0; i < 300; ++i) deep += "</Shape>";
  deep += "</Shape>";
  const std::string nested = WriteTemp("cli_page_nested.xml", deep);
  const TRun tooDeep = RunPage(sw::test::ShellQuote(nested));
  EXPECT_EQ(tooDeep.status, 1);
  EXPECT_NE(tooDeep.err.find("nested too deeply"), std::string::npos) << tooDeep.err;
  EXPECT_FALSE(tooDeep.out.empty()) << "what could be built is still written";

  const TRun missing = RunPage("/nonexistent/page.xml");
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(missing.err.empty());
  EXPECT_EQ(RunPage("").status, 1);
  for (const std::string& f : {shape, wrong, nested}) std::remove(f.c_str());
}

}  // namespace
