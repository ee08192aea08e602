#include "storage/resources/resource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/stream.h"
#include "storage/xml/native_xml.h"
#include "storage/resources/resource_thread.h"
#include "storage/container/storage.h"
#include "support/errors.h"

namespace sw {
namespace {

namespace fs = std::filesystem;

// A resource whose codec is the bitmap's raw stream form: the state machine and the stores are
// tested without any picture format.
class TRawResource : public TdtpResource {
public:
  ~TRawResource() override { Unregister(); }

  void Give(int32_t width, int32_t height, TColor32 color) {
    TResourceAccess access(*this);
    bitmap_ = std::make_unique<TBitmap32>();
    bitmap_->SetSize(width, height);
    bitmap_->Clear(color);
    bitmapModified_ = true;
  }
  // The picture removed, as a caller that sets no bitmap does.
  void Remove() {
    {
      TResourceAccess access(*this);
      bitmap_.reset();
      bitmapModified_ = true;
    }
    DoPictureChanged();
  }
  TBitmap32* Picture() {
    Touch();
    EnsureState(kStateBitmap);
    return bitmap_.get();
  }

  bool failStore = false;
  int stores = 0;
  int loads = 0;

protected:
  void StoreObject() override {
    ++stores;
    bitmap_->SaveToStream(data_);
    if (failStore) RaiseError("encoder failed");
  }
  void LoadObject() override {
    ++loads;
    auto bitmap = std::make_unique<TBitmap32>();
    bitmap->LoadFromStream(data_);
    bitmap_ = std::move(bitmap);
  }
};

// The base class alone, with a way to give it a bitmap.
class TBareResource : public TdtpResource {
public:
  ~TBareResource() override { Unregister(); }
  void Give() {
    bitmap_ = std::make_unique<TBitmap32>();
    bitmapModified_ = true;
  }
};

class TFakeDocument : public IResourceContainer {
public:
  TsdStorage* ResourceStorage() override { return withStorage ? &storage : nullptr; }
  std::string ResourceFolder() override { return folder; }

  TsdStorage storage;
  bool withStorage = true;
  std::string folder;
};

class ResourceTest : public ::testing::Test {
protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    dir_ = TempFolder() + "/sw_resource_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static std::vector<uint8_t> StreamBytes(TsdStorage& storage, const std::string& name) {
    TMemoryStream m;
    storage.ReadStream(name, m);
    return m.Bytes();
  }

  // The names of the children of node, in order.
  static std::vector<std::string> Names(const TXmlNode& node) {
    std::vector<std::string> names;
    for (int i = 0; i < node.ChildCount(); ++i) names.push_back(node.Child(i)->Name());
    return names;
  }

  // A description as the file holds it, parsed.
  static std::unique_ptr<TNativeXml> Parse(const std::string& inner) {
    auto xml = std::make_unique<TNativeXml>();
    xml->LoadFromString("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Image>" + inner + "</Image>");
    return xml;
  }

  std::string dir_;
  // Resources run beside the picture cache, as in the program.
  TResourceThreadScope cache_;
};

using test::ErrorOf;

// ---- states ----

TEST_F(ResourceTest, StatesFollowTheNewestForm) {
  TRawResource r;
  EXPECT_EQ(r.State(), 0);
  EXPECT_EQ(r.StorageKind(), TdtpStorageKind::Embedded);
  r.Give(3, 2, 0xFF112233u);
  EXPECT_EQ(r.State(), 2);
  EXPECT_EQ(r.MemorySize(), 0);  // the data is still empty

  r.EnsureState(1);  // encodes and drops the bitmap
  EXPECT_EQ(r.stores, 1);
  EXPECT_FALSE(r.HasBitmap());
  EXPECT_TRUE(r.DataModified());
  EXPECT_FALSE(r.BitmapModified());
  const int64_t encoded = r.Data().Size();
  EXPECT_EQ(encoded, 8 + 3 * 2 * 4);

  TBitmap32* b = r.Picture();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(r.loads, 1);
  EXPECT_EQ(b->Pixel(2, 1), 0xFF112233u);
  EXPECT_EQ(r.MemorySize(), encoded);
  EXPECT_EQ(r.Picture(), b);  // held, not decoded again
  EXPECT_EQ(r.loads, 1);

  // Embedded bytes have no other store: state 0 cannot be reached while they are unsaved.
  r.EnsureState(0);
  EXPECT_EQ(r.State(), 1);
  EXPECT_EQ(r.Data().Size(), encoded);
  EXPECT_EQ(r.stores, 1);  // an unchanged bitmap is not encoded again
}

TEST_F(ResourceTest, AFailingEncoderKeepsTheBitmap) {
  TRawResource r;
  r.Give(2, 2, 0xFF000000u);
  r.failStore = true;
  EXPECT_EQ(ErrorOf([&] { r.EnsureState(1); }), "encoder failed");
  EXPECT_TRUE(r.HasBitmap());
  EXPECT_TRUE(r.BitmapModified());
  EXPECT_EQ(r.Data().Size(), 0);
  EXPECT_EQ(r.AccessCount(), 0);
  r.failStore = false;
  r.EnsureState(1);
  EXPECT_EQ(r.Data().Size(), 8 + 16);
}

TEST_F(ResourceTest, TheBaseClassHasNoCodec) {
  TBareResource r;
  r.Give();
  EXPECT_EQ(ErrorOf([&] { r.EnsureState(1); }), "No method for object storing defined");
  TBareResource s;
  const uint8_t byte = 1;
  s.Data().SetBytes(&byte, 1);
  EXPECT_EQ(ErrorOf([&] { s.EnsureState(2); }), "No method for object loading defined");
  EXPECT_FALSE(s.HasBitmap());
  EXPECT_EQ(s.Data().Size(), 1);  // the data is kept
  EXPECT_EQ(ErrorOf([&] { s.EndAccess(); }), "Access count mismatch");
  EXPECT_EQ(ErrorOf([&] { s.Assign(nullptr); }), "Cannot assign a nil to a TdtpResource");
}

TEST_F(ResourceTest, ClearKeepsTheKindAndAnnouncesALostBitmap) {
  TRawResource r;
  r.SetStorageKind(TdtpStorageKind::None);
  r.SetFileName("/x/y.raw");
  r.SetArchiveName("A");
  r.Give(1, 1, 0);
  int changes = 0;
  r.OnPictureChanged = [&](TdtpResource* sender) {
    EXPECT_EQ(sender, &r);
    ++changes;
  };
  r.Clear();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(r.State(), 0);
  EXPECT_EQ(r.FileName(), "");
  EXPECT_EQ(r.ArchiveName(), "");
  EXPECT_EQ(r.StorageKind(), TdtpStorageKind::None);
  r.Clear();
  EXPECT_EQ(changes, 1);  // nothing was lost the second time
}

// ---- embedded description ----

TEST_F(ResourceTest, EmbeddedDescriptionRoundTripsWithoutDecoding) {
  TRawResource r;
  r.SetFileName("/pictures/Photo.RAW");
  r.Give(5, 3, 0xFF445566u);
  TNativeXml xml("Image");
  r.SaveToXml(*xml.Root());
  const TXmlNode& image = *xml.Root();
  EXPECT_EQ(Names(image), (std::vector<std::string>{"ClassName", "Data", "FileName", "Storage"}));
  EXPECT_EQ(image.ReadString("ClassName"), "TdtpResource");
  EXPECT_EQ(image.ReadString("Storage"), "Embedded");
  EXPECT_EQ(image.ReadString("FileName"), "/pictures/Photo.RAW");
  const TXmlNode* data = image.FindChild("Data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(Names(*data), (std::vector<std::string>{"Size", "Filter", "Buffer"}));
  EXPECT_EQ(data->ReadInteger("Size"), 8 + 5 * 3 * 4);
  EXPECT_EQ(data->ReadString("Filter"), "Base64");
  EXPECT_FALSE(r.DataModified());
  EXPECT_EQ(r.DataExtension(), ".raw");

  // Through the text and back.
  TNativeXml parsed;
  parsed.LoadFromString(xml.SaveToString());
  TRawResource copy;
  copy.LoadFromXml(*parsed.Root());
  EXPECT_EQ(copy.Data().Bytes(), r.Data().Bytes());
  EXPECT_EQ(copy.FileName(), "/pictures/Photo.RAW");
  EXPECT_FALSE(copy.HasBitmap());
  EXPECT_EQ(copy.loads, 0);
  EXPECT_EQ(copy.State(), 1);
  ASSERT_NE(copy.Picture(), nullptr);
  EXPECT_EQ(copy.Picture()->Pixel(4, 2), 0xFF445566u);

  // A resource without data writes only its class and kind.
  TRawResource empty;
  TNativeXml bare("Image");
  empty.SaveToXml(*bare.Root());
  EXPECT_EQ(Names(*bare.Root()), (std::vector<std::string>{"ClassName", "Storage"}));
}

TEST_F(ResourceTest, EmbeddedDataReadsBinHexAndRestoresTheForm) {
  auto xml = Parse("<Data><Size>3</Size><Filter>BinHex</Filter><Buffer>0102ff</Buffer></Data>"
                   "<Storage>Embedded</Storage>");
  TRawResource r;
  r.LoadFromXml(*xml->Root());
  EXPECT_EQ(r.Data().Bytes(), (std::vector<uint8_t>{1, 2, 0xFF}));
  EXPECT_EQ(xml->BinaryForm(), TXmlBinaryForm::Base64);

  // No "Data", or a "Size" of 0, or no "Buffer": empty data, no error.
  for (const char* inner : {"<Storage>Embedded</Storage>",
                            "<Data><Size>0</Size><Filter>Whatever</Filter></Data>",
                            "<Data><Size>4</Size><Filter>Base64</Filter></Data>"}) {
    TRawResource s;
    s.LoadFromXml(*Parse(inner)->Root());
    EXPECT_EQ(s.Data().Size(), 0) << inner;
  }
}

TEST_F(ResourceTest, DamagedEmbeddedDataIsRefused) {
  struct TCase {
    const char* data;
    const char* message;
  };
  const TCase cases[] = {
      {"<Size>3</Size><Filter>base64</Filter><Buffer>AQID</Buffer>", "Unsupported binary encoding"},
      {"<Size>3</Size><Buffer>AQID</Buffer>", "Unsupported binary encoding"},
      {"<Size>-3</Size><Filter>Base64</Filter><Buffer>AQID</Buffer>", "Invalid embedded data size -3"},
      // A size beyond the text is refused before anything is allocated.
      {"<Size>2147483647</Size><Filter>Base64</Filter><Buffer>AQID</Buffer>", "Missing data in binary stream"},
      {"<Size>4</Size><Filter>Base64</Filter><Buffer>AQID</Buffer>", "Missing data in binary stream"},
      {"<Size>2</Size><Filter>Base64</Filter><Buffer>AQID</Buffer>", "Embedded data size does not match its buffer"},
      {"<Size>2</Size><Filter>Base64</Filter><Buffer>AQI</Buffer>", "Error while calculating streamlength"},
      {"<Size>2</Size><Filter>BinHex</Filter><Buffer>010</Buffer>", "Error while calculating streamlength"},
  };
  for (const TCase& c : cases) {
    auto xml = Parse(std::string("<Data>") + c.data + "</Data><Storage>Embedded</Storage>");
    TRawResource r;
    EXPECT_EQ(ErrorOf([&] { r.LoadFromXml(*xml->Root()); }), c.message) << c.data;
    EXPECT_EQ(r.Data().Size(), 0) << c.data;
    EXPECT_EQ(r.AccessCount(), 0);
    EXPECT_EQ(xml->BinaryForm(), TXmlBinaryForm::Base64) << c.data;
  }
}

TEST_F(ResourceTest, StorageTextMustNameAKindExactly) {
  for (const char* text : {"Bogus", "embedded", ""}) {
    TRawResource r;
    r.SetStorageKind(TdtpStorageKind::None);
    r.LoadFromXml(*Parse(std::string("<Storage>") + text + "</Storage>")->Root());
    EXPECT_EQ(r.StorageKind(), TdtpStorageKind::None) << text;
  }
  TRawResource r;
  r.LoadFromXml(*Parse("<FileName>/a/b.raw</FileName><Storage>External</Storage>")->Root());
  EXPECT_EQ(r.StorageKind(), TdtpStorageKind::External);
}

// ---- archive ----

TEST_F(ResourceTest, MissingArchiveStreamGivesNoPicture) {
  TFakeDocument doc;
  TRawResource r;
  r.SetContainer(&doc);
  r.LoadFromXml(*Parse("<ArchiveName>TMP0000001.hck</ArchiveName><Storage>Archive</Storage>")->Root());
  EXPECT_EQ(r.StorageKind(), TdtpStorageKind::Archive);
  EXPECT_EQ(r.ArchiveName(), "");
  EXPECT_EQ(r.Data().Size(), 0);
  EXPECT_EQ(r.Picture(), nullptr);

  // Without a storage the name is kept, as nothing could be looked up.
  doc.withStorage = false;
  TRawResource s;
  s.SetContainer(&doc);
  s.LoadFromXml(*Parse("<ArchiveName>X</ArchiveName><Storage>Archive</Storage>")->Root());
  EXPECT_EQ(s.ArchiveName(), "X");
  EXPECT_EQ(s.Picture(), nullptr);
}

TEST_F(ResourceTest, ArchiveStreamIsWrittenReadAndDropped) {
  TFakeDocument doc;
  TRawResource r;
  r.SetContainer(&doc);
  r.SetStorageKind(TdtpStorageKind::Archive);
  r.Give(2, 2, 0xFF0A0B0Cu);
  TNativeXml xml("Image");
  r.SaveToXml(*xml.Root());
  const std::string name = r.ArchiveName();
  EXPECT_TRUE(TsdStorage::IsTempStreamName(name)) << name;
  EXPECT_EQ(name.size(), 10u);
  EXPECT_EQ(Names(*xml.Root()), (std::vector<std::string>{"ClassName", "ArchiveName", "Storage"}));
  EXPECT_EQ(StreamBytes(doc.storage, name), r.Data().Bytes());
  std::vector<std::string> used;
  r.ListResources(used);
  EXPECT_EQ(used, std::vector<std::string>{name});

  TRawResource back;
  back.SetContainer(&doc);
  back.LoadFromXml(*xml.Root());
  EXPECT_TRUE(back.DataLoaded());
  EXPECT_EQ(back.Data().Bytes(), r.Data().Bytes());
  ASSERT_NE(back.Picture(), nullptr);
  // Unloading an archived picture drops its data as well; the next use reads the stream again.
  back.Unload();
  EXPECT_EQ(back.State(), 0);
  EXPECT_FALSE(back.DataLoaded());
  ASSERT_NE(back.Picture(), nullptr);
  EXPECT_EQ(back.Picture()->Pixel(1, 1), 0xFF0A0B0Cu);

  // A changed picture goes back into its stream when unloaded.
  back.Give(1, 1, 0xFF000001u);
  back.Unload();
  EXPECT_EQ(back.State(), 0);
  EXPECT_EQ(StreamBytes(doc.storage, name).size(), 8u + 4u);

  // No picture any more: the stream is deleted and the name forgotten.
  back.Remove();
  EXPECT_FALSE(doc.storage.StreamExists(name));
  EXPECT_EQ(back.ArchiveName(), "");
}

TEST_F(ResourceTest, StorageKindMovesTheData) {
  TFakeDocument doc;
  TRawResource r;
  r.SetContainer(&doc);
  r.SetFileName("/somewhere/pic.raw");
  r.Give(2, 1, 0xFF999999u);
  r.SetStorageKind(TdtpStorageKind::Archive);
  // A file name longer than four characters becomes the stream name.
  EXPECT_EQ(r.ArchiveName(), "/somewhere/pic.raw");
  EXPECT_EQ(StreamBytes(doc.storage, "/somewhere/pic.raw").size(), 8u + 8u);
  EXPECT_FALSE(r.DataModified());
  r.SetStorageKind(TdtpStorageKind::Embedded);
  EXPECT_TRUE(r.DataModified());
  EXPECT_EQ(r.Data().Size(), 16);
}

// ---- external ----

TEST_F(ResourceTest, MissingExternalFileGivesNoPicture) {
  TRawResource r;
  const std::string missing = Path("gone.raw");
  r.LoadFromXml(*Parse("<FileName>" + missing + "</FileName><Storage>External</Storage>")->Root());
  EXPECT_EQ(r.FileName(), missing);
  EXPECT_EQ(r.Data().Size(), 0);
  EXPECT_EQ(r.Picture(), nullptr);
  EXPECT_EQ(r.FileName(), missing);
}

// A document may name any path; a device that never ends (or a pipe) must not be read.
TEST_F(ResourceTest, ExternalDeviceIsNotRead) {
  TRawResource r;
  r.LoadFromXml(*Parse("<FileName>/dev/zero</FileName><Storage>External</Storage>")->Root());
  EXPECT_EQ(r.Data().Size(), 0);
  EXPECT_EQ(r.Picture(), nullptr);
}

TEST_F(ResourceTest, ExternalFilesAreWrittenOnceAndNeverOverwritten) {
  TFakeDocument doc;
  doc.folder = dir_;
  TRawResource r;
  r.SetContainer(&doc);
  r.SetStorageKind(TdtpStorageKind::External);
  r.SetFileName("pic.raw");  // relative: beside the document
  r.Give(2, 2, 0xFF313131u);
  TNativeXml xml("Image");
  r.SaveToXml(*xml.Root());
  ASSERT_TRUE(FileExists(Path("pic.raw")));
  EXPECT_EQ(ReadFileBytes(Path("pic.raw")), r.Data().Bytes());
  EXPECT_FALSE(r.DataModified());
  EXPECT_EQ(Names(*xml.Root()), (std::vector<std::string>{"ClassName", "FileName", "Storage"}));

  TRawResource other;
  other.SetContainer(&doc);
  other.SetStorageKind(TdtpStorageKind::External);
  other.SetFileName("pic.raw");
  other.Give(1, 1, 0xFF000000u);
  TNativeXml xml2("Image");
  other.SaveToXml(*xml2.Root());
  EXPECT_TRUE(other.DataModified());
  EXPECT_EQ(ReadFileBytes(Path("pic.raw")).size(), 8u + 16u);

  // Read back from the file; unloading drops the data, the next use reads the file again.
  TRawResource back;
  back.SetContainer(&doc);
  back.LoadFromXml(*xml.Root());
  EXPECT_TRUE(back.DataLoaded());
  EXPECT_FALSE(back.DataModified());
  ASSERT_NE(back.Picture(), nullptr);
  back.Unload();
  EXPECT_EQ(back.State(), 0);
  ASSERT_NE(back.Picture(), nullptr);
  EXPECT_EQ(back.Picture()->Pixel(1, 1), 0xFF313131u);

  // A bare extension is no file name.
  TRawResource made;
  made.SetStorageKind(TdtpStorageKind::External);
  made.SetFileName(".raw");
  made.Give(1, 1, 0);
  TNativeXml xml3("Image");
  made.SaveToXml(*xml3.Root());
  EXPECT_TRUE(made.DataModified());
}

TEST_F(ResourceTest, LoadFromFileKeepsTheBytesAndAnnounces) {
  TRawResource r;
  EXPECT_EQ(ErrorOf([&] { r.LoadFromFile("no/such/file.raw"); }), "File does not exist: \"no/such/file.raw\"");
  EXPECT_EQ(r.AccessCount(), 0);

  const std::vector<uint8_t> bytes = {9, 8, 7, 6, 5};
  TMemoryStream(bytes).SaveToFile(Path("five.raw"));
  std::vector<std::string> events;
  r.OnPictureLoaded = [&](TdtpResource*) { events.push_back("loaded"); };
  r.OnPictureChanged = [&](TdtpResource*) { events.push_back("changed"); };
  r.LoadFromFile(dir_ + "/./five.raw");
  EXPECT_EQ(events, (std::vector<std::string>{"loaded", "changed"}));
  EXPECT_EQ(r.FileName(), fs::path(Path("five.raw")).lexically_normal().string());
  EXPECT_EQ(r.Data().Bytes(), bytes);
  EXPECT_TRUE(r.DataModified());
  EXPECT_TRUE(r.DataLoaded());
  EXPECT_FALSE(r.HasBitmap());

  // Kind Archive stores the bytes at once, under the file's name.
  TFakeDocument doc;
  TRawResource a;
  a.SetContainer(&doc);
  a.SetStorageKind(TdtpStorageKind::Archive);
  a.LoadFromFile(Path("five.raw"));
  EXPECT_EQ(a.ArchiveName(), a.FileName());
  EXPECT_EQ(StreamBytes(doc.storage, a.ArchiveName()), bytes);
  EXPECT_FALSE(a.DataModified());
}

// ---- copies ----

TEST_F(ResourceTest, AssignCopiesEveryKind) {
  TFakeDocument docA, docB;
  // Embedded: through the description.
  TRawResource e;
  e.SetFileName("/p/e.raw");
  e.Give(2, 2, 0xFF020202u);
  TRawResource eCopy;
  eCopy.Assign(&e);
  EXPECT_EQ(eCopy.FileName(), "/p/e.raw");
  EXPECT_EQ(eCopy.Data().Bytes(), e.Data().Bytes());
  ASSERT_NE(eCopy.Picture(), nullptr);

  // Archive into another document: the bytes travel and are stored under a name of its own.
  TRawResource a;
  a.SetContainer(&docA);
  a.SetStorageKind(TdtpStorageKind::Archive);
  a.Give(2, 2, 0xFF030303u);
  a.Unload();  // the source holds nothing in memory
  TRawResource aCopy;
  aCopy.SetContainer(&docB);
  aCopy.Assign(&a);
  EXPECT_EQ(aCopy.ArchiveName(), "");
  EXPECT_TRUE(aCopy.DataModified());
  aCopy.Unload();
  EXPECT_TRUE(docB.storage.StreamExists(aCopy.ArchiveName()));
  ASSERT_NE(aCopy.Picture(), nullptr);
  EXPECT_EQ(aCopy.Picture()->Pixel(0, 0), 0xFF030303u);

  // Archive within one document: the copy gets its own stream, the source keeps its own.
  TRawResource same;
  same.SetContainer(&docA);
  same.Assign(&a);
  same.Unload();
  EXPECT_NE(same.ArchiveName(), "");
  EXPECT_NE(same.ArchiveName(), a.ArchiveName());
  EXPECT_EQ(StreamBytes(docA.storage, same.ArchiveName()), StreamBytes(docA.storage, a.ArchiveName()));
  ASSERT_NE(same.Picture(), nullptr);

  // None: the bytes live only in memory and are copied directly.
  TRawResource n;
  n.SetStorageKind(TdtpStorageKind::None);
  n.Give(1, 1, 0xFF040404u);
  TRawResource nCopy;
  nCopy.Assign(&n);
  EXPECT_EQ(nCopy.StorageKind(), TdtpStorageKind::None);
  ASSERT_NE(nCopy.Picture(), nullptr);
  EXPECT_EQ(nCopy.Picture()->Pixel(0, 0), 0xFF040404u);
}

}  // namespace
}  // namespace sw
