#include "import/log_entries.h"

#include "base/date.h"
#include "base/text.h"

namespace zandor {

std::string logStartEntry(std::int32_t day, std::int32_t millis) {
  return "Einlesevorgang vom: " + dateToText(day) + " um " + timeToText(millis) + " Uhr";
}

std::string logTableEntry(const std::string& dbfFile) {
  return "Datei: " + upperAZ(dbfFile);
}

std::string logIndexTypeEntry(bool cdxIndex) {
  return cdxIndex ? "Indextyp: DBFCDX" : "Indextyp: DBFNTX";
}

std::string logUnreadableKeyEntry(long row, int column) {
  return "Zelle " + std::to_string(row) + ":" + std::to_string(column) +
         " konnte nicht gelesen werden!";
}

std::string logUnreadableCellEntry(const std::string& columnLetters, long row) {
  return "Fehler (2) in Excelfeld " + columnLetters + std::to_string(row);
}

std::string logRefusedValueEntry(const std::string& columnLetters, long row) {
  return "Fehler (1) in Excelfeld " + columnLetters + std::to_string(row);
}

std::string logFileFaultEntry(long row, const std::string& errorText) {
  return "Einlesevorgang in Zeile " + std::to_string(row) + " abgebrochen: " + errorText;
}

std::string logErrorValueEntry(const std::string& errorText, const std::string& columnLetters,
                               long row) {
  return "Fehlerwert " + errorText + " in Excelfeld " + columnLetters + std::to_string(row);
}

std::string logRefusedRowEntry(long row, const std::string& reason) {
  return "Zeile: " + std::to_string(row) + " - nicht eingelesen: " + reason;
}

std::string logErrorCountEntry(int errors) {
  return "Es wurden " + (errors == 0 ? std::string("keine") : std::to_string(errors)) +
         " Fehler protokolliert";
}

std::string logTotalEntry(long total, const std::string& elapsedSeconds) {
  return "Insgesamt wurden " + std::to_string(total) + " Datens\xe4tze in " + elapsedSeconds +
         " Sekunden bearbeitet.";
}

std::string logSplitEntry(long added, long updated, long unchanged) {
  return "Davon sind " + std::to_string(added) + " neue Datens\xe4tze, " + std::to_string(updated) +
         " geupdatet, " + std::to_string(unchanged) + " unver\xe4ndert";
}

}  // namespace zandor
