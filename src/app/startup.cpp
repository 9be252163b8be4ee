#include "app/startup.h"

#include "base/date.h"
#include "base/paths.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

void setProgramDateSettings() {
  setDateFormat("dd.mm.yy");
  setEpoch(1950);
}

std::string programDirectory(const std::string& programFile) {
  return directoryPart(programFile);
}

void reportUnreadableSettings(AppState& state) {
  if (!state.cSettingsProblem.empty() && state.ui) {
    state.ui->information(unreadableSettingsMessage(state));
  }
}

void startProgram(AppState& state, const std::string& programFile) {
  Ui* ui = state.ui;
  state = AppState{};
  state.ui = ui;
  setProgramDateSettings();
  state.cExePath = programDirectory(programFile);
  const std::string logDirectory = state.cExePath + "log";
  if (!directoryExists(logDirectory)) createDirectory(logDirectory);  // result ignored
  INI_INIT(state);
}

}  // namespace zandor
