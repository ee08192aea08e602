#include "base/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "base/exception.h"

namespace sw {

// ---- TStream ----

int64_t TStream::Size() {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Read(buffer, count) != count) RaiseStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) RaiseStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kChunk = 61440;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, kChunk)));
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min(kChunk, count - done);
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    done += n;
  }
  return done;
}

// ---- TMemoryStream ----

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ < 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0) return 0;
  const int64_t end = position_ + count;
  if (end > Size()) SetSize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: position_ = offset; break;
    case TSeekOrigin::soCurrent: position_ += offset; break;
    case TSeekOrigin::soEnd: position_ = Size() + offset; break;
  }
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  if (static_cast<uint64_t>(size) > data_.max_size()) RaiseStreamError("Out of memory while expanding memory stream");
  try {
    // Grow geometrically so that many small writes stay linear.
    if (static_cast<size_t>(size) > data_.capacity()) {
      data_.reserve(std::max(static_cast<size_t>(size), data_.capacity() + data_.capacity() / 2));
    }
    data_.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    RaiseStreamError("Out of memory while expanding memory stream");
  }
  if (position_ > size) position_ = size;
}

std::vector<uint8_t> TMemoryStream::TakeBytes() {
  std::vector<uint8_t> out = std::move(data_);
  data_.clear();
  position_ = 0;
  return out;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmCreate);
  file.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const int64_t size = source.Size();
  SetSize(size);
  source.ReadBuffer(data_.data(), size);
  position_ = 0;
}

// ---- TReadOnlyMemoryStream ----

int64_t TReadOnlyMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TReadOnlyMemoryStream::Write(const void*, int64_t) {
  RaiseStreamError("Stream write error");
}

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: position_ = offset; break;
    case TSeekOrigin::soCurrent: position_ += offset; break;
    case TSeekOrigin::soEnd: position_ = size_ + offset; break;
  }
  return position_;
}

void TReadOnlyMemoryStream::SetSize(int64_t) { RaiseStreamError("Stream write error"); }

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
  switch (mode) {
    case TFileMode::fmCreate:
      fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fd_ < 0) {
        RaiseStreamError(Format("Cannot create file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                std::strerror(errno)));
      }
      break;
    case TFileMode::fmOpenRead:
    case TFileMode::fmOpenReadWrite: {
      const int flags = (mode == TFileMode::fmOpenRead ? O_RDONLY : O_RDWR) | O_CLOEXEC;
      fd_ = ::open(fileName.c_str(), flags);
      if (fd_ < 0) {
        RaiseStreamError(Format("Cannot open file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                std::strerror(errno)));
      }
      struct stat st {};
      if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        RaiseStreamError(Format("Cannot open file \"%s\". %s", ExpandFileName(fileName).c_str(),
                                std::strerror(EISDIR)));
      }
      break;
    }
  }
}

void TFileStream::RaiseFileError(const char* what, int error) const {
  RaiseStreamError(Format("%s \"%s\". %s", what, ExpandFileName(fileName_).c_str(), std::strerror(error)));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30));
    const ssize_t n = ::read(fd_, p + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("Cannot read file", errno);
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30));
    const ssize_t n = ::write(fd_, p + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("Cannot write file", errno);
    }
    // Nothing written and no error: asking again would loop for ever. A device that takes
    // nothing is full.
    if (n == 0) RaiseFileError("Cannot write file", ENOSPC);
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) RaiseFileError("Cannot write file", errno);
  if (Position() > size) Seek(size, TSeekOrigin::soBeginning);
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

void TFileStream::Flush() {
  if (::fsync(fd_) != 0) RaiseFileError("Cannot write file", errno);
}

// ---- helpers ----

bool FileExists(const std::string& fileName) {
  struct stat st {};
  return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExpandFileName(const std::string& fileName) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(fileName, ec);
  if (ec) return fileName;
  return p.lexically_normal().string();
}

std::string TempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string result = (dir && *dir) ? dir : "/tmp";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string ExtractFileExt(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return fileName.substr(dot);
}

std::vector<uint8_t> ReadFileBytes(const std::string& fileName) {
  TMemoryStream m;
  m.LoadFromFile(fileName);
  return m.TakeBytes();
}

}  // namespace sw
