#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/value.h"
#include "state/mapping_tables.h"

namespace zandor {

// The row every built column table begins with: {0, "(ohne Zuordnung)", "0"}.
ColumnRow noMappingRow();

// The heading text of a first-row cell value: text unchanged, a number with two decimals,
// a date with its time of day (a pure time alone), true as ".T.", anything else empty.
// Nothing when the value cannot be turned into text.
std::optional<std::string> headingText(const Value& value);

// The heading of a column whose cell could not be read: its number right-aligned in 10.
std::string columnNumberHeading(int column);

// Reads the cell of the first sheet row in a column; nothing when the read failed.
using FirstRowReader = std::function<std::optional<Value>(int column)>;

// The column table from the first sheet row: the leading row, then one row per column
// from column 1 until the first empty cell or the sheet's last column. A cell that cannot
// be read ends the scan as an empty one does.
ColumnTable columnTableFromFirstRow(int lastColumn, const FirstRowReader& readCell);

}  // namespace zandor
