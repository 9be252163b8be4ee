#pragma once

#include <string>

namespace zandor {

struct AppState;

// The modeless one-line progress message, drawn by the Ui; its state lives in AppState.
bool STARTMSGWAIT(AppState& state);
bool SAYMSGWAIT(AppState& state, const std::string& cText);
bool ENDMSGWAIT(AppState& state);
// The rows the next wait message counts through (an upper bound); always true.
bool WAITPROGRESS(AppState& state, long firstRow, long lastRow);

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
