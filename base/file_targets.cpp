#include "base/file_targets.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/exception.h"
#include "base/stream.h"
#include "base/strings.h"

namespace sw {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr const char* kTemporaryMark = ".~";
constexpr size_t kTemporaryTail = 6;
constexpr char kTemporaryLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";

[[noreturn]] void RaiseSaveTarget(const std::string& name, const std::string& why) {
  RaiseStreamError(Format("Cannot save to %s: %s", QuoteForMessage(name, 200).c_str(), why.c_str()));
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device";
  if (S_ISFIFO(mode)) return "it is a pipe";
  if (S_ISSOCK(mode)) return "it is a socket";
  return "it is not a regular file";
}

// The names of the temporaries still open, for the signal handlers, which may only read them.
// A slot is free (0), being filled or emptied (1), or names an open temporary (2). This table is
// the one piece of process-wide state here: a signal handler has no other way to find them.
constexpr int kSlotCount = 64;
constexpr size_t kSlotNameSize = 4096;
struct TSlot {
  std::atomic<int> state;
  char name[kSlotNameSize];
};
TSlot gSlots[kSlotCount];

int TakeSlot(const std::string& name) {
  if (name.size() >= kSlotNameSize) return -1;
  for (int i = 0; i < kSlotCount; ++i) {
    int expected = 0;
    if (gSlots[i].state.compare_exchange_strong(expected, 1)) {
      std::memcpy(gSlots[i].name, name.c_str(), name.size() + 1);
      gSlots[i].state.store(2);
      return i;
    }
  }
  return -1;  // more open at once than the table holds: those rely on the next save
}

void FreeSlot(int slot) {
  if (slot < 0) return;
  gSlots[slot].state.store(1);
  gSlots[slot].name[0] = 0;
  gSlots[slot].state.store(0);
}

extern "C" void RemoveTemporariesOnSignal(int signal) {
  for (TSlot& slot : gSlots) {
    if (slot.state.load() == 2) ::unlink(slot.name);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// True for target + ".~" + six letters or digits.
bool IsTemporaryOf(const std::string& entry, const std::string& base) {
  const std::string prefix = base + kTemporaryMark;
  if (entry.size() != prefix.size() + kTemporaryTail || entry.compare(0, prefix.size(), prefix) != 0) return false;
  for (size_t i = prefix.size(); i < entry.size(); ++i) {
    if (!std::strchr(kTemporaryLetters, entry[i]) || entry[i] == 0) return false;
  }
  return true;
}

void SyncFolderOf(const std::string& file) {
  const std::string folder = std::filesystem::path(file).parent_path().string();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string ResolveSaveTarget(const std::string& fileName) {
  if (fileName.empty()) RaiseStreamError(Format("Cannot create file \"\". %s", std::strerror(ENOENT)));
  std::string path = ExpandFileName(fileName);
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return path;  // a new file, or one whose creation will say why not
    if (S_ISREG(st.st_mode)) return path;
    if (!S_ISLNK(st.st_mode)) RaiseSaveTarget(path, KindOf(st.st_mode));
    if (hops >= kMaxLinkHops) RaiseSaveTarget(fileName, "its symbolic links form a loop");
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(path, error);
    if (error) RaiseSaveTarget(path, error.message());
    path = ExpandFileName(link.is_absolute() ? link.string()
                                             : (std::filesystem::path(path).parent_path() / link).string());
  }
}

int RemoveStaleTemporaries(const std::string& target) {
  const std::filesystem::path path(target);
  const std::string folder = path.parent_path().empty() ? "." : path.parent_path().string();
  const std::string base = path.filename().string();
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsTemporaryOf(name, base)) continue;
    const std::string full = folder + "/" + name;
    // A save in progress holds its temporary locked; one that can be locked has no owner left.
    const int fd = ::open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (::unlink(full.c_str()) == 0) ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

TSaveTemporary::TSaveTemporary(const std::string& target) : target_(target) {
  RemoveStaleTemporaries(target_);
  std::random_device seed;
  std::mt19937 random(seed() ^ static_cast<unsigned>(::getpid()));
  std::uniform_int_distribution<size_t> letter(0, sizeof kTemporaryLetters - 2);
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = target_ + kTemporaryMark;
    for (size_t i = 0; i < kTemporaryTail; ++i) name += kTemporaryLetters[letter(random)];
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      (void)::flock(fd, LOCK_EX | LOCK_NB);
      lockFd_ = fd;
      name_ = name;
      slot_ = TakeSlot(name_);
      return;
    }
    err = errno;
    if (err != EEXIST) break;
  }
  RaiseStreamError(Format("Cannot create file \"%s\". %s", target_.c_str(), std::strerror(err)));
}

TSaveTemporary::~TSaveTemporary() { Discard(); }

void TSaveTemporary::SetTarget(const std::string& fileName) { target_ = ResolveSaveTarget(fileName); }

void TSaveTemporary::Commit() {
  if (name_.empty()) RaiseStreamError(Format("Cannot write file \"%s\". %s", target_.c_str(), std::strerror(EBADF)));
  // The file replaced passes its mode on, and its owner where the system allows (the owner
  // first: a change of owner clears the set-user bits).
  struct stat old {};
  if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)::fchown(lockFd_, old.st_uid, old.st_gid);
    (void)::fchmod(lockFd_, old.st_mode & 07777);
  }
  if (::rename(name_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    Discard();
    RaiseStreamError(Format("Cannot create file \"%s\". %s", target_.c_str(), std::strerror(err)));
  }
  FreeSlot(slot_);
  slot_ = -1;
  name_.clear();
  ::close(lockFd_);
  lockFd_ = -1;
  SyncFolderOf(target_);
}

void TSaveTemporary::Discard() {
  FreeSlot(slot_);
  slot_ = -1;
  if (!name_.empty()) {
    ::unlink(name_.c_str());
    name_.clear();
  }
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

void InstallTemporaryFileCleanup() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesOnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    (void)::sigaction(signal, &action, nullptr);
  }
}

// ---- TAtomicFile ----

TAtomicFile::TAtomicFile(std::string target) : target_(ResolveSaveTarget(target)) {
  temporary_ = std::make_unique<TSaveTemporary>(target_);
  stream_ = std::make_unique<TFileStream>(temporary_->Name(), TFileMode::fmOpenReadWrite);
}

TAtomicFile::~TAtomicFile() { Discard(); }

void TAtomicFile::SetTarget(std::string target) {
  if (temporary_) temporary_->SetTarget(target);
  target_ = temporary_ ? temporary_->Target() : ResolveSaveTarget(target);
}

const std::string& TAtomicFile::TempName() const {
  static const std::string kNone;
  return temporary_ ? temporary_->Name() : kNone;
}

void TAtomicFile::Commit() {
  if (!stream_ || !temporary_) {
    RaiseStreamError(Format("Cannot write file \"%s\". %s", target_.c_str(), std::strerror(EBADF)));
  }
  try {
    stream_->Flush();
    stream_.reset();
    temporary_->Commit();
  } catch (...) {
    Discard();
    throw;
  }
  temporary_.reset();
}

void TAtomicFile::Discard() {
  stream_.reset();
  temporary_.reset();
}

}  // namespace sw
