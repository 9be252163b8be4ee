#pragma once

#include <string>
#include <string_view>

namespace zandor::win32 {

// The program's Windows-1252 texts for the wide API, and back.
std::wstring wide(std::string_view cp1252);
std::string narrow(std::wstring_view utf16);
// UTF-16 from the system as UTF-8, for checks that must see every character.
std::string utf8Of(std::wstring_view utf16);

}  // namespace zandor::win32
