// Deflate compression (the zlib format) of data that arrives in pieces, and the chunks of a PNG
// file that carry it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct z_stream_s;

namespace sw {

class TStream;

// How the compressor looks for repeats: zlib's default search, its strategy for filtered image
// rows (shorter matches count for less), or runs of one byte only (much faster, and nearly as
// good on rows through a difference predictor).
enum class TDeflateStrategy { Default, Filtered, Runs };

// What a compressor that cannot start or fails raises, and through which helper (RaiseError,
// RaiseRasterError, ...); each file format names its own.
struct TDeflateErrors {
  void (*Raise)(const std::string& message);
  const char* CannotStart;
  const char* Failed;
};

// Compresses the data given to Add, then Finish ends the stream. The output either collects in a
// buffer that grows as needed (Output, Size), or, given a block size and a sink, goes to the sink
// in blocks of exactly that many bytes, the last one shorter and never empty.
class TDeflater {
public:
  using TSink = std::function<void(const uint8_t* data, size_t size)>;

  // level is zlib's, 0 (stored) to 9 (smallest); any other raises errors.CannotStart.
  TDeflater(int level, TDeflateStrategy strategy, const TDeflateErrors& errors);
  TDeflater(int level, TDeflateStrategy strategy, const TDeflateErrors& errors, size_t blockSize, TSink sink);
  ~TDeflater();
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  void Add(const uint8_t* data, size_t size);
  // Ends the stream; with a sink, the last block has gone to it on return.
  void Finish();
  // The compressed bytes so far are the first Size() bytes of Output() (a sink's: those not yet
  // a whole block).
  const std::vector<uint8_t>& Output() const { return out_; }
  size_t Size() const { return used_; }

private:
  void Run(const uint8_t* data, size_t size, int flush);

  TDeflateErrors errors_;
  std::unique_ptr<z_stream_s> z_;
  std::vector<uint8_t> out_;
  size_t used_ = 0;
  TSink sink_;
};

// Writes one PNG chunk: the length of data (big-endian), the four-letter type, the data and the
// CRC-32 of type and data.
void WritePngChunk(TStream& out, const char* type, const uint8_t* data, size_t size);

}  // namespace sw
