#include "app/wait_message.h"

#include "app/app_state.h"
#include "app/ui.h"

namespace zandor {

bool STARTMSGWAIT(AppState& state) {
  state.lWaitShown = true;
  if (state.ui) state.ui->waitShow(state.cWaitText);
  return true;
}

bool SAYMSGWAIT(AppState& state, const std::string& cText) {
  if (!state.lWaitShown) STARTMSGWAIT(state);
  state.cWaitText = cText;
  if (state.ui) state.ui->waitSay(state.cWaitText);
  return true;
}

bool WAITPROGRESS(AppState& state, long firstRow, long lastRow) {
  if (state.ui) state.ui->waitProgress(firstRow, lastRow);
  return true;
}

bool ENDMSGWAIT(AppState& state) {
  if (!state.lWaitShown) return true;
  if (state.ui) state.ui->waitEnd();
  state.lWaitShown = false;
  state.oDlgWait = nullptr;
  state.oSayWait = nullptr;
  state.cWaitText.assign(1, ' ');  // one blank (assign sidesteps a false g++ 12 warning)
  return true;
}

}  // namespace zandor
