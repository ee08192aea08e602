// TMapStream: the memory stream that holds a picture resource's encoded bytes, built from
// separately mapped blocks so that growing never moves data and shrinking returns memory block by
// block. Copies share their blocks until one of them writes: the many copies of one picture that
// a sheet of magnets holds cost the memory of one.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/stream.h"

namespace sw {

// The block size for a system page size: 64 KiB, or the page size rounded up to whole pages when
// pages are larger. A page size of 0 or less raises "Memory map page size is zero".
int32_t MapBlockSize(int64_t pageSize);

class TMapStream : public TStream {
public:
  // Sizes and positions are 32-bit: a stream never grows beyond this many bytes.
  static constexpr int64_t kMaxSize = 0x7FFFFFFF;

  // Asks the system for its page size; see MapBlockSize.
  TMapStream();
  ~TMapStream() override;
  TMapStream(const TMapStream&) = delete;
  TMapStream& operator=(const TMapStream&) = delete;

  // Cut to the bytes between the position and the size; 0 for count <= 0.
  int64_t Read(void* buffer, int64_t count) override;
  // Grows the stream first when the bytes reach beyond its end; a stream that would pass kMaxSize
  // raises "Stream size %lld is out of range" and stays as it was.
  int64_t Write(const void* buffer, int64_t count) override;
  // A target beyond the end grows the stream to it; a negative target raises
  // "Invalid stream position %lld".
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Maps missing blocks at the end and unmaps surplus ones; a position beyond the new size moves
  // to it. Negative sizes and sizes beyond kMaxSize raise "Stream size %lld is out of range"; a
  // block the system refuses raises the system's text and leaves the stream as it was.
  void SetSize(int64_t size) override;
  int64_t Size() override { return size_; }
  int64_t Length() const { return size_; }

  // SetSize(0): every block goes back to the system.
  void Clear() { SetSize(0); }
  // Replaces the contents with a copy of the other stream's bytes; the position becomes 0. The
  // blocks are shared until either stream writes to one of them.
  void CopyBytesFrom(const TMapStream& source);
  // True when both hold the same bytes (positions do not matter).
  bool SameBytes(const TMapStream& other) const;
  // True when this stream shares any of its blocks with another.
  bool SharesBlocks() const;
  // The whole contents, whatever the position; the position is kept.
  std::vector<uint8_t> Bytes() const;
  // Replaces the contents; the position becomes 0.
  void SetBytes(const uint8_t* data, int64_t count);

  int32_t BlockSize() const { return blockSize_; }
  int32_t BlockCount() const { return static_cast<int32_t>(blocks_.size()); }

private:
  int64_t Position32() const { return static_cast<int64_t>(blockIndex_) * blockSize_ + offset_; }
  void MoveTo(int64_t position);
  // The block at index, made this stream's own first when it is shared, ready to be written.
  uint8_t* OwnBlock(size_t index);

  int32_t blockIndex_ = 0;
  int32_t offset_ = 0;
  int32_t blockSize_ = 0;
  // Each block is unmapped when the last stream holding it lets it go.
  std::vector<std::shared_ptr<uint8_t>> blocks_;
  int64_t size_ = 0;
};

}  // namespace sw
