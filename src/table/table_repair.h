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
  bool tornRecordCut = false;     // among them a record cut short (or not of its fields' form)
  bool changed = false;           // anything written at all
};

// A table that cannot be repaired (not a dBase table, not readable, in use); the text is
// German, Windows-1252.
class TableRepairError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sets the record count in the header from the file after a program ended while appending:
// records beyond the stated count are taken while they are whole (isWholeRecord); the first
// that is not, and everything behind it, is cut off and the end mark written after the last
// record. A header that counts more records than the file holds is set to those it holds.
// The file is opened exclusively, written only after its layout was read and found free of
// contradictions, and synced before the repair counts as done. Throws TableRepairError.
TableRepair repairTable(const std::string& path);

}  // namespace zandor
