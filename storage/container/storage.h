// The storage container: any number of named byte streams kept in one storage file.
//
// Opening a file reads only its index; stream bytes stay in the file until they are read. New or
// replaced streams go to a private working store (memory up to MemoryCache, then a temporary
// file). Saving writes a fresh compact file. In direct mode the file itself is the working store
// and every change is on disk at once.
//
// Every operation takes the storage's re-entrant lock for its whole duration, so the user-interface
// thread and the picture-cache thread may share one storage. A call made on the same thread while
// another operation of the same storage is still running (from a stream callback, for instance) is
// refused with "Warning: recursive call to sdStorage from event".
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "base/quick_mem_stream.h"  // the stream callers move data in and out with
#include "base/stream.h"

namespace sw {

// One entry of the in-memory index.
struct TsdIndexItem {
  std::string Name;       // stream name, 8-bit characters
  bool InSource = false;  // true: the bytes still lie in the opened source file; false: in the working store
  int64_t Offset = 0;     // position of the first byte in the source file or the working store
  int64_t Size = 0;       // number of bytes
};

class TsdStorage {
public:
  TsdStorage();
  // Deletes an owned temporary working file and closes both files.
  ~TsdStorage();
  TsdStorage(const TsdStorage&) = delete;
  TsdStorage& operator=(const TsdStorage&) = delete;

  // Closes the files (deleting an owned temporary one), empties the index, starts a memory store.
  void Clear();
  // Opens a file read-only, reading only its index; a missing file leaves the storage empty
  // without error. Any error clears the storage and is passed on.
  void Open(const std::string& fileName);
  // Direct mode: the file becomes the working store and every change is written to it at once.
  // A missing file is created (18 bytes). Any error clears the storage and is passed on.
  void OpenDirect(const std::string& fileName);
  // Copies the whole stream (from position 0) into the working store and reads its index.
  // Any error clears the storage and is passed on.
  void LoadFromStream(TStream& stream);
  // Writes the compact form to the file; does nothing when the file is the direct-mode file.
  // The file is replaced only once the new one is completely written: a failure leaves the old
  // file untouched. Saving over the opened source file keeps the storage opened on the new file.
  void SaveToFile(const std::string& fileName);
  // Writes the compact form; offsets are absolute, so the stream must be at position 0 (else an
  // error is raised and nothing is written).
  void SaveToStream(TStream& stream);

  // Number of index entries.
  int StreamCount();
  // Name of the entry at index; empty for an index out of range.
  std::string StreamName(int index);
  // Size in bytes of the entry at index; -1 for an index out of range.
  int64_t StreamSize(int index);
  // Index of the first entry with that name (letter case ignored); -1 if none.
  int StreamIndex(const std::string& name);
  // True when an entry with that name (letter case ignored) exists.
  bool StreamExists(const std::string& name);
  // Replaces dest's contents with the stream's bytes and leaves dest at position 0. Raises
  // "Stream "%s" not found in the storage" for an unknown name.
  void ReadStream(const std::string& name, TStream& dest);
  // Stores the whole source (read from position 0) under the name, replacing the first entry of
  // that name or appending a new one. The source's position is not restored. A source that fails
  // midway raises its error and leaves the old stream (or its absence) as it was.
  void WriteStream(const std::string& name, TStream& source);
  // Removes the first entry with that name and cuts the working store back to what is still used;
  // an unknown name does nothing.
  void DeleteStream(const std::string& name);
  // Renames the first entry with oldName; an unknown name does nothing. Duplicates are allowed.
  void RenameStream(const std::string& oldName, const std::string& newName);
  // "TMP", seven random decimal digits and the suffix, unused by any entry.
  std::string UniqueStreamName(const std::string& suffix);
  // True when the name starts with exactly "TMP" (letter case counts).
  static bool IsTempStreamName(const std::string& name);

  // The source file name after Open, the file name after OpenDirect, else empty.
  std::string FileName();
  // When different from the current name: OpenDirect if AutoSave, else Open.
  void SetFileName(const std::string& fileName);
  // Direct mode on FileName (default false).
  bool AutoSave();
  // When the value changes and FileName is not empty, reopens the file in the new mode; unsaved
  // changes are dropped.
  void SetAutoSave(bool value);
  // Bytes the working store may hold in memory before it moves to a temporary file (10 MiB).
  int32_t MemoryCache();
  // A smaller limit moves an already larger memory store to a temporary file at once.
  void SetMemoryCache(int32_t value);
  // The temporary or direct-mode file holding the working store; empty while it is in memory. A
  // temporary file is unlinked as soon as it is open, so its name no longer exists.
  std::string WorkingFileName();

  // Size of the copy buffer every transfer goes through.
  static constexpr int64_t kCopyBufferSize = 61440;
  // Bytes of the compact header: magic, versions, index offset and the 55-byte creator note.
  static constexpr int64_t kCompactIndexOffset = 69;
  // Index offset of the working form.
  static constexpr int64_t kWorkingIndexOffset = 14;

private:
  class TGuard;
  friend class TGuard;

  void DoClear();
  void DoOpen(const std::string& fileName);
  void DoOpenDirect(const std::string& fileName);
  void CloseStore();
  void NewMemoryStore();
  void ReadIndex(TStream& stream, bool inSource);
  int FindEntry(const std::string& name) const;
  int64_t IndexLength() const;
  int64_t Allocate(int64_t size) const;
  int64_t UsedStoreEnd() const;
  bool DirectMode() const;
  void SetStoreSize(int64_t size);
  void MoveStoreToTempFile();
  void StoreWrite(int64_t position, const void* data, int64_t count);
  void CopyBlock(TStream& from, int64_t fromOffset, TStream& to, int64_t toOffset, int64_t count);
  void WriteWorkingIndex();
  void WriteCompact(TStream& dest);
  void DoSaveToFile(const std::string& fileName);

  bool busy_ = false;
  bool autoSave_ = false;
  std::recursive_mutex lock_;
  int32_t memoryCache_ = 10485760;
  std::unique_ptr<TStream> store_;
  std::string workFileName_;
  bool workOwned_ = false;
  std::unique_ptr<TFileStream> source_;
  std::string sourceFileName_;
  std::vector<TsdIndexItem> index_;
  std::vector<uint8_t> buffer_;
  std::mt19937 random_;
};

}  // namespace sw
