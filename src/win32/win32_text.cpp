#include "win32/win32_text.h"

#include "base/encoding.h"

namespace zandor::win32 {

std::wstring wide(std::string_view cp1252) {
  const std::u16string u = cp1252ToUtf16(cp1252);
  return std::wstring(u.begin(), u.end());
}

std::string narrow(std::wstring_view utf16) {
  return utf16ToCp1252(std::u16string(utf16.begin(), utf16.end()));
}

std::string utf8Of(std::wstring_view utf16) {
  std::string out;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = static_cast<char16_t>(utf16[i]);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size()) {
      const char32_t low = static_cast<char16_t>(utf16[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    appendUtf8(out, cp);
  }
  return out;
}

}  // namespace zandor::win32
