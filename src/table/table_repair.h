#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zandor {

// What a repair of a table file found and did.
struct TableRepair {
  std::uint32_t countBefore = 0;  // record count the header stated
  std::uint32_t countAfter = 0;   // whole records in the file, now in the header
  std::uint64_t bytesCut = 0;     // bytes behind the last record that were cut off
  bool changed = false;           // anything written at all
};

// A table that cannot be repaired (not a dBase table, not readable, in use); the text is
// German, Windows-1252.
class TableRepairError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sets the record count in the header from the file length after a program ended while
// appending: whole records count; a partial record behind them is cut off and the end mark
// written after the last record. Records whose deletion flag is neither blank nor "*"
// beyond the stated count are no records and are cut off too. The file is opened
// exclusively and written only after its layout was read and checked. Throws
// TableRepairError.
TableRepair repairTable(const std::string& path);

}  // namespace zandor
