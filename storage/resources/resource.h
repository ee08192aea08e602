// TdtpResource: one picture of a document, moved on demand between three forms (nothing in
// memory, its encoded bytes, the decoded bitmap), and knowing where a saved document holds its
// bytes: nowhere, in an external file, in a stream of the document's storage, or embedded in its
// own XML description.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raster/bitmap32.h"
#include "storage/resources/map_stream.h"

namespace sw {

class TXmlNode;
class TsdStorage;
class TDecodedPictures;
class TdtpResource;
class TdtpResourceThread;

// Where a saved document holds a resource's bytes. The values and names are stored in files.
enum class TdtpStorageKind : uint8_t {
  None = 0,      // nowhere; lives only in memory. Unloading keeps the data.
  External = 1,  // in the file named by FileName. Unloading keeps nothing.
  Archive = 2,   // in the stream ArchiveName of the document's storage. Unloading keeps nothing.
  Embedded = 3,  // in the resource's XML description (the default). Unloading keeps the data.
};

// "None", "External", "Archive", "Embedded".
const char* StorageKindName(TdtpStorageKind kind);
// The kind whose name equals text exactly (letter case matters); false when none does.
bool StorageKindByName(const std::string& text, TdtpStorageKind& kind);

// What a resource needs of the document it belongs to; the document implements it.
class IResourceContainer {
public:
  virtual ~IResourceContainer() = default;
  // The document's archive storage; null when it has none.
  virtual TsdStorage* ResourceStorage() = 0;
  // The folder of the document's file, against which relative external file names are resolved;
  // empty when there is none (relative names then stand for themselves).
  virtual std::string ResourceFolder() = 0;
  // Where pictures whose bytes several resources share are decoded once, the resources holding
  // one bitmap between them: a document that has a pool changes no picture in place. Null (the
  // default): every resource decodes its own.
  virtual TDecodedPictures* DecodedPictures() { return nullptr; }
};

using TResourceEvent = std::function<void(TdtpResource* sender)>;

class TdtpResource {
public:
  // State: 0 nothing in memory, 1 the data, 2 the bitmap (or a changed bitmap not yet encoded).
  static constexpr int kStateEmpty = 0;
  static constexpr int kStateData = 1;
  static constexpr int kStateBitmap = 2;

  // Empty data, kind Embedded, registered at the front of the picture cache.
  TdtpResource();
  // Leaves the cache; stores nothing.
  virtual ~TdtpResource();
  TdtpResource(const TdtpResource&) = delete;
  TdtpResource& operator=(const TdtpResource&) = delete;

  virtual const char* ClassName() const { return "TdtpResource"; }

  // Copies the source through its XML description; the copy never shares the source's archive
  // stream, and bytes that live outside the description travel along. A null source raises
  // "Cannot assign a nil to a TdtpResource".
  virtual void Assign(TdtpResource* source);
  // Memory counted by the cache besides the data: the data's size while a bitmap is held, else 0.
  virtual int64_t MemorySize();
  // Adds the archive streams the resource uses (at most its ArchiveName).
  virtual void ListResources(std::vector<std::string>& names);
  // Empties the data, the names and the flags; frees the bitmap (raising picture-changed when
  // there was one). The kind stays.
  virtual void Clear();
  // What a trim does: nothing while accessed; External and Archive drop to state 0 (their bytes
  // stored first when changed), None and Embedded to state 1 (the bitmap encoded first).
  virtual void Unload();
  // Lets a decoded bitmap go while keeping the bytes it came from, so that the next use decodes
  // it again and nothing is lost. Nothing happens while anyone else holds an access bracket (on
  // this thread or another) or while the bitmap has changes not yet encoded: encoding it again
  // could alter the picture. Returns true when a bitmap was freed.
  bool ReleaseBitmap();
  // Reads the description written by SaveToXml. Nothing is decoded.
  virtual void LoadFromXml(TXmlNode& node);
  // Writes "ClassName", the embedded "Data", "ArchiveName", "FileName" and "Storage", storing
  // External and Archive data in their stores first.
  virtual void SaveToXml(TXmlNode& node);

  // Bracket every use of the resource and of its bitmap, on one thread. EndAccess without
  // BeginAccess raises "Access count mismatch"; on a thread that opened no bracket it raises
  // "EndAccess called on a thread without BeginAccess" and changes nothing.
  void BeginAccess();
  void EndAccess();
  int32_t AccessCount() const { return accessCount_.load(); }

  int State() const;
  // Brings the resource to state 0, 1 or 2 as far as its kind allows: unsaved Embedded or None
  // data stays, so such a resource goes no lower than state 1.
  void EnsureState(int target);

  // The largest file LoadFromFile reads.
  static constexpr int64_t kMaxFileBytes = int64_t(256) << 20;
  // How LoadFromFile proves the file a picture: by decoding it whole, or by what its header says
  // where the format's header tells the size (a JPEG; other pictures are still decoded). A file
  // taken on its header shows damage behind it when it is first drawn.
  enum class TLoadProof : uint8_t { Decode, Header };
  // Takes the picture file's bytes as the data, once they have proved to be a picture: the
  // resource is unchanged when they do not. A missing file raises "File does not exist: %s"
  // with the name as given; a folder, a device, a pipe, an empty file, one above kMaxFileBytes
  // and one whose content is refused raise an error naming the file and the fault. A picture
  // decoded from damaged data loads, and LoadWarning says what is wrong with it.
  void LoadFromFile(const std::string& fileName, TLoadProof proof = TLoadProof::Decode);
  // The warning of the last LoadFromFile; empty when the picture was whole.
  const std::string& LoadWarning() const { return loadWarning_; }

  TdtpStorageKind StorageKind() const { return kind_; }
  // Moves the data to the new kind's store; nothing when the kind is unchanged.
  void SetStorageKind(TdtpStorageKind kind);

  const std::string& ArchiveName() const { return archiveName_; }
  void SetArchiveName(const std::string& name) { archiveName_ = name; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name) { fileName_ = name; }
  // The extension of FileName in lower case with its point; empty when there is none.
  std::string DataExtension() const;

  TMapStream& Data() { return data_; }
  bool BitmapModified() const { return bitmapModified_; }
  bool DataModified() const { return dataModified_; }
  bool DataLoaded() const { return dataLoaded_; }
  // True while a decoded bitmap is held (nothing is decoded by asking).
  bool HasBitmap() const { return bitmap_ != nullptr; }

  IResourceContainer* Container() const { return container_; }
  void SetContainer(IResourceContainer* container) { container_ = container; }
  // The container's storage, or null.
  TsdStorage* Storage() const;

  // Moves the resource to the front of the picture cache.
  void Touch();

  // Raised by LoadFromFile.
  TResourceEvent OnPictureLoaded;
  // Raised whenever the bitmap is replaced, cleared or changed; StoreData follows the handler.
  TResourceEvent OnPictureChanged;

protected:
  // The steps of the state machine.
  void Encode();
  void Decode();
  void ReadData();
  void StoreData();
  void DropBitmap();
  void DropData();

  // The stores.
  void ReadExternal();
  void WriteExternal();
  void ReadArchive();
  void WriteArchive();
  void ReadEmbedded(TXmlNode& node);
  void WriteEmbedded(TXmlNode& node);

  // Encodes the bitmap into the data; the base raises "No method for object storing defined".
  virtual void StoreObject();
  // Decodes the data into a new bitmap; the base raises "No method for object loading defined".
  virtual void LoadObject();
  // Fills the data from the file FileName; the base copies its bytes.
  virtual void ReadFile();
  // LoadFromFile's look at a file before it is read whole (file at its start); raises when the
  // content cannot be what the resource holds. The base accepts any file.
  virtual void CheckFile(const std::string& fileName, TStream& file);
  // LoadFromFile's proof that the new data is good, raising when not; may decode it into the
  // bitmap and set loadWarning_. The base accepts any data.
  virtual void VerifyData(TLoadProof proof);

  void DoPictureLoaded();
  void DoPictureChanged();
  // Leaves the picture cache; derived destructors call it first, so that a trim on the cache
  // thread never reaches a half-destroyed resource.
  void Unregister();
  // FileName as the file system should see it: relative names are resolved against the
  // container's folder when it names one.
  std::string ExternalPath() const;

  std::atomic<int32_t> accessCount_{0};
  std::string archiveName_;
  std::string fileName_;
  bool bitmapModified_ = false;
  TMapStream data_;
  bool dataModified_ = false;
  bool dataLoaded_ = false;
  TdtpStorageKind kind_ = TdtpStorageKind::Embedded;
  IResourceContainer* container_ = nullptr;
  // Shared only with a document's pool of decoded pictures (see IResourceContainer).
  std::shared_ptr<TBitmap32> bitmap_;
  std::string loadWarning_;

private:
  friend class TdtpResourceThread;
  // The picture cache's list runs through these, guarded by the process-wide lock. The
  // generation names the thread whose list holds the resource (0: none).
  uint64_t cacheGeneration_ = 0;
  TdtpResource* cachePrev_ = nullptr;
  TdtpResource* cacheNext_ = nullptr;
};

// An access bracket for a scope.
class TResourceAccess {
public:
  explicit TResourceAccess(TdtpResource& resource) : resource_(resource) { resource_.BeginAccess(); }
  // A bracket opened here is always balanced; should someone else have closed it meanwhile, the
  // mismatch is not raised from a destructor.
  ~TResourceAccess() {
    try {
      resource_.EndAccess();
    } catch (...) {
    }
  }
  TResourceAccess(const TResourceAccess&) = delete;
  TResourceAccess& operator=(const TResourceAccess&) = delete;

private:
  TdtpResource& resource_;
};

}  // namespace sw
