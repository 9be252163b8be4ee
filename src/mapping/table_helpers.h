#pragma once

#include <string>
#include <vector>

#include "base/value.h"
#include "state/mapping_tables.h"

namespace zandor {

struct AppState;

// Column letters of a spreadsheet column number, as the spreadsheet names them: 1 is A, 27 is
// AA, 703 is AAA, 16384 is XFD. 0 (or below) gives the empty text.
std::string EXCELSPALTE(int n);

// One slot (1-based) of every row, in row order. A slot outside the row gives an empty value.
std::vector<Value> AEINDIM(const FieldTable& table, int slot = 1);
std::vector<Value> AEINDIM(const ColumnTable& table, int slot = 1);

// Empties both mapping tables, so that they are built afresh; always true.
bool AINIT(AppState& state);

}  // namespace zandor
