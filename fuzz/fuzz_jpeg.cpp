// JPEG decoding of arbitrary bytes through the format class, at a small maximum size so that
// the scaled paths run too.
#include <cstddef>
#include <cstdint>

#include "base/exception.h"
#include "storage/formats/jpeg_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int maximum : {4000, 64}) {
    sw::TReadOnlyMemoryStream stream(data, static_cast<int64_t>(size));
    sw::TBitmap32 bitmap;
    sw::TdtpJpgFormat format;
    try {
      format.LoadFromStream(stream, bitmap, 0, maximum, maximum);
    } catch (const sw::Exception&) {
    }
  }
  return 0;
}
