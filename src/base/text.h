#pragma once

#include <string>
#include <string_view>

namespace zandor {

// Blank, tab, carriage return or line feed: the characters trimming removes at the front.
bool isLeadingSpace(char c);
// Only blanks, tabs, carriage returns and line feeds (or nothing at all).
bool isBlankText(std::string_view text);

// Leading blanks, tabs, CRs and LFs and trailing blanks removed.
std::string trimmed(std::string_view text);
// Trailing blanks removed.
std::string trimRight(std::string_view text);
// Leading and trailing blanks removed (blanks only).
std::string trimBlanks(std::string_view text);

// Upper case for the letters a to z only; every other byte stays as it is.
std::string upperAZ(std::string_view text);
void upperAZInPlace(std::string& text);
// Case-insensitive equality in the same sense (a-z only).
bool equalsIgnoreCaseAZ(std::string_view a, std::string_view b);

// Prefix comparison: text begins with prefix (byte for byte).
bool beginsWith(std::string_view text, std::string_view prefix);

// Text padded with blanks on the right, or cut, to exactly width bytes.
std::string padRight(std::string_view text, std::size_t width);
// Text padded with blanks on the left to at least width bytes (never cut).
std::string padLeft(std::string_view text, std::size_t width);

}  // namespace zandor
