#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "table/byte_order.h"

namespace zandor {

// Searches within one decoded index page of either format: keys of keyLength bytes one
// after the other in node.keys, their record numbers in node.recs. Entries are ordered by
// key bytes, then by record number.

template <class Node>
int compareEntryAt(const Node& node, std::size_t i, std::string_view key, std::uint32_t recno,
                   std::size_t keyLength) {
  const int c = compareKeyBytes(node.keys.data() + i * keyLength, key.data(), keyLength);
  if (c != 0) return c;
  if (node.recs[i] == recno) return 0;
  return node.recs[i] < recno ? -1 : 1;
}

// The first entry at or after (key, recno).
template <class Node>
std::size_t lowerBoundOf(const Node& node, std::string_view key, std::uint32_t recno,
                         std::size_t keyLength) {
  std::size_t lo = 0, hi = node.count();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (compareEntryAt(node, mid, key, recno, keyLength) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace zandor
