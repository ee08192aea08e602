// Helpers of the magnet tests: a design with the machine's fonts and the shape kinds registered,
// picture files of a given size, and temporary file names.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/stream.h"
#include "magnet/magnet_design.h"
#include "platform/services.h"
#include "shapes/raster/bitmap32.h"
#include "shapes/register.h"
#include "storage/formats/png_format.h"
#include "storage/xml/native_xml.h"
#include "support/machine_fonts.h"

namespace sw::test {

class MagnetFixture : public MachineFonts {
protected:
  static void SetUpTestSuite() {
    MachineFonts::SetUpTestSuite();
    InitXmlDefaults();
    RegisterShapeKinds();
  }

  TServices Services() {
    TServices services;
    services.Fonts = &Fonts();
    return services;
  }

  std::unique_ptr<TMagnetDesign> NewMagnet() { return std::make_unique<TMagnetDesign>(Services()); }

  // A file name in the test's temporary folder, removed when the test ends.
  std::string TempFile(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/magnet_" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
    files_.push_back(path);
    std::remove(path.c_str());
    return path;
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
    for (const std::string& path : files_) std::remove(path.c_str());
  }

private:
  std::vector<std::string> files_;
};

}  // namespace sw::test
