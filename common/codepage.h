#pragma once

// Windows-1252, the single-byte code page of the settings file, and its
// conversion to and from UTF-8. Pure functions.
//
// Every one of the 256 bytes has a character: the 27 printable characters of
// 0x80..0x9F (0x80 is the euro sign) and, for the five bytes that the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D), the C1 control
// character of the same number, as Windows itself converts them. So a file
// written on Windows converts to text and back byte for byte. The other
// direction is strict: a character without a byte of its own (U+0080, U+0100,
// a Chinese letter, ...) has no code; nothing is replaced by a look-alike.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::codepage {

// The character of a byte.
char32_t Cp1252ToUnicode(unsigned char byte);

// The byte of a character, or nothing when the code page has none.
std::optional<unsigned char> UnicodeToCp1252(char32_t character);

// Bytes to UTF-8. Never fails.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 to bytes, one per character. Gives nothing when the text holds a
// character without a code or is not valid UTF-8 (overlong forms, surrogates,
// truncated sequences, stray continuation bytes); `badOffset`, if given, then
// receives the offset in `utf8` of the first such character or byte.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8, std::size_t *badOffset = nullptr);

} // namespace vantrel::codepage
