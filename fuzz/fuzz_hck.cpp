// HCK decoding of arbitrary bytes: first page at full size, then a later page reduced.
#include <cstddef>
#include <cstdint>

#include "base/exception.h"
#include "storage/formats/hck_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int pages[2][3] = {{0, 0, 0}, {1, 16, 16}};
  for (const auto& p : pages) {
    sw::TReadOnlyMemoryStream stream(data, static_cast<int64_t>(size));
    sw::TBitmap32 bitmap;
    sw::THckImage format;
    try {
      format.LoadFromStream(stream, bitmap, p[0], p[1], p[2]);
    } catch (const sw::Exception&) {
    }
  }
  return 0;
}
