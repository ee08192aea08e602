#include "base/quick_mem_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "base/exception.h"

namespace sw {
namespace {

TEST(QuickMemStream, CapacityGrowsByPowersOfFour) {
  TQuickMemStream m;
  EXPECT_EQ(m.Capacity(), 0);
  EXPECT_EQ(m.Memory(), nullptr);
  m.SetSize(1);
  EXPECT_EQ(m.Capacity(), 8192);
  m.SetSize(8193);
  EXPECT_EQ(m.Capacity(), 32768);
  m.SetSize(0);
  EXPECT_EQ(m.Capacity(), 8192);
  m.Seek(131072, TSeekOrigin::soBeginning);
  EXPECT_EQ(m.Write("ab", 2), 2);
  EXPECT_EQ(m.Size(), 131074);
  EXPECT_EQ(m.Capacity(), 524288);
  EXPECT_THROW(m.SetSize(int64_t{1} << 31), EStreamError);
}

// Seeking is unchecked, so reads and writes keep to the bytes that exist.
TEST(QuickMemStream, ReadsAndWritesKeepInsideTheBytes) {
  TQuickMemStream m;
  m.SetSize(16);
  uint8_t buf[4] = {9, 9, 9, 9};
  m.Seek(-1, TSeekOrigin::soBeginning);
  EXPECT_EQ(m.Read(buf, 4), 0);
  EXPECT_EQ(m.Write(buf, 4), 0);
  EXPECT_EQ(m.Size(), 16);
  m.Seek(-3, TSeekOrigin::soEnd);
  EXPECT_EQ(m.Read(buf, 4), 3);
  EXPECT_EQ(m.Read(buf, -1), 0);
  // A position far beyond what a size can reach is refused, not wrapped around.
  m.Seek(INT64_MAX - 1, TSeekOrigin::soBeginning);
  EXPECT_THROW(m.Write(buf, 4), EStreamError);
  m.Seek(INT32_MAX, TSeekOrigin::soBeginning);
  EXPECT_THROW(m.Write(buf, 1), EStreamError);
  EXPECT_EQ(m.Size(), 16);
}

// Bytes exposed again by growing, or skipped by seeking past the end, read as zeros.
TEST(QuickMemStream, ExposedBytesReadAsZeros) {
  TQuickMemStream m;
  m.Write("0123456789", 10);
  m.SetSize(2);
  m.SetSize(6);
  uint8_t buf[6];
  m.SetPosition(0);
  ASSERT_EQ(m.Read(buf, 6), 6);
  EXPECT_EQ(std::memcmp(buf, "01\0\0\0\0", 6), 0);
  m.SetSize(2);
  m.Seek(5, TSeekOrigin::soBeginning);
  m.Write("z", 1);
  m.SetPosition(0);
  ASSERT_EQ(m.Read(buf, 6), 6);
  EXPECT_EQ(std::memcmp(buf, "01\0\0\0z", 6), 0);
}

}  // namespace
}  // namespace sw
