#pragma once

#include <cstddef>

namespace zandor {

// Asks for every cache line of [at, at + bytes) from memory without waiting for it (a hint:
// it never faults). Write says the bytes will be written, so the lines come ready for it.
template <bool Write = false>
inline void prefetchBytes(const void* at, std::size_t bytes) {
  const auto* p = static_cast<const char*>(at);
  for (std::size_t i = 0; i < bytes; i += 64) __builtin_prefetch(p + i, Write ? 1 : 0);
}

}  // namespace zandor
