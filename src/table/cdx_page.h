// Compact compound index (.cdx): 512-byte pages, every pointer a byte offset.
//
// Tag header (two pages; the header at offset 0 is the tag directory's):
//     0  4  root page             4  4  free-page list (0 or FFFFFFFF: none)
//     8  4  change counter (opaque, kept)          12  2  key length (C <= 240, N/D/T 8)
//    14  1  options: 0x01 unique, 0x02 (VFP) nullable key, 0x04 candidate (VFP), 0x08 FOR,
//           0x20 compact, 0x40 compound, 0x80 directory
//    15  1  signature             502  2  0 ascending, otherwise descending
//   504  2  FOR expression start  506  2  FOR length incl. NUL
//   508  2  key expression start  510  2  key length incl. NUL
//   512 512 expression pool: key expression, NUL, FOR expression, NUL, zeros
// The directory is a tag whose keys are the tag names (10 bytes) and whose record numbers
// are the offsets of the tag headers.
//
// Every tree page starts with:
//     0  2  attributes: bit 0 root, bit 1 leaf (bit 2 written by Visual FoxPro, kept)
//     2  2  key count            4  4  left sibling (FFFFFFFF: none)   8  4  right sibling
// Interior page, from 12: key count entries of key bytes (full length), record number and
// child page offset (both 4 bytes big-endian); an entry carries the last key of its child.
// Leaf page:
//    12  2  free bytes in the key area      14  4  record number mask
//    18  1  duplicate count mask  19  1  trailing count mask
//    20  1  record bits  21  1  duplicate bits  22  1  trailing bits  23  1  entry bytes
//    24     entries packed upwards (record | duplicate << rb | trailing << (rb + db), little-
//           endian); the new bytes of each key packed downwards from the end of the page. A
//           key is the previous key's first `duplicate` bytes, its stored bytes, then
//           `trailing` fill bytes (blanks for character keys, NULs for binary ones).
// Keys: C as text; N and D (the Julian day number) as the double written big-endian with its
// sign bit set, or with every bit flipped when negative, so that memcmp orders them; L as
// "T"/"F".

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zandor::cdx {

constexpr std::size_t kPageSize = 512;
constexpr std::size_t kLeafKeyArea = 488;
constexpr std::uint32_t kNone = 0xFFFFFFFF;

// How each key of a leaf is stored: its length without trailing fill and the bytes it
// shares with the key before. Kept between changes so that writing a page after one insert
// does not compare every key again.
struct LeafShapes {
  std::vector<std::uint16_t> sig;
  std::vector<std::uint16_t> dup;
  std::size_t stored = 0;     // key bytes the page stores: the sum of sig - dup
  std::uint32_t recnoOr = 0;  // every record number or-ed together (what sizes the entries)
  bool known = false;
  char fill = ' ';
};

// What changed in a leaf since we last wrote its page: unless the whole page must be
// written, entries [lo, hiNew) of the node stand where entries [lo, hiOld) of the page were;
// the entries before lo are the same, and those from hiNew on are the page's from hiOld on.
// A write then moves the unchanged tail and packs only the window anew.
struct LeafEdit {
  bool whole = true;
  bool changed = false;
  std::uint32_t written = 0;  // entries in the page last written
  std::uint32_t lo = 0, hiOld = 0, hiNew = 0;
};
enum class LeafChange : std::uint8_t { Insert, Remove };

// A tree page decoded: keys (count x key length, fully padded), their record numbers and,
// for interior pages, the child page of each entry.
struct Node {
  std::uint32_t offset = 0;
  bool leaf = true;
  bool root = false;
  std::uint32_t left = kNone;
  std::uint32_t right = kNone;
  std::string keys;
  std::vector<std::uint32_t> recs;
  std::vector<std::uint32_t> children;
  // Attribute bit 0x04, which Visual FoxPro sets on some pages, and the root/leaf bits the
  // page had when it was read: the bit is written back while the page keeps that role.
  bool bit4 = false;
  std::uint8_t roleAsRead = 0xFF;
  // Shapes of a leaf's keys; known only while no change has made them stale.
  mutable LeafShapes shapes;
  // The page as we last wrote it (empty before that) and what changed since.
  mutable std::vector<unsigned char> image;
  mutable LeafEdit edit;

  std::size_t count() const { return recs.size(); }
  std::string_view key(std::size_t i, std::size_t keyLength) const {
    return std::string_view(keys).substr(i * keyLength, keyLength);
  }
};

// Bit widths of one compact leaf: record number, duplicate count, trailing count, and the
// entry size in bytes.
struct LeafParams {
  int recBits = 16;
  int dupBits = 4;
  int trailBits = 4;
  int entryBytes = 3;
};

// Duplicate and trailing counts sized for the key length, the record field wide enough
// for maxRecno and at least 12 bits (what the established writers produce).
// Only the bit length of maxRecno counts, so any value as wide serves (an or of all).
LeafParams leafParamsFor(int keyLength, std::uint32_t maxRecno);

int interiorCapacity(int keyLength);

// Bytes of the key area a leaf needs (entries plus stored key bytes), from its kept shapes.
std::size_t leafUsedBytes(const Node& node, int keyLength, char fill);
// Bytes one leaf entry would need when it opened a page (no duplicate prefix).
std::size_t leafEntryBytesAlone(const Node& node, std::size_t index, int keyLength, char fill,
                                const LeafParams& params);
// Bytes of each entry in the page as it is now (entry plus stored key bytes).
std::vector<std::size_t> leafEntrySizes(const Node& node, int keyLength, char fill,
                                        const LeafParams& params);

// The shapes of a leaf's keys for fill, computed when they are not known.
const LeafShapes& leafShapes(const Node& node, int keyLength, char fill);
// Bring known shapes up to date after the key at index was inserted or removed (the node
// already holds the change); unknown shapes stay unknown.
void shapesAfterInsert(const Node& node, std::size_t index, int keyLength, char fill);
void shapesAfterRemove(const Node& node, std::size_t index, int keyLength, char fill);

// Records a leaf insert or removal at index (the node already holds it) for the next write;
// any other change makes the next write a whole one (markWhole).
void noteLeafEdit(const Node& node, LeafChange change, std::size_t index);
inline void markWhole(const Node& node) {
  node.edit.whole = true;
}

// Writes the page, patching the last written one where only inserts and removals changed it
// (the result is the same), and keeps it for the next time.
void encodeNode(const Node& node, int keyLength, char fill, unsigned char* page);
// As encodeNode for a leaf, into the image it keeps (patched in place); the page stays valid
// until the node changes.
const unsigned char* encodeLeaf(const Node& node, int keyLength, char fill);
// Throws IndexDamage for pages that cannot be decoded. With strict set, also for
// anything the established writers never produce (wrong free count, masks).
void decodeNode(const unsigned char* page, std::uint32_t offset, int keyLength, char fill,
                Node& out, bool strict = false);

}  // namespace zandor::cdx
