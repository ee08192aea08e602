// stickwell-cli xml: parses a file with the program's XML settings and writes it back.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include "base/stream.h"
#include "support/cli_runner.h"

namespace {

using TRun = sw::test::TCliRun;

TRun RunCli(const std::string& arguments) { return sw::test::RunCli("xml " + arguments); }

std::string WriteTemp(const std::string& name, const std::string& text) {
  const std::string path = sw::TempFolder() + "/" + std::to_string(::getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

const char kSource[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Page>\n"
    "  <ClassName>TdtpPage</ClassName>\n"
    "  <Shapes>\n"
    "    <Shape Kind=\"1\"><DocLeft>10</DocLeft><Empty/></Shape>\n"
    "  </Shapes>\n"
    "</Page>\n";

TEST(CliXml, ReadableAndCompact) {
  const std::string file = WriteTemp("cli_xml_source.xml", kSource);
  const TRun readable = RunCli(file + " --readable");
  EXPECT_EQ(readable.status, 0) << readable.err;
  EXPECT_EQ(readable.out,
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<Page>\r\n"
            "  <ClassName>TdtpPage</ClassName>\r\n"
            "  <Shapes>\r\n"
            "    <Shape Kind=\"1\">\r\n"
            "      <DocLeft>10</DocLeft>\r\n"
            "      <Empty/>\r\n"
            "    </Shape>\r\n"
            "  </Shapes>\r\n"
            "</Page>\r\n");
  const TRun compact = RunCli(file + " --compact");
  EXPECT_EQ(compact.status, 0) << compact.err;
  EXPECT_EQ(compact.out,
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Page><ClassName>TdtpPage</ClassName><Shapes><Shape Kind=\"1\"><DocLeft>10</DocLeft>"
            "<Empty/></Shape></Shapes></Page>\n");
  // Without an option the program's default layout (compact) is used.
  EXPECT_EQ(RunCli(file).out, compact.out);
  // Its own output parses back to the same bytes.
  const std::string again = WriteTemp("cli_xml_again.xml", readable.out);
  EXPECT_EQ(RunCli(again + " --readable").out, readable.out);
  std::remove(file.c_str());
  std::remove(again.c_str());
}

TEST(CliXml, ErrorsGoToStandardError) {
  const std::string bad = WriteTemp("cli_xml_bad.xml", "<a><b></a>");
  const TRun broken = RunCli(bad);
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.out, "");
  EXPECT_EQ(broken.err, "Incorrect close tag in element b\n");
  std::remove(bad.c_str());

  const TRun missing = RunCli(sw::TempFolder() + "/cli_xml_does_not_exist.xml");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Cannot open file"), std::string::npos);

  EXPECT_EQ(RunCli("").status, 1);
  EXPECT_EQ(RunCli("a.xml --fancy").status, 1);
  EXPECT_EQ(RunCli("a.xml --readable --compact").status, 1);
}

}  // namespace
