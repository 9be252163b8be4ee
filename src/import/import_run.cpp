#include "import/import_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/encoding.h"
#include "base/error.h"
#include "base/paths.h"
#include "base/text.h"
#include "import/auto_numbers.h"
#include "import/default_index.h"
#include "import/fault_watch.h"
#include "import/field_preparer.h"
#include "import/import_log.h"
#include "import/local_time.h"
#include "import/log_entries.h"
#include "import/row_cells.h"
#include "import/run_resources.h"
#include "import/table_fitness.h"
#include "import/value_conversion.h"
#include "mapping/import_options_dialog.h"
#include "mapping/structure_readers.h"
#include "mapping/table_helpers.h"
#include "settings/preferences.h"
#include "sheet/ole_auto.h"
#include "state/app_state.h"
#include "state/wait_message.h"
#include "table/index_error.h"
#include "table/table_error.h"
#include "table/unsupported.h"
#include "table/work_areas.h"
#include "ui/ui.h"

namespace zandor {

namespace {

using sheet::CreateObject;
using sheet::oleRequest;

const std::string kCrLf = "\r\n";
const std::string kNoType;
const std::string kAbort = kCrLf + "Bearbeitung des Einlesevorgangs wird abgebrochen!";
// The wait message while the workbook is read (Windows-1252).
constexpr const char* kOpeningWorkbook =
    "Excel-Datei wird ge\xf6"
    "ffnet ...";

void inform(AppState& state, const std::string& utf8) {
  if (state.ui) state.ui->information(utf8ToCp1252(utf8));
}

// First row of the field table whose name is exactly the given one; 1-based, 0 for none.
int fieldPosition(const FieldTable& fields, const char* name) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Value& v = fields[i][field_slot::kFieldName];
    if (v.isText() && v.asText() == name) return static_cast<int>(i) + 1;
  }
  return 0;
}

// The mapped column of a field row, or 0 when the field is not mapped.
int mappedColumn(const FieldRow& row) {
  const Value& v = row[field_slot::kColNo];
  if (!v.isNumber() || v.asNumber().toDouble() <= 0) return 0;
  return static_cast<int>(v.asNumber().toDouble());
}

int slotInt(const Value& v) {
  return v.isNumber() ? static_cast<int>(v.asNumber().toDouble()) : 0;
}

bool slotTrue(const Value& v) {
  return v.isLogical() && v.asLogical();
}

// What one run decides, holds and counts, from its first step to its last.
struct Run {
  Run(AppState& s, WorkAreas& a)
      : state(s),
        areas(a),
        fields(s.aFields),
        held(s, a),
        kundePos(fieldPosition(fields, "KUNDE")),
        nummerPos(fieldPosition(fields, "NUMMER")),
        liefANrPos(fieldPosition(fields, "LIEF_A_NR")) {}

  AppState& state;
  WorkAreas& areas;
  const FieldTable& fields;
  RunResources held;
  const int kundePos, nummerPos, liefANrPos;  // rows of the key fields, 1-based; 0: none

  ImportLog& log() { return *held.log; }
  bool generates() const { return autoArt || autoAdr; }

  std::string tableName;
  int criterion = 0;  // which article number finds an article
  long row = 1;
  long firstRow = 1, lastRow = 1;  // the rows the wait message counts through
  int keyCol = 1;
  bool autoAdr = false, autoArt = false;
  std::string newNumber;
  std::string index;
  Value sheet;
  std::string keyField;  // the field the index's key is made of
  // The key field's area and number there, found once for the rows (nothing: asked by name).
  const WorkArea* keyArea = nullptr;
  int keyIndex = -1;
  bool lookUp = false, update = false;
  bool stopOnlyTested = false;  // the stop column is read for nothing else
  long total = 0, updated = 0, unchanged = 0, refused = 0;
  std::chrono::steady_clock::time_point started;
  std::optional<Error> fault;      // the file fault that ended the rows
  bool closing = false;            // every row is read, the table is being closed
  std::size_t firstRowEntry = 0;   // the log's first entry written while the rows are read
  std::size_t closingEntries = 0;  // and its first closing entry
  std::string cElapsed;
  std::vector<int> mappedFieldNos;  // of the mapped fields, in the order they are filled
  std::vector<int> fieldNosToPut;   // kept for each row's prepared fields
};

void writeCounterBack(const Run& run) {
  AppState& state = run.state;
  if (!state.oSettings) return;
  if (run.autoArt) {
    state.oSettings->Set("Artikel", "Nummer", state.vorein(vorein::kArtCounter));
  } else if (run.autoAdr) {
    state.oSettings->Set("Adressen", "Nummer", state.vorein(vorein::kAdrCounter));
  }
}

// Step 3: the log and its header entries. The log exists from here on.
void startLog(Run& run) {
  const LocalDateTime now = localNow();
  run.held.log = std::make_unique<ImportLog>(
      importLogFileName(run.state.cExePath, now.day, timeWithPoints(now.millis)));
  run.log().add(logStartEntry(now.day, now.millis));
  run.log().add(logTableEntry(run.state.cDbfFile));
}

// Step 4 and 5: the first row and whether numbers are generated.
void decideNumbers(Run& run) {
  const AppState& state = run.state;
  run.row = state.lHeader ? 2 : 1;
  run.tableName = upperAZ(baseNamePart(state.cDbfFile));
  run.criterion = slotInt(state.vorein(vorein::kArtCriterion));
  if (run.tableName == "ADRESSEN" && state.lAutoAdrNr && run.kundePos > 0) {
    run.autoAdr = true;
  } else if (beginsWith(run.tableName, "ARTIKEL") && state.lAutoArtNr &&
             ((run.criterion == 1 && run.nummerPos > 0) ||
              (run.criterion == 2 && run.liefANrPos > 0))) {
    run.autoArt = true;
  }
}

// Step 6: the key field must be mapped unless numbers are generated by choice. A table
// that lacks the key field altogether is refused the same way. False when it is not.
bool keyFieldMapped(Run& run) {
  const AppState& state = run.state;
  auto keyColumnOf = [&](int pos) { return pos > 0 ? mappedColumn(run.fields[pos - 1]) : 0; };
  const char* unmapped = nullptr;
  if (run.tableName == "ADRESSEN" && !state.lAutoAdrNr) {
    run.keyCol = keyColumnOf(run.kundePos);
    unmapped =
        "Der Kundennummer wurde kein Feld zugeordnet. Außerdem wird laut Voreinstellung die "
        "Kundennummer nicht automatisch hochgezählt. Ein Einlesen der Daten ist somit nicht "
        "möglich!";
  } else if (run.tableName == "ARTIKEL" && !state.lAutoArtNr && run.criterion == 2) {
    run.keyCol = keyColumnOf(run.liefANrPos);
    unmapped =
        "Der Lieferanten-Artikelnummer wurde kein Feld zugeordnet. Außerdem wird laut "
        "Voreinstellung die Artikelnummer nicht automatisch hochgezählt. Ein Einlesen der "
        "Daten ist somit nicht möglich!";
  } else if (run.tableName == "ARTIKEL" && !state.lAutoArtNr) {
    run.keyCol = keyColumnOf(run.nummerPos);
    unmapped =
        "Der Artikelnummer wurde kein Feld zugeordnet. Außerdem wird laut Voreinstellung die "
        "Artikelnummer nicht automatisch hochgezählt. Ein Einlesen der Daten ist somit nicht "
        "möglich!";
  } else {
    return true;  // column A, no check
  }
  if (run.keyCol != 0) return true;
  inform(run.state, unmapped);
  return false;
}

// Step 7: without a stop column the user chooses one first; nothing is read this time.
ImportOutcome sendToStopColumnChoice(Run& run) {
  inform(run.state,
         "Bitte wählen Sie zunächst ein Feld aus, welches immer einen Wert enthält, da dieses "
         "als Abbruchkriterium für den Einlesevorgang benötigt wird!");
  EINLESEOPTION(run.state);
  return ImportOutcome::StopColumnMissing;
}

// Step 8 and 9: the index chosen and the table opened, or M5 shown.
bool openTable(Run& run) {
  AppState& state = run.state;
  state.nErrors = 0;
  state.lIndexOpen = false;
  run.index = DEFAULTINDEX(state, state.cDbfFile);
  bool opened = false;
  std::string unsupported;
  try {
    ErrorGuard guard;
    opened = run.areas.DBUSEAREA(true, state.lCdxIndex ? "DBFCDX" : "DBFNTX", state.cDbfFile,
                                 kRunAlias, std::nullopt, false);
  } catch (const ErrorException& e) {
    opened = false;
    // A table or structural index we cannot write exactly: nothing of it was written.
    if (isUnsupportedError(e.error())) {
      unsupported = kCrLf + cp1252ToUtf8(e.error().fileName) +
                    ": nicht unterstützt: " + cp1252ToUtf8(unsupportedFeatureOf(e.error()));
    } else if (!e.error().reason.empty()) {
      unsupported =
          kCrLf + cp1252ToUtf8(fileNamePart(e.error().fileName) + ": " + e.error().reason);
    }
  }
  if (!opened) {
    inform(state, "Kritischer Fehler: Datenbank kann nicht geöffnet werden" + unsupported + kAbort);
    return false;
  }
  run.held.tableOpen = true;
  run.log().add(logIndexTypeEntry(state.lCdxIndex));
  return true;
}

// Step 10, and the checks that keep a table from getting records it cannot take.
bool indexReady(Run& run) {
  AppState& state = run.state;
  if (!run.index.empty()) {
    // An index file that could not be added (its error has been shown) would go stale
    // under the rows written without it.
    if (!run.areas.ORDLISTADD(run.index)) return false;
    state.lIndexOpen = true;
  }
  // Nothing is written into a table or index that cannot take the records as they are.
  if (const auto unfit = unfitForImport(run.areas)) {
    if (state.ui) state.ui->information(*unfit + utf8ToCp1252(kAbort));
    return false;
  }
  // Generated numbers are looked up in the index; without one every number would fail in
  // the middle of the run, so nothing is imported.
  if (run.generates() && !state.lIndexOpen) {
    inform(state,
           "Für die automatische Nummernvergabe wird ein Index benötigt, im Verzeichnis der "
           "Datenbank wurde jedoch keine passende Indexdatei gefunden." +
               kAbort);
    return false;
  }
  return true;
}

// Step 11: updating without an index appends instead, if the user agrees.
bool appendingAgreed(Run& run) {
  AppState& state = run.state;
  if (!run.index.empty() || !slotTrue(state.vorein(vorein::kUpdate))) return true;
  return state.ui &&
         state.ui->question(
             "Widerspruch!",
             utf8ToCp1252("Sie haben Daten aktualisieren ausgewählt, jedoch ist kein Index "
                          "vorhanden." +
                          kCrLf +
                          "Daten können deswegen nicht aktualisiert werden und werden stattdessen "
                          "angehängt!" +
                          kCrLf + "Trotzdem fortfahren?"));
}

// Step 12 to 14: the spreadsheet application, the workbook and its active sheet.
bool openSpreadsheet(Run& run) {
  AppState& state = run.state;
  // A large workbook takes seconds to read; the message is on screen before that starts.
  SAYMSGWAIT(state, kOpeningWorkbook);
  try {
    ErrorGuard guard;
    run.held.application = CreateObject("Excel.Application");
  } catch (const ErrorException&) {
    ENDMSGWAIT(state);
    inform(state, "Kritischer Fehler: Excel kann nicht geladen werden" + kAbort);
    return false;
  }
  try {
    ErrorGuard guard;
    const Value books = oleRequest(run.held.application, "Workbooks");
    run.held.workbook = oleRequest(books, "Add", {Value::text(state.cXlsFile)});
  } catch (const ErrorException& e) {
    ENDMSGWAIT(state);
    inform(state, "Die ausgewählte Datei ist nicht kompatibel mit Ihrer Excel-Version" + kAbort);
    if (state.ui) state.ui->detail(e.error().description);
    return false;
  }
  run.sheet = oleRequest(run.held.application, "ActiveSheet");
  return true;
}

// A cell showing an error value is a row error; the field keeps its content.
void noteErrorValue(Run& run, const Value& cell, int column) {
  run.log().add(logErrorValueEntry(cell.asErrorText(), EXCELSPALTE(column), run.row));
  ++run.state.nErrors;
}

// Row loop step 1: false when the stop cell is empty. An error value is no empty cell: the
// row is read, and the error is logged where the cell is read for the row (here when
// nowhere else).
bool rowGoesOn(Run& run, RowCells& cells) {
  const Value stop = cells.stop(run.row);
  if (stop.isEmpty()) return false;
  if (stop.isError() && run.stopOnlyTested) noteErrorValue(run, stop, run.state.nStopColumn);
  return true;
}

// Row loop step 2 to 4: the key as text, or empty.
Value readKey(Run& run, RowCells& cells) {
  Value keyCell;
  if (auto read = cells.key(run.row)) {
    keyCell = std::move(*read);
    if (keyCell.isError()) {
      noteErrorValue(run, keyCell, run.keyCol);
      keyCell = Value();
    }
  } else {
    run.log().add(logUnreadableKeyEntry(run.row, run.keyCol));
    ++run.state.nErrors;
  }
  sayWaitRow(run.state, run.row, run.firstRow, run.lastRow);
  return TYPANPASSEN(run.state, std::move(keyCell), "C", 0, run.log(), run.row);
}

// The key field of the run's table, when it is there and read without a fault (not a memo):
// each row then reads it by number instead of by alias and name.
void findKeyField(Run& run) {
  run.keyArea = nullptr;
  const WorkArea* area = run.areas.area(run.areas.areaOf(kRunAlias));
  if (!area || run.keyField.empty()) return;
  const int index = area->fieldIndex(run.keyField);
  if (index < 0 || area->fields()[static_cast<std::size_t>(index)].isMemo()) return;
  run.keyArea = area;
  run.keyIndex = index;
}

// Row loop step 6.1: whether the key finds its record (which is then the current one).
bool keyMatches(Run& run, const Value& key) {
  bool found = false;
  try {
    ErrorGuard guard(Guarding::AllButFileFaults);
    found = run.areas.DBSEEK(key);
  } catch (const ErrorException&) {
    const std::string shown = key.isText() ? key.asText() : std::string();
    if (run.state.ui) run.state.ui->information(utf8ToCp1252("Gesucht wird: ") + shown);
    return false;
  }
  if (!found) return false;
  const Value stored = run.keyArea ? run.keyArea->fieldValue(run.keyIndex)
                                   : run.areas.aliasField(kRunAlias, run.keyField);
  return key.isText() && stored.isText() && keysMatch(key.asText(), stored.asText());
}

// The preparer for the mapped fields of the current table, in the order fillFields takes
// them.
std::optional<FieldPreparer> fieldPreparer(const Run& run) {
  const WorkArea* area = run.areas.current();
  if (!area) return std::nullopt;
  std::vector<FieldPreparer::Target> targets;
  for (const FieldRow& field : run.fields) {
    if (mappedColumn(field) == 0) continue;
    const Value& typeSlot = field[field_slot::kFieldType];
    targets.push_back({typeSlot.isText() ? typeSlot.asText() : kNoType,
                       slotInt(field[field_slot::kFieldLen]),
                       FieldEncoder::of(*area, slotInt(field[field_slot::kFieldNo]) - 1)});
  }
  return FieldPreparer(std::move(targets), area->record().size());
}

// A value its field refused: the field keeps what it held, the row goes on.
void noteRefusedValue(Run& run, int column) {
  run.log().add(logRefusedValueEntry(EXCELSPALTE(column), run.row));
  ++run.state.nErrors;
}

// A row whose every mapped cell was made into its field's bytes ahead: they go into the
// record at once. False where they were not put; the fields are then put one by one, so that
// each refusal is logged as it is without the bytes made ahead.
bool putPreparedRow(Run& run, const RowCells::PreparedRow& prepared) {
  run.fieldNosToPut.clear();
  for (std::size_t i = 0; i < run.mappedFieldNos.size(); ++i) {
    if (prepared.withBytes >> i & 1) run.fieldNosToPut.push_back(run.mappedFieldNos[i]);
  }
  try {
    ErrorGuard guard(Guarding::AllButFileFaults);
    return run.areas.putFieldsBytes(prepared.record, run.fieldNosToPut);
  } catch (const ErrorException&) {
    return false;
  }
}

// Row loop step 7: each mapped cell read, converted and put into its field.
void fillFields(Run& run, RowCells& cells) {
  if (const std::optional<RowCells::PreparedRow> prepared = cells.preparedRow(run.row);
      prepared && putPreparedRow(run, *prepared)) {
    cells.takePreparedRow();
    return;
  }
  for (const FieldRow& field : run.fields) {
    const int column = mappedColumn(field);
    if (column == 0) continue;
    Value cell;
    if (auto read = cells.field(run.row, column)) {
      cell = std::move(*read);
      if (cell.isError()) {
        noteErrorValue(run, cell, column);
        cell = Value();
      }
    } else {
      run.log().add(logUnreadableCellEntry(EXCELSPALTE(column), run.row));
      ++run.state.nErrors;
    }
    const Value& typeSlot = field[field_slot::kFieldType];
    const std::string& type = typeSlot.isText() ? typeSlot.asText() : kNoType;
    const int length = slotInt(field[field_slot::kFieldLen]);
    const Value converted =
        TYPANPASSEN(run.state, std::move(cell), type, length, run.log(), run.row);
    try {
      ErrorGuard guard(Guarding::AllButFileFaults);
      run.areas.putField(slotInt(field[field_slot::kFieldNo]), converted);
    } catch (const ErrorException&) {
      noteRefusedValue(run, column);
    }
  }
}

// Row loop step 8: the generated number overrides a mapped column.
void putGeneratedNumber(Run& run) {
  if (run.autoArt) {
    if (run.nummerPos > 0) {  // with criterion 2 the table may lack NUMMER
      run.areas.putField(slotInt(run.fields[run.nummerPos - 1][field_slot::kFieldNo]),
                         Value::text(run.newNumber));
    }
  } else if (run.autoAdr) {
    run.areas.putField(slotInt(run.fields[run.kundePos - 1][field_slot::kFieldNo]),
                       Value::text(run.newNumber));
  }
}

// A key that a candidate tag holds already for another record: the table must never hold
// it twice, so the row is logged and not written.
void commitUnlessDuplicate(Run& run, bool matched) {
  std::optional<Error> refused;
  try {
    ErrorGuard guard(Guarding::AllButFileFaults);
    run.areas.commitRecord();
  } catch (const ErrorException& e) {
    refused = e.error();
  }
  if (!refused) return;
  if (!isDuplicateKeyError(*refused)) {
    raiseError(*refused);
    return;
  }
  run.log().add(logRefusedRowEntry(run.row, refused->description));
  ++run.state.nErrors;
  ++run.refused;
  if (matched) --run.updated;
}

// A found record holding NULL values is never changed: which _NullFlags bit belongs to which
// field is not known, so any write could turn a NULL into a value or back. The row is logged
// and counted as refused.
bool refuseRecordWithNull(Run& run) {
  const WorkArea* area = run.areas.current();
  if (!area || !area->recordHasNull()) return false;
  run.log().add(logRefusedRowEntry(
      run.row, utf8ToCp1252("Nicht unterstützt: Datensatz " + std::to_string(area->recNo()) +
                            " enthält NULL-Werte und wird nicht geändert")));
  ++run.state.nErrors;
  ++run.refused;
  return true;
}

enum class RowEnd { Next, NoNumber };

// Row loop step 2 to 10 for the current row.
RowEnd importRow(Run& run, RowCells& cells, bool candidates) {
  const Value key = readKey(run, cells);
  if (run.generates()) {
    const auto number =
        AUTOGEN(run.state, run.areas, run.autoArt ? "ARTIKEL" : "ADRESSEN", run.tableName);
    if (!number) return RowEnd::NoNumber;
    run.newNumber = *number;
  }
  const bool matched = run.lookUp && keyMatches(run, key);
  if (matched && !run.update) {
    ++run.unchanged;
  } else if (matched && refuseRecordWithNull(run)) {
    // logged; the record stays as it is
  } else {
    if (matched) {
      ++run.updated;
      run.areas.DBRLOCK();
    } else {
      run.areas.DBAPPEND();
    }
    fillFields(run, cells);
    putGeneratedNumber(run);
    if (candidates) commitUnlessDuplicate(run, matched);
    run.areas.DBRUNLOCK();
  }
  ++run.row;
  ++run.total;
  return RowEnd::Next;
}

// Step 16: every row down to the first empty stop cell; false when a generated number
// could not be had.
bool readRows(Run& run) {
  if (run.fields.empty()) return true;
  std::vector<int> fieldColumns;
  run.mappedFieldNos.clear();
  for (const FieldRow& field : run.fields) {
    if (const int column = mappedColumn(field)) {
      fieldColumns.push_back(column);
      run.mappedFieldNos.push_back(slotInt(field[field_slot::kFieldNo]));
    }
  }
  const int stopColumn = run.state.nStopColumn;
  run.stopOnlyTested =
      stopColumn != run.keyCol &&
      std::find(fieldColumns.begin(), fieldColumns.end(), stopColumn) == fieldColumns.end();
  // Only an unchanged record leaves its fields unread; where that can happen, cells are
  // read when needed rather than ahead.
  const bool everyRowWhole = !run.lookUp || run.update;
  const bool candidates = run.areas.hasCandidateOrder();
  // Every index file is kept in place, on this thread: handing each record's keys to a
  // second thread cost more in wake-ups than it saved (timed on two processors).
  // The fields' bytes are made on the reading thread as well, where nothing needs a word.
  std::optional<FieldPreparer> preparer;
  if (everyRowWhole) preparer = fieldPreparer(run);
  RowCells cells(run.sheet, run.row, stopColumn, run.keyCol, std::move(fieldColumns), everyRowWhole,
                 preparer ? &*preparer : nullptr);
  while (rowGoesOn(run, cells)) {
    if (importRow(run, cells, candidates) == RowEnd::NoNumber) return false;
  }
  // The last record and its keys, while a fault can still end the run before its summary.
  run.areas.commitRecord();
  return true;
}  // the read ahead ends before anything else touches the workbook

// After a file fault ended the row loop, or the close after it: no summary, the user is told
// why and what to do; what the run holds is released as on every other early end.
ImportOutcome endAfterFault(Run& run) {
  AppState& state = run.state;
  const Error& fault = *run.fault;
  run.held.dropRecordInFlight = true;
  ENDMSGWAIT(state);
  run.log().add("");
  run.log().add(logFileFaultEntry(run.row, errorForUser(fault)));
  run.log().close();
  if (state.ui) {
    const std::string what =
        run.closing
            ? "Kritischer Fehler: Die Datenbank oder ihr Index konnte nach dem Einlesen nicht "
              "sicher gespeichert werden. Die Dateien sind möglicherweise unvollständig; bitte "
              "prüfen Sie sie (zandor-cli dbf check) und führen Sie eine Reorganisation durch "
              "(dbf repair)!"
            : "Kritischer Fehler: Die Datenbank oder ihr Index kann nicht geschrieben werden. Der "
              "Einlesevorgang wurde in Zeile " +
                  std::to_string(run.row) +
                  " abgebrochen; bitte führen Sie eine Reorganisation durch (dbf repair)!";
    state.ui->information(utf8ToCp1252(what) + kCrLf + errorForUser(fault) + utf8ToCp1252(kAbort));
  }
  run.held.closeTable();
  run.held.closeSpreadsheet();
  writeCounterBack(run);
  return ImportOutcome::Ended;
}

// Step 15 and 16 under watch for file faults, and the table closed after them: its files
// written out, synced and closed before anything tells of success. Nothing when that went
// through.
std::optional<ImportOutcome> importRows(Run& run) {
  AppState& state = run.state;
  run.started = std::chrono::steady_clock::now();
  run.firstRow = run.row;
  run.lastRow = lastUsedRow(run.sheet);
  STARTMSGWAIT(state);
  run.keyField = run.index.empty() ? std::string() : keyFieldOfIndex(baseNamePart(run.index));
  findKeyField(run);
  run.lookUp = state.lIndexOpen && !run.generates();
  run.update = slotTrue(state.vorein(vorein::kUpdate));
  run.firstRowEntry = run.log().entryCount();
  try {
    FaultWatch watch(run.fault);
    if (!readRows(run)) {
      writeCounterBack(run);  // the resources release the rest
      return ImportOutcome::Ended;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - run.started;
    run.cElapsed = elapsedText(elapsed.count());
    run.closing = true;
    run.held.finishTable();
  } catch (const RunEnded&) {
    return endAfterFault(run);
  } catch (const ProgramQuit&) {
    if (run.fault) {
      run.held.dropRecordInFlight = true;
      run.log().add(logFileFaultEntry(run.row, errorForUser(*run.fault)));
    }
    throw;
  }
  return std::nullopt;
}

// The summary's lines after the total: new, updated and unchanged, and the reminder.
std::string summaryCounts(const Run& run, long nNew) {
  return utf8ToCp1252(kCrLf + "Davon sind " + std::to_string(nNew) + " neue Datensätze, " +
                      std::to_string(run.updated) + " geupdatet, " + std::to_string(run.unchanged) +
                      " unverändert" + kCrLf + kCrLf +
                      "Bitte beachten Sie, dass eine Reorganisation jetzt notwendig ist!");
}

// The summary of a run whose log could not be written whole: it says so, names the problems
// the log would have held, and does not claim the run done.
std::string summaryWithoutLog(Run& run, long nNew) {
  const ImportLog& log = run.log();
  std::string reason = osErrorText(osCodeOf(log.failure()));
  if (reason.empty()) reason = "Systemfehler " + std::to_string(log.failure());
  std::string text = utf8ToCp1252("Das Protokoll konnte nicht geschrieben werden (") + reason +
                     "): " + log.fileName() + kCrLf;
  std::vector<std::string> problems;
  for (const ImportLog::Lost& lost : log.lostEntries()) {
    if (lost.index >= run.firstRowEntry && lost.index < run.closingEntries && !lost.text.empty()) {
      problems.push_back(lost.text);
    }
  }
  if (run.state.nErrors > 0) {
    text += utf8ToCp1252("Es wurden " + std::to_string(run.state.nErrors) +
                         " Fehler festgestellt, die in keinem Protokoll stehen");
    constexpr std::size_t kShown = 10;
    if (!problems.empty()) text += problems.size() > kShown ? ", die ersten:" : ":";
    for (std::size_t i = 0; i < problems.size() && i < kShown; ++i) text += kCrLf + problems[i];
    text += kCrLf;
  }
  text += kCrLf +
          utf8ToCp1252("Eingelesen wurden insgesamt " + std::to_string(run.total) +
                       " Datensätze in " + run.cElapsed + " Sekunden.") +
          summaryCounts(run, nNew);
  return text;
}

// Step 17 to 24, with the table closed already: the log's closing lines, the summary and the
// log shown, the spreadsheet closed. A log that could not be written whole is no success.
ImportOutcome finish(Run& run) {
  AppState& state = run.state;
  ImportLog& log = run.log();
  ENDMSGWAIT(state);
  const long nNew = run.total - run.updated - run.unchanged - run.refused;
  run.closingEntries = log.entryCount();
  log.add("");
  log.add(logErrorCountEntry(state.nErrors));
  log.add("");
  log.add(logTotalEntry(run.total, run.cElapsed));
  log.add(logSplitEntry(nNew, run.updated, run.unchanged));
  log.close();
  run.held.closeSpreadsheet();
  writeCounterBack(run);
  if (log.failure() != 0) {
    if (state.ui) state.ui->summary(summaryWithoutLog(run, nNew));
    return ImportOutcome::LogLost;
  }
  if (state.nErrors > 0) {
    inform(state, "Es wurden Fehler festgestellt. Das Protokoll wird gleich geöffnet");
  }
  if (state.ui)
    state.ui->summary(utf8ToCp1252("Fertig! Insgesamt wurden " + std::to_string(run.total) +
                                   " Datensätze in " + run.cElapsed + " Sekunden bearbeitet.") +
                      summaryCounts(run, nNew));
  if (state.ui) state.ui->showTextFile(log.fileName());
  return ImportOutcome::Summary;
}

}  // namespace

std::string elapsedText(double seconds) {
  if (!(seconds >= 0)) seconds = 0;
  if (seconds > 999999.99) return "*********";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", std::round(seconds * 100) / 100);
  return buf;
}

bool EINLESEN(AppState& state, WorkAreas& areas) {
  return runImport(state, areas) != ImportOutcome::Ended;
}

ImportOutcome runImport(AppState& state, WorkAreas& areas) {
  if (!state.cSettingsProblem.empty()) {
    if (state.ui) state.ui->information(unreadableSettingsMessage(state) + utf8ToCp1252(kAbort));
    return ImportOutcome::Ended;
  }
  Run run(state, areas);
  startLog(run);
  decideNumbers(run);
  if (!keyFieldMapped(run)) return ImportOutcome::Ended;
  if (state.nStopColumn == 0) return sendToStopColumnChoice(run);
  if (!openTable(run) || !indexReady(run) || !appendingAgreed(run) || !openSpreadsheet(run)) {
    return ImportOutcome::Ended;
  }
  if (const auto early = importRows(run)) return *early;
  return finish(run);
}

}  // namespace zandor
