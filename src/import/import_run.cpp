#include "import/import_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "app/app_state.h"
#include "app/ui.h"
#include "app/wait_message.h"
#include "base/encoding.h"
#include "base/error.h"
#include "base/paths.h"
#include "base/text.h"
#include "base/work_lane.h"
#include "import/auto_numbers.h"
#include "import/default_index.h"
#include "import/import_log.h"
#include "import/local_time.h"
#include "import/log_entries.h"
#include "import/row_cells.h"
#include "import/table_fitness.h"
#include "import/value_conversion.h"
#include "mapping/structure_readers.h"
#include "mapping/table_helpers.h"
#include "sheet/ole_auto.h"
#include "table/index_error.h"
#include "table/unsupported.h"
#include "table/work_areas.h"

namespace zandor {

namespace {

using sheet::CreateObject;
using sheet::oleRequest;

const char* const kAlias = "cAlias";
const std::string kCrLf = "\r\n";
const std::string kNoType;
const std::string kAbort = kCrLf + "Bearbeitung des Einlesevorgangs wird abgebrochen!";

void inform(AppState& state, const std::string& utf8) {
  if (state.ui) state.ui->information(utf8ToCp1252(utf8));
}

// While it lives, index files are maintained on the lane; on every way out it lets go of
// the lane, settling what it holds (errors of that reach the handler, or, on the way out of
// an exception, are given up for the one already on its way).
class LaneAttachment {
 public:
  LaneAttachment(WorkAreas& areas, WorkLane& lane) : areas_(areas) { areas_.setWorkLane(&lane); }
  ~LaneAttachment() noexcept(false) {
    const bool unwinding = std::uncaught_exceptions() != unwinding_;
    try {
      // On the way out of an error the handler has had its say already.
      std::optional<ErrorGuard> quiet;
      if (unwinding) quiet.emplace();
      areas_.setWorkLane(nullptr);
    } catch (...) {
      if (!unwinding) throw;
    }
  }
  LaneAttachment(const LaneAttachment&) = delete;
  LaneAttachment& operator=(const LaneAttachment&) = delete;

 private:
  WorkAreas& areas_;
  const int unwinding_ = std::uncaught_exceptions();
};

// Thrown past every guard when a file fault ends the run.
struct RunEnded {};

// While it lives, a file fault (a failed write, a damaged file) that reaches the handler
// ends the run: let pass with the default result, the run would go on without the record
// and report success for rows it lost. Retry is the handler's to grant. The fault is kept
// for the log, also when the handler quits the program.
class FaultWatch {
 public:
  explicit FaultWatch(std::optional<Error>& fault) : fault_(fault) {
    previous_ = setErrorHandler([this](const Error& e) { return answer(e); });
  }
  ~FaultWatch() { setErrorHandler(std::move(previous_)); }
  FaultWatch(const FaultWatch&) = delete;
  FaultWatch& operator=(const FaultWatch&) = delete;

 private:
  ErrorAnswer answer(const Error& e) {
    if (!isFileFault(e)) return previous_(e);
    ErrorAnswer given = ErrorAnswer::Default;
    try {
      given = previous_(e);
    } catch (...) {
      fault_ = e;
      throw;
    }
    if (given == ErrorAnswer::Retry) return given;
    fault_ = e;
    throw RunEnded();
  }

  std::optional<Error>& fault_;
  ErrorHandler previous_;
};

// Everything a run holds open, released in the documented order on every way out.
class RunResources {
 public:
  RunResources(AppState& state, WorkAreas& areas) : state_(state), areas_(areas) {}
  ~RunResources() { releaseAll(); }
  RunResources(const RunResources&) = delete;
  RunResources& operator=(const RunResources&) = delete;

  std::unique_ptr<ImportLog> log;
  bool tableOpen = false;
  // After a file fault the record being written is given up rather than written at the
  // close: its keys could not all follow it.
  bool dropRecordInFlight = false;
  Value application;
  Value workbook;

  void releaseAll() {
    ENDMSGWAIT(state_);
    if (log) log->close();
    closeTable();
    closeSpreadsheet();
  }

  void closeTable() {
    if (!tableOpen) return;
    tableOpen = false;
    quietly([&] {
      if (const int area = areas_.areaOf(kAlias)) {
        areas_.selectArea(area);
        if (dropRecordInFlight) areas_.current()->discardChange();
        areas_.DBCLOSEAREA();
      }
    });
  }

  void closeSpreadsheet() {
    if (!workbook.isNil()) {
      const Value book = std::move(workbook);
      workbook = Value();
      quietly([&] { oleRequest(book, "Close", {Value::logical(false)}); });
    }
    if (!application.isNil()) {
      const Value app = std::move(application);
      application = Value();
      quietly([&] { oleRequest(app, "Quit"); });
    }
  }

 private:
  // A release must not end the release of the rest; errors here are not the user's concern.
  template <class F>
  static void quietly(F&& f) {
    try {
      ErrorGuard guard;
      f();
    } catch (const ErrorException&) {
    }
  }

  AppState& state_;
  WorkAreas& areas_;
};

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

void writeCounterBack(AppState& state, bool autoArt, bool autoAdr) {
  if (!state.oSettings) return;
  if (autoArt) {
    state.oSettings->Set("Artikel", "Nummer", state.vorein(vorein::kArtCounter));
  } else if (autoAdr) {
    state.oSettings->Set("Adressen", "Nummer", state.vorein(vorein::kAdrCounter));
  }
}

// After a file fault ended the row loop: no summary, the user is told why and what to do;
// what the run holds is released as on every other early end.
ImportOutcome endAfterFault(AppState& state, RunResources& run, const Error& fault, long row,
                            bool autoArt, bool autoAdr) {
  run.dropRecordInFlight = true;
  ENDMSGWAIT(state);
  run.log->add("");
  run.log->add(logFileFaultEntry(row, fault.text()));
  run.log->close();
  if (state.ui) {
    state.ui->information(
        utf8ToCp1252("Kritischer Fehler: Die Datenbank oder ihr Index kann nicht geschrieben "
                     "werden. Der Einlesevorgang wurde in Zeile " +
                     std::to_string(row) +
                     " abgebrochen; bitte führen Sie eine Reorganisation durch (dbf repair)!") +
        kCrLf + fault.text() + utf8ToCp1252(kAbort));
  }
  run.closeTable();
  run.closeSpreadsheet();
  writeCounterBack(state, autoArt, autoAdr);
  return ImportOutcome::Ended;
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
  // Step 1 and 2.
  long nTotal = 0, nUpdated = 0, nUnchanged = 0, nRefused = 0;
  int nKeyCol = 1;
  bool lAutoAdr = false, lAutoArt = false;
  std::string cNewNumber;
  const FieldTable& fields = state.aFields;
  const int nKundePos = fieldPosition(fields, "KUNDE");
  const int nNummerPos = fieldPosition(fields, "NUMMER");
  const int nLiefANrPos = fieldPosition(fields, "LIEF_A_NR");

  RunResources run(state, areas);

  // Step 3: the log and its header entries.
  const LocalDateTime now = localNow();
  run.log = std::make_unique<ImportLog>(
      importLogFileName(state.cExePath, now.day, timeWithPoints(now.millis)));
  ImportLog& log = *run.log;
  log.add(logStartEntry(now.day, now.millis));
  log.add(logTableEntry(state.cDbfFile));

  // Step 4 and 5.
  long nRow = state.lHeader ? 2 : 1;
  const std::string cTableName = upperAZ(baseNamePart(state.cDbfFile));
  const int criterion = slotInt(state.vorein(vorein::kArtCriterion));
  if (cTableName == "ADRESSEN" && state.lAutoAdrNr && nKundePos > 0) {
    lAutoAdr = true;
  } else if (beginsWith(cTableName, "ARTIKEL") && state.lAutoArtNr &&
             ((criterion == 1 && nNummerPos > 0) || (criterion == 2 && nLiefANrPos > 0))) {
    lAutoArt = true;
  }

  // Step 6: the key field must be mapped unless numbers are generated by choice. A table
  // that lacks the key field altogether is refused the same way.
  auto keyColumnOf = [&](int pos) { return pos > 0 ? mappedColumn(fields[pos - 1]) : 0; };
  const char* unmapped = nullptr;
  if (cTableName == "ADRESSEN" && !state.lAutoAdrNr) {
    nKeyCol = keyColumnOf(nKundePos);
    if (nKeyCol == 0) {
      unmapped =
          "Der Kundennummer wurde kein Feld zugeordnet. Außerdem wird laut Voreinstellung die "
          "Kundennummer nicht automatisch hochgezählt. Ein Einlesen der Daten ist somit nicht "
          "möglich!";
    }
  } else if (cTableName == "ARTIKEL" && !state.lAutoArtNr && criterion == 2) {
    nKeyCol = keyColumnOf(nLiefANrPos);
    if (nKeyCol == 0) {
      unmapped =
          "Der Lieferanten-Artikelnummer wurde kein Feld zugeordnet. Außerdem wird laut "
          "Voreinstellung die Artikelnummer nicht automatisch hochgezählt. Ein Einlesen der "
          "Daten ist somit nicht möglich!";
    }
  } else if (cTableName == "ARTIKEL" && !state.lAutoArtNr) {
    nKeyCol = keyColumnOf(nNummerPos);
    if (nKeyCol == 0) {
      unmapped =
          "Der Artikelnummer wurde kein Feld zugeordnet. Außerdem wird laut Voreinstellung die "
          "Artikelnummer nicht automatisch hochgezählt. Ein Einlesen der Daten ist somit nicht "
          "möglich!";
    }
  }
  if (unmapped) {
    inform(state, unmapped);
    return ImportOutcome::Ended;
  }

  // Step 7: without a stop column the user chooses one first; nothing is read this time.
  if (state.nStopColumn == 0) {
    inform(state,
           "Bitte wählen Sie zunächst ein Feld aus, welches immer einen Wert enthält, da dieses "
           "als Abbruchkriterium für den Einlesevorgang benötigt wird!");
    if (state.ui) state.ui->importOptionsDialog(state);
    return ImportOutcome::StopColumnMissing;
  }

  // Step 8 and 9.
  state.nErrors = 0;
  state.lIndexOpen = false;
  const std::string cIndex = DEFAULTINDEX(state, state.cDbfFile);
  bool opened = false;
  std::string unsupported;
  try {
    ErrorGuard guard;
    opened = areas.DBUSEAREA(true, state.lCdxIndex ? "DBFCDX" : "DBFNTX", state.cDbfFile, kAlias,
                             std::nullopt, false);
  } catch (const ErrorException& e) {
    opened = false;
    // A table or structural index we cannot write exactly: nothing of it was written.
    if (isUnsupportedError(e.error())) {
      unsupported = kCrLf + cp1252ToUtf8(e.error().fileName) +
                    ": nicht unterstützt: " + cp1252ToUtf8(unsupportedFeatureOf(e.error()));
    }
  }
  if (!opened) {
    inform(state, "Kritischer Fehler: Datenbank kann nicht geöffnet werden" + unsupported + kAbort);
    return ImportOutcome::Ended;
  }
  run.tableOpen = true;
  log.add(logIndexTypeEntry(state.lCdxIndex));

  // Step 10.
  if (!cIndex.empty()) {
    // An index file that could not be added (its error has been shown) would go stale
    // under the rows written without it.
    if (!areas.ORDLISTADD(cIndex)) return ImportOutcome::Ended;
    state.lIndexOpen = true;
  }

  // Nothing is written into a table or index that cannot take the records as they are.
  if (const auto unfit = unfitForImport(areas)) {
    if (state.ui) state.ui->information(*unfit + utf8ToCp1252(kAbort));
    return ImportOutcome::Ended;
  }

  // Generated numbers are looked up in the index; without one every number would fail in
  // the middle of the run, so nothing is imported.
  if ((lAutoAdr || lAutoArt) && !state.lIndexOpen) {
    inform(state,
           "Für die automatische Nummernvergabe wird ein Index benötigt, im Verzeichnis der "
           "Datenbank wurde jedoch keine passende Indexdatei gefunden." +
               kAbort);
    return ImportOutcome::Ended;
  }

  // Step 11.
  if (cIndex.empty() && slotTrue(state.vorein(vorein::kUpdate))) {
    const bool goOn =
        state.ui &&
        state.ui->question(
            "Widerspruch!",
            utf8ToCp1252("Sie haben Daten aktualisieren ausgewählt, jedoch ist kein Index "
                         "vorhanden." +
                         kCrLf +
                         "Daten können deswegen nicht aktualisiert werden und werden stattdessen "
                         "angehängt!" +
                         kCrLf + "Trotzdem fortfahren?"));
    if (!goOn) return ImportOutcome::Ended;
  }

  // Step 12 to 14.
  try {
    ErrorGuard guard;
    run.application = CreateObject("Excel.Application");
  } catch (const ErrorException&) {
    inform(state, "Kritischer Fehler: Excel kann nicht geladen werden" + kAbort);
    return ImportOutcome::Ended;
  }
  try {
    ErrorGuard guard;
    const Value books = oleRequest(run.application, "Workbooks");
    run.workbook = oleRequest(books, "Add", {Value::text(state.cXlsFile)});
  } catch (const ErrorException& e) {
    inform(state, "Die ausgewählte Datei ist nicht kompatibel mit Ihrer Excel-Version" + kAbort);
    if (state.ui) state.ui->detail(e.error().description);
    return ImportOutcome::Ended;
  }
  const Value sheet = oleRequest(run.application, "ActiveSheet");

  // Step 15 and 16.
  const auto started = std::chrono::steady_clock::now();
  WAITPROGRESS(state, nRow, lastUsedRow(sheet));
  STARTMSGWAIT(state);
  const std::string keyField =
      cIndex.empty() ? std::string() : keyFieldOfIndex(baseNamePart(cIndex));
  const bool lookUp = state.lIndexOpen && !lAutoArt && !lAutoAdr;
  const bool update = slotTrue(state.vorein(vorein::kUpdate));

  std::optional<Error> fault;
  try {
    FaultWatch watch(fault);
    if (!fields.empty()) {
      std::vector<int> fieldColumns;
      for (const FieldRow& row : fields) {
        if (const int column = mappedColumn(row)) fieldColumns.push_back(column);
      }
      const bool stopReadOnlyForTest =
          state.nStopColumn != nKeyCol && std::find(fieldColumns.begin(), fieldColumns.end(),
                                                    state.nStopColumn) == fieldColumns.end();
      // A cell showing an error value is a row error; the field keeps its content.
      const auto noteErrorValue = [&](const Value& cell, int column) {
        log.add(logErrorValueEntry(cell.asErrorText(), EXCELSPALTE(column), nRow));
        ++state.nErrors;
      };
      // Only an unchanged record leaves its fields unread; where that can happen, cells are
      // read when needed rather than ahead.
      const bool everyRowWhole = !lookUp || update;
      const bool candidates = areas.hasCandidateOrder();
      // The index files beside the one searched are kept up to date by the thread reading
      // ahead, while this one goes on with the next row.
      WorkLane lane;
      RowCells cells(sheet, nRow, state.nStopColumn, nKeyCol, std::move(fieldColumns),
                     everyRowWhole, &lane);
      std::optional<LaneAttachment> attached;
      if (cells.servesLane()) attached.emplace(areas, lane);
      for (;;) {
        // 1: the stop test. An error value is no empty cell: the row is read, and the
        // error is logged where the cell is read for the row (here when nowhere else).
        if (const Value stop = cells.stop(nRow); stop.isEmpty()) {
          break;
        } else if (stop.isError() && stopReadOnlyForTest) {
          noteErrorValue(stop, state.nStopColumn);
        }

        // 2 to 4: the key.
        Value keyCell;
        if (auto read = cells.key(nRow)) {
          keyCell = std::move(*read);
          if (keyCell.isError()) {
            noteErrorValue(keyCell, nKeyCol);
            keyCell = Value();
          }
        } else {
          log.add(logUnreadableKeyEntry(nRow, nKeyCol));
          ++state.nErrors;
        }
        SAYMSGWAIT(state, "Zeile: " + std::to_string(nRow));
        const Value xKey = TYPANPASSEN(state, keyCell, "C", 0, log, nRow);

        // 5: a generated number.
        if (lAutoArt || lAutoAdr) {
          const auto number = AUTOGEN(state, areas, lAutoArt ? "ARTIKEL" : "ADRESSEN", cTableName);
          if (!number) {
            writeCounterBack(state, lAutoArt, lAutoAdr);
            return ImportOutcome::Ended;  // the resources release the rest
          }
          cNewNumber = *number;
        }

        // 6: the record.
        bool matched = false;
        if (lookUp) {
          bool found = false;
          bool failed = false;
          try {
            ErrorGuard guard(Guarding::AllButFileFaults);
            found = areas.DBSEEK(xKey);
          } catch (const ErrorException&) {
            failed = true;
          }
          if (failed) {
            const std::string shown = xKey.isText() ? xKey.asText() : std::string();
            if (state.ui) state.ui->information(utf8ToCp1252("Gesucht wird: ") + shown);
          } else if (found) {
            const Value stored = areas.aliasField(kAlias, keyField);
            matched = xKey.isText() && stored.isText() && keysMatch(xKey.asText(), stored.asText());
          }
        }
        if (matched && !update) {
          ++nUnchanged;
          ++nTotal;
          ++nRow;
          continue;
        }
        if (matched) {
          ++nUpdated;
          areas.DBRLOCK();
        } else {
          areas.DBAPPEND();
        }

        // 7: the mapped fields.
        for (const FieldRow& row : fields) {
          const int column = mappedColumn(row);
          if (column == 0) continue;
          Value cell;
          if (auto read = cells.field(nRow, column)) {
            cell = std::move(*read);
            if (cell.isError()) {
              noteErrorValue(cell, column);
              cell = Value();
            }
          } else {
            log.add(logUnreadableCellEntry(EXCELSPALTE(column), nRow));
            ++state.nErrors;
          }
          const Value& typeSlot = row[field_slot::kFieldType];
          const std::string& type = typeSlot.isText() ? typeSlot.asText() : kNoType;
          const int length = slotInt(row[field_slot::kFieldLen]);
          const Value converted = TYPANPASSEN(state, cell, type, length, log, nRow);
          try {
            ErrorGuard guard(Guarding::AllButFileFaults);
            areas.putField(slotInt(row[field_slot::kFieldNo]), converted);
          } catch (const ErrorException&) {
            log.add(logRefusedValueEntry(EXCELSPALTE(column), nRow));
            ++state.nErrors;
          }
        }

        // 8: the generated number overrides a mapped column.
        if (lAutoArt) {
          if (nNummerPos > 0) {  // with criterion 2 the table may lack NUMMER
            areas.putField(slotInt(fields[nNummerPos - 1][field_slot::kFieldNo]),
                           Value::text(cNewNumber));
          }
        } else if (lAutoAdr) {
          areas.putField(slotInt(fields[nKundePos - 1][field_slot::kFieldNo]),
                         Value::text(cNewNumber));
        }

        // A key that a candidate tag holds already for another record: the table must never
        // hold it twice, so the row is logged and not written.
        if (candidates) {
          std::optional<Error> refused;
          try {
            ErrorGuard guard(Guarding::AllButFileFaults);
            areas.commitRecord();
          } catch (const ErrorException& e) {
            refused = e.error();
          }
          if (refused && isDuplicateKeyError(*refused)) {
            log.add(logRefusedRowEntry(nRow, refused->description));
            ++state.nErrors;
            ++nRefused;
            if (matched) --nUpdated;
          } else if (refused) {
            raiseError(*refused);
          }
        }

        // 9 and 10.
        areas.DBRUNLOCK();
        ++nRow;
        ++nTotal;
      }
      // The last record and its keys, while a fault can still end the run before its summary.
      areas.commitRecord();
    }  // the read ahead ends before anything else touches the workbook
  } catch (const RunEnded&) {
    return endAfterFault(state, run, *fault, nRow, lAutoArt, lAutoAdr);
  } catch (const ProgramQuit&) {
    if (fault) {
      run.dropRecordInFlight = true;
      log.add(logFileFaultEntry(nRow, fault->text()));
    }
    throw;
  }

  // Step 17 to 21.
  ENDMSGWAIT(state);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
  const std::string cElapsed = elapsedText(elapsed.count());
  const long nNew = nTotal - nUpdated - nUnchanged - nRefused;
  log.add("");
  log.add(logErrorCountEntry(state.nErrors));
  log.add("");
  log.add(logTotalEntry(nTotal, cElapsed));
  log.add(logSplitEntry(nNew, nUpdated, nUnchanged));
  log.close();
  if (state.nErrors > 0) {
    inform(state, "Es wurden Fehler festgestellt. Das Protokoll wird gleich geöffnet");
  }
  if (state.ui)
    state.ui->summary(
        utf8ToCp1252("Fertig! Insgesamt wurden " + std::to_string(nTotal) + " Datensätze in " +
                     cElapsed + " Sekunden bearbeitet." + kCrLf + "Davon sind " +
                     std::to_string(nNew) + " neue Datensätze, " + std::to_string(nUpdated) +
                     " geupdatet, " + std::to_string(nUnchanged) + " unverändert" + kCrLf + kCrLf +
                     "Bitte beachten Sie, dass eine Reorganisation jetzt notwendig ist!"));
  if (state.ui) state.ui->showTextFile(log.fileName());

  // Step 22 to 24.
  run.closeTable();
  run.closeSpreadsheet();
  writeCounterBack(state, lAutoArt, lAutoAdr);
  return ImportOutcome::Summary;
}

}  // namespace zandor
