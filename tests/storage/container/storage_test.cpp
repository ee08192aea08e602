#include "storage/container/storage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "base/file_targets.h"
#include "base/stream.h"
#include "support/errors.h"

namespace sw {
namespace {

namespace fs = std::filesystem;

::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << text << "\" lacks \"" << part << "\"";
}

std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + static_cast<size_t>(seed) * 7919) >> 3);
  return s;
}

void Put(TsdStorage& storage, const std::string& name, const std::string& bytes) {
  TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  storage.WriteStream(name, m);
}

std::string Get(TsdStorage& storage, const std::string& name) {
  TMemoryStream m;
  storage.ReadStream(name, m);
  EXPECT_EQ(m.Position(), 0);
  return std::string(m.Bytes().begin(), m.Bytes().end());
}

std::string Compact(TsdStorage& storage) {
  TMemoryStream m;
  storage.SaveToStream(m);
  return std::string(m.Bytes().begin(), m.Bytes().end());
}

std::string FileText(const std::string& path) {
  const std::vector<uint8_t> b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  m.SaveToFile(path);
}

int64_t I64At(const std::string& b, size_t at) {
  int64_t v = 0;
  std::memcpy(&v, b.data() + at, 8);
  return v;
}

int32_t I32At(const std::string& b, size_t at) {
  int32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

struct Entry {
  std::string name;
  int64_t offset, size;
};

// Reads the index of a storage file independently of the storage code.
std::vector<Entry> ParseIndex(const std::string& b) {
  std::vector<Entry> out;
  size_t p = static_cast<size_t>(I64At(b, 6));
  const int32_t n = I32At(b, p);
  p += 4;
  for (int32_t i = 0; i < n; ++i) {
    Entry e{"", I64At(b, p), I64At(b, p + 8)};
    const auto len = static_cast<size_t>(I32At(b, p + 16));
    e.name = b.substr(p + 20, len);
    p += 20 + len;
    out.push_back(e);
  }
  return out;
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& f : fs::directory_iterator(folder)) {
    const std::string name = f.path().filename().string();
    if (name.rfind(prefix, 0) == 0) out.push_back(name);
  }
  return out;
}

class StorageTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = TempFolder() + "/sw_storage_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
           "_" + std::to_string(::getpid());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

TEST_F(StorageTest, EmptyStorageIs73Bytes) {
  TsdStorage storage;
  const std::string b = Compact(storage);
  ASSERT_EQ(b.size(), 73u);
  EXPECT_EQ(b.substr(0, 6), std::string("STOR\x01\x01", 6));
  EXPECT_EQ(I64At(b, 6), 69);
  EXPECT_EQ(b.substr(14, 2), "\r\n");
  EXPECT_EQ(b.substr(66, 3), std::string("\r\n\0", 3));
  EXPECT_NE(b.substr(16, 50).find("Stickwell"), std::string::npos);
  EXPECT_EQ(I32At(b, 69), 0);
  storage.SaveToFile(Path("empty.stor"));
  EXPECT_EQ(FileText(Path("empty.stor")), b);
}

TEST_F(StorageTest, CompactOffsetsFollowTheIndex) {
  TsdStorage storage;
  Put(storage, "nine_char", Pattern(10, 1));
  Put(storage, "twelve_chars", Pattern(20, 2));
  const std::string b = Compact(storage);
  ASSERT_EQ(b.size(), 164u);
  const std::vector<Entry> index = ParseIndex(b);
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(index[0].offset, 134);
  EXPECT_EQ(index[1].offset, 144);
  EXPECT_EQ(b.substr(134, 10), Pattern(10, 1));
  EXPECT_EQ(b.substr(144, 20), Pattern(20, 2));
}

TEST_F(StorageTest, RoundTripIsByteIdentical) {
  TsdStorage storage;
  Put(storage, "Index.xml", "<Index/>");
  Put(storage, "empty", "");
  Put(storage, "binary", std::string("\0\xff\r\n\x1a", 5) + Pattern(70000, 3));
  const std::string first = Compact(storage);

  TMemoryStream m(std::vector<uint8_t>(first.begin(), first.end()));
  TsdStorage loaded;
  loaded.LoadFromStream(m);
  EXPECT_EQ(Compact(loaded), first);

  WriteFile(Path("a.stor"), first);
  TsdStorage opened;
  opened.Open(Path("a.stor"));
  ASSERT_EQ(opened.StreamCount(), 3);
  EXPECT_EQ(opened.StreamName(2), "binary");
  EXPECT_EQ(opened.StreamName(3), "");
  EXPECT_EQ(opened.StreamSize(1), 0);
  EXPECT_EQ(Get(opened, "binary").substr(0, 5), std::string("\0\xff\r\n\x1a", 5));
  opened.SaveToFile(Path("b.stor"));
  EXPECT_EQ(FileText(Path("b.stor")), first);
}

TEST_F(StorageTest, NamesIgnoreLetterCaseAndRenameAllowsDuplicates) {
  TsdStorage storage;
  Put(storage, "Index.xml", "one");
  EXPECT_EQ(Get(storage, "INDEX.XML"), "one");
  EXPECT_EQ(storage.StreamIndex("index.xml"), 0);
  Put(storage, "index.XML", "two");
  EXPECT_EQ(storage.StreamCount(), 1);
  EXPECT_EQ(Get(storage, "Index.xml"), "two");

  Put(storage, "Other", "three");
  storage.RenameStream("other", "INDEX.xml");
  storage.RenameStream("missing", "x");
  ASSERT_EQ(storage.StreamCount(), 2);
  EXPECT_EQ(storage.StreamName(1), "INDEX.xml");
  EXPECT_EQ(Get(storage, "index.xml"), "two");

  storage.DeleteStream("nothing");
  storage.DeleteStream("INDEX.XML");
  ASSERT_EQ(storage.StreamCount(), 1);
  EXPECT_EQ(Get(storage, "index.xml"), "three");
}

TEST_F(StorageTest, FailureMessages) {
  TsdStorage storage;
  TMemoryStream out;
  try {
    storage.ReadStream("Page0001.xml", out);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Stream \"Page0001.xml\" not found in the storage");
  }

  std::string file = Compact(storage);
  WriteFile(Path("v.stor"), file);
  file[4] = 2;
  WriteFile(Path("future.stor"), file);
  file[4] = 1;
  file[5] = 9;
  WriteFile(Path("minor.stor"), file);
  WriteFile(Path("text.stor"), "Hello, world, not a storage");
  WriteFile(Path("tiny.stor"), "ST");

  EXPECT_THROW(
      {
        try {
          storage.Open(Path("future.stor"));
        } catch (const Exception& e) {
          EXPECT_STREQ(e.what(), "File is wrong (future) version");
          throw;
        }
      },
      Exception);
  storage.Open(Path("minor.stor"));
  EXPECT_EQ(storage.StreamCount(), 0);
  for (const char* name : {"text.stor", "tiny.stor"}) {
    try {
      storage.Open(Path(name));
      FAIL() << name;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "File is not a storage file");
    }
  }
  EXPECT_EQ(storage.FileName(), "");

  TMemoryStream positioned;
  positioned.WriteBuffer("x", 1);
  EXPECT_THROW(storage.SaveToStream(positioned), Exception);
}

TEST_F(StorageTest, OpenAndOpenDirectOnMissingFiles) {
  TsdStorage storage;
  storage.Open(Path("missing.stor"));
  EXPECT_EQ(storage.StreamCount(), 0);
  EXPECT_FALSE(FileExists(Path("missing.stor")));

  storage.OpenDirect(Path("direct.stor"));
  EXPECT_EQ(storage.FileName(), Path("direct.stor"));
  const std::string b = FileText(Path("direct.stor"));
  EXPECT_EQ(b, std::string("STOR\x01\x01\x0e\0\0\0\0\0\0\0\0\0\0\0", 18));
}

// In direct mode the file is the working store, so its index shows where each stream lies.
TEST_F(StorageTest, DirectModePlacesStreams) {
  const std::string file = Path("direct.stor");
  TsdStorage storage;
  storage.OpenDirect(file);
  Put(storage, "a", Pattern(100, 1));
  Put(storage, "b", Pattern(100, 2));
  Put(storage, "c", Pattern(100, 3));
  std::vector<Entry> index = ParseIndex(FileText(file));
  ASSERT_EQ(index.size(), 3u);
  const int64_t aAt = index[0].offset, bAt = index[1].offset;
  EXPECT_EQ(aAt, 12 + 512);  // the empty index plus room for it to grow
  EXPECT_EQ(bAt, aAt + 100);

  Put(storage, "a", Pattern(100, 4));  // same size: same place
  Put(storage, "b", Pattern(60, 5));   // smaller: same place
  index = ParseIndex(FileText(file));
  EXPECT_EQ(index[0].offset, aAt);
  EXPECT_EQ(index[1].offset, bAt);
  EXPECT_EQ(FileText(file).substr(static_cast<size_t>(aAt), 100), Pattern(100, 4));

  Put(storage, "a", Pattern(101, 6));  // larger: moves behind the others
  index = ParseIndex(FileText(file));
  EXPECT_EQ(index[0].offset, aAt + 300);

  // The first gap that fits is reused; the space before the first stream is not.
  storage.DeleteStream("c");
  Put(storage, "d", Pattern(90, 7));
  index = ParseIndex(FileText(file));
  ASSERT_EQ(index.size(), 3u);
  EXPECT_EQ(index[2].name, "d");
  EXPECT_EQ(index[2].offset, bAt + 60);

  // Deleting the stream at the end cuts the file back to the end of the streams still used.
  storage.DeleteStream("a");
  EXPECT_EQ(static_cast<int64_t>(FileText(file).size()), bAt + 150);
  Put(storage, "e", Pattern(50, 8));
  EXPECT_EQ(ParseIndex(FileText(file))[2].offset, bAt + 150);

  // Another storage sees every change at once; saving to the same name changes nothing.
  const std::string before = FileText(file);
  storage.SaveToFile(file);
  EXPECT_EQ(FileText(file), before);
  TsdStorage reader;
  reader.Open(file);
  ASSERT_EQ(reader.StreamCount(), 3);
  EXPECT_EQ(Get(reader, "b"), Pattern(60, 5));
  EXPECT_EQ(Get(reader, "d"), Pattern(90, 7));
  reader.Clear();
  storage.Clear();
  storage.OpenDirect(file);
  EXPECT_EQ(Get(storage, "d"), Pattern(90, 7));
}

// An empty stream placed at another stream's start must not make that stream's bytes look free.
TEST_F(StorageTest, EmptyStreamsNeverHideUsedSpace) {
  TsdStorage storage;
  Put(storage, "a", Pattern(10, 1));
  Put(storage, "b", Pattern(10, 2));
  Put(storage, "c", "");
  Put(storage, "d", Pattern(10, 3));
  Put(storage, "a", "");
  Put(storage, "e", Pattern(5, 4));
  Put(storage, "f", Pattern(5, 5));
  Put(storage, "g", Pattern(7, 6));
  EXPECT_EQ(Get(storage, "b"), Pattern(10, 2));
  EXPECT_EQ(Get(storage, "d"), Pattern(10, 3));
  EXPECT_EQ(Get(storage, "e"), Pattern(5, 4));
  EXPECT_EQ(Get(storage, "f"), Pattern(5, 5));
  EXPECT_EQ(Get(storage, "g"), Pattern(7, 6));
  EXPECT_EQ(Get(storage, "c"), "");
}

// Long names make the working index grow over the first streams, which must move out of its way.
TEST_F(StorageTest, GrowingIndexRelocatesStreams) {
  const std::string file = Path("grow.stor");
  TsdStorage storage;
  storage.OpenDirect(file);
  Put(storage, "first", Pattern(300, 1));
  Put(storage, "", "");
  Put(storage, "second", Pattern(50000, 2));
  for (int i = 0; i < 8; ++i) Put(storage, std::string(200, static_cast<char>('a' + i)), Pattern(64, i));
  storage.RenameStream("first", std::string(3000, 'F'));
  const std::string bytes = FileText(file);
  const std::vector<Entry> index = ParseIndex(bytes);
  int64_t indexEnd = 18;
  for (const Entry& e : index) indexEnd += 20 + static_cast<int64_t>(e.name.size());
  for (const Entry& e : index) EXPECT_GE(e.offset, indexEnd) << e.name.size();
  EXPECT_EQ(Get(storage, std::string(3000, 'f')), Pattern(300, 1));
  EXPECT_EQ(Get(storage, "second"), Pattern(50000, 2));
  EXPECT_EQ(Get(storage, std::string(200, 'c')), Pattern(64, 2));

  TsdStorage reopened;
  reopened.Open(file);
  EXPECT_EQ(Get(reopened, "second"), Pattern(50000, 2));
  EXPECT_EQ(Get(reopened, std::string(200, 'h')), Pattern(64, 7));
}

TEST_F(StorageTest, SavingOverTheOpenedFileKeepsOldAndNewStreams) {
  const std::string file = Path("doc.fmd");
  {
    TsdStorage writer;
    Put(writer, "Index.xml", "<Index/>");
    Put(writer, "Page0001.xml", Pattern(5000, 1));
    Put(writer, "Thumb0001.bmp", Pattern(300, 2));
    writer.SaveToFile(file);
  }
  TsdStorage storage;
  storage.Open(file);
  Put(storage, "Page0001.xml", Pattern(6000, 3));
  Put(storage, "TMP1234567.png", Pattern(900, 4));
  storage.DeleteStream("Thumb0001.bmp");
  storage.SaveToFile(file);

  EXPECT_EQ(storage.FileName(), file);
  EXPECT_EQ(Get(storage, "Index.xml"), "<Index/>");
  EXPECT_EQ(Get(storage, "Page0001.xml"), Pattern(6000, 3));
  const std::string saved = FileText(file);
  EXPECT_EQ(Compact(storage), saved);
  EXPECT_TRUE(FilesIn(dir_, "doc.fmd.").empty());

  TsdStorage check;
  check.Open(file);
  ASSERT_EQ(check.StreamCount(), 3);
  EXPECT_EQ(Get(check, "Index.xml"), "<Index/>");
  EXPECT_EQ(Get(check, "Page0001.xml"), Pattern(6000, 3));
  EXPECT_EQ(Get(check, "TMP1234567.png"), Pattern(900, 4));
}

TEST_F(StorageTest, FailedSaveLeavesTheOldFileUntouched) {
  const std::string source = Path("source.fmd");
  const std::string target = Path("target.fmd");
  {
    TsdStorage writer;
    Put(writer, "big", Pattern(200000, 1));
    writer.SaveToFile(source);
  }
  WriteFile(target, "the user's previous file");

  TsdStorage storage;
  storage.Open(source);
  Put(storage, "new", "data");
  // The source loses its data behind the storage's back, so copying it fails half-way.
  fs::resize_file(source, 1000);
  EXPECT_THROW(storage.SaveToFile(target), Exception);
  EXPECT_EQ(FileText(target), "the user's previous file");
  EXPECT_THROW(storage.SaveToFile(source), Exception);
  EXPECT_EQ(fs::file_size(source), 1000u);

  TsdStorage fresh;
  Put(fresh, "x", "y");
  EXPECT_THROW(fresh.SaveToFile(Path("no/such/folder/x.fmd")), Exception);
  fs::create_directories(Path("taken/sub"));
  EXPECT_THROW(fresh.SaveToFile(Path("taken")), Exception);
  EXPECT_TRUE(fs::is_directory(Path("taken/sub")));
  EXPECT_EQ(FilesIn(dir_, "target.fmd.").size() + FilesIn(dir_, "source.fmd.").size() +
                FilesIn(dir_, "taken.").size(),
            0u);
}

// What a save may replace: a regular file (keeping its mode), or the file a symbolic link names
// (the link stays, and a dangling one is saved through); anything else is refused untouched.
TEST_F(StorageTest, SaveTargets) {
  TsdStorage storage;
  Put(storage, "s", "saved");
  const std::string saved = Compact(storage);
  struct TCase {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* refusal;  // null: saved
    const char* writes;   // the file that receives the save (relative), when saved
  };
  const TCase cases[] = {
      {"plain.fmd", [](const std::string& p) { WriteFile(p, "old"); fs::permissions(p, fs::perms(0640)); },
       nullptr, "plain.fmd"},
      {"new.fmd", [](const std::string&) {}, nullptr, "new.fmd"},
      {"link.fmd", [this](const std::string& p) { WriteFile(Path("real.fmd"), "old"); fs::create_symlink("real.fmd", p); },
       nullptr, "real.fmd"},
      {"dangling.fmd", [](const std::string& p) { fs::create_symlink("later.fmd", p); }, nullptr, "later.fmd"},
      {"pipe.fmd", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, "it is a pipe", nullptr},
      {"pipelink.fmd", [this](const std::string& p) { ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
                                                      fs::create_symlink("fifo", p); }, "it is a pipe", nullptr},
      {"folder.fmd", [](const std::string& p) { fs::create_directories(p + "/sub"); }, "it is a folder", nullptr},
      {"loop.fmd", [this](const std::string& p) { fs::create_symlink("loop2.fmd", p); fs::create_symlink("loop.fmd", Path("loop2.fmd")); },
       "symbolic links form a loop", nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = Path(c.name);
    c.make(target);
    const fs::file_status before = fs::symlink_status(target);
    const std::string error = test::ErrorOf([&] { storage.SaveToFile(target); });
    if (c.refusal) {
      EXPECT_NE(error.find("Cannot save to"), std::string::npos) << error;
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
      EXPECT_EQ(fs::symlink_status(target).type(), before.type());
      continue;
    }
    EXPECT_EQ(error, test::kNoError);
    EXPECT_EQ(FileText(Path(c.writes)), saved);
    EXPECT_EQ(fs::is_symlink(target), fs::is_symlink(before));
  }
  EXPECT_EQ(fs::status(Path("plain.fmd")).permissions() & fs::perms::all, fs::perms(0640));

  // A temporary that a killed save left behind goes at the next save of its target; one that a
  // running save holds stays.
  WriteFile(Path("plain.fmd.~k1ll3d"), "partial");
  WriteFile(Path("plain.fmd.~backup.old"), "not ours");
  {
    TSaveTemporary running(Path("plain.fmd"));
    storage.SaveToFile(Path("plain.fmd"));
    EXPECT_TRUE(FileExists(running.Name()));
    EXPECT_FALSE(FileExists(Path("plain.fmd.~k1ll3d")));
    EXPECT_TRUE(FileExists(Path("plain.fmd.~backup.old")));
  }
  EXPECT_EQ(FilesIn(dir_, "plain.fmd.~").size(), 1u);

  // A run ended by a signal removes the temporaries it had open, then ends as the signal would.
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstallTemporaryFileCleanup();
    TSaveTemporary open(Path("signalled.fmd"));
    std::raise(SIGTERM);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(FilesIn(dir_, "signalled.fmd").size(), 0u);
}

TEST_F(StorageTest, DamagedIndexIsRefusedBeforeAllocating) {
  TsdStorage writer;
  Put(writer, "Index.xml", Pattern(40, 1));
  Put(writer, "Page0001.xml", Pattern(40, 2));
  const std::string good = Compact(writer);

  // Every truncation cuts the header, the index or the last stream's data.
  TsdStorage storage;
  for (size_t length = 0; length < good.size(); ++length) {
    TMemoryStream m(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(length)));
    EXPECT_THROW(storage.LoadFromStream(m), Exception) << length;
    EXPECT_EQ(storage.StreamCount(), 0);
  }

  auto damaged = [&](size_t at, const std::string& bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    WriteFile(Path("bad.stor"), b);
    try {
      storage.Open(Path("bad.stor"));
      return std::string("accepted");
    } catch (const Exception& e) {
      EXPECT_EQ(storage.StreamCount(), 0);
      EXPECT_EQ(storage.FileName(), "");
      return std::string(e.what());
    }
  };
  const std::string kMinus1(8, '\xff');
  EXPECT_TRUE(Contains(damaged(6, std::string("\xff\xff\xff\x7f", 4)), "index offset"));
  EXPECT_TRUE(Contains(damaged(6, kMinus1), "index offset"));
  EXPECT_TRUE(Contains(damaged(69, std::string("\xff\xff\xff\x7f", 4)), "stream count"));
  EXPECT_TRUE(Contains(damaged(69, std::string("\xff\xff\xff\xff", 4)), "stream count"));
  EXPECT_TRUE(Contains(damaged(73, kMinus1), "Storage index is damaged"));                 // offset
  EXPECT_TRUE(Contains(damaged(81, std::string("\0\0\0\0\0\0\0\x40", 8)), "outside the file"));  // size
  EXPECT_TRUE(Contains(damaged(89, std::string("\xff\xff\xff\x0f", 4)), "name runs past"));
  EXPECT_TRUE(Contains(damaged(89, std::string("\xfe\xff\xff\xff", 4)), "name runs past"));
  EXPECT_EQ(damaged(0, "STOR"), "accepted");
}

TEST_F(StorageTest, WorkingStoreMovesToTemporaryFilePastMemoryCache) {
  TsdStorage storage;
  storage.SetMemoryCache(65536);
  Put(storage, "a", Pattern(40000, 1));
  EXPECT_EQ(storage.WorkingFileName(), "");
  Put(storage, "b", Pattern(40000, 2));
  const std::string temp = storage.WorkingFileName();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(fs::path(temp).parent_path().string(), TempFolder());
  EXPECT_EQ(fs::path(temp).filename().string().substr(0, 4), "~TMP");
  EXPECT_EQ(fs::path(temp).extension().string(), ".tmp");
  // Open without a name, so that nothing is left behind however the program ends.
  EXPECT_FALSE(FileExists(temp));
  EXPECT_EQ(storage.FileName(), "");
  EXPECT_EQ(Get(storage, "a"), Pattern(40000, 1));
  EXPECT_EQ(Get(storage, "b"), Pattern(40000, 2));
  const std::string compact = Compact(storage);
  storage.Clear();
  EXPECT_FALSE(FileExists(temp));
  EXPECT_EQ(storage.WorkingFileName(), "");

  // Loading a large stream and lowering the limit under a full memory store move it as well.
  TMemoryStream m(std::vector<uint8_t>(compact.begin(), compact.end()));
  storage.LoadFromStream(m);
  const std::string loadedTemp = storage.WorkingFileName();
  EXPECT_FALSE(loadedTemp.empty());
  EXPECT_EQ(Get(storage, "b"), Pattern(40000, 2));
  auto other = std::make_unique<TsdStorage>();
  Put(*other, "c", Pattern(30000, 3));
  other->SetMemoryCache(20000);
  const std::string otherTemp = other->WorkingFileName();
  EXPECT_FALSE(otherTemp.empty());
  EXPECT_EQ(Get(*other, "c"), Pattern(30000, 3));
  other.reset();
  EXPECT_FALSE(FileExists(otherTemp));
  storage.Open(Path("missing"));
  EXPECT_FALSE(FileExists(loadedTemp));
}

TEST_F(StorageTest, TemporaryFileFailureKeepsTheStorage) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", Path("no-such-folder").c_str(), 1);
  TsdStorage storage;
  storage.SetMemoryCache(1000);
  Put(storage, "small", "kept in memory");
  try {
    Put(storage, "large", Pattern(2000, 1));
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Unable to create temporary file");
  }
  if (old) {
    ::setenv("TMPDIR", saved.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  // Only the write that needed the file failed: what the storage held is all there.
  EXPECT_EQ(storage.StreamCount(), 1);
  EXPECT_EQ(Get(storage, "small"), "kept in memory");
  Put(storage, "again", Pattern(2000, 2));
  EXPECT_EQ(Get(storage, "again"), Pattern(2000, 2));
  EXPECT_THROW(storage.SaveToFile(""), Exception);
}

TEST_F(StorageTest, FileNameAndAutoSaveReopen) {
  const std::string file = Path("auto.stor");
  TsdStorage storage;
  Put(storage, "s", "saved");
  storage.SaveToFile(file);
  EXPECT_EQ(storage.FileName(), "");
  storage.SetFileName(file);
  EXPECT_EQ(Get(storage, "s"), "saved");
  EXPECT_EQ(storage.WorkingFileName(), "");

  storage.SetAutoSave(true);
  EXPECT_EQ(storage.WorkingFileName(), file);
  Put(storage, "t", "direct");
  TsdStorage reader;
  reader.Open(file);
  EXPECT_EQ(Get(reader, "t"), "direct");

  storage.SetAutoSave(false);
  Put(storage, "u", "unsaved");
  storage.SetAutoSave(true);  // reopening drops what was not saved
  EXPECT_FALSE(storage.StreamExists("u"));
  EXPECT_TRUE(storage.StreamExists("t"));
  storage.SetFileName(Path("new.stor"));
  EXPECT_EQ(fs::file_size(Path("new.stor")), 18u);
}

TEST_F(StorageTest, UniqueAndTemporaryNames) {
  TsdStorage storage;
  const std::string name = storage.UniqueStreamName(".hck");
  ASSERT_EQ(name.size(), 14u);
  EXPECT_EQ(name.substr(0, 3), "TMP");
  EXPECT_EQ(name.find_first_not_of("0123456789", 3), 10u);
  EXPECT_EQ(name.substr(10), ".hck");
  EXPECT_TRUE(TsdStorage::IsTempStreamName(name));
  EXPECT_FALSE(TsdStorage::IsTempStreamName("tmp1234567"));
  EXPECT_FALSE(TsdStorage::IsTempStreamName("TM"));
}

// A source that raises its read error after a number of bytes, as a file on a failing disk does.
class TFailingSource : public TMemoryStream {
public:
  TFailingSource(const std::string& bytes, int64_t failAfter)
      : TMemoryStream(std::vector<uint8_t>(bytes.begin(), bytes.end())), failAfter_(failAfter) {}
  int64_t Read(void* buffer, int64_t count) override {
    if (Position() + count > failAfter_) RaiseStreamError("Cannot read file \"source\". Input/output error");
    return TMemoryStream::Read(buffer, count);
  }

private:
  int64_t failAfter_;
};

enum class TStoreKind { Memory, TemporaryFile, Direct };

class FailedReplaceTest : public StorageTest, public ::testing::WithParamInterface<TStoreKind> {};

// A replace completes or leaves the old stream whole, whatever size the new one has and wherever
// the working store lives; a new stream that fails leaves no entry. In direct mode the file is
// checked as another reader sees it.
TEST_P(FailedReplaceTest, LeavesTheOldStreamWhole) {
  const std::string file = Path("direct.stor");
  TsdStorage storage;
  if (GetParam() == TStoreKind::TemporaryFile) storage.SetMemoryCache(1000);
  if (GetParam() == TStoreKind::Direct) storage.OpenDirect(file);
  // Larger than the copy buffer, so that the failure comes after bytes were written.
  const std::string old = Pattern(100000, 1);
  Put(storage, "before", Pattern(300, 2));
  Put(storage, "s", old);
  Put(storage, "after", Pattern(500, 3));
  const std::string fileBefore = GetParam() == TStoreKind::Direct ? FileText(file) : "";
  for (const size_t size : {size_t{100000}, size_t{90000}, size_t{150000}}) {
    TFailingSource source(Pattern(size, 9), 70000);
    EXPECT_EQ(test::ErrorOf<EStreamError>([&] { storage.WriteStream("S", source); }),
              "Cannot read file \"source\". Input/output error")
        << size;
    EXPECT_EQ(Get(storage, "s"), old) << size;
  }
  TFailingSource fresh(Pattern(80000, 9), 70000);
  EXPECT_THROW(storage.WriteStream("new", fresh), EStreamError);
  EXPECT_FALSE(storage.StreamExists("new"));
  EXPECT_EQ(storage.StreamCount(), 3);
  EXPECT_EQ(Get(storage, "before"), Pattern(300, 2));
  EXPECT_EQ(Get(storage, "after"), Pattern(500, 3));
  if (GetParam() == TStoreKind::Direct) {
    // Nothing of the failed attempts is left in the file, not even a longer end.
    EXPECT_EQ(FileText(file), fileBefore);
  } else {
    EXPECT_EQ(Compact(storage).size(), 73u + 3 * 20 + 6 + 1 + 5 + 300 + 100000 + 500);
  }
  if (GetParam() == TStoreKind::TemporaryFile) {
    EXPECT_NE(storage.WorkingFileName(), "");
  }

  // A replace that completes still keeps the place of a stream that does not grow.
  Put(storage, "S", Pattern(100000, 4));
  EXPECT_EQ(Get(storage, "s"), Pattern(100000, 4));
  EXPECT_EQ(storage.StreamName(1), "S");
  if (GetParam() == TStoreKind::Direct) {
    const std::string bytes = FileText(file);
    EXPECT_EQ(ParseIndex(bytes)[1].offset, ParseIndex(fileBefore)[1].offset);
    EXPECT_EQ(bytes.size(), fileBefore.size());
    TsdStorage reader;
    reader.Open(file);
    EXPECT_EQ(Get(reader, "s"), Pattern(100000, 4));
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, FailedReplaceTest,
                         ::testing::Values(TStoreKind::Memory, TStoreKind::TemporaryFile, TStoreKind::Direct));

// Deleting in direct mode rewrites the index before the file is cut back, so a failure in between
// leaves a readable file that still holds the stream. The failure is a file-size limit that lets
// the cut succeed but refuses writing the index beyond byte 10.
TEST_F(StorageTest, DirectDeleteWritesTheIndexBeforeCuttingTheFile) {
  const std::string file = Path("direct.stor");
  {
    TsdStorage storage;
    storage.OpenDirect(file);
    Put(storage, "only", Pattern(2000, 1));
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = test::ErrorOf<Exception>([&] { storage.DeleteStream("only"); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_TRUE(Contains(error, "Cannot write file")) << error;
    EXPECT_TRUE(Contains(error, std::strerror(EFBIG))) << error;
  }
  TsdStorage reader;
  reader.Open(file);
  ASSERT_EQ(reader.StreamCount(), 1);
  EXPECT_EQ(Get(reader, "only"), Pattern(2000, 1));
}

// A destination stream that calls back into the storage while it is being filled.
class TReentrantStream : public TMemoryStream {
public:
  explicit TReentrantStream(TsdStorage& storage) : storage_(storage) {}
  int64_t Write(const void* buffer, int64_t count) override {
    try {
      storage_.StreamCount();
    } catch (const Exception& e) {
      message = e.what();
    }
    return TMemoryStream::Write(buffer, count);
  }
  std::string message;

private:
  TsdStorage& storage_;
};

TEST_F(StorageTest, NestedCallIsRefusedAndTheOuterCallContinues) {
  TsdStorage storage;
  Put(storage, "s", Pattern(1000, 1));
  TReentrantStream dest(storage);
  storage.ReadStream("s", dest);
  EXPECT_EQ(dest.message, "Warning: recursive call to sdStorage from event");
  EXPECT_EQ(std::string(dest.Bytes().begin(), dest.Bytes().end()), Pattern(1000, 1));
  EXPECT_EQ(storage.StreamCount(), 1);
}

TEST_F(StorageTest, TwoThreadsWriteDifferentStreams) {
  TsdStorage storage;
  storage.SetMemoryCache(4096);
  auto work = [&storage](int id) {
    for (int i = 0; i < 150; ++i) {
      const std::string name = "T" + std::to_string(id) + "_" + std::to_string(i % 7);
      const std::string data = Pattern(static_cast<size_t>(100 + (i * 977) % 3000), id * 1000 + i);
      Put(storage, name, data);
      ASSERT_EQ(Get(storage, name), data);
    }
  };
  std::thread a(work, 1), b(work, 2);
  a.join();
  b.join();
  EXPECT_EQ(storage.StreamCount(), 14);
  EXPECT_FALSE(storage.WorkingFileName().empty());
  for (int id = 1; id <= 2; ++id) {
    for (int i = 143; i < 150; ++i) {
      const std::string name = "T" + std::to_string(id) + "_" + std::to_string(i % 7);
      EXPECT_EQ(Get(storage, name), Pattern(static_cast<size_t>(100 + (i * 977) % 3000), id * 1000 + i));
    }
  }
}

// The memory stream callers move data with goes in and out whole and comes back with the
// capacity its size needs.
TEST(QuickMemStream, RoundTripsThroughTheStorage) {
  TQuickMemStream m;
  m.Seek(3, TSeekOrigin::soBeginning);
  m.Write("abc", 3);
  TsdStorage storage;
  storage.WriteStream("q", m);
  TQuickMemStream back;
  storage.ReadStream("q", back);
  ASSERT_EQ(back.Size(), 6);
  EXPECT_EQ(back.Capacity(), 8192);
  EXPECT_EQ(std::memcmp(back.Memory(), "\0\0\0abc", 6), 0);
}

}  // namespace
}  // namespace sw
