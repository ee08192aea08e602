#include "platform/file_printer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/exception.h"
#include "base/numeric.h"
#include "base/stream.h"

namespace sw {

void CheckFilePrinterSettings(const TFilePrinterSettings& s) {
  auto side = [](float v) { return std::isfinite(v) && v > 0 && v <= kMaxPaperSide; };
  if (!side(s.PaperWidth) || !side(s.PaperHeight)) RaiseError("Invalid paper size");
  if (s.Dpi < 1 || s.Dpi > kMaxPrinterDpi) RaiseError("Invalid printer resolution");
  if (!std::isfinite(s.ShiftX) || !std::isfinite(s.ShiftY) || std::abs(s.ShiftX) > s.PaperWidth ||
      std::abs(s.ShiftY) > s.PaperHeight) {
    RaiseError("Invalid printer shift");
  }
  const TPrinterSheet sheet = FileSheet(s);
  if (sheet.Width < 1 || sheet.Height < 1) RaiseError("Invalid paper size");
}

TPrinterSheet FileSheet(const TFilePrinterSettings& s) {
  TPrinterSheet sheet;
  sheet.Width = Round(static_cast<double>(s.PaperWidth) / 25.4 * s.Dpi);
  sheet.Height = Round(static_cast<double>(s.PaperHeight) / 25.4 * s.Dpi);
  sheet.DpiX = sheet.DpiY = s.Dpi;
  return sheet;
}

// ---- TAtomicFile ----

TAtomicFile::TAtomicFile(std::string target) : target_(std::move(target)) {
  std::vector<char> pattern(target_.begin(), target_.end());
  const char suffix[] = ".XXXXXX";
  pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) RaiseStreamError(Format("Cannot create file \"%s\". %s", target_.c_str(), std::strerror(errno)));
  // mkstemp makes the file private; the finished file gets the permissions of a new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  (void)::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  temp_ = pattern.data();
  try {
    stream_ = std::make_unique<TFileStream>(temp_, TFileMode::fmOpenReadWrite);
  } catch (...) {
    ::unlink(temp_.c_str());
    throw;
  }
}

TAtomicFile::~TAtomicFile() { Discard(); }

void TAtomicFile::Commit() {
  if (!stream_) RaiseStreamError(Format("Cannot write file \"%s\". %s", target_.c_str(), std::strerror(EBADF)));
  try {
    stream_->Flush();
    stream_.reset();
  } catch (...) {
    Discard();
    throw;
  }
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    Discard();
    RaiseStreamError(Format("Cannot create file \"%s\". %s", target_.c_str(), std::strerror(err)));
  }
  temp_.clear();
  // Makes the rename durable; failing to sync the folder loses nothing already written.
  const std::string folder = std::filesystem::path(target_).parent_path().string();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)::fsync(fd);
    ::close(fd);
  }
}

void TAtomicFile::Discard() {
  stream_.reset();
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

void FilterRowSub(const TColor32* pixels, int32_t width, uint8_t* row) {
  row[0] = 1;
  uint8_t* q = row + 1;
  uint32_t lr = 0, lg = 0, lb = 0;
  for (int32_t x = 0; x < width; ++x, q += 3) {
    const uint32_t r = RedOf(pixels[x]), g = GreenOf(pixels[x]), b = BlueOf(pixels[x]);
    q[0] = static_cast<uint8_t>(r - lr);
    q[1] = static_cast<uint8_t>(g - lg);
    q[2] = static_cast<uint8_t>(b - lb);
    lr = r;
    lg = g;
    lb = b;
  }
}

}  // namespace sw
