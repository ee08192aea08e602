// Feeds arbitrary bytes to the raw bitmap stream form (width, height, pixels).
#include <cstddef>
#include <cstdint>

#include "base/exception.h"
#include "base/stream.h"
#include "shapes/raster/bitmap32.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::TReadOnlyMemoryStream stream(data, static_cast<int64_t>(size));
  sw::TBitmap32 bitmap;
  try {
    bitmap.LoadFromStream(stream);
    sw::TMemoryStream out;
    bitmap.SaveToStream(out);
  } catch (const sw::Exception&) {
  }
  return 0;
}
