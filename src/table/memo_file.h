#pragma once

#include <cstdint>
#include <memory>
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

  // The text stored at a block; block 0 means none. Throws TableError (read error) for a
  // block that lies outside the file or does not start a memo.
  std::string read(std::uint32_t block) const;
  // Stores a text and returns its first block. Throws TableError (write error); the file
  // keeps its previous length and header then.
  std::uint32_t write(std::string_view text);

 private:
  MemoFile(OsFile file, MemoKind kind) : file_(std::move(file)), kind_(kind) {}

  OsFile file_;
  MemoKind kind_;
  std::uint32_t blockSize_ = 512;
};

}  // namespace zandor
