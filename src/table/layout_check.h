#pragma once

#include <optional>
#include <string>

namespace zandor {

class OsFile;
struct DbfLayout;

// Where the facts a table's layout rests on contradict each other: the header length
// against the field count and the descriptors' end mark, the stated record length against
// the fields, the field offsets a Visual FoxPro table stores against the lengths before them,
// each field's length against its type, and the record count against the file's size. A
// writer that trusted one fact over another would put records where the table's readers do
// not look for them, so such a table is never written. Answers what contradicts what, in
// German (1252 text), or nothing when all agree.
std::optional<std::string> layoutContradiction(const OsFile& file, const DbfLayout& layout);
// The same but for the record count: what a repair cannot mend, since it counts by them.
std::optional<std::string> structureContradiction(const OsFile& file, const DbfLayout& layout);

}  // namespace zandor
