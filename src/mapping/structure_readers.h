#pragma once

#include <string>

#include "base/value.h"
#include "state/mapping_tables.h"

namespace zandor {

struct AppState;
class WorkAreas;

// The field table of the target table (the first remembered table, or one the user picks).
// Sets cDbfFile; an empty table when the file is missing or cannot be opened.
FieldTable STRUCSDBF(AppState& state, WorkAreas& areas);

// The column table from the first row of the spreadsheet (the first remembered one, or one
// the user picks). Sets cXlsFile; an empty table when the spreadsheet cannot be read.
ColumnTable STRUCSXLS(AppState& state);

// The same for a given table or spreadsheet file, without asking and without touching
// cDbfFile or cXlsFile.
FieldTable fieldTableOf(AppState& state, WorkAreas& areas, const std::string& tableFile);
ColumnTable columnTableOf(AppState& state, const std::string& sheetFile);

// The last row of a sheet's used range; 0 when it cannot be asked.
long lastUsedRow(const Value& sheet);

// The last column a sheet can have; the heading scan stops there at the latest.
constexpr int kLastSheetColumn = 16384;

}  // namespace zandor
