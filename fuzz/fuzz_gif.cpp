// Decodes arbitrary bytes as GIF: every outcome is a picture or an ERasterError.
#include <cstddef>
#include <cstdint>

#include "base/exception.h"
#include "storage/formats/gif_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::TBitmap32 bitmap;
  try {
    const size_t consumed = sw::DecodeGif(data, size, bitmap);
    if (consumed > size) __builtin_trap();
  } catch (const sw::Exception&) {
  }
  return 0;
}
