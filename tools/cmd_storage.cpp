// stickwell-cli storage: list, extract and pack the streams of a storage file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/container/storage.h"
#include "tools/commands.h"

namespace sw::cli {

namespace {

// Standard output failed (a full disk, a closed pipe): the system's reason goes with the error.
[[noreturn]] void RaiseOutputError() {
  RaiseStreamError(Format("Cannot write to standard output. %s", std::strerror(errno)));
}

// Opening a missing file gives an empty storage; on the command line that is a mistake.
void OpenExisting(TsdStorage& storage, const std::string& fileName) {
  if (!FileExists(fileName)) RaiseError(Format("Cannot find file \"%s\"", fileName.c_str()));
  storage.Open(fileName);
}

int List(const Args& args) {
  if (args.size() != 2) UsageError("storage list takes one FILE");
  TsdStorage storage;
  OpenExisting(storage, args[1]);
  const int count = storage.StreamCount();
  for (int i = 0; i < count; ++i) {
    std::printf("%s\t%lld\n", storage.StreamName(i).c_str(), static_cast<long long>(storage.StreamSize(i)));
  }
  if (std::fflush(stdout) != 0) RaiseOutputError();
  return 0;
}

int Cat(const Args& args) {
  if (args.size() != 3) UsageError("storage cat takes a FILE and a STREAM");
  TsdStorage storage;
  OpenExisting(storage, args[1]);
  TMemoryStream data;
  storage.ReadStream(args[2], data);
  const auto size = static_cast<size_t>(data.Size());
  if (size > 0 && std::fwrite(data.Memory(), 1, size, stdout) != size) RaiseOutputError();
  if (std::fflush(stdout) != 0) RaiseOutputError();
  return 0;
}

int Pack(const Args& args) {
  if (args.size() < 2) UsageError("storage pack takes OUT and NAME=PATH arguments");
  TsdStorage storage;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const size_t equals = arg.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == arg.size()) {
      UsageError("\"" + arg + "\" is not of the form NAME=PATH");
    }
    const std::string path = arg.substr(equals + 1);
    if (!FileExists(path)) RaiseError(Format("Cannot find file \"%s\"", path.c_str()));
    TFileStream file(path, TFileMode::fmOpenRead);
    storage.WriteStream(arg.substr(0, equals), file);
  }
  storage.SaveToFile(args[1]);
  return 0;
}

}  // namespace

int CmdStorage(const Args& args) {
  if (args.empty()) UsageError("storage needs list, cat or pack");
  const std::string& verb = args[0];
  if (verb == "list") return List(args);
  if (verb == "cat") return Cat(args);
  if (verb == "pack") return Pack(args);
  UsageError("unknown storage command \"" + verb + "\"");
}

}  // namespace sw::cli
