#pragma once

#include <cstdint>

namespace zandor {

// For a single-byte code page by its number (437, 850, 1250, 10000, ...): the Windows-1252
// byte of each byte 0x80..0xFF, 0 where 1252 has no such character. nullptr for pages we
// hold no table for.
const std::uint8_t* codePageToAnsiTable(int number);

}  // namespace zandor
