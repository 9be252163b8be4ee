#include "table/ntx_page.h"
#include "table/byte_order.h"

#include <cstring>
#include <vector>

#include "table/index_error.h"

namespace zandor::ntx {

namespace {}  // namespace

Geometry Geometry::forKeyLength(int keyLength) {
  Geometry g;
  g.keyLength = keyLength;
  int max = 1022 / (keyLength + 10) - 1;
  max -= max % 2;
  g.maxKeys = max;
  g.halfKeys = max / 2;
  return g;
}

void encodeNode(const Node& node, const Geometry& g, unsigned char* page) {
  std::memset(page, 0, kPageSize);
  std::size_t n = node.count();
  std::size_t kl = static_cast<std::size_t>(g.keyLength);
  put16(page, n);
  for (std::size_t i = 0; i <= static_cast<std::size_t>(g.maxKeys); ++i) {
    std::size_t slot = g.slotStart() + i * g.itemSize();
    put16(page + 2 + 2 * i, slot);
    if (i <= n) put32(page + slot, node.children[i]);
    if (i < n) {
      put32(page + slot + 4, node.recs[i]);
      std::memcpy(page + slot + 8, node.keys.data() + i * kl, kl);
    }
  }
}

void decodeNode(const unsigned char* page, std::uint32_t offset, const Geometry& g, Node& out,
                bool strict) {
  std::size_t n = get16(page);
  std::size_t kl = static_cast<std::size_t>(g.keyLength);
  if (n > static_cast<std::size_t>(g.maxKeys))
    throw IndexDamage("Seite mit mehr Schl\xfcsseln, als hineinpassen");
  out.offset = offset;
  out.keys.resize(n * kl);
  out.recs.resize(n);
  out.children.resize(n + 1);
  std::size_t lowest = g.slotStart(), highest = kPageSize - g.itemSize();
  std::vector<bool> used(static_cast<std::size_t>(g.maxKeys) + 1, false);
  std::size_t entries = strict ? static_cast<std::size_t>(g.maxKeys) + 1 : n + 1;
  for (std::size_t i = 0; i < entries; ++i) {
    std::size_t slot = get16(page + 2 + 2 * i);
    if (slot < lowest || slot > highest)
      throw IndexDamage("Verweistabelle zeigt aus der Seite hinaus");
    if (strict) {
      if ((slot - lowest) % g.itemSize() != 0)
        throw IndexDamage(
            "Verweis au\xdf"
            "erhalb des Rasters");
      std::size_t k = (slot - lowest) / g.itemSize();
      if (used[k]) throw IndexDamage("Verweistabelle nennt Eintr\xe4ge doppelt");
      used[k] = true;
    }
    if (i > n) continue;
    out.children[i] = get32(page + slot);
    if (i < n) {
      out.recs[i] = get32(page + slot + 4);
      std::memcpy(out.keys.data() + i * kl, page + slot + 8, kl);
    }
  }
  out.leaf = out.children[0] == 0;
  for (std::size_t i = 0; i <= n; ++i) {
    if ((out.children[i] == 0) != out.leaf)
      throw IndexDamage("Seite mischt Blatt- und Verweiseintr\xe4ge");
    if (!out.leaf && out.children[i] % kPageSize != 0)
      throw IndexDamage(
          "Verweis au\xdf"
          "erhalb des Seitenrasters");
  }
}

}  // namespace zandor::ntx
