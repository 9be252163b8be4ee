#pragma once

#include <string>

namespace zandor {

struct AppState;

// The file choice dialog "Datei-Optionen": picks the spreadsheet and the table from the
// remembered lists or by browsing, and whether the sheet has headings. Confirming discards
// the mapping, remembers both files and sets cXlsFile and cDbfFile. True when it ended with
// "Nächster Schritt": the mapping dialog follows.
bool DLGZUORDNUNG(AppState& state);
// The same with a file already chosen (dropped onto the main window): a .dbf file as the
// table, anything else as the spreadsheet.
bool DLGZUORDNUNG(AppState& state, const std::string& pendingFile);

// Whether a file may be handed to the file choice (dropped onto the main window): a table,
// or a spreadsheet by a name the readers take.
bool isImportableFile(const std::string& path);

}  // namespace zandor
