// Helpers of the magnet tests: a design with the machine's fonts and the shape kinds registered,
// picture files of a given size, and temporary file names.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "base/stream.h"
#include "magnet/magnet_design.h"
#include "platform/services.h"
#include "raster/bitmap32.h"
#include "shapes/engine_start.h"
#include "storage/formats/png_format.h"
#include "storage/xml/native_xml.h"
#include "support/machine_fonts.h"

namespace sw::test {

class MagnetFixture : public MachineFonts {
protected:
  static void SetUpTestSuite() {
    MachineFonts::SetUpTestSuite();
    PrepareEngine();
  }

  TServices Services() {
    TServices services;
    services.Fonts = &Fonts();
    return services;
  }

  std::unique_ptr<TMagnetDesign> NewMagnet() { return std::make_unique<TMagnetDesign>(Services()); }

  // A file of that name in the test's own temporary folder, removed with it when the test ends.
  std::string TempFile(const std::string& name) {
    if (folder_.empty()) {
      const char* tmp = std::getenv("TMPDIR");
      folder_ = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
                (std::string("magnet_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
      std::filesystem::remove_all(folder_);
      std::filesystem::create_directories(folder_);
    }
    return (folder_ / name).string();
  }

  // A PNG file of width x height pixels in one colour.
  std::string PictureFile(const std::string& name, int32_t width, int32_t height, TColor32 colour = 0xFF336699) {
    TBitmap32 bitmap;
    bitmap.SetSize(width, height);
    bitmap.Clear(colour);
    TMemoryStream stream;
    EncodePng(bitmap, stream);
    const std::string path = TempFile(name);
    stream.SaveToFile(path);
    return path;
  }

  void TearDown() override {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }

private:
  std::filesystem::path folder_;
};

}  // namespace sw::test
