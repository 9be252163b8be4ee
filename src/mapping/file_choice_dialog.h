#pragma once

namespace zandor {

struct AppState;

// The file choice dialog "Datei-Optionen": picks the spreadsheet and the table from the
// remembered lists or by browsing, and whether the sheet has headings. Confirming discards
// the mapping, remembers both files and sets cXlsFile and cDbfFile; "Nächster Schritt" then
// opens the mapping dialog.
void DLGZUORDNUNG(AppState& state);

}  // namespace zandor
