// Loads arbitrary bytes as a storage and reads every stream it claims to hold; then changes it
// so that the working index is rewritten over whatever the bytes described.
#include <cstddef>
#include <cstdint>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/container/storage.h"

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
      storage.RenameStream(storage.StreamName(0), std::string(300, 'r'));
      storage.DeleteStream(storage.StreamName(count / 2));
      sw::TMemoryStream compact;
      storage.SaveToStream(compact);
    }
  } catch (const sw::Exception&) {
  }
  return 0;
}
