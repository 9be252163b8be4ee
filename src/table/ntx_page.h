// Single-order index (.ntx): 1024-byte pages, little-endian, pointers are byte offsets.
//
// Header (page 0):
//     0  2  signature: 0x0006 (0x0003 old); bit 0 FOR present, bit 15 several orders
//     2  2  update counter        4  4  root page          8  4  first free page (0: none)
//    12  2  item size = key length + 8                    14  2  key length
//    16  2  key decimals         18  2  keys per page     20  2  half of it
//    22 256 key expression, NUL-terminated                278  1  unique flag
//   280  2  descending flag      282 256 FOR expression    538    order name
//
// Page:
//     0  2  key count n
//     2     (keys per page + 1) slot offsets, in key order; the slots never move, only this
//           table is reordered
//           slots of item size: child page (4), record number (4), key bytes
// A classic B-tree: keys of interior pages are entries too. The slot at position n carries
// only the rightmost child; free slots may hold stale bytes and are never read.

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandor::ntx {

constexpr std::size_t kPageSize = 1024;

// Page geometry of one order: key length, keys per page, minimum keys below the root.
struct Geometry {
  int keyLength = 10;
  int maxKeys = 50;
  int halfKeys = 25;
  std::size_t itemSize() const { return static_cast<std::size_t>(keyLength) + 8; }
  std::size_t slotStart() const { return 2 + 2 * (static_cast<std::size_t>(maxKeys) + 1); }
  // The largest even key count that fits a page, as the established writers store it.
  static Geometry forKeyLength(int keyLength);
};

// A page decoded: n keys in order with their records, and n + 1 child pages (all 0 in a
// leaf).
struct Node {
  std::uint32_t offset = 0;
  bool leaf = true;
  std::string keys;
  std::vector<std::uint32_t> recs;
  std::vector<std::uint32_t> children;

  std::size_t count() const { return recs.size(); }
  std::string_view key(std::size_t i, std::size_t keyLength) const {
    return std::string_view(keys).substr(i * keyLength, keyLength);
  }
};

// Writes the page with the slots in table order; the rightmost child item and unused slots
// carry zeros.
void encodeNode(const Node& node, const Geometry& g, unsigned char* page);
// Throws IndexDamage for pages that cannot be read (too many keys, slot table pointing
// outside the slots, mixed leaf and interior child pointers). Strict adds the checks that
// the slot table is a permutation.
void decodeNode(const unsigned char* page, std::uint32_t offset, const Geometry& g, Node& out,
                bool strict = false);

}  // namespace zandor::ntx
