// TQuickMemStream: the memory stream the engine moves data in and out of the storage with.
#pragma once

#include <cstdint>
#include <vector>

#include "base/stream.h"

namespace sw {

// A memory stream whose capacity grows in steps of 8192 times a power of 4 (8192, 32768, ...).
// Sizes are limited to 2^31 - 1 bytes; growing beyond raises "Out of memory while expanding memory
// stream". Reading at a negative position or past the size returns nothing; seeking is unchecked.
class TQuickMemStream : public TStream {
public:
  TQuickMemStream() = default;

  int64_t Read(void* buffer, int64_t count) override;
  // Writing past the end grows the size; a gap left by seeking past the end reads as zeros.
  // Nothing is written at a negative position.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Sets the size and recomputes the capacity for it; negative sizes count as 0.
  void SetSize(int64_t size) override;
  int64_t Size() override { return size_; }

  // The bytes; valid up to Size(), null before anything was allocated.
  uint8_t* Memory() { return memory_.empty() ? nullptr : memory_.data(); }
  // Bytes allocated (0 before the first SetSize or Write).
  int32_t Capacity() const { return capacity_; }

private:
  void SetCapacityFor(int64_t needed);

  std::vector<uint8_t> memory_;
  int64_t position_ = 0;
  int32_t capacity_ = 0;
  int32_t size_ = 0;
};

}  // namespace sw
