// Byte streams: the abstract TStream and the memory, read-only view and file implementations
// that storage, XML, formats and resources pass data through.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sw {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (0 at the end or for count <= 0).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual void SetSize(int64_t size) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

  // Reads exactly count bytes or raises "Stream read error".
  void ReadBuffer(void* buffer, int64_t count);
  // Writes exactly count bytes or raises "Stream write error".
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's current position; count 0 copies the whole source from 0.
  // Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  uint8_t* Memory() { return data_.data(); }
  const uint8_t* Memory() const { return data_.data(); }
  const std::vector<uint8_t>& Bytes() const { return data_; }
  std::vector<uint8_t> TakeBytes();
  void Clear();
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);
  void LoadFromStream(TStream& source);

private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// A read-only stream over memory owned by someone else; writes raise "Stream write error".
class TReadOnlyMemoryStream : public TStream {
public:
  TReadOnlyMemoryStream(const void* data, int64_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size < 0 ? 0 : size) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override { return size_; }

  const uint8_t* Memory() const { return data_; }

private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
};

// File open modes.
enum class TFileMode {
  fmCreate,         // create or truncate, read and write
  fmOpenRead,       // existing file, read only
  fmOpenReadWrite,  // existing file, read and write
};

// A stream on a file. Failing to open raises "Cannot open file "%s". %s", failing to create
// "Cannot create file "%s". %s"; a failed read raises "Cannot read file "%s". %s" and a failed
// write, resize or flush "Cannot write file "%s". %s", each with the system's reason. Reading at
// the end returns a short count.
class TFileStream : public TStream {
public:
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override;

  const std::string& FileName() const { return fileName_; }
  // Flushes written data to the device (fsync).
  void Flush();

private:
  [[noreturn]] void RaiseFileError(const char* what, int error) const;

  std::string fileName_;
  int fd_ = -1;
};

// File system helpers.
bool FileExists(const std::string& fileName);
// The absolute, normalised form of a path (no symlink resolution needed for missing files).
std::string ExpandFileName(const std::string& fileName);
// The folder for temporary files ($TMPDIR or /tmp), without a trailing slash.
std::string TempFolder();
// The extension of a file name including the point ("a/b.JPG" -> ".JPG"); empty if none.
std::string ExtractFileExt(const std::string& fileName);
// Reads a whole file; raises the open error of TFileStream.
std::vector<uint8_t> ReadFileBytes(const std::string& fileName);

}  // namespace sw
