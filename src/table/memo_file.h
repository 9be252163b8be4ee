// Memo files. A memo field of the table holds the number b of the block where its text
// starts (as 10 digits, or 4 bytes little-endian in Visual FoxPro tables); the text lies at
// b x block size. Block 0 holds the header; a block never holds the end of one memo and the
// start of another.
//
// DBT, dBase III (block size 512):
//   header  0  4  next free block (little-endian)    16  1  version (0x03, often 0)
//   memo    raw text ended by 0x1A 0x1A
// DBT, dBase IV:
//   header  0  4  next free block (little-endian)     8  8  base name of the table
//          20  2  block size (little-endian; 512 unless set otherwise)
//   memo    FF FF 08 00, then 4 bytes little-endian length including these 8 bytes, then text
// FPT, FoxPro (numbers big-endian):
//   header  0  4  next free block                     6  2  block size (64 by default)
//   memo    4 bytes type (1 = text), 4 bytes length of the text, then the text; the first
//           usable block is the one after the 512-byte header
// SMT: header 0 4 next block, 4 4 block size; read only.

#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "table/dbf_layout.h"
#include "table/os_file.h"

namespace zandor {

// The memo file of a table: DBT (dBase III or IV layout), FPT, or SMT (read only).
// Released blocks are left unreferenced; new texts go to the end of the file, so a memo
// that a record still points at is never overwritten.
class MemoFile {
 public:
  // Opens an existing memo file with the table's lock mode. Throws TableError.
  static std::unique_ptr<MemoFile> open(const std::string& path, MemoKind kind, bool readOnly,
                                        bool exclusive);
  // Writes an empty memo file of the kind (block size 512 for DBT, 64 for FPT).
  // Throws TableError.
  static void create(const std::string& path, MemoKind kind, const std::string& tableBaseName);

  MemoKind kind() const { return kind_; }
  std::uint32_t blockSize() const { return blockSize_; }
  const std::string& path() const { return file_.path(); }

  // Longest text read: a damaged file (a text without its end mark, followed by nothing but
  // zeros; a length field out of all proportion) is not read on to its end.
  static constexpr std::uint64_t kMaxText = 16u << 20;

  // The text stored at a block; block 0 means none. Throws TableError (read error) for a
  // block that lies outside the file or does not start a memo, and for a text longer than
  // kMaxText.
  std::string read(std::uint32_t block) const;
  // Why the memo at a block cannot be read whole (German), or nothing: the block lies in the
  // header or past the end of the file, its block header is no memo's, or its text runs past
  // the end of the file. Block 0 (no memo) is always sound.
  std::optional<std::string> referenceProblem(std::uint32_t block) const;
  // Where the header contradicts the file (German, 1252 text): a next free block beyond the
  // file's end would make the next text grow the file by that much. Nothing when it agrees.
  std::optional<std::string> headerContradiction() const;
  // Stores a text and returns its first block. Throws TableError (write error); the file
  // keeps its previous length and header then.
  std::uint32_t write(std::string_view text);
  // Waits until the texts written are on stable storage; returns 0 or the errno value.
  int sync();
  // Closes the file; returns 0 or the errno value of the close.
  int close();

 private:
  MemoFile(OsFile file, MemoKind kind) : file_(std::move(file)), kind_(kind) {}

  OsFile file_;
  MemoKind kind_;
  std::uint32_t blockSize_ = 512;
};

}  // namespace zandor
