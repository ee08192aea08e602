#include "storage/formats/compressors.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/exception.h"

namespace sw {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ClassEncoded(const Bytes& input) {
  Bytes out(ClassEncodeBound(input.size()));
  out.resize(ClassEncode(input.data(), input.size(), out.data()));
  return out;
}

Bytes RunEncoded(const Bytes& input) {
  Bytes out(RunEncodeBound(input.size()));
  out.resize(RunEncode(input.data(), input.size(), out.data()));
  return out;
}

Bytes ClassDecoded(const Bytes& block) {
  Bytes out(block.size() * 4 + 16);
  const int64_t n = ClassDecode(block.data(), block.size(), out.data(), out.size());
  EXPECT_GE(n, 0);
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

Bytes RunDecoded(const Bytes& data) {
  Bytes out(data.size() * 64 + 16);
  const int64_t n = RunDecode(data.data(), data.size(), out.data(), out.size());
  EXPECT_GE(n, 0);
  out.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return out;
}

Bytes Unpacked(const Bytes& packed, size_t expected) {
  Bytes out(expected);
  EXPECT_EQ(UnpackBuffer(packed.data(), packed.size(), out.data(), expected), packed.size());
  return out;
}

Bytes RandomBytes(size_t n, uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng() % static_cast<uint32_t>(alphabet));
  return b;
}

// Inputs that exercise every class, runs at packet limits, and near-incompressible data.
std::vector<Bytes> SampleInputs() {
  std::vector<Bytes> inputs;
  for (size_t n : {0, 1, 2, 3, 4, 5, 7, 8, 9, 126, 127, 128, 129, 130, 255, 256, 1000, 65537}) {
    inputs.push_back(RandomBytes(n, static_cast<uint32_t>(n) + 1));
    inputs.push_back(RandomBytes(n, static_cast<uint32_t>(n) + 2, 3));
    inputs.push_back(RandomBytes(n, static_cast<uint32_t>(n) + 3, 20));
    inputs.push_back(Bytes(n, 0xAB));
  }
  Bytes structured;
  for (int run = 1; run < 300; run += 7) structured.insert(structured.end(), run, static_cast<uint8_t>(run));
  for (int i = 0; i < 5000; ++i) structured.push_back(static_cast<uint8_t>(i / 13));
  inputs.push_back(structured);
  return inputs;
}

TEST(DeltaTest, EncodesDifferencesAndRestoresInPlace) {
  Bytes b{10, 20, 30};
  ASSERT_EQ(DeltaEncode(b.data(), b.size(), b.data()), 0);
  EXPECT_EQ(b, (Bytes{10, 10, 10}));
  ASSERT_EQ(DeltaDecode(b.data(), b.size(), b.data()), 0);
  EXPECT_EQ(b, (Bytes{10, 20, 30}));

  Bytes wrap{5, 3, 250}, out(3);
  DeltaEncode(wrap.data(), 3, out.data());
  EXPECT_EQ(out, (Bytes{5, 254, 247}));
  EXPECT_EQ(DeltaEncode(nullptr, 3, out.data()), -2);
  EXPECT_EQ(DeltaEncode(wrap.data(), 3, nullptr), -3);
  EXPECT_EQ(DeltaDecode(nullptr, 3, out.data()), -2);
  EXPECT_EQ(DeltaDecode(wrap.data(), 3, nullptr), -3);
}

TEST(InterleaveTest, InterleavesPlanesAndKeepsTheTail) {
  Bytes in{1, 2, 3, 4, 5, 6, 7, 8, 9};
  Bytes out(9);
  ASSERT_EQ(InterleavePlanes(in.data(), in.size(), out.data(), 4), 0);
  EXPECT_EQ(out, (Bytes{1, 3, 5, 7, 2, 4, 6, 8, 9}));
  ASSERT_EQ(InterleavePlanes(in.data(), in.size(), in.data(), 4), 0);  // in place
  EXPECT_EQ(in, out);

  Bytes untouched{1, 2, 3};
  EXPECT_EQ(InterleavePlanes(untouched.data(), 3, untouched.data(), 0), -4);
  EXPECT_EQ(InterleavePlanes(untouched.data(), 3, untouched.data(), 9), -4);
  EXPECT_EQ(untouched, (Bytes{1, 2, 3}));
}

TEST(RunCoderTest, HandWorkedPackets) {
  const uint8_t a = 0x41, b = 0x42;
  EXPECT_EQ(RunEncoded({a, a, a, a, b}), (Bytes{0xFE, a, 0x02, a, b}));
  EXPECT_EQ(RunEncoded(Bytes(128, a)), (Bytes{0x83, a, 0xFF, a}));  // 126 + 2
  EXPECT_EQ(RunEncoded(Bytes(129, a)), (Bytes{0x82, a, 0xFF, a}));  // 127 + 2
  EXPECT_EQ(RunEncoded({a, b}), (Bytes{0x02, a, b}));
  EXPECT_EQ(RunEncoded({}), (Bytes{0x00}));
  // Ten 7s, then 1 2 3, then four 4s: the run's last byte opens the literal.
  Bytes mixed(10, 7);
  mixed.insert(mixed.end(), {1, 2, 3, 4, 4, 4, 4});
  EXPECT_EQ(RunEncoded(mixed), (Bytes{0xF8, 7, 0x04, 7, 1, 2, 3, 0xFD, 4}));
  // 200 literals split at 127.
  Bytes alternating(200);
  for (size_t i = 0; i < alternating.size(); ++i) alternating[i] = static_cast<uint8_t>(i & 1);
  const Bytes coded = RunEncoded(alternating);
  ASSERT_EQ(coded.size(), 202u);
  EXPECT_EQ(coded[0], 127);
  EXPECT_EQ(coded[128], 73);
}

TEST(RunCoderTest, RoundTripsAndRejectsBadPackets) {
  for (const Bytes& input : SampleInputs()) {
    const Bytes coded = RunEncoded(input);
    EXPECT_LE(coded.size(), RunEncodeBound(input.size()));
    EXPECT_EQ(RunDecoded(coded), input) << "length " << input.size();
  }
  uint8_t out[300];
  const uint8_t forbidden1[] = {0x81, 5};  // -127
  const uint8_t forbidden2[] = {0x80, 5};  // -128
  const uint8_t shortLiteral[] = {0x05, 1, 2};
  const uint8_t missingValue[] = {0xFE};
  const uint8_t tooLong[] = {0x82, 1, 0x82, 1, 0x82, 1};  // 381 bytes into 300
  EXPECT_EQ(RunDecode(forbidden1, 2, out, sizeof(out)), -1);
  EXPECT_EQ(RunDecode(forbidden2, 2, out, sizeof(out)), -1);
  EXPECT_EQ(RunDecode(shortLiteral, 3, out, sizeof(out)), -1);
  EXPECT_EQ(RunDecode(missingValue, 1, out, sizeof(out)), -1);
  EXPECT_EQ(RunDecode(tooLong, 6, out, sizeof(out)), -1);
  EXPECT_EQ(RunDecode(tooLong, 6, nullptr, 1000), 381);  // counting only
}

TEST(ClassCoderTest, SingleValueBlock) {
  const Bytes block = ClassEncoded(Bytes(4, 0x41));
  Bytes expected{4, 0, 0, 0, 36, 0, 0, 0, 35, 0, 0, 0, 19, 0x41};
  for (int k = 1; k <= 19; ++k) expected.push_back(static_cast<uint8_t>(k));
  expected.insert(expected.end(), {0, 0, 0, 0});  // class stream (2 bytes), 4-bit, 1-bit
  EXPECT_EQ(block, expected);
  EXPECT_EQ(ClassDecoded(block), Bytes(4, 0x41));
}

TEST(ClassCoderTest, HandWorkedBlockWithEveryClass) {
  // 9 (6 times) is rank 0, 8 and 3 ranks 1 and 2, then 21 singletons in the exchange order.
  const Bytes input{9, 9, 9, 8, 8, 3, 200, 9, 1, 2, 3, 4, 5, 6, 7, 8,
                    10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 9, 9};
  const Bytes expected{
      0x20, 0x00, 0x00, 0x00, 0x3D, 0x00, 0x00, 0x00, 0x34, 0x00, 0x00, 0x00, 0x18, 0x09, 0x08,
      0x03, 0x02, 0x04, 0x05, 0x06, 0x07, 0x01, 0xC8, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,
      0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x40, 0x25, 0x9A, 0x6A, 0xAA, 0xAA, 0xFE,
      0x0F, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x56, 0x10, 0x32, 0x74, 0x98, 0xBA, 0xDC, 0xFE,
      0x00, 0x0C};
  const Bytes block = ClassEncoded(input);
  EXPECT_EQ(block, expected);
  EXPECT_EQ(ClassDecoded(block), input);
}

TEST(ClassCoderTest, RoundTripsWithinBound) {
  for (const Bytes& input : SampleInputs()) {
    const Bytes block = ClassEncoded(input);
    EXPECT_LE(block.size(), ClassEncodeBound(input.size()));
    EXPECT_EQ(ClassDecodedLength(block.data(), block.size()), static_cast<int64_t>(input.size()));
    EXPECT_EQ(ClassDecoded(block), input) << "length " << input.size();
  }
}

TEST(ClassCoderTest, RejectsDamagedBlocks) {
  const Bytes input = RandomBytes(400, 11);
  const Bytes block = ClassEncoded(input);
  Bytes out(1000);
  // Output capacity below the stated length.
  EXPECT_EQ(ClassDecode(block.data(), block.size(), out.data(), 399), -1);
  // Cut short: streams run off the end.
  EXPECT_EQ(ClassDecode(block.data(), block.size() - 40, out.data(), out.size()), -1);
  EXPECT_EQ(ClassDecodedLength(block.data(), 12), -1);
  // A stated length whose class stream does not fit.
  Bytes huge = block;
  huge[3] = 0x7F;
  EXPECT_EQ(ClassDecodedLength(huge.data(), huge.size()), -1);
  // Offsets out of order or outside the block.
  Bytes badOffset = block;
  badOffset[4] = 0xFF;
  badOffset[5] = 0xFF;
  EXPECT_EQ(ClassDecode(badOffset.data(), badOffset.size(), out.data(), out.size()), -1);
  // A class-3 code of 237 or more has no symbol.
  const Bytes all = [] {
    Bytes b(256);
    for (int i = 0; i < 256; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    return b;
  }();
  Bytes full = ClassEncoded(all);
  ASSERT_EQ(full[12], 255);
  const size_t bytes8 = 13 + 256 + 256 / 4 + 1;
  full[bytes8] = 237;
  EXPECT_EQ(ClassDecode(full.data(), full.size(), out.data(), out.size()), -1);
  // A small table (G = 19) with a class-3 code beyond it.
  Bytes small = ClassEncoded(RandomBytes(40, 3, 20));
  ASSERT_EQ(small[12], 19);
  small[13 + 20] = 0xFF;  // every byte of the first four of class 3
  EXPECT_EQ(ClassDecode(small.data(), small.size(), out.data(), out.size()), -1);
}

TEST(PackTest, HandWorkedComposite) {
  Bytes input(40);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i * 7);
  const Bytes original = input;
  const Bytes packed = PackBuffer(input.data(), input.size());
  const Bytes expected{
      0x28, 0x00, 0x00, 0x00, 0x45, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x44, 0x00, 0x00,
      0x00, 0x3A, 0x00, 0x00, 0x00, 0x1A, 0x00, 0x01, 0x02, 0xFF, 0x13, 0x05, 0x06, 0x07, 0x08,
      0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x04, 0x03, 0xF5, 0x2D, 0x17,
      0x2C, 0x28, 0x1A, 0x2D, 0xB1, 0xC4, 0x32, 0x4A, 0xAF, 0xA9, 0xAA, 0xAA, 0x36, 0x00, 0x06,
      0x03, 0x05, 0x04, 0x01, 0x00, 0x02, 0x00, 0x10, 0x24, 0x53, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
      0x01, 0x0E};
  EXPECT_EQ(packed, expected);
  Bytes filtered(40, 7);
  filtered[0] = 0;
  EXPECT_EQ(input, filtered) << "the data is delta-filtered in place";
  EXPECT_EQ(Unpacked(packed, 40), original);
}

TEST(PackTest, RoundTripsIncludingDataThatOutgrowsTheOldReserve) {
  for (const Bytes& input : SampleInputs()) {
    Bytes work = input;
    const Bytes packed = PackBuffer(work.data(), work.size());
    EXPECT_EQ(PackedLength(packed.data(), packed.size()), input.size());
    EXPECT_EQ(Unpacked(packed, input.size()), input) << "length " << input.size();
  }
  // Random bytes expand at every stage, beyond n + n div 4 + 19.
  Bytes noise = RandomBytes(100000, 99);
  const Bytes original = noise;
  const Bytes packed = PackBuffer(noise.data(), noise.size());
  EXPECT_GT(packed.size() - 8, PackBound(original.size()));
  EXPECT_EQ(Unpacked(packed, original.size()), original);
}

TEST(PackTest, RejectsDamagedPackedData) {
  Bytes input = RandomBytes(3000, 5, 40);
  const Bytes packed = PackBuffer(input.data(), input.size());
  Bytes out(3000);
  auto failsWith = [&](const Bytes& data, size_t expected, const char* message) {
    Bytes target(expected);
    try {
      UnpackBuffer(data.data(), data.size(), target.data(), expected);
      ADD_FAILURE() << "no error for " << message;
    } catch (const ERasterError& e) {
      EXPECT_STREQ(e.what(), "Unable to decompress") << message;
    }
  };
  failsWith(Bytes(packed.begin(), packed.begin() + 7), 3000, "no length words");
  failsWith(Bytes(packed.begin(), packed.end() - 1), 3000, "block cut short");
  failsWith(packed, 2999, "other expected length");
  Bytes inflated = packed;
  inflated[4] = 0xFF;  // m beyond the data
  failsWith(inflated, 3000, "block length beyond the data");
  Bytes absurd = packed;
  absurd[0] = 0;
  absurd[1] = 0;
  absurd[2] = 0xA0;
  absurd[3] = 0;  // 10 MiB from under 3 KB: more than the coders can expand
  failsWith(absurd, 0xA00000, "implausible expansion");

  // Any single damaged byte is either caught or decodes to some output, never past the buffers.
  std::mt19937 rng(1);
  int caught = 0;
  for (int i = 0; i < 2000; ++i) {
    Bytes damaged = packed;
    damaged[8 + rng() % (damaged.size() - 8)] ^= static_cast<uint8_t>(1 + rng() % 255);
    try {
      UnpackBuffer(damaged.data(), damaged.size(), out.data(), out.size());
    } catch (const ERasterError& e) {
      EXPECT_STREQ(e.what(), "Unable to decompress");
      ++caught;
    }
  }
  EXPECT_GT(caught, 0);
}

TEST(PackTest, UnpackBlockDecodesWithoutLengthWords) {
  Bytes input = RandomBytes(777, 8, 6);
  const Bytes original = input;
  const Bytes packed = PackBuffer(input.data(), input.size());
  Bytes out(777);
  UnpackBlock(packed.data() + 8, packed.size() - 8, out.data(), out.size());
  EXPECT_EQ(out, original);
  EXPECT_THROW(UnpackBlock(packed.data() + 8, packed.size() - 8, out.data(), 776), ERasterError);
}

}  // namespace
}  // namespace sw
