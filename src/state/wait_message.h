#pragma once

#include <string>

namespace zandor {

struct AppState;

// The modeless one-line progress message, drawn by the Ui; its state lives in AppState.
// Opening an open message leaves it as it is.
bool STARTMSGWAIT(AppState& state);
bool SAYMSGWAIT(AppState& state, const std::string& cText);
bool ENDMSGWAIT(AppState& state);

// "Zeile: n" for the row being read, with how far it got among the rows from firstRow to
// lastRow (an upper bound: the stop column may end the data earlier).
void sayWaitRow(AppState& state, long row, long firstRow, long lastRow);
// Thousandths done of the rows from first to last while at row, 0 to 1000.
int rowProgress(long row, long firstRow, long lastRow);

// Closes an open wait message when the operation that opened it ends, however it ends.
class WaitMessageScope {
 public:
  explicit WaitMessageScope(AppState& state) : state_(state) {}
  ~WaitMessageScope() { ENDMSGWAIT(state_); }
  WaitMessageScope(const WaitMessageScope&) = delete;
  WaitMessageScope& operator=(const WaitMessageScope&) = delete;

 private:
  AppState& state_;
};

}  // namespace zandor
