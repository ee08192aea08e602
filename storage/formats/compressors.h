// In-house byte coders for stored pictures: a delta filter, a byte-class coder (frequency-ranked
// variable-length code), a run-length coder, a plane interleaver and the composite PackBuffer /
// UnpackBuffer that chains them. The encoded bytes are a file format: every coder must produce
// exactly the same output for the same input wherever it runs.
//
// The encoders trust their arguments (the caller sizes the outputs with the *Bound functions);
// the decoders check every length, offset and code against the buffers they are given and report
// damaged data instead of reading or writing outside them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sw {

// The largest input PackBuffer accepts and UnpackBuffer produces (all lengths are 32-bit).
constexpr size_t kMaxPackLength = size_t(1) << 31;

// The reserve the stored format was designed around (n + n div 4 + 19). It is too small for the
// intermediate results of inputs with many byte values; use the bounds below to size buffers.
inline size_t PackBound(size_t n) { return n + n / 4 + 19; }
// Largest ClassEncode output for an input of length bytes (full table, all bytes of class 3).
inline size_t ClassEncodeBound(size_t length) { return length + length / 4 + 272; }
// Largest RunEncode output for an input of length bytes: one control byte per 127 literals,
// plus one per literal stretch; a run and the literal its last byte opens span 3 bytes at least.
inline size_t RunEncodeBound(size_t length) { return length + length / 3 + length / 127 + 3; }
// Largest unpacked length a composite block of blockSize bytes can describe: class decoding
// quadruples at most, run decoding gains at most 127 bytes from 2, twice class decoding.
inline size_t MaxUnpackedLength(size_t blockSize) { return blockSize * 1016; }

// target[i] = buffer[i] - buffer[i-1] (mod 256), buffer[-1] = 0; target may equal buffer.
// Returns -2 for a null buffer, -3 for a null target, 0 otherwise.
int DeltaEncode(const uint8_t* buffer, size_t length, uint8_t* target);
// target[i] = buffer[0] + ... + buffer[i] (mod 256); in place allowed. Results as DeltaEncode.
int DeltaDecode(const uint8_t* buffer, size_t length, uint8_t* target);

// Class-codes length bytes (at most kMaxPackLength) into output, which must hold
// ClassEncodeBound(length) bytes; returns the block length.
size_t ClassEncode(const uint8_t* input, size_t length, uint8_t* output);
// The decoded length stated by a class-coded block, or -1 when the header does not fit the block.
int64_t ClassDecodedLength(const uint8_t* block, size_t blockSize);
// Decodes a class-coded block into output (capacity bytes); returns the length written, or -1 for
// a damaged block (header, table or streams outside the block, a rank without symbol, a stated
// length above capacity). The block is not altered.
int64_t ClassDecode(const uint8_t* block, size_t blockSize, uint8_t* output, size_t capacity);

// Run-length codes length bytes into output, which must hold RunEncodeBound(length) bytes;
// returns the output length.
size_t RunEncode(const uint8_t* input, size_t length, uint8_t* output);
// Decodes run-length packets into output (capacity bytes); returns the length written, or -1
// for a truncated packet, a control byte of -127 or -128, or output beyond capacity. A null
// output only counts (capacity still applies).
int64_t RunDecode(const uint8_t* data, size_t length, uint8_t* output, size_t capacity);

// Interleaves k planes of length div k bytes (output j*k + i = input i*s + j); the remaining
// length - k*s bytes are copied unchanged. input and output may be the same buffer.
// Returns -4 (doing nothing) for k outside 1..8, 0 otherwise.
int InterleavePlanes(const uint8_t* input, size_t length, uint8_t* output, int k);

// Packs n bytes: n (32-bit), m (32-bit), then the m-byte composite block. The data is
// delta-filtered in place as a side effect. n above kMaxPackLength raises "Unable to compress".
std::vector<uint8_t> PackBuffer(uint8_t* data, size_t n);
// The unpacked length stored at the start of packed data; raises "Unable to decompress" when
// size is below the 8 bytes of the two length words.
uint32_t PackedLength(const uint8_t* packed, size_t size);
// Unpacks packed data (of size bytes available) into exactly expected bytes of output; returns
// the bytes consumed (8 + m). Damaged data, a block longer than size, or a stored length other
// than expected raise "Unable to decompress".
size_t UnpackBuffer(const uint8_t* packed, size_t size, uint8_t* output, size_t expected);
// Decodes a composite block without its two length words into exactly n bytes of output;
// damaged data raises "Unable to decompress".
void UnpackBlock(const uint8_t* block, size_t blockSize, uint8_t* output, size_t n);

}  // namespace sw
