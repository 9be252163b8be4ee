#pragma once

#include <cstdint>
#include <string_view>

namespace zandor {

class OsFile;
struct DbfLayout;

// Whether a record's bytes are a whole record of the layout: its deletion flag is " " or
// "*", and every field holds bytes of a form its type allows (no NUL in a text, digits and
// blanks in a date, and so on; binary fields take any bytes). A record whose copy into the
// file was cut short by a kill has zero bytes from there on and fails at the first text,
// number, date, logical or memo field the copy did not reach.
bool isWholeRecord(const DbfLayout& layout, std::string_view record);

// The records of a file after the first `from`: how many whole ones follow one another, and
// whether the bytes after them begin a record that is not whole (flagged, but cut short or
// of the wrong form). whole is -1 when the file cannot be read.
struct RecordsBeyond {
  long long whole = 0;
  bool torn = false;
};
RecordsBeyond recordsBeyond(const OsFile& file, const DbfLayout& layout, std::uint64_t from);

}  // namespace zandor
