#include "storage/container/storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include "base/bytes.h"
#include "base/exception.h"
#include "base/file_targets.h"
#include "base/strings.h"

namespace sw {

namespace {

// The 50 characters between the line breaks of the creator note; readers never interpret them.
constexpr char kCreatorText[] = "Written by Stickwell storage, see the About window";
static_assert(sizeof(kCreatorText) - 1 == 50, "the creator note text is exactly 50 characters");

constexpr uint8_t kHeader[6] = {'S', 'T', 'O', 'R', 1, 1};
constexpr uint8_t kMajorVersion = 1;
// Smallest index entry: offset, size and name length.
constexpr int64_t kEntryFixedSize = 20;
constexpr int64_t kMinStoreSize = 6;

[[noreturn]] void RaiseDamaged(const char* reason) {
  RaiseError(Format("Storage index is damaged: %s", reason));
}

// Reads the index sequentially through the copy buffer, never past the stream's known length.
class TIndexReader {
public:
  TIndexReader(TStream& stream, int64_t start, int64_t length, std::vector<uint8_t>& buffer)
      : stream_(stream), filePos_(start), length_(length), buffer_(buffer) {
    stream_.SetPosition(start);
  }

  // Bytes of the file not yet consumed.
  int64_t Remaining() const { return length_ - filePos_ + (bufLen_ - bufPos_); }

  void Read(void* out, int64_t count) {
    auto* p = static_cast<uint8_t*>(out);
    while (count > 0) {
      if (bufPos_ == bufLen_) Refill();
      const int64_t n = std::min(count, bufLen_ - bufPos_);
      std::memcpy(p, buffer_.data() + bufPos_, static_cast<size_t>(n));
      p += n;
      bufPos_ += n;
      count -= n;
    }
  }

  int32_t I32() {
    uint8_t b[4];
    Read(b, 4);
    return static_cast<int32_t>(ReadLE32(b));
  }

  int64_t I64() {
    uint8_t b[8];
    Read(b, 8);
    return static_cast<int64_t>(ReadLE64(b));
  }

private:
  void Refill() {
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(buffer_.size()), length_ - filePos_);
    if (want <= 0) RaiseDamaged("the index runs past the end of the file");
    const int64_t got = stream_.Read(buffer_.data(), want);
    if (got <= 0) RaiseDamaged("the index runs past the end of the file");
    filePos_ += got;
    bufPos_ = 0;
    bufLen_ = got;
  }

  TStream& stream_;
  int64_t filePos_;
  int64_t length_;
  std::vector<uint8_t>& buffer_;
  int64_t bufPos_ = 0;
  int64_t bufLen_ = 0;
};

// Two names denote the same file: equal absolute paths, or the same file reached another way.
// Letter case counts, as it does for the file system.
bool SamePath(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  const std::string ea = ExpandFileName(a);
  const std::string eb = ExpandFileName(b);
  if (ea == eb) return true;
  std::error_code ec;
  const bool same = std::filesystem::equivalent(ea, eb, ec);
  return !ec && same;
}

}  // namespace

// ---- TsdStorage ----

// Holds the storage's lock for one public operation and refuses a nested call on the same
// thread: the running operation's state is half-updated, so the nested one cannot be served.
class TsdStorage::TGuard {
public:
  explicit TGuard(TsdStorage& storage) : storage_(storage) {
    storage_.lock_.lock();
    if (storage_.busy_) {
      storage_.lock_.unlock();
      RaiseError("Warning: recursive call to sdStorage from event");
    }
    storage_.busy_ = true;
  }
  ~TGuard() {
    storage_.busy_ = false;
    storage_.lock_.unlock();
  }
  TGuard(const TGuard&) = delete;
  TGuard& operator=(const TGuard&) = delete;

private:
  TsdStorage& storage_;
};

TsdStorage::TsdStorage() : buffer_(static_cast<size_t>(kCopyBufferSize)), random_(std::random_device{}()) {
  NewMemoryStore();
}

TsdStorage::~TsdStorage() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  try {
    source_.reset();
    CloseStore();
  } catch (...) {
    // A destructor cannot report; the temporary file is at worst left behind.
  }
}

void TsdStorage::CloseStore() {
  // An owned working file lost its name when it was opened; closing it gives it back.
  store_.reset();
  workFileName_.clear();
  workOwned_ = false;
}

void TsdStorage::NewMemoryStore() {
  store_ = std::make_unique<TMemoryStream>();
  store_->WriteBuffer(kHeader, sizeof kHeader);
}

void TsdStorage::DoClear() {
  source_.reset();
  sourceFileName_.clear();
  CloseStore();
  index_.clear();
  NewMemoryStore();
}

void TsdStorage::ReadIndex(TStream& stream, bool inSource) {
  const int64_t length = stream.Size();
  uint8_t head[14];
  stream.SetPosition(0);
  if (length < 4 || stream.Read(head, 4) != 4 || std::memcmp(head, kHeader, 4) != 0) {
    RaiseError("File is not a storage file");
  }
  if (length < 14 || stream.Read(head + 4, 10) != 10) RaiseDamaged("the header is truncated");
  if (head[4] > kMajorVersion) RaiseError("File is wrong (future) version");
  const auto indexOffset = static_cast<int64_t>(ReadLE64(head + 6));
  if (indexOffset < kWorkingIndexOffset || indexOffset > length - 4) {
    RaiseDamaged("the index offset lies outside the file");
  }

  TIndexReader reader(stream, indexOffset, length, buffer_);
  const int32_t count = reader.I32();
  // Every entry takes at least its fixed 20 bytes, so the file's length bounds the count.
  if (count < 0 || count > reader.Remaining() / kEntryFixedSize) {
    RaiseDamaged("the stream count exceeds the file");
  }
  std::vector<TsdIndexItem> items;
  items.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    TsdIndexItem item;
    item.InSource = inSource;
    item.Offset = reader.I64();
    item.Size = reader.I64();
    const int32_t nameLength = reader.I32();
    if (item.Offset < 0 || item.Size < 0 || item.Offset > length || item.Size > length - item.Offset) {
      RaiseDamaged("a stream lies outside the file");
    }
    if (nameLength < 0 || nameLength > reader.Remaining()) {
      RaiseDamaged("a stream name runs past the end of the file");
    }
    item.Name.resize(static_cast<size_t>(nameLength));
    reader.Read(item.Name.data(), nameLength);
    items.push_back(std::move(item));
  }
  index_ = std::move(items);
}

int TsdStorage::FindEntry(const std::string& name) const {
  for (size_t i = 0; i < index_.size(); ++i) {
    if (SameText(index_[i].Name, name)) return static_cast<int>(i);
  }
  return -1;
}

int64_t TsdStorage::IndexLength() const {
  int64_t length = 12;
  for (const TsdIndexItem& item : index_) length += kEntryFixedSize + static_cast<int64_t>(item.Name.size());
  return length;
}

// The first gap between working-store streams that fits, else the end of the last of them. The
// end of the streams so far is a running maximum, so an empty stream lying at the start of
// another never makes that other's bytes look free.
int64_t TsdStorage::Allocate(int64_t size) const {
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (const TsdIndexItem& item : index_) {
    if (!item.InSource) spans.emplace_back(item.Offset, item.Offset + item.Size);
  }
  // Room for the index to grow before the first stream.
  if (spans.empty()) return IndexLength() + 512;
  std::sort(spans.begin(), spans.end());
  int64_t end = spans[0].second;
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].first - end >= size) return end;
    end = std::max(end, spans[i].second);
  }
  return end;
}

int64_t TsdStorage::UsedStoreEnd() const {
  int64_t end = kWorkingIndexOffset + 4;
  for (const TsdIndexItem& item : index_) {
    if (item.InSource) continue;
    end += kEntryFixedSize + static_cast<int64_t>(item.Name.size());
  }
  for (const TsdIndexItem& item : index_) {
    if (!item.InSource) end = std::max(end, item.Offset + item.Size);
  }
  return end;
}

bool TsdStorage::DirectMode() const { return !workFileName_.empty() && !workOwned_; }

void TsdStorage::SetStoreSize(int64_t size) {
  size = std::max(size, kMinStoreSize);
  if (workFileName_.empty() && size > store_->Size() && size > memoryCache_) MoveStoreToTempFile();
  store_->SetSize(size);
}

void TsdStorage::MoveStoreToTempFile() {
  // A store that cannot move stays in memory as it was: every stream it holds, and those of
  // pages not yet read, are still there for the next save. Only the write that needed the room
  // fails.
  std::string pattern = TempFolder() + "/~TMPXXXXXX.tmp";
  const int fd = ::mkstemps(pattern.data(), 4);
  if (fd < 0) RaiseError("Unable to create temporary file");
  ::close(fd);
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(pattern, TFileMode::fmOpenReadWrite);
    // The file needs no name once open: the system takes it back however the program ends.
    ::unlink(pattern.c_str());
    auto& memory = static_cast<TMemoryStream&>(*store_);
    file->WriteBuffer(memory.Memory(), memory.Size());
  } catch (const std::exception&) {
    file.reset();
    ::unlink(pattern.c_str());
    RaiseError("Unable to create temporary file");
  }
  store_ = std::move(file);
  workFileName_ = pattern;
  workOwned_ = true;
}

void TsdStorage::StoreWrite(int64_t position, const void* data, int64_t count) {
  if (position + count > store_->Size()) SetStoreSize(position + count);
  store_->SetPosition(position);
  store_->WriteBuffer(data, count);
}

void TsdStorage::CopyBlock(TStream& from, int64_t fromOffset, TStream& to, int64_t toOffset, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min(kCopyBufferSize, count - done);
    from.SetPosition(fromOffset + done);
    from.ReadBuffer(buffer_.data(), n);
    to.SetPosition(toOffset + done);
    to.WriteBuffer(buffer_.data(), n);
    done += n;
  }
}

void TsdStorage::WriteWorkingIndex() {
  // The index grows with every entry and may reach into the first stream, so move such streams
  // further back before writing it.
  const int64_t limit = IndexLength() + 6;
  for (;;) {
    int lowest = -1;
    for (size_t i = 0; i < index_.size(); ++i) {
      if (index_[i].InSource) continue;
      if (lowest < 0 || index_[i].Offset < index_[static_cast<size_t>(lowest)].Offset) lowest = static_cast<int>(i);
    }
    if (lowest < 0 || index_[static_cast<size_t>(lowest)].Offset >= limit) break;
    const int64_t offset = index_[static_cast<size_t>(lowest)].Offset;
    const int64_t size = index_[static_cast<size_t>(lowest)].Size;
    if (size == 0) {
      // No bytes to move; an empty stream may lie anywhere outside the index.
      index_[static_cast<size_t>(lowest)].Offset = limit;
      continue;
    }
    const int64_t place = Allocate(size);
    if (place > offset && place < offset + size) RaiseError("Blocks overlap in copying action");
    if (place + size > store_->Size()) SetStoreSize(place + size);
    CopyBlock(*store_, offset, *store_, place, size);
    index_[static_cast<size_t>(lowest)].Offset = place;
  }

  std::vector<uint8_t> offsetField;
  AppendLE64(offsetField, static_cast<uint64_t>(kWorkingIndexOffset));
  int32_t count = 0;
  for (const TsdIndexItem& item : index_) count += item.InSource ? 0 : 1;
  std::vector<uint8_t> bytes;
  AppendLE32(bytes, static_cast<uint32_t>(count));
  for (const TsdIndexItem& item : index_) {
    if (item.InSource) continue;
    AppendLE64(bytes, static_cast<uint64_t>(item.Offset));
    AppendLE64(bytes, static_cast<uint64_t>(item.Size));
    AppendLE32(bytes, static_cast<uint32_t>(item.Name.size()));
    bytes.insert(bytes.end(), item.Name.begin(), item.Name.end());
  }
  StoreWrite(6, offsetField.data(), static_cast<int64_t>(offsetField.size()));
  StoreWrite(kWorkingIndexOffset, bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TsdStorage::WriteCompact(TStream& dest) {
  std::vector<uint8_t> head(kHeader, kHeader + sizeof kHeader);
  AppendLE64(head, static_cast<uint64_t>(kCompactIndexOffset));
  head.push_back('\r');
  head.push_back('\n');
  head.insert(head.end(), kCreatorText, kCreatorText + 50);
  head.push_back('\r');
  head.push_back('\n');
  head.push_back(0);
  AppendLE32(head, static_cast<uint32_t>(index_.size()));
  int64_t offset = IndexLength() + 61;
  for (const TsdIndexItem& item : index_) {
    AppendLE64(head, static_cast<uint64_t>(offset));
    AppendLE64(head, static_cast<uint64_t>(item.Size));
    AppendLE32(head, static_cast<uint32_t>(item.Name.size()));
    head.insert(head.end(), item.Name.begin(), item.Name.end());
    offset += item.Size;
  }
  dest.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
  offset = static_cast<int64_t>(head.size());
  for (const TsdIndexItem& item : index_) {
    TStream& from = item.InSource ? static_cast<TStream&>(*source_) : *store_;
    CopyBlock(from, item.Offset, dest, offset, item.Size);
    offset += item.Size;
  }
}

void TsdStorage::DoOpen(const std::string& fileName) {
  DoClear();
  if (!FileExists(fileName)) return;
  try {
    source_ = std::make_unique<TFileStream>(fileName, TFileMode::fmOpenRead);
    sourceFileName_ = fileName;
    ReadIndex(*source_, true);
    WriteWorkingIndex();
  } catch (...) {
    DoClear();
    throw;
  }
}

void TsdStorage::DoOpenDirect(const std::string& fileName) {
  DoClear();
  try {
    if (!FileExists(fileName)) {
      store_ = std::make_unique<TFileStream>(fileName, TFileMode::fmCreate);
      workFileName_ = fileName;
      store_->WriteBuffer(kHeader, sizeof kHeader);
      WriteWorkingIndex();
    } else {
      store_ = std::make_unique<TFileStream>(fileName, TFileMode::fmOpenReadWrite);
      workFileName_ = fileName;
      ReadIndex(*store_, false);
    }
  } catch (...) {
    DoClear();
    throw;
  }
}

void TsdStorage::DoSaveToFile(const std::string& fileName) {
  if (!workFileName_.empty() && SamePath(workFileName_, fileName)) return;
  if (fileName.empty()) RaiseStreamError(Format("Cannot create file \"\". %s", std::strerror(ENOENT)));
  const bool overSource = source_ && SamePath(sourceFileName_, fileName);
  // Saving through a symbolic link replaces the file it points to and keeps the link; a target
  // that is not a regular file (a device, a pipe, a folder) is refused before anything is written.
  // The new file is written beside the old one and takes its place only when complete, so a
  // failure never leaves a truncated file where the user's file was; it takes the old file's
  // mode and, where allowed, its owner. An opened source file stays readable meanwhile, even
  // when it is the file being replaced.
  TAtomicFile file(fileName);
  const std::string target = file.Target();
  WriteCompact(file.Stream());
  file.Commit();
  if (!overSource) return;

  // The saved file holds every stream now: read them from it, as if it had just been opened.
  // Should it not open, the old source stays open and readable (the rename kept its data alive).
  int64_t total = IndexLength() + 61;
  for (const TsdIndexItem& item : index_) total += item.Size;
  std::unique_ptr<TFileStream> saved;
  try {
    saved = std::make_unique<TFileStream>(target, TFileMode::fmOpenRead);
  } catch (const Exception&) {
    return;
  }
  if (saved->Size() != total) return;
  int64_t offset = IndexLength() + 61;
  for (TsdIndexItem& item : index_) {
    item.InSource = true;
    item.Offset = offset;
    offset += item.Size;
  }
  source_ = std::move(saved);
  CloseStore();
  NewMemoryStore();
  WriteWorkingIndex();
}

// ---- public operations ----

void TsdStorage::Clear() {
  TGuard guard(*this);
  DoClear();
}

void TsdStorage::Open(const std::string& fileName) {
  TGuard guard(*this);
  DoOpen(fileName);
}

void TsdStorage::OpenDirect(const std::string& fileName) {
  TGuard guard(*this);
  DoOpenDirect(fileName);
}

void TsdStorage::LoadFromStream(TStream& stream) {
  TGuard guard(*this);
  DoClear();
  try {
    const int64_t size = stream.Size();
    SetStoreSize(size);
    stream.SetPosition(0);
    int64_t done = 0;
    while (done < size) {
      const int64_t n = std::min(kCopyBufferSize, size - done);
      stream.ReadBuffer(buffer_.data(), n);
      store_->SetPosition(done);
      store_->WriteBuffer(buffer_.data(), n);
      done += n;
    }
    ReadIndex(*store_, false);
  } catch (...) {
    DoClear();
    throw;
  }
}

void TsdStorage::SaveToFile(const std::string& fileName) {
  TGuard guard(*this);
  DoSaveToFile(fileName);
}

void TsdStorage::SaveToStream(TStream& stream) {
  TGuard guard(*this);
  // Offsets in the compact form are absolute, so a storage written further on would be unreadable.
  if (stream.Position() != 0) RaiseError("Storage can only be saved at the start of a stream");
  WriteCompact(stream);
}

int TsdStorage::StreamCount() {
  TGuard guard(*this);
  return static_cast<int>(index_.size());
}

std::string TsdStorage::StreamName(int index) {
  TGuard guard(*this);
  if (index < 0 || static_cast<size_t>(index) >= index_.size()) return {};
  return index_[static_cast<size_t>(index)].Name;
}

int64_t TsdStorage::StreamSize(int index) {
  TGuard guard(*this);
  if (index < 0 || static_cast<size_t>(index) >= index_.size()) return -1;
  return index_[static_cast<size_t>(index)].Size;
}

int TsdStorage::StreamIndex(const std::string& name) {
  TGuard guard(*this);
  return FindEntry(name);
}

bool TsdStorage::StreamExists(const std::string& name) {
  TGuard guard(*this);
  return FindEntry(name) >= 0;
}

void TsdStorage::ReadStream(const std::string& name, TStream& dest) {
  TGuard guard(*this);
  const int i = FindEntry(name);
  if (i < 0) RaiseError(Format("Stream \"%s\" not found in the storage", name.c_str()));
  const TsdIndexItem item = index_[static_cast<size_t>(i)];
  TStream& from = item.InSource ? static_cast<TStream&>(*source_) : *store_;
  dest.SetSize(item.Size);
  CopyBlock(from, item.Offset, dest, 0, item.Size);
  dest.SetPosition(0);
}

void TsdStorage::WriteStream(const std::string& name, TStream& source) {
  TGuard guard(*this);
  const int64_t size = source.Size();
  if (size < 0) RaiseStreamError("Stream read error");
  const int i = FindEntry(name);
  const int64_t storeSize = store_->Size();
  // The new bytes always go to a free place first (the old stream still occupies its own), so a
  // source that fails midway leaves the old stream whole; only the grown end is cut back.
  const int64_t place = Allocate(size);
  try {
    if (place + size > store_->Size()) SetStoreSize(place + size);
    CopyBlock(source, 0, *store_, place, size);
  } catch (...) {
    try {
      if (store_->Size() > storeSize) store_->SetSize(storeSize);
    } catch (const Exception&) {
      // The source's error is the one to report; a store left longer holds nothing indexed.
    }
    throw;
  }
  if (i < 0) {
    index_.push_back(TsdIndexItem{name, false, place, size});
    WriteWorkingIndex();
    return;
  }
  TsdIndexItem& item = index_[static_cast<size_t>(i)];
  const bool reuse = !item.InSource && size <= item.Size;
  const int64_t oldOffset = item.Offset;
  if (reuse) {
    // A stream that does not grow keeps its place. The file of direct mode names the new copy
    // meanwhile, so that a crash while it is copied back leaves a whole stream either way. The
    // old name is kept until then, so the index keeps its length and moves nothing.
    item = TsdIndexItem{item.Name, false, place, size};
    if (DirectMode()) WriteWorkingIndex();
    CopyBlock(*store_, place, *store_, oldOffset, size);
    item.Offset = oldOffset;
  }
  item.Name = name;
  item.InSource = false;
  item.Offset = reuse ? oldOffset : place;
  item.Size = size;
  WriteWorkingIndex();
  if (store_->Size() > storeSize) SetStoreSize(std::max(storeSize, UsedStoreEnd()));
}

void TsdStorage::DeleteStream(const std::string& name) {
  TGuard guard(*this);
  const int i = FindEntry(name);
  if (i < 0) return;
  index_.erase(index_.begin() + i);
  // The index first: cutting the store back first would leave a file of direct mode without an
  // index, should anything stop in between.
  WriteWorkingIndex();
  SetStoreSize(UsedStoreEnd());
}

void TsdStorage::RenameStream(const std::string& oldName, const std::string& newName) {
  TGuard guard(*this);
  const int i = FindEntry(oldName);
  if (i < 0) return;
  index_[static_cast<size_t>(i)].Name = newName;
  WriteWorkingIndex();
}

std::string TsdStorage::UniqueStreamName(const std::string& suffix) {
  TGuard guard(*this);
  std::uniform_int_distribution<int> digits(0, 9999999);
  for (;;) {
    std::string name = Format("TMP%07d", digits(random_)) + suffix;
    if (FindEntry(name) < 0) return name;
  }
}

bool TsdStorage::IsTempStreamName(const std::string& name) { return name.compare(0, 3, "TMP") == 0; }

std::string TsdStorage::FileName() {
  TGuard guard(*this);
  if (source_) return sourceFileName_;
  if (!workOwned_) return workFileName_;
  return {};
}

void TsdStorage::SetFileName(const std::string& fileName) {
  TGuard guard(*this);
  const std::string current = source_ ? sourceFileName_ : (workOwned_ ? std::string() : workFileName_);
  if (fileName == current) return;
  if (autoSave_) {
    DoOpenDirect(fileName);
  } else {
    DoOpen(fileName);
  }
}

bool TsdStorage::AutoSave() {
  TGuard guard(*this);
  return autoSave_;
}

void TsdStorage::SetAutoSave(bool value) {
  TGuard guard(*this);
  if (value == autoSave_) return;
  autoSave_ = value;
  const std::string current = source_ ? sourceFileName_ : (workOwned_ ? std::string() : workFileName_);
  if (current.empty()) return;
  if (value) {
    DoOpenDirect(current);
  } else {
    DoOpen(current);
  }
}

int32_t TsdStorage::MemoryCache() {
  TGuard guard(*this);
  return memoryCache_;
}

void TsdStorage::SetMemoryCache(int32_t value) {
  TGuard guard(*this);
  if (value == memoryCache_) return;
  memoryCache_ = value;
  // Only a memory store is trimmed and moved; a file store (temporary or the direct-mode file)
  // stays as it is, since cutting a file back could cut away an index it still holds.
  if (!workFileName_.empty()) return;
  const int64_t used = UsedStoreEnd();
  if (used > memoryCache_) MoveStoreToTempFile();
  store_->SetSize(used);
  WriteWorkingIndex();
}

std::string TsdStorage::WorkingFileName() {
  TGuard guard(*this);
  return workFileName_;
}

}  // namespace sw
