#include "storage/xml/xml_codecs.h"

#include <cstring>

#include "base/bytes.h"
#include "base/exception.h"
#include "base/strings.h"

namespace sw {

namespace {

const char kMsgUnassigned[] = "Encoding stream unassigned";
const char kMsgReadFromWriting[] = "Cannot read from a conversion stream opened for writing";
const char kMsgWriteToReading[] = "Cannot write to an UTF stream opened for reading";
const char kMsgMultipleChars[] = "Cannot read multiple chars from conversion stream at once";
const char kMsgSeekBefore[] = "Cannot seek before reading or writing in conversion stream";
const char kMsgSeek[] = "Cannot perform seek on codec stream";
const char kMsgOutput[] = "Cannot write to output stream";
const char kMsgUnsupported[] = "Unsupported string encoding";

constexpr size_t kRawChunk = 65536;

// Windows-1252 bytes 0x80-0x9F; the undefined five keep their own number.
const uint16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t AnsiToCode(uint8_t b) { return (b >= 0x80 && b < 0xA0) ? kAnsiHigh[b - 0x80] : b; }

char CodeToAnsi(uint32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (kAnsiHigh[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

struct TSignature {
  uint8_t bytes[4];
  uint8_t length;
  TsdStringEncoding encoding;
  bool mark;
};

using E = TsdStringEncoding;
const TSignature kSignatures[] = {
    {{0x00, 0x00, 0xFE, 0xFF}, 4, E::seUCS4BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 4, E::seUCS4LE, true},
    {{0x00, 0x00, 0xFF, 0xFE}, 4, E::seUCS4_2143, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 4, E::seUCS4_3412, true},
    {{0xFE, 0xFF}, 2, E::seUTF16BE, true},
    {{0xFF, 0xFE}, 2, E::seUTF16LE, true},
    {{0xEF, 0xBB, 0xBF}, 3, E::seUTF8, true},
    {{0x00, 0x00, 0x00, 0x3C}, 4, E::seUCS4BE, false},
    {{0x3C, 0x00, 0x00, 0x00}, 4, E::seUCS4LE, false},
    {{0x00, 0x00, 0x3C, 0x00}, 4, E::seUCS4_2143, false},
    {{0x00, 0x3C, 0x00, 0x00}, 4, E::seUCS4_3412, false},
    {{0x00, 0x3C, 0x00, 0x3F}, 4, E::seUTF16BE, false},
    {{0x3C, 0x00, 0x3F, 0x00}, 4, E::seUTF16LE, false},
    {{0x3C, 0x3F, 0x78, 0x6D}, 4, E::seAnsi, false},
    {{0x4C, 0x6F, 0xA7, 0x94}, 4, E::seEBCDIC, false},
};

bool IsUtf16(TsdStringEncoding e) { return e == E::seUTF16BE || e == E::seUTF16LE; }

// Length of the longest prefix of text that ends on a whole UTF-8 sequence.
size_t CompleteUtf8Prefix(std::string_view text) {
  size_t n = text.size();
  // Look back at most three bytes for a lead byte whose sequence runs past the end.
  for (size_t back = 1; back <= 3 && back <= n; ++back) {
    const auto c = static_cast<uint8_t>(text[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte: keep looking for the lead
    size_t need = 1;
    if ((c & 0xE0) == 0xC0) need = 2;
    else if ((c & 0xF0) == 0xE0) need = 3;
    else if ((c & 0xF8) == 0xF0) need = 4;
    return need > back ? n - back : n;
  }
  return n;
}

}  // namespace

TsdStringEncoding DetectXmlEncoding(const uint8_t* bytes, size_t count, size_t& markLength) {
  markLength = 0;
  for (const TSignature& s : kSignatures) {
    if (count < s.length || std::memcmp(bytes, s.bytes, s.length) != 0) continue;
    if (s.mark) markLength = s.length;
    return s.encoding;
  }
  return E::seAnsi;
}

void AppendAnsiAsUtf8(std::string& out, std::string_view ansi) {
  for (const char ch : ansi) {
    const auto b = static_cast<uint8_t>(ch);
    if (b < 0x80) {
      out.push_back(ch);
    } else {
      AppendUtf8(out, AnsiToCode(b));
    }
  }
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  AppendAnsiAsUtf8(out, ansi);
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto c = static_cast<uint8_t>(utf8[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    // Decode one sequence through the shared converter to keep its rules for malformed text.
    size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (i + len > utf8.size()) len = utf8.size() - i;
    const std::u16string units = Utf8ToUtf16(utf8.substr(i, len));
    if (units.size() == 1) {
      out.push_back(units[0] == 0xFFFD ? '?' : CodeToAnsi(units[0]));
      i += len;
    } else if (units.size() == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF) {
      out.push_back('?');  // beyond 16 bits: no 8-bit form
      i += len;
    } else {
      out.push_back('?');  // malformed lead byte
      ++i;
    }
  }
  return out;
}

std::u16string AnsiToUtf16(std::string_view ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  for (const char ch : ansi) out.push_back(static_cast<char16_t>(AnsiToCode(static_cast<uint8_t>(ch))));
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;  // a character beyond the 16-bit range has no 8-bit form
      out.push_back('?');
      continue;
    }
    out.push_back(CodeToAnsi(u));
  }
  return out;
}

// ---- TsdBufferedReadStream ----

TsdBufferedReadStream::TsdBufferedReadStream(TStream* source) : source_(source) {
  if (source_ == nullptr) RaiseStreamError(kMsgUnassigned);
  pageStart_ = source_->Position();
}

bool TsdBufferedReadStream::FillPage() {
  pageStart_ += static_cast<int64_t>(page_.size());
  page_.resize(static_cast<size_t>(kPageSize));
  const int64_t got = source_->Read(page_.data(), kPageSize);
  page_.resize(static_cast<size_t>(got > 0 ? got : 0));
  pagePos_ = 0;
  return !page_.empty();
}

int64_t TsdBufferedReadStream::Read(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (pagePos_ >= static_cast<int64_t>(page_.size()) && !FillPage()) break;
    const int64_t take = std::min(count - done, static_cast<int64_t>(page_.size()) - pagePos_);
    std::memcpy(out + done, page_.data() + pagePos_, static_cast<size_t>(take));
    pagePos_ += take;
    done += take;
  }
  return done;
}

int64_t TsdBufferedReadStream::Write(const void*, int64_t) { RaiseStreamError(kMsgWriteToReading); }

int64_t TsdBufferedReadStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t current = pageStart_ + pagePos_;
  int64_t target = offset;
  if (origin == TSeekOrigin::soCurrent) target = current + offset;
  if (origin == TSeekOrigin::soEnd) target = source_->Size() + offset;
  if (target == current) return current;
  if (target >= pageStart_ && target <= pageStart_ + static_cast<int64_t>(page_.size())) {
    pagePos_ = target - pageStart_;
    return target;
  }
  // Outside the page: start a new page there.
  const int64_t now = source_->Seek(target, TSeekOrigin::soBeginning);
  page_.clear();
  pageStart_ = now;
  pagePos_ = 0;
  return now;
}

void TsdBufferedReadStream::SetSize(int64_t) { RaiseStreamError(kMsgWriteToReading); }

int64_t TsdBufferedReadStream::Size() { return source_->Size(); }

// ---- TsdBufferedWriteStream ----

TsdBufferedWriteStream::TsdBufferedWriteStream(TStream* destination) : destination_(destination) {
  if (destination_ == nullptr) RaiseStreamError(kMsgUnassigned);
  buffer_.reserve(static_cast<size_t>(kBufferSize));
}

TsdBufferedWriteStream::~TsdBufferedWriteStream() {
  try {
    Flush();
  } catch (const Exception&) {
    // A destructor cannot report; Flush before destruction to see the error.
  }
}

int64_t TsdBufferedWriteStream::Read(void*, int64_t) { RaiseStreamError(kMsgReadFromWriting); }

int64_t TsdBufferedWriteStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t room = kBufferSize - static_cast<int64_t>(buffer_.size());
    const int64_t take = std::min(room, count - done);
    buffer_.insert(buffer_.end(), in + done, in + done + take);
    done += take;
    if (static_cast<int64_t>(buffer_.size()) >= kBufferSize) Flush();
  }
  written_ += count;
  return count;
}

int64_t TsdBufferedWriteStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soCurrent) return written_;
  RaiseStreamError(kMsgSeek);
}

void TsdBufferedWriteStream::SetSize(int64_t) { RaiseStreamError(kMsgSeek); }

void TsdBufferedWriteStream::Flush() {
  if (buffer_.empty()) return;
  const auto size = static_cast<int64_t>(buffer_.size());
  const int64_t put = destination_->Write(buffer_.data(), size);
  buffer_.clear();
  if (put != size) RaiseStreamError(kMsgOutput);
}

// ---- TsdCodecStream ----

TsdCodecStream::TsdCodecStream(TStream* stream, TsdCodecMode mode, bool utf8Strings)
    : stream_(stream), mode_(mode), utf8Strings_(utf8Strings) {
  if (stream_ == nullptr) RaiseStreamError(kMsgUnassigned);
}

void TsdCodecStream::CheckReading() {
  if (mode_ != TsdCodecMode::Read) RaiseStreamError(kMsgReadFromWriting);
  if (!started_) Detect();
}

void TsdCodecStream::CheckWriting() {
  if (mode_ != TsdCodecMode::Write) RaiseStreamError(kMsgWriteToReading);
}

void TsdCodecStream::Detect() {
  started_ = true;
  uint8_t head[4];
  int64_t got = 0;
  while (got < 4) {
    const int64_t n = stream_->Read(head + got, 4 - got);
    if (n <= 0) break;
    got += n;
  }
  size_t mark = 0;
  encoding_ = DetectXmlEncoding(head, static_cast<size_t>(got), mark);
  if (encoding_ != E::seAnsi && encoding_ != E::seUTF8 && !IsUtf16(encoding_)) {
    RaiseStreamError(kMsgUnsupported);
  }
  // Bytes after the mark (or all of them without one) are text.
  raw_.assign(head + mark, head + got);
  rawPos_ = 0;
}

bool TsdCodecStream::DecodeMore(std::string& out) {
  if (ended_) return false;
  if (rawPos_ >= raw_.size()) {
    raw_.resize(kRawChunk);
    const int64_t got = stream_->Read(raw_.data(), static_cast<int64_t>(kRawChunk));
    raw_.resize(static_cast<size_t>(got > 0 ? got : 0));
    rawPos_ = 0;
    if (raw_.empty()) {
      ended_ = true;
      if (highSurrogate_ != 0) {
        highSurrogate_ = 0;
        if (utf8Strings_) AppendUtf8(out, 0xFFFD); else out.push_back('?');
        return true;
      }
      return false;
    }
  }
  const uint8_t* p = raw_.data() + rawPos_;
  const size_t n = raw_.size() - rawPos_;
  if (!IsUtf16(encoding_)) {
    if (encoding_ == E::seAnsi && utf8Strings_) {
      AppendAnsiAsUtf8(out, std::string_view(reinterpret_cast<const char*>(p), n));
    } else {
      out.append(reinterpret_cast<const char*>(p), n);
    }
    rawPos_ = raw_.size();
    return true;
  }
  const bool bigEndian = encoding_ == E::seUTF16BE;
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    const uint32_t u = bigEndian ? ReadBE16(p + i) : ReadLE16(p + i);
    if (!utf8Strings_) {
      out.push_back(u > 255 ? '?' : static_cast<char>(u));
      continue;
    }
    if (highSurrogate_ != 0) {
      const uint32_t high = highSurrogate_;
      highSurrogate_ = 0;
      if (u >= 0xDC00 && u <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00));
        continue;
      }
      AppendUtf8(out, 0xFFFD);
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      highSurrogate_ = u;
    } else {
      AppendUtf8(out, u);  // a lone low surrogate becomes U+FFFD there
    }
  }
  rawPos_ += i;
  if (rawPos_ + 1 == raw_.size()) {
    // Half a unit at the end of the chunk: carry it into the next one.
    const uint8_t last = raw_.back();
    raw_.resize(kRawChunk);
    raw_[0] = last;
    const int64_t got = stream_->Read(raw_.data() + 1, static_cast<int64_t>(kRawChunk - 1));
    raw_.resize(1 + static_cast<size_t>(got > 0 ? got : 0));
    rawPos_ = 0;
    if (raw_.size() == 1) raw_.clear();  // a trailing odd byte is dropped
  }
  return true;
}

void TsdCodecStream::ReadAll(std::string& text) {
  CheckReading();
  if (charPos_ < chars_.size()) {
    text.append(chars_, charPos_, std::string::npos);
    position_ += static_cast<int64_t>(chars_.size() - charPos_);
    charPos_ = chars_.size();
  }
  const size_t before = text.size();
  while (DecodeMore(text)) {
  }
  position_ += static_cast<int64_t>(text.size() - before);
}

void TsdCodecStream::SwitchToUtf8(std::string& text, size_t offset) {
  if (encoding_ != E::seAnsi) return;
  if (utf8Strings_ && offset < text.size()) {
    // The tail was widened from Windows-1252, which maps back byte for byte.
    std::string raw = Utf8ToAnsi(std::string_view(text).substr(offset));
    text.resize(offset);
    text += raw;
  }
  encoding_ = E::seUTF8;
}

int64_t TsdCodecStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (count > 1) RaiseStreamError(kMsgMultipleChars);
  CheckReading();
  while (charPos_ >= chars_.size()) {
    // Keep the last two characters for stepping back.
    if (chars_.size() > 2) {
      chars_.erase(0, chars_.size() - 2);
      charPos_ = chars_.size();
    }
    if (!DecodeMore(chars_)) return 0;
  }
  *static_cast<char*>(buffer) = chars_[charPos_++];
  ++position_;
  return 1;
}

void TsdCodecStream::Emit(const void* data, size_t count) {
  if (count == 0) return;
  const int64_t put = stream_->Write(data, static_cast<int64_t>(count));
  if (put != static_cast<int64_t>(count)) RaiseStreamError(kMsgOutput);
}

void TsdCodecStream::WriteText(std::string_view text) {
  CheckWriting();
  if (!started_) {
    started_ = true;
    static const uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
    static const uint8_t kBEMark[] = {0xFE, 0xFF};
    static const uint8_t kLEMark[] = {0xFF, 0xFE};
    switch (encoding_) {
      case E::seAnsi: break;
      case E::seUTF8: Emit(kUtf8Mark, 3); break;
      case E::seUTF16BE: Emit(kBEMark, 2); break;
      case E::seUTF16LE: Emit(kLEMark, 2); break;
      default: RaiseStreamError(kMsgUnsupported);
    }
  }
  position_ += static_cast<int64_t>(text.size());
  if (encoding_ == E::seAnsi || (encoding_ == E::seUTF8 && utf8Strings_)) {
    Emit(text.data(), text.size());
    return;
  }
  if (encoding_ == E::seUTF8) {
    const std::string utf8 = AnsiToUtf8(text);
    Emit(utf8.data(), utf8.size());
    return;
  }
  std::u16string units;
  if (utf8Strings_) {
    // A character split over two writes is completed by the next one.
    std::string joined = chars_;
    joined.append(text);
    const size_t whole = CompleteUtf8Prefix(joined);
    chars_ = joined.substr(whole);
    units = Utf8ToUtf16(std::string_view(joined).substr(0, whole));
  } else {
    units = AnsiToUtf16(text);
  }
  std::string bytes(units.size() * 2, '\0');
  const bool bigEndian = encoding_ == E::seUTF16BE;
  for (size_t i = 0; i < units.size(); ++i) {
    const auto hi = static_cast<char>(units[i] >> 8);
    const auto lo = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i] = bigEndian ? hi : lo;
    bytes[2 * i + 1] = bigEndian ? lo : hi;
  }
  Emit(bytes.data(), bytes.size());
}

int64_t TsdCodecStream::Write(const void* buffer, int64_t count) {
  CheckWriting();
  if (count <= 0) return 0;
  WriteText(std::string_view(static_cast<const char*>(buffer), static_cast<size_t>(count)));
  return count;
}

int64_t TsdCodecStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (!started_) RaiseStreamError(kMsgSeekBefore);
  if (origin == TSeekOrigin::soCurrent) {
    if (offset == 0) return position_;
    if (mode_ == TsdCodecMode::Read && (offset == -1 || offset == -2) &&
        charPos_ >= static_cast<size_t>(-offset)) {
      charPos_ -= static_cast<size_t>(-offset);
      position_ += offset;
      return position_;
    }
  }
  RaiseStreamError(kMsgSeek);
}

void TsdCodecStream::SetSize(int64_t) { RaiseStreamError(kMsgSeek); }

int64_t TsdCodecStream::Size() { return stream_->Size(); }

}  // namespace sw
