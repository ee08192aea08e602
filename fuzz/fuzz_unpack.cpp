// UnpackBuffer and the two decoders on arbitrary bytes, and the pack / unpack round trip; outputs are capped at 1 MiB and at what the input can expand to.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/exception.h"
#include "storage/formats/compressors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kCap = size_t(1) << 20;
  try {
    size_t expected = sw::PackedLength(data, size);
    if (expected > kCap) expected = kCap;
    if (expected > sw::MaxUnpackedLength(size)) expected = sw::MaxUnpackedLength(size);
    std::vector<uint8_t> out(expected);
    sw::UnpackBuffer(data, size, out.data(), expected);
  } catch (const sw::Exception&) {
  }
  std::vector<uint8_t> out(size * 4 + 64);
  sw::ClassDecode(data, size, out.data(), out.size());
  std::vector<uint8_t> runs(size * 64 + 64);
  sw::RunDecode(data, size, runs.data(), runs.size());
  // Whatever the bytes, packing them and unpacking the result gives them back.
  std::vector<uint8_t> work(data, data + size);
  const std::vector<uint8_t> packed = sw::PackBuffer(work.data(), work.size());
  std::vector<uint8_t> back(size);
  sw::UnpackBuffer(packed.data(), packed.size(), back.data(), back.size());
  if (size > 0 && std::memcmp(back.data(), data, size) != 0) __builtin_trap();
  return 0;
}
