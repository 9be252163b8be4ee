#include "table/cdx_page.h"
#include "table/byte_order.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "table/index_error.h"

namespace zandor::cdx {

namespace {

int bitLength(std::uint32_t v) {
  return static_cast<int>(std::bit_width(v));
}

std::uint16_t get16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t get32be(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
void put32be(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

// Key length without the trailing fill bytes; whole words of fill are skipped at once.
std::size_t significantLength(std::string_view key, char fill) {
  std::size_t n = key.size();
  const std::uint64_t fillWord = 0x0101010101010101ull * static_cast<unsigned char>(fill);
  while (n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, key.data() + n - 8, 8);
    if (word != fillWord) break;
    n -= 8;
  }
  while (n > 0 && key[n - 1] == fill) --n;
  return n;
}

// Length of the common prefix of a and b within the first limit bytes, eight at a time.
std::size_t commonPrefix(const char* a, const char* b, std::size_t limit) {
  std::size_t n = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; n + 8 <= limit; n += 8) {
      std::uint64_t x, y;
      std::memcpy(&x, a + n, 8);
      std::memcpy(&y, b + n, 8);
      if (x != y) return n + static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
    }
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

struct Shape {
  std::size_t dup = 0;
  std::size_t trail = 0;
  std::size_t stored = 0;
};

// The shape of entry i from the cached lengths, within the page's bit widths.
Shape cachedShape(const LeafShapes& shapes, std::size_t i, std::size_t keyLength,
                  const LeafParams& p) {
  Shape s;
  s.trail = std::min(keyLength - shapes.sig[i], (std::size_t{1} << p.trailBits) - 1);
  s.dup = std::min<std::size_t>(shapes.dup[i], (std::size_t{1} << p.dupBits) - 1);
  s.stored = keyLength - s.dup - s.trail;
  return s;
}

bool shapesUsable(const Node& node, char fill) {
  return node.shapes.known && node.shapes.fill == fill && node.shapes.sig.size() == node.count();
}

// Duplicate count of entry i against entry i - 1, from the known significant lengths.
std::uint16_t dupAgainstPrevious(const Node& node, std::size_t i, std::size_t kl) {
  if (i == 0) return 0;
  const LeafShapes& s = node.shapes;
  const std::size_t limit = std::min<std::size_t>(s.sig[i], s.sig[i - 1]);
  return static_cast<std::uint16_t>(
      commonPrefix(node.keys.data() + i * kl, node.keys.data() + (i - 1) * kl, limit));
}

// All record numbers of a leaf or-ed together: as wide as the largest of them, which is all
// the entry layout depends on, and found with vector instructions where a maximum is not.
std::uint32_t recnoOrOf(const Node& node) {
  std::uint32_t bits = 0;
  for (auto r : node.recs) bits |= r;
  return bits;
}

// The same, from the kept shapes where they are current.
std::uint32_t recnoBitsOf(const Node& node, char fill) {
  return shapesUsable(node, fill) ? node.shapes.recnoOr : recnoOrOf(node);
}

}  // namespace

LeafParams leafParamsFor(int keyLength, std::uint32_t maxRecno) {
  LeafParams p;
  p.dupBits = p.trailBits = bitLength(static_cast<std::uint32_t>(keyLength));
  int needed = std::max(12, bitLength(maxRecno));
  int n = 2;
  while (8 * n - p.dupBits - p.trailBits < needed) ++n;
  p.entryBytes = n;
  p.recBits = 8 * n - p.dupBits - p.trailBits;
  return p;
}

const LeafShapes& leafShapes(const Node& node, int keyLength, char fill) {
  if (shapesUsable(node, fill)) return node.shapes;
  const std::size_t kl = static_cast<std::size_t>(keyLength);
  LeafShapes& s = node.shapes;
  s.sig.resize(node.count());
  s.dup.resize(node.count());
  s.stored = 0;
  for (std::size_t i = 0; i < node.count(); ++i) {
    s.sig[i] = static_cast<std::uint16_t>(significantLength(node.key(i, kl), fill));
    s.dup[i] = dupAgainstPrevious(node, i, kl);
    s.stored += static_cast<std::size_t>(s.sig[i] - s.dup[i]);
  }
  s.recnoOr = recnoOrOf(node);
  s.fill = fill;
  s.known = true;
  return s;
}

void shapesAfterInsert(const Node& node, std::size_t index, int keyLength, char fill) {
  LeafShapes& s = node.shapes;
  if (!s.known || s.fill != fill || s.sig.size() + 1 != node.count()) {
    s.known = false;
    return;
  }
  const std::size_t kl = static_cast<std::size_t>(keyLength);
  const auto at = static_cast<std::ptrdiff_t>(index);
  s.sig.insert(s.sig.begin() + at,
               static_cast<std::uint16_t>(significantLength(node.key(index, kl), fill)));
  s.dup.insert(s.dup.begin() + at, dupAgainstPrevious(node, index, kl));
  s.stored += static_cast<std::size_t>(s.sig[index] - s.dup[index]);
  s.recnoOr |= node.recs[index];
  if (index + 1 < node.count()) {
    s.stored += s.dup[index + 1];
    s.dup[index + 1] = dupAgainstPrevious(node, index + 1, kl);
    s.stored -= s.dup[index + 1];
  }
}

void shapesAfterRemove(const Node& node, std::size_t index, int keyLength, char fill) {
  LeafShapes& s = node.shapes;
  if (!s.known || s.fill != fill || s.sig.size() != node.count() + 1) {
    s.known = false;
    return;
  }
  const auto at = static_cast<std::ptrdiff_t>(index);
  s.stored -= static_cast<std::size_t>(s.sig[index] - s.dup[index]);
  s.sig.erase(s.sig.begin() + at);
  s.dup.erase(s.dup.begin() + at);
  s.recnoOr = recnoOrOf(node);  // the one gone may have been the widest
  if (index < node.count()) {
    s.stored += s.dup[index];
    s.dup[index] = dupAgainstPrevious(node, index, static_cast<std::size_t>(keyLength));
    s.stored -= s.dup[index];
  }
}

int interiorCapacity(int keyLength) {
  return 500 / (keyLength + 8);
}

std::vector<std::size_t> leafEntrySizes(const Node& node, int keyLength, char fill,
                                        const LeafParams& params) {
  std::vector<std::size_t> sizes(node.count());
  const std::size_t kl = static_cast<std::size_t>(keyLength);
  const LeafShapes& shapes = leafShapes(node, keyLength, fill);
  for (std::size_t i = 0; i < node.count(); ++i) {
    sizes[i] =
        static_cast<std::size_t>(params.entryBytes) + cachedShape(shapes, i, kl, params).stored;
  }
  return sizes;
}

std::size_t leafEntryBytesAlone(const Node& node, std::size_t index, int keyLength, char fill,
                                const LeafParams& params) {
  const Shape s = cachedShape(leafShapes(node, keyLength, fill), index,
                              static_cast<std::size_t>(keyLength), params);
  return static_cast<std::size_t>(params.entryBytes) + s.stored + s.dup;
}

std::size_t leafUsedBytes(const Node& node, int keyLength, char fill) {
  // The counts are sized for the key length, so every key stores sig - dup bytes.
  const LeafParams p = leafParamsFor(keyLength, recnoBitsOf(node, fill));
  return node.count() * static_cast<std::size_t>(p.entryBytes) +
         leafShapes(node, keyLength, fill).stored;
}

void noteLeafEdit(const Node& node, LeafChange change, std::size_t index) {
  LeafEdit& e = node.edit;
  if (e.whole) return;
  const std::size_t n = node.count();
  const bool insert = change == LeafChange::Insert;
  // An insert changes the new entry and the one after it (its duplicate count), a removal
  // the entry that moves into the gap; a window already open moves with the change.
  std::size_t lo = index, hiNew = index + (insert ? 2 : 1);
  if (e.changed) {
    lo = std::min<std::size_t>(e.lo, index);
    if (e.hiNew > index) hiNew = std::max<std::size_t>(hiNew, insert ? e.hiNew + 1 : e.hiNew - 1);
  }
  hiNew = std::min(hiNew, n);
  if (n - hiNew > e.written || e.written - (n - hiNew) < lo) {
    e.whole = true;
    return;
  }
  e.changed = true;
  e.lo = static_cast<std::uint32_t>(lo);
  e.hiNew = static_cast<std::uint32_t>(hiNew);
  e.hiOld = static_cast<std::uint32_t>(e.written - (n - hiNew));
}

namespace {

// One leaf entry as its bits: record number, then duplicate count, then trailing count.
std::uint64_t packEntry(const LeafParams& lp, std::uint32_t rec, std::size_t dup,
                        std::size_t trail) {
  return static_cast<std::uint64_t>(rec) | (static_cast<std::uint64_t>(dup) << lp.recBits) |
         (static_cast<std::uint64_t>(trail) << (lp.recBits + lp.dupBits));
}

std::uint32_t attributesOf(const Node& node) {
  const std::uint32_t role = (node.root ? 1u : 0u) | (node.leaf ? 2u : 0u);
  return node.bit4 && role == node.roleAsRead ? role | 4u : role;
}

void encodeFully(const Node& node, int keyLength, char fill, unsigned char* page) {
  std::memset(page, 0, kPageSize);
  put16(page, attributesOf(node));
  put16(page + 2, static_cast<std::uint32_t>(node.count()));
  put32(page + 4, node.left);
  put32(page + 8, node.right);
  std::size_t kl = static_cast<std::size_t>(keyLength);
  if (!node.leaf) {
    unsigned char* p = page + 12;
    for (std::size_t i = 0; i < node.count(); ++i) {
      std::memcpy(p, node.keys.data() + i * kl, kl);
      put32be(p + kl, node.recs[i]);
      put32be(p + kl + 4, node.children[i]);
      p += kl + 8;
    }
    return;
  }
  LeafParams lp = leafParamsFor(keyLength, recnoBitsOf(node, fill));
  std::uint32_t recMask = lp.recBits >= 32 ? 0xFFFFFFFFu : ((1u << lp.recBits) - 1);
  put32(page + 14, recMask);
  page[18] = static_cast<unsigned char>((1u << lp.dupBits) - 1);
  page[19] = static_cast<unsigned char>((1u << lp.trailBits) - 1);
  page[20] = static_cast<unsigned char>(lp.recBits);
  page[21] = static_cast<unsigned char>(lp.dupBits);
  page[22] = static_cast<unsigned char>(lp.trailBits);
  page[23] = static_cast<unsigned char>(lp.entryBytes);
  // First the entries, eight bytes at a time where the page has room for that (the bytes
  // beyond an entry are overwritten by the next one, cleared as free space or covered by
  // the keys written afterwards), then the keys from the end of the page downwards.
  const std::size_t count = node.count();
  const auto entryBytes = static_cast<std::size_t>(lp.entryBytes);
  const std::size_t entryEnd = 24 + count * entryBytes;
  if (entryEnd > kPageSize)
    throw IndexDamage(
        "Blattseite beim Schreiben \xfc"
        "bergelaufen");
  const LeafShapes& shapes = leafShapes(node, keyLength, fill);
  // The counts are sized for the key length, so a shape never needs to be cut to fit.
  if ((std::size_t{1} << lp.dupBits) <= kl || (std::size_t{1} << lp.trailBits) <= kl)
    throw IndexDamage("Z\xe4hlerbreiten der Blattseite zu schmal f\xfcr die Schl\xfcssell\xe4nge");
  const std::uint16_t* const sig = shapes.sig.data();
  const std::uint16_t* const dup = shapes.dup.data();
  const std::uint32_t* const recs = node.recs.data();
  std::size_t keyBytes = 0;
  unsigned char* entry = page + 24;
  const std::size_t wide = entryEnd + 8 <= kPageSize ? count : (kPageSize - 24 - 8) / entryBytes;
  for (std::size_t i = 0; i < count; ++i) {
    keyBytes += static_cast<std::size_t>(sig[i] - dup[i]);
    const std::uint64_t e = packEntry(lp, recs[i], dup[i], kl - sig[i]);
    if (std::endian::native == std::endian::little && i < wide) {
      std::memcpy(entry, &e, 8);
    } else {
      for (std::size_t b = 0; b < entryBytes; ++b)
        entry[b] = static_cast<unsigned char>(e >> (8 * b));
    }
    entry += entryBytes;
  }
  if (entryEnd + keyBytes > kPageSize)
    throw IndexDamage(
        "Blattseite beim Schreiben \xfc"
        "bergelaufen");
  const std::size_t keyPos = kPageSize - keyBytes;
  std::memset(page + entryEnd, 0, keyPos - entryEnd);
  put16(page + 12, static_cast<std::uint32_t>(keyPos - entryEnd));
  // The keys lie from the end of the page downwards, the last one lowest. Copied from the
  // lowest up, a short key goes as one sixteen-byte copy: what it writes beyond itself
  // belongs to the keys above it, which are copied afterwards.
  const char* const keys = node.keys.data();
  const char* const keysEnd = keys + node.keys.size();
  for (std::size_t i = count, at = keyPos; i-- > 0;) {
    const std::size_t n = static_cast<std::size_t>(sig[i] - dup[i]);
    const char* from = keys + i * kl + dup[i];
    if (n <= 16 && at + 16 <= kPageSize && from + 16 <= keysEnd)
      std::memcpy(page + at, from, 16);
    else if (n > 0)
      std::memcpy(page + at, from, n);
    at += n;
  }
}

// Key bytes a packed leaf entry says it stores (key length less duplicates and trailing).
std::size_t storedBytesOf(const unsigned char* p, const LeafParams& lp, std::size_t kl) {
  std::uint64_t e = 0;
  for (int b = 0; b < lp.entryBytes; ++b) e |= static_cast<std::uint64_t>(p[b]) << (8 * b);
  const auto dup = static_cast<std::size_t>((e >> lp.recBits) & ((1ull << lp.dupBits) - 1));
  const auto trail =
      static_cast<std::size_t>((e >> (lp.recBits + lp.dupBits)) & ((1ull << lp.trailBits) - 1));
  return dup + trail <= kl ? kl - dup - trail : kl + 1;  // kl + 1: no entry of ours
}

void writeEntry(unsigned char* p, const LeafParams& lp, std::uint32_t rec, std::size_t dup,
                std::size_t trail) {
  const std::uint64_t e = packEntry(lp, rec, dup, trail);
  for (int b = 0; b < lp.entryBytes; ++b) p[b] = static_cast<unsigned char>(e >> (8 * b));
}

// Key bytes stored by the entries before index (unchanged by an edit at index), counted
// from whichever end of the page is nearer.
std::size_t storedBefore(const LeafShapes& s, std::size_t index, std::size_t count) {
  std::size_t sum = 0;
  if (index <= count / 2) {
    for (std::size_t m = 0; m < index; ++m) sum += static_cast<std::size_t>(s.sig[m] - s.dup[m]);
    return sum;
  }
  for (std::size_t m = index; m < count; ++m) sum += static_cast<std::size_t>(s.sig[m] - s.dup[m]);
  return s.stored - sum;
}

// Turns the page last written into the page of the node after the changes in its edit
// window. False when that cannot be done (the entry layout changed, nothing to patch from).
// Patches the leaf's image in place; false, with the image untouched, where it cannot.
bool patchLeaf(const Node& node, std::size_t kl, char fill) {
  const LeafEdit& edit = node.edit;
  if (!node.leaf || node.image.size() != kPageSize || edit.whole || !edit.changed) return false;
  unsigned char* const page = node.image.data();
  const unsigned char* const old = page;
  const LeafParams lp = leafParamsFor(static_cast<int>(kl), recnoBitsOf(node, fill));
  if (old[20] != lp.recBits || old[21] != lp.dupBits || old[22] != lp.trailBits ||
      old[23] != lp.entryBytes)
    return false;
  const LeafShapes& shapes = leafShapes(node, static_cast<int>(kl), fill);
  const std::size_t n = node.count(), oldN = edit.written;
  const std::size_t lo = edit.lo, hiOld = edit.hiOld, hiNew = edit.hiNew;
  if (get16(old + 2) != oldN || lo > hiOld || hiOld > oldN || lo > hiNew || hiNew > n ||
      oldN - hiOld != n - hiNew)
    return false;
  const auto eb = static_cast<std::size_t>(lp.entryBytes);
  const std::size_t entryEndOld = 24 + oldN * eb, entryEndNew = 24 + n * eb;
  const std::size_t keyPosOld = entryEndOld + get16(old + 12);
  const std::size_t keyPosNew = kPageSize - shapes.stored;
  // keyPosNew >= entryEndOld as well: new key bytes never land on entries not yet moved.
  if (entryEndNew > keyPosNew || keyPosNew < entryEndOld || keyPosOld > kPageSize) return false;

  // The key bytes: those of the window are written anew, those below it move.
  const std::size_t top = kPageSize - storedBefore(shapes, lo, n);
  std::size_t replacedBytes = 0;
  for (std::size_t m = lo; m < hiOld; ++m)
    replacedBytes += storedBytesOf(old + 24 + m * eb, lp, kl);
  std::size_t writtenBytes = 0;
  for (std::size_t m = lo; m < hiNew; ++m)
    writtenBytes += static_cast<std::size_t>(shapes.sig[m] - shapes.dup[m]);
  if (top < replacedBytes || top - replacedBytes < keyPosOld) return false;
  const std::size_t keptBytes = top - replacedBytes - keyPosOld;
  if (top - writtenBytes - keptBytes != keyPosNew) return false;  // the kept shapes disagree
  // From here on the page is written over itself: every byte still to be read lies where
  // nothing has been written yet (new key bytes stay above the entries, old and new, and
  // entries and kept keys move with memmove).
  std::memmove(page + keyPosNew, old + keyPosOld, keptBytes);
  for (std::size_t m = lo, at = top; m < hiNew; ++m) {
    const std::size_t stored = static_cast<std::size_t>(shapes.sig[m] - shapes.dup[m]);
    at -= stored;
    std::memcpy(page + at, node.keys.data() + m * kl + shapes.dup[m], stored);
  }

  // The entries: those after the window move, those in it are packed anew.
  std::memmove(page + 24 + hiNew * eb, old + 24 + hiOld * eb, (oldN - hiOld) * eb);
  for (std::size_t m = lo; m < hiNew; ++m)
    writeEntry(page + 24 + m * eb, lp, node.recs[m], shapes.dup[m], kl - shapes.sig[m]);

  put16(page, attributesOf(node));
  put16(page + 2, static_cast<std::uint32_t>(n));
  put32(page + 4, node.left);
  put32(page + 8, node.right);
  put16(page + 12, static_cast<std::uint32_t>(keyPosNew - entryEndNew));
  std::memset(page + entryEndNew, 0, keyPosNew - entryEndNew);
  return true;
}

}  // namespace

const unsigned char* encodeLeaf(const Node& node, int keyLength, char fill) {
  if (!patchLeaf(node, static_cast<std::size_t>(keyLength), fill)) {
    node.image.resize(kPageSize);
    encodeFully(node, keyLength, fill, node.image.data());
  }
  node.edit = {false, false, static_cast<std::uint32_t>(node.count()), 0, 0, 0};
  return node.image.data();
}

void encodeNode(const Node& node, int keyLength, char fill, unsigned char* page) {
  if (node.leaf) {
    std::memcpy(page, encodeLeaf(node, keyLength, fill), kPageSize);
    return;
  }
  encodeFully(node, keyLength, fill, page);  // interior pages are always written whole
}

void decodeNode(const unsigned char* page, std::uint32_t offset, int keyLength, char fill,
                Node& out, bool strict) {
  std::size_t kl = static_cast<std::size_t>(keyLength);
  std::uint32_t attr = get16(page);
  std::size_t count = get16(page + 2);
  out.offset = offset;
  out.root = (attr & 1) != 0;
  out.leaf = (attr & 2) != 0;
  out.left = get32(page + 4);
  out.right = get32(page + 8);
  out.keys.clear();
  out.recs.clear();
  out.children.clear();
  out.shapes.known = false;
  out.image.clear();  // only pages we wrote are patched
  out.edit = {};      // whole
  out.bit4 = (attr & 4) != 0;
  out.roleAsRead = static_cast<std::uint8_t>(attr & 3);
  if (strict && attr > 7) throw IndexDamage("unbekannte Seitenattribute");
  if (!out.leaf) {
    if (count > static_cast<std::size_t>(interiorCapacity(keyLength))) {
      throw IndexDamage("innere Seite mit mehr Schl\xfcsseln, als hineinpassen");
    }
    out.keys.resize(count * kl);
    out.recs.resize(count);
    out.children.resize(count);
    const unsigned char* p = page + 12;
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(out.keys.data() + i * kl, p, kl);
      out.recs[i] = get32be(p + kl);
      out.children[i] = get32be(p + kl + 4);
      p += kl + 8;
    }
    return;
  }
  int recBits = page[20], dupBits = page[21], trailBits = page[22], n = page[23];
  if (n < 1 || n > 8 || recBits < 1 || recBits > 32 || dupBits > 16 || trailBits > 16 ||
      recBits + dupBits + trailBits > 8 * n) {
    throw IndexDamage("Blattseite mit unm\xf6glichen Bitbreiten");
  }
  if (count * static_cast<std::size_t>(n) > kLeafKeyArea) {
    throw IndexDamage("Blattseite mit mehr Schl\xfcsseln, als hineinpassen");
  }
  if (strict) {
    std::uint32_t recMask = recBits >= 32 ? 0xFFFFFFFFu : ((1u << recBits) - 1);
    if (get32(page + 14) != recMask || page[18] != (1u << dupBits) - 1 ||
        page[19] != (1u << trailBits) - 1) {
      throw IndexDamage("Masken der Blattseite passen nicht zu den Bitbreiten");
    }
  }
  std::uint64_t recMask = (recBits >= 32) ? 0xFFFFFFFFull : ((1ull << recBits) - 1);
  std::uint64_t dupMask = (1ull << dupBits) - 1;
  std::uint64_t trailMask = (1ull << trailBits) - 1;
  std::size_t entryEnd = 24 + count * static_cast<std::size_t>(n);
  std::size_t pos = kPageSize;
  out.keys.resize(count * kl);
  out.recs.resize(count);
  std::size_t prevSig = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* ep = page + 24 + i * static_cast<std::size_t>(n);
    std::uint64_t e = 0;
    for (int b = 0; b < n; ++b) e |= static_cast<std::uint64_t>(ep[b]) << (8 * b);
    std::size_t dup = static_cast<std::size_t>((e >> recBits) & dupMask);
    std::size_t trail = static_cast<std::size_t>((e >> (recBits + dupBits)) & trailMask);
    if (dup + trail > kl || (i == 0 && dup > 0))
      throw IndexDamage("unm\xf6gliche Z\xe4hler in einem Blatteintrag");
    std::size_t stored = kl - dup - trail;
    if (pos < entryEnd + stored)
      throw IndexDamage(
          "Schl\xfcsselbytes der Blattseite \xfc"
          "berlappen die Eintr\xe4ge");
    pos -= stored;
    char* key = out.keys.data() + i * kl;
    if (dup) std::memcpy(key, key - kl, dup);
    std::memcpy(key + dup, page + pos, stored);
    std::memset(key + dup + stored, fill, trail);
    out.recs[i] = static_cast<std::uint32_t>(e & recMask);
    if (strict && dup > prevSig)
      throw IndexDamage(
          "Zahl gleicher Zeichen gr\xf6\xdf"
          "er als der vorige Schl\xfcssel");
    prevSig = significantLength(std::string_view(key, kl), fill);
  }
  if (strict && get16(page + 12) != pos - entryEnd) {
    throw IndexDamage("freier Platz der Blattseite falsch angegeben");
  }
}

}  // namespace zandor::cdx
