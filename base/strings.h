// String helpers: 8-bit strings are std::string holding UTF-8, wide strings std::u16string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sw {

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Appends the UTF-8 form of one code point (invalid code points become U+FFFD).
void AppendUtf8(std::string& out, uint32_t codePoint);

// ASCII-only case folding and comparison (names of streams, extensions, elements).
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);

std::string Trim(std::string_view text);
// Text taken from a file or the user, made fit for a one-line message: in double quotes, control
// characters, quotes and backslashes escaped (\n, \x1b, ...), cut after at most limit bytes of
// the text (never inside a UTF-8 sequence) with "..." after the closing quote.
std::string QuoteForMessage(std::string_view text, size_t limit = 48);

// The characters of text that an XML 1.0 document can hold: C0 controls other than tab, line feed
// and carriage return, U+FFFE, U+FFFF and unpaired surrogates are dropped. Text that a document
// stores passes through this when it is set, so it reads back as it was.
std::u16string XmlCharactersOnly(std::u16string_view text);

// A decimal number with "." or "," as separator, an optional sign and exponent, spaces around it
// allowed; nothing for empty text, other characters, or values that are not finite.
std::optional<double> TryParseDecimal(std::string_view text);
// As TryParseDecimal; raises "'text' is not a valid floating point value" instead of nothing.
double ParseDecimal(std::string_view text);

}  // namespace sw
