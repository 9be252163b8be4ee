#pragma once

#include <string>

namespace zandor {

struct AppState;
class WorkAreas;

enum class ImportOutcome {
  Summary,            // the run went through to its summary
  LogLost,            // it went through, but its log could not be written whole (the
                      // summary says so and is no success)
  StopColumnMissing,  // the user was sent to choose the stop column; nothing was read
  Ended,              // any other early end
};

// The import run: every sheet row from the first data row down to the first empty stop cell
// becomes a new record or updates the record its key finds. True when the run reached its
// summary, or stopped only to let the user choose the stop column. The summary comes after
// the table's files are synced and closed; a failure there ends the run without one.
bool EINLESEN(AppState& state, WorkAreas& areas);
ImportOutcome runImport(AppState& state, WorkAreas& areas);

// Seconds as the summary shows them: two decimals, no leading blanks ("1.25").
std::string elapsedText(double seconds);

}  // namespace zandor
