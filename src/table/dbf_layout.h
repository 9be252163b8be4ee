#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zandor {

class OsFile;

// Memo file kinds; the table's version byte (and the driver, for plain tables) decide.
enum class MemoKind { None, Dbt3, Dbt4, Fpt, Smt };

// Families of version bytes, as the header rewrite recomputes them.
enum class TableFamily { Plain, Dbt3, DBase4, Fpt, Smt, Extended };

// One field of a table as its descriptor defines it.
struct FieldInfo {
  std::string name;        // upper case, no trailing blanks or NULs
  char type = 'C';         // type letter
  int length = 0;          // bytes in the record (C up to 65535, L always 1)
  int decimals = 0;        // 0 for C fields (their high length byte is in the length)
  int flags = 0;           // descriptor byte 18 for versions 0x30 to 0x32, else 0
  std::size_t offset = 0;  // position in the record; the deletion flag is byte 0
  bool hidden = false;     // "_NullFlags" / "_DBASELOCK": not listed, not numbered
  // Visual FoxPro autoincrement (flags 0x0C): the next value and the step, as in the
  // descriptor; an appended record takes the next value.
  bool autoIncrement = false;
  std::uint32_t autoNext = 0;
  std::uint8_t autoStep = 0;

  // Fields whose bytes refer to a block of the memo file.
  bool isMemo() const;
};

// What the header and the descriptors of a table file say.
struct DbfLayout {
  std::array<std::uint8_t, 32> header{};  // the fixed header as read
  std::uint8_t version = 0;
  TableFamily family = TableFamily::Plain;
  bool encrypted = false;
  std::uint32_t storedCount = 0;   // record count in the header
  std::uint16_t headerLength = 0;  // offset of record 1
  std::size_t recordLength = 0;    // 1 + sum of the field lengths
  std::vector<FieldInfo> fields;   // every descriptor, hidden ones included
  bool hasMemoFields = false;
  // Visual FoxPro: the backlink behind the descriptors names a database container.
  bool inDatabaseContainer = false;

  // The memo kind for a table opened with the given driver.
  MemoKind memoKind(const std::string& driver) const;
  // The version byte a header rewrite stores.
  std::uint8_t rewrittenVersion() const;
};

// Reads and checks the header and descriptors. Throws TableError: read error for short
// reads, corruption error for version bytes, field types and sizes not accepted.
DbfLayout readDbfLayout(const OsFile& file, const std::string& fileName);

// The fixed header of a rewrite: version, today's date, count, lengths and the structural
// index flag; every other byte as read.
std::array<std::uint8_t, 32> rewrittenHeader(const DbfLayout& layout, std::uint32_t count,
                                             bool structuralIndex, int year, int month, int day);

// Little-endian helpers for the fixed layouts.
inline std::uint32_t readU32le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t readU16le(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline void writeU32le(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void writeU16le(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace zandor
