#include "storage/resources/map_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "base/exception.h"

namespace sw {
namespace {

TEST(MapStream, BlockSizeFollowsThePageSize) {
  EXPECT_EQ(MapBlockSize(4096), 65536);
  EXPECT_EQ(MapBlockSize(16384), 65536);
  EXPECT_EQ(MapBlockSize(65536), 65536);
  EXPECT_EQ(MapBlockSize(131072), 131072);
  // Whole pages even for a page size that does not divide 64 KiB.
  EXPECT_EQ(MapBlockSize(3000), 66000);
  for (int64_t bad : {int64_t(0), int64_t(-4096)}) {
    try {
      MapBlockSize(bad);
      FAIL() << "page size " << bad << " accepted";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Memory map page size is zero");
    }
  }
  TMapStream stream;
  EXPECT_EQ(stream.BlockSize(), 65536);
}

TEST(MapStream, SeekGrowWriteAndReleaseBlocks) {
  TMapStream a;
  EXPECT_EQ(a.Seek(100, TSeekOrigin::soBeginning), 100);
  EXPECT_EQ(a.Size(), 100);
  EXPECT_EQ(a.BlockCount(), 1);

  TMapStream b;
  b.SetPosition(65536);
  const uint8_t one = 7;
  EXPECT_EQ(b.Write(&one, 1), 1);
  EXPECT_EQ(b.Size(), 65537);
  EXPECT_EQ(b.BlockCount(), 2);
  EXPECT_EQ(b.Position(), 65537);

  b.SetSize(0);
  EXPECT_EQ(b.BlockCount(), 0);
  EXPECT_EQ(b.Position(), 0);
  EXPECT_EQ(b.Size(), 0);

  // Exactly one block, then one byte more.
  b.SetSize(65536);
  EXPECT_EQ(b.BlockCount(), 1);
  b.SetSize(65537);
  EXPECT_EQ(b.BlockCount(), 2);
  // Shrinking moves a position beyond the end to the end.
  b.SetPosition(65537);
  b.SetSize(10);
  EXPECT_EQ(b.Position(), 10);
  EXPECT_EQ(b.BlockCount(), 1);
  // Seeking from the end and the current position.
  EXPECT_EQ(b.Seek(-4, TSeekOrigin::soEnd), 6);
  EXPECT_EQ(b.Seek(2, TSeekOrigin::soCurrent), 8);
}

TEST(MapStream, ReadIsCutToTheSize) {
  TMapStream s;
  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  s.SetBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(s.Position(), 0);
  s.SetPosition(69990);
  std::vector<uint8_t> out(100, 0xEE);
  EXPECT_EQ(s.Read(out.data(), 100), 10);
  EXPECT_EQ(out[0], bytes[69990]);
  EXPECT_EQ(out[9], bytes[69999]);
  EXPECT_EQ(out[10], 0xEE);
  EXPECT_EQ(s.Read(out.data(), 100), 0);
  EXPECT_EQ(s.Read(out.data(), -5), 0);
  EXPECT_EQ(s.Bytes(), bytes);
}

TEST(MapStream, GrownBytesReadAsZeros) {
  TMapStream s;
  std::vector<uint8_t> ones(1000, 0xFF);
  s.SetBytes(ones.data(), 1000);
  s.SetSize(10);
  s.SetSize(1000);
  const std::vector<uint8_t> bytes = s.Bytes();
  for (size_t i = 10; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
  EXPECT_EQ(bytes[9], 0xFF);
}

TEST(MapStream, RefusesSizesAndPositionsOutOfRange) {
  TMapStream s;
  s.SetSize(5);
  EXPECT_THROW(s.SetSize(-1), EStreamError);
  EXPECT_THROW(s.SetSize(TMapStream::kMaxSize + 1), EStreamError);
  EXPECT_THROW(s.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
  EXPECT_THROW(s.Seek(-6, TSeekOrigin::soEnd), EStreamError);
  s.SetPosition(TMapStream::kMaxSize - 1);
  const uint8_t two[2] = {1, 2};
  EXPECT_THROW(s.Write(two, 2), EStreamError);
  // Each refusal left the stream as it was.
  EXPECT_EQ(s.Size(), TMapStream::kMaxSize - 1);
  s.SetSize(0);
  EXPECT_EQ(s.BlockCount(), 0);
}

// Random writes, reads, seeks and size changes against a plain byte vector.
TEST(MapStream, MatchesAByteVectorAcrossBlockBoundaries) {
  std::mt19937 random(12345);
  TMapStream s;
  std::vector<uint8_t> model;
  int64_t position = 0;
  for (int step = 0; step < 3000; ++step) {
    const int op = static_cast<int>(random() % 4);
    if (op == 0) {
      const int64_t count = random() % 150000;
      std::vector<uint8_t> chunk(static_cast<size_t>(count));
      for (auto& c : chunk) c = static_cast<uint8_t>(random());
      ASSERT_EQ(s.Write(chunk.data(), count), count);
      if (position + count > static_cast<int64_t>(model.size())) model.resize(static_cast<size_t>(position + count));
      std::copy(chunk.begin(), chunk.end(), model.begin() + position);
      position += count;
    } else if (op == 1) {
      const int64_t count = random() % 150000;
      std::vector<uint8_t> chunk(static_cast<size_t>(count));
      const int64_t expected = std::min<int64_t>(count, static_cast<int64_t>(model.size()) - position);
      ASSERT_EQ(s.Read(chunk.data(), count), expected);
      ASSERT_TRUE(std::equal(chunk.begin(), chunk.begin() + expected, model.begin() + position));
      position += expected;
    } else if (op == 2) {
      const int64_t target = random() % (model.size() + 70000);
      ASSERT_EQ(s.Seek(target, TSeekOrigin::soBeginning), target);
      if (target > static_cast<int64_t>(model.size())) model.resize(static_cast<size_t>(target));
      position = target;
    } else {
      const int64_t size = (random() % 8 == 0) ? 0 : random() % 400000;
      s.SetSize(size);
      model.resize(static_cast<size_t>(size));
      if (position > size) position = size;
    }
    ASSERT_EQ(s.Size(), static_cast<int64_t>(model.size()));
    ASSERT_EQ(s.Position(), position);
    ASSERT_EQ(s.BlockCount(), (model.size() + 65535) / 65536);
  }
  EXPECT_EQ(s.Bytes(), model);

  TMapStream copy;
  copy.CopyBytesFrom(s);
  EXPECT_EQ(copy.Bytes(), model);
  EXPECT_EQ(copy.Position(), 0);
}

}  // namespace
}  // namespace sw
