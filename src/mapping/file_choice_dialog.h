#pragma once

#include <string>

namespace zandor {

struct AppState;

// The file choice dialog "Datei-Optionen": picks the spreadsheet and the table from the
// remembered lists or by browsing, and whether the sheet has headings. Confirming discards
// the mapping, remembers both files and sets cXlsFile and cDbfFile; "Nächster Schritt" then
// opens the mapping dialog.
void DLGZUORDNUNG(AppState& state);
// The same with a file already chosen (dropped onto the main window): a .dbf file as the
// table, anything else as the spreadsheet.
void DLGZUORDNUNG(AppState& state, const std::string& pendingFile);

}  // namespace zandor
