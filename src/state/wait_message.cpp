#include "state/wait_message.h"

#include <algorithm>

#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

bool STARTMSGWAIT(AppState& state) {
  if (state.lWaitShown) return true;
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

int rowProgress(long row, long firstRow, long lastRow) {
  if (lastRow < firstRow) return 1000;
  const double done =
      static_cast<double>(row - firstRow + 1) / static_cast<double>(lastRow - firstRow + 1);
  return static_cast<int>(std::clamp(done, 0.0, 1.0) * 1000.0);
}

void sayWaitRow(AppState& state, long row, long firstRow, long lastRow) {
  if (!state.lWaitShown) STARTMSGWAIT(state);
  if (state.ui) state.ui->waitProgress(rowProgress(row, firstRow, lastRow));
  SAYMSGWAIT(state, "Zeile: " + std::to_string(row));
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
