#pragma once

#include <functional>

#include "state/mapping_tables.h"

namespace zandor {

struct AppState;
class WorkAreas;

// The import run the mapping dialog starts; the dialog stays open while it runs.
using ImportStarter = std::function<void(AppState&)>;

// Writes a column choice into a row of the field table. `value` is the chosen column number;
// anything that is not a number changes nothing, and so does key 27 (Escape). 0 removes the
// mapping; a number for which the column table has no column changes nothing. Always true.
bool FELDPOSTEN(AppState& state, FieldRow& row, const Value& value, int key);

// The mapping dialog "Zuordnung". Builds the tables that are still empty, then shows the
// field list for choosing a column per field, with automatic mapping, import options,
// saving a profile and starting the import. False when it refused to open.
bool ZUORDNUNG(AppState& state, WorkAreas& areas, const ImportStarter& startImport);

// Where the list and the row of buttons go in a dialog of that inner size (dialog units):
// the buttons in one row under the list, the list taking the rest.
struct MappingLayout {
  int listWidth = 0;
  int listHeight = 0;
  int buttonTop = 0;
};
MappingLayout mappingLayout(int width, int height);

}  // namespace zandor
