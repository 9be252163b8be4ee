#pragma once

#include <string>
#include <string_view>

namespace zandor {

// Windows-1252 ("ANSI") bytes to and from Unicode. A character that 1252 cannot hold
// becomes "?"; malformed input sequences become "?" too.
std::string cp1252ToUtf8(std::string_view bytes);
std::string utf8ToCp1252(std::string_view utf8);
std::u16string cp1252ToUtf16(std::string_view bytes);
std::string utf16ToCp1252(std::u16string_view utf16);

// The first character of the UTF-8 text that Windows-1252 cannot hold (U+FFFD for a
// malformed sequence); 0 when the whole text fits.
char32_t firstCharacterOutsideCp1252(std::string_view utf8);

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, char32_t cp);

// One code point to 1252, or '?' when it has no 1252 byte.
char codePointToCp1252(char32_t cp);
char32_t cp1252ToCodePoint(unsigned char byte);

}  // namespace zandor
