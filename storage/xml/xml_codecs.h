// Encodings of XML text and the streams that carry it: the 64 KiB page reader and write
// buffer, and the codecs that turn file text (8-bit, UTF-8, UTF-16) into in-memory text
// (UTF-8 or Windows-1252 bytes) and back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/stream.h"

namespace sw {

// Encodings by their file codes; UCS-4 (1-4) and EBCDIC (10) are recognised but unsupported.
enum class TsdStringEncoding : uint8_t {
  seAnsi = 0,
  seUCS4BE = 1,
  seUCS4LE = 2,
  seUCS4_2143 = 3,
  seUCS4_3412 = 4,
  se16BitBE = 5,
  se16BitLE = 6,
  seUTF8 = 7,
  seUTF16BE = 8,
  seUTF16LE = 9,
  seEBCDIC = 10,
};

// Looks the first bytes of a text up in the signature table. Returns the encoding (seAnsi when
// nothing matches) and sets markLength to the length of a byte-order mark (0 when none).
TsdStringEncoding DetectXmlEncoding(const uint8_t* bytes, size_t count, size_t& markLength);

// Windows-1252, the 8-bit text of this program, to and from UTF-8. The five bytes 1252 leaves
// undefined map to the C1 controls of the same number, so both directions are lossless.
void AppendAnsiAsUtf8(std::string& out, std::string_view ansi);
// Characters without a Windows-1252 byte become "?".
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);
std::u16string AnsiToUtf16(std::string_view ansi);
std::string Utf16ToAnsi(std::u16string_view text);

// Reads its source through 64 KiB pages; writing raises.
class TsdBufferedReadStream : public TStream {
public:
  static constexpr int64_t kPageSize = 65536;
  explicit TsdBufferedReadStream(TStream* source);

  int64_t Read(void* buffer, int64_t count) override;
  // Raises "Cannot write to an UTF stream opened for reading".
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override;

private:
  bool FillPage();

  TStream* source_;
  std::vector<uint8_t> page_;
  int64_t pageStart_ = 0;  // source position of page_[0]
  int64_t pagePos_ = 0;    // read position inside the page
};

// Collects writes in a 64 KiB buffer, flushed when full, by Flush and on destruction.
class TsdBufferedWriteStream : public TStream {
public:
  static constexpr int64_t kBufferSize = 65536;
  explicit TsdBufferedWriteStream(TStream* destination);
  // Flushes what is left; errors there are lost, so call Flush first.
  ~TsdBufferedWriteStream() override;

  // Raises "Cannot read from a conversion stream opened for writing".
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Only the position query is allowed; anything else raises "Cannot perform seek on codec stream".
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  // Raises "Cannot write to output stream" when the destination takes fewer bytes.
  void Flush();

private:
  TStream* destination_;
  std::vector<uint8_t> buffer_;
  int64_t written_ = 0;
};

enum class TsdCodecMode : uint8_t { Read, Write };

// A codec stream: reading detects the encoding from the first bytes and gives in-memory text
// one character (byte) per Read; writing converts in-memory text to Encoding(), starting with
// its byte-order mark. Seeking is limited to a position query and stepping back one or two
// characters while reading.
class TsdCodecStream : public TStream {
public:
  // Raises "Encoding stream unassigned" without a stream.
  TsdCodecStream(TStream* stream, TsdCodecMode mode, bool utf8Strings);

  TsdStringEncoding Encoding() const { return encoding_; }
  // The file encoding used for writing; reading sets it by detection.
  void SetEncoding(TsdStringEncoding encoding) { encoding_ = encoding; }
  bool Utf8Strings() const { return utf8Strings_; }

  // One character per call: a count above 1 raises "Cannot read multiple chars from
  // conversion stream at once".
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override;

  // Decodes the rest of the source and appends it to text (the bulk form of Read).
  void ReadAll(std::string& text);
  // The rest of the text, from offset on, came from 8-bit bytes that are really UTF-8: take
  // them unchanged from now on. Only 8-bit file text changes; UTF-8 stays, and UTF-16 keeps
  // its units (a UTF-16 file that declares UTF-8 is mislabelled, not UTF-8 bytes).
  void SwitchToUtf8(std::string& text, size_t offset);
  // Writes the byte-order mark (if not yet done) and the converted text.
  void WriteText(std::string_view text);

private:
  void CheckReading();
  void CheckWriting();
  void Detect();
  bool DecodeMore(std::string& out);
  void Emit(const void* data, size_t count);

  TStream* stream_;
  TsdCodecMode mode_;
  bool utf8Strings_;
  TsdStringEncoding encoding_ = TsdStringEncoding::seAnsi;
  bool started_ = false;
  bool ended_ = false;
  std::vector<uint8_t> raw_;
  size_t rawPos_ = 0;
  uint32_t highSurrogate_ = 0;
  std::string chars_;      // decoded characters for the one-character Read
  size_t charPos_ = 0;
  int64_t position_ = 0;   // characters read or written
};

// The codec for in-memory UTF-8 text.
class TsdUtf8Stream : public TsdCodecStream {
public:
  TsdUtf8Stream(TStream* stream, TsdCodecMode mode)
      : TsdCodecStream(stream, mode, true) {}
};

// The codec for in-memory 8-bit (Windows-1252) text.
class TsdAnsiStream : public TsdCodecStream {
public:
  TsdAnsiStream(TStream* stream, TsdCodecMode mode)
      : TsdCodecStream(stream, mode, false) {}
};

}  // namespace sw
