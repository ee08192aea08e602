// Helpers of the file printer tests: scratch file names, running the independent PDF tools and
// reading the pictures they make.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/stream.h"
#include "raster/bitmap32.h"

namespace sw::test {

// A file name in the test folder unique to this process and test.
inline std::string ScratchName(const std::string& stem) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return TempFolder() + "/" + stem + "_" + (info ? info->name() : "x") + "_" + std::to_string(::getpid());
}

// Runs a shell command; returns its exit status and what it printed (both streams).
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
  const std::string capture = ScratchName("cmd") + ".txt";
  const int raw = std::system((command + " >'" + capture + "' 2>&1").c_str());
  if (output) {
    output->clear();
    if (FileExists(capture)) {
      const std::vector<uint8_t> bytes = ReadFileBytes(capture);
      output->assign(bytes.begin(), bytes.end());
    }
  }
  std::remove(capture.c_str());
  return raw == -1 ? -1 : WEXITSTATUS(raw);
}

// Whether a program is on the PATH; the file printer tests need qpdf and pdftoppm
// (scripts/install-deps installs them).
inline bool HaveTool(const std::string& name) { return RunCommand("command -v " + name) == 0; }

// Reads a binary PPM (P6, 8 bits) such as pdftoppm writes; false when it is not one.
inline bool ReadPpm(const std::string& fileName, TBitmap32& bitmap) {
  if (!FileExists(fileName)) return false;
  const std::vector<uint8_t> data = ReadFileBytes(fileName);
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < data.size()) {
      if (data[pos] == '#') {
        while (pos < data.size() && data[pos] != '\n') ++pos;
      } else if (std::isspace(data[pos])) {
        ++pos;
      } else {
        break;
      }
    }
    while (pos < data.size() && !std::isspace(data[pos])) t += static_cast<char>(data[pos++]);
    return t;
  };
  if (token() != "P6") return false;
  const int w = std::atoi(token().c_str()), h = std::atoi(token().c_str()), max = std::atoi(token().c_str());
  ++pos;
  if (w <= 0 || h <= 0 || max != 255 || data.size() - pos < size_t(w) * size_t(h) * 3) return false;
  bitmap.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x, pos += 3) bitmap.SetPixel(x, y, Color32(data[pos], data[pos + 1], data[pos + 2]));
  }
  return true;
}

// How far two pictures of one size are apart: the largest channel difference, and the share of
// pixels whose channels all lie within tolerance.
struct TPictureDistance {
  int MaxDifference = 256;
  double ShareWithin = 0;
};

inline TPictureDistance Distance(const TBitmap32& a, const TBitmap32& b, int tolerance) {
  TPictureDistance d;
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty()) return d;
  d.MaxDifference = 0;
  int64_t within = 0;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      const TColor32 p = a.Pixel(x, y), q = b.Pixel(x, y);
      int worst = 0;
      for (const int shift : {0, 8, 16}) {
        worst = std::max(worst, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
      }
      d.MaxDifference = std::max(d.MaxDifference, worst);
      if (worst <= tolerance) ++within;
    }
  }
  d.ShareWithin = double(within) / (double(a.Width()) * a.Height());
  return d;
}

// The share of pixels of rendered (a reader's rendering) whose every channel lies within the
// range of the same channel over the 3 x 3 neighbourhood of the pixel in reference, widened by
// slack: readers place and resample pictures their own way by up to a pixel. A reader may also
// round the page's size up to one pixel differently; the pixels both have are compared.
inline double ShareWithinNeighbourhood(const TBitmap32& rendered, const TBitmap32& reference, int slack) {
  if (std::abs(rendered.Width() - reference.Width()) > 1 || std::abs(rendered.Height() - reference.Height()) > 1 ||
      rendered.Empty() || reference.Empty()) {
    return 0;
  }
  const int32_t w = std::min(rendered.Width(), reference.Width()), h = std::min(rendered.Height(), reference.Height());
  int64_t good = 0;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      bool ok = true;
      for (const int shift : {0, 8, 16}) {
        int lo = 255, hi = 0;
        for (int32_t dy = -1; dy <= 1; ++dy) {
          for (int32_t dx = -1; dx <= 1; ++dx) {
            const int32_t sx = std::clamp(x + dx, 0, reference.Width() - 1);
            const int32_t sy = std::clamp(y + dy, 0, reference.Height() - 1);
            const int v = int((reference.Pixel(sx, sy) >> shift) & 0xFF);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
          }
        }
        const int v = int((rendered.Pixel(x, y) >> shift) & 0xFF);
        if (v < lo - slack || v > hi + slack) ok = false;
      }
      if (ok) ++good;
    }
  }
  return double(good) / (double(w) * h);
}

// Names of the files in prefix's folder whose names begin with prefix's last part.
inline std::vector<std::string> FilesStartingWith(const std::string& prefix) {
  const std::filesystem::path p(prefix);
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(p.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(p.filename().string(), 0) == 0) found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// How many image objects a PDF file holds (their dictionaries are never compressed).
inline size_t PdfImageCount(const std::string& fileName) {
  const std::vector<uint8_t> bytes = ReadFileBytes(fileName);
  const std::string text(bytes.begin(), bytes.end());
  size_t images = 0;
  for (size_t at = text.find("/Subtype /Image"); at != std::string::npos; at = text.find("/Subtype /Image", at + 1)) {
    ++images;
  }
  return images;
}

}  // namespace sw::test
