#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/stream.h"
#include "storage/container/storage.h"
#include "support/cli_runner.h"

namespace sw {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int status;
  std::string out;
};

// Runs the command-line tool; standard error follows standard output when mergeErrors is set.
TRun Cli(const std::string& args, bool mergeErrors = false) {
  const test::TCliRun run = test::RunCli(args);
  return TRun{run.status, mergeErrors ? run.out + run.err : run.out};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  m.SaveToFile(path);
}

class CliStorageTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = TempFolder() + "/sw_cli_storage_" + std::to_string(::getpid());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(CliStorageTest, PackListAndCatRoundTrip) {
  std::string binary("\0\r\n\xff\x1a", 5);
  for (int i = 0; i < 100000; ++i) binary.push_back(static_cast<char>(i * 7));
  WriteFile(Path("index.xml"), "<Index/>");
  WriteFile(Path("picture.bin"), binary);
  WriteFile(Path("empty"), "");

  const std::string out = Path("out.fmd");
  TRun run = Cli("storage pack '" + out + "' Index.xml='" + Path("index.xml") + "' TMP0000001.png='" +
                 Path("picture.bin") + "' Empty='" + Path("empty") + "'");
  ASSERT_EQ(run.status, 0);

  run = Cli("storage list '" + out + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Index.xml\t8\nTMP0000001.png\t100005\nEmpty\t0\n");

  run = Cli("storage cat '" + out + "' tmp0000001.PNG");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, binary);

  // The packed file is the compact form the storage itself writes.
  TsdStorage storage;
  storage.Open(out);
  TMemoryStream saved;
  storage.SaveToStream(saved);
  EXPECT_EQ(ReadFileBytes(out), saved.Bytes());
}

TEST_F(CliStorageTest, ErrorsExitWithStatusOne) {
  WriteFile(Path("text.txt"), "not a storage");
  WriteFile(Path("ok.fmd"), "");
  ASSERT_EQ(Cli("storage pack '" + Path("ok.fmd") + "'").status, 0);
  EXPECT_EQ(fs::file_size(Path("ok.fmd")), 73u);

  TRun run = Cli("storage list '" + Path("missing.fmd") + "'", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Cannot find file"), std::string::npos) << run.out;

  run = Cli("storage cat '" + Path("missing.fmd") + "' x", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Cannot find file"), std::string::npos) << run.out;

  run = Cli("storage cat '" + Path("ok.fmd") + "' Index.xml", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Stream \"Index.xml\" not found in the storage\n");

  run = Cli("storage list '" + Path("text.txt") + "'", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "File is not a storage file\n");

  run = Cli("storage pack '" + Path("bad.fmd") + "' NoEquals", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(fs::exists(Path("bad.fmd")));

  run = Cli("storage pack '" + Path("bad.fmd") + "' A='" + Path("nothing") + "'", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Cannot find file"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(Path("bad.fmd")));

  EXPECT_EQ(Cli("storage frobnicate").status, 1);
  EXPECT_EQ(Cli("storage list").status, 1);
}

// Output that cannot be written is an error with the system's reason, not a silent success.
TEST_F(CliStorageTest, FullOutputIsAnError) {
  WriteFile(Path("data"), std::string(100000, 'x'));
  ASSERT_EQ(Cli("storage pack '" + Path("s.fmd") + "' D='" + Path("data") + "'").status, 0);
  const std::string errFile = Path("err.txt");
  const std::string command = std::string("'") + STICKWELL_CLI + "' storage cat '" + Path("s.fmd") +
                              "' D >/dev/full 2>'" + errFile + "'";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  const std::vector<uint8_t> err = ReadFileBytes(errFile);
  EXPECT_EQ(std::string(err.begin(), err.end()),
            "Cannot write to standard output. " + std::string(std::strerror(ENOSPC)) + "\n");
}

}  // namespace
}  // namespace sw
