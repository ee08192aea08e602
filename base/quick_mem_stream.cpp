#include "base/quick_mem_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "base/exception.h"

namespace sw {

void TQuickMemStream::SetCapacityFor(int64_t needed) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (needed > kMax) RaiseStreamError("Out of memory while expanding memory stream");
  int64_t capacity = 8192;
  while (capacity < needed) capacity *= 4;
  capacity = std::min(capacity, kMax);
  try {
    memory_.resize(static_cast<size_t>(capacity));
    memory_.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    RaiseStreamError("Out of memory while expanding memory stream");
  }
  capacity_ = static_cast<int32_t>(capacity);
}

int64_t TQuickMemStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
  const int64_t n = std::min<int64_t>(count, size_ - position_);
  std::memcpy(buffer, memory_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TQuickMemStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0) return 0;
  // Seeking is unchecked, so the position may lie anywhere; the sum must not overflow.
  if (count > std::numeric_limits<int32_t>::max() - position_) {
    RaiseStreamError("Out of memory while expanding memory stream");
  }
  const int64_t end = position_ + count;
  if (end > capacity_) SetCapacityFor(end);
  // Bytes between the old end and a position sought past it may be left from a larger size.
  if (position_ > size_) std::memset(memory_.data() + size_, 0, static_cast<size_t>(position_ - size_));
  std::memcpy(memory_.data() + position_, buffer, static_cast<size_t>(count));
  if (end > size_) size_ = static_cast<int32_t>(end);
  position_ = end;
  return count;
}

int64_t TQuickMemStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: position_ = offset; break;
    case TSeekOrigin::soCurrent: position_ += offset; break;
    case TSeekOrigin::soEnd: position_ = size_ + offset; break;
  }
  return position_;
}

void TQuickMemStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  const int32_t oldSize = size_;
  SetCapacityFor(size);
  if (size > oldSize) {
    std::memset(memory_.data() + oldSize, 0, static_cast<size_t>(size - oldSize));
  }
  size_ = static_cast<int32_t>(size);
}

}  // namespace sw
