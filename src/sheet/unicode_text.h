#pragma once

#include <string>
#include <string_view>

namespace zandor::sheet {

// UTF-8 appended as UTF-16; malformed sequences become U+FFFD.
void appendUtf8AsUtf16(std::u16string& out, std::string_view utf8);
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);
// Whether the bytes are well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);

}  // namespace zandor::sheet
