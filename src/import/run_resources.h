#pragma once

#include <memory>

#include "base/value.h"
#include "import/import_log.h"

namespace zandor {

struct AppState;
class WorkAreas;

// Everything an import run holds open (the log, the target table, the spreadsheet
// application and its workbook, the wait message), released in the documented order on
// every way out. Releasing never raises: what fails there is not the user's concern.
class RunResources {
 public:
  RunResources(AppState& state, WorkAreas& areas) : state_(state), areas_(areas) {}
  ~RunResources();
  RunResources(const RunResources&) = delete;
  RunResources& operator=(const RunResources&) = delete;

  std::unique_ptr<ImportLog> log;
  bool tableOpen = false;
  // After a file fault the record being written is given up rather than written at the
  // close: its keys could not all follow it.
  bool dropRecordInFlight = false;
  Value application;
  Value workbook;

  void releaseAll();
  // Closes the target table quietly: for early ends, where another failure is on its way.
  void closeTable();
  // Closes the target table at the end of the rows: the files are written out, synced and
  // closed, and a failure reaches the error handler like any other file fault.
  void finishTable();
  void closeSpreadsheet();

 private:
  AppState& state_;
  WorkAreas& areas_;
};

// The alias the run opens its target table under.
inline constexpr const char* kRunAlias = "cAlias";

}  // namespace zandor
