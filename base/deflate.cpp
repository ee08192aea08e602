#include "base/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/stream.h"

namespace sw {

namespace {

// A growing buffer is kept at least this much ahead of the output, and grows by at least this.
constexpr size_t kGrowStep = 65536;
// zlib counts input in 32-bit units: larger pieces go to it in parts.
constexpr size_t kMaxPiece = size_t(1) << 30;

int ZlibStrategy(TDeflateStrategy strategy) {
  switch (strategy) {
    case TDeflateStrategy::Filtered:
      return Z_FILTERED;
    case TDeflateStrategy::Runs:
      return Z_RLE;
    case TDeflateStrategy::Default:
      break;
  }
  return Z_DEFAULT_STRATEGY;
}

}  // namespace

TDeflater::TDeflater(int level, TDeflateStrategy strategy, const TDeflateErrors& errors)
    : errors_(errors), z_(std::make_unique<z_stream_s>()) {
  if (deflateInit2(z_.get(), level, Z_DEFLATED, MAX_WBITS, 8, ZlibStrategy(strategy)) != Z_OK) {
    z_.reset();
    errors_.Raise(errors_.CannotStart);
  }
}

TDeflater::TDeflater(int level, TDeflateStrategy strategy, const TDeflateErrors& errors, size_t blockSize,
                     TSink sink)
    : TDeflater(level, strategy, errors) {
  out_.resize(std::max<size_t>(blockSize, 1));
  sink_ = std::move(sink);
}

TDeflater::~TDeflater() {
  if (z_) deflateEnd(z_.get());
}

void TDeflater::Add(const uint8_t* data, size_t size) {
  while (size > kMaxPiece) {
    Run(data, kMaxPiece, Z_NO_FLUSH);
    data += kMaxPiece;
    size -= kMaxPiece;
  }
  Run(data, size, Z_NO_FLUSH);
}

void TDeflater::Finish() { Run(nullptr, 0, Z_FINISH); }

void TDeflater::Run(const uint8_t* data, size_t size, int flush) {
  z_->next_in = const_cast<Bytef*>(data);
  z_->avail_in = static_cast<uInt>(size);
  for (;;) {
    if (!sink_ && out_.size() - used_ < kGrowStep) out_.resize(out_.size() + std::max(kGrowStep, out_.size() / 2));
    z_->next_out = out_.data() + used_;
    z_->avail_out = static_cast<uInt>(out_.size() - used_);
    const int rc = deflate(z_.get(), flush);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) errors_.Raise(errors_.Failed);
    used_ = out_.size() - z_->avail_out;
    if (sink_ && (used_ == out_.size() || (rc == Z_STREAM_END && used_ > 0))) {
      sink_(out_.data(), used_);
      used_ = 0;
    }
    if (rc == Z_STREAM_END) return;
    if (flush == Z_NO_FLUSH && z_->avail_in == 0) return;
  }
}

void WritePngChunk(TStream& out, const char* type, const uint8_t* data, size_t size) {
  uint8_t head[8];
  WriteBE32(head, static_cast<uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  uint8_t tail[4];
  WriteBE32(tail, static_cast<uint32_t>(crc));
  out.WriteBuffer(head, 8);
  if (size > 0) out.WriteBuffer(data, static_cast<int64_t>(size));
  out.WriteBuffer(tail, 4);
}

}  // namespace sw
