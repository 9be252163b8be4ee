#include "base/encoding.h"

#include <cstdint>
#include <cstring>

namespace zandor {

namespace {

// 0x80..0x9F of Windows-1252. The five unassigned bytes map to the C1 controls of the same
// number, as Windows itself converts them, so every byte survives a round trip.
constexpr char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t cp1252ToCodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

char codePointToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::string cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) appendUtf8(out, cp1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

// The code point at utf8[i], i moved behind it; U+FFFD for a malformed sequence.
static char32_t nextCodePoint(std::string_view utf8, std::size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(utf8[i]);
  int extra;
  char32_t cp;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  int taken = 0;
  while (taken < extra && i + 1 + taken < utf8.size() &&
         (static_cast<unsigned char>(utf8[i + 1 + taken]) & 0xC0) == 0x80) {
    cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + 1 + taken]) & 0x3F);
    ++taken;
  }
  i += 1 + taken;
  const bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
  if (taken < extra || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

std::string utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      out += utf8[i++];
    } else {
      out += codePointToCp1252(nextCodePoint(utf8, i));
    }
  }
  return out;
}

char32_t firstCharacterOutsideCp1252(std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    const char32_t cp = nextCodePoint(utf8, i);
    // "?" is the only character that comes back as '?'.
    if (cp != U'?' && codePointToCp1252(cp) == '?') return cp;
  }
  return 0;
}

std::u16string cp1252ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes)
    out += static_cast<char16_t>(cp1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string utf16ToCp1252(std::u16string_view utf16) {
  // Written into place: every cell text of an import comes through here.
  std::string out(utf16.size(), '\0');
  std::size_t n = 0;
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    // Four ASCII units at a time while they last.
    for (std::uint64_t w; i + 4 <= utf16.size(); i += 4, n += 4) {
      std::memcpy(&w, utf16.data() + i, 8);
      if (w & 0xFF80FF80FF80FF80ull) break;
      for (int k = 0; k < 4; ++k) out[n + k] = static_cast<char>(utf16[i + k]);
    }
    if (i == utf16.size()) break;
    const char16_t unit = utf16[i];
    if (unit < 0x80) {
      out[n++] = static_cast<char>(unit);
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
               utf16[i + 1] <= 0xDFFF) {
      ++i;  // a surrogate pair is one character outside 1252
      out[n++] = '?';
    } else {
      out[n++] = codePointToCp1252(unit);
    }
  }
  out.resize(n);
  return out;
}

}  // namespace zandor
