#include "storage/formats/compressors.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "base/bytes.h"
#include "base/exception.h"

namespace sw {

namespace {

// Class-coded block header: L, offset of the 1-bit stream, offset of the 4-bit stream, G.
constexpr size_t kClassHeader = 13;

[[noreturn]] void Undecodable() { RaiseRasterError("Unable to decompress"); }

// Buffers of the composite coder; default-initialised so that no time goes into zeroing.
std::unique_ptr<uint8_t[]> Scratch(size_t size) {
  return std::unique_ptr<uint8_t[]>(new uint8_t[size == 0 ? 1 : size]);
}

void WriteLiterals(const uint8_t* input, size_t start, size_t count, uint8_t*& out) {
  while (count > 0) {
    const size_t b = count < 127 ? count : 127;
    *out++ = static_cast<uint8_t>(b);
    std::memcpy(out, input + start, b);
    out += b;
    start += b;
    count -= b;
  }
}

void WriteRuns(uint8_t value, size_t count, uint8_t*& out) {
  while (count > 0) {
    size_t b = count < 127 ? count : 127;
    // A single leftover byte cannot be a run packet (it would be control byte 0).
    if (count - b == 1) --b;
    *out++ = static_cast<uint8_t>(1 - static_cast<int>(b));
    *out++ = value;
    count -= b;
  }
}

}  // namespace

int DeltaEncode(const uint8_t* buffer, size_t length, uint8_t* target) {
  if (!buffer) return -2;
  if (!target) return -3;
  uint8_t previous = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t current = buffer[i];
    target[i] = static_cast<uint8_t>(current - previous);
    previous = current;
  }
  return 0;
}

int DeltaDecode(const uint8_t* buffer, size_t length, uint8_t* target) {
  if (!buffer) return -2;
  if (!target) return -3;
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) {
    sum = static_cast<uint8_t>(sum + buffer[i]);
    target[i] = sum;
  }
  return 0;
}

size_t ClassEncode(const uint8_t* input, size_t length, uint8_t* output) {
  std::array<size_t, 256> count{};
  for (size_t i = 0; i < length; ++i) ++count[input[i]];

  // This exchange ranking fixes the order among equal counts; it is part of the format.
  std::array<uint8_t, 256> rank;
  for (size_t k = 0; k < 256; ++k) rank[k] = static_cast<uint8_t>(k);
  for (size_t i = 0; i < 255; ++i) {
    for (size_t j = 255; j > i; --j) {
      if (count[rank[i]] < count[rank[j]]) std::swap(rank[i], rank[j]);
    }
  }
  size_t g = 255;
  for (size_t k = 19; k < 256; ++k) {
    if (count[rank[k]] == 0) {
      g = k;
      break;
    }
  }
  std::array<uint8_t, 256> rankOf{};
  for (size_t k = 0; k < 256; ++k) rankOf[rank[k]] = static_cast<uint8_t>(k);

  output[12] = static_cast<uint8_t>(g);
  for (size_t k = 0; k <= g; ++k) output[kClassHeader + k] = rank[k];

  // The counts give every stream's length up front, so all four are written in place.
  size_t c1 = 0, c2 = 0, c3 = 0;
  for (size_t k = 1; k < 256; ++k) {
    const size_t n = count[rank[k]];
    if (k <= 2) c1 += n;
    else if (k <= 18) c2 += n;
    else c3 += n;
  }
  uint8_t* classes = output + kClassHeader + g + 1;
  const size_t classBytes = length / 4 + 1;
  uint8_t* bytes8 = classes + classBytes;
  uint8_t* nibbles = bytes8 + c3;
  uint8_t* bits = nibbles + c2 / 2 + 1;
  uint8_t* end = bits + c1 / 8 + 1;
  std::memset(classes, 0, classBytes);
  std::memset(nibbles, 0, static_cast<size_t>(end - nibbles));
  const size_t offset4 = static_cast<size_t>(nibbles - output);
  const size_t offset1 = static_cast<size_t>(bits - output);

  size_t j1 = 0;
  size_t j2 = 0;
  for (size_t i = 0; i < length; ++i) {
    const unsigned r = rankOf[input[i]];
    unsigned cls;
    if (r == 0) {
      cls = 0;
    } else if (r <= 2) {
      cls = 1;
      bits[j1 >> 3] = static_cast<uint8_t>(bits[j1 >> 3] | ((r - 1) << (j1 & 7)));
      ++j1;
    } else if (r <= 18) {
      cls = 2;
      nibbles[j2 >> 1] = static_cast<uint8_t>(nibbles[j2 >> 1] | ((r - 3) << (4 * (j2 & 1))));
      ++j2;
    } else {
      cls = 3;
      *bytes8++ = static_cast<uint8_t>(r - 19);
    }
    classes[i >> 2] = static_cast<uint8_t>(classes[i >> 2] | (cls << (2 * (i & 3))));
  }
  WriteLE32(output, static_cast<uint32_t>(length));
  WriteLE32(output + 4, static_cast<uint32_t>(offset1));
  WriteLE32(output + 8, static_cast<uint32_t>(offset4));
  return static_cast<size_t>(end - output);
}

int64_t ClassDecodedLength(const uint8_t* block, size_t blockSize) {
  if (!block || blockSize < kClassHeader + 1) return -1;
  const size_t length = ReadLE32(block);
  const size_t g = block[12];
  // Table and class stream must lie inside the block.
  if (kClassHeader + g + 1 + length / 4 + 1 > blockSize) return -1;
  return static_cast<int64_t>(length);
}

int64_t ClassDecode(const uint8_t* block, size_t blockSize, uint8_t* output, size_t capacity) {
  const int64_t stated = ClassDecodedLength(block, blockSize);
  if (stated < 0) return -1;
  const size_t length = static_cast<size_t>(stated);
  if (length > capacity) return -1;
  // The writer's table always reaches rank 19, so classes 0 to 2 always have their symbols.
  const size_t g = block[12];
  if (g < 19) return -1;
  const uint8_t* table = block + kClassHeader;
  const uint8_t* classes = table + g + 1;
  const size_t bytes8Start = kClassHeader + g + 1 + length / 4 + 1;
  const size_t offset1 = ReadLE32(block + 4);
  const size_t offset4 = ReadLE32(block + 8);
  // Streams in the writer's order: 8-bit, then 4-bit, then 1-bit, each ending where the next begins.
  if (offset4 < bytes8Start || offset1 < offset4 || offset1 > blockSize) return -1;

  // Count the classes first, so that the decoding loop needs no bounds checks.
  // Per class byte, its four class counts in 16-bit lanes; lanes are flushed before they can
  // overflow (4 per byte, 16383 bytes at most).
  static const std::array<uint64_t, 256> kLanes = [] {
    std::array<uint64_t, 256> lanes{};
    for (unsigned c = 0; c < 256; ++c) {
      for (unsigned k = 0; k < 4; ++k) lanes[c] += uint64_t(1) << (16 * ((c >> (2 * k)) & 3));
    }
    return lanes;
  }();
  size_t count[4] = {0, 0, 0, 0};
  for (size_t q = 0; q < length / 4;) {
    const size_t stop = std::min(length / 4, q + 16383);
    uint64_t lanes = 0;
    for (; q < stop; ++q) lanes += kLanes[classes[q]];
    for (int k = 0; k < 4; ++k) count[k] += (lanes >> (16 * k)) & 0xFFFF;
  }
  for (size_t i = length & ~size_t(3); i < length; ++i) ++count[(classes[i >> 2] >> (2 * (i & 3))) & 3];
  // The writer ends the 4-bit and 1-bit streams with their partly filled (possibly empty) byte;
  // with that, each stream's next value can be read ahead without leaving the block.
  if (count[3] > offset4 - bytes8Start || count[2] / 2 + 1 > offset1 - offset4 ||
      count[1] / 8 + 1 > blockSize - offset1) {
    return -1;
  }

  // Ranks beyond the table (class-3 codes above G - 19) map to 0 and mark the block as damaged.
  uint8_t symbols[19 + 256] = {};
  std::memcpy(symbols, table, g + 1);
  const unsigned maxCode = static_cast<unsigned>(g - 19);
  const uint8_t* bytes8 = block + bytes8Start;
  const uint8_t* nibbles = block + offset4;
  const uint8_t* bits = block + offset1;
  const uint8_t zero = table[0];
  static constexpr unsigned kBase[4] = {0, 1, 3, 19};
  size_t j1 = 0, j2 = 0;
  unsigned badCode = 0;
  // Branch-free: noisy pictures make the classes unpredictable.
  auto decode = [&](unsigned cls) -> uint8_t {
    const unsigned bit = (bits[j1 >> 3] >> (j1 & 7)) & 1;
    const unsigned nibble = (nibbles[j2 >> 1] >> (4 * (j2 & 1))) & 15;
    const unsigned code = *bytes8;
    const unsigned is1 = cls == 1, is2 = cls == 2, is3 = cls == 3;
    j1 += is1;
    j2 += is2;
    bytes8 += is3;
    badCode |= is3 & (code > maxCode);
    return symbols[kBase[cls] + is1 * bit + is2 * nibble + is3 * code];
  };
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const unsigned c = classes[i >> 2];
    if (c == 0) {
      std::memset(output + i, zero, 4);
      continue;
    }
    output[i] = decode(c & 3);
    output[i + 1] = decode((c >> 2) & 3);
    output[i + 2] = decode((c >> 4) & 3);
    output[i + 3] = decode(c >> 6);
  }
  for (; i < length; ++i) output[i] = decode((classes[i >> 2] >> (2 * (i & 3))) & 3);
  return badCode ? -1 : stated;
}

size_t RunEncode(const uint8_t* input, size_t length, uint8_t* output) {
  uint8_t* out = output;
  if (length < 3) {
    *out++ = static_cast<uint8_t>(length);
    if (length > 0) std::memcpy(out, input, length);
    return length + 1;
  }
  size_t start = 0;
  bool literal = true;
  for (size_t p = 2; p < length; ++p) {
    if (input[p - 2] == input[p - 1] && input[p - 1] == input[p]) {
      if (literal) {
        WriteLiterals(input, start, p - 2 - start, out);
        start = p - 2;
        literal = false;
      }
    } else if (!literal) {
      // The run's last byte, at p - 1, opens the next literal.
      const size_t n = p - 1 - start;
      WriteRuns(input[p - 1], n, out);
      start += n;
      literal = true;
    }
  }
  const size_t remaining = length - start;
  if (literal || remaining == 1) {
    WriteLiterals(input, start, remaining, out);
  } else {
    WriteRuns(input[length - 2], remaining, out);
  }
  return static_cast<size_t>(out - output);
}

int64_t RunDecode(const uint8_t* data, size_t length, uint8_t* output, size_t capacity) {
  if (!data && length > 0) return -1;
  size_t in = 0;
  size_t out = 0;
  while (in < length) {
    const int c = static_cast<int8_t>(data[in++]);
    if (c > 0) {
      const size_t n = static_cast<size_t>(c);
      if (n > length - in || n > capacity - out) return -1;
      if (output) std::memcpy(output + out, data + in, n);
      in += n;
      out += n;
    } else if (c < 0) {
      if (c < -126 || in >= length) return -1;
      const size_t n = static_cast<size_t>(1 - c);
      if (n > capacity - out) return -1;
      if (output) std::memset(output + out, data[in], n);
      ++in;
      out += n;
    }
  }
  return static_cast<int64_t>(out);
}

int InterleavePlanes(const uint8_t* input, size_t length, uint8_t* output, int k) {
  if (k < 1 || k > 8) return -4;
  if (length == 0) return 0;
  std::vector<uint8_t> copy(input, input + length);
  const size_t planes = static_cast<size_t>(k);
  const size_t s = length / planes;
  for (size_t i = 0; i < planes; ++i) {
    const uint8_t* plane = copy.data() + i * s;
    uint8_t* target = output + i;
    for (size_t j = 0; j < s; ++j) target[j * planes] = plane[j];
  }
  const size_t tail = planes * s;
  if (tail < length) std::memcpy(output + tail, copy.data() + tail, length - tail);
  return 0;
}

std::vector<uint8_t> PackBuffer(uint8_t* data, size_t n) {
  if (n > kMaxPackLength || (!data && n > 0)) RaiseRasterError("Unable to compress");
  uint8_t dummy = 0;
  if (!data) data = &dummy;
  DeltaEncode(data, n, data);
  const size_t boundA = ClassEncodeBound(n);
  auto a = Scratch(boundA);
  const size_t m1 = ClassEncode(data, n, a.get());
  auto b = Scratch(RunEncodeBound(m1));
  const size_t m2 = RunEncode(a.get(), m1, b.get());
  const size_t boundC = ClassEncodeBound(m2);
  if (boundC > boundA) a = Scratch(boundC);
  const size_t m = ClassEncode(b.get(), m2, a.get());
  if (m > 0xFFFFFFFFu) RaiseRasterError("Unable to compress");
  std::vector<uint8_t> packed(8 + m);
  WriteLE32(packed.data(), static_cast<uint32_t>(n));
  WriteLE32(packed.data() + 4, static_cast<uint32_t>(m));
  std::memcpy(packed.data() + 8, a.get(), m);
  return packed;
}

uint32_t PackedLength(const uint8_t* packed, size_t size) {
  if (!packed || size < 8) Undecodable();
  return ReadLE32(packed);
}

size_t UnpackBuffer(const uint8_t* packed, size_t size, uint8_t* output, size_t expected) {
  const uint32_t n = PackedLength(packed, size);
  if (n != expected) Undecodable();
  const size_t m = ReadLE32(packed + 4);
  if (m > size - 8) Undecodable();
  UnpackBlock(packed + 8, m, output, expected);
  return 8 + m;
}

void UnpackBlock(const uint8_t* block, size_t blockSize, uint8_t* output, size_t n) {
  if (n > kMaxPackLength || n > MaxUnpackedLength(blockSize) || (!output && n > 0)) Undecodable();
  // Each intermediate length is capped by what a genuine packer of n bytes could have produced,
  // and buffers are sized by the lengths actually stated, so a damaged block allocates little.
  const size_t innerBound = ClassEncodeBound(n);
  const size_t runBound = RunEncodeBound(innerBound);
  const int64_t runLength = ClassDecodedLength(block, blockSize);
  if (runLength < 0 || static_cast<size_t>(runLength) > runBound) Undecodable();
  auto runs = Scratch(static_cast<size_t>(runLength));
  if (ClassDecode(block, blockSize, runs.get(), static_cast<size_t>(runLength)) != runLength) {
    Undecodable();
  }
  const int64_t innerLength = RunDecode(runs.get(), static_cast<size_t>(runLength), nullptr, innerBound);
  if (innerLength < 0) Undecodable();
  auto inner = Scratch(static_cast<size_t>(innerLength));
  RunDecode(runs.get(), static_cast<size_t>(runLength), inner.get(), static_cast<size_t>(innerLength));
  runs.reset();
  if (ClassDecodedLength(inner.get(), static_cast<size_t>(innerLength)) != static_cast<int64_t>(n)) {
    Undecodable();
  }
  uint8_t dummy = 0;
  if (!output) output = &dummy;
  if (ClassDecode(inner.get(), static_cast<size_t>(innerLength), output, n) != static_cast<int64_t>(n)) {
    Undecodable();
  }
  DeltaDecode(output, n, output);
}

}  // namespace sw
