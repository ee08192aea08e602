#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/deflate.h"
#include "base/exception.h"
#include "base/numeric.h"
#include "base/stream.h"
#include "base/strings.h"
#include "support/errors.h"

namespace sw {
namespace {

TEST(Numeric, RoundHalvesToEven) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(-0.5), 0);
  EXPECT_EQ(Round(-1.5), -2);
  EXPECT_EQ(Round(-2.5), -2);
  EXPECT_EQ(Round(2.4999), 2);
  EXPECT_EQ(Round(-2.5001), -3);
  EXPECT_EQ(Round(1e300), INT32_MAX);
  EXPECT_EQ(Round(-1e300), INT32_MIN);
  EXPECT_EQ(Round(std::nan("")), 0);
  EXPECT_EQ(Round64(4294967296.5), 4294967296LL);
  EXPECT_EQ(Round64(4294967297.5), 4294967298LL);
}

TEST(Numeric, DivTruncatesTowardZero) {
  EXPECT_EQ(Div(7, 2), 3);
  EXPECT_EQ(Div(-7, 2), -3);
  EXPECT_EQ(Div(7, -2), -3);
  EXPECT_EQ(Mod(-7, 2), -1);
  EXPECT_EQ(Div(INT32_MIN, -1), INT32_MAX);
  EXPECT_THROW(Div(1, 0), Exception);
}

TEST(Strings, Utf8AndUtf16RoundTrip) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, e-acute, euro, emoji
  const std::u16string wide = Utf8ToUtf16(text);
  ASSERT_EQ(wide.size(), 5u);
  EXPECT_EQ(wide[1], u'\u00E9');
  EXPECT_EQ(wide[3], 0xD83D);
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Strings, MalformedInputBecomesReplacementCharacter) {
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), std::u16string(u"\uFFFD\uFFFD"));  // overlong
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), std::u16string(u"a\uFFFD\uFFFD"));  // truncated
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80").size(), 3u);                      // surrogate
  const char16_t lone[] = {0xD800, u'x', 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "\xEF\xBF\xBDx");
  EXPECT_TRUE(SameText("Index.XML", "index.xml"));
  EXPECT_FALSE(SameText("Index.xml", "Index.xm"));
}

TEST(Strings, DecimalsReadWithPointOrComma) {
  EXPECT_EQ(TryParseDecimal("2.5"), 2.5);
  EXPECT_EQ(TryParseDecimal("2,5"), 2.5);
  EXPECT_EQ(TryParseDecimal(" -3 "), -3.0);
  EXPECT_EQ(TryParseDecimal("+4"), 4.0);
  EXPECT_EQ(TryParseDecimal("1E-5"), 1e-5);
  EXPECT_EQ(TryParseDecimal(".5"), 0.5);
  for (const char* bad : {"", " ", "yes", "1.2.3", "1,2.3", "inf", "nan", "-inf", "0x10", "1e999", "2 5",
                          "--1", "1e", "e5"}) {
    EXPECT_FALSE(TryParseDecimal(bad).has_value()) << bad;
  }
  try {
    ParseDecimal("abc");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
}

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  EXPECT_EQ(m.Size(), 5);
  m.SetPosition(10);
  m.WriteBuffer("!", 1);
  EXPECT_EQ(m.Size(), 11);
  EXPECT_EQ(m.Memory()[7], 0);
  m.SetPosition(3);
  char buf[16] = {};
  EXPECT_EQ(m.Read(buf, 16), 8);
  EXPECT_EQ(std::string(buf, 2), "lo");
  m.SetPosition(-4);
  EXPECT_EQ(m.Read(buf, 4), 0);
  m.SetPosition(0);
  EXPECT_THROW(m.ReadBuffer(buf, 12), EStreamError);
  TReadOnlyMemoryStream r("abc", 3);
  EXPECT_THROW(r.WriteBuffer("x", 1), EStreamError);
}

TEST(Streams, FileStreamErrorsNameTheFile) {
  try {
    TFileStream f("/nonexistent/dir/file.bin", TFileMode::fmOpenRead);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file \"/nonexistent/dir/file.bin\"."), std::string::npos);
  }
  EXPECT_THROW(TFileStream("/nonexistent/dir/file.bin", TFileMode::fmCreate), EStreamError);
  const std::string name = TempFolder() + "/sw_stream_test.bin";
  {
    TFileStream f(name, TFileMode::fmCreate);
    f.WriteBuffer("abcdef", 6);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  EXPECT_EQ(ReadFileBytes(name).size(), 4u);
  EXPECT_EQ(ExtractFileExt("a.b/c"), "");
  EXPECT_EQ(ExtractFileExt("dir/pic.JPG"), ".JPG");
  std::remove(name.c_str());
}

// Read and write failures of the system come with its reason; a device that takes nothing is an
// error, not a loop. /proc/self/mem refuses reads at unmapped addresses (such as 0) and /dev/full
// refuses every write.
TEST(Streams, FileErrorsCarryTheSystemReason) {
  TFileStream mem("/proc/self/mem", TFileMode::fmOpenRead);
  mem.SetPosition(0);
  char buf[16];
  const std::string readError = test::ErrorOf<EStreamError>([&] { mem.Read(buf, 16); });
  EXPECT_EQ(readError, "Cannot read file \"/proc/self/mem\". " + std::string(std::strerror(EIO)));

  TFileStream full("/dev/full", TFileMode::fmOpenReadWrite);
  const std::string writeError = test::ErrorOf<EStreamError>([&] { full.WriteBuffer("x", 1); });
  EXPECT_EQ(writeError, "Cannot write file \"/dev/full\". " + std::string(std::strerror(ENOSPC)));
}

// Bytes that do not compress, so that the output outgrows the first buffer several times over.
std::vector<uint8_t> Noise(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 12345;
  for (uint8_t& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

std::vector<uint8_t> Inflated(const uint8_t* data, size_t size, size_t expected) {
  std::vector<uint8_t> out(expected + 1);
  uLongf length = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(out.data(), &length, data, static_cast<uLong>(size)), Z_OK);
  out.resize(length);
  return out;
}

constexpr TDeflateErrors kTestErrors{RaiseError, "cannot start", "failed"};

TEST(Deflate, GrowingBufferAndWholeBlocksHoldTheWholeStream) {
  const std::vector<uint8_t> input = Noise(300000);
  TDeflater grown(6, TDeflateStrategy::Runs, kTestErrors);
  for (size_t at = 0; at < input.size(); at += 1000) {
    grown.Add(input.data() + at, std::min<size_t>(1000, input.size() - at));
  }
  grown.Finish();
  ASSERT_GT(grown.Size(), 200000u);
  EXPECT_EQ(Inflated(grown.Output().data(), grown.Size(), input.size()), input);

  std::vector<size_t> blocks;
  std::vector<uint8_t> joined;
  TDeflater blocked(6, TDeflateStrategy::Filtered, kTestErrors, 65536, [&](const uint8_t* data, size_t size) {
    blocks.push_back(size);
    joined.insert(joined.end(), data, data + size);
  });
  blocked.Add(input.data(), input.size());
  blocked.Finish();
  ASSERT_GE(blocks.size(), 4u);
  for (size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i], 65536u);
  EXPECT_GT(blocks.back(), 0u);
  EXPECT_EQ(Inflated(joined.data(), joined.size(), input.size()), input);

  EXPECT_EQ(test::ErrorOf<Exception>([] { TDeflater bad(10, TDeflateStrategy::Default, kTestErrors); }), "cannot start");
}

}  // namespace
}  // namespace sw
