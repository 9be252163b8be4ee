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
// Throws IndexDamage for pages that cannot be decoded. With strict set, also for
// anything the established writers never produce (wrong free count, masks).
void decodeNode(const unsigned char* page, std::uint32_t offset, int keyLength, char fill,
                Node& out, bool strict = false);

}  // namespace zandor::cdx
