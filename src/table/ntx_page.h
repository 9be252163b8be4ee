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
