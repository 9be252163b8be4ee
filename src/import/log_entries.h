#pragma once

#include <cstdint>
#include <string>

namespace zandor {

// The fixed entries of an import log, as Windows-1252 text. Counts are plain digits.

// "Einlesevorgang vom: dd.mm.yy um hh:mm:ss Uhr"
std::string logStartEntry(std::int32_t day, std::int32_t millis);
// "Datei: " and the table path in upper case (a to z only).
std::string logTableEntry(const std::string& dbfFile);
// "Indextyp: DBFCDX" or "Indextyp: DBFNTX".
std::string logIndexTypeEntry(bool cdxIndex);
// "Zelle row:column konnte nicht gelesen werden!"
std::string logUnreadableKeyEntry(long row, int column);
// "Fehler (2) in Excelfeld " + letters + row: a mapped cell could not be read.
std::string logUnreadableCellEntry(const std::string& columnLetters, long row);
// "Fehler (1) in Excelfeld " + letters + row: the table refused the converted value.
std::string logRefusedValueEntry(const std::string& columnLetters, long row);
// "Einlesevorgang in Zeile N abgebrochen: " + the error's text: a file of the table could
// not be written or read.
std::string logFileFaultEntry(long row, const std::string& errorText);
// "Fehlerwert " + the value's text + " in Excelfeld " + letters + row: the cell shows an
// error value (#NV, #DIV/0!), which is not imported.
std::string logErrorValueEntry(const std::string& errorText, const std::string& columnLetters,
                               long row);
// "Zeile: N - nicht eingelesen: " + reason: the table refused the whole row.
std::string logRefusedRowEntry(long row, const std::string& reason);
// "Es wurden N Fehler protokolliert", "keine" for 0.
std::string logErrorCountEntry(int errors);
// "Insgesamt wurden N Datensätze in S Sekunden bearbeitet."
std::string logTotalEntry(long total, const std::string& elapsedSeconds);
// "Davon sind N neue Datensätze, U geupdatet, K unverändert"
std::string logSplitEntry(long added, long updated, long unchanged);

}  // namespace zandor
