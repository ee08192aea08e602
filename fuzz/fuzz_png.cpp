// Decodes arbitrary bytes as PNG within the load's default maximum size (a picture beyond it is
// sampled down while decoding): every outcome is a picture or an ERasterError.
#include <cstddef>
#include <cstdint>

#include "base/exception.h"
#include "storage/formats/png_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::TBitmap32 bitmap;
  try {
    const size_t consumed = sw::DecodePng(data, size, bitmap, 4000, 4000);
    if (consumed > size) __builtin_trap();
  } catch (const sw::Exception&) {
  }
  return 0;
}
