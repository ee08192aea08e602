#include "storage/resources/resource.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "base/exception.h"
#include "base/stream.h"
#include "base/strings.h"
#include "storage/xml/native_xml.h"
#include "storage/resources/resource_thread.h"
#include "storage/container/storage.h"

namespace sw {

namespace {

const char* const kKindNames[] = {"None", "External", "Archive", "Embedded"};

// Sets a document's BinaryForm for a scope and puts the old one back, after an error too.
class TBinaryFormScope {
public:
  TBinaryFormScope(TNativeXml* document, TXmlBinaryForm form) : document_(document) {
    if (document_) {
      old_ = document_->BinaryForm();
      document_->SetBinaryForm(form);
    }
  }
  ~TBinaryFormScope() {
    if (document_) document_->SetBinaryForm(old_);
  }
  TBinaryFormScope(const TBinaryFormScope&) = delete;
  TBinaryFormScope& operator=(const TBinaryFormScope&) = delete;

private:
  TNativeXml* document_;
  TXmlBinaryForm old_ = TXmlBinaryForm::Base64;
};

// Copies a stream's bytes from its start into the data, in chunks.
void CopyIntoData(TStream& source, TMapStream& data) {
  data.Clear();
  const int64_t size = source.Size();
  if (size > TMapStream::kMaxSize) {
    RaiseStreamError(Format("Stream size %lld is out of range", static_cast<long long>(size)));
  }
  source.SetPosition(0);
  // A count of 0 would mean "until the source ends", which never comes for a device such as
  // /dev/zero: an empty source copies nothing.
  if (size > 0) data.CopyFrom(source, size);
  data.SetPosition(0);
}

}  // namespace

const char* StorageKindName(TdtpStorageKind kind) {
  const auto index = static_cast<size_t>(kind);
  return index < 4 ? kKindNames[index] : "";
}

bool StorageKindByName(const std::string& text, TdtpStorageKind& kind) {
  for (size_t i = 0; i < 4; ++i) {
    if (text == kKindNames[i]) {
      kind = static_cast<TdtpStorageKind>(i);
      return true;
    }
  }
  return false;
}

// ---- life and cache ----

TdtpResource::TdtpResource() { RegisterResource(this); }

TdtpResource::~TdtpResource() { Unregister(); }

void TdtpResource::Unregister() { UnregisterResource(this); }

void TdtpResource::Touch() { TouchResource(this); }

void TdtpResource::BeginAccess() {
  // The count goes up before the lock is requested, so that a trim in progress skips a resource
  // whose user is waiting for it.
  accessCount_.fetch_add(1);
  LockResources();
}

void TdtpResource::EndAccess() {
  if (accessCount_.load() <= 0) RaiseError("Access count mismatch");
  // A bracket opened on another thread holds that thread's lock; lowering the count here would
  // let a trim unload the resource under that user.
  if (!TryUnlockResources()) RaiseError("EndAccess called on a thread without BeginAccess");
  accessCount_.fetch_sub(1);
}

// ---- plain properties ----

std::string TdtpResource::DataExtension() const { return LowerCase(ExtractFileExt(fileName_)); }

TsdStorage* TdtpResource::Storage() const {
  return container_ ? container_->ResourceStorage() : nullptr;
}

std::string TdtpResource::ExternalPath() const {
  if (fileName_.empty() || fileName_[0] == '/' || !container_) return fileName_;
  std::string folder = container_->ResourceFolder();
  if (folder.empty()) return fileName_;
  if (folder.back() != '/') folder += '/';
  return folder + fileName_;
}

int64_t TdtpResource::MemorySize() { return bitmap_ ? data_.Size() : 0; }

void TdtpResource::ListResources(std::vector<std::string>& names) {
  if (kind_ == TdtpStorageKind::Archive && !archiveName_.empty()) names.push_back(archiveName_);
}

void TdtpResource::StoreObject() { RaiseError("No method for object storing defined"); }

void TdtpResource::LoadObject() { RaiseError("No method for object loading defined"); }

void TdtpResource::ReadFile() {
  TFileStream file(ExternalPath(), TFileMode::fmOpenRead);
  if (file.Size() > kMaxFileBytes) {
    RaiseStreamError(Format("File %s is larger than %lld bytes", QuoteForMessage(ExternalPath(), 120).c_str(),
                            static_cast<long long>(kMaxFileBytes)));
  }
  CopyIntoData(file, data_);
}

// ---- notifications ----

void TdtpResource::DoPictureLoaded() {
  if (OnPictureLoaded) OnPictureLoaded(this);
}

void TdtpResource::DoPictureChanged() {
  if (OnPictureChanged) OnPictureChanged(this);
  TResourceAccess access(*this);
  StoreData();
}

// ---- states ----

int TdtpResource::State() const {
  if (bitmap_ || bitmapModified_) return kStateBitmap;
  if (data_.Length() > 0 || dataModified_) return kStateData;
  return kStateEmpty;
}

// The flags record which form is newest: bitmap modified (the bitmap, not yet encoded), data
// modified (the data, not yet in its store); data loaded records that the data came from its
// store. Lowering a state first encodes a changed bitmap and stores changed data; data that has
// no other store (kinds None and Embedded) is never dropped while it is marked modified.
void TdtpResource::EnsureState(int target) {
  TResourceAccess access(*this);
  const int state = State();
  if (state == target) return;
  switch (target) {
    case kStateEmpty:
      if (state == kStateBitmap) DropBitmap();
      if (State() == kStateData) DropData();
      break;
    case kStateData:
      if (state == kStateEmpty) {
        ReadData();
      } else if (state == kStateBitmap) {
        DropBitmap();
      }
      break;
    case kStateBitmap:
      if (state == kStateEmpty) ReadData();
      if (State() == kStateData) Decode();
      break;
    default:
      break;
  }
}

void TdtpResource::Encode() {
  if (!bitmapModified_) return;
  data_.Clear();
  if (bitmap_) {
    try {
      StoreObject();
    } catch (...) {
      // Half-written bytes are no picture; the bitmap stays the newest form.
      data_.Clear();
      throw;
    }
  }
  dataModified_ = true;
  bitmapModified_ = false;
}

void TdtpResource::Decode() {
  TResourceAccess access(*this);
  if (bitmapModified_) return;
  bitmap_.reset();
  ReadData();
  if (data_.Size() == 0) return;
  data_.SetPosition(0);
  LoadObject();
  bitmapModified_ = false;
}

void TdtpResource::ReadData() {
  if (bitmapModified_) {
    Encode();
    return;
  }
  if (dataModified_ || dataLoaded_) return;
  switch (kind_) {
    case TdtpStorageKind::External: ReadExternal(); break;
    case TdtpStorageKind::Archive: ReadArchive(); break;
    default: break;
  }
}

void TdtpResource::StoreData() {
  Encode();
  if (!dataModified_) return;
  switch (kind_) {
    case TdtpStorageKind::External: WriteExternal(); break;
    case TdtpStorageKind::Archive: WriteArchive(); break;
    default: break;  // None and Embedded keep the data marked modified
  }
}

void TdtpResource::DropBitmap() {
  Encode();
  bitmap_.reset();
}

void TdtpResource::DropData() {
  StoreData();
  if (dataModified_) return;
  data_.Clear();
  dataLoaded_ = false;
}

void TdtpResource::Unload() {
  if (accessCount_.load() > 0) return;
  if (kind_ == TdtpStorageKind::External || kind_ == TdtpStorageKind::Archive) {
    EnsureState(kStateEmpty);
  } else {
    EnsureState(kStateData);
  }
}

bool TdtpResource::ReleaseBitmap() {
  TResourceAccess access(*this);
  // Ours is the one bracket: a user holding the bitmap's address counts in accessCount_.
  if (accessCount_.load() > 1 || bitmapModified_ || !bitmap_) return false;
  bitmap_.reset();
  return true;
}

// ---- stores ----

void TdtpResource::ReadExternal() {
  data_.Clear();
  dataModified_ = false;
  // The file is looked for under its name only; a file that has moved is not searched for. Only
  // plain files are read: a document naming a device or a pipe gets no picture.
  if (fileName_.empty() || !FileExists(ExternalPath())) return;
  std::error_code error;
  if (!std::filesystem::is_regular_file(ExternalPath(), error)) return;
  ReadFile();
  dataLoaded_ = true;
  switch (kind_) {
    case TdtpStorageKind::Archive:
      archiveName_ = fileName_;
      dataModified_ = true;
      break;
    case TdtpStorageKind::None:
    case TdtpStorageKind::Embedded:
      dataModified_ = true;
      break;
    case TdtpStorageKind::External:
      break;
  }
}

void TdtpResource::WriteExternal() {
  // An existing file is never overwritten; the data then stays marked modified. Names that
  // begin with "." are bare extensions (".hck" of a picture made in memory), not files.
  if (!dataModified_ || fileName_.empty() || fileName_[0] == '.') return;
  const std::string path = ExternalPath();
  if (FileExists(path)) return;
  if (data_.Size() > 0) {
    try {
      TFileStream file(path, TFileMode::fmCreate);
      data_.SetPosition(0);
      file.CopyFrom(data_, data_.Size());
      file.Flush();
    } catch (...) {
      // A partial file would block every later attempt, since files are never overwritten.
      std::remove(path.c_str());
      throw;
    }
  }
  dataModified_ = false;
}

void TdtpResource::ReadArchive() {
  data_.Clear();
  dataModified_ = false;
  TsdStorage* storage = Storage();
  if (archiveName_.empty() || !storage) return;
  try {
    storage->ReadStream(archiveName_, data_);
  } catch (const std::exception&) {
    // A missing or unreadable stream means no picture; it is not reported.
    data_.Clear();
  }
  if (data_.Size() == 0) archiveName_.clear();
  data_.SetPosition(0);
  dataLoaded_ = true;
}

void TdtpResource::WriteArchive() {
  TsdStorage* storage = Storage();
  if (!dataModified_ || !storage) return;
  if (data_.Size() > 0) {
    if (archiveName_.empty()) archiveName_ = storage->UniqueStreamName(DataExtension());
    data_.SetPosition(0);
    storage->WriteStream(archiveName_, data_);
    data_.SetPosition(0);
  } else if (!archiveName_.empty()) {
    storage->DeleteStream(archiveName_);
    archiveName_.clear();
  }
  dataModified_ = false;
}

void TdtpResource::ReadEmbedded(TXmlNode& node) {
  dataModified_ = false;
  data_.Clear();
  TXmlNode* dataNode = node.FindChild("Data");
  if (!dataNode) return;
  const int32_t size = dataNode->ReadInteger("Size", 0);
  if (size == 0) return;
  if (size < 0) RaiseFilerError(Format("Invalid embedded data size %d", size));
  const std::string filter = dataNode->ReadString("Filter");
  TXmlBinaryForm form;
  if (filter == "BinHex") {
    form = TXmlBinaryForm::Hex;
  } else if (filter == "Base64") {
    form = TXmlBinaryForm::Base64;
  } else {
    RaiseError("Unsupported binary encoding");
  }
  TXmlNode* buffer = dataNode->FindChild("Buffer");
  if (!buffer) return;

  // The text is read in the form its filter names. A node without document reads with the
  // program-wide defaults, which must not be changed, so it is read through a copy instead.
  TBinaryFormScope scope(buffer->Document(), form);
  std::unique_ptr<TNativeXml> scratch;
  const TXmlNode* reader = buffer;
  if (!buffer->Document()) {
    scratch = std::make_unique<TNativeXml>();
    scratch->SetBinaryForm(form);
    scratch->Root()->SetRawValue(buffer->RawValue());
    reader = scratch->Root();
  }
  // The stated size must be what the text holds: checked before anything is allocated.
  const int64_t available = reader->BinaryLength();
  if (size > available) RaiseFilerError("Missing data in binary stream");
  if (size < available) RaiseFilerError("Embedded data size does not match its buffer");
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  reader->ReadBinary(bytes.data(), size);
  data_.SetBytes(bytes.data(), size);
}

void TdtpResource::WriteEmbedded(TXmlNode& node) {
  dataModified_ = false;
  const int64_t size = data_.Size();
  if (size == 0) return;
  TXmlNode* dataNode = node.NewChild("Data");
  dataNode->WriteInteger("Size", size);
  if (TNativeXml* document = node.Document()) document->SetBinaryForm(TXmlBinaryForm::Base64);
  dataNode->WriteString("Filter", "Base64");
  TXmlNode* buffer = dataNode->NewChild("Buffer");
  const std::vector<uint8_t> bytes = data_.Bytes();
  if (node.Document() || buffer->Settings().BinaryForm == TXmlBinaryForm::Base64) {
    buffer->WriteBinary(bytes.data(), size);
  } else {
    // Without a document the defaults decide the form; encode through a Base64 document.
    TNativeXml scratch;
    scratch.SetBinaryForm(TXmlBinaryForm::Base64);
    scratch.Root()->WriteBinary(bytes.data(), size);
    buffer->SetRawValue(scratch.Root()->RawValue());
  }
}

// ---- XML description ----

void TdtpResource::SaveToXml(TXmlNode& node) {
  TResourceAccess access(*this);
  node.WriteString("ClassName", ClassName());
  Encode();
  switch (kind_) {
    case TdtpStorageKind::External: WriteExternal(); break;
    case TdtpStorageKind::Archive: WriteArchive(); break;
    case TdtpStorageKind::Embedded: WriteEmbedded(node); break;
    case TdtpStorageKind::None: break;
  }
  node.WriteString("ArchiveName", archiveName_);
  node.WriteString("FileName", fileName_);
  node.WriteString("Storage", StorageKindName(kind_));
}

void TdtpResource::LoadFromXml(TXmlNode& node) {
  TResourceAccess access(*this);
  Clear();
  archiveName_ = node.ReadString("ArchiveName");
  fileName_ = node.ReadString("FileName");
  TdtpStorageKind kind;
  if (StorageKindByName(node.ReadString("Storage"), kind)) kind_ = kind;
  switch (kind_) {
    case TdtpStorageKind::External: ReadExternal(); break;
    case TdtpStorageKind::Archive: ReadArchive(); break;
    case TdtpStorageKind::Embedded: ReadEmbedded(node); break;
    case TdtpStorageKind::None: break;
  }
}

// ---- whole-resource operations ----

void TdtpResource::Clear() {
  TResourceAccess access(*this);
  data_.Clear();
  archiveName_.clear();
  fileName_.clear();
  bitmapModified_ = false;
  dataModified_ = false;
  dataLoaded_ = false;
  if (bitmap_) {
    bitmap_.reset();
    DoPictureChanged();
  }
}

void TdtpResource::CheckFile(const std::string&, TStream&) {}

void TdtpResource::VerifyData(TLoadProof) {}

void TdtpResource::LoadFromFile(const std::string& fileName, TLoadProof proof) {
  TResourceAccess access(*this);
  const std::string quoted = QuoteForMessage(fileName, 120);
  // What the name stands for is said before anything is read: only a plain file with bytes in
  // it can be a picture, and it is read only up to kMaxFileBytes.
  std::error_code error;
  const auto status = std::filesystem::status(fileName, error);
  if (error || !std::filesystem::exists(status)) RaiseError(Format("File does not exist: %s", quoted.c_str()));
  if (std::filesystem::is_directory(status)) RaiseError(Format("%s is a folder, not a picture file", quoted.c_str()));
  if (!std::filesystem::is_regular_file(status)) {
    RaiseError(Format("%s is not a plain file (a device, pipe or socket) and cannot be a picture", quoted.c_str()));
  }
  {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    const int64_t size = file.Size();
    if (size == 0) RaiseError(Format("Picture file %s is empty", quoted.c_str()));
    // The format's own header comes first, then the size, before the rest of the file is read.
    try {
      CheckFile(fileName, file);
    } catch (const std::exception& e) {
      RaiseError(Format("Picture file %s: %s", quoted.c_str(), e.what()));
    }
    if (size > kMaxFileBytes) {
      RaiseError(Format("Picture file %s is %lld bytes; a picture file may have at most %lld", quoted.c_str(),
                        static_cast<long long>(size), static_cast<long long>(kMaxFileBytes)));
    }
  }

  // The new picture is read and decoded beside the old one, which stays whole until the new one
  // has proved good: a file that is no picture leaves the resource as it was.
  TMapStream oldData;
  oldData.CopyBytesFrom(data_);
  std::shared_ptr<TBitmap32> oldBitmap = std::move(bitmap_);
  const std::string oldArchiveName = archiveName_, oldFileName = fileName_, oldWarning = loadWarning_;
  const bool oldBitmapModified = bitmapModified_, oldDataModified = dataModified_, oldDataLoaded = dataLoaded_;
  try {
    data_.Clear();
    archiveName_.clear();
    loadWarning_.clear();
    bitmapModified_ = dataModified_ = dataLoaded_ = false;
    fileName_ = ExpandFileName(fileName);
    ReadExternal();
    if (data_.Size() == 0) RaiseError("it holds no picture");
    data_.SetPosition(0);
    VerifyData(proof);
    data_.SetPosition(0);
  } catch (const std::exception& e) {
    data_.CopyBytesFrom(oldData);
    data_.SetPosition(0);
    bitmap_ = std::move(oldBitmap);
    archiveName_ = oldArchiveName;
    fileName_ = oldFileName;
    loadWarning_ = oldWarning;
    bitmapModified_ = oldBitmapModified;
    dataModified_ = oldDataModified;
    dataLoaded_ = oldDataLoaded;
    RaiseError(Format("Picture file %s: %s", quoted.c_str(), e.what()));
  }
  oldBitmap.reset();
  if (dataModified_ && kind_ == TdtpStorageKind::Archive) WriteArchive();
  DoPictureLoaded();
  DoPictureChanged();
}

void TdtpResource::SetStorageKind(TdtpStorageKind kind) {
  TResourceAccess access(*this);
  if (kind == kind_) return;
  ReadData();
  kind_ = kind;
  dataModified_ = true;
  if (archiveName_.empty() && fileName_.size() > 4) archiveName_ = fileName_;
  StoreData();
}

void TdtpResource::Assign(TdtpResource* source) {
  if (!source) RaiseError("Cannot assign a nil to a TdtpResource");
  if (source == this) return;
  TResourceAccess access(*this);
  TNativeXml xml("Resource");
  source->SaveToXml(*xml.Root());
  LoadFromXml(*xml.Root());
  // The copy never shares the source's archive stream.
  archiveName_.clear();
  // Bytes that the description does not carry travel along: those of another document's store,
  // those of an archive stream (which the copy no longer names, so they are stored again under
  // a name of its own), and those of a resource that lives only in memory.
  const bool otherDocument = container_ != source->container_;
  const bool copyBytes = (kind_ == TdtpStorageKind::External && otherDocument) ||
                         kind_ == TdtpStorageKind::Archive || kind_ == TdtpStorageKind::None;
  if (copyBytes) {
    TResourceAccess sourceAccess(*source);
    source->ReadData();
    data_.CopyBytesFrom(source->data_);
    source->data_.SetPosition(0);
    dataModified_ = true;
  }
}

}  // namespace sw
