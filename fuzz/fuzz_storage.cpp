// Loads arbitrary bytes as a storage and reads every stream it claims to hold; then changes it
// so that the working index is rewritten over whatever the bytes described.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/container/storage.h"

namespace {

// A source that fails after its first copy-buffer load, so that a replace over whatever the input
// described must leave the old stream as it was.
class TFailingSource : public sw::TMemoryStream {
public:
  using sw::TMemoryStream::TMemoryStream;
  int64_t Read(void* buffer, int64_t count) override {
    if (Position() + count > 61440) sw::RaiseStreamError("Stream read error");
    return sw::TMemoryStream::Read(buffer, count);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::TReadOnlyMemoryStream input(data, static_cast<int64_t>(size));
  sw::TsdStorage storage;
  try {
    storage.LoadFromStream(input);
    const int count = storage.StreamCount();
    for (int i = 0; i < count; ++i) {
      sw::TMemoryStream out;
      storage.ReadStream(storage.StreamName(i), out);
    }
    if (count > 0) {
      sw::TMemoryStream small;
      small.WriteBuffer("fuzz", 4);
      storage.WriteStream(std::string(40, 'n'), small);
      const std::string first = storage.StreamName(0);
      sw::TMemoryStream before;
      storage.ReadStream(first, before);
      TFailingSource failing(std::vector<uint8_t>(70000, 'f'));
      try {
        storage.WriteStream(first, failing);
      } catch (const sw::EStreamError&) {
      }
      sw::TMemoryStream after;
      storage.ReadStream(first, after);
      if (after.Bytes() != before.Bytes()) __builtin_trap();
      storage.RenameStream(storage.StreamName(0), std::string(300, 'r'));
      storage.DeleteStream(storage.StreamName(count / 2));
      sw::TMemoryStream compact;
      storage.SaveToStream(compact);
    }
  } catch (const sw::Exception&) {
  }
  return 0;
}
