// Encodings of XML text: the signature table, loading and saving with and without byte-order
// marks, 8-bit and UTF-16 text, and the misuse messages of the codec and buffer streams.
#include "storage/xml/xml_codecs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/strings.h"
#include "storage/xml/native_xml.h"
#include "support/errors.h"

namespace sw {
namespace {

using test::ErrorOf;

std::vector<uint8_t> Bytes(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Utf16(std::u16string_view text, bool bigEndian, bool mark) {
  std::vector<uint8_t> out;
  if (mark) {
    out.push_back(bigEndian ? 0xFE : 0xFF);
    out.push_back(bigEndian ? 0xFF : 0xFE);
  }
  for (const char16_t u : text) {
    const auto hi = static_cast<uint8_t>(u >> 8);
    const auto lo = static_cast<uint8_t>(u & 0xFF);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

void Load(TNativeXml& xml, const std::vector<uint8_t>& bytes) {
  TReadOnlyMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  xml.LoadFromStream(stream);
}

std::vector<uint8_t> Save(const TNativeXml& xml) {
  TMemoryStream stream;
  xml.SaveToStream(stream);
  return stream.Bytes();
}

TEST(XmlEncoding, SignatureTable) {
  struct TRow {
    std::vector<uint8_t> bytes;
    TsdStringEncoding encoding;
    size_t mark;
  };
  using E = TsdStringEncoding;
  const TRow rows[] = {
      {{0x00, 0x00, 0xFE, 0xFF}, E::seUCS4BE, 4},    {{0xFF, 0xFE, 0x00, 0x00}, E::seUCS4LE, 4},
      {{0x00, 0x00, 0xFF, 0xFE}, E::seUCS4_2143, 4}, {{0xFE, 0xFF, 0x00, 0x00}, E::seUCS4_3412, 4},
      {{0xFE, 0xFF, 0x00, 0x3C}, E::seUTF16BE, 2},   {{0xFF, 0xFE, 0x3C, 0x00}, E::seUTF16LE, 2},
      {{0xEF, 0xBB, 0xBF, 0x3C}, E::seUTF8, 3},      {{0x00, 0x00, 0x00, 0x3C}, E::seUCS4BE, 0},
      {{0x3C, 0x00, 0x00, 0x00}, E::seUCS4LE, 0},    {{0x00, 0x00, 0x3C, 0x00}, E::seUCS4_2143, 0},
      {{0x00, 0x3C, 0x00, 0x00}, E::seUCS4_3412, 0}, {{0x00, 0x3C, 0x00, 0x3F}, E::seUTF16BE, 0},
      {{0x3C, 0x00, 0x3F, 0x00}, E::seUTF16LE, 0},   {{0x3C, 0x3F, 0x78, 0x6D}, E::seAnsi, 0},
      {{0x4C, 0x6F, 0xA7, 0x94}, E::seEBCDIC, 0},    {{0x3C, 0x61, 0x3E}, E::seAnsi, 0},
      {{0xFE, 0xFF}, E::seUTF16BE, 2},               {{}, E::seAnsi, 0},
  };
  for (const TRow& row : rows) {
    size_t mark = 99;
    EXPECT_EQ(DetectXmlEncoding(row.bytes.data(), row.bytes.size(), mark), row.encoding);
    EXPECT_EQ(mark, row.mark);
  }
}

TEST(XmlEncoding, Utf8MarkSetsUtf8Strings) {
  TNativeXml xml;
  xml.SetUtf8Strings(false);
  xml.SetFileEncoding(TsdStringEncoding::seAnsi);
  Load(xml, Bytes("\xEF\xBB\xBF<a>\xC3\xA9</a>"));
  EXPECT_TRUE(xml.Utf8Strings());
  EXPECT_EQ(xml.FileEncoding(), TsdStringEncoding::seUTF8);
  EXPECT_EQ(xml.Root()->Text(), "\xC3\xA9");
  EXPECT_EQ(Save(xml), Bytes("\xEF\xBB\xBF<a>\xC3\xA9</a>\n"));
}

TEST(XmlEncoding, EightBitTextAndTheUtf8Declaration) {
  // Without mark or declaration the text is 8-bit, widened from Windows-1252.
  TNativeXml plain;
  Load(plain, Bytes("<a>\xE9\x80</a>"));
  EXPECT_EQ(plain.FileEncoding(), TsdStringEncoding::seAnsi);
  EXPECT_EQ(plain.Root()->Text(), "\xC3\xA9\xE2\x82\xAC");
  // Saved as 8-bit the in-memory bytes go out unchanged, without mark.
  EXPECT_EQ(Save(plain), Bytes("<a>\xC3\xA9\xE2\x82\xAC</a>\n"));

  // A declaration of UTF-8 takes the rest of the bytes as they are.
  TNativeXml declared;
  declared.SetUtf8Strings(false);
  Load(declared, Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>"));
  EXPECT_EQ(declared.FileEncoding(), TsdStringEncoding::seUTF8);
  EXPECT_TRUE(declared.Utf8Strings());
  EXPECT_EQ(declared.Root()->Text(), "\xC3\xA9");
  TNativeXml declaredUtf8;
  Load(declaredUtf8, Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>"));
  EXPECT_EQ(declaredUtf8.Root()->Text(), "\xC3\xA9");
  // Only exactly "UTF-8" counts.
  TNativeXml lower;
  Load(lower, Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xC3\xA9</a>"));
  EXPECT_EQ(lower.FileEncoding(), TsdStringEncoding::seAnsi);
  EXPECT_EQ(lower.Root()->Text(), "\xC3\x83\xC2\xA9");

  // 8-bit strings keep the bytes; saving as UTF-8 widens them.
  TNativeXml ansi;
  ansi.SetUtf8Strings(false);
  Load(ansi, Bytes("<a>\xE9</a>"));
  EXPECT_FALSE(ansi.Utf8Strings());
  EXPECT_EQ(ansi.Root()->Text(), "\xE9");
  ansi.SetFileEncoding(TsdStringEncoding::seUTF8);
  const std::vector<uint8_t> saved = Save(ansi);
  EXPECT_EQ(std::string(saved.begin(), saved.end()),
            "\xEF\xBB\xBF<a>\xC3\xA9</a>\n");
}

TEST(XmlEncoding, Utf16WithAndWithoutMark) {
  const std::u16string text = u"<?xml version=\"1.0\"?><a>Gr\u00FC\u00DF \u20AC \U0001F600</a>";
  const std::string utf8Value = "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80";
  for (const bool bigEndian : {false, true}) {
    for (const bool mark : {false, true}) {
      TNativeXml xml;
      Load(xml, Utf16(text, bigEndian, mark));
      EXPECT_EQ(xml.FileEncoding(), bigEndian ? TsdStringEncoding::seUTF16BE : TsdStringEncoding::seUTF16LE);
      EXPECT_EQ(xml.Root()->Text(), utf8Value);
      // Saving writes the mark and one 16-bit unit per character.
      const std::vector<uint8_t> saved = Save(xml);
      TNativeXml again;
      Load(again, saved);
      EXPECT_EQ(again.Root()->Text(), utf8Value);
      const std::u16string expected = u"<?xml version=\"1.0\"?>\n<a>Gr\u00FC\u00DF \u20AC \U0001F600</a>\n";
      EXPECT_EQ(saved, Utf16(expected, bigEndian, true));
    }
  }
  // The 8-bit codec takes units up to 255 as bytes and others as "?".
  TNativeXml ansi;
  ansi.SetUtf8Strings(false);
  Load(ansi, Utf16(u"<a>\u00E9\u20AC</a>", false, true));
  EXPECT_EQ(ansi.Root()->Text(), "\xE9?");
}

TEST(XmlEncoding, Utf16AcrossPageBoundaries) {
  // A long text puts surrogate pairs and odd byte counts across the 64 KiB pages.
  std::u16string text = u"<a>";
  for (int i = 0; i < 50000; ++i) text += u"x\U0001F600";
  text += u"</a>";
  std::vector<uint8_t> bytes = Utf16(text, true, true);
  TNativeXml xml;
  Load(xml, bytes);
  EXPECT_EQ(Utf8ToUtf16(xml.Root()->Text()), text.substr(3, text.size() - 7));
  bytes.insert(bytes.begin() + 10, 0x00);  // shift everything by one byte: the units change
  TNativeXml shifted;
  EXPECT_THROW(Load(shifted, bytes), EFilerError);
}

TEST(XmlEncoding, UnsupportedEncodings) {
  for (const auto& head : {std::vector<uint8_t>{0x00, 0x00, 0xFE, 0xFF, 0, 0, 0, 0x3C},
                           std::vector<uint8_t>{0x3C, 0x00, 0x00, 0x00},
                           std::vector<uint8_t>{0x4C, 0x6F, 0xA7, 0x94, 0x93}}) {
    TNativeXml xml;
    EXPECT_EQ(ErrorOf<EStreamError>([&] { Load(xml, head); }), "Unsupported string encoding");
  }
  TNativeXml xml;
  xml.SetFileEncoding(TsdStringEncoding::seUCS4BE);
  TMemoryStream out;
  EXPECT_EQ(ErrorOf<EStreamError>([&] { xml.SaveToStream(out); }), "Unsupported string encoding");
}

// A destination that takes only part of what it is given.
class TShortStream : public TMemoryStream {
public:
  int64_t Write(const void* buffer, int64_t count) override {
    return TMemoryStream::Write(buffer, count > 1 ? count - 1 : count);
  }
};

TEST(XmlCodecStreams, MisuseMessages) {
  EXPECT_EQ(ErrorOf<EStreamError>([] { TsdUtf8Stream codec(nullptr, TsdCodecMode::Read); }),
            "Encoding stream unassigned");
  TMemoryStream source(Bytes("<a/>"));
  TsdUtf8Stream reader(&source, TsdCodecMode::Read);
  char c = 0;
  char two[2];
  EXPECT_EQ(ErrorOf<EStreamError>([&] { reader.Seek(0, TSeekOrigin::soCurrent); }),
            "Cannot seek before reading or writing in conversion stream");
  EXPECT_EQ(ErrorOf<EStreamError>([&] { reader.Read(two, 2); }),
            "Cannot read multiple chars from conversion stream at once");
  EXPECT_EQ(ErrorOf<EStreamError>([&] { reader.Write("x", 1); }),
            "Cannot write to an UTF stream opened for reading");
  ASSERT_EQ(reader.Read(&c, 1), 1);
  ASSERT_EQ(reader.Read(&c, 1), 1);
  EXPECT_EQ(c, 'a');
  EXPECT_EQ(reader.Position(), 2);
  EXPECT_EQ(reader.Seek(-2, TSeekOrigin::soCurrent), 0);
  ASSERT_EQ(reader.Read(&c, 1), 1);
  EXPECT_EQ(c, '<');
  EXPECT_EQ(ErrorOf<EStreamError>([&] { reader.Seek(3, TSeekOrigin::soBeginning); }),
            "Cannot perform seek on codec stream");
  EXPECT_EQ(reader.Size(), 4);

  TMemoryStream sink;
  TsdAnsiStream writer(&sink, TsdCodecMode::Write);
  EXPECT_EQ(ErrorOf<EStreamError>([&] { writer.Read(&c, 1); }),
            "Cannot read from a conversion stream opened for writing");

  TsdBufferedWriteStream buffer(&sink);
  EXPECT_EQ(ErrorOf<EStreamError>([&] { buffer.Read(&c, 1); }),
            "Cannot read from a conversion stream opened for writing");
  buffer.Write("abc", 3);
  EXPECT_EQ(buffer.Position(), 3);
  EXPECT_EQ(ErrorOf<EStreamError>([&] { buffer.Seek(0, TSeekOrigin::soBeginning); }),
            "Cannot perform seek on codec stream");
  TsdBufferedReadStream pages(&source);
  EXPECT_EQ(ErrorOf<EStreamError>([&] { pages.Write("x", 1); }),
            "Cannot write to an UTF stream opened for reading");

  TShortStream shortStream;
  TsdBufferedWriteStream shortBuffer(&shortStream);
  shortBuffer.Write("abcdef", 6);
  EXPECT_EQ(ErrorOf<EStreamError>([&] { shortBuffer.Flush(); }), "Cannot write to output stream");
  TNativeXml xml("a");
  EXPECT_EQ(ErrorOf<EStreamError>([&] { xml.SaveToStream(shortStream); }),
            "Cannot write to output stream");
}

TEST(XmlCodecStreams, CharacterReadsAndPages) {
  // One in-memory character per read: UTF-16 text comes out as its UTF-8 bytes.
  const std::vector<uint8_t> bytes = Utf16(u"\u00E9\u20ACz", false, true);
  TMemoryStream source(bytes);
  TsdUtf8Stream reader(&source, TsdCodecMode::Read);
  std::string got;
  char c;
  while (reader.Read(&c, 1) == 1) got.push_back(c);
  EXPECT_EQ(got, "\xC3\xA9\xE2\x82\xACz");
  EXPECT_EQ(reader.Encoding(), TsdStringEncoding::seUTF16LE);

  std::vector<uint8_t> big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + i / 256);
  TMemoryStream bigSource(big);
  TsdBufferedReadStream pages(&bigSource);
  std::vector<uint8_t> back(big.size());
  int64_t done = 0;
  for (int64_t step = 1; done < static_cast<int64_t>(back.size()); step = step * 3 + 1) {
    done += pages.Read(back.data() + done, std::min<int64_t>(step, static_cast<int64_t>(back.size()) - done));
  }
  EXPECT_EQ(back, big);
  EXPECT_EQ(pages.Read(back.data(), 10), 0);
  EXPECT_EQ(pages.Seek(100, TSeekOrigin::soBeginning), 100);
  uint8_t b = 0;
  pages.Read(&b, 1);
  EXPECT_EQ(b, big[100]);
  EXPECT_EQ(pages.Size(), 200000);
}

TEST(XmlCodecStreams, AnsiConversions) {
  std::string all;
  for (int i = 1; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
  EXPECT_EQ(AnsiToUtf8("\x80\x9F"), "\xE2\x82\xAC\xC5\xB8");
  EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD\xF0\x9F\x98\x80\xFF"), "???");
}

}  // namespace
}  // namespace sw
