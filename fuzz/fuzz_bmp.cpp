// Windows bitmap decoding of arbitrary bytes: errors are fine, crashes and overruns are not.
#include <cstddef>
#include <cstdint>

#include "base/exception.h"
#include "storage/formats/bmp_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sw::TBitmap32 bitmap;
  try {
    sw::DecodeBmp(data, size, bitmap);
  } catch (const sw::Exception&) {
  }
  return 0;
}
