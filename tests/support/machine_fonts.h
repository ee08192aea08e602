// A fixture giving a test suite the machine's font system, created once for the suite and
// destroyed after it, the way the program's main creates one and passes it on.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/fonts.h"

namespace sw::test {

class MachineFonts : public ::testing::Test {
protected:
  static void SetUpTestSuite() { fonts_ = TFontSystem::CreateForMachine(); }
  static void TearDownTestSuite() { fonts_.reset(); }
  static TFontSystem& Fonts() { return *fonts_; }

private:
  static inline std::unique_ptr<TFontSystem> fonts_;
};

}  // namespace sw::test
