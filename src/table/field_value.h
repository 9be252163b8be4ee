#pragma once

#include <string>
#include <string_view>

#include "base/value.h"
#include "table/dbf_layout.h"

namespace zandor {

class MemoFile;

// The value of one field in a record buffer (the whole record, deletion flag at byte 0):
// C as text of full width, N/F as a number with the field's decimals, D as a date, L as a
// logical, memo fields as their text from the memo file (empty without one). A memo that
// cannot be read raises the read error; its default result is the empty text.
Value decodeField(const FieldInfo& field, std::string_view record, const MemoFile* memo);

// Writes a value into the field's bytes of a record buffer as FIELDPUT stores it. Throws
// TableError: data-type error (the field keeps its bytes), data-width error (the field
// holds asterisks), or the memo file's write error.
void encodeField(const FieldInfo& field, std::string& record, const Value& value, MemoFile* memo);

// The bytes of a freshly appended record: deletion flag and text fields blank, binary
// fields zero.
std::string blankRecord(const std::vector<FieldInfo>& fields, std::size_t recordLength);

// The memo block a record's memo field refers to (0 for none).
std::uint32_t memoBlockOf(const FieldInfo& field, std::string_view record);

}  // namespace zandor
