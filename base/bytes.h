// Integers as file formats store them: little-endian (least significant byte first) or big-endian
// (most significant first), read and written byte by byte so that neither the machine's own order
// nor the alignment of the bytes matters. Readers read exactly the bytes they name; bounds are the
// caller's.
#pragma once

#include <cstdint>

namespace sw {

inline uint16_t ReadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t ReadLE64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadLE32(p)) | (static_cast<uint64_t>(ReadLE32(p + 4)) << 32);
}
inline uint16_t ReadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t ReadBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// The low 16 bits of v.
inline void WriteLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLE32(uint8_t* p, uint32_t v) {
  WriteLE16(p, v & 0xFFFF);
  WriteLE16(p + 2, v >> 16);
}
inline void WriteBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Appends to a byte container (std::string, std::vector<uint8_t>, ...); AppendLE16 takes the low
// 16 bits of v.
template <typename TBytes>
void AppendLE16(TBytes& out, uint32_t v) {
  using T = typename TBytes::value_type;
  out.push_back(static_cast<T>(v & 0xFF));
  out.push_back(static_cast<T>((v >> 8) & 0xFF));
}
template <typename TBytes>
void AppendLE32(TBytes& out, uint32_t v) {
  AppendLE16(out, v & 0xFFFF);
  AppendLE16(out, v >> 16);
}
template <typename TBytes>
void AppendLE64(TBytes& out, uint64_t v) {
  AppendLE32(out, static_cast<uint32_t>(v & 0xFFFFFFFFu));
  AppendLE32(out, static_cast<uint32_t>(v >> 32));
}

}  // namespace sw
