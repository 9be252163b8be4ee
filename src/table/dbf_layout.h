// Table file (.dbf). All numbers little-endian.
//
//   0   1  version byte: 0x02/0x03 plain, 0x83 with a dBase III memo, 0x04/0x7B/0x8B dBase IV
//          memo, 0xF5 FoxPro memo, 0xE5 SMT memo, 0x30-0x32 Visual FoxPro (memo when flag bit 1
//          is set), 0x06/0x86/0xE6/0xF6 encrypted variants
//   1   3  date of the last update: year - 1900, month, day
//   4   4  record count (deleted records included)
//   8   2  header length = file offset of record 1
//  10   2  record length = 1 (deletion flag) + the sum of the field lengths
//  12  16  reserved (dBase IV: 14 transaction flag, 15 encryption flag)
//  28   1  flags: 0x01 a structural .cdx exists, 0x02 memo present (0x30-0x32), 0x04 container
//  29   1  code page mark (0x01 = 437, 0x02 = 850, 0x03 = 1252, ...)
//  30   2  reserved
//  32      field descriptors of 32 bytes, ended by a 0x0D byte; Visual FoxPro tables keep a
//          263-byte container back link after it, inside the header length
//
// Field descriptor:
//   0  11  name, NUL-padded          11  1  type letter
//  12   4  (FoxPro: offset in record) 16  1  length (C: bytes 16-17 form a 16-bit length)
//  17   1  decimals                  18  1  flags (0x30-0x32: 0x01 system, 0x02 nullable,
//                                            0x04 binary, 0x0C autoincrement)
//  19  13  reserved (0x30-0x32 autoincrement: next value at 19 (4 bytes), step at 23)
//
// Records follow the header, record length bytes each: byte 0 is " " (live) or "*" (deleted),
// then every field in descriptor order at its full length, without separators. The file
// ends with 0x1A after the last record, or directly after it.

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
  // Visual FoxPro: bits of the hidden _NullFlags field (-1: none), counted in field order,
  // least significant first: one for each varchar/varbinary field, set when its value is
  // shorter than the field (the length then in its last byte), and one for each nullable
  // field, set when it is NULL.
  int varLengthBit = -1;
  int nullBit = -1;
  std::size_t nullFlagsOffset = 0;

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
