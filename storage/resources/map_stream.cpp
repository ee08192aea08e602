#include "storage/resources/map_stream.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/exception.h"

namespace sw {

namespace {

constexpr int64_t kPreferredBlockSize = 65536;

[[noreturn]] void RaiseSystemError(int error) { RaiseError(std::strerror(error)); }

// A fresh block, zeroed by the system, unmapped when its last holder lets it go (unmapping a
// block we mapped ourselves cannot fail). Should the holder itself not be made, the block is
// unmapped at once.
std::shared_ptr<uint8_t> MapBlock(int32_t size) {
  void* p = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) RaiseSystemError(errno);
  return std::shared_ptr<uint8_t>(static_cast<uint8_t*>(p),
                                  [size](uint8_t* block) { munmap(block, static_cast<size_t>(size)); });
}

}  // namespace

int32_t MapBlockSize(int64_t pageSize) {
  if (pageSize <= 0) RaiseError("Memory map page size is zero");
  if (pageSize >= kPreferredBlockSize) {
    if (pageSize > TMapStream::kMaxSize) RaiseError("Memory map page size is too large");
    return static_cast<int32_t>(pageSize);
  }
  // Whole pages, so that every block is a mapping of its own.
  const int64_t pages = (kPreferredBlockSize + pageSize - 1) / pageSize;
  return static_cast<int32_t>(pages * pageSize);
}

TMapStream::TMapStream() : blockSize_(MapBlockSize(sysconf(_SC_PAGESIZE))) {}

TMapStream::~TMapStream() = default;

void TMapStream::MoveTo(int64_t position) {
  blockIndex_ = static_cast<int32_t>(position / blockSize_);
  offset_ = static_cast<int32_t>(position % blockSize_);
}

uint8_t* TMapStream::OwnBlock(size_t index) {
  std::shared_ptr<uint8_t>& block = blocks_[index];
  if (block.use_count() > 1) {
    std::shared_ptr<uint8_t> own = MapBlock(blockSize_);
    std::memcpy(own.get(), block.get(), static_cast<size_t>(blockSize_));
    block = std::move(own);
  }
  return block.get();
}

int64_t TMapStream::Read(void* buffer, int64_t count) {
  const int64_t available = size_ - Position32();
  if (count > available) count = available;
  if (count <= 0) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min<int64_t>(count - done, blockSize_ - offset_);
    std::memcpy(out + done, blocks_[static_cast<size_t>(blockIndex_)].get() + offset_, static_cast<size_t>(n));
    done += n;
    offset_ += static_cast<int32_t>(n);
    if (offset_ == blockSize_) {
      ++blockIndex_;
      offset_ = 0;
    }
  }
  return count;
}

int64_t TMapStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = Position32() + count;
  if (end > size_) SetSize(end);
  const uint8_t* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min<int64_t>(count - done, blockSize_ - offset_);
    std::memcpy(OwnBlock(static_cast<size_t>(blockIndex_)) + offset_, in + done, static_cast<size_t>(n));
    done += n;
    offset_ += static_cast<int32_t>(n);
    if (offset_ == blockSize_) {
      ++blockIndex_;
      offset_ = 0;
    }
  }
  return count;
}

int64_t TMapStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t target;
  switch (origin) {
    case TSeekOrigin::soBeginning: target = offset; break;
    case TSeekOrigin::soCurrent: target = Position32() + offset; break;
    case TSeekOrigin::soEnd: target = size_ + offset; break;
    default: target = 0; break;
  }
  if (target < 0) RaiseStreamError(Format("Invalid stream position %lld", static_cast<long long>(target)));
  if (target > size_) SetSize(target);
  MoveTo(target);
  return target;
}

void TMapStream::SetSize(int64_t size) {
  if (size == size_) return;
  if (size < 0 || size > kMaxSize) {
    RaiseStreamError(Format("Stream size %lld is out of range", static_cast<long long>(size)));
  }
  const size_t needed = static_cast<size_t>((size + blockSize_ - 1) / blockSize_);
  if (size > size_ && size_ % blockSize_ != 0) {
    // Grown bytes read as zeros: the kept tail of the last block may hold bytes of an earlier,
    // larger size (fresh blocks come zeroed from the system).
    const int64_t blockEnd = std::min<int64_t>(size, (size_ / blockSize_ + 1) * blockSize_);
    std::memset(OwnBlock(static_cast<size_t>(size_ / blockSize_)) + size_ % blockSize_, 0,
                static_cast<size_t>(blockEnd - size_));
  }
  if (needed > blocks_.size()) {
    // Map everything first, so that a refusal leaves the stream unchanged.
    std::vector<std::shared_ptr<uint8_t>> fresh;
    fresh.reserve(needed - blocks_.size());
    while (blocks_.size() + fresh.size() < needed) fresh.push_back(MapBlock(blockSize_));
    blocks_.reserve(needed);
    for (std::shared_ptr<uint8_t>& block : fresh) blocks_.push_back(std::move(block));
  } else {
    blocks_.resize(needed);
  }
  size_ = size;
  if (Position32() > size_) MoveTo(size_);
}

void TMapStream::CopyBytesFrom(const TMapStream& source) {
  if (&source == this) {
    SetPosition(0);
    return;
  }
  // Every stream of the process has the same block size, so blocks are shared one to one. The
  // bytes past the end of the last block are never read, and zeroed in an own copy before the
  // stream grows over them.
  blocks_ = source.blocks_;
  size_ = source.size_;
  MoveTo(0);
}

bool TMapStream::SameBytes(const TMapStream& other) const {
  if (size_ != other.size_) return false;
  int64_t done = 0;
  for (size_t i = 0; done < size_; ++i) {
    const int64_t n = std::min<int64_t>(blockSize_, size_ - done);
    if (blocks_[i] != other.blocks_[i] &&
        std::memcmp(blocks_[i].get(), other.blocks_[i].get(), static_cast<size_t>(n)) != 0) {
      return false;
    }
    done += n;
  }
  return true;
}

bool TMapStream::SharesBlocks() const {
  for (const std::shared_ptr<uint8_t>& block : blocks_) {
    if (block.use_count() > 1) return true;
  }
  return false;
}

std::vector<uint8_t> TMapStream::Bytes() const {
  std::vector<uint8_t> out(static_cast<size_t>(size_));
  int64_t done = 0;
  for (size_t i = 0; done < size_; ++i) {
    const int64_t n = std::min<int64_t>(blockSize_, size_ - done);
    std::memcpy(out.data() + done, blocks_[i].get(), static_cast<size_t>(n));
    done += n;
  }
  return out;
}

void TMapStream::SetBytes(const uint8_t* data, int64_t count) {
  SetSize(0);
  if (count > 0) {
    MoveTo(0);
    WriteBuffer(data, count);
  }
  MoveTo(0);
}

}  // namespace sw
