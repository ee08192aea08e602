// Runs the built stickwell-cli from a test and captures what it prints. Each test program runs
// its tests in parallel processes, so the capture files are named after the process.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/stream.h"

namespace sw::test {

struct TCliRun {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// arguments is passed to the shell as it stands, so quote paths (ShellQuote).
inline TCliRun RunCli(const std::string& arguments) {
  const std::string base = TempFolder() + "/cli_run_" + std::to_string(::getpid());
  const std::string outFile = base + ".out", errFile = base + ".err";
  const std::string command = std::string("'") + STICKWELL_CLI + "' " + arguments + " >'" +
                              outFile + "' 2>'" + errFile + "' </dev/null";
  TCliRun run;
  const int raw = std::system(command.c_str());
  run.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  auto slurp = [](const std::string& path) {
    if (!FileExists(path)) return std::string();
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::remove(path.c_str());
    return std::string(bytes.begin(), bytes.end());
  };
  run.out = slurp(outFile);
  run.err = slurp(errFile);
  return run;
}

// Single-quotes a word for the shell.
inline std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace sw::test
